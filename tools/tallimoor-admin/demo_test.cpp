// The demonstration data hold together the way the windows read them.
#include "demo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "admin_test_util.h"
#include "data/codes.h"
#include "db/money.h"
#include "data/table_def.h"
#include "data/user_security.h"
#include "pdx/check.h"
#include "test_util.h"

namespace admin {
namespace {

using testing::dateOf;
using testing::fixedOf;
using testing::intOf;
using testing::readAll;
using testing::Record;
using testing::textOf;

const pdx::Date kToday = *pdx::Date::fromYmd(2026, 6, 15);

// One demonstration data root for the whole suite: building it is the slow
// part, and the tests only read it.
class DemoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tmp_ = new pdx::testing::TempDir();
    DemoOptions o;
    o.dataRoot = root();
    o.today = kToday;
    o.env = pdx::Env::unsynced();
    std::ostringstream log;
    summary_ = new DemoSummary();
    status_ = new pdx::Status(buildDemo(o, *summary_, log));
  }
  static void TearDownTestSuite() {
    delete status_;
    delete summary_;
    delete tmp_;
  }
  void SetUp() override { ASSERT_TRUE(status_->ok()) << status_->toString(); }

  static std::string root() { return tmp_->path() + "/Tallimoor/data"; }
  static std::string company(int code) { return data::companyDirectory(root(), code); }

  static pdx::testing::TempDir* tmp_;
  static DemoSummary* summary_;
  static pdx::Status* status_;
};
pdx::testing::TempDir* DemoTest::tmp_ = nullptr;
DemoSummary* DemoTest::summary_ = nullptr;
pdx::Status* DemoTest::status_ = nullptr;

// Sums of a party's amounts in fixed point, by party code.
std::map<std::string, int64_t> sumsBy(const std::vector<Record>& rows, const std::string& party, const std::string& amount) {
  std::map<std::string, int64_t> sums;
  for (const auto& r : rows) sums[textOf(r, party)] += fixedOf(r, amount);
  return sums;
}

TEST_F(DemoTest, EveryTableIsSound) {
  for (const std::string& dir : {root(), company(1), company(2)}) {
    auto d = testing::openDirectory(dir);
    const auto names = d->tableNames();
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(names->size(), dir == root() ? data::dataRootTables().size() : data::companyTables().size());
    for (const auto& name : *names) {
      auto report = pdx::checkTable(*d->tablePath(name), pdx::Env::unsynced());
      ASSERT_TRUE(report.ok()) << name;
      EXPECT_TRUE(report->ok()) << dir << "/" << name << ": " << report->faults.front();
    }
  }
}

TEST_F(DemoTest, BalancesAreTheSumsOfTheOpenItems) {
  for (int code : {1, 2}) {
    SCOPED_TRACE(code);
    const auto payables = sumsBy(readAll(company(code), "cap"), "Cap_supplier", "Cap_amount");
    const auto suppliers = readAll(company(code), "sup");
    EXPECT_GE(suppliers.size(), 30u);
    int withBalance = 0;
    for (const auto& s : suppliers) {
      const std::string sup = textOf(s, "Sup_code");
      const int64_t expected = payables.count(sup) ? payables.at(sup) : 0;
      EXPECT_EQ(fixedOf(s, "Sup_current_bal"), expected) << sup;
      withBalance += expected != 0;
    }
    EXPECT_GT(withBalance, 10);

    const auto receivables = sumsBy(readAll(company(code), "car"), "Car_client", "Car_amount");
    const auto clients = readAll(company(code), "cli");
    EXPECT_GE(clients.size(), 50u);
    for (const auto& c : clients) {
      const std::string cli = textOf(c, "Cli_code");
      EXPECT_EQ(fixedOf(c, "Cli_current_bal"), receivables.count(cli) ? receivables.at(cli) : 0) << cli;
    }
    // No open item names a party that does not exist.
    std::set<std::string> codes;
    for (const auto& s : suppliers) codes.insert(textOf(s, "Sup_code"));
    for (const auto& [sup, sum] : payables) EXPECT_TRUE(codes.count(sup)) << sup;
  }
}

