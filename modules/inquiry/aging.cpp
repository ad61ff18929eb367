#include "aging.h"

#include <cmath>

namespace inquiry {

int64_t ageInDays(pdx::Date date, pdx::Timestamp now) {
  constexpr double kDayMs = 86'400'000.0;
  const double days = (now.ms - static_cast<double>(date.days) * kDayMs) / kDayMs;
  return static_cast<int64_t>(std::trunc(days));
}

int agingBucket(int64_t age, const std::array<int64_t, 4>& limits) {
  for (int b = 0; b < 4; ++b)
    if (age <= limits[size_t(b)]) return b;
  return 4;
}

void AgingWalk::add(const std::string& invoice, pdx::Date date, db::Money amount) {
  if (!started_ || invoice != invoice_) {
    started_ = true;
    invoice_ = invoice;
    invoiceDate_ = date;
  }
  totals_[size_t(agingBucket(ageInDays(invoiceDate_, now_), limits_))] += amount;
}

}  // namespace inquiry
