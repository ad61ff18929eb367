#include "redo_log.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>

#include "file_names.h"
#include "format.h"
#include "journal.h"
#include "pdx/echo.h"
#include "sync_together.h"

namespace pdx::detail {

namespace {

constexpr char kMagic[8] = {'T', 'M', 'R', 'E', 'D', 'O', '0', '1'};
constexpr char kRecordMagic[8] = {'T', 'M', 'R', 'E', 'D', 'R', 'E', 'C'};
constexpr uint64_t kNotCut = ~uint64_t{0};
constexpr uint64_t kLockOffset = 0;
constexpr size_t kRecordFixed = 44;  // magic .. number of files
constexpr size_t kCompareChunk = size_t{1} << 20;
constexpr uint64_t kMinAllocation = uint64_t{256} << 10;
constexpr uint64_t kMaxGrowth = uint64_t{4} << 20;
constexpr uint64_t kReadAhead = uint64_t{64} << 10;  // read ahead of the records, not far into the zeros kept after them

// Words of the log's lock file (see LockFile).
constexpr int kEndWord = 0;       // where the next record goes; 0: read the log to know
constexpr int kSeqWord = 1;       // sequence number of the next record
constexpr int kGenWord = 2;       // generation of the log
constexpr int kApplyingWord = 3;  // set while a holder writes records to the files (R3)
constexpr int kDeadWord = 4;      // checksum of a record whose append failed (R4)

void put64(std::string& out, uint64_t v) {
  char b[8];
  putU64(b, v);
  out.append(b, 8);
}
void put32(std::string& out, uint32_t v) {
  char b[4];
  putU32(b, v);
  out.append(b, 4);
}
// Records begin on a boundary of this size, so that each goes to the disk in
// one aligned write; the first after the header's block.
constexpr uint64_t kAlign = File::kDurableAlignment;
constexpr uint64_t kRecordsStart = kAlign;
uint64_t alignUp(uint64_t v) { return (v + kAlign - 1) / kAlign * kAlign; }

// A value no earlier generation or record of this log is likely to have.
// Each process draws its own: a child forked after the parent drew would
// otherwise draw the parent's next numbers, and two processes could start
// generations of the same number, each taking the other's old records for
// its own.
uint64_t freshNumber() {
  static std::mutex mutex;
  static pid_t seededFor = 0;
  static std::mt19937_64 random;
  std::lock_guard<std::mutex> hold(mutex);
  const pid_t pid = ::getpid();
  if (pid != seededFor) {
    std::random_device device;
    random.seed((uint64_t{device()} << 32) ^ device() ^ (uint64_t(pid) << 20) ^
                static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    seededFor = pid;
  }
  uint64_t v = 0;
  while (v == 0) v = random();
  return v;
}

std::string headerOf(uint64_t generation) {
  std::string h(kMagic, 8);
  put64(h, generation);
  put64(h, checksum(h));
  h.resize(RedoLog::kHeaderSize, '\0');
  return h;
}

// What one record does to one file, its bytes viewed in the log's text.
struct FileChange {
  std::string_view name;
  std::optional<uint64_t> cut;
  uint64_t size = 0;
  std::vector<std::pair<uint64_t, std::string_view>> runs;
};
using Record = std::vector<FileChange>;

// Reads bytes off a record, failing once past its end.
class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool take(size_t n, std::string_view& out) {
    if (s_.size() - at_ < n) return false;
    out = s_.substr(at_, n);
    at_ += n;
    return true;
  }
  bool number(int bytes, uint64_t& out) {
    std::string_view v;
    if (!take(static_cast<size_t>(bytes), v)) return false;
    out = bytes == 2 ? getU16(v.data()) : bytes == 4 ? getU32(v.data()) : getU64(v.data());
    return true;
  }
  bool atEnd() const { return at_ == s_.size(); }

 private:
  std::string_view s_;
  size_t at_ = 0;
};

// The files of a record whose frame is already checked. A name that is not a
// table file of the log's folder (one that climbs out with "..", an absolute
// path, a name of some other file) goes to `foreign`: such a log was not
// written by the engine, and nothing of it may reach a file.
std::optional<Record> parseBody(std::string_view body, std::optional<std::string_view>& foreign) {
  Reader r(body);
  uint64_t files = 0;
  if (!r.number(4, files)) return std::nullopt;
  Record record;
  for (uint64_t f = 0; f < files; ++f) {
    FileChange c;
    uint64_t nameLength = 0, cut = 0, runs = 0;
    if (!r.number(2, nameLength) || !r.take(nameLength, c.name) || !r.number(8, cut) || !r.number(8, c.size) ||
        !r.number(4, runs))
      return std::nullopt;
    if (!isTableFileName(c.name)) {
      foreign = c.name;
      return std::nullopt;
    }
    if (cut != kNotCut) c.cut = cut;
    for (uint64_t i = 0; i < runs; ++i) {
      uint64_t at = 0, length = 0;
      std::string_view bytes;
      if (!r.number(8, at) || !r.number(4, length) || !r.take(length, bytes)) return std::nullopt;
      c.runs.emplace_back(at, bytes);
    }
    record.push_back(std::move(c));
  }
  if (!r.atEnd()) return std::nullopt;
  return record;
}

// The contents a file must have once every record is written to it:
// `runs` over what it held, zeros over the rest of [floor, size).
struct Image {
  std::map<uint64_t, std::string_view> runs;  // by offset, none overlapping
  std::optional<uint64_t> floor;
  uint64_t size = 0;

