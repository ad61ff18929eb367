// Postings across real processes: a supplier held by another program, two
// programs posting to one supplier at once, and programs killed in the
// middle of a posting.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "entry_test_util.h"

namespace vd87::testing {
namespace {

using pdx::Value;
using pdx::testing::spawn;

int exitCode(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class PostingProcessTest : public EntryTest {
 protected:
  // Keys and posts one purchase; true when it was written.
  bool postPurchase(const std::string& supplier, const std::string& invoice, const char* amount) {
    chooseSupplier(supplier);
    doc_->invoiceNumber = invoice;
    if (!rules_->invoiceExit(false)) return false;
    keyDebit(2, amount);
    keyCredit(1, amount);
    return post() == PostResult::kPosted;
  }

  // Every document is whole: each source entry has its open item and its
  // journal lines, and each balance is the sum of its open items.
  void expectWholeDocuments() {
    const auto entries = readRows(company_, "apori");
    const auto items = readRows(company_, "cap");
    const auto headers = readRows(company_, "tjlh");
    const auto lines = readRows(company_, "tjld");
    EXPECT_EQ(items.size(), entries.size());
    EXPECT_EQ(headers.size(), entries.size());
    EXPECT_EQ(lines.size(), 2 * entries.size());
    std::map<std::string, int64_t> owed;
    for (const Row& item : items) owed[textOf(item, "Cap_supplier")] += fixed(item, "Cap_amount");
    for (const Row& entry : entries) {
      int journalLines = 0;
      for (const Row& line : lines)
        if (textOf(line, "Tjld_reference") == textOf(entry, "Reference")) ++journalLines;
      EXPECT_EQ(journalLines, 2) << textOf(entry, "Reference");
    }
    for (const Row& s : readRows(company_, "sup")) {
      const int64_t opening = textOf(s, "Sup_code") == "DEF" ? 2'500'000 : 0;
      EXPECT_EQ(fixed(s, "Sup_current_bal"), opening + owed[textOf(s, "Sup_code")]) << textOf(s, "Sup_code");
    }
  }
};

TEST_F(PostingProcessTest, ASupplierHeldByAnotherProgramIsPostedOnceReleased) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = spawn([&] {
    close(ready[0]);
    auto dir = pdx::Directory::open(company_, pdx::Env::unsynced());
    if (!dir.ok()) return 2;
    auto sup = (*dir)->openTable("sup");
    if (!sup.ok() || !(*sup)->findKey({Value::text("ACME")}).ok() || !(*sup)->edit().ok()) return 3;
    const char go = 1;
    if (write(ready[1], &go, 1) != 1) return 4;
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    return (*sup)->cancel().ok() ? 0 : 5;
  });
  close(ready[1]);
  char go = 0;
  ASSERT_EQ(read(ready[0], &go, 1), 1);
  close(ready[0]);

  openEntry();
  posting_->lockPatienceMs = 10'000;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(postPurchase("ACME", "HELD", "25.00"));
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(exitCode(holder), 0);
  EXPECT_EQ(readRows(company_, "apori").size(), 1u);
  expectWholeDocuments();
}

TEST_F(PostingProcessTest, TwoProgramsPostingToOneSupplierKeepItsBalanceExact) {
  constexpr int kEach = 12;
  auto poster = [this](int who) {
    return [this, who] {
      openEntry();
      for (int i = 0; i < kEach; ++i)
        if (!postPurchase("ACME", "P" + std::to_string(who) + "-" + std::to_string(i), "1.10")) return 1;
      closeEntry();
      return 0;
    };
  };
  const pid_t a = spawn(poster(1));
  const pid_t b = spawn(poster(2));
  EXPECT_EQ(exitCode(a), 0);
  EXPECT_EQ(exitCode(b), 0);
  const auto entries = readRows(company_, "apori");
  EXPECT_EQ(entries.size(), 2u * kEach);
  for (const Row& s : readRows(company_, "sup"))
    if (textOf(s, "Sup_code") == "ACME") {
      EXPECT_EQ(fixed(s, "Sup_current_bal"), 2 * kEach * 11'000);
      EXPECT_EQ(fixed(s, "Sup_purch_ytd"), 2 * kEach * 11'000);
    }
  expectWholeDocuments();
}

TEST_F(PostingProcessTest, AProgramKilledBeforeItsCommitLeavesNothing) {
  const pid_t victim = spawn([this] {
    openEntry();
    posting_->beforeCommit = [] { raise(SIGKILL); };
    return postPurchase("DEF", "KILLED", "99.00") ? 0 : 1;
  });
  EXPECT_EQ(exitCode(victim), 128 + SIGKILL);
  EXPECT_TRUE(readRows(company_, "apori").empty());
  EXPECT_TRUE(readRows(company_, "tjld").empty());
  expectWholeDocuments();
  // Nothing is left held: this program posts at once.
  openEntry();
  EXPECT_TRUE(postPurchase("DEF", "AFTER", "1.00"));
  expectWholeDocuments();
}

TEST_F(PostingProcessTest, ProgramsKilledAtRandomMomentsLeaveWholeDocuments) {
  std::mt19937 rng(20010128);
  for (int round = 0; round < 4; ++round) {
    const pid_t victim = spawn([this, round] {
      openEntry();
      for (int i = 0;; ++i) {
        const std::string invoice = "K" + std::to_string(round) + "-" + std::to_string(i);
        const std::string supplier = i % 2 ? "ACME" : "DEF";
        if (!postPurchase(supplier, invoice, i % 3 ? "3.33" : "0.10")) return 1;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + rng() % 400));
    kill(victim, SIGKILL);
    EXPECT_EQ(exitCode(victim), 128 + SIGKILL) << "round " << round;
    expectWholeDocuments();
  }
  EXPECT_FALSE(readRows(company_, "apori").empty());
}


// Two machines on a network share post purchases for one supplier at once,
// through the entry's logic: every document is posted, the balance is exact,
// and an invoice number keyed on both machines is posted on one only.
TEST_F(PostingProcessTest, TwoMachinesOnAShareKeepTheSupplierExactAndItsInvoicesUnique) {
  pdx::testing::ShareViews views(tmp_.path(), 2);
  TALLIMOOR_SKIP_WITHOUT(views);
  constexpr int kEach = 8;
  struct Board {
    std::atomic<int> posted[2][kEach] = {};  // 1 once the machine posted its copy of "SAME-i"
  };
  pdx::testing::Shared<Board> board;
  auto machine = [&](int m) {
    return [&, m] {
      // This machine sees the company through its own view of the share.
      root_ = views.view(m) + root_.substr(tmp_.path().size());
      company_ = root_ + "1";
      openEntry();
      for (int i = 0; i < kEach; ++i) {
        if (!postPurchase("ACME", "M" + std::to_string(m) + "-" + std::to_string(i), "2.05")) return 1;
        prompts_.clear();
        if (postPurchase("ACME", "SAME-" + std::to_string(i), "1.00")) board->posted[m][i] = 1;
        else if (prompts_.shown.empty()) return 2;  // refused without saying why
        closeEntry();
        openEntry();
      }
      closeEntry();
      return 0;
    };
  };
  const pid_t first = spawn(machine(0));
  const pid_t second = spawn(machine(1));
  EXPECT_EQ(exitCode(first), 0);
  EXPECT_EQ(exitCode(second), 0);
  int64_t owed = 2 * kEach * 20'500;
  for (int i = 0; i < kEach; ++i) {
    EXPECT_EQ(board->posted[0][i] + board->posted[1][i], 1) << "invoice SAME-" << i;
    int copies = 0;
    for (const Row& entry : readRows(company_, "apori")) copies += textOf(entry, "Reference") == "SAME-" + std::to_string(i);
    EXPECT_EQ(copies, 1) << "invoice SAME-" << i << " posted on both machines";
    owed += 10'000;
  }
  EXPECT_EQ(readRows(company_, "apori").size(), 3u * kEach);
  for (const Row& s : readRows(company_, "sup"))
    if (textOf(s, "Sup_code") == "ACME") EXPECT_EQ(fixed(s, "Sup_current_bal"), owed);
  expectWholeDocuments();
}

}  // namespace
}  // namespace vd87::testing
