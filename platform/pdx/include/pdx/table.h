// Paradox tables in a directory: open, create, read, search and write them.
//
// A Directory stands for one folder of tables (a company directory or the data
// root). Table names are matched without regard to case: "ctrl", "ctrl.db"
// and "CTRL.DB" all name the file ctrl.DB, whatever its case on disk.
//
// A Table is a cursor over one table file: it has a current record, a state
// (browse, edit, insert) and a record buffer. Several Table objects, in this
// process or in others, may be open on the same file at once. Each call that
// reads sees the writes every process has posted before it; a record being
// edited is locked, and any other cursor that tries to edit or delete it gets
// code::kRecordLocked (10241) until the holder posts, cancels, closes or dies.
//
// A Directory keeps the files of the last few tables whose cursors all closed
// open, with what it read of them (their index and some blocks, up to 64 MiB
// in all), so that opening them again costs little; it holds no lock on them,
// and it checks them against the files on disk when a table is opened again.
//
// Threads: a Directory and the Tables opened from it belong to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/env.h"
#include "pdx/status.h"
#include "pdx/value.h"

namespace pdx {

class TableFile;  // per-process shared state of one open table file
class DirectoryState;
namespace detail {
struct RecordLayout;
}

struct Schema {
  std::vector<FieldDef> fields;
  int keyFieldCount = 0;  // the first keyFieldCount fields form the primary key
  int level = 7;          // 3, 35 (3.5), 4, 5 or 7
  int codePage = 1252;    // 0 when the header names none (text is read as raw bytes)
  int blockSize = 4096;
  int recordSize = 0;
  uint8_t sortOrder = 0;  // sort-order byte of the header
  bool encrypted = false;
  // Secondary indexes (.Xnn/.Ynn/.XGn/.YGn) and validity (.VAL) files lying
  // beside the table.
  std::vector<std::string> companionFiles;

  bool keyed() const { return keyFieldCount > 0; }
  // Index of the field called `name` (case-insensitive), or -1.
  int fieldIndex(std::string_view name) const;
};

struct CreateOptions {
  int codePage = 1252;
  int blockSize = 4096;  // 1024, 2048, 4096, 16384 or 32768
};

class Table;
class WriteGroup;

// Decodes fields of records kept as a table stores them (Table::storedRecord),
// without the table: for holding many records and decoding only the fields
// that are read. Memo and blob fields live outside the record; they cannot be
// decoded here. Any thread may use a decoder.
class RecordDecoder {
 public:
  int recordSize() const;
  int fieldCount() const;
  // True when `field` is held in the record and decode() cannot fail on it,
  // whatever bytes the record holds.
  bool decodesEveryRecord(int field) const;
  // True when decode() reads `field` of this very record: a field that
  // decodesEveryRecord(), or a memo short enough to live in the record.
  bool decodes(std::string_view record, int field) const;
  // As Table::get(field, out) on a cursor standing on `record`.
  // kInvalidParameter for a record of another size, a field out of range or
  // contents kept in the memo file; kFileCorrupt for bytes no writer produces.
  Status decode(std::string_view record, int field, Value& out) const;

 private:
  friend class Table;
  explicit RecordDecoder(std::shared_ptr<const detail::RecordLayout> layout) : layout_(std::move(layout)) {}
  std::shared_ptr<const detail::RecordLayout> layout_;
};

// True when `name` is one the engine gives the files it makes in a folder of
// tables: a table's files (.DB, .PX, .MB, its lock file .tlk, and the .DB.new
// that a creation writes first) and the folder's own logs and lock files.
bool isEngineFileName(std::string_view name);

class Directory {
 public:
  // Opens a directory of tables. Fails with kTableNotFound when it does not exist.
  static Result<std::shared_ptr<Directory>> open(const std::string& path, Env* env = Env::standard());
  ~Directory();

  const std::string& path() const;
  Env* env() const;

  // The file of a table, found without regard to case; the name may carry
  // ".db" or not. Fails with kTableNotFound.
  Result<std::string> tablePath(std::string_view name) const;
  bool tableExists(std::string_view name) const;
  // Names of the tables (files *.DB) of the directory, without extension.
  Result<std::vector<std::string>> tableNames() const;

