#include "os/machine_settings.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

#include "ini_machine_settings.h"
#include "os/memory_machine_settings.h"

namespace os {
namespace {

QByteArray contentsOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

class MachineSettingsTest : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }
  QTemporaryDir dir_;
};

TEST_F(MachineSettingsTest, MissingStoreIsCreatedAndGivesDefaults) {
  const QString file = path(QStringLiteral("etc/Norvadel/Norvadel.ini"));
  auto settings = openMachineSettingsFile(file);
  EXPECT_TRUE(QFileInfo(file).isFile());
  EXPECT_EQ(settings->location(), file);
  EXPECT_EQ(settings->readString(QStringLiteral("Tallimoor"), QStringLiteral("pgmdrive"), QStringLiteral("e:")),
            QStringLiteral("e:"));
  EXPECT_EQ(settings->readString(QStringLiteral("Settings"), QStringLiteral("DateFmt"), QStringLiteral("DD/MM/YYYY")),
            QStringLiteral("DD/MM/YYYY"));
  // A stored empty text is a value, not a missing one.
  ASSERT_TRUE(settings->writeString(QStringLiteral("Tallimoor"), QStringLiteral("customer"), QString()).ok());
  EXPECT_EQ(settings->readString(QStringLiteral("Tallimoor"), QStringLiteral("customer"), QStringLiteral("x")),
            QString());
}

TEST_F(MachineSettingsTest, AwkwardValuesRoundTripThroughTheFile) {
  const QString file = path(QStringLiteral("Norvadel.ini"));
  const QList<QPair<QString, QString>> values = {
      {QStringLiteral("customer"), QStringLiteral("Société générale de Montréal — Québec")},
      {QStringLiteral("equation"), QStringLiteral("a = b == c")},
      {QStringLiteral("blanks"), QStringLiteral("  lead and trail  ")},
      {QStringLiteral("Form"), QStringLiteral("520,20,36,750,N")},
      {QStringLiteral("quoted"), QStringLiteral("say \"oui\"; then, stop # not a comment")},
      {QStringLiteral("windows path"), QStringLiteral("C:\\Tallimoor\\bin\\")},
      {QStringLiteral("at"), QStringLiteral("@Variant(not really)")},
      {QStringLiteral("clé générale"), QStringLiteral("Œuvre à 12,50 $")},
      {QStringLiteral("lines"), QStringLiteral("first\nsecond\tthird\r")},
      {QStringLiteral("quote first"), QStringLiteral("\"half quoted")},
      {QStringLiteral("both quotes"), QStringLiteral("\"whole\"")},
      {QStringLiteral("backslash quote"), QStringLiteral("\\\"")},
  };
  {
    auto settings = openMachineSettingsFile(file);
    for (const auto& [ident, value] : values) {
      ASSERT_TRUE(settings->writeString(QStringLiteral("Tallimoor"), ident, value).ok()) << ident.toStdString();
    }
  }
  // A second store object reads the file afresh.
  auto reread = openMachineSettingsFile(file);
  for (const auto& [ident, value] : values) {
    EXPECT_EQ(reread->readString(QStringLiteral("Tallimoor"), ident, QStringLiteral("<missing>")), value)
        << ident.toStdString();
  }
  // The file stays readable by an administrator: UTF-8 text.
  EXPECT_TRUE(contentsOf(file).contains("Société générale de Montréal"));
}

TEST_F(MachineSettingsTest, NamesCompareWithoutRegardToCase) {
  const QString file = path(QStringLiteral("Norvadel.ini"));
  writeBytes(file, "[settings]\nINTL=Y\n[Tallimoor]\nForm=520,20,36,750,N\n");
  auto settings = openMachineSettingsFile(file);
  EXPECT_EQ(settings->readString(QStringLiteral("Settings"), QStringLiteral("Intl"), QStringLiteral("N")),
            QStringLiteral("Y"));
  EXPECT_EQ(settings->readString(QStringLiteral("TALLIMOOR"), QStringLiteral("form"), QString()),
            QStringLiteral("520,20,36,750,N"));

  // A write under another spelling changes the one value, it does not add a second.
  ASSERT_TRUE(settings->writeString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("N")).ok());
  EXPECT_EQ(settings->readString(QStringLiteral("settings"), QStringLiteral("INTL"), QString()), QStringLiteral("N"));
  const QByteArray text = contentsOf(file);
  EXPECT_EQ(text.count("INTL="), 1) << text.toStdString();
  EXPECT_EQ(text.toLower().count("intl"), 1) << text.toStdString();
  EXPECT_EQ(text.toLower().count("[settings]"), 1) << text.toStdString();
  // The value written by hand and untouched reads back the same after the rewrite.
  EXPECT_EQ(openMachineSettingsFile(file)->readString(QStringLiteral("Tallimoor"), QStringLiteral("Form"), QString()),
            QStringLiteral("520,20,36,750,N"));
}

