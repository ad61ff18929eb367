#include "pdx/table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "pdx/check.h"
#include "test_util.h"

namespace pdx {
namespace {

using testing::TempDir;

std::shared_ptr<Directory> openDir(const TempDir& dir) {
  auto d = Directory::open(dir.path(), Env::unsynced());
  EXPECT_TRUE(d.ok()) << d.status().toString();
  return *d;
}

std::unique_ptr<Table> openTable(Directory& dir, std::string_view name) {
  auto t = dir.openTable(name);
  EXPECT_TRUE(t.ok()) << t.status().toString();
  return t.ok() ? std::move(t).value() : nullptr;
}

void expectSound(const std::string& path) {
  auto report = checkTable(path);
  ASSERT_TRUE(report.ok()) << report.status().toString();
  for (const auto& f : report->faults) ADD_FAILURE() << f;
}

std::vector<FieldDef> everyType() {
  return {
      {"Code", FieldType::kAlpha, 12},   {"Short", FieldType::kShort, 0},    {"Long", FieldType::kLong, 0},
      {"Number", FieldType::kNumber, 0}, {"Money", FieldType::kMoney, 0},    {"Day", FieldType::kDate, 0},
      {"Hour", FieldType::kTime, 0},     {"Stamp", FieldType::kTimestamp, 0}, {"Flag", FieldType::kLogical, 0},
      {"Raw", FieldType::kBytes, 6},     {"Amount", FieldType::kBcd, 2},     {"Counter", FieldType::kAutoInc, 0},
      {"Notes", FieldType::kMemo, 10},   {"Rich", FieldType::kFmtMemo, 0},   {"Data", FieldType::kBlob, 4},
      {"Picture", FieldType::kGraphic, 0}, {"Object", FieldType::kOle, 0},
  };
}

TEST(Table, EveryTypeRoundTripsThroughTheFile) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("Sample", everyType(), 1).ok());
  const std::string longMemo(5000, 'x');
  const std::vector<Value> row = {
      Value::text("Élève-Noël"),
      Value::integer(-32767),
      Value::integer(2147483647),
      Value::number(-0.1),
      Value::number(1234567.89),
      Value::date(*Date::fromYmd(2024, 2, 29)),
      Value::time(Time{((13 * 60 + 5) * 60 + 7) * 1000 + 250}),
      Value::timestamp(Timestamp::from(*Date::fromYmd(1999, 12, 31), Time{86'399'999})),
      Value::logical(false),
      Value::bytes(std::string("\x00\x01\xff\x7f", 4)),
      Value::decimal("-12345.67"),
      Value(),  // autoincrement: assigned on post
      Value::text("Société « générale » — " + longMemo),
      Value::text("{\\rtf1 gras}"),
      Value::bytes(std::string(3, '\x01')),
      Value::bytes(std::string(70'000, '\x42')),
      Value::bytes("ole"),
  };
  {
    auto t = openTable(*dir, "sample");
    ASSERT_TRUE(t->insert().ok());
    for (int i = 0; i < static_cast<int>(row.size()); ++i) ASSERT_TRUE(t->set(i, row[size_t(i)]).ok()) << i;
    ASSERT_TRUE(t->post().ok());
    ASSERT_TRUE(t->insert().ok());
    ASSERT_TRUE(t->set("Code", Value::text("blank")).ok());
    ASSERT_TRUE(t->post().ok());
  }
  // A fresh directory object reads what the first wrote.
  auto again = Directory::open(tmp.path(), Env::unsynced());
  auto t = openTable(**again, "SAMPLE.DB");
  ASSERT_TRUE(t->findKey({Value::text("Élève-Noël")}).ok());
  for (int i = 0; i < static_cast<int>(row.size()); ++i) {
    auto v = t->get(i);
    ASSERT_TRUE(v.ok()) << i << " " << v.status().toString();
    if (i == 11) EXPECT_EQ(*v, Value::integer(1));
    else if (i == 9) EXPECT_EQ(*v, Value::bytes(std::string("\x00\x01\xff\x7f\x00\x00", 6))) << "bytes fields are fixed size";
    else EXPECT_EQ(*v, row[size_t(i)]) << "field " << i;
  }
  ASSERT_TRUE(t->findKey({Value::text("blank")}).ok());
  for (int i = 1; i < static_cast<int>(row.size()); ++i) {
    auto v = t->get(i);
    ASSERT_TRUE(v.ok());
    if (i == 11) EXPECT_EQ(*v, Value::integer(2));
    else EXPECT_TRUE(v->isNull()) << "field " << i;
  }
  expectSound(t->path());
}

// The values read into Value objects of the caller, one field or a whole
// record at a time, reusing them from record to record, are get()'s.
TEST(Table, ReadingIntoValuesGivesWhatGetGives) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("Sample", everyType(), 1).ok());
  auto t = openTable(*dir, "sample");
  const std::vector<std::vector<Value>> rows = {
      {Value::text("B-Noël"), Value::integer(-7), Value::integer(70000),
       Value::number(0.5), Value::number(-3.25), Value::date(*Date::fromYmd(2001, 1, 1)), Value::time(Time{1000}),
       Value::timestamp(Timestamp{1.5e12}), Value::logical(true), Value::bytes("abc"), Value::decimal("3.10"), Value(),
       Value::text("en ligne"), Value::text(std::string(3000, 'r')), Value::bytes("xy"),
       Value::bytes(std::string(100, 'g')), Value::bytes(std::string(5000, 'o'))},
      {Value::text("A")},  // every other field blank
      {Value::text("C"), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value::logical(false), Value(),
       Value::decimal("-0.01"), Value(), Value::text("Être à l'écoute, près du client — 12 caractères de plus")},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(t->insert().ok());
    for (size_t i = 0; i < row.size(); ++i) ASSERT_TRUE(t->set(static_cast<int>(i), row[i]).ok()) << i;
    ASSERT_TRUE(t->post().ok());
  }
  const size_t width = everyType().size();
  std::vector<Value> all(width), one(width);
  int seen = 0;
  for (Status st = t->first(); st.ok(); st = t->next(), ++seen) {
    ASSERT_TRUE(t->getAll(all).ok());
    for (size_t i = 0; i < width; ++i) {
      auto want = t->get(static_cast<int>(i));
      ASSERT_TRUE(want.ok());
      ASSERT_TRUE(t->get(static_cast<int>(i), one[i]).ok());
      EXPECT_EQ(one[i], *want) << "record " << seen << " field " << i;
      EXPECT_EQ(all[i], *want) << "record " << seen << " field " << i;
    }
  }
  EXPECT_EQ(seen, 3);
  // The edit buffer, with a memo set but not posted.
  ASSERT_TRUE(t->first().ok());
  ASSERT_TRUE(t->edit().ok());
  ASSERT_TRUE(t->set("Notes", Value::text("pas encore")).ok());
  ASSERT_TRUE(t->set("Short", Value::integer(5)).ok());
  ASSERT_TRUE(t->getAll(all).ok());
  EXPECT_EQ(all[12], Value::text("pas encore"));
  EXPECT_EQ(all[1], Value::integer(5));
  ASSERT_TRUE(t->cancel().ok());

