// Helpers shared by the engine's tests.
#pragma once

#include <unistd.h>

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
