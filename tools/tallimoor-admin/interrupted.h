// Folders that an interrupted command left incomplete.
//
// A command that is killed while it builds leaves its folders marked
// unfinished (undo_log.h). The next command that would build in such a
// folder clears it first: the tables commands make there, the files the
// engine made beside them, the marker, and the folder itself when nothing
// else is left in it. Nobody can have used what it clears: the shell does
// not open a data root so marked, and a company so marked is not yet listed
// in `comp` (its row there is the last thing create-company writes).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "pdx/env.h"
#include "pdx/status.h"

namespace admin {

struct BuildFolder {
  std::string path;
  std::vector<std::string> tables;  // the tables the commands make there
};

// Clears every folder of `folders` that carries the marker of a build no
// longer running, saying so on `log`; a folder of a build that completed
// but for its markers only loses its marker. Refuses with kTableExists,
// touching nothing, when a build of one of them is running.
pdx::Status clearInterruptedBuilds(const std::vector<BuildFolder>& folders, pdx::Env* env, std::ostream& log);

// A reason to refuse a command that needs `dir` whole, when `dir` is marked
// unfinished; "" when it is not.
std::string incompleteFolder(const std::string& dir, const std::string& what, pdx::Env* env);

}  // namespace admin
