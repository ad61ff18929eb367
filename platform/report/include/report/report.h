// Banded reports: bands of controls run over datasets, laid out on pages,
// previewed, printed and saved as PDF.
//
// A program builds a Report (usually a class deriving from it, one per
// report form), gives it its dataset, adds bands (band.h) and controls on
// them (controls.h), hooks the bands' events, and then previews, prints or
// exports it:
//
//   report::Report r("Tkq61_qrfrm");
//   r.setDataSet(&arori);
//   report::Band* header = r.addBand(report::BandKind::kPageHeader, "PageHeader", 20);
//   header->addLabel("Title", "Sales and adjustments", {10, 5, 100, 8});
//   report::Band* detail = r.addBand(report::BandKind::kDetail, "QRBand2", 120);
//   detail->addDBText("Client", &arori, "Client", {10, 5, 30, 5});
//   detail->beforePrint = [&](report::Band&, bool& print) { ... };
//   r.preview(window);
//
// Running (prepare) walks the dataset once from its first record to its last,
// runs the events, and lays the bands out on pages; the pages are kept, so
// that the preview can show, print and save them as often as the user asks
// without running the events again. preview, print and exportPdf prepare the
// report first; prepare runs it again whenever it is called.
//
// Geometry is in millimetres on the paper: the margins are measured from the
// paper's edges, and bands fill the width between them.
//
// Data: the report only reads. It moves the datasets it walks (its own and
// the sub-details') and puts them back on the record they stood on;
// controls bound to them are not told of the moves meanwhile.
//
// Errors are pdx::Status values: a dataset that fails to move, an
// expression that does not parse, an event handler that throws, a PDF file
// that cannot be written. A report that failed has no pages.
//
// The report is a component owner: form translation (shared::TranslateForm)
// reaches its title (the owner's caption) and its labels' captions.
//
// Threads: the user-interface thread only.
#pragma once

#include <QDateTime>
#include <QFont>
#include <QMarginsF>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "pdx/status.h"
#include "report/band.h"
#include "report/controls.h"
#include "ui/component.h"

class QPagedPaintDevice;
class QWidget;

namespace db {
class DataSet;
}

namespace report {

class Document;
struct Scope;

class Report : public QObject, public ui::ComponentOwner {
 public:
  using BeforePrint = std::function<void(Report& report, bool& print)>;
  using AfterPrint = std::function<void(Report& report)>;

  explicit Report(const QString& name, QObject* parent = nullptr);
  ~Report() override;
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  QString ownerName() const override { return objectName(); }
  QString ownerCaption() const override { return title_; }
  void setOwnerCaption(const QString& caption) override { title_ = caption; }

  // The title: the preview's caption, the print job's name, SysData kTitle.
  const QString& title() const { return title_; }
  void setTitle(const QString& title) { title_ = title; }

  // ---- the paper (Letter, portrait, 10 mm margins unless set)
  QPageSize pageSize() const { return pageSize_; }
  void setPageSize(const QPageSize& size) { pageSize_ = size; }
  QPageLayout::Orientation orientation() const { return orientation_; }
  void setOrientation(QPageLayout::Orientation orientation) { orientation_ = orientation; }
  QMarginsF margins() const { return margins_; }
  void setMargins(const QMarginsF& millimetres) { margins_ = millimetres; }
  // The paper's size in millimetres, as oriented.
  QSizeF paperSize() const;
  // The width between the margins: what a band spans.
  double bandWidth() const;

  // The font new controls start with.
  QFont font;

  // ---- data
  // The dataset the detail band runs over; without one the detail band
  // prints once.
  db::DataSet* dataSet() const { return dataSet_; }
  void setDataSet(db::DataSet* dataSet) { dataSet_ = dataSet; }
  // Other datasets expressions may name (DataSet.Field); the report's own
  // and the sub-details' datasets are always included.
  void addDataSet(db::DataSet* dataSet);
  // Every dataset expressions can see, the report's own first.
  std::vector<db::DataSet*> dataSets() const;

