// The check against tables that readers cannot read, and the readers against
// tables the check finds at fault: both must see a table's files alike.
#include "pdx/check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "format.h"
#include "pdx/table.h"
#include "test_util.h"

#ifndef TALLIMOOR_SAMPLES
#error "TALLIMOOR_SAMPLES must name the folder of sample tables"
#endif

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

std::string allFaults(const CheckReport& r) {
  std::string all;
  for (const auto& f : r.faults) all += f + "\n";
  return all;
}

bool mentions(const CheckReport& r, std::initializer_list<std::string> words) {
  for (const auto& f : r.faults) {
    bool all = true;
    for (const auto& w : words) all = all && f.find(w) != std::string::npos;
    if (all) return true;
  }
  return false;
}

// Counts the reads of each file, by name.
class ReadCountingEnv final : public Env {
 public:
  explicit ReadCountingEnv(Env* base) : base_(base) {}
  int reads(const std::string& name) const {
    auto it = reads_.find(name);
    return it == reads_.end() ? 0 : it->second;
  }

  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    PDX_ASSIGN_OR_RETURN(auto file, base_->open(path, mode));
    return std::unique_ptr<File>(new CountingFile(std::move(file), reads_[fs::path(path).filename().string()]));
  }
  Result<std::unique_ptr<LockFile>> openLock(const std::string& path) override { return base_->openLock(path); }
  bool exists(const std::string& path) override { return base_->exists(path); }
  bool isDirectory(const std::string& path) override { return base_->isDirectory(path); }
  Result<FileStamp> stamp(const std::string& path) override { return base_->stamp(path); }
  Result<std::vector<std::string>> list(const std::string& dir) override { return base_->list(dir); }
  Status remove(const std::string& path) override { return base_->remove(path); }
  Status rename(const std::string& from, const std::string& to) override { return base_->rename(from, to); }
  Status syncDirectory(const std::string& dir) override { return base_->syncDirectory(dir); }
  void sleepMs(int ms) override { base_->sleepMs(ms); }

 private:
  class CountingFile final : public File {
   public:
    CountingFile(std::unique_ptr<File> inner, int& count) : File(inner->path()), inner_(std::move(inner)), count_(count) {}
    Result<size_t> read(uint64_t offset, size_t n, char* buf) override {
      ++count_;
      return inner_->read(offset, n, buf);
    }
    Status write(uint64_t offset, std::string_view data) override { return inner_->write(offset, data); }
    Result<uint64_t> size() override { return inner_->size(); }
    Status truncate(uint64_t size) override { return inner_->truncate(size); }
    Status sync() override { return inner_->sync(); }
    Result<FileStamp> stamp() override { return inner_->stamp(); }

   private:
    std::unique_ptr<File> inner_;
    int& count_;
  };
  Env* base_;
  std::map<std::string, int> reads_;
};

// A keyed table of `blocks` data blocks holding one record each (1 KiB
// blocks, records of 1018 bytes), keyed 1, 2, ... and written directly: the
// engine would take minutes to fill so many blocks one insert at a time.
void writeOneRecordPerBlock(const std::string& path, uint32_t blocks) {
  const std::vector<FieldDef> fields = {{"Id", FieldType::kLong, 0},
                                        {"Text", FieldType::kAlpha, 255},
                                        {"Pad1", FieldType::kAlpha, 255},
                                        {"Pad2", FieldType::kAlpha, 255},
                                        {"Pad3", FieldType::kAlpha, 249}};
  ASSERT_TRUE(detail::validateDefinition(fields, 1, 1024).ok());
  std::string file = detail::buildDataHeader(fields, 1, 1252, 1024, "big.DB");
  char* h = file.data();
  detail::putU32(h + detail::off::kNumRecords, blocks);
  detail::putU16(h + detail::off::kUsedBlocks, static_cast<uint16_t>(blocks));
  detail::putU16(h + detail::off::kFileBlocks, static_cast<uint16_t>(blocks));
  detail::putU16(h + detail::off::kMaxBlocks, static_cast<uint16_t>(blocks));
  detail::putU16(h + detail::off::kFirstBlock, 1);
  detail::putU16(h + detail::off::kLastBlock, static_cast<uint16_t>(blocks));
  const size_t headerSize = file.size();
  file.resize(headerSize + size_t{blocks} * 1024, '\0');
  for (uint32_t n = 1; n <= blocks; ++n) {
    char* b = file.data() + headerSize + size_t{n - 1} * 1024;
    detail::putU16(b, static_cast<uint16_t>(n < blocks ? n + 1 : 0));
    detail::putU16(b + 2, static_cast<uint16_t>(n - 1));
    detail::putU16(b + 4, 0);  // one record
    const uint32_t key = n ^ 0x80000000u;
    b[6] = static_cast<char>(key >> 24), b[7] = static_cast<char>(key >> 16), b[8] = static_cast<char>(key >> 8),
    b[9] = static_cast<char>(key);
    const std::string text = "row " + std::to_string(n);
    std::copy(text.begin(), text.end(), b + 10);
  }
  writeFile(path, file);
}

