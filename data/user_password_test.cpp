#include "data/user_password.h"

#include <gtest/gtest.h>

namespace data {
namespace {

// One rule for the login box and the administrator's tool: a password with
// accented letters must come out the same whoever upper-cases it.
TEST(UserPasswordTest, AccentedLettersAreUpperCasedLikeTheOthers) {
  EXPECT_EQ(storedPassword("facturé"), "FACTURÉ");
  EXPECT_EQ(storedPassword("çàéèêëîïôœùûüÿ"), "ÇÀÉÈÊËÎÏÔŒÙÛÜŸ");
  EXPECT_EQ(storedPassword("šž"), "ŠŽ");
  EXPECT_EQ(storedPassword("FACTURÉ"), "FACTURÉ");  // already stored form is kept
}

// Letters whose capital the tables cannot hold, or that would change the
// length (ß → SS), are kept: the key must stay the text that was typed.
TEST(UserPasswordTest, KeepsWhatHasNoSingleCapitalInTheCodePage) {
  EXPECT_EQ(storedPassword("straße"), "STRAßE");
  EXPECT_EQ(storedPassword("µ÷9#-_ "), "µ÷9#-_ ");
  EXPECT_EQ(passwordCapital(U'ß'), U'ß');
  EXPECT_EQ(passwordCapital(U'÷'), U'÷');
}

TEST(UserPasswordTest, InvalidUtf8IsKeptByteForByte) {
  const std::string broken = std::string("ab\xC3") + "c\xFF";
  EXPECT_EQ(storedPassword(broken), std::string("AB\xC3") + "C\xFF");
}

}  // namespace
}  // namespace data
