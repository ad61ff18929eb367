#include "os/services.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "os/recorders.h"

namespace os {
namespace {

QApplication& application() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  static int argc = 1;
  static char name[] = "os_test";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

TEST(ServicesTest, RecordersStandInWhileInstalledAndThenGiveWayAgain) {
  // The real settings are created on first use: keep them off the machine's own file.
  QTemporaryDir dir;
  qputenv(kSettingsVariable, dir.filePath(QStringLiteral("Norvadel.ini")).toLocal8Bit());
  MachineSettings* const real = &Services::settings();
  EXPECT_EQ(real->location(), dir.filePath(QStringLiteral("Norvadel.ini")));
  {
    RecordedServices outer;
    EXPECT_EQ(&Services::settings(), &outer.settings);
    ASSERT_TRUE(
        Services::settings().writeString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("Y")).ok());
    {
      RecordedServices inner;
      EXPECT_EQ(&Services::programs(), &inner.programs);
      EXPECT_EQ(
          Services::settings().readString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("N")),
          QStringLiteral("N"));
    }
    EXPECT_EQ(&Services::programs(), &outer.programs);
    EXPECT_EQ(&Services::libraries(), &outer.libraries);
    EXPECT_EQ(&Services::help(), &outer.help);
    EXPECT_EQ(Services::settings().readString(QStringLiteral("Settings"), QStringLiteral("intl"), QStringLiteral("N")),
              QStringLiteral("Y"));
    EXPECT_EQ(outer.settings.writes(), QStringList{QStringLiteral("Settings\\intl=Y")});
  }
  EXPECT_EQ(&Services::settings(), real);
}

TEST(ServicesTest, WindowListShowsTheProcessWindowsInCreationOrder) {
  application();
  QWidget first;
  first.setWindowTitle(QStringLiteral("Lien Rapide"));
  QWidget second;
  second.setWindowTitle(QStringLiteral("Quick Link"));
  QWidget hidden;
  hidden.setWindowTitle(QStringLiteral("Never shown"));
  QWidget child(&second);  // not a window of its own
  second.setGeometry(40, 50, 300, 200);
  second.show();
  first.show();
  first.setEnabled(false);
  first.showMinimized();

  const QList<WindowInfo> windows = Services::windows().topLevelWindows();
  ASSERT_EQ(windows.size(), 3);
  EXPECT_EQ(windows[0].caption, QStringLiteral("Quick Link"));
  EXPECT_TRUE(windows[0].visible);
  EXPECT_TRUE(windows[0].enabled);
  EXPECT_FALSE(windows[0].minimised);
  EXPECT_EQ(windows[0].rect, second.frameGeometry());
  EXPECT_EQ(windows[0].handle, reinterpret_cast<quintptr>(&second));

  EXPECT_EQ(windows[1].caption, QStringLiteral("Lien Rapide"));
  EXPECT_FALSE(windows[1].enabled);
  EXPECT_TRUE(windows[1].minimised);

  EXPECT_EQ(windows[2].caption, QStringLiteral("Never shown"));
  EXPECT_FALSE(windows[2].visible);

  second.hide();
  EXPECT_FALSE(Services::windows().topLevelWindows()[0].visible);
}

TEST(ServicesTest, PrintersOfAHeadlessMachineAndTheDefaultIndex) {
  application();
  // Whatever this machine has, the default is in the list or there is none.
  const Printers& system = Services::printers();
  const int index = system.defaultPrinterIndex();
  if (system.defaultPrinterName().isEmpty()) {
    EXPECT_EQ(index, -1);
  } else {
    ASSERT_GE(index, 0);
    EXPECT_EQ(system.printerNames().at(index), system.defaultPrinterName());
  }

  ScriptedPrinters printers;
  printers.setPrinters({QStringLiteral("Comptabilité"), QStringLiteral("Laser 2")}, QStringLiteral("Laser 2"));
  EXPECT_EQ(printers.defaultPrinterIndex(), 1);
  printers.setPrinters({QStringLiteral("Laser 2")}, QStringLiteral("Gone"));
  EXPECT_EQ(printers.defaultPrinterIndex(), -1);
  printers.setPrinters({}, {});
  EXPECT_EQ(printers.defaultPrinterIndex(), -1);
}

TEST(ServicesTest, HelpPagesOfAFolderOrOfOnePage) {
  QTemporaryDir dir;
  const auto touch = [&dir](const QString& name) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  };
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Help")));
  touch(QStringLiteral("Help/index.html"));
  touch(QStringLiteral("Help/204.html"));
  touch(QStringLiteral("Helpfr.html"));

  const QString folder = dir.filePath(QStringLiteral("Help"));
  EXPECT_EQ(helpPageUrl(folder, 0), QUrl::fromLocalFile(dir.filePath(QStringLiteral("Help/index.html"))));
  EXPECT_EQ(helpPageUrl(folder, 204), QUrl::fromLocalFile(dir.filePath(QStringLiteral("Help/204.html"))));
  EXPECT_EQ(helpPageUrl(folder, 304), QUrl::fromLocalFile(dir.filePath(QStringLiteral("Help/index.html"))));

  const std::optional<QUrl> french = helpPageUrl(dir.filePath(QStringLiteral("Helpfr")), 304);
  ASSERT_TRUE(french);
  EXPECT_EQ(french->toLocalFile(), dir.filePath(QStringLiteral("Helpfr.html")));
  EXPECT_EQ(french->fragment(), QStringLiteral("304"));
  EXPECT_FALSE(helpPageUrl(dir.filePath(QStringLiteral("Helpfr")), 0)->hasFragment());

  EXPECT_EQ(helpPageUrl(dir.filePath(QStringLiteral("Helpes")), 0), std::nullopt);
  EXPECT_EQ(helpPageUrl(QString(), 0), std::nullopt);
  QFile::remove(dir.filePath(QStringLiteral("Help/index.html")));
  EXPECT_EQ(helpPageUrl(folder, 0), std::nullopt);
  EXPECT_EQ(createHelpViewer()->showContents(folder).code(), error::kFileNotFound);
  EXPECT_EQ(createHelpViewer()->showContents(QStringLiteral(" ")).code(), error::kInvalidParameter);
}

}  // namespace
}  // namespace os
