#include "os/program_starter.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

namespace os {

namespace {

bool hasControlCharacter(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool hasBlankOrControl(const QString& text) {
  return std::any_of(text.begin(), text.end(),
                     [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

// One address of a mailto: list. Besides blanks and controls it may not hold
// the characters that would end the address in a mailto: line or a message
// header: "?" would start headers (subject, body, attachments).
bool isMailAddress(const QString& address) {
  static const QString kForbidden = QStringLiteral("?#<>()[]\\\":,;/");
  if (hasBlankOrControl(address)) return false;
  if (std::any_of(address.begin(), address.end(), [](QChar c) { return kForbidden.contains(c); })) return false;
  const qsizetype at = address.indexOf(QLatin1Char('@'));
  if (at <= 0 || at == address.size() - 1) return false;
  const QString domain = address.mid(at + 1);
  if (domain.contains(QLatin1Char('@'))) return false;
  return !domain.startsWith(QLatin1Char('.')) && !domain.endsWith(QLatin1Char('.')) &&
         !domain.contains(QStringLiteral(".."));
}

Status refused(const QString& what, const QString& text) {
  return Status(error::kInvalidParameter, QStringLiteral("%1 \"%2\"").arg(what, text));
}

}  // namespace

std::optional<QUrl> webAddressUrl(const QString& text) {
  const QString address = text.trimmed();
  if (address.isEmpty() || hasBlankOrControl(address)) return std::nullopt;
  const QUrl url = QUrl::fromUserInput(address);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return std::nullopt;
  if (url.host().isEmpty()) return std::nullopt;
  return url;
}

std::optional<QUrl> mailToUrl(const QString& text) {
  QString list = text.trimmed();
  if (list.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) list = list.mid(7).trimmed();
  QStringList addresses;
  for (const QString& piece : list.split(QRegularExpression(QStringLiteral("[,;]")))) {
    const QString address = piece.trimmed();
    if (address.isEmpty()) continue;  // "a@b.ca;" as users often type it
    if (!isMailAddress(address)) return std::nullopt;
    addresses << address;
  }
  if (addresses.isEmpty()) return std::nullopt;
  QUrl url;
  url.setScheme(QStringLiteral("mailto"));
  url.setPath(addresses.join(QLatin1Char(',')), QUrl::DecodedMode);
  if (!url.isValid()) return std::nullopt;
  return url;
}

Status ProgramStarter::startProgram(const QString& program, const QStringList& arguments,
                                    const QString& workingDirectory) {
  if (program.trimmed().isEmpty() || hasControlCharacter(program)) return refused(QStringLiteral("program"), program);
  if (std::any_of(arguments.begin(), arguments.end(), [](const QString& a) { return a.contains(QChar(0)); })) {
    return refused(QStringLiteral("arguments of"), program);
  }
  QString directory;
  if (!workingDirectory.isEmpty()) {
    const QFileInfo info(workingDirectory);
    if (!info.isDir()) return Status(error::kPathNotFound, workingDirectory);
    directory = info.absoluteFilePath();
  }
  return launch(program, arguments, directory);
}

Status ProgramStarter::openFolder(const QString& path) {
  if (path.trimmed().isEmpty() || hasControlCharacter(path)) return refused(QStringLiteral("folder"), path);
  const QFileInfo info(path);
  if (!info.isDir()) return Status(error::kPathNotFound, path);
  return openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

Status ProgramStarter::openWebAddress(const QString& address) {
  const std::optional<QUrl> url = webAddressUrl(address);
  if (!url) return refused(QStringLiteral("web address"), address);
  return openUrl(*url);
}

Status ProgramStarter::openMailTo(const QString& address) {
  const std::optional<QUrl> url = mailToUrl(address);
  if (!url) return refused(QStringLiteral("e-mail address"), address);
  return openUrl(*url);
}

namespace {

class DesktopProgramStarter : public ProgramStarter {
 protected:
  Status launch(const QString& program, const QStringList& arguments, const QString& workingDirectory) override {
    const QString directory = workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory;
    const QString found = locate(program, directory);
    if (found.isEmpty()) return Status(error::kFileNotFound, program);
    const QFileInfo info(found);
    if (!info.isFile()) return Status(error::kFileNotFound, found);
    if (!info.isExecutable()) return Status(error::kAccessDenied, found);

    QProcess process;
    process.setProgram(found);
    process.setArguments(arguments);
    process.setWorkingDirectory(directory);
    if (!process.startDetached())
      return Status(error::kBadExeFormat, found + QStringLiteral(": ") + process.errorString());
    return Status::Ok();
  }

  Status openUrl(const QUrl& url) override {
    if (!QDesktopServices::openUrl(url)) return Status(error::kNoAssociation, url.toDisplayString());
    return Status::Ok();
  }

 private:
  // The program file `program` names, or empty.
  static QString locate(const QString& program, const QString& directory) {
    if (program.contains(QLatin1Char('/')) || QDir::isAbsolutePath(program)) {
      const QString path = QDir(directory).absoluteFilePath(program);
      return QFileInfo::exists(path) ? path : QString();
    }
    QStringList folders{directory};
    if (QCoreApplication::instance() != nullptr) folders << QCoreApplication::applicationDirPath();
    for (const QString& folder : folders) {
      const QString path = QDir(folder).absoluteFilePath(program);
      if (QFileInfo(path).isFile()) return path;
    }
    return QStandardPaths::findExecutable(program);
  }
};

}  // namespace

std::unique_ptr<ProgramStarter> createProgramStarter() {
  return std::make_unique<DesktopProgramStarter>();
}

}  // namespace os
