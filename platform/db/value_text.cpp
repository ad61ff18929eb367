#include "value_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "db/formats.h"

namespace db {

using pdx::FieldType;
using pdx::Status;
using pdx::Value;

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && lowerByte(a[i]) != lowerByte(b[i])) return false;
  return true;
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerByte(c);
  return out;
}

std::string trimmed(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

std::vector<std::string> splitNames(std::string_view names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string name = trimmed(names.substr(start, end - start));
    if (!name.empty()) out.push_back(std::move(name));
    start = end + 1;
  }
  return out;
}

namespace {

std::string trimRight(std::string_view text) {
  size_t e = text.size();
  while (e > 0 && text[e - 1] == ' ') --e;
  return std::string(text.substr(0, e));
}

std::optional<double> parseNumber(const std::string& text) {
  const std::string t = trimmed(text);
  if (t.empty()) return std::nullopt;
  double v = 0;
  const char* b = t.data();
  if (*b == '+') ++b;
  auto [end, ec] = std::from_chars(b, t.data() + t.size(), v, std::chars_format::fixed);
  if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<bool> parseLogical(const std::string& text) {
  const std::string t = lowerAscii(trimmed(text));
  if (t == "true" || t == "t" || t == "yes" || t == "y" || t == "oui" || t == "o" || t == "vrai") return true;
  if (t == "false" || t == "f" || t == "no" || t == "n" || t == "non" || t == "faux") return false;
  return std::nullopt;
}

std::optional<pdx::Time> parseTime(const std::string& text) {
  int h = 0, m = 0, s = 0;
  char extra = 0;
  const std::string t = trimmed(text);
  const int n = std::sscanf(t.c_str(), "%d:%d:%d%c", &h, &m, &s, &extra);
  if ((n != 2 && n != 3) || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
  return pdx::Time{((h * 60 + m) * 60 + s) * 1000};
}

Status mismatch(const std::string& what, FieldType type) {
  return Status(pdx::code::kInvalidValue,
                "\"" + what + "\" is not a valid " + std::string(1, pdx::typeLetter(type)) + " value");
}

bool isTextType(FieldType t) { return t == FieldType::kAlpha || t == FieldType::kMemo || t == FieldType::kFmtMemo; }
bool isBinaryType(FieldType t) {
  return t == FieldType::kBlob || t == FieldType::kGraphic || t == FieldType::kOle || t == FieldType::kBytes;
}

}  // namespace

std::string plainText(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::kNull: return {};
    case Value::Kind::kText: return value.asText();
    case Value::Kind::kBytes: return value.asBytes();
    case Value::Kind::kDecimal: return value.asDecimal();
    case Value::Kind::kInteger: return std::to_string(value.asInteger());
    case Value::Kind::kNumber: {
      char buf[400];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value.asNumber(), std::chars_format::fixed);
      return ec == std::errc() ? std::string(buf, end) : std::string();
    }
    case Value::Kind::kLogical: return value.asLogical() ? "True" : "False";
    case Value::Kind::kDate: return formatDate(value.asDate(), RegionalFormats::current().shortDateFormat);
    case Value::Kind::kTime: {
      const int ms = value.asTime().ms;
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60);
      return buf;
    }
    case Value::Kind::kTimestamp: {
      const pdx::Timestamp ts = value.asTimestamp();
      return plainText(Value::date(ts.date())) + " " + plainText(Value::time(ts.time()));
    }
  }
  return {};
}

