// The inquiry windows offscreen, used as a user uses them: clicks on the page
// tabs and the grids, keys in the search bar, Enter and double clicks in the
// statement, the buttons. What they show is read from their controls, what
// they print from the PDFs of the previews, what they wrote from the tables.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLibrary>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <sstream>

#include "db/formats.h"
#include "demo.h"
#include "inquiry_test_util.h"
#include "inquiry_window_test_util.h"
#include "os/recorders.h"
#include "os/services.h"
#include "shared/module_entry.h"
#include "ui/chart.h"

namespace inquiry::testing {
namespace {

using admin::integer;
using admin::logical;
using admin::text;

// Books with a little of everything, for the receivables window.
class ClientsWindowTest : public WindowTest {
 protected:
  ClientsWindowTest() {
    const InquirySide& r = receivablesSide();
    setControl({{"Ctrl_ar_histo", logical(true)},
                {"Ctrl_ar_days1", integer(30)}, {"Ctrl_ar_days2", integer(60)},
                {"Ctrl_ar_days3", integer(90)}, {"Ctrl_ar_days4", integer(120)}});
    addClient("C1", "Boulangerie Lévis", 0,
              {{"Cli_email_statement", logical(true)}, {"Cli_email_invoice", logical(false)},
               {"Cli_accnt1", integer(4000)}, {"Cli_accnt2", integer(4010)}, {"Cli_accnt3", integer(4020)},
               {"Cli_format1", text("FACT-2")}, {"Cli_price_list", integer(3)}, {"Cli_copies", integer(4)}});
    addClient("C2", "London Tea Importers", 3);
    addClient("C3", "O'Brien Plumbing", 1);
    const int t = today_.days;
    addItem(r, "C1", "1001", "", pdx::Date{t - 45}, "1", 100.10);
    addItem(r, "C1", "1001", "RC1", pdx::Date{t - 20}, "2", -30.05);
    addItem(r, "C1", "1001", "RC2", pdx::Date{t - 2}, "2", -40.05);
    addItem(r, "C1", "1002", "", pdx::Date{t - 10}, "1", 50.00);
    addItem(r, "C1", "1002", "CN1", pdx::Date{t - 5}, "5", -20.00);
    addItem(r, "C1", "1003", "", pdx::Date{t - 300}, "1", 75.50);
    addItem(r, "C1", "1004", "AJ9", pdx::Date{t - 1}, "3", 3.00);  // no document behind it
    addItem(r, "C1", "0900", "", pdx::Date{t - 500}, "1", 60.00, true);
    addItem(r, "C1", "0900", "RC0", pdx::Date{t - 480}, "2", -60.00, true);
    addItem(r, "C2", "2001", "", pdx::Date{t - 3}, "1", 1234.50);
    addInvoice(true, "1003", "C1", pdx::Date{t - 300},
               {{"A", "SHELF-1", "Étagère de noyer", 2, 30, 60, 40, 3, 6}, {"", "", "Livré au chantier", 0, 0, 0, 0, 0, 0}});
    addInvoice(false, "1001", "C1", pdx::Date{t - 45}, {{"A", "TABLE-9", "Table de cuisine", 1, 100.10, 100.10, 80, 5, 10}});
    addEntry(r, "1002", "C1", pdx::Date{t - 10}, "1", "", {{1100, 50, 0}, {4000, 0, 50}}, "Vente comptoir");
    addEntry(r, "1002", "C1", pdx::Date{t - 5}, "5", "CN1", {{4000, 20, 0}, {1100, 0, 20}}, "Pièce endommagée");
    addCash(r, "RC1", "C1", pdx::Date{t - 20}, {{1000, 30.05, 0}, {1100, 0, 30.05}}, {{"1001", 30.05}});
    addCash(r, "RC2", "C1", pdx::Date{t - 2}, {{1000, 40.05, 0}, {1100, 0, 40.05}}, {{"1001", 40.05}});
  }
};

TEST_F(ClientsWindowTest, TheStatementRunsItsBalanceAndSwitchesToHistory) {
  openWindow(receivablesSide());
  ASSERT_EQ(focused(), frm_->DBGrid1);
  EXPECT_EQ(frm_->windowTitle(), "Display of clients");
  EXPECT_EQ(frm_->StatusBar1->panelText(0), "1-Quincaillerie Tremblay");
  clickTab(InquiryForm::kStatement);
  ASSERT_EQ(focused(), frm_->DBGrid2);
  EXPECT_TRUE(frm_->CheckBox1->isVisible());
  EXPECT_EQ(column(frm_->DBGrid2, 6), (QStringList{"$100.10", "$70.05", "$30.00", "$80.00", "$60.00", "$135.50",
                                                   "$138.50"}));
  EXPECT_EQ(column(frm_->DBGrid2, 3), (QStringList{"Invoice", "Payment", "Payment", "Invoice", "Credit note",
                                                   "Invoice", "Adjustment"}));
  // History: its own rows and balance.
  QTest::mouseClick(frm_->CheckBox1, Qt::LeftButton);
  settle();
  EXPECT_EQ(column(frm_->DBGrid2, 6), (QStringList{"$60.00", "$0.00"}));
  EXPECT_EQ(focused(), frm_->DBGrid2);
  // Another client brings the current transactions back, in its currency.
  clickTab(InquiryForm::kList);
  clickRow(frm_->DBGrid1, 1);
  EXPECT_TRUE(frm_->CheckBox1->isChecked());
  clickTab(InquiryForm::kStatement);
  EXPECT_EQ(column(frm_->DBGrid2, 6), QStringList{"£1,234.50"});
  EXPECT_EQ(frm_->ComboBox3->currentIndex(), 3);
  clickTab(InquiryForm::kGeneral);
  EXPECT_FALSE(frm_->CheckBox1->isVisible());
}

TEST_F(ClientsWindowTest, WithoutHistoryTheSwitchNeverShows) {
  setControl({{"Ctrl_ar_histo", logical(false)}});
  openWindow(receivablesSide());
  clickTab(InquiryForm::kStatement);
  EXPECT_FALSE(frm_->CheckBox1->isVisible());
  EXPECT_EQ(column(frm_->DBGrid2, 0).size(), 7);
}

TEST_F(ClientsWindowTest, TheControlPageShowsEveryColumnItNames) {
  openWindow(receivablesSide());
  clickTab(InquiryForm::kControl);
  EXPECT_TRUE(frm_->control<ui::DBCheckBox>("EmailStatementCheck")->isChecked());
  EXPECT_FALSE(frm_->control<ui::DBCheckBox>("EmailInvoiceCheck")->isChecked());
  EXPECT_EQ(frm_->control<ui::DBEdit>("Account1Edit")->text(), "4000");
  EXPECT_EQ(frm_->control<ui::DBEdit>("Account3Edit")->text(), "4020");
  EXPECT_EQ(frm_->control<ui::DBEdit>("FormatEdit")->text(), "FACT-2");
  EXPECT_EQ(frm_->SpinEdit1->value(), 4);
  EXPECT_EQ(frm_->ComboBox4->currentIndex(), 2);
  EXPECT_EQ(frm_->ComboBox3->currentText(), "Default");
}

TEST_F(ClientsWindowTest, TheSearchRunsEachOperatorFromTheKeyboard) {
  openWindow(receivablesSide());
  frm_->ComboBox1->setFocus();
  key(Qt::Key_Down);  // "Client name"
  EXPECT_EQ(frm_->ComboBox1->currentText(), "Client name");
  key(Qt::Key_Tab);
  ASSERT_EQ(focused(), frm_->ComboBox2);
  for (int i = 0; i < 4; ++i) key(Qt::Key_Down);  // CONTAINING
  EXPECT_EQ(frm_->ComboBox2->currentText(), "CONTAINING");
  key(Qt::Key_Tab);
  ASSERT_EQ(focused(), frm_->NorvadelMaskEdit1);
  type("'Brien");
  key(Qt::Key_Return);
  EXPECT_EQ(column(frm_->DBGrid1, 0), QStringList{"C3"});
  EXPECT_TRUE(messages().isEmpty());

  // "<" on the code; then a date column with CONTAINING cannot run.
  frm_->ComboBox1->setCurrentIndex(0);
  frm_->ComboBox2->setCurrentIndex(2);
  frm_->NorvadelMaskEdit1->setFocus();
  frm_->NorvadelMaskEdit1->selectAll();
  type("C3");
  QTest::mouseClick(frm_->refreshButton, Qt::LeftButton);
  settle();
  EXPECT_EQ(column(frm_->DBGrid1, 0), (QStringList{"C1", "C2"}));
  frm_->ComboBox1->setCurrentIndex(22);  // "Date created"
  frm_->ComboBox2->setCurrentIndex(4);
  QTest::mouseClick(frm_->refreshButton, Qt::LeftButton);
  settle();
  EXPECT_EQ(messages(), QStringList{"Please enter a valid statement."});
  EXPECT_EQ(dialogs_.shown.back().kind, ui::MessageKind::kError);
  EXPECT_FALSE(frm_->dataModule().Query1.active());
  // An empty parameter brings every client back.
  frm_->NorvadelMaskEdit1->clear();
  QTest::mouseClick(frm_->refreshButton, Qt::LeftButton);
  settle();
  EXPECT_EQ(column(frm_->DBGrid1, 0).size(), 3);
}

TEST_F(ClientsWindowTest, TheGraphAgesTheClientAndPrints) {
  openWindow(receivablesSide());
  clickTab(InquiryForm::kGraph);
  ui::Chart* chart = frm_->chart;
  ASSERT_EQ(chart->rowCount(), 5);
  EXPECT_EQ(chart->title(), "Aging of accounts");
  // 1002 is 10 days old (30.00 with its credit note) and the adjustment 1
  // day (3.00); 1001 45 days with its payments (30.00); 1003 300 days (75.50).
  const double values[] = {33, 30, 0, 0, 75};
  for (int b = 0; b < 5; ++b) EXPECT_EQ(chart->value(b), values[b]) << b;
  EXPECT_EQ(frm_->bucketValues[1]->text(), "$30.00");
  EXPECT_EQ(frm_->bucketValues[4]->text(), "$75.50");
  EXPECT_EQ(frm_->bucketCaptions[0]->text(), chart->rowLabel(0));
  EXPECT_FALSE(frm_->bucketCaptions[0]->text().isEmpty());

  QTest::mouseClick(frm_->graphPrintButton, Qt::LeftButton);
  settle();
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].what, "print");
  EXPECT_EQ(frm_->printChart->title(), "Aging of accounts\nBoulangerie Lévis");
  EXPECT_EQ(frm_->printChart->rowLabel(4), chart->rowLabel(4) + ": 75.50");
  const QString pdf = pdfText(dialogs_.shown[0].pdf);
  EXPECT_TRUE(pdf.contains("Boulangerie Lévis")) << pdf.toStdString();
  // Nothing of the aging record was ever written.
  for (const auto& row : admin::testing::readAll(root_, "virmem"))
    EXPECT_EQ(admin::testing::fixedOf(row, "Curr_2"), 0);
}

