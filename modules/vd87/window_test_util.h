// The purchases window offscreen, for tests that key into it as a user does:
// real keys, focus moves and clicks, with message boxes recorded and the
// operating system's services scripted. What was written is read back from
// the tables through a directory of the test's own (EntryTest).
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "entry_test_util.h"
#include "os/recorders.h"
#include "small_windows.h"
#include "ui/dialogs.h"
#include "vd87_frm.h"

namespace vd87::testing {

// Lets the event loop run the work posted so far (the window's focus steps
// among it).
void settle();

// Runs `script` once `window` shows (inside its modal loop).
void whenVisible(QWidget* window, std::function<void()> script);

// Answers the next lookup window: types `search` and presses Enter.
void answerLookup(const QString& search);

// Closes every lookup window that opens while it lives, counting them, so
// that a lookup opened by mistake fails the test instead of waiting forever.
class LookupTrap {
 public:
  LookupTrap();
  ~LookupTrap();
  int opened() const { return *opened_; }

 private:
  std::shared_ptr<int> opened_;
  class QTimer* timer_;
};

class WindowTest : public EntryTest {
 protected:
  WindowTest();
  ~WindowTest() override;

  void openWindow(int language = 1);
  void closeWindow();

  QWidget* focused() { return QApplication::focusWidget(); }
  // Types `text` into the focused control.
  void type(const QString& text);
  // Presses `k` on the focused control and lets the window settle.
  void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Alt+`letter`: a button's mnemonic clicks it after a short animation,
  // which this waits for.
  void mnemonic(Qt::Key letter);
  // A left click on `w` (its centre), then the window settles.
  void click(QWidget* w);
  // Clicks into `w` and types `text` over what it holds.
  void enter(QWidget* w, const QString& text);
  QStringList messages() const;
  // Keys a purchase of `amount` from `supplier` with invoice `invoice`: the
  // code and Enter, then clicks into the invoice, the debit of line 2 and
  // the credit of line 1 (the A/P line).
  void keyPurchase(const QString& supplier, const QString& invoice, const QString& amount);
  // Checks "Direct/cash purchase" and keys a purchase paid from the bank:
  // the invoice, the memo "Essence", the bank account on line 10 credited
  // and line 2 debited with `amount`.
  void keyCashPurchase(const QString& invoice, const QString& amount);

  // The amount a cell shows (blank: 0).
  static db::Money shown(const QLineEdit* cell);
  // The totals the window shows equal the sums of the amounts its lines show.
  ::testing::AssertionResult totalsMatchLines();

  ui::RecordingDialogs dialogs_;
  ui::ScopedDialogs scoped_{&dialogs_};
  os::RecordedServices services_;
  QString previousDir_;
  std::unique_ptr<Tvd87_dm> wdm_;
  std::unique_ptr<Tperiod_frm> period_;
  std::unique_ptr<TErrorForm> error_;
  std::unique_ptr<Tvd87_frm> frm_;
};

}  // namespace vd87::testing
