// pdx_bench: the table engine against SQLite on the same ledger workloads.
//
//   pdx_bench [--rows N] [--durable-rows N] [--groups N] [--rounds N] [--dir D]
//             [--only NAME[,NAME...]] [--side engine|sqlite|both] [--no-reference]
//             [--sqlite-without-rowid] [--sqlite-pragma P]... [--keep]
//
// Both sides hold the same keyed table, shaped like a ledger table:
//
//   FIELD   ENGINE TYPE   SQLITE COLUMN
//   Entry   long, key     id INTEGER PRIMARY KEY
//   Name    alpha 20      name TEXT
//   Amount  money         amount REAL
//   Posted  date          posted INTEGER (the engine's day count)
//   Kind    short         kind INTEGER
//
// Row i has the key 2i+1 and fields drawn from a fixed hash of i, so the
// result of every workload (rows touched, sum of the amounts read, in cents)
// is known before it runs. Each side is checked against that expectation, so a
// side that skipped work cannot look fast.
//
// Each side runs in child processes of its own, one after the other. The
// kernel then reports each side's peak resident memory apart, and a crash of
// one side still lets the other report.
//
// Durability. Each post of the engine is a commit made durable with fsyncs
// (Env::standard()), and a write group commits writes to several tables at
// once. Writes are therefore measured against SQLite at the same durability:
// synchronous=FULL with its rollback journal (journal_mode=DELETE), each
// statement in autocommit as each post commits; write groups also against
// SQLite's write-ahead log (journal_mode=WAL, synchronous=FULL), one
// transaction per group. A durable write costs a few fsyncs on either side, so
// the durable builds and updates run on fewer rows (--durable-rows). The time
// of a sync swings with whatever else the machine's disk is doing, so the
// durable workloads run in rounds, engine and SQLite in turn, and each line
// reports the median round (see Phase). Before each durable workload both
// sides' files are flushed, untimed, so that it pays for its own writes only.
// In DELETE mode with synchronous=FULL, SQLite commits by deleting its journal
// without syncing the folder (a power cut right after may undo the commit);
// the engine syncs its cleared journal, so SQLite keeps that edge.
//
// As a reference, builds and updates also run at full size with nothing
// synced: the engine through Env::unsynced() (it still writes its journal),
// SQLite with journal_mode=OFF and synchronous=OFF (no journal at all); those
// lines have no target.
//
// Otherwise SQLite gets every advantage that keeps the engine's guarantees:
// prepared statements, the default NORMAL locking mode (other processes may
// use the file), a connection without mutexes (an engine Directory belongs to
// one thread), 4 KiB pages like the engine's blocks and an 8 MiB page cache,
// the size of the engine's block cache (2048 blocks). The table is a rowid
// table whose INTEGER PRIMARY KEY is the key: its rows lie in the b-tree in key
// order, as the engine's records lie in key order in their blocks. WITHOUT
// ROWID stores the same thing and is slower here; --sqlite-without-rowid
// measures it. SQLite reads with pread, as the engine does: memory-mapping the
// file would give it a cache as large as the file, which the engine does not
// get (--sqlite-pragma mmap_size=N tries it).
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bench_common.h"
#include "pdx/status.h"
#include "pdx/table.h"
#include "pdx/value.h"
#include "test_util.h"

using bench::secondsSince;
using bench::withThousands;

