#include "os/printers.h"

#include <QPrinterInfo>

namespace os {

int Printers::defaultPrinterIndex() const {
  const QString name = defaultPrinterName();
  if (name.isEmpty()) return -1;
  return static_cast<int>(printerNames().indexOf(name));
}

namespace {

class SystemPrinters : public Printers {
 public:
  QStringList printerNames() const override { return QPrinterInfo::availablePrinterNames(); }
  QString defaultPrinterName() const override { return QPrinterInfo::defaultPrinterName(); }
};

}  // namespace

std::unique_ptr<Printers> createPrinters() {
  return std::make_unique<SystemPrinters>();
}

}  // namespace os
