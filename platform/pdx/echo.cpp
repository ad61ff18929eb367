#include "pdx/echo.h"

#include <cstdint>

namespace pdx {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void hexByte(std::string& out, unsigned char b) {
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 0xF];
}

void hexCodePoint(std::string& out, char32_t c) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
}

// Characters that change what a terminal or an editor shows without being
// seen: C1 controls, marks and overrides of the text's direction, line and
// paragraph separators, the byte-order mark.
bool invisible(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

// The length of the well-formed UTF-8 sequence at the start of `s` and its
// code point; 0 when the first byte starts none.
size_t decodeUtf8(std::string_view s, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  size_t n = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, c = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, c = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

// Appends `text` escaped, at most `limit` characters of it; true when it all fit.
bool appendEscaped(std::string& out, std::string_view text, size_t limit) {
  size_t shown = 0;
  for (size_t at = 0; at < text.size(); ++shown) {
    if (shown == limit) return false;
    const auto b = static_cast<unsigned char>(text[at]);
    if (b < 0x20 || b == 0x7F) {
      if (b == '\t') out += "\\t";
      else if (b == '\n') out += "\\n";
      else if (b == '\r') out += "\\r";
      else hexByte(out, b);
      ++at;
    } else if (b < 0x80) {
      out += static_cast<char>(b);
      ++at;
    } else {
      char32_t c = 0;
      const size_t n = decodeUtf8(text.substr(at), c);
      if (n == 0) {
        hexByte(out, b);
        ++at;
      } else {
        if (invisible(c)) hexCodePoint(out, c);
        else out.append(text.substr(at, n));
        at += n;
      }
    }
  }
  return true;
}

std::string lengthNote(size_t bytes) { return " (" + std::to_string(bytes) + " bytes)"; }

}  // namespace

std::string echo(std::string_view text, size_t limit) {
  std::string out;
  if (!appendEscaped(out, text, limit)) out += "\u2026" + lengthNote(text.size());
  return out;
}

std::string quote(std::string_view text, size_t limit) {
  std::string out = "\"";
  const bool whole = appendEscaped(out, text, limit);
  if (whole) return out + "\"";
  return out + "\u2026\"" + lengthNote(text.size());
}

}  // namespace pdx