namespace {

namespace fs = std::filesystem;

// ------------------------------------------------------------------ the data

constexpr uint64_t kSeed = 0x7a11'1d00'5eed'0001ull;
constexpr int64_t kDefaultRows = 1'000'000;
constexpr int64_t kMaxRows = 1'000'000'000;  // keys 2i+1 stay inside a long integer
constexpr int64_t kLookups = 100'000;
constexpr int64_t kRanges = 1'000;
constexpr int64_t kRangeRows = 1'000;
constexpr int64_t kUpdates = 100'000;
constexpr int64_t kDefaultDurableRows = 20'000;
constexpr int64_t kDefaultGroups = 1'000;
constexpr int64_t kAmountSpan = 10'000'000;  // amounts lie in [-50,000.00, 50,000.00)
constexpr int kSqliteCacheKiB = 8192;

const char* const kSortedTable = "ledger_s";
const char* const kRandomTable = "ledger_r";
const char* const kDurableSortedTable = "durable_s";
const char* const kDurableRandomTable = "durable_r";

uint64_t mix(uint64_t x) {  // the splitmix64 finalizer
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// A reproducible stream of random numbers. Each use draws from a stream of its
// own, so the engine, SQLite and the expectations see the same numbers.
class Random {
 public:
  explicit Random(uint64_t stream) : state_(mix(kSeed ^ (stream * 0x9e3779b97f4a7c15ull))) {}
  uint64_t next() {
    state_ += 0x9e3779b97f4a7c15ull;
    return mix(state_);
  }
  uint64_t below(uint64_t n) { return next() % n; }

 private:
  uint64_t state_;
};

enum Stream : uint64_t { kBuildOrder = 1, kLookupRows, kRangeStarts, kUpdateRows, kDurableUpdateRows };

int32_t keyOf(int64_t row) { return static_cast<int32_t>(2 * row + 1); }
int64_t centsOf(int64_t row) {
  return static_cast<int64_t>(mix(kSeed + static_cast<uint64_t>(row)) % kAmountSpan) - kAmountSpan / 2;
}
double amountOf(int64_t cents) { return static_cast<double>(cents) / 100.0; }
int64_t centsFrom(double amount) { return std::llround(amount * 100.0); }

int32_t firstDay() {
  static const int32_t day = pdx::Date::fromYmd(2020, 1, 1)->days;
  return day;
}

struct Row {
  int32_t key = 0;
  std::string name;
  int64_t cents = 0;
  int32_t days = 0;
  int16_t kind = 0;
};

// Names of both languages, some with letters outside ASCII, so the engine's
// code-page conversion is part of what is measured.
Row rowAt(int64_t row) {
  static const char* const kPrefixes[] = {"Client ", "Fournisseur ", "Dépôt ", "Employé ", "Bank "};
  const uint64_t h = mix(~kSeed ^ static_cast<uint64_t>(row));
  Row r;
  r.key = keyOf(row);
  r.name = kPrefixes[h % 5] + std::to_string(h / 5 % 1'000'000);
  r.cents = centsOf(row);
  r.days = firstDay() + static_cast<int32_t>(h / 5'000'000 % 1826);
  r.kind = static_cast<int16_t>((h >> 48) % 1000);
  return r;
}

std::vector<uint32_t> buildOrder(int64_t rows, bool shuffled) {
  std::vector<uint32_t> order(static_cast<size_t>(rows));
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
  if (shuffled) {
    Random random(kBuildOrder);
    for (size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[random.below(i)]);
  }
  return order;
}

std::vector<uint32_t> lookupRows(int64_t rows) {
  Random random(kLookupRows);
  std::vector<uint32_t> out(kLookups);
  for (auto& r : out) r = static_cast<uint32_t>(random.below(static_cast<uint64_t>(rows)));
  return out;
}

int64_t rangeLength(int64_t rows) { return std::min(kRangeRows, rows); }

std::vector<uint32_t> rangeStarts(int64_t rows) {
  Random random(kRangeStarts);
  std::vector<uint32_t> out(kRanges);
  const auto choices = static_cast<uint64_t>(rows - rangeLength(rows) + 1);
  for (auto& r : out) r = static_cast<uint32_t>(random.below(choices));
  return out;
}

struct Change {
  uint32_t row = 0;
  int64_t cents = 0;  // the new amount
};

std::vector<Change> updatePlan(int64_t rows, int64_t count, Stream stream) {
  Random random(stream);
  std::vector<Change> out(static_cast<size_t>(count));
  for (auto& c : out) {
    c.row = static_cast<uint32_t>(random.below(static_cast<uint64_t>(rows)));
    c.cents = static_cast<int64_t>(random.below(kAmountSpan)) - kAmountSpan / 2;
  }
  return out;
}

// What a workload did: rows it read or wrote, and the sum of the amounts it
// read (in cents, summed in fixed point so both sides add up exactly).
struct Tally {
  int64_t rows = 0;
  int64_t cents = 0;
  bool operator==(const Tally&) const = default;
};

// ------------------------------------------------------------- the workloads

enum class Workload { kBuildSorted, kBuildRandom, kLookup, kRange, kScan, kUpdate, kGroupCommit };
constexpr const char* kWorkloadNames[] = {"build_sorted", "build_random", "lookup", "range",
                                          "scan",         "update",       "group_commit"};

// How durable the writes are:
//   kUnsynced    engine Env::unsynced();  SQLite journal_mode=OFF, synchronous=OFF
//   kDurable     engine Env::standard();  SQLite journal_mode=DELETE, synchronous=FULL
//   kDurableWal  engine Env::standard();  SQLite journal_mode=WAL, synchronous=FULL
enum class Mode { kUnsynced, kDurable, kDurableWal };

struct Options {
  int64_t rows = kDefaultRows;                // the table of the reads and of the unsynced lines
  int64_t durableRows = kDefaultDurableRows;  // the durable builds; also the durable updates (at most kUpdates)
  int64_t groups = kDefaultGroups;
  int rounds = 5;  // of the durable lines
  std::string dir;
  bool selected[std::size(kWorkloadNames)] = {};
  bool reference = true;  // the unsynced lines
  bool runEngine = true;
  bool runSqlite = true;
  bool withoutRowid = false;
  std::vector<std::string> sqlitePragmas;  // extra settings to try
  bool keep = false;
  bool share = false;  // the data seen through a network share view (share-mounts.sh)

  bool wants(Workload w) const { return selected[static_cast<size_t>(w)]; }
  int64_t durableUpdates() const { return std::min(kUpdates, durableRows); }
  // One round's share of the durable work.
  Options round() const {
    Options r = *this;
    r.durableRows = std::max<int64_t>(1, durableRows / rounds);
    r.groups = std::max<int64_t>(1, groups / rounds);
    return r;
  }
};

// One line of the report: a workload at one durability. The engine has no
// write-ahead log; its group commits are compared with both of SQLite's.
struct Line {
  Workload workload;
  Mode mode;
  const char* label;
  const char* engineKey;  // the measurement each side reports
  const char* sqliteKey;
  double target;  // highest acceptable ratio engine / SQLite; 0 for a reference line
};

constexpr Line kLines[] = {
    {Workload::kBuildSorted, Mode::kDurable, "build_sorted", "build_sorted", "build_sorted", 1.5},
    {Workload::kBuildSorted, Mode::kUnsynced, "  unsynced", "build_sorted.unsynced", "build_sorted.unsynced", 0},
    {Workload::kBuildRandom, Mode::kDurable, "build_random", "build_random", "build_random", 1.5},
    {Workload::kBuildRandom, Mode::kUnsynced, "  unsynced", "build_random.unsynced", "build_random.unsynced", 0},
    {Workload::kLookup, Mode::kUnsynced, "lookup", "lookup", "lookup", 1.0},
    {Workload::kRange, Mode::kUnsynced, "range", "range", "range", 1.0},
    {Workload::kScan, Mode::kUnsynced, "scan", "scan", "scan", 1.0},
    {Workload::kUpdate, Mode::kDurable, "update", "update", "update", 1.5},
    {Workload::kUpdate, Mode::kUnsynced, "  unsynced", "update.unsynced", "update.unsynced", 0},
    {Workload::kGroupCommit, Mode::kDurable, "group_commit", "group_commit", "group_commit", 1.0},
    {Workload::kGroupCommit, Mode::kDurableWal, "  vs sqlite WAL", "group_commit", "group_commit.wal", 0.6},
};

// On a share SQLite's write-ahead log cannot serve several machines: its
// index lives in memory shared between the processes. Its rollback journal
// is the mode to compare with there.
bool wanted(const Options& opt, const Line& l) {
  return opt.wants(l.workload) && (l.target > 0 || opt.reference) && !(opt.share && l.mode == Mode::kDurableWal);
}
bool durable(const Line& l) { return l.mode != Mode::kUnsynced; }

// Rows of the table a build or update line works on.
int64_t tableRows(const Line& l, const Options& opt) {
  return l.mode == Mode::kUnsynced ? opt.rows : opt.durableRows;
}

int64_t operationsOf(const Line& l, const Options& opt) {
  switch (l.workload) {
    case Workload::kBuildSorted:
    case Workload::kBuildRandom: return tableRows(l, opt);
    case Workload::kScan: return opt.rows;
    case Workload::kLookup: return kLookups;
    case Workload::kRange: return kRanges * rangeLength(opt.rows);
    case Workload::kUpdate: return l.mode == Mode::kUnsynced ? kUpdates : opt.durableUpdates();
    case Workload::kGroupCommit: return opt.groups;
  }
  return 0;
}

std::vector<Change> updatePlanOf(const Line& l, const Options& opt) {
  return l.mode == Mode::kUnsynced ? updatePlan(opt.rows, kUpdates, kUpdateRows)
                                   : updatePlan(opt.durableRows, opt.durableUpdates(), kDurableUpdateRows);
}

// A write group g writes rows 2g and 2g+1 of the ledger to table a, row g to
// table c, and adds the amounts of rows 2g and g to the running total in b.
int64_t groupTotalCents(int64_t groups) {
  int64_t cents = 0;
  for (int64_t g = 0; g < groups; ++g) cents += centsOf(2 * g) + centsOf(g);
  return cents;
}

// The tally a correct run of a line reports. Builds report the table read
// back in key order; update reports the updates made and the amounts of the
// whole table afterwards; group_commit the rows of a and c and b's total.
Tally expectedTally(const Line& l, const Options& opt) {
  auto whole = [](int64_t rows) {
    Tally all;
    for (int64_t i = 0; i < rows; ++i) all.cents += centsOf(i);
    all.rows = rows;
    return all;
  };
  Tally t;
  switch (l.workload) {
    case Workload::kBuildSorted:
    case Workload::kBuildRandom: return whole(tableRows(l, opt));
    case Workload::kScan: return whole(opt.rows);
    case Workload::kLookup:
      for (uint32_t r : lookupRows(opt.rows)) {
        ++t.rows;
        t.cents += centsOf(r);
      }
      return t;
    case Workload::kRange: {
      const int64_t length = rangeLength(opt.rows);
      for (uint32_t s : rangeStarts(opt.rows))
        for (int64_t i = s; i < s + length; ++i) {
          ++t.rows;
          t.cents += centsOf(i);
        }
      return t;
    }
    case Workload::kUpdate: {
      const std::vector<Change> plan = updatePlanOf(l, opt);
      std::unordered_map<uint32_t, int64_t> last;
      for (const Change& c : plan) last[c.row] = c.cents;
      t = whole(tableRows(l, opt));
      t.rows = static_cast<int64_t>(plan.size());
      for (const auto& [row, cents] : last) t.cents += cents - centsOf(row);
      return t;
    }
    case Workload::kGroupCommit: return Tally{3 * opt.groups, groupTotalCents(opt.groups)};
  }
  return t;
}

// ------------------------------------------------------------------- a side

// An error message, empty on success.
using Error = std::string;

// One side of the comparison: a database holding ledger tables. Read
// workloads stand on one open handle kept for the whole run, as an
// application keeps its tables open.
class Store {
 public:
  virtual ~Store() = default;
  // How durable the writes that follow are (see Mode).
  virtual Error setMode(Mode mode) = 0;
  virtual Error create(const std::string& table) = 0;
  // Inserts the rows in the given order, one autocommitted insert each.
  virtual Error insert(const std::string& table, const std::vector<uint32_t>& order) = 0;
  // Reads the whole table in key order: keys must strictly increase.
  virtual Error verify(const std::string& table, Tally& out) = 0;
  // Exact-key reads; a missing key is not an error, it just is not counted.
  virtual Error lookup(const std::string& table, const std::vector<uint32_t>& rows, Tally& out) = 0;
  // Reads the rows whose keys lie between those of rows s and s+length-1.
  virtual Error range(const std::string& table, const std::vector<uint32_t>& starts, int64_t length, Tally& out) = 0;
  virtual Error scan(const std::string& table, Tally& out) = 0;
  // Sets the amount of each row found by key; counts the updates made.
  virtual Error update(const std::string& table, const std::vector<Change>& changes, int64_t& applied) = 0;

  // The write-group workload's tables: <p>a and <p>c shaped like the ledger,
  // <p>b holding one running total (key 1, zero).
  virtual Error createGroupTables(const std::string& prefix) = 0;
  // `groups` times, as one commit: insert into a, add that row's amount to
  // b's total, insert into c, add its amount to the total, insert into a.
  virtual Error groupCommit(const std::string& prefix, int64_t groups) = 0;
  // The rows of a and c, and b's total in cents.
  virtual Error verifyGroups(const std::string& prefix, Tally& out) = 0;
};

// ------------------------------------------------------------ engine side

std::vector<pdx::FieldDef> ledgerFields() {
  return {{"Entry", pdx::FieldType::kLong, 0},
          {"Name", pdx::FieldType::kAlpha, 20},
          {"Amount", pdx::FieldType::kMoney, 0},
          {"Posted", pdx::FieldType::kDate, 0},
          {"Kind", pdx::FieldType::kShort, 0}};
}

constexpr int kKeyField = 0;
constexpr int kAmountField = 2;

Error engineError(const pdx::Status& st, const char* what) { return std::string("engine: ") + what + ": " + st.toString(); }

#define BENCH_ENGINE(expr)                                      \
  do {                                                          \
    const ::pdx::Status bench_st_ = (expr);                     \
    if (!bench_st_.ok()) return engineError(bench_st_, #expr);  \
  } while (0)

std::vector<pdx::FieldDef> totalFields() {
  return {{"Id", pdx::FieldType::kLong, 0}, {"Total", pdx::FieldType::kMoney, 0}};
}

// The engine, through two Directory objects on one folder: one whose commits
// fsync (Env::standard()) and one whose commits do not (Env::unsynced()).
// Several handles on one table, in one process or several, are what the
// engine is built for, so the two stay consistent with each other.
class EngineStore final : public Store {
 public:
  static Error open(const std::string& dir, std::unique_ptr<Store>& out) {
    auto durable = pdx::Directory::open(dir, pdx::Env::standard());
    if (!durable.ok()) return engineError(durable.status(), "open directory");
    auto unsynced = pdx::Directory::open(dir, pdx::Env::unsynced());
    if (!unsynced.ok()) return engineError(unsynced.status(), "open directory");
    out.reset(new EngineStore(std::move(durable).value(), std::move(unsynced).value()));
    return {};
  }

  Error setMode(Mode mode) override {
    current_ = mode == Mode::kUnsynced ? &unsynced_ : &durable_;
    return {};
  }

  Error create(const std::string& name) override {
    BENCH_ENGINE(current_->dir->createTable(name, ledgerFields(), 1));
    return {};
  }

  Error insert(const std::string& name, const std::vector<uint32_t>& order) override {
    pdx::Table* t = nullptr;
    if (Error e = table(name, t); !e.empty()) return e;
    for (uint32_t i : order)
      if (Error e = insertRow(*t, rowAt(i)); !e.empty()) return e;
    return {};
  }

  Error verify(const std::string& name, Tally& out) override {
    pdx::Table* tp = nullptr;
    if (Error e = table(name, tp); !e.empty()) return e;
    pdx::Table& t = *tp;
    int64_t previous = INT64_MIN;
    pdx::Status st = t.first();
    while (st.ok()) {
      int64_t key = 0, cents = 0;
      if (Error e = read(t, kKeyField, key); !e.empty()) return e;
      if (Error e = read(t, kAmountField, cents); !e.empty()) return e;
      if (key <= previous)
        return "engine: key " + std::to_string(key) + " follows " + std::to_string(previous) + " in table order";
      previous = key;
      ++out.rows;
      out.cents += cents;
      st = t.next();
    }
    if (!st.is(pdx::code::kEof)) return engineError(st, "walk the table");
    return {};
  }

  Error lookup(const std::string& name, const std::vector<uint32_t>& rows, Tally& out) override {
    pdx::Table* tp = nullptr;
    if (Error e = table(name, tp); !e.empty()) return e;
    pdx::Table& t = *tp;
    std::vector<pdx::Value> key(1);
    for (uint32_t r : rows) {
      key[0] = pdx::Value::integer(keyOf(r));
      const pdx::Status st = t.findKey(key);
      if (st.is(pdx::code::kRecordNotFound)) continue;
      if (!st.ok()) return engineError(st, "findKey");
      int64_t cents = 0;
      if (Error e = read(t, kAmountField, cents); !e.empty()) return e;
      ++out.rows;
      out.cents += cents;
    }
    return {};
  }

  Error range(const std::string& name, const std::vector<uint32_t>& starts, int64_t length, Tally& out) override {
    pdx::Table* tp = nullptr;
    if (Error e = table(name, tp); !e.empty()) return e;
    pdx::Table& t = *tp;
    std::vector<pdx::Value> low(1), high(1);
    for (uint32_t s : starts) {
      low[0] = pdx::Value::integer(keyOf(s));
      high[0] = pdx::Value::integer(keyOf(s + length - 1));
      BENCH_ENGINE(t.setRange(low, high));
      pdx::Status st = t.hasRecord() ? pdx::Status() : pdx::Status(pdx::code::kEof, "empty range");
      while (st.ok()) {
        int64_t cents = 0;
        if (Error e = read(t, kAmountField, cents); !e.empty()) return e;
        ++out.rows;
        out.cents += cents;
        st = t.next();
      }
      if (!st.is(pdx::code::kEof)) return engineError(st, "next in range");
    }
    BENCH_ENGINE(t.cancelRange());
    return {};
  }

  Error scan(const std::string& name, Tally& out) override {
    pdx::Table* tp = nullptr;
    if (Error e = table(name, tp); !e.empty()) return e;
    pdx::Table& t = *tp;
    pdx::Status st = t.first();
    while (st.ok()) {
      int64_t cents = 0;
      if (Error e = read(t, kAmountField, cents); !e.empty()) return e;
      ++out.rows;
      out.cents += cents;
      st = t.next();
    }
    if (!st.is(pdx::code::kEof)) return engineError(st, "scan");
    return {};
  }

  Error update(const std::string& name, const std::vector<Change>& changes, int64_t& applied) override {
    pdx::Table* tp = nullptr;
    if (Error e = table(name, tp); !e.empty()) return e;
    pdx::Table& t = *tp;
    std::vector<pdx::Value> key(1);
    for (const Change& c : changes) {
      key[0] = pdx::Value::integer(keyOf(c.row));
      BENCH_ENGINE(t.findKey(key));
      BENCH_ENGINE(t.edit());
      BENCH_ENGINE(t.set(kAmountField, pdx::Value::number(amountOf(c.cents))));
      BENCH_ENGINE(t.post());
      ++applied;
    }
    return {};
  }

  Error createGroupTables(const std::string& prefix) override {
    BENCH_ENGINE(current_->dir->createTable(prefix + "a", ledgerFields(), 1));
    BENCH_ENGINE(current_->dir->createTable(prefix + "b", totalFields(), 1));
    BENCH_ENGINE(current_->dir->createTable(prefix + "c", ledgerFields(), 1));
    pdx::Table* b = nullptr;
    if (Error e = table(prefix + "b", b); !e.empty()) return e;
    BENCH_ENGINE(b->insert());
    BENCH_ENGINE(b->set(0, pdx::Value::integer(1)));
    BENCH_ENGINE(b->set(1, pdx::Value::number(0)));
    BENCH_ENGINE(b->post());
    return {};
  }

  Error groupCommit(const std::string& prefix, int64_t groups) override {
    pdx::Table *a = nullptr, *b = nullptr, *c = nullptr;
    if (Error e = table(prefix + "a", a); !e.empty()) return e;
    if (Error e = table(prefix + "b", b); !e.empty()) return e;
    if (Error e = table(prefix + "c", c); !e.empty()) return e;
    for (int64_t g = 0; g < groups; ++g) {
      auto group = current_->dir->beginGroup();
      if (!group.ok()) return engineError(group.status(), "beginGroup");
      if (Error e = insertRow(*a, rowAt(2 * g)); !e.empty()) return e;
      if (Error e = addToTotal(*b, centsOf(2 * g)); !e.empty()) return e;
      if (Error e = insertRow(*c, rowAt(g)); !e.empty()) return e;
      if (Error e = addToTotal(*b, centsOf(g)); !e.empty()) return e;
      if (Error e = insertRow(*a, rowAt(2 * g + 1)); !e.empty()) return e;
      BENCH_ENGINE((*group)->commit());
    }
    return {};
  }

  Error verifyGroups(const std::string& prefix, Tally& out) override {
    for (const char* name : {"a", "c"}) {
      pdx::Table* t = nullptr;
      if (Error e = table(prefix + name, t); !e.empty()) return e;
      auto n = t->recordCount();
      if (!n.ok()) return engineError(n.status(), "recordCount");
      out.rows += *n;
    }
    pdx::Table* b = nullptr;
    if (Error e = table(prefix + "b", b); !e.empty()) return e;
    BENCH_ENGINE(b->findKey({pdx::Value::integer(1)}));
    int64_t cents = 0;
    if (Error e = read(*b, 1, cents); !e.empty()) return e;
    out.cents = cents;
    return {};
  }

 private:
  struct Handle {
    std::shared_ptr<pdx::Directory> dir;
    std::map<std::string, std::unique_ptr<pdx::Table>> tables;
  };

  EngineStore(std::shared_ptr<pdx::Directory> durable, std::shared_ptr<pdx::Directory> unsynced) {
    durable_.dir = std::move(durable);
    unsynced_.dir = std::move(unsynced);
  }

  // The table through the current handle, opened at its first use.
  Error table(const std::string& name, pdx::Table*& out) {
    auto it = current_->tables.find(name);
    if (it == current_->tables.end()) {
      auto t = current_->dir->openTable(name);
      if (!t.ok()) return engineError(t.status(), "open table");
      it = current_->tables.emplace(name, std::move(t).value()).first;
    }
    out = it->second.get();
    return {};
  }

  static Error insertRow(pdx::Table& t, const Row& r) {
    BENCH_ENGINE(t.insert());
    BENCH_ENGINE(t.set(0, pdx::Value::integer(r.key)));
    BENCH_ENGINE(t.set(1, pdx::Value::text(r.name)));
    BENCH_ENGINE(t.set(2, pdx::Value::number(amountOf(r.cents))));
    BENCH_ENGINE(t.set(3, pdx::Value::date(pdx::Date{r.days})));
    BENCH_ENGINE(t.set(4, pdx::Value::integer(r.kind)));
    BENCH_ENGINE(t.post());
    return {};
  }

  // The running total: read under the record's lock, then written back.
  static Error addToTotal(pdx::Table& t, int64_t cents) {
    BENCH_ENGINE(t.findKey({pdx::Value::integer(1)}));
    BENCH_ENGINE(t.edit());
    auto total = t.get(1);
    if (!total.ok()) return engineError(total.status(), "get total");
    if (total->kind() != pdx::Value::Kind::kNumber) return "engine: the running total reads back blank";
    BENCH_ENGINE(t.set(1, pdx::Value::number(total->asNumber() + amountOf(cents))));
    BENCH_ENGINE(t.post());
    return {};
  }

  // Reads the key (as an integer) or a money field (in cents) of the current record.
  static Error read(pdx::Table& t, int field, int64_t& out) {
    auto v = t.get(field);
    if (!v.ok()) return engineError(v.status(), "get");
    if (field == kKeyField && v->kind() == pdx::Value::Kind::kInteger) {
      out = v->asInteger();
      return {};
    }
    if (field != kKeyField && v->kind() == pdx::Value::Kind::kNumber) {
      out = centsFrom(v->asNumber());
      return {};
    }
    return "engine: field " + std::to_string(field) + " read back blank or of the wrong kind";
  }

  Handle durable_, unsynced_;
  Handle* current_ = &unsynced_;
};

// ------------------------------------------------------------ SQLite side

using bench::Statement;

class SqliteStore final : public Store {
 public:
  static Error open(const std::string& path, bool withoutRowid, const std::vector<std::string>& pragmas,
                    std::unique_ptr<Store>& out) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    std::unique_ptr<SqliteStore> s(new SqliteStore(db, withoutRowid, pragmas));
    if (rc != SQLITE_OK) return s->failure("open " + path);
    if (Error e = s->exec("PRAGMA page_size=4096"); !e.empty()) return e;
    if (Error e = s->exec("PRAGMA cache_size=-" + std::to_string(kSqliteCacheKiB)); !e.empty()) return e;
    if (Error e = s->setMode(Mode::kUnsynced); !e.empty()) return e;
    out = std::move(s);
    return {};
  }

  // The extra pragmas of the command line run after each mode's settings.
  Error setMode(Mode mode) override {
    const char* journal = mode == Mode::kUnsynced ? "off" : mode == Mode::kDurable ? "delete" : "wal";
    Statement st;
    if (Error e = prepare(std::string("PRAGMA journal_mode=") + journal, st); !e.empty()) return e;
    // The pragma answers with the mode now in force, which is not the one
    // asked for when the change is refused.
    const int rc = sqlite3_step(st.get());
    const unsigned char* now = rc == SQLITE_ROW ? sqlite3_column_text(st.get(), 0) : nullptr;
    if (!now || std::string_view(reinterpret_cast<const char*>(now)) != journal)
      return failure(std::string("journal_mode=") + journal + " refused");
    st.reset();
    if (Error e = exec(mode == Mode::kUnsynced ? "PRAGMA synchronous=OFF" : "PRAGMA synchronous=FULL"); !e.empty())
      return e;
    for (const std::string& p : pragmas_)
      if (Error e = exec("PRAGMA " + p); !e.empty()) return e;
    return {};
  }

  ~SqliteStore() override { sqlite3_close_v2(db_); }

  Error create(const std::string& table) override {
    return exec("CREATE TABLE " + table +
                "(id INTEGER PRIMARY KEY, name TEXT NOT NULL, amount REAL NOT NULL, posted INTEGER NOT NULL,"
                " kind INTEGER NOT NULL)" +
                (withoutRowid_ ? " WITHOUT ROWID" : ""));
  }

  Error insert(const std::string& table, const std::vector<uint32_t>& order) override {
    Statement st;
    if (Error e = prepare(insertSql(table), st); !e.empty()) return e;
    for (uint32_t i : order)
      if (Error e = insertRow(st.get(), rowAt(i)); !e.empty()) return e;
    return {};
  }

  Error verify(const std::string& table, Tally& out) override {
    Statement st;
    if (Error e = prepare("SELECT id, amount FROM " + table + " ORDER BY id", st); !e.empty()) return e;
    int64_t previous = INT64_MIN;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      const int64_t key = sqlite3_column_int64(st.get(), 0);
      if (key <= previous)
        return "sqlite: key " + std::to_string(key) + " follows " + std::to_string(previous) + " in key order";
      previous = key;
      ++out.rows;
      out.cents += centsFrom(sqlite3_column_double(st.get(), 1));
    }
    return rc == SQLITE_DONE ? Error() : failure("verify");
  }

  Error lookup(const std::string& table, const std::vector<uint32_t>& rows, Tally& out) override {
    Statement st;
    if (Error e = prepare("SELECT amount FROM " + table + " WHERE id = ?1", st); !e.empty()) return e;
    sqlite3_stmt* s = st.get();
    for (uint32_t r : rows) {
      sqlite3_bind_int(s, 1, keyOf(r));
      const int rc = sqlite3_step(s);
      if (rc == SQLITE_ROW) {
        ++out.rows;
        out.cents += centsFrom(sqlite3_column_double(s, 0));
      } else if (rc != SQLITE_DONE) {
        return failure("lookup");
      }
      sqlite3_reset(s);
    }
    return {};
  }

  Error range(const std::string& table, const std::vector<uint32_t>& starts, int64_t length, Tally& out) override {
    Statement st;
    if (Error e = prepare("SELECT amount FROM " + table + " WHERE id BETWEEN ?1 AND ?2 ORDER BY id", st); !e.empty())
      return e;
    sqlite3_stmt* s = st.get();
    for (uint32_t start : starts) {
      sqlite3_bind_int(s, 1, keyOf(start));
      sqlite3_bind_int(s, 2, keyOf(start + length - 1));
      int rc;
      while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        ++out.rows;
        out.cents += centsFrom(sqlite3_column_double(s, 0));
      }
      if (rc != SQLITE_DONE) return failure("range");
      sqlite3_reset(s);
    }
    return {};
  }

