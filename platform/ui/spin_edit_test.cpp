// The spin edit: bounds, keys and the buttons' repeat when held down.
#include "ui/spin_edit.h"

#include <gtest/gtest.h>

#include <QTest>

#include "ui/form.h"
#include "widget_test_util.h"

namespace ui {
namespace {

class SpinEditTest : public ::testing::Test {
 protected:
  struct App {
    App() { testing::app(); }
  } app_;
  Form form_{"F"};
};

TEST_F(SpinEditTest, StaysWithinItsBoundsAndHasNoneByDefault) {
  SpinEdit spin(&form_, &form_, "SpinEdit1");
  EXPECT_EQ(form_.findComponent("spinedit1"), &spin);
  spin.setValue(-5000);
  EXPECT_EQ(spin.value(), -5000);  // no bounds
  spin.setMinValue(1);
  spin.setMaxValue(9);
  EXPECT_EQ(spin.value(), 1);
  spin.setValue(12);
  EXPECT_EQ(spin.value(), 9);
  spin.setCaption("4");
  EXPECT_EQ(spin.caption(), "4");
  spin.setCaption("four");  // not a number: unchanged
  EXPECT_EQ(spin.value(), 4);
  spin.setMaxValue(0);  // below the minimum: no room above it
  EXPECT_EQ(spin.value(), 1);
  EXPECT_EQ(spin.maximum(), 1);
}

TEST_F(SpinEditTest, ArrowKeysAndButtonsStep) {
  SpinEdit spin(&form_, &form_, "SpinEdit1");
  spin.setMinValue(0);
  spin.setMaxValue(100);
  spin.setIncrement(5);
  spin.resize(80, 26);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  spin.setFocus();
  QTest::keyClick(&spin, Qt::Key_Up);
  QTest::keyClick(&spin, Qt::Key_Up);
  EXPECT_EQ(spin.value(), 10);
  QTest::keyClick(&spin, Qt::Key_Down);
  EXPECT_EQ(spin.value(), 5);

  ASSERT_FALSE(spin.upButtonRect().isEmpty());
  QTest::mouseClick(&spin, Qt::LeftButton, {}, spin.upButtonRect().center());
  EXPECT_EQ(spin.value(), 10);
  QTest::mouseClick(&spin, Qt::LeftButton, {}, spin.downButtonRect().center());
  EXPECT_EQ(spin.value(), 5);
}

TEST_F(SpinEditTest, HoldingAButtonRepeats) {
  SpinEdit spin(&form_, &form_, "SpinEdit1");
  spin.resize(80, 26);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  const QPoint up = spin.upButtonRect().center();
  QTest::mousePress(&spin, Qt::LeftButton, {}, up);
  EXPECT_EQ(spin.value(), 1);  // the press steps once at once
  QTest::qWait(1200);          // then, held, it repeats
  QTest::mouseRelease(&spin, Qt::LeftButton, {}, up);
  const int held = spin.value();
  EXPECT_GE(held, 3);
  QTest::qWait(300);
  EXPECT_EQ(spin.value(), held);  // released, it stops
}

}  // namespace
}  // namespace ui
