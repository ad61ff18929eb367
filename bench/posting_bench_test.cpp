// posting_bench's documents, and both sides' postings read back as books.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <tuple>
#include <vector>

#include "db/database.h"
#include "db/formats.h"
#include "db/money.h"
#include "pdx/table.h"
#include "posting_bench_data.h"
#include "posting_bench_engine.h"
#include "posting_bench_sqlite.h"
#include "test_util.h"
#include "tool_run.h"

namespace postbench {
namespace {

constexpr int kSuppliers = 7;

TEST(PostingBenchData, DocumentsBalanceWithTaxesToTheCent) {
  std::set<std::string> invoices;
  for (int64_t n = 0; n < 5'000; ++n) {
    const Document d = postedDocument(n, kSuppliers);
    ASSERT_EQ(d.purchases % 100, 0) << "whole cents";
    ASSERT_GE(d.purchases, 10 * 10'000);
    // 5% and 9.975% of the amount in cents, rounded half up.
    const int64_t cents = d.purchases / 100;
    EXPECT_EQ(d.gst, (cents * 5 + 50) / 100 * 100) << n;
    EXPECT_EQ(d.qst, (cents * 9'975 + 50'000) / 100'000 * 100) << n;
    EXPECT_EQ(d.total(), d.purchases + d.gst + d.qst);
    ASSERT_EQ(d.invoice.size(), 9u);
    EXPECT_TRUE(invoices.insert(d.invoice).second) << "invoice " << d.invoice << " twice";
    EXPECT_LT(d.supplier, supplierCode(kSuppliers));
    EXPECT_EQ(postedDocument(n, kSuppliers).invoice, d.invoice) << "the same document on every call";
  }
  // The prefill's references never meet a posted invoice number.
  for (int64_t n = 0; n < 5'000; ++n) EXPECT_FALSE(invoices.count(PrefillPlan::document(n).reference)) << n;
}

TEST(PostingBenchData, PrefillVisitsEveryDocumentOnceInKeyOrder) {
  const PrefillPlan plan(1'001);  // rounded up to whole documents
  EXPECT_EQ(plan.documents(), 251);
  EXPECT_EQ(plan.lines(), 1'004);
  std::tuple<int, int, std::string, int> previous{0, 0, "", 0};
  std::set<std::string> seen;
  int64_t visited = 0, inPostingSegment = 0;
  plan.forEach([&](const JournalDocument& d) {
    const auto key = std::make_tuple(d.period, d.journal, d.reference, d.date);
    EXPECT_LT(previous, key) << d.reference;
    previous = key;
    EXPECT_TRUE(seen.insert(d.reference).second);
    int64_t debits = 0, credits = 0;
    for (const JournalLine& l : d.lines) {
      debits += l.debit;
      credits += l.credit;
      EXPECT_TRUE(l.debit == 0 || l.credit == 0);
    }
    EXPECT_EQ(debits, d.total);
    EXPECT_EQ(credits, d.total);
    int year = 0, month = 0, day = 0;
    pdx::Date{d.date}.toYmd(year, month, day);
    EXPECT_EQ(month, d.period);
    if (d.period == kPostingPeriod && d.journal == kPayablesJournal) ++inPostingSegment;
    ++visited;
    return true;
  });
  EXPECT_EQ(visited, 251);
  // The posted documents have neighbours in their part of the journal.
  EXPECT_GT(inPostingSegment, 0);

  int calls = 0;
  EXPECT_FALSE(plan.forEach([&](const JournalDocument&) { return ++calls < 3; }));
  EXPECT_EQ(calls, 3);
}

TEST(PostingBenchData, DifferencesNameWhatDisagrees) {
  const Books want = expectedBooks(PrefillPlan(8), 30, kSuppliers);
  EXPECT_EQ(want.tjldRows, 8 + 30 * 4);
  EXPECT_EQ(want.capRows, 30);
  EXPECT_EQ(want.balance.size(), size_t(kSuppliers));
  EXPECT_EQ(differences(want, want), "");

  Books got = want;
  got.balance[supplierCode(2)] += 1;  // one ten-thousandth
  EXPECT_NE(differences(got, want).find("Sup_current_bal of S0003"), std::string::npos) << differences(got, want);
  got = want;
  got.openItems["S9999"] = 0;
  EXPECT_NE(differences(got, want).find("unexpected supplier"), std::string::npos);
  got = want;
  got.balance.erase(supplierCode(0));
  EXPECT_NE(differences(got, want).find("S0001: no such supplier"), std::string::npos);
  got = want;
  got.tjldCredit -= 100;
  got.oddOpenItems = 1;
  const std::string diff = differences(got, want);
  EXPECT_NE(diff.find("tjld credits"), std::string::npos);
  EXPECT_NE(diff.find("open items of another type"), std::string::npos);
}

TEST(PostingBenchData, LatenciesAreNearestRankPercentiles) {
  const Latencies none = latenciesOf({});
  EXPECT_EQ(none.median, 0);
  EXPECT_EQ(none.p95, 0);
  const Latencies one = latenciesOf({7});
  EXPECT_EQ(one.median, 7);
  EXPECT_EQ(one.p95, 7);
  EXPECT_EQ(one.mean, 7);
  // 1..20 in any order: the 10th and the 19th smallest.
  std::vector<double> times;
  for (int i = 20; i >= 1; --i) times.push_back(i);
  const Latencies l = latenciesOf(times);
  EXPECT_EQ(l.median, 10);
  EXPECT_EQ(l.p95, 19);
  EXPECT_DOUBLE_EQ(l.mean, 10.5);
  // One slow posting in a hundred moves the mean, not the percentiles.
  std::vector<double> mostlyFast(99, 1.0);
  mostlyFast.push_back(101);
  const Latencies m = latenciesOf(mostlyFast);
  EXPECT_EQ(m.median, 1);
  EXPECT_EQ(m.p95, 1);
  EXPECT_DOUBLE_EQ(m.mean, 2);
}

// ---------------------------------------------------------------- the sides

// What a posting wrote for one document, read back field by field in a form
// both sides share.
struct Written {
  std::vector<std::tuple<int64_t, int64_t, int64_t, std::string>> lines;  // account, debit, credit, description
  int64_t headerDebit = 0, headerCredit = 0;
  std::string memo, user;
  int64_t itemAmount = 0, itemDue = 0;
  std::string itemType, itemRef;
  std::vector<int64_t> source;  // Account1..15, Debit1..15, Credit1..15
  std::string sourceSupplier, sourceType;
  int64_t sourceDue = 0;
  bool operator==(const Written&) const = default;
};

int64_t units(double amount) {
  return db::Money::fromDouble(amount).value_or(db::Money()).units();
}

int64_t engineNumber(pdx::Table& t, const std::string& field) {
  auto v = t.get(field);
  if (!v.ok() || v->isNull()) return 0;
  switch (v->kind()) {
    case pdx::Value::Kind::kNumber:
      return units(v->asNumber());
    case pdx::Value::Kind::kInteger:
      return v->asInteger();
    case pdx::Value::Kind::kDate:
      return v->asDate().days;
    default:
      ADD_FAILURE() << field << " is not a number";
      return 0;
  }
}

std::string engineText(pdx::Table& t, const std::string& field) {
  auto v = t.get(field);
  return v.ok() && v->kind() == pdx::Value::Kind::kText ? v->asText() : std::string();
}

Written engineWritten(const std::string& companyDir, const Document& doc) {
  Written w;
  auto dir = pdx::Directory::open(companyDir, pdx::Env::unsynced());
  if (!dir.ok()) {
    ADD_FAILURE() << dir.status().toString();
    return w;
  }
  auto open = [&](const char* name) {
    auto t = (*dir)->openTable(name, pdx::Directory::Access::kReadOnly);
    EXPECT_TRUE(t.ok()) << name;
    return t.ok() ? std::move(t).value() : nullptr;
  };
  const std::vector<pdx::Value> key = {pdx::Value::integer(kPostingPeriod), pdx::Value::integer(kPayablesJournal),
                                       pdx::Value::text(doc.invoice)};
  if (auto t = open("tjld")) {
    EXPECT_TRUE(t->setRange(key, key).ok());
    for (pdx::Status st = t->hasRecord() ? pdx::Status() : pdx::Status(pdx::code::kEof, ""); st.ok(); st = t->next())
      w.lines.emplace_back(engineNumber(*t, "Tjld_account"), engineNumber(*t, "Tjld_debit"),
                           engineNumber(*t, "Tjld_credit"), engineText(*t, "Tjld_description"));
  }
  if (auto t = open("tjlh"); t && t->findKey(key).ok()) {
    w.headerDebit = engineNumber(*t, "Tjlh_tot_debit");
    w.headerCredit = engineNumber(*t, "Tjlh_tot_credit");
    w.memo = engineText(*t, "Tjlh_memo");
    w.user = engineText(*t, "Tjlh_user");
  }
  if (auto t = open("cap"); t && t->findKey({pdx::Value::text(doc.supplier), pdx::Value::text(doc.invoice)}).ok()) {
    w.itemAmount = engineNumber(*t, "Cap_amount");
    w.itemDue = engineNumber(*t, "Cap_du_date");
    w.itemType = engineText(*t, "Cap_type");
    w.itemRef = engineText(*t, "Cap_ref");
  }
  if (auto t = open("apori"); t && t->findKey({pdx::Value::text(doc.invoice), pdx::Value::text(doc.supplier)}).ok()) {
    for (const char* prefix : {"Account", "Debit", "Credit"})
      for (int n = 1; n <= 15; ++n) w.source.push_back(engineNumber(*t, prefix + std::to_string(n)));
    w.sourceSupplier = engineText(*t, "Supplier");
    w.sourceType = engineText(*t, "Trx_type");
    w.sourceDue = engineNumber(*t, "Due_date");
  }
  return w;
}

Written sqliteWritten(const std::string& path, const Document& doc) {
  Written w;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "open " << path;
    sqlite3_close(db);
    return w;
  }
  auto each = [&](const std::string& sql, auto&& row) {
    sqlite3_stmt* q = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_bind_text(q, 1, doc.invoice.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(q, 2, doc.supplier.c_str(), -1, SQLITE_STATIC);
    while (sqlite3_step(q) == SQLITE_ROW) row(q);
    sqlite3_finalize(q);
  };
  auto text = [](sqlite3_stmt* q, int c) {
    const unsigned char* t = sqlite3_column_text(q, c);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  auto where = [](const std::string& t) {
    return " WHERE " + t + "_period = 6 AND " + t + "_journal = 3 AND " + t + "_reference = ?1";
  };
  each("SELECT Tjld_account, Tjld_debit, Tjld_credit, Tjld_description FROM tjld" + where("Tjld") +
           " ORDER BY Tjld_autoinc",
       [&](sqlite3_stmt* q) {
         w.lines.emplace_back(sqlite3_column_int64(q, 0), units(sqlite3_column_double(q, 1)),
                              units(sqlite3_column_double(q, 2)), text(q, 3));
       });
  each("SELECT Tjlh_tot_debit, Tjlh_tot_credit, Tjlh_memo, Tjlh_user FROM tjlh" + where("Tjlh"), [&](sqlite3_stmt* q) {
    w.headerDebit = units(sqlite3_column_double(q, 0));
    w.headerCredit = units(sqlite3_column_double(q, 1));
    w.memo = text(q, 2);
    w.user = text(q, 3);
  });
  each("SELECT Cap_amount, Cap_du_date, Cap_type, Cap_ref FROM cap WHERE Cap_invoice = ?1 AND Cap_supplier = ?2",
       [&](sqlite3_stmt* q) {
         w.itemAmount = units(sqlite3_column_double(q, 0));
         w.itemDue = sqlite3_column_int64(q, 1);
         w.itemType = text(q, 2);
         w.itemRef = text(q, 3);
       });
  std::string columns;
  for (const char* prefix : {"Account", "Debit", "Credit"})
    for (int n = 1; n <= 15; ++n) columns += prefix + std::to_string(n) + ", ";
  each("SELECT " + columns + "Supplier, Trx_type, Due_date FROM apori WHERE Reference = ?1 AND Supplier = ?2",
       [&](sqlite3_stmt* q) {
         for (int c = 0; c < 45; ++c)
           w.source.push_back(c < 15 ? sqlite3_column_int64(q, c) : units(sqlite3_column_double(q, c)));
         w.sourceSupplier = text(q, 45);
         w.sourceType = text(q, 46);
         w.sourceDue = sqlite3_column_int64(q, 47);
       });
  sqlite3_close(db);
  return w;
}

class PostingBenchSides : public ::testing::Test {
 protected:
  PostingBenchSides() {
    db::Database::environment() = pdx::Env::unsynced();
    db::RegionalFormats::current() = db::RegionalFormats();
  }
  pdx::testing::TempDir tmp_;
  const PrefillPlan plan_{40};
};

TEST_F(PostingBenchSides, EnginePostsThroughTheEntryAndItsBooksAddUp) {
  CompanyPaths paths;
  ASSERT_EQ(makeEngineCompany(tmp_.path(), kSuppliers, plan_, pdx::Env::unsynced(), paths), "");
  Books before;
  ASSERT_EQ(readEngineBooks(paths.company, before), "");
  EXPECT_EQ(differences(before, expectedBooks(plan_, 0, kSuppliers)), "");

  constexpr int64_t kDocs = 12;
  {
    std::unique_ptr<EnginePoster> poster;
    ASSERT_EQ(EnginePoster::open(paths, poster), "");
    for (int64_t n = 0; n < kDocs; ++n) {
      PostingTimes t;
      ASSERT_EQ(poster->post(postedDocument(n, kSuppliers), t), "") << n;
      EXPECT_GT(t.writing, 0);
      EXPECT_GT(t.commit, 0);
    }
    // A second purchase with the same invoice is refused by the entry, and
    // the benchmark hears of it rather than counting it as posted.
    PostingTimes t;
    const Error again = poster->post(postedDocument(3, kSuppliers), t);
    EXPECT_NE(again.find("refused"), std::string::npos) << again;
  }
  Books after;
  ASSERT_EQ(readEngineBooks(paths.company, after), "");
  EXPECT_EQ(differences(after, expectedBooks(plan_, kDocs, kSuppliers)), "");

  // The books come from the tables: a supplier's balance changed behind the
  // entry's back shows.
  {
    auto dir = pdx::Directory::open(paths.company, pdx::Env::unsynced());
    ASSERT_TRUE(dir.ok());
    auto sup = (*dir)->openTable("sup");
    ASSERT_TRUE(sup.ok());
    const std::string code = postedDocument(0, kSuppliers).supplier;
    ASSERT_TRUE((*sup)->findKey({pdx::Value::text(code)}).ok());
    ASSERT_TRUE((*sup)->edit().ok());
    ASSERT_TRUE((*sup)->set("Sup_current_bal", pdx::Value::number(0.01)).ok());
    ASSERT_TRUE((*sup)->post().ok());
  }
  ASSERT_EQ(readEngineBooks(paths.company, after), "");
  EXPECT_NE(differences(after, expectedBooks(plan_, kDocs, kSuppliers)).find("Sup_current_bal"), std::string::npos);
}

TEST_F(PostingBenchSides, BothSidesWriteTheSameRowsForEachDocument) {
  constexpr int64_t kDocs = 10;
  CompanyPaths paths;
  ASSERT_EQ(makeEngineCompany(tmp_.path(), kSuppliers, plan_, pdx::Env::unsynced(), paths), "");
  const std::string file = tmp_.file("delete.db");
  {
    std::unique_ptr<EnginePoster> poster;
    ASSERT_EQ(EnginePoster::open(paths, poster), "");
    std::unique_ptr<SqlitePoster> db;
    ASSERT_EQ(SqlitePoster::create(file, SqliteJournal::kDelete, false, kSuppliers, plan_, db), "");
    for (int64_t n = 0; n < kDocs; ++n) {
      PostingTimes t;
      double seconds = 0;
      ASSERT_EQ(poster->post(postedDocument(n, kSuppliers), t), "");
      ASSERT_EQ(db->post(postedDocument(n, kSuppliers), seconds), "");
    }
    // A supplier the company does not have: the entry refuses it and the
    // benchmark says so.
    PostingTimes t;
    Document stranger = postedDocument(kDocs, kSuppliers);
    stranger.supplier = "S9999";
    EXPECT_NE(poster->post(stranger, t).find("not taken"), std::string::npos);
  }
  for (int64_t n = 0; n < kDocs; ++n) {
    const Document doc = postedDocument(n, kSuppliers);
    const Written engine = engineWritten(paths.company, doc);
    EXPECT_EQ(sqliteWritten(file, doc), engine) << doc.invoice;
    if (n > 0) continue;
    // What the entry wrote is the purchase the benchmark means.
    using Line = std::tuple<int64_t, int64_t, int64_t, std::string>;
    EXPECT_EQ(engine.lines, (std::vector<Line>{{kPayableAccount, 0, doc.total(), "Accounts payable"},
                                               {kPurchasesAccount, doc.purchases, 0, "Purchases"},
                                               {kGstAccount, doc.gst, 0, "GST/HST receivable"},
                                               {kQstAccount, doc.qst, 0, "QST/PST receivable"}}));
    EXPECT_EQ(engine.headerDebit, doc.total());
    EXPECT_EQ(engine.headerCredit, doc.total());
    EXPECT_EQ(engine.itemAmount, doc.total());
    EXPECT_EQ(engine.itemType, "1");
    EXPECT_EQ(engine.itemRef, "");
    EXPECT_EQ(engine.itemDue, postingDate() + kSupplierTerms);
    EXPECT_EQ(engine.sourceSupplier, doc.supplier);
    ASSERT_EQ(engine.source.size(), 45u);
    EXPECT_EQ(engine.source[15 + 2], doc.gst);  // Debit3
    EXPECT_EQ(engine.source[30], doc.total());  // Credit1
  }
}

TEST_F(PostingBenchSides, SqlitePostsTheSameBooksInBothJournalModes) {
  constexpr int64_t kDocs = 12;
  for (SqliteJournal mode : {SqliteJournal::kDelete, SqliteJournal::kWal}) {
    SCOPED_TRACE(mode == SqliteJournal::kWal ? "WAL" : "DELETE");
    std::unique_ptr<SqlitePoster> db;
    const std::string path = tmp_.file(mode == SqliteJournal::kWal ? "wal.db" : "delete.db");
    ASSERT_EQ(SqlitePoster::create(path, mode, false, kSuppliers, plan_, db), "");
    Books books;
    ASSERT_EQ(db->readBooks(books), "");
    EXPECT_EQ(differences(books, expectedBooks(plan_, 0, kSuppliers)), "");
    for (int64_t n = 0; n < kDocs; ++n) {
      double seconds = 0;
      ASSERT_EQ(db->post(postedDocument(n, kSuppliers), seconds), "") << n;
      EXPECT_GT(seconds, 0);
    }
    // The duplicate test refuses a second purchase; its transaction is
    // rolled back and the next document still posts.
    double seconds = 0;
    EXPECT_NE(db->post(postedDocument(5, kSuppliers), seconds).find("on file already"), std::string::npos);
    ASSERT_EQ(db->post(postedDocument(kDocs, kSuppliers), seconds), "");
    ASSERT_EQ(db->readBooks(books), "");
    EXPECT_EQ(differences(books, expectedBooks(plan_, kDocs + 1, kSuppliers)), "");
    // A database that is already there is not taken over.
    std::unique_ptr<SqlitePoster> second;
    EXPECT_NE(SqlitePoster::create(path, mode, false, kSuppliers, plan_, second), "");
  }
}

// ---------------------------------------------------------------- the tool

using bench::ToolRun;

ToolRun runTool(const std::string& arguments) { return bench::runTool("posting_bench", arguments); }

// The number in column `column` (from 0, after the side's name) of the
// report line that starts with `side`, in the section after `section`.
double column(const std::string& output, const std::string& section, const std::string& side, int column) {
  const size_t from = output.find(section);
  if (from == std::string::npos) return -1;
  const size_t line = output.find("\n" + side + " ", from);
  if (line == std::string::npos) return -1;
  const char* p = output.c_str() + line + 1 + side.size();
  double value = -1;
  for (int c = 0; c <= column; ++c) {
    char* end = nullptr;
    value = std::strtod(p, &end);
    if (end == p) return -1;
    p = end;
  }
  return value;
}

TEST(PostingBenchTool, PostsIntoEveryDatabaseAndChecksTheirBooks) {
  pdx::testing::TempDir dir;
  const ToolRun run = runTool("--docs 9 --small-lines 8 --large-lines 200 --rounds 3 --dir " + dir.path() + "/data");
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char* section : {"== small: tjld holding 8 lines", "== large: tjld holding 200 lines"}) {
    SCOPED_TRACE(section);
    for (const char* side : {"engine", "sqlite DELETE", "sqlite WAL"}) {
      SCOPED_TRACE(side);
      EXPECT_GT(column(run.output, section, side, 0), 0);  // documents per second
      const double median = column(run.output, section, side, 1), p95 = column(run.output, section, side, 2);
      EXPECT_GT(median, 0);
      EXPECT_GE(p95, median);
      // Every posting is durable: at least one sync and one wait for it.
      EXPECT_GE(column(run.output, section, side, 4), 1);
      EXPECT_GE(column(run.output, section, side, 5), 1);
    }
  }
  EXPECT_EQ(run.output.find("MISMATCH"), std::string::npos);
  EXPECT_EQ(run.output.find("ERROR"), std::string::npos);
  for (const char* line : {"small: engine / sqlite DELETE", "large: engine / sqlite WAL", "engine: large / small"})
    EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
  // --dir keeps what it made.
  EXPECT_TRUE(std::filesystem::exists(dir.file("data/large-sqlite-wal/wal.db")));
}

TEST(PostingBenchTool, RefusesBadArguments) {
  for (const char* args :
       {"--docs 0", "--docs x", "--large-lines -1", "--only medium", "--side neither", "--rounds", "--bogus"}) {
    const ToolRun run = runTool(args);
    EXPECT_EQ(run.status, 2) << args << "\n" << run.output;
  }
}

}  // namespace
}  // namespace postbench
