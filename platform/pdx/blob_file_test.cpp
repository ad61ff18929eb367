#include "blob_file.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>

#ifndef TALLIMOOR_SAMPLES
#error "TALLIMOOR_SAMPLES must name the folder of sample tables"
#endif

namespace pdx::detail {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
const fs::path kSamples = TALLIMOOR_SAMPLES;

// In-memory files. `writesLeft` simulates a crash: that many writes or
// truncations succeed, every later one fails (-1: no crash).
class MemEnv : public Env {
 public:
  std::map<std::string, std::shared_ptr<std::string>> files;
  int writesLeft = -1;

  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override;
  Result<std::unique_ptr<LockFile>> openLock(const std::string&) override {
    return Status(code::kNotSupported, "no locks");
  }
  bool exists(const std::string& path) override { return files.count(path) > 0; }
  bool isDirectory(const std::string&) override { return false; }
  Result<std::vector<std::string>> list(const std::string&) override { return std::vector<std::string>{}; }
  Status remove(const std::string& path) override { return files.erase(path), Status::Ok(); }
  Status rename(const std::string&, const std::string&) override { return Status(code::kNotSupported, "no"); }
  Status syncDirectory(const std::string&) override { return Status::Ok(); }
  void sleepMs(int) override {}
};

class MemFile : public File {
 public:
  MemFile(const std::string& path, std::shared_ptr<std::string> data, int* writesLeft)
      : File(path), data_(std::move(data)), writesLeft_(writesLeft) {}
  Result<size_t> read(uint64_t offset, size_t n, char* buf) override {
    if (offset >= data_->size()) return size_t{0};
    n = std::min<size_t>(n, data_->size() - offset);
    std::memcpy(buf, data_->data() + offset, n);
    return n;
  }
  Status write(uint64_t offset, std::string_view data) override {
    if (crashed()) return Status(code::kWriteError, "crashed");
    data_->resize(std::max<size_t>(data_->size(), offset + data.size()));
    data_->replace(offset, data.size(), data);
    return Status::Ok();
  }
  Result<uint64_t> size() override { return uint64_t{data_->size()}; }
  Status truncate(uint64_t size) override {
    if (crashed()) return Status(code::kWriteError, "crashed");
    data_->resize(size);
    return Status::Ok();
  }
  Status sync() override { return Status::Ok(); }