  // A Value made text again keeps its storage and holds only the new text.
  Value reused = Value::text(std::string(100, 'x'));
  const char* storage = reused.asText().data();
  reused.resetText() += "court";
  EXPECT_EQ(reused, Value::text("court"));
  EXPECT_EQ(reused.asText().data(), storage);
  reused = Value::integer(3);
  EXPECT_EQ(reused.resetText(), "");
  EXPECT_EQ(reused.kind(), Value::Kind::kText);

  std::vector<Value> wrongSize(width - 1);
  EXPECT_EQ(t->getAll(wrongSize).code(), code::kInvalidParameter);
  Value v = Value::text("kept?");
  EXPECT_EQ(t->get(static_cast<int>(width), v).code(), code::kInvalidParameter);
  EXPECT_TRUE(v.isNull());
  ASSERT_TRUE(t->setRange({Value::text("X")}, {Value::text("Y")}).ok());  // stands on no record
  EXPECT_EQ(t->getAll(all).code(), code::kNoCurrentRecord);
  EXPECT_EQ(t->get(0, v).code(), code::kNoCurrentRecord);
}

// A table emptied, then written by a directory that opens it afresh (its
// index then has a header and no block): the index stays sound.
TEST(Table, EmptiedTableWrittenAfreshKeepsASoundIndex) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("work", {{"Id", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 30}}, 1).ok());
  auto fill = [&](Directory& d, int from, int to) {
    auto t = openTable(d, "work");
    for (int i = from; i <= to; ++i) {
      ASSERT_TRUE(t->insert().ok());
      ASSERT_TRUE(t->set(0, Value::integer(i)).ok());
      ASSERT_TRUE(t->set(1, Value::text("ligne " + std::to_string(i))).ok());
      ASSERT_TRUE(t->post().ok());
    }
  };
  fill(*dir, 1, 300);
  ASSERT_TRUE(dir->emptyTable("work").ok());
  expectSound(tmp.file("work.DB"));
  fill(*openDir(tmp), 1000, 1400);
  expectSound(tmp.file("work.DB"));
  auto t = openTable(*openDir(tmp), "work");
  EXPECT_EQ(*t->recordCount(), 401);
  ASSERT_TRUE(t->findKey({Value::integer(1234)}).ok());
  EXPECT_EQ(t->get(1)->asText(), "ligne 1234");
}

