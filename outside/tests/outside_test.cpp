// The start-up progress window, the company-creation module and the
// quick-link window, loaded as the shell loads them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <sstream>

#include "data_root.h"
#include "db/database.h"
#include "db/table.h"
#include "os/library_loader.h"
#include "os/services.h"
#include "shared/link_section.h"
#include "test_util.h"
#include "ui/dialogs.h"

namespace {

QApplication* app() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  static int argc = 1;
  static char name[] = "outside_test";
  static char* argv[] = {name, nullptr};
  static QApplication* created = new QApplication(argc, argv);
  return created;
}

TEST(Vessmark, EntryPointsAnswerOneWhenTheyWorkedAndZeroOtherwise) {
  app();
  auto loaded = os::Services::libraries().load(QString::fromUtf8(VESSMARK_PATH));
  ASSERT_TRUE(loaded.ok());
  std::unique_ptr<os::Library> lib = std::move(loaded).value();
  using Call = int (*)();
  using Caption = int (*)(int);
  auto open = os::resolveFunction<Call>(*lib, "loading_Dialog_open");
  auto step = os::resolveFunction<Call>(*lib, "loading_Dialog_step");
  auto caption = os::resolveFunction<Caption>(*lib, "loading_Dialog_caption");
  auto close = os::resolveFunction<Call>(*lib, "loading_Dialog_close");
  ASSERT_TRUE(open && step && caption && close);
  // Nothing to step or caption before the window is open: the shell then
  // says "Access denied...".
  EXPECT_EQ(step(), 0);
  EXPECT_EQ(caption(0), 0);
  EXPECT_EQ(open(), 1);
  EXPECT_EQ(caption(0), 1);
  EXPECT_EQ(caption(7), 1);  // an unknown stage shows no text
  for (int i = 0; i < 6; ++i) EXPECT_EQ(step(), 1);  // past the end stays at the end
  EXPECT_EQ(close(), 1);
  EXPECT_EQ(close(), 0);
  EXPECT_TRUE(lib->unload().ok());
}

// A module that opened the quick-link window is unloaded when it returns,
// and the quick-link library with it unless it stays for its window: the
// window outlives the module, and must go on working.
TEST(Lantrove, TheQuickLinkWindowOutlivesTheModuleThatOpenedIt) {
  app();
  auto loaded = os::Services::libraries().load(QString::fromUtf8(LANTROVE_PATH));
  ASSERT_TRUE(loaded.ok());
  std::unique_ptr<os::Library> lib = std::move(loaded).value();
  auto quickLink = os::resolveFunction<void (*)(TLinkSection)>(*lib, "QuickLink");
  ASSERT_TRUE(quickLink);
  shared::SessionContext context;
  context.setDataDir("/srv/tallimoor/data");
  context.setCompanyCode("1");
  context.setLanguage(1);
  quickLink(context.record());
  QWidget* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == "Quick Link") window = w;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(lib->unload().ok());

  auto* list = window->findChild<QListWidget*>("Links");
  ASSERT_NE(list, nullptr);
  QTest::keyClick(list, Qt::Key_Down);
  (void)window->grab();
  QCoreApplication::processEvents();
  EXPECT_EQ(list->currentRow(), 1);
  window->close();
  QCoreApplication::processEvents();
}

TEST(CompanyCreation, TheFirstStartCreatesCompanyOne) {
  app();
  db::Database::environment() = pdx::Env::unsynced();
  pdx::testing::TempDir dir;
  const std::string root = dir.path() + "/data";
  std::ostringstream log;
  admin::InitOptions init;
  init.dataRoot = root;
  init.env = pdx::Env::unsynced();
  ASSERT_TRUE(admin::initDataRoot(init, log).ok()) << log.str();

  ui::RecordingDialogs dialogs;
  ui::ScopedDialogs scope(&dialogs);
  auto loaded = os::Services::libraries().load(QString::fromUtf8(COMPANY_CREATION_PATH));
  ASSERT_TRUE(loaded.ok());
  std::unique_ptr<os::Library> lib = std::move(loaded).value();
  auto show = os::resolveFunction<int (*)(TLinkSection)>(*lib, "ShowDllForm");
  ASSERT_NE(show, nullptr);

  // The user first presses Create with no name, then types one.
  int attempts = 0;
  std::function<void()> answer = [&] {
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "CompanyCreate_frm" && w->isVisible()) window = w;
    if (!window) {
      QTimer::singleShot(10, answer);
      return;
    }
    auto* name = window->findChild<QLineEdit*>("CompanyName");
    auto* ok = window->findChild<QPushButton*>("OKBtn");
    if (attempts++ == 1) name->setText("Boulangerie Saint-Roch");
    ok->click();
    if (attempts < 2) QTimer::singleShot(10, answer);
  };
  QTimer::singleShot(10, answer);
  TLinkSection link{};
  link.DataDir = shared::makeString(QString::fromStdString(root));
  link.Language = 2;
  shared::setLangSuffix(link, "fr");
  EXPECT_EQ(show(link), -1);
  ASSERT_EQ(dialogs.shown.size(), 1u);  // the empty name was refused
  EXPECT_EQ(dialogs.shown[0].text, "Entrez le nom de la compagnie.");

  db::Table comp;
  comp.setDatabaseName(root);
  comp.setTableName("comp");
  ASSERT_TRUE(comp.open().ok());
  ASSERT_EQ(*comp.recordCount(), 1);
  EXPECT_EQ(comp.fieldByName("Comp_Code").asInteger(), 1);
  EXPECT_EQ(comp.fieldByName("Comp_Name").asString(), "Boulangerie Saint-Roch");
  EXPECT_TRUE(QDir(QString::fromStdString(root + "1")).exists("ctrl.DB") ||
              !QDir(QString::fromStdString(root + "1")).entryList({"ctrl.*", "CTRL.*"}).isEmpty());
  shared::release(link);
  EXPECT_TRUE(lib->unload().ok());
}

}  // namespace
