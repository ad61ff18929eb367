// init and create-company: the tables they write match the layouts, seen
// through the engine and through pxlib; their rows; their refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "admin_test_util.h"
#include "company.h"
#include "data/codes.h"
#include "data/table_def.h"
#include "data/user_security.h"
#include "data_root.h"
#include "pdx/check.h"
#include "pxlib_header_reader.h"
#include "test_util.h"

namespace admin {
namespace {

namespace fs = std::filesystem;
using pdx::testing::TempDir;
using testing::intOf;
using testing::readAll;
using testing::snapshot;
using testing::textOf;

const pdx::Date kToday = *pdx::Date::fromYmd(2026, 6, 15);

// Every table a layout says lies in `dir` is there, reads back as the layout
// through the engine and pxlib, and passes the engine's structural check.
void expectTablesMatchLayouts(const std::string& dir, const std::vector<const data::TableDef*>& defs) {
  auto d = testing::openDirectory(dir);
  ASSERT_TRUE(d);
  auto names = d->tableNames();
  ASSERT_TRUE(names.ok());
  EXPECT_EQ(names->size(), defs.size());
  for (const data::TableDef* def : defs) {
    SCOPED_TRACE(dir + " " + def->name);
    auto table = d->openTable(def->name, pdx::Directory::Access::kReadOnly);
    ASSERT_TRUE(table.ok()) << table.status().toString();
    const pdx::Status same = data::verifySchema((*table)->schema(), *def);
    EXPECT_TRUE(same.ok()) << same.toString();
    auto path = d->tablePath(def->name);
    ASSERT_TRUE(path.ok());
    auto px = data::testing::readHeaderWithPxlib(*path);
    ASSERT_TRUE(px.ok()) << px.status().toString();
    ASSERT_EQ(px->fields.size(), def->fields.size());
    for (size_t i = 0; i < def->fields.size(); ++i) {
      EXPECT_EQ(px->fields[i].name, def->fields[i].name);
      EXPECT_EQ(px->fields[i].type, def->fields[i].type) << def->fields[i].name;
      if (def->fields[i].type == pdx::FieldType::kAlpha || pdx::isBlobType(def->fields[i].type) ||
          def->fields[i].type == pdx::FieldType::kBytes) {
        EXPECT_EQ(px->fields[i].size, def->fields[i].size) << def->fields[i].name;
      }
    }
    EXPECT_EQ(px->keyFieldCount, def->keyFieldCount);
    auto check = pdx::checkTable(*path, pdx::Env::unsynced());
    ASSERT_TRUE(check.ok());
    EXPECT_TRUE(check->ok()) << (check->faults.empty() ? "" : check->faults[0]);
  }
}

class DataRootTest : public ::testing::Test {
 protected:
  std::string root() const { return tmp_.path() + "/Tallimoor/data"; }
  std::string languages() const { return tmp_.path() + "/Tallimoor/languages"; }

  InitOptions initOptions() const {
    InitOptions o;
    o.dataRoot = root();
    o.sessions = 3;
    o.env = pdx::Env::unsynced();
    return o;
  }
  CompanyOptions companyOptions(int code) const {
    CompanyOptions o;
    o.dataRoot = root();
    o.code = code;
    o.name = "Boulangerie Côté inc.";
    o.language = data::kFrench;
    o.today = kToday;
    o.env = pdx::Env::unsynced();
    return o;
  }
  pdx::Status init() { return initDataRoot(initOptions(), log_); }

