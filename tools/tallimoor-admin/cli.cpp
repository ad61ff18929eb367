#include "cli.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <map>
#include <ostream>

#include "company.h"
#include "data/codes.h"
#include "data_root.h"
#include "demo.h"
#include "interrupted.h"
#include "pdx/echo.h"
#include "translation_tables.h"

namespace admin {

namespace {

constexpr const char* kHelp = R"(usage: tallimoor-admin COMMAND ARGUMENTS

Commands:
  init DATAROOT [--sessions N] [--password PW] [--languages DIR]
      a new data root: the system tables, N session slots (default 8), the
      languages English and French with their translation tables, payment
      terms, and a first user who may run everything (password PW, default
      ADMIN). The translation tables go to DIR, by default the folder
      "languages" beside the data root.
  create-company DATAROOT CODE NAME [--lang en|fr] [--password PW] [--today YYYY-MM-DD]
      a company numbered CODE: its row in comp and its directory (DATAROOT
      immediately followed by CODE) with every ledger table, a control record,
      period names and a starter chart of accounts in the language given
      (default en). PW is the company password (default none).
  demo DATAROOT [--today YYYY-MM-DD] [--seed N] [--sessions N] [--languages DIR]
      init, then two companies with two years of bilingual books ending at
      the date given (default: today) and several users; prints the users'
      passwords. The same date and seed give the same data.
  scale DATAROOT --clients N --suppliers N --items N [--today YYYY-MM-DD] [--seed N]
      init, then one company with N clients, N suppliers and about N open
      items in each ledger, for benchmarks.
  build-languages SRCDIR DESTDIR [--replace]
      compiles every <Deliverable>.<lang>.txt of SRCDIR into the translation
      table <Deliverable><lang> in DESTDIR. With --replace, tables already
      there are rebuilt.
  --help
      this text

Every command refuses, without touching anything, when its target already
holds what it would write. A command that is interrupted (Ctrl-C, a kill, a
power cut) leaves the folders it was building marked incomplete (the file
tallimoor-unfinished in each): the shell does not open such a data root,
pdxtool check reports it, and the same command run again removes what was
left before it builds. Passwords, user and company names hold no tabs, line
breaks or other control characters. Exit status: 0 done; 1 failed (what it
had made is removed), or done but its report could not be written; 2 wrong
command line; 3 refused.
)";

void printLine(std::ostream& out, std::string_view line) { out << pdx::echoLine(line) << '\n'; }

struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--sessions" -> "4"; flags -> ""
};

// Splits the arguments; `valued` names the options that take a value.
bool splitArgs(const std::vector<std::string>& args, const std::vector<std::string>& valued,
               const std::vector<std::string>& flags, Args& out, std::string& error) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      out.positional.push_back(a);
      continue;
    }
    if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
      out.options[a] = "";
      continue;
    }
    if (std::find(valued.begin(), valued.end(), a) == valued.end()) {
      error = "unknown option " + pdx::quote(a);
      return false;
    }
    if (i + 1 >= args.size()) {
      error = a + " needs a value";
      return false;
    }
    out.options[a] = args[++i];
  }
  return true;
}

std::optional<int64_t> parseNumber(const std::string& s) {
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

class Command {
 public:
  Command(std::string name, std::ostream& out, std::ostream& err) : name_(std::move(name)), out_(out), err_(err) {}

  int usage(const std::string& what) {
    printLine(err_, "tallimoor-admin " + name_ + ": " + what + " (tallimoor-admin --help)");
    return kExitUsage;
  }
  // Runs a command that builds with `undo`: on success its folders lose
  // their markers; on failure what it made is removed, and the message says
  // whatever could not be.
  int build(UndoLog& undo, pdx::Status st) {
    if (st.ok()) st = undo.keep();
    return finish(st, st.ok() ? std::vector<std::string>() : undo.undo());
  }
  int finish(const pdx::Status& st, const std::vector<std::string>& remains = {}) {
    if (st.ok()) return kExitOk;
    const bool refused = st.is(pdx::code::kTableExists) || st.is(pdx::code::kInvalidParameter);
    std::string line = "tallimoor-admin " + name_ + ": " + (refused ? "refused: " : "failed: ") + st.message();
    if (refused) {
      line += "; nothing was changed";
    } else {
      line += " (code " + std::to_string(st.code()) + ")";
      if (remains.empty()) {
        line += "; nothing was left behind";
      } else {
        line += "; what it made was removed but for: ";
        for (size_t i = 0; i < remains.size(); ++i) line += (i ? "; " : "") + remains[i];
      }
    }
    printLine(err_, line);
    if (st.is(pdx::code::kTableExists)) return kExitRefused;
    return refused ? kExitUsage : kExitFailed;
  }
  // A marker's words: "tallimoor-admin demo /srv/data, started 2024-03-31
  // 14:02:11 by process 4242".
  std::string purpose(const std::string& target) const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    return "tallimoor-admin " + name_ + " " + target + ", started " + when + " by process " + std::to_string(::getpid());
  }
  // Reads --name as a number in [lo, hi] into `value`; false (after a usage
  // message) when it is given but wrong.
  bool number(const Args& a, const std::string& option, int64_t lo, int64_t hi, int64_t& value) {
    auto it = a.options.find(option);
    if (it == a.options.end()) return true;
    const auto v = parseNumber(it->second);
    if (!v || *v < lo || *v > hi) {
      usage(option + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi));
      return false;
    }
    value = *v;
    return true;
  }
  bool today(const Args& a, pdx::Date& value) {
    auto it = a.options.find("--today");
    if (it == a.options.end()) {
      value = todayLocal();
      return true;
    }
    const auto d = parseIsoDate(it->second);
    if (!d) {
      usage("--today takes a date written YYYY-MM-DD");
      return false;
    }
    value = *d;
    return true;
  }

  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }

 private:
  std::string name_;
  std::ostream& out_;
  std::ostream& err_;
};

