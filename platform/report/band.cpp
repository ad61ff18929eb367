#include "report/band.h"

#include <algorithm>

#include "expression.h"
#include "report/report.h"

namespace report {

Band::Band(Report* report, BandKind kind, const QString& name, double height)
    : QObject(report), report_(report), kind_(kind), height_(height) {
  attach(report, name);
}

Band::~Band() {
  // The controls are Qt children, which QObject would delete only after this
  // band is half gone: they go first, while they can still leave its list.
  const std::vector<Printable*> controls = controls_;
  for (Printable* c : controls) delete c;
  report_->forget(this);
}

template <typename T, typename... Args>
T* Band::make(Args&&... args) {
  T* control = new T(this, std::forward<Args>(args)...);
  controls_.push_back(control);
  return control;
}

void Band::forget(Printable* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

Label* Band::addLabel(const QString& name, const QString& caption, const QRectF& geometry) {
  return make<Label>(name, caption, geometry);
}

DBText* Band::addDBText(const QString& name, db::DataSet* dataSet, const QString& fieldName, const QRectF& geometry) {
  return make<DBText>(name, dataSet, fieldName, geometry);
}

Expr* Band::addExpr(const QString& name, const QString& expression, const QRectF& geometry) {
  return make<Expr>(name, expression, geometry);
}

Memo* Band::addMemo(const QString& name, const QRectF& geometry) { return make<Memo>(name, geometry); }

Shape* Band::addShape(const QString& name, Shape::Kind kind, const QRectF& geometry) {
  return make<Shape>(name, kind, geometry);
}

SysData* Band::addSysData(const QString& name, SysData::Kind kind, const QRectF& geometry) {
  return make<SysData>(name, kind, geometry);
}

Picture* Band::addPicture(const QString& name, const QRectF& geometry) { return make<Picture>(name, geometry); }

SubDetailBand::SubDetailBand(Report* report, const QString& name, double height, db::DataSet* dataSet, Band* master)
    : Band(report, BandKind::kSubDetail, name, height), dataSet_(dataSet), master_(master) {}

Band* SubDetailBand::addHeader(const QString& name, double height) {
  if (!header_) {
    header_ = report().makeBand(BandKind::kGroupHeader, name, height);
    header_->keepWithNext = true;
  }
  return header_;
}

Band* SubDetailBand::addFooter(const QString& name, double height) {
  if (!footer_) footer_ = report().makeBand(BandKind::kGroupFooter, name, height);
  return footer_;
}

GroupBand::GroupBand(Report* report, const QString& name, double height, const QString& expression, Band* master)
    : Band(report, BandKind::kGroupHeader, name, height), master_(master) {
  keepWithNext = true;
  setExpression(expression);
}

GroupBand::~GroupBand() = default;

void GroupBand::setExpression(const QString& expression) {
  expression_ = expression;
  key_ = Expression::parse(expression, &syntaxError_);
  if (key_ && key_->hasAggregates()) {
    key_.reset();
    syntaxError_ = QStringLiteral("a group expression cannot hold an aggregate");
  }
  if (key_) syntaxError_.clear();
}

Band* GroupBand::addFooter(const QString& name, double height) {
  if (!footer_) footer_ = report().makeBand(BandKind::kGroupFooter, name, height);
  return footer_;
}

}  // namespace report
