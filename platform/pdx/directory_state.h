// What a Directory shares with the tables opened from it.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pdx/env.h"

namespace pdx {

class TableFile;
namespace detail {
class RedoLog;
}

class DirectoryState {
 public:
  DirectoryState();
  ~DirectoryState();

  Env* env = nullptr;
  std::string path;
  // Open table files of this directory, by path, shared by their cursors.
  std::map<std::string, std::weak_ptr<TableFile>> open;

  // Table files whose last cursor closed, the most recently closed first:
  // the next open of the table takes its index and blocks from here, once it
  // has seen that the files on disk are still the ones they were read from
  // (TableFile::matchesDisk) and caught up with other processes' commits
  // (TableFile::refresh), so that it reads what a fresh open would. They hold
  // their files open but no lock. At most kClosedTables of them, holding at
  // most kClosedBytes of blocks between them (the most recent one always
  // stays).
  static constexpr size_t kClosedTables = 8;
  static constexpr size_t kClosedBytes = size_t{64} << 20;
  std::list<std::shared_ptr<TableFile>> closed;
  // Keeps `file`, whose last cursor just closed, when it is still the one
  // `open` names for its path.
  void keepClosed(const std::shared_ptr<TableFile>& file);
  // Lets a kept file go (it is reopened, or its table changed).
  void dropClosed(const TableFile* file);
  // Lets the kept files of the table whose files are called <stem>.* go.
  void dropClosed(const std::string& stem);
  // Forgets every table file of the table whose files are called <stem>.*:
  // later opens read the table afresh.
  void forgetTable(const std::string& stem);

  // The write group under way: the tables it has changed, in the order it
  // reached them, and the first failure that dooms it.
  struct Group {
    std::vector<std::shared_ptr<TableFile>> tables;
    Status failure;
    bool holdPosts = false;  // see WriteGroup::holdPostsUntilCommit
  };
  std::unique_ptr<Group> group;

  // The directory's redo log, opened at the first commit.
  std::unique_ptr<detail::RedoLog> log;
  // Syncs the files the log names and empties it: before files of a table
  // are removed or replaced behind it.
  Status emptyLog();
};

// Commits the changes held for `tables` all at once (see commit.cpp), and
// releases their reservations whatever the outcome.
Status commitTables(DirectoryState& dir, std::vector<TableFile*>& tables);

}  // namespace pdx
