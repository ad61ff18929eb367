// A prepared report: its pages as lists of things to draw, in millimetres
// from the paper's top-left corner. Running the report fills it once;
// painting it (on a printer, a PDF writer, the preview) reads it as often as
// asked and never touches the data again.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLineF>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <utility>
#include <vector>

class QPainter;

namespace report {

// One line of text. `left` and `right` bound the box it is aligned in;
// `baseline` is where the letters sit.
struct TextRun {
  double left = 0, right = 0, baseline = 0;
  int font = 0;
  QColor color;
  Qt::Alignment alignment = Qt::AlignLeft;
  QString text;
  // The text is a page-number pattern: "%1" the page, "%2" the page count.
  bool pageNumbers = false;
};

struct Rule {
  QLineF line;
  double width = 0.25;
  QColor color;
};

// A filled rectangle (frames and outlines are rules).
struct Fill {
  QRectF rect;
  QColor color;
};

struct Image {
  QRectF rect;
  QImage image;
};

// What one page holds; painted backgrounds first, then pictures, rules and
// text on top.
struct Page {
  std::vector<Fill> fills;
  std::vector<Image> images;
  std::vector<Rule> rules;
  std::vector<TextRun> texts;
};

class Document {
 public:
  QPageSize pageSize;
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  std::vector<Page> pages;

  // The index of `font` in the document's font table (added when new).
  int fontIndex(const QFont& font);
  const QFont& font(int index) const { return fonts_[size_t(index)]; }

  // Paints page `index` (0-based) on a painter whose device has `dpi`
  // pixels per inch and whose origin is the paper's top-left corner.
  void paintPage(QPainter& painter, int index, double dpi) const;

 private:
  std::vector<QFont> fonts_;
};

// How text measures, in millimetres, the same for every device the report
// is painted on (at a fine resolution, where hinting plays no part).
class TextMeasure {
 public:
  TextMeasure();
  ~TextMeasure();
  double lineHeight(const QFont& font) const;
  double ascent(const QFont& font) const;
  double width(const QFont& font, const QString& text) const;
  // `text` broken into lines no wider than `width`: at its line breaks, then
  // between words, and inside a word too long for a line.
  QStringList wrap(const QFont& font, const QString& text, double width) const;

 private:
  // Metrics are dear to make: one per font, kept.
  const QFontMetricsF& metrics(const QFont& font) const;
  QImage device_;
  mutable std::vector<std::pair<QFont, QFontMetricsF>> metrics_;
};

}  // namespace report
