// Tables as datasets: navigation, searches, links, filters, calculated
// fields, editing, events, controls and errors.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "db/data_source.h"
#include "db/error.h"
#include "db/money.h"
#include "db/query.h"
#include "db_test_util.h"

namespace db::testing {
namespace {

// A link that writes down what it hears.
class Recorder : public DataLink {
 public:
  std::vector<std::string> heard;
  void activeChanged() override { heard.push_back("active"); }
  void dataSetChanged() override { heard.push_back("data"); }
  void dataSetScrolled() override { heard.push_back("scroll"); }
  void recordChanged(const Field* f) override { heard.push_back("record:" + (f ? f->fieldName() : std::string("*"))); }
  void editingChanged() override { heard.push_back("editing"); }
};

class TableTest : public DataSetTest {
 protected:
  void SetUp() override {
    makeTable("sup",
              {{"Sup_code", FieldType::kAlpha, 10}, {"Sup_name", FieldType::kAlpha, 60},
               {"Sup_city", FieldType::kAlpha, 40}, {"Sup_current_bal", FieldType::kMoney, 0},
               {"Sup_du_days", FieldType::kLong, 0}, {"Sup_date_created", FieldType::kDate, 0},
               {"Sup_po_req", FieldType::kLogical, 0}},
              "Sup_code",
              {{T("ACME"), T("Acme Supplies"), T("Montréal"), N(100.10), I(30), D(2025, 1, 15), L(true)},
               {T("BOLT"), T("Bolt & Nut"), T("Québec"), N(0.20), I(915), D(2024, 6, 1), L(false)},
               {T("CEDAR"), T("Cedar Ltd"), T("Toronto"), N(-25.5), I(0), D(2026, 2, 28), L(false)},
               {T("DELTA"), T("Delta Paper"), T("Montréal"), N(12), I(60), Value(), Value()}});
    makeTable("cap",
              {{"Cap_supplier", FieldType::kAlpha, 10}, {"Cap_invoice", FieldType::kAlpha, 10},
               {"Cap_ref", FieldType::kAlpha, 10}, {"Cap_date", FieldType::kDate, 0},
               {"Cap_type", FieldType::kAlpha, 1}, {"Cap_seq", FieldType::kAutoInc, 0},
               {"Cap_amount", FieldType::kMoney, 0}},
              "Cap_supplier;Cap_invoice;Cap_ref;Cap_date;Cap_type",
              {{T("ACME"), T("A-1"), Value(), D(2025, 3, 1), T("1"), Value(), N(100.10)},
               {T("ACME"), T("A-2"), Value(), D(2025, 4, 1), T("1"), Value(), N(50)},
               {T("ACME"), T("A-2"), T("CN9"), D(2025, 4, 9), T("5"), Value(), N(-49.90)},
               {T("BOLT"), T("B-1"), Value(), D(2025, 5, 1), T("1"), Value(), N(0.20)},
               {T("DELTA"), T("D-1"), Value(), D(2025, 6, 1), T("1"), Value(), N(12)}});
  }
};

TEST_F(TableTest, NavigatesInKeyOrderAndReportsTheEnds) {
  Table sup;
  sup.setDatabaseName(dir_.path());
  sup.setTableName("SUP.DB");  // any case, with the extension
  ASSERT_OK(sup.open());
  EXPECT_TRUE(sup.bof());
  EXPECT_EQ(sup.fieldByName("sup_code").asString(), "ACME");
  EXPECT_EQ(column(sup, "Sup_code"), (std::vector<std::string>{"ACME", "BOLT", "CEDAR", "DELTA"}));
  EXPECT_TRUE(sup.eof());
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "DELTA");  // stays on the last
  ASSERT_OK(sup.prior());
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "CEDAR");
  ASSERT_OK(sup.last());
  ASSERT_OK(sup.moveBy(-10));
  EXPECT_TRUE(sup.bof());
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "ACME");
  EXPECT_EQ(*sup.recordCount(), 4);

  // Typed access.
  EXPECT_EQ(sup.fieldByName("Sup_current_bal").asCurrency(), *Money::fromDouble(100.10));
  EXPECT_EQ(sup.fieldByName("Sup_du_days").asInteger(), 30);
  EXPECT_TRUE(sup.fieldByName("Sup_po_req").asBoolean());
  EXPECT_EQ(sup.fieldByName("Sup_city").asString(), "Montréal");
  EXPECT_EQ(sup.findField("nope"), nullptr);
  EXPECT_THROW(sup.fieldByName("nope"), DatabaseError);

  // An empty table stands on nothing and reads blank.
  ASSERT_OK(sup.setRange({T("X")}, {T("Y")}));
  EXPECT_TRUE(sup.isEmpty());
  EXPECT_TRUE(sup.eof() && sup.bof());
  EXPECT_TRUE(sup.fieldByName("Sup_code").isNull());
  ASSERT_OK(sup.next());
  EXPECT_EQ(*sup.recordCount(), 0);
}

