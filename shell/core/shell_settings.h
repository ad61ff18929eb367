// The shell's machine settings, read once at start-up.
#pragma once

#include <QRect>
#include <QString>
#include <optional>

#include "pdx/env.h"

namespace os {
class MachineSettings;
}

namespace shell {

struct ShellSettings {
  QString customer;
  int language = 1;          // "language" parsed as a number (0 when not a number)
  QString pgmDrive;          // "pgmdrive": drive or folder that holds Tallimoor/bin
  QString dataDrive;         // "datadrive": drive or folder that holds Tallimoor/data
  QString payroll = "n", jobCost = "n", payrollCCQ = "n", tracker = "n";
  QString form = "520,20,36,750,N";
  QString displayPW = "N";
  QString intl = "N";
  // "NetworkShare": "Y" coordinates with the other machines of a shared data
  // folder the network share's way, "N" the local disk's; anything else lets
  // the engine tell from the folder's file system.
  QString networkShare;

  // Program directory: pgmdrive + "/Tallimoor/bin"; data root likewise.
  QString programDir() const;
  QString dataDir() const;
  bool payrollOn() const { return payroll.compare("Y", Qt::CaseInsensitive) == 0; }
  bool jobCostOn() const { return jobCost.compare("Y", Qt::CaseInsensitive) == 0; }
  bool trackerOn() const { return tracker.compare("Y", Qt::CaseInsensitive) == 0; }
  bool alwaysAskPassword() const { return displayPW == "Y"; }
  pdx::ShareProtocol shareProtocol() const;

  // "Form" = height, left, top, width, flag: the stored placement when the
  // flag is exactly "Y" and the numbers read; otherwise none (centred).
  std::optional<QRect> storedPlacement() const;
  // The "Form" text for a window placement, flag "Y".
  static QString placementText(const QRect& geometry);

  // Reads section "Tallimoor" and "intl" of "Settings". The drives default
  // to the install prefix (`installPrefix`, the folder that holds Tallimoor).
  static ShellSettings read(const os::MachineSettings& settings, const QString& installPrefix);
};

// The folder that holds Tallimoor/bin when the program runs from
// <prefix>/Tallimoor/bin; the program's own folder otherwise.
QString installPrefixOf(const QString& programFolder);

}  // namespace shell
