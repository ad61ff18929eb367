// The system's files as the engine sees them: reads into several buffers at
// once and the stamps that tell one state of a file from another.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "pdx/env.h"
#include "pending_file.h"
#include "test_util.h"

namespace pdx {
namespace {

using testing::TempDir;

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i * 7 % 26);
  return s;
}

// Reads at `offset` into buffers of the given sizes; returns what they hold,
// up to the bytes read.
std::string readInPieces(File& file, uint64_t offset, const std::vector<size_t>& sizes, size_t& got) {
  std::vector<std::string> storage;
  std::vector<std::span<char>> buffers;
  for (size_t n : sizes) storage.emplace_back(n, '?');
  for (std::string& s : storage) buffers.emplace_back(s.data(), s.size());
  auto r = file.readScattered(offset, buffers);
  EXPECT_TRUE(r.ok()) << r.status().toString();
  got = r.ok() ? *r : 0;
  std::string all;
  for (const std::string& s : storage) all += s;
  return all.substr(0, got);
}

TEST(Env, ReadIntoSeveralBuffersIsOneRead) {
  TempDir tmp;
  const std::string contents = pattern(50'000);
  testing::writeFile(tmp.file("f"), contents);
  for (Env* env : {Env::standard(), Env::unsynced()}) {
    auto file = env->open(tmp.file("f"), Env::OpenMode::kReadWrite);
    ASSERT_TRUE(file.ok());
    detail::PendingFile pending(std::move(file).value());
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
      std::vector<size_t> sizes(1 + rng() % 70);
      for (size_t& n : sizes) n = rng() % 3000;
      const uint64_t offset = rng() % 52'000;  // past the end too
      size_t got = 0;
      const std::string read = readInPieces(pending, offset, sizes, got);
      size_t total = 0;
      for (size_t n : sizes) total += n;
      const std::string want = offset < contents.size() ? contents.substr(offset, total) : "";
      ASSERT_EQ(got, want.size()) << "round " << round;
      ASSERT_EQ(read, want) << "round " << round;
    }
    // With writes held: they show, as read() shows them.
    ASSERT_TRUE(pending.write(100, "HELD").ok());
    ASSERT_TRUE(pending.truncate(60'000).ok());
    size_t got = 0;
    std::string want(200, '\0');
    ASSERT_EQ(*pending.read(49'900, want.size(), want.data()), want.size());
    EXPECT_EQ(readInPieces(pending, 49'900, {50, 0, 150}, got), want);
    EXPECT_EQ(readInPieces(pending, 98, {3, 5}, got), contents.substr(98, 2) + "HELD" + contents.substr(104, 2));
  }
}

// Held writes and cuts, against a model of the file: applying them gives the
// model; the ranges a journal saves from the file on disk are exactly what
// puts it back (written back, then cut to its old size), and they hold only
// the bytes the changes reach, not whole pages.
TEST(Env, HeldChangesApplyAndUndoExactly) {
  TempDir tmp;
  std::mt19937 rng(5);
  for (int trial = 0; trial < 60; ++trial) {
    const std::string base = pattern(rng() % 40'000);
    testing::writeFile(tmp.file("f"), base);
    auto file = Env::unsynced()->open(tmp.file("f"), Env::OpenMode::kReadWrite);
    ASSERT_TRUE(file.ok());
    detail::PendingFile pending(std::move(file).value());
    std::string model = base;
    for (int op = 1 + static_cast<int>(rng() % 8); op > 0; --op) {
      if (rng() % 4 == 0) {
        const size_t size = rng() % 45'000;
        ASSERT_TRUE(pending.truncate(size).ok());
        model.resize(size, '\0');
      } else {
        const size_t at = rng() % 45'000;
        const std::string bytes(1 + rng() % 300, static_cast<char>('A' + trial % 26));
        ASSERT_TRUE(pending.write(at, bytes).ok());
        if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
        model.replace(at, bytes.size(), bytes);
      }
    }
    auto ranges = pending.touchedRanges();
    ASSERT_TRUE(ranges.ok());
    std::vector<std::pair<uint64_t, std::string>> saved;
    for (const auto& [begin, end] : *ranges) saved.emplace_back(begin, base.substr(begin, end - begin));

    ASSERT_TRUE(pending.apply().ok());
    ASSERT_EQ(testing::readFile(tmp.file("f")), model) << "trial " << trial;
    auto undo = Env::unsynced()->open(tmp.file("f"), Env::OpenMode::kReadWrite);
    ASSERT_TRUE(undo.ok());
    for (const auto& [at, bytes] : saved) ASSERT_TRUE((*undo)->write(at, bytes).ok());
    ASSERT_TRUE((*undo)->truncate(base.size()).ok());
    ASSERT_EQ(testing::readFile(tmp.file("f")), base) << "trial " << trial;
  }
  // A table's header and one block that straddles two pages: the journal
  // saves those bytes, not the three pages they lie in.
  testing::writeFile(tmp.file("g"), pattern(20'000));
  auto file = Env::unsynced()->open(tmp.file("g"), Env::OpenMode::kReadWrite);
  ASSERT_TRUE(file.ok());
  detail::PendingFile pending(std::move(file).value());
  ASSERT_TRUE(pending.write(0, std::string(120, 'h')).ok());
  ASSERT_TRUE(pending.write(6144, std::string(4096, 'b')).ok());
  auto ranges = pending.touchedRanges();
  ASSERT_TRUE(ranges.ok());
  using R = std::vector<std::pair<uint64_t, uint64_t>>;
  EXPECT_EQ(*ranges, (R{{0, 120}, {6144, 10240}}));
}

TEST(Env, StampsTellFilesAndWritesApart) {
  TempDir tmp;
  Env* env = Env::unsynced();
  testing::writeFile(tmp.file("a"), "first");
  auto file = env->open(tmp.file("a"), Env::OpenMode::kReadWrite);
  ASSERT_TRUE(file.ok());
  auto byHandle = (*file)->stamp();
  auto byName = env->stamp(tmp.file("a"));
  ASSERT_TRUE(byHandle.ok() && byName.ok());
  EXPECT_EQ(*byHandle, *byName);
  EXPECT_EQ(byName->size, 5u);

  ASSERT_TRUE((*file)->write(5, " and more").ok());
  auto written = env->stamp(tmp.file("a"));
  EXPECT_TRUE(written->sameFile(*byName));
  EXPECT_NE(*written, *byName) << "the size changed";

  // Another file under the name: the handle still knows the first.
  testing::writeFile(tmp.file("b"), "first and more");
  std::filesystem::rename(tmp.file("b"), tmp.file("a"));
  auto replaced = env->stamp(tmp.file("a"));
  EXPECT_FALSE(replaced->sameFile(*written));
  EXPECT_TRUE((*file)->stamp()->sameFile(*written));

  EXPECT_EQ(env->stamp(tmp.file("missing")).status().code(), code::kTableNotFound);
  auto lock = env->openLock(tmp.file("a.tlk"));
  ASSERT_TRUE(lock.ok());
  EXPECT_TRUE((*lock)->stamp()->sameFile(*env->stamp(tmp.file("a.tlk"))));
}

}  // namespace
}  // namespace pdx
