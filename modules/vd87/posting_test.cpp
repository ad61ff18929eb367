// Posting through the logic layer, with every table read back through an
// engine directory of its own.
#include <gtest/gtest.h>

#include "db/error.h"
#include "entry_test_util.h"

namespace vd87::testing {
namespace {

using pdx::Value;

class PostingTest : public EntryTest {
 protected:
  void SetUp() override { openEntry(); }

  Row supplier(const std::string& code) {
    for (const Row& r : readRows(company_, "sup"))
      if (textOf(r, "Sup_code") == code) return r;
    ADD_FAILURE() << "no supplier " << code;
    return {};
  }
  size_t count(const char* table) { return readRows(company_, table).size(); }
  // Every row of the tables a posting writes, to show that nothing changed.
  std::vector<std::vector<Row>> everything() {
    std::vector<std::vector<Row>> all;
    for (const char* t : {"tjlh", "tjld", "sup", "cap", "apori"}) all.push_back(readRows(company_, t));
    return all;
  }
};

TEST_F(PostingTest, PurchaseWritesJournalSupplierOpenItemAndSourceEntry) {
  keyPurchase("ACME", "inv-100", "100.00");
  doc_->memo = "Marteaux";
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(flag_, "N");

  const auto headers = readRows(company_, "tjlh");
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(intOf(headers[0], "Tjlh_period"), 1);
  EXPECT_EQ(intOf(headers[0], "Tjlh_journal"), 3);
  EXPECT_EQ(textOf(headers[0], "Tjlh_reference"), "INV-100");
  EXPECT_EQ(headers[0].at("Tjlh_date"), Value::date(today_));
  EXPECT_EQ(fixed(headers[0], "Tjlh_tot_debit"), 1'000'000);
  EXPECT_EQ(fixed(headers[0], "Tjlh_tot_credit"), 1'000'000);
  EXPECT_EQ(textOf(headers[0], "Tjlh_memo"), "Acme Outillage\rMarteaux");
  EXPECT_EQ(textOf(headers[0], "Tjlh_user"), "MARIE");
  EXPECT_TRUE(headers[0].at("Tjlh_type").isNull());

  const auto lines = readRows(company_, "tjld");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(intOf(lines[0], "Tjld_account"), kPayable);
  EXPECT_EQ(fixed(lines[0], "Tjld_credit"), 1'000'000);
  EXPECT_EQ(fixed(lines[0], "Tjld_debit"), 0);
  EXPECT_EQ(textOf(lines[0], "Tjld_description"), "Accounts payable");
  EXPECT_EQ(intOf(lines[1], "Tjld_account"), kPurchases);
  EXPECT_EQ(fixed(lines[1], "Tjld_debit"), 1'000'000);
  EXPECT_EQ(textOf(lines[1], "Tjld_reference"), "INV-100");

  const Row sup = supplier("ACME");
  for (const char* f : {"Sup_current_bal", "Sup_last_purch", "Sup_purch_mth", "Sup_purch_ytd"})
    EXPECT_EQ(fixed(sup, f), 1'000'000) << f;
  EXPECT_EQ(sup.at("Sup_date_last_purch"), Value::date(today_));

  const auto items = readRows(company_, "cap");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(textOf(items[0], "Cap_supplier"), "ACME");
  EXPECT_EQ(textOf(items[0], "Cap_invoice"), "INV-100");
  EXPECT_TRUE(items[0].at("Cap_ref").isNull());
  EXPECT_EQ(textOf(items[0], "Cap_type"), "1");
  EXPECT_EQ(fixed(items[0], "Cap_amount"), 1'000'000);
  EXPECT_EQ(items[0].at("Cap_du_date"), Value::date(ymd(2001, 2, 27)));
  EXPECT_EQ(textOf(items[0], "Cap_memo"), "Marteaux");
  EXPECT_EQ(textOf(items[0], "Cap_user"), "MARIE");

  const auto entries = readRows(company_, "apori");
  ASSERT_EQ(entries.size(), 1u);
  const Row& a = entries[0];
  EXPECT_EQ(textOf(a, "Reference"), "INV-100");
  EXPECT_EQ(textOf(a, "Supplier"), "ACME");
  EXPECT_EQ(textOf(a, "Trx_type"), "1");
  EXPECT_EQ(a.at("DebitCredit"), Value::logical(false));
  EXPECT_EQ(a.at("Direct_cash_purchase"), Value::logical(false));
  EXPECT_EQ(a.at("Due_date"), Value::date(ymd(2001, 2, 27)));
  EXPECT_EQ(intOf(a, "Account1"), kPayable);
  EXPECT_EQ(fixed(a, "Credit1"), 1'000'000);
  EXPECT_EQ(intOf(a, "Account2"), kPurchases);
  EXPECT_EQ(fixed(a, "Debit2"), 1'000'000);
  EXPECT_EQ(intOf(a, "Account9"), 5500);
  EXPECT_EQ(intOf(a, "Account12"), 0);
  EXPECT_EQ(fixed(a, "Debit15"), 0);
  EXPECT_TRUE(a.at("PO").isNull());
  EXPECT_EQ(textOf(a, "User"), "MARIE");

  // The window is a fresh entry, dated as the document just posted.
  EXPECT_EQ(doc_->supplierCode, "");
  EXPECT_TRUE(doc_->supplierEnabled);
  EXPECT_TRUE(doc_->totalCredit().isZero());
  EXPECT_EQ(prompts_.focused, Control::kSupplierCode);
  EXPECT_EQ(rules_->entryDate, today_);
}

TEST_F(PostingTest, CreditNoteLowersTheBalanceOnly) {
  addOpenItem(company_, "DEF", "F-9", "1", ymd(2001, 1, 2), 250.0);
  ASSERT_TRUE(dm_->cap.refresh().ok());
  chooseSupplier("DEF");
  doc_->type = EntryType::kCredit;
  doc_->invoiceNumber = "F-9";
  ASSERT_TRUE(rules_->invoiceExit(false));
  doc_->reference = "CN7";
  doc_->transDate = "29/01/2001";
  ASSERT_TRUE(rules_->transDateExit());
  keyDebit(1, "40.00");
  keyCredit(2, "40.00");
  ASSERT_EQ(post(), PostResult::kPosted);

  const Row sup = supplier("DEF");
  EXPECT_EQ(fixed(sup, "Sup_current_bal"), 2'100'000);  // 250 - 40
  EXPECT_EQ(fixed(sup, "Sup_purch_ytd"), 0);
  EXPECT_TRUE(sup.at("Sup_date_last_purch").isNull());
  const auto items = readRows(company_, "cap");
  ASSERT_EQ(items.size(), 2u);
  const Row& note = textOf(items[0], "Cap_type") == "5" ? items[0] : items[1];
  EXPECT_EQ(fixed(note, "Cap_amount"), -400'000);
  EXPECT_EQ(textOf(note, "Cap_ref"), "CN7");
  EXPECT_EQ(note.at("Cap_date"), Value::date(ymd(2001, 1, 29)));
  EXPECT_EQ(textOf(readRows(company_, "apori")[0], "Dr_cr_reference"), "CN7");
  EXPECT_EQ(readRows(company_, "apori")[0].at("DebitCredit"), Value::logical(true));
  // The next entry starts on the date just posted.
  EXPECT_EQ(doc_->transDate, "29/01/2001");
}

TEST_F(PostingTest, RefusedChecksWriteNothing) {
  const auto before = everything();
  // Out of balance by a cent.
  keyPurchase("ACME", "OB1", "100.00");
  keyCredit(1, "99.99");
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kOutOfBalance});
  EXPECT_EQ(flag_, "Y");  // left set by a posting stopped at the balance

