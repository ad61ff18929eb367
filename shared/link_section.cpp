#include "shared/link_section.h"

#include <cstring>

#include "string_pool.h"

namespace shared {

namespace {

uint32_t& slotAt(TLinkSection& link, size_t offset) {
  return *reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(&link) + offset);
}

uint32_t slotAt(const TLinkSection& link, size_t offset) {
  uint32_t v;
  std::memcpy(&v, reinterpret_cast<const unsigned char*>(&link) + offset, sizeof v);
  return v;
}

}  // namespace

void retain(const TLinkSection& link) {
  for (size_t offset : kStringSlots) tallimoor_str_addref(slotAt(link, offset));
}

void release(TLinkSection& link) {
  for (size_t offset : kStringSlots) tallimoor_str_release(slotAt(link, offset));
  link = TLinkSection{};
}

QString text(uint32_t handle) {
  size_t length = 0;
  const char* data = tallimoor_str_data(handle, &length);
  return QString::fromUtf8(data, static_cast<qsizetype>(length));
}

uint32_t makeString(const QString& value) {
  const QByteArray utf8 = value.toUtf8();
  return tallimoor_str_new(utf8.constData(), static_cast<size_t>(utf8.size()));
}

QString langSuffix(const TLinkSection& link) {
  const int length = std::min<int>(link.LangSuffix[0], 3);
  return QString::fromLatin1(reinterpret_cast<const char*>(link.LangSuffix + 1), length);
}

void setLangSuffix(TLinkSection& link, const QString& suffix) {
  const QByteArray bytes = suffix.left(3).toLatin1();
  std::memset(link.LangSuffix, 0, sizeof link.LangSuffix);
  link.LangSuffix[0] = static_cast<unsigned char>(bytes.size());
  std::memcpy(link.LangSuffix + 1, bytes.constData(), static_cast<size_t>(bytes.size()));
}

SessionContext::SessionContext() = default;

SessionContext::SessionContext(const TLinkSection& link) : link_(link) { retain(link_); }

SessionContext::SessionContext(const SessionContext& other) : link_(other.link_) { retain(link_); }

SessionContext& SessionContext::operator=(const SessionContext& other) {
  if (this != &other) assign(other.link_);
  return *this;
}

SessionContext::~SessionContext() { release(link_); }

void SessionContext::assign(const TLinkSection& link) {
  // `link` may be this very record, or share strings with it: count the new
  // strings before letting the old ones go.
  const TLinkSection incoming = link;
  retain(incoming);
  release(link_);
  link_ = incoming;
}

void SessionContext::clear() { release(link_); }

void SessionContext::set(uint32_t& slot, const QString& value) {
  const uint32_t old = slot;
  slot = makeString(value);
  tallimoor_str_release(old);
}

}  // namespace shared
