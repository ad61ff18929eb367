// The rows a query returned.
//
// A RowSet is a snapshot: execute() reads every matching record once, in the
// result order, and keeps it; later writes to the table do not show in it.
// Rows the table yielded in result order are kept as the table stores them
// and a value is decoded when it is first read on the current row; sorted
// rows are kept decoded. It is read-only and has a cursor that moves the way a pdx::Table
// cursor does, so that the dataset layer can wrap either the same way.
//
// Threads: a RowSet belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/table.h"
#include "pdx/value.h"

namespace sql {

namespace detail {
class Executor;
}

// What the executor did to answer a query. Tests and diagnostics read it to
// see whether the primary index served a query.
struct ExecutionStats {
  // Records read from the table, matching or not.
  int64_t rowsVisited = 0;
  // Leading primary-key fields whose equality the index served (0 when the
  // whole table was scanned).
  int keyFieldsUsed = 0;
  // True when the rows were sorted after reading; false when the order in
  // which the table yields them already is the ORDER BY order.
  bool sorted = false;
};

class RowSet {
 public:
  RowSet(const RowSet&) = delete;
  RowSet& operator=(const RowSet&) = delete;

  // The file of the table the rows come from.
  const std::string& tablePath() const { return tablePath_; }
  // The table's fields, in table order (every query is SELECT *).
  const std::vector<pdx::FieldDef>& fields() const { return fields_; }
  // Index of the field called `name` (without regard to case), or -1.
  int fieldIndex(std::string_view name) const;
  int64_t rowCount() const { return rowCount_; }
  const ExecutionStats& stats() const { return stats_; }

  // ---- navigation, as pdx::Table: each move returns code::kEof / kBof when
  // there is nowhere to go, and the cursor then stays where it was (on no row
  // when the set is empty). A new RowSet stands on its first row.
  pdx::Status first();  // bof() is true afterwards
  pdx::Status last();   // eof() is true afterwards
  pdx::Status next();
  pdx::Status prior();
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  // True when the cursor stands on a row.
  bool hasRecord() const { return current_ >= 0; }
  // 0-based position of the current row, or -1.
  int64_t position() const { return current_; }
  // Stands on row `position` (0-based); kEof past the last row and kBof
  // before the first, leaving the cursor unmoved.
  pdx::Status moveTo(int64_t position);

  // A value of the current row: kNoCurrentRecord when the cursor stands on no
  // row, kInvalidParameter for a field the table does not have.
  pdx::Result<pdx::Value> get(int field) const;
  pdx::Result<pdx::Value> get(std::string_view fieldName) const;
  // The same value without a copy: a reference into the set, valid until the
  // cursor moves. A blank value when get() would fail (no current row, no
  // such field).
  const pdx::Value& valueAt(int field) const;
  // The current row as its table stores it, with the decoder that reads it,
  // where the set keeps its rows that way (see above); empty and null
  // otherwise.
  std::string_view storedRecord() const;
  const pdx::RecordDecoder* decoder() const { return decoder_.get(); }

 private:
  friend class detail::Executor;
  RowSet(std::string tablePath, std::vector<pdx::FieldDef> fields, std::vector<pdx::Value> values,
         ExecutionStats stats);
  RowSet(std::string tablePath, std::vector<pdx::FieldDef> fields, std::string records,
         std::shared_ptr<const pdx::RecordDecoder> decoder, const std::vector<int>& eager,
         std::vector<pdx::Value> eagerValues, std::map<std::pair<int64_t, int>, pdx::Value> longMemos,
         ExecutionStats stats);
  // The value of `field` on the current row; null when there is none.
  const pdx::Value* at(int field) const;

  std::string tablePath_;
  std::vector<pdx::FieldDef> fields_;
  // Row r, field f is values_[r * fields_.size() + f]; or, with a decoder,
  // row r is the stored record at records_[r * recordSize], whose values
  // are decoded into row_ as they are read (decoded_[f]: the row whose value
  // row_[f] holds),
  // but for the fields read at once: field f is then
  // values_[r * eagerCount_ + eagerSlot_[f]].
  std::vector<pdx::Value> values_;
  std::vector<int> eagerSlot_;  // -1 for a field decoded when read
  size_t eagerCount_ = 0;
  // Memos too long for their record, read when the query ran: (row, field).
  std::map<std::pair<int64_t, int>, pdx::Value> longMemos_;
  std::string records_;
  std::shared_ptr<const pdx::RecordDecoder> decoder_;
  size_t recordSize_ = 0;
  mutable std::vector<pdx::Value> row_;
  mutable std::vector<int64_t> decoded_;
  int64_t rowCount_ = 0;
  ExecutionStats stats_;
  int64_t current_ = -1;
  bool eof_ = true;
  bool bof_ = true;
};

}  // namespace sql