  void cutAt(uint64_t limit) {
    for (auto it = runs.lower_bound(limit); it != runs.end();) it = runs.erase(it);
    if (auto it = runs.lower_bound(limit); it != runs.begin()) {
      --it;
      if (it->first + it->second.size() > limit) it->second = it->second.substr(0, limit - it->first);
    }
    floor = floor ? std::min(*floor, limit) : limit;
  }
  void write(uint64_t at, std::string_view bytes) {
    if (bytes.empty()) return;
    const uint64_t end = at + bytes.size();
    // Whatever the new run covers goes; the parts of runs it overlaps stay.
    auto it = runs.lower_bound(at);
    if (it != runs.begin()) {
      auto before = std::prev(it);
      const uint64_t beforeEnd = before->first + before->second.size();
      if (beforeEnd > at) {
        if (beforeEnd > end) runs.emplace(end, before->second.substr(end - before->first));
        before->second = before->second.substr(0, at - before->first);
      }
    }
    while (it != runs.end() && it->first < end) {
      const uint64_t itEnd = it->first + it->second.size();
      if (itEnd > end) runs.emplace(end, it->second.substr(end - it->first));
      it = runs.erase(it);
    }
    runs[at] = bytes;
  }
  void apply(const FileChange& c) {
    if (c.cut) cutAt(*c.cut);
    for (const auto& [at, bytes] : c.runs) write(at, bytes);
    // The file ends at its size after the commit: bytes past it, should the
    // file grow again, are zeros.
    cutAt(c.size);
    size = c.size;
  }
};

// Makes `file` hold `image`, writing only what differs. Returns whether it
// changed anything.
Result<bool> bringToImage(File& file, const Image& image) {
  PDX_ASSIGN_OR_RETURN(uint64_t current, file.size());
  bool changed = false;
  std::string have;
  auto ensure = [&](uint64_t at, std::string_view want) -> Status {
    for (size_t done = 0; done < want.size();) {
      const size_t n = std::min(kCompareChunk, want.size() - done);
      have.assign(n, '\0');
      size_t got = 0;
      if (at + done < current) {
        PDX_ASSIGN_OR_RETURN(got, file.read(at + done, n, have.data()));
      }
      if (got < n || std::memcmp(have.data(), want.data() + done, n) != 0) {
        PDX_RETURN_IF_ERROR(file.write(at + done, want.substr(done, n)));
        changed = true;
      }
      done += n;
    }
    return {};
  };
  const std::string zeros(kCompareChunk, '\0');
  auto ensureZeros = [&](uint64_t from, uint64_t to) -> Status {
    for (uint64_t at = from; at < to;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kCompareChunk, to - at));
      PDX_RETURN_IF_ERROR(ensure(at, std::string_view(zeros.data(), n)));
      at += n;
    }
    return {};
  };
  uint64_t zerosFrom = image.floor.value_or(image.size);
  for (const auto& [at, bytes] : image.runs) {
    if (zerosFrom < at) PDX_RETURN_IF_ERROR(ensureZeros(zerosFrom, at));
    PDX_RETURN_IF_ERROR(ensure(at, bytes));
    zerosFrom = std::max(zerosFrom, at + bytes.size());
  }
  if (zerosFrom < image.size) PDX_RETURN_IF_ERROR(ensureZeros(zerosFrom, image.size));
  PDX_ASSIGN_OR_RETURN(uint64_t size, file.size());
  if (size != image.size) {
    PDX_RETURN_IF_ERROR(file.truncate(image.size));
    changed = true;
  }
  return changed;
}

}  // namespace

