#include "vd87_frm.h"

#include <QApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMainWindow>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

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
    "Do you want to close the window and drop the document being entered?",
    "The mail program could not be opened.",
    "This supplier has no e-mail address.",
};

// The description edits of lines 1 to 11, by their design names.
const char* const kDescriptionNames[EntryDocument::kLines] = {"Edit3",  "Edit1",  "Edit4",  "Edit6",
                                                              "Edit10", "Edit12", "Edit14", "Edit16",
                                                              "Edit18", "Edit2",  "Edit5"};

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

bool isEditingControl(QWidget* w) { return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w); }

// Shows `text` in `edit` when it shows something else. A field the user is
// in keeps its text selected when it was, so that what is typed next
// replaces the new text; a field the user is not in shows the start of its
// text, which says more than its end.
void setTextIfChanged(QLineEdit* edit, const QString& text) {
  auto* masked = dynamic_cast<ui::MaskEdit*>(edit);
  const QString shown = masked ? masked->text() : edit->text();
  if (shown == text) return;
  const bool wholeSelected = edit->hasFocus() && edit->hasSelectedText() &&
                             edit->selectedText().size() == edit->displayText().size();
  if (masked)
    masked->setText(text);
  else
    edit->setText(text);
  if (wholeSelected)
    edit->selectAll();
  else if (!edit->hasFocus())
    edit->setCursorPosition(0);
}

}  // namespace

Tvd87_frm::Tvd87_frm(Tvd87_dm& dm, Tperiod_frm& period, TErrorForm& error, QWidget* parent)
    : ui::Form("vd87_frm", parent), dm_(dm), period_(period), error_(error) {
  doc_ = std::make_unique<EntryDocument>(dm_.virmem);
  rules_ = std::make_unique<EntryRules>(dm_, *doc_, static_cast<EntryPrompts&>(*this));
  posting_ = std::make_unique<PayablesPosting>(*rules_);
  rules_->selectCurrency = [](int index) { shared::SelectCurrency(index); };
  posting_->setPostingFlag = [](const std::string& flag) { shared::Context().setLaunchQualifier(q(flag)); };
  // Waiting for another user's supplier: the window goes on drawing itself
  // and shows that it is busy, but takes no input until the posting ends.
  posting_->pause = [this](int ms) {
    if (!waitCursor_) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      waitCursor_ = true;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  };
  build();
  keyPreview = true;
  helpContext = kHelpContext;
  onKeyPreview = [this](QKeyEvent* e) { return FormKeyDown(e); };
  onFirstActivate = [this] { FormActivate(); };
}

Tvd87_frm::~Tvd87_frm() {
  closing_ = true;
  restoreCursor();
}

// ---------------------------------------------------------------- layout

namespace {

// The width a one-line edit needs to show `sample` whole.
int editWidth(const QWidget* w, const QString& sample) {
  const int frame = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  return w->fontMetrics().horizontalAdvance(sample) + 2 * frame + w->fontMetrics().averageCharWidth() + 8;
}

}  // namespace

void Tvd87_frm::build() {
  setCaption(kMessages[msg::kPeriodCaption]);
  auto* outer = new QVBoxLayout(this);
  PageControl1 = new ui::PageControl(this, this, "PageControl1");
  auto* page = new ui::TabSheet(this, PageControl1, "TabSheet1", "General");
  auto* pageLayout = new QVBoxLayout(page);
  buildHeader(page, pageLayout);
  buildLines(page, pageLayout);
  outer->addWidget(PageControl1);
  buildButtons(outer);
  StatusBar1 = new ui::StatusBar(this, this, "StatusBar1", {250, 250, 50});
  StatusBar1->setPanelText(2, "Version ");
  outer->addWidget(StatusBar1);
  IntlStrings1 = new ui::Memo(this, this, "IntlStrings1");
  IntlStrings1->setLines(kMessages);
  IntlStrings1->setVisible(false);
  connectEvents();
}

