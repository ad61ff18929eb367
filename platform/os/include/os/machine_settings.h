// Machine-wide settings: the suite's INI-style view of its local-machine key.
//
// On Windows the store is the registry key HKEY_LOCAL_MACHINE\Software\Norvadel.
// Elsewhere it is one INI file for the whole machine:
//
//   1. the file named by the environment variable NORVADEL_SETTINGS, when it
//      is set and not empty (tests always set it; an install under a private
//      prefix points it at its own file);
//   2. otherwise /etc/xdg/Norvadel/Norvadel.ini (TALLIMOOR_MACHINE_SETTINGS at
//      build time). When this process may not write that file (an ordinary
//      user), writes go to the user's own file
//      ~/.config/Norvadel/Norvadel.ini and reads look there first, then in
//      the machine file: the way the registry keeps a program without
//      administrator rights working when it writes the local-machine key.
//
// A section is a sub-key ("Tallimoor", "Settings"), an ident a value name, and
// every value is text. Section and ident names compare without regard to case,
// as the registry's do: "intl" and "Intl" are one value. A name may not be
// empty, start or end with a blank, start with ";" or "#", or hold "/", "\",
// "=", "[", "]" or control characters.
//
// The file is plain UTF-8 text, "[section]" lines followed by "name=value"
// lines, that an administrator may edit (see ini_document.h). Every value
// round-trips exactly, with blanks, "=", quotes, commas and accented letters.
// A write changes the one line and keeps the rest of the file, comments
// included, and replaces the file in one step.
#pragma once

#include <QString>
#include <memory>

#include "os/status.h"

namespace os {

// Name of the environment variable that moves the settings to another file.
inline constexpr char kSettingsVariable[] = "NORVADEL_SETTINGS";

// Threads: any; an object serialises its own calls.
class MachineSettings {
 public:
  virtual ~MachineSettings() = default;

  // Value `ident` of `section`, or `defaultValue` when it is missing (also
  // when the store cannot be read or a name is not valid). Sees what other
  // processes wrote meanwhile.
  virtual QString readString(const QString& section, const QString& ident, const QString& defaultValue) const = 0;

  // Stores the value, creating the section when missing, and writes it
  // through before returning. Errors: kInvalidParameter (bad name),
  // kAccessDenied (the store may not be written), kWriteFault. After an error
  // the old value stays.
  virtual Status writeString(const QString& section, const QString& ident, const QString& value) = 0;

  // Where the values live, for messages: a file path or the registry key.
  virtual QString location() const = 0;
};

// The store of this machine as described above, created when missing. Never
// null: when nothing can be created, reads give defaults and writes fail.
std::unique_ptr<MachineSettings> openMachineSettings();

// The INI file at `path` alone, created (with its folder) when missing.
std::unique_ptr<MachineSettings> openMachineSettingsFile(const QString& path);

// True when `name` may name a section or an ident.
bool isValidSettingsName(const QString& name);

}  // namespace os
