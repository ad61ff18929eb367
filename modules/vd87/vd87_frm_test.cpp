// The purchases window offscreen, keyed as a user keys it: typing, Enter and
// Tab, the buttons. What was written is read back from the tables through a
// directory of the test's own.
#include <gtest/gtest.h>

#include <QDir>
#include <QLibrary>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "db/error.h"
#include "db/formats.h"
#include "shared/module_entry.h"
#include "ui/application.h"
#include "window_test_util.h"

namespace vd87::testing {
namespace {

TEST_F(WindowTest, APurchaseKeyedWithTheKeyboardAloneIsPosted) {
  openWindow();
  EXPECT_EQ(frm_->windowTitle(), "Purchases current period is 1 : January");
  ASSERT_EQ(focused(), frm_->Norvadeldbedit1);
  type("ACME");
  key(Qt::Key_Return);
  EXPECT_EQ(focused(), frm_->TransType);
  EXPECT_TRUE(frm_->SupplierPanel->isVisible());
  EXPECT_EQ(frm_->supplierLabels[0]->text(), "Acme Outillage");
  key(Qt::Key_Return);
  ASSERT_EQ(focused(), frm_->InvoiceNum);
  type("inv9");
  key(Qt::Key_Return);
  EXPECT_EQ(frm_->InvoiceNum->text(), "INV9");
  EXPECT_FALSE(frm_->Norvadeldbedit1->isEnabled());
  ASSERT_EQ(focused(), frm_->TransDate);
  EXPECT_EQ(frm_->TransDate->text(), "28/01/2001");
  key(Qt::Key_Return);
  EXPECT_EQ(frm_->TransDueDate->text(), "27/02/2001");
  key(Qt::Key_Return);  // due date
  key(Qt::Key_Return);  // reference
  ASSERT_EQ(focused(), frm_->accountEdits[0]);  // the memo and the lookup button are passed over
  key(Qt::Key_Return);
  key(Qt::Key_Return);
  key(Qt::Key_Return);
  ASSERT_EQ(focused(), frm_->creditCells[0]);
  type("100");
  key(Qt::Key_Return);
  key(Qt::Key_Return);
  key(Qt::Key_Return);
  ASSERT_EQ(focused(), frm_->debitCells[1]);
  type("99.99");
  key(Qt::Key_Down);
  EXPECT_EQ(frm_->document().totalDebit(), money("99.99"));
  EXPECT_EQ(frm_->document().totalCredit(), money("100"));
  EXPECT_TRUE(totalsMatchLines());

  // Out of balance by a cent: refused, nothing written.
  frm_->PostBtn->setFocus();
  key(Qt::Key_Space);
  EXPECT_EQ(messages(), QStringList{"Invoice is out of balance."});
  EXPECT_EQ(dialogs_.shown[0].kind, ui::MessageKind::kPlain);
  EXPECT_TRUE(readRows(company_, "apori").empty());

  enter(frm_->debitCells[1], "100");
  frm_->PostBtn->setFocus();
  settle();
  EXPECT_EQ(shown(frm_->TotalDBEdit), money("100"));
  EXPECT_TRUE(totalsMatchLines());
  key(Qt::Key_Space);
  EXPECT_EQ(messages().size(), 1);
  ASSERT_EQ(readRows(company_, "apori").size(), 1u);
  EXPECT_EQ(fixed(readRows(company_, "cap")[0], "Cap_amount"), 1'000'000);
  EXPECT_EQ(textOf(readRows(company_, "cap")[0], "Cap_invoice"), "INV9");
  EXPECT_EQ(textOf(readRows(company_, "tjlh")[0], "Tjlh_user"), "Marie Trem");  // no login name: the user name
  EXPECT_EQ(shared::Context().launchQualifier(), "N");
  // A fresh entry, the supplier code open and focused.
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "");
  EXPECT_TRUE(frm_->Norvadeldbedit1->isEnabled());
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);
  EXPECT_EQ(frm_->TotalCDEdit->value(), db::Money());
}