 private:
  bool crashed() { return *writesLeft_ >= 0 && (*writesLeft_ == 0 || (--*writesLeft_, false)); }
  std::shared_ptr<std::string> data_;
  int* writesLeft_;
};

Result<std::unique_ptr<File>> MemEnv::open(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::kCreate) files[path] = std::make_shared<std::string>();
  if (!exists(path)) return Status(code::kTableNotFound, path + " not found");
  return std::unique_ptr<File>(new MemFile(path, files[path], &writesLeft));
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

unsigned u16(const std::string& s, size_t at) {
  return uint8_t(s[at]) | uint8_t(s[at + 1]) << 8;
}

std::string randomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::unique_ptr<BlobFile> openOk(MemEnv& env, const std::string& path, bool writable = true) {
  auto f = BlobFile::open(env, path, writable);
  EXPECT_TRUE(f.ok()) << f.status().toString();
  return f.ok() ? std::move(f).value() : nullptr;
}

// A new file "new.mb".
std::unique_ptr<BlobFile> created(MemEnv& env) {
  auto f = BlobFile::create(env, "new.mb");
  EXPECT_TRUE(f.ok()) << f.status().toString();
  return f.ok() ? std::move(f).value() : nullptr;
}

BlobRef put(BlobFile& file, std::string_view data) {
  auto ref = file.write(data);
  EXPECT_TRUE(ref.ok()) << ref.status().toString();
  return ref.ok() ? *ref : BlobRef{};
}

std::string contents(BlobFile& file, const BlobRef& ref) {
  auto data = file.read(ref);
  EXPECT_TRUE(data.ok()) << data.status().toString();
  return data.ok() ? *data : "<unreadable>";
}

// Checks a .MB as a reader of the original engine's files would expect it:
// blocks chained by their run lengths, suballocated blocks with sound entries
// and check bytes, a free-space list naming only free space. `exact`: listed
// counts equal the truth (no interrupted update).
std::string formatProblem(const std::string& f, bool exact) {
  if (f.size() < 4096 || f.size() % 4096) return "size not whole blocks";
  const size_t blocks = f.size() / 4096;
  std::vector<char> state(blocks, 'h');  // u: holds contents, f: free
  std::map<size_t, int> subFree;         // suballocated block -> free chunks
  for (size_t b = 1; b < blocks;) {
    const char* p = f.data() + b * 4096;
    const unsigned type = uint8_t(p[0]), run = u16(f, b * 4096 + 1);
    if (type == 3) {
      std::vector<bool> used(256);
      subFree[b] = 235;
      for (int i = 0; i < 64; ++i) {
        unsigned at = uint8_t(p[12 + 5 * i]), n = uint8_t(p[13 + 5 * i]), tail = uint8_t(p[16 + 5 * i]);
        if (at && (at < 21 || !n || at + n > 256 || !tail || tail > 16)) return "bad entry";
        for (unsigned c = at; at && c < at + n; ++c) {
          if (used[c]) return "overlapping entries";
          used[c] = true;
        }
        subFree[b] -= at ? int(n) : 0;
      }
      uint8_t lanes[8] = {};
      for (size_t i = 0; i < 4096; ++i) lanes[i % 8] ^= (i >= 3 && i < 11) ? 0 : uint8_t(p[i]);
      if (std::memcmp(lanes, p + 3, 8) != 0) return "check bytes of block " + std::to_string(b);
      state[b++] = 'u';
    } else if ((type == 2 || type == 4) && run >= 1 && b + run <= blocks) {
      std::fill(state.begin() + long(b), state.begin() + long(b + run), type == 2 ? 'u' : 'f');
      b += run;
    } else {
      return "block " + std::to_string(b) + " of type " + std::to_string(type);
    }
  }
  std::set<size_t> named;
  for (unsigned i = 0; i < u16(f, 0x29) && f[0x38 + 6 * i] != 0; ++i) {
    const size_t at = 0x38 + 6 * i, block = (u16(f, at) | u16(f, at + 2) << 16) >> 12;
    const unsigned kind = uint8_t(f[at]), count = u16(f, at + 4), n = kind == 3 ? count : 1;
    const std::string slot = "slot " + std::to_string(i);
    for (size_t b = block; kind != 1 && b < block + n; ++b) {
      if (b == 0 || b >= blocks || !named.insert(b).second) return slot + " names a block twice";
    }
    if (kind == 2 &&
        (!subFree.count(block) || subFree[block] < int(count) || (exact && subFree[block] != int(count)))) {
      return slot + " overstates a suballocated block";
    }
    if (kind == 3 && (uint8_t(f[block * 4096]) != 4 || u16(f, block * 4096 + 1) < count ||
                      (exact && u16(f, block * 4096 + 1) != count) ||
                      std::count(state.begin() + long(block), state.begin() + long(block + n), 'f') != long(n))) {
      return slot + " names blocks that are not a free run";
    }
  }
  return "";
}

// The memo/blob pointers of a sample table, read from its records.
struct SampleBlob {
  size_t row = 0, column = 0;
  uint8_t type = 0;
  std::string leader;  // the part held in the record
  BlobRef ref;
};

std::vector<SampleBlob> blobsOfTable(const std::string& d) {
  std::vector<std::pair<uint8_t, size_t>> fields;  // type, size in the record
  const size_t info = uint8_t(d[0x39]) >= 5 ? 0x78 : 0x58;
  for (unsigned i = 0; i < u16(d, 0x21); ++i) {
    const uint8_t type = uint8_t(d[info + 2 * i]);
    fields.emplace_back(type, type == 0x17 ? 17 : uint8_t(d[info + 2 * i + 1]));
  }
  const size_t recordSize = u16(d, 0), headerSize = u16(d, 2), blockSize = uint8_t(d[5]) * 1024u;
  std::vector<SampleBlob> out;
  size_t row = 0;
  for (unsigned block = u16(d, 0x0E), hops = 0; block && hops < 65536; ++hops) {
    const size_t base = headerSize + (block - 1) * blockSize;
    const int records = int16_t(u16(d, base + 4)) / int(recordSize) + 1;
    for (int r = 0; r < records; ++r, ++row) {
      size_t at = base + 6 + r * recordSize;
      for (size_t c = 0; c < fields.size(); at += fields[c++].second) {
        if (fields[c].first < 0x0C || fields[c].first > 0x10) continue;  // not a memo/blob type
        const size_t lead = fields[c].second - 10;
        out.push_back({row, c, fields[c].first, d.substr(at, lead), decodeBlobRef(d.data() + at + lead)});
      }
    }
    block = u16(d, base);
  }
  return out;
}

std::string hexOf(std::string_view s) {
  std::string out;
  for (char c : s) out += {"0123456789abcdef"[uint8_t(c) >> 4], "0123456789abcdef"[uint8_t(c) & 15]};
  return out;
}

TEST(BlobFile, ReadsEveryBlobOfTheSampleTables) {
  TALLIMOOR_REQUIRE_SAMPLES();
  auto lower = [](fs::path p) {
    std::string s = p.string();
    for (char& c : s) c = char(std::tolower(uint8_t(c)));
    return s;
  };
  size_t tables = 0, blobs = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kSamples)) {
    const fs::path mb = entry.path();
    if (lower(mb.extension()) != ".mb" || mb.parent_path().filename() == "encrypt") continue;
    fs::path db;
    for (const auto& sibling : fs::directory_iterator(mb.parent_path())) {
      if (lower(sibling.path()) == lower(fs::path(mb).replace_extension(".db"))) db = sibling.path();
    }
    SCOPED_TRACE(mb.string());
    ASSERT_FALSE(db.empty());
    MemEnv env;
    env.files["t.mb"] = std::make_shared<std::string>(slurp(mb));
    EXPECT_EQ(formatProblem(*env.files["t.mb"], true), "");
    auto file = openOk(env, "t.mb", false);
    std::vector<std::vector<std::string>> dump;
    std::istringstream lines(slurp(db.string() + ".expected.tsv"));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream cells(line);
      dump.emplace_back();
      for (std::string cell; std::getline(cells, cell, '\t');) dump.back().push_back(cell);
    }
    ++tables;
    for (const SampleBlob& b : blobsOfTable(slurp(db))) {
      if (b.ref.offset == 0) continue;
      const std::string got = contents(*file, b.ref);
      ASSERT_EQ(got.size(), b.ref.length);
      EXPECT_TRUE(file->checkRef(b.ref).ok());
      // A graphic begins with 8 bytes of its own, neither in the record nor in the dump.
      const std::string_view data = std::string_view(got).substr(b.type == 0x10 ? 8 : 0);
      EXPECT_EQ(data.substr(0, b.leader.size()), b.leader.substr(0, data.size()));
      if (b.type == 0x0D || b.type == 0x0F || b.type == 0x10) {  // blob, OLE, graphic: dumped in hex
        EXPECT_EQ(hexOf(data), dump.at(b.row + 1).at(b.column));
      }
      ++blobs;
    }
  }
  EXPECT_GE(tables, 15u);
  EXPECT_GE(blobs, 180u);
}

