// TTransparentButton driven through real mouse and key events, and painted
// into images: the image list, the state machine, the drag bounds, the icon
// and caption placement.
#include "ui/transparent_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "ui/form.h"
#include "ui/menu.h"
#include "widget_test_util.h"

namespace ui {
namespace {

class ButtonTest : public ::testing::Test {
 protected:
  struct App {
    App() { testing::app(); }
  } app_;
  ButtonTest() {
    parent_.resize(742, 600);
    button_ = new TTransparentButton(&form_, &parent_, "kq61S");
    button_->setGeometry(296, 256, 89, 89);
  }

  // Sends one mouse event at `at` (button coordinates).
  void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, button_->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(button_, &event);
  }
  void press(QPoint at) { mouse(QEvent::MouseButtonPress, at); }
  void moveTo(QPoint at) { mouse(QEvent::MouseMove, at); }
  void release(QPoint at) { mouse(QEvent::MouseButtonRelease, at); }

  // A glyph of `cells` cells of 16 x 16, cell i filled with colours[i] on a
  // background whose lower-left pixel is magenta.
  static QImage glyph(int width, int height, const QColor& ink = Qt::blue) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(ink);
    for (int x = 0; x < width; x += height) image.setPixel(x, height - 1, qRgb(255, 0, 255));
    return image;
  }

  QImage painted() {
    QImage out(button_->size(), QImage::Format_RGB32);
    out.fill(qRgb(1, 2, 3));  // what the parent would show through
    button_->render(&out, QPoint(), QRegion(), QWidget::RenderFlags());  // no background of its own
    return out;
  }

  Form form_{"LogoAppForm"};
  QWidget parent_;
  TTransparentButton* button_;
};

TEST_F(ButtonTest, TheGlyphsShapeDecidesTheNumberOfCells) {
  button_->setGlyph(glyph(64, 16));
  EXPECT_EQ(button_->numGlyphs(), 4);
  ASSERT_EQ(button_->glyphImages().size(), 6u);  // four cells, grey, disabled
  EXPECT_EQ(button_->glyphImages()[0].size(), QSize(16, 16));

  button_->setGlyph(glyph(80, 16));  // quotient 5: one cell
  EXPECT_EQ(button_->numGlyphs(), 1);
  EXPECT_EQ(button_->glyphImages().size(), 3u);
  EXPECT_EQ(button_->glyphImages()[0].size(), QSize(80, 16));

  button_->setNumGlyphs(2);
  EXPECT_EQ(button_->glyphImages().size(), 3u);  // setting the count alone rebuilds nothing
  button_->setGlyph(glyph(50, 16));               // no multiple: the count stays
  EXPECT_EQ(button_->numGlyphs(), 2);
  EXPECT_EQ(button_->glyphImages().size(), 4u);
  EXPECT_EQ(button_->glyphImages()[0].size(), QSize(25, 16));
}

TEST_F(ButtonTest, GreyAndDisabledImagesAreMadeFromTheFirstCell) {
  QImage colours(3, 1, QImage::Format_RGB32);
  colours.setPixel(0, 0, qRgb(255, 0, 0));
  colours.setPixel(1, 0, qRgb(0, 0, 255));
  colours.setPixel(2, 0, qRgb(10, 20, 30));
  const QImage grey = TTransparentButton::MakeGrey(colours);
  EXPECT_EQ(grey.pixel(0, 0), qRgb(28, 28, 28));  // red weighs 11
  EXPECT_EQ(grey.pixel(1, 0), qRgb(76, 76, 76));  // blue weighs 30
  EXPECT_EQ(grey.pixel(2, 0), qRgb(21, 21, 21));  // (110 + 1180 + 900) div 100

  // Key colour magenta at (0, 0), white paper, one black dot at (1, 1).
  QImage icon(4, 4, QImage::Format_RGB32);
  icon.fill(Qt::white);
  icon.setPixel(0, 0, qRgb(255, 0, 255));
  icon.setPixel(1, 1, qRgb(0, 0, 0));
  QPalette palette;
  palette.setColor(QPalette::Button, QColor(240, 240, 240));
  palette.setColor(QPalette::Light, QColor(255, 255, 254));
  palette.setColor(QPalette::Dark, QColor(160, 160, 160));
  const QImage disabled = TTransparentButton::MakeDisabled(icon, palette);
  EXPECT_EQ(disabled.pixel(1, 1), qRgb(160, 160, 160));  // the dot in shadow
  EXPECT_EQ(disabled.pixel(2, 2), qRgb(255, 255, 254));  // its highlight one pixel down and right
  EXPECT_EQ(disabled.pixel(0, 0), qRgb(240, 240, 240));
  EXPECT_EQ(disabled.pixel(3, 3), qRgb(240, 240, 240));

  // In the list each image lets its lower-left colour through.
  button_->setGlyph(glyph(16, 16));
  EXPECT_EQ(qAlpha(button_->glyphImages()[0].pixel(0, 15)), 0);
  EXPECT_EQ(button_->glyphImages()[0].pixel(5, 5), qRgb(0, 0, 255));
  EXPECT_EQ(qAlpha(button_->glyphImages()[1].pixel(0, 15)), 0);  // grey
  EXPECT_EQ(button_->glyphImages()[1].pixel(5, 5), qRgb(76, 76, 76));
}