// Rows are read into the storage of the row before: nothing of it may show
// through, blanks included, in either direction, and calculated fields start
// blank on every row.
TEST_F(TableTest, EveryValueOfARowIsThatRowsWhicheverRowCameBefore) {
  Table sup;
  sup.setDatabaseName(dir_.path());
  sup.setTableName("sup");
  Field& seen = sup.addCalculatedField("Seen", FieldType::kAlpha, 10);
  std::vector<std::string> calculatedAtEntry;
  sup.onCalcFields = [&](DataSet& d) {
    calculatedAtEntry.push_back(seen.isNull() ? "" : seen.asString());
    seen.setValue(Value::text(d.fieldByName("Sup_code").asString()));
  };
  ASSERT_OK(sup.open());
  const std::vector<std::vector<Value>> rows = {
      {T("ACME"), T("Acme Supplies"), T("Montréal"), N(100.10), I(30), D(2025, 1, 15), L(true), T("ACME")},
      {T("BOLT"), T("Bolt & Nut"), T("Québec"), N(0.20), I(915), D(2024, 6, 1), L(false), T("BOLT")},
      {T("CEDAR"), T("Cedar Ltd"), T("Toronto"), N(-25.5), I(0), D(2026, 2, 28), L(false), T("CEDAR")},
      {T("DELTA"), T("Delta Paper"), T("Montréal"), N(12), I(60), Value(), Value(), T("DELTA")}};
  for (size_t i : {0, 1, 2, 3, 2, 3, 1, 0}) {
    SCOPED_TRACE("row " + std::to_string(i));
    ASSERT_OK(sup.first());
    ASSERT_OK(sup.moveBy(static_cast<int>(i)));
    EXPECT_EQ(sup.currentValues(), rows[i]);
  }
  for (const std::string& value : calculatedAtEntry) EXPECT_EQ(value, "");
}

TEST_F(TableTest, SearchesByKeyNearestAndLocate) {
  Table sup;
  sup.setDatabaseName(dir_.path());
  sup.setTableName("sup");
  ASSERT_OK(sup.open());
  EXPECT_TRUE(*sup.findKey({T("CEDAR")}));
  EXPECT_EQ(sup.fieldByName("Sup_name").asString(), "Cedar Ltd");
  EXPECT_FALSE(*sup.findKey({T("ZZZ")}));
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "CEDAR");  // unmoved

  ASSERT_OK(sup.findNearest({T("C")}));
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "CEDAR");
  ASSERT_OK(sup.findNearest({T("ZZZ")}));
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "DELTA");

  LocateOptions loose{true, true};
  EXPECT_TRUE(*sup.locate("Sup_city", {T("montr")}, loose));
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "ACME");
  EXPECT_FALSE(*sup.locate("Sup_city", {T("montr")}));  // exact and with case
  EXPECT_TRUE(*sup.locate("Sup_city;Sup_du_days", {T("Montréal"), T("60")}));  // text converted
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "DELTA");
  EXPECT_FALSE(sup.locate("Sup_city;Sup_du_days", {T("Montréal"), T("sixty")}).ok());
  EXPECT_FALSE(sup.locate("Nope", {T("x")}).ok());

  // Index fields that do not lead the key are searched record by record.
  ASSERT_OK(sup.setIndexFieldNames("Sup_city"));
  EXPECT_TRUE(*sup.findKey({T("Toronto")}));
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "CEDAR");
  ASSERT_OK(sup.setRange({T("Montréal")}, {T("Montréal")}));
  EXPECT_EQ(column(sup, "Sup_code"), (std::vector<std::string>{"ACME", "DELTA"}));
  EXPECT_EQ(*sup.recordCount(), 2);
  ASSERT_OK(sup.cancelRange());
  EXPECT_EQ(*sup.recordCount(), 4);
  EXPECT_FALSE(sup.setIndexFieldNames("Nope").ok());
}

