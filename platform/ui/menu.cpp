#include "ui/menu.h"

#include <algorithm>

namespace ui {

MenuItem::MenuItem(ComponentOwner* owner, QObject* parent, const QString& name, const QString& caption)
    : QAction(caption, parent) {
  attach(owner, name);
  connect(this, &QAction::toggled, this, [this](bool on) {
    if (!on || !radioItem_ || !parentItem_) return;
    for (MenuItem* other : parentItem_->items_)
      if (other != this && other->radioItem_ && other->groupIndex_ == groupIndex_) other->setChecked(false);
  });
}

MenuItem::~MenuItem() { delete subMenu_.data(); }

void MenuItem::setHint(const QString& hint) {
  setStatusTip(hint);
  setToolTip(hint);
}

void MenuItem::setRadioItem(bool radio) {
  radioItem_ = radio;
  if (radio) setCheckable(true);
}

QMenu* MenuItem::ensureSubMenu() {
  if (!subMenu_) {
    // Owned here: an entry's parent may be another entry, which is no widget.
    subMenu_ = new QMenu();
    subMenu_->setObjectName(objectName() + "_menu");
    setMenu(subMenu_);
  }
  return subMenu_;
}

MenuItem* MenuItem::add(const QString& name, const QString& caption) {
  auto* item = new MenuItem(owner(), this, name, caption);
  insert(count(), item);
  return item;
}

MenuItem* MenuItem::addSeparator(const QString& name) {
  // The line itself, with no text: a style may draw a separator's text.
  MenuItem* item = add(name, QString());
  item->setSeparator(true);
  return item;
}

void MenuItem::insert(int index, MenuItem* item) {
  if (item->parentItem_) item->parentItem_->remove(item);
  index = std::clamp(index, 0, count());
  items_.insert(items_.begin() + index, item);
  item->parentItem_ = this;
  rebuild();
}

void MenuItem::remove(MenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parentItem_ = nullptr;
  if (subMenu_) subMenu_->removeAction(item);
}

MenuItem* MenuItem::item(int index) const {
  return index >= 0 && index < count() ? items_[size_t(index)] : nullptr;
}

int MenuItem::indexOf(const MenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void MenuItem::rebuild() {
  QMenu* menu = ensureSubMenu();
  for (QAction* a : menu->actions()) menu->removeAction(a);
  for (MenuItem* item : items_) menu->addAction(item);
}

MainMenu::MainMenu(ComponentOwner* owner, QWidget* parent, const QString& name) : QMenuBar(parent) {
  attach(owner, name);
}

MenuItem* MainMenu::add(const QString& name, const QString& caption) {
  auto* item = new MenuItem(owner(), this, name, caption);
  insert(count(), item);
  return item;
}

MenuItem* MainMenu::item(int index) const {
  return index >= 0 && index < count() ? items_[size_t(index)] : nullptr;
}

void MainMenu::insert(int index, MenuItem* item) {
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
  index = std::clamp(index, 0, count());
  items_.insert(items_.begin() + index, item);
  rebuild();
}

void MainMenu::rebuild() {
  for (QAction* a : actions()) removeAction(a);
  for (MenuItem* item : items_) {
    // A top-level entry opens its menu even before it has entries.
    item->ensureSubMenu();
    addAction(item);
  }
}

PopupMenu::PopupMenu(ComponentOwner* owner, QWidget* parent, const QString& name) : QMenu(parent) {
  attach(owner, name);
}

MenuItem* PopupMenu::add(const QString& name, const QString& caption) {
  auto* item = new MenuItem(owner(), this, name, caption);
  items_.push_back(item);
  addAction(item);
  return item;
}

MenuItem* PopupMenu::item(int index) const {
  return index >= 0 && index < static_cast<int>(items_.size()) ? items_[size_t(index)] : nullptr;
}

void PopupMenu::popupFor(QWidget* control, const QPoint& globalPos) {
  popupComponent_ = control;
  popup(globalPos);
}

}  // namespace ui
