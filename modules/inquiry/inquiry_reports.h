// The reports of the inquiry's drill-down, each printing the document behind
// one transaction of the statement, one page per document, from the data
// module's datasets (which the window opens on the transaction first):
//
//   EntryReport    the source entry of a sale, purchase, note or adjustment
//                  (Tkq61_qrfrm "Sales and adjustments", Tvd52_qrfrm "Purchases")
//   CashReport     a receipt or a cheque with the invoices it paid
//                  (Tkq61_qrfrm2 "Cash receipts", Tvd52_qrfrm2 "Cash disbursements")
//   InvoiceReport  an invoice with its lines, taxes, costs and margins,
//                  current or archived (Thm35_qrfrm, Thm35_qrfrm2; receivables)
//
// The reports only read. Distribution lines with neither a debit nor a
// credit print as blank space; the value controls of line n carry as their
// tag the column of that line's debit in the dataset (the credit lies one
// run of lines further), which is how the detail band finds them.
#pragma once

#include <memory>
#include <optional>

#include "db/money.h"
#include "inquiry_dm.h"
#include "report/report.h"

namespace inquiry {

class EntryReport : public report::Report {
 public:
  EntryReport(InquiryDataModule& dm, int language);
  // QRBand2BeforePrint.
  void detailBeforePrint();
  static constexpr int kLines = 11;

 private:
  InquiryDataModule& dm_;
  report::Memo* comments_ = nullptr;
};

class CashReport : public report::Report {
 public:
  CashReport(InquiryDataModule& dm, int language);
  // QRBand2BeforePrint.
  void detailBeforePrint();
  static constexpr int kLines = 20;

 private:
  InquiryDataModule& dm_;
  report::Memo* comments_ = nullptr;
};

class InvoiceReport : public report::Report {
 public:
  // `archived`: the archive's tables (fahdra, fadeta) and its form.
  InvoiceReport(InquiryDataModule& dm, bool archived, int language);

  // The footer's margin and profit texts for sales and cost: "##0.00" and
  // "0.00" for a zero denominator in the current form, the shortest number
  // and "0" in the archive form.
  static QString marginText(db::Money sales, db::Money cost, bool archived);
  static QString profitText(db::Money sales, db::Money cost, bool archived);

 private:
  void beforeReport();                      // QuickRep1BeforePrint
  void lineBeforePrint();                   // QRSubDetail1BeforePrint
  void lineAfterPrint();                    // QRSubDetail1AfterPrint
  void footerBeforePrint(bool& print);      // Group_footerBeforePrint
  std::string f(const char* suffix) const;  // "Fadet_" / "Fadeta_" + suffix
  std::string h(const char* suffix) const;  // "Fahdr_" / "Fahdra_" + suffix

  InquiryDataModule& dm_;
  bool archived_;
  int language_;
  db::Table& header_;
  db::Table& lines_;
  std::vector<report::Printable*> lineValues_;  // hidden on a comment line
  report::Expr* tax1Sum_ = nullptr;
  report::Expr* tax2Sum_ = nullptr;
  report::Expr* salesSum_ = nullptr;
  report::Expr* costSum_ = nullptr;
  report::Label* tax1Heading_ = nullptr;
  report::Label* tax2Heading_ = nullptr;
  report::Label* margin_ = nullptr;
  report::Label* profit_ = nullptr;
  db::Money sales_, cost_;  // the current form's accumulators
};

// The forms by the system's names.
class Tkq61_qrfrm : public EntryReport {
 public:
  using EntryReport::EntryReport;
};
class Tkq61_qrfrm2 : public CashReport {
 public:
  using CashReport::CashReport;
};
class Tvd52_qrfrm : public EntryReport {
 public:
  using EntryReport::EntryReport;
};
class Tvd52_qrfrm2 : public CashReport {
 public:
  using CashReport::CashReport;
};
class Thm35_qrfrm : public InvoiceReport {
 public:
  Thm35_qrfrm(InquiryDataModule& dm, int language) : InvoiceReport(dm, false, language) {}
};
class Thm35_qrfrm2 : public InvoiceReport {
 public:
  Thm35_qrfrm2(InquiryDataModule& dm, int language) : InvoiceReport(dm, true, language) {}
};

std::unique_ptr<report::Report> makeEntryReport(InquiryDataModule& dm, int language);
std::unique_ptr<report::Report> makeCashReport(InquiryDataModule& dm, int language);
std::unique_ptr<report::Report> makeInvoiceReport(InquiryDataModule& dm, bool archived, int language);

}  // namespace inquiry
