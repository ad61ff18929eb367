#include "data/money.h"

#include <cmath>
#include <cstdlib>

namespace data {

namespace {
// Beyond this, a double no longer holds every ten-thousandth exactly.
constexpr double kLimit = 9e14;
}  // namespace

std::optional<int64_t> toTenThousandths(double amount) {
  if (!std::isfinite(amount) || std::fabs(amount) > kLimit) return std::nullopt;
  return static_cast<int64_t>(std::llround(amount * static_cast<double>(kMoneyScale)));
}

double fromTenThousandths(int64_t amount) {
  return static_cast<double>(amount) / static_cast<double>(kMoneyScale);
}

double roundMoney(double amount) {
  const auto fixed = toTenThousandths(amount);
  return fixed ? fromTenThousandths(*fixed) : amount;
}

std::string formatTenThousandths(int64_t amount, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 4) decimals = 4;
  int64_t unit = 1;
  for (int i = decimals; i < 4; ++i) unit *= 10;
  const bool negative = amount < 0;
  // Work on the magnitude as unsigned so that INT64_MIN does not overflow.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(amount) : static_cast<uint64_t>(amount);
  magnitude = (magnitude + static_cast<uint64_t>(unit) / 2) / static_cast<uint64_t>(unit);
  uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  std::string text = std::to_string(magnitude / scale);
  if (decimals > 0) {
    std::string frac = std::to_string(magnitude % scale);
    text += "." + std::string(static_cast<size_t>(decimals) - frac.size(), '0') + frac;
  }
  return (negative && magnitude != 0 ? "-" : "") + text;
}

}  // namespace data
