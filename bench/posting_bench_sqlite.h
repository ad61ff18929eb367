// SQLite's side of posting_bench: the five tables a posting writes (tjlh,
// tjld, sup, cap, apori), with the fields and primary keys of the suite's
// layouts, and the same posting as one transaction per document.
//
// Each table is a WITHOUT ROWID table whose PRIMARY KEY is the layout's key,
// so its rows lie in key order in one b-tree, as the engine's records lie in
// key order in their blocks. Fields map to TEXT (alpha, memo), INTEGER
// (integers, autoincrements, dates as the engine's day count, logicals) and
// REAL (money, timestamps). A key field the engine leaves blank (Cap_ref of a
// purchase) holds '' here: SQLite refuses NULL in such a key.
//
// A document is the engine's posting step for step: read the supplier, look
// for a purchase with that invoice number, then for each line find its
// journal header (insert it, or add the line to its totals) and insert the
// line, then the supplier's new totals (added in fixed point, as the entry
// does), the open item and the source entry, between BEGIN IMMEDIATE and
// COMMIT. The autoincrement values the engine keeps in a table's header are
// counted here in memory from the largest value on file, which spares SQLite
// the counter table a real application would update.
#pragma once

#include <memory>
#include <string>

#include "posting_bench_data.h"

struct sqlite3;

namespace postbench {

using Error = std::string;

enum class SqliteJournal { kDelete, kWal };

// Pages of 4 KiB like the engine's blocks; the page cache is as large as the
// engine's block caches of the five tables together (2,048 blocks each).
inline constexpr int kSqliteCacheKiB = 5 * 2048 * 4;

class SqlitePoster {
 public:
  // Creates the database `path` (which must not exist) with the five tables,
  // `suppliers` suppliers and the prefilled journal, written with nothing
  // synced, then sets synchronous=FULL (OFF when !synced, for tests) and the
  // journal mode.
  static Error create(const std::string& path, SqliteJournal journal, bool synced, int suppliers,
                      const PrefillPlan& prefill, std::unique_ptr<SqlitePoster>& out);
  ~SqlitePoster();
  SqlitePoster(const SqlitePoster&) = delete;
  SqlitePoster& operator=(const SqlitePoster&) = delete;

  // Posts `doc` as one transaction; `seconds` is the time from BEGIN to the
  // end of COMMIT.
  Error post(const Document& doc, double& seconds);

  // The books of the five tables (see Books).
  Error readBooks(Books& out);

 private:
  struct Statements;
  SqlitePoster(sqlite3* db, std::string path);
  Error exec(const std::string& sql);
  Error failure(const std::string& what) const;
  Error prepareAll();
  Error fill(int suppliers, const PrefillPlan& prefill);
  Error writeDocument(const Document& doc);

  sqlite3* db_;
  std::string path_;
  std::unique_ptr<Statements> st_;
  int64_t nextLine_ = 1, nextItem_ = 1, nextEntry_ = 1;  // the autoincrements
};

}  // namespace postbench
