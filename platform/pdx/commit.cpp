// Committing held changes: all of them reach the table files, or none does.
//
// The states a commit passes through, for the tables T1..Tn it changed (each
// already reserved, so no other process writes them):
//   1. Table locks of T1..Tn taken exclusively, in path order: readers wait
//      from here to step 6, which is one commit.
//   2. Each table's commit mark (shared word 1 of its lock file) is set: a
//      reader or writer that later finds a mark without a holder knows the
//      committer died and recovers from the journal before going on. The mark
//      comes before the journal, so that no live journal can outlast its
//      committer unnoticed while other commits change the tables.
//   3. The journal saves every byte the commit will overwrite or cut, and is
//      synced (journal invariant J1); so, at the same time, is another
//      journal whose clearing after an earlier commit to these tables may not
//      be on the disk yet (J6).
//   4. Every changed file is written and synced (J2).
//   5. The journal is cleared: the commit point. The clearing is not waited
//      for: should a power cut bring the journal back, the files it names
//      already hold the commit, and recovery keeps it (J5).
//   6. Each table names this journal as the one whose clearing is not synced
//      (J6); change counters bumped, then marks cleared (a reader that read
//      blocks without the table lock checks both), table locks and
//      reservations released.
// A failure before step 5 puts the saved bytes back (a journal whose save
// failed is cleared, since it may be whole on disk); if even that fails the
// journal is left live and the marks set, and the next reader recovers.
#include <algorithm>
#include <functional>

#include "directory_state.h"
#include "journal.h"
#include "sync_together.h"
#include "pdx/table.h"
#include "table_file.h"

namespace pdx {

DirectoryState::DirectoryState() = default;
DirectoryState::~DirectoryState() = default;

namespace {

struct HeldLocks {
  std::vector<TableFile*> tables;
  ~HeldLocks() {
    for (TableFile* t : tables) t->lockFile().unlock(TableFile::kTableLockOffset, 1);
  }
};

// Syncs every file. J2 asks only that all are synced before the journal is
// cleared, in any order.
Status syncAll(Env* env, const std::vector<detail::PendingFile*>& files) {
  std::vector<std::function<Status()>> syncs;
  syncs.reserve(files.size());
  for (detail::PendingFile* f : files) syncs.emplace_back([f] { return f->syncBase(); });
  return detail::syncTogether(env, syncs);
}

}  // namespace

Status commitTables(DirectoryState& dir, std::vector<TableFile*>& tables) {
  auto finish = [&](Status st) {
    for (TableFile* t : tables) {
      if (!st.ok()) t->rollBack();
      t->releaseReservation();
    }
    return st;
  };
  std::vector<detail::PendingFile*> files;
  for (TableFile* t : tables)
    for (detail::PendingFile* f : t->pendingFiles()) files.push_back(f);
  if (files.empty()) return finish({});

  if (!dir.journal) {
    auto j = detail::Journal::acquire(dir.env, dir.path);
    if (!j.ok()) return finish(j.status());
    dir.journal = std::move(j).value();
  }
  std::sort(tables.begin(), tables.end(), [](TableFile* a, TableFile* b) { return a->path() < b->path(); });
  auto bumpCounters = [&] {
    std::vector<uint64_t> counters;
    for (TableFile* t : tables) counters.push_back(t->lockFile().sharedWord(0).fetch_add(1) + 1);
    return counters;
  };
  auto unmark = [&] {
    for (TableFile* t : tables) t->lockFile().sharedWord(TableFile::kCommitWord).store(0);
  };
  // Leaves a commit that could not be finished nor undone to recovery: the
  // marks stay set and the journal stays where it is, this process gives its
  // slot up, and the table locks go before the views are rebuilt (which runs
  // that recovery).
  auto giveUp = [&](HeldLocks& held, Status st) {
    for (TableFile* t : tables) t->lockFile().sharedWord(detail::kMustUndoWord).store(dir.journal->slot() + 1);
    dir.journal->abandon();
    dir.journal.reset();
    bumpCounters();
    for (TableFile* t : held.tables) t->lockFile().unlock(TableFile::kTableLockOffset, 1);
    held.tables.clear();
    return finish(st);
  };

  std::vector<uint64_t> counters;
  {
    HeldLocks held;
    for (TableFile* t : tables) {  // 1
      Status st = t->lockFile().lock(TableFile::kTableLockOffset, 1, LockMode::kExclusive, TableFile::kWriteLockTimeoutMs);
      if (!st.ok()) return finish(Status(st.code(), "table " + t->path() + " is busy: " + st.message()));
      held.tables.push_back(t);
    }
    // Journals whose clearing after an earlier commit to these tables may not
    // be on the disk: synced with this one (J6).
    const uint64_t ownWord = dir.journal->slot() + 1;
    std::vector<uint64_t> unsyncedClears;
    for (TableFile* t : tables) {
      const uint64_t word = t->lockFile().sharedWord(detail::kUnsyncedClearWord).load();
      if (word != 0 && word != ownWord &&
          std::find(unsyncedClears.begin(), unsyncedClears.end(), word - 1) == unsyncedClears.end())
        unsyncedClears.push_back(word - 1);
    }
    for (TableFile* t : tables) t->lockFile().sharedWord(TableFile::kCommitWord).store(1);  // 2
    Status st = dir.journal->save(files, unsyncedClears);  // 3
    if (!st.ok()) {
      // A journal that may be complete on disk must not outlive this commit.
      if (!dir.journal->clear().ok()) return giveUp(held, st);
      unmark();
      return finish(st);
    }
    for (detail::PendingFile* f : files) {  // 4
      st = f->apply();
      if (!st.ok()) break;
    }
    if (st.ok()) st = syncAll(dir.env, files);
    if (st.ok()) st = dir.journal->clearLazily();  // 5
    if (!st.ok()) {
      if (!dir.journal->rollback().ok()) return giveUp(held, st);
      bumpCounters();
      unmark();
      return finish(st);
    }
    for (TableFile* t : tables) t->lockFile().sharedWord(detail::kUnsyncedClearWord).store(ownWord);  // 6
    counters = bumpCounters();  // the counter moves before the mark goes
    unmark();
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

void WriteGroup::rollback() {
  if (!dir_ || !dir_->group) return;
  std::unique_ptr<DirectoryState::Group> group = std::move(dir_->group);
  for (const auto& t : group->tables) {
    t->rollBack();
    t->releaseReservation();
  }
}

}  // namespace pdx
