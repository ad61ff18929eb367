// Queries run end to end against tables the engine builds in a temporary
// directory: the exact texts the windows send, index use, sort order, the
// handling of blanks, every class of error, and the pdxtool command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "pdx/dump_format.h"
#include "pdx/table.h"
#include "sql/query.h"
#include "sql_command.h"
#include "test_util.h"

namespace sql {
namespace {

using pdx::FieldType;
using pdx::Value;

Value date(int y, int m, int d) { return Value::date(*pdx::Date::fromYmd(y, m, d)); }
Value stamp(int y, int m, int d, int hour) {
  return Value::timestamp(pdx::Timestamp::from(*pdx::Date::fromYmd(y, m, d), pdx::Time{hour * 3'600'000}));
}

// Rows are written as given; Value() leaves a field blank.
void fill(pdx::Directory& dir, const std::string& table, const std::vector<std::vector<Value>>& rows) {
  auto t = dir.openTable(table);
  ASSERT_TRUE(t.ok()) << t.status().toString();
  for (const auto& row : rows) {
    ASSERT_TRUE((*t)->insert().ok());
    for (size_t f = 0; f < row.size(); ++f) ASSERT_TRUE((*t)->set(static_cast<int>(f), row[f]).ok()) << table << " " << f;
    pdx::Status st = (*t)->post();
    ASSERT_TRUE(st.ok()) << st.toString();
  }
}

class Sql : public ::testing::Test {
 protected:
  void SetUp() override {
    auto d = pdx::Directory::open(tmp_.path(), pdx::Env::unsynced());
    ASSERT_TRUE(d.ok()) << d.status().toString();
    dir_ = *d;
    ASSERT_TRUE(dir_->createTable("cli",
                                  {{"Cli_code", FieldType::kAlpha, 10},
                                   {"Cli_name", FieldType::kAlpha, 60},
                                   {"Cli_city", FieldType::kAlpha, 40},
                                   {"Cli_terms", FieldType::kLong, 0},
                                   {"Cli_date_created", FieldType::kDate, 0},
                                   {"Cli_tax_fed", FieldType::kLogical, 0},
                                   {"Cli_balance", FieldType::kMoney, 0},
                                   {"Cli_credit", FieldType::kBcd, 2},
                                   {"Cli_stamp", FieldType::kTimestamp, 0},
                                   {"Cli_comments", FieldType::kMemo, 20},
                                   {"Cli_photo", FieldType::kBlob, 0}},
                                  1)
                    .ok());
    // Written out of key order on purpose: the table keeps key order.
    fill(*dir_, "cli",
         {
             {Value::text("ZED06"), Value::text("Zed O'Brien"), Value::text("Sherbrooke"), Value::integer(30),
              date(2024, 1, 1), Value::logical(false), Value::number(-40.25), Value::decimal("100.00"),
              stamp(2024, 1, 1, 9)},
             {Value::text("ABC01"), Value::text("Épicerie Côté"), Value::text("Québec"), Value::integer(30),
              date(2023, 3, 15), Value::logical(true), Value::number(12.5), Value::decimal("1500.50"),
              stamp(2023, 3, 15, 10), Value::text("Bon client, paie à temps — toujours")},
             {Value::text("BOU02"), Value::text("Boulangerie L'Étoile"), Value::text("Montréal"), Value::integer(15),
              date(2023, 3, 2), Value::logical(false), Value::number(0.1), Value::decimal("-20.00")},
             {Value::text("CAR03"), Value::text("Carrosserie abc"), Value::text("Laval"), Value::integer(45),
              date(2022, 11, 30), Value::logical(true), Value::number(12.5), Value::decimal("0.00")},
             {Value::text("DUP04"), Value::text("abc Dupont"), Value(), Value(), Value(), Value(), Value(),
              Value()},
             {Value::text("ELE05"), Value::text("Électricité ABC"), Value::text("Gatineau"), Value::integer(15),
              date(2023, 3, 20), Value::logical(true), Value::number(99), Value::decimal("1500.5")},
             {Value::text("FEV07"), Value::text("abc"), Value::text("Lévis"), Value::integer(30),
              date(2023, 2, 28), Value::logical(false), Value::number(0), Value::decimal("7.25")},
             {Value::text("GAR08"), Value(), Value::text("Rimouski"), Value::integer(60), date(2023, 4, 1),
              Value::logical(true), Value::number(1e6), Value::decimal("999999.99")},
         });

    // Open receivables items, keyed the way the inquiry reads them.
    ASSERT_TRUE(dir_->createTable("car",
                                  {{"Car_client", FieldType::kAlpha, 10},
                                   {"Car_invoice", FieldType::kAlpha, 10},
                                   {"Car_ref", FieldType::kAlpha, 10},
                                   {"Car_date", FieldType::kDate, 0},
                                   {"Car_type", FieldType::kAlpha, 1},
                                   {"Car_seq", FieldType::kLong, 0},
                                   {"Car_amount", FieldType::kMoney, 0}},
                                  5)
                    .ok());
    fill(*dir_, "car",
         {
             {Value::text("BOU02"), Value::text("F-100"), Value(), date(2023, 3, 2), Value::text("1"),
              Value::integer(1), Value::number(80)},
             {Value::text("ABC01"), Value::text("F-200"), Value::text("P-9"), date(2023, 4, 1), Value::text("2"),
              Value::integer(2), Value::number(-50)},
             {Value::text("ABC01"), Value::text("F-200"), Value(), date(2023, 3, 15), Value::text("1"),
              Value::integer(3), Value::number(112.5)},
             {Value::text("ABC01"), Value::text("F-150"), Value(), date(2023, 2, 1), Value::text("1"),
              Value::integer(4), Value::number(40)},
             {Value::text("ABC01"), Value::text("F-200"), Value::text("C-1"), date(2023, 3, 20), Value::text("4"),
              Value::integer(5), Value::number(-10)},
             {Value::text("CAR03"), Value::text("F-300"), Value(), date(2022, 11, 30), Value::text("1"),
              Value::integer(6), Value::number(45)},
         });

    // Open payables items: keyed by supplier and a sequence number, so the
    // inquiry's ORDER BY needs a sort.
    ASSERT_TRUE(dir_->createTable("cap",
                                  {{"Cap_supplier", FieldType::kAlpha, 10},
                                   {"Cap_seq", FieldType::kLong, 0},
                                   {"Cap_invoice", FieldType::kAlpha, 10},
                                   {"Cap_ref", FieldType::kAlpha, 10},
                                   {"Cap_date", FieldType::kDate, 0},
                                   {"Cap_type", FieldType::kAlpha, 1},
                                   {"Cap_amount", FieldType::kMoney, 0}},
                                  2)
                    .ok());
    fill(*dir_, "cap",
         {
             {Value::text("S1"), Value::integer(1), Value::text("B-20"), Value(), date(2023, 5, 1), Value::text("1"),
              Value::number(10)},
             {Value::text("S1"), Value::integer(2), Value::text("B-10"), Value::text("adj"), date(2023, 5, 2),
              Value::text("5"), Value::number(20)},
             {Value::text("S1"), Value::integer(3), Value::text("B-10"), Value(), date(2023, 5, 3), Value::text("1"),
              Value::number(30)},
             {Value::text("S1"), Value::integer(4), Value::text("B-20"), Value(), date(2023, 5, 1), Value::text("1"),
              Value::number(40)},
             {Value::text("S2"), Value::integer(5), Value::text("A-01"), Value(), date(2023, 1, 1), Value::text("1"),
              Value::number(50)},
             {Value::text("S1"), Value::integer(6), Value::text("B-10"), Value(), date(2023, 4, 30), Value::text("1"),
              Value::number(60)},
         });
  }

