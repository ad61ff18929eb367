// Options > Company, Options > Printer and the tracker databases: what the
// next module receives, and what the status bar and the menus show.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "data/table_def.h"
#include "shell_test_util.h"

namespace shell {
namespace {

using namespace testing;

class CompanySelectionTest : public ShellTest {
 protected:
  CompanySelectionTest() { addModule("vd87"); }

  ui::MenuItem* companyEntry(TLogoAppForm& window, const QString& name, int occurrence = 0) {
    for (ui::MenuItem* e : window.Company1->items())
      if (ui::plainCaption(e->text()) == name && occurrence-- == 0) return e;
    return nullptr;
  }
  QStringList checkedCompanies(TLogoAppForm& window) {
    QStringList out;
    for (ui::MenuItem* e : window.Company1->items())
      if (e->isChecked()) out << ui::plainCaption(e->text());
    return out;
  }
};

// Another company's password is asked until it is typed exactly (case
// counts); the dialog keeps the last text; Cancel keeps the company there
// was; the user's own company never asks.
TEST_F(CompanySelectionTest, APasswordGuardsEveryCompanyButTheUsersOwn) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  addCompany(2, "Harbourline Marine", "Quai#2");
  addCompany(3, "Quincaillerie Laval", "Laval3");
  {
    // The user's own company has a password too: never asked for.
    db::Table comp;
    comp.setDatabaseName(dataDir_.toStdString());
    comp.setTableName("comp");
    ASSERT_TRUE(comp.open().ok());
    ASSERT_TRUE(comp.findKey({pdx::Value::integer(1)}).value());
    ASSERT_TRUE(comp.edit().ok());
    ASSERT_TRUE(comp.fieldByName("Comp_Passwd").setAsString("Nord1").ok());
    ASSERT_TRUE(comp.post().ok());
  }
  auto window = startShell();
  QStringList shownWith;
  QStringList typed = {"quai#2", "Quai#2"};
  window->CompPasswd_Frm->showModal = [&](TCompPasswd_Frm& d) {
    shownWith << d.Password->text();
    if (typed.isEmpty()) return int(QDialog::Rejected);
    d.Password->setText(typed.takeFirst());
    return int(QDialog::Accepted);
  };
  companyEntry(*window, "Harbourline Marine")->trigger();
  EXPECT_EQ(shownWith, (QStringList{"", "quai#2"}));  // wrong case asks again, with the text typed last
  EXPECT_EQ(window->context().companyCode(), "2");
  EXPECT_EQ(window->context().companyName(), "Harbourline Marine");
  EXPECT_EQ(window->StatusBar1->panelText(0), "Harbourline Marine");
  EXPECT_EQ(checkedCompanies(*window), QStringList{"Harbourline Marine"});
  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.companyCode, "2");
  EXPECT_EQ(moduleCall.companyName, "Harbourline Marine");

  // Cancel: company 2 stays, and so does its check mark.
  shownWith.clear();
  companyEntry(*window, "Quincaillerie Laval")->trigger();
  EXPECT_EQ(shownWith, QStringList{"Quai#2"});
  EXPECT_EQ(window->context().companyCode(), "2");
  EXPECT_EQ(checkedCompanies(*window), QStringList{"Harbourline Marine"});
  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.companyCode, "2");

  // Back to the user's own company: no password.
  shownWith.clear();
  companyEntry(*window, "Érablière du Nord")->trigger();
  EXPECT_TRUE(shownWith.isEmpty());
  EXPECT_EQ(window->context().companyCode(), "1");
  EXPECT_EQ(checkedCompanies(*window), QStringList{"Érablière du Nord"});
}

// The company password dialog answered from the keyboard, as a user would.
TEST_F(CompanySelectionTest, ThePasswordDialogFromTheKeyboard) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  addCompany(2, "Harbourline Marine", "Quai#2");
  auto window = startShell();
  EXPECT_EQ(window->CompPasswd_Frm->windowTitle(), "Password");
  answerDialog(window->CompPasswd_Frm, window->CompPasswd_Frm->Password, "Quai#2");
  companyEntry(*window, "Harbourline Marine")->trigger();
  EXPECT_EQ(window->context().companyCode(), "2");
}

// Of two companies with one name, either entry opens the last of them.
TEST_F(CompanySelectionTest, TwoCompaniesOfOneNameOpenTheLast) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  addCompany(2, "Twin & Co");
  addCompany(3, "Twin & Co");
  auto window = startShell();
  ASSERT_EQ(window->Company1->count(), 3);
  EXPECT_EQ(ui::plainCaption(window->Company1->item(1)->text()), "Twin & Co");  // "&" shown as written
  companyEntry(*window, "Twin & Co", 0)->trigger();
  EXPECT_EQ(window->context().companyCode(), "3");
  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.companyCode, "3");
}

// A company whose folder cannot be opened is reported, and the company there
// was stays open and current.
TEST_F(CompanySelectionTest, ACompanyThatCannotBeOpenedKeepsThePreviousOne) {
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  addCompany(2, "Harbourline Marine");
  ASSERT_TRUE(QDir(dataDir_ + "2").removeRecursively());
  auto window = startShell();
  dialogs_.shown.clear();
  companyEntry(*window, "Harbourline Marine")->trigger();
  EXPECT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
  EXPECT_EQ(window->context().companyCode(), "1");
  EXPECT_EQ(checkedCompanies(*window), QStringList{"Érablière du Nord"});
  EXPECT_EQ(window->StatusBar1->panelText(0), "Érablière du Nord");
  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.companyCode, "1");
}

