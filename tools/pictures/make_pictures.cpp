// Draws the pictures the program folder holds: the wallpaper
// (Tallimoor32.jpg) and the shortcut button's glyph (sysedit.bmp).
//
//   make-pictures FOLDER
//
// The wallpaper is tiled over the desktop from its top-left corner, never
// stretched, so it is a seamless tile: everything on it repeats with the
// tile's own period. The glyph is drawn without smoothing, so that its
// background, whose colour the button treats as transparent (the colour of
// the lower-left pixel), is one exact colour around a crisp outline.
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kTile = 256;

// A calm slate-blue linen: two weaves of fine threads and a slow swell, each
// a whole number of periods across the tile.
QImage wallpaper() {
  QImage tile(kTile, kTile, QImage::Format_RGB32);
  const double pi = 3.14159265358979323846;
  for (int y = 0; y < kTile; ++y)
    for (int x = 0; x < kTile; ++x) {
      const double u = 2 * pi * x / kTile, v = 2 * pi * y / kTile;
      const double threads = 0.5 * std::sin(64 * u) * std::sin(3 * v + 2 * u) + 0.5 * std::sin(64 * v) * std::sin(2 * u - v);
      const double swell = 0.6 * std::sin(u + 2 * v) + 0.4 * std::cos(2 * u - v);
      const double light = 3.0 * threads + 5.0 * swell;
      auto channel = [&](int base) { return std::clamp(static_cast<int>(std::lround(base + light)), 0, 255); };
      tile.setPixel(x, y, qRgb(channel(52), channel(86), channel(112)));
    }
  return tile;
}

// A form on a page: a window with a blue title bar and lines of entries.
QImage glyph() {
  const QColor background(0xf0, 0xf0, 0xf0);  // transparent on the button
  QImage icon(32, 32, QImage::Format_RGB32);
  icon.fill(background);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(3, 4, 26, 23), QColor(0x20, 0x30, 0x40));  // outline and shadow
  p.fillRect(QRect(4, 5, 24, 21), Qt::white);
  p.fillRect(QRect(4, 5, 24, 5), QColor(0x1f, 0x5f, 0x9f));   // title bar
  p.fillRect(QRect(23, 6, 3, 3), QColor(0xe8, 0xe8, 0xe8));
  for (int row = 0; row < 3; ++row) {
    const int y = 13 + 4 * row;
    p.fillRect(QRect(7, y, 6, 2), QColor(0x60, 0x60, 0x60));          // a label
    p.fillRect(QRect(15, y - 1, 10, 3), QColor(0x9f, 0xc7, 0xe8));    // its entry
  }
  p.fillRect(QRect(5, 27, 25, 1), QColor(0x90, 0x90, 0x90));  // shadow below
  p.fillRect(QRect(29, 6, 1, 22), QColor(0x90, 0x90, 0x90));  // and to the right
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-pictures FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const bool ok = wallpaper().save(folder + "/Tallimoor32.jpg", "JPG", 92) && glyph().save(folder + "/sysedit.bmp", "BMP");
  if (!ok) std::fprintf(stderr, "make-pictures: cannot write the pictures in %s\n", argv[1]);
  return ok ? 0 : 1;
}