TEST_F(WindowTest, ExitsCheckTheirFieldsUnlessTheFocusGoesToCancel) {
  openWindow();
  // No supplier and no direct/cash purchase: the memo sends the focus back.
  frm_->TransMemo->setFocus();
  settle();
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);

  type("ACME");
  key(Qt::Key_Tab);
  frm_->InvoiceNum->setFocus();
  settle();
  frm_->CancelBtn->setFocus();  // toward a tag-13 control: no check
  settle();
  EXPECT_TRUE(dialogs_.shown.empty());
  frm_->InvoiceNum->setFocus();
  settle();
  frm_->TransDate->setFocus();
  settle();
  EXPECT_EQ(messages(), QStringList{"Please enter an invoice number."});
  EXPECT_EQ(focused(), frm_->InvoiceNum);

  // An account that does not exist.
  dialogs_.shown.clear();
  type("A1");
  enter(frm_->accountEdits[10], "9999");
  key(Qt::Key_Tab);
  EXPECT_EQ(messages(), QStringList{"The account number entered does not exist."});
  EXPECT_EQ(focused(), frm_->accountEdits[10]);
  EXPECT_EQ(frm_->accountEdits[10]->text(), "0");

  // On a Debit the A/P line takes no debit.
  dialogs_.shown.clear();
  frm_->TransType->setCurrentIndex(1);
  enter(frm_->debitCells[0], "100");
  key(Qt::Key_Tab);
  EXPECT_EQ(messages(), QStringList{"Please enter an amount in the credit field."});
  EXPECT_TRUE(frm_->document().debit(1).isZero());
  EXPECT_TRUE(frm_->document().totalDebit().isZero());

  // Cancel restarts the entry.
  frm_->CancelBtn->click();
  settle();
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "");
  EXPECT_EQ(frm_->TransType->currentIndex(), 0);
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);
}

TEST_F(WindowTest, ForeignSupplierPostsToItsJournalWithItsSign) {
  openWindow();
  type("BRIT");
  key(Qt::Key_Return);
  EXPECT_EQ(frm_->accountEdits[0]->text(), "2130");
  EXPECT_EQ(db::RegionalFormats::current().currencySymbol, "£");
  enter(frm_->InvoiceNum, "GB7");
  enter(frm_->debitCells[1], "10");
  enter(frm_->creditCells[0], "10");
  frm_->PostBtn->setFocus();
  settle();
  frm_->PostBtnClick();
  settle();
  ASSERT_EQ(readRows(company_, "tjlh").size(), 1u);
  EXPECT_EQ(intOf(readRows(company_, "tjlh")[0], "Tjlh_journal"), 34);
}

TEST_F(WindowTest, ChangePeriodRefusesNumbersOutsideZeroToThirteen) {
  openWindow();
  whenVisible(period_.get(), [this] {
    EXPECT_EQ(period_->NorvadelMaskEdit1->text(), "1");
    period_->NorvadelMaskEdit1->setText("14");
    period_->Button1->click();
    EXPECT_TRUE(period_->isVisible());
    period_->NorvadelMaskEdit1->setText("ab");
    period_->Button1->click();
    period_->NorvadelMaskEdit1->setText("0");
    period_->Button1->click();
  });
  frm_->SpeedButton4Click();
  EXPECT_EQ(messages(), (QStringList{"Not a valid period number.", "Not a valid period number."}));
  EXPECT_EQ(frm_->rules().transactionPeriod, 0);
  EXPECT_EQ(frm_->windowTitle(), "Purchases current period is 0");
}

