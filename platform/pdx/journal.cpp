#include "journal.h"
#include "file_names.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "ascii.h"
#include "format.h"
#include "pdx/echo.h"

namespace pdx::detail {
namespace {

constexpr char kMagic[8] = {'T', 'M', 'J', 'R', 'N', 'L', '0', '2'};
constexpr char kEndMagic[8] = {'T', 'M', 'J', 'E', 'N', 'D', '0', '2'};
constexpr char kMagicV1[8] = {'T', 'M', 'J', 'R', 'N', 'L', '0', '1'};
constexpr char kEndMagicV1[8] = {'T', 'M', 'J', 'E', 'N', 'D', '0', '1'};
constexpr size_t kHeaderSize = 24;
constexpr size_t kTrailerSize = 16;
constexpr int kLockWaitMs = 10'000;
// Byte offsets of the journal slots in the directory's lock file.
constexpr uint64_t kDirSlotBase = uint64_t{1} << 20;
const char* const kDirLockName = "tallimoor-journal.lock";
const char* const kPrefix = "tallimoor-";
const char* const kSuffix = ".journal";

uint64_t fnv(std::string_view s, uint64_t h = 1469598103934665603ull) {
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

// The checksum of the second layout: eight bytes at a time, each step mixing
// the word in by a multiplication and a rotation, so that a changed, moved or
// missing byte changes the result. It guards against torn and stale data,
// not against tampering.
uint64_t checksum(std::string_view s) {
  constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  uint64_t h = 0x243F6A8885A308D3ull ^ (s.size() * kMul);
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, s.data() + i, s.size() - i);
  h = (h ^ tail) * kMul;
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ull;
  return h ^ (h >> 32);
}

namespace {


struct Parsed {
  struct FileEntry {
    std::string name;
    uint64_t size;
    uint64_t sizeAfter;
  };
  struct Range {
    uint32_t file;
    uint64_t offset;
    std::string bytes;
    uint64_t checksumAfter;
  };
  bool knowsAfter = false;  // the second layout: sizes and checksums after the commit
  std::vector<FileEntry> files;
  std::vector<Range> ranges;
};

// Reads a journal; nullopt when it is not live or not complete (J4). A whole
// journal that names anything but a table file of its folder was not written
// by the engine: it is refused, and nothing of it is written anywhere.
Result<std::optional<Parsed>> parse(const std::string& j, const std::string& path) {
  if (j.size() < kHeaderSize + kTrailerSize) return std::optional<Parsed>();
  const bool v2 = std::memcmp(j.data(), kMagic, 8) == 0;
  if (!v2 && std::memcmp(j.data(), kMagicV1, 8) != 0) return std::optional<Parsed>();
  const uint64_t length = getU64(j.data() + 8);
  if (length < kHeaderSize + kTrailerSize || length > j.size()) return std::optional<Parsed>();
  const char* end = j.data() + length;
  if (std::memcmp(end - 8, v2 ? kEndMagic : kEndMagicV1, 8) != 0) return std::optional<Parsed>();
  const std::string_view body(j.data(), length - kTrailerSize);
  if (getU64(end - 16) != (v2 ? checksum(body) : fnv(body))) return std::optional<Parsed>();
  Parsed out;
  out.knowsAfter = v2;
  const uint32_t files = getU32(j.data() + 16), ranges = getU32(j.data() + 20);
  const char* p = j.data() + kHeaderSize;
  const char* limit = end - kTrailerSize;
  const size_t fileTail = v2 ? 16 : 8, rangeHead = v2 ? 24 : 16;
  for (uint32_t i = 0; i < files; ++i) {
    if (limit - p < 2) return std::optional<Parsed>();
    const uint16_t n = getU16(p);
    p += 2;
    if (static_cast<size_t>(limit - p) < n + fileTail) return std::optional<Parsed>();
    std::string name(p, n);
    p += n;
    if (!isTableFileName(name))
      return Status(code::kFileCorrupt, "the journal " + echo(path, kEchoLineCharacters) + " names the file " +
                                            quote(name) + ", which is not a table of its folder: it is refused");
    out.files.push_back({std::move(name), getU64(p), v2 ? getU64(p + 8) : 0});
    p += fileTail;
  }
  for (uint32_t i = 0; i < ranges; ++i) {
    if (static_cast<size_t>(limit - p) < rangeHead) return std::optional<Parsed>();
    const uint32_t file = getU32(p);
    const uint64_t offset = getU64(p + 4);
    const uint32_t n = getU32(p + 12);
    const uint64_t after = v2 ? getU64(p + 16) : 0;
    p += rangeHead;
    if (file >= out.files.size() || static_cast<uint64_t>(limit - p) < n) return std::optional<Parsed>();
    out.ranges.push_back({file, offset, std::string(p, n), after});
    p += n;
  }
  return std::optional<Parsed>(std::move(out));
}

// The bytes of [offset, offset + length) that lie below `size`.
uint64_t clippedLength(uint64_t offset, uint64_t length, uint64_t size) {
  return offset >= size ? 0 : std::min(length, size - offset);
}

// True when the files already hold what the journal's commit made of them
// (J5): every file of its size after the commit, every saved range with its
// bytes after the commit.
Result<bool> commitReachedFiles(Env* env, const std::string& dir, const Parsed& parsed) {
  if (!parsed.knowsAfter) return false;
  std::vector<std::unique_ptr<File>> files;
  for (const auto& f : parsed.files) {
    const std::string path = dir + "/" + f.name;
    if (!env->exists(path)) return false;
    PDX_ASSIGN_OR_RETURN(auto file, env->open(path, Env::OpenMode::kRead));
    PDX_ASSIGN_OR_RETURN(uint64_t size, file->size());
    if (size != f.sizeAfter) return false;
    files.push_back(std::move(file));
  }
  std::string bytes;
  for (const auto& r : parsed.ranges) {
    const uint64_t n = clippedLength(r.offset, r.bytes.size(), parsed.files[r.file].sizeAfter);
    bytes.resize(static_cast<size_t>(n));
    PDX_ASSIGN_OR_RETURN(size_t got, files[r.file]->read(r.offset, bytes.size(), bytes.data()));
    if (got != n || checksum(bytes) != r.checksumAfter) return false;
  }
  return true;
}

// Holds the table locks of the tables a journal names while it is undone.
class TableLocks {
 public:
  TableLocks(Env* env, std::string dir) : env_(env), dir_(std::move(dir)) {}
  ~TableLocks() {
    for (auto& [stem, lock] : locks_) {
      // Every view is rebuilt and, when the files are whole again, unmarked.
      if (lock->load().ok() && lock->store(0, lock->word(0) + 1).ok() && restored_) (void)lock->store(1, 0);
      lock->unlock(1, 1);
    }
  }
  void restored() { restored_ = true; }
  Status take(const std::string& fileName) {
    const std::string stem = toLowerAscii(stemOf(fileName));
    if (locks_.count(stem)) return {};
    PDX_ASSIGN_OR_RETURN(std::string path, findCompanion(env_, dir_ + "/" + fileName, "tlk"));
    if (path.empty()) path = dir_ + "/" + stemOf(fileName) + ".tlk";
    PDX_ASSIGN_OR_RETURN(auto lock, env_->openLock(path));
    PDX_RETURN_IF_ERROR(lock->lock(1, 1, LockMode::kExclusive, kLockWaitMs));
    locks_.emplace(stem, std::move(lock));
    return {};
  }

