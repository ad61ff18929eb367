#include "ui/controls.h"

#include <QButtonGroup>
#include <algorithm>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ui {

Label::Label(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption) : QLabel(caption, parent) {
  attach(owner, name);
}

Edit::Edit(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& text) : QLineEdit(text, parent) {
  attach(owner, name);
  connect(this, &QLineEdit::textEdited, this, [this](const QString& t) {
    if (!caseRule_) return;
    const QString ruled = caseRule_(t);
    if (ruled == t) return;
    const int at = cursorPosition();
    setText(ruled);
    setCursorPosition(at);
  });
}

void Edit::setCaseRule(CaseRule rule) {
  caseRule_ = std::move(rule);
  if (caseRule_) setText(caseRule_(text()));
}

Button::Button(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption)
    : QPushButton(caption, parent) {
  attach(owner, name);
  setAutoDefault(false);
}

ToolButton::ToolButton(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption)
    : QToolButton(parent) {
  setText(caption);
  setAutoRaise(true);
  attach(owner, name);
}

CheckBox::CheckBox(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption)
    : QCheckBox(caption, parent) {
  attach(owner, name);
}

// ---------------------------------------------------------------- radio group

RadioGroup::RadioGroup(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), layout_(new QVBoxLayout(this)) {
  group_->setExclusive(true);
  connect(group_, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) emit itemIndexChanged(itemIndex());
  });
  attach(owner, name);
}

QStringList RadioGroup::items() const {
  QStringList out;
  for (const QRadioButton* b : buttons_) out << b->text();
  return out;
}

void RadioGroup::setItems(const QStringList& items) {
  const int chosen = itemIndex();
  for (QRadioButton* b : buttons_) {
    group_->removeButton(b);
    delete b;
  }
  buttons_.clear();
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    group_->addButton(b, i);
    layout_->addWidget(b);
    buttons_.push_back(b);
  }
  if (chosen >= 0 && chosen < count()) setItemIndex(chosen);
}

void RadioGroup::setItemText(int index, const QString& text) {
  if (index >= 0 && index < count()) buttons_[size_t(index)]->setText(text);
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
  if (index < 0 || index >= count()) {
    // No choice: an exclusive group cannot uncheck its last button directly.
    group_->setExclusive(false);
    for (QRadioButton* b : buttons_) b->setChecked(false);
    group_->setExclusive(true);
    emit itemIndexChanged(-1);
    return;
  }
  buttons_[size_t(index)]->setChecked(true);
}

// ---------------------------------------------------------------- lists

ComboBox::ComboBox(ComponentOwner* owner, QWidget* parent, const QString& name) : QComboBox(parent) {
  attach(owner, name);
}

void ComboBox::setCaption(const QString& caption) {
  if (isEditable()) {
    setEditText(caption);
    return;
  }
  const int i = findText(caption);
  if (i >= 0) setCurrentIndex(i);
}

QStringList ComboBox::items() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << itemText(i);
  return out;
}

void ComboBox::setItems(const QStringList& items) {
  const QSignalBlocker quiet(this);
  clear();
  addItems(items);
  setCurrentIndex(-1);
}

ListBox::ListBox(ComponentOwner* owner, QWidget* parent, const QString& name) : QListWidget(parent) {
  attach(owner, name);
}

QStringList ListBox::items() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << item(i)->text();
  return out;
}

void ListBox::setItems(const QStringList& items) {
  clear();
  addItems(items);
}

CheckList::CheckList(ComponentOwner* owner, QWidget* parent, const QString& name) : QListWidget(parent) {
  attach(owner, name);
}

QStringList CheckList::items() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << item(i)->text();
  return out;
}

void CheckList::setItems(const QStringList& items) {
  clear();
  for (const QString& text : items) {
    auto* it = new QListWidgetItem(text, this);
    it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
    it->setCheckState(Qt::Unchecked);
  }
}

bool CheckList::checked(int index) const {
  const QListWidgetItem* it = item(index);
  return it && it->checkState() == Qt::Checked;
}

void CheckList::setChecked(int index, bool on) {
  if (QListWidgetItem* it = item(index)) it->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

// ---------------------------------------------------------------- text

Memo::Memo(ComponentOwner* owner, QWidget* parent, const QString& name) : QPlainTextEdit(parent) {
  attach(owner, name);
}

QStringList Memo::lines() const {
  const QString text = toPlainText();
  if (text.isEmpty()) return {};
  return text.split('\n');
}

void Memo::setLines(const QStringList& lines) { setPlainText(lines.join('\n')); }

QString Memo::line(int index) const {
  const QStringList all = lines();
  return index >= 0 && index < all.size() ? all[index] : QString();
}

NoteEditor::NoteEditor(ComponentOwner* owner, QWidget* parent, const QString& name) : QTextEdit(parent) {
  attach(owner, name);
}

// ---------------------------------------------------------------- containers

Panel::Panel(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  attach(owner, name);
  setCaption(caption);
}

void Panel::setCaption(const QString& caption) {
  caption_ = caption;
  if (caption.isEmpty() && !text_) return;
  if (!text_) {
    text_ = new QLabel(this);
    text_->setAlignment(Qt::AlignCenter);
    text_->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  text_->setText(caption);
  text_->setGeometry(rect());
  text_->lower();
}

GroupBox::GroupBox(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption)
    : QGroupBox(caption, parent) {
  attach(owner, name);
}

TabSheet::TabSheet(ComponentOwner* owner, PageControl* pages, const QString& name, const QString& caption)
    : QWidget(pages), pages_(pages) {
  attach(owner, name);
  pages_->addTab(this, caption);
}

QString TabSheet::caption() const {
  const int i = pages_->indexOf(const_cast<TabSheet*>(this));
  return i >= 0 ? pages_->tabText(i) : QString();
}

void TabSheet::setCaption(const QString& caption) {
  const int i = pages_->indexOf(this);
  if (i >= 0) pages_->setTabText(i, caption);
}

PageControl::PageControl(ComponentOwner* owner, QWidget* parent, const QString& name) : QTabWidget(parent) {
  attach(owner, name);
}

// ---------------------------------------------------------------- status bar

StatusBar::StatusBar(ComponentOwner* owner, QWidget* parent, const QString& name, const std::vector<int>& widths)
    : QStatusBar(parent) {
  setSizeGripEnabled(false);
  for (size_t i = 0; i < widths.size(); ++i) {
    auto* panel = new QLabel(this);
    panel->setFrameShape(QFrame::StyledPanel);
    if (i + 1 < widths.size()) {
      panel->setFixedWidth(widths[i]);
      addWidget(panel, 0);
    } else {
      // The last panel takes what is left: at least its width in a window
      // wide enough, less in a narrower one, so the bar never widens it.
      panel->setMinimumWidth(std::min(widths[i], 40));
      addWidget(panel, 1);
    }
    panels_.push_back(panel);
  }
  attach(owner, name);
}

QString StatusBar::panelText(int index) const {
  return index >= 0 && index < panelCount() ? panels_[size_t(index)]->text() : QString();
}

void StatusBar::setPanelText(int index, const QString& text) {
  if (index >= 0 && index < panelCount()) panels_[size_t(index)]->setText(text);
}

int StatusBar::panelWidth(int index) const {
  return index >= 0 && index < panelCount() ? panels_[size_t(index)]->width() : 0;
}

}  // namespace ui
