// Running a report: walking its datasets, firing its bands' events and
// laying the bands out on pages (the order is described in band.h).
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "document.h"
#include "pdx/status.h"
#include "report/report.h"

namespace report {

class Runner {
 public:
  Runner(Report& report, Document& document);
  // Fills the document. On failure the document is left as it stood.
  pdx::Status run();

 private:
  // A control as it will print, taken when its band prints: a band held
  // for the one after it prints as it was, whatever the events change
  // meanwhile.
  struct Laid {
    QRectF box;  // in the band, stretched
    QFont font;
    QColor color;
    Qt::Alignment alignment;
    Frame frame;
    QColor background;
    std::optional<Shape::Kind> shape;
    double penWidth = 0;
    QImage image;
    QStringList lines;
    bool pageNumbers = false;
  };
  // A band laid out and waiting to be placed with the next one.
  struct Held {
    std::vector<Laid> laid;
    double height;
    bool forceNewPage;
  };

  pdx::Status check() const;
  pdx::Status walk(Band* master, db::DataSet* dataSet);
  pdx::Status walkSubDetail(SubDetailBand& band);
  pdx::Status printRecordBands(Band* master);
  pdx::Status closeGroups(const std::vector<GroupBand*>& groups, size_t from);
  // Prints a band where it belongs. `pageBand` bands (headers and footers
  // of the page) never start a new page.
  pdx::Status printBand(Band& band, bool pageBand = false);
  // Places `next` and the bands held for it, on a new page when they do not
  // fit together; `band` lays `next` out again there (null: as it is).
  pdx::Status placeWithPending(Band* band, Held next);
  pdx::Status flushPending();
  pdx::Status startPage();
  pdx::Status finishPage();
  pdx::Status event(Band& band, const std::function<void()>& body);

  std::vector<Laid> layOut(Band& band, double& height) const;
  void place(const std::vector<Laid>& laid, double top, double bandHeight);
  void resetAfter(Band& band);
  Band* masterOf(const Expr& expr) const;

  Report& r_;
  Document& doc_;
  TextMeasure measure_;
  std::vector<Band*> bands_;
  std::map<Band*, std::vector<Expr*>> aggregates_;  // by master band
  std::vector<GroupBand*> openGroups_;             // outer first
  std::vector<Held> pending_;                      // bands kept with the next
  double y_ = 0;
  double contentTop_ = 0;  // under the page's headers: a band there never moves on
  double bottom_ = 0;      // above the page footers
  bool titlePrinted_ = false;
  bool pageOpen_ = false;
  bool inPageBands_ = false;
};

}  // namespace report
