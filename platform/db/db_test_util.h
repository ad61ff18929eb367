// Tables for the dataset tests, made through the dataset layer itself.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/database.h"
#include "db/table.h"
#include "test_util.h"

namespace db::testing {

using pdx::FieldDef;
using pdx::FieldType;
using pdx::Value;

inline Value T(const char* s) { return Value::text(s); }
inline Value I(int64_t v) { return Value::integer(v); }
inline Value N(double v) { return Value::number(v); }
inline Value D(int y, int m, int d) { return Value::date(*pdx::Date::fromYmd(y, m, d)); }
inline Value L(bool b) { return Value::logical(b); }

#define ASSERT_OK(expr)                                   \
  do {                                                    \
    const ::pdx::Status s_ = (expr);                      \
    ASSERT_TRUE(s_.ok()) << #expr << ": " << s_.toString(); \
  } while (0)
#define EXPECT_OK(expr)                                   \
  do {                                                    \
    const ::pdx::Status s_ = (expr);                      \
    EXPECT_TRUE(s_.ok()) << #expr << ": " << s_.toString(); \
  } while (0)

// A temporary company directory; the process's directories are opened
// without fsync (the tests do not cut the power).
class DataSetTest : public ::testing::Test {
 protected:
  DataSetTest() { Database::environment() = pdx::Env::unsynced(); }

  // Creates `name` and fills it with `rows` (values in field order).
  void makeTable(const std::string& name, std::vector<FieldDef> fields, const std::string& key,
                 const std::vector<std::vector<Value>>& rows) {
    Table t;
    t.setDatabaseName(dir_.path());
    t.setTableName(name);
    t.fieldDefs = std::move(fields);
    t.primaryIndexFields = key;
    ASSERT_OK(t.createTable());
    ASSERT_OK(t.open());
    for (const auto& row : rows) {
      ASSERT_OK(t.append());
      for (size_t i = 0; i < row.size(); ++i) ASSERT_OK(t.fields()[i]->setValue(row[i]));
      ASSERT_OK(t.post());
    }
  }

  // The values of `field` over the rows the dataset shows, in order.
  static std::vector<std::string> column(DataSet& ds, const std::string& field) {
    std::vector<std::string> out;
    EXPECT_OK(ds.first());
    while (!ds.eof() && !ds.isEmpty()) {
      out.push_back(ds.fieldByName(field).asString());
      EXPECT_OK(ds.next());
    }
    return out;
  }

  pdx::testing::TempDir dir_;
};

}  // namespace db::testing
