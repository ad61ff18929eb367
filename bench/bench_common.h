// What the benchmark tools share: reading their arguments, their working
// folder, and the SQLite plumbing of the reference side.
#pragma once

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <stdlib.h>

namespace bench {

// Reads a tool's arguments one after another; every complaint starts with
// the tool's name and goes to the standard error.
class Arguments {
 public:
  Arguments(const char* tool, int argc, char** argv) : tool_(tool), argc_(argc), argv_(argv) {}

  // Moves to the next argument; false after the last.
  bool next() { return ++i_ < argc_; }
  std::string_view current() const { return argv_[i_]; }
  // The value that follows the current option, or null.
  const char* value() { return i_ + 1 < argc_ ? argv_[++i_] : nullptr; }

  // The value of the current option as a whole number from low to high.
  bool count(int64_t low, int64_t high, int64_t& to) {
    const std::string option(current());
    const char* v = value();
    char* end = nullptr;
    errno = 0;
    const long long n = v ? std::strtoll(v, &end, 10) : 0;
    if (!v || *end != '\0' || errno != 0 || n < low || n > high) {
      std::fprintf(stderr, "%s: %s needs a number from %" PRId64 " to %" PRId64 "\n", tool_, option.c_str(), low, high);
      return false;
    }
    to = n;
    return true;
  }

  // The value of the current option as a folder name (not empty).
  bool folder(std::string& to) {
    const std::string option(current());
    const char* v = value();
    if (!v || !*v) {
      std::fprintf(stderr, "%s: %s needs a folder\n", tool_, option.c_str());
      return false;
    }
    to = v;
    return true;
  }

  // "engine", "sqlite" or "both": the sides to run.
  bool side(bool& engine, bool& sqlite) {
    const char* v = value();
    const std::string_view s = v ? v : "";
    if (s != "engine" && s != "sqlite" && s != "both") {
      std::fprintf(stderr, "%s: --side takes engine, sqlite or both\n", tool_);
      return false;
    }
    engine = s != "sqlite";
    sqlite = s != "engine";
    return true;
  }

  // A comma-separated list of workloads among `names`; selects each one.
  template <size_t N>
  bool workloads(const char* const (&names)[N], bool (&selected)[N]) {
    const char* v = value();
    if (!v) {
      std::fprintf(stderr, "%s: --only needs workload names\n", tool_);
      return false;
    }
    std::string_view rest = v;
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      const std::string_view name = rest.substr(0, comma);
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      bool known = false;
      for (size_t w = 0; w < N; ++w)
        if (name == names[w]) selected[w] = known = true;
      if (!known) {
        std::fprintf(stderr, "%s: no workload called \"%.*s\"\n", tool_, static_cast<int>(name.size()), name.data());
        return false;
      }
    }
    return true;
  }

 private:
  const char* tool_;
  int argc_;
  char** argv_;
  int i_ = 0;
};

// Seconds from `start` to now.
inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// 1234567 as "1,234,567".
inline std::string withThousands(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

// The folder a run works in: `base` when given (made when missing), else a
// new one under /tmp named after the tool, and then `temporary` is set.
inline bool workFolder(const char* tool, std::string& base, bool& temporary) {
  temporary = base.empty();
  if (temporary) {
    std::string pattern = std::string("/tmp/") + tool + ".XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      std::fprintf(stderr, "%s: cannot make a folder under /tmp: %s\n", tool, std::strerror(errno));
      return false;
    }
    base = pattern;
    return true;
  }
  std::error_code ec;
  if (!std::filesystem::create_directories(base, ec) && !std::filesystem::is_directory(base, ec)) {
    std::fprintf(stderr, "%s: cannot make %s\n", tool, base.c_str());
    return false;
  }
  return true;
}

// ------------------------------------------------------------------ SQLite

struct Finalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

// Errors of the SQLite side are texts; empty means none.
inline std::string sqliteFailure(sqlite3* db, const std::string& what) {
  return "sqlite: " + what + ": " + sqlite3_errmsg(db);
}

inline std::string sqliteExec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
  std::string e = "sqlite: " + sql + ": " + (message ? message : "failed");
  sqlite3_free(message);
  return e;
}

// Prepares a statement that runs many times.
inline std::string sqlitePrepare(sqlite3* db, const std::string& sql, Statement& out) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
    return sqliteFailure(db, "prepare " + sql);
  out.reset(s);
  return {};
}

}  // namespace bench
