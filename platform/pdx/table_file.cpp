#include "table_file.h"
#include "file_names.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "codepage.h"
#include "journal.h"
#include "redo_log.h"
#include "ascii.h"

namespace pdx {
namespace {

using detail::dirOf;
using detail::getU16;
using detail::stemOf;
using detail::putU16;
using detail::putU32;

constexpr uint16_t kStale = 0x22F0;  // internal: the view changed under a read; retry

Status stale() { return Status(kStale, "table changed while reading"); }

void putShortBe(char* p, int v) {
  const uint16_t e = static_cast<uint16_t>(static_cast<uint16_t>(v) ^ 0x8000u);
  p[0] = static_cast<char>(e >> 8);
  p[1] = static_cast<char>(e & 0xFF);
}

}  // namespace

TableFile::~TableFile() = default;

TableFile::Companions TableFile::companionsIn(const std::vector<std::string>& names, const std::string& dbPath) {
  const std::string dir = dirOf(dbPath), dbName = detail::nameOf(dbPath);
  Companions c;
  auto pick = [&](std::string_view ext, std::string& path) {
    auto found = detail::companionEntry(names, dbName, ext, dir);
    if (!found.ok()) {
      if (c.problem.ok()) c.problem = found.status();
    } else if (!found->empty()) {
      path = dir + "/" + *found;
    }
  };
  pick("tlk", c.lock);
  if (c.lock.empty()) c.lock = dir + "/" + stemOf(dbPath) + ".tlk";
  pick("px", c.px);
  pick("mb", c.mb);
  // Companion files the engine does not maintain.
  const std::string base = stemOf(dbPath);
  const bool rivals = !detail::caseRivals(names, dbName).empty();
  for (const auto& n : names) {
    const size_t dot = n.find_last_of('.');
    if (dot == std::string::npos || !detail::equalsIgnoreCase(std::string_view(n).substr(0, dot), base)) continue;
    if (rivals && std::string_view(n).substr(0, dot) != base) continue;
    const std::string ext = detail::toLowerAscii(n.substr(dot + 1));
    const bool secondary = ext.size() == 3 && (ext[0] == 'x' || ext[0] == 'y') &&
                           ((std::isdigit(static_cast<unsigned char>(ext[1])) && std::isdigit(static_cast<unsigned char>(ext[2]))) ||
                            (ext[1] == 'g' && std::isdigit(static_cast<unsigned char>(ext[2]))));
    if (secondary || ext == "val") c.others.push_back(n);
  }
  std::sort(c.others.begin(), c.others.end());
  return c;
}

Result<std::shared_ptr<TableFile>> TableFile::open(Env* env, const std::string& dbPath, bool readOnly,
                                                   const std::vector<std::string>* dirNames) {
  std::shared_ptr<TableFile> f(new TableFile());
  f->env_ = env;
  f->dbPath_ = dbPath;
  f->readOnly_ = readOnly;
  const std::string dir = dirOf(dbPath);
  Companions companions;
  if (dirNames) {
    companions = companionsIn(*dirNames, dbPath);
  } else {
    auto names = env->list(dir);
    companions = companionsIn(names.ok() ? *names : std::vector<std::string>(), dbPath);
  }
  if (!companions.problem.ok()) return companions.problem;
  f->lockPath_ = companions.lock;

  auto db = env->open(dbPath, readOnly ? Env::OpenMode::kRead : Env::OpenMode::kReadWrite);
  if (!db.ok() && !readOnly && db.status().code() == code::kOsError) {
    db = env->open(dbPath, Env::OpenMode::kRead);  // a write-protected file is still readable
    f->readOnly_ = true;
  }
  if (!db.ok()) return db.status();
  f->db_ = std::make_unique<detail::PendingFile>(std::move(db).value());

  // Read-only cursors use the lock file when one exists, and never create it,
  // so reading a folder of tables leaves it untouched.
  if (!f->readOnly_ || env->exists(f->lockPath_)) {
    auto lock = env->openLock(f->lockPath_);
    if (lock.ok()) f->lock_ = std::move(lock).value();
    else if (!f->readOnly_) return lock.status();
  }
  if (f->lock_) {
    f->counterWord_ = f->lock_->live(0);
    f->markWord_ = f->lock_->live(kCommitWord);
  }

  f->pxPath_ = companions.px;
  f->mbPath_ = companions.mb;

  f->counterSeen_ = ~uint64_t{0};
  if (f->lock_) {
    PDX_RETURN_IF_ERROR(f->refresh());
  } else {
    PDX_RETURN_IF_ERROR(f->loadView());
  }
  f->schema_.companionFiles = std::move(companions.others);

  const bool hasBlobs = std::any_of(f->schema_.fields.begin(), f->schema_.fields.end(),
                                    [](const FieldDef& d) { return isBlobType(d.type); });
  if (hasBlobs) {
    if (f->mbPath_.empty()) {
      f->mbStatus_ = Status(code::kBlobFileMissing, "memo file of " + dbPath + " is missing");
    } else {
      // The memo file's writes are held with the table's until the commit.
      auto raw = env->open(f->mbPath_, f->readOnly_ ? Env::OpenMode::kRead : Env::OpenMode::kReadWrite);
      if (!raw.ok()) {
        f->mbStatus_ = raw.status();
      } else {
        f->mbFile_ = std::make_unique<detail::PendingFile>(std::move(raw).value());
        f->noteStamp(f->mbFile_.get(), f->mbStamp_);
        f->mbEnv_ = std::make_unique<detail::LendingEnv>(env, f->mbPath_, f->mbFile_.get());
        auto mb = detail::BlobFile::open(*f->mbEnv_, f->mbPath_, !f->readOnly_);
        if (mb.ok()) f->mb_ = std::move(mb).value();
        else f->mbStatus_ = mb.status();
      }
    }
  }
  return f;
}

Status TableFile::loadView() {
  // Caller holds the table lock and loaded the words under it (or runs
  // without a lock file).
  uint64_t counter = lock_ ? lock_->word(0) : 0;
  if (lock_ && !lock_->isLive()) {
    // Another machine may have written since this one cached the pages.
    for (detail::PendingFile* f : {db_.get(), px_.get(), mbFile_.get()})
      if (f) f->dropCache();
  }
  noteStamps();  // before reading: a write after this point changes them
  PDX_ASSIGN_OR_RETURN(uint64_t fileSize, db_->size());
  std::string raw(static_cast<size_t>(std::min<uint64_t>(fileSize, 0x800)), '\0');
  PDX_ASSIGN_OR_RETURN(size_t got, db_->read(0, raw.size(), raw.data()));
  raw.resize(got);
  if (raw.size() >= 4) {
    const uint16_t hs = getU16(raw.data() + 2);
    if (hs > raw.size() && hs <= fileSize) {
      raw.resize(hs);
      PDX_ASSIGN_OR_RETURN(got, db_->read(0, hs, raw.data()));
      raw.resize(got);
    }
  }
  PDX_ASSIGN_OR_RETURN(detail::Header h, detail::parseHeader(raw, fileSize, dbPath_));
  if (h.fileType != detail::kKeyedDb && h.fileType != detail::kUnkeyedDb)
    return Status(code::kHeaderCorrupt, dbPath_ + " is not a table (file type " + std::to_string(h.fileType) + ")");
  if (h.encrypted)
    return Status(code::kEncrypted, dbPath_ + " is password-protected; this engine does not read encrypted tables");

  header_ = h;
  rawHeader_ = std::move(raw);
  keyed_ = h.fileType == detail::kKeyedDb && h.keyFields > 0;
  schema_.fields.clear();
  for (const FieldDef& d : h.fields) {
    FieldDef f = d;
    f.name = detail::toUtf8(d.name, h.codePage);
    schema_.fields.push_back(std::move(f));
  }
  schema_.keyFieldCount = keyed_ ? h.keyFields : 0;
  schema_.level = h.level == 35 ? 35 : h.level / 10;
  schema_.codePage = h.codePage;
  schema_.blockSize = static_cast<int>(h.blockSize);
  schema_.recordSize = h.recordSize;
  schema_.sortOrder = h.sortOrder;
  schema_.encrypted = h.encrypted;
  layout_ = detail::RecordLayout::make(h.fields, schema_.keyFieldCount, h.codePage);
  capacity_ = static_cast<int>((h.blockSize - detail::kBlockHeaderSize) / h.recordSize);
  numRecords_ = h.numRecords;
  autoInc_ = h.autoInc;
  fileBlocks_ = h.fileBlocks;

  forgetMemo();
  cache_.clear();
  dirty_.clear();
  forgetPxLayout();
  prefixValid_ = false;
  pxUsable_ = false;
  if (!(keyed_ && !distrustPx_ && loadIndexFromPx())) PDX_RETURN_IF_ERROR(loadIndexFromChain());
  if (mb_) mb_->invalidate();
  counterSeen_ = counter;
  viewCheckedAt_ = {};  // the next step looks at the words again
  ++viewVersion_;
  return {};
}

Status TableFile::loadIndexFromChain() {
  blocks_.clear();
  firstKeys_.reset(keyBytes());
  std::vector<bool> seen(size_t{fileBlocks_} + 1, false);
  uint16_t number = header_.firstBlock, prev = 0;
  uint64_t total = 0;
  const size_t keySize = keyBytes();
  const size_t want = detail::kBlockHeaderSize + keySize;
  std::string buf(want, '\0');
  std::string lastKey(keySize, '\0');
  while (number != 0) {
    if (number > fileBlocks_ || seen[number])
      return Status(code::kFileCorrupt, "damaged block chain in " + dbPath_ + " (block " + std::to_string(number) + ")");
    seen[number] = true;
    const uint64_t at = header_.headerSize + uint64_t{number - 1u} * header_.blockSize;
    PDX_ASSIGN_OR_RETURN(size_t got, db_->read(at, want, buf.data()));
    if (got < want) return Status(code::kFileCorrupt, "block " + std::to_string(number) + " of " + dbPath_ + " is cut short");
    const uint16_t next = getU16(buf.data()), back = getU16(buf.data() + 2);
    const int16_t add = static_cast<int16_t>(getU16(buf.data() + 4));
    if (back != prev)
      return Status(code::kFileCorrupt, "block " + std::to_string(number) + " of " + dbPath_ + " links back to the wrong block");
    const int count = add < 0 ? 0 : add / header_.recordSize + 1;
    if (add >= 0 && (add % header_.recordSize != 0 || count > capacity_))
      return Status(code::kFileCorrupt, "block " + std::to_string(number) + " of " + dbPath_ + " has an impossible record count");
    BlockInfo info;
    info.number = number;
    info.count = static_cast<uint16_t>(count);
    if (keyed_) {
      if (count > 0) lastKey.assign(buf, detail::kBlockHeaderSize, keySize);
      firstKeys_.append(lastKey.data());
    }
    total += static_cast<uint64_t>(count);
    blocks_.push_back(info);
    prev = number;
    number = next;
  }
  if (total != header_.numRecords || (!blocks_.empty() && blocks_.back().number != header_.lastBlock))
    return Status(code::kFileCorrupt, "the header of " + dbPath_ + " counts " + std::to_string(header_.numRecords) +
                                          " records in blocks " + std::to_string(header_.firstBlock) + " to " +
                                          std::to_string(header_.lastBlock) + ", the chain holds " +
                                          std::to_string(total) + " ending at block " +
                                          std::to_string(blocks_.empty() ? 0 : blocks_.back().number));
  numRecords_ = static_cast<uint32_t>(total);
  return {};
}

bool TableFile::loadIndexFromPx() {
  if (pxPath_.empty()) return false;
  if (!px_) {
    auto px = env_->open(pxPath_, readOnly_ ? Env::OpenMode::kRead : Env::OpenMode::kReadWrite);
    if (!px.ok()) return false;
    px_ = std::make_unique<detail::PendingFile>(std::move(px).value());
    noteStamp(px_.get(), pxStamp_);
  }
  auto size = px_->size();
  if (!size.ok() || *size > (uint64_t{64} << 20) || *size < 0x58) return false;
  std::string all(static_cast<size_t>(*size), '\0');
  auto got = px_->read(0, all.size(), all.data());
  if (!got.ok() || *got != all.size()) return false;
  auto h = detail::parseHeader(all, all.size(), pxPath_);
  if (!h.ok() || h->fileType != detail::kPrimaryIndex) return false;
  all.resize(h->headerSize + size_t{h->fileBlocks} * h->blockSize, '\0');  // an unwritten tail reads as zeros
  const size_t recSize = static_cast<size_t>(layout_.keySize) + 6;
  if (h->recordSize != recSize || h->indexLevels == 0 || h->indexLevels > 8) return false;
  const uint32_t pxBlocks = h->fileBlocks;
  if (numRecords_ == 0 && pxBlocks == 0) {
    if (header_.firstBlock != 0) return false;
    // An empty index: the next commit writes its blocks after this header.
    blocks_.clear();
    firstKeys_.reset(keyBytes());
    pxUsable_ = true;
    pxBlockSize_ = h->blockSize;
    forgetPxLayout();
    pxRoot_ = 0;
    pxLevels_ = h->indexLevels;
    pxHeader_.assign(all.data(), h->headerSize);
    return true;
  }
  if (h->indexRoot == 0 || h->indexRoot > pxBlocks) return false;
  auto blockAt = [&](uint32_t n) { return all.data() + h->headerSize + size_t{n - 1} * h->blockSize; };
  const int cap = static_cast<int>((h->blockSize - detail::kBlockHeaderSize) / recSize);

  std::vector<BlockInfo> out;
  detail::KeyColumn keys(keyBytes());  // of out, as firstKeys_
  const size_t keySize = keyBytes();
  std::vector<bool> visited(pxBlocks + 1, false);
  std::vector<bool> dataSeen(size_t{fileBlocks_} + 1, false);
  std::vector<PxLeaf> leaves;
  std::vector<std::pair<int, uint16_t>> upper;  // level, block
  uint64_t total = 0;
  // Depth-first walk from the root, levels counted down to the leaves; the
  // depth is bounded by the level count and every block is visited once.
  bool ok = true;
  std::function<void(uint32_t, int)> walk = [&](uint32_t n, int level) {
    if (!ok) return;
    if (n == 0 || n > pxBlocks || visited[n]) { ok = false; return; }
    visited[n] = true;
    const char* b = blockAt(n);
    const int16_t add = static_cast<int16_t>(getU16(b + 4));
    const int count = add < 0 ? 0 : add / static_cast<int>(recSize) + 1;
    if (add >= 0 && (add % static_cast<int>(recSize) != 0 || count > cap)) { ok = false; return; }
    if (level == 1) leaves.push_back({static_cast<uint16_t>(n), static_cast<uint32_t>(count), false, 0});
    else upper.emplace_back(level, static_cast<uint16_t>(n));
    for (int i = 0; i < count && ok; ++i) {
      const char* e = b + detail::kBlockHeaderSize + size_t(i) * recSize;
      const int child = detail::getIndexBlock(e + layout_.keySize);
      const int cnt = detail::getIndexCount(e + layout_.keySize + 2);
      if (level == 1) {
        if (child <= 0 || child > fileBlocks_ || dataSeen[child] || cnt < 0 || cnt > capacity_) { ok = false; return; }
        dataSeen[child] = true;
        BlockInfo info;
        info.number = static_cast<uint16_t>(child);
        info.count = static_cast<uint16_t>(cnt);
        if (!out.empty() && compareKey(e, keys.at(keys.size() - 1), keySize) < 0) {
          ok = false;
          return;
        }
        keys.append(e);
        total += static_cast<uint64_t>(cnt);
        leaves.back().records += cnt;
        out.push_back(info);
      } else {
        walk(static_cast<uint32_t>(child < 0 ? 0 : child), level - 1);
      }
    }
  };
  walk(h->indexRoot, h->indexLevels);
  if (!ok || total != numRecords_ || out.empty() || out.front().number != header_.firstBlock ||
      out.back().number != header_.lastBlock)
    return false;
  blocks_ = std::move(out);
  firstKeys_ = std::move(keys);
  pxUsable_ = true;
  pxBlockSize_ = h->blockSize;
  forgetPxLayout();
  for (uint32_t n = 1; n <= pxBlocks; ++n) pxImages_.emplace_back(blockAt(n), h->blockSize);
  pxLeaves_ = std::move(leaves);
  std::stable_sort(upper.begin(), upper.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [level, number] : upper) pxUpper_.push_back(number);
  pxRebuild_ = false;
  pxRoot_ = h->indexRoot;
  pxLevels_ = h->indexLevels;
  pxHeader_.assign(all.data(), h->headerSize);
  return true;
}

bool TableFile::unchangedSinceView() {
  if (counterWord_)
    return counterWord_->load(std::memory_order_acquire) == counterSeen_ && markWord_->load(std::memory_order_acquire) == 0;
  return lock_->word(0) == counterSeen_ && lock_->word(kCommitWord) == 0;
}

Status TableFile::refresh(bool step) {
  if (!lock_) return counterSeen_ == ~uint64_t{0} ? loadView() : Status();
  if (settledByReservation()) return {};
  if (!counterWord_) {
    const auto now = std::chrono::steady_clock::now();
    if (step && now - viewCheckedAt_ < std::chrono::milliseconds(kStepFreshnessMs)) return {};
    PDX_RETURN_IF_ERROR(lock_->load());
    if (unchangedSinceView()) {
      viewCheckedAt_ = now;
      return {};
    }
  }
  if (unchangedSinceView()) return {};
  PDX_RETURN_IF_ERROR(lock_->lock(kTableLockOffset, 1, LockMode::kShared, kWriteLockTimeoutMs));
  Status st = lock_->load();
  if (st.ok() && lock_->word(kCommitWord) != 0) {
    // A commit was under way and its process no longer holds the table: it
    // died, or could not write the files. The log writes them again before
    // anything is read.
    lock_->unlock(kTableLockOffset, 1);
    PDX_RETURN_IF_ERROR(recoverDeadCommit());
    PDX_RETURN_IF_ERROR(lock_->lock(kTableLockOffset, 1, LockMode::kShared, kWriteLockTimeoutMs));
    st = lock_->load();
  }
  if (st.ok()) st = loadView();
  lock_->unlock(kTableLockOffset, 1);
  return st;
}

Status TableFile::recoverDeadCommit() {
  const std::string dir = dirOf(dbPath_);
  PDX_RETURN_IF_ERROR(detail::recoverDirectory(env_, dir).status());
  if (env_->exists(dir + "/" + detail::RedoLog::kFileName)) {
    PDX_ASSIGN_OR_RETURN(auto log, detail::RedoLog::open(env_, dir, kWriteLockTimeoutMs));
    PDX_RETURN_IF_ERROR(log->lock(kWriteLockTimeoutMs));
    auto replayed = log->replay();
    log->unlock();
    PDX_RETURN_IF_ERROR(replayed.status());
  }
  // The files hold every commit the log has. A committer that left the mark
  // did so holding the table lock: with the lock in hand, the mark is a dead
  // one's (or one whose files failed it) and the files are whole now.
  PDX_RETURN_IF_ERROR(lock_->lock(kTableLockOffset, 1, LockMode::kExclusive, kWriteLockTimeoutMs));
  Status st = lock_->load();
  if (st.ok() && lock_->word(kCommitWord) != 0) {
    st = lock_->store(0, lock_->word(0) + 1);  // the counter moves before the mark goes (see blockBytes)
    if (st.ok()) st = lock_->store(kCommitWord, 0);
  }
  lock_->unlock(kTableLockOffset, 1);
  return st;
}

int TableFile::compareKey(const char* a, const char* b, size_t len) const { return std::memcmp(a, b, len); }

int64_t TableFile::ordinalOf(Pos pos) {
  if (!prefixValid_) {
    prefix_.resize(blocks_.size());
    int64_t sum = 0;
    for (size_t i = 0; i < blocks_.size(); ++i) {
      prefix_[i] = sum;
      sum += blocks_[i].count;
    }
    prefixValid_ = true;
  }
  return pos.block < prefix_.size() ? prefix_[pos.block] + pos.slot : -1;
}

std::optional<TableFile::Pos> TableFile::posOfOrdinal(int64_t ordinal) {
  if (ordinal < 0 || blocks_.empty()) return std::nullopt;
  ordinalOf(Pos{});  // builds the prefix sums
  auto it = std::upper_bound(prefix_.begin(), prefix_.end(), ordinal);
  size_t block = static_cast<size_t>(it - prefix_.begin()) - 1;
  while (block < blocks_.size() && ordinal - prefix_[block] >= blocks_[block].count) ++block;
  if (block >= blocks_.size()) return std::nullopt;
  return Pos{block, static_cast<int>(ordinal - prefix_[block])};
}

void TableFile::prepareBuffer(std::string& out) {
  if (out.capacity() < header_.blockSize) out = cache_.takeBuffer();
  out.resize(header_.blockSize);
}

Status TableFile::readBlockFromDisk(uint16_t number, std::string& out) {
  prepareBuffer(out);
  const uint64_t at = header_.headerSize + uint64_t{number - 1u} * header_.blockSize;
  PDX_ASSIGN_OR_RETURN(size_t got, db_->read(at, out.size(), out.data()));
  if (got < out.size()) std::memset(out.data() + got, 0, out.size() - got);  // a reused buffer holds other bytes
  const int16_t add = static_cast<int16_t>(getU16(out.data() + 4));
  const size_t used = add < 0 ? 0 : static_cast<size_t>(add) + header_.recordSize;
  if (got < detail::kBlockHeaderSize || got < detail::kBlockHeaderSize + used)
    return Status(code::kFileCorrupt, "block " + std::to_string(number) + " of " + dbPath_ + " lies past the end of the file");
  return {};
}

Result<const std::string*> TableFile::blockBytes(size_t chainIndex) {
  const BlockInfo& info = blocks_[chainIndex];
  if (!writing_ && info.number == memoNumber_ && memoBytes_) return memoBytes_;  // the block read last
  if (!dirty_.empty()) {
    if (auto d = dirty_.find(info.number); d != dirty_.end()) return &d->second;
  }
  if (const std::string* cached = cache_.find(info.number)) {
    memoNumber_ = info.number;
    memoBytes_ = cached;
    return cached;
  }
  forgetMemo();
  std::string bytes;
  if (lock_ && !writing_ && !settledByReservation()) {
    // Not inside a write: read the state the view was built on. Commits mark
    // the table (word 1 of its lock file) before they write and bump the
    // counter before they unmark it, so a read that starts and ends with the
    // counter unchanged and no mark saw no commit at work. Otherwise take the
    // table lock. On a network share the words are read from the file each
    // time, and a commit's files reach the server before its counter does.
    auto unchanged = [&]() -> Result<bool> {
      if (!counterWord_) PDX_RETURN_IF_ERROR(lock_->load());
      if (unchangedSinceView()) return true;
      viewCheckedAt_ = {};  // the retry's refresh must look afresh
      return false;
    };
    PDX_ASSIGN_OR_RETURN(bool before, unchanged());
    if (before) {
      // Reading in chain order (a scan): fetch the blocks that follow in the
      // file too, in the same read, when they are also the next of the chain.
      // The run doubles while the reads stay sequential, as a scan goes on.
      aheadRun_ = chainIndex == lastReadIndex_ + 1 ? std::min(aheadRun_ * 2, kReadAheadBlocks) : 1;
      lastReadIndex_ = chainIndex;
      Status st = aheadRun_ > 1 ? readAhead(chainIndex, bytes) : readBlockFromDisk(info.number, bytes);
      auto after = unchanged();
      if (!after.ok() || !*after) {
        for (auto& [number, block] : aheadBlocks_) cache_.giveBuffer(std::move(block));
        aheadBlocks_.clear();
        return after.ok() ? stale() : after.status();
      }
      PDX_RETURN_IF_ERROR(st);
      for (auto& [number, block] : aheadBlocks_) cache_.put(number, std::move(block));
      aheadBlocks_.clear();
    } else {
      PDX_RETURN_IF_ERROR(lock_->lock(kTableLockOffset, 1, LockMode::kShared, kWriteLockTimeoutMs));
      Status st = lock_->load();
      if (st.ok()) st = unchangedSinceView() ? readBlockFromDisk(info.number, bytes) : stale();
      lock_->unlock(kTableLockOffset, 1);
      PDX_RETURN_IF_ERROR(st);
    }
  } else {
    PDX_RETURN_IF_ERROR(readBlockFromDisk(info.number, bytes));
  }
  const int16_t add = static_cast<int16_t>(getU16(bytes.data() + 4));
  const int count = add < 0 ? 0 : add / header_.recordSize + 1;
  if (count != info.count) {
    if (pxUsable_) {
      // The .PX disagrees with the data: the view is rebuilt from the block
      // chain, and the index is rewritten at the next commit.
      distrustPx_ = true;
      counterSeen_ = ~uint64_t{0};
      return stale();
    }
    return Status(code::kFileCorrupt, "block " + std::to_string(info.number) + " of " + dbPath_ +
                                          " holds a different number of records than its chain says");
  }
  memoNumber_ = info.number;
  memoBytes_ = cache_.put(info.number, std::move(bytes));
  return memoBytes_;
}

Status TableFile::readAhead(size_t chainIndex, std::string& out) {
  const uint16_t first = blocks_[chainIndex].number;
  size_t run = 1;
  while (run < aheadRun_ && chainIndex + run < blocks_.size() &&
         blocks_[chainIndex + run].number == first + run && !cache_.find(static_cast<uint16_t>(first + run)))
    ++run;
  if (run == 1) return readBlockFromDisk(first, out);
  // One read straight into the storage of each block.
  const size_t bs = header_.blockSize;
  prepareBuffer(out);
  std::span<char> buffers[kReadAheadBlocks];
  buffers[0] = std::span<char>(out.data(), bs);
  aheadBlocks_.reserve(run - 1);
  for (size_t k = 1; k < run; ++k) {
    aheadBlocks_.emplace_back(static_cast<uint16_t>(first + k), std::string());
    std::string& b = aheadBlocks_.back().second;
    prepareBuffer(b);
    buffers[k] = std::span<char>(b.data(), bs);
  }
  auto dropAhead = [&](size_t from) {
    for (size_t k = from; k < aheadBlocks_.size(); ++k) cache_.giveBuffer(std::move(aheadBlocks_[k].second));
    aheadBlocks_.resize(std::min(from, aheadBlocks_.size()));
  };
  const uint64_t at = header_.headerSize + uint64_t{first - 1u} * bs;
  auto got = db_->readScattered(at, std::span<const std::span<char>>(buffers, run));
  if (!got.ok() || *got < bs) {
    dropAhead(0);
    return readBlockFromDisk(first, out);  // the short tail, or an error: the careful way
  }
  // The blocks after the first are kept only when whole and consistent with
  // the chain; anything odd is left for a read of its own to report.
  size_t k = 1;
  for (; k < run && (k + 1) * bs <= *got; ++k) {
    const int16_t add = static_cast<int16_t>(getU16(aheadBlocks_[k - 1].second.data() + 4));
    const int count = add < 0 ? 0 : add / header_.recordSize + 1;
    if (count != blocks_[chainIndex + k].count) break;
  }
  dropAhead(k - 1);
  lastReadIndex_ = chainIndex + k - 1;  // the next miss after these is still sequential
  return {};
}

Result<const char*> TableFile::record(Pos pos) {
  if (pos.block >= blocks_.size() || pos.slot < 0 || pos.slot >= blocks_[pos.block].count)
    return Status(code::kNoCurrentRecord, "no current record");
  PDX_ASSIGN_OR_RETURN(const std::string* b, blockBytes(pos.block));
  return b->data() + detail::kBlockHeaderSize + size_t(pos.slot) * header_.recordSize;
}

Result<std::optional<TableFile::Pos>> TableFile::lowerBound(std::string_view prefix) {
  const size_t len = prefix.size();
  // Last block whose first key is below the prefix: the answer starts there.
  size_t lo = 0, hi = blocks_.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (blocks_[mid].count > 0 && compareKey(firstKey(mid), prefix.data(), len) < 0) lo = mid + 1;
    else hi = mid;
  }
  size_t block = lo == 0 ? 0 : lo - 1;
  for (; block < blocks_.size(); ++block) {
    const int count = blocks_[block].count;
    if (count == 0) continue;
    PDX_ASSIGN_OR_RETURN(const std::string* b, blockBytes(block));
    const char* recs = b->data() + detail::kBlockHeaderSize;
    int l = 0, h = count;
    while (l < h) {
      int m = (l + h) / 2;
      if (compareKey(recs + size_t(m) * header_.recordSize, prefix.data(), len) < 0) l = m + 1;
      else h = m;
    }
    if (l < count) return std::optional<Pos>(Pos{block, l});
  }
  return std::optional<Pos>();
}

