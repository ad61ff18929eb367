// Generates the books of a company: suppliers and clients with their open
// items of every type, history, source entries, cheques and receipts,
// invoices (current and archived, comment lines included), the current
// period's payables journal, products, sales representatives, employees and
// tracker databases.
//
// What it writes holds together the way the windows read it:
//  - each party's current balance (Sup_current_bal, Cli_current_bal) is the
//    sum of its open items (cap, car), exactly, in fixed point;
//  - every open item and history row of type 1, 3, 4 or 5 has its source
//    entry (apori / arori) under Reference;Party;Date = invoice;party;date
//    with Dr_cr_reference = its reference, and every type 2 row its cheque or
//    receipt (cdorihdr / crorihdr) under Reference;Party;Date = ref;party;date,
//    whose lines (cdoridet / croridet) name the invoices it paid;
//  - every receivables invoice (type 1) has its billing document, in fahdr or,
//    when older than about thirteen months, in the archive fahdra, under
//    Fahdr_doc;Fahdr_invoice = "1";invoice, whose total is the open item's;
//  - every source entry balances (its debits equal its credits);
//  - open items fall in every aging column (0-30, 31-60, 61-90, 91-120 and
//    over 120 days) of both ledgers.
//
// The same profile, seed and date give the same books.
#pragma once

#include <cstdint>

#include "demo_names.h"
#include "ledger_sink.h"
#include "starter_data.h"

namespace admin {

struct LedgerProfile {
  int language = data::kEnglish;  // the company's own texts (products, memos)
  Region region = Region::kQuebec;
  TaxRates taxes;
  // Harmonised sales tax: all sales tax goes to the GST/HST accounts.
  bool harmonizedTax = false;
  pdx::Date today;
  uint32_t seed = 1;
  int suppliers = 0;
  int clients = 0;
  int frenchPercent = 50;  // share of parties that do business in French
  // Documents per ledger. 0: each party gets 3 to 8 invoices and the notes,
  // adjustments and payments that follow. Otherwise about that many open
  // items are spread over the parties (large ledgers for benchmarks).
  int64_t payablesItems = 0;
  int64_t receivablesItems = 0;
  // Codes S00000001, C00000001 and names that may repeat, for large ledgers.
  bool numberedParties = false;
  // With numbered parties: the first client and the first supplier get
  // exactly this many open items, on top of the others, and no history (one
  // party with years of business, as the inquiries' benchmarks need).
  int64_t heavyPartyItems = 0;
  int employees = 0;
  bool trackerDatabases = false;
};

struct LedgerCounts {
  int64_t suppliers = 0, clients = 0;
  int64_t openPayables = 0, payablesHistory = 0;
  int64_t openReceivables = 0, receivablesHistory = 0;
  int64_t invoices = 0, archivedInvoices = 0;
  int64_t cheques = 0, receipts = 0;
  // The next free document numbers, for the control record.
  int64_t nextInvoice = 0, nextCheque = 0;
};

pdx::Status generateLedger(const LedgerProfile& profile, LedgerSink& sink, LedgerCounts& counts);

}  // namespace admin
