// POSIX implementation of Env.
//
// Locks are open-file-description locks (F_OFD_SETLK): unlike classic fcntl
// locks they conflict between two descriptors of the same process, so two
// cursors of one program exclude each other just as two programs do, and the
// kernel drops them when the descriptor is closed or the process dies.
//
// The words of a lock file on a local disk are its first page mapped
// MAP_SHARED: every process that maps the file sees the same memory. On a
// network share each machine has its own page cache, so the words are read
// from the file (its cached pages dropped first) and written through to it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "format.h"
#include "pdx/env.h"

namespace pdx {
namespace {

Status osError(uint16_t code, const std::string& what, const std::string& path, int err) {
  // Opened with O_NOFOLLOW, a symbolic link gives ELOOP.
  if (err == ELOOP) return Status(code, what + " " + path + ": it is a symbolic link, which the engine never follows");
  return Status(code, what + " " + path + ": " + std::strerror(err));
}

FileStamp stampOf(const struct stat& st) {
  FileStamp s;
  s.device = static_cast<uint64_t>(st.st_dev);
  s.inode = static_cast<uint64_t>(st.st_ino);
  s.size = static_cast<uint64_t>(st.st_size);
  s.modifiedNs = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
  s.changedNs = int64_t{st.st_ctim.tv_sec} * 1'000'000'000 + st.st_ctim.tv_nsec;
  return s;
}

Result<FileStamp> stampOfHandle(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return osError(code::kReadError, "cannot examine", path, errno);
  return stampOf(st);
}

class PosixFile final : public File {
 public:
  PosixFile(std::string path, int fd, bool syncs) : File(std::move(path)), fd_(fd), syncs_(syncs) {}
  ~PosixFile() override {
    ::close(fd_);
    if (direct_ >= 0) ::close(direct_);
  }

  Result<size_t> read(uint64_t offset, size_t n, char* buf) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, buf + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return osError(code::kReadError, "cannot read", path(), errno);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  // One system call for all the buffers (a read ahead of several blocks).
  Result<size_t> readScattered(uint64_t offset, std::span<const std::span<char>> buffers) override {
    constexpr size_t kMaxBuffers = 64;
    if (buffers.size() > kMaxBuffers) return File::readScattered(offset, buffers);
    struct iovec iov[kMaxBuffers];
    size_t total = 0;
    for (size_t i = 0; i < buffers.size(); ++i) {
      iov[i].iov_base = buffers[i].data();
      iov[i].iov_len = buffers[i].size();
      total += buffers[i].size();
    }
    size_t done = 0, first = 0;
    while (done < total) {
      const ssize_t r = ::preadv(fd_, iov + first, static_cast<int>(buffers.size() - first), static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return osError(code::kReadError, "cannot read", path(), errno);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
      // Past the buffers filled, into the one filled in part.
      size_t left = static_cast<size_t>(r);
      while (first < buffers.size() && left >= iov[first].iov_len) left -= iov[first++].iov_len;
      if (left > 0) {
        iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
        iov[first].iov_len -= left;
      }
    }
    return done;
  }

  Status write(uint64_t offset, std::string_view data) override {
    size_t done = 0;
    while (done < data.size()) {
      ssize_t r = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return osError(code::kWriteError, "cannot write", path(), errno);
      }
      done += static_cast<size_t>(r);
    }
    return {};
  }

  // The end of the file rather than fstat: asking for a file's times makes its
  // next write take a finer time (see TableFile's stamps), and every read and
  // write here is positioned, so the handle's offset serves nothing else.
  Result<uint64_t> size() override {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) return osError(code::kReadError, "cannot examine", path(), errno);
    return static_cast<uint64_t>(end);
  }

  Status truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
      return osError(code::kWriteError, "cannot resize", path(), errno);
    return {};
  }

  Status sync() override {
    if (syncs_ && ::fdatasync(fd_) != 0) return osError(code::kWriteError, "cannot flush", path(), errno);
    return {};
  }

  // Clean cached pages go; a file system that keeps nothing of its own, or
  // refuses, costs nothing but the call.
  void dropCache() override { (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED); }