Result<std::optional<TableFile::Pos>> TableFile::upperBound(std::string_view prefix) {
  const size_t len = prefix.size();
  size_t lo = 0, hi = blocks_.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (blocks_[mid].count == 0 || compareKey(firstKey(mid), prefix.data(), len) <= 0) lo = mid + 1;
    else hi = mid;
  }
  size_t block = lo == 0 ? 0 : lo - 1;
  for (; block < blocks_.size(); ++block) {
    const int count = blocks_[block].count;
    if (count == 0) continue;
    PDX_ASSIGN_OR_RETURN(const std::string* b, blockBytes(block));
    const char* recs = b->data() + detail::kBlockHeaderSize;
    int l = 0, h = count;
    while (l < h) {
      int m = (l + h) / 2;
      if (compareKey(recs + size_t(m) * header_.recordSize, prefix.data(), len) <= 0) l = m + 1;
      else h = m;
    }
    if (l < count) return std::optional<Pos>(Pos{block, l});
  }
  return std::optional<Pos>();
}

Result<std::string> TableFile::readBlob(const detail::BlobRef& ref) {
  if (!mb_) return mbStatus_.ok() ? Status(code::kBlobFileMissing, "no memo file for " + dbPath_) : mbStatus_;
  return mb_->read(ref);
}

