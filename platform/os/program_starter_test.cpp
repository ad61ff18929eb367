#include "os/program_starter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "os/recorders.h"

namespace os {
namespace {

// Waits up to five seconds for a started program to leave `path` behind.
QByteArray waitForFile(const QString& path) {
  for (int i = 0; i < 500; ++i) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = file.readAll();
      if (bytes.endsWith('\n')) return bytes;
    }
    QThread::msleep(10);
  }
  return {};
}

void writeScript(const QString& path, const QByteArray& body, bool executable) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("#!/bin/sh\n" + body + "\n");
  file.close();
  QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
  if (executable) permissions |= QFile::ExeOwner;
  ASSERT_TRUE(file.setPermissions(permissions));
}

TEST(ProgramStarterTest, StartsDetachedInTheWorkingDirectory) {
  QTemporaryDir dir;
  auto starter = createProgramStarter();
  const Status started = starter->startProgram(QStringLiteral("/bin/sh"),
                                               {QStringLiteral("-c"), QStringLiteral("pwd > where.txt")}, dir.path());
  ASSERT_TRUE(started.ok()) << started.text(1).toStdString();
  EXPECT_EQ(QString::fromLocal8Bit(waitForFile(dir.filePath(QStringLiteral("where.txt")))).trimmed(),
            QFileInfo(dir.path()).canonicalFilePath());
}

TEST(ProgramStarterTest, BareNameIsLookedForInTheWorkingDirectoryFirst) {
  QTemporaryDir dir;
  writeScript(dir.filePath(QStringLiteral("gl12")), "echo started \"$1\" > done.txt", true);
  auto starter = createProgramStarter();
  ASSERT_TRUE(starter->startProgram(QStringLiteral("gl12"), {QStringLiteral("a b")}, dir.path()).ok());
  EXPECT_EQ(waitForFile(dir.filePath(QStringLiteral("done.txt"))), QByteArray("started a b\n"));

  // With no directory given, the current one.
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  QFile::remove(dir.filePath(QStringLiteral("done.txt")));
  const Status started = starter->startProgram(QStringLiteral("gl12"), {QStringLiteral("again")});
  QDir::setCurrent(previous);
  ASSERT_TRUE(started.ok());
  EXPECT_EQ(waitForFile(dir.filePath(QStringLiteral("done.txt"))), QByteArray("started again\n"));
}

TEST(ProgramStarterTest, RefusalsAndFailuresHaveTheirCodes) {
  QTemporaryDir dir;
  writeScript(dir.filePath(QStringLiteral("readonly")), "exit 0", false);
  auto starter = createProgramStarter();
  EXPECT_EQ(starter->startProgram(QString()).code(), error::kInvalidParameter);
  EXPECT_EQ(starter->startProgram(QStringLiteral("  ")).code(), error::kInvalidParameter);
  EXPECT_EQ(starter->startProgram(QStringLiteral("prog\nrm -rf x")).code(), error::kInvalidParameter);
  EXPECT_EQ(starter->startProgram(QStringLiteral("/bin/sh"), {}, dir.filePath(QStringLiteral("nowhere"))).code(),
            error::kPathNotFound);
  EXPECT_EQ(starter->startProgram(QStringLiteral("no-such-program-xq7"), {}, dir.path()).code(), error::kFileNotFound);
  EXPECT_EQ(starter->startProgram(dir.filePath(QStringLiteral("absent"))).code(), error::kFileNotFound);
  EXPECT_EQ(starter->startProgram(QStringLiteral("readonly"), {}, dir.path()).code(), error::kAccessDenied);
  EXPECT_EQ(starter->startProgram(QStringLiteral("."), {}, dir.path()).code(), error::kFileNotFound);
}

TEST(ProgramStarterTest, WebAddresses) {
  EXPECT_EQ(webAddressUrl(QStringLiteral("www.norvadel.com")), QUrl(QStringLiteral("http://www.norvadel.com")));
  EXPECT_EQ(webAddressUrl(QStringLiteral("  https://norvadel.com/produits?x=1  ")),
            QUrl(QStringLiteral("https://norvadel.com/produits?x=1")));
  EXPECT_EQ(webAddressUrl(QStringLiteral("HTTP://Norvadel.com")), QUrl(QStringLiteral("http://norvadel.com")));
  for (const char* refused :
       {"", "   ", "javascript:alert(1)", "file:///etc/passwd", "/etc/passwd", "ftp://norvadel.com",
        "www.norvadel .com", "http://", "mailto:a@b.ca", "www.nor\nvadel.com", "http://norvadel.com/a b"}) {
    EXPECT_EQ(webAddressUrl(QString::fromUtf8(refused)), std::nullopt) << refused;
  }
}

