// Data-aware controls: an edit, a label, a check box and a combo box, each
// showing one field of the current record of a data source's dataset.
//
// Every control follows its field through a FieldLink (field_link.h): it
// shows the field again whenever the dataset opens, moves, changes or
// leaves edit state. The editing ones put the dataset in edit state when the
// user starts changing the value (autoEdit) and write the value into the
// field when the user leaves the control, or when a post comes first. A value
// the field refuses is reported through ui::dialogs() and the focus returns
// to the control; a post that meets such a value fails with a
// db::DatabaseError (from the dataset's post()), so that nothing half-keyed
// is written.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "ui/component.h"
#include "ui/field_link.h"
#include "ui/mask_edit.h"

namespace db {
class DataSource;
class Field;
}  // namespace db

namespace ui {

// A data-bound edit. Without the focus it shows the field's display text
// (Field::displayText: display format, currency); with the focus it shows the
// text to key (Field::asString) inside the field's edit mask, if any (a date
// field "!99/99/9999;1; "). An edit mask given to the control itself takes
// the place of the field's. Escape takes back what was keyed.
class DBEdit : public MaskEdit {
  Q_OBJECT
 public:
  DBEdit(ComponentOwner* owner, QWidget* parent, const QString& name);
  ~DBEdit() override;
  // The text comes from the field; translation leaves it alone.
  void setCaption(const QString&) override {}

  db::DataSource* dataSource() const { return link_.dataSource(); }
  void setDataSource(db::DataSource* source) { link_.setDataSource(source); }
  QString dataField() const { return link_.fieldName(); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  db::Field* field() const { return link_.field(); }

  // The control's own read-only switch; the edit is read-only as well while
  // the field cannot be changed (read-only or calculated field, closed or
  // read-only dataset, no record). Hides QLineEdit's, which the control
  // drives itself.
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly);
  bool autoEdit() const { return link_.autoEdit; }
  void setAutoEdit(bool autoEdit) { link_.autoEdit = autoEdit; }

  // The user keyed something that is not yet in the field.
  bool pendingEdit() const { return modified_; }
  // Writes what was keyed into the field now. Ok when nothing was pending;
  // otherwise the field's status (the text stays as keyed on failure).
  pdx::Status writeField();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool leaving() override;
  void maskChanged() override { showField(); }

 private:
  void showField();
  void userEdited();
  void refocusWithError(const QString& text);
  EditMask effectiveMask() const;

  FieldLink link_;
  bool readOnly_ = false;
  bool modified_ = false;
  bool starting_ = false;  // putting the dataset in edit state: keep the keyed text
};

// A label that shows a field's display text.
class DBText : public QLabel, public Component {
 public:
  DBText(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  // The text comes from the field; translation leaves it alone.
  QString caption() const override { return text(); }
  void setCaption(const QString&) override {}

  db::DataSource* dataSource() const { return link_.dataSource(); }
  void setDataSource(db::DataSource* source) { link_.setDataSource(source); }
  QString dataField() const { return link_.fieldName(); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  db::Field* field() const { return link_.field(); }

 private:
  void showField();
  FieldLink link_;
};

// A check box over a logical field: checked when the field is true, unchecked
// when false or blank. Clicking writes the field at once.
class DBCheckBox : public QCheckBox, public Component {
 public:
  DBCheckBox(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }

  db::DataSource* dataSource() const { return link_.dataSource(); }
  void setDataSource(db::DataSource* source) { link_.setDataSource(source); }
  QString dataField() const { return link_.fieldName(); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  db::Field* field() const { return link_.field(); }
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

 protected:
  void nextCheckState() override;

 private:
  void showField();
  FieldLink link_;
  bool readOnly_ = false;
};

// A combo box over a text field. As a drop-down list (not editable) it
// shows the item equal to the field (none when no item is) and writes the
// chosen item at once; editable, it shows the field's text and writes what
// was keyed or chosen when the user leaves it.
class DBComboBox : public QComboBox, public Component, public ItemList {
 public:
  DBComboBox(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  QString caption() const override { return currentText(); }
  void setCaption(const QString&) override {}
  QStringList items() const override;
  void setItems(const QStringList& items) override;

  db::DataSource* dataSource() const { return link_.dataSource(); }
  void setDataSource(db::DataSource* source) { link_.setDataSource(source); }
  QString dataField() const { return link_.fieldName(); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  db::Field* field() const { return link_.field(); }
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
  // Writes a keyed text (editable combo boxes) into the field now.
  pdx::Status writeField();

 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void showField();
  void chosen(int index);
  void keyed();

  FieldLink link_;
  bool readOnly_ = false;
  bool modified_ = false;
  bool showing_ = false;
};

}  // namespace ui
