// The state of one open table file shared by every cursor of this process:
// its header, the block index, a bounded cache of data blocks, the memo file
// and the lock file through which processes coordinate.
//
// Coordination between processes (all through the lock file <name>.tlk, a
// file of this engine's own; the original engine's own lock files are never
// created or touched):
//
//   OFFSET      LENGTH  LOCK
//   1           1       table lock: shared while a view is read from disk,
//                       exclusive while a commit writes the files
//   2           1       reservation: exclusive, held by the one writer from its
//                       first change to its commit
//   2^32 + h    1       record lock of the record whose key (keyed tables) or
//                       contents (unkeyed) hash to h < 2^40, exclusive,
//                       held from edit to post/cancel
//
//   WORD (LockFile: bytes 8w..8w+7 of the file)
//   0           change counter, bumped after every committed write
//   1           commit mark: set while a commit writes the files
//
// Invariants:
//  1. A process writes the .DB, .PX and .MB only while it holds the table lock
//     exclusively and the mark is set, and bumps the change counter before it
//     clears the mark and releases the lock.
//  2. A view is built under the table lock held shared, from files read after
//     the words were loaded under that lock; it is stamped with the counter.
//  3. Blocks are read from disk outside the lock only between two looks at
//     the words that both find the view's counter and no mark; otherwise
//     under the lock. Blocks cached under one counter value are used only
//     while the counter keeps that value, so a cursor never mixes two states
//     of the table.
//  4. On a network share (LockFile::isLive() false), the words are loaded
//     from the file at each look, the mark is durable before the files are
//     touched, the files are durable before the counter moves, and a view is
//     built only after this machine's cached pages of the files are dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "blob_file.h"
#include "block_cache.h"
#include "directory_state.h"
#include "pending_file.h"
#include "format.h"
#include "key_column.h"
#include "pdx/env.h"
#include "pdx/table.h"
#include "record_codec.h"

namespace pdx {

class TableFile : public std::enable_shared_from_this<TableFile> {
 public:
  static constexpr uint64_t kTableLockOffset = 1;
  static constexpr uint64_t kReservedOffset = 2;
  static constexpr int kCommitWord = 1;
  static constexpr int kGroupLockTimeoutMs = 300;
  static constexpr uint64_t kRecordLockBase = uint64_t{1} << 32;
  static constexpr uint64_t kRecordLockSpan = uint64_t{1} << 40;
  static constexpr int kWriteLockTimeoutMs = 10'000;

  // Opens the table file `dbPath`. `dirNames`, when given, are the entries of
  // its directory as just listed (spares listing them again).
  static Result<std::shared_ptr<TableFile>> open(Env* env, const std::string& dbPath, bool readOnly,
                                                 const std::vector<std::string>* dirNames = nullptr);
  ~TableFile();

  const Schema& schema() const { return schema_; }
  const detail::RecordLayout& layout() const { return layout_; }
  const std::string& path() const { return dbPath_; }
  Env* env() const { return env_; }
  const std::string& lockPath() const { return lockPath_; }
  bool readOnly() const { return readOnly_; }

  // A position in table order.
  struct Pos {
    size_t block = 0;  // index in chain order
    int slot = 0;
    bool operator==(const Pos&) const = default;
  };

  // Rebuilds the view when another process (or this one, through another
  // TableFile) has written since it was built. Cheap when nothing changed.
  //
  // On a network share a look at the words is a trip to the server, which a
  // scan cannot afford at every step: with `step` (next and prior), a view
  // found current less than kStepFreshnessMs ago is taken as it is. Every
  // other operation, every write and every block read from disk looks
  // afresh, so a scan reads one state of the table at a time, and notices
  // another machine's commit within that time.
  static constexpr int kStepFreshnessMs = 20;
  Status refresh(bool step = false);
  // Increases each time the view changes; cursors compare it to notice.
  uint64_t viewVersion() const { return viewVersion_; }

