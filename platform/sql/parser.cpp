// Recursive-descent parser of the query language (see sql/query.h):
//
//   statement  := SELECT '*' FROM table [WHERE or] [ORDER BY item {',' item}] [';']
//   table      := word ['.' DB] | "quoted name"
//   or         := and {OR and}
//   and        := not {AND not}
//   not        := NOT not | '(' or ')' | predicate
//   predicate  := operand (compare operand | [NOT] LIKE operand | IS [NOT] NULL)
//   operand    := field | EXTRACT '(' (YEAR|MONTH|DAY) FROM field ')'
//               | ['+'|'-'] number | 'text' | :parameter
//   item       := field [ASC|DESC]
//
// Nesting (parentheses and NOT) is bounded by kMaxNesting so that hostile
// text cannot exhaust the stack, here or in the code that walks the tree.
#include <algorithm>

#include "lexer.h"
#include "sql/query.h"
#include "statement.h"

namespace sql::detail {

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

namespace {

// Words that end or join clauses; they are never read as field names unless
// written in double quotes.
constexpr const char* kReserved[] = {"SELECT", "FROM", "WHERE", "ORDER", "BY", "AND", "OR", "NOT", "LIKE", "IS", "NULL"};

// First words of statements that would change data or definitions.
constexpr const char* kWriting[] = {"INSERT", "UPDATE", "DELETE", "DROP", "CREATE", "ALTER", "TRUNCATE",
                                    "REPLACE", "MERGE", "GRANT", "REVOKE", "RENAME", "EXECUTE", "EXEC", "CALL"};

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens) : text_(text), tokens_(std::move(tokens)) {}

  pdx::Result<std::unique_ptr<Statement>> parse() {
    auto st = std::make_unique<Statement>();
    st->text.assign(text_);
    statement_ = st.get();
    PDX_RETURN_IF_ERROR(parseSelect());
    return st;
  }

