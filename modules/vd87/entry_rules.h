// The rules of the purchases window without the window: the fresh entry,
// due dates, the supplier, invoice, reference, date and account exits, the
// running totals and the direct/cash purchase box.
//
// The window calls one operation per event (a field exit, a click) after
// copying what the user keyed into the document, then shows the document
// again. Messages and focus moves go through EntryPrompts. Database errors
// are thrown as db::DatabaseError, as everywhere in the windows.
//
// Totals are kept incrementally, cell exit by cell exit, in fixed point:
// total := total - the cell's amount on entry + its amount on exit.
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
  // The amount a debit or credit cell held when it got the focus.
  db::Money valueOnEntry;

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
  // Leaving the supplier code.
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

  // ---- running totals
  void amountEnter(int n, bool debit);
  void debitExit(int n);
  void creditExit(int n);

  // ---- direct/cash purchase box
  void directCashClicked(bool checked);

  // ---- the duplicate test
  // True when supplier `supplier` has an open purchase (type "1") with
  // exactly invoice number `invoice`. Every open item of that supplier with
  // that number is examined.
  bool purchaseOnFile(const std::string& supplier, const std::string& invoice);

 private:
  // Currency slot (0..4) of the supplier the main cursor stands on.
  int currentSupplierCurrency() const;
  // Lines 1 to 11 as a fresh entry proposes them.
  void defaultLines(int currency);

  Tvd87_dm& dm_;
  EntryDocument& doc_;
  EntryPrompts& prompts_;
};

}  // namespace vd87
