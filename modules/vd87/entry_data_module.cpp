#include "entry_data_module.h"

#include "db/error.h"

namespace vd87 {

using Style = db::Field::CurrencyStyle;

Tvd87_dm::Tvd87_dm() {
  struct TableUse {
    db::Table* table;
    const char* name;  // the component name
    const char* file;  // as the data module names the file
    const char* database;
    Style money;
  };
  const TableUse uses[] = {
      {&sup, "sup", "sup.DB", "vd87db", Style::kMoneyField},
      {&Sup2_Table, "Sup2_Table", "sup.DB", "vd87db", Style::kPlainCurrency},
      {&cap, "cap", "cap.DB", "vd87db", Style::kMoneyField},
      {&glm, "glm", "glm.DB", "vd87db", Style::kMoneyField},
      {&gla, "gla", "gla.db", "vd87db", Style::kMoneyField},
      {&ctrl, "ctrl", "ctrl.DB", "vd87db", Style::kNone},
      {&Periods, "Periods", "Periods.db", "vd87db", Style::kNone},
      {&tjlh, "tjlh", "tjlh.DB", "vd87db", Style::kPlainCurrency},
      {&tjld, "tjld", "tjld.DB", "vd87db", Style::kPlainCurrency},
      {&apori, "apori", "apori.DB", "vd87db", Style::kPlainCurrency},
      {&virmem, "virmem", "virmem.DB", "mydbvd87", Style::kMoneyField},
  };
  for (const TableUse& s : uses) {
    s.table->setName(s.name);
    s.table->setTableName(s.file);
    s.table->setDatabaseName(s.database);
    const Style style = s.money;
    s.table->afterOpen = [this, style](db::DataSet& ds) { styleMoneyFields(ds, style); };
  }
  apori.onNewRecord = &Tvd87_dm::aporiNewRecord;
}

Tvd87_dm::~Tvd87_dm() { closeAll(); }

void Tvd87_dm::setPaths(const std::string& companyDirectory, const std::string& dataRoot) {
  vd87db.params().clear();
  vd87db.params().push_back("path=" + companyDirectory);
  mydbvd87.params().clear();
  mydbvd87.params().push_back("path=" + dataRoot);
}

std::vector<db::Table*> Tvd87_dm::openOrder() {
  return {&glm, &gla, &ctrl, &sup, &cap, &tjlh, &tjld, &Sup2_Table, &apori, &virmem};
}

std::vector<db::DataSet*> Tvd87_dm::dataSets() {
  return {&sup, &Sup2_Table, &cap, &glm, &gla, &ctrl, &Periods, &tjlh, &tjld, &apori, &virmem};
}

void Tvd87_dm::styleMoneyFields(db::DataSet& dataSet, Style style) {
  if (style == Style::kNone) return;
  for (const auto& f : dataSet.fields())
    if (f->dataType() == pdx::FieldType::kMoney) f->currency = style;
  if (&dataSet == &sup) {
    if (db::Field* code = sup.findField("Sup_code")) code->required = true;
  }
}

pdx::Status Tvd87_dm::holdScratchRow(int sessionId) {
  sessionId_ = sessionId;
  scratchIsNew_ = false;
  PDX_RETURN_IF_ERROR(virmem.cancel());
  auto found = virmem.findKey({pdx::Value::integer(sessionId)});
  if (!found.ok()) return found.status();
  if (*found) {
    pdx::Status held = virmem.edit();
    if (held.ok()) return held;
    // Another program holds the row (a second shell on the same slot): a
    // row of our own serves as well, since it is never written.
    if (!held.is(pdx::code::kRecordLocked)) return held;
  }
  scratchIsNew_ = true;
  return virmem.insert();
}

pdx::Status Tvd87_dm::restartScratchRow() {
  if (!virmem.active()) return {};
  PDX_RETURN_IF_ERROR(virmem.cancel());
  if (scratchIsNew_) return virmem.insert();
  pdx::Status held = virmem.edit();
  if (held.ok()) return held;
  if (!held.is(pdx::code::kRecordLocked) && !held.is(pdx::code::kNoCurrentRecord)) return held;
  scratchIsNew_ = true;
  return virmem.insert();
}

void Tvd87_dm::closeAll() {
  if (virmem.active()) (void)virmem.cancel();
  for (db::DataSet* ds : dataSets()) ds->close();
  vd87db.disconnect();
  mydbvd87.disconnect();
}

void Tvd87_dm::aporiNewRecord(db::DataSet& dataSet) {
  for (const auto& f : dataSet.fields()) {
    if (f->calculated()) continue;
    if (f->dataType() == pdx::FieldType::kMoney || f->dataType() == pdx::FieldType::kLong)
      db::check(f->setValue(f->dataType() == pdx::FieldType::kMoney ? pdx::Value::number(0.0) : pdx::Value::integer(0)));
  }
}

}  // namespace vd87