void Tvd87_frm::buildHeader(QWidget* page, QBoxLayout* into) {
  auto* grid = new QGridLayout;
  into->addLayout(grid);
  auto label = [&](const QString& name, const QString& caption, int r, int c) {
    auto* l = new ui::Label(this, page, name, caption);
    grid->addWidget(l, r, c);
    return l;
  };
  const QString code10 = QStringLiteral("MMMMMMMMMM");

  label("Label1", "Supplier", 0, 0);
  auto* codeBox = new QHBoxLayout;
  codeBox->setSpacing(2);
  Norvadeldbedit1 = new ui::MaskEdit(this, page, "Norvadeldbedit1");
  Norvadeldbedit1->setMaxLength(10);
  Norvadeldbedit1->setTag(kTag13);
  Norvadeldbedit1->setFixedWidth(editWidth(Norvadeldbedit1, code10));
  SearchBtn = new ui::Button(this, page, "SearchBtn", "...");
  SearchBtn->setHint("List of suppliers");
  SearchBtn->setTag(kTag13);
  // A click on the lookup does not leave the code being keyed.
  SearchBtn->setFocusPolicy(Qt::TabFocus);
  const int side = Norvadeldbedit1->sizeHint().height();
  SearchBtn->setFixedSize(side + 4, side);
  codeBox->addWidget(Norvadeldbedit1);
  codeBox->addWidget(SearchBtn);
  codeBox->addStretch();
  grid->addLayout(codeBox, 0, 1);
  CheckBox1 = new ui::CheckBox(this, page, "CheckBox1", "Direct/cash purchase");
  grid->addWidget(CheckBox1, 0, 3, 1, 2);

  // The supplier's name and address: room is kept for them while they are
  // hidden, and long ones are cut at the right rather than widening the
  // window.
  SupplierPanel = new ui::Panel(this, page, "SupplierPanel");
  auto* supplierLayout = new QVBoxLayout(SupplierPanel);
  supplierLayout->setContentsMargins(6, 4, 6, 4);
  supplierLayout->setSpacing(2);
  const char* supplierFields[] = {"Sup_name", "Sup_adr1", "Sup_adr2", "Sup_city", "Sup_prov"};
  for (int k = 0; k < 5; ++k) {
    auto* t = new ui::DBText(this, SupplierPanel, "DBText" + QString::number(k + 1));
    t->setDataSource(&dm_.DataSource1);
    t->setDataField(supplierFields[k]);
    t->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    if (k == 0) {
      QFont bold = t->font();
      bold.setBold(true);
      t->setFont(bold);
    }
    supplierLayout->addWidget(t);
    supplierLabels[size_t(k)] = t;
  }
  SupplierPanel->setMinimumWidth(fontMetrics().averageCharWidth() * 42);
  QSizePolicy keep = SupplierPanel->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  SupplierPanel->setSizePolicy(keep);
  SupplierPanel->setVisible(false);
  grid->addWidget(SupplierPanel, 1, 0, 5, 2);
  grid->setColumnMinimumWidth(2, 16);
  grid->setColumnStretch(2, 1);

  label("Label2", "Type", 1, 3);
  TransType = new ui::ComboBox(this, page, "TransType");
  TransType->setItems({"Purchase", "Debit", "Credit", "Adjustment"});
  // Its width follows the translated items.
  TransType->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  grid->addWidget(TransType, 1, 4);
  label("Label3", "Invoice", 2, 3);
  InvoiceNum = new ui::MaskEdit(this, page, "InvoiceNum");
  InvoiceNum->setMaxLength(10);
  InvoiceNum->setFixedWidth(editWidth(InvoiceNum, code10));
  grid->addWidget(InvoiceNum, 2, 4);
  label("Label4", "Date", 3, 3);
  TransDate = new ui::MaskEdit(this, page, "TransDate", "!99/99/9999;1; ");
  TransDate->setFixedWidth(editWidth(TransDate, code10));
  grid->addWidget(TransDate, 3, 4);
  label("Label5", "Due date", 4, 3);
  TransDueDate = new ui::MaskEdit(this, page, "TransDueDate", "!99/99/9999;1; ");
  TransDueDate->setFixedWidth(editWidth(TransDueDate, code10));
  grid->addWidget(TransDueDate, 4, 4);
  label("Label6", "Reference", 5, 3);
  DebCreRef = new ui::MaskEdit(this, page, "DebCreRef");
  DebCreRef->setMaxLength(10);
  DebCreRef->setFixedWidth(editWidth(DebCreRef, code10));
  grid->addWidget(DebCreRef, 5, 4);
  for (QWidget* w : std::initializer_list<QWidget*>{TransType, InvoiceNum, TransDate, TransDueDate, DebCreRef})
    grid->setAlignment(w, Qt::AlignLeft);

  label("Label7", "Memo", 6, 0)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  TransMemo = new ui::Memo(this, page, "TransMemo");
  TransMemo->setTabChangesFocus(true);
  TransMemo->setFixedHeight(fontMetrics().lineSpacing() * 3 + 12);
  grid->addWidget(TransMemo, 6, 1, 1, 4);
}

