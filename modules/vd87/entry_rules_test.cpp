// The field rules of the purchases entry, driven without a window on a real
// company directory.
#include <gtest/gtest.h>

#include "data/codes.h"
#include "db/error.h"
#include "entry_test_util.h"
#include "period_control.h"

namespace vd87::testing {
namespace {

using pdx::Value;

class RulesTest : public EntryTest {
 protected:
  void SetUp() override { openEntry(); }
  std::vector<int64_t> accounts() {
    std::vector<int64_t> out;
    for (int n = 1; n <= EntryDocument::kLines; ++n) out.push_back(doc_->account(n));
    return out;
  }
};

TEST_F(RulesTest, FreshEntryProposesTheControlAccountsAndTodaysDates) {
  EXPECT_EQ(rules_->transactionPeriod, 1);  // January, from Ctrl_ap_period
  EXPECT_EQ(accounts(), (std::vector<int64_t>{kPayable, 5000, 5010, 5020, 5030, 5100, 5300, 5400, 5500, 0, 0}));
  EXPECT_EQ(doc_->description(1), "Accounts payable");
  EXPECT_EQ(doc_->accountText(10), "0");
  EXPECT_EQ(rules_->currentLine, 10);  // the first line without an account
  EXPECT_EQ(doc_->transDate, "28/01/2001");
  EXPECT_EQ(doc_->type, EntryType::kPurchase);
  EXPECT_TRUE(doc_->totalDebit().isZero());
  EXPECT_TRUE(doc_->supplierEnabled);
  EXPECT_FALSE(doc_->supplierShown);
}

TEST_F(RulesTest, LeavingAKnownSupplierRestartsTheEntryWithItsDefaults) {
  chooseSupplier("ACME");
  doc_->invoiceNumber = "X1";
  doc_->memo = "note";
  doc_->reference = "R";
  doc_->type = EntryType::kCredit;
  keyDebit(2, "12.00");
  keyAccount(11, 5700);

  std::vector<int> currencies;
  rules_->selectCurrency = [&](int c) { currencies.push_back(c); };
  chooseSupplier("DEF");
  EXPECT_EQ(doc_->supplierCode, "DEF");
  EXPECT_TRUE(doc_->supplierShown);
  EXPECT_EQ(doc_->type, EntryType::kPurchase);
  EXPECT_EQ(doc_->invoiceNumber, "");
  EXPECT_EQ(doc_->memo, "");
  EXPECT_EQ(doc_->reference, "");
  EXPECT_TRUE(doc_->debit(2).isZero());
  EXPECT_TRUE(doc_->totalDebit().isZero());
  // Sup_accnt1 and Sup_accnt3 replace lines 2 and 4; the 0 in Sup_accnt2
  // leaves line 3 as proposed.
  EXPECT_EQ(accounts(), (std::vector<int64_t>{kPayable, 5100, 5010, 5300, 5030, 5100, 5300, 5400, 5500, 0, 0}));
  EXPECT_EQ(doc_->description(2), "Subcontracting");
  EXPECT_EQ(currencies, std::vector<int>{0});
  EXPECT_EQ(doc_->dueDate, "05/02/2001");  // terms 905 from 28/01/2001

  // A supplier in currency 3 puts that currency's A/P account on line 1.
  chooseSupplier("BRIT");
  EXPECT_EQ(doc_->account(1), kPayableCurr3);
  EXPECT_EQ(doc_->account(2), kFreight);
  EXPECT_EQ(currencies.back(), 3);
  EXPECT_EQ(doc_->dueDate, "15/02/2001");  // terms 915
}

TEST_F(RulesTest, AnUnknownSupplierIsRefusedAndAnEmptyOneIgnored) {
  chooseSupplier("");
  EXPECT_TRUE(prompts_.shown.empty());
  chooseSupplier("NOBODY");
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kNoSupplier});
  EXPECT_EQ(doc_->supplierCode, "");
  EXPECT_EQ(prompts_.focused, Control::kSupplierCode);
  EXPECT_EQ(doc_->transDate, "28/01/2001");
  EXPECT_EQ(doc_->dueDate, "28/01/2001");
}

