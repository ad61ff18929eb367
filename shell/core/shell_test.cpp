// The shell offscreen: start-up, login, menus and the launch of options.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <sstream>

#include "db/database.h"
#include "db/table.h"
#include "shell_settings.h"
#include "shell_test_util.h"
#include "pdx/unfinished.h"
#include "ui/application.h"

namespace shell {
namespace {

using namespace testing;

// What the Tools-menu maintenance module received.
QString toolsOptionNames, toolsCodes;
extern "C" int TestToolsDllForm(TLinkSection, uint32_t names, uint32_t codes) {
  toolsOptionNames = shared::text(names);
  toolsCodes = shared::text(codes);
  return -1;
}

TEST_F(ShellTest, TheOnlyUserIsLoggedInWithoutADialog) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  // The version shown is the one the program file carries.
  services_.versions.setVersion(QApplication::applicationFilePath(), {2, 1, 0, 37});
  TLogoAppForm window(programDir_);
  int asked = 0;
  window.PasswordDlg->showModal = [&](TPasswordDlg&) { return ++asked, QDialog::Rejected; };
  window.FormActivate();
  ASSERT_TRUE(window.ready()) << messages().join(" | ").toStdString();
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(window.sessionId(), 1);
  EXPECT_EQ(window.context().companyCode(), "1");
  EXPECT_EQ(window.context().companyName(), "Érablière du Nord");
  EXPECT_EQ(window.context().userName(), "Marie Tremblay");
  EXPECT_EQ(window.context().companyDirectory(), dataDir_ + "1");
  EXPECT_TRUE(window.windowTitle().startsWith("Welcome to Tallimoor   "));
  EXPECT_TRUE(window.windowTitle().endsWith(" "));
  EXPECT_EQ(window.StatusBar1->panelText(0), "Érablière du Nord");
  EXPECT_EQ(window.StatusBar1->panelText(1), "Laser");
  EXPECT_EQ(window.StatusBar1->panelText(3), "Version 2.1.0.37");
  EXPECT_EQ(window.companyList(), QStringList{"1"});
  EXPECT_TRUE(window.Company1->item(0)->isChecked());
  ASSERT_GE(window.Tools1->count(), 1);
  EXPECT_EQ(window.Tools1->item(0)->name(), "optmenu");
  // A second activation does nothing.
  window.FormActivate();
  EXPECT_EQ(window.sessionId(), 1);
}

TEST_F(ShellTest, PasswordsWrongThenRightAndCancel) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay"), user("AP", "PAY", "Luc Gagnon", 2)});
  {
    TLogoAppForm window(programDir_);
    QStringList typed = {"WRONG", "AP"};
    int asked = 0;
    window.PasswordDlg->showModal = [&](TPasswordDlg& d) {
      d.Password->setText(typed[asked++]);
      return QDialog::Accepted;
    };
    window.FormActivate();
    ASSERT_TRUE(window.ready());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(window.context().userName(), "Luc Gagnon");
    EXPECT_EQ(window.context().loginName(), "Luc Gagnon");  // the user has a language
    EXPECT_EQ(window.languageCode(), "fr");
    EXPECT_TRUE(window.windowTitle().startsWith("Bienvenue à Tallimoor   "));
    EXPECT_TRUE(window.PasswordDlg->password().isEmpty());
  }
  {
    TLogoAppForm window(programDir_);
    window.PasswordDlg->showModal = [](TPasswordDlg&) { return QDialog::Rejected; };
    window.FormActivate();
    EXPECT_FALSE(window.ready());
    EXPECT_FALSE(window.desktopSaveAllowed());
  }
}

// A password with an accented letter, stored by the administrator's tool and
// typed in lower case in the real login box, opens the session: both
// upper-case it by one rule.
TEST_F(ShellTest, APasswordWithAnAccentCanBeTyped) {
  makeDataRoot({user("facturé", "LUC", "Luc Gagnon", 2), user("OTHER", "OTHER", "Someone Else", 1)});
  TLogoAppForm window(programDir_);
  QString shown;
  whenReady([&] {
    if (!window.PasswordDlg->isVisible()) return false;
    window.PasswordDlg->Password->setFocus();
    QTest::keyClicks(window.PasswordDlg->Password, "factur");
    QTest::sendKeyEvent(QTest::Click, window.PasswordDlg->Password, Qt::Key_Eacute, QStringLiteral("é"),
                        Qt::NoModifier);
    shown = window.PasswordDlg->Password->text();
    QTest::keyClick(window.PasswordDlg->Password, Qt::Key_Return);
    return true;
  });
  window.show();
  ASSERT_TRUE(window.ready()) << messages().join(" | ").toStdString();
  EXPECT_EQ(shown, "FACTURÉ");
  EXPECT_EQ(window.context().userName(), "Luc Gagnon");
  window.close();
}

