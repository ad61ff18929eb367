// TWallpaper: a panel that tiles a picture over its inside.
//
// It paints as a plain panel first (background colour, outer bevel, border,
// inner bevel, caption), then, when it holds a picture, repeats the picture
// from the top-left corner of its inside, the client rectangle less
//   b = BorderWidth + (BevelWidth if BevelOuter is not none)
//                   + (BevelWidth if BevelInner is not none)
// on every side. There are (inside width div picture width) + 1 columns and
// (inside height div picture height) + 1 rows of tiles, all clipped to the
// inside, so the last column and row are cut; the picture is never stretched
// or centred.
//
// The panel owns a copy of its picture; every change of the picture repaints
// it and is announced by wallpaperChanged(). A right click (or the menu key)
// opens its popup menu, if it has one, with the panel as popup component.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "ui/component.h"
#include "ui/menu.h"

namespace ui {


enum class TBevelCut { bvNone, bvLowered, bvRaised };
enum class TBorderStyle { bsNone, bsSingle };

class TWallpaper : public QWidget, public Component {
  Q_OBJECT
 public:
  TWallpaper(ComponentOwner* owner, QWidget* parent, const QString& name);
  ~TWallpaper() override;
  QObject* object() override { return this; }
  QString caption() const override { return caption_; }
  void setCaption(const QString& caption) override;

  TBevelCut bevelInner() const { return bevelInner_; }
  void setBevelInner(TBevelCut bevel);
  TBevelCut bevelOuter() const { return bevelOuter_; }
  void setBevelOuter(TBevelCut bevel);
  int bevelWidth() const { return bevelWidth_; }
  void setBevelWidth(int width);  // at least 1
  int borderWidth() const { return borderWidth_; }
  void setBorderWidth(int width);  // at least 0
  TBorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(TBorderStyle style);
  QColor color() const { return color_; }
  void setColor(const QColor& color);

  // The picture tiled over the inside; a null image shows a plain panel.
  const QImage& wallpaper() const { return wallpaper_; }
  void setWallpaper(const QImage& picture);
  // Loads the picture from `path` (see readPictureFile()). On failure the
  // picture stays as it was and the result is false.
  bool loadWallpaper(const QString& path);
  // The picture as a file holds it: the bytes it was loaded from, so that a
  // JPEG stays a JPEG, or PNG for a picture given as an image; empty without
  // a picture.
  QByteArray wallpaperData() const;
  // Sets the picture from such bytes; false (picture unchanged) when they
  // hold no picture.
  bool setWallpaperData(const QByteArray& bytes);

  PopupMenu* popupMenu() const { return popupMenu_; }
  void setPopupMenu(PopupMenu* menu) { popupMenu_ = menu; }

  // The inside: the client rectangle less b on every side (see above).
  QRect innerRect() const;
  // Where the tiles' top-left corners go, column by column; none without a
  // picture.
  std::vector<QPoint> tileOrigins() const;

 signals:
  void wallpaperChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // The client rectangle: the whole panel less a single border line.
  QRect clientRect() const;

  QString caption_;
  TBevelCut bevelInner_ = TBevelCut::bvNone;
  TBevelCut bevelOuter_ = TBevelCut::bvRaised;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  TBorderStyle borderStyle_ = TBorderStyle::bsNone;
  QColor color_;
  QImage wallpaper_;
  QByteArray wallpaperData_;  // the encoded picture, when it came from bytes
  QPointer<PopupMenu> popupMenu_;
};

}  // namespace ui
