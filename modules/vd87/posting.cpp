#include "posting.h"

#include <chrono>
#include <thread>

#include "data/codes.h"
#include "db/error.h"

namespace vd87 {

namespace {

using pdx::Value;
using Clock = std::chrono::steady_clock;

// Another user holds what the posting needs: the attempt is rolled back and
// made again.
struct Contention {};

bool isContention(const pdx::Status& st) {
  return st.is(pdx::code::kRecordLocked) || st.is(pdx::code::kRecordChanged) || st.is(pdx::code::kTableBusy);
}

void checkWrite(const pdx::Status& st) {
  if (isContention(st)) throw Contention{};
  db::check(st);
}

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// `text` cut to the field's length in characters (alpha fields hold one
// byte per character), so that a long user or description name never
// makes a posting fail.
std::string fitted(const db::Field& field, const std::string& text) {
  if (field.dataType() != pdx::FieldType::kAlpha || field.size() <= 0) return text;
  size_t chars = 0, i = 0;
  while (i < text.size()) {
    if (chars == static_cast<size_t>(field.size())) return text.substr(0, i);
    const auto c = static_cast<unsigned char>(text[i]);
    i += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    ++chars;
  }
  return text;
}

void setText(db::DataSet& ds, const char* name, const std::string& text) {
  db::Field& f = ds.fieldByName(name);
  db::check(text.empty() ? f.clear() : f.setValue(Value::text(fitted(f, text))));
}

void setMoney(db::DataSet& ds, const std::string& name, db::Money amount) {
  db::check(ds.fieldByName(name).setAsCurrency(amount));
}

void setInteger(db::DataSet& ds, const std::string& name, int64_t value) {
  db::check(ds.fieldByName(name).setAsInteger(value));
}

// A post that may meet contention, tried once more on any other failure.
void postTwice(db::DataSet& ds) {
  pdx::Status st = ds.post();
  if (st.ok()) return;
  checkWrite(isContention(st) ? st : ds.post());
}

}  // namespace

// ---------------------------------------------------------------- checks

bool PayablesPosting::checkEntry() {
  EntryDocument& doc = rules_.document();
  EntryPrompts& prompts = rules_.prompts();
  Tvd87_dm& dm = rules_.dataModule();
  if (trimmed(doc.invoiceNumber).empty()) {
    prompts.showMessage(msg::kEnterInvoice, MessageStyle::kInformation);
    prompts.focus(Control::kInvoiceNum);
    return false;
  }
  if (doc.type != EntryType::kPurchase && trimmed(doc.reference).empty()) {
    prompts.showMessage(msg::kEnterReference, MessageStyle::kPlain);
    prompts.focus(Control::kDebCreRef);
    return false;
  }
  if (doc.directCash && trimmed(doc.memo).empty() && prompts.showMessage(msg::kMemoQuestion, MessageStyle::kQuestion)) {
    prompts.focus(Control::kTransMemo);
    return false;
  }
  if (setPostingFlag) setPostingFlag("Y");

  // The balance is that of the totals the window shows: the sums of the
  // lines in fixed point, so a crumb of floating point never unbalances an
  // entry that balances to the cent.
  if (doc.sumOfDebits() != doc.sumOfCredits()) {
    prompts.showMessage(msg::kOutOfBalance, MessageStyle::kPlain);
    return false;
  }

  touchesSupplier_ = false;
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    const bool hasAmount = !doc.debit(n).isZero() || !doc.credit(n).isZero();
    if (!hasAmount) continue;
    const int64_t account = doc.account(n);
    const bool ap = rules_.isApAccount(account);
    if (doc.directCash && account != 0 && ap) {
      prompts.showMessage(msg::kDirectCashAp, MessageStyle::kInformation);
      return false;
    }
    auto found = dm.glm.findKey({Value::integer(account)});
    db::check(found.status());
    if (!*found) {
      prompts.showMessage(msg::kNoAccount, MessageStyle::kError);
      prompts.focus(Control::kAccount, n);
      return false;
    }
    if (ap && account != 0) touchesSupplier_ = true;
  }