void Tvd87_frm::buildLines(QWidget* page, QBoxLayout* into) {
  auto* grid = new QGridLayout;
  grid->setVerticalSpacing(2);
  into->addLayout(grid);
  auto label = [&](const QString& name, const QString& caption, int c, Qt::Alignment align) {
    auto* l = new ui::Label(this, page, name, caption);
    grid->addWidget(l, 0, c, align);
    return l;
  };
  SearchAccountBtn = new ui::Button(this, page, "SearchAccountBtn", "...");
  SearchAccountBtn->setHint("List of accounts");
  // A click on the lookup does not leave the line being keyed.
  SearchAccountBtn->setFocusPolicy(Qt::TabFocus);
  SearchAccountBtn->setFixedSize(SearchBtn->size());
  grid->addWidget(SearchAccountBtn, 0, 0);
  label("Label8", "Account", 1, Qt::AlignLeft);
  label("Label9", "Description", 2, Qt::AlignLeft);
  label("Label10", "Debit", 3, Qt::AlignRight);
  label("Label11", "Credit", 4, Qt::AlignRight);

  const QString amountSample = QStringLiteral("(9 999 999.99 $)");
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    const size_t i = size_t(n - 1);
    auto* account = new ui::MaskEdit(this, page, "NorvadelMaskEdit" + QString::number(n));
    account->setHint("1");
    account->setMaxLength(10);
    account->setFixedWidth(editWidth(account, QStringLiteral("0000000000")));
    auto* description = new ui::MaskEdit(this, page, kDescriptionNames[i]);
    description->setMaxLength(60);
    description->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    auto* debit = new ui::CurrencyField(this, page, "DebitCell" + QString::number(n));
    debit->setDataSource(&dm_.DataSource2);
    debit->setDataField(EntryDocument::debitField(n));
    debit->setFixedWidth(editWidth(debit, amountSample));
    auto* credit = new ui::CurrencyField(this, page, "CreditCell" + QString::number(n));
    credit->setDataSource(&dm_.DataSource2);
    credit->setDataField(EntryDocument::creditField(n));
    credit->setFixedWidth(editWidth(credit, amountSample));
    for (ui::Component* c : std::initializer_list<ui::Component*>{account, description, debit, credit}) c->setTag(n);
    grid->addWidget(account, n, 1);
    grid->addWidget(description, n, 2);
    grid->addWidget(debit, n, 3);
    grid->addWidget(credit, n, 4);
    accountEdits[i] = account;
    descriptionEdits[i] = description;
    debitCells[i] = debit;
    creditCells[i] = credit;
  }
  const int totals = EntryDocument::kLines + 1;
  auto* totalsLabel = new ui::Label(this, page, "Label12", "Totals");
  grid->addWidget(totalsLabel, totals, 2, Qt::AlignRight);
  TotalDBEdit = new ui::CurrencyField(this, page, "TotalDBEdit");
  TotalDBEdit->setDataSource(&dm_.DataSource2);
  TotalDBEdit->setDataField(EntryDocument::kTotalDebitField);
  TotalDBEdit->setReadOnly(true);
  TotalDBEdit->setFixedWidth(editWidth(TotalDBEdit, amountSample));
  TotalCDEdit = new ui::CurrencyField(this, page, "TotalCDEdit");
  TotalCDEdit->setDataSource(&dm_.DataSource2);
  TotalCDEdit->setDataField(EntryDocument::kTotalCreditField);
  TotalCDEdit->setReadOnly(true);
  TotalCDEdit->setFixedWidth(editWidth(TotalCDEdit, amountSample));
  grid->addWidget(TotalDBEdit, totals, 3);
  grid->addWidget(TotalCDEdit, totals, 4);
  grid->setColumnStretch(2, 1);
}

