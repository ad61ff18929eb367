#include "user_security_manager.h"

#include "data/user_security.h"
#include "db/data_set.h"
#include "db/field.h"
#include "ui/menu.h"

namespace shell {

// ---------------------------------------------------------------- the link

db::Field* TManagerDataLink::field() const {
  if (fieldName_.empty()) return nullptr;
  db::DataSet* set = dataSet();
  return set ? set->findField(fieldName_) : nullptr;
}

void TManagerDataLink::recordChangedHandling() {
  manager_.LoadSecurityBits();
  modified = false;
}

void TManagerDataLink::activeChanged() {
  // A closed dataset reads as blank: reloading then clears the bits, so a
  // user table that closes never leaves the last user's rights behind.
  if (hasField()) recordChangedHandling();
  if (onActiveChange) onActiveChange();
}

void TManagerDataLink::updateData() {
  if (modified && hasField()) (void)manager_.StoreSecurityBits();
  modified = false;
}

// ---------------------------------------------------------------- the manager

TUserSecurityManager::TUserSecurityManager() = default;
TUserSecurityManager::~TUserSecurityManager() = default;

void TUserSecurityManager::setDataSource(db::DataSource* source) {
  if (source == link_.dataSource()) return;
  // A field belongs to one dataset; another source starts unbound.
  link_.fieldName_.clear();
  link_.setDataSource(source);
}

pdx::Status TUserSecurityManager::setBytesField(const db::Field* field) {
  link_.fieldName_.clear();
  if (!field) return {};
  if (field->size() < kMinimumFieldSize)
    return pdx::Status(pdx::code::kInvalidParameter,
                       "Field size must be at least " + std::to_string(kMinimumFieldSize) + " bytes");
  if (&field->dataSet() != link_.dataSet())
    return pdx::Status(pdx::code::kInvalidParameter,
                       "field " + field->fieldName() + " is not a field of the manager's data source");
  link_.fieldName_ = field->fieldName();
  link_.recordChangedHandling();
  return {};
}

TUserSecurityManager::BitPlace TUserSecurityManager::LocateBit(int menu, int group, int item) {
  const int bit = data::securityBit(menu, group, item);
  return {bit / 32, uint32_t{1} << (bit % 32)};
}

bool TUserSecurityManager::TestBit(int menu, int group, int item) const {
  if (!loaded_) return false;
  const BitPlace place = LocateBit(menu, group, item);
  // The word, little-endian, from whatever bytes the array has.
  uint32_t word = 0;
  for (int k = 0; k < 4; ++k) {
    const size_t at = size_t(place.word) * 4 + size_t(k);
    if (at < bits_.size()) word |= uint32_t(static_cast<unsigned char>(bits_[at])) << (8 * k);
  }
  return (word & place.mask) != 0;
}

void TUserSecurityManager::setBit(int menu, int group, int item, bool allowed) {
  if (!loaded_) {
    bits_.assign(data::kSecurityBytes, '\0');
    loaded_ = true;
  }
  const int bit = data::securityBit(menu, group, item);
  const size_t byte = size_t(bit / 8);
  if (byte >= bits_.size()) return;
  const auto mask = static_cast<unsigned char>(1u << (bit % 8));
  auto value = static_cast<unsigned char>(bits_[byte]);
  value = allowed ? (value | mask) : (value & ~mask);
  bits_[byte] = static_cast<char>(value);
  link_.modified = true;
}

void TUserSecurityManager::LoadSecurityBits() {
  if (!link_.hasField()) return;
  const db::Field* field = link_.field();
  if (field && field->value().kind() == pdx::Value::Kind::kBytes)
    bits_ = field->value().asBytes();
  else
    bits_.assign(data::kSecurityBytes, '\0');
  loaded_ = true;
  if (OnDataChanged) OnDataChanged();
}

pdx::Status TUserSecurityManager::StoreSecurityBits() {
  db::Field* field = link_.field();
  if (!field) return pdx::Status(pdx::code::kInvalidParameter, "no security field is bound");
  return field->setValue(pdx::Value::bytes(bits_));
}

namespace {

template <typename Menu>
void mark(const TUserSecurityManager& manager, const Menu& menu, int tag, int first, bool enableMode, int last,
          int firstGroup) {
  for (int k = first; k <= last; ++k) {
    ui::MenuItem* sub = menu.item(k);
    if (!sub) continue;
    const int group = firstGroup + (k - first);
    for (int j = 0; j < sub->count(); ++j) {
      ui::MenuItem* child = sub->item(j);
      const bool allowed = manager.TestBit(tag, group, j);
      if (enableMode)
        child->setEnabled(allowed);
      else
        child->setVisible(allowed);
    }
  }
}

}  // namespace

void TUserSecurityManager::MarkTMenu(ui::MenuItem* entry, int first, bool enableMode, int last, int firstGroup) const {
  if (entry) mark(*this, *entry, entry->tag(), first, enableMode, last, firstGroup);
}

void TUserSecurityManager::MarkMenu(ui::MainMenu* menu, int first, bool enableMode, int last, int firstGroup) const {
  if (menu) mark(*this, *menu, menu->tag(), first, enableMode, last, firstGroup);
}

void TUserSecurityManager::MarkMenu(ui::PopupMenu* menu, int first, bool enableMode, int last, int firstGroup) const {
  if (menu) mark(*this, *menu, menu->tag(), first, enableMode, last, firstGroup);
}

}  // namespace shell
