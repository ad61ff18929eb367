// The text of PDFs the tests produce, read back by an independent tool
// (pdftotext, from poppler-utils).
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

namespace ui::testing {

// The text of each page of the PDF at `path` as pdftotext lays it out
// (columns kept apart by spaces); empty when the file is not a PDF.
inline QStringList pdfPages(const QString& path) {
  QProcess tool;
  tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"),
                                           path, QStringLiteral("-")});
  if (!tool.waitForFinished(60000) || tool.exitCode() != 0) return {};
  QStringList pages = QString::fromUtf8(tool.readAllStandardOutput()).split('\f');
  if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
  return pages;
}

// The words of page `page` (1-based) with their boxes in points from the
// page's top-left corner, and the page's size: "word x0 y0 x1 y1" per line,
// from pdftotext -bbox.
struct Word {
  QString text;
  double x0, y0, x1, y1;
};
struct PageWords {
  double width = 0, height = 0;
  std::vector<Word> words;
};
inline PageWords pdfWords(const QString& path, int page) {
  QProcess tool;
  tool.start(QStringLiteral("pdftotext"),
             {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
              QString::number(page), path, QStringLiteral("-")});
  PageWords out;
  if (!tool.waitForFinished(60000) || tool.exitCode() != 0) return out;
  const QString html = QString::fromUtf8(tool.readAllStandardOutput());
  const QRegularExpression pageSize(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\""));
  if (const auto m = pageSize.match(html); m.hasMatch()) {
    out.width = m.captured(1).toDouble();
    out.height = m.captured(2).toDouble();
  }
  const QRegularExpression word(QStringLiteral(
      "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
  for (auto it = word.globalMatch(html); it.hasNext();) {
    const auto m = it.next();
    out.words.push_back({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                         m.captured(4).toDouble()});
  }
  return out;
}

constexpr double kPointsPerMm = 72.0 / 25.4;

}  // namespace ui::testing