// The printer chosen is the index the next module receives; the user's own
// printer is chosen at login.
TEST_F(CompanySelectionTest, APrinterChoiceReachesTheNextModule) {
  printers_->setPrinters({"Laser", "Cheques & Forms", "Colour"}, "Laser");
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  {
    db::Table users;
    users.setDatabaseName(dataDir_.toStdString());
    users.setTableName("user");
    ASSERT_TRUE(users.open().ok());
    ASSERT_TRUE(users.edit().ok());
    ASSERT_TRUE(users.fieldByName("User_printer").setAsString("Colour").ok());
    ASSERT_TRUE(users.post().ok());
  }
  auto window = startShell();
  EXPECT_EQ(window->context().printerIndex(), "2");
  EXPECT_EQ(window->StatusBar1->panelText(1), "Colour");
  window->Printer1->item(1)->trigger();
  EXPECT_EQ(window->StatusBar1->panelText(1), "Cheques & Forms");
  EXPECT_TRUE(window->Printer1->item(1)->isChecked());
  EXPECT_FALSE(window->Printer1->item(2)->isChecked());
  window->ExecuteOption("vd87");
  EXPECT_EQ(moduleCall.printerIndex, "1");
}

// The tracker databases of the company: trkdb is created when missing, one
// chosen is the qualifier of tracker options, and a company switch clears
// the choice.
TEST_F(CompanySelectionTest, TrackerDatabasesBelongToTheCompany) {
  (void)settings_->writeString("Tallimoor", "tracker", "Y");
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  addCompany(2, "Harbourline Marine");
  for (const QString& f : QDir(dataDir_ + "1").entryList({"trkdb.*", "TRKDB.*"}, QDir::Files))
    QFile::remove(dataDir_ + "1/" + f);
  addModule("trk30");
  addModule("trk01");
  auto window = startShell();
  EXPECT_TRUE(window->trackerList().isEmpty());
  auto directory = db::Database::openDirectory((dataDir_ + "1").toStdString());
  ASSERT_TRUE(directory.ok());
  ASSERT_TRUE((*directory)->tableExists("trkdb"));

  // "Create database" adds one; the menu is loaded again when it returns.
  moduleCall.during = [&] {
    db::Table trkdb;
    trkdb.setDatabaseName((dataDir_ + "1").toStdString());
    trkdb.setTableName("trkdb");
    ASSERT_TRUE(trkdb.open().ok());
    ASSERT_TRUE(trkdb.insert().ok());
    ASSERT_TRUE(trkdb.fieldByName("Trkdb_account").setAsInteger(4100).ok());
    ASSERT_TRUE(trkdb.fieldByName("Trkdb_name").setAsString("Rentals").ok());
    ASSERT_TRUE(trkdb.fieldByName("Trkdb_type").setAsInteger(1).ok());
    ASSERT_TRUE(trkdb.post().ok());
  };
  window->ExecuteOption("trk01");
  moduleCall.during = nullptr;
  ASSERT_EQ(window->OpenDatabase1->count(), 1);
  EXPECT_EQ(ui::plainCaption(window->OpenDatabase1->item(0)->text()), "Rentals");

  dialogs_.shown.clear();
  window->ExecuteOption("trk30");
  EXPECT_EQ(messages(), QStringList{window->messageLine(message::kNoTrackerDatabase)});
  window->OpenDatabase1->item(0)->trigger();
  EXPECT_EQ(window->selectedTrackerAccount(), "4100");
  window->ExecuteOption("trk30");
  EXPECT_EQ(moduleCall.qualifier, "4100");
  EXPECT_EQ(window->context().launchQualifier(), "");

  ui::MenuItem* other = nullptr;
  for (ui::MenuItem* e : window->Company1->items())
    if (ui::plainCaption(e->text()) == "Harbourline Marine") other = e;
  other->trigger();
  EXPECT_EQ(window->selectedTrackerAccount(), "");
  EXPECT_EQ(window->OpenDatabase1->count(), 0);
  dialogs_.shown.clear();
  window->ExecuteOption("trk30");
  EXPECT_EQ(messages(), QStringList{window->messageLine(message::kNoTrackerDatabase)});
}

// A trkdb that is there but cannot be read is reported and left for repair,
// never replaced by an empty one.
TEST_F(CompanySelectionTest, ADamagedTrackerTableIsNotReplaced) {
  (void)settings_->writeString("Tallimoor", "tracker", "Y");
  makeDataRoot({user("SECRET", "ADMIN", "Marie Tremblay", 1)});
  QString data;
  for (const QString& f : QDir(dataDir_ + "1").entryList({"trkdb.*", "TRKDB.*"}, QDir::Files))
    if (f.endsWith(".DB", Qt::CaseInsensitive)) data = dataDir_ + "1/" + f;
  ASSERT_FALSE(data.isEmpty());
  {
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(QByteArray(16, '\xEE'));
  }
  QFile before(data);
  ASSERT_TRUE(before.open(QIODevice::ReadOnly));
  const QByteArray damaged = before.readAll();
  before.close();
  TLogoAppForm window(programDir_);
  window.FormActivate();
  ASSERT_TRUE(window.ready());
  EXPECT_EQ(messages().size(), 1) << messages().join(" | ").toStdString();
  QFile after(data);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), damaged);
}

}  // namespace
}  // namespace shell