  Error scan(const std::string& table, Tally& out) override {
    Statement st;
    if (Error e = prepare("SELECT amount FROM " + table + " ORDER BY id", st); !e.empty()) return e;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      ++out.rows;
      out.cents += centsFrom(sqlite3_column_double(st.get(), 0));
    }
    return rc == SQLITE_DONE ? Error() : failure("scan");
  }

  Error update(const std::string& table, const std::vector<Change>& changes, int64_t& applied) override {
    Statement st;
    if (Error e = prepare("UPDATE " + table + " SET amount = ?1 WHERE id = ?2", st); !e.empty()) return e;
    sqlite3_stmt* s = st.get();
    for (const Change& c : changes) {
      sqlite3_bind_double(s, 1, amountOf(c.cents));
      sqlite3_bind_int(s, 2, keyOf(c.row));
      if (sqlite3_step(s) != SQLITE_DONE) return failure("update");
      sqlite3_reset(s);
      if (sqlite3_changes(db_) != 1) return "sqlite: update found no row with key " + std::to_string(keyOf(c.row));
      ++applied;
    }
    return {};
  }

  Error createGroupTables(const std::string& prefix) override {
    if (Error e = create(prefix + "a"); !e.empty()) return e;
    if (Error e = create(prefix + "c"); !e.empty()) return e;
    if (Error e = exec("CREATE TABLE " + prefix + "b(id INTEGER PRIMARY KEY, total REAL NOT NULL)"); !e.empty()) return e;
    return exec("INSERT INTO " + prefix + "b(id, total) VALUES(1, 0)");
  }

  Error groupCommit(const std::string& prefix, int64_t groups) override {
    Statement begin, commit, intoA, intoC, add;
    if (Error e = prepare("BEGIN", begin); !e.empty()) return e;
    if (Error e = prepare("COMMIT", commit); !e.empty()) return e;
    if (Error e = prepare(insertSql(prefix + "a"), intoA); !e.empty()) return e;
    if (Error e = prepare(insertSql(prefix + "c"), intoC); !e.empty()) return e;
    if (Error e = prepare("UPDATE " + prefix + "b SET total = total + ?1 WHERE id = 1", add); !e.empty()) return e;
    auto step = [&](sqlite3_stmt* s, const char* what) -> Error {
      const int rc = sqlite3_step(s);
      sqlite3_reset(s);
      return rc == SQLITE_DONE ? Error() : failure(what);
    };
    auto addToTotal = [&](int64_t cents) -> Error {
      sqlite3_bind_double(add.get(), 1, amountOf(cents));
      if (Error e = step(add.get(), "update total"); !e.empty()) return e;
      return sqlite3_changes(db_) == 1 ? Error() : Error("sqlite: the running total is missing");
    };
    for (int64_t g = 0; g < groups; ++g) {
      if (Error e = step(begin.get(), "begin"); !e.empty()) return e;
      if (Error e = insertRow(intoA.get(), rowAt(2 * g)); !e.empty()) return e;
      if (Error e = addToTotal(centsOf(2 * g)); !e.empty()) return e;
      if (Error e = insertRow(intoC.get(), rowAt(g)); !e.empty()) return e;
      if (Error e = addToTotal(centsOf(g)); !e.empty()) return e;
      if (Error e = insertRow(intoA.get(), rowAt(2 * g + 1)); !e.empty()) return e;
      if (Error e = step(commit.get(), "commit"); !e.empty()) return e;
    }
    return {};
  }

  Error verifyGroups(const std::string& prefix, Tally& out) override {
    Statement st;
    if (Error e = prepare("SELECT (SELECT count(*) FROM " + prefix + "a) + (SELECT count(*) FROM " + prefix +
                              "c), (SELECT total FROM " + prefix + "b WHERE id = 1)",
                          st);
        !e.empty())
      return e;
    if (sqlite3_step(st.get()) != SQLITE_ROW) return failure("verify groups");
    out.rows = sqlite3_column_int64(st.get(), 0);
    out.cents = centsFrom(sqlite3_column_double(st.get(), 1));
    return {};
  }

 private:
  SqliteStore(sqlite3* db, bool withoutRowid, std::vector<std::string> pragmas)
      : db_(db), withoutRowid_(withoutRowid), pragmas_(std::move(pragmas)) {}

  static std::string insertSql(const std::string& table) {
    return "INSERT INTO " + table + "(id, name, amount, posted, kind) VALUES(?1, ?2, ?3, ?4, ?5)";
  }

  Error insertRow(sqlite3_stmt* s, const Row& r) {
    sqlite3_bind_int(s, 1, r.key);
    sqlite3_bind_text(s, 2, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
    sqlite3_bind_double(s, 3, amountOf(r.cents));
    sqlite3_bind_int(s, 4, r.days);
    sqlite3_bind_int(s, 5, r.kind);
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE ? Error() : failure("insert");
  }

  Error failure(const std::string& what) const { return bench::sqliteFailure(db_, what); }
  Error exec(const std::string& sql) { return bench::sqliteExec(db_, sql); }
  Error prepare(const std::string& sql, Statement& out) { return bench::sqlitePrepare(db_, sql, out); }

  sqlite3* db_;
  bool withoutRowid_;
  std::vector<std::string> pragmas_;
};

