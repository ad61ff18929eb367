// How query values meet field values: conversion of literals and parameters
// to a field's type, comparison, sort order, EXTRACT and LIKE.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/value.h"
#include "statement.h"

namespace sql::detail {

// The ways field values compare. Bytes, blob, graphic and OLE fields have
// none: they are never compared or sorted.
enum class ValueClass { kText, kInteger, kDouble, kDecimal, kDate, kTime, kTimestamp, kLogical };

std::optional<ValueClass> classOf(pdx::FieldType type);
// "text", "money", "a date", ... as a message says what a field holds.
std::string typeName(pdx::FieldType type);
// "text", "a number", "a date", ... as a message says what a value is.
std::string kindName(pdx::Value::Kind kind);

// A literal or parameter value brought to the class of the field it meets.
struct Constant {
  bool null = false;    // unknown against every value (never so for text)
  std::string text;     // kText: without trailing blanks; kInteger, kDouble, kDecimal: plain decimal
  double number = 0;    // kDouble: the nearest double; kTimestamp: milliseconds
  int64_t integer = 0;  // kDate: days; kTime: milliseconds; kLogical: 0 or 1
};

// Converts `v` for comparison with values of `cls`. A blank value is the
// empty text for kText and NULL otherwise. On failure: code::kTypeMismatch
// with the end of a sentence whose subject is the value ("is not a number
// ..."), for the caller to complete with the value, field and position.
pdx::Result<Constant> toConstant(ValueClass cls, const pdx::Value& v);

// A field value against a constant: <0, 0 or >0; nullopt when the result is
// unknown (a blank field, a NULL constant, a value that is not a number). A
// blank text field equals the empty text and is unknown against any other.
std::optional<int> compareWithConstant(ValueClass cls, const pdx::Value& field, const Constant& c);

// Two values of one field, for ORDER BY: a total order with blanks first and
// values that are not a number after every number.
int compareForSort(ValueClass cls, const pdx::Value& a, const pdx::Value& b);

// EXTRACT(part FROM v) of a date or timestamp value; nullopt for a blank, a
// value of another kind or a timestamp outside any calendar.
std::optional<int64_t> extractPart(DatePart part, const pdx::Value& v);

// The value that finds `c` in the primary index of a field of `cls`, or
// nullopt when no value of the field can equal it exactly (12.5 in a long
// integer field, a NULL).
std::optional<pdx::Value> keyValue(ValueClass cls, const Constant& c);

// ---- building blocks, exposed for their tests

// Optional sign, digits with at most one '.', at least one digit.
bool isPlainDecimal(std::string_view s);
// Exact comparison of two plain decimals ("-0" = "0.00", "1.50" = "1.5").
int compareDecimal(std::string_view a, std::string_view b);
// Total order of doubles: -0 = 0, NaN after every number and equal to NaN.
int compareDouble(double a, double b);
// `s` without its trailing blanks.
std::string_view trimTrailingBlanks(std::string_view s);

// A LIKE pattern: % matches any run of characters, _ exactly one; every
// other character matches itself, with case. Trailing blanks of the text do
// not count. Matching costs at most (text length) x (pattern length) steps
// and needs no recursion.
class LikePattern {
 public:
  explicit LikePattern(std::string_view pattern);
  // `scratch` is reused between calls to spare allocations.
  bool matches(std::string_view text, std::vector<uint32_t>& scratch) const;

 private:
  bool matchesBytes(std::string_view text) const;

  // The pieces between the %s; the first is anchored at the start of the
  // text and the last at its end (the same piece when there is no %).
  std::vector<std::vector<uint32_t>> pieces_;
  // The same pieces as UTF-8, when the pattern is well-formed UTF-8 without
  // '_': they then match the bytes of any text exactly where they match its
  // characters, so the text need not be decoded. A piece starts with a byte
  // that begins a character, never a continuation byte, so wherever its bytes
  // stand in a text a character of the text begins there, and the text then
  // decodes to the piece's characters: they are well-formed sequences (a
  // byte that starts no well-formed sequence, which decodes alone, cannot be
  // among them). Conversely the characters of a piece are the bytes of their
  // only UTF-8 form. Lengths differ, but leftmost places and whether pieces
  // overlap do not.
  bool bytewise_ = false;
  std::vector<std::string> bytePieces_;
};

}  // namespace sql::detail
