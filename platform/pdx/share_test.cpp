// Several machines on one network share. The views of share-mounts.sh play
// the machines: each has its own memory maps and page caches, and byte-range
// locks conflict across them, as between machines on an NFS or SMB share.
// Every promise the engine makes between processes must hold between them:
// a group is all or nothing, a commit that returned is in the tables (for
// pxlib too), no update is lost, record locks exclude, and a machine that
// dies in the middle of a commit leaves books that the next one recovers.
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>

#include "fault_env.h"
#include "pdx/check.h"
#include "pdx/table.h"
#include "pxlib_test_util.h"
#include "table_file.h"
#include "test_util.h"

namespace pdx {
namespace {

using Clock = std::chrono::steady_clock;
using testing::describeExit;
using testing::putMessage;
using testing::Shared;
using testing::ShareViews;
using testing::spawn;
using testing::TempDir;
using testing::waitUntil;

int64_t cents(const Value& v) { return v.isNull() ? 0 : std::llround(v.asNumber() * 100); }
Value money(int64_t c) { return Value::number(static_cast<double>(c) / 100); }

bool contention(const Status& st) {
  return st.is(code::kRecordLocked) || st.is(code::kRecordChanged) || st.is(code::kTableBusy);
}

// One group: a row of `a`, and its amount added to the count and total that
// row 1 of `b` keeps.
Status postGroup(Directory& dir, int64_t id, int writer, int64_t amount) {
  PDX_ASSIGN_OR_RETURN(auto group, dir.beginGroup());
  PDX_ASSIGN_OR_RETURN(auto a, dir.openTable("a"));
  PDX_RETURN_IF_ERROR(a->insert());
  PDX_RETURN_IF_ERROR(a->set("Id", Value::integer(id)));
  PDX_RETURN_IF_ERROR(a->set("Writer", Value::integer(writer)));
  PDX_RETURN_IF_ERROR(a->set("Amount", money(amount)));
  PDX_RETURN_IF_ERROR(a->post());
  PDX_ASSIGN_OR_RETURN(auto b, dir.openTable("b"));
  PDX_RETURN_IF_ERROR(b->findKey({Value::integer(1)}));
  PDX_RETURN_IF_ERROR(b->edit());
  PDX_ASSIGN_OR_RETURN(Value count, b->get("Count"));
  PDX_ASSIGN_OR_RETURN(Value sum, b->get("Sum"));
  PDX_RETURN_IF_ERROR(b->set("Count", Value::integer(count.asInteger() + 1)));
  PDX_RETURN_IF_ERROR(b->set("Sum", money(cents(sum) + amount)));
  PDX_RETURN_IF_ERROR(b->post());
  return group->commit();
}

// The times of every file of `folder`, to put back after a change.
std::map<std::string, struct stat> fileTimes(const std::string& folder) {
  std::map<std::string, struct stat> times;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    struct stat st {};
    if (::stat(e.path().c_str(), &st) == 0) times[e.path().string()] = st;
  }
  return times;
}

void putTimesBack(const std::string& folder, const std::map<std::string, struct stat>& times) {
  (void)folder;
  for (const auto& [path, st] : times) {
    const struct timespec both[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), both, 0);
  }
}

// What the tables of a folder hold, read through the engine.
struct Books {
  std::map<int64_t, int64_t> rows;  // a: id -> amount
  int64_t sum = 0;                  // of a's amounts
  int64_t keptCount = 0, keptSum = 0;  // b's row 1
};

Result<Books> readBooks(Directory& dir) {
  Books books;
  PDX_ASSIGN_OR_RETURN(auto a, dir.openTable("a", Directory::Access::kReadOnly));
  Status st = a->first();
  for (; st.ok(); st = a->next()) {
    PDX_ASSIGN_OR_RETURN(Value id, a->get("Id"));
    PDX_ASSIGN_OR_RETURN(Value amount, a->get("Amount"));
    books.rows[id.asInteger()] = cents(amount);
    books.sum += cents(amount);
  }
  if (!st.is(code::kEof)) return st;
  PDX_ASSIGN_OR_RETURN(auto b, dir.openTable("b", Directory::Access::kReadOnly));
  PDX_RETURN_IF_ERROR(b->findKey({Value::integer(1)}));
  PDX_ASSIGN_OR_RETURN(Value count, b->get("Count"));
  PDX_ASSIGN_OR_RETURN(Value sum, b->get("Sum"));
  books.keptCount = count.asInteger();
  books.keptSum = cents(sum);
  return books;
}

class ShareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tmp_.file("share");
    std::filesystem::create_directory(folder_);
    views_ = std::make_unique<ShareViews>(folder_, 3);
    TALLIMOOR_SKIP_WITHOUT(*views_);
    auto dir = Directory::open(view(0));
    ASSERT_TRUE(dir.ok()) << dir.status().toString();
    ASSERT_TRUE((*dir)->createTable("a", {{"Id", FieldType::kLong, 0}, {"Writer", FieldType::kShort, 0},
                                          {"Amount", FieldType::kMoney, 0}}, 1).ok());
    ASSERT_TRUE((*dir)->createTable("b", {{"Id", FieldType::kLong, 0}, {"Count", FieldType::kLong, 0},
                                          {"Sum", FieldType::kMoney, 0}}, 1).ok());
    auto b = (*dir)->openTable("b");
    ASSERT_TRUE(b.ok());
    ASSERT_TRUE((*b)->insert().ok());
    ASSERT_TRUE((*b)->set("Id", Value::integer(1)).ok());
    ASSERT_TRUE((*b)->set("Count", Value::integer(0)).ok());
    ASSERT_TRUE((*b)->set("Sum", money(0)).ok());
    ASSERT_TRUE((*b)->post().ok());
  }

  const std::string& view(int i) const { return views_->view(i); }

  // The books are exact and sound as `viewNo` sees them: b counts and sums
  // the rows of a, every table passes the check, and pxlib reads the same.
  void expectExactBooks(int viewNo, const Books& books) {
    EXPECT_EQ(books.keptCount, static_cast<int64_t>(books.rows.size()));
    EXPECT_EQ(books.keptSum, books.sum);
    for (const char* table : {"a.DB", "b.DB"}) {
      auto report = checkTable(view(viewNo) + "/" + table);
      ASSERT_TRUE(report.ok()) << report.status().toString();
      for (const auto& fault : report->faults) ADD_FAILURE() << fault;
    }
    auto pxlib = testing::pxlibRows(view(viewNo) + "/a.DB");
    ASSERT_TRUE(pxlib.ok()) << pxlib.status().toString();
    int64_t pxlibSum = 0;
    for (const auto& row : *pxlib) pxlibSum += cents(row[2]);
    EXPECT_EQ(pxlib->size(), books.rows.size());
    EXPECT_EQ(pxlibSum, books.sum);
  }

  TempDir tmp_;  // outlives the views, which are unmounted first
  std::string folder_;
  std::unique_ptr<ShareViews> views_;
};

TEST_F(ShareTest, AMachineKeepingATableOpenSeesAnothersCommitAtItsNextRead) {
  auto first = Directory::open(view(0));
  auto second = Directory::open(view(1));
  ASSERT_TRUE(first.ok() && second.ok());
  for (int64_t id = 1; id <= 300; ++id) ASSERT_TRUE(postGroup(**first, id, 0, 100 + id).ok());

  // The second machine reads every block of `a`, and keeps the tables open.
  auto a = (*second)->openTable("a");
  auto b = (*second)->openTable("b");
  ASSERT_TRUE(a.ok() && b.ok());
  int rows = 0;
  for (Status st = (*a)->first(); st.ok(); st = (*a)->next()) ++rows;
  ASSERT_EQ(rows, 300);
  ASSERT_TRUE((*b)->findKey({Value::integer(1)}).ok());
  ASSERT_EQ((*b)->get("Count")->asInteger(), 300);

  // The first machine changes a row in the middle, within the same tick of
  // the files' clocks (their times are put back as they were: a file system
  // with coarse times, or two changes in one tick, look like that), and then
  // adds one.
  const auto times = fileTimes(folder_);
  {
    auto t = (*first)->openTable("a");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE((*t)->findKey({Value::integer(150)}).ok());
    ASSERT_TRUE((*t)->edit().ok());
    ASSERT_TRUE((*t)->set("Amount", money(99999)).ok());
    ASSERT_TRUE((*t)->post().ok());
  }
  putTimesBack(folder_, times);
  ASSERT_TRUE((*a)->findKey({Value::integer(150)}).ok());
  EXPECT_EQ(cents(*(*a)->get("Amount")), 99999) << "a changed row read from a stale cache";
  ASSERT_TRUE(postGroup(**first, 1000, 0, 7).ok());

  // The second machine's next reads see both.
  ASSERT_TRUE((*a)->findKey({Value::integer(150)}).ok());
  EXPECT_EQ(cents(*(*a)->get("Amount")), 99999) << "a changed row read from a stale cache";
  rows = 0;
  for (Status st = (*a)->first(); st.ok(); st = (*a)->next()) ++rows;
  EXPECT_EQ(rows, 301) << "an added row missed";
  ASSERT_TRUE((*b)->refresh().ok());
  EXPECT_EQ((*b)->get("Count")->asInteger(), 301);

  // And it writes on from there without losing the first machine's update.
  ASSERT_TRUE((*a)->findKey({Value::integer(150)}).ok());
  ASSERT_TRUE((*a)->edit().ok());
  ASSERT_TRUE((*a)->set("Amount", money(cents(*(*a)->get("Amount")) + 1)).ok());
  ASSERT_TRUE((*a)->post().ok());
  auto again = (*first)->openTable("a");
  ASSERT_TRUE(again.ok());
  ASSERT_TRUE((*again)->findKey({Value::integer(150)}).ok());
  EXPECT_EQ(cents(*(*again)->get("Amount")), 100000) << "an update lost between machines";
}

