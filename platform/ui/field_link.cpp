#include "ui/field_link.h"

#include <QLineEdit>

#include "db/data_set.h"
#include "db/error.h"
#include "db/field.h"
#include "db/query.h"
#include "db/table.h"
#include "ui/dialogs.h"

namespace ui {

void FieldLink::setFieldName(const QString& name) {
  if (name == fieldName_) return;
  fieldName_ = name;
  changed();
}

db::Field* FieldLink::field() const {
  db::DataSet* ds = dataSet();
  if (!ds || fieldName_.isEmpty()) return nullptr;
  return ds->findField(fieldName_.toStdString());
}

bool FieldLink::active() const {
  db::DataSet* ds = dataSet();
  return ds && ds->active();
}

bool FieldLink::editing() const {
  db::DataSet* ds = dataSet();
  return ds && ds->editing();
}

bool FieldLink::canModify() const {
  const db::Field* f = field();
  if (!f || f->readOnly || f->calculated() || !active()) return false;
  const db::DataSet& ds = f->dataSet();
  if (ds.editing()) return true;
  return autoEdit && !ds.isEmpty() && dataSetWritable(ds);
}

pdx::Status FieldLink::startEditing() {
  db::DataSet* ds = dataSet();
  if (!ds || !ds->active()) return pdx::Status(db::code::kDataSetClosed, "the dataset is not open");
  if (ds->editing()) return {};
  if (!autoEdit) return pdx::Status(db::code::kNotEditing, "the dataset is not in edit state");
  return ds->edit();
}

void FieldLink::recordChanged(const db::Field* changedField) {
  // Another field's change matters only to a calculated field, which the
  // dataset has just recalculated.
  const db::Field* mine = field();
  if (changedField && mine && changedField != mine && !mine->calculated()) return;
  changed();
}

void FieldLink::updateData() {
  if (onUpdateData) onUpdateData();
}

bool dataSetWritable(const db::DataSet& dataSet) {
  if (dynamic_cast<const db::Query*>(&dataSet)) return false;
  if (const auto* table = dynamic_cast<const db::Table*>(&dataSet)) return !table->readOnly;
  return true;
}

// ---------------------------------------------------------------- messages

namespace {

int& language() {
  static int current = 1;
  return current;
}

QString pick(const char* english, const char* french) {
  return QString::fromUtf8(controlsLanguage() == 2 ? french : english);
}

}  // namespace

int controlsLanguage() {
  return language();
}
void setControlsLanguage(int lang) {
  language() = lang == 2 ? 2 : 1;
}

QString fieldErrorText(const db::Field* field, const QString& typed, const pdx::Status& status) {
  if (!status.is(pdx::code::kInvalidValue) || !field) return dataErrorText(status);
  QString what;
  if (field->isDate())
    what = pick("'%1' is not a valid date.", "« %1 » n'est pas une date valide.");
  else if (field->isNumeric())
    what = pick("'%1' is not a valid number.", "« %1 » n'est pas un nombre valide.");
  else if (field->dataType() == pdx::FieldType::kLogical)
    what = pick("'%1' is not a valid yes or no value.", "« %1 » n'est pas une valeur oui ou non valide.");
  else
    what = pick("'%1' is not a valid value.", "« %1 » n'est pas une valeur valide.");
  what = what.arg(typed.trimmed());
  const QString label = QString::fromStdString(field->label());
  return what + QLatin1Char(' ') + pick("Field: %1.", "Champ : %1.").arg(label);
}

QString dataErrorText(const pdx::Status& status) {
  QString text;
  switch (status.code()) {
    case pdx::code::kRecordLocked:
      text = pick("The record is locked by another user.", "L'enregistrement est verrouillé par un autre utilisateur.");
      break;
    case pdx::code::kRecordChanged:
      text = pick("Another user changed the record.", "Un autre utilisateur a modifié l'enregistrement.");
      break;
    case pdx::code::kKeyViolation:
      text = pick("A record with this key already exists.", "Un enregistrement avec cette clé existe déjà.");
      break;
    case db::code::kDataSetReadOnly:
      text = pick("The data cannot be changed here.", "Les données ne peuvent pas être modifiées ici.");
      break;
    default:
      text = pick("The data could not be written.", "Les données n'ont pas pu être écrites.");
      break;
  }
  // The engine's own words follow for whoever diagnoses it; they are not translated.
  if (!status.message().empty()) text += QLatin1Char('\n') + QString::fromStdString(status.message());
  return text;
}

void showDataError(QWidget* parent, const QString& text) {
  dialogs().message(parent, MessageKind::kError, pick("Error", "Erreur"), text, Buttons::kOk);
}

pdx::Status guarded(const std::function<pdx::Status()>& body) {
  try {
    return body();
  } catch (const db::DatabaseError& e) {
    return pdx::Status(e.last().errorCode, e.what());
  } catch (const std::exception& e) {
    return pdx::Status(pdx::code::kInvalidParameter, e.what());
  }
}

bool startKeyedEdit(QLineEdit& edit, FieldLink& link, bool& starting, bool& modified,
                    const std::function<void()>& restore) {
  const QString keyedText = edit.text();
  const int cursor = edit.cursorPosition();
  starting = true;
  const pdx::Status s = guarded([&] { return link.startEditing(); });
  starting = false;
  if (!s.ok()) {
    restore();
    if (!s.is(db::code::kDataSetReadOnly) && !s.is(db::code::kNotEditing)) showDataError(&edit, dataErrorText(s));
    return false;
  }
  modified = true;
  if (edit.text() != keyedText) {
    edit.setText(keyedText);
    edit.setCursorPosition(cursor);
  }
  return true;
}

}  // namespace ui
