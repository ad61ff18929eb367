#include "db/error.h"

namespace db {

DatabaseError::DatabaseError(const pdx::Status& status)
    : std::runtime_error(status.message()), errors_{{status.code(), status.message()}} {}

DatabaseError::DatabaseError(std::string context, const pdx::Status& status)
    : std::runtime_error(context + ": " + status.message()),
      errors_{{0, std::move(context)}, {status.code(), status.message()}} {}

}  // namespace db