  // No invoice number.
  prompts_.clear();
  keyCredit(1, "100.00");
  doc_->invoiceNumber = " ";
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kEnterInvoice});

  // A debit note without its reference.
  prompts_.clear();
  doc_->invoiceNumber = "OB1";
  doc_->type = EntryType::kDebit;
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kEnterReference});
  EXPECT_EQ(prompts_.focused, Control::kDebCreRef);

  // An amount on an account that does not exist.
  prompts_.clear();
  doc_->type = EntryType::kPurchase;
  doc_->setAccountText(2, "9999");
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kNoAccount});
  EXPECT_EQ(prompts_.shown[0].style, MessageStyle::kError);
  EXPECT_EQ(prompts_.focusedLine, 2);

  // An A/P amount without a supplier (the box checked, then unchecked).
  prompts_.clear();
  keyAccount(2, kPurchases);
  doc_->supplierCode.clear();
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kNoSupplier});
  EXPECT_EQ(everything(), before);
}

TEST_F(PostingTest, TenCentsAndTwentyCentsBalanceThirtyCents) {
  chooseSupplier("ACME");
  doc_->invoiceNumber = "CENTS";
  ASSERT_TRUE(rules_->invoiceExit(false));
  keyDebit(2, "0.10");
  keyDebit(3, "0.20");
  keyCredit(1, "0.30");
  ASSERT_EQ(post(), PostResult::kPosted);
  const auto headers = readRows(company_, "tjlh");
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(fixed(headers[0], "Tjlh_tot_debit"), 3'000);
  EXPECT_EQ(fixed(headers[0], "Tjlh_tot_credit"), 3'000);
  EXPECT_EQ(headers[0].at("Tjlh_tot_debit"), Value::number(0.3));  // stored rounded, not 0.30000000000000004
  EXPECT_EQ(fixed(supplier("ACME"), "Sup_current_bal"), 3'000);
}

TEST_F(PostingTest, OnlyTheFirstApLineTouchesTheSupplier) {
  chooseSupplier("ACME");
  doc_->invoiceNumber = "TWO";
  ASSERT_TRUE(rules_->invoiceExit(false));
  keyDebit(2, "100.00");
  keyCredit(1, "60.00");
  keyAccount(10, kPayable);
  keyCredit(10, "40.00");
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_EQ(fixed(supplier("ACME"), "Sup_current_bal"), 600'000);
  ASSERT_EQ(count("cap"), 1u);
  EXPECT_EQ(fixed(readRows(company_, "cap")[0], "Cap_amount"), 600'000);
  EXPECT_EQ(count("tjld"), 3u);
  EXPECT_EQ(count("tjlh"), 1u);
}

TEST_F(PostingTest, ForeignCurrencyGoesToItsJournalAndControlAccount) {
  keyPurchase("BRIT", "GB-1", "80.00");
  ASSERT_EQ(doc_->account(1), kPayableCurr3);
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_EQ(intOf(readRows(company_, "tjlh")[0], "Tjlh_journal"), 34);
  for (const Row& line : readRows(company_, "tjld")) EXPECT_EQ(intOf(line, "Tjld_journal"), 34);
  EXPECT_EQ(intOf(readRows(company_, "tjld")[0], "Tjld_account"), kPayableCurr3);
  EXPECT_EQ(fixed(supplier("BRIT"), "Sup_current_bal"), 800'000);
  EXPECT_EQ(readRows(company_, "cap")[0].at("Cap_du_date"), Value::date(ymd(2001, 2, 15)));
}

TEST_F(PostingTest, DirectCashPurchaseLeavesSuppliersAlone) {
  const auto suppliers = readRows(company_, "sup");
  rules_->directCashClicked(true);
  doc_->invoiceNumber = "CASH1";
  ASSERT_TRUE(rules_->invoiceExit(false));
  // An amount on the A/P account is refused.
  keyDebit(2, "50.00");
  keyCredit(1, "50.00");
  prompts_.answers = {false};  // no memo wanted
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.numbers(), (std::vector<int>{msg::kMemoQuestion, msg::kDirectCashAp}));

  // Without a memo the user is asked for one; Yes goes back to the memo.
  prompts_.clear();
  keyCredit(1, "0");
  keyAccount(10, kBank);
  keyCredit(10, "50.00");
  prompts_.answers = {true};
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.focused, Control::kTransMemo);
  EXPECT_EQ(count("apori"), 0u);

  prompts_.clear();
  doc_->memo = "Essence";
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(readRows(company_, "sup"), suppliers);
  EXPECT_EQ(count("cap"), 0u);
  const Row a = readRows(company_, "apori")[0];
  EXPECT_TRUE(a.at("Supplier").isNull());
  EXPECT_EQ(a.at("Direct_cash_purchase"), Value::logical(true));
  EXPECT_EQ(textOf(readRows(company_, "tjlh")[0], "Tjlh_memo"), "Essence");
  EXPECT_EQ(intOf(readRows(company_, "tjlh")[0], "Tjlh_journal"), 3);
}

TEST_F(PostingTest, DirectCashPurchaseWithoutMemoWhenTheUserSaysNo) {
  rules_->directCashClicked(true);
  doc_->invoiceNumber = "CASH2";
  keyDebit(2, "10.00");
  keyAccount(10, kBank);
  keyCredit(10, "10.00");
  prompts_.answers = {false};
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kMemoQuestion});
  EXPECT_EQ(count("apori"), 1u);
  EXPECT_TRUE(readRows(company_, "tjlh")[0].at("Tjlh_memo").isNull());
}

TEST_F(PostingTest, ASecondPurchaseOfTheSameInvoiceIsRefusedEvenPastTheExit) {
  keyPurchase("ACME", "DUP", "10.00");
  ASSERT_EQ(post(), PostResult::kPosted);
  const auto before = everything();
  // The user tabbed past the invoice check (toward Cancel) and came back.
  chooseSupplier("ACME");
  doc_->invoiceNumber = "dup";
  ASSERT_TRUE(rules_->invoiceExit(true));
  keyDebit(2, "10.00");
  keyCredit(1, "10.00");
  EXPECT_EQ(post(), PostResult::kRefused);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kInvoiceOnFile});
  EXPECT_EQ(everything(), before);
}

