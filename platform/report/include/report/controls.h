// The printable controls of a report: what a band puts on paper.
//
// Every control sits on one band (band.h), at a place given in millimetres
// from the band's top-left corner, and is a named component of the report
// (ui::Component), so that form translation reaches the captions of labels
// and a program can find a control by name or walk them by tag. A control is
// made by its band (Band::addLabel and the like) and lives as long as it.
//
// While the report runs, each control is asked for what it prints at the
// moment its band prints, from the records the datasets stand on then. A
// control that is not enabled prints nothing; a band's before-print event may
// turn controls off and its after-print event on again (a comment line that
// prints only its description).
//
// Threads: the user-interface thread only, like the datasets they read.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "db/money.h"
#include "pdx/value.h"
#include "ui/component.h"

namespace db {
class DataSet;
class Field;
}  // namespace db

namespace report {

class Band;
class Report;

// Which edges of a control's box are ruled, and how thick (millimetres).
struct Frame {
  bool top = false, bottom = false, left = false, right = false;
  double width = 0.25;
  QColor color = Qt::black;
  void setAll(bool on) { top = bottom = left = right = on; }
};

class Printable : public QObject, public ui::Component {
 public:
  ~Printable() override;
  QObject* object() override { return this; }

  Band& band() const { return *band_; }
  Report& report() const;

  // Place and size in millimetres, from the band's top-left corner.
  QRectF geometry() const { return geometry_; }
  void setGeometry(const QRectF& millimetres) { geometry_ = millimetres; }

  // A disabled control prints nothing (its space stays blank).
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }

  // Text look. The font starts as the report's font when the control is made.
  QFont font;
  QColor color = Qt::black;
  // Horizontal placement of the text in the box (left, right, centre); text
  // is set at the top of the box.
  Qt::Alignment alignment = Qt::AlignLeft;
  // Long text wraps at word boundaries within the box's width; without it
  // the text is one line and may run past the box.
  bool wordWrap = false;
  // With word wrap: the control grows downwards to show every line, and its
  // band grows with it (never beyond what one page holds).
  bool autoStretch = false;
  Frame frame;
  // Filled behind the text when valid.
  QColor background;

  // What the control prints now, as text (empty for shapes and pictures).
  virtual QString printText() const { return {}; }

 protected:
  Printable(Band* band, const QString& name, const QRectF& geometry);

 private:
  Band* band_;
  QRectF geometry_;
  bool enabled_ = true;
};

// A fixed caption; form translation replaces it.
class Label : public Printable {
 public:
  Label(Band* band, const QString& name, const QString& caption, const QRectF& geometry);
  QString caption() const override { return caption_; }
  void setCaption(const QString& caption) override { caption_ = caption; }
  QString printText() const override { return caption_; }

 private:
  QString caption_;
};

// What a masked control (DBText, Expr) shares: the mask its value is written
// with. A number goes through a number picture ("$#,###,##0.00", "##0.00":
// see db::formatFloat); a date through a date picture of D, M and Y
// ("DD/MM/YYYY", see db::formatDate). Without a mask a value prints as its
// field shows it (DBText) or in a plain form (Expr). The currency routines
// rewrite masks in place (ApplyReportCurrency).
class MaskedText : public Printable {
 public:
  const QString& mask() const { return mask_; }
  void setMask(const QString& mask) { mask_ = mask; }
  // Captions are data: translation leaves them alone.
  QString caption() const override { return {}; }
  void setCaption(const QString&) override {}

 protected:
  using Printable::Printable;
  // `value` written with the mask, or `unmasked` when there is no mask or
  // the mask does not suit the value's kind.
  QString masked(const pdx::Value& value, const QString& unmasked) const;

 private:
  QString mask_;
};

// The value of one field of the current record of a dataset. A closed
// dataset or a dataset on no record prints nothing; a field an open dataset
// does not have stops the run (Report::prepare fails), as a fault of the
// program.
class DBText : public MaskedText {
 public:
  DBText(Band* band, const QString& name, db::DataSet* dataSet, const QString& fieldName, const QRectF& geometry);
  db::DataSet* dataSet() const { return dataSet_; }
  void setDataSet(db::DataSet* dataSet) { dataSet_ = dataSet; }
  const QString& dataField() const { return fieldName_; }
  void setDataField(const QString& name) { fieldName_ = name; }
  // The field, or null (see above).
  db::Field* field() const;
  QString printText() const override;

 private:
  db::DataSet* dataSet_;
  QString fieldName_;
};

// The value of an expression.
class ExprValue {
 public:
  enum class Kind { kNull, kNumber, kText, kDate, kBoolean, kError };

  static ExprValue null() { return ExprValue(Kind::kNull); }
  static ExprValue number(double v);
  // An exact amount (sums of amounts are kept in fixed point).
  static ExprValue money(db::Money v);
  static ExprValue text(QString v);
  static ExprValue date(pdx::Date v);
  static ExprValue boolean(bool v);
  static ExprValue error(QString message);

  Kind kind() const { return kind_; }
  bool isNull() const { return kind_ == Kind::kNull; }
  bool isError() const { return kind_ == Kind::kError; }
  bool isNumber() const { return kind_ == Kind::kNumber; }
  // Numbers: the value (0 for null and other kinds).
  double toDouble() const;
  // Numbers rounded to 1/10,000 (exact for sums of amounts); nullopt for
  // other kinds and amounts out of range.
  std::optional<db::Money> toMoney() const;
  // Text: the text; error: the message.
  const QString& text() const { return text_; }
  pdx::Date date() const { return date_; }
  bool boolean() const { return boolean_; }
  // The value as a pdx::Value (numbers as numbers, errors as null).
  pdx::Value toValue() const;

