#include "db/data_source.h"

#include <algorithm>

#include "db/data_set.h"

namespace db {

DataLink::~DataLink() { setDataSource(nullptr); }

void DataLink::setDataSource(DataSource* source) {
  if (source == source_) return;
  if (source_) {
    auto& links = source_->links_;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
  }
  source_ = source;
  if (source_) source_->links_.push_back(this);
  activeChanged();
}

DataSet* DataLink::dataSet() const { return source_ && source_->enabled() ? source_->dataSet() : nullptr; }

DataSource::DataSource(DataSet* dataSet) { setDataSet(dataSet); }

DataSource::~DataSource() {
  setDataSet(nullptr);
  // Links outlive their source often (a control destroyed after the data
  // module): they must not point at it any more.
  for (DataLink* l : links_) l->source_ = nullptr;
}

void DataSource::setDataSet(DataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_) dataSet_->removeSource(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->addSource(this);
  tellAll([](DataLink& l, const Field*) { l.activeChanged(); }, nullptr);
}

void DataSource::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  tellAll([](DataLink& l, const Field*) { l.activeChanged(); }, nullptr);
}

void DataSource::tellAll(void (*tell)(DataLink&, const Field*), const Field* field) {
  const std::vector<DataLink*> links = links_;
  for (DataLink* l : links)
    if (std::find(links_.begin(), links_.end(), l) != links_.end()) tell(*l, field);
}

}  // namespace db
