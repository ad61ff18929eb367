#include "window_test_util.h"

#include <QDir>
#include <QTest>
#include <QTimer>

#include "shared/module_entry.h"
#include "shared/window_utils.h"
#include "ui/application.h"
#include "ui/currency_field.h"

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

QWidget* openLookup() {
  QWidget* modal = QApplication::activeModalWidget();
  return modal && modal->objectName() == "PickDialog" ? modal : nullptr;
}

}  // namespace

void settle() {
  for (int i = 0; i < 6; ++i) QCoreApplication::processEvents();
}

void whenVisible(QWidget* window, std::function<void()> script) {
  // Goes with the window when it never shows.
  auto* timer = new QTimer(window);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, window, script] {
    if (!window->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    script();
  });
  timer->start();
}

void answerLookup(const QString& search) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, search] {
    QWidget* lookup = openLookup();
    if (!lookup) return;
    timer->stop();
    timer->deleteLater();
    auto* box = lookup->findChild<QLineEdit*>("Search");
    QTest::keyClicks(box, search);
    QTest::keyClick(box, Qt::Key_Return);
  });
  timer->start();
}

LookupTrap::LookupTrap() : opened_(std::make_shared<int>(0)), timer_(new QTimer) {
  timer_->setInterval(5);
  QObject::connect(timer_, &QTimer::timeout, [opened = opened_] {
    if (QWidget* lookup = openLookup()) {
      ++*opened;
      QTest::keyClick(lookup, Qt::Key_Escape);
    }
  });
  timer_->start();
}

LookupTrap::~LookupTrap() { delete timer_; }

WindowTest::WindowTest() {
  app();
  previousDir_ = QDir::currentPath();
  // The translation tables lie in ../languages from the program folder.
  const QString bin = QString::fromStdString(tmp_.path()) + "/Tallimoor/bin";
  QDir().mkpath(bin);
  QDir::setCurrent(bin);
}

WindowTest::~WindowTest() {
  closeWindow();
  ui::Application::setExceptionHandler(nullptr);
  QDir::setCurrent(previousDir_);
}

void WindowTest::openWindow(int language) {
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

void WindowTest::closeWindow() {
  frm_.reset();
  error_.reset();
  period_.reset();
  wdm_.reset();
}

void WindowTest::type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }

void WindowTest::key(Qt::Key k, Qt::KeyboardModifiers modifiers) {
  QTest::keyClick(QApplication::focusWidget(), k, modifiers);
  settle();
}

void WindowTest::mnemonic(Qt::Key letter) {
  QTest::keyClick(QApplication::focusWidget(), letter, Qt::AltModifier);
  QTest::qWait(250);
  settle();
}

void WindowTest::click(QWidget* w) {
  QTest::mouseClick(w, Qt::LeftButton);
  settle();
}

void WindowTest::enter(QWidget* w, const QString& text) {
  click(w);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
  type(text);
}

QStringList WindowTest::messages() const {
  QStringList out;
  for (const auto& s : dialogs_.shown) out << s.text;
  return out;
}

void WindowTest::keyPurchase(const QString& supplier, const QString& invoice, const QString& amount) {
  type(supplier);
  key(Qt::Key_Return);
  enter(frm_->InvoiceNum, invoice);
  enter(frm_->debitCells[1], amount);
  enter(frm_->creditCells[0], amount);
}

void WindowTest::keyCashPurchase(const QString& invoice, const QString& amount) {
  click(frm_->CheckBox1);
  enter(frm_->InvoiceNum, invoice);
  enter(frm_->TransMemo, "Essence");
  enter(frm_->accountEdits[9], "1000");
  enter(frm_->creditCells[9], amount);
  enter(frm_->debitCells[1], amount);
}

db::Money WindowTest::shown(const QLineEdit* cell) {
  return ui::CurrencyField::parseAmount(cell->text()).value_or(db::Money());
}

::testing::AssertionResult WindowTest::totalsMatchLines() {
  db::Money debits, credits;
  for (size_t i = 0; i < frm_->debitCells.size(); ++i) {
    debits += shown(frm_->debitCells[i]);
    credits += shown(frm_->creditCells[i]);
  }
  const db::Money totalDebit = shown(frm_->TotalDBEdit);
  const db::Money totalCredit = shown(frm_->TotalCDEdit);
  if (totalDebit == debits && totalCredit == credits) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the totals show " << totalDebit.toString(2) << " / "
                                       << totalCredit.toString(2) << ", the lines sum to " << debits.toString(2)
                                       << " / " << credits.toString(2);
}

}  // namespace vd87::testing