 private:
  const Token& peek(size_t ahead = 0) const { return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)]; }
  const Token& advance() {
    const Token& t = peek();
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return t;
  }
  bool isWord(const Token& t, const char* word) const { return t.kind == TokenKind::kWord && sameName(t.text, word); }
  bool acceptWord(const char* word) {
    if (!isWord(peek(), word)) return false;
    advance();
    return true;
  }
  bool isReserved(const Token& t) const {
    return t.kind == TokenKind::kWord &&
           std::any_of(std::begin(kReserved), std::end(kReserved), [&](const char* w) { return sameName(t.text, w); });
  }

  pdx::Status syntax(const Token& at, const std::string& reason) const {
    return queryError(code::kSyntaxError, text_, at.offset, reason);
  }
  pdx::Status expected(const std::string& what) const {
    return syntax(peek(), "expected " + what + ", found " + describeToken(peek()));
  }
  pdx::Status expectWord(const char* word) {
    if (acceptWord(word)) return {};
    return expected(word);
  }

  pdx::Status parseSelect() {
    const Token& first = peek();
    if (!isWord(first, "SELECT")) {
      for (const char* w : kWriting)
        if (isWord(first, w))
          return queryError(code::kNotAllowed, text_, first.offset,
                            "only SELECT queries can run here; " + describeToken(first) + " would change the data");
      return expected("SELECT at the start of the query");
    }
    advance();
    if (peek().kind != TokenKind::kStar) return syntax(peek(), "only SELECT * is supported, found " + describeToken(peek()));
    advance();
    PDX_RETURN_IF_ERROR(expectWord("FROM"));
    PDX_RETURN_IF_ERROR(parseTable());
    if (acceptWord("WHERE")) {
      depth_ = 0;
      PDX_ASSIGN_OR_RETURN(statement_->where, parseOr());
    }
    if (isWord(peek(), "ORDER")) {
      advance();
      PDX_RETURN_IF_ERROR(expectWord("BY"));
      PDX_RETURN_IF_ERROR(parseOrderBy());
    }
    if (peek().kind == TokenKind::kSemicolon) {
      advance();
      if (peek().kind != TokenKind::kEnd)
        return queryError(code::kNotAllowed, text_, peek().offset,
                          "one statement only: the query goes on after ';' with " + describeToken(peek()));
    }
    if (peek().kind != TokenKind::kEnd) {
      if (!statement_->orderBy.empty()) return expected("',' or the end of the query");
      if (statement_->where) return expected("AND, OR, ORDER BY or the end of the query");
      return expected("WHERE, ORDER BY or the end of the query");
    }
    return {};
  }

  pdx::Status parseTable() {
    const Token& t = peek();
    statement_->tableOffset = t.offset;
    if (t.kind == TokenKind::kQuotedName) {
      statement_->table = t.text;
      advance();
      return {};
    }
    if (t.kind != TokenKind::kWord || isReserved(t)) return expected("a table name after FROM");
    statement_->table = t.text;
    advance();
    if (peek().kind == TokenKind::kDot) {
      advance();
      if (!isWord(peek(), "DB")) return expected("DB after '.' in the table name");
      statement_->table += "." + advance().text;
    }
    return {};
  }

  pdx::Status parseOrderBy() {
    while (true) {
      OrderItem item;
      item.offset = peek().offset;
      PDX_ASSIGN_OR_RETURN(item.field, parseFieldName("a field name in ORDER BY"));
      if (acceptWord("DESC")) item.descending = true;
      else acceptWord("ASC");
      statement_->orderBy.push_back(std::move(item));
      if (peek().kind != TokenKind::kComma) return {};
      advance();
    }
  }

  pdx::Result<std::string> parseFieldName(const std::string& what) {
    const Token& t = peek();
    if (t.kind == TokenKind::kQuotedName || (t.kind == TokenKind::kWord && !isReserved(t))) return advance().text;
    return expected(what);
  }

  // Counts one level of nesting; fails past the bound.
  pdx::Status enter(const Token& at) {
    if (++depth_ > kMaxNesting)
      return queryError(code::kTooComplex, text_, at.offset,
                        "conditions are nested more than " + std::to_string(kMaxNesting) + " deep");
    return {};
  }

  using Node = std::unique_ptr<Condition>;

  // A chain of one operator becomes one node with every operand as a child.
  pdx::Result<Node> parseChain(Condition::Kind kind, const char* word, pdx::Result<Node> (Parser::*operand)()) {
    PDX_ASSIGN_OR_RETURN(Node first, (this->*operand)());
    if (!isWord(peek(), word)) return first;
    auto node = std::make_unique<Condition>();
    node->kind = kind;
    node->offset = peek().offset;
    node->children.push_back(std::move(first));
    while (acceptWord(word)) {
      PDX_ASSIGN_OR_RETURN(Node next, (this->*operand)());
      node->children.push_back(std::move(next));
    }
    return node;
  }
  pdx::Result<Node> parseOr() { return parseChain(Condition::Kind::kOr, "OR", &Parser::parseAnd); }
  pdx::Result<Node> parseAnd() { return parseChain(Condition::Kind::kAnd, "AND", &Parser::parseNot); }

  pdx::Result<Node> parseNot() {
    const Token& t = peek();
    if (isWord(t, "NOT")) {
      advance();
      PDX_RETURN_IF_ERROR(enter(t));
      PDX_ASSIGN_OR_RETURN(Node inner, parseNot());
      --depth_;
      auto node = std::make_unique<Condition>();
      node->kind = Condition::Kind::kNot;
      node->offset = t.offset;
      node->children.push_back(std::move(inner));
      return node;
    }
    if (t.kind == TokenKind::kLeftParen) {
      advance();
      PDX_RETURN_IF_ERROR(enter(t));
      PDX_ASSIGN_OR_RETURN(Node inner, parseOr());
      --depth_;
      if (peek().kind != TokenKind::kRightParen) return expected("')' to close the '(' at " + describePosition(text_, t.offset));
      advance();
      return inner;
    }
    return parsePredicate();
  }

  static CompareOp mirrored(CompareOp op) {
    switch (op) {
      case CompareOp::kLess: return CompareOp::kGreater;
      case CompareOp::kGreater: return CompareOp::kLess;
      case CompareOp::kLessEqual: return CompareOp::kGreaterEqual;
      case CompareOp::kGreaterEqual: return CompareOp::kLessEqual;
      default: return op;
    }
  }

  pdx::Result<Node> parsePredicate() {
    auto node = std::make_unique<Condition>();
    PDX_ASSIGN_OR_RETURN(Operand left, parseOperand());
    const Token& op = peek();
    node->offset = op.offset;
    switch (op.kind) {
      case TokenKind::kEqual: node->op = CompareOp::kEqual; break;
      case TokenKind::kNotEqual: node->op = CompareOp::kNotEqual; break;
      case TokenKind::kLess: node->op = CompareOp::kLess; break;
      case TokenKind::kGreater: node->op = CompareOp::kGreater; break;
      case TokenKind::kLessEqual: node->op = CompareOp::kLessEqual; break;
      case TokenKind::kGreaterEqual: node->op = CompareOp::kGreaterEqual; break;
      default: return parseLikeOrNull(std::move(node), std::move(left));
    }
    advance();
    PDX_ASSIGN_OR_RETURN(Operand right, parseOperand());
    if (left.isSubject() && right.isSubject())
      return syntax(op, "comparing two fields is not supported; compare a field with a value or a parameter");
    if (!left.isSubject() && !right.isSubject())
      return syntax(op, "neither side of this comparison is a field; compare a field with a value or a parameter");
    if (!left.isSubject()) {
      std::swap(left, right);
      node->op = mirrored(node->op);
    }
    node->kind = Condition::Kind::kCompare;
    node->subject = std::move(left);
    node->value = std::move(right);
    return node;
  }

  pdx::Result<Node> parseLikeOrNull(Node node, Operand left) {
    const Token& op = peek();
    if (isWord(op, "IS")) {
      advance();
      node->negated = acceptWord("NOT");
      PDX_RETURN_IF_ERROR(expectWord("NULL"));
      if (left.kind != Operand::Kind::kField) return syntax(op, "IS NULL applies to a field");
      node->kind = Condition::Kind::kIsNull;
      node->subject = std::move(left);
      return node;
    }
    if (isWord(op, "NOT") && isWord(peek(1), "LIKE")) {
      advance();
      node->negated = true;
    }
    if (!isWord(peek(), "LIKE")) return expected("a comparison (=, <>, <, >, <=, >=, LIKE or IS NULL)");
    advance();
    if (left.kind != Operand::Kind::kField) return syntax(op, "LIKE applies to a text field");
    const Token& pattern = peek();
    PDX_ASSIGN_OR_RETURN(Operand right, parseOperand());
    if (right.kind != Operand::Kind::kText && right.kind != Operand::Kind::kParameter)
      return syntax(pattern, "LIKE takes a pattern in quotes or a parameter, found " + describeToken(pattern));
    node->kind = Condition::Kind::kLike;
    node->subject = std::move(left);
    node->value = std::move(right);
    return node;
  }

  pdx::Result<Operand> parseOperand() {
    Operand o;
    const Token& t = peek();
    o.offset = t.offset;
    switch (t.kind) {
      case TokenKind::kText:
        o.kind = Operand::Kind::kText;
        o.text = advance().text;
        return o;
      case TokenKind::kParameter: {
        o.kind = Operand::Kind::kParameter;
        o.text = advance().text;
        auto& names = statement_->parameters;
        auto it = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, o.text); });
        if (it == names.end()) it = names.insert(names.end(), o.text);
        o.parameter = static_cast<int>(it - names.begin());
        return o;
      }
      case TokenKind::kPlus:
      case TokenKind::kMinus:
      case TokenKind::kNumber: {
        std::string sign;
        if (t.kind != TokenKind::kNumber) {
          sign = t.kind == TokenKind::kMinus ? "-" : "";
          advance();
          if (peek().kind != TokenKind::kNumber) return expected("a number after the sign");
        }
        o.kind = Operand::Kind::kNumber;
        o.text = sign + advance().text;
        return o;
      }
      case TokenKind::kQuotedName:
        o.kind = Operand::Kind::kField;
        o.text = advance().text;
        return o;
      case TokenKind::kWord:
        if (isWord(t, "EXTRACT") && peek(1).kind == TokenKind::kLeftParen) return parseExtract();
        if (isWord(t, "NULL")) return syntax(t, "NULL is not a value; write IS NULL or IS NOT NULL");
        if (isReserved(t)) break;
        o.kind = Operand::Kind::kField;
        o.text = advance().text;
        return o;
      default: break;
    }
    return expected("a field, a value or a parameter");
  }

  pdx::Result<Operand> parseExtract() {
    Operand o;
    o.kind = Operand::Kind::kExtract;
    o.offset = advance().offset;  // EXTRACT
    advance();                    // (
    if (acceptWord("YEAR")) o.part = DatePart::kYear;
    else if (acceptWord("MONTH")) o.part = DatePart::kMonth;
    else if (acceptWord("DAY")) o.part = DatePart::kDay;
    else return expected("YEAR, MONTH or DAY in EXTRACT");
    PDX_RETURN_IF_ERROR(expectWord("FROM"));
    PDX_ASSIGN_OR_RETURN(o.text, parseFieldName("a date field in EXTRACT"));
    if (peek().kind != TokenKind::kRightParen) return expected("')' to close EXTRACT");
    advance();
    return o;
  }

  std::string_view text_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  int depth_ = 0;
  Statement* statement_ = nullptr;
};

}  // namespace

pdx::Result<std::unique_ptr<Statement>> parseStatement(std::string_view text) {
  PDX_ASSIGN_OR_RETURN(std::vector<Token> tokens, tokenize(text));
  Parser parser(text, std::move(tokens));
  return parser.parse();
}

}  // namespace sql::detail
