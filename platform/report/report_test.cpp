// Reports run over tables made for the case and rendered to PDF; what they
// printed is read back with pdftotext.
#include "report/report.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include "db/error.h"
#include "db/formats.h"
#include "db/table.h"
#include "report_test_util.h"
#include "ui/dialogs.h"

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
    makeAndOpen(items_, "items",
                {{"Code", FieldType::kAlpha, 10}, {"Name", FieldType::kAlpha, 30}, {"Amount", FieldType::kMoney, 0},
                 {"Posted", FieldType::kDate, 0}},
                "Code", rows);
  }

  // Makes table `name` (see makeTable) and opens `table` on it.
  void makeAndOpen(db::Table& table, const std::string& name, std::vector<pdx::FieldDef> fields,
                   const std::string& key, const std::vector<std::vector<pdx::Value>>& rows) {
    makeTable(name, std::move(fields), key, rows);
    table.setDatabaseName(dir_.path());
    table.setTableName(name);
    table.setName(name);
    ASSERT_OK(table.open());
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


// Masks shape amounts and dates; without one a field prints as it shows.
TEST_F(ReportTest, MasksWriteAmountsAndDates) {
  db::Table amounts;
  makeAndOpen(amounts, "amounts",
              {{"Line", FieldType::kLong, 0}, {"Amount", FieldType::kMoney, 0}, {"Day", FieldType::kDate, 0}}, "Line",
              {{db::testing::I(1), N(1234567.5), D(2024, 3, 9)},
               {db::testing::I(2), N(-42.125), D(2025, 12, 31)},
               {db::testing::I(3), N(0.004), pdx::Value()}});
  Report r("Masks");
  r.setDataSet(&amounts);
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->addDBText("Line", &amounts, "Line", {0, 0, 10, 5});
  detail->addDBText("Money", &amounts, "Amount", {15, 0, 40, 5})->setMask("$#,###,##0.00");
  detail->addDBText("Percent", &amounts, "Amount", {60, 0, 30, 5})->setMask("##0.00");
  detail->addDBText("Iso", &amounts, "Day", {95, 0, 30, 5})->setMask("YYYY-MM-DD");
  detail->addDBText("Plain", &amounts, "Day", {130, 0, 30, 5});
  detail->addExpr("Twice", "Amount * 2", {165, 0, 30, 5})->setMask("#,##0.00;(#,##0.00)");

  const QStringList pages = render(r);
  ASSERT_EQ(pages.size(), 1);
  const QStringList lines = pages[0].split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0].simplified(), "1 $1,234,567.50 1234567.50 2024-03-09 09/03/2024 2,469,135.00");
  EXPECT_EQ(lines[1].simplified(), "2 -$42.13 -42.13 2025-12-31 31/12/2025 (84.25)");
  // Rounded to nothing, the sign goes; a blank date prints nothing.
  EXPECT_EQ(lines[2].simplified(), "3 $0.00 0.00 0.01");
}

