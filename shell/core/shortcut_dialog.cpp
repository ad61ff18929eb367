#include "shortcut_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace shell {

TShortcutDlg::TShortcutDlg(QWidget* parent) : ui::Form("ShortcutDlg", parent) {
  setCaption("Create Shortcut");
  Label1 = new ui::Label(this, this, "Label1", "Choose the option for the Shortcut");
  OptionNames = new ui::ListBox(this, this, "OptionNames");
  DllList = new ui::ListBox(this, this, "DllList");
  DllList->hide();
  OKBtn = new ui::Button(this, this, "OKBtn", "OK");
  OKBtn->setDefault(true);
  CancelBtn = new ui::Button(this, this, "CancelBtn", "Cancel");
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(OptionNames, &QListWidget::itemActivated, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(OptionNames);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  layout->addLayout(buttons);
}

void TShortcutDlg::clearLists() {
  OptionNames->clear();
  DllList->clear();
}

void TShortcutDlg::GetMenuInfo(ui::MenuItem* menu, int firstGroup, bool keepDisabled, int lastGroup,
                               const QString& suffix) {
  if (!menu) return;
  for (int g = firstGroup; g <= lastGroup; ++g) {
    ui::MenuItem* group = menu->item(g);
    if (!group) continue;
    for (ui::MenuItem* e : group->items()) {
      if (!e->isVisible() || e->isSeparator()) continue;
      OptionNames->addItem(ui::plainCaption(e->text()) + suffix);
      DllList->addItem(keepDisabled && !e->isEnabled() ? QString() : e->name());
    }
  }
}

QString TShortcutDlg::dllText() const {
  QStringList codes;
  for (int i = 0; i < DllList->count(); ++i) codes << DllList->item(i)->text();
  // One code a line, as a list's text reads.
  return codes.join("\r\n") + (codes.isEmpty() ? "" : "\r\n");
}

bool TShortcutDlg::allows(const QString& code) const {
  if (code.isEmpty()) return false;
  for (int i = 0; i < DllList->count(); ++i)
    if (DllList->item(i)->text() == code) return true;
  return false;
}

}  // namespace shell
