// The inquiry's data module and rules without a screen: the statement's
// running balance, aging, the search texts run against the engine, the
// drill-down's choice of document and the calculated fields.
#include <gtest/gtest.h>

#include "aging.h"
#include "db/formats.h"
#include "inquiry_test_util.h"
#include "party_search.h"

namespace inquiry::testing {
namespace {

using admin::integer;
using admin::logical;
using admin::text;

// The statement as the data module shows it: invoice, reference, type text
// and balance of every row, in order.
std::vector<std::string> statement(InquiryDataModule& dm) {
  std::vector<std::string> rows;
  db::DataSet& ds = dm.transactions();
  EXPECT_TRUE(ds.first().ok());
  while (!ds.isEmpty()) {
    const InquirySide& s = dm.side();
    rows.push_back(ds.fieldByName(s.item("invoice")).asString() + "/" + ds.fieldByName(s.item("ref")).asString() +
                   " " + ds.fieldByName("strType").asString() + " " +
                   ds.fieldByName(s.balanceField).asCurrency().toString());
    EXPECT_TRUE(ds.next().ok());
    if (ds.eof()) break;
  }
  return rows;
}

class LogicTest : public InquiryTest {};

TEST_F(LogicTest, RunningBalanceIsCumulativeInStatementOrderAndExact) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  addClient("C2", "Sans histoire");
  // Inserted out of order: the statement orders by invoice, reference, date, type.
  addItem(r, "C1", "1002", "", ymd(2024, 2, 1), "1", 50.20);
  addItem(r, "C1", "1001", "RC2", ymd(2024, 2, 20), "2", -40.05);
  addItem(r, "C1", "1001", "", ymd(2024, 1, 10), "1", 100.10);
  addItem(r, "C1", "1001", "RC1", ymd(2024, 1, 31), "2", -30.05);
  addItem(r, "C1", "1001", "CN1", ymd(2024, 1, 20), "5", -10.00);
  addItem(r, "C1", "1002", "AJ1", ymd(2024, 2, 5), "3", 0.10);
  addItem(r, "C1", "1002", "AJ2", ymd(2024, 2, 6), "3", 0.20);
  Tkq61_dm dm;
  openDataModule(dm);
  ASSERT_TRUE(dm.buildBalanceTable().ok());
  // Two payments against one invoice each show the balance after them, and
  // the balance runs on across invoices rather than starting again.
  EXPECT_EQ(statement(dm), (std::vector<std::string>{"1001/ Invoice 100.10", "1001/CN1 Credit note 90.10",
                                                     "1001/RC1 Payment 60.05", "1001/RC2 Payment 20.00",
                                                     "1002/ Invoice 70.20", "1002/AJ1 Adjustment 70.30",
                                                     "1002/AJ2 Adjustment 70.50"}));
  auto rows = admin::testing::readAll(company_, "Cartmp1");
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(admin::testing::fixedOf(rows.back(), "Cartmp_balance"), 705'000);

  // Another client with nothing open: an empty statement and an empty table.
  ASSERT_TRUE(dm.Query1.locate("Cli_code", {pdx::Value::text("C2")}).value());
  ASSERT_TRUE(dm.buildBalanceTable().ok());
  EXPECT_TRUE(statement(dm).empty());
  EXPECT_TRUE(admin::testing::readAll(company_, "Cartmp1").empty());
}

// Balances are kept in memory by row of the statement: once the statement
// shows another client, a row must not take the balance of the row that
// stood at its place before the table was built again.
TEST_F(LogicTest, AStatementNeverShowsAnotherClientsBalances) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  addClient("C3", "Quincaillerie");
  addItem(r, "C1", "1001", "", ymd(2024, 1, 10), "1", 100.10);
  addItem(r, "C1", "1002", "", ymd(2024, 1, 11), "1", 50.00);
  addItem(r, "C3", "3001", "", ymd(2024, 1, 12), "1", 7.00);
  addItem(r, "C3", "3002", "", ymd(2024, 1, 13), "1", 3.00);
  Tkq61_dm dm;
  openDataModule(dm);
  ASSERT_TRUE(dm.buildBalanceTable().ok());
  EXPECT_EQ(statement(dm), (std::vector<std::string>{"1001/ Invoice 100.10", "1002/ Invoice 150.10"}));
  ASSERT_TRUE(dm.Query1.locate("Cli_code", {pdx::Value::text("C3")}).value());
  EXPECT_EQ(statement(dm), (std::vector<std::string>{"3001/ Invoice 0.00", "3002/ Invoice 0.00"}));
  ASSERT_TRUE(dm.buildBalanceTable().ok());
  EXPECT_EQ(statement(dm), (std::vector<std::string>{"3001/ Invoice 7.00", "3002/ Invoice 10.00"}));
}

TEST_F(LogicTest, HistoryHasItsOwnRunningBalance) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  addItem(r, "C1", "0900", "", ymd(2023, 5, 1), "1", 80.00, true);
  addItem(r, "C1", "0900", "RC9", ymd(2023, 6, 1), "2", -80.00, true);
  addItem(r, "C1", "1001", "", ymd(2024, 1, 10), "1", 25.00);
  Tkq61_dm dm;
  openDataModule(dm);
  bool current = false;
  dm.showingCurrent = [&] { return current; };
  ASSERT_TRUE(dm.buildBalanceTable().ok());
  EXPECT_EQ(statement(dm), (std::vector<std::string>{"0900/ Invoice 80.00", "0900/RC9 Payment 0.00"}));
  current = true;
  ASSERT_TRUE(dm.buildBalanceTable().ok());
  EXPECT_EQ(statement(dm), (std::vector<std::string>{"1001/ Invoice 25.00"}));
}

