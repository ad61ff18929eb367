// Menu security through the shell: a user logs in and sees enabled exactly
// the options his bits allow, and nothing else runs for him.
#include <gtest/gtest.h>

#include <QFile>
#include <QTest>

#include "data/user_security.h"
#include "shell_test_util.h"

namespace shell {
namespace {

using namespace testing;

std::string bits(std::initializer_list<int> allowed) {
  std::string b = data::noSecurity();
  for (int bit : allowed) data::allowSecurityBit(b, bit);
  return b;
}

class MenuSecurityTest : public ShellTest {
 protected:
  // The only user's rights become `security` (his row's raw bytes; an
  // empty text leaves the field blank).
  void setSecurity(const std::string& security) {
    db::Table users;
    users.setDatabaseName(dataDir_.toStdString());
    users.setTableName("user");
    ASSERT_TRUE(users.open().ok());
    ASSERT_TRUE(users.edit().ok());
    ASSERT_TRUE((security.empty() ? users.fieldByName("User_security").clear()
                                  : users.fieldByName("User_security").setValue(pdx::Value::bytes(security)))
                    .ok());
    ASSERT_TRUE(users.post().ok());
  }
  std::unique_ptr<TLogoAppForm> shellFor(const std::string& security) {
    if (!QFile::exists(dataDir_ + "/user.DB")) makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
    setSecurity(security);
    return startShell();
  }
};

// Byte 16 = 0x80 is "Display of clients" and nothing else: its quick-access
// entry follows it, and it is the only code a shortcut may run.
TEST_F(MenuSecurityTest, Byte16EnablesDisplayOfClientsAndItsQuickAccessOnly) {
  std::string security = data::noSecurity();
  security[16] = '\x80';
  auto window = shellFor(security);
  EXPECT_EQ(enabledOptions(*window), QStringList{"kq61"});
  EXPECT_EQ(enabledQuickAccess(*window), QStringList{"kq61f"});
  EXPECT_EQ(shortcutCodes(*window), QStringList{"kq61"});
  // Disabled options stay in the shortcut dialog, without a code.
  EXPECT_EQ(window->ShortcutDlg->OptionNames->count(), window->ShortcutDlg->DllList->count());
  EXPECT_GT(window->ShortcutDlg->OptionNames->count(), 60);
}

TEST_F(MenuSecurityTest, Bit0EnablesMaintenanceOfAccountsOnly) {
  auto window = shellFor(bits({0}));
  EXPECT_EQ(enabledOptions(*window), QStringList{"qg12"});
  EXPECT_TRUE(enabledQuickAccess(*window).isEmpty());
}

// Job cost is menu 9: its options read bits 945 and up, past the Tracker's.
TEST_F(MenuSecurityTest, JobCostOptionsUseBits945To1049) {
  (void)settings_->writeString("Tallimoor", "JobCost", "Y");
  std::string security = data::noSecurity();
  data::allowSecurityMenu(security, data::kMenuJobCost);
  auto window = shellFor(security);
  QStringList expected;
  for (const auto& group : applicationMenus()[kJobCostMenu].groups)
    for (const Option& o : group) expected << o.code;
  EXPECT_EQ(enabledOptions(*window), expected);
  EXPECT_EQ(enabledQuickAccess(*window), QStringList{"jc20f"});
  EXPECT_EQ(data::securityBit(9, 0, 0), 945);
  EXPECT_EQ(data::securityBit(9, 6, 14), 1049);
}

// The fifteenth option of a group (position 14) has the group's last bit; a
// sixteenth would read the first bit of the next group.
TEST_F(MenuSecurityTest, ASixteenthOptionReadsTheNextGroupsFirstBit) {
  (void)settings_->writeString("Tallimoor", "payroll", "Y");
  // Metier codes belong to the construction payroll, shown only with it.
  (void)settings_->writeString("Tallimoor", "payrollCCQ", "Y");
  {
    auto window = shellFor(bits({data::securityBit(5, 0, 14)}));
    EXPECT_EQ(enabledOptions(*window), QStringList{"xw24"});  // Maintenance of metier codes
  }
  setSecurity(bits({data::securityBit(5, 1, 0)}));
  TLogoAppForm window(programDir_);
  ui::MenuItem* sixteenth = window.menus[kPayrollMenu]->item(6)->add("xw99", "Sixteenth");
  window.FormActivate();
  ASSERT_TRUE(window.ready());
  EXPECT_TRUE(sixteenth->isEnabled());
  EXPECT_TRUE(window.findAs<ui::MenuItem>("xw30")->isEnabled());  // Payroll entry, (5, 1, 0)
  EXPECT_FALSE(window.findAs<ui::MenuItem>("xw24")->isEnabled());
  EXPECT_TRUE(window.findAs<ui::MenuItem>("xw30f")->isEnabled());
}

// A Tools entry takes the state of the option its row names: with no rights
// at all "Maintenance of Tools menu" is disabled, with "Maintenance of
// parameters" alone it is enabled.
TEST_F(MenuSecurityTest, ToolsEntriesFollowTheirReferenceOption) {
  {
    auto window = shellFor("");
    EXPECT_TRUE(enabledOptions(*window).isEmpty());
    EXPECT_TRUE(enabledQuickAccess(*window).isEmpty());
    ASSERT_EQ(window->Tools1->count(), 1);
    EXPECT_FALSE(window->Tools1->item(0)->isEnabled());
    EXPECT_TRUE(shortcutCodes(*window).isEmpty());
  }
  auto window = shellFor(bits({data::securityBit(3, 0, 0)}));
  EXPECT_EQ(enabledOptions(*window), QStringList{"zk14"});
  EXPECT_TRUE(window->Tools1->item(0)->isEnabled());
}

// The demonstration's payables clerk, logged in through the real login box
// (typed in lower case), runs Purchases from its menu, its quick access and a
// shortcut, and Display of clients from none of them.
TEST_F(MenuSecurityTest, APayablesClerkRunsPayablesOnly) {
  makeDemo();
  addModule("vd87");
  addModule("kq61");
  TLogoAppForm window(programDir_);
  answerDialog(window.PasswordDlg, window.PasswordDlg->Password, "factures");
  window.show();
  ASSERT_TRUE(window.ready()) << messages().join(" | ").toStdString();
  EXPECT_EQ(window.context().userName(), "Luc Gagnon");
  EXPECT_EQ(window.context().language(), 2);

  ui::MenuItem* purchases = window.findAs<ui::MenuItem>("vd87");
  ui::MenuItem* clients = window.findAs<ui::MenuItem>("kq61");
  // From the menu, by keyboard: Accounts payable > Transactions > Purchases.
  ASSERT_TRUE(openByKeyboard(window, window.menus[2], {window.menus[2]->item(5), purchases}));
  EXPECT_EQ(moduleCall.calls, 1);
  clients->trigger();
  window.findAs<ui::MenuItem>("kq61f")->trigger();
  EXPECT_EQ(moduleCall.calls, 1);
  window.findAs<ui::MenuItem>("vd87f")->trigger();
  EXPECT_EQ(moduleCall.calls, 2);
  // Shortcuts: the allowed one runs, the other is refused with line 3.
  window.ExecuteOption("vd87S");
  EXPECT_EQ(moduleCall.calls, 3);
  dialogs_.shown.clear();
  window.ExecuteOption("kq61S");
  EXPECT_EQ(moduleCall.calls, 3);
  EXPECT_EQ(messages(), QStringList{window.messageLine(message::kOptionNotAllowed)});
  EXPECT_EQ(loader_->calls().filter("kq61").size(), 0);
  window.close();
}

}  // namespace
}  // namespace shell
