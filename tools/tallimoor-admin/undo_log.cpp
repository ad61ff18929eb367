#include "undo_log.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace admin {

namespace fs = std::filesystem;

namespace {
// A folder's path in one spelling: normalised, without a trailing separator.
std::string normalized(const std::string& path) {
  std::string s = fs::path(path).lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::vector<std::string> entriesOf(const std::string& dir, pdx::Env* env) {
  auto names = env->list(dir);
  std::vector<std::string> out = names.ok() ? std::move(names).value() : std::vector<std::string>();
  std::sort(out.begin(), out.end());
  return out;
}
}  // namespace

UndoLog::UndoLog(std::string purpose) : purpose_(std::move(purpose)) {}

UndoLog::~UndoLog() {
  if (!done_) (void)undo();
}

pdx::Status UndoLog::makeDirectories(const std::string& path) {
  std::vector<fs::path> missing;
  std::error_code ec;
  for (fs::path p = normalized(path); !p.empty(); p = p.parent_path()) {
    if (fs::exists(p, ec)) break;
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  std::reverse(missing.begin(), missing.end());
  for (const fs::path& p : missing) {
    if (!fs::create_directory(p, ec) && ec)
      return pdx::Status(pdx::code::kOsError, "cannot create the folder " + p.string() + ": " + ec.message());
    directories_.push_back(p.string());
  }
  if (!fs::is_directory(path, ec)) return pdx::Status(pdx::code::kOsError, path + " is not a folder");
  return pdx::Status::Ok();
}

pdx::Status UndoLog::beginFolder(const std::string& path, pdx::Env* env) {
  env_ = env;
  const std::string where = normalized(path);
  for (const Folder& f : folders_)
    if (f.path == where) return pdx::Status::Ok();
  const size_t madeBefore = directories_.size();
  PDX_RETURN_IF_ERROR(makeDirectories(where));
  Folder folder;
  folder.path = where;
  folder.made = directories_.size() > madeBefore;
  if (!folder.made) folder.before = entriesOf(where, env);
  // The first folder's marker stands for the whole build (see pdx/unfinished.h).
  const std::string first = folders_.empty() ? std::string() : fs::absolute(folders_.front().path).string();
  PDX_ASSIGN_OR_RETURN(folder.marker, pdx::BuildMarker::place(where, purpose_, env, first));
  folders_.push_back(std::move(folder));
  return pdx::Status::Ok();
}

void UndoLog::tableCreated(std::shared_ptr<pdx::Directory> dir, std::string name) {
  // Inside a folder this command made, the folder's removal takes the table.
  const std::string where = normalized(dir->path());
  for (const auto& d : directories_)
    if (normalized(d) == where) return;
  tables_.emplace_back(std::move(dir), std::move(name));
}

bool UndoLog::building(const std::string& path) const {
  const std::string where = normalized(path);
  return std::any_of(folders_.begin(), folders_.end(), [&](const Folder& f) { return f.path == where; });
}

pdx::Status UndoLog::keep() {
  // The first folder's marker goes first: from then on the build is whole,
  // whatever becomes of the other markers.
  for (Folder& f : folders_) PDX_RETURN_IF_ERROR(f.marker->finish());
  done_ = true;
  tables_.clear();
  directories_.clear();
  folders_.clear();
  return pdx::Status::Ok();
}

std::vector<std::string> UndoLog::undo() {
  done_ = true;
  std::vector<std::string> remains;
  // Tables in folders that existed before go one by one.
  for (auto it = tables_.rbegin(); it != tables_.rend(); ++it) {
    pdx::Status st = it->first->deleteTable(it->second);
    if (!st.ok() && !st.is(pdx::code::kTableNotFound)) remains.push_back(it->second + ": " + st.message());
  }
  tables_.clear();  // no Directory of the command keeps a file open beyond here

  // What the engine made beside them (lock files, the redo log, the first
  // files of a table whose creation failed).
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
    Folder& f = *it;
    if (f.made) continue;
    size_t left = remains.size();
    for (const std::string& name : entriesOf(f.path, env_)) {
      if (std::binary_search(f.before.begin(), f.before.end(), name) || !pdx::isEngineFileName(name)) continue;
      pdx::Status st = env_->remove(f.path + "/" + name);
      if (!st.ok()) remains.push_back(st.message());
    }
    if (remains.size() == left) {
      pdx::Status st = f.marker->finish();
      if (!st.ok()) remains.push_back(st.message());
    } else {
      remains.push_back(f.path + " stays marked incomplete: the same command run again clears it");
    }
  }
  // A folder this command made goes whole, with its marker.
  folders_.clear();
  for (auto it = directories_.rbegin(); it != directories_.rend(); ++it) {
    std::error_code ec;
    fs::remove_all(*it, ec);
    if (ec) remains.push_back("the folder " + *it + ": " + ec.message());
  }
  directories_.clear();
  return remains;
}

}  // namespace admin