// A table of more blocks than a cursor's cache holds, read forwards,
// backwards and at random, again and again: blocks read ahead, dropped and
// read again into storage other blocks left.
TEST(Table, ReadsBeyondTheBlockCacheReturnTheRightRecords) {
  TempDir tmp;
  auto dir = openDir(tmp);
  CreateOptions small;
  small.blockSize = 1024;
  ASSERT_TRUE(dir->createTable("big", {{"Id", FieldType::kLong, 0}, {"Text", FieldType::kAlpha, 120}}, 1, small).ok());
  constexpr int kRows = 24'000;  // 8 records a block: 3,000 blocks, more than the 2,048 kept
  auto textOf = [](int id) { return std::to_string(id * 7919 % 100'003) + std::string(static_cast<size_t>(id % 90), 'z'); };
  {
    auto group = dir->beginGroup();
    auto t = openTable(*dir, "big");
    for (int i = 1; i <= kRows; ++i) {
      ASSERT_TRUE(t->insert().ok());
      ASSERT_TRUE(t->set(0, Value::integer(i)).ok());
      ASSERT_TRUE(t->set(1, Value::text(textOf(i))).ok());
      ASSERT_TRUE(t->post().ok());
    }
    ASSERT_TRUE((*group)->commit().ok());
  }
  auto check = [&](Table& t) {
    const int id = static_cast<int>(t.get(0)->asInteger());
    return t.get(1)->asText() == textOf(id) ? id : -id;
  };
  for (int round = 0; round < 2; ++round) {
    auto t = dir->openTable("big", Directory::Access::kReadOnly);
    ASSERT_TRUE(t.ok());
    int expected = 1;
    for (Status st = (*t)->first(); st.ok(); st = (*t)->next()) ASSERT_EQ(check(**t), expected++);
    ASSERT_EQ(expected, kRows + 1);
    for (Status st = (*t)->last(); st.ok(); st = (*t)->prior()) ASSERT_EQ(check(**t), --expected);
    ASSERT_EQ(expected, 1);
    std::mt19937 rng(static_cast<unsigned>(round));
    for (int k = 0; k < 3000; ++k) {
      const int id = 1 + static_cast<int>(rng() % kRows);
      ASSERT_TRUE((*t)->findKey({Value::integer(id)}).ok());
      ASSERT_EQ(check(**t), id);
    }
  }
  expectSound(tmp.file("big.DB"));
}

TEST(Table, NamesAreFoundWithoutRegardToCase) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("Ctrl", {{"Ctrl_id", FieldType::kShort, 0}}, 1).ok());
  for (const char* name : {"ctrl", "CTRL", "ctrl.db", "CTRL.DB", "Ctrl.Db"}) {
    auto path = dir->tablePath(name);
    ASSERT_TRUE(path.ok()) << name;
    EXPECT_EQ(*path, tmp.file("Ctrl.DB"));
  }
  EXPECT_EQ(dir->createTable("CTRL", {{"X", FieldType::kShort, 0}}, 0).code(), code::kTableExists);
  EXPECT_EQ(dir->openTable("missing").status().code(), code::kTableNotFound);
  EXPECT_EQ(dir->openTable("../etc/passwd").status().code(), code::kInvalidName);
  ASSERT_TRUE(dir->deleteTable("ctrl").ok());
  EXPECT_FALSE(dir->tableExists("Ctrl"));
}

TEST(Table, RejectsValuesThatDoNotFit) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("t", {{"Name", FieldType::kAlpha, 5}, {"S", FieldType::kShort, 0},
                                     {"D", FieldType::kDate, 0}, {"B", FieldType::kBcd, 2}}, 0).ok());
  auto t = openTable(*dir, "t");
  ASSERT_TRUE(t->insert().ok());
  EXPECT_EQ(t->set("Name", Value::text("toolong")).code(), code::kInvalidValue);
  EXPECT_EQ(t->set("Name", Value::text("€uro")).code(), code::kOk);  // 1252 holds the euro sign
  EXPECT_EQ(t->set("Name", Value::text("日本")).code(), code::kUnrepresentable);
  EXPECT_EQ(t->set("S", Value::integer(40000)).code(), code::kInvalidValue);
  EXPECT_EQ(t->set("S", Value::text("12x")).code(), code::kInvalidValue);
  EXPECT_EQ(t->set("D", Value::text("2023-02-30")).code(), code::kInvalidValue);
  EXPECT_EQ(t->set("B", Value::decimal("1.005")).code(), code::kInvalidValue);
  EXPECT_TRUE(t->set("B", Value::decimal("1.50")).ok());
  EXPECT_EQ(t->set("Missing", Value::integer(1)).code(), code::kInvalidParameter);
  ASSERT_TRUE(t->post().ok());
  EXPECT_EQ(*t->get("Name"), Value::text("€uro"));
}

// Random inserts and deletes against a model: the table must keep key order,
// its index must match the data, and every key must be found through it.
// With a wide key, nine entries fill an index block: the index has four
// levels, and a change at the bottom reaches the root.
class RandomInsertsAndDeletes : public ::testing::TestWithParam<bool> {};

