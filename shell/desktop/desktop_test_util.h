// What the desktop's tests share: an installed suite under a temporary
// prefix with a data root and company 1, the services the shell asks for
// replaced by recorders, and shells started on it with the real desktop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <memory>
#include <sstream>

#include "company.h"
#include "data_root.h"
#include "db/database.h"
#include "db/table.h"
#include "desktop.h"
#include "logo_app_form.h"
#include "os/recorders.h"
#include "os/services.h"
#include "quick_lists.h"
#include "shortcuts.h"
#include "test_util.h"
#include "ui/application.h"
#include "ui/dialogs.h"

namespace shell::testing {

inline QApplication* app() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  static int argc = 1;
  static char name[] = "desktop_test";
  static char* argv[] = {name, nullptr};
  static QApplication* created = new QApplication(argc, argv);
  return created;
}

inline admin::NewUser user(const char* password, const char* code, const char* name, int language = 1) {
  admin::NewUser u;
  u.password = password;
  u.code = code;
  u.name = name;
  u.language = language;
  u.company = 1;
  return u;
}

// Runs `act` on the next modal dialog, once it is shown.
inline void whenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(dialog);
  });
  timer->start();
}

class DesktopFixture : public ::testing::Test {
 protected:
  static constexpr const char* kPrefixVariable = "TALLIMOOR_DESKTOP_PREFIX";

  DesktopFixture() {
    app();
    db::Database::environment() = pdx::Env::unsynced();
    // A test that runs as the second half of another, in a process of its
    // own, works on the suite that the first half installed.
    prefix_ = qEnvironmentVariable(kPrefixVariable);
    if (prefix_.isEmpty()) prefix_ = QString::fromStdString(dir_.path());
    programDir_ = prefix_ + "/Tallimoor/bin";
    dataDir_ = prefix_ + "/Tallimoor/data";
    QDir(prefix_).mkpath("Tallimoor/bin");
    for (const char* picture : {"Tallimoor32.jpg", "sysedit.bmp"})
      QFile::copy(QString(PICTURES_DIR) + "/" + picture, programDir_ + "/" + picture);
    auto settings = std::make_unique<os::MemoryMachineSettings>();
    settings_ = settings.get();
    previousSettings_ = os::Services::install(std::move(settings));
    (void)settings_->writeString("Tallimoor", "pgmdrive", prefix_);
    (void)settings_->writeString("Tallimoor", "datadrive", prefix_);
    auto loader = std::make_unique<os::RecordingLibraryLoader>();
    loader_ = loader.get();
    previousLoader_ = os::Services::install(std::move(loader));
    auto printers = std::make_unique<os::ScriptedPrinters>();
    printers->setPrinters({"Laser"}, "Laser");
    previousPrinters_ = os::Services::install(std::move(printers));
    previousDialogs_ = ui::setDialogs(&dialogs_);
    savedCurrent_ = QDir::currentPath();
    QDir::setCurrent(programDir_);  // translations are "../languages" from here
  }
  ~DesktopFixture() override {
    QDir::setCurrent(savedCurrent_);
    ui::setDialogs(previousDialogs_);
    os::Services::install(std::move(previousSettings_));
    os::Services::install(std::move(previousLoader_));
    os::Services::install(std::move(previousPrinters_));
    ui::Application::setExceptionHandler(nullptr);
    db::Database::environment() = pdx::Env::unsynced();
  }

  // A data root whose users are `users` (the first one if none), and company 1.
  void makeDataRoot(std::vector<admin::NewUser> users = {user("SECRET", "ADMIN", "Marie Tremblay")}) {
    std::ostringstream log;
    admin::InitOptions init;
    init.dataRoot = dataDir_.toStdString();
    init.sessions = 4;
    init.languagesDir = (prefix_ + "/Tallimoor/languages").toStdString();
    init.env = pdx::Env::unsynced();
    init.firstUser = users.front();
    pdx::Status s = admin::initDataRoot(init, log);
    ASSERT_TRUE(s.ok()) << s.toString() << log.str();
    admin::CompanyOptions company;
    company.dataRoot = dataDir_.toStdString();
    company.name = "Érablière du Nord";
    company.today = *pdx::Date::fromYmd(2026, 12, 7);
    company.env = pdx::Env::unsynced();
    s = admin::createCompany(company, log);
    ASSERT_TRUE(s.ok()) << s.toString() << log.str();
    for (size_t i = 1; i < users.size(); ++i) {
      db::Table t;
      t.setDatabaseName(dataDir_.toStdString());
      t.setTableName("user");
      ASSERT_TRUE(t.open().ok());
      ASSERT_TRUE(t.insert().ok());
      ASSERT_TRUE(t.fieldByName("User_password").setAsString(users[i].password).ok());
      ASSERT_TRUE(t.fieldByName("User_code").setAsString(users[i].code).ok());
      ASSERT_TRUE(t.fieldByName("User_name").setAsString(users[i].name).ok());
      ASSERT_TRUE(t.fieldByName("User_language").setAsInteger(users[i].language).ok());
      ASSERT_TRUE(t.fieldByName("User_company").setAsInteger(1).ok());
      ASSERT_TRUE(t.post().ok());
    }
  }