void Tvd87_frm::buildButtons(QBoxLayout* into) {
  auto* bottom = new ui::Panel(this, this, "Panel1");
  auto* buttons = new QHBoxLayout(bottom);
  PostBtn = new ui::Button(this, bottom, "PostBtn", "&Post");
  PostBtn->setHint("Accept transaction");
  CancelBtn = new ui::Button(this, bottom, "CancelBtn", "&Cancel");
  CancelBtn->setHint("Cancel entry");
  CancelBtn->setTag(kTag13);
  Exit_btn = new ui::Button(this, bottom, "Exit_btn", "E&xit");
  Exit_btn->setTag(kTag13);
  Help_btn = new ui::Button(this, bottom, "Help_btn", "&Help");
  SpeedButton1 = new ui::ToolButton(this, bottom, "SpeedButton1", "Print screen");
  SpeedButton2 = new ui::ToolButton(this, bottom, "SpeedButton2", "E-Mail to");
  SpeedButton3 = new ui::ToolButton(this, bottom, "SpeedButton3", "Quick Link");
  SpeedButton4 = new ui::ToolButton(this, bottom, "SpeedButton4", "Change period");
  for (QWidget* b : std::initializer_list<QWidget*>{SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4})
    buttons->addWidget(b);
  buttons->addStretch();
  for (QWidget* b : std::initializer_list<QWidget*>{PostBtn, CancelBtn, Exit_btn, Help_btn}) buttons->addWidget(b);
  for (QPushButton* b : {PostBtn, CancelBtn, Exit_btn, Help_btn}) b->setAutoDefault(false);
  SpeedButton2->setEnabled(false);  // until a supplier is shown
  into->addWidget(bottom);
}

