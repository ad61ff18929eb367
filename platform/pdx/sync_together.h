// Waiting for the disk once for several files.
#pragma once

#include <functional>
#include <vector>

#include "pdx/env.h"

namespace pdx::detail {

// Runs every sync and returns the first failure. Where the Env allows it
// they run side by side, so that the file system flushes them together
// instead of one after another; otherwise in order.
Status syncTogether(Env* env, std::vector<std::function<Status()>>& syncs);

}  // namespace pdx::detail
