// Machine settings kept in INI files (format in ini_document.h).
#pragma once

#include <QString>
#include <mutex>

#include "os/machine_settings.h"

namespace os {

class IniMachineSettings : public MachineSettings {
 public:
  // Reads and writes `machinePath`. With an `overlayPath`, writes go to the
  // overlay instead and reads look there first; `machinePath` is then only
  // read. Neither file need exist: a write creates it.
  explicit IniMachineSettings(const QString& machinePath, const QString& overlayPath = {});

  QString readString(const QString& section, const QString& ident, const QString& defaultValue) const override;
  Status writeString(const QString& section, const QString& ident, const QString& value) override;
  QString location() const override;

 private:
  mutable std::mutex mutex_;
  QString machinePath_;
  QString overlayPath_;  // empty without an overlay
};

// Creates an empty file (and its folder) at `path` when nothing is there.
// False when that failed or the file may not be written.
bool prepareSettingsFile(const QString& path);

// Largest settings file read, in bytes; a bigger one is not a settings file.
inline constexpr qint64 kMaxSettingsFileSize = 1024 * 1024;

}  // namespace os
