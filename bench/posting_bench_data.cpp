#include "posting_bench_data.h"

#include <algorithm>
#include <cstdio>

#include "pdx/value.h"

namespace postbench {

namespace {

// Posted documents draw their references from numbers far above any prefill
// document's, so the two families never share one.
constexpr uint64_t kPostedBase = uint64_t{1} << 31;
constexpr int64_t kCent = 100;  // ten-thousandths

uint64_t mix(uint64_t x) {  // the splitmix64 finalizer
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// A permutation of the 32-bit numbers: each step (multiplying by an odd
// number, folding the high half into the low) can be undone.
uint32_t permute(uint32_t x) {
  x *= 0x9e3779b1u;
  x ^= x >> 16;
  x *= 0x85ebca6bu;
  x ^= x >> 13;
  x *= 0xc2b2ae35u;
  x ^= x >> 16;
  return x;
}

// Amount before taxes: 10.00 to 4,999.99, whole cents.
int64_t purchasesOf(uint64_t h) {
  return (1'000 + static_cast<int64_t>(h % 499'000)) * kCent;
}

// A tax at `rate` parts per 100,000 of `amount`, rounded half up to the cent.
int64_t taxOf(int64_t amount, int64_t rate) {
  const int64_t cents = amount / kCent;
  return (cents * rate + 50'000) / 100'000 * kCent;
}

constexpr int kSegments = kPrefillPeriods * kPrefillJournals;

}  // namespace

std::string supplierCode(int index) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "S%04d", index + 1);
  return buf;
}

std::string supplierName(int index) {
  static const char* const kKinds[] = {"Quincaillerie", "Entrepôt", "Fournitures", "Distribution", "Matériaux"};
  return std::string(kKinds[index % 5]) + " " + std::to_string(index + 1) + " inc.";
}

std::string referenceOf(uint64_t number) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "F%08X", permute(static_cast<uint32_t>(number)));
  return buf;
}

int32_t dayOf(int month, int day) {
  return pdx::Date::fromYmd(kPostingYear, month, day)->days;
}
int32_t postingDate() {
  return dayOf(kPostingMonth, kPostingDay);
}

