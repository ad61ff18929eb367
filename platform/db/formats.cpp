#include "db/formats.h"

#include <cctype>
#include <cmath>
#include <vector>

namespace db {

RegionalFormats& RegionalFormats::current() {
  static RegionalFormats formats;
  return formats;
}

namespace {

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isPart(char c) { return c == 'D' || c == 'M' || c == 'Y'; }

// The runs of D, M and Y of a format, in order: letter and width.
struct Part {
  char letter;
  int width;
};
std::vector<Part> partsOf(std::string_view format) {
  std::vector<Part> parts;
  for (size_t i = 0; i < format.size();) {
    const char c = upper(format[i]);
    if (!isPart(c)) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < format.size() && upper(format[j]) == c) ++j;
    parts.push_back({c, static_cast<int>(j - i)});
    i = j;
  }
  return parts;
}

std::string padded(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return s;
}

}  // namespace

std::string formatDate(pdx::Date date, std::string_view format) {
  if (date.days <= 0) return {};
  int y = 0, m = 0, d = 0;
  date.toYmd(y, m, d);
  if (y < 1 || y > 9999) return {};
  std::string out;
  for (size_t i = 0; i < format.size();) {
    const char c = upper(format[i]);
    if (!isPart(c)) {
      out += format[i++];
      continue;
    }
    size_t j = i;
    while (j < format.size() && upper(format[j]) == c) ++j;
    const int width = static_cast<int>(j - i);
    if (c == 'D') out += padded(d, width >= 2 ? 2 : 1);
    if (c == 'M') out += padded(m, width >= 2 ? 2 : 1);
    if (c == 'Y') out += width <= 2 ? padded(y % 100, 2) : padded(y, 4);
    i = j;
  }
  return out;
}

