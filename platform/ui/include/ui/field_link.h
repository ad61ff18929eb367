// How a data-aware control follows one field of a dataset.
//
// A FieldLink attaches to a db::DataSource and names a field. It hears what
// happens to the source's dataset and tells its control in two words:
// "show the field again" (the dataset opened, closed or moved, the rows
// changed, the field changed, editing began or ended) and "write what the user
// keyed" (a post is about to happen). The field is looked up by name at each
// use, so a control never holds a field that went away with its dataset.
//
// Messages the controls show themselves (a value the field refuses, a record
// another user holds) go through ui::dialogs(), in the language set with
// setControlsLanguage().
#pragma once

#include <QString>
#include <functional>

#include "db/data_source.h"
#include "pdx/status.h"

class QWidget;

namespace db {
class DataSet;
class Field;
}  // namespace db

class QLineEdit;

namespace ui {

class FieldLink : public db::DataLink {
 public:
  FieldLink() = default;

  const QString& fieldName() const { return fieldName_; }
  void setFieldName(const QString& name);
  // The field in the source's dataset, or null (no source, no dataset, no
  // such field).
  db::Field* field() const;
  // The dataset is open.
  bool active() const;
  // The dataset is in edit or insert state.
  bool editing() const;

  // Keying into the control puts the dataset in edit state by itself.
  bool autoEdit = true;

  // Whether the user may change the field now: it exists and is neither
  // read-only nor calculated, and the dataset is editing, or could be put in
  // edit state (a writable table standing on a record, with autoEdit).
  bool canModify() const;
  // Puts the dataset in edit state when it is not already: ok, or why not.
  pdx::Status startEditing();

  // Show the field again. `field` is null when anything may have changed.
  std::function<void()> onChange;
  // A post is coming: write what the user keyed into the field.
  std::function<void()> onUpdateData;

  void activeChanged() override { changed(); }
  void dataSetChanged() override { changed(); }
  void dataSetScrolled() override { changed(); }
  void recordChanged(const db::Field* field) override;
  void editingChanged() override { changed(); }
  void updateData() override;

 private:
  void changed() {
    if (onChange) onChange();
  }
  QString fieldName_;
};

// Whether rows of `dataSet` can be changed at all: queries and tables opened
// read-only cannot.
bool dataSetWritable(const db::DataSet& dataSet);

// The language of the controls' own messages: 1 English (the default), 2 French.
int controlsLanguage();
void setControlsLanguage(int language);

// The message for a value `typed` that `field` refused with `status`, in the
// controls' language: "'31/02/2026' is not a valid date." and the like.
QString fieldErrorText(const db::Field* field, const QString& typed, const pdx::Status& status);
// The message for any other failure of the dataset.
QString dataErrorText(const pdx::Status& status);
// Shows `text` as an error message over `parent`.
void showDataError(QWidget* parent, const QString& text);

// Runs `body`, turning an exception thrown by one of the dataset's event
// handlers (a DatabaseError or any std::exception) into a status.
pdx::Status guarded(const std::function<pdx::Status()>& body);

// The first keystroke in a bound edit: puts the record in edit state, which
// re-reads the record and refreshes every bound control, this one included,
// then gives `edit` back what the user keyed and sets `modified`. `starting`
// is set meanwhile, so the control can tell its own refresh from the user's
// typing. When the record cannot be edited, `restore` shows the field's value
// again, the reason is shown (a read-only dataset says nothing), and the
// result is false.
bool startKeyedEdit(QLineEdit& edit, FieldLink& link, bool& starting, bool& modified,
                    const std::function<void()>& restore);

}  // namespace ui