void Tvd87_frm::connectEvents() {
  for (ui::MaskEdit* edit : {Norvadeldbedit1, InvoiceNum, DebCreRef, TransDate, TransDueDate})
    connect(edit, &ui::MaskEdit::exited, this, [this, edit] { controlExited(edit); });
  connect(SearchBtn, &QPushButton::clicked, this, [this] { SearchBtnClick(); });
  connect(CheckBox1, &QCheckBox::clicked, this, [this](bool checked) {
    if (!leaveFor(CheckBox1)) return;
    run([this, checked] { rules_->directCashClicked(checked); });
  });
  connect(SearchAccountBtn, &QPushButton::clicked, this, [this] { SearchAccountBtnClick(); });
  for (size_t i = 0; i < accountEdits.size(); ++i) {
    ui::MaskEdit* account = accountEdits[i];
    connect(account, &ui::MaskEdit::exited, this, [this, account] { controlExited(account); });
    for (ui::CurrencyField* cell : {debitCells[i], creditCells[i]}) {
      connect(cell, &ui::CurrencyField::exited, this, [this, cell] { controlExited(cell); });
      // What a cell stored shows in the totals at once.
      connect(cell, &ui::CurrencyField::valueChanged, this, [this] {
        if (live() && dm_.virmem.editing()) doc_->refreshTotals();
      });
    }
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

void Tvd87_frm::fixSize() {
  // The translated texts decide the size; the window is a form, not resized
  // by the user.
  layout()->activate();
  setFixedSize(sizeHint());
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
  // The direct/cash box is not read back: only its rule changes the
  // document's flag, so a click whose step was refused leaves it as it was.
  doc_->supplierCode = s(Norvadeldbedit1->text());
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
  SpeedButton2->setEnabled(doc_->supplierShown);
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

bool Tvd87_frm::live() const { return !closing_ && dm_.vd87db.connected(); }

void Tvd87_frm::run(const std::function<void()>& rule) {
  if (!live()) return;
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } depth(ruleDepth_);
  pull();
  rule();
  push();
  if (ruleDepth_ == 1 && !settling_) applyFocusRequest();
}

// ---------------------------------------------------------------- focus steps

void Tvd87_frm::controlExited(QWidget* control) {
  // Only the control the user was in has an exit: one the focus crossed on
  // its way, or that a refusal took it from before it was entered, has none.
  if (!live() || control != current_) return;
  current_ = nullptr;
  leaving_ = control;
  scheduleSettle();
}

void Tvd87_frm::focusEntered(QWidget* control) {
  if (!live() || control == current_) return;
  entering_ = control;
  scheduleSettle();
}

void Tvd87_frm::scheduleSettle() {
  if (settleScheduled_) return;
  settleScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    settleScheduled_ = false;
    settle();
  });
}

bool Tvd87_frm::settle() {
  if (!live() || settling_) return true;
  if (ruleDepth_ > 0) {
    // A rule is showing a message: the step waits for it to end.
    scheduleSettle();
    return true;
  }
  struct Flag {
    bool& flag;
    explicit Flag(bool& f) : flag(f) { flag = true; }
    ~Flag() { flag = false; }
  } settling(settling_);
  bool accepted = true;
  if (QWidget* left = leaving_) {
    leaving_ = nullptr;
    focusRequest_ = nullptr;
    const bool toTag13 = isTag13(QApplication::focusWidget());
    run([this, left, toTag13] { runExitRule(left, toTag13); });
    accepted = !focusRequest_;
  }
  QWidget* reached = entering_;
  entering_ = nullptr;
  if (accepted && reached && !current_ && reached == QApplication::focusWidget()) {
    current_ = reached;
    focusRequest_ = nullptr;
    run([this, reached] { runEntryRule(reached); });
  }
  applyFocusRequest();
  return accepted;
}

bool Tvd87_frm::hasExitRule(QWidget* w) const {
  if (w == Norvadeldbedit1 || w == InvoiceNum || w == DebCreRef || w == TransDate || w == TransDueDate) return true;
  for (size_t i = 0; i < accountEdits.size(); ++i)
    if (w == accountEdits[i] || w == debitCells[i] || w == creditCells[i]) return true;
  return false;
}

void Tvd87_frm::runExitRule(QWidget* control, bool toTag13) {
  if (control == Norvadeldbedit1) return rules_->supplierExit();
  if (control == InvoiceNum) return (void)rules_->invoiceExit(toTag13);
  if (control == DebCreRef) return (void)rules_->referenceExit(toTag13);
  if (control == TransDate) return (void)rules_->transDateExit();
  if (control == TransDueDate) return (void)rules_->dueDateExit();
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    const size_t i = size_t(n - 1);
    if (control == accountEdits[i]) return (void)rules_->accountExit(n);
    if (control == debitCells[i]) return rules_->debitExit(n);
    if (control == creditCells[i]) return rules_->creditExit(n);
  }
}

void Tvd87_frm::runEntryRule(QWidget* control) {
  if (isGuarded(control) && !rules_->guardAllows()) return;
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    const size_t i = size_t(n - 1);
    if (control == accountEdits[i] || control == descriptionEdits[i]) return rules_->enterLine(n);
    if (control == debitCells[i]) return rules_->amountEnter(n, true);
    if (control == creditCells[i]) return rules_->amountEnter(n, false);
  }
}

