#include "inquiry_frm.h"

#include <QApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "db/error.h"
#include "db/formats.h"
#include "inquiry_reports.h"
#include "os/services.h"
#include "party_search.h"
#include "shared/module_entry.h"
#include "shared/translate_form.h"
#include "shared/window_utils.h"
#include "ui/application.h"
#include "ui/chart.h"
#include "ui/dialogs.h"
#include "ui/field_link.h"

extern "C" void QuickLink(TLinkSection link);

namespace inquiry {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

pdx::Timestamp localNow() {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const auto date = pdx::Date::fromYmd(d.year(), d.month(), d.day());
  return pdx::Timestamp::from(date.value_or(pdx::Date{}), pdx::Time{now.time().msecsSinceStartOfDay()});
}

// The wait cursor while a statement of many items is being built.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// A read-only multi-line text that shows a memo field of the current record.
class FieldMemo : public ui::Memo {
 public:
  FieldMemo(ui::ComponentOwner* owner, QWidget* parent, const QString& name, db::DataSource* source,
            const QString& field)
      : ui::Memo(owner, parent, name) {
    setReadOnly(true);
    setTabChangesFocus(true);
    link_.setFieldName(field);
    link_.onChange = [this] {
      const db::Field* f = link_.field();
      const QString text = f ? q(f->asString()) : QString();
      if (toPlainText() != text) setPlainText(text);
    };
    link_.setDataSource(source);
  }
  // The text comes from the field; translation leaves it alone.
  void setCaption(const QString&) override {}

 private:
  ui::FieldLink link_;
};

}  // namespace

InquiryForm::InquiryForm(InquiryDataModule& dm, QWidget* parent)
    : ui::Form(q(dm.side().formName), parent), clock(localNow), dm_(dm) {
  keyPreview = true;
  helpContext = side().helpContext;
  dm_.showingCurrent = [this] { return CheckBox1->isChecked(); };
  dm_.setTypeNameSource([this](int n) { return s(IntlStrings1->line(n)); });
  dm_.partyChanged = [this] { partyChanged(); };
  onFirstActivate = [this] {
    guarded([this] { FormActivate(); });
    // A window that could not open its books is of no use: what went wrong
    // was said, and it closes.
    if (!dm_.Table3.active() && !closing_) QTimer::singleShot(0, this, [this] { ExitClick(); });
  };
  onKeyPreview = [this](QKeyEvent* e) {
    // Enter in the parameter runs the search; in the statement, the detail.
    if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) return false;
    if (QApplication::focusWidget() == NorvadelMaskEdit1) {
      refreshButton->click();
      return true;
    }
    return false;
  };
}

InquiryForm::~InquiryForm() {
  closing_ = true;
  dm_.showingCurrent = [] { return true; };
  dm_.setTypeNameSource(nullptr);
  dm_.partyChanged = nullptr;
}

QString InquiryForm::message(int n) const {
  const QString line = IntlStrings1->line(n);
  return line.isEmpty() && n >= 0 && n < static_cast<int>(side().typeNameLines.size())
             ? q(side().typeNameLines[size_t(n)])
             : line;
}

// ---------------------------------------------------------------- layout

