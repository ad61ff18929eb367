// The data module of an inquiry (Tkq61_dm, Tvd52_dm): every dataset the
// window and its reports read, their links, and the calculated fields.
//
// One connection on the company directory (kq61db / vd52db); the companies,
// the payment terms and the aging record (virmem) are tables of the data
// root, named by its path. Nothing of the ledger is ever written: the
// ledger tables open read-only. The two scratch tables are the session's
// own: the statement balance table ("Cartmp" / "Captmp" + the session slot,
// in the company directory), rebuilt whenever the statement is shown, and
// one virmem record held in insert state and never posted.
//
// Members keep the component names of the receivables module where the two
// sides share them (Query1, Query2, Table1, Table2, glm, Table3); the tables
// that differ by side carry neutral names and the side's component name
// (`entries` is arori or apori, `cashHeaders` crorihdr or cdorihdr).
//
// The window answers three questions through hooks: whether the current
// transactions (rather than history) are shown, the lines of its type-name
// list, and what it does when the party changes.
//
// Threads: the user-interface thread only.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/data_source.h"
#include "db/database.h"
#include "db/money.h"
#include "db/query.h"
#include "db/table.h"
#include "inquiry_side.h"

namespace inquiry {

// The document behind a transaction, in the order the drill-down looks.
enum class Document { kNone, kArchivedInvoice, kInvoice, kEntry, kCash };

// The five aging totals and the ages that put each row in its bucket.
struct AgingLimits {
  std::array<int64_t, 4> days{};  // upper limits of buckets 1 to 4, in days
};

class InquiryDataModule {
 public:
  explicit InquiryDataModule(const InquirySide& side);
  virtual ~InquiryDataModule();
  InquiryDataModule(const InquiryDataModule&) = delete;
  InquiryDataModule& operator=(const InquiryDataModule&) = delete;

  const InquirySide& side() const { return side_; }

  // ---- the connection and the datasets
  db::Database database;
  db::Query Query1;   // the parties
  db::Query Query2;   // the open items of the current party
  db::Table Table1;   // ctrl
  db::Table Table2;   // history of the current party
  db::Table glm;
  db::Table entries;      // sales / purchases and their notes (arori / apori)
  db::Table cashHeaders;  // receipts / cheques (crorihdr / cdorihdr)
  db::Table cashLines;    // the invoices they paid (croridet / cdoridet)
  db::Table fahdr, fadet, fahdra, fadeta;  // invoices, current and archived (receivables)
  db::Table ivprod, slsm;
  db::Table comp, arterms;  // data root
  db::Table balances;       // the statement balance table
  db::Table Table3;         // virmem, the aging totals record

  db::DataSource partySource{&Query1};
  db::DataSource currentSource{&Query2};
  db::DataSource historySource{&Table2};
  db::DataSource cashSource{&cashHeaders};
  db::DataSource invoiceSource{&fahdr};
  db::DataSource archiveSource{&fahdra};
  db::DataSource agingSource{&Table3};

  // ---- hooks the window sets
  std::function<bool()> showingCurrent = [] { return true; };
  // Where the lines of the type-name list come from (line `n` of the
  // window's list); the built-in lines when unset or empty.
  void setTypeNameSource(std::function<std::string(int)> lines) {
    typeNameLine_ = std::move(lines);
    forgetTypeNames();
  }
  // Runs after the open items of a new party are open (the window's part
  // of the party change).
  std::function<void()> partyChanged;

  // ---- set-up
  // Points the connection at the company directory and the data-root
  // tables at the data root.
  void setPaths(const std::string& companyDirectory, const std::string& dataRoot);
  // Every dataset, for the date formats.
  std::vector<db::DataSet*> dataSets();
  // The text of line `n` of the type-name list as the window has it (the
  // built-in line when the window's is empty), read through typeNameLine
  // once; forgetTypeNames() reads them again (after a translation).
  const std::string& typeName(int n) const;
  void forgetTypeNames() { typeNames_.clear(); }

  // ---- the transaction source: current items or history
  db::DataSet& transactions();
  db::DataSource& transactionSource();
  // Makes the document tables follow the current items or the history.
  void followTransactions(bool current);

