#include "compare.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "pdx/dump_format.h"
#include "sql/query.h"
#include "utf8.h"

namespace sql::detail {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
constexpr uint32_t kOne = 0xFFFFFFFEu;  // '_' in a LIKE piece

pdx::Status mismatch(const std::string& problem) { return pdx::Status(code::kTypeMismatch, problem); }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return trimTrailingBlanks(s);
}

bool equalsAsciiIgnoreCase(std::string_view a, std::string_view b) { return sameName(a, b); }

// A plain decimal split into its sign and significant digits: no leading
// zeros before the point, no trailing zeros after it; zero is positive.
struct DecimalParts {
  bool negative = false;
  std::string_view whole;     // digits before the point
  std::string_view fraction;  // digits after it
};

DecimalParts splitDecimal(std::string_view s) {
  DecimalParts d;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    d.negative = s[0] == '-';
    s.remove_prefix(1);
  }
  const size_t point = s.find('.');
  d.whole = s.substr(0, point);
  d.fraction = point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
  while (!d.whole.empty() && d.whole.front() == '0') d.whole.remove_prefix(1);
  while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.remove_suffix(1);
  if (d.whole.empty() && d.fraction.empty()) d.negative = false;
  return d;
}

// Plain decimal text of a double: the shortest digits that read back to it.
std::string decimalOf(double v) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
}

// The double nearest to a plain decimal; beyond the range of doubles, an
// infinity or a zero of the right sign.
double doubleOf(std::string_view s) {
  const DecimalParts d = splitDecimal(s);
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
  if (r.ec == std::errc::result_out_of_range) {
    v = d.whole.empty() ? 0.0 : std::numeric_limits<double>::infinity();
    if (d.negative) v = -v;
  }
  return v;
}

template <typename T>
int threeWay(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

std::optional<pdx::Value> parseAs(pdx::FieldType type, std::string_view text) {
  auto v = pdx::parseValue(pdx::FieldDef{"", type, 0}, text);
  if (!v.ok() || v->isNull()) return std::nullopt;
  return std::move(v).value();
}

pdx::Result<Constant> numericConstant(const pdx::Value& v) {
  Constant c;
  switch (v.kind()) {
    case pdx::Value::Kind::kInteger: c.text = std::to_string(v.asInteger()); break;
    case pdx::Value::Kind::kNumber:
      if (!std::isfinite(v.asNumber())) return mismatch("is not a finite number");
      c.text = decimalOf(v.asNumber());
      break;
    case pdx::Value::Kind::kDecimal:
      if (!isPlainDecimal(v.asDecimal())) return mismatch("is not a decimal number");
      c.text = v.asDecimal();
      break;
    case pdx::Value::Kind::kText: {
      const std::string_view t = trimBlanks(v.asText());
      if (!isPlainDecimal(t))
        return mismatch("is not a number (write digits, with '.' before the decimals)");
      c.text.assign(t);
      break;
    }
    default: return mismatch("is " + kindName(v.kind()) + ", not a number");
  }
  if (!c.text.empty() && c.text[0] == '+') c.text.erase(0, 1);
  c.number = v.kind() == pdx::Value::Kind::kNumber ? v.asNumber() : doubleOf(c.text);
  return c;
}

}  // namespace

std::optional<ValueClass> classOf(pdx::FieldType type) {
  using pdx::FieldType;
  switch (type) {
    case FieldType::kAlpha:
    case FieldType::kMemo:
    case FieldType::kFmtMemo: return ValueClass::kText;
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoInc: return ValueClass::kInteger;
    case FieldType::kNumber:
    case FieldType::kMoney: return ValueClass::kDouble;
    case FieldType::kBcd: return ValueClass::kDecimal;
    case FieldType::kDate: return ValueClass::kDate;
    case FieldType::kTime: return ValueClass::kTime;
    case FieldType::kTimestamp: return ValueClass::kTimestamp;
    case FieldType::kLogical: return ValueClass::kLogical;
    default: return std::nullopt;
  }
}

