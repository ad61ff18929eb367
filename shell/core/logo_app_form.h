// TLogoAppForm: the shell's main window and the life of a shell process.
//
// Creation reads the machine settings, derives the program and data folders,
// builds the main menu from the option catalogue and translates the window.
// The first activation opens the data root, takes a session slot, runs the
// first-run set-up when no company exists, logs the user in, applies the
// user's language, menu security, company and printer, and builds the Tools
// menu. Choosing an option launches its module library (launch.cpp). Closing
// writes the window placement back to the settings.
//
// The implementation is split by feature: logo_app_form.cpp (creation,
// activation, login, closing), launch.cpp (options, programs, Tools menu,
// help), menu_security.cpp (the security pass and the shortcut lists),
// language_switch.cpp (the language menu, the switch, the international
// wording) and company_selection.cpp (company, printer and tracker
// databases). The desktop (quick lists, shortcuts and their saving) is a DesktopPart
// the window is given when it is made.
#pragma once

#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>

#include "about_box.h"
#include "contact_us.h"
#include "db/data_source.h"
#include "default_info_wizard.h"
#include "db/database.h"
#include "desktop_part.h"
#include "db/table.h"
#include "option_catalogue.h"
#include "password_dialogs.h"
#include "shared/link_section.h"
#include "shell_settings.h"
#include "shortcut_dialog.h"
#include "ui/controls.h"
#include "user_security_manager.h"
#include "ui/form.h"
#include "ui/menu.h"
#include "ui/wallpaper.h"

namespace os {
class Library;
}

namespace shell {

// Message lines of Error_Messages the shell uses.
namespace message {
inline constexpr int kPictureNotLoaded = 0;
inline constexpr int kShortcutNotCreated = 1;
inline constexpr int kOptionNotAllowed = 3;
inline constexpr int kNoTrackerDatabase = 11;
inline constexpr int kPayrollLibraryMissing = 12;
inline constexpr int kPayrollDepartmentsMissing = 13;
inline constexpr int kWizardMessages = 18;  // a rate of the defaults wizard is no number
// The suffix of an application menu's options in the shortcut list is line
// kMenuSuffixBase + the menu's Tag.
inline constexpr int kMenuSuffixBase = 20;
inline constexpr int kNoSessionSlot = 30;
inline constexpr int kNoUsers = 31;
inline constexpr int kNoCompany = 32;
inline constexpr int kDesktopDamaged = 33;
inline constexpr int kDesktopNotSaved = 34;
inline constexpr int kDataRootIncomplete = 35;
}  // namespace message

// The orders in which the shortcut lists gather the options of the menus.
enum class ShortcutListOrder {
  // The security pass and the language switch: General ledger, receivables,
  // payables, Invoicing, System manager, then Payroll, Tracker and Job cost
  // unless their machine setting is "N".
  kSecurity,
  // The Tools-menu maintenance module: General ledger, receivables, payables,
  // System manager, Invoicing, then Payroll, Tracker and Job cost when their
  // machine setting is "Y".
  kToolsMaintenance,
};

class TLogoAppForm : public ui::MainForm {
 public:
  // The window's designed size; it never opens larger than its screen.
  static constexpr QSize kDesignedSize{750, 520};

  // Creation steps run here (settings, folders, translation, menus, printers).
  // `programFolder` is where the executable and the module libraries lie;
  // `desktop` makes the desktop shown on the wallpaper (none: a bare one).
  explicit TLogoAppForm(const QString& programFolder, const DesktopFactory& desktop = {}, QWidget* parent = nullptr);
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
  // The user changed the desktop: it is saved when the window closes.
  void markDesktopChanged() { desktopChanged_ = true; }
  DesktopPart* desktopPart() const { return desktopPart_.get(); }
  // User_code of the logged-in user ("" before the login).
  QString userCode() const { return userCode_; }
  bool ready() const { return ready_; }
  const QStringList& companyList() const { return companyList_; }
  const QStringList& printerList() const { return printerList_; }
  int printerIndex() const { return printerIndex_; }
  // The tracker databases of the company (accounts as text, in menu order)
  // and the one chosen, or "".
  const QStringList& trackerList() const { return trackerList_; }
  QString selectedTrackerAccount() const { return selectedTracker_; }
  // The option entry (a group sub-menu's entry) at `position` of group
  // `group` of application menu `menu`, or null.
  ui::MenuItem* option(int menu, int group, int position) const;
  // Position of the first group sub-menu of application menu `menu`.
  static int firstGroupOf(int menu);
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
  ui::MenuItem* OpenDatabase1;  // Tracker > Open database
  ui::MenuItem* Tools1;
  ui::MenuItem* Help1;
  ui::MenuItem* HelpTopics1;
  ui::MenuItem* About1;
  ui::MenuItem* ContactUs1;
  ui::MenuItem* Exit1;
  ui::Memo* Error_Messages;
  ui::StatusBar* StatusBar1;
  ui::TWallpaper* Wallpaper1;
  TAboutBox* AboutBox;
  TPasswordDlg* PasswordDlg;
  TCompPasswd_Frm* CompPasswd_Frm;
  TContactUs* ContactUs;
  TfrmDefaultInfo* frmDefaultInfo;
  TShortcutDlg* ShortcutDlg;
  TUserSecurityManager UserSecurityManager1;

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
  // Help > About and Help > Contact us.
  void AboutClick();
  void ContactUsClick();
  // Exit: allows the desktop save and closes the window.
  void ExitClick();
  // Empties the shortcut lists and fills them again from the menus, in
  // `order`; with keepDisabled on, a disabled option keeps its name and gets
  // an empty code.
  void FillShortcutLists(bool keepDisabled, ShortcutListOrder order);