TEST(BlobFile, CreatesOpensAndEncodes) {
  TALLIMOOR_REQUIRE_SAMPLES();
  MemEnv env;
  created(env);
  EXPECT_EQ(*env.files["new.mb"], slurp(kSamples / "rparadox/empty.mb"));
  EXPECT_EQ(BlobFile::open(env, "absent.mb", false).status().code(), code::kBlobFileMissing);
  const BlobRef ref = put(*openOk(env, "new.mb"), "text");
  auto readOnly = openOk(env, "new.mb", false);
  EXPECT_EQ(contents(*readOnly, ref), "text");
  EXPECT_FALSE(readOnly->write("more").ok());
  EXPECT_FALSE(readOnly->release(ref).ok());
  EXPECT_FALSE(readOnly->clear().ok());

  const char bytes[10] = {0x3f, 0x10, 0x02, 0x00, 0x2a, 0x01, 0x00, 0x00, 0x05, 0x01};
  EXPECT_EQ(decodeBlobRef(bytes), (BlobRef{0x2103f, 0x12a, 0x105}));
  char back[10];
  encodeBlobRef(decodeBlobRef(bytes), back);
  EXPECT_EQ(std::string(back, 10), std::string(bytes, 10));
}

// Written through two handles, as two processes would: nothing is cached.
TEST(BlobFile, RoundTripsAcrossChunkAndBlockBoundaries) {
  MemEnv env;
  std::unique_ptr<BlobFile> handles[] = {created(env), openOk(env, "new.mb")};
  std::mt19937 rng(7);
  std::vector<std::pair<BlobRef, std::string>> stored;
  for (size_t n :
       {1, 15, 16, 17, 32, 33, 255, 2047, 2048, 2049, 3760, 4086, 4087, 4088, 8183, 8184, 65536, 200000, 1}) {
    std::string data = randomBytes(rng, n);
    BlobRef ref = put(*handles[stored.size() % 2], data);
    EXPECT_EQ(ref.length, n);
    EXPECT_EQ((ref.offset & 0xFF) == 0xFF, n > 2048) << n;  // suballocated up to 2048 bytes
    EXPECT_EQ(ref.modifier, stored.empty() ? 1 : stored.back().first.modifier + 1);
    stored.emplace_back(ref, data);
  }
  EXPECT_EQ(put(*handles[0], ""), BlobRef{});
  EXPECT_EQ(contents(*handles[0], BlobRef{}), "");
  EXPECT_EQ(formatProblem(*env.files["new.mb"], true), "");
  for (const auto& [ref, data] : stored) EXPECT_EQ(contents(*handles[1], ref), data) << data.size();
}

