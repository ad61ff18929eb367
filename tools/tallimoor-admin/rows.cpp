#include "rows.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "db/money.h"

namespace admin {

namespace {
bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string tableOf(const pdx::Table& table) {
  return std::filesystem::path(table.path()).filename().string();
}
}  // namespace

pdx::Value fixedMoney(int64_t tenThousandths) { return pdx::Value::number(db::Money::fromUnits(tenThousandths).toDouble()); }

pdx::Status insertRow(pdx::Table& table, const Row& row) {
  auto failed = [&](const std::string& where, const pdx::Status& st) {
    (void)table.cancel();
    return pdx::Status(st.code(), tableOf(table) + where + ": " + st.message());
  };
  pdx::Status st = table.insert();
  if (!st.ok()) return failed("", st);
  for (const auto& [name, value] : row) {
    st = table.set(name, value);
    if (!st.ok()) return failed(", field " + name, st);
  }
  st = table.post();
  if (!st.ok()) return failed("", st);
  return pdx::Status::Ok();
}

pdx::Result<int64_t> insertRowReading(pdx::Table& table, const Row& row, std::string_view assignedField) {
  PDX_RETURN_IF_ERROR(insertRow(table, row));
  PDX_ASSIGN_OR_RETURN(pdx::Value v, table.get(assignedField));
  if (v.kind() != pdx::Value::Kind::kInteger)
    return pdx::Status(pdx::code::kInvalidValue, tableOf(table) + ": " + std::string(assignedField) + " was not assigned");
  return v.asInteger();
}

pdx::Result<std::unique_ptr<pdx::Table>> openForWriting(pdx::Directory& dir, std::string_view name) {
  auto table = dir.openTable(name);
  if (!table.ok())
    return pdx::Status(table.status().code(), std::string(name) + " in " + dir.path() + ": " + table.status().message());
  return std::move(table).value();
}

std::string truncateText(const std::string& text, size_t characters) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == characters) return text.substr(0, i);
  }
  return text;
}

const pdx::Value& valueOf(const Row& row, std::string_view field) {
  static const pdx::Value kNull;
  for (const auto& [name, value] : row)
    if (equalsIgnoreCase(name, field)) return value;
  return kNull;
}

bool tableFileExists(const std::string& dir, std::string_view name) {
  std::error_code ec;
  const std::string wanted = std::string(name) + ".db";
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (equalsIgnoreCase(it->path().filename().string(), wanted)) return true;
  return false;
}

}  // namespace admin
