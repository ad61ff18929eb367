// A new company: its `comp` row in the data root and its company directory
// (the data root followed by the company number) holding every ledger table,
// empty but for a control record, the period names and a starter chart of
// accounts.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "interrupted.h"
#include "pdx/env.h"
#include "refusals.h"
#include "starter_data.h"
#include "undo_log.h"

namespace admin {

struct CompanyAddress {
  std::string address1, address2, city, province, country, postalCode, telephone, contact;
};

struct CompanyOptions {
  std::string dataRoot;
  int code = 1;
  std::string name;
  int language = data::kEnglish;  // of the chart, period and aging names
  pdx::Date today;                // the current periods are today's month
  TaxRates taxes;
  CompanyAddress address;
  std::string password;  // empty = none
  pdx::Env* env = pdx::Env::standard();
};

// The company folder of `options`, with the tables a company gets.
BuildFolder companyFolder(const std::string& dataRoot, int code);

// Problems that make create-company refuse, checked without writing: no data
// root there (or one an interrupted command left incomplete, unless
// `dataRootBuilt` says the caller is building it), a company of that number
// already in `comp`, a company directory that already holds ledger tables,
// bad options. Empty when it may go ahead.
Refusals companyRefusals(const CompanyOptions& options, bool dataRootBuilt = false);

// Creates the company. A company folder that an interrupted create-company
// left is cleared first, or only unmarked when that command had listed the
// company in `comp` (its last step). Refuses with nothing touched when
// companyRefusals() finds anything; on any other failure removes what it
// created.
pdx::Status createCompany(const CompanyOptions& options, std::ostream& log);
// The same, leaving what it created to the caller's `undo`.
pdx::Status createCompany(const CompanyOptions& options, std::ostream& log, UndoLog& undo);

}  // namespace admin