pdx::Result<Value> convertTo(const Value& value, FieldType type) {
  if (value.isNull()) return Value();
  const Value::Kind k = value.kind();
  if (isTextType(type)) {
    if (k == Value::Kind::kText) return value;
    if (k == Value::Kind::kBytes) return Value::text(value.asBytes());
    return Value::text(plainText(value));
  }
  if (isBinaryType(type)) {
    if (k == Value::Kind::kBytes) return value;
    if (k == Value::Kind::kText) return Value::bytes(value.asText());
    return mismatch(plainText(value), type);
  }
  if (k == Value::Kind::kText && trimmed(value.asText()).empty()) return Value();
  switch (type) {
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoInc: {
      std::optional<double> v;
      if (k == Value::Kind::kInteger) return value;
      if (k == Value::Kind::kText) v = parseNumber(value.asText());
      else v = value.toDouble();
      const double limit = type == FieldType::kShort ? 32767.0 : 2147483647.0;
      if (!v || *v != std::floor(*v) || std::fabs(*v) > limit) return mismatch(plainText(value), type);
      return Value::integer(static_cast<int64_t>(*v));
    }
    case FieldType::kMoney:
    case FieldType::kNumber: {
      if (k == Value::Kind::kNumber) return value;
      std::optional<double> v = k == Value::Kind::kText ? parseNumber(value.asText()) : value.toDouble();
      if (!v) return mismatch(plainText(value), type);
      return Value::number(*v);
    }
    case FieldType::kBcd: {
      if (k == Value::Kind::kDecimal) return value;
      const std::string text = k == Value::Kind::kText ? trimmed(value.asText()) : plainText(value);
      if (!parseNumber(text)) return mismatch(text, type);
      return Value::decimal(text);
    }
    case FieldType::kLogical: {
      if (k == Value::Kind::kLogical) return value;
      if (k == Value::Kind::kText)
        if (auto b = parseLogical(value.asText())) return Value::logical(*b);
      return mismatch(plainText(value), type);
    }
    case FieldType::kDate: {
      if (k == Value::Kind::kDate) return value;
      if (k == Value::Kind::kTimestamp) return Value::date(value.asTimestamp().date());
      if (k == Value::Kind::kText)
        if (auto d = parseDate(value.asText(), RegionalFormats::current().shortDateFormat)) return Value::date(*d);
      return mismatch(plainText(value), type);
    }
    case FieldType::kTime: {
      if (k == Value::Kind::kTime) return value;
      if (k == Value::Kind::kTimestamp) return Value::time(value.asTimestamp().time());
      if (k == Value::Kind::kText)
        if (auto t = parseTime(value.asText())) return Value::time(*t);
      return mismatch(plainText(value), type);
    }
    case FieldType::kTimestamp: {
      if (k == Value::Kind::kTimestamp) return value;
      if (k == Value::Kind::kDate) return Value::timestamp(pdx::Timestamp::from(value.asDate(), pdx::Time{0}));
      if (k == Value::Kind::kText) {
        const std::string t = trimmed(value.asText());
        const size_t blank = t.find(' ');
        auto d = parseDate(t.substr(0, blank), RegionalFormats::current().shortDateFormat);
        std::optional<pdx::Time> tm = pdx::Time{0};
        if (blank != std::string::npos) tm = parseTime(t.substr(blank + 1));
        if (d && tm) return Value::timestamp(pdx::Timestamp::from(*d, *tm));
      }
      return mismatch(plainText(value), type);
    }
    default: return mismatch(plainText(value), type);
  }
}

namespace {

// The value as a double when it is a number of any kind.
std::optional<double> numeric(const Value& v) {
  if (v.kind() == Value::Kind::kDecimal) return parseNumber(v.asDecimal());
  return v.toDouble();
}

}  // namespace

bool valueMatches(const Value& have, const Value& want, bool partial, bool caseInsensitive) {
  if (want.isNull() || (want.kind() == Value::Kind::kText && trimRight(want.asText()).empty()))
    return have.isNull() || (have.kind() == Value::Kind::kText && trimRight(have.asText()).empty());
  if (have.isNull()) return false;
  if (have.kind() == Value::Kind::kText) {
    std::string h = trimRight(have.asText());
    std::string w = want.kind() == Value::Kind::kText ? trimRight(want.asText()) : plainText(want);
    if (caseInsensitive) {
      h = lowerAscii(h);
      w = lowerAscii(w);
    }
    return partial ? h.compare(0, w.size(), w) == 0 : h == w;
  }
  if (auto hn = numeric(have)) {
    std::optional<double> wn = want.kind() == Value::Kind::kText ? parseNumber(want.asText()) : numeric(want);
    return wn && *hn == *wn;
  }
  Value w = want;
  if (want.kind() == Value::Kind::kText) {
    FieldType t = have.kind() == Value::Kind::kDate ? FieldType::kDate
                  : have.kind() == Value::Kind::kTime ? FieldType::kTime
                  : have.kind() == Value::Kind::kTimestamp ? FieldType::kTimestamp
                  : have.kind() == Value::Kind::kLogical ? FieldType::kLogical : FieldType::kBytes;
    auto c = convertTo(want, t);
    if (!c.ok()) return false;
    w = std::move(c).value();
  }
  if (have.kind() == Value::Kind::kTimestamp && w.kind() == Value::Kind::kDate)
    return have.asTimestamp().date() == w.asDate();
  return have == w;
}

int compareValues(const Value& a, const Value& b) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : a.isNull() ? -1 : 1;
  if (a.kind() == Value::Kind::kText || b.kind() == Value::Kind::kText) {
    const std::string x = trimRight(plainText(a)), y = trimRight(plainText(b));
    return x < y ? -1 : x > y ? 1 : 0;
  }
  auto x = numeric(a), y = numeric(b);
  if (x && y) return *x < *y ? -1 : *x > *y ? 1 : 0;
  if (a.kind() == b.kind()) {
    switch (a.kind()) {
      case Value::Kind::kDate: return a.asDate() < b.asDate() ? -1 : a.asDate() > b.asDate() ? 1 : 0;
      case Value::Kind::kTime: return a.asTime() < b.asTime() ? -1 : a.asTime() > b.asTime() ? 1 : 0;
      case Value::Kind::kTimestamp:
        return a.asTimestamp() < b.asTimestamp() ? -1 : a.asTimestamp() > b.asTimestamp() ? 1 : 0;
      case Value::Kind::kLogical: return int(a.asLogical()) - int(b.asLogical());
      case Value::Kind::kBytes: return a.asBytes().compare(b.asBytes());
      default: break;
    }
  }
  return 0;
}

}  // namespace db
