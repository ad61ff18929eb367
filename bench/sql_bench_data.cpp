#include "sql_bench_data.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <tuple>

#include "pdx/value.h"

namespace sqlbench {
namespace {

constexpr uint64_t kSeed = 0x5e1e'c7be'1c40'0001ull;

enum Stream : uint64_t { kQueries = 1, kSupplierItems = 0x1000'0000 };

int32_t firstDay() {
  static const int32_t day = pdx::Date::fromYmd(2021, 1, 1)->days;
  return day;
}

std::string format(const char* fmt, long long n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, n);
  return buf;
}

template <size_t N>
const char* pick(const char* const (&list)[N], uint64_t h) {
  return list[h % N];
}

// Supplier codes: a stem naming the supplier and a number, as bookkeepers make
// them up; every stem with every number is a different code.
const char* const kStems[] = {"BELLCA", "HYDROQ", "PETROC", "BUREAU", "TRANSP", "GAZMET", "PAPETR", "IMPRIM",
                              "LOCATI", "ASSUR",  "TELUS",  "VIDEOT", "QUINC",  "ELECTR", "PLOMB",  "NETTOY",
                              "COURRI", "SECUR",  "ENTRET", "FOURNI", "MATERI", "INFORM", "LOGIC",  "CONSUL",
                              "AVOCAT", "COMPTA", "BANQUE", "CAISSE", "GARAGE", "PNEUS",  "ESSENC", "RESTAU",
                              "TRAITE", "HOTEL",  "VOYAGE", "FORMAT", "PUBLIC", "ENSEIG", "EMBALL", "ENTREP"};

const char* const kUsers[] = {"MARIE", "JPLANTE", "SOPHIE", "ADMIN", "LUCT", "NGAGNON", "AMORIN", "DCOTE"};

const char* const kMemoPhrases[] = {
    "Escompte de 2 % si payé en 10 jours",
    "Livraison partielle, le reste suit",
    "Prix révisé après l'appel du représentant",
    "Facture reçue en double, une seule saisie",
    "Payment on account, balance next month",
    "Crédit pour marchandise retournée (boîtes endommagées)",
    "Voir le bon de commande signé par Hélène",
    "Freight charged separately",
    "Taxes TPS et TVQ incluses",
    "Entente de paiement: trois versements égaux",
    "Chèque posté le vendredi",
    "Reçu à l'entrepôt de Trois-Rivières",
};

// Client names: businesses named after a person, a trade or a coined word.
// Some coined words hold "abc" (Fabcor, Labcon), some hold it with a capital
// (Abcor, ABC), which a case-sensitive LIKE '%abc%' must pass over.
const char* const kTrades[] = {"Boulangerie", "Garage",    "Dépanneur",  "Quincaillerie", "Pharmacie", "Salon",
                               "Atelier",     "Clinique",  "Boucherie",  "Librairie",     "Fleuriste", "Cabinet",
                               "Transport",   "Plomberie", "Restaurant", "Épicerie"};
const char* const kSurnames[] = {"Tremblay", "Gagnon", "Roy",      "Côté",    "Bouchard", "Gauthier", "Morin",
                                 "Lavoie",   "Fortin", "Gagné",    "Ouellet", "Pelletier", "Bélanger", "Lévesque",
                                 "Bergeron", "Leblanc", "Paquette", "Girard", "Simard",   "Boucher",  "Caron",
                                 "Beaulieu", "Cloutier", "Dubé",   "Poirier", "Fournier", "Lapointe", "Leclerc",
                                 "Lefebvre", "Poulin", "Thibault", "St-Pierre", "Nadeau",  "Martin",  "Smith",
                                 "MacDonald", "Brown", "Wilson",   "O'Neil",  "Abcarian"};
const char* const kFirstNames[] = {"Marie", "Jean", "Sophie", "Luc",    "Nathalie", "Pierre", "Chantal", "André",
                                   "Julie", "Marc", "Isabelle", "Denis", "Hélène",  "Michel", "Karine",  "François",
                                   "Sarah", "John", "Émilie",  "Robert"};
const char* const kHeads[] = {"Fab", "Lab", "Tab", "Cab", "Ver", "Mon", "Bel", "Nor", "Sol", "Dor", "Mar", "Gal"};
const char* const kTails[] = {"cor", "con", "tex", "vic", "dis", "ric", "mat", "tek", "ol", "ex"};
const char* const kSuffixes[] = {"inc.", "ltée", "et fils", "enr.", "Ltd", "& Associés", "Canada", "Québec"};
const char* const kStreets[] = {"rue Saint-Denis",  "boul. René-Lévesque", "rue Principale", "ch. de la Côte",
                                "av. du Parc",      "rue Notre-Dame",      "boul. Laurier",  "rue King Ouest",
                                "rang Saint-Joseph", "rue de l'Église"};

struct City {
  const char* name;
  const char* province;
  const char* postal;  // first letter of its postal codes
  int area;            // telephone area code
};
const City kCities[] = {{"Montréal", "QC", "H", 514},       {"Québec", "QC", "G", 418},  {"Laval", "QC", "H", 450},
                        {"Gatineau", "QC", "J", 819},       {"Sherbrooke", "QC", "J", 819},
                        {"Trois-Rivières", "QC", "G", 819}, {"Ottawa", "ON", "K", 613},  {"Toronto", "ON", "M", 416},
                        {"Moncton", "NB", "E", 506},        {"Saint-Jean-sur-Richelieu", "QC", "J", 450}};

std::string memoFor(uint64_t h) {
  // About a third of the items carry a note, of one to four phrases.
  if (h % 3 != 0) return {};
  std::string memo = pick(kMemoPhrases, h >> 8);
  const uint64_t more = (h >> 16) % 4;
  for (uint64_t i = 0; i < more; ++i) {
    const std::string phrase = pick(kMemoPhrases, h >> (20 + 8 * i));
    if (memo.size() + 2 + phrase.size() > 190) break;  // in bytes of UTF-8, so surely within 200 in the code page
    memo += ". " + phrase;
  }
  return memo;
}

}  // namespace

uint64_t mix(uint64_t x) {  // the splitmix64 finalizer
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

Random::Random(uint64_t stream) : state_(mix(kSeed ^ (stream * 0x9e3779b97f4a7c15ull))) {}

uint64_t Random::next() {
  state_ += 0x9e3779b97f4a7c15ull;
  return mix(state_);
}

void Checksum::real(double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  fold(2);
  fold(bits);
}

void Checksum::text(std::string_view utf8) {
  fold(3);
  fold(utf8.size());
  size_t i = 0;
  for (; i + 8 <= utf8.size(); i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, utf8.data() + i, 8);
    fold(word);
  }
  uint64_t rest = 0;
  std::memcpy(&rest, utf8.data() + i, utf8.size() - i);
  fold(rest);
}

void CapRow::addTo(Checksum& sum) const {
  sum.text(supplier);
  sum.text(invoice);
  sum.text(ref);
  sum.integer(date);
  sum.text(type);
  sum.integer(seq);
  if (dueDate) sum.integer(*dueDate);
  else sum.null();
  sum.real(amount());
  if (memo.empty()) sum.null();
  else sum.text(memo);
  sum.text(user);
  sum.real(stampMs);
  sum.endRow();
}

CapShape CapShape::forRows(int64_t rows) {
  CapShape s;
  if (rows < kItemsPerSupplier) {
    s.suppliers = 1;
    s.itemsPerSupplier = std::max<int64_t>(1, rows);
  } else {
    s.suppliers = std::min(kMaxSuppliers, rows / kItemsPerSupplier);
  }
  return s;
}

std::vector<std::string> supplierCodes(int64_t suppliers) {
  constexpr int64_t kStemCount = static_cast<int64_t>(std::size(kStems));
  std::vector<std::string> codes;
  codes.reserve(static_cast<size_t>(suppliers));
  for (int64_t s = 0; s < suppliers; ++s)
    codes.push_back(kStems[s % kStemCount] + format("%03lld", static_cast<long long>(s / kStemCount)));
  std::sort(codes.begin(), codes.end());
  return codes;
}

std::vector<CapRow> supplierItems(const CapShape& shape, int64_t index, const std::string& code) {
  Random r(kSupplierItems + static_cast<uint64_t>(index));
  // Each supplier numbers its invoices its own way, always at a fixed width.
  static const char* const kInvoiceFormats[] = {"%07lld", "INV-%06lld", "F%06lld"};
  const char* invoiceFormat = kInvoiceFormats[r.below(3)];
  long long invoiceNo = 1000 + static_cast<long long>(r.below(90'000));
  long long cheque = 100'000 + static_cast<long long>(r.below(800'000));
  long long order = 10'000 + static_cast<long long>(r.below(80'000));
  long long credit = 100 + static_cast<long long>(r.below(9'000));
  int32_t day = firstDay() + static_cast<int32_t>(r.below(60));

  std::vector<CapRow> rows;
  rows.reserve(static_cast<size_t>(shape.itemsPerSupplier));
  auto add = [&](const std::string& invoice, std::string ref, int32_t date, const char* type, int64_t cents) {
    const uint64_t h = r.next();
    CapRow row;
    row.supplier = code;
    row.invoice = invoice;
    row.ref = std::move(ref);
    row.date = date;
    row.type = type;
    if (*type == 'F') row.dueDate = date + 30;
    row.cents = cents;
    row.memo = memoFor(h);
    row.user = pick(kUsers, h >> 40);
    row.stampMs = (static_cast<double>(date) + static_cast<double>(h >> 44 & 3)) * 86'400'000.0 +
                  static_cast<double>((h >> 46) % 86'400) * 1000.0;
    rows.push_back(std::move(row));
  };
  while (static_cast<int64_t>(rows.size()) < shape.itemsPerSupplier) {
    invoiceNo += 1 + static_cast<long long>(r.below(40));
    day += static_cast<int32_t>(r.below(4));
    const std::string invoice = format(invoiceFormat, invoiceNo);
    const int64_t billed = 1000 + static_cast<int64_t>(r.below(2'000'000));
    add(invoice, format("BC%06lld", ++order), day, "F", billed);
    // Then up to three payments or credit notes against it.
    int64_t owing = billed;
    for (uint64_t n = r.below(4); n > 0 && static_cast<int64_t>(rows.size()) < shape.itemsPerSupplier; --n) {
      const int32_t when = day + 5 + static_cast<int32_t>(r.below(60));
      const int64_t part = owing > 1 ? 1 + static_cast<int64_t>(r.below(static_cast<uint64_t>(owing))) : owing;
      owing -= part;
      if (r.below(5) == 0) add(invoice, format("NC%06lld", ++credit), when, "C", -part);
      else add(invoice, format("CHQ%06lld", ++cheque), when, "P", -part);
    }
  }
  std::sort(rows.begin(), rows.end(), [](const CapRow& a, const CapRow& b) {
    return std::tie(a.invoice, a.ref, a.date, a.type) < std::tie(b.invoice, b.ref, b.date, b.type);
  });
  const int64_t firstSeq = 1 + index * shape.itemsPerSupplier;
  for (size_t i = 0; i < rows.size(); ++i) rows[i].seq = firstSeq + static_cast<int64_t>(i);
  return rows;
}

std::vector<uint32_t> querySuppliers(const CapShape& shape, int64_t queries) {
  Random r(kQueries);
  std::vector<uint32_t> out(static_cast<size_t>(queries));
  for (auto& s : out) s = static_cast<uint32_t>(r.below(static_cast<uint64_t>(shape.suppliers)));
  return out;
}

void CliRow::addTo(Checksum& sum) const {
  for (const std::string* s : {&code, &name, &address, &city, &province, &postal, &phone, &contact, &language})
    s->empty() ? sum.null() : sum.text(*s);
  sum.real(static_cast<double>(creditCents) / 100.0);
  sum.real(static_cast<double>(balanceCents) / 100.0);
  sum.integer(since);
  sum.endRow();
}

CliRow clientAt(int64_t index) {
  const uint64_t h = mix(kSeed ^ 0xc11e'0000'0000'0000ull ^ static_cast<uint64_t>(index));
  const uint64_t g = mix(h);
  CliRow c;
  c.code = format("CL%08lld", static_cast<long long>(index * 10 + static_cast<int64_t>(h % 10)));
  switch (h >> 4 & 3) {
    case 0: c.name = std::string(pick(kTrades, h >> 8)) + " " + pick(kSurnames, h >> 16); break;
    case 1: c.name = std::string(pick(kSurnames, h >> 8)) + " " + pick(kSuffixes, h >> 16); break;
    case 2:
      c.name = std::string(pick(kHeads, h >> 8)) + pick(kTails, h >> 16) + " " + pick(kSuffixes, h >> 24);
      break;
    default:
      c.name = std::string(pick(kFirstNames, h >> 8)) + " " + pick(kSurnames, h >> 16);
      if (h >> 24 & 1) c.name += std::string(" (") + pick(kTrades, h >> 28) + ")";
      break;
  }
  if ((h >> 34) % 50 == 0) c.name = "ABC " + c.name;  // the initials some put first: no match with case
  const City& city = kCities[g % std::size(kCities)];
  c.address = format("%lld ", static_cast<long long>(1 + (g >> 8) % 9999)) + pick(kStreets, g >> 24);
  c.city = city.name;
  c.province = city.province;
  c.postal = std::string(city.postal) + format("%lld", static_cast<long long>((g >> 32) % 10)) + "X " +
             format("%lld", static_cast<long long>((g >> 36) % 10)) + "Y" + format("%lld", static_cast<long long>((g >> 40) % 10));
  c.phone = format("(%lld) ", city.area) + format("555-%04lld", static_cast<long long>((g >> 44) % 10'000));
  // A quarter of the clients have no contact on file.
  if ((g >> 58) % 4 != 0)
    c.contact = std::string(pick(kFirstNames, g >> 50)) + " " + pick(kSurnames, g >> 54);
  c.language = (h >> 40) % 3 == 0 ? "E" : "F";
  c.creditCents = static_cast<int64_t>((h >> 42) % 50) * 100'000;
  c.balanceCents = static_cast<int64_t>((g >> 20) % 2'000'000) - 200'000;
  c.since = firstDay() - 3650 + static_cast<int32_t>((h >> 48) % 4000);
  return c;
}

bool nameMatches(const std::string& name) { return name.find(kNeedle) != std::string::npos; }

}  // namespace sqlbench