TEST_F(ClientsWindowTest, TheDetailOpensTheDocumentBehindEachTransaction) {
  openWindow(receivablesSide());
  clickTab(InquiryForm::kStatement);
  // Rows: 1001 invoice (current), RC1, RC2, 1002 (entry), CN1 (entry), 1003
  // (archived invoice), AJ9 (nothing).
  const QStringList expected = {"Invoice", "Cash receipts", "Cash receipts", "Sales and adjustments",
                                "Sales and adjustments", "Archived invoice", ""};
  for (int row = 0; row < 7; ++row) {
    dialogs_.shown.clear();
    if (row % 2) {
      doubleClickRow(frm_->DBGrid2, row);
    } else {
      clickRow(frm_->DBGrid2, row);
      key(Qt::Key_Return);
    }
    ASSERT_EQ(dialogs_.shown.size(), 1u) << row;
    if (expected[row].isEmpty()) {
      EXPECT_EQ(dialogs_.shown[0].what, "message");
      EXPECT_EQ(dialogs_.shown[0].text, "No details exist for this transaction");
      EXPECT_EQ(dialogs_.shown[0].kind, ui::MessageKind::kInformation);
    } else {
      EXPECT_EQ(dialogs_.shown[0].what, "preview") << row;
      EXPECT_EQ(dialogs_.shown[0].caption, expected[row]) << row;
    }
    // The document tables are closed again after each.
    EXPECT_FALSE(frm_->dataModule().entries.active());
    EXPECT_FALSE(frm_->dataModule().fahdr.active());
    EXPECT_FALSE(frm_->dataModule().cashHeaders.active());
  }
  // The invoices print without a currency symbol; the window's amounts keep
  // the client's afterwards.
  EXPECT_EQ(db::RegionalFormats::current().currencySymbol, "$");
  clickTab(InquiryForm::kGraph);
  EXPECT_EQ(frm_->bucketValues[4]->text(), "$75.50");
}

