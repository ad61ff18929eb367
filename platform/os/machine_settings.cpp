#include "os/machine_settings.h"

#include <QStandardPaths>

#include "ini_machine_settings.h"

#ifdef Q_OS_WIN
#include <QSettings>
#endif

#ifndef TALLIMOOR_MACHINE_SETTINGS
#define TALLIMOOR_MACHINE_SETTINGS "/etc/xdg/Norvadel/Norvadel.ini"
#endif

namespace os {

namespace {

#ifdef Q_OS_WIN
// The registry itself: sections are sub-keys, and the registry compares
// names without regard to case. QSettings opens the key with
// create-if-missing on the first write.
class RegistryMachineSettings : public MachineSettings {
 public:
  QString readString(const QString& section, const QString& ident, const QString& defaultValue) const override {
    if (!isValidSettingsName(section) || !isValidSettingsName(ident)) return defaultValue;
    QSettings key(location(), QSettings::NativeFormat);
    return key.value(section + QLatin1Char('/') + ident, defaultValue).toString();
  }

  Status writeString(const QString& section, const QString& ident, const QString& value) override {
    if (!isValidSettingsName(section) || !isValidSettingsName(ident)) {
      return Status(error::kInvalidParameter, QStringLiteral("settings name \"%1\\%2\"").arg(section, ident));
    }
    QSettings key(location(), QSettings::NativeFormat);
    key.setValue(section + QLatin1Char('/') + ident, value);
    key.sync();
    if (key.status() == QSettings::NoError) return Status::Ok();
    return Status(error::kAccessDenied, QStringLiteral("%1\\%2 may not be written").arg(location(), section));
  }

  QString location() const override { return QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Norvadel"); }
};
#endif

}  // namespace

std::unique_ptr<MachineSettings> openMachineSettings() {
#ifdef Q_OS_WIN
  return std::make_unique<RegistryMachineSettings>();
#else
  const QString chosen = qEnvironmentVariable(kSettingsVariable);
  if (!chosen.isEmpty()) return openMachineSettingsFile(chosen);

  const QString machinePath = QStringLiteral(TALLIMOOR_MACHINE_SETTINGS);
  if (prepareSettingsFile(machinePath)) return std::make_unique<IniMachineSettings>(machinePath);
  const QString userPath = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Norvadel/Norvadel.ini");
  prepareSettingsFile(userPath);
  return std::make_unique<IniMachineSettings>(machinePath, userPath);
#endif
}

std::unique_ptr<MachineSettings> openMachineSettingsFile(const QString& path) {
  prepareSettingsFile(path);
  return std::make_unique<IniMachineSettings>(path);
}

}  // namespace os
