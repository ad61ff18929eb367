#include "inquiry_side.h"

namespace inquiry {

namespace {

using K = PartyField::Kind;

PartyField text(std::string field, std::string name, std::string caption) {
  return {field, name + "Label", std::move(caption), K::kText, name + "Edit"};
}
PartyField amount(std::string field, std::string name, std::string caption) {
  return {field, name + "Label", std::move(caption), K::kAmount, name + "Edit"};
}
PartyField memo(std::string field, std::string name, std::string caption) {
  return {field, name + "Label", std::move(caption), K::kMemo, name + "Memo"};
}
PartyField check(std::string field, std::string name, std::string caption) {
  return {field, "", std::move(caption), K::kCheck, name + "Check"};
}

// The address and contact fields both parties have, under their prefix.
std::vector<PartyField> generalPage(const std::string& p, const std::string& codeCaption) {
  return {text(p + "code", "Code", codeCaption),
          text(p + "name", "Name", "Name"),
          text(p + "adr1", "Address1", "Address 1"),
          text(p + "adr2", "Address2", "Address 2"),
          text(p + "city", "City", "City"),
          text(p + "prov", "Province", "Province"),
          text(p + "country", "Country", "Country"),
          text(p + "postal_code", "PostalCode", "Postal code"),
          text(p + "tel", "Telephone", "Telephone"),
          text(p + "fax", "Fax", "Fax"),
          text(p + "email", "Email", "E-mail"),
          text(p + "contact", "Contact", "Contact name"),
          text(p + "contact_tel", "ContactTelephone", "Contact telephone")};
}

InquirySide makeReceivables() {
  InquirySide s;
  s.ledger = Ledger::kReceivables;
  s.moduleCode = "kq61";
  s.databaseName = "kq61db";
  s.formName = "kq61_frm";
  s.caption = "Display of clients";
  s.helpContext = 204;

  s.partyTable = "cli";
  s.partyCode = "Cli_code";
  s.partyName = "Cli_name";
  s.partyCurrency = "Cli_currency";
  s.partyEmail = "Cli_email";
  s.partyCopies = "Cli_copies";
  s.partyQuery = {"SELECT * FROM CLI", "ORDER BY Cli_code ASC;"};
  s.searchTable = "cli";

  s.itemsTable = "car";
  s.historyTable = "carh";
  s.itemPrefix = "Car_";
  s.itemParty = "Car_client";
  s.itemsParameter = "client";
  s.itemsQuery = {"SELECT * FROM CAR", "WHERE Car_client = :client",
                  "ORDER BY Car_invoice, Car_ref, Car_date, Car_type ASC;"};
  s.balanceField = "car_balance";
  s.balanceTable = &data::tables::cartmp();

  s.entriesTable = "arori";
  s.entryParty = "Client";
  s.directCashField = "Direct_cash_sale";
  s.directCashText = "dir_cash_sale";
  s.cashTable = "crorihdr";
  s.cashLinesTable = "croridet";
  s.cashParty = "Client";
  s.notPartyField = "Not_from_cli";
  s.notPartyText = "not_from_client";
  s.nsfField = "Nsf_cheque";

  s.agingDays = "Ctrl_ar_days";
  s.agingNames = "Ctrl_ar_dname";
  s.historyFlag = "Ctrl_ar_histo";
  s.firstAgingCell = 1;

  s.typeNameLines = {"Invoice", "Debit note", "Credit note", "Adjustment", "Payment",
                     "Please enter a valid statement.", "No details exist for this transaction", "Yes", "No"};
  // The first 43 columns of the client table, in table order.
  s.searchColumns = {{"Client code", "Cli_code"},
                     {"Client name", "Cli_name"},
                     {"Address 1", "Cli_adr1"},
                     {"Address 2", "Cli_adr2"},
                     {"City", "Cli_city"},
                     {"Province", "Cli_prov"},
                     {"Country", "Cli_country"},
                     {"Postal code", "Cli_postal_code"},
                     {"Telephone", "Cli_tel"},
                     {"Fax", "Cli_fax"},
                     {"Contact", "Cli_contact"},
                     {"Contact telephone", "Cli_contact_tel"},
                     {"E-mail", "Cli_email"},
                     {"Charge to", "Cli_charge_to"},
                     {"Sales rep", "Cli_salesrep"},
                     {"Territory", "Cli_terr"},
                     {"Language", "Cli_language"},
                     {"Bank", "Cli_bank"},
                     {"Bank manager", "Cli_bank_manager"},
                     {"Bank telephone", "Cli_bank_tel"},
                     {"Terms", "Cli_terms"},
                     {"Ship via", "Cli_ship_via"},
                     {"Date created", "Cli_date_created"},
                     {"Date last sale", "Cli_date_last_sale"},
                     {"Date last payment", "Cli_date_last_pmt"},
                     {"Pay federal tax", "Cli_tax_fed"},
                     {"Pay provincial tax", "Cli_tax_pro"},
                     {"PO required", "Cli_po_req"},
                     {"Due days", "Cli_du_days"},
                     {"Credit limit", "Cli_credit_limit"},
                     {"Price list", "Cli_price_list"},
                     {"Discount", "Cli_discount"},
                     {"Current balance", "Cli_current_bal"},
                     {"Last NSF date", "Cli_nsf_date"},
                     {"Last sale amount", "Cli_last_sale"},
                     {"Sales MTD", "Cli_sales_mth"},
                     {"Sales YTD", "Cli_sales_ytd"},
                     {"Comments", "Cli_comments"},
                     {"User", "Cli_user"},
                     {"Stamp", "Cli_stamp"},
                     {"Currency", "Cli_currency"},
                     {"Credit hold", "Cli_credit_hold"},
                     {"Block Orders", "Cli_block_orders"}};
  s.statementColumns = {{"Invoice", "Car_invoice"}, {"Reference", "Car_ref"},     {"Date", "Car_date"},
                        {"Type", "strType"},        {"Due date", "Car_du_date"}, {"Amount", "Car_amount"},
                        {"Balance", "car_balance"}};
  s.generalPage = generalPage("Cli_", "Client code");
  s.controlPage = {text("Cli_salesrep", "SalesRep", "Sales rep"),
                   text("Cli_charge_to", "ChargeTo", "Bill to"),
                   text("Cli_date_created", "DateCreated", "Date created"),
                   text("Cli_date_last_sale", "DateLastSale", "Date last sale"),
                   text("Cli_date_last_pmt", "DateLastPayment", "Date last payment"),
                   text("Cli_language", "Language", "Language"),
                   text("Cli_terr", "Territory", "Territory"),
                   text("Cli_terms", "Terms", "Terms code"),
                   text("Cli_credit_limit", "CreditLimit", "Credit limit"),
                   text("Cli_du_days", "DueDays", "Due days"),
                   text("Cli_discount", "Discount", "Discount"),
                   amount("Cli_current_bal", "CurrentBalance", "Current balance"),
                   text("Cli_nsf_date", "NsfDate", "Date last NSF"),
                   amount("Cli_last_sale", "LastSale", "Last invoice amount"),
                   amount("Cli_sales_mth", "SalesMtd", "Sales MTD"),
                   amount("Cli_sales_ytd", "SalesYtd", "Sales YTD"),
                   text("Cli_accnt1", "Account1", "Sales account 1"),
                   text("Cli_accnt2", "Account2", "Sales account 2"),
                   text("Cli_accnt3", "Account3", "Sales account 3"),
                   text("Cli_format1", "Format", "Invoice format"),
                   check("Cli_tax_fed", "TaxFed", "Charge G.S.T./H.S.T."),
                   check("Cli_tax_pro", "TaxPro", "Charge P.S.T."),
                   check("Cli_credit_hold", "CreditHold", "Block invoices"),
                   check("Cli_po_req", "PoRequired", "P.O. required"),
                   check("Cli_block_orders", "BlockOrders", "Block orders"),
                   check("Cli_email_statement", "EmailStatement", "E-mail account statements"),
                   check("Cli_email_invoice", "EmailInvoice", "E-mail invoices")};
  s.commentsPage = {memo("Cli_comments", "Comments", "Comments"), memo("Cli_ship_via", "ShipVia", "Ship via"),
                    text("Cli_bank", "Bank", "Bank"), text("Cli_bank_tel", "BankTelephone", "Bank telephone")};
  s.pageCaptions = {"List of clients", "General", "Control information", "Comments ", "Client statement", "Graph"};
  s.listColumns = {"Client code", "Name", "Telephone"};
  s.addressGroup = "Client address";

  s.refreshButton = "Button1";
  s.detailButton = "Button2";
  s.graphPrintButton = "Button3";
  s.exitButton = "Exit_btn";
  s.helpButton = "Help_btn";
  s.printScreenButton = "SpeedButton1";
  s.emailButton = "SpeedButton2";
  s.quickLinkButton = "SpeedButton3";
  s.chart = "VtChart1";
  s.copiesLabel = "CopiesLabel";
  s.copiesCaption = "# Copies of invoices";

  s.entryReport = "kq61_qrfrm";
  s.cashReport = "kq61_qrfrm2";
  s.entryReportTitle = "Sales and adjustments";
  s.cashReportTitle = "Cash receipts";
  s.entryPartyCaption = "Client code";
  s.cashPartyCaption = "Client code";
  s.directCashCaption = "Direct cash sale";
  s.notPartyCaption = "Receipt not from a client";
  s.entryDebitColumn = data::tables::arori().fieldIndex("Debit1");
  s.cashDebitColumn = data::tables::crorihdr().fieldIndex("Debit1");
  return s;
}

InquirySide makePayables() {
  InquirySide s;
  s.ledger = Ledger::kPayables;
  s.moduleCode = "vd52";
  s.databaseName = "vd52db";
  s.formName = "vd52_Frm";
  s.caption = "Display of suppliers";
  s.helpContext = 303;

  s.partyTable = "sup";
  s.partyCode = "Sup_code";
  s.partyName = "Sup_name";
  s.partyCurrency = "Sup_currency";
  s.partyEmail = "Sup_email";
  s.partyCopies = "Sup_copies";
  s.partyQuery = {"SELECT * FROM sup", "ORDER BY Sup_code ASC;"};
  s.searchTable = "sup";

  s.itemsTable = "cap";
  s.historyTable = "caph";
  s.itemPrefix = "Cap_";
  s.itemParty = "Cap_supplier";
  s.itemsParameter = "supplier";
  s.itemsQuery = {"SELECT * FROM cap", "WHERE Cap_supplier = :supplier",
                  "ORDER BY  Cap_invoice, Cap_ref, Cap_date, Cap_type ASC;"};
  s.balanceField = "cap_balance";
  s.balanceTable = &data::tables::captmp();

  s.entriesTable = "apori";
  s.entryParty = "Supplier";
  s.directCashField = "Direct_cash_purchase";
  s.directCashText = "dir_cash_purch";
  s.cashTable = "cdorihdr";
  s.cashLinesTable = "cdoridet";
  s.cashParty = "Supplier";
  s.notPartyField = "Not_to_sup";
  s.notPartyText = "not_to_supplier";

  s.agingDays = "Ctrl_ap_days";
  s.agingNames = "Ctrl_ap_dname";
  s.historyFlag = "Ctrl_ap_histo";
  s.firstAgingCell = 6;

  s.typeNameLines = {"Purchase", "Debit", "Credit", "Adjustment", "Disbursement",
                     "Please enter a valid statement.", "No details exist for this transaction", "Yes", "No"};
  // Each caption searches the field it names. (The supplier table keeps
  // Sup_currency and Sup_bank_account before Sup_stamp, so the last three
  // captions are not in table order.)
  s.searchColumns = {{"Supplier code", "Sup_code"},
                     {"Supplier name", "Sup_name"},
                     {"Address 1", "Sup_adr1"},
                     {"Address 2", "Sup_adr2"},
                     {"City", "Sup_city"},
                     {"Province", "Sup_prov"},
                     {"Country", "Sup_country"},
                     {"Postal code", "Sup_postal_code"},
                     {"Telephone", "Sup_tel"},
                     {"Fax", "Sup_fax"},
                     {"Contact", "Sup_contact"},
                     {"Contact telephone", "Sup_contact_tel"},
                     {"E-mail", "Sup_email"},
                     {"Territory", "Sup_terr"},
                     {"Language", "Sup_language"},
                     {"Date created", "Sup_date_created"},
                     {"Date last purchase", "Sup_date_last_purch"},
                     {"Date last payment", "Sup_date_last_pmt"},
                     {"PO required", "Sup_po_req"},
                     {"Sup du days", "Sup_du_days"},
                     {"Credit limit", "Sup_credit_limit"},
                     {"Payment discount", "Sup_pmt_discount"},
                     {"Puchase discount", "Sup_purch_discount"},
                     {"Current balance", "Sup_current_bal"},
                     {"Last purchase", "Sup_last_purch"},
                     {"Puchases MTD", "Sup_purch_mth"},
                     {"Purchases YTD", "Sup_purch_ytd"},
                     {"Comments", "Sup_comments"},
                     {"User", "Sup_user"},
                     {"Stamp", "Sup_stamp"},
                     {"Currency", "Sup_currency"},
                     {"Bank account", "Sup_bank_account"}};
  s.statementColumns = {{"Invoice", "Cap_invoice"},   {"Reference", "Cap_ref"},   {"Type", "strType"},
                        {"Date", "Cap_date"},         {"Due date", "Cap_du_date"}, {"Amount", "Cap_amount"},
                        {"Balance", "cap_balance"}};
  s.generalPage = generalPage("Sup_", "Supplier code");
  s.controlPage = {text("Sup_language", "Language", "Language"),
                   text("Sup_terr", "Territory", "Territory"),
                   text("Sup_date_created", "DateCreated", "Date created"),
                   text("Sup_date_last_purch", "DateLastPurchase", "Date last purchase"),
                   text("Sup_date_last_pmt", "DateLastPayment", "Date last payment"),
                   text("Sup_credit_limit", "CreditLimit", "Credit limit"),
                   text("Sup_du_days", "DueDays", "Due days"),
                   text("Sup_purch_discount", "PurchaseDiscount", "Purchase discount"),
                   text("Sup_pmt_discount", "PaymentDiscount", "Payment discount"),
                   amount("Sup_current_bal", "CurrentBalance", "Current balance"),
                   amount("Sup_purch_mth", "PurchasesMtd", "Purchases MTD"),
                   amount("Sup_purch_ytd", "PurchasesYtd", "Purchases YTD"),
                   text("Sup_accnt1", "Account1", "Purchase account 1"),
                   text("Sup_accnt2", "Account2", "Purchase account 2"),
                   text("Sup_accnt3", "Account3", "Purchase account 3"),
                   check("Sup_po_req", "PoRequired", "P.O. required"),
                   check("Sup_email_po", "EmailPo", "E-mail purchase orders")};
  s.commentsPage = {memo("Sup_comments", "Comments", "Comments")};
  s.pageCaptions = {"Supplier list", "General", "Control information", "Comments", "Supplier statement", "Graph"};
  s.listColumns = {"Supplier code", "Name", "Telephone"};
  s.addressGroup = "Supplier address";

  s.refreshButton = "Button3";
  s.detailButton = "Button4";
  s.graphPrintButton = "Button5";
  s.exitButton = "Button1";
  s.helpButton = "Button2";
  s.printScreenButton = "SpeedButton3";
  s.emailButton = "SpeedButton2";
  s.quickLinkButton = "SpeedButton1";
  s.chart = "VtChart3";
  s.copiesLabel = "CopiesLabel";
  s.copiesCaption = "# Copies of purchase orders";

  s.entryReport = "vd52_qrfrm";
  s.cashReport = "vd52_qrfrm2";
  s.entryReportTitle = "Purchases";
  s.cashReportTitle = "Cash disbursements";
  s.entryPartyCaption = "Supplier code:";
  s.cashPartyCaption = "Supplier code:";
  s.directCashCaption = "Direct cash purchase";
  s.notPartyCaption = "Disbursement not to a supplier";
  s.entryDebitColumn = data::tables::apori().fieldIndex("Debit1");
  s.cashDebitColumn = data::tables::cdorihdr().fieldIndex("Debit1");
  return s;
}

}  // namespace

const InquirySide& receivablesSide() {
  static const InquirySide side = makeReceivables();
  return side;
}

const InquirySide& payablesSide() {
  static const InquirySide side = makePayables();
  return side;
}

}  // namespace inquiry
