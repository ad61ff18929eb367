#include "shortcuts.h"

#include <QDialog>
#include <QPointer>

#include "logo_app_form.h"
#include "properties_dialog.h"
#include "quick_lists.h"
#include "ui/component_stream.h"
#include "ui/form.h"
#include "ui/picture.h"

namespace shell {

namespace {

// The file of a new shortcut's icon, in the program folder.
const char* const kShortcutIcon = "sysedit.bmp";
constexpr QRect kNewShortcut(296, 256, 89, 89);

// A shortcut's icon: bitmaps only, as the icon's transparent colour is the
// exact colour of its lower-left pixel.
QImage readIcon(const QString& file) {
  QByteArray format;
  QImage icon = ui::readPictureFile(file, &format);
  return format == "bmp" ? icon : QImage();
}

}  // namespace

Shortcuts::Shortcuts(TLogoAppForm& window, QuickLists& lists, TPropertiesDlg& properties)
    : window_(window), lists_(lists), properties_(properties) {
  PopupMenu = new ui::PopupMenu(&window_, &window_, "PopupMenu");
  Properties1 = PopupMenu->add("Properties1", "Properties");
  Shortcut1 = PopupMenu->add("Shortcut1", "Shortcut");
  DeleteShortCut1 = PopupMenu->add("DeleteShortCut1", "Delete Shortcut");
  connect(Properties1, &QAction::triggered, this, [this] { Properties1Click(); });
  connect(Shortcut1, &QAction::triggered, this, [this] { Shortcut1Click(); });
  connect(DeleteShortCut1, &QAction::triggered, this, [this] { DeleteShortCutClick(); });
  connect(window_.AddShortcut1, &QAction::triggered, this, [this] { Shortcut1Click(); });
  connect(window_.ChangeProperties1, &QAction::triggered, this, [this] { Changeproperties1Click(); });
  window_.Wallpaper1->setPopupMenu(PopupMenu);
}

// ---------------------------------------------------------------- the buttons

ui::TTransparentButton* Shortcuts::makeShortcut(const QString& name) {
  auto* button = new ui::TTransparentButton(&window_, window_.Wallpaper1, name);
  button->hide();
  // Beneath the lowest panel: above every shortcut made before, under every
  // list (the children of a widget are stacked in the order of the list).
  for (QObject* child : window_.Wallpaper1->children())
    if (auto* panel = qobject_cast<QuickListPanel*>(child)) {
      button->stackUnder(panel);
      break;
    }
  bind(button);
  return button;
}

void Shortcuts::bind(ui::TTransparentButton* button) {
  button->setPopUpMenu(PopupMenu);
  connect(button, &ui::TTransparentButton::doubleClicked, this, [this, button] { shortcutDoubleClicked(button); });
  // ClientBtnMouseMove: a movable shortcut may have been moved.
  connect(button, &ui::TTransparentButton::mouseMoved, this, [this, button] {
    if (button->movable()) window_.markDesktopChanged();
  });
}

void Shortcuts::shortcutDoubleClicked(ui::TTransparentButton* button) {
  const int slot = QuickLists::shortcutSlot(button->name());
  if (slot >= 0) lists_.toggle(slot);
  else window_.ExecuteOption(button->name());  // ExecuteIconOption
}

std::vector<ui::TTransparentButton*> Shortcuts::shortcuts() const {
  std::vector<ui::TTransparentButton*> out;
  for (ui::Component* c : window_.components())
    if (auto* button = dynamic_cast<ui::TTransparentButton*>(c)) out.push_back(button);
  return out;
}

void Shortcuts::removeAll() {
  for (ui::TTransparentButton* button : shortcuts()) delete button;
}

// ---------------------------------------------------------------- commands

void Shortcuts::Shortcut1Click() {
  TShortcutDlg& dialog = *window_.ShortcutDlg;
  if (dialog.OptionNames->count() > 0) dialog.OptionNames->setCurrentRow(0);
  if (ui::runModal(dialog) != QDialog::Accepted) return;
  const int i = dialog.OptionNames->currentRow();
  if (i < 0 || i >= dialog.DllList->count()) return;
  const QImage icon = readIcon(window_.programDir() + "/" + kShortcutIcon);
  if (icon.isNull()) {
    window_.showMessage(message::kPictureNotLoaded);
    return;
  }
  const QString code = dialog.DllList->item(i)->text();
  if (code.isEmpty()) {
    window_.showMessage(message::kOptionNotAllowed);
    return;
  }
  const QString name = code + "S";
  if (!ui::isValidComponentName(name) || window_.findComponent(name)) {
    window_.showMessage(message::kShortcutNotCreated);
    return;
  }
  ui::TTransparentButton* button = makeShortcut(name);
  button->setGlyph(icon);
  button->setCaption(dialog.OptionNames->item(i)->text());
  button->setGeometry(kNewShortcut);
  button->setBorderWidth(0);
  button->setTag(1);
  button->setFont(QFont("Arial", 10));
  button->setFontColor(Qt::white);
  button->show();
  window_.markDesktopChanged();
}

void Shortcuts::Properties1Click() {
  QWidget* on = PopupMenu->popupComponent();
  if (on == window_.Wallpaper1) {
    changeWallpaper();
    return;
  }
  auto* button = qobject_cast<ui::TTransparentButton*>(on);
  if (!button) return;
  properties_.clearIconChanged();
  properties_.pictureFolder = window_.programDir();
  properties_.language = window_.context().language();
  properties_.Image1->setImage(button->glyph());
  properties_.NewCaption->setText(button->caption());
  QString code = button->name();
  if (code.endsWith('S')) code.chop(1);
  properties_.DllLabel->setText(code);
  properties_.NewCaption->setFocus();
  QPointer<ui::TTransparentButton> alive(button);
  if (ui::runModal(properties_) != QDialog::Accepted || !alive) return;
  window_.markDesktopChanged();
  button->setCaption(properties_.NewCaption->text());
  if (properties_.iconChanged()) {
    const QImage icon = readIcon(properties_.chosenFile());
    if (icon.isNull()) window_.showMessage(message::kPictureNotLoaded);
    else button->setGlyph(icon);
  }
}

void Shortcuts::DeleteShortCutClick() {
  auto* button = qobject_cast<ui::TTransparentButton*>(PopupMenu->popupComponent());
  if (!button) return;
  // A quick-list shortcut takes its list away with it; the list's table
  // stays as it is.
  if (const int slot = QuickLists::shortcutSlot(button->name()); slot >= 0) lists_.closeList(slot, false);
  delete button;
  window_.markDesktopChanged();
}

void Shortcuts::Changeproperties1Click() { changeWallpaper(); }

void Shortcuts::changeWallpaper() {
  const QString file = choosePicture(&window_, window_.programDir(), window_.context().language());
  if (file.isEmpty()) return;
  window_.markDesktopChanged();
  if (!window_.Wallpaper1->loadWallpaper(file)) window_.showMessage(message::kPictureNotLoaded);
}

}  // namespace shell
