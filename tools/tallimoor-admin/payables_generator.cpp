// Suppliers, their open items and history (cap, caph), the purchases and
// notes as keyed (apori), the cheques that paid them (cdorihdr, cdoridet) and
// the current period's journal.
#include <algorithm>
#include <map>

#include "ledger_generator_internal.h"

namespace admin::gen {

namespace {

using data::TransactionType;

// A purchase invoice and the documents that hang on it.
struct Purchase {
  std::string invoice;
  Cents total = 0;
  std::vector<Document> docs;  // docs[0] is the purchase
  bool history = false;
  bool mustStayOpen = false;
  Cents balance() const {
    Cents b = 0;
    for (const auto& d : docs) b += d.amount;
    return b;
  }
  pdx::Date lastActivity() const {
    pdx::Date last = docs.front().date;
    for (const auto& d : docs) last = std::max(last, d.date);
    return last;
  }
};

struct Supplier {
  PartyIdentity id;
  bool heavy = false;  // gets exactly profile.heavyPartyItems open items
  int currency = 0;
  int32_t terms = 30;
  int payable = accounts::kPayable;
  int bank = accounts::kBank;
  int accounts[3] = {0, 0, 0};
  std::vector<Purchase> purchases;
};

const int kExpenseAccounts[] = {5000, 5010, 5020, 5030, 5100, 5200, 5210, 5220, 5300, 5310, 5400, 5500, 5600};

Supplier makeSupplier(Context& ctx, int index) {
  Supplier s;
  // The first four foreign suppliers bill in currencies 1 to 4; a few more
  // bill in US dollars.
  const int foreignSlot = index - 5;  // after the five that fill the aging columns
  if (!ctx.profile.numberedParties && foreignSlot >= 0 && foreignSlot < 4) {
    s.currency = foreignSlot + 1;
    s.id = ctx.identities.foreignSupplier(s.currency);
  } else {
    const bool french = ctx.partyFrench();
    s.id = ctx.profile.numberedParties ? ctx.identities.numbered('S', index + 1, french) : ctx.identities.supplier(french);
    if (ctx.random.chance(4)) s.currency = 1;
  }
  s.payable = accounts::payableFor(s.currency);
  s.bank = s.currency == 1 ? accounts::kUsBank : accounts::kBank;
  // Terms in both encodings: net days, or a day of the next month.
  static const int32_t kTerms[] = {30, 30, 45, 60, 0, 15, 910, 915, 925, 930};
  s.terms = kTerms[ctx.random.between(0, 9)];
  for (int& a : s.accounts) a = ctx.random.chance(60) ? ctx.random.pick(std::vector<int>(std::begin(kExpenseAccounts), std::end(kExpenseAccounts))) : 0;
  return s;
}

int purchaseCount(Context& ctx, int index) {
  // Every purchase makes at least one open item: enough to trim to the count.
  if (isHeavyParty(ctx.profile, index)) return static_cast<int>(ctx.profile.heavyPartyItems);
  const int64_t items = ctx.profile.payablesItems;
  if (items <= 0) return static_cast<int>(ctx.random.between(3, 8));
  const int64_t n = ctx.profile.suppliers;
  return static_cast<int>(items / n + (index < items % n ? 1 : 0));
}

void planPurchases(Context& ctx, Supplier& s, int index) {
  const bool fr = s.id.french;
  const int count = purchaseCount(ctx, index);
  const int64_t forced = !ctx.profile.numberedParties && index < 5 ? kBucketAges[index] : 0;
  std::string prefix = s.id.code.substr(0, 2);
  int64_t number = ctx.random.between(1000, 8000);
  const auto ages = ctx.documentAges(count, forced);
  for (size_t k = 0; k < ages.size(); ++k) {
    Purchase p;
    p.invoice = prefix + "-" + std::to_string(number += ctx.random.between(1, 40));
    p.mustStayOpen = forced > 0 && ages[k] == forced;
    const pdx::Date when = ctx.daysAgo(ages[k]);
    const Cents subtotal = ctx.random.between(4000, 480000);
    Cents gst = 0, pst = 0;
    if (s.currency == 0) {
      gst = taxOn(subtotal, ctx.profile.taxes.federal);
      pst = taxOn(subtotal, ctx.profile.taxes.provincial1 + ctx.profile.taxes.provincial2);
    }
    p.total = subtotal + gst + pst;
    Document doc;
    doc.type = TransactionType::kInvoice;
    doc.date = when;
    doc.due = data::dueDate(when, s.terms).value_or(when);
    doc.amount = p.total;
    const int expense = s.accounts[0] != 0 ? s.accounts[0] : kExpenseAccounts[ctx.random.between(0, 4)];
    doc.lines.push_back({expense, subtotal, 0});
    if (gst) doc.lines.push_back({accounts::kGstPaid, gst, 0});
    if (pst) doc.lines.push_back({ctx.profile.harmonizedTax ? accounts::kGstPaid : accounts::kQstPaid, pst, 0});
    doc.lines.push_back({s.payable, 0, p.total});
    doc.memo = fr ? "Facture " + p.invoice : "Invoice " + p.invoice;
    p.docs.push_back(doc);

    // Notes and adjustments that follow the purchase by a few days.
    auto follow = [&](TransactionType type, Cents amount) {
      const pdx::Date d{when.days + static_cast<int32_t>(ctx.random.between(2, 20))};
      if (ctx.ageOf(d) < 1) return;
      Document n;
      n.type = type;
      n.ref = noteReference(ctx, type, fr);
      n.date = d;
      n.due = d;
      n.amount = amount;
      const int other = type == TransactionType::kAdjustment ? accounts::kDiscounts : expense;
      // Owed to the supplier grows with a credit to the A/P account.
      if (amount >= 0)
        n.lines = {{other, amount, 0}, {s.payable, 0, amount}};
      else
        n.lines = {{s.payable, -amount, 0}, {other, 0, -amount}};
      n.memo = type == TransactionType::kDebitNote    ? (fr ? "Frais de transport facturés" : "Freight charged")
               : type == TransactionType::kCreditNote ? (fr ? "Retour de marchandise" : "Goods returned")
                                                      : (fr ? "Écart d'arrondi" : "Rounding difference");
      p.docs.push_back(n);
    };
    if (ctx.random.chance(10)) follow(TransactionType::kDebitNote, ctx.random.between(1500, 25000));
    if (ctx.random.chance(12)) follow(TransactionType::kCreditNote, -(p.total * ctx.random.between(10, 40) / 100));
    if (ctx.random.chance(5)) follow(TransactionType::kAdjustment, ctx.random.between(-2500, 2500));
    s.purchases.push_back(std::move(p));
  }
}

// The cheque run on or after a day: the 5th or the 20th of a month.
pdx::Date chequeRun(pdx::Date d) {
  int y = 0, m = 0, day = 0;
  d.toYmd(y, m, day);
  if (day <= 5) return *pdx::Date::fromYmd(y, m, 5);
  if (day <= 20) return *pdx::Date::fromYmd(y, m, 20);
  return m == 12 ? *pdx::Date::fromYmd(y + 1, 1, 5) : *pdx::Date::fromYmd(y, m + 1, 5);
}

pdx::Status payAndWrite(Context& ctx, Supplier& s) {
  const bool fr = s.id.french;
  // The heavy supplier's newest purchases first, so that the trimming below
  // keeps them: its open items then reach every aging column.
  if (s.heavy) std::reverse(s.purchases.begin(), s.purchases.end());
  // Payments, grouped into one cheque per cheque run.
  PlannedPayments cheques;
  for (size_t i = 0; i < s.purchases.size(); ++i) {
    Purchase& p = s.purchases[i];
    if (p.mustStayOpen) continue;
    const Document& bill = p.docs.front();
    const int64_t age = ctx.ageOf(bill.date);
    if (!ctx.random.chance(age > 45 ? 90 : 35)) continue;
    const pdx::Date run = chequeRun(pdx::Date{std::max(bill.due.days - 5, bill.date.days + 3)});
    if (ctx.ageOf(run) < 1 || run.days < p.lastActivity().days) continue;
    Cents pay = p.balance();
    if (pay <= 0) continue;
    if (ctx.random.chance(8)) pay = pay / 2;
    cheques[run.days].emplace_back(i, pay);
  }
  if (s.heavy) trimToOpenItems(s.purchases, cheques, ctx.profile.heavyPartyItems);
  for (const auto& [day, paid] : cheques) {
    const pdx::Date run{day};
    const std::string number = std::to_string(ctx.nextCheque++);
    Cents total = 0;
    for (const auto& [i, amount] : paid) total += amount;
    Row header{{"Reference", text(number)},
               {"Supplier", text(s.id.code)},
               {"Date", date(run)},
               {"Not_to_sup", logical(false)},
               {"Comments", text(fr ? "Paiement de " + std::to_string(paid.size()) + " facture(s)"
                                    : "Payment of " + std::to_string(paid.size()) + " invoice(s)")},
               {"User", text("ADMIN")},
               {"Stamp", pdx::Value::timestamp(ctx.stampOn(run))}};
    putDistribution(header, {{s.payable, total, 0}, {s.bank, 0, total}}, 20);
    PDX_ASSIGN_OR_RETURN(int64_t seq, ctx.sink.addReading("cdorihdr", header, "Seq"));
    ++ctx.counts.cheques;
    for (const auto& [i, amount] : paid) {
      Purchase& p = s.purchases[i];
      const Document& bill = p.docs.front();
      PDX_RETURN_IF_ERROR(ctx.sink.add("cdoridet", {{"Reference", text(number)},
                                                    {"Supplier", text(s.id.code)},
                                                    {"Date", date(run)},
                                                    {"Header_seq", integer(seq)},
                                                    {"Invoice", text(p.invoice)},
                                                    {"Invoice_date", date(bill.date)},
                                                    {"Invoice_due_date", date(bill.due)},
                                                    {"Invoice_amount", cents(p.total)},
                                                    {"Invoice_payment", cents(amount)}}));
      Document payment;
      payment.type = TransactionType::kPayment;
      payment.ref = number;
      payment.date = run;
      payment.due = run;
      payment.amount = -amount;
      payment.memo = fr ? "Chèque " + number : "Cheque " + number;
      p.docs.push_back(payment);
    }
  }

  // Settled purchases whose last move is two months old go to history.
  for (Purchase& p : s.purchases)
    p.history = !s.heavy && p.balance() == 0 && ctx.ageOf(p.lastActivity()) > 60 && ctx.random.chance(85);

  PartyActivity activity(ctx.profile.today);
  const int journal = *data::payablesJournal(s.currency);
  for (const Purchase& p : s.purchases) {
    for (const Document& d : p.docs) {
      const std::string type = data::transactionTypeCode(d.type);
      Row item{{"Cap_supplier", text(s.id.code)}, {"Cap_invoice", text(p.invoice)}, {"Cap_ref", text(d.ref)},
               {"Cap_date", date(d.date)},        {"Cap_type", text(type)},         {"Cap_du_date", date(d.due)},
               {"Cap_amount", cents(d.amount)},   {"Cap_memo", text(d.memo)},       {"Cap_user", text("ADMIN")},
               {"Cap_stamp", pdx::Value::timestamp(ctx.stampOn(d.date))}};
      PDX_RETURN_IF_ERROR(ctx.sink.add(p.history ? "caph" : "cap", item));
      ++(p.history ? ctx.counts.payablesHistory : ctx.counts.openPayables);
      activity.note(ctx, d, p.history);
      if (d.type == TransactionType::kPayment) continue;
      Row entry{{"Reference", text(p.invoice)},
                {"Supplier", text(s.id.code)},
                {"Date", date(d.date)},
                {"Due_date", date(d.due)},
                {"Direct_cash_purchase", logical(false)},
                {"Trx_type", text(type)},
                {"Dr_cr_reference", text(d.ref)},
                {"Comments", text(d.memo)}};
      putDistribution(entry, d.lines, 15);
      entry.emplace_back("Stamp", pdx::Value::timestamp(ctx.stampOn(d.date)));
      entry.emplace_back("User", text("ADMIN"));
      entry.emplace_back("DebitCredit", logical(d.type != TransactionType::kInvoice));
      PDX_RETURN_IF_ERROR(ctx.sink.add("apori", entry));
      if (ctx.inCurrentMonth(d.date))
        ctx.journal.add(journal, p.invoice, d.date, s.id.name + "\r" + d.memo, d.lines, ctx.stampOn(d.date));
    }
  }

  Row supplier{{"Sup_code", text(s.id.code)},
               {"Sup_name", text(s.id.name)},
               {"Sup_adr1", text(s.id.address1)},
               {"Sup_city", text(s.id.city)},
               {"Sup_prov", text(s.id.province)},
               {"Sup_country", text(s.id.country)},
               {"Sup_postal_code", text(s.id.postalCode)},
               {"Sup_tel", text(s.id.telephone)},
               {"Sup_fax", text(s.id.fax)},
               {"Sup_contact", text(s.id.contact)},
               {"Sup_contact_tel", text(s.id.contactTelephone)},
               {"Sup_email", text(s.id.email)},
               {"Sup_terr", text(s.id.province)},
               {"Sup_language", text(fr ? "F" : "E")},
               {"Sup_date_created", date(pdx::Date{activity.first.days - static_cast<int32_t>(ctx.random.between(30, 400))})},
               {"Sup_po_req", logical(ctx.random.chance(20))},
               {"Sup_du_days", integer(s.terms)},
               {"Sup_credit_limit", integer(ctx.random.between(5, 60) * 1000)},
               {"Sup_pmt_discount", pdx::Value::number(ctx.random.chance(25) ? 2.0 : 0.0)},
               {"Sup_purch_discount", pdx::Value::number(0.0)},
               {"Sup_current_bal", cents(activity.balance)},
               {"Sup_last_purch", cents(activity.lastInvoice)},
               {"Sup_purch_mth", cents(activity.month)},
               {"Sup_purch_ytd", cents(activity.year)},
               {"Sup_user", text("ADMIN")},
               {"Sup_currency", integer(s.currency)},
               {"Sup_bank_account", integer(s.bank)},
               {"Sup_stamp", pdx::Value::timestamp(ctx.stampOn(ctx.daysAgo(1)))},
               {"Sup_email_po", logical(ctx.random.chance(30))},
               {"Sup_accnt1", integer(s.accounts[0])},
               {"Sup_accnt2", integer(s.accounts[1])},
               {"Sup_accnt3", integer(s.accounts[2])},
               {"Sup_copies", integer(ctx.random.between(1, 3))}};
  if (activity.lastInvoiceDate.days > 0) supplier.emplace_back("Sup_date_last_purch", date(activity.lastInvoiceDate));
  if (activity.lastPayment.days > 0) supplier.emplace_back("Sup_date_last_pmt", date(activity.lastPayment));
  if (ctx.random.chance(30)) {
    // Some comments are longer than the part of the memo kept in the record.
    std::string note = fr ? "Livraison le mardi seulement. Appeler la veille pour confirmer le quai de réception. "
                            "Escompte de 2 % si payé en dix jours; toujours inscrire le numéro de bon de commande "
                            "sur la facture, sinon elle est retournée au fournisseur sans être payée."
                          : "Deliveries on Tuesdays only. Call the day before to confirm the receiving dock. "
                            "2 % discount if paid within ten days; the purchase order number must appear on every "
                            "invoice, otherwise it is sent back to the supplier unpaid.";
    supplier.emplace_back("Sup_comments", text(ctx.random.chance(50) ? note : note.substr(0, note.find('.') + 1)));
  }
  PDX_RETURN_IF_ERROR(ctx.sink.add("sup", supplier));
  ++ctx.counts.suppliers;
  return pdx::Status::Ok();
}

}  // namespace

pdx::Status generatePayables(Context& ctx) {
  for (int i = 0; i < ctx.profile.suppliers; ++i) {
    Supplier s = makeSupplier(ctx, i);
    s.heavy = isHeavyParty(ctx.profile, i);
    planPurchases(ctx, s, i);
    PDX_RETURN_IF_ERROR(payAndWrite(ctx, s));
  }
  return pdx::Status::Ok();
}

}  // namespace admin::gen
