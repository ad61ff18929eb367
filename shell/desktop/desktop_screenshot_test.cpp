// The desktop on a real X server: a virtual one (Xvfb) is started, a shell
// shows the standard desktop to an English and to a French user, and a busy
// desktop, and the screen's pixels are compared with the pictures kept beside
// this file. The comparison is loose on purpose: both pictures are shrunk to
// a coarse grid first, so that where things are counts, not how a font draws
// its letters. The shots of each run are left in the build folder to look at;
// TALLIMOOR_UPDATE_SCREENSHOTS=1 makes them the kept pictures.
#include <gtest/gtest.h>

#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include "desktop_test_util.h"

namespace shell {
namespace {

using testing::DesktopFixture;

constexpr const char* kShotsVariable = "TALLIMOOR_SCREENSHOT_DIR";
const QStringList kShots = {"standard_desktop_en", "standard_desktop_fr", "busy_desktop_en"};

// How far apart two screens are in layout: the mean difference of their grey
// levels on a 64 x 40 grid, 0 (same) to 255.
double layoutDistance(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 255;
  auto coarse = [](const QImage& image) {
    return image.convertToFormat(QImage::Format_Grayscale8).scaled(64, 40, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  };
  const QImage ca = coarse(a), cb = coarse(b);
  double sum = 0;
  for (int y = 0; y < ca.height(); ++y)
    for (int x = 0; x < ca.width(); ++x) sum += std::abs(int(qGray(ca.pixel(x, y))) - int(qGray(cb.pixel(x, y))));
  return sum / (ca.width() * ca.height());
}

class DesktopScreenshotTest : public DesktopFixture {
 protected:
  // Shows `window` at the top-left corner of the screen and takes the screen.
  static QImage shoot(TLogoAppForm& window) {
    window.setGeometry(0, 0, 1280, 800);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(300);  // let every control paint
    return window.screen()->grabWindow(0).toImage();
  }
};

TEST_F(DesktopScreenshotTest, TheDesktopLooksAsDesignedOnARealScreen) {
  const QString xvfb = QStandardPaths::findExecutable("Xvfb");
  if (xvfb.isEmpty()) GTEST_SKIP() << "no X server to show the desktop on: Xvfb is not installed (Debian package xvfb)";
  QProcess server;
  server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
  if (!server.waitForStarted(5000) || !server.waitForReadyRead(10000))
    GTEST_SKIP() << "Xvfb did not start: " << server.readAllStandardError().toStdString();
  const QString display = ":" + QString::fromLatin1(server.readLine()).trimmed();

  makeDataRoot({testing::user("SECRET", "ADMIN", "Marie Tremblay", 1), testing::user("AP", "PAY", "Luc Gagnon", 2)});
  addRows("cli", {{{"Cli_code", "C100"}, {"Cli_name", "Boulangerie Gagnon"}, {"Cli_tel", "819 555-0100"}},
                  {{"Cli_code", "C200"}, {"Cli_name", "Quincaillerie Laval"}, {"Cli_tel", "450 555-0199"}}});
  const QString shots = QString(TALLIMOOR_TEST_BINARY_DIR) + "/screenshots";
  QDir().mkpath(shots);
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(kPrefixVariable, prefix_);
  env.insert(kShotsVariable, shots);
  env.insert("DISPLAY", display);
  env.insert("QT_QPA_PLATFORM", "xcb");
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_also_run_disabled_tests", "--gtest_filter=DesktopScreenshotTest.DISABLED_ShootOnTheServer"});
  const bool finished = child.waitForFinished(120000);
  server.terminate();
  server.waitForFinished(5000);
  ASSERT_TRUE(finished);
  ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString()
                                 << child.readAllStandardError().toStdString();

  const bool update = qEnvironmentVariable("TALLIMOOR_UPDATE_SCREENSHOTS") == "1";
  for (const QString& name : kShots) {
    const QImage shot(shots + "/" + name + ".png");
    ASSERT_FALSE(shot.isNull()) << name.toStdString();
    const QString kept = QString(DESKTOP_TESTDATA_DIR) + "/" + name + ".png";
    if (update) {
      QFile::remove(kept);
      ASSERT_TRUE(QFile::copy(shots + "/" + name + ".png", kept));
      continue;
    }
    const QImage reference(kept);
    ASSERT_FALSE(reference.isNull()) << "no kept picture " << kept.toStdString();
    EXPECT_LT(layoutDistance(shot, reference), 12.0)
        << name.toStdString() << " no longer looks like " << kept.toStdString() << "; this run's shot is in " << shots.toStdString();
  }
}

// The shots themselves, in a process of their own on the X server.
TEST_F(DesktopScreenshotTest, DISABLED_ShootOnTheServer) {
  const QString out = qEnvironmentVariable(kShotsVariable);
  ASSERT_FALSE(out.isEmpty());
  const struct {
    const char* password;
    const char* name;
  } standard[] = {{"SECRET", "standard_desktop_en"}, {"AP", "standard_desktop_fr"}};
  for (const auto& who : standard) {
    auto window = start(who.password);
    ASSERT_TRUE(window->ready()) << messages().join(" | ").toStdString();
    ASSERT_TRUE(shoot(*window).save(out + "/" + who.name + ".png"));
    window->close();
  }
  // A desktop in use: lists open, a note, shortcuts.
  auto window = start("SECRET");
  QuickLists& l = lists(*window);
  l.toggle(0);
  l.toggle(2);
  l.toggle(QuickLists::kThingsToDo);
  l.RichEdit1->setPlainText("Call Gagnon about the cheque\nOrder paper");
  addShortcut(*window, "kq61");
  addShortcut(*window, "vd87");
  shortcuts(*window).shortcuts().back()->move(40, 420);
  ASSERT_TRUE(shoot(*window).save(out + "/busy_desktop_en.png"));
  window->close();
}

}  // namespace
}  // namespace shell
