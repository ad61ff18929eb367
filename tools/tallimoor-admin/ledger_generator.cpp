#include <algorithm>
#include <cmath>

#include "ledger_generator_internal.h"

namespace admin {
namespace gen {

Cents taxOn(Cents amount, double ratePercent) {
  // The rate in thousandths of a percent keeps 9.975 % exact.
  const int64_t milli = std::llround(ratePercent * 1000.0);
  const int64_t scaled = amount * milli;
  return (scaled >= 0 ? scaled + 50'000 : scaled - 50'000) / 100'000;
}

void putDistribution(Row& row, const std::vector<Distribution>& lines, int count) {
  for (int n = 1; n <= count; ++n) {
    const Distribution d = n <= static_cast<int>(lines.size()) ? lines[static_cast<size_t>(n - 1)] : Distribution{};
    row.emplace_back("Account" + std::to_string(n), integer(d.account));
    row.emplace_back("Debit" + std::to_string(n), cents(d.debit));
    row.emplace_back("Credit" + std::to_string(n), cents(d.credit));
  }
}

void JournalBook::add(int journal, const std::string& reference, pdx::Date date, const std::string& memo,
                      const std::vector<Distribution>& lines, pdx::Timestamp stamp) {
  Entry& e = entries_[{journal, reference, date.days}];
  if (e.lines.empty()) {
    e.memo = memo;
    e.stamp = stamp;
  }
  for (const Distribution& d : lines) {
    // A line keeps its amount on one side, as keyed.
    e.debit += d.debit;
    e.credit += d.credit;
    e.lines.emplace_back(d, accountName(d.account, language_));
  }
}

pdx::Status JournalBook::write(LedgerSink& sink, int period) const {
  for (const auto& [key, e] : entries_) {
    const auto& [journal, reference, days] = key;
    const pdx::Date date{days};
    PDX_RETURN_IF_ERROR(sink.add("tjlh", {{"Tjlh_period", integer(period)},
                                          {"Tjlh_journal", integer(journal)},
                                          {"Tjlh_reference", text(reference)},
                                          {"Tjlh_date", admin::date(date)},
                                          {"Tjlh_tot_debit", cents(e.debit)},
                                          {"Tjlh_tot_credit", cents(e.credit)},
                                          {"Tjlh_memo", text(e.memo)},
                                          {"Tjlh_user", text("ADMIN")},
                                          {"Tjlh_stamp", pdx::Value::timestamp(e.stamp)}}));
    for (const auto& [line, description] : e.lines)
      PDX_RETURN_IF_ERROR(sink.add("tjld", {{"Tjld_period", integer(period)},
                                            {"Tjld_journal", integer(journal)},
                                            {"Tjld_reference", text(reference)},
                                            {"Tjld_date", admin::date(date)},
                                            {"Tjld_account", integer(line.account)},
                                            {"Tjld_debit", cents(line.debit)},
                                            {"Tjld_credit", cents(line.credit)},
                                            {"Tjld_description", text(truncateText(description, 60))}}));
  }
  return pdx::Status::Ok();
}

std::string accountName(int account, int language) {
  for (const StarterAccount& a : starterChart())
    if (a.number == account) return language == data::kFrench ? a.french : a.english;
  return {};
}

// "DN-0000012": the reference of a note or adjustment, unique in a company.
std::string noteReference(Context& ctx, data::TransactionType type, bool french) {
  const char* prefix = type == data::TransactionType::kDebitNote   ? (french ? "ND" : "DN")
                       : type == data::TransactionType::kCreditNote ? (french ? "NC" : "CN")
                                                              : "AJ";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%s-%07lld", prefix, static_cast<long long>(ctx.nextNote++ % 10'000'000));
  return buf;
}

bool Context::inCurrentMonth(pdx::Date d) const {
  int y1 = 0, m1 = 0, d1 = 0, y2 = 0, m2 = 0, d2 = 0;
  d.toYmd(y1, m1, d1);
  profile.today.toYmd(y2, m2, d2);
  return y1 == y2 && m1 == m2;
}

bool Context::inCurrentYear(pdx::Date d) const {
  int y1 = 0, m1 = 0, d1 = 0, y2 = 0, m2 = 0, d2 = 0;
  d.toYmd(y1, m1, d1);
  profile.today.toYmd(y2, m2, d2);
  return y1 == y2;
}

pdx::Timestamp Context::stampOn(pdx::Date d) {
  const int32_t ms = static_cast<int32_t>(random.between(8 * 3600, 17 * 3600)) * 1000;
  return pdx::Timestamp::from(d, pdx::Time{ms});
}

std::vector<int64_t> Context::documentAges(int count, int64_t forcedAge) {
  std::vector<int64_t> ages;
  for (int i = 0; i < count; ++i) ages.push_back(random.between(1, 729));
  if (forcedAge > 0 && !ages.empty()) ages.back() = forcedAge;
  std::sort(ages.rbegin(), ages.rend());
  return ages;
}

bool Context::partyFrench() { return random.chance(profile.frenchPercent); }

namespace {

void addProduct(Context& ctx, const char* line, const char* item, const char* fr, const char* en, const char* unit,
                Cents price, int account, bool service = false) {
  Product p{line, item, fr, en, unit, price, price * ctx.random.between(45, 70) / 100, account, service};
  ctx.products.push_back(std::move(p));
}

void makeProducts(Context& ctx) {
  if (ctx.profile.region == Region::kQuebec) {
    addProduct(ctx, "EBE", "ARM-CUIS-ERA", "Armoire de cuisine en érable", "Maple kitchen cabinet", "UN", 84500, 4000);
    addProduct(ctx, "EBE", "ARM-SDB-CHE", "Meuble-lavabo en chêne", "Oak vanity", "UN", 61200, 4000);
    addProduct(ctx, "EBE", "COMPTOIR-NOY", "Comptoir en noyer massif", "Solid walnut countertop", "PI", 18900, 4000);
    addProduct(ctx, "EBE", "BIBLIO-MERI", "Bibliothèque en merisier", "Yellow birch bookcase", "UN", 129000, 4000);
    addProduct(ctx, "EBE", "TABLE-FRENE", "Table de salle à manger en frêne", "Ash dining table", "UN", 245000, 4000);
    addProduct(ctx, "EBE", "PORTE-PIN", "Porte intérieure en pin", "Pine interior door", "UN", 38500, 4000);
    addProduct(ctx, "QUI", "POIGNEE-LAI", "Poignée en laiton", "Brass handle", "UN", 1450, 4020);
    addProduct(ctx, "QUI", "CHARN-INV", "Charnière invisible", "Concealed hinge", "UN", 895, 4020);
    addProduct(ctx, "QUI", "GLISS-TIR", "Glissière de tiroir à fermeture douce", "Soft-close drawer slide", "PR", 3275, 4020);
    addProduct(ctx, "FIN", "VERNIS-MAT", "Vernis mat, 4 litres", "Matte varnish, 4 litres", "GAL", 7990, 4020);
    addProduct(ctx, "SER", "INSTALL", "Installation sur place", "On-site installation", "HR", 8500, 4010, true);
    addProduct(ctx, "SER", "DESSIN", "Plans et dessin d'atelier", "Shop drawings", "HR", 9500, 4010, true);
    addProduct(ctx, "SER", "LIVRAISON", "Livraison et manutention", "Delivery and handling", "UN", 12500, 4010, true);
  } else {
    addProduct(ctx, "ROP", "DOCKLINE-12", "Amarre tressée 12 mm", "Braided dock line 12 mm", "M", 425, 4000);
    addProduct(ctx, "ROP", "ANCHOR-RODE", "Câblot d'ancre 30 m", "Anchor rode 30 m", "UN", 18900, 4000);
    addProduct(ctx, "SAF", "PFD-ADULT", "Veste de flottaison adulte", "Adult life jacket", "UN", 8995, 4000);
    addProduct(ctx, "SAF", "FLARE-KIT", "Trousse de fusées de détresse", "Distress flare kit", "UN", 11450, 4000);
    addProduct(ctx, "SAF", "EPIRB-406", "Radiobalise de détresse 406 MHz", "406 MHz EPIRB", "UN", 64900, 4000);
    addProduct(ctx, "ELE", "VHF-RADIO", "Radio VHF fixe", "Fixed-mount VHF radio", "UN", 38900, 4000);
    addProduct(ctx, "ELE", "BILGE-PUMP", "Pompe de cale automatique", "Automatic bilge pump", "UN", 15975, 4000);
    addProduct(ctx, "HDW", "CLEAT-SS", "Taquet en inox 20 cm", "Stainless cleat 20 cm", "UN", 2850, 4020);
    addProduct(ctx, "HDW", "SHACKLE-10", "Manille galvanisée 10 mm", "Galvanized shackle 10 mm", "UN", 675, 4020);
    addProduct(ctx, "HDW", "ZINC-ANODE", "Anode de zinc", "Zinc anode", "UN", 2395, 4020);
    addProduct(ctx, "SRV", "RIGGING", "Travaux de gréement", "Rigging work", "HR", 9500, 4010, true);
    addProduct(ctx, "SRV", "HAULOUT", "Sortie de l'eau et remisage", "Haul-out and storage", "UN", 45000, 4010, true);
  }
}

const char* kQuebecReps[][2] = {{"JT", "Julie Tremblay"}, {"ML", "Marc Lavoie"}, {"SB", "Sophie Bergeron"}, {"RC", "Robert Campbell"}};
const char* kMarineReps[][2] = {{"HM", "Heather MacLeod"}, {"IC", "Ian Chisholm"}, {"NZ", "Neil Zinck"}, {"GD", "Geneviève Doucette"}};

pdx::Status writeSalesReps(Context& ctx) {
  const auto& reps = ctx.profile.region == Region::kQuebec ? kQuebecReps : kMarineReps;
  for (const auto& rep : reps) {
    const double rate = 2.5 + static_cast<double>(ctx.salesReps.size()) / 2;
    ctx.salesReps.emplace_back(rep[0], rate);
    PDX_RETURN_IF_ERROR(ctx.sink.add("slsm", {{"Slsm_code", text(rep[0])},
                                              {"Slsm_nom", text(rep[1])},
                                              {"Slsm_taux1", pdx::Value::number(rate)}}));
  }
  return pdx::Status::Ok();
}

pdx::Status writeProducts(Context& ctx) {
  for (const Product& p : ctx.products)
    PDX_RETURN_IF_ERROR(ctx.sink.add("ivprod", {{"Ivprod_line_code", text(p.lineCode)},
                                                {"Ivprod_item_code", text(p.itemCode)},
                                                {"Ivprod_desc_1", text(p.french)},
                                                {"Ivprod_desc_2", text(p.english)},
                                                {"Ivprod_um", text(p.unit)},
                                                {"Ivprod_price1", pdx::Value::number(static_cast<double>(p.price) / 100)}}));
  return pdx::Status::Ok();
}

pdx::Status writeEmployees(Context& ctx) {
  static const char* kFrenchJobs[] = {"Ébéniste", "Apprentie ébéniste", "Finisseur", "Dessinatrice", "Installateur",
                                      "Commis comptable", "Livreur", "Contremaître"};
  static const char* kEnglishJobs[] = {"Sales clerk", "Rigger", "Shipper", "Bookkeeper", "Marine technician",
                                       "Store manager", "Yard hand", "Buyer"};
  for (int i = 1; i <= ctx.profile.employees; ++i) {
    const bool french = ctx.partyFrench();
    const PersonIdentity e = ctx.identities.person(french);
    const bool hourly = ctx.random.chance(60);
    const pdx::Date born = ctx.daysAgo(ctx.random.between(20 * 365, 60 * 365));
    const pdx::Date started = ctx.daysAgo(ctx.random.between(60, 15 * 365));
    std::string sin = "0";  // numbers starting with 0 are never issued
    for (int d = 0; d < 8; ++d) sin += static_cast<char>('0' + ctx.random.between(0, 9));
    char code[16];
    std::snprintf(code, sizeof code, "E%03d", i);
    Row row{{"Emp_Code", text(code)},
            {"Emp_Name", text(e.name)},
            {"Emp_Adr1", text(e.address1)},
            {"Emp_City", text(e.city)},
            {"Emp_province", text(e.province)},
            {"Emp_prov_code", integer(0)},
            {"Emp_Postal_code", text(e.postalCode)},
            {"Emp_Telephone", text(e.telephone)},
            {"Emp_Occupation", text(ctx.profile.region == Region::kQuebec ? kFrenchJobs[(i - 1) % 8] : kEnglishJobs[(i - 1) % 8])},
            {"Emp_SIN", text(sin)},
            {"Emp_Birth_Date", date(born)},
            {"Emp_Start_Date", date(started)},
            {"Emp_Dept", integer(1 + (i - 1) % 3)},
            {"Emp_Active", logical(true)},
            {"Emp_Fixed_Calc", logical(false)},
            {"Emp_Hourly", logical(hourly)},
            {"Emp_pay_periods", integer(26)},
            {"Emp_Hours", pdx::Value::number(hourly ? 40 : 37.5)},
            {"Emp_Hourly_Rate", pdx::Value::number(hourly ? static_cast<double>(ctx.random.between(1900, 3400)) / 100 : 0)},
            {"Emp_Vacation_Rate", pdx::Value::number(4)},
            {"Emp_Gross", cents(hourly ? 0 : ctx.random.between(180000, 320000))},
            {"Emp_#_children", integer(ctx.random.between(0, 3))},
            {"Emp_sex", logical(ctx.random.chance(50))},
            {"Emp_current_position", text(ctx.profile.region == Region::kQuebec ? kFrenchJobs[(i - 1) % 8] : kEnglishJobs[(i - 1) % 8])},
            {"Emp_no_pay", integer(0)}};
    PDX_RETURN_IF_ERROR(ctx.sink.add("emp", row));
  }
  return pdx::Status::Ok();
}

pdx::Status writeTrackers(Context& ctx) {
  if (!ctx.profile.trackerDatabases) return pdx::Status::Ok();
  const bool fr = ctx.french();
  PDX_RETURN_IF_ERROR(ctx.sink.add("trkdb", {{"Trkdb_account", integer(1)},
                                             {"Trkdb_name", text(fr ? "Garanties des meubles" : "Warranty claims")},
                                             {"Trkdb_type", integer(1)}}));
  return ctx.sink.add("trkdb", {{"Trkdb_account", integer(2)},
                                {"Trkdb_name", text(fr ? "Service après-vente" : "After-sales service")},
                                {"Trkdb_type", integer(1)}});
}

}  // namespace

pdx::Status generateReferenceTables(Context& ctx) {
  makeProducts(ctx);
  PDX_RETURN_IF_ERROR(writeProducts(ctx));
  PDX_RETURN_IF_ERROR(writeSalesReps(ctx));
  PDX_RETURN_IF_ERROR(writeEmployees(ctx));
  return writeTrackers(ctx);
}

}  // namespace gen

pdx::Status generateLedger(const LedgerProfile& profile, LedgerSink& sink, LedgerCounts& counts) {
  gen::Context ctx(profile, sink, counts);
  PDX_RETURN_IF_ERROR(gen::generateReferenceTables(ctx));
  PDX_RETURN_IF_ERROR(gen::generatePayables(ctx));
  PDX_RETURN_IF_ERROR(gen::generateReceivables(ctx));
  int year = 0, month = 0, day = 0;
  profile.today.toYmd(year, month, day);
  PDX_RETURN_IF_ERROR(ctx.journal.write(sink, month));
  counts.nextCheque = ctx.nextCheque;
  return pdx::Status::Ok();
}

}  // namespace admin
