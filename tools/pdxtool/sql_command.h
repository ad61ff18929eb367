// pdxtool sql: runs one SELECT query on the tables of a directory.
//
//   pdxtool sql DIR "QUERY" [--param name=value ...]
//
// The rows are printed as `pdxtool dump` prints a table: the field names on
// the first line, then one line per row, tab-separated, each value in the one
// text form of dump_format.h. A parameter's value is given as text and meets
// its field as quoted text in the query would ('12.5' against money, dates as
// YYYY-MM-DD); an empty value is a blank (NULL). The query can only read.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace pdxtool {

// `args` are the arguments after "sql". Writes the rows to `out`; on any
// error (usage, query, table) writes one line to `err` and returns 1.
int runSqlCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pdxtool
