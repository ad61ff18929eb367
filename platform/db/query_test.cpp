// Queries as datasets, with the texts the inquiry windows build.
#include <gtest/gtest.h>

#include "db/data_source.h"
#include "db/error.h"
#include "db/formats.h"
#include "db/query.h"
#include "db_test_util.h"
#include "sql/query.h"

namespace db::testing {
namespace {

class QueryTest : public DataSetTest {
 protected:
  void SetUp() override {
    makeTable("cli",
              {{"Cli_code", FieldType::kAlpha, 10}, {"Cli_name", FieldType::kAlpha, 60},
               {"Cli_city", FieldType::kAlpha, 40}, {"Cli_credit_limit", FieldType::kLong, 0},
               {"Cli_current_bal", FieldType::kMoney, 0}, {"Cli_date_created", FieldType::kDate, 0},
               {"Cli_tax_fed", FieldType::kLogical, 0}, {"Cli_comments", FieldType::kMemo, 20}},
              "Cli_code",
              {{T("C01"), T("Abbott Inc"), T("Laval"), I(5000), N(120.5), D(2024, 3, 5), L(true), T("note")},
               {T("C02"), T("O'Brien & Sons"), T("Gatineau"), I(10000), N(0), D(2024, 3, 6), L(false), Value()},
               {T("C03"), T("Côté Ltée"), T("Québec"), I(2500), N(-40), D(2024, 2, 5), L(true),
                T("a much longer comment that lives in the memo file")},
               {T("C04"), T("Dubé"), T("Laval"), Value(), N(75.25), D(2023, 3, 5), Value(), Value()},
               {T("C05"), T("Eastwood"), T("Sherbrooke"), I(5000), N(1), D(2024, 4, 5), L(false), Value()}});
    makeTable("car",
              {{"Car_client", FieldType::kAlpha, 10}, {"Car_invoice", FieldType::kAlpha, 10},
               {"Car_ref", FieldType::kAlpha, 10}, {"Car_date", FieldType::kDate, 0},
               {"Car_type", FieldType::kAlpha, 1}, {"Car_seq", FieldType::kLong, 0},
               {"Car_amount", FieldType::kMoney, 0}},
              "Car_client;Car_invoice;Car_ref;Car_date;Car_type",
              {{T("C01"), T("I-2"), Value(), D(2024, 5, 1), T("1"), I(1), N(80)},
               {T("C01"), T("I-1"), T("R1"), D(2024, 4, 20), T("2"), I(2), N(-50)},
               {T("C01"), T("I-1"), Value(), D(2024, 4, 1), T("1"), I(3), N(100.10)},
               {T("C01"), T("I-1"), T("R2"), D(2024, 4, 25), T("2"), I(4), N(-50.10)},
               {T("C02"), T("I-9"), Value(), D(2024, 6, 1), T("1"), I(5), N(9)}});
    RegionalFormats::current() = RegionalFormats();
  }

  std::vector<std::string> codes(Query& q) { return column(q, q.fields()[0]->fieldName()); }

  // The search text of the client list, as the inquiry builds it.
  static std::vector<std::string> searchText(const std::string& field, const std::string& op, const std::string& param) {
    if (op == "CONTAINING") return {"SELECT * FROM cli WHERE " + field + " LIKE " + "'" + "%" + param + "%" + "';"};
    return {"SELECT * FROM cli WHERE " + field + " " + op + "'" + param + "';"};
  }

  // The date search text, character for character as the inquiry builds it.
  static std::string dateText(const std::string& f, const std::string& op, int y, int m, int d) {
    const std::string Y = std::to_string(y), M = std::to_string(m), D = std::to_string(d);
    if (op == "=" || op == "<>")
      return "SELECT * FROM cli WHERE EXTRACT (YEAR FROM " + f + ")" + op + Y + " AND EXTRACT(MONTH FROM " + f + ")" +
             op + M + "AND EXTRACT(DAY FROM " + f + ")" + op + D + ";";
    return "SELECT * FROM cli WHERE EXTRACT(YEAR FROM " + f + ")" + op + Y + " OR (EXTRACT(YEAR FROM " + f + ")=" + Y +
           "AND EXTRACT(MONTH FROM " + f + ")" + "=" + M + "AND EXTRACT(DAY FROM " + f + ")" + op + D +
           ")OR (EXTRACT(YEAR FROM " + f + ")=" + Y + "AND EXTRACT(MONTH FROM " + f + ")" + op + M + ");";
  }