// One group per invoice: the lines as a sub-detail band following the
// invoice through a master/detail link, the sums in its footer, started
// again for each invoice, and a grand total over the whole report.
class InvoiceReportTest : public ReportTest {
 protected:
  void SetUp() override {
    makeAndOpen(invoices_, "invoices", {{"Invoice", FieldType::kAlpha, 10}, {"Client", FieldType::kAlpha, 30}},
                "Invoice",
                {{T("A-1"), T("Harbour Supply")}, {T("A-2"), T("Nordic Tile")}, {T("A-3"), T("Empty Order")}});
    invoices_.setName("Fahdr");
    std::vector<std::vector<pdx::Value>> lines;
    // ten lines of 0.10 (a binary sum would not be 1.00 exactly).
    for (int i = 1; i <= 10; ++i) lines.push_back({T("A-1"), db::testing::I(i), T("Nail"), N(0.1), N(0.01)});
    lines.push_back({T("A-2"), db::testing::I(1), T("Tile"), N(250), N(12.5)});
    lines.push_back({T("A-2"), db::testing::I(2), T("Grout"), N(19.99), N(1)});
    makeTable("lines",
              {{"Invoice", FieldType::kAlpha, 10}, {"Line", FieldType::kLong, 0}, {"Descr", FieldType::kAlpha, 20},
               {"Total", FieldType::kMoney, 0}, {"Tax", FieldType::kMoney, 0}},
              "Invoice;Line", lines);
    invoiceSource_.setDataSet(&invoices_);
    lines_.setDatabaseName(dir_.path());
    lines_.setTableName("lines");
    lines_.setName("Fadet");
    lines_.setMasterSource(&invoiceSource_);
    lines_.setMasterFields("Invoice");
    ASSERT_OK(lines_.setIndexFieldNames("Invoice"));
    ASSERT_OK(lines_.open());

    report_.setDataSet(&invoices_);
    Band* detail = report_.addBand(BandKind::kDetail, "QRBand2", 8);
    detail->addDBText("Invoice", &invoices_, "Invoice", {0, 0, 30, 5});
    detail->addDBText("Client", &invoices_, "Client", {40, 0, 60, 5});
    lineBand_ = report_.addSubDetail("QRSubDetail1", 5, &lines_);
    lineBand_->addDBText("Descr", &lines_, "Descr", {10, 0, 40, 5});
    lineBand_->addDBText("Total", &lines_, "Total", {60, 0, 30, 5})->setMask("#,##0.00");
    footer_ = lineBand_->addFooter("Group_footer", 8);
    footer_->addLabel("Caption", "Invoice total:", {10, 0, 40, 5});
    invoiceTotal_ = footer_->addExpr("Sum", "SUM(Fadet.Total + Fadet.Tax)", {60, 0, 30, 5});
    invoiceTotal_->setMask("$#,###,##0.00");
    invoiceTotal_->resetAfterPrint = true;
    lineCount_ = footer_->addExpr("Count", "COUNT", {100, 0, 20, 5});
    lineCount_->resetAfterPrint = true;
    Band* summary = report_.addBand(BandKind::kSummary, "Summary", 8);
    summary->addLabel("Grand", "All invoices:", {10, 0, 40, 5});
    Expr* grand = summary->addExpr("GrandSum", "SUM(Total)", {60, 0, 30, 5});
    grand->setMaster(lineBand_);
    grand->setMask("$#,###,##0.00");
  }

  db::Table invoices_, lines_;
  db::DataSource invoiceSource_;
  Report report_{"Thm35_qrfrm"};
  SubDetailBand* lineBand_ = nullptr;
  Band* footer_ = nullptr;
  Expr* invoiceTotal_ = nullptr;
  Expr* lineCount_ = nullptr;
};

TEST_F(InvoiceReportTest, FooterSumsEachInvoicesLinesExactly) {
  const QStringList pages = render(report_);
  ASSERT_EQ(pages.size(), 1);
  const QString text = pages[0];
  QStringList lines;
  for (const QString& l : text.split('\n', Qt::SkipEmptyParts)) lines << l.simplified();
  const QStringList expected = {
      "A-1 Harbour Supply",
      "Nail 0.10", "Nail 0.10", "Nail 0.10", "Nail 0.10", "Nail 0.10",
      "Nail 0.10", "Nail 0.10", "Nail 0.10", "Nail 0.10", "Nail 0.10",
      "Invoice total: $1.10 10",
      "A-2 Nordic Tile", "Tile 250.00", "Grout 19.99",
      "Invoice total: $283.49 2",
      // No lines: the footer still closes the invoice, with nothing counted.
      "A-3 Empty Order",
      "Invoice total: $0.00 0",
      "All invoices: $270.99",
  };
  EXPECT_EQ(lines, expected);
}

