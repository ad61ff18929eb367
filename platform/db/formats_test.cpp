#include <gtest/gtest.h>

#include "db/formats.h"
#include "db/money.h"

namespace db {
namespace {

pdx::Date ymd(int y, int m, int d) { return *pdx::Date::fromYmd(y, m, d); }

TEST(MoneyTest, SumsAreExactWhereDoublesAreNot) {
  Money sum;
  for (double a : {0.10, 0.20}) sum += *Money::fromDouble(a);
  EXPECT_EQ(sum, *Money::fromDouble(0.30));
  EXPECT_NE(0.10 + 0.20, 0.30);  // what the fixed point is for

  // A long column of cents adds up to the cent.
  Money total;
  for (int i = 0; i < 100'000; ++i) total += *Money::fromDouble(0.01);
  EXPECT_EQ(total.toString(), "1000.00");
}

TEST(MoneyTest, RoundsHalvesAwayFromZeroAndRefusesWhatItCannotHold) {
  EXPECT_EQ(Money::fromDouble(1.00005)->units(), 10001);
  EXPECT_EQ(Money::fromDouble(-1.00005)->units(), -10001);
  EXPECT_EQ(Money::fromDouble(2.675)->toString(2), "2.68");
  EXPECT_EQ(Money::fromDouble(-0.004)->toString(2), "0.00");  // no "-0.00"
  EXPECT_FALSE(Money::fromDouble(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(Money::fromDouble(1e300));
  EXPECT_EQ(Money::parse("-12.5")->units(), -125000);
  EXPECT_EQ(Money::parse("0.0001")->units(), 1);
  for (const char* bad : {"", "-", ".", "1.23456", "1e5", "12,50", "abc", "1.2.3", "9999999999999"})
    EXPECT_FALSE(Money::parse(bad)) << bad;
  EXPECT_EQ(Money::fromUnits(INT64_MIN).toString(0).front(), '-');  // no overflow
}

TEST(FormatsTest, DatesFollowTheShortDateFormat) {
  EXPECT_EQ(formatDate(ymd(2026, 12, 7), "DD/MM/YYYY"), "07/12/2026");
  EXPECT_EQ(formatDate(ymd(2026, 12, 7), "yyyy-mm-dd"), "2026-12-07");
  EXPECT_EQ(formatDate(ymd(2026, 3, 7), "M/D/YY"), "3/7/26");
  EXPECT_EQ(formatDate(pdx::Date{0}, "DD/MM/YYYY"), "");

  EXPECT_EQ(parseDate("07/12/2026", "DD/MM/YYYY"), ymd(2026, 12, 7));
  EXPECT_EQ(parseDate("7-12-2026", "DD/MM/YYYY"), ymd(2026, 12, 7));
  EXPECT_EQ(parseDate("07122026", "DD/MM/YYYY"), ymd(2026, 12, 7));
  EXPECT_EQ(parseDate("2026-12-07", "YYYY-MM-DD"), ymd(2026, 12, 7));
  EXPECT_EQ(parseDate("12/07/26", "MM/DD/YY"), ymd(2026, 12, 7));
  EXPECT_EQ(parseDate("12/07/76", "MM/DD/YY"), ymd(1976, 12, 7));
  for (const char* bad : {"", "  /  /    ", "31/02/2026", "12/13/2026", "ab/cd/efgh", "1/1", "1/1/1/1",
                          "07/12/202", "0712202", "07/12/20266", "00/12/2026"})
    EXPECT_FALSE(parseDate(bad, "DD/MM/YYYY")) << bad;
}

TEST(FormatsTest, DateEditMaskComesFromTheFormat) {
  EXPECT_EQ(dateEditMask("DD/MM/YYYY"), "!99/99/9999;1; ");
  EXPECT_EQ(dateEditMask("yyyy-mm-dd"), "!9999-99-99;1; ");
}

TEST(FormatsTest, NumberPictures) {
  RegionalFormats f;
  EXPECT_EQ(formatFloat("#,###,##0.00", 1234567.891, f), "1,234,567.89");
  EXPECT_EQ(formatFloat("$#,###,##0.00", 1234.5, f), "$1,234.50");
  EXPECT_EQ(formatFloat("$#,###,##0.00", -1234.5, f), "-$1,234.50");
  EXPECT_EQ(formatFloat("##0.00", 0.5, f), "0.50");
  EXPECT_EQ(formatFloat("##0.00", 0, f), "0.00");
  EXPECT_EQ(formatFloat("###,###,##0.00", 999.999, f), "1,000.00");
  EXPECT_EQ(formatFloat("0.##", 2.5, f), "2.5");
  EXPECT_EQ(formatFloat("0.00 %", 12.345, f), "12.35 %");
  EXPECT_EQ(formatFloat("#,##0.00;(#,##0.00);'nil'", -3, f), "(3.00)");
  EXPECT_EQ(formatFloat("#,##0.00;(#,##0.00);'nil'", 0, f), "nil");
  EXPECT_EQ(formatFloat("##0.00", -0.001, f), "0.00");
  f.decimalSeparator = ',';
  f.thousandSeparator = ' ';
  EXPECT_EQ(formatFloat("#,##0.00", 1234.5, f), "1 234,50");
}

TEST(FormatsTest, CurrencyPlacement) {
  RegionalFormats before;
  EXPECT_EQ(formatCurrency(12.5, before), "$12.50");
  EXPECT_EQ(formatCurrency(-12.5, before), "-$12.50");
  EXPECT_EQ(formatCurrency(1234.5, before, "US$"), "US$1,234.50");
  before.negativeInParentheses = true;
  EXPECT_EQ(formatCurrency(-12.5, before), "($12.50)");
  RegionalFormats after;
  after.symbolBefore = false;
  after.negativeInParentheses = true;
  EXPECT_EQ(formatCurrency(12.5, after), "12.50$");
  EXPECT_EQ(formatCurrency(-12.5, after), "(12.50$)");
  EXPECT_EQ(formatCurrency(-0.001, after), "0.00$");
  after.negativeInParentheses = false;
  EXPECT_EQ(formatCurrency(-12.5, after), "-12.50$");
}

}  // namespace
}  // namespace db
