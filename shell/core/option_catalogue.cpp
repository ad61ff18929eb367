#include "option_catalogue.h"

namespace shell {

namespace {

using G = std::vector<Option>;

std::vector<ApplicationMenu> build() {
  std::vector<ApplicationMenu> m(8);

  m[0] = {"GeneralLedger1", "General ledger", 0, {"qg20", "qg33", "qg37"}, {}};
  m[0].groups[0] = G{{"Maintenance of accounts", "qg12"}, {"Maintenance of budgets", "qg11"},
                     {"Maintenance of financial statements", "qg10"}, {"Maintenance of reports", "qg13"}};
  m[0].groups[1] = G{{"General journal entries", "qg20"}, {"Transaction journal entries", "qg21"},
                     {"Bank reconciliation", "qg22"}, {"Cash transactions", "qg23"}};
  m[0].groups[2] = G{{"Display of accounts", "qg37"}, {"Transaction journals", "qg31"}, {"General journal", "qg32"},
                     {"Trial balance", "qg33"}, {"General ledger", "qg34"}, {"Financial statements", "qg35"},
                     {"Budgets", "qg36"}, {"GST/HST and QST report", "qg30"}, {"Chart of accounts", "qg38"},
                     {"Print reports", "qg39"}};
  m[0].groups[3] = G{{"Update general journal", "qg40"}, {"Update transaction journals", "qg41"},
                     {"End of month procedure", "qg42"}, {"End of year procedure", "qg43"}};

  m[1] = {"AccountsReceivable1", "Accounts receivable", 1, {"kq10", "kq16", "kq61"}, {}};
  m[1].groups[0] = G{{"Maintenance of clients", "kq15"}, {"Maintenance of salesreps", "kq11"},
                     {"Maintenance of reports", "kq12"}};
  m[1].groups[1] = G{{"Sales and adjustments ", "kq10"}, {"Cash receipts", "kq16"}};
  m[1].groups[2] = G{{"Display of clients", "kq61"}, {"Aging of accounts", "kq31"}, {"Account statements", "kq32"},
                     {"Client labels", "kq33"}, {"Print reports", "kq34"}, {"List of clients", "kq35"},
                     {"List of deposits", "kq36"}};
  m[1].groups[3] = G{{"Suspend client credit", "kq40"}, {"End of month procedure", "kq41"},
                     {"End of year procedure", "kq42"}, {"Purge client history", "kq43"}};

  m[2] = {"AccountsPayable1", "Accounts payable", 2, {"vd87", "vd10", "vd52"}, {}};
  m[2].groups[0] = G{{"Maintenance of suppliers", "vd14"}, {"Maintenance of reports", "vd11"}};
  m[2].groups[1] = G{{"Purchases", "vd87"}, {"Cash disbursements", "vd10"}, {"Edit cheque entries", "vd21"},
                     {"Recurring cheque entries", "vd22"}};
  m[2].groups[2] = G{{"Display of suppliers", "vd52"}, {"Aging of accounts", "vd31"},
                     {"List of cheques to be issued", "vd32"}, {"List of recurring cheques", "vd33"},
                     {"Supplier labels", "vd34"}, {"Print reports", "vd35"}, {"List of suppliers", "vd36"}};
  m[2].groups[3] = G{{"Print and update cheques", "vd40"}, {"End of month procedure", "vd41"},
                     {"End of year procedure", "vd42"}, {"Purge supplier history", "vd43"}};

  m[3] = {"Invoicing1", "Invoicing", 4, {"fa20", "fa31", "fa30"}, {}};
  m[3].groups[0] = G{{"Maintenance of products", "fa10"}};
  m[3].groups[1] = G{{"Invoice/Order/Quote entry", "fa20"}, {"Service invoice entry", "fa21"}};
  m[3].groups[2] = G{{"Display Invoices/Orders/Quotes", "fa30"}, {"Invoice/Order/Quote register", "fa31"},
                     {"List of Invoices/Orders/Quotes", "fa32"}, {"Shipping labels", "fa33"},
                     {"Commissions report", "fa34"}};
  m[3].groups[3] = G{{"Purge Orders/Quotes", "fa40"}, {"End of month procedure", "fa41"},
                     {"Purge invoice history", "fa42"}};

  m[4] = {"SystemManager1", "System manager", 3, {}, {}};
  m[4].groups[0] = G{{"Maintenance of parameters", "zk14"}, {"Maintenance of users", "zk11"},
                     {"Maintenance of companies", "zk12p"}, {"Maintenance of statement format", "zk13"},
                     {"Maintenance of cheque format", "zk15"}, {"Maintenance of invoice/order/quote format", "zk16"},
                     {"Maintenance of printers", "zk17"}};
  m[4].groups[2] = G{{"List of companies", "zk30"}, {"List of users", "zk31"}};

  m[5] = {"Payroll1", "Payroll", 5, {"xw30", "xw31", "xw32", "xw400", "xw401"}, {}};
  m[5].groups[0] = G{{"Maintenance of employees", "xw403"}, {"Maintenance of reports", "xw11"},
                     {"Maintenance of tax rates", "xw12"}, {"Maintenance of Relevé 1 amounts", "xw13"},
                     {"Maintenance of T4 amounts", "xw14"}, {"Maintenance of Relevé 1 format", "xw15"},
                     {"Maintenance of T4 format", "xw16"}, {"Maintenance of cheque format", "xw17"},
                     {"Maintenance of work codes", "xw18"}, {"Maintenance of departments", "xw19"},
                     {"Maintenance of record of employment", "xw20"}, {"Maintenance of controls", "xw21"},
                     {"Maintenance of pay types", "xw22"}, {"Maintenance of union dues", "xw23"},
                     {"Maintenance of metier codes", "xw24"}};
  m[5].groups[1] = G{{"Payroll entry", "xw30"}, {"Manual payroll modifications", "xw27"}};
  m[5].groups[2] = G{{"Display of employees", "xw26"}, {"List of payroll entries", "xw31"},
                     {"Payroll register", "xw32"}, {"Print reports", "xw33"}, {"Remittance report", "xw34"},
                     {"History register", "xw35"}, {"Print CCQ report", "xw36"}};
  m[5].groups[3] = G{{"Print payroll cheques", "xw400"}, {"Update payroll entries", "xw401"},
                     {"End of year procedure", "xw402"}, {"Print Relevé 1 slips", "xw10"},
                     {"Print T4 slips", "xw404"}, {"Create payroll files", "xw405"},
                     {"Print record of employment", "xw406"}};

  m[6] = {"Tracker1", "Tracker", 6, {}, {}};
  m[6].groups[0] = G{{"Maintenance of files", "trk10"}, {"Maintenance of reports", "trk11"},
                     {"Maintenance of statement format", "trk12"}};
  m[6].groups[1] = G{{"Enter transactions", "trk20"}};
  m[6].groups[2] = G{{"Display of files", "trk30"}, {"Print reports", "trk31"}, {"List of transactions", "trk32"},
                     {"Print aging", "trk33"}, {"Print statements", "trk34"}, {"Print labels", "trk35"}};
  m[6].groups[3] = G{{"End of month procedure", "trk40"}, {"End of year procedure", "trk41"}};

  m[7] = {"JobCost1", "Job cost", 9, {"jc20"}, {}};
  m[7].groups[0] = G{{"Maintenance of controls", "jc10"}, {"Maintenance of projects", "jc11"},
                     {"Projects budgets entry", "jc12"}, {"Maintenance of phases", "jc13"},
                     {"Maintenance of elements", "jc14"}, {"Maintenance of sectors", "jc15"},
                     {"Maintenance of units", "jc16"}, {"Maintenance of reports", "jc17"},
                     {"Maintenance of stats. reports", "jc18"}};
  m[7].groups[1] = G{{"Transaction entry", "jc20"}};
  m[7].groups[2] = G{{"Display of projects", "jc30"}, {"List of transactions", "jc31"}, {"Print reports", "jc32"},
                     {"Print stats. reports", "jc33"}, {"Cost sheet report", "jc34"},
                     {"Pre-invoicing report", "jc35"}, {"Purchase order reconciliation", "jc36"},
                     {"List of projects", "jc37"}, {"List of phases", "jc38"}, {"List of elements", "jc39"}};
  m[7].groups[3] = G{{"Update transactions", "jc40"}, {"End of month procedure", "jc41"},
                     {"End of year procedure", "jc42"}};
  return m;
}

}  // namespace

const std::vector<ApplicationMenu>& applicationMenus() {
  static const std::vector<ApplicationMenu> menus = build();
  return menus;
}

LibraryChoice libraryFor(const QString& code) {
  struct Shared {
    const char* code;
    const QString* library;
    const char* qualifier;
  };
  static const Shared shared[] = {
      {"qg13", &codes::kReportMaintenance, "gl"}, {"qg39", &codes::kReportPrinting, "gl"},
      {"kq12", &codes::kReportMaintenance, "ar"}, {"kq34", &codes::kReportPrinting, "ar"},
      {"vd11", &codes::kReportMaintenance, "ap"}, {"vd35", &codes::kReportPrinting, "ap"},
      {"xw11", &codes::kReportMaintenance, "pa"}, {"xw33", &codes::kReportPrinting, "pa"},
  };
  for (const Shared& s : shared)
    if (code == QLatin1String(s.code)) return {*s.library, QString::fromLatin1(s.qualifier)};
  return {code, {}};
}

}  // namespace shell
