// Writes table layouts the way they read on paper: one call per field, one
// call per run of numbered fields (Debit1 ... Debit15).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/table_def.h"

namespace data::detail {

class LayoutBuilder {
 public:
  LayoutBuilder(std::string name, Location location) {
    def_.name = std::move(name);
    def_.location = location;
  }

  LayoutBuilder& alpha(std::string name, int length = kDefaultAlphaLength) {
    return add(std::move(name), pdx::FieldType::kAlpha, length);
  }
  LayoutBuilder& longInt(std::string name) { return add(std::move(name), pdx::FieldType::kLong); }
  LayoutBuilder& shortInt(std::string name) { return add(std::move(name), pdx::FieldType::kShort); }
  LayoutBuilder& number(std::string name) { return add(std::move(name), pdx::FieldType::kNumber); }
  LayoutBuilder& money(std::string name) { return add(std::move(name), pdx::FieldType::kMoney); }
  LayoutBuilder& date(std::string name) { return add(std::move(name), pdx::FieldType::kDate); }
  LayoutBuilder& time(std::string name) { return add(std::move(name), pdx::FieldType::kTime); }
  LayoutBuilder& timestamp(std::string name) { return add(std::move(name), pdx::FieldType::kTimestamp); }
  LayoutBuilder& logical(std::string name) { return add(std::move(name), pdx::FieldType::kLogical); }
  LayoutBuilder& autoInc(std::string name) { return add(std::move(name), pdx::FieldType::kAutoInc); }
  // `inRecord`: the leading bytes of the memo kept in the record itself.
  LayoutBuilder& memo(std::string name, int inRecord) { return add(std::move(name), pdx::FieldType::kMemo, inRecord); }
  LayoutBuilder& blob(std::string name, int inRecord) { return add(std::move(name), pdx::FieldType::kBlob, inRecord); }
  LayoutBuilder& bytes(std::string name, int size) { return add(std::move(name), pdx::FieldType::kBytes, size); }

  // The fields prefix+first ... prefix+last, all of one type and size.
  LayoutBuilder& run(std::string_view prefix, int first, int last, pdx::FieldType type, int size = 0) {
    for (int k = first; k <= last; ++k) add(std::string(prefix) + std::to_string(k), type, size);
    return *this;
  }

  LayoutBuilder& key(int fieldCount) {
    def_.keyFieldCount = fieldCount;
    return *this;
  }
  LayoutBuilder& indexes(std::vector<std::string> fieldLists) {
    def_.indexFieldLists = std::move(fieldLists);
    return *this;
  }

  TableDef build() { return std::move(def_); }

  // An alpha field whose length a layout does not state.
  static constexpr int kDefaultAlphaLength = 20;

 private:
  LayoutBuilder& add(std::string name, pdx::FieldType type, int size = 0) {
    def_.fields.push_back(pdx::FieldDef{std::move(name), type, size});
    return *this;
  }
  TableDef def_;
};

}  // namespace data::detail
