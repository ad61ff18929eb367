#include "ini_machine_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <algorithm>
#include <optional>

#include "ini_document.h"

namespace os {

namespace {

// How long a writer waits for another process that is writing the same file.
constexpr int kLockWaitMs = 5000;

// The file's bytes; nothing when it is missing or is not a settings file
// (not a regular file, or too big). Every read goes to the file, so values
// written by other processes are seen at once; the files are small.
std::optional<QByteArray> readBytes(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile() || info.size() > kMaxSettingsFileSize) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.read(kMaxSettingsFileSize + 1);
  if (bytes.size() > kMaxSettingsFileSize) return std::nullopt;
  return bytes;
}

std::optional<QString> lookup(const QString& path, const QString& section, const QString& ident) {
  const std::optional<QByteArray> bytes = readBytes(path);
  if (!bytes) return std::nullopt;
  return IniDocument::parse(*bytes).value(section, ident);
}

// Writes one value. The lock keeps two processes from each rewriting the
// file from what they read before the other's write (one of the two values
// would be lost); the new contents replace the file in one step, so a reader
// or a crash never sees half a file.
Status store(const QString& path, const QString& section, const QString& ident, const QString& value) {
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(kLockWaitMs)) {
    return Status(error::kWriteFault, QStringLiteral("%1 is being written by another program").arg(path));
  }
  if (QFileInfo(path).size() > kMaxSettingsFileSize) {
    return Status(error::kWriteFault, QStringLiteral("%1 is too big to be a settings file").arg(path));
  }
  const std::optional<QByteArray> bytes = readBytes(path);
  if (!bytes) return Status(error::kAccessDenied, QStringLiteral("%1 cannot be read").arg(path));
  IniDocument document = IniDocument::parse(*bytes);
  if (document.value(section, ident) == value) return Status::Ok();
  document.setValue(section, ident, value);

  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return Status(error::kAccessDenied, QStringLiteral("%1: %2").arg(path, file.errorString()));
  }
  const QByteArray contents = document.serialize();
  if (file.write(contents) != contents.size() || !file.commit()) {
    return Status(error::kWriteFault, QStringLiteral("%1: %2").arg(path, file.errorString()));
  }
  return Status::Ok();
}

}  // namespace

bool isValidSettingsName(const QString& name) {
  if (name.isEmpty() || name != name.trimmed()) return false;
  if (name.startsWith(QLatin1Char(';')) || name.startsWith(QLatin1Char('#'))) return false;
  return std::none_of(name.begin(), name.end(), [](QChar c) {
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('=') || c == QLatin1Char('[') ||
           c == QLatin1Char(']') || c.category() == QChar::Other_Control;
  });
}

bool prepareSettingsFile(const QString& path) {
  const QFileInfo info(path);
  if (!QDir().mkpath(info.absolutePath())) return false;
  if (!info.exists()) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
  }
  // A write replaces the file through a new one beside it and locks it with a
  // lock file there too, so the folder must be writable as well.
  const QFileInfo now(path);
  return now.isFile() && now.isWritable() && QFileInfo(now.absolutePath()).isWritable();
}

IniMachineSettings::IniMachineSettings(const QString& machinePath, const QString& overlayPath)
    : machinePath_(machinePath), overlayPath_(overlayPath) {}

QString IniMachineSettings::readString(const QString& section, const QString& ident,
                                       const QString& defaultValue) const {
  if (!isValidSettingsName(section) || !isValidSettingsName(ident)) return defaultValue;
  std::lock_guard lock(mutex_);
  if (!overlayPath_.isEmpty()) {
    if (std::optional<QString> value = lookup(overlayPath_, section, ident)) return *value;
  }
  return lookup(machinePath_, section, ident).value_or(defaultValue);
}

Status IniMachineSettings::writeString(const QString& section, const QString& ident, const QString& value) {
  if (!isValidSettingsName(section) || !isValidSettingsName(ident)) {
    return Status(error::kInvalidParameter, QStringLiteral("settings name \"%1\\%2\"").arg(section, ident));
  }
  std::lock_guard lock(mutex_);
  const QString& target = overlayPath_.isEmpty() ? machinePath_ : overlayPath_;
  if (!prepareSettingsFile(target)) {
    return Status(error::kAccessDenied, QStringLiteral("%1 may not be written").arg(target));
  }
  return store(target, section, ident, value);
}

QString IniMachineSettings::location() const {
  if (overlayPath_.isEmpty()) return machinePath_;
  return QStringLiteral("%1 (over %2)").arg(overlayPath_, machinePath_);
}

}  // namespace os