// Block numbers above 32767 in the primary index are read as the engine
// writes them, by the check and by the engine: a table of more blocks than
// that checks sound, and opening it reads its index, not every block.
TEST(Check, ATableOfMoreThan32767BlocksIsReadThroughItsIndex) {
  TempDir tmp;
  constexpr uint32_t kBlocks = 33'000;
  ASSERT_NO_FATAL_FAILURE(writeOneRecordPerBlock(tmp.file("big.DB"), kBlocks));
  {
    // A post makes the engine write the index, whole, from the chain.
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    auto t = (*dir)->openTable("big");
    ASSERT_TRUE(t.ok()) << t.status().toString();
    ASSERT_TRUE((*t)->findKey({Value::integer(kBlocks)}).ok());
    ASSERT_TRUE((*t)->edit().ok());
    ASSERT_TRUE((*t)->set("Text", Value::text("the last row")).ok());
    ASSERT_TRUE((*t)->post().ok());
  }
  ASSERT_TRUE(fs::exists(tmp.file("big.PX")));

  auto report = checkTable(tmp.file("big.DB"), Env::unsynced());
  ASSERT_TRUE(report.ok()) << report.status().toString();
  EXPECT_TRUE(report->ok()) << report->faults.size() << " faults, the first: " << report->faults.front();

  ReadCountingEnv counting(Env::unsynced());
  auto dir = Directory::open(tmp.path(), &counting);
  ASSERT_TRUE(dir.ok());
  auto t = (*dir)->openTable("big", Directory::Access::kReadOnly);
  ASSERT_TRUE(t.ok()) << t.status().toString();
  EXPECT_LT(counting.reads("big.DB"), 100) << "the index was not used: every block of the chain was read";
  for (uint32_t key : {1u, 32'767u, 32'768u, 32'999u, kBlocks}) {
    ASSERT_TRUE((*t)->findKey({Value::integer(key)}).ok()) << key;
    auto text = (*t)->get("Text");
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text->asText(), key == kBlocks ? "the last row" : "row " + std::to_string(key));
  }
}

