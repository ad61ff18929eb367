#include "party_search.h"

#include "db/formats.h"

namespace inquiry {

namespace {

std::string trimmed(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const size_t e = s.find_last_not_of(" \t");
  return std::string(s.substr(b, e - b + 1));
}

}  // namespace

std::string quotedLiteral(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string dateSearchText(const std::string& table, const std::string& field, int op, pdx::Date date) {
  int y = 0, m = 0, d = 0;
  date.toYmd(y, m, d);
  const std::string Y = std::to_string(y), M = std::to_string(m), D = std::to_string(d), F = field;
  const std::string where = "SELECT * FROM " + table + " WHERE ";
  auto earlierOrLater = [&](const std::string& c) {
    return where + "EXTRACT(YEAR FROM " + F + ")" + c + Y + " OR (EXTRACT(YEAR FROM " + F + ")=" + Y +
           "AND EXTRACT(MONTH FROM " + F + ")" + "=" + M + "AND EXTRACT(DAY FROM " + F + ")" + c + D +
           ")OR (EXTRACT(YEAR FROM " + F + ")=" + Y + "AND EXTRACT(MONTH FROM " + F + ")" + c + M + ");";
  };
  const std::string sameDay = "EXTRACT (YEAR FROM " + F + ")" + "=" + Y + " AND EXTRACT(MONTH FROM " + F + ")" +
                              "=" + M + "AND EXTRACT(DAY FROM " + F + ")" + "=" + D;
  switch (op) {
    case 0: return where + sameDay + ";";
    case 1: return earlierOrLater(">");
    case 2: return earlierOrLater("<");
    // Any other day: not the same year, month and day together. (Asking each
    // part to differ would pass over every date of the same year, month or
    // day of the month.)
    case 3: return where + "NOT (" + sameDay + ");";
    default: return {};
  }
}

std::string searchText(const SearchRequest& r, std::string_view shortDateFormat, pdx::Date today) {
  const std::string parameter = trimmed(r.parameter);
  if (parameter.empty()) return "SELECT * FROM " + r.table;
  if (r.dateField)
    return dateSearchText(r.table, r.field, r.op, db::parseDate(parameter, shortDateFormat).value_or(today));
  const std::string where = "SELECT * FROM " + r.table + " WHERE " + r.field;
  if (r.op == kContaining) return where + " LIKE " + quotedLiteral("%" + parameter + "%") + ";";
  const int op = r.op >= 0 && r.op < kContaining ? r.op : 0;
  return where + " " + kSearchOperators[op] + quotedLiteral(parameter) + ";";
}

}  // namespace inquiry
