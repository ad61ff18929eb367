// One place to reach the operating-system services.
//
// The application uses the real services, each created on first use. A test
// installs others (usually the recorders of recorders.h, all at once through
// RecordedServices); the whole process then uses them until they are taken
// out: the shell and every module it loads, since they share this library.
//
// Threads: the GUI thread. Install before other threads use a service.
#pragma once

#include <memory>

#include "os/file_version.h"
#include "os/help_viewer.h"
#include "os/library_loader.h"
#include "os/machine_settings.h"
#include "os/printers.h"
#include "os/program_starter.h"
#include "os/window_list.h"

namespace os {

class Services {
 public:
  static MachineSettings& settings();
  static LibraryLoader& libraries();
  static ProgramStarter& programs();
  static Printers& printers();
  static FileVersionReader& versions();
  static WindowList& windows();
  static HelpViewer& help();

  // Puts `replacement` in place and hands back what was there (null when the
  // real service had not been created yet). Installing null brings back the
  // real service, created again on next use.
  static std::unique_ptr<MachineSettings> install(std::unique_ptr<MachineSettings> replacement);
  static std::unique_ptr<LibraryLoader> install(std::unique_ptr<LibraryLoader> replacement);
  static std::unique_ptr<ProgramStarter> install(std::unique_ptr<ProgramStarter> replacement);
  static std::unique_ptr<Printers> install(std::unique_ptr<Printers> replacement);
  static std::unique_ptr<FileVersionReader> install(std::unique_ptr<FileVersionReader> replacement);
  static std::unique_ptr<WindowList> install(std::unique_ptr<WindowList> replacement);
  static std::unique_ptr<HelpViewer> install(std::unique_ptr<HelpViewer> replacement);
};

}  // namespace os