struct RedoLog::Parsed {
  uint64_t generation = 0;
  bool headerWhole = false;
  uint64_t end = kRecordsStart;
  uint64_t nextSeq = 1;
  std::string bytes;
  std::vector<Record> records;
};

Result<std::unique_ptr<RedoLog>> RedoLog::open(Env* env, const std::string& dir, int timeoutMs) {
  std::unique_ptr<RedoLog> log(new RedoLog);
  log->env_ = env;
  log->dir_ = dir;
  log->path_ = dir + "/" + kFileName;
  PDX_ASSIGN_OR_RETURN(log->lock_, env->openLock(dir + "/" + kLockName));
  log->network_ = !log->lock_->isLive();
  auto file = env->open(log->path_, Env::OpenMode::kReadWrite);
  if (!file.ok() && file.status().code() == code::kTableNotFound) {
    // A new log, made under the lock so that no two processes make it: its
    // header is written and synced and its name made durable before any
    // record goes in.
    PDX_RETURN_IF_ERROR(log->lock(timeoutMs));
    file = env->open(log->path_, Env::OpenMode::kReadWrite);
    if (!file.ok() && file.status().code() == code::kTableNotFound) {
      file = env->open(log->path_, Env::OpenMode::kCreate);
      Status st = file.status();
      if (st.ok()) st = (*file)->write(0, headerOf(freshNumber()));
      if (st.ok()) st = (*file)->sync();
      if (st.ok()) st = env->syncDirectory(dir);
      if (st.ok()) (void)log->lock_->store(kEndWord, 0);
      if (!st.ok()) file = st;
    }
    log->unlock();
  }
  if (!file.ok()) return file.status();
  log->file_ = std::move(file).value();
  return log;
}

RedoLog::~RedoLog() = default;

Status RedoLog::lock(int timeoutMs) {
  Status st = lock_->lock(kLockOffset, 1, LockMode::kExclusive, timeoutMs);
  if (!st.ok()) return Status(st.code(), "the books in " + dir_ + " are busy: " + st.message());
  // The words are the last holder's, wherever it ran.
  if (st = lock_->load(); !st.ok()) {
    unlock();
    return st;
  }
  return {};
}

void RedoLog::unlock() { lock_->unlock(kLockOffset, 1); }

Result<RedoLog::Parsed> RedoLog::scan() {
  Parsed p;
  if (network_) file_->dropCache();  // another machine may have appended
  PDX_ASSIGN_OR_RETURN(const uint64_t size, file_->size());
  // Read as far as the records go, not over the zeros the log keeps ahead.
  auto load = [&](uint64_t upTo) -> Result<bool> {
    if (upTo > size) return false;
    if (upTo <= p.bytes.size()) return true;
    const uint64_t want = std::min(size, std::max(upTo, p.bytes.size() + kReadAhead));
    const size_t from = p.bytes.size();
    p.bytes.resize(static_cast<size_t>(want));
    PDX_ASSIGN_OR_RETURN(size_t got, file_->read(from, p.bytes.size() - from, p.bytes.data() + from));
    p.bytes.resize(from + got);
    return upTo <= p.bytes.size();
  };
  PDX_ASSIGN_OR_RETURN(bool header, load(kHeaderSize));
  p.headerWhole = header && std::memcmp(p.bytes.data(), kMagic, 8) == 0 &&
                  getU64(p.bytes.data() + 16) == checksum(std::string_view(p.bytes).substr(0, 16));
  if (!p.headerWhole) return p;  // torn while a checkpoint rewrote it: the files were synced
  p.generation = getU64(p.bytes.data() + 8);
  const uint64_t dead = lock_->word(kDeadWord);
  std::vector<std::pair<uint64_t, uint64_t>> found;  // offset and length of each record
  uint64_t at = kRecordsStart;
  for (;;) {
    PDX_ASSIGN_OR_RETURN(bool fixed, load(at + kRecordFixed + 8));
    if (!fixed) break;
    const char* r = p.bytes.data() + at;
    if (std::memcmp(r, kRecordMagic, 8) != 0 || getU64(r + 8) != p.generation ||
        getU64(r + 16) != p.nextSeq + found.size())
      break;
    const uint64_t length = getU64(r + 24);
    if (length < kRecordFixed + 8 || length > size - at) break;
    PDX_ASSIGN_OR_RETURN(bool whole, load(at + length));
    if (!whole) break;
    const std::string_view record = std::string_view(p.bytes).substr(static_cast<size_t>(at), static_cast<size_t>(length));
    const uint64_t sum = getU64(record.data() + length - 8);
    if (sum != checksum(record.substr(0, length - 8)) || (dead != 0 && sum == dead)) break;
    found.emplace_back(at, length);
    at = alignUp(at + length);
  }
  // The bytes are all read: the records' views into them stay valid.
  p.end = kRecordsStart;
  for (const auto& [offset, length] : found) {
    std::optional<std::string_view> foreign;
    auto files = parseBody(std::string_view(p.bytes).substr(static_cast<size_t>(offset) + 40, static_cast<size_t>(length) - 48),
                           foreign);
    if (foreign)
      return Status(code::kFileCorrupt, "the redo log " + echo(path_, kEchoLineCharacters) + " names the file " +
                                            quote(*foreign) +
                                            ", which is not a table of its folder: the log is refused and nothing of it "
                                            "was written (remove it if no program was writing to these tables)");
    if (!files) break;
    p.records.push_back(std::move(*files));
    p.end = alignUp(offset + length);
    ++p.nextSeq;
  }
  return p;
}

