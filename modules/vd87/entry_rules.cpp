#include "entry_rules.h"

#include <ctime>

#include "data/codes.h"
#include "db/error.h"
#include "db/formats.h"

namespace vd87 {

namespace {

using pdx::Value;

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// An integer field of the current record, nullopt when blank.
std::optional<int64_t> integerOf(const db::DataSet& ds, const char* name) {
  const db::Field* f = ds.findField(name);
  if (!f || f->isNull()) return std::nullopt;
  return f->asInteger();
}

}  // namespace

pdx::Timestamp systemNow() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  const auto date = pdx::Date::fromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  const int32_t ms = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000;
  return pdx::Timestamp::from(date.value_or(pdx::Date{}), pdx::Time{ms});
}

std::string upperCased(const std::string& utf8) {
  std::string out = utf8;
  for (size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    } else if (c == 0xC3 && i + 1 < out.size()) {
      // U+00E0..U+00FE (à..þ, but not ÷) have their capital 0x20 below.
      const auto next = static_cast<unsigned char>(out[i + 1]);
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) out[i + 1] = static_cast<char>(next - 0x20);
      ++i;
    }
  }
  return out;
}

EntryRules::EntryRules(Tvd87_dm& dm, EntryDocument& document, EntryPrompts& prompts)
    : dm_(dm), doc_(document), prompts_(prompts) {}

std::string EntryRules::dateText(pdx::Date date) const {
  return db::formatDate(date, db::RegionalFormats::current().shortDateFormat);
}

std::optional<pdx::Date> EntryRules::parseDateText(const std::string& text) const {
  return db::parseDate(trimmed(text), db::RegionalFormats::current().shortDateFormat);
}

// ---------------------------------------------------------------- fresh entry

void EntryRules::start() {
  db::check(dm_.ctrl.first());
  transactionPeriod = static_cast<int16_t>(integerOf(dm_.ctrl, "Ctrl_ap_period").value_or(0));
  entryDate = today();
  resetScreen();
}

int64_t EntryRules::apAccount(int slot) const {
  static const char* const kFields[] = {"Ctrl_ap_accnt", "Ctrl_ap_curr2", "Ctrl_ap_curr3", "Ctrl_ap_curr4",
                                        "Ctrl_ap_curr5"};
  if (slot < 0 || slot > 4) return 0;
  return integerOf(dm_.ctrl, kFields[slot]).value_or(0);
}

bool EntryRules::isApAccount(int64_t account) const {
  if (account == 0) return false;
  for (int slot = 0; slot <= 4; ++slot)
    if (apAccount(slot) == account) return true;
  return false;
}

int EntryRules::currentSupplierCurrency() const {
  const int64_t currency = integerOf(dm_.sup, "Sup_currency").value_or(0);
  return data::isValidCurrency(currency) ? static_cast<int>(currency) : data::kHomeCurrency;
}

void EntryRules::setLineFromAccount(int n, std::optional<int64_t> account) {
  if (!EntryDocument::isLine(n)) return;
  const int64_t number = account.value_or(0);
  doc_.setAccount(n, number);
  std::string description;
  if (account) {
    auto found = dm_.glm.findKey({Value::integer(number)});
    db::check(found.status());
    if (*found) description = dm_.glm.fieldByName("Glm_Description").asString();
  }
  doc_.setDescription(n, description);
  if (!dm_.virmem.editing()) db::check(dm_.restartScratchRow());
  doc_.setDebit(n, {});
  doc_.setCredit(n, {});
}

void EntryRules::defaultLines(int currency) {
  setLineFromAccount(1, apAccount(currency));
  for (int k = 1; k <= 8; ++k) {
    const std::string field = "Ctrl_ap_purch_accnt" + std::to_string(k);
    setLineFromAccount(k + 1, integerOf(dm_.ctrl, field.c_str()).value_or(0));
  }
  setLineFromAccount(10, std::nullopt);
  setLineFromAccount(11, std::nullopt);
}

void EntryRules::resetScreen() {
  doc_.supplierCode.clear();
  doc_.supplierShown = false;
  doc_.supplierEnabled = true;
  doc_.type = EntryType::kPurchase;
  doc_.invoiceNumber.clear();
  doc_.memo.clear();
  doc_.reference.clear();
  doc_.transDate = dateText(entryDate);
  calcDueDate();
  db::check(dm_.ctrl.first());
  db::check(dm_.restartScratchRow());
  defaultLines(currentSupplierCurrency());
  currentLine = 1;
  for (int n = 1; n <= EntryDocument::kLines; ++n) {
    if (doc_.account(n) == 0) {
      currentLine = n;
      break;
    }
  }
  doc_.refreshTotals();
  doc_.directCash = false;
}

// ---------------------------------------------------------------- due dates

