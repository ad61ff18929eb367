// Tvd87_dm: the data module of the purchases entry.
//
// Two connections: `vd87db` on the company directory (suppliers, open items,
// accounts, control record, periods, journal, source entries) and
// `mydbvd87` on the data root (the session's scratch row in `virmem`). The
// tables are opened by the window's first activation, through its
// table-opening routine, in openOrder(); nothing is connected before.
//
// The scratch row holds the eleven debit and eleven credit cells of the
// window and its two totals. It is kept in edit (or insert) state for the
// life of the window and never posted: amounts typed in the window are never
// written to `virmem`.
//
// Threads: the user-interface thread only (as every dataset).
#pragma once

#include <string>
#include <vector>

#include "db/data_source.h"
#include "db/database.h"
#include "db/table.h"

namespace vd87 {

class Tvd87_dm {
 public:
  Tvd87_dm();
  ~Tvd87_dm();
  Tvd87_dm(const Tvd87_dm&) = delete;
  Tvd87_dm& operator=(const Tvd87_dm&) = delete;

  // ---- connections
  db::Database vd87db{"vd87db"};
  db::Database mydbvd87{"mydbvd87"};

  // ---- tables of the company (vd87db)
  db::Table sup;         // the entry's supplier: labels, terms, currency, posting
  db::Table Sup2_Table;  // second cursor on sup: the terms of the due date
  db::Table cap;         // open items: duplicate test, one row per posting
  db::Table glm;         // accounts: validation and descriptions
  db::Table gla;         // opened and closed only
  db::Table ctrl;        // control record, first row, never written
  db::Table Periods;     // month names, open only while a caption is built
  db::Table tjlh;        // journal headers
  db::Table tjld;        // journal lines
  db::Table apori;       // source entries
  // ---- the data root (mydbvd87)
  db::Table virmem;  // the session's scratch row

  db::DataSource DataSource1{&sup};  // supplier labels
  db::DataSource DataSource2{&virmem};  // amount cells and totals
  db::DataSource DataSource3{&glm};
  db::DataSource DataSource4{&gla};
  db::DataSource DataSource5{&ctrl};
  db::DataSource DataSource6{&Sup2_Table};
  db::DataSource DataSource7{&cap};
  db::DataSource DataSource8{&Periods};

  // Points both connections at their folders ("path=" + folder).
  void setPaths(const std::string& companyDirectory, const std::string& dataRoot);

  // The tables the first activation opens, in that order: glm, gla, ctrl, sup,
  // cap, tjlh, tjld, the second sup cursor, apori, then virmem.
  std::vector<db::Table*> openOrder();
  // Every dataset of the module (for the date formats).
  std::vector<db::DataSet*> dataSets();

  // Stands on the scratch row of session `sessionId` and starts changing it:
  // the row is put in edit state; when the session has no row, or another
  // program holds it, a new row is started instead, which is never posted
  // either. Errors other than those two are returned.
  pdx::Status holdScratchRow(int sessionId);
  // Drops whatever the cells hold and starts changing the row again.
  pdx::Status restartScratchRow();

  // Cancels the scratch row, closes every table and both connections.
  void closeAll();

  // New source entries start with 0 in every money and long-integer field;
  // texts, dates, logicals, memos and the autoincrement stay blank.
  static void aporiNewRecord(db::DataSet& dataSet);

 private:
  // The currency style of the money fields, given when each table opens: the
  // window's cells follow the supplier's currency; the posting tables show the
  // process's own symbol.
  void styleMoneyFields(db::DataSet& dataSet, db::Field::CurrencyStyle style);

  int sessionId_ = 0;
  bool scratchIsNew_ = false;
};

}  // namespace vd87
