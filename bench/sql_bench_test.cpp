// sql_bench compares times only when both sides did the same work: these
// tests check that the generated tables suit the engine's field sizes and key
// order, that both sides store them alike, and that the queries return the
// same rows on both sides, the rows the generator predicts.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "codepage.h"
#include "sql_bench_data.h"
#include "sql_bench_sides.h"
#include "test_util.h"
#include "tool_run.h"

namespace sqlbench {
namespace {

// Bytes a text takes in the engine's code page (1252), or -1 when it cannot
// be written there.
int storedLength(const std::string& utf8) {
  auto bytes = pdx::detail::fromUtf8(utf8, 1252);
  return bytes.ok() ? static_cast<int>(bytes->size()) : -1;
}

bool plainKeyText(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) return false;
  return true;
}

TEST(SqlBenchData, SupplierItemsAreUniqueInKeyOrderAndFitTheirFields) {
  const CapShape shape = CapShape::forRows(40'000);
  ASSERT_EQ(shape.suppliers, 40);
  const std::vector<std::string> codes = supplierCodes(shape.suppliers);
  EXPECT_EQ(std::set<std::string>(codes.begin(), codes.end()).size(), codes.size());
  EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
  int64_t seq = 1, withMemo = 0, withoutDue = 0;
  for (int64_t s = 0; s < shape.suppliers; ++s) {
    const std::vector<CapRow> rows = supplierItems(shape, s, codes[static_cast<size_t>(s)]);
    ASSERT_EQ(static_cast<int64_t>(rows.size()), kItemsPerSupplier);
    for (size_t i = 0; i < rows.size(); ++i) {
      const CapRow& r = rows[i];
      SCOPED_TRACE(r.supplier + " " + r.invoice + " " + r.ref);
      EXPECT_EQ(r.seq, seq++);
      for (const std::string* k : {&r.supplier, &r.invoice, &r.ref}) {
        EXPECT_TRUE(plainKeyText(*k)) << *k;
        EXPECT_LE(k->size(), 10u);
      }
      EXPECT_TRUE(r.type == "F" || r.type == "P" || r.type == "C") << r.type;
      EXPECT_EQ(r.dueDate.has_value(), r.type == "F");
      EXPECT_LE(storedLength(r.memo), 200);  // kept whole in the record
      EXPECT_GE(storedLength(r.memo), 0);
      EXPECT_LE(r.user.size(), 10u);
      if (i > 0) {
        const CapRow& p = rows[i - 1];
        EXPECT_LT(std::tie(p.invoice, p.ref, p.date, p.type), std::tie(r.invoice, r.ref, r.date, r.type));
      }
      withMemo += !r.memo.empty();
      withoutDue += !r.dueDate;
    }
  }
  // Blank fields of both kinds occur, but are not the rule.
  EXPECT_GT(withMemo, shape.rows() / 5);
  EXPECT_LT(withMemo, shape.rows() / 2);
  EXPECT_GT(withoutDue, shape.rows() / 5);
}

TEST(SqlBenchData, TheGeneratorIsReproducibleAndSmallTablesStayWhole) {
  const CapShape shape = CapShape::forRows(5'000);
  const auto codes = supplierCodes(shape.suppliers);
  Checksum a, b;
  for (const auto& r : supplierItems(shape, 3, codes[3])) r.addTo(a);
  for (const auto& r : supplierItems(shape, 3, codes[3])) r.addTo(b);
  EXPECT_EQ(a, b);

  const CapShape tiny = CapShape::forRows(250);
  EXPECT_EQ(tiny.suppliers, 1);
  EXPECT_EQ(supplierItems(tiny, 0, supplierCodes(1)[0]).size(), 250u);
  EXPECT_EQ(CapShape::forRows(2'999).rows(), 2'000);
}

TEST(SqlBenchData, ClientsFitTheirFieldsAndSomeNamesMatchOnlyWithoutCase) {
  constexpr int64_t kClients = 100'000;
  int64_t matches = 0, matchesIgnoringCase = 0;
  std::string previous;
  for (int64_t i = 0; i < kClients; ++i) {
    const CliRow c = clientAt(i);
    ASSERT_GT(c.code, previous);
    previous = c.code;
    ASSERT_TRUE(plainKeyText(c.code)) << c.code;
    ASSERT_LE(c.code.size(), 10u);
    const std::pair<const std::string*, int> sized[] = {{&c.name, 60},   {&c.address, 40}, {&c.city, 30},
                                                        {&c.province, 2}, {&c.postal, 7},  {&c.phone, 14},
                                                        {&c.contact, 40}, {&c.language, 1}};
    for (const auto& [text, size] : sized) {
      const int n = storedLength(*text);
      ASSERT_GE(n, 0) << *text;
      ASSERT_LE(n, size) << *text;
    }
    matches += nameMatches(c.name);
    std::string lower = c.name;
    for (char& ch : lower) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    matchesIgnoringCase += lower.find("abc") != std::string::npos;
  }
  // A selective pattern, and one that a case-insensitive LIKE would answer
  // differently: the comparison is only fair with case on both sides.
  EXPECT_GT(matches, kClients / 200);
  EXPECT_LT(matches, kClients / 20);
  EXPECT_GT(matchesIgnoringCase, matches + kClients / 200);
  EXPECT_TRUE(nameMatches("Fabcor inc."));
  EXPECT_FALSE(nameMatches("ABC Tremblay"));
  EXPECT_FALSE(nameMatches("Abcarian ltée"));
}

TEST(SqlBenchChecksum, TellsOrderBlanksAndKindsApart) {
  auto sum = [](auto&& fill) {
    Checksum c;
    fill(c);
    return c;
  };
  const Checksum ab = sum([](Checksum& c) {
    c.text("A");
    c.endRow();
    c.text("B");
    c.endRow();
  });
  const Checksum ba = sum([](Checksum& c) {
    c.text("B");
    c.endRow();
    c.text("A");
    c.endRow();
  });
  EXPECT_EQ(ab.rows(), 2);
  EXPECT_NE(ab, ba);
  // A field moved from one row to the next is another result.
  const Checksum joined = sum([](Checksum& c) {
    c.text("A");
    c.text("B");
    c.endRow();
    c.endRow();
  });
  EXPECT_NE(ab.value(), joined.value());
  EXPECT_NE(sum([](Checksum& c) { c.null(); }), sum([](Checksum& c) { c.text(""); }));
  EXPECT_NE(sum([](Checksum& c) { c.integer(0); }), sum([](Checksum& c) { c.real(0.0); }));
  EXPECT_NE(sum([](Checksum& c) { c.real(0.0); }), sum([](Checksum& c) { c.real(-0.0); }));
  // Texts differing past the first eight bytes, or only in length.
  EXPECT_NE(sum([](Checksum& c) { c.text("Boulangerie Tremblay"); }),
            sum([](Checksum& c) { c.text("Boulangerie Tremblaz"); }));
  EXPECT_NE(sum([](Checksum& c) { c.text(std::string("AB\0", 3)); }), sum([](Checksum& c) { c.text("AB"); }));
}

// Both sides built once, small, for the tests below.
class SqlBenchSides : public ::testing::Test {
 protected:
  static constexpr int64_t kRows = 3'000;
  static constexpr int64_t kClients = 5'000;

  static void SetUpTestSuite() {
    dir_ = new pdx::testing::TempDir();
    for (int i = 0; i < 2; ++i) {
      const std::string folder = dir_->file(i == 0 ? "engine" : "sqlite");
      ASSERT_TRUE(std::filesystem::create_directories(folder));
      Error e = i == 0 ? openEngine(folder, false, sides_[i])
                       : openSqlite(folder + "/bench.sqlite", SqliteLayouts{}, {}, sides_[i]);
      ASSERT_EQ(e, "");
      ASSERT_EQ(sides_[i]->buildCap(CapShape::forRows(kRows)), "");
      ASSERT_EQ(sides_[i]->buildCli(kClients), "");
    }
  }
  static void TearDownTestSuite() {
    for (auto& s : sides_) s.reset();
    delete dir_;
  }

  static Checksum expectedSupplier(const CapShape& shape, const std::vector<std::string>& codes, int64_t s) {
    Checksum c;
    for (const auto& r : supplierItems(shape, s, codes[static_cast<size_t>(s)]))
      r.addTo(c);
    return c;
  }

  static pdx::testing::TempDir* dir_;
  static std::unique_ptr<Side> sides_[2];
};

pdx::testing::TempDir* SqlBenchSides::dir_ = nullptr;
std::unique_ptr<Side> SqlBenchSides::sides_[2];

TEST_F(SqlBenchSides, BothSidesHoldWhatTheGeneratorMade) {
  const CapShape shape = CapShape::forRows(kRows);
  const auto codes = supplierCodes(shape.suppliers);
  Checksum cap, cli;
  for (int64_t s = 0; s < shape.suppliers; ++s)
    for (const auto& r : supplierItems(shape, s, codes[static_cast<size_t>(s)]))
      r.addTo(cap);
  for (int64_t i = 0; i < kClients; ++i) clientAt(i).addTo(cli);
  for (auto& side : sides_) {
    Checksum c;
    ASSERT_EQ(side->readAll("cap", c), "");
    EXPECT_EQ(c.rows(), kRows);
    EXPECT_EQ(c, cap);
    Checksum k;
    ASSERT_EQ(side->readAll("cli", k), "");
    EXPECT_EQ(k, cli);
  }
}

TEST_F(SqlBenchSides, SupplierQueriesReturnThatSuppliersItemsInKeyOrder) {
  const CapShape shape = CapShape::forRows(kRows);
  const auto codes = supplierCodes(shape.suppliers);
  // Each supplier alone, then several in a row (the prepared query bound
  // again), then codes no supplier has: a prefix of one and one past them all.
  for (int64_t s = 0; s < shape.suppliers; ++s) {
    const Checksum want = expectedSupplier(shape, codes, s);
    for (auto& side : sides_) {
      Checksum got;
      ASSERT_EQ(side->supplierItems({codes[static_cast<size_t>(s)]}, got), "");
      EXPECT_EQ(got.rows(), kItemsPerSupplier);
      EXPECT_EQ(got, want) << "supplier " << codes[static_cast<size_t>(s)];
    }
  }
  Checksum want;
  for (int64_t s : {2, 0, 2}) {
    for (const auto& r : supplierItems(shape, s, codes[static_cast<size_t>(s)]))
      r.addTo(want);
  }
  const std::string prefix = codes[0].substr(0, codes[0].size() - 1);
  for (auto& side : sides_) {
    Checksum got;
    ASSERT_EQ(side->supplierItems({codes[2], codes[0], prefix, "ZZZZZZZZZZ", codes[2]}, got), "");
    EXPECT_EQ(got, want);
  }
}

TEST_F(SqlBenchSides, TheLikeScanFindsTheSameRowsOnBothSidesEveryRun) {
  Checksum want;
  int64_t matches = 0;
  std::vector<CliRow> rows;
  for (int64_t i = 0; i < kClients; ++i) {
    CliRow c = clientAt(i);
    if (nameMatches(c.name)) rows.push_back(std::move(c));
  }
  for (int run = 0; run < 3; ++run)
    for (const auto& c : rows) {
      c.addTo(want);
      ++matches;
    }
  ASSERT_GT(rows.size(), 0u);
  for (auto& side : sides_) {
    Checksum got;
    ASSERT_EQ(side->clientLike(3, got), "");
    EXPECT_EQ(got.rows(), matches);
    EXPECT_EQ(got, want);
  }
}

// The SQLite side must keep LIKE case-sensitive: its default would find more
// rows, and then its time would not be comparable.
TEST_F(SqlBenchSides, SqliteLikeWouldDifferWithoutCaseSensitivity) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dir_->file("sqlite/bench.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  auto count = [&](const char* sql) {
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), SQLITE_OK);
    int64_t n = -1;
    if (sqlite3_step(s) == SQLITE_ROW) n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return n;
  };
  const int64_t caseless = count("SELECT count(*) FROM cli WHERE Cli_name LIKE '%abc%'");
  Checksum got;
  ASSERT_EQ(sides_[1]->clientLike(1, got), "");
  EXPECT_GT(caseless, got.rows());
  sqlite3_close(db);
}

TEST_F(SqlBenchSides, TheOtherLayoutsAnswerAlike) {
  const std::string path = dir_->file("other.sqlite");
  std::unique_ptr<Side> side;
  ASSERT_EQ(openSqlite(path, SqliteLayouts{SqliteLayout::kRowid, SqliteLayout::kWithoutRowid}, {}, side), "");
  const CapShape shape = CapShape::forRows(2'000);
  ASSERT_EQ(side->buildCap(shape), "");
  ASSERT_EQ(side->buildCli(kClients), "");
  const auto codes = supplierCodes(shape.suppliers);
  Checksum got;
  ASSERT_EQ(side->supplierItems({codes[1]}, got), "");
  EXPECT_EQ(got, expectedSupplier(shape, codes, 1));
  Checksum like, want;
  ASSERT_EQ(sides_[1]->clientLike(1, want), "");
  ASSERT_EQ(side->clientLike(1, like), "");
  EXPECT_EQ(like, want);
  // A table built again from scratch replaces the old one.
  ASSERT_EQ(side->dropTable("cap"), "");
  ASSERT_EQ(side->buildCap(shape), "");
  Checksum again;
  ASSERT_EQ(side->readAll("cap", again), "");
  EXPECT_EQ(again.rows(), shape.rows());
}

TEST_F(SqlBenchSides, TheEngineAnswersAlikeWithItsTablesHeldOpen) {
  std::unique_ptr<Side> held;
  ASSERT_EQ(openEngine(dir_->file("engine"), true, held), "");
  const CapShape shape = CapShape::forRows(kRows);
  const auto codes = supplierCodes(shape.suppliers);
  Checksum got;
  ASSERT_EQ(held->supplierItems({codes[1]}, got), "");
  EXPECT_EQ(got, expectedSupplier(shape, codes, 1));
}

// ---------------------------------------------------------------- the tool

using bench::ToolRun;

ToolRun runTool(const std::string& arguments) { return bench::runTool("sql_bench", arguments); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(SqlBenchTool, ChecksEveryRunAndKeepsTablesOnlyWhileTheyFit) {
  pdx::testing::TempDir dir;
  const std::string small = "--rows 2000 --queries 30 --like-runs 2 --rounds 2 --dir " + dir.path();
  ToolRun first = runTool(small + " --clients 3000");
  ASSERT_EQ(first.status, 0) << first.output;
  for (const char* line : {"[engine] cap built", "[engine] cli built", "[sqlite] cap built", "[sqlite] cli built"})
    EXPECT_TRUE(has(first.output, line)) << line << "\n" << first.output;
  EXPECT_FALSE(has(first.output, "MISMATCH"));
  EXPECT_TRUE(has(first.output, "supplier_items (1,000 rows of 2,000)")) << first.output;

  // The same sizes use the kept tables; another client count rebuilds cli alone.
  ToolRun second = runTool(small + " --clients 2500");
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_TRUE(has(second.output, "[engine] cap kept")) << second.output;
  EXPECT_TRUE(has(second.output, "[sqlite] cli built")) << second.output;

  // A side whose table lost rows behind the bench's back is caught, and the
  // run fails, however fast that side was.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir.file("sql_bench_sqlite/bench.sqlite").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "DELETE FROM cli WHERE Cli_name LIKE 'Fab%'", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_GT(sqlite3_changes(db), 0);
  sqlite3_close(db);
  ToolRun third = runTool(small + " --clients 2500 --only client_like");
  EXPECT_EQ(third.status, 1) << third.output;
  EXPECT_TRUE(has(third.output, "MISMATCH")) << third.output;
}

TEST(SqlBenchTool, RefusesBadArguments) {
  for (const char* args : {"--rows 0", "--rows x", "--only everything", "--side neither", "--queries", "--bogus"}) {
    const ToolRun run = runTool(args);
    EXPECT_EQ(run.status, 2) << args << "\n" << run.output;
  }
}

}  // namespace
}  // namespace sqlbench
