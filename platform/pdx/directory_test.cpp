// Reopening tables: a Directory keeps the files of tables whose cursors
// closed, and a later open must read exactly what a fresh open would, whoever
// wrote the files meanwhile and however.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "pdx/check.h"
#include "pdx/table.h"
#include "test_util.h"

namespace pdx {
namespace {

using testing::spawn;
using testing::TempDir;

std::shared_ptr<Directory> openDir(const TempDir& tmp) {
  auto d = Directory::open(tmp.path(), Env::unsynced());
  EXPECT_TRUE(d.ok()) << d.status().toString();
  return d.ok() ? *d : nullptr;
}

std::vector<FieldDef> accountFields() {
  return {{"Id", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 20}, {"Balance", FieldType::kMoney, 0}};
}

// Accounts 1..rows, named and with a balance from `seed`.
Status fillAccounts(Directory& dir, const std::string& table, int rows, int seed) {
  PDX_ASSIGN_OR_RETURN(auto t, dir.openTable(table));
  for (int i = 1; i <= rows; ++i) {
    PDX_RETURN_IF_ERROR(t->insert());
    PDX_RETURN_IF_ERROR(t->set(0, Value::integer(i)));
    PDX_RETURN_IF_ERROR(t->set(1, Value::text("Compte " + std::to_string(seed * 1000 + i))));
    PDX_RETURN_IF_ERROR(t->set(2, Value::number(seed * 100.0 + i)));
    PDX_RETURN_IF_ERROR(t->post());
  }
  return {};
}

// Every record of a table, one line each, as a cursor opened now reads it.
std::string contents(Directory& dir, const std::string& table) {
  auto t = dir.openTable(table, Directory::Access::kReadOnly);
  if (!t.ok()) return "error: " + t.status().toString();
  std::string out;
  for (Status st = (*t)->first(); st.ok(); st = (*t)->next()) {
    for (size_t f = 0; f < (*t)->schema().fields.size(); ++f) {
      auto v = (*t)->get(static_cast<int>(f));
      if (!v.ok()) return out + "error: " + v.status().toString();
      switch (v->kind()) {
        case Value::Kind::kText: out += v->asText(); break;
        case Value::Kind::kInteger: out += std::to_string(v->asInteger()); break;
        case Value::Kind::kNumber: out += std::to_string(v->asNumber()); break;
        case Value::Kind::kNull: out += "-"; break;
        default: out += "?"; break;
      }
      out += '\t';
    }
    out += '\n';
  }
  return out;
}

int waitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `work` on a Directory of its own in another process.
int inOtherProcess(const TempDir& tmp, const std::function<Status(Directory&)>& work) {
  return waitExit(spawn([&] {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    if (!dir.ok()) return 2;
    return work(**dir).ok() ? 0 : 1;
  }));
}

int openDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (readdir(d)) ++n;
  closedir(d);
  return n;
}

TEST(Directory, ReopenedTableSeesWhatAnotherProcessCommitted) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("accounts", accountFields(), 1).ok());
  ASSERT_TRUE(fillAccounts(*dir, "accounts", 300, 1).ok());
  const std::string before = contents(*dir, "accounts");

  // A change that leaves every file the same size: only the change counter tells.
  ASSERT_EQ(inOtherProcess(tmp, [](Directory& d) -> Status {
              PDX_ASSIGN_OR_RETURN(auto t, d.openTable("accounts"));
              PDX_RETURN_IF_ERROR(t->findKey({Value::integer(7)}));
              PDX_RETURN_IF_ERROR(t->edit());
              PDX_RETURN_IF_ERROR(t->set(2, Value::number(-42)));
              return t->post();
            }),
            0);
  auto t = dir->openTable("accounts", Directory::Access::kReadOnly);
  ASSERT_TRUE(t.ok());
  ASSERT_TRUE((*t)->findKey({Value::integer(7)}).ok());
  EXPECT_EQ((*t)->get(2)->asNumber(), -42);
  t->reset();

  // Records added and removed: blocks split and go.
  ASSERT_EQ(inOtherProcess(tmp, [](Directory& d) -> Status {
              PDX_ASSIGN_OR_RETURN(auto w, d.openTable("accounts"));
              for (int id = 301; id <= 600; ++id) {
                PDX_RETURN_IF_ERROR(w->insert());
                PDX_RETURN_IF_ERROR(w->set(0, Value::integer(id)));
                PDX_RETURN_IF_ERROR(w->post());
              }
              for (int id = 1; id <= 100; ++id) {
                PDX_RETURN_IF_ERROR(w->findKey({Value::integer(id)}));
                PDX_RETURN_IF_ERROR(w->remove());
              }
              return {};
            }),
            0);
  const std::string reopened = contents(*dir, "accounts");
  EXPECT_NE(reopened, before);
  EXPECT_EQ(reopened, contents(*openDir(tmp), "accounts")) << "a fresh directory reads the same";
  auto again = dir->openTable("accounts");
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(*(*again)->recordCount(), 500);
  ASSERT_TRUE((*again)->findKey({Value::integer(101)}).ok());
}

