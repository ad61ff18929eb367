#include "ui/picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace ui {

Picture::Picture(ComponentOwner* owner, QWidget* parent, const QString& name) : QWidget(parent) {
  attach(owner, name);
}

namespace {

// Bitmap and JPEG readers make the most of a file cut short (the missing
// rows come out black or grey). A cut file is damaged: these catch it.
uint32_t little32(const QByteArray& bytes, int at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

bool cutShort(const QByteArray& bytes) {
  if (bytes.startsWith("BM") && bytes.size() >= 14) {
    // The file header gives the whole file's size (0 when the writer left it out).
    const uint32_t size = little32(bytes, 2);
    return size != 0 && static_cast<uint64_t>(bytes.size()) < size;
  }
  if (bytes.startsWith("\xFF\xD8")) {
    // The image ends with an end-of-image marker after its last scan; the
    // scan data cannot hold either marker (0xFF is escaped in it).
    const qsizetype lastScan = bytes.lastIndexOf("\xFF\xDA");
    return lastScan < 0 || bytes.indexOf("\xFF\xD9", lastScan) < 0;
  }
  return false;
}

}  // namespace

QImage decodePicture(const QByteArray& bytes, QByteArray* format) {
  if (cutShort(bytes)) return {};
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  if (!reader.canRead()) return {};
  const QSize size = reader.size();
  if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide) return {};
  if (format) *format = reader.format();
  QImage image = reader.read();
  if (image.width() > kMaxPictureSide || image.height() > kMaxPictureSide) return {};
  return image;
}

QByteArray readPictureBytes(const QString& path) {
  QFile file(path);
  // Beyond this no picture of the suite goes; the decoder would refuse it anyway.
  constexpr qint64 kMaxFileSize = 256 * 1024 * 1024;
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) return {};
  return file.readAll();
}

QImage readPictureFile(const QString& path, QByteArray* format) { return decodePicture(readPictureBytes(path), format); }

bool Picture::loadFromFile(const QString& path) {
  const QImage loaded = readPictureFile(path);
  setImage(loaded);
  return !loaded.isNull();
}

void Picture::setImage(const QImage& image) {
  image_ = image;
  updateGeometry();
  update();
}

void Picture::setStretch(bool stretch) {
  stretch_ = stretch;
  update();
}

void Picture::setCenter(bool center) {
  center_ = center;
  update();
}

QRect Picture::imageRect() const {
  if (image_.isNull()) return {};
  if (stretch_) return rect();
  QRect r(QPoint(0, 0), image_.size());
  if (center_) r.moveCenter(rect().center());
  return r;
}

QSize Picture::sizeHint() const {
  return image_.isNull() ? QSize(32, 32) : image_.size();
}

void Picture::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  QPainter painter(this);
  if (stretch_) painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(imageRect(), image_);
}

}  // namespace ui
