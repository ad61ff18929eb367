// The document being keyed in the purchases window: its header fields and its
// eleven distribution lines.
//
// Texts are held as the window's controls hold them (the dates as typed in
// the short date format, the account as the text of its edit). The debit and
// credit of each line and the two totals are the money cells of the
// session's scratch row (see Tvd87_dm), so the window's money fields show
// them directly; reading one gives the amount rounded to 1/10,000.
//
// The totals are never set: they are the fixed-point sums of the eleven
// lines, written into their cells whenever a line's amount changes through
// the document (refreshTotals() after any other change, such as a window cell
// that stored what the user keyed).
//
// Line numbers run from 1 to 11. Every accessor ignores any other number:
// reads give 0 or "", writes do nothing.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "db/data_set.h"
#include "db/money.h"

namespace vd87 {

// The transaction types, in the order of the type list of the window.
enum class EntryType { kPurchase = 0, kDebit = 1, kCredit = 2, kAdjustment = 3 };

// The stored type code: "1" purchase, "4" debit, "5" credit, "3" adjustment.
const char* typeCode(EntryType type);

class EntryDocument {
 public:
  static constexpr int kLines = 11;

  // `cells` is the scratch row; it must stay in edit or insert state while
  // amounts are written.
  explicit EntryDocument(db::DataSet& cells) : cells_(&cells) {}

  // ---- header
  std::string supplierCode;
  bool supplierEnabled = true;  // the supplier code and its lookup button
  bool supplierShown = false;   // the five supplier labels
  bool directCash = false;      // "Direct/cash purchase"
  EntryType type = EntryType::kPurchase;
  std::string invoiceNumber;
  std::string transDate;  // short date format
  std::string dueDate;
  std::string reference;  // debit/credit reference
  std::string memo;

  // ---- lines
  // The account of line n: the integer value of its text, 0 when the text is
  // empty or no number; a line read as 0 shows "0" from then on.
  int64_t account(int n);
  void setAccount(int n, int64_t account);
  // The text as keyed.
  std::string accountText(int n) const;
  void setAccountText(int n, std::string text);
  std::string description(int n) const;
  void setDescription(int n, std::string text);

  db::Money debit(int n) const;
  void setDebit(int n, db::Money amount);
  db::Money credit(int n) const;
  void setCredit(int n, db::Money amount);
  // The totals as their cells show them.
  db::Money totalDebit() const;
  db::Money totalCredit() const;
  // The sums of the lines.
  db::Money sumOfDebits() const;
  db::Money sumOfCredits() const;
  // Writes the sums of the lines into the total cells.
  void refreshTotals();

  // The scratch-row fields behind the cells.
  static const char* debitField(int n);   // "Curr_1" ... ; null outside 1..11
  static const char* creditField(int n);  // "Curr_10" ...
  static constexpr const char* kTotalDebitField = "Curr_19";
  static constexpr const char* kTotalCreditField = "Curr_20";

  // Whether n names a line.
  static bool isLine(int n) { return n >= 1 && n <= kLines; }

 private:
  db::Money cell(const char* field) const;
  void setCell(const char* field, db::Money amount);

  db::DataSet* cells_;
  std::array<std::string, kLines> accounts_;
  std::array<std::string, kLines> descriptions_;
};

}  // namespace vd87