TEST_F(DemoTest, OpenItemsFollowTheSignOfTheirType) {
  for (int code : {1, 2})
    for (const auto& [table, prefix] : {std::pair{"cap", "Cap_"}, {"caph", "Cap_"}, {"car", "Car_"}, {"carh", "Car_"}})
      for (const auto& r : readAll(company(code), table)) {
        const auto type = data::transactionTypeFromCode(textOf(r, std::string(prefix) + "type"));
        ASSERT_TRUE(type.has_value()) << table;
        EXPECT_TRUE(data::amountFitsType(*type, testing::numberOf(r, std::string(prefix) + "amount"))) << table;
        // A purchase or sale has no reference; every other document has one.
        EXPECT_EQ(textOf(r, std::string(prefix) + "ref").empty(), *type == data::TransactionType::kInvoice) << table;
      }
}

// Each payables open item or history row reaches its source entry the way
// the payables inquiry looks for it.
TEST_F(DemoTest, EveryPayablesItemFindsItsSourceEntry) {
  for (int code : {1, 2}) {
    auto dir = testing::openDirectory(company(code));
    auto apori = dir->openTable("apori", pdx::Directory::Access::kReadOnly);
    auto cdorihdr = dir->openTable("cdorihdr", pdx::Directory::Access::kReadOnly);
    auto cdoridet = dir->openTable("cdoridet", pdx::Directory::Access::kReadOnly);
    ASSERT_TRUE(apori.ok() && cdorihdr.ok() && cdoridet.ok());
    for (const char* table : {"cap", "caph"}) {
      for (const auto& item : readAll(*dir, table)) {
        const std::string ref = textOf(item, "Cap_ref");
        const pdx::Value party = pdx::Value::text(textOf(item, "Cap_supplier"));
        const pdx::Value day = pdx::Value::date(dateOf(item, "Cap_date"));
        if (textOf(item, "Cap_type") == "2") {
          // Cheque: Reference;Supplier;Date = Cap_ref;Cap_supplier;Cap_date.
          ASSERT_TRUE((*cdorihdr)->findKey({pdx::Value::text(ref), party, day}).ok()) << ref;
          const int64_t seq = (*(*cdorihdr)->get("Seq")).asInteger();
          const std::vector<pdx::Value> link{pdx::Value::text(ref), party, day, pdx::Value::integer(seq)};
          ASSERT_TRUE((*cdoridet)->setRange(link, link).ok());
          bool paid = false;
          for (pdx::Status st = (*cdoridet)->first(); st.ok() && (*cdoridet)->hasRecord(); st = (*cdoridet)->next())
            if ((*(*cdoridet)->get("Invoice")).asText() == textOf(item, "Cap_invoice")) {
              paid = true;
              EXPECT_EQ(db::Money::fromDouble((*(*cdoridet)->get("Invoice_payment")).asNumber())->units(),
                        -fixedOf(item, "Cap_amount"));
            }
          EXPECT_TRUE(paid) << "cheque " << ref << " does not list invoice " << textOf(item, "Cap_invoice");
          continue;
        }
        // Purchase, note or adjustment: Reference;Supplier;Date =
        // Cap_invoice;Cap_supplier;Cap_date, filtered on Dr_cr_reference.
        const std::vector<pdx::Value> key{pdx::Value::text(textOf(item, "Cap_invoice")), party, day};
        ASSERT_TRUE((*apori)->setRange(key, key).ok());
        int matches = 0;
        for (pdx::Status st = (*apori)->first(); st.ok() && (*apori)->hasRecord(); st = (*apori)->next()) {
          const pdx::Value drcr = *(*apori)->get("Dr_cr_reference");
          if ((drcr.isNull() ? std::string() : drcr.asText()) != ref) continue;
          ++matches;
          EXPECT_EQ((*(*apori)->get("Trx_type")).asText(), textOf(item, "Cap_type"));
        }
        EXPECT_EQ(matches, 1) << table << " " << textOf(item, "Cap_supplier") << " " << textOf(item, "Cap_invoice")
                              << " " << ref;
      }
    }
  }
}