// Memos rewritten over and over (new contents first, old released after, as
// the table does) keep the file bounded; releasing all of them empties it.
TEST(BlobFile, ReusesFreedSpace) {
  MemEnv env;
  auto file = created(env);
  std::mt19937 rng(11);
  std::vector<std::pair<BlobRef, std::string>> live(12);
  size_t largest = 0;
  for (int i = 0; i < 1000; ++i) {
    auto& [ref, data] = live[rng() % live.size()];
    std::string next = randomBytes(rng, rng() % 3 ? rng() % 2049 : 2049 + rng() % 20000);
    const BlobRef fresh = put(*file, next);
    ASSERT_TRUE(file->release(ref).ok());
    ref = fresh;
    data = next;
    largest = std::max(largest, env.files["new.mb"]->size());
  }
  EXPECT_LE(largest, 128u * 4096) << "12 memos of at most 22 KB each";
  EXPECT_EQ(formatProblem(*env.files["new.mb"], true), "");
  for (const auto& [ref, data] : live) EXPECT_EQ(contents(*file, ref), data);
  for (const auto& [ref, data] : live) ASSERT_TRUE(file->release(ref).ok());
  EXPECT_EQ(env.files["new.mb"]->size(), 4096u);
}

// Writing into a file of the original engine uses its free space and leaves
// its blobs alone.
TEST(BlobFile, WritesIntoAFileOfTheOriginalEngine) {
  TALLIMOOR_REQUIRE_SAMPLES();
  MemEnv env;
  env.files["b.mb"] = std::make_shared<std::string>(slurp(kSamples / "dbdemos/biolife.mb"));
  const size_t size = env.files["b.mb"]->size();
  auto file = openOk(env, "b.mb");
  const BlobRef big = put(*file, std::string(40000, 'g'));  // the tail of 16 free blocks at 0x11d000
  const BlobRef small = put(*file, std::string(200, 'm'));  // a suballocated block with room
  EXPECT_EQ(env.files["b.mb"]->size(), size);
  EXPECT_EQ(big.offset, 0x11d000u + 6 * 4096 + 0xFF);
  const auto blobs = blobsOfTable(slurp(kSamples / "dbdemos/biolife.db"));
  ASSERT_TRUE(file->release(blobs[0].ref).ok());
  ASSERT_TRUE(file->release(blobs[1].ref).ok());
  for (size_t i = 2; i < blobs.size(); ++i) EXPECT_TRUE(file->checkRef(blobs[i].ref).ok()) << i;
  EXPECT_EQ(contents(*file, big), std::string(40000, 'g'));
  EXPECT_EQ(contents(*file, small), std::string(200, 'm'));
  EXPECT_EQ(formatProblem(*env.files["b.mb"], true), "");
}

