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
}  // namespace

UndoLog::~UndoLog() {
  if (kept_) return;
  // Tables in folders that existed before go one by one; a folder this
  // command made goes whole, with the engine's lock and journal files in it.
  for (auto it = tables_.rbegin(); it != tables_.rend(); ++it) (void)it->first->deleteTable(it->second);
  tables_.clear();
  for (auto it = directories_.rbegin(); it != directories_.rend(); ++it) {
    std::error_code ec;
    fs::remove_all(*it, ec);
  }
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

void UndoLog::tableCreated(std::shared_ptr<pdx::Directory> dir, std::string name) {
  // Inside a folder this command made, the folder's removal takes the table.
  const std::string where = normalized(dir->path());
  for (const auto& d : directories_)
    if (normalized(d) == where) return;
  tables_.emplace_back(std::move(dir), std::move(name));
}

void UndoLog::keep() {
  kept_ = true;
  tables_.clear();
  directories_.clear();
}

}  // namespace admin
