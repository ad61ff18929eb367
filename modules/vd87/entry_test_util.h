// A company to key purchases into, for the tests of the entry logic: a data
// root and company 1 made by the administrator's tool, a few suppliers, and
// the entry's data module open on them as the window opens it.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "entry_data_module.h"
#include "entry_document.h"
#include "entry_prompts.h"
#include "entry_rules.h"
#include "posting.h"
#include "test_util.h"

namespace vd87::testing {

// Answers the logic's messages from a script and writes down what it saw.
class ScriptedPrompts : public EntryPrompts {
 public:
  struct Shown {
    int number;
    MessageStyle style;
  };
  std::vector<Shown> shown;
  std::deque<bool> answers;  // default: yes / OK
  Control focused = Control::kSupplierCode;
  int focusedLine = 0;
  int focusCount = 0;
  std::function<void(int)> onShow;  // runs before the answer is taken

  bool showMessage(int number, MessageStyle style) override;
  void focus(Control control, int line) override {
    focused = control;
    focusedLine = line;
    ++focusCount;
  }
  std::vector<int> numbers() const;
  void clear() { shown.clear(); focusCount = 0; }
};

struct SupplierSpec {
  std::string code;
  std::string name;
  int currency = 0;
  int terms = 30;
  std::vector<int> accounts;  // Sup_accnt1..3
  double balance = 0;
  std::string email;
};

// Rows of a table as field -> value, read through an engine directory of
// its own, as another program would see them.
using Row = std::map<std::string, pdx::Value>;
std::vector<Row> readRows(const std::string& dir, const std::string& table);
int64_t fixed(const Row& row, const std::string& field);  // money in ten-thousandths
std::string textOf(const Row& row, const std::string& field);
int64_t intOf(const Row& row, const std::string& field);

// Makes a data root with company 1 under `parent`; returns the data root.
std::string makeCompany(const std::string& parent, pdx::Date today);
void addSupplier(const std::string& companyDir, const SupplierSpec& s);
void addOpenItem(const std::string& companyDir, const std::string& supplier, const std::string& invoice,
                 const std::string& type, pdx::Date date, double amount, const std::string& ref = {});

inline pdx::Date ymd(int y, int m, int d) { return *pdx::Date::fromYmd(y, m, d); }
inline db::Money money(const char* text) { return *db::Money::parse(text); }

// The accounts of the starter chart the tests use.
inline constexpr int kPayable = 2100;       // home currency A/P
inline constexpr int kPayableCurr3 = 2130;  // A/P of foreign currency 3
inline constexpr int kPurchases = 5000;
inline constexpr int kFreight = 5030;
inline constexpr int kBank = 1000;

class EntryTest : public ::testing::Test {
 protected:
  EntryTest();
  ~EntryTest() override;

  // Opens the data module as the first activation does and starts an entry.
  void openEntry();
  void closeEntry();

  // Keys a supplier code and leaves the field.
  void chooseSupplier(const std::string& code);
  // Keys `amount` into the debit / credit cell of line n, as entering and
  // leaving the cell does.
  void keyDebit(int n, const char* amount);
  void keyCredit(int n, const char* amount);
  void keyAccount(int n, int64_t account);
  // A whole purchase: supplier, invoice, a debit on `expense` and the credit
  // on the supplier's A/P line (line 1).
  void keyPurchase(const std::string& supplier, const std::string& invoice, const char* amount,
                   int expenseLine = 2);
  PostResult post();

  pdx::testing::TempDir tmp_;
  std::string root_;
  std::string company_;
  pdx::Date today_ = ymd(2001, 1, 28);
  std::unique_ptr<Tvd87_dm> dm_;
  std::unique_ptr<EntryDocument> doc_;
  ScriptedPrompts prompts_;
  std::unique_ptr<EntryRules> rules_;
  std::unique_ptr<PayablesPosting> posting_;
  std::string flag_;
};

}  // namespace vd87::testing
