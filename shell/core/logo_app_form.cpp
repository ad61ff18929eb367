#include "logo_app_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QIcon>
#include <QLocale>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "db/error.h"
#include "os/services.h"
#include "pdx/unfinished.h"
#include "os/toolkit_language.h"
#include "shared/translate_form.h"
#include "shared/window_utils.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "ui/field_link.h"

namespace shell {

namespace {

// The message list as designed (English); translation replaces it.
QStringList designedMessages() {
  QStringList m;
  for (int i = 0; i < 36; ++i) m << QString();
  m[message::kPictureNotLoaded] = "The picture could not be loaded: the file is missing or holds no picture of a kind that can be used here.";
  m[message::kShortcutNotCreated] = "The shortcut cannot be created: this option already has one.";
  m[message::kOptionNotAllowed] = "You are not allowed to run this option.";
  m[message::kNoTrackerDatabase] = "Please open a tracker database first.";
  m[message::kPayrollLibraryMissing] = "This payroll option is not installed.";
  m[message::kPayrollDepartmentsMissing] = "The payroll departments (Pndept.db) are missing in this company.";
  const char* suffixes[10] = {" (General ledger)", " (Accounts receivable)", " (Accounts payable)",
                              " (System manager)", " (Invoicing)", " (Payroll)", " (Tracker)", "", "",
                              " (Job cost)"};
  for (int tag = 0; tag < 10; ++tag) m[message::kMenuSuffixBase + tag] = suffixes[tag];
  m[message::kNoSessionSlot] =
      "Every session of this data folder is in use. Close another Tallimoor window and start again.";
  m[message::kNoUsers] = "No user is defined for this data folder. Create one with tallimoor-admin.";
  m[message::kWizardMessages] = "The tax rates must be numbers.";
  m[message::kNoCompany] = "No company was created. Tallimoor needs one to start.";
  m[message::kDesktopDamaged] =
      "Your saved desktop could not be read, so the standard desktop is shown. Your saved desktop is kept until "
      "you change this one.";
  m[message::kDesktopNotSaved] = "Your desktop could not be saved; the desktop saved before is kept.";
  m[message::kDataRootIncomplete] =
      "This data folder is incomplete: the tallimoor-admin command that was creating it did not finish. Run that "
      "command again.";
  return m;
}

}  // namespace

TLogoAppForm::TLogoAppForm(const QString& programFolder, const DesktopFactory& desktop, QWidget* parent)
    : ui::MainForm("LogoAppForm", parent), programFolder_(programFolder) {
  setCaption("Tallimoor");
  resize(kDesignedSize);

  Wallpaper1 = new ui::TWallpaper(this, this, "Wallpaper1");
  setCentralWidget(Wallpaper1);

  Error_Messages = new ui::Memo(this, Wallpaper1, "Error_Messages");
  Error_Messages->setLines(designedMessages());
  Error_Messages->hide();

  MainMenu1 = new ui::MainMenu(this, this, "MainMenu1");
  setMenuBar(MainMenu1);
  buildMenus();

  StatusBar1 = new ui::StatusBar(this, this, "StatusBar1", {250, 250, 100, 150});
  StatusBar1->setPanelText(3, "Version ");
  setStatusBar(StatusBar1);
  StatusBar1->hide();

  AboutBox = new TAboutBox(this);
  PasswordDlg = new TPasswordDlg(this);
  CompPasswd_Frm = new TCompPasswd_Frm(this);
  ContactUs = new TContactUs(this);
  frmDefaultInfo = new TfrmDefaultInfo(this);
  ShortcutDlg = new TShortcutDlg(this);
  if (desktop) desktopPart_ = desktop(*this);
  setWindowIcon(QIcon(programIcon(64)));
  UserSecurityManager1.setDataSource(&userSource_);

  onFirstActivate = [this] { FormActivate(); };
  onClose = [] {};

  // ---- creation steps
  // 1. A 640-pixel screen gets a maximised window until the login.
  if (QScreen* screen = QGuiApplication::primaryScreen(); screen && screen->geometry().width() == 640) {
    maximisedForSmallScreen_ = true;
    setWindowState(Qt::WindowMaximized);
  }
  // 2 to 5. Settings and folders.
  context_.setLaunchQualifier({});
  settings_ = ShellSettings::read(os::Services::settings(), installPrefixOf(programFolder_));
  pdx::setShareProtocol(settings_.shareProtocol());  // for the modules too: they share the engine
  context_.setCustomerId(settings_.customer);
  context_.setLanguage(settings_.language);
  languageCode_ = settings_.language == 1 ? "en" : settings_.language == 2 ? "fr" : "";
  context_.setLangSuffix(languageCode_);
  context_.setProgramDir(settings_.programDir());
  context_.setDataDir(settings_.dataDir());
  ui::setControlsLanguage(settings_.language);
  useToolkitLanguage(languageCode_);
  if (!languageCode_.isEmpty()) (void)translate(*this);  // a failure is reported by translate()
  // 6. International wording.
  Internationalize();
  // 7. Wallpaper.
  loadWallpaper();
  // 8. Menus the machine settings offer.
  applyMenuVisibility();
  // 9. Translation with the language code (an empty code gives "MainMenu").
  // The Help dialogs too: a user without a language of his own reads them in
  // the machine's.
  if (translate(*this).ok())
    for (ui::ComponentOwner* dialog : std::initializer_list<ui::ComponentOwner*>{AboutBox, ContactUs})
      (void)translate(*dialog);
  // 10. Printers.
  fillPrinters();
  // 12. Placement: the stored one, or centred.
  placeOnScreen();
}

TLogoAppForm::~TLogoAppForm() = default;

QString TLogoAppForm::messageLine(int n) const { return Error_Messages->line(n); }

// ---------------------------------------------------------------- menus

void TLogoAppForm::buildMenus() {
  for (int i = 0; i < 8; ++i) buildApplicationMenu(i);
  Options1 = MainMenu1->add("Options1", "&Options");
  Company1 = Options1->add("Company1", "&Company");
  Company1->ensureSubMenu();
  Printer1 = Options1->add("Printer1", "&Printer");
  Printer1->ensureSubMenu();
  Language1 = Options1->add("Language1", "&Language");
  Language1->ensureSubMenu();
  Desktop1 = Options1->add("Desktop1", "&Desktop");
  ChangeProperties1 = Desktop1->add("ChangeProperties1", "Change &properties");
  AddShortcut1 = Desktop1->add("AddShortcut1", "&Add shortcut");
  Tools1 = MainMenu1->add("Tools1", "&Tools");
  Help1 = MainMenu1->add("Help1", "&Help");
  HelpTopics1 = Help1->add("HelpTopics1", "&Help topics");
  About1 = Help1->add("About1", "&About");
  ContactUs1 = Help1->add("ContactUs1", "&Contact us");
  // A command of the bar itself: choosing it exits, it opens no menu.
  Exit1 = MainMenu1->addCommand("Exit1", "E&xit");
  connect(HelpTopics1, &QAction::triggered, this, [this] { HelpClick(); });
  connect(About1, &QAction::triggered, this, [this] { AboutClick(); });
  connect(ContactUs1, &QAction::triggered, this, [this] { ContactUsClick(); });
  connect(Exit1, &QAction::triggered, this, [this] { ExitClick(); });
}

void TLogoAppForm::buildApplicationMenu(int index) {
  const ApplicationMenu& def = applicationMenus()[size_t(index)];
  ui::MenuItem* menu = MainMenu1->add(def.name, def.caption);
  menu->setTag(def.tag);
  menus[index] = menu;
  auto launchOn = [this](ui::MenuItem* entry) {
    connect(entry, &QAction::triggered, this, [this, entry] { ExecuteOption(entry->name()); });
  };
  if (index == kTrackerMenu) {
    OpenDatabase1 = menu->add(codes::kOpenTrackerDatabase, "Open database");
    OpenDatabase1->ensureSubMenu();
    ui::MenuItem* create = menu->add(codes::kCreateTrackerDatabase, "Create database");
    launchOn(create);
    menu->addSeparator("TrackerSeparator")->setGroupIndex(1);
  } else if (!def.quickAccess.empty()) {
    for (const QString& code : def.quickAccess) {
      QString caption;
      for (const auto& group : def.groups)
        for (const Option& o : group)
          if (o.code == code && caption.isEmpty()) caption = o.caption.trimmed();
      ui::MenuItem* quick = menu->add(code + "f", caption);
      quick->setGroupIndex(0);
      launchOn(quick);
    }
    menu->addSeparator(def.name + "Separator")->setGroupIndex(1);
  }
  for (int g = 0; g < 4; ++g) {
    ui::MenuItem* group = menu->add(def.name + kGroupNames[g], kGroupNames[g]);
    group->ensureSubMenu();
    if (index <= kTrackerMenu) group->setGroupIndex(1);
    for (const Option& o : def.groups[g]) launchOn(group->add(o.code, o.caption));
  }
}

void TLogoAppForm::applyOptionalModuleMenus() {
  ui::MenuItem* payroll = menus[kPayrollMenu];
  if (!settings_.payrollOn()) {
    payroll->setVisible(false);
  } else if (settings_.payrollCCQ.compare("Y", Qt::CaseInsensitive) != 0) {
    // The construction payroll's entries: Edit 11 to 14 and Reports 6.
    if (ui::MenuItem* edit = payroll->item(6))
      for (int i = 11; i <= 14; ++i)
        if (ui::MenuItem* e = edit->item(i)) e->setVisible(false);
    if (ui::MenuItem* reports = payroll->item(8))
      if (ui::MenuItem* e = reports->item(6)) e->setVisible(false);
  }
  if (!settings_.trackerOn()) menus[kTrackerMenu]->setVisible(false);
  if (!settings_.jobCostOn()) menus[kJobCostMenu]->setVisible(false);
}

void TLogoAppForm::applyMenuVisibility() {
  if (!settings_.payrollOn()) menus[kPayrollMenu]->setVisible(false);
  // The Tracker menu is hidden in the design and nothing shows it again.
  menus[kTrackerMenu]->setVisible(false);
  if (!settings_.jobCostOn()) menus[kJobCostMenu]->setVisible(false);
}

int TLogoAppForm::firstGroupOf(int menu) {
  static const int first[8] = {4, 4, 4, 4, 0, 6, 3, 2};
  return menu >= 0 && menu < 8 ? first[menu] : 0;
}

ui::MenuItem* TLogoAppForm::option(int menu, int group, int position) const {
  if (menu < 0 || menu >= 8) return nullptr;
  ui::MenuItem* sub = menus[menu]->item(firstGroupOf(menu) + group);
  return sub ? sub->item(position) : nullptr;
}

ui::MenuItem* TLogoAppForm::findOption(const QString& code) const {
  // The options of the group sub-menus, except the Tracker's.
  for (int i = 0; i < 8; ++i) {
    if (i == kTrackerMenu) continue;
    for (int g = 0; g < 4; ++g)
      if (ui::MenuItem* group = menus[i]->item(firstGroupOf(i) + g))
        for (ui::MenuItem* entry : group->items())
          if (entry->name() == code) return entry;
  }
  return nullptr;
}

void TLogoAppForm::clearEntries(ui::MenuItem* menu) {
  while (menu->count() > 0) {
    ui::MenuItem* entry = menu->item(0);
    menu->remove(entry);
    // Unnamed at once, so that the entries made next under the same names
    // are the ones found; deleted later, as one of them may be the entry
    // whose handler is running.
    entry->setObjectName(QString());
    entry->deleteLater();
  }
}

void TLogoAppForm::loadWallpaper() {
  if (!Wallpaper1->loadWallpaper(settings_.programDir() + "/Tallimoor32.jpg")) showMessage(message::kPictureNotLoaded);
}

// ---------------------------------------------------------------- messages

void TLogoAppForm::showMessage(int line, bool information) {
  ui::dialogs().message(this, information ? ui::MessageKind::kInformation : ui::MessageKind::kPlain, windowTitle(),
                        messageLine(line), ui::Buttons::kOk);
}

void TLogoAppForm::showText(const QString& text) {
  ui::dialogs().message(this, ui::MessageKind::kPlain, windowTitle(), text, ui::Buttons::kOk);
}

void TLogoAppForm::databaseError(const pdx::Status& status) {
  ui::Application::handleException(std::make_exception_ptr(db::DatabaseError(status)));
}

pdx::Status TLogoAppForm::translate(ui::ComponentOwner& form) {
  // From the program folder: a program started from the Tools menu may have
  // moved the current directory elsewhere.
  const pdx::Status s =
      shared::TranslateForm(form, "MainMenu" + languageCode_, shared::languagesDirectoryOf(programDir()));
  if (!s.ok()) databaseError(s);
  if (&form == this) MainMenu1->assignAllMnemonics();
  return s;
}

void TLogoAppForm::useToolkitLanguage(const QString& code) {
  const os::Status s = os::setToolkitLanguage(code, programDir());
  // Without Qt's catalogues the toolkit's buttons stay English; the shell
  // works on, and says why on its error output.
  if (!s.ok()) qWarning("deskshell: %s", qPrintable(s.text(1)));
}

void TLogoAppForm::placeOnScreen() {
  std::optional<QRect> placed = settings_.storedPlacement();
  QScreen* screen = placed ? QGuiApplication::screenAt(placed->center()) : nullptr;
  if (!screen) {
    // Off every screen now (a screen was removed): centred like a first start.
    placed.reset();
    screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  }
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  QRect area = placed ? *placed : QRect(QPoint(), kDesignedSize);
  area.setSize(area.size().boundedTo(available.size()));
  if (!placed) area.moveCenter(available.center());
  // Keep the whole window on its screen.
  area.moveLeft(std::clamp(area.left(), available.left(), available.right() - area.width() + 1));
  area.moveTop(std::clamp(area.top(), available.top(), available.bottom() - area.height() + 1));
  setGeometry(area);
}

void TLogoAppForm::showEvent(QShowEvent* event) {
  ui::MainForm::showEvent(event);
  // Once the window manager framed the window, its frame too stays on the
  // screen: a title bar pushed past the bottom would hide the status bar.
  QTimer::singleShot(0, this, [this] {
    QScreen* screen = this->screen();
    if (!screen || isMaximized() || isFullScreen()) return;
    const QRect available = screen->availableGeometry();
    const QRect frame = frameGeometry();
    if (available.contains(frame)) return;
    const QSize extra = frame.size() - size();
    resize(size().boundedTo(available.size() - extra));
    QRect moved = frameGeometry();
    moved.moveLeft(std::clamp(moved.left(), available.left(), available.right() - moved.width() + 1));
    moved.moveTop(std::clamp(moved.top(), available.top(), available.bottom() - moved.height() + 1));
    move(moved.topLeft());
  });
}

QString TLogoAppForm::greeting(const QDate& today, bool brennick) const {
  const QLocale system = QLocale::system();
  if (context_.language() == 2)
    return QString(brennick ? "Bienvenue à Tallimoor/Brennick  " : "Bienvenue à Tallimoor  ") + " " +
           system.toString(today, "dddd, d MMMM yyyy") + " ";
  return QString(brennick ? "Welcome to Tallimoor/Brennick  " : "Welcome to Tallimoor  ") + " " +
         system.toString(today, "dddd, MMMM d, yyyy") + " ";
}

void TLogoAppForm::setGreeting(bool brennick) { setCaption(greeting(QDate::currentDate(), brennick)); }

// ---------------------------------------------------------------- activation

void TLogoAppForm::FormActivate() {
  if (session_.active()) return;
  const std::string root = dataDir().toStdString();

  // A data root that tallimoor-admin did not finish building holds tables
  // that look sound, but not all the rows a start needs.
  if (auto build = pdx::findUnfinishedBuild(root); build.ok() && *build) {
    showMessage(message::kDataRootIncomplete);
    desktopSaveAllowed_ = false;
    close();
    return;
  }
  // 2. System database.
  menumydb_.params() = {"path=" + root};
  if (pdx::Status s = menumydb_.connect(); !s.ok()) {
    databaseError(s);
    desktopSaveAllowed_ = false;
    close();
    return;
  }
  // 3. Session slot.
  if (!takeSessionSlot()) {
    desktopSaveAllowed_ = false;
    close();
    return;
  }
  // 4. Companies.
  comp_.setDatabaseName(root);
  comp_.setTableName("comp");
  if (pdx::Status s = comp_.open(); !s.ok()) {
    databaseError(s);
    desktopSaveAllowed_ = false;
    close();
    return;
  }
  // 5. First run.
  if (comp_.isEmpty() && !firstRun()) {
    desktopSaveAllowed_ = false;
    close();
    return;
  }
  // 6. Users, desktops, languages.
  user_.setDatabaseName(root);
  user_.setTableName("user");
  desktop_.setDatabaseName(root);
  desktop_.setTableName("Desktop");
  languages_.setDatabaseName(root);
  languages_.setTableName("Languages");
  user_.readOnly = true;  // the shell only reads users
  for (db::Table* t : {&user_, &desktop_}) {
    if (pdx::Status s = t->open(); !s.ok()) {
      databaseError(s);
      desktopSaveAllowed_ = false;
      close();
      return;
    }
  }
  bindUserSecurity();
  languages_.close();
  if (pdx::Status s = languages_.open(); !s.ok()) databaseError(s);
  // 7, 8. The login dialog's language and the language menu.
  (void)translate(*PasswordDlg);
  buildLanguageMenu();
  // 9. Login.
  if (!login()) {
    desktopSaveAllowed_ = false;
    close();
    return;
  }
  userCode_ = QString::fromStdString(user_.fieldByName("User_code").asString());
  // 10. The user's language.
  applyUserLanguage();
  // 11.
  if (maximisedForSmallScreen_) setWindowState(Qt::WindowNoState);
  StatusBar1->show();
  // 12, 13.
  applyMenuSecurity();
  Load_applications();
  // 14, 15.
  PasswordDlg->Password->clear();
  setUpCompany();
  // 16, 17.
  Internationalize();
  applyUserPrinter();
  // 18. Desktop: the standard one is written over the saved one at close.
  if (PasswordDlg->useStandardDesktop()) desktopChanged_ = true;
  else if (desktopPart_) desktopPart_->Set_Desktop();
  // The menus the settings offer, and the shortcut lists from them in the
  // order the desktop's load takes them, whichever desktop is shown.
  applyOptionalModuleMenus();
  FillShortcutLists(true, ShortcutListOrder::kToolsMaintenance);
  // 19. Status bar.
  StatusBar1->setPanelText(0, context_.companyName());
  showPrinterInStatusBar();
  // 20, 21.
  setGreeting();
  if (settings_.trackerOn()) Load_database_menu();
  ready_ = true;
}

bool TLogoAppForm::firstRun() {
  ExecuteOption(codes::kCompanyCreation);
  if (pdx::Status s = comp_.refresh(); !s.ok()) databaseError(s);
  if (comp_.isEmpty()) {
    // The creation was cancelled or failed: there is nothing to log in to,
    // and no wizard may write into a company that is not there.
    showMessage(message::kNoCompany);
    return false;
  }
  frmDefaultInfo->prepare(dataDir() + "1", Error_Messages, message::kWizardMessages, context_.language());
  (void)translate(*frmDefaultInfo);
  frmDefaultInfo->showModal(*frmDefaultInfo);
  // What the wizard stored counts for this session too.
  settings_.intl = os::Services::settings().readString("Settings", "intl", "N");
  shared::LoadRegionalSettings();
  return true;
}

bool TLogoAppForm::takeSessionSlot() {
  session_.setDatabaseName("menumydb");
  session_.setTableName("session");
  if (pdx::Status s = session_.open(); !s.ok()) {
    databaseError(s);
    return false;
  }
  while (!session_.isEmpty()) {
    const pdx::Status locked = session_.edit();
    if (locked.ok()) {
      // The row is never posted: the record lock is the slot, held until the
      // process ends.
      (void)session_.fieldByName("Session_lock").setAsBoolean(true);
      context_.setSessionId(static_cast<int>(session_.fieldByName("Session_id").asInteger()));
      return true;
    }
    if (!locked.is(pdx::code::kRecordLocked)) {
      databaseError(locked);
      return false;
    }
    if (pdx::Status s = session_.next(); !s.ok()) {
      databaseError(s);
      return false;
    }
    if (session_.eof()) break;
  }
  // No slot at all is not a slot in use: a data root whose making stopped
  // before its session rows were written.
  showMessage(session_.isEmpty() ? message::kDataRootIncomplete : message::kNoSessionSlot);
  session_.close();
  return false;
}

bool TLogoAppForm::login() {
  auto count = user_.recordCount();
  if (!count.ok()) {
    databaseError(count.status());
    return false;
  }
  if (*count == 0) {
    // Nobody to log in: refuse rather than run without a user.
    showMessage(message::kNoUsers);
    return false;
  }
  if (!settings_.alwaysAskPassword() && *count < 2) return user_.first().ok();
  for (;;) {
    if (PasswordDlg->showModal(*PasswordDlg) != QDialog::Accepted) return false;
    auto found = user_.findKey({pdx::Value::text(PasswordDlg->password().toStdString())});
    if (!found.ok()) {
      databaseError(found.status());
      return false;
    }
    if (*found) return true;
  }
}

// ---------------------------------------------------------------- Help

void TLogoAppForm::AboutClick() {
  AboutBox->prepare(dataDir(), settings_.payroll, settings_.payrollCCQ);
  AboutBox->showModal(*AboutBox);
}

void TLogoAppForm::ContactUsClick() {
  ContactUs->languageCode = context_.language();
  ContactUs->showModal(*ContactUs);
}

// ---------------------------------------------------------------- closing

void TLogoAppForm::ExitClick() {
  desktopSaveAllowed_ = true;
  close();
}

void TLogoAppForm::closeEvent(QCloseEvent* event) {
  if (desktopChanged_ && desktopSaveAllowed_ && desktopPart_) desktopPart_->Save_Desktop();
  const os::Status s = os::Services::settings().writeString("Tallimoor", "Form",
                                                            ShellSettings::placementText(geometry()));
  if (!s.ok()) showText(s.text(context_.language()));
  ui::MainForm::closeEvent(event);
}

}  // namespace shell
