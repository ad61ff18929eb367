#include "report/controls.h"

#include "db/data_set.h"
#include "db/field.h"
#include "db/formats.h"
#include "expression.h"
#include "report/band.h"
#include "report/report.h"

namespace report {

Printable::Printable(Band* band, const QString& name, const QRectF& geometry)
    : QObject(band), font(band->report().font), band_(band), geometry_(geometry) {
  attach(&band->report(), name);
}

Printable::~Printable() { band_->forget(this); }

Report& Printable::report() const { return band_->report(); }

Label::Label(Band* band, const QString& name, const QString& caption, const QRectF& geometry)
    : Printable(band, name, geometry), caption_(caption) {}

namespace {

// A mask is a date picture when it holds D, M or Y and no digit placeholder.
bool isDatePicture(const QString& mask) {
  bool letters = false;
  for (QChar c : mask) {
    const QChar u = c.toUpper();
    if (u == 'D' || u == 'M' || u == 'Y') letters = true;
    if (c == '0' || c == '#') return false;
  }
  return letters;
}

}  // namespace

QString MaskedText::masked(const pdx::Value& value, const QString& unmasked) const {
  if (mask_.isEmpty() || value.isNull()) return unmasked;
  if (const auto number = value.toDouble(); number && !isDatePicture(mask_))
    return QString::fromStdString(db::formatFloat(mask_.toStdString(), *number));
  pdx::Date date;
  if (value.kind() == pdx::Value::Kind::kDate) date = value.asDate();
  else if (value.kind() == pdx::Value::Kind::kTimestamp) date = value.asTimestamp().date();
  else return unmasked;
  if (!isDatePicture(mask_)) return unmasked;
  return QString::fromStdString(db::formatDate(date, mask_.toStdString()));
}

DBText::DBText(Band* band, const QString& name, db::DataSet* dataSet, const QString& fieldName, const QRectF& geometry)
    : MaskedText(band, name, geometry), dataSet_(dataSet), fieldName_(fieldName) {}

db::Field* DBText::field() const {
  if (!dataSet_ || !dataSet_->active()) return nullptr;
  return dataSet_->findField(fieldName_.toStdString());
}

QString DBText::printText() const {
  const db::Field* f = field();
  if (!f || f->isNull()) return {};
  return masked(f->value(), QString::fromStdString(f->displayText()));
}

Expr::Expr(Band* band, const QString& name, const QString& expression, const QRectF& geometry)
    : MaskedText(band, name, geometry) {
  setExpression(expression);
}

Expr::~Expr() = default;

void Expr::setExpression(const QString& expression) {
  source_ = expression;
  QString error;
  expression_ = Expression::parse(expression, &error);
  syntaxError_ = expression_ ? QString() : error;
}

QString Expr::syntaxError() const { return syntaxError_; }

ExprValue Expr::value() const {
  if (!expression_) return ExprValue::error(syntaxError_);
  return expression_->evaluate(report().scope());
}

QString Expr::printText() const {
  const ExprValue v = value();
  if (v.isError() || v.isNull()) return {};
  return masked(v.toValue(), plainText(v));
}

void Expr::reset() {
  if (expression_) expression_->reset();
}

void Expr::accumulate() {
  if (expression_) expression_->accumulate(report().scope());
}

bool Expr::hasAggregates() const { return expression_ && expression_->hasAggregates(); }

Memo::Memo(Band* band, const QString& name, const QRectF& geometry) : Printable(band, name, geometry) {
  wordWrap = true;
  autoStretch = true;
}

void Memo::setCaption(const QString& caption) {
  lines = QString(caption).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split('\n');
}

Shape::Shape(Band* band, const QString& name, Kind shapeKind, const QRectF& geometry)
    : Printable(band, name, geometry), kind(shapeKind) {}

SysData::SysData(Band* band, const QString& name, Kind dataKind, const QRectF& geometry)
    : Printable(band, name, geometry), kind(dataKind) {}

QString SysData::apply(const QString& value, const QString& pages) const {
  if (!pattern.contains(QStringLiteral("%1"))) return pattern + value;
  QString out = pattern;
  out.replace(QStringLiteral("%1"), value);
  out.replace(QStringLiteral("%2"), pages);
  return out;
}

QString SysData::printText() const {
  const Report& r = report();
  const QDate day = r.runTime().date();
  const QString date = QString::fromStdString(db::formatDate(
      pdx::Date::fromYmd(day.year(), day.month(), day.day()).value_or(pdx::Date{}),
      db::RegionalFormats::current().shortDateFormat));
  const QString time = r.runTime().time().toString(QStringLiteral("HH:mm"));
  switch (kind) {
    case Kind::kPageNumber: return apply(QString::number(r.pageNumber()), QString::number(r.pageTotal()));
    case Kind::kDate: return apply(date, {});
    case Kind::kTime: return apply(time, {});
    case Kind::kDateTime: return apply(date + ' ' + time, {});
    case Kind::kTitle: return apply(r.title(), {});
  }
  return {};
}

Picture::Picture(Band* band, const QString& name, const QRectF& geometry) : Printable(band, name, geometry) {}

}  // namespace report