TEST_F(LogicTest, EachSessionBuildsItsOwnBalanceTable) {
  const InquirySide& p = payablesSide();
  addSupplier("S1", "Acme");
  addSupplier("S2", "Brique");
  addItem(p, "S1", "A1", "", ymd(2024, 1, 5), "1", 10.00);
  addItem(p, "S2", "B1", "", ymd(2024, 1, 5), "1", 99.00);
  addItem(p, "S2", "B2", "", ymd(2024, 1, 6), "1", 1.00);
  Tvd52_dm first, second;
  openDataModule(first, 1);
  ASSERT_TRUE(first.buildBalanceTable().ok());
  openDataModule(second, 2);
  ASSERT_TRUE(second.Query1.locate("Sup_code", {pdx::Value::text("S2")}).value());
  ASSERT_TRUE(second.buildBalanceTable().ok());
  // Session 2 made and filled Captmp2; session 1's table and statement stand.
  EXPECT_EQ(admin::testing::readAll(company_, "Captmp1").size(), 1u);
  EXPECT_EQ(admin::testing::readAll(company_, "Captmp2").size(), 2u);
  EXPECT_EQ(statement(first), (std::vector<std::string>{"A1/ Purchase 10.00"}));
  EXPECT_EQ(statement(second), (std::vector<std::string>{"B1/ Purchase 99.00", "B2/ Purchase 100.00"}));
}

// ---------------------------------------------------------------- aging

TEST(AgingRules, AgesCountWholeDaysAndBucketsIncludeTheirLimits) {
  const pdx::Date today = ymd(2024, 3, 15);
  const pdx::Timestamp evening = pdx::Timestamp::from(today, pdx::Time{23 * 3'600'000});
  EXPECT_EQ(ageInDays(today, evening), 0);
  EXPECT_EQ(ageInDays(pdx::Date{today.days - 30}, evening), 30);
  EXPECT_EQ(ageInDays(pdx::Date{today.days + 1}, evening), 0);  // tomorrow: not yet a day
  EXPECT_EQ(ageInDays(pdx::Date{today.days + 5}, evening), -4);
  const std::array<int64_t, 4> limits{30, 60, 90, 120};
  EXPECT_EQ(agingBucket(-4, limits), 0);
  EXPECT_EQ(agingBucket(30, limits), 0);
  EXPECT_EQ(agingBucket(31, limits), 1);
  EXPECT_EQ(agingBucket(90, limits), 2);
  EXPECT_EQ(agingBucket(120, limits), 3);
  EXPECT_EQ(agingBucket(121, limits), 4);
}

