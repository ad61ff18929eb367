#include "shell_test_util.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <sstream>

#include "company.h"
#include "demo.h"
#include "data/user_security.h"
#include "db/database.h"
#include "db/table.h"
#include "ui/application.h"

namespace shell::testing {

QApplication* app() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  static int argc = 1;
  static char name[] = "shell_test";
  static char* argv[] = {name, nullptr};
  static QApplication* created = new QApplication(argc, argv);
  return created;
}

ModuleCall moduleCall;

extern "C" int TestShowDllForm(TLinkSection link) {
  ++moduleCall.calls;
  shared::SessionContext copy(link);
  moduleCall.companyCode = copy.companyCode();
  moduleCall.companyName = copy.companyName();
  moduleCall.qualifier = copy.launchQualifier();
  moduleCall.userName = copy.userName();
  moduleCall.printerIndex = copy.printerIndex();
  moduleCall.langSuffix = copy.langSuffix();
  moduleCall.language = copy.language();
  moduleCall.sessionId = copy.sessionId();
  if (moduleCall.during) moduleCall.during();
  if (moduleCall.raise) throw std::runtime_error("the module failed");
  return moduleCall.result;
}

admin::NewUser user(const char* password, const char* code, const char* name, int language, int company,
                    std::string security) {
  admin::NewUser u;
  u.password = password;
  u.code = code;
  u.name = name;
  u.language = language;
  u.company = company;
  u.security = security.empty() ? data::fullSecurity() : std::move(security);
  return u;
}

ShellTest::ShellTest() {
  app();
  db::Database::environment() = pdx::Env::unsynced();
  prefix_ = QString::fromStdString(dir_.path());
  QDir(prefix_).mkpath("Tallimoor/bin");
  programDir_ = prefix_ + "/Tallimoor/bin";
  dataDir_ = prefix_ + "/Tallimoor/data";
  (void)settings_->writeString("Tallimoor", "pgmdrive", prefix_);
  (void)settings_->writeString("Tallimoor", "datadrive", prefix_);
  printers_->setPrinters({"Laser", "Cheques"}, "Laser");
  // The wallpaper, as large as the one the suite ships.
  QImage wallpaper(960, 640, QImage::Format_RGB32);
  wallpaper.fill(QColor(0, 96, 128));
  wallpaper.save(programDir_ + "/Tallimoor32.jpg", "JPG");
  previousDialogs_ = ui::setDialogs(&dialogs_);
  savedCurrent_ = QDir::currentPath();
  QDir::setCurrent(programDir_);
  moduleCall = ModuleCall();
}

ShellTest::~ShellTest() {
  QDir::setCurrent(savedCurrent_);
  ui::setDialogs(previousDialogs_);
  ui::Application::setExceptionHandler(nullptr);
}

void ShellTest::makeDataRoot(std::vector<admin::NewUser> users, int sessions) {
  std::ostringstream log;
  admin::InitOptions init;
  init.dataRoot = dataDir_.toStdString();
  init.sessions = sessions;
  init.languagesDir = (prefix_ + "/Tallimoor/languages").toStdString();
  init.env = pdx::Env::unsynced();
  if (!users.empty()) init.firstUser = users.front();
  pdx::Status s = admin::initDataRoot(init, log);
  ASSERT_TRUE(s.ok()) << s.toString() << log.str();
  addCompany(1, "Érablière du Nord");
  for (size_t i = 1; i < users.size(); ++i) addUser(users[i]);
}

void ShellTest::addCompany(int code, const std::string& name, const std::string& password) {
  std::ostringstream log;
  admin::CompanyOptions company;
  company.dataRoot = dataDir_.toStdString();
  company.code = code;
  company.name = name;
  company.today = *pdx::Date::fromYmd(2026, 12, 7);
  company.password = password;
  company.env = pdx::Env::unsynced();
  pdx::Status s = admin::createCompany(company, log);
  ASSERT_TRUE(s.ok()) << s.toString() << log.str();
}

void ShellTest::addUser(const admin::NewUser& u) {
  db::Table t;
  t.setDatabaseName(dataDir_.toStdString());
  t.setTableName("user");
  ASSERT_TRUE(t.open().ok());
  ASSERT_TRUE(t.insert().ok());
  ASSERT_TRUE(t.fieldByName("User_password").setAsString(u.password).ok());
  ASSERT_TRUE(t.fieldByName("User_code").setAsString(u.code).ok());
  ASSERT_TRUE(t.fieldByName("User_name").setAsString(u.name).ok());
  ASSERT_TRUE(t.fieldByName("User_language").setAsInteger(u.language).ok());
  ASSERT_TRUE(t.fieldByName("User_company").setAsInteger(u.company).ok());
  ASSERT_TRUE(t.fieldByName("User_security").setValue(pdx::Value::bytes(u.security)).ok());
  ASSERT_TRUE(t.post().ok());
}

void ShellTest::addModule(const QString& code) {
  loader_->addLibrary(programDir_ + "/" + code + ".so",
                      {{"ShowDllForm", reinterpret_cast<os::FunctionAddress>(&TestShowDllForm)}});
}

