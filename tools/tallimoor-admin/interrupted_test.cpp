// Commands cut short: killed at several steps, interrupted from the keyboard,
// failing half-way, their report lost to a full disk. What they leave never
// looks usable, and the next run either works or says what to remove.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "admin_test_util.h"
#include "cli.h"
#include "fault_env.h"
#include "pdx/echo.h"
#include "pdx/unfinished.h"
#include "test_util.h"

#ifndef TALLIMOOR_ADMIN_PATH
#error "TALLIMOOR_ADMIN_PATH must name the built tallimoor-admin"
#endif

namespace admin {
namespace {

namespace fs = std::filesystem;
using pdx::testing::FaultEnv;
using pdx::testing::TempDir;

struct ToolRun {
  int code = -1;
  std::string out, err;
};

ToolRun runInProcess(const std::vector<std::string>& args, pdx::Env* env = pdx::Env::unsynced()) {
  std::ostringstream out, err;
  const int code = runAdmin(args, out, err, env);
  return {code, out.str(), err.str()};
}

// A command and the folders it fills, for a data root at `root` (the
// languages folder beside it, companies 1 and 2 after it).
struct Command {
  const char* name;
  std::vector<std::string> (*args)(const std::string& root);
};
std::vector<std::string> foldersOf(const std::string& root) {
  const std::string parent = fs::path(root).parent_path().string();
  return {root, parent + "/languages", root + "1", root + "2"};
}

const Command kCommands[] = {
    {"init", [](const std::string& root) { return std::vector<std::string>{"init", root, "--sessions", "3"}; }},
    {"create-company",
     [](const std::string& root) {
       return std::vector<std::string>{"create-company", root, "1", "Ébénisterie Test", "--today", "2026-06-15"};
     }},
    {"demo", [](const std::string& root) { return std::vector<std::string>{"demo", root, "--today", "2026-06-15"}; }},
    {"scale",
     [](const std::string& root) {
       return std::vector<std::string>{"scale",   root, "--clients", "40", "--suppliers", "40", "--items", "60",
                                       "--today", "2026-06-15"};
     }},
};

// Every table of every folder of a data root, row by row.
using Books = std::map<std::string, std::vector<testing::Record>>;
Books booksOf(const std::string& root) {
  Books books;
  for (const std::string& folder : foldersOf(root)) {
    if (!fs::exists(folder)) continue;
    auto dir = pdx::Directory::open(folder, pdx::Env::unsynced());
    if (!dir.ok()) continue;
    auto names = (*dir)->tableNames();
    for (const std::string& name : names.ok() ? *names : std::vector<std::string>())
      books[fs::path(folder).filename().string() + "/" + name] = testing::readAll(**dir, name);
  }
  return books;
}

// The data root the commands other than init build on.
void prepare(const Command& c, const std::string& root) {
  if (std::string(c.name) == "create-company")
    ASSERT_EQ(runInProcess({"init", root, "--sessions", "3"}).code, kExitOk);
}

// Runs the command in a child process that kills itself (SIGKILL) right
// after its n-th write, creation, sync or removal; true when it died so.
bool killedAfter(const std::vector<std::string>& args, int n) {
  const pid_t child = pdx::testing::spawn([&] {
    FaultEnv env(pdx::Env::unsynced());
    env.setTracking(false);
    env.killAfter(n);
    std::ostringstream out, err;
    return runAdmin(args, out, err, &env);
  });
  int status = 0;
  waitpid(child, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Killed at steps from its first to its last, each command leaves either a
// data root marked incomplete (which the shell and pdxtool check refuse) or
// books that are whole; run again, it clears what the killed run left and
// makes the same books as a run never interrupted.
TEST(Interrupted, AKilledCommandLeavesNothingUsableAndTheRerunWorks) {
  for (const Command& c : kCommands) {
    SCOPED_TRACE(c.name);
    TempDir reference;
    const std::string refRoot = reference.path() + "/Tallimoor/data";
    ASSERT_NO_FATAL_FAILURE(prepare(c, refRoot));
    FaultEnv counting(pdx::Env::unsynced());
    counting.setTracking(false);
    ASSERT_EQ(runInProcess(c.args(refRoot), &counting).code, kExitOk);
    const int steps = counting.operations();
    const Books whole = booksOf(refRoot);
    // The marked folder: the data root, but for create-company the company.
    const bool company = std::string(c.name) == "create-company";

    // The first step, one in the middle of the tables, one while the marks
    // go; the long commands fill their companies the same way, so the middle
    // and the end are enough of them.
    const bool longOne = std::string(c.name) == "demo" || std::string(c.name) == "scale";
    std::vector<int> moments = {steps / 2, steps - 3};
    if (!longOne) moments = {1, steps / 3, 2 * steps / 3, steps - 3, steps - 1};
    for (int n : moments) {
      SCOPED_TRACE("killed after step " + std::to_string(n) + " of " + std::to_string(steps));
      TempDir tmp;
      const std::string root = tmp.path() + "/Tallimoor/data";
      ASSERT_NO_FATAL_FAILURE(prepare(c, root));
      ASSERT_TRUE(killedAfter(c.args(root), n));

      const std::string first = company ? root + "1" : root;
      auto marked = pdx::findUnfinishedBuild(first, pdx::Env::unsynced());
      ASSERT_TRUE(marked.ok());
      const bool wholeAlready = booksOf(root) == whole;
      if (*marked) EXPECT_FALSE((*marked)->running);
      else EXPECT_TRUE(wholeAlready) << "books without a mark, but not whole";
      for (const std::string& folder : foldersOf(root)) {
        if (company && folder != first) continue;  // the data root was there before
        if (*marked && fs::exists(folder) && !fs::is_empty(folder))
          EXPECT_TRUE(*pdx::findUnfinishedBuild(folder, pdx::Env::unsynced())) << folder << " is not marked";
      }

      // A company listed in comp is whole and kept; anything else marked is
      // built again.
      ToolRun again = runInProcess(c.args(root));
      if (*marked && !(company && wholeAlready)) {
        EXPECT_EQ(again.code, kExitOk) << again.err;
        EXPECT_NE(again.out.find("interrupted"), std::string::npos) << again.out;
      } else {
        EXPECT_EQ(again.code, kExitRefused) << again.err;
      }
      EXPECT_EQ(booksOf(root), whole);
      for (const std::string& folder : foldersOf(root))
        EXPECT_FALSE(*pdx::findUnfinishedBuild(folder, pdx::Env::unsynced())) << folder << " is still marked";
    }
  }
}

// A create-company killed after it listed the company (its last step) but
// before its mark went: the company is whole, the rerun unmarks it and
// says it exists.
TEST(Interrupted, ACompanyListedBeforeTheKillIsKept) {
  TempDir tmp;
  const std::string root = tmp.path() + "/data";
  ASSERT_EQ(runInProcess({"init", root}).code, kExitOk);
  const std::vector<std::string> args = {"create-company", root, "4", "Harbour Ltd", "--today", "2026-06-15"};
  ASSERT_EQ(runInProcess(args).code, kExitOk);
  const Books whole = booksOf(root);
  { auto mark = pdx::BuildMarker::place(root + "4", "tallimoor-admin create-company", pdx::Env::unsynced()); }
  ToolRun again = runInProcess(args);
  EXPECT_EQ(again.code, kExitRefused) << again.err;
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
  EXPECT_FALSE(*pdx::findUnfinishedBuild(root + "4", pdx::Env::unsynced()));
  EXPECT_TRUE(fs::exists(root + "4/ctrl.DB"));
}

ToolRun spawnTool(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
                  const std::function<void(pid_t)>& whileRunning = {}) {
  const auto r = pdx::testing::runProgram(TALLIMOOR_ADMIN_PATH, args, outPath, errPath, whileRunning);
  return {r.exitCode, r.out, r.err};
}

// Waits until `path` exists (at most ten seconds).
bool appears(const std::string& path) {
  for (int i = 0; i < 10'000; ++i) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// Ctrl-C and SIGTERM stop the tool as a kill would, and it says how to go
// on; the folders it was building stay marked.
TEST(Interrupted, CtrlCAndTerminateStopTheToolAndSaySo) {
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig == SIGINT ? "SIGINT" : "SIGTERM");
    TempDir tmp;
    const std::string root = tmp.path() + "/Tallimoor/data";
    ToolRun r = spawnTool({"demo", root, "--today", "2026-06-15"}, tmp.file("out.txt"), tmp.file("err.txt"),
                          [&](pid_t pid) {
                            EXPECT_TRUE(appears(root + "1/" + pdx::kUnfinishedMarker));
                            kill(pid, sig);
                          });
    EXPECT_EQ(r.code, 128 + sig) << r.err;
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    auto marked = pdx::findUnfinishedBuild(root);
    ASSERT_TRUE(marked.ok());
    EXPECT_TRUE(*marked);
    EXPECT_EQ(runInProcess({"demo", root, "--today", "2026-06-15"}).code, kExitOk);
  }
}

// The printed report is what the administrator keeps of the passwords: when
// it cannot be written the tool fails, though the data root is made.
TEST(Interrupted, AReportLostToAFullDiskFailsTheCommand) {
  TempDir tmp;
  const std::string root = tmp.path() + "/data";
  ToolRun r = spawnTool({"init", root}, "/dev/full", tmp.file("err.txt"));
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("report could not be written"), std::string::npos) << r.err;
  EXPECT_FALSE(*pdx::findUnfinishedBuild(root));
  EXPECT_EQ(testing::readAll(root, "user").size(), 1u);
}

// A failure half-way in folders that were there before takes away what the
// command made there, the engine's lock and log files included, and only
// then says that nothing was left behind.
TEST(Interrupted, AFailureHalfWayLeavesFoldersThatWereThereAsTheyWere) {
  TempDir tmp;
  const std::string root = tmp.path() + "/data";
  fs::create_directories(root + "/user.DB.new");  // stands where init writes the table user
  fs::create_directories(root + "1/glm.DB.new");
  pdx::testing::writeFile(root + "1/notes.txt", "the administrator's own notes");
  const auto before = testing::snapshot(tmp.path());
  ToolRun r = runInProcess({"init", root});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("nothing was left behind"), std::string::npos) << r.err;
  EXPECT_EQ(testing::snapshot(tmp.path()), before);

  fs::remove(root + "/user.DB.new");
  ASSERT_EQ(runInProcess({"init", root}).code, kExitOk);
  const auto before2 = testing::snapshot(root + "1");
  r = runInProcess({"create-company", root, "1", "Test"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("nothing was left behind"), std::string::npos) << r.err;
  EXPECT_EQ(testing::snapshot(root + "1"), before2);
}

// Passwords and names must be typed back or read in a window: a tab, a line
// break, an escape or bytes that are not UTF-8 are refused, nothing written.
TEST(Interrupted, ControlCharactersInPasswordsAndNamesAreRefused) {
  TempDir tmp;
  const std::string root = tmp.path() + "/data";
  for (const char* bad : {"AB\tC", "AB\nC", "AB\rC", "\x1b[2J", "AB\xff"}) {
    SCOPED_TRACE(pdx::echo(bad));
    ToolRun r = runInProcess({"init", root, "--password", bad});
    EXPECT_EQ(r.code, kExitUsage) << r.err;
    EXPECT_FALSE(fs::exists(root));
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  }
  ASSERT_EQ(runInProcess({"init", root}).code, kExitOk);
  const auto before = testing::snapshot(tmp.path());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"create-company", root, "1", "Line\nbreak"},
        std::vector<std::string>{"create-company", root, "1", "Tab\tbed"},
        std::vector<std::string>{"create-company", root, "1", "Fine", "--password", "pass\tword"}}) {
    ToolRun r = runInProcess(args);
    EXPECT_EQ(r.code, kExitUsage) << r.err;
    EXPECT_NE(r.err.find("control character"), std::string::npos) << r.err;
  }
  EXPECT_EQ(testing::snapshot(tmp.path()), before);
}

}  // namespace
}  // namespace admin
