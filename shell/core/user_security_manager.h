// TUserSecurityManager: the bit set of menu options a user may run, read
// from the user table, and the marking of menus by it.
//
// The manager follows one bytes field (User_security, 200 bytes) of the
// current record of a data source's dataset. Whenever the dataset opens,
// closes, moves or its record changes, the manager reloads its copy of the
// bits (LoadSecurityBits) and tells OnDataChanged. A closed dataset or a
// blank field gives 200 clear bytes: nothing allowed.
//
// An option is named by its menu number m (the Tag of its application menu),
// its group g (counted from the menu's first group sub-menu) and its position
// i in the group; its bit is m * 105 + g * 15 + i (data/user_security.h).
// A set bit means allowed. Until bits were loaded once, every test answers
// "not allowed": a menu marked too early shows nothing enabled rather than
// everything.
//
// Threads: the GUI thread, like the dataset it follows.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "db/data_source.h"
#include "pdx/status.h"

namespace db {
class Field;
}
namespace ui {
class MainMenu;
class MenuItem;
class PopupMenu;
}  // namespace ui

namespace shell {

class TUserSecurityManager;

// The manager's link to its data source: hears the dataset and reloads the
// manager's bits. Owned by the manager.
class TManagerDataLink : public db::DataLink {
 public:
  explicit TManagerDataLink(TUserSecurityManager& manager) : manager_(manager) {}

  // The bound bytes field in the source's dataset, or null (none bound, no
  // dataset, or the dataset has no such field). Looked up at each use, so a
  // dataset that went away leaves nothing dangling.
  db::Field* field() const;
  bool hasField() const { return !fieldName_.empty(); }

  // Bits were changed through the manager and are not yet in the field.
  bool modified = false;
  // Told after the link's active state changed (after the reload).
  std::function<void()> onActiveChange;

  void activeChanged() override;
  void dataSetChanged() override { recordChangedHandling(); }  // also layout changes
  void dataSetScrolled() override { recordChangedHandling(); }
  void recordChanged(const db::Field*) override { recordChangedHandling(); }
  void updateData() override;

 private:
  friend class TUserSecurityManager;
  void recordChangedHandling();

  TUserSecurityManager& manager_;
  std::string fieldName_;
};

class TUserSecurityManager {
 public:
  // Where bit b lies: the 32-bit word b / 32 of the array (words are
  // little-endian, so this is byte b / 8, bit b % 8) and its mask.
  struct BitPlace {
    int word = 0;
    uint32_t mask = 0;
  };
  static constexpr int kMinimumFieldSize = 200;

  TUserSecurityManager();
  ~TUserSecurityManager();
  TUserSecurityManager(const TUserSecurityManager&) = delete;
  TUserSecurityManager& operator=(const TUserSecurityManager&) = delete;

  // ---- binding
  db::DataSource* DataSource() const { return link_.dataSource(); }
  void setDataSource(db::DataSource* source);
  // The bound field (null when none is bound or it cannot be found now).
  db::Field* BytesField() const { return link_.field(); }
  // Binds `field`, a bytes field of the source's dataset, and reloads the
  // bits. Null unbinds. A field shorter than 200 bytes, or of another
  // dataset, is refused with kInvalidParameter and leaves the manager with no
  // field at all.
  pdx::Status setBytesField(const db::Field* field);

  // ---- the bits
  static BitPlace LocateBit(int menu, int group, int item);
  // True when the option's bit is set. m and g are taken modulo 128, i modulo
  // 256. False for a bit beyond the loaded array, and for every bit while no
  // array was ever loaded.
  bool TestBit(int menu, int group, int item) const;
  // Sets or clears an option's bit in the manager's copy and marks the link
  // modified: the next post of the dataset writes the bits into the field
  // (StoreSecurityBits). The dataset must then be in edit or insert state.
  void setBit(int menu, int group, int item, bool allowed);
  // Whether bits were ever loaded, and a copy of them.
  bool loaded() const { return loaded_; }
  const std::string& bits() const { return bits_; }

  // Reloads the copy from the bound field: its bytes, or 200 clear bytes
  // when it is blank or holds anything else. Nothing when no field is bound.
  // Fires OnDataChanged.
  virtual void LoadSecurityBits();
  // Writes the copy into the bound field (dataset in edit or insert state).
  virtual pdx::Status StoreSecurityBits();

  // ---- menus
  // For each sub-entry k = first .. last of `entry`, with group number
  // firstGroup + (k - first), each child j of that sub-entry is enabled
  // (enableMode) or shown (otherwise) exactly when TestBit(entry's Tag,
  // group, j). Nothing when last < first.
  void MarkTMenu(ui::MenuItem* entry, int first, bool enableMode, int last, int firstGroup) const;
  // The same over the entries of a menu bar or pop-up menu, with its Tag.
  void MarkMenu(ui::MainMenu* menu, int first, bool enableMode, int last, int firstGroup) const;
  void MarkMenu(ui::PopupMenu* menu, int first, bool enableMode, int last, int firstGroup) const;

  // Told after every reload of the bits.
  std::function<void()> OnDataChanged;

 private:
  friend class TManagerDataLink;
  TManagerDataLink link_{*this};
  std::string bits_;
  bool loaded_ = false;
};

}  // namespace shell