TEST_F(LogicTest, AgingPutsEachInvoiceGroupInTheBucketOfItsInvoice) {
  const InquirySide& r = receivablesSide();
  setControl({{"Ctrl_ar_days1", integer(30)}, {"Ctrl_ar_days2", integer(60)}, {"Ctrl_ar_days3", integer(90)},
              {"Ctrl_ar_days4", integer(120)}});
  addClient("C1", "Boulangerie Lévis");
  const int t = today_.days;
  addItem(r, "C1", "A30", "", pdx::Date{t - 30}, "1", 10.00);   // exactly at limit 1
  addItem(r, "C1", "A31", "", pdx::Date{t - 31}, "1", 20.00);   // one day older
  addItem(r, "C1", "A90", "", pdx::Date{t - 90}, "1", 40.00);
  addItem(r, "C1", "A91", "", pdx::Date{t - 91}, "1", 80.00);
  addItem(r, "C1", "A99", "", pdx::Date{t - 400}, "1", 160.00);
  // A recent payment of the old invoice is as old as the invoice.
  addItem(r, "C1", "A99", "RC1", pdx::Date{t - 2}, "2", -60.00);
  addItem(r, "C1", "F01", "", pdx::Date{t + 10}, "1", 1.25);    // dated in the future
  Tkq61_dm dm;
  openDataModule(dm);
  ASSERT_TRUE(dm.holdAgingRecord().ok());
  ASSERT_TRUE(dm.clearAgingCells().ok());
  const pdx::Timestamp now = pdx::Timestamp::from(today_, pdx::Time{11 * 3'600'000});
  auto totals = dm.addAging(now);
  ASSERT_TRUE(totals.ok());
  const std::array<const char*, 5> expected = {"11.25", "20.00", "40.00", "80.00", "100.00"};
  for (int b = 0; b < 5; ++b) {
    EXPECT_EQ((*totals)[size_t(b)].toString(), expected[size_t(b)]) << b;
    EXPECT_EQ(dm.Table3.fieldByName("Curr_" + std::to_string(b + 1)).asCurrency().toString(), expected[size_t(b)]);
  }
  // The walk leaves the statement where it stood, and nothing is written.
  EXPECT_FALSE(dm.Query2.eof());
  dm.releaseAgingRecord();
  for (const auto& row : admin::testing::readAll(root_, "virmem"))
    EXPECT_EQ(admin::testing::fixedOf(row, "Curr_1"), 0);
}

TEST_F(LogicTest, PayablesAgingUsesItsOwnLimitsAndCells) {
  const InquirySide& p = payablesSide();
  setControl({{"Ctrl_ap_days1", integer(10)}, {"Ctrl_ap_days2", integer(20)}, {"Ctrl_ap_days3", integer(30)},
              {"Ctrl_ap_days4", integer(40)}, {"Ctrl_ar_days1", integer(100)}});
  addSupplier("S1", "Acme");
  addItem(p, "S1", "P1", "", pdx::Date{today_.days - 15}, "1", 7.00);
  Tvd52_dm dm;
  openDataModule(dm);
  ASSERT_TRUE(dm.holdAgingRecord().ok());
  ASSERT_TRUE(dm.clearAgingCells().ok());
  ASSERT_TRUE(dm.addAging(pdx::Timestamp::from(today_, pdx::Time{0})).ok());
  EXPECT_EQ(dm.Table3.fieldByName("Curr_7").asCurrency().toString(), "7.00");
  EXPECT_TRUE(dm.Table3.fieldByName("Curr_2").asCurrency().isZero());
  EXPECT_TRUE(dm.Table3.fieldByName("Curr_6").asCurrency().isZero());
}

// ---------------------------------------------------------------- search

TEST(SearchTexts, EachOperatorGivesItsQuery) {
  SearchRequest r{"cli", "Cli_name", false, 0, "abc"};
  const pdx::Date today = ymd(2024, 3, 15);
  EXPECT_EQ(searchText(r, "DD/MM/YYYY", today), "SELECT * FROM cli WHERE Cli_name ='abc';");
  r.op = kContaining;
  EXPECT_EQ(searchText(r, "DD/MM/YYYY", today), "SELECT * FROM cli WHERE Cli_name LIKE '%abc%';");
  r.op = 3;
  r.parameter = "  O'Brien ";
  EXPECT_EQ(searchText(r, "DD/MM/YYYY", today), "SELECT * FROM cli WHERE Cli_name <>'O''Brien';");
  r.parameter = "   ";
  EXPECT_EQ(searchText(r, "DD/MM/YYYY", today), "SELECT * FROM cli");

  SearchRequest d{"sup", "Sup_date_created", true, 0, "07/02/2023"};
  EXPECT_EQ(searchText(d, "DD/MM/YYYY", today),
            "SELECT * FROM sup WHERE EXTRACT (YEAR FROM Sup_date_created)=2023 AND EXTRACT(MONTH FROM "
            "Sup_date_created)=2AND EXTRACT(DAY FROM Sup_date_created)=7;");
  d.op = 2;
  EXPECT_EQ(searchText(d, "DD/MM/YYYY", today),
            "SELECT * FROM sup WHERE EXTRACT(YEAR FROM Sup_date_created)<2023 OR (EXTRACT(YEAR FROM "
            "Sup_date_created)=2023AND EXTRACT(MONTH FROM Sup_date_created)=2AND EXTRACT(DAY FROM "
            "Sup_date_created)<7)OR (EXTRACT(YEAR FROM Sup_date_created)=2023AND EXTRACT(MONTH FROM "
            "Sup_date_created)<2);");
  d.op = kContaining;
  EXPECT_EQ(searchText(d, "DD/MM/YYYY", today), "");
  // Not a date: today.
  d.op = 0;
  d.parameter = "le 3 mars";
  EXPECT_NE(searchText(d, "DD/MM/YYYY", today).find("=2024 AND EXTRACT(MONTH FROM Sup_date_created)=3AND"),
            std::string::npos);
}

