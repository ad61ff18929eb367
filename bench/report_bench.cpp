// Report benchmark: a statement-like report of many rows run and written to
// PDF by the report writer, beside the same rows read from the same table
// and drawn on the same kind of PDF with QPainter by hand, in one run.
//
//   report_bench [--rows N] [--runs N] [--keep DIR]
//
// The reference is the least any report of these rows costs: reading every
// row once and painting its texts. The report writer adds what makes it a
// report (bands, events, masks, sums, page breaks, page numbers, a prepared
// document the preview can show again). Prints the median of N runs of each
// side, the pages made and the ratio; the target is a ratio of at most 2.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "db/database.h"
#include "db/formats.h"
#include "db/table.h"
#include "report/report.h"

namespace {

constexpr double kTarget = 2.0;
const char* const kTool = "report_bench";

// A client's open items: invoice, reference, date, type, amount; keyed in
// statement order.
bool makeItems(const std::string& dir, int rows) {
  db::Table t;
  t.setDatabaseName(dir);
  t.setTableName("items");
  t.fieldDefs = {{"Invoice", pdx::FieldType::kAlpha, 10}, {"Ref", pdx::FieldType::kAlpha, 10},
                 {"Date", pdx::FieldType::kDate, 0},      {"Type", pdx::FieldType::kAlpha, 1},
                 {"Seq", pdx::FieldType::kLong, 0},       {"Amount", pdx::FieldType::kMoney, 0}};
  t.primaryIndexFields = "Invoice;Ref;Date;Type;Seq";
  if (!t.createTable().ok() || !t.open().ok()) return false;
  for (int i = 0; i < rows; ++i) {
    const int invoice = i / 3;
    const bool payment = i % 3 != 0;
    const auto date = pdx::Date::fromYmd(2020 + invoice % 6, 1 + invoice % 12, 1 + i % 28);
    char code[16];
    std::snprintf(code, sizeof code, "F%06d", invoice);
    if (!t.append().ok()) return false;
    t.fieldByName("Invoice").setAsString(code);
    std::snprintf(code, sizeof code, "R%07d", i);
    t.fieldByName("Ref").setAsString(code);
    t.fieldByName("Date").setAsDate(*date);
    t.fieldByName("Type").setAsString(payment ? "2" : "1");
    t.fieldByName("Seq").setAsInteger(i);
    t.fieldByName("Amount").setAsFloat(payment ? -12.34 * (i % 7) : 100.0 + (i % 97) * 3.21);
    if (!t.post().ok()) return false;
  }
  return true;
}

const double kColumns[] = {0, 30, 60, 90, 105, 150};  // millimetres

// The report writer: header, detail with masks, running sum, summary, page
// numbers.
double runReport(const std::string& dir, const QString& pdf, int& pages, double& prepareMs) {
  db::Table items;
  items.setDatabaseName(dir);
  items.setTableName("items");
  items.setName("items");
  items.readOnly = true;
  if (!items.open().ok()) return -1;
  QElapsedTimer clock;
  clock.start();
  report::Report r("Statement");
  r.setTitle("Client statement");
  r.setDataSet(&items);
  report::Band* header = r.addBand(report::BandKind::kPageHeader, "Header", 12);
  const char* titles[] = {"Invoice", "Reference", "Date", "Type", "Amount", "Balance"};
  for (int c = 0; c < 6; ++c) header->addLabel(QStringLiteral("H%1").arg(c), titles[c], {kColumns[c], 5, 28, 5});
  report::Band* detail = r.addBand(report::BandKind::kDetail, "Detail", 5);
  detail->addDBText("Invoice", &items, "Invoice", {kColumns[0], 0, 28, 5});
  detail->addDBText("Ref", &items, "Ref", {kColumns[1], 0, 28, 5});
  detail->addDBText("Date", &items, "Date", {kColumns[2], 0, 28, 5})->setMask("DD/MM/YYYY");
  detail->addDBText("Type", &items, "Type", {kColumns[3], 0, 10, 5});
  report::DBText* amount = detail->addDBText("Amount", &items, "Amount", {kColumns[4], 0, 40, 5});
  amount->setMask("$#,###,##0.00");
  amount->alignment = Qt::AlignRight;
  report::Expr* balance = detail->addExpr("Balance", "SUM(Amount)", {kColumns[5], 0, 40, 5});
  balance->setMask("$#,###,##0.00");
  balance->alignment = Qt::AlignRight;
  report::Band* summary = r.addBand(report::BandKind::kSummary, "Summary", 8);
  summary->addExpr("Total", "SUM(Amount)", {kColumns[5], 2, 40, 5})->setMask("$#,###,##0.00");
  report::Band* footer = r.addBand(report::BandKind::kPageFooter, "Footer", 8);
  footer->addSysData("Page", report::SysData::Kind::kPageNumber, {0, 2, 60, 5})->pattern = "Page %1 of %2";
  pdx::Status s = r.prepare();
  prepareMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  if (s.ok()) {
    QPdfWriter writer(pdf);
    writer.setResolution(1200);
    s = r.paint(writer);
  }
  const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  if (!s.ok()) {
    std::fprintf(stderr, "%s: %s\n", kTool, s.toString().c_str());
    return -1;
  }
  pages = r.pageCount();
  return ms;
}

// By hand: the same texts at the same places, in the same font, with a
// running balance and a page break where the report breaks.
double runDirect(const std::string& dir, const QString& pdf, int& pages) {
  db::Table items;
  items.setDatabaseName(dir);
  items.setTableName("items");
  items.readOnly = true;
  if (!items.open().ok()) return -1;
  QElapsedTimer clock;
  clock.start();
  QPdfWriter writer(pdf);
  writer.setResolution(1200);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()));
  QPainter painter;
  if (!painter.begin(&writer)) return -1;
  painter.setFont(QFont(QStringLiteral("Sans Serif"), 9));
  const double k = 1200 / 25.4;
  const double top = 10 + 12, bottom = 279.4 - 10 - 8, line = 5;
  double y = top;
  pages = 1;
  db::Money sum;
  const auto x = [&](int c) { return (10 + kColumns[c]) * k; };
  const auto right = [&](int c, double base, const QString& text) {
    painter.drawText(QPointF(x(c) + 40 * k - painter.fontMetrics().horizontalAdvance(text), base), text);
  };
  const auto headings = [&] {
    const char* titles[] = {"Invoice", "Reference", "Date", "Type", "Amount", "Balance"};
    for (int c = 0; c < 6; ++c) painter.drawText(QPointF(x(c), (15 + 3.5) * k), QString::fromLatin1(titles[c]));
  };
  headings();
  for (pdx::Status s = items.first(); s.ok() && !items.eof(); s = items.next()) {
    if (y + line > bottom) {
      writer.newPage();
      ++pages;
      y = top;
      headings();
    }
    const double base = (y + 3.5) * k;
    sum += items.fieldByName("Amount").asCurrency();
    painter.drawText(QPointF(x(0), base), QString::fromStdString(items.fieldByName("Invoice").asString()));
    painter.drawText(QPointF(x(1), base), QString::fromStdString(items.fieldByName("Ref").asString()));
    painter.drawText(QPointF(x(2), base), QString::fromStdString(db::formatDate(
                                              *items.fieldByName("Date").asDate(), "DD/MM/YYYY")));
    painter.drawText(QPointF(x(3), base), QString::fromStdString(items.fieldByName("Type").asString()));
    right(4, base, QString::fromStdString(db::formatFloat("$#,###,##0.00", items.fieldByName("Amount").asFloat())));
    right(5, base, QString::fromStdString(db::formatFloat("$#,###,##0.00", sum.toDouble())));
    y += line;
  }
  painter.end();
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  int64_t rows = 10000, runs = 3;
  std::string keep;
  bench::Arguments args(kTool, argc, argv);
  while (args.next()) {
    const std::string_view option = args.current();
    if (option == "--rows") {
      if (!args.count(1, 1'000'000, rows)) return 2;
    } else if (option == "--runs") {
      if (!args.count(1, 100, runs)) return 2;
    } else if (option == "--keep") {
      if (!args.folder(keep)) return 2;
    } else {
      std::fprintf(stderr, "usage: %s [--rows N] [--runs N] [--keep DIR]\n", kTool);
      return 2;
    }
  }
  db::Database::environment() = pdx::Env::unsynced();
  QTemporaryDir scratch;
  const std::string dir = keep.empty() ? scratch.path().toStdString() : keep;
  QDir().mkpath(QString::fromStdString(dir));
  if (!makeItems(dir, static_cast<int>(rows))) {
    std::fprintf(stderr, "%s: the table could not be made in %s\n", kTool, dir.c_str());
    return 1;
  }
  std::vector<double> reportMs, directMs, prepareMs;
  int reportPages = 0, directPages = 0;
  for (int64_t i = 0; i < runs; ++i) {
    const QString folder = QString::fromStdString(dir);
    const double d = runDirect(dir, folder + "/direct.pdf", directPages);
    double prepared = 0;
    const double r = runReport(dir, folder + "/report.pdf", reportPages, prepared);
    if (d < 0 || r < 0) return 1;
    prepareMs.push_back(prepared);
    directMs.push_back(d);
    reportMs.push_back(r);
  }
  const double report = median(reportMs), direct = median(directMs);
  std::printf("rows %lld, median of %lld runs\n", static_cast<long long>(rows), static_cast<long long>(runs));
  std::printf("  %-28s %10.1f ms  %5d pages\n", "by hand (QPainter)", direct, directPages);
  std::printf("  %-28s %10.1f ms  %5d pages (%.1f ms to run, the rest to paint)\n", "report writer", report,
              reportPages, median(prepareMs));
  const double ratio = report / direct;
  std::printf("  ratio %.2f (target at most %.1f): %s\n", ratio, kTarget, ratio <= kTarget ? "met" : "NOT MET");
  std::fflush(stdout);
  return 0;
}
