// Conversion of table text between a DOS/Windows code page and UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "pdx/status.h"

namespace pdx::detail {

// True when text of this code page can be converted. Code page 0 (a header
// that names none) is supported: its bytes pass through unchanged.
bool isSupportedCodePage(int codePage);

// Converts stored bytes to UTF-8. Every byte of a supported code page maps to
// a character, so this cannot fail; bytes of an unsupported code page pass
// through unchanged.
// In a double-byte code page (936), a pair that names no character, or a lead
// byte with no trail byte after it, becomes U+FFFD.
std::string toUtf8(std::string_view bytes, int codePage);

// The conversion of one supported code page, found once (findConverter
// searches the code pages) and kept by whoever converts much text of it.
class CodePageConverter;
// nullptr for code page 0 and unsupported code pages, whose bytes pass
// through unchanged.
const CodePageConverter* converterFor(int codePage);
// As toUtf8 above, with the converter found beforehand (nullptr: the bytes as
// they are), into `out`, whose storage is reused.
void toUtf8(std::string_view bytes, const CodePageConverter* converter, std::string& out);

// True when every byte of `s` is ASCII, which reads and writes the same in
// every code page.
bool isAscii(std::string_view s);

// Converts UTF-8 to the code page. Fails with code::kUnrepresentable, naming
// the character, when the code page has no byte for it, and with
// code::kInvalidValue when `utf8` is not valid UTF-8. Never substitutes.
Result<std::string> fromUtf8(std::string_view utf8, int codePage);

// The byte tables behind the conversion, generated into codepage_tables.cpp
// by tools/gen_codepages.py. Every table keeps ASCII in 0x00-0x7F and holds
// characters of the Basic Multilingual Plane only, each at most once.
struct CodePageTable {
  int codePage;
  // The character of each byte; kLeadByte where the byte starts a pair.
  const char16_t* byteChars;  // 256 entries
  // Double-byte code pages only (else nullptr): the character of each pair,
  // kPairTrails entries per lead byte kFirstLead..kLastLead, trail bytes
  // kFirstTrail..kLastTrail; 0 where the pair names no character.
  const char16_t* pairChars;
};
inline constexpr char16_t kLeadByte = 0xFFFF;
inline constexpr uint8_t kFirstLead = 0x81;
inline constexpr uint8_t kLastLead = 0xFE;
inline constexpr uint8_t kFirstTrail = 0x40;
inline constexpr uint8_t kLastTrail = 0xFE;
inline constexpr int kPairTrails = kLastTrail - kFirstTrail + 1;

std::span<const CodePageTable> codePageTables();

}  // namespace pdx::detail
