// libFuzzer target: reading a table made of arbitrary bytes.
//
// Input framing: the .DB image, then optionally the marker "@@PX@@" and the
// .PX image, then optionally "@@MB@@" and the .MB image (each part ends where
// the next marker begins; the first occurrence of each marker counts).
// tools/make_fuzz_corpus.sh builds seeds in this form from real tables.
//
// The files live in an in-memory Env. The walk does what an application
// reading a table does: open, every record forwards and backwards with every
// field, key searches, counts, moves by position, a range; then checkTable.
// Anything but a value or an error is a finding: a crash or sanitizer report,
// a walk that goes round in circles (abort), or a write to any file (abort).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/check.h"
#include "pdx/env.h"
#include "pdx/table.h"

namespace {

using pdx::Result;
using pdx::Status;

constexpr const char* kDir = "/fuzz";
constexpr std::string_view kPxMarker = "@@PX@@";
constexpr std::string_view kMbMarker = "@@MB@@";

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "read_fuzz: %s\n", what);
  std::abort();
}

class MemFile : public pdx::File {
 public:
  MemFile(std::string path, const std::string* data) : File(std::move(path)), data_(data) {}
  Result<size_t> read(uint64_t offset, size_t n, char* buf) override {
    if (offset >= data_->size()) return size_t{0};
    n = std::min<size_t>(n, data_->size() - static_cast<size_t>(offset));
    std::memcpy(buf, data_->data() + offset, n);
    return n;
  }
  Status write(uint64_t, std::string_view) override { finding("a read wrote to a table file"); }
  Result<uint64_t> size() override { return uint64_t{data_->size()}; }
  Status truncate(uint64_t) override { finding("a read truncated a table file"); }
  Status sync() override { return Status::Ok(); }

 private:
  const std::string* data_;
};

// A folder of three files at most, read-only, without lock files.
class MemEnv : public pdx::Env {
 public:
  std::map<std::string, std::string> files;  // name -> contents

  Result<std::unique_ptr<pdx::File>> open(const std::string& path, OpenMode mode) override {
    if (mode == OpenMode::kCreate) finding("a read created a file");
    auto it = files.find(nameOf(path));
    if (it == files.end() || path.rfind(std::string(kDir) + "/", 0) != 0)
      return Status(pdx::code::kTableNotFound, "no file " + path);
    return std::unique_ptr<pdx::File>(new MemFile(path, &it->second));
  }
  Result<std::unique_ptr<pdx::LockFile>> openLock(const std::string& path) override {
    return Status(pdx::code::kOsError, "no lock files here: " + path);
  }
  bool exists(const std::string& path) override { return path == kDir || files.count(nameOf(path)) > 0; }
  bool isDirectory(const std::string& path) override { return path == kDir; }
  Result<std::vector<std::string>> list(const std::string& dir) override {
    if (dir != kDir) return Status(pdx::code::kTableNotFound, "no folder " + dir);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) names.push_back(name);
    return names;
  }
  Status remove(const std::string&) override { finding("a read removed a file"); }
  Status rename(const std::string&, const std::string&) override { finding("a read renamed a file"); }
  Status syncDirectory(const std::string&) override { return Status::Ok(); }
  void sleepMs(int) override {}

 private:
  static std::string nameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
};

void walk(pdx::Table& t, size_t dbSize) {
  const auto& schema = t.schema();
  const int fields = static_cast<int>(schema.fields.size());
  // No sound table of dbSize bytes holds more records than this.
  const int64_t limit = 10 * static_cast<int64_t>(dbSize / static_cast<size_t>(std::max(1, schema.recordSize)) + 1) + 100;
  (void)t.recordCount();

  std::vector<std::vector<pdx::Value>> keys;
  int64_t turns = 0;
  Status st = t.first();
  while (st.ok()) {
    if (++turns > limit) finding("next() keeps finding records");
    for (int i = 0; i < fields; ++i) (void)t.get(i);
    if (schema.keyed() && keys.size() < 16 && turns % 5 == 1) {
      std::vector<pdx::Value> key;
      for (int i = 0; i < schema.keyFieldCount; ++i) {
        auto v = t.get(i);
        key.push_back(v.ok() ? *v : pdx::Value());
      }
      keys.push_back(std::move(key));
    }
    (void)t.position();
    st = t.next();
  }
  int64_t back = 0;
  st = t.last();
  while (st.ok()) {
    if (++back > limit) finding("prior() keeps finding records");
    (void)t.get(0);
    st = t.prior();
  }
  for (const auto& key : keys) {
    (void)t.findKey(key);
    (void)t.findNearest(key);
    (void)t.gotoBookmark(t.bookmark());
  }
  if (schema.keyed() && keys.size() >= 2) {
    (void)t.setRange(keys.front(), keys.back());
    (void)t.recordCount();
    st = t.first();
    for (int64_t n = 0; st.ok(); ++n) {
      if (n > limit) finding("next() in a range keeps finding records");
      st = t.next();
    }
    (void)t.cancelRange();
  }
  for (int64_t at : {int64_t{0}, turns / 2, turns + 1}) (void)t.moveTo(at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const size_t px = in.find(kPxMarker);
  const size_t mb = in.find(kMbMarker);
  const size_t dbEnd = std::min(px, mb);

  MemEnv env;
  env.files["T.DB"] = std::string(in.substr(0, dbEnd));
  if (px != std::string_view::npos) {
    const size_t from = px + kPxMarker.size();
    const size_t to = mb != std::string_view::npos && mb > px ? mb : in.size();
    env.files["T.PX"] = std::string(in.substr(from, to > from ? to - from : 0));
  }
  if (mb != std::string_view::npos) {
    const size_t from = mb + kMbMarker.size();
    const size_t to = px != std::string_view::npos && px > mb ? px : in.size();
    env.files["T.MB"] = std::string(in.substr(from, to > from ? to - from : 0));
  }
  const size_t dbSize = env.files["T.DB"].size();

  auto dir = pdx::Directory::open(kDir, &env);
  if (!dir.ok()) finding("the in-memory folder does not open");
  auto table = (*dir)->openTable("T", pdx::Directory::Access::kReadOnly);
  if (table.ok()) walk(**table, dbSize);
  (void)pdx::checkTable(std::string(kDir) + "/T.DB", &env);
  return 0;
}