std::optional<pdx::Date> parseDate(std::string_view text, std::string_view format) {
  const std::vector<Part> parts = partsOf(format);
  if (parts.size() != 3) return std::nullopt;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

  std::vector<std::string> groups;
  for (size_t i = 0; i < text.size();) {
    if (!isDigit(text[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && isDigit(text[j])) ++j;
    groups.emplace_back(text.substr(i, j - i));
    i = j;
  }
  // Letters are never separators: "12/ab/2026" is not a date.
  for (char c : text)
    if (std::isalpha(static_cast<unsigned char>(c))) return std::nullopt;
  if (groups.size() == 1) {
    // Digits alone: cut them at the format's widths.
    const std::string all = groups.front();
    size_t need = 0;
    for (const Part& p : parts) need += static_cast<size_t>(p.width);
    if (all.size() != need) return std::nullopt;
    groups.clear();
    size_t at = 0;
    for (const Part& p : parts) {
      groups.push_back(all.substr(at, static_cast<size_t>(p.width)));
      at += static_cast<size_t>(p.width);
    }
  }
  if (groups.size() != 3) return std::nullopt;

  int y = -1, m = -1, d = -1;
  for (size_t k = 0; k < 3; ++k) {
    const std::string& g = groups[k];
    const char letter = parts[k].letter;
    if (g.empty() || g.size() > (letter == 'Y' ? 4u : 2u) || (letter == 'Y' && g.size() == 3)) return std::nullopt;
    int v = std::stoi(g);
    if (letter == 'Y' && g.size() <= 2) v += v < 50 ? 2000 : 1900;
    (letter == 'Y' ? y : letter == 'M' ? m : d) = v;
  }
  if (y < 1 || y > 9999) return std::nullopt;
  return pdx::Date::fromYmd(y, m, d);
}

std::string dateEditMask(std::string_view shortDateFormat) {
  std::string body;
  for (char c : shortDateFormat) body += isPart(upper(c)) ? '9' : c;
  return "!" + body + ";1; ";
}

namespace {

struct Picture {
  std::string prefix, suffix;  // literals before the first and after the last placeholder
  int minInteger = 0;          // '0's before the point
  int minDecimals = 0;         // '0's after the point
  int maxDecimals = 0;         // '0's and '#'s after the point
  bool grouping = false;
  bool hasDigits = false;
};

std::vector<std::string> sectionsOf(std::string_view picture) {
  std::vector<std::string> sections(1);
  char quote = 0;
  for (char c : picture) {
    if (quote) {
      if (c == quote) quote = 0;
      sections.back() += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      sections.back() += c;
    } else if (c == ';') {
      sections.emplace_back();
    } else {
      sections.back() += c;
    }
  }
  return sections;
}

Picture parsePicture(std::string_view section) {
  Picture p;
  bool afterPoint = false;
  bool seenDigit = false;
  std::string pending;  // literals met since the last placeholder
  char quote = 0;
  for (char c : section) {
    if (quote) {
      if (c == quote) quote = 0; else pending += c;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (!seenDigit) p.prefix += pending; else if (!pending.empty()) p.suffix += pending;
      pending.clear();
      seenDigit = true;
      if (afterPoint) {
        ++p.maxDecimals;
        if (c == '0') p.minDecimals = p.maxDecimals;
      } else if (c == '0') {
        ++p.minInteger;
      }
    } else if (c == '.' && !afterPoint) {
      if (!seenDigit) { p.prefix += pending; pending.clear(); }
      afterPoint = true;
      seenDigit = true;
    } else if (c == ',' && !afterPoint) {
      p.grouping = true;
    } else {
      pending += c;
    }
  }
  if (seenDigit) p.suffix += pending; else p.prefix += pending;
  p.hasDigits = seenDigit;
  return p;
}

std::string render(const Picture& p, double magnitude, const RegionalFormats& f) {
  if (!p.hasDigits) return p.prefix;
  double scale = std::pow(10.0, p.maxDecimals);
  double scaled = std::round(magnitude * scale);
  std::string digits = std::isfinite(scaled) && scaled < 9e18 ? std::to_string(static_cast<uint64_t>(scaled)) : "0";
  if (static_cast<int>(digits.size()) <= p.maxDecimals)
    digits.insert(0, static_cast<size_t>(p.maxDecimals) + 1 - digits.size(), '0');
  std::string integer = digits.substr(0, digits.size() - static_cast<size_t>(p.maxDecimals));
  std::string fraction = digits.substr(digits.size() - static_cast<size_t>(p.maxDecimals));
  while (static_cast<int>(fraction.size()) > p.minDecimals && fraction.back() == '0') fraction.pop_back();
  // Leading zeros beyond the picture's '0's go.
  size_t strip = 0;
  while (strip < integer.size() && integer[strip] == '0' && static_cast<int>(integer.size() - strip) > p.minInteger) ++strip;
  integer.erase(0, strip);
  if (p.grouping && integer.size() > 3) {
    std::string grouped;
    const size_t first = integer.size() % 3 == 0 ? 3 : integer.size() % 3;
    grouped = integer.substr(0, first);
    for (size_t i = first; i < integer.size(); i += 3) {
      grouped += f.thousandSeparator;
      grouped += integer.substr(i, 3);
    }
    integer = grouped;
  }
  std::string out = p.prefix + integer;
  if (!fraction.empty()) out += f.decimalSeparator + fraction;
  return out + p.suffix;
}

}  // namespace

std::string formatFloat(std::string_view picture, double value, const RegionalFormats& formats) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : value > 0 ? "INF" : "-INF";
  const std::vector<std::string> sections = sectionsOf(picture);
  const Picture positive = parsePicture(sections[0]);
  const double magnitude = std::fabs(value);
  // Decide the sign on the rounded value, so that -0.001 shown with two
  // decimals is "0.00", not "-0.00".
  const bool roundsToZero = std::round(magnitude * std::pow(10.0, positive.maxDecimals)) == 0;
  if ((value == 0 || roundsToZero) && sections.size() >= 3 && !sections[2].empty())
    return render(parsePicture(sections[2]), 0, formats);
  if (value < 0 && !roundsToZero) {
    if (sections.size() >= 2 && !sections[1].empty()) return render(parsePicture(sections[1]), magnitude, formats);
    return "-" + render(positive, magnitude, formats);
  }
  return render(positive, value < 0 ? 0 : magnitude, formats);
}

std::string formatCurrency(double value, const RegionalFormats& formats, std::optional<std::string_view> symbol) {
  const std::string sym(symbol ? *symbol : std::string_view(formats.currencySymbol));
  const std::string body = formatFloat("#,##0.00", std::fabs(value), formats);
  const bool negative = value < 0 && body != formatFloat("#,##0.00", 0.0, formats);
  const std::string amount = formats.symbolBefore ? sym + body : body + sym;
  if (!negative) return amount;
  return formats.negativeInParentheses ? "(" + amount + ")" : "-" + amount;
}

}  // namespace db