TEST_F(ShellTest, SettingsDecideLanguageMenusAndPassword) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay")});
  (void)settings_->writeString("Tallimoor", "DisplayPW", "Y");
  (void)settings_->writeString("Tallimoor", "payroll", "y");
  (void)settings_->writeString("Tallimoor", "language", "3");
  TLogoAppForm window(programDir_);
  EXPECT_EQ(window.languageCode(), "");
  EXPECT_TRUE(window.menus[kPayrollMenu]->isVisible());
  EXPECT_FALSE(window.menus[kJobCostMenu]->isVisible());
  EXPECT_FALSE(window.menus[kTrackerMenu]->isVisible());
  // Language 3 has no code: the table "MainMenu" does not exist, which is
  // reported; start-up goes on.
  ASSERT_GE(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(messages().join(" ").contains("MainMenu")) << messages().join(" | ").toStdString();
  int asked = 0;
  window.PasswordDlg->showModal = [&](TPasswordDlg& d) {
    ++asked;
    d.Password->setText("SECRET");
    return QDialog::Accepted;
  };
  window.FormActivate();
  EXPECT_TRUE(window.ready());
  EXPECT_EQ(asked, 1);  // "DisplayPW" = "Y" asks even for one user
}

TEST_F(ShellTest, AnEmptyUserTableRefusesToStart) {
  makeDataRoot();
  {
    db::Table users;
    users.setDatabaseName(dataDir_.toStdString());
    users.setTableName("user");
    ASSERT_TRUE(users.emptyTable().ok());
  }
  TLogoAppForm window(programDir_);
  dialogs_.shown.clear();
  window.FormActivate();
  EXPECT_FALSE(window.ready());
  EXPECT_FALSE(window.desktopSaveAllowed());
  EXPECT_EQ(messages().last(), window.messageLine(message::kNoUsers));
}

// A data root that tallimoor-admin did not finish: marked so, or without a
// single session row (as one left by a kill before its rows were written).
// The shell says it is incomplete, in the user's language, and does not
// start; it never says that every session is in use.
TEST_F(ShellTest, AnIncompleteDataRootIsNamedSoAndDoesNotStart) {
  makeDataRoot();
  auto startsIncomplete = [&](int language) {
    SCOPED_TRACE(language);
    (void)settings_->writeString("Tallimoor", "language", QString::number(language));
    TLogoAppForm window(programDir_);
    dialogs_.shown.clear();
    window.FormActivate();
    EXPECT_FALSE(window.ready());
    EXPECT_FALSE(window.desktopSaveAllowed());
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages().last(), window.messageLine(message::kDataRootIncomplete));
    EXPECT_TRUE(messages().last().contains(language == 2 ? "incomplet" : "incomplete")) << messages().last().toStdString();
  };
  {
    auto mark = pdx::BuildMarker::place(dataDir_.toStdString(), "tallimoor-admin demo", pdx::Env::unsynced());
    ASSERT_TRUE(mark.ok());
  }
  startsIncomplete(1);
  ASSERT_TRUE(pdx::removeUnfinishedMarker(dataDir_.toStdString(), pdx::Env::unsynced()).ok());
  {
    db::Table sessions;
    sessions.setDatabaseName(dataDir_.toStdString());
    sessions.setTableName("session");
    ASSERT_TRUE(sessions.emptyTable().ok());
  }
  startsIncomplete(1);
  startsIncomplete(2);
}

