#include "about_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QShowEvent>
#include <QVBoxLayout>

#include "os/services.h"
#include "shared/window_utils.h"
#include "ui/dialogs.h"
#include "ui/field_link.h"

namespace shell {

QPixmap programIcon(int size) {
  QPixmap icon(size, size);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1d, 0x3d, 0x5c));
  p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
  p.setPen(Qt::white);
  QFont font("Sans");
  font.setBold(true);
  font.setPixelSize(size * 2 / 3);
  p.setFont(font);
  p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, "T");
  return icon;
}

TAboutBox::TAboutBox(QWidget* parent) : ui::Form("AboutBox", parent) {
  setCaption("About");
  position = Position::kScreenCenter;
  Panel1 = new ui::Panel(this, this, "Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ProgramIcon = new ui::Label(this, Panel1, "ProgramIcon");
  ProgramIcon->setPixmap(programIcon(48));
  ProductName = new ui::Label(this, Panel1, "ProductName", "Tallimoor");
  QFont big = ProductName->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.4);
  ProductName->setFont(big);
  Version = new ui::Label(this, Panel1, "Version", "Version");
  Copyright = new ui::Label(this, Panel1, "Copyright", "© 2026 Tallimoor");
  lblDatabaseCaption = new ui::Label(this, Panel1, "lblDatabaseCaption", "Database location");
  lblDatabase = new ui::LinkLabel(this, Panel1, "lblDatabase");
  lblDatabase->onClick = [this] { lblDatabaseClick(); };
  lblPayroll = new ui::Label(this, Panel1, "lblPayroll", "Payroll type");
  cbxPayroll = new ui::ComboBox(this, Panel1, "cbxPayroll");
  cbxPayroll->setItems({"None", "Regular", "CCQ"});
  cbxPayroll->setEnabled(false);
  OKButton = new ui::Button(this, this, "OKButton", "OK");
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout(Panel1);
  grid->addWidget(ProgramIcon, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(ProductName, 0, 1, 1, 2);
  grid->addWidget(Version, 1, 1, 1, 2);
  grid->addWidget(Copyright, 2, 1, 1, 2);
  grid->addWidget(lblDatabaseCaption, 3, 1);
  grid->addWidget(lblDatabase, 3, 2);
  grid->addWidget(lblPayroll, 4, 1);
  grid->addWidget(cbxPayroll, 4, 2);
  grid->setColumnStretch(2, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Panel1);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(OKButton);
  row->addStretch();
  layout->addLayout(row);
  showModal = [](TAboutBox& box) { return ui::runModal(box); };
}

void TAboutBox::prepare(const QString& dataDirectory, const QString& payroll, const QString& payrollCCQ) {
  lblDatabase->setText(dataDirectory);
  payroll_ = payroll;
  payrollCCQ_ = payrollCCQ;
}

void TAboutBox::showEvent(QShowEvent* event) {
  ui::Form::showEvent(event);
  if (event->spontaneous()) return;
  // The version the program file carries, after whatever translation gave
  // the word before it.
  const QString word = Version->text().section(' ', 0, 0);
  Version->setText(word + " " + shared::GetFileVersionText(QApplication::applicationFilePath(), 4));
  if (payroll_.compare("Y", Qt::CaseInsensitive) == 0)
    cbxPayroll->setItemIndex(1);
  else if (payrollCCQ_.compare("Y", Qt::CaseInsensitive) == 0)
    cbxPayroll->setItemIndex(2);
  else
    cbxPayroll->setItemIndex(0);
  OKButton->setFocus();
}

void TAboutBox::lblDatabaseClick() {
  const os::Status s = os::Services::programs().openFolder(lblDatabase->text());
  if (!s.ok())
    ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(), s.text(ui::controlsLanguage()),
                          ui::Buttons::kOk);
}

}  // namespace shell