  void prep(Query& q, std::vector<std::string> lines) {
    q.setDatabaseName(dir_.path());
    q.setSql(std::move(lines));
  }
};

TEST_F(QueryTest, ClientListAndStatementFollowTheClient) {
  Query clients("Query1"), statement("Query2");
  clients.setDatabaseName(dir_.path());
  clients.setSql({"SELECT * FROM CLI", "ORDER BY Cli_code ASC;"});
  statement.setDatabaseName(dir_.path());
  statement.setSql({"SELECT * FROM CAR", "WHERE Car_client = :client",
                    "ORDER BY Car_invoice, Car_ref, Car_date, Car_type ASC;"});
  // The client list's after-scroll reopens the statement for the new client,
  // and refreshes the client list itself (which must not scroll it again).
  int scrolls = 0;
  clients.afterScroll = [&](DataSet& ds) {
    ++scrolls;
    statement.close();
    EXPECT_OK(statement.setParam("client", ds.fieldByName("Cli_code").value()));
    EXPECT_OK(statement.open());
    EXPECT_OK(ds.refresh());
  };
  ASSERT_OK(clients.open());
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(codes(clients), (std::vector<std::string>{"C01", "C02", "C03", "C04", "C05"}));
  ASSERT_OK(clients.first());
  EXPECT_EQ(column(statement, "Car_ref"), (std::vector<std::string>{"", "R1", "R2", ""}));
  ASSERT_NE(statement.stats(), nullptr);
  EXPECT_EQ(statement.stats()->keyFieldsUsed, 1);
  EXPECT_FALSE(statement.stats()->sorted);
  ASSERT_OK(clients.next());
  EXPECT_EQ(column(statement, "Car_invoice"), (std::vector<std::string>{"I-9"}));
  ASSERT_OK(clients.next());
  EXPECT_TRUE(statement.isEmpty());

  // The rows are read-only.
  ASSERT_OK(clients.first());
  EXPECT_EQ(clients.edit().code(), code::kDataSetReadOnly);
  EXPECT_EQ(clients.insert().code(), code::kDataSetReadOnly);
  EXPECT_EQ(clients.state(), DataSet::State::kBrowse);
}

TEST_F(QueryTest, PayablesTextWithTwoBlanksAfterBy) {
  makeTable("cap", {{"Cap_supplier", FieldType::kAlpha, 10}, {"Cap_invoice", FieldType::kAlpha, 10},
                    {"Cap_ref", FieldType::kAlpha, 10}, {"Cap_date", FieldType::kDate, 0},
                    {"Cap_type", FieldType::kAlpha, 1}, {"Cap_amount", FieldType::kMoney, 0}},
            "Cap_supplier;Cap_invoice;Cap_ref;Cap_date;Cap_type",
            {{T("S1"), T("B"), Value(), D(2024, 1, 1), T("1"), N(5)},
             {T("S1"), T("A"), T("X"), D(2024, 1, 2), T("4"), N(6)},
             {T("S2"), T("A"), Value(), D(2024, 1, 1), T("1"), N(7)}});
  Query q;
    prep(q, {"SELECT * FROM cap", "WHERE Cap_supplier = :supplier",
                   "ORDER BY  Cap_invoice, Cap_ref, Cap_date, Cap_type ASC;"});
  ASSERT_OK(q.setParam(":Supplier", T("S1")));
  EXPECT_EQ(q.setParam("client", T("S1")).code(), sql::code::kUnknownParameter);
  ASSERT_OK(q.open());
  EXPECT_EQ(column(q, "Cap_invoice"), (std::vector<std::string>{"A", "B"}));
  Query suppliers;
    prep(suppliers, {"SELECT * FROM sup", "ORDER BY Sup_code ASC;"});
  EXPECT_EQ(suppliers.open().code(), pdx::code::kTableNotFound);
}

TEST_F(QueryTest, SearchTextsForEveryOperator) {
  struct Case {
    std::string field, op, param;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"Cli_city", "=", "Laval", {"C01", "C04"}},
      {"Cli_city", "<>", "Laval", {"C02", "C03", "C05"}},
      {"Cli_name", ">", "D", {"C02", "C04", "C05"}},  // byte order: "Côté" < "D" < "Dubé"
      {"Cli_credit_limit", ">", "4000", {"C01", "C02", "C05"}},  // quoted number against a long
      {"Cli_credit_limit", "<", "5000", {"C03"}},               // blank is neither
      {"Cli_current_bal", "=", "75.25", {"C04"}},
      {"Cli_tax_fed", "=", "True", {"C01", "C03"}},
      {"Cli_name", "CONTAINING", "wood", {"C05"}},
      {"Cli_comments", "CONTAINING", "memo", {"C03"}},
      {"Cli_city", "=", "", {}},
  };
  for (const Case& c : cases) {
    Query q;
    prep(q, searchText(c.field, c.op, c.param));
    pdx::Status opened = q.open();
    ASSERT_TRUE(opened.ok()) << c.field << c.op << c.param << ": " << opened.toString();
    EXPECT_EQ(codes(q), c.want) << c.field << " " << c.op << " " << c.param;
  }
  // A quoted value that is no number against a number field is an error, not "no rows".
  Query bad;
    prep(bad, searchText("Cli_credit_limit", "=", "lots"));
  EXPECT_EQ(bad.open().code(), sql::code::kTypeMismatch);
  EXPECT_FALSE(bad.active());
  // A date field searched with CONTAINING builds no text: opening fails.
  Query none;
    prep(none, {});
  EXPECT_FALSE(none.open().ok());
}

TEST_F(QueryTest, DateSearchTextsRunAsBuilt) {
  const std::string f = "Cli_date_created";
  struct Case {
    std::string op;
    std::vector<std::string> want;
  };
  // "<>" asks that year, month and day all differ: every client shares one
  // of them with 2024-03-05.
  for (const Case& c : std::vector<Case>{{"=", {"C01"}}, {"<>", {}}, {"<", {"C03", "C04"}}, {">", {"C02", "C05"}}}) {
    Query q;
    prep(q, {dateText(f, c.op, 2024, 3, 5)});
    ASSERT_OK(q.open());
    EXPECT_EQ(codes(q), c.want) << c.op;
  }
}

TEST_F(QueryTest, SqlInsideASearchOrAParameterNeverRuns) {
  // Typed into the search box: the text around it makes it a second
  // statement or a syntax error, and nothing is written.
  for (const std::string& evil : {std::string("x'; DELETE FROM cli; --"), std::string("x' OR 'a'='a' ; DROP TABLE cli"),
                                  std::string("O'Brien")}) {
    Query q;
    prep(q, searchText("Cli_name", "=", evil));
    pdx::Status s = q.open();
    EXPECT_FALSE(s.ok()) << evil;
    EXPECT_TRUE(s.code() == sql::code::kSyntaxError || s.code() == sql::code::kNotAllowed) << s.toString();
  }
  // As a parameter it is plain text.
  Query p;
    prep(p, {"SELECT * FROM cli WHERE Cli_name = :name"});
  ASSERT_OK(p.setParam("name", T("x'; DELETE FROM cli; --")));
  ASSERT_OK(p.open());
  EXPECT_TRUE(p.isEmpty());
  ASSERT_OK(p.setParam("name", T("O'Brien & Sons")));
  ASSERT_OK(p.refresh());
  EXPECT_EQ(codes(p), std::vector<std::string>{"C02"});
  Query all;
    prep(all, {"SELECT * FROM cli"});
  ASSERT_OK(all.open());
  EXPECT_EQ(*all.recordCount(), 5);
}

TEST_F(QueryTest, MalformedTextsAreErrorsWithAPlace) {
  for (const std::vector<std::string>& lines :
       std::vector<std::vector<std::string>>{{"SELECT * FROM"},
                                             {"SELECT * FROM cli", "WHERE Cli_code = "},
                                             {"SELECT * FROM cli WHERE (Cli_code = 'a'"},
                                             {"SELECT * FROM cli ORDER BY"},
                                             {"UPDATE cli SET Cli_name = 'x'"},
                                             {"SELECT * FROM cli WHERE Nope = 1"}}) {
    Query q;
    prep(q, lines);
    pdx::Status s = q.open();
    EXPECT_FALSE(s.ok()) << lines.front();
    EXPECT_FALSE(q.active());
    EXPECT_THROW(check(s), DatabaseError);
  }
  Query unbound;
    prep(unbound, {"SELECT * FROM cli WHERE Cli_code = :code"});
  EXPECT_EQ(unbound.open().code(), sql::code::kUnboundParameter);
}

TEST_F(QueryTest, RefreshSeesNewRowsAndKeepsThePlace) {
  Query q;
    prep(q, {"SELECT * FROM car WHERE Car_client = 'C01' ORDER BY Car_seq"});
  q.addCalculatedField("strType", FieldType::kAlpha, 20);
  q.onCalcFields = [](DataSet& ds) {
    EXPECT_OK(ds.fieldByName("strType").setAsString(ds.fieldByName("Car_type").asString() == "2" ? "Payment" : "Invoice"));
  };
  ASSERT_OK(q.open());
  ASSERT_OK(q.next());
  EXPECT_EQ(q.fieldByName("Car_seq").asInteger(), 2);
  EXPECT_EQ(q.fieldByName("strType").asString(), "Payment");

  Table car;
  car.setDatabaseName(dir_.path());
  car.setTableName("car");
  ASSERT_OK(car.open());
  ASSERT_OK(car.insert());
  ASSERT_OK(car.fieldByName("Car_client").setAsString("C01"));
  ASSERT_OK(car.fieldByName("Car_invoice").setAsString("I-3"));
  ASSERT_OK(car.fieldByName("Car_seq").setAsInteger(9));
  ASSERT_OK(car.post());

  EXPECT_EQ(*q.recordCount(), 4);  // a snapshot until refreshed
  ASSERT_OK(q.refresh());
  EXPECT_EQ(*q.recordCount(), 5);
  EXPECT_EQ(q.fieldByName("Car_seq").asInteger(), 2);
  EXPECT_EQ(q.fieldByName("strType").asString(), "Payment");
}

TEST_F(QueryTest, ForEachRowReadsEveryRowWithoutMovingTheDataSet) {
  Query q;
  prep(q, {"SELECT * FROM car WHERE Car_client = 'C01' ORDER BY Car_invoice, Car_ref"});
  struct Heard : DataLink {
    int told = 0;
    void dataSetChanged() override { ++told; }
    void dataSetScrolled() override { ++told; }
  } heard;
  DataSource source(&q);
  heard.setDataSource(&source);
  ASSERT_OK(q.open());
  ASSERT_OK(q.next());
  heard.told = 0;
  std::vector<std::string> seen;
  const std::vector<int> columns = {q.fieldByName("Car_ref").column(), q.fieldByName("Car_amount").column()};
  ASSERT_OK(q.forEachRow(columns, [&](std::span<const pdx::Value* const> v) {
    seen.push_back((v[0]->isNull() ? std::string("-") : v[0]->asText()) + " " + std::to_string(*v[1]->toDouble()));
  }));
  EXPECT_EQ(seen, (std::vector<std::string>{"- 100.100000", "R1 -50.000000", "R2 -50.100000", "- 80.000000"}));
  // Still on the second row, and the controls heard nothing.
  EXPECT_EQ(q.fieldByName("Car_ref").asString(), "R1");
  ASSERT_OK(q.next());
  EXPECT_EQ(q.fieldByName("Car_ref").asString(), "R2");
  EXPECT_EQ(heard.told, 1);  // the move just made
  EXPECT_FALSE(q.forEachRow({99}, [](std::span<const pdx::Value* const>) {}).ok());
  q.close();
  EXPECT_FALSE(q.forEachRow(columns, [](std::span<const pdx::Value* const>) {}).ok());
}

}  // namespace
}  // namespace db::testing
