// Datasets: tables and queries seen as a cursor with fields, states and events.
//
// A DataSet is open or closed. Open, it stands on one record (or on none when
// it shows no rows) and is in one of three states: browse, edit (the current
// record is locked and its fields may change) or insert (a new record is being
// filled). Fields read the current record, or the buffer while editing. The
// navigation calls never fail at the ends: eof() / bof() say that a move found
// nowhere to go. Moving or inserting while a changed record is being edited
// posts it first; an unchanged edit is cancelled.
//
// What a dataset shows can be narrowed by a record filter (onFilterRecord
// with setFiltered(true)) and, for tables, by a range or a master/detail
// link. Calculated fields are declared before opening and filled by
// onCalcFields for every record the dataset stands on.
//
// Controls follow a dataset through DataSources (data_source.h). Between
// disableControls() and the matching enableControls() they hear nothing; the
// last enableControls() tells them the data changed. Dataset events (after
// scroll, calc fields, ...) fire either way.
//
// Errors are pdx::Status values with the engine's codes; db::check() turns
// one into a DatabaseError for windows that handle errors as exceptions. An
// exception thrown by an event handler leaves the dataset in a sound state
// and reaches the caller of the operation that fired the event.
//
// Threads: the user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/field.h"
#include "pdx/status.h"
#include "pdx/table.h"
#include "pdx/value.h"

namespace db {

class Database;
class DataSource;

// Where a dataset stood, so that it can return there.
struct Bookmark {
  bool valid = false;
  pdx::Bookmark record;  // tables
  int64_t row = -1;      // queries
};

struct LocateOptions {
  bool partialKey = false;       // text fields match when they begin with the value
  bool caseInsensitive = false;  // text fields compare without regard to case
};

class DataSet {
 public:
  enum class State { kInactive, kBrowse, kEdit, kInsert };
  using Event = std::function<void(DataSet&)>;
  using FilterEvent = std::function<bool(DataSet&)>;

  explicit DataSet(std::string name = {});
  virtual ~DataSet();
  DataSet(const DataSet&) = delete;
  DataSet& operator=(const DataSet&) = delete;

  // The component name, used in messages.
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }

  // A Database name or a directory path. Changing it closes the dataset.
  const std::string& databaseName() const { return databaseName_; }
  void setDatabaseName(std::string name);
  // The Database the dataset was opened through, or null (path or closed).
  Database* database() const { return database_; }

  // ---- open and close
  // Opens and stands on the first record shown. On failure it stays closed.
  pdx::Status open();
  // Cancels an edit in progress and closes. Field objects stay.
  void close();
  pdx::Status setActive(bool active);
  bool active() const { return state_ != State::kInactive; }
  State state() const { return state_; }
  bool editing() const { return state_ == State::kEdit || state_ == State::kInsert; }
  // True once a field of the record being edited or inserted was set.
  bool modified() const { return modified_; }
  // Re-reads the data (other processes' writes included) and stays on the
  // same record when it still exists. Posts a pending edit first.
  virtual pdx::Status refresh() = 0;

  // ---- navigation
  pdx::Status first();
  pdx::Status last();
  pdx::Status next();
  pdx::Status prior();
  // Moves `count` records forward (negative: back), stopping at the ends.
  pdx::Status moveBy(int64_t count);
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  // True when no record is shown (or the dataset is closed).
  bool isEmpty() const { return !onRecord_ && state_ != State::kInsert; }
  // Records shown (after range, link and filter).
  pdx::Result<int64_t> recordCount();
  // True when the bookmark of the record at 0-based position i among those
  // shown is {valid, row = i}, so that code may address every record by its
  // position without walking to it: the rows of a query with no record filter.
  virtual bool positionalBookmarks() const { return false; }
  Bookmark bookmark() const;
  pdx::Status gotoBookmark(const Bookmark& mark);
  // Finds the first record shown whose fields `fieldNames` (separated by ';')
  // equal `values`; true and stands on it, or false and stays.
  virtual pdx::Result<bool> locate(std::string_view fieldNames, const std::vector<pdx::Value>& values,
                                   const LocateOptions& options = {});

  // ---- fields
  const std::vector<std::unique_ptr<Field>>& fields() const { return fields_; }
  int fieldCount() const { return static_cast<int>(fields_.size()); }
  // The field called `name`, without regard to case, or null.
  Field* findField(std::string_view name) const;
  // As findField, but a missing field throws DatabaseError (code::kFieldNotFound):
  // asking for a field the dataset does not have is a fault of the program.
  Field& fieldByName(std::string_view name) const;
  // Declares a calculated field (before opening; returns the existing one when
  // it was already declared).
  Field& addCalculatedField(std::string name, pdx::FieldType type, int size = 0);
  // The values of the current record, field by field (blank when none).
  const std::vector<pdx::Value>& currentValues() const { return row_; }

  // ---- editing
  pdx::Status edit();
  pdx::Status insert();
  pdx::Status append();
  // Writes the record being edited or inserted: beforePost, the required
  // fields checked, the write, afterPost. On failure it stays in its state.
  pdx::Status post();
  pdx::Status cancel();
  // Deletes the current record and stands on the next one shown.
  pdx::Status remove();
  // Posts a changed edit, cancels an unchanged one; nothing in browse state.
  pdx::Status checkBrowseMode();