// Some writers keep no free-space list and leave the last block of a run
// short; such files read, and grow by whole blocks.
TEST(BlobFile, ExtendsFilesOfWritersThatKeepNoList) {
  TALLIMOOR_REQUIRE_SAMPLES();
  std::string file = slurp(kSamples / "rparadox/empty.mb");
  file[0x29] = file[0x2A] = 0;
  file += "\x02\x01\x00\xb8\x0b\x00\x00\x01\x00"s + std::string(3000, 'p');  // 1 block, 3000 bytes, modification 1
  MemEnv env;
  env.files["p.mb"] = std::make_shared<std::string>(file);
  auto mb = openOk(env, "p.mb");
  const BlobRef old{0x10FF, 3000, 1};
  EXPECT_EQ(contents(*mb, old), std::string(3000, 'p'));
  const BlobRef added = put(*mb, std::string(5000, 'q'));
  EXPECT_EQ(added.offset, 0x20FFu);
  EXPECT_EQ(contents(*mb, added), std::string(5000, 'q'));
  EXPECT_EQ(contents(*mb, old), std::string(3000, 'p'));
  EXPECT_EQ(formatProblem(*env.files["p.mb"], true), "");
}

TEST(BlobFile, ClearKeepsTheHeaderAndTheModificationCount) {
  TALLIMOOR_REQUIRE_SAMPLES();
  MemEnv env;
  auto file = created(env);
  put(*file, std::string(100, 'x'));
  const BlobRef last = put(*file, std::string(9000, 'y'));
  ASSERT_TRUE(file->clear().ok());
  std::string expected = slurp(kSamples / "rparadox/empty.mb");
  expected[3] = char(last.modifier + 1);
  EXPECT_EQ(*env.files["new.mb"], expected);
  EXPECT_EQ(file->read(last).status().code(), code::kMemoCorrupt);
  EXPECT_EQ(put(*file, "z").modifier, last.modifier + 1);
}

