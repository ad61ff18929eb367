// The bit set of menu options a user may run (User_security, 200 bytes).
//
// An option is named by its menu number m (the Tag of its application menu),
// its group g (Edit 0, Transactions 1, Reports 2, Procedures 3) and its
// position i in the group. Its bit is b = m * 105 + g * 15 + i, with m and g
// taken modulo 128 and i modulo 256; bit b is bit (b mod 8), counted from the
// least significant, of byte (b div 8). A set bit means allowed. Each menu
// owns 105 bits; menus 0 to 14 fit in the 1600 bits of the field.
#pragma once

#include <string>

namespace data {

inline constexpr int kSecurityBytes = 200;
inline constexpr int kSecurityBits = kSecurityBytes * 8;
inline constexpr int kBitsPerMenu = 105;
inline constexpr int kBitsPerGroup = 15;

// Menu numbers (the Tags of the application menus).
inline constexpr int kMenuGeneralLedger = 0;
inline constexpr int kMenuReceivables = 1;
inline constexpr int kMenuPayables = 2;
inline constexpr int kMenuSystemManager = 3;
inline constexpr int kMenuInvoicing = 4;
inline constexpr int kMenuPayroll = 5;
inline constexpr int kMenuTracker = 6;
inline constexpr int kMenuJobCost = 9;

// The bit number of an option. It can lie beyond the field (menu numbers
// above 14): testSecurityBit then reads it as clear.
int securityBit(int menu, int group, int item);

// A field value with no option allowed / every option allowed.
std::string noSecurity();
std::string fullSecurity();
// Sets bit `bit`; false (and nothing changed) when it lies outside `bits`.
bool allowSecurityBit(std::string& bits, int bit);
// Sets every bit a menu owns.
void allowSecurityMenu(std::string& bits, int menu);
// True when bit `bit` is set; false when it lies outside `bits`.
bool testSecurityBit(const std::string& bits, int bit);

}  // namespace data
