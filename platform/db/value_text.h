// Value conversions and comparisons shared by the dataset classes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/value.h"

namespace db {

// Names are compared as the engine compares them: ASCII letters without
// regard to case, whatever the process's locale says of other bytes.
inline char lowerByte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
bool equalsNoCase(std::string_view a, std::string_view b);
std::string lowerAscii(std::string_view text);
std::string trimmed(std::string_view text);
// "a;b; c" → {"a", "b", "c"}; empty names are dropped.
std::vector<std::string> splitNames(std::string_view names);

// `value` brought to the kind that a field of `type` holds. Text is read as
// a plain decimal, a logical word or a date in the short date format; numbers
// go into integer fields only when whole and in range. Blank stays blank.
pdx::Result<pdx::Value> convertTo(const pdx::Value& value, pdx::FieldType type);

// Text of a value as keyed back: plain decimals (no exponent), dates in the
// short date format, "True"/"False", blank as "".
std::string plainText(const pdx::Value& value);

// Whether a field's value `have` matches the search value `want` (locate):
// text ignores trailing blanks, with the partial and case options; other
// kinds compare after converting `want` to `have`'s kind.
bool valueMatches(const pdx::Value& have, const pdx::Value& want, bool partial, bool caseInsensitive);

// Order of two values of one field (blank first): <0, 0, >0.
int compareValues(const pdx::Value& a, const pdx::Value& b);

}  // namespace db
