#include "sql/query.h"

#include <new>

#include "executor.h"
#include "statement.h"

namespace sql {

Query::Query(std::shared_ptr<const detail::Statement> statement)
    : statement_(std::move(statement)), values_(statement_->parameters.size()) {}

Query::Query(const Query&) = default;
Query& Query::operator=(const Query&) = default;
Query::Query(Query&&) noexcept = default;
Query& Query::operator=(Query&&) noexcept = default;
Query::~Query() = default;

// Running out of memory on a huge result or text is an error like any other:
// nothing is thrown through this interface.
pdx::Result<Query> Query::prepare(std::string_view text) {
  try {
    PDX_ASSIGN_OR_RETURN(std::unique_ptr<detail::Statement> st, detail::parseStatement(text));
    return Query(std::shared_ptr<const detail::Statement>(std::move(st)));
  } catch (const std::bad_alloc&) {
    return pdx::Status(code::kOutOfMemory, "not enough memory to read the query");
  }
}

const std::string& Query::text() const { return statement_->text; }
const std::string& Query::tableName() const { return statement_->table; }
const std::vector<std::string>& Query::parameterNames() const { return statement_->parameters; }

int Query::parameterIndex(std::string_view name) const {
  if (!name.empty() && name.front() == ':') name.remove_prefix(1);
  const auto& names = statement_->parameters;
  for (size_t i = 0; i < names.size(); ++i)
    if (detail::sameName(names[i], name)) return static_cast<int>(i);
  return -1;
}

pdx::Status Query::bind(std::string_view name, pdx::Value value) {
  const int i = parameterIndex(name);
  if (i < 0) return pdx::Status(code::kUnknownParameter, "the query has no parameter :" + std::string(name));
  values_[static_cast<size_t>(i)] = std::move(value);
  return {};
}

void Query::clearBindings() {
  for (auto& v : values_) v.reset();
}

pdx::Result<std::unique_ptr<RowSet>> Query::execute(pdx::Directory& directory) const {
  try {
    return detail::Executor::run(*statement_, values_, directory);
  } catch (const std::bad_alloc&) {
    return pdx::Status(code::kOutOfMemory, "not enough memory for the rows of the query on " + statement_->table);
  }
}

}  // namespace sql
