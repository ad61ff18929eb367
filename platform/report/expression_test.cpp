// The expression language of report controls, on a small table.
#include "expression.h"

#include <gtest/gtest.h>

#include "db/formats.h"
#include "db/table.h"
#include "report_test_util.h"

namespace report {
namespace {

using db::testing::D;
using db::testing::N;
using db::testing::T;
using pdx::FieldType;

class ExpressionTest : public db::testing::DataSetTest {
 protected:
  void SetUp() override {
    db::RegionalFormats::current() = db::RegionalFormats();
    makeTable("lines",
              {{"Line", FieldType::kLong, 0}, {"Descr", FieldType::kAlpha, 30}, {"Amount", FieldType::kMoney, 0},
               {"Qty", FieldType::kNumber, 0}, {"Shipped", FieldType::kDate, 0}},
              "Line",
              {{db::testing::I(1), T("Paint"), N(0.1), N(3), D(2024, 3, 1)},
               {db::testing::I(2), T("Brush"), N(0.2), pdx::Value(), D(2024, 2, 1)},
               {db::testing::I(3), T("O'Neil's rag"), N(-0.05), N(1.5), pdx::Value()}});
    lines_.setDatabaseName(dir_.path());
    lines_.setTableName("lines");
    lines_.setName("Fadet");
    ASSERT_OK(lines_.open());
    scope_.dataSets = {&lines_};
    scope_.pageNumber = 4;
    scope_.now = QDateTime(QDate(2026, 7, 12), QTime(9, 30));
  }

  std::unique_ptr<Expression> parse(const QString& text) {
    QString error;
    auto e = Expression::parse(text, &error);
    EXPECT_TRUE(e) << text.toStdString() << ": " << error.toStdString();
    return e;
  }
  // The value on the current record, as plain text ("#" + message for errors).
  QString eval(const QString& text) {
    auto e = parse(text);
    if (!e) return "#unparsed";
    const ExprValue v = e->evaluate(scope_);
    return v.isError() ? "#" + v.text() : plainText(v);
  }
  // The aggregate of `text` over every line.
  ExprValue total(const QString& text) {
    auto e = parse(text);
    if (!e) return ExprValue::error("unparsed");
    EXPECT_OK(lines_.first());
    while (!lines_.eof()) {
      e->accumulate(scope_);
      EXPECT_OK(lines_.next());
    }
    return e->evaluate(scope_);
  }

