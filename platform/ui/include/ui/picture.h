// A picture control: shows an image loaded from a bitmap or JPEG file.
//
// The image is drawn at its own size from the top-left corner, centred
// (center), or stretched over the whole control (stretch, which wins over
// center). A file that is missing, unreadable or not an image leaves the
// control empty and loadFromFile() returns false; the file's contents decide
// its format, not its extension.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "ui/component.h"

namespace ui {

// The picture in `path`, or a null image when the file is missing, larger
// than any picture of the suite, cut short, or not a picture. The contents
// decide the format, not the extension; `format`, when given, receives the
// format read ("bmp", "jpeg", ...).
QImage readPictureFile(const QString& path, QByteArray* format = nullptr);
// The bytes of the picture file `path`: empty when it is missing, unreadable
// or larger than any picture of the suite.
QByteArray readPictureBytes(const QString& path);
// The picture `bytes` hold, by the same rules; pictures wider or higher than
// kMaxPictureSide pixels are refused too.
QImage decodePicture(const QByteArray& bytes, QByteArray* format = nullptr);
inline constexpr int kMaxPictureSide = 16384;

class Picture : public QWidget, public Component {
 public:
  Picture(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }

  bool loadFromFile(const QString& path);
  const QImage& image() const { return image_; }
  void setImage(const QImage& image);
  void clear() { setImage(QImage()); }
  bool isEmpty() const { return image_.isNull(); }

  bool stretch() const { return stretch_; }
  void setStretch(bool stretch);
  bool center() const { return center_; }
  void setCenter(bool center);

  // Where the image is drawn, in the control's coordinates (empty when there
  // is none).
  QRect imageRect() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  bool stretch_ = false;
  bool center_ = false;
};

}  // namespace ui
