#include "db/database.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "db/data_set.h"
#include "db/error.h"
#include "value_text.h"

namespace db {

using pdx::Status;

namespace {

std::vector<Database*>& registry() {
  static std::vector<Database*> all;
  return all;
}

// One Directory per directory of the process, shared by every user of it.
std::map<std::string, std::weak_ptr<pdx::Directory>>& directories() {
  static std::map<std::string, std::weak_ptr<pdx::Directory>> open;
  return open;
}

std::string normalPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
  if (ec) p = path;
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

Database::Database(std::string name) : name_(std::move(name)) { registry().push_back(this); }

Database::~Database() {
  disconnect();
  auto& all = registry();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void Database::setName(std::string name) {
  if (name == name_) return;
  disconnect();
  name_ = std::move(name);
}

std::string Database::path() const {
  for (const std::string& line : params_) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && equalsNoCase(trimmed(line.substr(0, eq)), "path")) return trimmed(line.substr(eq + 1));
  }
  return {};
}

Status Database::connect() {
  if (connected()) return {};
  const std::string dir = path();
  if (dir.empty())
    return Status(code::kNoDatabase, "database " + name_ + " has no \"path=\" parameter");
  auto opened = openDirectory(dir);
  if (!opened.ok()) return Status(opened.status().code(), "database " + name_ + ": " + opened.status().message());
  directory_ = std::move(opened).value();
  return {};
}

void Database::disconnect() {
  // Closing a dataset detaches it from this list.
  while (!dataSets_.empty()) {
    DataSet* d = dataSets_.back();
    d->close();
    detach(d);
  }
  directory_.reset();
}

void Database::attach(DataSet* dataSet) {
  if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end()) dataSets_.push_back(dataSet);
}

void Database::detach(DataSet* dataSet) {
  dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), dataSet), dataSets_.end());
}

pdx::Result<std::unique_ptr<Transaction>> Database::startTransaction() {
  PDX_RETURN_IF_ERROR(connect());
  auto group = directory_->beginGroup();
  if (!group.ok()) return group.status();
  return std::make_unique<Transaction>(std::move(group).value());
}

Database* Database::find(std::string_view name) {
  if (name.empty()) return nullptr;
  for (Database* d : registry())
    if (equalsNoCase(d->name_, name)) return d;
  return nullptr;
}

pdx::Result<std::shared_ptr<pdx::Directory>> Database::resolve(std::string_view nameOrPath, Database** database) {
  if (database) *database = nullptr;
  if (Database* d = find(nameOrPath)) {
    PDX_RETURN_IF_ERROR(d->connect());
    if (database) *database = d;
    return d->directory_;
  }
  if (nameOrPath.empty()) return Status(code::kNoDatabase, "no database name or directory given");
  return openDirectory(std::string(nameOrPath));
}

pdx::Result<std::shared_ptr<pdx::Directory>> Database::openDirectory(const std::string& path) {
  const std::string key = normalPath(path);
  auto& open = directories();
  if (auto it = open.find(key); it != open.end())
    if (auto dir = it->second.lock()) return dir;
  auto dir = pdx::Directory::open(key, environment());
  if (!dir.ok()) return dir.status();
  open[key] = *dir;
  // Forget directories nobody holds any more.
  for (auto it = open.begin(); it != open.end();) it = it->second.expired() ? open.erase(it) : std::next(it);
  return dir;
}

pdx::Env*& Database::environment() {
  static pdx::Env* env = pdx::Env::standard();
  return env;
}

Status Transaction::commit() {
  if (!group_) return Status(pdx::code::kInvalidParameter, "the transaction has ended");
  Status s = group_->commit();
  group_.reset();
  return s;
}

void Transaction::rollback() {
  if (group_) group_->rollback();
  group_.reset();
}

}  // namespace db