TEST_F(ShellTest, TheMenuKeepsItsPositionsNamesAndGroups) {
  makeDataRoot();
  TLogoAppForm window(programDir_);
  ASSERT_EQ(window.MainMenu1->count(), 12);
  const QStringList captions = {"General ledger", "Accounts receivable", "Accounts payable", "Invoicing",
                                "System manager", "Payroll", "Tracker", "Job cost", "Options", "Tools", "Help", "Exit"};
  const int tags[8] = {0, 1, 2, 4, 3, 5, 6, 9};
  for (int i = 0; i < 12; ++i) {
    // Translation may have changed the captions: check the design through the catalogue.
    if (i < 8) {
      EXPECT_EQ(window.MainMenu1->item(i), window.menus[i]);
      EXPECT_EQ(window.menus[i]->tag(), tags[i]);
      EXPECT_EQ(applicationMenus()[size_t(i)].caption, captions[i]);
    }
  }
  EXPECT_EQ(window.MainMenu1->item(11), window.Exit1);
  // Groups start where the layout says, and carry their positions.
  const int firstGroup[8] = {4, 4, 4, 4, 0, 6, 3, 2};
  for (int i = 0; i < 8; ++i) {
    ui::MenuItem* edit = window.menus[i]->item(firstGroup[i]);
    ASSERT_NE(edit, nullptr) << i;
    EXPECT_TRUE(edit->name().endsWith("Edit")) << edit->name().toStdString();
    EXPECT_EQ(window.menus[i]->count(), firstGroup[i] + 4);
  }
  EXPECT_EQ(window.menus[1]->item(6)->item(0)->name(), "kq61");  // receivables, Reports, 0
  EXPECT_EQ(window.menus[2]->item(5)->item(0)->name(), "vd87");  // payables, Transactions, 0
  EXPECT_EQ(window.menus[2]->item(6)->item(0)->name(), "vd52");
  EXPECT_EQ(window.menus[4]->item(0)->item(0)->name(), "zk14");
  EXPECT_EQ(window.menus[2]->item(0)->name(), "vd87f");
  EXPECT_EQ(window.menus[2]->item(3)->isSeparator(), true);
  EXPECT_EQ(ui::plainCaption(window.menus[0]->item(6)->item(9)->text()), "Print reports");
  EXPECT_EQ(applicationMenus()[1].groups[1][0].caption, "Sales and adjustments ");
  // Every option code is unique and lower case.
  QStringList seen;
  for (const ApplicationMenu& m : applicationMenus())
    for (const auto& g : m.groups)
      for (const Option& o : g) {
        EXPECT_FALSE(seen.contains(o.code)) << o.code.toStdString();
        EXPECT_EQ(o.code, o.code.toLower());
        seen << o.code;
      }
}

TEST_F(ShellTest, LaunchFollowsEveryNamingRule) {
  makeDataRoot();
  TLogoAppForm window(programDir_);
  window.FormActivate();
  ASSERT_TRUE(window.ready());
  for (const char* code : {"vd87", "zk12p", "qg13", "qg39"}) addModule(code);

  dialogs_.shown.clear();
  window.ExecuteOption("vd87");
  window.ExecuteOption("vd87f");
  window.ExecuteOption("vd87S");  // a shortcut to an option the user may run
  EXPECT_EQ(moduleCall.calls, 3);
  EXPECT_EQ(moduleCall.companyCode, "1");
  EXPECT_EQ(moduleCall.sessionId, window.sessionId());
  EXPECT_EQ(loader_->calls().filter(QRegularExpression("^load .*/vd87\\.so$")).size(), 3);

  window.ExecuteOption("zk12p");  // company maintenance keeps its "p"
  EXPECT_EQ(loader_->calls().filter(QRegularExpression("^load .*/zk12p\\.so$")).size(), 1);

  // The payables' "Print reports" runs the general ledger's library as "ap".
  window.ExecuteOption("vd35");
  EXPECT_EQ(moduleCall.qualifier, "ap");
  EXPECT_EQ(window.context().launchQualifier(), "");
  window.ExecuteOption("kq12");
  EXPECT_EQ(moduleCall.qualifier, "ar");
  EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();

  // Refusals and failures, each with its message.
  window.ExecuteOption("vd8S");  // part of a code is not an option
  EXPECT_EQ(messages().last(), window.messageLine(message::kOptionNotAllowed));
  window.ExecuteOption("vd52");
  EXPECT_EQ(messages().last(), "error loading option vd52  1157");
  window.ExecuteOption("trk30");
  EXPECT_EQ(messages().last(), window.messageLine(message::kNoTrackerDatabase));
  moduleCall.result = 0;
  window.ExecuteOption("vd87");
  EXPECT_EQ(messages().last(), "Access denied...");
  EXPECT_EQ(loader_->loadedCount(), 0);  // every library unloaded
}

