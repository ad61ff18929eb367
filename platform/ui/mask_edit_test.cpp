// Edit masks: how a mask reads, how values are laid into it and read back,
// and the masked edit under the keyboard.
#include "ui/mask_edit.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "ui/form.h"
#include "widget_test_util.h"

namespace ui {
namespace {

TEST(EditMaskTest, ReadsTheSectionsOfAMask) {
  const EditMask date("!99/99/9999;1; ");
  EXPECT_EQ(date.length(), 10);
  EXPECT_TRUE(date.trimsLeadingBlanks());
  EXPECT_TRUE(date.saveLiterals());
  EXPECT_EQ(date.blank(), QLatin1Char(' '));
  EXPECT_EQ(date.positions()[2].kind, EditMask::Kind::kLiteral);
  EXPECT_EQ(date.positions()[2].literal, QLatin1Char('/'));
  EXPECT_EQ(date.positions()[0].kind, EditMask::Kind::kDigit);
  EXPECT_FALSE(date.positions()[0].required);

  const EditMask plain("99/99/9999");
  EXPECT_TRUE(plain.saveLiterals());
  EXPECT_EQ(plain.blank(), QLatin1Char('_'));
  EXPECT_FALSE(plain.trimsLeadingBlanks());

  const EditMask noLiterals("000-000;0;*");
  EXPECT_FALSE(noLiterals.saveLiterals());
  EXPECT_EQ(noLiterals.blank(), QLatin1Char('*'));
  EXPECT_TRUE(noLiterals.positions()[0].required);

  // Case markers and escapes take no position; "<>" turns the case off.
  const EditMask cased(">ll<>c\\9<L");
  ASSERT_EQ(cased.length(), 5);
  EXPECT_EQ(cased.positions()[0].letterCase, EditMask::Case::kUpper);
  EXPECT_EQ(cased.positions()[2].letterCase, EditMask::Case::kAsTyped);
  EXPECT_EQ(cased.positions()[3].kind, EditMask::Kind::kLiteral);
  EXPECT_EQ(cased.positions()[3].literal, QLatin1Char('9'));
  EXPECT_EQ(cased.positions()[4].letterCase, EditMask::Case::kLower);
  EXPECT_TRUE(cased.positions()[4].required);

  EXPECT_TRUE(EditMask("").isEmpty());
  EXPECT_TRUE(EditMask(";1;_").isEmpty());
  // An escaped ';' belongs to the mask.
  EXPECT_EQ(EditMask("9\\;9;0").length(), 3);
  EXPECT_FALSE(EditMask("9\\;9;0").saveLiterals());
}

TEST(EditMaskTest, ClassesOfCharacters) {
  const EditMask m("0#LAC");
  EXPECT_TRUE(m.accepts(0, QLatin1Char('7')));
  EXPECT_FALSE(m.accepts(0, QChar(0x0663)));  // an Arabic-Indic three is no 0-9 digit
  EXPECT_FALSE(m.accepts(0, QLatin1Char('a')));
  EXPECT_TRUE(m.accepts(1, QLatin1Char('-')));
  EXPECT_TRUE(m.accepts(1, QLatin1Char('+')));
  EXPECT_FALSE(m.accepts(1, QLatin1Char('x')));
  EXPECT_TRUE(m.accepts(2, QChar(0x00E9)));  // é
  EXPECT_FALSE(m.accepts(2, QLatin1Char('1')));
  EXPECT_TRUE(m.accepts(3, QLatin1Char('1')));
  EXPECT_FALSE(m.accepts(3, QLatin1Char('-')));
  EXPECT_TRUE(m.accepts(4, QLatin1Char('-')));
  EXPECT_FALSE(m.accepts(5, QLatin1Char('1')));                // past the end
  EXPECT_FALSE(EditMask("9/9").accepts(1, QLatin1Char('/')));  // a literal takes nothing
}

TEST(EditMaskTest, LaysValuesIntoTheMaskAndReadsThemBack) {
  const EditMask date("!99/99/9999;1; ");
  EXPECT_EQ(date.layout("12/05/2026"), "12/05/2026");
  EXPECT_EQ(date.layout("12052026"), "12/05/2026");  // without the literals
  EXPECT_EQ(date.layout("1/5/2026"), "1 /5 /2026");  // a literal typed early skips ahead
  EXPECT_EQ(date.layout(""), "  /  /    ");
  EXPECT_EQ(date.layout("ab/cd"), "  /  /    ");  // what fits nowhere is dropped
  EXPECT_EQ(date.valueOf("12/05/2026"), "12/05/2026");
  EXPECT_EQ(date.valueOf("  /  /    "), "");           // nothing keyed: no value at all
  EXPECT_EQ(date.valueOf(" 1/05/2026"), "1/05/2026");  // '!' drops leading blanks
  EXPECT_EQ(date.valueOf("12/05/    "), "12/05/");

  const EditMask unsaved("99/99/9999;0;_");
  EXPECT_EQ(unsaved.valueOf("12/05/2026"), "12052026");
  EXPECT_EQ(unsaved.layout("12052026"), "12/05/2026");
  EXPECT_EQ(unsaved.layout(""), "__/__/____");
  // Without '!' leading blanks stay: the day is still the first part.
  EXPECT_EQ(EditMask("99/99/9999").valueOf("_1/05/2026"), " 1/05/2026");

  const EditMask code(">aaaa");
  EXPECT_EQ(code.layout("ab1é9z"), QString::fromUtf8("AB1É"));
  EXPECT_EQ(code.valueOf(code.layout("ab")), "AB");

  const EditMask lower("<LLL");
  EXPECT_EQ(lower.layout("ABC"), "abc");

  // Year first, as the date format "YYYY-MM-DD" makes it.
  const EditMask iso("!9999-99-99;1; ");
  EXPECT_EQ(iso.layout("2026-05-12"), "2026-05-12");
  EXPECT_EQ(iso.valueOf(iso.layout("20260512")), "2026-05-12");
}

TEST(EditMaskTest, CompleteWhenEveryRequiredPositionIsKeyed) {
  const EditMask phone("(000) 000-0000;1;_");
  EXPECT_FALSE(phone.isComplete(phone.layout("514555")));
  EXPECT_TRUE(phone.isComplete(phone.layout("5145551234")));
  EXPECT_EQ(phone.valueOf(phone.layout("5145551234")), "(514) 555-1234");
  // Optional positions never make a text incomplete.
  const EditMask date("!99/99/9999;1; ");
  EXPECT_TRUE(date.isComplete(date.layout("")));
  EXPECT_TRUE(date.isBlank(date.layout("")));
  EXPECT_FALSE(date.isBlank(date.layout("1")));
}

TEST(EditMaskTest, ConvertsToQtInputMasks) {
  // Required and optional digits are swapped in QLineEdit's notation, and
  // every literal is escaped so that letters of the mask stay literal.
  EXPECT_EQ(EditMask("!99/99/9999;1; ").inputMask(), "00\\/00\\/0000; ");
  EXPECT_EQ(EditMask("00-0;1;_").inputMask(), "99\\-9;_");
  EXPECT_EQ(EditMask(">ll<>c").inputMask(), ">xx!x;_");
  EXPECT_EQ(EditMask("\\H9").inputMask(), "\\H0;_");
  EXPECT_EQ(EditMask("").inputMask(), "");
}

class MaskEditTest : public ::testing::Test {
 protected:
  MaskEditTest() { testing::app(); }
};

// Keys any text, letters beyond ASCII included (QTest::keyClicks takes ASCII only).
void typeText(QWidget* w, const QString& text) {
  for (QChar c : text) {
    const int key = c.toUpper().unicode();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
  }
}

TEST_F(MaskEditTest, KeysADateThroughTheMask) {
  Form form("F");
  MaskEdit edit(&form, &form, "TransDate", "!99/99/9999;1; ");
  EXPECT_EQ(edit.editText(), "  /  /    ");  // the blank placeholder
  EXPECT_EQ(edit.text(), "");
  edit.setFocus();
  edit.home(false);
  QTest::keyClicks(&edit, "01052026");
  EXPECT_EQ(edit.editText(), "01/05/2026");
  EXPECT_EQ(edit.text(), "01/05/2026");
  EXPECT_EQ(edit.caption(), "01/05/2026");

  // Letters are refused; digits over the end are refused too.
  edit.setText("");
  edit.home(false);
  QTest::keyClicks(&edit, "1a2b");
  EXPECT_EQ(edit.editText(), "12/  /    ");
  QTest::keyClicks(&edit, "0320269");
  EXPECT_EQ(edit.text(), "12/03/2026");

  // Typing the separator early leaves the rest of that part blank.
  edit.setText("");
  edit.home(false);
  QTest::keyClicks(&edit, "1/5/2026");
  EXPECT_EQ(edit.editText(), "1 /5 /2026");
  EXPECT_EQ(edit.text(), "1 /5 /2026");

  // Backspace clears a position back to the blank.
  edit.end(false);
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.editText(), "1 /5 /202 ");
}

TEST_F(MaskEditTest, UpperCaseEntryAndLettersBeyondAscii) {
  Form form("F");
  MaskEdit edit(&form, &form, "Code", ">aaaa");
  edit.setFocus();
  edit.home(false);
  typeText(&edit, QString::fromUtf8("ab-é1x"));  // '-' is neither letter nor digit
  EXPECT_EQ(edit.text(), QString::fromUtf8("ABÉ1"));
  EXPECT_EQ(edit.editText(), QString::fromUtf8("ABÉ1"));
}

TEST_F(MaskEditTest, SetTextLaysTheValueOutAndMaskChangesKeepIt) {
  Form form("F");
  MaskEdit edit(&form, &form, "E", "99/99/9999;0;_");
  edit.setText("12/05/2026");
  EXPECT_EQ(edit.editText(), "12/05/2026");
  EXPECT_EQ(edit.text(), "12052026");  // literals not saved
  EXPECT_TRUE(edit.isComplete());

  // A new mask keeps the value, laid out again.
  edit.setEditMask("!9999-99-99;1; ");
  EXPECT_EQ(edit.editMask(), "!9999-99-99;1; ");
  EXPECT_EQ(edit.editText(), "1205-20-26");

  // No mask: a plain edit with a maximum length.
  edit.setEditMask("");
  edit.setMaxLength(10);
  edit.setText("ABCDEFGHIJKLMN");
  EXPECT_EQ(edit.text(), "ABCDEFGHIJ");
  edit.setFocus();
  edit.setText("");
  QTest::keyClicks(&edit, "invoice 12345");
  EXPECT_EQ(edit.text(), "invoice 12");
  EXPECT_TRUE(edit.isComplete());
}

TEST_F(MaskEditTest, RequiredPositionsMakeItComplete) {
  Form form("F");
  MaskEdit edit(&form, &form, "Phone", "(000) 000-0000;1;_");
  edit.setFocus();
  edit.home(false);
  QTest::keyClicks(&edit, "514555");
  EXPECT_FALSE(edit.isComplete());
  QTest::keyClicks(&edit, "1234");
  EXPECT_TRUE(edit.isComplete());
  EXPECT_EQ(edit.text(), "(514) 555-1234");
}

TEST_F(MaskEditTest, TellsTheWindowWhenTheFocusComesAndGoes) {
  Form form("F");
  auto* layout = new QVBoxLayout(&form);
  auto* first = new MaskEdit(&form, &form, "First");
  auto* second = new MaskEdit(&form, &form, "Second");
  layout->addWidget(first);
  layout->addWidget(second);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  first->setFocus(Qt::TabFocusReason);
  QSignalSpy exited(first, &MaskEdit::exited);
  QSignalSpy entered(second, &MaskEdit::entered);
  second->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(exited.count(), 1);
  EXPECT_EQ(entered.count(), 1);
  EXPECT_EQ(form.findComponent("second"), second);
}

}  // namespace
}  // namespace ui
