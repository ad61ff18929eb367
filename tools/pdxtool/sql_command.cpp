#include "sql_command.h"

#include "dump_text.h"

#include <ostream>
#include <set>

#include "pdx/echo.h"

#include "pdx/dump_format.h"
#include "pdx/table.h"
#include "sql/query.h"

namespace pdxtool {
namespace {

constexpr const char* kUsage = "usage: pdxtool sql DIR \"QUERY\" [--param name=value ...]";

std::string toLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

int report(std::ostream& err, const std::string& what, const pdx::Status& status) {
  err << pdx::echoLine("pdxtool sql: " + what + ": " + status.toString()) << '\n';
  return 1;
}

int usage(std::ostream& err, const std::string& why) {
  err << pdx::echoLine("pdxtool sql: " + why) << '\n' << kUsage << '\n';
  return 1;
}

}  // namespace

int runSqlCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) return usage(err, "a directory and a query are needed");
  const std::string& dirPath = args[0];

  auto query = sql::Query::prepare(args[1]);
  if (!query.ok()) return report(err, "query", query.status());

  std::set<std::string> bound;
  for (size_t i = 2; i < args.size(); ++i) {
    std::string param;
    if (args[i] == "--param") {
      if (i + 1 == args.size()) return usage(err, "--param needs name=value");
      param = args[++i];
    } else if (args[i].rfind("--param=", 0) == 0) {
      param = args[i].substr(8);
    } else {
      return usage(err, "unexpected argument " + pdx::quote(args[i]));
    }
    const size_t eq = param.find('=');
    if (eq == std::string::npos || eq == 0) return usage(err, "--param needs name=value, not " + pdx::quote(param));
    // A second value for one parameter is a slip, not a choice to guess.
    const std::string name = param.substr(0, eq);
    if (!bound.insert(toLower(name[0] == ':' ? name.substr(1) : name)).second)
      return usage(err, "the parameter " + pdx::quote(param.substr(0, eq)) + " is given twice");
    const std::string value = param.substr(eq + 1);
    pdx::Status st = query->bind(param.substr(0, eq), value.empty() ? pdx::Value() : pdx::Value::text(value));
    if (!st.ok()) return report(err, "query", st);
  }

  auto dir = pdx::Directory::open(dirPath);
  if (!dir.ok()) return report(err, dirPath, dir.status());
  auto rows = query->execute(**dir);
  if (!rows.ok()) return report(err, dirPath, rows.status());

  sql::RowSet& r = **rows;
  const std::vector<pdx::FieldDef>& fields = r.fields();
  out << headerLine(fields);
  std::string line;
  for (pdx::Status st = r.first(); st.ok() && out; st = r.next()) {
    line.clear();
    for (size_t i = 0; i < fields.size(); ++i) {
      auto v = r.get(static_cast<int>(i));
      if (!v.ok()) return report(err, r.tablePath(), v.status());
      if (i > 0) line += '\t';
      line += pdx::formatValue(fields[i], *v);
    }
    line += '\n';
    out << line;
  }
  out.flush();
  if (!out) return report(err, dirPath, pdx::Status(pdx::code::kWriteError, "cannot write the output"));
  return 0;
}

}  // namespace pdxtool