 private:
  Env* env_;
  std::string dir_;
  std::map<std::string, std::unique_ptr<LockFile>> locks_;
  bool restored_ = false;
};

Status clearJournal(File& file) {
  PDX_RETURN_IF_ERROR(file.write(0, std::string(8, '\0')));
  return file.sync();
}

// Puts the saved bytes back and cuts every file back to its size (J3).
Status restore(Env* env, const std::string& dir, const Parsed& parsed) {
  std::vector<std::unique_ptr<File>> targets;
  for (const auto& f : parsed.files) {
    const std::string path = dir + "/" + f.name;
    auto t = env->open(path, env->exists(path) ? Env::OpenMode::kReadWrite : Env::OpenMode::kCreate);
    if (!t.ok()) return t.status();
    targets.push_back(std::move(t).value());
  }
  for (const auto& r : parsed.ranges) PDX_RETURN_IF_ERROR(targets[r.file]->write(r.offset, r.bytes));
  for (size_t i = 0; i < targets.size(); ++i) {
    PDX_RETURN_IF_ERROR(targets[i]->truncate(parsed.files[i].size));
    PDX_RETURN_IF_ERROR(targets[i]->sync());
  }
  return {};
}

}  // namespace

namespace {
bool isJournalName(const std::string& name) {
  return name.size() > std::strlen(kPrefix) + std::strlen(kSuffix) && name.rfind(kPrefix, 0) == 0 &&
         endsWithIgnoreCase(name, kSuffix);
}
}  // namespace

bool isJournalFileName(const std::string& name) { return name == kDirLockName || isJournalName(name); }

namespace {

Result<std::string> readWhole(File& file, const std::string& path) {
  PDX_ASSIGN_OR_RETURN(uint64_t size, file.size());
  if (size > (uint64_t{1} << 34)) return Status(code::kFileCorrupt, "journal " + path + " is implausibly large");
  std::string bytes(static_cast<size_t>(size), '\0');
  PDX_ASSIGN_OR_RETURN(size_t got, file.read(0, bytes.size(), bytes.data()));
  bytes.resize(got);
  return bytes;
}
}  // namespace

Result<int> recoverDirectory(Env* env, const std::string& dir) {
  PDX_ASSIGN_OR_RETURN(auto names, env->list(dir));
  int recovered = 0;
  std::unique_ptr<LockFile> dirLock;
  for (const auto& name : names) {
    if (!isJournalName(name)) continue;
    const std::string hex = name.substr(std::strlen(kPrefix), name.size() - std::strlen(kPrefix) - std::strlen(kSuffix));
    char* endp = nullptr;
    const unsigned long long slot = std::strtoull(hex.c_str(), &endp, 16);
    if (hex.empty() || *endp != '\0' || slot >= (uint64_t{1} << 31)) continue;
    if (!dirLock) {
      PDX_ASSIGN_OR_RETURN(dirLock, env->openLock(dir + "/" + kDirLockName));
    }
    // Holding the slot proves the owner dead, and keeps a second recoverer out.
    if (!dirLock->lock(kDirSlotBase + slot, 1, LockMode::kExclusive, 0).ok()) continue;
    struct Release {
      LockFile* l;
      uint64_t at;
      ~Release() { l->unlock(at, 1); }
    } release{dirLock.get(), kDirSlotBase + slot};

    const std::string path = dir + "/" + name;
    auto file = env->open(path, Env::OpenMode::kReadWrite);
    if (!file.ok()) continue;  // removed meanwhile
    PDX_ASSIGN_OR_RETURN(std::string bytes, readWhole(**file, path));
    PDX_ASSIGN_OR_RETURN(std::optional<Parsed> parsed, parse(bytes, path));
    if (parsed) {
      TableLocks locks(env, dir);
      for (const auto& f : parsed->files) PDX_RETURN_IF_ERROR(locks.take(f.name));
      PDX_ASSIGN_OR_RETURN(bool reached, commitReachedFiles(env, dir, *parsed));
      if (reached) {
        // J5: the commit is whole in the files, which must stay so on the
        // disk before the journal stops saying how to undo it.
        for (const auto& f : parsed->files) {
          PDX_ASSIGN_OR_RETURN(auto target, env->open(dir + "/" + f.name, Env::OpenMode::kReadWrite));
          PDX_RETURN_IF_ERROR(target->sync());
        }
      } else {
        PDX_RETURN_IF_ERROR(restore(env, dir, *parsed));
        ++recovered;
      }
      PDX_RETURN_IF_ERROR(clearJournal(**file));  // J3
      locks.restored();
    } else if (!(*file)->sync().ok()) {
      continue;  // not live, but maybe not so on the disk: kept rather than removed
    }
    file->reset();
    (void)env->remove(path);
  }
  return recovered;
}

}  // namespace pdx::detail