TEST_F(WindowTest, AnEngineErrorShowsTheErrorWindowAndClosesWithoutWriting) {
  openWindow();
  keyPurchase("DEF", "E1", "5");
  frm_->posting().beforeCommit = [] { throw db::DatabaseError(pdx::Status(0x2102, "the disk is full")); };
  QString category, code, text;
  whenVisible(error_.get(), [&] {
    category = error_->ErrCat->text();
    code = error_->ErrCode->text();
    text = error_->ErrMess->toPlainText();
    error_->Button1->click();
  });
  QTest::mouseClick(frm_->PostBtn, Qt::LeftButton);
  settle();
  EXPECT_EQ(category, "33");
  EXPECT_EQ(code, "2");
  // The translated message, then the engine's own words.
  EXPECT_TRUE(text.startsWith("The posting failed; nothing was written.\n")) << text.toStdString();
  EXPECT_TRUE(text.endsWith("the disk is full")) << text.toStdString();
  EXPECT_FALSE(frm_->isVisible());
  EXPECT_TRUE(readRows(company_, "apori").empty());
  EXPECT_TRUE(readRows(company_, "tjlh").empty());
  for (const Row& s : readRows(company_, "sup"))
    if (textOf(s, "Sup_code") == "DEF") {
      EXPECT_EQ(fixed(s, "Sup_current_bal"), 2'500'000);
    }
}

TEST_F(WindowTest, AMissingTableIsReportedInTheUsersLanguage) {
  for (const char* ext : {".DB", ".PX"}) std::remove((company_ + "/cap" + ext).c_str());
  openWindow(2);
  EXPECT_EQ(messages(), QStringList{"Erreur lors de l'ouverture de la table cap.DB"});
  EXPECT_EQ(dialogs_.shown[0].kind, ui::MessageKind::kError);
  EXPECT_FALSE(frm_->isVisible());
  closeWindow();
  dialogs_.shown.clear();
  openWindow(1);
  EXPECT_EQ(messages(), QStringList{"Error opening table cap.DB"});
}

TEST_F(WindowTest, TheWindowSpeaksFrench) {
  openWindow(2);
  EXPECT_EQ(frm_->CheckBox1->text(), "Achat direct/comptant");
  EXPECT_EQ(frm_->PostBtn->text(), "&Reporter");
  EXPECT_TRUE(frm_->windowTitle().startsWith("La période courante des achats est 1")) << frm_->windowTitle().toStdString();
  type("NOBODY");
  key(Qt::Key_Tab);
  EXPECT_EQ(messages(), QStringList{"Ce fournisseur n'existe pas."});
}

TEST_F(WindowTest, ButtonsReachTheServices) {
  openWindow();
  type("ACME");
  key(Qt::Key_Return);
  frm_->SpeedButton2Click();
  frm_->Help_btnClick();
  EXPECT_TRUE(services_.programs.calls().contains("open mailto:achats@acme.example"))
      << services_.programs.calls().join("; ").toStdString();
  ASSERT_EQ(services_.help.calls().size(), 1);
  EXPECT_TRUE(services_.help.calls()[0].endsWith(" 304"));
  frm_->SpeedButton1Click();
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].what, "print");
  frm_->Exit_btnClick();
  EXPECT_FALSE(frm_->isVisible());
  EXPECT_FALSE(wdm_->vd87db.connected());
}

// The module library itself, loaded across a real library boundary as the
// shell loads it, entered through ShowDllForm and left with Exit.
TEST_F(WindowTest, ShowDllFormRunsTheWindowAndReturnsMinusOne) {
  QLibrary module(VD87_MODULE);
  ASSERT_TRUE(module.load()) << module.errorString().toStdString();
  using Entry = int (*)(TLinkSection);
  auto entry = reinterpret_cast<Entry>(module.resolve("ShowDllForm"));
  ASSERT_NE(entry, nullptr);

  shared::SessionContext context;
  context.setCompanyCode("1");
  context.setDataDir(QString::fromStdString(root_));
  context.setProgramDir(QDir::currentPath());
  context.setUserName("Marie Tremblay");
  context.setLanguage(1);
  context.setLangSuffix("en");
  context.setSessionId(2);
  const auto scratch = readRows(root_, "virmem");

  QString caption;
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, &caption] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() != "vd87_frm" || !w->isVisible()) continue;
      timer->stop();
      timer->deleteLater();
      caption = w->windowTitle();
      auto* exit = w->findChild<QPushButton*>("Exit_btn");
      if (exit) exit->click();
    }
  });
  timer->start();
  EXPECT_EQ(entry(context.record()), -1);
  EXPECT_EQ(caption, "Purchases current period is 1 : January");
  EXPECT_EQ(readRows(root_, "virmem"), scratch);
  ui::Application::setExceptionHandler(nullptr);
}

