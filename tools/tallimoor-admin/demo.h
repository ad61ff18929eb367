// The demonstration data root and the large data roots for benchmarks.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "data_root.h"
#include "ledger_generator.h"

namespace admin {

struct DemoOptions {
  std::string dataRoot;
  pdx::Date today;  // the books run over the two years before it
  uint32_t seed = 1;
  int sessions = kDefaultSessions;
  std::string languagesDir;  // empty = beside the data root
  pdx::Env* env = pdx::Env::standard();
};

struct DemoUser {
  std::string password, code, name;
  int language = 0;
  int company = 1;
  std::string rights;  // what the user may run, in words
};

struct DemoCompany {
  int code = 0;
  std::string name, password;
  LedgerCounts counts;
};

struct DemoSummary {
  std::vector<DemoUser> users;
  std::vector<DemoCompany> companies;
};

// Why demo would refuse (the data root, its languages or the directories of
// companies 1 and 2 already hold tables); empty when it may go ahead.
Refusals demoRefusals(const DemoOptions& options);

// A data root with two companies: 1 in Québec, kept in French, with a chart
// whose account types are stored partly in English; 2 in Nova Scotia, kept
// in English, behind a company password, with some types stored in French.
// Users of both languages, with different companies and rights. What an
// interrupted command left in its folders is cleared first (interrupted.h).
// Refuses with nothing touched when demoRefusals() finds anything; on any
// other failure removes what it made.
pdx::Status buildDemo(const DemoOptions& options, DemoSummary& summary, std::ostream& log);
// The same, leaving what it made to the caller's `undo`.
pdx::Status buildDemo(const DemoOptions& options, DemoSummary& summary, std::ostream& log, UndoLog& undo);

// What a user of the demonstration needs to know: logins and passwords.
void printDemoSummary(const DemoSummary& summary, std::ostream& out);

struct ScaleOptions {
  std::string dataRoot;
  int clients = 1000;
  int suppliers = 1000;
  int64_t items = 10000;  // open items of each ledger, about
  // Open items of client C00000001 and of supplier S00000001 each, exactly,
  // on top of the others (0: none such).
  int64_t heavyItems = 10000;
  pdx::Date today;
  uint32_t seed = 1;
  int sessions = kDefaultSessions;
  std::string languagesDir;
  int64_t batchRows = 20000;  // rows a write group holds before it commits
  pdx::Env* env = pdx::Env::standard();
};

// A data root with one company of the given size (codes C00000001,
// S00000001, ...), the first client and supplier with heavyItems open items
// each. Refuses like demo.
Refusals scaleRefusals(const ScaleOptions& options);
pdx::Status buildScale(const ScaleOptions& options, LedgerCounts& counts, std::ostream& log);
pdx::Status buildScale(const ScaleOptions& options, LedgerCounts& counts, std::ostream& log, UndoLog& undo);

}  // namespace admin