// ------------------------------------------------------------- one side's run

enum class Side { kEngine, kSqlite };
const char* sideName(Side s) { return s == Side::kEngine ? "engine" : "sqlite"; }

std::string oneLine(std::string s) {
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s;
}

// Makes everything written so far in `dir` durable, so that the durable
// workload that follows pays for its own writes only.
void syncFolder(const std::string& dir) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    if (!e.is_regular_file(ec)) continue;
    const int fd = ::open(e.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ::fsync(fd);
    ::close(fd);
  }
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// The full-size phase runs the reads and the unsynced reference lines, once
// per side. The durable lines are timed on a disk whose speed the machine's
// other work changes from one minute to the next, so they run in rounds, each
// side in turn, each round a share of the work on tables of its own.
enum class Phase { kFullSize, kDurable };

// Runs one phase of the selected workloads on one side and writes to `out`
// one line per measurement: "R <key> <seconds> <rows> <cents>", or
// "E <key> <message>" for the one that failed (the run stops there). Progress
// goes to stderr.
class SideRunner {
 public:
  SideRunner(Side side, const Options& opt, std::string folder, FILE* out)
      : side_(side), who_(sideName(side)), opt_(opt), folder_(std::move(folder)), out_(out) {}

  int run(Phase phase, const std::string& place) {
    const Error opened = side_ == Side::kEngine
                             ? EngineStore::open(place, store_)
                             : SqliteStore::open(place, opt_.withoutRowid, opt_.sqlitePragmas, store_);
    if (!opened.empty()) return fail("open", opened);
    return phase == Phase::kFullSize ? fullSize() : durable();
  }

