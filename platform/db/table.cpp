#include "db/table.h"

#include "db/database.h"
#include "db/error.h"
#include "value_text.h"

namespace db {

using pdx::Status;
using pdx::Value;
namespace pcode = pdx::code;

Table::Table(std::string name) : DataSet(std::move(name)) {}

Table::~Table() {
  close();
  masterLink_.setDataSource(nullptr);
}

void Table::setTableName(std::string name) {
  if (name == tableName_) return;
  close();
  tableName_ = std::move(name);
}

Status Table::setIndexFieldNames(std::string names) {
  indexFieldNames_ = std::move(names);
  if (!active()) return {};
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  PDX_RETURN_IF_ERROR(named(resolveIndex()));
  PDX_RETURN_IF_ERROR(named(applyBounds()));
  return reshow();
}

void Table::setMasterSource(DataSource* source) {
  masterLink_.setDataSource(source);
}

void Table::setMasterFields(std::string names) {
  masterFields_ = std::move(names);
  if (active()) (void)followMaster();
}

// ---------------------------------------------------------------- open

pdx::Result<std::shared_ptr<pdx::Directory>> Table::directoryOf() {
  if (directory_) return directory_;
  return Database::resolve(databaseName(), nullptr);
}

Status Table::openCursor(std::vector<pdx::FieldDef>& columns) {
  if (tableName_.empty()) return Status(pcode::kInvalidName, "no table name given");
  auto table = directory_->openTable(tableName_, readOnly ? pdx::Directory::Access::kReadOnly
                                                          : pdx::Directory::Access::kReadWrite);
  if (!table.ok()) return table.status();
  cursor_ = std::move(table).value();
  columns = cursor_->schema().fields;
  PDX_RETURN_IF_ERROR(resolveIndex());
  // A detail opens on its master's current record.
  bounds_.active = false;
  if (DataSet* master = masterLink_.dataSet(); master && master->active() && !masterFields_.empty()) {
    const std::vector<std::string> names = splitNames(masterFields_);
    std::vector<Value> values;
    for (const std::string& n : names) {
      Field* f = master->findField(n);
      if (!f) return Status(code::kFieldNotFound, "master field \"" + n + "\" not found");
      values.push_back(f->value());
    }
    bounds_ = {values, values, true};
  }
  return applyBounds();
}

void Table::closeCursor() {
  cursor_.reset();
  indexColumns_.clear();
}

Status Table::resolveIndex() {
  indexColumns_.clear();
  const pdx::Schema& schema = cursor_->schema();
  if (indexFieldNames_.empty()) {
    for (int i = 0; i < schema.keyFieldCount; ++i) indexColumns_.push_back(i);
    indexIsKey_ = true;
    return {};
  }
  indexIsKey_ = true;
  for (const std::string& n : splitNames(indexFieldNames_)) {
    const int c = schema.fieldIndex(n);
    if (c < 0) return Status(code::kFieldNotFound, "index field \"" + n + "\" not found in " + tableName_);
    if (c != static_cast<int>(indexColumns_.size()) || c >= schema.keyFieldCount) indexIsKey_ = false;
    indexColumns_.push_back(c);
  }
  return {};
}

pdx::Result<std::vector<Value>> Table::converted(const std::vector<Value>& values) const {
  if (values.size() > indexColumns_.size())
    return Status(pcode::kInvalidParameter, "more values than index fields in " + tableName_);
  std::vector<Value> out;
  const pdx::Schema& schema = cursor_->schema();
  for (size_t i = 0; i < values.size(); ++i) {
    auto v = convertTo(values[i], schema.fields[size_t(indexColumns_[i])].type);
    if (!v.ok()) return v.status();
    out.push_back(std::move(v).value());
  }
  return out;
}

Status Table::applyBounds() {
  if (!bounds_.active || !indexIsKey_) return cursor_->cancelRange();
  if (indexColumns_.empty()) return Status(pcode::kInvalidParameter, tableName_ + " has no index to range on");
  PDX_ASSIGN_OR_RETURN(std::vector<Value> low, converted(bounds_.low));
  PDX_ASSIGN_OR_RETURN(std::vector<Value> high, converted(bounds_.high));
  Status s = cursor_->setRange(low, high);
  return s.is(pcode::kEof) || s.is(pcode::kBof) ? Status() : s;
}

bool Table::cursorAccepts() {
  if (!bounds_.active || indexIsKey_) return true;
  for (size_t i = 0; i < indexColumns_.size(); ++i) {
    auto v = cursor_->get(indexColumns_[i]);
    if (!v.ok()) return false;
    if (i < bounds_.low.size() && compareValues(*v, bounds_.low[i]) < 0) return false;
    if (i < bounds_.high.size() && compareValues(*v, bounds_.high[i]) > 0) return false;
  }
  return true;
}

// ---------------------------------------------------------------- master link

void Table::MasterLink::activeChanged() { (void)owner_->followMaster(); }
void Table::MasterLink::dataSetChanged() { (void)owner_->followMaster(); }
void Table::MasterLink::dataSetScrolled() { (void)owner_->followMaster(); }

Status Table::followMaster() {
  if (!active() || masterFields_.empty() || !masterLink_.dataSource()) return {};
  Bounds wanted;
  DataSet* master = masterLink_.dataSet();
  if (master && master->active()) {
    for (const std::string& n : splitNames(masterFields_)) {
      Field* f = master->findField(n);
      if (!f) return named(Status(code::kFieldNotFound, "master field \"" + n + "\" not found"));
      wanted.low.push_back(f->value());
    }
    wanted.high = wanted.low;
    wanted.active = true;
  }
  if (wanted.active == bounds_.active && wanted.low == bounds_.low && wanted.high == bounds_.high) return {};
  // The master moved: a record being edited here is settled first; when it
  // cannot be, the detail stays on it rather than lose the edit.
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  bounds_ = std::move(wanted);
  PDX_RETURN_IF_ERROR(named(applyBounds()));
  return reshow();
}

// ---------------------------------------------------------------- searches

pdx::Result<bool> Table::findKey(const std::vector<Value>& values) {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  if (indexColumns_.empty()) return named(Status(pcode::kInvalidParameter, tableName_ + " has no index"));
  if (values.empty() || values.size() > indexColumns_.size())
    return named(Status(pcode::kInvalidParameter, "findKey needs 1 to " + std::to_string(indexColumns_.size()) + " values"));
  if (!indexIsKey_) {
    std::string names;
    for (size_t i = 0; i < values.size(); ++i)
      names += (i ? ";" : "") + cursor_->schema().fields[size_t(indexColumns_[i])].name;
    return locate(names, values);
  }
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  PDX_ASSIGN_OR_RETURN(std::vector<Value> key, converted(values));
  const Bookmark here = bookmark();
  const bool wasOn = !isEmpty();
  Status s = cursor_->findKey(key);
  if (s.is(pcode::kRecordNotFound)) return false;
  if (!s.ok()) return named(s);
  return takeCursorRecord(here, wasOn);
}

Status Table::findNearest(const std::vector<Value>& values) {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  if (indexIsKey_ && !indexColumns_.empty()) {
    PDX_ASSIGN_OR_RETURN(std::vector<Value> key, converted(values));
    Status s = cursor_->findNearest(key);
    if (s.is(pcode::kEof) || (s.ok() && !cursor_->hasRecord())) return last();
    PDX_RETURN_IF_ERROR(named(s));
    return settleForward();
  }
  // Index fields that do not lead the key: the first record, in table order,
  // at or beyond the values.
  PDX_RETURN_IF_ERROR(first());
  while (!eof() && !isEmpty()) {
    bool atOrBeyond = true;
    for (size_t i = 0; i < values.size() && i < indexColumns_.size(); ++i) {
      const int c = compareValues(currentValues()[size_t(indexColumns_[i])], values[i]);
      if (c != 0) {
        atOrBeyond = c > 0;
        break;
      }
    }
    if (atOrBeyond) return {};
    PDX_RETURN_IF_ERROR(next());
  }
  return {};
}

Status Table::setRange(const std::vector<Value>& low, const std::vector<Value>& high) {
  if (!active()) return named(Status(code::kDataSetClosed, "the dataset is not open"));
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  bounds_ = {low, high, true};
  PDX_RETURN_IF_ERROR(named(applyBounds()));
  return reshow();
}

Status Table::cancelRange() {
  if (!active()) return {};
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  bounds_ = {};
  PDX_RETURN_IF_ERROR(named(applyBounds()));
  return reshow();
}

pdx::Result<bool> Table::locate(std::string_view fieldNames, const std::vector<Value>& values,
                                const LocateOptions& options) {
  // The engine's locate uses the index for leading key fields; it knows
  // nothing of the filter or of bounds it did not set itself.
  if (!active() || filtered() || (bounds_.active && !indexIsKey_))
    return DataSet::locate(fieldNames, values, options);
  std::vector<int> columns;
  for (const std::string& n : splitNames(fieldNames)) {
    const int c = cursor_->schema().fieldIndex(n);
    if (c < 0) return named(Status(code::kFieldNotFound, "no field \"" + n + "\""));
    columns.push_back(c);
  }
  if (columns.empty() || columns.size() != values.size())
    return named(Status(pcode::kInvalidParameter, "locate needs as many values as fields"));
  std::vector<Value> wanted;
  for (size_t i = 0; i < values.size(); ++i) {
    const pdx::FieldType t = cursor_->schema().fields[size_t(columns[i])].type;
    // Partial text stays text; everything else is brought to the field's type.
    auto v = convertTo(values[i], t);
    if (!v.ok()) return named(v.status());
    wanted.push_back(std::move(v).value());
  }
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  const Bookmark here = bookmark();
  const bool wasOn = !isEmpty();
  Status s = cursor_->locate(columns, wanted, {options.partialKey, options.caseInsensitive});
  if (s.is(pcode::kRecordNotFound)) return false;
  if (!s.ok()) return named(s);
  return takeCursorRecord(here, wasOn);
}

Status Table::refresh() {
  if (!active()) return {};
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  return withoutScrollEvents([this] { return reread(); });
}

Status Table::reread() {
  const Bookmark here = bookmark();
  if (here.valid) {
    // Back to the same record by its key (other users may have moved it), or
    // to the one that now follows it when it is gone.
    Status s = cursor_->gotoBookmark(here.record);
    if (s.ok()) {
      auto kept = takeCursorRecord(here, false);
      if (!kept.ok()) return kept.status();
      if (*kept) {
        dataChanged();
        return {};
      }
    } else if (!s.is(pcode::kRecordNotFound) && !s.is(pcode::kEof)) {
      return named(s);
    }
    if (!here.record.key.empty()) {
      Status near = cursor_->findNearest(here.record.key);
      if (near.ok() && cursor_->hasRecord()) {
        Status settled = settleForward();
        dataChanged();
        return settled;
      }
    }
  }
  return reshow();
}

// ---------------------------------------------------------------- cursor

Status Table::cursorFirst() { return cursor_->first(); }
Status Table::cursorLast() { return cursor_->last(); }
Status Table::cursorNext() { return cursor_->next(); }
Status Table::cursorPrior() { return cursor_->prior(); }
bool Table::cursorOnRecord() const { return cursor_ && cursor_->hasRecord(); }
pdx::Result<Value> Table::cursorGet(int column) { return cursor_->get(column); }
Status Table::cursorGetAll(std::span<Value> out) { return cursor_->getAll(out); }

Bookmark Table::cursorBookmark() const {
  Bookmark b;
  if (!cursor_ || !cursor_->hasRecord()) return b;
  b.valid = true;
  b.record = cursor_->bookmark();
  return b;
}

Status Table::cursorGoto(const Bookmark& mark) { return cursor_->gotoBookmark(mark.record); }

pdx::Result<int64_t> Table::cursorCount() {
  if (bounds_.active && !indexIsKey_) return int64_t(-1);
  return cursor_->recordCount();
}

Status Table::cursorEdit() {
  if (readOnly) return Status(code::kDataSetReadOnly, tableName_ + " is open read-only");
  return cursor_->edit();
}

Status Table::cursorInsert() {
  if (readOnly) return Status(code::kDataSetReadOnly, tableName_ + " is open read-only");
  PDX_RETURN_IF_ERROR(cursor_->insert());
  // A detail's new record belongs to the master's current record.
  if (bounds_.active && masterLink_.dataSet() && !masterFields_.empty()) {
    for (size_t i = 0; i < bounds_.low.size() && i < indexColumns_.size(); ++i) {
      if (bounds_.low[i].isNull()) continue;
      auto v = convertTo(bounds_.low[i], cursor_->schema().fields[size_t(indexColumns_[i])].type);
      if (v.ok()) PDX_RETURN_IF_ERROR(cursor_->set(indexColumns_[i], *v));
    }
  }
  return {};
}

Status Table::cursorSet(int column, const Value& value) { return cursor_->set(column, value); }
Status Table::cursorPost() { return cursor_->post(); }
Status Table::cursorCancel() { return cursor_ ? cursor_->cancel() : Status(); }
Status Table::cursorRemove() {
  if (readOnly) return Status(code::kDataSetReadOnly, tableName_ + " is open read-only");
  return cursor_->remove();
}

// ---------------------------------------------------------------- file

Status Table::createTable() {
  if (active()) return named(Status(pcode::kInvalidParameter, "close the table before creating it"));
  if (tableName_.empty()) return named(Status(pcode::kInvalidName, "no table name given"));
  if (fieldDefs.empty()) return named(Status(pcode::kInvalidParameter, "no fields to create " + tableName_ + " with"));
  const std::vector<std::string> index = splitNames(primaryIndexFields);
  if (index.size() > fieldDefs.size())
    return named(Status(pcode::kInvalidParameter, "the primary index names more fields than the table has"));
  for (size_t i = 0; i < index.size(); ++i)
    if (!equalsNoCase(index[i], fieldDefs[i].name))
      return named(Status(pcode::kInvalidParameter,
                          "primary index field \"" + index[i] + "\" must be field " + std::to_string(i + 1) + " of " + tableName_));
  PDX_ASSIGN_OR_RETURN(auto dir, directoryOf());
  if (dir->tableExists(tableName_)) PDX_RETURN_IF_ERROR(named(dir->deleteTable(tableName_)));
  return named(dir->createTable(tableName_, fieldDefs, static_cast<int>(index.size())));
}

Status Table::emptyTable() {
  PDX_ASSIGN_OR_RETURN(auto dir, directoryOf());
  if (editing()) PDX_RETURN_IF_ERROR(cancel());
  PDX_RETURN_IF_ERROR(named(dir->emptyTable(tableName_)));
  if (!active()) return {};
  return reshow();
}

Status Table::deleteTable() {
  if (active()) return named(Status(pcode::kInvalidParameter, "close the table before deleting it"));
  PDX_ASSIGN_OR_RETURN(auto dir, directoryOf());
  return named(dir->deleteTable(tableName_));
}

pdx::Result<bool> Table::exists() {
  PDX_ASSIGN_OR_RETURN(auto dir, directoryOf());
  return dir->tableExists(tableName_);
}

}  // namespace db
