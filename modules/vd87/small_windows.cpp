#include "small_windows.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

#include "db/error.h"
#include "period_control.h"
#include "shared/module_entry.h"
#include "shared/translate_form.h"
#include "ui/dialogs.h"

namespace vd87 {

namespace {
constexpr Qt::WindowFlags kNoTitleButtons = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}

// ---------------------------------------------------------------- period

Tperiod_frm::Tperiod_frm(QWidget* parent) : ui::Form("period_frm", parent) {
  setWindowFlags(kNoTitleButtons);
  setCaption("Change period number");
  auto* layout = new QHBoxLayout(this);
  Label1 = new ui::Label(this, this, "Label1", "Period number");
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  NorvadelMaskEdit1 = new ui::MaskEdit(this, this, "NorvadelMaskEdit1");
  NorvadelMaskEdit1->setMaxLength(2);
  NorvadelMaskEdit1->setFixedWidth(48);
  Button1 = new ui::Button(this, this, "Button1", "OK");
  Button1->setDefault(true);
  Button1->setAutoDefault(true);
  layout->addWidget(Label1);
  layout->addWidget(NorvadelMaskEdit1);
  layout->addWidget(Button1);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  onFirstActivate = [this] { NorvadelMaskEdit1->setFocus(); };
}

int Tperiod_frm::changePeriod(int period, int language) {
  language_ = language;
  db::check(shared::TranslateForm(*this, "vd87" + shared::Context().langSuffix()));
  NorvadelMaskEdit1->setText(QString::number(period));
  NorvadelMaskEdit1->setFocus();
  NorvadelMaskEdit1->selectAll();
  ui::runModal(*this);
  return parsePeriod(NorvadelMaskEdit1->text().toStdString()).value_or(period);
}

void Tperiod_frm::Button1Click() {
  if (parsePeriod(NorvadelMaskEdit1->text().toStdString())) {
    accept();
    return;
  }
  ui::dialogs().message(this, ui::MessageKind::kInformation, windowTitle(),
                        QString::fromStdString(invalidPeriodText(language_)), ui::Buttons::kOk);
  NorvadelMaskEdit1->setFocus();
  NorvadelMaskEdit1->selectAll();
}

// ---------------------------------------------------------------- error window

TErrorForm::TErrorForm(QWidget* parent) : ui::Form("ErrorForm", parent) {
  setWindowFlags(kNoTitleButtons);
  setCaption("Error");
  auto* layout = new QVBoxLayout(this);
  auto* title = new ui::Label(this, this, "Label1", "ERROR");
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  layout->addWidget(title);
  layout->addWidget(new ui::Label(this, this, "Label2", "Application must be closed."));
  auto* grid = new QGridLayout;
  grid->addWidget(new ui::Label(this, this, "Label3", "Category: "), 0, 0);
  ErrCat = new ui::Label(this, this, "ErrCat");
  ErrCat->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  grid->addWidget(ErrCat, 0, 1);
  grid->addWidget(new ui::Label(this, this, "Label4", "Code: "), 1, 0);
  ErrCode = new ui::Label(this, this, "ErrCode");
  ErrCode->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  grid->addWidget(ErrCode, 1, 1);
  layout->addLayout(grid);
  layout->addWidget(new ui::Label(this, this, "Label5", "Message: "));
  ErrMess = new ui::Memo(this, this, "ErrMess");
  ErrMess->setReadOnly(true);
  layout->addWidget(ErrMess);
  auto* bottom = new QHBoxLayout;
  BitBtn1 = new ui::ToolButton(this, this, "BitBtn1");
  BitBtn1->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  Button1 = new ui::Button(this, this, "Button1", "Close");
  bottom->addWidget(BitBtn1);
  bottom->addStretch();
  bottom->addWidget(Button1);
  layout->addLayout(bottom);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn1, &QToolButton::clicked, this, [this] { ui::dialogs().printWidget(this, true); });
  resize(420, 300);
}

void TErrorForm::showError(const QString& category, const QString& code, const QString& message) {
  ErrCat->setText(category);
  ErrCode->setText(code);
  ErrMess->setPlainText(message);
  ui::runModal(*this);
}

// ---------------------------------------------------------------- end of year

TEoy_dlg::TEoy_dlg(QWidget* parent) : ui::Form("Eoy_dlg", parent) {
  setCaption("Dialog");
  auto* layout = new QVBoxLayout(this);
  Memo1 = new ui::Memo(this, this, "Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLines({"The end of year procedure for the G/L ", "module has not been performed.  "});
  Memo1->setStyleSheet("background: teal; color: white; font-weight: bold;");
  Memo1->document()->setDefaultTextOption(QTextOption(Qt::AlignCenter));
  OKBtn = new ui::Button(this, this, "OKBtn", "OK");
  layout->addWidget(Memo1);
  layout->addWidget(OKBtn, 0, Qt::AlignCenter);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vd87
