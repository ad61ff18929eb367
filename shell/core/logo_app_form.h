// TLogoAppForm: the shell's main window and the life of a shell process.
//
// Creation reads the machine settings, derives the program and data folders,
// builds the main menu from the option catalogue and translates the window.
// The first activation opens the data root, takes a session slot, runs the
// first-run set-up when no company exists, logs the user in, applies the
// user's language, company and printer, and builds the Tools menu. Choosing
// an option launches its module library (launch.cpp). Closing writes the
// window placement back to the settings.
//
// The windows and steps of the menu security, language, company, tracker
// and desktop features hang on the seams marked "seam" below; until they are
// built those steps leave the shell as it is.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "db/database.h"
#include "db/table.h"
#include "option_catalogue.h"
#include "password_dialogs.h"
#include "shared/link_section.h"
#include "shell_settings.h"
#include "shortcut_dialog.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace os {
class Library;
}

namespace shell {

// Message lines of Error_Messages the shell uses.
namespace message {
inline constexpr int kPictureNotLoaded = 0;
inline constexpr int kOptionNotAllowed = 3;
inline constexpr int kNoTrackerDatabase = 11;
inline constexpr int kPayrollLibraryMissing = 12;
inline constexpr int kPayrollDepartmentsMissing = 13;
inline constexpr int kWizardMessages = 18;
// The suffix of an application menu's options in the shortcut list is line
// kMenuSuffixBase + the menu's Tag.
inline constexpr int kMenuSuffixBase = 20;
inline constexpr int kNoSessionSlot = 30;
inline constexpr int kNoUsers = 31;
inline constexpr int kDataRootIncomplete = 32;
}  // namespace message

class TLogoAppForm : public ui::MainForm {
 public:
  // Creation steps run here (settings, folders, translation, menus, printers).
  // `programFolder` is where the executable and the module libraries lie.
  explicit TLogoAppForm(const QString& programFolder, QWidget* parent = nullptr);
  ~TLogoAppForm() override;

  // ---- what tests and the other shell parts read
  const ShellSettings& settings() const { return settings_; }
  shared::SessionContext& context() { return context_; }
  QString programDir() const { return settings_.programDir(); }
  QString dataDir() const { return settings_.dataDir(); }
  QString languageCode() const { return languageCode_; }
  int sessionId() const { return context_.sessionId(); }
  bool desktopSaveAllowed() const { return desktopSaveAllowed_; }
  bool desktopChanged() const { return desktopChanged_; }
  bool ready() const { return ready_; }
  const QStringList& companyList() const { return companyList_; }
  // Line `n` of the message list.
  QString messageLine(int n) const;
  // The greeting caption for `today`.
  QString greeting(const QDate& today, bool brennick = false) const;

  // ---- the components of the window
  ui::MainMenu* MainMenu1;
  ui::MenuItem* menus[8];  // the application menus, by position
  ui::MenuItem* Options1;
  ui::MenuItem* Company1;
  ui::MenuItem* Printer1;
  ui::MenuItem* Language1;
  ui::MenuItem* Desktop1;
  ui::MenuItem* ChangeProperties1;
  ui::MenuItem* AddShortcut1;
  ui::MenuItem* Tools1;
  ui::MenuItem* Help1;
  ui::MenuItem* HelpTopics1;
  ui::MenuItem* About1;
  ui::MenuItem* ContactUs1;
  ui::MenuItem* Exit1;
  ui::Memo* Error_Messages;
  ui::StatusBar* StatusBar1;
  ui::Label* Wallpaper;
  TPasswordDlg* PasswordDlg;
  TCompPasswd_Frm* CompPasswd_Frm;
  TShortcutDlg* ShortcutDlg;

  // ---- operations
  // The data and login sequence; runs once (the session table stays open).
  void FormActivate();
  // Launches the option `code` (an entry's name): the launch procedure.
  void ExecuteOption(const QString& code);
  // A catalogue entry of type "program": starts <code> from its directory.
  void ExecuteExe(const QString& code);
  // The catalogue entry of the Tools-menu maintenance module.
  void ExecuteToolsMaintenance();
  void Load_applications();
  void ChgLang_applications();
  void HelpClick();
  // Exit: allows the desktop save and closes the window.
  void ExitClick();
  // Fills the shortcut lists from the visible menus.
  void FillShortcutLists(bool keepDisabled);

  // Test hooks: run instead of a modal loop where the shell would wait for
  // the user (the company-creation module's window is a module, not these).
  std::function<void()> onFirstRunWizard;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildApplicationMenu(int index);
  void loadWallpaper();
  void applyMenuVisibility();
  void fillPrinters();
  void translateAll();
  pdx::Status translate(ui::ComponentOwner& form);
  bool takeSessionSlot();
  bool login();
  void applyUserLanguage();
  void setUpCompany();
  void applyUserPrinter();
  void setGreeting(bool brennick = false);
  void refreshCompanies(const QString& code);
  void rebuildCompanyMenu();
  void showMessage(int line, bool information = false);
  void showText(const QString& text);
  void databaseError(const pdx::Status& status);
  // The launch steps after the name rules: load, call, unload.
  // Steps 6 to 8 of the launch: load, call, unload; false when it raised.
  bool launchLibrary(const QString& code);
  QString libraryPath(const QString& library) const;
  // Opens the application catalogue through the system database; reports a
  // failure when asked to.
  bool openCatalogue(db::Table& apps, bool reportFailure);
  ui::MenuItem* findOption(const QString& code) const;

  // ---- seams for the features built later
  void applyMenuSecurity() {}           // seam: menu security (every option stays enabled)
  void buildLanguageMenu() {}           // seam: the Options > Language entries
  void applyInternationalWording() {}   // seam: "intl" wording of labels
  void loadTrackerMenu() {}             // seam: tracker databases of the company
  QString selectedTrackerAccount() const { return {}; }  // seam: none can be chosen yet
  void restoreDesktop() {}              // seam: the user's saved desktop
  void saveDesktop() {}                 // seam: written on close when changed
  void CompanyClick(int) {}             // seam: switching to another company
  void PrinterClick(int) {}             // seam: choosing another printer

  QString programFolder_;
  ShellSettings settings_;
  shared::SessionContext context_;
  QString languageCode_;
  bool desktopSaveAllowed_ = true;
  bool desktopChanged_ = false;
  bool ready_ = false;
  bool maximisedForSmallScreen_ = false;
  QStringList companyList_;
  QStringList printerList_;
  int printerIndex_ = -1;

  db::Database menumydb_{"menumydb"};
  db::Database menudata_{"menudata"};
  db::Table session_{"session"};
  db::Table comp_{"comp"};
  db::Table user_{"user"};
  db::Table desktop_{"Desktop"};
  db::Table languages_{"Languages"};
};

}  // namespace shell
