#include "ui/wallpaper.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QPainter>
#include <algorithm>

#include "frame3d.h"
#include "ui/menu.h"
#include "ui/picture.h"

namespace ui {

TWallpaper::TWallpaper(ComponentOwner* owner, QWidget* parent, const QString& name)
    : QWidget(parent), color_(palette().color(QPalette::Window)) {
  attach(owner, name);
  // The panel paints every pixel itself.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

TWallpaper::~TWallpaper() = default;

void TWallpaper::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void TWallpaper::setBevelInner(TBevelCut bevel) {
  bevelInner_ = bevel;
  update();
}

void TWallpaper::setBevelOuter(TBevelCut bevel) {
  bevelOuter_ = bevel;
  update();
}

void TWallpaper::setBevelWidth(int width) {
  bevelWidth_ = std::max(1, width);
  update();
}

void TWallpaper::setBorderWidth(int width) {
  borderWidth_ = std::max(0, width);
  update();
}

void TWallpaper::setBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  update();
}

void TWallpaper::setColor(const QColor& color) {
  color_ = color;
  update();
}

void TWallpaper::setWallpaper(const QImage& picture) {
  wallpaper_ = picture;
  wallpaperData_.clear();
  update();
  emit wallpaperChanged();
}

bool TWallpaper::loadWallpaper(const QString& path) { return setWallpaperData(readPictureBytes(path)); }

QByteArray TWallpaper::wallpaperData() const {
  if (!wallpaperData_.isEmpty() || wallpaper_.isNull()) return wallpaperData_;
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  wallpaper_.save(&buffer, "PNG");
  return png;
}

bool TWallpaper::setWallpaperData(const QByteArray& bytes) {
  const QImage picture = decodePicture(bytes);
  if (picture.isNull()) return false;
  setWallpaper(picture);
  wallpaperData_ = bytes;
  return true;
}

QRect TWallpaper::clientRect() const {
  return borderStyle_ == TBorderStyle::bsSingle ? rect().adjusted(1, 1, -1, -1) : rect();
}

QRect TWallpaper::innerRect() const {
  const int b = borderWidth_ + (bevelOuter_ != TBevelCut::bvNone ? bevelWidth_ : 0) +
                (bevelInner_ != TBevelCut::bvNone ? bevelWidth_ : 0);
  return clientRect().adjusted(b, b, -b, -b);
}

std::vector<QPoint> TWallpaper::tileOrigins() const {
  std::vector<QPoint> origins;
  const int pw = wallpaper_.width(), ph = wallpaper_.height();
  if (pw <= 0 || ph <= 0) return origins;
  const QRect inner = innerRect();
  if (inner.width() <= 0 || inner.height() <= 0) return origins;
  const int columns = inner.width() / pw, rows = inner.height() / ph;
  origins.reserve(size_t(columns + 1) * size_t(rows + 1));
  for (int i = 0; i <= columns; ++i)
    for (int j = 0; j <= rows; ++j) origins.emplace_back(inner.left() + i * pw, inner.top() + j * ph);
  return origins;
}

void TWallpaper::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor highlight = palette().color(QPalette::Light);
  const QColor shadow = palette().color(QPalette::Dark);
  auto bevel = [&](QRect& r, TBevelCut cut) {
    if (cut == TBevelCut::bvNone) return;
    const bool raised = cut == TBevelCut::bvRaised;
    paint::frame3D(p, r, raised ? highlight : shadow, raised ? shadow : highlight, bevelWidth_);
  };
  if (borderStyle_ == TBorderStyle::bsSingle) {
    QRect outline = rect();
    paint::frame3D(p, outline, Qt::black, Qt::black, 1);
  }
  // 1. The plain panel: bevels, border, background, caption.
  QRect r = clientRect();
  bevel(r, bevelOuter_);
  paint::frame3D(p, r, color_, color_, borderWidth_);
  bevel(r, bevelInner_);
  p.fillRect(r, color_);
  if (!caption_.isEmpty()) {
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(r, Qt::AlignCenter, caption_);
  }
  // 2. The tiles, clipped to the inside.
  const std::vector<QPoint> origins = tileOrigins();
  if (origins.empty()) return;
  p.save();
  p.setClipRect(innerRect());
  for (const QPoint& at : origins) p.drawImage(at, wallpaper_);
  p.restore();
}

void TWallpaper::contextMenuEvent(QContextMenuEvent* event) {
  if (!popupMenu_) {
    QWidget::contextMenuEvent(event);
    return;
  }
  popupMenu_->popupFor(this, event->globalPos());
  event->accept();
}

}  // namespace ui
