// The distribution keyed through the window the way a bookkeeper keys it:
// Enter, Tab and Shift+Tab, Up and Down, clicks into cells and on buttons,
// corrections, typing ahead. After every step the totals the window shows
// are the sums of the amounts its lines show, and a posting is refused
// exactly when they differ.
#include <gtest/gtest.h>

#include <QTest>

#include "window_test_util.h"

namespace vd87::testing {
namespace {

class KeyingTest : public WindowTest {
 protected:
  // A purchase of ACME, invoice `invoice`, keyed with Enter up to the first
  // line; the cursor ends in the credit cell of line 1 (the A/P line).
  void startPurchase(const QString& invoice = "K1") {
    openWindow();
    type("ACME");
    key(Qt::Key_Return);  // to the type
    key(Qt::Key_Return);  // to the invoice
    type(invoice);
    for (int i = 0; i < 7; ++i) key(Qt::Key_Return);  // dates, reference, line 1
    ASSERT_EQ(focused(), frm_->creditCells[0]);
    ASSERT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  }
  // From the credit cell of line 1: types `credit` there, goes with Enter to
  // the debit cell of line 2 and types `debit`, staying in that cell.
  void keyBothSides(const QString& credit, const QString& debit) {
    type(credit);
    for (int i = 0; i < 3; ++i) key(Qt::Key_Return);
    ASSERT_EQ(focused(), frm_->debitCells[1]);
    type(debit);
  }
  // Types `text` over the focused cell's amount.
  void retype(const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(focused())) edit->selectAll();
    type(text);
  }
  // A key pressed without letting the window settle first, as when the
  // user types ahead of the screen.
  void keyAhead(Qt::Key k) { QTest::keyClick(focused(), k); }
  size_t posted() { return readRows(company_, "apori").size(); }
  // The shown totals differ, and Post clicked now would be refused.
  bool shownOutOfBalance() { return shown(frm_->TotalDBEdit) != shown(frm_->TotalCDEdit); }
};

#define EXPECT_CONSISTENT(step) EXPECT_TRUE(totalsMatchLines()) << (step)

TEST_F(KeyingTest, EnterThroughABlankCellAndCorrectionsKeepTheTotals) {
  startPurchase();
  type("100");
  key(Qt::Key_Return);
  EXPECT_CONSISTENT("credit 100 on line 1, Enter");
  key(Qt::Key_Return);
  key(Qt::Key_Return);
  ASSERT_EQ(focused(), frm_->debitCells[1]);
  type("100");
  key(Qt::Key_Return);
  EXPECT_CONSISTENT("debit 100 on line 2, Enter");
  ASSERT_EQ(focused(), frm_->creditCells[1]);
  key(Qt::Key_Return);
  EXPECT_CONSISTENT("Enter through the blank credit cell");
  EXPECT_EQ(shown(frm_->TotalDBEdit), money("100"));
  EXPECT_EQ(shown(frm_->TotalCDEdit), money("100"));

  // A correction: the debit goes from 100 to 120, not to 220.
  key(Qt::Key_Up);
  key(Qt::Key_Up);
  ASSERT_EQ(focused(), frm_->debitCells[1]);
  retype("120");
  key(Qt::Key_Return);
  EXPECT_CONSISTENT("debit corrected to 120");
  EXPECT_EQ(shown(frm_->TotalDBEdit), money("120"));
  // Tab and Shift+Tab over filled cells change nothing.
  for (Qt::Key k : {Qt::Key_Backtab, Qt::Key_Backtab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab}) {
    key(k);
    EXPECT_CONSISTENT("Tab and Shift+Tab");
  }
  EXPECT_EQ(shown(frm_->TotalDBEdit), money("120"));
  EXPECT_EQ(shown(frm_->TotalCDEdit), money("100"));
}

TEST_F(KeyingTest, ClicksIntoCellsAndAmountsMovedFromSideToSide) {
  startPurchase();
  type("75");
  click(frm_->debitCells[2]);
  EXPECT_CONSISTENT("credit typed, click into another line");
  retype("50");
  click(frm_->creditCells[2]);
  EXPECT_CONSISTENT("debit typed, click into the credit of the same line");
  // A credit where the line held a debit takes the debit off.
  retype("25");
  click(frm_->debitCells[3]);
  EXPECT_CONSISTENT("credit on a line that held a debit");
  EXPECT_EQ(shown(frm_->debitCells[2]), db::Money());
  EXPECT_EQ(shown(frm_->TotalDBEdit), db::Money());
  EXPECT_EQ(shown(frm_->TotalCDEdit), money("100"));
  // A cell emptied counts for nothing.
  click(frm_->creditCells[0]);
  retype("");
  key(Qt::Key_Delete);
  key(Qt::Key_Tab);
  EXPECT_CONSISTENT("a cell emptied");
  EXPECT_EQ(shown(frm_->TotalCDEdit), money("25"));
  EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
}

TEST_F(KeyingTest, TypingAheadOfTheScreenLandsInTheRightCells) {
  startPurchase();
  // Nothing is let through between the keys.
  type("40");
  keyAhead(Qt::Key_Return);
  keyAhead(Qt::Key_Return);
  keyAhead(Qt::Key_Return);
  type("15");
  keyAhead(Qt::Key_Tab);
  keyAhead(Qt::Key_Tab);
  keyAhead(Qt::Key_Tab);
  keyAhead(Qt::Key_Tab);
  type("25");
  keyAhead(Qt::Key_Down);
  settle();
  EXPECT_CONSISTENT("typed ahead");
  EXPECT_EQ(shown(frm_->creditCells[0]), money("40"));
  EXPECT_EQ(shown(frm_->debitCells[1]), money("15"));
  EXPECT_EQ(shown(frm_->debitCells[2]), money("25"));
  EXPECT_FALSE(shownOutOfBalance());
}

TEST_F(KeyingTest, TheApLineOfADebitRefusesADebitAndTheTotalsFollow) {
  addOpenItem(company_, "ACME", "F1", "1", ymd(2001, 1, 5), 100.0);
  openWindow();
  type("ACME");
  key(Qt::Key_Return);
  key(Qt::Key_D);  // the type list: Debit
  key(Qt::Key_Return);
  ASSERT_EQ(frm_->TransType->currentIndex(), 1);
  type("F1");
  enter(frm_->debitCells[0], "100");
  key(Qt::Key_Return);
  EXPECT_EQ(messages(), QStringList{"Please enter an amount in the credit field."});
  EXPECT_CONSISTENT("a debit refused on the A/P line");
  EXPECT_EQ(shown(frm_->debitCells[0]), db::Money());
  EXPECT_EQ(shown(frm_->TotalDBEdit), db::Money());
}

TEST_F(KeyingTest, PostClickedFromInsideACellPostsWhatTheCellShows) {
  startPurchase("CELL1");
  keyBothSides("80", "79.99");
  // Still in the cell: the click leaves it first.
  click(frm_->PostBtn);
  EXPECT_CONSISTENT("Post clicked out of balance");
  EXPECT_TRUE(shownOutOfBalance());
  EXPECT_EQ(messages(), QStringList{"Invoice is out of balance."});
  EXPECT_EQ(posted(), 0u);

  click(frm_->debitCells[1]);
  retype("80");
  click(frm_->PostBtn);
  EXPECT_EQ(messages().size(), 1) << messages().join("; ").toStdString();
  ASSERT_EQ(posted(), 1u);
  const auto header = readRows(company_, "tjlh");
  ASSERT_EQ(header.size(), 1u);
  EXPECT_EQ(fixed(header[0], "Tjlh_tot_debit"), 800'000);
  EXPECT_EQ(fixed(header[0], "Tjlh_tot_credit"), 800'000);
  EXPECT_CONSISTENT("after the posting");
  EXPECT_EQ(shown(frm_->TotalDBEdit), db::Money());
}

TEST_F(KeyingTest, TheMnemonicOfPostLeavesTheCellFirst) {
  startPurchase("ALT1");
  keyBothSides("12.34", "12.34");
  mnemonic(Qt::Key_P);  // from inside the cell
  EXPECT_TRUE(dialogs_.shown.empty()) << messages().join("; ").toStdString();
  ASSERT_EQ(posted(), 1u);
  EXPECT_EQ(fixed(readRows(company_, "cap")[0], "Cap_amount"), 123'400);
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);
}

TEST_F(KeyingTest, TheBoxAndCancelStartTheLinesAgain) {
  startPurchase();
  type("10");
  key(Qt::Key_Return);
  click(frm_->CheckBox1);
  EXPECT_CONSISTENT("direct/cash purchase checked");
  EXPECT_TRUE(frm_->CheckBox1->isChecked());
  EXPECT_EQ(shown(frm_->TotalCDEdit), db::Money());
  enter(frm_->debitCells[1], "9");
  click(frm_->CancelBtn);
  EXPECT_CONSISTENT("cancelled");
  EXPECT_EQ(shown(frm_->TotalDBEdit), db::Money());
  EXPECT_FALSE(frm_->CheckBox1->isChecked());
  EXPECT_EQ(focused(), frm_->Norvadeldbedit1);
}

}  // namespace
}  // namespace vd87::testing
