#include "ui/transparent_button.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QToolTip>
#include <algorithm>

#include "frame3d.h"
#include "ui/menu.h"

namespace ui {

namespace {

const QColor kCaptionBackground(0, 128, 128);  // teal

// The image with every pixel of its transparent colour (its lower-left
// pixel's) made fully transparent: the mask an image list draws through.
QImage masked(const QImage& image) {
  if (image.isNull()) return image;
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = out.pixel(0, out.height() - 1);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if (line[x] == key) line[x] = 0;
  }
  return out;
}

}  // namespace

TTransparentButton::TTransparentButton(ComponentOwner* owner, QWidget* parent, const QString& name)
    : QWidget(parent) {
  attach(owner, name);
  setGeometry(0, 0, 40, 40);
  setFocusPolicy(Qt::TabFocus);
  setMouseTracking(true);  // moves without a press reach mouseMoved() too
}

TTransparentButton::~TTransparentButton() = default;

// ---------------------------------------------------------------- properties

void TTransparentButton::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  if (shortcutId_ != 0) releaseShortcut(shortcutId_);
  shortcutId_ = 0;
  const QKeySequence mnemonic = QKeySequence::mnemonic(caption_);
  if (!mnemonic.isEmpty()) shortcutId_ = grabShortcut(mnemonic);
  update();
}

void TTransparentButton::setAutoGray(bool on) {
  if (on == autoGray_) return;
  autoGray_ = on;
  update();
}

void TTransparentButton::setBorderWidth(int width) {
  if (width == borderWidth_) return;
  borderWidth_ = width;
  update();
}

void TTransparentButton::setDown(bool down) {
  if (down == down_) return;
  down_ = pressed_ = pressedDrawn_ = down;
  repaint();
}

void TTransparentButton::setFrameStyle(TFrameStyle style) {
  if (style == frameStyle_) return;
  frameStyle_ = style;
  update();
}

void TTransparentButton::setGlyph(const QImage& glyph) {
  glyph_ = glyph;
  update();
  glyphChanged();
}

void TTransparentButton::setNumGlyphs(int count) {
  count = std::clamp(count, 1, 4);
  if (count == numGlyphs_) return;
  numGlyphs_ = count;
  update();
}

void TTransparentButton::setShowPressed(bool on) {
  showPressed_ = on;
  update();
}

void TTransparentButton::setSpacing(int spacing) {
  if (spacing == spacing_) return;
  spacing_ = spacing;
  update();
}

void TTransparentButton::setTextAlign(TTextAlign align) {
  if (align == textAlign_) return;
  textAlign_ = align;
  update();
}

void TTransparentButton::setTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  update();
}

void TTransparentButton::setWordWrap(bool on) {
  if (on == wordWrap_) return;
  wordWrap_ = on;
  update();
}

void TTransparentButton::setFontColor(const QColor& color) {
  fontColor_ = color;
  update();
}

// ---------------------------------------------------------------- images

void TTransparentButton::glyphChanged() {
  update();
  const int w = glyph_.width(), h = glyph_.height();
  if (h > 0 && w % h == 0) {
    const int quotient = w / h;
    numGlyphs_ = quotient > 4 ? 1 : std::max(1, quotient);
  }
  rebuildGlyphImages();
}

void TTransparentButton::rebuildGlyphImages() {
  if (glyph_.isNull()) return;
  glyphImages_.clear();
  const int cellWidth = glyph_.width() / numGlyphs_, height = glyph_.height();
  QImage grey, disabled;
  for (int i = 0; i < numGlyphs_; ++i) {
    const QImage cell = glyph_.copy(i * cellWidth, 0, cellWidth, height);
    if (i == 0) {
      grey = MakeGrey(cell);
      disabled = MakeDisabled(cell, palette());
    }
    glyphImages_.push_back(masked(cell));
  }
  glyphImages_.push_back(masked(grey));
  glyphImages_.push_back(masked(disabled));
  update();
}

QImage TTransparentButton::MakeGrey(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const int v = (11 * qRed(line[x]) + 59 * qGreen(line[x]) + 30 * qBlue(line[x])) / 100;
      line[x] = qRgb(v, v, v);
    }
  }
  return out;
}

QImage TTransparentButton::MakeDisabled(const QImage& image, const QPalette& palette) {
  if (image.isNull()) return image;
  const QImage source = image.convertToFormat(QImage::Format_RGB32);
  const QRgb key = source.pixel(0, 0);
  // The mask: true where the icon has a pixel of its own.
  auto ink = [&](int x, int y) {
    const QRgb c = source.pixel(x, y);
    return c != key && c != qRgb(255, 255, 255);
  };
  QImage out(source.size(), QImage::Format_RGB32);
  out.fill(palette.color(QPalette::Button));
  const QRgb highlight = palette.color(QPalette::Light).rgb();
  const QRgb shadow = palette.color(QPalette::Dark).rgb();
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x)
      if (ink(x, y) && x + 1 < out.width() && y + 1 < out.height()) out.setPixel(x + 1, y + 1, highlight);
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x)
      if (ink(x, y)) out.setPixel(x, y, shadow);
  return out;
}