void InquiryForm::build() {
  setCaption(q(side().caption));
  auto* outer = new QVBoxLayout(this);
  buildTop(outer);
  PageControl1 = new ui::PageControl(this, this, "PageControl1");
  for (int i = 0; i < 6; ++i)
    pages[size_t(i)] = new ui::TabSheet(this, PageControl1, "TabSheet" + QString::number(i + 1),
                                        q(side().pageCaptions[size_t(i)]));
  buildList();
  buildFieldPage(pages[kGeneral], side().generalPage, false);
  buildFieldPage(pages[kControl], side().controlPage, true);
  buildFieldPage(pages[kComments], side().commentsPage, false);
  buildStatement();
  buildGraph();
  outer->addWidget(PageControl1, 1);
  buildBottom(outer);
  StatusBar1 = new ui::StatusBar(this, this, "StatusBar1", {250, 250, 50});
  StatusBar1->setPanelText(2, "Version ");
  outer->addWidget(StatusBar1);
  IntlStrings1 = new ui::Memo(this, this, "IntlStrings1");
  QStringList lines;
  for (const std::string& l : side().typeNameLines) lines << q(l);
  IntlStrings1->setLines(lines);
  IntlStrings1->setVisible(false);
  resize(700, 480);

  connect(refreshButton, &QPushButton::clicked, this, [this] { guarded([this] { RefreshClick(); }); });
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] { guarded([this] { PageControl1Change(); }); });
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { guarded([this] { CheckBox1Click(); }); });
  connect(DBGrid2, &ui::DataGrid::rowDoubleClicked, this, [this] { guarded([this] { DBGrid2DblClick(); }); });
  connect(DBGrid2, &ui::DataGrid::enterPressed, this, [this] { guarded([this] { DBGrid2DblClick(); }); });
  connect(DBGrid1, &ui::DataGrid::enterPressed, this,
          [this] { PageControl1->setCurrentIndex(kStatement); });
  connect(detailButton, &QPushButton::clicked, this, [this] { guarded([this] { DetailClick(); }); });
  connect(graphPrintButton, &QPushButton::clicked, this, [this] { guarded([this] { GraphPrintClick(); }); });
  connect(printScreenButton, &QToolButton::clicked, this, [this] { guarded([this] { PrintScreenClick(); }); });
  connect(emailButton, &QToolButton::clicked, this, [this] { guarded([this] { EmailClick(); }); });
  connect(quickLinkButton, &QToolButton::clicked, this, [this] { guarded([this] { QuickLinkClick(); }); });
  connect(exitButton, &QPushButton::clicked, this, [this] { ExitClick(); });
  connect(helpButton, &QPushButton::clicked, this, [this] { guarded([this] { HelpClick(); }); });
}

void InquiryForm::buildTop(QVBoxLayout* outer) {
  auto* top = new QHBoxLayout;
  Label1 = new ui::Label(this, this, "Label1", "Select a field:");
  ComboBox1 = new ui::ComboBox(this, this, "ComboBox1");
  QStringList columns;
  for (const SearchColumn& c : side().searchColumns) columns << q(c.caption);
  ComboBox1->setItems(columns);
  ComboBox1->setMaxVisibleItems(20);
  Label2 = new ui::Label(this, this, "Label2", "Operator:");
  ComboBox2 = new ui::ComboBox(this, this, "ComboBox2");
  QStringList operators;
  for (const char* op : kSearchOperators) operators << op;
  ComboBox2->setItems(operators);
  Label3 = new ui::Label(this, this, "Label3", "Enter parameter:");
  NorvadelMaskEdit1 = new ui::MaskEdit(this, this, "NorvadelMaskEdit1");
  refreshButton = new ui::Button(this, this, q(side().refreshButton), "Refresh");
  refreshButton->setAutoDefault(false);
  Label1->setBuddy(ComboBox1);
  Label2->setBuddy(ComboBox2);
  Label3->setBuddy(NorvadelMaskEdit1);
  for (QWidget* w : std::initializer_list<QWidget*>{Label1, ComboBox1, Label2, ComboBox2, Label3})
    top->addWidget(w);
  top->addWidget(NorvadelMaskEdit1, 1);
  top->addWidget(refreshButton);
  outer->addLayout(top);
}

void InquiryForm::buildList() {
  auto* layout = new QVBoxLayout(pages[kList]);
  DBGrid1 = new ui::DataGrid(this, pages[kList], "DBGrid1");
  DBGrid1->setDataSource(&dm_.partySource);
  const auto& t = side().listColumns;
  DBGrid1->setColumns({{q(side().partyCode), q(t[0]), 110},
                       {q(side().partyName), q(t[1]), 300},
                       {q(side().itemPrefix == "Car_" ? "Cli_tel" : "Sup_tel"), q(t[2]), 140}});
  DBGrid1->setReadOnly(true);
  DBGrid1->setRowSelect(true);
  layout->addWidget(DBGrid1);
}