  size_t blockCount() const { return blocks_.size(); }
  int countIn(size_t block) const { return blocks_[block].count; }
  uint32_t recordCount() const { return numRecords_; }
  int64_t ordinalOf(Pos pos);
  std::optional<Pos> posOfOrdinal(int64_t ordinal);
  // The record at pos (recordSize bytes, valid until the next call).
  Result<const char*> record(Pos pos);
  // The same, for the common step of a scan: when no process has written
  // since the view was read and pos lies in the block read last, which
  // needs no check and no status. nullptr otherwise: record() does the work.
  const char* recordAtHand(Pos pos) const {
    if (writing_ || memoBytes_ == nullptr || counterWord_ == nullptr || pos.block >= blocks_.size()) return nullptr;
    const BlockInfo& info = blocks_[pos.block];
    if (info.number != memoNumber_ || pos.slot < 0 || pos.slot >= info.count) return nullptr;
    if (counterWord_->load(std::memory_order_acquire) != counterSeen_ || markWord_->load(std::memory_order_acquire) != 0)
      return nullptr;
    return memoBytes_->data() + detail::kBlockHeaderSize + size_t(pos.slot) * header_.recordSize;
  }

  // First position whose key starts at or after `prefix` (compared on
  // prefix.size() bytes); nullopt when every key is smaller.
  Result<std::optional<Pos>> lowerBound(std::string_view prefix);
  // First position whose key prefix is greater than `prefix`.
  Result<std::optional<Pos>> upperBound(std::string_view prefix);

  // Blob access while reading.
  Result<std::string> readBlob(const detail::BlobRef& ref);

  // ---- writing: a Writer holds the table lock exclusively for its lifetime.
  class Writer {
   public:
    // Changes through a Writer are held in memory until commit(): alone,
    // they are committed there; inside the directory's write group, they
    // wait for the group's commit.
    Writer(TableFile& file, DirectoryState* dir) : file_(file), dir_(dir) {}
    ~Writer();
    Status begin();
    // Inserts a record: keyed tables in key order (kKeyViolation when the key
    // exists), unkeyed at the end. Returns its position.
    Result<Pos> insert(std::string_view rec);
    // Replaces the record at pos; keyed tables keep its key.
    Status replace(Pos pos, std::string_view rec);
    Status remove(Pos pos);
    Status removeAll();
    Result<detail::BlobRef> writeBlob(std::string_view data);
    Status releaseBlob(const detail::BlobRef& ref);
    Result<std::string> readBlob(const detail::BlobRef& ref) { return file_.readBlob(ref); }
    uint32_t nextAutoInc() { return ++file_.autoInc_; }
    void noteAutoInc(uint32_t used) { if (used > file_.autoInc_) file_.autoInc_ = used; }
    // Writes every change and makes it visible to other processes.
    Status commit();

   private:
    TableFile& file_;
    DirectoryState* dir_;
    DirectoryState::Group* group_ = nullptr;
    bool begun_ = false;
    bool committed_ = false;
  };

  // ---- reuse by later opens of the table (see Directory::openTable)
  int cursors() const { return cursors_; }
  void cursorOpened() { ++cursors_; }
  // True when the last cursor closed; the view's stamps are then brought up
  // to date for its reuse.
  bool cursorClosed();
  // True when the files on disk are still the ones this view was read from,
  // changed since by nothing but commits of this engine (which the change
  // counter reports to refresh()): the same companion files among
  // `dirNames` (the directory's entries), and every file open here with the
  // stamp it had when the view was read or this process last committed.
  // False when that cannot be told (an Env without stamps, no lock file).
  bool matchesDisk(const std::vector<std::string>& dirNames);
  // False when matchesDisk cannot but fail: no use keeping the file.
  bool checkable() const { return lock_ != nullptr && stampsKnown_; }
  // Bytes of the blocks held in the cache.
  size_t cachedBytes() const { return cache_.bytes(); }

  // ---- commits (see commit.cpp)
  // The reservation: held by the one process that may write the table,
  // from its first change to its commit. Readers are not kept out by it.
  Status reserve(int timeoutMs);
  void releaseReservation();
  bool reserved() const { return reserved_; }
  // Files with changes held for the commit.
  std::vector<detail::PendingFile*> pendingFiles();
  // Writes what a write group's posts left in memory (blocks and header when
  // it holds its posts, the index it deferred) into the held files.
  Status writeHeldChanges();
  LockFile& lockFile() { return *lock_; }
  // After the held changes reached the files: keep the view.
  void committed(uint64_t counter);
  // Drops every held change and rebuilds the view from the files.
  void rollBack();

 private:
  struct BlockInfo {
    uint16_t number = 0;
    uint16_t count = 0;
  };
  // Keyed tables: the key bytes of the first record of block blocks_[i]
  // (of the one before it when the block is empty; zeros for an empty first
  // block, which no search compares).
  const char* firstKey(size_t chainIndex) const { return firstKeys_.at(chainIndex); }
  size_t keyBytes() const { return static_cast<size_t>(layout_.keySize); }

