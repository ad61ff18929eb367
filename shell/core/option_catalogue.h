// The main menu of the shell: every application menu, its groups and options,
// and the option codes. This is the one table of option codes in the suite.
//
// Positions are binding (menu security and the shortcut lists address options
// by menu, group and position), so the order below is the menu's order.
//
// Option codes: lower-case letters and digits, one prefix per menu:
//   General ledger "qg", Accounts receivable "kq", Accounts payable "vd",
//   Invoicing "fa", System manager "zk", Payroll "xw", Tracker "trk",
//   Job cost "jc".
// A quick-access entry is named after its option + "f"; a desktop shortcut
// button after its option + "S". The company-maintenance option's code is the
// one that ends in "p" (the launch keeps that "p").
#pragma once

#include <QString>
#include <vector>

namespace shell {

struct Option {
  QString caption;  // English, as designed
  QString code;
};

struct ApplicationMenu {
  QString name;     // component name of the top-level entry
  QString caption;
  int tag = 0;      // the menu's security number
  std::vector<QString> quickAccess;  // codes of the options copied to the top of the menu
  // The four groups, in order: Edit, Transactions, Reports, Procedures.
  std::vector<Option> groups[4];
};

// The eight application menus, by their position in the menu bar (0 to 7).
const std::vector<ApplicationMenu>& applicationMenus();

inline constexpr int kPayrollMenu = 5;
inline constexpr int kTrackerMenu = 6;
inline constexpr int kJobCostMenu = 7;
inline const char* const kGroupNames[4] = {"Edit", "Transactions", "Reports", "Procedures"};

// Codes the launch procedure treats specially.
namespace codes {
inline const QString kDisplayOfClients = "kq61";
inline const QString kDisplayOfSuppliers = "vd52";
inline const QString kPurchases = "vd87";
inline const QString kParameters = "zk14";            // "Maintenance of parameters"
inline const QString kCompanyMaintenance = "zk12p";    // "Maintenance of companies"
inline const QString kCompanyCreation = "zk19";        // run on a first start (empty comp)
inline const QString kToolsMenuMaintenance = "optmenu";
inline const QString kReportMaintenance = "qg13";      // the general ledger's report libraries
inline const QString kReportPrinting = "qg39";
inline const QString kTransactionJournals = "qg31";    // needs the payroll departments too
inline const QString kCreatePayrollFiles = "xw405";
inline const QString kCreateTrackerDatabase = "trk01";
inline const QString kOpenTrackerDatabase = "trk00";   // the sub-menu of tracker databases
inline const QString kPayrollPrefix = "xw";
inline const QString kTrackerPrefix = "trk";
}  // namespace codes

// The library a code is served by, and the qualifier the launch passes: the
// "Maintenance of reports" and "Print reports" options of receivables,
// payables and payroll run the general ledger's report libraries with "ar",
// "ap" or "pa" (the general ledger's own with "gl"). Other codes map to
// themselves with no qualifier.
struct LibraryChoice {
  QString library;
  QString qualifier;
};
LibraryChoice libraryFor(const QString& code);

}  // namespace shell