TEST_F(ClientsWindowTest, ButtonsReachTheServicesAndExitCleansUp) {
  openWindow(receivablesSide());
  QTest::mouseClick(frm_->emailButton, Qt::LeftButton);
  QTest::mouseClick(frm_->helpButton, Qt::LeftButton);
  QTest::mouseClick(frm_->printScreenButton, Qt::LeftButton);
  settle();
  EXPECT_TRUE(services_.programs.calls().contains("open mailto:C1@clients.example"))
      << services_.programs.calls().join("; ").toStdString();
  ASSERT_EQ(services_.help.calls().size(), 1);
  EXPECT_TRUE(services_.help.calls()[0].endsWith(" 204"));
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].what, "print");
  // Escape leaves as Exit does: everything closed, the aging record dropped.
  frm_->DBGrid1->setFocus();
  key(Qt::Key_Escape);
  EXPECT_FALSE(frm_->isVisible());
  EXPECT_FALSE(frm_->dataModule().database.connected());
  EXPECT_FALSE(frm_->dataModule().Table3.active());
}

TEST_F(ClientsWindowTest, AnOpenQuickLinkWindowDisablesTheButton) {
  services_.windows.addWindow("Lien Rapide", false);
  services_.windows.addWindow("Quick Link", true);
  openWindow(receivablesSide());
  EXPECT_FALSE(frm_->quickLinkButton->isEnabled());
}

