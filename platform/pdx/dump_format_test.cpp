#include "pdx/dump_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace pdx {
namespace {

FieldDef field(FieldType type, int size = 0) { return FieldDef{"Fld", type, size}; }

TEST(DumpFormatEscape, RoundTripsAnyTextAndRefusesWhatItNeverWrites) {
  const std::string samples[] = {
      "", "plain", "tab\there", "two\nlines\r\n", "back\\slash", "\\t is not a tab", std::string("nul\0inside", 10),
      "Élève à l'école — 100 €", "\\\\\t\t\n\\",
  };
  for (const std::string& s : samples) {
    const std::string escaped = escapeText(s);
    EXPECT_EQ(escaped.find_first_of("\t\n\r"), std::string::npos) << escaped;
    auto back = unescapeText(escaped);
    ASSERT_TRUE(back.ok()) << back.status().toString();
    EXPECT_EQ(*back, s);
  }
  EXPECT_EQ(escapeText("a\tb\nc\rd\\e"), "a\\tb\\nc\\rd\\\\e");

  for (const char* bad : {"end\\", "\\x", "\\N", "\\0", "raw\ttab", "raw\nline", "raw\rreturn"}) {
    auto r = unescapeText(bad);
    EXPECT_FALSE(r.ok()) << "accepted: " << escapeText(bad);
    EXPECT_EQ(r.status().code(), code::kInvalidValue);
  }
}

// Text that dump writes reads back to a value that dump writes the same way.
TEST(DumpFormatValues, CanonicalTextRoundTripsForEveryType) {
  struct Case {
    FieldDef field;
    const char* text;
    Value::Kind kind;
  };
  const Case cases[] = {
      {field(FieldType::kAlpha, 20), "Café\\tcrème", Value::Kind::kText},
      {field(FieldType::kMemo, 10), "ligne 1\\nligne 2\\\\", Value::Kind::kText},
      {field(FieldType::kFmtMemo), "{\\\\rtf1}\\r\\n", Value::Kind::kText},
      {field(FieldType::kShort), "-32767", Value::Kind::kInteger},
      {field(FieldType::kLong), "2147483647", Value::Kind::kInteger},
      {field(FieldType::kAutoInc), "1", Value::Kind::kInteger},
      {field(FieldType::kNumber), "0.1", Value::Kind::kNumber},
      {field(FieldType::kNumber), "-4e+21", Value::Kind::kNumber},
      {field(FieldType::kNumber), "5e-324", Value::Kind::kNumber},
      {field(FieldType::kMoney), "1234.56", Value::Kind::kNumber},
      {field(FieldType::kBcd, 2), "-12.50", Value::Kind::kDecimal},
      {field(FieldType::kBcd, 0), "7", Value::Kind::kDecimal},
      {field(FieldType::kDate), "2024-02-29", Value::Kind::kDate},
      {field(FieldType::kDate), "0001-01-01", Value::Kind::kDate},
      {field(FieldType::kDate), "9999-12-31", Value::Kind::kDate},
      {field(FieldType::kTime), "00:00:00", Value::Kind::kTime},
      {field(FieldType::kTime), "23:59:59.999", Value::Kind::kTime},
      {field(FieldType::kTime), "12:00:00.010", Value::Kind::kTime},
      {field(FieldType::kTimestamp), "2024-02-29T12:34:56.789", Value::Kind::kTimestamp},
      {field(FieldType::kTimestamp), "0001-01-01T00:00:00", Value::Kind::kTimestamp},
      {field(FieldType::kLogical), "true", Value::Kind::kLogical},
      {field(FieldType::kLogical), "false", Value::Kind::kLogical},
      {field(FieldType::kBytes, 4), "00ff7f80", Value::Kind::kBytes},
      {field(FieldType::kBlob), "deadbeef", Value::Kind::kBytes},
      {field(FieldType::kGraphic), "89504e470d0a1a0a", Value::Kind::kBytes},
      {field(FieldType::kOle), "01", Value::Kind::kBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, typeLetter(c.field.type)) + " " + c.text);
    auto v = parseValue(c.field, c.text);
    ASSERT_TRUE(v.ok()) << v.status().toString();
    EXPECT_EQ(v->kind(), c.kind);
    EXPECT_EQ(formatValue(c.field, *v), c.text);
  }
  // Blank is the empty cell, for every type.
  for (const Case& c : cases) {
    auto v = parseValue(c.field, "");
    ASSERT_TRUE(v.ok());
    EXPECT_TRUE(v->isNull());
    EXPECT_EQ(formatValue(c.field, Value()), "");
  }
}

