// What the shell's tests share: an installed suite under a temporary prefix
// (<prefix>/Tallimoor/{bin,data,languages}), recorded OS services and
// dialogs, and module libraries that stand in for the real ones.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <QStringList>
#include <functional>
#include <ostream>
#include <memory>
#include <vector>

#include "data_root.h"
#include "logo_app_form.h"
#include "os/recorders.h"
#include "os/services.h"
#include "test_util.h"
#include "ui/dialogs.h"

// Texts in test failures as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace shell::testing {

QApplication* app();

// What the last call of a stand-in module received.
struct ModuleCall {
  int calls = 0;
  QString companyCode, companyName, qualifier, userName, printerIndex, langSuffix;
  int language = 0;
  int sessionId = 0;
  int result = -1;
  bool raise = false;
  std::function<void()> during;  // what the module does while it runs
};
extern ModuleCall moduleCall;

// The entry point of every stand-in module library.
extern "C" int TestShowDllForm(TLinkSection link);

admin::NewUser user(const char* password, const char* code, const char* name, int language = 0, int company = 1,
                    std::string security = {});

class ShellTest : public ::testing::Test {
 protected:
  ShellTest();
  ~ShellTest() override;

  // A data root with `users` and `sessions` slots, and company 1.
  void makeDataRoot(std::vector<admin::NewUser> users = {}, int sessions = 3);
  void addUser(const admin::NewUser& u);
  // A company row (and its folder with the ledger tables).
  void addCompany(int code, const std::string& name, const std::string& password = {});
  // `code`.so in the program folder, answering with TestShowDllForm.
  void addModule(const QString& code);
  // A shell window through its first activation; asserts it got ready.
  std::unique_ptr<TLogoAppForm> startShell(const std::function<int(TPasswordDlg&)>& login = {});

  // The demonstration data root (two companies, five users).
  void makeDemo();

  // Messages shown, in order.
  QStringList messages() const;

  pdx::testing::TempDir dir_;
  QString prefix_, programDir_, dataDir_, savedCurrent_;
  // Every OS service recorded; the shortcuts below point into it.
  os::RecordedServices services_;
  os::MemoryMachineSettings* settings_ = &services_.settings;
  os::RecordingLibraryLoader* loader_ = &services_.libraries;
  os::ScriptedPrinters* printers_ = &services_.printers;
  ui::RecordingDialogs dialogs_;
  ui::Dialogs* previousDialogs_;
};

// Runs `act` from the event loop as soon as it returns true (it is retried
// every few milliseconds, for at most `timeoutMs`): the way a test answers a
// modal window that the code under test opens and waits on.
void whenReady(const std::function<bool()>& act, int timeoutMs = 5000);
// Types `text` into `widget` and presses Return there, once `dialog` shows.
void answerDialog(QWidget* dialog, QWidget* widget, const QString& text);

// Every option entry of the application menus (the entries of their group
// sub-menus), by name.
std::vector<ui::MenuItem*> allOptions(const TLogoAppForm& window);
// The names of the enabled ones / of the enabled quick-access entries.
QStringList enabledOptions(const TLogoAppForm& window);
QStringList enabledQuickAccess(const TLogoAppForm& window);
// The non-empty codes of the shortcut lists.
QStringList shortcutCodes(const TLogoAppForm& window);

// Presses Alt + the mnemonic of top-level `entry` in `window`, then the
// mnemonics of `path` in the menus that open; true when each opened (the
// last one may be a command, which is then chosen).
bool openByKeyboard(TLogoAppForm& window, ui::MenuItem* entry, const std::vector<ui::MenuItem*>& path = {});
// Closes every open menu with Escape.
void closeMenus();

}  // namespace shell::testing
