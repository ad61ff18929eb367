// How the entry logic speaks to the user: numbered messages of the window's
// message list and the control that gets the focus.
//
// The window implements EntryPrompts with its message boxes and controls;
// tests implement it with a script. The logic never waits for anything else.
#pragma once

namespace vd87 {

// Lines of the window's message list (IntlStrings1).
namespace msg {
inline constexpr int kInvoiceOnFile = 0;      // "Invoice number already in database."
inline constexpr int kInvoiceNotFound = 1;    // "Invoice number not found."
inline constexpr int kEnterInvoice = 2;       // "Please enter an invoice number."
inline constexpr int kDirectCashAp = 3;       // "This is a direct cash purchase. ..."
inline constexpr int kOutOfBalance = 4;       // "Invoice is out of balance."
inline constexpr int kEnterReference = 5;     // "Please enter a reference."
inline constexpr int kMemoQuestion = 6;       // "Do you want to enter a description ...?"
inline constexpr int kNoSupplier = 7;         // "Supplier does not exist."
inline constexpr int kNoAccount = 8;          // "The account number entered does not exist."
inline constexpr int kUseCredit = 9;          // "Please enter an amount in the credit field."
inline constexpr int kUseDebit = 10;          // "Please enter an amount in the debit field."
inline constexpr int kPeriodCaption = 12;     // "Purchases current period is "
inline constexpr int kTransactionPeriod = 13; // " Transaction period is "
inline constexpr int kSupplierBusy = 15;      // another user holds the supplier: keep waiting?
inline constexpr int kPostingCancelled = 16;  // the posting was cancelled, nothing written
inline constexpr int kPostingFailed = 17;     // the posting failed, nothing written
inline constexpr int kCloseQuestion = 18;     // close and drop the document being keyed?
inline constexpr int kMailFailed = 19;        // the mail program could not be opened
inline constexpr int kNoMailAddress = 20;     // the supplier has no e-mail address
}  // namespace msg

// The controls a rule sends the focus to.
enum class Control {
  kSupplierCode,
  kTransType,
  kInvoiceNum,
  kDebCreRef,
  kTransDate,
  kTransDueDate,
  kTransMemo,
  kAccount,  // of a line
  kDebit,    // of a line
  kCredit,   // of a line
};

enum class MessageStyle {
  kInformation,  // information box with OK
  kPlain,        // simple box without an icon, OK
  kError,        // error box with OK
  kQuestion,     // information box with Yes and No
};

class EntryPrompts {
 public:
  virtual ~EntryPrompts() = default;
  // Shows message `number` of the list; true when answered Yes (questions)
  // or OK.
  virtual bool showMessage(int number, MessageStyle style) = 0;
  // Puts the focus on `control` (of line `line` for the line controls).
  virtual void focus(Control control, int line = 0) = 0;
};

}  // namespace vd87
