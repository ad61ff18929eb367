#include "decimal_text.h"

#include <algorithm>
#include <cstdint>

namespace pdxtool {
namespace {

// A double spans about 10^-324 .. 10^308, so its exact decimal form never
// needs more than this many digits on either side of the point.
constexpr size_t kMaxDigits = 2000;

// digits * 10^-scale, with the sign apart. `digits` may have leading zeros.
struct Fixed {
  bool negative = false;
  std::string digits;
  size_t scale = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<Fixed> parse(std::string_view s) {
  Fixed out;
  size_t i = 0;
  if (i < s.size() && s[i] == '-') {
    out.negative = true;
    ++i;
  }
  size_t fraction = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (isDigit(s[i])) {
      out.digits += s[i];
      if (point) ++fraction;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (out.digits.empty()) return std::nullopt;
  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool minus = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) minus = s[i++] == '-';
    const size_t from = i;
    for (; i < s.size() && isDigit(s[i]); ++i) {
      exponent = exponent * 10 + (s[i] - '0');
      if (exponent > static_cast<int64_t>(kMaxDigits)) return std::nullopt;
    }
    if (i == from) return std::nullopt;
    if (minus) exponent = -exponent;
  }
  if (i != s.size()) return std::nullopt;
  const int64_t scale = static_cast<int64_t>(fraction) - exponent;
  if (scale < 0) {
    out.digits.append(static_cast<size_t>(-scale), '0');
    out.scale = 0;
  } else {
    out.scale = static_cast<size_t>(scale);
  }
  if (out.digits.size() > 2 * kMaxDigits || out.scale > kMaxDigits) return std::nullopt;
  return out;
}

// Magnitudes of equal length: a + b and a - b (a >= b).
std::string addMagnitudes(const std::string& a, const std::string& b) {
  std::string out(a.size() + 1, '0');
  int carry = 0;
  for (size_t i = a.size(); i-- > 0;) {
    const int d = (a[i] - '0') + (b[i] - '0') + carry;
    out[i + 1] = static_cast<char>('0' + d % 10);
    carry = d / 10;
  }
  out[0] = static_cast<char>('0' + carry);
  return out;
}

std::string subtractMagnitudes(const std::string& a, const std::string& b) {
  std::string out(a.size(), '0');
  int borrow = 0;
  for (size_t i = a.size(); i-- > 0;) {
    int d = (a[i] - '0') - (b[i] - '0') - borrow;
    borrow = d < 0 ? 1 : 0;
    if (d < 0) d += 10;
    out[i] = static_cast<char>('0' + d);
  }
  return out;
}

}  // namespace

std::optional<std::string> addDecimalText(std::string_view a, std::string_view b) {
  std::optional<Fixed> x = parse(a), y = parse(b);
  if (!x || !y) return std::nullopt;
  // Same scale, then the same length: the digits line up column by column.
  const size_t scale = std::max(x->scale, y->scale);
  x->digits.append(scale - x->scale, '0');
  y->digits.append(scale - y->scale, '0');
  const size_t width = std::max(x->digits.size(), y->digits.size());
  x->digits.insert(0, width - x->digits.size(), '0');
  y->digits.insert(0, width - y->digits.size(), '0');

  Fixed sum;
  if (x->negative == y->negative) {
    sum.negative = x->negative;
    sum.digits = addMagnitudes(x->digits, y->digits);
  } else if (x->digits >= y->digits) {  // equal lengths: text order is numeric order
    sum.negative = x->negative;
    sum.digits = subtractMagnitudes(x->digits, y->digits);
  } else {
    sum.negative = y->negative;
    sum.digits = subtractMagnitudes(y->digits, x->digits);
  }

  // Plain text: at least one digit before the point, no other leading zero.
  std::string& d = sum.digits;
  if (d.size() <= scale) d.insert(0, scale + 1 - d.size(), '0');
  const size_t integerDigits = d.size() - scale;
  const size_t firstSignificant = std::min(d.find_first_not_of('0'), integerDigits - 1);
  std::string out = d.substr(firstSignificant, integerDigits - firstSignificant);
  if (scale > 0) out += '.' + d.substr(integerDigits);
  if (sum.negative && d.find_first_not_of('0') != std::string::npos) out.insert(0, 1, '-');
  return out;
}

}  // namespace pdxtool
