// sql_bench: the engine's local SQL against SQLite on the suite's queries.
//
//   sql_bench [--rows N] [--clients N] [--queries N] [--like-runs N] [--rounds N]
//             [--only NAME[,NAME...]] [--side engine|sqlite|both] [--dir D] [--keep]
//             [--engine-hold-tables] [--sqlite-rowid | --sqlite-without-rowid]
//             [--sqlite-pragma P]...
//
// Two workloads, each run on both sides with the same query text:
//
//   supplier_items  SELECT * FROM cap WHERE Cap_supplier = :s
//                     ORDER BY Cap_invoice, Cap_ref, Cap_date, Cap_type
//                   for --queries random suppliers (1,000 items each), prepared
//                   once, bound and run for each, every field of every row read.
//   client_like     SELECT * FROM cli WHERE Cli_name LIKE '%abc%', a full scan
//                   of --clients clients, run --like-runs times.
//
// The tables are described in sql_bench_data.h. Building them is not timed.
// Every run of a workload is checked against the rows the generator says it
// must return (count and a checksum of every field, in order), so a side that
// returns fewer rows, other rows or rows in another order cannot look fast.
//
// Fairness. SQLite's LIKE ignores the case of ASCII letters unless told
// otherwise; the engine's is case-sensitive, so SQLite runs with
// case_sensitive_like=ON and both must find the same rows. Each SQLite table
// has the engine's primary key and the layout SQLite reads fastest here: cap
// is WITHOUT ROWID, its rows in key order in the key's b-tree as the engine's
// records lie in key order in its blocks, so a supplier's items are one range
// of it (as a rowid table, each row is found through the key's index: about
// 20% slower); cli is a rowid table with the key as an index, whose scan
// reads the table's own b-tree (WITHOUT ROWID scanned about 20% slower).
// --sqlite-rowid and --sqlite-without-rowid give both tables one layout. The engine's tables have 16 KiB blocks (a million records of
// cap do not fit in the 65,535 blocks a table may have at 4 KiB), so its
// cache of 2,048 blocks holds 32 MiB of a table; SQLite gets a 32 MiB page
// cache and reads through pread as the engine does, not through mmap
// (--sqlite-pragma mmap_size=N tries it). Both sides query warm files: the
// build leaves them in the operating system's cache.
//
// SQLite keeps its page cache in the connection from one statement to the
// next. Each run of an engine query opens its table and closes it at the end;
// the engine's Directory keeps what it read of the last few tables closed,
// checked against the files at the next open. --engine-hold-tables keeps a
// cursor open on each table for the whole run, as a window showing the table
// does, to measure what reopening costs.
//
// Rounds. The workloads run --rounds times, engine and SQLite in turn, each
// going first in every other round; a line's time is the median round.
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"
#include "sql_bench_data.h"
#include "sql_bench_sides.h"

using bench::secondsSince;
using bench::withThousands;

namespace {

namespace fs = std::filesystem;
using sqlbench::Checksum;
using sqlbench::Error;
using sqlbench::Side;

constexpr int64_t kDefaultRows = 1'000'000;
constexpr int64_t kDefaultClients = 100'000;
constexpr int64_t kDefaultQueries = 1'000;
constexpr int64_t kDefaultLikeRuns = 20;
constexpr double kTarget = 1.0;
// Changes whenever the generator does, so that kept tables of another
// generator are rebuilt rather than reported as a mismatch.
constexpr const char* kDataVersion = "2";

enum class Workload { kSupplierItems, kClientLike };
constexpr const char* kWorkloadNames[] = {"supplier_items", "client_like"};

struct Options {
  int64_t rows = kDefaultRows;
  int64_t clients = kDefaultClients;
  int64_t queries = kDefaultQueries;
  int64_t likeRuns = kDefaultLikeRuns;
  int rounds = 3;
  std::string dir;
  bool keep = false;
  bool selected[std::size(kWorkloadNames)] = {};
  bool runEngine = true;
  bool runSqlite = true;
  sqlbench::SqliteLayouts layouts;
  bool holdTables = false;
  std::vector<std::string> sqlitePragmas;

