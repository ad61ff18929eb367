#include "data/money.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace data {
namespace {

TEST(Money, SumsInFixedPointComeOutExact) {
  // Ten cents added ten times is a dollar; in floating point it is not.
  int64_t sum = 0;
  double naive = 0;
  for (int i = 0; i < 10; ++i) {
    sum += *toTenThousandths(0.1);
    naive += 0.1;
  }
  EXPECT_EQ(sum, 10'000);
  EXPECT_NE(naive, 1.0);
  EXPECT_EQ(fromTenThousandths(sum), 1.0);
  EXPECT_EQ(*toTenThousandths(0.1) + *toTenThousandths(0.2), *toTenThousandths(0.3));
}

TEST(Money, RoundsHalvesAwayFromZeroAndRefusesNonNumbers) {
  EXPECT_EQ(toTenThousandths(1.00005), 10001);
  EXPECT_EQ(toTenThousandths(-1.00005), -10001);
  EXPECT_EQ(toTenThousandths(-40.0), -400'000);
  EXPECT_EQ(toTenThousandths(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(toTenThousandths(std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(toTenThousandths(1e300), std::nullopt);
  EXPECT_EQ(roundMoney(12.345678), 12.3457);
  EXPECT_TRUE(std::isnan(roundMoney(std::numeric_limits<double>::quiet_NaN())));
}

TEST(Money, FormatsWithTheWantedDecimals) {
  EXPECT_EQ(formatTenThousandths(1'234'567), "123.46");
  EXPECT_EQ(formatTenThousandths(-1'234'567), "-123.46");
  EXPECT_EQ(formatTenThousandths(-49, 2), "0.00");  // no "-0.00"
  EXPECT_EQ(formatTenThousandths(5, 4), "0.0005");
  EXPECT_EQ(formatTenThousandths(123'456, 0), "12");
  EXPECT_EQ(formatTenThousandths(std::numeric_limits<int64_t>::min(), 4), "-922337203685477.5808");
}

}  // namespace
}  // namespace data