TEST_F(ButtonTest, PressMoveAndReleaseFollowThePointer) {
  QSignalSpy clicks(button_, &TTransparentButton::clicked);
  QSignalSpy downs(button_, &TTransparentButton::mouseDown);
  QSignalSpy ups(button_, &TTransparentButton::mouseUp);
  button_->setMovable(false);
  press({10, 10});
  EXPECT_TRUE(button_->pressed());
  EXPECT_TRUE(button_->pressedDrawn());
  EXPECT_TRUE(button_->tracking());
  EXPECT_EQ(downs.count(), 1);
  moveTo({200, 10});  // outside: drawn up, still held
  EXPECT_TRUE(button_->pressed());
  EXPECT_FALSE(button_->pressedDrawn());
  moveTo({20, 20});
  EXPECT_TRUE(button_->pressedDrawn());
  EXPECT_EQ(button_->pos(), QPoint(296, 256));  // not movable
  release({20, 20});
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(ups.count(), 1);
  EXPECT_FALSE(button_->pressed() || button_->pressedDrawn() || button_->tracking());

  // Released outside: no click.
  press({10, 10});
  moveTo({200, 10});
  release({200, 10});
  EXPECT_EQ(clicks.count(), 1);

  // A latched button stays down through a release.
  button_->setDown(true);
  EXPECT_TRUE(button_->pressedDrawn());
  press({10, 10});
  release({10, 10});
  EXPECT_TRUE(button_->down());
  EXPECT_TRUE(button_->pressedDrawn());
  EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ButtonTest, ADoubleClickLeavesTheButtonUnpressed) {
  QSignalSpy doubles(button_, &TTransparentButton::doubleClicked);
  QSignalSpy clicks(button_, &TTransparentButton::clicked);
  // What Qt delivers for a double click: press, release, double click, release.
  press({30, 30});
  release({30, 30});
  mouse(QEvent::MouseButtonDblClick, {30, 30});
  EXPECT_EQ(doubles.count(), 1);
  EXPECT_FALSE(button_->pressedDrawn());
  release({30, 30});
  EXPECT_EQ(clicks.count(), 1);  // the first press and release only
  EXPECT_FALSE(button_->pressed() || button_->pressedDrawn() || button_->tracking() || button_->down());
  // The next press is an ordinary one.
  press({30, 30});
  EXPECT_TRUE(button_->pressedDrawn());
}

TEST_F(ButtonTest, AMovableButtonStaysOffItsParentsFarEdges) {
  // Dragged from (10, 10) of the button at 296: the pointer's offset moves it.
  press({10, 10});
  moveTo({10 + 356, 10});  // left 652: 652 + 89 = 741 < 742
  EXPECT_EQ(button_->pos(), QPoint(652, 256));
  moveTo({11, 10});  // one more pixel: 653 + 89 = 742 touches the edge
  EXPECT_EQ(button_->pos(), QPoint(652, 256));
  EXPECT_EQ(button_->grabPoint(), QPoint(10, 10));
  moveTo({10 - 652, 10});  // back to the left edge
  EXPECT_EQ(button_->pos(), QPoint(0, 256));
  moveTo({9, 10});  // past it: not moved
  EXPECT_EQ(button_->pos(), QPoint(0, 256));
  release({10, 10});

  // A button left beyond the edge (its parent shrank) may come back, not go further.
  parent_.resize(400, 300);
  button_->move(350, 256);
  press({10, 10});
  moveTo({20, 10});
  EXPECT_EQ(button_->pos(), QPoint(350, 256));
  moveTo({0, 10});
  EXPECT_EQ(button_->pos(), QPoint(340, 256));
  release({0, 10});
}

