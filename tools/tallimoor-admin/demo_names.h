// Invented names, addresses and telephone numbers for the demonstration
// companies' suppliers, clients and employees, in French and in English.
// Telephone numbers use the 555-01xx range, which is never assigned, and
// e-mail addresses the example.com domain.
#pragma once

#include <set>
#include <string>

#include "demo_random.h"

namespace admin {

enum class Region { kQuebec, kNovaScotia };

struct PartyIdentity {
  std::string code;  // up to 10 characters, upper case, unique
  std::string name;
  std::string address1, address2, city, province, country, postalCode;
  std::string telephone, fax, contact, contactTelephone, email;
  bool french = false;
};

struct PersonIdentity {
  std::string name;  // "Tremblay, Marie"
  std::string address1, city, province, postalCode, telephone;
  bool french = false;
};

class IdentityFactory {
 public:
  IdentityFactory(DemoRandom& random, Region home) : random_(random), home_(home) {}

  PartyIdentity supplier(bool french);
  // A supplier abroad, billing in foreign currency n (1 US dollar, 2 euro,
  // 3 pound sterling, 4 Mexican peso).
  PartyIdentity foreignSupplier(int currency);
  PartyIdentity client(bool french);
  // A client in the United States (billed in US dollars).
  PartyIdentity americanClient();
  // A party for large generated ledgers: code prefix + n in 8 digits
  // ("C00000042"); names may repeat.
  PartyIdentity numbered(char prefix, int64_t n, bool french);
  PersonIdentity person(bool french);
  // "Marie Tremblay".
  std::string fullName(bool french);

 private:
  void placeInRegion(PartyIdentity& p);
  std::string uniqueCode(const std::string& name);
  std::string telephone(const std::string& areaCode);
  std::string postalCode(const std::string& fsa);
  std::string street(bool french);
  void finish(PartyIdentity& p);

  DemoRandom& random_;
  Region home_;
  std::set<std::string> codes_;
  std::set<std::string> names_;
};

}  // namespace admin
