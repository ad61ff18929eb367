// Options > Language and the international wording.
#include <gtest/gtest.h>

#include <QFile>
#include <QLibraryInfo>

#include "data/user_security.h"
#include "shell_test_util.h"

namespace shell {
namespace {

using namespace testing;

// Every entry's enabled state, by name, through the whole bar.
QMap<QString, bool> enabledStates(const TLogoAppForm& window) {
  QMap<QString, bool> states;
  std::vector<ui::MenuItem*> pending(window.MainMenu1->items().begin(), window.MainMenu1->items().end());
  while (!pending.empty()) {
    ui::MenuItem* e = pending.back();
    pending.pop_back();
    states.insert(e->name(), e->isEnabled());
    pending.insert(pending.end(), e->items().begin(), e->items().end());
  }
  return states;
}

class LanguageSwitchTest : public ShellTest {
 protected:
  // An English user limited to payables (so that enabled states differ).
  std::unique_ptr<TLogoAppForm> payablesUser() {
    std::string security = data::noSecurity();
    data::allowSecurityMenu(security, data::kMenuPayables);
    makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1, 1, security)});
    return startShell();
  }
};

// The switch relabels every menu, the Tools menu and the shortcut lists,
// leaves every enabled state and the login dialog as they were, and the
// next module works in the new language.
TEST_F(LanguageSwitchTest, SwitchingRelabelsEverythingAndKeepsWhatTheUserMayDo) {
  auto window = payablesUser();
  addModule("vd87");
  const QMap<QString, bool> before = enabledStates(*window);
  const QString loginCaption = window->PasswordDlg->windowTitle();
  const QString loginLabel = window->PasswordDlg->Label1->text();
  ASSERT_EQ(loginCaption, "Password Dialog");

  ui::MenuItem* french = window->findAs<ui::MenuItem>("MenuItemfr");
  ASSERT_NE(french, nullptr);
  french->trigger();
  EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
  EXPECT_TRUE(french->isChecked());
  EXPECT_FALSE(window->findAs<ui::MenuItem>("MenuItemen")->isChecked());
  EXPECT_EQ(window->context().language(), 2);
  EXPECT_EQ(window->context().langSuffix(), "fr");
  EXPECT_EQ(ui::plainCaption(window->menus[2]->text()), "Comptes fournisseurs");
  EXPECT_EQ(ui::plainCaption(window->findAs<ui::MenuItem>("vd87")->text()), "Achats");
  EXPECT_EQ(ui::plainCaption(window->Tools1->item(0)->text()), "Maintenance du menu Outils");
  EXPECT_EQ(window->Tools1->item(0)->hint(), "Sécurité comme Maintenance des paramètres");
  EXPECT_TRUE(window->ShortcutDlg->OptionNames->item(0)->text().endsWith("(Grand livre)"));
  EXPECT_EQ(enabledStates(*window), before);
  EXPECT_EQ(window->PasswordDlg->windowTitle(), loginCaption);
  EXPECT_EQ(window->PasswordDlg->Label1->text(), loginLabel);
  // The caption: the translated window caption, four blanks, the date, day first.
  const QString date = QLocale::system().toString(QDate::currentDate(), "dddd, d MMMM yyyy");
  EXPECT_EQ(window->windowTitle(), "Tallimoor    " + date + " ");
  EXPECT_EQ(window->StatusBar1->panelText(0), "Érablière du Nord");
  EXPECT_EQ(window->StatusBar1->panelText(1), "Laser");
  if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_fr.qm"))
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "&Oui") << "Qt's own buttons in French";

  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.language, 2);
  EXPECT_EQ(moduleCall.langSuffix, "fr");

  window->findAs<ui::MenuItem>("MenuItemen")->trigger();
  EXPECT_EQ(ui::plainCaption(window->menus[2]->text()), "Accounts payable");
  EXPECT_EQ(ui::plainCaption(window->Tools1->item(0)->text()), "Maintenance of Tools menu");
  EXPECT_EQ(enabledStates(*window), before);
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "&Yes");
}