TEST_F(ClientsWindowTest, BooksThatCannotBeOpenedAreReportedAndTheWindowCloses) {
  for (const char* ext : {".DB", ".PX"}) std::filesystem::remove(company_ + "/car" + ext);
  openWindow(receivablesSide());
  settle();
  ASSERT_EQ(messages().size(), 1);
  EXPECT_EQ(dialogs_.shown[0].kind, ui::MessageKind::kError);
  EXPECT_TRUE(messages()[0].contains("car", Qt::CaseInsensitive)) << messages()[0].toStdString();
  EXPECT_FALSE(frm_->isVisible());
  EXPECT_FALSE(frm_->dataModule().database.connected());
}

TEST_F(ClientsWindowTest, TheIntlSettingChangesTheCanadianWords) {
  (void)services_.settings.writeString("Settings", "Intl", "y");
  openWindow(receivablesSide());
  EXPECT_EQ(frm_->control<ui::Label>("ProvinceLabel")->text(), "State");
  EXPECT_EQ(frm_->control<ui::Label>("PostalCodeLabel")->text(), "Zip code");
  EXPECT_EQ(frm_->control<ui::Label>("NsfDateLabel")->text(), "Date last NSF check");
  EXPECT_EQ(frm_->control<ui::DBCheckBox>("TaxFedCheck")->text(), "Charge tax 1");
  // The receipt behind RC1 calls its NSF flag a check.
  clickTab(InquiryForm::kStatement);
  doubleClickRow(frm_->DBGrid2, 1);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(pdfText(dialogs_.shown[0].pdf).contains("NSF check"));
  closeWindow();
  openWindow(receivablesSide(), 2);
  EXPECT_EQ(frm_->windowTitle(), "Affichage des clients");
  EXPECT_EQ(frm_->control<ui::Label>("Address1Label")->text(), "Adresse ligne 1");
  EXPECT_EQ(frm_->control<ui::DBCheckBox>("TaxProCheck")->text(), "Charger taxe 2");
  EXPECT_EQ(frm_->control<ui::Label>("ProvinceLabel")->text(), "Province");
}

