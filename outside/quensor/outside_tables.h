// Reading a table of a company for the lookups: the texts of some fields of
// every row, in key order. A table that cannot be read gives no rows (the
// lookup then shows an empty list).
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace outside {

std::vector<QStringList> readRows(const QString& directory, const char* table, const QStringList& fields);

}  // namespace outside