// ---------------------------------------------------------------- painting

QRect TTransparentButton::iconRect() const {
  if (glyph_.isNull()) return {};
  const int W = width(), H = height();
  int cw = glyph_.width() / numGlyphs_;
  if (cw <= 0) cw = glyph_.width();
  const int gh = glyph_.height();
  int top = 0, left = 0;
  switch (textAlign_) {
    case TTextAlign::ttaBottomRight:
    case TTextAlign::ttaBottom:
    case TTextAlign::ttaBottomLeft:
      top = spacing_;
      left = (W - cw) / 2;
      break;
    case TTextAlign::ttaTopLeft:
    case TTextAlign::ttaTop:
    case TTextAlign::ttaTopRight:
      top = H - gh - spacing_;
      left = (W - cw) / 2;
      break;
    case TTextAlign::ttaRight:
      top = (H - gh) / 2;
      left = spacing_;
      break;
    case TTextAlign::ttaLeft:
      top = (H - gh) / 2;
      left = W - cw - spacing_;
      break;
    case TTextAlign::ttaCenter:
      top = (H - gh) / 2;
      left = (W - cw) / 2;
      break;
  }
  return QRect(left, top, cw, gh);
}

int TTransparentButton::iconIndex() const {
  if (glyph_.isNull() || glyphImages_.size() < 2) return -1;
  const bool enabled = isEnabled();
  int index = 0;
  if (numGlyphs_ == 2) index = enabled ? 0 : 1;
  if (numGlyphs_ >= 3) index = !enabled ? 1 : pressedDrawn_ ? 2 : 0;
  const int count = static_cast<int>(glyphImages_.size());
  if (frameStyle_ == TFrameStyle::fsExplorer && autoGray_ && !hot_) index = count - 2;
  if (!enabled && numGlyphs_ == 1) index = count - 1;
  return index < count ? index : -1;
}

int TTransparentButton::textFlags() const {
  return Qt::AlignHCenter | Qt::TextShowMnemonic | (wordWrap_ ? Qt::TextWordWrap : Qt::TextSingleLine);
}

QRect TTransparentButton::captionRect() const { return captionRect(shownCaption()); }

QRect TTransparentButton::captionRect(const QString& text) const {
  if (text.isEmpty()) return {};
  const int W = width(), H = height();
  const QRect measured = fontMetrics().boundingRect(QRect(0, 0, W, H), textFlags(), text);
  const int tw = measured.width(), th = measured.height();
  // Without an icon the icon rectangle is empty at the top-left corner.
  const QRect g = glyph_.isNull() ? QRect(0, 0, 0, 0) : iconRect();
  const int above = g.top() - th - spacing_, below = g.top() + g.height() + spacing_;
  int x = 0, y = 0;
  switch (textAlign_) {
    case TTextAlign::ttaTopLeft: x = spacing_, y = above; break;
    case TTextAlign::ttaTop: x = W / 2 - tw / 2, y = above; break;
    case TTextAlign::ttaTopRight: x = W - tw - spacing_, y = above; break;
    case TTextAlign::ttaRight: x = W - tw - spacing_, y = H / 2 - th / 2; break;
    case TTextAlign::ttaBottomRight: x = W - tw - spacing_, y = below; break;
    case TTextAlign::ttaBottom: x = W / 2 - tw / 2, y = below; break;
    case TTextAlign::ttaBottomLeft: x = spacing_, y = below; break;
    case TTextAlign::ttaLeft: x = spacing_, y = H / 2 - th / 2; break;
    case TTextAlign::ttaCenter: x = W / 2 - tw / 2, y = H / 2 - th / 2; break;
  }
  return QRect(x, y, tw, th);
}

QString TTransparentButton::shownCaption() const {
  // What falls outside the button would be cut in the middle of a line: the
  // caption loses words from its end instead, and says so with an ellipsis.
  auto fits = [this](const QString& text) {
    const QRect r = captionRect(text);
    return r.top() >= 0 && r.top() + r.height() <= height();
  };
  if (caption_.isEmpty() || fits(caption_)) return caption_;
  QStringList words = caption_.split(' ', Qt::SkipEmptyParts);
  while (words.size() > 1) {
    words.removeLast();
    const QString shorter = words.join(' ') + QChar(0x2026);
    if (fits(shorter)) return shorter;
  }
  return caption_;  // not even one word fits: as it is
}

void TTransparentButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int W = width(), H = height(), bw = borderWidth_;
  const QPalette& pal = palette();
  const QColor face = pal.color(QPalette::Button), shadow = pal.color(QPalette::Dark);
  const QColor highlight = pal.color(QPalette::Light), darkShadow = pal.color(QPalette::Shadow);
  const QColor black = Qt::black;
  // A rectangle with an outline `pen` pixels wide (at least one) inside it.
  auto rectangle = [&](QRect r, const QColor& outline, int pen) {
    p.fillRect(r, face);
    paint::frame3D(p, r, outline, outline, std::max(1, pen));
  };

  // 2. Background and outline.
  switch (frameStyle_) {
    case TFrameStyle::fsRegular:
      if (!transparent_) {
        rectangle(QRect(1, 1, W - 1, H - 1), black, bw);
      } else {
        QRect r(1, 1, W - 1, H - 1);
        paint::frame3D(p, r, black, black, bw);
      }
      break;
    case TFrameStyle::fsIndent: {
      if (!transparent_) {
        rectangle(QRect(0, 0, W - 1, H - 1), shadow, bw);
      } else {
        QRect r(0, 0, W - 1, H - 1);
        paint::frame3D(p, r, shadow, shadow, bw);
      }
      QRect r(1, 1, W - 1, H - 1);
      paint::frame3D(p, r, highlight, highlight, bw);
      break;
    }
    default:
      if (!transparent_) p.fillRect(rect(), face);
      break;
  }

  // 3 to 5. The frames of the pressed and the resting look.
  QRect r = rect();
  const TFrameStyle style = frameStyle_;
  if (pressedDrawn_ && style != TFrameStyle::fsNone) {
    switch (style) {
      case TFrameStyle::fsRegular:
      case TFrameStyle::fsIndent:
        if (showPressed_) {
          paint::frame3D(p, r, black, highlight, bw);
          paint::frame3D(p, r, shadow, face, bw);
        }
        break;
      case TFrameStyle::fsExplorer:
        if (hot_ || down_) {
          if (showPressed_) paint::frame3D(p, r, shadow, highlight, bw);
          else paint::frame3D(p, r, highlight, shadow, bw);
        }
        break;
      case TFrameStyle::fsLight:
        if (showPressed_) paint::frame3D(p, r, shadow, highlight, 1);
        break;
      case TFrameStyle::fsDark:
        if (showPressed_) paint::frame3D(p, r, darkShadow, face, 1);
        break;
      case TFrameStyle::fsMono:
        if (showPressed_) paint::frame3D(p, r, darkShadow, highlight, 1);
        break;
      case TFrameStyle::fsNone: break;
    }
  }
  if (!pressedDrawn_) {
    switch (style) {
      case TFrameStyle::fsRegular:
        paint::frame3D(p, r, highlight, black, bw);
        paint::frame3D(p, r, face, shadow, bw);
        break;
      case TFrameStyle::fsIndent: paint::frame3D(p, r, shadow, highlight, bw); break;
      case TFrameStyle::fsExplorer:
        if (hot_) paint::frame3D(p, r, highlight, shadow, bw);
        break;
      case TFrameStyle::fsLight: paint::frame3D(p, r, highlight, shadow, 1); break;
      case TFrameStyle::fsDark: paint::frame3D(p, r, face, darkShadow, 1); break;
      case TFrameStyle::fsMono: paint::frame3D(p, r, highlight, darkShadow, 1); break;
      case TFrameStyle::fsNone: break;
    }
  }

  // 6. Icon, caption, and the focus mark of a keyboard user.
  drawIcon(p, iconRect());
  drawCaption(p);
  if (hasFocus()) {
    p.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void TTransparentButton::drawIcon(QPainter& p, QRect icon) const {
  const int index = iconIndex();
  if (index < 0) return;
  if (pressedDrawn_ && showPressed_) icon.translate(1, 1);
  if (!transparent_) p.fillRect(icon, palette().color(QPalette::Button));
  p.drawImage(icon.topLeft(), glyphImages_[size_t(index)]);
}

void TTransparentButton::drawCaption(QPainter& p) const {
  const QString text = shownCaption();
  QRect r = captionRect(text);
  if (r.isNull()) return;
  if (pressedDrawn_ && showPressed_) r.translate(1, 1);
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(kCaptionBackground);
  const int flags = textFlags() | Qt::TextDontClip;
  if (isEnabled()) {
    p.setPen(fontColor_);
    p.drawText(r, flags, text);
  } else {
    p.setPen(palette().color(QPalette::Light));
    p.drawText(r.translated(1, 1), flags, text);
    p.setPen(palette().color(QPalette::Dark));
    p.drawText(r, flags, text);
  }
  p.setBackgroundMode(Qt::TransparentMode);
}

// ---------------------------------------------------------------- mouse

bool TTransparentButton::inside(const QPoint& at) const {
  return at.x() >= 0 && at.x() < width() && at.y() >= 0 && at.y() < height();
}

void TTransparentButton::mousePressEvent(QMouseEvent* event) {
  if (!isEnabled()) return;
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::RightButton) {
    showPopup(event->globalPosition().toPoint());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  if (tracking_) {
    tracking_ = false;
    return;
  }
  tracking_ = true;
  emit mouseDown(event->button(), at);
  if (movable_) grab_ = at;
  if (inside(at)) {
    pressed_ = pressedDrawn_ = true;
    repaint();
  }
}

void TTransparentButton::mouseMoveEvent(QMouseEvent* event) {
  if (!isEnabled()) return;
  const QPoint at = event->position().toPoint();
  emit mouseMoved(at);
  if (!pressed_) return;
  if (movable_ && parentWidget()) {
    const QPoint to = pos() + at - grab_;
    const QSize room = parentWidget()->size();
    // Never onto the parent's right or bottom edge. A button that lies
    // beyond them already (its parent shrank) may still come back towards
    // them, or it could never be moved again.
    auto fits = [&](const QPoint& p) {
      return p.x() >= 0 && p.y() >= 0 && p.x() + width() < room.width() && p.y() + height() < room.height();
    };
    auto overflow = [&](const QPoint& p) {
      return std::max(0, -p.x()) + std::max(0, -p.y()) + std::max(0, p.x() + width() - room.width() + 1) +
             std::max(0, p.y() + height() - room.height() + 1);
    };
    if (fits(to) || (!fits(pos()) && overflow(to) < overflow(pos()))) move(to);
  }
  // The position within the button as the press saw it: a move drags the
  // button along, so the pointer stays where it took hold.
  const bool in = inside(at);
  if (in != pressedDrawn_) {
    pressedDrawn_ = in;
    repaint();
  }
}

void TTransparentButton::mouseReleaseEvent(QMouseEvent* event) {
  if (!isEnabled() || event->button() != Qt::LeftButton || !tracking_) return;
  tracking_ = false;
  if (down_) return;
  const QPoint at = event->position().toPoint();
  const bool click = pressed_ && inside(at);
  emit mouseUp(event->button(), at);
  pressed_ = pressedDrawn_ = false;
  repaint();
  if (click) emit clicked();
}

void TTransparentButton::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!isEnabled() || event->button() != Qt::LeftButton) return;
  // The double click stands for the second press of the pair: its release
  // that follows is not a click of its own, so no press is tracked.
  pressedDrawn_ = down_ = pressed_ = false;
  tracking_ = false;
  QPointer<TTransparentButton> alive(this);
  emit doubleClicked();
  if (alive) repaint();
}