// ---------------------------------------------------------------- writing

TableFile::Writer::~Writer() {
  if (!begun_) return;
  file_.writing_ = false;
  if (committed_) return;
  // The record changes of this writer were never handed to the files.
  file_.dirty_.clear();
  file_.forgetPxLayout();
  file_.headerDirty_ = false;
  if (group_ && group_->holdPosts) {
    // The earlier posts were in memory only, and went with this one: the
    // group can only roll back.
    if (group_->failure.ok())
      group_->failure = Status(code::kInvalidParameter, "a post of this write group on " + file_.dbPath_ +
                                                            " failed; the group can only roll back");
    file_.rollBack();
  } else if (group_) {
    // Earlier posts of the group stay held; the view is rebuilt from them,
    // from the block chain when their index is not written yet (the group's
    // commit then lays the index out anew).
    if (file_.pxDeferred_) file_.distrustPx_ = true;
    Status st = file_.loadView();
    if (!st.ok() && group_->failure.ok()) group_->failure = st;
  } else {
    file_.rollBack();
    // Nothing is held for a commit any more: other writers may go on (a
    // failed post, a key violation say, must not keep them out for as long
    // as the cursor stays open).
    file_.releaseReservation();
  }
}

Status TableFile::Writer::begin() {
  if (file_.readOnly_) return Status(code::kInvalidParameter, file_.dbPath_ + " is open read-only");
  if (!file_.lock_) return Status(code::kInvalidParameter, file_.dbPath_ + " has no lock file");
  for (const auto& c : file_.schema_.companionFiles) {
    if (!detail::endsWithIgnoreCase(c, ".val"))
      return Status(code::kNotSupported, file_.dbPath_ + " has secondary indexes (" + c +
                                             ") that this engine does not maintain; it is not written to");
  }
  group_ = dir_ ? dir_->group.get() : nullptr;
  if (group_ && !group_->failure.ok()) return group_->failure;
  if (!file_.reserved_) {
    // Inside a group that already holds other tables, waiting long for one
    // more could be a wait on a process that waits for us: give up soon.
    const int timeout = group_ && !group_->tables.empty() ? kGroupLockTimeoutMs : kWriteLockTimeoutMs;
    PDX_RETURN_IF_ERROR(file_.reserve(timeout));
    if (group_) group_->tables.push_back(file_.shared_from_this());
  }
  begun_ = true;
  file_.writing_ = true;
  if (file_.keyed_ && file_.header_.sortOrder != 0) {
    for (int i = 0; i < file_.layout_.keyFields; ++i)
      if (file_.layout_.fields[size_t(i)].def.type == FieldType::kAlpha)
        return Status(code::kNotSupported, file_.dbPath_ +
                                               " orders its text keys by a national sort order; this engine writes only "
                                               "tables in plain (ascii) order");
  }
  return {};
}

