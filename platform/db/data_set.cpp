#include "db/data_set.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "db/data_source.h"
#include "db/database.h"
#include "db/error.h"
#include "value_text.h"

namespace db {

using pdx::Status;
namespace pcode = pdx::code;

namespace {

bool isBoundary(const Status& s) { return s.is(pcode::kEof) || s.is(pcode::kBof); }

// Restores a flag when a scope ends, exceptions included.
struct FlagGuard {
  bool& flag;
  bool saved;
  explicit FlagGuard(bool& f, bool value) : flag(f), saved(f) { flag = value; }
  ~FlagGuard() { flag = saved; }
};

// Whether a value the record took reads back from it exactly as it went in:
// whole numbers, finite numbers (not -0), dates and logicals of the field's
// own kind do, and the row keeps them without decoding the field again. Text
// may be narrowed by the code page and decimals rounded: those, and the other
// kinds, are read back.
bool storedAsGiven(const pdx::Value& v, pdx::FieldType type) {
  using Kind = pdx::Value::Kind;
  using pdx::FieldType;
  switch (type) {
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoInc:
      return v.kind() == Kind::kInteger;
    case FieldType::kMoney:
    case FieldType::kNumber:
      return v.kind() == Kind::kNumber && std::isfinite(v.asNumber()) && !(v.asNumber() == 0 && std::signbit(v.asNumber()));
    case FieldType::kDate:
      return v.kind() == Kind::kDate;
    case FieldType::kLogical:
      return v.kind() == Kind::kLogical;
    default:
      return false;
  }
}

}  // namespace

DataSet::DataSet(std::string name) : name_(std::move(name)) {}

DataSet::~DataSet() {
  // A subclass closes its own cursor in its destructor; what is left here is
  // the bookkeeping of the base.
  if (database_) database_->detach(this);
  for (DataSource* s : sources_) s->dataSet_ = nullptr;
}

void DataSet::setDatabaseName(std::string name) {
  if (name == databaseName_) return;
  close();
  databaseName_ = std::move(name);
}

Status DataSet::named(Status status) const {
  if (status.ok() || name_.empty()) return status;
  return Status(status.code(), name_ + ": " + status.message());
}

// ---------------------------------------------------------------- open/close

Status DataSet::open() {
  if (active()) return {};
  Database* database = nullptr;
  auto dir = Database::resolve(databaseName_, &database);
  if (!dir.ok()) return named(dir.status());
  directory_ = std::move(dir).value();

  std::vector<pdx::FieldDef> columns;
  Status opened = openCursor(columns);
  if (!opened.ok()) {
    closeCursor();
    directory_.reset();
    return named(opened);
  }

  // Fields: existing Field objects are kept (controls may point at them); the
  // data fields follow the columns' order, the calculated ones come last.
  std::vector<std::unique_ptr<Field>> fields;
  for (size_t c = 0; c < columns.size(); ++c) {
    std::unique_ptr<Field> field;
    for (auto& old : fields_)
      if (old && !old->calculated_ && equalsNoCase(old->name_, columns[c].name)) field = std::move(old);
    if (!field || field->type_ != columns[c].type) field = std::make_unique<Field>(this, columns[c].name, columns[c].type, columns[c].size, false);
    field->size_ = columns[c].size;
    field->column_ = static_cast<int>(c);
    fields.push_back(std::move(field));
  }
  columns_ = columns.size();
  for (auto& old : fields_)
    if (old && old->calculated_) fields.push_back(std::move(old));
  fields_ = std::move(fields);
  for (size_t i = 0; i < fields_.size(); ++i) fields_[i]->index_ = static_cast<int>(i);
  indexFields();
  clearRow();

  database_ = database;
  if (database_) database_->attach(this);
  state_ = State::kBrowse;
  Status first = cursorFirst();
  if (!first.ok() && !isBoundary(first)) {
    close();
    return named(first);
  }
  Status shown = skip(true, first);
  if (!shown.ok()) {
    close();
    return named(shown);
  }
  bof_ = true;
  notify(Change::kActive);
  if (afterOpen) afterOpen(*this);
  if (afterScroll) afterScroll(*this);
  return {};
}

void DataSet::close() {
  if (!active()) return;
  if (beforeClose) {
    // Closing cannot fail: a handler's exception does not keep it open.
    try {
      beforeClose(*this);
    } catch (...) {
    }
  }
  if (editing()) (void)cursorCancel();
  closeCursor();
  directory_.reset();
  if (database_) database_->detach(this);
  database_ = nullptr;
  state_ = State::kInactive;
  modified_ = false;
  setNotOnRecord();
  notify(Change::kActive);
}

Status DataSet::setActive(bool active) {
  if (active) return open();
  close();
  return {};
}

// ---------------------------------------------------------------- records

void DataSet::clearRow() { row_.assign(fields_.size(), pdx::Value()); }

void DataSet::setNotOnRecord() {
  onRecord_ = false;
  eof_ = bof_ = true;
  clearRow();
}

Status DataSet::loadRow() {
  if (row_.size() != fields_.size()) clearRow();
  for (size_t i = columns_; i < row_.size(); ++i) row_[i] = pdx::Value();  // calculated later
  return cursorGetAll(std::span<pdx::Value>(row_).first(columns_));
}

Status DataSet::cursorGetAll(std::span<pdx::Value> out) {
  for (size_t c = 0; c < out.size(); ++c) {
    auto v = cursorGet(static_cast<int>(c));
    if (!v.ok()) return v.status();
    out[c] = std::move(v).value();
  }
  return {};
}

void DataSet::calculate() {
  bool any = false;
  for (size_t i = columns_; i < fields_.size(); ++i)  // the calculated fields come last
    if (const auto& f = fields_[i]; f->calculated_) {
      row_[size_t(f->index_)] = pdx::Value();
      any = true;
    }
  if (!any || !onCalcFields) return;
  FlagGuard guard(calculating_, true);
  onCalcFields(*this);
}

bool DataSet::accepted() {
  if (!cursorAccepts()) return false;
  if (!filtered_ || !onFilterRecord) return true;
  return onFilterRecord(*this);
}

// After a cursor move in one direction: passes over the records not shown,
// then takes the one it stands on. `moved` is the result of the first move.
Status DataSet::skip(bool forward, Status moved) {
  for (;;) {
    if (isBoundary(moved)) {
      // Nowhere further. A dataset that stood on a record keeps it (the
      // caller puts the cursor back there); one that did not shows nothing.
      if (!onRecord_) {
        setNotOnRecord();
        return {};
      }
      if (forward) eof_ = true; else bof_ = true;
      return {};
    }
    if (!moved.ok()) return moved;
    Status loaded = loadRow();
    if (!loaded.ok()) return loaded;
    if (accepted()) {
      onRecord_ = true;
      eof_ = bof_ = false;
      calculate();
      return {};
    }
    moved = forward ? cursorNext() : cursorPrior();
  }
}

Status DataSet::stood(Status status) {
  if (!status.ok()) return named(status);
  notify(Change::kScroll);
  if (afterScroll && !scrollEventsOff_) afterScroll(*this);
  return {};
}

Status DataSet::withoutScrollEvents(const std::function<Status()>& body) {
  FlagGuard guard(scrollEventsOff_, true);
  return body();
}

Status DataSet::first() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  onRecord_ = false;
  Status moved = cursorFirst();
  Status s = skip(true, moved);
  bof_ = true;
  if (!onRecord_) eof_ = true;
  return stood(s);
}

