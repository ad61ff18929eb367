// Form translation: a window's texts overwritten from a translation table.
//
// The forms are designed in English. A translation table (FormName,
// ControlName, Caption, Lines, Hint and six flags, keyed on FormName and
// ControlName) holds, for one deliverable and one language, the texts of the
// forms and components that differ. TranslateForm applies it to a form and
// every component the form owns, in creation order:
//
//   - the form's own row (ControlName = FormName) gives its caption;
//   - a component without a row keeps its texts;
//   - a row is applied by the first rule that matches: IsMemo (the whole
//     text := Lines; a report's memo too), IsDBGrid (column k's title := line k), IsRadioGroup
//     (caption, then item k := line k for the existing items), IsCombobox and
//     IsCheckList (the items := the lines), a menu entry (caption), a report
//     label (caption), the component "DBNavigator1" (its button hints := the
//     lines), any other control (caption := Caption; hint := Hint unless empty).
//
// The table is "<name>.db" in the languages folder, where <name> is the
// given name with its first "." removed ("MainMenu.fr" → MainMenufr.db).
#pragma once

#include <QString>

#include "pdx/status.h"
#include "ui/component.h"

namespace shared {

// The folder of the translation tables: "../languages" from the current
// directory, as installed beside the program folder.
QString languagesDirectory();
// The translation tables of the install whose program folder is
// `programDir`: <programDir>/../languages, whatever the current directory
// is. An empty `programDir` gives languagesDirectory().
QString languagesDirectoryOf(const QString& programDir);

// Translates `form` from table `tableName` of the languages folder.
//
// Errors: the table or folder missing, or a damaged table, fail before any
// text changes (the engine's code). A grid or radio-group row with fewer
// lines than the grid has columns or the group items fails at the first
// missing line (pdx::code::kInvalidParameter, "list index out of bounds"),
// keeping what was translated until then; so does a flag that names a kind
// the component is not.
pdx::Status TranslateForm(ui::ComponentOwner& form, const QString& tableName);
// The same with the tables of `directory`.
pdx::Status TranslateForm(ui::ComponentOwner& form, const QString& tableName, const QString& directory);

}  // namespace shared