  // A shell started and logged in: with the password dialog answered by
  // `password` when there is one to answer, asking for the standard desktop
  // when `standard`.
  std::unique_ptr<TLogoAppForm> start(const QString& password = "SECRET", bool standard = false,
                                      bool cancel = false) {
    auto window = std::make_unique<TLogoAppForm>(programDir_, makeDesktop);
    window->resize(1280, 800);
    window->PasswordDlg->showModal = [=](TPasswordDlg& d) {
      d.Password->setText(password);
      d.DesktopCheckBox->setChecked(standard);
      return cancel ? QDialog::Rejected : QDialog::Accepted;
    };
    if (standard) window->PasswordDlg->DesktopCheckBox->setChecked(true);
    window->FormActivate();
    return window;
  }

  // Makes the shortcut of option `code` as a user does: the shortcut dialog,
  // the option reached with the arrow keys, Enter.
  void addShortcut(TLogoAppForm& window, const QString& code) {
    TShortcutDlg* dialog = window.ShortcutDlg;
    int row = -1;
    for (int i = 0; i < dialog->DllList->count() && row < 0; ++i)
      if (dialog->DllList->item(i)->text() == code) row = i;
    ASSERT_GE(row, 0) << code.toStdString();
    whenModal([dialog, row](QWidget* shown) {
      ASSERT_EQ(shown, dialog);
      dialog->OptionNames->setFocus();
      for (int k = 0; k < row; ++k) QTest::keyClick(dialog->OptionNames, Qt::Key_Down);
      QTest::keyClick(dialog->OptionNames, Qt::Key_Return);
    });
    shortcuts(window).Shortcut1Click();
  }

  static ui::TTransparentButton* shortcut(TLogoAppForm& window, const QString& name) {
    return window.findAs<ui::TTransparentButton>(name);
  }

  static TDesktop& desktop(TLogoAppForm& window) { return *static_cast<TDesktop*>(window.desktopPart()); }
  static QuickLists& lists(TLogoAppForm& window) { return desktop(window).lists(); }
  static Shortcuts& shortcuts(TLogoAppForm& window) { return desktop(window).shortcuts(); }

  // The rows of `Desktop`, in table order: user, kind, index and stream.
  struct StoredRow {
    QString user;
    int kind, index;
    QByteArray stream;
    bool operator==(const StoredRow&) const = default;
  };
  std::vector<StoredRow> storedRows(const QString& onlyUser = {}) const {
    std::vector<StoredRow> rows;
    db::Table t;
    t.setDatabaseName(dataDir_.toStdString());
    t.setTableName("Desktop");
    t.readOnly = true;
    EXPECT_TRUE(t.open().ok());
    for (pdx::Status s = t.first(); s.ok() && !t.isEmpty() && !t.eof(); s = t.next()) {
      StoredRow row;
      row.user = QString::fromStdString(t.fieldByName("Desktop_user").asString());
      row.kind = static_cast<int>(t.fieldByName("Desktop_Component_type").asInteger());
      row.index = static_cast<int>(t.fieldByName("Desktop_ComponentIndex").asInteger());
      const pdx::Value& v = t.fieldByName("Desktop_Component").value();
      if (v.kind() == pdx::Value::Kind::kBytes) row.stream = QByteArray(v.asBytes().data(), qsizetype(v.asBytes().size()));
      if (onlyUser.isEmpty() || row.user == onlyUser) rows.push_back(row);
    }
    return rows;
  }

  // Adds rows to a company table: each row a list of (field, text) pairs.
  void addRows(const char* table, const std::vector<std::vector<std::pair<const char*, std::string>>>& rows) {
    db::Table t;
    t.setDatabaseName((dataDir_ + "1").toStdString());
    t.setTableName(table);
    ASSERT_TRUE(t.open().ok());
    for (const auto& row : rows) {
      ASSERT_TRUE(t.insert().ok());
      for (const auto& [field, value] : row) ASSERT_TRUE(t.fieldByName(field).setAsString(value).ok()) << field;
      ASSERT_TRUE(t.post().ok()) << table;
    }
  }

  QStringList messages() const {
    QStringList out;
    for (const auto& s : dialogs_.shown)
      if (s.what == "message") out << s.text;
    return out;
  }

  pdx::testing::TempDir dir_;
  QString prefix_, programDir_, dataDir_, savedCurrent_;
  os::MemoryMachineSettings* settings_;
  os::RecordingLibraryLoader* loader_;
  ui::RecordingDialogs dialogs_;
  ui::Dialogs* previousDialogs_;
  std::unique_ptr<os::MachineSettings> previousSettings_;
  std::unique_ptr<os::LibraryLoader> previousLoader_;
  std::unique_ptr<os::Printers> previousPrinters_;
};

}  // namespace shell::testing