void TTransparentButton::enterEvent(QEnterEvent*) {
  if (!isEnabled()) return;
  hot_ = true;
  emit mouseEntered();
  if (frameStyle_ == TFrameStyle::fsExplorer) repaint();
}

void TTransparentButton::leaveEvent(QEvent*) {
  if (!isEnabled()) return;
  hot_ = false;
  emit mouseLeft();
  if (frameStyle_ == TFrameStyle::fsExplorer) repaint();
}

void TTransparentButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (!isEnabled()) pressedDrawn_ = pressed_ = tracking_ = hot_ = false;
    repaint();
  }
  QWidget::changeEvent(event);
}

// ---------------------------------------------------------------- keys and menu

void TTransparentButton::showPopup(const QPoint& globalPos) {
  if (popUpMenu_) popUpMenu_->popupFor(this, globalPos);
}

void TTransparentButton::contextMenuEvent(QContextMenuEvent* event) {
  // A right press opened the menu already; this is the menu key's way.
  if (event->reason() == QContextMenuEvent::Keyboard && isEnabled())
    showPopup(mapToGlobal(QPoint(width() / 2, height() / 2)));
  event->accept();
}

void TTransparentButton::keyPressEvent(QKeyEvent* event) {
  if (!isEnabled() || event->modifiers() & ~Qt::KeypadModifier) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      emit doubleClicked();
      return;
    case Qt::Key_Space:
      emit clicked();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

bool TTransparentButton::event(QEvent* event) {
  // A caption shortened to fit shows whole as the tip, unless a hint is given.
  if (event->type() == QEvent::ToolTip && toolTip().isEmpty() && shownCaption() != caption_) {
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), plainCaption(caption_), this);
    return true;
  }
  if (event->type() == QEvent::Shortcut) {
    auto* shortcut = static_cast<QShortcutEvent*>(event);
    if (shortcut->shortcutId() == shortcutId_ && isEnabled()) {
      emit clicked();
      return true;
    }
  }
  return QWidget::event(event);
}

}  // namespace ui