// A scan on one machine takes the table's state as a recent look found it,
// but notices another machine's commit soon: within the freshness of a step.
TEST_F(ShareTest, AScanOnOneMachineNoticesAnothersCommitSoon) {
  auto first = Directory::open(view(0));
  auto second = Directory::open(view(1));
  ASSERT_TRUE(first.ok() && second.ok());
  for (int64_t id = 1; id <= 20; ++id) ASSERT_TRUE(postGroup(**first, id, 0, 100).ok());
  auto a = (*second)->openTable("a");
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE((*a)->first().ok());  // the scan stands on row 1, its block in hand
  {
    auto t = (*first)->openTable("a");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE((*t)->findKey({Value::integer(10)}).ok());
    ASSERT_TRUE((*t)->edit().ok());
    ASSERT_TRUE((*t)->set("Amount", money(4242)).ok());
    ASSERT_TRUE((*t)->post().ok());
  }
  usleep(2'000 * TableFile::kStepFreshnessMs);
  int64_t seen = 0;
  for (Status st = (*a)->next(); st.ok(); st = (*a)->next())
    if ((*a)->get("Id")->asInteger() == 10) seen = cents(*(*a)->get("Amount"));
  EXPECT_EQ(seen, 4242) << "a scan kept reading a state another machine had replaced";
}

// Three machines post groups on the same row of b at once; the third is
// killed at random moments, again and again, and starts over.
constexpr int kWriters = 3;
constexpr int kGroupsEach = 40;
constexpr int kKills = 6;
constexpr int kIdsPerRun = 1000;

struct Board {
  std::atomic<uint8_t> committed[kWriters][kKills + 1][kIdsPerRun] = {};
  char failure[kWriters][256] = {};
};

int64_t idOf(int writer, int run, int group) { return (writer * (kKills + 1) + run) * kIdsPerRun + group + 1; }

int runWriter(const std::string& view, int writer, int run, int groups, Board& board) {
  alarm(120);
  auto dir = Directory::open(view);
  if (!dir.ok()) {
    putMessage(board.failure[writer], sizeof board.failure[writer], dir.status().toString());
    return 2;
  }
  std::mt19937 rng(static_cast<uint32_t>(writer * 7919 + run * 104729 + 1));
  for (int g = 0; g < groups; ++g) {
    const int64_t amount = 1 + static_cast<int64_t>(rng() % 100000);
    for (;;) {
      Status st = postGroup(**dir, idOf(writer, run, g), writer, amount);
      if (st.ok()) break;
      if (!contention(st)) {
        putMessage(board.failure[writer], sizeof board.failure[writer], st.toString());
        return 1;
      }
      usleep(static_cast<useconds_t>(rng() % 3000));
    }
    board.committed[writer][run][g] = 1;
  }
  return 0;
}

TEST_F(ShareTest, ThreeMachinesCommittingAtOnceKeepExactBooksWhenOneIsKilled) {
  Shared<Board> board;
  std::vector<pid_t> steady;
  for (int w = 0; w < 2; ++w)
    steady.push_back(spawn([&, w] { return runWriter(view(w), w, 0, kGroupsEach, *board); }));
  std::mt19937 rng(4242);
  for (int run = 0; run < kKills; ++run) {
    const pid_t victim = spawn([&, run] { return runWriter(view(2), 2, run, kIdsPerRun, *board); });
    usleep(static_cast<useconds_t>(50'000 + rng() % 250'000));
    kill(victim, SIGKILL);
    const int status = waitUntil(victim, Clock::now() + std::chrono::seconds(10));
    EXPECT_TRUE(status != -1 && (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)))
        << "run " << run << " of the killed machine " << describeExit(status) << " " << board->failure[2];
  }
  for (int w = 0; w < 2; ++w) {
    const int status = waitUntil(steady[size_t(w)], Clock::now() + std::chrono::seconds(120));
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "machine " << w << " " << describeExit(status) << " " << board->failure[w];
  }
  ASSERT_FALSE(::testing::Test::HasFailure());

  // The killed machine's view opens the folder first: it recovers whatever
  // its last commit left half done.
  auto dir = Directory::open(view(2));
  ASSERT_TRUE(dir.ok()) << dir.status().toString();
  auto books = readBooks(**dir);
  ASSERT_TRUE(books.ok()) << books.status().toString();
  for (int w = 0; w < kWriters; ++w)
    for (int run = 0; run <= kKills; ++run)
      for (int g = 0; g < kIdsPerRun; ++g)
        if (board->committed[w][run][g]) EXPECT_EQ(books->rows.count(idOf(w, run, g)), 1u) << "a committed group is lost";
  for (int w = 0; w < 2; ++w) {
    int rows = 0;
    for (const auto& [id, amount] : books->rows) rows += (id - 1) / kIdsPerRun == w * (kKills + 1);
    EXPECT_EQ(rows, kGroupsEach) << "machine " << w;
  }
  expectExactBooks(1, *books);
}

