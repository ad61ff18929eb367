// A file system for crash and fault tests: an Env that counts, fails and
// crashes on request.
//
// It wraps a real Env (usually Env::unsynced(), since it keeps its own account
// of what a sync made durable and the real fsync would only cost time) and
// sees every operation that changes a file:
//
//   operation       counted as       what reaches stable storage
//   open(kCreate)   Op::kCreate      a new name: only after syncDirectory()
//   File::write     Op::kWrite       only after the file's sync()
//   File::truncate  Op::kTruncate    only after the file's sync()
//   File::sync      Op::kSync        the file's whole contents, now
//   syncDirectory   Op::kSyncDir     every creation, removal and rename in
//                                    that directory, now
//   remove          Op::kRemove      only after syncDirectory()
//   rename          Op::kRename      only after syncDirectory()
//
// Operations are numbered 1, 2, ... from the last resetCounts(), across all
// kinds, and also counted per kind; failAt(), crashAfter() and killAfter()
// take those numbers. Lock files go straight to the wrapped Env: their locks
// and shared words are memory and operating-system state, not data.
//
// Power cuts. The Env remembers, per file, its contents as of the last
// successful sync, and per name, the file it named at the last directory
// sync (files are tracked as inodes, so a handle still open on a removed file
// keeps syncing that file, not a newer one of the same name). powerCut()
// first sets the crashed flag: from then on every write, truncation, sync,
// removal and rename is a silent no-op and creating a file fails, so the
// objects of the "dead" program (its destructors included) cannot touch the
// files any more. Then every file goes back to what stable storage holds:
// unsynced writes are lost, files whose creation was not synced vanish,
// removed files whose removal was not synced come back. In the
// kKeepSomeUnsynced mode, as a disk that wrote back part of its cache, each
// unsynced 4 KiB piece of a write (and each truncation) survives or not at
// random, and each unsynced name change too. restart() then clears the flag:
// the files as they now are count as durable, and a fresh Directory on this
// Env (or on a plain one) runs recovery.
//
// Threads: calls are serialized by a mutex, so several threads may share one
// FaultEnv; the numbering of operations is then the order they happened in.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pdx/env.h"

namespace pdx::testing {

class FaultEnv final : public Env {
 public:
  enum class Op { kCreate, kWrite, kTruncate, kSync, kSyncDir, kRemove, kRename };
  static constexpr int kOpKinds = 7;
  enum class CutMode { kLoseUnsynced, kKeepSomeUnsynced };

  static const char* opName(Op op) {
    static constexpr const char* kNames[kOpKinds] = {"create", "write", "truncate", "sync",
                                                     "sync-dir", "remove", "rename"};
    return kNames[static_cast<int>(op)];
  }

  explicit FaultEnv(Env* base) : base_(base) {}

  // ---- counting
  int count(Op op) const { return counts_[static_cast<size_t>(op)]; }
  // Every operation since resetCounts(), failed ones included.
  int operations() const { return sequence_; }
  // One line per operation since resetCounts(): "12 sync Sales.DB".
  const std::vector<std::string>& trace() const { return trace_; }
  void resetCounts() {
    counts_.fill(0);
    sequence_ = 0;
    trace_.clear();
  }

  // ---- failures
  // The n-th operation of kind `op` (counted from resetCounts()) fails with
  // code::kWriteError and changes nothing, or with `torn` (writes only) puts
  // the first half of its bytes down before failing. With `sticky`, every
  // later operation of any kind fails too, as on a disk that went bad, until
  // heal().
  void failAt(Op op, int n, bool sticky, bool torn = false) {
    failOp_ = op;
    failN_ = n;
    failSticky_ = sticky;
    failTorn_ = torn;
  }
  // The same for the n-th operation whatever its kind.
  void failOperation(int n, bool sticky) {
    failOp_.reset();
    failN_ = n;
    failSticky_ = sticky;
    failTorn_ = false;
  }
  void heal() {
    failN_ = 0;
    failing_ = false;
  }
  int failures() const { return failures_; }