TEST_F(RulesTest, ASupplierCodeKeyedInAnotherCaseNamesTheOneSupplierItMatches) {
  chooseSupplier("acme");
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(doc_->supplierCode, "ACME");  // shown as stored
  EXPECT_TRUE(doc_->supplierShown);
  EXPECT_EQ(doc_->dueDate, "27/02/2001");  // ACME's 30 days, from the second cursor

  // Two codes that differ only in case: the exact one is taken, and a third
  // spelling names neither.
  addSupplier(company_, {"Mix", "Mix lower", 0, 10, {}, 0, ""});
  addSupplier(company_, {"MIX", "Mix upper", 0, 20, {}, 0, ""});
  ASSERT_TRUE(dm_->sup.refresh().ok());
  ASSERT_TRUE(dm_->Sup2_Table.refresh().ok());
  chooseSupplier("Mix");
  EXPECT_EQ(dm_->sup.fieldByName("Sup_name").asString(), "Mix lower");
  prompts_.clear();
  chooseSupplier("mix");
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kNoSupplier});
  EXPECT_EQ(doc_->supplierCode, "");
}

TEST_F(RulesTest, DueDatesFollowTheTermsAndClampDaysTheMonthLacks) {
  struct Case {
    int terms;
    const char* date;
    const char* due;
  };
  const Case cases[] = {
      {30, "28/01/2001", "27/02/2001"},  {910, "15/12/2001", "10/01/2002"}, {915, "31/01/2001", "15/02/2001"},
      {0, "20/03/2001", "20/03/2001"},   {905, "20/03/2001", "05/04/2001"}, {931, "10/01/2001", "28/02/2001"},
      {930, "10/01/2004", "29/02/2004"}, {900, "10/05/2001", "01/06/2001"}, {999, "10/03/2001", "30/04/2001"},
      {-5, "20/03/2001", "15/03/2001"},  // negative terms count back
  };
  int k = 0;
  for (const Case& c : cases) {
    const std::string code = "T" + std::to_string(k++);
    addSupplier(company_, {code, "Terms " + std::to_string(c.terms), 0, c.terms, {}, 0, ""});
  }
  ASSERT_TRUE(dm_->sup.refresh().ok());
  ASSERT_TRUE(dm_->Sup2_Table.refresh().ok());
  k = 0;
  for (const Case& c : cases) {
    chooseSupplier("T" + std::to_string(k++));
    doc_->transDate = c.date;
    EXPECT_TRUE(rules_->transDateExit());
    EXPECT_EQ(doc_->dueDate, c.due) << "terms " << c.terms << " from " << c.date;
  }
}

TEST_F(RulesTest, DateExitsRefuseInvalidDatesAndCopyWithoutASupplier) {
  chooseSupplier("ACME");
  const std::string due = doc_->dueDate;
  doc_->transDate = "31/02/2001";
  EXPECT_FALSE(rules_->transDateExit());
  EXPECT_EQ(prompts_.focused, Control::kTransDate);
  EXPECT_TRUE(prompts_.shown.empty());  // no message
  EXPECT_EQ(doc_->dueDate, due);
  doc_->dueDate = "";
  EXPECT_FALSE(rules_->dueDateExit());
  EXPECT_EQ(prompts_.focused, Control::kTransDueDate);

  rules_->resetScreen();
  rules_->directCashClicked(true);
  doc_->transDate = "03/03/2001";
  EXPECT_TRUE(rules_->transDateExit());
  EXPECT_EQ(doc_->dueDate, "03/03/2001");
}

TEST_F(RulesTest, InvoiceNumberIsRequiredUpperCasedAndFixesTheSupplier) {
  chooseSupplier("ACME");
  doc_->invoiceNumber = "   ";
  EXPECT_FALSE(rules_->invoiceExit(false));
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kEnterInvoice});
  EXPECT_EQ(prompts_.shown[0].style, MessageStyle::kInformation);
  EXPECT_EQ(prompts_.focused, Control::kInvoiceNum);
  // Toward Cancel, Exit, the lookup or the supplier nothing is checked.
  prompts_.clear();
  doc_->invoiceNumber = "";
  EXPECT_TRUE(rules_->invoiceExit(true));
  EXPECT_TRUE(prompts_.shown.empty());

  doc_->invoiceNumber = "abc12é";
  EXPECT_TRUE(rules_->invoiceExit(false));
  EXPECT_EQ(doc_->invoiceNumber, "ABC12É");
  EXPECT_FALSE(doc_->supplierEnabled);
  rules_->resetScreen();
  EXPECT_TRUE(doc_->supplierEnabled);
}

