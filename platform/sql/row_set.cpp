#include "sql/row_set.h"

#include <algorithm>

#include "statement.h"

namespace sql {

RowSet::RowSet(std::string tablePath, std::vector<pdx::FieldDef> fields, std::vector<pdx::Value> values,
               ExecutionStats stats)
    : tablePath_(std::move(tablePath)), fields_(std::move(fields)), values_(std::move(values)), stats_(stats) {
  rowCount_ = fields_.empty() ? 0 : static_cast<int64_t>(values_.size() / fields_.size());
  (void)first();
}

RowSet::RowSet(std::string tablePath, std::vector<pdx::FieldDef> fields, std::string records,
               std::shared_ptr<const pdx::RecordDecoder> decoder, const std::vector<int>& eager,
               std::vector<pdx::Value> eagerValues, std::map<std::pair<int64_t, int>, pdx::Value> longMemos,
               ExecutionStats stats)
    : tablePath_(std::move(tablePath)),
      fields_(std::move(fields)),
      values_(std::move(eagerValues)),
      eagerSlot_(fields_.size(), -1),
      eagerCount_(eager.size()),
      longMemos_(std::move(longMemos)),
      records_(std::move(records)),
      decoder_(std::move(decoder)),
      recordSize_(static_cast<size_t>(decoder_->recordSize())),
      row_(fields_.size()),
      decoded_(fields_.size(), -1),
      stats_(stats) {
  rowCount_ = recordSize_ == 0 ? 0 : static_cast<int64_t>(records_.size() / recordSize_);
  for (size_t k = 0; k < eager.size(); ++k) eagerSlot_[static_cast<size_t>(eager[k])] = static_cast<int>(k);
  (void)first();
}

int RowSet::fieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (detail::sameName(fields_[i].name, name)) return static_cast<int>(i);
  return -1;
}

pdx::Status RowSet::first() {
  bof_ = true;
  if (rowCount_ == 0) {
    eof_ = true;
    current_ = -1;
    return pdx::Status(pdx::code::kEof, "the query returned no rows");
  }
  eof_ = false;
  current_ = 0;
  return {};
}

pdx::Status RowSet::last() {
  eof_ = true;
  if (rowCount_ == 0) {
    bof_ = true;
    current_ = -1;
    return pdx::Status(pdx::code::kEof, "the query returned no rows");
  }
  bof_ = false;
  current_ = rowCount_ - 1;
  return {};
}

pdx::Status RowSet::next() {
  bof_ = false;
  if (current_ < 0 || current_ + 1 >= rowCount_) {
    eof_ = true;
    return pdx::Status(pdx::code::kEof, "after the last row of the query");
  }
  eof_ = false;
  ++current_;
  return {};
}

pdx::Status RowSet::prior() {
  eof_ = false;
  if (current_ <= 0) {
    bof_ = true;
    return pdx::Status(pdx::code::kBof, "before the first row of the query");
  }
  bof_ = false;
  --current_;
  return {};
}

pdx::Status RowSet::moveTo(int64_t position) {
  if (position < 0) return pdx::Status(pdx::code::kBof, "row " + std::to_string(position) + " is before the first");
  if (position >= rowCount_)
    return pdx::Status(pdx::code::kEof, "row " + std::to_string(position) + " is past the last of " +
                                            std::to_string(rowCount_));
  current_ = position;
  eof_ = bof_ = false;
  return {};
}

const pdx::Value* RowSet::at(int field) const {
  if (current_ < 0 || field < 0 || static_cast<size_t>(field) >= fields_.size()) return nullptr;
  const auto f = static_cast<size_t>(field);
  if (!decoder_) return &values_[static_cast<size_t>(current_) * fields_.size() + f];
  if (eagerSlot_[f] >= 0) return &values_[static_cast<size_t>(current_) * eagerCount_ + static_cast<size_t>(eagerSlot_[f])];
  if (!longMemos_.empty())
    if (auto kept = longMemos_.find({current_, field}); kept != longMemos_.end()) return &kept->second;
  if (decoded_[f] != current_) {
    // What the decoder cannot read was kept apart above when the query ran.
    if (!decoder_->decode(storedRecord(), field, row_[f]).ok()) row_[f] = pdx::Value();
    decoded_[f] = current_;
  }
  return &row_[f];
}

std::string_view RowSet::storedRecord() const {
  if (!decoder_ || current_ < 0) return {};
  return std::string_view(records_.data() + static_cast<size_t>(current_) * recordSize_, recordSize_);
}

pdx::Result<pdx::Value> RowSet::get(int field) const {
  if (current_ < 0) return pdx::Status(pdx::code::kNoCurrentRecord, "the query stands on no row");
  const pdx::Value* v = at(field);
  if (!v) return pdx::Status(pdx::code::kInvalidParameter, "the query has no field number " + std::to_string(field));
  return *v;
}

const pdx::Value& RowSet::valueAt(int field) const {
  static const pdx::Value kBlank;
  const pdx::Value* v = at(field);
  return v ? *v : kBlank;
}

pdx::Result<pdx::Value> RowSet::get(std::string_view fieldName) const {
  const int f = fieldIndex(fieldName);
  if (f < 0) return pdx::Status(pdx::code::kInvalidParameter, "the query has no field \"" + std::string(fieldName) + "\"");
  return get(f);
}

}  // namespace sql
