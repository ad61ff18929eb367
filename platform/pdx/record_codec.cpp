#include "record_codec.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "codepage.h"
#include "pdx/echo.h"

namespace pdx::detail {
namespace {

uint64_t getBe(const char* p, int n) {
  switch (n) {  // the sizes fields have, in one load each
    case 2: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return __builtin_bswap16(v);
    }
    case 4: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return __builtin_bswap32(v);
    }
    case 8: {
      uint64_t v;
      std::memcpy(&v, p, 8);
      return __builtin_bswap64(v);
    }
    default: {
      uint64_t v = 0;
      for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(p[i]);
      return v;
    }
  }
}

void putBe(char* p, int n, uint64_t v) {
  for (int i = n - 1; i >= 0; --i) {
    p[i] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
}

double decodeDouble(const char* p) {
  uint64_t bits = getBe(p, 8);
  if (bits & 0x8000000000000000ull)
    bits &= ~0x8000000000000000ull;
  else
    bits = ~bits;
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

void encodeDouble(char* p, double d) {
  if (d == 0) d = 0.0;  // -0 is stored as 0
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  if (bits & 0x8000000000000000ull)
    bits = ~bits;
  else
    bits |= 0x8000000000000000ull;
  putBe(p, 8, bits);
}

Status invalid(const FieldLayout& f, const std::string& why) {
  return Status(code::kInvalidValue, "field " + quote(f.def.name) + ": " + why);
}

std::optional<int64_t> parseInteger(std::string_view s) {
  int64_t v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

std::optional<double> parseDouble(std::string_view s) {
  double v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size() || s.empty() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// An integer the field can hold, from any kind that names one exactly.
std::optional<int64_t> integerOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kInteger: return v.asInteger();
    case Value::Kind::kNumber: {
      double d = v.asNumber();
      if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.0e15) return std::nullopt;
      return static_cast<int64_t>(d);
    }
    case Value::Kind::kText: return parseInteger(v.asText());
    case Value::Kind::kDecimal: {
      auto d = v.toDouble();
      if (!d || *d != std::floor(*d) || std::fabs(*d) > 9.0e15) return std::nullopt;
      return static_cast<int64_t>(*d);
    }
    default: return std::nullopt;
  }
}

std::optional<double> doubleOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kInteger: return static_cast<double>(v.asInteger());
    case Value::Kind::kNumber:
      if (!std::isfinite(v.asNumber())) return std::nullopt;
      return v.asNumber();
    case Value::Kind::kText: return parseDouble(v.asText());
    case Value::Kind::kDecimal: return parseDouble(v.asDecimal());
    default: return std::nullopt;
  }
}

// Splits a decimal text into sign, integer digits and fraction digits.
bool splitDecimal(std::string_view s, bool& negative, std::string& intPart, std::string& frac) {
  negative = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  const size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') intPart += s[i++];
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') frac += s[i++];
  }
  if (i != s.size() || i == start || (intPart.empty() && frac.empty())) return false;
  size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "" : intPart.substr(nz);
  return true;
}