TEST_F(ClientsWindowTest, TheWindowSpeaksFrench) {
  openWindow(receivablesSide(), 2);
  EXPECT_EQ(frm_->windowTitle(), "Consultation des clients");
  EXPECT_EQ(frm_->pages[InquiryForm::kStatement]->caption(), "Relevé du client");
  clickTab(InquiryForm::kStatement);
  EXPECT_EQ(column(frm_->DBGrid2, 3).first(), "Facture");
  EXPECT_EQ(frm_->DBGrid2->columnTitle(6), "Solde");
  clickTab(InquiryForm::kGraph);
  EXPECT_EQ(frm_->chart->title(), "Âge des comptes");
}

// ---------------------------------------------------------------- payables

class SuppliersWindowTest : public WindowTest {
 protected:
  SuppliersWindowTest() {
    const InquirySide& p = payablesSide();
    setControl({{"Ctrl_ap_histo", logical(true)}});
    addSupplier("S1", "Acme Outillage", 0, {{"Sup_bank_account", integer(1000)}, {"Sup_email_po", logical(true)}});
    addSupplier("S2", "British Tools Ltd", 3, {{"Sup_bank_account", integer(1010)}});
    const int t = today_.days;
    addItem(p, "S1", "P1", "", pdx::Date{t - 40}, "1", 200.00);
    addItem(p, "S1", "P1", "CHQ1", pdx::Date{t - 10}, "2", -150.00);
    addItem(p, "S1", "P2", "ADJ", pdx::Date{t - 3}, "3", 9.99);  // nothing behind it
    addItem(p, "S2", "B7", "", pdx::Date{t - 3}, "1", 10.00);
    addEntry(p, "P1", "S1", pdx::Date{t - 40}, "1", "", {{5000, 200, 0}, {2100, 0, 200}}, "Outils");
    addCash(p, "CHQ1", "S1", pdx::Date{t - 10}, {{2100, 150, 0}, {1000, 0, 150}}, {{"P1", 150}});
  }
};

TEST_F(SuppliersWindowTest, ThePayablesWindowDiffersWhereItShould) {
  openWindow(payablesSide());
  EXPECT_EQ(frm_->windowTitle(), "Display of suppliers");
  EXPECT_EQ(frm_->refreshButton->objectName(), "Button3");
  EXPECT_EQ(frm_->exitButton->objectName(), "Button1");
  EXPECT_EQ(frm_->ComboBox1->count(), 32);
  EXPECT_EQ(frm_->ComboBox4, nullptr);
  clickTab(InquiryForm::kControl);
  const QString bank = frm_->bankAccount->text();
  EXPECT_FALSE(bank.isEmpty());
  // Purchase orders are e-mailed only in the installations that do it.
  EXPECT_FALSE(frm_->control<ui::DBCheckBox>("EmailPoCheck")->isVisible());
  EXPECT_FALSE(frm_->SpinEdit1->isVisible());

  clickTab(InquiryForm::kStatement);
  EXPECT_EQ(frm_->DBGrid2->columnTitle(2), "Type");
  EXPECT_EQ(column(frm_->DBGrid2, 6), (QStringList{"$200.00", "$50.00", "$59.99"}));
  EXPECT_EQ(admin::testing::readAll(company_, "Captmp1").size(), 3u);
  // The purchase, the cheque, then a transaction with nothing behind it.
  doubleClickRow(frm_->DBGrid2, 0);
  doubleClickRow(frm_->DBGrid2, 1);
  doubleClickRow(frm_->DBGrid2, 2);
  ASSERT_EQ(dialogs_.shown.size(), 3u);
  EXPECT_EQ(dialogs_.shown[0].caption, "Purchases");
  EXPECT_EQ(dialogs_.shown[1].caption, "Cash disbursements");
  EXPECT_EQ(dialogs_.shown[2].text, "No details exist for this transaction");
  // The next supplier still shows its bank.
  clickTab(InquiryForm::kList);
  clickRow(frm_->DBGrid1, 1);
  clickTab(InquiryForm::kControl);
  EXPECT_FALSE(frm_->bankAccount->text().isEmpty());
  EXPECT_NE(frm_->bankAccount->text(), bank);
  clickTab(InquiryForm::kGraph);
  EXPECT_EQ(frm_->chart->title(), "Aging of accounts");
  EXPECT_EQ(frm_->bucketValues[0]->text(), "£10.00");
  EXPECT_EQ(frm_->dataModule().Table3.fieldByName("Curr_6").asCurrency().toString(), "10.00");
}

