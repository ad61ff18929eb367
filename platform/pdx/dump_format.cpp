#include "pdx/dump_format.h"
#include "pdx/echo.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "record_codec.h"

namespace pdx {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// Timestamps are whole milliseconds kept in a double; below this magnitude
// every whole number is exact, so the split into day and time is too.
constexpr double kExactMs = 9007199254740992.0;  // 2^53

bool isTextType(FieldType t) {
  return t == FieldType::kAlpha || t == FieldType::kMemo || t == FieldType::kFmtMemo;
}

bool isBinaryType(FieldType t) {
  return t == FieldType::kBytes || t == FieldType::kBlob || t == FieldType::kGraphic || t == FieldType::kOle;
}

Status invalid(const FieldDef& field, std::string_view text, std::string_view why) {
  return Status(code::kInvalidValue, "field " + quote(field.name) + ": " + quote(text, 60) + " is not " + std::string(why));
}

std::string hexOf(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0x0F];
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendPadded(std::string& out, int64_t v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
  out += buf;
}

std::string formatDate(Date d) {
  int year = 0, month = 0, day = 0;
  d.toYmd(year, month, day);
  std::string out;
  if (year < 0) out += '-';
  else if (year > 9999) out += '+';
  appendPadded(out, year < 0 ? -int64_t{year} : int64_t{year}, 4);
  out += '-';
  appendPadded(out, month, 2);
  out += '-';
  appendPadded(out, day, 2);
  return out;
}

std::string formatTime(int64_t ms) {
  std::string out;
  if (ms < 0) {
    out += '-';
    ms = -ms;
  }
  const int64_t seconds = ms / 1000;
  appendPadded(out, seconds / 3600, 2);
  out += ':';
  appendPadded(out, seconds / 60 % 60, 2);
  out += ':';
  appendPadded(out, seconds % 60, 2);
  if (ms % 1000 != 0) {
    out += '.';
    appendPadded(out, ms % 1000, 3);
  }
  return out;
}

std::string formatTimestamp(double ms) {
  if (!std::isfinite(ms) || std::fabs(ms) >= kExactMs) return detail::shortestDouble(ms);
  const int64_t total = std::llround(ms);
  int64_t day = total / kMsPerDay;
  int64_t rest = total % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --day;
  }
  // |day| < 2^53 / 86'400'000, well inside int32.
  return formatDate(Date{static_cast<int32_t>(day)}) + "T" + formatTime(rest);
}

bool isPlainDecimal(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && s[i] == '-') ++i;
  const size_t digitsFrom = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  if (i == digitsFrom) return false;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  }
  return i == s.size();
}

}  // namespace

std::string escapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

Result<std::string> unescapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\t' || c == '\n' || c == '\r')
      return Status(code::kInvalidValue, "raw tab or line break at character " + std::to_string(i + 1) +
                                             " (write \\t, \\n or \\r)");
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == text.size()) return Status(code::kInvalidValue, "backslash at the end of the text (write \\\\)");
    switch (text[i]) {
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default:
        return Status(code::kInvalidValue, std::string("unknown escape \\") + text[i] + " at character " +
                                               std::to_string(i) + " (only \\t \\n \\r \\\\)");
    }
  }
  return out;
}

std::string formatValue(const FieldDef& field, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull: return {};
    case Value::Kind::kText:
      return isBinaryType(field.type) ? hexOf(v.asText()) : escapeText(v.asText());
    case Value::Kind::kBytes:
      return isTextType(field.type) ? escapeText(v.asBytes()) : hexOf(v.asBytes());
    case Value::Kind::kInteger: return std::to_string(v.asInteger());
    case Value::Kind::kNumber: return detail::shortestDouble(v.asNumber());
    case Value::Kind::kLogical: return v.asLogical() ? "true" : "false";
    case Value::Kind::kDate: return formatDate(v.asDate());
    case Value::Kind::kTime: return formatTime(v.asTime().ms);
    case Value::Kind::kTimestamp: return formatTimestamp(v.asTimestamp().ms);
    case Value::Kind::kDecimal: return v.asDecimal();
  }
  return {};
}

Result<Value> parseValue(const FieldDef& field, std::string_view text) {
  if (text.empty()) return Value();
  switch (field.type) {
    case FieldType::kAlpha:
    case FieldType::kMemo:
    case FieldType::kFmtMemo: {
      auto plain = unescapeText(text);
      if (!plain.ok()) return Status(code::kInvalidValue, "field " + quote(field.name) + ": " + plain.status().message());
      return Value::text(std::move(plain).value());
    }
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoInc: {
      int64_t v = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec != std::errc() || end != text.data() + text.size()) return invalid(field, text, "a whole number");
      const int64_t high = field.type == FieldType::kShort ? 32767 : 2147483647;
      // The lowest value of each width is not storable; autoincrement numbers
      // are positive (the table would otherwise number the record itself).
      const int64_t low = field.type == FieldType::kAutoInc ? 1 : -high;
      if (v < low || v > high)
        return invalid(field, text, "within " + std::to_string(low) + ".." + std::to_string(high));
      return Value::integer(v);
    }
    case FieldType::kNumber:
    case FieldType::kMoney: {
      double v = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return invalid(field, text, "a finite number");
      return Value::number(v);
    }
    case FieldType::kBcd:
      if (!isPlainDecimal(text)) return invalid(field, text, "a decimal number");
      return Value::decimal(std::string(text));
    case FieldType::kDate: {
      auto d = detail::parseDate(text);
      if (!d) return invalid(field, text, "a date YYYY-MM-DD of years 0001..9999");
      return Value::date(*d);
    }
    case FieldType::kTime: {
      auto t = detail::parseTime(text);
      if (!t) return invalid(field, text, "a time HH:MM:SS[.mmm]");
      return Value::time(*t);
    }
    case FieldType::kTimestamp: {
      std::optional<Date> d;
      std::optional<Time> t;
      if (text.size() > 11 && text[10] == 'T') {
        d = detail::parseDate(text.substr(0, 10));
        t = detail::parseTime(text.substr(11));
      }
      if (!d || !t) return invalid(field, text, "a timestamp YYYY-MM-DDTHH:MM:SS[.mmm]");
      return Value::timestamp(Timestamp::from(*d, *t));
    }
    case FieldType::kLogical:
      if (text == "true") return Value::logical(true);
      if (text == "false") return Value::logical(false);
      return invalid(field, text, "true or false");
    case FieldType::kBytes:
    case FieldType::kBlob:
    case FieldType::kGraphic:
    case FieldType::kOle: {
      if (text.size() % 2 != 0) return invalid(field, text, "hexadecimal bytes (odd number of digits)");
      std::string bytes(text.size() / 2, '\0');
      for (size_t i = 0; i < bytes.size(); ++i) {
        const int hi = hexDigit(text[2 * i]), lo = hexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return invalid(field, text, "hexadecimal bytes");
        bytes[i] = static_cast<char>((hi << 4) | lo);
      }
      return Value::bytes(std::move(bytes));
    }
  }
  return Status(code::kInvalidValue, "field " + quote(field.name) + " has an unknown type");
}

}  // namespace pdx
