#include "ui/property_stream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ui {

// ---------------------------------------------------------------- values

PropertyValue PropertyValue::boolean(bool b) {
  PropertyValue v;
  v.type_ = b ? Type::kTrue : Type::kFalse;
  return v;
}

PropertyValue PropertyValue::integer(int64_t i) {
  PropertyValue v;
  v.type_ = Type::kInteger;
  v.integer_ = i;
  return v;
}

PropertyValue PropertyValue::number(double d) {
  PropertyValue v;
  v.type_ = Type::kNumber;
  v.number_ = d;
  return v;
}

PropertyValue PropertyValue::text(QString s) {
  PropertyValue v;
  v.type_ = Type::kText;
  v.text_ = std::move(s);
  return v;
}

PropertyValue PropertyValue::bytes(QByteArray b) {
  PropertyValue v;
  v.type_ = Type::kBytes;
  v.bytes_ = std::move(b);
  return v;
}

PropertyValue PropertyValue::list(std::vector<PropertyValue> items) {
  PropertyValue v;
  v.type_ = Type::kList;
  v.list_ = std::move(items);
  return v;
}

PropertyValue PropertyValue::object(PropertyObject o) {
  PropertyValue v;
  v.type_ = Type::kObject;
  v.object_ = std::make_shared<const PropertyObject>(std::move(o));
  return v;
}

bool PropertyValue::operator==(const PropertyValue& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case Type::kFalse:
    case Type::kTrue: return true;
    case Type::kInteger: return integer_ == other.integer_;
    case Type::kNumber: return number_ == other.number_;
    case Type::kText: return text_ == other.text_;
    case Type::kBytes: return bytes_ == other.bytes_;
    case Type::kList: return list_ == other.list_;
    case Type::kObject: return *object_ == *other.object_;
  }
  return false;
}

void PropertyObject::set(const QString& key, PropertyValue value) { properties_.emplace_back(key, std::move(value)); }

const PropertyValue* PropertyObject::find(const QString& key) const {
  for (auto it = properties_.rbegin(); it != properties_.rend(); ++it)
    if (it->first == key) return &it->second;
  return nullptr;
}

bool PropertyObject::operator==(const PropertyObject& other) const {
  return className_ == other.className_ && name_ == other.name_ && properties_ == other.properties_;
}

// ---------------------------------------------------------------- bytes

