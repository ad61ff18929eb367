// Start-up benchmark: the time from starting deskshell to its ready main
// window (data root open, session slot held, the only user logged in without
// a dialog, menus and Tools built), beside the time an empty Qt program takes
// to open one window, in the same run.
//
//   startup_bench [--runs N] [--keep]
//
// Both programs run offscreen. The data root is made with `tallimoor-admin
// demo` in a temporary prefix laid out as an installed suite. Prints the
// median of N runs of each and the difference; the target is deskshell
// within 0.3 s of the empty program.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "db/table.h"

namespace {

// Milliseconds from start to the ready file, or -1.
double timeToReady(const QString& program, const QString& workDir, const QProcessEnvironment& baseEnv,
                   const QString& readyFile, bool waitExit) {
  QFile::remove(readyFile);
  QProcessEnvironment env = baseEnv;
  env.insert("TALLIMOOR_REPORT_READY", readyFile);
  QProcess p;
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(workDir);
  QElapsedTimer clock;
  clock.start();
  p.start(program, {});
  if (!p.waitForStarted(10000)) return -1;
  double ms = -1;
  while (clock.elapsed() < 60000) {
    QFile f(readyFile);
    if (f.open(QIODevice::ReadOnly) && f.readAll().startsWith("ready")) {
      ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
      break;
    }
    QThread::usleep(500);
  }
  if (waitExit) p.waitForFinished(10000);
  p.kill();
  p.waitForFinished(5000);
  return ms;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int runs = 7;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const QString a = argv[i];
    if (a == "--runs" && i + 1 < argc) runs = std::max(1, atoi(argv[++i]));
    else if (a == "--keep") keep = true;
  }
  QTemporaryDir prefix;
  prefix.setAutoRemove(!keep);
  const QString root = prefix.path() + "/Tallimoor";
  QDir().mkpath(root + "/bin");
  const QString data = root + "/data";

  QProcess admin;
  admin.start(TALLIMOOR_ADMIN_PATH, {"demo", data});
  if (!admin.waitForFinished(600000) || admin.exitCode() != 0) {
    std::fprintf(stderr, "startup_bench: tallimoor-admin demo failed: %s\n", admin.readAllStandardError().constData());
    return 1;
  }
  // Log in without a dialog: one user only.
  const QString settings = prefix.path() + "/settings.ini";
  {
    QFile f(settings);
    if (!f.open(QIODevice::WriteOnly)) return 1;
    f.write(("[Tallimoor]\npgmdrive=" + prefix.path() + "\ndatadrive=" + prefix.path() + "\nlanguage=1\n").toUtf8());
  }
  {
    // The benchmark measures the start without a dialog: keep the first user only.
    db::Table users;
    users.setDatabaseName(data.toStdString());
    users.setTableName("user");
    pdx::Status st = users.open();
    if (st.ok()) st = users.next();
    while (st.ok() && !users.eof() && !users.isEmpty()) {
      auto count = users.recordCount();
      if (!count.ok() || *count <= 1) break;
      st = users.remove();
    }
    if (!st.ok()) {
      std::fprintf(stderr, "startup_bench: %s\n", st.toString().c_str());
      return 1;
    }
  }

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("NORVADEL_SETTINGS", settings);
  env.insert("TALLIMOOR_UNATTENDED", "1");
  const QString ready = prefix.path() + "/ready";

  std::vector<double> shell, empty;
  for (int r = 0; r < runs; ++r) {
    empty.push_back(timeToReady(EMPTY_WINDOW_PATH, root + "/bin", env, ready, true));
    shell.push_back(timeToReady(DESKSHELL_PATH, root + "/bin", env, ready, false));
  }
  const double s = median(shell), e = median(empty);
  std::printf("startup: deskshell %.1f ms, empty window %.1f ms, difference %.1f ms (target <= 300 ms) %s\n", s, e,
              s - e, s >= 0 && s - e <= 300 ? "ok" : "MISSED");
  return s < 0 ? 1 : 0;
}
