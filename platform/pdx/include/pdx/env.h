// The engine's only door to the operating system.
//
// Every file access and every lock of the engine goes through an Env, so that
// tests can put a fault-injecting or crash-simulating layer underneath. The
// POSIX implementation is Env::standard(); it is safe to use from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"

namespace pdx {

// What tells one state of a file on disk from another: the file itself
// (device and inode: a name replaced by a new file gets another inode, and
// the system does not give the inode of a file to another while a handle on
// it is open) and its size and times of last change (a write changes them).
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;  // contents last written
  int64_t changedNs = 0;   // contents or attributes last changed
  bool operator==(const FileStamp&) const = default;
  bool sameFile(const FileStamp& o) const { return device == o.device && inode == o.inode; }
};

// A file opened for positioned reads and writes.
class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at offset into buf. Fewer bytes only at end of file.
  virtual Result<size_t> read(uint64_t offset, size_t n, char* buf) = 0;
  // Reads the bytes at offset into each buffer in turn, as read() would into
  // one buffer as large as all of them: fewer bytes only at end of file.
  virtual Result<size_t> readScattered(uint64_t offset, std::span<const std::span<char>> buffers) {
    size_t done = 0;
    for (std::span<char> b : buffers) {
      PDX_ASSIGN_OR_RETURN(size_t got, read(offset + done, b.size(), b.data()));
      done += got;
      if (got < b.size()) break;
    }
    return done;
  }
  virtual Status write(uint64_t offset, std::string_view data) = 0;
  virtual Result<uint64_t> size() = 0;
  virtual Status truncate(uint64_t size) = 0;
  // Makes written data durable (fsync).
  virtual Status sync() = 0;
  // Writes and makes durable what it wrote, as write() then sync() do (what
  // else was written but not synced may stay so). Where the Env can, one
  // write that goes straight to the disk; it is quickest when offset and
  // length are multiples of kDurableAlignment.
  static constexpr size_t kDurableAlignment = 4096;
  virtual Status writeDurably(uint64_t offset, std::string_view data) {
    PDX_RETURN_IF_ERROR(write(offset, data));
    return sync();
  }
  // Forgets whatever this machine keeps of the file's contents, so that the
  // next reads come from the file system: on a network share another machine
  // may have written it since. Nothing to do on a local disk.
  virtual void dropCache() {}
  // The stamp of the file this handle is open on. code::kNotSupported where
  // the Env cannot tell (callers then assume nothing about the file).
  virtual Result<FileStamp> stamp() { return Status(code::kNotSupported, "no stamp for " + path_); }
  const std::string& path() const { return path_; }

 protected:
  explicit File(std::string path) : path_(std::move(path)) {}

 private:
  std::string path_;
};

enum class LockMode { kShared, kExclusive };

// A lock file: byte-range locks that conflict between every LockFile object,
// in this process, another process or on another machine sharing the folder,
// and that the operating system (or the file server) drops when the holder
// dies; and a few 64-bit words at the start of the file through which the
// processes tell each other what they did.
//
// The words. Word i lies at offset 8 * i of the file, little-endian, on every
// machine. On a local disk the file's first page is mapped into every process
// that uses it: a word is memory, always current (live() gives it). On a
// network share nothing is shared between machines but the files' contents
// and the locks (memory maps and caches are each machine's own): a word is
// what the last load() read from the file, and store() writes it through.
// Whoever decides something from a word loads the words after taking the
// lock that guards it. Both kinds work on one folder at once: the server's
// own processes map the very pages that the file server reads and writes.
class LockFile {
 public:
  virtual ~LockFile() = default;
  // Takes a lock on [offset, offset + length). Waits at most timeoutMs
  // (0 = try once). Fails with code::kRecordLocked when the range stays held.
  virtual Status lock(uint64_t offset, uint64_t length, LockMode mode, int timeoutMs) = 0;
  virtual void unlock(uint64_t offset, uint64_t length) = 0;
  // True when some other holder has a conflicting lock on the range right now.
  virtual bool isLockedByOther(uint64_t offset, uint64_t length, LockMode mode) = 0;

  static constexpr int kWords = 8;
  // Word `slot` (0..kWords-1) as memory every process of the folder sees
  // change, or nullptr when the folder is a network share.
  virtual std::atomic<uint64_t>* live(int slot) = 0;
  bool isLive() { return live(0) != nullptr; }
  // Reads the words afresh from the file (a network share); nothing to do
  // where they are live.
  virtual Status load() = 0;
  // Word `slot` as last loaded (as it is now, where live).
  virtual uint64_t word(int slot) = 0;
  // Sets word `slot`, writing it through to the file on a network share.
  virtual Status store(int slot, uint64_t value) = 0;
  // Makes the stored words durable before what is written to other files
  // next (a network share: on the server's disk, so that no machine that
  // dies later can leave those files changed and the words not). Nothing to
  // do where they are live: they belong to this machine's memory.
  virtual Status syncWords() = 0;
  // The stamp of the lock file this object has open (kNotSupported as File).
  virtual Result<FileStamp> stamp() { return Status(code::kNotSupported, "no stamp for a lock file"); }
};

// How the engine coordinates the processes that share a folder. kDetect
// (the default) takes the network share's way for folders on a network file
// system (NFS, SMB/CIFS, FUSE and the like, as the operating system reports
// the folder's file system) and the local disk's otherwise. The environment
// variable TALLIMOOR_NETWORK_SHARE ("Y" or "N") forces one or the other and
// wins over this setting; the desktop program sets it from the machine's
// settings. Every process of one machine must choose alike for a folder.
enum class ShareProtocol { kDetect, kLocal, kNetwork };
void setShareProtocol(ShareProtocol protocol);
// The choice in force: the environment variable's, else the setting's.
ShareProtocol shareProtocol();

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
  // Neither open() nor openLock() follows a symbolic link that the last part
  // of the path names (code::kOsError): a folder of tables is writable by
  // every user, and a link there must not take a write outside it.
  virtual Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) = 0;
  // Opens (creating when missing) a lock file. Its words are live unless
  // its folder is coordinated the network share's way (see ShareProtocol);
  // then a commit also makes its files durable before it lets other machines
  // read them.
  virtual Result<std::unique_ptr<LockFile>> openLock(const std::string& path) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool isDirectory(const std::string& path) = 0;
  // The stamp of the file a path names now: code::kTableNotFound when there
  // is none, code::kNotSupported where the Env cannot tell.
  virtual Result<FileStamp> stamp(const std::string& path) {
    return Status(code::kNotSupported, "no stamp for " + path);
  }
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