  // ---- crashes
  // Right after the n-th operation (counted from resetCounts()) has reached
  // the disk, powerCut(mode) happens, so nothing later does.
  void crashAfter(int n, CutMode mode = CutMode::kLoseUnsynced, uint32_t seed = 0) {
    crashAt_ = n;
    crashMode_ = mode;
    crashSeed_ = seed;
  }
  // Right after the n-th operation, the process kills itself (SIGKILL): a
  // child process dies at an exact step, its locks dropped by the system.
  void killAfter(int n) { killAt_ = n; }
  // Every operation first sleeps this long: a slow disk, so that a process
  // killed at a random moment is likely to be in the middle of a commit.
  void setDelayMicros(int us) { delayUs_ = us; }
  // Without tracking, the Env only counts, fails, delays and kills, and a
  // power cut only stops the writes (the files stay as they are): for long
  // runs where keeping every unsynced write would cost memory and time. Set
  // it before the first file is opened.
  void setTracking(bool on) { tracking_ = on; }

  bool crashed() const { return crashed_; }
  void powerCut(CutMode mode = CutMode::kLoseUnsynced, uint32_t seed = 0) {
    std::lock_guard<std::recursive_mutex> guard(mu_);
    crashed_ = true;
    if (!tracking_) return;
    std::mt19937 rng(seed);
    auto coin = [&] { return mode == CutMode::kKeepSomeUnsynced && (rng() & 1) != 0; };
    // What stable storage holds of each file.
    std::map<const Inode*, std::string> survived;
    auto contentsOf = [&](const std::shared_ptr<Inode>& node) -> const std::string& {
      auto it = survived.find(node.get());
      if (it != survived.end()) return it->second;
      std::string data = node->durable;
      for (const Change& c : node->unsynced) {
        if (c.truncate) {
          if (coin()) data.resize(static_cast<size_t>(c.offset), '\0');
          continue;
        }
        for (size_t done = 0; done < c.data.size();) {
          const uint64_t at = c.offset + done;
          const size_t n = static_cast<size_t>(std::min<uint64_t>(c.data.size() - done, 4096 - at % 4096));
          if (coin()) {
            if (data.size() < at + n) data.resize(static_cast<size_t>(at + n), '\0');
            data.replace(static_cast<size_t>(at), n, c.data, done, n);
          }
          done += n;
        }
      }
      return survived.emplace(node.get(), std::move(data)).first->second;
    };
    for (auto& [path, entry] : paths_) {
      std::shared_ptr<Inode> keep = entry.durable;
      if (entry.now != entry.durable && coin()) keep = entry.now;
      if (keep) {
        // Rewritten in place rather than truncated to nothing first: some
        // file systems flush a file emptied and refilled when it closes.
        const std::string& data = contentsOf(keep);
        auto f = base_->open(path, base_->exists(path) ? OpenMode::kReadWrite : OpenMode::kCreate);
        if (f.ok() && (*f)->write(0, data).ok()) (void)(*f)->truncate(data.size());
      } else {
        (void)base_->remove(path);
      }
    }
    // The dead program's handles stay attached to inodes nobody reads again.
    for (auto& [path, entry] : paths_) entry = Entry{};
    tracked_.clear();
  }
  // Power on: the crashed flag, failures, planned crashes and counts are
  // cleared, and the files as they are count as durable.
  void restart() {
    std::lock_guard<std::recursive_mutex> guard(mu_);
    crashed_ = false;
    heal();
    crashAt_ = killAt_ = 0;
    paths_.clear();
    tracked_.clear();
    resetCounts();
  }

