#include "vd87_frm.h"

#include <QApplication>
#include <algorithm>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMainWindow>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "db/error.h"
#include "db/formats.h"
#include "os/services.h"
#include "outside_libraries.h"
#include "period_control.h"
#include "shared/module_entry.h"
#include "shared/window_utils.h"
#include "string_pool.h"
#include "ui/application.h"
#include "ui/dialogs.h"

namespace vd87 {

namespace {

constexpr int kTag13 = 13;
constexpr int kHelpContext = 304;

// The message list as designed, in English; the translation replaces it.
const QStringList kMessages = {
    "Invoice number already in database.",
    "Invoice number not found.",
    "Please enter an invoice number.",
    "This is a direct cash purchase.  The A/P account should not be affected.",
    "Invoice is out of balance.",
    "Please enter a reference.",
    "Do you want to enter a description in the Transaction Memo?",
    "Supplier does not exist.",
    "The account number entered does not exist.",
    "Please enter an amount in the credit field.",
    "Please enter an amount in the debit field.",
    "Account number does not exist.",
    "Purchases current period is ",
    " Transaction period is ",
    "The system must modify the tjld table.  This may take a few minutes.",
    "Another user is changing this supplier. Keep waiting?",
    "The posting was cancelled; nothing was written.",
    "The posting failed; nothing was written.",
};

// The description edits of lines 1 to 11, by their design names.
const char* const kDescriptionNames[EntryDocument::kLines] = {"Edit3",  "Edit1",  "Edit4",  "Edit6",
                                                              "Edit10", "Edit12", "Edit14", "Edit16",
                                                              "Edit18", "Edit2",  "Edit5"};

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

bool isEditingControl(QWidget* w) { return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w); }

void setTextIfChanged(QLineEdit* edit, const QString& text) {
  if (auto* m = dynamic_cast<ui::MaskEdit*>(edit)) {
    if (m->text() != text) m->setText(text);
  } else if (edit->text() != text) {
    edit->setText(text);
  }
}

}  // namespace

Tvd87_frm::Tvd87_frm(Tvd87_dm& dm, Tperiod_frm& period, TErrorForm& error, QWidget* parent)
    : ui::Form("vd87_frm", parent), dm_(dm), period_(period), error_(error) {
  doc_ = std::make_unique<EntryDocument>(dm_.virmem);
  rules_ = std::make_unique<EntryRules>(dm_, *doc_, static_cast<EntryPrompts&>(*this));
  posting_ = std::make_unique<PayablesPosting>(*rules_);
  rules_->selectCurrency = [](int index) { shared::SelectCurrency(index); };
  posting_->setPostingFlag = [](const std::string& flag) { shared::Context().setLaunchQualifier(q(flag)); };
  build();
  keyPreview = true;
  helpContext = kHelpContext;
  onKeyPreview = [this](QKeyEvent* e) { return FormKeyDown(e); };
  onFirstActivate = [this] { FormActivate(); };
}

Tvd87_frm::~Tvd87_frm() { closing_ = true; }

// ---------------------------------------------------------------- layout

