#include "codepage.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace pdx::detail {
namespace {

// Code pages that tables written for this suite, or the sample tables, carry.
const int kRequired[] = {437, 850, 852, 857, 860, 861, 863, 865, 866, 1250, 1251, 1252, 1253, 1254, 1257, 936};

const std::string kFrench = "Société Générale, élève, garçon, Noël, œuvre, « guillemets »";

std::string roundTrip(const std::string& text, int codePage) {
  Result<std::string> stored = fromUtf8(text, codePage);
  EXPECT_TRUE(stored.ok()) << stored.status().toString();
  return stored.ok() ? toUtf8(*stored, codePage) : std::string();
}

// The number of characters in valid UTF-8, or -1 when it is not valid.
int countChars(const std::string& s) {
  // Re-encoding through a code page that holds every Latin-1 character would
  // test the code under test; count lead bytes instead and check the shape.
  int count = 0;
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 0;
    if (len == 0 || i + len > s.size()) return -1;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return -1;
    }
    i += len;
    ++count;
  }
  return count;
}

TEST(CodePage, FrenchTextRoundTrips) {
  EXPECT_EQ(roundTrip(kFrench, 1252), kFrench);

  // œ is missing from the DOS pages; everything else of the sentence is there.
  std::string withoutOe = "Société Générale, élève, garçon, Noël, « guillemets », À, Ê";
  for (int cp : {850, 863}) {
    EXPECT_EQ(roundTrip(withoutOe, cp), withoutOe) << cp;
    Result<std::string> r = fromUtf8(kFrench, cp);
    ASSERT_FALSE(r.ok()) << cp;
    EXPECT_EQ(r.status().code(), code::kUnrepresentable);
    EXPECT_NE(r.status().message().find("U+0153"), std::string::npos) << r.status().message();
  }

  // The same letter sits at different bytes; a table filed under the wrong
  // number would still round-trip, so pin the bytes.
  struct Case {
    int codePage;
    const char* text;
    const char* bytes;
  };
  const Case cases[] = {
      {1252, "éÀÊœ€«", "\xE9\xC0\xCA\x9C\x80\xAB"},
      {850, "éÀÊÉ«", "\x82\xB7\xD2\x90\xAE"},
      {863, "éÀÊÉ«", "\x82\x8E\x92\x90\xAE"},
      {437, "éÉÇ«", "\x82\x90\x80\xAE"},
  };
  for (const Case& c : cases) {
    Result<std::string> r = fromUtf8(c.text, c.codePage);
    ASSERT_TRUE(r.ok()) << c.codePage << ": " << r.status().toString();
    EXPECT_EQ(*r, c.bytes) << c.codePage;
    EXPECT_EQ(toUtf8(c.bytes, c.codePage), c.text) << c.codePage;
  }
}

TEST(CodePage, EveryByteRoundTrips) {
  for (int cp : kRequired) {
    SCOPED_TRACE(cp);
    ASSERT_TRUE(isSupportedCodePage(cp));
    std::set<std::string> seen;
    std::string allBytes;
    for (int b = 0; b < 256; ++b) {
      std::string one(1, static_cast<char>(b));
      std::string text = toUtf8(one, cp);
      if (cp == 936 && b >= 0x81 && b <= 0xFE) continue;  // lead bytes: see pairs
      allBytes += one;
      EXPECT_EQ(countChars(text), 1) << "byte " << b;
      if (b < 0x80) {
        EXPECT_EQ(text, one) << "byte " << b;
      }
      EXPECT_TRUE(seen.insert(text).second) << "byte " << b << " decodes like another";
      Result<std::string> back = fromUtf8(text, cp);
      ASSERT_TRUE(back.ok()) << "byte " << b << ": " << back.status().toString();
      EXPECT_EQ(*back, one) << "byte " << b;
    }
    // Through the long-text path as well as the one-byte one.
    EXPECT_EQ(fromUtf8(toUtf8(allBytes, cp), cp).value(), allBytes);
  }
  // Bytes Windows leaves undefined read as the control of the same value.
  EXPECT_EQ(toUtf8("\x81\x8D\x8F\x90\x9D", 1252), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(toUtf8("\x98", 1251), "\u0098");
}

TEST(CodePage, DoubleBytePairsRoundTrip) {
  int mapped = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;  // never trails; see below
      std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      std::string text = toUtf8(pair, 936);
      ASSERT_EQ(countChars(text), 1) << std::hex << lead << trail;
      if (text == "\uFFFD") continue;
      ++mapped;
      Result<std::string> back = fromUtf8(text, 936);
      ASSERT_TRUE(back.ok()) << std::hex << lead << trail << ": " << back.status().toString();
      EXPECT_EQ(*back, pair) << std::hex << lead << trail;
    }
  }
  // GBK's 21,886 characters less a few dozen that Windows and Python disagree on.
  EXPECT_GT(mapped, 21800);

  EXPECT_EQ(fromUtf8("中文 Café", 936).value(), "\xD6\xD0\xCE\xC4 Caf\xA8\xA6");
  EXPECT_EQ(toUtf8("\xD6\xD0\xCE\xC4", 936), "中文");
  // Damaged text: a lead byte cut off at the end, or before a byte that
  // cannot trail, stands alone and the next byte is read afresh.
  EXPECT_EQ(toUtf8("A\xD6", 936), "A\uFFFD");
  EXPECT_EQ(toUtf8("\xD6 B", 936), "\uFFFD B");
  EXPECT_EQ(toUtf8("\xD6\x7F\x43", 936), "\uFFFD\x7F\x43");  // DEL never trails
  EXPECT_EQ(toUtf8("\x80\xFF", 936), "€\uF8F5");
}

