#include "ledger_sink.h"

namespace admin {

TableSink::TableSink(std::shared_ptr<pdx::Directory> dir, int64_t batchRows)
    : dir_(std::move(dir)), batchRows_(batchRows > 0 ? batchRows : 1) {}

TableSink::~TableSink() {
  group_.reset();  // an unfinished batch is rolled back before the tables close
  tables_.clear();
}

pdx::Result<pdx::Table*> TableSink::tableFor(std::string_view name) {
  if (!group_) {
    PDX_ASSIGN_OR_RETURN(group_, dir_->beginGroup());
  }
  auto it = tables_.find(name);
  if (it == tables_.end()) {
    PDX_ASSIGN_OR_RETURN(auto table, openForWriting(*dir_, name));
    it = tables_.emplace(std::string(name), std::move(table)).first;
  }
  return it->second.get();
}

pdx::Status TableSink::counted() {
  ++rows_;
  if (++inBatch_ >= batchRows_) return finish();
  return pdx::Status::Ok();
}

pdx::Status TableSink::add(std::string_view table, const Row& row) {
  PDX_ASSIGN_OR_RETURN(pdx::Table * t, tableFor(table));
  PDX_RETURN_IF_ERROR(insertRow(*t, row));
  return counted();
}

pdx::Result<int64_t> TableSink::addReading(std::string_view table, const Row& row, std::string_view field) {
  PDX_ASSIGN_OR_RETURN(pdx::Table * t, tableFor(table));
  PDX_ASSIGN_OR_RETURN(int64_t value, insertRowReading(*t, row, field));
  PDX_RETURN_IF_ERROR(counted());
  return value;
}

pdx::Status TableSink::finish() {
  inBatch_ = 0;
  if (!group_) return pdx::Status::Ok();
  pdx::Status st = group_->commit();
  group_.reset();
  return st;
}

}  // namespace admin