Status DataSet::last() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  onRecord_ = false;
  Status moved = cursorLast();
  Status s = skip(false, moved);
  eof_ = true;
  if (!onRecord_) bof_ = true;
  return stood(s);
}

Status DataSet::next() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  if (!onRecord_) {
    eof_ = true;
    return {};
  }
  const Bookmark here = cursorBookmark();
  Status s = skip(true, cursorNext());
  if (s.ok() && eof_) {
    // Ran off the end: stand again on the record we left.
    PDX_RETURN_IF_ERROR(named(cursorGoto(here)));
    PDX_RETURN_IF_ERROR(named(loadRow()));
    calculate();
    return {};
  }
  bof_ = false;
  return stood(s);
}

Status DataSet::prior() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  if (!onRecord_) {
    bof_ = true;
    return {};
  }
  const Bookmark here = cursorBookmark();
  Status s = skip(false, cursorPrior());
  if (s.ok() && bof_) {
    PDX_RETURN_IF_ERROR(named(cursorGoto(here)));
    PDX_RETURN_IF_ERROR(named(loadRow()));
    calculate();
    return {};
  }
  eof_ = false;
  return stood(s);
}

Status DataSet::moveBy(int64_t count) {
  for (; count > 0 && !eof_; --count) PDX_RETURN_IF_ERROR(next());
  for (; count < 0 && !bof_; ++count) PDX_RETURN_IF_ERROR(prior());
  return {};
}

