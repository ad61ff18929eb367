#include "ui/data_controls.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "db/data_set.h"
#include "db/error.h"
#include "db/field.h"

namespace ui {

namespace {

QString editString(const db::Field& field) {
  return QString::fromStdString(field.asString());
}
QString displayString(const db::Field& field) {
  return QString::fromStdString(field.displayText());
}

// Data-layer calls made from Qt's event handlers: an exception from a
// dataset's event handler must not cross Qt's event loop from here.
}  // namespace

// ---------------------------------------------------------------- DBEdit

DBEdit::DBEdit(ComponentOwner* owner, QWidget* parent, const QString& name) : MaskEdit(owner, parent, name) {
  link_.onChange = [this] { showField(); };
  link_.onUpdateData = [this] {
    if (!modified_) return;
    const QString typed = text();
    const pdx::Status s = writeField();
    if (s.ok()) return;
    // The post must not go on with the old value: it fails, and the
    // control takes the focus back for the user to correct it.
    QTimer::singleShot(0, this, [this] {
      setFocus();
      selectAll();
    });
    throw db::DatabaseError(fieldErrorText(field(), typed, s).toStdString(), s);
  };
  connect(this, &QLineEdit::textEdited, this, &DBEdit::userEdited);
  showField();
}

DBEdit::~DBEdit() = default;

void DBEdit::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  QLineEdit::setReadOnly(readOnly_ || !link_.canModify());
}

EditMask DBEdit::effectiveMask() const {
  if (!mask().isEmpty()) return mask();
  const db::Field* f = field();
  return f ? EditMask(QString::fromStdString(f->editMask)) : EditMask();
}

void DBEdit::showField() {
  if (starting_) return;
  modified_ = false;
  const db::Field* f = field();
  if (f && hasFocus()) {
    const EditMask m = effectiveMask();
    applyMask(m);
    if (m.isEmpty()) setMaxLength(f->isText() && f->size() > 0 ? f->size() : 32767);
    MaskEdit::setText(editString(*f));
  } else {
    applyMask(EditMask());
    QLineEdit::setText(f ? displayString(*f) : QString());
  }
  setAlignment(f && f->isNumeric() ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
  setModified(false);
  QLineEdit::setReadOnly(readOnly_ || !link_.canModify());
}

void DBEdit::userEdited() {
  if (modified_) return;
  // The first change: the record goes into edit state now. That re-reads
  // the record and tells every control, this one included, which must keep
  // what the user just keyed.
  startKeyedEdit(*this, link_, starting_, modified_, [this] { showField(); });
}

pdx::Status DBEdit::writeField() {
  if (!modified_) return {};
  db::Field* f = field();
  if (!f) {
    modified_ = false;
    return {};
  }
  const QString value = text();
  const pdx::Status s = guarded([&] {
    pdx::Status started = link_.startEditing();
    if (!started.ok()) return started;
    return f->setAsString(value.toStdString());
  });
  if (!s.ok()) return s;
  // The field told every control, this one included; show the stored value.
  showField();
  return {};
}

void DBEdit::refocusWithError(const QString& message) {
  // After the focus change has finished: a message box or a focus change
  // from inside a focus-out event would fight the one under way.
  QTimer::singleShot(0, this, [this, message] {
    showDataError(this, message);
    setFocus();
    selectAll();
  });
}

bool DBEdit::leaving() {
  const QString typed = text();
  const pdx::Status s = writeField();
  if (!s.ok()) {
    refocusWithError(fieldErrorText(field(), typed, s));
    return false;
  }
  showField();
  return true;
}

void DBEdit::focusInEvent(QFocusEvent* event) {
  // Shows the text to key before QLineEdit selects it.
  if (!modified_) showField();
  MaskEdit::focusInEvent(event);
}

void DBEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && modified_) {
    showField();
    selectAll();
    event->accept();
    return;
  }
  MaskEdit::keyPressEvent(event);
}

// ---------------------------------------------------------------- DBText

DBText::DBText(ComponentOwner* owner, QWidget* parent, const QString& name) : QLabel(parent) {
  attach(owner, name);
  link_.onChange = [this] { showField(); };
}