void Tvd87_frm::applyFocusRequest() {
  QPointer<QWidget> target = focusRequest_;
  focusRequest_ = nullptr;
  if (!target || !live()) return;
  // The rule decided where the user goes: the control left this way has no
  // exit, and the target is entered afresh.
  current_ = nullptr;
  leaving_ = nullptr;
  target->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(target.data())) edit->selectAll();
  if (target && QApplication::focusWidget() == target) focusEntered(target);
}

bool Tvd87_frm::leaveFor(QWidget* button) {
  if (!live()) return false;
  QWidget* focused = QApplication::focusWidget();
  if (focused != button && focused && isAncestorOf(focused)) button->setFocus(Qt::OtherFocusReason);
  return settle();
}

// ---------------------------------------------------------------- prompts

QString Tvd87_frm::message(int number) const {
  const QString line = IntlStrings1->line(number);
  return line.isEmpty() ? kMessages.value(number) : line;
}

bool Tvd87_frm::showMessage(int number, MessageStyle style) {
  restoreCursor();
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
  // Given once the rule and the document are through (see run()).
  focusRequest_ = target;
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
  auto* w = qobject_cast<QWidget*>(watched);
  const bool mine = w && isAncestorOf(w);
  if (mine && live()) {
    switch (event->type()) {
      case QEvent::FocusIn:
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) focusEntered(w);
        break;
      case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
        if (w == current_ && !hasExitRule(w)) current_ = nullptr;
        // A description longer than its edit shows its beginning once left.
        for (ui::MaskEdit* d : descriptionEdits)
          if (w == d) d->setCursorPosition(0);
        break;
      }
      case QEvent::KeyPress:
        // A key acts on the control the step ends in: what the user types
        // after Enter lands in the next field once that field's text is set.
        if (leaving_ || entering_) {
          settle();
          if (QApplication::focusWidget() != w) return true;
        }
        break;
      case QEvent::MouseButtonDblClick:
        for (ui::MaskEdit* a : accountEdits) {
          if (watched != a) continue;
          if (settle() && QApplication::focusWidget() == a) SearchAccountBtnClick();
          return true;
        }
        break;
      default: break;
    }
  }
  if (watched == quickLink_ && (event->type() == QEvent::Hide || event->type() == QEvent::Close))
    SpeedButton3->setEnabled(true);
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
  fixSize();
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
  if (QApplication::focusWidget() == Norvadeldbedit1) focusEntered(Norvadeldbedit1);
  if (shared::QuickLinkWindowOpen()) SpeedButton3->setEnabled(false);
  watchQuickLink();
}

// ---------------------------------------------------------------- buttons

void Tvd87_frm::PostBtnClick() {
  if (!leaveFor(PostBtn)) return;
  struct Cursor {
    Tvd87_frm& frm;
    ~Cursor() { frm.restoreCursor(); }
  } cursor{*this};
  run([this] {
    try {
      posting_->post();
    } catch (const db::DatabaseError& e) {
      // The user reads the translated message; the engine's words follow
      // for whoever looks into it.
      const db::ErrorEntry& last = e.last();
      throw db::DatabaseError(pdx::Status(last.errorCode, s(message(msg::kPostingFailed)) + "\n" + last.message));
    }
  });
}

void Tvd87_frm::CancelBtnClick() {
  if (!leaveFor(CancelBtn)) return;
  run([this] {
    rules_->resetScreen();
    doc_->supplierEnabled = true;
    focus(Control::kSupplierCode, 0);
  });
}

void Tvd87_frm::Exit_btnClick() {
  if (!leaveFor(Exit_btn)) return;
  closeWindow();
}

void Tvd87_frm::closeWindow() {
  closing_ = true;
  dm_.closeAll();
  done(QDialog::Accepted);
}

