// The main window from the keyboard and on the screen: every menu opens by
// its mnemonics in both languages, Alt and F10 reach the bar, Exit ends the
// program, and the window fits its screen.
#include <gtest/gtest.h>

#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <set>

#include "shell_test_util.h"

namespace shell {
namespace {

using namespace testing;

class MenuKeyboardTest : public ShellTest {
 protected:

  // Every visible menu of the bar opens by Alt and its mnemonic, and every
  // sub-menu in it by its mnemonic; within each menu the mnemonics differ.
  void everyMenuOpens(TLogoAppForm& window) {
    std::vector<ui::MenuItem*> top;
    for (ui::MenuItem* e : window.MainMenu1->items())
      if (e->isVisible()) top.push_back(e);
    expectUniqueMnemonics(top, "the menu bar");
    for (ui::MenuItem* menu : top) {
      if (!menu->subMenu()) continue;
      ASSERT_TRUE(openByKeyboard(window, menu)) << menu->name().toStdString();
      expectUniqueMnemonics(menu->items(), menu->name());
      closeMenus();
      for (ui::MenuItem* sub : menu->items()) {
        if (sub->items().empty() || !sub->isVisible()) continue;
        ASSERT_TRUE(openByKeyboard(window, menu, {sub})) << sub->name().toStdString();
        expectUniqueMnemonics(sub->items(), sub->name());
        closeMenus();
      }
    }
  }

  void expectUniqueMnemonics(const std::vector<ui::MenuItem*>& entries, const QString& where) {
    std::set<QChar> seen;
    for (ui::MenuItem* e : entries) {
      if (e->isSeparator()) continue;
      const QChar m = ui::mnemonicOf(e->text());
      EXPECT_FALSE(m.isNull()) << e->text().toStdString() << " in " << where.toStdString();
      EXPECT_TRUE(seen.insert(m).second) << e->text().toStdString() << " in " << where.toStdString();
    }
  }
};

// With every optional menu shown, the French bar is wider than the window:
// the entries Qt moves into its overflow button open by their mnemonics too.
TEST_F(MenuKeyboardTest, EveryMenuOpensFromTheKeyboardInBothLanguages) {
  (void)settings_->writeString("Tallimoor", "payroll", "Y");
  (void)settings_->writeString("Tallimoor", "JobCost", "Y");
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  TLogoAppForm window(programDir_);
  window.show();
  ASSERT_TRUE(window.ready());
  EXPECT_EQ(ui::plainCaption(window.menus[0]->text()), "General ledger");
  everyMenuOpens(window);
  window.LanguageClick(window.findAs<ui::MenuItem>("MenuItemfr"));
  EXPECT_EQ(ui::plainCaption(window.menus[0]->text()), "Grand livre");
  everyMenuOpens(window);
  window.close();
}

// Alt alone highlights the first menu without opening it; the down arrow
// then opens it. F10 opens the first menu at once.
TEST_F(MenuKeyboardTest, AltAndF10ReachTheMenuBar) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  TLogoAppForm window(programDir_);
  window.show();
  ASSERT_TRUE(window.ready());
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  QTest::keyClick(&window, Qt::Key_Alt);
  EXPECT_EQ(window.MainMenu1->activeAction(), window.menus[0]);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  QTest::keyClick(window.MainMenu1, Qt::Key_Down);
  EXPECT_EQ(QApplication::activePopupWidget(), window.menus[0]->subMenu());
  closeMenus();
  QTest::keyClick(window.MainMenu1, Qt::Key_Escape);
  EXPECT_EQ(window.MainMenu1->activeAction(), nullptr);

  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(&window, Qt::Key_F10);
  EXPECT_EQ(QApplication::activePopupWidget(), window.menus[0]->subMenu());
  closeMenus();
  window.close();
}

// Runs the program's event loop after `act` until the loop ends by itself;
// false when it had to be stopped.
bool runsToItsEnd(const std::function<void()>& act) {
  bool stopped = false;
  QTimer::singleShot(0, act);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    stopped = true;
    QApplication::quit();
  });
  guard.start(5000);
  QApplication::exec();
  return !stopped;
}

// Exit, from the bar with the mouse or by its mnemonic, closes the window at
// once (no empty menu opens), which ends the program, and the placement is
// written for the next start.
TEST_F(MenuKeyboardTest, ExitFromTheBarOrTheKeyboardEndsTheProgram) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  {
    TLogoAppForm window(programDir_);
    window.show();
    ASSERT_TRUE(window.ready());
    EXPECT_EQ(window.Exit1->subMenu(), nullptr);
    window.move(30, 40);
    const QRect placed = window.geometry();
    const QPoint exit = window.MainMenu1->actionGeometry(window.Exit1).center();
    EXPECT_TRUE(runsToItsEnd([&] { QTest::mouseClick(window.MainMenu1, Qt::LeftButton, {}, exit); }));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(settings_->readString("Tallimoor", "Form", ""), ShellSettings::placementText(placed));
  }
  (void)settings_->writeString("Tallimoor", "Form", "");
  {
    TLogoAppForm window(programDir_);
    window.show();
    ASSERT_TRUE(window.ready());
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(runsToItsEnd([&] { QTest::keyClick(&window, Qt::Key_X, Qt::AltModifier); }));
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(settings_->readString("Tallimoor", "Form", "").endsWith(",Y"));
  }
  // In French with every optional menu, "Quitter" lies in the bar's overflow.
  (void)settings_->writeString("Tallimoor", "payroll", "Y");
  (void)settings_->writeString("Tallimoor", "JobCost", "Y");
  (void)settings_->writeString("Tallimoor", "Form", "");
  {
    TLogoAppForm window(programDir_);
    window.show();
    ASSERT_TRUE(window.ready());
    window.LanguageClick(window.findAs<ui::MenuItem>("MenuItemfr"));
    ASSERT_EQ(ui::plainCaption(window.Exit1->text()), "Quitter");
    ASSERT_GT(window.MainMenu1->actionGeometry(window.Exit1).right(), window.MainMenu1->width());
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(runsToItsEnd([&] { QTest::keyClick(&window, Qt::Key_Q, Qt::AltModifier); }));
    EXPECT_FALSE(window.isVisible());
  }
}

// The window keeps its designed size whatever its wallpaper's (960 x 640
// here), and a stored placement larger than the screen or off it is brought
// back onto it, status bar included.
TEST_F(MenuKeyboardTest, TheWindowKeepsItsSizeAndStaysOnItsScreen) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  {
    TLogoAppForm window(programDir_);
    window.show();
    ASSERT_TRUE(window.ready());
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), TLogoAppForm::kDesignedSize);
    const QRect available = window.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(window.frameGeometry())) << available.width() << "x" << available.height();
    EXPECT_EQ(window.geometry().center(), available.center());
    EXPECT_TRUE(window.StatusBar1->isVisible());
    EXPECT_TRUE(window.rect().contains(window.StatusBar1->geometry()));
    window.close();
  }
  for (const char* stored : {"2000,-50,-80,3000,Y", "520,5000,5000,750,Y"}) {
    (void)settings_->writeString("Tallimoor", "Form", stored);
    TLogoAppForm window(programDir_);
    window.show();
    QCoreApplication::processEvents();
    const QRect available = window.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(window.frameGeometry())) << stored;
    EXPECT_TRUE(window.StatusBar1->isVisible()) << stored;
    window.close();
  }
}

}  // namespace
}  // namespace shell
