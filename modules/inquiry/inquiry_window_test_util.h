// What the window tests share: the application, the inquiry window opened as
// the module opens it (session context, regional settings, recorded dialogs
// and services), and the gestures a user makes: a click on a page tab or a
// grid row, a double click, keys.
#pragma once

#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "inquiry_test_util.h"
#include "inquiry_windows.h"
#include "os/recorders.h"
#include "report_test_util.h"
#include "shared/module_entry.h"
#include "shared/window_utils.h"
#include "ui/application.h"
#include "ui/dialogs.h"

QT_BEGIN_NAMESPACE
// Texts in test failures as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace inquiry::testing {

inline ui::GuardedApplication& app() {
  static int argc = 1;
  static char name[] = "inquiry_window_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt must not be torn down by the exit handlers after
  // its own statics are gone.
  static auto* a = new ui::GuardedApplication(argc, argv);
  return *a;
}

inline void settle() {
  for (int i = 0; i < 6; ++i) QCoreApplication::processEvents();
}

// Runs `script` on the first visible top-level window called `name`.
inline void whenTopLevelVisible(const QString& name, std::function<void(QWidget*)> script) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, name, script] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() != name || !w->isVisible()) continue;
      timer->stop();
      timer->deleteLater();
      script(w);
      return;
    }
  });
  timer->start();
}

class WindowTest : public InquiryTest {
 protected:
  WindowTest() {
    app();
    previousDir_ = QDir::currentPath();
    // The translation tables lie in ../languages from the program folder.
    const QString bin = QString::fromStdString(tmp_.path()) + "/Tallimoor/bin";
    QDir().mkpath(bin);
    QDir::setCurrent(bin);
    dialogs_.pdfDirectory = QString::fromStdString(tmp_.path());
  }
  ~WindowTest() override {
    closeWindow();
    QDir::setCurrent(previousDir_);
  }

  void openWindow(const InquirySide& side, int language = 1, const QString& suffix = {}) {
    shared::SessionContext& c = shared::Context();
    c.clear();
    c.setCompanyCode("1");
    c.setCompanyName("Quincaillerie Tremblay");
    c.setDataDir(QString::fromStdString(root_));
    c.setProgramDir(QDir::currentPath());
    c.setUserName("Marie Tremblay");
    c.setLanguage(language);
    c.setLangSuffix(!suffix.isEmpty() ? suffix : language == 2 ? "fr" : "en");
    c.setSessionId(1);
    shared::LoadRegionalSettings();
    if (side.receivables()) {
      dm_ = std::make_unique<Tkq61_dm>();
      frm_ = std::make_unique<Tkq61_frm>(*dm_);
    } else {
      dm_ = std::make_unique<Tvd52_dm>();
      frm_ = std::make_unique<Tvd52_Frm>(*dm_);
    }
    shared::ApplyDateFormat(dm_->dataSets());
    const pdx::Date today = today_;
    frm_->clock = [today] { return pdx::Timestamp::from(today, pdx::Time{11 * 3'600'000}); };
    frm_->show();
    QApplication::setActiveWindow(frm_.get());
    settle();
  }
  void closeWindow() {
    frm_.reset();
    dm_.reset();
  }

  QWidget* focused() { return QApplication::focusWidget(); }
  void type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
  void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), k, modifiers);
    settle();
  }
  void clickTab(int page) {
    QTabBar* bar = frm_->PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    settle();
    // Under a real X server, INQUIRY_SHOTS names a folder that receives a
    // picture of each page shown, to look at the layout.
    if (const QString shots = qEnvironmentVariable("INQUIRY_SHOTS"); !shots.isEmpty())
      frm_->grab().save(QDir(shots).filePath(QString("%1-%2-%3.png")
                                                 .arg(QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()))
                                                 .arg(frm_->objectName())
                                                 .arg(page)));
  }
  QPoint rowPoint(ui::DataGrid* grid, int row) {
    grid->scrollTo(grid->model()->index(row, 0));
    return grid->visualRect(grid->model()->index(row, 0)).center();
  }
  void clickRow(ui::DataGrid* grid, int row) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowPoint(grid, row));
    settle();
  }
  void doubleClickRow(ui::DataGrid* grid, int row) {
    const QPoint at = rowPoint(grid, row);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    settle();
  }
  // The texts of one column of a grid, top to bottom.
  QStringList column(ui::DataGrid* grid, int c) {
    QStringList out;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
      out << grid->model()->data(grid->model()->index(r, c)).toString();
    return out;
  }
  QStringList messages() {
    QStringList out;
    for (const auto& s : dialogs_.shown)
      if (s.what == "message") out << s.text;
    return out;
  }
  // The text of a PDF the recorder kept, pages joined.
  static QString pdfText(const QString& path) { return report::testing::pdfPages(path).join("\f"); }
  QString lastPdf(size_t index) const { return index < dialogs_.shown.size() ? dialogs_.shown[index].pdf : QString(); }

  ui::RecordingDialogs dialogs_;
  ui::ScopedDialogs scoped_{&dialogs_};
  os::RecordedServices services_;
  QString previousDir_;
  std::unique_ptr<InquiryDataModule> dm_;
  std::unique_ptr<InquiryForm> frm_;
};

}  // namespace inquiry::testing