TEST_F(WindowTest, F2LooksUpTheSupplierAndTheAccountOfTheLine) {
  openWindow();
  answerLookup("british");
  key(Qt::Key_F2);
  // The offscreen platform gives the window back its activation only when asked.
  QApplication::setActiveWindow(frm_.get());
  settle();
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "BRIT");
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);
  EXPECT_EQ(frm_->TransDueDate->text(), "15/02/2001");  // terms 915
  key(Qt::Key_Tab);  // leaving the code sets the entry up for the supplier
  EXPECT_EQ(frm_->accountEdits[0]->text(), "2130");

  frm_->accountEdits[10]->setFocus();
  settle();
  answerLookup("bank charges");
  key(Qt::Key_F2);
  QApplication::setActiveWindow(frm_.get());
  settle();
  EXPECT_EQ(frm_->accountEdits[10]->text(), "5700");
  EXPECT_EQ(frm_->descriptionEdits[10]->text(), "Bank charges");
  // F2 elsewhere looks nothing up.
  LookupTrap trap;
  for (QWidget* w : std::initializer_list<QWidget*>{frm_->InvoiceNum, frm_->descriptionEdits[10], frm_->debitCells[10]}) {
    w->setFocus();
    settle();
    key(Qt::Key_F2);
  }
  EXPECT_EQ(trap.opened(), 0);
}

// ---------------------------------------------------------------- direct/cash documents

TEST_F(WindowTest, DirectCashDebitAndCreditNotesArePosted) {
  addOpenItem(company_, "ACME", "F-9", "1", ymd(2001, 1, 5), 100.0);
  openWindow();
  const auto suppliers = readRows(company_, "sup");
  const struct {
    Qt::Key type;  // first letter in the type list
    const char* reference;
    int bankLine;  // the side of the bank: a debit note brings money back
  } notes[] = {{Qt::Key_D, "DN1", 1}, {Qt::Key_C, "CN1", 2}};
  for (const auto& note : notes) {
    click(frm_->Norvadeldbedit1);
    type("ACME");
    key(Qt::Key_Return);
    click(frm_->CheckBox1);
    key(Qt::Key_Tab);
    ASSERT_EQ(focused(), frm_->TransType);
    // A letter picks the type; letters typed close together would make one
    // search.
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    key(note.type);
    enter(frm_->InvoiceNum, "f-9");
    enter(frm_->DebCreRef, note.reference);
    enter(frm_->TransMemo, "Retour");
    enter(frm_->accountEdits[9], "1000");
    enter(note.bankLine == 1 ? frm_->debitCells[9] : frm_->creditCells[9], "20");
    enter(note.bankLine == 1 ? frm_->creditCells[1] : frm_->debitCells[1], "20");
    click(frm_->PostBtn);
    EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  }
  const auto entries = readRows(company_, "apori");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(textOf(entries[0], "Trx_type"), "4");
  EXPECT_EQ(textOf(entries[1], "Trx_type"), "5");
  for (const Row& e : entries) {
    EXPECT_EQ(e.at("Direct_cash_purchase"), pdx::Value::logical(true));
    EXPECT_EQ(textOf(e, "Reference"), "F-9");
  }
  // No A/P line: the supplier and its open items stay as they were.
  EXPECT_EQ(readRows(company_, "sup"), suppliers);
  EXPECT_EQ(readRows(company_, "cap").size(), 1u);
  EXPECT_EQ(readRows(company_, "tjld").size(), 4u);
}

TEST_F(WindowTest, ADirectCashPurchaseGoesToTheJournalOfTheSupplierShown) {
  openWindow();
  type("BRIT");
  key(Qt::Key_Return);
  keyCashPurchase("GB-CASH", "15");
  click(frm_->PostBtn);
  EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  ASSERT_EQ(readRows(company_, "tjlh").size(), 1u);
  EXPECT_EQ(intOf(readRows(company_, "tjlh")[0], "Tjlh_journal"), 34);
  EXPECT_EQ(textOf(readRows(company_, "tjlh")[0], "Tjlh_memo"), "Essence");

  // Without a supplier, the home currency's journal.
  keyCashPurchase("CASH2", "5");
  click(frm_->PostBtn);
  EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  const auto headers = readRows(company_, "tjlh");
  ASSERT_EQ(headers.size(), 2u);
  for (const Row& h : headers)
    if (textOf(h, "Tjlh_reference") == "CASH2") EXPECT_EQ(intOf(h, "Tjlh_journal"), 3);
}

