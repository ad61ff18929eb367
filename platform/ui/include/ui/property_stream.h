// Property streams: a component's persistent properties as bytes.
//
// A stream holds one object: the name of its class, the component's name and
// a list of named, typed values. A value may itself be an object (a font, a
// grid column) or a list of values, so a stream describes itself: a reader
// needs no schema to walk it, and a reader of an older or newer kind of the
// same class skips what it does not know.
//
// Byte layout (integers little-endian):
//
//   offset  size  what
//   0       4     magic "TPS1"
//   4       4     CRC-32 (IEEE) of the body
//   8       4     body length in bytes
//   12      n     body: one object
//
//   object   := string class, string name, u32 count, count × (string key, value)
//   value    := u8 type, then by type:
//                 0 false, 1 true          nothing more
//                 2 integer                i64
//                 3 number                 f64 (IEEE 754)
//                 4 text                   string
//                 5 bytes                  u32 length, the bytes
//                 6 list                   u32 count, count × value
//                 7 object                 object
//   string   := u32 length, UTF-8 bytes
//
// Reading trusts nothing: a stream that is cut, longer than its header says,
// fails its checksum, holds an unknown type, nests deeper than kMaxDepth, or
// claims more items or bytes than remain is refused whole with
// pdx::code::kFileCorrupt, and no part of it is returned.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "pdx/status.h"

namespace ui {

class PropertyObject;

class PropertyValue {
 public:
  enum class Type : uint8_t { kFalse = 0, kTrue = 1, kInteger = 2, kNumber = 3, kText = 4, kBytes = 5, kList = 6, kObject = 7 };

  PropertyValue() = default;
  static PropertyValue boolean(bool b);
  static PropertyValue integer(int64_t i);
  static PropertyValue number(double d);
  static PropertyValue text(QString s);
  static PropertyValue bytes(QByteArray b);
  static PropertyValue list(std::vector<PropertyValue> items);
  static PropertyValue object(PropertyObject o);

  Type type() const { return type_; }
  bool isBoolean() const { return type_ == Type::kFalse || type_ == Type::kTrue; }
  bool asBoolean() const { return type_ == Type::kTrue; }
  int64_t asInteger() const { return integer_; }
  double asNumber() const { return number_; }
  const QString& asText() const { return text_; }
  const QByteArray& asBytes() const { return bytes_; }
  const std::vector<PropertyValue>& asList() const { return list_; }
  // Null unless the value is an object.
  const PropertyObject* asObject() const { return object_.get(); }

  bool operator==(const PropertyValue& other) const;

 private:
  Type type_ = Type::kFalse;
  int64_t integer_ = 0;
  double number_ = 0;
  QString text_;
  QByteArray bytes_;
  std::vector<PropertyValue> list_;
  std::shared_ptr<const PropertyObject> object_;
};

class PropertyObject {
 public:
  PropertyObject() = default;
  PropertyObject(QString className, QString name) : className_(std::move(className)), name_(std::move(name)) {}

  const QString& className() const { return className_; }
  const QString& name() const { return name_; }
  const std::vector<std::pair<QString, PropertyValue>>& properties() const { return properties_; }

  // Appends a property (a key given twice: the last one counts on reading).
  void set(const QString& key, PropertyValue value);
  void set(const QString& key, bool b) { set(key, PropertyValue::boolean(b)); }
  void set(const QString& key, int i) { set(key, PropertyValue::integer(i)); }
  void set(const QString& key, const QString& s) { set(key, PropertyValue::text(s)); }

  // The value of `key`, or null.
  const PropertyValue* find(const QString& key) const;
  bool has(const QString& key) const { return find(key) != nullptr; }

  bool operator==(const PropertyObject& other) const;

 private:
  QString className_;
  QString name_;
  std::vector<std::pair<QString, PropertyValue>> properties_;
};

inline constexpr int kMaxPropertyDepth = 8;

QByteArray writePropertyStream(const PropertyObject& object);
// The object of a stream; kFileCorrupt when the stream is damaged.
pdx::Result<PropertyObject> readPropertyStream(const QByteArray& stream);

}  // namespace ui