TEST_F(RulesTest, DuplicateTestExaminesEveryOpenItemOfThatSupplierAndNumber) {
  // The purchase comes after an adjustment of the same number in key order.
  addOpenItem(company_, "ACME", "AB", "3", ymd(2000, 12, 1), 5.0);
  addOpenItem(company_, "ACME", "AB", "1", ymd(2001, 1, 5), 100.0);
  addOpenItem(company_, "ACME", "NOTE", "4", ymd(2001, 1, 5), 10.0, "DN1");
  addOpenItem(company_, "BRIT", "B7", "1", ymd(2001, 1, 5), 10.0);
  addOpenItem(company_, "ACME", "LONG77", "1", ymd(2001, 1, 5), 10.0);
  ASSERT_TRUE(dm_->cap.refresh().ok());

  auto exitWith = [&](EntryType type, const char* invoice) {
    chooseSupplier("ACME");
    doc_->type = type;
    doc_->invoiceNumber = invoice;
    prompts_.clear();
    return rules_->invoiceExit(false);
  };
  EXPECT_FALSE(exitWith(EntryType::kPurchase, "ab"));
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kInvoiceOnFile});
  EXPECT_EQ(prompts_.shown[0].style, MessageStyle::kPlain);
  EXPECT_EQ(doc_->invoiceNumber, "");
  EXPECT_EQ(prompts_.focused, Control::kInvoiceNum);

  EXPECT_TRUE(exitWith(EntryType::kPurchase, "NOTE"));    // only a debit note there
  EXPECT_TRUE(exitWith(EntryType::kPurchase, "B7"));      // another supplier's invoice
  EXPECT_TRUE(exitWith(EntryType::kPurchase, "LONG7"));   // a prefix of a number is another number
  EXPECT_TRUE(exitWith(EntryType::kAdjustment, "AB"));    // no test
  EXPECT_TRUE(exitWith(EntryType::kDebit, "AB"));         // needs the purchase
  EXPECT_TRUE(exitWith(EntryType::kCredit, "AB"));
  EXPECT_FALSE(exitWith(EntryType::kCredit, "NOTE"));
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kInvoiceNotFound});
  EXPECT_FALSE(exitWith(EntryType::kDebit, "B7"));

  // A direct/cash purchase without supplier is not refused for another
  // supplier's invoice.
  rules_->resetScreen();
  rules_->directCashClicked(true);
  doc_->invoiceNumber = "B7";
  EXPECT_TRUE(rules_->invoiceExit(false));
}

TEST_F(RulesTest, ReferenceIsRequiredExceptForPurchases) {
  chooseSupplier("ACME");
  EXPECT_TRUE(rules_->referenceExit(false));
  doc_->type = EntryType::kDebit;
  EXPECT_FALSE(rules_->referenceExit(false));
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kEnterReference});
  EXPECT_EQ(prompts_.focused, Control::kDebCreRef);
  EXPECT_TRUE(rules_->referenceExit(true));
  doc_->reference = "DN1";
  EXPECT_TRUE(rules_->referenceExit(false));
}

TEST_F(RulesTest, AccountExitFillsTheDescriptionOrRefusesTheAccount) {
  chooseSupplier("ACME");
  keyAccount(10, 5700);
  EXPECT_EQ(doc_->description(10), "Bank charges");
  keyAccount(11, 9999);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kNoAccount});
  EXPECT_EQ(prompts_.focused, Control::kAccount);
  EXPECT_EQ(prompts_.focusedLine, 11);
  EXPECT_EQ(doc_->account(11), 0);
  prompts_.clear();
  doc_->setAccountText(11, "abc");
  EXPECT_TRUE(rules_->accountExit(11));
  EXPECT_EQ(doc_->accountText(11), "0");
  EXPECT_TRUE(prompts_.shown.empty());

  rules_->enterLine(3);
  rules_->accountChosen(1000);
  EXPECT_EQ(doc_->account(3), 1000);
  EXPECT_EQ(doc_->description(3), "Bank");
  rules_->accountChosen(0);
  EXPECT_EQ(doc_->account(3), 1000);
}