class SearchTest : public InquiryTest {
 protected:
  SearchTest() {
    addClient("C1", "O'Brien Plumbing", 0, {{"Cli_date_created", admin::date(ymd(2023, 2, 7))}});
    addClient("C2", "Brien Électrique", 0, {{"Cli_date_created", admin::date(ymd(2023, 2, 8))}});
    addClient("C3", "Ateliers Roy", 0, {{"Cli_date_created", admin::date(ymd(2022, 12, 31))}});
    addClient("C4", "Sans date");
  }
  // The codes a search finds, run as the window runs it.
  std::vector<std::string> found(const std::string& field, bool date, int op, const std::string& parameter) {
    Tkq61_dm dm;
    dm.setPaths(company_, root_);
    EXPECT_TRUE(dm.database.connect().ok());
    dm.Query1.afterScroll = nullptr;
    dm.Query1.setSql({searchText({"cli", field, date, op, parameter}, "DD/MM/YYYY", today_)});
    std::vector<std::string> codes;
    const pdx::Status st = dm.Query1.open();
    if (!st.ok()) return {"error"};
    if (dm.Query1.isEmpty()) return codes;
    EXPECT_TRUE(dm.Query1.first().ok());
    for (;;) {
      codes.push_back(dm.Query1.fieldByName("Cli_code").asString());
      EXPECT_TRUE(dm.Query1.next().ok());
      if (dm.Query1.eof()) break;
    }
    return codes;
  }
};

TEST_F(SearchTest, AQuoteInTheParameterIsSearchedForAndChangesNothing) {
  EXPECT_EQ(found("Cli_name", false, 0, "O'Brien Plumbing"), std::vector<std::string>{"C1"});
  EXPECT_EQ(found("Cli_name", false, kContaining, "'Brien"), std::vector<std::string>{"C1"});
  EXPECT_EQ(found("Cli_name", false, kContaining, "Brien"), (std::vector<std::string>{"C1", "C2"}));
  // What would widen the search if pasted raw is only a name that no client has.
  EXPECT_TRUE(found("Cli_name", false, 0, "x' OR Cli_code <> '").empty());
  EXPECT_EQ(found("Cli_code", false, 1, "C2"), (std::vector<std::string>{"C3", "C4"}));
  EXPECT_EQ(found("Cli_code", false, 2, "C2"), (std::vector<std::string>{"C1"}));
}

TEST_F(SearchTest, DateColumnsCompareWholeDays) {
  EXPECT_EQ(found("Cli_date_created", true, 0, "07/02/2023"), std::vector<std::string>{"C1"});
  EXPECT_EQ(found("Cli_date_created", true, 1, "07/02/2023"), std::vector<std::string>{"C2"});
  EXPECT_EQ(found("Cli_date_created", true, 2, "07/02/2023"), std::vector<std::string>{"C3"});
  // Any other day, even one of the same month or year; a blank date is no day.
  EXPECT_EQ(found("Cli_date_created", true, 3, "07/02/2023"), (std::vector<std::string>{"C2", "C3"}));
  EXPECT_EQ(found("Cli_date_created", true, kContaining, "07/02/2023"), std::vector<std::string>{"error"});
}

// ---------------------------------------------------------------- drill-down

