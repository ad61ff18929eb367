// Clients, their open items and history (car, carh), the sales and notes as
// keyed (arori), the receipts that paid them (crorihdr, croridet) and the
// billing documents of the sales (fahdr/fadet, archived in fahdra/fadeta).
#include <algorithm>
#include <map>

#include "ledger_generator_internal.h"

namespace admin::gen {

namespace {

using data::TransactionType;

struct InvoiceLine {
  const Product* product = nullptr;  // none for a comment line
  std::string description;
  int64_t quantity = 0;
  Cents unitPrice = 0, total = 0, cost = 0, gst = 0, pst = 0;
};

struct Sale {
  std::string invoice;
  pdx::Date date;
  bool mustStayOpen = false;
  bool history = false;
  Cents subtotal = 0, gst = 0, pst = 0, total = 0;
  std::vector<InvoiceLine> lines;
  std::vector<Document> docs;  // docs[0] is the invoice
  Cents balance() const {
    Cents b = 0;
    for (const auto& d : docs) b += d.amount;
    return b;
  }
  pdx::Date lastActivity() const {
    pdx::Date last = date;
    for (const auto& d : docs) last = std::max(last, d.date);
    return last;
  }
};

struct Client {
  PartyIdentity id;
  bool heavy = false;  // gets exactly profile.heavyPartyItems open items
  int currency = 0;
  int termsCode = 3;   // arterms
  int32_t duDays = 30;  // Cli_du_days, either encoding
  int priceList = 1;
  int discount = 0;  // percent
  std::string rep;
  double commission = 0;
  std::vector<Sale> sales;
};

// The control record's payment method "Cheque" (starter_data.cpp).
constexpr int kChequeMethod = 2;

// Payment terms codes of arterms and their days (starter_data.cpp).
const int kTermDays[] = {0, 10, 15, 30, 45, 60, 90};

Client makeClient(Context& ctx, int index) {
  Client c;
  const bool american = !ctx.profile.numberedParties && index >= 5 && ctx.random.chance(8);
  if (american) {
    c.id = ctx.identities.americanClient();
    c.currency = 1;
  } else {
    const bool french = ctx.partyFrench();
    c.id = ctx.profile.numberedParties ? ctx.identities.numbered('C', index + 1, french) : ctx.identities.client(french);
  }
  c.termsCode = static_cast<int>(ctx.random.pick(std::vector<int64_t>{0, 1, 2, 3, 3, 3, 4, 5, 6}));
  c.duDays = kTermDays[c.termsCode];
  // Some clients pay on a day of the next month instead.
  if (c.termsCode == 3 && ctx.random.chance(30)) c.duDays = data::termsOnDayOfNextMonth(static_cast<int>(ctx.random.pick(std::vector<int64_t>{10, 15, 25, 30})));
  c.priceList = static_cast<int>(ctx.random.between(1, 5));
  c.discount = c.priceList == 1 ? 0 : static_cast<int>(ctx.random.between(0, 3)) * 5;
  const auto& rep = ctx.salesReps[static_cast<size_t>(ctx.random.between(0, static_cast<int64_t>(ctx.salesReps.size()) - 1))];
  c.rep = rep.first;
  c.commission = rep.second;
  return c;
}

int saleCount(Context& ctx, int index) {
  // Every sale makes at least one open item: enough to trim to the count.
  if (isHeavyParty(ctx.profile, index)) return static_cast<int>(ctx.profile.heavyPartyItems);
  const int64_t items = ctx.profile.receivablesItems;
  if (items <= 0) return static_cast<int>(ctx.random.between(3, 9));
  const int64_t n = ctx.profile.clients;
  return static_cast<int>(items / n + (index < items % n ? 1 : 0));
}

void buildLines(Context& ctx, const Client& c, Sale& s) {
  const bool taxed = c.currency == 0;
  const int count = static_cast<int>(ctx.random.between(1, 4));
  for (int i = 0; i < count; ++i) {
    const Product& p = ctx.products[static_cast<size_t>(ctx.random.between(0, static_cast<int64_t>(ctx.products.size()) - 1))];
    InvoiceLine line;
    line.product = &p;
    line.description = c.id.french ? p.french : p.english;
    line.quantity = p.service ? ctx.random.between(1, 24) : ctx.random.between(1, 12);
    line.unitPrice = p.price * (100 - c.discount) / 100;
    line.total = line.unitPrice * line.quantity;
    line.cost = p.cost * line.quantity;
    if (taxed) {
      line.gst = taxOn(line.total, ctx.profile.taxes.federal);
      line.pst = taxOn(line.total, ctx.profile.taxes.provincial1 + ctx.profile.taxes.provincial2);
    }
    s.subtotal += line.total;
    s.gst += line.gst;
    s.pst += line.pst;
    s.lines.push_back(std::move(line));
  }
  if (ctx.random.chance(40)) {
    // A comment line: no line code and nothing ordered.
    static const char* kFrench[] = {"Livré au chantier du client", "Couleur choisie par le client : noyer foncé",
                                    "Garantie de cinq ans sur la main-d'oeuvre"};
    static const char* kEnglish[] = {"Delivered to the customer's site", "Colour chosen by the customer: dark walnut",
                                     "Five-year warranty on workmanship"};
    InvoiceLine comment;
    comment.description = (c.id.french ? kFrench : kEnglish)[ctx.random.between(0, 2)];
    const auto at = s.lines.begin() + ctx.random.between(0, static_cast<int64_t>(s.lines.size()));
    s.lines.insert(at, std::move(comment));
  }
  s.total = s.subtotal + s.gst + s.pst;
}

void planDocuments(Context& ctx, const Client& c, Sale& s) {
  const bool fr = c.id.french;
  buildLines(ctx, c, s);
  Document bill;
  bill.type = TransactionType::kInvoice;
  bill.date = s.date;
  bill.due = data::dueDate(s.date, c.duDays).value_or(s.date);
  bill.amount = s.total;
  bill.memo = fr ? "Facture " + s.invoice : "Invoice " + s.invoice;
  bill.lines.push_back({accounts::kReceivable, s.total, 0});
  std::map<int, Cents> bySalesAccount;
  for (const InvoiceLine& l : s.lines)
    if (l.product) bySalesAccount[l.product->salesAccount] += l.total;
  for (const auto& [account, amount] : bySalesAccount) bill.lines.push_back({account, 0, amount});
  if (s.gst) bill.lines.push_back({accounts::kGstCollected, 0, s.gst});
  if (s.pst) bill.lines.push_back({ctx.profile.harmonizedTax ? accounts::kGstCollected : accounts::kQstCollected, 0, s.pst});
  s.docs.push_back(bill);

  auto follow = [&](TransactionType type, Cents amount) {
    const pdx::Date d{s.date.days + static_cast<int32_t>(ctx.random.between(3, 25))};
    if (ctx.ageOf(d) < 1) return;
    Document n;
    n.type = type;
    n.ref = noteReference(ctx, type, fr);
    n.date = d;
    n.due = d;
    n.amount = amount;
    const int other = type == TransactionType::kCreditNote ? accounts::kSalesReturns
                      : type == TransactionType::kDebitNote ? accounts::kOtherRevenue
                      : amount >= 0                         ? accounts::kOtherRevenue
                                                            : accounts::kDiscounts;
    // What the client owes grows with a debit to the A/R account.
    if (amount >= 0)
      n.lines = {{accounts::kReceivable, amount, 0}, {other, 0, amount}};
    else
      n.lines = {{other, -amount, 0}, {accounts::kReceivable, 0, -amount}};
    n.memo = type == TransactionType::kDebitNote    ? (fr ? "Frais de retard" : "Late payment charge")
             : type == TransactionType::kCreditNote ? (fr ? "Crédit pour pièce endommagée" : "Credit for damaged part")
                                                    : (fr ? "Ajustement de solde" : "Balance adjustment");
    s.docs.push_back(n);
  };
  if (ctx.random.chance(6)) follow(TransactionType::kDebitNote, ctx.random.between(1000, 7500));
  if (ctx.random.chance(10)) follow(TransactionType::kCreditNote, -(s.total * ctx.random.between(5, 30) / 100));
  if (ctx.random.chance(5)) follow(TransactionType::kAdjustment, ctx.random.between(-1500, 1500));
}

// The Friday on or after a day (day 1 of the calendar is a Monday).
pdx::Date nextFriday(pdx::Date d) {
  const int weekday = static_cast<int>((d.days - 1) % 7);  // 0 Monday
  return pdx::Date{d.days + (4 - weekday + 7) % 7};
}

// Renames "Fahdr_x" to "Fahdra_x" (and the lines' "Fadet_x" to "Fadeta_x")
// for the archive. Fadet_core_cost keeps its name there.
Row archived(Row row, const std::string& from, const std::string& to) {
  for (auto& [name, value] : row)
    if (name.rfind(from, 0) == 0 && name != "Fadet_core_cost") name = to + name.substr(from.size());
  return row;
}

pdx::Status writeInvoice(Context& ctx, const Client& c, const Sale& s, const Document& bill) {
  const bool archive = ctx.ageOf(s.date) > 395;
  Cents paid = 0;
  for (const Document& d : s.docs)
    if (d.type == TransactionType::kPayment) paid -= d.amount;
  static const char* kShipVia[] = {"Notre camion / Our truck", "Purolator", "Client / Pick-up", "Transport Morneau"};
  const pdx::Date ordered{s.date.days - static_cast<int32_t>(ctx.random.between(0, 20))};
  Row header{{"Fahdr_doc", text(data::transactionTypeCode(TransactionType::kInvoice))},
             {"Fahdr_invoice", text(s.invoice)},
             {"Fahdr_client", text(c.id.code)},
             {"Fahdr_order", integer(0)},
             {"Fahdr_date", date(s.date)},
             {"Fahdr_du_date", date(bill.due)},
             {"Fahdr_slsm", text(c.rep)},
             {"Fahdr_comm", pdx::Value::number(c.commission)},
             {"Fahdr_shp_nom", text(truncateText(c.id.name, 40))},
             {"Fahdr_shp_adr1", text(c.id.address1)},
             {"Fahdr_shp_city", text(c.id.city)},
             {"Fahdr_shp_prov", text(c.id.province)},
             {"Fahdr_shp_cp", text(c.id.postalCode)},
             {"Fahdr_shp_country", text(c.id.country)},
             {"Fahdr_shp_tel", text(c.id.telephone)},
             {"Fahdr_charge_to", text(c.id.code)},
             {"Fahdr_terms", integer(c.termsCode)},
             {"Fahdr_date_shp", date(s.date)},
             {"Fahdr_ship_via", text(kShipVia[ctx.random.between(0, 3)])},
             {"Fahdr_total", cents(s.subtotal)},
             {"Fahdr_tax1", cents(s.gst)},
             {"Fahdr_tax2", cents(s.pst)},
             {"Fahdr_g_total", cents(s.total)},
             {"Fahdr_date_order", date(ordered)},
             {"Fahdr_time_order", pdx::Value::time(pdx::Time{static_cast<int32_t>(ctx.random.between(8, 16)) * 3'600'000})},
             {"Fahdr_time_invoice", pdx::Value::time(pdx::Time{static_cast<int32_t>(ctx.random.between(8, 16)) * 3'600'000})},
             {"Fahdr_status", integer(0)},
             {"Fahdr_pmt_received", cents(paid)},
             {"Fahdr_tender", cents(0)},
             {"Fahdr_user", text("ADMIN")},
             {"Fahdr_stamp", pdx::Value::timestamp(ctx.stampOn(s.date))},
             {"Fahdr_type", integer(0)},
             {"Fahdr_store", integer(1)}};
  if (ctx.random.chance(30)) header.emplace_back("Fahdr_po", text("PO-" + std::to_string(ctx.random.between(1000, 99999))));
  // What the client's cheques paid of it, under the cheque payment method.
  for (int n = 1; n <= 10; ++n) header.emplace_back("Fahdr_pmt" + std::to_string(n), cents(n == kChequeMethod ? paid : 0));
  PDX_RETURN_IF_ERROR(ctx.sink.add(archive ? "fahdra" : "fahdr", archive ? archived(header, "Fahdr_", "Fahdra_") : header));
  ++(archive ? ctx.counts.archivedInvoices : ctx.counts.invoices);

  for (const InvoiceLine& l : s.lines) {
    Row line{{"Fadet_doc", text(data::transactionTypeCode(TransactionType::kInvoice))},
             {"Fadet_invoice", text(s.invoice)},
             {"Fadet_desc", text(l.description)}};
    if (l.product) {
      line.insert(line.end(), {{"Fadet_line_code", text(l.product->lineCode)},
                               {"Fadet_item_code", text(l.product->itemCode)},
                               {"Fadet_kit", logical(false)},
                               {"Fadet_core", logical(false)},
                               {"Fadet_core_cost", pdx::Value::number(0)},
                               {"Fadet_qty_order", pdx::Value::number(static_cast<double>(l.quantity))},
                               {"Fadet_qty_ship", pdx::Value::number(static_cast<double>(l.quantity))},
                               {"Fadet_bo", logical(false)},
                               {"Fadet_tax1_code", logical(l.gst != 0)},
                               {"Fadet_tax2_code", logical(l.pst != 0)},
                               {"Fadet_price", pdx::Value::number(static_cast<double>(l.unitPrice) / 100)},
                               {"Fadet_discount", pdx::Value::number(c.discount)},
                               {"Fadet_sales_accnt", integer(l.product->salesAccount)},
                               {"Fadet_cost_accnt", integer(accounts::kPurchases)},
                               {"Fadet_cost", cents(l.cost)},
                               {"Fadet_total", cents(l.total)},
                               {"Fadet_tax1", cents(l.gst)},
                               {"Fadet_tax2", cents(l.pst)},
                               {"Fadet_bin_loc", text(l.product->service ? "" : "A-" + std::to_string(ctx.random.between(1, 40)))},
                               {"Fadet_perc_comm", pdx::Value::number(c.commission)}});
    } else {
      line.insert(line.end(), {{"Fadet_line_code", text("")}, {"Fadet_qty_order", pdx::Value::number(0)}});
    }
    PDX_RETURN_IF_ERROR(ctx.sink.add(archive ? "fadeta" : "fadet", archive ? archived(line, "Fadet_", "Fadeta_") : line));
  }
  return pdx::Status::Ok();
}

pdx::Status payAndWrite(Context& ctx, Client& c) {
  const bool fr = c.id.french;
  // The heavy client's newest sales first, so that the trimming below keeps
  // them: its open items then reach every aging column.
  if (c.heavy) std::reverse(c.sales.begin(), c.sales.end());
  // Receipts: a client's payments fall on a Friday, several invoices at once.
  PlannedPayments receipts;
  for (size_t i = 0; i < c.sales.size(); ++i) {
    Sale& s = c.sales[i];
    if (s.mustStayOpen) continue;
    const Document& bill = s.docs.front();
    if (!ctx.random.chance(ctx.ageOf(s.date) > 40 ? 88 : 30)) continue;
    const pdx::Date paid = nextFriday(pdx::Date{std::max(bill.due.days + static_cast<int32_t>(ctx.random.between(-10, 25)),
                                                         s.lastActivity().days + 1)});
    if (ctx.ageOf(paid) < 1) continue;
    Cents amount = s.balance();
    if (amount <= 0) continue;
    if (ctx.random.chance(8)) amount = amount / 2;
    receipts[paid.days].emplace_back(i, amount);
  }
  if (c.heavy) trimToOpenItems(c.sales, receipts, ctx.profile.heavyPartyItems);
  const int bank = c.currency == 1 ? accounts::kUsBank : accounts::kBank;
  for (const auto& [day, paid] : receipts) {
    const pdx::Date when{day};
    char number[16];
    std::snprintf(number, sizeof number, "RC%08lld", static_cast<long long>(ctx.nextReceipt++));
    Cents total = 0;
    for (const auto& [i, amount] : paid) total += amount;
    Row header{{"Reference", text(number)},
               {"Client", text(c.id.code)},
               {"Date", date(when)},
               {"Not_from_cli", logical(false)},
               {"Nsf_cheque", logical(false)},
               {"Comments", text(fr ? "Chèque du client" : "Customer cheque")}};
    putDistribution(header, {{bank, total, 0}, {accounts::kReceivable, 0, total}}, 20);
    header.emplace_back("User", text("ADMIN"));
    header.emplace_back("Stamp", pdx::Value::timestamp(ctx.stampOn(when)));
    PDX_ASSIGN_OR_RETURN(int64_t seq, ctx.sink.addReading("crorihdr", header, "Seq"));
    ++ctx.counts.receipts;
    for (const auto& [i, amount] : paid) {
      Sale& s = c.sales[i];
      PDX_RETURN_IF_ERROR(ctx.sink.add("croridet", {{"Reference", text(number)},
                                                    {"Client", text(c.id.code)},
                                                    {"Date", date(when)},
                                                    {"Header_seq", integer(seq)},
                                                    {"Invoice", text(s.invoice)},
                                                    {"Invoice_date", date(s.date)},
                                                    {"Invoice_due_date", date(s.docs.front().due)},
                                                    {"Invoice_amount", cents(s.total)},
                                                    {"Invoice_payment", cents(amount)}}));
      Document payment;
      payment.type = TransactionType::kPayment;
      payment.ref = number;
      payment.date = when;
      payment.due = when;
      payment.amount = -amount;
      payment.memo = fr ? "Encaissement " + std::string(number) : "Receipt " + std::string(number);
      s.docs.push_back(payment);
    }
  }

  for (Sale& s : c.sales)
    s.history = !c.heavy && s.balance() == 0 && ctx.ageOf(s.lastActivity()) > 60 && ctx.random.chance(85);

  PartyActivity activity(ctx.profile.today);
  for (const Sale& s : c.sales) {
    for (const Document& d : s.docs) {
      const std::string type = data::transactionTypeCode(d.type);
      Row item{{"Car_client", text(c.id.code)}, {"Car_invoice", text(s.invoice)}, {"Car_ref", text(d.ref)},
               {"Car_date", date(d.date)},      {"Car_type", text(type)},         {"Car_du_date", date(d.due)},
               {"Car_amount", cents(d.amount)}, {"Car_memo", text(d.memo)},       {"Car_slsm", text(c.rep)},
               {"Car_user", text("ADMIN")},     {"Car_stamp", pdx::Value::timestamp(ctx.stampOn(d.date))}};
      if (d.type == TransactionType::kInvoice) {
        item.emplace_back("Car_pro_tax", cents(s.pst));
        item.emplace_back("Car_fed_tax", cents(s.gst));
      }
      // carh numbers its rows itself (Car_seq is an autoincrement there).
      if (!s.history) item.emplace_back("Car_seq", integer(ctx.nextCarSeq++));
      PDX_RETURN_IF_ERROR(ctx.sink.add(s.history ? "carh" : "car", item));
      ++(s.history ? ctx.counts.receivablesHistory : ctx.counts.openReceivables);
      activity.note(ctx, d, s.history);
      if (d.type == TransactionType::kPayment) continue;
      if (d.type == TransactionType::kInvoice) {
        PDX_RETURN_IF_ERROR(writeInvoice(ctx, c, s, d));
      }
      Row entry{{"Reference", text(s.invoice)},
                {"Client", text(c.id.code)},
                {"Date", date(d.date)},
                {"Due_date", date(d.due)},
                {"Direct_cash_sale", logical(false)},
                {"Trx_type", text(type)},
                {"Dr_cr_reference", text(d.ref)},
                {"Comments", text(d.memo)}};
      putDistribution(entry, d.lines, 15);
      entry.emplace_back("Stamp", pdx::Value::timestamp(ctx.stampOn(d.date)));
      entry.emplace_back("User", text("ADMIN"));
      entry.emplace_back("DebitCredit", logical(d.type != TransactionType::kInvoice));
      PDX_RETURN_IF_ERROR(ctx.sink.add("arori", entry));
    }
  }

  Row client{{"Cli_code", text(c.id.code)},
             {"Cli_name", text(c.id.name)},
             {"Cli_adr1", text(c.id.address1)},
             {"Cli_city", text(c.id.city)},
             {"Cli_prov", text(c.id.province)},
             {"Cli_country", text(c.id.country)},
             {"Cli_postal_code", text(c.id.postalCode)},
             {"Cli_tel", text(c.id.telephone)},
             {"Cli_fax", text(c.id.fax)},
             {"Cli_contact", text(c.id.contact)},
             {"Cli_contact_tel", text(c.id.contactTelephone)},
             {"Cli_email", text(c.id.email)},
             {"Cli_charge_to", text(c.id.code)},
             {"Cli_salesrep", text(c.rep)},
             {"Cli_terr", text(c.id.province)},
             {"Cli_language", text(fr ? "F" : "E")},
             {"Cli_terms", integer(c.termsCode)},
             {"Cli_date_created", date(pdx::Date{activity.first.days - static_cast<int32_t>(ctx.random.between(30, 500))})},
             {"Cli_tax_fed", logical(c.currency == 0)},
             {"Cli_tax_pro", logical(c.currency == 0)},
             {"Cli_po_req", logical(ctx.random.chance(15))},
             {"Cli_du_days", integer(c.duDays)},
             {"Cli_credit_limit", integer(ctx.random.between(2, 50) * 1000)},
             {"Cli_price_list", integer(c.priceList)},
             {"Cli_discount", pdx::Value::number(c.discount)},
             {"Cli_current_bal", cents(activity.balance)},
             {"Cli_last_sale", cents(activity.lastInvoice)},
             {"Cli_sales_mth", cents(activity.month)},
             {"Cli_sales_ytd", cents(activity.year)},
             {"Cli_user", text("ADMIN")},
             {"Cli_stamp", pdx::Value::timestamp(ctx.stampOn(ctx.daysAgo(1)))},
             {"Cli_currency", integer(c.currency)},
             {"Cli_credit_hold", logical(false)},
             {"Cli_block_orders", logical(false)},
             {"Cli_email_statement", logical(ctx.random.chance(40))},
             {"Cli_email_invoice", logical(ctx.random.chance(40))},
             {"Cli_accnt1", integer(accounts::kSales)},
             {"Cli_accnt2", integer(0)},
             {"Cli_accnt3", integer(0)},
             {"Cli_copies", integer(ctx.random.between(1, 2))}};
  if (activity.lastInvoiceDate.days > 0) client.emplace_back("Cli_date_last_sale", date(activity.lastInvoiceDate));
  if (activity.lastPayment.days > 0) client.emplace_back("Cli_date_last_pmt", date(activity.lastPayment));
  if (ctx.random.chance(25))
    client.emplace_back("Cli_comments", text(fr ? "Client fidèle depuis l'ouverture; préfère être joint le matin."
                                                : "Long-standing customer; prefers to be called in the morning."));
  if (ctx.random.chance(20))
    client.emplace_back("Cli_ship_via", text(fr ? "Livraison par notre camion" : "Our own truck"));
  PDX_RETURN_IF_ERROR(ctx.sink.add("cli", client));
  ++ctx.counts.clients;
  return pdx::Status::Ok();
}

}  // namespace

pdx::Status generateReceivables(Context& ctx) {
  // Invoice numbers follow the dates across all clients, so the plans of
  // every client come first.
  std::vector<Client> clients;
  struct Planned {
    int32_t day;
    size_t client, sale;
  };
  std::vector<Planned> order;
  for (int i = 0; i < ctx.profile.clients; ++i) {
    Client c = makeClient(ctx, i);
    c.heavy = isHeavyParty(ctx.profile, i);
    const int64_t forced = !ctx.profile.numberedParties && i < 5 ? kBucketAges[i] : 0;
    for (int64_t age : ctx.documentAges(saleCount(ctx, i), forced)) {
      Sale s;
      s.date = ctx.daysAgo(age);
      s.mustStayOpen = forced > 0 && age == forced;
      order.push_back({s.date.days, clients.size(), c.sales.size()});
      c.sales.push_back(std::move(s));
    }
    clients.push_back(std::move(c));
  }
  std::sort(order.begin(), order.end(), [](const Planned& a, const Planned& b) {
    return std::tie(a.day, a.client, a.sale) < std::tie(b.day, b.client, b.sale);
  });
  int64_t number = 1001;
  for (const Planned& p : order) clients[p.client].sales[p.sale].invoice = std::to_string(number++);
  ctx.counts.nextInvoice = number;

  for (Client& c : clients) {
    for (Sale& s : c.sales) planDocuments(ctx, c, s);
    PDX_RETURN_IF_ERROR(payAndWrite(ctx, c));
    c.sales.clear();
    c.sales.shrink_to_fit();
  }
  return pdx::Status::Ok();
}

}  // namespace admin::gen