  // The files beside a table, from the entries of its directory.
  struct Companions {
    std::string lock, px, mb;         // paths; lock is the default name when there is none
    std::vector<std::string> others;  // names of secondary indexes and validity files, sorted
    Status problem;                   // two files could be one companion (see file_names.h)
  };
  static Companions companionsIn(const std::vector<std::string>& names, const std::string& dbPath);

  TableFile() = default;
  Status loadView();  // reads header and index; caller holds the table lock
  // True when the words (as last loaded, on a network share) show no commit
  // since the view was built and none under way.
  bool unchangedSinceView();
  // On a network share, while this process holds the reservation and its
  // view was brought up to date under it (reserve() does), nobody else can
  // commit to the table: its words need no look, a trip to the server each.
  bool settledByReservation() const { return reserved_ && !counterWord_ && counterSeen_ != ~uint64_t{0}; }
  void noteStamps();
  void noteStamp(File* file, FileStamp& into);
  // Takes the stamps that commits of this process left to be taken.
  void catchUpStamps();
  Status recoverDeadCommit();
  Status loadIndexFromChain();
  bool loadIndexFromPx();
  Result<const std::string*> blockBytes(size_t chainIndex);
  Result<std::string*> dirtyBlock(size_t chainIndex);
  // Sizes `out` for a block, taking the storage of one the cache let go.
  void prepareBuffer(std::string& out);
  Status readBlockFromDisk(uint16_t number, std::string& out);
  // Reads the block at chainIndex and, in the same read, the blocks that
  // follow it both in the file and in the chain (into aheadBlocks_).
  Status readAhead(size_t chainIndex, std::string& out);
  int capacity() const { return capacity_; }
  int compareKey(const char* a, const char* b, size_t len) const;
  void setCount(size_t chainIndex, int count);
  Result<size_t> addBlock(size_t at);
  Status unlinkBlock(size_t chainIndex);
  Result<Pos> insertAt(size_t chainIndex, int slot, std::string_view rec);
  void setFirstKey(size_t chainIndex);
  // The primary index follows the changes of blocks_ as they are made: an
  // entry inserted at or removed from chainIndex, or one whose count or
  // first key changed, touches the one leaf that holds it.
  size_t pxLeafOf(size_t chainIndex, bool inserting);
  struct PxLeaf;
  PxLeaf* pxTouch(size_t chainIndex, bool inserting);  // the leaf, marked changed; null when laid out anew
  void pxInserted(size_t chainIndex);
  void pxRemoved(size_t chainIndex);
  void markPxEntry(size_t chainIndex);
  void markPxRebuild();
  void forgetPxLayout();
  // Writes the changed blocks and header into the held files, and the index
  // too unless `deferIndex` (a write group writes it once, at its commit).
  Status flush(bool deferIndex);
  // Writes the index into its held file when a write group deferred it.
  Status writeIndexIfChanged();
  Status writePx();
  std::string recordsOf(const std::string& block) const;

  Env* env_ = nullptr;
  std::string dbPath_, pxPath_, mbPath_, lockPath_;
  bool readOnly_ = false;
  std::unique_ptr<detail::PendingFile> db_;
  std::unique_ptr<detail::PendingFile> px_;
  bool pxCreated_ = false;  // px_ was created by the changes held now
  std::unique_ptr<detail::PendingFile> mbFile_;
  std::unique_ptr<detail::LendingEnv> mbEnv_;
  std::unique_ptr<detail::BlobFile> mb_;
  Status mbStatus_;  // why mb_ is missing, when it is
  std::unique_ptr<LockFile> lock_;
  // Its change counter and commit mark (words 0 and kCommitWord) where they
  // are live, looked at before every read; nullptr on a network share.
  std::atomic<uint64_t>* counterWord_ = nullptr;
  std::atomic<uint64_t>* markWord_ = nullptr;

  Schema schema_;
  detail::RecordLayout layout_;
  detail::Header header_;
  std::string rawHeader_;
  int capacity_ = 0;
  uint32_t numRecords_ = 0;
  uint32_t autoInc_ = 0;
  uint16_t fileBlocks_ = 0;
  bool keyed_ = false;
  bool pxUsable_ = false;  // the .PX on disk matched the data when loaded
  bool distrustPx_ = false;  // the .PX disagreed with a data block: use the chain
  bool pxDeferred_ = false;  // a write group's posts changed the index, which is written at its commit

