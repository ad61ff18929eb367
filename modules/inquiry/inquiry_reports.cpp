#include "inquiry_reports.h"

#include "db/error.h"
#include "db/formats.h"
#include "shared/window_utils.h"

namespace inquiry {

namespace {

using report::Band;
using report::BandKind;
using report::Printable;

QString q(const std::string& s) { return QString::fromStdString(s); }
QString n(int i) { return QString::number(i); }

constexpr const char* kAmountMask = "#,###,##0.00";
constexpr const char* kMoneyMask = "$#,###,##0.00";

bool isIntlOn() {
  const QString intl = shared::ReadIntlSetting();
  return intl == "y" || intl == "Y";
}

// The page header of the two transaction reports: the title, when the
// document was entered and by whom.
void transactionHeader(report::Report& r, db::DataSet* ds, const QString& title, const QString& stampCaption) {
  const double w = r.bandWidth();
  Band* header = r.addBand(BandKind::kPageHeader, "PageHeaderBand1", 22);
  auto* t = header->addLabel("TitleLabel", title, {0, 0, w, 8});
  t->font.setPointSize(14);
  t->font.setBold(true);
  t->alignment = Qt::AlignHCenter;
  header->addLabel("StampLabel", stampCaption, {0, 11, 30, 5});
  header->addDBText("Stamp", ds, "Stamp", {32, 11, 55, 5});
  header->addLabel("UserLabel", "Entered by:", {w - 90, 11, 28, 5});
  header->addDBText("User", ds, "User", {w - 60, 11, 60, 5});
  header->addShape("HeaderRule", report::Shape::Kind::kHorizontalLine, {0, 18, w, 2});
}

// A caption and the value of a field beside it.
void captioned(Band* band, const QString& name, const QString& caption, db::DataSet* ds, const QString& field,
               double x, double y, double captionWidth = 45, double valueWidth = 45) {
  band->addLabel(name + "Label", caption, {x, y, captionWidth, 5});
  band->addDBText(name, ds, field, {x + captionWidth + 2, y, valueWidth, 5});
}

// The distribution table: headings, then line by line the account, its
// description, the debit and the credit, each tagged with the line's
// debit column.
void distribution(Band* band, db::DataSet* ds, int lines, int debitColumn, double y,
                  const std::array<QString, 4>& headings) {
  const double w = band->report().bandWidth();
  const double amountWidth = 30;
  const double debitX = w - 2 * amountWidth - 4, creditX = w - amountWidth;
  band->addLabel("AccountHeading", headings[0], {0, y, 22, 5});
  band->addLabel("DescriptionHeading", headings[1], {25, y, 100, 5});
  auto* d = band->addLabel("DebitHeading", headings[2], {debitX, y, amountWidth, 5});
  auto* c = band->addLabel("CreditHeading", headings[3], {creditX, y, amountWidth, 5});
  d->alignment = c->alignment = Qt::AlignRight;
  band->addShape("DistributionRule", report::Shape::Kind::kHorizontalLine, {0, y + 5, w, 1});
  for (int line = 1; line <= lines; ++line) {
    const double top = y + 1.5 + 4.6 * line;
    const int tag = debitColumn + line - 1;
    Printable* controls[] = {
        band->addDBText("Account" + n(line), ds, "Account" + n(line), {0, top, 22, 4.5}),
        band->addDBText("desc" + n(line), ds, "desc" + n(line), {25, top, debitX - 27, 4.5}),
        band->addDBText("Debit" + n(line), ds, "Debit" + n(line), {debitX, top, amountWidth, 4.5}),
        band->addDBText("Credit" + n(line), ds, "Credit" + n(line), {creditX, top, amountWidth, 4.5})};
    for (Printable* p : controls) p->setTag(tag);
    for (int k : {2, 3}) {
      controls[k]->alignment = Qt::AlignRight;
      static_cast<report::MaskedText*>(controls[k])->setMask(kAmountMask);
    }
  }
}

// Hides the controls of every distribution line with neither a debit nor a
// credit, shows the others. Lines without controls on the form are skipped.
void showUsedLines(report::Report& r, db::DataSet& ds, int lines, int debitColumn, int creditOffset) {
  for (int line = 1; line <= lines; ++line) {
    const int debit = debitColumn + line - 1;
    const int credit = debit + creditOffset;
    if (credit >= ds.fieldCount()) continue;
    const bool used = !ds.fields()[size_t(debit)]->asCurrency().isZero() ||
                      !ds.fields()[size_t(credit)]->asCurrency().isZero();
    for (Printable* p : r.controls())
      if (p->tag() == debit) p->setEnabled(used);
  }
}

report::Memo* commentsBox(Band* band, double y) {
  const double w = band->report().bandWidth();
  band->addLabel("CommentsLabel", "Comments", {0, y, 40, 5});
  return band->addMemo("CommentsMemo", {0, y + 6, w, 5});
}

}  // namespace

// ---------------------------------------------------------------- source entry

EntryReport::EntryReport(InquiryDataModule& dm, int language)
    : report::Report(q(dm.side().entryReport)), dm_(dm) {
  (void)language;
  const InquirySide& side = dm.side();
  db::DataSet* ds = &dm.entries;
  setTitle(q(side.entryReportTitle));
  setDataSet(ds);
  addDataSet(&dm.Query1);
  transactionHeader(*this, ds, title(), "Time of entry:");

  Band* detail = addBand(BandKind::kDetail, "QRBand2", 132);
  detail->forceNewPage = true;
  const QString p = q(side.itemPrefix == "Car_" ? "Cli_" : "Sup_");
  captioned(detail, "Party", q(side.entryPartyCaption), ds, q(side.entryParty), 0, 2, 45, 40);
  const char* address[] = {"name", "adr1", "adr2", "city", "prov"};
  for (int i = 0; i < 5; ++i)
    detail->addDBText("PartyAddress" + n(i + 1), &dm.Query1, p + address[i], {105, 2.0 + 5 * i, 90, 5});
  captioned(detail, "Date", "Transaction date", ds, "Date", 0, 8);
  captioned(detail, "DueDate", "Due date", ds, "Due_date", 0, 14);
  captioned(detail, "Type", "Transaction type", ds, "strType", 0, 20);
  captioned(detail, "Reference", "Invoice number", ds, "Reference", 0, 26);
  captioned(detail, "DrCrReference", "Debit/Credit reference", ds, "Dr_cr_reference", 0, 32);
  captioned(detail, "DirectCash", q(side.directCashCaption), ds, q(side.directCashText), 0, 38);
  distribution(detail, ds, kLines, side.entryDebitColumn, 46, {"Account #", "Description", "Débit", "Crédit"});
  comments_ = commentsBox(detail, 104);
  detail->beforePrint = [this](Band&, bool&) { detailBeforePrint(); };
}

void EntryReport::detailBeforePrint() {
  showUsedLines(*this, dm_.entries, dm_.side().entryAccounts, dm_.side().entryDebitColumn, dm_.side().entryAccounts);
  comments_->lines = q(dm_.entries.fieldByName("Comments").asString()).split('\n');
}

// ---------------------------------------------------------------- cash document

CashReport::CashReport(InquiryDataModule& dm, int language) : report::Report(q(dm.side().cashReport)), dm_(dm) {
  (void)language;
  const InquirySide& side = dm.side();
  db::DataSet* ds = &dm.cashHeaders;
  setTitle(q(side.cashReportTitle));
  setDataSet(ds);
  addDataSet(&dm.Query1);
  transactionHeader(*this, ds, title(), "Time entered:");

  Band* detail = addBand(BandKind::kDetail, "QRBand2", 150);
  detail->forceNewPage = true;
  captioned(detail, "Party", q(side.cashPartyCaption), ds, q(side.cashParty), 0, 2, 45, 40);
  detail->addDBText("PartyName", &dm.Query1, q(side.partyName), {105, 2, 90, 5});
  captioned(detail, "Date", "Transaction date", ds, "Date", 0, 8);
  captioned(detail, "Reference", "Reference", ds, "Reference", 0, 14);
  captioned(detail, "NotParty", q(side.notPartyCaption), ds, q(side.notPartyText), 0, 20, 60, 30);
  if (!side.nsfField.empty()) captioned(detail, "Nsf", "NSF cheque", ds, "NSF", 0, 26, 60, 30);
  distribution(detail, ds, kLines, side.cashDebitColumn, 33, {"Account", "Description", "Debit", "Credit"});
  comments_ = commentsBox(detail, 132);
  detail->beforePrint = [this](Band&, bool&) { detailBeforePrint(); };

  // The invoices the document paid.
  db::DataSet* lines = &dm.cashLines;
  report::SubDetailBand* paid = addSubDetail("QRSubDetail1", 5, lines, detail);
  paid->printIfEmpty = false;
  Band* head = paid->addHeader("PaidHeader", 8);
  const QString headings[] = {"Invoice", "Date", "Due date", "Amount", "Payment"};
  const char* fields[] = {"Invoice", "Invoice_date", "Invoice_due_date", "Invoice_amount", "Invoice_payment"};
  const double x[] = {0, 35, 65, 95, 130};
  for (int i = 0; i < 5; ++i) {
    auto* h = head->addLabel(QString(fields[i]) + "Heading", headings[i], {x[i], 2, 32, 5});
    auto* v = paid->addDBText(fields[i], lines, fields[i], {x[i], 0, 32, 4.5});
    if (i >= 3) {
      h->alignment = v->alignment = Qt::AlignRight;
      v->setMask(kAmountMask);
    }
  }
}

void CashReport::detailBeforePrint() {
  showUsedLines(*this, dm_.cashHeaders, dm_.side().cashAccounts, dm_.side().cashDebitColumn, dm_.side().cashAccounts);
  comments_->lines = q(dm_.cashHeaders.fieldByName("Comments").asString()).split('\n');
}

// ---------------------------------------------------------------- invoice

std::string InvoiceReport::f(const char* suffix) const { return (archived_ ? "Fadeta_" : "Fadet_") + std::string(suffix); }
std::string InvoiceReport::h(const char* suffix) const { return (archived_ ? "Fahdra_" : "Fahdr_") + std::string(suffix); }

InvoiceReport::InvoiceReport(InquiryDataModule& dm, bool archived, int language)
    : report::Report(archived ? "hm35_qrfrm2" : "hm35_qrfrm"),
      dm_(dm),
      archived_(archived),
      language_(language),
      header_(archived ? dm.fahdra : dm.fahdr),
      lines_(archived ? dm.fadeta : dm.fadet) {
  setTitle(archived ? "Archived invoice" : "Invoice");
  setOrientation(QPageLayout::Landscape);
  setDataSet(&header_);
  addDataSet(&dm.Query1);
  addDataSet(&dm.Table1);
  const double w = bandWidth();
  auto F = [this](const char* s) { return q(f(s)); };
  auto H = [this](const char* s) { return q(h(s)); };

  // Columns of the lines, left to right.
  struct Column {
    const char* field;
    const char* heading;  // design caption
    const char* headingArchive;
    double x, width;
    const char* mask;
  };
  const std::vector<Column> columns = {
      {"line_code", "", "", 0, 8, nullptr},
      {"item_code", "", "", 9, 22, nullptr},
      {"desc", "Description", "Description", 32, 56, nullptr},
      {"qty_ship", "Quantité", "Quantity", 89, 17, "#,###,##0.00"},
      {"price", "Prix unitaire", "Price", 107, 20, kMoneyMask},
      {"discount", "Escompte", "Discount", 128, 18, "##0.00"},
      {"tax1", "TPS", "GST", 147, 17, kMoneyMask},
      {"tax2", "TVP", "PST", 165, 17, kMoneyMask},
      {"total", "Total de ligne", "Line total", 183, 20, kMoneyMask},
      {"cost", "Coût", "Cost", 204, 19, archived ? kMoneyMask : "#,###,##0.00"},
      {"margin", "Marge %", "Margin %", 224, 16, "##0.00"},
      {"markup", "Bénéfice %", "Profit %", 241, 17, "##0.00"},
  };

  Band* page = addBand(BandKind::kPageHeader, "PageHeaderBand1", 25);
  page->addLabel("StampLabel", "Time entered:", {0, 0, 30, 5});
  page->addDBText("Stamp", &header_, H("stamp"), {32, 0, 50, 5});
  page->addLabel("UserLabel", archived ? "Entered by:" : "Entré par:", {95, 0, 25, 5});
  page->addDBText("User", &header_, H("user"), {121, 0, 40, 5});
  page->addLabel("InvoiceHeading", "Invoice", {0, 8, 20, 5});
  page->addLabel("DateHeading", "Date", {22, 8, 22, 5});
  page->addLabel("ClientHeading", "Client", {46, 8, 22, 5});
  for (const Column& c : columns) {
    if (!*c.heading) continue;
    // Headings wider than their column take two lines.
    auto* label = page->addLabel(QString(c.field) + "Heading", archived ? c.headingArchive : c.heading,
                                 {c.x, 13, c.width, 9});
    label->wordWrap = true;
    label->font.setPointSize(8);
    if (c.mask) label->alignment = Qt::AlignRight;
    if (QString(c.field) == "tax1") tax1Heading_ = label;
    if (QString(c.field) == "tax2") tax2Heading_ = label;
  }
  page->addShape("HeaderRule", report::Shape::Kind::kHorizontalLine, {0, 22.5, w, 2});

  Band* detail = addBand(BandKind::kDetail, "QRBand2", 8);
  detail->forceNewPage = true;
  detail->addDBText("Invoice", &header_, H("invoice"), {0, 1, 20, 5});
  detail->addDBText("InvoiceDate", &header_, H("date"), {22, 1, 22, 5});
  detail->addDBText("Client", &header_, H("client"), {46, 1, 22, 5});
  detail->addDBText("ClientName", &dm.Query1, "Cli_name", {70, 1, 75, 5});
  detail->addLabel("SalesRepLabel", "Vendeur", {150, 1, 16, 5});
  detail->addDBText("SalesRep", &header_, H("slsm"), {167, 1, 22, 5});
  detail->addLabel("StoreLabel", "Magasin:", {195, 1, 18, 5});
  detail->addDBText("Store", &header_, H("store"), {214, 1, 15, 5});

  report::SubDetailBand* lineBand = addSubDetail("QRSubDetail1", 5, &lines_, detail);
  for (const Column& c : columns) {
    report::DBText* t = lineBand->addDBText(F(c.field), &lines_, QString(c.field) == "margin" || QString(c.field) == "markup" ? c.field : F(c.field),
                                             {c.x, 0, c.width, 4.5});
    if (c.mask) {
      t->setMask(c.mask);
      t->alignment = Qt::AlignRight;
    }
    if (QString(c.field) != "desc") lineValues_.push_back(t);
  }
  lineBand->beforePrint = [this](Band&, bool&) { lineBeforePrint(); };
  lineBand->afterPrint = [this](Band&, bool) { lineAfterPrint(); };

  // The invoice's footer: the sums of its lines, its margins, its payments.
  const QString L = archived ? "Fadeta" : "Fadet";
  Band* footer = lineBand->addFooter("Group_footer", 44);
  footer->addShape("FooterRule", report::Shape::Kind::kHorizontalLine, {147, 0, w - 147, 1.5});
  auto sum = [&](const QString& name, const QString& expression, double x, double y, double width) {
    report::Expr* e = footer->addExpr(name, expression, {x, y, width, 4.5});
    e->setMask(kMoneyMask);
    e->alignment = Qt::AlignRight;
    e->resetAfterPrint = true;
    return e;
  };
  tax1Sum_ = sum("Tax1Sum", "SUM(" + L + "." + F("tax1") + ")", 147, 2, 17);
  tax2Sum_ = sum("Tax2Sum", "SUM(" + L + "." + F("tax2") + ")", 165, 2, 17);
  salesSum_ = sum("TotalSum", "SUM(" + L + "." + F("total") + ")", 183, 2, 20);
  costSum_ = sum("CostSum", "SUM(" + L + "." + F("cost") + ")", 204, 2, 19);
  // The invoice's margin and profit under the lines' own, on a row of their
  // own: the archive writes them with every digit.
  margin_ = footer->addLabel("MarginValue", "", {w - 60, 8, 30, 4.5});
  profit_ = footer->addLabel("ProfitValue", "", {w - 30, 8, 30, 4.5});
  margin_->alignment = profit_->alignment = Qt::AlignRight;
  footer->addLabel("SalesTotalLabel", archived ? "Ventes total:" : "Ventes totales:", {150, 15, 32, 5});
  sum("InvoiceTotal", "SUM(" + L + "." + F("total") + " + " + L + "." + F("tax1") + " + " + L + "." + F("tax2") + ")",
      183, 15, 20);
  footer->addLabel("CostTotalLabel", "Coût total:", {150, 21, 32, 5});
  sum("CostTotal", "SUM(" + L + "." + F("cost") + ")", 183, 21, 20);
  for (int p = 1; p <= 10; ++p) {
    const double x = p <= 5 ? 0 : 72;
    const double y = 15 + 5.5 * ((p - 1) % 5);
    footer->addDBText("PaymentName" + n(p), &dm.Table1, "Ctrl_pmt_name" + n(p), {x, y, 38, 4.5});
    auto* amount = footer->addDBText("Payment" + n(p), &header_, H("pmt") + n(p), {x + 40, y, 26, 4.5});
    amount->setMask(kMoneyMask);
    amount->alignment = Qt::AlignRight;
  }
  footer->beforePrint = [this](Band&, bool& print) { footerBeforePrint(print); };
  if (!archived) footer->afterPrint = [this](Band&, bool) { sales_ = cost_ = db::Money(); };
  beforePrint = [this](report::Report&, bool&) { beforeReport(); };
}

void InvoiceReport::beforeReport() {
  sales_ = cost_ = db::Money();
  if (isIntlOn()) {
    const bool english = language_ == 1;
    if (archived_ || language_ == 1 || language_ == 2) {
      tax1Heading_->setCaption(english ? "Tax 1" : "Taxe 1");
      tax2Heading_->setCaption(english ? "Tax 2" : "Taxe 2");
    }
  }
  for (int p = 1; p <= 10; ++p) {
    const bool named = !dm_.Table1.fieldByName("Ctrl_pmt_name" + std::to_string(p)).asString().empty();
    for (const QString& name : {"PaymentName" + n(p), "Payment" + n(p)})
      if (auto* c = findAs<Printable>(name)) c->setEnabled(named);
  }
  // Invoice amounts print without a currency symbol.
  shared::ApplyReportCurrency(*this, 0);
}

void InvoiceReport::lineBeforePrint() {
  const bool comment = lines_.fieldByName(f("line_code")).asString().empty() &&
                       lines_.fieldByName(f("qty_order")).asFloat() == 0.0;
  for (Printable* p : lineValues_) p->setEnabled(!comment);
}

void InvoiceReport::lineAfterPrint() {
  for (Printable* p : lineValues_) p->setEnabled(true);
  if (archived_) return;
  cost_ += lines_.fieldByName(f("cost")).asCurrency();
  sales_ += lines_.fieldByName(f("total")).asCurrency();
}

QString InvoiceReport::marginText(db::Money sales, db::Money cost, bool archived) {
  const auto m = InquiryDataModule::marginOf(sales, cost);
  if (!m) return archived ? "0" : "0.00";
  return archived ? QString::number(*m, 'g', 15) : q(db::formatFloat("##0.00", *m));
}

QString InvoiceReport::profitText(db::Money sales, db::Money cost, bool archived) {
  const auto m = InquiryDataModule::markupOf(sales, cost);
  if (!m) return archived ? "0" : "0.00";
  return archived ? QString::number(*m, 'g', 15) : q(db::formatFloat("##0.00", *m));
}

void InvoiceReport::footerBeforePrint(bool& print) {
  if (tax1Sum_->value().isError() || tax2Sum_->value().isError()) {
    print = false;
    return;
  }
  db::Money sales = sales_, cost = cost_;
  if (archived_) {
    sales = salesSum_->value().toMoney().value_or(db::Money());
    cost = costSum_->value().toMoney().value_or(db::Money());
  }
  margin_->setCaption(marginText(sales, cost, archived_));
  profit_->setCaption(profitText(sales, cost, archived_));
}

// ---------------------------------------------------------------- factories

std::unique_ptr<report::Report> makeEntryReport(InquiryDataModule& dm, int language) {
  if (dm.side().receivables()) return std::make_unique<Tkq61_qrfrm>(dm, language);
  return std::make_unique<Tvd52_qrfrm>(dm, language);
}

std::unique_ptr<report::Report> makeCashReport(InquiryDataModule& dm, int language) {
  if (dm.side().receivables()) return std::make_unique<Tkq61_qrfrm2>(dm, language);
  return std::make_unique<Tvd52_qrfrm2>(dm, language);
}

std::unique_ptr<report::Report> makeInvoiceReport(InquiryDataModule& dm, bool archived, int language) {
  if (archived) return std::make_unique<Thm35_qrfrm2>(dm, language);
  return std::make_unique<Thm35_qrfrm>(dm, language);
}

}  // namespace inquiry