int runInit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, pdx::Env* env) {
  Command cmd("init", out, err);
  Args a;
  std::string error;
  if (!splitArgs(args, {"--sessions", "--password", "--languages"}, {}, a, error)) return cmd.usage(error);
  if (a.positional.size() != 1) return cmd.usage("give the data root");
  InitOptions options;
  options.dataRoot = a.positional[0];
  options.env = env;
  int64_t sessions = kDefaultSessions;
  if (!cmd.number(a, "--sessions", 1, kMaxSessions, sessions)) return kExitUsage;
  options.sessions = static_cast<int>(sessions);
  if (auto it = a.options.find("--password"); it != a.options.end()) options.firstUser.password = it->second;
  if (auto it = a.options.find("--languages"); it != a.options.end()) options.languagesDir = it->second;
  UndoLog undo(cmd.purpose(options.dataRoot));
  const int rc = cmd.build(undo, initDataRoot(options, out, undo));
  if (rc == kExitOk)
    out << "first user: password " << storedPassword(options.firstUser.password) << " (user "
        << options.firstUser.code << "), who may run everything\n";
  return rc;
}

int runCreateCompany(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, pdx::Env* env) {
  Command cmd("create-company", out, err);
  Args a;
  std::string error;
  if (!splitArgs(args, {"--lang", "--password", "--today"}, {}, a, error)) return cmd.usage(error);
  if (a.positional.size() != 3) return cmd.usage("give the data root, the company number and its name");
  CompanyOptions options;
  options.dataRoot = a.positional[0];
  options.env = env;
  const auto code = parseNumber(a.positional[1]);
  if (!code || *code < 1 || *code > 2'147'483'647) return cmd.usage("the company number is a whole number from 1");
  options.code = static_cast<int>(*code);
  options.name = a.positional[2];
  if (auto it = a.options.find("--lang"); it != a.options.end()) {
    if (it->second == "fr") options.language = data::kFrench;
    else if (it->second == "en") options.language = data::kEnglish;
    else return cmd.usage("--lang is en or fr");
  }
  if (auto it = a.options.find("--password"); it != a.options.end()) options.password = it->second;
  if (!cmd.today(a, options.today)) return kExitUsage;
  UndoLog undo(cmd.purpose(data::companyDirectory(options.dataRoot, options.code)));
  return cmd.build(undo, createCompany(options, out, undo));
}

int runDemo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, pdx::Env* env) {
  Command cmd("demo", out, err);
  Args a;
  std::string error;
  if (!splitArgs(args, {"--today", "--seed", "--sessions", "--languages"}, {}, a, error)) return cmd.usage(error);
  if (a.positional.size() != 1) return cmd.usage("give the data root");
  DemoOptions options;
  options.dataRoot = a.positional[0];
  options.env = env;
  int64_t seed = 1, sessions = kDefaultSessions;
  if (!cmd.number(a, "--seed", 0, 4'294'967'295, seed) || !cmd.number(a, "--sessions", 1, kMaxSessions, sessions) ||
      !cmd.today(a, options.today))
    return kExitUsage;
  options.seed = static_cast<uint32_t>(seed);
  options.sessions = static_cast<int>(sessions);
  if (auto it = a.options.find("--languages"); it != a.options.end()) options.languagesDir = it->second;
  DemoSummary summary;
  UndoLog undo(cmd.purpose(options.dataRoot));
  const int rc = cmd.build(undo, buildDemo(options, summary, out, undo));
  if (rc == kExitOk) printDemoSummary(summary, out);
  return rc;
}

int runScale(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, pdx::Env* env) {
  Command cmd("scale", out, err);
  Args a;
  std::string error;
  if (!splitArgs(args, {"--clients", "--suppliers", "--items", "--today", "--seed", "--sessions", "--languages"}, {}, a,
                 error))
    return cmd.usage(error);
  if (a.positional.size() != 1) return cmd.usage("give the data root");
  for (const char* required : {"--clients", "--suppliers", "--items"})
    if (!a.options.count(required)) return cmd.usage(std::string(required) + " is required");
  ScaleOptions options;
  options.dataRoot = a.positional[0];
  options.env = env;
  int64_t clients = 0, suppliers = 0, seed = 1, sessions = kDefaultSessions;
  if (!cmd.number(a, "--clients", 1, 9'999'999, clients) || !cmd.number(a, "--suppliers", 1, 9'999'999, suppliers) ||
      !cmd.number(a, "--items", 0, 100'000'000, options.items) || !cmd.number(a, "--seed", 0, 4'294'967'295, seed) ||
      !cmd.number(a, "--sessions", 1, kMaxSessions, sessions) || !cmd.today(a, options.today))
    return kExitUsage;
  options.clients = static_cast<int>(clients);
  options.suppliers = static_cast<int>(suppliers);
  options.seed = static_cast<uint32_t>(seed);
  options.sessions = static_cast<int>(sessions);
  if (auto it = a.options.find("--languages"); it != a.options.end()) options.languagesDir = it->second;
  LedgerCounts counts;
  UndoLog undo(cmd.purpose(options.dataRoot));
  return cmd.build(undo, buildScale(options, counts, out, undo));
}

int runBuildLanguages(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, pdx::Env* env) {
  Command cmd("build-languages", out, err);
  Args a;
  std::string error;
  if (!splitArgs(args, {}, {"--replace"}, a, error)) return cmd.usage(error);
  if (a.positional.size() != 2) return cmd.usage("give the source folder and the destination folder");
  const bool replace = a.options.count("--replace") > 0;
  auto sources = readTranslationSources(a.positional[0]);
  if (!sources.ok()) return cmd.finish(pdx::Status(pdx::code::kInvalidParameter, sources.status().message()));
  if (sources->empty()) return cmd.finish(pdx::Status(pdx::code::kInvalidParameter, "no translation texts in " + a.positional[0]));
  auto tables = parseTranslationSources(*sources);
  if (!tables.ok()) return cmd.finish(pdx::Status(pdx::code::kInvalidParameter, tables.status().message()));
  BuildFolder folder{a.positional[1], {}};
  for (const auto& t : *tables) folder.tables.push_back(t.name);
  if (pdx::Status st = clearInterruptedBuilds({folder}, env, out); !st.ok()) return cmd.finish(st);
  if (!replace) {
    const auto existing = existingTranslationTables(a.positional[1], *tables);
    if (!existing.empty()) {
      std::string list;
      for (const auto& n : existing) list += (list.empty() ? "" : ", ") + n;
      return cmd.finish(pdx::Status(pdx::code::kTableExists,
                                    a.positional[1] + " already holds " + list + " (--replace rebuilds them)"));
    }
  }
  UndoLog undo(cmd.purpose(a.positional[1]));
  pdx::Status st = undo.beginFolder(a.positional[1], env);
  if (st.ok()) {
    auto dest = pdx::Directory::open(a.positional[1], env);
    st = dest.ok() ? writeTranslationTables(*dest, *tables, replace, undo) : dest.status();
  }
  const int rc = cmd.build(undo, st);
  if (rc == kExitOk)
    for (const auto& t : *tables) out << t.name << ": " << t.rows.size() << " rows\n";
  return rc;
}

}  // namespace

std::optional<pdx::Date> parseIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  auto part = [&](size_t at, size_t len) -> std::optional<int> {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + len, v);
    if (ec != std::errc() || end != text.data() + at + len) return std::nullopt;
    return v;
  };
  const auto y = part(0, 4), m = part(5, 2), d = part(8, 2);
  if (!y || !m || !d) return std::nullopt;
  return pdx::Date::fromYmd(*y, *m, *d);
}

pdx::Date todayLocal() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return pdx::Date::fromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday).value_or(pdx::Date{});
}

int runAdmin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, pdx::Env* env) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    (args.empty() ? err : out) << kHelp;
    return args.empty() ? kExitUsage : kExitOk;
  }
  const std::string& command = args[0];
  int rc = kExitUsage;
  if (command == "init") rc = runInit(args, out, err, env);
  else if (command == "create-company") rc = runCreateCompany(args, out, err, env);
  else if (command == "demo") rc = runDemo(args, out, err, env);
  else if (command == "scale") rc = runScale(args, out, err, env);
  else if (command == "build-languages") rc = runBuildLanguages(args, out, err, env);
  else printLine(err, "tallimoor-admin: unknown command " + pdx::quote(command) + " (tallimoor-admin --help)");
  // What the command printed may be all someone has of it (the users'
  // passwords): output that could not be written is a failure.
  out.flush();
  if (!out) {
    printLine(err, "tallimoor-admin " + command + ": " + (rc == kExitOk ? "done, but " : "") +
                       "its report could not be written to the standard output");
    return rc == kExitOk ? kExitFailed : rc;
  }
  return rc;
}

}  // namespace admin
