#include "data/user_security.h"

namespace data {

int securityBit(int menu, int group, int item) {
  // "Modulo" as the menu code reduces them: the low 7 / 7 / 8 bits, which
  // keeps a negative number inside the range too.
  return (menu & 0x7F) * kBitsPerMenu + (group & 0x7F) * kBitsPerGroup + (item & 0xFF);
}

std::string noSecurity() { return std::string(kSecurityBytes, '\0'); }
std::string fullSecurity() { return std::string(kSecurityBytes, '\xFF'); }

bool allowSecurityBit(std::string& bits, int bit) {
  if (bit < 0 || static_cast<size_t>(bit / 8) >= bits.size()) return false;
  bits[static_cast<size_t>(bit / 8)] = static_cast<char>(static_cast<unsigned char>(bits[static_cast<size_t>(bit / 8)]) |
                                                         (1u << (bit % 8)));
  return true;
}

void allowSecurityMenu(std::string& bits, int menu) {
  const int first = securityBit(menu, 0, 0);
  for (int b = first; b < first + kBitsPerMenu; ++b) allowSecurityBit(bits, b);
}

bool testSecurityBit(const std::string& bits, int bit) {
  if (bit < 0 || static_cast<size_t>(bit / 8) >= bits.size()) return false;
  return (static_cast<unsigned char>(bits[static_cast<size_t>(bit / 8)]) >> (bit % 8)) & 1u;
}

}  // namespace data