void EntryRules::calcDueDate() {
  const int64_t terms = integerOf(dm_.sup, "Sup_du_days").value_or(0);
  if (auto due = data::dueDate(today(), terms)) doc_.dueDate = dateText(*due);
}

void EntryRules::calcDueDateChange() {
  const auto base = parseDateText(doc_.transDate);
  if (!base) return;
  const int64_t terms = integerOf(dm_.Sup2_Table, "Sup_du_days").value_or(0);
  if (auto due = data::dueDate(*base, terms)) doc_.dueDate = dateText(*due);
}

// ---------------------------------------------------------------- supplier

bool EntryRules::findSupplier(const std::string& code) {
  auto found = dm_.sup.findKey({Value::text(code)});
  db::check(found.status());
  std::string stored = code;
  if (!*found) {
    // Codes are stored in upper case but may be keyed in any: a code that
    // differs only in case names the supplier when no other code does. The
    // second cursor walks, so that the main one stays where it stood.
    const std::string wanted = upperCased(code);
    db::Table& walk = dm_.Sup2_Table;
    int matches = 0;
    db::check(walk.first());
    while (!walk.eof() && !walk.isEmpty() && matches < 2) {
      const std::string candidate = walk.fieldByName("Sup_code").asString();
      if (upperCased(candidate) == wanted) {
        stored = candidate;
        ++matches;
      }
      db::check(walk.next());
    }
    if (matches != 1) return false;
    found = dm_.sup.findKey({Value::text(stored)});
    db::check(found.status());
    if (!*found) return false;
  }
  db::check(dm_.Sup2_Table.findKey({Value::text(stored)}).status());
  return true;
}

void EntryRules::supplierExit() {
  const std::string code = doc_.supplierCode;
  if (trimmed(code).empty()) return;
  if (!findSupplier(code)) {
    prompts_.showMessage(msg::kNoSupplier, MessageStyle::kInformation);
    resetScreen();
    doc_.supplierCode.clear();
    prompts_.focus(Control::kSupplierCode);
    doc_.transDate = dateText(today());
    doc_.dueDate = doc_.transDate;
    return;
  }
  if (selectCurrency) selectCurrency(currentSupplierCurrency());
  resetScreen();
  doc_.supplierCode = dm_.sup.fieldByName("Sup_code").asString();
  doc_.transDate = dateText(entryDate);
  calcDueDateChange();
  doc_.supplierShown = true;
  for (int k = 1; k <= 3; ++k) {
    const std::string field = "Sup_accnt" + std::to_string(k);
    const auto account = integerOf(dm_.sup, field.c_str());
    if (account && *account != 0) setLineFromAccount(k + 1, *account);
  }
}

void EntryRules::supplierChosen(const std::string& code) {
  if (trimmed(code).empty() || !findSupplier(code)) return;
  doc_.supplierCode = dm_.sup.fieldByName("Sup_code").asString();
  doc_.transDate = dateText(entryDate);
  calcDueDateChange();
  doc_.supplierShown = true;
  prompts_.focus(Control::kSupplierCode);
}

bool EntryRules::guardAllows() {
  if (!trimmed(doc_.supplierCode).empty() || doc_.directCash) return true;
  prompts_.focus(Control::kSupplierCode);
  return false;
}

// ---------------------------------------------------------------- invoice, reference, dates

bool EntryRules::purchaseOnFile(const std::string& supplier, const std::string& invoice) {
  db::Table& cap = dm_.cap;
  const std::vector<Value> key = {Value::text(supplier), Value::text(invoice)};
  db::check(cap.setRange(key, key));
  bool onFile = false;
  pdx::Status walked;
  for (; !cap.eof() && !cap.isEmpty(); walked = cap.next()) {
    if (!walked.ok()) break;
    // The range already matches both fields exactly; the comparison guards
    // against an index that would match them otherwise.
    if (cap.fieldByName("Cap_supplier").asString() == supplier &&
        cap.fieldByName("Cap_invoice").asString() == invoice && cap.fieldByName("Cap_type").asString() == "1") {
      onFile = true;
      break;
    }
  }
  pdx::Status cancelled = cap.cancelRange();
  db::check(walked);
  db::check(cancelled);
  return onFile;
}

std::optional<int> EntryRules::invoiceRefusal() {
  switch (doc_.type) {
    case EntryType::kPurchase:
      if (purchaseOnFile(doc_.supplierCode, doc_.invoiceNumber)) return msg::kInvoiceOnFile;
      break;
    case EntryType::kDebit:
    case EntryType::kCredit:
      if (!purchaseOnFile(doc_.supplierCode, doc_.invoiceNumber)) return msg::kInvoiceNotFound;
      break;
    case EntryType::kAdjustment:
      break;
  }
  return std::nullopt;
}

