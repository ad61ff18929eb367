// Conversion of table text between a DOS/Windows code page and UTF-8.
//
// Reading converts every text field of every record, so toUtf8 works from a
// 256-entry table per code page holding each byte's character already encoded
// as UTF-8, and text that is pure ASCII (the common case) is copied as it is:
// every supported code page keeps ASCII in 0x00-0x7F. Writing looks each
// character up in a table sorted by character.
//
// The tables are built from codepage_tables.cpp on first use and never change
// afterwards, so any thread may convert at any time.
#include "codepage.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pdx::detail {
namespace {

constexpr char32_t kReplacement = 0xFFFD;  // a damaged double-byte sequence
constexpr char32_t kMalformed = 0xFFFFFFFF;

// UTF-8 of one character of the Basic Multilingual Plane: up to three bytes,
// then the length in the fourth, so that a whole entry can be copied at once.
using Utf8Char = std::array<char, 4>;

Utf8Char encodeUtf8(char16_t c) {
  Utf8Char u{};
  if (c < 0x80) {
    u = {static_cast<char>(c), 0, 0, 1};
  } else if (c < 0x800) {
    u = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)), 0, 2};
  } else {
    u = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
         static_cast<char>(0x80 | (c & 0x3F)), 3};
  }
  return u;
}

// Writes `c` at `out` (four bytes of room needed) and returns the byte after it.
char* putUtf8(char16_t c, char* out) {
  Utf8Char u = encodeUtf8(c);
  std::memcpy(out, u.data(), 4);
  return out + u[3];
}

constexpr uint64_t kHighBits = 0x8080808080808080ULL;


bool isContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// Decodes the character starting at `pos` and moves `pos` past it. Returns
// kMalformed, leaving `pos` alone, for anything RFC 3629 forbids: a stray
// continuation byte, an overlong form, a surrogate, a value above U+10FFFF or
// a sequence cut short.
char32_t nextChar(std::string_view s, size_t& pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  size_t length;
  char32_t c;
  // The permitted range of the second byte narrows for the lead bytes whose
  // shortest forms would be overlong, surrogates or too large.
  unsigned char low = 0x80, high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    c = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    c = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return kMalformed;
  }
  if (s.size() - pos < length) return kMalformed;
  if (byte(pos + 1) < low || byte(pos + 1) > high) return kMalformed;
  for (size_t i = 1; i < length; ++i) {
    if (!isContinuation(byte(pos + i))) return kMalformed;
    c = (c << 6) | (byte(pos + i) & 0x3F);
  }
  pos += length;
  return c;
}

Status malformedUtf8(std::string_view s, size_t pos) {
  char text[96];
  std::snprintf(text, sizeof text, "text is not valid UTF-8: malformed sequence at byte %zu (0x%02X)", pos,
                static_cast<unsigned>(static_cast<unsigned char>(s[pos])));
  return Status(code::kInvalidValue, text);
}

Status unrepresentable(char32_t c, std::string_view utf8Char, int codePage, bool supported) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
  std::string message = "character ";
  message += name;
  // Controls would print as nothing useful or disturb the message.
  bool printable = c >= 0x20 && !(c >= 0x7F && c <= 0x9F);
  if (printable) {
    message += " \"";
    message += utf8Char;
    message += "\"";
  }
  message += " cannot be stored in code page " + std::to_string(codePage);
  if (!supported) message += ", which this engine does not convert";
  return Status(code::kUnrepresentable, std::move(message));
}

}  // namespace

bool isAscii(std::string_view s) {
  const char* p = s.data();
  const size_t n = s.size();
  if (n < 8) {
    for (size_t i = 0; i < n; ++i)
      if (static_cast<unsigned char>(p[i]) & 0x80) return false;
    return true;
  }
  uint64_t word;
  for (size_t i = 0; i + 8 <= n; i += 8) {
    std::memcpy(&word, p + i, 8);
    if (word & kHighBits) return false;
  }
  std::memcpy(&word, p + n - 8, 8);  // the last bytes, overlapping the words before
  return (word & kHighBits) == 0;
}

// One supported code page, ready for conversion both ways.
class CodePageConverter {
 public:
  explicit CodePageConverter(const CodePageTable& table) : table_(table) {
    for (int b = 0; b < 256; ++b) {
      char16_t c = table.byteChars[b];
      if (c == kLeadByte) continue;
      byteUtf8_[b] = encodeUtf8(c);
      if (b >= 0x80) reverse_.push_back({c, static_cast<uint16_t>(b)});
    }
    if (table.pairChars != nullptr) {
      for (int lead = kFirstLead; lead <= kLastLead; ++lead) {
        for (int trail = kFirstTrail; trail <= kLastTrail; ++trail) {
          char16_t c = table.pairChars[(lead - kFirstLead) * kPairTrails + (trail - kFirstTrail)];
          if (c != 0) reverse_.push_back({c, static_cast<uint16_t>(lead << 8 | trail)});
        }
      }
    }
    std::sort(reverse_.begin(), reverse_.end(), [](const Reverse& a, const Reverse& b) { return a.c < b.c; });
  }

  int codePage() const { return table_.codePage; }

