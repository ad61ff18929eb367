// Exact amounts: fixed point with four decimals.
//
// Tables store money as 64-bit floating point (the file format fixes it), so
// a column of amounts read back one by one carries binary crumbs: 0.10 + 0.20
// is not 0.30 in floating point. Every sum that must balance or agree with
// another (running balances, totals, balance checks) is made of Money values
// instead: each stored amount is rounded once to 1/10,000 when it is read, and
// from then on additions are exact integer arithmetic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace db {

class Money {
 public:
  static constexpr int64_t kScale = 10'000;
  // Largest amount kept: beyond it a double no longer holds every 1/10,000.
  static constexpr double kMaxAbs = 900'000'000'000.0;

  constexpr Money() = default;
  static constexpr Money fromUnits(int64_t units) { return Money(units); }
  // Rounds to the nearest 1/10,000, halves away from zero. nullopt for NaN,
  // infinities and amounts beyond kMaxAbs.
  static std::optional<Money> fromDouble(double value);
  // Parses a plain decimal: optional sign, digits, optional point and up to
  // four decimals ("-12.5", "0.0001"). nullopt for anything else.
  static std::optional<Money> parse(const std::string& text);

  constexpr int64_t units() const { return units_; }
  double toDouble() const { return static_cast<double>(units_) / static_cast<double>(kScale); }
  // The amount with `decimals` places (0..4), rounded half away from zero,
  // '.' as the point and no grouping: "-1234.50".
  std::string toString(int decimals = 2) const;

  constexpr bool isZero() const { return units_ == 0; }
  constexpr Money operator-() const { return Money(-units_); }
  constexpr Money operator+(Money o) const { return Money(units_ + o.units_); }
  constexpr Money operator-(Money o) const { return Money(units_ - o.units_); }
  constexpr Money& operator+=(Money o) { units_ += o.units_; return *this; }
  constexpr Money& operator-=(Money o) { units_ -= o.units_; return *this; }
  constexpr auto operator<=>(const Money&) const = default;

 private:
  constexpr explicit Money(int64_t units) : units_(units) {}
  int64_t units_ = 0;
};

}  // namespace db