bool EntryRules::invoiceExit(bool toTag13) {
  if (toTag13) return true;
  if (trimmed(doc_.invoiceNumber).empty()) {
    prompts_.showMessage(msg::kEnterInvoice, MessageStyle::kInformation);
    prompts_.focus(Control::kInvoiceNum);
    return false;
  }
  doc_.invoiceNumber = upperCased(doc_.invoiceNumber);
  doc_.supplierEnabled = false;
  const std::optional<int> refused = invoiceRefusal();
  if (!refused) return true;
  prompts_.showMessage(*refused, MessageStyle::kPlain);
  doc_.invoiceNumber.clear();
  prompts_.focus(Control::kInvoiceNum);
  return false;
}

bool EntryRules::referenceExit(bool toTag13) {
  if (toTag13 || doc_.type == EntryType::kPurchase) return true;
  if (!trimmed(doc_.reference).empty()) return true;
  prompts_.showMessage(msg::kEnterReference, MessageStyle::kPlain);
  prompts_.focus(Control::kDebCreRef);
  return false;
}

bool EntryRules::transDateExit() {
  if (!parseDateText(doc_.transDate)) {
    prompts_.focus(Control::kTransDate);
    return false;
  }
  bool known = false;
  if (!trimmed(doc_.supplierCode).empty()) {
    auto found = dm_.Sup2_Table.findKey({Value::text(doc_.supplierCode)});
    db::check(found.status());
    known = *found;
  }
  if (known)
    calcDueDateChange();
  else
    doc_.dueDate = doc_.transDate;
  return true;
}

bool EntryRules::dueDateExit() {
  if (parseDateText(doc_.dueDate)) return true;
  prompts_.focus(Control::kTransDueDate);
  return false;
}

// ---------------------------------------------------------------- accounts

bool EntryRules::accountExit(int n) {
  if (!EntryDocument::isLine(n)) return true;
  const int64_t account = doc_.account(n);
  if (account == 0) return true;
  auto found = dm_.glm.findKey({Value::integer(account)});
  db::check(found.status());
  if (*found) {
    doc_.setDescription(n, dm_.glm.fieldByName("Glm_Description").asString());
    return true;
  }
  doc_.setAccount(n, 0);
  prompts_.focus(Control::kAccount, n);
  prompts_.showMessage(msg::kNoAccount, MessageStyle::kInformation);
  return false;
}

void EntryRules::accountChosen(int64_t account) {
  if (account == 0 || !EntryDocument::isLine(currentLine)) return;
  auto found = dm_.glm.findKey({Value::integer(account)});
  db::check(found.status());
  if (!*found) return;
  doc_.setAccount(currentLine, dm_.glm.fieldByName("Glm_account").asInteger());
  doc_.setDescription(currentLine, dm_.glm.fieldByName("Glm_Description").asString());
}

void EntryRules::enterLine(int n) {
  if (EntryDocument::isLine(n)) currentLine = n;
}

// ---------------------------------------------------------------- amounts

void EntryRules::amountEnter(int n, bool) { enterLine(n); }

void EntryRules::debitExit(int n) {
  if (!EntryDocument::isLine(n)) return;
  if (isApAccount(doc_.account(n)) && doc_.type == EntryType::kDebit && doc_.debit(n) > db::Money()) {
    prompts_.showMessage(msg::kUseCredit, MessageStyle::kPlain);
    doc_.setDebit(n, {});
    return;
  }
  // A line carries a debit or a credit, never both.
  if (!doc_.debit(n).isZero()) doc_.setCredit(n, {});
  doc_.refreshTotals();
}

void EntryRules::creditExit(int n) {
  if (!EntryDocument::isLine(n)) return;
  if (isApAccount(doc_.account(n)) && doc_.type == EntryType::kCredit && doc_.credit(n) > db::Money()) {
    prompts_.showMessage(msg::kUseDebit, MessageStyle::kPlain);
    doc_.setCredit(n, {});
    return;
  }
  if (!doc_.credit(n).isZero()) doc_.setDebit(n, {});
  doc_.refreshTotals();
}

bool EntryRules::documentInProgress() const {
  if (!trimmed(doc_.supplierCode).empty() || doc_.directCash || !trimmed(doc_.invoiceNumber).empty() ||
      !trimmed(doc_.reference).empty() || !doc_.memo.empty())
    return true;
  for (int n = 1; n <= EntryDocument::kLines; ++n)
    if (!doc_.debit(n).isZero() || !doc_.credit(n).isZero()) return true;
  return false;
}

// ---------------------------------------------------------------- direct/cash purchase

void EntryRules::directCashClicked(bool checked) {
  doc_.directCash = checked;
  if (!checked) return;
  doc_.transDate = dateText(entryDate);
  doc_.dueDate = doc_.transDate;
  if (selectCurrency) selectCurrency(-1);
  defaultLines(currentSupplierCurrency());
  doc_.refreshTotals();
}

}  // namespace vd87
