#include "journal.h"
#include "pdx/check.h"

namespace pdx {

Result<int> recoverUnfinishedCommits(const std::string& dir, Env* env) { return detail::recoverDirectory(env, dir); }

}  // namespace pdx
