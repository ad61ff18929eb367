// Draws the pictures the program folder holds: the wallpaper
// (Tallimoor32.jpg) and the shortcut button's glyph (sysedit.bmp).
//
//   make-pictures FOLDER
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-pictures FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);

  QImage wallpaper(960, 600, QImage::Format_RGB32);
  {
    QPainter p(&wallpaper);
    QLinearGradient sky(0, 0, 0, wallpaper.height());
    sky.setColorAt(0, QColor(0x1d, 0x3d, 0x5c));
    sky.setColorAt(1, QColor(0x6d, 0x9c, 0xc2));
    p.fillRect(wallpaper.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(255, 255, 255, 230));
    QFont title("Sans", 64, QFont::Bold);
    p.setFont(title);
    p.drawText(wallpaper.rect().adjusted(0, -60, 0, -60), Qt::AlignCenter, "Tallimoor");
    p.setFont(QFont("Sans", 20));
    p.drawText(wallpaper.rect().adjusted(0, 80, 0, 80), Qt::AlignCenter, "Comptabilité · Accounting");
  }
  QImage glyph(32, 32, QImage::Format_RGB32);
  {
    glyph.fill(QColor(0xf0, 0xf0, 0xf0));
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2d, 0x6d, 0xa3));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRect(4, 6, 24, 20), 3, 3);
    p.setBrush(Qt::white);
    p.drawRect(QRect(8, 10, 16, 3));
    p.drawRect(QRect(8, 16, 11, 3));
  }
  const bool ok = wallpaper.save(folder + "/Tallimoor32.jpg", "JPG", 85) && glyph.save(folder + "/sysedit.bmp", "BMP");
  if (!ok) std::fprintf(stderr, "make-pictures: cannot write the pictures in %s\n", argv[1]);
  return ok ? 0 : 1;
}