TEST_F(RulesTest, TotalsFollowEveryCellExactly) {
  chooseSupplier("ACME");
  keyDebit(2, "30.00");
  keyDebit(2, "45.00");  // changed from 30 to 45
  EXPECT_EQ(doc_->totalDebit(), money("45"));
  // A credit on a line that held a debit clears the debit.
  keyDebit(3, "50.00");
  keyCredit(3, "50.00");
  EXPECT_TRUE(doc_->debit(3).isZero());
  EXPECT_EQ(doc_->totalDebit(), money("45"));
  EXPECT_EQ(doc_->totalCredit(), money("50"));
  keyCredit(3, "0");
  EXPECT_TRUE(doc_->totalCredit().isZero());

  keyDebit(4, "0.10");
  keyDebit(5, "0.20");
  keyDebit(2, "0");
  keyCredit(1, "0.30");
  EXPECT_EQ(doc_->totalDebit(), doc_->totalCredit());
  EXPECT_EQ(doc_->totalDebit().units(), 3000);
}

TEST_F(RulesTest, OnADebitTheApLineTakesCreditsOnlyAndOnACreditDebitsOnly) {
  chooseSupplier("ACME");
  keyDebit(1, "20.00");  // a purchase may debit the A/P line
  EXPECT_EQ(doc_->totalDebit(), money("20"));
  doc_->type = EntryType::kDebit;
  keyDebit(1, "100.00");
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kUseCredit});
  EXPECT_TRUE(doc_->debit(1).isZero());
  // The total keeps agreeing with the lines.
  EXPECT_TRUE(doc_->totalDebit().isZero());
  keyCredit(1, "100.00");
  EXPECT_EQ(doc_->totalCredit(), money("100"));

  prompts_.clear();
  doc_->type = EntryType::kCredit;
  keyCredit(1, "40.00");
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kUseDebit});
  EXPECT_TRUE(doc_->credit(1).isZero());
  EXPECT_TRUE(doc_->totalCredit().isZero());
  // Other lines take either side.
  keyCredit(2, "40.00");
  EXPECT_EQ(doc_->totalCredit(), money("40"));
}

TEST_F(RulesTest, GuardAndDirectCashPurchase) {
  EXPECT_FALSE(rules_->guardAllows());
  EXPECT_EQ(prompts_.focused, Control::kSupplierCode);
  int selected = 99;
  rules_->selectCurrency = [&](int c) { selected = c; };
  rules_->entryDate = ymd(2001, 1, 20);
  keyDebit(3, "5.00");
  rules_->directCashClicked(true);
  EXPECT_TRUE(rules_->guardAllows());
  EXPECT_EQ(selected, -1);
  EXPECT_EQ(doc_->transDate, "20/01/2001");
  EXPECT_EQ(doc_->dueDate, "20/01/2001");
  EXPECT_TRUE(doc_->debit(3).isZero());
  EXPECT_TRUE(doc_->totalDebit().isZero());
  EXPECT_EQ(doc_->account(1), kPayable);
  // Unchecking changes nothing but the box.
  keyDebit(3, "5.00");
  rules_->directCashClicked(false);
  EXPECT_EQ(doc_->debit(3), money("5"));
  EXPECT_FALSE(rules_->guardAllows());
}

