// The one-condition search of the party list: the query text made of the
// chosen column, operator and typed parameter.
//
// Texts are compared as typed (LIKE is case-sensitive). The parameter is
// put between single quotes with every quote in it doubled, so that a
// name such as O'Brien is searched for rather than breaking the query or
// changing what it asks. Date columns (dates and timestamps) are searched
// by year, month and day, from a parameter read in the short date format.
#pragma once

#include <string>
#include <string_view>

#include "pdx/value.h"

namespace inquiry {

// The operators of the list, in list order.
inline constexpr const char* kSearchOperators[] = {"=", ">", "<", "<>", "CONTAINING"};
inline constexpr int kContaining = 4;

// `text` between single quotes, each quote inside doubled.
std::string quotedLiteral(std::string_view text);

struct SearchRequest {
  std::string table;      // as the texts name it: "cli", "sup"
  std::string field;      // the column searched
  bool dateField = false;
  int op = 0;             // index into kSearchOperators
  std::string parameter;  // as typed
};

// The query text, or "SELECT * FROM <table>" when the parameter is blank.
// A date column with CONTAINING has no text (""): the query cannot run.
// `shortDateFormat` reads a date parameter; one that is no date counts as
// `today`.
std::string searchText(const SearchRequest& request, std::string_view shortDateFormat, pdx::Date today);

// The text for a date column and a date (year, month and day compared).
std::string dateSearchText(const std::string& table, const std::string& field, int op, pdx::Date date);

}  // namespace inquiry