// Whatever a damaged or foreign file holds reads as valid UTF-8, and in a
// single-byte code page writes back to exactly the same bytes.
TEST(CodePage, RandomBytesReadAndWriteBack) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int cp : kRequired) {
    for (int round = 0; round < 200; ++round) {
      std::string bytes(static_cast<size_t>(round % 40), '\0');
      for (char& c : bytes) c = static_cast<char>(byte(random));
      std::string text = toUtf8(bytes, cp);
      ASSERT_GE(countChars(text), 0) << cp;
      Result<std::string> back = fromUtf8(text, cp);
      if (cp == 936) {
        // U+FFFD stands for damage and has no byte to go back to.
        if (!back.ok()) {
          EXPECT_EQ(back.status().code(), code::kUnrepresentable);
        }
      } else {
        ASSERT_TRUE(back.ok()) << cp << ": " << back.status().toString();
        EXPECT_EQ(*back, bytes) << cp;
      }
    }
  }
}

TEST(CodePage, MissingCharacterIsRefusedAndNamed) {
  Result<std::string> r = fromUtf8("Total 5 €", 437);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.status().code(), code::kUnrepresentable);
  EXPECT_EQ(r.status().message(), "character U+20AC \"€\" cannot be stored in code page 437");

  // Outside the Basic Multilingual Plane no code page has anything.
  r = fromUtf8("ok \xF0\x9F\x98\x80", 1252);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.status().code(), code::kUnrepresentable);
  EXPECT_NE(r.status().message().find("U+1F600"), std::string::npos);

  // Letters of another script are refused, not turned into '?'.
  r = fromUtf8("Москва", 1252);
  EXPECT_EQ(r.status().code(), code::kUnrepresentable);
  EXPECT_EQ(fromUtf8("Москва", 866).value(), "\x8C\xAE\xE1\xAA\xA2\xA0");
  EXPECT_EQ(fromUtf8("Москва", 1251).value(), "\xCC\xEE\xF1\xEA\xE2\xE0");
}

TEST(CodePage, InvalidUtf8IsRefused) {
  const char* const malformed[] = {
      "\x80",              // continuation byte with no lead
      "ab\xC3",            // cut short
      "\xE2\x82",          // cut short
      "\xF0\x9F\x98",      // cut short
      "\xC3(",             // lead followed by a non-continuation
      "\xC0\xAF",          // overlong '/'
      "\xC1\xBF",          // overlong
      "\xE0\x80\xAF",      // overlong
      "\xF0\x80\x80\xAF",  // overlong
      "\xED\xA0\x80",      // surrogate U+D800
      "\xED\xBF\xBF",      // surrogate U+DFFF
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",  // no such lead byte
      "\xFE",              // never in UTF-8
      "\xFF",              // never in UTF-8
  };
  for (int cp : {1252, 863, 936, 1256}) {
    for (const char* s : malformed) {
      Result<std::string> r = fromUtf8(s, cp);
      ASSERT_FALSE(r.ok()) << cp << " accepted " << ::testing::PrintToString(s);
      EXPECT_EQ(r.status().code(), code::kInvalidValue) << cp << " " << ::testing::PrintToString(s);
    }
  }
  // The edges of the valid ranges decode (and are then simply missing from
  // code page 1252), so validation refuses no more than it should.
  for (const char* s : {"\xC2\x80", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80",
                        "\xF4\x8F\xBF\xBF"}) {
    EXPECT_EQ(fromUtf8(s, 1252).status().code(), code::kUnrepresentable) << ::testing::PrintToString(s);
  }
}