TEST_F(ButtonTest, ADisabledButtonIgnoresTheMouseAndDrawsItsDisabledLook) {
  button_->setGlyph(glyph(32, 32));
  button_->setCaption("Purchases");
  button_->setFontColor(Qt::white);
  QSignalSpy downs(button_, &TTransparentButton::mouseDown);
  press({10, 10});
  button_->setEnabled(false);
  EXPECT_FALSE(button_->pressed() || button_->pressedDrawn() || button_->tracking() || button_->hot());
  press({10, 10});
  EXPECT_EQ(downs.count(), 1);
  EXPECT_EQ(button_->iconIndex(), 2);  // one cell: the disabled image, last of three

  const QImage image = painted();
  const QRect icon = button_->iconRect();
  const QImage& disabled = button_->glyphImages()[2];
  EXPECT_EQ(image.pixel(icon.topLeft() + QPoint(8, 8)), disabled.pixel(8, 8));
  // The caption: shadow text on teal, no white.
  const QRect text = button_->captionRect();
  bool shadow = false, white = false;
  for (int x = text.left(); x <= text.right(); ++x)
    for (int y = text.top(); y <= text.bottom(); ++y) {
      shadow |= image.pixel(x, y) == button_->palette().color(QPalette::Dark).rgb();
      white |= image.pixel(x, y) == qRgb(255, 255, 255);
    }
  EXPECT_TRUE(shadow);
  EXPECT_FALSE(white);
  EXPECT_EQ(image.pixel(text.left(), text.top()), qRgb(0, 128, 128));
}

TEST_F(ButtonTest, ExplorerStyleShowsGreyUntilThePointerIsOver) {
  button_->setGlyph(glyph(16, 16, QColor(255, 0, 0)));
  button_->setFrameStyle(TFrameStyle::fsExplorer);
  EXPECT_EQ(button_->iconIndex(), 1);  // grey, at count - 2
  const QPoint inIcon = button_->iconRect().topLeft() + QPoint(4, 4);
  EXPECT_EQ(painted().pixel(inIcon), qRgb(28, 28, 28));
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(button_, &enter);
  EXPECT_TRUE(button_->hot());
  EXPECT_EQ(painted().pixel(inIcon), qRgb(255, 0, 0));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button_, &leave);
  EXPECT_EQ(button_->iconIndex(), 1);
  // Where the button draws nothing, its parent shows through.
  EXPECT_EQ(painted().pixel(1, 80), qRgb(1, 2, 3));
}

// The corners each frame style draws at rest, and pressed with ShowPressed.
TEST_F(ButtonTest, EachFrameStyleDrawsItsOwnBevels) {
  const QPalette& p = button_->palette();
  const QRgb face = p.color(QPalette::Button).rgb(), shadow = p.color(QPalette::Dark).rgb();
  const QRgb light = p.color(QPalette::Light).rgb(), dark = p.color(QPalette::Shadow).rgb();
  const QRgb black = qRgb(0, 0, 0), behind = qRgb(1, 2, 3);
  struct Case {
    TFrameStyle style;
    QRgb topLeft, bottomRight;
  };
  const Case resting[] = {{TFrameStyle::fsRegular, light, black}, {TFrameStyle::fsIndent, shadow, light},
                          {TFrameStyle::fsExplorer, behind, behind}, {TFrameStyle::fsNone, behind, behind},
                          {TFrameStyle::fsLight, light, shadow},    {TFrameStyle::fsDark, face, dark},
                          {TFrameStyle::fsMono, light, dark}};
  const QPoint far(88, 88);
  for (const Case& c : resting) {
    button_->setFrameStyle(c.style);
    const QImage image = painted();
    EXPECT_EQ(image.pixel(0, 0), c.topLeft) << int(c.style);
    EXPECT_EQ(image.pixel(far), c.bottomRight) << int(c.style);
  }
  // The regular frame's inner ring, and the same corners pressed.
  button_->setFrameStyle(TFrameStyle::fsRegular);
  EXPECT_EQ(painted().pixel(1, 1), face);
  EXPECT_EQ(painted().pixel(87, 87), shadow);
  button_->setShowPressed(true);
  button_->setDown(true);
  const QImage pressed = painted();
  EXPECT_EQ(pressed.pixel(0, 0), black);
  EXPECT_EQ(pressed.pixel(far), light);
  EXPECT_EQ(pressed.pixel(1, 1), shadow);
  // Opaque, the button fills its face.
  button_->setDown(false);
  button_->setTransparent(false);
  EXPECT_EQ(painted().pixel(44, 60), face);
}

