// The reference of the start-up benchmark: an empty Qt program that opens one
// window and says so in the file TALLIMOOR_REPORT_READY names, the way
// deskshell does when its main window is ready.
#include <QApplication>
#include <QSaveFile>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(750, 520);
  window.show();
  QSaveFile out(qEnvironmentVariable("TALLIMOOR_REPORT_READY"));  // whole or not at all
  if (out.open(QIODevice::WriteOnly)) {
    out.write("ready 0\n");
    out.commit();
  }
  QTimer::singleShot(0, &app, &QApplication::quit);
  return app.exec();
}
