// A file whose writes are held in memory until they are committed.
//
// Reads see the held writes over the file's contents, so the writer works on
// its own future state while every other process still reads the last
// committed one. Writes are kept per 4 KiB page.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pdx/env.h"

namespace pdx::detail {

class PendingFile final : public File {
 public:
  static constexpr uint64_t kPageSize = 4096;

  explicit PendingFile(std::unique_ptr<File> base);

  Result<size_t> read(uint64_t offset, size_t n, char* buf) override;
  Result<size_t> readScattered(uint64_t offset, std::span<const std::span<char>> buffers) override;
  Status write(uint64_t offset, std::string_view data) override;
  Result<uint64_t> size() override;
  Status truncate(uint64_t size) override;
  // Held writes are not the file's yet: syncing waits for the commit.
  Status sync() override { return {}; }
  // Syncs the file itself (what apply() wrote to it).
  Status syncApplied() { return base_->sync(); }
  void dropCache() override { base_->dropCache(); }
  // The stamp of the file on disk, whatever is held.
  Result<FileStamp> stamp() override { return base_->stamp(); }

  bool hasChanges() const { return !pages_.empty() || newSize_.has_value(); }
  // The size the file will have after the commit.
  Result<uint64_t> finalSize();
  // What apply() does to the file: cut it to `cut` first (when it is
  // longer), write each run, and leave it `size` bytes long.
  struct Change {
    std::optional<uint64_t> cut;
    uint64_t size = 0;
    std::vector<std::pair<uint64_t, std::string>> runs;  // in order, none touching the next
  };
  Result<Change> change();
  // Writes every held change to the file itself; leaves them held.
  Status apply();
  // Forgets every held change.
  void discard();
  // Forgets the held changes after apply().
  void committed() { discard(); }

 private:
  struct Page {
    std::string bytes;  // the whole page, zero-padded past the end of the file
    uint32_t from = kPageSize, to = 0;  // the changed part, [from, to)
    void changed(uint64_t begin, uint64_t end) {
      from = std::min(from, static_cast<uint32_t>(begin));
      to = std::max(to, static_cast<uint32_t>(end));
    }
  };
  // The held page, made from the file's contents below `knownLimit` (or
  // baseLimit()) when it is not held yet.
  Result<Page*> page(uint64_t index, std::optional<uint64_t> knownLimit = std::nullopt);
  // Size of the file on disk.
  Result<uint64_t> baseSize();
  // How much of the base file still counts as the file's contents (of a
  // file whose final size is `finalSize`, for the second).
  Result<uint64_t> baseLimit();
  uint64_t baseLimit(uint64_t finalSize) const;

  std::unique_ptr<File> base_;
  std::map<uint64_t, Page> pages_;  // by page index
  std::optional<uint64_t> newSize_;   // size once committed, when it differs from the base
  std::optional<uint64_t> lowWater_;  // smallest size a truncation left; base bytes past it are gone
  std::optional<uint64_t> baseSize_;  // the base's size, asked for once while changes are held
};

// Lends a PendingFile to code that opens files through an Env (the memo file
// component): opening `path` gives a handle on the pending file.
class LendingEnv final : public Env {
 public:
  LendingEnv(Env* real, std::string path, PendingFile* file) : real_(real), path_(std::move(path)), file_(file) {}
  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override;
  Result<std::unique_ptr<LockFile>> openLock(const std::string& path) override { return real_->openLock(path); }
  bool exists(const std::string& path) override { return path == path_ || real_->exists(path); }
  bool isDirectory(const std::string& path) override { return real_->isDirectory(path); }
  Result<std::vector<std::string>> list(const std::string& dir) override { return real_->list(dir); }
  Result<FileStamp> stamp(const std::string& path) override { return real_->stamp(path); }
  Status remove(const std::string& path) override { return real_->remove(path); }
  Status rename(const std::string& from, const std::string& to) override { return real_->rename(from, to); }
  Status syncDirectory(const std::string& dir) override { return real_->syncDirectory(dir); }
  void sleepMs(int ms) override { real_->sleepMs(ms); }

 private:
  Env* real_;
  std::string path_;
  PendingFile* file_;
};

}  // namespace pdx::detail