TEST_P(RandomInsertsAndDeletes, KeepKeyOrderAndIndex) {
  const bool wide = GetParam();
  TempDir tmp;
  auto dir = openDir(tmp);
  CreateOptions small;
  small.blockSize = 1024;  // many blocks and several index levels with few rows
  std::vector<FieldDef> fields = {{"Group", FieldType::kAlpha, 8}, {"Id", FieldType::kLong, 0}};
  if (wide) fields.push_back({"Pad", FieldType::kAlpha, 90});
  fields.push_back({"Amount", FieldType::kMoney, 0});
  const int amountField = wide ? 3 : 2;
  ASSERT_TRUE(dir->createTable("items", fields, wide ? 3 : 2, small).ok());
  auto keyOf = [&](const std::string& group, int id) {
    std::vector<Value> key = {Value::text(group), Value::integer(id)};
    if (wide) key.push_back(Value::text("pad"));
    return key;
  };
  std::map<std::pair<std::string, int>, double> model;
  std::mt19937 rng(7);
  auto t = openTable(*dir, "items");
  // Most rounds run in write groups of a few dozen, whose index is laid out
  // once at their commit, some of them after a post that failed.
  std::unique_ptr<WriteGroup> batch;
  int batchLeft = 0;
  for (int round = 0; round < 12'000; ++round) {
    if (batchLeft-- == 0) {
      if (batch) {
        ASSERT_TRUE(batch->commit().ok());
        // The index is written in part at each commit: each must leave it whole.
        ASSERT_NO_FATAL_FAILURE(expectSound(t->path()));
        if (::testing::Test::HasFailure()) return;
      }
      batch.reset();
      if (rng() % 4 != 0) {
        auto begun = dir->beginGroup();
        ASSERT_TRUE(begun.ok());
        batch = std::move(begun).value();
      }
      batchLeft = static_cast<int>(rng() % 60);
    }
    const std::string group = "G" + std::to_string(rng() % 7);
    const int id = static_cast<int>(rng() % 3000) - 1500;
    const bool erase = rng() % 3 == 0;
    auto key = std::make_pair(group, id);
    if (erase) {
      Status st = t->findKey(keyOf(group, id));
      if (model.count(key)) {
        ASSERT_TRUE(st.ok()) << st.toString();
        ASSERT_TRUE(t->remove().ok());
        model.erase(key);
      } else {
        ASSERT_EQ(st.code(), code::kRecordNotFound);
      }
      continue;
    }
    ASSERT_TRUE(t->insert().ok());
    ASSERT_TRUE(t->set(0, Value::text(group)).ok());
    ASSERT_TRUE(t->set(1, Value::integer(id)).ok());
    if (wide) ASSERT_TRUE(t->set(2, Value::text("pad")).ok());
    ASSERT_TRUE(t->set(amountField, Value::number(id * 0.25)).ok());
    Status st = t->post();
    if (model.count(key)) {
      ASSERT_EQ(st.code(), code::kKeyViolation);
      ASSERT_TRUE(t->cancel().ok());
    } else {
      ASSERT_TRUE(st.ok()) << st.toString();
      model[key] = id * 0.25;
    }
  }
  if (batch) {
    ASSERT_TRUE(batch->commit().ok());
  }
  expectSound(t->path());
  // Reopened, the table is read through its .PX.
  t.reset();
  auto fresh = Directory::open(tmp.path(), Env::unsynced());
  t = openTable(**fresh, "items");
  ASSERT_EQ(*t->recordCount(), static_cast<int64_t>(model.size()));
  auto it = model.begin();
  for (Status st = t->first(); st.ok(); st = t->next(), ++it) {
    ASSERT_NE(it, model.end());
    EXPECT_EQ(t->get(0)->asText(), it->first.first);
    EXPECT_EQ(t->get(1)->asInteger(), it->first.second);
  }
  EXPECT_EQ(it, model.end());
  EXPECT_TRUE(t->eof());
  for (const auto& [key, amount] : model) {
    ASSERT_TRUE(t->findKey(keyOf(key.first, key.second)).ok());
    EXPECT_EQ(t->get(amountField)->asNumber(), amount);
  }
  // Nearest search and ranges on the leading key field.
  ASSERT_TRUE(t->findNearest({Value::text("G3"), Value::integer(-100000)}).ok());
  EXPECT_EQ(t->get(0)->asText(), model.lower_bound({"G3", -100000})->first.first);
  ASSERT_TRUE(t->setRange({Value::text("G2")}, {Value::text("G4")}).ok());
  int64_t inRange = 0;
  for (const auto& [key, amount] : model) inRange += key.first >= "G2" && key.first <= "G4";
  EXPECT_EQ(*t->recordCount(), inRange);
  int64_t walked = 0;
  for (Status st = t->first(); st.ok(); st = t->next()) ++walked;
  EXPECT_EQ(walked, inRange);
  walked = 0;
  for (Status st = t->last(); st.ok(); st = t->prior()) ++walked;
  EXPECT_EQ(walked, inRange);
  // Deleting every record leaves a sound, empty table and a one-header file.
  ASSERT_TRUE(t->cancelRange().ok());
  while (t->first().ok()) ASSERT_TRUE(t->remove().ok());
  EXPECT_EQ(*t->recordCount(), 0);
  expectSound(t->path());
  EXPECT_EQ(testing::readFile(t->path()).size(), 2048u);
}

