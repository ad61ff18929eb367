// The redo log that makes a commit durable with one wait for the disk.
//
// Each directory has one log, tallimoor.redo, shared by every process that
// writes its tables. A commit appends one record holding what it writes to
// each table file, the bytes after the commit, and syncs the log: that sync
// is the commit point. The table files are written right after it, so that
// every reader keeps reading plain Paradox files, but they are synced only at
// a checkpoint, which then empties the log. After a crash or a power cut the
// records since the last checkpoint are written again, in order, and the
// files come out as the last commit left them.
//
// Layout, integers little-endian:
//
//   header (kHeaderSize bytes, the rest of the first 4 KiB zeros)
//   0    8   magic "TMREDO01"
//   8    8   generation: goes up by one at each checkpoint
//   16   8   checksum of bytes 0..15
//   records, from offset 4096, each beginning on a multiple of 4096 (the
//   bytes between are zeros):
//   0    8   magic "TMREDREC"
//   8    8   generation of the log when it was appended
//   16   8   sequence number: 1, 2, ... within a generation
//   24   8   length of the record in bytes, checksum included
//   32   8   nonce: tells apart two records of the same contents
//   40   4   number of files
//   44   ... files: u16 name length, the name (relative to the directory),
//            u64 size the file was cut to first (all ones: not cut),
//            u64 size of the file after the commit, u32 number of runs,
//            runs: u64 offset, u32 length, the bytes after the commit
//   end-8 8  checksum of every byte of the record before it
// A record counts when its magic, generation, sequence number, length and
// checksum all agree; the first one that does not ends the log. Bytes after
// it (what an earlier generation left, or a failed append) are never read as
// records, since their generation or sequence number is wrong.
//
// Invariants (numbered as the code refers to them):
//   R1. Table files change only under the log lock, and only to write a
//       record that is already synced in the log (a commit, or a replay,
//       which syncs the log first: a record a killed process wrote but did
//       not sync must be durable before any file holds it).
//   R2. The log is emptied only after every file its records name is synced.
//   R3. From the first byte of its record until the files hold it, a holder
//       of the log lock keeps the applying word set; whoever takes the lock
//       and finds it set knows the holder died or failed half-way, and
//       replays the log first (which holds that record, or none of it). A
//       replay writes only bytes that differ from the files, so tables that
//       already hold every record are not touched (readers who read them
//       without a lock see nothing move).
//   R4. A record whose append failed is never replayed: its checksum is kept
//       in the dead-record word, and a scan stops at it, until a later
//       append or a checkpoint takes its place.
//   R5. Opening a directory replays a non-empty log and empties it: the
//       words of the lock file are memory and may not have survived a power
//       cut, so the log is read from the disk.
//   R6. On a network share (the lock file's words are not live), the words
//       are loaded from the file whenever the log lock is taken; the record,
//       the applying word and the tables' commit marks are durable before any
//       table file is written, and the written files are durable before the
//       applying word is cleared; the log is read after this machine's
//       cached pages of it are dropped.
//   R7. A record names only table files of the log's own folder (a plain
//       name ending in .DB, .PX or .MB); the log lies in a folder others can
//       write, so a record that names anything else makes the whole log
//       refused, never replayed. Files are opened without following a
//       symbolic link (see env.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdx/env.h"
#include "pending_file.h"

namespace pdx::detail {

class RedoLog {
 public:
  static constexpr uint64_t kHeaderSize = 64;
  // A checkpoint follows the commit that takes the log past this size.
  static constexpr uint64_t kCheckpointBytes = uint64_t{4} << 20;
  static constexpr const char* kFileName = "tallimoor.redo";
  static constexpr const char* kLockName = "tallimoor-redo.lock";

  // The log of `dir`, created when missing (under the lock, waited for at
  // most timeoutMs).
  static Result<std::unique_ptr<RedoLog>> open(Env* env, const std::string& dir, int timeoutMs);
  // Replays and empties the log of `dir` when it holds records (R5); does
  // nothing when there is no log. Returns the number of files it repaired.
  static Result<int> recoverOnOpen(Env* env, const std::string& dir, int timeoutMs);
  ~RedoLog();

  // The log lock, waited for at most timeoutMs.
  Status lock(int timeoutMs);
  void unlock();

  // The rest is for the holder of the lock.

  // Replays the log when a holder died or failed writing the files (R3).
  // Returns the number of files repaired.
  Result<int> recoverIfNeeded();
  // Replays the log whatever the words say (R1, R3).
  Result<int> replay();
  // Appends the commit of `files` and syncs it: the commit point. On a
  // network share the words of `marked` (the tables' lock files) are made
  // durable in the same wait. On failure the record is dead (R4) and no
  // table file has changed. On success applyAppended() must follow.
  Status append(const std::vector<PendingFile*>& files, const std::vector<LockFile*>& marked = {});
  // Writes the appended commit to the files (synced only on a network
  // share). On failure the applying word stays set and the next holder
  // replays.
  Status applyAppended(const std::vector<PendingFile*>& files);
  // Syncs every file the log names and empties the log (R2), when the log
  // has grown past kCheckpointBytes or, with `always`, when it holds anything.
  Status checkpoint(bool always);
  // True when this process appended since the last checkpoint it saw.
  bool appendedSince() const { return appended_; }

 private:
  struct Parsed;
  RedoLog() = default;
  // Reads the log from the disk and makes the lock file's words agree.
  Result<Parsed> scan();
  void agreeWith(const Parsed& p);
  Status knowEnd();
  // Makes the log file at least `end` bytes long.
  Status makeRoom(uint64_t end);
  // After this process appended record `seq` of `generation`, naming `names`.
  void noteOwnRecord(uint64_t generation, uint64_t seq, std::vector<std::string> names);
  // The files the log's records name, sorted, once each.
  Result<std::vector<std::string>> namedFiles();

  Env* env_ = nullptr;
  std::string dir_, path_;
  std::unique_ptr<LockFile> lock_;
  std::unique_ptr<File> file_;
  bool network_ = false;  // the folder is a network share (its words are not live)
  bool appended_ = false;
  uint64_t allocated_ = 0;  // the log file is at least this long
  // While every record of the log's generation is this process's, the files
  // they name (sorted, once each): a checkpoint then needs no scan.
  struct OwnRecords {
    bool known = false;
    uint64_t generation = 0, count = 0;
    std::vector<std::string> names;
  } own_;
};

}  // namespace pdx::detail