 private:
  explicit ExprValue(Kind kind) : kind_(kind) {}
  Kind kind_;
  double number_ = 0;
  std::optional<db::Money> money_;
  QString text_;
  pdx::Date date_;
  bool boolean_ = false;
};

class Expression;

// An expression over the report's datasets, printed with a mask.
//
// The language:
//   literals      12  12.5  'text'  "text"  TRUE  FALSE
//   fields        Field_name  or  DataSet.Field_name (the dataset by its
//                 db::DataSet::name(), among the report's datasets: see
//                 Report::dataSets; a bare name is looked for in each in turn)
//   operators     + - * / (text + text joins), = <> < > <= >=, AND OR NOT,
//                 parentheses
//   aggregates    SUM(x) COUNT COUNT(x) MIN(x) MAX(x) AVERAGE(x): over the
//                 records of the master band's dataset seen since the last
//                 reset (COUNT(x) counts records where x is not blank)
//   functions     IF(c, a, b)  STR(x)  UPPER(s)  LOWER(s)  COPY(s, start, n)
//                 INT(x)  FRAC(x)  ABS(x)  ROUND(x, decimals)
//                 FORMATNUMERIC('#,##0.00', x)  DATE  TIME  PAGENUMBER
// Names are read without regard to case. Blank fields count as 0 in
// arithmetic and as '' in text. Sums of numbers are exact to 1/10,000.
//
// An expression that does not parse is a fault of the program: the report
// refuses to run (Report::prepare fails). One that fails while running (a
// field the dataset lacks, a closed dataset, a division by zero) has an error
// value, prints nothing and lets the program decide (value().isError()).
class Expr : public MaskedText {
 public:
  Expr(Band* band, const QString& name, const QString& expression, const QRectF& geometry);
  ~Expr() override;

  const QString& expression() const { return source_; }
  void setExpression(const QString& expression);
  // Empty when the expression parses; else what is wrong with it.
  QString syntaxError() const;
  // Whether it holds SUM, COUNT, MIN, MAX or AVERAGE.
  bool hasAggregates() const;

  // The band whose records the aggregates count: the detail band or a
  // sub-detail band; each record it goes through (printed or not) adds to
  // the sums. Unset, it is the sub-detail band whose footer or header holds
  // the control, the band a group band groups, or else the report's detail
  // band.
  Band* master() const { return master_; }
  void setMaster(Band* band) { master_ = band; }
  // The aggregates start again after the control's band has had its turn,
  // printed or not (a group footer's sums, per group). Off, they run over
  // the whole report.
  bool resetAfterPrint = false;

  // The value now: fields of the current records, aggregates so far.
  ExprValue value() const;
  QString printText() const override;
  // Sets the aggregates back to nothing counted.
  void reset();
  // Adds the current record of the master band's dataset to the aggregates.
  void accumulate();

 private:
  QString source_;
  QString syntaxError_;
  std::unique_ptr<Expression> expression_;
  Band* master_ = nullptr;
};

// Lines of text, filled by the program (a comments box) or by translation.
// Word wrap and stretching are on: every line prints.
class Memo : public Printable, public ui::ItemList {
 public:
  Memo(Band* band, const QString& name, const QRectF& geometry);
  QStringList lines;
  QString caption() const override { return lines.join('\n'); }
  void setCaption(const QString& caption) override;
  QStringList items() const override { return lines; }
  void setItems(const QStringList& items) override { lines = items; }
  QString printText() const override { return lines.join('\n'); }
};

// A rule or a box: a horizontal line along the box's vertical middle, a
// vertical line along its horizontal middle, or the box's outline (filled
// with `background` when valid).
class Shape : public Printable {
 public:
  enum class Kind { kHorizontalLine, kVerticalLine, kRectangle };
  Shape(Band* band, const QString& name, Kind kind, const QRectF& geometry);
  Kind kind;
  double penWidth = 0.25;  // millimetres
};

// What the system knows while printing, written through a pattern: "%1"
// stands for the value (the page number, the date, ...) and, for page
// numbers, "%2" for the number of pages: "Page %1 of %2". A pattern without
// "%1" is a prefix: "Date: " prints "Date: 07/12/2026". The pattern is the
// caption, so translation reaches it.
class SysData : public Printable {
 public:
  enum class Kind { kPageNumber, kDate, kTime, kDateTime, kTitle };
  SysData(Band* band, const QString& name, Kind kind, const QRectF& geometry);
  Kind kind;
  QString pattern;
  QString caption() const override { return pattern; }
  void setCaption(const QString& caption) override { pattern = caption; }
  // The text with the page number as the report stands now (while running:
  // the page being laid out and the pages so far; the printed pages show
  // the final count).
  QString printText() const override;
  // The pattern applied to a value and a page count.
  QString apply(const QString& value, const QString& pages) const;
};

// A picture scaled into the box, keeping its proportions.
class Picture : public Printable {
 public:
  Picture(Band* band, const QString& name, const QRectF& geometry);
  QImage image;
};

}  // namespace report
