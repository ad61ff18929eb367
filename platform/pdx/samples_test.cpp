// Reads every real Paradox table of the shared samples folder and compares its
// schema and rows with the reference dumps lying beside it (X.expected.info,
// X.expected.tsv, written by an independent reader). The folder's README
// lists where the references are known to be wrong; those cells are checked
// against what the README says instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "codepage.h"
#include "test_util.h"
#include "pdx/dump_format.h"
#include "pdx/table.h"

#ifndef TALLIMOOR_SAMPLES
#error "TALLIMOOR_SAMPLES must name the folder of sample tables"
#endif

namespace pdx {
namespace {

namespace fs = std::filesystem;

const std::string kRoot = TALLIMOOR_SAMPLES;
constexpr std::string_view kInfoSuffix = ".expected.info";

// Tables with a known limit of their reference, by path under the root.
const std::string kBcdTable = "paradoxdriver/fields/bcd.db";
const std::string kMissingMemoTable = "paradoxreader-java/MEMBRE.DB";
const std::string kOddValuesTable = "rparadox/TypSammlung.DB";
const std::string kEncryptedFolder = "paradoxdriver/encrypt/";

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> splitOn(std::string_view text, char sep) {
  std::vector<std::string> out;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(sep, from);
    out.emplace_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) break;
    from = at + 1;
  }
  return out;
}

// Lines of a reference file; the last line ends with a line feed.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines = splitOn(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// Paths (under the root, without the suffix) of every table with a reference.
std::vector<std::string> sampleTables() {
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(kRoot, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!it->is_regular_file() || name.size() <= kInfoSuffix.size() ||
        name.compare(name.size() - kInfoSuffix.size(), kInfoSuffix.size(), kInfoSuffix) != 0)
      continue;
    std::string rel = fs::relative(it->path(), kRoot).generic_string();
    rel.resize(rel.size() - kInfoSuffix.size());
    out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct ExpectedField {
  std::string rawName;  // in the table's code page
  char type = 0;
  int size = -1;  // -1 when the reference gives none
};

struct ExpectedInfo {
  std::vector<ExpectedField> fields;
  int records = -1, keyFields = -1, version = -1, fileType = -1;
};

::testing::AssertionResult parseInfo(const std::string& text, ExpectedInfo& info) {
  for (const std::string& line : linesOf(text)) {
    if (line.rfind("records=", 0) == 0) {
      std::istringstream in(line);
      std::string word;
      while (in >> word) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos) return ::testing::AssertionFailure() << "bad line " << line;
        const int v = std::stoi(word.substr(eq + 1));
        const std::string key = word.substr(0, eq);
        if (key == "records") info.records = v;
        else if (key == "keyfields") info.keyFields = v;
        else if (key == "version") info.version = v;
        else if (key == "filetype") info.fileType = v;
      }
      continue;
    }
    const size_t colon = line.rfind(':');
    if (colon == std::string::npos || colon + 1 >= line.size())
      return ::testing::AssertionFailure() << "bad field line " << line;
    ExpectedField f{line.substr(0, colon), line[colon + 1], -1};
    if (colon + 2 < line.size()) f.size = std::stoi(line.substr(colon + 2));
    info.fields.push_back(std::move(f));
  }
  if (info.records < 0 || info.keyFields < 0 || info.version < 0 || info.fileType < 0)
    return ::testing::AssertionFailure() << "no records= line";
  return ::testing::AssertionSuccess();
}

// The schema's level in the reference's notation (30, 35, 40, 50, 70).
int referenceVersion(int level) { return level == 35 ? 35 : level * 10; }

// A decimal number in one spelling: no leading zeros, no trailing zeros after
// the point, no point without decimals, no sign on zero ("1." and "1.00" are 1).
std::string canonicalDecimal(std::string s) {
  bool negative = !s.empty() && s[0] == '-';
  if (negative) s.erase(0, 1);
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  const size_t nz = s.find_first_not_of('0');
  s = nz == std::string::npos ? "" : s.substr(nz);
  if (s.empty() || s[0] == '.') s.insert(0, "0");
  if (s == "0") negative = false;
  return negative ? "-" + s : s;
}

// Long cells (pictures, memos) shown by their start and length.
std::string shorten(const std::string& s) {
  if (s.size() <= 80) return s;
  return s.substr(0, 80) + "...(" + std::to_string(s.size()) + " characters)";
}

