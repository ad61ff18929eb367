#include "logo_app_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QImageReader>
#include <QLocale>
#include <QScreen>
#include <QVBoxLayout>

#include "db/error.h"
#include "os/services.h"
#include "pdx/unfinished.h"
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
  for (int i = 0; i < 33; ++i) m << QString();
  m[message::kPictureNotLoaded] = "The wallpaper picture could not be loaded.";
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
  m[message::kDataRootIncomplete] =
      "This data folder is incomplete: the tallimoor-admin command that was creating it did not finish. Run that "
      "command again.";
  return m;
}

}  // namespace

TLogoAppForm::TLogoAppForm(const QString& programFolder, QWidget* parent)
    : ui::MainForm("LogoAppForm", parent), programFolder_(programFolder) {
  setCaption("Tallimoor");
  resize(750, 520);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  Wallpaper = new ui::Label(this, central, "Wallpaper");
  Wallpaper->setAlignment(Qt::AlignCenter);
  Wallpaper->setScaledContents(false);
  layout->addWidget(Wallpaper);
  setCentralWidget(central);

  Error_Messages = new ui::Memo(this, central, "Error_Messages");
  Error_Messages->setLines(designedMessages());
  Error_Messages->hide();

  MainMenu1 = new ui::MainMenu(this, this, "MainMenu1");
  setMenuBar(MainMenu1);
  buildMenus();

  StatusBar1 = new ui::StatusBar(this, this, "StatusBar1", {250, 250, 100, 150});
  StatusBar1->setPanelText(3, "Version ");
  setStatusBar(StatusBar1);
  StatusBar1->hide();

  PasswordDlg = new TPasswordDlg(this);
  CompPasswd_Frm = new TCompPasswd_Frm(this);
  ShortcutDlg = new TShortcutDlg(this);

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
  ui::setControlsLanguage(settings_.language);
  if (!languageCode_.isEmpty()) (void)translate(*this);  // a failure is reported by translate()
  context_.setProgramDir(settings_.programDir());
  context_.setDataDir(settings_.dataDir());
  // 6. International wording.
  applyInternationalWording();
  // 7. Wallpaper.
  loadWallpaper();
  // 8. Menus the machine settings offer.
  applyMenuVisibility();
  // 9. Translation with the language code (an empty code gives "MainMenu").
  (void)translate(*this);
  // 10. Printers.
  fillPrinters();
  // 12. Placement: the stored one, or centred.
  if (std::optional<QRect> placed = settings_.storedPlacement()) {
    setGeometry(*placed);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

TLogoAppForm::~TLogoAppForm() = default;

QString TLogoAppForm::messageLine(int n) const { return Error_Messages->line(n); }

// ---------------------------------------------------------------- menus

void TLogoAppForm::buildMenus() {
  for (int i = 0; i < 8; ++i) buildApplicationMenu(i);
  Options1 = MainMenu1->add("Options1", "Options");
  Company1 = Options1->add("Company1", "Company");
  Company1->ensureSubMenu();
  Printer1 = Options1->add("Printer1", "Printer");
  Printer1->ensureSubMenu();
  Language1 = Options1->add("Language1", "Language");
  Language1->ensureSubMenu();
  Desktop1 = Options1->add("Desktop1", "Desktop");
  ChangeProperties1 = Desktop1->add("ChangeProperties1", "Change properties");
  AddShortcut1 = Desktop1->add("AddShortcut1", "Add shortcut");
  Tools1 = MainMenu1->add("Tools1", "Tools");
  Help1 = MainMenu1->add("Help1", "Help");
  HelpTopics1 = Help1->add("HelpTopics1", "Help topics");
  About1 = Help1->add("About1", "About");
  ContactUs1 = Help1->add("ContactUs1", "Contact us");
  Exit1 = new ui::MenuItem(this, MainMenu1, "Exit1", "Exit");
  MainMenu1->insert(MainMenu1->count(), Exit1);
  connect(HelpTopics1, &QAction::triggered, this, [this] { HelpClick(); });
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
    ui::MenuItem* open = menu->add(codes::kOpenTrackerDatabase, "Open database");
    open->ensureSubMenu();
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

void TLogoAppForm::applyMenuVisibility() {
  if (!settings_.payrollOn()) menus[kPayrollMenu]->setVisible(false);
  // The Tracker menu is hidden in the design and nothing shows it again.
  menus[kTrackerMenu]->setVisible(false);
  if (!settings_.jobCostOn()) menus[kJobCostMenu]->setVisible(false);
}

ui::MenuItem* TLogoAppForm::findOption(const QString& code) const {
  // The options of the group sub-menus, except the Tracker's.
  for (int i = 0; i < 8; ++i) {
    if (i == kTrackerMenu) continue;
    for (ui::MenuItem* group : menus[i]->items())
      if (!group->items().empty() || group->subMenu())
        for (ui::MenuItem* option : group->items())
          if (option->name() == code) return option;
  }
  return nullptr;
}

void TLogoAppForm::fillPrinters() {
  os::Printers& printers = os::Services::printers();
  printerList_ = printers.printerNames();
  const QString current = printers.defaultPrinterName();
  printerIndex_ = static_cast<int>(printerList_.indexOf(current));
  for (int i = 0; i < printerList_.size(); ++i) {
    ui::MenuItem* entry = Printer1->add(QStringLiteral("Printer%1").arg(i), printerList_[i]);
    entry->setCheckable(true);
    entry->setChecked(i == printerIndex_);
    connect(entry, &QAction::triggered, this, [this, i] { PrinterClick(i); });
  }
  context_.setPrinterIndex(QString::number(printerIndex_));
}

void TLogoAppForm::loadWallpaper() {
  QImageReader reader(settings_.programDir() + "/Tallimoor32.jpg");
  const QImage picture = reader.read();
  if (picture.isNull()) {
    showMessage(message::kPictureNotLoaded);
    return;
  }
  Wallpaper->setPixmap(QPixmap::fromImage(picture));
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
  const pdx::Status s = shared::TranslateForm(form, "MainMenu" + languageCode_);
  if (!s.ok()) databaseError(s);
  return s;
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
  if (comp_.isEmpty()) {
    ExecuteOption(codes::kCompanyCreation);
    // The defaults wizard comes with the company defaults; until then the
    // step shows nothing beyond its hook.
    if (onFirstRunWizard) onFirstRunWizard();
    (void)comp_.refresh();
  }
  // 6. Users, desktops, languages.
  user_.setDatabaseName(root);
  user_.setTableName("user");
  desktop_.setDatabaseName(root);
  desktop_.setTableName("Desktop");
  languages_.setDatabaseName(root);
  languages_.setTableName("Languages");
  for (db::Table* t : {&user_, &desktop_}) {
    if (pdx::Status s = t->open(); !s.ok()) {
      databaseError(s);
      desktopSaveAllowed_ = false;
      close();
      return;
    }
  }
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
  // 10. The user's language.
  applyUserLanguage();
  // 11.
  if (maximisedForSmallScreen_) setWindowState(Qt::WindowNoState);
  StatusBar1->show();
  // 12, 13.
  applyMenuSecurity();
  Load_applications();
  // The shortcut lists know from now on which options this user may run.
  FillShortcutLists(true);
  // 14, 15.
  PasswordDlg->Password->clear();
  setUpCompany();
  // 16, 17.
  applyInternationalWording();
  applyUserPrinter();
  // 18. Desktop.
  if (PasswordDlg->useStandardDesktop()) desktopChanged_ = true; else restoreDesktop();
  // 19. Status bar.
  StatusBar1->setPanelText(0, context_.companyName());
  if (printerIndex_ >= 0 && printerIndex_ < Printer1->count())
    StatusBar1->setPanelText(1, Printer1->item(printerIndex_)->text());
  // 20, 21.
  setGreeting();
  if (settings_.trackerOn()) loadTrackerMenu();
  ready_ = true;
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

void TLogoAppForm::applyUserLanguage() {
  const int language = static_cast<int>(user_.fieldByName("User_language").asInteger());
  if (language == 0) return;
  context_.setLoginName(QString::fromStdString(user_.fieldByName("User_name").asString()));
  context_.setLanguage(language);
  QString code = "en";
  if (languages_.active()) {
    auto found = languages_.findKey({pdx::Value::integer(language)});
    if (found.ok() && *found) code = QString::fromStdString(languages_.fieldByName("LangCode").asString()).left(2);
  }
  languageCode_ = code;
  context_.setLangSuffix(code);
  ui::setControlsLanguage(language);
  if (auto* entry = findAs<ui::MenuItem>("MenuItem" + code)) entry->setChecked(true);
  (void)translate(*this);
  (void)translate(*PasswordDlg);
  (void)translate(*CompPasswd_Frm);
  (void)translate(*ShortcutDlg);
}

void TLogoAppForm::setUpCompany() {
  rebuildCompanyMenu();
  context_.setUserName(QString::fromStdString(user_.fieldByName("User_name").asString()));
  context_.setUserDetail(static_cast<int>(user_.fieldByName("User_detail").asInteger()));
  StatusBar1->setPanelText(3, "Version " + shared::GetFileVersionText(QApplication::applicationFilePath(), 4));
  const int64_t company = user_.fieldByName("User_company").asInteger();
  context_.setCompanyCode(QString::number(company));
  context_.setLanguage(static_cast<int>(user_.fieldByName("User_language").asInteger()));
  auto found = comp_.findKey({pdx::Value::integer(company)});
  if (found.ok() && *found) context_.setCompanyName(QString::fromStdString(comp_.fieldByName("Comp_Name").asString()));
  menudata_.disconnect();
  menudata_.params() = {("path=" + context_.companyDirectory()).toStdString()};
  pdx::Status s = menudata_.connect();
  if (s.ok()) {
    db::Table ctrl;
    ctrl.setDatabaseName("menudata");
    ctrl.setTableName("ctrl");
    s = ctrl.open();
  }
  if (!s.ok()) databaseError(s);
  const int at = static_cast<int>(companyList_.indexOf(context_.companyCode()));
  if (at >= 0 && at < Company1->count()) Company1->item(at)->setChecked(true);
}

void TLogoAppForm::rebuildCompanyMenu() {
  companyList_.clear();
  while (Company1->count() > 0) {
    ui::MenuItem* entry = Company1->item(0);
    Company1->remove(entry);
    entry->deleteLater();
  }
  if (!comp_.active()) return;
  if (pdx::Status s = comp_.first(); !s.ok()) {
    databaseError(s);
    return;
  }
  int i = 0;
  while (!comp_.isEmpty() && !comp_.eof()) {
    companyList_ << QString::fromStdString(comp_.fieldByName("Comp_Code").asString());
    ui::MenuItem* entry =
        Company1->add(QStringLiteral("Company%1").arg(i), QString::fromStdString(comp_.fieldByName("Comp_Name").asString()));
    entry->setCheckable(true);
    connect(entry, &QAction::triggered, this, [this, i] { CompanyClick(i); });
    ++i;
    if (pdx::Status s = comp_.next(); !s.ok()) {
      databaseError(s);
      return;
    }
  }
}

void TLogoAppForm::applyUserPrinter() {
  const QString wanted = QString::fromStdString(user_.fieldByName("User_printer").asString());
  const int at = static_cast<int>(printerList_.indexOf(wanted));
  if (wanted.isEmpty() || at < 0) return;
  for (ui::MenuItem* e : Printer1->items()) e->setChecked(false);
  printerIndex_ = at;
  Printer1->item(at)->setChecked(true);
  context_.setPrinterIndex(QString::number(at));
}

// ---------------------------------------------------------------- closing

void TLogoAppForm::ExitClick() {
  desktopSaveAllowed_ = true;
  close();
}

void TLogoAppForm::closeEvent(QCloseEvent* event) {
  if (desktopChanged_ && desktopSaveAllowed_) saveDesktop();
  const os::Status s = os::Services::settings().writeString("Tallimoor", "Form",
                                                            ShellSettings::placementText(geometry()));
  if (!s.ok()) showText(s.text(context_.language()));
  ui::MainForm::closeEvent(event);
}

}  // namespace shell