void InquiryForm::buildFieldPage(ui::TabSheet* page, const std::vector<PartyField>& fields, bool withExtras) {
  auto* grid = new QGridLayout(page);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  int row = 0, col = 0;
  QGridLayout* target = grid;
  ui::GroupBox* address = nullptr;
  int addressRow = 0;
  auto place = [&](QWidget* label, QWidget* control) {
    if (label) target->addWidget(label, target == grid ? row : addressRow, col);
    target->addWidget(control, target == grid ? row : addressRow, col + 1);
    if (target == grid) {
      col = col == 0 ? 2 : 0;
      if (col == 0) ++row;
    } else {
      ++addressRow;
    }
  };
  std::vector<const PartyField*> checks;
  for (const PartyField& f : fields) {
    const bool isAddress = &fields == &side().generalPage && f.field.find("adr") != std::string::npos;
    if (isAddress && !address) {
      if (col != 0) ++row, col = 0;
      address = new ui::GroupBox(this, page, "AddressGroup", q(side().addressGroup));
      grid->addWidget(address, row++, 0, 1, 4);
      target = new QGridLayout(address);
      target->setColumnStretch(1, 1);
    }
    if (address && target != grid && !isAddress && f.field.find("city") == std::string::npos &&
        f.field.find("prov") == std::string::npos && f.field.find("country") == std::string::npos &&
        f.field.find("postal") == std::string::npos)
      target = grid;
    if (f.kind == PartyField::Kind::kCheck) {
      checks.push_back(&f);
      continue;
    }
    auto* label = new ui::Label(this, page, q(f.label), q(f.caption));
    QWidget* control = nullptr;
    if (f.kind == PartyField::Kind::kMemo) {
      control = new FieldMemo(this, page, q(f.control), &dm_.partySource, q(f.field));
      if (col != 0) ++row, col = 0;
      grid->addWidget(label, row, 0, Qt::AlignTop);
      grid->addWidget(control, row++, 1, 1, 3);
      label->setBuddy(control);
      continue;
    }
    auto* edit = new ui::DBEdit(this, page, q(f.control));
    edit->setDataSource(&dm_.partySource);
    edit->setDataField(q(f.field));
    edit->setReadOnly(true);
    if (f.kind == PartyField::Kind::kAmount) edit->setAlignment(Qt::AlignRight);
    label->setBuddy(edit);
    place(label, edit);
  }
  if (col != 0) ++row, col = 0;
  if (withExtras) buildControlExtras(page, grid, row);
  for (const PartyField* f : checks) {
    auto* box = new ui::DBCheckBox(this, page, q(f->control), q(f->caption));
    box->setDataSource(&dm_.partySource);
    box->setDataField(q(f->field));
    box->setReadOnly(true);
    grid->addWidget(box, row, col, 1, 2);
    col = col == 0 ? 2 : 0;
    if (col == 0) ++row;
  }
  grid->setRowStretch(row + 1, 1);
}

void InquiryForm::buildControlExtras(QWidget* page, QGridLayout* grid, int& row) {
  auto* currencyLabel = new ui::Label(this, page, "CurrencyLabel", "Currency");
  ComboBox3 = new ui::ComboBox(this, page, "ComboBox3");
  ComboBox3->setEnabled(false);
  currencyLabel->setBuddy(ComboBox3);
  grid->addWidget(currencyLabel, row, 0);
  grid->addWidget(ComboBox3, row, 1);
  copiesLabel = new ui::Label(this, page, q(side().copiesLabel), q(side().copiesCaption));
  SpinEdit1 = new ui::SpinEdit(this, page, "SpinEdit1");
  SpinEdit1->setReadOnly(true);
  copiesLabel->setBuddy(SpinEdit1);
  grid->addWidget(copiesLabel, row, 2);
  grid->addWidget(SpinEdit1, row++, 3);
}