  pdx::Result<std::unique_ptr<RowSet>> run(const std::string& text,
                                           const std::vector<std::pair<std::string, Value>>& params = {}) {
    auto q = Query::prepare(text);
    if (!q.ok()) return q.status();
    for (const auto& [name, value] : params) PDX_RETURN_IF_ERROR(q->bind(name, value));
    return q->execute(*dir_);
  }

  // One field of every row, in result order, in dump form.
  std::vector<std::string> column(const std::string& text, const std::string& field,
                                  const std::vector<std::pair<std::string, Value>>& params = {}) {
    auto rows = run(text, params);
    EXPECT_TRUE(rows.ok()) << text << "\n" << rows.status().toString();
    std::vector<std::string> out;
    if (!rows.ok()) return out;
    RowSet& r = **rows;
    const int f = r.fieldIndex(field);
    EXPECT_GE(f, 0) << field;
    for (pdx::Status st = r.first(); st.ok(); st = r.next()) {
      auto v = r.get(f);
      EXPECT_TRUE(v.ok());
      out.push_back(pdx::formatValue(r.fields()[static_cast<size_t>(f)], *v));
    }
    return out;
  }
  std::vector<std::string> codes(const std::string& text, const std::vector<std::pair<std::string, Value>>& params = {}) {
    return column(text, "Cli_code", params);
  }

  pdx::Status failure(const std::string& text, const std::vector<std::pair<std::string, Value>>& params = {}) {
    auto rows = run(text, params);
    EXPECT_FALSE(rows.ok()) << text << " ran";
    return rows.ok() ? pdx::Status() : rows.status();
  }

