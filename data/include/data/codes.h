// Codes and rules of the ledger that several windows share: transaction
// types, the signs of amounts, payment terms, currencies and their journals,
// the display of account types and where a company's tables lie.
//
// All functions are pure and may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pdx/value.h"

namespace data {

// ---------------------------------------------------------------- transaction types

// The one-character type of an open item (Car_type, Cap_type), of a source
// entry (Trx_type) and of a billing document (Fahdr_doc).
enum class TransactionType : char {
  kInvoice = '1',     // receivables: sale; payables: purchase (supplier invoice)
  kPayment = '2',     // receivables: cash receipt; payables: disbursement (cheque)
  kAdjustment = '3',
  kDebitNote = '4',
  kCreditNote = '5',
};

// The order in which the windows test the codes; a type's position in it is
// its line in a window's type-name list (0 invoice ... 4 payment).
inline constexpr std::array<TransactionType, 5> kTransactionTypeOrder = {
    TransactionType::kInvoice, TransactionType::kDebitNote, TransactionType::kCreditNote,
    TransactionType::kAdjustment, TransactionType::kPayment};

// The stored one-character code.
std::string transactionTypeCode(TransactionType type);
// The type of a stored code: exactly one of "1" to "5", otherwise nullopt.
std::optional<TransactionType> transactionTypeFromCode(std::string_view code);
// The line of the type-name list for a stored code (0 to 4), or -1 for any
// other text.
int typeNameLine(std::string_view code);

// ---------------------------------------------------------------- signs

// Car_amount, Cap_amount, Cli_current_bal and Sup_current_bal are signed
// balances of the party's account: what the client owes the company, what the
// company owes the supplier. A running balance is the plain sum of the signed
// amounts. Source entries and journal lines keep debits and credits in
// separate non-negative columns instead.

// The sign a type's amount takes in the balance: +1 for invoices and debit
// notes, -1 for credit notes and payments, 0 for adjustments (either sign, as
// keyed).
int balanceSign(TransactionType type);
// True when a signed open-item amount agrees with its type's sign (zero agrees
// with every type).
bool amountFitsType(TransactionType type, double amount);
// The open-item amount from the control-account line of an entry, in fixed
// point (ten-thousandths). Payables: credit - debit of the A/P line (a purchase
// credits the A/P account). Receivables: debit - credit of the A/R line.
int64_t payablesAmountFromControlLine(int64_t debit, int64_t credit);
int64_t receivablesAmountFromControlLine(int64_t debit, int64_t credit);

// ---------------------------------------------------------------- terms

// Sup_du_days / Cli_du_days: below 900, a number of days after the document
// date; 900 or more, day (terms - 900) of the month after the document's.
inline constexpr int kTermsDayOfNextMonth = 900;

// Terms "net `days` days" (0 to 899).
int32_t termsInDays(int days);
// Terms "on day `day` of the next month" (1 to 31).
int32_t termsOnDayOfNextMonth(int day);

// The due date of a document of date `base` under `terms`.
// - Day counts: base + terms days (a negative count gives a date before the
//   base).
// - Day of next month: the day is clamped into the following month, so day 0
//   (terms 900) gives its 1st and a day the month lacks (terms 930 after
//   January, or 932 and more) gives its last day. The base day plays no part;
//   after December the year advances.
// nullopt only when the result would fall outside the calendar (before the
// year 1 or after the year 9999).
std::optional<pdx::Date> dueDate(pdx::Date base, int64_t terms);

// ---------------------------------------------------------------- currencies

// Sup_currency / Cli_currency: 0 the home currency, 1 to 4 foreign currency n.
inline constexpr int kHomeCurrency = 0;
inline constexpr int kForeignCurrencyCount = 4;
bool isValidCurrency(int64_t currency);
// The journal a payables posting goes to: 3 for the home currency, 31 + n for
// foreign currency n (32 to 35). nullopt for any other number.
std::optional<int> payablesJournal(int64_t currency);
inline constexpr int kHomePayablesJournal = 3;
// The ctrl field holding the currency's A/P control account: "Ctrl_ap_accnt"
// for the home currency, "Ctrl_ap_curr<n+1>" for foreign currency n.
std::optional<std::string> apControlAccountField(int64_t currency);
// The ctrl fields naming foreign currency n (1 to 4): "Ctrl_curr<n>_name",
// "..._rate", "..._sign". nullopt for any other number.
std::optional<std::string> currencyNameField(int64_t currency);
std::optional<std::string> currencyRateField(int64_t currency);
std::optional<std::string> currencySignField(int64_t currency);

// ---------------------------------------------------------------- account types

// Language numbers (`Language` of the session, `User_language`, `LangKey`).
inline constexpr int kEnglish = 1;
inline constexpr int kFrench = 2;

enum class AccountType { kAsset, kLiability, kCapital, kRevenue, kExpense };

// The word stored in Glm_type for a type: "Asset", "Liability", "Capital",
// "Revenue", "Expense", or under French "Actif", "Passif", "Capital",
// "Revenu", "Dépense" (UTF-8).
std::string accountTypeWord(AccountType type, int language);
// The type of a stored Glm_type, in either language, by its first letter
// (any case): A asset, L or P liability, C capital, R revenue, E or D expense.
std::optional<AccountType> accountTypeOf(std::string_view stored);
// What the accounts list shows for a stored Glm_type. Under French (language
// 2) a first letter A, L, C, R or E becomes the French word; under any other
// language A, P, C, R or D becomes the English word. Any other first letter,
// and an empty type, show the stored text as it is.
std::string accountTypeDisplay(std::string_view stored, int language);

// ---------------------------------------------------------------- places

// The directory of a company: the data root immediately followed by the
// company number in decimal ("/srv/Tallimoor/data" and 1 give
// "/srv/Tallimoor/data1"). Separators ending the data root ("/" or "\") are
// dropped first, so that "/srv/Tallimoor/data/" names the same company
// directory, a sibling of the data root rather than a folder inside it; a root
// made of separators alone keeps one ("/" gives "/1").
std::string companyDirectory(std::string_view dataRoot, int64_t companyNumber);

}  // namespace data