void Tvd87_frm::build() {
  setCaption(kMessages[msg::kPeriodCaption]);
  auto* outer = new QVBoxLayout(this);
  PageControl1 = new ui::PageControl(this, this, "PageControl1");
  auto* page = new ui::TabSheet(this, PageControl1, "TabSheet1", "General");
  auto* grid = new QGridLayout(page);
  int row = 0;
  auto label = [&](const QString& name, const QString& caption, int r, int c) {
    auto* l = new ui::Label(this, page, name, caption);
    grid->addWidget(l, r, c);
    return l;
  };

  label("Label1", "Supplier", row, 0);
  Norvadeldbedit1 = new ui::MaskEdit(this, page, "Norvadeldbedit1");
  Norvadeldbedit1->setMaxLength(10);
  Norvadeldbedit1->setTag(kTag13);
  grid->addWidget(Norvadeldbedit1, row, 1);
  SearchBtn = new ui::Button(this, page, "SearchBtn", "...");
  SearchBtn->setHint("List of suppliers");
  SearchBtn->setTag(kTag13);
  grid->addWidget(SearchBtn, row, 2);
  CheckBox1 = new ui::CheckBox(this, page, "CheckBox1", "Direct/cash purchase");
  grid->addWidget(CheckBox1, row, 3, 1, 2);
  ++row;
  SupplierPanel = new ui::Panel(this, page, "SupplierPanel");
  auto* supplierLayout = new QVBoxLayout(SupplierPanel);
  const char* supplierFields[] = {"Sup_name", "Sup_adr1", "Sup_adr2", "Sup_city", "Sup_prov"};
  for (int k = 0; k < 5; ++k) {
    auto* t = new ui::DBText(this, SupplierPanel, "DBText" + QString::number(k + 1));
    t->setDataSource(&dm_.DataSource1);
    t->setDataField(supplierFields[k]);
    supplierLayout->addWidget(t);
    supplierLabels[size_t(k)] = t;
  }
  SupplierPanel->setVisible(false);
  grid->addWidget(SupplierPanel, row, 1, 3, 2);

  label("Label2", "Type", row, 3);
  TransType = new ui::ComboBox(this, page, "TransType");
  TransType->setItems({"Purchase", "Debit", "Credit", "Adjustment"});
  grid->addWidget(TransType, row, 4);
  ++row;
  label("Label3", "Invoice", row, 3);
  InvoiceNum = new ui::MaskEdit(this, page, "InvoiceNum");
  InvoiceNum->setMaxLength(10);
  grid->addWidget(InvoiceNum, row, 4);
  ++row;
  label("Label4", "Date", row, 3);
  TransDate = new ui::MaskEdit(this, page, "TransDate", "!99/99/9999;1; ");
  grid->addWidget(TransDate, row, 4);
  ++row;
  label("Label5", "Due date", row, 3);
  TransDueDate = new ui::MaskEdit(this, page, "TransDueDate", "!99/99/9999;1; ");
  grid->addWidget(TransDueDate, row, 4);
  ++row;
  label("Label6", "Reference", row, 3);
  DebCreRef = new ui::MaskEdit(this, page, "DebCreRef");
  DebCreRef->setMaxLength(10);
  grid->addWidget(DebCreRef, row, 4);
  label("Label7", "Memo", row, 0);
  TransMemo = new ui::Memo(this, page, "TransMemo");
  TransMemo->setTabChangesFocus(true);
  TransMemo->setFixedHeight(48);
  grid->addWidget(TransMemo, row, 1, 1, 2);
  ++row;

  SearchAccountBtn = new ui::Button(this, page, "SearchAccountBtn", "...");
  SearchAccountBtn->setHint("List of accounts");
  grid->addWidget(SearchAccountBtn, row, 0);
  label("Label8", "Account", row, 1);
  label("Label9", "Description", row, 2);
  label("Label10", "Debit", row, 3);
  label("Label11", "Credit", row, 4);
  ++row;
  for (int n = 1; n <= EntryDocument::kLines; ++n, ++row) {
    const size_t i = size_t(n - 1);
    auto* account = new ui::MaskEdit(this, page, "NorvadelMaskEdit" + QString::number(n));
    account->setHint("1");
    account->setMaxLength(10);
    auto* description = new ui::MaskEdit(this, page, kDescriptionNames[i]);
    description->setMaxLength(60);
    auto* debit = new ui::CurrencyField(this, page, "DebitCell" + QString::number(n));
    debit->setDataSource(&dm_.DataSource2);
    debit->setDataField(EntryDocument::debitField(n));
    auto* credit = new ui::CurrencyField(this, page, "CreditCell" + QString::number(n));
    credit->setDataSource(&dm_.DataSource2);
    credit->setDataField(EntryDocument::creditField(n));
    for (ui::Component* c : std::initializer_list<ui::Component*>{account, description, debit, credit}) c->setTag(n);
    grid->addWidget(account, row, 1);
    grid->addWidget(description, row, 2);
    grid->addWidget(debit, row, 3);
    grid->addWidget(credit, row, 4);
    accountEdits[i] = account;
    descriptionEdits[i] = description;
    debitCells[i] = debit;
    creditCells[i] = credit;
  }
  label("Label12", "Totals", row, 2);
  TotalDBEdit = new ui::CurrencyField(this, page, "TotalDBEdit");
  TotalDBEdit->setDataSource(&dm_.DataSource2);
  TotalDBEdit->setDataField(EntryDocument::kTotalDebitField);
  TotalDBEdit->setReadOnly(true);
  TotalCDEdit = new ui::CurrencyField(this, page, "TotalCDEdit");
  TotalCDEdit->setDataSource(&dm_.DataSource2);
  TotalCDEdit->setDataField(EntryDocument::kTotalCreditField);
  TotalCDEdit->setReadOnly(true);
  grid->addWidget(TotalDBEdit, row, 3);
  grid->addWidget(TotalCDEdit, row, 4);
  outer->addWidget(PageControl1);

  auto* bottom = new ui::Panel(this, this, "Panel1");
  auto* buttons = new QHBoxLayout(bottom);
  PostBtn = new ui::Button(this, bottom, "PostBtn", "Post");
  PostBtn->setHint("Accept transaction");
  CancelBtn = new ui::Button(this, bottom, "CancelBtn", "Cancel");
  CancelBtn->setHint("Cancel entry");
  CancelBtn->setTag(kTag13);
  Exit_btn = new ui::Button(this, bottom, "Exit_btn", "Exit");
  Exit_btn->setTag(kTag13);
  Help_btn = new ui::Button(this, bottom, "Help_btn", "Help");
  SpeedButton1 = new ui::ToolButton(this, bottom, "SpeedButton1", "Print screen");
  SpeedButton2 = new ui::ToolButton(this, bottom, "SpeedButton2", "E-Mail to");
  SpeedButton3 = new ui::ToolButton(this, bottom, "SpeedButton3", "Quick Link");
  SpeedButton4 = new ui::ToolButton(this, bottom, "SpeedButton4", "Change period");
  for (QWidget* b : std::initializer_list<QWidget*>{SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4, PostBtn,
                                                    CancelBtn, Exit_btn, Help_btn})
    buttons->addWidget(b);
  for (QPushButton* b : {PostBtn, CancelBtn, Exit_btn, Help_btn}) b->setAutoDefault(false);
  outer->addWidget(bottom);
  StatusBar1 = new ui::StatusBar(this, this, "StatusBar1", {250, 250, 50});
  StatusBar1->setPanelText(2, "Version ");
  outer->addWidget(StatusBar1);
  IntlStrings1 = new ui::Memo(this, this, "IntlStrings1");
  IntlStrings1->setLines(kMessages);
  IntlStrings1->setVisible(false);

  // ---- events
  connect(Norvadeldbedit1, &ui::MaskEdit::exited, this, [this] { later([this] { rules_->supplierExit(); }); });
  connect(SearchBtn, &QPushButton::clicked, this, [this] { SearchBtnClick(); });
  connect(CheckBox1, &QCheckBox::clicked, this, [this](bool checked) {
    run([this, checked] { rules_->directCashClicked(checked); });
  });
  connect(InvoiceNum, &ui::MaskEdit::exited, this, [this] {
    const bool toTag13 = isTag13(QApplication::focusWidget());
    later([this, toTag13] { rules_->invoiceExit(toTag13); });
  });
  connect(DebCreRef, &ui::MaskEdit::exited, this, [this] {
    const bool toTag13 = isTag13(QApplication::focusWidget());
    later([this, toTag13] { rules_->referenceExit(toTag13); });
  });
  connect(TransDate, &ui::MaskEdit::exited, this, [this] { later([this] { rules_->transDateExit(); }); });
  connect(TransDueDate, &ui::MaskEdit::exited, this, [this] { later([this] { rules_->dueDateExit(); }); });
  connect(SearchAccountBtn, &QPushButton::clicked, this, [this] { SearchAccountBtnClick(); });
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    const size_t i = size_t(n - 1);
    connect(accountEdits[i], &ui::MaskEdit::entered, this, [this, n] { rules_->enterLine(n); });
    connect(accountEdits[i], &ui::MaskEdit::exited, this, [this, n] { later([this, n] { rules_->accountExit(n); }); });
    connect(descriptionEdits[i], &ui::MaskEdit::entered, this, [this, n] { rules_->enterLine(n); });
    connect(debitCells[i], &ui::CurrencyField::entered, this, [this, n] { rules_->amountEnter(n, true); });
    connect(debitCells[i], &ui::CurrencyField::exited, this, [this, n] { later([this, n] { rules_->debitExit(n); }); });
    connect(creditCells[i], &ui::CurrencyField::entered, this, [this, n] { rules_->amountEnter(n, false); });
    connect(creditCells[i], &ui::CurrencyField::exited, this,
            [this, n] { later([this, n] { rules_->creditExit(n); }); });
    accountEdits[i]->installEventFilter(this);
  }
  connect(PostBtn, &QPushButton::clicked, this, [this] { PostBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(Exit_btn, &QPushButton::clicked, this, [this] { Exit_btnClick(); });
  connect(Help_btn, &QPushButton::clicked, this, [this] { Help_btnClick(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
  connect(SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
}

void Tvd87_frm::applyDateMasks() {
  const QString mask = q(db::dateEditMask(db::RegionalFormats::current().shortDateFormat));
  for (ui::Component* c : components()) {
    auto* edit = dynamic_cast<ui::MaskEdit*>(c);
    if (!edit || dynamic_cast<ui::DBEdit*>(c)) continue;
    const QString m = edit->editMask();
    if (m == "99/99/9999" || m == "9999/99/99" || m == "!99/99/9999" || m == "!99/99/9999;1; ") edit->setEditMask(mask);
  }
}

// ---------------------------------------------------------------- document <-> controls

void Tvd87_frm::pull() {
  doc_->supplierCode = s(Norvadeldbedit1->text());
  doc_->directCash = CheckBox1->isChecked();
  doc_->type = static_cast<EntryType>(std::clamp(TransType->currentIndex(), 0, 3));
  doc_->invoiceNumber = s(InvoiceNum->text());
  doc_->transDate = s(TransDate->text());
  doc_->dueDate = s(TransDueDate->text());
  doc_->reference = s(DebCreRef->text());
  doc_->memo = s(TransMemo->toPlainText());
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    doc_->setAccountText(n, s(accountEdits[size_t(n - 1)]->text()));
    doc_->setDescription(n, s(descriptionEdits[size_t(n - 1)]->text()));
  }
}

void Tvd87_frm::push() {
  setTextIfChanged(Norvadeldbedit1, q(doc_->supplierCode));
  Norvadeldbedit1->setEnabled(doc_->supplierEnabled);
  SearchBtn->setEnabled(doc_->supplierEnabled);
  SupplierPanel->setVisible(doc_->supplierShown);
  {
    const QSignalBlocker block(CheckBox1);
    CheckBox1->setChecked(doc_->directCash);
  }
  TransType->setCurrentIndex(static_cast<int>(doc_->type));
  setTextIfChanged(InvoiceNum, q(doc_->invoiceNumber));
  setTextIfChanged(TransDate, q(doc_->transDate));
  setTextIfChanged(TransDueDate, q(doc_->dueDate));
  setTextIfChanged(DebCreRef, q(doc_->reference));
  if (TransMemo->toPlainText() != q(doc_->memo)) TransMemo->setPlainText(q(doc_->memo));
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    setTextIfChanged(accountEdits[size_t(n - 1)], q(doc_->accountText(n)));
    setTextIfChanged(descriptionEdits[size_t(n - 1)], q(doc_->description(n)));
  }
}

void Tvd87_frm::run(const std::function<void()>& rule) {
  if (closing_ || !dm_.vd87db.connected()) return;
  pull();
  rule();
  push();
}

void Tvd87_frm::later(std::function<void()> rule) {
  QTimer::singleShot(0, this, [this, rule = std::move(rule)] { run(rule); });
}

// ---------------------------------------------------------------- prompts

QString Tvd87_frm::message(int number) const {
  const QString line = IntlStrings1->line(number);
  return line.isEmpty() ? kMessages.value(number) : line;
}

bool Tvd87_frm::showMessage(int number, MessageStyle style) {
  ui::MessageKind kind = ui::MessageKind::kInformation;
  ui::Buttons buttons = ui::Buttons::kOk;
  switch (style) {
    case MessageStyle::kInformation: break;
    case MessageStyle::kPlain: kind = ui::MessageKind::kPlain; break;
    case MessageStyle::kError: kind = ui::MessageKind::kError; break;
    case MessageStyle::kQuestion: buttons = ui::Buttons::kYesNo; break;
  }
  const ui::Answer answer = ui::dialogs().message(this, kind, windowTitle(), message(number), buttons);
  return style == MessageStyle::kQuestion ? answer == ui::Answer::kYes : true;
}

void Tvd87_frm::focus(Control control, int line) {
  QWidget* target = nullptr;
  const size_t i = size_t(std::clamp(line, 1, EntryDocument::kLines) - 1);
  switch (control) {
    case Control::kSupplierCode: target = Norvadeldbedit1; break;
    case Control::kTransType: target = TransType; break;
    case Control::kInvoiceNum: target = InvoiceNum; break;
    case Control::kDebCreRef: target = DebCreRef; break;
    case Control::kTransDate: target = TransDate; break;
    case Control::kTransDueDate: target = TransDueDate; break;
    case Control::kTransMemo: target = TransMemo; break;
    case Control::kAccount: target = accountEdits[i]; break;
    case Control::kDebit: target = debitCells[i]; break;
    case Control::kCredit: target = creditCells[i]; break;
  }
  // After the focus change under way, if any.
  QTimer::singleShot(0, this, [this, target] {
    if (closing_ || !target) return;
    target->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
  });
}

bool Tvd87_frm::isTag13(QWidget* w) const {
  auto* c = dynamic_cast<ui::Component*>(w);
  return c && c->owner() == this && c->tag() == kTag13;
}

bool Tvd87_frm::isGuarded(QWidget* w) const {
  if (!w) return false;
  if (w == TransType || w == InvoiceNum || w == DebCreRef || w == TransDate || w == TransDueDate || w == TransMemo)
    return true;
  for (size_t i = 0; i < accountEdits.size(); ++i)
    if (w == accountEdits[i] || w == descriptionEdits[i] || w == debitCells[i] || w == creditCells[i]) return true;
  return false;
}

bool Tvd87_frm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn && dm_.vd87db.connected() && !closing_) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (isGuarded(w)) {
      pull();
      rules_->guardAllows();
    }
  }
  if (event->type() == QEvent::MouseButtonDblClick) {
    for (ui::MaskEdit* a : accountEdits)
      if (watched == a) {
        rules_->enterLine(a->tag());
        SearchAccountBtnClick();
        return true;
      }
  }
  return ui::Form::eventFilter(watched, event);
}

