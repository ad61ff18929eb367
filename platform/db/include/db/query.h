// A query as a dataset: the rows of a local SQL SELECT (see sql/query.h for
// the language), read-only.
//
// The text is kept as lines, as windows build it; it runs against the
// directory of the query's database. Parameters (":client") take typed values
// before opening; a value is never read as SQL text. Opening runs the query
// and keeps its rows as they were at that moment; refresh() runs it again.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <optional>
#include <string>
#include <vector>

#include "db/data_set.h"
#include "sql/query.h"
#include "sql/row_set.h"

namespace db {

class Query : public DataSet {
 public:
  explicit Query(std::string name = {});
  ~Query() override;

  const std::vector<std::string>& sql() const { return lines_; }
  // Replaces the text; closes the query and forgets parameter values whose
  // names the new text does not use.
  void setSql(std::vector<std::string> lines);
  void clearSql() { setSql({}); }
  void addSqlLine(std::string line);
  std::string text() const;

  // Gives parameter `name` (with or without ':', any case) a typed value.
  // sql::code::kUnknownParameter when the text has no such parameter;
  // sql::code::kSyntaxError when the text does not parse.
  pdx::Status setParam(std::string_view name, pdx::Value value);
  // The parameters the text uses, in order of first use.
  pdx::Result<std::vector<std::string>> paramNames();

  pdx::Status refresh() override;
  bool positionalBookmarks() const override { return !filtered() || !onFilterRecord; }

  // Reads the rows of the last run in order, without moving the dataset or
  // telling its controls anything: `visit` gets, for each row, the values of
  // `columns` (column indexes, as Field::column()) in that order. The rows
  // are those the query returned, before any record filter; calculated
  // fields are not among them. For code that sums all the rows at once
  // (running balances, aging). kDataSetClosed when the query is closed; an
  // exception `visit` throws passes on.
  pdx::Status forEachRow(const std::vector<int>& columns,
                         const std::function<void(std::span<const pdx::Value* const>)>& visit) const;
  // As forEachRow, `visit` getting besides the values each row as its table
  // stores it and the decoder that reads it (pdx::Table::setFrom copies
  // fields from there), or an empty record and a null decoder where the
  // query keeps its rows decoded (sorted rows).
  using StoredRowVisitor =
      std::function<void(std::span<const pdx::Value* const>, std::string_view, const pdx::RecordDecoder*)>;
  pdx::Status forEachRow(const std::vector<int>& columns, const StoredRowVisitor& visit) const;
  // How many times the query has run (opened or refreshed): rows kept by
  // position belong to one run.
  uint64_t runs() const { return runs_; }
  // True when the rows of the last run are kept as their table stores them.
  bool rowsStored() const;
  // What the last run did (index use, sorting), or null before one.
  const sql::ExecutionStats* stats() const { return rows_ ? &rows_->stats() : nullptr; }

 protected:
  pdx::Status openCursor(std::vector<pdx::FieldDef>& columns) override;
  void closeCursor() override;
  pdx::Status cursorFirst() override;
  pdx::Status cursorLast() override;
  pdx::Status cursorNext() override;
  pdx::Status cursorPrior() override;
  bool cursorOnRecord() const override;
  pdx::Result<pdx::Value> cursorGet(int column) override;
  Bookmark cursorBookmark() const override;
  pdx::Status cursorGoto(const Bookmark& mark) override;
  pdx::Result<int64_t> cursorCount() override;

 private:
  pdx::Status prepare();
  pdx::Status rerun();  // refresh() without its events

  std::vector<std::string> lines_;
  std::optional<sql::Query> prepared_;
  std::map<std::string, pdx::Value> values_;  // by lower-case name
  std::unique_ptr<sql::RowSet> rows_;
  uint64_t runs_ = 0;
};

}  // namespace db
