// Runs a parsed statement against a directory's tables.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "pdx/table.h"
#include "sql/row_set.h"
#include "statement.h"

namespace sql::detail {

class Executor {
 public:
  // `parameters` holds a value, or none when unbound, for each of the
  // statement's parameters.
  static pdx::Result<std::unique_ptr<RowSet>> run(const Statement& statement,
                                                  const std::vector<std::optional<pdx::Value>>& parameters,
                                                  pdx::Directory& directory);
};

}  // namespace sql::detail