INSTANTIATE_TEST_SUITE_P(Table, RandomInsertsAndDeletes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WideKey" : "NarrowKey"; });

// A group that holds its posts in memory until its commit writes what the
// same posts would have written one by one, and a post that fails in it
// dooms the whole group: nothing of it reaches the table.
TEST(Table, AGroupHoldingItsPostsCommitsThemAllOrNone) {
  TempDir tmp;
  auto dir = openDir(tmp);
  CreateOptions small;
  small.blockSize = 1024;
  ASSERT_TRUE(dir->createTable("items", {{"Group", FieldType::kAlpha, 8}, {"Id", FieldType::kLong, 0},
                                         {"Amount", FieldType::kMoney, 0}}, 2, small).ok());
  std::map<std::pair<std::string, int>, double> model;
  std::mt19937 rng(11);
  auto t = openTable(*dir, "items");
  // As this cursor reads the table, and as another program reads its files.
  auto expectModel = [&] {
    auto other = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(other.ok());
    auto fresh = openTable(**other, "items");
    for (Table* reader : {t.get(), fresh.get()}) {
      auto it = model.begin();
      for (Status st = reader->first(); st.ok(); st = reader->next(), ++it) {
        ASSERT_NE(it, model.end());
        ASSERT_EQ(reader->get(0)->asText(), it->first.first);
        ASSERT_EQ(reader->get(1)->asInteger(), it->first.second);
        ASSERT_EQ(reader->get(2)->asNumber(), it->second);
      }
      ASSERT_EQ(it, model.end());
    }
  };
  for (int batch = 0; batch < 6; ++batch) {
    auto group = dir->beginGroup();
    ASSERT_TRUE(group.ok());
    (*group)->holdPostsUntilCommit();
    for (int op = 0; op < 700; ++op) {
      const std::string g = "G" + std::to_string(rng() % 5);
      const int id = static_cast<int>(rng() % 900);
      const auto key = std::make_pair(g, id);
      const bool known = model.count(key) > 0;
      if (known && rng() % 3 == 0) {
        ASSERT_TRUE(t->findKey({Value::text(g), Value::integer(id)}).ok());
        ASSERT_TRUE(t->remove().ok());
        model.erase(key);
      } else if (known) {
        ASSERT_TRUE(t->findKey({Value::text(g), Value::integer(id)}).ok());
        ASSERT_TRUE(t->edit().ok());
        ASSERT_TRUE(t->set(2, Value::number(op * 0.5)).ok());
        ASSERT_TRUE(t->post().ok());
        model[key] = op * 0.5;
      } else {
        ASSERT_TRUE(t->insert().ok());
        ASSERT_TRUE(t->set(0, Value::text(g)).ok());
        ASSERT_TRUE(t->set(1, Value::integer(id)).ok());
        ASSERT_TRUE(t->set(2, Value::number(id * 0.25)).ok());
        ASSERT_TRUE(t->post().ok());
        model[key] = id * 0.25;
      }
    }
    ASSERT_TRUE((*group)->commit().ok());
    ASSERT_NO_FATAL_FAILURE(expectSound(t->path()));
    ASSERT_NO_FATAL_FAILURE(expectModel());
    if (::testing::Test::HasFailure()) return;
  }

  const std::string before = testing::readFile(t->path());
  auto group = dir->beginGroup();
  ASSERT_TRUE(group.ok());
  (*group)->holdPostsUntilCommit();
  ASSERT_TRUE(t->insert().ok());
  ASSERT_TRUE(t->set(0, Value::text("NEW")).ok());
  ASSERT_TRUE(t->set(1, Value::integer(1)).ok());
  ASSERT_TRUE(t->post().ok());
  const auto taken = model.begin()->first;
  ASSERT_TRUE(t->insert().ok());
  ASSERT_TRUE(t->set(0, Value::text(taken.first)).ok());
  ASSERT_TRUE(t->set(1, Value::integer(taken.second)).ok());
  EXPECT_EQ(t->post().code(), code::kKeyViolation);
  ASSERT_TRUE(t->cancel().ok());
  EXPECT_FALSE((*group)->commit().ok()) << "a group whose post failed committed what it held";
  EXPECT_EQ(testing::readFile(t->path()), before);
  ASSERT_NO_FATAL_FAILURE(expectModel());
}

// Blocks of two files of the same block layout that differ (a longer file's
// extra blocks count as differing).
size_t changedBlocks(const std::string& a, const std::string& b, size_t headerSize, size_t blockSize) {
  size_t changed = 0;
  for (size_t at = headerSize; at < std::max(a.size(), b.size()); at += blockSize)
    changed += a.compare(std::min(at, a.size()), blockSize, b, std::min(at, b.size()), blockSize) != 0;
  return changed;
}

TEST(Table, AnInsertRewritesAFewIndexBlocksWhateverTheTableSize) {
  TempDir tmp;
  auto dir = openDir(tmp);
  CreateOptions small;
  small.blockSize = 1024;
  ASSERT_TRUE(dir->createTable("lines", {{"Ref", FieldType::kAlpha, 40}, {"Line", FieldType::kLong, 0},
                                         {"Amount", FieldType::kMoney, 0}}, 2, small).ok());
  auto t = openTable(*dir, "lines");
  // 20,000 rows loaded in key order: thousands of data blocks, a three-level index.
  {
    auto group = dir->beginGroup();
    ASSERT_TRUE(group.ok());
    for (int i = 0; i < 20'000; ++i) {
      ASSERT_TRUE(t->insert().ok());
      ASSERT_TRUE(t->set(0, Value::text("R" + std::to_string(100'000 + i * 10))).ok());
      ASSERT_TRUE(t->set(1, Value::integer(1)).ok());
      ASSERT_TRUE(t->post().ok());
    }
    ASSERT_TRUE((*group)->commit().ok());
  }
  const std::string pxPath = tmp.file("lines.PX");
  std::string before = testing::readFile(pxPath);
  ASSERT_GE(static_cast<unsigned char>(before[0x20]), 3) << "index levels";
  const size_t headerSize = static_cast<unsigned char>(before[2]) | static_cast<unsigned char>(before[3]) << 8;
  // Each row inserted between existing ones splits a data block now and then,
  // and leaves of the index now and then: each commit still rewrites only
  // the leaf it lands in, the blocks above it, and the neighbours of a split.
  std::mt19937 rng(11);
  std::map<std::pair<std::string, int>, bool> model;
  for (int i = 0; i < 20'000; ++i) model[{"R" + std::to_string(100'000 + i * 10), 1}] = true;
  size_t worst = 0, changed = 0, commits = 0;
  for (int round = 0; round < 600; ++round) {
    const std::string ref = "R" + std::to_string(100'000 + static_cast<int>(rng() % 200'000));
    const int line = static_cast<int>(rng() % 1000) + 2;
    if (round % 5 == 4) {
      // Now and then a row goes: the leaves shrink too.
      auto it = model.lower_bound({ref, 0});
      if (it == model.end()) continue;
      ASSERT_TRUE(t->findKey({Value::text(it->first.first), Value::integer(it->first.second)}).ok());
      ASSERT_TRUE(t->remove().ok());
      model.erase(it);
    } else {
      if (!model.emplace(std::make_pair(ref, line), true).second) continue;
      ASSERT_TRUE(t->insert().ok());
      ASSERT_TRUE(t->set(0, Value::text(ref)).ok());
      ASSERT_TRUE(t->set(1, Value::integer(line)).ok());
      ASSERT_TRUE(t->post().ok());
    }
    std::string after = testing::readFile(pxPath);
    const size_t blocks = changedBlocks(before, after, headerSize, 1024);
    worst = std::max(worst, blocks);
    changed += blocks;
    ++commits;
    before = std::move(after);
  }
  // Packed, the levels above the leaves shift when a leaf splits: every one
  // of their blocks may change then, a few times in a hundred commits.
  const size_t leaves = (before.size() - headerSize) / 1024;
  EXPECT_LE(worst, 4 + (leaves + 19) / 20) << leaves << " index blocks";
  EXPECT_LE(changed, commits * 4) << "on average";

  expectSound(t->path());
  EXPECT_EQ(testing::indexChainProblem(before), "");
  // Read back through the index by a fresh process's view.
  t.reset();
  auto fresh = Directory::open(tmp.path(), Env::unsynced());
  t = openTable(**fresh, "lines");
  ASSERT_EQ(*t->recordCount(), static_cast<int64_t>(model.size()));
  for (const auto& [key, present] : model)
    ASSERT_TRUE(t->findKey({Value::text(key.first), Value::integer(key.second)}).ok()) << key.first;
}

TEST(Table, TheOriginalEnginesIndexIsKeptInItsOwnLayout) {
  TALLIMOOR_REQUIRE_SAMPLES();
  // A two-level index whose root sits between its leaves.
  TempDir tmp;
  const std::string from = std::string(TALLIMOOR_SAMPLES) + "/paradoxdriver/areas/";
  testing::writeFile(tmp.file("ZIPCODES.DB"), testing::readFile(from + "ZIPCODES.DB"));
  testing::writeFile(tmp.file("ZIPCODES.PX"), testing::readFile(from + "ZIPCODES.PX"));
  auto dir = openDir(tmp);
  auto t = openTable(*dir, "zipcodes");
  const std::string original = testing::readFile(tmp.file("ZIPCODES.PX"));
  auto add = [&](const char* zip, const char* city) {
    ASSERT_TRUE(t->insert().ok());
    ASSERT_TRUE(t->set(0, Value::text(zip)).ok());
    ASSERT_TRUE(t->set(1, Value::text("NC")).ok());
    ASSERT_TRUE(t->set(2, Value::text(city)).ok());
    ASSERT_TRUE(t->post().ok());
  };
  // The first write links the blocks leaves first, root last; every block
  // keeps its number, the root included.
  add("27001", "Nulle Part");
  const std::string first = testing::readFile(tmp.file("ZIPCODES.PX"));
  EXPECT_EQ(first.size(), original.size());
  EXPECT_EQ(first[0x1E], original[0x1E]);
  EXPECT_EQ(testing::indexChainProblem(first), "");
  // From then on an insert rewrites the leaf it lands in and the root.
  add("27002", "Ailleurs");
  EXPECT_LE(changedBlocks(first, testing::readFile(tmp.file("ZIPCODES.PX")), 2048, 2048), 2u);
  expectSound(t->path());
  ASSERT_TRUE(t->findKey({Value::text("27001")}).ok());
  EXPECT_EQ(t->get(2)->asText(), "Nulle Part");
  EXPECT_EQ(*t->recordCount(), 43187);
}

TEST(Table, UnkeyedTablesKeepInsertionOrder) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("log", {{"Line", FieldType::kLong, 0}, {"Text", FieldType::kAlpha, 200}}, 0).ok());
  auto t = openTable(*dir, "log");
  for (int i = 0; i < 500; ++i) {
    ASSERT_TRUE(t->append().ok());
    ASSERT_TRUE(t->set(0, Value::integer(500 - i)).ok());
    ASSERT_TRUE(t->set(1, Value::text(std::string(static_cast<size_t>(i % 200), 'a'))).ok());
    ASSERT_TRUE(t->post().ok());
  }
  ASSERT_TRUE(t->moveTo(100).ok());
  ASSERT_TRUE(t->remove().ok());  // the cursor moves to the record that followed
  EXPECT_EQ(t->get(0)->asInteger(), 500 - 101);
  EXPECT_EQ(t->position(), 100);
  int expected = 500;
  for (Status st = t->first(); st.ok(); st = t->next()) {
    if (expected == 400) --expected;
    EXPECT_EQ(t->get(0)->asInteger(), expected--);
  }
  expectSound(t->path());
}

