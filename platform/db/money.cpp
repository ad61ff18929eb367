#include "db/money.h"

#include <cmath>
#include <cstdlib>

namespace db {

std::optional<Money> Money::fromDouble(double value) {
  if (!std::isfinite(value) || std::fabs(value) > kMaxAbs) return std::nullopt;
  return Money(std::llround(value * static_cast<double>(kScale)));
}

std::optional<Money> Money::parse(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t whole = 0;
  int digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (digits >= 12) return std::nullopt;
    whole = whole * 10 + (text[i] - '0');
  }
  int64_t fraction = 0;
  int places = 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++places) {
      if (places >= 4) return std::nullopt;
      fraction = fraction * 10 + (text[i] - '0');
    }
  }
  if (i != text.size() || digits + places == 0) return std::nullopt;
  for (int p = places; p < 4; ++p) fraction *= 10;
  const int64_t units = whole * kScale + fraction;
  return Money(negative ? -units : units);
}

std::string Money::toString(int decimals) const {
  if (decimals < 0) decimals = 0;
  if (decimals > 4) decimals = 4;
  int64_t step = 1;
  for (int d = decimals; d < 4; ++d) step *= 10;
  const bool negative = units_ < 0;
  // Magnitude as unsigned so that the most negative value cannot overflow.
  uint64_t magnitude = negative ? uint64_t(0) - static_cast<uint64_t>(units_) : static_cast<uint64_t>(units_);
  magnitude = (magnitude + static_cast<uint64_t>(step) / 2) / static_cast<uint64_t>(step);
  uint64_t divisor = 1;
  for (int d = 0; d < decimals; ++d) divisor *= 10;
  std::string out = std::to_string(magnitude / divisor);
  if (decimals > 0) {
    std::string frac = std::to_string(magnitude % divisor);
    out += '.' + std::string(static_cast<size_t>(decimals) - frac.size(), '0') + frac;
  }
  if (negative && magnitude != 0) out.insert(out.begin(), '-');
  return out;
}

}  // namespace db
