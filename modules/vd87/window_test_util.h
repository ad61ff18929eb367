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
  // A left click on `w` (its centre), then the window settles.
  void click(QWidget* w);
  // Clicks into `w` and types `text` over what it holds.
  void enter(QWidget* w, const QString& text);
  QStringList messages() const;

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
