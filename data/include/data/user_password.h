// How a password is kept in the user table: the key of `user` is the
// password itself, so the text a user types and the text an administrator
// stores must come out the same. Both go through storedPassword().
//
// The rule: every letter is replaced by its capital when that capital is one
// character of the Windows Latin-1 code page the tables are written in
// (a-z, à-þ except ÷, ÿ, š, œ, ž); every other character (ß, µ, digits,
// signs) is kept as it is. So "facturé" is stored "FACTURÉ", and the length
// never changes.
#pragma once

#include <string>
#include <string_view>

namespace data {

// `typed` (UTF-8) as the user table stores it. Text that is not valid UTF-8
// is kept byte for byte where it is not valid.
std::string storedPassword(std::string_view typed);

// The capital of one character under the rule above, or `c` itself.
char32_t passwordCapital(char32_t c);

}  // namespace data