std::string typeName(pdx::FieldType type) {
  using pdx::FieldType;
  switch (type) {
    case FieldType::kAlpha: return "text";
    case FieldType::kMemo: return "a memo";
    case FieldType::kFmtMemo: return "a formatted memo";
    case FieldType::kShort: return "a short integer";
    case FieldType::kLong: return "a long integer";
    case FieldType::kAutoInc: return "an autoincrement number";
    case FieldType::kNumber: return "a number";
    case FieldType::kMoney: return "money";
    case FieldType::kBcd: return "a BCD number";
    case FieldType::kDate: return "a date";
    case FieldType::kTime: return "a time";
    case FieldType::kTimestamp: return "a timestamp";
    case FieldType::kLogical: return "a logical value";
    case FieldType::kBytes: return "bytes";
    case FieldType::kBlob: return "a blob";
    case FieldType::kGraphic: return "a graphic";
    case FieldType::kOle: return "an OLE object";
  }
  return "an unknown type";
}

std::string kindName(pdx::Value::Kind kind) {
  using K = pdx::Value::Kind;
  switch (kind) {
    case K::kNull: return "blank";
    case K::kText: return "text";
    case K::kInteger: return "an integer";
    case K::kNumber: return "a number";
    case K::kLogical: return "a logical value";
    case K::kDate: return "a date";
    case K::kTime: return "a time";
    case K::kTimestamp: return "a timestamp";
    case K::kBytes: return "bytes";
    case K::kDecimal: return "a decimal number";
  }
  return "a value";
}

