// Input as messages show it: escaped, and cut with its length said.
#include "pdx/echo.h"

#include <gtest/gtest.h>

namespace pdx {
namespace {

TEST(Echo, ControlCharactersAndForeignBytesComeOutEscaped) {
  EXPECT_EQ(echo("plain text, accents: é ü ç"), "plain text, accents: é ü ç");
  EXPECT_EQ(echo("a\tb\nc\rd"), "a\\tb\\nc\\rd");
  EXPECT_EQ(echo("\x1b[2J\x07"), "\\x1B[2J\\x07");
  EXPECT_EQ(echo(std::string("nul\0here", 8)), "nul\\x00here");
  EXPECT_EQ(echo("del\x7f"), "del\\x7F");
  EXPECT_EQ(echo("\xff\xfe latin-1 \xe9"), "\\xFF\\xFE latin-1 \\xE9");  // not UTF-8
  EXPECT_EQ(echo("\xc0\xaf"), "\\xC0\\xAF");                            // an overlong '/'
  EXPECT_EQ(echo("\xc2\x9b" "31m"), "\\u009B31m");                      // C1 control sequence introducer
  EXPECT_EQ(echo("abc\u202Egpj.exe"), "abc\\u202Egpj.exe");             // right-to-left override
  EXPECT_EQ(echo("a\\b"), "a\\b");
  EXPECT_EQ(quote("x\ny"), "\"x\\ny\"");
}

TEST(Echo, LongInputIsCutWithItsLengthSaid) {
  const std::string huge(50u << 20, 'n');
  const std::string shown = quote(huge);
  EXPECT_LT(shown.size(), 200u);
  EXPECT_EQ(shown, "\"" + std::string(kEchoCharacters, 'n') + "\u2026\" (52428800 bytes)");
  EXPECT_EQ(echo("éééé", 2), "éé\u2026 (8 bytes)");  // characters, never half of one
  EXPECT_EQ(echo(std::string(80, 'x')), std::string(80, 'x'));
  const std::string escapes(1000, '\x1b');
  EXPECT_EQ(echo(escapes, 3), "\\x1B\\x1B\\x1B\u2026 (1000 bytes)");
}

}  // namespace
}  // namespace pdx
