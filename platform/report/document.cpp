#include "document.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace report {

namespace {

constexpr double kMeasureDpi = 1200;
constexpr double kMmPerInch = 25.4;

}  // namespace

int Document::fontIndex(const QFont& font) {
  for (size_t i = 0; i < fonts_.size(); ++i)
    if (fonts_[i] == font) return static_cast<int>(i);
  fonts_.push_back(font);
  return static_cast<int>(fonts_.size() - 1);
}

void Document::paintPage(QPainter& painter, int index, double dpi) const {
  if (index < 0 || index >= static_cast<int>(pages.size())) return;
  const double k = dpi / kMmPerInch;  // pixels per millimetre
  const QString pageText = QString::number(index + 1);
  const QString countText = QString::number(pages.size());
  const Page& page = pages[size_t(index)];
  for (const Fill& f : page.fills) painter.fillRect(QRectF(f.rect.topLeft() * k, f.rect.size() * k), f.color);
  for (const Image& i : page.images) {
    const QSizeF size = QSizeF(i.image.size()).scaled(i.rect.size() * k, Qt::KeepAspectRatio);
    painter.drawImage(QRectF(i.rect.topLeft() * k, size), i.image);
  }
  for (const Rule& r : page.rules) {
    QPen pen(r.color);
    pen.setWidthF(std::max(1.0, r.width * k));
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    painter.drawLine(QLineF(r.line.p1() * k, r.line.p2() * k));
  }
  int currentFont = -1;
  QColor currentColor;
  for (const TextRun& t : page.texts) {
    // The PDF engine writes every state change: set only what changes.
    if (t.font != currentFont) {
      painter.setFont(fonts_[size_t(t.font)]);
      currentFont = t.font;
    }
    if (t.color != currentColor || painter.pen().style() != Qt::SolidLine) {
      painter.setPen(t.color);
      currentColor = t.color;
    }
    QString numbered;
    if (t.pageNumbers) {
      numbered = t.text;
      numbered.replace(QStringLiteral("%1"), pageText);
      numbered.replace(QStringLiteral("%2"), countText);
    }
    const QString& text = t.pageNumbers ? numbered : t.text;
    double x = t.left * k;
    if (t.alignment & (Qt::AlignRight | Qt::AlignHCenter)) {
      const double width = painter.fontMetrics().horizontalAdvance(text);
      x = t.alignment & Qt::AlignRight ? t.right * k - width : (t.left + t.right) * k / 2 - width / 2;
    }
    painter.drawText(QPointF(x, t.baseline * k), text);
  }
}

TextMeasure::TextMeasure() : device_(1, 1, QImage::Format_Mono) {
  const int dotsPerMetre = static_cast<int>(std::lround(kMeasureDpi / 0.0254));
  device_.setDotsPerMeterX(dotsPerMetre);
  device_.setDotsPerMeterY(dotsPerMetre);
}

TextMeasure::~TextMeasure() = default;

const QFontMetricsF& TextMeasure::metrics(const QFont& font) const {
  for (const auto& [f, m] : metrics_)
    if (f == font) return m;
  metrics_.emplace_back(font, QFontMetricsF(font, &device_));
  return metrics_.back().second;
}

double TextMeasure::lineHeight(const QFont& font) const {
  return metrics(font).lineSpacing() * kMmPerInch / kMeasureDpi;
}

double TextMeasure::ascent(const QFont& font) const { return metrics(font).ascent() * kMmPerInch / kMeasureDpi; }

double TextMeasure::width(const QFont& font, const QString& text) const {
  return metrics(font).horizontalAdvance(text) * kMmPerInch / kMeasureDpi;
}

QStringList TextMeasure::wrap(const QFont& font, const QString& text, double width) const {
  const QFontMetricsF& m = metrics(font);
  const double limit = width * kMeasureDpi / kMmPerInch;
  QStringList out;
  for (const QString& paragraph : QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split('\n')) {
    QString line;
    const QStringList words = paragraph.split(' ');
    for (int w = 0; w < words.size(); ++w) {
      QString word = words[w];
      const QString candidate = line.isEmpty() && w == 0 ? word : line + ' ' + word;
      if (m.horizontalAdvance(candidate) <= limit) {
        line = candidate;
        continue;
      }
      if (!line.isEmpty()) out << line;
      // A word wider than the line is cut where it must be.
      while (word.size() > 1 && m.horizontalAdvance(word) > limit) {
        qsizetype fit = 1;
        while (fit < word.size() && m.horizontalAdvance(word.left(fit + 1)) <= limit) ++fit;
        out << word.left(fit);
        word = word.mid(fit);
      }
      line = word;
    }
    out << line;
  }
  return out;
}

}  // namespace report