  // ---- the statement balance table
  // Creates the session's table afresh ("Cartmp" + slot), replacing any old
  // one, and leaves it closed.
  pdx::Status createBalanceTable(int sessionId);
  // Empties the table and fills it from the transaction source: one row per
  // transaction in the source's order, with the running balance of the
  // party after it, summed exactly. The source's controls hear nothing
  // meanwhile; it ends on its first row.
  pdx::Status buildBalanceTable();

  // ---- aging
  AgingLimits agingLimits() const;
  // The party's current open items in five buckets (see aging.h), added to
  // the aging cells of the Table3 record. The open items end on the row they
  // stood on.
  pdx::Result<std::array<db::Money, 5>> addAging(pdx::Timestamp now);
  // Zero into the 24 cells of the aging record.
  pdx::Status clearAgingCells();
  // Opens virmem and starts the record that stays unposted; cancels it and
  // closes the table.
  pdx::Status holdAgingRecord();
  void releaseAgingRecord();

  // ---- drill-down
  // Which document stands behind the current transaction, by precedence:
  // archived invoice, current invoice, source entry, cash document. Opens
  // the tables it looks in and leaves them open.
  pdx::Result<Document> findDocument();
  // Opens / closes the tables the drill-down and the reports read (glm
  // stays open on the payables side, which uses it for the bank account).
  pdx::Status openDocumentTables(const std::vector<db::Table*>& tables);
  void closeDocumentTables(const std::vector<db::Table*>& tables);

  // ---- the end of the run
  // Closes every dataset and the connection; cancels the aging record.
  void closeAll();

  // ---- calculated fields (the datasets' calc-fields events)
  void transactionCalcFields(db::DataSet& ds);  // Query2CalcFields, Table2CalcFields
  void entryCalcFields(db::DataSet& ds);        // aroriCalcFields / aporiCalcFields
  void cashCalcFields(db::DataSet& ds);         // crorihdrCalcFields / cdorihdrCalcFields
  void invoiceCalcFields(db::DataSet& ds);      // fahdrCalcFields, fahdraCalcFields
  void lineCalcFields(db::DataSet& ds);         // fadetCalcFields, fadetaCalcFields
  // aroriFilterRecord: the entry of the transaction under the cursor only.
  bool entryFilterRecord(db::DataSet& ds);
  // Query1AfterScroll.
  void Query1AfterScroll(db::DataSet& ds);

  // The margin and markup of an invoice line, in percent; nullopt when the
  // denominator is zero.
  static std::optional<double> marginOf(db::Money total, db::Money cost);
  static std::optional<double> markupOf(db::Money total, db::Money cost);

 protected:
  const InquirySide& side_;

 private:
  void declareFields();
  // Visits the transactions of `source` (the current items or the history)
  // in its order: party, invoice, reference, date, type, sequence, amount.
  using RowVisitor = std::function<void(std::span<const pdx::Value* const>)>;
  pdx::Status readTransactions(db::DataSet& source, const RowVisitor& visit);
  void describeAccounts(db::DataSet& ds, int count);
  std::string yesNo(const db::Field* flag) const;
  int sessionId_ = 0;
  // What buildBalanceTable wrote from the current transactions: the
  // balance after each row of run balanceRun_ of Query2.
  std::vector<db::Money> balanceByRow_;
  uint64_t balanceRun_ = 0;
  std::function<std::string(int)> typeNameLine_;
  mutable std::vector<std::string> typeNames_;
};

// The receivables and payables data modules.
class Tkq61_dm : public InquiryDataModule {
 public:
  Tkq61_dm() : InquiryDataModule(receivablesSide()) {}
  db::Table& arori = entries;
  db::Table& crorihdr = cashHeaders;
  db::Table& croridet = cashLines;
};

class Tvd52_dm : public InquiryDataModule {
 public:
  Tvd52_dm() : InquiryDataModule(payablesSide()) {}
  db::Table& apori = entries;
  db::Table& cdorihdr = cashHeaders;
  db::Table& cdoridet = cashLines;
};

}  // namespace inquiry
