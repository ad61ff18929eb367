// Local SQL over the tables of a pdx::Directory.
//
// The language is what the suite's windows run, and it only reads:
//
//   SELECT * FROM table [WHERE condition] [ORDER BY field [ASC|DESC], ...] [;]
//
// Keywords, table and field names are matched without regard to case; a
// table name may carry ".db"; a name that is not a plain word may be written
// in double quotes ("Order no"). Line breaks count as blanks.
//
// Conditions: `subject op value` with op one of = <> < > <= >=, where the
// subject is a field or EXTRACT(YEAR|MONTH|DAY FROM field) and the value a
// literal or a parameter (either side may come first); `field [NOT] LIKE
// pattern`; `field IS [NOT] NULL`; AND, OR, NOT and parentheses. Literals are
// numbers (12, -4, 12.50: plain decimals, compared exactly) and text in single
// quotes ('O''Brien': a doubled quote stands for one). A number written right
// against a word reads as the number then the word ("=3AND" is "= 3 AND").
// Parameters are `:name`; their values are bound typed (pdx::Value) and are
// never read as SQL text.
//
// Values meet fields this way:
//   - text fields (alpha, memo) compare byte for byte in UTF-8, with case,
//     ignoring trailing blanks. LIKE is case-sensitive; % stands for any run
//     of characters, _ for exactly one.
//   - quoted text against any other type is converted to the field's type:
//     numbers as plain decimals ('12.5', '-3'), dates as YYYY-MM-DD (the
//     windows pass dates only through EXTRACT; the short forms MM/DD/YYYY and
//     DD/MM/YYYY cannot be told apart, so they are refused), times as
//     HH:MM:SS[.mmm], timestamps as YYYY-MM-DD[ HH:MM:SS[.mmm]] (T may stand
//     for the blank), logical values as true/false, t/f, yes/no or y/n, in
//     any case. Text that does not convert is an error, never a silent false.
//   - a blank field is NULL: a comparison or LIKE with it is unknown, so it
//     is neither = nor <> to anything, and NOT keeps it unknown (three-valued
//     logic); IS [NOT] NULL tests for it. One exception: Paradox cannot tell
//     an empty text from a blank one, so the empty text ('' or a blank
//     parameter) stands for blank: `= ''` finds the blank text fields and
//     `<> ''` the others, as the search windows expect. A NULL literal does
//     not exist; a blank parameter against any other type is NULL.
//   - money and number fields compare as the stored 64-bit floating point
//     numbers; short, long, autoincrement and BCD fields and EXTRACT compare
//     exactly with the decimal written.
//
// Errors are values (pdx::Status / pdx::Result). A message names the place
// in the query text as "line L, column C" (columns count characters from 1)
// and the reason. Codes are the engine's (code::kTableNotFound for an unknown
// table, its own codes for a damaged file) or those below.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/table.h"
#include "pdx/value.h"
#include "sql/row_set.h"

namespace sql {

// Error codes of the query layer: category 0x2E (query), sub-codes below.
namespace code {
inline constexpr uint8_t kQueryCategory = 0x2E;
inline constexpr uint16_t kSyntaxError = 0x2E01;       // the text is not a query of the language above
inline constexpr uint16_t kUnknownField = 0x2E02;      // the table has no such field
inline constexpr uint16_t kTypeMismatch = 0x2E03;      // a value that cannot meet the field's type
inline constexpr uint16_t kUnboundParameter = 0x2E04;  // execute() before a parameter has a value
inline constexpr uint16_t kUnknownParameter = 0x2E05;  // bind() of a name the query does not use
inline constexpr uint16_t kNotAllowed = 0x2E06;        // a statement other than one SELECT
inline constexpr uint16_t kTooComplex = 0x2E07;        // text too long or conditions nested too deep
inline constexpr uint16_t kOutOfMemory = 0x2E08;       // the result does not fit in memory
}  // namespace code

// Longest query text accepted, in bytes.
inline constexpr size_t kMaxQueryLength = 64 * 1024;
// Deepest nesting of parentheses and NOT accepted.
inline constexpr int kMaxNesting = 200;

namespace detail {
struct Statement;
}

// A prepared query and the values of its parameters. Copies share the
// prepared statement and have their own parameter values.
class Query {
 public:
  // Parses `text`. kSyntaxError, kNotAllowed (INSERT, UPDATE, DELETE, DROP,
  // ..., or a second statement after ';') or kTooComplex, with the position.
  // Names of tables and fields are checked by execute(), which sees the table.
  static pdx::Result<Query> prepare(std::string_view text);

  Query(const Query&);
  Query& operator=(const Query&);
  Query(Query&&) noexcept;
  Query& operator=(Query&&) noexcept;
  ~Query();

  // The text given to prepare().
  const std::string& text() const;
  // The table named after FROM, as written.
  const std::string& tableName() const;
  // The parameters, without the colon, in order of first use, each once
  // (names that differ only in case are one parameter).
  const std::vector<std::string>& parameterNames() const;

  // Gives parameter `name` (with or without the leading ':', any case) a
  // value, replacing any earlier one. A blank value (pdx::Value()) is NULL,
  // or the empty text (blank) against a text field. kUnknownParameter when the query
  // has no such parameter. Whether the value suits its field is checked by
  // execute().
  pdx::Status bind(std::string_view name, pdx::Value value);
  // Forgets every bound value.
  void clearBindings();

  // Runs the query against the tables of `directory`, which it opens
  // read-only. Errors: code::kTableNotFound (unknown table), kUnknownField,
  // kTypeMismatch, kUnboundParameter, kOutOfMemory, and the engine's codes for
  // a table it cannot read. An equality on leading primary-key fields reads
  // only the matching records through the index; an ORDER BY that the
  // table's key order already gives is not sorted; any other ORDER BY is a
  // stable sort (rows that tie keep table order), blanks first when
  // ascending and last when descending.
  pdx::Result<std::unique_ptr<RowSet>> execute(pdx::Directory& directory) const;

 private:
  explicit Query(std::shared_ptr<const detail::Statement> statement);
  int parameterIndex(std::string_view name) const;

  std::shared_ptr<const detail::Statement> statement_;
  std::vector<std::optional<pdx::Value>> values_;  // by position in parameterNames()
};

}  // namespace sql
