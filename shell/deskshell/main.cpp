// deskshell: the suite's desktop program.
#include <QDir>
#include <cstdio>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

#include "desktop.h"
#include "logo_app_form.h"
#include "os/services.h"
#include "shared/window_utils.h"
#include "ui/application.h"
#include "ui/dialogs.h"

namespace {

// The progress window library, when it is installed beside the program.
class Progress {
 public:
  explicit Progress(const QString& programFolder) {
#if defined(Q_OS_WIN)
    const QString file = programFolder + "/Vessmark.dll";
#else
    const QString file = programFolder + "/libVessmark.so";
#endif
    if (!QFile::exists(file)) return;  // not installed: no progress display
    auto loaded = os::Services::libraries().load(file);
    if (!loaded.ok()) return;
    library_ = std::move(loaded).value();
    open_ = os::resolveFunction<Call>(*library_, "loading_Dialog_open");
    step_ = os::resolveFunction<Call>(*library_, "loading_Dialog_step");
    caption_ = os::resolveFunction<CaptionCall>(*library_, "loading_Dialog_caption");
    close_ = os::resolveFunction<Call>(*library_, "loading_Dialog_close");
    checked(open_ ? open_() : 1);
  }
  void caption(int n) {
    if (caption_) checked(caption_(n));
  }
  void step() {
    if (step_) checked(step_());
  }
  void close() {
    if (!library_) return;
    if (close_) checked(close_());
    (void)library_->unload();  // also when closing failed
    library_.reset();
  }

 private:
  using Call = int (*)();
  using CaptionCall = int (*)(int);
  static void checked(int result) {
    if (result == 0)
      ui::dialogs().message(nullptr, ui::MessageKind::kPlain, "Tallimoor", "Access denied...", ui::Buttons::kOk);
  }
  std::unique_ptr<os::Library> library_;
  Call open_ = nullptr, step_ = nullptr, close_ = nullptr;
  CaptionCall caption_ = nullptr;
};

}  // namespace

// Unattended runs (tests, the start-up benchmark): messages go to the
// standard error instead of waiting for someone to press OK.
class LoggedDialogs : public ui::RecordingDialogs {
 public:
  ui::Answer message(QWidget* parent, ui::MessageKind kind, const QString& caption, const QString& text,
                     ui::Buttons buttons) override {
    fprintf(stderr, "deskshell: %s\n", qPrintable(text));
    return ui::RecordingDialogs::message(parent, kind, caption, text, buttons);
  }
};

int main(int argc, char** argv) {
  ui::GuardedApplication app(argc, argv);
  LoggedDialogs logged;
  if (qEnvironmentVariable("TALLIMOOR_UNATTENDED") == "1") ui::setDialogs(&logged);
  const QString programFolder = QCoreApplication::applicationDirPath();
  Progress progress(programFolder);
  progress.caption(0);
  QApplication::setApplicationName("Tallimoor");
  progress.step();
  progress.caption(1);

  shell::TLogoAppForm window(programFolder, shell::makeDesktop);
  shared::LoadRegionalSettings();
  progress.step();
  progress.step();
  progress.close();

  // Diagnostics for tests and the start-up benchmark: where the first
  // activation got to, written to the file TALLIMOOR_REPORT_READY names.
  const QString report = qEnvironmentVariable("TALLIMOOR_REPORT_READY");
  if (!report.isEmpty()) {
    auto previous = window.onFirstActivate;
    window.onFirstActivate = [&window, previous, report] {
      previous();
      // Written whole under another name and renamed: whoever waits for
      // the file never reads it half-written.
      QSaveFile out(report);
      if (out.open(QIODevice::WriteOnly)) {
        out.write(window.ready() ? QByteArray("ready ") + QByteArray::number(window.sessionId()) + "\n"
                                 : QByteArray("ended\n"));
        out.commit();
      }
    };
  }
  window.show();
  // The first activation may have ended the shell (no session slot, login
  // cancelled): then there is no loop to run.
  if (!window.isVisible()) return window.ready() ? 0 : 2;
  return app.exec();
}
