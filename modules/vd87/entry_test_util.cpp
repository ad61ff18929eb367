#include "entry_test_util.h"

#include <sstream>

#include "company.h"
#include "data/table_def.h"
#include "data_root.h"
#include "db/error.h"
#include "db/formats.h"
#include "rows.h"

namespace vd87::testing {

bool ScriptedPrompts::showMessage(int number, MessageStyle style) {
  shown.push_back({number, style});
  if (onShow) onShow(number);
  if (answers.empty()) return true;
  const bool answer = answers.front();
  answers.pop_front();
  return answer;
}

std::vector<int> ScriptedPrompts::numbers() const {
  std::vector<int> out;
  for (const auto& s : shown) out.push_back(s.number);
  return out;
}

std::vector<Row> readRows(const std::string& dir, const std::string& table) {
  std::vector<Row> rows;
  auto d = pdx::Directory::open(dir, pdx::Env::unsynced());
  if (!d.ok()) {
    ADD_FAILURE() << d.status().toString();
    return rows;
  }
  auto t = (*d)->openTable(table, pdx::Directory::Access::kReadOnly);
  if (!t.ok()) {
    ADD_FAILURE() << t.status().toString();
    return rows;
  }
  const auto& fields = (*t)->schema().fields;
  for (pdx::Status st = (*t)->first(); st.ok(); st = (*t)->next()) {
    Row row;
    for (size_t i = 0; i < fields.size(); ++i) {
      auto v = (*t)->get(static_cast<int>(i));
      if (v.ok()) row[fields[i].name] = *v;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

int64_t fixed(const Row& row, const std::string& field) {
  auto it = row.find(field);
  if (it == row.end()) {
    ADD_FAILURE() << "no field " << field;
    return 0;
  }
  if (it->second.isNull()) return 0;
  auto d = it->second.toDouble();
  return db::Money::fromDouble(d.value_or(0)).value_or(db::Money()).units();
}

std::string textOf(const Row& row, const std::string& field) {
  auto it = row.find(field);
  if (it == row.end()) {
    ADD_FAILURE() << "no field " << field;
    return {};
  }
  return it->second.kind() == pdx::Value::Kind::kText ? it->second.asText() : std::string();
}

int64_t intOf(const Row& row, const std::string& field) {
  auto it = row.find(field);
  if (it == row.end()) {
    ADD_FAILURE() << "no field " << field;
    return 0;
  }
  return it->second.kind() == pdx::Value::Kind::kInteger ? it->second.asInteger() : 0;
}

std::string makeCompany(const std::string& parent, pdx::Date today) {
  const std::string root = parent + "/Tallimoor/data";
  std::ostringstream log;
  admin::InitOptions init;
  init.dataRoot = root;
  init.sessions = 3;
  init.env = pdx::Env::unsynced();
  pdx::Status st = admin::initDataRoot(init, log);
  EXPECT_TRUE(st.ok()) << st.toString();
  admin::CompanyOptions company;
  company.dataRoot = root;
  company.code = 1;
  company.name = "Quincaillerie Tremblay";
  company.today = today;
  company.env = pdx::Env::unsynced();
  st = admin::createCompany(company, log);
  EXPECT_TRUE(st.ok()) << st.toString();
  return root;
}

void addSupplier(const std::string& companyDir, const SupplierSpec& s) {
  auto dir = pdx::Directory::open(companyDir, pdx::Env::unsynced());
  ASSERT_TRUE(dir.ok());
  auto t = (*dir)->openTable("sup");
  ASSERT_TRUE(t.ok());
  admin::Row row{{"Sup_code", admin::text(s.code)},
                 {"Sup_name", admin::text(s.name)},
                 {"Sup_adr1", admin::text("12 rue Principale")},
                 {"Sup_city", admin::text("Québec")},
                 {"Sup_prov", admin::text("QC")},
                 {"Sup_du_days", admin::integer(s.terms)},
                 {"Sup_currency", admin::integer(s.currency)},
                 {"Sup_current_bal", admin::money(s.balance)}};
  if (!s.email.empty()) row.push_back({"Sup_email", admin::text(s.email)});
  for (size_t k = 0; k < s.accounts.size() && k < 3; ++k)
    row.push_back({"Sup_accnt" + std::to_string(k + 1), admin::integer(s.accounts[k])});
  pdx::Status st = admin::insertRow(**t, row);
  ASSERT_TRUE(st.ok()) << st.toString();
}

void addOpenItem(const std::string& companyDir, const std::string& supplier, const std::string& invoice,
                 const std::string& type, pdx::Date date, double amount, const std::string& ref) {
  auto dir = pdx::Directory::open(companyDir, pdx::Env::unsynced());
  ASSERT_TRUE(dir.ok());
  auto t = (*dir)->openTable("cap");
  ASSERT_TRUE(t.ok());
  admin::Row row{{"Cap_supplier", admin::text(supplier)}, {"Cap_invoice", admin::text(invoice)},
                 {"Cap_date", admin::date(date)},         {"Cap_type", admin::text(type)},
                 {"Cap_amount", admin::money(amount)}};
  if (!ref.empty()) row.push_back({"Cap_ref", admin::text(ref)});
  pdx::Status st = admin::insertRow(**t, row);
  ASSERT_TRUE(st.ok()) << st.toString();
}

// ---------------------------------------------------------------- fixture

EntryTest::EntryTest() {
  db::Database::environment() = pdx::Env::unsynced();
  db::RegionalFormats::current() = db::RegionalFormats();
  root_ = makeCompany(tmp_.path(), today_);
  company_ = root_ + "1";
  addSupplier(company_, {"ACME", "Acme Outillage", 0, 30, {}, 0, "achats@acme.example"});
  addSupplier(company_, {"BRIT", "British Tools Ltd", 3, 915, {kFreight}, 0, ""});
  addSupplier(company_, {"DEF", "Défauts inc.", 0, 905, {5100, 0, 5300}, 250.0, ""});
}

EntryTest::~EntryTest() { closeEntry(); }

void EntryTest::openEntry() {
  dm_ = std::make_unique<Tvd87_dm>();
  dm_->setPaths(company_, root_);
  for (db::Table* t : dm_->openOrder()) {
    pdx::Status st = t->open();
    ASSERT_TRUE(st.ok()) << t->tableName() << ": " << st.toString();
  }
  ASSERT_TRUE(dm_->holdScratchRow(1).ok());
  doc_ = std::make_unique<EntryDocument>(dm_->virmem);
  rules_ = std::make_unique<EntryRules>(*dm_, *doc_, prompts_);
  const pdx::Date today = today_;
  rules_->clock = [today] { return pdx::Timestamp::from(today, pdx::Time{10 * 3600 * 1000}); };
  posting_ = std::make_unique<PayablesPosting>(*rules_);
  posting_->user = "MARIE";
  posting_->setPostingFlag = [this](const std::string& f) { flag_ = f; };
  posting_->lockPauseMs = 10;
  posting_->lockPatienceMs = 300;
  rules_->start();
}

void EntryTest::closeEntry() {
  posting_.reset();
  rules_.reset();
  doc_.reset();
  dm_.reset();
}

void EntryTest::chooseSupplier(const std::string& code) {
  doc_->supplierCode = code;
  rules_->supplierExit();
}

void EntryTest::keyDebit(int n, const char* amount) {
  rules_->amountEnter(n, true);
  doc_->setDebit(n, money(amount));
  rules_->debitExit(n);
}

void EntryTest::keyCredit(int n, const char* amount) {
  rules_->amountEnter(n, false);
  doc_->setCredit(n, money(amount));
  rules_->creditExit(n);
}

void EntryTest::keyAccount(int n, int64_t account) {
  rules_->enterLine(n);
  doc_->setAccountText(n, std::to_string(account));
  rules_->accountExit(n);
}

void EntryTest::keyPurchase(const std::string& supplier, const std::string& invoice, const char* amount,
                            int expenseLine) {
  chooseSupplier(supplier);
  doc_->invoiceNumber = invoice;
  ASSERT_TRUE(rules_->invoiceExit(false));
  keyDebit(expenseLine, amount);
  keyCredit(1, amount);
}

PostResult EntryTest::post() { return posting_->post(); }

}  // namespace vd87::testing