TEST_F(TableTest, DetailFollowsItsMaster) {
  Table sup("sup"), cap("cap");
  sup.setDatabaseName(dir_.path());
  sup.setTableName("sup");
  cap.setDatabaseName(dir_.path());
  cap.setTableName("cap");
  DataSource supSource(&sup);
  cap.setMasterSource(&supSource);
  cap.setMasterFields("Sup_code");
  cap.setIndexFieldNames("Cap_supplier");
  Recorder capHears;
  DataSource capSource(&cap);
  capHears.setDataSource(&capSource);

  // A closed master shows every detail.
  ASSERT_OK(cap.open());
  EXPECT_EQ(*cap.recordCount(), 5);
  ASSERT_OK(sup.open());
  EXPECT_EQ(column(cap, "Cap_invoice"), (std::vector<std::string>{"A-1", "A-2", "A-2"}));
  ASSERT_OK(sup.next());
  EXPECT_EQ(column(cap, "Cap_invoice"), (std::vector<std::string>{"B-1"}));
  ASSERT_OK(sup.next());  // CEDAR has none
  EXPECT_TRUE(cap.isEmpty());
  EXPECT_TRUE(*sup.findKey({T("DELTA")}));
  EXPECT_EQ(cap.fieldByName("Cap_invoice").asString(), "D-1");

  // Inserting into a detail fills the link fields from the master.
  ASSERT_OK(cap.insert());
  EXPECT_EQ(cap.fieldByName("Cap_supplier").asString(), "DELTA");
  ASSERT_OK(cap.fieldByName("Cap_invoice").setAsString("D-2"));
  ASSERT_OK(cap.fieldByName("Cap_date").setAsString("02/07/2025"));
  ASSERT_OK(cap.fieldByName("Cap_type").setAsString("1"));
  ASSERT_OK(cap.post());
  EXPECT_EQ(column(cap, "Cap_invoice"), (std::vector<std::string>{"D-1", "D-2"}));

  // While controls are disabled the detail does not follow; enabling catches up.
  sup.disableControls();
  ASSERT_OK(sup.first());
  EXPECT_EQ(cap.fieldByName("Cap_supplier").asString(), "DELTA");
  sup.enableControls();
  EXPECT_EQ(cap.fieldByName("Cap_supplier").asString(), "ACME");

  // Master with no records: no details.
  ASSERT_OK(sup.setRange({T("X")}, {T("X")}));
  EXPECT_TRUE(cap.isEmpty());
  EXPECT_FALSE(capHears.heard.empty());
}

