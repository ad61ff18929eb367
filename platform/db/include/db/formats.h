// Regional formats: how dates and amounts are shown and read back.
//
// The process has one set of formats (short date format, currency symbol and
// its placement), read from the machine settings when a program or module
// starts and applied by every field that shows a date or an amount. They are
// process-wide because the suite's windows run on one thread and share them;
// tests set them explicitly.
//
// Date formats are written with D, M and Y (any case) for the day, month and
// year digits and any other character as a literal: "DD/MM/YYYY",
// "YYYY-MM-DD", "M/D/YY".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pdx/value.h"

namespace db {

struct RegionalFormats {
  std::string shortDateFormat = "DD/MM/YYYY";
  std::string currencySymbol = "$";
  // True: "$12.50". False: "12.50$".
  bool symbolBefore = true;
  // True: negative amounts in parentheses, "($12.50)" or "(12.50$)"; false:
  // a leading minus, "-$12.50" or "-12.50$".
  bool negativeInParentheses = false;
  char decimalSeparator = '.';
  char thousandSeparator = ',';

  // The formats in force. Only the user-interface thread reads or changes them.
  static RegionalFormats& current();
};

// `date` written in `format` ("DD/MM/YYYY" gives "07/12/2026"). A blank or
// out-of-range date gives "".
std::string formatDate(pdx::Date date, std::string_view format);

// Reads `text` as a date written in `format`. The digits of each part may be
// separated by any non-digit (one or two digits for day and month, two or four
// for the year: a two-digit year yy is 20yy when yy < 50 and 19yy otherwise),
// or, with no separators at all, have exactly the widths the format gives.
// nullopt when the text is not a real date in that format.
std::optional<pdx::Date> parseDate(std::string_view text, std::string_view format);

// The edit mask of a date edit for a short date format: every D, M or Y
// becomes 9, then "!" + that + ";1; " (leading blanks trimmed, literals
// stored, blank as the placeholder). "DD/MM/YYYY" gives "!99/99/9999;1; ".
std::string dateEditMask(std::string_view shortDateFormat);

// Formats a number with a picture such as "#,###,##0.00", "$#,###,##0.00",
// "##0.00" or "0.####": '0' is a digit always shown, '#' a digit shown when
// significant, '.' the decimal point (first one), ',' anywhere in the integer
// part turns on thousands grouping, text in single or double quotes and any
// other character are copied. Up to three sections separated by ';' give the
// pictures for positive, negative and zero values; a negative value without
// its own section gets a leading '-'. Rounds half away from zero.
std::string formatFloat(std::string_view picture, double value,
                        const RegionalFormats& formats = RegionalFormats::current());

// An amount with two decimals, grouped, with the currency symbol placed as
// `formats` says; `symbol` replaces the process symbol when given.
std::string formatCurrency(double value, const RegionalFormats& formats = RegionalFormats::current(),
                           std::optional<std::string_view> symbol = std::nullopt);

}  // namespace db
