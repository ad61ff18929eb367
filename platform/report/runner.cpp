#include "runner.h"

#include <algorithm>
#include <cmath>

#include "db/data_set.h"
#include "db/data_source.h"
#include "db/error.h"
#include "db/table.h"
#include "expression.h"
#include "ui/field_link.h"

namespace report {

namespace {

std::string nameOf(const ui::Component& c) { return c.name().toStdString(); }

bool sameKey(const ExprValue& a, const ExprValue& b) {
  return a.kind() == b.kind() && plainText(a) == plainText(b) && a.text() == b.text();
}

}  // namespace

Runner::Runner(Report& report, Document& document) : r_(report), doc_(document), bands_(report.bands()) {}

Band* Runner::masterOf(const Expr& expr) const {
  if (expr.master()) return expr.master();
  const Band* home = &expr.band();
  for (Band* b : bands_) {
    if (auto* s = dynamic_cast<SubDetailBand*>(b); s && (s == home || s->header() == home || s->footer() == home))
      return s;
    if (auto* g = dynamic_cast<GroupBand*>(b); g && (g == home || g->footer() == home))
      return g->master() ? g->master() : r_.detailBand();
  }
  return r_.detailBand();
}

pdx::Status Runner::check() const {
  const std::string report = r_.objectName().toStdString();
  for (Band* b : bands_) {
    for (Printable* c : b->controls()) {
      if (auto* e = dynamic_cast<Expr*>(c); e && !e->syntaxError().isEmpty())
        return {pdx::code::kInvalidParameter, "report " + report + ", " + nameOf(*e) + ": the expression '" +
                                                  e->expression().toStdString() + "' is wrong: " +
                                                  e->syntaxError().toStdString()};
      // A misspelt field would print nothing, unnoticed; a closed dataset
      // is the program's choice (a control it does not use).
      if (auto* t = dynamic_cast<DBText*>(c); t && t->dataSet() && t->dataSet()->active() && !t->field())
        return {db::code::kFieldNotFound, "report " + report + ", " + nameOf(*t) + ": " + t->dataSet()->name() +
                                              " has no field " + t->dataField().toStdString()};
    }
    if (auto* g = dynamic_cast<GroupBand*>(b); g && !g->syntaxError().isEmpty())
      return {pdx::code::kInvalidParameter, "report " + report + ", group " + nameOf(*g) + ": the expression '" +
                                                g->expression().toStdString() + "' is wrong: " +
                                                g->syntaxError().toStdString()};
    if (auto* s = dynamic_cast<SubDetailBand*>(b); s && s->enabled()) {
      if (!s->dataSet())
        return {pdx::code::kInvalidParameter, "report " + report + ", " + nameOf(*s) + ": the band has no dataset"};
      if (!s->dataSet()->active())
        return {db::code::kDataSetClosed,
                "report " + report + ", " + nameOf(*s) + ": the dataset " + s->dataSet()->name() + " is closed"};
    }
    // Group headers and footers print only as part of a group or sub-detail.
    if (b->kind() == BandKind::kGroupHeader && !dynamic_cast<GroupBand*>(b)) {
      bool owned = false;
      for (Band* o : bands_)
        if (auto* s = dynamic_cast<SubDetailBand*>(o); s && s->header() == b) owned = true;
      if (!owned)
        return {pdx::code::kInvalidParameter, "report " + report + ", " + nameOf(*b) + ": a header of no group"};
    }
    if (b->kind() == BandKind::kGroupFooter) {
      bool owned = false;
      for (Band* o : bands_) {
        if (auto* s = dynamic_cast<SubDetailBand*>(o); s && s->footer() == b) owned = true;
        if (auto* g = dynamic_cast<GroupBand*>(o); g && g->footer() == b) owned = true;
      }
      if (!owned)
        return {pdx::code::kInvalidParameter, "report " + report + ", " + nameOf(*b) + ": a footer of no group"};
    }
  }
  if (r_.dataSet() && !r_.dataSet()->active())
    return {db::code::kDataSetClosed, "report " + report + ": the dataset " + r_.dataSet()->name() + " is closed"};
  return {};
}

pdx::Status Runner::run() {
  PDX_RETURN_IF_ERROR(check());
  for (Band* b : bands_)
    for (Printable* c : b->controls())
      if (auto* e = dynamic_cast<Expr*>(c)) {
        e->reset();
        if (e->hasAggregates()) aggregates_[masterOf(*e)].push_back(e);
      }

  bool print = true;
  PDX_RETURN_IF_ERROR(ui::guarded([&] {
    if (r_.beforePrint) r_.beforePrint(r_, print);
    return pdx::Status();
  }));
  if (!print) return {};

  PDX_RETURN_IF_ERROR(startPage());
  PDX_RETURN_IF_ERROR(walk(r_.detailBand(), r_.dataSet()));
  for (Band* b : bands_)
    if (b->kind() == BandKind::kSummary) PDX_RETURN_IF_ERROR(printBand(*b));
  PDX_RETURN_IF_ERROR(flushPending());
  PDX_RETURN_IF_ERROR(finishPage());

  return ui::guarded([&] {
    if (r_.afterPrint) r_.afterPrint(r_);
    return pdx::Status();
  });
}

// ---------------------------------------------------------------- records

namespace {

// The bands that hang on `master`: sub-details and groups whose master is
// it (or, unset, the detail band).
template <typename T>
std::vector<T*> hanging(const std::vector<Band*>& bands, Band* master, Band* detail) {
  std::vector<T*> out;
  for (Band* b : bands)
    if (auto* t = dynamic_cast<T*>(b); t && (t->master() ? t->master() : detail) == master) out.push_back(t);
  return out;
}

// Whether anything the report prints follows `dataSet` as it moves: a
// sub-detail band under `master`, or a table linked to it whose fields a
// control prints. Then the dataset must keep telling its links.
bool followed(const Report& report, db::DataSet* dataSet, Band* master) {
  if (!hanging<SubDetailBand>(report.bands(), master, report.detailBand()).empty()) return true;
  std::vector<db::DataSet*> shown = report.dataSets();
  for (Printable* c : report.controls())
    if (auto* text = dynamic_cast<DBText*>(c); text && text->dataSet()) shown.push_back(text->dataSet());
  for (db::DataSet* d : shown)
    if (auto* table = dynamic_cast<db::Table*>(d))
      if (table->masterSource() && table->masterSource()->dataSet() == dataSet) return true;
  return false;
}

}  // namespace

pdx::Status Runner::walk(Band* master, db::DataSet* dataSet) {
  Band* detail = r_.detailBand();
  const std::vector<GroupBand*> groups = hanging<GroupBand>(bands_, master, detail);
  const std::vector<Expr*>& sums = aggregates_[master];
  if (!dataSet) {
    // Without data the record bands print once.
    for (Expr* e : sums) e->accumulate();
    return printRecordBands(master);
  }

  // Bound controls need not follow the walk, unless detail datasets do.
  const bool quiet = !followed(r_, dataSet, master);
  const bool restore = dataSet == r_.dataSet();
  const db::Bookmark mark = dataSet->bookmark();
  if (quiet) dataSet->disableControls();
  std::vector<ExprValue> keys(groups.size(), ExprValue::null());
  bool first = true;
  pdx::Status status = dataSet->first();
  while (status.ok() && !dataSet->isEmpty() && !dataSet->eof()) {
    size_t changed = groups.size();
    for (size_t i = 0; i < groups.size(); ++i) {
      const ExprValue key = groups[i]->key_->evaluate(r_.scope());
      if ((first || !sameKey(key, keys[i])) && changed == groups.size()) changed = i;
      keys[i] = key;
    }
    if (!first) status = closeGroups(groups, changed);
    first = false;
    for (size_t i = changed; status.ok() && i < groups.size(); ++i) {
      openGroups_.push_back(groups[i]);
      status = printBand(*groups[i]);
    }
    if (!status.ok()) break;
    for (Expr* e : sums) e->accumulate();
    status = printRecordBands(master);
    if (status.ok()) status = dataSet->next();
  }
  if (status.ok() && !first) status = closeGroups(groups, 0);
  if (restore && mark.valid) {
    const pdx::Status back = dataSet->gotoBookmark(mark);
    if (status.ok() && !back.ok() && !back.is(pdx::code::kRecordNotFound)) status = back;
  }
  if (quiet) dataSet->enableControls();
  return status;
}

pdx::Status Runner::closeGroups(const std::vector<GroupBand*>& groups, size_t from) {
  for (size_t i = groups.size(); i-- > from;) {
    GroupBand* g = groups[i];
    if (Band* footer = g->footer()) PDX_RETURN_IF_ERROR(printBand(*footer));
    openGroups_.erase(std::remove(openGroups_.begin(), openGroups_.end(), g), openGroups_.end());
  }
  return {};
}

pdx::Status Runner::printRecordBands(Band* master) {
  if (!master) return {};
  if (master->kind() == BandKind::kDetail) {
    for (Band* b : bands_)
      if (b->kind() == BandKind::kDetail) PDX_RETURN_IF_ERROR(printBand(*b));
  } else {
    PDX_RETURN_IF_ERROR(printBand(*master));
  }
  for (SubDetailBand* s : hanging<SubDetailBand>(bands_, master, r_.detailBand()))
    PDX_RETURN_IF_ERROR(walkSubDetail(*s));
  return {};
}

pdx::Status Runner::walkSubDetail(SubDetailBand& band) {
  if (!band.enabled()) return {};
  db::DataSet* data = band.dataSet();
  PDX_RETURN_IF_ERROR(data->first());
  if (data->isEmpty() && !band.printIfEmpty) return {};
  if (Band* header = band.header()) PDX_RETURN_IF_ERROR(printBand(*header));
  PDX_RETURN_IF_ERROR(walk(&band, data));
  if (Band* footer = band.footer()) PDX_RETURN_IF_ERROR(printBand(*footer));
  return {};
}

// ---------------------------------------------------------------- pages

pdx::Status Runner::startPage() {
  r_.pageNumber_ = static_cast<int>(doc_.pages.size()) + 1;
  r_.pageTotal_ = r_.pageNumber_;
  doc_.pages.emplace_back();
  pageOpen_ = true;
  const QMarginsF m = r_.margins();
  const QSizeF paper = r_.paperSize();
  double footers = 0;
  for (Band* b : bands_)
    if (b->kind() == BandKind::kPageFooter && b->enabled()) footers += b->height();
  y_ = m.top();
  bottom_ = paper.height() - m.bottom() - footers;
  for (Band* b : bands_)
    if (b->kind() == BandKind::kPageHeader) PDX_RETURN_IF_ERROR(printBand(*b, true));
  if (!titlePrinted_) {
    titlePrinted_ = true;
    for (Band* b : bands_)
      if (b->kind() == BandKind::kTitle) PDX_RETURN_IF_ERROR(printBand(*b, true));
  }
  for (Band* b : bands_)
    if (b->kind() == BandKind::kColumnHeader) PDX_RETURN_IF_ERROR(printBand(*b, true));
  for (GroupBand* g : std::vector<GroupBand*>(openGroups_))
    if (g->reprintOnNewPage) PDX_RETURN_IF_ERROR(printBand(*g, true));
  contentTop_ = y_;
  return {};
}

pdx::Status Runner::finishPage() {
  if (!pageOpen_) return {};
  pageOpen_ = false;
  y_ = bottom_;
  for (Band* b : bands_)
    if (b->kind() == BandKind::kPageFooter) PDX_RETURN_IF_ERROR(printBand(*b, true));
  return {};
}

pdx::Status Runner::event(Band& band, const std::function<void()>& body) {
  const pdx::Status status = ui::guarded([&] {
    body();
    return pdx::Status();
  });
  if (status.ok()) return status;
  return {status.code(), "report " + r_.objectName().toStdString() + ", band " + nameOf(band) + ": " + status.message()};
}

void Runner::resetAfter(Band& band) {
  for (Printable* c : band.controls())
    if (auto* e = dynamic_cast<Expr*>(c); e && e->resetAfterPrint) e->reset();
}

pdx::Status Runner::printBand(Band& band, bool pageBand) {
  if (!band.enabled()) {
    resetAfter(band);
    return {};
  }
  bool print = true;
  PDX_RETURN_IF_ERROR(event(band, [&] {
    if (band.beforePrint) band.beforePrint(band, print);
  }));
  if (print) {
    double height = 0;
    std::vector<Laid> laid = layOut(band, height);
    if (pageBand) {
      const double limit = r_.paperSize().height() - r_.margins().bottom();
      place(laid, std::min(y_, limit), limit);
      y_ = std::min(y_ + height, limit);
    } else if (band.keepWithNext) {
      // Laid out now, placed with the band that follows.
      pending_.push_back({std::move(laid), height, band.forceNewPage});
    } else {
      PDX_RETURN_IF_ERROR(placeWithPending(&band, {std::move(laid), height, band.forceNewPage}));
    }
  }
  PDX_RETURN_IF_ERROR(event(band, [&] {
    if (band.afterPrint) band.afterPrint(band, print);
  }));
  resetAfter(band);
  return {};
}

pdx::Status Runner::flushPending() {
  if (pending_.empty()) return {};
  // Nothing followed the last held band: it goes with those before it.
  Held last = std::move(pending_.back());
  pending_.pop_back();
  return placeWithPending(nullptr, std::move(last));
}

pdx::Status Runner::placeWithPending(Band* band, Held next) {
  double total = next.height;
  bool forced = next.forceNewPage;
  for (const Held& h : pending_) {
    total += h.height;
    forced = forced || h.forceNewPage;
  }
  const bool moved = y_ > contentTop_ + 1e-9;
  if (moved && (forced || y_ + total > bottom_ + 1e-9)) {
    PDX_RETURN_IF_ERROR(finishPage());
    PDX_RETURN_IF_ERROR(startPage());
    // Page numbers and the like as of the new page (held bands keep theirs).
    if (band && pending_.empty()) next.laid = layOut(*band, next.height);
  }
  std::vector<Held> held;
  held.swap(pending_);
  held.push_back(std::move(next));
  for (const Held& h : held) {
    place(h.laid, std::min(y_, bottom_), bottom_);
    y_ = std::min(y_ + h.height, bottom_);
  }
  return {};
}

// ---------------------------------------------------------------- layout

std::vector<Runner::Laid> Runner::layOut(Band& band, double& height) const {
  std::vector<Laid> out;
  height = band.height();
  for (Printable* c : band.controls()) {
    if (!c->enabled()) continue;
    Laid l;
    l.box = c->geometry();
    l.font = c->font;
    l.color = c->color;
    l.alignment = c->alignment;
    l.frame = c->frame;
    l.background = c->background;
    if (auto* shape = dynamic_cast<Shape*>(c)) {
      l.shape = shape->kind;
      l.penWidth = shape->penWidth;
    } else if (auto* picture = dynamic_cast<Picture*>(c)) {
      l.image = picture->image;
    } else {
      QString text;
      auto* sys = dynamic_cast<SysData*>(c);
      l.pageNumbers = sys && sys->kind == SysData::Kind::kPageNumber;
      if (l.pageNumbers)
        text = sys->pattern.contains(QStringLiteral("%1")) ? sys->pattern : sys->pattern + QStringLiteral("%1");
      else
        text = c->printText();
      if (!text.isEmpty()) {
        l.lines = c->wordWrap ? measure_.wrap(c->font, text, l.box.width()) : text.split('\n');
        const double line = measure_.lineHeight(c->font);
        if (c->wordWrap && c->autoStretch) {
          l.box.setHeight(std::max(l.box.height(), line * static_cast<double>(l.lines.size())));
        } else {
          const auto fit = static_cast<qsizetype>(std::max(1.0, std::floor(l.box.height() / line + 1e-6)));
          if (l.lines.size() > fit) l.lines = l.lines.mid(0, fit);
        }
      }
    }
    height = std::max(height, l.box.bottom());
    out.push_back(std::move(l));
  }
  return out;
}

void Runner::place(const std::vector<Laid>& laid, double top, double limit) {
  Page& page = doc_.pages.back();
  const double left = r_.margins().left();
  for (const Laid& l : laid) {
    const QRectF box = l.box.translated(left, top);
    const QRectF clipped = box.intersected(QRectF(box.left(), box.top(), box.width(), std::max(0.0, limit - box.top())));
    if (l.background.isValid() && !clipped.isEmpty()) page.fills.push_back(Fill{clipped, l.background});
    if (l.shape) {
      switch (*l.shape) {
        case Shape::Kind::kHorizontalLine:
          if (box.center().y() <= limit)
            page.rules.push_back(
                Rule{QLineF(box.left(), box.center().y(), box.right(), box.center().y()), l.penWidth, l.color});
          break;
        case Shape::Kind::kVerticalLine:
          if (!clipped.isEmpty())
            page.rules.push_back(
                Rule{QLineF(box.center().x(), clipped.top(), box.center().x(), clipped.bottom()), l.penWidth, l.color});
          break;
        case Shape::Kind::kRectangle:
          if (!clipped.isEmpty()) {
            page.rules.push_back(Rule{QLineF(clipped.topLeft(), clipped.topRight()), l.penWidth, l.color});
            page.rules.push_back(Rule{QLineF(clipped.topRight(), clipped.bottomRight()), l.penWidth, l.color});
            page.rules.push_back(Rule{QLineF(clipped.bottomRight(), clipped.bottomLeft()), l.penWidth, l.color});
            page.rules.push_back(Rule{QLineF(clipped.bottomLeft(), clipped.topLeft()), l.penWidth, l.color});
          }
          break;
      }
    } else if (!l.image.isNull()) {
      if (box.bottom() <= limit + 1e-9) page.images.push_back(Image{box, l.image});
    } else if (!l.lines.isEmpty()) {
      const int font = doc_.fontIndex(l.font);
      const double line = measure_.lineHeight(l.font);
      const double ascent = measure_.ascent(l.font);
      for (qsizetype i = 0; i < l.lines.size(); ++i) {
        const double lineTop = box.top() + line * static_cast<double>(i);
        if (lineTop + line > limit + 1e-6 && i > 0) break;
        if (lineTop >= limit) break;
        page.texts.push_back(
            TextRun{box.left(), box.right(), lineTop + ascent, font, l.color, l.alignment, l.lines[i], l.pageNumbers});
      }
    }
    const Frame& f = l.frame;
    if (!clipped.isEmpty()) {
      if (f.top) page.rules.push_back(Rule{QLineF(clipped.topLeft(), clipped.topRight()), f.width, f.color});
      if (f.bottom) page.rules.push_back(Rule{QLineF(clipped.bottomLeft(), clipped.bottomRight()), f.width, f.color});
      if (f.left) page.rules.push_back(Rule{QLineF(clipped.topLeft(), clipped.bottomLeft()), f.width, f.color});
      if (f.right) page.rules.push_back(Rule{QLineF(clipped.topRight(), clipped.bottomRight()), f.width, f.color});
    }
  }
}

}  // namespace report
