#include "interrupted.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <ostream>
#include <system_error>

#include "pdx/table.h"
#include "pdx/unfinished.h"

namespace admin {

namespace {

bool sameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Whether `name` is a file the engine made for one of `tables`, or for the
// folder (its logs and lock files).
bool belongsToBuild(const std::string& name, const std::vector<std::string>& tables) {
  if (!pdx::isEngineFileName(name)) return false;
  std::string_view file = name;
  if (file.size() > 4 && sameWord(file.substr(file.size() - 4), ".new")) file.remove_suffix(4);
  const size_t dot = file.find_last_of('.');
  const std::string_view ext = file.substr(dot + 1), stem = file.substr(0, dot);
  const bool tableFile = sameWord(ext, "db") || sameWord(ext, "px") || sameWord(ext, "mb") || sameWord(ext, "tlk");
  if (!tableFile) return true;  // the folder's logs and lock files
  return std::any_of(tables.begin(), tables.end(), [&](const std::string& t) { return sameWord(t, stem); });
}

pdx::Status clearFolder(const BuildFolder& folder, const std::string& what, pdx::Env* env, std::ostream& log) {
  PDX_ASSIGN_OR_RETURN(std::vector<std::string> names, env->list(folder.path));
  size_t removed = 0;
  for (const std::string& name : names) {
    if (name == pdx::kUnfinishedMarker || name == pdx::kUnfinishedLock || !belongsToBuild(name, folder.tables)) continue;
    PDX_RETURN_IF_ERROR(env->remove(folder.path + "/" + name));
    ++removed;
  }
  // The marker goes last: a clearing that is cut short is done again.
  PDX_RETURN_IF_ERROR(pdx::removeUnfinishedMarker(folder.path, env));
  std::error_code ec;
  const bool empty = std::filesystem::is_empty(folder.path, ec) && !ec;
  if (empty) std::filesystem::remove(folder.path, ec);
  log << folder.path << ": removed what " << what << " had left when it was interrupted (" << removed << " files"
      << (empty ? ", and the folder" : "") << ")\n";
  return pdx::Status::Ok();
}

}  // namespace

pdx::Status clearInterruptedBuilds(const std::vector<BuildFolder>& folders, pdx::Env* env, std::ostream& log) {
  struct Found {
    const BuildFolder* folder;
    pdx::UnfinishedBuild build;
    bool completed;  // all but its markers: judged before any is touched
  };
  std::vector<Found> interrupted;
  for (const BuildFolder& folder : folders) {
    PDX_ASSIGN_OR_RETURN(std::optional<pdx::UnfinishedBuild> build, pdx::findUnfinishedBuild(folder.path, env));
    if (!build) continue;
    if (build->running)
      return pdx::Status(pdx::code::kTableExists,
                         folder.path + " is being built right now by " + build->what + "; wait until it finishes");
    interrupted.push_back({&folder, *build, pdx::buildCompleted(*build, env)});
  }
  for (const auto& [folder, build, completed] : interrupted) {
    if (!completed) {
      PDX_RETURN_IF_ERROR(clearFolder(*folder, build.what, env, log));
      continue;
    }
    // Cut short while it took its markers away: the folder is whole.
    PDX_RETURN_IF_ERROR(pdx::removeUnfinishedMarker(folder->path, env));
    log << folder->path << ": " << build.what << " had finished this folder when it was interrupted\n";
  }
  return pdx::Status::Ok();
}

std::string incompleteFolder(const std::string& dir, const std::string& what, pdx::Env* env) {
  auto build = pdx::findUnfinishedBuild(dir, env);
  if (!build.ok() || !*build) return {};
  return what + " " + dir + " is incomplete (" + (*build)->what +
         ((*build)->running ? " is building it right now)" : " was interrupted): run that command again first");
}

}  // namespace admin
