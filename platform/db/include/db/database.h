// Named databases: a name that stands for a directory of tables.
//
// A Database has a name and a parameter list whose one line that counts is
// "path=<directory>". Datasets name it by its DatabaseName; a dataset whose
// DatabaseName is not the name of a Database takes it as a directory path.
// Connecting opens the directory (recovering any unfinished write group left
// there by a dead process); disconnecting closes every dataset that uses it.
//
// All datasets of one directory in this process share one pdx::Directory, so
// that a Transaction covers every table of the directory whichever dataset
// writes it.
//
// Threads: databases and datasets belong to the user-interface thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/table.h"

namespace db {

class DataSet;
class Transaction;

class Database {
 public:
  explicit Database(std::string name = {});
  ~Database();  // disconnects
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& name() const { return name_; }
  // Renaming a connected database disconnects it first.
  void setName(std::string name);

  // The parameter lines ("path=..."). Changing them while connected takes
  // effect at the next connect().
  std::vector<std::string>& params() { return params_; }
  const std::vector<std::string>& params() const { return params_; }
  // The directory of the "path=" line (key without regard to case), or "".
  std::string path() const;

  // Opens the directory. code::kNoDatabase without a "path=" line;
  // pdx::code::kTableNotFound when the directory does not exist.
  pdx::Status connect();
  // Closes every dataset opened through this database, then lets go of the
  // directory. Nothing happens when it is not connected.
  void disconnect();
  bool connected() const { return directory_ != nullptr; }

  // The open directory, or null when not connected.
  const std::shared_ptr<pdx::Directory>& directory() const { return directory_; }

  // Starts a write group over the tables of the directory (see
  // pdx::Directory::beginGroup): every post and delete of every dataset of the
  // directory until commit() is held, then made durable at once.
  pdx::Result<std::unique_ptr<Transaction>> startTransaction();

  // The Database called `name` (without regard to case), or null.
  static Database* find(std::string_view name);

  // The directory of `nameOrPath`: a named Database (connected on demand) or
  // a directory path. Shared with every other user of the same directory.
  static pdx::Result<std::shared_ptr<pdx::Directory>> resolve(std::string_view nameOrPath, Database** database);

  // The process's Directory for `path`, opened on first use.
  static pdx::Result<std::shared_ptr<pdx::Directory>> openDirectory(const std::string& path);

  // The file layer directories are opened with (pdx::Env::standard() unless a
  // test puts another one; change it before anything is opened).
  static pdx::Env*& environment();

 private:
  friend class DataSet;
  void attach(DataSet* dataSet);
  void detach(DataSet* dataSet);

  std::string name_;
  std::vector<std::string> params_;
  std::shared_ptr<pdx::Directory> directory_;
  std::vector<DataSet*> dataSets_;  // open datasets that use this database
};

// A write group of a database. Destroying it without commit() rolls back.
class Transaction {
 public:
  explicit Transaction(std::unique_ptr<pdx::WriteGroup> group) : group_(std::move(group)) {}
  // Makes every held change durable, or none of them (see pdx::WriteGroup).
  pdx::Status commit();
  void rollback();
  bool active() const { return group_ != nullptr; }
  // Keeps the posts in memory until commit(); a failed post then dooms the
  // transaction (see pdx::WriteGroup::holdPostsUntilCommit).
  void holdPostsUntilCommit() {
    if (group_) group_->holdPostsUntilCommit();
  }

 private:
  std::unique_ptr<pdx::WriteGroup> group_;
};

}  // namespace db