Document postedDocument(int64_t number, int suppliers) {
  const uint64_t h = mix(kPostedBase + static_cast<uint64_t>(number));
  Document d;
  d.number = number;
  d.supplier = supplierCode(static_cast<int>(h % static_cast<uint64_t>(suppliers)));
  d.invoice = referenceOf(kPostedBase + static_cast<uint64_t>(number));
  d.purchases = purchasesOf(h >> 16);
  d.gst = taxOf(d.purchases, 5'000);
  d.qst = taxOf(d.purchases, 9'975);
  return d;
}

PrefillPlan::PrefillPlan(int64_t lines)
    : documents_(std::max<int64_t>(0, (lines + kLinesPerDocument - 1) / kLinesPerDocument)) {}

JournalDocument PrefillPlan::document(int64_t number) {
  const uint64_t h = mix(static_cast<uint64_t>(number));
  const int segment = static_cast<int>(number % kSegments);
  JournalDocument d;
  d.period = segment / kPrefillJournals + 1;
  d.journal = segment % kPrefillJournals + 1;
  d.reference = referenceOf(static_cast<uint64_t>(number));
  d.date = dayOf(d.period, 1 + static_cast<int>(h % 28));
  const int64_t purchases = purchasesOf(h >> 16);
  const int64_t gst = taxOf(purchases, 5'000), qst = taxOf(purchases, 9'975);
  d.total = purchases + gst + qst;
  d.lines = {JournalLine{kPayableAccount, 0, d.total, "Accounts payable"},
             JournalLine{kPurchasesAccount, purchases, 0, "Purchases"},
             JournalLine{kGstAccount, gst, 0, "GST/HST receivable"},
             JournalLine{kQstAccount, qst, 0, "QST/PST receivable"}};
  return d;
}

void PrefillPlan::documentsOf(int segment, std::vector<JournalDocument>& out) const {
  out.clear();
  for (int64_t n = segment; n < documents_; n += kSegments) out.push_back(document(n));
  // References are distinct, so they alone set the order within a segment.
  std::sort(out.begin(), out.end(),
            [](const JournalDocument& a, const JournalDocument& b) { return a.reference < b.reference; });
}

Books expectedBooks(const PrefillPlan& prefill, int64_t posted, int suppliers) {
  Books b;
  for (int s = 0; s < suppliers; ++s) {
    const std::string code = supplierCode(s);
    b.balance[code] = b.purchasesYtd[code] = b.openItems[code] = 0;
  }
  for (int64_t n = 0; n < prefill.documents(); ++n) {
    const int64_t total = PrefillPlan::document(n).total;
    b.tjlhDebit += total;
    b.tjlhCredit += total;
    b.tjldDebit += total;
    b.tjldCredit += total;
  }
  b.tjlhRows = prefill.documents();
  b.tjldRows = prefill.lines();
  for (int64_t n = 0; n < posted; ++n) {
    const Document d = postedDocument(n, suppliers);
    const int64_t total = d.total();
    b.tjlhDebit += total;
    b.tjlhCredit += total;
    b.tjldDebit += total;
    b.tjldCredit += total;
    b.aporiDebit += total;
    b.aporiCredit += total;
    b.balance[d.supplier] += total;
    b.purchasesYtd[d.supplier] += total;
    b.openItems[d.supplier] += total;
  }
  b.tjlhRows += posted;
  b.tjldRows += posted * kLinesPerDocument;
  b.capRows = b.aporiRows = posted;
  return b;
}

Latencies latenciesOf(std::vector<double> times) {
  Latencies l;
  if (times.empty()) return l;
  double sum = 0;
  for (double t : times) sum += t;
  l.mean = sum / static_cast<double>(times.size());
  std::sort(times.begin(), times.end());
  auto rank = [&](int percent) {
    // The smallest rank r with r / n >= percent / 100, in integers.
    const size_t n = times.size();
    const size_t r = (n * static_cast<size_t>(percent) + 99) / 100;
    return times[std::max<size_t>(r, 1) - 1];
  };
  l.median = rank(50);
  l.p95 = rank(95);
  return l;
}

std::string differences(const Books& got, const Books& want) {
  std::string out;
  int shown = 0;
  auto differ = [&](const std::string& what, int64_t g, int64_t w) {
    if (g == w || shown >= 8) return;
    ++shown;
    out += what + ": " + std::to_string(g) + " instead of " + std::to_string(w) + "\n";
  };
  differ("tjlh rows", got.tjlhRows, want.tjlhRows);
  differ("tjld rows", got.tjldRows, want.tjldRows);
  differ("cap rows", got.capRows, want.capRows);
  differ("apori rows", got.aporiRows, want.aporiRows);
  differ("tjlh debits", got.tjlhDebit, want.tjlhDebit);
  differ("tjlh credits", got.tjlhCredit, want.tjlhCredit);
  differ("tjld debits", got.tjldDebit, want.tjldDebit);
  differ("tjld credits", got.tjldCredit, want.tjldCredit);
  differ("apori debits", got.aporiDebit, want.aporiDebit);
  differ("apori credits", got.aporiCredit, want.aporiCredit);
  differ("open items of another type, reference or date", got.oddOpenItems, want.oddOpenItems);
  auto perSupplier = [&](const char* what, const std::map<std::string, int64_t>& g,
                         const std::map<std::string, int64_t>& w) {
    for (const auto& [code, amount] : w) {
      auto it = g.find(code);
      if (it == g.end()) {
        if (shown++ < 8) out += std::string(what) + " of " + code + ": no such supplier\n";
        continue;
      }
      differ(std::string(what) + " of " + code, it->second, amount);
    }
    for (const auto& [code, amount] : g)
      if (!w.count(code) && shown++ < 8) out += std::string(what) + " of " + code + ": an unexpected supplier\n";
  };
  perSupplier("Sup_current_bal", got.balance, want.balance);
  perSupplier("Sup_purch_ytd", got.purchasesYtd, want.purchasesYtd);
  perSupplier("the open items", got.openItems, want.openItems);
  return out;
}

}  // namespace postbench
