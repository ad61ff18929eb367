// Input as messages show it.
//
// A message that quotes what it read (a name from a file, a cell of a text
// file, an argument) shows it through these. Control characters, bytes that
// are not UTF-8, and the invisible characters that reorder or break a line
// come out as escapes (\t, \n, \x1B, \u202E), so that nothing a file holds
// can drive a terminal or split a message; a long text is cut, its whole
// length said after it, so that a 50 MB name does not make a 50 MB message.
// A backslash stays as it is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pdx {

// Characters of a quoted input shown before the cut.
inline constexpr size_t kEchoCharacters = 80;
// Characters of a whole message line shown before the cut.
inline constexpr size_t kEchoLineCharacters = 2000;

// `text` escaped and cut after `limit` characters: "abc…" and then
// " (52428800 bytes)".
std::string echo(std::string_view text, size_t limit = kEchoCharacters);

// The same between double quotes: "\"abc…\" (52428800 bytes)".
std::string quote(std::string_view text, size_t limit = kEchoCharacters);

// A whole line of a message, escaped and cut at kEchoLineCharacters: what a
// tool writes to a terminal, whatever its parts quoted.
inline std::string echoLine(std::string_view line) { return echo(line, kEchoLineCharacters); }

}  // namespace pdx
