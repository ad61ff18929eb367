#include "data/user_security.h"

#include <gtest/gtest.h>

namespace data {
namespace {

TEST(UserSecurity, BitNumbersOfKnownOptions) {
  // Display of clients: receivables, reports, first option.
  EXPECT_EQ(securityBit(kMenuReceivables, 2, 0), 135);
  // Purchases and Display of suppliers.
  EXPECT_EQ(securityBit(kMenuPayables, 1, 0), 225);
  EXPECT_EQ(securityBit(kMenuPayables, 2, 0), 240);
  EXPECT_EQ(securityBit(kMenuPayroll, 0, 14), 539);
  // Job cost owns bits 945 to 1049.
  EXPECT_EQ(securityBit(kMenuJobCost, 0, 0), 945);
  EXPECT_EQ(securityBit(kMenuJobCost, 6, 14), 1049);
  // Reductions: menu and group modulo 128, item modulo 256.
  EXPECT_EQ(securityBit(128 + kMenuPayables, 129, 256), securityBit(kMenuPayables, 1, 0));
}

TEST(UserSecurity, BitsLandInTheDocumentedBytes) {
  std::string bits = noSecurity();
  ASSERT_TRUE(allowSecurityBit(bits, securityBit(kMenuReceivables, 2, 0)));
  EXPECT_EQ(static_cast<unsigned char>(bits[16]), 0x80);
  bits = noSecurity();
  allowSecurityBit(bits, securityBit(kMenuPayables, 1, 0));
  EXPECT_EQ(static_cast<unsigned char>(bits[28]), 0x02);
  bits = noSecurity();
  allowSecurityBit(bits, 0);
  EXPECT_EQ(static_cast<unsigned char>(bits[0]), 0x01);
  for (int b = 1; b < kSecurityBits; ++b) ASSERT_FALSE(testSecurityBit(bits, b)) << b;
}

TEST(UserSecurity, BitsOutsideTheFieldAreClearAndCannotBeSet) {
  std::string bits = fullSecurity();
  EXPECT_TRUE(testSecurityBit(bits, kSecurityBits - 1));
  EXPECT_FALSE(testSecurityBit(bits, kSecurityBits));
  EXPECT_FALSE(testSecurityBit(bits, securityBit(127, 127, 255)));
  EXPECT_FALSE(testSecurityBit(bits, -1));
  std::string none = noSecurity();
  EXPECT_FALSE(allowSecurityBit(none, kSecurityBits));
  EXPECT_EQ(none, noSecurity());
  std::string shortField(3, '\0');
  EXPECT_FALSE(testSecurityBit(shortField, 100));
}

TEST(UserSecurity, AMenuOwnsExactlyItsBits) {
  std::string bits = noSecurity();
  allowSecurityMenu(bits, kMenuPayables);
  for (int b = 0; b < kSecurityBits; ++b) {
    const bool inMenu = b >= 2 * kBitsPerMenu && b < 3 * kBitsPerMenu;
    ASSERT_EQ(testSecurityBit(bits, b), inMenu) << b;
  }
}

}  // namespace
}  // namespace data
