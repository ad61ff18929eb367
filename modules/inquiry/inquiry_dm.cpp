#include "inquiry_dm.h"

#include "aging.h"
#include "data/codes.h"
#include "db/error.h"

namespace inquiry {

namespace {

using F = pdx::FieldType;
using Style = db::Field::CurrencyStyle;

std::string n(int i) { return std::to_string(i); }

// Restores a dataset's calc-fields handler when it goes out of scope.
class CalcFieldsOff {
 public:
  explicit CalcFieldsOff(db::DataSet& ds) : ds_(ds), saved_(std::move(ds.onCalcFields)) { ds_.onCalcFields = nullptr; }
  ~CalcFieldsOff() { ds_.onCalcFields = std::move(saved_); }
  CalcFieldsOff(const CalcFieldsOff&) = delete;
  CalcFieldsOff& operator=(const CalcFieldsOff&) = delete;

 private:
  db::DataSet& ds_;
  db::DataSet::Event saved_;
};

// Keeps a dataset's controls (and master/detail links) deaf for a scope.
class ControlsOff {
 public:
  explicit ControlsOff(db::DataSet& ds) : ds_(ds) { ds_.disableControls(); }
  ~ControlsOff() { ds_.enableControls(); }
  ControlsOff(const ControlsOff&) = delete;
  ControlsOff& operator=(const ControlsOff&) = delete;

