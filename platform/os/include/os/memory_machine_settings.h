// Machine settings held in memory: for tests, and for tools that must not
// touch the machine's own settings.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

#include "os/machine_settings.h"

namespace os {

class MemoryMachineSettings : public MachineSettings {
 public:
  MemoryMachineSettings() = default;

  QString readString(const QString& section, const QString& ident, const QString& defaultValue) const override;
  Status writeString(const QString& section, const QString& ident, const QString& value) override;
  QString location() const override { return QStringLiteral("(memory)"); }

  // Every write that was stored, in order, as "section\ident=value" with the
  // names as the writer spelt them.
  QStringList writes() const;
  // Makes every later write fail with `failure` and store nothing; Ok (or
  // nullopt) lets writes through again.
  void failWrites(std::optional<Status> failure);

 private:
  static QString keyOf(const QString& section, const QString& ident);

  mutable std::mutex mutex_;
  QMap<QString, QString> values_;  // by lower-case "section\ident"
  QStringList writes_;
  std::optional<Status> failure_;
};

}  // namespace os