  void toUtf8(std::string_view bytes, std::string& out) const {
    out.clear();
    if (isAscii(bytes)) {
      out.append(bytes);
      return;
    }
    // No byte or pair takes more than three bytes of UTF-8; one more byte of
    // room lets every character be written as a whole four-byte entry.
    out.resize(bytes.size() * 3 + 1);
    char* p = out.data();
    if (table_.pairChars == nullptr) {
      const char* b = bytes.data();
      const char* end = b + bytes.size();
      // Eight bytes at a time: ASCII ones stay as they are.
      while (b < end) {
        const char* stop = end - b >= 8 ? b + 8 : end;
        uint64_t word;
        if (stop - b == 8 && (std::memcpy(&word, b, 8), (word & kHighBits) == 0)) {
          std::memcpy(p, b, 8);
          p += 8;
          b = stop;
          continue;
        }
        for (; b < stop; ++b) {
          const Utf8Char& u = byteUtf8_[static_cast<unsigned char>(*b)];
          std::memcpy(p, u.data(), 4);
          p += u[3];
        }
      }
    } else {
      p = pairsToUtf8(bytes, p);
    }
    out.resize(static_cast<size_t>(p - out.data()));
  }

  // The byte (below 0x100) or lead/trail pair that holds `c`, or 0 when the
  // code page has none. Never called for ASCII.
  uint16_t find(char32_t c) const {
    if (c > 0xFFFF) return 0;
    auto it =
        std::lower_bound(reverse_.begin(), reverse_.end(), c, [](const Reverse& r, char32_t v) { return r.c < v; });
    return it != reverse_.end() && it->c == c ? it->code : 0;
  }

 private:
  struct Reverse {
    char16_t c;
    uint16_t code;
  };

  char* pairsToUtf8(std::string_view bytes, char* p) const {
    size_t n = bytes.size();
    for (size_t i = 0; i < n; ++i) {
      auto b = static_cast<unsigned char>(bytes[i]);
      char16_t c = table_.byteChars[b];
      if (c != kLeadByte) {
        const Utf8Char& u = byteUtf8_[b];
        std::memcpy(p, u.data(), 4);
        p += u[3];
        continue;
      }
      // A lead byte at the end of the text, or followed by a byte that cannot
      // trail (DEL never does), stands alone; the following byte is read
      // afresh.
      if (i + 1 == n) {
        p = putUtf8(kReplacement, p);
        break;
      }
      auto trail = static_cast<unsigned char>(bytes[i + 1]);
      if (trail < kFirstTrail || trail > kLastTrail || trail == 0x7F) {
        p = putUtf8(kReplacement, p);
        continue;
      }
      c = table_.pairChars[(b - kFirstLead) * kPairTrails + (trail - kFirstTrail)];
      p = putUtf8(c != 0 ? c : kReplacement, p);
      ++i;
    }
    return p;
  }

  const CodePageTable& table_;
  std::array<Utf8Char, 256> byteUtf8_{};
  std::vector<Reverse> reverse_;  // non-ASCII characters, sorted by character
};

namespace {

const std::vector<CodePageConverter>& converters() {
  // Built once; deliberately never destroyed, so conversions in other static
  // destructors stay safe, and converters found once stay valid.
  static const std::vector<CodePageConverter>* all = [] {
    auto* v = new std::vector<CodePageConverter>();
    for (const CodePageTable& table : codePageTables()) v->emplace_back(table);
    return v;
  }();
  return *all;
}

const CodePageConverter* findConverter(int codePage) {
  for (const CodePageConverter& c : converters()) {
    if (c.codePage() == codePage) return &c;
  }
  return nullptr;
}

}  // namespace

const CodePageConverter* converterFor(int codePage) { return codePage == 0 ? nullptr : findConverter(codePage); }

void toUtf8(std::string_view bytes, const CodePageConverter* converter, std::string& out) {
  if (converter == nullptr) {
    out.clear();
    out.append(bytes);
  } else {
    converter->toUtf8(bytes, out);
  }
}

bool isSupportedCodePage(int codePage) {
  return codePage == 0 || findConverter(codePage) != nullptr;
}

std::string toUtf8(std::string_view bytes, int codePage) {
  std::string out;
  toUtf8(bytes, converterFor(codePage), out);
  return out;
}

Result<std::string> fromUtf8(std::string_view utf8, int codePage) {
  // A table that names no code page holds whatever bytes it was given, and
  // gets back exactly what was read from it.
  if (codePage == 0 || isAscii(utf8)) return std::string(utf8);
  const CodePageConverter* converter = findConverter(codePage);

  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    if (!(static_cast<unsigned char>(utf8[pos]) & 0x80)) {
      out.push_back(utf8[pos++]);
      continue;
    }
    size_t start = pos;
    char32_t c = nextChar(utf8, pos);
    if (c == kMalformed) return malformedUtf8(utf8, start);
    uint16_t code = converter != nullptr ? converter->find(c) : 0;
    if (code == 0) {
      return unrepresentable(c, utf8.substr(start, pos - start), codePage, converter != nullptr);
    }
    if (code > 0xFF) out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
  }
  return out;
}

}  // namespace pdx::detail
