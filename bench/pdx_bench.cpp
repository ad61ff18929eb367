// pdx_bench: the table engine against SQLite on the same ledger workloads.
//
//   pdx_bench [--rows N] [--dir D] [--only NAME[,NAME...]] [--side engine|sqlite|both]
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
// Each side runs in a child process of its own, one after the other. The
// kernel then reports each side's peak resident memory apart, and a crash of
// one side still lets the other report.
//
// SQLite runs in the fastest configuration that keeps the guarantees the
// engine gives today: journal_mode=OFF and synchronous=OFF (the engine does not
// yet make its writes durable), every statement in autocommit (each post of the
// engine is visible to other processes at once), prepared statements, the
// default NORMAL locking mode (other processes may use the file), a connection
// without mutexes (an engine Directory belongs to one thread), 4 KiB pages like
// the engine's blocks and an 8 MiB page cache, the size of the engine's block
// cache (2048 blocks). The table is a rowid table whose INTEGER PRIMARY KEY is
// the key: its rows lie in the b-tree in key order, as the engine's records lie
// in key order in their blocks. WITHOUT ROWID stores the same thing and is
// slower here; --sqlite-without-rowid measures it. SQLite reads with pread, as
// the engine does: memory-mapping the file would give it a cache as large as
// the file, which the engine does not get (--sqlite-pragma mmap_size=N tries it).
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
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdx/status.h"
#include "pdx/table.h"
#include "pdx/value.h"

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
constexpr int64_t kAmountSpan = 10'000'000;  // amounts lie in [-50,000.00, 50,000.00)
constexpr int kSqliteCacheKiB = 8192;

const char* const kSortedTable = "ledger_s";
const char* const kRandomTable = "ledger_r";

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

enum Stream : uint64_t { kBuildOrder = 1, kLookupRows, kRangeStarts, kUpdateRows };

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

