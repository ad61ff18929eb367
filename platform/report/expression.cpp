#include "expression.h"

#include <cmath>
#include <functional>
#include <limits>

#include "db/data_set.h"
#include "db/field.h"
#include "db/formats.h"

namespace report {

// ------------------------------------------------------------------ values

ExprValue ExprValue::number(double v) {
  ExprValue x(Kind::kNumber);
  x.number_ = v;
  return x;
}

ExprValue ExprValue::money(db::Money v) {
  ExprValue x(Kind::kNumber);
  x.number_ = v.toDouble();
  x.money_ = v;
  return x;
}

ExprValue ExprValue::text(QString v) {
  ExprValue x(Kind::kText);
  x.text_ = std::move(v);
  return x;
}

ExprValue ExprValue::date(pdx::Date v) {
  ExprValue x(Kind::kDate);
  x.date_ = v;
  return x;
}

ExprValue ExprValue::boolean(bool v) {
  ExprValue x(Kind::kBoolean);
  x.boolean_ = v;
  return x;
}

ExprValue ExprValue::error(QString message) {
  ExprValue x(Kind::kError);
  x.text_ = std::move(message);
  return x;
}

double ExprValue::toDouble() const { return kind_ == Kind::kNumber ? number_ : 0.0; }

std::optional<db::Money> ExprValue::toMoney() const {
  if (kind_ != Kind::kNumber) return std::nullopt;
  if (money_) return money_;
  return db::Money::fromDouble(number_);
}

pdx::Value ExprValue::toValue() const {
  switch (kind_) {
    case Kind::kNumber: return pdx::Value::number(number_);
    case Kind::kText: return pdx::Value::text(text_.toStdString());
    case Kind::kDate: return pdx::Value::date(date_);
    case Kind::kBoolean: return pdx::Value::logical(boolean_);
    case Kind::kNull:
    case Kind::kError: break;
  }
  return {};
}

QString plainText(const ExprValue& value) {
  switch (value.kind()) {
    case ExprValue::Kind::kNumber: {
      if (const auto m = value.toMoney(); m && m->toDouble() == value.toDouble()) {
        // Exact amounts: no binary crumbs, no trailing zeros.
        QString s = QString::fromStdString(m->toString(4));
        while (s.contains('.') && (s.endsWith('0') || s.endsWith('.'))) s.chop(1);
        return s == QStringLiteral("-0") ? QStringLiteral("0") : s;
      }
      return QString::number(value.toDouble(), 'g', 15);
    }
    case ExprValue::Kind::kText: return value.text();
    case ExprValue::Kind::kDate:
      return QString::fromStdString(db::formatDate(value.date(), db::RegionalFormats::current().shortDateFormat));
    case ExprValue::Kind::kBoolean: return value.boolean() ? QStringLiteral("True") : QStringLiteral("False");
    case ExprValue::Kind::kNull:
    case ExprValue::Kind::kError: break;
  }
  return {};
}

// ------------------------------------------------------------------ the tree

enum class Op { kLiteral, kField, kNeg, kNot, kAdd, kSub, kMul, kDiv, kEq, kNe, kLt, kGt, kLe, kGe, kAnd, kOr,
                kCall, kAggregate };
enum class AggregateKind { kSum, kCount, kMin, kMax, kAverage };

struct Expression::Node {
  Op op = Op::kLiteral;
  ExprValue literal = ExprValue::null();
  QString qualifier, name;  // fields: "DataSet.Field"; calls: the function
  std::vector<std::unique_ptr<Node>> args;
  int aggregate = -1;
  int height = 1;  // of the tree under it
};

struct Expression::Aggregate {
  AggregateKind kind = AggregateKind::kSum;
  const Node* argument = nullptr;  // null for COUNT without one
  int64_t count = 0;
  db::Money exact;
  double inexact = 0;
  bool exactOk = true;
  ExprValue best = ExprValue::null();  // MIN, MAX
  ExprValue failure = ExprValue::null();
};

namespace {

using Node = Expression::Node;

// ------------------------------------------------------------------ lexer

enum class Tok { kEnd, kNumber, kString, kName, kSymbol };

struct Token {
  Tok kind = Tok::kEnd;
  QString text;
  int at = 0;
};

bool lex(const QString& s, std::vector<Token>& out, QString* error) {
  int i = 0;
  const int n = static_cast<int>(s.size());
  while (i < n) {
    const QChar c = s[i];
    if (c.isSpace()) {
      ++i;
      continue;
    }
    Token t;
    t.at = i;
    if (c.isDigit() || (c == '.' && i + 1 < n && s[i + 1].isDigit())) {
      int j = i;
      while (j < n && s[j].isDigit()) ++j;
      if (j < n && s[j] == '.') {
        ++j;
        while (j < n && s[j].isDigit()) ++j;
      }
      t.kind = Tok::kNumber;
      t.text = s.mid(i, j - i);
      i = j;
    } else if (c == '\'' || c == '"') {
      int j = i + 1;
      QString text;
      bool closed = false;
      while (j < n) {
        if (s[j] == c) {
          if (j + 1 < n && s[j + 1] == c) {  // a doubled quote stands for itself
            text += c;
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        text += s[j++];
      }
      if (!closed) {
        *error = QStringLiteral("unterminated text at position %1").arg(i + 1);
        return false;
      }
      t.kind = Tok::kString;
      t.text = text;
      i = j;
    } else if (c.isLetter() || c == '_') {
      int j = i;
      while (j < n && (s[j].isLetterOrNumber() || s[j] == '_')) ++j;
      t.kind = Tok::kName;
      t.text = s.mid(i, j - i);
      i = j;
    } else {
      static const QStringList twoChars = {QStringLiteral("<>"), QStringLiteral("<="), QStringLiteral(">=")};
      const QString two = s.mid(i, 2);
      t.kind = Tok::kSymbol;
      if (twoChars.contains(two)) {
        t.text = two;
        i += 2;
      } else if (QStringLiteral("+-*/=<>(),.").contains(c)) {
        t.text = c;
        ++i;
      } else {
        *error = QStringLiteral("unexpected character '%1' at position %2").arg(c).arg(i + 1);
        return false;
      }
    }
    out.push_back(t);
  }
  Token end;
  end.at = n;
  out.push_back(end);
  return true;
}

// ------------------------------------------------------------------ parser

struct FunctionInfo {
  const char* name;
  int minArgs, maxArgs;
};

constexpr FunctionInfo kFunctions[] = {
    {"IF", 3, 3},    {"STR", 1, 1},  {"UPPER", 1, 1}, {"LOWER", 1, 1},         {"COPY", 3, 3},
    {"INT", 1, 1},   {"FRAC", 1, 1}, {"ABS", 1, 1},   {"ROUND", 2, 2},         {"FORMATNUMERIC", 2, 2},
    {"DATE", 0, 0},  {"TIME", 0, 0}, {"PAGENUMBER", 0, 0},
};

std::optional<AggregateKind> aggregateNamed(const QString& name) {
  const QString u = name.toUpper();
  if (u == "SUM") return AggregateKind::kSum;
  if (u == "COUNT") return AggregateKind::kCount;
  if (u == "MIN") return AggregateKind::kMin;
  if (u == "MAX") return AggregateKind::kMax;
  if (u == "AVERAGE") return AggregateKind::kAverage;
  return std::nullopt;
}

const FunctionInfo* functionNamed(const QString& name) {
  for (const FunctionInfo& f : kFunctions)
    if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) return &f;
  return nullptr;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, std::vector<Expression::Aggregate>& aggregates)
      : t_(std::move(tokens)), aggregates_(aggregates) {}

  std::unique_ptr<Node> parseAll(QString* error) {
    auto root = orExpr();
    if (root && peek().kind != Tok::kEnd) fail(QStringLiteral("unexpected '%1'").arg(peek().text));
    if (!error_.isEmpty()) {
      *error = error_;
      return nullptr;
    }
    return root;
  }

 private:
  // Counts how deep the parse has gone, so that a hostile expression cannot
  // exhaust the stack.
  struct Nesting {
    explicit Nesting(Parser& p) : parser(p), ok(++p.depth_ <= kMaxNesting) {}
    ~Nesting() { --parser.depth_; }
    Parser& parser;
    bool ok;
  };
  static constexpr int kMaxNesting = 200;
  static constexpr int kMaxHeight = 1000;

  const Token& peek() const { return t_[pos_]; }
  Token take() { return t_[pos_ < t_.size() - 1 ? pos_++ : pos_]; }
  bool isSymbol(const char* s) const { return peek().kind == Tok::kSymbol && peek().text == QLatin1String(s); }
  bool isWord(const char* w) const {
    return peek().kind == Tok::kName && peek().text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
  }
  std::unique_ptr<Node> failAt(const QString& message, int at) {
    if (error_.isEmpty()) error_ = message + QStringLiteral(" at position %1").arg(at + 1);
    return nullptr;
  }
  std::unique_ptr<Node> fail(const QString& message) {
    if (error_.isEmpty()) {
      const Token& at = peek();
      error_ = at.kind == Tok::kEnd ? message + QStringLiteral(" at the end")
                                    : message + QStringLiteral(" at position %1").arg(at.at + 1);
    }
    return nullptr;
  }
  // A chain of operators ("1+1+1...") builds a tree as deep as it is long:
  // evaluating it recurses that deep, so its height is bounded too.
  std::unique_ptr<Node> binary(Op op, std::unique_ptr<Node> a, std::unique_ptr<Node> b) {
    auto n = std::make_unique<Node>();
    n->op = op;
    n->args.push_back(std::move(a));
    n->args.push_back(std::move(b));
    return measured(std::move(n));
  }
  std::unique_ptr<Node> measured(std::unique_ptr<Node> n) {
    for (const auto& arg : n->args) n->height = std::max(n->height, 1 + arg->height);
    if (n->height > kMaxHeight) return fail(QStringLiteral("expression nested too deeply"));
    return n;
  }

  using Level = std::unique_ptr<Node> (Parser::*)();

  // A run of left-associative operators over the next level down: `op`
  // says which operator stands at the cursor, if any.
  template <typename Match>
  std::unique_ptr<Node> chain(Level next, Match op) {
    auto left = (this->*next)();
    while (left) {
      const std::optional<Op> found = op();
      if (!found) break;
      take();
      auto right = (this->*next)();
      if (!right) return nullptr;
      left = binary(*found, std::move(left), std::move(right));
    }
    return left;
  }

  std::unique_ptr<Node> orExpr() {
    return chain(&Parser::andExpr, [this] { return isWord("OR") ? std::optional(Op::kOr) : std::nullopt; });
  }

  std::unique_ptr<Node> andExpr() {
    return chain(&Parser::notExpr, [this] { return isWord("AND") ? std::optional(Op::kAnd) : std::nullopt; });
  }

  std::unique_ptr<Node> notExpr() {
    if (isWord("NOT")) {
      take();
      const Nesting nesting(*this);
      if (!nesting.ok) return fail(QStringLiteral("expression nested too deeply"));
      auto inner = notExpr();
      if (!inner) return nullptr;
      auto n = std::make_unique<Node>();
      n->op = Op::kNot;
      n->args.push_back(std::move(inner));
      return measured(std::move(n));
    }
    return comparison();
  }

  std::unique_ptr<Node> comparison() {
    auto left = additive();
    if (!left) return nullptr;
    static const std::pair<const char*, Op> ops[] = {{"=", Op::kEq}, {"<>", Op::kNe}, {"<", Op::kLt},
                                                     {">", Op::kGt}, {"<=", Op::kLe}, {">=", Op::kGe}};
    for (const auto& [symbol, op] : ops)
      if (isSymbol(symbol)) {
        take();
        auto right = additive();
        if (!right) return nullptr;
        return binary(op, std::move(left), std::move(right));
      }
    return left;
  }

  std::unique_ptr<Node> additive() {
    return chain(&Parser::term, [this]() -> std::optional<Op> {
      if (isSymbol("+")) return Op::kAdd;
      if (isSymbol("-")) return Op::kSub;
      return std::nullopt;
    });
  }

  std::unique_ptr<Node> term() {
    return chain(&Parser::unary, [this]() -> std::optional<Op> {
      if (isSymbol("*")) return Op::kMul;
      if (isSymbol("/")) return Op::kDiv;
      return std::nullopt;
    });
  }

  std::unique_ptr<Node> unary() {
    if (isSymbol("-") || isSymbol("+")) {
      const bool negate = take().text == "-";
      const Nesting nesting(*this);
      if (!nesting.ok) return fail(QStringLiteral("expression nested too deeply"));
      auto inner = unary();
      if (!inner || !negate) return inner;
      auto n = std::make_unique<Node>();
      n->op = Op::kNeg;
      n->args.push_back(std::move(inner));
      return measured(std::move(n));
    }
    return primary();
  }

  std::unique_ptr<Node> primary() {
    const Token& t = peek();
    if (t.kind == Tok::kNumber) {
      take();
      auto n = std::make_unique<Node>();
      if (const auto m = db::Money::parse(t.text.toStdString()))
        n->literal = ExprValue::money(*m);
      else
        n->literal = ExprValue::number(t.text.toDouble());
      return n;
    }
    if (t.kind == Tok::kString) {
      auto n = std::make_unique<Node>();
      n->literal = ExprValue::text(take().text);
      return n;
    }
    if (isSymbol("(")) {
      take();
      const Nesting nesting(*this);
      if (!nesting.ok) return fail(QStringLiteral("expression nested too deeply"));
      auto inner = orExpr();
      if (!inner) return nullptr;
      if (!isSymbol(")")) return fail(QStringLiteral("')' expected"));
      take();
      return inner;
    }
    if (t.kind != Tok::kName) return fail(t.kind == Tok::kEnd ? QStringLiteral("a value expected")
                                                               : QStringLiteral("unexpected '%1'").arg(t.text));
    const int nameAt = t.at;
    const QString name = take().text;
    if (name.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ||
        name.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0) {
      auto n = std::make_unique<Node>();
      n->literal = ExprValue::boolean(name.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0);
      return n;
    }
    if (isSymbol(".")) {
      take();
      if (peek().kind != Tok::kName) return fail(QStringLiteral("a field name expected"));
      auto n = std::make_unique<Node>();
      n->op = Op::kField;
      n->qualifier = name;
      n->name = take().text;
      return n;
    }
    const auto aggregate = aggregateNamed(name);
    const FunctionInfo* function = functionNamed(name);
    if (!aggregate && !function) {
      if (isSymbol("(")) return failAt(QStringLiteral("unknown function %1").arg(name), nameAt);
      auto n = std::make_unique<Node>();
      n->op = Op::kField;
      n->name = name;
      return n;
    }
    std::vector<std::unique_ptr<Node>> args;
    if (isSymbol("(")) {
      take();
      const Nesting nesting(*this);
      if (!nesting.ok) return fail(QStringLiteral("expression nested too deeply"));
      if (aggregate) {
        if (inAggregate_) return failAt(QStringLiteral("an aggregate inside an aggregate"), nameAt);
        inAggregate_ = true;
      }
      if (!isSymbol(")")) {
        for (;;) {
          auto arg = orExpr();
          if (!arg) return nullptr;
          args.push_back(std::move(arg));
          if (!isSymbol(",")) break;
          take();
        }
      }
      inAggregate_ = false;
      if (!isSymbol(")")) return fail(QStringLiteral("')' expected"));
      take();
    }
    const int count = static_cast<int>(args.size());
    auto n = std::make_unique<Node>();
    n->name = name.toUpper();
    if (aggregate) {
      const int minArgs = *aggregate == AggregateKind::kCount ? 0 : 1;
      if (count < minArgs || count > 1) return failAt(QStringLiteral("%1 takes one value").arg(n->name), nameAt);
      n->op = Op::kAggregate;
      n->args = std::move(args);
      n->aggregate = static_cast<int>(aggregates_.size());
      Expression::Aggregate g;
      g.kind = *aggregate;
      g.argument = n->args.empty() ? nullptr : n->args.front().get();
      aggregates_.push_back(std::move(g));
      return measured(std::move(n));
    }
    if (count < function->minArgs || count > function->maxArgs)
      return failAt(QStringLiteral("%1 takes %2 values").arg(n->name).arg(function->minArgs), nameAt);
    n->op = Op::kCall;
    n->args = std::move(args);
    return measured(std::move(n));
  }

  std::vector<Token> t_;
  size_t pos_ = 0;
  std::vector<Expression::Aggregate>& aggregates_;
  QString error_;
  bool inAggregate_ = false;
  int depth_ = 0;
};

// ------------------------------------------------------------------ evaluation

ExprValue fieldValue(const db::Field& field) {
  const pdx::Value& v = field.value();
  switch (v.kind()) {
    case pdx::Value::Kind::kNull: return ExprValue::null();
    case pdx::Value::Kind::kText: return ExprValue::text(QString::fromStdString(v.asText()));
    case pdx::Value::Kind::kInteger: return ExprValue::money(db::Money::fromUnits(v.asInteger() * db::Money::kScale));
    case pdx::Value::Kind::kNumber:
    case pdx::Value::Kind::kDecimal: {
      const double d = v.toDouble().value_or(0);
      // Amounts (money fields) are exact to 1/10,000; other numbers keep
      // their binary value, which masks round anyway.
      if (field.dataType() == pdx::FieldType::kMoney)
        if (const auto m = db::Money::fromDouble(d)) return ExprValue::money(*m);
      return ExprValue::number(d);
    }
    case pdx::Value::Kind::kLogical: return ExprValue::boolean(v.asLogical());
    case pdx::Value::Kind::kDate: return ExprValue::date(v.asDate());
    case pdx::Value::Kind::kTimestamp: return ExprValue::date(v.asTimestamp().date());
    case pdx::Value::Kind::kTime:
    case pdx::Value::Kind::kBytes: return ExprValue::text(QString::fromStdString(field.asString()));
  }
  return ExprValue::null();
}

ExprValue lookUp(const Node& n, const Scope& scope) {
  const std::string field = n.name.toStdString();
  for (db::DataSet* ds : scope.dataSets) {
    if (!ds) continue;
    if (!n.qualifier.isEmpty() && QString::fromStdString(ds->name()).compare(n.qualifier, Qt::CaseInsensitive) != 0)
      continue;
    if (!ds->active()) {
      if (!n.qualifier.isEmpty()) return ExprValue::error(QStringLiteral("%1 is closed").arg(n.qualifier));
      continue;
    }
    if (const db::Field* f = ds->findField(field)) return fieldValue(*f);
    if (!n.qualifier.isEmpty()) break;
  }
  const QString full = n.qualifier.isEmpty() ? n.name : n.qualifier + '.' + n.name;
  return ExprValue::error(QStringLiteral("no field %1").arg(full));
}

bool isText(const ExprValue& v) { return v.kind() == ExprValue::Kind::kText; }

// Blank counts as 0 in arithmetic.
ExprValue asNumber(const ExprValue& v) { return v.isNull() ? ExprValue::money({}) : v; }

ExprValue arithmetic(Op op, const ExprValue& a0, const ExprValue& b0) {
  if (a0.isError()) return a0;
  if (b0.isError()) return b0;
  if (op == Op::kAdd && (isText(a0) || isText(b0))) return ExprValue::text(plainText(a0) + plainText(b0));
  const ExprValue a = asNumber(a0), b = asNumber(b0);
  using K = ExprValue::Kind;
  if (a.kind() == K::kDate && b.kind() == K::kNumber && (op == Op::kAdd || op == Op::kSub)) {
    const double days = std::trunc(b.toDouble());
    if (std::fabs(days) > 3'000'000) return ExprValue::error(QStringLiteral("date out of range"));
    return ExprValue::date({a.date().days + static_cast<int32_t>(op == Op::kAdd ? days : -days)});
  }
  if (a.kind() == K::kDate && b.kind() == K::kDate && op == Op::kSub)
    return ExprValue::money(db::Money::fromUnits(int64_t(a.date().days - b.date().days) * db::Money::kScale));
  if (a.kind() != K::kNumber || b.kind() != K::kNumber)
    return ExprValue::error(QStringLiteral("numbers expected"));
  const auto ma = a.toMoney(), mb = b.toMoney();
  const bool exact = ma && mb && ma->toDouble() == a.toDouble() && mb->toDouble() == b.toDouble();
  switch (op) {
    case Op::kAdd:
      if (exact) return ExprValue::money(*ma + *mb);
      return ExprValue::number(a.toDouble() + b.toDouble());
    case Op::kSub:
      if (exact) return ExprValue::money(*ma - *mb);
      return ExprValue::number(a.toDouble() - b.toDouble());
    case Op::kMul: return ExprValue::number(a.toDouble() * b.toDouble());
    case Op::kDiv:
      if (b.toDouble() == 0) return ExprValue::error(QStringLiteral("division by zero"));
      return ExprValue::number(a.toDouble() / b.toDouble());
    default: break;
  }
  return ExprValue::error(QStringLiteral("bad operator"));
}

// <0, 0, >0; nullopt when the two cannot be compared.
std::optional<int> order(const ExprValue& a0, const ExprValue& b0) {
  using K = ExprValue::Kind;
  ExprValue a = a0, b = b0;
  // Blank compares as the other side's empty value.
  if (a.isNull() && b.isNull()) return 0;
  if (a.isNull()) a = isText(b) ? ExprValue::text({}) : ExprValue::money({});
  if (b.isNull()) b = isText(a) ? ExprValue::text({}) : ExprValue::money({});
  if (a.kind() != b.kind()) return std::nullopt;
  switch (a.kind()) {
    case K::kNumber: {
      const auto ma = a.toMoney(), mb = b.toMoney();
      if (ma && mb) return ma < mb ? -1 : ma > mb ? 1 : 0;
      return a.toDouble() < b.toDouble() ? -1 : a.toDouble() > b.toDouble() ? 1 : 0;
    }
    case K::kText: return QString::compare(a.text(), b.text(), Qt::CaseSensitive);
    case K::kDate: return a.date().days < b.date().days ? -1 : a.date().days > b.date().days ? 1 : 0;
    case K::kBoolean: return int(a.boolean()) - int(b.boolean());
    default: return std::nullopt;
  }
}

std::optional<bool> truth(const ExprValue& v) {
  if (v.kind() == ExprValue::Kind::kBoolean) return v.boolean();
  if (v.kind() == ExprValue::Kind::kNumber) return v.toDouble() != 0;
  if (v.isNull()) return false;
  return std::nullopt;
}

ExprValue call(const Node& n, const std::vector<ExprValue>& a, const Scope& scope) {
  for (const ExprValue& v : a)
    if (v.isError()) return v;
  const QString& f = n.name;
  const auto number = [&](int i) { return asNumber(a[size_t(i)]); };
  if (f == "STR") return ExprValue::text(plainText(a[0]));
  if (f == "UPPER") return ExprValue::text(plainText(a[0]).toUpper());
  if (f == "LOWER") return ExprValue::text(plainText(a[0]).toLower());
  if (f == "COPY") {
    if (number(1).kind() != ExprValue::Kind::kNumber || number(2).kind() != ExprValue::Kind::kNumber)
      return ExprValue::error(QStringLiteral("COPY needs numbers"));
    const QString s = plainText(a[0]);
    const double start = std::max(1.0, std::trunc(number(1).toDouble()));
    const double count = std::max(0.0, std::trunc(number(2).toDouble()));
    if (start > static_cast<double>(s.size())) return ExprValue::text({});
    return ExprValue::text(s.mid(qsizetype(start) - 1, qsizetype(std::min<double>(count, double(s.size())))));
  }
  if (f == "DATE") {
    const QDate d = scope.now.date();
    const auto date = pdx::Date::fromYmd(d.year(), d.month(), d.day());
    return date ? ExprValue::date(*date) : ExprValue::null();
  }
  if (f == "TIME") return ExprValue::text(scope.now.time().toString(QStringLiteral("HH:mm:ss")));
  if (f == "PAGENUMBER") return ExprValue::money(db::Money::fromUnits(int64_t(scope.pageNumber) * db::Money::kScale));
  if (f == "IF") {
    const auto c = truth(a[0]);
    if (!c) return ExprValue::error(QStringLiteral("IF needs a condition"));
    return *c ? a[1] : a[2];
  }
  if (f == "FORMATNUMERIC") {
    if (number(1).kind() != ExprValue::Kind::kNumber) return ExprValue::error(QStringLiteral("numbers expected"));
    return ExprValue::text(
        QString::fromStdString(db::formatFloat(plainText(a[0]).toStdString(), number(1).toDouble())));
  }
  // The rest take numbers.
  for (size_t i = 0; i < a.size(); ++i)
    if (number(int(i)).kind() != ExprValue::Kind::kNumber)
      return ExprValue::error(QStringLiteral("%1 needs numbers").arg(f));
  const double x = number(0).toDouble();
  if (f == "ABS") {
    if (const auto m = number(0).toMoney(); m && m->toDouble() == x) return ExprValue::money(*m < db::Money() ? -*m : *m);
    return ExprValue::number(std::fabs(x));
  }
  if (f == "INT") return ExprValue::number(std::trunc(x));
  if (f == "FRAC") return ExprValue::number(x - std::trunc(x));
  if (f == "ROUND") {
    const int places = static_cast<int>(std::clamp(std::trunc(number(1).toDouble()), -15.0, 15.0));
    const double scale = std::pow(10.0, places);
    return ExprValue::number(std::round(x * scale) / scale);
  }
  return ExprValue::error(QStringLiteral("unknown function %1").arg(f));
}

}  // namespace

// ------------------------------------------------------------------ Expression

Expression::Expression() = default;
Expression::~Expression() = default;

std::unique_ptr<Expression> Expression::parse(const QString& source, QString* error) {
  std::vector<Token> tokens;
  QString scratch;
  QString* why = error ? error : &scratch;
  if (!lex(source, tokens, why)) return nullptr;
  std::unique_ptr<Expression> e(new Expression);
  Parser parser(std::move(tokens), e->aggregates_);
  e->root_ = parser.parseAll(why);
  if (!e->root_) return nullptr;
  return e;
}

namespace {

ExprValue eval(const Node& n, const Scope& scope, const std::vector<Expression::Aggregate>& aggregates);

ExprValue aggregateValue(const Expression::Aggregate& g) {
  if (g.failure.isError()) return g.failure;
  switch (g.kind) {
    case AggregateKind::kCount: return ExprValue::money(db::Money::fromUnits(g.count * db::Money::kScale));
    case AggregateKind::kSum: return g.exactOk ? ExprValue::money(g.exact) : ExprValue::number(g.inexact);
    case AggregateKind::kAverage:
      if (g.count == 0) return ExprValue::null();
      return ExprValue::number((g.exactOk ? g.exact.toDouble() : g.inexact) / static_cast<double>(g.count));
    case AggregateKind::kMin:
    case AggregateKind::kMax: return g.best;
  }
  return ExprValue::null();
}

ExprValue eval(const Node& n, const Scope& scope, const std::vector<Expression::Aggregate>& aggregates) {
  switch (n.op) {
    case Op::kLiteral: return n.literal;
    case Op::kField: return lookUp(n, scope);
    case Op::kAggregate: return aggregateValue(aggregates[size_t(n.aggregate)]);
    case Op::kNeg: {
      const ExprValue v = asNumber(eval(*n.args[0], scope, aggregates));
      if (v.isError()) return v;
      if (v.kind() != ExprValue::Kind::kNumber) return ExprValue::error(QStringLiteral("numbers expected"));
      if (const auto m = v.toMoney(); m && m->toDouble() == v.toDouble()) return ExprValue::money(-*m);
      return ExprValue::number(-v.toDouble());
    }
    case Op::kNot: {
      const ExprValue v = eval(*n.args[0], scope, aggregates);
      if (v.isError()) return v;
      const auto t = truth(v);
      return t ? ExprValue::boolean(!*t) : ExprValue::error(QStringLiteral("NOT needs a condition"));
    }
    case Op::kAnd:
    case Op::kOr: {
      const ExprValue a = eval(*n.args[0], scope, aggregates);
      if (a.isError()) return a;
      const auto ta = truth(a);
      if (!ta) return ExprValue::error(QStringLiteral("AND and OR need conditions"));
      if (n.op == Op::kAnd && !*ta) return ExprValue::boolean(false);
      if (n.op == Op::kOr && *ta) return ExprValue::boolean(true);
      const ExprValue b = eval(*n.args[1], scope, aggregates);
      if (b.isError()) return b;
      const auto tb = truth(b);
      return tb ? ExprValue::boolean(*tb) : ExprValue::error(QStringLiteral("AND and OR need conditions"));
    }
    case Op::kEq:
    case Op::kNe:
    case Op::kLt:
    case Op::kGt:
    case Op::kLe:
    case Op::kGe: {
      const ExprValue a = eval(*n.args[0], scope, aggregates);
      if (a.isError()) return a;
      const ExprValue b = eval(*n.args[1], scope, aggregates);
      if (b.isError()) return b;
      const auto c = order(a, b);
      if (!c) return ExprValue::error(QStringLiteral("values of different kinds compared"));
      switch (n.op) {
        case Op::kEq: return ExprValue::boolean(*c == 0);
        case Op::kNe: return ExprValue::boolean(*c != 0);
        case Op::kLt: return ExprValue::boolean(*c < 0);
        case Op::kGt: return ExprValue::boolean(*c > 0);
        case Op::kLe: return ExprValue::boolean(*c <= 0);
        default: return ExprValue::boolean(*c >= 0);
      }
    }
    case Op::kAdd:
    case Op::kSub:
    case Op::kMul:
    case Op::kDiv:
      return arithmetic(n.op, eval(*n.args[0], scope, aggregates), eval(*n.args[1], scope, aggregates));
    case Op::kCall: {
      std::vector<ExprValue> args;
      args.reserve(n.args.size());
      for (const auto& a : n.args) args.push_back(eval(*a, scope, aggregates));
      return call(n, args, scope);
    }
  }
  return ExprValue::null();
}

}  // namespace

ExprValue Expression::evaluate(const Scope& scope) const { return eval(*root_, scope, aggregates_); }

void Expression::accumulate(const Scope& scope) {
  for (Aggregate& g : aggregates_) {
    if (g.failure.isError()) continue;
    if (!g.argument) {  // COUNT: every record
      ++g.count;
      continue;
    }
    const ExprValue v = eval(*g.argument, scope, aggregates_);
    if (v.isError()) {
      g.failure = v;
      continue;
    }
    if (v.isNull()) continue;
    ++g.count;
    switch (g.kind) {
      case AggregateKind::kCount: break;
      case AggregateKind::kSum:
      case AggregateKind::kAverage: {
        if (v.kind() != ExprValue::Kind::kNumber) {
          g.failure = ExprValue::error(QStringLiteral("numbers expected"));
          break;
        }
        const auto m = v.toMoney();
        g.inexact += v.toDouble();
        if (m && g.exactOk && std::fabs((g.exact + *m).toDouble()) < db::Money::kMaxAbs)
          g.exact += *m;
        else
          g.exactOk = false;
        break;
      }
      case AggregateKind::kMin:
      case AggregateKind::kMax: {
        if (g.best.isNull()) {
          g.best = v;
          break;
        }
        const auto c = order(v, g.best);
        if (!c) {
          g.failure = ExprValue::error(QStringLiteral("values of different kinds compared"));
          break;
        }
        if ((g.kind == AggregateKind::kMin && *c < 0) || (g.kind == AggregateKind::kMax && *c > 0)) g.best = v;
        break;
      }
    }
  }
}

void Expression::reset() {
  for (Aggregate& g : aggregates_) {
    g.count = 0;
    g.exact = {};
    g.inexact = 0;
    g.exactOk = true;
    g.best = ExprValue::null();
    g.failure = ExprValue::null();
  }
}

}  // namespace report
