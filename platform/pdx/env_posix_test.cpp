// The system's files as the engine sees them: reads into several buffers at
// once and the stamps that tell one state of a file from another.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "pdx/env.h"
#include "pdx/table.h"
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

// Writes the change as a record of the redo log describes it: cut, runs,
// size.
void writeChange(const std::string& path, const detail::PendingFile::Change& c) {
  std::string bytes = testing::readFile(path);
  if (c.cut && bytes.size() > *c.cut) bytes.resize(*c.cut);
  for (const auto& [at, run] : c.runs) {
    if (bytes.size() < at + run.size()) bytes.resize(at + run.size(), '\0');
    bytes.replace(at, run.size(), run);
  }
  bytes.resize(c.size, '\0');
  testing::writeFile(path, bytes);
}

// Held writes and cuts, against a model of the file: applying them gives the
// model, and so does the change they amount to, written to a copy of the
// file as it was; the change holds only the bytes that differ, not whole
// pages nor whole writes.
TEST(Env, HeldChangesApplyExactlyAndHoldOnlyWhatDiffers) {
  TempDir tmp;
  std::mt19937 rng(5);
  for (int trial = 0; trial < 60; ++trial) {
    const std::string base = pattern(rng() % 40'000);
    testing::writeFile(tmp.file("f"), base);
    testing::writeFile(tmp.file("copy"), base);
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
        // Sometimes the bytes already there, partly or wholly.
        std::string bytes(1 + rng() % 300, static_cast<char>('A' + trial % 26));
        if (rng() % 3 == 0 && at < model.size()) bytes = model.substr(at, bytes.size()) + (rng() % 2 ? "x" : "");
        ASSERT_TRUE(pending.write(at, bytes).ok());
        if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
        model.replace(at, bytes.size(), bytes);
      }
    }
    auto change = pending.change();
    ASSERT_TRUE(change.ok());
    ASSERT_TRUE(pending.apply().ok());
    ASSERT_EQ(testing::readFile(tmp.file("f")), model) << "trial " << trial;
    writeChange(tmp.file("copy"), *change);
    ASSERT_EQ(testing::readFile(tmp.file("copy")), model) << "trial " << trial;
  }
  // A table's header and one block that straddles two pages, rewritten whole
  // with a few bytes changed: the change holds those bytes.
  const std::string before = pattern(20'000);
  testing::writeFile(tmp.file("g"), before);
  auto file = Env::unsynced()->open(tmp.file("g"), Env::OpenMode::kReadWrite);
  ASSERT_TRUE(file.ok());
  detail::PendingFile pending(std::move(file).value());
  std::string header = before.substr(0, 120);
  header[6] ^= 1;
  ASSERT_TRUE(pending.write(0, header).ok());
  std::string block = before.substr(6144, 4096);
  block.replace(2000, 300, std::string(300, '#'));
  ASSERT_TRUE(pending.write(6144, block).ok());
  ASSERT_TRUE(pending.write(12'000, before.substr(12'000, 500)).ok());  // the same bytes: no change at all
  auto change = pending.change();
  ASSERT_TRUE(change.ok());
  std::vector<std::pair<uint64_t, size_t>> runs;
  for (const auto& [at, bytes] : change->runs) runs.emplace_back(at, bytes.size());
  using R = std::vector<std::pair<uint64_t, size_t>>;
  // Within a page the change runs from its first differing byte to its last.
  EXPECT_EQ(runs, (R{{6, 1}, {6144 + 2000, 300}}));
  EXPECT_EQ(change->size, before.size());
  EXPECT_FALSE(change->cut.has_value());
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

namespace pdx {
namespace {

// A link in a folder of tables, named like one of its files and pointing out
// of it, is never followed: not to read, write or create a table, and not to
// open a lock file (whose preparation would write to the file it reaches).
TEST(Env, ALinkNamedLikeATableFileIsNeverFollowed) {
  TempDir tmp;
  const std::string books = tmp.file("books");
  std::filesystem::create_directory(books);
  const std::string kOutside = "somebody else's file";
  testing::writeFile(tmp.file("outside.txt"), kOutside);
  for (const char* name : {"clients.DB", "clients.tlk", "tallimoor-redo.lock", "new.DB"})
    std::filesystem::create_symlink(tmp.file("outside.txt"), books + "/" + name);

  Env* env = Env::standard();
  for (auto mode : {Env::OpenMode::kRead, Env::OpenMode::kReadWrite, Env::OpenMode::kCreate}) {
    auto file = env->open(books + "/clients.DB", mode);
    ASSERT_FALSE(file.ok());
    EXPECT_NE(file.status().message().find("symbolic link"), std::string::npos) << file.status().message();
  }
  EXPECT_FALSE(env->open(books + "/new.DB", Env::OpenMode::kCreate).ok());
  EXPECT_FALSE(env->openLock(books + "/clients.tlk").ok());
  EXPECT_FALSE(env->openLock(books + "/tallimoor-redo.lock").ok());
  EXPECT_EQ(testing::readFile(tmp.file("outside.txt")), kOutside);

  auto dir = Directory::open(books, env);
  ASSERT_TRUE(dir.ok());
  EXPECT_FALSE((*dir)->openTable("clients").ok());
  EXPECT_FALSE((*dir)->openTable("clients", Directory::Access::kReadOnly).ok());
  EXPECT_EQ(testing::readFile(tmp.file("outside.txt")), kOutside);
}

}  // namespace
}  // namespace pdx