  enum class Access { kReadWrite, kReadOnly };
  Result<std::unique_ptr<Table>> openTable(std::string_view name, Access access = Access::kReadWrite);

  // Creates a level-7 table <name>.DB (with its .PX when keyed and its .MB when
  // it has memo or blob fields). Fails with kTableExists when one is there.
  Status createTable(std::string_view name, const std::vector<FieldDef>& fields, int keyFieldCount,
                     const CreateOptions& options = {});
  // Removes every record. Fails with kRecordLocked while another cursor edits.
  Status emptyTable(std::string_view name);
  // Deletes the table and its companion files (.PX, .MB, .Xnn, .VAL, ...).
  Status deleteTable(std::string_view name);

  // Starts a write group: until it commits, the posts and deletes of every
  // Table of this Directory are held in this process (its own cursors see
  // them, other processes do not), and each table they change is reserved
  // against other writers. commit() makes all of them durable at once; a
  // rollback, an error or the death of the process leaves every table as
  // before. One group at a time per Directory (kInvalidParameter).
  Result<std::unique_ptr<WriteGroup>> beginGroup();

 private:
  explicit Directory(std::shared_ptr<DirectoryState> state);
  std::shared_ptr<DirectoryState> state_;
  friend class Table;
};

// A write group of a Directory (see Directory::beginGroup). Destroying it
// without commit() rolls it back.
class WriteGroup {
 public:
  ~WriteGroup();
  WriteGroup(const WriteGroup&) = delete;
  WriteGroup& operator=(const WriteGroup&) = delete;
  // Makes every held change durable, or none of them: on failure the tables
  // are as they were before the group. The group ends either way.
  Status commit();
  void rollback();
  // From now on the group keeps its posts in memory until commit() without
  // the save point each post otherwise leaves behind it: a post that fails
  // then dooms the whole group, which can only roll back. For groups of many
  // rows that would not go on after a failed one (a scratch table filled
  // afresh), it spares copying every post's blocks; the memory held grows
  // with the blocks the group changes.
  void holdPostsUntilCommit();

 private:
  friend class Directory;
  explicit WriteGroup(std::shared_ptr<DirectoryState> dir);
  std::shared_ptr<DirectoryState> dir_;
};

// Where a cursor stands, so that it can come back after other moves.
struct Bookmark {
  std::vector<Value> key;  // keyed tables: the record's key
  int64_t recordNumber = -1;  // unkeyed tables: position in table order
};

struct LocateOptions {
  bool partialKey = false;       // text fields match when they begin with the value
  bool caseInsensitive = false;  // text fields compare without regard to case
};

class Table {
 public:
  enum class State { kBrowse, kEdit, kInsert };

  ~Table();  // cancels an edit or insert in progress and releases its lock
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const Schema& schema() const;
  const std::string& path() const;
  State state() const { return state_; }

  // ---- navigation. Each move returns kEof / kBof when there is nowhere to go
  // (the cursor then stands on the last / first record, or on none when the
  // table or range is empty).
  Status first();
  Status last();
  Status next();
  Status prior();
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  // True when the cursor stands on a record.
  bool hasRecord() const { return current_.valid; }
  // Number of records (within the range when one is set).
  Result<int64_t> recordCount();
  // 0-based position of the current record in table order, or -1.
  int64_t position();
  Status moveTo(int64_t position);
  Bookmark bookmark() const;
  Status gotoBookmark(const Bookmark& mark);
  // Re-reads the current record (and notices other processes' writes).
  Status refresh();

  // ---- reading the current record (or the edit buffer in edit/insert state).
  // The fields come from the copy of the record the cursor took when it last
  // read the table (a move, a search, recordCount, refresh), so that they all
  // belong to one state of it.
  Result<Value> get(int field);
  Result<Value> get(std::string_view fieldName);
  // As get(field), into `out`, reusing the storage of the text it holds: for
  // reading many records without allocating for each. On failure `out` is
  // left blank.
  Status get(int field, Value& out);
  // Every field, as get(field, out[field]): `out` holds one Value per field
  // of the schema (kInvalidParameter otherwise).
  Status getAll(std::span<Value> out);
  // The current record as stored, to be decoded later by recordDecoder():
  // valid until the cursor moves; empty when it stands on no record or edits.
  std::string_view storedRecord() const;
  std::shared_ptr<const RecordDecoder> recordDecoder() const;

