#include "os/memory_machine_settings.h"

namespace os {

QString MemoryMachineSettings::keyOf(const QString& section, const QString& ident) {
  return section.toLower() + QLatin1Char('\\') + ident.toLower();
}

QString MemoryMachineSettings::readString(const QString& section, const QString& ident,
                                          const QString& defaultValue) const {
  if (!isValidSettingsName(section) || !isValidSettingsName(ident)) return defaultValue;
  std::lock_guard lock(mutex_);
  return values_.value(keyOf(section, ident), defaultValue);
}

Status MemoryMachineSettings::writeString(const QString& section, const QString& ident, const QString& value) {
  if (!isValidSettingsName(section) || !isValidSettingsName(ident)) {
    return Status(error::kInvalidParameter, QStringLiteral("settings name \"%1\\%2\"").arg(section, ident));
  }
  std::lock_guard lock(mutex_);
  if (failure_ && !failure_->ok()) return *failure_;
  values_.insert(keyOf(section, ident), value);
  writes_ << section + QLatin1Char('\\') + ident + QLatin1Char('=') + value;
  return Status::Ok();
}

QStringList MemoryMachineSettings::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

void MemoryMachineSettings::failWrites(std::optional<Status> failure) {
  std::lock_guard lock(mutex_);
  failure_ = std::move(failure);
}

}  // namespace os
