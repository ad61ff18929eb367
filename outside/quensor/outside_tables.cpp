#include "outside_tables.h"

#include "pdx/table.h"

namespace outside {

namespace {

QString textOf(const pdx::Value& v) {
  switch (v.kind()) {
    case pdx::Value::Kind::kText: return QString::fromStdString(v.asText());
    case pdx::Value::Kind::kInteger: return QString::number(v.asInteger());
    case pdx::Value::Kind::kNumber: return QString::number(v.asNumber());
    default: return {};
  }
}

}  // namespace

std::vector<QStringList> readRows(const QString& directory, const char* table, const QStringList& fields) {
  std::vector<QStringList> rows;
  auto dir = pdx::Directory::open(directory.toStdString());
  if (!dir.ok()) return rows;
  auto t = (*dir)->openTable(table, pdx::Directory::Access::kReadOnly);
  if (!t.ok()) return rows;
  std::vector<int> columns;
  for (const QString& f : fields) columns.push_back((*t)->schema().fieldIndex(f.toStdString()));
  for (pdx::Status st = (*t)->first(); st.ok(); st = (*t)->next()) {
    QStringList row;
    for (int c : columns) {
      auto v = c >= 0 ? (*t)->get(c) : pdx::Result<pdx::Value>(pdx::Value());
      row << (v.ok() ? textOf(*v) : QString());
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace outside
