// Desktop shortcuts: large icon buttons on the wallpaper that launch a menu
// option on double click, and the desktop's pop-up menu (Properties,
// Shortcut, Delete Shortcut) that makes, changes and deletes them.
//
// A shortcut is a TTransparentButton owned by the main window, on Wallpaper1,
// named after its option's code followed by "S" (so there is one per option
// at most). Five names stand for the quick lists instead ("ClientBtn" ...
// "ToDoListBtn"): their double click opens and closes the list. Only saved
// desktops bring those; no command makes them.
//
// Shortcuts lie beneath the quick-list panels, among themselves in the order
// they were made. Every change to a shortcut, and every mouse move over a
// movable one, marks the desktop changed.
#pragma once

#include <QObject>
#include <vector>

#include "ui/menu.h"
#include "ui/transparent_button.h"

namespace shell {

class QuickLists;
class TLogoAppForm;
class TPropertiesDlg;

class Shortcuts : public QObject {
 public:
  Shortcuts(TLogoAppForm& window, QuickLists& lists, TPropertiesDlg& properties);

  // The desktop pop-up menu, on the wallpaper and every shortcut.
  ui::PopupMenu* PopupMenu;
  ui::MenuItem* Properties1;
  ui::MenuItem* Shortcut1;
  ui::MenuItem* DeleteShortCut1;

  // Options > Desktop > "Add shortcut" and the pop-up's "Shortcut": the
  // option chosen in the shortcut dialog gets a shortcut at 296, 256.
  void Shortcut1Click();
  // The pop-up's "Properties": a shortcut's caption and icon, or on the
  // wallpaper its picture.
  void Properties1Click();
  // The pop-up's "Delete Shortcut", without a question.
  void DeleteShortCutClick();
  // Options > Desktop > "Change properties": the wallpaper's picture.
  void Changeproperties1Click();

  // A shortcut for a saved desktop: hidden, on the wallpaper, named `name`,
  // beneath the panels and above the shortcuts made before, with its
  // behaviour bound. The caller checked the name.
  ui::TTransparentButton* makeShortcut(const QString& name);
  // The shortcuts in the order they were made.
  std::vector<ui::TTransparentButton*> shortcuts() const;
  // Destroys every shortcut.
  void removeAll();

 private:
  void bind(ui::TTransparentButton* button);
  void shortcutDoubleClicked(ui::TTransparentButton* button);
  void changeWallpaper();

  TLogoAppForm& window_;
  QuickLists& lists_;
  TPropertiesDlg& properties_;
};

}  // namespace shell
