// A table as a dataset: one Paradox table of a database's directory.
//
// The table is named without regard to case, with or without ".db". Records
// come in primary-key order (keyed tables) or table order. IndexFieldNames
// ("Car_client" or "Reference;Client;Date") names the fields that FindKey,
// SetRange and a master link search on; empty means the primary key. When
// those fields lead the primary key the index serves them; other fields are
// searched record by record, in table order.
//
// Master/detail: with a master source and master fields ("Car_ref;Car_client;
// Car_date"), the table shows only the records whose index fields equal the
// master's current values, and follows the master as it moves. A master with
// no record shows no details; a closed master shows every record.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/data_set.h"
#include "db/data_source.h"
#include "pdx/table.h"

namespace db {

class Table : public DataSet {
 public:
  explicit Table(std::string name = {});
  ~Table() override;

  const std::string& tableName() const { return tableName_; }
  // Changing the table closes the dataset.
  void setTableName(std::string name);
  // Opens the file read-only (no lock, no write).
  bool readOnly = false;

  const std::string& indexFieldNames() const { return indexFieldNames_; }
  // Takes effect at once when open (the range or link is applied again).
  pdx::Status setIndexFieldNames(std::string names);

  DataSource* masterSource() const { return masterLink_.dataSource(); }
  void setMasterSource(DataSource* source);
  const std::string& masterFields() const { return masterFields_; }
  void setMasterFields(std::string names);

  // ---- searches on the index fields
  // Stands on the first record shown whose leading index fields equal
  // `values`: true; false (cursor unmoved) when there is none.
  pdx::Result<bool> findKey(const std::vector<pdx::Value>& values);
  // Stands on the first record whose index fields are >= `values`, or on the
  // last record when none is.
  pdx::Status findNearest(const std::vector<pdx::Value>& values);
  // Shows only the records whose leading index fields lie between low and high
  // (inclusive; an empty bound is open). Replaces a master link's range until
  // the master moves.
  pdx::Status setRange(const std::vector<pdx::Value>& low, const std::vector<pdx::Value>& high);
  pdx::Status cancelRange();
  pdx::Result<bool> locate(std::string_view fieldNames, const std::vector<pdx::Value>& values,
                           const LocateOptions& options = {}) override;
  pdx::Status refresh() override;

  // ---- the table file
  // The definition createTable() writes: fields in order and the primary
  // index ("a;b;c"), which must name the leading fields in order.
  std::vector<pdx::FieldDef> fieldDefs;
  std::string primaryIndexFields;
  // Creates the table from fieldDefs and primaryIndexFields, replacing any
  // table of that name. The dataset must be closed.
  pdx::Status createTable();
  // Removes every record (the dataset may be open; it then shows none).
  pdx::Status emptyTable();
  pdx::Status deleteTable();
  pdx::Result<bool> exists();

  // The engine cursor while open (null when closed), for what datasets do not say.
  pdx::Table* cursor() const { return cursor_.get(); }

 protected:
  pdx::Status openCursor(std::vector<pdx::FieldDef>& columns) override;
  void closeCursor() override;
  pdx::Status cursorFirst() override;
  pdx::Status cursorLast() override;
  pdx::Status cursorNext() override;
  pdx::Status cursorPrior() override;
  bool cursorOnRecord() const override;
  pdx::Result<pdx::Value> cursorGet(int column) override;
  pdx::Status cursorGetAll(std::span<pdx::Value> out) override;
  Bookmark cursorBookmark() const override;
  pdx::Status cursorGoto(const Bookmark& mark) override;
  pdx::Result<int64_t> cursorCount() override;
  pdx::Status cursorEdit() override;
  pdx::Status cursorInsert() override;
  pdx::Status cursorSet(int column, const pdx::Value& value) override;
  pdx::Status cursorPost() override;
  pdx::Status cursorCancel() override;
  pdx::Status cursorRemove() override;
  bool cursorAccepts() override;

 private:
  class MasterLink : public DataLink {
   public:
    explicit MasterLink(Table* owner) : owner_(owner) {}
    void activeChanged() override;
    void dataSetChanged() override;
    void dataSetScrolled() override;
   private:
    Table* owner_;
  };
  // The bounds the table is restricted to, by index field.
  struct Bounds {
    std::vector<pdx::Value> low, high;
    bool active = false;
  };

  pdx::Result<std::shared_ptr<pdx::Directory>> directoryOf();
  pdx::Status resolveIndex();
  pdx::Status applyBounds();   // the range or link onto the cursor
  pdx::Status followMaster();  // master moved
  pdx::Status reread();        // refresh() without its events
  pdx::Result<std::vector<pdx::Value>> converted(const std::vector<pdx::Value>& values) const;

  std::string tableName_;
  std::string indexFieldNames_;
  std::string masterFields_;
  MasterLink masterLink_{this};
  std::unique_ptr<pdx::Table> cursor_;
  std::vector<int> indexColumns_;  // columns of the index fields
  bool indexIsKey_ = true;         // the index fields lead the primary key
  Bounds bounds_;
};

}  // namespace db