TEST_F(PostingTest, OpenItemWithATakenKeyIsStoredAsAdj) {
  addOpenItem(company_, "ACME", "A1", "3", today_, 5.0, "R1");
  ASSERT_TRUE(dm_->cap.refresh().ok());
  chooseSupplier("ACME");
  doc_->type = EntryType::kAdjustment;
  doc_->invoiceNumber = "A1";
  doc_->reference = "R1";
  keyDebit(2, "5.00");
  keyCredit(1, "5.00");
  ASSERT_EQ(post(), PostResult::kPosted);
  const auto items = readRows(company_, "cap");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(textOf(items[0], "Cap_ref"), "R1");
  EXPECT_EQ(textOf(items[1], "Cap_ref"), "adj");
  EXPECT_EQ(fixed(items[1], "Cap_amount"), 50'000);
  EXPECT_EQ(count("apori"), 1u);
}

TEST_F(PostingTest, DocumentsOfOneInvoiceAndDayShareTheirJournalHeader) {
  keyPurchase("ACME", "SAME", "100.00");
  ASSERT_EQ(post(), PostResult::kPosted);
  chooseSupplier("ACME");
  doc_->type = EntryType::kDebit;
  doc_->invoiceNumber = "SAME";
  ASSERT_TRUE(rules_->invoiceExit(false));
  doc_->reference = "DN1";
  keyDebit(2, "20.00");
  keyCredit(1, "20.00");
  ASSERT_EQ(post(), PostResult::kPosted);
  const auto headers = readRows(company_, "tjlh");
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(fixed(headers[0], "Tjlh_tot_debit"), 1'200'000);
  EXPECT_EQ(fixed(headers[0], "Tjlh_tot_credit"), 1'200'000);
  EXPECT_EQ(count("tjld"), 4u);
  EXPECT_EQ(fixed(supplier("ACME"), "Sup_current_bal"), 1'200'000);
  EXPECT_EQ(fixed(supplier("ACME"), "Sup_purch_ytd"), 1'000'000);
}

TEST_F(PostingTest, AFailureBeforeTheCommitLeavesNothingWritten) {
  const auto before = everything();
  keyPurchase("DEF", "FAIL1", "12.34");
  posting_->beforeCommit = [] {
    throw db::DatabaseError(pdx::Status(pdx::code::kWriteError, "disk full"));
  };
  try {
    post();
    FAIL() << "the posting should have failed";
  } catch (const db::DatabaseError& e) {
    EXPECT_EQ(e.last().errorCode, pdx::code::kWriteError);
    EXPECT_NE(std::string(e.what()).find("Nothing of this document was written"), std::string::npos) << e.what();
  }
  EXPECT_EQ(everything(), before);
  // The data module shows the tables as they are, and the next try posts.
  EXPECT_EQ(dm_->sup.fieldByName("Sup_current_bal").asCurrency(), money("250"));
  EXPECT_EQ(*dm_->tjlh.recordCount(), 0);
  posting_->beforeCommit = nullptr;
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_EQ(fixed(supplier("DEF"), "Sup_current_bal"), 2'623'400);
  EXPECT_EQ(count("tjld"), 2u);
}

TEST_F(PostingTest, ASupplierHeldByAnotherUserIsWaitedForOrGivenUp) {
  auto other = pdx::Directory::open(company_, pdx::Env::unsynced());
  ASSERT_TRUE(other.ok());
  auto sup = (*other)->openTable("sup");
  ASSERT_TRUE(sup.ok());
  ASSERT_TRUE((*sup)->findKey({Value::text("ACME")}).ok());
  ASSERT_TRUE((*sup)->edit().ok());

  // Given up: nothing is written.
  const auto before = everything();
  keyPurchase("ACME", "LOCK1", "10.00");
  prompts_.answers = {false};
  EXPECT_EQ(post(), PostResult::kCancelled);
  EXPECT_EQ(prompts_.numbers(), (std::vector<int>{msg::kSupplierBusy, msg::kPostingCancelled}));
  EXPECT_EQ(everything(), before);
  EXPECT_EQ(doc_->invoiceNumber, "LOCK1");  // the entry stays for another try

  // Waited for: the other user lets go while we are asked, and the posting
  // goes through once.
  prompts_.clear();
  prompts_.onShow = [&](int number) {
    if (number == msg::kSupplierBusy) (void)(*sup)->cancel();
  };
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_EQ(prompts_.numbers(), std::vector<int>{msg::kSupplierBusy});
  EXPECT_EQ(count("apori"), 1u);
  EXPECT_EQ(fixed(supplier("ACME"), "Sup_current_bal"), 100'000);
}

TEST_F(PostingTest, RowsNameTheirAuthorWithinTheFieldWidth) {
  EXPECT_EQ(PayablesPosting::authorOf("", "Marie Tremblay"), "Marie Tremblay");
  EXPECT_EQ(PayablesPosting::authorOf("marie", "Marie Tremblay"), "marie");
  posting_->user = "Hélène Côté-Lafontaine";
  keyPurchase("ACME", "AUTH", "1.00");
  ASSERT_EQ(post(), PostResult::kPosted);
  EXPECT_EQ(textOf(readRows(company_, "tjlh")[0], "Tjlh_user"), "Hélène Côt");
  EXPECT_EQ(textOf(readRows(company_, "cap")[0], "Cap_user"), "Hélène Côt");
  EXPECT_EQ(textOf(readRows(company_, "apori")[0], "User"), "Hélène Côté-Lafontai");
}

}  // namespace
}  // namespace vd87::testing
