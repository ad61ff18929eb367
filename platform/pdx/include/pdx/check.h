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

// Finishes every commit of the directory `dir` that a process died in the
// middle of, or a power cut left short in the table files: the directory's
// redo log writes them again (a commit that never reached the log is simply
// not there). Journals that earlier builds of the engine left are rolled
// back. Returns how many commits it recovered: the journals rolled back, and
// one when the log had to put files right (0 when nothing was unfinished).
// Directory::open does the same silently; call this first to learn whether
// it happened.
Result<int> recoverUnfinishedCommits(const std::string& dir, Env* env = Env::standard());

}  // namespace pdx
