// The purchases window offscreen, keyed as a user keys it: typing, Enter and
// Tab, the buttons. What was written is read back from the tables through a
// directory of the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <functional>
#include <QDir>
#include <QLibrary>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "db/error.h"
#include "db/formats.h"
#include "entry_test_util.h"
#include "os/recorders.h"
#include "os/services.h"
#include "shared/module_entry.h"
#include "shared/window_utils.h"
#include "small_windows.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "vd87_frm.h"

namespace vd87::testing {
namespace {

ui::GuardedApplication& app() {
  static int argc = 1;
  static char name[] = "vd87_window_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt must not be torn down by the exit handlers after
  // its own statics are gone.
  static auto* a = new ui::GuardedApplication(argc, argv);
  return *a;
}

void settle() {
  for (int i = 0; i < 6; ++i) QCoreApplication::processEvents();
}

// Runs `script` once `window` shows (inside its modal loop).
void whenVisible(QWidget* window, std::function<void()> script) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, window, script] {
    if (!window->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    script();
  });
  timer->start();
}

class WindowTest : public EntryTest {
 protected:
  WindowTest() {
    app();
    previousDir_ = QDir::currentPath();
    // The translation tables lie in ../languages from the program folder.
    const QString bin = QString::fromStdString(tmp_.path()) + "/Tallimoor/bin";
    QDir().mkpath(bin);
    QDir::setCurrent(bin);
  }
  ~WindowTest() override {
    closeWindow();
    ui::Application::setExceptionHandler(nullptr);
    QDir::setCurrent(previousDir_);
  }

  void openWindow(int language = 1) {
    shared::SessionContext& c = shared::Context();
    c.clear();
    c.setCompanyCode("1");
    c.setCompanyName("Quincaillerie Tremblay");
    c.setDataDir(QString::fromStdString(root_));
    c.setProgramDir(QDir::currentPath());
    c.setUserName("Marie Tremblay");
    c.setLanguage(language);
    c.setLangSuffix(language == 2 ? "fr" : "en");
    c.setSessionId(1);
    wdm_ = std::make_unique<Tvd87_dm>();
    period_ = std::make_unique<Tperiod_frm>();
    error_ = std::make_unique<TErrorForm>();
    frm_ = std::make_unique<Tvd87_frm>(*wdm_, *period_, *error_);
    frm_->installExceptionHandler();
    shared::LoadRegionalSettings();
    frm_->applyDateMasks();
    frm_->rules().clock = [this] { return pdx::Timestamp::from(today_, pdx::Time{0}); };
    frm_->show();
    QApplication::setActiveWindow(frm_.get());
    settle();
  }
  void closeWindow() {
    frm_.reset();
    error_.reset();
    period_.reset();
    wdm_.reset();
  }

  // Types `text` into the focused control.
  void type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
  void key(Qt::Key k) {
    QTest::keyClick(QApplication::focusWidget(), k);
    settle();
  }
  QWidget* focused() { return QApplication::focusWidget(); }
  // Puts the focus on `w` and types `text` over what it holds.
  void enter(QWidget* w, const QString& text) {
    w->setFocus();
    settle();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
    type(text);
  }
  QStringList messages() {
    QStringList out;
    for (const auto& s : dialogs_.shown) out << s.text;
    return out;
  }

  ui::RecordingDialogs dialogs_;
  ui::ScopedDialogs scoped_{&dialogs_};
  os::RecordedServices services_;
  QString previousDir_;
  std::unique_ptr<Tvd87_dm> wdm_;
  std::unique_ptr<Tperiod_frm> period_;
  std::unique_ptr<TErrorForm> error_;
  std::unique_ptr<Tvd87_frm> frm_;
};

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

  // Out of balance by a cent: refused, nothing written.
  frm_->PostBtn->setFocus();
  key(Qt::Key_Space);
  EXPECT_EQ(messages(), QStringList{"Invoice is out of balance."});
  EXPECT_EQ(dialogs_.shown[0].kind, ui::MessageKind::kPlain);
  EXPECT_TRUE(readRows(company_, "apori").empty());

  enter(frm_->debitCells[1], "100");
  frm_->PostBtn->setFocus();
  settle();
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
  type("DEF");
  key(Qt::Key_Return);
  enter(frm_->InvoiceNum, "E1");
  enter(frm_->debitCells[1], "5");
  enter(frm_->creditCells[0], "5");
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
  EXPECT_TRUE(text.contains("Nothing of this document was written")) << text.toStdString();
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
  EXPECT_EQ(frm_->PostBtn->text(), "Reporter");
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

}  // namespace
}  // namespace vd87::testing

namespace vd87::testing {
namespace {

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

}  // namespace
}  // namespace vd87::testing

namespace vd87::testing {
namespace {

// Answers the next lookup window: types `search` and presses Enter.
void answerLookup(const QString& search) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, search] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != "PickDialog") return;
    timer->stop();
    timer->deleteLater();
    auto* box = modal->findChild<QLineEdit*>("Search");
    QTest::keyClicks(box, search);
    QTest::keyClick(box, Qt::Key_Return);
  });
  timer->start();
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
  frm_->InvoiceNum->setFocus();
  settle();
  key(Qt::Key_F2);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace vd87::testing
