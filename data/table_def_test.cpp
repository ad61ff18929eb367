#include "data/table_def.h"

#include <gtest/gtest.h>

#include <set>

#include "pxlib_header_reader.h"
#include "test_util.h"

namespace data {
namespace {

using pdx::testing::TempDir;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::shared_ptr<pdx::Directory> openDir(const TempDir& dir) {
  auto d = pdx::Directory::open(dir.path(), pdx::Env::unsynced());
  EXPECT_TRUE(d.ok()) << d.status().toString();
  return *d;
}

TEST(TableDefs, EveryLayoutIsWellFormed) {
  std::set<std::string> names;
  for (const TableDef* def : allTables()) {
    SCOPED_TRACE(def->name);
    EXPECT_TRUE(names.insert(lower(def->name)).second) << "table defined twice";
    std::set<std::string> fields;
    for (const auto& f : def->fields) EXPECT_TRUE(fields.insert(lower(f.name)).second) << f.name << " twice";
    ASSERT_LE(def->keyFieldCount, static_cast<int>(def->fields.size()));
    // Every list the windows search or link on is served by the primary key.
    const auto key = def->keyFieldNames();
    for (const auto& list : def->indexFieldLists) {
      const auto parts = splitFieldList(list);
      ASSERT_LE(parts.size(), key.size()) << list;
      for (size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(lower(parts[i]), lower(key[i])) << list;
    }
    // A key widened beyond the searched fields ends with an autoincrement,
    // so that rows alike in the searched fields can all be stored (car and
    // cap excepted: their five fields are meant to refuse a duplicate).
    size_t longest = 0;
    for (const auto& list : def->indexFieldLists) longest = std::max(longest, splitFieldList(list).size());
    if (!def->indexFieldLists.empty() && key.size() > longest && def->name != "car" && def->name != "cap") {
      EXPECT_EQ(def->fields[key.size() - 1].type, pdx::FieldType::kAutoInc);
    }
  }
}

TEST(TableDefs, TablesLieWhereTheSuiteLooksForThem) {
  for (const char* name : {"comp", "session", "apps", "user", "Desktop", "Languages", "arterms", "virmem"})
    EXPECT_EQ(findTable(name)->location, Location::kDataRoot) << name;
  for (const char* name : {"cli", "sup", "cap", "ctrl", "glm", "periods", "emp", "trkdb", "fadeta"})
    EXPECT_EQ(findTable(name)->location, Location::kCompany) << name;
  EXPECT_EQ(findTable("cartmp")->location, Location::kSessionWork);
  EXPECT_EQ(findTable("FormLangs")->location, Location::kLanguages);
  EXPECT_EQ(companyTables().size() + dataRootTables().size() + sessionWorkTables().size() + 1, allTables().size());
}

TEST(TableDefs, FoundByNameWithoutRegardToCase) {
  EXPECT_EQ(findTable("CTRL.DB"), &tables::ctrl());
  EXPECT_EQ(findTable("ctrl.db"), &tables::ctrl());
  EXPECT_EQ(findTable("Ctrl"), &tables::ctrl());
  EXPECT_EQ(findTable("desktop"), &tables::desktop());
  EXPECT_EQ(findTable("Cartmp7"), nullptr);
  EXPECT_EQ(findTable(".db"), nullptr);
  EXPECT_EQ(findTable(""), nullptr);
  EXPECT_EQ(sessionTableName(tables::cartmp(), 7), "Cartmp7");
  EXPECT_EQ(sessionTableName(tables::captmp(), 12), "Captmp12");
  EXPECT_EQ(translationTableName("MainMenu", "en"), "MainMenuen");
  EXPECT_EQ(translationTableName("vd87", "fra"), "vd87fr");
}

// The report forms address source-entry amounts by column number: Debit1 to
// Debit15 of apori are columns 25 to 39 (from 0), the credits 15 further; the
// cheque report's Debit1 to Debit20 of cdorihdr are 26 to 45, credits 20
// further.
TEST(TableDefs, DistributionColumnsSitWhereTheReportsReadThem) {
  const TableDef& apori = tables::apori();
  for (int n = 1; n <= 15; ++n) {
    EXPECT_EQ(apori.fieldIndex("Debit" + std::to_string(n)), 24 + n);
    EXPECT_EQ(apori.fieldIndex("Credit" + std::to_string(n)), 39 + n);
  }
  const TableDef& cdorihdr = tables::cdorihdr();
  for (int n = 1; n <= 20; ++n) {
    EXPECT_EQ(cdorihdr.fieldIndex("Debit" + std::to_string(n)), 25 + n);
    EXPECT_EQ(cdorihdr.fieldIndex("Credit" + std::to_string(n)), 45 + n);
  }
  // The archive keeps the one field named after the live table.
  EXPECT_EQ(tables::fadeta().field("Fadet_core_cost").type, pdx::FieldType::kMoney);
  EXPECT_EQ(tables::fadet().field("Fadet_core_cost").type, pdx::FieldType::kNumber);
  EXPECT_EQ(tables::fadeta().fieldIndex("Fadeta_core_cost"), -1);
}

// Every table, created by the engine from its definition, reads back the
// same through the engine and through pxlib.
TEST(TableDefs, CreatedTablesReadBackAsDefined) {
  TempDir tmp;
  auto dir = openDir(tmp);
  for (const TableDef* def : allTables()) {
    SCOPED_TRACE(def->name);
    ASSERT_TRUE(createTable(*dir, *def).ok());
    auto table = dir->openTable(def->name);
    ASSERT_TRUE(table.ok()) << table.status().toString();
    EXPECT_TRUE(verifySchema((*table)->schema(), *def).ok()) << verifySchema((*table)->schema(), *def).toString();
    EXPECT_EQ((*table)->schema().blockSize, blockSizeFor(*def));

    auto path = dir->tablePath(def->name);
    ASSERT_TRUE(path.ok());
    auto px = data::testing::readHeaderWithPxlib(*path);
    ASSERT_TRUE(px.ok()) << px.status().toString();
    ASSERT_EQ(px->fields.size(), def->fields.size());
    for (size_t i = 0; i < def->fields.size(); ++i) {
      EXPECT_EQ(px->fields[i].name, def->fields[i].name);
      EXPECT_EQ(px->fields[i].type, def->fields[i].type) << def->fields[i].name;
      if (def->fields[i].type == pdx::FieldType::kAlpha || def->fields[i].type == pdx::FieldType::kBytes ||
          pdx::isBlobType(def->fields[i].type)) {
        EXPECT_EQ(px->fields[i].size, def->fields[i].size) << def->fields[i].name;
      }
    }
    EXPECT_EQ(px->keyFieldCount, def->keyFieldCount);
    EXPECT_EQ(px->recordSize, def->recordSize());
    EXPECT_EQ(px->fileType, def->keyFieldCount > 0 ? 0 : 2);
  }
}

TEST(TableDefs, ASessionCopyIsCreatedUnderItsOwnName) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(createTable(*dir, tables::cartmp(), sessionTableName(tables::cartmp(), 3)).ok());
  EXPECT_TRUE(dir->tableExists("Cartmp3"));
  EXPECT_FALSE(dir->tableExists("cartmp"));
  EXPECT_TRUE(createTable(*dir, tables::cartmp(), "Cartmp3").is(pdx::code::kTableExists));
}

TEST(TableDefs, VerifySchemaNamesTheFirstDifference) {
  pdx::Schema schema;
  schema.fields = tables::periods().fields;
  schema.keyFieldCount = 1;
  EXPECT_TRUE(verifySchema(schema, tables::periods()).ok());
  schema.fields[1].size = 30;
  pdx::Status st = verifySchema(schema, tables::periods());
  EXPECT_TRUE(st.is(pdx::code::kInvalidValue));
  EXPECT_NE(st.message().find("Period_mth"), std::string::npos) << st.message();
  schema.fields[1].size = 20;
  schema.fields[0].name = "PERIOD_NO";  // names compare without regard to case
  EXPECT_TRUE(verifySchema(schema, tables::periods()).ok());
  schema.keyFieldCount = 0;
  EXPECT_FALSE(verifySchema(schema, tables::periods()).ok());
  schema.keyFieldCount = 1;
  schema.fields.pop_back();
  EXPECT_FALSE(verifySchema(schema, tables::periods()).ok());
}

// The keys let the suite store the rows it writes and search them as it does.
class KeyChoices : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = openDir(tmp_); }

