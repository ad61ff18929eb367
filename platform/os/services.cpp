#include "os/services.h"

#include <utility>

namespace os {

namespace {

struct Installed {
  std::unique_ptr<MachineSettings> settings;
  std::unique_ptr<LibraryLoader> libraries;
  std::unique_ptr<ProgramStarter> programs;
  std::unique_ptr<Printers> printers;
  std::unique_ptr<FileVersionReader> versions;
  std::unique_ptr<WindowList> windows;
  std::unique_ptr<HelpViewer> help;
};

Installed& installed() {
  static Installed services;
  return services;
}

template <typename T, typename Create>
T& getOrCreate(std::unique_ptr<T>& slot, Create create) {
  if (!slot) slot = create();
  return *slot;
}

}  // namespace

MachineSettings& Services::settings() {
  return getOrCreate(installed().settings, openMachineSettings);
}
LibraryLoader& Services::libraries() {
  return getOrCreate(installed().libraries, createLibraryLoader);
}
ProgramStarter& Services::programs() {
  return getOrCreate(installed().programs, createProgramStarter);
}
Printers& Services::printers() {
  return getOrCreate(installed().printers, createPrinters);
}
FileVersionReader& Services::versions() {
  return getOrCreate(installed().versions, createFileVersionReader);
}
WindowList& Services::windows() {
  return getOrCreate(installed().windows, createWindowList);
}
HelpViewer& Services::help() {
  return getOrCreate(installed().help, createHelpViewer);
}

std::unique_ptr<MachineSettings> Services::install(std::unique_ptr<MachineSettings> replacement) {
  return std::exchange(installed().settings, std::move(replacement));
}
std::unique_ptr<LibraryLoader> Services::install(std::unique_ptr<LibraryLoader> replacement) {
  return std::exchange(installed().libraries, std::move(replacement));
}
std::unique_ptr<ProgramStarter> Services::install(std::unique_ptr<ProgramStarter> replacement) {
  return std::exchange(installed().programs, std::move(replacement));
}
std::unique_ptr<Printers> Services::install(std::unique_ptr<Printers> replacement) {
  return std::exchange(installed().printers, std::move(replacement));
}
std::unique_ptr<FileVersionReader> Services::install(std::unique_ptr<FileVersionReader> replacement) {
  return std::exchange(installed().versions, std::move(replacement));
}
std::unique_ptr<WindowList> Services::install(std::unique_ptr<WindowList> replacement) {
  return std::exchange(installed().windows, std::move(replacement));
}
std::unique_ptr<HelpViewer> Services::install(std::unique_ptr<HelpViewer> replacement) {
  return std::exchange(installed().help, std::move(replacement));
}

}  // namespace os