TEST(ProgramStarterTest, MailAddresses) {
  const auto mail = [](const char* text) -> QString {
    const std::optional<QUrl> url = mailToUrl(QString::fromUtf8(text));
    return url ? url->toString(QUrl::FullyEncoded) : QStringLiteral("refused");
  };
  EXPECT_EQ(mail("jean@exemple.ca"), QStringLiteral("mailto:jean@exemple.ca"));
  // As the contact dialog writes it: a blank after the colon.
  EXPECT_EQ(mail("mailto: support@norvadel.com"), QStringLiteral("mailto:support@norvadel.com"));
  EXPECT_EQ(mail("MAILTO:ventes@norvadel.com"), QStringLiteral("mailto:ventes@norvadel.com"));
  EXPECT_EQ(mail(" a@b.ca; c.d+e@f.ca, "), QStringLiteral("mailto:a@b.ca,c.d+e@f.ca"));
  EXPECT_EQ(mail("josé@exemple.ca"), QStringLiteral("mailto:jos%C3%A9@exemple.ca"));
  for (const char* refused :
       {"", "  ", "mailto:", "mailto: ", "jean", "@exemple.ca", "jean@", "jean@@exemple.ca", "a@b@c.ca",
        "jean dupont@exemple.ca", "a@b.ca?attach=/etc/passwd", "a@b.ca?subject=x", "a@b.ca\r\nBcc: z@z.ca", "a@b.ca#x",
        "<a@b.ca>", "a@.ca", "a@b..ca", "mailto:mailto:a@b.ca", "a@b.ca; junk"}) {
    EXPECT_EQ(mail(refused), QStringLiteral("refused")) << refused;
  }
}

TEST(RecordingProgramStarterTest, OnlyCheckedRequestsReachThePlatform) {
  QTemporaryDir dir;
  RecordingProgramStarter starter;
  starter.replies().add(Status(error::kNoAssociation, QStringLiteral("scripted")));

  EXPECT_EQ(starter.openMailTo(QStringLiteral("mailto: support@norvadel.com")).code(), error::kNoAssociation);
  EXPECT_TRUE(starter.openMailTo(QStringLiteral("  ")).code() == error::kInvalidParameter);
  EXPECT_TRUE(starter.openWebAddress(QStringLiteral("www.norvadel.com")).ok());
  EXPECT_EQ(starter.openWebAddress(QStringLiteral("file:///etc")).code(), error::kInvalidParameter);
  EXPECT_TRUE(starter.openFolder(dir.path()).ok());
  EXPECT_EQ(starter.openFolder(dir.filePath(QStringLiteral("none"))).code(), error::kPathNotFound);
  EXPECT_EQ(starter.openFolder(QString()).code(), error::kInvalidParameter);
  EXPECT_TRUE(starter.startProgram(QStringLiteral("tr15.exe"), {QStringLiteral("-x")}, dir.path()).ok());
  EXPECT_EQ(starter.startProgram(QStringLiteral("tr15.exe"), {}, dir.filePath(QStringLiteral("none"))).code(),
            error::kPathNotFound);
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  EXPECT_TRUE(starter.startProgram(QStringLiteral("tr16.exe")).ok());
  QDir::setCurrent(previous);

  const QString folder = QFileInfo(dir.path()).absoluteFilePath();
  EXPECT_EQ(starter.calls(), (QStringList{QStringLiteral("open mailto:support@norvadel.com"),
                                          QStringLiteral("open http://www.norvadel.com"),
                                          QStringLiteral("open ") + QUrl::fromLocalFile(folder).toString(),
                                          QStringLiteral("start tr15.exe -x in ") + folder,
                                          QStringLiteral("start tr16.exe in ") + QDir(dir.path()).canonicalPath()}));
}

}  // namespace
}  // namespace os