  std::unique_ptr<pdx::Table> make(const TableDef& def) {
    EXPECT_TRUE(createTable(*dir_, def).ok());
    auto t = dir_->openTable(def.name);
    EXPECT_TRUE(t.ok());
    return std::move(*t);
  }
  pdx::Status add(pdx::Table& t, const std::vector<std::pair<std::string, pdx::Value>>& values) {
    PDX_RETURN_IF_ERROR(t.insert());
    for (const auto& [name, value] : values) PDX_RETURN_IF_ERROR(t.set(name, value));
    pdx::Status st = t.post();
    if (!st.ok()) (void)t.cancel();
    return st;
  }

  TempDir tmp_;
  std::shared_ptr<pdx::Directory> dir_;
};

pdx::Value text(const char* s) { return pdx::Value::text(s); }
pdx::Value day(int d) { return pdx::Value::date(*pdx::Date::fromYmd(2024, 3, d)); }

TEST_F(KeyChoices, ASecondOpenItemWithTheSameFiveValuesIsRefusedAndStoredAsAdj) {
  auto cap = make(tables::cap());
  auto item = [&](const char* ref) {
    return std::vector<std::pair<std::string, pdx::Value>>{{"Cap_supplier", text("ACME")},
                                                           {"Cap_invoice", text("INV1")},
                                                           {"Cap_ref", text(ref)},
                                                           {"Cap_date", day(4)},
                                                           {"Cap_type", text("1")},
                                                           {"Cap_amount", pdx::Value::number(10)}};
  };
  ASSERT_TRUE(add(*cap, item("")).ok());
  EXPECT_TRUE(add(*cap, item("")).is(pdx::code::kKeyViolation));
  EXPECT_TRUE(add(*cap, item("adj")).ok());
  // The duplicate-invoice test: a partial-key search on supplier and invoice.
  EXPECT_TRUE(cap->findKey({text("ACME"), text("INV1")}).ok());
  EXPECT_TRUE(cap->findKey({text("ACME"), text("INV2")}).is(pdx::code::kRecordNotFound));
}

