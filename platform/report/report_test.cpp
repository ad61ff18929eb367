// Reports run over tables made for the case and rendered to PDF; what they
// printed is read back with pdftotext.
#include "report/report.h"

#include <gtest/gtest.h>

#include <QDir>

#include "db/formats.h"
#include "db/table.h"
#include "report_test_util.h"

namespace report {
namespace {

using db::testing::D;
using db::testing::N;
using db::testing::T;
using pdx::FieldType;
using testing::pdfPages;

class ReportTest : public db::testing::DataSetTest {
 protected:
  ReportTest() {
    ui::testing::app();
    db::RegionalFormats::current() = db::RegionalFormats();
  }

  // "items": Code, Name, Amount (money), Posted (date), keyed on Code.
  void makeItems(int count) {
    std::vector<std::vector<pdx::Value>> rows;
    for (int i = 1; i <= count; ++i)
      rows.push_back({T(QStringLiteral("C%1").arg(i, 4, 10, QChar('0')).toStdString().c_str()),
                      T(QStringLiteral("Item number %1").arg(i).toStdString().c_str()), N(i * 10.25),
                      D(2024, 1 + (i % 12), 1 + (i % 28))});
    makeTable("items",
              {{"Code", FieldType::kAlpha, 10}, {"Name", FieldType::kAlpha, 30}, {"Amount", FieldType::kMoney, 0},
               {"Posted", FieldType::kDate, 0}},
              "Code", rows);
    items_.setDatabaseName(dir_.path());
    items_.setTableName("items");
    items_.setName("items");
    ASSERT_OK(items_.open());
  }

  QString pdfPath(const QString& name) const { return QString::fromStdString(dir_.file(name.toStdString())); }

  // Renders `r` to a PDF and returns its pages' text.
  QStringList render(Report& r, const QString& name = QStringLiteral("out.pdf")) {
    const pdx::Status s = r.exportPdf(pdfPath(name));
    EXPECT_TRUE(s.ok()) << s.toString();
    return pdfPages(pdfPath(name));
  }

  db::Table items_;
};

// The first slice: a page header on every page and one detail band per
// record, every record printed once, in order, with none cut at a page end.
TEST_F(ReportTest, DetailBandPrintsEveryRecordUnderAHeaderOnEveryPage) {
  makeItems(120);
  Report r("ItemList");
  r.setDataSet(&items_);
  Band* header = r.addBand(BandKind::kPageHeader, "PageHeader", 15);
  header->addLabel("Title", "List of items", {0, 2, 80, 6});
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->addDBText("Code", &items_, "Code", {0, 0, 25, 5});
  detail->addDBText("Name", &items_, "Name", {30, 0, 60, 5});

  const QStringList pages = render(r);
  // Letter is 279.4 mm high: 259.4 mm between 10 mm margins, 15 mm of header,
  // so 40 records of 6 mm to a page.
  ASSERT_EQ(pages.size(), 3);
  EXPECT_EQ(r.pageCount(), 3);
  int expected = 1;
  for (const QString& page : pages) {
    EXPECT_TRUE(page.contains("List of items"));
    const QStringList lines = page.split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
      if (!line.contains("Item number")) continue;
      EXPECT_TRUE(line.contains(QStringLiteral("C%1").arg(expected, 4, 10, QChar('0')))) << line.toStdString();
      EXPECT_TRUE(line.trimmed().endsWith(QStringLiteral("Item number %1").arg(expected))) << line.toStdString();
      ++expected;
    }
  }
  EXPECT_EQ(expected, 121);
}

}  // namespace
}  // namespace report
