// Helpers of the shared library's tests.
#pragma once

#include <QApplication>

#include "db/database.h"
#include "db/table.h"
#include "os/recorders.h"
#include "os/services.h"

namespace shared::testing {

inline QApplication* app() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  static int argc = 1;
  static char name[] = "shared_test";
  static char* argv[] = {name, nullptr};
  static QApplication* created = new QApplication(argc, argv);
  return created;
}

// One row of a translation table.
struct Row {
  QString form, control, caption, lines, hint;
  bool isForm = false, isMemo = false, isGrid = false, isRadio = false, isCombo = false, isCheckList = false;
};

// Writes a translation table `name` in `directory`.
inline pdx::Status writeTranslations(const std::string& directory, const std::string& name, const std::vector<Row>& rows) {
  using pdx::FieldType;
  db::Table t;
  t.setDatabaseName(directory);
  t.setTableName(name);
  t.fieldDefs = {{"FormName", FieldType::kAlpha, 20}, {"ControlName", FieldType::kAlpha, 35},
                 {"Caption", FieldType::kAlpha, 55},  {"Lines", FieldType::kMemo, 10},
                 {"Hint", FieldType::kAlpha, 25},     {"IsForm", FieldType::kLogical, 0},
                 {"IsMemo", FieldType::kLogical, 0},  {"IsDBGrid", FieldType::kLogical, 0},
                 {"IsRadioGroup", FieldType::kLogical, 0}, {"IsCombobox", FieldType::kLogical, 0},
                 {"IsCheckList", FieldType::kLogical, 0}};
  t.primaryIndexFields = "FormName;ControlName";
  PDX_RETURN_IF_ERROR(t.createTable());
  PDX_RETURN_IF_ERROR(t.open());
  for (const Row& r : rows) {
    PDX_RETURN_IF_ERROR(t.insert());
    auto text = [&](const char* f, const QString& v) { return t.fieldByName(f).setAsString(v.toStdString()); };
    PDX_RETURN_IF_ERROR(text("FormName", r.form));
    PDX_RETURN_IF_ERROR(text("ControlName", r.control));
    PDX_RETURN_IF_ERROR(text("Caption", r.caption));
    PDX_RETURN_IF_ERROR(text("Lines", r.lines));
    PDX_RETURN_IF_ERROR(text("Hint", r.hint));
    PDX_RETURN_IF_ERROR(t.fieldByName("IsForm").setAsBoolean(r.isForm));
    PDX_RETURN_IF_ERROR(t.fieldByName("IsMemo").setAsBoolean(r.isMemo));
    PDX_RETURN_IF_ERROR(t.fieldByName("IsDBGrid").setAsBoolean(r.isGrid));
    PDX_RETURN_IF_ERROR(t.fieldByName("IsRadioGroup").setAsBoolean(r.isRadio));
    PDX_RETURN_IF_ERROR(t.fieldByName("IsCombobox").setAsBoolean(r.isCombo));
    PDX_RETURN_IF_ERROR(t.fieldByName("IsCheckList").setAsBoolean(r.isCheckList));
    PDX_RETURN_IF_ERROR(t.post());
  }
  return {};
}

// Puts in-memory machine settings in force for the life of the object.
class ScopedSettings {
 public:
  ScopedSettings() {
    auto mine = std::make_unique<os::MemoryMachineSettings>();
    settings_ = mine.get();
    previous_ = os::Services::install(std::move(mine));
  }
  ~ScopedSettings() { os::Services::install(std::move(previous_)); }
  os::MemoryMachineSettings& operator*() { return *settings_; }
  os::MemoryMachineSettings* operator->() { return settings_; }

 private:
  os::MemoryMachineSettings* settings_;
  std::unique_ptr<os::MachineSettings> previous_;
};

}  // namespace shared::testing