TEST_F(DemoTest, EveryReceivablesItemFindsItsSourceEntryAndInvoice) {
  for (int code : {1, 2}) {
    auto dir = testing::openDirectory(company(code));
    auto arori = dir->openTable("arori", pdx::Directory::Access::kReadOnly);
    auto crorihdr = dir->openTable("crorihdr", pdx::Directory::Access::kReadOnly);
    auto croridet = dir->openTable("croridet", pdx::Directory::Access::kReadOnly);
    auto fahdr = dir->openTable("fahdr", pdx::Directory::Access::kReadOnly);
    auto fahdra = dir->openTable("fahdra", pdx::Directory::Access::kReadOnly);
    ASSERT_TRUE(arori.ok() && crorihdr.ok() && croridet.ok() && fahdr.ok() && fahdra.ok());
    int current = 0, archived = 0;
    for (const char* table : {"car", "carh"}) {
      for (const auto& item : readAll(*dir, table)) {
        const std::string ref = textOf(item, "Car_ref"), type = textOf(item, "Car_type");
        const pdx::Value party = pdx::Value::text(textOf(item, "Car_client"));
        const pdx::Value day = pdx::Value::date(dateOf(item, "Car_date"));
        if (type == "2") {
          ASSERT_TRUE((*crorihdr)->findKey({pdx::Value::text(ref), party, day}).ok()) << ref;
          const int64_t seq = (*(*crorihdr)->get("Seq")).asInteger();
          const std::vector<pdx::Value> link{pdx::Value::text(ref), party, day, pdx::Value::integer(seq)};
          ASSERT_TRUE((*croridet)->setRange(link, link).ok());
          EXPECT_GT(*(*croridet)->recordCount(), 0) << ref;
          continue;
        }
        const std::vector<pdx::Value> key{pdx::Value::text(textOf(item, "Car_invoice")), party, day};
        ASSERT_TRUE((*arori)->setRange(key, key).ok());
        int matches = 0;
        for (pdx::Status st = (*arori)->first(); st.ok() && (*arori)->hasRecord(); st = (*arori)->next()) {
          const pdx::Value drcr = *(*arori)->get("Dr_cr_reference");
          matches += (drcr.isNull() ? std::string() : drcr.asText()) == ref;
        }
        EXPECT_EQ(matches, 1) << table << " " << textOf(item, "Car_invoice") << " " << ref;
        if (type != "1") continue;
        // The billing document: Fahdr_doc;Fahdr_invoice = Car_type;Car_invoice.
        const std::vector<pdx::Value> doc{pdx::Value::text(type), pdx::Value::text(textOf(item, "Car_invoice"))};
        if ((*fahdr)->findKey(doc).ok()) {
          ++current;
          EXPECT_EQ(db::Money::fromDouble((*(*fahdr)->get("Fahdr_g_total")).asNumber())->units(), fixedOf(item, "Car_amount"));
        } else {
          ASSERT_TRUE((*fahdra)->findKey(doc).ok()) << "no invoice " << textOf(item, "Car_invoice");
          ++archived;
          EXPECT_EQ(db::Money::fromDouble((*(*fahdra)->get("Fahdra_g_total")).asNumber())->units(), fixedOf(item, "Car_amount"));
        }
      }
    }
    EXPECT_GT(current, 0);
    EXPECT_GT(archived, 0);
  }
}