bool isPlainDecimal(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  bool digit = false, point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      digit = true;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

int compareDecimal(std::string_view a, std::string_view b) {
  const DecimalParts x = splitDecimal(a), y = splitDecimal(b);
  if (x.negative != y.negative) return x.negative ? -1 : 1;
  int magnitude = threeWay(x.whole.size(), y.whole.size());
  if (magnitude == 0) magnitude = threeWay(x.whole.compare(y.whole), 0);
  // Without trailing zeros, fractions compare as plain strings.
  if (magnitude == 0) magnitude = threeWay(x.fraction.compare(y.fraction), 0);
  return x.negative ? -magnitude : magnitude;
}

int compareDouble(double a, double b) {
  const bool nanA = std::isnan(a), nanB = std::isnan(b);
  if (nanA || nanB) return nanA == nanB ? 0 : (nanA ? 1 : -1);
  return threeWay(a, b);
}

std::string_view trimTrailingBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

pdx::Result<Constant> toConstant(ValueClass cls, const pdx::Value& v) {
  using K = pdx::Value::Kind;
  Constant c;
  if (v.isNull()) {
    c.null = cls != ValueClass::kText;
    return c;
  }
  const bool isText = v.kind() == K::kText;
  const std::string_view text = isText ? trimBlanks(v.asText()) : std::string_view();
  switch (cls) {
    case ValueClass::kText:
      if (!isText) {
        if (v.kind() == K::kDecimal) return mismatch("is a number: write it in quotes to compare it with text");
        return mismatch("is " + kindName(v.kind()) + ", not text");
      }
      c.text.assign(trimTrailingBlanks(v.asText()));
      return c;
    case ValueClass::kInteger:
    case ValueClass::kDouble:
    case ValueClass::kDecimal: return numericConstant(v);
    case ValueClass::kDate: {
      std::optional<pdx::Value> d;
      if (v.kind() == K::kDate) d = v;
      else if (isText) d = parseAs(pdx::FieldType::kDate, text);
      else if (v.kind() == K::kTimestamp && std::isfinite(v.asTimestamp().ms) &&
               std::fmod(v.asTimestamp().ms, double(kMsPerDay)) == 0 && std::fabs(v.asTimestamp().ms) < 1e17)
        d = pdx::Value::date(v.asTimestamp().date());
      if (!d) {
        if (isText) return mismatch("is not a date (write 'YYYY-MM-DD')");
        return mismatch("is " + kindName(v.kind()) + ", not a date");
      }
      c.integer = d->asDate().days;
      return c;
    }
    case ValueClass::kTime: {
      std::optional<pdx::Value> t;
      if (v.kind() == K::kTime) t = v;
      else if (isText) t = parseAs(pdx::FieldType::kTime, text);
      if (!t) {
        if (isText) return mismatch("is not a time (write 'HH:MM:SS')");
        return mismatch("is " + kindName(v.kind()) + ", not a time");
      }
      c.integer = t->asTime().ms;
      return c;
    }
    case ValueClass::kTimestamp: {
      std::optional<pdx::Value> t;
      if (v.kind() == K::kTimestamp) {
        t = v;
      } else if (v.kind() == K::kDate) {
        t = pdx::Value::timestamp(pdx::Timestamp::from(v.asDate(), pdx::Time{0}));
      } else if (isText) {
        std::string s(text);
        if (s.size() == 10) s += "T00:00:00";
        else if (s.size() > 10 && s[10] == ' ') s[10] = 'T';
        t = parseAs(pdx::FieldType::kTimestamp, s);
      }
      if (!t || !std::isfinite(t->asTimestamp().ms)) {
        if (isText) return mismatch("is not a timestamp (write 'YYYY-MM-DD HH:MM:SS')");
        return mismatch("is " + kindName(v.kind()) + ", not a timestamp");
      }
      c.number = t->asTimestamp().ms;
      return c;
    }
    case ValueClass::kLogical: {
      if (v.kind() == K::kLogical) {
        c.integer = v.asLogical() ? 1 : 0;
        return c;
      }
      if (isText) {
        for (const char* yes : {"true", "t", "yes", "y"})
          if (equalsAsciiIgnoreCase(text, yes)) {
            c.integer = 1;
            return c;
          }
        for (const char* no : {"false", "f", "no", "n"})
          if (equalsAsciiIgnoreCase(text, no)) return c;
        return mismatch("is not a logical value (write 'true' or 'false')");
      }
      return mismatch("is " + kindName(v.kind()) + ", not a logical value");
    }
  }
  return mismatch("cannot be compared");
}

std::optional<int> compareWithConstant(ValueClass cls, const pdx::Value& field, const Constant& c) {
  using K = pdx::Value::Kind;
  if (cls == ValueClass::kText) {
    const std::string_view have = field.kind() == K::kText ? trimTrailingBlanks(field.asText()) : std::string_view();
    if (field.kind() != K::kText && !field.isNull()) return std::nullopt;
    // A blank text is NULL, but equal to the empty text, which stands for it.
    if (have.empty()) return c.text.empty() ? std::optional<int>(0) : std::nullopt;
    return threeWay(have.compare(c.text), 0);
  }
  if (c.null || field.isNull()) return std::nullopt;
  switch (cls) {
    case ValueClass::kInteger: {
      if (field.kind() != K::kInteger) return std::nullopt;
      char buf[24];
      auto r = std::to_chars(buf, buf + sizeof buf, field.asInteger());
      return compareDecimal(std::string_view(buf, static_cast<size_t>(r.ptr - buf)), c.text);
    }
    case ValueClass::kDouble:
      if (field.kind() != K::kNumber || std::isnan(field.asNumber())) return std::nullopt;
      return compareDouble(field.asNumber(), c.number);
    case ValueClass::kDecimal:
      if (field.kind() != K::kDecimal || !isPlainDecimal(field.asDecimal())) return std::nullopt;
      return compareDecimal(field.asDecimal(), c.text);
    case ValueClass::kDate:
      if (field.kind() != K::kDate) return std::nullopt;
      return threeWay<int64_t>(field.asDate().days, c.integer);
    case ValueClass::kTime:
      if (field.kind() != K::kTime) return std::nullopt;
      return threeWay<int64_t>(field.asTime().ms, c.integer);
    case ValueClass::kTimestamp:
      if (field.kind() != K::kTimestamp || std::isnan(field.asTimestamp().ms)) return std::nullopt;
      return compareDouble(field.asTimestamp().ms, c.number);
    case ValueClass::kLogical:
      if (field.kind() != K::kLogical) return std::nullopt;
      return threeWay<int64_t>(field.asLogical() ? 1 : 0, c.integer);
    case ValueClass::kText: break;
  }
  return std::nullopt;
}

int compareForSort(ValueClass cls, const pdx::Value& a, const pdx::Value& b) {
  using K = pdx::Value::Kind;
  if (cls == ValueClass::kText) {
    const std::string_view x = a.kind() == K::kText ? trimTrailingBlanks(a.asText()) : std::string_view();
    const std::string_view y = b.kind() == K::kText ? trimTrailingBlanks(b.asText()) : std::string_view();
    return threeWay(x.compare(y), 0);
  }
  // Blanks first; a value of an unexpected kind (which no table yields)
  // still gets a place, so that the order stays total.
  if (a.kind() != b.kind()) return threeWay(static_cast<int>(a.kind()), static_cast<int>(b.kind()));
  switch (a.kind()) {
    case K::kNull: return 0;
    case K::kText: return threeWay(a.asText().compare(b.asText()), 0);
    case K::kInteger: return threeWay(a.asInteger(), b.asInteger());
    case K::kNumber: return compareDouble(a.asNumber(), b.asNumber());
    case K::kLogical: return threeWay(a.asLogical(), b.asLogical());
    case K::kDate: return threeWay(a.asDate().days, b.asDate().days);
    case K::kTime: return threeWay(a.asTime().ms, b.asTime().ms);
    case K::kTimestamp: return compareDouble(a.asTimestamp().ms, b.asTimestamp().ms);
    case K::kBytes: return threeWay(a.asBytes().compare(b.asBytes()), 0);
    case K::kDecimal: {
      const bool okA = isPlainDecimal(a.asDecimal()), okB = isPlainDecimal(b.asDecimal());
      if (okA && okB) return compareDecimal(a.asDecimal(), b.asDecimal());
      return okA == okB ? threeWay(a.asDecimal().compare(b.asDecimal()), 0) : (okA ? -1 : 1);
    }
  }
  return 0;
}

std::optional<int64_t> extractPart(DatePart part, const pdx::Value& v) {
  pdx::Date date;
  if (v.kind() == pdx::Value::Kind::kDate) {
    date = v.asDate();
  } else if (v.kind() == pdx::Value::Kind::kTimestamp) {
    // Only timestamps whose day number fits a date have a calendar day.
    const double days = std::floor(v.asTimestamp().ms / double(kMsPerDay));
    if (!std::isfinite(days) || days < std::numeric_limits<int32_t>::min() || days > std::numeric_limits<int32_t>::max())
      return std::nullopt;
    date = pdx::Date{static_cast<int32_t>(days)};
  } else {
    return std::nullopt;
  }
  int y, m, d;
  date.toYmd(y, m, d);
  return part == DatePart::kYear ? y : part == DatePart::kMonth ? m : d;
}

std::optional<pdx::Value> keyValue(ValueClass cls, const Constant& c) {
  if (c.null) return std::nullopt;
  switch (cls) {
    case ValueClass::kText: return pdx::Value::text(c.text);
    case ValueClass::kInteger: {
      const DecimalParts d = splitDecimal(c.text);
      if (!d.fraction.empty() || d.whole.size() > 18) return std::nullopt;
      int64_t v = 0;
      for (char ch : d.whole) v = v * 10 + (ch - '0');
      return pdx::Value::integer(d.negative ? -v : v);
    }
    case ValueClass::kDouble:
      if (!std::isfinite(c.number)) return std::nullopt;
      return pdx::Value::number(c.number);
    case ValueClass::kDecimal: return pdx::Value::decimal(c.text);
    case ValueClass::kDate: return pdx::Value::date(pdx::Date{static_cast<int32_t>(c.integer)});
    case ValueClass::kTime: return pdx::Value::time(pdx::Time{static_cast<int32_t>(c.integer)});
    case ValueClass::kTimestamp: return pdx::Value::timestamp(pdx::Timestamp{c.number});
    case ValueClass::kLogical: return pdx::Value::logical(c.integer != 0);
  }
  return std::nullopt;
}

LikePattern::LikePattern(std::string_view pattern) {
  std::vector<uint32_t> units;
  decodeUtf8(pattern, units);
  pieces_.emplace_back();
  for (uint32_t u : units) {
    if (u == '%') pieces_.emplace_back();
    else pieces_.back().push_back(u == '_' ? kOne : u);
  }
  bytewise_ = pattern.find('_') == std::string_view::npos && isValidUtf8(pattern);
  if (bytewise_) {
    bytePieces_.emplace_back();
    for (char c : pattern) {
      if (c == '%') bytePieces_.emplace_back();
      else bytePieces_.back() += c;
    }
  }
}

namespace {

// The first place of `piece` in [from, end) of `t`, or nullptr.
const char* findBytes(const char* from, const char* end, const std::string& piece) {
  const size_t n = piece.size();
  if (n == 0) return from;
  const char first = piece[0];
  while (end - from >= static_cast<std::ptrdiff_t>(n)) {
    from = static_cast<const char*>(std::memchr(from, first, static_cast<size_t>(end - from) - n + 1));
    if (from == nullptr) return nullptr;
    size_t i = 1;  // pieces are short: byte by byte beats a call
    while (i < n && from[i] == piece[i]) ++i;
    if (i == n) return from;
    ++from;
  }
  return nullptr;
}

}  // namespace

bool LikePattern::matchesBytes(std::string_view t) const {
  const std::string& head = bytePieces_.front();
  if (bytePieces_.size() == 1) return t == head;
  const std::string& tail = bytePieces_.back();
  if (head.size() + tail.size() > t.size()) return false;
  if ((!head.empty() && std::memcmp(t.data(), head.data(), head.size()) != 0) ||
      (!tail.empty() && std::memcmp(t.data() + t.size() - tail.size(), tail.data(), tail.size()) != 0))
    return false;
  // Leftmost places, as matches() explains.
  const char* from = t.data() + head.size();
  const char* end = t.data() + t.size() - tail.size();
  for (size_t k = 1; k + 1 < bytePieces_.size(); ++k) {
    const char* at = findBytes(from, end, bytePieces_[k]);
    if (at == nullptr) return false;
    from = at + bytePieces_[k].size();
  }
  return true;
}

namespace {

bool pieceAt(const std::vector<uint32_t>& piece, const std::vector<uint32_t>& text, size_t at) {
  for (size_t i = 0; i < piece.size(); ++i)
    if (piece[i] != kOne && piece[i] != text[at + i]) return false;
  return true;
}

}  // namespace

bool LikePattern::matches(std::string_view text, std::vector<uint32_t>& t) const {
  text = trimTrailingBlanks(text);
  if (bytewise_) return matchesBytes(text);
  decodeUtf8(text, t);
  const auto& head = pieces_.front();
  if (pieces_.size() == 1) return t.size() == head.size() && pieceAt(head, t, 0);
  const auto& tail = pieces_.back();
  if (head.size() + tail.size() > t.size()) return false;
  if (!pieceAt(head, t, 0) || !pieceAt(tail, t, t.size() - tail.size())) return false;
  // Every piece has a fixed length, so the leftmost place of each middle
  // piece leaves the most room for the rest: no backtracking is needed.
  size_t from = head.size();
  const size_t end = t.size() - tail.size();
  for (size_t k = 1; k + 1 < pieces_.size(); ++k) {
    const auto& piece = pieces_[k];
    bool found = false;
    for (size_t at = from; at + piece.size() <= end; ++at) {
      if (pieceAt(piece, t, at)) {
        from = at + piece.size();
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace sql::detail
