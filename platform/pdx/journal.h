// The rollback journal that makes a commit all-or-nothing.
//
// A commit saves, before it changes anything, the bytes of every table file
// it will overwrite or cut, with each file's size, in a journal file of the
// directory: tallimoor-<slot>.journal. The slot is a byte of the directory's
// lock file (tallimoor-journal.lock) that the journal's owner holds locked
// for as long as it lives, so that a journal whose slot can be locked belongs
// to a dead process.
//
// Journal layout, integers little-endian:
//
//   OFFSET  SIZE  DESCRIPTION
//   0       8     magic "TMJRNL02"; zeros when the journal is not live
//   8       8     length of the journal in bytes, trailer included
//   16      4     number of files
//   20      4     number of saved ranges
//   24      ...   files: u16 name length, the name (relative to the directory),
//                 u64 size of the file before the commit, u64 size after it
//   ...     ...   ranges: u32 file number, u64 offset, u32 length, u64 checksum
//                 of the range's bytes after the commit (those below the size
//                 after it), the bytes before the commit
//   end-16  8     checksum of every byte before it
//   end-8   8     magic "TMJEND02"
// Journals of the first layout ("TMJRNL01" ... "TMJEND01", FNV-1a checksum,
// no size nor checksum after the commit) are still read and undone.
//
// Invariants of a commit (numbered as the code refers to them):
//   J1. The journal is complete and synced before any table file changes.
//   J2. Every table file is written and synced before the journal stops
//       being live. Clearing its magic is the commit point for the process;
//       the clearing need not reach the disk, because of J5.
//   J3. A live journal whose owner is dead is rolled back before anyone reads
//       or writes the tables it names: the saved bytes go back, each file is
//       cut back to its size, the files are synced, then the journal is
//       cleared. Doing this twice gives the same files, so a crash during
//       recovery is recovered the same way.
//   J4. A journal that is incomplete or fails its checksum was not synced, so
//       by J1 no table file was touched: it is simply cleared.
//   J5. A live journal whose every file already has its size after the
//       commit and every range its bytes after the commit belongs to a commit
//       that reached the files: it is cleared, not rolled back. That is the
//       state a power cut leaves when it comes after the files were synced
//       but before the clearing reached the disk. A commit that reported its
//       failure but could not undo itself is rolled back all the same
//       (kMustUndoWord).
//   J6. A later commit to the same tables must not be undone by such a
//       journal reappearing after a power cut. A table whose last commit
//       cleared its journal without syncing the clearing names that journal's
//       slot in a shared word of its lock file (kUnsyncedClearWord); the next
//       commit of another journal to that table syncs the named journal (or,
//       when it is gone, the directory that removed it) before it changes any
//       file. A journal whose clearing was not synced is synced before its
//       file is removed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdx/env.h"
#include "pending_file.h"

namespace pdx::detail {

class Journal {
 public:
  // Takes a free slot of the directory for this process.
  static Result<std::unique_ptr<Journal>> acquire(Env* env, const std::string& dir);
  ~Journal();

  // Saves what committing `files` will change, and syncs it (J1), together
  // with the journals of `otherSlots` (J6).
  Status save(const std::vector<PendingFile*>& files, const std::vector<uint64_t>& otherSlots = {});
  // Ends the journal's life: the commit point (J2). The clearing is synced;
  // clearLazily() leaves that to the next save or to J6.
  Status clear();
  Status clearLazily();
  uint64_t slot() const { return slot_; }
  // Puts back what save() saved, syncs, and clears the journal: for a commit
  // that failed before its commit point. The caller holds the table locks.
  Status rollback();
  // Gives the slot up and leaves the journal as it is, for recovery by
  // whichever process reads the tables next.
  void abandon();

 private:
  Journal() = default;
  Env* env_ = nullptr;
  std::string dir_, path_;
  std::unique_ptr<LockFile> dirLock_;
  uint64_t slot_ = 0;
  std::unique_ptr<File> file_;
  std::string saved_;  // the journal as last saved
  bool abandoned_ = false;
  bool clearUnsynced_ = false;  // the last clearing may not be on the disk yet
};

// Makes the clearing of the journal in `slot` durable (J6): syncs the journal
// file, or the directory when there is no such file any more.
Status syncJournalOfSlot(Env* env, const std::string& dir, uint64_t slot);

// Rolls back every live journal of `dir` whose owner is gone (J3, J4), or
// clears it when its commit reached the files (J5). Returns the number of
// journals rolled back.
Result<int> recoverDirectory(Env* env, const std::string& dir);

// True when a live, complete journal of `dir` names a file of the table whose
// files are called <stem>.* (compared without regard to case).
Result<bool> journalNamesTable(Env* env, const std::string& dir, const std::string& stem);

// Byte offsets in a table's lock file used by commits and recovery.
inline constexpr uint64_t kDirSlotBase = uint64_t{1} << 20;

// Shared words of a table's lock file, besides its change counter (0) and
// commit mark (1), each holding a journal's slot + 1, or 0:
// the journal whose clearing after the last commit to the table may not be
// on the disk yet (J6);
inline constexpr int kUnsyncedClearWord = 2;
// the journal of a commit that failed and could not undo itself: recovery
// rolls it back even when the files hold the commit whole, since commit()
// reported it failed.
inline constexpr int kMustUndoWord = 3;

}  // namespace pdx::detail
