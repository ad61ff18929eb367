// The rows a new data root and a new company start with: session slots,
// languages, payment terms, the catalogue's default entry, a control record,
// period names and a chart of accounts.
#pragma once

#include <string>
#include <vector>

#include "data/codes.h"
#include "rows.h"

namespace admin {

// ---- data root

// Session slots 1 to n, and the scratch row of each.
std::vector<Row> sessionRows(int count);
std::vector<Row> virmemRows(int count);
// English (1, "en") and French (2, "fr").
std::vector<Row> languageRows();
// Payment terms, described in both languages.
std::vector<Row> paymentTermRows();
// The Tools menu's one default entry, "Maintenance of Tools menu".
Row defaultCatalogueRow();

struct NewUser {
  std::string password;  // stored upper case
  std::string code;
  std::string name;
  int language = 0;  // 0 = the machine's language
  int company = 1;
  int detail = 0;
  std::string security;  // the 200-byte bit set
};
Row userRow(const NewUser& user);
// A password as `user` stores it: upper case by the rule the login box
// applies too (data/user_password.h).
std::string storedPassword(const std::string& typed);

// ---- company

// Accounts of the starter chart that the control record and generated
// entries use.
namespace accounts {
inline constexpr int kBank = 1000;
inline constexpr int kPettyCash = 1010;
inline constexpr int kUsBank = 1020;
inline constexpr int kReceivable = 1100;
inline constexpr int kGstPaid = 1310;
inline constexpr int kQstPaid = 1320;
inline constexpr int kPayable = 2100;  // home currency; foreign currency n: 2100 + 10 n
inline constexpr int kGstCollected = 2310;
inline constexpr int kQstCollected = 2320;
inline constexpr int kRetainedEarnings = 3900;
inline constexpr int kSales = 4000;
inline constexpr int kSalesReturns = 4100;
inline constexpr int kOtherRevenue = 4200;
inline constexpr int kPurchases = 5000;
inline constexpr int kFreight = 5030;
inline constexpr int kBankCharges = 5700;
inline constexpr int kDiscounts = 5710;
// The A/P control account of a currency (0 home, 1 to 4 foreign).
inline constexpr int payableFor(int currency) { return kPayable + 10 * currency; }
}  // namespace accounts

struct TaxRates {
  double federal = 5.0;    // GST
  double provincial1 = 9.975;  // QST or PST
  double provincial2 = 0.0;    // HST
};

// One account of the starter chart.
struct StarterAccount {
  int number;
  const char* english;
  const char* french;
  data::AccountType type;
};
const std::vector<StarterAccount>& starterChart();
// The chart's rows, descriptions and type words in `language`.
std::vector<Row> chartRows(int language);

// Period names 1 to 13 (the months, then the year-end period).
std::vector<Row> periodRows(int language);

struct ControlSetup {
  int language = data::kEnglish;
  pdx::Date today;  // sets the current periods (its month) and payroll year
  TaxRates taxes;
};
// The control record: 12 periods, the current ones at today's month, aging
// columns of 30/60/90/120 days and over, the four foreign currencies, and
// accounts that all exist in the starter chart.
Row controlRow(const ControlSetup& setup);

// Names of the ctrl fields that hold an account number.
std::vector<std::string> controlAccountFields();

}  // namespace admin
