// Fields of a dataset: typed access to one column of the current record.
//
// A dataset makes a Field for every column of its table or query when it
// opens, plus the calculated fields declared before opening. Field objects
// live as long as the dataset and keep their properties (display format, edit
// mask, label) when it closes and reopens, so controls may keep pointers to
// them.
//
// Reading gives the value of the current record, or of the edit buffer in
// edit or insert state; a dataset on no record reads as blank (null). Setting
// is allowed in edit and insert state, and for calculated fields inside the
// dataset's calc-fields event.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "db/money.h"
#include "pdx/status.h"
#include "pdx/value.h"

namespace db {

class DataSet;

class Field {
 public:
  // How an amount is shown: the money field follows the display currency the
  // window selected (RegionalFormats::current(), which the window switches
  // when the party's currency changes); the plain currency field always shows
  // the process's own symbol, taken when the dataset opened.
  enum class CurrencyStyle { kNone, kMoneyField, kPlainCurrency };

  Field(DataSet* dataSet, std::string name, pdx::FieldType type, int size, bool calculated);
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  DataSet& dataSet() const { return *dataSet_; }
  const std::string& fieldName() const { return name_; }
  pdx::FieldType dataType() const { return type_; }
  int size() const { return size_; }
  bool calculated() const { return calculated_; }
  // Position in the dataset's field list.
  int index() const { return index_; }
  // Column of the underlying table or query, or -1 for a calculated field.
  int column() const { return column_; }
  bool isText() const;
  bool isNumeric() const;
  bool isDate() const { return type_ == pdx::FieldType::kDate; }

  // ---- properties
  std::string displayLabel;  // the column title; the field name when empty
  std::string displayFormat;  // date format ("DD/MM/YYYY") or number picture ("#,##0.00")
  std::string editMask;       // mask of the edit that keys the field ("!99/99/9999;1; ")
  int displayWidth = 0;       // characters; 0 = from the size
  bool required = false;
  bool readOnly = false;
  bool visible = true;
  CurrencyStyle currency = CurrencyStyle::kNone;

  const std::string& label() const { return displayLabel.empty() ? name_ : displayLabel; }

  // ---- reading
  const pdx::Value& value() const;
  bool isNull() const { return value().isNull(); }
  // Text as keyed: numbers in plain decimals, dates in the short date format,
  // logicals as "True"/"False", blank as "".
  std::string asString() const;
  // Blank and text that is no number read as 0; numbers are truncated.
  int64_t asInteger() const;
  double asFloat() const;
  // The amount rounded to 1/10,000 (zero for blank or out of range).
  Money asCurrency() const;
  bool asBoolean() const;
  std::optional<pdx::Date> asDate() const;
  // The text a control shows: the display format applied, amounts in the
  // currency style, blank as "".
  std::string displayText() const;

  // ---- writing (edit/insert state, or calculated fields while calculating)
  pdx::Status setValue(pdx::Value value);
  // Text converted to the field's type: numbers as plain decimals, dates in
  // the short date format, logicals as true/false/yes/no/oui/non/t/f/y/n/o.
  // Blank text (after trimming) clears the field. kInvalidValue otherwise.
  pdx::Status setAsString(const std::string& text);
  pdx::Status setAsInteger(int64_t value) { return setValue(pdx::Value::integer(value)); }
  pdx::Status setAsFloat(double value) { return setValue(pdx::Value::number(value)); }
  pdx::Status setAsCurrency(Money value) { return setValue(pdx::Value::number(value.toDouble())); }
  pdx::Status setAsBoolean(bool value) { return setValue(pdx::Value::logical(value)); }
  pdx::Status setAsDate(pdx::Date value) { return setValue(pdx::Value::date(value)); }
  pdx::Status clear() { return setValue(pdx::Value()); }

 private:
  friend class DataSet;
  DataSet* dataSet_;
  std::string name_;
  pdx::FieldType type_;
  int size_;
  bool calculated_;
  int index_ = -1;
  int column_ = -1;
};

}  // namespace db
