// Vessmark: the progress window the shell shows while it starts.
//
// Four entry points, each returning 1 on success and 0 on failure:
// loading_Dialog_open shows the window, loading_Dialog_caption(n) shows the
// text of stage n, loading_Dialog_step advances the bar, loading_Dialog_close
// takes the window away.
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>

namespace {

constexpr int kSteps = 4;

struct Window {
  QPointer<QWidget> frame;
  QLabel* text = nullptr;
  QProgressBar* bar = nullptr;
};

Window& window() {
  static Window w;
  return w;
}

void paintNow() {
  if (window().frame) QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

extern "C" {

int loading_Dialog_open() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
  Window& w = window();
  if (w.frame) return 1;
  w.frame = new QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint);
  w.frame->setWindowTitle("Tallimoor");
  auto* layout = new QVBoxLayout(w.frame);
  auto* title = new QLabel("<b>Tallimoor</b>", w.frame);
  title->setAlignment(Qt::AlignCenter);
  w.text = new QLabel(w.frame);
  w.text->setAlignment(Qt::AlignCenter);
  w.bar = new QProgressBar(w.frame);
  w.bar->setRange(0, kSteps);
  w.bar->setValue(0);
  w.bar->setTextVisible(false);
  layout->addWidget(title);
  layout->addWidget(w.text);
  layout->addWidget(w.bar);
  w.frame->resize(320, 110);
  w.frame->show();
  paintNow();
  return 1;
}

int loading_Dialog_caption(int stage) {
  Window& w = window();
  if (!w.frame) return 0;
  // The program's language is not known yet: both languages.
  static const char* const texts[] = {"Starting… / Démarrage…", "Loading the windows… / Chargement des fenêtres…"};
  w.text->setText(stage >= 0 && stage < 2 ? QString::fromUtf8(texts[stage]) : QString());
  paintNow();
  return 1;
}

int loading_Dialog_step() {
  Window& w = window();
  if (!w.frame) return 0;
  w.bar->setValue(std::min(w.bar->value() + 1, kSteps));
  paintNow();
  return 1;
}

int loading_Dialog_close() {
  Window& w = window();
  if (!w.frame) return 0;
  delete w.frame.data();
  w = Window();
  return 1;
}

}  // extern "C"