Status encodeBcd(const FieldLayout& f, const Value& v, char* p) {
  std::string text;
  switch (v.kind()) {
    case Value::Kind::kDecimal: text = v.asDecimal(); break;
    case Value::Kind::kText: text = v.asText(); break;
    case Value::Kind::kInteger: text = std::to_string(v.asInteger()); break;
    case Value::Kind::kNumber: {
      if (!std::isfinite(v.asNumber())) return invalid(f, "not a finite number");
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, v.asNumber(), std::chars_format::fixed, f.def.size);
      if (r.ec != std::errc()) return invalid(f, "number too large for a BCD field");
      text.assign(buf, r.ptr);
      break;
    }
    default: return invalid(f, "a BCD field holds numbers");
  }
  bool negative;
  std::string intPart, frac;
  if (!splitDecimal(text, negative, intPart, frac)) return invalid(f, quote(text) + " is not a number");
  const int decimals = f.def.size;
  while (static_cast<int>(frac.size()) > decimals) {
    if (frac.back() != '0') return invalid(f, "more than " + std::to_string(decimals) + " decimal places");
    frac.pop_back();
  }
  frac.resize(static_cast<size_t>(decimals), '0');
  if (static_cast<int>(intPart.size()) > 32 - decimals) return invalid(f, "too many digits for a BCD field");
  std::string digits(static_cast<size_t>(32 - decimals) - intPart.size(), '0');
  digits += intPart;
  digits += frac;
  if (digits.find_first_not_of('0') == std::string::npos) negative = false;
  p[0] = static_cast<char>((negative ? 0x00 : 0x80) | 0x40 | decimals);
  for (int i = 0; i < 16; ++i) {
    int hi = digits[2 * i] - '0', lo = digits[2 * i + 1] - '0';
    if (negative) {
      hi = 15 - hi;
      lo = 15 - lo;
    }
    p[1 + i] = static_cast<char>((hi << 4) | lo);
  }
  return {};
}

Result<Value> decodeBcd(const FieldLayout& f, const char* p) {
  const uint8_t b0 = static_cast<uint8_t>(p[0]);
  // A value that was never assigned: no digits and bit 6 (set in every
  // written value) clear.
  if ((b0 & 0x40) == 0 && isBlank(p + 1, 16)) return Value();
  const bool negative = (b0 & 0x80) == 0;
  const int decimals = f.def.size;
  std::string digits;
  for (int i = 0; i < 16; ++i) {
    const uint8_t b = static_cast<uint8_t>(p[1 + i]);
    for (int d : {b >> 4, b & 0x0F}) {
      if (negative) d = 15 - d;
      if (d > 9) return Status(code::kFileCorrupt, "field " + quote(f.def.name) + " holds an invalid BCD digit");
      digits += static_cast<char>('0' + d);
    }
  }
  std::string intPart = digits.substr(0, static_cast<size_t>(32 - decimals));
  size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
  std::string out = negative ? "-" : "";
  out += intPart;
  if (decimals > 0) {
    out += '.';
    out += digits.substr(static_cast<size_t>(32 - decimals));
  }
  if (negative && digits.find_first_not_of('0') == std::string::npos) out.erase(0, 1);
  return Value::decimal(std::move(out));
}

bool parseFixed(std::string_view s, size_t& pos, int digits, int& out) {
  if (pos + static_cast<size_t>(digits) > s.size()) return false;
  out = 0;
  for (int i = 0; i < digits; ++i) {
    char c = s[pos + static_cast<size_t>(i)];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  pos += static_cast<size_t>(digits);
  return true;
}

}  // namespace

RecordLayout RecordLayout::make(const std::vector<FieldDef>& defs, int keyFields, int codePage) {
  RecordLayout r;
  r.keyFields = keyFields;
  r.codePage = codePage;
  int offset = 0;
  for (size_t i = 0; i < defs.size(); ++i) {
    FieldLayout f{defs[i], offset, storedSize(defs[i].type, defs[i].size), isBlobType(defs[i].type)};
    offset += f.stored;
    if (static_cast<int>(i) < keyFields) r.keySize = offset;
    r.fields.push_back(std::move(f));
  }
  r.recordSize = offset;
  r.converter = converterFor(codePage);
  return r;
}

