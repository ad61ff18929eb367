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
//   0       8     magic "TMJRNL01"; zeros when the journal is not live
//   8       8     length of the journal in bytes, trailer included
//   16      4     number of files
//   20      4     number of saved ranges
//   24      ...   files: u16 name length, the name (relative to the directory),
//                 u64 size of the file before the commit
//   ...     ...   ranges: u32 file number, u64 offset, u32 length, the bytes
//   end-16  8     FNV-1a 64 checksum of every byte before it
//   end-8   8     magic "TMJEND01"
//
// Invariants of a commit (numbered as the code refers to them):
//   J1. The journal is complete and synced before any table file changes.
//   J2. Every table file is written and synced before the journal stops
//       being live; clearing its magic (synced) is the commit point.
//   J3. A live journal whose owner is dead is rolled back before anyone reads
//       or writes the tables it names: the saved bytes go back, each file is
//       cut back to its size, the files are synced, then the journal is
//       cleared. Doing this twice gives the same files, so a crash during
//       recovery is recovered the same way.
//   J4. A journal that is incomplete or fails its checksum was not synced, so
//       by J1 no table file was touched: it is simply cleared.
#pragma once

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

  // Saves what committing `files` will change, and syncs it (J1).
  Status save(const std::vector<PendingFile*>& files);
  // Ends the journal's life: the commit point (J2).
  Status clear();
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
};

// Rolls back every live journal of `dir` whose owner is gone (J3, J4).
// Returns the number of journals rolled back.
Result<int> recoverDirectory(Env* env, const std::string& dir);

// True when a live, complete journal of `dir` names a file of the table whose
// files are called <stem>.* (compared without regard to case).
Result<bool> journalNamesTable(Env* env, const std::string& dir, const std::string& stem);

// Byte offsets in a table's lock file used by commits and recovery.
inline constexpr uint64_t kDirSlotBase = uint64_t{1} << 20;

}  // namespace pdx::detail