  // An open item needs a real supplier: without one it would land on
  // whichever supplier row the window last looked at.
  if (touchesSupplier_) {
    auto found = dm.sup.findKey({Value::text(doc.supplierCode)});
    db::check(found.status());
    if (trimmed(doc.supplierCode).empty() || !*found) {
      prompts.showMessage(msg::kNoSupplier, MessageStyle::kInformation);
      prompts.focus(Control::kSupplierCode);
      return false;
    }
  }
  if (!rules_.parseDateText(doc.transDate)) {
    prompts.focus(Control::kTransDate);
    return false;
  }
  if (!rules_.parseDateText(doc.dueDate)) {
    prompts.focus(Control::kTransDueDate);
    return false;
  }
  return true;
}

bool PayablesPosting::invoiceTestPasses() {
  const std::optional<int> refused = rules_.invoiceRefusal();
  if (!refused) return true;
  rules_.prompts().showMessage(*refused, MessageStyle::kPlain);
  rules_.prompts().focus(Control::kInvoiceNum);
  return false;
}

// ---------------------------------------------------------------- posting

PostResult PayablesPosting::post() {
  EntryDocument& doc = rules_.document();
  doc.invoiceNumber = upperCased(doc.invoiceNumber);
  if (!checkEntry()) return PostResult::kRefused;

  auto deadline = Clock::now() + std::chrono::milliseconds(lockPatienceMs);
  for (;;) {
    const Attempt result = attempt();
    if (result == Attempt::kRefused) return PostResult::kRefused;
    if (result == Attempt::kWritten) break;
    if (Clock::now() >= deadline) {
      if (!rules_.prompts().showMessage(msg::kSupplierBusy, MessageStyle::kQuestion)) {
        rules_.prompts().showMessage(msg::kPostingCancelled, MessageStyle::kInformation);
        return PostResult::kCancelled;
      }
      deadline = Clock::now() + std::chrono::milliseconds(lockPatienceMs);
    }
    if (pause)
      pause(lockPauseMs);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(lockPauseMs));
  }

  if (setPostingFlag) setPostingFlag("N");
  rules_.entryDate = *rules_.parseDateText(doc.transDate);
  rules_.resetScreen();
  doc.supplierEnabled = true;
  rules_.prompts().focus(Control::kSupplierCode);
  return PostResult::kPosted;
}

void PayablesPosting::abandon() {
  Tvd87_dm& dm = rules_.dataModule();
  for (db::DataSet* ds : {static_cast<db::DataSet*>(&dm.sup), static_cast<db::DataSet*>(&dm.cap),
                          static_cast<db::DataSet*>(&dm.tjlh), static_cast<db::DataSet*>(&dm.tjld),
                          static_cast<db::DataSet*>(&dm.apori)})
    (void)ds->cancel();
}

