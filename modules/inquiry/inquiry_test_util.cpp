#include "inquiry_test_util.h"

#include <sstream>

#include "company.h"
#include "data_root.h"
#include "db/formats.h"

namespace inquiry::testing {

using admin::date;
using admin::integer;
using admin::logical;
using admin::money;
using admin::text;

InquiryTest::InquiryTest() {
  db::Database::environment() = pdx::Env::unsynced();
  db::RegionalFormats::current() = db::RegionalFormats();
  root_ = tmp_.path() + "/Tallimoor/data";
  std::ostringstream log;
  admin::InitOptions init;
  init.dataRoot = root_;
  init.sessions = 3;
  init.env = pdx::Env::unsynced();
  pdx::Status st = admin::initDataRoot(init, log);
  EXPECT_TRUE(st.ok()) << st.toString();
  admin::CompanyOptions company;
  company.dataRoot = root_;
  company.code = 1;
  company.name = "Quincaillerie Tremblay";
  company.today = today_;
  company.env = pdx::Env::unsynced();
  st = admin::createCompany(company, log);
  EXPECT_TRUE(st.ok()) << st.toString();
  company_ = root_ + "1";
}

InquiryTest::~InquiryTest() = default;

void InquiryTest::insertInto(const std::string& dir, const std::string& table, const Row& row) {
  auto d = pdx::Directory::open(dir, pdx::Env::unsynced());
  ASSERT_TRUE(d.ok()) << d.status().toString();
  auto t = (*d)->openTable(table);
  ASSERT_TRUE(t.ok()) << t.status().toString();
  const pdx::Status st = admin::insertRow(**t, row);
  ASSERT_TRUE(st.ok()) << st.toString();
}

void InquiryTest::insert(const std::string& table, const Row& row) { insertInto(company_, table, row); }

void InquiryTest::setControl(const Row& fields) {
  auto d = pdx::Directory::open(company_, pdx::Env::unsynced());
  ASSERT_TRUE(d.ok());
  auto t = (*d)->openTable("ctrl");
  ASSERT_TRUE(t.ok());
  ASSERT_TRUE((*t)->first().ok());
  ASSERT_TRUE((*t)->edit().ok());
  for (const auto& [name, value] : fields) ASSERT_TRUE((*t)->set(name, value).ok()) << name;
  ASSERT_TRUE((*t)->post().ok());
}

void InquiryTest::addClient(const std::string& code, const std::string& name, int currency, const Row& more) {
  Row row{{"Cli_code", text(code)},         {"Cli_name", text(name)},           {"Cli_adr1", text("12 rue Principale")},
          {"Cli_city", text("Québec")},     {"Cli_prov", text("QC")},           {"Cli_postal_code", text("G1R 2B5")},
          {"Cli_currency", integer(currency)}, {"Cli_price_list", integer(2)}, {"Cli_copies", integer(2)},
          {"Cli_email", text(code + "@clients.example")}};
  row.insert(row.end(), more.begin(), more.end());
  insert("cli", row);
}

void InquiryTest::addSupplier(const std::string& code, const std::string& name, int currency, const Row& more) {
  Row row{{"Sup_code", text(code)},     {"Sup_name", text(name)},        {"Sup_adr1", text("5 Harbour Road")},
          {"Sup_city", text("Halifax")}, {"Sup_prov", text("NS")},       {"Sup_postal_code", text("B3J 1S5")},
          {"Sup_currency", integer(currency)}, {"Sup_copies", integer(3)},
          {"Sup_email", text(code + "@suppliers.example")}};
  row.insert(row.end(), more.begin(), more.end());
  insert("sup", row);
}

void InquiryTest::addItem(const InquirySide& side, const std::string& party, const std::string& invoice,
                          const std::string& ref, pdx::Date when, const std::string& type, double amount,
                          bool history) {
  Row row{{side.itemParty, text(party)},         {side.item("invoice"), text(invoice)},
          {side.item("date"), date(when)},       {side.item("type"), text(type)},
          {side.item("du_date"), date(pdx::Date{when.days + 30})},
          {side.item("amount"), money(amount)},  {side.item("user"), text("MARIE")}};
  if (!ref.empty()) row.push_back({side.item("ref"), text(ref)});
  // car numbers its rows itself only in history; the open items take the
  // next number by hand, as the postings do.
  static int64_t seq = 1;
  if (side.receivables() && !history) row.push_back({"Car_seq", integer(seq++)});
  insert(history ? side.historyTable : side.itemsTable, row);
}

void InquiryTest::addEntry(const InquirySide& side, const std::string& reference, const std::string& party,
                           pdx::Date when, const std::string& type, const std::string& drCrReference,
                           const std::vector<Line>& lines, const std::string& comments) {
  Row row{{"Reference", text(reference)},   {side.entryParty, text(party)},   {"Date", date(when)},
          {"Due_date", date(when)},         {side.directCashField, logical(false)},
          {"Trx_type", text(type)},         {"Comments", text(comments)},     {"User", text("MARIE")},
          {"Stamp", pdx::Value::timestamp(pdx::Timestamp::from(when, pdx::Time{9 * 3'600'000}))}};
  if (!drCrReference.empty()) row.push_back({"Dr_cr_reference", text(drCrReference)});
  for (int i = 1; i <= side.entryAccounts; ++i) {
    const Line l = i <= static_cast<int>(lines.size()) ? lines[size_t(i - 1)] : Line{0, 0, 0};
    row.push_back({"Account" + std::to_string(i), integer(l.account)});
    row.push_back({"Debit" + std::to_string(i), money(l.debit)});
    row.push_back({"Credit" + std::to_string(i), money(l.credit)});
  }
  insert(side.entriesTable, row);
}

void InquiryTest::addCash(const InquirySide& side, const std::string& reference, const std::string& party,
                          pdx::Date when, const std::vector<Line>& lines,
                          const std::vector<std::pair<std::string, double>>& paid) {
  Row row{{"Reference", text(reference)},
          {side.cashParty, text(party)},
          {"Date", date(when)},
          {side.notPartyField, logical(false)},
          {"Comments", text("Cheque")},
          {"User", text("LUC")},
          {"Stamp", pdx::Value::timestamp(pdx::Timestamp::from(when, pdx::Time{14 * 3'600'000}))}};
  if (!side.nsfField.empty()) row.push_back({side.nsfField, logical(false)});
  for (int i = 1; i <= side.cashAccounts; ++i) {
    const Line l = i <= static_cast<int>(lines.size()) ? lines[size_t(i - 1)] : Line{0, 0, 0};
    row.push_back({"Account" + std::to_string(i), integer(l.account)});
    row.push_back({"Debit" + std::to_string(i), money(l.debit)});
    row.push_back({"Credit" + std::to_string(i), money(l.credit)});
  }
  auto d = pdx::Directory::open(company_, pdx::Env::unsynced());
  ASSERT_TRUE(d.ok());
  auto t = (*d)->openTable(side.cashTable);
  ASSERT_TRUE(t.ok());
  auto seq = admin::insertRowReading(**t, row, "Seq");
  ASSERT_TRUE(seq.ok()) << seq.status().toString();
  for (const auto& [invoice, amount] : paid)
    insert(side.cashLinesTable, {{"Reference", text(reference)},
                                 {side.cashParty, text(party)},
                                 {"Date", date(when)},
                                 {"Header_seq", integer(*seq)},
                                 {"Invoice", text(invoice)},
                                 {"Invoice_date", date(pdx::Date{when.days - 20})},
                                 {"Invoice_due_date", date(pdx::Date{when.days + 10})},
                                 {"Invoice_amount", money(amount * 2)},
                                 {"Invoice_payment", money(amount)}});
}

void InquiryTest::addInvoice(bool archived, const std::string& invoice, const std::string& client, pdx::Date when,
                             const std::vector<InvoiceLine>& lines, const std::vector<double>& payments) {
  const std::string h = archived ? "Fahdra_" : "Fahdr_";
  const std::string l = archived ? "Fadeta_" : "Fadet_";
  Row header{{h + "doc", text("1")},     {h + "invoice", text(invoice)}, {h + "client", text(client)},
             {h + "date", date(when)},   {h + "slsm", text("REP1")},     {h + "terms", integer(3)},
             {h + "user", text("MARIE")}, {h + "store", integer(1)},
             {h + "stamp", pdx::Value::timestamp(pdx::Timestamp::from(when, pdx::Time{10 * 3'600'000}))}};
  for (size_t p = 0; p < payments.size(); ++p) header.push_back({h + "pmt" + std::to_string(p + 1), money(payments[p])});
  insert(archived ? "fahdra" : "fahdr", header);
  for (const InvoiceLine& line : lines) {
    const bool comment = line.lineCode.empty() && line.quantity == 0;
    Row row{{l + "doc", text("1")},
            {l + "invoice", text(invoice)},
            {l + "line_code", text(line.lineCode)},
            {l + "item_code", text(line.itemCode)},
            {l + "desc", text(line.description)},
            {l + "qty_order", pdx::Value::number(line.quantity)},
            {l + "qty_ship", pdx::Value::number(line.quantity)},
            {l + "price", pdx::Value::number(line.price)},
            {l + "discount", pdx::Value::number(comment ? 0 : 5)},
            {l + "total", money(line.total)},
            {l + "cost", money(line.cost)},
            {l + "tax1", money(line.tax1)},
            {l + "tax2", money(line.tax2)}};
    insert(archived ? "fadeta" : "fadet", row);
  }
}

void InquiryTest::openDataModule(InquiryDataModule& dm, int session) {
  dm.setPaths(company_, root_);
  ASSERT_TRUE(dm.database.connect().ok());
  ASSERT_TRUE(dm.Table1.open().ok());
  ASSERT_TRUE(dm.createBalanceTable(session).ok());
  ASSERT_TRUE(dm.balances.open().ok());
  if (!dm.side().receivables()) {
    ASSERT_TRUE(dm.glm.open().ok());
  }
  pdx::Status st = dm.Query1.open();
  ASSERT_TRUE(st.ok()) << st.toString();
  ASSERT_TRUE(dm.Table2.open().ok());
}

}  // namespace inquiry::testing