void RedoLog::agreeWith(const Parsed& p) {
  // Stored only where they differ: a reader that finds the log as the words
  // say leaves the lock file as it was.
  auto set = [&](int word, uint64_t value) {
    if (lock_->word(word) != value) (void)lock_->store(word, value);
  };
  set(kGenWord, p.generation);
  set(kSeqWord, p.nextSeq);
  set(kEndWord, p.headerWhole ? p.end : 0);
}

Status RedoLog::knowEnd() {
  if (lock_->word(kEndWord) != 0) return {};
  PDX_ASSIGN_OR_RETURN(Parsed p, scan());
  if (!p.headerWhole) {
    p.generation = freshNumber();
    PDX_RETURN_IF_ERROR(file_->write(0, headerOf(p.generation)));
    PDX_RETURN_IF_ERROR(file_->sync());
    p.headerWhole = true;
    p.end = kRecordsStart;
    p.nextSeq = 1;
  }
  agreeWith(p);
  return {};
}

Status RedoLog::append(const std::vector<PendingFile*>& files, const std::vector<LockFile*>& marked) {
  PDX_RETURN_IF_ERROR(knowEnd());
  const uint64_t at = lock_->word(kEndWord);
  const uint64_t seq = lock_->word(kSeqWord);
  std::string record(kRecordMagic, 8);
  put64(record, lock_->word(kGenWord));
  put64(record, seq);
  put64(record, 0);  // the length, once known
  put64(record, freshNumber());
  put32(record, static_cast<uint32_t>(files.size()));
  const std::string prefix = dir_ + "/";
  std::vector<std::string> names;
  for (PendingFile* f : files) {
    PDX_ASSIGN_OR_RETURN(PendingFile::Change c, f->change());
    const std::string& path = f->path();
    const std::string name = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
    if (!isTableFileName(name))
      return Status(code::kInvalidParameter, "file " + path + " is not a table file of " + dir_);
    char length16[2];
    putU16(length16, static_cast<uint16_t>(name.size()));
    record.append(length16, 2);
    record += name;
    names.push_back(name);
    put64(record, c.cut.value_or(kNotCut));
    put64(record, c.size);
    // A run's length has 32 bits: a longer one goes in pieces.
    constexpr size_t kMaxRun = 0xFFFFFFFFu;
    size_t pieces = 0;
    for (const auto& run : c.runs) pieces += (run.second.size() + kMaxRun - 1) / kMaxRun;
    put32(record, static_cast<uint32_t>(pieces));
    for (const auto& [offset, bytes] : c.runs) {
      for (size_t done = 0; done < bytes.size(); done += kMaxRun) {
        const size_t n = std::min(kMaxRun, bytes.size() - done);
        put64(record, offset + done);
        put32(record, static_cast<uint32_t>(n));
        record.append(bytes, done, n);
      }
    }
  }
  std::string length;
  put64(length, record.size() + 8);
  record.replace(24, 8, length);
  const uint64_t sum = checksum(record);
  put64(record, sum);
  record.resize(static_cast<size_t>(alignUp(record.size())), '\0');

  // From the first byte of the record on, a holder that finds this process
  // gone reads the log from the disk and writes what it holds (R3).
  PDX_RETURN_IF_ERROR(lock_->store(kApplyingWord, 1));
  Status st = makeRoom(at + record.size());
  if (st.ok() && !network_) {
    st = file_->writeDurably(at, record);
  } else if (st.ok()) {
    // On a network share the words are the server's data like any file's:
    // the record, the applying word and the tables' marks reach its disk in
    // one wait, before any table file is touched.
    st = file_->write(at, record);
    if (st.ok()) {
      std::vector<std::function<Status()>> syncs;
      syncs.emplace_back([this] { return file_->sync(); });
      syncs.emplace_back([this] { return lock_->syncWords(); });
      for (LockFile* m : marked) syncs.emplace_back([m] { return m->syncWords(); });
      st = syncTogether(env_, syncs);
    }
  }
  if (!st.ok()) {
    // The record may reach the disk all the same: it must never count (R4).
    (void)lock_->store(kDeadWord, sum);
    if (file_->write(at, std::string(8, '\0')).ok()) (void)file_->sync();
    (void)lock_->store(kApplyingWord, 0);  // no file was touched
    return st;
  }
  (void)lock_->store(kDeadWord, 0);  // this record took the dead one's place
  (void)lock_->store(kSeqWord, seq + 1);
  (void)lock_->store(kEndWord, at + record.size());
  appended_ = true;
  noteOwnRecord(lock_->word(kGenWord), seq, std::move(names));
  return {};
}

