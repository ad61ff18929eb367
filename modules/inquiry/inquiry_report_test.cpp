// The drill-down's reports rendered to PDF over documents made for the case,
// their pages read back with pdftotext.
#include <gtest/gtest.h>


#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "db/formats.h"
#include "inquiry_reports.h"
#include "inquiry_window_test_util.h"
#include "shared/translate_form.h"

namespace inquiry::testing {
namespace {

using admin::integer;
using admin::text;

class ReportTest : public InquiryTest {
 protected:
  ReportTest() {
    app();
    db::RegionalFormats::current() = db::RegionalFormats();
  }

  // Opens the data module and stands on the open item of `invoice` and `ref`.
  void standOn(InquiryDataModule& dm, const std::string& invoice, const std::string& ref = {}) {
    openDataModule(dm);
    const InquirySide& s = dm.side();
    auto found = dm.Query2.locate(s.item("invoice") + ";" + s.item("ref"),
                                  {pdx::Value::text(invoice), ref.empty() ? pdx::Value() : pdx::Value::text(ref)});
    ASSERT_TRUE(found.ok() && *found) << invoice << "/" << ref;
  }
  // Renders a report to PDF and returns its pages' text.
  QStringList render(report::Report& r, const QString& name = "report.pdf") {
    path_ = QString::fromStdString(tmp_.file(name.toStdString()));
    const pdx::Status st = r.exportPdf(path_);
    EXPECT_TRUE(st.ok()) << st.toString();
    // INQUIRY_SHOTS names a folder that keeps the PDFs, to look at them.
    if (const QString shots = qEnvironmentVariable("INQUIRY_SHOTS"); !shots.isEmpty())
      QFile::copy(path_, QDir(shots).filePath(
                             QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" + name));
    return report::testing::pdfPages(path_);
  }
  // The line of `page` that holds `text`, or "".
  static QString lineWith(const QString& page, const QString& text) {
    for (const QString& line : page.split('\n'))
      if (line.simplified().contains(text)) return line.simplified();
    return {};
  }

  QString path_;
};

TEST_F(ReportTest, TheEntryPrintsOnlyTheLinesThatCarryAmounts) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  addItem(r, "C1", "1002", "CN1", ymd(2024, 1, 20), "5", -20.00);
  addEntry(r, "1002", "C1", ymd(2024, 1, 20), "5", "CN1", {{4000, 20, 0}, {1010, 0, 0}, {1100, 0, 20}},
           "Pièce endommagée\nRemplacée le lendemain");
  Tkq61_dm dm;
  standOn(dm, "1002", "CN1");
  ASSERT_TRUE(dm.openDocumentTables({&dm.glm, &dm.entries}).ok());
  Tkq61_qrfrm form(dm, 1);
  const QStringList pages = render(form);
  ASSERT_EQ(pages.size(), 1);
  const QString& page = pages[0];
  EXPECT_TRUE(page.contains("Sales and adjustments"));
  EXPECT_TRUE(lineWith(page, "Client code").contains("C1"));
  EXPECT_TRUE(page.contains("Boulangerie Lévis"));
  EXPECT_TRUE(page.contains("12 rue Principale"));
  EXPECT_TRUE(lineWith(page, "Transaction type").contains("Credit note"));
  EXPECT_TRUE(lineWith(page, "Debit/Credit reference").contains("CN1"));
  EXPECT_TRUE(lineWith(page, "Direct cash sale").endsWith("No"));
  EXPECT_EQ(lineWith(page, "4000"), "4000 Sales 20.00 0.00");
  EXPECT_EQ(lineWith(page, "1100"), "1100 Accounts receivable 0.00 20.00");
  // Line 2 has neither a debit nor a credit: nothing of it prints.
  EXPECT_FALSE(page.contains("1010"));
  EXPECT_FALSE(page.contains("Petty cash"));
  EXPECT_TRUE(page.contains("Remplacée le lendemain"));
  EXPECT_TRUE(lineWith(page, "Time of entry:").contains("20/01/2024"));
}

TEST_F(ReportTest, TheReceiptPrintsTheInvoicesItPaid) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  addItem(r, "C1", "1001", "RC1", ymd(2024, 2, 2), "2", -30.05);
  addItem(r, "C1", "1002", "RC2", ymd(2024, 2, 3), "2", -10.00);
  addCash(r, "RC1", "C1", ymd(2024, 2, 2), {{1000, 30.05, 0}, {1100, 0, 30.05}}, {{"1001", 20.05}, {"0999", 10}});
  addCash(r, "RC2", "C1", ymd(2024, 2, 3), {{1000, 10, 0}, {1100, 0, 10}}, {});
  Tkq61_dm dm;
  standOn(dm, "1001", "RC1");
  ASSERT_TRUE(dm.openDocumentTables({&dm.glm, &dm.cashHeaders, &dm.cashLines}).ok());
  {
    Tkq61_qrfrm2 form(dm, 1);
    const QString page = render(form).join("\f");
    EXPECT_TRUE(page.contains("Cash receipts"));
    EXPECT_TRUE(lineWith(page, "Receipt not from a client").endsWith("No"));
    EXPECT_TRUE(lineWith(page, "NSF cheque").endsWith("No"));
    EXPECT_EQ(lineWith(page, "1000"), "1000 Bank 30.05 0.00");
    EXPECT_TRUE(lineWith(page, "1001").endsWith("40.10 20.05")) << lineWith(page, "1001").toStdString();
    EXPECT_TRUE(lineWith(page, "0999").endsWith("20.00 10.00"));
    EXPECT_TRUE(page.contains("Payment"));
  }
  dm.closeDocumentTables({&dm.glm, &dm.cashHeaders, &dm.cashLines});
  ASSERT_TRUE(dm.Query2.next().ok());
  ASSERT_TRUE(dm.openDocumentTables({&dm.glm, &dm.cashHeaders, &dm.cashLines}).ok());
  Tkq61_qrfrm2 form(dm, 1);
  const QString page = render(form, "empty.pdf").join("\f");
  EXPECT_TRUE(lineWith(page, "Reference").contains("RC2"));
  EXPECT_EQ(lineWith(page, "1000"), "1000 Bank 10.00 0.00");
  EXPECT_FALSE(page.contains("Payment"));  // no invoice lines, no headings for them
}

class InvoiceReportTest : public ReportTest {
 protected:
  InvoiceReportTest() {
    const InquirySide& r = receivablesSide();
    setControl({{"Ctrl_pmt_name1", text("Comptant")}, {"Ctrl_pmt_name2", text("")}, {"Ctrl_pmt_name3", text("Visa")},
                {"Ctrl_pmt_name4", text("")}, {"Ctrl_pmt_name5", text("")}});
    addClient("C1", "London Tea Importers", 3);
    addItem(r, "C1", "1001", "", ymd(2024, 1, 10), "1", 115.00);
    addItem(r, "C1", "1003", "", ymd(2023, 1, 10), "1", 0);
    addItem(r, "C1", "1004", "", ymd(2023, 1, 11), "1", 30);
  }
  QString invoicePage(bool archived, const std::string& invoice) {
    Tkq61_dm dm;
    standOn(dm, invoice);
    EXPECT_TRUE(dm.openDocumentTables({&dm.glm, archived ? &dm.fahdra : &dm.fahdr, archived ? &dm.fadeta : &dm.fadet,
                                       &dm.arterms, &dm.slsm, &dm.ivprod})
                    .ok());
    shared::LoadCurrencySymbols("US", "€", "£", "MX");
    shared::SelectCurrency(3);
    std::unique_ptr<report::Report> form = makeInvoiceReport(dm, archived, 1);
    const QStringList pages = render(*form);
    EXPECT_EQ(pages.size(), 1);
    const report::testing::PageWords words = report::testing::pdfWords(path_, 1);
    EXPECT_GT(words.width, words.height);  // landscape
    return pages.join("\f");
  }
};

TEST_F(InvoiceReportTest, TheCurrentInvoicePrintsItsLinesTotalsMarginsAndPayments) {
  addInvoice(false, "1001", "C1", ymd(2024, 1, 10),
             {{"A", "TABLE-9", "Table de cuisine", 1, 60, 60, 50, 3, 6},
              {"", "", "Livré au chantier du client", 0, 0, 0, 0, 0, 0},
              {"B", "CHAIR-2", "Chaise", 4, 10, 40, 30, 2, 4}},
             {100.00, 7.77, 15.00, 4.44});
  const QString page = invoicePage(false, "1001");
  EXPECT_TRUE(lineWith(page, "TABLE-9").contains("Table de cuisine"));
  // The line's margin (60 - 50) / 60 and profit (60 - 50) / 50.
  EXPECT_TRUE(lineWith(page, "TABLE-9").endsWith("16.67 20.00")) << lineWith(page, "TABLE-9").toStdString();
  EXPECT_TRUE(lineWith(page, "CHAIR-2").contains("Chaise"));
  // A comment line prints its description alone.
  EXPECT_EQ(lineWith(page, "Livré au chantier"), "Livré au chantier du client");
  // The taxes, sales and costs summed; sales 100 and cost 80 give a margin
  // of 20.00 and a profit of 25.00.
  EXPECT_EQ(lineWith(page, "100.00 80.00"), "5.00 10.00 100.00 80.00");
  EXPECT_TRUE(page.split('\n').contains(QRegularExpression("^ +20\\.00 +25\\.00$"))) << page.toStdString();
  EXPECT_TRUE(lineWith(page, "Ventes totales:").contains("115.00"));
  EXPECT_TRUE(lineWith(page, "Coût total:").contains("80.00"));
  // Only the named payment methods print.
  EXPECT_TRUE(lineWith(page, "Comptant").contains("100.00"));
  EXPECT_TRUE(lineWith(page, "Visa").contains("15.00"));
  EXPECT_FALSE(page.contains("7.77"));
  EXPECT_FALSE(page.contains("4.44"));
  // The design's French headings, and amounts without a currency symbol even
  // for a client in pounds.
  EXPECT_TRUE(page.contains("Prix unitaire"));
  EXPECT_FALSE(page.contains("£"));
  EXPECT_FALSE(page.contains("$"));
}

TEST_F(InvoiceReportTest, AnInvoiceWithoutSalesPrintsZeroMargins) {
  addInvoice(false, "1003", "C1", ymd(2023, 1, 10), {{"", "", "Note seulement", 0, 0, 0, 0, 0, 0}});
  const QString page = invoicePage(false, "1003");
  EXPECT_EQ(lineWith(page, "0.00 0.00 0.00 0.00"), "0.00 0.00 0.00 0.00");
  EXPECT_TRUE(page.split('\n').contains(QRegularExpression("^ +0\\.00 +0\\.00$"))) << page.toStdString();
}

TEST_F(InvoiceReportTest, TheArchivedInvoiceWritesItsMarginsInShortestForm) {
  addInvoice(true, "1003", "C1", ymd(2023, 1, 10), {{"", "", "Note seulement", 0, 0, 0, 0, 0, 0}});
  addInvoice(true, "1004", "C1", ymd(2023, 1, 11), {{"A", "SHELF-1", "Étagère", 1, 30, 30, 20, 0, 0}});
  const QString empty = invoicePage(true, "1003");
  EXPECT_TRUE(empty.contains("Quantity"));  // the archive form is designed in English
  EXPECT_TRUE(empty.split('\n').contains(QRegularExpression("^ +0 +0$"))) << empty.toStdString();
  const QString page = invoicePage(true, "1004");
  EXPECT_EQ(lineWith(page, "33.3333333333333"), "33.3333333333333 50");
}

TEST_F(ReportTest, PayablesReportsNameTheirOwnDocuments) {
  const InquirySide& p = payablesSide();
  addSupplier("S1", "Acme Outillage");
  addItem(p, "S1", "P1", "", ymd(2024, 1, 5), "1", 200);
  addItem(p, "S1", "P1", "CHQ1", ymd(2024, 1, 25), "2", -200);
  addEntry(p, "P1", "S1", ymd(2024, 1, 5), "1", "", {{5000, 200, 0}, {2100, 0, 200}});
  addCash(p, "CHQ1", "S1", ymd(2024, 1, 25), {{2100, 200, 0}, {1000, 0, 200}}, {{"P1", 200}});
  Tvd52_dm dm;
  standOn(dm, "P1");
  ASSERT_TRUE(dm.openDocumentTables({&dm.entries}).ok());
  Tvd52_qrfrm purchase(dm, 1);
  const QString entry = render(purchase).join("\f");
  EXPECT_TRUE(entry.contains("Purchases"));
  EXPECT_TRUE(lineWith(entry, "Supplier code:").contains("S1"));
  EXPECT_TRUE(lineWith(entry, "Direct cash purchase").endsWith("No"));
  EXPECT_EQ(lineWith(entry, "5000"), "5000 Purchases 200.00 0.00");
  ASSERT_TRUE(dm.Query2.next().ok());
  ASSERT_TRUE(dm.openDocumentTables({&dm.cashHeaders, &dm.cashLines}).ok());
  Tvd52_qrfrm2 cheque(dm, 1);
  const QString cash = render(cheque, "cheque.pdf").join("\f");
  EXPECT_TRUE(cash.contains("Cash disbursements"));
  EXPECT_TRUE(lineWith(cash, "Disbursement not to a supplier").endsWith("No"));
  EXPECT_FALSE(cash.contains("NSF"));
  EXPECT_TRUE(lineWith(cash, "P1").endsWith("400.00 200.00"));
}

TEST_F(ReportTest, ReportsAreTranslatedWithTheModulesTable) {
  const InquirySide& r = receivablesSide();
  addClient("C1", "Boulangerie Lévis");
  addItem(r, "C1", "1002", "", ymd(2024, 1, 20), "1", 20.00);
  addEntry(r, "1002", "C1", ymd(2024, 1, 20), "1", "", {{1100, 20, 0}, {4000, 0, 20}});
  Tkq61_dm dm;
  standOn(dm, "1002");
  dm.setTypeNameSource([](int n) { return n == 0 ? std::string("Facture") : n == 8 ? std::string("Non") : std::string(); });
  ASSERT_TRUE(dm.openDocumentTables({&dm.glm, &dm.entries}).ok());
  Tkq61_qrfrm form(dm, 2);
  const QString languages = QString::fromStdString(tmp_.path() + "/Tallimoor/languages");
  ASSERT_TRUE(shared::TranslateForm(form, "kq61fr", languages).ok());
  const QString page = render(form).join("\f");
  EXPECT_TRUE(page.contains("Ventes et ajustements"));
  EXPECT_TRUE(lineWith(page, "Genre de transaction").endsWith("Facture"));
  EXPECT_TRUE(lineWith(page, "Vente comptant directe").endsWith("Non"));
}

}  // namespace
}  // namespace inquiry::testing