std::unique_ptr<TLogoAppForm> ShellTest::startShell(const std::function<int(TPasswordDlg&)>& login) {
  auto window = std::make_unique<TLogoAppForm>(programDir_);
  if (login) window->PasswordDlg->showModal = login;
  window->FormActivate();
  EXPECT_TRUE(window->ready()) << messages().join(" | ").toStdString();
  return window;
}

void ShellTest::makeDemo() {
  std::ostringstream log;
  admin::DemoOptions options;
  options.dataRoot = dataDir_.toStdString();
  options.today = *pdx::Date::fromYmd(2026, 6, 15);
  options.sessions = 3;
  options.languagesDir = (prefix_ + "/Tallimoor/languages").toStdString();
  options.env = pdx::Env::unsynced();
  admin::DemoSummary summary;
  const pdx::Status s = admin::buildDemo(options, summary, log);
  ASSERT_TRUE(s.ok()) << s.toString() << log.str();
}

QStringList ShellTest::messages() const {
  QStringList out;
  for (const auto& s : dialogs_.shown) out << s.text;
  return out;
}

void whenReady(const std::function<bool()>& act, int timeoutMs) {
  auto* timer = new QTimer;
  auto left = std::make_shared<int>(timeoutMs / 10);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act, left] {
    if (act() || --*left <= 0) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

void answerDialog(QWidget* dialog, QWidget* widget, const QString& text) {
  whenReady([dialog, widget, text] {
    if (!dialog->isVisible()) return false;
    widget->setFocus();
    QTest::keyClicks(widget, text);
    QTest::keyClick(widget, Qt::Key_Return);
    return true;
  });
}

std::vector<ui::MenuItem*> allOptions(const TLogoAppForm& window) {
  std::vector<ui::MenuItem*> out;
  for (int m = 0; m < 8; ++m)
    for (int g = 0; g < 4; ++g)
      if (ui::MenuItem* group = window.menus[m]->item(TLogoAppForm::firstGroupOf(m) + g))
        for (ui::MenuItem* e : group->items()) out.push_back(e);
  return out;
}

QStringList enabledOptions(const TLogoAppForm& window) {
  QStringList out;
  for (ui::MenuItem* e : allOptions(window))
    if (e->isEnabled()) out << e->name();
  return out;
}

QStringList enabledQuickAccess(const TLogoAppForm& window) {
  QStringList out;
  for (int m = 0; m < 8; ++m)
    for (ui::MenuItem* e : window.menus[m]->items())
      if (e->groupIndex() == 0 && e->name().endsWith('f') && e->isEnabled()) out << e->name();
  return out;
}

QStringList shortcutCodes(const TLogoAppForm& window) {
  QStringList out;
  for (int i = 0; i < window.ShortcutDlg->DllList->count(); ++i)
    if (!window.ShortcutDlg->DllList->item(i)->text().isEmpty()) out << window.ShortcutDlg->DllList->item(i)->text();
  return out;
}

namespace {

// The key of a mnemonic character.
int keyOf(QChar mnemonic) {
  const QKeySequence sequence = QKeySequence::mnemonic("&" + QString(mnemonic));
  return sequence.isEmpty() ? 0 : sequence[0].key();
}

}  // namespace

bool openByKeyboard(TLogoAppForm& window, ui::MenuItem* entry, const std::vector<ui::MenuItem*>& path) {
  const QChar top = ui::mnemonicOf(entry->text());
  if (top.isNull()) return false;
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) return false;
  QTest::keyClick(&window, Qt::Key(keyOf(top)), Qt::AltModifier);
  QCoreApplication::processEvents();
  if (entry->subMenu() && QApplication::activePopupWidget() != entry->subMenu()) {
    qWarning("openByKeyboard: Alt+%s opened %s (active window %s, focus %s)", qPrintable(QString(top)),
             QApplication::activePopupWidget() ? qPrintable(QApplication::activePopupWidget()->objectName()) : "nothing",
             QApplication::activeWindow() ? qPrintable(QApplication::activeWindow()->objectName()) : "none",
             QApplication::focusWidget() ? qPrintable(QApplication::focusWidget()->objectName()) : "none");
    return false;
  }
  ui::MenuItem* parent = entry;
  for (ui::MenuItem* step : path) {
    const QChar m = ui::mnemonicOf(step->text());
    QWidget* popup = QApplication::activePopupWidget();
    if (m.isNull() || popup != parent->subMenu()) return false;
    QTest::keyClick(popup, Qt::Key(keyOf(m)));
    QCoreApplication::processEvents();
    if (!step->items().empty() && QApplication::activePopupWidget() != step->subMenu()) {
      qWarning("openByKeyboard: %s did not open %s", qPrintable(QString(m)), qPrintable(step->name()));
      return false;
    }
    parent = step;
  }
  return true;
}

void closeMenus() {
  for (int i = 0; i < 8 && QApplication::activePopupWidget(); ++i) {
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QCoreApplication::processEvents();
  }
}

}  // namespace shell::testing