  // ---- filter and events
  FilterEvent onFilterRecord;
  bool filtered() const { return filtered_; }
  // Turning the filter on or off goes back to the first record shown.
  pdx::Status setFiltered(bool filtered);
  Event beforePost, afterPost, onNewRecord, afterScroll, afterOpen, beforeClose, onCalcFields;

  // ---- controls
  void disableControls();
  void enableControls();
  bool controlsDisabled() const { return disabledCount_ > 0; }

 protected:
  // ---- what a table or a query supplies
  // Opens the cursor and gives the columns in order.
  virtual pdx::Status openCursor(std::vector<pdx::FieldDef>& columns) = 0;
  virtual void closeCursor() = 0;
  // Moves; return ok, pdx::code::kEof / kBof when there is nowhere to go (the
  // cursor then stands where it stood), or an error.
  virtual pdx::Status cursorFirst() = 0;
  virtual pdx::Status cursorLast() = 0;
  virtual pdx::Status cursorNext() = 0;
  virtual pdx::Status cursorPrior() = 0;
  virtual bool cursorOnRecord() const = 0;
  virtual pdx::Result<pdx::Value> cursorGet(int column) = 0;
  // Every column of the record under the cursor, in order, into `out` (one
  // value per column); the values' storage is reused.
  virtual pdx::Status cursorGetAll(std::span<pdx::Value> out);
  virtual Bookmark cursorBookmark() const = 0;
  virtual pdx::Status cursorGoto(const Bookmark& mark) = 0;
  // Records the cursor yields, before the filter; -1 when it cannot tell cheaply.
  virtual pdx::Result<int64_t> cursorCount() { return int64_t(-1); }
  // Writing; a read-only dataset keeps these defaults.
  virtual pdx::Status cursorEdit();
  virtual pdx::Status cursorInsert();
  virtual pdx::Status cursorSet(int column, const pdx::Value& value);
  virtual pdx::Status cursorPost();
  virtual pdx::Status cursorCancel();
  virtual pdx::Status cursorRemove();
  // Whether the record under the cursor belongs to what the dataset shows
  // apart from the filter (a table's link to its master, for one).
  virtual bool cursorAccepts() { return true; }

  // For subclasses: after the cursor moved by other means (a search), settle
  // on the record it stands on (or the next one shown) and tell the controls.
  pdx::Status settleForward();
  // Goes back to the first record shown and tells the controls the data changed.
  pdx::Status reshow();
  // The record under the cursor, read again (after a refresh or a post).
  pdx::Status reloadCurrent();
  // After a search put the cursor on a record: takes it when the dataset
  // shows it (true), else puts the cursor back at `fallback` (false).
  pdx::Result<bool> takeCursorRecord(const Bookmark& fallback, bool wasOnRecord);
  // Tells the controls that the rows changed.
  void dataChanged() { notify(Change::kData); }
  // Runs `body` without after-scroll events: a refresh is not a move, and an
  // after-scroll handler may itself refresh its dataset.
  pdx::Status withoutScrollEvents(const std::function<pdx::Status()>& body);
  void setNotOnRecord();
  // Errors name the dataset.
  pdx::Status named(pdx::Status status) const;

  // The directory of the database while open.
  std::shared_ptr<pdx::Directory> directory_;

 private:
  friend class DataSource;
  friend class Field;
  enum class Change { kActive, kData, kScroll, kRecord, kEditing, kUpdateData };

  pdx::Status loadRow();  // data columns of the cursor's record into row_
  void calculate();
  bool accepted();        // link and filter
  pdx::Status skip(bool forward, pdx::Status moved);
  pdx::Status stood(pdx::Status status);  // after a move: load, calc, events
  pdx::Status setField(Field& field, pdx::Value value);
  void clearRow();
  void notify(Change change, const Field* field = nullptr);
  void addSource(DataSource* source);
  void removeSource(DataSource* source);

  std::string name_;
  std::string databaseName_;
  Database* database_ = nullptr;
  State state_ = State::kInactive;
  std::vector<std::unique_ptr<Field>> fields_;
  // The fields by name without regard to case, keyed by views of their own
  // names; the first of two with one name wins, as in fields_.
  struct NameHash {
    size_t operator()(std::string_view name) const;
  };
  struct NameEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::unordered_map<std::string_view, Field*, NameHash, NameEqual> fieldsByName_;
  void indexFields();
  std::vector<pdx::Value> row_;
  std::vector<pdx::Value> spareRow_;  // storage for the next row read (see takeCursorRecord)
  size_t columns_ = 0;  // the data fields, first in fields_ and row_
  bool onRecord_ = false;
  bool eof_ = true;
  bool bof_ = true;
  bool modified_ = false;
  bool calculating_ = false;
  bool scrollEventsOff_ = false;
  bool filtered_ = false;
  int disabledCount_ = 0;
  bool changedWhileDisabled_ = false;
  std::vector<DataSource*> sources_;
};

}  // namespace db
