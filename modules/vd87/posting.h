// Posting a payables document: the journal (tjlh, tjld), the supplier and its
// open item (sup, cap) when the entry touches an A/P control account, and the
// source entry (apori).
//
// The writes of one document form one write group of the company directory:
// all of them become durable at once, or none does. A failure part-way
// (an engine error, a process that dies) leaves the tables as they were.
//
// Contention. A supplier row that another user holds, a table that another
// posting is committing, or a record that changed under us make the attempt
// roll back; it is tried again after a short pause (pause(), which the
// window spends handling its events), holding no table while it waits. When the waiting has lasted
// lockPatienceMs the user is asked whether to keep waiting (another period of
// the same length) or to cancel the posting; cancelling writes nothing. So a
// posting never waits without the user's consent.
#pragma once

#include <functional>
#include <string>

#include "entry_rules.h"

namespace vd87 {

enum class PostResult {
  kPosted,     // the document is written; the window shows a fresh entry
  kRefused,    // a check failed: its message was shown, nothing written
  kCancelled,  // the user stopped waiting for another user: nothing written
};

class PayablesPosting {
 public:
  explicit PayablesPosting(EntryRules& rules) : rules_(rules) {}

  // The author of the rows: the login name, or the user name when that is
  // empty (see authorOf()).
  std::string user;
  // The posting flag of the session record: "Y" from the balance check to
  // the end of a completed posting, "N" then.
  std::function<void(const std::string&)> setPostingFlag;
  int lockPauseMs = 50;
  int lockPatienceMs = 3000;
  // Waits `ms` milliseconds between two attempts; a plain sleep when unset.
  std::function<void(int ms)> pause;
  // Called inside the write group, after the last write and before the
  // commit (tests use it to fail or to stop a posting there).
  std::function<void()> beforeCommit;

  // The whole posting (the Post button). Database errors that are not
  // contention are thrown as db::DatabaseError after the group was rolled
  // back, saying that nothing was written.
  PostResult post();

  static std::string authorOf(const std::string& loginName, const std::string& userName) {
    return loginName.empty() ? userName : loginName;
  }

 private:
  enum class Attempt { kWritten, kBusy, kRefused };
  // Checks 1 to 6 of the entry; false (message shown) when one fails.
  bool checkEntry();
  Attempt attempt();
  void writeLine(int n, const std::string& invoice, pdx::Date date, int journal, const std::string& supplierName);
  void updateSupplier(db::Money amount, pdx::Date date, pdx::Date due);
  void writeSourceEntry(pdx::Date date, pdx::Date due);
  // Whether the invoice test of the entry's type passes; shows its message
  // when not.
  bool invoiceTestPasses();
  void abandon();  // cancels every edit of the posting tables

  EntryRules& rules_;
  bool touchesSupplier_ = false;
  pdx::Timestamp stamp_;
};

}  // namespace vd87
