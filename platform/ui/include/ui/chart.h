// The chart control: a table of values drawn as bars (or lines, or a pie),
// with a title and a footnote, that can print itself.
//
// The data is a grid: rows are the categories along the axis (each with a
// label), columns the series (each with a legend name); row and column
// indexes count from 0. Setting the row or column count keeps the values
// that still fit and starts new cells at 0. The picture follows every change.
//
// Printing goes through ui::dialogs().print (a recorder answers it in
// tests): one landscape page, the chart drawn as vector graphics so that its
// texts stay sharp and searchable in a PDF.
//
// Threads: the user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/component.h"

class QPainter;
class QRectF;

namespace ui {

class Chart : public QWidget, public Component {
 public:
  enum class Type { kBar, kHorizontalBar, kLine, kPie };

  Chart(ComponentOwner* owner, QWidget* parent, const QString& name);
  ~Chart() override;
  QObject* object() override { return this; }
  // The caption is the title, so that translation reaches it.
  QString caption() const override { return title(); }
  void setCaption(const QString& caption) override { setTitle(caption); }

  Type chartType() const { return type_; }
  void setChartType(Type type);
  // May hold line breaks.
  QString title() const { return title_; }
  void setTitle(const QString& title);
  // A line under the chart; empty for none.
  QString footnote() const { return footnote_; }
  void setFootnote(const QString& footnote);
  // Each bar shows its value above it.
  bool valueLabels() const { return valueLabels_; }
  void setValueLabels(bool on);

  int rowCount() const { return static_cast<int>(rows_.size()); }
  void setRowCount(int rows);
  int columnCount() const { return columns_; }
  void setColumnCount(int columns);
  // Cells outside the grid read 0 and are not set.
  double value(int row, int column = 0) const;
  void setValue(int row, int column, double value);
  QString rowLabel(int row) const;
  void setRowLabel(int row, const QString& label);
  QString columnLabel(int column) const;
  void setColumnLabel(int column, const QString& label);

  // Draws the chart into `target` (any size) on `painter`.
  void render(QPainter& painter, const QRectF& target) const;
  // Prints on `printerName` (empty: the default printer), the print dialog
  // first when askPrinter. False when cancelled or when printing failed.
  bool print(bool askPrinter, const QString& printerName = {});

 private:
  struct Row {
    QString label;
    std::vector<double> values;
  };
  class View;
  void rebuild();

  Type type_ = Type::kBar;
  QString title_, footnote_;
  bool valueLabels_ = true;
  int columns_ = 1;
  std::vector<Row> rows_;
  QStringList columnLabels_;
  View* view_;
};

}  // namespace ui
