// The very first start on an empty data root, through the real windows: the
// company-creation module, the defaults wizard, then the login.
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <sstream>

#include "db/table.h"
#include "shell_test_util.h"

namespace shell {
namespace {

using namespace testing;

class FirstRunTest : public ShellTest {
 protected:
  FirstRunTest() {
    std::ostringstream log;
    admin::InitOptions init;
    init.dataRoot = dataDir_.toStdString();
    init.sessions = 2;
    init.languagesDir = (prefix_ + "/Tallimoor/languages").toStdString();
    init.env = pdx::Env::unsynced();
    const pdx::Status s = admin::initDataRoot(init, log);
    EXPECT_TRUE(s.ok()) << s.toString() << log.str();
    // The real company-creation module, loaded from the program folder.
    EXPECT_TRUE(QFile::copy(ZK19_PATH, programDir_ + "/zk19.so"));
    recorder_ = os::Services::install(os::createLibraryLoader());
    (void)settings_->writeString("Tallimoor", "DisplayPW", "Y");
  }
  ~FirstRunTest() override { os::Services::install(std::move(recorder_)); }

  // Presses Alt and `key` in `dialog`, and waits for the button it clicks.
  static void alt(QWidget* dialog, Qt::Key key) {
    QTest::keyClick(dialog, key, Qt::AltModifier);
    QTest::qWait(150);
  }

  std::unique_ptr<os::LibraryLoader> recorder_;
};

TEST_F(FirstRunTest, CompanyCreationThenTheWizardThenTheLogin) {
  TLogoAppForm window(programDir_);
  QStringList seen;
  // 1. The company-creation module's window: the company's name, Return.
  whenReady(
      [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != "CompanyCreate_frm") return false;
        seen << "company";
        auto* name = modal->findChild<QLineEdit*>("CompanyName");
        name->setFocus();
        QTest::keyClicks(name, "Boulangerie Ste-Foy");
        QTest::keyClick(name, Qt::Key_Return);
        return true;
      },
      20000);
  // 2. The wizard: in Canada, Ontario, GST 5 and PST 8, the rest as offered.
  whenReady(
      [&] {
        TfrmDefaultInfo* wizard = window.frmDefaultInfo;
        if (!wizard->isVisible() || QApplication::activeModalWidget() != wizard) return false;
        seen << "wizard";
        EXPECT_EQ(wizard->directory(), dataDir_ + "1");
        wizard->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(wizard));
        alt(wizard, Qt::Key_I);
        alt(wizard, Qt::Key_N);
        wizard->cbxProvince->setFocus();
        QTest::keyClicks(wizard->cbxProvince, "On");
        alt(wizard, Qt::Key_N);
        for (auto [edit, rate] : {std::pair{wizard->edtRate1, "5"}, {wizard->edtRate2, "8"}}) {
          edit->setFocus();
          edit->selectAll();
          QTest::keyClicks(edit, rate);
        }
        alt(wizard, Qt::Key_N);
        alt(wizard, Qt::Key_N);
        alt(wizard, Qt::Key_C);
        return true;
      },
      20000);
  // 3. The login.
  whenReady(
      [&] {
        if (!window.PasswordDlg->isVisible()) return false;
        seen << "login";
        window.PasswordDlg->Password->setFocus();
        QTest::keyClicks(window.PasswordDlg->Password, "admin");
        QTest::keyClick(window.PasswordDlg->Password, Qt::Key_Return);
        return true;
      },
      20000);
  window.show();
  ASSERT_TRUE(window.ready()) << messages().join(" | ").toStdString();
  EXPECT_EQ(seen, (QStringList{"company", "wizard", "login"}));
  EXPECT_EQ(window.context().companyCode(), "1");
  EXPECT_EQ(window.context().companyName(), "Boulangerie Ste-Foy");
  EXPECT_EQ(window.context().userName(), "Administrator");

  db::Table ctrl;
  ctrl.setDatabaseName((dataDir_ + "1").toStdString());
  ctrl.setTableName("ctrl");
  ASSERT_TRUE(ctrl.open().ok());
  EXPECT_EQ(ctrl.fieldByName("Ctrl_fed_rate").asString(), "5");
  EXPECT_EQ(ctrl.fieldByName("Ctrl_pro_rate1").asString(), "8");
  EXPECT_EQ(ctrl.fieldByName("Ctrl_dollars1").asString(), "Dollars");
  EXPECT_EQ(settings_->readString("Settings", "DateFmt", ""), "mm/dd/yyyy");
  EXPECT_EQ(settings_->readString("Settings", "Intl", ""), "n");
  EXPECT_EQ(settings_->readString("Settings", "CurrAlign", ""), "L");
  window.close();
}

// A company creation given up leaves nothing to log in to: the shell says
// so and ends, and no wizard writes anywhere.
TEST_F(FirstRunTest, NoCompanyNoStart) {
  TLogoAppForm window(programDir_);
  whenReady(
      [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != "CompanyCreate_frm") return false;
        QTest::keyClick(modal, Qt::Key_Escape);
        return true;
      },
      20000);
  bool wizardShown = false;
  window.frmDefaultInfo->showModal = [&](TfrmDefaultInfo&) { return wizardShown = true, int(QDialog::Rejected); };
  window.show();
  EXPECT_FALSE(window.ready());
  EXPECT_FALSE(wizardShown);
  EXPECT_FALSE(window.desktopSaveAllowed());
  EXPECT_EQ(messages(), QStringList{window.messageLine(message::kNoCompany)});
}

}  // namespace
}  // namespace shell