Status TableFile::reserve(int timeoutMs) {
  Status st = lock_->lock(kReservedOffset, 1, LockMode::kExclusive, timeoutMs);
  if (!st.ok()) return Status(st.code(), "table " + dbPath_ + " is being written by another user");
  // With the reservation no other process writes: bring the view up to date
  // (recovering a dead writer's commit first) and keep it.
  st = refresh();
  if (!st.ok()) {
    lock_->unlock(kReservedOffset, 1);
    return st;
  }
  reserved_ = true;
  return {};
}

void TableFile::releaseReservation() {
  if (reserved_ && lock_) lock_->unlock(kReservedOffset, 1);
  reserved_ = false;
}

std::vector<detail::PendingFile*> TableFile::pendingFiles() {
  std::vector<detail::PendingFile*> out;
  for (detail::PendingFile* f : {db_.get(), px_.get(), mbFile_.get()})
    if (f && f->hasChanges()) out.push_back(f);
  return out;
}

void TableFile::committed(uint64_t counter) {
  // Only the files this commit wrote have new stamps.
  const bool dbChanged = db_ && db_->hasChanges(), pxChanged = px_ && px_->hasChanges();
  const bool mbChanged = mbFile_ && mbFile_->hasChanges();
  for (detail::PendingFile* f : {db_.get(), px_.get(), mbFile_.get()})
    if (f) f->committed();
  pxCreated_ = false;  // the new index is the table's now
  counterSeen_ = counter;
  if (!stampsKnown_ || !lock_) allRestamp_ = true;
  dbRestamp_ |= dbChanged;
  pxRestamp_ |= pxChanged;
  mbRestamp_ |= mbChanged;
  ++viewVersion_;
}

// ---------------------------------------------------------------- reuse

void TableFile::noteStamp(File* file, FileStamp& into) {
  auto st = file->stamp();
  if (st.ok()) into = *st;
  else stampsKnown_ = false;
}

void TableFile::catchUpStamps() {
  if (allRestamp_) {
    noteStamps();
    return;
  }
  if (dbRestamp_) noteStamp(db_.get(), dbStamp_);
  if (pxRestamp_ && px_) noteStamp(px_.get(), pxStamp_);
  if (mbRestamp_ && mbFile_) noteStamp(mbFile_.get(), mbStamp_);
  dbRestamp_ = pxRestamp_ = mbRestamp_ = false;
}

bool TableFile::cursorClosed() {
  if (--cursors_ != 0) return false;
  catchUpStamps();
  return true;
}

void TableFile::noteStamps() {
  dbRestamp_ = pxRestamp_ = mbRestamp_ = allRestamp_ = false;
  stampsKnown_ = lock_ != nullptr;
  if (!lock_) return;
  if (auto st = lock_->stamp(); st.ok()) lockStamp_ = *st;
  else stampsKnown_ = false;
  noteStamp(db_.get(), dbStamp_);
  if (px_) noteStamp(px_.get(), pxStamp_);
  if (mbFile_) noteStamp(mbFile_.get(), mbStamp_);
}

