// The two inquiries, receivables (kq61, "Display of clients") and payables
// (vd52, "Display of suppliers"), are one design over two ledgers. What
// differs between them is written down here, once: the tables and their
// fields, the control-record fields of aging and history, the scratch cells,
// the built-in texts, and the names of the window's components that the
// translation tables address. Everything else (data module, window,
// reports) reads these descriptions instead of repeating itself per side.
//
// The descriptions are built once and immutable afterwards.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/table_def.h"

namespace inquiry {

enum class Ledger { kReceivables, kPayables };

// A field of the party's table shown on the window's information pages.
struct PartyField {
  enum class Kind { kText, kMemo, kCheck, kAmount };
  std::string field;    // "Cli_city"
  std::string label;    // component name of the caption ("CityLabel")
  std::string caption;  // design text, in English
  Kind kind = Kind::kText;
  std::string control;  // component name of the bound control ("CityEdit")
};

// One of the searchable columns: its caption in the "Select a field" list
// and the field it searches.
struct SearchColumn {
  std::string caption;
  std::string field;
};

struct InquirySide {
  Ledger ledger = Ledger::kReceivables;
  bool receivables() const { return ledger == Ledger::kReceivables; }

  // ---- module
  std::string moduleCode;    // "kq61": library, translation table prefix
  std::string databaseName;  // "kq61db"
  std::string formName;      // component name of the window ("kq61_frm")
  std::string caption;       // "Display of clients"
  int helpContext = 0;

  // ---- parties
  std::string partyTable;      // "cli"
  std::string partyCode;       // "Cli_code"
  std::string partyName;       // "Cli_name"
  std::string partyCurrency;   // "Cli_currency"
  std::string partyEmail;      // "Cli_email"
  std::string partyCopies;     // "Cli_copies"
  std::vector<std::string> partyQuery;  // the list's query text, by lines
  std::string searchTable;     // the table as the search texts name it ("cli")

  // ---- open items and their history
  std::string itemsTable;    // "car"
  std::string historyTable;  // "carh"
  std::string itemPrefix;    // "Car_"
  std::string itemParty;     // "Car_client"
  std::string itemsParameter;  // "client"
  std::vector<std::string> itemsQuery;  // by lines, with the parameter
  std::string balanceField;  // calculated running balance ("car_balance")
  const data::TableDef* balanceTable = nullptr;  // cartmp / captmp
  std::string item(const std::string& suffix) const { return itemPrefix + suffix; }

  // ---- source entries (sales and notes / purchases and notes)
  std::string entriesTable;      // "arori"
  std::string entryParty;        // "Client"
  std::string directCashField;   // "Direct_cash_sale"
  std::string directCashText;    // calculated yes/no ("dir_cash_sale")
  int entryAccounts = 15;

  // ---- cash documents (receipts / disbursements)
  std::string cashTable;         // "crorihdr"
  std::string cashLinesTable;    // "croridet"
  std::string cashParty;         // "Client"
  std::string notPartyField;     // "Not_from_cli"
  std::string notPartyText;      // calculated ("not_from_client")
  std::string nsfField;          // "Nsf_cheque"; empty on the payables side
  int cashAccounts = 20;

  // ---- control record
  std::string agingDays;   // "Ctrl_ar_days" (1 to 4 used)
  std::string agingNames;  // "Ctrl_ar_dname" (1 to 5)
  std::string historyFlag;  // "Ctrl_ar_histo"
  int firstAgingCell = 1;   // Curr_1 ... Curr_5 of virmem
  std::string agingCell(int bucket) const { return "Curr_" + std::to_string(firstAgingCell + bucket); }

  // ---- texts
  // The built-in lines of the hidden list: type names 0 to 4, the invalid
  // search and no-details messages, the words yes and no.
  std::vector<std::string> typeNameLines;
  std::vector<SearchColumn> searchColumns;
  // The captions of the statement grid, in order, with their fields.
  std::vector<std::pair<std::string, std::string>> statementColumns;
  std::vector<PartyField> generalPage;
  std::vector<PartyField> controlPage;
  std::vector<PartyField> commentsPage;
  std::array<std::string, 6> pageCaptions;
  std::array<std::string, 3> listColumns;  // the party list's titles
  std::string addressGroup;                // caption of the address group

  // ---- component names that differ between the two windows
  std::string refreshButton, detailButton, graphPrintButton, exitButton, helpButton;
  std::string printScreenButton, emailButton, quickLinkButton;
  std::string chart;  // the aging chart ("VtChart1")
  std::string copiesLabel;    // caption of the copies spin box
  std::string copiesCaption;

  // ---- reports
  std::string entryReport;   // "kq61_qrfrm"
  std::string cashReport;    // "kq61_qrfrm2"
  std::string entryReportTitle;  // "Sales and adjustments"
  std::string cashReportTitle;   // "Cash receipts"
  std::string entryPartyCaption;  // "Client code"
  std::string cashPartyCaption;
  std::string directCashCaption;  // "Direct cash sale"
  std::string notPartyCaption;    // "Receipt not from a client"
  // The column (counted from 0) of Debit1 in the entries and the cash
  // headers: value controls of distribution line n carry first + n - 1.
  int entryDebitColumn = 24;
  int cashDebitColumn = 27;
};

const InquirySide& receivablesSide();
const InquirySide& payablesSide();

}  // namespace inquiry
