// TTransparentButton: the icon button of the desktop's shortcuts.
//
// A control with no background of its own: it draws a frame in one of seven
// styles, an icon (the glyph) and a caption over whatever its parent paints
// behind it. The glyph may hold one to four equal cells side by side:
//   cell 0  up,  cell 1  disabled,  cell 2  pressed  (cell 3 is never drawn)
// and from cell 0 the button makes a grey image (MakeGrey, shown with
// fsExplorer and AutoGray while the pointer is away) and a disabled image
// (MakeDisabled, shown when a one-cell button is disabled).
//
// GlyphImages, the image list, holds the NumGlyphs cells, then the grey
// image, then the disabled image; each keeps the colour of its lower-left
// pixel as its transparent colour, drawn as nothing. Setting a glyph whose
// width is an exact multiple of its height sets NumGlyphs to that multiple
// (1 beyond 4) and rebuilds the list; setting NumGlyphs alone does not.
//
// Mouse: a left press inside presses the button; while the press is held,
// moves drag a movable button around its parent (never onto the parent's
// right or bottom edge) and show it pressed only while the pointer is inside;
// a release clears the press, and a press and release inside is a click. A
// double click raises doubleClicked() and leaves the button unpressed. A
// right press opens the popup menu. The caption's "&" marks an accelerator
// (Alt + the letter clicks the button). Every handler ignores input while the
// button is disabled.
//
// Keyboard: the button takes focus with Tab; Enter raises doubleClicked()
// (a shortcut's command), Space raises clicked(), and the menu key opens the
// popup menu.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "ui/component.h"
#include "ui/menu.h"

namespace ui {


enum class TFrameStyle { fsRegular, fsIndent, fsExplorer, fsNone, fsLight, fsDark, fsMono };
// Where the caption sits relative to the icon.
enum class TTextAlign {
  ttaTopLeft, ttaTop, ttaTopRight, ttaRight, ttaBottomRight, ttaBottom, ttaBottomLeft, ttaLeft, ttaCenter
};

class TTransparentButton : public QWidget, public Component {
  Q_OBJECT
 public:
  // Made at left 0, top 0, 40 x 40.
  TTransparentButton(ComponentOwner* owner, QWidget* parent, const QString& name = {});
  ~TTransparentButton() override;
  QObject* object() override { return this; }
  QString caption() const override { return caption_; }
  void setCaption(const QString& caption) override;

  bool autoGray() const { return autoGray_; }
  void setAutoGray(bool on);
  int borderWidth() const { return borderWidth_; }
  void setBorderWidth(int width);
  bool down() const { return down_; }
  // Latches the button pressed or releases it; repaints at once.
  void setDown(bool down);
  TFrameStyle frameStyle() const { return frameStyle_; }
  void setFrameStyle(TFrameStyle style);
  const QImage& glyph() const { return glyph_; }
  void setGlyph(const QImage& glyph);
  int numGlyphs() const { return numGlyphs_; }
  void setNumGlyphs(int count);  // 1 to 4
  PopupMenu* popUpMenu() const { return popUpMenu_; }
  void setPopUpMenu(PopupMenu* menu) { popUpMenu_ = menu; }
  bool showPressed() const { return showPressed_; }
  void setShowPressed(bool on);
  int spacing() const { return spacing_; }
  void setSpacing(int spacing);
  TTextAlign textAlign() const { return textAlign_; }
  void setTextAlign(TTextAlign align);
  bool transparent() const { return transparent_; }
  void setTransparent(bool on);
  bool wordWrap() const { return wordWrap_; }
  void setWordWrap(bool on);
  bool movable() const { return movable_; }
  void setMovable(bool on) { movable_ = on; }
  // The caption's colour (the font's colour).
  QColor fontColor() const { return fontColor_; }
  void setFontColor(const QColor& color);

  // ---- the state the mouse handling keeps
  bool pressed() const { return pressed_; }
  bool pressedDrawn() const { return pressedDrawn_; }
  bool tracking() const { return tracking_; }
  bool hot() const { return hot_; }
  QPoint grabPoint() const { return grab_; }

  // The image list: the cells, the grey image, the disabled image; each with
  // its transparent colour made fully transparent.
  const std::vector<QImage>& glyphImages() const { return glyphImages_; }
  // Where the icon is drawn (before the one-pixel shift of a shown press),
  // and the index into glyphImages() drawn there now (-1: no icon).
  QRect iconRect() const;
  int iconIndex() const;
  // The caption as drawn: whole, or, when it would not fit inside the
  // button, shortened by words and ended with an ellipsis (the whole caption
  // is then the button's tip).
  QString shownCaption() const;
  // Where the caption is drawn (before the shift), or an empty rectangle.
  QRect captionRect() const;

  // Every pixel grey, v = (11 red + 59 green + 30 blue) div 100.
  static QImage MakeGrey(const QImage& image);
  // The embossed look of a disabled icon: pixels that are white or of the
  // colour of pixel (0, 0) become background (button face); the others are
  // drawn in button highlight one pixel down and right, then in button
  // shadow in place.
  static QImage MakeDisabled(const QImage& image, const QPalette& palette);

 signals:
  void clicked();
  void doubleClicked();
  void mouseDown(Qt::MouseButton button, const QPoint& at);
  void mouseMoved(const QPoint& at);
  void mouseUp(Qt::MouseButton button, const QPoint& at);
  void mouseEntered();
  void mouseLeft();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void glyphChanged();
  void rebuildGlyphImages();
  bool inside(const QPoint& at) const;
  void showPopup(const QPoint& globalPos);
  int textFlags() const;
  QRect captionRect(const QString& text) const;
  void drawIcon(QPainter& p, QRect icon) const;
  void drawCaption(QPainter& p) const;

  QString caption_;
  bool autoGray_ = true;
  int borderWidth_ = 1;
  bool down_ = false;
  TFrameStyle frameStyle_ = TFrameStyle::fsRegular;
  QImage glyph_;
  int numGlyphs_ = 1;
  QPointer<PopupMenu> popUpMenu_;
  bool showPressed_ = false;
  int spacing_ = 2;
  TTextAlign textAlign_ = TTextAlign::ttaBottom;
  bool transparent_ = true;
  bool wordWrap_ = true;
  bool movable_ = true;
  QColor fontColor_ = Qt::black;

  std::vector<QImage> glyphImages_;
  bool pressed_ = false;
  bool pressedDrawn_ = false;
  bool tracking_ = false;
  bool hot_ = false;
  QPoint grab_;
  int shortcutId_ = 0;
};

}  // namespace ui
