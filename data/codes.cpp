#include "data/codes.h"

#include <algorithm>

namespace data {

// ---------------------------------------------------------------- transaction types

std::string transactionTypeCode(TransactionType type) { return std::string(1, static_cast<char>(type)); }

std::optional<TransactionType> transactionTypeFromCode(std::string_view code) {
  if (code.size() != 1) return std::nullopt;
  for (TransactionType t : kTransactionTypeOrder)
    if (static_cast<char>(t) == code[0]) return t;
  return std::nullopt;
}

int typeNameLine(std::string_view code) {
  const auto type = transactionTypeFromCode(code);
  if (!type) return -1;
  for (size_t i = 0; i < kTransactionTypeOrder.size(); ++i)
    if (kTransactionTypeOrder[i] == *type) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------- signs

int balanceSign(TransactionType type) {
  switch (type) {
    case TransactionType::kInvoice:
    case TransactionType::kDebitNote: return 1;
    case TransactionType::kCreditNote:
    case TransactionType::kPayment: return -1;
    case TransactionType::kAdjustment: return 0;
  }
  return 0;
}

bool amountFitsType(TransactionType type, double amount) {
  const int sign = balanceSign(type);
  if (sign > 0) return amount >= 0;
  if (sign < 0) return amount <= 0;
  return true;
}

int64_t payablesAmountFromControlLine(int64_t debit, int64_t credit) { return credit - debit; }
int64_t receivablesAmountFromControlLine(int64_t debit, int64_t credit) { return debit - credit; }

// ---------------------------------------------------------------- terms

int32_t termsInDays(int days) { return std::clamp(days, 0, kTermsDayOfNextMonth - 1); }
int32_t termsOnDayOfNextMonth(int day) { return kTermsDayOfNextMonth + std::clamp(day, 1, 31); }

std::optional<pdx::Date> dueDate(pdx::Date base, int64_t terms) {
  static const pdx::Date kFirstDay = *pdx::Date::fromYmd(1, 1, 1);
  static const pdx::Date kLastDay = *pdx::Date::fromYmd(9999, 12, 31);
  if (terms < kTermsDayOfNextMonth) {
    const int64_t days = static_cast<int64_t>(base.days) + terms;
    if (days < kFirstDay.days || days > kLastDay.days) return std::nullopt;
    return pdx::Date{static_cast<int32_t>(days)};
  }
  int year = 0, month = 0, day = 0;
  base.toYmd(year, month, day);
  if (++month > 12) {
    month = 1;
    ++year;
  }
  // Clamp the day into the month: from the wanted day down to the 28th, the
  // first that exists is the month's last day when the wanted one is not.
  int wanted = static_cast<int>(std::clamp<int64_t>(terms - kTermsDayOfNextMonth, 1, 31));
  for (; wanted >= 28; --wanted)
    if (auto d = pdx::Date::fromYmd(year, month, wanted)) return d;
  return pdx::Date::fromYmd(year, month, wanted);
}

// ---------------------------------------------------------------- currencies

bool isValidCurrency(int64_t currency) { return currency >= kHomeCurrency && currency <= kForeignCurrencyCount; }

std::optional<int> payablesJournal(int64_t currency) {
  if (!isValidCurrency(currency)) return std::nullopt;
  if (currency == kHomeCurrency) return kHomePayablesJournal;
  return 31 + static_cast<int>(currency);
}

std::optional<std::string> apControlAccountField(int64_t currency) {
  if (!isValidCurrency(currency)) return std::nullopt;
  if (currency == kHomeCurrency) return std::string("Ctrl_ap_accnt");
  return "Ctrl_ap_curr" + std::to_string(currency + 1);
}

namespace {
std::optional<std::string> currencyField(int64_t currency, std::string_view what) {
  if (currency < 1 || currency > kForeignCurrencyCount) return std::nullopt;
  return "Ctrl_curr" + std::to_string(currency) + "_" + std::string(what);
}
}  // namespace

std::optional<std::string> currencyNameField(int64_t currency) { return currencyField(currency, "name"); }
std::optional<std::string> currencyRateField(int64_t currency) { return currencyField(currency, "rate"); }
std::optional<std::string> currencySignField(int64_t currency) { return currencyField(currency, "sign"); }

// ---------------------------------------------------------------- account types

std::string accountTypeWord(AccountType type, int language) {
  const bool french = language == kFrench;
  switch (type) {
    case AccountType::kAsset: return french ? "Actif" : "Asset";
    case AccountType::kLiability: return french ? "Passif" : "Liability";
    case AccountType::kCapital: return "Capital";
    case AccountType::kRevenue: return french ? "Revenu" : "Revenue";
    case AccountType::kExpense: return french ? "D\xC3\xA9pense" : "Expense";
  }
  return {};
}

namespace {
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::optional<AccountType> accountTypeOf(std::string_view stored) {
  if (stored.empty()) return std::nullopt;
  switch (upperAscii(stored[0])) {
    case 'A': return AccountType::kAsset;
    case 'L':
    case 'P': return AccountType::kLiability;
    case 'C': return AccountType::kCapital;
    case 'R': return AccountType::kRevenue;
    case 'E':
    case 'D': return AccountType::kExpense;
    default: return std::nullopt;
  }
}

std::string accountTypeDisplay(std::string_view stored, int language) {
  if (stored.empty()) return {};
  // Each language turns only the letters of the other language's words (and
  // the shared ones) into its own word: P and D are already French, L and E
  // already English, so they show as stored.
  const char letter = upperAscii(stored[0]);
  std::optional<AccountType> type;
  if (language == kFrench) {
    if (letter == 'A' || letter == 'L' || letter == 'C' || letter == 'R' || letter == 'E') type = accountTypeOf(stored);
  } else {
    if (letter == 'A' || letter == 'P' || letter == 'C' || letter == 'R' || letter == 'D') type = accountTypeOf(stored);
  }
  return type ? accountTypeWord(*type, language) : std::string(stored);
}

// ---------------------------------------------------------------- places

std::string companyDirectory(std::string_view dataRoot, int64_t companyNumber) {
  std::string root(dataRoot);
  const bool hadSeparator = !root.empty() && (root.back() == '/' || root.back() == '\\');
  while (!root.empty() && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  if (root.empty() && hadSeparator) root = std::string(1, dataRoot.back());
  return root + std::to_string(companyNumber);
}

}  // namespace data
