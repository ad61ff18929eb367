// The engine's side of posting_bench: a company made as the administrator's
// tool makes one, its journal prefilled, and purchases keyed and posted
// through the purchases entry's logic (vd87) as its window does, without the
// window.
#pragma once

#include <memory>
#include <string>

#include "pdx/env.h"
#include "posting_bench_data.h"

namespace postbench {

// An error message; empty on success.
using Error = std::string;

struct CompanyPaths {
  std::string root;     // the data root (session scratch rows)
  std::string company;  // the company directory
};

// Makes a data root with company 1 under `folder`, dated kPostingDate, with
// `suppliers` suppliers (home currency, net 30) and the journal (tjlh, tjld)
// holding `prefill`. Written through `env` (the benchmark passes
// Env::unsynced() and syncs the folder afterwards: the prefill is not what is
// measured), in write groups of a few thousand rows.
Error makeEngineCompany(const std::string& folder, int suppliers, const PrefillPlan& prefill, pdx::Env* env,
                        CompanyPaths& out);

// Where the time of one posting went, in seconds.
struct PostingTimes {
  double keying = 0;   // the supplier, invoice, accounts and amounts, field by field
  double writing = 0;  // PayablesPosting::post() up to its commit: checks and the held writes
  double commit = 0;   // the commit, then the fresh entry the window shows
  double posting() const { return writing + commit; }
};

// The purchases entry open on a company as its window opens it: tables
// through the named databases of the data module, so their directories use
// db::Database::environment(). One at a time per process (the databases'
// names are the module's).
class EnginePoster {
 public:
  static Error open(const CompanyPaths& paths, std::unique_ptr<EnginePoster>& out);
  ~EnginePoster();
  EnginePoster(const EnginePoster&) = delete;
  EnginePoster& operator=(const EnginePoster&) = delete;

  // Keys `doc` into the entry and posts it. Any message the entry shows is
  // an error: every document of the benchmark is valid.
  Error post(const Document& doc, PostingTimes& times);

 private:
  struct State;
  explicit EnginePoster(std::unique_ptr<State> state);
  Error keyDocument(const Document& doc);
  std::unique_ptr<State> state_;
};

// The books of the company's five tables, read through a directory of its
// own, as another program sees them.
Error readEngineBooks(const std::string& companyDir, Books& out);

}  // namespace postbench
