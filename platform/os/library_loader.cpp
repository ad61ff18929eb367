#include "os/library_loader.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace os {

namespace {

class QtLibrary : public Library {
 public:
  explicit QtLibrary(std::unique_ptr<QLibrary> library) : library_(std::move(library)) {}
  ~QtLibrary() override { unload(); }

  QString path() const override { return library_->fileName(); }

  Result<FunctionAddress> resolve(const char* symbol) override {
    if (symbol == nullptr || *symbol == '\0') return Status(error::kInvalidParameter, QStringLiteral("empty symbol"));
    if (!loaded_) return Status(error::kInvalidParameter, QStringLiteral("%1 is not loaded").arg(path()));
    const QFunctionPointer address = library_->resolve(symbol);
    if (address == nullptr) {
      return Status(error::kProcNotFound, QStringLiteral("%1 in %2").arg(QString::fromUtf8(symbol), path()));
    }
    return address;
  }

  Status unload() override {
    if (!loaded_) return Status::Ok();
    loaded_ = false;
    // False also when another loader in the process still holds the same
    // file; for this object it is unloaded either way.
    library_->unload();
    return Status::Ok();
  }

 private:
  std::unique_ptr<QLibrary> library_;
  bool loaded_ = true;
};

class QtLibraryLoader : public LibraryLoader {
 public:
  Result<std::unique_ptr<Library>> load(const QString& path) override {
    if (Status checked = checkLibraryPath(path); !checked.ok()) return checked;
    const QFileInfo file(path);
    if (!file.exists()) return Status(error::kDllNotFound, path);
    if (!file.isFile() || !file.isReadable()) return Status(error::kAccessDenied, path);

    // The name passed on is that of an existing file, so QLibrary's own
    // search among prefixes and suffixes never goes past it.
    auto library = std::make_unique<QLibrary>(file.absoluteFilePath());
    library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library->load()) return Status(error::kBadExeFormat, library->errorString());
    return std::unique_ptr<Library>(std::make_unique<QtLibrary>(std::move(library)));
  }
};

}  // namespace

Status checkLibraryPath(const QString& path) {
  if (path.isEmpty()) return Status(error::kBadPathName, QStringLiteral("empty library path"));
  if (QDir::isRelativePath(path)) {
    return Status(error::kBadPathName, QStringLiteral("%1 is not a full path").arg(path));
  }
  return Status::Ok();
}

std::unique_ptr<LibraryLoader> createLibraryLoader() {
  return std::make_unique<QtLibraryLoader>();
}

}  // namespace os