  // ---- Env
  Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
    std::lock_guard<std::recursive_mutex> guard(mu_);
    if (mode == OpenMode::kCreate) {
      if (crashed_) return Status(code::kWriteError, "cannot create " + path + ": the machine is off");
      Entry& entry = track(path);
      switch (begin(Op::kCreate, path)) {
        case Action::kFail: return injected("create", path);
        case Action::kSkip: return Status(code::kWriteError, "cannot create " + path + ": the machine is off");
        case Action::kDo: break;
      }
      auto f = base_->open(path, mode);
      if (!f.ok()) return f;
      if (!entry.now) entry.now = std::make_shared<Inode>();
      else if (tracking_) entry.now->unsynced.push_back(Change{true, 0, {}});
      after();
      return std::unique_ptr<File>(new FaultFile(this, std::move(f).value(), entry.now));
    }
    Entry& entry = track(path);
    auto f = base_->open(path, mode);
    if (!f.ok()) return f;
    if (!entry.now) {
      // Made behind this Env's back since it was tracked: take it as durable.
      tracked_.erase(path);
      paths_.erase(path);
      track(path);
    }
    return std::unique_ptr<File>(new FaultFile(this, std::move(f).value(), paths_[path].now));
  }
  Result<std::unique_ptr<LockFile>> openLock(const std::string& path) override { return base_->openLock(path); }
  bool exists(const std::string& path) override { return base_->exists(path); }
  bool isDirectory(const std::string& path) override { return base_->isDirectory(path); }
  Result<std::vector<std::string>> list(const std::string& dir) override { return base_->list(dir); }
  Result<FileStamp> stamp(const std::string& path) override { return base_->stamp(path); }

  Status remove(const std::string& path) override {
    std::lock_guard<std::recursive_mutex> guard(mu_);
    Entry& entry = track(path);
    switch (begin(Op::kRemove, path)) {
      case Action::kFail: return injected("remove", path);
      case Action::kSkip: return {};
      case Action::kDo: break;
    }
    PDX_RETURN_IF_ERROR(base_->remove(path));
    entry.now.reset();
    after();
    return {};
  }

  Status rename(const std::string& from, const std::string& to) override {
    std::lock_guard<std::recursive_mutex> guard(mu_);
    track(from);
    track(to);
    switch (begin(Op::kRename, from)) {
      case Action::kFail: return injected("rename", from);
      case Action::kSkip: return {};
      case Action::kDo: break;
    }
    PDX_RETURN_IF_ERROR(base_->rename(from, to));
    paths_[to].now = std::move(paths_[from].now);
    paths_[from].now.reset();
    after();
    return {};
  }

  Status syncDirectory(const std::string& dir) override {
    std::lock_guard<std::recursive_mutex> guard(mu_);
    switch (begin(Op::kSyncDir, dir)) {
      case Action::kFail: return injected("sync directory", dir);
      case Action::kSkip: return {};
      case Action::kDo: break;
    }
    PDX_RETURN_IF_ERROR(base_->syncDirectory(dir));
    for (auto& [path, entry] : paths_)
      if (parentOf(path) == dir) entry.durable = entry.now;
    after();
    return {};
  }

  void sleepMs(int ms) override { base_->sleepMs(ms); }

 private:
  // A change not yet synced: a write, or a truncation to `offset`.
  struct Change {
    bool truncate = false;
    uint64_t offset = 0;
    std::string data;
  };
  struct Inode {
    std::string durable;          // contents as of the last sync
    std::vector<Change> unsynced;  // since then, in order
  };
  // The file a name stands for now, and the one stable storage names.
  struct Entry {
    std::shared_ptr<Inode> now, durable;
  };
  enum class Action { kDo, kFail, kSkip };

  class FaultFile final : public File {
   public:
    FaultFile(FaultEnv* env, std::unique_ptr<File> base, std::shared_ptr<Inode> node)
        : File(base->path()), env_(env), base_(std::move(base)), node_(std::move(node)) {}

    Result<size_t> read(uint64_t offset, size_t n, char* buf) override { return base_->read(offset, n, buf); }
    Result<uint64_t> size() override { return base_->size(); }
    Result<FileStamp> stamp() override { return base_->stamp(); }

    Status write(uint64_t offset, std::string_view data) override {
      std::lock_guard<std::recursive_mutex> guard(env_->mu_);
      switch (env_->begin(Op::kWrite, path())) {
        case Action::kFail:
          if (env_->failTorn_) {
            const std::string_view half = data.substr(0, data.size() / 2);
            if (base_->write(offset, half).ok()) note(Change{false, offset, std::string(half)});
          }
          return injected("write", path());
        case Action::kSkip: return {};
        case Action::kDo: break;
      }
      PDX_RETURN_IF_ERROR(base_->write(offset, data));
      note(Change{false, offset, std::string(data)});
      env_->after();
      return {};
    }