  // Aligned writes go through a second handle opened for direct, synchronous
  // writes: one trip to the disk instead of a write and a flush. A file
  // system that refuses them gets the write and the flush.
  Status writeDurably(uint64_t offset, std::string_view data) override {
    if (!syncs_) return write(offset, data);
    const bool aligned = offset % kDurableAlignment == 0 && data.size() % kDurableAlignment == 0;
    if (aligned && direct_ == kUntried) {
      direct_ = ::open(path().c_str(), O_WRONLY | O_CLOEXEC | O_DIRECT | O_DSYNC | O_NOFOLLOW);
      // The name may have been given to another file since the first handle
      // was opened: the second handle must be on the same file.
      struct stat mine {}, other {};
      if (direct_ >= 0 && (::fstat(fd_, &mine) != 0 || ::fstat(direct_, &other) != 0 || mine.st_dev != other.st_dev ||
                           mine.st_ino != other.st_ino)) {
        ::close(direct_);
        direct_ = kRefused;
      }
      if (direct_ < 0) direct_ = kRefused;
    }
    if (!aligned || direct_ < 0) return File::writeDurably(offset, data);
    void* buffer = std::aligned_alloc(kDurableAlignment, data.size());
    if (!buffer) return Status(code::kWriteError, "cannot write " + path() + ": out of memory");
    std::memcpy(buffer, data.data(), data.size());
    size_t done = 0;
    int err = 0;
    while (done < data.size()) {
      const ssize_t r = ::pwrite(direct_, static_cast<char*>(buffer) + done, data.size() - done,
                                 static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        err = errno;
        break;
      }
      done += static_cast<size_t>(r);
    }
    std::free(buffer);
    if (err == EINVAL && done == 0) {
      ::close(direct_);
      direct_ = kRefused;
      return File::writeDurably(offset, data);
    }
    if (err != 0) return osError(code::kWriteError, "cannot write", path(), err);
    return {};
  }

  Result<FileStamp> stamp() override { return stampOfHandle(fd_, path()); }

 private:
  static constexpr int kUntried = -1, kRefused = -2;
  int fd_;
  int direct_ = kUntried;
  bool syncs_;
};

class PosixLockFile final : public LockFile {
 public:
  static constexpr size_t kMapSize = 4096;

  // `map` is the file's first page, or nullptr on a network share.
  PosixLockFile(std::string path, int fd, void* map, bool syncs)
      : path_(std::move(path)), fd_(fd), map_(map), syncs_(syncs) {}
  ~PosixLockFile() override {
    if (map_) ::munmap(map_, kMapSize);
    ::close(fd_);
  }

  Status lock(uint64_t offset, uint64_t length, LockMode mode, int timeoutMs) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int sleepMs = 1;
    for (;;) {
      struct flock fl = describe(offset, length, mode == LockMode::kExclusive ? F_WRLCK : F_RDLCK);
      if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return {};
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EACCES)
        return osError(code::kOsError, "cannot lock", path_, errno);
      if (Clock::now() >= deadline)
        return Status(code::kRecordLocked, "record locked by another user (" + path_ + ")");
      std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
      sleepMs = std::min(sleepMs * 2, 20);
    }
  }

  void unlock(uint64_t offset, uint64_t length) override {
    struct flock fl = describe(offset, length, F_UNLCK);
    while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0 && errno == EINTR) {
    }
  }

  bool isLockedByOther(uint64_t offset, uint64_t length, LockMode mode) override {
    struct flock fl = describe(offset, length, mode == LockMode::kExclusive ? F_WRLCK : F_RDLCK);
    if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
  }

  std::atomic<uint64_t>* live(int slot) override {
    return map_ ? reinterpret_cast<std::atomic<uint64_t>*>(map_) + slot : nullptr;
  }

  Status load() override {
    if (map_) return {};
    (void)::posix_fadvise(fd_, 0, kMapSize, POSIX_FADV_DONTNEED);
    char bytes[kWords * 8] = {};
    size_t done = 0;
    while (done < sizeof bytes) {
      const ssize_t r = ::pread(fd_, bytes + done, sizeof bytes - done, static_cast<off_t>(done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return osError(code::kReadError, "cannot read", path_, errno);
      }
      if (r == 0) break;  // a new lock file: the words it lacks are zeros
      done += static_cast<size_t>(r);
    }
    for (int i = 0; i < kWords; ++i) words_[i] = detail::getU64(bytes + 8 * i);
    return {};
  }

  uint64_t word(int slot) override { return map_ ? live(slot)->load(std::memory_order_acquire) : words_[slot]; }

  Status store(int slot, uint64_t value) override {
    if (map_) {
      live(slot)->store(value, std::memory_order_release);
      return {};
    }
    char bytes[8];
    detail::putU64(bytes, value);
    for (;;) {
      const ssize_t r = ::pwrite(fd_, bytes, sizeof bytes, static_cast<off_t>(slot) * 8);
      if (r == static_cast<ssize_t>(sizeof bytes)) break;
      if (r < 0 && errno == EINTR) continue;
      return osError(code::kWriteError, "cannot write", path_, r < 0 ? errno : EIO);
    }
    words_[slot] = value;
    return {};
  }

  Status syncWords() override {
    if (map_ || !syncs_) return {};
    if (::fdatasync(fd_) != 0) return osError(code::kWriteError, "cannot flush", path_, errno);
    return {};
  }

  Result<FileStamp> stamp() override { return stampOfHandle(fd_, path_); }

 private:
  static struct flock describe(uint64_t offset, uint64_t length, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    return fl;
  }

  std::string path_;
  int fd_;
  void* map_;
  bool syncs_;
  uint64_t words_[kWords] = {};
};