pdx::Result<int64_t> DataSet::recordCount() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  if (!filtered_ || !onFilterRecord) {
    auto n = cursorCount();
    if (!n.ok()) return named(n.status());
    if (*n >= 0) return n;
  }
  // Count by walking, then come back. Controls and events hear nothing of it.
  const bool wasOn = onRecord_;
  const Bookmark here = cursorBookmark();
  const std::vector<pdx::Value> saved = row_;
  int64_t count = 0;
  Status moved = cursorFirst();
  while (moved.ok()) {
    PDX_RETURN_IF_ERROR(named(loadRow()));
    if (accepted()) ++count;
    moved = cursorNext();
  }
  if (!isBoundary(moved)) return named(moved);
  if (wasOn) PDX_RETURN_IF_ERROR(named(cursorGoto(here)));
  row_ = saved;
  return count;
}

Bookmark DataSet::bookmark() const {
  if (!active() || !onRecord_) return {};
  return cursorBookmark();
}

Status DataSet::gotoBookmark(const Bookmark& mark) {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  if (!mark.valid) return named(Status(pcode::kInvalidParameter, "the bookmark is not valid"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  PDX_RETURN_IF_ERROR(named(cursorGoto(mark)));
  PDX_RETURN_IF_ERROR(named(loadRow()));
  onRecord_ = true;
  eof_ = bof_ = false;
  calculate();
  return stood({});
}

pdx::Result<bool> DataSet::locate(std::string_view fieldNames, const std::vector<pdx::Value>& values,
                                  const LocateOptions& options) {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  std::vector<Field*> fields;
  for (const std::string& n : splitNames(fieldNames)) {
    Field* f = findField(n);
    if (!f) return named(Status(code::kFieldNotFound, "no field \"" + n + "\""));
    fields.push_back(f);
  }
  if (fields.empty() || fields.size() != values.size())
    return named(Status(pcode::kInvalidParameter, "locate needs as many values as fields"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());

  const Bookmark here = cursorBookmark();
  const bool wasOn = onRecord_;
  const std::vector<pdx::Value> saved = row_;
  Status moved = cursorFirst();
  while (moved.ok()) {
    PDX_RETURN_IF_ERROR(named(loadRow()));
    bool match = true;
    for (size_t i = 0; match && i < fields.size(); ++i)
      match = valueMatches(row_[size_t(fields[i]->index_)], values[i], options.partialKey, options.caseInsensitive);
    if (match && accepted()) {
      onRecord_ = true;
      eof_ = bof_ = false;
      calculate();
      PDX_RETURN_IF_ERROR(stood({}));
      return true;
    }
    moved = cursorNext();
  }
  if (!isBoundary(moved)) return named(moved);
  if (wasOn) PDX_RETURN_IF_ERROR(named(cursorGoto(here)));
  row_ = saved;
  return false;
}

Status DataSet::settleForward() {
  onRecord_ = false;
  Status s = skip(true, cursorOnRecord() ? Status() : Status(pcode::kEof, "end of table"));
  if (!onRecord_) {
    // Nothing shown from here on: the last record shown, if any.
    Status back = skip(false, cursorLast());
    PDX_RETURN_IF_ERROR(named(back));
    eof_ = true;
  }
  return stood(s);
}

Status DataSet::reshow() {
  onRecord_ = false;
  Status moved = cursorFirst();
  Status s = skip(true, moved);
  bof_ = true;
  if (!onRecord_) eof_ = true;
  if (!s.ok()) return named(s);
  notify(Change::kData);
  if (afterScroll && !scrollEventsOff_) afterScroll(*this);
  return {};
}

Status DataSet::reloadCurrent() {
  if (!cursorOnRecord()) {
    setNotOnRecord();
    return {};
  }
  PDX_RETURN_IF_ERROR(loadRow());
  onRecord_ = true;
  calculate();
  return {};
}

pdx::Result<bool> DataSet::takeCursorRecord(const Bookmark& fallback, bool wasOnRecord) {
  // The row shown so far waits in spareRow_ until the record is taken; the
  // new one is read into the storage the spare row held.
  std::swap(row_, spareRow_);
  Status loaded = loadRow();
  if (!loaded.ok()) {
    std::swap(row_, spareRow_);
    return named(loaded);
  }
  if (accepted()) {
    onRecord_ = true;
    eof_ = bof_ = false;
    calculate();
    PDX_RETURN_IF_ERROR(stood({}));
    return true;
  }
  std::swap(row_, spareRow_);
  if (wasOnRecord) PDX_RETURN_IF_ERROR(named(cursorGoto(fallback)));
  return false;
}

// ---------------------------------------------------------------- fields

size_t DataSet::NameHash::operator()(std::string_view name) const {
  size_t h = 1469598103934665603ull;
  for (char c : name) h = (h ^ static_cast<unsigned char>(lowerByte(c))) * 1099511628211ull;
  return h;
}

bool DataSet::NameEqual::operator()(std::string_view a, std::string_view b) const { return equalsNoCase(a, b); }

void DataSet::indexFields() {
  fieldsByName_.clear();
  for (const auto& f : fields_) fieldsByName_.emplace(f->name_, f.get());
}

Field* DataSet::findField(std::string_view name) const {
  auto it = fieldsByName_.find(name);
  return it == fieldsByName_.end() ? nullptr : it->second;
}

Field& DataSet::fieldByName(std::string_view name) const {
  if (Field* f = findField(name)) return *f;
  throw DatabaseError(named(Status(code::kFieldNotFound, "field \"" + std::string(name) + "\" not found")));
}

Field& DataSet::addCalculatedField(std::string name, pdx::FieldType type, int size) {
  if (Field* f = findField(name)) return *f;
  fields_.push_back(std::make_unique<Field>(this, std::move(name), type, size, true));
  fields_.back()->index_ = static_cast<int>(fields_.size()) - 1;
  fieldsByName_.emplace(fields_.back()->name_, fields_.back().get());
  row_.resize(fields_.size());
  return *fields_.back();
}

Status DataSet::setField(Field& field, pdx::Value value) {
  if (field.calculated_) {
    if (!calculating_ && !editing())
      return named(Status(code::kNotEditing, "field \"" + field.name_ + "\" is set outside its calculation"));
    auto conv = convertTo(value, field.type_);
    if (!conv.ok()) return named(Status(conv.status().code(), "field \"" + field.name_ + "\": " + conv.status().message()));
    row_[size_t(field.index_)] = std::move(conv).value();
    if (!calculating_) notify(Change::kRecord, &field);
    return {};
  }
  if (!editing()) return named(Status(code::kNotEditing, "the dataset is not in edit or insert state"));
  if (field.readOnly) return named(Status(pcode::kInvalidParameter, "field \"" + field.name_ + "\" is read-only"));
  auto conv = convertTo(value, field.type_);
  if (!conv.ok()) return named(Status(conv.status().code(), "field \"" + field.name_ + "\": " + conv.status().message()));
  PDX_RETURN_IF_ERROR(named(cursorSet(field.column_, *conv)));
  if (storedAsGiven(*conv, field.type_)) {
    row_[size_t(field.index_)] = std::move(conv).value();
  } else {
    auto stored = cursorGet(field.column_);
    if (!stored.ok()) return named(stored.status());
    row_[size_t(field.index_)] = std::move(stored).value();
  }
  modified_ = true;
  calculate();
  notify(Change::kRecord, &field);
  return {};
}

// ---------------------------------------------------------------- editing

Status DataSet::checkBrowseMode() {
  if (!editing()) return {};
  // A control may hold text not yet written to its field.
  notify(Change::kUpdateData);
  if (modified_) return post();
  return cancel();
}

Status DataSet::edit() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  if (editing()) return {};
  if (!onRecord_) return named(Status(pcode::kNoCurrentRecord, "there is no record to edit"));
  PDX_RETURN_IF_ERROR(named(cursorEdit()));
  state_ = State::kEdit;
  modified_ = false;
  // The record as the lock found it: another user may have changed it since
  // the cursor last read it.
  Status loaded = loadRow();
  if (!loaded.ok()) {
    (void)cursorCancel();
    state_ = State::kBrowse;
    return named(loaded);
  }
  calculate();
  notify(Change::kEditing);
  notify(Change::kRecord);
  return {};
}

Status DataSet::insert() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  PDX_RETURN_IF_ERROR(named(cursorInsert()));
  state_ = State::kInsert;
  modified_ = false;
  eof_ = bof_ = false;
  Status loaded = loadRow();
  if (!loaded.ok()) {
    (void)cancel();
    return named(loaded);
  }
  calculate();
  notify(Change::kEditing);
  if (onNewRecord) {
    try {
      onNewRecord(*this);
    } catch (...) {
      (void)cancel();
      throw;
    }
  }
  // Defaults given by the new-record event do not make the record "changed".
  modified_ = false;
  notify(Change::kRecord);
  return {};
}

Status DataSet::append() { return insert(); }

Status DataSet::post() {
  if (!editing()) return named(Status(code::kNotEditing, "the dataset is not in edit or insert state"));
  notify(Change::kUpdateData);
  if (beforePost) beforePost(*this);
  for (const auto& f : fields_)
    if (f->required && !f->calculated_ && row_[size_t(f->index_)].isNull() &&
        f->type_ != pdx::FieldType::kAutoInc)
      return named(Status(pcode::kInvalidValue, "field \"" + f->name_ + "\" must have a value"));
  PDX_RETURN_IF_ERROR(named(cursorPost()));
  state_ = State::kBrowse;
  modified_ = false;
  Status loaded = reloadCurrent();
  eof_ = bof_ = !onRecord_;
  notify(Change::kEditing);
  notify(Change::kData);
  PDX_RETURN_IF_ERROR(named(loaded));
  if (afterPost) afterPost(*this);
  return {};
}

Status DataSet::cancel() {
  if (!editing()) return {};
  const bool inserting = state_ == State::kInsert;
  Status cancelled = cursorCancel();
  state_ = State::kBrowse;
  modified_ = false;
  Status s = cancelled;
  if (s.ok()) {
    if (cursorOnRecord() && (!inserting || onRecord_)) {
      s = reloadCurrent();
    } else {
      setNotOnRecord();
      s = settleForward();
    }
  }
  notify(Change::kEditing);
  notify(Change::kData);
  return named(s);
}

Status DataSet::remove() {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  if (state_ == State::kInsert) return cancel();
  if (!onRecord_) return named(Status(pcode::kNoCurrentRecord, "there is no record to delete"));
  PDX_RETURN_IF_ERROR(named(cursorRemove()));
  state_ = State::kBrowse;
  modified_ = false;
  Status s = cursorOnRecord() ? settleForward() : [&] {
    setNotOnRecord();
    Status back = skip(false, cursorLast());
    if (onRecord_) eof_ = true;
    return back;
  }();
  notify(Change::kData);
  return named(s);
}

// The defaults of a dataset that cannot be written.
Status DataSet::cursorEdit() { return Status(code::kDataSetReadOnly, "the rows of a query cannot be changed"); }
Status DataSet::cursorInsert() { return cursorEdit(); }
Status DataSet::cursorSet(int, const pdx::Value&) { return cursorEdit(); }
Status DataSet::cursorPost() { return cursorEdit(); }
Status DataSet::cursorCancel() { return {}; }
Status DataSet::cursorRemove() { return cursorEdit(); }

Status DataSet::setFiltered(bool filtered) {
  if (filtered == filtered_) return {};
  filtered_ = filtered;
  if (!active()) return {};
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  return reshow();
}

// ---------------------------------------------------------------- controls

void DataSet::disableControls() { ++disabledCount_; }

void DataSet::enableControls() {
  if (disabledCount_ == 0) return;
  if (--disabledCount_ == 0 && changedWhileDisabled_) {
    changedWhileDisabled_ = false;
    notify(Change::kData);
  }
}

void DataSet::addSource(DataSource* source) {
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(source);
}

void DataSet::removeSource(DataSource* source) {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void DataSet::notify(Change change, const Field* field) {
  if (disabledCount_ > 0) {
    changedWhileDisabled_ = true;
    return;
  }
  void (*tell)(DataLink&, const Field*) = nullptr;
  switch (change) {
    case Change::kActive: tell = [](DataLink& l, const Field*) { l.activeChanged(); }; break;
    case Change::kData: tell = [](DataLink& l, const Field*) { l.dataSetChanged(); }; break;
    case Change::kScroll: tell = [](DataLink& l, const Field*) { l.dataSetScrolled(); }; break;
    case Change::kRecord: tell = [](DataLink& l, const Field* f) { l.recordChanged(f); }; break;
    case Change::kEditing: tell = [](DataLink& l, const Field*) { l.editingChanged(); }; break;
    case Change::kUpdateData: tell = [](DataLink& l, const Field*) { l.updateData(); }; break;
  }
  // A link may detach sources while it is told; walk a copy and skip the gone.
  const std::vector<DataSource*> sources = sources_;
  for (DataSource* s : sources)
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end() && s->enabled_) s->tellAll(tell, field);
}

}  // namespace db
