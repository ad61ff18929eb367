// What a Directory shares with the tables opened from it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pdx/env.h"

namespace pdx {

class TableFile;
namespace detail {
class Journal;
}

class DirectoryState {
 public:
  DirectoryState();
  ~DirectoryState();

  Env* env = nullptr;
  std::string path;
  // Open table files of this directory, by path, shared by their cursors.
  std::map<std::string, std::weak_ptr<TableFile>> open;

  // The write group under way: the tables it has changed, in the order it
  // reached them, and the first failure that dooms it.
  struct Group {
    std::vector<std::shared_ptr<TableFile>> tables;
    Status failure;
  };
  std::unique_ptr<Group> group;

  // This process's journal slot in the directory, taken at the first commit.
  std::unique_ptr<detail::Journal> journal;
};

// Commits the changes held for `tables` all at once (see commit.cpp), and
// releases their reservations whatever the outcome.
Status commitTables(DirectoryState& dir, std::vector<TableFile*>& tables);

}  // namespace pdx
