#include "demo_names.h"

#include <cctype>
#include <vector>

namespace admin {

namespace {

using Words = std::vector<std::string>;

const Words kFrenchSurnames = {"Tremblay", "Gagnon",  "Roy",      "Côté",     "Bouchard", "Gauthier", "Morin",
                               "Lavoie",   "Fortin",  "Gagné",    "Ouellet",  "Pelletier", "Bélanger", "Lévesque",
                               "Bergeron", "Leblanc", "Paquette", "Girard",   "Simard",   "Boucher",  "Caron",
                               "Beaulieu", "Cloutier", "Dubé",    "Poirier",  "Fournier", "Lapointe", "Gingras"};
const Words kEnglishSurnames = {"MacDonald", "Fraser",   "Campbell", "Murphy",  "Sullivan", "Chisholm", "MacLeod",
                                "Baker",     "Hunter",   "Cameron",  "Grant",   "Morrison", "Walsh",    "Power",
                                "Langille",  "Zinck",    "Naugler",  "Hiltz",   "Boutilier", "Corkum",  "Publicover",
                                "Stewart",   "Robinson", "Kennedy",  "O'Brien", "Sinclair", "McNeil",   "Doucette"};
const Words kFrenchFirstNames = {"Marie",  "Jean",   "Luc",     "Sophie", "François", "Isabelle", "Pierre",
                                 "Julie",  "Michel", "Nathalie", "André", "Geneviève", "Daniel",  "Chantal",
                                 "Éric",   "Josée",  "Sylvain", "Mélanie", "Yves",    "Hélène"};
const Words kEnglishFirstNames = {"John",  "Mary",   "David",  "Sarah",   "Michael", "Karen", "Robert",
                                  "Linda", "James",  "Heather", "Scott",  "Jennifer", "Ian",  "Shannon",
                                  "Paul",  "Tracey", "Colin",  "Wendy",   "Neil",    "Fiona"};

const Words kFrenchSupplierTrades = {"Quincaillerie", "Scierie",     "Plomberie",     "Électricité",  "Papeterie",
                                     "Transport",     "Imprimerie",  "Distribution",  "Fournitures",  "Peinture",
                                     "Vitrerie",      "Outillage",   "Bois franc",    "Entretien",    "Location"};
const Words kEnglishSupplierTrades = {"Hardware",      "Lumber",         "Paper Supply", "Electric",     "Plumbing Supply",
                                      "Freight",       "Printing",       "Tool Rental",  "Paint & Glass", "Steel",
                                      "Fasteners",     "Office Supply",  "Courier",      "Maintenance",  "Equipment"};
const Words kFrenchSuffixes = {" inc.", " ltée", " & Fils inc.", " enr.", " inc."};
const Words kEnglishSuffixes = {" Ltd.", " Inc.", " Co.", " Limited", " Ltd."};

const Words kQuebecFrenchClientTrades = {"Construction", "Restaurant",  "Boulangerie", "Condos",    "Rénovations",
                                         "Bistro",       "Cabinet",     "Clinique",    "Hôtel",     "Garderie",
                                         "Auberge",      "Boutique",    "Studio",      "Pharmacie", "École de danse"};
const Words kQuebecEnglishClientTrades = {"Builders",  "Design",  "Properties", "Interiors", "Developments",
                                          "Homes",     "Cafe",    "Gallery",    "Dental",    "Realty"};
const Words kMarineEnglishClientTrades = {"Fisheries", "Boatworks", "Marina",    "Yacht Club", "Seafoods",
                                          "Charters",  "Shipyard",  "Lobster Co-op", "Sailing School", "Ferries",
                                          "Outfitters", "Aquaculture", "Towing",  "Boat Rentals", "Diving"};
const Words kMarineFrenchClientTrades = {"Pêcheries", "Chantier naval", "Marina", "Fruits de mer", "Croisières"};

struct City {
  const char* name;
  const char* province;
  const char* fsa;   // first half of the postal code
  const char* area;  // telephone area code
};
const std::vector<City> kQuebecCities = {
    {"Montréal", "QC", "H2X", "514"},       {"Montréal", "QC", "H3B", "514"},  {"Laval", "QC", "H7N", "450"},
    {"Longueuil", "QC", "J4K", "450"},      {"Québec", "QC", "G1R", "418"},    {"Lévis", "QC", "G6V", "418"},
    {"Sherbrooke", "QC", "J1H", "819"},     {"Gatineau", "QC", "J8X", "819"},  {"Trois-Rivières", "QC", "G9A", "819"},
    {"Saint-Hyacinthe", "QC", "J2S", "450"}, {"Drummondville", "QC", "J2B", "819"}, {"Ottawa", "ON", "K1P", "613"},
};
const std::vector<City> kNovaScotiaCities = {
    {"Halifax", "NS", "B3H", "902"},  {"Halifax", "NS", "B3J", "902"},    {"Dartmouth", "NS", "B2Y", "902"},
    {"Truro", "NS", "B2N", "902"},    {"Sydney", "NS", "B1P", "902"},     {"Lunenburg", "NS", "B0J", "902"},
    {"Wolfville", "NS", "B4P", "902"}, {"Yarmouth", "NS", "B5A", "902"},  {"Moncton", "NB", "E1C", "506"},
    {"Charlottetown", "PE", "C1A", "902"},
};
const Words kFrenchStreets = {"rue Saint-Denis",    "boul. Saint-Laurent", "rue Principale", "ch. du Lac",
                              "av. des Pins",       "rue Notre-Dame Ouest", "boul. Industriel", "rue Wellington",
                              "rue des Érables",    "boul. de la Concorde", "rue Sainte-Catherine Est", "rang Saint-Joseph"};
const Words kEnglishStreets = {"Main Street",   "Barrington Street", "Portland Street", "Water Street",
                               "Prince Street", "Spring Garden Road", "Industrial Drive", "Lower Water Street",
                               "Hollis Street", "Windmill Road",     "Commercial Street", "Harbour Road"};

std::string asciiUpper(const std::string& s) {
  // Accented letters of Latin-1 (two bytes in UTF-8) fold to their base letter.
  static const std::string kFrom = "àâäçéèêëîïôöùûüÀÂÄÇÉÈÊËÎÏÔÖÙÛÜ";
  static const std::string kTo = "AAACEEEEIIOOUUUAAACEEEEIIOOUUU";
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (std::isalnum(c)) out += static_cast<char>(std::toupper(c));
      continue;
    }
    if (i + 1 < s.size()) {
      const std::string ch = s.substr(i, 2);
      const size_t at = kFrom.find(ch);
      if (at != std::string::npos) out += kTo[at / 2];
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string IdentityFactory::telephone(const std::string& areaCode) {
  return "(" + areaCode + ") 555-01" + std::to_string(random_.between(10, 99));
}

std::string IdentityFactory::postalCode(const std::string& fsa) {
  const char letters[] = "ABCEGHJKLMNPRSTVWXYZ";
  std::string code = fsa + " ";
  code += static_cast<char>('0' + random_.between(0, 9));
  code += letters[random_.between(0, 19)];
  code += static_cast<char>('0' + random_.between(0, 9));
  return code;
}

std::string IdentityFactory::street(bool french) {
  return std::to_string(random_.between(10, 9899)) + (french ? ", " : " ") +
         random_.pick(french ? kFrenchStreets : kEnglishStreets);
}

std::string IdentityFactory::fullName(bool french) {
  return random_.pick(french ? kFrenchFirstNames : kEnglishFirstNames) + " " +
         random_.pick(french ? kFrenchSurnames : kEnglishSurnames);
}

std::string IdentityFactory::uniqueCode(const std::string& name) {
  std::string stem = asciiUpper(name).substr(0, 6);
  if (stem.empty()) stem = "X";
  for (int n = 1;; ++n) {
    std::string code = stem + (n < 10 ? "0" : "") + std::to_string(n);
    if (codes_.insert(code).second) return code;
  }
}

void IdentityFactory::placeInRegion(PartyIdentity& p) {
  const City& city = random_.pick(home_ == Region::kQuebec ? kQuebecCities : kNovaScotiaCities);
  p.address1 = street(p.french);
  p.city = city.name;
  p.province = city.province;
  p.country = "Canada";
  p.postalCode = postalCode(city.fsa);
  p.telephone = telephone(city.area);
  p.fax = telephone(city.area);
  p.contactTelephone = telephone(city.area);
}

void IdentityFactory::finish(PartyIdentity& p) {
  p.code = uniqueCode(p.name);
  p.contact = fullName(p.french);
  std::string local = p.code;
  for (char& c : local) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  p.email = local + "@example.com";
}

PartyIdentity IdentityFactory::supplier(bool french) {
  PartyIdentity p;
  p.french = french;
  do {
    p.name = french ? random_.pick(kFrenchSupplierTrades) + " " + random_.pick(kFrenchSurnames) +
                          random_.pick(kFrenchSuffixes)
                    : random_.pick(kEnglishSurnames) + " " + random_.pick(kEnglishSupplierTrades) +
                          random_.pick(kEnglishSuffixes);
  } while (!names_.insert(p.name).second);
  placeInRegion(p);
  finish(p);
  return p;
}

PartyIdentity IdentityFactory::foreignSupplier(int currency) {
  struct Abroad {
    const char* name;
    const char* address;
    const char* city;
    const char* province;
    const char* country;
    const char* postal;
    const char* telephone;
    bool french;
  };
  static const Abroad kAbroad[] = {
      {"Lakeshore Tool Works Inc.", "1450 Niagara Street", "Buffalo", "NY", "USA", "14213", "+1 716 555-0142", false},
      {"Outillage du Rhône SARL", "12, quai Perrache", "Lyon", "", "France", "69002", "+33 4 55 50 01 23", true},
      {"Sheffield Edge Tools Ltd", "8 Arundel Gate", "Sheffield", "", "United Kingdom", "S1 2PN", "+44 114 555 0178",
       false},
      {"Maderas del Norte SA de CV", "Av. Constitución 2210", "Monterrey", "NL", "Mexico", "64000", "+52 81 5550 0164",
       false},
  };
  const Abroad& a = kAbroad[(currency - 1) % 4];
  PartyIdentity p;
  p.french = a.french;
  p.name = a.name;
  if (!names_.insert(p.name).second) p.name += " (" + std::to_string(names_.size()) + ")";
  p.address1 = a.address;
  p.city = a.city;
  p.province = a.province;
  p.country = a.country;
  p.postalCode = a.postal;
  p.telephone = a.telephone;
  p.fax = a.telephone;
  p.contactTelephone = a.telephone;
  finish(p);
  return p;
}

PartyIdentity IdentityFactory::client(bool french) {
  PartyIdentity p;
  p.french = french;
  const bool quebec = home_ == Region::kQuebec;
  const Words& trades = quebec ? (french ? kQuebecFrenchClientTrades : kQuebecEnglishClientTrades)
                               : (french ? kMarineFrenchClientTrades : kMarineEnglishClientTrades);
  do {
    p.name = french ? random_.pick(trades) + " " + random_.pick(kFrenchSurnames) + random_.pick(kFrenchSuffixes)
                    : random_.pick(kEnglishSurnames) + " " + random_.pick(trades) + random_.pick(kEnglishSuffixes);
  } while (!names_.insert(p.name).second);
  placeInRegion(p);
  finish(p);
  return p;
}

PartyIdentity IdentityFactory::americanClient() {
  PartyIdentity p;
  do {
    p.name = random_.pick(kEnglishSurnames) + " " +
             random_.pick(home_ == Region::kQuebec ? kQuebecEnglishClientTrades : kMarineEnglishClientTrades) +
             " LLC";
  } while (!names_.insert(p.name).second);
  p.address1 = std::to_string(random_.between(10, 990)) + " Commercial Street";
  p.city = home_ == Region::kQuebec ? "Burlington" : "Portland";
  p.province = home_ == Region::kQuebec ? "VT" : "ME";
  p.country = "USA";
  p.postalCode = home_ == Region::kQuebec ? "05401" : "04101";
  p.telephone = home_ == Region::kQuebec ? "(802) 555-0" + std::to_string(random_.between(100, 199))
                                         : "(207) 555-0" + std::to_string(random_.between(100, 199));
  p.fax = p.telephone;
  p.contactTelephone = p.telephone;
  finish(p);
  return p;
}

PartyIdentity IdentityFactory::numbered(char prefix, int64_t n, bool french) {
  PartyIdentity p;
  p.french = french;
  p.name = french ? random_.pick(kFrenchSupplierTrades) + " " + random_.pick(kFrenchSurnames) + random_.pick(kFrenchSuffixes)
                  : random_.pick(kEnglishSurnames) + " " + random_.pick(kEnglishSupplierTrades) + random_.pick(kEnglishSuffixes);
  placeInRegion(p);
  std::string digits = std::to_string(n);
  p.code = std::string(1, prefix) + std::string(digits.size() < 8 ? 8 - digits.size() : 0, '0') + digits;
  p.contact = fullName(french);
  std::string local = p.code;
  for (char& c : local) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  p.email = local + "@example.com";
  return p;
}

PersonIdentity IdentityFactory::person(bool french) {
  PersonIdentity e;
  e.french = french;
  const std::string first = random_.pick(french ? kFrenchFirstNames : kEnglishFirstNames);
  const std::string last = random_.pick(french ? kFrenchSurnames : kEnglishSurnames);
  e.name = last + ", " + first;
  const City& city = random_.pick(home_ == Region::kQuebec ? kQuebecCities : kNovaScotiaCities);
  e.address1 = street(french);
  e.city = city.name;
  e.province = city.province;
  e.postalCode = postalCode(city.fsa);
  e.telephone = telephone(city.area);
  return e;
}

}  // namespace admin
