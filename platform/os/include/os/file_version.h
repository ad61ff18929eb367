// The version a deliverable carries in its own file: four numbers,
// major.minor.release.build, read without loading the file, so that the
// version of any program or library can be shown, even one that would not
// load.
//
// Our executables and libraries get it from the CMake function
// tallimoor_set_version(target MAJOR MINOR RELEASE BUILD), which compiles a
// small record into the target (layout in file_version_record.h); the
// reader finds that record by scanning the file.
//
// On Windows the version would be the file's version resource instead
// (GetFileVersionInfo / VerQueryValue on "\", the two 32-bit words of
// VS_FIXEDFILEINFO's file version, high then low halves), and
// tallimoor_set_version would add a VERSIONINFO resource. That reader is not
// built: the suite is built for this platform only.
#pragma once

#include <QString>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>

namespace os {

struct FileVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t release = 0;
  uint16_t build = 0;

  // "2.1.0.37".
  QString toString() const;
  auto operator<=>(const FileVersion&) const = default;
};

// Threads: any.
class FileVersionReader {
 public:
  virtual ~FileVersionReader() = default;
  // The version carried by the file at `path`; nothing when the file is
  // missing, not a regular file, or carries no intact version record.
  virtual std::optional<FileVersion> read(const QString& path) const = 0;
};

// The reader of this platform, scanning as readFileVersion() does.
std::unique_ptr<FileVersionReader> createFileVersionReader();

// Scans the regular file at `path` for its version record. Reads at most the
// first kMaxVersionScan bytes, in pieces; never fails otherwise than by
// giving nothing.
std::optional<FileVersion> readFileVersion(const QString& path);
inline constexpr int64_t kMaxVersionScan = 64 * 1024 * 1024;

// The path of the executable or shared library that holds `address` (a
// function or object of it), or empty. A library asks with the address of one
// of its own functions to learn its own file.
QString modulePathContaining(const void* address);

}  // namespace os
