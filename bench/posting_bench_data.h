// What posting_bench posts, what the journal holds before it starts, and what
// the five tables must hold afterwards.
//
// Every value comes from a fixed hash of a document's number, so the engine,
// SQLite and the expectations see the same documents, and the books a correct
// run leaves are known before anything runs. Amounts are fixed point in
// ten-thousandths (db::Money units), whole cents.
//
// A posted document is a purchase from one of the suppliers, four lines, in
// the A/P journal (3) of period kPostingPeriod, dated kPostingDate:
//
//   LINE  ACCOUNT                 SIDE    AMOUNT
//   1     2100 accounts payable   credit  the total
//   2     5000 purchases          debit   the amount before taxes
//   3     1310 GST paid           debit   5% of it, to the cent
//   4     1320 QST paid           debit   9.975% of it, to the cent
//
// The journal already holds prefill documents of four balanced lines each,
// spread over periods 1 to 12 and journals 1 to 5. Their references and the
// posted invoice numbers are "F" and eight hexadecimal digits of one
// permutation of 32-bit numbers, so every reference is different and the
// posted documents fall between the prefilled ones in key order, as a
// company's new invoices do; they do not all land at the end of the table.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace postbench {

inline constexpr int kPostingYear = 2024;
inline constexpr int kPostingPeriod = 6;  // the company's current A/P period
inline constexpr int kPostingMonth = 6;
inline constexpr int kPostingDay = 14;
inline constexpr int kPayablesJournal = 3;
inline constexpr int kPrefillPeriods = 12;
inline constexpr int kPrefillJournals = 5;
inline constexpr int kLinesPerDocument = 4;

// Accounts of the starter chart the documents use.
inline constexpr int kPayableAccount = 2100;
inline constexpr int kPurchasesAccount = 5000;
inline constexpr int kGstAccount = 1310;
inline constexpr int kQstAccount = 1320;

// The supplier of place `index` (0-based): "S0001" ...
std::string supplierCode(int index);
std::string supplierName(int index);
inline constexpr int kSupplierTerms = 30;  // net 30 days

// "F" followed by eight upper-case hexadecimal digits; distinct for distinct
// numbers.
std::string referenceOf(uint64_t number);

struct Document {
  int64_t number = 0;
  std::string supplier;
  std::string invoice;
  int64_t purchases = 0;  // before taxes
  int64_t gst = 0;
  int64_t qst = 0;
  int64_t total() const { return purchases + gst + qst; }
};

// The posted document of `number` (0-based), among `suppliers` suppliers.
Document postedDocument(int64_t number, int suppliers);

struct JournalLine {
  int32_t account = 0;
  int64_t debit = 0;
  int64_t credit = 0;
  const char* description = "";
};

struct JournalDocument {
  int32_t period = 0;
  int32_t journal = 0;
  std::string reference;
  int32_t date = 0;  // the engine's day count
  std::array<JournalLine, kLinesPerDocument> lines;
  int64_t total = 0;  // each side: the debits, and the credits
};

// The documents the journal holds before the run, in key order (period,
// journal, reference, date).
class PrefillPlan {
 public:
  // At least `lines` journal lines: whole documents of four lines.
  explicit PrefillPlan(int64_t lines);
  int64_t documents() const { return documents_; }
  int64_t lines() const { return documents_ * kLinesPerDocument; }

  // Calls `visit` for every document in key order; stops at the first
  // visit that returns false and returns false then.
  template <typename F>
  bool forEach(F&& visit) const {
    std::vector<JournalDocument> segment;
    for (int s = 0; s < kPrefillPeriods * kPrefillJournals; ++s) {
      documentsOf(s, segment);
      for (const JournalDocument& d : segment)
        if (!visit(d)) return false;
    }
    return true;
  }

  // Document `number` of the prefill, whatever its place in key order.
  static JournalDocument document(int64_t number);

 private:
  // The documents of segment s (period s / 5 + 1, journal s % 5 + 1) in key order.
  void documentsOf(int segment, std::vector<JournalDocument>& out) const;
  int64_t documents_ = 0;
};

// The day count of kPostingDate, and of a day of a month of kPostingYear.
int32_t postingDate();
int32_t dayOf(int month, int day);

// What a side's five tables add up to, every amount rounded once to 1/10,000
// as it is read and summed exactly.
struct Books {
  int64_t tjlhRows = 0, tjldRows = 0, capRows = 0, aporiRows = 0;
  int64_t tjlhDebit = 0, tjlhCredit = 0;    // Tjlh_tot_debit, Tjlh_tot_credit
  int64_t tjldDebit = 0, tjldCredit = 0;    // Tjld_debit, Tjld_credit
  int64_t aporiDebit = 0, aporiCredit = 0;  // Debit1..15, Credit1..15
  // Per supplier code, every row of sup: Sup_current_bal, Sup_purch_ytd, and
  // the sum of its cap rows' Cap_amount (suppliers without items: 0).
  std::map<std::string, int64_t> balance, purchasesYtd, openItems;
  // Open items not of type "1" or with a reference (a purchase keeps Cap_ref
  // blank), and open items dated other than kPostingDate.
  int64_t oddOpenItems = 0;
  bool operator==(const Books&) const = default;
};

// The books after `posted` documents (numbers 0 .. posted-1) went into a
// company of `suppliers` suppliers whose journal held `prefill`.
Books expectedBooks(const PrefillPlan& prefill, int64_t posted, int suppliers);

// The median and 95th percentile (nearest rank: the smallest time at least
// that share of the times do not exceed) and the mean of a set of times;
// zeros for none.
struct Latencies {
  double median = 0, p95 = 0, mean = 0;
};
Latencies latenciesOf(std::vector<double> times);

// The first differences between two sets of books, one per line; empty when
// they agree.
std::string differences(const Books& got, const Books& want);

}  // namespace postbench
