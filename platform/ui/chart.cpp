#include "ui/chart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QGraphicsScene>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPieSeries>
#include <QPrinter>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/dialogs.h"

namespace ui {

class Chart::View : public QChartView {
 public:
  using QChartView::QChartView;
};

namespace {

struct Picture {
  Chart::Type type;
  QString title;
  bool valueLabels;
  int columns;
  std::vector<QString> rowLabels;
  std::vector<std::vector<double>> values;  // [row][column]
  QStringList columnLabels;
};

// Qt Charts draws its texts as rich text; the chart's texts are data (a
// client's name, bucket names such as "<30 days") and never markup.
QString plain(const QString& text) { return text.toHtmlEscaped(); }

QString seriesName(const Picture& p, int column) {
  return column < p.columnLabels.size() ? plain(p.columnLabels[column]) : QString();
}

// An axis from `low` to `high` in round steps (1, 2, 2.5 or 5 times a power
// of ten), with about six of them: QValueAxis::applyNiceNumbers would take a
// whole step of 5,000 below zero for a credit balance of 250.
void niceAxis(QValueAxis& axis, double low, double high) {
  const double span = high - low;
  const double raw = span / 6;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power * 10;
  for (double m : {1.0, 2.0, 2.5, 5.0})
    if (raw <= m * power) {
      step = m * power;
      break;
    }
  const double from = std::floor(low / step) * step;
  const double to = std::ceil(high / step) * step;
  axis.setRange(from, to);
  axis.setTickCount(static_cast<int>(std::lround((to - from) / step)) + 1);
  axis.setLabelFormat(step >= 1 ? QStringLiteral("%.0f") : QStringLiteral("%.2f"));
}

// A new chart showing `p`; the caller owns it.
QChart* build(const Picture& p) {
  auto* chart = new QChart;
  chart->setAnimationOptions(QChart::NoAnimation);
  QStringList titleLines;
  for (const QString& line : p.title.split('\n')) titleLines << plain(line);
  chart->setTitle(titleLines.join(QStringLiteral("<br>")));
  QFont titleFont = chart->titleFont();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
  chart->setTitleFont(titleFont);
  const int rows = static_cast<int>(p.values.size());
  bool named = false;
  for (int c = 0; c < p.columns; ++c) named = named || !seriesName(p, c).isEmpty();
  chart->legend()->setVisible(p.type == Chart::Type::kPie || (p.columns > 1 && named));

  QStringList categories;
  // A category axis keeps one category per distinct name: a row without a
  // label gets its number, and a repeated label an invisible difference,
  // or bars would vanish.
  for (size_t r = 0; r < p.rowLabels.size(); ++r) {
    QString label = p.rowLabels[r].isEmpty() ? QString::number(r + 1) : plain(p.rowLabels[r]);
    while (categories.contains(label)) label += QChar(0x200B);
    categories << label;
  }
  double low = 0, high = 0;
  for (const auto& row : p.values)
    for (double v : row) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
  if (low == high) high = low + 5;  // an empty chart still has a scale

  switch (p.type) {
    case Chart::Type::kPie: {
      auto* series = new QPieSeries;
      for (int r = 0; r < rows; ++r) {
        // A slice cannot be negative: a credit balance shows as an empty slice.
        auto* slice = series->append(plain(p.rowLabels[size_t(r)]), std::max(0.0, p.values[size_t(r)][0]));
        slice->setLabelVisible(p.valueLabels);
      }
      chart->addSeries(series);
      break;
    }
    case Chart::Type::kLine: {
      auto* axisX = new QBarCategoryAxis;
      axisX->append(categories);
      auto* axisY = new QValueAxis;
      niceAxis(*axisY, low, high);
      chart->addAxis(axisX, Qt::AlignBottom);
      chart->addAxis(axisY, Qt::AlignLeft);
      for (int c = 0; c < p.columns; ++c) {
        auto* series = new QLineSeries;
        series->setName(seriesName(p, c));
        for (int r = 0; r < rows; ++r) series->append(r, p.values[size_t(r)][size_t(c)]);
        series->setPointLabelsVisible(p.valueLabels);
        series->setPointLabelsFormat(QStringLiteral("@yPoint"));
        chart->addSeries(series);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
      }
      break;
    }
    case Chart::Type::kBar:
    case Chart::Type::kHorizontalBar: {
      const bool horizontal = p.type == Chart::Type::kHorizontalBar;
      QAbstractBarSeries* series = horizontal ? static_cast<QAbstractBarSeries*>(new QHorizontalBarSeries)
                                              : static_cast<QAbstractBarSeries*>(new QBarSeries);
      for (int c = 0; c < p.columns; ++c) {
        auto* set = new QBarSet(seriesName(p, c));
        for (int r = 0; r < rows; ++r) set->append(p.values[size_t(r)][size_t(c)]);
        series->append(set);
      }
      chart->addSeries(series);
      auto* categoryAxis = new QBarCategoryAxis;
      categoryAxis->append(categories);
      auto* valueAxis = new QValueAxis;
      // Room beyond the longest bars for their value labels.
      niceAxis(*valueAxis, low * 1.1, high * 1.1);
      chart->addAxis(categoryAxis, horizontal ? Qt::AlignLeft : Qt::AlignBottom);
      chart->addAxis(valueAxis, horizontal ? Qt::AlignBottom : Qt::AlignLeft);
      series->attachAxis(categoryAxis);
      series->attachAxis(valueAxis);
      // Labels are laid out with the bars: set once the series has its axes.
      series->setLabelsFormat(QStringLiteral("@value"));
      series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
      series->setLabelsVisible(p.valueLabels);
      // The theme paints bar labels for inside the bar; outside they need
      // the colour of the axis texts.
      for (QBarSet* set : series->barSets()) set->setLabelColor(valueAxis->labelsColor());
      break;
    }
  }
  return chart;
}

}  // namespace

Chart::Chart(ComponentOwner* owner, QWidget* parent, const QString& name) : QWidget(parent), view_(new View(this)) {
  attach(owner, name);
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setFocusPolicy(Qt::NoFocus);
  auto* footnote = new QLabel(this);
  footnote->setObjectName(QStringLiteral("Footnote"));
  footnote->setAlignment(Qt::AlignCenter);
  footnote->setTextFormat(Qt::PlainText);
  footnote->hide();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_, 1);
  layout->addWidget(footnote);
  rebuild();
}

