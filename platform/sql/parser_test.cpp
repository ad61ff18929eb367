// The tokenizer and parser on the shapes the windows send and on broken text.
#include <gtest/gtest.h>

#include "lexer.h"
#include "sql/query.h"
#include "statement.h"

namespace sql::detail {
namespace {

using namespace std::string_view_literals;

std::unique_ptr<Statement> parsed(const std::string& text) {
  auto st = parseStatement(text);
  EXPECT_TRUE(st.ok()) << text << "\n" << st.status().toString();
  return st.ok() ? std::move(st).value() : nullptr;
}

void expectCompare(const Condition& c, Operand::Kind subject, DatePart part, CompareOp op, const std::string& value) {
  ASSERT_EQ(c.kind, Condition::Kind::kCompare);
  EXPECT_EQ(c.subject.kind, subject);
  if (subject == Operand::Kind::kExtract) {
    EXPECT_EQ(c.subject.part, part);
  }
  EXPECT_EQ(c.op, op);
  EXPECT_EQ(c.value.text, value);
}

TEST(SqlParser, ClausesNamesAndParameters) {
  auto st = parsed("SELECT * FROM cap\nWHERE Cap_supplier = :supplier\nORDER BY  Cap_invoice, Cap_ref DESC, Cap_date, Cap_type ASC;");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->table, "cap");
  ASSERT_EQ(st->orderBy.size(), 4u);
  EXPECT_EQ(st->orderBy[1].field, "Cap_ref");
  EXPECT_TRUE(st->orderBy[1].descending);
  EXPECT_FALSE(st->orderBy[3].descending);
  EXPECT_EQ(st->where->value.kind, Operand::Kind::kParameter);

  // A value written first: the field moves left and the operator turns round.
  st = parsed("select * from CLI.DB where 'x' >= \"Cli name\" and :p < Cli_terms and :P <> Cli_x and :q = Cli_y");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->table, "CLI.DB");
  ASSERT_EQ(st->where->children.size(), 4u);
  const Condition& first = *st->where->children[0];
  expectCompare(first, Operand::Kind::kField, DatePart::kYear, CompareOp::kLessEqual, "x");
  EXPECT_EQ(first.subject.text, "Cli name");
  expectCompare(*st->where->children[1], Operand::Kind::kField, DatePart::kYear, CompareOp::kGreater, "p");
  EXPECT_EQ(st->parameters, (std::vector<std::string>{"p", "q"}));
  EXPECT_EQ(st->where->children[2]->value.parameter, 0);
  EXPECT_EQ(st->where->children[3]->value.parameter, 1);

  st = parsed("SELECT * FROM t WHERE NOT a LIKE 'x%' AND b NOT LIKE :p AND c IS NOT NULL AND d IS NULL AND e = +.5");
  ASSERT_TRUE(st);
  const auto& c = st->where->children;
  ASSERT_EQ(c.size(), 5u);
  EXPECT_EQ(c[0]->kind, Condition::Kind::kNot);
  EXPECT_EQ(c[0]->children[0]->kind, Condition::Kind::kLike);
  EXPECT_FALSE(c[0]->children[0]->negated);
  EXPECT_TRUE(c[1]->kind == Condition::Kind::kLike && c[1]->negated);
  EXPECT_TRUE(c[2]->kind == Condition::Kind::kIsNull && c[2]->negated);
  EXPECT_TRUE(c[3]->kind == Condition::Kind::kIsNull && !c[3]->negated);
  EXPECT_EQ(c[4]->value.text, ".5");

  // Words that are keywords only inside EXTRACT remain field names.
  st = parsed("SELECT * FROM arori WHERE Date = '2023-01-01' AND Year > 3 AND Extract = 1 ORDER BY Date");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->where->children[0]->subject.text, "Date");
  EXPECT_EQ(st->where->children[2]->subject.kind, Operand::Kind::kField);
}

struct BadText {
  std::string_view text;
  uint16_t code;
  const char* where;  // expected position in the message
  const char* says;   // expected part of the reason
};

