// Several processes on the same tables: record locks, visibility of posted
// writes, and no lost update.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "pdx/check.h"
#include "pdx/table.h"
#include "test_util.h"

namespace pdx {
namespace {

using testing::TempDir;

void makeAccounts(const TempDir& tmp, int rows) {
  auto dir = Directory::open(tmp.path(), Env::unsynced());
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE((*dir)->createTable("accounts", {{"Id", FieldType::kLong, 0}, {"Balance", FieldType::kMoney, 0}}, 1).ok());
  auto t = (*dir)->openTable("accounts");
  ASSERT_TRUE(t.ok());
  for (int i = 1; i <= rows; ++i) {
    ASSERT_TRUE((*t)->insert().ok());
    ASSERT_TRUE((*t)->set(0, Value::integer(i)).ok());
    ASSERT_TRUE((*t)->set(1, Value::number(0)).ok());
    ASSERT_TRUE((*t)->post().ok());
  }
}

using testing::spawn;

int waitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Processes, RecordLockIsSeenByOthersAndDiesWithItsHolder) {
  TempDir tmp;
  makeAccounts(tmp, 2);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = spawn([&] {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    auto t = (*dir)->openTable("ACCOUNTS");
    if (!t.ok() || !(*t)->findKey({Value::integer(1)}).ok() || !(*t)->edit().ok()) return 1;
    char c = 'x';
    if (write(ready[1], &c, 1) != 1) return 2;
    pause();  // holds the lock until killed
    return 0;
  });
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);

  auto dir = Directory::open(tmp.path(), Env::unsynced());
  auto t = (*dir)->openTable("accounts");
  ASSERT_TRUE(t.ok());
  ASSERT_TRUE((*t)->findKey({Value::integer(1)}).ok());
  Status st = (*t)->edit();
  EXPECT_EQ(st.code(), 10241);
  EXPECT_EQ(st.category(), 0x28);
  // Another record of the same table is free.
  ASSERT_TRUE((*t)->findKey({Value::integer(2)}).ok());
  ASSERT_TRUE((*t)->edit().ok());
  ASSERT_TRUE((*t)->cancel().ok());
  // Emptying or deleting the table is refused while a record is held.
  EXPECT_EQ((*dir)->emptyTable("accounts").code(), code::kRecordLocked);

  kill(holder, SIGKILL);
  waitExit(holder);
  ASSERT_TRUE((*t)->findKey({Value::integer(1)}).ok());
  EXPECT_TRUE((*t)->edit().ok()) << "the lock of a dead process must be gone";
  close(ready[0]);
  close(ready[1]);
}

TEST(Processes, TwoCursorsOfOneProcessExcludeEachOther) {
  TempDir tmp;
  makeAccounts(tmp, 1);
  auto dir = Directory::open(tmp.path(), Env::unsynced());
  auto a = (*dir)->openTable("accounts");
  auto b = (*dir)->openTable("accounts");
  ASSERT_TRUE((*a)->edit().ok());
  EXPECT_EQ((*b)->edit().code(), code::kRecordLocked);
  EXPECT_EQ((*b)->remove().code(), code::kRecordLocked);
  ASSERT_TRUE((*a)->set(1, Value::number(5)).ok());
  ASSERT_TRUE((*a)->post().ok());
  ASSERT_TRUE((*b)->edit().ok());
  EXPECT_EQ((*b)->get(1)->asNumber(), 5) << "edit reads the record as it is now";
}

TEST(Processes, WritesOfOneProcessAreSeenByTheNextReadOfAnother) {
  TempDir tmp;
  makeAccounts(tmp, 1);
  auto dir = Directory::open(tmp.path(), Env::unsynced());
  auto t = (*dir)->openTable("accounts");
  ASSERT_TRUE(t.ok());
  ASSERT_EQ(*(*t)->recordCount(), 1);
  pid_t writer = spawn([&] {
    auto d = Directory::open(tmp.path(), Env::unsynced());
    auto w = (*d)->openTable("accounts");
    for (int i = 2; i <= 400; ++i) {
      if (!(*w)->insert().ok() || !(*w)->set(0, Value::integer(i)).ok() || !(*w)->post().ok()) return 1;
    }
    if (!(*w)->findKey({Value::integer(1)}).ok() || !(*w)->edit().ok() || !(*w)->set(1, Value::number(42)).ok() ||
        !(*w)->post().ok())
      return 2;
    return 0;
  });
  ASSERT_EQ(waitExit(writer), 0);
  EXPECT_EQ((*t)->get(1)->asNumber(), 0) << "the fields of the current record stay as the cursor read them";
  EXPECT_EQ(*(*t)->recordCount(), 400);
  EXPECT_EQ((*t)->get(1)->asNumber(), 42) << "the next read brings the other process's post to the current record";
  int64_t n = 0;
  for (Status st = (*t)->first(); st.ok(); st = (*t)->next()) ++n;
  EXPECT_EQ(n, 400);
  auto report = checkTable((*t)->path());
  ASSERT_TRUE(report.ok());
  EXPECT_TRUE(report->ok());
}

// Two processes add to the same money field 1,000 times each under
// edit/post, waiting while the other holds the record: nothing is lost.
TEST(Processes, ConcurrentIncrementsLoseNothing) {
  TempDir tmp;
  makeAccounts(tmp, 3);
  auto worker = [&] {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    auto t = (*dir)->openTable("accounts");
    if (!t.ok()) return 1;
    for (int i = 0; i < 1000; ++i) {
      const int id = 1 + i % 2;  // two shared rows
      for (;;) {
        if (!(*t)->findKey({Value::integer(id)}).ok()) return 2;
        Status st = (*t)->edit();
        if (st.is(code::kRecordLocked)) {
          std::this_thread::sleep_for(std::chrono::microseconds(100));
          continue;
        }
        if (!st.ok()) return 3;
        const double balance = (*t)->get(1)->asNumber();
        if (!(*t)->set(1, Value::number(balance + 1)).ok() || !(*t)->post().ok()) return 4;
        break;
      }
    }
    return 0;
  };
  pid_t a = spawn(worker), b = spawn(worker);
  EXPECT_EQ(waitExit(a), 0);
  EXPECT_EQ(waitExit(b), 0);
  auto dir = Directory::open(tmp.path(), Env::unsynced());
  auto t = (*dir)->openTable("accounts");
  ASSERT_TRUE((*t)->findKey({Value::integer(1)}).ok());
  EXPECT_EQ((*t)->get(1)->asNumber(), 1000);
  ASSERT_TRUE((*t)->findKey({Value::integer(2)}).ok());
  EXPECT_EQ((*t)->get(1)->asNumber(), 1000);
}

}  // namespace
}  // namespace pdx
