#include "shell_test_util.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <sstream>

#include "company.h"
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

QStringList ShellTest::messages() const {
  QStringList out;
  for (const auto& s : dialogs_.shown) out << s.text;
  return out;
}

}  // namespace shell::testing
