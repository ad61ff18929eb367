// A seeded random source whose results are the same on every platform, so
// that the demonstration data come out identical for a seed and a date.
// (The standard distributions are not specified bit for bit; the engine
// std::mt19937 is.)
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace admin {

class DemoRandom {
 public:
  explicit DemoRandom(uint32_t seed) : engine_(seed) {}

  // A whole number in [lo, hi].
  int64_t between(int64_t lo, int64_t hi) {
    if (hi <= lo) return lo;
    const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
    const uint64_t draw = (static_cast<uint64_t>(engine_()) << 32) | engine_();
    return lo + static_cast<int64_t>(draw % span);
  }
  // True with probability `percent` / 100.
  bool chance(int percent) { return between(0, 99) < percent; }
  template <typename T>
  const T& pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(between(0, static_cast<int64_t>(items.size()) - 1))];
  }
  uint32_t next() { return static_cast<uint32_t>(engine_()); }

 private:
  std::mt19937 engine_;
};

}  // namespace admin
