// Names that differ only in case, on a file system that tells them apart:
// which table and which companion files a name stands for.
#include "file_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "pdx/check.h"
#include "pdx/table.h"
#include "test_util.h"

namespace pdx {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// A keyed table `name` in `folder` with a memo field, holding one row.
void makeTable(const std::string& folder, const std::string& name, const std::string& code, const std::string& memo) {
  auto dir = Directory::open(folder, Env::unsynced());
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE((*dir)->createTable(name, {{"Code", FieldType::kAlpha, 8}, {"Note", FieldType::kMemo, 4}}, 1).ok());
  auto t = (*dir)->openTable(name);
  ASSERT_TRUE(t.ok());
  ASSERT_TRUE((*t)->append().ok());
  ASSERT_TRUE((*t)->set("Code", Value::text(code)).ok());
  ASSERT_TRUE((*t)->set("Note", Value::text(memo)).ok());
  ASSERT_TRUE((*t)->post().ok());
}

// Renames the files of table `from` to the stem `to` (what a second table
// whose name differs only in case looks like: the engine will not make one).
void renameTable(const std::string& dir, const std::string& from, const std::string& to) {
  for (const char* ext : {".DB", ".PX", ".MB"}) fs::rename(dir + "/" + from + ext, dir + "/" + to + ext);
  fs::remove(dir + "/" + from + ".tlk");
}

std::string rowOf(Directory& dir, const std::string& name) {
  auto t = dir.openTable(name, Directory::Access::kReadOnly);
  if (!t.ok()) return t.status().toString();
  if (!(*t)->first().ok()) return "no row";
  auto code = (*t)->get("Code");
  auto note = (*t)->get("Note");
  if (!code.ok() || !note.ok()) return "unreadable";
  return code->asText() + "/" + note->asText();
}

// t.DB and T.DB: each spelling opens its own table with its own memo file,
// the check reports the pair, and deleting one leaves every file of the other.
TEST(FileNames, AnExactNameWinsAndEachTableKeepsItsOwnCompanions) {
  TempDir tmp;
  ASSERT_NO_FATAL_FAILURE(makeTable(tmp.path(), "t", "small", "the small table's memo"));
  ASSERT_NO_FATAL_FAILURE(makeTable(tmp.path(), "other", "big", "the big table's memo"));
  renameTable(tmp.path(), "other", "T");

  auto dir = Directory::open(tmp.path(), Env::unsynced());
  ASSERT_TRUE(dir.ok());
  EXPECT_EQ(rowOf(**dir, "t"), "small/the small table's memo");
  EXPECT_EQ(rowOf(**dir, "t.db"), "small/the small table's memo");
  EXPECT_EQ(rowOf(**dir, "T"), "big/the big table's memo");
  EXPECT_EQ(rowOf(**dir, "T.DB"), "big/the big table's memo");

  for (const char* name : {"t.DB", "T.DB"}) {
    auto report = checkTable(tmp.file(name), Env::unsynced());
    ASSERT_TRUE(report.ok());
    const std::string other = name[0] == 't' ? "\"T.DB\"" : "\"t.DB\"";
    ASSERT_EQ(report->faults.size(), 1u) << name;
    EXPECT_NE(report->faults[0].find(other), std::string::npos) << report->faults[0];
  }

  ASSERT_TRUE((*dir)->deleteTable("t").ok());
  for (const char* kept : {"T.DB", "T.PX", "T.MB"}) EXPECT_TRUE(fs::exists(tmp.file(kept))) << kept;
  EXPECT_FALSE(fs::exists(tmp.file("t.DB")));
  EXPECT_FALSE(fs::exists(tmp.file("t.MB")));
  EXPECT_EQ(rowOf(**dir, "t"), "big/the big table's memo");  // now the only one
}

// With no exact spelling, two candidates are refused as ambiguous, never
// guessed, for a table and for a companion file alike; and no third
// spelling can be created beside them.
TEST(FileNames, ANameThatMatchesSeveralFilesOnlyWithoutCaseIsRefused) {
  TempDir tmp;
  for (const auto& [name, code, memo] :
       {std::tuple{"first", "1", "one"}, std::tuple{"second", "2", "two"}, std::tuple{"x", "3", "three"}})
    ASSERT_NO_FATAL_FAILURE(makeTable(tmp.path(), name, code, memo));
  renameTable(tmp.path(), "first", "Ab");
  renameTable(tmp.path(), "second", "aB");
  fs::rename(tmp.file("x.MB"), tmp.file("X.MB"));
  fs::copy_file(tmp.file("X.MB"), tmp.file("X.mb"));

  auto dir = Directory::open(tmp.path(), Env::unsynced());
  ASSERT_TRUE(dir.ok());
  auto ab = (*dir)->openTable("ab");
  ASSERT_FALSE(ab.ok());
  EXPECT_EQ(ab.status().code(), code::kInvalidName);
  EXPECT_NE(ab.status().message().find("\"Ab.DB\""), std::string::npos) << ab.status().message();
  EXPECT_NE(ab.status().message().find("\"aB.DB\""), std::string::npos) << ab.status().message();
  EXPECT_EQ(rowOf(**dir, "Ab"), "1/one");
  EXPECT_EQ(rowOf(**dir, "aB"), "2/two");
  EXPECT_FALSE((*dir)->createTable("AB", {{"Code", FieldType::kAlpha, 8}}, 0).ok());
  EXPECT_FALSE(fs::exists(tmp.file("AB.DB")));

  auto x = (*dir)->openTable("x");
  ASSERT_FALSE(x.ok());
  EXPECT_EQ(x.status().code(), code::kInvalidName);
  EXPECT_NE(x.status().message().find("\"X.MB\""), std::string::npos) << x.status().message();
  auto report = checkTable(tmp.file("x.DB"), Env::unsynced());
  ASSERT_TRUE(report.ok());
  EXPECT_FALSE(report->ok());

  // One companion spelled in another case, and no rival table: it is the table's.
  fs::remove(tmp.file("X.mb"));
  EXPECT_EQ(rowOf(**dir, "x"), "3/three");
}

}  // namespace
}  // namespace pdx
