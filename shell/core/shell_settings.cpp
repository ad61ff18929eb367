#include "shell_settings.h"

#include <QDir>
#include <QStringList>

#include "os/machine_settings.h"

namespace shell {

namespace {

QString joined(QString drive, const char* tail) {
  while (drive.endsWith('/') || drive.endsWith('\\')) drive.chop(1);
  return drive + QLatin1String(tail);
}

}  // namespace

QString ShellSettings::programDir() const { return joined(pgmDrive, "/Tallimoor/bin"); }
QString ShellSettings::dataDir() const { return joined(dataDrive, "/Tallimoor/data"); }

std::optional<QRect> ShellSettings::storedPlacement() const {
  const QStringList parts = form.split(',');
  if (parts.size() < 5 || parts[4] != "Y") return std::nullopt;
  bool ok[4];
  const int height = parts[0].trimmed().toInt(&ok[0]);
  const int left = parts[1].trimmed().toInt(&ok[1]);
  const int top = parts[2].trimmed().toInt(&ok[2]);
  const int width = parts[3].trimmed().toInt(&ok[3]);
  if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || height <= 0 || width <= 0) return std::nullopt;
  return QRect(left, top, width, height);
}

QString ShellSettings::placementText(const QRect& g) {
  return QStringLiteral("%1,%2,%3,%4,Y").arg(g.height()).arg(g.x()).arg(g.y()).arg(g.width());
}

ShellSettings ShellSettings::read(const os::MachineSettings& s, const QString& installPrefix) {
  ShellSettings r;
  r.customer = s.readString("Tallimoor", "customer", "");
  bool ok = false;
  r.language = s.readString("Tallimoor", "language", "1").trimmed().toInt(&ok);
  if (!ok) r.language = 0;
  r.pgmDrive = s.readString("Tallimoor", "pgmdrive", installPrefix);
  r.dataDrive = s.readString("Tallimoor", "datadrive", installPrefix);
  r.payroll = s.readString("Tallimoor", "payroll", "n");
  r.jobCost = s.readString("Tallimoor", "JobCost", "n");
  r.payrollCCQ = s.readString("Tallimoor", "payrollCCQ", "n");
  r.tracker = s.readString("Tallimoor", "tracker", "n");
  r.form = s.readString("Tallimoor", "Form", "520,20,36,750,N");
  r.displayPW = s.readString("Tallimoor", "DisplayPW", "N");
  r.intl = s.readString("Settings", "intl", "N");
  r.networkShare = s.readString("Tallimoor", "NetworkShare", "");
  return r;
}

pdx::ShareProtocol ShellSettings::shareProtocol() const {
  const QString v = networkShare.trimmed();
  if (v.compare("Y", Qt::CaseInsensitive) == 0) return pdx::ShareProtocol::kNetwork;
  if (v.compare("N", Qt::CaseInsensitive) == 0) return pdx::ShareProtocol::kLocal;
  return pdx::ShareProtocol::kDetect;
}

QString installPrefixOf(const QString& programFolder) {
  QDir dir(programFolder);
  const QString bin = dir.dirName();
  if (bin.compare("bin", Qt::CaseInsensitive) == 0 && dir.cdUp() &&
      dir.dirName().compare("Tallimoor", Qt::CaseInsensitive) == 0 && dir.cdUp())
    return dir.absolutePath();
  return QDir(programFolder).absolutePath();
}

}  // namespace shell
