#include "entry_document.h"

#include <charconv>
#include <cstdint>

#include "db/error.h"

namespace vd87 {

namespace {

// Scratch-row cells of lines 1 to 11. Lines 10 and 11 came last to the
// layout, after the totals.
constexpr const char* kDebitCells[EntryDocument::kLines] = {"Curr_1", "Curr_2", "Curr_3",  "Curr_4",  "Curr_5", "Curr_6",
                                                            "Curr_7", "curr_8", "Curr_9", "Curr_21", "Curr_23"};
constexpr const char* kCreditCells[EntryDocument::kLines] = {"Curr_10", "Curr_11", "Curr_12", "Curr_13",
                                                             "Curr_14", "Curr_15", "Curr_16", "Curr_17",
                                                             "Curr_18", "Curr_22", "Curr_24"};

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

}  // namespace

const char* typeCode(EntryType type) {
  switch (type) {
    case EntryType::kPurchase: return "1";
    case EntryType::kDebit: return "4";
    case EntryType::kCredit: return "5";
    case EntryType::kAdjustment: return "3";
  }
  return "1";
}

int64_t EntryDocument::account(int n) {
  if (!isLine(n)) return 0;
  std::string& text = accounts_[size_t(n - 1)];
  const std::string t = trimmed(text);
  int64_t value = 0;
  const char* end = t.data() + t.size();
  auto [ptr, ec] = std::from_chars(t.data(), end, value);
  // Account numbers are 32-bit in every table.
  if (t.empty() || ec != std::errc() || ptr != end || value < INT32_MIN || value > INT32_MAX) value = 0;
  if (value == 0) text.assign(1, '0');
  return value;
}

void EntryDocument::setAccount(int n, int64_t account) {
  if (isLine(n)) accounts_[size_t(n - 1)] = std::to_string(account);
}

std::string EntryDocument::accountText(int n) const { return isLine(n) ? accounts_[size_t(n - 1)] : std::string(); }

void EntryDocument::setAccountText(int n, std::string text) {
  if (isLine(n)) accounts_[size_t(n - 1)] = std::move(text);
}

std::string EntryDocument::description(int n) const {
  return isLine(n) ? descriptions_[size_t(n - 1)] : std::string();
}

void EntryDocument::setDescription(int n, std::string text) {
  if (isLine(n)) descriptions_[size_t(n - 1)] = std::move(text);
}

const char* EntryDocument::debitField(int n) { return isLine(n) ? kDebitCells[n - 1] : nullptr; }
const char* EntryDocument::creditField(int n) { return isLine(n) ? kCreditCells[n - 1] : nullptr; }

db::Money EntryDocument::cell(const char* field) const {
  if (!field) return {};
  const db::Field* f = cells_->findField(field);
  return f ? f->asCurrency() : db::Money();
}

void EntryDocument::setCell(const char* field, db::Money amount) {
  if (!field) return;
  db::check(cells_->fieldByName(field).setAsCurrency(amount));
}

db::Money EntryDocument::debit(int n) const { return cell(debitField(n)); }
db::Money EntryDocument::credit(int n) const { return cell(creditField(n)); }
db::Money EntryDocument::totalDebit() const { return cell(kTotalDebitField); }
db::Money EntryDocument::totalCredit() const { return cell(kTotalCreditField); }

void EntryDocument::setDebit(int n, db::Money amount) {
  if (!isLine(n)) return;
  setCell(debitField(n), amount);
  refreshTotals();
}

void EntryDocument::setCredit(int n, db::Money amount) {
  if (!isLine(n)) return;
  setCell(creditField(n), amount);
  refreshTotals();
}

db::Money EntryDocument::sumOfDebits() const {
  db::Money sum;
  for (int n = 1; n <= kLines; ++n) sum += debit(n);
  return sum;
}

db::Money EntryDocument::sumOfCredits() const {
  db::Money sum;
  for (int n = 1; n <= kLines; ++n) sum += credit(n);
  return sum;
}

void EntryDocument::refreshTotals() {
  setCell(kTotalDebitField, sumOfDebits());
  setCell(kTotalCreditField, sumOfCredits());
}

}  // namespace vd87