TEST(Table, EditKeepsOrMovesTheRecordByItsKey) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("cli", {{"Cli_code", FieldType::kAlpha, 10}, {"Cli_name", FieldType::kAlpha, 30}}, 1).ok());
  auto t = openTable(*dir, "cli");
  for (const char* code : {"B", "D", "F"}) {
    ASSERT_TRUE(t->insert().ok());
    ASSERT_TRUE(t->set(0, Value::text(code)).ok());
    ASSERT_TRUE(t->post().ok());
  }
  ASSERT_TRUE(t->findKey({Value::text("D")}).ok());
  ASSERT_TRUE(t->edit().ok());
  ASSERT_TRUE(t->set(1, Value::text("Dupont")).ok());
  ASSERT_TRUE(t->post().ok());
  ASSERT_TRUE(t->edit().ok());
  ASSERT_TRUE(t->set(0, Value::text("F")).ok());
  EXPECT_EQ(t->post().code(), code::kKeyViolation);
  ASSERT_TRUE(t->set(0, Value::text("A")).ok());
  ASSERT_TRUE(t->post().ok());
  EXPECT_EQ(t->get(1)->asText(), "Dupont");
  std::string order;
  for (Status st = t->first(); st.ok(); st = t->next()) order += t->get(0)->asText();
  EXPECT_EQ(order, "ABF");
  EXPECT_EQ(t->findKey({Value::text("D")}).code(), code::kRecordNotFound);
  // Case-insensitive and partial locate on a non-key field.
  ASSERT_TRUE(t->locate({1}, {Value::text("DUP")}, {true, true}).ok());
  EXPECT_EQ(t->get(0)->asText(), "A");
  EXPECT_EQ(t->locate({1}, {Value::text("DUP")}, {false, false}).code(), code::kRecordNotFound);
  Bookmark mark = t->bookmark();
  ASSERT_TRUE(t->last().ok());
  ASSERT_TRUE(t->gotoBookmark(mark).ok());
  EXPECT_EQ(t->get(1)->asText(), "Dupont");
  expectSound(t->path());
}

