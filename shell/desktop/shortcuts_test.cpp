// Shortcuts made, changed, launched and deleted as a user does: the shortcut
// dialog, the properties dialog, the pop-up menu, double clicks.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTest>

#include "desktop_test_util.h"
#include "properties_dialog.h"

namespace shell {
namespace {

using testing::DesktopFixture;
using testing::whenModal;

class ShortcutsTest : public DesktopFixture {
 protected:
  void SetUp() override {
    makeDataRoot();
    window_ = start();
    ASSERT_TRUE(window_->ready()) << messages().join(" | ").toStdString();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  Shortcuts& shortcuts() { return DesktopFixture::shortcuts(*window_); }
  ui::TTransparentButton* shortcut(const QString& name) { return window_->findAs<ui::TTransparentButton>(name); }
  int rowOf(const QString& code) {
    const QStringList codes = window_->ShortcutDlg->DllList->items();
    return static_cast<int>(codes.indexOf(code));
  }
  // Opens the pop-up menu on `on` as a right click does, and closes it again.
  void popupOn(QWidget* on) {
    shortcuts().PopupMenu->popupFor(on, on->mapToGlobal(QPoint(5, 5)));
    shortcuts().PopupMenu->close();
  }
  // Answers the properties dialog with `act`, then presses `button`.
  void answerProperties(const std::function<void(TPropertiesDlg&)>& act, bool ok = true) {
    TPropertiesDlg* d = desktop(*window_).PropertiesDlg;
    whenModal([d, act, ok](QWidget*) {
      act(*d);
      QTest::mouseClick(ok ? d->OKBtn : d->CancelBtn, Qt::LeftButton);
    });
  }
  QString writePicture(const QString& name, const char* format, const QColor& colour) {
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = prefix_ + "/" + name;
    EXPECT_TRUE(image.save(path, format));
    return path;
  }

  std::unique_ptr<TLogoAppForm> window_;
};

TEST_F(ShortcutsTest, ANewShortcutIsPlacedAndLooksAsDesigned) {
  // Cancel makes nothing.
  whenModal([&](QWidget*) { QTest::keyClick(window_->ShortcutDlg, Qt::Key_Escape); });
  shortcuts().Shortcut1Click();
  EXPECT_TRUE(shortcuts().shortcuts().empty());
  EXPECT_FALSE(window_->desktopChanged());

  // Opened from the pop-up anywhere on the wallpaper, it still lands at 296, 256.
  popupOn(window_->Wallpaper1);
  addShortcut(*window_, "kq61");
  ui::TTransparentButton* b = shortcut("kq61S");
  ASSERT_NE(b, nullptr) << messages().join(" | ").toStdString();
  EXPECT_TRUE(window_->desktopChanged());
  EXPECT_EQ(b->geometry(), QRect(296, 256, 89, 89));
  EXPECT_EQ(b->caption(), window_->ShortcutDlg->OptionNames->item(rowOf("kq61"))->text());
  EXPECT_TRUE(b->caption().contains(window_->messageLine(message::kMenuSuffixBase + 1)));  // "(Accounts receivable)"
  EXPECT_EQ(b->font().family(), "Arial");
  EXPECT_EQ(b->font().pointSize(), 10);
  EXPECT_EQ(b->fontColor(), QColor(Qt::white));
  EXPECT_EQ(b->tag(), 1);
  EXPECT_TRUE(b->isVisible());
  EXPECT_EQ(b->borderWidth(), 0);
  EXPECT_EQ(b->frameStyle(), ui::TFrameStyle::fsRegular);
  EXPECT_EQ(b->textAlign(), ui::TTextAlign::ttaBottom);
  EXPECT_TRUE(b->transparent() && b->wordWrap() && b->movable());
  EXPECT_FALSE(b->showPressed());
  EXPECT_EQ(b->popUpMenu(), shortcuts().PopupMenu);
  EXPECT_EQ(b->glyph().size(), QImage(programDir_ + "/sysedit.bmp").size());
  // Beneath the lists.
  DesktopFixture::lists(*window_).toggle(0);
  const QObjectList& stack = window_->Wallpaper1->children();
  EXPECT_LT(stack.indexOf(b), stack.indexOf(DesktopFixture::lists(*window_).panel(0)));
}

TEST_F(ShortcutsTest, TheDialogRefusesWhatCannotBeAShortcut) {
  addShortcut(*window_, "kq61");
  dialogs_.shown.clear();
  addShortcut(*window_, "kq61");  // a second one for the same option
  EXPECT_EQ(messages(), QStringList{window_->messageLine(message::kShortcutNotCreated)});
  EXPECT_EQ(shortcuts().shortcuts().size(), 1u);

  // An option the user may see but not run is listed, with no code.
  window_->findAs<ui::MenuItem>("vd87")->setEnabled(false);
  // A hidden entry is neither listed nor given a code.
  window_->findAs<ui::MenuItem>("kq31")->setVisible(false);
  window_->FillShortcutLists(true, ShortcutListOrder::kSecurity);
  TShortcutDlg* d = window_->ShortcutDlg;
  EXPECT_EQ(d->OptionNames->count(), d->DllList->count());
  EXPECT_EQ(rowOf("kq31"), -1);
  const int statements = rowOf("kq32");
  ASSERT_GT(statements, 0);
  EXPECT_TRUE(d->OptionNames->item(statements)->text().contains("statements")) << d->OptionNames->item(statements)->text().toStdString();
  int purchases = -1;
  for (int i = 0; i < d->OptionNames->count(); ++i)
    if (d->OptionNames->item(i)->text().startsWith("Purchases")) purchases = i;
  ASSERT_GE(purchases, 0);
  EXPECT_EQ(d->DllList->item(purchases)->text(), "");
  dialogs_.shown.clear();
  whenModal([&](QWidget*) {
    d->OptionNames->setCurrentRow(purchases);
    QTest::mouseClick(d->OKBtn, Qt::LeftButton);
  });
  shortcuts().Shortcut1Click();
  EXPECT_EQ(messages(), QStringList{window_->messageLine(message::kOptionNotAllowed)});
  EXPECT_EQ(shortcuts().shortcuts().size(), 1u);

  // Without its icon nothing is made.
  QFile::remove(programDir_ + "/sysedit.bmp");
  dialogs_.shown.clear();
  addShortcut(*window_, "vd52");
  EXPECT_EQ(messages(), QStringList{window_->messageLine(message::kPictureNotLoaded)});
  EXPECT_EQ(shortcut("vd52S"), nullptr);
}

TEST_F(ShortcutsTest, PropertiesRenameAndGiveAnotherIcon) {
  addShortcut(*window_, "kq61");
  ui::TTransparentButton* b = shortcut("kq61S");
  ASSERT_NE(b, nullptr);
  const QImage designed = b->glyph();

  // A JPEG picture is no icon: the caption changes, the icon stays.
  dialogs_.files.push_back(writePicture("photo.jpg", "JPEG", Qt::green));
  popupOn(b);
  answerProperties([&](TPropertiesDlg& dlg) {
    EXPECT_EQ(dlg.DllLabel->text(), "kq61");  // the code, without its "S"
    EXPECT_EQ(dlg.NewCaption->text(), b->caption());
    QTest::mouseClick(dlg.ChangeIcon, Qt::LeftButton);
    EXPECT_FALSE(dlg.Image1->isEmpty());
    dlg.NewCaption->clear();
    QTest::keyClicks(dlg.NewCaption, "Clients");
  });
  dialogs_.shown.clear();
  shortcuts().Properties1Click();
  EXPECT_EQ(b->caption(), "Clients");
  EXPECT_EQ(b->glyph(), designed);
  EXPECT_EQ(messages(), QStringList{window_->messageLine(message::kPictureNotLoaded)});

  // A bitmap is.
  dialogs_.files.push_back(writePicture("blue.bmp", "BMP", Qt::blue));
  popupOn(b);
  answerProperties([](TPropertiesDlg& dlg) { QTest::mouseClick(dlg.ChangeIcon, Qt::LeftButton); });
  shortcuts().Properties1Click();
  EXPECT_EQ(QColor(b->glyph().pixel(10, 10)), QColor(Qt::blue));

  // Cancel changes nothing.
  dialogs_.files.push_back(writePicture("red.bmp", "BMP", Qt::red));
  popupOn(b);
  answerProperties(
      [](TPropertiesDlg& dlg) {
        QTest::mouseClick(dlg.ChangeIcon, Qt::LeftButton);
        dlg.NewCaption->setText("Something else");
      },
      false);
  shortcuts().Properties1Click();
  EXPECT_EQ(b->caption(), "Clients");
  EXPECT_EQ(QColor(b->glyph().pixel(10, 10)), QColor(Qt::blue));
}

TEST_F(ShortcutsTest, ADoubleClickLaunchesTheOptionTheUserMayRun) {
  addModule("kq61");
  addShortcut(*window_, "kq61");
  ui::TTransparentButton* b = shortcut("kq61S");
  ASSERT_NE(b, nullptr);
  QTest::mouseDClick(b, Qt::LeftButton, {}, {40, 40});
  EXPECT_EQ(testing::moduleCall.calls, 1);
  EXPECT_FALSE(b->pressedDrawn());
  // From the keyboard: Tab to it, Enter.
  b->setFocus(Qt::TabFocusReason);
  QTest::keyClick(b, Qt::Key_Return);
  EXPECT_EQ(testing::moduleCall.calls, 2);

  // Once the user may no longer run it, the shortcut stays but is refused.
  window_->findAs<ui::MenuItem>("kq61")->setEnabled(false);
  window_->FillShortcutLists(true, ShortcutListOrder::kSecurity);
  dialogs_.shown.clear();
  QTest::mouseDClick(b, Qt::LeftButton, {}, {40, 40});
  EXPECT_EQ(testing::moduleCall.calls, 2);
  EXPECT_EQ(messages(), QStringList{window_->messageLine(message::kOptionNotAllowed)});
}

TEST_F(ShortcutsTest, TheWallpaperTakesAPictureTheUserChooses) {
  const QImage before = window_->Wallpaper1->wallpaper();
  // Cancelled: nothing.
  popupOn(window_->Wallpaper1);
  shortcuts().Properties1Click();
  EXPECT_FALSE(window_->desktopChanged());
  ASSERT_FALSE(dialogs_.shown.empty());
  EXPECT_EQ(dialogs_.shown.back().what, "openFile");

  // Not a picture: the message, the picture stays.
  const QString notes = prefix_ + "/notes.jpg";
  {
    QFile f(notes);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("to do: everything");
  }
  dialogs_.files.push_back(notes);
  dialogs_.shown.clear();
  window_->ChangeProperties1->trigger();  // Options > Desktop > Change properties
  EXPECT_EQ(messages(), QStringList{window_->messageLine(message::kPictureNotLoaded)});
  EXPECT_EQ(window_->Wallpaper1->wallpaper(), before);

  dialogs_.files.push_back(writePicture("green.jpg", "JPEG", Qt::green));
  popupOn(window_->Wallpaper1);
  shortcuts().Properties1Click();
  EXPECT_EQ(window_->Wallpaper1->wallpaper().size(), QSize(32, 32));
  EXPECT_TRUE(window_->desktopChanged());

  // Delete on the wallpaper deletes nothing.
  addShortcut(*window_, "kq61");
  popupOn(window_->Wallpaper1);
  shortcuts().DeleteShortCutClick();
  EXPECT_NE(shortcut("kq61S"), nullptr);
  popupOn(shortcut("kq61S"));
  shortcuts().DeleteShortCutClick();
  EXPECT_EQ(shortcut("kq61S"), nullptr);
}

}  // namespace
}  // namespace shell
