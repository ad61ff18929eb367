#include "sql_bench_sides.h"
#include "bench_common.h"

#include <sqlite3.h>

#include <map>
#include <string_view>
#include <utility>

#include "pdx/status.h"
#include "pdx/table.h"
#include "pdx/value.h"
#include "sql/query.h"

namespace sqlbench {
namespace {

// ------------------------------------------------------------------ engine

Error engineError(const pdx::Status& st, const char* what) { return std::string("engine: ") + what + ": " + st.toString(); }

#define SQLBENCH_ENGINE(expr)                                     \
  do {                                                            \
    const ::pdx::Status sqlbench_st_ = (expr);                    \
    if (!sqlbench_st_.ok()) return engineError(sqlbench_st_, #expr); \
  } while (0)

std::vector<pdx::FieldDef> capFields() {
  using T = pdx::FieldType;
  return {{"Cap_supplier", T::kAlpha, 10}, {"Cap_invoice", T::kAlpha, 10}, {"Cap_ref", T::kAlpha, 10},
          {"Cap_date", T::kDate, 0},       {"Cap_type", T::kAlpha, 1},     {"Cap_seq", T::kAutoInc, 0},
          {"Cap_du_date", T::kDate, 0},    {"Cap_amount", T::kMoney, 0},   {"Cap_memo", T::kMemo, 200},
          {"Cap_user", T::kAlpha, 10},     {"Cap_stamp", T::kTimestamp, 0}};
}
constexpr int kCapKeyFields = 5;

std::vector<pdx::FieldDef> cliFields() {
  using T = pdx::FieldType;
  return {{"Cli_code", T::kAlpha, 10},        {"Cli_name", T::kAlpha, 60},    {"Cli_address", T::kAlpha, 40},
          {"Cli_city", T::kAlpha, 30},        {"Cli_province", T::kAlpha, 2}, {"Cli_postal", T::kAlpha, 7},
          {"Cli_phone", T::kAlpha, 14},       {"Cli_contact", T::kAlpha, 40}, {"Cli_language", T::kAlpha, 1},
          {"Cli_credit_limit", T::kMoney, 0}, {"Cli_balance", T::kMoney, 0},  {"Cli_since", T::kDate, 0}};
}

pdx::Value textOrBlank(const std::string& s) { return s.empty() ? pdx::Value() : pdx::Value::text(s); }

// Folds one value as the checksum's canonical form has it.
Error addValue(const pdx::Value& v, Checksum& sum) {
  switch (v.kind()) {
    case pdx::Value::Kind::kNull: sum.null(); return {};
    case pdx::Value::Kind::kText: sum.text(v.asText()); return {};
    case pdx::Value::Kind::kInteger: sum.integer(v.asInteger()); return {};
    case pdx::Value::Kind::kNumber: sum.real(v.asNumber()); return {};
    case pdx::Value::Kind::kDate: sum.integer(v.asDate().days); return {};
    case pdx::Value::Kind::kTimestamp: sum.real(v.asTimestamp().ms); return {};
    default: return "engine: a field of a kind the tables do not hold";
  }
}

class EngineSide final : public Side {
 public:
  EngineSide(std::shared_ptr<pdx::Directory> reads, std::shared_ptr<pdx::Directory> writes, bool holdTables)
      : reads_(std::move(reads)), writes_(std::move(writes)), holdTables_(holdTables) {}

  Error dropTable(const std::string& table) override {
    if (writes_->tableExists(table)) SQLBENCH_ENGINE(writes_->deleteTable(table));
    return {};
  }

  Error buildCap(const CapShape& shape) override {
    pdx::CreateOptions options;
    options.blockSize = kBlockSize;
    SQLBENCH_ENGINE(writes_->createTable("cap", capFields(), kCapKeyFields, options));
    auto opened = writes_->openTable("cap");
    if (!opened.ok()) return engineError(opened.status(), "open cap");
    pdx::Table& t = **opened;
    const std::vector<std::string> codes = supplierCodes(shape.suppliers);
    for (int64_t s = 0; s < shape.suppliers; ++s) {
      const std::vector<CapRow> rows = sqlbench::supplierItems(shape, s, codes[static_cast<size_t>(s)]);
      auto group = writes_->beginGroup();
      if (!group.ok()) return engineError(group.status(), "beginGroup");
      for (const CapRow& r : rows) {
        // Cap_seq is left to the table, which numbers inserts 1, 2, 3, ...
        SQLBENCH_ENGINE(t.insert());
        SQLBENCH_ENGINE(t.set(0, pdx::Value::text(r.supplier)));
        SQLBENCH_ENGINE(t.set(1, pdx::Value::text(r.invoice)));
        SQLBENCH_ENGINE(t.set(2, pdx::Value::text(r.ref)));
        SQLBENCH_ENGINE(t.set(3, pdx::Value::date(pdx::Date{r.date})));
        SQLBENCH_ENGINE(t.set(4, pdx::Value::text(r.type)));
        SQLBENCH_ENGINE(t.set(6, r.dueDate ? pdx::Value::date(pdx::Date{*r.dueDate}) : pdx::Value()));
        SQLBENCH_ENGINE(t.set(7, pdx::Value::number(r.amount())));
        SQLBENCH_ENGINE(t.set(8, textOrBlank(r.memo)));
        SQLBENCH_ENGINE(t.set(9, pdx::Value::text(r.user)));
        SQLBENCH_ENGINE(t.set(10, pdx::Value::timestamp(pdx::Timestamp{r.stampMs})));
        SQLBENCH_ENGINE(t.post());
      }
      SQLBENCH_ENGINE((*group)->commit());
    }
    return {};
  }

  Error buildCli(int64_t clients) override {
    pdx::CreateOptions options;
    options.blockSize = kBlockSize;
    SQLBENCH_ENGINE(writes_->createTable("cli", cliFields(), 1, options));
    auto opened = writes_->openTable("cli");
    if (!opened.ok()) return engineError(opened.status(), "open cli");
    pdx::Table& t = **opened;
    constexpr int64_t kPerGroup = 1000;
    for (int64_t first = 0; first < clients; first += kPerGroup) {
      auto group = writes_->beginGroup();
      if (!group.ok()) return engineError(group.status(), "beginGroup");
      for (int64_t i = first; i < std::min(clients, first + kPerGroup); ++i) {
        const CliRow c = clientAt(i);
        SQLBENCH_ENGINE(t.insert());
        int f = 0;
        for (const std::string* s :
             {&c.code, &c.name, &c.address, &c.city, &c.province, &c.postal, &c.phone, &c.contact, &c.language})
          SQLBENCH_ENGINE(t.set(f++, textOrBlank(*s)));
        SQLBENCH_ENGINE(t.set(9, pdx::Value::number(static_cast<double>(c.creditCents) / 100.0)));
        SQLBENCH_ENGINE(t.set(10, pdx::Value::number(static_cast<double>(c.balanceCents) / 100.0)));
        SQLBENCH_ENGINE(t.set(11, pdx::Value::date(pdx::Date{c.since})));
        SQLBENCH_ENGINE(t.post());
      }
      SQLBENCH_ENGINE((*group)->commit());
    }
    return {};
  }

  Error supplierItems(const std::vector<std::string>& codes, Checksum& sum) override {
    if (Error e = hold("cap"); !e.empty()) return e;
    auto query = sql::Query::prepare(kSupplierQuery);
    if (!query.ok()) return engineError(query.status(), "prepare");
    for (const std::string& code : codes) {
      SQLBENCH_ENGINE(query->bind("s", pdx::Value::text(code)));
      auto rows = query->execute(*reads_);
      if (!rows.ok()) return engineError(rows.status(), "execute");
      if (Error e = readRows(**rows, sum); !e.empty()) return e;
    }
    return {};
  }

  Error clientLike(int64_t runs, Checksum& sum) override {
    if (Error e = hold("cli"); !e.empty()) return e;
    auto query = sql::Query::prepare(kLikeQuery);
    if (!query.ok()) return engineError(query.status(), "prepare");
    for (int64_t i = 0; i < runs; ++i) {
      auto rows = query->execute(*reads_);
      if (!rows.ok()) return engineError(rows.status(), "execute");
      if (Error e = readRows(**rows, sum); !e.empty()) return e;
    }
    return {};
  }

  Error readAll(const std::string& table, Checksum& sum) override {
    auto opened = reads_->openTable(table, pdx::Directory::Access::kReadOnly);
    if (!opened.ok()) return engineError(opened.status(), "open table");
    pdx::Table& t = **opened;
    const int fields = static_cast<int>(t.schema().fields.size());
    pdx::Status st = t.first();
    while (st.ok()) {
      for (int f = 0; f < fields; ++f) {
        auto v = t.get(f);
        if (!v.ok()) return engineError(v.status(), "get");
        if (Error e = addValue(*v, sum); !e.empty()) return e;
      }
      sum.endRow();
      st = t.next();
    }
    if (!st.is(pdx::code::kEof)) return engineError(st, "read the table");
    return {};
  }

 private:
  static Error readRows(sql::RowSet& rows, Checksum& sum) {
    const int fields = static_cast<int>(rows.fields().size());
    for (pdx::Status st = rows.first(); st.ok(); st = rows.next()) {
      // The values are read in place, as SQLite's columns are.
      for (int f = 0; f < fields; ++f)
        if (Error e = addValue(rows.valueAt(f), sum); !e.empty()) return e;
      sum.endRow();
    }
    return {};
  }

  // With holdTables_, a cursor stays open on each table queried, as a
  // window showing the table keeps one: each query then finds the table open.
  Error hold(const std::string& table) {
    if (!holdTables_ || held_.count(table)) return {};
    auto opened = reads_->openTable(table, pdx::Directory::Access::kReadOnly);
    if (!opened.ok()) return engineError(opened.status(), "open table");
    held_[table] = std::move(opened).value();
    return {};
  }

  std::shared_ptr<pdx::Directory> reads_, writes_;
  bool holdTables_;
  std::map<std::string, std::unique_ptr<pdx::Table>> held_;
};

// ------------------------------------------------------------------ SQLite

using bench::Statement;

class SqliteSide final : public Side {
 public:
  SqliteSide(sqlite3* db, SqliteLayouts layouts) : db_(db), layouts_(layouts) {}
  ~SqliteSide() override { sqlite3_close_v2(db_); }

  Error configure(const std::vector<std::string>& pragmas) {
    for (const std::string& p : {std::string("PRAGMA page_size=4096"), "PRAGMA cache_size=-" + std::to_string(kSqliteCacheKiB),
                                 std::string("PRAGMA case_sensitive_like=ON")})
      if (Error e = exec(p); !e.empty()) return e;
    for (const std::string& p : pragmas)
      if (Error e = exec("PRAGMA " + p); !e.empty()) return e;
    return {};
  }

  Error dropTable(const std::string& table) override { return exec("DROP TABLE IF EXISTS " + table); }

  Error buildCap(const CapShape& shape) override {
    if (Error e = exec(std::string("CREATE TABLE cap(Cap_supplier TEXT NOT NULL, Cap_invoice TEXT NOT NULL,"
                                   " Cap_ref TEXT NOT NULL, Cap_date INTEGER NOT NULL, Cap_type TEXT NOT NULL,"
                                   " Cap_seq INTEGER, Cap_du_date INTEGER, Cap_amount REAL, Cap_memo TEXT,"
                                   " Cap_user TEXT, Cap_stamp REAL,"
                                   " PRIMARY KEY(Cap_supplier, Cap_invoice, Cap_ref, Cap_date, Cap_type))") +
                       suffix(layouts_.cap));
        !e.empty())
      return e;
    Statement insert;
    if (Error e = prepare("INSERT INTO cap VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)", insert); !e.empty())
      return e;
    if (Error e = beginBulk(); !e.empty()) return e;
    const std::vector<std::string> codes = supplierCodes(shape.suppliers);
    sqlite3_stmt* s = insert.get();
    for (int64_t i = 0; i < shape.suppliers; ++i) {
      const std::vector<CapRow> rows = sqlbench::supplierItems(shape, i, codes[static_cast<size_t>(i)]);
      for (const CapRow& r : rows) {
        bindText(s, 1, r.supplier);
        bindText(s, 2, r.invoice);
        bindText(s, 3, r.ref);
        sqlite3_bind_int(s, 4, r.date);
        bindText(s, 5, r.type);
        sqlite3_bind_int64(s, 6, r.seq);
        if (r.dueDate) sqlite3_bind_int(s, 7, *r.dueDate);
        else sqlite3_bind_null(s, 7);
        sqlite3_bind_double(s, 8, r.amount());
        bindText(s, 9, r.memo);
        bindText(s, 10, r.user);
        sqlite3_bind_double(s, 11, r.stampMs);
        if (Error e = step(s, "insert into cap"); !e.empty()) return e;
      }
    }
    return exec("COMMIT");
  }

  Error buildCli(int64_t clients) override {
    if (Error e = exec(std::string("CREATE TABLE cli(Cli_code TEXT NOT NULL PRIMARY KEY, Cli_name TEXT,"
                                   " Cli_address TEXT, Cli_city TEXT, Cli_province TEXT, Cli_postal TEXT,"
                                   " Cli_phone TEXT, Cli_contact TEXT, Cli_language TEXT,"
                                   " Cli_credit_limit REAL, Cli_balance REAL, Cli_since INTEGER)") +
                       suffix(layouts_.cli));
        !e.empty())
      return e;
    Statement insert;
    if (Error e = prepare("INSERT INTO cli VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)", insert);
        !e.empty())
      return e;
    if (Error e = beginBulk(); !e.empty()) return e;
    sqlite3_stmt* s = insert.get();
    for (int64_t i = 0; i < clients; ++i) {
      const CliRow c = clientAt(i);
      int n = 1;
      for (const std::string* t :
           {&c.code, &c.name, &c.address, &c.city, &c.province, &c.postal, &c.phone, &c.contact, &c.language})
        bindText(s, n++, *t);
      sqlite3_bind_double(s, 10, static_cast<double>(c.creditCents) / 100.0);
      sqlite3_bind_double(s, 11, static_cast<double>(c.balanceCents) / 100.0);
      sqlite3_bind_int(s, 12, c.since);
      if (Error e = step(s, "insert into cli"); !e.empty()) return e;
    }
    return exec("COMMIT");
  }

  Error supplierItems(const std::vector<std::string>& codes, Checksum& sum) override {
    Statement query;
    if (Error e = prepare(kSupplierQuery, query); !e.empty()) return e;
    const int s = sqlite3_bind_parameter_index(query.get(), ":s");
    if (s == 0) return "sqlite: the supplier query has no parameter :s";
    for (const std::string& code : codes) {
      sqlite3_bind_text(query.get(), s, code.data(), static_cast<int>(code.size()), SQLITE_STATIC);
      if (Error e = readRows(query.get(), sum); !e.empty()) return e;
    }
    return {};
  }

  Error clientLike(int64_t runs, Checksum& sum) override {
    Statement query;
    if (Error e = prepare(kLikeQuery, query); !e.empty()) return e;
    for (int64_t i = 0; i < runs; ++i)
      if (Error e = readRows(query.get(), sum); !e.empty()) return e;
    return {};
  }

  Error readAll(const std::string& table, Checksum& sum) override {
    // Key order: the primary key of either layout (cap's first five columns, cli's first).
    const std::string order =
        table == "cap" ? "Cap_supplier, Cap_invoice, Cap_ref, Cap_date, Cap_type" : std::string("Cli_code");
    Statement query;
    if (Error e = prepare("SELECT * FROM " + table + " ORDER BY " + order, query); !e.empty()) return e;
    return readRows(query.get(), sum);
  }

 private:
  static const char* suffix(SqliteLayout layout) { return layout == SqliteLayout::kWithoutRowid ? " WITHOUT ROWID" : ""; }

  static void bindText(sqlite3_stmt* s, int i, const std::string& text) {
    if (text.empty()) sqlite3_bind_null(s, i);
    else sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }

  // Steps a statement through every row, folding each column by the type
  // SQLite hands back, then resets it.
  Error readRows(sqlite3_stmt* s, Checksum& sum) {
    const int columns = sqlite3_column_count(s);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(s, c)) {
          case SQLITE_NULL: sum.null(); break;
          case SQLITE_INTEGER: sum.integer(sqlite3_column_int64(s, c)); break;
          case SQLITE_FLOAT: sum.real(sqlite3_column_double(s, c)); break;
          case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
            sum.text(std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(s, c))));
            break;
          }
          default: sqlite3_reset(s); return "sqlite: a column of a kind the tables do not hold";
        }
      }
      sum.endRow();
    }
    sqlite3_reset(s);
    return rc == SQLITE_DONE ? Error() : failure("step");
  }

  // Bulk loads write no journal and sync nothing, in one transaction: the
  // cheapest way SQLite can fill a table, as Env::unsynced() is the engine's.
  Error beginBulk() {
    for (const char* p : {"PRAGMA journal_mode=OFF", "PRAGMA synchronous=OFF", "BEGIN"})
      if (Error e = exec(p); !e.empty()) return e;
    return {};
  }

  Error step(sqlite3_stmt* s, const char* what) {
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE ? Error() : failure(what);
  }

  Error failure(const std::string& what) const { return bench::sqliteFailure(db_, what); }
  Error exec(const std::string& sql) { return bench::sqliteExec(db_, sql); }
  Error prepare(const std::string& sql, Statement& out) { return bench::sqlitePrepare(db_, sql, out); }

  sqlite3* db_;
  SqliteLayouts layouts_;
};

}  // namespace

Error openEngine(const std::string& dir, bool holdTables, std::unique_ptr<Side>& out) {
  auto reads = pdx::Directory::open(dir, pdx::Env::standard());
  if (!reads.ok()) return engineError(reads.status(), "open directory");
  auto writes = pdx::Directory::open(dir, pdx::Env::unsynced());
  if (!writes.ok()) return engineError(writes.status(), "open directory");
  out = std::make_unique<EngineSide>(std::move(reads).value(), std::move(writes).value(), holdTables);
  return {};
}

Error openSqlite(const std::string& path, SqliteLayouts layouts, const std::vector<std::string>& pragmas,
                 std::unique_ptr<Side>& out) {
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto side = std::make_unique<SqliteSide>(db, layouts);
  if (rc != SQLITE_OK) return "sqlite: open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
  if (Error e = side->configure(pragmas); !e.empty()) return e;
  out = std::move(side);
  return {};
}

}  // namespace sqlbench
