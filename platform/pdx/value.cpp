#include <climits>
#include <cmath>

#include "pdx/table.h"
#include "pdx/value.h"
#include "ascii.h"

namespace pdx {

namespace {
struct TypeInfo {
  FieldType type;
  char letter;
};
constexpr TypeInfo kTypes[] = {
    {FieldType::kAlpha, 'A'},   {FieldType::kDate, 'D'},     {FieldType::kShort, 'S'},
    {FieldType::kLong, 'I'},    {FieldType::kMoney, '$'},    {FieldType::kNumber, 'N'},
    {FieldType::kLogical, 'L'}, {FieldType::kMemo, 'M'},     {FieldType::kBlob, 'B'},
    {FieldType::kFmtMemo, 'F'}, {FieldType::kOle, 'O'},      {FieldType::kGraphic, 'G'},
    {FieldType::kTime, 'T'},    {FieldType::kTimestamp, '@'}, {FieldType::kAutoInc, '+'},
    {FieldType::kBcd, '#'},     {FieldType::kBytes, 'Y'},
};

constexpr int64_t kMsPerDay = 86'400'000;

// Days from 1 January of year 1 (day 1) using the civil-from-days algorithm
// on a March-based year, valid for the whole proleptic Gregorian range.
int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 305;  // 0001-01-01 -> 1
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 305;  // day 1 (0001-01-01) is day 306 counted from 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
}  // namespace

char typeLetter(FieldType type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.letter;
  return '?';
}

std::optional<FieldType> typeFromLetter(char letter) {
  if (letter == 'a') letter = 'A';
  for (const auto& t : kTypes)
    if (t.letter == letter) return t.type;
  return std::nullopt;
}

bool isKnownType(uint8_t type) {
  for (const auto& t : kTypes)
    if (static_cast<uint8_t>(t.type) == type) return true;
  return false;
}

bool isBlobType(FieldType type) {
  return type == FieldType::kMemo || type == FieldType::kBlob || type == FieldType::kFmtMemo ||
         type == FieldType::kOle || type == FieldType::kGraphic;
}

int storedSize(FieldType type, int size) {
  switch (type) {
    case FieldType::kAlpha:
    case FieldType::kBytes: return size;
    case FieldType::kShort: return 2;
    case FieldType::kLogical: return 1;
    case FieldType::kDate:
    case FieldType::kLong:
    case FieldType::kTime:
    case FieldType::kAutoInc: return 4;
    case FieldType::kMoney:
    case FieldType::kNumber:
    case FieldType::kTimestamp: return 8;
    case FieldType::kBcd: return 17;
    case FieldType::kMemo:
    case FieldType::kBlob:
    case FieldType::kFmtMemo:
    case FieldType::kOle:
    case FieldType::kGraphic: return size + 10;
  }
  return 0;
}

std::optional<Date> Date::fromYmd(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return std::nullopt;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > last) return std::nullopt;
  return Date{static_cast<int32_t>(daysFromCivil(year, month, day))};
}

void Date::toYmd(int& year, int& month, int& day) const { civilFromDays(days, year, month, day); }

Timestamp Timestamp::from(Date date, Time time) {
  return Timestamp{static_cast<double>(date.days) * kMsPerDay + time.ms};
}

// A damaged file can hold any double: values outside the calendar give day 0
// and midnight rather than an undefined conversion.
Date Timestamp::date() const {
  const double day = std::floor(ms / static_cast<double>(kMsPerDay));
  if (!std::isfinite(day) || day < INT32_MIN || day > INT32_MAX) return Date{0};
  return Date{static_cast<int32_t>(day)};
}

Time Timestamp::time() const {
  const double day = std::floor(ms / static_cast<double>(kMsPerDay));
  if (!std::isfinite(day) || day < INT32_MIN || day > INT32_MAX) return Time{0};
  return Time{static_cast<int32_t>(ms - day * kMsPerDay)};
}

std::optional<double> Value::toDouble() const {
  switch (kind()) {
    case Kind::kInteger: return static_cast<double>(asInteger());
    case Kind::kNumber: return asNumber();
    case Kind::kDecimal: {
      char* end = nullptr;
      const std::string& t = asDecimal();
      double v = std::strtod(t.c_str(), &end);
      if (end == t.c_str() || *end != '\0') return std::nullopt;
      return v;
    }
    default: return std::nullopt;
  }
}

int Schema::fieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields.size(); ++i)
    if (detail::equalsIgnoreCase(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

}  // namespace pdx
