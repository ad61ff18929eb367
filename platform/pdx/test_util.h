// Helpers shared by the engine's tests.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <new>
#include <stdexcept>
#include <functional>
#include <string>
#include <vector>

namespace pdx::testing {

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs `body` in a child process; returns its pid. The child exits with the
// body's return value and never returns into the test framework.
template <typename F>
pid_t spawn(F body) {
  pid_t pid = fork();
  if (pid == 0) {
    int rc = 99;
    try {
      rc = body();
    } catch (...) {
    }
    _exit(rc);
  }
  return pid;
}

// One folder seen as a network share from several machines: the views that
// share-mounts.sh (in TALLIMOOR_SHARE_TOOLS) mounts beside it, <folder>.m1 to
// <folder>.mN. Between two views, as between two machines, memory maps and
// page caches are not shared and byte-range locks conflict. When the views
// cannot be mounted (no FUSE device, the tool or its packages missing),
// reason() says why, so that a test can skip saying so. The views are
// unmounted when the object goes away, before the folder is removed.
class ShareViews {
 public:
  ShareViews(const std::string& folder, int count);
  ~ShareViews();
  ShareViews(const ShareViews&) = delete;
  ShareViews& operator=(const ShareViews&) = delete;
  bool ok() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  // View i, 0 <= i < count.
  const std::string& view(int i) const { return views_.at(static_cast<size_t>(i)); }

 private:
  std::string folder_, reason_;
  std::vector<std::string> views_;
};

// Skips the running test, saying why, when `views` could not be mounted.
#define TALLIMOOR_SKIP_WITHOUT(views) \
  if (!(views).ok()) GTEST_SKIP() << "no network share views: " << (views).reason()

// The folder of sample tables; fails the running test, naming the folder,
// when it is missing (the tests that use it cannot run).
#define TALLIMOOR_REQUIRE_SAMPLES() \
  ASSERT_TRUE(::pdx::testing::samplesPresent()) << "the sample tables are missing: no folder " TALLIMOOR_SAMPLES
bool samplesPresent();

// The raw wait status of `pid`; kills it and returns -1 once `deadline` passes.
int waitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline);
// "exited with 3", "killed by signal 9", ... of a status waitUntil returned.
std::string describeExit(int status);

// A block of memory shared with child processes forked after it is made
// (the tests' own board between the processes they fork).
template <typename T>
class Shared {
 public:
  Shared() {
    void* p = mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
    value_ = new (p) T();
  }
  ~Shared() {
    value_->~T();
    munmap(value_, sizeof(T));
  }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;
  T* operator->() { return value_; }
  T& operator*() { return *value_; }

 private:
  T* value_;
};

// Copies `text` into the fixed-size buffer `to` of a Shared board, cut to fit.
void putMessage(char* to, size_t size, const std::string& text);

// What a program run by runProgram() did: its exit status (128 + the
// signal's number when a signal ended it) and what it wrote.
struct ProgramRun {
  int exitCode = -1;
  std::string out, err;
};
// Runs `program` with `args`, its output and errors going to the files
// `outPath` and `errPath` (a device such as /dev/full is written to, never
// read back). `whileRunning`, when given, gets its pid before it is waited for.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& outPath,
                      const std::string& errPath, const std::function<void(pid_t)>& whileRunning = {});

// Whole contents of a file ("" when missing).
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// A redo log (tallimoor.redo) as its layout says: one record per element of
// `records`, each writing the given bytes at offset 0 of the files it names,
// whatever the names are. What a hostile user of a share can leave in a
// folder of tables.
struct CraftedFile {
  std::string name;
  std::string bytes;
};
std::string craftedRedoLog(const std::vector<std::vector<CraftedFile>>& records);

// What is wrong with the block chain of an index file ("" when nothing): real
// indexes link every block, the root and all levels, into one chain from the
// header's first block to its last, and pxlib reads the entries along that
// chain.
std::string indexChainProblem(const std::string& px);

}  // namespace pdx::testing