// A work table dropped and made again by another program, with the same
// shape and as many records, so that its files have the same sizes.
TEST(Directory, TableRecreatedByAnotherProcessIsReadAfresh) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("work", accountFields(), 1).ok());
  ASSERT_TRUE(fillAccounts(*dir, "work", 200, 1).ok());
  const std::string first = contents(*dir, "work");
  const auto size = std::filesystem::file_size(tmp.file("work.DB"));

  ASSERT_EQ(inOtherProcess(tmp, [](Directory& d) -> Status {
              PDX_RETURN_IF_ERROR(d.deleteTable("work"));
              PDX_RETURN_IF_ERROR(d.createTable("work", accountFields(), 1));
              return fillAccounts(d, "work", 200, 2);
            }),
            0);
  ASSERT_EQ(std::filesystem::file_size(tmp.file("work.DB")), size);
  const std::string second = contents(*dir, "work");
  EXPECT_NE(second, first);
  EXPECT_EQ(second, contents(*openDir(tmp), "work"));

  // Made again with other fields: the schema is the new one too.
  ASSERT_EQ(inOtherProcess(tmp, [](Directory& d) -> Status {
              PDX_RETURN_IF_ERROR(d.deleteTable("WORK"));
              PDX_RETURN_IF_ERROR(d.createTable("Work", {{"Code", FieldType::kAlpha, 4}}, 1));
              PDX_ASSIGN_OR_RETURN(auto t, d.openTable("work"));
              PDX_RETURN_IF_ERROR(t->insert());
              PDX_RETURN_IF_ERROR(t->set(0, Value::text("ABCD")));
              return t->post();
            }),
            0);
  auto t = dir->openTable("work");
  ASSERT_TRUE(t.ok()) << t.status().toString();
  ASSERT_EQ((*t)->schema().fields.size(), 1u);
  EXPECT_EQ((*t)->schema().fields[0].name, "Code");
  EXPECT_EQ(*(*t)->recordCount(), 1);
  EXPECT_EQ((*t)->get(0)->asText(), "ABCD");
  // And it can be written: the write goes to the new files.
  ASSERT_TRUE((*t)->insert().ok());
  ASSERT_TRUE((*t)->set(0, Value::text("EFGH")).ok());
  ASSERT_TRUE((*t)->post().ok());
  t->reset();
  EXPECT_EQ(contents(*openDir(tmp), "work"), "ABCD\t\nEFGH\t\n");
  auto report = checkTable(tmp.file("Work.DB"));
  ASSERT_TRUE(report.ok());
  EXPECT_TRUE(report->ok());
}

// Files put back from a copy (a restored backup) without this engine: by
// renaming a copy over them, or by writing over them in place.
TEST(Directory, FilesReplacedBehindTheEnginesBackAreReadAfresh) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("ledger", accountFields(), 1).ok());
  ASSERT_TRUE(fillAccounts(*dir, "ledger", 50, 1).ok());
  const std::string saved = contents(*dir, "ledger");
  const std::string db = testing::readFile(tmp.file("ledger.DB")), px = testing::readFile(tmp.file("ledger.PX"));
  auto addMore = [&] {
    auto t = dir->openTable("ledger");
    ASSERT_TRUE(t.ok());
    for (int id = 51; id <= 400; ++id) {
      ASSERT_TRUE((*t)->insert().ok());
      ASSERT_TRUE((*t)->set(0, Value::integer(id)).ok());
      ASSERT_TRUE((*t)->post().ok());
    }
  };
  addMore();
  ASSERT_NE(contents(*dir, "ledger"), saved);

  testing::writeFile(tmp.file("copy.DB"), db);
  testing::writeFile(tmp.file("copy.PX"), px);
  ASSERT_EQ(std::rename(tmp.file("copy.DB").c_str(), tmp.file("ledger.DB").c_str()), 0);
  ASSERT_EQ(std::rename(tmp.file("copy.PX").c_str(), tmp.file("ledger.PX").c_str()), 0);
  EXPECT_EQ(contents(*dir, "ledger"), saved) << "renamed over";

  addMore();
  ASSERT_NE(contents(*dir, "ledger"), saved);
  // The old table is smaller than the one it overwrites (the system's clock
  // may not tell two writes apart, its sizes do).
  testing::writeFile(tmp.file("ledger.DB"), std::string(db));
  testing::writeFile(tmp.file("ledger.PX"), std::string(px));
  EXPECT_EQ(contents(*dir, "ledger"), saved) << "written over in place";
}