// File systems whose files other machines change behind this one's caches.
bool isNetworkFileSystem(const std::string& dir) {
  struct statfs st {};
  if (::statfs(dir.c_str(), &st) != 0) return false;
  switch (static_cast<unsigned long>(st.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE (sshfs, network file systems in user space)
    case 0x73757245:  // Coda
    case 0x5346414F:  // AFS
    case 0x6B414653:  // kAFS
    case 0x00C36400:  // Ceph
    case 0x01021997:  // 9P
    case 0x564C:      // NCP
    case 0x01161970:  // GFS2
    case 0x7461636F:  // OCFS2
    case 0x0BD00BD0:  // Lustre
      return true;
    default:
      return false;
  }
}

std::atomic<int> configuredProtocol{static_cast<int>(ShareProtocol::kDetect)};

class PosixEnv final : public Env {
 public:
  explicit PosixEnv(bool syncs) : syncs_(syncs) {}

  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::kRead: flags |= O_RDONLY; break;
      case OpenMode::kReadWrite: flags |= O_RDWR; break;
      case OpenMode::kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    // Reading a table does not touch its time of last access where the system
    // lets the file's owner ask so: every commit would otherwise have the
    // next read rewrite the file's inode.
    // A folder of tables is shared with every user of the office: a link in
    // it, named like a table file, must not lead a write out of the folder.
    flags |= O_NOFOLLOW;
    int fd = ::open(path.c_str(), flags | O_NOATIME, 0666);
    if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
      if (errno == ENOENT) return Status(code::kTableNotFound, "file not found: " + path);
      return osError(code::kOsError, "cannot open", path, errno);
    }
    return std::unique_ptr<File>(new PosixFile(path, fd, syncs_));
  }

  Result<std::unique_ptr<LockFile>> openLock(const std::string& path) override {
    const size_t slash = path.find_last_of('/');
    const bool network = networkShare(slash == std::string::npos ? "." : path.substr(0, slash));
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return osError(code::kOsError, "cannot open lock file", path, errno);
    if (network) return std::unique_ptr<LockFile>(new PosixLockFile(path, fd, nullptr, syncs_));
    struct stat st {};
    if (::fstat(fd, &st) != 0 ||
        (static_cast<size_t>(st.st_size) < PosixLockFile::kMapSize &&
         ::ftruncate(fd, PosixLockFile::kMapSize) != 0)) {
      int err = errno;
      ::close(fd);
      return osError(code::kOsError, "cannot prepare lock file", path, err);
    }
    void* map = ::mmap(nullptr, PosixLockFile::kMapSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
      int err = errno;
      ::close(fd);
      return osError(code::kOsError, "cannot map lock file", path, err);
    }
    return std::unique_ptr<LockFile>(new PosixLockFile(path, fd, map, syncs_));
  }

  // True when the folder `dir` is coordinated the network share's way.
  bool networkShare(const std::string& dir) {
    switch (shareProtocol()) {
      case ShareProtocol::kLocal: return false;
      case ShareProtocol::kNetwork: return true;
      case ShareProtocol::kDetect: break;
    }
    // A folder does not move to another file system while a program runs.
    std::lock_guard<std::mutex> hold(detectedMutex_);
    auto it = detected_.find(dir);
    if (it == detected_.end()) it = detected_.emplace(dir, isNetworkFileSystem(dir)).first;
    return it->second;
  }

  bool exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }

  Result<FileStamp> stamp(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return Status(code::kTableNotFound, "file not found: " + path);
      return osError(code::kOsError, "cannot examine", path, errno);
    }
    return stampOf(st);
  }

  bool isDirectory(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  Result<std::vector<std::string>> list(const std::string& dir) override {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return osError(code::kTableNotFound, "cannot list", dir, errno);
    std::vector<std::string> names;
    while (struct dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(std::move(n));
    }
    ::closedir(d);
    return names;
  }

  Status remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
      return osError(code::kWriteError, "cannot remove", path, errno);
    return {};
  }

  Status rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0)
      return osError(code::kWriteError, "cannot rename", from, errno);
    return {};
  }

  Status syncDirectory(const std::string& dir) override {
    if (!syncs_) return {};
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return osError(code::kOsError, "cannot open directory", dir, errno);
    int r = ::fsync(fd);
    int err = errno;
    ::close(fd);
    if (r != 0) return osError(code::kWriteError, "cannot flush directory", dir, err);
    return {};
  }

  void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  bool concurrentSyncs() const override { return syncs_; }

 private:
  bool syncs_;
  std::mutex detectedMutex_;
  std::map<std::string, bool> detected_;
};

}  // namespace

void setShareProtocol(ShareProtocol protocol) { configuredProtocol.store(static_cast<int>(protocol)); }

ShareProtocol shareProtocol() {
  if (const char* forced = std::getenv("TALLIMOOR_NETWORK_SHARE"); forced && *forced) {
    if (forced[0] == 'Y' || forced[0] == 'y') return ShareProtocol::kNetwork;
    if (forced[0] == 'N' || forced[0] == 'n') return ShareProtocol::kLocal;
  }
  return static_cast<ShareProtocol>(configuredProtocol.load());
}

Env* Env::standard() {
  static PosixEnv env(true);
  return &env;
}

Env* Env::unsynced() {
  static PosixEnv env(false);
  return &env;
}

}  // namespace pdx