  // ---- bands
  // A band of `kind`. A second page header, title, column header, detail,
  // summary or page footer replaces nothing: both print, in creation order.
  // Sub-detail and group bands are better made by the two calls below
  // (here they start without a dataset or an expression, which a run
  // refuses until they are given); group footers come from their group or
  // sub-detail (addFooter): one made here belongs to nothing and a run
  // refuses it.
  Band* addBand(BandKind kind, const QString& name, double height);
  // A sub-detail band over `dataSet`, printed for each record of `master`
  // (the detail band when null).
  SubDetailBand* addSubDetail(const QString& name, double height, db::DataSet* dataSet, Band* master = nullptr);
  // A group over the records of `master` (the detail band when null).
  // Groups made first are the outer ones.
  GroupBand* addGroup(const QString& name, double height, const QString& expression, Band* master = nullptr);
  // The bands in creation order.
  const std::vector<Band*>& bands() const { return bands_; }
  // The first detail band, or null.
  Band* detailBand() const;
  // The controls of every band, in creation order of the bands.
  std::vector<Printable*> controls() const;
  // The masked controls (DBText, Expr): what the currency routines rewrite.
  std::vector<MaskedText*> maskedControls() const;

  // ---- events
  // Before anything is laid out (reset accumulators, choose headings,
  // hide controls); print = false gives a report with no pages.
  BeforePrint beforePrint;
  // After the last band.
  AfterPrint afterPrint;

  // ---- running and output
  // Runs the report and keeps its pages.
  pdx::Status prepare();
  // The pages of the last successful prepare (0 before or after a failure).
  int pageCount() const;
  // The page being laid out while the report runs (1-based), or painted.
  int pageNumber() const { return pageNumber_; }
  // The pages laid out so far while running; the final count afterwards.
  int pageTotal() const { return pageTotal_; }
  // When the run started: what SysData dates and times print.
  const QDateTime& runTime() const { return runTime_; }

  // Paints the prepared pages on `device` (a printer, a PDF writer), setting
  // its page layout to the report's paper first. Pages `from` to `to`
  // (1-based, inclusive; 0 = from the first / to the last).
  pdx::Status paint(QPagedPaintDevice& device, int from = 0, int to = 0);
  // Prepares and writes the report to a PDF file at `path` (replaced).
  pdx::Status exportPdf(const QString& path);
  // Prepares and shows the report in the print preview (ui::dialogs()),
  // where the user pages through it, zooms, prints it and saves it as PDF.
  // An error of the run is returned before anything is shown.
  pdx::Status preview(QWidget* parent = nullptr);
  // Prepares and prints on the report's printer, the print dialog first when
  // `askPrinter`. kOk also when the user cancelled the dialog; printed()
  // says whether it printed.
  pdx::Status print(QWidget* parent = nullptr, bool askPrinter = false);
  bool printed() const { return printed_; }

  // The printer print() and the preview's Print button start on; empty for
  // the system's default printer.
  QString printerName;

 private:
  friend class Band;
  friend class Expr;
  friend class GroupBand;
  friend class Printable;
  friend class Runner;
  friend class SubDetailBand;
  Band* makeBand(BandKind kind, const QString& name, double height);
  void forget(Band* band);
  // What expressions see now.
  const Scope& scope() const;

  QString title_;
  QPageSize pageSize_;
  QPageLayout::Orientation orientation_ = QPageLayout::Portrait;
  QMarginsF margins_{10, 10, 10, 10};
  db::DataSet* dataSet_ = nullptr;
  std::vector<db::DataSet*> extraDataSets_;
  std::vector<Band*> bands_;
  std::unique_ptr<Document> document_;
  int pageNumber_ = 0;
  int pageTotal_ = 0;
  std::unique_ptr<Scope> scope_;
  QDateTime runTime_;
  bool printed_ = false;
};

}  // namespace report
