// What a Directory shares with the tables opened from it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "pdx/env.h"

namespace pdx {

class TableFile;

class DirectoryState {
 public:
  Env* env = nullptr;
  std::string path;
  // Open table files of this directory, by path, shared by their cursors.
  std::map<std::string, std::weak_ptr<TableFile>> open;
};

}  // namespace pdx
