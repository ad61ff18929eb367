// Conversions, comparisons, sort order and LIKE, value by value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "compare.h"
#include "sql/query.h"
#include "utf8.h"

namespace sql::detail {
namespace {

using pdx::Value;

Constant constant(ValueClass cls, const Value& v) {
  auto c = toConstant(cls, v);
  EXPECT_TRUE(c.ok()) << c.status().toString();
  return c.ok() ? *c : Constant{};
}

TEST(SqlCompare, DecimalsCompareExactly) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case cases[] = {
      {"1.50", "1.5", 0},       {"-0", "0.00", 0},        {"+3", "3", 0},          {"007", "7.", 0},
      {".5", "0.5", 0},         {"-2", "-1.5", -1},       {"10", "9.99", 1},       {"0.1", "0.10001", -1},
      {"-0.1", "-0.10001", 1},  {"-5", "3", -1},          {"123456789012345678901234567890", "123456789012345678901234567891", -1},
      {"2147483647", "2147483647.0000000001", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compareDecimal(c.a, c.b), c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(compareDecimal(c.b, c.a), -c.order) << c.b << " vs " << c.a;
  }
  for (const char* ok : {"0", "-1", "+1.", ".5", "12.50"}) EXPECT_TRUE(isPlainDecimal(ok)) << ok;
  for (const char* bad : {"", "-", ".", "1e5", "1,5", "1.2.3", " 1", "--1", "0x10", "nan"}) EXPECT_FALSE(isPlainDecimal(bad)) << bad;
}

TEST(SqlCompare, DoublesHaveATotalOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(compareDouble(-0.0, 0.0), 0);
  EXPECT_EQ(compareDouble(inf, nan), -1);
  EXPECT_EQ(compareDouble(nan, -inf), 1);
  EXPECT_EQ(compareDouble(nan, nan), 0);
  EXPECT_EQ(compareDouble(0.1, 0.2), -1);
  // Sorting a field: blanks first, then values, NaN last.
  const ValueClass d = ValueClass::kDouble;
  EXPECT_LT(compareForSort(d, Value(), Value::number(-inf)), 0);
  EXPECT_LT(compareForSort(d, Value::number(inf), Value::number(nan)), 0);
  EXPECT_EQ(compareForSort(d, Value(), Value()), 0);
  EXPECT_LT(compareForSort(ValueClass::kDecimal, Value::decimal("-10.5"), Value::decimal("2.00")), 0);
  EXPECT_LT(compareForSort(ValueClass::kDate, Value(), Value::date(pdx::Date{1})), 0);
  // Text: trailing blanks do not count, and a blank is the empty text.
  EXPECT_EQ(compareForSort(ValueClass::kText, Value::text("abc  "), Value::text("abc")), 0);
  EXPECT_EQ(compareForSort(ValueClass::kText, Value(), Value::text("")), 0);
  EXPECT_EQ(compareForSort(ValueClass::kText, Value(), Value::text("  ")), 0);
  EXPECT_LT(compareForSort(ValueClass::kText, Value::text("Z"), Value::text("a")), 0);
}

TEST(SqlCompare, QuotedTextConvertsToTheFieldsType) {
  EXPECT_EQ(constant(ValueClass::kDouble, Value::text(" 12.5 ")).number, 12.5);
  EXPECT_EQ(constant(ValueClass::kInteger, Value::text("+30")).text, "30");
  EXPECT_EQ(constant(ValueClass::kDate, Value::text("2023-03-15")).integer, pdx::Date::fromYmd(2023, 3, 15)->days);
  EXPECT_EQ(constant(ValueClass::kTime, Value::text("13:05:07")).integer, (13 * 3600 + 5 * 60 + 7) * 1000);
  const double midnight = pdx::Timestamp::from(*pdx::Date::fromYmd(2023, 3, 15), pdx::Time{0}).ms;
  EXPECT_EQ(constant(ValueClass::kTimestamp, Value::text("2023-03-15")).number, midnight);
  EXPECT_EQ(constant(ValueClass::kTimestamp, Value::text("2023-03-15 00:00:01")).number, midnight + 1000);
  EXPECT_EQ(constant(ValueClass::kTimestamp, Value::text("2023-03-15T00:00:01.500")).number, midnight + 1500);
  EXPECT_EQ(constant(ValueClass::kTimestamp, Value::date(*pdx::Date::fromYmd(2023, 3, 15))).number, midnight);
  EXPECT_EQ(constant(ValueClass::kLogical, Value::text("Yes")).integer, 1);
  EXPECT_EQ(constant(ValueClass::kLogical, Value::text("f")).integer, 0);
  EXPECT_EQ(constant(ValueClass::kText, Value::text("abc   ")).text, "abc");
  // Beyond any double: infinity for the comparison, the digits kept exactly.
  const Constant huge = constant(ValueClass::kDouble, Value::text("-1" + std::string(400, '0')));
  EXPECT_EQ(huge.number, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(huge.text.size(), 402u);
  EXPECT_EQ(constant(ValueClass::kDouble, Value::text("0." + std::string(400, '0') + "1")).number, 0.0);
  // Doubles given as parameters become their shortest exact decimal.
  EXPECT_EQ(constant(ValueClass::kDecimal, Value::number(7.25)).text, "7.25");
  EXPECT_EQ(constant(ValueClass::kDecimal, Value::number(0.1)).text, "0.1");

  struct Refused {
    ValueClass cls;
    Value value;
    const char* says;
  };
  const Refused refused[] = {
      {ValueClass::kDouble, Value::text("12,5"), "is not a number"},
      {ValueClass::kDouble, Value::text("1e5"), "is not a number"},
      {ValueClass::kInteger, Value::text(""), "is not a number"},
      {ValueClass::kDouble, Value::number(std::nan("")), "not a finite number"},
      {ValueClass::kDecimal, Value::decimal("1.2.3"), "not a decimal"},
      {ValueClass::kInteger, Value::date(pdx::Date{5}), "is a date, not a number"},
      {ValueClass::kDate, Value::text("03/15/2023"), "YYYY-MM-DD"},
      {ValueClass::kDate, Value::text("2023-3-15"), "YYYY-MM-DD"},
      {ValueClass::kDate, Value::text("2023-02-29"), "not a date"},
      {ValueClass::kDate, Value::integer(20230315), "not a date"},
      {ValueClass::kTime, Value::text("25:00:00"), "not a time"},
      {ValueClass::kTimestamp, Value::text("2023-03-15 10h"), "not a timestamp"},
      {ValueClass::kLogical, Value::text("oui"), "not a logical value"},
      {ValueClass::kText, Value::decimal("12"), "in quotes"},
      {ValueClass::kText, Value::integer(12), "not text"},
  };
  for (const Refused& r : refused) {
    auto c = toConstant(r.cls, r.value);
    ASSERT_FALSE(c.ok()) << r.says;
    EXPECT_EQ(c.status().code(), code::kTypeMismatch);
    EXPECT_NE(c.status().message().find(r.says), std::string::npos) << c.status().message();
  }
}

TEST(SqlCompare, BlankTextEqualsOnlyTheEmptyText) {
  const Constant empty = constant(ValueClass::kText, Value());
  EXPECT_FALSE(empty.null);
  EXPECT_EQ(compareWithConstant(ValueClass::kText, Value::text("   "), empty), 0);
  EXPECT_EQ(compareWithConstant(ValueClass::kText, Value(), constant(ValueClass::kText, Value::text("a"))), std::nullopt);
  EXPECT_TRUE(constant(ValueClass::kInteger, Value()).null);
  // A value of another kind than the field's never compares.
  EXPECT_EQ(compareWithConstant(ValueClass::kDate, Value::integer(3), constant(ValueClass::kDate, Value::date(pdx::Date{3}))),
            std::nullopt);
}

TEST(SqlCompare, ExtractAndKeyValues) {
  const Value day = Value::date(*pdx::Date::fromYmd(2024, 2, 29));
  EXPECT_EQ(extractPart(DatePart::kYear, day), 2024);
  EXPECT_EQ(extractPart(DatePart::kMonth, day), 2);
  EXPECT_EQ(extractPart(DatePart::kDay, day), 29);
  const Value late = Value::timestamp(pdx::Timestamp::from(*pdx::Date::fromYmd(1999, 12, 31), pdx::Time{86'399'999}));
  EXPECT_EQ(extractPart(DatePart::kDay, late), 31);
  EXPECT_EQ(extractPart(DatePart::kYear, Value()), std::nullopt);
  EXPECT_EQ(extractPart(DatePart::kYear, Value::text("2024-01-01")), std::nullopt);
  EXPECT_EQ(extractPart(DatePart::kYear, Value::timestamp(pdx::Timestamp{std::nan("")})), std::nullopt);
  EXPECT_EQ(extractPart(DatePart::kYear, Value::timestamp(pdx::Timestamp{1e300})), std::nullopt);

  EXPECT_EQ(keyValue(ValueClass::kInteger, constant(ValueClass::kInteger, Value::text("12.000"))), Value::integer(12));
  EXPECT_EQ(keyValue(ValueClass::kInteger, constant(ValueClass::kInteger, Value::text("-7"))), Value::integer(-7));
  EXPECT_EQ(keyValue(ValueClass::kInteger, constant(ValueClass::kInteger, Value::text("12.5"))), std::nullopt);
  EXPECT_EQ(keyValue(ValueClass::kInteger, constant(ValueClass::kInteger, Value::text(std::string(19, '9')))), std::nullopt);
  EXPECT_EQ(keyValue(ValueClass::kDouble, constant(ValueClass::kDouble, Value::text("1" + std::string(400, '0')))),
            std::nullopt);
  EXPECT_EQ(keyValue(ValueClass::kDate, constant(ValueClass::kDate, Value())), std::nullopt);
  EXPECT_EQ(keyValue(ValueClass::kText, constant(ValueClass::kText, Value::text("ABC  "))), Value::text("ABC"));
  EXPECT_EQ(keyValue(ValueClass::kLogical, constant(ValueClass::kLogical, Value::text("TRUE"))), Value::logical(true));
}

TEST(SqlCompare, LikePatterns) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"%abc%", "xxabcxx", true},   {"%abc%", "xxABCxx", false}, {"abc", "abc  ", true},
      {"abc ", "abc", false},       {"a_c", "abc", true},        {"a_c", "ac", false},
      {"_", "é", true},             {"__", "é", false},          {"C_t_", "Côté", true},
      {"%", "", true},              {"", "", true},              {"", "a", false},
      {"a%b%c", "abbbc", true},     {"a%b%c", "acb", false},     {"%ab", "aab", true},
      {"a%a", "a", false},          {"a%a", "aa", true},         {"%a%a%", "a", false},
      {"%a%a%", "xaxa", true},      {"%_%", "", false},          {"100%", "100 percent", true},
      {"%é%", "Café", true},        {"%e%", "Café", false},      {"%%%", "x", true},
      {"\xFF%", "\xFF" "abc", true}, {"\xC3%", "é", false},      {"_", "\xC3", true},
      {"%b_", "abcb", false},       {"%b_", "abcbd", true},      {"a%", "b", false},
  };
  std::vector<uint32_t> scratch;
  for (const Case& c : cases)
    EXPECT_EQ(LikePattern(c.pattern).matches(c.text, scratch), c.matches) << c.pattern << " / " << c.text;
}

