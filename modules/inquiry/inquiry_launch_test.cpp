// The shell launches the two inquiries from their menu entries, their
// quick-access entries and their desktop shortcuts: the real module libraries,
// installed in the program folder, loaded by the shell and left with Exit.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <sstream>

#include "company.h"
#include "data_root.h"
#include "inquiry_window_test_util.h"
#include "logo_app_form.h"
#include "os/memory_machine_settings.h"
#include "os/services.h"

namespace inquiry::testing {
namespace {

class LaunchTest : public ::testing::Test {
 protected:
  LaunchTest() {
    app();
    db::Database::environment() = pdx::Env::unsynced();
    prefix_ = QString::fromStdString(dir_.path());
    programDir_ = prefix_ + "/Tallimoor/bin";
    QDir(prefix_).mkpath("Tallimoor/bin");
    for (const char* module : {KQ61_MODULE, VD52_MODULE})
      QFile::copy(module, programDir_ + "/" + QFileInfo(module).fileName());
    (void)services_.settings.writeString("Tallimoor", "pgmdrive", prefix_);
    (void)services_.settings.writeString("Tallimoor", "datadrive", prefix_);
    services_.printers.setPrinters({"Laser"}, "Laser");
    previous_ = QDir::currentPath();
    QDir::setCurrent(programDir_);
    std::ostringstream log;
    admin::InitOptions init;
    init.dataRoot = (prefix_ + "/Tallimoor/data").toStdString();
    init.languagesDir = (prefix_ + "/Tallimoor/languages").toStdString();
    init.env = pdx::Env::unsynced();
    EXPECT_TRUE(admin::initDataRoot(init, log).ok()) << log.str();
    admin::CompanyOptions company;
    company.dataRoot = init.dataRoot;
    company.code = 1;
    company.name = "Érablière du Nord";
    company.today = *pdx::Date::fromYmd(2026, 12, 7);
    company.env = pdx::Env::unsynced();
    EXPECT_TRUE(admin::createCompany(company, log).ok()) << log.str();
  }
  ~LaunchTest() override {
    QDir::setCurrent(previous_);
    ui::Application::setExceptionHandler(nullptr);
  }

  pdx::testing::TempDir dir_;
  os::RecordedServices services_;
  ui::RecordingDialogs dialogs_;
  ui::ScopedDialogs scoped_{&dialogs_};
  QString prefix_, programDir_, previous_;
};

TEST_F(LaunchTest, TheShellOpensBothInquiriesFromEveryKindOfEntry) {
  // The recorded loader knows no library: the shell loads the real files.
  os::Services::install(std::unique_ptr<os::LibraryLoader>());
  shell::TLogoAppForm shell(programDir_);
  shell.FormActivate();
  ASSERT_TRUE(shell.ready());
  dialogs_.shown.clear();  // what the start-up said (no wallpaper here)
  for (const auto& [option, window, exit] :
       {std::tuple{"kq61", "kq61_frm", "Exit_btn"}, std::tuple{"kq61f", "kq61_frm", "Exit_btn"},
        std::tuple{"kq61S", "kq61_frm", "Exit_btn"}, std::tuple{"vd52", "vd52_Frm", "Button1"},
        std::tuple{"vd52f", "vd52_Frm", "Button1"}, std::tuple{"vd52S", "vd52_Frm", "Button1"}}) {
    QString caption;
    whenTopLevelVisible(window, [&caption, exit = QString(exit)](QWidget* w) {
      caption = w->windowTitle();
      if (auto* b = w->findChild<QPushButton*>(exit)) b->click();
    });
    shell.ExecuteOption(option);
    EXPECT_FALSE(caption.isEmpty()) << option;
    EXPECT_TRUE(dialogs_.shown.empty()) << option << ": " << dialogs_.shown.front().text.toStdString();
    dialogs_.shown.clear();
  }
}

}  // namespace
}  // namespace inquiry::testing
