#include "data/user_password.h"

namespace data {

char32_t passwordCapital(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  // Latin-1 small letters à to þ sit 0x20 above their capitals; ÷ does not.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  switch (c) {
    case 0xFF: return 0x178;   // ÿ → Ÿ
    case 0x161: return 0x160;  // š → Š
    case 0x153: return 0x152;  // œ → Œ
    case 0x17E: return 0x17D;  // ž → Ž
    default: return c;
  }
}

namespace {

// The length of the UTF-8 sequence that starts at `text[at]` and its
// character, or 0 when no valid sequence starts there.
size_t decode(std::string_view text, size_t at, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  char32_t c = 0;
  if (b0 < 0x80) return out = b0, 1;
  if ((b0 & 0xE0) == 0xC0) length = 2, c = b0 & 0x1F;
  else if ((b0 & 0xF0) == 0xE0) length = 3, c = b0 & 0x0F;
  else if ((b0 & 0xF8) == 0xF0) length = 4, c = b0 & 0x07;
  else return 0;
  if (at + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(text[at + k]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  out = c;
  return length;
}

void encode(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string storedPassword(std::string_view typed) {
  std::string out;
  out.reserve(typed.size());
  for (size_t at = 0; at < typed.size();) {
    char32_t c = 0;
    const size_t length = decode(typed, at, c);
    if (length == 0) {
      out += typed[at++];
      continue;
    }
    const char32_t capital = passwordCapital(c);
    if (capital == c)
      out.append(typed.substr(at, length));
    else
      encode(capital, out);
    at += length;
  }
  return out;
}

}  // namespace data