TEST(SqlParser, ErrorsSayWhereAndWhy) {
  const BadText cases[] = {
      {"", code::kSyntaxError, "line 1, column 1", "expected SELECT"},
      {"SELECT Cli_code FROM cli", code::kSyntaxError, "column 8", "only SELECT *"},
      {"SELECT * FORM cli", code::kSyntaxError, "column 10", "expected FROM, found \"FORM\""},
      {"SELECT * FROM", code::kSyntaxError, "column 14", "a table name"},
      {"SELECT * FROM cli.px", code::kSyntaxError, "column 19", "DB"},
      {"SELECT * FROM cli WHERE", code::kSyntaxError, "column 24", "the end of the query"},
      {"SELECT * FROM cli\n  WHERE a =", code::kSyntaxError, "line 2, column 12", "a field, a value or a parameter"},
      {"SELECT * FROM cli WHERE (a = 1", code::kSyntaxError, "column 31", "')' to close the '(' at line 1, column 25"},
      {"SELECT * FROM cli WHERE a = 1)", code::kSyntaxError, "column 30", "AND, OR, ORDER BY"},
      {"SELECT * FROM cli WHERE 1 = 2", code::kSyntaxError, "column 27", "neither side"},
      {"SELECT * FROM cli WHERE a = b", code::kSyntaxError, "column 27", "two fields"},
      {"SELECT * FROM cli WHERE a LIKE 5", code::kSyntaxError, "column 32", "pattern in quotes"},
      {"SELECT * FROM cli WHERE EXTRACT(YEAR FROM d) LIKE 'x'", code::kSyntaxError, "column 46", "text field"},
      {"SELECT * FROM cli WHERE EXTRACT(WEEK FROM d) = 1", code::kSyntaxError, "column 33", "YEAR, MONTH or DAY"},
      {"SELECT * FROM cli WHERE a = NULL", code::kSyntaxError, "column 29", "IS NULL"},
      {"SELECT * FROM cli WHERE a = - 'x'", code::kSyntaxError, "column 31", "a number after the sign"},
      {"SELECT * FROM cli WHERE a = : p", code::kSyntaxError, "column 29", "parameter name"},
      {"SELECT * FROM cli WHERE a # 1", code::kSyntaxError, "column 27", "unexpected character '#'"},
      {"SELECT * FROM cli WHERE a = 'x\0'"sv, code::kSyntaxError, "column 31", "NUL character"},
      {"SELECT * FROM cli WHERE a = 'é", code::kSyntaxError, "column 29", "no closing quote"},
      {"SELECT * FROM cli WHERE é = 'x\xE9'", code::kSyntaxError, "column 29", "not valid UTF-8"},
      {"SELECT * FROM cli WHERE a = 1 \xC0\x80", code::kSyntaxError, "column 31", "not valid UTF-8"},
      {"SELECT * FROM cli ORDER BY", code::kSyntaxError, "column 27", "a field name in ORDER BY"},
      {"SELECT * FROM cli ORDER BY a b", code::kSyntaxError, "column 30", "',' or the end"},
      {"SELECT * FROM cli x", code::kSyntaxError, "column 19", "WHERE, ORDER BY"},
      {"delete from cli", code::kNotAllowed, "column 1", "\"delete\" would change the data"},
      {"SELECT * FROM cli;;", code::kNotAllowed, "column 19", "one statement only"},
  };
  for (const BadText& c : cases) {
    auto st = parseStatement(c.text);
    ASSERT_FALSE(st.ok()) << c.text;
    const std::string& m = st.status().message();
    EXPECT_EQ(st.status().code(), c.code) << c.text << ": " << m;
    EXPECT_NE(m.find(c.where), std::string::npos) << c.text << ": " << m;
    EXPECT_NE(m.find(c.says), std::string::npos) << c.text << ": " << m;
  }
}

TEST(SqlParser, LimitsOnLengthAndNesting) {
  const std::string head = "SELECT * FROM t WHERE a = '";
  std::string fits = head + std::string(kMaxQueryLength - head.size() - 1, 'x') + "'";
  ASSERT_EQ(fits.size(), kMaxQueryLength);
  EXPECT_TRUE(parseStatement(fits).ok());
  fits.insert(head.size(), "x");
  EXPECT_EQ(parseStatement(fits).status().code(), code::kTooComplex);

  const auto nested = [](int depth) {
    return "SELECT * FROM t WHERE " + std::string(static_cast<size_t>(depth), '(') + "a = 1" +
           std::string(static_cast<size_t>(depth), ')');
  };
  EXPECT_TRUE(parseStatement(nested(kMaxNesting)).ok());
  auto deep = parseStatement(nested(kMaxNesting + 1));
  EXPECT_EQ(deep.status().code(), code::kTooComplex);
  EXPECT_NE(deep.status().message().find("column " + std::to_string(22 + kMaxNesting + 1)), std::string::npos)
      << deep.status().message();
  // Depth is what is open at once, not how many groups there are.
  std::string many = "SELECT * FROM t WHERE (a = 1)";
  for (int i = 0; i < 1000; ++i) many += " OR (NOT (a = 2))";
  EXPECT_TRUE(parseStatement(many).ok());
  std::string notNot = "SELECT * FROM t WHERE ";
  for (int i = 0; i < kMaxNesting; ++i) notNot += i % 2 ? "NOT " : "(";
  EXPECT_FALSE(parseStatement(notNot + "a = 1").ok());  // parentheses left open
  notNot += "a = 1" + std::string(kMaxNesting / 2, ')');
  EXPECT_TRUE(parseStatement(notNot).ok());
  EXPECT_EQ(parseStatement("SELECT * FROM t WHERE (NOT " + notNot.substr(22) + ")").status().code(), code::kTooComplex);
}

TEST(SqlParser, PositionsCountCharactersAndLines) {
  EXPECT_EQ(describePosition("abc", 0), "line 1, column 1");
  EXPECT_EQ(describePosition("é€x", 5), "line 1, column 3");
  EXPECT_EQ(describePosition("ab\r\ncd\nef", 8), "line 3, column 2");
  EXPECT_EQ(describePosition("ab", 99), "line 1, column 3");
}

}  // namespace
}  // namespace sql::detail
