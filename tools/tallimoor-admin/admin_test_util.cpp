#include "admin_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/money.h"

namespace admin::testing {

namespace fs = std::filesystem;

std::shared_ptr<pdx::Directory> openDirectory(const std::string& path) {
  auto dir = pdx::Directory::open(path, pdx::Env::unsynced());
  EXPECT_TRUE(dir.ok()) << dir.status().toString();
  return dir.ok() ? *dir : nullptr;
}

std::vector<Record> readAll(pdx::Directory& dir, const std::string& table) {
  std::vector<Record> rows;
  auto t = dir.openTable(table, pdx::Directory::Access::kReadOnly);
  EXPECT_TRUE(t.ok()) << table << ": " << t.status().toString();
  if (!t.ok()) return rows;
  const auto& fields = (*t)->schema().fields;
  pdx::Status st = (*t)->first();
  while (st.ok() && (*t)->hasRecord()) {
    Record r;
    for (size_t i = 0; i < fields.size(); ++i) {
      auto v = (*t)->get(static_cast<int>(i));
      EXPECT_TRUE(v.ok()) << table << "." << fields[i].name << ": " << v.status().toString();
      r[fields[i].name] = v.ok() ? *v : pdx::Value();
    }
    rows.push_back(std::move(r));
    st = (*t)->next();
  }
  EXPECT_TRUE(st.ok() || st.is(pdx::code::kEof)) << table << ": " << st.toString();
  return rows;
}

std::vector<Record> readAll(const std::string& dir, const std::string& table) {
  auto d = openDirectory(dir);
  return d ? readAll(*d, table) : std::vector<Record>{};
}

namespace {
const pdx::Value& field(const Record& r, const std::string& name) {
  static const pdx::Value kNull;
  auto it = r.find(name);
  EXPECT_TRUE(it != r.end()) << "no field " << name;
  return it == r.end() ? kNull : it->second;
}
}  // namespace

std::string textOf(const Record& r, const std::string& name) {
  const pdx::Value& v = field(r, name);
  if (v.isNull()) return {};
  EXPECT_EQ(v.kind(), pdx::Value::Kind::kText) << name;
  return v.kind() == pdx::Value::Kind::kText ? v.asText() : std::string();
}

int64_t intOf(const Record& r, const std::string& name) {
  const pdx::Value& v = field(r, name);
  if (v.isNull()) return 0;
  EXPECT_EQ(v.kind(), pdx::Value::Kind::kInteger) << name;
  return v.kind() == pdx::Value::Kind::kInteger ? v.asInteger() : 0;
}

double numberOf(const Record& r, const std::string& name) {
  const pdx::Value& v = field(r, name);
  if (v.isNull()) return 0;
  EXPECT_EQ(v.kind(), pdx::Value::Kind::kNumber) << name;
  return v.kind() == pdx::Value::Kind::kNumber ? v.asNumber() : 0;
}

pdx::Date dateOf(const Record& r, const std::string& name) {
  const pdx::Value& v = field(r, name);
  EXPECT_EQ(v.kind(), pdx::Value::Kind::kDate) << name;
  return v.kind() == pdx::Value::Kind::kDate ? v.asDate() : pdx::Date{};
}

int64_t fixedOf(const Record& r, const std::string& name) {
  const auto fixed = db::Money::fromDouble(numberOf(r, name));
  EXPECT_TRUE(fixed.has_value()) << name;
  return fixed.value_or(db::Money()).units();
}

std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return files;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string rel = fs::relative(it->path(), dir).string();
    if (it->is_directory()) {
      files[rel + "/"] = "";
      continue;
    }
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[rel] = std::to_string(bytes.str().size()) + ":" + std::to_string(std::hash<std::string>{}(bytes.str()));
  }
  return files;
}

}  // namespace admin::testing