// ---------------------------------------------------------------- closing

TEST_F(WindowTest, EscapeClosesAtOnceOnlyWhenNothingWasKeyed) {
  const auto scratch = readRows(root_, "virmem");
  openWindow();
  key(Qt::Key_Escape);
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_FALSE(frm_->isVisible());
  EXPECT_FALSE(wdm_->vd87db.connected());
  closeWindow();

  openWindow();
  type("ACME");
  key(Qt::Key_Return);
  enter(frm_->debitCells[1], "12");
  key(Qt::Key_Escape);  // takes back what was being keyed in the cell
  EXPECT_TRUE(dialogs_.shown.empty());
  dialogs_.answers = {ui::Answer::kNo};
  key(Qt::Key_Escape);
  ASSERT_EQ(messages(), QStringList{"Do you want to close the window and drop the document being entered?"});
  EXPECT_EQ(dialogs_.shown[0].buttons, ui::Buttons::kYesNo);
  EXPECT_TRUE(frm_->isVisible());
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "ACME");
  // The title bar's close button asks the same; Yes closes.
  dialogs_.answers = {ui::Answer::kYes};
  frm_->close();
  settle();
  EXPECT_EQ(messages().size(), 2);
  EXPECT_FALSE(frm_->isVisible());
  EXPECT_FALSE(wdm_->vd87db.connected());
  closeWindow();
  EXPECT_EQ(readRows(root_, "virmem"), scratch);
  EXPECT_TRUE(readRows(company_, "apori").empty());

  dialogs_.shown.clear();
  openWindow(2);
  type("ACME");
  key(Qt::Key_Return);
  dialogs_.answers = {ui::Answer::kNo};
  key(Qt::Key_Escape);
  EXPECT_EQ(messages(), QStringList{"Voulez-vous fermer la fenêtre et abandonner la saisie en cours?"});
}

TEST_F(WindowTest, MnemonicsReachTheButtonsInBothLanguages) {
  openWindow();
  type("ACME");
  key(Qt::Key_Return);
  mnemonic(Qt::Key_C);  // Cancel
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "");
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);
  mnemonic(Qt::Key_X);  // Exit
  EXPECT_FALSE(frm_->isVisible());
  closeWindow();

  openWindow(2);
  EXPECT_EQ(frm_->CancelBtn->text(), "&Annuler");
  EXPECT_EQ(frm_->Exit_btn->text(), "&Quitter");
  type("ACME");
  key(Qt::Key_Return);
  mnemonic(Qt::Key_A);  // Annuler
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "");
}

// ---------------------------------------------------------------- errors

TEST_F(WindowTest, ARecordLockedErrorClosesTheWindowWithoutTheErrorWindow) {
  openWindow();
  keyPurchase("ACME", "L1", "5");
  frm_->posting().beforeCommit = [] { throw db::DatabaseError(pdx::Status(pdx::code::kRecordLocked, "held")); };
  bool errorWindowShown = false;
  whenVisible(error_.get(), [&] {
    errorWindowShown = true;
    error_->Button1->click();
  });
  click(frm_->PostBtn);
  EXPECT_FALSE(frm_->isVisible());
  EXPECT_FALSE(errorWindowShown);
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_TRUE(readRows(company_, "apori").empty());
}