namespace {

constexpr char kMagic[4] = {'T', 'P', 'S', '1'};
constexpr int kHeaderSize = 12;

uint32_t crc32(const char* data, size_t size) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = table[(c ^ static_cast<uint8_t>(data[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

class Writer {
 public:
  void u8(uint8_t v) { out_.append(static_cast<char>(v)); }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.append(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void u64(uint64_t v) {
    for (int i = 0; i < 8; ++i) out_.append(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void bytes(const QByteArray& b) {
    u32(static_cast<uint32_t>(b.size()));
    out_.append(b);
  }
  void string(const QString& s) { bytes(s.toUtf8()); }

  void value(const PropertyValue& v) {
    u8(static_cast<uint8_t>(v.type()));
    switch (v.type()) {
      case PropertyValue::Type::kFalse:
      case PropertyValue::Type::kTrue: break;
      case PropertyValue::Type::kInteger: u64(static_cast<uint64_t>(v.asInteger())); break;
      case PropertyValue::Type::kNumber: {
        uint64_t bits;
        const double d = v.asNumber();
        std::memcpy(&bits, &d, sizeof bits);
        u64(bits);
        break;
      }
      case PropertyValue::Type::kText: string(v.asText()); break;
      case PropertyValue::Type::kBytes: bytes(v.asBytes()); break;
      case PropertyValue::Type::kList:
        u32(static_cast<uint32_t>(v.asList().size()));
        for (const PropertyValue& item : v.asList()) value(item);
        break;
      case PropertyValue::Type::kObject: object(*v.asObject()); break;
    }
  }

  void object(const PropertyObject& o) {
    string(o.className());
    string(o.name());
    u32(static_cast<uint32_t>(o.properties().size()));
    for (const auto& [key, v] : o.properties()) {
      string(key);
      value(v);
    }
  }

  QByteArray take() { return std::move(out_); }

 private:
  QByteArray out_;
};

class Reader {
 public:
  Reader(const char* data, size_t size) : at_(data), end_(data + size) {}
  bool done() const { return at_ == end_; }

  bool u8(uint8_t& v) {
    if (left() < 1) return false;
    v = static_cast<uint8_t>(*at_++);
    return true;
  }
  bool u32(uint32_t& v) {
    if (left() < 4) return false;
    v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(at_[i]);
    at_ += 4;
    return true;
  }
  bool u64(uint64_t& v) {
    if (left() < 8) return false;
    v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(at_[i]);
    at_ += 8;
    return true;
  }
  bool bytes(QByteArray& b) {
    uint32_t n;
    if (!u32(n) || n > left()) return false;
    b = QByteArray(at_, static_cast<qsizetype>(n));
    at_ += n;
    return true;
  }
  bool string(QString& s) {
    QByteArray b;
    if (!bytes(b)) return false;
    s = QString::fromUtf8(b);
    return true;
  }

  bool value(PropertyValue& v, int depth) {
    uint8_t type;
    if (!u8(type)) return false;
    switch (static_cast<PropertyValue::Type>(type)) {
      case PropertyValue::Type::kFalse: v = PropertyValue::boolean(false); return true;
      case PropertyValue::Type::kTrue: v = PropertyValue::boolean(true); return true;
      case PropertyValue::Type::kInteger: {
        uint64_t bits;
        if (!u64(bits)) return false;
        v = PropertyValue::integer(static_cast<int64_t>(bits));
        return true;
      }
      case PropertyValue::Type::kNumber: {
        uint64_t bits;
        if (!u64(bits)) return false;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        v = PropertyValue::number(d);
        return true;
      }
      case PropertyValue::Type::kText: {
        QString s;
        if (!string(s)) return false;
        v = PropertyValue::text(std::move(s));
        return true;
      }
      case PropertyValue::Type::kBytes: {
        QByteArray b;
        if (!bytes(b)) return false;
        v = PropertyValue::bytes(std::move(b));
        return true;
      }
      case PropertyValue::Type::kList: {
        uint32_t count;
        // Every item takes at least its type byte.
        if (depth >= kMaxPropertyDepth || !u32(count) || count > left()) return false;
        std::vector<PropertyValue> items;
        items.reserve(std::min<uint32_t>(count, 1024));
        for (uint32_t i = 0; i < count; ++i) {
          PropertyValue item;
          if (!value(item, depth + 1)) return false;
          items.push_back(std::move(item));
        }
        v = PropertyValue::list(std::move(items));
        return true;
      }
      case PropertyValue::Type::kObject: {
        PropertyObject o;
        if (depth >= kMaxPropertyDepth || !object(o, depth + 1)) return false;
        v = PropertyValue::object(std::move(o));
        return true;
      }
    }
    return false;
  }

  bool object(PropertyObject& o, int depth) {
    QString className, name;
    uint32_t count;
    if (!string(className) || !string(name) || !u32(count)) return false;
    // Every property takes at least its key's length and a type byte.
    if (count > left() / 5) return false;
    o = PropertyObject(className, name);
    for (uint32_t i = 0; i < count; ++i) {
      QString key;
      PropertyValue v;
      if (!string(key) || !value(v, depth)) return false;
      o.set(key, std::move(v));
    }
    return true;
  }

 private:
  size_t left() const { return static_cast<size_t>(end_ - at_); }
  const char* at_;
  const char* end_;
};

pdx::Status damaged(const char* what) {
  return pdx::Status(pdx::code::kFileCorrupt, std::string("the property stream is damaged: ") + what);
}

}  // namespace

QByteArray writePropertyStream(const PropertyObject& object) {
  Writer body;
  body.object(object);
  const QByteArray bytes = body.take();
  Writer head;
  QByteArray out(kMagic, 4);
  head.u32(crc32(bytes.constData(), size_t(bytes.size())));
  head.u32(static_cast<uint32_t>(bytes.size()));
  out.append(head.take());
  out.append(bytes);
  return out;
}

pdx::Result<PropertyObject> readPropertyStream(const QByteArray& stream) {
  if (stream.size() < kHeaderSize || std::memcmp(stream.constData(), kMagic, 4) != 0)
    return damaged("it is not a property stream");
  Reader head(stream.constData() + 4, 8);
  uint32_t crc = 0, length = 0;
  (void)head.u32(crc);
  (void)head.u32(length);
  if (length != static_cast<uint64_t>(stream.size() - kHeaderSize)) return damaged("its length is wrong");
  const char* body = stream.constData() + kHeaderSize;
  if (crc32(body, length) != crc) return damaged("its checksum does not match");
  Reader reader(body, length);
  PropertyObject object;
  if (!reader.object(object, 0)) return damaged("a value runs past its end");
  if (!reader.done()) return damaged("bytes follow its object");
  return object;
}

}  // namespace ui
