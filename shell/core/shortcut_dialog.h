// The shortcut dialog's option lists: the names of the options a desktop
// shortcut may start, and beside them their codes. The launch checks a
// shortcut's code against the code list.
#pragma once

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace shell {

class TShortcutDlg : public ui::Form {
 public:
  explicit TShortcutDlg(QWidget* parent = nullptr);
  ui::Label* Label1;
  ui::ListBox* OptionNames;  // what the user picks from
  ui::ListBox* DllList;      // hidden: the code of each name, "" for an option the user may not run
  ui::Button* OKBtn;
  ui::Button* CancelBtn;

  void clearLists();
  // Appends the options of groups `firstGroup` to `lastGroup` of `menu`: each
  // visible entry adds its caption followed by `suffix` to OptionNames and its
  // code to DllList, or an empty code when `keepDisabled` is on and the entry
  // is disabled. Hidden entries add nothing.
  void GetMenuInfo(ui::MenuItem* menu, int firstGroup, bool keepDisabled, int lastGroup, const QString& suffix);
  // DllList as one text, the way the launch searches it.
  QString dllText() const;
  // Whether `code` is one of the codes of DllList: an option the user may
  // run. Codes are compared whole, so part of a code allows nothing.
  bool allows(const QString& code) const;
};

}  // namespace shell
