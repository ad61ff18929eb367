// The picture control with real files: bitmaps and JPEG images written here,
// and files that are not images at all.
#include "ui/picture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "test_util.h"
#include "ui/form.h"
#include "widget_test_util.h"

namespace ui {
namespace {

class PictureTest : public ::testing::Test {
 protected:
  struct App {
    App() { testing::app(); }
  } app_;

  // A 40 x 30 picture, red on the left half and blue on the right.
  QString write(const std::string& name, const char* format) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, 20, 30, Qt::red);
    const QString path = QString::fromStdString(dir_.file(name));
    EXPECT_TRUE(image.save(path, format));
    return path;
  }

  pdx::testing::TempDir dir_;
  Form form_{"F"};
};

TEST_F(PictureTest, LoadsBitmapsAndJpegImages) {
  Picture picture(&form_, &form_, "Image1");
  EXPECT_TRUE(picture.isEmpty());
  ASSERT_TRUE(picture.loadFromFile(write("icon.bmp", "BMP")));
  EXPECT_EQ(picture.image().size(), QSize(40, 30));
  EXPECT_EQ(QColor(picture.image().pixel(5, 5)), QColor(Qt::red));
  EXPECT_EQ(QColor(picture.image().pixel(35, 5)), QColor(Qt::blue));

  ASSERT_TRUE(picture.loadFromFile(write("Tallimoor32.jpg", "JPEG")));
  EXPECT_EQ(picture.image().size(), QSize(40, 30));
  const QColor left(picture.image().pixel(5, 15));
  EXPECT_GT(left.red(), 200);  // JPEG is lossy: nearly red
  EXPECT_LT(left.blue(), 60);

  // The contents decide, not the extension.
  ASSERT_TRUE(picture.loadFromFile(write("really_a_bitmap.jpg", "BMP")));
  EXPECT_EQ(picture.image().size(), QSize(40, 30));
}

TEST_F(PictureTest, AFileThatIsNoPictureLeavesItEmpty) {
  Picture picture(&form_, &form_, "Image1");
  ASSERT_TRUE(picture.loadFromFile(write("icon.bmp", "BMP")));

  EXPECT_FALSE(picture.loadFromFile(QString::fromStdString(dir_.file("missing.bmp"))));
  EXPECT_TRUE(picture.isEmpty());

  pdx::testing::writeFile(dir_.file("garbage.bmp"), std::string("BM this is not a bitmap at all \x01\x02\x03", 35));
  EXPECT_FALSE(picture.loadFromFile(QString::fromStdString(dir_.file("garbage.bmp"))));
  EXPECT_TRUE(picture.isEmpty());

  std::string noise(4096, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919u + 13u) & 0xFF);
  pdx::testing::writeFile(dir_.file("noise.jpg"), noise);
  EXPECT_FALSE(picture.loadFromFile(QString::fromStdString(dir_.file("noise.jpg"))));

  pdx::testing::writeFile(dir_.file("empty.jpg"), "");
  EXPECT_FALSE(picture.loadFromFile(QString::fromStdString(dir_.file("empty.jpg"))));

  // A bitmap cut short after its header.
  const std::string whole = pdx::testing::readFile(write("cut.bmp", "BMP").toStdString());
  pdx::testing::writeFile(dir_.file("cut.bmp"), whole.substr(0, 60));
  EXPECT_FALSE(picture.loadFromFile(QString::fromStdString(dir_.file("cut.bmp"))));
  // And a JPEG image cut in the middle of its data.
  const std::string jpeg = pdx::testing::readFile(write("cut.jpg", "JPEG").toStdString());
  pdx::testing::writeFile(dir_.file("cut.jpg"), jpeg.substr(0, jpeg.size() - 40));
  EXPECT_FALSE(picture.loadFromFile(QString::fromStdString(dir_.file("cut.jpg"))));
  pdx::testing::writeFile(dir_.file("whole.jpg"), jpeg);
  EXPECT_TRUE(picture.loadFromFile(QString::fromStdString(dir_.file("whole.jpg"))));

  EXPECT_FALSE(picture.loadFromFile(QString()));
  EXPECT_FALSE(picture.loadFromFile(QString::fromStdString(dir_.path())));  // a folder
  EXPECT_TRUE(picture.isEmpty());
  picture.resize(100, 100);
  picture.repaint();  // an empty picture paints nothing, and does not fail
}

TEST_F(PictureTest, DrawsAtItsSizeCentredOrStretched) {
  Picture picture(&form_, &form_, "Image1");
  EXPECT_TRUE(picture.imageRect().isEmpty());
  ASSERT_TRUE(picture.loadFromFile(write("icon.bmp", "BMP")));
  picture.resize(100, 80);
  EXPECT_EQ(picture.imageRect(), QRect(0, 0, 40, 30));
  picture.setCenter(true);
  EXPECT_EQ(picture.imageRect().size(), QSize(40, 30));
  EXPECT_EQ(picture.imageRect().center(), picture.rect().center());
  picture.setStretch(true);
  EXPECT_EQ(picture.imageRect(), QRect(0, 0, 100, 80));

  // What is painted is what imageRect says.
  QImage shot = picture.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(10, 40)), QColor(Qt::red));
  EXPECT_EQ(QColor(shot.pixel(90, 40)), QColor(Qt::blue));
}

}  // namespace
}  // namespace ui
