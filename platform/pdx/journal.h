// Rollback journals left by earlier builds of the engine.
//
// Before the redo log (redo_log.h), a commit saved the bytes it would
// overwrite or cut, with each file's size, in a journal file of the
// directory, tallimoor-<slot>.journal, wrote and synced the table files, then
// cleared the journal. The slot is a byte of the directory's lock file
// (tallimoor-journal.lock) that the journal's owner held locked while it
// lived, so a journal whose slot can be locked belongs to a dead process. A
// directory such a build left in the middle of a commit is put back on open.
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
// no size nor checksum after the commit) are read the same way.
//
// Recovery:
//   J3. A live journal whose owner is dead is rolled back before anyone reads
//       or writes the tables it names: the saved bytes go back, each file is
//       cut back to its size, the files are synced, then the journal is
//       cleared. Doing this twice gives the same files, so a crash during
//       recovery is recovered the same way.
//   J4. A journal that is incomplete or fails its checksum was not synced, so
//       no table file was touched: it is simply cleared.
//   J5. A live journal of the second layout whose every file already has its
//       size after the commit and every range its bytes after the commit
//       belongs to a commit that reached the files: it is cleared, not rolled
//       back (a power cut after the files were synced but before the clearing
//       reached the disk).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pdx/env.h"

namespace pdx::detail {

// The checksum of the second journal layout and of the redo log: eight
// bytes at a time.
uint64_t checksum(std::string_view s);

// True for the journals and the journals' lock file of a folder.
bool isJournalFileName(const std::string& name);

// Rolls back every live journal of `dir` whose owner is gone (J3, J4), or
// clears it when its commit reached the files (J5). Returns the number of
// journals rolled back.
Result<int> recoverDirectory(Env* env, const std::string& dir);

}  // namespace pdx::detail
