#include "posting_bench_sqlite.h"
#include "bench_common.h"

#include <sqlite3.h>

#include <chrono>
#include <string_view>
#include <vector>

#include "data/table_def.h"
#include "db/money.h"

namespace postbench {

namespace {

using bench::Statement;

const char* columnType(pdx::FieldType type) {
  switch (type) {
    case pdx::FieldType::kAlpha:
    case pdx::FieldType::kMemo:
    case pdx::FieldType::kFmtMemo:
      return "TEXT";
    case pdx::FieldType::kMoney:
    case pdx::FieldType::kNumber:
    case pdx::FieldType::kTimestamp:
      return "REAL";
    case pdx::FieldType::kShort:
    case pdx::FieldType::kLong:
    case pdx::FieldType::kAutoInc:
    case pdx::FieldType::kDate:
    case pdx::FieldType::kLogical:
      return "INTEGER";
    default:
      return "BLOB";
  }
}

// CREATE TABLE for a layout of the suite: its fields in order, its key as
// the PRIMARY KEY of a WITHOUT ROWID table.
std::string createSql(const data::TableDef& def) {
  std::string sql = "CREATE TABLE " + def.name + "(";
  for (const pdx::FieldDef& f : def.fields) sql += "\"" + f.name + "\" " + columnType(f.type) + ", ";
  sql += "PRIMARY KEY(";
  for (int k = 0; k < def.keyFieldCount; ++k) sql += (k ? ", \"" : "\"") + def.fields[size_t(k)].name + "\"";
  return sql + ")) WITHOUT ROWID";
}

double amountOf(int64_t units) {
  return db::Money::fromUnits(units).toDouble();
}
int64_t unitsOf(double amount) {
  return db::Money::fromDouble(amount).value_or(db::Money()).units();
}

// The entry's eleven lines as a fresh entry for a supplier without accounts
// of its own proposes them, with the document's accounts on lines 3 and 4.
constexpr int kEntryLines = 11;
constexpr int32_t kEntryAccounts[kEntryLines] = {
    kPayableAccount, kPurchasesAccount, kGstAccount, kQstAccount, 5030, 5100, 5300, 5400, 5500, 0, 0};
constexpr int kSourceLines = 15;  // Account1..15, Debit1..15, Credit1..15 of apori

// The stamp the engine side writes: the posting date at 10:00, in its
// milliseconds.
double stampMs() {
  return pdx::Timestamp::from(pdx::Date{postingDate()}, pdx::Time{10 * 3600 * 1000}).ms;
}

}  // namespace

struct SqlitePoster::Statements {
  Statement begin, commit, rollback;
  Statement findSupplier, findPurchase, findHeader, insertHeader, updateHeader, insertLine, updateSupplier, insertItem,
      insertEntry;
};

SqlitePoster::SqlitePoster(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
SqlitePoster::~SqlitePoster() {
  st_.reset();
  sqlite3_close_v2(db_);
}

Error SqlitePoster::failure(const std::string& what) const { return bench::sqliteFailure(db_, what); }

Error SqlitePoster::exec(const std::string& sql) { return bench::sqliteExec(db_, sql); }

Error SqlitePoster::create(const std::string& path, SqliteJournal journal, bool synced, int suppliers,
                           const PrefillPlan& prefill, std::unique_ptr<SqlitePoster>& out) {
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<SqlitePoster> p(new SqlitePoster(db, path));
  if (rc != SQLITE_OK) return p->failure("open " + path);
  for (const std::string& s :
       {std::string("PRAGMA page_size=4096"), "PRAGMA cache_size=-" + std::to_string(kSqliteCacheKiB),
        std::string("PRAGMA journal_mode=OFF"), std::string("PRAGMA synchronous=OFF")})
    if (Error e = p->exec(s); !e.empty()) return e;
  for (const data::TableDef* def : {&data::tables::tjlh(), &data::tables::tjld(), &data::tables::sup(),
                                    &data::tables::cap(), &data::tables::apori()})
    if (Error e = p->exec(createSql(*def)); !e.empty()) return e;
  if (Error e = p->fill(suppliers, prefill); !e.empty()) return e;

  const char* mode = journal == SqliteJournal::kWal ? "wal" : "delete";
  {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, (std::string("PRAGMA journal_mode=") + mode).c_str(), -1, &raw, nullptr) != SQLITE_OK)
      return p->failure("journal_mode");
    Statement st(raw);
    // The pragma answers with the mode in force, which is the old one when
    // the change is refused.
    const unsigned char* now = sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_text(raw, 0) : nullptr;
    if (!now || std::string_view(reinterpret_cast<const char*>(now)) != mode)
      return p->failure(std::string("journal_mode=") + mode + " refused");
  }
  if (Error e = p->exec(synced ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF"); !e.empty()) return e;
  if (Error e = p->prepareAll(); !e.empty()) return e;
  out = std::move(p);
  return {};
}

Error SqlitePoster::fill(int suppliers, const PrefillPlan& prefill) {
  if (Error e = exec("BEGIN"); !e.empty()) return e;
  Statement sup, header, line;
  if (Error e = bench::sqlitePrepare(db_,
                                     "INSERT INTO sup(Sup_code, Sup_name, Sup_city, Sup_prov, Sup_du_days, Sup_currency,"
                                     " Sup_current_bal, Sup_last_purch, Sup_purch_mth, Sup_purch_ytd)"
                                     " VALUES(?1, ?2, 'Trois-Rivières', 'QC', ?3, 0, 0, 0, 0, 0)",
                                     sup);
      !e.empty())
    return e;
  sqlite3_stmt* raw = sup.get();
  for (int s = 0; s < suppliers; ++s) {
    const std::string code = supplierCode(s), name = supplierName(s);
    sqlite3_bind_text(raw, 1, code.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(raw, 3, kSupplierTerms);
    if (sqlite3_step(raw) != SQLITE_DONE) return failure("add supplier " + code);
    sqlite3_reset(raw);
  }
  if (Error e = bench::sqlitePrepare(db_,
                                     "INSERT INTO tjlh(Tjlh_period, Tjlh_journal, Tjlh_reference, Tjlh_date, Tjlh_tot_debit,"
                                     " Tjlh_tot_credit, Tjlh_user) VALUES(?1, ?2, ?3, ?4, ?5, ?5, 'ADMIN')",
                                     header);
      !e.empty())
    return e;
  if (Error e = bench::sqlitePrepare(db_,
                                     "INSERT INTO tjld(Tjld_period, Tjld_journal, Tjld_reference, Tjld_date, Tjld_autoinc,"
                                     " Tjld_account, Tjld_debit, Tjld_credit, Tjld_description)"
                                     " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                                     line);
      !e.empty())
    return e;
  Error failed;
  const bool whole = prefill.forEach([&](const JournalDocument& doc) {
    sqlite3_stmt* h = header.get();
    sqlite3_bind_int(h, 1, doc.period);
    sqlite3_bind_int(h, 2, doc.journal);
    sqlite3_bind_text(h, 3, doc.reference.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(h, 4, doc.date);
    sqlite3_bind_double(h, 5, amountOf(doc.total));
    if (sqlite3_step(h) != SQLITE_DONE) {
      failed = failure("prefill header " + doc.reference);
      return false;
    }
    sqlite3_reset(h);
    sqlite3_stmt* l = line.get();
    for (const JournalLine& jl : doc.lines) {
      sqlite3_bind_int(l, 1, doc.period);
      sqlite3_bind_int(l, 2, doc.journal);
      sqlite3_bind_text(l, 3, doc.reference.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(l, 4, doc.date);
      sqlite3_bind_int64(l, 5, nextLine_++);
      sqlite3_bind_int(l, 6, jl.account);
      sqlite3_bind_double(l, 7, amountOf(jl.debit));
      sqlite3_bind_double(l, 8, amountOf(jl.credit));
      sqlite3_bind_text(l, 9, jl.description, -1, SQLITE_STATIC);
      if (sqlite3_step(l) != SQLITE_DONE) {
        failed = failure("prefill line of " + doc.reference);
        return false;
      }
      sqlite3_reset(l);
    }
    return true;
  });
  if (!whole) return failed;
  return exec("COMMIT");
}

Error SqlitePoster::prepareAll() {
  st_ = std::make_unique<Statements>();
  struct Text {
    Statement* to;
    const char* sql;
  };
  const Text texts[] = {
      {&st_->begin, "BEGIN IMMEDIATE"},
      {&st_->commit, "COMMIT"},
      {&st_->rollback, "ROLLBACK"},
      {&st_->findSupplier,
       "SELECT Sup_name, Sup_currency, Sup_current_bal, Sup_last_purch, Sup_purch_mth, Sup_purch_ytd"
       " FROM sup WHERE Sup_code = ?1"},
      {&st_->findPurchase, "SELECT 1 FROM cap WHERE Cap_supplier = ?1 AND Cap_invoice = ?2 AND Cap_type = '1' LIMIT 1"},
      {&st_->findHeader,
       "SELECT Tjlh_tot_debit, Tjlh_tot_credit FROM tjlh"
       " WHERE Tjlh_period = ?1 AND Tjlh_journal = ?2 AND Tjlh_reference = ?3 AND Tjlh_date = ?4"},
      {&st_->insertHeader,
       "INSERT INTO tjlh(Tjlh_period, Tjlh_journal, Tjlh_reference, Tjlh_date, Tjlh_tot_debit, Tjlh_tot_credit,"
       " Tjlh_memo, Tjlh_user, Tjlh_stamp) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"},
      {&st_->updateHeader,
       "UPDATE tjlh SET Tjlh_tot_debit = ?5, Tjlh_tot_credit = ?6"
       " WHERE Tjlh_period = ?1 AND Tjlh_journal = ?2 AND Tjlh_reference = ?3 AND Tjlh_date = ?4"},
      {&st_->insertLine,
       "INSERT INTO tjld(Tjld_period, Tjld_journal, Tjld_reference, Tjld_date, Tjld_autoinc, Tjld_account,"
       " Tjld_debit, Tjld_credit, Tjld_description) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"},
      {&st_->updateSupplier,
       "UPDATE sup SET Sup_date_last_purch = ?2, Sup_last_purch = ?3, Sup_purch_mth = ?4, Sup_purch_ytd = ?5,"
       " Sup_current_bal = ?6 WHERE Sup_code = ?1"},
      {&st_->insertItem,
       "INSERT INTO cap(Cap_supplier, Cap_invoice, Cap_ref, Cap_date, Cap_type, Cap_seq, Cap_du_date, Cap_amount,"
       " Cap_user, Cap_stamp) VALUES(?1, ?2, '', ?3, '1', ?4, ?5, ?6, ?7, ?8)"},
  };
  for (const Text& t : texts)
    if (Error e = bench::sqlitePrepare(db_, t.sql, *t.to); !e.empty()) return e;
  // The source entry names every one of its 58 fields but PO.
  std::string columns =
                  "Reference, Supplier, Date, Seq, Due_date, Direct_cash_purchase, Trx_type, Dr_cr_reference,"
                  " Stamp, \"User\", DebitCredit",
              values = "?1, ?2, ?3, ?4, ?5, 0, '1', NULL, ?6, ?7, 0";
  int next = 8;
  for (const char* prefix : {"Account", "Debit", "Credit"})
    for (int n = 1; n <= kSourceLines; ++n) {
      columns += std::string(", ") + prefix + std::to_string(n);
      values += ", ?" + std::to_string(next++);
    }
  if (Error e = bench::sqlitePrepare(db_, "INSERT INTO apori(" + columns + ") VALUES(" + values + ")", st_->insertEntry);
      !e.empty())
    return e;

  // The autoincrements go on from the largest values on file.
  for (auto [table, field, to] : {std::tuple{"tjld", "Tjld_autoinc", &nextLine_},
                                  std::tuple{"cap", "Cap_seq", &nextItem_}, std::tuple{"apori", "Seq", &nextEntry_}}) {
    Statement q;
    const std::string text = std::string("SELECT coalesce(max(") + field + "), 0) + 1 FROM " + table;
    if (Error e = bench::sqlitePrepare(db_, text, q); !e.empty()) return e;
    if (sqlite3_step(q.get()) != SQLITE_ROW) return failure(text);
    *to = sqlite3_column_int64(q.get(), 0);
  }
  return {};
}

namespace {

// Steps a statement that returns no row, and resets it.
bool done(sqlite3_stmt* s) {
  const int rc = sqlite3_step(s);
  sqlite3_reset(s);
  return rc == SQLITE_DONE;
}

}  // namespace

Error SqlitePoster::writeDocument(const Document& doc) {
  Statements& st = *st_;
  const std::string& invoice = doc.invoice;
  const int32_t date = postingDate();
  const int32_t due = date + kSupplierTerms;
  const double stamp = stampMs();

  // The supplier: its name for the journal memo and its totals.
  sqlite3_stmt* s = st.findSupplier.get();
  sqlite3_bind_text(s, 1, doc.supplier.c_str(), -1, SQLITE_STATIC);
  if (sqlite3_step(s) != SQLITE_ROW) {
    sqlite3_reset(s);
    return "sqlite: no supplier " + doc.supplier;
  }
  const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
  if (sqlite3_column_int(s, 1) != 0) {
    sqlite3_reset(s);
    return "sqlite: supplier " + doc.supplier + " is not in the home currency";
  }
  int64_t totals[4];  // Sup_current_bal, Sup_last_purch, Sup_purch_mth, Sup_purch_ytd
  for (int k = 0; k < 4; ++k) totals[k] = unitsOf(sqlite3_column_double(s, 2 + k));
  sqlite3_reset(s);

  // The duplicate test.
  s = st.findPurchase.get();
  sqlite3_bind_text(s, 1, doc.supplier.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(s, 2, invoice.c_str(), -1, SQLITE_STATIC);
  const int found = sqlite3_step(s);
  sqlite3_reset(s);
  if (found == SQLITE_ROW) return "sqlite: invoice " + invoice + " of " + doc.supplier + " is on file already";
  if (found != SQLITE_DONE) return failure("the duplicate test");

  // The journal, line by line, as the entry writes it.
  const int64_t debits[kLinesPerDocument] = {0, doc.purchases, doc.gst, doc.qst};
  const int64_t credits[kLinesPerDocument] = {doc.total(), 0, 0, 0};
  static const char* const kDescriptions[kLinesPerDocument] = {"Accounts payable", "Purchases", "GST/HST receivable",
                                                               "QST/PST receivable"};
  auto bindKey = [&](sqlite3_stmt* q) {
    sqlite3_bind_int(q, 1, kPostingPeriod);
    sqlite3_bind_int(q, 2, kPayablesJournal);
    sqlite3_bind_text(q, 3, invoice.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(q, 4, date);
  };
  for (int n = 0; n < kLinesPerDocument; ++n) {
    const int64_t debit = debits[n], credit = debit != 0 ? 0 : credits[n];
    s = st.findHeader.get();
    bindKey(s);
    const int header = sqlite3_step(s);
    if (header == SQLITE_ROW) {
      int64_t totalDebit = unitsOf(sqlite3_column_double(s, 0)), totalCredit = unitsOf(sqlite3_column_double(s, 1));
      sqlite3_reset(s);
      (debit != 0 ? totalDebit : totalCredit) += debit != 0 ? debit : credit;
      sqlite3_stmt* u = st.updateHeader.get();
      bindKey(u);
      sqlite3_bind_double(u, 5, amountOf(totalDebit));
      sqlite3_bind_double(u, 6, amountOf(totalCredit));
      if (!done(u)) return failure("update the header of " + invoice);
    } else {
      sqlite3_reset(s);
      if (header != SQLITE_DONE) return failure("find the header of " + invoice);
      sqlite3_stmt* i = st.insertHeader.get();
      bindKey(i);
      sqlite3_bind_double(i, 5, amountOf(debit));
      sqlite3_bind_double(i, 6, amountOf(credit));
      sqlite3_bind_text(i, 7, name.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(i, 8, "BENCH", -1, SQLITE_STATIC);
      sqlite3_bind_double(i, 9, stamp);
      if (!done(i)) return failure("insert the header of " + invoice);
    }
    s = st.insertLine.get();
    bindKey(s);
    sqlite3_bind_int64(s, 5, nextLine_);
    sqlite3_bind_int(s, 6, kEntryAccounts[n]);
    sqlite3_bind_double(s, 7, amountOf(debit));
    sqlite3_bind_double(s, 8, amountOf(credit));
    sqlite3_bind_text(s, 9, kDescriptions[n], -1, SQLITE_STATIC);
    if (!done(s)) return failure("insert a line of " + invoice);
    ++nextLine_;
  }

  // The supplier and its open item.
  const int64_t amount = doc.total();
  s = st.updateSupplier.get();
  sqlite3_bind_text(s, 1, doc.supplier.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int(s, 2, date);
  sqlite3_bind_double(s, 3, amountOf(totals[1] + amount));
  sqlite3_bind_double(s, 4, amountOf(totals[2] + amount));
  sqlite3_bind_double(s, 5, amountOf(totals[3] + amount));
  sqlite3_bind_double(s, 6, amountOf(totals[0] + amount));
  if (!done(s) || sqlite3_changes(db_) != 1) return failure("update supplier " + doc.supplier);
  s = st.insertItem.get();
  sqlite3_bind_text(s, 1, doc.supplier.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(s, 2, invoice.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int(s, 3, date);
  sqlite3_bind_int64(s, 4, nextItem_);
  sqlite3_bind_int(s, 5, due);
  sqlite3_bind_double(s, 6, amountOf(amount));
  sqlite3_bind_text(s, 7, "BENCH", -1, SQLITE_STATIC);
  sqlite3_bind_double(s, 8, stamp);
  if (!done(s)) return failure("insert the open item of " + invoice);
  ++nextItem_;

  // The source entry.
  s = st.insertEntry.get();
  sqlite3_bind_text(s, 1, invoice.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(s, 2, doc.supplier.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int(s, 3, date);
  sqlite3_bind_int64(s, 4, nextEntry_);
  sqlite3_bind_int(s, 5, due);
  sqlite3_bind_double(s, 6, stamp);
  sqlite3_bind_text(s, 7, "BENCH", -1, SQLITE_STATIC);
  for (int n = 0; n < kSourceLines; ++n) {
    const bool keyed = n < kEntryLines, amounts = n < kLinesPerDocument;
    sqlite3_bind_int(s, 8 + n, keyed ? kEntryAccounts[n] : 0);
    sqlite3_bind_double(s, 8 + kSourceLines + n, amountOf(amounts ? debits[n] : 0));
    sqlite3_bind_double(s, 8 + 2 * kSourceLines + n, amountOf(amounts ? credits[n] : 0));
  }
  if (!done(s)) return failure("insert the source entry of " + invoice);
  ++nextEntry_;
  return {};
}

Error SqlitePoster::post(const Document& doc, double& seconds) {
  const auto start = std::chrono::steady_clock::now();
  if (!done(st_->begin.get())) return failure("begin");
  const int64_t line = nextLine_, item = nextItem_, entry = nextEntry_;
  Error e = writeDocument(doc);
  if (e.empty() && !done(st_->commit.get())) e = failure("commit");
  if (!e.empty()) {
    done(st_->rollback.get());
    nextLine_ = line;
    nextItem_ = item;
    nextEntry_ = entry;
    return e;
  }
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {};
}

Error SqlitePoster::readBooks(Books& out) {
  out = Books();
  auto each = [&](const std::string& sql, auto&& row) -> Error {
    Statement q;
    if (Error e = bench::sqlitePrepare(db_, sql, q); !e.empty()) return e;
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) row(q.get());
    return rc == SQLITE_DONE ? Error() : failure(sql);
  };
  auto text = [](sqlite3_stmt* q, int column) {
    const unsigned char* t = sqlite3_column_text(q, column);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  Error e = each("SELECT Tjlh_tot_debit, Tjlh_tot_credit FROM tjlh", [&](sqlite3_stmt* q) {
    ++out.tjlhRows;
    out.tjlhDebit += unitsOf(sqlite3_column_double(q, 0));
    out.tjlhCredit += unitsOf(sqlite3_column_double(q, 1));
  });
  if (e.empty())
    e = each("SELECT Tjld_debit, Tjld_credit FROM tjld", [&](sqlite3_stmt* q) {
      ++out.tjldRows;
      out.tjldDebit += unitsOf(sqlite3_column_double(q, 0));
      out.tjldCredit += unitsOf(sqlite3_column_double(q, 1));
    });
  if (e.empty())
    e = each("SELECT Sup_code, Sup_current_bal, Sup_purch_ytd FROM sup", [&](sqlite3_stmt* q) {
      const std::string code = text(q, 0);
      out.balance[code] += unitsOf(sqlite3_column_double(q, 1));
      out.purchasesYtd[code] += unitsOf(sqlite3_column_double(q, 2));
      out.openItems.emplace(code, 0);
    });
  if (e.empty())
    e = each("SELECT Cap_supplier, Cap_amount, Cap_type, Cap_ref, Cap_date FROM cap", [&](sqlite3_stmt* q) {
      ++out.capRows;
      out.openItems[text(q, 0)] += unitsOf(sqlite3_column_double(q, 1));
      if (text(q, 2) != "1" || !text(q, 3).empty() || sqlite3_column_int(q, 4) != postingDate()) ++out.oddOpenItems;
    });
  if (e.empty()) {
    std::string sql = "SELECT ";
    for (const char* prefix : {"Debit", "Credit"})
      for (int n = 1; n <= kSourceLines; ++n)
        sql += std::string(sql.size() > 7 ? ", " : "") + prefix + std::to_string(n);
    e = each(sql + " FROM apori", [&](sqlite3_stmt* q) {
      ++out.aporiRows;
      for (int n = 0; n < kSourceLines; ++n) {
        out.aporiDebit += unitsOf(sqlite3_column_double(q, n));
        out.aporiCredit += unitsOf(sqlite3_column_double(q, kSourceLines + n));
      }
    });
  }
  return e;
}

}  // namespace postbench