void DBText::showField() {
  const db::Field* f = field();
  setText(f ? displayString(*f) : QString());
}

// ---------------------------------------------------------------- DBCheckBox

DBCheckBox::DBCheckBox(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption)
    : QCheckBox(caption, parent) {
  attach(owner, name);
  link_.onChange = [this] { showField(); };
  showField();
}

void DBCheckBox::showField() {
  const db::Field* f = field();
  setChecked(f && f->asBoolean());
}

void DBCheckBox::nextCheckState() {
  if (readOnly_ || !link_.canModify()) return;  // the state stays
  db::Field* f = field();
  const bool wanted = !isChecked();
  const pdx::Status s = guarded([&] {
    pdx::Status started = link_.startEditing();
    if (!started.ok()) return started;
    return f->setAsBoolean(wanted);
  });
  if (!s.ok()) {
    showDataError(this, dataErrorText(s));
    showField();
    return;
  }
  setChecked(f->asBoolean());
}

// ---------------------------------------------------------------- DBComboBox

DBComboBox::DBComboBox(ComponentOwner* owner, QWidget* parent, const QString& name) : QComboBox(parent) {
  attach(owner, name);
  link_.onChange = [this] { showField(); };
  link_.onUpdateData = [this] {
    if (!modified_) return;
    const QString typed = currentText();
    const pdx::Status s = writeField();
    if (!s.ok()) throw db::DatabaseError(fieldErrorText(field(), typed, s).toStdString(), s);
  };
  connect(this, qOverload<int>(&QComboBox::activated), this, &DBComboBox::chosen);
  connect(this, &QComboBox::editTextChanged, this, [this] {
    if (!showing_ && hasFocus()) keyed();
  });
  showField();
}

QStringList DBComboBox::items() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << itemText(i);
  return out;
}

void DBComboBox::setItems(const QStringList& list) {
  showing_ = true;
  clear();
  addItems(list);
  showing_ = false;
  showField();
}

void DBComboBox::showField() {
  showing_ = true;
  modified_ = false;
  const db::Field* f = field();
  const QString value = f ? editString(*f) : QString();
  if (isEditable()) {
    setCurrentIndex(findText(value));
    setEditText(value);
  } else {
    setCurrentIndex(value.isEmpty() ? -1 : findText(value));
  }
  showing_ = false;
}

void DBComboBox::chosen(int index) {
  if (isEditable()) {
    keyed();
    return;
  }
  db::Field* f = field();
  if (readOnly_ || !f || !link_.canModify()) {
    showField();
    return;
  }
  const QString value = itemText(index);
  const pdx::Status s = guarded([&] {
    pdx::Status started = link_.startEditing();
    if (!started.ok()) return started;
    return f->setAsString(value.toStdString());
  });
  if (!s.ok()) showDataError(this, fieldErrorText(f, value, s));
  showField();
}

void DBComboBox::keyed() {
  if (modified_) return;
  if (readOnly_ || !link_.canModify()) {
    showField();
    return;
  }
  const QString keyedText = currentText();
  showing_ = true;
  const pdx::Status s = guarded([&] { return link_.startEditing(); });
  showing_ = false;
  if (!s.ok()) {
    showField();
    showDataError(this, dataErrorText(s));
    return;
  }
  showing_ = true;
  setEditText(keyedText);
  showing_ = false;
  modified_ = true;
}

pdx::Status DBComboBox::writeField() {
  if (!modified_) return {};
  db::Field* f = field();
  if (!f) {
    modified_ = false;
    return {};
  }
  const QString value = currentText();
  const pdx::Status s = guarded([&] {
    pdx::Status started = link_.startEditing();
    if (!started.ok()) return started;
    return f->setAsString(value.toStdString());
  });
  if (s.ok()) showField();
  return s;
}

void DBComboBox::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) return;
  const QString typed = currentText();
  const pdx::Status s = writeField();
  if (!s.ok()) {
    QTimer::singleShot(0, this, [this, message = fieldErrorText(field(), typed, s)] {
      showDataError(this, message);
      setFocus();
    });
  }
}

}  // namespace ui
