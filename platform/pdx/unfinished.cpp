#include "pdx/unfinished.h"

#include <algorithm>

#include "pdx/echo.h"

namespace pdx {
namespace {

constexpr size_t kMarkerBytes = 1024;  // of the marker's text, read at most
constexpr size_t kShownCharacters = 200;

std::string markerPath(const std::string& dir) { return dir + "/" + kUnfinishedMarker; }
std::string lockPath(const std::string& dir) { return dir + "/" + kUnfinishedLock; }

// True when a builder holds the lock of `dir`'s marker.
bool builderRuns(const std::string& dir, Env* env) {
  if (!env->exists(lockPath(dir))) return false;
  auto lock = env->openLock(lockPath(dir));
  return lock.ok() && (*lock)->isLockedByOther(0, 1, LockMode::kExclusive);
}

}  // namespace

Result<std::optional<UnfinishedBuild>> findUnfinishedBuild(const std::string& dir, Env* env) {
  if (!env->isDirectory(dir)) return std::optional<UnfinishedBuild>();
  auto names = env->list(dir);
  if (!names.ok()) return names.status();
  bool marked = false;
  for (const auto& n : *names) marked = marked || n == kUnfinishedMarker;
  if (!marked) return std::optional<UnfinishedBuild>();
  UnfinishedBuild build;
  build.running = builderRuns(dir, env);
  // Unreadable or empty, the marker still marks the folder.
  if (auto file = env->open(markerPath(dir), Env::OpenMode::kRead); file.ok()) {
    std::string text(kMarkerBytes, '\0');
    if (auto got = (*file)->read(0, text.size(), text.data()); got.ok()) {
      text.resize(*got);
      const size_t end = text.find('\n');
      build.what = echo(text.substr(0, end), kShownCharacters);
      if (end != std::string::npos) {
        const std::string rest = text.substr(end + 1);
        build.firstFolder = rest.substr(0, rest.find('\n'));
      }
    }
  }
  if (build.what.empty()) build.what = "a build";
  return std::optional<UnfinishedBuild>(std::move(build));
}

bool buildCompleted(const UnfinishedBuild& build, Env* env) {
  if (build.firstFolder.empty() || !env->isDirectory(build.firstFolder)) return false;
  auto first = findUnfinishedBuild(build.firstFolder, env);
  return first.ok() && !*first;
}

Result<std::unique_ptr<BuildMarker>> BuildMarker::place(const std::string& dir, const std::string& what, Env* env,
                                                        const std::string& firstFolder) {
  std::unique_ptr<BuildMarker> marker(new BuildMarker);
  marker->env_ = env;
  marker->dir_ = dir;
  PDX_ASSIGN_OR_RETURN(marker->lock_, env->openLock(lockPath(dir)));
  if (!marker->lock_->lock(0, 1, LockMode::kExclusive, 0).ok())
    return Status(code::kTableBusy, "another program is building " + dir + " right now");
  std::string line = what;
  std::replace(line.begin(), line.end(), '\n', ' ');
  PDX_ASSIGN_OR_RETURN(auto file, env->open(markerPath(dir), Env::OpenMode::kCreate));
  PDX_RETURN_IF_ERROR(file->write(0, line + "\n" + (firstFolder.empty() ? "" : firstFolder + "\n")));
  PDX_RETURN_IF_ERROR(file->sync());
  PDX_RETURN_IF_ERROR(env->syncDirectory(dir));
  return marker;
}

BuildMarker::~BuildMarker() {
  if (lock_) lock_->unlock(0, 1);
}

Status BuildMarker::finish() {
  if (!lock_) return {};  // finished before
  PDX_RETURN_IF_ERROR(env_->remove(markerPath(dir_)));
  PDX_RETURN_IF_ERROR(env_->syncDirectory(dir_));
  // The lock file goes while still held, so that no other builder takes it
  // in between and loses it.
  Status st = env_->remove(lockPath(dir_));
  lock_->unlock(0, 1);
  lock_.reset();
  return st;
}

Status removeUnfinishedMarker(const std::string& dir, Env* env) {
  if (builderRuns(dir, env)) return Status(code::kTableBusy, "another program is building " + dir + " right now");
  PDX_RETURN_IF_ERROR(env->remove(markerPath(dir)));
  PDX_RETURN_IF_ERROR(env->remove(lockPath(dir)));
  return env->syncDirectory(dir);
}

}  // namespace pdx
