// TWallpaper painted for real into an image: where the tiles go, what the
// clip cuts, and the plain panel without a picture.
#include "ui/wallpaper.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QPainter>
#include <QSignalSpy>

#include "test_util.h"
#include "ui/form.h"
#include "widget_test_util.h"

namespace ui {
namespace {

class WallpaperTest : public ::testing::Test {
 protected:
  struct App {
    App() { testing::app(); }
  } app_;

  // A picture with a red top-left pixel on green, so that each tile's corner
  // shows where it was drawn.
  static QImage tile(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::green);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    return image;
  }

  static QImage painted(TWallpaper& paper) {
    QImage out(paper.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    paper.render(&out);
    return out;
  }

  Form form_{"LogoAppForm"};
};

TEST_F(WallpaperTest, APictureIsTiledFromTheInsideCornerAndCutByTheClip) {
  TWallpaper paper(&form_, &form_, "Wallpaper1");
  paper.resize(742, 455);
  paper.setWallpaper(tile(100, 100));
  // Outer bevel raised, width 1, no border: the inside starts at (1, 1).
  EXPECT_EQ(paper.innerRect(), QRect(1, 1, 740, 453));
  const std::vector<QPoint> origins = paper.tileOrigins();
  ASSERT_EQ(origins.size(), 8u * 5u);  // 740 div 100 + 1 columns, 453 div 100 + 1 rows
  EXPECT_EQ(origins.front(), QPoint(1, 1));
  EXPECT_EQ(origins.back(), QPoint(701, 401));

  const QImage image = painted(paper);
  const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 5; ++j) EXPECT_EQ(image.pixel(1 + 100 * i, 1 + 100 * j), red) << i << "," << j;
  EXPECT_EQ(image.pixel(2, 1), green);
  // The last column and row are cut one pixel inside the edge: the bevel stays.
  EXPECT_EQ(image.pixel(740, 453), green);
  EXPECT_EQ(image.pixel(741, 200), paper.palette().color(QPalette::Dark).rgb());
  EXPECT_EQ(image.pixel(200, 454), paper.palette().color(QPalette::Dark).rgb());
  EXPECT_EQ(image.pixel(0, 200), paper.palette().color(QPalette::Light).rgb());
}

TEST_F(WallpaperTest, BordersAndInnerBevelsMoveTheTilesInward) {
  TWallpaper paper(&form_, &form_, "Wallpaper1");
  paper.resize(300, 200);
  paper.setBorderWidth(3);
  paper.setBevelInner(TBevelCut::bvLowered);
  paper.setBevelWidth(2);
  paper.setWallpaper(tile(50, 40));
  EXPECT_EQ(paper.innerRect(), QRect(7, 7, 286, 186));  // b = 3 + 2 + 2
  EXPECT_EQ(paper.tileOrigins().size(), 6u * 5u);
  EXPECT_EQ(painted(paper).pixel(7, 7), qRgb(255, 0, 0));

  // A picture larger than the panel shows its top-left part once.
  paper.setWallpaper(tile(1000, 1000));
  EXPECT_EQ(paper.tileOrigins(), std::vector<QPoint>{QPoint(7, 7)});
}

TEST_F(WallpaperTest, WithoutAPictureItIsAPlainPanel) {
  TWallpaper paper(&form_, &form_, "Wallpaper1");
  paper.resize(120, 80);
  paper.setColor(QColor(0, 0, 128));
  EXPECT_TRUE(paper.tileOrigins().empty());
  EXPECT_EQ(painted(paper).pixel(60, 40), qRgb(0, 0, 128));
}

TEST_F(WallpaperTest, PictureChangesAreAnnouncedAndKeepTheirFileBytes) {
  pdx::testing::TempDir dir;
  TWallpaper paper(&form_, &form_, "Wallpaper1");
  QSignalSpy changed(&paper, &TWallpaper::wallpaperChanged);
  const QString jpeg = QString::fromStdString(dir.file("Tallimoor32.jpg"));
  ASSERT_TRUE(tile(64, 48).save(jpeg, "JPEG"));
  ASSERT_TRUE(paper.loadWallpaper(jpeg));
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(paper.wallpaper().size(), QSize(64, 48));
  EXPECT_TRUE(paper.wallpaperData().startsWith("\xFF\xD8"));  // still the JPEG file

  // A file that is no picture changes nothing.
  const QString text = QString::fromStdString(dir.file("notes.jpg"));
  {
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
  }
  EXPECT_FALSE(paper.loadWallpaper(text));
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(paper.wallpaper().size(), QSize(64, 48));

  // A picture given as an image is kept as PNG.
  paper.setWallpaper(tile(10, 10));
  EXPECT_TRUE(paper.wallpaperData().startsWith("\x89PNG"));
  EXPECT_EQ(changed.count(), 2);
}

}  // namespace
}  // namespace ui