TEST_F(TableTest, FiltersAndCalculatedFieldsSeeEveryRecord) {
  Table cap;
  cap.setDatabaseName(dir_.path());
  cap.setTableName("cap");
  Field& strType = cap.addCalculatedField("strType", FieldType::kAlpha, 20);
  Field& running = cap.addCalculatedField("balance", FieldType::kMoney);
  int calcs = 0;
  cap.onCalcFields = [&](DataSet& ds) {
    ++calcs;
    const std::string type = ds.fieldByName("Cap_type").asString();
    EXPECT_OK(ds.fieldByName("strType").setAsString(type == "1" ? "Purchase" : type == "5" ? "Credit note" : ""));
    EXPECT_OK(ds.fieldByName("balance").setAsCurrency(ds.fieldByName("Cap_amount").asCurrency() + Money::fromUnits(1)));
  };
  ASSERT_OK(cap.open());
  EXPECT_GT(calcs, 0);
  EXPECT_EQ(strType.asString(), "Purchase");
  EXPECT_EQ(running.asCurrency().units(), 1'001'001);
  // Outside the calculation a calculated field cannot be set.
  EXPECT_FALSE(strType.setAsString("x").ok());

  std::string wanted = "5";
  cap.onFilterRecord = [&](DataSet& ds) { return ds.fieldByName("Cap_type").asString() == wanted; };
  ASSERT_OK(cap.setFiltered(true));
  EXPECT_EQ(column(cap, "Cap_ref"), (std::vector<std::string>{"CN9"}));
  EXPECT_EQ(strType.asString(), "Credit note");
  EXPECT_EQ(*cap.recordCount(), 1);
  EXPECT_TRUE(*cap.locate("Cap_supplier", {T("ACME")}));  // only among the shown
  EXPECT_EQ(cap.fieldByName("Cap_ref").asString(), "CN9");
  EXPECT_FALSE(*cap.locate("Cap_supplier", {T("BOLT")}));
  // A record found but hidden by the filter leaves the row shown as it was.
  EXPECT_FALSE(*cap.findKey({T("ACME"), T("A-1")}));
  EXPECT_EQ(cap.fieldByName("Cap_ref").asString(), "CN9");
  EXPECT_EQ(cap.fieldByName("Cap_amount").asCurrency(), *Money::fromDouble(-49.90));
  EXPECT_EQ(strType.asString(), "Credit note");
  wanted = "9";
  ASSERT_OK(cap.first());
  EXPECT_TRUE(cap.isEmpty());
  ASSERT_OK(cap.setFiltered(false));
  EXPECT_EQ(*cap.recordCount(), 5);
}

TEST_F(TableTest, EditInsertPostCancelDeleteWithEvents) {
  Table sup;
  sup.setDatabaseName(dir_.path());
  sup.setTableName("sup");
  std::vector<std::string> events;
  sup.onNewRecord = [&](DataSet& ds) {
    events.push_back("new");
    // Money and integer fields start at 0, as the entry's source rows do.
    for (const auto& f : ds.fields())
      if (f->dataType() == FieldType::kMoney || f->dataType() == FieldType::kLong) EXPECT_OK(f->setAsInteger(0));
  };
  sup.beforePost = [&](DataSet&) { events.push_back("before"); };
  sup.afterPost = [&](DataSet&) { events.push_back("after"); };
  EXPECT_EQ(sup.findField("Sup_code"), nullptr);  // fields exist once open
  ASSERT_OK(sup.open());
  sup.fieldByName("Sup_code").required = true;

  Recorder heard;
  DataSource source(&sup);
  heard.setDataSource(&source);
  heard.heard.clear();

  ASSERT_OK(sup.insert());
  EXPECT_EQ(sup.state(), DataSet::State::kInsert);
  EXPECT_FALSE(sup.modified());
  EXPECT_EQ(sup.fieldByName("Sup_current_bal").asFloat(), 0.0);
  EXPECT_TRUE(sup.fieldByName("Sup_name").isNull());
  // The required code is missing: the post is refused and the insert stays.
  pdx::Status refused = sup.post();
  EXPECT_EQ(refused.code(), pdx::code::kInvalidValue);
  EXPECT_EQ(sup.state(), DataSet::State::kInsert);
  ASSERT_OK(sup.fieldByName("Sup_code").setAsString("BETA"));
  EXPECT_FALSE(sup.fieldByName("Sup_du_days").setAsString("thirty").ok());
  EXPECT_FALSE(sup.fieldByName("Sup_date_created").setAsString("31/02/2026").ok());
  ASSERT_OK(sup.fieldByName("Sup_date_created").setAsString("07/12/2026"));
  ASSERT_OK(sup.post());
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "BETA");
  EXPECT_EQ(sup.fieldByName("Sup_date_created").displayText(), "07/12/2026");
  EXPECT_EQ(events, (std::vector<std::string>{"new", "before", "before", "after"}));
  EXPECT_NE(std::find(heard.heard.begin(), heard.heard.end(), "record:Sup_code"), heard.heard.end());

  // A key that exists already: key violation, still inserting.
  ASSERT_OK(sup.insert());
  ASSERT_OK(sup.fieldByName("Sup_code").setAsString("ACME"));
  EXPECT_EQ(sup.post().code(), pdx::code::kKeyViolation);
  ASSERT_OK(sup.cancel());
  EXPECT_EQ(sup.state(), DataSet::State::kBrowse);
  EXPECT_EQ(*sup.recordCount(), 5);

  // Edit then move: a changed record is posted on the way.
  EXPECT_TRUE(*sup.findKey({T("BOLT")}));
  ASSERT_OK(sup.edit());
  ASSERT_OK(sup.fieldByName("Sup_current_bal").setAsCurrency(*Money::parse("10.30")));
  ASSERT_OK(sup.next());
  EXPECT_TRUE(*sup.findKey({T("BOLT")}));
  EXPECT_EQ(sup.fieldByName("Sup_current_bal").asCurrency(), *Money::parse("10.30"));

  // Cancel puts the record back.
  ASSERT_OK(sup.edit());
  ASSERT_OK(sup.fieldByName("Sup_name").setAsString("Changed"));
  ASSERT_OK(sup.cancel());
  EXPECT_EQ(sup.fieldByName("Sup_name").asString(), "Bolt & Nut");

  ASSERT_OK(sup.remove());
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "CEDAR");
  ASSERT_OK(sup.last());
  ASSERT_OK(sup.remove());  // the last one: stands on the new last
  EXPECT_EQ(sup.fieldByName("Sup_code").asString(), "CEDAR");
  EXPECT_EQ(*sup.recordCount(), 3);

  // A field set outside edit or insert is refused.
  EXPECT_EQ(sup.fieldByName("Sup_name").setAsString("x").code(), code::kNotEditing);
}

