#include "os/recorders.h"

#include <QDir>

#include "os/services.h"

namespace os {

Status Replies::next() {
  if (replies_.empty()) return Status::Ok();
  Status reply = std::move(replies_.front());
  replies_.pop_front();
  return reply;
}

// ---- libraries

struct RecordingLibraryLoader::State {
  QMap<QString, Symbols> libraries;
  QMap<QString, Status> failures;
  QStringList calls;
  int loaded = 0;
};

namespace {

class RecordedLibrary : public Library {
 public:
  RecordedLibrary(std::shared_ptr<RecordingLibraryLoader::State> state, QString path,
                  RecordingLibraryLoader::Symbols symbols)
      : state_(std::move(state)), path_(std::move(path)), symbols_(std::move(symbols)) {}
  ~RecordedLibrary() override { unload(); }

  QString path() const override { return path_; }

  Result<FunctionAddress> resolve(const char* symbol) override {
    const QString name = QString::fromUtf8(symbol == nullptr ? "" : symbol);
    state_->calls << QStringLiteral("resolve %1 %2").arg(path_, name);
    if (name.isEmpty()) return Status(error::kInvalidParameter, QStringLiteral("empty symbol"));
    if (!loaded_) return Status(error::kInvalidParameter, QStringLiteral("%1 is not loaded").arg(path_));
    const auto found = symbols_.constFind(name);
    if (found == symbols_.constEnd()) return Status(error::kProcNotFound, QStringLiteral("%1 in %2").arg(name, path_));
    return *found;
  }

  Status unload() override {
    if (!loaded_) return Status::Ok();
    loaded_ = false;
    --state_->loaded;
    state_->calls << QStringLiteral("unload %1").arg(path_);
    return Status::Ok();
  }

 private:
  std::shared_ptr<RecordingLibraryLoader::State> state_;
  QString path_;
  RecordingLibraryLoader::Symbols symbols_;
  bool loaded_ = true;
};

}  // namespace

RecordingLibraryLoader::RecordingLibraryLoader() : state_(std::make_shared<State>()) {}
RecordingLibraryLoader::~RecordingLibraryLoader() = default;

void RecordingLibraryLoader::addLibrary(const QString& path, Symbols symbols) {
  state_->failures.remove(path);
  state_->libraries.insert(path, std::move(symbols));
}

void RecordingLibraryLoader::failLoad(const QString& path, Status failure) {
  state_->libraries.remove(path);
  state_->failures.insert(path, std::move(failure));
}

QStringList RecordingLibraryLoader::calls() const {
  return state_->calls;
}
int RecordingLibraryLoader::loadedCount() const {
  return state_->loaded;
}

Result<std::unique_ptr<Library>> RecordingLibraryLoader::load(const QString& path) {
  state_->calls << QStringLiteral("load %1").arg(path);
  if (Status checked = checkLibraryPath(path); !checked.ok()) return checked;
  if (const auto failure = state_->failures.constFind(path); failure != state_->failures.constEnd()) return *failure;
  const auto library = state_->libraries.constFind(path);
  if (library == state_->libraries.constEnd()) return Status(error::kDllNotFound, path);
  ++state_->loaded;
  return std::unique_ptr<Library>(std::make_unique<RecordedLibrary>(state_, path, *library));
}

// ---- programs, help

Status RecordingProgramStarter::launch(const QString& program, const QStringList& arguments,
                                       const QString& workingDirectory) {
  QStringList words{QStringLiteral("start"), program};
  words << arguments << QStringLiteral("in") << (workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory);
  calls_ << words.join(QLatin1Char(' '));
  return replies_.next();
}

Status RecordingProgramStarter::openUrl(const QUrl& url) {
  calls_ << QStringLiteral("open ") + url.toString(QUrl::FullyEncoded);
  return replies_.next();
}

Status RecordingHelpViewer::showContents(const QString& helpFile) {
  calls_ << QStringLiteral("contents ") + helpFile;
  return replies_.next();
}

Status RecordingHelpViewer::showTopic(const QString& helpFile, int context) {
  calls_ << QStringLiteral("topic %1 %2").arg(helpFile).arg(context);
  return replies_.next();
}

// ---- versions, windows

std::optional<FileVersion> ScriptedFileVersions::read(const QString& path) const {
  const auto found = versions_.constFind(path);
  if (found == versions_.constEnd()) return std::nullopt;
  return *found;
}

void ScriptedWindowList::addWindow(const QString& caption, bool visible) {
  WindowInfo window;
  window.handle = static_cast<quintptr>(windows_.size() + 1);
  window.caption = caption;
  window.visible = visible;
  window.enabled = true;
  windows_.append(window);
}

// ---- all at once

struct RecordedServices::Previous {
  std::unique_ptr<MachineSettings> settings;
  std::unique_ptr<LibraryLoader> libraries;
  std::unique_ptr<ProgramStarter> programs;
  std::unique_ptr<Printers> printers;
  std::unique_ptr<FileVersionReader> versions;
  std::unique_ptr<WindowList> windows;
  std::unique_ptr<HelpViewer> help;
};

namespace {

// Installs a fresh T in place of the service of type Base, keeping the
// service that was there in `previous`.
template <typename T, typename Base>
T& installFresh(std::unique_ptr<Base>& previous) {
  auto fresh = std::make_unique<T>();
  T& installed = *fresh;
  previous = Services::install(std::unique_ptr<Base>(std::move(fresh)));
  return installed;
}

}  // namespace

RecordedServices::RecordedServices()
    : previous_(std::make_unique<Previous>()),
      settings(installFresh<MemoryMachineSettings>(previous_->settings)),
      libraries(installFresh<RecordingLibraryLoader>(previous_->libraries)),
      programs(installFresh<RecordingProgramStarter>(previous_->programs)),
      printers(installFresh<ScriptedPrinters>(previous_->printers)),
      versions(installFresh<ScriptedFileVersions>(previous_->versions)),
      windows(installFresh<ScriptedWindowList>(previous_->windows)),
      help(installFresh<RecordingHelpViewer>(previous_->help)) {}

RecordedServices::~RecordedServices() {
  Services::install(std::move(previous_->settings));
  Services::install(std::move(previous_->libraries));
  Services::install(std::move(previous_->programs));
  Services::install(std::move(previous_->printers));
  Services::install(std::move(previous_->versions));
  Services::install(std::move(previous_->windows));
  Services::install(std::move(previous_->help));
}

}  // namespace os