 private:
  int fail(const std::string& key, const Error& e) {
    std::fprintf(out_, "E %s %s\n", key.c_str(), oneLine(e).c_str());
    std::fprintf(stderr, "[%s] %s failed: %s\n", who_, key.c_str(), e.c_str());
    return 1;
  }
  void report(const std::string& key, double seconds, const Tally& t) {
    std::fprintf(out_, "R %s %.9f %" PRId64 " %" PRId64 "\n", key.c_str(), seconds, t.rows, t.cents);
    std::fflush(out_);
    std::fprintf(stderr, "[%s] %-22s %10.3f s\n", who_, key.c_str(), seconds);
  }
  void note(const char* what, double seconds) {
    std::fprintf(stderr, "[%s] %s in %.3f s (not a measured workload)\n", who_, what, seconds);
  }

  // Flushes what earlier work left unsynced when the writes to come are durable.
  Error enter(Mode mode) {
    if (mode != Mode::kUnsynced) syncFolder(folder_);
    return store_->setMode(mode);
  }

  // Builds a table of `rows` rows and reads it back.
  Error build(const std::string& table, Mode mode, int64_t rows, bool shuffled, double& seconds, Tally& t) {
    if (Error e = enter(mode); !e.empty()) return e;
    if (Error e = store_->create(table); !e.empty()) return e;
    const std::vector<uint32_t> order = buildOrder(rows, shuffled);
    const auto start = std::chrono::steady_clock::now();
    if (Error e = store_->insert(table, order); !e.empty()) return e;
    seconds = secondsSince(start);
    return store_->verify(table, t);
  }

