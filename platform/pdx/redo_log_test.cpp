// The redo log on its own: commits of held changes to a few files, then the
// files put in the states a crash or a power cut can leave, and the log
// written to them again.
#include "redo_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fault_env.h"
#include "pdx/echo.h"
#include "pdx/table.h"
#include "test_util.h"

namespace pdx {
namespace {

using testing::FaultEnv;
using testing::TempDir;

constexpr std::array<const char*, 3> kNames = {"A.DB", "A.PX", "B.DB"};
constexpr size_t kPage = 4096;

std::string randomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>('a' + rng() % 26);
  return s;
}

// Files and what each must hold; every state each file went through since
// the log was last empty.
struct Books {
  std::map<std::string, std::string> now;
  std::map<std::string, std::vector<std::string>> history;
};

Books startBooks(const TempDir& tmp, std::mt19937& rng) {
  Books b;
  for (const char* name : kNames) {
    b.now[name] = randomBytes(rng, 2048 + rng() % 30'000);
    testing::writeFile(tmp.file(name), b.now[name]);
    b.history[name].push_back(b.now[name]);
  }
  return b;
}

// One commit of random writes and cuts to some of the files, through the log.
void commitSome(Env* env, const TempDir& tmp, detail::RedoLog& log, Books& b, std::mt19937& rng) {
  std::vector<std::unique_ptr<detail::PendingFile>> pending;
  std::vector<detail::PendingFile*> files;
  for (const char* name : kNames) {
    if (rng() % 3 == 0) continue;
    auto file = env->open(tmp.file(name), Env::OpenMode::kReadWrite);
    ASSERT_TRUE(file.ok());
    pending.push_back(std::make_unique<detail::PendingFile>(std::move(file).value()));
    std::string& model = b.now[name];
    for (int op = 1 + static_cast<int>(rng() % 5); op > 0; --op) {
      if (rng() % 5 == 0) {
        const size_t size = 1024 + rng() % 40'000;  // shorter or longer
        ASSERT_TRUE(pending.back()->truncate(size).ok());
        model.resize(size, '\0');
      } else {
        const size_t at = rng() % (model.size() + 3000);
        const std::string bytes = randomBytes(rng, 1 + rng() % 5000);
        ASSERT_TRUE(pending.back()->write(at, bytes).ok());
        if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
        model.replace(at, bytes.size(), bytes);
      }
    }
    files.push_back(pending.back().get());
  }
  if (files.empty()) return;
  ASSERT_TRUE(log.lock(1000).ok());
  Status st = log.append(files);
  if (st.ok()) st = log.applyAppended(files);
  log.unlock();
  ASSERT_TRUE(st.ok()) << st.toString();
  for (const char* name : kNames) b.history[name].push_back(b.now[name]);
}

// Each page of each file from one of the states it went through, and its
// size from another: what a power cut leaves of writes never synced.
void tear(const TempDir& tmp, const Books& b, std::mt19937& rng) {
  for (const char* name : kNames) {
    const auto& states = b.history.at(name);
    std::string torn = states[rng() % states.size()];
    for (size_t at = 0; at < torn.size(); at += kPage) {
      const std::string& from = states[rng() % states.size()];
      if (at >= from.size()) continue;
      const size_t n = std::min({kPage, torn.size() - at, from.size() - at});
      torn.replace(at, n, from, at, n);
    }
    testing::writeFile(tmp.file(name), torn);
  }
}

void expectBooks(const TempDir& tmp, const Books& b) {
  for (const char* name : kNames) {
    const std::string have = testing::readFile(tmp.file(name));
    const std::string& want = b.now.at(name);
    if (have == want) continue;
    size_t at = 0;
    while (at < have.size() && at < want.size() && have[at] == want[at]) ++at;
    ADD_FAILURE() << name << ": " << have.size() << " bytes instead of " << want.size() << ", the first wrong at " << at;
  }
}

Result<int> replay(Env* env, const TempDir& tmp) {
  PDX_ASSIGN_OR_RETURN(auto log, detail::RedoLog::open(env, tmp.path(), 1000));
  PDX_RETURN_IF_ERROR(log->lock(1000));
  auto repaired = log->replay();
  log->unlock();
  return repaired;
}

// Writes and cuts that overlap from commit to commit, files that shrink and
// grow again: from any mix of the pages they went through, replaying the log
// gives each file as the last commit left it, and replaying it over files
// that already hold it writes nothing.
TEST(RedoLog, ReplayGivesTheLastCommitFromAnyMixOfPages) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 25; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    TempDir tmp;
    Books b = startBooks(tmp, rng);
    auto log = detail::RedoLog::open(Env::unsynced(), tmp.path(), 1000);
    ASSERT_TRUE(log.ok());
    const int commits = 1 + static_cast<int>(rng() % 10);
    for (int c = 0; c < commits; ++c) ASSERT_NO_FATAL_FAILURE(commitSome(Env::unsynced(), tmp, **log, b, rng));
    {
      SCOPED_TRACE("as committed");
      expectBooks(tmp, b);
    }

    FaultEnv counting(Env::unsynced());
    auto untouched = replay(&counting, tmp);
    ASSERT_TRUE(untouched.ok()) << untouched.status().toString();
    EXPECT_EQ(*untouched, 0);
    EXPECT_EQ(counting.count(FaultEnv::Op::kWrite) + counting.count(FaultEnv::Op::kTruncate), 0)
        << "a replay over whole files wrote to them";

    for (int cut = 0; cut < 4; ++cut) {
      tear(tmp, b, rng);
      auto repaired = replay(Env::unsynced(), tmp);
      ASSERT_TRUE(repaired.ok()) << repaired.status().toString();
      expectBooks(tmp, b);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// A checkpoint makes the files durable and empties the log: after a power
// cut the files are whole without it, and a later commit's record is the only
// one replayed.
TEST(RedoLog, CheckpointMakesTheFilesDurableAndEmptiesTheLog) {
  std::mt19937 rng(12);
  TempDir tmp;
  Books b = startBooks(tmp, rng);
  FaultEnv env(Env::unsynced());
  {
    auto log = detail::RedoLog::open(&env, tmp.path(), 1000);
    ASSERT_TRUE(log.ok());
    for (int c = 0; c < 6; ++c) ASSERT_NO_FATAL_FAILURE(commitSome(&env, tmp, **log, b, rng));
    ASSERT_TRUE((*log)->lock(1000).ok());
    ASSERT_TRUE((*log)->checkpoint(/*always=*/true).ok());
    (*log)->unlock();
    EXPECT_FALSE((*log)->appendedSince());
    b.history.clear();
    for (const char* name : kNames) b.history[name].push_back(b.now[name]);
    env.powerCut(FaultEnv::CutMode::kLoseUnsynced);
  }
  env.restart();
  expectBooks(tmp, b);
  auto nothing = replay(Env::unsynced(), tmp);
  ASSERT_TRUE(nothing.ok());
  EXPECT_EQ(*nothing, 0);

  auto log = detail::RedoLog::open(&env, tmp.path(), 1000);
  ASSERT_TRUE(log.ok());
  ASSERT_NO_FATAL_FAILURE(commitSome(&env, tmp, **log, b, rng));
  ASSERT_NO_FATAL_FAILURE(commitSome(&env, tmp, **log, b, rng));
  env.powerCut(FaultEnv::CutMode::kKeepSomeUnsynced, 3);
  env.restart();
  auto recovered = detail::RedoLog::recoverOnOpen(Env::unsynced(), tmp.path(), 1000);
  ASSERT_TRUE(recovered.ok()) << recovered.status().toString();
  expectBooks(tmp, b);
}

// ---- logs written by someone else

// A log naming a file outside its folder, in any way a name can leave it
// (climbing out, an absolute path, a separator, a NUL that cuts the name
// short, a name that is no table file, a link in the folder that points
// out): opening the folder refuses the whole log, says which name and why,
// escaped, and writes nothing anywhere, not even the sound records before.
TEST(RedoLog, ALogNamingAFileOutsideItsFolderIsRefusedWhole) {
  const std::string kVictim = "the victim's own words";
  const std::vector<std::string> escapes = {
      "../victim.txt", "../victim.DB",      "VICTIM_ABS",     "sub/x.DB",     std::string("x.DB\0/../../victim.txt", 22),
      "..",            ".",                 "",               "victim.txt",   "tallimoor.redo",
      "..\\victim.DB", "\x1b[2J.txt",       "link.DB"};
  for (std::string name : escapes) {
    TempDir tmp;
    const std::string books = tmp.file("books");
    std::filesystem::create_directory(books);
    testing::writeFile(tmp.file("victim.txt"), kVictim);
    testing::writeFile(tmp.file("victim.DB"), kVictim);
    testing::writeFile(books + "/A.DB", "sound table bytes");
    std::filesystem::create_symlink(tmp.file("victim.DB"), books + "/link.DB");
    if (name == "VICTIM_ABS") name = tmp.file("victim.txt");
    SCOPED_TRACE(echo(name));
    testing::writeFile(books + "/tallimoor.redo",
                       testing::craftedRedoLog({{{"A.DB", "written by the first record"}}, {{name, "PWNED"}}}));

    auto dir = Directory::open(books, Env::unsynced());
    EXPECT_FALSE(dir.ok()) << "a folder opened over a log that names " << echo(name);
    if (!dir.ok() && name != "link.DB") {
      EXPECT_NE(dir.status().message().find(quote(name)), std::string::npos) << dir.status().message();
      for (char c : dir.status().message()) EXPECT_TRUE(c == '\t' || static_cast<unsigned char>(c) >= 0x20) << dir.status().message();
    }
    EXPECT_EQ(testing::readFile(tmp.file("victim.txt")), kVictim);
    EXPECT_EQ(testing::readFile(tmp.file("victim.DB")), kVictim);
    EXPECT_EQ(testing::readFile(books + "/A.DB"), "sound table bytes") << "a refused log had a record written";
  }
}

// The same log naming only the folder's own table files is replayed: the
// names rule keeps out nothing the engine writes.
TEST(RedoLog, ALogNamingTheFoldersTableFilesIsReplayed) {
  TempDir tmp;
  testing::writeFile(tmp.file("A.DB"), "old");
  testing::writeFile(tmp.file("a.px"), "old");
  testing::writeFile(tmp.file("B.Mb"), "old");
  testing::writeFile(tmp.path() + "/tallimoor.redo",
                     testing::craftedRedoLog({{{"A.DB", "new data"}, {"a.px", "new index"}}, {{"B.Mb", "new memo"}}}));
  auto repaired = detail::RedoLog::recoverOnOpen(Env::unsynced(), tmp.path(), 1000);
  ASSERT_TRUE(repaired.ok()) << repaired.status().toString();
  EXPECT_EQ(testing::readFile(tmp.file("A.DB")), "new data");
  EXPECT_EQ(testing::readFile(tmp.file("a.px")), "new index");
  EXPECT_EQ(testing::readFile(tmp.file("B.Mb")), "new memo");
}

}  // namespace
}  // namespace pdx