  std::vector<BlockInfo> blocks_;  // chain order
  detail::KeyColumn firstKeys_;    // keyBytes() for each of blocks_ (see firstKey)
  std::vector<int64_t> prefix_;    // records before each block, rebuilt lazily
  bool prefixValid_ = false;

  uint64_t counterSeen_ = ~uint64_t{0};
  uint64_t viewVersion_ = 1;
  // When a look at the words (network share) last found the view current.
  std::chrono::steady_clock::time_point viewCheckedAt_{};

  // Stamps of the files open here as the view knows them (see matchesDisk):
  // taken before the view is read from them, and for the files this process
  // committed to, when the view is next checked or its last cursor closes.
  // Not at the commit itself: asking the system for a file's times makes its
  // next write take a finer time, which moves every other file's clock too,
  // and the redo log's next synchronous write then has to carry its inode as
  // well (a second wait for the disk).
  FileStamp dbStamp_, pxStamp_, mbStamp_, lockStamp_;
  bool stampsKnown_ = false;
  bool dbRestamp_ = false, pxRestamp_ = false, mbRestamp_ = false, allRestamp_ = false;
  int cursors_ = 0;

  // Clean blocks, least recently used out first.
  static constexpr size_t kCacheBlocks = 2048;
  detail::BlockCache cache_{kCacheBlocks};
  static constexpr size_t kReadAheadBlocks = 16;
  size_t lastReadIndex_ = SIZE_MAX - 1;  // chain index of the last block read from disk
  size_t aheadRun_ = 1;                  // blocks the next sequential read fetches
  std::vector<std::pair<uint16_t, std::string>> aheadBlocks_;
  // The block found last, while no writer changes blocks: most reads hit it.
  uint16_t memoNumber_ = 0;
  const std::string* memoBytes_ = nullptr;
  void forgetMemo() { memoBytes_ = nullptr; }
  std::string scratch_;

  // Changes of the running Writer.
  bool writing_ = false;   // a Writer is making changes
  bool reserved_ = false;  // this process holds the reservation
  std::map<uint16_t, std::string> dirty_;
  bool headerDirty_ = false;
  // The primary index as last written or read. Its leaves (the lowest level)
  // in key order: the entries of blocks_ are dealt to them in turn, `entries`
  // each. A leaf keeps its block number while it lives, so a change rewrites
  // the leaf that holds it and the few blocks above, whatever the table's size.
  struct PxLeaf {
    uint16_t number = 0;  // 0 until one is given at the next write
    uint32_t entries = 0;
    bool dirty = false;
    int64_t records = -1;  // in the data blocks of its entries, as last written; -1 when not known
  };
  std::vector<PxLeaf> pxLeaves_;
  std::vector<uint16_t> pxUpper_;  // blocks of the levels above, lowest level first, root last
  bool pxRebuild_ = true;          // the next write lays the index out anew
  bool pxChanged_ = false;         // the held changes touch the index
  size_t pxFindLeaf_ = 0, pxFindStart_ = 0;  // the leaf found last and its first entry
  std::vector<std::string> pxImages_;        // block images, by number - 1
  // The next and previous block of each image (next | prev << 16), or
  // kNoLinks for an image not yet made.
  std::vector<uint32_t> pxLinks_;
  static constexpr uint32_t kNoLinks = ~uint32_t{0};
  uint32_t linksOf(const std::string& image) const;
  void noteLinks();  // for images added since the links were last noted
  // The entries each level above the leaves was last written with (the
  // leaves' first keys, numbers and record counts, then those of the level's
  // own blocks), and its block numbers: a block whose entries, number and
  // neighbours are unchanged is not built again.
  struct PxLevelCache {
    std::string keys;  // keySize bytes per entry
    std::vector<uint16_t> children;
    std::vector<int64_t> counts;
    std::vector<uint16_t> numbers;
  };
  std::vector<PxLevelCache> pxLevelCache_;
  bool pxLayoutWhole_ = false;  // the last layout wrote every block it built, and the caches agree
  std::string pxHeader_;  // header of the .PX as last written or read
  uint32_t pxBlockSize_ = 0;
  uint16_t pxRoot_ = 0;
  uint8_t pxLevels_ = 0;
};

}  // namespace pdx
