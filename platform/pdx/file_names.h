// Names of a table's files: the folder and stem of a path, which entry of a
// folder a name given without regard to case stands for, the companion files
// (.PX, .MB, .tlk) of a table, and the names the engine's own logs may hold.
//
// Case. Table names are given without regard to case ("ctrl" opens ctrl.DB),
// but a folder on a case-sensitive file system may hold two entries that
// differ only in case (t.DB and T.DB). The rule, for tables and for their
// companions alike: the entry spelled exactly as asked wins; otherwise the
// one entry that matches without regard to case; several such entries and
// none exact is ambiguous, and refused (code::kInvalidName) rather than
// guessed. A table's companions are looked for under its own stem as it is
// spelled on disk first; when another table's stem differs from it only in
// case, only companions of exactly its stem are its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ascii.h"
#include "pdx/env.h"

namespace pdx::detail {

// The folder of `path` ("." when it names none).
inline std::string dirOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The last part of `path`.
inline std::string nameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The last part of `path` without its extension ("clients" for "a/clients.DB").
inline std::string stemOf(const std::string& path) {
  const std::string name = nameOf(path);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// True when `name`, read from one of the engine's logs, names a file the
// engine writes for a table of the log's folder: a plain name (no separator,
// no NUL, not "." or "..", a stem before the dot) ending in .DB, .PX or .MB in
// any case. Nothing else may become a path to write.
bool isTableFileName(std::string_view name);

// The entry `stem`.`ext` of `names` under the rule above (an extension's
// case never counts): its name, "" when none matches, kInvalidName (naming
// two of them) when several could be it. `dir` is for the message.
Result<std::string> matchEntry(const std::vector<std::string>& names, std::string_view stem, std::string_view ext,
                               const std::string& dir);

// The companion `ext` ("px", "mb", "tlk") of the table file `dbName` among
// `names`: its name, "" when it has none, kInvalidName when two entries could
// be it.
Result<std::string> companionEntry(const std::vector<std::string>& names, const std::string& dbName,
                                   std::string_view ext, const std::string& dir);

// The other table files (.DB) of `names` whose names differ from `dbName`'s
// only in case (of the stem or of the extension).
std::vector<std::string> caseRivals(const std::vector<std::string>& names, const std::string& dbName);

// The path of the companion `ext` of the table `dbPath`, read from its
// folder's entries: "" when it has none or the entries cannot be read.
Result<std::string> findCompanion(Env* env, const std::string& dbPath, std::string_view ext);

}  // namespace pdx::detail
