// pdxtool load: appends the rows of a tab-separated file to a table.
//
// Every row is checked before any is posted, so that a bad row leaves the
// table as it was: each cell is parsed, the whole row is set into an insert
// buffer that is then cancelled (the engine checks lengths, ranges and code
// page there), and on a keyed table the row's key is looked up among the
// table's records and the file's earlier rows. Only then are the rows
// posted, inside one write group committed at the end: a failure while
// posting, or a crash, leaves the table as it was.
#include <map>
#include <ostream>
#include <string_view>
#include <vector>

#include "commands.h"
#include "pdx/dump_format.h"
#include "pdx/echo.h"

namespace pdxtool {
namespace {

struct Row {
  size_t line = 0;  // 1-based line of the file
  std::vector<pdx::Value> values;  // by column
};

class Loader {
 public:
  Loader(pdx::Table& table, std::string file) : table_(table), file_(std::move(file)) {}

  // Reads the header and every row, checking each. The table is untouched.
  pdx::Status prepare(std::string_view text);
  // Posts the prepared rows. The caller's write group holds them.
  pdx::Status post();
  size_t rowCount() const { return rows_.size(); }

 private:
  pdx::Status rowError(const Row& row, const std::string& what) const {
    return pdx::Status(pdx::code::kInvalidValue,
                       file_ + ": row " + std::to_string(row.line - 1) + " (line " + std::to_string(row.line) + "): " + what);
  }
  pdx::Status atRow(const Row& row, const pdx::Status& st) const {
    return pdx::Status(st.code(), file_ + ": row " + std::to_string(row.line - 1) + " (line " +
                                      std::to_string(row.line) + "): " + st.message());
  }
  pdx::Status setRow(const Row& row);
  pdx::Status checkKey(const Row& row);