// A cell that no reader can decode is a fault that names the table, the
// record and the field: a BCD digit above 9 (a real table and a damaged copy
// of one of the engine's), a graphic field whose stored picture lost its
// prefix. Readers refuse the same cells.
TEST(Check, ACellNoReaderCanDecodeIsAFaultNamingIt) {
  TempDir tmp;
  fs::copy_file(std::string(TALLIMOOR_SAMPLES) + "/paradoxdriver/fields/bcd.db", tmp.file("bcd.db"));
  auto sample = checkTable(tmp.file("bcd.db"), Env::unsynced());
  ASSERT_TRUE(sample.ok());
  EXPECT_TRUE(mentions(*sample, {"bcd.db", "record 1", "\"C\""})) << allFaults(*sample);

  {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE((*dir)->createTable("stock", {{"Code", FieldType::kAlpha, 5},
                                               {"Amount", FieldType::kBcd, 2},
                                               {"Photo", FieldType::kGraphic, 0}},
                                    1)
                    .ok());
    auto t = (*dir)->openTable("stock");
    ASSERT_TRUE(t.ok());
    for (const char* code : {"A", "B"}) {
      ASSERT_TRUE((*t)->append().ok());
      ASSERT_TRUE((*t)->set("Code", Value::text(code)).ok());
      ASSERT_TRUE((*t)->set("Amount", Value::decimal("12.50")).ok());
      ASSERT_TRUE((*t)->set("Photo", Value::bytes(std::string(300, code[0]))).ok());
      ASSERT_TRUE((*t)->post().ok());
    }
  }
  auto sound = checkTable(tmp.file("stock.DB"), Env::unsynced());
  ASSERT_TRUE(sound.ok());
  ASSERT_TRUE(sound->ok()) << allFaults(*sound);

  // Record 2's last BCD digit becomes 11; record 1's picture loses its prefix.
  std::string db = readFile(tmp.file("stock.DB"));
  const size_t headerSize = detail::getU16(db.data() + detail::off::kHeaderSize);
  const size_t recordSize = detail::getU16(db.data() + detail::off::kRecordSize);
  db[headerSize + 6 + recordSize + 5 + 16] = static_cast<char>((db[headerSize + 6 + recordSize + 5 + 16] & 0xF0) | 0x0B);
  writeFile(tmp.file("stock.DB"), db);
  std::string mb = readFile(tmp.file("stock.MB"));
  const size_t picture = mb.find(std::string("\x01\x00\x00\x01\x2C\x01\x00\x00", 8) + std::string(300, 'A'));
  ASSERT_NE(picture, std::string::npos);
  mb[picture] = 0x07;
  writeFile(tmp.file("stock.MB"), mb);

  auto damaged = checkTable(tmp.file("stock.DB"), Env::unsynced());
  ASSERT_TRUE(damaged.ok());
  EXPECT_TRUE(mentions(*damaged, {"stock.DB", "record 2", "\"Amount\""})) << allFaults(*damaged);
  EXPECT_TRUE(mentions(*damaged, {"stock.DB", "record 1", "\"Photo\""})) << allFaults(*damaged);
  EXPECT_EQ(damaged->faults.size(), 2u) << allFaults(*damaged);

  auto dir = Directory::open(tmp.path(), Env::unsynced());
  ASSERT_TRUE(dir.ok());
  auto t = (*dir)->openTable("stock", Directory::Access::kReadOnly);
  ASSERT_TRUE(t.ok());
  ASSERT_TRUE((*t)->first().ok());
  EXPECT_FALSE((*t)->get("Photo").ok());
  EXPECT_TRUE((*t)->get("Amount").ok());
  ASSERT_TRUE((*t)->next().ok());
  EXPECT_FALSE((*t)->get("Amount").ok());
  EXPECT_TRUE((*t)->get("Photo").ok());
}

// A header whose geometry does not add up is refused by every reader, as
// the check finds it at fault: a header size off by 255 bytes (which read as
// one row of blank fields), a record count the blocks do not hold.
TEST(Check, AHeaderThatDoesNotAddUpIsRefusedByReadersAndTheCheck) {
  TempDir tmp;
  {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE((*dir)->createTable("apps", {{"Name", FieldType::kAlpha, 30}, {"Path", FieldType::kAlpha, 60}}, 1).ok());
    auto t = (*dir)->openTable("apps");
    ASSERT_TRUE(t.ok());
    for (const char* name : {"calc", "notes", "paint"}) {
      ASSERT_TRUE((*t)->append().ok());
      ASSERT_TRUE((*t)->set("Name", Value::text(name)).ok());
      ASSERT_TRUE((*t)->post().ok());
    }
  }
  const std::string sound = readFile(tmp.file("apps.DB"));
  struct Damage {
    const char* what;
    size_t offset;
    char byte;
  };
  for (const Damage& d : {Damage{"header size changed by one byte", detail::off::kHeaderSize, '\xFF'},
                          Damage{"one record more in the header than in the blocks", detail::off::kNumRecords, '\x04'}}) {
    SCOPED_TRACE(d.what);
    std::string damaged = sound;
    damaged[d.offset] = d.byte;
    writeFile(tmp.file("apps.DB"), damaged);

    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    auto t = (*dir)->openTable("apps", Directory::Access::kReadOnly);
    if (t.ok()) {
      auto count = (*t)->recordCount();
      ADD_FAILURE() << "opened, with " << (count.ok() ? *count : -1) << " records";
    }
    auto report = checkTable(tmp.file("apps.DB"), Env::unsynced());
    EXPECT_TRUE(!report.ok() || !report->ok());
  }
}

}  // namespace
}  // namespace pdx