// A language whose translation table is missing changes nothing: the error is
// shown, and the language and its check mark stay.
TEST_F(LanguageSwitchTest, ALanguageWithoutItsTableChangesNothing) {
  auto window = payablesUser();
  {
    db::Table languages;
    languages.setDatabaseName(dataDir_.toStdString());
    languages.setTableName("Languages");
    ASSERT_TRUE(languages.open().ok());
    ASSERT_TRUE(languages.insert().ok());
    ASSERT_TRUE(languages.fieldByName("LangKey").setAsInteger(3).ok());
    ASSERT_TRUE(languages.fieldByName("LangCode").setAsString("de").ok());
    ASSERT_TRUE(languages.fieldByName("LangName").setAsString("Deutsch").ok());
    ASSERT_TRUE(languages.post().ok());
  }
  window.reset();
  window = startShell();
  ui::MenuItem* german = window->findAs<ui::MenuItem>("MenuItemde");
  ASSERT_NE(german, nullptr);
  window->findAs<ui::MenuItem>("MenuItemen")->trigger();
  const QString title = window->windowTitle();
  dialogs_.shown.clear();
  german->trigger();
  ASSERT_EQ(messages().size(), 1);
  EXPECT_TRUE(messages()[0].contains("MainMenude")) << messages()[0].toStdString();
  EXPECT_FALSE(german->isChecked());
  EXPECT_TRUE(window->findAs<ui::MenuItem>("MenuItemen")->isChecked());
  EXPECT_EQ(window->context().language(), 1);
  EXPECT_EQ(window->context().langSuffix(), "en");
  EXPECT_EQ(ui::plainCaption(window->menus[2]->text()), "Accounts payable");
  EXPECT_EQ(window->windowTitle(), title);
}

// "intl" replaces the Canadian wording: seven options in English, only the
// tax report in French; a switch of language applies it again.
TEST_F(LanguageSwitchTest, InternationalWordingInBothLanguages) {
  (void)settings_->writeString("Settings", "intl", "Y");
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  auto window = startShell();
  auto caption = [&](const char* code) { return ui::plainCaption(window->findAs<ui::MenuItem>(code)->text()); };
  EXPECT_EQ(caption("qg30"), "Tax 1 and Tax 2 report");
  EXPECT_EQ(caption("vd21"), "Edit check entries");
  EXPECT_EQ(caption("vd22"), "Recurring check entries");
  EXPECT_EQ(caption("vd32"), "List of checks to be issued");
  EXPECT_EQ(caption("vd33"), "List of recurring checks");
  EXPECT_EQ(caption("vd40"), "Print and update checks");
  EXPECT_EQ(caption("zk15"), "Maintenance of check format");

  window->findAs<ui::MenuItem>("MenuItemfr")->trigger();
  EXPECT_EQ(caption("qg30"), "Rapport Tax 1 et Tax 2");
  const QString frenchCheques = caption("vd40");
  EXPECT_FALSE(frenchCheques.contains("check")) << frenchCheques.toStdString();
  EXPECT_TRUE(frenchCheques.contains("chèques")) << frenchCheques.toStdString();

  window->findAs<ui::MenuItem>("MenuItemen")->trigger();
  EXPECT_EQ(caption("vd40"), "Print and update checks");

  // Without "intl" the Canadian wording stays.
  window.reset();
  (void)settings_->writeString("Settings", "intl", "n");
  window = startShell();
  EXPECT_EQ(caption("vd40"), "Print and update cheques");
  EXPECT_EQ(caption("qg30"), "GST/HST and QST report");
  // "Maintenance of parameters" may turn it on: it is read again when it returns.
  addModule("zk14");
  moduleCall.during = [&] { (void)settings_->writeString("Settings", "intl", "y"); };
  window->ExecuteOption("zk14");
  EXPECT_EQ(caption("vd40"), "Print and update checks");
}

// A user without a language of his own works in the machine's language,
// modules included.
TEST_F(LanguageSwitchTest, AUserWithoutALanguageKeepsTheMachines) {
  (void)settings_->writeString("Tallimoor", "language", "2");
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 0)});
  auto window = startShell();
  addModule("vd87");
  EXPECT_EQ(window->context().language(), 2);
  EXPECT_EQ(window->languageCode(), "fr");
  EXPECT_TRUE(window->windowTitle().startsWith("Bienvenue à Tallimoor"));
  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.language, 2);
  EXPECT_EQ(moduleCall.langSuffix, "fr");
}

}  // namespace
}  // namespace shell