  // Options > Company, Options > Printer, Options > Language and Tracker >
  // Open database: each entry's handler, given the entry.
  void CompanyClick(ui::MenuItem* entry);
  void PrinterClick(ui::MenuItem* entry);
  void LanguageClick(ui::MenuItem* entry);
  void OpendataClick(ui::MenuItem* entry);
  // The tracker databases of the company under Tracker > Open database;
  // `trkdb` is created when the company has none.
  void Load_database_menu();
  // The generic wording of a few options when "intl" is set.
  void Internationalize();
  // Shows line `line` of the message list in a message box.
  void showMessage(int line, bool information = false);
  // Reports an engine error through the platform's error report.
  void databaseError(const pdx::Status& status);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildApplicationMenu(int index);
  void loadWallpaper();
  void applyMenuVisibility();
  // The menus of the optional modules as the machine settings offer them,
  // the construction payroll's entries included (after the login).
  void applyOptionalModuleMenus();
  void fillPrinters();
  void translateAll();
  pdx::Status translate(ui::ComponentOwner& form);
  // Qt's own dialogs and buttons in the language of `code`.
  void useToolkitLanguage(const QString& code);
  bool takeSessionSlot();
  // The first start: company creation, then the defaults wizard; false when
  // still no company exists.
  bool firstRun();
  bool login();
  void applyUserLanguage();
  void setUpCompany();
  void applyUserPrinter();
  void setGreeting(bool brennick = false);
  void refreshCompanies(const QString& code);
  void rebuildCompanyMenu();
  void checkCurrentCompany();
  // Connects the company database to company `code` and checks that its
  // control record can be read.
  pdx::Status connectCompany(const QString& code);
  void showPrinterInStatusBar();
  // The stored placement, or the designed size centred; either bounded by
  // the screen it lies on.
  void placeOnScreen();
  void showText(const QString& text);
  // Steps 6 to 8 of the launch: load, call, unload; false when it raised.
  bool launchLibrary(const QString& code);
  QString libraryPath(const QString& library) const;
  // Opens the application catalogue through the system database; reports a
  // failure when asked to.
  bool openCatalogue(db::Table& apps, bool reportFailure);
  // Makes the catalogue with its one default row (only when it is missing).
  pdx::Status createCatalogue();
  ui::MenuItem* findOption(const QString& code) const;
  // Empties a menu whose entries are made from data.
  static void clearEntries(ui::MenuItem* menu);

  // ---- menu security (menu_security.cpp)
  void applyMenuSecurity();
  void bindUserSecurity();

  // ---- language (language_switch.cpp)
  void buildLanguageMenu();
  void setVersionPanel();
  // Checks `entry` alone under Options > Language (none when null).
  void checkLanguageEntry(ui::MenuItem* entry);
  // The windows a language switch translates again.
  QList<ui::ComponentOwner*> translatedOnSwitch();

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
  QPointer<ui::MenuItem> checkedLanguage_;
  QStringList trackerList_;
  QString selectedTracker_;

  db::Database menumydb_{"menumydb"};
  db::Database menudata_{"menudata"};
  db::Table session_{"session"};
  db::Table comp_{"comp"};
  db::Table user_{"user"};
  db::DataSource userSource_{&user_};
  db::Table desktop_{"Desktop"};
  db::Table languages_{"Languages"};
  QString userCode_;
  // Last: its lists' tables close before the databases they use.
  std::unique_ptr<DesktopPart> desktopPart_;
};

}  // namespace shell