  // Runs an update plan, reads the table back and reports.
  Error update(const std::string& key, const std::string& table, Mode mode, int64_t rows,
               const std::vector<Change>& changes) {
    if (Error e = enter(mode); !e.empty()) return e;
    int64_t applied = 0;
    const auto start = std::chrono::steady_clock::now();
    if (Error e = store_->update(table, changes, applied); !e.empty()) return e;
    const double seconds = secondsSince(start);
    Tally after;
    if (Error e = store_->verify(table, after); !e.empty()) return e;
    if (after.rows != rows)
      return std::string(who_) + ": the table holds " + std::to_string(after.rows) + " rows after the updates instead of " +
             std::to_string(rows);
    report(key, seconds, Tally{applied, after.cents});
    return {};
  }

  // The reads and the unsynced reference lines, on the full-size tables.
  int fullSize() {
    const Options& opt = opt_;
    const bool reads = opt.wants(Workload::kLookup) || opt.wants(Workload::kRange) || opt.wants(Workload::kScan);
    const bool refBuildSorted = opt.reference && opt.wants(Workload::kBuildSorted);
    const bool refUpdate = opt.reference && opt.wants(Workload::kUpdate);
    if (refBuildSorted || reads || refUpdate) {
      double seconds = 0;
      Tally t;
      if (Error e = build(kSortedTable, Mode::kUnsynced, opt.rows, false, seconds, t); !e.empty())
        return fail("build_sorted.unsynced", e);
      if (refBuildSorted) report("build_sorted.unsynced", seconds, t);
      else note("full-size table for the reads built", seconds);
    }
    if (opt.reference && opt.wants(Workload::kBuildRandom)) {
      double seconds = 0;
      Tally t;
      if (Error e = build(kRandomTable, Mode::kUnsynced, opt.rows, true, seconds, t); !e.empty())
        return fail("build_random.unsynced", e);
      report("build_random.unsynced", seconds, t);
    }
    if (opt.wants(Workload::kLookup)) {
      const auto rows = lookupRows(opt.rows);
      Tally t;
      const auto start = std::chrono::steady_clock::now();
      if (Error e = store_->lookup(kSortedTable, rows, t); !e.empty()) return fail("lookup", e);
      report("lookup", secondsSince(start), t);
    }
    if (opt.wants(Workload::kRange)) {
      const auto starts = rangeStarts(opt.rows);
      Tally t;
      const auto start = std::chrono::steady_clock::now();
      if (Error e = store_->range(kSortedTable, starts, rangeLength(opt.rows), t); !e.empty()) return fail("range", e);
      report("range", secondsSince(start), t);
    }
    if (opt.wants(Workload::kScan)) {
      Tally t;
      const auto start = std::chrono::steady_clock::now();
      if (Error e = store_->scan(kSortedTable, t); !e.empty()) return fail("scan", e);
      report("scan", secondsSince(start), t);
    }
    if (refUpdate) {
      const auto plan = updatePlan(opt.rows, kUpdates, kUpdateRows);
      if (Error e = update("update.unsynced", kSortedTable, Mode::kUnsynced, opt.rows, plan); !e.empty())
        return fail("update.unsynced", e);
    }
    return 0;
  }

  // One round of the durable lines (opt_ holds the round's share of the work).
  int durable() {
    const Options& opt = opt_;
    if (opt.wants(Workload::kBuildSorted) || opt.wants(Workload::kUpdate)) {
      // For the updates alone the table is set up unsynced, and flushed before them.
      const bool measured = opt.wants(Workload::kBuildSorted);
      double seconds = 0;
      Tally t;
      if (Error e = build(kDurableSortedTable, measured ? Mode::kDurable : Mode::kUnsynced, opt.durableRows, false,
                          seconds, t);
          !e.empty())
        return fail("build_sorted", e);
      if (measured) report("build_sorted", seconds, t);
      else note("table for the durable updates built", seconds);
    }
    if (opt.wants(Workload::kBuildRandom)) {
      double seconds = 0;
      Tally t;
      if (Error e = build(kDurableRandomTable, Mode::kDurable, opt.durableRows, true, seconds, t); !e.empty())
        return fail("build_random", e);
      report("build_random", seconds, t);
    }
    if (opt.wants(Workload::kUpdate)) {
      const auto plan = updatePlan(opt.durableRows, opt.durableUpdates(), kDurableUpdateRows);
      if (Error e = update("update", kDurableSortedTable, Mode::kDurable, opt.durableRows, plan); !e.empty())
        return fail("update", e);
    }
    if (opt.wants(Workload::kGroupCommit)) {
      struct Run {
        Mode mode;
        const char* key;
        const char* prefix;
      };
      std::vector<Run> runs{{Mode::kDurable, "group_commit", "group_"}};
      if (side_ == Side::kSqlite && !opt.share) runs.push_back({Mode::kDurableWal, "group_commit.wal", "group_wal_"});
      for (const Run& r : runs) {
        Error e = store_->setMode(r.mode);
        if (e.empty()) e = store_->createGroupTables(r.prefix);
        if (e.empty()) e = enter(r.mode);
        if (!e.empty()) return fail(r.key, e);
        const auto start = std::chrono::steady_clock::now();
        if (e = store_->groupCommit(r.prefix, opt.groups); !e.empty()) return fail(r.key, e);
        const double seconds = secondsSince(start);
        Tally t;
        if (e = store_->verifyGroups(r.prefix, t); !e.empty()) return fail(r.key, e);
        report(r.key, seconds, t);
      }
    }
    return 0;
  }

  Side side_;
  const char* who_;
  const Options& opt_;
  std::string folder_;
  FILE* out_;
  std::unique_ptr<Store> store_;
};

// ------------------------------------------------------------- the parent