void RedoLog::noteOwnRecord(uint64_t generation, uint64_t seq, std::vector<std::string> names) {
  if (seq == 1) {
    own_ = OwnRecords{true, generation, 0, {}};
  } else if (!own_.known || own_.generation != generation || own_.count + 1 != seq) {
    own_.known = false;  // another process appended in between
    return;
  }
  ++own_.count;
  own_.names.insert(own_.names.end(), std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()));
  std::sort(own_.names.begin(), own_.names.end());
  own_.names.erase(std::unique(own_.names.begin(), own_.names.end()), own_.names.end());
}

Result<std::vector<std::string>> RedoLog::namedFiles() {
  if (own_.known && own_.generation == lock_->word(kGenWord) &&
      own_.count + 1 == lock_->word(kSeqWord))
    return own_.names;
  PDX_ASSIGN_OR_RETURN(Parsed p, scan());
  std::vector<std::string> names;
  for (const Record& record : p.records)
    for (const FileChange& c : record) names.emplace_back(c.name);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

Status RedoLog::makeRoom(uint64_t end) {
  if (end <= allocated_) return {};
  PDX_ASSIGN_OR_RETURN(allocated_, file_->size());
  if (end <= allocated_) return {};
  // Written with zeros ahead of need, so that a commit's sync seldom has the
  // file's size and blocks to record besides its bytes: the log grows by
  // doubling, a few MiB at most at a time.
  uint64_t size = std::max({end, allocated_ * 2, kMinAllocation});
  size = std::min(size, end + kMaxGrowth);
  const std::string zeros(static_cast<size_t>(std::min<uint64_t>(kMaxGrowth, size - allocated_)), '\0');
  for (uint64_t at = allocated_; at < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), size - at));
    PDX_RETURN_IF_ERROR(file_->write(at, std::string_view(zeros.data(), n)));
    at += n;
  }
  // Synced now, so that the commits that write over the zeros need not.
  PDX_RETURN_IF_ERROR(file_->sync());
  allocated_ = size;
  return {};
}

Status RedoLog::applyAppended(const std::vector<PendingFile*>& files) {
  for (PendingFile* f : files) PDX_RETURN_IF_ERROR(f->apply());
  if (network_) {
    std::vector<std::function<Status()>> syncs;
    for (PendingFile* f : files) syncs.emplace_back([f] { return f->syncApplied(); });
    PDX_RETURN_IF_ERROR(syncTogether(env_, syncs));
  }
  return lock_->store(kApplyingWord, 0);
}

Result<int> RedoLog::recoverIfNeeded() {
  if (lock_->word(kApplyingWord) == 0) return 0;
  return replay();
}

