// What a command has created so far, removed again unless the command
// completes: a command that fails half-way leaves the disk as it found it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pdx/table.h"

namespace admin {

class UndoLog {
 public:
  UndoLog() = default;
  // Removes everything recorded, newest first, unless keep() was called.
  // Tables opened on what it removes must be closed before.
  ~UndoLog();
  UndoLog(const UndoLog&) = delete;
  UndoLog& operator=(const UndoLog&) = delete;

  // Creates `path` and any missing parent; remembers the folders it made.
  pdx::Status makeDirectories(const std::string& path);
  // A table created in a folder that existed before.
  void tableCreated(std::shared_ptr<pdx::Directory> dir, std::string name);
  // The command succeeded: forget everything.
  void keep();

 private:
  std::vector<std::string> directories_;  // in creation order, parents first
  std::vector<std::pair<std::shared_ptr<pdx::Directory>, std::string>> tables_;
  bool kept_ = false;
};

}  // namespace admin