bool TableFile::matchesDisk(const std::vector<std::string>& dirNames) {
  catchUpStamps();
  if (!stampsKnown_ || !lock_) return false;
  const Companions c = companionsIn(dirNames, dbPath_);
  if (!c.problem.ok() || c.lock != lockPath_ || c.px != pxPath_ || c.mb != mbPath_ || c.others != schema_.companionFiles) return false;
  auto same = [&](const std::string& path, const FileStamp& seen) {
    auto now = env_->stamp(path);
    return now.ok() && *now == seen;
  };
  if (!same(dbPath_, dbStamp_)) return false;
  if (px_ && !same(pxPath_, pxStamp_)) return false;
  if (mbFile_ && !same(mbPath_, mbStamp_)) return false;
  // The lock file's times move with its shared words: only its identity counts.
  auto lock = env_->stamp(lockPath_);
  return lock.ok() && lock->sameFile(lockStamp_);
}

void TableFile::rollBack() {
  for (detail::PendingFile* f : {db_.get(), px_.get(), mbFile_.get()})
    if (f) f->discard();
  pxDeferred_ = false;
  dirty_.clear();
  forgetPxLayout();
  headerDirty_ = false;
  counterSeen_ = ~uint64_t{0};  // rebuild the view from the files at the next read
  if (pxCreated_) {
    px_.reset();
    pxPath_.clear();
    pxCreated_ = false;
  }
  Status st = lock_ ? refresh() : loadView();
  (void)st;  // a failure here shows again at the next read
}

Result<std::string*> TableFile::dirtyBlock(size_t chainIndex) {
  const uint16_t number = blocks_[chainIndex].number;
  if (auto d = dirty_.find(number); d != dirty_.end()) return &d->second;
  PDX_ASSIGN_OR_RETURN(const std::string* clean, blockBytes(chainIndex));
  std::string copy = *clean;
  forgetMemo();
  cache_.erase(number);
  return &dirty_.emplace(number, std::move(copy)).first->second;
}

void TableFile::setCount(size_t chainIndex, int count) {
  blocks_[chainIndex].count = static_cast<uint16_t>(count);
  std::string& b = dirty_.at(blocks_[chainIndex].number);
  putU16(b.data() + 4, static_cast<uint16_t>(static_cast<int16_t>((count - 1) * header_.recordSize)));
  prefixValid_ = false;
  markPxEntry(chainIndex);
}

uint32_t TableFile::linksOf(const std::string& image) const {
  if (image.size() != pxBlockSize_ || image.size() < 4) return kNoLinks;
  return uint32_t{getU16(image.data())} | uint32_t{getU16(image.data() + 2)} << 16;
}

void TableFile::noteLinks() {
  const size_t known = std::min(pxLinks_.size(), pxImages_.size());
  pxLinks_.resize(pxImages_.size());
  for (size_t i = known; i < pxImages_.size(); ++i) pxLinks_[i] = linksOf(pxImages_[i]);
}

void TableFile::forgetPxLayout() {
  pxLeaves_.clear();
  pxUpper_.clear();
  pxImages_.clear();
  pxLinks_.clear();
  pxLevelCache_.clear();
  pxLayoutWhole_ = false;
  pxRebuild_ = true;
  pxChanged_ = false;
  pxFindLeaf_ = pxFindStart_ = 0;
}

void TableFile::markPxRebuild() {
  pxRebuild_ = true;
  pxChanged_ = true;
}

size_t TableFile::pxLeafOf(size_t at, bool inserting) {
  if (pxRebuild_ || pxLeaves_.empty()) return SIZE_MAX;
  size_t j = pxFindLeaf_, start = pxFindStart_;
  if (j >= pxLeaves_.size()) j = start = 0;
  // Changes come in runs at one place: the walk starts where the last ended.
  while (j > 0 && at < start) start -= pxLeaves_[--j].entries;
  for (;;) {
    const size_t end = start + pxLeaves_[j].entries;
    // An entry inserted between two leaves goes to the end of the first, so
    // the second keeps its first key.
    if (at < end || (inserting && at == end)) break;
    if (j + 1 == pxLeaves_.size()) return SIZE_MAX;  // out of step with blocks_
    start = end;
    ++j;
  }
  pxFindLeaf_ = j;
  pxFindStart_ = start;
  return j;
}

TableFile::PxLeaf* TableFile::pxTouch(size_t at, bool inserting) {
  pxChanged_ = true;
  const size_t j = pxLeafOf(at, inserting);
  if (j == SIZE_MAX) {
    pxRebuild_ = true;
    return nullptr;
  }
  pxLeaves_[j].dirty = true;
  return &pxLeaves_[j];
}

void TableFile::pxInserted(size_t at) {
  if (PxLeaf* leaf = pxTouch(at, true)) ++leaf->entries;
}

void TableFile::pxRemoved(size_t at) {
  PxLeaf* leaf = pxTouch(at, false);
  if (!leaf || --leaf->entries > 0) return;
  const size_t j = static_cast<size_t>(leaf - pxLeaves_.data());
  pxLeaves_.erase(pxLeaves_.begin() + static_cast<std::ptrdiff_t>(j));
  pxFindLeaf_ = pxFindStart_ = 0;
  // Its neighbours now point past it in the chain.
  if (j > 0) pxLeaves_[j - 1].dirty = true;
  if (j < pxLeaves_.size()) pxLeaves_[j].dirty = true;
}

void TableFile::markPxEntry(size_t chainIndex) { pxTouch(chainIndex, false); }

void TableFile::setFirstKey(size_t chainIndex) {
  if (!keyed_ || blocks_[chainIndex].count == 0) return;
  const std::string& b = dirty_.at(blocks_[chainIndex].number);
  std::memcpy(firstKeys_.at(chainIndex), b.data() + detail::kBlockHeaderSize, keyBytes());
  markPxEntry(chainIndex);
}

Result<size_t> TableFile::addBlock(size_t at) {
  if (fileBlocks_ >= detail::kMaxBlockNumber)
    return Status(code::kTableFull, dbPath_ + " is full: a table holds at most 65535 blocks");
  const uint16_t number = static_cast<uint16_t>(fileBlocks_ + 1);
  const uint16_t prevNum = at > 0 ? blocks_[at - 1].number : 0;
  const uint16_t nextNum = at < blocks_.size() ? blocks_[at].number : 0;
  if (prevNum) {
    PDX_ASSIGN_OR_RETURN(std::string * b, dirtyBlock(at - 1));
    putU16(b->data(), number);
  }
  if (nextNum) {
    PDX_ASSIGN_OR_RETURN(std::string * b, dirtyBlock(at));
    putU16(b->data() + 2, number);
  }
  std::string b(header_.blockSize, '\0');
  putU16(b.data(), nextNum);
  putU16(b.data() + 2, prevNum);
  putU16(b.data() + 4, static_cast<uint16_t>(-static_cast<int16_t>(header_.recordSize)));
  fileBlocks_ = number;
  forgetMemo();
  cache_.erase(number);
  dirty_[number] = std::move(b);
  BlockInfo info;
  info.number = number;
  if (keyed_) {
    const std::string key = at > 0 ? std::string(firstKey(at - 1), keyBytes()) : std::string(keyBytes(), '\0');
    firstKeys_.insert(at, key.data());
  }
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(at), info);
  prefixValid_ = false;
  pxInserted(at);
  headerDirty_ = true;
  return at;
}

Status TableFile::unlinkBlock(size_t ci) {
  const uint16_t prevNum = ci > 0 ? blocks_[ci - 1].number : 0;
  const uint16_t nextNum = ci + 1 < blocks_.size() ? blocks_[ci + 1].number : 0;
  if (prevNum) {
    PDX_ASSIGN_OR_RETURN(std::string * b, dirtyBlock(ci - 1));
    putU16(b->data(), nextNum);
  }
  if (nextNum) {
    PDX_ASSIGN_OR_RETURN(std::string * b, dirtyBlock(ci + 1));
    putU16(b->data() + 2, prevNum);
  }
  const uint16_t freed = blocks_[ci].number;
  blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(ci));
  if (keyed_) firstKeys_.erase(ci);
  dirty_.erase(freed);
  forgetMemo();
  cache_.erase(freed);
  prefixValid_ = false;
  pxRemoved(ci);
  headerDirty_ = true;

  // Keep the file compact: the block with the highest number moves into the
  // freed place and the file shrinks by one block.
  const uint16_t last = fileBlocks_;
  if (freed == last) {
    --fileBlocks_;
    return {};
  }
  size_t k = blocks_.size();
  for (size_t i = 0; i < blocks_.size(); ++i)
    if (blocks_[i].number == last) k = i;
  if (k == blocks_.size()) {
    // The last block is not in the chain (left over by another program): the
    // freed block stays as an empty, unlinked block.
    std::string empty(header_.blockSize, '\0');
    putU16(empty.data() + 4, static_cast<uint16_t>(-static_cast<int16_t>(header_.recordSize)));
    dirty_[freed] = std::move(empty);
    return {};
  }
  PDX_ASSIGN_OR_RETURN(std::string * moving, dirtyBlock(k));
  std::string bytes = std::move(*moving);
  dirty_.erase(last);
  forgetMemo();
  cache_.erase(last);
  dirty_[freed] = std::move(bytes);
  blocks_[k].number = freed;
  if (k > 0) {
    PDX_ASSIGN_OR_RETURN(std::string * b, dirtyBlock(k - 1));
    putU16(b->data(), freed);
  }
  if (k + 1 < blocks_.size()) {
    PDX_ASSIGN_OR_RETURN(std::string * b, dirtyBlock(k + 1));
    putU16(b->data() + 2, freed);
  }
  markPxEntry(k);
  --fileBlocks_;
  return {};
}