TEST(DumpFormatValues, ParsesToTheValuesTheTextNames) {
  auto stamp = parseValue(field(FieldType::kTimestamp), "1970-01-01T00:00:00.001");
  ASSERT_TRUE(stamp.ok());
  EXPECT_EQ(stamp->asTimestamp(), Timestamp::from(*Date::fromYmd(1970, 1, 1), Time{1}));
  auto time = parseValue(field(FieldType::kTime), "01:02:03.004");
  ASSERT_TRUE(time.ok());
  EXPECT_EQ(time->asTime().ms, ((1 * 60 + 2) * 60 + 3) * 1000 + 4);
  auto date = parseValue(field(FieldType::kDate), "2000-03-01");
  ASSERT_TRUE(date.ok());
  EXPECT_EQ(date->asDate(), *Date::fromYmd(2000, 3, 1));
  auto bytes = parseValue(field(FieldType::kBytes, 3), "0AfF00");
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(bytes->asBytes(), std::string("\x0a\xff\x00", 3));
  auto text = parseValue(field(FieldType::kAlpha, 9), "a\\tb\\\\n");
  ASSERT_TRUE(text.ok());
  EXPECT_EQ(text->asText(), "a\tb\\n");
  // Leading and trailing zeros: still the one number, printed shortest.
  auto number = parseValue(field(FieldType::kMoney), "007.50");
  ASSERT_TRUE(number.ok());
  EXPECT_EQ(number->asNumber(), 7.5);
  EXPECT_EQ(formatValue(field(FieldType::kMoney), *number), "7.5");
}

TEST(DumpFormatValues, EveryFiniteDoubleReadsBackBitForBit) {
  std::mt19937_64 rng(20240229);
  const FieldDef number = field(FieldType::kNumber);
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    const std::string text = formatValue(number, Value::number(d));
    auto back = parseValue(number, text);
    ASSERT_TRUE(back.ok()) << text;
    uint64_t got;
    const double g = back->asNumber();
    std::memcpy(&got, &g, sizeof got);
    ASSERT_EQ(got, bits) << text;
    ++checked;
  }
  EXPECT_GT(checked, 19000);
  // Shortest: never more digits than needed.
  EXPECT_EQ(formatValue(number, Value::number(0.1 + 0.2)), "0.30000000000000004");
  EXPECT_EQ(formatValue(number, Value::number(-40)), "-40");
  EXPECT_EQ(formatValue(number, Value::number(1e21)), "1e+21");
}