TEST(BlobFile, DamageGivesMemoCorrupt) {
  TALLIMOOR_REQUIRE_SAMPLES();
  MemEnv env;
  auto made = created(env);
  // Block 1, entry 63; bytes 26..30 look like what entry 70 of the block would be.
  std::string looksLikeEntry(40, 'a');
  looksLikeEntry.replace(26, 5, "\x15\x03\x01\x00\x08"s);
  const BlobRef small = put(*made, looksLikeEntry);
  const BlobRef large = put(*made, std::string(5000, 'b'));  // blocks 2-3
  const BlobRef gone = put(*made, std::string(300, 'c'));
  ASSERT_TRUE(made->release(gone).ok());
  const std::string good = *env.files["new.mb"];
  auto at = [](size_t offset, std::string bytes) {
    return [=](std::string& f) { f.replace(offset, bytes.size(), bytes); };
  };
  auto none = [](std::string&) {};
  auto with = [](BlobRef ref, uint32_t offset, uint32_t length, uint16_t modifier) {
    return BlobRef{ref.offset + offset, ref.length + length, uint16_t(ref.modifier + modifier)};
  };
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
    BlobRef ref;
  } cases[] = {
      {"released", none, gone},
      {"other modification", none, with(small, 0, 0, 1)},
      {"other modification of a run", none, with(large, 0, 0, 1)},
      {"other length", none, with(large, 0, 1, 0)},
      {"truncated", [](std::string& f) { f.resize(4096 + 100); }, small},
      {"unknown block type", at(4096, "\x07"), small},
      {"entry index 70", none, with(small, 70 - 63, 0, 0)},
      {"entry of a run", none, with(large, 3 - 0xFF, 0, 0)},
      {"absurd stored length", at(2 * 4096 + 3, "\xff\xff\xff\xff"), BlobRef{large.offset, 0xFFFFFFFF, large.modifier}},
      {"absurd pointer length", none, BlobRef{large.offset, 4000000000u, large.modifier}},
      {"run longer than its contents", at(2 * 4096 + 1, "\xff\xff"), large},
      {"contents past the end", at(2 * 4096 + 3, "\xe0\x2e"), BlobRef{large.offset, 12000, large.modifier}},
      {"entry past the block", at(4096 + 12 + 63 * 5, "\xfa\x0a"), small},
      {"entry tail 0", at(4096 + 12 + 63 * 5 + 4, "\0"s), small},
      {"not a block boundary", none, BlobRef{0x1803, 40, 1}},
      {"header block", none, BlobRef{0xFF, 40, 1}},
      {"no block but a length", none, BlobRef{0, 40, 1}},
      {"past the end", none, BlobRef{0x100000 | 0xFF, 40, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    *env.files["new.mb"] = good;
    c.damage(*env.files["new.mb"]);
    auto file = openOk(env, "new.mb");
    EXPECT_EQ(file->read(c.ref).status().code(), code::kMemoCorrupt);
    EXPECT_EQ(file->checkRef(c.ref).code(), code::kMemoCorrupt);
    const std::string before = *env.files["new.mb"];
    Status released = file->release(c.ref);
    EXPECT_EQ(released.code(), c.ref.offset ? code::kMemoCorrupt : code::kOk);  // offset 0: nothing to give back
    EXPECT_EQ(*env.files["new.mb"], before);
    EXPECT_TRUE(!c.ref.offset || released.message().find("new.mb") != std::string::npos) << released.message();
  }
  // A damaged free-space list stops writing. A slot that names a blob is
  // stale (an interrupted update) and is never trusted.
  auto withSlots = [&](const std::string& slots) {
    *env.files["new.mb"] = good;
    env.files["new.mb"]->replace(0x38, slots.size(), slots);
    return openOk(env, "new.mb");
  };
  const std::string slot0 = good.substr(0x38, 6);
  EXPECT_EQ(withSlots("\x09\x10\0\0\x01\0"s)->write("x").status().code(), code::kMemoCorrupt);  // unknown kind
  EXPECT_EQ(withSlots("\x03\0\x01\0\x01\0"s)->write("x").status().code(), code::kMemoCorrupt);  // past the end
  EXPECT_EQ(withSlots(slot0 + slot0)->write("x").status().code(), code::kMemoCorrupt);          // twice
  EXPECT_EQ(withSlots("\x03\x20\0\0\x02\0"s)->release(large).code(), code::kMemoCorrupt);
  auto stale = withSlots("\x03\x20\0\0\x02\0"s);
  put(*stale, std::string(3000, 'x'));
  EXPECT_EQ(contents(*stale, large), std::string(5000, 'b'));
  // Headers that are not those of a memo file.
  env.files["h.mb"] = std::make_shared<std::string>(good.substr(0, 100));
  EXPECT_EQ(BlobFile::open(env, "h.mb", false).status().code(), code::kMemoCorrupt);
  *env.files["h.mb"] = slurp(kSamples / "paradoxdriver/encrypt/encryptedmemo.mb");
  EXPECT_EQ(BlobFile::open(env, "h.mb", false).status().code(), code::kMemoCorrupt);
}

// Damage anywhere in a file of the original engine gives errors, never a
// crash, a hang or contents of the wrong length.
TEST(BlobFile, RandomDamageGivesErrorsOnly) {
  TALLIMOOR_REQUIRE_SAMPLES();
  const std::string good = slurp(kSamples / "dbdemos/events.mb");
  const auto blobs = blobsOfTable(slurp(kSamples / "dbdemos/events.db"));
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    MemEnv env;
    env.files["x.mb"] = std::make_shared<std::string>(good);
    for (int n = 1 + rng() % 8; n > 0; --n) {
      const size_t block = rng() % 4 ? rng() % (good.size() / 4096) : 0;
      (*env.files["x.mb"])[block * 4096 + (rng() % 2 ? rng() % 64 : rng() % 4096)] = char(rng());
    }
    auto opened = BlobFile::open(env, "x.mb", true);
    EXPECT_TRUE(opened.ok() || opened.status().code() == code::kMemoCorrupt);
    for (int op = 0; opened.ok() && op < 20; ++op) {
      BlobRef ref = blobs[rng() % blobs.size()].ref;
      if (op % 5 == 4) ref.offset ^= 1u << (rng() % 32);
      auto data = (*opened)->read(ref);
      EXPECT_EQ(data.ok() ? data->size() : ref.length, ref.length);
      const Status s = op % 2 ? (*opened)->write(std::string(rng() % 9000 + 1, 'w')).status() : (*opened)->release(ref);
      EXPECT_TRUE(s.ok() || s.code() == code::kMemoCorrupt) << round << ": " << s.toString();
    }
  }
}