TEST_F(KeyChoices, SourceEntriesSharingReferencePartyAndDateAllStay) {
  auto apori = make(tables::apori());
  for (const char* drcr : {"", "DN1", "CN1"})
    ASSERT_TRUE(add(*apori, {{"Reference", text("INV1")}, {"Supplier", text("ACME")}, {"Date", day(4)},
                             {"Dr_cr_reference", text(drcr)}})
                    .ok());
  ASSERT_TRUE(apori->setRange({text("INV1"), text("ACME"), day(4)}, {text("INV1"), text("ACME"), day(4)}).ok());
  EXPECT_EQ(*apori->recordCount(), 3);
}

TEST_F(KeyChoices, AUserHasManyDesktopRowsAndAnInvoiceManyLines) {
  auto desktop = make(tables::desktop());
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(add(*desktop, {{"Desktop_user", text("ANNE")}, {"Desktop_Component_type", pdx::Value::integer(1)}}).ok());
  ASSERT_TRUE(add(*desktop, {{"Desktop_user", text("BOB")}}).ok());
  ASSERT_TRUE(desktop->setRange({text("ANNE")}, {text("ANNE")}).ok());
  EXPECT_EQ(*desktop->recordCount(), 4);

  auto fadet = make(tables::fadet());
  for (const char* desc : {"Widget", "", "Gadget"})
    ASSERT_TRUE(add(*fadet, {{"Fadet_doc", text("1")}, {"Fadet_invoice", text("F100")}, {"Fadet_desc", text(desc)}}).ok());
  ASSERT_TRUE(fadet->setRange({text("1"), text("F100")}, {text("1"), text("F100")}).ok());
  EXPECT_EQ(*fadet->recordCount(), 3);
  // Lines come back in the order keyed.
  ASSERT_TRUE(fadet->first().ok());
  EXPECT_EQ(fadet->get("Fadet_desc")->asText(), "Widget");
}

TEST_F(KeyChoices, ReceiptLinesHangOnTheirHeader) {
  auto hdr = make(tables::crorihdr());
  auto det = make(tables::croridet());
  ASSERT_TRUE(add(*hdr, {{"Reference", text("R77")}, {"Client", text("BOUL01")}, {"Date", day(9)}}).ok());
  const int64_t seq = hdr->get("Seq")->asInteger();
  for (const char* inv : {"F1", "F2"})
    ASSERT_TRUE(add(*det, {{"Reference", text("R77")}, {"Client", text("BOUL01")}, {"Date", day(9)},
                           {"Header_seq", pdx::Value::integer(seq)}, {"Invoice", text(inv)}})
                    .ok());
  const std::vector<pdx::Value> link{text("R77"), text("BOUL01"), day(9), pdx::Value::integer(seq)};
  ASSERT_TRUE(det->setRange(link, link).ok());
  EXPECT_EQ(*det->recordCount(), 2);
  // A second receipt with the same reference, client and day is refused.
  EXPECT_TRUE(add(*hdr, {{"Reference", text("R77")}, {"Client", text("BOUL01")}, {"Date", day(9)}})
                  .is(pdx::code::kKeyViolation));
}

}  // namespace
}  // namespace data
