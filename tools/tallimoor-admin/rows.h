// Rows written by field name, and the small steps every command takes to
// write them: insert a row, look rows up, hold writes in a group.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/table_def.h"
#include "pdx/table.h"

namespace admin {

// A row as (field name, value) pairs; fields not named stay blank.
using Row = std::vector<std::pair<std::string, pdx::Value>>;

// Value shorthands.
inline pdx::Value text(std::string s) { return pdx::Value::text(std::move(s)); }
inline pdx::Value integer(int64_t v) { return pdx::Value::integer(v); }
inline pdx::Value money(double v) { return pdx::Value::number(v); }
inline pdx::Value logical(bool v) { return pdx::Value::logical(v); }
inline pdx::Value date(pdx::Date d) { return pdx::Value::date(d); }
// Money from a fixed-point amount (ten-thousandths).
pdx::Value fixedMoney(int64_t tenThousandths);

// Inserts and posts one row. On failure the insert is cancelled and the
// status names the table and, where it lies there, the field.
pdx::Status insertRow(pdx::Table& table, const Row& row);
// The same, then reads back a field the engine assigned (an autoincrement).
pdx::Result<int64_t> insertRowReading(pdx::Table& table, const Row& row, std::string_view assignedField);

// Opens a table for writing; the status names the table when it fails.
pdx::Result<std::unique_ptr<pdx::Table>> openForWriting(pdx::Directory& dir, std::string_view name);

// The first `characters` characters of UTF-8 text (never half a character).
std::string truncateText(const std::string& text, size_t characters);

// Value of a field of a row, or a null value when the row does not name it.
const pdx::Value& valueOf(const Row& row, std::string_view field);

// True when `dir` exists and holds a table of that name (found without
// regard to case). Looks at the file names only; opens nothing.
bool tableFileExists(const std::string& dir, std::string_view name);

}  // namespace admin
