// The rules of the purchases window without the window: the fresh entry,
// due dates, the supplier, invoice, reference, date and account exits, the
// running totals and the direct/cash purchase box.
//
// The window calls one operation per event (a field exit, a click) after
// copying what the user keyed into the document, then shows the document
// again. Messages and focus moves go through EntryPrompts. Database errors
// are thrown as db::DatabaseError, as everywhere in the windows.
//
// The totals are not kept by the rules: they are the fixed-point sums of the
// lines (EntryDocument), so they agree with the lines however the user moves
// between cells.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "db/money.h"
#include "entry_data_module.h"
#include "entry_document.h"
#include "entry_prompts.h"
#include "pdx/value.h"

namespace vd87 {

// The local date and time now.
pdx::Timestamp systemNow();

// Upper case of an invoice number: ASCII letters and the accented letters of
// Latin-1 (é → É); other characters as they are.
std::string upperCased(const std::string& utf8);

class EntryRules {
 public:
  EntryRules(Tvd87_dm& dm, EntryDocument& document, EntryPrompts& prompts);

  Tvd87_dm& dataModule() { return dm_; }
  EntryDocument& document() { return doc_; }
  EntryPrompts& prompts() { return prompts_; }

  // ---- window state
  // The period written into journal rows: Ctrl_ap_period at start, then what
  // "Change period" chose.
  int16_t transactionPeriod = 0;
  // The default date of an entry: today at start, then each posted date.
  pdx::Date entryDate;
  // The line whose control last had the focus (the target of the lookup).
  int currentLine = 1;

  // The clock (tests set a fixed one).
  std::function<pdx::Timestamp()> clock = systemNow;
  // Selects the display currency of amounts: -1 none, 0 home, 1..4 foreign.
  std::function<void(int)> selectCurrency;

  pdx::Date today() const { return clock().date(); }
  std::string dateText(pdx::Date date) const;
  std::optional<pdx::Date> parseDateText(const std::string& text) const;

  // ---- start and fresh entry
  // With the tables open: the transaction period from ctrl, the entry date
  // today, a fresh entry.
  void start();
  // A fresh entry (see the window's reset_screen).
  void resetScreen();
  // Line n takes `account` (none: 0), its description from glm (empty when
  // the account is not there) and zero amounts. Totals are not touched.
  void setLineFromAccount(int n, std::optional<int64_t> account);

  // A/P control account of currency slot 0..4 (0 home, 1..4 foreign).
  int64_t apAccount(int slot) const;
  // Whether `account` is one of the five A/P accounts (0 never is).
  bool isApAccount(int64_t account) const;

  // ---- due dates
  // From today and the terms of the supplier the main cursor stands on.
  void calcDueDate();
  // From the typed transaction date and the terms of the second cursor's
  // supplier (the caller positions it).
  void calcDueDateChange();

  // ---- field rules; each returns false when the focus was sent back.
  // Leaving the supplier code. The code is found as stored or, failing that,
  // without regard to case when exactly one supplier matches it that way.
  void supplierExit();
  // The supplier lookup chose `code` ("" = nothing).
  void supplierChosen(const std::string& code);
  // Entering a field other than the supplier: needs a supplier or a
  // direct/cash purchase, else the focus goes back to the supplier code.
  bool guardAllows();
  // `toTag13`: the focus is going to Exit, Cancel, the lookup or the supplier.
  bool invoiceExit(bool toTag13);
  bool referenceExit(bool toTag13);
  bool transDateExit();
  bool dueDateExit();
  bool accountExit(int n);
  // The account lookup chose `account` (0 = nothing) for the current line.
  void accountChosen(int64_t account);
  void descriptionEnter(int n) { enterLine(n); }
  void enterLine(int n);

  // ---- amounts
  // Entering the debit or credit cell of line n: it becomes the current line.
  void amountEnter(int n, bool debit);
  // Leaving a cell: on a Debit the A/P line takes no debit, on a Credit no
  // credit (message, the cell back to 0); otherwise an amount on one side
  // clears the other side of the line.
  void debitExit(int n);
  void creditExit(int n);

  // ---- direct/cash purchase box
  void directCashClicked(bool checked);

  // ---- the duplicate test
  // True when supplier `supplier` has an open purchase (type "1") with
  // exactly invoice number `invoice`. Every open item of that supplier with
  // that number is examined.
  bool purchaseOnFile(const std::string& supplier, const std::string& invoice);
  // The invoice test of the document's type, for the document's supplier
  // code as shown (empty without one): a purchase must not be on file, a
  // debit or a credit must be; an adjustment is not tested. The number of the
  // message that refuses it, or nullopt when it passes. The invoice exit and
  // the posting both ask this, so that what one accepts the other does.
  std::optional<int> invoiceRefusal();

  // Whether anything was keyed since the fresh entry: a supplier, the
  // direct/cash box, an invoice number, a reference, a memo or an amount.
  bool documentInProgress() const;

 private:
  // Stands both supplier cursors on the supplier keyed as `code` (see
  // supplierExit); false when there is none.
  bool findSupplier(const std::string& code);
  // Currency slot (0..4) of the supplier the main cursor stands on.
  int currentSupplierCurrency() const;
  // Lines 1 to 11 as a fresh entry proposes them.
  void defaultLines(int currency);

  Tvd87_dm& dm_;
  EntryDocument& doc_;
  EntryPrompts& prompts_;
};

}  // namespace vd87
