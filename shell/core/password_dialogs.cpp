#include "password_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>

#include "data/user_password.h"

namespace shell {

namespace {

void buttonsRow(QGridLayout* grid, int row, ui::Button* ok, ui::Button* cancel) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, row, 0, 1, 2);
}

}  // namespace

TPasswordDlg::TPasswordDlg(QWidget* parent) : ui::Form("PasswordDlg", parent) {
  setCaption("Password Dialog");
  position = Position::kOwnerCenter;
  Label1 = new ui::Label(this, this, "Label1", "Enter password:");
  Password = new ui::Edit(this, this, "Password");
  Password->setEchoMode(QLineEdit::Password);
  // The user table keeps passwords by the rule of data/user_password.h; the
  // text is shown as that rule stores it, accents and all.
  Password->setCaseRule(
      [](const QString& typed) { return QString::fromStdString(data::storedPassword(typed.toStdString())); });
  Password->setMaxLength(10);
  Label1->setBuddy(Password);
  DesktopCheckBox = new ui::CheckBox(this, this, "DesktopCheckBox", "Use Standard Desktop");
  OKBtn = new ui::Button(this, this, "OKBtn", "OK");
  OKBtn->setDefault(true);
  CancelBtn = new ui::Button(this, this, "CancelBtn", "Cancel");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(Password, 0, 1);
  grid->addWidget(DesktopCheckBox, 1, 1);
  buttonsRow(grid, 2, OKBtn, CancelBtn);
  showModal = [](TPasswordDlg& d) { return ui::runModal(d); };
}

void TPasswordDlg::showEvent(QShowEvent* event) {
  Password->clear();
  Password->setFocus();
  ui::Form::showEvent(event);
}

TCompPasswd_Frm::TCompPasswd_Frm(QWidget* parent) : ui::Form("CompPasswd_Frm", parent) {
  setCaption("Password");
  position = Position::kOwnerCenter;
  Label1 = new ui::Label(this, this, "Label1", "Enter password:");
  Password = new ui::Edit(this, this, "Password");
  Password->setEchoMode(QLineEdit::Password);
  Password->setMaxLength(10);
  Label1->setBuddy(Password);
  OKBtn = new ui::Button(this, this, "OKBtn", "OK");
  OKBtn->setDefault(true);
  CancelBtn = new ui::Button(this, this, "CancelBtn", "Cancel");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1, 0, 0);
  grid->addWidget(Password, 0, 1);
  buttonsRow(grid, 1, OKBtn, CancelBtn);
  showModal = [](TCompPasswd_Frm& d) { return ui::runModal(d); };
}

void TCompPasswd_Frm::showEvent(QShowEvent* event) {
  // Unlike the login, the dialog keeps what was typed last; it is selected,
  // so that typing replaces it.
  Password->selectAll();
  Password->setFocus();
  ui::Form::showEvent(event);
}

}  // namespace shell