// Compares one cell whose reference is trustworthy. Returns a description of
// the difference, or "" when the cell matches.
std::string compareCell(const FieldDef& field, const Value& got, const std::string& ref, int codePage) {
  const std::string text = formatValue(field, got);
  auto differ = [&](const std::string& want) {
    return "engine gives \"" + shorten(text) + "\", reference \"" + shorten(want) + "\"";
  };
  // Blank compares as text: an alpha field that reads as empty text prints as
  // a blank one does.
  if (ref.empty()) return text.empty() ? "" : differ(ref);
  switch (field.type) {
    case FieldType::kNumber:
    case FieldType::kMoney: {
      // The reference writes the shortest %g text, so compare the numbers.
      double want = 0;
      auto [end, ec] = std::from_chars(ref.data(), ref.data() + ref.size(), want);
      if (ec != std::errc() || end != ref.data() + ref.size()) return "reference \"" + ref + "\" is not a number";
      if (got.kind() != Value::Kind::kNumber || got.asNumber() != want) return differ(ref);
      return "";
    }
    case FieldType::kBcd:
      // The reference spells "1." what the engine spells "1": same number.
      if (got.kind() != Value::Kind::kDecimal || canonicalDecimal(text) != canonicalDecimal(ref)) return differ(ref);
      return "";
    case FieldType::kMemo:
    case FieldType::kFmtMemo: {
      // The reference holds memo contents in the table's code page, unconverted.
      auto raw = unescapeText(ref);
      if (!raw.ok()) return "reference memo does not unescape: " + raw.status().message();
      const std::string want = escapeText(detail::toUtf8(*raw, codePage));
      return text == want ? "" : differ(want);
    }
    default:
      // Alpha text is UTF-8 on both sides, converted from the header's code
      // page; where the header names none (code page 0) both hold the bytes
      // as stored.
      return text == ref ? "" : differ(ref);
  }
}

class SampleTableTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SampleTableTest, SchemaAndRowsMatchReference) {
  const std::string rel = GetParam();
  const std::string dbPath = kRoot + "/" + rel;
  const fs::path asPath(dbPath);
  ExpectedInfo info;
  ASSERT_TRUE(parseInfo(readAll(dbPath + std::string(kInfoSuffix)), info));
  const std::vector<std::string> lines = linesOf(readAll(dbPath + ".expected.tsv"));
  ASSERT_FALSE(lines.empty()) << "reference dump without a header line";

  auto dir = Directory::open(asPath.parent_path().string());
  ASSERT_TRUE(dir.ok()) << dir.status().toString();
  auto opened = (*dir)->openTable(asPath.filename().string(), Directory::Access::kReadOnly);

  if (rel.rfind(kEncryptedFolder, 0) == 0) {
    // This engine does not decrypt: it must say so, not read garbage.
    ASSERT_FALSE(opened.ok()) << rel << " is encrypted yet opened";
    EXPECT_EQ(opened.status().code(), code::kEncrypted) << opened.status().toString();
    EXPECT_NE(opened.status().message().find(asPath.filename().string()), std::string::npos)
        << "the message should name the file: " << opened.status().message();
    return;
  }
  ASSERT_TRUE(opened.ok()) << opened.status().toString();
  Table& table = **opened;
  const Schema& schema = table.schema();

  // ---- schema
  ASSERT_EQ(schema.fields.size(), info.fields.size());
  for (size_t i = 0; i < info.fields.size(); ++i) {
    const ExpectedField& want = info.fields[i];
    const FieldDef& got = schema.fields[i];
    SCOPED_TRACE("field " + std::to_string(i + 1));
    EXPECT_EQ(got.name, detail::toUtf8(want.rawName, schema.codePage));
    EXPECT_EQ(typeLetter(got.type), want.type);
    if (want.size >= 0) {
      EXPECT_EQ(got.size, want.size) << got.name;
    }
  }
  EXPECT_EQ(schema.keyFieldCount, info.keyFields);
  EXPECT_EQ(schema.keyed(), info.fileType == 0);
  EXPECT_EQ(referenceVersion(schema.level), info.version);
  auto count = table.recordCount();
  ASSERT_TRUE(count.ok()) << count.status().toString();
  EXPECT_EQ(*count, info.records);
  ASSERT_EQ(lines.size() - 1, static_cast<size_t>(info.records)) << "reference dump and info disagree";