// Invoice lines add up to their header; comment lines exist.
TEST_F(DemoTest, InvoiceLinesAddUpAndIncludeComments) {
  for (int code : {1, 2}) {
    for (const auto& [hdr, det, p, q] : {std::tuple{"fahdr", "fadet", "Fahdr_", "Fadet_"},
                                         std::tuple{"fahdra", "fadeta", "Fahdra_", "Fadeta_"}}) {
      std::map<std::string, int64_t> lineTotals;
      std::map<std::string, int> lineCounts;
      int comments = 0;
      for (const auto& l : readAll(company(code), det)) {
        const std::string inv = textOf(l, std::string(q) + "invoice");
        lineTotals[inv] += fixedOf(l, std::string(q) + "total");
        ++lineCounts[inv];
        if (textOf(l, std::string(q) + "line_code").empty() && testing::numberOf(l, std::string(q) + "qty_order") == 0)
          ++comments;
      }
      EXPECT_GT(comments, 0) << det;
      const auto headers = readAll(company(code), hdr);
      EXPECT_FALSE(headers.empty()) << hdr;
      for (const auto& h : headers) {
        const std::string inv = textOf(h, std::string(p) + "invoice");
        EXPECT_GT(lineCounts[inv], 0) << inv;
        EXPECT_EQ(lineTotals[inv], fixedOf(h, std::string(p) + "total")) << inv;
        EXPECT_EQ(fixedOf(h, std::string(p) + "total") + fixedOf(h, std::string(p) + "tax1") +
                      fixedOf(h, std::string(p) + "tax2"),
                  fixedOf(h, std::string(p) + "g_total"))
            << inv;
      }
    }
  }
}

TEST_F(DemoTest, EverySourceEntryBalances) {
  for (int code : {1, 2})
    for (const auto& [table, lines] : {std::pair{"apori", 15}, {"arori", 15}, {"cdorihdr", 20}, {"crorihdr", 20}}) {
      const auto rows = readAll(company(code), table);
      EXPECT_FALSE(rows.empty()) << table;
      for (const auto& r : rows) {
        int64_t debit = 0, credit = 0;
        for (int n = 1; n <= lines; ++n) {
          debit += fixedOf(r, "Debit" + std::to_string(n));
          credit += fixedOf(r, "Credit" + std::to_string(n));
          EXPECT_GE(fixedOf(r, "Debit" + std::to_string(n)), 0);
          EXPECT_GE(fixedOf(r, "Credit" + std::to_string(n)), 0);
        }
        EXPECT_EQ(debit, credit) << table << " " << textOf(r, "Reference");
        EXPECT_GT(debit, 0) << table << " " << textOf(r, "Reference");
      }
    }
}

TEST_F(DemoTest, TheJournalHeadersCarryTheirLinesTotals) {
  for (int code : {1, 2}) {
    std::map<std::string, std::pair<int64_t, int64_t>> sums;
    auto keyOf = [](const Record& r, const char* p) {
      return std::to_string(intOf(r, std::string(p) + "period")) + "/" + std::to_string(intOf(r, std::string(p) + "journal")) +
             "/" + textOf(r, std::string(p) + "reference") + "/" + std::to_string(dateOf(r, std::string(p) + "date").days);
    };
    for (const auto& l : readAll(company(code), "tjld")) {
      sums[keyOf(l, "Tjld_")].first += fixedOf(l, "Tjld_debit");
      sums[keyOf(l, "Tjld_")].second += fixedOf(l, "Tjld_credit");
    }
    const auto headers = readAll(company(code), "tjlh");
    EXPECT_FALSE(headers.empty());
    for (const auto& h : headers) {
      const auto& s = sums[keyOf(h, "Tjlh_")];
      EXPECT_EQ(fixedOf(h, "Tjlh_tot_debit"), s.first);
      EXPECT_EQ(fixedOf(h, "Tjlh_tot_credit"), s.second);
      EXPECT_EQ(s.first, s.second);
      const int64_t journal = intOf(h, "Tjlh_journal");
      EXPECT_TRUE(journal == 3 || (journal >= 32 && journal <= 35)) << journal;
    }
  }
}