  pdx::Table& table_;
  std::string file_;
  std::vector<int> columns_;  // field index of each column
  std::vector<Row> rows_;
  std::map<std::string, size_t> keysSeen_;  // printed key -> line that holds it
};

pdx::Status Loader::prepare(std::string_view text) {
  const std::vector<std::string_view> lines = splitLines(text);
  if (lines.empty()) return pdx::Status(pdx::code::kInvalidValue, file_ + ": empty file; the first line must name the fields");
  const pdx::Schema& schema = table_.schema();
  for (std::string_view cell : splitCells(lines[0])) {
    auto name = pdx::unescapeText(cell);
    if (!name.ok()) return pdx::Status(pdx::code::kInvalidValue, file_ + ": header: " + name.status().message());
    const int field = schema.fieldIndex(*name);
    if (field < 0)
      return pdx::Status(pdx::code::kInvalidValue, file_ + ": header: the table has no field " + pdx::quote(*name));
    for (int seen : columns_)
      if (seen == field)
        return pdx::Status(pdx::code::kInvalidValue, file_ + ": header: field " + pdx::quote(*name) + " named twice");
    columns_.push_back(field);
  }

  // An empty line is a row only of a file of one field, where it holds a
  // blank (dump writes it so); in any other file the empty lines that end
  // it are only its end.
  size_t end = lines.size();
  if (columns_.size() != 1)
    while (end > 1 && lines[end - 1].empty()) --end;
  for (size_t i = 1; i < end; ++i) {
    Row row;
    row.line = i + 1;
    const std::vector<std::string_view> cells = splitCells(lines[i]);
    if (cells.size() != columns_.size())
      return rowError(row, std::to_string(cells.size()) + " cells where the header names " +
                               std::to_string(columns_.size()) + " fields");
    for (size_t c = 0; c < cells.size(); ++c) {
      auto v = pdx::parseValue(schema.fields[size_t(columns_[c])], cells[c]);
      if (!v.ok()) return atRow(row, v.status());
      row.values.push_back(std::move(v).value());
    }
    PDX_RETURN_IF_ERROR(setRow(row));
    pdx::Status keyed = checkKey(row);
    PDX_RETURN_IF_ERROR(table_.cancel());
    PDX_RETURN_IF_ERROR(keyed);
    rows_.push_back(std::move(row));
  }
  return {};
}

// Starts an insert and sets the row's values. The caller posts or cancels.
pdx::Status Loader::setRow(const Row& row) {
  PDX_RETURN_IF_ERROR(table_.append());
  for (size_t c = 0; c < columns_.size(); ++c) {
    pdx::Status st = table_.set(columns_[c], row.values[c]);
    if (!st.ok()) {
      (void)table_.cancel();
      return atRow(row, st);
    }
  }
  return {};
}

// With the row set into the insert buffer: fails when another record of the
// table or an earlier row of the file has its key.
pdx::Status Loader::checkKey(const Row& row) {
  const pdx::Schema& schema = table_.schema();
  if (!schema.keyed()) return {};
  std::vector<pdx::Value> key;
  std::string printed;
  for (int k = 0; k < schema.keyFieldCount; ++k) {
    // Read back from the buffer: the value as the table will store it.
    PDX_ASSIGN_OR_RETURN(pdx::Value v, table_.get(k));
    const pdx::FieldDef& f = schema.fields[size_t(k)];
    // An autoincrement key left blank is numbered on post: always new.
    if (f.type == pdx::FieldType::kAutoInc && (v.isNull() || v.asInteger() <= 0)) return {};
    printed += pdx::formatValue(f, v);
    printed += '\t';
    key.push_back(std::move(v));
  }
  if (auto it = keysSeen_.find(printed); it != keysSeen_.end())
    return rowError(row, "same key as line " + std::to_string(it->second));
  keysSeen_.emplace(printed, row.line);
  PDX_RETURN_IF_ERROR(table_.cancel());
  pdx::Status found = table_.findKey(key);
  if (found.ok()) return atRow(row, pdx::Status(pdx::code::kKeyViolation, "the table already has a record with this key"));
  if (!found.is(pdx::code::kRecordNotFound)) return atRow(row, found);
  return {};
}

pdx::Status Loader::post() {
  for (const Row& row : rows_) {
    pdx::Status st = setRow(row);
    if (st.ok()) {
      st = table_.post();
      if (!st.ok()) {
        (void)table_.cancel();
        st = atRow(row, st);
      }
    }
    PDX_RETURN_IF_ERROR(st);
  }
  return {};
}

}  // namespace

int runLoad(const std::string& arg, const std::string& tsvFile, std::ostream& out, std::ostream& err) {
  auto text = readTextFile(tsvFile);
  if (!text.ok()) return fail(err, "load", tsvFile, text.status());
  auto where = splitTableArg(arg);
  if (!where.ok()) return fail(err, "load", arg, where.status());
  auto dir = openDirectoryOf(*where);
  if (!dir.ok()) return fail(err, "load", arg, dir.status());
  auto table = (*dir)->openTable(where->name, pdx::Directory::Access::kReadWrite);
  if (!table.ok()) return fail(err, "load", arg, table.status());

  Loader loader(**table, tsvFile);
  pdx::Status st = loader.prepare(*text);
  if (!st.ok()) return fail(err, "load", (*table)->path(), pdx::Status(st.code(), st.message() + "; nothing was written"));
  auto group = (*dir)->beginGroup();
  if (!group.ok()) return fail(err, "load", (*table)->path(), group.status());
  st = loader.post();
  if (st.ok()) st = (*group)->commit();
  // Until commit() succeeds, the rows are held in this process only; the
  // group's destructor drops them.
  if (!st.ok()) return fail(err, "load", (*table)->path(), pdx::Status(st.code(), st.message() + "; nothing was written"));
  printLine(out, (*table)->path() + ": " + std::to_string(loader.rowCount()) + " rows loaded");
  return finishOutput(out, err, "load", (*table)->path());
}

}  // namespace pdxtool
