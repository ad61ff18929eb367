// Names of a table's files: the folder and stem of a path, and the companion
// files (.PX, .MB, .tlk) found beside a table whatever their case.
#pragma once

#include <string>

#include "ascii.h"
#include "pdx/env.h"

namespace pdx::detail {

// The folder of `path` ("." when it names none).
inline std::string dirOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The last part of `path`.
inline std::string nameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The last part of `path` without its extension ("clients" for "a/clients.DB").
inline std::string stemOf(const std::string& path) {
  const std::string name = nameOf(path);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// The file `<stem>.<ext>` of `dir`, whatever the case of either part, or ""
// when there is none.
inline std::string findCompanion(Env* env, const std::string& dir, const std::string& stem, const std::string& ext) {
  auto names = env->list(dir);
  if (!names.ok()) return {};
  for (const auto& n : *names)
    if (equalsIgnoreCase(n, stem + "." + ext)) return dir + "/" + n;
  return {};
}

}  // namespace pdx::detail