TEST_F(WindowTest, AnErrorOtherThanTheDatabasesIsDroppedAndTheDocumentStays) {
  openWindow();
  keyPurchase("ACME", "O1", "5");
  frm_->posting().beforeCommit = [] { throw std::runtime_error("not the database"); };
  click(frm_->PostBtn);
  EXPECT_TRUE(frm_->isVisible());
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(frm_->InvoiceNum->text(), "O1");
  EXPECT_EQ(shown(frm_->TotalDBEdit), money("5"));
  EXPECT_TRUE(readRows(company_, "apori").empty());
  EXPECT_TRUE(readRows(company_, "tjld").empty());
  // Nothing is left half done: the next try posts.
  frm_->posting().beforeCommit = nullptr;
  click(frm_->PostBtn);
  EXPECT_EQ(readRows(company_, "apori").size(), 1u);
}

TEST_F(WindowTest, AFailedPostingSpeaksTheUsersLanguage) {
  openWindow(2);
  keyPurchase("ACME", "E2", "5");
  frm_->posting().beforeCommit = [] { throw db::DatabaseError(pdx::Status(0x2102, "disque plein")); };
  QString text;
  whenVisible(error_.get(), [&] {
    text = error_->ErrMess->toPlainText();
    error_->Button1->click();
  });
  click(frm_->PostBtn);
  EXPECT_EQ(text, "Le report de la transaction a échoué; rien n'a été enregistré.\ndisque plein");
}

// ---------------------------------------------------------------- the order of exits and clicks

TEST_F(WindowTest, PostClickedFromTheInvoiceFieldChecksTheInvoiceFirst) {
  openWindow();
  type("ACME");
  key(Qt::Key_Return);
  enter(frm_->debitCells[1], "30");
  enter(frm_->creditCells[0], "30");
  enter(frm_->InvoiceNum, "inv5");
  click(frm_->PostBtn);
  EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  ASSERT_EQ(readRows(company_, "cap").size(), 1u);
  EXPECT_EQ(textOf(readRows(company_, "cap")[0], "Cap_invoice"), "INV5");
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);

  // The same invoice again: refused once, by the field, and nothing written.
  type("ACME");
  key(Qt::Key_Return);
  enter(frm_->debitCells[1], "30");
  enter(frm_->creditCells[0], "30");
  enter(frm_->InvoiceNum, "INV5");
  click(frm_->PostBtn);
  EXPECT_EQ(messages(), QStringList{"Invoice number already in database."});
  EXPECT_EQ(focused(), frm_->InvoiceNum);
  EXPECT_EQ(readRows(company_, "apori").size(), 1u);
}

TEST_F(WindowTest, ADueDateTypedRightAfterEnterIsKept) {
  openWindow();
  type("ACME");
  key(Qt::Key_Return);
  key(Qt::Key_Return);
  type("D1");
  key(Qt::Key_Return);
  ASSERT_EQ(focused(), frm_->TransDate);
  // Typed at once, before the screen caught up with the date's rule.
  QTest::keyClick(focused(), Qt::Key_Return);
  type("15032001");
  key(Qt::Key_Return);
  EXPECT_EQ(frm_->TransDueDate->text(), "15/03/2001");
  EXPECT_EQ(focused(), frm_->DebCreRef);
}

TEST_F(WindowTest, ASupplierCodeInLowerCaseIsFound) {
  openWindow();
  type("acme");
  key(Qt::Key_Return);
  EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "ACME");
  EXPECT_EQ(frm_->supplierLabels[0]->text(), "Acme Outillage");
}

// ---------------------------------------------------------------- lookups, mail, quick link

TEST_F(WindowTest, LookupsByTheirButtonsAndByDoubleClick) {
  openWindow();
  answerLookup("inc.");
  click(frm_->SearchBtn);
  QApplication::setActiveWindow(frm_.get());
  settle();
  EXPECT_EQ(frm_->Norvadeldbedit1->text(), "DEF");
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);
  key(Qt::Key_Tab);
  EXPECT_EQ(frm_->accountEdits[1]->text(), "5100");  // DEF's own account on line 2

  // The account lookup's button fills the line the user is in.
  click(frm_->descriptionEdits[3]);
  answerLookup("bank");
  click(frm_->SearchAccountBtn);
  QApplication::setActiveWindow(frm_.get());
  settle();
  EXPECT_EQ(frm_->accountEdits[3]->text(), "1000");
  EXPECT_EQ(frm_->descriptionEdits[3]->text(), "Bank");

  // A double click in an account looks it up for that line.
  answerLookup("bank charges");
  QTest::mouseDClick(frm_->accountEdits[10], Qt::LeftButton);
  QApplication::setActiveWindow(frm_.get());
  settle();
  EXPECT_EQ(frm_->accountEdits[10]->text(), "5700");
  EXPECT_EQ(frm_->descriptionEdits[10]->text(), "Bank charges");
}