TEST_F(TableTest, TextAControlStillHoldsIsWrittenBeforeTheDatasetMoves) {
  Table sup;
  sup.setDatabaseName(dir_.path());
  sup.setTableName("sup");
  ASSERT_OK(sup.open());
  // A bound edit that has the user's text and writes it when asked.
  struct PendingEdit : DataLink {
    std::string typed;
    void updateData() override {
      if (!typed.empty()) EXPECT_OK(dataSet()->fieldByName("Sup_city").setAsString(typed));
      typed.clear();
    }
  } edit;
  DataSource source(&sup);
  edit.setDataSource(&source);
  ASSERT_OK(sup.edit());
  edit.typed = "Gatineau";
  ASSERT_OK(sup.next());  // moving posts what was typed, not a cancel
  EXPECT_TRUE(*sup.findKey({T("ACME")}));
  EXPECT_EQ(sup.fieldByName("Sup_city").asString(), "Gatineau");
}

TEST_F(TableTest, ALockedRecordIsError10241ThroughTheDatasetAndTheErrorList) {
  Table mine;
  mine.setDatabaseName(dir_.path());
  mine.setTableName("sup");
  ASSERT_OK(mine.open());
  ASSERT_OK(mine.edit());  // ACME locked here

  // Another process tries the same record.
  const std::string path = dir_.path();
  pid_t child = pdx::testing::spawn([&] {
    Table other;
    other.setDatabaseName(path);
    other.setTableName("sup");
    if (!other.open().ok()) return 2;
    pdx::Status s = other.edit();
    if (s.code() != pdx::code::kRecordLocked) return 3;
    try {
      check(s);
    } catch (const DatabaseError& e) {
      return e.last().errorCode == 10241 && e.last().category() == 0x28 && e.last().subCode() == 0x01 ? 0 : 4;
    }
    return 5;
  });
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_OK(mine.cancel());
}