TEST_F(SuppliersWindowTest, EachSearchColumnSearchesTheFieldItNames) {
  openWindow(payablesSide());
  // The last three columns are not in the table's order of fields.
  frm_->ComboBox1->setCurrentIndex(31);
  EXPECT_EQ(frm_->ComboBox1->currentText(), "Bank account");
  frm_->NorvadelMaskEdit1->setFocus();
  type("1010");
  key(Qt::Key_Return);
  EXPECT_EQ(column(frm_->DBGrid1, 0), QStringList{"S2"});
  frm_->ComboBox1->setCurrentIndex(30);  // "Currency"
  frm_->NorvadelMaskEdit1->selectAll();
  type("3");
  key(Qt::Key_Return);
  EXPECT_EQ(column(frm_->DBGrid1, 0), QStringList{"S2"});
  EXPECT_TRUE(messages().isEmpty()) << messages().join("|").toStdString();
}

TEST_F(SuppliersWindowTest, AnyLanguageButEnglishGetsTheFrenchChartTitle) {
  openWindow(payablesSide(), 3, "fr");
  clickTab(InquiryForm::kGraph);
  EXPECT_EQ(frm_->chart->title(), "Âge des comptes");
  // The receivables side gives only French its French title.
  closeWindow();
  openWindow(receivablesSide(), 3, "fr");
  clickTab(InquiryForm::kGraph);
  EXPECT_EQ(frm_->chart->title(), "Aging of accounts");
}

TEST_F(SuppliersWindowTest, TheIntlSettingChangesTheEnglishWordsOnly) {
  (void)services_.settings.writeString("Settings", "Intl", "Y");
  openWindow(payablesSide());
  EXPECT_EQ(frm_->control<ui::Label>("PostalCodeLabel")->text(), "Zip code");
  EXPECT_EQ(frm_->DBGrid2->columnTitle(1), "Reference");
  closeWindow();
  openWindow(payablesSide(), 2);
  EXPECT_EQ(frm_->control<ui::Label>("ProvinceLabel")->text(), "Province");
}

TEST_F(SuppliersWindowTest, SomeInstallationsEmailPurchaseOrders) {
  EXPECT_TRUE(Tvd52_Frm::emailsPurchaseOrders("/srv/Tesmarow/Tallimoor/data"));
  EXPECT_TRUE(Tvd52_Frm::emailsPurchaseOrders("D:/Brnk/data"));
  EXPECT_FALSE(Tvd52_Frm::emailsPurchaseOrders("/srv/Tallimoor/data"));
}

// ---------------------------------------------------------------- the module libraries