  // ---- searches on the primary key (keyed tables only). `key` holds values
  // for the first key.size() key fields.
  // Exact search: stands on the first record whose leading key fields equal
  // `key`; kRecordNotFound (cursor unmoved) when there is none.
  Status findKey(const std::vector<Value>& key);
  // Nearest search: stands on the first record whose key is >= `key`, or at
  // the end (eof) when none is.
  Status findNearest(const std::vector<Value>& key);
  // Restricts the cursor to records whose leading key fields lie between low
  // and high, inclusive. An empty bound is open. Moves to the first record.
  Status setRange(const std::vector<Value>& low, const std::vector<Value>& high);
  Status cancelRange();
  // Finds the first record (in table order) whose fields equal the values.
  // Uses the primary index when the fields are leading key fields matched
  // exactly; scans otherwise. kRecordNotFound leaves the cursor unmoved.
  Status locate(const std::vector<int>& fields, const std::vector<Value>& values,
                const LocateOptions& options = {});

  // ---- writing.
  // Locks the current record and loads its latest contents into the buffer.
  // kRecordLocked when another cursor holds it.
  Status edit();
  // Starts a new blank record (autoincrement fields are assigned on post).
  Status insert();
  Status append();  // as insert; unkeyed tables add at the end
  // Sets a field of the edit/insert buffer. Text must fit the field and the
  // table's code page (kUnrepresentable); values are converted to the field's
  // type where that is exact, else kInvalidValue.
  Status set(int field, const Value& value);
  Status set(std::string_view fieldName, const Value& value);
  // As set(field, value of field `from` of `record`, a record `decoder`
  // decodes), copying the stored bytes where they are those set() would
  // write: fields of one type and size, in tables of one code page.
  Status setFrom(int field, const RecordDecoder& decoder, std::string_view record, int from);
  // Writes the buffer. kKeyViolation when another record has the key. On
  // success the cursor stands on the written record and the lock is released.
  Status post();
  Status cancel();
  // Deletes the current record; the cursor moves to the next one.
  Status remove();

 private:
  friend class Directory;
  struct Position {
    bool valid = false;
    size_t block = 0;  // index of the block in chain order
    int slot = 0;      // record index inside the block
  };
  Table(std::shared_ptr<DirectoryState> dir, std::shared_ptr<TableFile> file, bool readOnly);

  template <typename F>
  Status retrying(F&& op, bool step = false);
  // `step`: a step of a scan (next, prior), which may take the table's
  // state as a recent look found it (see TableFile::refresh).
  Status syncView(bool step = false);
  Status standOn(Position pos);
  void copyRecord(const char* rec);  // into currentRecord_
  Status stepForward(Position& pos);
  Status stepBack(Position& pos);
  bool inRange(const char* rec) const;
  Status encodeKey(const std::vector<Value>& key, std::string& out) const;
  Result<Value> fieldOf(int field, const std::string& rec);
  Status readField(int field, const std::string& rec, Value& out);
  Status findRecord(const std::string& original, Position& where);
  Status lockRecord(const std::string& rec);
  void releaseRecordLock();
  Status requireEditing() const;

  std::shared_ptr<DirectoryState> dir_;
  std::shared_ptr<TableFile> file_;
  std::unique_ptr<LockFile> recordLocks_;  // a lock owner of its own for record locks
  bool readOnly_ = false;
  State state_ = State::kBrowse;
  Position current_;
  int64_t ordinal_ = -1;          // of the current record, -1 when not known
  std::string currentRecord_;     // bytes of the current record, as stored
  std::string buffer_;            // edit / insert buffer (record bytes)
  std::string original_;          // the record as it was when edit began
  std::string posting_;           // the record post() is writing (its storage kept)
  std::vector<std::optional<std::string>> pendingBlobs_;  // new memo/blob contents by field
  uint64_t lockedOffset_ = 0;     // record lock held (0 = none)
  uint64_t seenVersion_ = 0;
  bool eof_ = true;
  bool bof_ = true;
  bool rangeSet_ = false;
  std::string rangeLow_, rangeHigh_;  // encoded key prefixes; empty = open
};

}  // namespace pdx