Result<int> RedoLog::replay() {
  // Records a dead process wrote but never synced go to the disk before any
  // file holds them (R1).
  PDX_RETURN_IF_ERROR(file_->sync());
  (void)lock_->store(kEndWord, 0);
  PDX_ASSIGN_OR_RETURN(Parsed p, scan());
  std::map<std::string, Image> images;
  for (const Record& record : p.records)
    for (const FileChange& c : record) images[std::string(c.name)].apply(c);
  // Every file is opened before any is written: one that cannot be (a link
  // put in the folder's way) leaves them all as they are.
  std::vector<std::pair<std::unique_ptr<File>, const Image*>> targets;
  for (const auto& [name, image] : images) {
    auto file = env_->open(dir_ + "/" + name, Env::OpenMode::kReadWrite);
    if (!file.ok() && file.status().code() == code::kTableNotFound) continue;  // the table was removed since
    if (!file.ok()) return file.status();
    targets.emplace_back(std::move(file).value(), &image);
  }
  int repaired = 0;
  std::vector<File*> changed;
  for (const auto& [file, image] : targets) {
    PDX_ASSIGN_OR_RETURN(bool wrote, bringToImage(*file, *image));
    if (wrote) changed.push_back(file.get());
    repaired += wrote;
  }
  if (network_ && !changed.empty()) {
    // As a commit does: the files are on the server's disk before the words
    // say that nobody is writing them.
    std::vector<std::function<Status()>> syncs;
    for (File* f : changed) syncs.emplace_back([f] { return f->sync(); });
    PDX_RETURN_IF_ERROR(syncTogether(env_, syncs));
  }
  agreeWith(p);
  PDX_RETURN_IF_ERROR(lock_->store(kApplyingWord, 0));
  return repaired;
}

Status RedoLog::checkpoint(bool always) {
  PDX_RETURN_IF_ERROR(knowEnd());
  const uint64_t end = lock_->word(kEndWord);
  if (end <= kRecordsStart || (!always && end <= kCheckpointBytes)) {
    appended_ = appended_ && end > kRecordsStart;
    return {};
  }
  // A holder that died or failed writing the files, or a checkpoint whose
  // sync failed (which may have lost the pages it was to flush): the files
  // are written again first.
  if (lock_->word(kApplyingWord) != 0) PDX_RETURN_IF_ERROR(replay().status());
  PDX_ASSIGN_OR_RETURN(const std::vector<std::string> names, namedFiles());
  std::vector<std::unique_ptr<File>> files;
  for (const std::string& name : names) {
    auto file = env_->open(dir_ + "/" + name, Env::OpenMode::kReadWrite);
    if (!file.ok() && file.status().code() == code::kTableNotFound) continue;
    if (!file.ok()) return file.status();
    files.push_back(std::move(file).value());
  }
  std::vector<std::function<Status()>> syncs;
  for (auto& f : files) syncs.emplace_back([&f] { return f->sync(); });
  Status st = syncTogether(env_, syncs);
  if (!st.ok()) {
    (void)lock_->store(kApplyingWord, 1);
    return st;
  }
  // Every file is durable (R2): a new generation disowns every record. The
  // words say nothing until it is done, so that a holder who finds this
  // process gone reads the log again.
  (void)lock_->store(kEndWord, 0);
  const uint64_t generation = freshNumber();
  st = file_->write(0, headerOf(generation));
  if (st.ok()) st = file_->sync();
  if (!st.ok()) return st;  // the header may be torn: the log is read again
  (void)lock_->store(kGenWord, generation);
  (void)lock_->store(kSeqWord, 1);
  (void)lock_->store(kDeadWord, 0);
  (void)lock_->store(kEndWord, kRecordsStart);
  appended_ = false;
  return {};
}

Result<int> RedoLog::recoverOnOpen(Env* env, const std::string& dir, int timeoutMs) {
  if (!env->exists(dir + "/" + kFileName)) return 0;
  PDX_ASSIGN_OR_RETURN(auto log, open(env, dir, timeoutMs));
  PDX_RETURN_IF_ERROR(log->lock(timeoutMs));
  struct Unlock {
    RedoLog* log;
    ~Unlock() { log->unlock(); }
  } unlock{log.get()};
  // The words may be older than the log on the disk (R5): the disk decides.
  PDX_ASSIGN_OR_RETURN(Parsed p, log->scan());
  if (p.records.empty()) {
    if (!p.headerWhole) {
      (void)log->lock_->store(kEndWord, 0);
      PDX_RETURN_IF_ERROR(log->knowEnd());
    } else {
      log->agreeWith(p);
    }
    return 0;
  }
  PDX_ASSIGN_OR_RETURN(int repaired, log->replay());
  PDX_RETURN_IF_ERROR(log->checkpoint(/*always=*/true));
  return repaired;
}

}  // namespace pdx::detail