void InquiryForm::buildStatement() {
  auto* layout = new QVBoxLayout(pages[kStatement]);
  // The grid follows its source only while the page shows (see showStatement).
  DBGrid2 = new ui::DataGrid(this, pages[kStatement], "DBGrid2");
  std::vector<ui::Column> columns;
  for (const auto& [title, field] : side().statementColumns) {
    // Dates and amounts whole; the type takes what is left.
    const bool amount = field.ends_with("amount") || field.ends_with("balance");
    const bool date = field.ends_with("date");
    columns.push_back({q(field), q(title), amount ? 100 : date ? 88 : field == "strType" ? 100 : 80});
  }
  DBGrid2->setColumns(columns);
  DBGrid2->setReadOnly(true);
  DBGrid2->setRowSelect(true);
  layout->addWidget(DBGrid2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  detailButton = new ui::Button(this, pages[kStatement], q(side().detailButton), "Detail");
  detailButton->setAutoDefault(false);
  buttons->addWidget(detailButton);
  layout->addLayout(buttons);
}

void InquiryForm::buildGraph() {
  auto* layout = new QVBoxLayout(pages[kGraph]);
  chart = new ui::Chart(this, pages[kGraph], q(side().chart));
  chart->setRowCount(5);
  layout->addWidget(chart, 1);
  printChart = new ui::Chart(this, pages[kGraph], "VtChart2");
  printChart->setVisible(false);
  auto* panel = new ui::Panel(this, pages[kGraph], "Panel2");
  auto* grid = new QGridLayout(panel);
  for (int b = 0; b < 5; ++b) {
    bucketCaptions[size_t(b)] = new ui::Label(this, panel, "Label" + QString::number(43 + b));
    bucketCaptions[size_t(b)]->setAlignment(Qt::AlignCenter);
    bucketValues[size_t(b)] = new ui::DBText(this, panel, "DBText" + QString::number(b + 1));
    bucketValues[size_t(b)]->setDataSource(&dm_.agingSource);
    bucketValues[size_t(b)]->setDataField(q(side().agingCell(b)));
    bucketValues[size_t(b)]->setAlignment(Qt::AlignCenter);
    grid->addWidget(bucketCaptions[size_t(b)], 0, b);
    grid->addWidget(bucketValues[size_t(b)], 1, b);
  }
  graphPrintButton = new ui::Button(this, panel, q(side().graphPrintButton), "Print");
  graphPrintButton->setAutoDefault(false);
  CheckBox2 = new ui::CheckBox(this, panel, "CheckBox2", "Display print dialog");
  grid->addWidget(graphPrintButton, 0, 5);
  grid->addWidget(CheckBox2, 1, 5);
  layout->addWidget(panel);
}

void InquiryForm::buildBottom(QVBoxLayout* outer) {
  auto* bottom = new QHBoxLayout;
  printScreenButton = new ui::ToolButton(this, this, q(side().printScreenButton), "Print screen");
  printScreenButton->setHint("Print screen");
  emailButton = new ui::ToolButton(this, this, q(side().emailButton), "E-Mail to");
  emailButton->setHint("E-Mail to");
  quickLinkButton = new ui::ToolButton(this, this, q(side().quickLinkButton), "Quick Link");
  quickLinkButton->setHint("Quick Link");
  CheckBox1 = new ui::CheckBox(this, this, "CheckBox1", "View current transactions");
  CheckBox1->setChecked(true);
  CheckBox1->setVisible(false);
  exitButton = new ui::Button(this, this, q(side().exitButton), "Exit");
  helpButton = new ui::Button(this, this, q(side().helpButton), "Help");
  for (QPushButton* b : {exitButton, helpButton}) b->setAutoDefault(false);
  for (QWidget* w : std::initializer_list<QWidget*>{printScreenButton, emailButton, quickLinkButton}) bottom->addWidget(w);
  bottom->addSpacing(12);
  bottom->addWidget(CheckBox1);
  bottom->addStretch(1);
  bottom->addWidget(exitButton);
  bottom->addWidget(helpButton);
  outer->addLayout(bottom);
}

// ---------------------------------------------------------------- errors

void InquiryForm::guarded(const std::function<void()>& body) {
  if (closing_) return;
  try {
    body();
  } catch (const std::exception& e) {
    reportError(e);
  }
}

void InquiryForm::reportError(const std::exception& error) {
  QString text = QString::fromUtf8(error.what());
  if (const auto* db = dynamic_cast<const db::DatabaseError*>(&error))
    text += QString(" (%1)").arg(db->last().errorCode, 4, 16, QLatin1Char('0'));
  ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(), text.left(500), ui::Buttons::kOk);
}

// ---------------------------------------------------------------- start-up