  pdx::testing::TempDir tmp_;
  std::shared_ptr<pdx::Directory> dir_;
};

using Codes = std::vector<std::string>;

// The date search texts, built exactly as the client search window builds them.
std::string dateEquals(const std::string& op, const std::string& f, int y, int m, int d) {
  const std::string Y = std::to_string(y), M = std::to_string(m), D = std::to_string(d);
  return "SELECT * FROM cli WHERE EXTRACT (YEAR FROM " + f + ")" + op + Y + " AND EXTRACT(MONTH FROM " + f + ")" + op +
         M + "AND EXTRACT(DAY FROM " + f + ")" + op + D + ";";
}
std::string dateBefore(const std::string& op, const std::string& f, int y, int m, int d) {
  const std::string Y = std::to_string(y), M = std::to_string(m), D = std::to_string(d);
  return "SELECT * FROM cli WHERE EXTRACT(YEAR FROM " + f + ")" + op + Y + " OR (EXTRACT(YEAR FROM " + f + ")=" + Y +
         "AND EXTRACT(MONTH FROM " + f + ")" + "=" + M + "AND EXTRACT(DAY FROM " + f + ")" + op + D +
         ")OR (EXTRACT(YEAR FROM " + f + ")=" + Y + "AND EXTRACT(MONTH FROM " + f + ")" + op + M + ");";
}

TEST_F(Sql, DateSearchTextsOfTheClientWindow) {
  const std::string f = "Cli_date_created";
  EXPECT_EQ(codes(dateEquals("=", f, 2023, 3, 15)), (Codes{"ABC01"}));
  // Year, month and day all different; the blank date is in neither answer.
  EXPECT_EQ(codes(dateEquals("<>", f, 2023, 3, 15)), (Codes{"CAR03", "ZED06"}));
  EXPECT_EQ(codes(dateBefore("<", f, 2023, 3, 15)), (Codes{"BOU02", "CAR03", "FEV07"}));
  EXPECT_EQ(codes(dateBefore(">", f, 2023, 3, 15)), (Codes{"ELE05", "GAR08", "ZED06"}));
  // EXTRACT reads the calendar day of a timestamp too.
  EXPECT_EQ(codes(dateEquals("=", "Cli_stamp", 2024, 1, 1)), (Codes{"ZED06"}));
}

TEST_F(Sql, TextSearchTextsOfTheClientWindow) {
  // LIKE keeps case: "Électricité ABC" does not contain "abc".
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name LIKE '%abc%';"), (Codes{"CAR03", "DUP04", "FEV07"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name ='abc';"), (Codes{"FEV07"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_balance ='12.5';"), (Codes{"ABC01", "CAR03"}));
  // The other operators of the window, quoted for every type.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_terms >'30';"), (Codes{"CAR03", "GAR08"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_tax_fed ='true';"), (Codes{"ABC01", "CAR03", "ELE05", "GAR08"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_city <'M';"), (Codes{"CAR03", "ELE05", "FEV07"}));
  // A character is one code point however many bytes it takes.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name LIKE 'Épicerie C_té';"), (Codes{"ABC01"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_city = 'Québec'"), (Codes{"ABC01"}));
}

TEST_F(Sql, ValuesConvertExactlyToTheFieldsType) {
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_balance = 0.1"), (Codes{"BOU02"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_balance < -40"), (Codes{"ZED06"}));
  // BCD compares as the decimal it is: 1500.5 = 1500.50.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_credit = 1500.5"), (Codes{"ABC01", "ELE05"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_credit < '0'"), (Codes{"BOU02"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_terms = 30.0 AND Cli_terms <> 30.5"), (Codes{"ABC01", "FEV07", "ZED06"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_date_created = '2023-03-02'"), (Codes{"BOU02"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_stamp >= '2023-03-15 10:00:00'"), (Codes{"ABC01", "ZED06"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_tax_fed = 'F'"), (Codes{"BOU02", "FEV07", "ZED06"}));
  // The literal may stand first; the operator turns round with it.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE 45 <= Cli_terms"), (Codes{"CAR03", "GAR08"}));
  // Numbers far beyond any field's range still compare.
  const std::string huge = "1" + std::string(400, '0');
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_balance < " + huge + " AND Cli_terms > -" + huge +
                  " AND Cli_credit < " + huge),
            (Codes{"ABC01", "BOU02", "CAR03", "ELE05", "FEV07", "GAR08", "ZED06"}));
  // Memo text compares like alpha text.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_comments LIKE '%à temps%'"), (Codes{"ABC01"}));
}

