// Field types, field definitions and field values of Paradox tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pdx {

// The type byte stored in a table header.
enum class FieldType : uint8_t {
  kAlpha = 0x01,
  kDate = 0x02,
  kShort = 0x03,
  kLong = 0x04,
  kMoney = 0x05,
  kNumber = 0x06,
  kLogical = 0x09,
  kMemo = 0x0C,
  kBlob = 0x0D,
  kFmtMemo = 0x0E,
  kOle = 0x0F,
  kGraphic = 0x10,
  kTime = 0x14,
  kTimestamp = 0x15,
  kAutoInc = 0x16,
  kBcd = 0x17,
  kBytes = 0x18,
};

// Paradox's one-letter name of a type (A, D, S, I, $, N, L, M, B, F, O, G, T,
// @, +, #, Y) and back. Unknown bytes give '?' / nullopt.
char typeLetter(FieldType type);
std::optional<FieldType> typeFromLetter(char letter);
// True for a type byte this engine knows.
bool isKnownType(uint8_t type);
// True for memo, formatted memo, blob, OLE and graphic: contents live in the .MB.
bool isBlobType(FieldType type);
// Size of a field in the record. `size` is the declared size for alpha, bytes,
// memo/blob types (bytes held in the record) and BCD (decimal places).
int storedSize(FieldType type, int size);

struct FieldDef {
  std::string name;
  FieldType type = FieldType::kAlpha;
  // Alpha: length 1..255. Bytes: 1..255. Memo/blob kinds: bytes kept in the
  // record, 0 or 1..240. BCD: decimal places 0..32. Other types: ignored (0).
  int size = 0;

  bool operator==(const FieldDef&) const = default;
};

// Calendar date as Paradox stores it: days counted from 1 January of year 1
// (that day is 1), proleptic Gregorian calendar.
struct Date {
  int32_t days = 0;
  static std::optional<Date> fromYmd(int year, int month, int day);
  void toYmd(int& year, int& month, int& day) const;
  bool operator==(const Date&) const = default;
  auto operator<=>(const Date&) const = default;
};

// Time of day in milliseconds since midnight.
struct Time {
  int32_t ms = 0;
  bool operator==(const Time&) const = default;
  auto operator<=>(const Time&) const = default;
};

// Date and time: milliseconds since the start of day 0 of the Date count, as
// the file stores it (so a Date d at midnight is d.days * 86'400'000).
struct Timestamp {
  double ms = 0;
  static Timestamp from(Date date, Time time);
  Date date() const;
  Time time() const;
  bool operator==(const Timestamp&) const = default;
  auto operator<=>(const Timestamp&) const = default;
};

// A decimal number kept as text ("-12.50"), for BCD fields.
struct Decimal {
  std::string text;
  bool operator==(const Decimal&) const = default;
};

// One field's value. Text is UTF-8; bytes, blobs, graphics and OLE are raw
// bytes. Null is the blank value of every type.
class Value {
 public:
  enum class Kind { kNull, kText, kInteger, kNumber, kLogical, kDate, kTime, kTimestamp, kBytes, kDecimal };

  Value() = default;
  static Value text(std::string utf8) { return Value(Storage(std::in_place_index<1>, std::move(utf8))); }
  static Value integer(int64_t v) { return Value(Storage(std::in_place_index<2>, v)); }
  static Value number(double v) { return Value(Storage(std::in_place_index<3>, v)); }
  static Value logical(bool v) { return Value(Storage(std::in_place_index<4>, v)); }
  static Value date(Date v) { return Value(Storage(std::in_place_index<5>, v)); }
  static Value time(Time v) { return Value(Storage(std::in_place_index<6>, v)); }
  static Value timestamp(Timestamp v) { return Value(Storage(std::in_place_index<7>, v)); }
  static Value bytes(std::string raw) { return Value(Storage(std::in_place_index<8>, std::move(raw))); }
  static Value decimal(std::string text) { return Value(Storage(std::in_place_index<9>, Decimal{std::move(text)})); }

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return v_.index() == 0; }

  // Accessors: call only for the matching kind.
  const std::string& asText() const { return std::get<1>(v_); }
  int64_t asInteger() const { return std::get<2>(v_); }
  double asNumber() const { return std::get<3>(v_); }
  bool asLogical() const { return std::get<4>(v_); }
  Date asDate() const { return std::get<5>(v_); }
  Time asTime() const { return std::get<6>(v_); }
  Timestamp asTimestamp() const { return std::get<7>(v_); }
  const std::string& asBytes() const { return std::get<8>(v_); }
  const std::string& asDecimal() const { return std::get<9>(v_).text; }

  // Numeric view of integer, number and decimal values; nullopt otherwise.
  std::optional<double> toDouble() const;

  // Makes the value an empty text and returns its string, to be filled. The
  // string keeps the storage of the text the value held before, so that
  // reading many values into one Value allocates only when a text outgrows it.
  std::string& resetText() {
    if (v_.index() != 1) v_.emplace<1>();
    std::string& s = std::get<1>(v_);
    s.clear();
    return s;
  }

  // The value made in place, as assigning Value::integer(v) and the like
  // would, without a Value in between: for reading many values into one.
  void setNull() { v_.emplace<0>(); }
  void setInteger(int64_t v) { v_.emplace<2>(v); }
  void setNumber(double v) { v_.emplace<3>(v); }
  void setLogical(bool v) { v_.emplace<4>(v); }
  void setDate(Date v) { v_.emplace<5>(v); }
  void setTime(Time v) { v_.emplace<6>(v); }
  void setTimestamp(Timestamp v) { v_.emplace<7>(v); }

  bool operator==(const Value&) const = default;

 private:
  using Storage = std::variant<std::monostate, std::string, int64_t, double, bool, Date, Time,
                               Timestamp, std::string, Decimal>;
  explicit Value(Storage v) : v_(std::move(v)) {}
  Storage v_;
};

}  // namespace pdx
