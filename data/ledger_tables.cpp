// Layouts of the tables of a company directory: the ledger tables, the
// tracker databases and the per-session work tables. Fields are in table
// order; the comment above each layout says which key it has and why.
#include "data/table_def.h"
#include "layout_builder.h"

namespace data::tables {

using detail::LayoutBuilder;
using F = pdx::FieldType;

// Client master. Key Cli_code: one row per client, read in code order.
const TableDef& cli() {
  static const TableDef def = LayoutBuilder("cli", Location::kCompany)
      .alpha("Cli_code", 10)
      .alpha("Cli_name", 60)
      .run("Cli_adr", 1, 2, F::kAlpha, 40)
      .alpha("Cli_city", 40)
      .alpha("Cli_prov", 40)
      .alpha("Cli_country", 40)
      .alpha("Cli_postal_code", 30)
      .alpha("Cli_tel", 30)
      .alpha("Cli_fax", 30)
      .alpha("Cli_contact", 40)
      .alpha("Cli_contact_tel", 30)
      .alpha("Cli_email", 60)
      .alpha("Cli_charge_to", 12)
      .alpha("Cli_salesrep", 12)
      .alpha("Cli_terr", 12)
      .alpha("Cli_language", 1)
      .alpha("Cli_bank", 40)
      .alpha("Cli_bank_manager", 40)
      .alpha("Cli_bank_tel", 30)
      .longInt("Cli_terms")
      .memo("Cli_ship_via", 40)
      .date("Cli_date_created")
      .date("Cli_date_last_sale")
      .date("Cli_date_last_pmt")
      .logical("Cli_tax_fed")
      .logical("Cli_tax_pro")
      .logical("Cli_po_req")
      .longInt("Cli_du_days")
      .longInt("Cli_credit_limit")
      .longInt("Cli_price_list")
      .number("Cli_discount")
      .money("Cli_current_bal")
      .date("Cli_nsf_date")
      .money("Cli_last_sale")
      .money("Cli_sales_mth")
      .money("Cli_sales_ytd")
      .memo("Cli_comments", 200)
      .alpha("Cli_user", 10)
      .timestamp("Cli_stamp")
      .longInt("Cli_currency")
      .logical("Cli_credit_hold")
      .logical("Cli_block_orders")
      .logical("Cli_email_statement")
      .logical("Cli_email_invoice")
      .run("Cli_accnt", 1, 3, F::kLong)
      .longInt("Cli_copies")
      .run("Cli_format", 1, 3, F::kAlpha, 40)
      .key(1)
      .indexes({"Cli_code"})
      .build();
  return def;
}

// Supplier master. Key Sup_code: one row per supplier, read in code order.
const TableDef& sup() {
  static const TableDef def = LayoutBuilder("sup", Location::kCompany)
      .alpha("Sup_code", 10)
      .alpha("Sup_name", 60)
      .run("Sup_adr", 1, 2, F::kAlpha, 40)
      .alpha("Sup_city", 40)
      .alpha("Sup_prov", 40)
      .alpha("Sup_country", 40)
      .alpha("Sup_postal_code", 30)
      .alpha("Sup_tel", 30)
      .alpha("Sup_fax", 30)
      .alpha("Sup_contact", 40)
      .alpha("Sup_contact_tel", 30)
      .alpha("Sup_email", 60)
      .alpha("Sup_terr", 12)
      .alpha("Sup_language", 1)
      .date("Sup_date_created")
      .date("Sup_date_last_purch")
      .date("Sup_date_last_pmt")
      .logical("Sup_po_req")
      .longInt("Sup_du_days")
      .longInt("Sup_credit_limit")
      .number("Sup_pmt_discount")
      .number("Sup_purch_discount")
      .money("Sup_current_bal")
      .money("Sup_last_purch")
      .money("Sup_purch_mth")
      .money("Sup_purch_ytd")
      .memo("Sup_comments", 200)
      .alpha("Sup_user", 10)
      .longInt("Sup_currency")
      .longInt("Sup_bank_account")
      .timestamp("Sup_stamp")
      .logical("Sup_email_po")
      .run("Sup_accnt", 1, 3, F::kLong)
      .longInt("Sup_copies")
      .key(1)
      .indexes({"Sup_code"})
      .build();
  return def;
}

// Receivables open items. Key: client, invoice, reference, date, type. A
// document of a client is one row; the same invoice carries its payments,
// credits and adjustments under their own reference or type. Car_seq is a plain
// number here, so it cannot widen the key.
const TableDef& car() {
  static const TableDef def = LayoutBuilder("car", Location::kCompany)
      .alpha("Car_client", 10)
      .alpha("Car_invoice", 10)
      .alpha("Car_ref", 10)
      .date("Car_date")
      .alpha("Car_type", 1)
      .longInt("Car_seq")
      .date("Car_du_date")
      .money("Car_amount")
      .memo("Car_memo", 200)
      .alpha("Car_slsm", 10)
      .money("Car_pro_tax")
      .money("Car_fed_tax")
      .alpha("Car_user", 10)
      .timestamp("Car_stamp")
      .key(5)
      .indexes({"Car_client", "Car_client;Car_invoice"})
      .build();
  return def;
}

// Receivables history. Key: the five fields of car plus the autoincrement
// Car_seq, because history keeps every document ever closed and the same
// reference can come back (a cheque number reused after years); ranges on
// Car_client still use the key.
const TableDef& carh() {
  static const TableDef def = LayoutBuilder("carh", Location::kCompany)
      .alpha("Car_client", 10)
      .alpha("Car_invoice", 10)
      .alpha("Car_ref", 10)
      .date("Car_date")
      .alpha("Car_type", 1)
      .autoInc("Car_seq")
      .date("Car_du_date")
      .money("Car_amount")
      .memo("Car_memo", 200)
      .alpha("Car_slsm", 10)
      .money("Car_pro_tax")
      .money("Car_fed_tax")
      .alpha("Car_user", 10)
      .timestamp("Car_stamp")
      .key(6)
      .indexes({"Car_client"})
      .build();
  return def;
}

// Payables open items. Key: supplier, invoice, reference, date, type, so that
// the entry window's duplicate test is a partial-key search on supplier and
// invoice, and a second open item with the same five values is refused as a key
// violation (the posting then stores it again under the reference "adj").
const TableDef& cap() {
  static const TableDef def = LayoutBuilder("cap", Location::kCompany)
      .alpha("Cap_supplier", 10)
      .alpha("Cap_invoice", 10)
      .alpha("Cap_ref", 10)
      .date("Cap_date")
      .alpha("Cap_type", 1)
      .autoInc("Cap_seq")
      .date("Cap_du_date")
      .money("Cap_amount")
      .memo("Cap_memo", 200)
      .alpha("Cap_user", 10)
      .timestamp("Cap_stamp")
      .key(5)
      .indexes({"Cap_supplier", "Cap_supplier;Cap_invoice"})
      .build();
  return def;
}

// Payables history. Key: the five fields of cap plus the autoincrement
// Cap_seq, for the same reason as carh.
const TableDef& caph() {
  static const TableDef def = LayoutBuilder("caph", Location::kCompany)
      .alpha("Cap_supplier", 10)
      .alpha("Cap_invoice", 10)
      .alpha("Cap_ref", 10)
      .date("Cap_date")
      .alpha("Cap_type", 1)
      .autoInc("Cap_seq")
      .date("Cap_du_date")
      .money("Cap_amount")
      .memo("Cap_memo", 200)
      .alpha("Cap_user", 10)
      .timestamp("Cap_stamp")
      .key(6)
      .indexes({"Cap_supplier"})
      .build();
  return def;
}

// Running balances of the receivables inquiry, one private copy per session
// ("Cartmp" + slot). Key: all six fields up to Cartmp_seq, as the inquiry
// finds a transaction's balance by them. The reference is stored as
// "cartmp_ref", the spelling under which the inquiry creates its copy; field
// names are matched without regard to case.
const TableDef& cartmp() {
  static const TableDef def = LayoutBuilder("cartmp", Location::kSessionWork)
      .alpha("Cartmp_client", 10)
      .alpha("Cartmp_invoice", 10)
      .alpha("cartmp_ref", 10)
      .date("Cartmp_date")
      .alpha("Cartmp_type", 1)
      .longInt("Cartmp_seq")
      .money("Cartmp_balance")
      .key(6)
      .indexes({"Cartmp_client;Cartmp_invoice;Cartmp_ref;Cartmp_date;Cartmp_type;Cartmp_seq"})
      .build();
  return def;
}

// Running balances of the payables inquiry, keyed like cartmp.
const TableDef& captmp() {
  static const TableDef def = LayoutBuilder("captmp", Location::kSessionWork)
      .alpha("Captmp_supplier", 10)
      .alpha("Captmp_invoice", 10)
      .alpha("captmp_ref", 10)
      .date("Captmp_date")
      .alpha("Captmp_type", 1)
      .longInt("Captmp_seq")
      .money("Captmp_balance")
      .key(6)
      .indexes({"Captmp_supplier;Captmp_invoice;Captmp_ref;Captmp_date;Captmp_type;Captmp_seq"})
      .build();
  return def;
}

// Receivables source entries. The windows link on Reference;Client;Date; a
// sale and its debit and credit notes share those three values and differ only
// by Dr_cr_reference, so the key ends with the autoincrement Seq.
const TableDef& arori() {
  static const TableDef def = LayoutBuilder("arori", Location::kCompany)
      .alpha("Reference", 10)
      .alpha("Client", 10)
      .date("Date")
      .autoInc("Seq")
      .date("Due_date")
      .logical("Direct_cash_sale")
      .alpha("Trx_type", 1)
      .alpha("Dr_cr_reference", 10)
      .memo("Comments", 240)
      .run("Account", 1, 15, F::kLong)
      .run("Debit", 1, 15, F::kMoney)
      .run("Credit", 1, 15, F::kMoney)
      .timestamp("Stamp")
      .alpha("User", 20)
      .logical("DebitCredit")
      .key(4)
      .indexes({"Reference;Client;Date"})
      .build();
  return def;
}

// Payables source entries, keyed like arori (Reference;Supplier;Date, then
// Seq), since a purchase and its notes on one day share the first three.
const TableDef& apori() {
  static const TableDef def = LayoutBuilder("apori", Location::kCompany)
      .alpha("Reference", 10)
      .alpha("Supplier", 10)
      .date("Date")
      .autoInc("Seq")
      .date("Due_date")
      .logical("Direct_cash_purchase")
      .alpha("Trx_type", 1)
      .alpha("Dr_cr_reference", 10)
      .memo("Comments", 240)
      .alpha("PO", 10)
      .run("Account", 1, 15, F::kLong)
      .run("Debit", 1, 15, F::kMoney)
      .run("Credit", 1, 15, F::kMoney)
      .timestamp("Stamp")
      .alpha("User", 20)
      .logical("DebitCredit")
      .key(4)
      .indexes({"Reference;Supplier;Date"})
      .build();
  return def;
}

// Cash-receipt headers. Key Reference;Client;Date: one receipt per
// reference, client and day. Seq numbers the receipt for its lines.
const TableDef& crorihdr() {
  static const TableDef def = LayoutBuilder("crorihdr", Location::kCompany)
      .alpha("Reference", 10)
      .alpha("Client", 10)
      .date("Date")
      .autoInc("Seq")
      .logical("Not_from_cli")
      .logical("Nsf_cheque")
      .memo("Comments", 240)
      .run("Account", 1, 20, F::kLong)
      .run("Debit", 1, 20, F::kMoney)
      .run("Credit", 1, 20, F::kMoney)
      .alpha("User", 20)
      .timestamp("Stamp")
      .key(3)
      .indexes({"Reference;Client;Date"})
      .build();
  return def;
}

// Cash-receipt lines, one per invoice paid. The link
// Reference;Client;Date;Header_seq is shared by every line of a receipt, so the
// key ends with the line's autoincrement Seq.
const TableDef& croridet() {
  static const TableDef def = LayoutBuilder("croridet", Location::kCompany)
      .alpha("Reference", 10)
      .alpha("Client", 10)
      .date("Date")
      .longInt("Header_seq")
      .autoInc("Seq")
      .alpha("Invoice", 10)
      .date("Invoice_date")
      .date("Invoice_due_date")
      .money("Invoice_amount")
      .money("Invoice_payment")
      .key(5)
      .indexes({"Reference;Client;Date;Header_seq"})
      .build();
  return def;
}

// Cash-disbursement headers (cheques), keyed like crorihdr.
const TableDef& cdorihdr() {
  static const TableDef def = LayoutBuilder("cdorihdr", Location::kCompany)
      .alpha("Reference", 10)
      .alpha("Supplier", 10)
      .date("Date")
      .autoInc("Seq")
      .logical("Not_to_sup")
      .memo("Comments", 240)
      .run("Account", 1, 20, F::kLong)
      .run("Debit", 1, 20, F::kMoney)
      .run("Credit", 1, 20, F::kMoney)
      .alpha("User", 20)
      .timestamp("Stamp")
      .key(3)
      .indexes({"Reference;Supplier;Date"})
      .build();
  return def;
}

// Cash-disbursement lines, keyed like croridet.
const TableDef& cdoridet() {
  static const TableDef def = LayoutBuilder("cdoridet", Location::kCompany)
      .alpha("Reference", 10)
      .alpha("Supplier", 10)
      .date("Date")
      .longInt("Header_seq")
      .autoInc("Seq")
      .alpha("Invoice", 10)
      .date("Invoice_date")
      .date("Invoice_due_date")
      .money("Invoice_amount")
      .money("Invoice_payment")
      .key(5)
      .indexes({"Reference;Supplier;Date;Header_seq"})
      .build();
  return def;
}

// General-ledger accounts. Key Glm_account.
const TableDef& glm() {
  static const TableDef def = LayoutBuilder("glm", Location::kCompany)
      .longInt("Glm_account")
      .alpha("Glm_Description", 60)
      .alpha("Glm_type", 15)
      .alpha("Glm_summarize", 1)
      .run("Glm_budget", 1, 14, F::kMoney)
      .run("Glm_current", 1, 14, F::kMoney)
      .run("Glm_ly", 1, 14, F::kMoney)
      .key(1)
      .indexes({"Glm_account"})
      .build();
  return def;
}

// General-ledger postings. Unkeyed: the general-ledger modules append one
// row per posted line and read them in the order posted; no window here
// searches it.
const TableDef& gla() {
  static const TableDef def = LayoutBuilder("gla", Location::kCompany)
      .longInt("Gla_accnt")
      .longInt("Gla_period")
      .longInt("Gla_jrnl")
      .date("Gla_date")
      .alpha("Gla_reference", 20)
      .money("Gla_amount")
      .alpha("Gla_type", 1)
      .memo("Gla_desc", 200)
      .build();
  return def;
}

// Transaction journal headers. Key: period, journal, reference, date, the
// header a posting finds or creates.
const TableDef& tjlh() {
  static const TableDef def = LayoutBuilder("tjlh", Location::kCompany)
      .longInt("Tjlh_period")
      .longInt("Tjlh_journal")
      .alpha("Tjlh_reference", 30)
      .date("Tjlh_date")
      .alpha("Tjlh_type", 30)
      .money("Tjlh_tot_debit")
      .money("Tjlh_tot_credit")
      .memo("Tjlh_memo", 240)
      .alpha("Tjlh_user", 10)
      .timestamp("Tjlh_stamp")
      .key(4)
      .indexes({"Tjlh_period;Tjlh_journal;Tjlh_reference;Tjlh_date"})
      .build();
  return def;
}

// Transaction journal lines. The first four fields repeat the header's key,
// so a header's lines form one range; the autoincrement Tjld_autoinc ends the
// key and keeps the lines in the order posted.
const TableDef& tjld() {
  static const TableDef def = LayoutBuilder("tjld", Location::kCompany)
      .longInt("Tjld_period")
      .longInt("Tjld_journal")
      .alpha("Tjld_reference", 30)
      .date("Tjld_date")
      .autoInc("Tjld_autoinc")
      .longInt("Tjld_account")
      .money("Tjld_debit")
      .money("Tjld_credit")
      .alpha("Tjld_description", 60)
      .key(5)
      .indexes({"Tjld_period;Tjld_journal;Tjld_reference;Tjld_date"})
      .build();
  return def;
}

// Company control record: a single row, unkeyed. Ctrl_dollars1 and
// Ctrl_cents1 (the currency's name and its fractions' name, "Dollars" and
// "Cents") come last, alpha 30 each, as long as the currency names.
const TableDef& ctrl() {
  static const TableDef def = LayoutBuilder("ctrl", Location::kCompany)
      .longInt("Ctrl_periods")
      .longInt("Ctrl_gl_period")
      .longInt("Ctrl_ar_period")
      .longInt("Ctrl_ap_period")
      .longInt("Ctrl_fa_period")
      .logical("Ctrl_eom_gl")
      .logical("Ctrl_eom_ar")
      .logical("Ctrl_eom_ap")
      .logical("Ctrl_eom_fa")
      .logical("Ctrl_eom_pa")
      .longInt("Ctrl_date_fmt")
      .alpha("Ctrl_curr1_name", 30)
      .number("Ctrl_curr1_rate")
      .alpha("Ctrl_curr1_sign", 2)
      .alpha("Ctrl_curr2_name", 30)
      .number("Ctrl_curr2_rate")
      .alpha("Ctrl_curr2_sign", 2)
      .alpha("Ctrl_curr3_name", 30)
      .number("Ctrl_curr3_rate")
      .alpha("Ctrl_curr3_sign", 2)
      .alpha("Ctrl_curr4_name", 30)
      .number("Ctrl_curr4_rate")
      .alpha("Ctrl_curr4_sign", 2)
      .logical("Ctrl_ar_histo")
      .run("Ctrl_pl_name", 1, 5, F::kAlpha, 15)
      .alpha("Ctrl_fed_tax_no", 20)
      .alpha("Ctrl_pro_tax_no", 20)
      .run("Ctrl_pmt_name", 1, 10, F::kAlpha, 15)
      .run("Ctrl_pmt_accnt", 1, 10, F::kLong)
      .run("Ctrl_ar_days", 1, 5, F::kLong)
      .run("Ctrl_ar_dname", 1, 5, F::kAlpha, 12)
      .logical("Ctrl_ap_histo")
      .run("Ctrl_ap_days", 1, 5, F::kLong)
      .run("Ctrl_ap_dname", 1, 5, F::kAlpha, 12)
      .longInt("Ctrl_record_no")
      .number("Ctrl_fed_rate")
      .run("Ctrl_pro_rate", 1, 10, F::kNumber)
      .date("Ctrl_payroll_start_date")
      .longInt("Ctrl_ar_accnt")
      .longInt("Ctrl_Pro_tax_accnt")
      .longInt("Ctrl_fed_tax_accnt")
      .run("Ctrl_sales_accnt", 1, 8, F::kLong)
      .run("Ctrl_cr_accnt", 1, 8, F::kLong)
      .longInt("Ctrl_ar_bal_for")
      .longInt("Ctrl_ar_invoiceno")
      .run("Ctrl_bank_accnt", 1, 5, F::kLong)
      .longInt("Ctrl_ap_accnt")
      .run("Ctrl_ap_purch_accnt", 1, 8, F::kLong)
      .run("Ctrl_ap_disb_accnt", 1, 8, F::kLong)
      .run("Ctrl_ap_chqno", 1, 5, F::kLong)
      .longInt("Ctrl_fa_invoice")
      .longInt("Ctrl_fa_order")
      .longInt("Ctrl_fa_quote")
      .longInt("Ctrl_fa_backorder")
      .run("Ctrl_alt_key", 1, 2, F::kAlpha, 15)
      .longInt("Ctrl_general_sales_accnt")
      .run("Ctrl_ap_curr", 2, 5, F::kLong)
      .alpha("Ctrl_dollars1", 30)
      .alpha("Ctrl_cents1", 30)
      .build();
  return def;
}

// Period names. Key Period_no.
const TableDef& periods() {
  static const TableDef def = LayoutBuilder("periods", Location::kCompany)
      .longInt("Period_no")
      .alpha("Period_mth", 20)
      .key(1)
      .indexes({"Period_no"})
      .build();
  return def;
}

// Sales representatives. Key Slsm_code.
const TableDef& slsm() {
  static const TableDef def = LayoutBuilder("slsm", Location::kCompany)
      .alpha("Slsm_code", 10)
      .alpha("Slsm_nom", 40)
      .number("Slsm_taux1")
      .key(1)
      .indexes({"Slsm_code"})
      .build();
  return def;
}

// Products. Key: line code and item code, which together name a product on
// an invoice line (Fadet_line_code, Fadet_item_code).
const TableDef& ivprod() {
  static const TableDef def = LayoutBuilder("ivprod", Location::kCompany)
      .alpha("Ivprod_line_code", 3)
      .alpha("Ivprod_item_code", 18)
      .run("Ivprod_desc_", 1, 2, F::kAlpha, 40)
      .alpha("Ivprod_um", 3)
      .number("Ivprod_price1")
      .key(2)
      .indexes({"Ivprod_line_code;Ivprod_item_code"})
      .build();
  return def;
}

// Billing document headers. Key Fahdr_doc;Fahdr_invoice, which an open item
// reaches as Car_type;Car_invoice.
const TableDef& fahdr() {
  static const TableDef def = LayoutBuilder("fahdr", Location::kCompany)
      .alpha("Fahdr_doc", 1)
      .alpha("Fahdr_invoice", 10)
      .alpha("Fahdr_client", 10)
      .longInt("Fahdr_order")
      .date("Fahdr_date")
      .date("Fahdr_du_date")
      .alpha("Fahdr_slsm", 10)
      .number("Fahdr_comm")
      .alpha("Fahdr_shp_nom", 40)
      .run("Fahdr_shp_adr", 1, 2, F::kAlpha, 40)
      .alpha("Fahdr_shp_city", 40)
      .alpha("Fahdr_shp_prov", 40)
      .alpha("Fahdr_shp_cp", 12)
      .alpha("Fahdr_shp_country", 40)
      .alpha("Fahdr_shp_tel", 20)
      .alpha("Fahdr_charge_to", 10)
      .longInt("Fahdr_terms")
      .alpha("Fahdr_po", 20)
      .date("Fahdr_date_shp")
      .alpha("Fahdr_ship_via", 40)
      .money("Fahdr_total")
      .run("Fahdr_tax", 1, 2, F::kMoney)
      .money("Fahdr_g_total")
      .memo("Fahdr_memo", 200)
      .date("Fahdr_date_order")
      .time("Fahdr_time_order")
      .time("Fahdr_time_invoice")
      .longInt("Fahdr_status")
      .run("Fahdr_pmt", 1, 10, F::kMoney)
      .money("Fahdr_pmt_received")
      .money("Fahdr_tender")
      .alpha("Fahdr_user", 10)
      .timestamp("Fahdr_stamp")
      .longInt("Fahdr_duration")
      .date("Fahdr_start_date")
      .date("Fahdr_end_date")
      .longInt("Fahdr_type")
      .date("Fahdr_last_invoice_date")
      .date("Fahdr_next_invoice_date")
      .longInt("Fahdr_dys_mths_yrs")
      .longInt("Fahdr_store")
      .key(2)
      .indexes({"Fahdr_doc;Fahdr_invoice"})
      .build();
  return def;
}

// Billing document lines. Every line of a document shares
// Fadet_doc;Fadet_invoice, so the key ends with the autoincrement Fadet_line,
// which also keeps the lines in the order keyed.
const TableDef& fadet() {
  static const TableDef def = LayoutBuilder("fadet", Location::kCompany)
      .alpha("Fadet_doc", 1)
      .alpha("Fadet_invoice", 10)
      .autoInc("Fadet_line")
      .alpha("Fadet_line_code", 3)
      .alpha("Fadet_item_code", 18)
      .alpha("Fadet_desc", 80)
      .logical("Fadet_kit")
      .logical("Fadet_core")
      .number("Fadet_core_cost")
      .number("Fadet_qty_order")
      .number("Fadet_qty_ship")
      .logical("Fadet_bo")
      .logical("Fadet_tax1_code")
      .logical("Fadet_tax2_code")
      .number("Fadet_price")
      .number("Fadet_discount")
      .longInt("Fadet_sales_accnt")
      .longInt("Fadet_cost_accnt")
      .money("Fadet_cost")
      .money("Fadet_total")
      .run("Fadet_tax", 1, 2, F::kMoney)
      .alpha("Fadet_bin_loc", 6)
      .number("Fadet_perc_comm")
      .key(3)
      .indexes({"Fadet_doc;Fadet_invoice"})
      .build();
  return def;
}

// Archived billing document headers, keyed like fahdr.
const TableDef& fahdra() {
  static const TableDef def = LayoutBuilder("fahdra", Location::kCompany)
      .alpha("Fahdra_doc", 1)
      .alpha("Fahdra_invoice", 10)
      .alpha("Fahdra_client", 10)
      .longInt("Fahdra_order")
      .date("Fahdra_date")
      .date("Fahdra_du_date")
      .alpha("Fahdra_slsm", 10)
      .number("Fahdra_comm")
      .alpha("Fahdra_shp_nom", 40)
      .run("Fahdra_shp_adr", 1, 2, F::kAlpha, 40)
      .alpha("Fahdra_shp_city", 40)
      .alpha("Fahdra_shp_prov", 40)
      .alpha("Fahdra_shp_cp", 12)
      .alpha("Fahdra_shp_country", 40)
      .alpha("Fahdra_shp_tel", 20)
      .alpha("Fahdra_charge_to", 10)
      .longInt("Fahdra_terms")
      .alpha("Fahdra_po", 20)
      .date("Fahdra_date_shp")
      .alpha("Fahdra_ship_via", 40)
      .money("Fahdra_total")
      .run("Fahdra_tax", 1, 2, F::kMoney)
      .money("Fahdra_g_total")
      .memo("Fahdra_memo", 200)
      .date("Fahdra_date_order")
      .time("Fahdra_time_order")
      .time("Fahdra_time_invoice")
      .longInt("Fahdra_status")
      .run("Fahdra_pmt", 1, 10, F::kMoney)
      .money("Fahdra_pmt_received")
      .money("Fahdra_tender")
      .alpha("Fahdra_user", 10)
      .timestamp("Fahdra_stamp")
      .longInt("Fahdra_duration")
      .date("Fahdra_start_date")
      .date("Fahdra_end_date")
      .longInt("Fahdra_type")
      .date("Fahdra_last_invoice_date")
      .date("Fahdra_next_invoice_date")
      .longInt("Fahdra_dys_mths_yrs")
      .longInt("Fahdra_store")
      .key(2)
      .indexes({"Fahdra_doc;Fahdra_invoice"})
      .build();
  return def;
}

// Archived billing document lines, keyed like fadet. One field is not
// renamed with the others: Fadet_core_cost, which is money here where fadet
// has a number.
const TableDef& fadeta() {
  static const TableDef def = LayoutBuilder("fadeta", Location::kCompany)
      .alpha("Fadeta_doc", 1)
      .alpha("Fadeta_invoice", 10)
      .autoInc("Fadeta_line")
      .alpha("Fadeta_line_code", 3)
      .alpha("Fadeta_item_code", 18)
      .alpha("Fadeta_desc", 80)
      .logical("Fadeta_kit")
      .logical("Fadeta_core")
      .money("Fadet_core_cost")
      .number("Fadeta_qty_order")
      .number("Fadeta_qty_ship")
      .logical("Fadeta_bo")
      .logical("Fadeta_tax1_code")
      .logical("Fadeta_tax2_code")
      .number("Fadeta_price")
      .number("Fadeta_discount")
      .longInt("Fadeta_sales_accnt")
      .longInt("Fadeta_cost_accnt")
      .money("Fadeta_cost")
      .money("Fadeta_total")
      .run("Fadeta_tax", 1, 2, F::kMoney)
      .alpha("Fadeta_bin_loc", 6)
      .number("Fadeta_perc_comm")
      .key(3)
      .indexes({"Fadeta_doc;Fadeta_invoice"})
      .build();
  return def;
}

// Invoice print layout. Key Fafrm_index, which fa1frm2 refers to.
const TableDef& fa1frm() {
  static const TableDef def = LayoutBuilder("fa1frm", Location::kCompany)
      .autoInc("Fafrm_index")
      .alpha("Fafrm_field", 30)
      .alpha("Fafrm_band", 10)
      .number("Fafrm_line")
      .number("Fafrm_pos")
      .key(1)
      .indexes({"Fafrm_index"})
      .build();
  return def;
}

// Invoice page geometry: a single row, unkeyed.
const TableDef& fa1frm1() {
  static const TableDef def = LayoutBuilder("fa1frm1", Location::kCompany)
      .number("Fafrm1_page_len")
      .number("Fafrm1_page_width")
      .number("Fafrm1_header_len")
      .number("Fafrm1_detail_len")
      .number("Fafrm1_footer_len")
      .build();
  return def;
}

// Invoice print fonts. Key Index (= Fafrm_index).
const TableDef& fa1frm2() {
  static const TableDef def = LayoutBuilder("fa1frm2", Location::kCompany)
      .longInt("Index")
      .longInt("Style")
      .longInt("Size")
      .longInt("Width")
      .alpha("Fontname", 30)
      .key(1)
      .indexes({"Index"})
      .build();
  return def;
}

// Employees. Key Emp_Code; the employee list reads them in code order.
const TableDef& emp() {
  static const TableDef def = LayoutBuilder("emp", Location::kCompany)
      .alpha("Emp_Code", 12)
      .alpha("Emp_Name", 40)
      .run("Emp_Adr", 1, 2, F::kAlpha, 40)
      .alpha("Emp_City", 40)
      .alpha("Emp_province", 40)
      .longInt("Emp_prov_code")
      .alpha("Emp_Postal_code", 30)
      .alpha("Emp_Telephone", 30)
      .alpha("Emp_Occupation", 30)
      .alpha("Emp_SIN", 9)
      .date("Emp_Birth_Date")
      .date("Emp_Start_Date")
      .date("Emp_End_Date")
      .alpha("Emp_Pension", 30)
      .longInt("Emp_Dept")
      .alpha("Emp_Bank_Accnt", 30)
      .logical("Emp_Active")
      .logical("Emp_Fixed_Calc")
      .logical("Emp_Hourly")
      .longInt("Emp_pay_periods")
      .longInt("Emp_period_comm")
      .number("Emp_Hours")
      .number("Emp_Hourly_Rate")
      .number("Emp_hours_per")
      .longInt("Emp_UIC_Rate")
      .number("Emp_Vacation_Rate")
      .money("Emp_Gross")
      .money("Emp_Tax_Ben")
      .money("Emp_TD1")
      .money("Emp_MR_19_17")
      .money("Emp_MR_19C")
      .money("Emp_MR19_12")
      .money("Emp_TD3")
      .money("Emp_MR19_23")
      .money("Emp_YTD_Alimony")
      .money("Emp_Alimony")
      .longInt("Emp_Tax_Code")
      .number("Emp_Commision_Rate")
      .money("Emp_Fed_Ben")
      .money("Emp_Pro_Ben")
      .money("Emp_YTD_Fed_Ben")
      .money("Emp_YTD_Tax_Ben")
      .money("Emp_YTD_Pro_Ben")
      .money("Emp_YTD_TD3")
      .money("Emp_YTD_MR19_23")
      .money("Emp_YTD_Gross")
      .money("Emp_YTD_Hours")
      .money("Emp_YTD_No_Tax")
      .money("Emp_YTD_Comissions")
      .money("Emp_YTD_UIC")
      .money("Emp_YTD_RRQ")
      .money("Emp_YTD_CPP")
      .money("Emp_YTD_UIC_Earn")
      .money("Emp_YTD_RRQ_Earn")
      .money("Emp_YTD_CPP_Earn")
      .money("Emp_YTD_Net_Sal")
      .money("Emp_YTD_Pension")
      .money("Emp_YTD_Fed_Tax")
      .money("Emp_YTD_Pro_Tax")
      .money("Emp_YTD_Vacation")
      .money("Emp_Ded1")
      .logical("Emp_Ded1_Type")
      .logical("Emp_Ded1_Taxable")
      .money("Emp_YTD_ded1")
      .money("Emp_Ded2")
      .logical("Emp_Ded2_Type")
      .logical("Emp_Ded2_Taxable")
      .money("Emp_YTD_ded2")
      .money("Emp_Ded3")
      .logical("Emp_Ded3_Type")
      .logical("Emp_Ded3_Taxable")
      .money("Emp_YTD_Ded3")
      .money("Emp_Ded4")
      .logical("Emp_Ded4_Type")
      .logical("Emp_Ded4_Taxable")
      .money("Emp_YTD_Ded4")
      .money("Emp_Ded5")
      .logical("Emp_Ded5_Type")
      .logical("Emp_Ded5_Taxable")
      .money("Emp_YTD_Ded5")
      .money("Emp_Ded6")
      .logical("Emp_Ded6_Type")
      .logical("Emp_Ded6_Taxable")
      .money("Emp_YTD_Ded6")
      .money("Emp_Ded7")
      .logical("Emp_Ded7_Type")
      .logical("EMP_Ded7_Taxable")
      .money("Emp_YTD_Ded7")
      .money("Emp_Ded8")
      .logical("Emp_Ded8_Type")
      .logical("Emp_Ded8_Taxable")
      .money("Emp_YTD_Ded8")
      .money("Emp_Ded9")
      .logical("Emp_Ded9_Type")
      .logical("Emp_Ded9_Taxable")
      .money("Emp_YTD_Ded9")
      .money("Emp_Ded10")
      .logical("Emp_Ded10_Type")
      .logical("Emp_Ded10_Taxable")
      .money("Emp_YTD_Ded10")
      .logical("Emp_sex")
      .logical("Emp_highschool")
      .logical("Emp_college")
      .logical("Emp_universite")
      .logical("Emp_masters")
      .logical("Emp_phd")
      .alpha("Emp_college_degree", 20)
      .alpha("Emp_universite_degree", 20)
      .alpha("Emp_master_degree", 20)
      .alpha("Emp_phd_degree", 20)
      .alpha("Emp_spouse", 40)
      .shortInt("Emp_#_children")
      .alpha("Emp_Emergency_tel", 20)
      .money("Emp_starting_pay")
      .logical("Emp_starting_hourly")
      .alpha("Emp_starting_position", 20)
      .money("Emp_current_pay")
      .logical("Emp_current_hourly")
      .alpha("Emp_current_position", 20)
      .alpha("Emp_vacation_entitlement", 10)
      .date("Emp_vacation_from_1")
      .date("Emp_vacation_to_1")
      .date("Emp_vacation_from_2")
      .date("Emp_vacation_to_2")
      .date("Emp_vacation_from_3")
      .date("Emp_vacation_to_3")
      .run("Emp_training_course_", 1, 5, F::kAlpha, 20)
      .run("Emp_training_date_", 1, 5, F::kDate)
      .run("Emp_training_hours_", 1, 5, F::kNumber)
      .run("Emp_training_inhouse_", 1, 5, F::kLogical)
      .run("Emp_training_completed_", 1, 5, F::kLogical)
      .memo("Emp_carrer_objectives", 40)
      .date("Emp_next_review")
      .date("Emp_current_review")
      .logical("Emp_curr_excellent")
      .logical("Emp_curr_verygood")
      .logical("Emp_curr_good")
      .logical("Emp_curr_satisfactory")
      .logical("Emp_curr_other")
      .memo("Emp_curr_memo", 40)
      .date("Emp_prev_review")
      .logical("Emp_prev_excellent")
      .logical("Emp_prev_verygood")
      .logical("Emp_prev_good")
      .logical("Emp_prev_satisfactory")
      .logical("Emp_prev_other")
      .memo("Emp_prev_memo", 40)
      .shortInt("Emp_no_pay")
      .money("Emp_ytd_bonus")
      .money("Emp_ytd_mr19_17")
      .key(1)
      .indexes({"Emp_Code"})
      .build();
  return def;
}

// Tracker databases of a company. Key Trkdb_account.
const TableDef& trkdb() {
  static const TableDef def = LayoutBuilder("trkdb", Location::kCompany)
      .longInt("Trkdb_account")
      .alpha("Trkdb_name", 60)
      .longInt("Trkdb_type")
      .key(1)
      .indexes({"Trkdb_account"})
      .build();
  return def;
}

}  // namespace data::tables
