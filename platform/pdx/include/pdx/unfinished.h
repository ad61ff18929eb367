// A folder of tables that a tool is still building.
//
// A tool that fills a folder in many steps (tallimoor-admin making a data
// root or a company) places the marker file kUnfinishedMarker in the folder
// before its first table and removes it once every table is whole and on the
// disk. A build that is interrupted (Ctrl-C, a kill, a power cut) leaves the
// marker behind, and whoever finds it knows the folder is incomplete however
// sound each of its tables is. The marker holds one line of text that says
// which command was building; while the builder runs it holds a lock on the
// file kUnfinishedLock beside it (dropped by the system when it dies), which
// tells a build still running from one that was interrupted.
//
// A build that fills several folders completes them all at once: the marker
// of each folder but the first names the first folder on a second line, and
// the first folder's marker is the one removed first. A folder whose first
// folder is there without a marker is whole, whatever its own marker says.
//
// The marker is a file of a folder others can write: its text is shown only
// escaped and cut, and decides nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "pdx/env.h"
#include "pdx/status.h"

namespace pdx {

inline constexpr const char* kUnfinishedMarker = "tallimoor-unfinished";
inline constexpr const char* kUnfinishedLock = "tallimoor-unfinished.lock";

struct UnfinishedBuild {
  std::string what;      // the marker's line, escaped and cut for showing
  bool running = false;  // its builder still runs
  // The first folder of the build, when this is another (as the marker
  // names it: compare, never show).
  std::string firstFolder;
};

// True when the build that marked a folder `build` is known to have
// completed: its first folder is there and has no marker.
bool buildCompleted(const UnfinishedBuild& build, Env* env = Env::standard());

// What the marker of `dir` says, or nullopt when the folder has none (or is
// not there). Reads only: creates nothing in the folder.
Result<std::optional<UnfinishedBuild>> findUnfinishedBuild(const std::string& dir, Env* env = Env::standard());

// The marker of a build under way. Destroyed without finish(), the marker
// stays (the build did not complete) and only the lock goes.
class BuildMarker {
 public:
  // Places the marker in `dir` saying `what` (and, for a folder but the
  // first of a build, naming `firstFolder`) and makes it durable, so that no
  // table of the build can reach the disk without it. Fails with
  // code::kTableBusy when another builder holds the folder's marker.
  static Result<std::unique_ptr<BuildMarker>> place(const std::string& dir, const std::string& what, Env* env,
                                                    const std::string& firstFolder = {});
  ~BuildMarker();
  BuildMarker(const BuildMarker&) = delete;
  BuildMarker& operator=(const BuildMarker&) = delete;

  // The build is whole and durable: removes the marker, then its lock file.
  Status finish();
  const std::string& dir() const { return dir_; }

 private:
  BuildMarker() = default;
  Env* env_ = nullptr;
  std::string dir_;
  std::unique_ptr<LockFile> lock_;
};

// Removes a marker whose builder no longer runs, and its lock file (the
// caller has removed what the interrupted build left). kTableBusy when its
// builder still runs.
Status removeUnfinishedMarker(const std::string& dir, Env* env = Env::standard());

}  // namespace pdx