struct Measurement {
  double seconds = 0;
  Tally tally;
};

// What one side reported over all its runs: a measurement per round.
struct SideRun {
  bool ran = false;
  std::map<std::string, std::vector<Measurement>> results;
  std::string failedAt, error;  // measurement and message of the first failure
  std::string death;            // how a child ended, when not normally
  long peakKiB = 0;             // the largest of its children's
};

// Runs one phase of one side in a child process and adds what it reports to `run`.
void launch(Side side, Phase phase, const Options& opt, const std::string& place, const std::string& folder,
            SideRun& run) {
  run.ran = true;
  int fds[2];
  if (::pipe(fds) != 0) {
    run.death = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    run.death = std::string("fork: ") + std::strerror(errno);
    ::close(fds[0]);
    ::close(fds[1]);
    return;
  }
  if (pid == 0) {
    ::close(fds[0]);
    FILE* out = ::fdopen(fds[1], "w");
    const int rc = out ? SideRunner(side, opt, folder, out).run(phase, place) : 1;
    if (out) std::fclose(out);
    std::fflush(stderr);
    ::_exit(rc);
  }
  ::close(fds[1]);
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n > 0) text.append(buf, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.peakKiB = std::max(run.peakKiB, usage.ru_maxrss);
  if (WIFSIGNALED(status) && run.death.empty()) run.death = "killed by signal " + std::to_string(WTERMSIG(status));

  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    char name[64];
    Measurement m;
    if (std::sscanf(line.c_str(), "R %63s %lf %" SCNd64 " %" SCNd64, name, &m.seconds, &m.tally.rows, &m.tally.cents) ==
        4) {
      run.results[name].push_back(m);
    } else if (line.size() > 2 && line[0] == 'E' && run.failedAt.empty()) {
      const size_t space = line.find(' ', 2);
      run.failedAt = line.substr(2, space == std::string::npos ? std::string::npos : space - 2);
      run.error = space == std::string::npos ? "" : line.substr(space + 1);
    }
  }
}