// ---------------------------------------------------------------- keys

bool Tvd87_frm::FormKeyDown(QKeyEvent* event) {
  QWidget* focused = QApplication::focusWidget();
  bool handled = false;
  auto* component = dynamic_cast<ui::Component*>(focused);
  if (event->key() == Qt::Key_F2 && focused == Norvadeldbedit1) {
    SearchBtnClick();
    handled = true;
  } else if (event->key() == Qt::Key_F2 && component && component->hint() == "1") {
    rules_->enterLine(component->tag());
    SearchAccountBtnClick();
    handled = true;
  } else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Down ||
              event->key() == Qt::Key_Up) &&
             !suppress_ && !qobject_cast<QPlainTextEdit*>(focused) && !qobject_cast<QAbstractItemView*>(focused)) {
    const bool forward = event->key() != Qt::Key_Up;
    for (int step = 0; step < 200; ++step) {
      focusNextPrevChild(forward);
      if (isEditingControl(QApplication::focusWidget())) break;
    }
    handled = true;
  }
  suppress_ = false;
  return handled;
}

// ---------------------------------------------------------------- first activation

bool Tvd87_frm::openTable(db::Table& table) {
  const pdx::Status st = table.open();
  if (st.ok()) return true;
  const int language = shared::Context().language();
  ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(),
                        q(openTableErrorText(table.tableName(), language)), ui::Buttons::kOk);
  // The application's main window goes, and the program with it; without the
  // shell around, this window goes.
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* main = qobject_cast<QMainWindow*>(w)) main->close();
  closing_ = true;
  dm_.closeAll();
  QTimer::singleShot(0, this, [this] { done(QDialog::Rejected); });
  return false;
}

