#include "journal.h"
#include "redo_log.h"
#include "table_file.h"
#include "pdx/check.h"

namespace pdx {

Result<int> recoverUnfinishedCommits(const std::string& dir, Env* env) {
  PDX_ASSIGN_OR_RETURN(int undone, detail::recoverDirectory(env, dir));
  PDX_ASSIGN_OR_RETURN(int repaired, detail::RedoLog::recoverOnOpen(env, dir, TableFile::kWriteLockTimeoutMs));
  return undone + (repaired > 0 ? 1 : 0);
}

}  // namespace pdx