// LIKE by its definition on the decoded text: a piece of the pattern matches
// one unit (a character, or a stray byte), % any run of them.
bool likeByDefinition(const std::vector<uint32_t>& p, size_t i, const std::vector<uint32_t>& t, size_t j) {
  if (i == p.size()) return j == t.size();
  if (p[i] == '%') {
    for (size_t k = j; k <= t.size(); ++k)
      if (likeByDefinition(p, i + 1, t, k)) return true;
    return false;
  }
  return j < t.size() && (p[i] == '_' || p[i] == t[j]) && likeByDefinition(p, i + 1, t, j + 1);
}

// Patterns without '_' are matched on the bytes of the text: the result must
// be the characters' for any text, well-formed UTF-8 or not.
TEST(SqlCompare, LikeOnBytesAgreesWithLikeOnCharacters) {
  const std::vector<std::string> bits = {"a", "b", "é", "è", "€", "😀", "\xC3", "\xA9", "\xE2\x82", "\xF0\x9F\x98",
                                         "\xFF", "\xED\xA0\x80", "%", " ", "ab"};
  std::mt19937 rng(11);
  auto compose = [&](size_t n, bool pattern) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
      const std::string& b = bits[rng() % bits.size()];
      if (!pattern && b == "%") continue;
      s += b;
    }
    return s;
  };
  std::vector<uint32_t> scratch, p, t;
  int bytewise = 0;
  for (int round = 0; round < 20'000; ++round) {
    const std::string pattern = compose(rng() % 5, true);
    const std::string text = compose(rng() % 7, false);
    decodeUtf8(pattern, p);
    decodeUtf8(trimTrailingBlanks(text), t);
    const bool want = likeByDefinition(p, 0, t, 0);
    bytewise += isValidUtf8(pattern);
    ASSERT_EQ(LikePattern(pattern).matches(text, scratch), want)
        << "pattern \"" << pattern << "\" text \"" << text << "\"";
  }
  EXPECT_GT(bytewise, 5000) << "too few patterns took the byte path";
}

}  // namespace
}  // namespace sql::detail