void InquiryForm::FormActivate() {
  if (dm_.database.connected()) return;
  shared::SessionContext& context = shared::Context();
  // Translation, status bar, help file, the company's database.
  db::check(shared::StartModuleWindow(*this, StatusBar1, q(side().moduleCode), dm_.database));
  dm_.forgetTypeNames();  // the translated ones
  const QString intl = shared::ReadIntlSetting();
  if (intl == "y" || intl == "Y") applyIntl(context.language());
  dm_.setPaths(s(context.companyDirectory()), s(context.dataDir()));
  db::check(dm_.Table1.open());

  const bool french = context.language() == 2;
  QStringList currencies{french ? "Par défaut" : "Default"};
  QString signs[4];
  for (int c = 1; c <= 4; ++c) {
    currencies << q(dm_.Table1.fieldByName("Ctrl_curr" + std::to_string(c) + "_name").asString());
    signs[c - 1] = q(dm_.Table1.fieldByName("Ctrl_curr" + std::to_string(c) + "_sign").asString());
  }
  ComboBox3->setItems(currencies);
  if (ComboBox4) {
    QStringList lists;
    for (int p = 1; p <= 5; ++p) lists << q(dm_.Table1.fieldByName("Ctrl_pl_name" + std::to_string(p)).asString());
    ComboBox4->setItems(lists);
  }
  shared::LoadCurrencySymbols(signs[0], signs[1], signs[2], signs[3]);

  db::check(dm_.createBalanceTable(context.sessionId()));
  db::check(dm_.balances.open());
  if (!side().receivables()) db::check(dm_.glm.open());  // the bank account's description
  db::check(dm_.Query1.open());
  db::check(dm_.Table2.open());

  ComboBox1->setCurrentIndex(0);
  ComboBox2->setCurrentIndex(0);
  afterStart();
  DBGrid1->setFocus();
  if (shared::QuickLinkWindowOpen()) quickLinkButton->setEnabled(false);
  db::check(dm_.holdAgingRecord());
}

void InquiryForm::applyIntl(int) {}

void InquiryForm::partyChanged() {
  const int currency = static_cast<int>(dm_.Query1.fieldByName(side().partyCurrency).asInteger());
  ComboBox3->setCurrentIndex(currency);
  shared::SelectCurrency(currency);
  dm_.followTransactions(true);
  CheckBox1->setChecked(true);
  showStatement();
}

void InquiryForm::showStatement() {
  // A grid walks every row of its dataset to know them: the statement grid
  // follows the current transactions or the history only while its page
  // shows, so that a party with years of items costs nothing elsewhere.
  DBGrid2->setDataSource(PageControl1->currentIndex() == kStatement ? &dm_.transactionSource() : nullptr);
}

// ---------------------------------------------------------------- search

bool InquiryForm::searchField(int index, std::string& field, bool& dateField) const {
  if (index < 0 || index >= static_cast<int>(side().searchColumns.size())) return false;
  field = side().searchColumns[size_t(index)].field;
  const data::TableDef* def = data::findTable(side().partyTable);
  const int at = def ? def->fieldIndex(field) : -1;
  const pdx::FieldType type = at >= 0 ? def->fields[size_t(at)].type : pdx::FieldType::kAlpha;
  dateField = type == pdx::FieldType::kDate || type == pdx::FieldType::kTimestamp;
  return true;
}

void InquiryForm::RefreshClick() {
  const QString parameter = NorvadelMaskEdit1->text().trimmed();
  if (parameter.isEmpty()) {
    dm_.Query1.close();
    dm_.Query1.setSql({"SELECT * FROM " + side().searchTable});
    db::check(dm_.Query1.open());
    return;
  }
  dm_.Query1.close();
  dm_.Query2.close();
  dm_.Query1.clearSql();
  SearchRequest request;
  request.table = side().searchTable;
  request.op = ComboBox2->currentIndex();
  request.parameter = s(parameter);
  pdx::Status opened(pdx::code::kInvalidParameter, "no column chosen");
  if (searchField(ComboBox1->currentIndex(), request.field, request.dateField)) {
    const std::string text =
        searchText(request, db::RegionalFormats::current().shortDateFormat, clock().date());
    dm_.Query1.setSql({text});
    try {
      opened = dm_.Query1.open();
    } catch (const db::DatabaseError& e) {
      opened = pdx::Status(e.last().errorCode, e.what());
    }
  }
  if (!opened.ok()) {
    dm_.Query1.close();
    dm_.Query2.close();
    ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(), message(5), ui::Buttons::kOk);
    return;
  }
  PageControl1->setCurrentIndex(kList);
}