TEST_F(MachineSettingsTest, ReadsSeeWritesOfOtherStoresAndOfHands) {
  const QString file = path(QStringLiteral("Norvadel.ini"));
  auto reader = openMachineSettingsFile(file);
  auto writer = openMachineSettingsFile(file);
  ASSERT_TRUE(writer->writeString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("Y")).ok());
  EXPECT_EQ(reader->readString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("N")),
            QStringLiteral("Y"));
  // An administrator edits the file while the program runs.
  writeBytes(file, "[Settings]\nintl=n\nCurrSmbl=EUR\n");
  EXPECT_EQ(reader->readString(QStringLiteral("Settings"), QStringLiteral("CurrSmbl"), QStringLiteral("$")),
            QStringLiteral("EUR"));
}

TEST_F(MachineSettingsTest, BadNamesAreRefusedAndChangeNothing) {
  const QString file = path(QStringLiteral("Norvadel.ini"));
  auto settings = openMachineSettingsFile(file);
  ASSERT_TRUE(settings->writeString(QStringLiteral("Tallimoor"), QStringLiteral("language"), QStringLiteral("2")).ok());
  const QByteArray before = contentsOf(file);
  for (const QString& bad :
       {QString(), QStringLiteral("  "), QStringLiteral("a/b"), QStringLiteral("a\\b"), QStringLiteral("a=b"),
        QStringLiteral("[x]"), QStringLiteral(" lead"), QStringLiteral(";comment"), QStringLiteral("line\nbreak")}) {
    EXPECT_EQ(settings->writeString(QStringLiteral("Tallimoor"), bad, QStringLiteral("x")).code(),
              error::kInvalidParameter);
    EXPECT_EQ(settings->writeString(bad, QStringLiteral("language"), QStringLiteral("x")).code(),
              error::kInvalidParameter);
    EXPECT_EQ(settings->readString(bad, QStringLiteral("language"), QStringLiteral("d")), QStringLiteral("d"));
  }
  // "Tallimoor/language" would otherwise name the value through a sub-key.
  EXPECT_EQ(settings->readString(QStringLiteral("x"), QStringLiteral("Tallimoor/language"), QStringLiteral("d")),
            QStringLiteral("d"));
  EXPECT_EQ(contentsOf(file), before);
}

TEST_F(MachineSettingsTest, StoreThatCannotBeCreatedGivesDefaultsAndRefusesWrites) {
  // A plain file where the folder should be: nothing can be created below it.
  writeBytes(path(QStringLiteral("blocker")), "not a folder");
  const QString file = path(QStringLiteral("blocker/Norvadel/Norvadel.ini"));
  auto settings = openMachineSettingsFile(file);
  EXPECT_EQ(settings->readString(QStringLiteral("Tallimoor"), QStringLiteral("language"), QStringLiteral("1")),
            QStringLiteral("1"));
  const Status written =
      settings->writeString(QStringLiteral("Tallimoor"), QStringLiteral("Form"), QStringLiteral("x"));
  EXPECT_EQ(written.code(), error::kAccessDenied);
  EXPECT_TRUE(written.detail().contains(file));
  EXPECT_EQ(contentsOf(path(QStringLiteral("blocker"))), QByteArray("not a folder"));
}

TEST_F(MachineSettingsTest, UserOverlayIsReadFirstAndTakesTheWrites) {
  const QString machine = path(QStringLiteral("machine.ini"));
  const QString overlay = path(QStringLiteral("user/Norvadel.ini"));
  writeBytes(machine, "[Tallimoor]\npgmdrive=/opt\ndatadrive=/srv\n");
  const QByteArray machineBefore = contentsOf(machine);

  IniMachineSettings settings(machine, overlay);
  EXPECT_EQ(settings.readString(QStringLiteral("Tallimoor"), QStringLiteral("datadrive"), QStringLiteral("e:")),
            QStringLiteral("/srv"));
  ASSERT_TRUE(
      settings.writeString(QStringLiteral("Tallimoor"), QStringLiteral("datadrive"), QStringLiteral("/home")).ok());
  EXPECT_EQ(settings.readString(QStringLiteral("Tallimoor"), QStringLiteral("datadrive"), QStringLiteral("e:")),
            QStringLiteral("/home"));
  EXPECT_EQ(settings.readString(QStringLiteral("Tallimoor"), QStringLiteral("pgmdrive"), QStringLiteral("e:")),
            QStringLiteral("/opt"));
  EXPECT_EQ(contentsOf(machine), machineBefore);
  EXPECT_TRUE(contentsOf(overlay).contains("/home"));
}

TEST_F(MachineSettingsTest, EnvironmentVariableChoosesTheFile) {
  const QString file = path(QStringLiteral("chosen/Norvadel.ini"));
  const QByteArray previous = qgetenv(kSettingsVariable);
  const bool hadPrevious = qEnvironmentVariableIsSet(kSettingsVariable);
  qputenv(kSettingsVariable, file.toLocal8Bit());
  {
    auto settings = openMachineSettings();
    EXPECT_EQ(settings->location(), file);
    EXPECT_TRUE(QFileInfo(file).isFile());
    ASSERT_TRUE(
        settings->writeString(QStringLiteral("Settings"), QStringLiteral("CurrAlign"), QStringLiteral("R")).ok());
  }
  EXPECT_EQ(openMachineSettingsFile(file)->readString(QStringLiteral("Settings"), QStringLiteral("CurrAlign"),
                                                      QStringLiteral("L")),
            QStringLiteral("R"));
  if (hadPrevious) {
    qputenv(kSettingsVariable, previous);
  } else {
    qunsetenv(kSettingsVariable);
  }
}