// The catalogue lies in the data root, which every user can write: a code
// that climbs out of the program folder loads nothing.
TEST_F(ShellTest, AnOptionCodeNeverLeadsOutOfTheProgramFolder) {
  makeDataRoot();
  TLogoAppForm window(programDir_);
  window.FormActivate();
  ASSERT_TRUE(window.ready());
  for (const QString& code : {QString("../outside"), programDir_ + "/../outside", QString("..")}) {
    loader_->addLibrary(programDir_ + "/" + code + ".so",
                        {{"ShowDllForm", reinterpret_cast<os::FunctionAddress>(&TestShowDllForm)}});
    dialogs_.shown.clear();
    window.ExecuteOption(code);
    EXPECT_EQ(moduleCall.calls, 0) << code.toStdString();
    EXPECT_EQ(messages().last(), "error loading option " + code + "  161");
  }
  EXPECT_TRUE(loader_->calls().filter("outside").isEmpty()) << loader_->calls().join(" | ").toStdString();
}

TEST_F(ShellTest, PayrollNeedsItsLibraryAndItsDepartments) {
  makeDataRoot();
  (void)settings_->writeString("Tallimoor", "payroll", "Y");
  TLogoAppForm window(programDir_);
  window.FormActivate();
  ASSERT_TRUE(window.ready());
  dialogs_.shown.clear();
  window.ExecuteOption("xw26");
  EXPECT_EQ(messages().last(), window.messageLine(message::kPayrollDepartmentsMissing));
  EXPECT_EQ(dialogs_.shown.back().kind, ui::MessageKind::kInformation);
  window.ExecuteOption("xw405");  // creating the payroll files needs no departments
  EXPECT_EQ(messages().last(), window.messageLine(message::kPayrollLibraryMissing));
  QFile departments(dataDir_ + "1/PNDEPT.DB");
  ASSERT_TRUE(departments.open(QIODevice::WriteOnly));
  departments.close();
  addModule("xw26");
  window.ExecuteOption("xw26f");
  EXPECT_EQ(moduleCall.calls, 1);
}

TEST_F(ShellTest, AfterCompanyMaintenanceTheCompanyMenuShowsTheCompanies) {
  makeDataRoot();
  TLogoAppForm window(programDir_);
  window.FormActivate();
  ASSERT_TRUE(window.ready());
  addModule("zk12p");
  moduleCall.during = [&] {
    db::Table comp;
    comp.setDatabaseName(dataDir_.toStdString());
    comp.setTableName("comp");
    ASSERT_TRUE(comp.open().ok());
    ASSERT_TRUE(comp.insert().ok());
    ASSERT_TRUE(comp.fieldByName("Comp_Code").setAsInteger(2).ok());
    ASSERT_TRUE(comp.fieldByName("Comp_Name").setAsString("Quincaillerie Laval").ok());
    ASSERT_TRUE(comp.post().ok());
  };
  window.ExecuteOption("zk12p");
  EXPECT_EQ(window.companyList(), (QStringList{"1", "2"}));
  ASSERT_EQ(window.Company1->count(), 2);
  EXPECT_EQ(ui::plainCaption(window.Company1->item(1)->text()), "Quincaillerie Laval");
  EXPECT_TRUE(window.Company1->item(0)->isChecked());
}

TEST_F(ShellTest, AModuleThatRaisesIsUnloadedAndReported) {
  makeDataRoot();
  TLogoAppForm window(programDir_);
  window.FormActivate();
  ASSERT_TRUE(window.ready());
  addModule("vd87");
  int handled = 0;
  ui::Application::setExceptionHandler([&](std::exception_ptr) { ++handled; });
  moduleCall.raise = true;
  window.ExecuteOption("vd35");  // through a qualifier, to see it cleared
  addModule("qg39");
  window.ExecuteOption("vd35");
  // The module's handler is cleared before the error is shown: the default
  // display reports it.
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(messages().last(), "the module failed");
  EXPECT_EQ(window.context().launchQualifier(), "");
  EXPECT_EQ(loader_->loadedCount(), 0);
}

// Only a missing catalogue is made anew; one that is there but cannot be
// opened holds the users' Tools menu and must survive untouched.
TEST_F(ShellTest, OnlyAMissingCatalogueIsCreated) {
  makeDataRoot();
  auto catalogueFiles = [&] { return QDir(dataDir_).entryList({"apps.*", "APPS.*"}, QDir::Files); };
  for (const QString& f : catalogueFiles()) QFile::remove(dataDir_ + "/" + f);
  {
    auto window = startShell();
    ASSERT_EQ(window->Tools1->count(), 1);
    EXPECT_EQ(ui::plainCaption(window->Tools1->item(0)->text()), "Maintenance of Tools menu");
    EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
  }
  // Damage the data file: the shell reports it and writes nothing.
  const QStringList files = catalogueFiles();
  ASSERT_FALSE(files.isEmpty());
  QString data;
  for (const QString& f : files)
    if (f.endsWith(".DB", Qt::CaseInsensitive)) data = dataDir_ + "/" + f;
  ASSERT_FALSE(data.isEmpty());
  {
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(QByteArray(16, '\xEE'));
  }
  QFile before(data);
  ASSERT_TRUE(before.open(QIODevice::ReadOnly));
  const QByteArray damaged = before.readAll();
  before.close();
  dialogs_.shown.clear();
  auto window = startShell();
  EXPECT_EQ(window->Tools1->count(), 0);
  EXPECT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
  QFile after(data);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), damaged);
}