Chart::~Chart() = default;

void Chart::setChartType(Type type) {
  type_ = type;
  rebuild();
}

void Chart::setTitle(const QString& title) {
  title_ = title;
  rebuild();
}

void Chart::setFootnote(const QString& footnote) {
  footnote_ = footnote;
  auto* label = findChild<QLabel*>(QStringLiteral("Footnote"));
  label->setText(footnote);
  label->setVisible(!footnote.isEmpty());
}

void Chart::setValueLabels(bool on) {
  valueLabels_ = on;
  rebuild();
}

void Chart::setRowCount(int rows) {
  rows_.resize(static_cast<size_t>(std::max(0, rows)));
  for (Row& row : rows_) row.values.resize(static_cast<size_t>(columns_), 0.0);
  rebuild();
}

void Chart::setColumnCount(int columns) {
  columns_ = std::max(1, columns);
  for (Row& row : rows_) row.values.resize(static_cast<size_t>(columns_), 0.0);
  rebuild();
}

double Chart::value(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columns_) return 0;
  return rows_[size_t(row)].values[size_t(column)];
}

void Chart::setValue(int row, int column, double value) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columns_) return;
  // A value that is not a number would make the axes meaningless.
  rows_[size_t(row)].values[size_t(column)] = std::isfinite(value) ? value : 0.0;
  rebuild();
}

QString Chart::rowLabel(int row) const { return row >= 0 && row < rowCount() ? rows_[size_t(row)].label : QString(); }

void Chart::setRowLabel(int row, const QString& label) {
  if (row < 0 || row >= rowCount()) return;
  rows_[size_t(row)].label = label;
  rebuild();
}

QString Chart::columnLabel(int column) const {
  return column >= 0 && column < columnLabels_.size() ? columnLabels_[column] : QString();
}

void Chart::setColumnLabel(int column, const QString& label) {
  if (column < 0 || column >= columns_) return;
  while (columnLabels_.size() <= column) columnLabels_ << QString();
  columnLabels_[column] = label;
  rebuild();
}

namespace {

Picture describe(const Chart& c) {
  Picture p{c.chartType(), c.title(), c.valueLabels(), c.columnCount(), {}, {}, {}};
  for (int r = 0; r < c.rowCount(); ++r) {
    p.rowLabels.push_back(c.rowLabel(r));
    std::vector<double> values;
    for (int col = 0; col < c.columnCount(); ++col) values.push_back(c.value(r, col));
    p.values.push_back(std::move(values));
  }
  for (int col = 0; col < c.columnCount(); ++col) p.columnLabels << c.columnLabel(col);
  return p;
}

}  // namespace

void Chart::rebuild() {
  QChart* previous = view_->chart();
  view_->setChart(build(describe(*this)));
  delete previous;
}

void Chart::render(QPainter& painter, const QRectF& target) const {
  if (target.isEmpty()) return;
  // Laid out at a screen-like size, so that fonts keep their proportion to
  // the bars, then scaled into the target.
  const double width = 1000;
  const double height = width * target.height() / target.width();
  QFontMetricsF metrics(font());
  const double footnoteHeight = footnote_.isEmpty() ? 0 : metrics.height() * 2;
  QGraphicsScene scene;
  QChart* chart = build(describe(*this));
  scene.addItem(chart);  // the scene owns it
  chart->setGeometry(QRectF(0, 0, width, std::max(1.0, height - footnoteHeight)));
  if (!footnote_.isEmpty()) {
    auto* text = scene.addSimpleText(footnote_, font());
    text->setPos((width - text->boundingRect().width()) / 2, height - footnoteHeight + metrics.height() / 2);
  }
  scene.setSceneRect(0, 0, width, height);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  scene.render(&painter, target, scene.sceneRect(), Qt::KeepAspectRatio);
  painter.restore();
}

bool Chart::print(bool askPrinter, const QString& printerName) {
  PrintJob job;
  job.caption = title_.section('\n', 0, 0);
  job.printerName = printerName;
  job.fileName = job.caption;
  job.paint = [this](QPrinter* printer) {
    printer->setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(printer)) return false;
    render(painter, QRectF(painter.viewport()));
    return painter.end();
  };
  return dialogs().print(window(), job, askPrinter);
}

}  // namespace ui
