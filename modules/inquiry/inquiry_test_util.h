// Books to inquire into, for the inquiry's tests: a data root with company 1
// made by the administrator's tool, and small helpers that put the rows a
// case needs into its tables (parties, open items, history, source entries,
// cash documents, invoices).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin_test_util.h"
#include "inquiry_dm.h"
#include "rows.h"
#include "test_util.h"

namespace inquiry::testing {

using admin::Row;
using admin::testing::Record;

inline pdx::Date ymd(int y, int m, int d) { return *pdx::Date::fromYmd(y, m, d); }
inline db::Money money(const char* text) { return *db::Money::parse(text); }

// One line of a distribution: account, debit, credit.
struct Line {
  int account;
  double debit, credit;
};

// One line of an invoice.
struct InvoiceLine {
  std::string lineCode, itemCode, description;
  double quantity, price, total, cost, tax1, tax2;
};

class InquiryTest : public ::testing::Test {
 protected:
  InquiryTest();
  ~InquiryTest() override;

  // Writes one row into a table of the company (or of `dir`).
  void insert(const std::string& table, const Row& row);
  void insertInto(const std::string& dir, const std::string& table, const Row& row);
  // Changes fields of the control record.
  void setControl(const Row& fields);

  void addClient(const std::string& code, const std::string& name, int currency = 0, const Row& more = {});
  void addSupplier(const std::string& code, const std::string& name, int currency = 0, const Row& more = {});
  // An open item (car / cap) or a history row (carh / caph) of the side.
  void addItem(const InquirySide& side, const std::string& party, const std::string& invoice, const std::string& ref,
               pdx::Date date, const std::string& type, double amount, bool history = false);
  // A source entry (arori / apori).
  void addEntry(const InquirySide& side, const std::string& reference, const std::string& party, pdx::Date date,
                const std::string& type, const std::string& drCrReference, const std::vector<Line>& lines,
                const std::string& comments = {});
  // A receipt or cheque with the invoices it paid (invoice, amount paid).
  void addCash(const InquirySide& side, const std::string& reference, const std::string& party, pdx::Date date,
               const std::vector<Line>& lines, const std::vector<std::pair<std::string, double>>& paid);
  // An invoice of a client, current (fahdr/fadet) or archived (fahdra/fadeta).
  void addInvoice(bool archived, const std::string& invoice, const std::string& client, pdx::Date date,
                  const std::vector<InvoiceLine>& lines, const std::vector<double>& payments = {});

  // Opens a data module as the window's first activation does, on session
  // slot `session`.
  void openDataModule(InquiryDataModule& dm, int session = 1);

  pdx::testing::TempDir tmp_;
  std::string root_;     // the data root
  std::string company_;  // company 1
  pdx::Date today_ = ymd(2024, 3, 15);
};

}  // namespace inquiry::testing
