// Exact sums of numbers written in decimal.
//
// Money is stored as a double, but people write and read amounts in
// decimal: 0.10 + 0.20 is 0.30, not the double sum 0.30000000000000004.
// `pdxtool apply`'s add therefore adds the text forms of the two numbers
// exactly and only then rounds the sum to the field's type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pdxtool {

// The exact sum of `a` and `b` as plain decimal text: an optional minus sign,
// digits, and a point followed by as many decimals as the more precise of the
// two numbers has ("1.50" + "2" gives "3.50", "0.1" + "-0.1" gives "0.0").
// Inputs take the forms the dump writes and reads for numbers, money and BCD:
// an optional minus sign, digits with an optional point (".5" and "5." too),
// and an optional exponent (e+21, E-3). nullopt for anything else, and for
// exponents that would make a result of more than a few thousand digits.
std::optional<std::string> addDecimalText(std::string_view a, std::string_view b);

}  // namespace pdxtool