TEST_F(MachineSettingsTest, WriteKeepsEveryOtherByteOfTheFile) {
  const QString file = path(QStringLiteral("Norvadel.ini"));
  QByteArray garbage;
  for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919) & 0xFF));
  // Binary junk before the first section, then a section as an administrator wrote it.
  const QByteArray before = garbage + "\n; edited by hand\r\n[Tallimoor]\r\npgmdrive=/opt\r\n\r\n[Settings]";
  writeBytes(file, before);
  auto settings = openMachineSettingsFile(file);
  EXPECT_EQ(settings->readString(QStringLiteral("Tallimoor"), QStringLiteral("pgmdrive"), QStringLiteral("e:")),
            QStringLiteral("/opt"));
  ASSERT_TRUE(
      settings->writeString(QStringLiteral("Tallimoor"), QStringLiteral("Form"), QStringLiteral("1,2,3,4,Y")).ok());
  const QByteArray after = contentsOf(file);
  EXPECT_EQ(after, garbage + "\n; edited by hand\r\n[Tallimoor]\r\npgmdrive=/opt\r\nForm=1,2,3,4,Y\r\n\r\n[Settings]");
  EXPECT_EQ(settings->readString(QStringLiteral("Tallimoor"), QStringLiteral("Form"), QString()),
            QStringLiteral("1,2,3,4,Y"));
}

TEST_F(MachineSettingsTest, OversizedOrSpecialFilesAreNotSettings) {
  const QString big = path(QStringLiteral("big.ini"));
  writeBytes(big, "[Tallimoor]\nlanguage=2\n" + QByteArray(kMaxSettingsFileSize, ';'));
  auto settings = openMachineSettingsFile(big);
  EXPECT_EQ(settings->readString(QStringLiteral("Tallimoor"), QStringLiteral("language"), QStringLiteral("1")),
            QStringLiteral("1"));
  EXPECT_FALSE(
      settings->writeString(QStringLiteral("Tallimoor"), QStringLiteral("language"), QStringLiteral("1")).ok());
  EXPECT_EQ(QFileInfo(big).size(), kMaxSettingsFileSize + 23);

  auto device = openMachineSettingsFile(QStringLiteral("/dev/zero"));
  EXPECT_EQ(device->readString(QStringLiteral("Tallimoor"), QStringLiteral("language"), QStringLiteral("1")),
            QStringLiteral("1"));
  EXPECT_FALSE(device->writeString(QStringLiteral("Tallimoor"), QStringLiteral("language"), QStringLiteral("2")).ok());
}

TEST_F(MachineSettingsTest, ConcurrentWritersLoseNothing) {
  const QString file = path(QStringLiteral("Norvadel.ini"));
  ASSERT_TRUE(prepareSettingsFile(file));
  constexpr int kWriters = 3;
  constexpr int kValues = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      IniMachineSettings settings(file);
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        const QString ident = QStringLiteral("w%1v%2").arg(w).arg(i);
        if (!settings.writeString(QStringLiteral("Settings"), ident, QString::number(i)).ok()) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  IniMachineSettings settings(file);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      EXPECT_EQ(settings.readString(QStringLiteral("Settings"), QStringLiteral("w%1v%2").arg(w).arg(i), QString()),
                QString::number(i));
    }
  }
}

TEST(MemoryMachineSettingsTest, BehavesLikeTheFileAndRecordsWrites) {
  MemoryMachineSettings settings;
  EXPECT_EQ(settings.readString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("N")),
            QStringLiteral("N"));
  ASSERT_TRUE(settings.writeString(QStringLiteral("Settings"), QStringLiteral("Intl"), QStringLiteral("y")).ok());
  EXPECT_EQ(settings.readString(QStringLiteral("SETTINGS"), QStringLiteral("intl"), QStringLiteral("N")),
            QStringLiteral("y"));
  EXPECT_EQ(settings.writeString(QStringLiteral("Settings"), QStringLiteral("a/b"), QStringLiteral("x")).code(),
            error::kInvalidParameter);

  settings.failWrites(Status(error::kAccessDenied, QStringLiteral("scripted")));
  EXPECT_EQ(settings.writeString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("N")).code(),
            error::kAccessDenied);
  EXPECT_EQ(settings.readString(QStringLiteral("Settings"), QStringLiteral("intl"), QString()), QStringLiteral("y"));
  settings.failWrites(std::nullopt);
  ASSERT_TRUE(settings.writeString(QStringLiteral("Tallimoor"), QStringLiteral("Form"), QStringLiteral("a=b")).ok());
  EXPECT_EQ(settings.writes(),
            (QStringList{QStringLiteral("Settings\\Intl=y"), QStringLiteral("Tallimoor\\Form=a=b")}));
}

}  // namespace
}  // namespace os