// Empties a side's folder for a run of its own.
bool freshFolder(const std::string& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (fs::create_directories(dir, ec)) return true;
  std::fprintf(stderr, "pdx_bench: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
  return false;
}

void usage(FILE* f) {
  std::fprintf(f,
               "usage: pdx_bench [--rows N] [--durable-rows N] [--groups N] [--dir D] [--only NAME[,NAME...]]\n"
               "                 [--side engine|sqlite|both] [--no-reference] [--sqlite-without-rowid]\n"
               "                 [--sqlite-pragma P]... [--keep] [--share]\n"
               "  --rows N      rows of the table of the reads and of the unsynced lines (default 1000000)\n"
               "  --durable-rows N  rows of the durable builds, and number of durable updates (at most 100000)\n"
               "                (default 20000)\n"
               "  --groups N    write groups of group_commit (default 1000)\n"
               "  --rounds N    split the durable work into N rounds, engine and sqlite in turn (default 5)\n"
               "  --no-reference  skip the unsynced reference lines of the builds and updates\n"
               "  --dir D       put the data under D (kept afterwards); default: a new folder under /tmp,\n"
               "                removed at the end unless --keep\n"
               "  --only NAMES  run only these workloads: build_sorted build_random lookup range scan update\n"
               "                group_commit\n"
               "  --side S      run only the engine or only SQLite (for profiling one of them)\n"
               "  --sqlite-without-rowid  give SQLite a WITHOUT ROWID table instead of an INTEGER PRIMARY KEY one\n"
               "  --sqlite-pragma P  run \"PRAGMA P\" after the standard settings (repeatable), to try others\n"
               "  --keep        keep the temporary data folder\n"
               "  --share       work through a view of the data folder as a network share (share-mounts.sh):\n"
               "                the engine coordinates as between machines, SQLite uses its rollback journal\n");
}

bool parseOptions(int argc, char** argv, Options& opt) {
  bool only = false;
  bench::Arguments args("pdx_bench", argc, argv);
  while (args.next()) {
    const std::string_view a = args.current();
    auto value = [&] { return args.value(); };
    auto count = [&](const char*, int64_t high, int64_t& to) { return args.count(1, high, to); };
    if (a == "--rows") {
      if (!count("--rows", kMaxRows, opt.rows)) return false;
    } else if (a == "--durable-rows") {
      if (!count("--durable-rows", kMaxRows, opt.durableRows)) return false;
    } else if (a == "--groups") {
      if (!count("--groups", kMaxRows / 2, opt.groups)) return false;
    } else if (a == "--rounds") {
      int64_t n = 0;
      if (!count("--rounds", 100, n)) return false;
      opt.rounds = static_cast<int>(n);
    } else if (a == "--no-reference") {
      opt.reference = false;
    } else if (a == "--dir") {
      if (!args.folder(opt.dir)) return false;
    } else if (a == "--only") {
      only = true;
      if (!args.workloads(kWorkloadNames, opt.selected)) return false;
    } else if (a == "--side") {
      if (!args.side(opt.runEngine, opt.runSqlite)) return false;
    } else if (a == "--sqlite-without-rowid") {
      opt.withoutRowid = true;
    } else if (a == "--sqlite-pragma") {
      const char* v = value();
      if (!v || !*v) {
        std::fprintf(stderr, "pdx_bench: --sqlite-pragma needs a setting such as mmap_size=268435456\n");
        return false;
      }
      opt.sqlitePragmas.emplace_back(v);
    } else if (a == "--keep") {
      opt.keep = true;
    } else if (a == "--share") {
      opt.share = true;
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else {
      std::fprintf(stderr, "pdx_bench: unknown argument \"%.*s\"\n", static_cast<int>(a.size()), a.data());
      usage(stderr);
      return false;
    }
  }
  if (!only)
    for (bool& s : opt.selected) s = true;
  return true;
}

std::string mib(long kib) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MiB", static_cast<double>(kib) / 1024.0);
  return buf;
}

// What one trip into the kernel costs here. Both sides make a few per lookup
// and more per write (locks, reads, writes), so where system calls are dear,
// as in some virtual machines, this weighs on every ratio.
double systemCallMicros() {
  constexpr int kCalls = 100'000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCalls; ++i) ::syscall(SYS_getppid);
  return secondsSince(start) * 1e6 / kCalls;
}

// What one durable 4 KiB write costs here (pwrite + fdatasync), in
// milliseconds: a durable commit makes a few, on either side.
double syncMillis(const std::string& dir) {
  constexpr int kSyncs = 50;
  const std::string path = dir + "/sync-probe";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  const std::string block(4096, 'x');
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kSyncs; ++i)
    if (::pwrite(fd, block.data(), block.size(), (i % 8) * 4096) < 0 || ::fdatasync(fd) != 0) break;
  const double ms = secondsSince(start) * 1e3 / kSyncs;
  ::close(fd);
  ::unlink(path.c_str());
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parseOptions(argc, argv, opt)) return 2;

  // Where the data goes: a folder of our own, emptied first.
  std::string base = opt.dir;
  bool temporary = false;
  if (!bench::workFolder("pdx_bench", base, temporary)) return 1;
  std::error_code ec;
  std::optional<pdx::testing::ShareViews> views;
  std::string place = base;
  if (opt.share) {
    views.emplace(base, 1);
    if (!views->ok()) {
      std::fprintf(stderr, "pdx_bench: no network share view of %s: %s\n", base.c_str(), views->reason().c_str());
      return 1;
    }
    place = views->view(0);
  }
  const std::string engineDir = place + "/pdx_bench_engine", sqliteDir = place + "/pdx_bench_sqlite";
  for (const auto& d : {engineDir, sqliteDir})
    if (!freshFolder(d)) return 1;

  const Options perRound = opt.round();
  std::printf("pdx_bench: a keyed ledger table (long key, alpha 20, money, date, short), engine against sqlite %s\n",
              sqlite3_libversion());
  std::printf("data: %s%s\n", base.c_str(), temporary && !opt.keep ? " (removed at the end)" : "");
  if (opt.share)
    std::printf("seen as a network share through %s (share-mounts.sh): the engine coordinates as between\n"
                "  machines; sqlite's write-ahead log cannot serve several machines, so only its rollback journal\n",
                place.c_str());
  std::printf("durable lines: every commit synced. engine Env::standard(); sqlite synchronous=FULL, journal_mode=DELETE\n"
              "  (group_commit also WAL); in %d rounds, engine and sqlite in turn, each round building tables of\n"
              "  %s rows, making %s updates and %s write groups of 5 writes to 3 tables; time = median round x %d\n",
              opt.rounds, withThousands(perRound.durableRows).c_str(), withThousands(perRound.durableUpdates()).c_str(),
              withThousands(perRound.groups).c_str(), opt.rounds);
  if (opt.reference)
    std::printf("unsynced lines (reference, no target): engine Env::unsynced() (journal written, nothing synced);\n"
                "  sqlite synchronous=OFF, journal_mode=OFF (no journal); %s rows, %s updates\n",
                withThousands(opt.rows).c_str(), withThousands(kUpdates).c_str());
  std::printf("sqlite: %s, autocommit (a transaction per write group), 4 KiB pages, %d MiB cache\n",
              opt.withoutRowid ? "WITHOUT ROWID table" : "rowid table (INTEGER PRIMARY KEY)", kSqliteCacheKiB / 1024);
  std::printf("reads and scan use the %s-row table built in key order; here a system call costs %.2f us and a\n"
              "  durable 4 KiB write (pwrite + fdatasync) %.2f ms\n\n",
              withThousands(opt.rows).c_str(), systemCallMicros(), syncMillis(place));

  SideRun engine, sqlite;
  bool fullSize = false, durableWork = false;
  for (const Line& l : kLines)
    if (wanted(opt, l)) (durable(l) ? durableWork : fullSize) = true;
  auto runPhase = [&](Side side, Phase phase, const Options& o) {
    if (side == Side::kEngine && opt.runEngine) launch(side, phase, o, engineDir, engineDir, engine);
    if (side == Side::kSqlite && opt.runSqlite) launch(side, phase, o, sqliteDir + "/ledger.sqlite", sqliteDir, sqlite);
  };
  if (fullSize) {
    runPhase(Side::kEngine, Phase::kFullSize, opt);
    runPhase(Side::kSqlite, Phase::kFullSize, opt);
  }
  for (int r = 0; durableWork && r < opt.rounds; ++r) {
    // Each side goes first in every other round, on fresh folders.
    if (!freshFolder(engineDir) || !freshFolder(sqliteDir)) return 1;
    const Side first = r % 2 == 0 ? Side::kEngine : Side::kSqlite;
    runPhase(first, Phase::kDurable, perRound);
    runPhase(first == Side::kEngine ? Side::kSqlite : Side::kEngine, Phase::kDurable, perRound);
  }

  // A line per measurement, each side checked against the expected tally.
  bool broken = false;
  std::vector<std::string> notes;
  auto addNote = [&](const std::string& n) {
    if (std::find(notes.begin(), notes.end(), n) == notes.end()) notes.push_back(n);
  };
  // Checks every run of a measurement against the tally it must report and
  // gives its time for the whole work: the median round times the rounds.
  auto check = [&](const SideRun& run, const char* who, const std::string& key, const Tally& want, size_t runs,
                   std::optional<double>& seconds) -> const char* {
    seconds.reset();
    if (!run.ran) return "-";
    auto it = run.results.find(key);
    if (it == run.results.end() || it->second.size() != runs) {
      broken = true;
      if (run.failedAt == key) addNote(std::string(who) + " " + key + ": " + run.error);
      return "ERROR";
    }
    std::vector<double> times;
    for (const Measurement& m : it->second) {
      if (!(m.tally == want)) {
        broken = true;
        addNote(std::string(who) + " " + key + ": read " + withThousands(m.tally.rows) + " rows, " +
                withThousands(m.tally.cents) + " cents; expected " + withThousands(want.rows) + " rows, " +
                withThousands(want.cents) + " cents");
        return "MISMATCH";
      }
      times.push_back(m.seconds);
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    seconds = median * static_cast<double>(n);
    return "";
  };

  std::printf("%-18s %11s %11s %11s %8s %8s  %s\n", "workload", "operations", "engine s", "sqlite s", "ratio",
              "target", "result");
  std::vector<std::string> latencies;  // of the write groups
  for (const Line& l : kLines) {
    if (!wanted(opt, l)) continue;
    const Options& o = durable(l) ? perRound : opt;
    const size_t runs = durable(l) ? static_cast<size_t>(opt.rounds) : 1;
    const Tally want = expectedTally(l, o);
    std::optional<double> e, s;
    const std::string ce = check(engine, "engine", l.engineKey, want, runs, e);
    const std::string cs = check(sqlite, "sqlite", l.sqliteKey, want, runs, s);
    char es[32] = "-", ss[32] = "-", ratio[32] = "-";
    if (e) std::snprintf(es, sizeof es, "%.3f", *e);
    else if (!ce.empty()) std::snprintf(es, sizeof es, "%s", ce.c_str());
    if (s) std::snprintf(ss, sizeof ss, "%.3f", *s);
    else if (!cs.empty()) std::snprintf(ss, sizeof ss, "%s", cs.c_str());
    std::string result = "-";
    if (!ce.empty() && ce != "-") result = ce;
    else if (!cs.empty() && cs != "-") result = cs;
    else if (e && s) {
      const double r = *s > 0 ? *e / *s : 0;
      std::snprintf(ratio, sizeof ratio, "%.2f", r);
      result = l.target == 0 ? "ref" : r <= l.target ? "PASS" : "FAIL";
    }
    char target[16] = "-";
    if (l.target > 0) std::snprintf(target, sizeof target, "<= %.1f", l.target);
    const int64_t operations = operationsOf(l, o) * static_cast<int64_t>(runs);
    std::printf("%-18s %11s %11s %11s %8s %8s  %s\n", l.label, withThousands(operations).c_str(), es, ss, ratio,
                target, result.c_str());
    if (l.workload == Workload::kGroupCommit && e && s) {
      char buf[160];
      const double groups = static_cast<double>(operations);
      std::snprintf(buf, sizeof buf, "engine %.3f ms, sqlite %s %.3f ms: ratio %.2f", *e * 1e3 / groups,
                    l.mode == Mode::kDurableWal ? "WAL" : "DELETE", *s * 1e3 / groups, *s > 0 ? *e / *s : 0);
      latencies.emplace_back(buf);
    }
  }
  if (!latencies.empty()) {
    std::printf("\nlatency of one durable write group (5 writes to 3 tables):\n");
    for (const auto& l : latencies) std::printf("  %s\n", l.c_str());
  }
  for (const SideRun* run : {&engine, &sqlite}) {
    if (!run->death.empty()) {
      broken = true;
      notes.push_back(std::string(run == &engine ? "engine" : "sqlite") + " side " + run->death);
    }
    if (!run->failedAt.empty() && run->failedAt == "open") {
      broken = true;
      notes.push_back(std::string(run == &engine ? "engine" : "sqlite") + ": " + run->error);
    }
  }
  for (const auto& n : notes) std::printf("  %s\n", n.c_str());

  struct rusage self {};
  ::getrusage(RUSAGE_SELF, &self);
  std::printf("\npeak memory (ru_maxrss): engine %s, sqlite %s, this process %s\n",
              engine.ran ? mib(engine.peakKiB).c_str() : "-", sqlite.ran ? mib(sqlite.peakKiB).c_str() : "-",
              mib(self.ru_maxrss).c_str());

  views.reset();
  if (temporary && !opt.keep) fs::remove_all(base, ec);
  return broken ? 1 : 0;
}