bool isBlank(const char* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word != 0) return false;
  }
  for (; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

std::string shortestDouble(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::optional<Date> parseDate(std::string_view s) {
  size_t pos = 0;
  int y, m, d;
  if (!parseFixed(s, pos, 4, y) || pos >= s.size() || s[pos++] != '-' || !parseFixed(s, pos, 2, m) ||
      pos >= s.size() || s[pos++] != '-' || !parseFixed(s, pos, 2, d) || pos != s.size())
    return std::nullopt;
  return Date::fromYmd(y, m, d);
}

std::optional<Time> parseTime(std::string_view s) {
  size_t pos = 0;
  int h, m, sec, ms = 0;
  if (!parseFixed(s, pos, 2, h) || pos >= s.size() || s[pos++] != ':' || !parseFixed(s, pos, 2, m) ||
      pos >= s.size() || s[pos++] != ':' || !parseFixed(s, pos, 2, sec))
    return std::nullopt;
  if (pos < s.size()) {
    if (s[pos++] != '.' || !parseFixed(s, pos, 3, ms) || pos != s.size()) return std::nullopt;
  }
  if (h > 23 || m > 59 || sec > 59) return std::nullopt;
  return Time{((h * 60 + m) * 60 + sec) * 1000 + ms};
}

std::optional<Timestamp> parseTimestamp(std::string_view s) {
  if (s.size() < 10) return std::nullopt;
  auto d = parseDate(s.substr(0, 10));
  if (!d) return std::nullopt;
  if (s.size() == 10) return Timestamp::from(*d, Time{0});
  if (s[10] != 'T' && s[10] != ' ') return std::nullopt;
  auto t = parseTime(s.substr(11));
  if (!t) return std::nullopt;
  return Timestamp::from(*d, *t);
}

Result<Value> decodeField(const FieldLayout& f, const char* record, int codePage) {
  const char* p = record + f.offset;
  if (isBlank(p, static_cast<size_t>(f.stored))) return Value();
  // Text ends at its first NUL: an alpha field starting with one is blank,
  // whatever bytes an earlier value left behind it.
  if (f.def.type == FieldType::kAlpha && p[0] == '\0') return Value();
  switch (f.def.type) {
    case FieldType::kAlpha:
      return Value::text(toUtf8(std::string_view(p, strnlen(p, static_cast<size_t>(f.stored))), codePage));
    case FieldType::kShort:
      return Value::integer(static_cast<int16_t>(static_cast<uint16_t>(getBe(p, 2) ^ 0x8000u)));
    case FieldType::kLong:
    case FieldType::kAutoInc:
      return Value::integer(static_cast<int32_t>(static_cast<uint32_t>(getBe(p, 4) ^ 0x80000000u)));
    case FieldType::kDate:
      return Value::date(Date{static_cast<int32_t>(static_cast<uint32_t>(getBe(p, 4) ^ 0x80000000u))});
    case FieldType::kTime:
      return Value::time(Time{static_cast<int32_t>(static_cast<uint32_t>(getBe(p, 4) ^ 0x80000000u))});
    case FieldType::kNumber:
    case FieldType::kMoney: return Value::number(decodeDouble(p));
    case FieldType::kTimestamp: return Value::timestamp(Timestamp{decodeDouble(p)});
    case FieldType::kLogical: return Value::logical((static_cast<uint8_t>(p[0]) & 0x7F) != 0);
    case FieldType::kBytes: return Value::bytes(std::string(p, static_cast<size_t>(f.stored)));
    case FieldType::kBcd: return decodeBcd(f, p);
    default: return Status(code::kInvalidParameter, "field \"" + f.def.name + "\" is kept in the memo file");
  }
}

namespace {

// The work of decodeFieldInto; false only when the bytes are ones no writer
// produces (decodeField then says why).
inline bool decodeInto(const FieldLayout& f, const char* record, const CodePageConverter* converter, Value& out) {
  const char* p = record + f.offset;
  const size_t n = static_cast<size_t>(f.stored);
  // Text ends at its first NUL: an alpha field starting with one is blank,
  // whatever bytes an earlier value left behind it.
  if (f.def.type == FieldType::kAlpha) {
    if (p[0] == '\0') out.setNull();
    else toUtf8(std::string_view(p, strnlen(p, n)), converter, out.resetText());
    return true;
  }
  if (isBlank(p, n)) {
    out.setNull();
    return true;
  }
  switch (f.def.type) {
    case FieldType::kShort: out.setInteger(static_cast<int16_t>(static_cast<uint16_t>(getBe(p, 2) ^ 0x8000u))); return true;
    case FieldType::kLong:
    case FieldType::kAutoInc:
      out.setInteger(static_cast<int32_t>(static_cast<uint32_t>(getBe(p, 4) ^ 0x80000000u)));
      return true;
    case FieldType::kDate:
      out.setDate(Date{static_cast<int32_t>(static_cast<uint32_t>(getBe(p, 4) ^ 0x80000000u))});
      return true;
    case FieldType::kTime:
      out.setTime(Time{static_cast<int32_t>(static_cast<uint32_t>(getBe(p, 4) ^ 0x80000000u))});
      return true;
    case FieldType::kNumber:
    case FieldType::kMoney: out.setNumber(decodeDouble(p)); return true;
    case FieldType::kTimestamp: out.setTimestamp(Timestamp{decodeDouble(p)}); return true;
    case FieldType::kLogical: out.setLogical((static_cast<uint8_t>(p[0]) & 0x7F) != 0); return true;
    default: {
      auto v = decodeField(f, record, 0);  // bytes and BCD: no text to convert
      if (!v.ok()) {
        out = Value();
        return false;
      }
      out = std::move(v).value();
      return true;
    }
  }
}

}  // namespace

bool decodedInto(const FieldLayout& f, const char* record, const CodePageConverter* converter, Value& out) {
  return decodeInto(f, record, converter, out);
}

Status decodeFieldInto(const FieldLayout& f, const char* record, const CodePageConverter* converter, Value& out) {
  if (decodeInto(f, record, converter, out)) return {};
  return decodeField(f, record, 0).status();
}

Status decodeRecordInto(const RecordLayout& layout, const char* record, Value* out) {
  const FieldLayout* fields = layout.fields.data();
  const size_t count = layout.fields.size();
  for (size_t i = 0; i < count; ++i) {
    if (fields[i].inMemoFile) continue;
    if (!decodeInto(fields[i], record, layout.converter, out[i])) return decodeField(fields[i], record, 0).status();
  }
  return {};
}

namespace {

Status encodeAlpha(const FieldLayout& f, std::string_view text, char* p, int codePage) {
  const size_t n = static_cast<size_t>(f.stored);
  // Trailing blanks carry no meaning in an alpha field.
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (std::memchr(text.data(), '\0', text.size()) != nullptr) return invalid(f, "text with a NUL character");
  // ASCII is the same in every code page: no conversion to make.
  std::string converted;
  if (!isAscii(text)) {
    auto bytes = fromUtf8(text, codePage);
    if (!bytes.ok()) return Status(bytes.status().code(), "field \"" + f.def.name + "\": " + bytes.status().message());
    converted = std::move(bytes).value();
    text = converted;
  }
  if (text.size() > n)
    return invalid(f, "text of " + std::to_string(text.size()) + " characters is longer than " + std::to_string(n));
  std::memcpy(p, text.data(), text.size());
  std::memset(p + text.size(), 0, n - text.size());
  return {};
}

}  // namespace

Status encodeField(const FieldLayout& f, const Value& v, char* record, int codePage) {
  char* p = record + f.offset;
  const size_t n = static_cast<size_t>(f.stored);
  if (v.isNull()) {
    std::memset(p, 0, n);
    return {};
  }
  switch (f.def.type) {
    case FieldType::kAlpha: {
      if (v.kind() == Value::Kind::kText) return encodeAlpha(f, v.asText(), p, codePage);
      if (v.kind() == Value::Kind::kInteger) return encodeAlpha(f, std::to_string(v.asInteger()), p, codePage);
      if (v.kind() == Value::Kind::kDecimal) return encodeAlpha(f, v.asDecimal(), p, codePage);
      return invalid(f, "an alpha field holds text");
    }
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoInc: {
      auto i = integerOf(v);
      const int64_t limit = f.def.type == FieldType::kShort ? 32767 : 2147483647;
      if (!i) return invalid(f, "not a whole number");
      if (*i > limit || *i < -limit) return invalid(f, std::to_string(*i) + " is out of range");
      if (f.def.type == FieldType::kShort)
        putBe(p, 2, static_cast<uint16_t>(static_cast<uint16_t>(*i) ^ 0x8000u));
      else
        putBe(p, 4, static_cast<uint32_t>(static_cast<uint32_t>(*i) ^ 0x80000000u));
      return {};
    }
    case FieldType::kNumber:
    case FieldType::kMoney: {
      auto d = doubleOf(v);
      if (!d) return invalid(f, "not a finite number");
      encodeDouble(p, *d);
      return {};
    }
    case FieldType::kDate: {
      std::optional<Date> d;
      if (v.kind() == Value::Kind::kDate) d = v.asDate();
      else if (v.kind() == Value::Kind::kText) d = parseDate(v.asText());
      else if (v.kind() == Value::Kind::kTimestamp && v.asTimestamp().time().ms == 0) d = v.asTimestamp().date();
      if (!d) return invalid(f, "not a valid date");
      if (d->days == 0) return invalid(f, "date out of range");
      putBe(p, 4, static_cast<uint32_t>(static_cast<uint32_t>(d->days) ^ 0x80000000u));
      return {};
    }
    case FieldType::kTime: {
      std::optional<Time> t;
      if (v.kind() == Value::Kind::kTime) t = v.asTime();
      else if (v.kind() == Value::Kind::kText) t = parseTime(v.asText());
      if (!t || t->ms < 0 || t->ms >= 86'400'000) return invalid(f, "not a valid time of day");
      putBe(p, 4, static_cast<uint32_t>(static_cast<uint32_t>(t->ms) ^ 0x80000000u));
      return {};
    }
    case FieldType::kTimestamp: {
      std::optional<Timestamp> t;
      if (v.kind() == Value::Kind::kTimestamp) t = v.asTimestamp();
      else if (v.kind() == Value::Kind::kDate) t = Timestamp::from(v.asDate(), Time{0});
      else if (v.kind() == Value::Kind::kText) t = parseTimestamp(v.asText());
      if (!t || !std::isfinite(t->ms)) return invalid(f, "not a valid date and time");
      encodeDouble(p, t->ms);
      return {};
    }
    case FieldType::kLogical: {
      std::optional<bool> b;
      if (v.kind() == Value::Kind::kLogical) b = v.asLogical();
      else if (v.kind() == Value::Kind::kText && (v.asText() == "true" || v.asText() == "false")) b = v.asText() == "true";
      if (!b) return invalid(f, "a logical field holds true or false");
      p[0] = static_cast<char>(*b ? 0x81 : 0x80);
      return {};
    }
    case FieldType::kBytes: {
      if (v.kind() != Value::Kind::kBytes) return invalid(f, "a bytes field holds bytes");
      if (v.asBytes().size() > n) return invalid(f, "more bytes than the field holds");
      std::memset(p, 0, n);
      std::memcpy(p, v.asBytes().data(), v.asBytes().size());
      return {};
    }
    case FieldType::kBcd: return encodeBcd(f, v, p);
    default: return Status(code::kInvalidParameter, "field \"" + f.def.name + "\" is kept in the memo file");
  }
}

Status encodeKeyValue(const FieldLayout& f, const Value& value, std::string& out, int codePage) {
  std::string rec(static_cast<size_t>(f.offset + f.stored), '\0');
  PDX_RETURN_IF_ERROR(encodeField(f, value, rec.data(), codePage));
  out.append(rec, static_cast<size_t>(f.offset), static_cast<size_t>(f.stored));
  return {};
}

}  // namespace pdx::detail
