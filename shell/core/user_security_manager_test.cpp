// The security manager over a real user table: where each option's bit lies,
// how the bits follow the table, and how menus are marked by them.
#include "user_security_manager.h"

#include <gtest/gtest.h>

#include "data/table_def.h"
#include "data/user_security.h"
#include "db/table.h"
#include "shell_test_util.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace shell {
namespace {

// The bit numbers of the system's own examples, by their words and masks.
TEST(UserSecurityManagerTest, LocateBitFindsTheWordAndMaskOfEachOption) {
  using M = TUserSecurityManager;
  // Display of clients (1, 2, 0): bit 135 = byte 16, mask 0x80.
  EXPECT_EQ(M::LocateBit(1, 2, 0).word, 4);
  EXPECT_EQ(M::LocateBit(1, 2, 0).mask, uint32_t{1} << 7);
  // Purchases (2, 1, 0): bit 225 = byte 28, mask 0x02.
  EXPECT_EQ(M::LocateBit(2, 1, 0).word, 7);
  EXPECT_EQ(M::LocateBit(2, 1, 0).mask, uint32_t{1} << 1);
  // Maintenance of metier codes (5, 0, 14): bit 539.
  EXPECT_EQ(M::LocateBit(5, 0, 14).word, 539 / 32);
  EXPECT_EQ(M::LocateBit(5, 0, 14).mask, uint32_t{1} << (539 % 32));
  // A sixteenth option shares the first bit of the next group.
  EXPECT_EQ(M::LocateBit(5, 0, 15).word, M::LocateBit(5, 1, 0).word);
  EXPECT_EQ(M::LocateBit(5, 0, 15).mask, M::LocateBit(5, 1, 0).mask);
  // Menu and group modulo 128, position modulo 256.
  EXPECT_EQ(M::LocateBit(129, 130, 256).word, M::LocateBit(1, 2, 0).word);
  EXPECT_EQ(M::LocateBit(129, 130, 256).mask, M::LocateBit(1, 2, 0).mask);
}

class ManagerOnTable : public ::testing::Test {
 protected:
  ManagerOnTable() {
    testing::app();
    db::Database::environment() = pdx::Env::unsynced();
    path_ = dir_.path();
    auto directory = db::Database::openDirectory(path_);
    EXPECT_TRUE(directory.ok());
    EXPECT_TRUE(data::createTable(**directory, data::tables::user()).ok());
    table_.setDatabaseName(path_);
    table_.setTableName("user");
  }

  // A user whose bits are `bits` (blank when empty).
  void addUser(const std::string& password, const std::string& bits) {
    ASSERT_TRUE(table_.open().ok());
    ASSERT_TRUE(table_.insert().ok());
    ASSERT_TRUE(table_.fieldByName("User_password").setAsString(password).ok());
    if (!bits.empty()) ASSERT_TRUE(table_.fieldByName("User_security").setValue(pdx::Value::bytes(bits)).ok());
    ASSERT_TRUE(table_.post().ok());
    table_.close();
  }

