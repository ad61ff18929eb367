// The shell's password dialogs: the login dialog and the company password.
#pragma once

#include <functional>

#include "ui/controls.h"
#include "ui/form.h"

namespace shell {

// "Password Dialog": the login. Its password edit is cleared every time the
// dialog becomes active; what is keyed is upper-cased as the user table
// stores passwords (data/user_password.h) and shown as stars.
class TPasswordDlg : public ui::Form {
 public:
  explicit TPasswordDlg(QWidget* parent = nullptr);
  // The password as the user table keys it.
  QString password() const { return Password->caseRule()(Password->text()); }
  bool useStandardDesktop() const { return DesktopCheckBox->isChecked(); }

  ui::Label* Label1;
  ui::Edit* Password;
  ui::CheckBox* DesktopCheckBox;
  ui::Button* OKBtn;
  ui::Button* CancelBtn;

  // Shows the dialog modally and gives QDialog::Accepted or Rejected. Tests
  // replace it to answer for the user.
  std::function<int(TPasswordDlg&)> showModal;

 protected:
  void showEvent(QShowEvent* event) override;
};

// "Password": the company password asked when a user opens another company
// that has one. Entered as typed (passwords of companies keep their case),
// shown as stars, and kept from one showing to the next.
class TCompPasswd_Frm : public ui::Form {
 public:
  explicit TCompPasswd_Frm(QWidget* parent = nullptr);
  ui::Label* Label1;
  ui::Edit* Password;
  ui::Button* OKBtn;
  ui::Button* CancelBtn;
  std::function<int(TCompPasswd_Frm&)> showModal;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace shell
