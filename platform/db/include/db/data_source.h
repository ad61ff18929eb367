// Data sources: how controls and detail datasets follow a dataset.
//
// A DataSource points at one dataset; DataLinks (bound controls, the master
// link of a detail table) attach to the source and hear what happens to the
// dataset while the source is enabled and the dataset's controls are not
// disabled. A link removes itself when destroyed; a source or dataset that
// goes away first detaches what pointed at it.
#pragma once

#include <vector>

namespace db {

class DataSet;
class DataSource;
class Field;

class DataLink {
 public:
  DataLink() = default;
  virtual ~DataLink();
  DataLink(const DataLink&) = delete;
  DataLink& operator=(const DataLink&) = delete;

  DataSource* dataSource() const { return source_; }
  // Attaches to `source` (null detaches).
  void setDataSource(DataSource* source);
  // The source's dataset, or null.
  DataSet* dataSet() const;

  // The dataset opened or closed, or the link was attached to another source.
  virtual void activeChanged() {}
  // The rows shown changed wholesale (open, refresh, range, filter, post,
  // delete, the end of disableControls).
  virtual void dataSetChanged() {}
  // The dataset moved to another record.
  virtual void dataSetScrolled() {}
  // A field of the current record changed (null: several did).
  virtual void recordChanged(const Field* /*field*/) {}
  // The dataset entered or left edit or insert state.
  virtual void editingChanged() {}
  // A post is about to happen: a control writes the text being keyed.
  virtual void updateData() {}

 private:
  friend class DataSource;
  DataSource* source_ = nullptr;
};

class DataSource {
 public:
  explicit DataSource(DataSet* dataSet = nullptr);
  ~DataSource();
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  DataSet* dataSet() const { return dataSet_; }
  void setDataSet(DataSet* dataSet);
  bool enabled() const { return enabled_; }
  // Disabling makes the links see no dataset; enabling tells them again.
  void setEnabled(bool enabled);

 private:
  friend class DataSet;
  friend class DataLink;
  void tellAll(void (*tell)(DataLink&, const Field*), const Field* field);

  DataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  std::vector<DataLink*> links_;
};

}  // namespace db
