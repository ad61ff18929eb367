// A parsed query, before it meets its table.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"

namespace sql::detail {

enum class DatePart { kYear, kMonth, kDay };
enum class CompareOp { kEqual, kNotEqual, kLess, kGreater, kLessEqual, kGreaterEqual };

// One side of a comparison.
struct Operand {
  enum class Kind {
    kField,      // text = field name
    kExtract,    // text = field name, part = what to extract
    kNumber,     // text = plain decimal with its sign: "-12.50"
    kText,       // text = the quoted text, quotes undone
    kParameter,  // text = parameter name; parameter = its index in Statement::parameters
  };
  Kind kind = Kind::kField;
  std::string text;
  DatePart part = DatePart::kYear;
  int parameter = -1;
  size_t offset = 0;  // in the query text, for messages

  // A field or EXTRACT: the side whose values come from the table.
  bool isSubject() const { return kind == Kind::kField || kind == Kind::kExtract; }
};

struct Condition {
  enum class Kind { kAnd, kOr, kNot, kCompare, kLike, kIsNull };
  Kind kind = Kind::kCompare;
  // kAnd, kOr: two or more; kNot: one. A chain of ANDs (or ORs) is one node,
  // so that a long chain does not nest deeply.
  std::vector<std::unique_ptr<Condition>> children;
  // kCompare: subject op value. The parser puts the field or EXTRACT on the
  // left, turning the operator round when the query had it on the right.
  CompareOp op = CompareOp::kEqual;
  Operand subject;
  Operand value;  // kCompare: the literal or parameter; kLike: the pattern
  bool negated = false;  // NOT LIKE, IS NOT NULL
  size_t offset = 0;     // of the operator
};

struct OrderItem {
  std::string field;
  bool descending = false;
  size_t offset = 0;
};

struct Statement {
  std::string text;  // the whole query, for messages
  std::string table;
  size_t tableOffset = 0;
  std::unique_ptr<Condition> where;  // null: every row
  std::vector<OrderItem> orderBy;
  // Parameters in order of first use; the first spelling is kept.
  std::vector<std::string> parameters;
};

// Parses a query. Errors as Query::prepare.
pdx::Result<std::unique_ptr<Statement>> parseStatement(std::string_view text);

// True when `a` and `b` are the same without regard to ASCII case.
bool sameName(std::string_view a, std::string_view b);

}  // namespace sql::detail
