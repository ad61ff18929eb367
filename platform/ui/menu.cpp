#include "ui/menu.h"

#include <QApplication>
#include <QKeyEvent>
#include <QProxyStyle>
#include <algorithm>
#include <set>

namespace ui {

namespace {

// The bar's own style: the application's, with Alt navigation on whatever
// the platform style says, so that Alt alone reaches the menus everywhere.
class KeyboardMenuBarStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_MenuBar_AltKeyNavigation) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
  // Entries a little closer together than some platforms put them, so that
  // more of a long bar fits its window.
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_MenuBarItemSpacing) return std::min(QProxyStyle::pixelMetric(metric, option, widget), 2);
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// The caption with its single "&" marker taken out ("&&" stays).
QString withoutMarker(const QString& caption) {
  QString out;
  out.reserve(caption.size());
  bool removed = false;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) {
      if (caption[i + 1] == '&') {
        out += "&&";
        ++i;
        continue;
      }
      if (!removed) {
        removed = true;
        continue;
      }
    }
    out += caption[i];
  }
  return out;
}

// `caption` (no marker) with "&" put before its plain character `plainIndex`.
QString withMarkerAt(const QString& caption, qsizetype plainIndex) {
  QString out;
  qsizetype plain = 0;
  for (qsizetype i = 0; i < caption.size(); ++i, ++plain) {
    if (plain == plainIndex) out += '&';
    if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] == '&') {
      out += "&&";
      ++i;
      continue;
    }
    out += caption[i];
  }
  return out;
}

bool isAsciiAlnum(QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); }

// The position in `plain` of the mnemonic to give, or -1.
qsizetype chooseMnemonic(const QString& plain, const std::set<QChar>& taken) {
  auto free = [&](qsizetype i) { return !taken.count(plain[i].toLower()); };
  for (qsizetype i = 0; i < plain.size(); ++i)
    if (isAsciiAlnum(plain[i]) && (i == 0 || !plain[i - 1].isLetterOrNumber()) && free(i)) return i;
  for (qsizetype i = 0; i < plain.size(); ++i)
    if (isAsciiAlnum(plain[i]) && free(i)) return i;
  for (qsizetype i = 0; i < plain.size(); ++i)
    if (plain[i].isLetterOrNumber() && free(i)) return i;
  return -1;
}

// The keys of the bar that Qt does not answer itself, seen before any
// control of the window: F10 opens the first menu; Alt and a mnemonic that
// Qt left unanswered opens that entry's menu or runs its command. Qt moves
// the entries that do not fit the window into the bar's overflow button and
// no longer answers their mnemonics: their menus open under the button.
class BarKeys : public QObject {
 public:
  explicit BarKeys(MainMenu* bar) : QObject(bar), bar_(bar) { qApp->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != bar_->window() || !bar_->isVisible()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier) return openFirst();
    if (key->modifiers() != Qt::AltModifier || key->text().isEmpty()) return false;
    const QChar typed = key->text().at(0).toLower();
    for (MenuItem* item : bar_->items()) {
      if (!item->isVisible() || !item->isEnabled() || mnemonicOf(item->text()) != typed) continue;
      // Qt answers the mnemonics of the bar before the key reaches anyone;
      // a key that gets here was not answered (the entry lies in the
      // overflow, or the bar had not laid out its entries since they were
      // renamed).
      if (!item->subMenu()) {
        item->trigger();
        return true;
      }
      if (onBar(item)) {
        bar_->setActiveAction(item);
        return true;
      }
      QWidget* button = overflowButton();
      const QPoint at = button ? button->mapToGlobal(QPoint(0, button->height()))
                               : bar_->mapToGlobal(QPoint(0, bar_->height()));
      item->subMenu()->popup(at);
      return true;
    }
    return false;
  }

 private:
  bool openFirst() {
    for (MenuItem* item : bar_->items())
      if (item->isVisible() && item->isEnabled() && onBar(item)) {
        // From keyboard mode too, where the first menu is only highlighted.
        bar_->setActiveAction(nullptr);
        bar_->setActiveAction(item);
        return true;
      }
    return false;
  }

  QWidget* overflowButton() const {
    auto* button = bar_->findChild<QWidget*>(QStringLiteral("qt_menubar_ext_button"));
    return button && button->isVisible() ? button : nullptr;
  }
  // Shown on the bar itself, not only in its overflow button.
  bool onBar(MenuItem* item) const {
    const QRect place = bar_->actionGeometry(item);
    if (place.isEmpty()) return false;
    const QWidget* button = overflowButton();
    return place.right() < (button ? button->x() : bar_->width());
  }

  MainMenu* bar_;
};

}  // namespace

QString plainCaption(const QString& caption) {
  QString out;
  out.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) {
      out += caption[i + 1];
      ++i;
      continue;
    }
    out += caption[i];
  }
  return out;
}

QString literalCaption(const QString& text) {
  QString out = text;
  return out.replace('&', "&&");
}

QChar mnemonicOf(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return caption[i + 1].toLower();
  }
  return {};
}

void assignMnemonics(const std::vector<MenuItem*>& entries) {
  std::set<QChar> taken;
  std::vector<MenuItem*> without;
  for (MenuItem* e : entries) {
    if (e->isSeparator()) continue;
    const QChar m = mnemonicOf(e->text());
    if (!m.isNull() && taken.insert(m).second) continue;
    without.push_back(e);
  }
  for (MenuItem* e : without) {
    const QString bare = withoutMarker(e->text());
    const qsizetype at = chooseMnemonic(plainCaption(bare), taken);
    QString caption = bare;
    if (at >= 0) {
      taken.insert(plainCaption(bare)[at].toLower());
      caption = withMarkerAt(bare, at);
    }
    if (caption != e->text()) e->setText(caption);
  }
}

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
    // Entries added since (from data, or renamed by a translation) get their
    // mnemonics before anyone can press one.
    QObject::connect(subMenu_, &QMenu::aboutToShow, this, [this] { assignMnemonics(items_); });
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
  auto* style = new KeyboardMenuBarStyle;
  style->setParent(this);
  setStyle(style);
  new BarKeys(this);
}

MenuItem* MainMenu::add(const QString& name, const QString& caption) {
  auto* item = new MenuItem(owner(), this, name, caption);
  item->ensureSubMenu();
  insert(count(), item);
  return item;
}

MenuItem* MainMenu::addCommand(const QString& name, const QString& caption) {
  auto* item = new MenuItem(owner(), this, name, caption);
  insert(count(), item);
  return item;
}

void MainMenu::assignAllMnemonics() {
  assignMnemonics(items_);
  std::vector<MenuItem*> pending(items_.begin(), items_.end());
  while (!pending.empty()) {
    MenuItem* item = pending.back();
    pending.pop_back();
    if (item->items().empty()) continue;
    assignMnemonics(item->items());
    pending.insert(pending.end(), item->items().begin(), item->items().end());
  }
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
  for (MenuItem* item : items_) addAction(item);
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
