// Bands: the horizontal strips a report is printed in.
//
// A report (report.h) runs its bands in this order:
//
//   page header      at the top of every page (inside the top margin)
//   title            once, at the top of the first page, under the page header
//   column header    on every page, under the page header (and the title)
//   for each record of the report's dataset:
//     group headers  when the group's expression changes (outer groups first)
//     detail         once for the record
//     sub-details    in creation order, each over every record of its own
//                    dataset (usually a detail table following the master):
//                      its header, one band per record (and its own
//                      sub-details), its footer
//   group footers    before the next group starts and at the end (inner
//                    groups first)
//   summary          once, after the last record
//   page footer      at the bottom of every page
//
// A band that does not fit in what is left of the page starts a new page
// (page footer, page header, column header first). A band taller than a
// whole page is cut at the page's end rather than pushed on forever.
//
// Events. beforePrint runs just before the band would print, with the
// datasets on the record it prints; setting `print` false skips it (its
// space is not used, its expressions' sums are still kept). afterPrint runs
// after it, saying whether it printed. A handler may enable or disable
// controls, change captions and read fields; it must not move the datasets
// the report walks. An exception a handler throws stops the run, and
// Report::prepare reports it as an error.
//
// Bands are made by their report (Report::addBand and the like) and live as
// long as it. They are named components of the report, so a program can find
// them by name.
#pragma once

#include <QObject>
#include <QRectF>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "report/controls.h"
#include "ui/component.h"

namespace db {
class DataSet;
}

namespace report {

class Expression;
class Report;

enum class BandKind {
  kPageHeader,
  kTitle,
  kColumnHeader,
  kDetail,
  kSubDetail,
  kGroupHeader,
  kGroupFooter,
  kSummary,
  kPageFooter,
};

class Band : public QObject, public ui::Component {
 public:
  using BeforePrint = std::function<void(Band& band, bool& print)>;
  using AfterPrint = std::function<void(Band& band, bool printed)>;

  ~Band() override;
  QObject* object() override { return this; }
  // Bands have no text of their own.
  QString caption() const override { return {}; }
  void setCaption(const QString&) override {}

  BandKind kind() const { return kind_; }
  Report& report() const { return *report_; }

  // Height in millimetres (the least it takes; stretching controls may
  // make it taller).
  double height() const { return height_; }
  void setHeight(double millimetres) { height_ = millimetres; }
  // A disabled band prints nothing and runs no events.
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  // Starts a new page before the band, unless it would print at the top of
  // a fresh page anyway.
  bool forceNewPage = false;
  // Never ends a page alone: the band goes to the next page with the band
  // that prints after it when the two do not fit together (a heading with
  // its first line). On by default for group headers and the headers of
  // sub-detail bands.
  bool keepWithNext = false;

  BeforePrint beforePrint;
  AfterPrint afterPrint;

  // ---- controls, placed in millimetres from the band's top-left corner
  Label* addLabel(const QString& name, const QString& caption, const QRectF& geometry);
  DBText* addDBText(const QString& name, db::DataSet* dataSet, const QString& fieldName, const QRectF& geometry);
  Expr* addExpr(const QString& name, const QString& expression, const QRectF& geometry);
  Memo* addMemo(const QString& name, const QRectF& geometry);
  Shape* addShape(const QString& name, Shape::Kind kind, const QRectF& geometry);
  SysData* addSysData(const QString& name, SysData::Kind kind, const QRectF& geometry);
  Picture* addPicture(const QString& name, const QRectF& geometry);
  // The controls of this band, in creation order.
  const std::vector<Printable*>& controls() const { return controls_; }

 protected:
  Band(Report* report, BandKind kind, const QString& name, double height);

 private:
  friend class Report;
  friend class Printable;
  template <typename T, typename... Args>
  T* make(Args&&... args);
  void forget(Printable* control);

  Report* report_;
  BandKind kind_;
  double height_;
  bool enabled_ = true;
  std::vector<Printable*> controls_;
};

// A band printed once per record of its own dataset, for each record of its
// master band (the detail band or another sub-detail). The dataset usually
// follows the master's dataset through a master/detail link, so it shows the
// lines of the master's record; the report moves it from its first record to
// its last.
class SubDetailBand : public Band {
 public:
  db::DataSet* dataSet() const { return dataSet_; }
  void setDataSet(db::DataSet* dataSet) { dataSet_ = dataSet; }
  Band* master() const { return master_; }

  // Printed before the first and after the last record (the footer is the
  // place for the sums of the lines). Made by the first call; a later call
  // returns the band made then. Null until made.
  Band* addHeader(const QString& name, double height);
  Band* addFooter(const QString& name, double height);
  Band* header() const { return header_; }
  Band* footer() const { return footer_; }
  // With no records, the header and footer still print (an invoice with no
  // lines still shows its totals). Off, nothing prints.
  bool printIfEmpty = true;

 private:
  friend class Report;
  SubDetailBand(Report* report, const QString& name, double height, db::DataSet* dataSet, Band* master);
  db::DataSet* dataSet_;
  Band* master_;
  Band* header_ = nullptr;
  Band* footer_ = nullptr;
};

// A group header: printed when the value of its expression changes from
// one record of its master band's dataset to the next (and before the first
// record). Its footer prints when the group ends. The expression is read by
// the same rules as an Expr's, without aggregates ("Car_invoice").
class GroupBand : public Band {
 public:
  ~GroupBand() override;
  const QString& expression() const { return expression_; }
  void setExpression(const QString& expression);
  Band* master() const { return master_; }
  // The group footer: made by the first call, returned by later ones.
  Band* addFooter(const QString& name, double height);
  Band* footer() const { return footer_; }
  // Empty when the expression parses; else what is wrong with it.
  const QString& syntaxError() const { return syntaxError_; }
  // Prints the header again at the top of each page the group runs onto.
  bool reprintOnNewPage = false;

 private:
  friend class Report;
  friend class Runner;
  GroupBand(Report* report, const QString& name, double height, const QString& expression, Band* master);
  QString expression_;
  QString syntaxError_;
  Band* master_;
  Band* footer_ = nullptr;
  std::unique_ptr<Expression> key_;
};

}  // namespace report