Result<TableFile::Pos> TableFile::insertAt(size_t ci, int slot, std::string_view rec) {
  const size_t rs = header_.recordSize;
  if (blocks_.empty()) {
    PDX_ASSIGN_OR_RETURN(ci, addBlock(0));
    slot = 0;
  }
  int count = blocks_[ci].count;
  if (count >= capacity_) {
    if (slot == count && ci + 1 == blocks_.size()) {
      // Appending past the last full block: start a new one, so that tables
      // loaded in key order fill their blocks completely.
      PDX_ASSIGN_OR_RETURN(ci, addBlock(ci + 1));
      slot = 0;
    } else {
      PDX_ASSIGN_OR_RETURN(size_t nb, addBlock(ci + 1));
      const int half = count / 2;
      PDX_ASSIGN_OR_RETURN(std::string * src, dirtyBlock(ci));
      PDX_ASSIGN_OR_RETURN(std::string * dst, dirtyBlock(nb));
      char* s = src->data() + detail::kBlockHeaderSize;
      std::memcpy(dst->data() + detail::kBlockHeaderSize, s + size_t(half) * rs, size_t(count - half) * rs);
      std::memset(s + size_t(half) * rs, 0, size_t(count - half) * rs);
      setCount(nb, count - half);
      setCount(ci, half);
      setFirstKey(nb);
      if (slot > half) {
        ci = nb;
        slot -= half;
      }
    }
  }
  PDX_ASSIGN_OR_RETURN(std::string * b, dirtyBlock(ci));
  count = blocks_[ci].count;
  char* recs = b->data() + detail::kBlockHeaderSize;
  std::memmove(recs + size_t(slot + 1) * rs, recs + size_t(slot) * rs, size_t(count - slot) * rs);
  std::memcpy(recs + size_t(slot) * rs, rec.data(), rs);
  setCount(ci, count + 1);
  if (slot == 0) setFirstKey(ci);
  ++numRecords_;
  headerDirty_ = true;
  return Pos{ci, slot};
}

Result<TableFile::Pos> TableFile::Writer::insert(std::string_view rec) {
  TableFile& f = file_;
  if (rec.size() != f.header_.recordSize) return Status(code::kInvalidParameter, "record of the wrong size");
  if (f.numRecords_ == UINT32_MAX) return Status(code::kTableFull, f.dbPath_ + " is full");
  if (!f.keyed_) {
    const size_t last = f.blocks_.empty() ? 0 : f.blocks_.size() - 1;
    return f.insertAt(last, f.blocks_.empty() ? 0 : f.blocks_[last].count, rec);
  }
  const std::string_view key = rec.substr(0, static_cast<size_t>(f.layout_.keySize));
  // Keys that arrive in ascending order (a load, numbers that grow) go after
  // the last record: one comparison instead of a search.
  if (!f.blocks_.empty() && f.blocks_.back().count > 0) {
    const size_t last = f.blocks_.size() - 1;
    const int count = f.blocks_[last].count;
    PDX_ASSIGN_OR_RETURN(const std::string* b, f.blockBytes(last));
    const char* greatest = b->data() + detail::kBlockHeaderSize + size_t(count - 1) * f.header_.recordSize;
    if (f.compareKey(greatest, key.data(), key.size()) < 0) return f.insertAt(last, count, rec);
  }
  PDX_ASSIGN_OR_RETURN(std::optional<Pos> at, f.lowerBound(key));
  if (at) {
    PDX_ASSIGN_OR_RETURN(const char* found, f.record(*at));
    if (f.compareKey(found, key.data(), key.size()) == 0)
      return Status(code::kKeyViolation, "key violation: " + f.dbPath_ + " already has a record with this key");
    return f.insertAt(at->block, at->slot, rec);
  }
  const size_t last = f.blocks_.empty() ? 0 : f.blocks_.size() - 1;
  return f.insertAt(last, f.blocks_.empty() ? 0 : f.blocks_[last].count, rec);
}

Status TableFile::Writer::replace(Pos pos, std::string_view rec) {
  TableFile& f = file_;
  if (pos.block >= f.blocks_.size() || pos.slot >= f.blocks_[pos.block].count)
    return Status(code::kNoCurrentRecord, "no record to replace");
  PDX_ASSIGN_OR_RETURN(std::string * b, f.dirtyBlock(pos.block));
  std::memcpy(b->data() + detail::kBlockHeaderSize + size_t(pos.slot) * f.header_.recordSize, rec.data(),
              f.header_.recordSize);
  if (pos.slot == 0) f.setFirstKey(pos.block);
  f.headerDirty_ = true;
  return {};
}

Status TableFile::Writer::remove(Pos pos) {
  TableFile& f = file_;
  const size_t rs = f.header_.recordSize;
  if (pos.block >= f.blocks_.size() || pos.slot >= f.blocks_[pos.block].count)
    return Status(code::kNoCurrentRecord, "no record to delete");
  PDX_ASSIGN_OR_RETURN(std::string * b, f.dirtyBlock(pos.block));
  const int count = f.blocks_[pos.block].count;
  char* recs = b->data() + detail::kBlockHeaderSize;
  std::memmove(recs + size_t(pos.slot) * rs, recs + size_t(pos.slot + 1) * rs, size_t(count - pos.slot - 1) * rs);
  std::memset(recs + size_t(count - 1) * rs, 0, rs);
  f.setCount(pos.block, count - 1);
  --f.numRecords_;
  f.headerDirty_ = true;
  if (count - 1 == 0) return f.unlinkBlock(pos.block);
  if (pos.slot == 0) f.setFirstKey(pos.block);
  return {};
}

Status TableFile::Writer::removeAll() {
  TableFile& f = file_;
  f.blocks_.clear();
  f.firstKeys_.reset(f.keyBytes());
  f.dirty_.clear();
  f.forgetMemo();
  f.cache_.clear();
  f.fileBlocks_ = 0;
  f.numRecords_ = 0;
  f.prefixValid_ = false;
  f.markPxRebuild();
  f.headerDirty_ = true;
  if (f.mb_) PDX_RETURN_IF_ERROR(f.mb_->clear());
  return {};
}

Result<detail::BlobRef> TableFile::Writer::writeBlob(std::string_view data) {
  if (!file_.mb_) return file_.mbStatus_.ok() ? Status(code::kBlobFileMissing, "no memo file") : file_.mbStatus_;
  return file_.mb_->write(data);
}

Status TableFile::Writer::releaseBlob(const detail::BlobRef& ref) {
  if (!file_.mb_) return {};
  return file_.mb_->release(ref);
}

Status TableFile::Writer::commit() {
  if (group_ && group_->holdPosts) {
    // The blocks stay in memory until the group commits (writeHeldChanges).
    committed_ = true;
    return {};
  }
  Status st = file_.flush(/*deferIndex=*/group_ != nullptr);
  if (group_) {
    // The group commits every table at once; until then the changes stay
    // held in this process.
    committed_ = st.ok();
    if (!st.ok() && group_->failure.ok()) group_->failure = st;
    return st;
  }
  if (!st.ok()) return st;  // the destructor rolls back
  committed_ = true;
  std::vector<TableFile*> one{&file_};
  return commitTables(*dir_, one);
}

