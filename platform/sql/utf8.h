// UTF-8 helpers of the query layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sql::detail {

// Length of the well-formed UTF-8 sequence starting at s[i] (1 to 4), or 0
// when the bytes there are not one (overlong forms, surrogates and code
// points above U+10FFFF are not well-formed).
size_t utf8SequenceLength(std::string_view s, size_t i);

bool isValidUtf8(std::string_view s);

// Code points of `s`. A byte that starts no well-formed sequence becomes a
// unit of its own, 0x110000 + byte, equal only to the same stray byte, so
// that damaged text still compares and matches without failing.
void decodeUtf8(std::string_view s, std::vector<uint32_t>& out);

// Text fit for a one-line message: control characters and bytes that are
// not UTF-8 become '?', and text past `limit` characters is cut with "...".
std::string printable(std::string_view s, size_t limit = 40);

}  // namespace sql::detail