void Tvd87_frm::FormActivate() {
  if (dm_.vd87db.connected()) return;
  shared::SessionContext& context = shared::Context();
  db::check(shared::StartModuleWindow(*this, StatusBar1, "vd87", dm_.vd87db));
  context.setLaunchQualifier("N");
  dm_.setPaths(s(context.companyDirectory()), s(context.dataDir()));
  db::check(dm_.vd87db.connect());
  for (db::Table* t : dm_.openOrder())
    if (!openTable(*t)) return;
  shared::ApplyDateFormat(dm_.dataSets());
  db::check(dm_.holdScratchRow(context.sessionId()));
  setCaption(q(startCaption(dm_, s(message(msg::kPeriodCaption)))));
  db::check(dm_.ctrl.first());
  auto sign = [this](int n) {
    return q(dm_.ctrl.fieldByName("Ctrl_curr" + std::to_string(n) + "_sign").asString());
  };
  shared::LoadCurrencySymbols(sign(1), sign(2), sign(3), sign(4));
  posting_->user = PayablesPosting::authorOf(s(context.loginName()), s(context.userName()));
  rules_->start();
  push();
  Norvadeldbedit1->setFocus();
  if (shared::QuickLinkWindowOpen()) SpeedButton3->setEnabled(false);
}

// ---------------------------------------------------------------- buttons

