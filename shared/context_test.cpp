// The session record, the window and status utilities, and the module entry
// across a real library boundary.
#include <gtest/gtest.h>

#include <QDir>

#include "db/formats.h"
#include "db/table.h"
#include "os/library_loader.h"
#include "report/report.h"
#include "shared/link_section.h"
#include "shared/module_entry.h"
#include "shared/window_utils.h"
#include "shared_test_util.h"
#include "string_pool.h"
#include "test_util.h"
#include "ui/controls.h"
#include "ui/application.h"
#include "ui/form.h"

namespace shared {
namespace {

TLinkSection sampleRecord() {
  TLinkSection link{};
  link.UserName = makeString("Émilie Roy");
  link.CompanyCode = makeString("2");
  link.CompanyName = makeString("Bois-Francs Inc.");
  link.DataDir = makeString("/srv/Tallimoor/data");
  link.Language = 2;
  setLangSuffix(link, "fr");
  link.SessionId = 3;
  return link;
}

TEST(LinkSectionTest, CountedCopiesShareStringsAndReleaseThem) {
  const size_t before = tallimoor_str_live();
  TLinkSection link = sampleRecord();
  EXPECT_EQ(tallimoor_str_refs(link.UserName), 1u);
  {
    SessionContext copy(link);
    EXPECT_EQ(copy.record().UserName, link.UserName);  // shared, not duplicated
    EXPECT_EQ(tallimoor_str_refs(link.UserName), 2u);
    EXPECT_EQ(copy.userName(), "Émilie Roy");
    EXPECT_EQ(copy.langSuffix(), "fr");
    EXPECT_EQ(copy.companyDirectory(), "/srv/Tallimoor/data2");
    copy.setLaunchQualifier("ap");  // the copy's own change
    EXPECT_EQ(text(link.LaunchQualifier), "");
    SessionContext again = copy;
    again.assign(again.record());  // assigning itself keeps the strings alive
    EXPECT_EQ(again.userName(), "Émilie Roy");
  }
  EXPECT_EQ(tallimoor_str_refs(link.UserName), 1u);
  release(link);
  EXPECT_EQ(tallimoor_str_live(), before);
  EXPECT_EQ(text(link.UserName), "");
  // A stale handle reads as empty and releasing it again is harmless.
  const uint32_t stale = makeString("x");
  tallimoor_str_release(stale);
  tallimoor_str_release(stale);
  EXPECT_EQ(text(stale), "");
  EXPECT_EQ(tallimoor_str_live(), before);
}

class UtilsTest : public ::testing::Test {
 protected:
  UtilsTest() { testing::app(); }
  void SetUp() override {
    db::RegionalFormats::current() = db::RegionalFormats();
    auto windows = std::make_unique<os::ScriptedWindowList>();
    windows_ = windows.get();
    previousWindows_ = os::Services::install(std::move(windows));
    auto versions = std::make_unique<os::ScriptedFileVersions>();
    versions_ = versions.get();
    previousVersions_ = os::Services::install(std::move(versions));
  }
  void TearDown() override {
    os::Services::install(std::move(previousWindows_));
    os::Services::install(std::move(previousVersions_));
    ClearCurrencySymbols();
  }
  testing::ScopedSettings settings_;
  os::ScriptedWindowList* windows_;
  os::ScriptedFileVersions* versions_;
  std::unique_ptr<os::WindowList> previousWindows_;
  std::unique_ptr<os::FileVersionReader> previousVersions_;
};

TEST_F(UtilsTest, QuickLinkCountsOnlyAVisibleWindowOfThatCaption) {
  EXPECT_FALSE(QuickLinkWindowOpen());
  windows_->addWindow("Quick Link", false);
  windows_->addWindow("Quick link", true);  // another caption
  EXPECT_FALSE(QuickLinkWindowOpen());
  windows_->addWindow("Lien Rapide", true);
  EXPECT_TRUE(QuickLinkWindowOpen());
  TWindowList list;
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetWindow(2).caption, "Lien Rapide");
  EXPECT_EQ(list.GetWindow(7).caption, "");
}

TEST_F(UtilsTest, VersionsAndTheStatusBar) {
  versions_->setVersion("/x/vd87.so", {2, 1, 0, 37});
  EXPECT_EQ(GetFileVersionText("/x/vd87.so", 2), "2.1");
  EXPECT_EQ(GetFileVersionText("/x/vd87.so", 0), "2.1.0.37");
  EXPECT_EQ(GetFileVersionText("/x/vd87.so", 9), "2.1.0.37");
  EXPECT_EQ(GetFileVersionText("/x/none.so", 4), "");

  ui::Form form("F");
  ui::StatusBar three(&form, &form, "StatusBar1", {250, 250, 50});
  three.setPanelText(0, "Company: ");
  three.setPanelText(1, "User: ");
  three.setPanelText(2, "Version ");
  TLinkSection link = sampleRecord();
  SessionContext context(link);
  ShowContextInStatusBar(three, context);
  ShowContextInStatusBar(three, context);  // a second company change does not pile up
  EXPECT_EQ(three.panelText(0), "Company: 2-Bois-Francs Inc.");
  EXPECT_EQ(three.panelText(1), "User: Émilie Roy");
  EXPECT_TRUE(three.panelText(2).startsWith("Version "));
  ui::StatusBar two(&form, &form, "StatusBar2", {100, 100});
  two.setPanelText(0, "a");
  ShowContextInStatusBar(two, context);
  EXPECT_EQ(two.panelText(0), "a");
  release(link);
}

TEST_F(UtilsTest, RegionalSettingsAndCurrencies) {
  LoadRegionalSettings();  // defaults
  EXPECT_EQ(db::RegionalFormats::current().shortDateFormat, "DD/MM/YYYY");
  EXPECT_EQ(db::formatCurrency(-12.5), "-$12.50");
  EXPECT_EQ(ReadIntlSetting(), "N");

  ASSERT_TRUE(settings_->writeString("Settings", "DateFmt", "YYYY-MM-DD").ok());
  ASSERT_TRUE(settings_->writeString("Settings", "CurrAlign", "R").ok());
  ASSERT_TRUE(settings_->writeString("Settings", "Intl", "y").ok());
  LoadRegionalSettings();
  EXPECT_EQ(db::dateEditMask(db::RegionalFormats::current().shortDateFormat), "!9999-99-99;1; ");
  EXPECT_EQ(db::formatCurrency(12.5), "12.50$");
  EXPECT_EQ(db::formatCurrency(-12.5), "(12.50$)");
  EXPECT_EQ(ReadIntlSetting(), "y");

  LoadCurrencySymbols("US$", "€", "£", "¥");
  EXPECT_EQ(CurrencySlot(1), "$");
  EXPECT_EQ(CurrencySlot(6), "R");
  SelectCurrency(3);
  EXPECT_EQ(db::formatCurrency(-5), "(5.00£)");
  SelectCurrency(-1);
  EXPECT_EQ(db::formatCurrency(5), "5.00");

  // Report masks: "$" gives way to a blank for index 0, after the amount.
  SelectCurrency(0);
  QString money = "$#,###,##0.00", plain = "#,##0", other = "#,##0.00$";
  ApplyReportCurrency({&money, &plain, &other}, 0);
  EXPECT_EQ(money, "#,###,##0.00 ");
  EXPECT_EQ(plain, "#,##0");
  EXPECT_EQ(other, "#,##0.00 ");
  EXPECT_EQ(db::RegionalFormats::current().currencySymbol, " ");
}

// The report side reaches every number mask of a report, DBText and Expr
// alike, and what the controls print follows; a date mask keeps its blanks.
TEST_F(UtilsTest, ReportCurrencyRewritesTheReportsNumberMasks) {
  ASSERT_TRUE(settings_->writeString("Settings", "CurrAlign", "R").ok());
  LoadCurrencySymbols("US$", "", "", "");
  SelectCurrency(0);
  report::Report r("Invoice");
  report::Band* footer = r.addBand(report::BandKind::kSummary, "Footer", 10);
  report::Expr* total = footer->addExpr("Total", "1234.5", {0, 0, 30, 5});
  total->setMask("$#,###,##0.00");
  report::Expr* margin = footer->addExpr("Margin", "12.5", {40, 0, 30, 5});
  margin->setMask("##0.00");
  report::DBText* date = footer->addDBText("Date", nullptr, "Posted", {80, 0, 30, 5});
  date->setMask("DD MM YYYY");

  ApplyReportCurrency(r, 0);
  EXPECT_EQ(total->mask(), "#,###,##0.00 ");
  EXPECT_EQ(total->printText(), "1,234.50 ");
  EXPECT_EQ(margin->mask(), "##0.00");
  EXPECT_EQ(date->mask(), "DD MM YYYY");

  // The blank is now the symbol in force: a second change replaces it, and
  // still leaves the date's blanks alone.
  ASSERT_TRUE(settings_->writeString("Settings", "CurrAlign", "L").ok());
  LoadCurrencySymbols("US$", "", "", "");
  db::RegionalFormats::current().currencySymbol = " ";
  ApplyReportCurrency(r, 2);
  EXPECT_EQ(total->mask(), "US$#,###,##0.00");
  EXPECT_EQ(total->printText(), "US$1,234.50");
  EXPECT_EQ(date->mask(), "DD MM YYYY");
}

TEST_F(UtilsTest, DateFieldsGetTheMaskAndFormat) {
  pdx::testing::TempDir dir;
  db::Database::environment() = pdx::Env::unsynced();
  db::Table t;
  t.setDatabaseName(dir.path());
  t.setTableName("periods");
  t.fieldDefs = {{"Period_no", pdx::FieldType::kLong, 0}, {"Period_start", pdx::FieldType::kDate, 0}};
  t.primaryIndexFields = "Period_no";
  ASSERT_TRUE(t.createTable().ok());
  ASSERT_TRUE(t.open().ok());
  db::RegionalFormats::current().shortDateFormat = "MM/DD/YYYY";
  ApplyDateFormat({&t});
  EXPECT_EQ(t.fieldByName("Period_start").editMask, "!99/99/9999;1; ");
  EXPECT_EQ(t.fieldByName("Period_start").displayFormat, "MM/DD/YYYY");
  EXPECT_EQ(t.fieldByName("Period_no").editMask, "");
}

TEST(ModuleEntryTest, WindowStartUpTranslatesConnectsAndFallsBackWithoutACompany) {
  testing::app();
  testing::ScopedSettings settings;
  pdx::testing::TempDir dir;
  db::Database::environment() = pdx::Env::unsynced();
  const QString root = QString::fromStdString(dir.path());
  QDir(root).mkpath("bin");
  QDir(root).mkpath("languages");
  QDir(root).mkpath("data7");
  ASSERT_TRUE(testing::writeTranslations(dir.path() + "/languages", "testmodfr",
                                         {{"Ttest_frm", "Ttest_frm", "Fenêtre d'essai", "", "", true}})
                  .ok());
  const QString saved = QDir::currentPath();
  // Anywhere but the program folder: the tables are found from ProgramDir,
  // as after a program the shell started in its own directory.
  QDir::setCurrent(root + "/data7");

  TLinkSection link{};
  link.CompanyCode = makeString("7");
  link.DataDir = makeString(root + "/data");
  link.ProgramDir = makeString(root + "/bin");
  link.Language = 2;
  setLangSuffix(link, "fr");
  Context().assign(link);
  ui::Form window("Ttest_frm");
  ui::StatusBar bar(&window, &window, "StatusBar1", {250, 250, 50});
  db::Database database("testdb");
  const pdx::Status started = StartModuleWindow(window, &bar, "testmod", database);
  EXPECT_TRUE(started.ok()) << started.toString();
  EXPECT_EQ(window.windowTitle(), "Fenêtre d'essai");
  EXPECT_EQ(database.params(), std::vector<std::string>{"path=" + (root + "/data7").toStdString()});
  EXPECT_TRUE(database.connected());
  EXPECT_EQ(ui::Application::helpFile(), root + "/bin/Helpfr");
  EXPECT_TRUE(bar.panelText(0).startsWith("7-"));

  // Started without the shell: company 1 in the built-in folders.
  TLinkSection bare{};
  bare.Language = 1;
  setLangSuffix(bare, "fr");
  Context().assign(bare);
  db::Database other("testdb2");
  (void)StartModuleWindow(window, nullptr, "testmod", other);
  EXPECT_EQ(Context().companyCode(), "1");
  EXPECT_EQ(Context().dataDir(), DevelopmentDataDir());
  EXPECT_EQ(other.path(), (DevelopmentDataDir() + "1").toStdString());
  Context().clear();
  release(link);
  QDir::setCurrent(saved);
}

TEST(ModuleEntryTest, ShowDllFormAcrossARealLibraryBoundary) {
  testing::app();
  testing::ScopedSettings settings;
  auto loaded = os::Services::libraries().load(QString::fromUtf8(SHARED_TEST_MODULE));
  ASSERT_TRUE(loaded.ok());
  std::unique_ptr<os::Library> library = std::move(loaded).value();
  using Entry = int (*)(TLinkSection);
  using Report = const char* (*)();
  auto show = os::resolveFunction<Entry>(*library, "ShowDllForm");
  auto report = os::resolveFunction<Report>(*library, "TestModuleReport");
  ASSERT_NE(show, nullptr);
  ASSERT_NE(report, nullptr);

  TLinkSection link = sampleRecord();
  EXPECT_EQ(show(link), -1);
  EXPECT_STREQ(report(), "Émilie Roy|/srv/Tallimoor/data2|fr|3|1|1");
  // The module keeps its counted copy until it is unloaded.
  EXPECT_EQ(tallimoor_str_refs(link.UserName), 2u);

  // An error inside the modal loop reaches the caller after the clean-up.
  TLinkSection throwing = link;
  throwing.LaunchQualifier = makeString("throw");
  EXPECT_THROW(show(throwing), std::runtime_error);
  EXPECT_TRUE(QString(report()).endsWith("|1|1"));  // shown, then destroyed
  tallimoor_str_release(throwing.LaunchQualifier);

  ASSERT_TRUE(library->unload().ok());
  EXPECT_EQ(tallimoor_str_refs(link.UserName), 1u);
  release(link);
}

}  // namespace
}  // namespace shared
