// Shared by the parts of the ledger generator (ledger_generator.h).
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "data/codes.h"
#include "ledger_generator.h"

namespace admin::gen {

// Amounts while generating are whole cents.
using Cents = int64_t;
inline pdx::Value cents(Cents c) { return fixedMoney(c * 100); }

// Tax on an amount at a rate in percent (9.975), to the cent, halves up.
Cents taxOn(Cents amount, double ratePercent);

struct Product {
  std::string lineCode, itemCode, french, english, unit;
  Cents price = 0;
  Cents cost = 0;
  int salesAccount = 4000;
  bool service = false;
};

// One line of a source entry's distribution.
struct Distribution {
  int account = 0;
  Cents debit = 0;
  Cents credit = 0;
};
// Adds the Account<n>, Debit<n>, Credit<n> fields of the lines (n from 1)
// and zeros up to `count` lines, as a new entry of the keying windows has.
void putDistribution(Row& row, const std::vector<Distribution>& lines, int count);

// The current period's payables journal, headers merged by key as the
// purchases window posts them.
class JournalBook {
 public:
  // `language` names the accounts on the journal lines.
  explicit JournalBook(int language) : language_(language) {}
  void add(int journal, const std::string& reference, pdx::Date date, const std::string& memo,
           const std::vector<Distribution>& lines, pdx::Timestamp stamp);
  pdx::Status write(LedgerSink& sink, int period) const;

 private:
  struct Entry {
    Cents debit = 0, credit = 0;
    std::string memo;
    pdx::Timestamp stamp;
    std::vector<std::pair<Distribution, std::string>> lines;
  };
  int language_;
  std::map<std::tuple<int, std::string, int32_t>, Entry> entries_;
};

// The starter chart's name of an account in a language ("" when not there).
std::string accountName(int account, int language);

struct Context {
  Context(const LedgerProfile& p, LedgerSink& s, LedgerCounts& c)
      : profile(p), random(p.seed), identities(random, p.region), sink(s), counts(c), journal(p.language) {}

  const LedgerProfile& profile;
  DemoRandom random;
  IdentityFactory identities;
  LedgerSink& sink;
  LedgerCounts& counts;
  std::vector<Product> products;
  std::vector<std::pair<std::string, double>> salesReps;  // code, commission %
  JournalBook journal;
  int64_t nextCheque = 1001;
  int64_t nextReceipt = 1;
  int64_t nextNote = 1;
  int64_t nextCarSeq = 1;

  bool french() const { return profile.language == data::kFrench; }
  pdx::Date daysAgo(int64_t days) const { return pdx::Date{static_cast<int32_t>(profile.today.days - days)}; }
  int64_t ageOf(pdx::Date d) const { return profile.today.days - d.days; }
  bool inCurrentMonth(pdx::Date d) const;
  bool inCurrentYear(pdx::Date d) const;
  // A moment of a day, for the audit stamps.
  pdx::Timestamp stampOn(pdx::Date d);
  // Ages (in days, 1 to 729, oldest first) of `count` documents of a party;
  // with `forcedAge` > 0 one of them has exactly that age.
  std::vector<int64_t> documentAges(int count, int64_t forcedAge);
  // Whether a party does business in French.
  bool partyFrench();
};

// A document of a party as it goes into its open items (or their history)
// and, but for payments, its source entry.
struct Document {
  data::TransactionType type = data::TransactionType::kInvoice;
  std::string ref;  // empty for the invoice itself
  pdx::Date date;
  pdx::Date due;
  Cents amount = 0;  // signed: owed by the client, or to the supplier, positive
  std::vector<Distribution> lines;  // the source entry; none for payments
  std::string memo;
};

// What a party's documents add up to on its master row: the balance of its
// open documents, its first document, its last payment, its last invoice,
// and the invoices of the current month and year.
struct PartyActivity {
  Cents balance = 0, lastInvoice = 0, month = 0, year = 0;
  pdx::Date lastInvoiceDate{0}, lastPayment{0}, first;

  explicit PartyActivity(pdx::Date today) : first(today) {}
  void note(const Context& ctx, const Document& d, bool history) {
    if (!history) balance += d.amount;
    first = std::min(first, d.date);
    if (d.type == data::TransactionType::kPayment) {
      lastPayment = std::max(lastPayment, d.date);
    } else if (d.type == data::TransactionType::kInvoice) {
      if (d.date >= lastInvoiceDate) {
        lastInvoiceDate = d.date;
        lastInvoice = d.amount;
      }
      if (ctx.inCurrentMonth(d.date)) month += d.amount;
      if (ctx.inCurrentYear(d.date)) year += d.amount;
    }
  }
};

// Payments planned for a party's documents: for each day, (the index of the
// document's sale or purchase, the amount paid).
using PlannedPayments = std::map<int32_t, std::vector<std::pair<size_t, Cents>>>;

// Whether the party at `index` is the one that gets profile.heavyPartyItems.
inline bool isHeavyParty(const LedgerProfile& profile, int index) {
  return profile.numberedParties && profile.heavyPartyItems > 0 && index == 0;
}

// Drops planned documents from a party's last sales (or purchases), each
// one's payment first, then its notes, then the sale itself, until its
// documents and payments make exactly `target` open items (when they make
// more). `Sale` holds its documents in `docs`, the sale's own first.
template <typename Sale>
void trimToOpenItems(std::vector<Sale>& sales, PlannedPayments& payments, int64_t target) {
  int64_t count = 0;
  for (const Sale& s : sales) count += static_cast<int64_t>(s.docs.size());
  for (const auto& [day, paid] : payments) count += static_cast<int64_t>(paid.size());
  auto dropPaymentOf = [&payments](size_t index) {
    for (auto it = payments.begin(); it != payments.end(); ++it) {
      auto& paid = it->second;
      const auto p = std::find_if(paid.begin(), paid.end(), [index](const auto& e) { return e.first == index; });
      if (p == paid.end()) continue;
      paid.erase(p);
      if (paid.empty()) payments.erase(it);
      return true;
    }
    return false;
  };
  while (count > target && !sales.empty()) {
    const size_t last = sales.size() - 1;
    if (!dropPaymentOf(last)) {
      if (sales[last].docs.size() > 1)
        sales[last].docs.pop_back();
      else
        sales.pop_back();
    }
    --count;
  }
}

// A new reference for a debit note (DN / ND), credit note (CN / NC) or
// adjustment (AJ), unique in the company.
std::string noteReference(Context& ctx, data::TransactionType type, bool french);

// Ages that put one open item in each aging column, for the first parties.
inline constexpr int64_t kBucketAges[] = {12, 44, 77, 106, 260};

pdx::Status generatePayables(Context& ctx);
pdx::Status generateReceivables(Context& ctx);
pdx::Status generateReferenceTables(Context& ctx);

}  // namespace admin::gen
