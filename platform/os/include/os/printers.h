// The system's printers.
//
// Threads: the GUI thread, once the application object exists. A machine
// without printers (a server, a test machine) has an empty list and no
// default printer; that is normal.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace os {

class Printers {
 public:
  virtual ~Printers() = default;

  // The names of the printers, in the system's order. A printer's position in
  // this list is the printer index the suite passes to its modules.
  virtual QStringList printerNames() const = 0;

  // The name of the system's default printer, or empty when there is none.
  virtual QString defaultPrinterName() const = 0;

  // The position of the default printer in printerNames(), or -1.
  int defaultPrinterIndex() const;
};

// The printers of this machine, as the print system reports them when asked.
std::unique_ptr<Printers> createPrinters();

}  // namespace os
