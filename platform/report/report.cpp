#include "report/report.h"

#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>

#include "document.h"
#include "expression.h"
#include "runner.h"
#include "ui/dialogs.h"

namespace report {

Report::Report(const QString& name, QObject* parent)
    : QObject(parent), pageSize_(QPageSize::Letter), scope_(std::make_unique<Scope>()) {
  setObjectName(name);
  // A printer's font: Arial where there is one, its metric twins elsewhere.
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(9);
}

Report::~Report() {
  // Bands go while the report can still take them off its lists (QObject
  // would delete them only after this object is half gone).
  const std::vector<Band*> bands = bands_;
  for (Band* b : bands) delete b;
}

QSizeF Report::paperSize() const {
  const QSizeF size = pageSize_.size(QPageSize::Millimeter);
  return orientation_ == QPageLayout::Landscape ? size.transposed() : size;
}

double Report::bandWidth() const { return paperSize().width() - margins_.left() - margins_.right(); }

void Report::addDataSet(db::DataSet* dataSet) {
  if (dataSet && std::find(extraDataSets_.begin(), extraDataSets_.end(), dataSet) == extraDataSets_.end())
    extraDataSets_.push_back(dataSet);
}

std::vector<db::DataSet*> Report::dataSets() const {
  std::vector<db::DataSet*> out;
  const auto add = [&](db::DataSet* d) {
    if (d && std::find(out.begin(), out.end(), d) == out.end()) out.push_back(d);
  };
  add(dataSet_);
  for (Band* b : bands_)
    if (auto* s = dynamic_cast<SubDetailBand*>(b)) add(s->dataSet());
  for (db::DataSet* d : extraDataSets_) add(d);
  return out;
}

Band* Report::makeBand(BandKind kind, const QString& name, double height) {
  auto* band = new Band(this, kind, name, height);
  bands_.push_back(band);
  return band;
}

Band* Report::addBand(BandKind kind, const QString& name, double height) {
  if (kind == BandKind::kSubDetail) return addSubDetail(name, height, nullptr);
  if (kind == BandKind::kGroupHeader) return addGroup(name, height, {});
  return makeBand(kind, name, height);
}

SubDetailBand* Report::addSubDetail(const QString& name, double height, db::DataSet* dataSet, Band* master) {
  auto* band = new SubDetailBand(this, name, height, dataSet, master);
  bands_.push_back(band);
  return band;
}

GroupBand* Report::addGroup(const QString& name, double height, const QString& expression, Band* master) {
  auto* band = new GroupBand(this, name, height, expression, master);
  bands_.push_back(band);
  return band;
}

void Report::forget(Band* band) {
  bands_.erase(std::remove(bands_.begin(), bands_.end(), band), bands_.end());
  for (Band* b : bands_) {
    if (auto* s = dynamic_cast<SubDetailBand*>(b)) {
      if (s->header_ == band) s->header_ = nullptr;
      if (s->footer_ == band) s->footer_ = nullptr;
      if (s->master_ == band) s->master_ = nullptr;
    }
    if (auto* g = dynamic_cast<GroupBand*>(b)) {
      if (g->footer_ == band) g->footer_ = nullptr;
      if (g->master_ == band) g->master_ = nullptr;
    }
    for (Printable* c : b->controls())
      if (auto* e = dynamic_cast<Expr*>(c); e && e->master() == band) e->setMaster(nullptr);
  }
}

Band* Report::detailBand() const {
  for (Band* b : bands_)
    if (b->kind() == BandKind::kDetail) return b;
  return nullptr;
}

std::vector<Printable*> Report::controls() const {
  std::vector<Printable*> out;
  for (Band* b : bands_) out.insert(out.end(), b->controls().begin(), b->controls().end());
  return out;
}

std::vector<MaskedText*> Report::maskedControls() const {
  std::vector<MaskedText*> out;
  for (Printable* c : controls())
    if (auto* m = dynamic_cast<MaskedText*>(c)) out.push_back(m);
  return out;
}

const Scope& Report::scope() const {
  scope_->dataSets = dataSets();
  scope_->pageNumber = pageNumber_;
  scope_->now = runTime_.isValid() ? runTime_ : QDateTime::currentDateTime();
  return *scope_;
}

int Report::pageCount() const { return document_ ? static_cast<int>(document_->pages.size()) : 0; }

pdx::Status Report::prepare() {
  runTime_ = QDateTime::currentDateTime();
  auto document = std::make_unique<Document>();
  document->pageSize = pageSize_;
  document->orientation = orientation_;
  document_.reset();
  pageTotal_ = 0;
  Runner runner(*this, *document);
  const pdx::Status status = runner.run();
  pageNumber_ = 0;
  if (!status.ok()) {
    pageTotal_ = 0;
    return status;
  }
  document_ = std::move(document);
  pageTotal_ = pageCount();
  return status;
}

pdx::Status Report::paint(QPagedPaintDevice& device, int from, int to) {
  const std::string name = objectName().toStdString();
  if (!document_) return {pdx::code::kInvalidParameter, "report " + name + " was not prepared"};
  const int count = pageCount();
  auto* printer = dynamic_cast<QPrinter*>(&device);
  if (printer) {
    // The report places everything from the paper's edge; its own margins
    // are part of the layout.
    printer->setFullPage(true);
    printer->setPageSize(pageSize_);
    printer->setPageOrientation(orientation_);
    if (from == 0 && to == 0 && printer->printRange() == QPrinter::PageRange) {
      from = printer->fromPage();
      to = printer->toPage();
    }
  } else {
    device.setPageLayout(QPageLayout(pageSize_, orientation_, QMarginsF(0, 0, 0, 0)));
  }
  from = std::max(1, from == 0 ? 1 : from);
  to = std::min(count, to == 0 ? count : to);
  QPainter painter;
  if (!painter.begin(&device))
    return {pdx::code::kWriteError, "report " + name + ": the printer or file could not be opened"};
  painter.setRenderHint(QPainter::Antialiasing);
  const double dpi = device.logicalDpiX();
  for (int page = from; page <= to; ++page) {
    if (page > from) device.newPage();
    pageNumber_ = page;
    document_->paintPage(painter, page - 1, dpi);
  }
  pageNumber_ = 0;
  if (!painter.end()) return {pdx::code::kWriteError, "report " + name + ": the pages could not be written"};
  return {};
}

pdx::Status Report::exportPdf(const QString& path) {
  PDX_RETURN_IF_ERROR(prepare());
  QPdfWriter writer(path);
  writer.setTitle(title_);
  writer.setCreator(QStringLiteral("Tallimoor"));
  writer.setResolution(1200);
  const pdx::Status status = paint(writer);
  if (!status.ok()) return {status.code(), status.message() + " (" + path.toStdString() + ")"};
  return status;
}

namespace {

ui::PrintJob jobOf(Report& report) {
  ui::PrintJob job;
  job.caption = report.title().isEmpty() ? report.objectName() : report.title();
  job.printerName = report.printerName;
  job.fileName = job.caption;
  job.paint = [&report](QPrinter* printer) { return report.paint(*printer).ok(); };
  return job;
}

}  // namespace

pdx::Status Report::preview(QWidget* parent) {
  PDX_RETURN_IF_ERROR(prepare());
  ui::dialogs().preview(parent, jobOf(*this));
  return {};
}

pdx::Status Report::print(QWidget* parent, bool askPrinter) {
  printed_ = false;
  PDX_RETURN_IF_ERROR(prepare());
  printed_ = ui::dialogs().print(parent, jobOf(*this), askPrinter);
  return {};
}

}  // namespace report