TEST_F(WindowTest, EMailNeedsASupplierAndSaysWhenItCannotBeSent) {
  openWindow();
  EXPECT_FALSE(frm_->SpeedButton2->isEnabled());
  type("DEF");
  key(Qt::Key_Return);
  ASSERT_TRUE(frm_->SpeedButton2->isEnabled());
  click(frm_->SpeedButton2);
  EXPECT_EQ(messages(), QStringList{"This supplier has no e-mail address."});
  EXPECT_TRUE(services_.programs.calls().isEmpty());

  dialogs_.shown.clear();
  click(frm_->CancelBtn);
  EXPECT_FALSE(frm_->SpeedButton2->isEnabled());
  type("ACME");
  key(Qt::Key_Return);
  services_.programs.replies().add(os::Status(os::error::kNoAssociation, "mailto:achats@acme.example"));
  click(frm_->SpeedButton2);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].kind, ui::MessageKind::kError);
  EXPECT_TRUE(dialogs_.shown[0].text.startsWith("The mail program could not be opened.\n"))
      << dialogs_.shown[0].text.toStdString();
  EXPECT_EQ(services_.programs.calls(), QStringList{"open mailto:achats@acme.example"});
}

QWidget* quickLinkWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == "Quick Link") return w;
  return nullptr;
}

TEST_F(WindowTest, QuickLinkOpensItsWindowAndTheWindowKeepsHandlingErrors) {
  openWindow();
  // What the outside library may leave behind as the application's handler.
  bool foreignHandlerCalled = false;
  ui::Application::setExceptionHandler([&](std::exception_ptr) { foreignHandlerCalled = true; });
  click(frm_->SpeedButton3);
  QWidget* link = quickLinkWindow();
  ASSERT_NE(link, nullptr);
  EXPECT_FALSE(frm_->SpeedButton3->isEnabled());
  link->close();
  settle();
  EXPECT_TRUE(frm_->SpeedButton3->isEnabled());

  // The window's own handler is back: a database error closes it.
  ui::Application::handleException(std::make_exception_ptr(db::DatabaseError(pdx::Status(pdx::code::kRecordLocked, "held"))));
  EXPECT_FALSE(foreignHandlerCalled);
  EXPECT_FALSE(frm_->isVisible());
}

// ---------------------------------------------------------------- waiting for another user

TEST_F(WindowTest, WaitingForASupplierHeldByAnotherUserKeepsTheWindowAlive) {
  auto other = pdx::Directory::open(company_, pdx::Env::unsynced());
  ASSERT_TRUE(other.ok());
  auto sup = (*other)->openTable("sup");
  ASSERT_TRUE(sup.ok());
  ASSERT_TRUE((*sup)->findKey({pdx::Value::text("ACME")}).ok());
  ASSERT_TRUE((*sup)->edit().ok());

  openWindow();
  keyPurchase("ACME", "W1", "5");
  frm_->posting().lockPatienceMs = 5000;
  // Were the question asked, the posting would be given up.
  dialogs_.answers = {ui::Answer::kNo};
  // The other user lets go while the window waits; this timer runs only if
  // the window goes on handling its events meanwhile.
  Qt::CursorShape cursorMeanwhile = Qt::ArrowCursor;
  QTimer::singleShot(150, [&] {
    if (QApplication::overrideCursor()) cursorMeanwhile = QApplication::overrideCursor()->shape();
    (void)(*sup)->cancel();
  });
  click(frm_->PostBtn);
  EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  EXPECT_EQ(readRows(company_, "apori").size(), 1u);
  EXPECT_EQ(cursorMeanwhile, Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace vd87::testing
