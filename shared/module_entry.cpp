#include "shared/module_entry.h"

#include <QDir>
#include <QFileInfo>

#include "os/file_version.h"
#include "shared/translate_form.h"
#include "shared/window_utils.h"
#include "ui/application.h"
#include "ui/component.h"
#include "ui/field_link.h"
#include "ui/form.h"

namespace shared {

SessionContext& Context() {
  static SessionContext context;
  return context;
}

int RunModule(const TLinkSection& link, const std::function<std::unique_ptr<ModuleInstance>()>& create) {
  Context().assign(link);
  ui::setControlsLanguage(Context().language());
  std::unique_ptr<ModuleInstance> module;
  try {
    module = create();
    LoadRegionalSettings();
    ApplyDateFormat(module->dataSets());
    module->prepare();
    ui::runModal(module->mainWindow());
  } catch (...) {
    module.reset();  // window and data module go before the error travels on
    throw;
  }
  module.reset();
  return -1;
}

namespace {

// Where this deliverable lies: the program folder holds the libraries, the
// data root lies beside it under the install prefix.
QString deliverableDir() {
  static const char anchor = 0;
  const QString file = os::modulePathContaining(&anchor);
  return file.isEmpty() ? QDir::currentPath() : QFileInfo(file).absolutePath();
}

}  // namespace

QString DevelopmentProgramDir() { return deliverableDir(); }

QString DevelopmentDataDir() { return QDir(deliverableDir() + "/../data").absolutePath(); }

pdx::Status StartModuleWindow(ui::ComponentOwner& window, ui::StatusBar* statusBar, const QString& moduleCode,
                              db::Database& database) {
  SessionContext& context = Context();
  // From the program folder the shell names: a program the shell started
  // may have left the process in another current directory.
  PDX_RETURN_IF_ERROR(
      TranslateForm(window, moduleCode + context.langSuffix(), languagesDirectoryOf(context.programDir())));
  if (statusBar) ShowContextInStatusBar(*statusBar, context);
  QString help = context.programDir() + "/Help";
  if (context.language() != 1) help += context.langSuffix().left(2);
  ui::Application::setHelpFile(help);
  if (context.companyCode().isEmpty()) {
    context.setCompanyCode("1");
    context.setProgramDir(DevelopmentProgramDir());
    context.setDataDir(DevelopmentDataDir());
  }
  database.params().clear();
  database.params().push_back(("path=" + context.companyDirectory()).toStdString());
  return database.connect();
}

}  // namespace shared