// Text of any length with characters outside ASCII anywhere (the
// conversion goes eight bytes at a time where it can) reads as the
// characters one by one read, also into a string that held other text.
TEST(CodePage, TextOfEveryLengthReadsAsItsCharacters) {
  for (int cp : {1252, 850, 936, 0, 1256}) {
    SCOPED_TRACE(cp);
    const CodePageConverter* converter = converterFor(cp);
    EXPECT_EQ(converter != nullptr, cp != 0 && cp != 1256);
    std::mt19937 rng(static_cast<unsigned>(cp));
    std::string reused(200, '#');
    for (size_t length = 0; length <= 40; ++length) {
      for (int variant = 0; variant < 20; ++variant) {
        std::string bytes;
        for (size_t i = 0; i < length; ++i) {
          const auto r = rng() % 10;
          bytes += static_cast<char>(r < 7 ? 'a' + static_cast<int>(rng() % 26) : 0x80 + static_cast<int>(rng() % 128));
        }
        std::string want;
        if (cp == 936) {
          want = toUtf8(bytes, cp);  // pairs: the reference is the whole-text call
        } else {
          for (char c : bytes) want += toUtf8(std::string(1, c), cp);
        }
        toUtf8(bytes, converter, reused);
        ASSERT_EQ(reused, want) << "length " << length;
        EXPECT_EQ(toUtf8(bytes, cp), want);
      }
    }
  }
}

TEST(CodePage, NoneNamedPassesBytesThrough) {
  EXPECT_TRUE(isSupportedCodePage(0));
  std::string raw = "Caf\xE9 \xFF\xC3 \x80";  // not UTF-8, not anything
  EXPECT_EQ(toUtf8(raw, 0), raw);
  EXPECT_EQ(fromUtf8(raw, 0).value(), raw);
  EXPECT_EQ(fromUtf8("Noël", 0).value(), "Noël");
}

TEST(CodePage, UnsupportedCodePage) {
  for (int cp : {1256, 65001, 12345, -1}) EXPECT_FALSE(isSupportedCodePage(cp)) << cp;
  EXPECT_EQ(toUtf8("\xC7\xE1", 1256), "\xC7\xE1");
  EXPECT_EQ(fromUtf8("plain text", 1256).value(), "plain text");
  Result<std::string> r = fromUtf8("Noël", 1256);
  EXPECT_EQ(r.status().code(), code::kUnrepresentable);
  EXPECT_NE(r.status().message().find("1256"), std::string::npos);
}

// The code pages the sample tables' headers name (word at 0x6A, level 4 and
// later, i.e. file version byte at 0x39 of 5 or more) must all be readable.
TEST(CodePage, SampleTablesCodePagesAreSupported) {
  TALLIMOOR_REQUIRE_SAMPLES();
  namespace fs = std::filesystem;
  fs::path root = TALLIMOOR_SAMPLES;
  if (!fs::is_directory(root)) GTEST_SKIP() << "no samples at " << root;
  std::set<int> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".db" && ext != ".DB") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    char header[0x6C];
    if (!in.read(header, sizeof header)) continue;
    if (static_cast<unsigned char>(header[0x39]) < 5) continue;
    int cp = static_cast<unsigned char>(header[0x6A]) | static_cast<unsigned char>(header[0x6B]) << 8;
    found.insert(cp);
    EXPECT_TRUE(isSupportedCodePage(cp)) << entry.path() << " names code page " << cp;
  }
  EXPECT_GE(found.size(), 3u);
}

// Text the original engine wrote, as the independent reader converted it.
TEST(CodePage, SampleTextMatchesReference) {
  TALLIMOOR_REQUIRE_SAMPLES();
  namespace fs = std::filesystem;
  fs::path root = TALLIMOOR_SAMPLES;
  if (!fs::is_directory(root)) GTEST_SKIP() << "no samples at " << root;
  struct Case {
    const char* file;
    const char* text;
  };
  const Case cases[] = {
      {"paradoxdriver/db/AREACODES.DB", "Montréal"},     // 1252
      {"paradox-reader-cs/zakazky.db", "Litvík"},        // 1252
      {"rparadox/TypSammlung.DB", "Fünfter Datensatz"},  // 1252
      {"paradoxreader-java/MEMBRE.DB", "Adhérent"},      // 437
  };
  for (const Case& c : cases) {
    std::ifstream in(root / c.file, std::ios::binary);
    ASSERT_TRUE(in) << c.file;
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), 0x6Cu);
    int cp = static_cast<unsigned char>(file[0x6A]) | static_cast<unsigned char>(file[0x6B]) << 8;
    Result<std::string> stored = fromUtf8(c.text, cp);
    ASSERT_TRUE(stored.ok()) << c.file << ": " << stored.status().toString();
    EXPECT_NE(file.find(*stored), std::string::npos) << c.text << " not in " << c.file;
    EXPECT_EQ(toUtf8(*stored, cp), c.text);
  }
}

}  // namespace
}  // namespace pdx::detail
