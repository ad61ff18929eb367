#include "utf8.h"

#include <cstring>

namespace sql::detail {

size_t utf8SequenceLength(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return 1;
  size_t n;
  uint32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    cp = b0 & 0x07;
  } else {
    return 0;  // a continuation byte, C0/C1 (overlong) or F5..FF
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

bool isValidUtf8(std::string_view s) {
  // Runs of ASCII, the bulk of most text, eight bytes at a time.
  size_t ascii = 0;
  for (; ascii + 8 <= s.size(); ascii += 8) {
    uint64_t word;
    std::memcpy(&word, s.data() + ascii, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  for (size_t i = ascii; i < s.size();) {
    const size_t n = utf8SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void decodeUtf8(std::string_view s, std::vector<uint32_t>& out) {
  out.clear();
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8SequenceLength(s, i);
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (n == 0) {
      out.push_back(0x110000u + b0);
      ++i;
      continue;
    }
    uint32_t cp = n == 1 ? b0 : n == 2 ? (b0 & 0x1Fu) : n == 3 ? (b0 & 0x0Fu) : (b0 & 0x07u);
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    out.push_back(cp);
    i += n;
  }
}

std::string printable(std::string_view s, size_t limit) {
  std::string out;
  size_t chars = 0;
  for (size_t i = 0; i < s.size();) {
    if (chars == limit) {
      out += "...";
      break;
    }
    const size_t n = utf8SequenceLength(s, i);
    if (n == 0 || static_cast<unsigned char>(s[i]) < 0x20 || s[i] == 0x7F) {
      out += '?';
      ++i;
    } else {
      out.append(s, i, n);
      i += n;
    }
    ++chars;
  }
  return out;
}

}  // namespace sql::detail