// A program of the Tools menu starts in its directory; the shell's current
// directory does not move, and even when it has moved, translation tables and
// module libraries are still found from the program folder.
TEST_F(ShellTest, ProgramsStartInTheirDirectoryAndTheShellFindsItsFilesAnyway) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  {
    db::Table apps;
    apps.setDatabaseName(dataDir_.toStdString());
    apps.setTableName("apps");
    ASSERT_TRUE(apps.open().ok());
    ASSERT_TRUE(apps.append().ok());
    ASSERT_TRUE(apps.fieldByName("Application_name").setAsString("Calculator").ok());
    ASSERT_TRUE(apps.fieldByName("Application_pgm").setAsString("calc").ok());
    ASSERT_TRUE(apps.fieldByName("Application_type").setAsBoolean(false).ok());
    ASSERT_TRUE(apps.fieldByName("Application_directory").setAsString(dataDir_.toStdString()).ok());
    ASSERT_TRUE(apps.post().ok());
  }
  auto window = startShell();
  ASSERT_EQ(window->Tools1->count(), 2);
  const QString current = QDir::currentPath();
  window->Tools1->item(1)->trigger();
  EXPECT_EQ(services_.programs.calls(), QStringList{"start calc in " + QDir(dataDir_).absolutePath()});
  EXPECT_EQ(QDir::currentPath(), current);

  // Somewhere else entirely, as another program might leave it.
  ASSERT_TRUE(QDir::setCurrent(dataDir_ + "1"));
  dialogs_.shown.clear();
  ui::MenuItem* french = window->findAs<ui::MenuItem>("MenuItemfr");
  ASSERT_NE(french, nullptr);
  window->LanguageClick(french);
  EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
  EXPECT_EQ(ui::plainCaption(window->Options1->text()), "Options");
  EXPECT_EQ(ui::plainCaption(window->Help1->text()), "Aide");
  addModule("vd87");
  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.calls, 1);
}

TEST_F(ShellTest, HelpToolsMaintenanceAndClosingWriteWhatTheyShould) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 2)});
  auto help = std::make_unique<os::RecordingHelpViewer>();
  os::RecordingHelpViewer* viewer = help.get();
  auto previousHelp = os::Services::install(std::move(help));
  {
    TLogoAppForm window(programDir_);
    window.FormActivate();
    ASSERT_TRUE(window.ready());
    window.HelpClick();
    ASSERT_EQ(viewer->calls().size(), 1);
    EXPECT_EQ(viewer->calls()[0], "contents " + programDir_ + "/Helpfr");

    // The maintenance module gets the option names and their codes.
    loader_->addLibrary(programDir_ + "/optmenu.so",
                        {{"ShowDllForm", reinterpret_cast<os::FunctionAddress>(&TestToolsDllForm)}});
    window.ExecuteToolsMaintenance();
    EXPECT_TRUE(toolsOptionNames.startsWith("Mise à jour des comptes (Grand livre)\r\n"))
        << toolsOptionNames.left(80).toStdString();
    EXPECT_TRUE(toolsCodes.startsWith("qg12\r\nqg11\r\n"));
    EXPECT_TRUE(window.windowTitle().startsWith("Bienvenue à Tallimoor/Brennick   "));
    EXPECT_EQ(loader_->loadedCount(), 0);

    window.setGeometry(40, 50, 800, 600);
    window.close();
  }
  // The placement is written back, flagged for the next start.
  const QString form = settings_->readString("Tallimoor", "Form", "");
  EXPECT_TRUE(form.endsWith(",Y")) << form.toStdString();
  EXPECT_TRUE(form.startsWith("600,")) << form.toStdString();
  os::Services::install(std::move(previousHelp));
}

