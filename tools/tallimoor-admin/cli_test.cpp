// The command line: options, usage errors, and the built program run as an
// administrator runs it.
#include "cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "admin_test_util.h"
#include "data/codes.h"
#include "test_util.h"

#ifndef TALLIMOOR_ADMIN_PATH
#error "TALLIMOOR_ADMIN_PATH must name the built tallimoor-admin"
#endif

namespace admin {
namespace {

using pdx::testing::TempDir;

std::string ymd(std::optional<pdx::Date> d) {
  if (!d) return "none";
  int y = 0, m = 0, day = 0;
  d->toYmd(y, m, day);
  return std::to_string(y) + "/" + std::to_string(m) + "/" + std::to_string(day);
}

TEST(Cli, IsoDates) {
  EXPECT_EQ(ymd(parseIsoDate("2026-06-15")), "2026/6/15");
  EXPECT_EQ(ymd(parseIsoDate("2024-02-29")), "2024/2/29");
  for (const char* bad : {"2023-02-29", "2026-13-01", "2026-6-15", "15/06/2026", "", "2026-06-15x", "abcd-ef-gh"})
    EXPECT_EQ(ymd(parseIsoDate(bad)), "none") << bad;
  EXPECT_GT(todayLocal().days, parseIsoDate("2020-01-01")->days);
}

struct ToolRun {
  int code;
  std::string out, err;
};
ToolRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runAdmin(args, out, err, pdx::Env::unsynced());
  return {code, out.str(), err.str()};
}

TEST(Cli, WrongCommandLinesAreUsageErrorsAndTouchNothing) {
  TempDir tmp;
  const std::string root = tmp.path() + "/data";
  EXPECT_EQ(run({}).code, kExitUsage);
  EXPECT_EQ(run({"--help"}).code, kExitOk);
  EXPECT_NE(run({"--help"}).out.find("create-company"), std::string::npos);
  EXPECT_EQ(run({"frobnicate"}).code, kExitUsage);
  EXPECT_EQ(run({"init"}).code, kExitUsage);
  EXPECT_EQ(run({"init", root, "--sessions"}).code, kExitUsage);
  EXPECT_EQ(run({"init", root, "--sessions", "0"}).code, kExitUsage);
  EXPECT_EQ(run({"init", root, "--sessions", "4x"}).code, kExitUsage);
  EXPECT_EQ(run({"init", root, "--colour", "blue"}).code, kExitUsage);
  EXPECT_EQ(run({"create-company", root, "one", "Name"}).code, kExitUsage);
  EXPECT_EQ(run({"create-company", root, "1", "Name", "--lang", "de"}).code, kExitUsage);
  EXPECT_EQ(run({"demo", root, "--today", "2026-02-30"}).code, kExitUsage);
  EXPECT_EQ(run({"scale", root, "--clients", "5", "--suppliers", "5"}).code, kExitUsage);
  EXPECT_FALSE(std::filesystem::exists(root));
}

TEST(Cli, InitAndCreateCompanyThroughTheCommandLine) {
  TempDir tmp;
  const std::string root = tmp.path() + "/Tallimoor/data";
  ToolRun r = run({"init", root, "--sessions", "2", "--password", "boss"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("password BOSS"), std::string::npos) << r.out;
  EXPECT_EQ(testing::readAll(root, "session").size(), 2u);

  r = run({"create-company", root, "4", "Atelier Nord", "--lang", "fr", "--password", "Nord4", "--today", "2026-03-02"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const auto comp = testing::readAll(root, "comp");
  ASSERT_EQ(comp.size(), 1u);
  EXPECT_EQ(testing::textOf(comp[0], "Comp_Passwd"), "Nord4");
  EXPECT_EQ(testing::intOf(testing::readAll(data::companyDirectory(root, 4), "ctrl")[0], "Ctrl_ap_period"), 3);

  r = run({"create-company", root, "4", "Again"});
  EXPECT_EQ(r.code, kExitRefused);
  EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
}

// The one test that runs the built program: an administrator's first steps.
TEST(Cli, TheProgramRunsAsAnAdministratorUsesIt) {
  TempDir tmp;
  const std::string root = tmp.path() + "/Tallimoor/data";
  auto spawnTool = [&](const std::vector<std::string>& args) {
    const auto r = pdx::testing::runProgram(TALLIMOOR_ADMIN_PATH, args, tmp.file("out.txt"), tmp.file("err.txt"));
    return ToolRun{r.exitCode, r.out, r.err};
  };

  ToolRun r = spawnTool({"demo", root, "--today", "2026-06-15"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  // The logins the README will give.
  for (const char* password : {"ADMIN", "SOLEIL", "HARBOUR", "FACTURES", "LEDGER", "Quai#2"})
    EXPECT_NE(r.out.find(password), std::string::npos) << r.out;
  const auto before = testing::snapshot(tmp.path() + "/Tallimoor");

  r = spawnTool({"init", root});
  EXPECT_EQ(r.code, kExitRefused);
  EXPECT_NE(r.err.find("already holds"), std::string::npos) << r.err;
  r = spawnTool({"build-languages", std::string(TALLIMOOR_LANGUAGES_DIR), tmp.path() + "/Tallimoor/languages"});
  EXPECT_EQ(r.code, kExitRefused) << r.err;
  EXPECT_EQ(testing::snapshot(tmp.path() + "/Tallimoor"), before);
}

}  // namespace
}  // namespace admin