Status TableFile::flush(bool deferIndex) {
  forgetMemo();
  const uint16_t oldBlocks = header_.fileBlocks;
  for (auto& [number, bytes] : dirty_) {
    if (number > fileBlocks_) continue;
    PDX_RETURN_IF_ERROR(db_->write(header_.headerSize + uint64_t{number - 1u} * header_.blockSize, bytes));
  }
  if (fileBlocks_ < oldBlocks)
    PDX_RETURN_IF_ERROR(db_->truncate(header_.headerSize + uint64_t{fileBlocks_} * header_.blockSize));
  for (auto& [number, bytes] : dirty_)
    if (number <= fileBlocks_) cache_.put(number, std::move(bytes));
  dirty_.clear();

  if (headerDirty_) {
    char* p = rawHeader_.data();
    putU32(p + detail::off::kNumRecords, numRecords_);
    putU16(p + detail::off::kUsedBlocks, fileBlocks_);
    putU16(p + detail::off::kFileBlocks, fileBlocks_);
    putU16(p + detail::off::kFirstBlock, blocks_.empty() ? 0 : blocks_.front().number);
    putU16(p + detail::off::kLastBlock, blocks_.empty() ? 0 : blocks_.back().number);
    putU16(p + detail::off::kMaxBlocks, fileBlocks_);
    putU32(p + detail::off::kAutoInc, autoInc_);
    const size_t n = std::min<size_t>(rawHeader_.size(), 0x78);
    PDX_RETURN_IF_ERROR(db_->write(0, std::string_view(rawHeader_.data(), n)));
    header_.numRecords = numRecords_;
    header_.fileBlocks = header_.usedBlocks = fileBlocks_;
    header_.firstBlock = blocks_.empty() ? 0 : blocks_.front().number;
    header_.lastBlock = blocks_.empty() ? 0 : blocks_.back().number;
    header_.autoInc = autoInc_;
    headerDirty_ = false;
  }
  // The index changes with every post; in a write group it is laid out once
  // for all of them.
  if (deferIndex) {
    pxDeferred_ = pxDeferred_ || (keyed_ && pxChanged_);
    return {};
  }
  return writeIndexIfChanged();
}

Status TableFile::writeHeldChanges() {
  if (!dirty_.empty() || headerDirty_) PDX_RETURN_IF_ERROR(flush(/*deferIndex=*/true));
  return writeIndexIfChanged();
}

Status TableFile::writeIndexIfChanged() {
  if (keyed_ && (pxChanged_ || !pxUsable_)) PDX_RETURN_IF_ERROR(writePx());
  pxChanged_ = false;
  pxDeferred_ = false;
  return {};
}