void Tvd87_frm::PostBtnClick() {
  run([this] { posting_->post(); });
}

void Tvd87_frm::CancelBtnClick() {
  run([this] {
    rules_->resetScreen();
    doc_->supplierEnabled = true;
    focus(Control::kSupplierCode, 0);
  });
}

void Tvd87_frm::Exit_btnClick() {
  closing_ = true;
  dm_.closeAll();
  done(QDialog::Accepted);
}

void Tvd87_frm::Help_btnClick() { (void)os::Services::help().showTopic(ui::Application::helpFile(), kHelpContext); }

void Tvd87_frm::SpeedButton1Click() { ui::dialogs().printWidget(this, true); }

void Tvd87_frm::SpeedButton2Click() {
  const QString email = q(dm_.sup.active() ? dm_.sup.fieldByName("Sup_email").asString() : std::string());
  (void)os::Services::programs().openMailTo(email);
}

void Tvd87_frm::SpeedButton3Click() {
  QuickLink(shared::Context().record());
  installExceptionHandler();
}

void Tvd87_frm::SpeedButton4Click() {
  const int period = period_.changePeriod(rules_->transactionPeriod, shared::Context().language());
  rules_->transactionPeriod = static_cast<int16_t>(period);
  setCaption(q(changedCaption(dm_, s(message(msg::kPeriodCaption)), s(message(msg::kTransactionPeriod)), period)));
}

void Tvd87_frm::SearchBtnClick() {
  const uint32_t chosen = QuensorSelect(shared::Context().record());
  const QString code = shared::text(chosen);
  tallimoor_str_release(chosen);
  run([this, code] { rules_->supplierChosen(s(code)); });
}

void Tvd87_frm::SearchAccountBtnClick() {
  const int32_t account = PelkoranSelect(shared::Context().record());
  run([this, account] { rules_->accountChosen(account); });
}

// ---------------------------------------------------------------- errors

void Tvd87_frm::installExceptionHandler() {
  ui::Application::setExceptionHandler([this](std::exception_ptr e) { handleException(e); });
}

void Tvd87_frm::handleException(std::exception_ptr error) {
  suppress_ = true;
  try {
    std::rethrow_exception(error);
  } catch (const db::DatabaseError& e) {
    const db::ErrorEntry& last = e.last();
    if (last.errorCode != pdx::code::kRecordLocked)
      error_.showError(QString::number(last.category()), QString::number(last.subCode()), QString::fromUtf8(e.what()));
    keyPreview = false;
    closing_ = true;
    done(QDialog::Rejected);
  } catch (...) {
    // Anything else only stops the operation under way.
  }
}

}  // namespace vd87
