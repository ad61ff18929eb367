#include "translation_tables.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "data/table_def.h"
#include "rows.h"

namespace admin {

namespace fs = std::filesystem;

pdx::Result<std::vector<TranslationSource>> readTranslationSources(const std::string& srcDir) {
  std::error_code ec;
  if (!fs::is_directory(srcDir, ec)) return pdx::Status(pdx::code::kTableNotFound, "no such folder: " + srcDir);
  std::vector<TranslationSource> sources;
  for (fs::directory_iterator it(srcDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (it->path().extension() != ".txt") continue;
    std::string deliverable, lang;
    PDX_RETURN_IF_ERROR(parseSourceFileName(name, deliverable, lang));
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) return pdx::Status(pdx::code::kReadError, "cannot read " + it->path().string());
    sources.push_back({name, text.str()});
  }
  if (ec) return pdx::Status(pdx::code::kReadError, "cannot list " + srcDir + ": " + ec.message());
  std::sort(sources.begin(), sources.end(),
            [](const TranslationSource& a, const TranslationSource& b) { return a.fileName < b.fileName; });
  return sources;
}

pdx::Result<std::vector<TranslationTable>> parseTranslationSources(const std::vector<TranslationSource>& sources) {
  std::vector<TranslationTable> tables;
  std::set<std::string> names;
  for (const auto& source : sources) {
    PDX_ASSIGN_OR_RETURN(std::string name, tableNameOf(source));
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!names.insert(folded).second)
      return pdx::Status(pdx::code::kInvalidName, source.fileName + ": a second source of the table " + name);
    PDX_ASSIGN_OR_RETURN(auto rows, parseTranslationText(source.text, source.fileName));
    tables.push_back({std::move(name), std::move(rows)});
  }
  return tables;
}

std::vector<std::string> existingTranslationTables(const std::string& dir, const std::vector<TranslationTable>& tables) {
  std::vector<std::string> found;
  for (const auto& t : tables)
    if (tableFileExists(dir, t.name)) found.push_back(t.name);
  return found;
}

namespace {

Row toRow(const TranslationRow& r) {
  Row row{{"FormName", text(r.formName)}, {"ControlName", text(r.controlName)}};
  if (!r.caption.empty()) row.emplace_back("Caption", text(r.caption));
  if (!r.lines.empty()) row.emplace_back("Lines", text(r.linesMemo()));
  if (!r.hint.empty()) row.emplace_back("Hint", text(r.hint));
  row.emplace_back("IsForm", logical(r.isForm));
  row.emplace_back("IsMemo", logical(r.isMemo));
  row.emplace_back("IsDBGrid", logical(r.isDbGrid));
  row.emplace_back("IsRadioGroup", logical(r.isRadioGroup));
  row.emplace_back("IsCombobox", logical(r.isCombobox));
  row.emplace_back("IsCheckList", logical(r.isCheckList));
  return row;
}

std::string textOf(const pdx::Value& v) { return v.kind() == pdx::Value::Kind::kText ? v.asText() : std::string(); }
bool flagOf(const pdx::Value& v) { return v.kind() == pdx::Value::Kind::kLogical && v.asLogical(); }

}  // namespace

pdx::Status writeTranslationTables(const std::shared_ptr<pdx::Directory>& dest,
                                   const std::vector<TranslationTable>& tables, bool replace, UndoLog& undo) {
  const data::TableDef& layout = data::tables::formLangs();
  for (const auto& t : tables) {
    if (replace && dest->tableExists(t.name)) PDX_RETURN_IF_ERROR(dest->deleteTable(t.name));
    pdx::Status st = data::createTable(*dest, layout, t.name);
    if (!st.ok()) return pdx::Status(st.code(), t.name + ": " + st.message());
    undo.tableCreated(dest, t.name);
    PDX_ASSIGN_OR_RETURN(auto table, openForWriting(*dest, t.name));
    PDX_ASSIGN_OR_RETURN(auto group, dest->beginGroup());
    for (const auto& r : t.rows) PDX_RETURN_IF_ERROR(insertRow(*table, toRow(r)));
    PDX_RETURN_IF_ERROR(group->commit());
  }
  return pdx::Status::Ok();
}

pdx::Result<std::vector<TranslationRow>> readTranslationTable(pdx::Directory& dir, const std::string& name) {
  PDX_ASSIGN_OR_RETURN(auto table, dir.openTable(name, pdx::Directory::Access::kReadOnly));
  std::vector<TranslationRow> rows;
  pdx::Status st = table->first();
  while (st.ok() && table->hasRecord()) {
    TranslationRow r;
    PDX_ASSIGN_OR_RETURN(pdx::Value form, table->get("FormName"));
    PDX_ASSIGN_OR_RETURN(pdx::Value control, table->get("ControlName"));
    PDX_ASSIGN_OR_RETURN(pdx::Value caption, table->get("Caption"));
    PDX_ASSIGN_OR_RETURN(pdx::Value lines, table->get("Lines"));
    PDX_ASSIGN_OR_RETURN(pdx::Value hint, table->get("Hint"));
    r.formName = textOf(form);
    r.controlName = textOf(control);
    r.caption = textOf(caption);
    r.hint = textOf(hint);
    const std::string memo = textOf(lines);
    if (!memo.empty() || lines.kind() == pdx::Value::Kind::kText) {
      size_t start = 0;
      while (true) {
        const size_t end = memo.find("\r\n", start);
        r.lines.push_back(memo.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
      }
    }
    const char* flags[] = {"IsForm", "IsMemo", "IsDBGrid", "IsRadioGroup", "IsCombobox", "IsCheckList"};
    bool* targets[] = {&r.isForm, &r.isMemo, &r.isDbGrid, &r.isRadioGroup, &r.isCombobox, &r.isCheckList};
    for (size_t i = 0; i < std::size(flags); ++i) {
      PDX_ASSIGN_OR_RETURN(pdx::Value v, table->get(flags[i]));
      *targets[i] = flagOf(v);
    }
    rows.push_back(std::move(r));
    st = table->next();
  }
  if (!st.ok() && !st.is(pdx::code::kEof)) return st;
  return rows;
}

}  // namespace admin