    Status truncate(uint64_t size) override {
      std::lock_guard<std::recursive_mutex> guard(env_->mu_);
      switch (env_->begin(Op::kTruncate, path())) {
        case Action::kFail: return injected("truncate", path());
        case Action::kSkip: return {};
        case Action::kDo: break;
      }
      PDX_RETURN_IF_ERROR(base_->truncate(size));
      note(Change{true, size, {}});
      env_->after();
      return {};
    }

    Status sync() override {
      std::lock_guard<std::recursive_mutex> guard(env_->mu_);
      switch (env_->begin(Op::kSync, path())) {
        case Action::kFail: return injected("sync", path());
        case Action::kSkip: return {};
        case Action::kDo: break;
      }
      PDX_RETURN_IF_ERROR(base_->sync());
      if (!env_->tracking_) {
        env_->after();
        return {};
      }
      PDX_ASSIGN_OR_RETURN(uint64_t size, base_->size());
      std::string all(static_cast<size_t>(size), '\0');
      PDX_ASSIGN_OR_RETURN(size_t got, base_->read(0, all.size(), all.data()));
      all.resize(got);
      node_->durable = std::move(all);
      node_->unsynced.clear();
      env_->after();
      return {};
    }

   private:
    void note(Change c) {
      if (env_->tracking_) node_->unsynced.push_back(std::move(c));
    }

    FaultEnv* env_;
    std::unique_ptr<File> base_;
    std::shared_ptr<Inode> node_;
  };

  static std::string parentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
  }
  static std::string nameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  static Status injected(const char* what, const std::string& path) {
    return Status(code::kWriteError, std::string("injected failure: cannot ") + what + " " + path);
  }

  // The entry of `path`, taking what is on disk as durable the first time.
  Entry& track(const std::string& path) {
    Entry& entry = paths_[path];
    if (!tracking_) {
      if (!entry.now) entry.now = entry.durable = std::make_shared<Inode>();
      return entry;
    }
    if (tracked_.emplace(path).second && base_->exists(path) && !base_->isDirectory(path)) {
      auto node = std::make_shared<Inode>();
      if (auto f = base_->open(path, OpenMode::kRead); f.ok()) {
        if (auto size = (*f)->size(); size.ok()) {
          node->durable.resize(static_cast<size_t>(*size));
          auto got = (*f)->read(0, node->durable.size(), node->durable.data());
          node->durable.resize(got.ok() ? *got : 0);
        }
      }
      entry.now = entry.durable = node;
    }
    return entry;
  }

  Action begin(Op op, const std::string& path) {
    if (crashed_) return Action::kSkip;
    if (delayUs_ > 0) ::usleep(static_cast<useconds_t>(delayUs_));
    ++sequence_;
    const int nth = ++counts_[static_cast<size_t>(op)];
    std::string line = std::to_string(sequence_) + " " + opName(op) + " " + nameOf(path);
    const bool fail = failing_ || (failN_ > 0 && (failOp_ ? op == *failOp_ && nth == failN_ : sequence_ == failN_));
    if (fail) {
      if (failSticky_) failing_ = true;
      ++failures_;
      trace_.push_back(line + " (failed)");
      return Action::kFail;
    }
    trace_.push_back(std::move(line));
    return Action::kDo;
  }

  // After an operation reached the disk: the planned crash or death.
  void after() {
    if (killAt_ > 0 && sequence_ == killAt_) ::kill(::getpid(), SIGKILL);
    if (crashAt_ > 0 && sequence_ == crashAt_) powerCut(crashMode_, crashSeed_);
  }

  Env* base_;
  std::recursive_mutex mu_;
  std::map<std::string, Entry> paths_;
  std::set<std::string> tracked_;
  std::array<int, kOpKinds> counts_{};
  int sequence_ = 0;
  std::vector<std::string> trace_;
  std::optional<Op> failOp_;
  int failN_ = 0;
  bool failSticky_ = false;
  bool failTorn_ = false;
  bool failing_ = false;
  int failures_ = 0;
  int crashAt_ = 0;
  CutMode crashMode_ = CutMode::kLoseUnsynced;
  uint32_t crashSeed_ = 0;
  int killAt_ = 0;
  int delayUs_ = 0;
  bool tracking_ = true;
  bool crashed_ = false;
};

}  // namespace pdx::testing
