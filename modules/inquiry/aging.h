// Aging of a party's open items: how old each item is and which of the five
// buckets it falls in.
//
// A party's open items come in statement order (invoice, reference, date,
// type), so the rows of one invoice follow each other, the invoice's own row
// first. Every row of an invoice is aged from the date of the first row of
// its group: a payment is as old as the invoice it pays, however recent.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "db/money.h"
#include "pdx/value.h"

namespace inquiry {

// Days between a document's date (at midnight) and `now`, the time of day
// counted, cut toward zero: a document dated today or in the future is 0
// days old, or less.
int64_t ageInDays(pdx::Date date, pdx::Timestamp now);

// The bucket (0 to 4) of an age under the upper limits of buckets 1 to 4:
// not above limit 1 is bucket 0, ..., above limit 4 is bucket 4.
int agingBucket(int64_t age, const std::array<int64_t, 4>& limits);

// Sums the rows of one party in statement order into their buckets.
class AgingWalk {
 public:
  AgingWalk(const std::array<int64_t, 4>& limits, pdx::Timestamp now) : limits_(limits), now_(now) {}
  // One row: its invoice number, its date and its signed amount.
  void add(const std::string& invoice, pdx::Date date, db::Money amount);
  const std::array<db::Money, 5>& totals() const { return totals_; }

 private:
  std::array<int64_t, 4> limits_;
  pdx::Timestamp now_;
  bool started_ = false;
  std::string invoice_;
  pdx::Date invoiceDate_;
  std::array<db::Money, 5> totals_{};
};

}  // namespace inquiry
