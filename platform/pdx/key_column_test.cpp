#include "key_column.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace pdx::detail {
namespace {

// The column against one flat string, through inserts and erases anywhere
// that cut pieces in two and empty them again.
TEST(KeyColumnTest, HoldsWhatAFlatCopyHoldsThroughInsertsAndErases) {
  constexpr size_t kWidth = 3;
  KeyColumn column(kWidth);
  std::string flat;
  std::mt19937 random(7);
  uint32_t next = 0;
  auto keyOf = [&](uint32_t n) {
    return std::string{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16)};
  };
  auto check = [&] {
    ASSERT_EQ(column.size() * kWidth, flat.size());
    for (size_t i = 0; i < column.size(); ++i)
      ASSERT_EQ(std::string(column.at(i), kWidth), flat.substr(i * kWidth, kWidth)) << "key " << i;
  };
  // Grow past several pieces, mostly in the middle, then shrink to nothing.
  for (int round = 0; round < 3; ++round) {
    for (int n = 0; n < 3000; ++n) {
      const size_t at = column.empty() ? 0 : random() % (column.size() + 1);
      const std::string key = keyOf(next++);
      column.insert(at, key.data());
      flat.insert(at * kWidth, key);
      if (n % 500 == 0) check();
    }
    check();
    while (column.size() > (round == 2 ? 0u : 100u)) {
      const size_t at = random() % column.size();
      column.erase(at);
      flat.erase(at * kWidth, kWidth);
    }
    check();
  }
  EXPECT_TRUE(column.empty());

  // Written in place, read back wherever the last read stood.
  for (int n = 0; n < 2500; ++n) column.append(keyOf(static_cast<uint32_t>(n)).data());
  std::memcpy(column.at(2048), "xyz", kWidth);
  EXPECT_EQ(std::string(column.at(0), kWidth), keyOf(0));
  EXPECT_EQ(std::string(column.at(2048), kWidth), "xyz");
  EXPECT_EQ(std::string(column.at(2047), kWidth), keyOf(2047));
  EXPECT_EQ(std::string(column.at(2499), kWidth), keyOf(2499));
}

}  // namespace
}  // namespace pdx::detail