PayablesPosting::Attempt PayablesPosting::attempt() {
  Tvd87_dm& dm = rules_.dataModule();
  EntryDocument& doc = rules_.document();
  auto started = dm.vd87db.startTransaction();
  if (isContention(started.status())) return Attempt::kBusy;
  db::check(started.status());
  std::unique_ptr<db::Transaction> tx = std::move(started).value();
  // After a rollback the cursors may stand on rows that were never written.
  auto rollBack = [&] {
    abandon();
    tx->rollback();
    for (db::DataSet* ds : {static_cast<db::DataSet*>(&dm.sup), static_cast<db::DataSet*>(&dm.cap),
                            static_cast<db::DataSet*>(&dm.tjlh), static_cast<db::DataSet*>(&dm.tjld),
                            static_cast<db::DataSet*>(&dm.apori)})
      (void)ds->refresh();
  };

  try {
    const pdx::Date date = *rules_.parseDateText(doc.transDate);
    const pdx::Date due = *rules_.parseDateText(doc.dueDate);
    stamp_ = rules_.clock();
    // The journal follows the currency of the supplier shown, direct/cash
    // purchase or not; without a supplier it is the home currency's.
    std::string supplierName;
    int currency = data::kHomeCurrency;
    if (!trimmed(doc.supplierCode).empty()) {
      auto found = dm.sup.findKey({Value::text(doc.supplierCode)});
      db::check(found.status());
      if (*found) {
        if (!doc.directCash) supplierName = dm.sup.fieldByName("Sup_name").asString();
        const int64_t c = dm.sup.fieldByName("Sup_currency").asInteger();
        if (data::isValidCurrency(c)) currency = static_cast<int>(c);
      }
    }
    // The supplier row first: while we wait for it we hold no table, and
    // once we hold it no other posting of this supplier gets between our
    // duplicate test and our open item.
    if (touchesSupplier_) checkWrite(dm.sup.edit());
    if (!invoiceTestPasses()) {
      rollBack();
      return Attempt::kRefused;
    }

    const int journal = *data::payablesJournal(currency);
    bool supplierUpdated = false;
    for (int n = 1; n <= EntryDocument::kLines; ++n) {
      const bool hasAmount = !doc.debit(n).isZero() || !doc.credit(n).isZero();
      const int64_t account = doc.account(n);
      if (account == 0 && hasAmount) {
        // Only when glm holds an account 0, which the checks let through.
        rules_.prompts().focus(Control::kAccount, n);
        rollBack();
        return Attempt::kRefused;
      }
      if (account == 0 || !hasAmount) continue;
      writeLine(n, doc.invoiceNumber, date, journal, supplierName);
      if (rules_.isApAccount(account) && !supplierUpdated && touchesSupplier_) {
        // The amount owed to the supplier: credit minus debit of the line.
        updateSupplier(doc.credit(n) - doc.debit(n), date, due);
        supplierUpdated = true;
      }
    }
    writeSourceEntry(date, due);
    if (beforeCommit) beforeCommit();
    checkWrite(tx->commit());
    return Attempt::kWritten;
  } catch (const Contention&) {
    rollBack();
    return Attempt::kBusy;
  } catch (const db::DatabaseError& e) {
    rollBack();
    throw db::DatabaseError("Nothing of this document was written",
                            pdx::Status(e.last().errorCode, e.last().message));
  } catch (...) {
    rollBack();
    throw;
  }
}

void PayablesPosting::writeLine(int n, const std::string& invoice, pdx::Date date, int journal,
                                const std::string& supplierName) {
  Tvd87_dm& dm = rules_.dataModule();
  EntryDocument& doc = rules_.document();
  const db::Money debit = doc.debit(n);
  const db::Money credit = doc.credit(n);
  const int64_t period = rules_.transactionPeriod;

  db::Table& h = dm.tjlh;
  auto found = h.findKey({Value::integer(period), Value::integer(journal), Value::text(invoice), Value::date(date)});
  db::check(found.status());
  if (*found) {
    checkWrite(h.edit());
    if (!debit.isZero())
      setMoney(h, "Tjlh_tot_debit", h.fieldByName("Tjlh_tot_debit").asCurrency() + debit);
    else
      setMoney(h, "Tjlh_tot_credit", h.fieldByName("Tjlh_tot_credit").asCurrency() + credit);
  } else {
    checkWrite(h.append());
    setInteger(h, "Tjlh_period", period);
    setInteger(h, "Tjlh_journal", journal);
    setText(h, "Tjlh_reference", invoice);
    db::check(h.fieldByName("Tjlh_date").setAsDate(date));
    std::string memo = doc.memo;
    if (!doc.directCash && !supplierName.empty())
      memo = doc.memo.empty() ? supplierName : supplierName + "\r" + doc.memo;
    db::check(memo.empty() ? h.fieldByName("Tjlh_memo").clear() : h.fieldByName("Tjlh_memo").setAsString(memo));
    setText(h, "Tjlh_user", user);
    db::check(h.fieldByName("Tjlh_stamp").setValue(Value::timestamp(stamp_)));
    setMoney(h, "Tjlh_tot_debit", debit);
    setMoney(h, "Tjlh_tot_credit", debit.isZero() ? credit : db::Money());
  }
  postTwice(h);

  db::Table& d = dm.tjld;
  checkWrite(d.append());
  setInteger(d, "Tjld_period", period);
  setInteger(d, "Tjld_journal", journal);
  setText(d, "Tjld_reference", invoice);
  db::check(d.fieldByName("Tjld_date").setAsDate(date));
  setInteger(d, "Tjld_account", doc.account(n));
  setText(d, "Tjld_description", doc.description(n));
  setMoney(d, "Tjld_debit", debit);
  setMoney(d, "Tjld_credit", debit.isZero() ? credit : db::Money());
  postTwice(d);
}

