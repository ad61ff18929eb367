// Runs the built pdxtool as people and scripts do, and checks what it prints,
// its exit status and the tables it leaves (read back through the engine).
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>

#include <string>
#include <vector>

#include "pdx/dump_format.h"
#include "pdx/table.h"
#include "schema_text.h"
#include "test_util.h"

#ifndef PDXTOOL_PATH
#error "PDXTOOL_PATH must name the built pdxtool"
#endif
#ifndef TALLIMOOR_SAMPLES
#error "TALLIMOOR_SAMPLES must name the folder of sample tables"
#endif

extern char** environ;

namespace pdxtool {
namespace {

using pdx::testing::readFile;
using pdx::testing::TempDir;
using pdx::testing::writeFile;

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

// Runs pdxtool with `args`, its output and errors caught in files of `scratch`.
ToolRun pdxtool(const TempDir& scratch, const std::vector<std::string>& args) {
  const std::string outPath = scratch.file("stdout.txt"), errPath = scratch.file("stderr.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> all{PDXTOOL_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ToolRun run;
  if (posix_spawn(&pid, PDXTOOL_PATH, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    // A crash shows as a code no exit gives.
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  return run;
}

// A table of every field type, keyed on its alpha field.
constexpr const char* kEveryType =
    "key=1\n"
    "Code:A12\n"
    "When:D\n"
    "Small:S\n"
    "Count:I\n"
    "Ratio:N\n"
    "Amount:$\n"
    "Done:L\n"
    "Notes:M20\n"
    "Styled:F0\n"
    "Data:B0\n"
    "Picture:G0\n"
    "Object:O0\n"
    "At:T\n"
    "Stamp:@\n"
    "Seq:+\n"
    "Exact:#2\n"
    "Raw:Y4\n";

// Rows in key order and in the one form dump prints, so that dump gives back
// exactly this text. French text, escaped tabs, line breaks and backslashes,
// a memo longer than the part kept in the record, blanks of every type.
const std::string kEveryTypeRows =
    "Code\tWhen\tSmall\tCount\tRatio\tAmount\tDone\tNotes\tStyled\tData\tPicture\tObject\tAt\tStamp\tSeq\tExact\tRaw\n"
    "A-1\t2024-02-29\t-32767\t2147483647\t0.1\t1234.56\ttrue\tcourt\t\\\\x\t00ff10\t89504e47\t01\t23:59:59.999\t"
    "2024-02-29T12:34:56.789\t7\t-12.50\t0a0b0c0d\n"
    "B-2\t0001-01-01\t0\t-2147483647\t-4e+21\t-0.01\tfalse\tÉlève à l'école\\tcafé crème\\nligne deux\\\\fin, "
    "et une note assez longue pour le fichier .MB\t{\\\\rtf1 été}\\r\\n\tdeadbeef\t\t\t00:00:00\t9999-12-31T00:00:00\t8\t0.00\t"
    "00000100\n"
    "C-3\t\t\t\t\t\t\t\t\t\t\t\t\t\t9\t\t\n"
    "Ça-4\t1999-12-31\t40\t1\t5e-324\t0\tfalse\tŒuvre «complète» — 100 €\t\t\t\t\t12:00:00\t1970-01-01T00:00:00.001\t10\t"
    "99999999999999999999999999999.99\tffffffff\n";

std::string joinRow(const std::vector<std::string>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) line += (i ? "\t" : "") + cells[i];
  return line + "\n";
}

class PdxtoolTest : public ::testing::Test {
 protected:
  std::string table(const std::string& name) const { return data_.file(name); }

  // Creates `name` from a definition; fails the test when the tool does.
  void create(const std::string& name, const std::string& schema) {
    writeFile(scratch_.file("schema.txt"), schema);
    ToolRun r = pdxtool(scratch_, {"create", table(name), scratch_.file("schema.txt")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  ToolRun load(const std::string& name, const std::string& tsv) {
    writeFile(scratch_.file("rows.tsv"), tsv);
    return pdxtool(scratch_, {"load", table(name), scratch_.file("rows.tsv")});
  }
  ToolRun run(const std::vector<std::string>& args) { return pdxtool(scratch_, args); }

  int64_t recordCount(const std::string& name) {
    auto dir = pdx::Directory::open(data_.path());
    auto t = (*dir)->openTable(name);
    EXPECT_TRUE(t.ok()) << t.status().toString();
    if (!t.ok()) return -1;
    auto n = (*t)->recordCount();
    return n.ok() ? *n : -1;
  }

  TempDir data_;     // the tables
  TempDir scratch_;  // definitions, row files, captured output
};

TEST_F(PdxtoolTest, EveryFieldTypeRoundTripsThroughLoadAndDump) {
  create("every", kEveryType);
  ToolRun loaded = load("every", kEveryTypeRows);
  ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
  ToolRun dumped = run({"dump", table("every")});
  ASSERT_EQ(dumped.exitCode, 0) << dumped.err;
  EXPECT_EQ(dumped.out, kEveryTypeRows);
  EXPECT_EQ(dumped.err, "");

  // What the engine itself reads: escapes undone, text in the right code page.
  auto dir = pdx::Directory::open(data_.path());
  auto t = (*dir)->openTable("every", pdx::Directory::Access::kReadOnly);
  ASSERT_TRUE(t.ok()) << t.status().toString();
  ASSERT_TRUE((*t)->findKey({pdx::Value::text("B-2")}).ok());
  auto notes = (*t)->get("Notes");
  ASSERT_TRUE(notes.ok()) << notes.status().toString();
  EXPECT_EQ(notes->asText(),
            "Élève à l'école\tcafé crème\nligne deux\\fin, et une note assez longue pour le fichier .MB");
  auto styled = (*t)->get("Styled");
  ASSERT_TRUE(styled.ok());
  EXPECT_EQ(styled->asText(), "{\\rtf1 été}\r\n");
  auto data = (*t)->get("Data");
  ASSERT_TRUE(data.ok());
  EXPECT_EQ(data->asBytes(), std::string("\xde\xad\xbe\xef"));
  ASSERT_TRUE((*t)->findKey({pdx::Value::text("Ça-4")}).ok()) << "accented key not found as stored";
  auto amount = (*t)->get("Amount");
  ASSERT_TRUE(amount.ok());
  EXPECT_EQ(amount->asNumber(), 0.0);
}

TEST_F(PdxtoolTest, LoadTakesAnySubsetOfFieldsInAnyOrderAndCase) {
  create("every", kEveryType);
  ToolRun r = load("every", "seq\tNOTES\tcode\n\tdeux\tB\n5\tun\tA\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ToolRun dumped = run({"dump", table("EVERY.DB")});
  ASSERT_EQ(dumped.exitCode, 0) << dumped.err;
  // B, posted first with its number left blank, is numbered 1; A keeps its 5.
  EXPECT_EQ(dumped.out, joinRow({"Code", "When", "Small", "Count", "Ratio", "Amount", "Done", "Notes", "Styled",
                                 "Data", "Picture", "Object", "At", "Stamp", "Seq", "Exact", "Raw"}) +
                            joinRow({"A", "", "", "", "", "", "", "un", "", "", "", "", "", "", "5", "", ""}) +
                            joinRow({"B", "", "", "", "", "", "", "deux", "", "", "", "", "", "", "1", "", ""}));
}

TEST_F(PdxtoolTest, BadRowIsReportedAndNothingIsWritten) {
  create("every", kEveryType);
  ASSERT_EQ(load("every", "Code\tWhen\nold\t2020-01-01\n").exitCode, 0);
  struct Case {
    const char* what;
    std::string rows;
    std::vector<std::string> mustName;  // in the error message
  };
  const std::vector<Case> cases = {
      {"impossible date", "Code\tWhen\nx1\t2023-01-31\nx2\t2023-02-30\nx3\t2023-03-01\n", {"row 2", "When"}},
      {"malformed number", "Code\tRatio\nx1\t1.5\nx2\t1,5\n", {"row 2", "Ratio"}},
      {"bad escape", "Code\tNotes\nx1\tok\nx2\tbad\\q\n", {"row 2", "Notes"}},
      {"odd hex", "Code\tData\nx1\tabc\n", {"row 1", "Data"}},
      {"short out of range", "Code\tSmall\nx1\t40000\n", {"row 1", "Small"}},
      {"text too long", "Code\nx1\nthirteen-long\n", {"row 2", "Code"}},
      {"not in the code page", "Code\tNotes\nx1\tŁódź\n", {"row 1", "Notes"}},
      {"too many bytes", "Code\tRaw\nx1\t0102030405\n", {"row 1", "Raw"}},
      {"key twice in the file", "Code\nx1\nx2\nx1\n", {"row 3", "line 2"}},
      {"key already in the table", "Code\nx1\nold\n", {"row 2"}},
      {"missing cell", "Code\tWhen\nx1\n", {"row 1"}},
      {"unknown field", "Code\tColour\nx1\tred\n", {"Colour"}},
      {"field named twice", "Code\tcode\nx1\tx1\n", {"code"}},
      {"empty file", "", {"empty"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ToolRun r = load("every", c.rows);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find(scratch_.file("rows.tsv")), std::string::npos) << r.err;
    for (const std::string& part : c.mustName) EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    EXPECT_EQ(recordCount("every"), 1);
  }
}

TEST_F(PdxtoolTest, ErrorsExitOneWithAMessageNamingTheFile) {
  create("every", kEveryType);
  const std::string missing = table("nosuch");
  struct Case {
    std::vector<std::string> args;
    std::string mustName;
  };
  writeFile(scratch_.file("bad-schema.txt"), "key=0\nName:Q\n");
  const std::vector<Case> cases = {
      {{"dump", missing}, "nosuch"},
      {{"info", missing}, "nosuch"},
      {{"check", missing}, "nosuch"},
      {{"load", missing, scratch_.file("bad-schema.txt")}, "nosuch"},
      {{"dump", data_.path() + "/no-dir/every"}, "no-dir"},
      {{"dump", data_.path() + "/"}, data_.path()},
      {{"create", table("every"), scratch_.file("bad-schema.txt")}, "bad-schema.txt"},
      {{"create", table("other"), scratch_.file("no-schema.txt")}, "no-schema.txt"},
      {{"load", table("every"), scratch_.file("no-rows.tsv")}, "no-rows.tsv"},
      {{"frobnicate"}, "frobnicate"},
      {{"dump"}, "dump"},
      {{"create", table("other")}, "create"},
      {{}, "command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(no arguments)" : c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    ToolRun r = run(c.args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.mustName), std::string::npos) << r.err;
  }
  // Creating over an existing table is refused and leaves it whole.
  ASSERT_EQ(load("every", "Code\nkept\n").exitCode, 0);
  writeFile(scratch_.file("schema.txt"), "key=0\nOther:A5\n");
  ToolRun again = run({"create", table("EVERY.db"), scratch_.file("schema.txt")});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_EQ(recordCount("every"), 1);

  // A table cut inside its header is an error for every command, not a crash.
  writeFile(data_.file("every.DB"), readFile(data_.file("every.DB")).substr(0, 40));
  for (const char* command : {"dump", "info", "check"}) {
    ToolRun r = run({command, table("every")});
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_NE((r.err + r.out).find("every"), std::string::npos) << command << ": " << r.err << r.out;
  }
}

TEST_F(PdxtoolTest, InfoPrintsADefinitionThatCreateAccepts) {
  create("every", kEveryType);
  ASSERT_EQ(load("every", kEveryTypeRows).exitCode, 0);
  ToolRun info = run({"info", table("every")});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("level=7\nkeyed=yes\nrecords=4\ncodepage=1252\n"), std::string::npos) << info.out;
  const size_t key = info.out.find("key=");
  ASSERT_NE(key, std::string::npos);
  EXPECT_EQ(info.out.substr(key), kEveryType);

  // The same definition makes the same table.
  writeFile(scratch_.file("copy.txt"), info.out.substr(key));
  ASSERT_EQ(run({"create", table("copy"), scratch_.file("copy.txt")}).exitCode, 0);
  ToolRun copy = run({"info", table("copy")});
  EXPECT_EQ(copy.out.substr(copy.out.find("key=")), kEveryType);
  EXPECT_NE(copy.out.find("records=0\n"), std::string::npos);
}

TEST_F(PdxtoolTest, CheckPassesASoundTableAndReportsADamagedOne) {
  create("every", kEveryType);
  ASSERT_EQ(load("every", kEveryTypeRows).exitCode, 0);
  ToolRun sound = run({"check", table("every")});
  EXPECT_EQ(sound.exitCode, 0) << sound.out << sound.err;

  // Point the first block's back link at a block that does not exist.
  const std::string path = data_.file("every.DB");
  std::string bytes = readFile(path);
  const size_t headerSize = static_cast<uint8_t>(bytes[2]) | (static_cast<uint8_t>(bytes[3]) << 8);
  ASSERT_GT(bytes.size(), headerSize + 4);
  bytes[headerSize + 2] = '\x7f';
  writeFile(path, bytes);
  ToolRun damaged = run({"check", table("every")});
  EXPECT_EQ(damaged.exitCode, 1);
  EXPECT_NE(damaged.out.find("every"), std::string::npos) << "fault lines name the file: " << damaged.out;
}

TEST(PdxtoolSamples, ReadsARealTableWithoutTouchingItsFolder) {
  TempDir scratch;
  const std::string dir = std::string(TALLIMOOR_SAMPLES) + "/paradoxdriver/fields";
  for (const std::string name : {"long.db", "LONG.DB", "Long"}) {
    ToolRun r = pdxtool(scratch, {"dump", dir + "/" + name});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, readFile(dir + "/long.db.expected.tsv"));
  }
  ToolRun info = pdxtool(scratch, {"info", dir + "/date35"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("level=3.5\nkeyed=no\nrecords=3\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("key=0\nDATE:D\n"), std::string::npos) << info.out;
}

TEST(SchemaText, ReadsFieldsAndRefusesMalformedLines) {
  auto ok = parseSchemaText("key=2\r\nCli_code:A10\r\nOdd:name:I\n\nComments:M\nPrice:#2\n");
  ASSERT_TRUE(ok.ok()) << ok.status().toString();
  EXPECT_EQ(ok->keyFieldCount, 2);
  ASSERT_EQ(ok->fields.size(), 4u);
  EXPECT_EQ(ok->fields[0], (pdx::FieldDef{"Cli_code", pdx::FieldType::kAlpha, 10}));
  EXPECT_EQ(ok->fields[1], (pdx::FieldDef{"Odd:name", pdx::FieldType::kLong, 0}));
  EXPECT_EQ(ok->fields[2], (pdx::FieldDef{"Comments", pdx::FieldType::kMemo, 0}));
  EXPECT_EQ(ok->fields[3], (pdx::FieldDef{"Price", pdx::FieldType::kBcd, 2}));
  for (const pdx::FieldDef& f : ok->fields) {
    auto again = parseSchemaText("key=0\n" + fieldLine(f));
    ASSERT_TRUE(again.ok()) << fieldLine(f);
    EXPECT_EQ(again->fields[0], f);
  }

  for (const char* bad : {"", "Name:A10\n", "key=x\nName:A10\n", "key=1\n", "key=2\nName:A10\n",
                          "key=0\nName:A\n", "key=0\nName:I4\n", "key=0\nName:Q\n", "key=0\n:A10\n",
                          "key=0\nName\n", "key=0\nName:Y-1\n", "key=0\nName:M9999\n"}) {
    auto r = parseSchemaText(bad);
    EXPECT_FALSE(r.ok()) << "accepted: " << bad;
    EXPECT_EQ(r.status().code(), pdx::code::kInvalidParameter);
  }
  auto where = parseSchemaText("key=0\nA:A1\nB:Z\n");
  EXPECT_NE(where.status().message().find("line 3"), std::string::npos) << where.status().message();
}

}  // namespace
}  // namespace pdxtool