// A sum that fails (a field the lines lack) is an error value the footer's
// event can see, and skip the footer as the invoice reports do.
TEST_F(InvoiceReportTest, AFooterCanSkipItselfOnAFailedSum) {
  invoiceTotal_->setExpression("SUM(Fadet.Fadet_tax1)");
  QStringList why;
  footer_->beforePrint = [&](Band&, bool& print) {
    const ExprValue sum = invoiceTotal_->value();
    if (sum.isError()) why << sum.text();
    print = !sum.isError();
  };
  std::vector<bool> printed;
  footer_->afterPrint = [&](Band&, bool p) { printed.push_back(p); };
  const QStringList pages = render(report_);
  ASSERT_EQ(pages.size(), 1);
  EXPECT_EQ(why, (QStringList{"no field Fadet.Fadet_tax1", "no field Fadet.Fadet_tax1"}));
  // The invoice without lines summed nothing, and nothing failed.
  EXPECT_EQ(printed, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(pages[0].count("Invoice total:"), 1);
  EXPECT_TRUE(pages[0].contains("Grout"));
}

// The invoice form's line event: a comment line (no code) prints only its
// description; the columns come back for the next line.
TEST_F(InvoiceReportTest, EventsHideAndShowControlsLineByLine) {
  auto* total = dynamic_cast<DBText*>(report_.findComponent("Total"));
  ASSERT_TRUE(total);
  lineBand_->beforePrint = [&](Band&, bool&) {
    if (lines_.fieldByName("Descr").asString() == "Tile") total->setEnabled(false);
  };
  lineBand_->afterPrint = [&](Band&, bool) { total->setEnabled(true); };
  // Report-wide: skip the third invoice altogether.
  report_.detailBand()->beforePrint = [&](Band&, bool& print) {
    print = invoices_.fieldByName("Invoice").asString() != "A-3";
  };
  const QStringList pages = render(report_);
  ASSERT_EQ(pages.size(), 1);
  QStringList lines;
  for (const QString& l : pages[0].split('\n', Qt::SkipEmptyParts)) lines << l.simplified();
  EXPECT_TRUE(lines.contains("Tile"));
  EXPECT_TRUE(lines.contains("Grout 19.99"));
  EXPECT_FALSE(lines.contains("A-3 Empty Order"));
  // The sub-detail of a skipped record still runs: its footer is there.
  EXPECT_EQ(lines.count("Invoice total: $0.00 0"), 1);
}

// A table linked to the report's dataset follows it record by record even
// when no sub-detail band walks it: a control may print its fields.
TEST_F(InvoiceReportTest, LinkedTablesFollowTheWalk) {
  Report r("FirstLines");
  r.setDataSet(&invoices_);
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->addDBText("Invoice", &invoices_, "Invoice", {0, 0, 30, 5});
  detail->addDBText("FirstLine", &lines_, "Descr", {40, 0, 40, 5});
  const QStringList pages = render(r);
  ASSERT_EQ(pages.size(), 1);
  QStringList lines;
  for (const QString& l : pages[0].split('\n', Qt::SkipEmptyParts)) lines << l.simplified();
  EXPECT_EQ(lines, (QStringList{"A-1 Nail", "A-2 Tile", "A-3"}));
}

// The report puts its dataset back where it stood, and a second run gives
// the same pages (the sums started again).
TEST_F(InvoiceReportTest, RunsAgainAlikeAndLeavesTheDataWhereItStood) {
  ASSERT_OK(invoices_.next());
  ASSERT_EQ(invoices_.fieldByName("Invoice").asString(), "A-2");
  const QStringList first = render(report_, "first.pdf");
  EXPECT_EQ(invoices_.fieldByName("Invoice").asString(), "A-2");
  EXPECT_EQ(lines_.fieldByName("Descr").asString(), "Tile");
  const QStringList second = render(report_, "second.pdf");
  EXPECT_EQ(first, second);
}


// Margins and orientation place the text where the paper says: read back
// as word boxes, in points from the page's corner.
TEST_F(ReportTest, MarginsAndOrientationPlaceTheText) {
  makeItems(3);
  Report r("Landscape");
  r.setPageSize(QPageSize(QPageSize::A4));
  r.setOrientation(QPageLayout::Landscape);
  r.setMargins({25, 30, 15, 20});
  r.setDataSet(&items_);
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->addDBText("Code", &items_, "Code", {0, 0, 25, 5});
  Label* right = detail->addLabel("Edge", "edge", {0, 0, r.bandWidth(), 5});
  right->alignment = Qt::AlignRight;
  ASSERT_DOUBLE_EQ(r.bandWidth(), 297.0 - 25 - 15);
  ASSERT_OK(r.exportPdf(pdfPath("landscape.pdf")));

  const testing::PageWords page = testing::pdfWords(pdfPath("landscape.pdf"), 1);
  EXPECT_NEAR(page.width, 297 * testing::kPointsPerMm, 1);
  EXPECT_NEAR(page.height, 210 * testing::kPointsPerMm, 1);
  std::vector<testing::Word> codes, edges;
  for (const testing::Word& w : page.words) (w.text == "edge" ? edges : codes).push_back(w);
  ASSERT_EQ(codes.size(), 3u);
  ASSERT_EQ(edges.size(), 3u);
  EXPECT_NEAR(codes[0].x0, 25 * testing::kPointsPerMm, 1.5);
  // The first line's letters start just under the top margin.
  EXPECT_GT(codes[0].y0, 30 * testing::kPointsPerMm - 1);
  EXPECT_LT(codes[0].y0, 31 * testing::kPointsPerMm + 1);
  EXPECT_NEAR(codes[1].y0 - codes[0].y0, 6 * testing::kPointsPerMm, 0.5);
  // Right-aligned text ends at the right margin.
  EXPECT_NEAR(edges[0].x1, (297 - 15) * testing::kPointsPerMm, 1.5);
}

// Page numbers know the final count; the page footer sits at the bottom of
// every page, title and column header where they belong; French texts come
// out as they went in.
TEST_F(ReportTest, PageBandsAndPageNumbers) {
  makeItems(100);
  Report r("Numbers");
  r.setTitle("Inventaire à l'entrepôt");
  r.setDataSet(&items_);
  r.addBand(BandKind::kTitle, "Title", 10)->addSysData("TitleText", SysData::Kind::kTitle, {0, 0, 100, 6});
  r.addBand(BandKind::kColumnHeader, "Columns", 6)->addLabel("CodeHeading", "Code", {0, 0, 20, 5});
  Band* footer = r.addBand(BandKind::kPageFooter, "Footer", 8);
  SysData* number = footer->addSysData("PageNo", SysData::Kind::kPageNumber, {0, 2, 60, 5});
  number->pattern = "Page %1 de %2";
  SysData* printedOn = footer->addSysData("When", SysData::Kind::kDate, {100, 2, 60, 5});
  printedOn->pattern = "Imprimé le ";
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->addDBText("Code", &items_, "Code", {0, 0, 25, 5});

  const QStringList pages = render(r, "numbers.pdf");
  // 259.4 mm less 8 of footer and 6 of column header: 40 records on page 1
  // (less the 10 mm title: 39), 40 on the next.
  ASSERT_EQ(pages.size(), 3);
  const QString today = QString::fromStdString(db::formatDate(
      *pdx::Date::fromYmd(QDate::currentDate().year(), QDate::currentDate().month(), QDate::currentDate().day()),
      "DD/MM/YYYY"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(pages[i].contains(QStringLiteral("Page %1 de 3").arg(i + 1))) << i;
    EXPECT_TRUE(pages[i].contains("Imprimé le " + today)) << i;
    EXPECT_EQ(pages[i].count("Code"), 1) << i;
    EXPECT_EQ(pages[i].contains("Inventaire à l'entrepôt"), i == 0) << i;
  }
  EXPECT_TRUE(pages[0].contains("C0039"));
  EXPECT_FALSE(pages[0].contains("C0040"));
  EXPECT_TRUE(pages[1].contains("C0040"));
  for (int p = 1; p <= 3; ++p) {
    const testing::PageWords words = testing::pdfWords(pdfPath("numbers.pdf"), p);
    for (const testing::Word& w : words.words)
      if (w.text == "Page") {
        // 2 mm into the footer band, which ends at the bottom margin.
        EXPECT_NEAR(w.y0, (279.4 - 10 - 8 + 2) * testing::kPointsPerMm, 2) << p;
      }
  }
}

// A band that asks for a page of its own, and one taller than any page,
// each get their pages, and the run ends.
TEST_F(ReportTest, ForcedPagesAndBandsTallerThanAPageEnd) {
  makeItems(4);
  Report r("Tall");
  r.setDataSet(&items_);
  r.addBand(BandKind::kPageHeader, "Header", 10)->addLabel("Heading", "Heading", {0, 0, 40, 5});
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->forceNewPage = true;
  detail->addDBText("Code", &items_, "Code", {0, 0, 25, 5});
  QStringList pages = render(r, "forced.pdf");
  ASSERT_EQ(pages.size(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(pages[i].contains(QStringLiteral("C%1").arg(i + 1, 4, 10, QChar('0'))));

  detail->forceNewPage = false;
  detail->setHeight(400);
  detail->addLabel("Below", "never seen", {0, 390, 40, 5});
  pages = render(r, "tall.pdf");
  ASSERT_EQ(pages.size(), 4);
  for (const QString& page : pages) {
    EXPECT_TRUE(page.contains("Heading"));
    EXPECT_FALSE(page.contains("never seen"));
  }
}

// A memo stretches its band to show every line, and the next band starts
// under it.
TEST_F(ReportTest, StretchingMemoPushesWhatFollows) {
  makeItems(2);
  Report r("Comments");
  r.setDataSet(&items_);
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->addDBText("Code", &items_, "Code", {0, 0, 25, 5});
  Memo* comments = detail->addMemo("Comments", {30, 0, 40, 5});
  QStringList words;
  for (int i = 1; i <= 60; ++i) words << QStringLiteral("word%1").arg(i);
  comments->lines = {words.join(' '), "last line"};
  ASSERT_OK(r.exportPdf(pdfPath("memo.pdf")));
  const QString text = pdfPages(pdfPath("memo.pdf")).join("");
  for (const QString& w : words) EXPECT_TRUE(text.contains(w)) << w.toStdString();
  const testing::PageWords page = testing::pdfWords(pdfPath("memo.pdf"), 1);
  double lastMemoLine = 0, secondCode = 0;
  for (const testing::Word& w : page.words) {
    if (w.text == "last" && lastMemoLine == 0) lastMemoLine = w.y0;  // the first record's
    if (w.text == "C0002") secondCode = w.y0;
  }
  EXPECT_GT(lastMemoLine, 20 * testing::kPointsPerMm);  // many lines down
  EXPECT_GT(secondCode, lastMemoLine);
}

// A group band prints when its key changes, its footer when the group ends.
TEST_F(ReportTest, GroupsFollowTheirKey) {
  db::Table moves;
  makeAndOpen(moves, "moves",
              {{"Client", FieldType::kAlpha, 10}, {"Seq", FieldType::kLong, 0}, {"Amount", FieldType::kMoney, 0}},
              "Client;Seq",
              {{T("ACME"), db::testing::I(1), N(10)},
               {T("ACME"), db::testing::I(2), N(-2.5)},
               {T("BOLT"), db::testing::I(1), N(7)},
               {T("CRANE"), db::testing::I(1), N(1)},
               {T("CRANE"), db::testing::I(2), N(2)}});
  Report r("Grouped");
  r.setDataSet(&moves);
  GroupBand* group = r.addGroup("ByClient", 6, "Client");
  group->addExpr("Heading", "'Client ' + Client", {0, 0, 60, 5});
  Band* footer = group->addFooter("ClientFooter", 6);
  Expr* sum = footer->addExpr("ClientSum", "SUM(Amount)", {0, 0, 60, 5});
  sum->resetAfterPrint = true;
  sum->setMask("'Total '#,##0.00");
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  detail->addDBText("Seq", &moves, "Seq", {10, 0, 20, 5});
  ASSERT_TRUE(group->syntaxError().isEmpty());

  const QStringList pages = render(r);
  ASSERT_EQ(pages.size(), 1);
  QStringList lines;
  for (const QString& l : pages[0].split('\n', Qt::SkipEmptyParts)) lines << l.simplified();
  EXPECT_EQ(lines, (QStringList{"Client ACME", "1", "2", "Total 7.50", "Client BOLT", "1", "Total 7.00",
                                "Client CRANE", "1", "2", "Total 3.00"}));
}

// A group heading never ends a page alone: it goes over with its first
// line. Here the third heading would fill the last 10 mm of page 1.
TEST_F(ReportTest, GroupHeadingsGoOverWithTheirFirstLine) {
  makeItems(30);
  Report r("Kept");
  r.setDataSet(&items_);
  GroupBand* group = r.addGroup("ByTens", 10, "COPY(Code, 1, 4)");
  group->addExpr("Heading", "'Group ' + COPY(Code, 1, 4)", {0, 0, 60, 5});
  group->addFooter("Footer", 15)->addLabel("End", "end of group", {0, 0, 60, 5});
  r.addBand(BandKind::kDetail, "Detail", 10)->addDBText("Code", &items_, "Code", {10, 0, 25, 5});
  ASSERT_TRUE(group->keepWithNext);

  QStringList pages = render(r, "kept.pdf");
  ASSERT_EQ(pages.size(), 2);
  EXPECT_FALSE(pages[0].contains("Group C002"));
  EXPECT_TRUE(pages[1].trimmed().startsWith("Group C002"));

  group->keepWithNext = false;
  pages = render(r, "alone.pdf");
  ASSERT_EQ(pages.size(), 2);
  EXPECT_TRUE(pages[0].trimmed().endsWith("Group C002"));
}

// A heading marked so prints again at the top of each page its group runs
// onto; pictures print where they are put.
TEST_F(ReportTest, HeadingsRepeatOnNewPagesAndPicturesPrint) {
  makeItems(60);
  Report r("Repeated");
  r.setDataSet(&items_);
  GroupBand* group = r.addGroup("All", 10, "'all'");
  group->reprintOnNewPage = true;
  group->addLabel("Heading", "Every item", {0, 0, 60, 5});
  Picture* logo = group->addPicture("Logo", {150, 0, 20, 8});
  logo->image = QImage(40, 16, QImage::Format_RGB32);
  logo->image.fill(Qt::darkBlue);
  r.addBand(BandKind::kDetail, "Detail", 6)->addDBText("Code", &items_, "Code", {10, 0, 25, 5});
  const QStringList pages = render(r, "repeated.pdf");
  ASSERT_EQ(pages.size(), 2);
  for (const QString& page : pages) EXPECT_TRUE(page.trimmed().startsWith("Every item"));
  EXPECT_TRUE(pages[1].contains("C0060"));

  QProcess images;
  images.start("pdfimages", {"-list", pdfPath("repeated.pdf")});
  ASSERT_TRUE(images.waitForFinished(60000));
  const QStringList rows = QString::fromUtf8(images.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(rows.size(), 2 + 2);  // two heading lines, one picture a page
}

// What stops a run is reported as an error and leaves no pages: a closed
// dataset, an expression that does not parse, a field no dataset has, a
// handler that throws.
TEST_F(ReportTest, FailuresAreErrorsAndLeaveNoPages) {
  makeItems(3);
  Report r("Failing");
  r.setDataSet(&items_);
  Band* detail = r.addBand(BandKind::kDetail, "Detail", 6);
  Expr* broken = detail->addExpr("Broken", "Amount *", {0, 0, 30, 5});
  pdx::Status s = r.prepare();
  EXPECT_EQ(s.code(), pdx::code::kInvalidParameter);
  EXPECT_EQ(s.message(), "report Failing, Broken: the expression 'Amount *' is wrong: a value expected at the end");
  EXPECT_EQ(r.pageCount(), 0);

  broken->setExpression("Amount * 2");
  DBText* misspelt = detail->addDBText("Misspelt", &items_, "Amout", {40, 0, 30, 5});
  s = r.prepare();
  EXPECT_EQ(s.code(), db::code::kFieldNotFound);
  EXPECT_EQ(s.message(), "report Failing, Misspelt: items has no field Amout");
  misspelt->setDataField("Amount");
  ASSERT_OK(r.prepare());
  EXPECT_EQ(r.pageCount(), 1);

  detail->beforePrint = [&](Band&, bool&) { items_.fieldByName("Missing"); };
  s = r.exportPdf(pdfPath("thrown.pdf"));
  EXPECT_EQ(s.code(), db::code::kFieldNotFound);
  EXPECT_TRUE(s.message().starts_with("report Failing, band Detail: ")) << s.message();
  EXPECT_EQ(r.pageCount(), 0);
  detail->beforePrint = nullptr;

  items_.close();
  s = r.prepare();
  EXPECT_EQ(s.code(), db::code::kDataSetClosed);
  EXPECT_EQ(r.pageCount(), 0);

  // A file that cannot be written.
  ASSERT_OK(items_.open());
  s = r.exportPdf(pdfPath("no/such/folder/out.pdf"));
  EXPECT_EQ(s.code(), pdx::code::kWriteError);
}

// The report's own events: before (which may cancel it) and after.
TEST_F(ReportTest, ReportEventsFrameTheRun) {
  makeItems(2);
  Report r("Events");
  r.setDataSet(&items_);
  r.addBand(BandKind::kDetail, "Detail", 6)->addDBText("Code", &items_, "Code", {0, 0, 25, 5});
  QStringList seen;
  r.beforePrint = [&](Report&, bool& print) {
    seen << "before";
    print = seen.size() > 1;
  };
  r.afterPrint = [&](Report& rr) { seen << QStringLiteral("after %1").arg(rr.pageTotal()); };
  ASSERT_OK(r.prepare());
  EXPECT_EQ(r.pageCount(), 0);
  ASSERT_OK(r.prepare());
  EXPECT_EQ(r.pageCount(), 1);
  EXPECT_EQ(seen, (QStringList{"before", "before", "after 1"}));
}

// Preview and print go through the dialogs service: the recorder paints
// what a user would see into a PDF, on the report's printer.
TEST_F(ReportTest, PreviewAndPrintGoThroughTheDialogs) {
  makeItems(50);
  Report r("Previewed");
  r.setTitle("Items by code");
  r.printerName = "Office";
  r.setDataSet(&items_);
  r.addBand(BandKind::kDetail, "Detail", 6)->addDBText("Code", &items_, "Code", {0, 0, 25, 5});
  ui::RecordingDialogs recorder;
  recorder.pdfDirectory = QString::fromStdString(dir_.path());
  ui::ScopedDialogs scoped(&recorder);
  ASSERT_OK(r.preview());
  ASSERT_OK(r.print(nullptr, true));
  EXPECT_TRUE(r.printed());
  ASSERT_EQ(recorder.shown.size(), 2u);
  EXPECT_EQ(recorder.shown[0].what, "preview");
  EXPECT_EQ(recorder.shown[0].caption, "Items by code");
  EXPECT_EQ(recorder.shown[1].what, "print");
  EXPECT_EQ(recorder.shown[1].text, "Office");
  for (const auto& shown : recorder.shown) {
    const QStringList pages = pdfPages(shown.pdf);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[1].contains("C0050"));
  }
  recorder.printResult = false;
  ASSERT_OK(r.print());
  EXPECT_FALSE(r.printed());
}

}  // namespace
}  // namespace report