TEST_F(DemoTest, TheLedgersExerciseEveryCaseTheWindowsHandle) {
  for (int code : {1, 2}) {
    SCOPED_TRACE(code);
    for (const auto& [table, prefix] : {std::pair{"cap", "Cap_"}, {"car", "Car_"}}) {
      std::set<std::string> types;
      std::set<int> buckets;
      for (const auto& r : readAll(company(code), table)) {
        types.insert(textOf(r, std::string(prefix) + "type"));
        const int64_t age = kToday.days - dateOf(r, std::string(prefix) + "date").days;
        buckets.insert(age <= 30 ? 0 : age <= 60 ? 1 : age <= 90 ? 2 : age <= 120 ? 3 : 4);
      }
      EXPECT_EQ(types, (std::set<std::string>{"1", "2", "3", "4", "5"})) << table;
      EXPECT_EQ(buckets.size(), 5u) << table;
    }
    EXPECT_FALSE(readAll(company(code), "caph").empty());
    EXPECT_FALSE(readAll(company(code), "carh").empty());
    EXPECT_FALSE(readAll(company(code), "emp").empty());
    // Some cheque or receipt paid several invoices at once.
    std::map<int64_t, int> perCheque;
    for (const auto& l : readAll(company(code), "cdoridet")) ++perCheque[intOf(l, "Header_seq")];
    EXPECT_TRUE(std::any_of(perCheque.begin(), perCheque.end(), [](const auto& e) { return e.second > 1; }));
  }
  // Suppliers in every foreign currency, terms in both encodings.
  std::set<int64_t> currencies;
  bool days = false, dayOfMonth = false;
  for (const auto& s : readAll(company(1), "sup")) {
    currencies.insert(intOf(s, "Sup_currency"));
    (intOf(s, "Sup_du_days") < data::kTermsDayOfNextMonth ? days : dayOfMonth) = true;
  }
  EXPECT_EQ(currencies, (std::set<int64_t>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(days && dayOfMonth);
}

TEST_F(DemoTest, ChartsStoreTypesInBothLanguagesAndHoldTheControlAccounts) {
  for (int code : {1, 2}) {
    std::set<std::string> words;
    std::set<int64_t> accounts;
    for (const auto& a : readAll(company(code), "glm")) {
      words.insert(textOf(a, "Glm_type"));
      accounts.insert(intOf(a, "Glm_account"));
    }
    EXPECT_TRUE(words.count("Asset") || words.count("Expense") || words.count("Liability")) << code;
    EXPECT_TRUE(words.count("Actif") || words.count("Dépense") || words.count("Passif")) << code;
    const auto ctrl = readAll(company(code), "ctrl");
    ASSERT_EQ(ctrl.size(), 1u);
    for (const std::string& field : controlAccountFields()) {
      const int64_t account = intOf(ctrl[0], field);
      if (account != 0) {
        EXPECT_TRUE(accounts.count(account)) << field;
      }
    }
    // The distribution accounts of the source entries exist too.
    for (const char* table : {"apori", "arori"})
      for (const auto& r : readAll(company(code), table))
        for (int n = 1; n <= 15; ++n) {
          const int64_t account = intOf(r, "Account" + std::to_string(n));
          if (account != 0) {
        EXPECT_TRUE(accounts.count(account)) << table << " " << account;
      }
        }
  }
}

TEST_F(DemoTest, UsersDifferInPasswordLanguageCompanyAndRights) {
  const auto users = readAll(root(), "user");
  EXPECT_EQ(users.size(), summary_->users.size());
  std::set<std::string> passwords;
  std::set<int64_t> languages, companies;
  std::set<std::string> rights;
  for (const auto& u : users) {
    const std::string pw = textOf(u, "User_password");
    EXPECT_TRUE(passwords.insert(pw).second);
    for (char c : pw) EXPECT_FALSE(c >= 'a' && c <= 'z') << pw;
    languages.insert(intOf(u, "User_language"));
    companies.insert(intOf(u, "User_company"));
    rights.insert(u.at("User_security").asBytes());
  }
  EXPECT_TRUE(languages.count(1) && languages.count(2));
  EXPECT_TRUE(companies.count(1) && companies.count(2));
  EXPECT_GE(rights.size(), 3u);
  EXPECT_TRUE(rights.count(data::fullSecurity()));
  // The payables clerk: Purchases and Display of suppliers, not Display of clients.
  bool clerk = false;
  for (const auto& u : users) {
    const std::string bits = u.at("User_security").asBytes();
    if (!data::testSecurityBit(bits, data::securityBit(data::kMenuReceivables, 2, 0)) &&
        data::testSecurityBit(bits, data::securityBit(data::kMenuPayables, 1, 0)) &&
        data::testSecurityBit(bits, data::securityBit(data::kMenuPayables, 2, 0)))
      clerk = true;
  }
  EXPECT_TRUE(clerk);
  // Every user the summary prints can log in with the password shown.
  for (const DemoUser& u : summary_->users) EXPECT_TRUE(passwords.count(u.password)) << u.password;

  const auto comp = readAll(root(), "comp");
  ASSERT_EQ(comp.size(), 2u);
  EXPECT_EQ(textOf(comp[0], "Comp_Passwd"), "");
  EXPECT_FALSE(textOf(comp[1], "Comp_Passwd").empty());
  EXPECT_EQ(textOf(comp[1], "Comp_Passwd"), summary_->companies[1].password);
}

TEST_F(DemoTest, ASecondDemoOnTheSameRootIsRefused) {
  const auto before = testing::snapshot(tmp_->path());
  DemoOptions o;
  o.dataRoot = root();
  o.today = kToday;
  o.env = pdx::Env::unsynced();
  DemoSummary summary;
  std::ostringstream log;
  EXPECT_TRUE(buildDemo(o, summary, log).is(pdx::code::kTableExists));
  EXPECT_EQ(testing::snapshot(tmp_->path()), before);
}

TEST_F(DemoTest, TheSameSeedAndDateGiveTheSameBooks) {
  pdx::testing::TempDir again;
  DemoOptions o;
  o.dataRoot = again.path() + "/data";
  o.today = kToday;
  o.env = pdx::Env::unsynced();
  DemoSummary summary;
  std::ostringstream log;
  ASSERT_TRUE(buildDemo(o, summary, log).ok());
  for (const char* table : {"cap", "cli", "fadet", "cdoridet"}) {
    auto a = readAll(company(1), table), b = readAll(data::companyDirectory(o.dataRoot, 1), table);
    ASSERT_EQ(a.size(), b.size()) << table;
    for (size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(a[i] == b[i]) << table << " row " << i;
  }
}

TEST(ScaleTest, BuildsTheAskedSizeWithBalancesThatAgree) {
  pdx::testing::TempDir tmp;
  ScaleOptions o;
  o.dataRoot = tmp.path() + "/data";
  o.clients = 40;
  o.suppliers = 25;
  o.items = 400;
  o.today = kToday;
  o.batchRows = 150;  // several write groups
  o.heavyItems = 333;
  o.env = pdx::Env::unsynced();
  LedgerCounts counts;
  std::ostringstream log;
  ASSERT_TRUE(buildScale(o, counts, log).ok());
  const std::string dir = data::companyDirectory(o.dataRoot, 1);
  // The first client and supplier have exactly the open items asked, and
  // nothing in history.
  for (const auto& [table, history, field, code] : {std::tuple{"car", "carh", "Car_client", "C00000001"},
                                                    std::tuple{"cap", "caph", "Cap_supplier", "S00000001"}}) {
    size_t open = 0, closed = 0;
    for (const auto& r : readAll(dir, table)) open += textOf(r, field) == code;
    for (const auto& r : readAll(dir, history)) closed += textOf(r, field) == code;
    EXPECT_EQ(open, 333u) << table;
    EXPECT_EQ(closed, 0u) << history;
  }
  EXPECT_EQ(readAll(dir, "cli").size(), 40u);
  EXPECT_EQ(readAll(dir, "sup").size(), 25u);
  const auto purchases = readAll(dir, "apori");
  EXPECT_GE(purchases.size(), 400u);
  const auto sums = sumsBy(readAll(dir, "car"), "Car_client", "Car_amount");
  for (const auto& c : readAll(dir, "cli")) {
    const std::string code = textOf(c, "Cli_code");
    EXPECT_EQ(code.size(), 9u);
    EXPECT_EQ(fixedOf(c, "Cli_current_bal"), sums.count(code) ? sums.at(code) : 0) << code;
  }
  // A second run refuses.
  EXPECT_TRUE(buildScale(o, counts, log).is(pdx::code::kTableExists));
}

}  // namespace
}  // namespace admin