TEST_F(TableTest, ControlsHearNothingWhileDisabledThenOneChange) {
  Table sup;
  sup.setDatabaseName(dir_.path());
  sup.setTableName("sup");
  DataSource source(&sup);
  Recorder heard;
  heard.setDataSource(&source);
  ASSERT_OK(sup.open());
  heard.heard.clear();
  int scrolls = 0;
  sup.afterScroll = [&](DataSet&) { ++scrolls; };
  sup.disableControls();
  sup.disableControls();
  while (!sup.eof()) ASSERT_OK(sup.next());
  sup.enableControls();
  EXPECT_TRUE(heard.heard.empty());
  sup.enableControls();
  EXPECT_EQ(heard.heard, std::vector<std::string>{"data"});
  EXPECT_EQ(scrolls, 3);  // the events still fire

  // A disabled source tells nothing; its links see no dataset.
  source.setEnabled(false);
  heard.heard.clear();
  ASSERT_OK(sup.first());
  EXPECT_EQ(heard.heard, std::vector<std::string>{});
  EXPECT_EQ(heard.dataSet(), nullptr);
}

TEST_F(TableTest, CreateEmptyAndDeleteTheWorkTable) {
  Table tmp;
  tmp.setDatabaseName(dir_.path());
  tmp.setTableName("Captmp7");
  tmp.fieldDefs = {{"Captmp_supplier", FieldType::kAlpha, 10}, {"Captmp_seq", FieldType::kLong, 0},
                   {"Captmp_balance", FieldType::kMoney, 0}};
  tmp.primaryIndexFields = "Captmp_supplier;Captmp_seq";
  ASSERT_OK(tmp.createTable());
  ASSERT_OK(tmp.createTable());  // replaces the old one
  ASSERT_OK(tmp.open());
  for (int i = 1; i <= 3; ++i) {
    ASSERT_OK(tmp.insert());
    ASSERT_OK(tmp.fieldByName("Captmp_supplier").setAsString("ACME"));
    ASSERT_OK(tmp.fieldByName("Captmp_seq").setAsInteger(i));
    ASSERT_OK(tmp.post());
  }
  EXPECT_EQ(*tmp.recordCount(), 3);
  EXPECT_FALSE(tmp.createTable().ok());  // not while open
  ASSERT_OK(tmp.emptyTable());
  EXPECT_TRUE(tmp.isEmpty());
  tmp.close();
  EXPECT_TRUE(*tmp.exists());
  ASSERT_OK(tmp.deleteTable());
  EXPECT_FALSE(*tmp.exists());

  // An index that does not name the leading fields cannot be a primary key.
  tmp.primaryIndexFields = "Captmp_seq";
  EXPECT_EQ(tmp.createTable().code(), pdx::code::kInvalidParameter);
}

TEST_F(TableTest, NamedDatabaseClosesItsDatasetsAndGroupsWrites) {
  Database company("vd87db");
  company.params() = {"path=" + dir_.path()};
  Table sup, cap;
  sup.setDatabaseName("VD87DB");
  sup.setTableName("sup");
  cap.setDatabaseName("vd87db");
  cap.setTableName("cap");
  ASSERT_OK(sup.open());  // connects on demand
  ASSERT_OK(cap.open());
  EXPECT_TRUE(company.connected());

  {
    auto tx = company.startTransaction();
    ASSERT_TRUE(tx.ok()) << tx.status().toString();
    ASSERT_OK(sup.edit());
    ASSERT_OK(sup.fieldByName("Sup_current_bal").setAsFloat(999));
    ASSERT_OK(sup.post());
    ASSERT_OK(cap.append());
    ASSERT_OK(cap.fieldByName("Cap_supplier").setAsString("ACME"));
    ASSERT_OK(cap.fieldByName("Cap_invoice").setAsString("A-9"));
    ASSERT_OK(cap.post());
    // No commit: both writes are undone.
  }
  ASSERT_OK(sup.refresh());
  ASSERT_OK(cap.refresh());
  EXPECT_EQ(sup.fieldByName("Sup_current_bal").asFloat(), 100.10);
  EXPECT_EQ(*cap.recordCount(), 5);

  company.disconnect();
  EXPECT_FALSE(sup.active());
  EXPECT_FALSE(cap.active());

  Database nowhere("nowhere");
  Table t;
  t.setDatabaseName("nowhere");
  t.setTableName("sup");
  EXPECT_EQ(t.open().code(), code::kNoDatabase);
  nowhere.params() = {"PATH=" + dir_.path() + "/missing"};
  EXPECT_FALSE(t.open().ok());
  EXPECT_FALSE(t.active());
}

}  // namespace
}  // namespace db::testing
