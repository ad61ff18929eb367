// A new data root: the shell's system tables, the shared `arterms` and
// `virmem`, the languages and their translation tables, and a first user.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "interrupted.h"
#include "pdx/env.h"
#include "refusals.h"
#include "starter_data.h"
#include "translation_text.h"
#include "undo_log.h"

namespace admin {

inline constexpr int kDefaultSessions = 8;
inline constexpr int kMaxSessions = 999;

struct InitOptions {
  std::string dataRoot;
  int sessions = kDefaultSessions;
  // Where the translation tables go; empty = "languages" beside the data root
  // (the folder ..\languages of the program folder on an installed system).
  std::string languagesDir;
  // The texts to compile; empty = the texts built into this program.
  std::vector<TranslationSource> translations;
  NewUser firstUser = defaultFirstUser();
  pdx::Env* env = pdx::Env::standard();

  static NewUser defaultFirstUser();
};

// The languages folder of a data root: "languages" beside it.
std::string defaultLanguagesDir(const std::string& dataRoot);

// The folders init fills (the data root and its languages folder), with the
// tables it makes in each.
std::vector<BuildFolder> initFolders(const InitOptions& options);

// Problems that make init refuse, checked without writing anything: tables
// of the data root or translation tables that already exist, bad options.
// Empty when init may go ahead.
Refusals initRefusals(const InitOptions& options);

// Creates the data root (and its folders) as described above. What an
// interrupted command left in them is cleared first (interrupted.h). Refuses,
// with nothing touched, when initRefusals() finds anything (with its status).
// On any other failure what it created is removed again. Progress lines go to
// `log`.
pdx::Status initDataRoot(const InitOptions& options, std::ostream& log);

// The same, leaving what it created to the caller's `undo` (for commands that
// build more on top, and for the command line, which says what an undo left).
pdx::Status initDataRoot(const InitOptions& options, std::ostream& log, UndoLog& undo);

}  // namespace admin
