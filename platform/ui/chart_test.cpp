// The chart control: its grid of values and labels, its picture and its
// print, read back from the PDF the recorder keeps.
#include "ui/chart.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "pdf_test_util.h"
#include "test_util.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "widget_test_util.h"

namespace ui {
namespace {

class ChartTest : public ::testing::Test {
 protected:
  // The application comes first: the form is a widget.
  QApplication* app_ = testing::app();
  Form form_{"Tkq61_frm"};
};

TEST_F(ChartTest, KeepsItsGridAsRowsAndColumnsChange) {
  Chart chart(&form_, &form_, "VtChart1");
  EXPECT_EQ(form_.findComponent("VtChart1"), &chart);
  EXPECT_EQ(chart.rowCount(), 0);
  EXPECT_EQ(chart.columnCount(), 1);
  chart.setRowCount(5);
  for (int r = 0; r < 5; ++r) {
    chart.setValue(r, 0, 100.0 * (r + 1));
    chart.setRowLabel(r, QStringLiteral("Bucket %1").arg(r + 1));
  }
  EXPECT_EQ(chart.value(4), 500);
  EXPECT_EQ(chart.rowLabel(2), "Bucket 3");
  // Out of the grid: read as 0 and blank, and not set.
  chart.setValue(5, 0, 9);
  chart.setValue(0, 1, 9);
  EXPECT_EQ(chart.value(5), 0);
  EXPECT_EQ(chart.value(0, 1), 0);
  EXPECT_EQ(chart.rowLabel(-1), "");
  // A value that is no number would wreck the axes.
  chart.setValue(1, 0, std::nan(""));
  EXPECT_EQ(chart.value(1), 0);

  chart.setColumnCount(2);
  EXPECT_EQ(chart.value(4, 0), 500);
  EXPECT_EQ(chart.value(4, 1), 0);
  chart.setRowCount(3);
  EXPECT_EQ(chart.rowCount(), 3);
  EXPECT_EQ(chart.rowLabel(2), "Bucket 3");
  chart.setRowCount(4);
  EXPECT_EQ(chart.rowLabel(3), "");
  EXPECT_EQ(chart.value(3), 0);

  // Translation reaches the title through the caption.
  chart.setCaption("Âge des comptes");
  EXPECT_EQ(chart.title(), "Âge des comptes");
}

// The chart draws its bars: a chart with a large value draws more ink than
// one whose values are all zero, whatever its rows are called.
TEST_F(ChartTest, DrawsItsBars) {
  const auto ink = [](const Chart& chart) {
    QImage image(800, 500, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    chart.render(painter, QRectF(0, 0, 800, 500));
    painter.end();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) < 200) ++dark;
    return dark;
  };
  Chart chart(&form_, &form_, "VtChart1");
  chart.setRowCount(5);
  const int empty = ink(chart);
  chart.setValue(2, 0, 1000);
  EXPECT_GT(ink(chart), empty + 1000);
  chart.setValue(2, 0, -1000);  // a credit balance goes below the axis
  EXPECT_GT(ink(chart), empty + 1000);
  // Rows of one name are still rows of their own (a category axis merges
  // equal names, which would drop the third bar).
  for (int r = 0; r < 5; ++r) chart.setRowLabel(r, "Same");
  EXPECT_GT(ink(chart), empty + 1000);
  for (Chart::Type type : {Chart::Type::kHorizontalBar, Chart::Type::kLine, Chart::Type::kPie}) {
    chart.setChartType(type);
    EXPECT_GT(ink(chart), 0);
  }
}

// The printed chart is vector: its title, labels and footnote are text in
// the PDF.
TEST_F(ChartTest, PrintsThroughTheDialogsAsText) {
  pdx::testing::TempDir dir;
  RecordingDialogs recorder;
  recorder.pdfDirectory = QString::fromStdString(dir.path());
  ScopedDialogs scoped(&recorder);
  Chart chart(&form_, &form_, "VtChart2");
  chart.hide();  // the window prints through a hidden chart
  // The client's name and the bucket names are data: never markup.
  chart.setTitle("Aging of accounts\nHarbour <b>Supply</b> & Co");
  chart.setFootnote("As of 12/07/2026");
  chart.setRowCount(2);
  chart.setRowLabel(0, "Current: 1,250.00");
  chart.setRowLabel(1, "<90 days & more: 75.50");
  chart.setValue(0, 0, 1250);
  chart.setValue(1, 0, 75);
  ASSERT_TRUE(chart.print(true, "Office"));
  ASSERT_EQ(recorder.shown.size(), 1u);
  EXPECT_EQ(recorder.shown[0].what, "print");
  EXPECT_EQ(recorder.shown[0].caption, "Aging of accounts");
  EXPECT_EQ(recorder.shown[0].text, "Office");
  const QStringList pages = testing::pdfPages(recorder.shown[0].pdf);
  ASSERT_EQ(pages.size(), 1);
  for (const char* text : {"Aging of accounts", "Harbour <b>Supply</b> & Co", "Current: 1,250.00",
                           "<90 days & more: 75.50", "As of 12/07/2026"})
    EXPECT_TRUE(pages[0].contains(text)) << text << "\n" << pages[0].toStdString();
  const testing::PageWords words = testing::pdfWords(recorder.shown[0].pdf, 1);
  EXPECT_GT(words.width, words.height);  // landscape

  recorder.printResult = false;
  EXPECT_FALSE(chart.print(false));
}

}  // namespace
}  // namespace ui