TEST(DumpFormatValues, MalformedTextIsAnErrorNamingTheField) {
  struct Case {
    FieldType type;
    int size;
    const char* text;
  };
  const Case cases[] = {
      {FieldType::kDate, 0, "2023-02-30"},  {FieldType::kDate, 0, "2023-2-3"},
      {FieldType::kDate, 0, "2023-02-03 "}, {FieldType::kDate, 0, "0000-01-01"},
      {FieldType::kDate, 0, "-0001-12-31"}, {FieldType::kDate, 0, "03/02/2023"},
      {FieldType::kTime, 0, "24:00:00"},    {FieldType::kTime, 0, "12:60:00"},
      {FieldType::kTime, 0, "12:00"},       {FieldType::kTime, 0, "12:00:00.5"},
      {FieldType::kTime, 0, "-01:00:00"},   {FieldType::kTimestamp, 0, "2023-01-01 12:00:00"},
      {FieldType::kTimestamp, 0, "2023-01-01"}, {FieldType::kTimestamp, 0, "2023-01-01T"},
      {FieldType::kTimestamp, 0, "2023-02-29T00:00:00"},
      {FieldType::kNumber, 0, "1,5"},       {FieldType::kNumber, 0, "1e"},
      {FieldType::kNumber, 0, "nan"},       {FieldType::kNumber, 0, "inf"},
      {FieldType::kNumber, 0, "1e400"},     {FieldType::kMoney, 0, " 1"},
      {FieldType::kMoney, 0, "0x10"},       {FieldType::kShort, 0, "32768"},
      {FieldType::kShort, 0, "-32768"},     {FieldType::kShort, 0, "1.0"},
      {FieldType::kLong, 0, "2147483648"},  {FieldType::kLong, 0, "+1"},
      {FieldType::kAutoInc, 0, "12abc"},    {FieldType::kAutoInc, 0, "0"},
      {FieldType::kAutoInc, 0, "-3"},       {FieldType::kBcd, 2, "1e5"},
      {FieldType::kBcd, 2, "--1"},          {FieldType::kBcd, 2, ".5"},
      {FieldType::kBcd, 2, "1 000"},        {FieldType::kLogical, 0, "True"},
      {FieldType::kLogical, 0, "1"},        {FieldType::kBytes, 2, "abc"},
      {FieldType::kBytes, 2, "zz"},         {FieldType::kBlob, 0, "0x00"},
      {FieldType::kAlpha, 5, "bad\\escape"}, {FieldType::kMemo, 5, "ends\\"},
  };
  for (const Case& c : cases) {
    FieldDef f{"Inv_date", c.type, c.size};
    auto r = parseValue(f, c.text);
    EXPECT_FALSE(r.ok()) << typeLetter(c.type) << " accepted \"" << c.text << "\"";
    EXPECT_EQ(r.status().code(), code::kInvalidValue) << c.text;
    EXPECT_NE(r.status().message().find("Inv_date"), std::string::npos) << r.status().message();
  }
}

// Damaged or odd files hold values outside the calendar and the clock; they
// print in forms that are clear and that parsing refuses.
TEST(DumpFormatValues, OutOfRangeValuesPrintWithoutCrashingAndDoNotReadBack) {
  const Date lastDay = *Date::fromYmd(9999, 12, 31);
  struct Case {
    FieldType type;
    Value value;
    const char* text;  // nullptr: any text, as long as it does not read back
  };
  const Case cases[] = {
      {FieldType::kDate, Value::date(Date{0}), "0000-12-31"},
      {FieldType::kDate, Value::date(Date{-366}), "-0001-12-31"},
      {FieldType::kDate, Value::date(Date{lastDay.days + 1}), "+10000-01-01"},
      {FieldType::kDate, Value::date(Date{std::numeric_limits<int32_t>::min()}), nullptr},
      {FieldType::kDate, Value::date(Date{std::numeric_limits<int32_t>::max()}), nullptr},
      {FieldType::kTime, Value::time(Time{-3'600'000}), "-01:00:00"},
      {FieldType::kTime, Value::time(Time{90'000'000}), "25:00:00"},
      {FieldType::kTime, Value::time(Time{std::numeric_limits<int32_t>::min()}), nullptr},
      {FieldType::kTimestamp, Value::timestamp(Timestamp::from(Date{-366}, Time{3'600'000})), "-0001-12-31T01:00:00"},
      {FieldType::kTimestamp, Value::timestamp(Timestamp{-1}), "0000-12-30T23:59:59.999"},
      {FieldType::kTimestamp, Value::timestamp(Timestamp{std::nan("")}), "nan"},
      {FieldType::kTimestamp, Value::timestamp(Timestamp{-std::numeric_limits<double>::infinity()}), "-inf"},
      {FieldType::kTimestamp, Value::timestamp(Timestamp{1e300}), "1e+300"},
      {FieldType::kTimestamp, Value::timestamp(Timestamp{-1e300}), "-1e+300"},
      {FieldType::kNumber, Value::number(std::numeric_limits<double>::infinity()), "inf"},
  };
  for (const Case& c : cases) {
    const FieldDef f = field(c.type);
    const std::string text = formatValue(f, c.value);
    if (c.text) {
      EXPECT_EQ(text, c.text);
    }
    EXPECT_FALSE(text.empty());
    EXPECT_FALSE(parseValue(f, text).ok()) << "read back \"" << text << "\"";
  }
}

}  // namespace
}  // namespace pdx
