// The module side of ShowDllForm, which every module library instantiates.
//
// A module's ShowDllForm is one line:
//
//   extern "C" int ShowDllForm(TLinkSection link) {
//     return shared::RunModule(link, [] { return std::make_unique<MyModule>(); });
//   }
//
// RunModule takes a counted copy of the record into the module-wide session
// context, creates the module's objects (data module first, then its window),
// loads the regional settings, gives every date field of the data module the
// date edit mask and display format, shows the main window modally, and
// destroys the objects whatever happens; it returns -1. An exception thrown
// inside the modal loop (or while creating the objects) reaches the caller
// after the clean-up.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "db/database.h"
#include "pdx/status.h"
#include "shared/link_section.h"

namespace db {
class DataSet;
}
namespace ui {
class ComponentOwner;
class StatusBar;
}  // namespace ui

namespace shared {

// What a module builds for one call.
class ModuleInstance {
 public:
  virtual ~ModuleInstance() = default;
  // The datasets of the data module (their date fields get the date format).
  virtual std::vector<db::DataSet*> dataSets() = 0;
  // The main window, shown modally.
  virtual QDialog& mainWindow() = 0;
  // After the regional settings, before the window shows (vd87 also formats
  // the date controls of its window here).
  virtual void prepare() {}
};

// The session context of this module: filled by RunModule, kept until the
// library is unloaded (the next call replaces it completely).
SessionContext& Context();

int RunModule(const TLinkSection& link, const std::function<std::unique_ptr<ModuleInstance>()>& create);

// The window start-up every module performs once its window is active:
// translation from table `moduleCode` + the language suffix, the status bar,
// the help file, the development fallback for an empty company code (company
// "1" and the built-in folders), and the database connection "path=" + the
// company directory. Stops at the first error and returns it.
pdx::Status StartModuleWindow(ui::ComponentOwner& window, ui::StatusBar* statusBar, const QString& moduleCode,
                              db::Database& database);

// The folders a module uses when it is started without the shell.
QString DevelopmentProgramDir();
QString DevelopmentDataDir();

}  // namespace shared
