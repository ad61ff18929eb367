#include "db/query.h"

#include "db/error.h"
#include "value_text.h"

namespace db {

using pdx::Status;
using pdx::Value;
namespace pcode = pdx::code;

Query::Query(std::string name) : DataSet(std::move(name)) {}

Query::~Query() { close(); }

void Query::setSql(std::vector<std::string> lines) {
  close();
  lines_ = std::move(lines);
  prepared_.reset();
}

void Query::addSqlLine(std::string line) {
  close();
  lines_.push_back(std::move(line));
  prepared_.reset();
}

std::string Query::text() const {
  std::string t;
  for (size_t i = 0; i < lines_.size(); ++i) t += (i ? "\n" : "") + lines_[i];
  return t;
}

Status Query::prepare() {
  if (prepared_) return {};
  auto q = sql::Query::prepare(text());
  if (!q.ok()) return q.status();
  prepared_ = std::move(q).value();
  // Values of parameters the new text no longer uses are dropped.
  std::map<std::string, Value> kept;
  for (const std::string& n : prepared_->parameterNames())
    if (auto it = values_.find(lowerAscii(n)); it != values_.end()) kept.insert(*it);
  values_ = std::move(kept);
  return {};
}

Status Query::setParam(std::string_view name, Value value) {
  PDX_RETURN_IF_ERROR(named(prepare()));
  std::string_view bare = name;
  if (!bare.empty() && bare.front() == ':') bare.remove_prefix(1);
  for (const std::string& n : prepared_->parameterNames())
    if (equalsNoCase(n, bare)) {
      values_[lowerAscii(n)] = std::move(value);
      return {};
    }
  return named(Status(sql::code::kUnknownParameter, "the query has no parameter :" + std::string(bare)));
}

pdx::Result<std::vector<std::string>> Query::paramNames() {
  PDX_RETURN_IF_ERROR(named(prepare()));
  return prepared_->parameterNames();
}

Status Query::openCursor(std::vector<pdx::FieldDef>& columns) {
  PDX_RETURN_IF_ERROR(prepare());
  sql::Query run = *prepared_;
  for (const auto& [name, value] : values_) PDX_RETURN_IF_ERROR(run.bind(name, value));
  auto rows = run.execute(*directory_);
  if (!rows.ok()) return rows.status();
  rows_ = std::move(rows).value();
  ++runs_;
  columns = rows_->fields();
  return {};
}

void Query::closeCursor() { rows_.reset(); }

Status Query::refresh() {
  if (!active()) return {};
  PDX_RETURN_IF_ERROR(checkBrowseMode());
  return withoutScrollEvents([this] { return rerun(); });
}

Status Query::rerun() {
  const int64_t at = rows_->position();
  PDX_RETURN_IF_ERROR(prepare());
  sql::Query run = *prepared_;
  for (const auto& [name, value] : values_) PDX_RETURN_IF_ERROR(named(run.bind(name, value)));
  auto rows = run.execute(*directory_);
  if (!rows.ok()) return named(rows.status());
  if (rows.value()->fields() != rows_->fields())
    return named(Status(pcode::kInvalidParameter, "the table changed its fields; close and open the query"));
  rows_ = std::move(rows).value();
  ++runs_;
  // The same position when it still exists, else the last row.
  if (at >= 0 && at < rows_->rowCount()) {
    PDX_RETURN_IF_ERROR(named(rows_->moveTo(at)));
    Status s = settleForward();
    dataChanged();
    return s;
  }
  if (rows_->rowCount() > 0) {
    PDX_RETURN_IF_ERROR(named(rows_->last()));
    Status s = settleForward();
    dataChanged();
    return s;
  }
  return reshow();
}

Status Query::forEachRow(const std::vector<int>& columns,
                         const std::function<void(std::span<const pdx::Value* const>)>& visit) const {
  return forEachRow(columns, [&visit](std::span<const pdx::Value* const> values, std::string_view,
                                      const pdx::RecordDecoder*) { visit(values); });
}

Status Query::forEachRow(const std::vector<int>& columns, const StoredRowVisitor& visit) const {
  if (!rows_) return named(Status(code::kDataSetClosed, "the query is not open"));
  for (int c : columns)
    if (c < 0 || c >= static_cast<int>(rows_->fields().size()))
      return named(Status(pcode::kInvalidParameter, "no column " + std::to_string(c)));
  // The row set's own cursor does the reading and is put back where it
  // stood; the dataset keeps the values of its record in a row of its own.
  struct Restore {
    sql::RowSet& rows;
    int64_t at;
    ~Restore() {
      if (at >= 0) (void)rows.moveTo(at);
    }
  } restore{*rows_, rows_->position()};
  std::vector<const pdx::Value*> values(columns.size());
  for (Status s = rows_->first(); s.ok() && rows_->hasRecord(); s = rows_->next()) {
    for (size_t i = 0; i < columns.size(); ++i) values[i] = &rows_->valueAt(columns[i]);
    visit(values, rows_->storedRecord(), rows_->decoder());
  }
  return {};
}

bool Query::rowsStored() const { return rows_ && rows_->decoder() != nullptr; }

Status Query::cursorFirst() { return rows_->first(); }
Status Query::cursorLast() { return rows_->last(); }
Status Query::cursorNext() { return rows_->next(); }
Status Query::cursorPrior() { return rows_->prior(); }
bool Query::cursorOnRecord() const { return rows_ && rows_->hasRecord(); }
pdx::Result<Value> Query::cursorGet(int column) { return rows_->get(column); }

Bookmark Query::cursorBookmark() const {
  Bookmark b;
  if (!rows_ || !rows_->hasRecord()) return b;
  b.valid = true;
  b.row = rows_->position();
  return b;
}

Status Query::cursorGoto(const Bookmark& mark) { return rows_->moveTo(mark.row); }

pdx::Result<int64_t> Query::cursorCount() { return rows_->rowCount(); }

}  // namespace db