void PayablesPosting::updateSupplier(db::Money amount, pdx::Date date, pdx::Date due) {
  Tvd87_dm& dm = rules_.dataModule();
  EntryDocument& doc = rules_.document();
  db::Table& s = dm.sup;
  checkWrite(s.edit());  // already held since the start of the attempt
  auto add = [&](const char* field) { setMoney(s, field, s.fieldByName(field).asCurrency() + amount); };
  if (doc.type == EntryType::kPurchase) {
    db::check(s.fieldByName("Sup_date_last_purch").setAsDate(date));
    add("Sup_last_purch");
    add("Sup_purch_mth");
    add("Sup_purch_ytd");
  }
  add("Sup_current_bal");
  checkWrite(s.post());

  db::Table& c = dm.cap;
  checkWrite(c.append());
  setText(c, "Cap_supplier", s.fieldByName("Sup_code").asString());
  setText(c, "Cap_invoice", doc.invoiceNumber);
  setText(c, "Cap_ref", doc.type == EntryType::kPurchase ? std::string() : doc.reference);
  db::check(c.fieldByName("Cap_date").setAsDate(date));
  setText(c, "Cap_type", typeCode(doc.type));
  db::check(c.fieldByName("Cap_du_date").setAsDate(due));
  setMoney(c, "Cap_amount", amount);
  db::check(doc.memo.empty() ? c.fieldByName("Cap_memo").clear() : c.fieldByName("Cap_memo").setAsString(doc.memo));
  setText(c, "Cap_user", user);
  db::check(c.fieldByName("Cap_stamp").setValue(Value::timestamp(stamp_)));
  pdx::Status st = c.post();
  if (!st.ok()) {
    if (isContention(st)) throw Contention{};
    // The same supplier, invoice, reference, date and type are on file
    // already: the item is kept apart under the reference "adj".
    setText(c, "Cap_ref", "adj");
    checkWrite(c.post());
  }
}

void PayablesPosting::writeSourceEntry(pdx::Date date, pdx::Date due) {
  Tvd87_dm& dm = rules_.dataModule();
  EntryDocument& doc = rules_.document();
  db::Table& a = dm.apori;
  checkWrite(a.append());
  setText(a, "Reference", doc.invoiceNumber);
  setText(a, "Supplier", doc.directCash ? std::string() : doc.supplierCode);
  db::check(a.fieldByName("Date").setAsDate(date));
  db::check(a.fieldByName("Due_date").setAsDate(due));
  db::check(a.fieldByName("Direct_cash_purchase").setAsBoolean(doc.directCash));
  setText(a, "Trx_type", typeCode(doc.type));
  setText(a, "Dr_cr_reference", doc.reference);
  db::check(doc.memo.empty() ? a.fieldByName("Comments").clear() : a.fieldByName("Comments").setAsString(doc.memo));
  db::check(a.fieldByName("Stamp").setValue(Value::timestamp(stamp_)));
  setText(a, "User", user);
  db::check(a.fieldByName("DebitCredit").setAsBoolean(doc.type != EntryType::kPurchase));
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    const std::string k = std::to_string(n);
    setInteger(a, "Account" + k, doc.account(n));
    setMoney(a, "Debit" + k, doc.debit(n));
    setMoney(a, "Credit" + k, doc.credit(n));
  }
  checkWrite(a.post());
}

}  // namespace vd87
