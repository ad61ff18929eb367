// Menu security: after login each option is enabled exactly when the user's
// bit for it is set (TUserSecurityManager); the quick-access entries copy
// their option, and the shortcut lists give a disabled option an empty code,
// so that a shortcut to it is refused. The Tools entries, built next, copy
// the option their catalogue row names.
#include "logo_app_form.h"

namespace shell {

namespace {

// The application menus in the order the security pass and the shortcut
// lists take them, with their first group sub-menu.
struct MenuPart {
  int menu;
  bool (*wanted)(const ShellSettings&, ShortcutListOrder);
};

bool always(const ShellSettings&, ShortcutListOrder) { return true; }

// Payroll, Tracker and Job cost join the lists unless switched "N" for the
// security pass, and only when switched "Y" for the Tools maintenance.
bool switched(const QString& value, ShortcutListOrder order) {
  if (order == ShortcutListOrder::kSecurity) return value.compare("N", Qt::CaseInsensitive) != 0;
  return value.compare("Y", Qt::CaseInsensitive) == 0;
}
bool payroll(const ShellSettings& s, ShortcutListOrder o) { return switched(s.payroll, o); }
bool tracker(const ShellSettings& s, ShortcutListOrder o) { return switched(s.tracker, o); }
bool jobCost(const ShellSettings& s, ShortcutListOrder o) { return switched(s.jobCost, o); }

}  // namespace

void TLogoAppForm::bindUserSecurity() {
  // The user table is open: its field exists now. A field the manager
  // refuses (a damaged user table) leaves every option disabled.
  if (pdx::Status s = UserSecurityManager1.setBytesField(user_.findField("User_security")); !s.ok())
    databaseError(s);
}

void TLogoAppForm::applyMenuSecurity() {
  // 1. Every option of every application menu, hidden menus included.
  for (int menu : {0, 1, 2, 4, 3, kPayrollMenu, kTrackerMenu, kJobCostMenu})
    UserSecurityManager1.MarkTMenu(menus[menu], firstGroupOf(menu), true, menus[menu]->count() - 1, 0);
  // 2. A quick-access entry takes the state of the option it copies.
  for (int menu : {0, 1, 2, 3, kPayrollMenu, kJobCostMenu}) {
    ui::MenuItem* top = menus[menu];
    for (ui::MenuItem* quick : top->items()) {
      if (quick->groupIndex() != 0) continue;
      for (int g = firstGroupOf(menu); g < top->count(); ++g)
        for (ui::MenuItem* option : top->item(g)->items())
          if (option->name() + "f" == quick->name()) quick->setEnabled(option->isEnabled());
    }
  }
  // 3. The shortcut lists: disabled options get no code.
  FillShortcutLists(true, ShortcutListOrder::kSecurity);
}

void TLogoAppForm::FillShortcutLists(bool keepDisabled, ShortcutListOrder order) {
  ShortcutDlg->clearLists();
  static const MenuPart security[] = {{0, always},        {1, always},       {2, always},
                                      {3, always},        {4, always},       {kPayrollMenu, payroll},
                                      {kTrackerMenu, tracker}, {kJobCostMenu, jobCost}};
  static const MenuPart maintenance[] = {{0, always},        {1, always},       {2, always},
                                         {4, always},        {3, always},       {kPayrollMenu, payroll},
                                         {kTrackerMenu, tracker}, {kJobCostMenu, jobCost}};
  for (const MenuPart& part : order == ShortcutListOrder::kSecurity ? security : maintenance) {
    if (!part.wanted(settings_, order)) continue;
    ui::MenuItem* menu = menus[part.menu];
    const int first = firstGroupOf(part.menu);
    ShortcutDlg->GetMenuInfo(menu, first, keepDisabled, first + 3,
                             messageLine(message::kMenuSuffixBase + menu->tag()));
  }
}

}  // namespace shell
