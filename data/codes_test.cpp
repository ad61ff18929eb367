#include "data/codes.h"

#include <gtest/gtest.h>

#include <string>

namespace data {
namespace {

pdx::Date ymd(int y, int m, int d) { return *pdx::Date::fromYmd(y, m, d); }

std::string show(std::optional<pdx::Date> date) {
  if (!date) return "none";
  int y = 0, m = 0, d = 0;
  date->toYmd(y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

TEST(TransactionTypes, CodesMapToTheTypeNameLinesInTestOrder) {
  EXPECT_EQ(typeNameLine("1"), 0);
  EXPECT_EQ(typeNameLine("4"), 1);
  EXPECT_EQ(typeNameLine("5"), 2);
  EXPECT_EQ(typeNameLine("3"), 3);
  EXPECT_EQ(typeNameLine("2"), 4);
  for (const char* bad : {"", "0", "6", "11", " 1", "a"}) EXPECT_EQ(typeNameLine(bad), -1) << '"' << bad << '"';
  for (TransactionType t : kTransactionTypeOrder)
    EXPECT_EQ(transactionTypeFromCode(transactionTypeCode(t)), t);
}

TEST(Signs, OpenItemAmountsFollowTheirType) {
  EXPECT_TRUE(amountFitsType(TransactionType::kInvoice, 100.0));
  EXPECT_FALSE(amountFitsType(TransactionType::kInvoice, -0.01));
  EXPECT_TRUE(amountFitsType(TransactionType::kCreditNote, -40.0));
  EXPECT_FALSE(amountFitsType(TransactionType::kCreditNote, 40.0));
  EXPECT_FALSE(amountFitsType(TransactionType::kPayment, 12.5));
  EXPECT_TRUE(amountFitsType(TransactionType::kDebitNote, 0.0));
  EXPECT_TRUE(amountFitsType(TransactionType::kAdjustment, -3.0));
  EXPECT_TRUE(amountFitsType(TransactionType::kAdjustment, 3.0));
  // A purchase credits the A/P line (owed grows); a credit note debits it.
  EXPECT_EQ(payablesAmountFromControlLine(0, 1'000'000), 1'000'000);
  EXPECT_EQ(payablesAmountFromControlLine(400'000, 0), -400'000);
  // A sale debits the A/R line; a receipt credits it.
  EXPECT_EQ(receivablesAmountFromControlLine(2'500'000, 0), 2'500'000);
  EXPECT_EQ(receivablesAmountFromControlLine(0, 2'500'000), -2'500'000);
}

TEST(Terms, DayCountsAddCalendarDays) {
  EXPECT_EQ(show(dueDate(ymd(2001, 1, 28), 30)), "2001-02-27");
  EXPECT_EQ(show(dueDate(ymd(2001, 1, 28), 0)), "2001-01-28");
  EXPECT_EQ(show(dueDate(ymd(2023, 12, 15), 45)), "2024-01-29");
  EXPECT_EQ(show(dueDate(ymd(2024, 2, 28), 1)), "2024-02-29");  // leap day
  EXPECT_EQ(show(dueDate(ymd(2001, 1, 28), 899)), show(pdx::Date{ymd(2001, 1, 28).days + 899}));
  // Negative terms count back from the base date.
  EXPECT_EQ(show(dueDate(ymd(2001, 1, 28), -5)), "2001-01-23");
  EXPECT_EQ(show(dueDate(ymd(1, 1, 3), -5)), "none");
}

TEST(Terms, DayOfNextMonthIgnoresTheBaseDayAndCrossesTheYear) {
  EXPECT_EQ(show(dueDate(ymd(2001, 1, 31), 915)), "2001-02-15");
  EXPECT_EQ(show(dueDate(ymd(2001, 1, 1), 915)), "2001-02-15");
  EXPECT_EQ(show(dueDate(ymd(2001, 12, 15), 910)), "2002-01-10");
  EXPECT_EQ(show(dueDate(ymd(2001, 3, 20), 905)), "2001-04-05");
}

TEST(Terms, DaysTheMonthLacksAreClampedIntoIt) {
  EXPECT_EQ(show(dueDate(ymd(2001, 1, 10), 931)), "2001-02-28");
  EXPECT_EQ(show(dueDate(ymd(2024, 1, 10), 930)), "2024-02-29");
  EXPECT_EQ(show(dueDate(ymd(2001, 3, 10), 931)), "2001-04-30");
  EXPECT_EQ(show(dueDate(ymd(2001, 4, 10), 931)), "2001-05-31");
  EXPECT_EQ(show(dueDate(ymd(2001, 4, 10), 2'000'000'000)), "2001-05-31");
  EXPECT_EQ(show(dueDate(ymd(2001, 4, 10), 900)), "2001-05-01");
}

TEST(Terms, ResultsBeyondTheCalendarAreRefused) {
  EXPECT_EQ(show(dueDate(ymd(9999, 12, 1), 915)), "none");
  EXPECT_EQ(show(dueDate(ymd(9999, 12, 1), 31)), "none");
  EXPECT_EQ(show(dueDate(ymd(9999, 12, 1), 30)), "9999-12-31");
}

TEST(Terms, EncodersStayInTheirHalfOfTheCode) {
  EXPECT_EQ(termsInDays(30), 30);
  EXPECT_EQ(termsInDays(5000), 899);  // would otherwise read as a day of month
  EXPECT_EQ(termsOnDayOfNextMonth(15), 915);
  EXPECT_EQ(termsOnDayOfNextMonth(0), 901);
}

TEST(Currencies, JournalsAndControlAccounts) {
  EXPECT_EQ(payablesJournal(0), 3);
  EXPECT_EQ(payablesJournal(1), 32);
  EXPECT_EQ(payablesJournal(3), 34);
  EXPECT_EQ(payablesJournal(4), 35);
  EXPECT_EQ(payablesJournal(5), std::nullopt);
  EXPECT_EQ(payablesJournal(-1), std::nullopt);
  EXPECT_EQ(apControlAccountField(0), "Ctrl_ap_accnt");
  EXPECT_EQ(apControlAccountField(2), "Ctrl_ap_curr3");
  EXPECT_EQ(apControlAccountField(3), "Ctrl_ap_curr4");
  EXPECT_EQ(apControlAccountField(4), "Ctrl_ap_curr5");
  EXPECT_EQ(apControlAccountField(7), std::nullopt);
  EXPECT_EQ(currencySignField(3), "Ctrl_curr3_sign");
  EXPECT_EQ(currencyRateField(1), "Ctrl_curr1_rate");
  EXPECT_EQ(currencyNameField(4), "Ctrl_curr4_name");
  EXPECT_EQ(currencySignField(0), std::nullopt);  // the home sign is a regional setting
}

TEST(AccountTypes, DisplayFollowsEachLanguagesTable) {
  struct Case {
    const char* stored;
    const char* french;
    const char* english;
  };
  const Case cases[] = {
      {"Asset", "Actif", "Asset"},         {"Actif", "Actif", "Asset"},
      {"Liability", "Passif", "Liability"}, {"Passif", "Passif", "Liability"},
      {"Capital", "Capital", "Capital"},   {"Revenue", "Revenu", "Revenue"},
      {"Revenu", "Revenu", "Revenue"},     {"Expense", "D\xC3\xA9pense", "Expense"},
      {"D\xC3\xA9pense", "D\xC3\xA9pense", "Expense"},
      {"p", "p", "Liability"},             {"l", "Passif", "l"},
      {"e", "D\xC3\xA9pense", "e"},        {"d", "d", "Expense"},
      {"Xyz", "Xyz", "Xyz"},               {"", "", ""},
      {"\xC3\x89quipement", "\xC3\x89quipement", "\xC3\x89quipement"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(accountTypeDisplay(c.stored, kFrench), c.french) << c.stored;
    EXPECT_EQ(accountTypeDisplay(c.stored, kEnglish), c.english) << c.stored;
    // A user without a language of his own (0) sees the English display.
    EXPECT_EQ(accountTypeDisplay(c.stored, 0), c.english) << c.stored;
  }
}

TEST(AccountTypes, WordsOfBothLanguagesReadBack) {
  for (AccountType t : {AccountType::kAsset, AccountType::kLiability, AccountType::kCapital, AccountType::kRevenue,
                        AccountType::kExpense}) {
    EXPECT_EQ(accountTypeOf(accountTypeWord(t, kEnglish)), t);
    EXPECT_EQ(accountTypeOf(accountTypeWord(t, kFrench)), t);
  }
  EXPECT_EQ(accountTypeOf(""), std::nullopt);
  EXPECT_EQ(accountTypeOf("Zed"), std::nullopt);
}

TEST(Places, CompanyDirectoryIsTheRootFollowedByTheNumber) {
  EXPECT_EQ(companyDirectory("/srv/Tallimoor/data", 1), "/srv/Tallimoor/data1");
  EXPECT_EQ(companyDirectory("/srv/Tallimoor/data/", 12), "/srv/Tallimoor/data12");
  EXPECT_EQ(companyDirectory("/srv/Tallimoor/data//", 3), "/srv/Tallimoor/data3");
  EXPECT_EQ(companyDirectory("e:\\Tallimoor\\data\\", 2), "e:\\Tallimoor\\data2");
  EXPECT_EQ(companyDirectory("data", 7), "data7");
  EXPECT_EQ(companyDirectory("/", 1), "/1");
  EXPECT_EQ(companyDirectory("", 1), "1");
}

}  // namespace
}  // namespace data