TEST(Table, AutoincrementContinuesFromTheHeader) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("seq", {{"Id", FieldType::kAutoInc, 0}, {"Name", FieldType::kAlpha, 10}}, 1).ok());
  {
    auto t = openTable(*dir, "seq");
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(t->insert().ok());
      ASSERT_TRUE(t->post().ok());
      EXPECT_EQ(t->get(0)->asInteger(), i + 1);
    }
    ASSERT_TRUE(t->last().ok());
    ASSERT_TRUE(t->remove().ok());
    ASSERT_TRUE(t->first().ok());
    ASSERT_TRUE(t->edit().ok());
    EXPECT_EQ(t->set(0, Value::integer(9)).code(), code::kInvalidValue);
    ASSERT_TRUE(t->cancel().ok());
  }
  auto again = Directory::open(tmp.path(), Env::unsynced());
  auto t = openTable(**again, "seq");
  ASSERT_TRUE(t->insert().ok());
  ASSERT_TRUE(t->post().ok());
  EXPECT_EQ(t->get(0)->asInteger(), 4) << "a number once given is never given again";
}

TEST(Table, SecondaryIndexesMakeATableReadOnlyForWrites) {
  TempDir tmp;
  auto dir = openDir(tmp);
  ASSERT_TRUE(dir->createTable("parts", {{"No", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 10}}, 1).ok());
  testing::writeFile(tmp.file("parts.X02"), "secondary");
  auto t = openTable(*dir, "parts");
  ASSERT_EQ(t->schema().companionFiles, std::vector<std::string>{"parts.X02"});
  ASSERT_TRUE(t->insert().ok());
  ASSERT_TRUE(t->set(0, Value::integer(1)).ok());
  EXPECT_EQ(t->post().code(), code::kNotSupported);
  EXPECT_EQ(testing::readFile(tmp.file("parts.X02")), "secondary");
}

