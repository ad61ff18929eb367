// The company, the printer and the tracker database: the set-up at login and
// the user's choices under Options > Company, Options > Printer and Tracker >
// Open database. Each choice changes what the next module receives in the
// session context (company code and name, printer index, launch qualifier)
// and the status bar.
#include <QApplication>

#include "data/table_def.h"
#include "logo_app_form.h"
#include "os/services.h"
#include "shared/window_utils.h"

namespace shell {

namespace {

QString textOf(const db::Table& table, const char* field) {
  return QString::fromStdString(table.fieldByName(field).asString());
}

}  // namespace

// ---------------------------------------------------------------- company

void TLogoAppForm::setUpCompany() {
  rebuildCompanyMenu();
  context_.setUserName(textOf(user_, "User_name"));
  context_.setUserDetail(static_cast<int>(user_.fieldByName("User_detail").asInteger()));
  setVersionPanel();
  const int64_t company = user_.fieldByName("User_company").asInteger();
  context_.setCompanyCode(QString::number(company));
  // A user without a language of his own works in the machine's language:
  // his number 0 would make every module take the English path while the
  // shell's windows, translated with the machine's code, stay French.
  if (const int language = static_cast<int>(user_.fieldByName("User_language").asInteger()); language != 0)
    context_.setLanguage(language);
  auto found = comp_.findKey({pdx::Value::integer(company)});
  if (!found.ok()) databaseError(found.status());
  if (found.ok() && *found) context_.setCompanyName(textOf(comp_, "Comp_Name"));
  if (pdx::Status s = connectCompany(context_.companyCode()); !s.ok()) databaseError(s);
  checkCurrentCompany();
}

pdx::Status TLogoAppForm::connectCompany(const QString& code) {
  menudata_.disconnect();
  menudata_.params() = {("path=" + context_.dataDir() + code).toStdString()};
  PDX_RETURN_IF_ERROR(menudata_.connect());
  // The control record must be readable: a company without one is no company.
  db::Table ctrl;
  ctrl.setDatabaseName("menudata");
  ctrl.setTableName("ctrl");
  ctrl.readOnly = true;
  return ctrl.open();
}

void TLogoAppForm::rebuildCompanyMenu() {
  companyList_.clear();
  clearEntries(Company1);
  if (!comp_.active()) return;
  pdx::Status s = comp_.first();
  for (int i = 0; s.ok() && !comp_.isEmpty() && !comp_.eof(); ++i) {
    companyList_ << textOf(comp_, "Comp_Code");
    ui::MenuItem* entry =
        Company1->add(QStringLiteral("CompanyItem%1").arg(i), ui::literalCaption(textOf(comp_, "Comp_Name")));
    entry->setCheckable(true);
    connect(entry, &QAction::triggered, this, [this, entry] { CompanyClick(entry); });
    s = comp_.next();
  }
  if (!s.ok()) databaseError(s);
}

void TLogoAppForm::checkCurrentCompany() {
  const int at = static_cast<int>(companyList_.indexOf(context_.companyCode()));
  for (int i = 0; i < Company1->count(); ++i) Company1->item(i)->setChecked(i == at);
}

void TLogoAppForm::refreshCompanies(const QString& code) {
  if (code == codes::kCompanyCreation || !comp_.active()) return;
  if (pdx::Status s = comp_.refresh(); !s.ok()) databaseError(s);
  if (code.compare(codes::kCompanyMaintenance, Qt::CaseInsensitive) != 0) return;
  // Companies added, renamed or removed show at once; the current company
  // keeps its check mark and, when it was renamed, shows its new name.
  rebuildCompanyMenu();
  auto found = comp_.findKey({pdx::Value::integer(context_.companyCode().toLongLong())});
  if (found.ok() && *found) {
    context_.setCompanyName(textOf(comp_, "Comp_Name"));
    if (ready_) StatusBar1->setPanelText(0, context_.companyName());
  }
  checkCurrentCompany();
}

void TLogoAppForm::CompanyClick(ui::MenuItem* entry) {
  const QString previous = context_.companyCode();
  const QString caption = ui::plainCaption(entry->text());
  // 2. The last company of that name.
  QString code = previous;
  bool named = false;
  pdx::Status s = comp_.first();
  for (; s.ok() && !comp_.isEmpty() && !comp_.eof(); s = comp_.next()) {
    if (textOf(comp_, "Comp_Name") == caption) {
      code = textOf(comp_, "Comp_Code");
      named = true;
    }
  }
  if (!s.ok()) {
    databaseError(s);
    checkCurrentCompany();
    return;
  }
  // 3. The company, and its password when it is not the user's own.
  auto found = comp_.findKey({pdx::Value::integer(code.toLongLong())});
  if (!found.ok()) {
    databaseError(found.status());
    checkCurrentCompany();
    return;
  }
  if (!named || !*found) {
    // Renamed or removed by another user since the menu was made: the
    // previous company stays, and the menu shows what is there now.
    rebuildCompanyMenu();
    checkCurrentCompany();
    return;
  }
  // Whatever stops the switch from here on, the check mark stays with the
  // current company (choosing the entry already checked it).
  auto keepPrevious = [&] {
    (void)comp_.findKey({pdx::Value::integer(previous.toLongLong())});
    checkCurrentCompany();
  };
  const QString password = textOf(comp_, "Comp_Passwd");
  const QString usersOwn = QString::number(user_.fieldByName("User_company").asInteger());
  if (!password.isEmpty() && code != usersOwn) {
    for (;;) {
      if (CompPasswd_Frm->showModal(*CompPasswd_Frm) != QDialog::Accepted) {
        keepPrevious();
        return;
      }
      if (CompPasswd_Frm->Password->text() == password) break;
    }
  }
  const QString name = textOf(comp_, "Comp_Name");
  // 4. The company database. A company folder that cannot be opened leaves
  // the previous company open and current.
  if (pdx::Status connected = connectCompany(code); !connected.ok()) {
    databaseError(connected);
    if (pdx::Status back = connectCompany(previous); !back.ok()) databaseError(back);
    keepPrevious();
    return;
  }
  context_.setCompanyCode(code);
  context_.setCompanyName(name);
  // 5 to 7.
  for (ui::MenuItem* e : Company1->items()) e->setChecked(e == entry);
  StatusBar1->setPanelText(0, name);
  // The tracker databases belong to the company left behind.
  selectedTracker_.clear();
  if (settings_.trackerOn()) Load_database_menu();
}

// ---------------------------------------------------------------- printer

void TLogoAppForm::fillPrinters() {
  os::Printers& printers = os::Services::printers();
  printerList_ = printers.printerNames();
  printerIndex_ = static_cast<int>(printerList_.indexOf(printers.defaultPrinterName()));
  for (int i = 0; i < printerList_.size(); ++i) {
    ui::MenuItem* entry = Printer1->add(QStringLiteral("PrinterItem%1").arg(i), ui::literalCaption(printerList_[i]));
    entry->setCheckable(true);
    entry->setChecked(i == printerIndex_);
    connect(entry, &QAction::triggered, this, [this, entry] { PrinterClick(entry); });
  }
  context_.setPrinterIndex(QString::number(printerIndex_));
}

void TLogoAppForm::applyUserPrinter() {
  const QString wanted = textOf(user_, "User_printer");
  const int at = static_cast<int>(printerList_.indexOf(wanted));
  if (wanted.isEmpty() || at < 0) return;
  PrinterClick(Printer1->item(at));
}

void TLogoAppForm::PrinterClick(ui::MenuItem* entry) {
  const int at = Printer1->indexOf(entry);
  if (at < 0) return;
  printerIndex_ = at;
  context_.setPrinterIndex(QString::number(at));
  for (ui::MenuItem* e : Printer1->items()) e->setChecked(e == entry);
  showPrinterInStatusBar();
}

void TLogoAppForm::showPrinterInStatusBar() {
  ui::MenuItem* entry = Printer1->item(printerIndex_);
  StatusBar1->setPanelText(1, entry ? ui::plainCaption(entry->text()) : QString());
}

// ---------------------------------------------------------------- tracker databases

void TLogoAppForm::Load_database_menu() {
  trackerList_.clear();
  clearEntries(OpenDatabase1);
  selectedTracker_.clear();
  if (!menudata_.connected()) return;
  db::Table trkdb;
  trkdb.setDatabaseName("menudata");
  trkdb.setTableName("trkdb");
  trkdb.readOnly = true;
  pdx::Status s = trkdb.open();
  if (!s.ok() && !menudata_.directory()->tableExists("trkdb")) {
    // Only a company without the table gets a new, empty one; a table that
    // is there but cannot be read is reported and left for repair.
    s = data::createTable(*menudata_.directory(), data::tables::trkdb());
    if (s.ok()) s = trkdb.open();
  }
  if (!s.ok()) {
    databaseError(s);
    return;
  }
  s = trkdb.first();
  for (int i = 0; s.ok() && !trkdb.isEmpty() && !trkdb.eof(); ++i) {
    trackerList_ << textOf(trkdb, "Trkdb_account");
    ui::MenuItem* entry =
        OpenDatabase1->add(QStringLiteral("TrackerItem%1").arg(i), ui::literalCaption(textOf(trkdb, "Trkdb_name")));
    entry->setCheckable(true);
    connect(entry, &QAction::triggered, this, [this, entry] { OpendataClick(entry); });
    s = trkdb.next();
  }
  if (!s.ok()) databaseError(s);
}

void TLogoAppForm::OpendataClick(ui::MenuItem* entry) {
  const int at = OpenDatabase1->indexOf(entry);
  if (at < 0 || at >= trackerList_.size()) return;
  selectedTracker_ = trackerList_[at];
  for (ui::MenuItem* e : OpenDatabase1->items()) e->setChecked(e == entry);
}

}  // namespace shell
