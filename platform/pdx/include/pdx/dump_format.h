// The one text form of field values.
//
// `pdxtool dump` writes it and `pdxtool load` reads it; other tools that move
// table contents through text use it too, so that a value written by one reads
// back the same in any other. Each value is one cell of a tab-separated line,
// so the form never holds a raw tab, line feed or carriage return.
//
//   TYPE                      FORM
//   blank (any type)          empty text
//   alpha, memo, fmt. memo    UTF-8 text; tab, line feed, carriage return and
//                             backslash written \t \n \r \\ (no other escape)
//   short, long, autoinc.     decimal integer: -12, 0, 40 (autoincrement
//                             values are 1 or more)
//   number, money             the shortest text that reads back to the same
//                             double: 0.1, -4, 1e+21
//   BCD                       plain decimal number, as the table holds it:
//                             -12.50 (as many decimals as the field declares)
//   date                      YYYY-MM-DD
//   time                      HH:MM:SS, or HH:MM:SS.mmm when the milliseconds
//                             are not zero
//   timestamp                 YYYY-MM-DDTHH:MM:SS[.mmm], as date and time
//   logical                   true or false
//   bytes, blob, graphic, OLE lower-case hexadecimal, two digits a byte (upper
//                             case is read too)
//
// Values that only a damaged or unusual file holds still print, in forms that
// parseValue() refuses so that they are never loaded back by accident:
//   - a date outside years 1..9999 uses the ISO 8601 astronomical year with at
//     least four digits: year 0 (1 BC) is 0000, earlier years carry a minus
//     sign (day -366 prints -0001-12-31) and later ones a plus sign
//     (+10000-01-01);
//   - a time outside 00:00:00..23:59:59.999 prints its hours past 23, and a
//     minus sign when negative (-01:00:00, 25:00:00);
//   - a timestamp that is not a finite millisecond count below 2^53 in
//     magnitude prints that count as a number (nan, inf, -1e+300);
//   - a number that is not finite prints as nan, inf or -inf (a sign may
//     precede nan).
//
// Parsing is strict: a malformed number, date (2023-02-30), time, hexadecimal
// text or escape is an error (code::kInvalidValue) whose message names the
// field; nothing is ever replaced by a default. Whether a value fits its
// field (alpha length, range of the code page, BCD digits, bytes length) is
// checked by the table when the value is stored.
#pragma once

#include <string>
#include <string_view>

#include "pdx/status.h"
#include "pdx/value.h"

namespace pdx {

// The text form of `v`, a value of `field` (a blank value gives "").
std::string formatValue(const FieldDef& field, const Value& v);

// The value of `field` that `text` writes; empty text is the blank value.
// Text fields give Value::text, integer fields Value::integer, number and
// money Value::number, BCD Value::decimal, bytes and blob kinds Value::bytes,
// the others their own kind. kInvalidValue naming the field when the text is
// not of the form above.
Result<Value> parseValue(const FieldDef& field, std::string_view text);

// Escapes tab, line feed, carriage return and backslash as \t \n \r \\.
std::string escapeText(std::string_view text);

// Undoes escapeText. kInvalidValue for a backslash followed by anything but
// t, n, r or a backslash, for a backslash at the end, and for a raw tab, line
// feed or carriage return (which escapeText never leaves).
Result<std::string> unescapeText(std::string_view text);

}  // namespace pdx
