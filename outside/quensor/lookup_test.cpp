// The supplier and account lookups, driven as a user does: type to narrow
// the list, Enter to choose, Escape to choose nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "data/table_def.h"
#include "pdx/table.h"
#include "pick_dialog.h"
#include "shared/link_section.h"
#include "shared/window_utils.h"
#include "string_pool.h"
#include "test_util.h"

extern "C" uint32_t QuensorSelect(TLinkSection link);
extern "C" int32_t PelkoranSelect(TLinkSection link);

namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "outside_lookup_test";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt must not be torn down by the exit handlers after
  // its own statics are gone.
  static auto* a = new QApplication(argc, argv);
  return *a;
}

// Runs `script` on the lookup window once it is shown.
void whenShown(std::function<void(outside::PickDialog&)> script) {
  QTimer::singleShot(0, [script] {
    auto* dialog = dynamic_cast<outside::PickDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    script(*dialog);
  });
}

class LookupTest : public ::testing::Test {
 protected:
  LookupTest() {
    app();
    const std::string company = tmp_.path() + "/data1";
    EXPECT_EQ(mkdir(company.c_str(), 0700), 0);
    auto dir = pdx::Directory::open(company, pdx::Env::unsynced());
    EXPECT_TRUE(dir.ok());
    EXPECT_TRUE(data::createTable(**dir, data::tables::sup()).ok());
    EXPECT_TRUE(data::createTable(**dir, data::tables::glm()).ok());
    add(**dir, "sup", {{"Sup_code", "ACME"}, {"Sup_name", "Acme Outillage"}, {"Sup_city", "Québec"}});
    add(**dir, "sup", {{"Sup_code", "BRIT"}, {"Sup_name", "British Tools"}, {"Sup_city", "London"}});
    add(**dir, "sup", {{"Sup_code", "DEF"}, {"Sup_name", "Défauts inc."}, {"Sup_city", "Lévis"}});
    addAccount(**dir, 1000, "Bank", "Asset");
    addAccount(**dir, 2100, "Accounts payable", "Liability");
    addAccount(**dir, 5000, "Purchases", "Expense");
    link_ = {};
    link_.DataDir = shared::makeString(QString::fromStdString(tmp_.path() + "/data"));
    link_.CompanyCode = shared::makeString("1");
    link_.Language = 1;
  }
  ~LookupTest() override { shared::release(link_); }

  static void add(pdx::Directory& dir, const char* table, std::vector<std::pair<const char*, const char*>> fields) {
    auto t = dir.openTable(table);
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE((*t)->insert().ok());
    for (auto& [name, value] : fields) ASSERT_TRUE((*t)->set(name, pdx::Value::text(value)).ok());
    ASSERT_TRUE((*t)->post().ok());
  }
  static void addAccount(pdx::Directory& dir, int number, const char* description, const char* type) {
    auto t = dir.openTable("glm");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE((*t)->insert().ok());
    ASSERT_TRUE((*t)->set("Glm_account", pdx::Value::integer(number)).ok());
    ASSERT_TRUE((*t)->set("Glm_Description", pdx::Value::text(description)).ok());
    ASSERT_TRUE((*t)->set("Glm_type", pdx::Value::text(type)).ok());
    ASSERT_TRUE((*t)->post().ok());
  }

  pdx::testing::TempDir tmp_;
  TLinkSection link_;
};

TEST_F(LookupTest, TypingNarrowsTheSuppliersAndEnterChoosesTheFirstShown) {
  int shown = -1;
  whenShown([&](outside::PickDialog& d) {
    EXPECT_EQ(d.windowTitle(), "List of suppliers");
    EXPECT_EQ(d.visibleRows(), 3);
    QTest::keyClicks(d.searchBox(), "LONDON");  // a city, without regard to case
    shown = d.visibleRows();
    QTest::keyClick(d.searchBox(), Qt::Key_Return);
  });
  const uint32_t code = QuensorSelect(link_);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(shared::text(code), "BRIT");
  tallimoor_str_release(code);
}

TEST_F(LookupTest, EscapeOrNoMatchChoosesNothing) {
  whenShown([](outside::PickDialog& d) { QTest::keyClick(d.searchBox(), Qt::Key_Escape); });
  EXPECT_EQ(QuensorSelect(link_), 0u);
  whenShown([](outside::PickDialog& d) {
    QTest::keyClicks(d.searchBox(), "zzz");
    EXPECT_EQ(d.visibleRows(), 0);
    QTest::keyClick(d.searchBox(), Qt::Key_Return);  // nothing to choose: stays open
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(d.searchBox(), Qt::Key_Escape);
  });
  EXPECT_EQ(QuensorSelect(link_), 0u);
}

TEST_F(LookupTest, AccountsShowTheirTypeInTheUsersLanguage) {
  link_.Language = 2;
  QString typeShown;
  whenShown([&](outside::PickDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Liste des comptes");
    QTest::keyClicks(d.searchBox(), "passif");  // Liability shown in French
    EXPECT_EQ(d.visibleRows(), 1);
    QTest::keyClick(d.searchBox(), Qt::Key_Enter);
  });
  EXPECT_EQ(PelkoranSelect(link_), 2100);
  whenShown([](outside::PickDialog& d) { QTest::keyClick(d.searchBox(), Qt::Key_Escape); });
  EXPECT_EQ(PelkoranSelect(link_), 0);
}

TEST_F(LookupTest, AMissingCompanyGivesAnEmptyList) {
  shared::release(link_);
  link_.DataDir = shared::makeString(QString::fromStdString(tmp_.path() + "/nowhere"));
  link_.CompanyCode = shared::makeString("1");
  whenShown([](outside::PickDialog& d) {
    EXPECT_EQ(d.visibleRows(), 0);
    QTest::keyClick(d.searchBox(), Qt::Key_Escape);
  });
  EXPECT_EQ(QuensorSelect(link_), 0u);
}

}  // namespace

extern "C" void QuickLink(TLinkSection link);

namespace {

int quickLinkWindows(const QString& title) {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == title) ++n;
  return n;
}

TEST_F(LookupTest, QuickLinkOpensOneWindowTitledInTheUsersLanguage) {
  link_.ProgramDir = shared::makeString("/opt/Tallimoor/bin");
  QuickLink(link_);
  QuickLink(link_);  // the same window comes forward
  QCoreApplication::processEvents();
  EXPECT_EQ(quickLinkWindows("Quick Link"), 1);
  EXPECT_TRUE(shared::QuickLinkWindowOpen());
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == "Quick Link") {
      auto* list = w->findChild<QListWidget*>("Links");
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(list->count(), 3);
      EXPECT_TRUE(list->item(0)->text().startsWith("Company folder"));
      w->close();
    }
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(quickLinkWindows("Quick Link"), 0);

  link_.Language = 2;
  QuickLink(link_);
  QCoreApplication::processEvents();
  EXPECT_EQ(quickLinkWindows("Lien Rapide"), 1);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == "Lien Rapide") w->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