TEST_F(ShareTest, ARecordHeldOnOneMachineIsRefusedOnAnother) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = spawn([&] {
    auto dir = Directory::open(view(0));
    if (!dir.ok()) return 2;
    auto b = (*dir)->openTable("b");
    if (!b.ok() || !(*b)->findKey({Value::integer(1)}).ok() || !(*b)->edit().ok()) return 3;
    const char go = 1;
    if (write(ready[1], &go, 1) != 1) return 4;
    pause();
    return 0;
  });
  char go = 0;
  ASSERT_EQ(read(ready[0], &go, 1), 1);
  auto dir = Directory::open(view(1));
  ASSERT_TRUE(dir.ok());
  auto b = (*dir)->openTable("b");
  ASSERT_TRUE(b.ok());
  ASSERT_TRUE((*b)->findKey({Value::integer(1)}).ok());
  EXPECT_EQ((*b)->edit().code(), 10241) << "a record edited on another machine";
  EXPECT_EQ(postGroup(**dir, 1, 1, 5).code(), code::kRecordLocked);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  // The server lets a dead machine's locks go when it learns of the death,
  // which over a network takes a moment.
  Status edit = (*b)->edit();
  for (auto until = Clock::now() + std::chrono::seconds(10); !edit.ok() && Clock::now() < until; edit = (*b)->edit())
    usleep(20'000);
  EXPECT_TRUE(edit.ok()) << "the lock of a dead machine stays: " << edit.toString();
  ASSERT_TRUE((*b)->cancel().ok());
  close(ready[0]);
  close(ready[1]);
}

// A machine dies at each step of a commit in turn. Another machine that kept
// the tables open reads them whole at its next read, and a third that opens
// the folder afresh finds exact books and writes on.
TEST_F(ShareTest, AMachineDeadAtAnyStepOfACommitIsRecoveredFromAnother) {
  auto watcher = Directory::open(view(1));
  ASSERT_TRUE(watcher.ok());
  auto kept = readBooks(**watcher);
  ASSERT_TRUE(kept.ok());
  // How many file operations a group takes, counted on a first one.
  int operations = 0;
  {
    testing::FaultEnv env(Env::standard());
    auto dir = Directory::open(view(0), &env);
    ASSERT_TRUE(dir.ok());
    env.resetCounts();
    ASSERT_TRUE(postGroup(**dir, 1, 0, 10).ok());
    operations = env.operations();
  }
  ASSERT_GT(operations, 3);
  int64_t nextId = 2;
  int landed = 0;
  for (int k = 1; k <= operations + 1; ++k) {
    SCOPED_TRACE("killed after operation " + std::to_string(k));
    const int64_t id = nextId++;
    const pid_t child = spawn([&] {
      testing::FaultEnv env(Env::standard());
      auto dir = Directory::open(view(0), &env);
      if (!dir.ok()) return 2;
      env.resetCounts();
      env.killAfter(k);
      return postGroup(**dir, id, 0, id).ok() ? 0 : 1;
    });
    const int status = waitUntil(child, Clock::now() + std::chrono::seconds(30));
    ASSERT_NE(status, -1);
    landed += WIFSIGNALED(status);

    auto seen = readBooks(**watcher);  // tables kept open on the second machine
    ASSERT_TRUE(seen.ok()) << seen.status().toString();
    EXPECT_EQ(seen->keptCount, static_cast<int64_t>(seen->rows.size()));
    EXPECT_EQ(seen->keptSum, seen->sum);
    auto fresh = Directory::open(view(2));
    ASSERT_TRUE(fresh.ok()) << fresh.status().toString();
    auto books = readBooks(**fresh);
    ASSERT_TRUE(books.ok()) << books.status().toString();
    EXPECT_EQ(books->rows, seen->rows);
    ASSERT_NO_FATAL_FAILURE(expectExactBooks(2, *books));
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(landed, 0) << "no kill landed inside a commit";
  auto dir = Directory::open(view(2));
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(postGroup(**dir, nextId, 2, 1).ok()) << "the books cannot be written after the recoveries";
}

}  // namespace
}  // namespace pdx
