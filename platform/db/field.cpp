#include "db/field.h"

#include <cmath>

#include "db/data_set.h"
#include "db/formats.h"
#include "value_text.h"

namespace db {

using pdx::FieldType;
using pdx::Value;

Field::Field(DataSet* dataSet, std::string name, FieldType type, int size, bool calculated)
    : dataSet_(dataSet), name_(std::move(name)), type_(type), size_(size), calculated_(calculated) {}

bool Field::isText() const {
  return type_ == FieldType::kAlpha || type_ == FieldType::kMemo || type_ == FieldType::kFmtMemo;
}

bool Field::isNumeric() const {
  switch (type_) {
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoInc:
    case FieldType::kMoney:
    case FieldType::kNumber:
    case FieldType::kBcd: return true;
    default: return false;
  }
}

const Value& Field::value() const {
  static const Value blank;
  const auto& row = dataSet_->currentValues();
  if (index_ < 0 || static_cast<size_t>(index_) >= row.size()) return blank;
  return row[size_t(index_)];
}

std::string Field::asString() const { return plainText(value()); }

int64_t Field::asInteger() const {
  const Value& v = value();
  if (v.kind() == Value::Kind::kInteger) return v.asInteger();
  if (v.kind() == Value::Kind::kLogical) return v.asLogical() ? 1 : 0;
  auto c = convertTo(v, FieldType::kNumber);
  if (!c.ok() || c->isNull()) return 0;
  const double d = c->asNumber();
  if (!std::isfinite(d) || std::fabs(d) > 9.2e18) return 0;
  return static_cast<int64_t>(d);
}

double Field::asFloat() const {
  auto c = convertTo(value(), FieldType::kNumber);
  if (!c.ok() || c->isNull()) return 0;
  return c->asNumber();
}

Money Field::asCurrency() const { return Money::fromDouble(asFloat()).value_or(Money()); }

bool Field::asBoolean() const {
  const Value& v = value();
  if (v.kind() == Value::Kind::kLogical) return v.asLogical();
  auto c = convertTo(v, FieldType::kLogical);
  return c.ok() && !c->isNull() && c->asLogical();
}

std::optional<pdx::Date> Field::asDate() const {
  const Value& v = value();
  if (v.kind() == Value::Kind::kDate) return v.asDate();
  if (v.kind() == Value::Kind::kTimestamp) return v.asTimestamp().date();
  return std::nullopt;
}

std::string Field::displayText() const {
  const Value& v = value();
  if (v.isNull()) return {};
  const RegionalFormats& formats = RegionalFormats::current();
  switch (v.kind()) {
    case Value::Kind::kDate:
      return formatDate(v.asDate(), displayFormat.empty() ? formats.shortDateFormat : displayFormat);
    case Value::Kind::kTimestamp:
      if (!displayFormat.empty()) return formatDate(v.asTimestamp().date(), displayFormat);
      return plainText(v);
    case Value::Kind::kNumber:
    case Value::Kind::kInteger:
    case Value::Kind::kDecimal: {
      const double d = asFloat();
      if (!displayFormat.empty()) return formatFloat(displayFormat, d, formats);
      if (currency != CurrencyStyle::kNone || type_ == FieldType::kMoney) return formatCurrency(d, formats);
      return plainText(v);
    }
    case Value::Kind::kBytes: return {};  // pictures and blobs have no text
    default: return plainText(v);
  }
}

pdx::Status Field::setValue(Value value) { return dataSet_->setField(*this, std::move(value)); }

pdx::Status Field::setAsString(const std::string& text) {
  if (isText()) return setValue(Value::text(text));
  if (trimmed(text).empty()) return setValue(Value());
  return setValue(Value::text(text));
}

}  // namespace db