  pdx::testing::TempDir dir_;
  std::string path_;
  db::Table table_;
  db::DataSource source_{&table_};
  TUserSecurityManager manager_;
};

std::string onlyBit(int bit) {
  std::string bits = data::noSecurity();
  data::allowSecurityBit(bits, bit);
  return bits;
}

// The bits always are those of the current user row: they follow the table
// as it moves, opens and closes, and nothing is allowed before a first load.
TEST_F(ManagerOnTable, TheBitsFollowTheCurrentRow) {
  addUser("AAA", onlyBit(135));  // Display of clients only
  addUser("BBB", "");            // no rights at all
  int reloads = 0;
  manager_.OnDataChanged = [&] { ++reloads; };
  manager_.setDataSource(&source_);
  EXPECT_FALSE(manager_.TestBit(1, 2, 0)) << "nothing is allowed before bits were loaded";

  ASSERT_TRUE(table_.open().ok());
  ASSERT_TRUE(manager_.setBytesField(table_.findField("User_security")).ok());
  EXPECT_TRUE(manager_.loaded());
  EXPECT_TRUE(manager_.TestBit(1, 2, 0));
  EXPECT_FALSE(manager_.TestBit(1, 2, 1));
  EXPECT_FALSE(manager_.TestBit(0, 0, 0));
  EXPECT_TRUE(manager_.TestBit(129, 130, 256));  // the same option, modulo

  const int before = reloads;
  ASSERT_TRUE(table_.next().ok());
  EXPECT_GT(reloads, before);
  EXPECT_FALSE(manager_.TestBit(1, 2, 0)) << "a blank field allows nothing";
  EXPECT_EQ(manager_.bits(), data::noSecurity());

  ASSERT_TRUE(table_.first().ok());
  EXPECT_TRUE(manager_.TestBit(1, 2, 0));
  table_.close();
  EXPECT_FALSE(manager_.TestBit(1, 2, 0)) << "a closed user table leaves no rights behind";
  ASSERT_TRUE(table_.open().ok());
  EXPECT_TRUE(manager_.TestBit(1, 2, 0));

  // Unbound: reloads stop, the last bits stay.
  ASSERT_TRUE(manager_.setBytesField(nullptr).ok());
  const int unbound = reloads;
  ASSERT_TRUE(table_.next().ok());
  EXPECT_EQ(reloads, unbound);
}

// A field too small for the 1600 bits is refused; the manager is then left
// without any field and allows nothing.
TEST_F(ManagerOnTable, AFieldShorterThan200BytesIsRefused) {
  auto directory = db::Database::openDirectory(path_);
  ASSERT_TRUE(directory.ok());
  ASSERT_TRUE((*directory)
                  ->createTable("short", {{"Name", pdx::FieldType::kAlpha, 10}, {"Rights", pdx::FieldType::kBytes, 100}},
                                0)
                  .ok());
  db::Table shortTable;
  shortTable.setDatabaseName(path_);
  shortTable.setTableName("short");
  ASSERT_TRUE(shortTable.open().ok());
  db::DataSource source(&shortTable);
  manager_.setDataSource(&source);
  const pdx::Status s = manager_.setBytesField(shortTable.findField("Rights"));
  EXPECT_TRUE(s.is(pdx::code::kInvalidParameter));
  EXPECT_EQ(s.message(), "Field size must be at least 200 bytes");
  EXPECT_EQ(manager_.BytesField(), nullptr);
  EXPECT_FALSE(manager_.loaded());
  EXPECT_FALSE(manager_.TestBit(0, 0, 0));

  // A field of another dataset than the source's is refused as well.
  addUser("AAA", data::fullSecurity());
  ASSERT_TRUE(table_.open().ok());
  EXPECT_FALSE(manager_.setBytesField(table_.findField("User_security")).ok());
  EXPECT_EQ(manager_.BytesField(), nullptr);
}

// Bits changed through the manager reach the field when the row is posted.
TEST_F(ManagerOnTable, ChangedBitsAreStoredWithThePost) {
  addUser("AAA", "");
  manager_.setDataSource(&source_);
  ASSERT_TRUE(table_.open().ok());
  ASSERT_TRUE(manager_.setBytesField(table_.findField("User_security")).ok());
  ASSERT_TRUE(table_.edit().ok());
  manager_.setBit(2, 1, 0, true);  // Purchases
  ASSERT_TRUE(table_.post().ok());
  table_.close();

  db::Table check;
  check.setDatabaseName(path_);
  check.setTableName("user");
  ASSERT_TRUE(check.open().ok());
  const std::string stored = check.fieldByName("User_security").value().asBytes();
  ASSERT_EQ(stored.size(), 200u);
  EXPECT_EQ(static_cast<unsigned char>(stored[28]), 0x02);
  EXPECT_EQ(stored, onlyBit(225));
}

// MarkTMenu enables (or shows) exactly the children whose bits are set,
// numbering groups from the first one given.
TEST_F(ManagerOnTable, MarkingMenusFollowsTheBits) {
  std::string bits = data::noSecurity();
  data::allowSecurityBit(bits, data::securityBit(2, 0, 1));
  data::allowSecurityBit(bits, data::securityBit(2, 1, 0));
  addUser("AAA", bits);
  manager_.setDataSource(&source_);
  ASSERT_TRUE(table_.open().ok());
  ASSERT_TRUE(manager_.setBytesField(table_.findField("User_security")).ok());

  ui::Form owner("Owner");
  ui::MainMenu bar(&owner, &owner, "Bar");
  ui::MenuItem* payables = bar.add("Payables", "Payables");
  payables->setTag(2);
  ui::MenuItem* quick = payables->add("quick", "Quick");  // position 0, before the groups
  ui::MenuItem* edit = payables->add("Edit", "Edit");
  ui::MenuItem* transactions = payables->add("Transactions", "Transactions");
  ui::MenuItem* e0 = edit->add("e0", "e0");
  ui::MenuItem* e1 = edit->add("e1", "e1");
  ui::MenuItem* t0 = transactions->add("t0", "t0");
  ui::MenuItem* t1 = transactions->add("t1", "t1");

  manager_.MarkTMenu(payables, 1, true, 2, 0);
  EXPECT_FALSE(e0->isEnabled());
  EXPECT_TRUE(e1->isEnabled());
  EXPECT_TRUE(t0->isEnabled());
  EXPECT_FALSE(t1->isEnabled());
  EXPECT_TRUE(quick->isEnabled()) << "entries before the first group are not marked";

  manager_.MarkTMenu(payables, 1, false, 2, 0);
  EXPECT_FALSE(e0->isVisible());
  EXPECT_TRUE(e1->isVisible());

  // Nothing happens when last < first.
  e0->setVisible(true);
  e0->setEnabled(true);
  manager_.MarkTMenu(payables, 2, true, 1, 0);
  EXPECT_TRUE(e0->isEnabled());

  // MarkMenu takes the bar's own Tag: its entry 0 read as group 1 of menu 2
  // makes (2, 1, 0), the quick entry, allowed and (2, 1, 1) not.
  bar.setTag(2);
  quick->setEnabled(false);
  manager_.MarkMenu(&bar, 0, true, 0, 1);
  EXPECT_TRUE(quick->isEnabled());
  EXPECT_FALSE(edit->isEnabled());
}

}  // namespace
}  // namespace shell
