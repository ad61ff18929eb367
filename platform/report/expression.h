// Report expressions: parsed once, evaluated against the datasets' current
// records. The language is described with report::Expr (controls.h).
#pragma once

#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

#include "report/controls.h"

namespace db {
class DataSet;
}

namespace report {

// What an expression sees while it is evaluated.
struct Scope {
  // Searched in order for a bare field name; "Name.Field" picks by name.
  std::vector<db::DataSet*> dataSets;
  int pageNumber = 0;
  QDateTime now;
};

class Expression {
 public:
  ~Expression();
  // The parsed expression, or null with `error` saying what is wrong.
  static std::unique_ptr<Expression> parse(const QString& source, QString* error);

  ExprValue evaluate(const Scope& scope) const;
  // Adds the current records to every aggregate (SUM, COUNT, ...).
  void accumulate(const Scope& scope);
  // Aggregates back to nothing counted.
  void reset();
  bool hasAggregates() const { return !aggregates_.empty(); }

  struct Node;
  struct Aggregate;

 private:
  Expression();
  std::unique_ptr<Node> root_;
  std::vector<Aggregate> aggregates_;
};

// The value as a plain text (numbers in shortest form, dates in the short
// date format, booleans True/False, null and errors empty).
QString plainText(const ExprValue& value);

}  // namespace report
