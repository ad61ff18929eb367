// Menus: the main menu of a window, its entries and pop-up menus.
//
// A MenuItem is an entry with a name, a tag, a caption, a hint, an enabled,
// visible and checked state and a group index (entries of one group with
// radioItem set are exclusive). An entry that has entries of its own opens a
// submenu. Entries keep their order: windows and menu security address them
// by position.
//
// Keyboard: a caption's mnemonic is the character after a single "&"
// ("E&xit"); "&&" shows one "&". Every entry gets a mnemonic that is unique
// within its menu: the designed one when it has one and no earlier entry of
// the menu took it, otherwise one chosen from its caption (assignMnemonics),
// again each time a submenu is about to open, so entries added from data get
// one too. Texts that come from data (company, printer, catalogue names) are
// set with literalCaption() so that an "&" in them shows as written.
#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <vector>

#include "ui/component.h"

namespace ui {

class MenuItem : public QAction, public Component {
  Q_OBJECT
 public:
  // An entry of `parentMenu` (a MenuItem, MainMenu or PopupMenu adds it with add()).
  MenuItem(ComponentOwner* owner, QObject* parent, const QString& name, const QString& caption);
  ~MenuItem() override;
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }
  QString hint() const override { return statusTip(); }
  void setHint(const QString& hint) override;

  int groupIndex() const { return groupIndex_; }
  void setGroupIndex(int index) { groupIndex_ = index; }
  // Checking a radio entry unchecks the other radio entries of its group.
  bool radioItem() const { return radioItem_; }
  void setRadioItem(bool radio);

  // Sub-entries, in order.
  MenuItem* add(const QString& name, const QString& caption);
  // A separator line is an entry too, so positions count it.
  MenuItem* addSeparator(const QString& name = {});
  // Inserts an existing entry at `index` (moves it when it is elsewhere).
  void insert(int index, MenuItem* item);
  void remove(MenuItem* item);  // takes it out; the caller deletes it
  const std::vector<MenuItem*>& items() const { return items_; }
  int count() const { return static_cast<int>(items_.size()); }
  MenuItem* item(int index) const;
  int indexOf(const MenuItem* item) const;
  MenuItem* parentItem() const { return parentItem_; }
  QMenu* subMenu() const { return subMenu_; }

  // The Qt menu the entries go in: created on first use.
  QMenu* ensureSubMenu();

 private:
  void rebuild();
  std::vector<MenuItem*> items_;
  MenuItem* parentItem_ = nullptr;
  QPointer<QMenu> subMenu_;
  int groupIndex_ = 0;
  bool radioItem_ = false;
};

// The menu bar of a window; its top-level entries are MenuItems.
//
// A top-level entry made with add() opens its menu, even while it has no
// entries yet (the Tools menu before login); one made with addCommand() runs
// its command when chosen (Exit). From the keyboard: Alt alone puts the bar
// in keyboard mode with its first menu highlighted and the mnemonics
// underlined, Alt with a mnemonic opens that menu or runs that command, and
// F10 opens the first menu.
class MainMenu : public QMenuBar, public Component {
 public:
  MainMenu(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  MenuItem* add(const QString& name, const QString& caption);
  MenuItem* addCommand(const QString& name, const QString& caption);
  const std::vector<MenuItem*>& items() const { return items_; }
  int count() const { return static_cast<int>(items_.size()); }
  MenuItem* item(int index) const;
  // Puts `item` at `index` among the top-level entries.
  void insert(int index, MenuItem* item);
  // Gives every entry of the bar and of every menu under it a unique
  // mnemonic (see assignMnemonics). Call after captions changed wholesale.
  void assignAllMnemonics();

 private:
  void rebuild();
  std::vector<MenuItem*> items_;
};

// A menu that a control opens on a right click. It remembers the control it
// was opened on, its popup component, so that one menu serves many controls.
class PopupMenu : public QMenu, public Component {
 public:
  PopupMenu(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  MenuItem* add(const QString& name, const QString& caption);
  const std::vector<MenuItem*>& items() const { return items_; }
  MenuItem* item(int index) const;

  // The control the menu was last opened on; null when none was, or once
  // that control is destroyed.
  QWidget* popupComponent() const { return popupComponent_; }
  // Opens the menu at `globalPos` on behalf of `control` and returns at once:
  // the entries act later, from the event loop, so that an entry may destroy
  // the control that opened the menu.
  void popupFor(QWidget* control, const QPoint& globalPos);

 private:
  std::vector<MenuItem*> items_;
  QPointer<QWidget> popupComponent_;
};

// A caption without its mnemonic marker: "E&xit" → "Exit", "A && B" → "A & B".
QString plainCaption(const QString& caption);
// A caption that shows `text` as written: every "&" doubled.
QString literalCaption(const QString& text);
// The mnemonic of a caption, lower case, or a null QChar when it has none.
QChar mnemonicOf(const QString& caption);
// Gives the entries of one menu unique mnemonics. An entry keeps a designed
// mnemonic unless an earlier entry has it; an entry without one (or that lost
// it) gets the first free letter or digit that starts a word of its caption,
// else the first free one anywhere in it (ASCII before other letters).
// Separators are passed over; an entry with nothing free keeps none.
void assignMnemonics(const std::vector<MenuItem*>& entries);

}  // namespace ui
