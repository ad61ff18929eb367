// The commands of pdxtool. Each writes its results to `out` and its error
// messages (one line, naming the file) to `err`, and returns the process exit
// code: 0 on success, 1 on any error.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/table.h"

namespace pdxtool {

int runInfo(const std::string& table, std::ostream& out, std::ostream& err);
int runCreate(const std::string& table, const std::string& schemaFile, std::ostream& out, std::ostream& err);
int runLoad(const std::string& table, const std::string& tsvFile, std::ostream& out, std::ostream& err);
int runDump(const std::string& table, std::ostream& out, std::ostream& err);
// `target` is a table, or a directory whose every table is checked after the
// recovery of any commit a dead process left unfinished.
int runCheck(const std::string& target, std::ostream& out, std::ostream& err);
int runApply(const std::string& dir, const std::string& opsFile, std::ostream& out, std::ostream& err);

// ---- shared by the commands

// A TABLE argument split into its directory and table name: "dir/name.db",
// "dir/NAME.DB" and "dir/name" give ("dir", "name...") ; a bare name lies in
// the current directory.
struct TableArg {
  std::string dir;
  std::string name;
};
pdx::Result<TableArg> splitTableArg(const std::string& arg);

// Opens the directory of a TABLE argument.
pdx::Result<std::shared_ptr<pdx::Directory>> openDirectoryOf(const TableArg& arg);

// Lines of a text file: a line feed ends each line (the last may lack it) and
// a carriage return before it is dropped; escaped values never hold either.
std::vector<std::string_view> splitLines(std::string_view text);
// The tab-separated cells of a line (one empty cell for an empty line).
std::vector<std::string_view> splitCells(std::string_view line);

// Whole contents of a text file, without the UTF-8 byte-order mark it may
// start with. kReadError naming the file when it cannot be read.
pdx::Result<std::string> readTextFile(const std::string& path);

// Writes one line that tells what the tool read or found: whatever it holds
// of the files or the arguments is escaped and cut (see pdx/echo.h).
void printLine(std::ostream& out, std::string_view line);

// Flushes `out`; output that could not be written (a full disk, a closed
// pipe) is an error, reported as fail() does. Returns the exit code.
int finishOutput(std::ostream& out, std::ostream& err, const std::string& command, const std::string& what);

// Writes "pdxtool <command>: <what>: <message> (code N)" to err as printLine
// does; returns 1.
int fail(std::ostream& err, const std::string& command, const std::string& what, const pdx::Status& status);

}  // namespace pdxtool
