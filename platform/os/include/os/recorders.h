// Stand-ins for the operating-system services, for tests. Each answers what
// the test scripted and records what it was asked, so a test can check
// "the mail program was asked for exactly this address and nothing was
// started". Input checks stay those of the real services: a recorder refuses
// what the real service would refuse before it reaches the platform.
//
// RecordedServices installs one of each for the life of a test.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>

#include "os/file_version.h"
#include "os/help_viewer.h"
#include "os/library_loader.h"
#include "os/memory_machine_settings.h"
#include "os/printers.h"
#include "os/program_starter.h"
#include "os/window_list.h"

namespace os {

// Scripted answers, used up in order; once used up, every answer is Ok.
class Replies {
 public:
  void add(Status reply) { replies_.push_back(std::move(reply)); }
  Status next();

 private:
  std::deque<Status> replies_;
};

class RecordingLibraryLoader : public LibraryLoader {
 public:
  using Symbols = QMap<QString, FunctionAddress>;

  RecordingLibraryLoader();
  ~RecordingLibraryLoader() override;

  // Loading `path` succeeds and the library exports `symbols`. Loading a
  // path never named here fails with kDllNotFound, as a missing file does.
  void addLibrary(const QString& path, Symbols symbols);
  // Loading `path` fails with `failure`.
  void failLoad(const QString& path, Status failure);

  // "load <path>", "resolve <path> <symbol>", "unload <path>", in order;
  // refused and failed calls included.
  QStringList calls() const;
  // Libraries loaded and not unloaded yet: 0 once a test's code cleaned up.
  int loadedCount() const;

  Result<std::unique_ptr<Library>> load(const QString& path) override;

  struct State;  // shared with the libraries it hands out, which may outlive it

 private:
  std::shared_ptr<State> state_;
};

class RecordingProgramStarter : public ProgramStarter {
 public:
  // The answers to the next requests that pass the input checks.
  Replies& replies() { return replies_; }
  // "start <program> [<argument>...] in <directory>" (the current directory
  // at the time when none was given) and "open <address>", in order.
  const QStringList& calls() const { return calls_; }

 protected:
  Status launch(const QString& program, const QStringList& arguments, const QString& workingDirectory) override;
  Status openUrl(const QUrl& url) override;

 private:
  Replies replies_;
  QStringList calls_;
};

class RecordingHelpViewer : public HelpViewer {
 public:
  Replies& replies() { return replies_; }
  // "contents <help file>" and "topic <help file> <context>", in order.
  const QStringList& calls() const { return calls_; }

  Status showContents(const QString& helpFile) override;
  Status showTopic(const QString& helpFile, int context) override;

 private:
  Replies replies_;
  QStringList calls_;
};

class ScriptedPrinters : public Printers {
 public:
  void setPrinters(const QStringList& names, const QString& defaultName) {
    names_ = names;
    default_ = defaultName;
  }
  QStringList printerNames() const override { return names_; }
  QString defaultPrinterName() const override { return default_; }

 private:
  QStringList names_;
  QString default_;
};

class ScriptedFileVersions : public FileVersionReader {
 public:
  void setVersion(const QString& path, const FileVersion& version) { versions_.insert(path, version); }
  std::optional<FileVersion> read(const QString& path) const override;

 private:
  QMap<QString, FileVersion> versions_;
};

class ScriptedWindowList : public WindowList {
 public:
  void setWindows(const QList<WindowInfo>& windows) { windows_ = windows; }
  // Appends an enabled, not minimised window.
  void addWindow(const QString& caption, bool visible);
  QList<WindowInfo> topLevelWindows() const override { return windows_; }

 private:
  QList<WindowInfo> windows_;
};

// Installs a fresh stand-in for every service and puts back what was there
// when it goes away. Tests script and inspect the stand-ins through it.
class RecordedServices {
 private:
  struct Previous;
  std::unique_ptr<Previous> previous_;  // first: the members below fill it

 public:
  RecordedServices();
  ~RecordedServices();
  RecordedServices(const RecordedServices&) = delete;
  RecordedServices& operator=(const RecordedServices&) = delete;

  MemoryMachineSettings& settings;
  RecordingLibraryLoader& libraries;
  RecordingProgramStarter& programs;
  ScriptedPrinters& printers;
  ScriptedFileVersions& versions;
  ScriptedWindowList& windows;
  RecordingHelpViewer& help;
};

}  // namespace os