Status TableFile::writePx() {
  const size_t keySize = static_cast<size_t>(layout_.keySize);
  const size_t recSize = keySize + 6;
  // The header is rewritten in place below: without one read or made, the
  // index is made anew.
  if (pxHeader_.size() < detail::off::kMaxBlocks + 2) pxUsable_ = false;
  if (!pxUsable_ || !px_) {
    if (!px_) {
      // A new index file starts empty on disk; its contents come with the commit.
      if (pxPath_.empty()) pxPath_ = dirOf(dbPath_) + "/" + stemOf(dbPath_) + ".PX";
      auto px = env_->open(pxPath_, env_->exists(pxPath_) ? Env::OpenMode::kReadWrite : Env::OpenMode::kCreate);
      if (!px.ok()) return px.status();
      px_ = std::make_unique<detail::PendingFile>(std::move(px).value());
      pxCreated_ = true;
    }
    PDX_RETURN_IF_ERROR(px_->truncate(0));
    std::vector<FieldDef> keyDefs(header_.fields.begin(), header_.fields.begin() + layout_.keyFields);
    pxBlockSize_ = header_.blockSize;
    pxHeader_ = detail::buildIndexHeader(keyDefs, pxBlockSize_, stemOf(dbPath_) + ".PX", header_.sortOrder);
    forgetPxLayout();
  }
  const size_t perBlock = (pxBlockSize_ - detail::kBlockHeaderSize) / recSize;
  const size_t n = blocks_.size();
  pxFindLeaf_ = pxFindStart_ = 0;

  // Leaves. Laid out anew they are full, numbered 1, 2, ... in key order.
  // Otherwise each keeps its block; one that overflowed is cut in pieces with
  // room to spare for the inserts to come, except the last, which grows by
  // appends and is cut into full leaves.
  if (!pxRebuild_) {
    size_t covered = 0;
    for (const PxLeaf& l : pxLeaves_) covered += l.entries;
    if (covered != n) pxRebuild_ = true;  // never expected: lay it out anew rather than write it wrong
  }
  // Most commits leave every leaf within its bounds: then no leaf moves and
  // the leaves are not copied.
  bool reshaped = true;
  if (pxRebuild_) {
    pxLeaves_.clear();
    pxUpper_.clear();
    for (size_t from = 0; from < n; from += perBlock)
      pxLeaves_.push_back({static_cast<uint16_t>(std::min<size_t>(pxLeaves_.size() + 1, 0xFFFF)),
                           static_cast<uint32_t>(std::min(perBlock, n - from)), true});
  } else if (std::none_of(pxLeaves_.begin(), pxLeaves_.end(),
                          [&](const PxLeaf& l) { return l.entries == 0 || l.entries > perBlock; })) {
    reshaped = false;
  } else {
    std::vector<PxLeaf> leaves;
    leaves.reserve(pxLeaves_.size() + 1);
    for (size_t j = 0; j < pxLeaves_.size(); ++j) {
      PxLeaf l = pxLeaves_[j];
      if (l.entries == 0) {
        if (!leaves.empty()) leaves.back().dirty = true;
        if (j + 1 < pxLeaves_.size()) pxLeaves_[j + 1].dirty = true;
        continue;
      }
      if (l.entries <= perBlock) {
        leaves.push_back(l);
        continue;
      }
      const bool last = j + 1 == pxLeaves_.size();
      size_t pieces = (l.entries + perBlock - 1) / perBlock;
      if (!last) pieces = std::max(pieces, (size_t{l.entries} * 4 + perBlock * 3 - 1) / (perBlock * 3));
      size_t left = l.entries;
      for (size_t k = 0; k < pieces; ++k) {
        const size_t size = last ? std::min(left, perBlock) : left / (pieces - k);
        leaves.push_back({k == 0 ? l.number : uint16_t{0}, static_cast<uint32_t>(size), true});
        left -= size;
      }
      if (j + 1 < pxLeaves_.size()) pxLeaves_[j + 1].dirty = true;  // its chain neighbour changed
    }
    pxLeaves_ = std::move(leaves);
  }
  pxRebuild_ = false;

  // The levels above hold one entry per block below, packed; they are few and
  // rebuilt whole, each keeping its block where it can.
  const size_t leafCount = pxLeaves_.size();
  std::vector<size_t> levelSizes;
  for (size_t below = leafCount; below > 1;) {
    below = (below + perBlock - 1) / perBlock;
    levelSizes.push_back(below);
  }
  size_t total = leafCount;
  for (size_t s : levelSizes) total += s;
  if (total > detail::kMaxBlockNumber) return Status(code::kTableFull, "primary index of " + dbPath_ + " is full");

  // The file holds exactly blocks 1..total: a block keeps its number when it
  // is in that range, the others fill the gaps left. When no leaf moved and
  // the index kept its size, the numbers the last layout gave still do.
  const bool numbersKept = !reshaped && pxImages_.size() == total && pxUpper_.size() == total - leafCount;
  std::vector<uint16_t> upper;
  if (numbersKept) {
    upper = pxUpper_;
  } else {
    std::vector<uint8_t> taken(total + 1, 0);
    for (PxLeaf& l : pxLeaves_) {
      if (l.number == 0 || l.number > total || taken[l.number]) {
        l.number = 0;
        l.dirty = true;
      } else {
        taken[l.number] = 1;
      }
    }
    for (uint16_t u : pxUpper_)
      if (u != 0 && u <= total && !taken[u] && upper.size() < total - leafCount) {
        taken[u] = 1;
        upper.push_back(u);
      }
    size_t nextFree = 1;
    auto freeNumber = [&] {
      while (taken[nextFree]) ++nextFree;
      taken[nextFree] = 1;
      return static_cast<uint16_t>(nextFree);
    };
    for (PxLeaf& l : pxLeaves_)
      if (l.number == 0) l.number = freeNumber();
    while (upper.size() < total - leafCount) upper.push_back(freeNumber());
  }

  // Every block of the index, leaves first and the root last, forms one
  // chain, as in the indexes the original engine writes.
  auto chainAt = [&](size_t i) -> uint16_t {
    if (i >= total) return 0;
    return i < leafCount ? pxLeaves_[i].number : upper[i - leafCount];
  };
  auto putEntry = [&](char* e, std::string_view key, size_t child, int64_t count) {
    std::memset(e, 0, recSize);
    std::memcpy(e, key.data(), std::min(key.size(), keySize));
    putShortBe(e + keySize, static_cast<int>(child));
    putShortBe(e + keySize + 2, static_cast<int>(std::min<int64_t>(count, 32767)));
  };
  auto makeBlock = [&](size_t entries, uint16_t prev, uint16_t next) {
    std::string b(pxBlockSize_, '\0');
    putU16(b.data(), next);
    putU16(b.data() + 2, prev);
    putU16(b.data() + 4, static_cast<uint16_t>(static_cast<int16_t>((static_cast<int>(entries) - 1) * static_cast<int>(recSize))));
    return b;
  };
  pxImages_.resize(total);
  noteLinks();
  auto store = [&](uint16_t number, std::string image) -> Status {
    std::string& old = pxImages_[number - 1u];
    if (old == image) return {};
    PDX_RETURN_IF_ERROR(px_->write(pxHeader_.size() + uint64_t{number - 1u} * pxBlockSize_, image));
    old = std::move(image);
    pxLinks_[number - 1u] = linksOf(old);
    return {};
  };
  // From the links kept beside the images: walking a few hundred leaves does
  // not touch a few hundred images.
  auto linksMatch = [&](uint16_t number, uint16_t prev, uint16_t next) {
    return pxLinks_[number - 1u] == (uint32_t{next} | uint32_t{prev} << 16);
  };
  // Leaf j, over blocks_[first, to): its record count when changed or not
  // known, and its image when changed or its neighbours in the chain differ.
  auto layLeaf = [&](size_t j, size_t first, size_t to) -> Status {
    PxLeaf& l = pxLeaves_[j];
    if (l.dirty || l.records < 0) {
      l.records = 0;
      for (size_t i = first; i < to; ++i) l.records += blocks_[i].count;
    }
    const uint16_t prev = j > 0 ? chainAt(j - 1) : 0, next = chainAt(j + 1);
    if (!l.dirty && linksMatch(l.number, prev, next)) return {};
    std::string b = makeBlock(l.entries, prev, next);
    for (size_t i = first; i < to; ++i)
      putEntry(b.data() + detail::kBlockHeaderSize + (i - first) * recSize, std::string_view(firstKey(i), keySize),
               blocks_[i].number, blocks_[i].count);
    PDX_RETURN_IF_ERROR(store(l.number, std::move(b)));
    l.dirty = false;
    return {};
  };

  size_t root = leafCount == 1 ? pxLeaves_[0].number : 0;
  uint8_t levels = 1;
  // When no leaf moved and every level above kept its shape, only the leaves
  // that changed are visited, and above them only the blocks holding an entry
  // that changed: a commit to a large table does not walk all of its leaves.
  bool inPlace = numbersKept && pxLayoutWhole_ && !levelSizes.empty() && pxLevelCache_.size() == levelSizes.size();
  for (size_t li = 0; inPlace && li < levelSizes.size(); ++li) {
    const PxLevelCache& c = pxLevelCache_[li];
    const size_t entries = li == 0 ? leafCount : levelSizes[li - 1];
    inPlace = c.children.size() == entries && c.counts.size() == entries && c.keys.size() == entries * keySize &&
              c.numbers.size() == levelSizes[li];
  }
  pxLayoutWhole_ = false;  // until every block below is written
  if (inPlace) {
    // An entry of a level whose key, child or count differs from the cache
    // takes the new values; its index goes in `changed`.
    auto update = [&](PxLevelCache& c, size_t i, const char* key, uint16_t child, int64_t count) {
      char* cached = c.keys.data() + i * keySize;
      if (c.children[i] == child && c.counts[i] == count && std::memcmp(cached, key, keySize) == 0) return false;
      std::memcpy(cached, key, keySize);
      c.children[i] = child;
      c.counts[i] = count;
      return true;
    };
    std::vector<size_t> changed;
    size_t first = 0;
    for (size_t j = 0; j < leafCount; ++j) {
      const PxLeaf& l = pxLeaves_[j];
      const size_t to = first + l.entries;
      if (l.dirty || l.records < 0) {
        PDX_RETURN_IF_ERROR(layLeaf(j, first, to));
        if (update(pxLevelCache_[0], j, firstKey(first), l.number, l.records)) changed.push_back(j);
      }
      first = to;
    }
    size_t chainBase = leafCount;
    for (size_t li = 0; li < levelSizes.size(); ++li) {
      PxLevelCache& c = pxLevelCache_[li];
      std::vector<size_t> above;
      for (size_t k = 0; k < changed.size();) {
        const size_t j = changed[k] / perBlock;
        while (k < changed.size() && changed[k] / perBlock == j) ++k;
        const size_t from = j * perBlock, to = std::min(c.children.size(), from + perBlock);
        const size_t at = chainBase + j;
        std::string b = makeBlock(to - from, chainAt(at - 1), chainAt(at + 1));
        int64_t sum = 0;
        for (size_t i = from; i < to; ++i) {
          putEntry(b.data() + detail::kBlockHeaderSize + (i - from) * recSize,
                   std::string_view(c.keys.data() + i * keySize, keySize), c.children[i], c.counts[i]);
          sum += c.counts[i];
        }
        PDX_RETURN_IF_ERROR(store(c.numbers[j], std::move(b)));
        if (li + 1 < levelSizes.size() &&
            update(pxLevelCache_[li + 1], j, c.keys.data() + from * keySize, c.numbers[j], sum))
          above.push_back(j);
      }
      chainBase += levelSizes[li];
      changed = std::move(above);
    }
    levels = static_cast<uint8_t>(1 + levelSizes.size());
    root = pxLevelCache_.back().numbers[0];
  } else {
    struct Entry { std::string_view key; size_t child; int64_t count; };
    std::vector<Entry> level;
    level.reserve(leafCount);
    size_t first = 0;
    for (size_t j = 0; j < leafCount; ++j) {
      const PxLeaf& l = pxLeaves_[j];
      const size_t to = first + l.entries;
      PDX_RETURN_IF_ERROR(layLeaf(j, first, to));
      level.push_back({std::string_view(firstKey(first), keySize), l.number, l.records});
      first = to;
    }

    size_t chainIndex = leafCount;
    pxLevelCache_.resize(levelSizes.size());
    for (size_t li = 0; li < levelSizes.size(); ++li) {
      ++levels;
      PxLevelCache& cache = pxLevelCache_[li];
      // Entries as the level's blocks last held them: only blocks whose part
      // differs are built again.
      const bool sameShape = cache.children.size() == level.size() && cache.numbers.size() == levelSizes[li];
      auto entrySame = [&](size_t i) {
        return cache.children[i] == level[i].child && cache.counts[i] == level[i].count &&
               std::memcmp(cache.keys.data() + i * keySize, level[i].key.data(), keySize) == 0;
      };
      std::vector<Entry> up;
      up.reserve(levelSizes[li]);
      for (size_t j = 0; j < levelSizes[li]; ++j, ++chainIndex) {
        const size_t from = j * perBlock, to = std::min(level.size(), from + perBlock);
        const uint16_t number = chainAt(chainIndex), prev = chainAt(chainIndex - 1), next = chainAt(chainIndex + 1);
        bool same = sameShape && cache.numbers[j] == number && linksMatch(number, prev, next);
        int64_t sum = 0;
        for (size_t i = from; i < to; ++i) {
          sum += level[i].count;
          if (same && !entrySame(i)) same = false;
        }
        if (!same) {
          std::string b = makeBlock(to - from, prev, next);
          for (size_t i = from; i < to; ++i)
            putEntry(b.data() + detail::kBlockHeaderSize + (i - from) * recSize, level[i].key, level[i].child, level[i].count);
          PDX_RETURN_IF_ERROR(store(number, std::move(b)));
        }
        up.push_back({level[from].key, number, sum});
      }
      cache.keys.resize(level.size() * keySize);
      cache.children.resize(level.size());
      cache.counts.resize(level.size());
      for (size_t i = 0; i < level.size(); ++i) {
        std::memcpy(cache.keys.data() + i * keySize, level[i].key.data(), keySize);
        cache.children[i] = static_cast<uint16_t>(level[i].child);
        cache.counts[i] = level[i].count;
      }
      cache.numbers.clear();
      for (const Entry& e : up) cache.numbers.push_back(static_cast<uint16_t>(e.child));
      level = std::move(up);
      if (level.size() == 1) root = level[0].child;
    }
  }
  std::string h = pxHeader_;
  char* p = h.data();
  // Every block but the root is named by one entry of the level above.
  putU32(p + detail::off::kNumRecords, static_cast<uint32_t>(n + (total > 0 ? total - 1 : 0)));
  putU16(p + detail::off::kUsedBlocks, static_cast<uint16_t>(total));
  putU16(p + detail::off::kFileBlocks, static_cast<uint16_t>(total));
  putU16(p + detail::off::kFirstBlock, chainAt(0));
  putU16(p + detail::off::kLastBlock, total ? chainAt(total - 1) : 0);
  putU16(p + detail::off::kMaxBlocks, static_cast<uint16_t>(total));
  putU16(p + detail::off::kIndexRoot, static_cast<uint16_t>(root));
  p[detail::off::kIndexLevels] = static_cast<char>(levels);
  if (h != pxHeader_ || !pxUsable_) {
    PDX_RETURN_IF_ERROR(px_->write(0, h));
    pxHeader_ = std::move(h);
  }
  PDX_ASSIGN_OR_RETURN(uint64_t size, px_->size());
  const uint64_t want = pxHeader_.size() + uint64_t{total} * pxBlockSize_;
  if (size > want) PDX_RETURN_IF_ERROR(px_->truncate(want));
  pxUpper_ = std::move(upper);
  pxUsable_ = true;
  distrustPx_ = false;
  pxRoot_ = static_cast<uint16_t>(root);
  pxLevels_ = levels;
  pxLayoutWhole_ = true;
  return {};
}

}  // namespace pdx
