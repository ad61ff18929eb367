// Where generated ledger rows go: straight into a company directory's
// tables, held in write groups.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "pdx/table.h"
#include "rows.h"

namespace admin {

class LedgerSink {
 public:
  virtual ~LedgerSink() = default;
  virtual pdx::Status add(std::string_view table, const Row& row) = 0;
  // Adds a row and returns the value the engine assigned to `field` (an
  // autoincrement such as a receipt's Seq).
  virtual pdx::Result<int64_t> addReading(std::string_view table, const Row& row, std::string_view field) = 0;
};

// Writes into the tables of one directory. Rows are held in a write group
// and committed every `batchRows` rows and at finish(), so that a company is
// written in few durable steps; a failure before finish() leaves the rows of
// the open batch unwritten.
class TableSink : public LedgerSink {
 public:
  TableSink(std::shared_ptr<pdx::Directory> dir, int64_t batchRows);
  ~TableSink() override;

  pdx::Status add(std::string_view table, const Row& row) override;
  pdx::Result<int64_t> addReading(std::string_view table, const Row& row, std::string_view field) override;
  // Commits the open batch.
  pdx::Status finish();
  int64_t rowsWritten() const { return rows_; }

 private:
  pdx::Result<pdx::Table*> tableFor(std::string_view name);
  pdx::Status counted();

  std::shared_ptr<pdx::Directory> dir_;
  int64_t batchRows_;
  int64_t rows_ = 0;
  int64_t inBatch_ = 0;
  std::unique_ptr<pdx::WriteGroup> group_;
  std::map<std::string, std::unique_ptr<pdx::Table>, std::less<>> tables_;
};

}  // namespace admin
