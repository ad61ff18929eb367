// Loading libraries into the process: the suite's modules and the libraries
// outside it that it calls (progress dialog, quick link, lookups).
//
// Libraries are named by their full path, which the callers build from the
// program directory. Nothing is ever looked for along a search path: a
// library found elsewhere under the same name would run inside the suite's
// process with the user's data.
//
// Threads: the GUI thread (modules create windows when they are called).
#pragma once

#include <QString>
#include <memory>

#include "os/status.h"

namespace os {

using FunctionAddress = void (*)();

// A library loaded into the process. It stays loaded until unload() or until
// the object goes away; addresses resolved from it are invalid afterwards.
class Library {
 public:
  virtual ~Library() = default;

  // The path the library was loaded from.
  virtual QString path() const = 0;

  // The address of the exported C function `symbol`. Errors: kProcNotFound
  // (no such export), kInvalidParameter (empty name, or already unloaded).
  virtual Result<FunctionAddress> resolve(const char* symbol) = 0;

  // Unloads the library. Unloading twice is harmless.
  virtual Status unload() = 0;
};

// `symbol` of `library` as a function pointer of type F, or null when the
// library does not export it.
template <typename F>
F resolveFunction(Library& library, const char* symbol) {
  Result<FunctionAddress> address = library.resolve(symbol);
  return address.ok() ? reinterpret_cast<F>(address.value()) : nullptr;
}

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;

  // Loads the library file at the absolute `path`. Every symbol it needs is
  // bound at load time, so a library that cannot run fails here rather than
  // in the middle of a call. Errors:
  //   kBadPathName   the path is empty or not absolute;
  //   kDllNotFound   no file at the path (1157, which the shell tells apart);
  //   kAccessDenied  the path is a folder or the file may not be read;
  //   kBadExeFormat  the file is there but the system could not load it (not
  //                  a library, another architecture, a library it needs is
  //                  missing); the detail has the system's own words.
  virtual Result<std::unique_ptr<Library>> load(const QString& path) = 0;
};

// The loader of this platform.
std::unique_ptr<LibraryLoader> createLibraryLoader();

// The checks every loader makes of a path before it looks at any file:
// kBadPathName for an empty or relative path, otherwise Ok.
Status checkLibraryPath(const QString& path);

}  // namespace os
