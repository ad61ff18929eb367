// What a command has created so far, removed again unless the command
// completes: a command that fails half-way leaves the disk as it found it.
//
// A command that is killed has no chance to undo anything. So every folder
// it fills carries the marker of an unfinished build (pdx/unfinished.h) from
// before its first table until the command completes: the shell, pdxtool
// check and the next run of a command all know such a folder for what it is
// (see interrupted.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pdx/table.h"
#include "pdx/unfinished.h"

namespace admin {

class UndoLog {
 public:
  // `purpose` is what the markers say while the command runs
  // ("tallimoor-admin demo data").
  explicit UndoLog(std::string purpose = "tallimoor-admin");
  // undo(), unless keep() or undo() came first. Tables opened on what it
  // removes must be closed before.
  ~UndoLog();
  UndoLog(const UndoLog&) = delete;
  UndoLog& operator=(const UndoLog&) = delete;

  // Creates `path` and any missing parent; remembers the folders it made.
  pdx::Status makeDirectories(const std::string& path);
  // A folder the command fills with tables: made when missing, and marked
  // unfinished until keep(). In a folder that was there before, undo()
  // takes away the files of the engine that appear in it from now on.
  pdx::Status beginFolder(const std::string& path, pdx::Env* env);
  // A table created in a folder that existed before.
  void tableCreated(std::shared_ptr<pdx::Directory> dir, std::string name);

  // True when this command began the folder `path`.
  bool building(const std::string& path) const;

  // The command succeeded and its tables are durable: the markers go, that
  // of the folder begun first first (the others name it), and nothing is
  // undone. On failure (a marker that cannot be removed) the caller undoes.
  pdx::Status keep();
  // Removes everything recorded, newest first. Returns what could not be
  // removed, one line each (empty: nothing was left behind); a folder that
  // keeps anything of the command keeps its marker too.
  std::vector<std::string> undo();

 private:
  struct Folder {
    std::string path;
    bool made = false;                   // by this command: removed whole
    std::vector<std::string> before;     // its entries when begun, sorted
    std::unique_ptr<pdx::BuildMarker> marker;
  };
  std::string purpose_;
  pdx::Env* env_ = nullptr;
  std::vector<std::string> directories_;  // in creation order, parents first
  std::vector<Folder> folders_;           // in the order begun
  std::vector<std::pair<std::shared_ptr<pdx::Directory>, std::string>> tables_;
  bool done_ = false;
};

}  // namespace admin