std::vector<Change> updatePlan(int64_t rows) {
  Random random(kUpdateRows);
  std::vector<Change> out(kUpdates);
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

enum class Workload { kBuildSorted, kBuildRandom, kLookup, kRange, kScan, kUpdate };

struct WorkloadInfo {
  Workload id;
  const char* name;
  double target;  // highest acceptable ratio engine / SQLite
};

constexpr WorkloadInfo kWorkloads[] = {
    {Workload::kBuildSorted, "build_sorted", 1.5}, {Workload::kBuildRandom, "build_random", 1.5},
    {Workload::kLookup, "lookup", 1.0},            {Workload::kRange, "range", 1.0},
    {Workload::kScan, "scan", 1.0},                {Workload::kUpdate, "update", 1.5},
};

const WorkloadInfo& info(Workload w) { return kWorkloads[static_cast<size_t>(w)]; }

int64_t operationsOf(Workload w, int64_t rows) {
  switch (w) {
    case Workload::kBuildSorted:
    case Workload::kBuildRandom:
    case Workload::kScan: return rows;
    case Workload::kLookup: return kLookups;
    case Workload::kRange: return kRanges * rangeLength(rows);
    case Workload::kUpdate: return kUpdates;
  }
  return 0;
}

// The tally a correct run of `w` reports. Builds report the table read back in
// key order; update reports the updates made and the amounts of the whole
// table afterwards.
Tally expectedTally(Workload w, int64_t rows) {
  Tally all;
  for (int64_t i = 0; i < rows; ++i) all.cents += centsOf(i);
  all.rows = rows;
  Tally t;
  switch (w) {
    case Workload::kBuildSorted:
    case Workload::kBuildRandom:
    case Workload::kScan: return all;
    case Workload::kLookup:
      for (uint32_t r : lookupRows(rows)) {
        ++t.rows;
        t.cents += centsOf(r);
      }
      return t;
    case Workload::kRange: {
      const int64_t length = rangeLength(rows);
      for (uint32_t s : rangeStarts(rows))
        for (int64_t i = s; i < s + length; ++i) {
          ++t.rows;
          t.cents += centsOf(i);
        }
      return t;
    }
    case Workload::kUpdate: {
      std::unordered_map<uint32_t, int64_t> last;
      for (const Change& c : updatePlan(rows)) last[c.row] = c.cents;
      t.rows = kUpdates;
      t.cents = all.cents;
      for (const auto& [row, cents] : last) t.cents += cents - centsOf(row);
      return t;
    }
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

class EngineStore final : public Store {
 public:
  static Error open(const std::string& dir, std::unique_ptr<Store>& out) {
    auto d = pdx::Directory::open(dir);
    if (!d.ok()) return engineError(d.status(), "open directory");
    out.reset(new EngineStore(std::move(d).value()));
    return {};
  }

  Error create(const std::string& name) override {
    BENCH_ENGINE(dir_->createTable(name, ledgerFields(), 1));
    auto t = dir_->openTable(name);
    if (!t.ok()) return engineError(t.status(), "open table");
    tables_[name] = std::move(t).value();
    return {};
  }

  Error insert(const std::string& name, const std::vector<uint32_t>& order) override {
    pdx::Table& t = *tables_.at(name);
    for (uint32_t i : order) {
      const Row r = rowAt(i);
      BENCH_ENGINE(t.insert());
      BENCH_ENGINE(t.set(0, pdx::Value::integer(r.key)));
      BENCH_ENGINE(t.set(1, pdx::Value::text(r.name)));
      BENCH_ENGINE(t.set(2, pdx::Value::number(amountOf(r.cents))));
      BENCH_ENGINE(t.set(3, pdx::Value::date(pdx::Date{r.days})));
      BENCH_ENGINE(t.set(4, pdx::Value::integer(r.kind)));
      BENCH_ENGINE(t.post());
    }
    return {};
  }

  Error verify(const std::string& name, Tally& out) override {
    pdx::Table& t = *tables_.at(name);
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
    pdx::Table& t = *tables_.at(name);
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
    pdx::Table& t = *tables_.at(name);
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
    pdx::Table& t = *tables_.at(name);
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
    pdx::Table& t = *tables_.at(name);
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

 private:
  explicit EngineStore(std::shared_ptr<pdx::Directory> dir) : dir_(std::move(dir)) {}

  // Reads the key (as an integer) or the amount (in cents) of the current record.
  static Error read(pdx::Table& t, int field, int64_t& out) {
    auto v = t.get(field);
    if (!v.ok()) return engineError(v.status(), "get");
    if (field == kKeyField && v->kind() == pdx::Value::Kind::kInteger) {
      out = v->asInteger();
      return {};
    }
    if (field == kAmountField && v->kind() == pdx::Value::Kind::kNumber) {
      out = centsFrom(v->asNumber());
      return {};
    }
    return "engine: field " + std::to_string(field) + " read back blank or of the wrong kind";
  }

  std::shared_ptr<pdx::Directory> dir_;
  std::map<std::string, std::unique_ptr<pdx::Table>> tables_;
};

// ------------------------------------------------------------ SQLite side

struct Finalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

class SqliteStore final : public Store {
 public:
  static Error open(const std::string& path, bool withoutRowid, const std::vector<std::string>& pragmas,
                    std::unique_ptr<Store>& out) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    std::unique_ptr<SqliteStore> s(new SqliteStore(db, withoutRowid));
    if (rc != SQLITE_OK) return s->failure("open " + path);
    for (const char* pragma : {"PRAGMA page_size=4096", "PRAGMA journal_mode=OFF", "PRAGMA synchronous=OFF"})
      if (Error e = s->exec(pragma); !e.empty()) return e;
    if (Error e = s->exec("PRAGMA cache_size=-" + std::to_string(kSqliteCacheKiB)); !e.empty()) return e;
    for (const std::string& p : pragmas)
      if (Error e = s->exec("PRAGMA " + p); !e.empty()) return e;
    out = std::move(s);
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
    if (Error e = prepare("INSERT INTO " + table + "(id, name, amount, posted, kind) VALUES(?1, ?2, ?3, ?4, ?5)", st);
        !e.empty())
      return e;
    sqlite3_stmt* s = st.get();
    for (uint32_t i : order) {
      const Row r = rowAt(i);
      sqlite3_bind_int(s, 1, r.key);
      sqlite3_bind_text(s, 2, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
      sqlite3_bind_double(s, 3, amountOf(r.cents));
      sqlite3_bind_int(s, 4, r.days);
      sqlite3_bind_int(s, 5, r.kind);
      if (sqlite3_step(s) != SQLITE_DONE) return failure("insert");
      sqlite3_reset(s);
    }
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

 private:
  SqliteStore(sqlite3* db, bool withoutRowid) : db_(db), withoutRowid_(withoutRowid) {}

  Error failure(const std::string& what) const { return "sqlite: " + what + ": " + sqlite3_errmsg(db_); }

  Error exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
    Error e = "sqlite: " + sql + ": " + (message ? message : "failed");
    sqlite3_free(message);
    return e;
  }

  Error prepare(const std::string& sql, Statement& out) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
      return failure("prepare " + sql);
    out.reset(s);
    return {};
  }

  sqlite3* db_;
  bool withoutRowid_;
};

// ------------------------------------------------------------- one side's run

enum class Side { kEngine, kSqlite };
const char* sideName(Side s) { return s == Side::kEngine ? "engine" : "sqlite"; }

struct Options {
  int64_t rows = kDefaultRows;
  std::string dir;
  bool selected[std::size(kWorkloads)] = {};
  bool runEngine = true;
  bool runSqlite = true;
  bool withoutRowid = false;
  std::vector<std::string> sqlitePragmas;  // extra settings to try
  bool keep = false;

  bool wants(Workload w) const { return selected[static_cast<size_t>(w)]; }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string oneLine(std::string s) {
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s;
}

// Runs the selected workloads on one side and writes to `out` one line per
// workload: "R <name> <seconds> <rows> <cents>", or "E <name> <message>" for
// the one that failed (the run stops there). Progress goes to stderr.
int runSide(Side side, const Options& opt, const std::string& place, FILE* out) {
  const char* who = sideName(side);
  auto fail = [&](const char* workload, const Error& e) {
    std::fprintf(out, "E %s %s\n", workload, oneLine(e).c_str());
    std::fprintf(stderr, "[%s] %s failed: %s\n", who, workload, e.c_str());
    return 1;
  };
  auto report = [&](Workload w, double seconds, const Tally& t) {
    std::fprintf(out, "R %s %.9f %" PRId64 " %" PRId64 "\n", info(w).name, seconds, t.rows, t.cents);
    std::fflush(out);
    std::fprintf(stderr, "[%s] %-12s %10.3f s\n", who, info(w).name, seconds);
  };

  std::unique_ptr<Store> store;
  const Error opened = side == Side::kEngine ? EngineStore::open(place, store)
                                             : SqliteStore::open(place, opt.withoutRowid, opt.sqlitePragmas, store);
  if (!opened.empty()) return fail("open", opened);

  // Builds a table and reads it back; returns the build time in `seconds`.
  auto build = [&](const std::string& table, bool shuffled, double& seconds, Tally& t) -> Error {
    if (Error e = store->create(table); !e.empty()) return e;
    const std::vector<uint32_t> order = buildOrder(opt.rows, shuffled);
    const auto start = std::chrono::steady_clock::now();
    if (Error e = store->insert(table, order); !e.empty()) return e;
    seconds = secondsSince(start);
    return store->verify(table, t);
  };

  const bool reads = opt.wants(Workload::kLookup) || opt.wants(Workload::kRange) || opt.wants(Workload::kScan) ||
                     opt.wants(Workload::kUpdate);
  if (opt.wants(Workload::kBuildSorted) || reads) {
    double seconds = 0;
    Tally t;
    if (Error e = build(kSortedTable, false, seconds, t); !e.empty()) return fail("build_sorted", e);
    if (opt.wants(Workload::kBuildSorted)) report(Workload::kBuildSorted, seconds, t);
    else std::fprintf(stderr, "[%s] table for the reads built in %.3f s (not a measured workload)\n", who, seconds);
  }
  if (opt.wants(Workload::kBuildRandom)) {
    double seconds = 0;
    Tally t;
    if (Error e = build(kRandomTable, true, seconds, t); !e.empty()) return fail("build_random", e);
    report(Workload::kBuildRandom, seconds, t);
  }
  if (opt.wants(Workload::kLookup)) {
    const auto rows = lookupRows(opt.rows);
    Tally t;
    const auto start = std::chrono::steady_clock::now();
    if (Error e = store->lookup(kSortedTable, rows, t); !e.empty()) return fail("lookup", e);
    report(Workload::kLookup, secondsSince(start), t);
  }
  if (opt.wants(Workload::kRange)) {
    const auto starts = rangeStarts(opt.rows);
    Tally t;
    const auto start = std::chrono::steady_clock::now();
    if (Error e = store->range(kSortedTable, starts, rangeLength(opt.rows), t); !e.empty()) return fail("range", e);
    report(Workload::kRange, secondsSince(start), t);
  }
  if (opt.wants(Workload::kScan)) {
    Tally t;
    const auto start = std::chrono::steady_clock::now();
    if (Error e = store->scan(kSortedTable, t); !e.empty()) return fail("scan", e);
    report(Workload::kScan, secondsSince(start), t);
  }
  if (opt.wants(Workload::kUpdate)) {
    const auto changes = updatePlan(opt.rows);
    int64_t applied = 0;
    const auto start = std::chrono::steady_clock::now();
    if (Error e = store->update(kSortedTable, changes, applied); !e.empty()) return fail("update", e);
    const double seconds = secondsSince(start);
    Tally after;
    if (Error e = store->verify(kSortedTable, after); !e.empty()) return fail("update", e);
    if (after.rows != opt.rows)
      return fail("update", std::string(who) + ": the table holds " + std::to_string(after.rows) +
                                " rows after the updates instead of " + std::to_string(opt.rows));
    report(Workload::kUpdate, seconds, Tally{applied, after.cents});
  }
  return 0;
}

// ------------------------------------------------------------- the parent

struct Measurement {
  double seconds = 0;
  Tally tally;
};

struct SideRun {
  bool ran = false;
  std::map<std::string, Measurement> results;
  std::string failedAt, error;  // workload and message of a failure
  std::string death;            // how the child ended, when not normally
  long peakKiB = 0;
};

// Runs one side in a child process and collects what it reports.
SideRun launch(Side side, const Options& opt, const std::string& place) {
  SideRun run;
  run.ran = true;
  int fds[2];
  if (::pipe(fds) != 0) {
    run.death = std::string("pipe: ") + std::strerror(errno);
    return run;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    run.death = std::string("fork: ") + std::strerror(errno);
    ::close(fds[0]);
    ::close(fds[1]);
    return run;
  }
  if (pid == 0) {
    ::close(fds[0]);
    FILE* out = ::fdopen(fds[1], "w");
    const int rc = out ? runSide(side, opt, place, out) : 1;
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
  run.peakKiB = usage.ru_maxrss;
  if (WIFSIGNALED(status)) run.death = "killed by signal " + std::to_string(WTERMSIG(status));

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
      run.results[name] = m;
    } else if (line.size() > 2 && line[0] == 'E') {
      const size_t space = line.find(' ', 2);
      run.failedAt = line.substr(2, space == std::string::npos ? std::string::npos : space - 2);
      run.error = space == std::string::npos ? "" : line.substr(space + 1);
    }
  }
  return run;
}

void usage(FILE* f) {
  std::fprintf(f,
               "usage: pdx_bench [--rows N] [--dir D] [--only NAME[,NAME...]] [--side engine|sqlite|both]\n"
               "                 [--sqlite-without-rowid] [--sqlite-pragma P]... [--keep]\n"
               "  --rows N      rows of the table (default 1000000)\n"
               "  --dir D       put the data under D (kept afterwards); default: a new folder under /tmp,\n"
               "                removed at the end unless --keep\n"
               "  --only NAMES  run only these workloads: build_sorted build_random lookup range scan update\n"
               "  --side S      run only the engine or only SQLite (for profiling one of them)\n"
               "  --sqlite-without-rowid  give SQLite a WITHOUT ROWID table instead of an INTEGER PRIMARY KEY one\n"
               "  --sqlite-pragma P  run \"PRAGMA P\" after the standard settings (repeatable), to try others\n"
               "  --keep        keep the temporary data folder\n");
}

bool parseOptions(int argc, char** argv, Options& opt) {
  bool only = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--rows") {
      const char* v = value();
      char* end = nullptr;
      errno = 0;
      const long long n = v ? std::strtoll(v, &end, 10) : 0;
      if (!v || *end != '\0' || errno != 0 || n < 1 || n > kMaxRows) {
        std::fprintf(stderr, "pdx_bench: --rows needs a number from 1 to %" PRId64 "\n", kMaxRows);
        return false;
      }
      opt.rows = n;
    } else if (a == "--dir") {
      const char* v = value();
      if (!v || !*v) {
        std::fprintf(stderr, "pdx_bench: --dir needs a folder\n");
        return false;
      }
      opt.dir = v;
    } else if (a == "--only") {
      const char* v = value();
      if (!v) {
        std::fprintf(stderr, "pdx_bench: --only needs workload names\n");
        return false;
      }
      only = true;
      std::string_view names = v;
      while (!names.empty()) {
        const size_t comma = names.find(',');
        const std::string_view name = names.substr(0, comma);
        names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
        bool known = false;
        for (const auto& w : kWorkloads)
          if (name == w.name) opt.selected[static_cast<size_t>(w.id)] = known = true;
        if (!known) {
          std::fprintf(stderr, "pdx_bench: no workload called \"%.*s\"\n", static_cast<int>(name.size()), name.data());
          return false;
        }
      }
    } else if (a == "--side") {
      const char* v = value();
      const std::string_view s = v ? v : "";
      if (s != "engine" && s != "sqlite" && s != "both") {
        std::fprintf(stderr, "pdx_bench: --side takes engine, sqlite or both\n");
        return false;
      }
      opt.runEngine = s != "sqlite";
      opt.runSqlite = s != "engine";
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
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else {
      std::fprintf(stderr, "pdx_bench: unknown argument \"%s\"\n", argv[i]);
      usage(stderr);
      return false;
    }
  }
  if (!only)
    for (bool& s : opt.selected) s = true;
  return true;
}

std::string withThousands(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
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

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parseOptions(argc, argv, opt)) return 2;

  // Where the data goes: a folder of our own, emptied first.
  std::string base = opt.dir;
  const bool temporary = base.empty();
  std::error_code ec;
  if (temporary) {
    char pattern[] = "/tmp/pdx_bench.XXXXXX";
    if (!::mkdtemp(pattern)) {
      std::fprintf(stderr, "pdx_bench: cannot make a folder under /tmp: %s\n", std::strerror(errno));
      return 1;
    }
    base = pattern;
  }
  const std::string engineDir = base + "/pdx_bench_engine", sqliteDir = base + "/pdx_bench_sqlite";
  for (const auto& d : {engineDir, sqliteDir}) {
    fs::remove_all(d, ec);
    if (!fs::create_directories(d, ec)) {
      std::fprintf(stderr, "pdx_bench: cannot create %s: %s\n", d.c_str(), ec.message().c_str());
      return 1;
    }
  }

  std::printf("pdx_bench: %s rows of a keyed ledger table (long key, alpha 20, money, date, short)\n",
              withThousands(opt.rows).c_str());
  std::printf("data: %s%s\n", base.c_str(), temporary && !opt.keep ? " (removed at the end)" : "");
  std::printf("sqlite %s: %s, journal_mode=OFF, synchronous=OFF, autocommit, 4 KiB pages, %d MiB cache\n",
              sqlite3_libversion(), opt.withoutRowid ? "WITHOUT ROWID table" : "rowid table (INTEGER PRIMARY KEY)",
              kSqliteCacheKiB / 1024);
  std::printf("reads, scan and updates use the table built in key order; a system call costs %.2f us here\n\n",
              systemCallMicros());

  SideRun engine, sqlite;
  if (opt.runEngine) engine = launch(Side::kEngine, opt, engineDir);
  if (opt.runSqlite) sqlite = launch(Side::kSqlite, opt, sqliteDir + "/ledger.sqlite");

  // A line per workload, each side checked against the expected tally.
  bool broken = false;
  std::vector<std::string> notes;
  auto check = [&](const SideRun& run, const char* who, const WorkloadInfo& w, const Tally& want,
                   const Measurement*& m) -> const char* {
    m = nullptr;
    if (!run.ran) return "-";
    auto it = run.results.find(w.name);
    if (it == run.results.end()) {
      broken = true;
      if (run.failedAt == w.name) notes.push_back(std::string(who) + " " + w.name + ": " + run.error);
      return "ERROR";
    }
    m = &it->second;
    if (!(m->tally == want)) {
      broken = true;
      notes.push_back(std::string(who) + " " + w.name + ": read " + withThousands(m->tally.rows) + " rows, " +
                      withThousands(m->tally.cents) + " cents; expected " + withThousands(want.rows) + " rows, " +
                      withThousands(want.cents) + " cents");
      return "MISMATCH";
    }
    return "";
  };

  std::printf("%-13s %11s %11s %11s %8s %8s  %s\n", "workload", "operations", "engine s", "sqlite s", "ratio",
              "target", "result");
  for (const auto& w : kWorkloads) {
    if (!opt.wants(w.id)) continue;
    const Tally want = expectedTally(w.id, opt.rows);
    const Measurement *e = nullptr, *s = nullptr;
    const std::string ce = check(engine, "engine", w, want, e);
    const std::string cs = check(sqlite, "sqlite", w, want, s);
    char es[32] = "-", ss[32] = "-", ratio[32] = "-";
    if (e) std::snprintf(es, sizeof es, "%.3f", e->seconds);
    else if (!ce.empty()) std::snprintf(es, sizeof es, "%s", ce.c_str());
    if (s) std::snprintf(ss, sizeof ss, "%.3f", s->seconds);
    else if (!cs.empty()) std::snprintf(ss, sizeof ss, "%s", cs.c_str());
    std::string result = "-";
    if (!ce.empty() && ce != "-") result = ce;
    else if (!cs.empty() && cs != "-") result = cs;
    else if (e && s) {
      const double r = s->seconds > 0 ? e->seconds / s->seconds : 0;
      std::snprintf(ratio, sizeof ratio, "%.2f", r);
      result = r <= w.target ? "PASS" : "FAIL";
    }
    char target[16];
    std::snprintf(target, sizeof target, "<= %.1f", w.target);
    std::printf("%-13s %11s %11s %11s %8s %8s  %s\n", w.name, withThousands(operationsOf(w.id, opt.rows)).c_str(), es,
                ss, ratio, target, result.c_str());
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

  if (temporary && !opt.keep) fs::remove_all(base, ec);
  return broken ? 1 : 0;
}
