// "Properties": the dialog that renames a desktop shortcut and gives it
// another icon, and the picture dialog that it and the wallpaper share.
#pragma once

#include <QString>

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/picture.h"

namespace shell {

// The picture dialog: bitmaps or JPEG images, existing files only, starting
// in `folder`. The chosen file, or "" when the user cancelled.
QString choosePicture(QWidget* parent, const QString& folder, int language);

class TPropertiesDlg : public ui::Form {
 public:
  explicit TPropertiesDlg(QWidget* parent = nullptr);

  ui::Panel* Bevel1;       // the framed area
  ui::Picture* Image1;     // the icon, 41 x 41, stretched
  ui::Label* Label1;       // "Caption"
  ui::Edit* NewCaption;
  ui::Label* DllLabel;     // the option code of the shortcut
  ui::Button* ChangeIcon;
  ui::Button* OKBtn;
  ui::Button* CancelBtn;

  // Where the picture dialog starts, and the language of its caption.
  QString pictureFolder;
  int language = 1;

  // Whether "Change icon" chose a file since the flag was last cleared, and
  // that file.
  bool iconChanged() const { return iconChanged_; }
  void clearIconChanged() { iconChanged_ = false; }
  QString chosenFile() const { return chosenFile_; }

  // "Change icon": the picture dialog; a chosen file shows in Image1.
  void ChangeIconClick();

 private:
  bool iconChanged_ = false;
  QString chosenFile_;
};

}  // namespace shell