  db::Table lines_;
  Scope scope_;
};

TEST_F(ExpressionTest, FieldsOperatorsAndFunctionsOnTheCurrentRecord) {
  EXPECT_EQ(eval("Descr"), "Paint");
  EXPECT_EQ(eval("fadet.descr"), "Paint");  // names without regard to case
  EXPECT_EQ(eval("Amount * Qty + 1"), "1.3");
  EXPECT_EQ(eval("-(Amount - 1) / 2"), "0.45");
  EXPECT_EQ(eval("2 + 3 * 4"), "14");
  EXPECT_EQ(eval("(2 + 3) * 4"), "20");
  EXPECT_EQ(eval("'Item: ' + Descr + ' x' + Qty"), "Item: Paint x3");
  EXPECT_EQ(eval("'It''s'"), "It's");
  EXPECT_EQ(eval("\"double\""), "double");
  EXPECT_EQ(eval("Qty > 2 AND NOT (Descr = 'Brush')"), "True");
  EXPECT_EQ(eval("Shipped < Shipped + 1"), "True");
  EXPECT_EQ(eval("Shipped + 30"), "31/03/2024");
  EXPECT_EQ(eval("IF(Qty >= 3, 'many', 'few')"), "many");
  EXPECT_EQ(eval("COPY(Descr, 2, 3)"), "ain");
  EXPECT_EQ(eval("COPY(Descr, 9, 3)"), "");
  EXPECT_EQ(eval("UPPER(Descr) + LOWER('X')"), "PAINTx");
  EXPECT_EQ(eval("INT(7.9) + FRAC(0.25) + ABS(-2)"), "9.25");
  EXPECT_EQ(eval("ROUND(2 / 3, 2)"), "0.67");
  EXPECT_EQ(eval("FORMATNUMERIC('#,##0.00', 1234.5)"), "1,234.50");
  EXPECT_EQ(eval("STR(Qty) + '!'"), "3!");
  EXPECT_EQ(eval("PAGENUMBER"), "4");
  EXPECT_EQ(eval("DATE"), "12/07/2026");

  // A blank field is 0 in arithmetic and '' in text.
  ASSERT_OK(lines_.next());
  EXPECT_EQ(eval("Qty + 1"), "1");
  EXPECT_EQ(eval("Descr + Qty"), "Brush");
}

// Amounts add exactly: ten times 0.1 is 1, not 0.9999999999999999.
TEST_F(ExpressionTest, SumsOfAmountsAreExact) {
  EXPECT_EQ(eval("Amount + 0.2"), "0.3");
  const ExprValue sum = total("SUM(Amount)");
  ASSERT_TRUE(sum.toMoney());
  EXPECT_EQ(*sum.toMoney(), db::Money::fromUnits(2500));  // 0.1 + 0.2 - 0.05
  EXPECT_EQ(plainText(sum), "0.25");

  auto e = parse("SUM(Amount)");
  for (int i = 0; i < 10; ++i) {
    ASSERT_OK(lines_.first());
    e->accumulate(scope_);
  }
  EXPECT_EQ(plainText(e->evaluate(scope_)), "1");
  e->reset();
  EXPECT_EQ(plainText(e->evaluate(scope_)), "0");
}

TEST_F(ExpressionTest, AggregatesCountBlanksAsTheyShould) {
  EXPECT_EQ(plainText(total("COUNT")), "3");
  EXPECT_EQ(plainText(total("COUNT(Qty)")), "2");   // a blank is not counted
  EXPECT_EQ(plainText(total("AVERAGE(Qty)")), "2.25");
  EXPECT_EQ(plainText(total("MIN(Descr)")), "Brush");
  EXPECT_EQ(plainText(total("MAX(Shipped)")), "01/03/2024");
  EXPECT_EQ(plainText(total("SUM(Qty) * 2")), "9");
  EXPECT_EQ(plainText(total("SUM(Amount + Qty)")), "4.75");
  EXPECT_TRUE(total("AVERAGE(Qty)").isNumber());
  // An aggregate over nothing.
  auto e = parse("AVERAGE(Qty)");
  EXPECT_TRUE(e->evaluate(scope_).isNull());
}

TEST_F(ExpressionTest, WhatFailsWhileRunningIsAnErrorValue) {
  EXPECT_EQ(eval("Nope"), "#no field Nope");
  EXPECT_EQ(eval("Other.Descr"), "#no field Other.Descr");
  EXPECT_EQ(eval("Amount / 0"), "#division by zero");
  EXPECT_EQ(eval("Descr * 2"), "#numbers expected");
  EXPECT_EQ(eval("Descr < 2"), "#values of different kinds compared");
  EXPECT_EQ(eval("IF('x', 1, 2)"), "#IF needs a condition");
  // An error in a sum stays until the sums start again.
  const ExprValue bad = total("SUM(Descr)");
  EXPECT_TRUE(bad.isError());
  lines_.close();
  EXPECT_EQ(eval("Fadet.Descr"), "#Fadet is closed");
  EXPECT_EQ(eval("Descr"), "#no field Descr");
}

TEST_F(ExpressionTest, WhatDoesNotParseSaysWhereAndWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "a value expected at the end"},
      {"1 +", "a value expected at the end"},
      {"(1 + 2", "')' expected at the end"},
      {"1 2", "unexpected '2' at position 3"},
      {"'open", "unterminated text at position 1"},
      {"1 # 2", "unexpected character '#' at position 3"},
      {"NOPE(1)", "unknown function NOPE at position 1"},
      {"SUM(SUM(Amount))", "an aggregate inside an aggregate at position 5"},
      {"SUM(1, 2)", "SUM takes one value at position 1"},
      {"COPY('a')", "COPY takes 3 values at position 1"},
      {"Fadet.", "a field name expected at the end"},
  };
  for (const auto& [text, why] : cases) {
    QString error;
    EXPECT_FALSE(Expression::parse(text, &error)) << text;
    EXPECT_EQ(error.toStdString(), why) << text;
  }
  // Deep nesting and endless chains are refused, not a stack overflow.
  QStringList chain;
  for (int i = 0; i < 5000; ++i) chain << "1";
  for (const QString& deep : {QString(5000, '(') + "1" + QString(5000, ')'), QString(5000, '-') + "1",
                              QString("NOT ").repeated(5000) + "TRUE", QString("ABS(").repeated(5000) + "1",
                              chain.join('+')}) {
    QString error;
    EXPECT_FALSE(Expression::parse(deep, &error));
    EXPECT_TRUE(error.startsWith("expression nested too deeply")) << error.toStdString();
  }
  EXPECT_TRUE(Expression::parse(chain.mid(0, 500).join('+'), nullptr));
}

}  // namespace
}  // namespace report
