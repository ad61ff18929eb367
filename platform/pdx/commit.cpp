// Committing held changes: all of them reach the table files, or none does.
//
// The steps of a commit, for the tables T1..Tn it changed (each already
// reserved, so no other process writes them):
//   1. Table locks of T1..Tn taken exclusively, in path order: readers wait
//      from here to step 6, which is one commit.
//   2. The directory's redo log lock (redo_log.h): the commits of every
//      process go through the log one at a time, in the order it keeps. A
//      holder that died writing the files is replayed first (R3).
//   3. Each table's commit mark (word 1 of its lock file) is set: a reader
//      that later finds a mark without a holder knows the committer died,
//      and replays the log before it reads.
//   4. The commit is appended to the log and synced: the commit point. On a
//      network share the marks are made durable in the same wait. A failure
//      up to here leaves every file as it was, and commit() reports it.
//   5. Every changed file is written; on a local disk not synced (a power cut
//      from here on is repaired from the log), on a network share synced, so
//      that no machine reads the new counter before the server holds the
//      files. Should a write fail, the commit still stands: the files are
//      written again from the log, right away or, if the disk still refuses,
//      by whoever next finds the marks.
//   6. A checkpoint when the log has grown large (the files synced, the log
//      emptied); change counters bumped, then marks cleared (a reader that
//      read blocks without the table lock checks both), locks and
//      reservations released.
#include <algorithm>

#include "directory_state.h"
#include "redo_log.h"
#include "pdx/table.h"
#include "table_file.h"

namespace pdx {

DirectoryState::DirectoryState() = default;

DirectoryState::~DirectoryState() {
  // Books closed after commits leave an empty log when nobody else holds it
  // right now: the next open has nothing to replay.
  if (log && log->appendedSince() && log->lock(0).ok()) {
    (void)log->checkpoint(/*always=*/true);
    log->unlock();
  }
}

namespace {

struct HeldLocks {
  std::vector<TableFile*> tables;
  detail::RedoLog* log = nullptr;
  ~HeldLocks() {
    if (log) log->unlock();
    for (TableFile* t : tables) t->lockFile().unlock(TableFile::kTableLockOffset, 1);
  }
};

}  // namespace

Status commitTables(DirectoryState& dir, std::vector<TableFile*>& tables) {
  auto finish = [&](Status st) {
    for (TableFile* t : tables) {
      if (!st.ok()) t->rollBack();
      t->releaseReservation();
    }
    return st;
  };
  for (TableFile* t : tables)
    if (Status st = t->writeHeldChanges(); !st.ok()) return finish(st);
  std::vector<detail::PendingFile*> files;
  for (TableFile* t : tables)
    for (detail::PendingFile* f : t->pendingFiles()) files.push_back(f);
  if (files.empty()) return finish({});

  if (!dir.log) {
    auto log = detail::RedoLog::open(dir.env, dir.path, TableFile::kWriteLockTimeoutMs);
    if (!log.ok()) return finish(log.status());
    dir.log = std::move(log).value();
  }
  std::sort(tables.begin(), tables.end(), [](TableFile* a, TableFile* b) { return a->path() < b->path(); });
  auto setMarks = [&](uint64_t value) {
    Status st;
    for (TableFile* t : tables)
      if (Status s = t->lockFile().store(TableFile::kCommitWord, value); st.ok()) st = s;
    return st;
  };

  std::vector<uint64_t> counters;
  {
    HeldLocks held;
    for (TableFile* t : tables) {  // 1
      Status st = t->lockFile().lock(TableFile::kTableLockOffset, 1, LockMode::kExclusive, TableFile::kWriteLockTimeoutMs);
      if (!st.ok()) return finish(Status(st.code(), "table " + t->path() + " is busy: " + st.message()));
      held.tables.push_back(t);
      if (st = t->lockFile().load(); !st.ok()) return finish(st);
    }
    if (Status st = dir.log->lock(TableFile::kWriteLockTimeoutMs); !st.ok()) return finish(st);  // 2
    held.log = dir.log.get();
    if (auto replayed = dir.log->recoverIfNeeded(); !replayed.ok()) return finish(replayed.status());
    if (Status st = setMarks(1); !st.ok()) {  // 3
      (void)setMarks(0);
      return finish(st);
    }
    std::vector<LockFile*> marked;
    for (TableFile* t : tables) marked.push_back(&t->lockFile());
    if (Status st = dir.log->append(files, marked); !st.ok()) {  // 4
      (void)setMarks(0);
      return finish(st);
    }
    // 5. The commit stands whatever happens now.
    bool whole = dir.log->applyAppended(files).ok();
    if (!whole) whole = dir.log->replay().ok();
    if (whole) (void)dir.log->checkpoint(/*always=*/false);  // 6; a failure is retried at the next
    // The counter moves before the mark goes; a counter that could not be
    // written leaves the mark, and the next reader recovers and moves it.
    bool moved = true;
    for (TableFile* t : tables) {
      LockFile& lock = t->lockFile();
      if (!lock.store(0, lock.word(0) + 1).ok()) moved = false;
      counters.push_back(lock.word(0));
    }
    if (whole && moved) (void)setMarks(0);
  }
  for (size_t i = 0; i < tables.size(); ++i) tables[i]->committed(counters[i]);
  return finish({});
}

// ------------------------------------------------------------- write groups

Result<std::unique_ptr<WriteGroup>> Directory::beginGroup() {
  if (state_->group) return Status(code::kInvalidParameter, "a write group is already under way in " + state_->path);
  state_->group = std::make_unique<DirectoryState::Group>();
  return std::unique_ptr<WriteGroup>(new WriteGroup(state_));
}

WriteGroup::WriteGroup(std::shared_ptr<DirectoryState> dir) : dir_(std::move(dir)) {}

WriteGroup::~WriteGroup() { rollback(); }

Status WriteGroup::commit() {
  if (!dir_ || !dir_->group) return Status(code::kInvalidParameter, "the write group has already ended");
  std::unique_ptr<DirectoryState::Group> group = std::move(dir_->group);
  std::vector<TableFile*> tables;
  for (const auto& t : group->tables) tables.push_back(t.get());
  if (!group->failure.ok()) {
    for (TableFile* t : tables) {
      t->rollBack();
      t->releaseReservation();
    }
    return group->failure;
  }
  return commitTables(*dir_, tables);
}

void WriteGroup::holdPostsUntilCommit() {
  if (dir_ && dir_->group) dir_->group->holdPosts = true;
}

void WriteGroup::rollback() {
  if (!dir_ || !dir_->group) return;
  std::unique_ptr<DirectoryState::Group> group = std::move(dir_->group);
  for (const auto& t : group->tables) {
    t->rollBack();
    t->releaseReservation();
  }
}

}  // namespace pdx
