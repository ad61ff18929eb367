#include "commands.h"
#include "dump_text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>

#include "pdx/check.h"
#include "pdx/dump_format.h"
#include "pdx/echo.h"
#include "pdx/unfinished.h"
#include "schema_text.h"

namespace pdxtool {

pdx::Result<TableArg> splitTableArg(const std::string& arg) {
  const size_t slash = arg.rfind('/');
  TableArg out;
  if (slash == std::string::npos) {
    out.dir = ".";
    out.name = arg;
  } else {
    out.dir = slash == 0 ? "/" : arg.substr(0, slash);
    out.name = arg.substr(slash + 1);
  }
  if (out.name.empty())
    return pdx::Status(pdx::code::kInvalidName, "\"" + arg + "\" names a directory, not a table");
  return out;
}

pdx::Result<std::shared_ptr<pdx::Directory>> openDirectoryOf(const TableArg& arg) {
  return pdx::Directory::open(arg.dir);
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string_view> splitCells(std::string_view line) {
  std::vector<std::string_view> cells;
  for (;;) {
    const size_t tab = line.find('\t');
    cells.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return cells;
    line = line.substr(tab + 1);
  }
}

pdx::Result<std::string> readTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return pdx::Status(pdx::code::kReadError, "cannot open " + path + ": " + std::strerror(errno));
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return pdx::Status(pdx::code::kReadError, "cannot read " + path);
  std::string text = std::move(s).str();
  // Editors on some systems start a UTF-8 file with a byte-order mark.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return text;
}

int finishOutput(std::ostream& out, std::ostream& err, const std::string& command, const std::string& what) {
  out.flush();
  if (!out) return fail(err, command, what, pdx::Status(pdx::code::kWriteError, "cannot write the output"));
  return 0;
}

void printLine(std::ostream& out, std::string_view line) { out << pdx::echoLine(line) << '\n'; }

int fail(std::ostream& err, const std::string& command, const std::string& what, const pdx::Status& status) {
  printLine(err, "pdxtool " + command + ": " + what + ": " + status.toString());
  return 1;
}

namespace {

std::string levelText(int level) {
  switch (level) {
    case 3: return "3.0";
    case 35: return "3.5";
    default: return std::to_string(level);
  }
}

// Opens the table of a TABLE argument; on failure reports it and returns null.
std::unique_ptr<pdx::Table> openOrReport(const std::string& command, const std::string& arg,
                                         pdx::Directory::Access access, std::ostream& err) {
  auto where = splitTableArg(arg);
  if (!where.ok()) {
    fail(err, command, arg, where.status());
    return nullptr;
  }
  auto dir = openDirectoryOf(*where);
  if (!dir.ok()) {
    fail(err, command, arg, dir.status());
    return nullptr;
  }
  auto table = (*dir)->openTable(where->name, access);
  if (!table.ok()) {
    fail(err, command, arg, table.status());
    return nullptr;
  }
  return std::move(table).value();
}


}  // namespace

int runInfo(const std::string& arg, std::ostream& out, std::ostream& err) {
  auto table = openOrReport("info", arg, pdx::Directory::Access::kReadOnly, err);
  if (!table) return 1;
  auto count = table->recordCount();
  if (!count.ok()) return fail(err, "info", table->path(), count.status());
  const pdx::Schema& s = table->schema();
  printLine(out, "table=" + table->path());
  out << "level=" << levelText(s.level) << '\n'
      << "keyed=" << (s.keyed() ? "yes" : "no") << '\n'
      << "records=" << *count << '\n'
      << "codepage=" << s.codePage << '\n'
      << "blocksize=" << s.blockSize << '\n'
      << "fields=" << s.fields.size() << '\n'
      << "key=" << s.keyFieldCount << '\n';
  for (const pdx::FieldDef& f : s.fields) printLine(out, fieldLine(f));
  return finishOutput(out, err, "info", table->path());
}

int runCreate(const std::string& arg, const std::string& schemaFile, std::ostream& out, std::ostream& err) {
  auto text = readTextFile(schemaFile);
  if (!text.ok()) return fail(err, "create", schemaFile, text.status());
  auto schema = parseSchemaText(*text);
  if (!schema.ok()) return fail(err, "create", schemaFile, schema.status());
  auto where = splitTableArg(arg);
  if (!where.ok()) return fail(err, "create", arg, where.status());
  auto dir = openDirectoryOf(*where);
  if (!dir.ok()) return fail(err, "create", arg, dir.status());
  pdx::Status st = (*dir)->createTable(where->name, schema->fields, schema->keyFieldCount);
  if (!st.ok()) return fail(err, "create", arg, st);
  return finishOutput(out, err, "create", arg);
}

int runDump(const std::string& arg, std::ostream& out, std::ostream& err) {
  auto table = openOrReport("dump", arg, pdx::Directory::Access::kReadOnly, err);
  if (!table) return 1;
  const std::vector<pdx::FieldDef>& fields = table->schema().fields;
  out << headerLine(fields);
  std::string line;

  int64_t row = 0;
  pdx::Status st = table->first();
  for (; st.ok(); st = table->next()) {
    ++row;
    line.clear();
    for (size_t i = 0; i < fields.size(); ++i) {
      auto v = table->get(static_cast<int>(i));
      if (!v.ok())
        return fail(err, "dump", table->path() + ": row " + std::to_string(row) + ", field \"" + fields[i].name + "\"",
                    v.status());
      if (i > 0) line += '\t';
      line += pdx::formatValue(fields[i], *v);
    }
    line += '\n';
    out << line;
    if (!out) break;
  }
  if (out && !st.is(pdx::code::kEof))
    return fail(err, "dump", table->path() + ": after row " + std::to_string(row), st);
  return finishOutput(out, err, "dump", table->path());
}

namespace {

std::string counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A fault line when a build of the folder (tallimoor-admin's) is unfinished:
// however sound each table, the folder does not hold all of them.
bool reportUnfinished(const std::string& dir, std::ostream& out) {
  auto build = pdx::findUnfinishedBuild(dir);
  if (!build.ok()) {
    printLine(out, dir + ": " + build.status().toString());
    return true;
  }
  if (!*build) return false;
  if ((*build)->running)
    printLine(out, dir + ": incomplete: " + (*build)->what + " is building this folder right now");
  else
    printLine(out, dir + ": incomplete: " + (*build)->what +
                       " was interrupted before it finished this folder; run that command again");
  return true;
}

// Checks every table of a directory. A commit that a dead process left half
// done is recovered first (opening the directory would do it silently; the
// administrator should know it happened), so that the tables are checked as
// every reader will see them.
int checkDirectory(const std::string& path, std::ostream& out, std::ostream& err) {
  auto recovered = pdx::recoverUnfinishedCommits(path);
  if (!recovered.ok()) return fail(err, "check", path, recovered.status());
  auto dir = pdx::Directory::open(path);
  if (!dir.ok()) return fail(err, "check", path, dir.status());
  const std::string& where = (*dir)->path();
  if (*recovered > 0) printLine(out, where + ": recovered " + counted(size_t(*recovered), "unfinished commit", "unfinished commits"));
  auto names = (*dir)->tableNames();
  if (!names.ok()) return fail(err, "check", where, names.status());
  bool sound = !reportUnfinished(where, out);
  for (const std::string& name : *names) {
    auto table = (*dir)->tablePath(name);
    // A table that cannot be examined at all is one fault; the others are
    // still checked.
    auto report = table.ok() ? pdx::checkTable(*table, (*dir)->env()) : pdx::Result<pdx::CheckReport>(table.status());
    if (!report.ok()) {
      printLine(out, (table.ok() ? *table : where + "/" + name) + ": " + report.status().toString());
      sound = false;
      continue;
    }
    for (const std::string& fault : report->faults) printLine(out, fault);
    sound = sound && report->ok();
  }
  if (sound) printLine(out, where + ": " + counted(names->size(), "table ok", "tables ok"));
  if (finishOutput(out, err, "check", where) != 0) return 1;
  return sound ? 0 : 1;
}

}  // namespace

int runCheck(const std::string& arg, std::ostream& out, std::ostream& err) {
  if (pdx::Env::standard()->isDirectory(arg)) return checkDirectory(arg, out, err);
  auto where = splitTableArg(arg);
  if (!where.ok()) return fail(err, "check", arg, where.status());
  auto dir = openDirectoryOf(*where);
  if (!dir.ok()) return fail(err, "check", arg, dir.status());
  auto path = (*dir)->tablePath(where->name);
  if (!path.ok()) return fail(err, "check", arg, path.status());
  auto report = pdx::checkTable(*path, (*dir)->env());
  if (!report.ok()) return fail(err, "check", *path, report.status());
  const bool unfinished = reportUnfinished((*dir)->path(), out);
  for (const std::string& fault : report->faults) printLine(out, fault);
  const bool sound = report->ok() && !unfinished;
  if (sound) printLine(out, *path + ": ok");
  if (finishOutput(out, err, "check", *path) != 0) return 1;
  return sound ? 0 : 1;
}

}  // namespace pdxtool
