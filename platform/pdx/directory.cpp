#include <algorithm>

#include "blob_file.h"
#include "codepage.h"
#include "directory_state.h"
#include "format.h"
#include "journal.h"
#include "pdx/table.h"
#include "ascii.h"
#include "table_file.h"

namespace pdx {
namespace {

Status checkName(std::string_view name) {
  if (name.empty() || name.size() > 250 || name.find('/') != std::string_view::npos ||
      name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos || name == "." ||
      name == "..")
    return Status(code::kInvalidName, "invalid table name \"" + std::string(name) + "\"");
  return {};
}

std::string stripDb(std::string_view name) {
  if (detail::endsWithIgnoreCase(name, ".db")) name.remove_suffix(3);
  return std::string(name);
}

}  // namespace

Directory::Directory(std::shared_ptr<DirectoryState> state) : state_(std::move(state)) {}
Directory::~Directory() = default;

Result<std::shared_ptr<Directory>> Directory::open(const std::string& path, Env* env) {
  if (!env->isDirectory(path)) return Status(code::kTableNotFound, "directory not found: " + path);
  auto state = std::make_shared<DirectoryState>();
  state->env = env;
  state->path = path;
  while (state->path.size() > 1 && state->path.back() == '/') state->path.pop_back();
  // A commit cut short by a crash is undone before anything is read.
  PDX_RETURN_IF_ERROR(detail::recoverDirectory(env, state->path).status());
  return std::shared_ptr<Directory>(new Directory(std::move(state)));
}

const std::string& Directory::path() const { return state_->path; }
Env* Directory::env() const { return state_->env; }

Result<std::string> Directory::tablePath(std::string_view name) const {
  PDX_RETURN_IF_ERROR(checkName(name));
  const std::string wanted = stripDb(name) + ".db";
  PDX_ASSIGN_OR_RETURN(auto names, state_->env->list(state_->path));
  std::sort(names.begin(), names.end());  // the same file every time when only case differs
  for (const auto& n : names)
    if (detail::equalsIgnoreCase(n, wanted)) return state_->path + "/" + n;
  return Status(code::kTableNotFound, "table " + std::string(name) + " not found in " + state_->path);
}

bool Directory::tableExists(std::string_view name) const { return tablePath(name).ok(); }

Result<std::vector<std::string>> Directory::tableNames() const {
  PDX_ASSIGN_OR_RETURN(auto names, state_->env->list(state_->path));
  std::vector<std::string> out;
  for (const auto& n : names)
    if (n.size() > 3 && detail::endsWithIgnoreCase(n, ".db")) out.push_back(n.substr(0, n.size() - 3));
  std::sort(out.begin(), out.end());
  return out;
}

Result<std::unique_ptr<Table>> Directory::openTable(std::string_view name, Access access) {
  PDX_ASSIGN_OR_RETURN(std::string path, tablePath(name));
  const bool readOnly = access == Access::kReadOnly;
  std::shared_ptr<TableFile> file;
  if (auto it = state_->open.find(path); it != state_->open.end()) {
    file = it->second.lock();
    if (file && file->readOnly() && !readOnly) file.reset();
  }
  if (!file) {
    PDX_ASSIGN_OR_RETURN(file, TableFile::open(state_->env, path, readOnly));
    state_->open[path] = file;
  } else {
    PDX_RETURN_IF_ERROR(file->refresh());
  }
  return std::unique_ptr<Table>(new Table(state_, std::move(file), readOnly || file->readOnly()));
}

Status Directory::createTable(std::string_view name, const std::vector<FieldDef>& fields, int keyFieldCount,
                              const CreateOptions& options) {
  PDX_RETURN_IF_ERROR(checkName(name));
  if (tableExists(name)) return Status(code::kTableExists, "table " + std::string(name) + " already exists in " + state_->path);
  PDX_RETURN_IF_ERROR(detail::validateDefinition(fields, keyFieldCount, static_cast<uint32_t>(options.blockSize)));
  if (!detail::isSupportedCodePage(options.codePage) || options.codePage <= 0 || options.codePage > 0xFFFF)
    return Status(code::kInvalidParameter, "unsupported code page " + std::to_string(options.codePage));
  Env* env = state_->env;
  const std::string base = state_->path + "/" + stripDb(name);

  // Field names are stored in the table's code page.
  std::vector<FieldDef> stored = fields;
  for (auto& f : stored) {
    auto n = detail::fromUtf8(f.name, options.codePage);
    if (!n.ok()) return Status(code::kInvalidParameter, "field name \"" + f.name + "\": " + n.status().message());
    f.name = std::move(n).value();
  }

  // Remove leftovers of an earlier table of this name (index, memo file).
  if (auto names = env->list(state_->path); names.ok()) {
    const std::string stem = stripDb(name);
    for (const auto& n : *names) {
      size_t dot = n.find_last_of('.');
      if (dot == std::string::npos || !detail::equalsIgnoreCase(n.substr(0, dot), stem)) continue;
      const std::string ext = detail::toLowerAscii(n.substr(dot + 1));
      if (ext == "px" || ext == "mb" || ext == "val" || ((ext[0] == 'x' || ext[0] == 'y') && ext.size() == 3))
        PDX_RETURN_IF_ERROR(env->remove(state_->path + "/" + n));
    }
  }

  auto lock = env->openLock(base + ".tlk");
  if (!lock.ok()) return lock.status();
  PDX_RETURN_IF_ERROR((*lock)->lock(TableFile::kTableLockOffset, 1, LockMode::kExclusive, TableFile::kWriteLockTimeoutMs));
  auto finish = [&](Status st) {
    (*lock)->sharedWord(0).fetch_add(1, std::memory_order_acq_rel);
    (*lock)->unlock(TableFile::kTableLockOffset, 1);
    return st;
  };

  const std::string fileName = stripDb(name) + ".DB";
  const std::string header =
      detail::buildDataHeader(stored, keyFieldCount, options.codePage, static_cast<uint32_t>(options.blockSize), fileName);
  if (keyFieldCount > 0) {
    std::vector<FieldDef> keys(stored.begin(), stored.begin() + keyFieldCount);
    auto px = env->open(base + ".PX", Env::OpenMode::kCreate);
    if (!px.ok()) return finish(px.status());
    Status st = (*px)->write(0, detail::buildIndexHeader(keys, static_cast<uint32_t>(options.blockSize),
                                                         stripDb(name) + ".PX", 0));
    if (!st.ok()) return finish(st);
  }
  if (std::any_of(fields.begin(), fields.end(), [](const FieldDef& f) { return isBlobType(f.type); })) {
    auto mb = detail::BlobFile::create(*env, base + ".MB");
    if (!mb.ok()) return finish(mb.status());
  }
  // The data file appears whole or not at all: written under another name,
  // synced, then renamed. Until then the name holds no table.
  const std::string temp = base + ".DB.new";
  auto db = env->open(temp, Env::OpenMode::kCreate);
  if (!db.ok()) return finish(db.status());
  Status st = (*db)->write(0, header);
  if (st.ok()) st = (*db)->sync();
  db->reset();
  if (st.ok()) st = env->rename(temp, base + ".DB");
  if (st.ok()) st = env->syncDirectory(state_->path);
  if (!st.ok()) (void)env->remove(temp);
  return finish(st);
}

Status Directory::emptyTable(std::string_view name) {
  auto table = openTable(name);
  if (!table.ok()) return table.status();
  std::shared_ptr<TableFile> file = (*table)->file_;
  if ((*table)->recordLocks_ &&
      (*table)->recordLocks_->isLockedByOther(TableFile::kRecordLockBase, TableFile::kRecordLockSpan, LockMode::kExclusive))
    return Status(code::kRecordLocked, "cannot empty " + file->path() + ": a record is being edited by another user");
  TableFile::Writer w(*file, state_.get());
  PDX_RETURN_IF_ERROR(w.begin());
  PDX_RETURN_IF_ERROR(w.removeAll());
  return w.commit();
}

Status Directory::deleteTable(std::string_view name) {
  PDX_ASSIGN_OR_RETURN(std::string path, tablePath(name));
  Env* env = state_->env;
  const std::string stem = stripDb(name);
  auto lockPath = state_->path + "/" + stem + ".tlk";
  if (auto names = env->list(state_->path); names.ok())
    for (const auto& n : *names)
      if (detail::equalsIgnoreCase(n, stem + ".tlk")) lockPath = state_->path + "/" + n;
  auto lock = env->openLock(lockPath);
  if (!lock.ok()) return lock.status();
  if ((*lock)->isLockedByOther(TableFile::kRecordLockBase, TableFile::kRecordLockSpan, LockMode::kExclusive))
    return Status(code::kRecordLocked, "cannot delete " + path + ": a record is being edited by another user");
  PDX_RETURN_IF_ERROR((*lock)->lock(TableFile::kTableLockOffset, 1, LockMode::kExclusive, TableFile::kWriteLockTimeoutMs));
  // The data file goes first: once it is gone the table is gone, whatever
  // happens to the removal of its companions.
  Status st = env->remove(path);
  if (st.ok()) {
    if (auto names = env->list(state_->path); names.ok()) {
      for (const auto& n : *names) {
        size_t dot = n.find_last_of('.');
        if (dot == std::string::npos || !detail::equalsIgnoreCase(n.substr(0, dot), stem)) continue;
        const std::string ext = detail::toLowerAscii(n.substr(dot + 1));
        if (ext == "tlk") continue;  // other processes may still hold it
        Status r = env->remove(state_->path + "/" + n);
        if (st.ok()) st = r;
      }
    }
    Status synced = env->syncDirectory(state_->path);
    if (st.ok()) st = synced;
  }
  state_->open.erase(path);
  (*lock)->sharedWord(0).fetch_add(1, std::memory_order_acq_rel);
  (*lock)->unlock(TableFile::kTableLockOffset, 1);
  return st;
}

}  // namespace pdx