  // ---- rows, in table order
  int missingMemo = 0;  // MEMBRE.DB: blob values that need the absent .MB
  int oddValues = 0;    // TypSammlung.DB: the README's three odd values
  size_t row = 0;
  Status st = table.first();
  for (; st.ok(); st = table.next()) {
    ++row;
    ASSERT_LT(row, lines.size()) << "the engine reads more rows than the reference holds";
    const std::vector<std::string> cells = splitOn(lines[row], '\t');
    ASSERT_EQ(cells.size(), schema.fields.size()) << "reference row " << row;
    for (size_t i = 0; i < cells.size(); ++i) {
      const FieldDef& field = schema.fields[i];
      const std::string& ref = cells[i];
      SCOPED_TRACE("row " + std::to_string(row) + ", field " + field.name);
      Result<Value> got = table.get(static_cast<int>(i));

      if (rel == kMissingMemoTable && isBlobType(field.type) && !got.ok()) {
        // The .MB is missing: a value kept there is unreadable, never invented.
        EXPECT_EQ(got.status().code(), code::kBlobFileMissing) << got.status().toString();
        EXPECT_EQ(ref, "") << "the reference could read what the engine could not";
        ++missingMemo;
        continue;
      }
      if (rel == kBcdTable && field.name == "C") {
        // The stored digits go past 9 where the 32nd decimals lie; the
        // reference prints those raw nibbles. Either the engine refuses the
        // damaged value, or it reads the digits the reference got right.
        const size_t goodDigits = std::find_if(ref.begin(), ref.end(), [](char c) {
                                    return !((c >= '0' && c <= '9') || c == '.' || c == '-');
                                  }) - ref.begin();
        if (!got.ok()) {
          EXPECT_EQ(got.status().code(), code::kFileCorrupt) << got.status().toString();
          EXPECT_LT(goodDigits, ref.size()) << "refused a value whose digits are all valid";
        } else {
          EXPECT_EQ(formatValue(field, *got).substr(0, goodDigits), ref.substr(0, goodDigits));
        }
        continue;
      }
      if (rel == kOddValuesTable && !ref.empty() && !parseValue(field, ref).ok()) {
        // One BCD with the sign bit clear and zero digits, a date of -366
        // days and a negative timestamp; the reference prints what its reader
        // decodes, which is no valid value of the field.
        ++oddValues;
        if (field.type == FieldType::kBcd) {
          // Either blank or refused as damaged; never a made-up number.
          if (got.ok()) {
            EXPECT_TRUE(got->isNull()) << formatValue(field, *got);
          } else {
            EXPECT_EQ(got.status().code(), code::kFileCorrupt) << got.status().toString();
          }
        } else if (field.type == FieldType::kDate) {
          ASSERT_TRUE(got.ok()) << got.status().toString();
          ASSERT_EQ(got->kind(), Value::Kind::kDate);
          EXPECT_EQ(got->asDate().days, -366);
          EXPECT_EQ(formatValue(field, *got), "-0001-12-31");
        } else if (field.type == FieldType::kTimestamp) {
          ASSERT_TRUE(got.ok()) << got.status().toString();
          ASSERT_EQ(got->kind(), Value::Kind::kTimestamp);
          EXPECT_LT(got->asTimestamp().ms, 0);
          // Prints, and is refused when read back, as every out-of-range value.
          EXPECT_FALSE(parseValue(field, formatValue(field, *got)).ok());
        } else {
          ADD_FAILURE() << "unexpected odd value \"" << ref << "\"";
        }
        continue;
      }

      ASSERT_TRUE(got.ok()) << got.status().toString();
      const std::string diff = compareCell(field, *got, ref, schema.codePage);
      EXPECT_EQ(diff, "");
      // Every value the engine reads prints in a form that reads back to the
      // same value (empty alpha text reads back as the blank it prints as).
      if (diff.empty() && formatValue(field, *got) != "") {
        auto back = parseValue(field, formatValue(field, *got));
        ASSERT_TRUE(back.ok()) << back.status().toString();
        EXPECT_TRUE(*back == *got) << formatValue(field, *back) << " read back from " << formatValue(field, *got);
      }
    }
  }
  EXPECT_TRUE(st.is(code::kEof)) << st.toString();
  EXPECT_EQ(row, lines.size() - 1) << "the engine reads fewer rows than the reference holds";
  EXPECT_EQ(missingMemo, rel == kMissingMemoTable ? 8 : 0);
  EXPECT_EQ(oddValues, rel == kOddValuesTable ? 3 : 0);
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name;
  for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleTableTest, ::testing::ValuesIn(sampleTables()), testName);

// Guards against a folder that moved or emptied: each table would then
// silently drop out of the parameterised test above.
TEST(SampleTables, EveryTableHasBothReferences) {
  TALLIMOOR_REQUIRE_SAMPLES();
  const std::vector<std::string> tables = sampleTables();
  EXPECT_GE(tables.size(), 80u) << "samples folder: " << kRoot;
  for (const std::string& rel : tables) {
    EXPECT_TRUE(fs::exists(kRoot + "/" + rel)) << rel;
    EXPECT_TRUE(fs::exists(kRoot + "/" + rel + ".expected.tsv")) << rel;
  }
}

}  // namespace
}  // namespace pdx
