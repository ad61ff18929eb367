#include "default_info_wizard.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QTabBar>
#include <QVBoxLayout>

#include "db/table.h"
#include "os/services.h"
#include "ui/dialogs.h"
#include "ui/field_link.h"

namespace shell {

namespace {

ui::Memo* readOnlyText(ui::ComponentOwner* owner, QWidget* parent, const QString& name, const QStringList& lines) {
  auto* memo = new ui::Memo(owner, parent, name);
  memo->setLines(lines);
  memo->setReadOnly(true);
  memo->setFrameShape(QFrame::NoFrame);
  memo->setFocusPolicy(Qt::NoFocus);
  memo->viewport()->setAutoFillBackground(false);
  return memo;
}

QHBoxLayout* buttons(std::initializer_list<ui::Button*> list) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (ui::Button* b : list) row->addWidget(b);
  return row;
}

}  // namespace

TfrmDefaultInfo::TfrmDefaultInfo(QWidget* parent) : ui::Form("frmDefaultInfo", parent) {
  setCaption("Norvadel setup wizard");
  // No border icons: the buttons are the only way through.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  position = Position::kScreenCenter;

  PageControl1 = new ui::PageControl(this, this, "PageControl1");
  PageControl1->tabBar()->hide();
  PageControl1->setDocumentMode(true);
  TabSheet1 = new ui::TabSheet(this, PageControl1, "TabSheet1", "1");
  TabSheet2 = new ui::TabSheet(this, PageControl1, "TabSheet2", "2");
  TabSheet3 = new ui::TabSheet(this, PageControl1, "TabSheet3", "3");
  TabSheet4 = new ui::TabSheet(this, PageControl1, "TabSheet4", "4");
  TabSheet5 = new ui::TabSheet(this, PageControl1, "TabSheet5", "5");

  // 1. In or outside Canada.
  Memo1 = readOnlyText(this, TabSheet1, "Memo1",
                       {"The setup wizard will help you to rapidly ", "configure some of the most important controls ",
                        "in the software."});
  rgLocation = new ui::RadioGroup(this, TabSheet1, "rgLocation", "I am");
  rgLocation->setItems({"&In Canada", "&Outside of Canada"});
  rgLocation->setItemIndex(kOutsideCanada);
  btnNext1 = new ui::Button(this, TabSheet1, "btnNext1", "&Next >>");
  auto* page1 = new QVBoxLayout(TabSheet1);
  page1->addWidget(Memo1);
  page1->addWidget(rgLocation);
  page1->addStretch();
  page1->addLayout(buttons({btnNext1}));

  // 2. Province.
  grpProvince = new ui::GroupBox(this, TabSheet2, "grpProvince", "Select the province in which you reside");
  lblProvinces = new ui::Label(this, grpProvince, "lblProvinces", "Provinces");
  cbxProvince = new ui::ComboBox(this, grpProvince, "cbxProvince");
  cbxProvince->setItems({"Alberta", "British Columbia", "Manitoba", "Newfoundland", "New Brunswick", "Nova Scotia",
                         "Prince Edward Island", "Québec", "Ontario", "Saskatchewan"});
  lblProvinces->setBuddy(cbxProvince);
  auto* province = new QFormLayout(grpProvince);
  province->addRow(lblProvinces, cbxProvince);
  btnBack1 = new ui::Button(this, TabSheet2, "btnBack1", "<< &Back");
  btnNext2 = new ui::Button(this, TabSheet2, "btnNext2", "&Next >>");
  auto* page2 = new QVBoxLayout(TabSheet2);
  page2->addWidget(grpProvince);
  page2->addStretch();
  page2->addLayout(buttons({btnBack1, btnNext2}));

  // 3. Date format and taxes.
  lblDateFormat = new ui::Label(this, TabSheet3, "lblDateFormat", "Date format: ");
  cbxDateFormat = new ui::ComboBox(this, TabSheet3, "cbxDateFormat");
  cbxDateFormat->setItems({"yyyy/mm/dd", "dd/mm/yyyy", "mm/dd/yyyy"});
  lblDateFormat->setBuddy(cbxDateFormat);
  grpTaxes = new ui::GroupBox(this, TabSheet3, "grpTaxes", "Enter your sales tax or VAT Rates");
  lblRate1 = new ui::Label(this, grpTaxes, "lblRate1", "GST rate %");
  edtRate1 = new ui::MaskEdit(this, grpTaxes, "edtRate1");
  lblRate2 = new ui::Label(this, grpTaxes, "lblRate2", "PST rate %");
  edtRate2 = new ui::MaskEdit(this, grpTaxes, "edtRate2");
  lblRate3 = new ui::Label(this, grpTaxes, "lblRate3", "HST rate %");
  edtRate3 = new ui::MaskEdit(this, grpTaxes, "edtRate3");
  auto* taxes = new QFormLayout(grpTaxes);
  for (auto [label, edit] : {std::pair{lblRate1, edtRate1}, {lblRate2, edtRate2}, {lblRate3, edtRate3}}) {
    label->setBuddy(edit);
    taxes->addRow(label, edit);
  }
  btnBack2 = new ui::Button(this, TabSheet3, "btnBack2", "<< &Back");
  btnNext3 = new ui::Button(this, TabSheet3, "btnNext3", "&Next >>");
  auto* page3 = new QVBoxLayout(TabSheet3);
  auto* date = new QFormLayout;
  date->addRow(lblDateFormat, cbxDateFormat);
  page3->addLayout(date);
  page3->addWidget(grpTaxes);
  page3->addStretch();
  page3->addLayout(buttons({btnBack2, btnNext3}));

  // 4. Currency.
  grpCurrency = new ui::GroupBox(this, TabSheet4, "grpCurrency", "Currency information");
  lblCurrSymbol = new ui::Label(this, grpCurrency, "lblCurrSymbol", "Currency symbol");
  edtCurrSymbol = new ui::MaskEdit(this, grpCurrency, "edtCurrSymbol");
  lblCurrAlign = new ui::Label(this, grpCurrency, "lblCurrAlign", "Currency aligment");
  cbxCurrAlign = new ui::ComboBox(this, grpCurrency, "cbxCurrAlign");
  cbxCurrAlign->setItems({"Left", "Right"});
  lblCurrDesc = new ui::Label(this, grpCurrency, "lblCurrDesc", "Currency description");
  edtCurrDesc = new ui::MaskEdit(this, grpCurrency, "edtCurrDesc");
  lblFracDesc = new ui::Label(this, grpCurrency, "lblFracDesc", "Fractions description");
  edtFracDesc = new ui::MaskEdit(this, grpCurrency, "edtFracDesc");
  auto* currency = new QFormLayout(grpCurrency);
  for (auto [label, field] : {std::pair<ui::Label*, QWidget*>{lblCurrSymbol, edtCurrSymbol},
                              {lblCurrAlign, cbxCurrAlign},
                              {lblCurrDesc, edtCurrDesc},
                              {lblFracDesc, edtFracDesc}}) {
    label->setBuddy(field);
    currency->addRow(label, field);
  }
  btnBack3 = new ui::Button(this, TabSheet4, "btnBack3", "<< &Back");
  btnNext4 = new ui::Button(this, TabSheet4, "btnNext4", "&Next >>");
  auto* page4 = new QVBoxLayout(TabSheet4);
  page4->addWidget(grpCurrency);
  page4->addStretch();
  page4->addLayout(buttons({btnBack3, btnNext4}));

  // 5. The end.
  Memo2 = readOnlyText(this, TabSheet5, "Memo2",
                       {"Please click on the close button to accept the changes.",
                        "In order to set up other company data such as printers, formats, users, etc.,",
                        "please go to the \"System Manager\" options under the \"Edit\" group."});
  btnBack4 = new ui::Button(this, TabSheet5, "btnBack4", "<< &Back");
  btnClose = new ui::Button(this, TabSheet5, "btnClose", "&Close");
  auto* page5 = new QVBoxLayout(TabSheet5);
  page5->addWidget(Memo2);
  page5->addStretch();
  page5->addLayout(buttons({btnBack4, btnClose}));

  Texts = new ui::Memo(this, this, "Texts");
  Texts->setLines({"Enter your sales tax  and VAT rates", "Enter your GST/PST rates", "VAT/Tax 1 rate",
                   "VAT/Tax 2 rate", "GST rate", "PST rate", "HST rate", "Enter your GST/QST rates", "QST rate",
                   "Enter your GST/PST/HST rates"});
  Texts->hide();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl1);
  resize(460, 320);

  connect(btnNext1, &QPushButton::clicked, this, [this] { btnNext1Click(); });
  connect(btnBack1, &QPushButton::clicked, this, [this] { btnBack1Click(); });
  connect(btnNext2, &QPushButton::clicked, this, [this] { btnNext2Click(); });
  connect(btnBack2, &QPushButton::clicked, this, [this] { btnBack2Click(); });
  connect(btnNext3, &QPushButton::clicked, this, [this] { btnNext3Click(); });
  connect(btnBack3, &QPushButton::clicked, this, [this] { btnBack3Click(); });
  connect(btnNext4, &QPushButton::clicked, this, [this] { btnNext4Click(); });
  connect(btnBack4, &QPushButton::clicked, this, [this] { btnBack4Click(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
  showModal = [](TfrmDefaultInfo& wizard) { return ui::runModal(wizard); };
}

void TfrmDefaultInfo::prepare(const QString& directory, const ui::Memo* messages, int rateMessage, int language) {
  directory_ = directory;
  messages_ = messages;
  rateMessage_ = rateMessage;
  language_ = language;
}

void TfrmDefaultInfo::showEvent(QShowEvent* event) {
  ui::Form::showEvent(event);
  if (!event->spontaneous()) FormActivate();
}

void TfrmDefaultInfo::FormActivate() { goTo(0); }

void TfrmDefaultInfo::goTo(int page) {
  PageControl1->setActivePageIndex(page);
  // Return moves on, from whichever control has the focus.
  ui::Button* forward[] = {btnNext1, btnNext2, btnNext3, btnNext4, btnClose};
  for (ui::Button* b : forward) b->setDefault(b == forward[page]);
  forward[page]->setFocus();
}

void TfrmDefaultInfo::showThirdRate(bool shown) {
  lblRate3->setVisible(shown);
  edtRate3->setVisible(shown);
}

void TfrmDefaultInfo::btnNext1Click() {
  if (rgLocation->itemIndex() == kInCanada) {
    if (cbxProvince->itemIndex() < 0) cbxProvince->setItemIndex(kAlberta);
    goTo(1);
    return;
  }
  if (cbxDateFormat->itemIndex() < 0) cbxDateFormat->setItemIndex(kMonthFirst);
  grpTaxes->setCaption(text(0));
  lblRate1->setCaption(text(2));
  lblRate2->setCaption(text(3));
  showThirdRate(false);
  goTo(2);
}

void TfrmDefaultInfo::btnBack1Click() { goTo(0); }

void TfrmDefaultInfo::btnNext2Click() {
  grpTaxes->setCaption(text(1));
  lblRate1->setCaption(text(4));
  lblRate2->setCaption(text(5));
  lblRate3->setCaption(text(6));
  if (edtRate1->text().isEmpty()) edtRate1->setText("7");
  const int province = cbxProvince->itemIndex();
  const bool harmonised = province == kNewfoundland || province == kNewBrunswick || province == kNovaScotia;
  if (harmonised) {
    // The harmonised tax replaces both: zero, whatever was typed before.
    edtRate1->setText("0");
    edtRate2->setText("0");
    if (edtRate3->text().isEmpty()) edtRate3->setText("15");
    showThirdRate(true);
    grpTaxes->setCaption(text(9));
  } else if (province == kQuebec) {
    if (edtRate2->text().isEmpty()) edtRate2->setText("7.5");
    if (cbxDateFormat->itemIndex() < 0) cbxDateFormat->setItemIndex(kDayFirst);
    grpTaxes->setCaption(text(7));
    lblRate2->setCaption(text(8));
  }
  if (cbxDateFormat->itemIndex() < 0) cbxDateFormat->setItemIndex(kMonthFirst);
  if (!harmonised) showThirdRate(false);
  goTo(2);
}

void TfrmDefaultInfo::btnBack2Click() { goTo(rgLocation->itemIndex() == kOutsideCanada ? 0 : 1); }

void TfrmDefaultInfo::btnNext3Click() {
  if (edtCurrSymbol->text().isEmpty()) edtCurrSymbol->setText("$");
  if (cbxCurrAlign->itemIndex() < 0)
    cbxCurrAlign->setItemIndex(cbxProvince->itemIndex() == kQuebec && language_ == 2 ? kRight : kLeft);
  if (edtCurrDesc->text().isEmpty()) edtCurrDesc->setText("Dollars");
  if (edtFracDesc->text().isEmpty()) edtFracDesc->setText("Cents");
  goTo(3);
}

void TfrmDefaultInfo::btnBack3Click() { goTo(2); }
void TfrmDefaultInfo::btnNext4Click() { goTo(4); }
void TfrmDefaultInfo::btnBack4Click() { goTo(3); }

void TfrmDefaultInfo::btnCloseClick() {
  if (!storeControls() || !storeSettings()) return;
  accept();
}

bool TfrmDefaultInfo::storeControls() {
  auto failed = [this](const QString& text) {
    ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(), text, ui::Buttons::kOk);
    return false;
  };
  db::Table ctrl("ctrl");
  ctrl.setDatabaseName(directory_.toStdString());
  ctrl.setTableName("ctrl");
  pdx::Status s = ctrl.open();
  if (s.ok()) s = ctrl.isEmpty() ? ctrl.insert() : ctrl.edit();
  if (!s.ok()) return failed(ui::dataErrorText(s));
  struct Stored {
    const char* field;
    ui::MaskEdit* edit;
    int page;
    bool rate;
  };
  const Stored stored[] = {{"Ctrl_fed_rate", edtRate1, 2, true},
                           {"Ctrl_pro_rate1", edtRate2, 2, true},
                           {"Ctrl_pro_rate2", edtRate3, 2, true},
                           {"Ctrl_dollars1", edtCurrDesc, 3, false},
                           {"Ctrl_cents1", edtFracDesc, 3, false}};
  for (const Stored& one : stored) {
    db::Field& field = ctrl.fieldByName(one.field);
    const QString typed = one.edit->text();
    s = field.setAsString(typed.toStdString());
    if (s.ok()) continue;
    // Nothing of this attempt stays in the record: a corrected entry can be
    // stored by the next Close.
    ctrl.cancel();
    QString message = ui::fieldErrorText(&field, typed, s);
    if (one.rate && messages_) message = messages_->line(rateMessage_) + "\n" + message;
    failed(message);
    goTo(one.page);
    one.edit->setFocus();
    one.edit->selectAll();
    return false;
  }
  s = ctrl.post();
  if (!s.ok()) {
    ctrl.cancel();
    return failed(ui::dataErrorText(s));
  }
  return true;
}

bool TfrmDefaultInfo::storeSettings() {
  os::MachineSettings& settings = os::Services::settings();
  const std::pair<const char*, QString> values[] = {
      {"DateFmt", cbxDateFormat->currentText()},
      {"CurrSmbl", edtCurrSymbol->text()},
      {"Intl", rgLocation->itemIndex() == kOutsideCanada ? "y" : "n"},
      {"CurrAlign", cbxCurrAlign->itemIndex() == kRight ? "R" : "L"}};
  for (const auto& [ident, value] : values) {
    const os::Status s = settings.writeString("Settings", ident, value);
    if (!s.ok()) {
      ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(), s.text(language_), ui::Buttons::kOk);
      return false;
    }
  }
  return true;
}

}  // namespace shell