 private:
  db::DataSet& ds_;
};

}  // namespace

InquiryDataModule::InquiryDataModule(const InquirySide& side) : database(side.databaseName), side_(side) {
  struct Use {
    db::DataSet* ds;
    std::string component;
    std::string table;  // tables only
  };
  const std::vector<Use> uses = {
      {&Query1, "Query1", ""},
      {&Query2, "Query2", ""},
      {&Table1, "Table1", "ctrl"},
      {&Table2, "Table2", side.historyTable},
      {&glm, "glm", "glm"},
      {&entries, side.entriesTable, side.entriesTable},
      {&cashHeaders, side.cashTable, side.cashTable},
      {&cashLines, side.cashLinesTable, side.cashLinesTable},
      {&fahdr, "fahdr", "fahdr"},
      {&fadet, "fadet", "fadet"},
      {&fahdra, "fahdra", "fahdra"},
      {&fadeta, "fadeta", "fadeta"},
      {&ivprod, "ivprod", "ivprod"},
      {&slsm, "slsm", "slsm"},
      {&comp, "comp", "comp"},
      {&arterms, "arterms", "arterms"},
      {&balances, side.receivables() ? "cartmp" : "captmp", ""},
      {&Table3, "Table3", "virmem"},
  };
  for (const Use& u : uses) {
    u.ds->setName(u.component);
    u.ds->setDatabaseName(side.databaseName);
    if (auto* t = dynamic_cast<db::Table*>(u.ds)) {
      t->setTableName(u.table);
      // Only the session's two scratch tables are written.
      t->readOnly = t != &balances && t != &Table3;
    }
  }
  Query1.setSql(side.partyQuery);
  Query2.setSql(side.itemsQuery);

  (void)Table2.setIndexFieldNames(side.itemParty);
  Table2.setMasterSource(&partySource);
  Table2.setMasterFields(side.partyCode);
  (void)glm.setIndexFieldNames("Glm_account");
  (void)entries.setIndexFieldNames("Reference;" + side.entryParty + ";Date");
  entries.setMasterFields(side.item("invoice") + ";" + side.itemParty + ";" + side.item("date"));
  (void)cashHeaders.setIndexFieldNames("Reference;" + side.cashParty + ";Date");
  cashHeaders.setMasterFields(side.item("ref") + ";" + side.itemParty + ";" + side.item("date"));
  (void)cashLines.setIndexFieldNames("Reference;" + side.cashParty + ";Date;Header_seq");
  cashLines.setMasterSource(&cashSource);
  cashLines.setMasterFields("Reference;" + side.cashParty + ";Date;Seq");
  (void)fahdr.setIndexFieldNames("Fahdr_doc;Fahdr_invoice");
  fahdr.setMasterFields(side.item("type") + ";" + side.item("invoice"));
  (void)fadet.setIndexFieldNames("Fadet_doc;Fadet_invoice");
  fadet.setMasterSource(&invoiceSource);
  fadet.setMasterFields("Fahdr_doc;Fahdr_invoice");
  (void)fahdra.setIndexFieldNames("Fahdra_doc;Fahdra_invoice");
  fahdra.setMasterFields(side.item("type") + ";" + side.item("invoice"));
  (void)fadeta.setIndexFieldNames("Fadeta_doc;Fadeta_invoice");
  fadeta.setMasterSource(&archiveSource);
  fadeta.setMasterFields("Fahdra_doc;Fahdra_invoice");
  (void)arterms.setIndexFieldNames("Arterms_code");
  followTransactions(true);

  declareFields();
  Query1.afterScroll = [this](db::DataSet& ds) { Query1AfterScroll(ds); };
  Query2.onCalcFields = [this](db::DataSet& ds) { transactionCalcFields(ds); };
  Table2.onCalcFields = [this](db::DataSet& ds) { transactionCalcFields(ds); };
  entries.onCalcFields = [this](db::DataSet& ds) { entryCalcFields(ds); };
  entries.onFilterRecord = [this](db::DataSet& ds) { return entryFilterRecord(ds); };
  (void)entries.setFiltered(true);
  cashHeaders.onCalcFields = [this](db::DataSet& ds) { cashCalcFields(ds); };
  fahdr.onCalcFields = [this](db::DataSet& ds) { invoiceCalcFields(ds); };
  fahdra.onCalcFields = [this](db::DataSet& ds) { invoiceCalcFields(ds); };
  fadet.onCalcFields = [this](db::DataSet& ds) { lineCalcFields(ds); };
  fadeta.onCalcFields = [this](db::DataSet& ds) { lineCalcFields(ds); };

  // Amounts of the party and its statement follow the party's currency.
  for (db::DataSet* ds : std::initializer_list<db::DataSet*>{&Query1, &Query2, &Table2, &Table3})
    ds->afterOpen = [](db::DataSet& opened) {
      for (const auto& f : opened.fields())
        if (f->dataType() == F::kMoney) f->currency = Style::kMoneyField;
    };
}

InquiryDataModule::~InquiryDataModule() { closeAll(); }

void InquiryDataModule::declareFields() {
  for (db::DataSet* ds : std::initializer_list<db::DataSet*>{&Query2, &Table2}) {
    ds->addCalculatedField("strType", F::kAlpha, 30);
    ds->addCalculatedField(side_.balanceField, F::kMoney).currency = Style::kMoneyField;
  }
  entries.addCalculatedField("strType", F::kAlpha, 30);
  for (int i = 1; i <= side_.entryAccounts; ++i) entries.addCalculatedField("desc" + n(i), F::kAlpha, 60);
  entries.addCalculatedField(side_.directCashText, F::kAlpha, 10);
  for (int i = 1; i <= side_.cashAccounts; ++i) cashHeaders.addCalculatedField("desc" + n(i), F::kAlpha, 60);
  cashHeaders.addCalculatedField(side_.notPartyText, F::kAlpha, 10);
  if (!side_.nsfField.empty()) cashHeaders.addCalculatedField("NSF", F::kAlpha, 10);
  fahdr.addCalculatedField("terms", F::kAlpha, 40);
  fahdra.addCalculatedField("terms", F::kAlpha, 40);
  // Declared for the invoice print, left empty.
  for (auto [ds, prefix, um] : {std::tuple{&fadet, "fadet", "UM"}, std::tuple{&fadeta, "fadeta", "um"}}) {
    ds->addCalculatedField("margin", F::kNumber);
    ds->addCalculatedField("markup", F::kNumber);
    ds->addCalculatedField("qty_bo", F::kNumber);
    ds->addCalculatedField("list_price", F::kNumber);
    ds->addCalculatedField(um, F::kAlpha, 3);
    ds->addCalculatedField(std::string(prefix) + "_desc1", F::kAlpha, 40);
  }
}

void InquiryDataModule::setPaths(const std::string& companyDirectory, const std::string& dataRoot) {
  database.params().clear();
  database.params().push_back("path=" + companyDirectory);
  for (db::Table* t : {&comp, &arterms, &Table3}) t->setDatabaseName(dataRoot);
}

std::vector<db::DataSet*> InquiryDataModule::dataSets() {
  return {&Query1, &Query2, &Table1, &Table2, &glm, &entries, &cashHeaders, &cashLines, &fahdr, &fadet,
          &fahdra, &fadeta, &ivprod, &slsm, &comp, &arterms, &balances, &Table3};
}

const std::string& InquiryDataModule::typeName(int line) const {
  static const std::string none;
  if (line < 0 || line >= static_cast<int>(side_.typeNameLines.size())) return none;
  if (typeNames_.empty()) {
    // Read once: every row of a statement asks.
    for (int n = 0; n < static_cast<int>(side_.typeNameLines.size()); ++n) {
      std::string text = typeNameLine_ ? typeNameLine_(n) : std::string();
      typeNames_.push_back(text.empty() ? side_.typeNameLines[size_t(n)] : std::move(text));
    }
  }
  return typeNames_[size_t(line)];
}

// ---------------------------------------------------------------- transaction source

db::DataSet& InquiryDataModule::transactions() { return showingCurrent() ? static_cast<db::DataSet&>(Query2) : Table2; }

db::DataSource& InquiryDataModule::transactionSource() { return showingCurrent() ? currentSource : historySource; }

void InquiryDataModule::followTransactions(bool current) {
  db::DataSource* source = current ? &currentSource : &historySource;
  for (db::Table* t : {&entries, &cashHeaders, &fahdr, &fahdra}) t->setMasterSource(source);
}

// ---------------------------------------------------------------- balances

pdx::Status InquiryDataModule::createBalanceTable(int sessionId) {
  sessionId_ = sessionId;
  balances.close();
  balanceByRow_.clear();
  balances.setTableName(data::sessionTableName(*side_.balanceTable, sessionId));
  balances.fieldDefs = side_.balanceTable->fields;
  balances.primaryIndexFields.clear();
  for (const std::string& name : side_.balanceTable->keyFieldNames())
    balances.primaryIndexFields += (balances.primaryIndexFields.empty() ? "" : ";") + name;
  return balances.createTable();
}

pdx::Status InquiryDataModule::readTransactions(db::DataSet& source, const RowVisitor& visit) {
  const char* names[] = {"invoice", "ref", "date", "type", "seq", "amount"};
  std::vector<db::Field*> fields{&source.fieldByName(side_.itemParty)};
  for (const char* n : names) fields.push_back(&source.fieldByName(side_.item(n)));
  if (&source == &Query2) {
    // The query's rows as it keeps them: nothing moves, no control hears.
    std::vector<int> columns;
    for (const db::Field* f : fields) columns.push_back(f->column());
    return Query2.forEachRow(columns, visit);
  }
  ControlsOff quiet(source);
  CalcFieldsOff plain(source);
  std::vector<const pdx::Value*> values(fields.size());
  PDX_RETURN_IF_ERROR(source.first());
  while (!source.isEmpty()) {
    for (size_t k = 0; k < fields.size(); ++k) values[k] = &fields[k]->value();
    visit(values);
    PDX_RETURN_IF_ERROR(source.next());
    if (source.eof()) break;
  }
  return {};
}

pdx::Status InquiryDataModule::buildBalanceTable() {
  balances.close();
  balanceByRow_.clear();
  db::DataSet& source = transactions();
  if (!source.active()) {
    PDX_RETURN_IF_ERROR(balances.emptyTable());
    return balances.open();
  }
  {
    // The table emptied and the rows written straight to the engine, in one
    // write group: the table is this session's own and nothing shows it
    // while it fills.
    PDX_ASSIGN_OR_RETURN(auto group, database.startTransaction());
    group->holdPostsUntilCommit();  // a failed row ends the statement anyway
    PDX_RETURN_IF_ERROR(database.directory()->emptyTable(balances.tableName()));
    PDX_ASSIGN_OR_RETURN(auto table, database.directory()->openTable(balances.tableName()));
    constexpr int kBalance = 6;
    db::Money running;
    pdx::Status written;
    // The balance of each row after it, in the order of the rows.
    auto addBalance = [&](const pdx::Value& amount) {
      running += db::Money::fromDouble(amount.isNull() ? 0.0 : amount.toDouble().value_or(0.0)).value_or(db::Money());
      if (written.ok()) written = table->set(kBalance, pdx::Value::number(running.toDouble()));
      if (written.ok()) written = table->post();
      if (&source == &Query2) balanceByRow_.push_back(running);
    };
    if (&source == &Query2) {
      if (auto rows = Query2.recordCount(); rows.ok()) balanceByRow_.reserve(static_cast<size_t>(*rows));
      balanceRun_ = Query2.runs();
    }
    if (&source == &Query2 && Query2.rowsStored()) {
      // The six key fields go over as the open items store them; only the
      // amount is read.
      std::array<int, 6> keyColumns{Query2.fieldByName(side_.itemParty).column()};
      const char* names[] = {"invoice", "ref", "date", "type", "seq"};
      for (size_t k = 1; k < 6; ++k) keyColumns[k] = Query2.fieldByName(side_.item(names[k - 1])).column();
      const int amountColumn = Query2.fieldByName(side_.item("amount")).column();
      PDX_RETURN_IF_ERROR(Query2.forEachRow(
          {amountColumn}, [&](std::span<const pdx::Value* const> row, std::string_view record,
                              const pdx::RecordDecoder* decoder) {
            if (!written.ok()) return;
            written = decoder ? table->insert() : pdx::Status(pdx::code::kInvalidParameter, "rows not stored");
            for (size_t k = 0; k < 6 && written.ok(); ++k)
              written = table->setFrom(static_cast<int>(k), *decoder, record, keyColumns[k]);
            addBalance(*row[0]);
          }));
    } else {
      PDX_RETURN_IF_ERROR(readTransactions(source, [&](std::span<const pdx::Value* const> row) {
        if (!written.ok()) return;
        written = table->insert();
        for (size_t k = 0; k < 6 && written.ok(); ++k) written = table->set(static_cast<int>(k), *row[k]);
        addBalance(*row[6]);
      }));
    }
    PDX_RETURN_IF_ERROR(written);
    table.reset();
    PDX_RETURN_IF_ERROR(group->commit());
  }
  PDX_RETURN_IF_ERROR(balances.open());
  return source.first();
}

// ---------------------------------------------------------------- aging

AgingLimits InquiryDataModule::agingLimits() const {
  AgingLimits limits;
  for (int b = 1; b <= 4; ++b)
    if (const db::Field* f = Table1.findField(side_.agingDays + n(b))) limits.days[size_t(b - 1)] = f->asInteger();
  return limits;
}

pdx::Result<std::array<db::Money, 5>> InquiryDataModule::addAging(pdx::Timestamp now) {
  AgingWalk walk(agingLimits().days, now);
  if (Query2.active()) {
    const std::vector<int> columns = {Query2.fieldByName(side_.item("invoice")).column(),
                                      Query2.fieldByName(side_.item("date")).column(),
                                      Query2.fieldByName(side_.item("amount")).column()};
    PDX_RETURN_IF_ERROR(Query2.forEachRow(columns, [&walk](std::span<const pdx::Value* const> row) {
      const std::string invoice = row[0]->kind() == pdx::Value::Kind::kText ? row[0]->asText() : std::string();
      const pdx::Date date = row[1]->kind() == pdx::Value::Kind::kDate ? row[1]->asDate() : pdx::Date{};
      const double amount = row[2]->isNull() ? 0.0 : row[2]->toDouble().value_or(0.0);
      walk.add(invoice, date, db::Money::fromDouble(amount).value_or(db::Money()));
    }));
  }
  const std::array<db::Money, 5>& totals = walk.totals();
  if (Table3.editing()) {
    for (int b = 0; b < 5; ++b) {
      db::Field& cell = Table3.fieldByName(side_.agingCell(b));
      PDX_RETURN_IF_ERROR(cell.setAsCurrency(cell.asCurrency() + totals[size_t(b)]));
    }
  }
  return totals;
}

pdx::Status InquiryDataModule::clearAgingCells() {
  if (!Table3.editing()) return {};
  for (int i = 1; i <= 24; ++i) PDX_RETURN_IF_ERROR(Table3.fieldByName("Curr_" + n(i)).setAsCurrency(db::Money()));
  return {};
}

pdx::Status InquiryDataModule::holdAgingRecord() {
  PDX_RETURN_IF_ERROR(Table3.open());
  return Table3.insert();
}

void InquiryDataModule::releaseAgingRecord() {
  if (Table3.editing()) (void)Table3.cancel();
  Table3.close();
}

// ---------------------------------------------------------------- drill-down

pdx::Status InquiryDataModule::openDocumentTables(const std::vector<db::Table*>& tables) {
  for (db::Table* t : tables)
    if (!t->active()) PDX_RETURN_IF_ERROR(t->open());
  return {};
}

void InquiryDataModule::closeDocumentTables(const std::vector<db::Table*>& tables) {
  for (db::Table* t : tables)
    if (t != &glm || side_.receivables()) t->close();
}

pdx::Result<Document> InquiryDataModule::findDocument() {
  if (side_.receivables()) {
    PDX_RETURN_IF_ERROR(openDocumentTables({&glm, &entries, &fahdr, &fahdra}));
    if (!fahdra.isEmpty()) return Document::kArchivedInvoice;
    if (!fahdr.isEmpty()) return Document::kInvoice;
  } else {
    PDX_RETURN_IF_ERROR(openDocumentTables({&entries}));
  }
  if (!entries.isEmpty()) return Document::kEntry;
  PDX_RETURN_IF_ERROR(openDocumentTables({&cashHeaders}));
  return cashHeaders.isEmpty() ? Document::kNone : Document::kCash;
}

// ---------------------------------------------------------------- the end

void InquiryDataModule::closeAll() {
  releaseAgingRecord();
  for (db::DataSet* ds : dataSets()) ds->close();
  database.disconnect();
}

// ---------------------------------------------------------------- events

void InquiryDataModule::Query1AfterScroll(db::DataSet& ds) {
  Query2.close();
  db::check(Query2.setParam(side_.itemsParameter, pdx::Value::text(ds.fieldByName(side_.partyCode).asString())));
  db::check(Query2.open());
  if (partyChanged) partyChanged();
  // The party's balances as other users left them (the payables window does
  // this once its open items are open: here both sides do, once).
  db::check(Query1.refresh());
}

void InquiryDataModule::transactionCalcFields(db::DataSet& ds) {
  const int line = data::typeNameLine(ds.fieldByName(side_.item("type")).asString());
  if (line >= 0) db::check(ds.fieldByName("strType").setAsString(typeName(line)));
  if (!balances.active()) return;
  // The balances this session wrote for the current transactions are kept
  // in memory as well, by row of the run of Query2 they were written from;
  // the table is read for the others.
  if (&ds == &Query2 && Query2.runs() == balanceRun_) {
    const db::Bookmark row = ds.bookmark();
    if (row.valid && row.row >= 0 && static_cast<size_t>(row.row) < balanceByRow_.size()) {
      db::check(ds.fieldByName(side_.balanceField).setAsCurrency(balanceByRow_[static_cast<size_t>(row.row)]));
      return;
    }
  }
  std::vector<pdx::Value> key{ds.fieldByName(side_.itemParty).value()};
  for (const char* name : {"invoice", "ref", "date", "type", "seq"}) key.push_back(ds.fieldByName(side_.item(name)).value());
  auto found = balances.findKey(key);
  if (found.ok() && *found)
    db::check(ds.fieldByName(side_.balanceField).setValue(balances.fieldByName(side_.balanceTable->fields[6].name).value()));
}

void InquiryDataModule::describeAccounts(db::DataSet& ds, int count) {
  // A failed lookup ends the descriptions; the fields left stay empty.
  if (!glm.active()) return;
  for (int i = 1; i <= count; ++i) {
    const db::Field* account = ds.findField("Account" + n(i));
    if (!account || account->isNull()) continue;
    auto found = glm.findKey({pdx::Value::integer(account->asInteger())});
    if (!found.ok()) return;
    if (*found && !ds.fieldByName("desc" + n(i)).setValue(glm.fieldByName("Glm_Description").value()).ok()) return;
  }
}

std::string InquiryDataModule::yesNo(const db::Field* flag) const {
  return typeName(flag && flag->asBoolean() ? 7 : 8);
}

void InquiryDataModule::entryCalcFields(db::DataSet& ds) {
  const int line = data::typeNameLine(ds.fieldByName("Trx_type").asString());
  if (line >= 0) db::check(ds.fieldByName("strType").setAsString(typeName(line)));
  describeAccounts(ds, side_.entryAccounts);
  db::check(ds.fieldByName(side_.directCashText).setAsString(yesNo(ds.findField(side_.directCashField))));
}

void InquiryDataModule::cashCalcFields(db::DataSet& ds) {
  describeAccounts(ds, side_.cashAccounts);
  db::check(ds.fieldByName(side_.notPartyText).setAsString(yesNo(ds.findField(side_.notPartyField))));
  if (!side_.nsfField.empty()) db::check(ds.fieldByName("NSF").setAsString(yesNo(ds.findField(side_.nsfField))));
}

void InquiryDataModule::invoiceCalcFields(db::DataSet& ds) {
  if (!arterms.active()) return;
  const db::Field* terms = ds.findField(&ds == &fahdr ? "Fahdr_terms" : "Fahdra_terms");
  if (!terms || terms->isNull()) return;
  auto found = arterms.findKey({pdx::Value::integer(terms->asInteger())});
  if (found.ok() && *found) (void)ds.fieldByName("terms").setValue(arterms.fieldByName("Arterms_desc").value());
}

std::optional<double> InquiryDataModule::marginOf(db::Money total, db::Money cost) {
  if (total.isZero()) return std::nullopt;
  return (total - cost).toDouble() / total.toDouble() * 100.0;
}

std::optional<double> InquiryDataModule::markupOf(db::Money total, db::Money cost) {
  if (cost.isZero()) return std::nullopt;
  return (total - cost).toDouble() / cost.toDouble() * 100.0;
}

void InquiryDataModule::lineCalcFields(db::DataSet& ds) {
  const std::string prefix = &ds == &fadet ? "Fadet_" : "Fadeta_";
  const db::Money total = ds.fieldByName(prefix + "total").asCurrency();
  const db::Money cost = ds.fieldByName(prefix + "cost").asCurrency();
  if (auto m = marginOf(total, cost)) db::check(ds.fieldByName("margin").setAsFloat(*m));
  if (auto m = markupOf(total, cost)) db::check(ds.fieldByName("markup").setAsFloat(*m));
}

bool InquiryDataModule::entryFilterRecord(db::DataSet& ds) {
  const db::DataSet& source = transactions();
  const db::Field* ref = source.findField(side_.item("ref"));
  return ds.fieldByName("Dr_cr_reference").asString() == (ref ? ref->asString() : std::string());
}

}  // namespace inquiry