void Tvd87_frm::reject() {
  if (!live()) {
    QDialog::reject();
    return;
  }
  // A rule under way (a posting waiting for another user) finishes first:
  // its tables must not close under it.
  if (ruleDepth_ > 0) return;
  pull();
  if (rules_->documentInProgress()) {
    const ui::Answer answer = ui::dialogs().message(this, ui::MessageKind::kConfirmation, windowTitle(),
                                                    message(msg::kCloseQuestion), ui::Buttons::kYesNo);
    if (answer != ui::Answer::kYes) return;
  }
  closeWindow();
}

void Tvd87_frm::Help_btnClick() { (void)os::Services::help().showTopic(ui::Application::helpFile(), kHelpContext); }

void Tvd87_frm::SpeedButton1Click() { ui::dialogs().printWidget(this, true); }

void Tvd87_frm::SpeedButton2Click() {
  if (!live() || !doc_->supplierShown) return;
  auto found = dm_.sup.findKey({pdx::Value::text(doc_->supplierCode)});
  db::check(found.status());
  if (!*found) return;
  const QString email = q(dm_.sup.fieldByName("Sup_email").asString()).trimmed();
  if (email.isEmpty()) {
    showMessage(msg::kNoMailAddress, MessageStyle::kInformation);
    return;
  }
  const os::Status opened = os::Services::programs().openMailTo(email);
  if (opened.ok()) return;
  ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(),
                        message(msg::kMailFailed) + "\n" + opened.text(shared::Context().language()),
                        ui::Buttons::kOk);
}

void Tvd87_frm::SpeedButton3Click() {
  QuickLink(shared::Context().record());
  installExceptionHandler();
  watchQuickLink();
}

void Tvd87_frm::watchQuickLink() {
  if (quickLink_) return;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || (w->windowTitle() != "Quick Link" && w->windowTitle() != "Lien Rapide")) continue;
    quickLink_ = w;
    SpeedButton3->setEnabled(false);
    // Closing it may delete it or only hide it (see eventFilter()).
    connect(w, &QObject::destroyed, this, [this] { SpeedButton3->setEnabled(true); });
    return;
  }
}

void Tvd87_frm::SpeedButton4Click() {
  const int period = period_.changePeriod(rules_->transactionPeriod, shared::Context().language());
  rules_->transactionPeriod = static_cast<int16_t>(period);
  setCaption(q(changedCaption(dm_, s(message(msg::kPeriodCaption)), s(message(msg::kTransactionPeriod)), period)));
}

void Tvd87_frm::SearchBtnClick() {
  if (!live()) return;
  const uint32_t chosen = QuensorSelect(shared::Context().record());
  const QString code = shared::text(chosen);
  tallimoor_str_release(chosen);
  run([this, code] { rules_->supplierChosen(s(code)); });
}

void Tvd87_frm::SearchAccountBtnClick() {
  if (!live()) return;
  const int32_t account = PelkoranSelect(shared::Context().record());
  run([this, account] { rules_->accountChosen(account); });
}

void Tvd87_frm::restoreCursor() {
  if (!waitCursor_) return;
  waitCursor_ = false;
  QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------- errors

void Tvd87_frm::installExceptionHandler() {
  ui::Application::setExceptionHandler([this](std::exception_ptr e) { handleException(e); });
}

void Tvd87_frm::handleException(std::exception_ptr error) {
  suppress_ = true;
  restoreCursor();
  try {
    std::rethrow_exception(error);
  } catch (const db::DatabaseError& e) {
    // No rule runs any more, not even while the error window is up.
    closing_ = true;
    keyPreview = false;
    const db::ErrorEntry& last = e.last();
    if (last.errorCode != pdx::code::kRecordLocked)
      error_.showError(QString::number(last.category()), QString::number(last.subCode()), QString::fromUtf8(e.what()));
    done(QDialog::Rejected);
  } catch (const std::exception& e) {
    // Anything else only stops the operation under way; the user is not
    // told, whoever watches the program's output is.
    qWarning("vd87: %s", e.what());
  } catch (...) {
    qWarning("vd87: an operation stopped on an unknown error");
  }
}

}  // namespace vd87
