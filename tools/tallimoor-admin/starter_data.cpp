#include "starter_data.h"

#include <algorithm>
#include <cctype>

#include "data/table_def.h"
#include "data/user_password.h"
#include "data/user_security.h"

namespace admin {

using data::AccountType;

namespace {
const char* pick(int language, const char* english, const char* french) {
  return language == data::kFrench ? french : english;
}
}  // namespace

// ---------------------------------------------------------------- data root

std::vector<Row> sessionRows(int count) {
  std::vector<Row> rows;
  for (int id = 1; id <= count; ++id) rows.push_back({{"Session_id", integer(id)}, {"Session_lock", logical(false)}});
  return rows;
}

std::vector<Row> virmemRows(int count) {
  std::vector<Row> rows;
  for (int id = 1; id <= count; ++id) {
    Row row{{"Session_id", integer(id)}, {"Session_lock", logical(false)}};
    for (int cell = 1; cell <= 24; ++cell) row.emplace_back("Curr_" + std::to_string(cell), money(0));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<Row> languageRows() {
  return {
      {{"LangKey", integer(data::kEnglish)}, {"LangCode", text("en")}, {"LangName", text("English")}},
      {{"LangKey", integer(data::kFrench)}, {"LangCode", text("fr")}, {"LangName", text("Français")}},
  };
}

std::vector<Row> paymentTermRows() {
  struct Term {
    int code;
    const char* description;
    int days;
  };
  static const Term kTerms[] = {
      {0, "Comptant / Cash on delivery", 0},
      {1, "Net 10 jours / Net 10 days", 10},
      {2, "Net 15 jours / Net 15 days", 15},
      {3, "Net 30 jours / Net 30 days", 30},
      {4, "Net 45 jours / Net 45 days", 45},
      {5, "Net 60 jours / Net 60 days", 60},
      {6, "Net 90 jours / Net 90 days", 90},
  };
  std::vector<Row> rows;
  for (const Term& t : kTerms)
    rows.push_back({{"Arterms_code", integer(t.code)},
                    {"Arterms_desc", text(t.description)},
                    {"Arterms_days", integer(t.days)}});
  return rows;
}

Row defaultCatalogueRow() {
  return {
      {"Application_name", text("Maintenance of Tools menu")},
      {"Application_name_fr", text("Maintenance du menu Outils")},
      {"Application_pgm", text("optmenu")},
      {"Application_about", text("Security like Maintenance of parameters")},
      {"Application_about_fr", text("Sécurité comme Maintenance des paramètres")},
      {"Application_security", text("zk14")},
      {"Application_type", logical(true)},
  };
}

std::string storedPassword(const std::string& typed) { return data::storedPassword(typed); }

Row userRow(const NewUser& user) {
  return {
      {"User_password", text(storedPassword(user.password))},
      {"User_code", text(user.code)},
      {"User_name", text(user.name)},
      {"User_detail", integer(user.detail)},
      {"User_language", integer(user.language)},
      {"User_company", integer(user.company)},
      {"User_security", pdx::Value::bytes(user.security.empty() ? data::noSecurity() : user.security)},
  };
}

// ---------------------------------------------------------------- company

const std::vector<StarterAccount>& starterChart() {
  static const std::vector<StarterAccount> chart = {
      {1000, "Bank", "Encaisse", AccountType::kAsset},
      {1010, "Petty cash", "Petite caisse", AccountType::kAsset},
      {1020, "Bank - US dollars", "Banque - dollars US", AccountType::kAsset},
      {1100, "Accounts receivable", "Comptes clients", AccountType::kAsset},
      {1200, "Inventory", "Stocks", AccountType::kAsset},
      {1300, "Prepaid expenses", "Frais payés d'avance", AccountType::kAsset},
      {1310, "GST/HST receivable", "TPS/TVH à recevoir", AccountType::kAsset},
      {1320, "QST/PST receivable", "TVQ/TVP à recevoir", AccountType::kAsset},
      {1500, "Equipment", "Équipement", AccountType::kAsset},
      {1510, "Accumulated depreciation", "Amortissement cumulé", AccountType::kAsset},
      {2100, "Accounts payable", "Comptes fournisseurs", AccountType::kLiability},
      {2110, "Accounts payable - US dollars", "Fournisseurs - dollars US", AccountType::kLiability},
      {2120, "Accounts payable - euros", "Fournisseurs - euros", AccountType::kLiability},
      {2130, "Accounts payable - pounds", "Fournisseurs - livres sterling", AccountType::kLiability},
      {2140, "Accounts payable - pesos", "Fournisseurs - pesos", AccountType::kLiability},
      {2310, "GST/HST payable", "TPS/TVH à payer", AccountType::kLiability},
      {2320, "QST/PST payable", "TVQ/TVP à payer", AccountType::kLiability},
      {2400, "Accrued liabilities", "Frais courus", AccountType::kLiability},
      {2700, "Long-term loan", "Emprunt à long terme", AccountType::kLiability},
      {3100, "Share capital", "Capital-actions", AccountType::kCapital},
      {3900, "Retained earnings", "Bénéfices non répartis", AccountType::kCapital},
      {4000, "Sales", "Ventes", AccountType::kRevenue},
      {4010, "Sales - services", "Ventes - services", AccountType::kRevenue},
      {4020, "Sales - parts", "Ventes - pièces", AccountType::kRevenue},
      {4100, "Sales returns and allowances", "Rendus et rabais sur ventes", AccountType::kRevenue},
      {4200, "Other revenue", "Autres revenus", AccountType::kRevenue},
      {5000, "Purchases", "Achats", AccountType::kExpense},
      {5010, "Purchases - materials", "Achats - matériaux", AccountType::kExpense},
      {5020, "Purchases - parts", "Achats - pièces", AccountType::kExpense},
      {5030, "Freight and delivery", "Transport et livraison", AccountType::kExpense},
      {5100, "Subcontracting", "Sous-traitance", AccountType::kExpense},
      {5200, "Rent", "Loyer", AccountType::kExpense},
      {5210, "Electricity and heating", "Électricité et chauffage", AccountType::kExpense},
      {5220, "Telephone and Internet", "Téléphone et Internet", AccountType::kExpense},
      {5300, "Office supplies", "Fournitures de bureau", AccountType::kExpense},
      {5310, "Advertising", "Publicité", AccountType::kExpense},
      {5400, "Repairs and maintenance", "Entretien et réparations", AccountType::kExpense},
      {5500, "Professional fees", "Honoraires professionnels", AccountType::kExpense},
      {5600, "Insurance", "Assurances", AccountType::kExpense},
      {5700, "Bank charges", "Frais bancaires", AccountType::kExpense},
      {5710, "Discounts and bad debts", "Escomptes et mauvaises créances", AccountType::kExpense},
      {5800, "Salaries", "Salaires", AccountType::kExpense},
      {5900, "Depreciation", "Amortissement", AccountType::kExpense},
  };
  return chart;
}

std::vector<Row> chartRows(int language) {
  std::vector<Row> rows;
  for (const StarterAccount& a : starterChart())
    rows.push_back({{"Glm_account", integer(a.number)},
                    {"Glm_Description", text(pick(language, a.english, a.french))},
                    {"Glm_type", text(data::accountTypeWord(a.type, language))},
                    {"Glm_summarize", text("N")}});
  return rows;
}

std::vector<Row> periodRows(int language) {
  static const char* kEnglish[] = {"January", "February", "March",     "April",   "May",      "June",     "July",
                                   "August",  "September", "October", "November", "December", "Year end"};
  static const char* kFrench[] = {"Janvier", "Février",   "Mars",    "Avril",    "Mai",      "Juin",          "Juillet",
                                  "Août",    "Septembre", "Octobre", "Novembre", "Décembre", "Fin d'exercice"};
  std::vector<Row> rows;
  for (int p = 1; p <= 13; ++p)
    rows.push_back({{"Period_no", integer(p)},
                    {"Period_mth", text(language == data::kFrench ? kFrench[p - 1] : kEnglish[p - 1])}});
  return rows;
}

namespace {
// Fills prefix<first>, prefix<first+1>, ... from a list.
template <typename T, typename F>
void runOf(Row& row, const std::string& prefix, const std::vector<T>& values, F make, int first = 1) {
  int n = first;
  for (const T& v : values) row.emplace_back(prefix + std::to_string(n++), make(v));
}
}  // namespace

Row controlRow(const ControlSetup& setup) {
  const int lang = setup.language;
  int year = 0, month = 0, day = 0;
  setup.today.toYmd(year, month, day);
  auto number = [](int v) { return integer(v); };
  auto words = [](const char* s) { return text(s); };

  Row row{
      {"Ctrl_periods", integer(12)},
      {"Ctrl_gl_period", integer(month)},
      {"Ctrl_ar_period", integer(month)},
      {"Ctrl_ap_period", integer(month)},
      {"Ctrl_fa_period", integer(month)},
      {"Ctrl_eom_gl", logical(false)},
      {"Ctrl_eom_ar", logical(false)},
      {"Ctrl_eom_ap", logical(false)},
      {"Ctrl_eom_fa", logical(false)},
      {"Ctrl_eom_pa", logical(false)},
      // The date format list of the set-up wizard: 1 is dd/mm/yyyy.
      {"Ctrl_date_fmt", integer(1)},
      {"Ctrl_curr1_name", text(pick(lang, "US dollar", "Dollar américain"))},
      {"Ctrl_curr1_rate", pdx::Value::number(1.3650)},
      {"Ctrl_curr1_sign", text("US")},
      {"Ctrl_curr2_name", text("Euro")},
      {"Ctrl_curr2_rate", pdx::Value::number(1.4810)},
      {"Ctrl_curr2_sign", text("€")},
      {"Ctrl_curr3_name", text(pick(lang, "Pound sterling", "Livre sterling"))},
      {"Ctrl_curr3_rate", pdx::Value::number(1.7320)},
      {"Ctrl_curr3_sign", text("£")},
      {"Ctrl_curr4_name", text(pick(lang, "Mexican peso", "Peso mexicain"))},
      {"Ctrl_curr4_rate", pdx::Value::number(0.0755)},
      {"Ctrl_curr4_sign", text("MX")},
      {"Ctrl_ar_histo", logical(true)},
      {"Ctrl_ap_histo", logical(true)},
      {"Ctrl_record_no", integer(1)},
      {"Ctrl_fed_rate", pdx::Value::number(setup.taxes.federal)},
      {"Ctrl_payroll_start_date", date(*pdx::Date::fromYmd(year, 1, 1))},
      {"Ctrl_ar_accnt", integer(accounts::kReceivable)},
      {"Ctrl_Pro_tax_accnt", integer(accounts::kQstCollected)},
      {"Ctrl_fed_tax_accnt", integer(accounts::kGstCollected)},
      {"Ctrl_ar_bal_for", integer(0)},
      {"Ctrl_ar_invoiceno", integer(10001)},
      {"Ctrl_ap_accnt", integer(accounts::payableFor(0))},
      {"Ctrl_fa_invoice", integer(10001)},
      {"Ctrl_fa_order", integer(20001)},
      {"Ctrl_fa_quote", integer(30001)},
      {"Ctrl_fa_backorder", integer(40001)},
      {"Ctrl_general_sales_accnt", integer(accounts::kSales)},
      {"Ctrl_dollars1", text(pick(lang, "Dollars", "dollars"))},
      {"Ctrl_cents1", text(pick(lang, "Cents", "cents"))},
  };
  runOf(row, "Ctrl_pl_name", lang == data::kFrench
                                 ? std::vector<const char*>{"Détail", "Gros", "Distributeur", "Entrepreneur", "Spécial"}
                                 : std::vector<const char*>{"Retail", "Wholesale", "Distributor", "Contractor", "Special"},
        words);
  runOf(row, "Ctrl_pmt_name", lang == data::kFrench
                                  ? std::vector<const char*>{"Comptant", "Chèque", "Visa", "MasterCard", "Interac"}
                                  : std::vector<const char*>{"Cash", "Cheque", "Visa", "MasterCard", "Interac"},
        words);
  runOf(row, "Ctrl_pmt_accnt", std::vector<int>{1010, 1000, 1000, 1000, 1000, 0, 0, 0, 0, 0}, number);
  runOf(row, "Ctrl_ar_days", std::vector<int>{30, 60, 90, 120, 9999}, number);
  runOf(row, "Ctrl_ap_days", std::vector<int>{30, 60, 90, 120, 9999}, number);
  const auto agingNames = lang == data::kFrench
                              ? std::vector<const char*>{"Courant", "31-60 jours", "61-90 jours", "91-120 jours", "Plus de 120"}
                              : std::vector<const char*>{"Current", "31-60 days", "61-90 days", "91-120 days", "Over 120"};
  runOf(row, "Ctrl_ar_dname", agingNames, words);
  runOf(row, "Ctrl_ap_dname", agingNames, words);
  row.emplace_back("Ctrl_pro_rate1", pdx::Value::number(setup.taxes.provincial1));
  row.emplace_back("Ctrl_pro_rate2", pdx::Value::number(setup.taxes.provincial2));
  for (int n = 3; n <= 10; ++n) row.emplace_back("Ctrl_pro_rate" + std::to_string(n), pdx::Value::number(0));
  runOf(row, "Ctrl_sales_accnt", std::vector<int>{4000, 4010, 4020, 4200, 0, 0, 0, 0}, number);
  runOf(row, "Ctrl_cr_accnt", std::vector<int>{1000, 1020, 1010, 5700, 5710, 4200, 0, 0}, number);
  runOf(row, "Ctrl_bank_accnt", std::vector<int>{1000, 1020, 1010, 0, 0}, number);
  runOf(row, "Ctrl_ap_purch_accnt", std::vector<int>{5000, 5010, 5020, 5030, 5100, 5300, 5400, 5500}, number);
  runOf(row, "Ctrl_ap_disb_accnt", std::vector<int>{1000, 1020, 1010, 5700, 0, 0, 0, 0}, number);
  runOf(row, "Ctrl_ap_chqno", std::vector<int>{1001, 5001, 0, 0, 0}, number);
  runOf(row, "Ctrl_ap_curr",
        std::vector<int>{accounts::payableFor(1), accounts::payableFor(2), accounts::payableFor(3), accounts::payableFor(4)}, number, 2);
  return row;
}

std::vector<std::string> controlAccountFields() {
  std::vector<std::string> names;
  for (const auto& f : data::tables::ctrl().fields) {
    const std::string& n = f.name;
    if (f.type == pdx::FieldType::kLong &&
        (n.find("accnt") != std::string::npos || n.rfind("Ctrl_ap_curr", 0) == 0))
      names.push_back(n);
  }
  return names;
}

}  // namespace admin