// A settings file for a real shell whose data folder lies under `dataDrive`.
QString writeSettings(const QString& file, const QString& programDrive, const QString& dataDrive) {
  QFile f(file);
  if (f.open(QIODevice::WriteOnly))
    f.write(("[Tallimoor]\npgmdrive=" + programDrive + "\ndatadrive=" + dataDrive + "\n").toUtf8());
  return file;
}

// Real shells, each in a process of its own, reporting when they are ready
// (with their session slot) or ended.
class RunningShells {
 public:
  explicit RunningShells(QString programDir) : programDir_(std::move(programDir)) {}
  ~RunningShells() {
    for (auto& p : shells_) {
      p->kill();
      p->waitForFinished(5000);
    }
  }
  // Starts a shell with `settingsFile`; returns its report file.
  QString start(const QString& settingsFile) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORVADEL_SETTINGS", settingsFile);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TALLIMOOR_UNATTENDED", "1");
    const QString report = QFileInfo(settingsFile).absolutePath() + QStringLiteral("/ready%1").arg(shells_.size());
    env.insert("TALLIMOOR_REPORT_READY", report);
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(programDir_);
    p->start(DESKSHELL_PATH, {});
    shells_.push_back(std::move(p));
    return report;
  }
  // What the report says once written: "ready <slot>" or "ended".
  static QString waitFor(const QString& file) {
    for (int i = 0; i < 300 && !QFile::exists(file); ++i) QThread::msleep(50);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll()).trimmed();
  }
  QProcess& last() { return *shells_.back(); }

 private:
  QString programDir_;
  std::vector<std::unique_ptr<QProcess>> shells_;
};

// Three real shells on one data root get three slots; a fourth gets none.
TEST_F(ShellTest, EachRunningShellHoldsItsOwnSessionSlot) {
  makeDataRoot({}, 3);
  const QString settingsFile = writeSettings(prefix_ + "/settings.ini", prefix_, prefix_);
  RunningShells shells(programDir_);
  QStringList ids;
  for (int i = 0; i < 3; ++i) {
    const QString got = RunningShells::waitFor(shells.start(settingsFile));
    ASSERT_TRUE(got.startsWith("ready ")) << got.toStdString();
    ids << got.mid(6);
  }
  ids.sort();
  EXPECT_EQ(ids, (QStringList{"1", "2", "3"}));
  EXPECT_EQ(RunningShells::waitFor(shells.start(settingsFile)), "ended");
  ASSERT_TRUE(shells.last().waitForFinished(20000));
  EXPECT_EQ(shells.last().exitCode(), 2);
  EXPECT_TRUE(QString::fromUtf8(shells.last().readAllStandardError()).contains("deskshell:"));
}

// Two machines on one shared data folder: the one session slot that a shell
// holds on the first is refused to a shell on the second.
TEST_F(ShellTest, ASessionSlotHeldOnOneMachineIsRefusedOnAnother) {
  makeDataRoot({}, 1);
  pdx::testing::ShareViews views(prefix_.toStdString(), 2);
  TALLIMOOR_SKIP_WITHOUT(views);
  RunningShells shells(programDir_);
  const QString first = QString::fromStdString(views.view(0)), second = QString::fromStdString(views.view(1));
  const QString got = RunningShells::waitFor(shells.start(writeSettings(prefix_ + "/first.ini", prefix_, first)));
  ASSERT_EQ(got, "ready 1");
  EXPECT_EQ(RunningShells::waitFor(shells.start(writeSettings(prefix_ + "/second.ini", prefix_, second))), "ended")
      << "the slot held on the other machine was taken again";
  ASSERT_TRUE(shells.last().waitForFinished(20000));
  EXPECT_EQ(shells.last().exitCode(), 2);
}

// "NetworkShare" in the machine settings forces how the engine coordinates
// with other machines; without it the engine tells from the folder.
TEST(ShellSettingsTest, NetworkShareChoosesTheEnginesProtocol) {
  os::MemoryMachineSettings settings;
  EXPECT_EQ(ShellSettings::read(settings, "/x").shareProtocol(), pdx::ShareProtocol::kDetect);
  (void)settings.writeString("Tallimoor", "NetworkShare", "Y");
  EXPECT_EQ(ShellSettings::read(settings, "/x").shareProtocol(), pdx::ShareProtocol::kNetwork);
  (void)settings.writeString("Tallimoor", "NetworkShare", "n");
  EXPECT_EQ(ShellSettings::read(settings, "/x").shareProtocol(), pdx::ShareProtocol::kLocal);
}

}  // namespace
}  // namespace shell
