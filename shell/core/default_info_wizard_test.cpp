// The company defaults wizard, driven from the keyboard as a user does, and
// read back through the control record and the machine settings.
#include "default_info_wizard.h"

#include <gtest/gtest.h>

#include <QTest>

#include "db/table.h"
#include "shared/translate_form.h"
#include "shell_test_util.h"

namespace shell {
namespace {

using namespace testing;

class WizardTest : public ShellTest {
 protected:
  WizardTest() : owner_("Owner") {
    messages_ = new ui::Memo(&owner_, &owner_, "Error_Messages");
    QStringList lines;
    for (int i = 0; i < 19; ++i) lines << QString();
    lines[message::kWizardMessages] = "The tax rates must be numbers.";
    messages_->setLines(lines);
  }

  // The wizard over company 1, translated and shown, in `language`.
  void open(int language = 1) {
    makeDataRoot();
    wizard_ = std::make_unique<TfrmDefaultInfo>();
    wizard_->prepare(dataDir_ + "1", messages_, message::kWizardMessages, language);
    const pdx::Status s = shared::TranslateForm(*wizard_, language == 2 ? "MainMenufr" : "MainMenuen",
                                                prefix_ + "/Tallimoor/languages");
    ASSERT_TRUE(s.ok()) << s.toString();
    wizard_->show();
    wizard_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(wizard_.get()));
  }