  TempDir tmp_;
  std::ostringstream log_;
};

TEST_F(DataRootTest, InitWritesTheSystemTablesAndTheirFirstRows) {
  ASSERT_TRUE(init().ok());
  expectTablesMatchLayouts(root(), data::dataRootTables());

  const auto sessions = readAll(root(), "session");
  ASSERT_EQ(sessions.size(), 3u);
  const auto virmem = readAll(root(), "virmem");
  ASSERT_EQ(virmem.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(intOf(sessions[static_cast<size_t>(i)], "Session_id"), i + 1);
    EXPECT_EQ(intOf(virmem[static_cast<size_t>(i)], "Session_id"), i + 1);
  }
  const auto langs = readAll(root(), "Languages");
  ASSERT_EQ(langs.size(), 2u);
  EXPECT_EQ(intOf(langs[0], "LangKey"), 1);
  EXPECT_EQ(textOf(langs[0], "LangCode"), "en");
  EXPECT_EQ(intOf(langs[1], "LangKey"), 2);
  EXPECT_EQ(textOf(langs[1], "LangCode"), "fr");
  EXPECT_EQ(textOf(langs[1], "LangName"), "Français");

  const auto users = readAll(root(), "user");
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(textOf(users[0], "User_password"), "ADMIN");
  const std::string bits = users[0].at("User_security").asBytes();
  ASSERT_EQ(bits.size(), 200u);
  for (int b = 0; b < data::kSecurityBits; ++b) ASSERT_TRUE(data::testSecurityBit(bits, b)) << b;

  const auto apps = readAll(root(), "apps");
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(textOf(apps[0], "Application_pgm"), "optmenu");
  EXPECT_EQ(textOf(apps[0], "Application_security"), "zk14");
  EXPECT_TRUE(apps[0].at("Application_type").asLogical());
  EXPECT_GE(readAll(root(), "arterms").size(), 5u);
  EXPECT_TRUE(readAll(root(), "comp").empty());
  EXPECT_TRUE(readAll(root(), "Desktop").empty());

  // The translation tables lie in "languages" beside the data root.
  auto lang = testing::openDirectory(languages());
  for (const char* name : {"MainMenuen", "MainMenufr", "kq61en", "kq61fr", "vd52en", "vd52fr", "vd87en", "vd87fr"})
    EXPECT_TRUE(lang->tableExists(name)) << name;
}

TEST_F(DataRootTest, InitStoresTheFirstPasswordUpperCase) {
  InitOptions o = initOptions();
  // Accented letters too: the login box upper-cases them, so the stored key
  // must hold them upper case or the user can never log in.
  o.firstUser.password = "facturé1";
  ASSERT_TRUE(initDataRoot(o, log_).ok());
  EXPECT_EQ(textOf(readAll(root(), "user")[0], "User_password"), "FACTURÉ1");
}

TEST_F(DataRootTest, InitRefusesWithoutTouchingAnything) {
  // A data root that already holds one system table.
  fs::create_directories(root());
  {
    auto d = testing::openDirectory(root());
    ASSERT_TRUE(data::createTable(*d, data::tables::user()).ok());
  }
  const auto before = snapshot(tmp_.path());
  pdx::Status st = init();
  EXPECT_TRUE(st.is(pdx::code::kTableExists)) << st.toString();
  EXPECT_NE(st.message().find("user"), std::string::npos) << st.message();
  EXPECT_EQ(snapshot(tmp_.path()), before);
  EXPECT_FALSE(fs::exists(languages()));

  // A languages folder that already holds a translation table.
  TempDir other;
  fs::create_directories(other.path() + "/languages");
  {
    auto d = testing::openDirectory(other.path() + "/languages");
    ASSERT_TRUE(data::createTable(*d, data::tables::formLangs(), "vd87fr").ok());
  }
  InitOptions o = initOptions();
  o.dataRoot = other.path() + "/data";
  const auto before2 = snapshot(other.path());
  EXPECT_TRUE(initDataRoot(o, log_).is(pdx::code::kTableExists));
  EXPECT_EQ(snapshot(other.path()), before2);

  o.sessions = 0;
  EXPECT_TRUE(initDataRoot(o, log_).is(pdx::code::kInvalidParameter));
  EXPECT_EQ(snapshot(other.path()), before2);
}

TEST_F(DataRootTest, AFailedInitLeavesNothingBehind) {
  // The languages folder cannot be made (a file stands in its way) after the
  // data root's tables are written: everything made is removed again.
  fs::create_directories(tmp_.path() + "/Tallimoor");
  pdx::testing::writeFile(tmp_.path() + "/Tallimoor/blocker", "x");
  InitOptions o = initOptions();
  o.languagesDir = tmp_.path() + "/Tallimoor/blocker/languages";
  const auto before = snapshot(tmp_.path());
  pdx::Status st = initDataRoot(o, log_);
  EXPECT_FALSE(st.ok());
  EXPECT_EQ(snapshot(tmp_.path()), before);
  EXPECT_FALSE(fs::exists(root()));
}

TEST_F(DataRootTest, CreateCompanyWritesEveryLedgerTableAndSoundDefaults) {
  ASSERT_TRUE(init().ok());
  ASSERT_TRUE(createCompany(companyOptions(1), log_).ok());
  const std::string dir = root() + "1";
  expectTablesMatchLayouts(dir, data::companyTables());

  const auto comp = readAll(root(), "comp");
  ASSERT_EQ(comp.size(), 1u);
  EXPECT_EQ(intOf(comp[0], "Comp_Code"), 1);
  EXPECT_EQ(textOf(comp[0], "Comp_Name"), "Boulangerie Côté inc.");
  EXPECT_EQ(textOf(comp[0], "Comp_Passwd"), "");

  const auto ctrl = readAll(dir, "ctrl");
  ASSERT_EQ(ctrl.size(), 1u);
  const auto& c = ctrl[0];
  EXPECT_EQ(intOf(c, "Ctrl_periods"), 12);
  EXPECT_EQ(intOf(c, "Ctrl_ap_period"), 6);  // today's month
  EXPECT_EQ(intOf(c, "Ctrl_ar_period"), 6);
  EXPECT_EQ(intOf(c, "Ctrl_ap_days1"), 30);
  EXPECT_LT(intOf(c, "Ctrl_ap_days4"), intOf(c, "Ctrl_ap_days5"));
  EXPECT_EQ(textOf(c, "Ctrl_ap_dname1"), "Courant");
  EXPECT_EQ(textOf(c, "Ctrl_curr2_sign"), "€");
  EXPECT_EQ(textOf(c, "Ctrl_dollars1"), "dollars");
  // Every account the control record names exists in the chart.
  std::set<int64_t> chart;
  for (const auto& a : readAll(dir, "glm")) chart.insert(intOf(a, "Glm_account"));
  for (const std::string& field : controlAccountFields()) {
    const int64_t account = intOf(c, field);
    if (account != 0) {
        EXPECT_TRUE(chart.count(account)) << field << " = " << account;
      }
  }
  for (int currency = 0; currency <= 4; ++currency) {
    const std::string field = *data::apControlAccountField(currency);
    EXPECT_NE(intOf(c, field), 0) << field;
  }
  EXPECT_NE(intOf(c, "Ctrl_ap_purch_accnt1"), 0);
  // French chart: French descriptions and type words.
  for (const auto& a : readAll(dir, "glm")) {
    EXPECT_TRUE(data::accountTypeOf(textOf(a, "Glm_type")).has_value());
    if (intOf(a, "Glm_account") == 2100) {
      EXPECT_EQ(textOf(a, "Glm_type"), "Passif");
    }
  }
  const auto periods = readAll(dir, "periods");
  ASSERT_EQ(periods.size(), 13u);
  EXPECT_EQ(textOf(periods[5], "Period_mth"), "Juin");
  EXPECT_TRUE(readAll(dir, "trkdb").empty());
  EXPECT_TRUE(readAll(dir, "cap").empty());
}

TEST_F(DataRootTest, CreateCompanyRefusesWithoutTouchingAnything) {
  // No data root yet.
  pdx::Status st = createCompany(companyOptions(1), log_);
  EXPECT_TRUE(st.is(pdx::code::kInvalidParameter)) << st.toString();
  EXPECT_FALSE(fs::exists(root() + "1"));

  ASSERT_TRUE(init().ok());
  ASSERT_TRUE(createCompany(companyOptions(1), log_).ok());
  auto before = snapshot(tmp_.path());
  st = createCompany(companyOptions(1), log_);
  EXPECT_TRUE(st.is(pdx::code::kTableExists)) << st.toString();
  EXPECT_NE(st.message().find("company 1 already exists"), std::string::npos) << st.message();
  EXPECT_EQ(snapshot(tmp_.path()), before);

  // A company directory that holds ledger tables of a company not in comp.
  fs::create_directories(root() + "7");
  {
    auto d = testing::openDirectory(root() + "7");
    ASSERT_TRUE(data::createTable(*d, data::tables::cap()).ok());
  }
  before = snapshot(tmp_.path());
  EXPECT_TRUE(createCompany(companyOptions(7), log_).is(pdx::code::kTableExists));
  EXPECT_EQ(snapshot(tmp_.path()), before);

  CompanyOptions bad = companyOptions(8);
  bad.name = "";
  EXPECT_TRUE(createCompany(bad, log_).is(pdx::code::kInvalidParameter));
  bad = companyOptions(8);
  bad.password = "longer than ten";
  EXPECT_TRUE(createCompany(bad, log_).is(pdx::code::kInvalidParameter));
  EXPECT_EQ(snapshot(tmp_.path()), before);
}

TEST_F(DataRootTest, ATrailingSeparatorNamesTheSameCompanyDirectory) {
  ASSERT_TRUE(init().ok());
  CompanyOptions o = companyOptions(3);
  o.dataRoot = root() + "/";
  ASSERT_TRUE(createCompany(o, log_).ok());
  EXPECT_TRUE(fs::exists(root() + "3/cap.DB"));
  EXPECT_TRUE(createCompany(companyOptions(3), log_).is(pdx::code::kTableExists));
}

}  // namespace
}  // namespace admin
