#include "journal.h"
#include "file_names.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "ascii.h"
#include "format.h"
#include "sync_together.h"

namespace pdx::detail {
namespace {

constexpr char kMagic[8] = {'T', 'M', 'J', 'R', 'N', 'L', '0', '2'};
constexpr char kEndMagic[8] = {'T', 'M', 'J', 'E', 'N', 'D', '0', '2'};
constexpr char kMagicV1[8] = {'T', 'M', 'J', 'R', 'N', 'L', '0', '1'};
constexpr char kEndMagicV1[8] = {'T', 'M', 'J', 'E', 'N', 'D', '0', '1'};
constexpr size_t kHeaderSize = 24;
constexpr size_t kTrailerSize = 16;
constexpr int kLockWaitMs = 10'000;
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

void put64(std::string& out, uint64_t v) {
  char b[8];
  putU32(b, static_cast<uint32_t>(v));
  putU32(b + 4, static_cast<uint32_t>(v >> 32));
  out.append(b, 8);
}
void put32(std::string& out, uint32_t v) {
  char b[4];
  putU32(b, v);
  out.append(b, 4);
}
uint64_t get64(const char* p) { return getU32(p) | (uint64_t{getU32(p + 4)} << 32); }

std::string slotName(uint64_t slot) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08llx", static_cast<unsigned long long>(slot));
  return std::string(kPrefix) + buf + kSuffix;
}

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

// Reads a journal; nullopt when it is not live or not complete (J4).
std::optional<Parsed> parse(const std::string& j) {
  if (j.size() < kHeaderSize + kTrailerSize) return std::nullopt;
  const bool v2 = std::memcmp(j.data(), kMagic, 8) == 0;
  if (!v2 && std::memcmp(j.data(), kMagicV1, 8) != 0) return std::nullopt;
  const uint64_t length = get64(j.data() + 8);
  if (length < kHeaderSize + kTrailerSize || length > j.size()) return std::nullopt;
  const char* end = j.data() + length;
  if (std::memcmp(end - 8, v2 ? kEndMagic : kEndMagicV1, 8) != 0) return std::nullopt;
  const std::string_view body(j.data(), length - kTrailerSize);
  if (get64(end - 16) != (v2 ? checksum(body) : fnv(body))) return std::nullopt;
  Parsed out;
  out.knowsAfter = v2;
  const uint32_t files = getU32(j.data() + 16), ranges = getU32(j.data() + 20);
  const char* p = j.data() + kHeaderSize;
  const char* limit = end - kTrailerSize;
  const size_t fileTail = v2 ? 16 : 8, rangeHead = v2 ? 24 : 16;
  for (uint32_t i = 0; i < files; ++i) {
    if (limit - p < 2) return std::nullopt;
    const uint16_t n = getU16(p);
    p += 2;
    if (static_cast<size_t>(limit - p) < n + fileTail) return std::nullopt;
    std::string name(p, n);
    p += n;
    if (name.empty() || name.find('/') != std::string::npos || name == "..") return std::nullopt;
    out.files.push_back({std::move(name), get64(p), v2 ? get64(p + 8) : 0});
    p += fileTail;
  }
  for (uint32_t i = 0; i < ranges; ++i) {
    if (static_cast<size_t>(limit - p) < rangeHead) return std::nullopt;
    const uint32_t file = getU32(p);
    const uint64_t offset = get64(p + 4);
    const uint32_t n = getU32(p + 12);
    const uint64_t after = v2 ? get64(p + 16) : 0;
    p += rangeHead;
    if (file >= out.files.size() || static_cast<uint64_t>(limit - p) < n) return std::nullopt;
    out.ranges.push_back({file, offset, std::string(p, n), after});
    p += n;
  }
  return out;
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
      lock->sharedWord(0).fetch_add(1);  // every view is rebuilt...
      if (restored_) {
        lock->sharedWord(1).store(0);  // ...and, when the files are whole again, unmarked
        lock->sharedWord(kMustUndoWord).store(0);
      }
      lock->unlock(1, 1);
    }
  }
  void restored() { restored_ = true; }
  // True when the committer of the journal in `slot` reported its commit
  // failed to this process's machine.
  bool mustUndo(uint64_t slot) const {
    for (const auto& [stem, lock] : locks_)
      if (lock->sharedWord(kMustUndoWord).load() == slot + 1) return true;
    return false;
  }
  Status take(const std::string& fileName) {
    const std::string stem = toLowerAscii(stemOf(fileName));
    if (locks_.count(stem)) return {};
    std::string path = findCompanion(env_, dir_, stemOf(fileName), "tlk");
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

Result<std::unique_ptr<Journal>> Journal::acquire(Env* env, const std::string& dir) {
  std::unique_ptr<Journal> j(new Journal());
  j->env_ = env;
  j->dir_ = dir;
  PDX_ASSIGN_OR_RETURN(j->dirLock_, env->openLock(dir + "/" + kDirLockName));
  std::random_device rd;
  std::mt19937_64 rng((uint64_t{rd()} << 32) ^ rd());
  for (int attempt = 0; attempt < 64; ++attempt) {
    const uint64_t slot = rng() % (uint64_t{1} << 31);
    if (!j->dirLock_->lock(kDirSlotBase + slot, 1, LockMode::kExclusive, 0).ok()) continue;
    j->slot_ = slot;
    j->path_ = dir + "/" + slotName(slot);
    auto file = env->open(j->path_, Env::OpenMode::kCreate);
    if (!file.ok()) {
      j->dirLock_->unlock(kDirSlotBase + slot, 1);
      return file.status();
    }
    j->file_ = std::move(file).value();
    // The journal's name must survive a power cut before it is relied on.
    PDX_RETURN_IF_ERROR(env->syncDirectory(dir));
    return j;
  }
  return Status(code::kTableBusy, "no free journal slot in " + dir);
}

Journal::~Journal() {
  if (abandoned_) return;
  if (file_) {
    // Removing the file need not reach the disk; its clearing must (J6).
    if (clearUnsynced_) (void)file_->sync();
    file_.reset();
    (void)env_->remove(path_);  // an empty, cleared journal: nothing depends on it
  }
  if (dirLock_) dirLock_->unlock(kDirSlotBase + slot_, 1);
}

Status Journal::save(const std::vector<PendingFile*>& files, const std::vector<uint64_t>& otherSlots) {
  std::string j(kHeaderSize, '\0');
  std::string ranges;
  uint32_t rangeCount = 0;
  std::string after;
  for (size_t i = 0; i < files.size(); ++i) {
    PendingFile* f = files[i];
    const std::string name = nameOf(f->path());
    PDX_ASSIGN_OR_RETURN(uint64_t size, f->baseSize());
    PDX_ASSIGN_OR_RETURN(uint64_t sizeAfter, f->finalSize());
    char n[2];
    putU16(n, static_cast<uint16_t>(name.size()));
    j.append(n, 2);
    j += name;
    put64(j, size);
    put64(j, sizeAfter);
    PDX_ASSIGN_OR_RETURN(auto touched, f->touchedRanges());
    for (const auto& [begin, end] : touched) {
      for (uint64_t at = begin; at < end;) {
        const size_t len = static_cast<size_t>(std::min<uint64_t>(end - at, 1 << 20));
        put32(ranges, static_cast<uint32_t>(i));
        put64(ranges, at);
        const size_t lengthAt = ranges.size();
        put32(ranges, 0);
        after.resize(static_cast<size_t>(clippedLength(at, len, sizeAfter)));
        PDX_ASSIGN_OR_RETURN(size_t gotAfter, f->read(at, after.size(), after.data()));
        after.resize(gotAfter);
        put64(ranges, checksum(after));
        // The bytes before the commit, read straight into the journal.
        const size_t bytesAt = ranges.size();
        ranges.resize(bytesAt + len);
        PDX_ASSIGN_OR_RETURN(size_t got, f->base().read(at, len, ranges.data() + bytesAt));
        ranges.resize(bytesAt + got);
        putU32(ranges.data() + lengthAt, static_cast<uint32_t>(got));
        ++rangeCount;
        if (got < len) break;
        at += len;
      }
    }
  }
  j += ranges;
  std::memcpy(j.data(), kMagic, 8);
  const uint64_t length = j.size() + kTrailerSize;
  std::string lengthBytes;
  put64(lengthBytes, length);
  std::memcpy(j.data() + 8, lengthBytes.data(), 8);
  putU32(j.data() + 16, static_cast<uint32_t>(files.size()));
  putU32(j.data() + 20, rangeCount);
  put64(j, checksum(j));
  j.append(kEndMagic, 8);
  PDX_RETURN_IF_ERROR(file_->write(0, j));
  PDX_ASSIGN_OR_RETURN(uint64_t size, file_->size());
  if (size > j.size()) PDX_RETURN_IF_ERROR(file_->truncate(j.size()));
  saved_ = std::move(j);
  std::vector<std::function<Status()>> syncs{[this] { return file_->sync(); }};  // J1
  for (uint64_t slot : otherSlots) syncs.emplace_back([this, slot] { return syncJournalOfSlot(env_, dir_, slot); });
  PDX_RETURN_IF_ERROR(syncTogether(env_, syncs));
  clearUnsynced_ = false;  // what is on the disk now is this journal
  return {};
}

Status Journal::clear() {
  PDX_RETURN_IF_ERROR(clearJournal(*file_));
  saved_.clear();  // only now: a failed clear still has to be undone from it
  clearUnsynced_ = false;
  return {};
}

Status Journal::clearLazily() {
  PDX_RETURN_IF_ERROR(file_->write(0, std::string(8, '\0')));
  saved_.clear();
  clearUnsynced_ = true;
  return {};
}

Status Journal::rollback() {
  if (saved_.empty()) return {};
  auto parsed = parse(saved_);
  if (!parsed) return Status(code::kFileCorrupt, "journal " + path_ + " cannot be read back");
  PDX_RETURN_IF_ERROR(restore(env_, dir_, *parsed));
  return clear();
}

void Journal::abandon() {
  abandoned_ = true;
  file_.reset();
  dirLock_.reset();  // closing the lock file releases the slot
}

namespace {
bool isJournalName(const std::string& name) {
  return name.size() > std::strlen(kPrefix) + std::strlen(kSuffix) && name.rfind(kPrefix, 0) == 0 &&
         endsWithIgnoreCase(name, kSuffix);
}

Result<std::string> readWhole(File& file, const std::string& path) {
  PDX_ASSIGN_OR_RETURN(uint64_t size, file.size());
  if (size > (uint64_t{1} << 34)) return Status(code::kFileCorrupt, "journal " + path + " is implausibly large");
  std::string bytes(static_cast<size_t>(size), '\0');
  PDX_ASSIGN_OR_RETURN(size_t got, file.read(0, bytes.size(), bytes.data()));
  bytes.resize(got);
  return bytes;
}
}  // namespace

Status syncJournalOfSlot(Env* env, const std::string& dir, uint64_t slot) {
  const std::string path = dir + "/" + slotName(slot);
  if (env->exists(path)) {
    auto file = env->open(path, Env::OpenMode::kReadWrite);
    if (file.ok()) return (*file)->sync();
  }
  // Removed: the removal must reach the disk, or the file could come back.
  return env->syncDirectory(dir);
}

Result<bool> journalNamesTable(Env* env, const std::string& dir, const std::string& stem) {
  PDX_ASSIGN_OR_RETURN(auto names, env->list(dir));
  for (const auto& name : names) {
    if (!isJournalName(name)) continue;
    auto file = env->open(dir + "/" + name, Env::OpenMode::kRead);
    if (!file.ok()) continue;  // removed meanwhile
    PDX_ASSIGN_OR_RETURN(std::string bytes, readWhole(**file, dir + "/" + name));
    if (auto parsed = parse(bytes))
      for (const auto& f : parsed->files)
        if (equalsIgnoreCase(stemOf(f.name), stem)) return true;
  }
  return false;
}

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
    if (auto parsed = parse(bytes)) {
      TableLocks locks(env, dir);
      for (const auto& f : parsed->files) PDX_RETURN_IF_ERROR(locks.take(f.name));
      bool reached = false;
      if (!locks.mustUndo(slot)) {
        PDX_ASSIGN_OR_RETURN(reached, commitReachedFiles(env, dir, *parsed));
      }
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
      continue;  // not live, but maybe not so on the disk: kept rather than removed (J6)
    }
    file->reset();
    (void)env->remove(path);
  }
  return recovered;
}

}  // namespace pdx::detail