  // Alt and a mnemonic. A button's mnemonic clicks it the way the platform
  // shows it, pressed for a moment: wait until it is up again.
  void alt(Qt::Key key) {
    QTest::keyClick(wizard_.get(), key, Qt::AltModifier);
    const QList<QPushButton*> buttons = wizard_->findChildren<QPushButton*>();
    auto anyDown = [&] { return std::any_of(buttons.begin(), buttons.end(), [](QPushButton* b) { return b->isDown(); }); };
    for (int i = 0; i < 100 && anyDown(); ++i) QTest::qWait(5);
    QCoreApplication::processEvents();
  }
  // Clicks into `edit` and types `text` over what it holds.
  void type(QLineEdit* edit, const QString& text) {
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    for (QChar c : text) {
      if (c.unicode() < 128)
        QTest::keyClick(edit, c.toLatin1());
      else
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }
  // Picks the entry of a drop-down list that starts with `start`, from the keyboard.
  void choose(ui::ComboBox* combo, const QString& start) {
    combo->setFocus();
    QTest::keyClicks(combo, start);
  }

  std::string ctrl(const char* field) {
    db::Table table;
    table.setDatabaseName((dataDir_ + "1").toStdString());
    table.setTableName("ctrl");
    EXPECT_TRUE(table.open().ok());
    return table.fieldByName(field).asString();
  }
  QString setting(const char* ident) { return settings_->readString("Settings", ident, "(none)"); }

  ui::Form owner_;
  ui::Memo* messages_;
  std::unique_ptr<TfrmDefaultInfo> wizard_;
};

TEST_F(WizardTest, NovaScotiaHasTheHarmonisedTax) {
  open();
  EXPECT_EQ(wizard_->page(), 0);
  alt(Qt::Key_I);  // "In Canada"
  alt(Qt::Key_N);
  ASSERT_EQ(wizard_->page(), 1);
  EXPECT_EQ(wizard_->cbxProvince->currentText(), "Alberta");  // chosen when none was
  choose(wizard_->cbxProvince, "Nova");
  alt(Qt::Key_N);
  ASSERT_EQ(wizard_->page(), 2);
  EXPECT_EQ(wizard_->edtRate1->text(), "0");
  EXPECT_EQ(wizard_->edtRate2->text(), "0");
  EXPECT_EQ(wizard_->edtRate3->text(), "15");
  EXPECT_TRUE(wizard_->edtRate3->isVisible());
  EXPECT_EQ(wizard_->grpTaxes->title(), "Enter your GST/PST/HST rates");
  EXPECT_EQ(wizard_->cbxDateFormat->currentText(), "mm/dd/yyyy");
  alt(Qt::Key_N);
  alt(Qt::Key_N);
  ASSERT_EQ(wizard_->page(), 4);
  alt(Qt::Key_C);
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_EQ(wizard_->result(), QDialog::Accepted);
  EXPECT_EQ(ctrl("Ctrl_fed_rate"), "0");
  EXPECT_EQ(ctrl("Ctrl_pro_rate1"), "0");
  EXPECT_EQ(ctrl("Ctrl_pro_rate2"), "15");
  EXPECT_EQ(ctrl("Ctrl_dollars1"), "Dollars");
  EXPECT_EQ(ctrl("Ctrl_cents1"), "Cents");
  EXPECT_EQ(setting("DateFmt"), "mm/dd/yyyy");
  EXPECT_EQ(setting("CurrSmbl"), "$");
  EXPECT_EQ(setting("Intl"), "n");
  EXPECT_EQ(setting("CurrAlign"), "L");
}

TEST_F(WizardTest, QuebecInFrench) {
  open(2);
  EXPECT_EQ(wizard_->windowTitle(), "Assistant de configuration Norvadel");
  alt(Qt::Key_A);  // "Au Canada"
  alt(Qt::Key_S);  // "Suivant"
  ASSERT_EQ(wizard_->page(), 1);
  choose(wizard_->cbxProvince, "Q");
  alt(Qt::Key_S);
  ASSERT_EQ(wizard_->page(), 2);
  EXPECT_EQ(wizard_->edtRate1->text(), "7");
  EXPECT_EQ(wizard_->edtRate2->text(), "7.5");
  EXPECT_EQ(wizard_->lblRate2->text(), "Taux de TVQ");
  EXPECT_EQ(wizard_->grpTaxes->title(), "Entrez vos taux de TPS/TVQ");
  EXPECT_FALSE(wizard_->edtRate3->isVisible());
  EXPECT_EQ(wizard_->cbxDateFormat->currentText(), "dd/mm/yyyy");
  alt(Qt::Key_S);
  ASSERT_EQ(wizard_->page(), 3);
  EXPECT_EQ(wizard_->cbxCurrAlign->currentText(), "Droite");
  alt(Qt::Key_S);
  alt(Qt::Key_F);  // "Fermer"
  EXPECT_EQ(wizard_->result(), QDialog::Accepted);
  EXPECT_EQ(ctrl("Ctrl_fed_rate"), "7");
  EXPECT_EQ(ctrl("Ctrl_pro_rate1"), "7.5");
  EXPECT_EQ(ctrl("Ctrl_pro_rate2"), "");
  EXPECT_EQ(setting("DateFmt"), "dd/mm/yyyy");
  EXPECT_EQ(setting("CurrAlign"), "R");
  EXPECT_EQ(setting("Intl"), "n");
}

// Outside Canada the province page is skipped both ways, the rates are
// "VAT/Tax" ones without a third, and the generic wording is switched on.
TEST_F(WizardTest, OutsideCanadaSkipsTheProvinces) {
  open();
  alt(Qt::Key_N);  // "Outside of Canada" is the first choice
  ASSERT_EQ(wizard_->page(), 2);
  EXPECT_EQ(wizard_->grpTaxes->title(), "Enter your sales tax  and VAT rates");
  EXPECT_EQ(wizard_->lblRate1->text(), "VAT/Tax 1 rate");
  EXPECT_EQ(wizard_->lblRate2->text(), "VAT/Tax 2 rate");
  EXPECT_FALSE(wizard_->edtRate3->isVisible());
  type(wizard_->edtRate1, "20");
  type(wizard_->edtRate2, "5.5");
  alt(Qt::Key_B);
  ASSERT_EQ(wizard_->page(), 0);
  alt(Qt::Key_N);
  ASSERT_EQ(wizard_->page(), 2);
  alt(Qt::Key_N);
  type(wizard_->edtCurrSymbol, "€");
  alt(Qt::Key_N);
  alt(Qt::Key_C);
  EXPECT_EQ(wizard_->result(), QDialog::Accepted);
  EXPECT_EQ(ctrl("Ctrl_fed_rate"), "20");
  EXPECT_EQ(ctrl("Ctrl_pro_rate1"), "5.5");
  EXPECT_EQ(ctrl("Ctrl_pro_rate2"), "");
  EXPECT_EQ(setting("Intl"), "y");
  EXPECT_EQ(setting("CurrSmbl"), "€");
  EXPECT_EQ(setting("DateFmt"), "mm/dd/yyyy");
}

// Ontario chosen after Nova Scotia keeps the zero rates the harmonised
// province set, and the hidden third rate is still stored.
TEST_F(WizardTest, OntarioAfterNovaScotiaKeepsTheEarlierRates) {
  open();
  alt(Qt::Key_I);
  alt(Qt::Key_N);
  choose(wizard_->cbxProvince, "Nova");
  alt(Qt::Key_N);
  ASSERT_EQ(wizard_->edtRate3->text(), "15");
  alt(Qt::Key_B);
  ASSERT_EQ(wizard_->page(), 1);
  wizard_->cbxProvince->setFocus();
  for (int i = 0; i < 3; ++i) QTest::keyClick(wizard_->cbxProvince, Qt::Key_Down);  // Nova Scotia to Ontario
  ASSERT_EQ(wizard_->cbxProvince->currentText(), "Ontario");
  alt(Qt::Key_N);
  EXPECT_EQ(wizard_->edtRate1->text(), "0");
  EXPECT_EQ(wizard_->edtRate2->text(), "0");
  EXPECT_FALSE(wizard_->edtRate3->isVisible());
  EXPECT_EQ(wizard_->grpTaxes->title(), "Enter your GST/PST rates");
  alt(Qt::Key_N);
  alt(Qt::Key_N);
  alt(Qt::Key_C);
  EXPECT_EQ(wizard_->result(), QDialog::Accepted);
  EXPECT_EQ(ctrl("Ctrl_fed_rate"), "0");
  EXPECT_EQ(ctrl("Ctrl_pro_rate2"), "15");
}

// A rate that is no number is refused with the message list's line and the
// field's own words; the record and the settings stay as they were, and once
// corrected the rate is stored by the next Close. Escape stores nothing.
TEST_F(WizardTest, ARateThatIsNoNumberIsRefusedAndCanBeCorrected) {
  open();
  const std::string before = ctrl("Ctrl_fed_rate");
  alt(Qt::Key_N);
  type(wizard_->edtRate1, "abc");
  alt(Qt::Key_N);
  alt(Qt::Key_N);
  alt(Qt::Key_C);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(messages()[0].startsWith("The tax rates must be numbers.\n")) << messages()[0].toStdString();
  EXPECT_TRUE(messages()[0].contains("abc")) << messages()[0].toStdString();
  EXPECT_TRUE(wizard_->isVisible());
  EXPECT_EQ(wizard_->page(), 2);
  EXPECT_EQ(QApplication::focusWidget(), wizard_->edtRate1);
  EXPECT_EQ(ctrl("Ctrl_fed_rate"), before);
  EXPECT_EQ(setting("DateFmt"), "(none)");
  EXPECT_EQ(setting("Intl"), "(none)");

  type(wizard_->edtRate1, "13");
  alt(Qt::Key_N);
  alt(Qt::Key_N);
  alt(Qt::Key_C);
  EXPECT_EQ(wizard_->result(), QDialog::Accepted);
  EXPECT_EQ(ctrl("Ctrl_fed_rate"), "13");
  EXPECT_EQ(setting("Intl"), "y");

  // Shown again: page 1; Escape leaves without writing.
  (void)settings_->writeString("Settings", "Intl", "keep");
  wizard_->show();
  EXPECT_EQ(wizard_->page(), 0);
  alt(Qt::Key_N);
  type(wizard_->edtRate1, "99");
  QTest::keyClick(wizard_.get(), Qt::Key_Escape);
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_EQ(ctrl("Ctrl_fed_rate"), "13");
  EXPECT_EQ(setting("Intl"), "keep");
}

}  // namespace
}  // namespace shell