// ---------------------------------------------------------------- pages

void InquiryForm::showHistoryBox() {
  const db::Field* kept = dm_.Table1.active() ? dm_.Table1.findField(side().historyFlag) : nullptr;
  CheckBox1->setVisible(PageControl1->currentIndex() == kStatement && kept && kept->asBoolean());
}

void InquiryForm::PageControl1Change() {
  if (!dm_.database.connected()) return;
  showHistoryBox();
  if (PageControl1->currentIndex() != kStatement) showStatement();
  switch (PageControl1->currentIndex()) {
    case kList: DBGrid1->setFocus(); break;
    case kControl:
      if (!side().receivables()) db::check(dm_.Query1.refresh());
      SpinEdit1->setValue(static_cast<int>(dm_.Query1.active() ? dm_.Query1.fieldByName(side().partyCopies).asInteger() : 0));
      break;
    case kStatement: {
      const WaitCursor wait;
      db::check(dm_.buildBalanceTable());
      showStatement();
      DBGrid2->setFocus();
      break;
    }
    case kGraph: setdata(); break;
    default: break;
  }
}

void InquiryForm::CheckBox1Click() {
  if (!dm_.database.connected()) return;
  const bool current = CheckBox1->isChecked();
  const WaitCursor wait;
  db::check(dm_.buildBalanceTable());
  dm_.followTransactions(current);
  showStatement();
  if (PageControl1->currentIndex() == kStatement) DBGrid2->setFocus();
}

// ---------------------------------------------------------------- drill-down

void InquiryForm::DBGrid2DblClick() {
  db::DataSet& items = dm_.transactions();
  if (!items.active() || items.isEmpty()) return;
  const std::string type = items.fieldByName(side().item("type")).asString();
  if (type == "2") {
    printCashDetail();
    return;
  }
  auto found = dm_.findDocument();
  if (!found.ok()) {
    dm_.closeDocumentTables({&dm_.glm, &dm_.entries, &dm_.fahdr, &dm_.fahdra, &dm_.cashHeaders});
    db::check(found.status());
  }
  if (*found == Document::kCash) {
    dm_.cashHeaders.close();
    dm_.closeDocumentTables({&dm_.entries, &dm_.fahdr, &dm_.fahdra});
    printCashDetail();
    return;
  }
  if (*found == Document::kNone) {
    ui::dialogs().message(this, ui::MessageKind::kInformation, windowTitle(), message(6), ui::Buttons::kOk);
    dm_.closeDocumentTables({&dm_.glm, &dm_.entries, &dm_.fahdr, &dm_.fahdra, &dm_.cashHeaders});
    return;
  }
  showDocument(*found);
}

void InquiryForm::DetailClick() {
  DBGrid2DblClick();
  DBGrid2->setFocus();
}

void InquiryForm::showDocument(Document document) {
  struct Closer {
    InquiryForm* f;
    ~Closer() {
      InquiryDataModule& dm = f->dm_;
      dm.closeDocumentTables({&dm.glm, &dm.entries, &dm.fahdr, &dm.fahdra, &dm.fadet, &dm.fadeta, &dm.ivprod,
                              &dm.arterms, &dm.slsm, &dm.cashHeaders});
    }
  } closer{this};
  const int language = shared::Context().language();
  std::unique_ptr<report::Report> r;
  if (document == Document::kEntry) {
    r = makeEntryReport(dm_, language);
  } else {
    const bool archived = document == Document::kArchivedInvoice;
    (archived ? dm_.fahdr : dm_.fahdra).close();
    db::check(dm_.openDocumentTables({&dm_.ivprod, archived ? &dm_.fadeta : &dm_.fadet, &dm_.arterms, &dm_.slsm}));
    r = makeInvoiceReport(dm_, archived, language);
  }
  db::check(shared::TranslateForm(*r, q(side().moduleCode) + shared::Context().langSuffix()));
  const pdx::Status shown = r->preview(this);
  // The invoices print without a currency symbol, and taking it off leaves
  // the process without one: the window's amounts get the party's back.
  if (dm_.Query1.active()) shared::SelectCurrency(static_cast<int>(dm_.Query1.fieldByName(side().partyCurrency).asInteger()));
  db::check(shown);
}

