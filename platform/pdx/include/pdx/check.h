// Structural check of a table: what `pdxtool check` reports.
#pragma once

#include <string>
#include <vector>

#include "pdx/env.h"
#include "pdx/status.h"

namespace pdx {

struct CheckReport {
  std::vector<std::string> faults;  // one line per fault, naming the file
  bool ok() const { return faults.empty(); }
};

// Verifies the header, the block chain, the key order, the .PX against the
// data and every memo/blob pointer of the table at `dbPath`. Reads only.
// Faults go into the report; the Status fails only when the table cannot be
// examined at all (missing file, unreadable header).
Result<CheckReport> checkTable(const std::string& dbPath, Env* env = Env::standard());

// Rolls back every commit of the directory `dir` that a process died in the
// middle of, putting its tables back as they were before it. Returns how many
// it rolled back (0 when none was unfinished). Directory::open does the same
// silently; call this first to learn whether it happened.
Result<int> recoverUnfinishedCommits(const std::string& dir, Env* env = Env::standard());

}  // namespace pdx