// A crash after any number of writes leaves the file consistent: what was
// stored before still reads back, and the file accepts new contents.
TEST(BlobFile, SurvivesACrashAtEveryWrite) {
  MemEnv base;
  auto seed = created(base);
  std::map<int, std::pair<BlobRef, std::string>> before;
  for (int id : {0, 1, 2, 3}) {
    std::string data(size_t(id % 2 ? 5000 * id : 300 + id), char('a' + id));
    before[id] = {put(*seed, data), data};
  }
  // Ends by releasing the last run of the file next to a free run: the file
  // shrinks to the header and the suballocated block.
  const struct {
    int release;  // id of a blob to release, or -1 to write `write` bytes
    size_t write;
  } ops[] = {{0, 0}, {-1, 6000}, {1, 0}, {-1, 50}, {2, 0}, {3, 0}, {-1, 2100}, {106, 0}, {101, 0}};
  for (int crashAfter = 0; crashAfter < 100; ++crashAfter) {
    SCOPED_TRACE(crashAfter);
    MemEnv env;
    env.files["new.mb"] = std::make_shared<std::string>(*base.files["new.mb"]);
    env.writesLeft = crashAfter;
    auto file = openOk(env, "new.mb");
    auto live = before;  // what must read back after the crash
    bool crashed = false;
    for (int i = 0; i < int(std::size(ops)) && !crashed; ++i) {
      if (ops[i].release >= 0) {
        crashed = !file->release(live.at(ops[i].release).first).ok();
        live.erase(ops[i].release);  // released, or in doubt: not checked either way
      } else if (auto ref = file->write(std::string(ops[i].write, 'n')); ref.ok()) {
        live[100 + i] = {*ref, std::string(ops[i].write, 'n')};
      } else {
        crashed = true;
      }
    }
    env.writesLeft = -1;
    EXPECT_EQ(formatProblem(*env.files["new.mb"], !crashed), "");
    auto reopened = openOk(env, "new.mb");
    for (const auto& [id, blob] : live) EXPECT_EQ(contents(*reopened, blob.first), blob.second) << id;
    for (size_t n : {20, 3000})
      EXPECT_EQ(contents(*reopened, put(*reopened, std::string(n, 'z'))), std::string(n, 'z'));
    if (!crashed) {
      EXPECT_EQ(env.files["new.mb"]->size(), 2 * 4096u + 4096u) << "header, suballocated block, new 3000 bytes";
      return;
    }
  }
  FAIL() << "the operations never completed";
}

}  // namespace
}  // namespace pdx::detail
