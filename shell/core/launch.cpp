// The launch of options: module libraries, programs, the Tools menu and help.
#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "data/table_def.h"
#include "logo_app_form.h"
#include "os/services.h"
#include "string_pool.h"
#include "ui/application.h"
#include "ui/dialogs.h"

namespace shell {

namespace {

#if defined(Q_OS_WIN)
const char* const kLibrarySuffix = ".dll";
const char* const kProgramSuffix = ".exe";
#elif defined(Q_OS_MACOS)
const char* const kLibrarySuffix = ".dylib";
const char* const kProgramSuffix = "";
#else
const char* const kLibrarySuffix = ".so";
const char* const kProgramSuffix = "";
#endif

using ShowDllForm = int (*)(TLinkSection);
// The Tools-menu maintenance module also receives the shortcut lists: the
// option names and their codes, each a pool string of lines.
using ShowToolsDllForm = int (*)(TLinkSection, uint32_t, uint32_t);

bool fileExistsNoCase(const QString& folder, const QString& name) {
  const QStringList found = QDir(folder).entryList({name}, QDir::Files | QDir::CaseSensitive);
  if (!found.isEmpty()) return true;
  for (const QString& f : QDir(folder).entryList(QDir::Files))
    if (f.compare(name, Qt::CaseInsensitive) == 0) return true;
  return false;
}

// A code read from the catalogue names a library in the program folder: a
// separator or a dot-dot would take the load out of it.
bool isPlainLibraryName(const QString& name) {
  if (name.isEmpty() || name == "." || name == "..") return false;
  for (const QChar c : name)
    if (c == '/' || c == '\\' || c == ':' || c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
  return true;
}

}  // namespace

QString TLogoAppForm::libraryPath(const QString& library) const {
  return settings_.programDir() + "/" + library + kLibrarySuffix;
}

void TLogoAppForm::ExecuteOption(const QString& name) {
  QString code = name;
  // 1. Tracker options need a tracker database.
  if (code.startsWith(codes::kTrackerPrefix) && code != codes::kCreateTrackerDatabase &&
      code != codes::kCreateTrackerDatabase + "S") {
    const QString account = selectedTrackerAccount();
    if (account.isEmpty()) {
      showMessage(message::kNoTrackerDatabase);
      return;
    }
    context_.setLaunchQualifier(account);
  }
  // 2 to 4. The name rules: "p" (except company maintenance), "f", "S".
  if (code.compare(codes::kCompanyMaintenance, Qt::CaseInsensitive) != 0 && code.endsWith('p')) code.chop(1);
  if (code.endsWith('f')) code.chop(1);
  if (code.endsWith('S')) {
    code.chop(1);
    // A shortcut runs only an option the user may run.
    if (!ShortcutDlg->allows(code)) {
      showMessage(message::kOptionNotAllowed);
      context_.setLaunchQualifier({});
      return;
    }
  }
  // 5. Payroll options need the company's payroll departments.
  if ((code.startsWith(codes::kPayrollPrefix) || code == codes::kTransactionJournals) && settings_.payrollOn() &&
      code != codes::kCreatePayrollFiles && !fileExistsNoCase(context_.companyDirectory(), "Pndept.db")) {
    showMessage(message::kPayrollDepartmentsMissing, true);
    context_.setLaunchQualifier({});
    return;
  }
  // 6 to 8.
  launchLibrary(code);
  // 9. After the launch (also after a module raised: the qualifier belongs
  // to this one launch and must not reach the next).
  context_.setLaunchQualifier({});
  if (code == codes::kCreateTrackerDatabase) Load_database_menu();
  if (code == codes::kParameters) {
    settings_.intl = os::Services::settings().readString("Settings", "intl", "N");
    Internationalize();
  }
  if (ready_) setGreeting();
}

bool TLogoAppForm::launchLibrary(const QString& code) {
  const LibraryChoice choice = libraryFor(code);
  if (!isPlainLibraryName(choice.library)) {
    showText("error loading option " + code + "  " + QString::number(os::error::kBadPathName));
    return true;
  }
  if (!choice.qualifier.isEmpty()) context_.setLaunchQualifier(choice.qualifier);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto loaded = os::Services::libraries().load(libraryPath(choice.library));
  QApplication::restoreOverrideCursor();
  if (!loaded.ok()) {
    const int error = loaded.status().code();
    if (code.startsWith(codes::kPayrollPrefix) && error == os::error::kDllNotFound)
      showMessage(message::kPayrollLibraryMissing);
    else
      showText("error loading option " + code + "  " + QString::number(error));
    return true;
  }
  std::unique_ptr<os::Library> library = std::move(loaded).value();
  repaint();
  auto entry = os::resolveFunction<ShowDllForm>(*library, "ShowDllForm");
  std::exception_ptr raised;
  if (!entry) {
    // A library without the entry point is not a module: say so as a load
    // failure rather than call into nothing.
    showText("error loading option " + code + "  " + QString::number(os::error::kProcNotFound));
  } else {
    try {
      if (entry(context_.record()) == 0) showText("Access denied...");
    } catch (...) {
      raised = std::current_exception();
    }
  }
  ui::Application::setExceptionHandler(nullptr);
  if (os::Status s = library->unload(); !s.ok()) showText(s.text(context_.language()));
  refreshCompanies(code);
  repaint();
  if (raised) {
    ui::Application::handleException(raised);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- Tools menu

bool TLogoAppForm::openCatalogue(db::Table& apps, bool reportFailure) {
  apps.setDatabaseName("menumydb");
  apps.setTableName("apps");
  const pdx::Status s = apps.open();
  if (!s.ok() && reportFailure) databaseError(s);
  return s.ok();
}

pdx::Status TLogoAppForm::createCatalogue() {
  PDX_RETURN_IF_ERROR(menumydb_.connect());
  PDX_RETURN_IF_ERROR(data::createTable(*menumydb_.directory(), data::tables::apps()));
  db::Table apps("apps");
  apps.setDatabaseName("menumydb");
  apps.setTableName("apps");
  PDX_RETURN_IF_ERROR(apps.open());
  PDX_RETURN_IF_ERROR(apps.insert());
  for (const auto& [field, value] : std::initializer_list<std::pair<const char*, const char*>>{
           {"Application_name", "Maintenance of Tools menu"},
           {"Application_name_fr", "Maintenance du menu Outils"},
           {"Application_pgm", "optmenu"},
           {"Application_about", "Security like Maintenance of parameters"},
           {"Application_about_fr", "Sécurité comme Maintenance des paramètres"},
           {"Application_security", "zk14"}})
    PDX_RETURN_IF_ERROR(apps.fieldByName(field).setAsString(value));
  PDX_RETURN_IF_ERROR(apps.fieldByName("Application_type").setAsBoolean(true));
  return apps.post();
}

void TLogoAppForm::Load_applications() {
  clearEntries(Tools1);
  db::Table apps("apps");
  if (!openCatalogue(apps, false)) {
    // Only a missing catalogue is made anew with its one row. One that is
    // there but cannot be opened (locked, damaged) holds the users' Tools
    // menu: it is reported and left as it is.
    pdx::Status s = menumydb_.connect();
    if (s.ok() && menumydb_.directory()->tableExists("apps")) {
      (void)openCatalogue(apps, true);
      return;
    }
    if (s.ok()) s = createCatalogue();
    if (s.ok()) s = apps.open();
    if (!s.ok()) {
      databaseError(s);
      return;
    }
  }
  const bool french = context_.language() == 2;
  pdx::Status s = apps.first();
  for (; s.ok() && !apps.isEmpty() && !apps.eof(); s = apps.next()) {
    const QString code = QString::fromStdString(apps.fieldByName("Application_pgm").asString());
    const QString caption = QString::fromStdString(apps.fieldByName(french ? "Application_name_fr" : "Application_name").asString());
    ui::MenuItem* entry = Tools1->add(code, ui::literalCaption(caption));
    entry->setHint(QString::fromStdString(apps.fieldByName(french ? "Application_about_fr" : "Application_about").asString()));
    const bool isModule = apps.fieldByName("Application_type").asBoolean();
    if (isModule && code == codes::kToolsMenuMaintenance)
      connect(entry, &QAction::triggered, this, [this] { ExecuteToolsMaintenance(); });
    else if (isModule)
      connect(entry, &QAction::triggered, this, [this, code] { ExecuteOption(code); });
    else
      connect(entry, &QAction::triggered, this, [this, code] { ExecuteExe(code); });
    const QString security = QString::fromStdString(apps.fieldByName("Application_security").asString());
    if (ui::MenuItem* option = findOption(security)) entry->setEnabled(option->isEnabled());
  }
  if (!s.ok()) databaseError(s);
}

void TLogoAppForm::ChgLang_applications() {
  db::Table apps("apps");
  if (!openCatalogue(apps, true)) return;
  const bool french = context_.language() == 2;
  int i = 0;
  pdx::Status s = apps.first();
  for (; s.ok() && !apps.isEmpty() && !apps.eof(); s = apps.next(), ++i) {
    ui::MenuItem* entry = Tools1->item(i);
    if (!entry) break;
    entry->setText(ui::literalCaption(
        QString::fromStdString(apps.fieldByName(french ? "Application_name_fr" : "Application_name").asString())));
    entry->setHint(QString::fromStdString(apps.fieldByName(french ? "Application_about_fr" : "Application_about").asString()));
  }
  if (!s.ok()) databaseError(s);
}

void TLogoAppForm::ExecuteExe(const QString& code) {
  db::Table apps("apps");
  if (!openCatalogue(apps, true)) return;
  auto found = apps.locate("Application_pgm", {pdx::Value::text(code.toStdString())});
  if (!found.ok()) databaseError(found.status());
  QString directory;
  if (found.ok() && *found)
    directory = QString::fromStdString(apps.fieldByName("Application_directory").asString());
  apps.close();
  // The program starts in its directory; the shell's own current directory
  // stays where it is (a relative directory counts from it).
  if (!directory.isEmpty()) directory = QDir(directory).absolutePath();
  const os::Status started = os::Services::programs().startProgram(code + kProgramSuffix, {}, directory);
  if (!started.ok()) showText(started.text(context_.language()));
}

void TLogoAppForm::ExecuteToolsMaintenance() {
  const QString code = codes::kToolsMenuMaintenance;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto loaded = os::Services::libraries().load(libraryPath(code));
  QApplication::restoreOverrideCursor();
  if (loaded.ok()) {
    std::unique_ptr<os::Library> library = std::move(loaded).value();
    repaint();
    auto entry = os::resolveFunction<ShowToolsDllForm>(*library, "ShowDllForm");
    FillShortcutLists(false, ShortcutListOrder::kToolsMaintenance);
    std::exception_ptr raised;
    if (entry) {
      const QByteArray names = ShortcutDlg->OptionNames->items().join("\r\n").toUtf8();
      const QByteArray dlls = ShortcutDlg->dllText().toUtf8();
      const uint32_t namesHandle = tallimoor_str_new(names.constData(), size_t(names.size()));
      const uint32_t dllsHandle = tallimoor_str_new(dlls.constData(), size_t(dlls.size()));
      try {
        if (entry(context_.record(), namesHandle, dllsHandle) == 0) showText("Access denied...");
      } catch (...) {
        raised = std::current_exception();
      }
      tallimoor_str_release(namesHandle);
      tallimoor_str_release(dllsHandle);
    } else {
      showText("error loading optmenu" + QString::number(os::error::kProcNotFound));
    }
    ui::Application::setExceptionHandler(nullptr);
    if (os::Status s = library->unload(); !s.ok()) showText(s.text(context_.language()));
    refreshCompanies(code);
    FillShortcutLists(true, ShortcutListOrder::kToolsMaintenance);
    repaint();
    if (raised) ui::Application::handleException(raised);
  } else {
    showText("error loading optmenu" + QString::number(loaded.status().code()));
  }
  context_.setLaunchQualifier({});
  setGreeting(true);
}

void TLogoAppForm::HelpClick() {
  QString file = settings_.programDir() + "/Help";
  if (context_.language() != 1) file += languageCode_;
  ui::Application::setHelpFile(file);
  const os::Status s = os::Services::help().showContents(file);
  if (!s.ok()) showText(s.text(context_.language()));
}

}  // namespace shell