// Copying a field from a stored record gives the very bytes that setting its
// decoded value gives: raw where they are the same, converted where the
// record's bytes are not what the engine writes (blanks at the end of a text,
// bytes after its end), where the types differ or the code pages do.
TEST(Table, SetFromWritesWhatSettingTheDecodedValueWrites) {
  TempDir tmp;
  auto dir = openDir(tmp);
  const std::vector<FieldDef> fields = {{"Code", FieldType::kAlpha, 10}, {"Seq", FieldType::kLong, 0},
                                        {"Day", FieldType::kDate, 0},   {"Amount", FieldType::kMoney, 0},
                                        {"Short", FieldType::kShort, 0}};
  ASSERT_TRUE(dir->createTable("src", fields, 0).ok());
  CreateOptions dos;
  dos.codePage = 850;
  for (const char* name : {"copied", "set"}) ASSERT_TRUE(dir->createTable(name, fields, 0).ok());
  for (const char* name : {"copied850", "set850"}) ASSERT_TRUE(dir->createTable(name, fields, 0, dos).ok());
  // Every field into the text field too: a number becomes its digits.
  ASSERT_TRUE(dir->createTable("texts", {{"T", FieldType::kAlpha, 12}}, 0).ok());
  ASSERT_TRUE(dir->createTable("textsSet", {{"T", FieldType::kAlpha, 12}}, 0).ok());

  auto src = openTable(*dir, "src");
  ASSERT_TRUE(src->insert().ok());
  ASSERT_TRUE(src->set(0, Value::text("Côté")).ok());
  ASSERT_TRUE(src->set(1, Value::integer(-7)).ok());
  ASSERT_TRUE(src->set(2, Value::date(Date{738000})).ok());
  ASSERT_TRUE(src->set(3, Value::number(12.25)).ok());
  ASSERT_TRUE(src->post().ok());
  ASSERT_TRUE(src->first().ok());
  const std::string stored(src->storedRecord());
  auto decoder = src->recordDecoder();
  // As other programs may leave them: a blank at the end of the text, and
  // bytes after the text's end.
  const auto code = static_cast<size_t>(0);
  std::string blank = stored, junk = stored;
  std::memcpy(blank.data() + code, "AB \0\0\0\0\0\0\0", 10);
  std::memcpy(junk.data() + code, "AB\0x\0\0\0\0\0\0", 10);

  for (const std::string& record : {stored, blank, junk}) {
    for (const auto& [copiedName, setName] : {std::pair{"copied", "set"}, std::pair{"copied850", "set850"}}) {
      auto copied = openTable(*dir, copiedName);
      auto set = openTable(*dir, setName);
      ASSERT_TRUE(copied->insert().ok());
      ASSERT_TRUE(set->insert().ok());
      for (int f = 0; f < static_cast<int>(fields.size()); ++f) {
        ASSERT_TRUE(copied->setFrom(f, *decoder, record, f).ok()) << f;
        Value v;
        ASSERT_TRUE(decoder->decode(record, f, v).ok()) << f;
        ASSERT_TRUE(set->set(f, v).ok()) << f;
      }
      ASSERT_TRUE(copied->post().ok());
      ASSERT_TRUE(set->post().ok());
      EXPECT_EQ(copied->storedRecord(), set->storedRecord()) << copiedName;
    }
    auto texts = openTable(*dir, "texts");
    auto textsSet = openTable(*dir, "textsSet");
    for (int f : {0, 1, 4}) {
      ASSERT_TRUE(texts->insert().ok());
      ASSERT_TRUE(textsSet->insert().ok());
      ASSERT_TRUE(texts->setFrom(0, *decoder, record, f).ok()) << f;
      Value v;
      ASSERT_TRUE(decoder->decode(record, f, v).ok());
      ASSERT_TRUE(textsSet->set(0, v).ok());
      ASSERT_TRUE(texts->post().ok());
      ASSERT_TRUE(textsSet->post().ok());
      EXPECT_EQ(texts->storedRecord(), textsSet->storedRecord()) << f;
    }
  }
  // A field of another type but the same size: converted (here refused) as
  // set() converts it, never copied.
  ASSERT_TRUE(dir->createTable("days", {{"D", FieldType::kDate, 0}}, 0).ok());
  auto days = openTable(*dir, "days");
  ASSERT_TRUE(days->insert().ok());
  Value seq;
  ASSERT_TRUE(decoder->decode(stored, 1, seq).ok());
  EXPECT_EQ(days->setFrom(0, *decoder, stored, 1).code(), days->set(0, seq).code());
  // Not editing: refused, as set() refuses.
  auto copied = openTable(*dir, "copied");
  EXPECT_EQ(copied->setFrom(0, *decoder, stored, 0).code(), code::kNotEditing);
}

}  // namespace
}  // namespace pdx
