// The two sides of sql_bench: the engine with its local SQL, and SQLite.
//
// Each side builds the tables of sql_bench_data.h in its own folder and runs
// the same query texts:
//
//   SELECT * FROM cap WHERE Cap_supplier = :s ORDER BY Cap_invoice, Cap_ref, Cap_date, Cap_type
//   SELECT * FROM cli WHERE Cli_name LIKE '%abc%'
//
// prepared once, then bound and run again and again, reading every field of
// every row as an application does, into a Checksum.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql_bench_data.h"

namespace sqlbench {

// An error message; empty on success.
using Error = std::string;

inline constexpr const char* kSupplierQuery =
    "SELECT * FROM cap WHERE Cap_supplier = :s ORDER BY Cap_invoice, Cap_ref, Cap_date, Cap_type";
inline constexpr const char* kLikeQuery = "SELECT * FROM cli WHERE Cli_name LIKE '%abc%'";

// The engine's tables have blocks of 16 KiB: a million records of cap's 279
// bytes do not fit in the 65,535 blocks a table may have at 4 KiB. Its cache
// holds 2,048 blocks of each table, 32 MiB, and SQLite gets a page cache of
// that size (each workload reads one table).
inline constexpr int kBlockSize = 16384;
inline constexpr int kSqliteCacheKiB = 2048 * kBlockSize / 1024;

// How SQLite stores a table. Both layouts declare PRIMARY KEY on the
// engine's key fields. kWithoutRowid keeps the rows in that key's b-tree, in
// key order, as the engine keeps its records in key order in its blocks: a
// supplier's items are one range of it. kRowid is a rowid table with the key
// as a separate index; rows inserted in key order lie in key order in the
// table's own b-tree too, and a full scan reads that one.
enum class SqliteLayout { kWithoutRowid, kRowid };

struct SqliteLayouts {
  // Each table as SQLite reads it fastest for its workload here.
  SqliteLayout cap = SqliteLayout::kWithoutRowid;
  SqliteLayout cli = SqliteLayout::kRowid;
};

class Side {
 public:
  virtual ~Side() = default;
  // Removes a table and everything of it, when it is there.
  virtual Error dropTable(const std::string& table) = 0;
  // Creates cap and fills it in key order.
  virtual Error buildCap(const CapShape& shape) = 0;
  virtual Error buildCli(int64_t clients) = 0;
  // Runs the supplier query once for each code, in order.
  virtual Error supplierItems(const std::vector<std::string>& codes, Checksum& sum) = 0;
  // Runs the LIKE query `runs` times.
  virtual Error clientLike(int64_t runs, Checksum& sum) = 0;
  // Reads a whole table back in key order (a check, untimed).
  virtual Error readAll(const std::string& table, Checksum& sum) = 0;
};

// The engine in `dir`: tables built through Env::unsynced() in write groups
// of a supplier's items each; queries through sql::Query on a Directory of
// Env::standard(), kept open for the whole run. Each run of a query opens
// its table and closes it at the end (the Directory may keep what it read
// for the next open), unless `holdTables`, which keeps a read-only cursor
// open on each queried table for the whole run (as a window that shows the
// table does).
Error openEngine(const std::string& dir, bool holdTables, std::unique_ptr<Side>& out);

// SQLite in file `path`: 4 KiB pages, a page cache of kSqliteCacheKiB, pread
// rather than mmap, a connection without mutexes, the default NORMAL locking
// mode, case-sensitive LIKE (as the engine's). `pragmas` run after those
// settings ("mmap_size=N" and the like).
Error openSqlite(const std::string& path, SqliteLayouts layouts, const std::vector<std::string>& pragmas,
                 std::unique_ptr<Side>& out);

}  // namespace sqlbench