  bool wants(Workload w) const { return selected[static_cast<size_t>(w)]; }
};

std::string describe(const Checksum& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s rows, checksum %016" PRIx64, withThousands(c.rows()).c_str(), c.value());
  return buf;
}

// ------------------------------------------------------------ expectations

// What each workload must read, computed from the generator alone.
struct Expected {
  Checksum cap, cli;                  // whole tables in key order
  Checksum supplierItems, clientLike;  // one round of each workload
  int64_t likeMatches = 0;             // rows one LIKE run returns
};

Expected expectations(const Options& opt, const sqlbench::CapShape& shape) {
  Expected x;
  const std::vector<std::string> codes = sqlbench::supplierCodes(shape.suppliers);
  if (opt.wants(Workload::kSupplierItems)) {
    for (int64_t s = 0; s < shape.suppliers; ++s)
      for (const auto& r : sqlbench::supplierItems(shape, s, codes[static_cast<size_t>(s)]))
        r.addTo(x.cap);
    for (uint32_t s : sqlbench::querySuppliers(shape, opt.queries))
      for (const auto& r : sqlbench::supplierItems(shape, s, codes[s]))
        r.addTo(x.supplierItems);
  }
  if (opt.wants(Workload::kClientLike)) {
    std::vector<sqlbench::CliRow> matches;
    for (int64_t i = 0; i < opt.clients; ++i) {
      sqlbench::CliRow c = sqlbench::clientAt(i);
      c.addTo(x.cli);
      if (sqlbench::nameMatches(c.name)) matches.push_back(std::move(c));
    }
    x.likeMatches = static_cast<int64_t>(matches.size());
    for (int64_t run = 0; run < opt.likeRuns; ++run)
      for (const auto& c : matches) c.addTo(x.clientLike);
  }
  return x;
}

// ------------------------------------------------------------ one side's tables

bool freshFolder(const std::string& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (fs::create_directories(dir, ec)) return true;
  std::fprintf(stderr, "sql_bench: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
  return false;
}

std::string readStamp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A side's folder. With --dir, a table kept from an earlier run is used
// again when its stamp says it was built as this run needs it; otherwise it
// is dropped and built anew. Without --dir the folder starts empty.
struct SideSetup {
  const char* who;
  std::string folder;
  bool sqlite;
  std::unique_ptr<Side> side;
};

// What a table is built as: the generator, its size and SQLite's layout.
std::string stampFor(const Options& opt, const sqlbench::CapShape& shape, Workload w, bool sqlite) {
  std::string s = std::string("sql_bench data ") + kDataVersion;
  if (w == Workload::kSupplierItems)
    s += " cap " + std::to_string(shape.suppliers) + "x" + std::to_string(shape.itemsPerSupplier);
  else
    s += " cli " + std::to_string(opt.clients);
  if (sqlite) {
    const auto layout = w == Workload::kSupplierItems ? opt.layouts.cap : opt.layouts.cli;
    s += layout == sqlbench::SqliteLayout::kWithoutRowid ? " without-rowid" : " rowid";
  }
  return s + "\n";
}

// Opens a side, building and checking the tables it needs unless they are there.
Error setUp(SideSetup& s, const Options& opt, const sqlbench::CapShape& shape, const Expected& x) {
  std::error_code ec;
  if (opt.dir.empty() ? !freshFolder(s.folder) : !(fs::is_directory(s.folder) || fs::create_directories(s.folder, ec)))
    return std::string(s.who) + ": cannot create " + s.folder;
  const Error opened = s.sqlite ? sqlbench::openSqlite(s.folder + "/bench.sqlite", opt.layouts, opt.sqlitePragmas, s.side)
                                : sqlbench::openEngine(s.folder, opt.holdTables, s.side);
  if (!opened.empty()) return opened;
  struct Build {
    Workload workload;
    const char* table;
    const Checksum* expected;
  };
  for (const Build& b : {Build{Workload::kSupplierItems, "cap", &x.cap}, Build{Workload::kClientLike, "cli", &x.cli}}) {
    if (!opt.wants(b.workload)) continue;
    const std::string stampPath = s.folder + "/sql_bench." + b.table + ".stamp";
    const std::string stamp = stampFor(opt, shape, b.workload, s.sqlite);
    if (readStamp(stampPath) == stamp) {
      std::fprintf(stderr, "[%s] %s kept from an earlier run in %s\n", s.who, b.table, s.folder.c_str());
      continue;
    }
    fs::remove(stampPath, ec);
    if (Error e = s.side->dropTable(b.table); !e.empty()) return e;
    auto start = std::chrono::steady_clock::now();
    const Error e = b.workload == Workload::kSupplierItems ? s.side->buildCap(shape) : s.side->buildCli(opt.clients);
    if (!e.empty()) return e;
    const double built = secondsSince(start);
    start = std::chrono::steady_clock::now();
    Checksum read;
    if (Error r = s.side->readAll(b.table, read); !r.empty()) return r;
    if (!(read == *b.expected))
      return std::string(s.who) + ": table " + b.table + " reads back " + describe(read) + "; expected " +
             describe(*b.expected);
    std::fprintf(stderr, "[%s] %s built in %.1f s, read back and checked in %.1f s (not measured)\n", s.who, b.table,
                 built, secondsSince(start));
    if (!opt.dir.empty()) std::ofstream(stampPath) << stamp;
  }
  return {};
}

// ------------------------------------------------------------ options

void usage(FILE* f) {
  std::fprintf(f,
               "usage: sql_bench [--rows N] [--clients N] [--queries N] [--like-runs N] [--rounds N]\n"
               "                 [--only NAME[,NAME...]] [--side engine|sqlite|both] [--dir D] [--keep]\n"
               "                 [--engine-hold-tables] [--sqlite-rowid | --sqlite-without-rowid]\n"
               "                 [--sqlite-pragma P]...\n"
               "  --rows N       rows of cap, in suppliers of 1000 items (default 1000000)\n"
               "  --clients N    rows of cli (default 100000)\n"
               "  --queries N    supplier queries per round (default 1000)\n"
               "  --like-runs N  LIKE scans per round (default 20)\n"
               "  --rounds N     rounds, engine and sqlite in turn; a line's time is the median (default 3)\n"
               "  --only NAMES   run only these workloads: supplier_items client_like\n"
               "  --side S       run only the engine or only SQLite (for profiling one of them)\n"
               "  --dir D        keep the tables under D and use them again in later runs with the same\n"
               "                 sizes; default: a new folder under /tmp, removed at the end unless --keep\n"
               "  --engine-hold-tables  keep a cursor open on each table while the engine queries it\n"
               "  --sqlite-rowid  give SQLite rowid tables with the key as an index (default: cli only)\n"
               "  --sqlite-without-rowid  give SQLite WITHOUT ROWID tables (default: cap only)\n"
               "  --sqlite-pragma P  run \"PRAGMA P\" after the standard settings (repeatable)\n");
}

bool parseOptions(int argc, char** argv, Options& opt) {
  bool only = false;
  bench::Arguments args("sql_bench", argc, argv);
  while (args.next()) {
    const std::string_view a = args.current();
    auto value = [&] { return args.value(); };
    auto count = [&](const char*, int64_t high, int64_t& to) { return args.count(1, high, to); };
    if (a == "--rows") {
      if (!count("--rows", sqlbench::kMaxSuppliers * sqlbench::kItemsPerSupplier, opt.rows)) return false;
    } else if (a == "--clients") {
      if (!count("--clients", sqlbench::kMaxClients, opt.clients)) return false;
    } else if (a == "--queries") {
      if (!count("--queries", 10'000'000, opt.queries)) return false;
    } else if (a == "--like-runs") {
      if (!count("--like-runs", 100'000, opt.likeRuns)) return false;
    } else if (a == "--rounds") {
      int64_t n = 0;
      if (!count("--rounds", 100, n)) return false;
      opt.rounds = static_cast<int>(n);
    } else if (a == "--dir") {
      if (!args.folder(opt.dir)) return false;
    } else if (a == "--keep") {
      opt.keep = true;
    } else if (a == "--only") {
      only = true;
      if (!args.workloads(kWorkloadNames, opt.selected)) return false;
    } else if (a == "--side") {
      if (!args.side(opt.runEngine, opt.runSqlite)) return false;
    } else if (a == "--engine-hold-tables") {
      opt.holdTables = true;
    } else if (a == "--sqlite-rowid") {
      opt.layouts = {sqlbench::SqliteLayout::kRowid, sqlbench::SqliteLayout::kRowid};
    } else if (a == "--sqlite-without-rowid") {
      opt.layouts = {sqlbench::SqliteLayout::kWithoutRowid, sqlbench::SqliteLayout::kWithoutRowid};
    } else if (a == "--sqlite-pragma") {
      const char* v = value();
      if (!v || !*v) {
        std::fprintf(stderr, "sql_bench: --sqlite-pragma needs a setting such as mmap_size=268435456\n");
        return false;
      }
      opt.sqlitePragmas.emplace_back(v);
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else {
      std::fprintf(stderr, "sql_bench: unknown argument \"%.*s\"\n", static_cast<int>(a.size()), a.data());
      usage(stderr);
      return false;
    }
  }
  if (!only)
    for (bool& s : opt.selected) s = true;
  return true;
}

// ------------------------------------------------------------ the run

// The times of one workload on one side, a round each; empty after an error.
struct Times {
  std::vector<double> rounds;
  std::string problem;  // "ERROR" or "MISMATCH", with a note

  std::optional<double> median() const {
    if (rounds.empty() || !problem.empty()) return std::nullopt;
    std::vector<double> t = rounds;
    std::sort(t.begin(), t.end());
    const size_t n = t.size();
    return n % 2 == 1 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parseOptions(argc, argv, opt)) return 2;
  const sqlbench::CapShape shape = sqlbench::CapShape::forRows(opt.rows);

  std::string base = opt.dir;
  bool temporary = false;
  if (!bench::workFolder("sql_bench", base, temporary)) return 1;

  std::printf("sql_bench: the engine's local SQL against sqlite %s, the same query texts on both sides\n",
              sqlite3_libversion());
  std::printf("data: %s%s\n", base.c_str(), temporary && !opt.keep ? " (removed at the end)" : "");
  if (opt.wants(Workload::kSupplierItems))
    std::printf("cap: %s suppliers x %s items = %s rows, key of 5 fields; %s queries per round:\n  %s\n",
                withThousands(shape.suppliers).c_str(), withThousands(shape.itemsPerSupplier).c_str(),
                withThousands(shape.rows()).c_str(), withThousands(opt.queries).c_str(), sqlbench::kSupplierQuery);
  if (opt.wants(Workload::kClientLike))
    std::printf("cli: %s clients; %s scans per round:\n  %s\n", withThousands(opt.clients).c_str(),
                withThousands(opt.likeRuns).c_str(), sqlbench::kLikeQuery);
  auto layoutName = [](sqlbench::SqliteLayout l) {
    return l == sqlbench::SqliteLayout::kWithoutRowid ? "WITHOUT ROWID" : "rowid + key index";
  };
  std::printf("sqlite: cap %s, cli %s, PRIMARY KEY as the engine's; case_sensitive_like=ON, 4 KiB pages,\n"
              "  %d MiB cache, pread; engine: Env::standard(), one Directory kept open, 16 KiB blocks%s;\n"
              "  every field of every row read on both sides\n"
              "time of a line: the median of %d rounds, engine and sqlite in turn\n\n",
              layoutName(opt.layouts.cap), layoutName(opt.layouts.cli), sqlbench::kSqliteCacheKiB / 1024,
              opt.holdTables ? ", a cursor held open on each table" : "", opt.rounds);
  std::fflush(stdout);

  const Expected expected = expectations(opt, shape);
  if (opt.wants(Workload::kClientLike))
    std::fprintf(stderr, "each LIKE scan must return %s of the %s clients\n", withThousands(expected.likeMatches).c_str(),
                 withThousands(opt.clients).c_str());

  SideSetup engine{"engine", base + "/sql_bench_engine", false, nullptr};
  SideSetup sqlite{"sqlite", base + "/sql_bench_sqlite", true, nullptr};
  std::vector<std::string> notes;
  bool broken = false;
  for (SideSetup* s : {&engine, &sqlite}) {
    if (s == &engine ? !opt.runEngine : !opt.runSqlite) continue;
    if (Error e = setUp(*s, opt, shape, expected); !e.empty()) {
      notes.push_back(e);  // each error names its side
      s->side.reset();
      broken = true;
    }
  }

  const std::vector<uint32_t> picks = sqlbench::querySuppliers(shape, opt.queries);
  const std::vector<std::string> allCodes = sqlbench::supplierCodes(shape.suppliers);
  std::vector<std::string> codes;
  codes.reserve(picks.size());
  for (uint32_t p : picks) codes.push_back(allCodes[p]);

  // times[workload][side]
  Times times[std::size(kWorkloadNames)][2];
  for (int round = 0; round < opt.rounds; ++round) {
    SideSetup* order[2] = {&engine, &sqlite};
    if (round % 2 == 1) std::swap(order[0], order[1]);
    for (size_t w = 0; w < std::size(kWorkloadNames); ++w) {
      const auto workload = static_cast<Workload>(w);
      if (!opt.wants(workload)) continue;
      for (SideSetup* s : order) {
        Times& t = times[w][s == &sqlite ? 1 : 0];
        if (!s->side || !t.problem.empty()) continue;
        Checksum sum;
        const auto start = std::chrono::steady_clock::now();
        const Error e = workload == Workload::kSupplierItems ? s->side->supplierItems(codes, sum)
                                                             : s->side->clientLike(opt.likeRuns, sum);
        const double seconds = secondsSince(start);
        const Checksum& want = workload == Workload::kSupplierItems ? expected.supplierItems : expected.clientLike;
        if (!e.empty()) {
          t.problem = "ERROR";
          notes.push_back(std::string(s->who) + " " + kWorkloadNames[w] + ": " + e);
        } else if (!(sum == want)) {
          t.problem = "MISMATCH";
          notes.push_back(std::string(s->who) + " " + kWorkloadNames[w] + ": read " + describe(sum) + "; expected " +
                          describe(want));
        } else {
          t.rounds.push_back(seconds);
          std::fprintf(stderr, "[%s] round %d %-16s %8.3f s\n", s->who, round + 1, kWorkloadNames[w], seconds);
        }
        broken = broken || !t.problem.empty();
      }
    }
  }

  std::printf("%-18s %11s %11s %11s %8s %8s  %s\n", "workload", "operations", "engine s", "sqlite s", "ratio", "target",
              "result");
  std::vector<std::string> latencies;
  for (size_t w = 0; w < std::size(kWorkloadNames); ++w) {
    const auto workload = static_cast<Workload>(w);
    if (!opt.wants(workload)) continue;
    const Times& te = times[w][0];
    const Times& ts = times[w][1];
    const std::optional<double> e = te.median(), s = ts.median();
    char es[32] = "-", ss[32] = "-", ratio[32] = "-";
    if (e) std::snprintf(es, sizeof es, "%.3f", *e);
    else if (!te.problem.empty()) std::snprintf(es, sizeof es, "%s", te.problem.c_str());
    if (s) std::snprintf(ss, sizeof ss, "%.3f", *s);
    else if (!ts.problem.empty()) std::snprintf(ss, sizeof ss, "%s", ts.problem.c_str());
    std::string result = !te.problem.empty() ? te.problem : !ts.problem.empty() ? ts.problem : "-";
    if (e && s && *s > 0) {
      const double r = *e / *s;
      std::snprintf(ratio, sizeof ratio, "%.2f", r);
      result = r <= kTarget ? "PASS" : "FAIL";
    }
    const int64_t operations = workload == Workload::kSupplierItems ? opt.queries : opt.likeRuns;
    std::printf("%-18s %11s %11s %11s %8s %8s  %s\n", kWorkloadNames[w], withThousands(operations).c_str(), es, ss,
                ratio, "<= 1.0", result.c_str());
    const double n = static_cast<double>(operations);
    const int64_t rowsEach = workload == Workload::kSupplierItems ? shape.itemsPerSupplier : expected.likeMatches;
    auto millis = [n](const std::optional<double>& t) {
      char ms[32] = "-";
      if (t) std::snprintf(ms, sizeof ms, "%.3f ms", *t * 1e3 / n);
      return std::string(ms);
    };
    char buf[200];
    std::snprintf(buf, sizeof buf, "%s (%s rows of %s): engine %s, sqlite %s", kWorkloadNames[w],
                  withThousands(rowsEach).c_str(),
                  withThousands(workload == Workload::kSupplierItems ? shape.rows() : opt.clients).c_str(),
                  millis(e).c_str(), millis(s).c_str());
    latencies.emplace_back(buf);
  }
  std::printf("\none query:\n");
  for (const auto& l : latencies) std::printf("  %s\n", l.c_str());
  for (const auto& n : notes) std::printf("  %s\n", n.c_str());

  engine.side.reset();
  sqlite.side.reset();
  std::error_code ec;
  if (temporary && !opt.keep) fs::remove_all(base, ec);
  return broken ? 1 : 0;
}
