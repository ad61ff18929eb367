// The engine's only door to the operating system.
//
// Every file access and every lock of the engine goes through an Env, so that
// tests can put a fault-injecting or crash-simulating layer underneath. The
// POSIX implementation is Env::standard(); it is safe to use from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"

namespace pdx {

// A file opened for positioned reads and writes.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at offset into buf. Fewer bytes only at end of file.
  virtual Result<size_t> read(uint64_t offset, size_t n, char* buf) = 0;
  virtual Status write(uint64_t offset, std::string_view data) = 0;
  virtual Result<uint64_t> size() = 0;
  virtual Status truncate(uint64_t size) = 0;
  // Makes written data durable (fsync).
  virtual Status sync() = 0;
  const std::string& path() const { return path_; }

 protected:
  explicit File(std::string path) : path_(std::move(path)) {}

 private:
  std::string path_;
};

enum class LockMode { kShared, kExclusive };

// A lock file: byte-range locks that conflict between every LockFile object,
// in this process or another, and that the operating system drops when the
// holder dies; plus a few 64-bit words of memory shared by every process that
// has the same file open.
class LockFile {
 public:
  virtual ~LockFile() = default;
  // Takes a lock on [offset, offset + length). Waits at most timeoutMs
  // (0 = try once). Fails with code::kRecordLocked when the range stays held.
  virtual Status lock(uint64_t offset, uint64_t length, LockMode mode, int timeoutMs) = 0;
  virtual void unlock(uint64_t offset, uint64_t length) = 0;
  // True when some other holder has a conflicting lock on the range right now.
  virtual bool isLockedByOther(uint64_t offset, uint64_t length, LockMode mode) = 0;
  // Word `slot` (0..kSharedWords-1) of the shared area.
  virtual std::atomic<uint64_t>& sharedWord(int slot) = 0;
  static constexpr int kSharedWords = 8;
};

class Env {
 public:
  virtual ~Env() = default;
  // The operating system's files, with sync() forcing data to stable storage.
  static Env* standard();
  // The same, with sync() and syncDirectory() doing nothing: a crash of the
  // program loses nothing, a power cut may lose the last commits. For tests
  // and for scratch data that can be rebuilt.
  static Env* unsynced();

  enum class OpenMode { kRead, kReadWrite, kCreate /* read-write, created or truncated */ };
  virtual Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) = 0;
  // Opens (creating when missing) a lock file.
  virtual Result<std::unique_ptr<LockFile>> openLock(const std::string& path) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool isDirectory(const std::string& path) = 0;
  // Names (not paths) of the entries of a directory.
  virtual Result<std::vector<std::string>> list(const std::string& dir) = 0;
  virtual Status remove(const std::string& path) = 0;
  virtual Status rename(const std::string& from, const std::string& to) = 0;
  // Makes a directory's entries (new, renamed, removed files) durable.
  virtual Status syncDirectory(const std::string& dir) = 0;
  // True when File::sync() may run on several files at once from several
  // threads (commits then sync their files together).
  virtual bool concurrentSyncs() const { return false; }
  virtual void sleepMs(int ms) = 0;
};

}  // namespace pdx