TEST_F(ClientsWindowTest, ShowDllFormRunsEachModuleAndReturnsMinusOne) {
  for (const auto& [path, name, exit] :
       {std::tuple{KQ61_MODULE, "kq61_frm", "Exit_btn"}, std::tuple{VD52_MODULE, "vd52_Frm", "Button1"}}) {
    QLibrary module(path);
    ASSERT_TRUE(module.load()) << module.errorString().toStdString();
    using Entry = int (*)(TLinkSection);
    auto entry = reinterpret_cast<Entry>(module.resolve("ShowDllForm"));
    ASSERT_NE(entry, nullptr);
    shared::SessionContext context;
    context.setCompanyCode("1");
    context.setCompanyName("Quincaillerie Tremblay");
    context.setDataDir(QString::fromStdString(root_));
    context.setProgramDir(QDir::currentPath());
    context.setUserName("Marie Tremblay");
    context.setLanguage(1);
    context.setLangSuffix("en");
    context.setSessionId(2);
    const auto scratch = admin::testing::readAll(root_, "virmem");
    QString caption;
    whenTopLevelVisible(name, [&](QWidget* w) {
      caption = w->windowTitle();
      if (auto* b = w->findChild<QPushButton*>(exit)) b->click();
    });
    EXPECT_EQ(entry(context.record()), -1);
    EXPECT_FALSE(caption.isEmpty()) << name;
    EXPECT_EQ(admin::testing::readAll(root_, "virmem"), scratch);
    module.unload();
  }
}

}  // namespace
}  // namespace inquiry::testing

namespace inquiry::testing {
namespace {

// The demonstration data: every transaction of the first clients and
// suppliers opens a document, and each party's aging adds up to its balance.
class DemoWindowTest : public WindowTest {
 protected:
  DemoWindowTest() {
    // The demonstration takes the place of the fixture's data root (the
    // program folder stays: it is the current folder).
    for (const auto& entry : std::filesystem::directory_iterator(tmp_.path() + "/Tallimoor"))
      if (entry.path().filename() != "bin") std::filesystem::remove_all(entry.path());
    admin::DemoOptions o;
    o.dataRoot = root_;
    o.today = today_;
    o.env = pdx::Env::unsynced();
    admin::DemoSummary summary;
    std::ostringstream log;
    const pdx::Status st = admin::buildDemo(o, summary, log);
    EXPECT_TRUE(st.ok()) << st.toString();
    dialogs_.pdfDirectory.clear();
  }

  // Drills into every row of the statements of the first `parties` parties.
  void drillEveryTransaction(int parties, const QStringList& titles) {
    ASSERT_TRUE(dm_->Query1.active()) << messages().join(" | ").toStdString();
    int drilled = 0;
    for (int p = 0; drilled < parties && p < frm_->DBGrid1->model()->rowCount(); ++p) {
      clickTab(InquiryForm::kList);
      clickRow(frm_->DBGrid1, p);
      const std::string party = dm_->Query1.fieldByName(dm_->side().partyCode).asString();
      clickTab(InquiryForm::kStatement);
      const int rows = frm_->DBGrid2->model()->rowCount();
      drilled += rows > 0;
      for (int r = 0; r < rows; ++r) {
        dialogs_.shown.clear();
        doubleClickRow(frm_->DBGrid2, r);
        ASSERT_EQ(dialogs_.shown.size(), 1u) << party << " row " << r;
        EXPECT_EQ(dialogs_.shown[0].what, "preview") << party << " row " << r << ": " << dialogs_.shown[0].text.toStdString();
        EXPECT_TRUE(titles.contains(dialogs_.shown[0].caption)) << dialogs_.shown[0].caption.toStdString();
      }
      // The aging adds up to what the party's file says it owes or is owed.
      clickTab(InquiryForm::kGraph);
      db::Money aged;
      for (int b = 0; b < 5; ++b)
        aged += dm_->Table3.fieldByName(dm_->side().agingCell(b)).asCurrency();
      const char* balance = dm_->side().receivables() ? "Cli_current_bal" : "Sup_current_bal";
      EXPECT_EQ(aged, dm_->Query1.fieldByName(balance).asCurrency()) << party;
    }
    EXPECT_EQ(drilled, parties);
  }
};

TEST_F(DemoWindowTest, EveryClientTransactionOpensItsDocumentInFrench) {
  openWindow(receivablesSide(), 2);
  drillEveryTransaction(6, {"Facture", "Facture archivée", "Ventes et ajustements", "Encaissements"});
}

TEST_F(DemoWindowTest, EverySupplierTransactionOpensItsDocument) {
  shared::Context().clear();
  openWindow(payablesSide(), 1);
  drillEveryTransaction(6, {"Purchases", "Cash disbursements"});
}

}  // namespace
}  // namespace inquiry::testing