TEST(Directory, ThisDirectorysOwnChangesToAKeptTableAreSeen) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("t", accountFields(), 1).ok());
  ASSERT_TRUE(fillAccounts(*dir, "t", 20, 1).ok());
  ASSERT_NE(contents(*dir, "t"), "");  // read-only, then kept

  // Opened for writing after a read-only open: writes work and are seen.
  {
    auto w = dir->openTable("t");
    ASSERT_TRUE(w.ok());
    ASSERT_TRUE((*w)->findKey({Value::integer(3)}).ok());
    ASSERT_TRUE((*w)->edit().ok());
    ASSERT_TRUE((*w)->set(1, Value::text("Changé")).ok());
    ASSERT_TRUE((*w)->post().ok());
  }
  {
    auto r = dir->openTable("t", Directory::Access::kReadOnly);
    ASSERT_TRUE((*r)->findKey({Value::integer(3)}).ok());
    EXPECT_EQ((*r)->get(1)->asText(), "Changé");
    EXPECT_EQ((*r)->edit().code(), code::kInvalidParameter) << "a read-only cursor stays read-only";
  }

  ASSERT_TRUE(dir->emptyTable("t").ok());
  EXPECT_EQ(contents(*dir, "t"), "");
  ASSERT_TRUE(fillAccounts(*dir, "t", 5, 2).ok());
  ASSERT_NE(contents(*dir, "t"), "");

  ASSERT_TRUE(dir->deleteTable("t").ok());
  EXPECT_EQ(dir->openTable("t").status().code(), code::kTableNotFound);
  ASSERT_TRUE(dir->createTable("T", {{"Other", FieldType::kShort, 0}}, 0).ok());
  auto t = dir->openTable("t");
  ASSERT_TRUE(t.ok());
  ASSERT_EQ((*t)->schema().fields.size(), 1u);
  EXPECT_EQ((*t)->schema().fields[0].name, "Other");
  EXPECT_EQ(*(*t)->recordCount(), 0);

  // Changes held by a write group are the group's, also for cursors opened
  // after the table's last one closed; a rollback drops them.
  ASSERT_TRUE(dir->createTable("g", accountFields(), 1).ok());
  ASSERT_TRUE(fillAccounts(*dir, "g", 3, 1).ok());
  const std::string before = contents(*dir, "g");
  {
    auto group = dir->beginGroup();
    ASSERT_TRUE(group.ok());
    {
      auto w = dir->openTable("g");
      ASSERT_TRUE((*w)->insert().ok());
      ASSERT_TRUE((*w)->set(0, Value::integer(9)).ok());
      ASSERT_TRUE((*w)->post().ok());
    }
    auto r = dir->openTable("g");
    EXPECT_EQ(*(*r)->recordCount(), 4);
    EXPECT_EQ(contents(*openDir(tmp), "g"), before) << "other directories do not see held changes";
  }
  EXPECT_EQ(contents(*dir, "g"), before);
}

TEST(Directory, OpeningAndClosingTablesKeepsNoMoreFilesOpen) {
  TempDir tmp;
  const int atStart = openDescriptors();
  ASSERT_GT(atStart, 0);
  {
    auto dir = openDir(tmp);
    constexpr int kTables = 20;
    for (int i = 0; i < kTables; ++i) {
      const std::string name = "t" + std::to_string(i);
      ASSERT_TRUE(dir->createTable(name, {{"Id", FieldType::kLong, 0}, {"Memo", FieldType::kMemo, 10}}, 1).ok());
    }
    int afterFirstRound = 0;
    for (int round = 0; round < 5; ++round) {
      for (int i = 0; i < kTables; ++i) {
        const std::string name = "t" + std::to_string(i);
        auto w = dir->openTable(name);
        ASSERT_TRUE(w.ok());
        ASSERT_TRUE((*w)->insert().ok());
        ASSERT_TRUE((*w)->set(0, Value::integer(round)).ok());
        ASSERT_TRUE((*w)->set(1, Value::text(std::string(100, 'm'))).ok());
        ASSERT_TRUE((*w)->post().ok());
        auto r = dir->openTable(name, Directory::Access::kReadOnly);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(*(*r)->recordCount(), round + 1);
      }
      if (round == 0) afterFirstRound = openDescriptors();
      else EXPECT_EQ(openDescriptors(), afterFirstRound) << "round " << round;
    }
    // Each kept table holds its .DB, .PX, .MB and lock file, and only a few
    // are kept; the directory has its redo log and the log's lock file.
    EXPECT_LE(openDescriptors(), atStart + 2 + 8 * 4);
  }
  EXPECT_EQ(openDescriptors(), atStart) << "the directory closed everything";
}

// A post that fails (a key violation, here) must not keep other writers of
// the table out while the cursor stays open.
TEST(Directory, FailedPostLetsOtherWritersIn) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("accounts", accountFields(), 1).ok());
  ASSERT_TRUE(fillAccounts(*dir, "accounts", 2, 1).ok());
  auto t = dir->openTable("accounts");
  ASSERT_TRUE((*t)->insert().ok());
  ASSERT_TRUE((*t)->set(0, Value::integer(1)).ok());
  ASSERT_EQ((*t)->post().code(), code::kKeyViolation);

  const auto start = std::chrono::steady_clock::now();
  auto other = openDir(tmp);
  auto w = other->openTable("accounts");
  ASSERT_TRUE((*w)->insert().ok());
  ASSERT_TRUE((*w)->set(0, Value::integer(3)).ok());
  EXPECT_TRUE((*w)->post().ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  ASSERT_TRUE((*t)->set(0, Value::integer(4)).ok());
  EXPECT_TRUE((*t)->post().ok()) << "the failed cursor can still post";
  EXPECT_EQ(*(*t)->recordCount(), 4);
}

}  // namespace
}  // namespace pdx