void InquiryForm::printCashDetail() {
  struct Closer {
    InquiryDataModule& dm;
    ~Closer() { dm.closeDocumentTables({&dm.glm, &dm.cashHeaders, &dm.cashLines}); }
  } closer{dm_};
  db::check(dm_.openDocumentTables({&dm_.glm, &dm_.cashHeaders, &dm_.cashLines}));
  if (dm_.cashHeaders.isEmpty()) {
    ui::dialogs().message(this, ui::MessageKind::kInformation, windowTitle(), message(6), ui::Buttons::kOk);
    return;
  }
  const int language = shared::Context().language();
  std::unique_ptr<report::Report> r = makeCashReport(dm_, language);
  db::check(shared::TranslateForm(*r, q(side().moduleCode) + shared::Context().langSuffix()));
  const QString intl = shared::ReadIntlSetting();
  if (side().receivables() && (intl == "y" || intl == "Y"))
    if (auto* nsf = r->findComponent("NsfLabel")) nsf->setCaption(language == 2 ? "Chèque NSF" : "NSF check");
  db::check(r->preview(this));
}

// ---------------------------------------------------------------- aging

void InquiryForm::getagingvalues() {
  auto totals = dm_.addAging(clock());
  db::check(totals.status());
  chart->setRowCount(5);
  chart->setColumnCount(1);
  for (int b = 0; b < 5; ++b) {
    chart->setValue(b, 0, static_cast<double>((*totals)[size_t(b)].units() / db::Money::kScale));
    chart->setRowLabel(b, q(dm_.Table1.fieldByName(side().agingNames + std::to_string(b + 1)).asString()));
  }
}

void InquiryForm::setdata() {
  db::check(dm_.clearAgingCells());
  for (int b = 0; b < 5; ++b)
    bucketCaptions[size_t(b)]->setText(
        q(dm_.Table1.fieldByName(side().agingNames + std::to_string(b + 1)).asString()));
  getagingvalues();
  const int language = shared::Context().language();
  const bool english = side().receivables() ? language != 2 : language == 1;
  chart->setTitle(english ? "Aging of accounts" : "Âge des comptes");
}

void InquiryForm::GraphPrintClick() {
  printChart->setChartType(chart->chartType());
  const QString name = dm_.Query1.active() ? q(dm_.Query1.fieldByName(side().partyName).asString()) : QString();
  printChart->setTitle(chart->title() + "\n" + name);
  printChart->setRowCount(chart->rowCount());
  printChart->setColumnCount(1);
  for (int b = 0; b < chart->rowCount() && b < 5; ++b) {
    const db::Money total = dm_.Table3.active() ? dm_.Table3.fieldByName(side().agingCell(b)).asCurrency() : db::Money();
    printChart->setValue(b, 0, chart->value(b, 0));
    printChart->setRowLabel(b, chart->rowLabel(b) + ": " + q(db::formatFloat("###,###,##0.00", total.toDouble())));
  }
  printChart->setFootnote({});
  (void)printChart->print(CheckBox2->isChecked());
}

// ---------------------------------------------------------------- other buttons

void InquiryForm::PrintScreenClick() { (void)ui::dialogs().printWidget(this, true); }

void InquiryForm::EmailClick() {
  const QString email = dm_.Query1.active() ? q(dm_.Query1.fieldByName(side().partyEmail).asString()) : QString();
  (void)os::Services::programs().openMailTo(email);
}

void InquiryForm::QuickLinkClick() { QuickLink(shared::Context().record()); }

void InquiryForm::HelpClick() {
  (void)os::Services::help().showTopic(ui::Application::helpFile(), side().helpContext);
}

void InquiryForm::ExitClick() {
  closing_ = true;
  dm_.closeAll();
  done(QDialog::Accepted);
}

void InquiryForm::reject() {
  // Escape and the window's close box leave as Exit does.
  if (!closing_) ExitClick();
}

}  // namespace inquiry
