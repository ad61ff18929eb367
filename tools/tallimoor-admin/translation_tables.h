// Compiling the translation texts (translation_text.h) into translation
// tables with the FormLangs layout, and reading such tables back.
#pragma once

#include <string>
#include <vector>

#include "pdx/table.h"
#include "translation_text.h"
#include "undo_log.h"

namespace admin {

// The texts built into this program from the languages folder of its source.
const std::vector<TranslationSource>& builtInTranslationSources();

// Every *.txt file of a folder; a .txt file not named <Deliverable>.<lang>.txt
// is an error (other files are ignored).
pdx::Result<std::vector<TranslationSource>> readTranslationSources(const std::string& srcDir);

struct TranslationTable {
  std::string name;  // "vd87fr"
  std::vector<TranslationRow> rows;
};

// Parses every source; fails on the first fault, or when two sources make the
// same table.
pdx::Result<std::vector<TranslationTable>> parseTranslationSources(const std::vector<TranslationSource>& sources);

// Names of the tables that already lie in `dir` (which may not exist).
std::vector<std::string> existingTranslationTables(const std::string& dir, const std::vector<TranslationTable>& tables);

// Creates each table in `dest` and fills it, all rows of a table in one write
// group. With `replace`, a table of the same name is deleted first; without
// it, one is a kTableExists error. Tables created are recorded in `undo`.
pdx::Status writeTranslationTables(const std::shared_ptr<pdx::Directory>& dest,
                                   const std::vector<TranslationTable>& tables, bool replace, UndoLog& undo);

// The rows of a translation table, in key order.
pdx::Result<std::vector<TranslationRow>> readTranslationTable(pdx::Directory& dir, const std::string& name);

}  // namespace admin