TEST_F(LogicTest, DrillDownLooksForTheDocumentInOrder) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  const pdx::Date d = ymd(2024, 1, 10);
  addItem(r, "C1", "1001", "", d, "1", 10);     // archived and current invoice, entry
  addItem(r, "C1", "1002", "", d, "1", 10);     // current invoice and entry
  addItem(r, "C1", "1003", "DN1", d, "4", 10);  // entry of its own reference
  addItem(r, "C1", "1004", "DN2", d, "4", 10);  // an entry of another reference only
  addItem(r, "C1", "1005", "RC5", d, "3", -5);  // a receipt under its reference
  addItem(r, "C1", "1006", "", d, "1", 10);     // nothing
  for (const char* inv : {"1001", "1002", "1003"}) addEntry(r, inv, "C1", d, "1", inv == std::string("1003") ? "DN1" : "", {});
  addEntry(r, "1004", "C1", d, "4", "DN9", {});
  addInvoice(true, "1001", "C1", d, {});
  addInvoice(false, "1001", "C1", d, {});
  addInvoice(false, "1002", "C1", d, {});
  addCash(r, "RC5", "C1", d, {}, {});
  Tkq61_dm dm;
  openDataModule(dm);
  std::vector<Document> seen;
  ASSERT_TRUE(dm.Query2.first().ok());
  while (!dm.Query2.isEmpty()) {
    auto found = dm.findDocument();
    ASSERT_TRUE(found.ok()) << found.status().toString();
    seen.push_back(*found);
    dm.closeDocumentTables({&dm.glm, &dm.entries, &dm.fahdr, &dm.fahdra, &dm.cashHeaders});
    ASSERT_TRUE(dm.Query2.next().ok());
    if (dm.Query2.eof()) break;
  }
  EXPECT_EQ(seen, (std::vector<Document>{Document::kArchivedInvoice, Document::kInvoice, Document::kEntry,
                                         Document::kNone, Document::kCash, Document::kNone}));
}

TEST_F(LogicTest, PayablesDrillDownHasNoInvoicesAndKeepsTheChartOpen) {
  const InquirySide& p = payablesSide();
  addSupplier("S1", "Acme");
  const pdx::Date d = ymd(2024, 1, 10);
  addItem(p, "S1", "P1", "", d, "1", 10);
  addEntry(p, "P1", "S1", d, "1", "", {{5000, 10, 0}, {2100, 0, 10}});
  Tvd52_dm dm;
  openDataModule(dm);
  auto found = dm.findDocument();
  ASSERT_TRUE(found.ok());
  EXPECT_EQ(*found, Document::kEntry);
  EXPECT_FALSE(dm.fahdr.active());
  EXPECT_EQ(dm.entries.fieldByName("dir_cash_purch").asString(), "No");
  EXPECT_FALSE(dm.entries.fieldByName("desc1").asString().empty());
  dm.closeDocumentTables({&dm.glm, &dm.entries});
  EXPECT_TRUE(dm.glm.active());
  EXPECT_FALSE(dm.entries.active());
}

// ---------------------------------------------------------------- calculated fields

TEST_F(LogicTest, CalculatedFieldsDescribeTheDocuments) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  const pdx::Date d = ymd(2024, 1, 10);
  addItem(r, "C1", "1001", "RC1", d, "2", -10);
  addCash(r, "RC1", "C1", d, {{1000, 10, 0}, {999999, 0, 10}}, {{"1001", 10}});
  Tkq61_dm dm;
  openDataModule(dm);
  dm.setTypeNameSource([](int n) { return n == 7 ? std::string("Oui") : std::string(); });
  ASSERT_TRUE(dm.openDocumentTables({&dm.glm, &dm.cashHeaders, &dm.cashLines}).ok());
  ASSERT_FALSE(dm.cashHeaders.isEmpty());
  EXPECT_FALSE(dm.cashHeaders.fieldByName("desc1").asString().empty());  // the bank's account
  EXPECT_EQ(dm.cashHeaders.fieldByName("desc2").asString(), "");           // no such account
  EXPECT_EQ(dm.cashHeaders.fieldByName("not_from_client").asString(), "No");
  EXPECT_EQ(dm.cashHeaders.fieldByName("NSF").asString(), "No");
  EXPECT_EQ(dm.cashLines.recordCount().value(), 1);
  EXPECT_EQ(dm.Query2.fieldByName("strType").asString(), "Payment");
}

TEST(LineMargins, MarginNeedsSalesAndMarkupNeedsACost) {
  EXPECT_FALSE(InquiryDataModule::marginOf(db::Money(), money("5")).has_value());
  EXPECT_DOUBLE_EQ(*InquiryDataModule::markupOf(db::Money(), money("5")), -100.0);
  EXPECT_DOUBLE_EQ(*InquiryDataModule::marginOf(money("100"), money("80")), 20.0);
  EXPECT_DOUBLE_EQ(*InquiryDataModule::markupOf(money("100"), money("80")), 25.0);
  EXPECT_FALSE(InquiryDataModule::markupOf(money("100"), db::Money()).has_value());
}

}  // namespace
}  // namespace inquiry::testing