TEST_F(Sql, BlankFields) {
  // Non-text blanks are NULL: neither = nor <> anything, and NOT keeps them out.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_terms <> 30"), (Codes{"BOU02", "CAR03", "ELE05", "GAR08"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE NOT (Cli_terms = 30)"), (Codes{"BOU02", "CAR03", "ELE05", "GAR08"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_terms IS NULL"), (Codes{"DUP04"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_terms = 30 OR Cli_terms IS NULL"), (Codes{"ABC01", "DUP04", "FEV07", "ZED06"}));
  // UNKNOWN OR TRUE is TRUE; UNKNOWN AND FALSE is FALSE.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_terms > 0 OR Cli_code = 'DUP04'").size(), 8u);
  EXPECT_EQ(codes("SELECT * FROM cli WHERE NOT (Cli_terms > 0 AND Cli_code = 'nobody')").size(), 8u);
  EXPECT_TRUE(codes("SELECT * FROM cli WHERE NOT (Cli_terms > 0 AND Cli_code <> 'nobody')").empty());
  // The empty text stands for a blank text field; other comparisons and
  // LIKE leave blank text out, NOT included.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name = ''"), (Codes{"GAR08"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name <> ''").size(), 7u);
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_city < 'M' OR Cli_city > 'M'").size(), 7u);
  EXPECT_EQ(codes("SELECT * FROM cli WHERE NOT Cli_name LIKE '%abc%'"), (Codes{"ABC01", "BOU02", "ELE05", "ZED06"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name LIKE '%' OR Cli_name NOT LIKE '%'").size(), 7u);
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_city IS NOT NULL AND Cli_name IS NULL"), (Codes{"GAR08"}));
  // A blank parameter is NULL against a number and the empty text against text.
  EXPECT_TRUE(codes("SELECT * FROM cli WHERE Cli_terms = :t OR Cli_terms <> :t", {{"t", Value()}}).empty());
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name = :n", {{"n", Value()}}), (Codes{"GAR08"}));
}

TEST_F(Sql, ReceivablesInquiryReadsOneClientThroughTheIndex) {
  const std::string text = "SELECT * FROM CAR\nWHERE Car_client = :client\nORDER BY Car_invoice, Car_ref, Car_date, Car_type ASC;";
  auto q = Query::prepare(text);
  ASSERT_TRUE(q.ok()) << q.status().toString();
  EXPECT_EQ(q->parameterNames(), (std::vector<std::string>{"client"}));
  ASSERT_TRUE(q->bind("client", Value::text("ABC01")).ok());
  auto rows = q->execute(*dir_);
  ASSERT_TRUE(rows.ok()) << rows.status().toString();
  RowSet& r = **rows;
  EXPECT_EQ(r.stats().keyFieldsUsed, 1);
  EXPECT_EQ(r.stats().rowsVisited, 4);
  EXPECT_FALSE(r.stats().sorted);
  std::vector<int64_t> seqs;
  for (pdx::Status st = r.first(); st.ok(); st = r.next()) seqs.push_back(r.get("car_seq")->asInteger());
  // F-150; then F-200 with the blank reference first, C-1, P-9.
  EXPECT_EQ(seqs, (std::vector<int64_t>{4, 3, 5, 2}));

  // The same prepared query serves the next client.
  ASSERT_TRUE(q->bind(":CLIENT", Value::text("BOU02")).ok());
  rows = q->execute(*dir_);
  ASSERT_TRUE(rows.ok());
  EXPECT_EQ((*rows)->rowCount(), 1);
  EXPECT_EQ((*rows)->stats().rowsVisited, 1);
}

TEST_F(Sql, PayablesInquirySortsStablyAfterTheIndex) {
  const std::string text = "SELECT * FROM cap\nWHERE Cap_supplier = :supplier\nORDER BY  Cap_invoice, Cap_ref, Cap_date, Cap_type ASC;";
  auto rows = run(text, {{"supplier", Value::text("S1")}});
  ASSERT_TRUE(rows.ok()) << rows.status().toString();
  EXPECT_EQ((*rows)->stats().keyFieldsUsed, 1);
  EXPECT_EQ((*rows)->stats().rowsVisited, 5);
  EXPECT_TRUE((*rows)->stats().sorted);
  // B-10: blank reference first (by date), then "adj"; B-20 rows 1 and 4 tie
  // on every ORDER BY field and keep table order.
  EXPECT_EQ(column(text, "Cap_seq", {{"supplier", Value::text("S1")}}), (Codes{"6", "3", "2", "1", "4"}));
}

TEST_F(Sql, OrderBy) {
  // Key order already: no sort, even through a WHERE that scans.
  auto rows = run("SELECT * FROM cli WHERE Cli_terms > 0 ORDER BY Cli_code");
  ASSERT_TRUE(rows.ok());
  EXPECT_FALSE((*rows)->stats().sorted);
  rows = run("SELECT * FROM car WHERE Car_client = 'ABC01' AND Car_invoice = 'F-200' ORDER BY Car_ref, Car_date");
  ASSERT_TRUE(rows.ok());
  EXPECT_FALSE((*rows)->stats().sorted);
  EXPECT_EQ((*rows)->stats().keyFieldsUsed, 2);
  EXPECT_EQ((*rows)->stats().rowsVisited, 3);
  // A key field in descending order, or a gap in the key, needs a sort.
  EXPECT_TRUE((*run("SELECT * FROM car ORDER BY Car_client DESC"))->stats().sorted);
  EXPECT_TRUE((*run("SELECT * FROM car ORDER BY Car_client, Car_ref"))->stats().sorted);

  EXPECT_EQ(codes("SELECT * FROM cli ORDER BY Cli_code DESC"),
            (Codes{"ZED06", "GAR08", "FEV07", "ELE05", "DUP04", "CAR03", "BOU02", "ABC01"}));
  // Blanks first ascending, last descending; ties broken by the next field.
  EXPECT_EQ(codes("SELECT * FROM cli ORDER BY Cli_date_created"),
            (Codes{"DUP04", "CAR03", "FEV07", "BOU02", "ABC01", "ELE05", "GAR08", "ZED06"}));
  EXPECT_EQ(codes("SELECT * FROM cli ORDER BY Cli_terms DESC, Cli_balance"),
            (Codes{"GAR08", "CAR03", "ZED06", "FEV07", "ABC01", "BOU02", "ELE05", "DUP04"}));
  EXPECT_EQ(codes("SELECT * FROM cli ORDER BY Cli_tax_fed DESC, Cli_credit DESC, Cli_stamp"),
            (Codes{"GAR08", "ELE05", "ABC01", "CAR03", "ZED06", "FEV07", "BOU02", "DUP04"}));
  // Text sorts by character code, with case: "abc" before "Épicerie".
  EXPECT_EQ(column("SELECT * FROM cli WHERE Cli_name <> '' ORDER BY cli_NAME", "Cli_name"),
            (Codes{"Boulangerie L'Étoile", "Carrosserie abc", "Zed O'Brien", "abc", "abc Dupont", "Électricité ABC",
                   "Épicerie Côté"}));
}

TEST_F(Sql, KeyEqualityOnALargeTableVisitsOnlyTheMatchingRows) {
  ASSERT_TRUE(dir_->createTable("big",
                                {{"Big_client", FieldType::kAlpha, 10},
                                 {"Big_seq", FieldType::kLong, 0},
                                 {"Big_amount", FieldType::kMoney, 0}},
                                2)
                  .ok());
  {
    auto group = dir_->beginGroup();
    ASSERT_TRUE(group.ok());
    auto t = dir_->openTable("big");
    ASSERT_TRUE(t.ok());
    for (int i = 0; i < 10'000; ++i) {
      char code[8];
      std::snprintf(code, sizeof code, "C%03d", i % 100);
      ASSERT_TRUE((*t)->insert().ok());
      ASSERT_TRUE((*t)->set(0, Value::text(code)).ok());
      ASSERT_TRUE((*t)->set(1, Value::integer(i)).ok());
      ASSERT_TRUE((*t)->set(2, Value::number(i % 7)).ok());
      ASSERT_TRUE((*t)->post().ok());
    }
    ASSERT_TRUE((*group)->commit().ok());
  }
  auto rows = run("SELECT * FROM big WHERE Big_client = :c ORDER BY Big_seq", {{"c", Value::text("C042")}});
  ASSERT_TRUE(rows.ok()) << rows.status().toString();
  EXPECT_EQ((*rows)->rowCount(), 100);
  EXPECT_EQ((*rows)->stats().rowsVisited, 100);
  EXPECT_FALSE((*rows)->stats().sorted);
  EXPECT_EQ((*rows)->get("Big_seq")->asInteger(), 42);

  rows = run("SELECT * FROM big WHERE Big_amount = 3 AND Big_client = 'C010' AND Big_seq = 3010");
  ASSERT_TRUE(rows.ok());
  EXPECT_EQ((*rows)->stats().keyFieldsUsed, 2);
  EXPECT_EQ((*rows)->stats().rowsVisited, 1);
  EXPECT_EQ((*rows)->rowCount(), 0);  // 3010 % 7 is 0

  // Not a leading key field, or not an equality at the top: a full scan.
  rows = run("SELECT * FROM big WHERE Big_seq = 5");
  ASSERT_TRUE(rows.ok());
  EXPECT_EQ((*rows)->stats().rowsVisited, 10'000);
  EXPECT_EQ((*rows)->rowCount(), 1);
  rows = run("SELECT * FROM big WHERE Big_client = 'C001' OR Big_client = 'C002'");
  ASSERT_TRUE(rows.ok());
  EXPECT_EQ((*rows)->stats().keyFieldsUsed, 0);
  EXPECT_EQ((*rows)->rowCount(), 200);
  // An equality with NULL can never hold: nothing is read.
  rows = run("SELECT * FROM big WHERE Big_seq = :s AND Big_client = 'C001'", {{"s", Value()}});
  ASSERT_TRUE(rows.ok());
  EXPECT_EQ((*rows)->rowCount(), 0);
  EXPECT_EQ((*rows)->stats().rowsVisited, 0);

  // Sorting thousands of ties keeps them in table order (client, then seq),
  // ascending and descending alike.
  for (const char* dir : {"", " DESC"}) {
    rows = run(std::string("SELECT * FROM big ORDER BY Big_amount") + dir);
    ASSERT_TRUE(rows.ok());
    RowSet& r = **rows;
    ASSERT_EQ(r.rowCount(), 10'000);
    EXPECT_TRUE(r.stats().sorted);
    double amount = -1;
    std::string client;
    int64_t seq = -1;
    int breaks = 0;
    for (pdx::Status st = r.first(); st.ok(); st = r.next()) {
      const double a = r.get(2)->asNumber();
      const std::string c = r.get(0)->asText();
      const int64_t q = r.get(1)->asInteger();
      if (a == amount) {
        ASSERT_TRUE(c > client || (c == client && q > seq)) << dir << " " << c << " " << q;
      } else {
        ++breaks;
        EXPECT_EQ(*dir == '\0' ? a > amount : (amount < 0 || a < amount), true);
      }
      amount = a;
      client = c;
      seq = q;
    }
    EXPECT_EQ(breaks, 7);
  }
  // A value no key can hold finds nothing, through the index or not.
  EXPECT_EQ((*run("SELECT * FROM big WHERE Big_client = 'C001' AND Big_seq = 1.5"))->rowCount(), 0);
  EXPECT_EQ((*run("SELECT * FROM big WHERE Big_client = 'far too long for the field'"))->rowCount(), 0);
  EXPECT_EQ((*run("SELECT * FROM big WHERE Big_client = '漢字'"))->rowCount(), 0);
}

TEST_F(Sql, ParametersAreValuesNeverText) {
  // A quote in a value cannot open the query to more rows.
  EXPECT_TRUE(codes("SELECT * FROM cli WHERE Cli_code = :c", {{"c", Value::text("ABC01' OR 'a'='a")}}).empty());
  EXPECT_TRUE(column("SELECT * FROM car WHERE Car_client = :c", "Car_client", {{"c", Value::text("x' OR Car_client <> 'x")}}).empty());
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name = :n", {{"n", Value::text("Zed O'Brien")}}), (Codes{"ZED06"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name = 'Zed O''Brien'"), (Codes{"ZED06"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_name LIKE :p", {{"p", Value::text("%'%")}}), (Codes{"BOU02", "ZED06"}));
  // Typed values meet fields of their type; one name used twice is one parameter.
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_date_created >= :d AND Cli_stamp >= :D",
                  {{"d", date(2023, 3, 15)}}),
            (Codes{"ABC01", "ZED06"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_credit = :c", {{"c", Value::number(7.25)}}), (Codes{"FEV07"}));
  EXPECT_EQ(codes("SELECT * FROM cli WHERE Cli_terms = :t", {{"t", Value::integer(15)}}), (Codes{"BOU02", "ELE05"}));

  auto q = Query::prepare("SELECT * FROM cli WHERE Cli_code = :code");
  ASSERT_TRUE(q.ok());
  EXPECT_EQ(q->bind("other", Value::text("x")).code(), code::kUnknownParameter);
  // A copy has its own values.
  Query copy = *q;
  ASSERT_TRUE(copy.bind("code", Value::text("ABC01")).ok());
  EXPECT_EQ((*copy.execute(*dir_))->rowCount(), 1);
  EXPECT_EQ(q->execute(*dir_).status().code(), code::kUnboundParameter);
  ASSERT_TRUE(q->bind("code", Value::text("ABC01")).ok());
  q->clearBindings();
  EXPECT_EQ(q->execute(*dir_).status().code(), code::kUnboundParameter);
}

TEST_F(Sql, ErrorsNameTheirPlaceAndReason) {
  pdx::Status st = failure("SELECT * FROM clients");
  EXPECT_EQ(st.code(), pdx::code::kTableNotFound);
  EXPECT_NE(st.message().find("line 1, column 15"), std::string::npos) << st.message();

  st = failure("SELECT * FROM cli\nWHERE Cli_nom = 'x'");
  EXPECT_EQ(st.code(), code::kUnknownField);
  EXPECT_NE(st.message().find("line 2, column 7"), std::string::npos) << st.message();
  EXPECT_NE(st.message().find("Cli_nom"), std::string::npos);
  EXPECT_EQ(failure("SELECT * FROM cli ORDER BY Cli_nom").code(), code::kUnknownField);

  st = failure("SELECT * FROM cli WHERE Cli_code = :code");
  EXPECT_EQ(st.code(), code::kUnboundParameter);
  EXPECT_NE(st.message().find(":code"), std::string::npos) << st.message();

  st = failure("SELECT * FROM cli WHERE Cli_balance = '12,5'");
  EXPECT_EQ(st.code(), code::kTypeMismatch);
  EXPECT_NE(st.message().find("line 1, column 39"), std::string::npos) << st.message();
  EXPECT_NE(st.message().find("'12,5' is not a number"), std::string::npos) << st.message();
  EXPECT_EQ(failure("SELECT * FROM cli WHERE Cli_balance LIKE '1%'").code(), code::kTypeMismatch);
  EXPECT_EQ(failure("SELECT * FROM cli WHERE EXTRACT(YEAR FROM Cli_name) = 2023").code(), code::kTypeMismatch);
  EXPECT_EQ(failure("SELECT * FROM cli WHERE EXTRACT(YEAR FROM Cli_date_created) = 'soon'").code(), code::kTypeMismatch);
  EXPECT_EQ(failure("SELECT * FROM cli WHERE Cli_photo = 'x'").code(), code::kTypeMismatch);
  EXPECT_EQ(failure("SELECT * FROM cli ORDER BY Cli_photo").code(), code::kTypeMismatch);
  EXPECT_EQ(failure("SELECT * FROM cli WHERE Cli_terms = :t", {{"t", date(2023, 1, 1)}}).code(), code::kTypeMismatch);

  st = failure("SELECT * FROM cli\nWHERE Cli_code = 'x' AND\nORDER BY Cli_code");
  EXPECT_EQ(st.code(), code::kSyntaxError);
  EXPECT_NE(st.message().find("line 3, column 1"), std::string::npos) << st.message();
}

TEST_F(Sql, NothingButOneSelectRunsAndNothingIsWritten) {
  const std::string before = pdx::testing::readFile(tmp_.file("cli.DB"));
  ASSERT_FALSE(before.empty());
  for (const char* text : {"DELETE FROM cli", "UPDATE cli SET Cli_name = 'x'", "INSERT INTO cli VALUES ('x')",
                           "DROP TABLE cli", "SELECT * FROM cli; DELETE FROM cli", "select * from cli;\nselect * from car"}) {
    pdx::Status st = failure(text);
    EXPECT_EQ(st.code(), code::kNotAllowed) << text << ": " << st.toString();
  }
  EXPECT_EQ(pdx::testing::readFile(tmp_.file("cli.DB")), before);
  EXPECT_EQ(codes("SELECT * FROM cli;  \n").size(), 8u);
  EXPECT_EQ(codes("select * from CLI.db where cli_CODE = 'ABC01'"), (Codes{"ABC01"}));
}

TEST_F(Sql, HostileTextFailsCleanly) {
  std::string nots = "SELECT * FROM cli WHERE ";
  for (int i = 0; i < 5000; ++i) nots += "NOT ";
  EXPECT_EQ(failure(nots + "Cli_terms = 1").code(), code::kTooComplex);
  EXPECT_EQ(failure(std::string("SELECT * FROM cli WHERE Cli_name = 'a\0b'", 40)).code(), code::kSyntaxError);

  // Nesting within the bound, and a long flat chain, run.
  const std::string nested = "SELECT * FROM cli WHERE " + std::string(150, '(') + "Cli_terms = 15" + std::string(150, ')');
  EXPECT_EQ(codes(nested), (Codes{"BOU02", "ELE05"}));
  std::string chain = "SELECT * FROM cli WHERE Cli_terms = 15";
  for (int i = 0; i < 2000; ++i) chain += " OR Cli_terms = " + std::to_string(1000 + i);
  EXPECT_EQ(codes(chain), (Codes{"BOU02", "ELE05"}));
  // Text that is not UTF-8 in a parameter still compares, and matches nothing.
  EXPECT_TRUE(codes("SELECT * FROM cli WHERE Cli_name LIKE :p OR Cli_code = :p", {{"p", Value::text("\xFF%\xC3")}}).empty());
}

TEST_F(Sql, RowSetNavigation) {
  auto rows = run("SELECT * FROM cli WHERE Cli_terms = 30");
  ASSERT_TRUE(rows.ok());
  RowSet& r = **rows;
  EXPECT_EQ(r.rowCount(), 3);
  EXPECT_EQ(r.fields().size(), 11u);
  EXPECT_EQ(r.fieldIndex("CLI_TERMS"), 3);
  EXPECT_TRUE(r.bof());
  EXPECT_FALSE(r.eof());
  EXPECT_EQ(r.position(), 0);
  EXPECT_EQ(r.get("Cli_code")->asText(), "ABC01");
  EXPECT_TRUE(r.prior().is(pdx::code::kBof));
  EXPECT_EQ(r.position(), 0);
  ASSERT_TRUE(r.next().ok());
  EXPECT_FALSE(r.bof());
  ASSERT_TRUE(r.last().ok());
  EXPECT_TRUE(r.eof());
  EXPECT_EQ(r.get(0)->asText(), "ZED06");
  EXPECT_TRUE(r.next().is(pdx::code::kEof));
  EXPECT_EQ(r.position(), 2);
  ASSERT_TRUE(r.prior().ok());
  EXPECT_EQ(r.get(0)->asText(), "FEV07");
  ASSERT_TRUE(r.moveTo(0).ok());
  EXPECT_EQ(r.get(0)->asText(), "ABC01");
  EXPECT_TRUE(r.moveTo(3).is(pdx::code::kEof));
  EXPECT_TRUE(r.moveTo(-1).is(pdx::code::kBof));
  EXPECT_EQ(r.position(), 0);
  EXPECT_EQ(r.get(11).status().code(), pdx::code::kInvalidParameter);
  EXPECT_EQ(r.get("Cli_nope").status().code(), pdx::code::kInvalidParameter);
  // Memo contents are read with the row.
  EXPECT_EQ(r.get("Cli_comments")->asText(), "Bon client, paie à temps — toujours");
  // valueAt gives the same values in place, and a blank where get() fails.
  int rowsRead = 0;
  for (pdx::Status st = r.first(); st.ok(); st = r.next(), ++rowsRead)
    for (int f = 0; f < static_cast<int>(r.fields().size()); ++f) EXPECT_EQ(r.valueAt(f), *r.get(f)) << f;
  EXPECT_EQ(rowsRead, 3);
  EXPECT_EQ(&r.valueAt(1), &r.valueAt(1)) << "no copy";
  EXPECT_TRUE(r.valueAt(11).isNull());
  EXPECT_TRUE(r.valueAt(-1).isNull());

  auto none = run("SELECT * FROM cli WHERE Cli_code = 'nobody'");
  ASSERT_TRUE(none.ok());
  EXPECT_EQ((*none)->rowCount(), 0);
  EXPECT_TRUE((*none)->eof() && (*none)->bof() && !(*none)->hasRecord());
  EXPECT_TRUE((*none)->first().is(pdx::code::kEof));
  EXPECT_EQ((*none)->get(0).status().code(), pdx::code::kNoCurrentRecord);
  EXPECT_TRUE((*none)->valueAt(0).isNull());
}

// Rows in key order are kept as stored and decoded as they are read; sorted
// rows are decoded at once. Both must give the same values, row by row, and
// neither may see a change made to the table after the query ran.
TEST_F(Sql, RowsKeptAsStoredReadLikeDecodedRowsAndStaySnapshots) {
  // A memo short enough to live in its record, beside ABC01's long one.
  {
    auto t = dir_->openTable("cli");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE((*t)->findKey({Value::text("BOU02")}).ok());
    ASSERT_TRUE((*t)->edit().ok());
    ASSERT_TRUE((*t)->set(9, Value::text("Court")).ok());
    ASSERT_TRUE((*t)->post().ok());
  }
  auto kept = run("SELECT * FROM cli WHERE Cli_terms <> 99");
  auto sorted = run("SELECT * FROM cli WHERE Cli_terms <> 99 ORDER BY Cli_code DESC");
  ASSERT_TRUE(kept.ok() && sorted.ok());
  ASSERT_FALSE((*kept)->stats().sorted);
  ASSERT_TRUE((*sorted)->stats().sorted);
  RowSet& a = **kept;
  RowSet& b = **sorted;
  ASSERT_EQ(a.rowCount(), b.rowCount());

  // The table changes under both sets: a name rewritten, a comment replaced.
  auto t = dir_->openTable("cli");
  ASSERT_TRUE(t.ok());
  ASSERT_TRUE((*t)->findKey({Value::text("ABC01")}).ok());
  ASSERT_TRUE((*t)->edit().ok());
  ASSERT_TRUE((*t)->set(1, Value::text("Renamed")).ok());
  ASSERT_TRUE((*t)->set(9, Value::text("Replaced")).ok());
  ASSERT_TRUE((*t)->post().ok());
  t->reset();

  // Walked forward, backward and by jumps: each row shows its own values.
  const int64_t n = a.rowCount();
  std::vector<int64_t> order;
  for (int64_t i = 0; i < n; ++i) order.push_back(i);
  for (int64_t i = n - 1; i >= 0; --i) order.push_back(i);
  for (int64_t i = 0; i < n; i += 3) order.push_back(n - 1 - i);
  for (int64_t row : order) {
    ASSERT_TRUE(a.moveTo(row).ok());
    ASSERT_TRUE(b.moveTo(n - 1 - row).ok());
    for (int f = 0; f < static_cast<int>(a.fields().size()); ++f)
      EXPECT_EQ(a.valueAt(f), b.valueAt(f)) << "row " << row << " field " << f;
  }
  ASSERT_TRUE(a.first().ok());
  EXPECT_EQ(a.get("Cli_name")->asText(), "Épicerie Côté");
  EXPECT_EQ(a.get("Cli_comments")->asText(), "Bon client, paie à temps — toujours");
  EXPECT_EQ(a.get("Cli_credit")->asDecimal(), b.last().ok() ? b.get("Cli_credit")->asDecimal() : "");
  ASSERT_TRUE(a.next().ok());
  EXPECT_EQ(a.get("Cli_code")->asText(), "BOU02");
  EXPECT_EQ(a.get("Cli_comments")->asText(), "Court");
  ASSERT_TRUE(a.next().ok());
  EXPECT_TRUE(a.get("Cli_comments")->isNull());
}

TEST_F(Sql, PdxtoolSqlCommand) {
  std::ostringstream out, err;
  int rc = pdxtool::runSqlCommand(
      {tmp_.path(), "SELECT * FROM car\nWHERE Car_client = :client\nORDER BY Car_invoice DESC", "--param", "client=BOU02"},
      out, err);
  EXPECT_EQ(rc, 0) << err.str();
  EXPECT_EQ(out.str(),
            "Car_client\tCar_invoice\tCar_ref\tCar_date\tCar_type\tCar_seq\tCar_amount\n"
            "BOU02\tF-100\t\t2023-03-02\t1\t1\t80\n");
  EXPECT_EQ(err.str(), "");

  out.str("");
  rc = pdxtool::runSqlCommand({tmp_.path(), "SELECT * FROM cli WHERE Cli_balance = :b", "--param=b=12.5"}, out, err);
  EXPECT_EQ(rc, 0) << err.str();
  const std::string printed = out.str();
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 3);

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {tmp_.path()},
           {tmp_.path(), "SELECT * FROM cli", "--param"},
           {tmp_.path(), "SELECT * FROM cli", "extra"},
           {tmp_.path(), "SELECT * FROM cli WHERE Cli_code = :c", "--param", "nobody=1"},
           {tmp_.path(), "SELECT * FROM cli WHERE Cli_code = :c"},
           {tmp_.path(), "DELETE FROM cli"},
           {tmp_.file("missing"), "SELECT * FROM cli"},
       }) {
    out.str("");
    err.str("");
    EXPECT_EQ(pdxtool::runSqlCommand(args, out, err), 1) << args.back();
    EXPECT_EQ(out.str(), "") << args.back();
    EXPECT_NE(err.str().find("pdxtool sql: "), std::string::npos) << args.back();
  }
}

}  // namespace
}  // namespace sql
