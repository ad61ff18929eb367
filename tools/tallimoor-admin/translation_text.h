// The translation texts: one reviewable text file per deliverable and
// language, compiled into one translation table each.
//
// File name: <Deliverable>.<lang>.txt, e.g. vd87.fr.txt, compiled into the
// table <Deliverable><lang> (vd87fr.DB). The deliverable is letters, digits
// and underscores; the language is two lower-case letters.
//
// Contents: UTF-8 text, one item a line. Lines starting with '#' (after any
// blanks) and blank lines are ignored.
//
//   [FormName.ControlName] flags      starts the row of a component
//   [FormName] flags                  starts the form's own row
//                                     (ControlName = FormName, IsForm set)
//   caption |text|                    the row's Caption
//   hint |text|                       the row's Hint
//   |text|                            the next line of the row's Lines
//
// A text runs from the first '|' to the last '|' of its line, so that leading
// and trailing blanks show and survive editors; "||" is an empty text. Texts
// hold no tabs or other control characters. Flags are any of the words memo,
// grid, radiogroup, combobox and checklist, which set IsMemo, IsDBGrid,
// IsRadioGroup, IsCombobox and IsCheckList. Unset fields stay blank.
//
// Lines are stored as one memo with a carriage return and line feed between
// lines (none after the last), as multi-line texts are kept on the suite's
// platform of origin.
//
// Errors name the file and line. Sizes are checked against the table's
// fields: FormName 20 characters, ControlName 35, Caption 55, Hint 25.
//
// Example (a window's message list):
//
//   # Message list of the purchases window
//   [vd87_frm.IntlStrings1] memo
//   |Invoice number already in database.|
//   |Purchases current period is |
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"

namespace admin {

struct TranslationRow {
  std::string formName;
  std::string controlName;
  std::string caption;
  std::string hint;
  std::vector<std::string> lines;
  bool isForm = false;
  bool isMemo = false;
  bool isDbGrid = false;
  bool isRadioGroup = false;
  bool isCombobox = false;
  bool isCheckList = false;

  // The Lines memo as stored: the lines joined by "\r\n".
  std::string linesMemo() const;
  bool operator==(const TranslationRow&) const = default;
};

// One source file: its name says which table it makes.
struct TranslationSource {
  std::string fileName;  // "vd87.fr.txt"
  std::string text;
};

// Splits "vd87.fr.txt" into ("vd87", "fr"); kInvalidName otherwise.
pdx::Status parseSourceFileName(std::string_view fileName, std::string& deliverable, std::string& lang);

// The table a source file compiles into ("vd87fr").
pdx::Result<std::string> tableNameOf(const TranslationSource& source);

// Parses a file's contents. kInvalidValue with "file:line: what" on the first
// fault; a (FormName, ControlName) pair given twice is a fault.
pdx::Result<std::vector<TranslationRow>> parseTranslationText(std::string_view text, std::string_view fileName);

}  // namespace admin
