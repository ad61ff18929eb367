// Help > About and Help > Contact us, opened from the shell's menu.
#include <gtest/gtest.h>

#include <QTest>
#include <QUrl>

#include "shell_test_util.h"

namespace shell {
namespace {

using namespace testing;

class HelpDialogsTest : public ShellTest {
 protected:
  std::unique_ptr<TLogoAppForm> shell() {
    makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
    return startShell();
  }
};

// The About box tells the payroll in use: Regular wins over CCQ.
TEST_F(HelpDialogsTest, TheAboutBoxShowsTheDataRootVersionAndPayroll) {
  services_.versions.setVersion(QApplication::applicationFilePath(), {1, 4, 2, 77});
  (void)settings_->writeString("Tallimoor", "payroll", "N");
  (void)settings_->writeString("Tallimoor", "payrollCCQ", "y");
  auto window = shell();
  QString payroll, version, database;
  window->AboutBox->showModal = [&](TAboutBox& box) {
    box.show();
    payroll = box.cbxPayroll->currentText();
    version = box.Version->text();
    database = box.lblDatabase->text();
    EXPECT_FALSE(box.cbxPayroll->isEnabled());
    // Following the data root's label opens that folder.
    QTest::mouseClick(box.lblDatabase, Qt::LeftButton);
    box.hide();
    return int(QDialog::Accepted);
  };
  window->About1->trigger();
  EXPECT_EQ(payroll, "CCQ");
  EXPECT_EQ(version, "Version 1.4.2.77");
  EXPECT_EQ(database, dataDir_);
  EXPECT_EQ(services_.programs.calls(), QStringList{"open " + QUrl::fromLocalFile(dataDir_).toString()});

  window.reset();
  (void)settings_->writeString("Tallimoor", "payroll", "Y");
  window = startShell();
  window->AboutBox->showModal = [&](TAboutBox& box) {
    box.show();
    payroll = box.cbxPayroll->currentText();
    box.hide();
    return int(QDialog::Accepted);
  };
  window->About1->trigger();
  EXPECT_EQ(payroll, "Regular");
}

// Each contact label opens its address: a web page when it starts with "w",
// a new message otherwise, from the mouse and from the keyboard alike.
TEST_F(HelpDialogsTest, ContactLabelsOpenTheirAddresses) {
  auto window = shell();
  int language = 0;
  window->ContactUs->showModal = [&](TContactUs& dialog) {
    language = dialog.languageCode;
    dialog.show();
    dialog.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    for (ui::LinkLabel* label : dialog.contactLabels()) QTest::mouseClick(label, Qt::LeftButton);
    // From the keyboard: Tab brings the focus to a label, Return follows it.
    dialog.lblServicesWeb->setFocus();
    QTest::keyClick(dialog.lblServicesWeb, Qt::Key_Return);
    // Focus entering a text passes on to Close.
    dialog.memServices->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), dialog.btnClose);
    dialog.hide();
    return int(QDialog::Accepted);
  };
  window->ContactUs1->trigger();
  EXPECT_EQ(language, 1);
  EXPECT_EQ(services_.programs.calls(),
            (QStringList{"open mailto:support@tallimoor.org", "open http://www.tallimoor.org/support",
                         "open mailto:services@tallimoor.org", "open http://www.tallimoor.org/services",
                         "open mailto:sales@tallimoor.org", "open http://www.tallimoor.org/products",
                         "open http://www.tallimoor.org/downloads", "open http://www.tallimoor.org/services"}));
  EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
}

// Only a lower-case "w" makes a web address: "Www..." is taken for a mail
// address, which the desktop refuses, and the refusal is shown.
TEST_F(HelpDialogsTest, AnUpperCaseWIsMailedTo) {
  auto window = shell();
  window->ContactUs->lblSupportWeb->setText("Www.tallimoor.org");
  window->ContactUs->ContactClick(window->ContactUs->lblSupportWeb);
  EXPECT_TRUE(services_.programs.calls().isEmpty()) << services_.programs.calls().join(" | ").toStdString();
  EXPECT_EQ(messages().size(), 1);
}

// Code 10 gives the one-line English texts and brings the e-mail addresses
// to the panels' left; the languages the shell passes change nothing.
TEST_F(HelpDialogsTest, Code10GivesOneLineTexts) {
  auto window = shell();
  TContactUs& dialog = *window->ContactUs;
  const QString designed = dialog.memServices->toPlainText();
  dialog.languageCode = 2;
  dialog.show();
  EXPECT_EQ(dialog.memServices->toPlainText(), designed);
  dialog.hide();
  dialog.languageCode = 10;
  dialog.show();
  QCoreApplication::processEvents();
  EXPECT_FALSE(dialog.memServices->toPlainText().contains('\n'));
  EXPECT_TRUE(dialog.memServices->toPlainText().startsWith("In addition to technical support"));
  for (ui::LinkLabel* email : {dialog.lblSupportEmail, dialog.lblServicesEmail, dialog.lblProductsEmail})
    EXPECT_EQ(email->x() + email->contentsRect().left(), TContactUs::kOneLineEmailLeft) << email->name().toStdString();
  dialog.hide();
}

// Both dialogs follow the language switch.
TEST_F(HelpDialogsTest, TheDialogsFollowTheLanguage) {
  auto window = shell();
  EXPECT_EQ(window->AboutBox->windowTitle(), "About");
  EXPECT_EQ(window->ContactUs->windowTitle(), "Contact us");
  window->findAs<ui::MenuItem>("MenuItemfr")->trigger();
  EXPECT_EQ(window->AboutBox->windowTitle(), "À propos");
  EXPECT_EQ(window->AboutBox->lblDatabaseCaption->text(), "Emplacement des données");
  EXPECT_EQ(window->ContactUs->windowTitle(), "Nous joindre");
  EXPECT_TRUE(window->ContactUs->memSupport->toPlainText().startsWith("Si vous avez besoin d'aide"));
  int told = 0;
  window->ContactUs->showModal = [&](TContactUs& dialog) { return told = dialog.languageCode, int(QDialog::Accepted); };
  window->ContactUs1->trigger();
  EXPECT_EQ(told, 2);
}

}  // namespace
}  // namespace shell
