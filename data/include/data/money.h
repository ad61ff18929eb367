// Amounts in fixed point.
//
// The tables store money as 64-bit floating point (the file format fixes
// it), but sums that must come out exact (running balances, totals, balance
// checks) are made in whole ten-thousandths of a unit, so that 0.1 + 0.2 is
// 0.3 and a balanced entry is never refused for a rounding crumb.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace data {

inline constexpr int64_t kMoneyScale = 10'000;  // four decimals

// The nearest whole number of ten-thousandths (halves away from zero).
// nullopt for NaN, infinities and amounts beyond +-9e14.
std::optional<int64_t> toTenThousandths(double amount);
double fromTenThousandths(int64_t amount);
// An amount rounded to the nearest ten-thousandth, as it should be stored
// (NaN and infinities are returned unchanged).
double roundMoney(double amount);
// "-1234.5600"-style text of a fixed-point amount with `decimals` (0 to 4)
// decimals, rounded half away from zero.
std::string formatTenThousandths(int64_t amount, int decimals = 2);

}  // namespace data