TEST_F(ButtonTest, IconAndCaptionSitWhereTheAlignmentSays) {
  button_->setGlyph(glyph(32, 32));
  button_->setCaption("Display of clients (Accounts receivable)");
  const int W = 89, H = 89, cw = 32, sp = 2;
  // Text below the icon (the default).
  EXPECT_EQ(button_->iconRect(), QRect((W - cw) / 2, sp, cw, 32));
  QRect text = button_->captionRect();
  EXPECT_EQ(text.top(), sp + 32 + sp);
  EXPECT_EQ(text.left(), W / 2 - text.width() / 2);
  EXPECT_LE(text.width(), W);  // wrapped to the button's width
  EXPECT_GT(text.height(), button_->fontMetrics().height());

  button_->setTextAlign(TTextAlign::ttaRight);
  EXPECT_EQ(button_->iconRect().topLeft(), QPoint(sp, (H - 32) / 2));
  text = button_->captionRect();
  EXPECT_EQ(text.left(), W - text.width() - sp);
  EXPECT_EQ(text.top(), H / 2 - text.height() / 2);

  button_->setTextAlign(TTextAlign::ttaTopLeft);
  button_->setWordWrap(false);
  EXPECT_EQ(button_->iconRect().top(), H - 32 - sp);
  text = button_->captionRect();
  EXPECT_EQ(text.left(), sp);
  EXPECT_EQ(text.bottom() + 1, H - 32 - sp - sp);
  EXPECT_EQ(text.height(), button_->fontMetrics().height());  // one line

  button_->setSpacing(6);
  button_->setTextAlign(TTextAlign::ttaLeft);
  EXPECT_EQ(button_->iconRect().left(), W - cw - 6);
}

// A caption longer than the button has room for loses words from its end
// rather than half a line at the edge.
TEST_F(ButtonTest, ACaptionTooLongForTheButtonEndsWithAnEllipsis) {
  button_->setGlyph(glyph(32, 32));
  button_->setFont(QFont("Arial", 10));
  button_->setCaption("Purchases");
  EXPECT_EQ(button_->shownCaption(), "Purchases");
  button_->setCaption("Maintenance of financial statements (General ledger)");
  const QString shown = button_->shownCaption();
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(QString(button_->caption()).startsWith(shown.chopped(1)));
  const QRect r = button_->captionRect();
  EXPECT_GE(r.top(), 0);
  EXPECT_LE(r.bottom(), button_->height() - 1);
}

TEST_F(ButtonTest, MenusKeysAndAcceleratorsReachTheButton) {
  auto* menu = new PopupMenu(&form_, &parent_, "PopupMenu");
  menu->add("Properties1", "Properties");
  button_->setPopUpMenu(menu);
  mouse(QEvent::MouseButtonPress, {5, 5}, Qt::RightButton);
  EXPECT_EQ(menu->popupComponent(), button_);
  menu->close();
  delete menu;
  EXPECT_EQ(button_->popUpMenu(), nullptr);  // a destroyed menu is forgotten

  QSignalSpy doubles(button_, &TTransparentButton::doubleClicked);
  QSignalSpy clicks(button_, &TTransparentButton::clicked);
  button_->setCaption("&Purchases");
  parent_.show();
  button_->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&parent_));
  QTest::keyClick(button_, Qt::Key_Return);
  EXPECT_EQ(doubles.count(), 1);
  QTest::keyClick(button_, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 1);
  QTest::keyClick(&parent_, Qt::Key_P, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 2);
  button_->setEnabled(false);
  QTest::keyClick(&parent_, Qt::Key_P, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 2);
}

}  // namespace
}  // namespace ui