TEST_F(RulesTest, CaptionsAndPeriodNumbers) {
  EXPECT_EQ(startCaption(*dm_, "Purchases current period is "), "Purchases current period is 1 : January");
  EXPECT_EQ(changedCaption(*dm_, "P ", " T ", 3), "P 3 : March");
  EXPECT_EQ(changedCaption(*dm_, "Purchases current period is ", " Transaction period is ", 0),
            "Purchases current period is 0");
  EXPECT_EQ(parsePeriod("13"), 13);
  EXPECT_EQ(parsePeriod(" 0"), 0);
  EXPECT_FALSE(parsePeriod("14"));
  EXPECT_FALSE(parsePeriod("-1"));
  EXPECT_FALSE(parsePeriod("ab"));
  EXPECT_FALSE(parsePeriod(""));
  EXPECT_EQ(invalidPeriodText(1), "Not a valid period number.");
  EXPECT_EQ(invalidPeriodText(2), "Entrez un numéro valide.");
  EXPECT_EQ(openTableErrorText("cap.DB", 2), "Erreur lors de l'ouverture de la table cap.DB");
  EXPECT_EQ(openTableErrorText("cap.DB", 1), "Error opening table cap.DB");

  // With no current payables period the chosen one is named apart.
  ASSERT_TRUE(dm_->ctrl.edit().ok());
  ASSERT_TRUE(dm_->ctrl.fieldByName("Ctrl_ap_period").setAsInteger(0).ok());
  ASSERT_TRUE(dm_->ctrl.post().ok());
  EXPECT_EQ(changedCaption(*dm_, "P ", " T ", 4), "P 0 T 4");
}

TEST_F(RulesTest, ScratchRowIsNeverWrittenAndNewSourceEntriesStartAtZero) {
  const auto before = readRows(root_, "virmem");
  chooseSupplier("ACME");
  keyDebit(2, "77.00");
  keyCredit(1, "77.00");
  rules_->resetScreen();
  keyDebit(3, "1.00");
  closeEntry();
  EXPECT_EQ(readRows(root_, "virmem"), before);

  // A session without a row, or whose row another program holds, keys into
  // a row of its own that is never stored either.
  openEntry();
  auto other = pdx::Directory::open(root_, pdx::Env::unsynced());
  ASSERT_TRUE(other.ok());
  auto held = (*other)->openTable("virmem");
  ASSERT_TRUE(held.ok());
  ASSERT_TRUE((*held)->findKey({Value::integer(2)}).ok());
  ASSERT_TRUE((*held)->edit().ok());
  ASSERT_TRUE(dm_->holdScratchRow(2).ok());
  EXPECT_EQ(dm_->virmem.state(), db::DataSet::State::kInsert);
  ASSERT_TRUE(dm_->holdScratchRow(42).ok());
  EXPECT_EQ(dm_->virmem.state(), db::DataSet::State::kInsert);
  rules_->resetScreen();
  keyDebit(2, "3.00");
  closeEntry();
  EXPECT_EQ(readRows(root_, "virmem"), before);

  openEntry();
  ASSERT_TRUE(dm_->apori.append().ok());
  for (int k = 1; k <= 15; ++k) {
    const std::string n = std::to_string(k);
    EXPECT_EQ(dm_->apori.fieldByName("Account" + n).value(), Value::integer(0));
    EXPECT_EQ(dm_->apori.fieldByName("Debit" + n).value(), Value::number(0.0));
    EXPECT_EQ(dm_->apori.fieldByName("Credit" + n).value(), Value::number(0.0));
  }
  EXPECT_TRUE(dm_->apori.fieldByName("Reference").isNull());
  EXPECT_TRUE(dm_->apori.fieldByName("Date").isNull());
  EXPECT_TRUE(dm_->apori.fieldByName("Seq").isNull());
  EXPECT_TRUE(dm_->apori.fieldByName("Direct_cash_purchase").isNull());
  ASSERT_TRUE(dm_->apori.cancel().ok());
}

TEST_F(RulesTest, LinesIgnoreNumbersOutsideOneToEleven) {
  doc_->setAccount(0, 5);
  doc_->setAccount(12, 5);
  doc_->setDebit(12, money("3"));
  EXPECT_EQ(doc_->account(0), 0);
  EXPECT_EQ(doc_->account(12), 0);
  EXPECT_TRUE(doc_->debit(12).isZero());
  EXPECT_EQ(doc_->description(-1), "");
  EXPECT_EQ(EntryDocument::debitField(8), std::string("curr_8"));
  EXPECT_EQ(EntryDocument::creditField(11), std::string("Curr_24"));
}

}  // namespace
}  // namespace vd87::testing
