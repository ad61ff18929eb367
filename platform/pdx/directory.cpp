#include <algorithm>

#include "blob_file.h"
#include "codepage.h"
#include "directory_state.h"
#include "format.h"
#include "journal.h"
#include "redo_log.h"
#include "pdx/table.h"
#include "ascii.h"
#include "file_names.h"
#include "pdx/echo.h"
#include "table_file.h"

namespace pdx {
namespace {

Status checkName(std::string_view name) {
  if (name.empty() || name.size() > 250 || name.find('/') != std::string_view::npos ||
      name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos || name == "." ||
      name == "..")
    return Status(code::kInvalidName, "invalid table name " + quote(name));
  return {};
}

// Tells every process that keeps a view of the table to read it again; the
// caller holds the table lock exclusively.
Status bumpCounter(LockFile& lock) {
  PDX_RETURN_IF_ERROR(lock.load());
  return lock.store(0, lock.word(0) + 1);
}

std::string stripDb(std::string_view name) {
  if (detail::endsWithIgnoreCase(name, ".db")) name.remove_suffix(3);
  return std::string(name);
}

// The table file `name` stands for among the directory's entries `names`
// (see file_names.h for names that differ only in case).
Result<std::string> findTable(const std::string& dir, const std::vector<std::string>& names, std::string_view name) {
  PDX_ASSIGN_OR_RETURN(std::string found, detail::matchEntry(names, stripDb(name), "db", dir));
  if (found.empty()) return Status(code::kTableNotFound, "table " + quote(name) + " not found in " + dir);
  return dir + "/" + found;
}

// Whether the entry `n` of a folder `names` is a file of the table whose data
// file is `dbName`: files spelled with its stem in another case count only
// when no other table's stem differs from it only in case.
bool isCompanionOf(const std::vector<std::string>& names, const std::string& dbName, const std::string& n) {
  const std::string stem = detail::stemOf(dbName);
  const size_t dot = n.find_last_of('.');
  if (dot == std::string::npos || !detail::equalsIgnoreCase(n.substr(0, dot), stem)) return false;
  if (n.substr(0, dot) == stem) return true;
  return detail::caseRivals(names, dbName).empty();
}

}  // namespace

bool isEngineFileName(std::string_view name) {
  const std::string n(name);
  if (n == detail::RedoLog::kFileName || n == detail::RedoLog::kLockName || detail::isJournalFileName(n)) return true;
  if (detail::endsWithIgnoreCase(n, ".db.new")) return n.size() > 7;
  if (detail::endsWithIgnoreCase(n, ".tlk")) return n.size() > 4;
  return detail::isTableFileName(n);
}

void DirectoryState::keepClosed(const std::shared_ptr<TableFile>& file) {
  if (!file->checkable()) return;
  auto it = open.find(file->path());
  if (it == open.end() || it->second.lock() != file) return;  // replaced or deleted meanwhile
  dropClosed(file.get());
  closed.push_front(file);
  size_t bytes = 0;
  for (auto c = closed.begin(); c != closed.end();) {
    bytes += (*c)->cachedBytes();
    const bool over = c != closed.begin() && (closed.size() > kClosedTables || bytes > kClosedBytes);
    if (over) {
      bytes -= (*c)->cachedBytes();
      c = closed.erase(c);
    } else {
      ++c;
    }
  }
}

void DirectoryState::dropClosed(const TableFile* file) {
  closed.remove_if([&](const std::shared_ptr<TableFile>& c) { return c.get() == file; });
}

void DirectoryState::dropClosed(const std::string& stem) {
  closed.remove_if([&](const std::shared_ptr<TableFile>& c) { return detail::equalsIgnoreCase(detail::stemOf(c->path()), stem); });
}

Status DirectoryState::emptyLog() {
  if (!env->exists(path + "/" + detail::RedoLog::kFileName)) return {};
  if (!log) {
    PDX_ASSIGN_OR_RETURN(log, detail::RedoLog::open(env, path, TableFile::kWriteLockTimeoutMs));
  }
  PDX_RETURN_IF_ERROR(log->lock(TableFile::kWriteLockTimeoutMs));
  Status st = log->checkpoint(/*always=*/true);
  log->unlock();
  return st;
}

void DirectoryState::forgetTable(const std::string& stem) {
  dropClosed(stem);
  for (auto it = open.begin(); it != open.end();) {
    if (detail::equalsIgnoreCase(detail::stemOf(it->first), stem)) it = open.erase(it);
    else ++it;
  }
}

Directory::Directory(std::shared_ptr<DirectoryState> state) : state_(std::move(state)) {}
Directory::~Directory() = default;

Result<std::shared_ptr<Directory>> Directory::open(const std::string& path, Env* env) {
  if (!env->isDirectory(path)) return Status(code::kTableNotFound, "directory not found: " + path);
  auto state = std::make_shared<DirectoryState>();
  state->env = env;
  state->path = path;
  while (state->path.size() > 1 && state->path.back() == '/') state->path.pop_back();
  // A commit cut short by a crash is finished, or undone when an earlier
  // build of the engine journaled it, before anything is read.
  PDX_RETURN_IF_ERROR(detail::recoverDirectory(env, state->path).status());
  PDX_RETURN_IF_ERROR(detail::RedoLog::recoverOnOpen(env, state->path, TableFile::kWriteLockTimeoutMs).status());
  return std::shared_ptr<Directory>(new Directory(std::move(state)));
}

const std::string& Directory::path() const { return state_->path; }
Env* Directory::env() const { return state_->env; }

Result<std::string> Directory::tablePath(std::string_view name) const {
  PDX_RETURN_IF_ERROR(checkName(name));
  PDX_ASSIGN_OR_RETURN(auto names, state_->env->list(state_->path));
  return findTable(state_->path, std::move(names), name);
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

// A table file already open in this process (by cursors, a write group, or
// kept after its last cursor closed) serves the new cursor when the files on
// disk are still the ones it read; a file replaced or written behind the
// engine's back is opened afresh. Within a write group that holds changes of
// the table the file is the group's, and the one to use whatever the disk says.
Result<std::unique_ptr<Table>> Directory::openTable(std::string_view name, Access access) {
  PDX_RETURN_IF_ERROR(checkName(name));
  PDX_ASSIGN_OR_RETURN(auto names, state_->env->list(state_->path));
  PDX_ASSIGN_OR_RETURN(std::string path, findTable(state_->path, names, name));
  const bool readOnly = access == Access::kReadOnly;
  std::shared_ptr<TableFile> file;
  if (auto it = state_->open.find(path); it != state_->open.end()) {
    file = it->second.lock();
    if (file && ((file->readOnly() && !readOnly) || (!file->reserved() && !file->matchesDisk(names)))) {
      state_->dropClosed(file.get());
      file.reset();
    }
  }
  if (!file) {
    PDX_ASSIGN_OR_RETURN(file, TableFile::open(state_->env, path, readOnly, &names));
    state_->open[path] = file;
  } else {
    state_->dropClosed(file.get());
    PDX_RETURN_IF_ERROR(file->refresh());
  }
  const bool cursorReadOnly = readOnly || file->readOnly();
  return std::unique_ptr<Table>(new Table(state_, std::move(file), cursorReadOnly));
}

Status Directory::createTable(std::string_view name, const std::vector<FieldDef>& fields, int keyFieldCount,
                              const CreateOptions& options) {
  PDX_RETURN_IF_ERROR(checkName(name));
  if (auto existing = tablePath(name); existing.ok())
    return Status(code::kTableExists, "table " + quote(name) + " already exists in " + state_->path);
  else if (!existing.status().is(code::kTableNotFound))
    return existing.status();  // two tables already answer to the name
  PDX_RETURN_IF_ERROR(detail::validateDefinition(fields, keyFieldCount, static_cast<uint32_t>(options.blockSize)));
  if (!detail::isSupportedCodePage(options.codePage) || options.codePage <= 0 || options.codePage > 0xFFFF)
    return Status(code::kInvalidParameter, "unsupported code page " + std::to_string(options.codePage));
  Env* env = state_->env;
  const std::string base = state_->path + "/" + stripDb(name);

  // Field names are stored in the table's code page.
  std::vector<FieldDef> stored = fields;
  for (auto& f : stored) {
    auto n = detail::fromUtf8(f.name, options.codePage);
    if (!n.ok()) return Status(code::kInvalidParameter, "field name " + quote(f.name) + ": " + n.status().message());
    f.name = std::move(n).value();
  }

  // Whatever this process knew of an earlier table of this name is stale,
  // and so is whatever the redo log holds for its files.
  state_->forgetTable(stripDb(name));
  PDX_RETURN_IF_ERROR(state_->emptyLog());
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
    Status moved = bumpCounter(**lock);
    (*lock)->unlock(TableFile::kTableLockOffset, 1);
    return st.ok() ? moved : st;
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
    if (st.ok()) st = (*px)->sync();
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
  Status st = [&]() -> Status {
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
  }();
  // An emptied table is read afresh when next opened (which costs nothing).
  state_->dropClosed(stripDb(name));
  return st;
}

Status Directory::deleteTable(std::string_view name) {
  PDX_ASSIGN_OR_RETURN(std::string path, tablePath(name));
  Env* env = state_->env;
  const std::string dbName = detail::nameOf(path);
  PDX_ASSIGN_OR_RETURN(std::string lockPath, detail::findCompanion(env, path, "tlk"));
  if (lockPath.empty()) lockPath = state_->path + "/" + detail::stemOf(path) + ".tlk";
  auto lock = env->openLock(lockPath);
  if (!lock.ok()) return lock.status();
  if ((*lock)->isLockedByOther(TableFile::kRecordLockBase, TableFile::kRecordLockSpan, LockMode::kExclusive))
    return Status(code::kRecordLocked, "cannot delete " + path + ": a record is being edited by another user");
  PDX_RETURN_IF_ERROR((*lock)->lock(TableFile::kTableLockOffset, 1, LockMode::kExclusive, TableFile::kWriteLockTimeoutMs));
  // The redo log must never write the table's old records into files of a
  // later table of the same name: it is emptied first.
  Status st = state_->emptyLog();
  // The data file goes first: once it is gone the table is gone, whatever
  // happens to the removal of its companions.
  if (st.ok()) st = env->remove(path);
  if (st.ok()) {
    if (auto names = env->list(state_->path); names.ok()) {
      for (const auto& n : *names) {
        if (!isCompanionOf(*names, dbName, n)) continue;
        const std::string ext = detail::toLowerAscii(n.substr(n.find_last_of('.') + 1));
        if (ext == "db") continue;  // another table's, whose name differs only in case
        if (ext == "tlk") continue;  // other processes may still hold it
        Status r = env->remove(state_->path + "/" + n);
        if (st.ok()) st = r;
      }
    }
    Status synced = env->syncDirectory(state_->path);
    if (st.ok()) st = synced;
  }
  state_->forgetTable(detail::stemOf(path));
  Status moved = bumpCounter(**lock);
  (*lock)->unlock(TableFile::kTableLockOffset, 1);
  return st.ok() ? moved : st;
}

}  // namespace pdx
