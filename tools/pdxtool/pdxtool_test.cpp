// Runs the built pdxtool as people and scripts do, and checks what it prints,
// its exit status and the tables it leaves (read back through the engine).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "decimal_text.h"
#include "pdx/dump_format.h"
#include "pdx/table.h"
#include "pdx/unfinished.h"
#include "schema_text.h"
#include "test_util.h"

#ifndef PDXTOOL_PATH
#error "PDXTOOL_PATH must name the built pdxtool"
#endif
#ifndef TALLIMOOR_SAMPLES
#error "TALLIMOOR_SAMPLES must name the folder of sample tables"
#endif

namespace pdxtool {
namespace {

using pdx::testing::readFile;
using pdx::testing::TempDir;
using pdx::testing::writeFile;

using ToolRun = pdx::testing::ProgramRun;

// Runs pdxtool with `args`, its output and errors caught in files of `scratch`
// (its output in `outPath` instead when one is given).
ToolRun pdxtool(const TempDir& scratch, const std::vector<std::string>& args, std::string outPath = {}) {
  if (outPath.empty()) outPath = scratch.file("stdout.txt");
  return pdx::testing::runProgram(PDXTOOL_PATH, args, outPath, scratch.file("stderr.txt"));
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

TEST_F(PdxtoolTest, LoadWritesEveryRowOrNone) {
  // Without its memo file the table takes rows whose memos fit in the
  // record, and fails on the first that needs the file: only posting finds
  // that out, after earlier rows were posted.
  create("memo", "key=1\nCode:A5\nNotes:M10\n");
  ASSERT_EQ(std::remove(data_.file("memo.MB").c_str()), 0);
  const std::string before = readFile(data_.file("memo.DB"));
  ToolRun r = load("memo", "Code\tNotes\na\tshort\nb\tlonger than ten\nc\tx\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("row 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(data_.file("memo.DB")), before);
  EXPECT_EQ(recordCount("memo"), 0);
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

// ------------------------------------------------------------------ apply

// A child process that holds something (a record lock, a table's
// reservation) until the object goes away. `body` calls ready() once it
// holds it; ready() never returns. A body that returns failed.
class Holder {
 public:
  explicit Holder(const std::function<void(const std::function<void()>& ready)>& body) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::function<void()> ready = [&] {
        char c = 'y';
        if (write(fds[1], &c, 1) == 1)
          for (;;) pause();
        _exit(2);
      };
      body(ready);
      _exit(1);
    }
    close(fds[1]);
    char c = 0;
    ready_ = pid_ > 0 && read(fds[0], &c, 1) == 1 && c == 'y';
    close(fds[0]);
  }
  ~Holder() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ready() const { return ready_; }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

class PdxtoolApplyTest : public PdxtoolTest {
 protected:
  void SetUp() override {
    create("accounts", "key=1\nCode:A10\nName:A30\nBalance:$\nVisits:S\nRate:#2\n");
    create("lines", "key=2\nDoc:A8\nSeq:I\nText:A40\n");
    create("notes", "key=0\nLine:A40\n");
    ASSERT_EQ(load("accounts", "Code\tName\tBalance\tVisits\tRate\nA\tAlpha\t0.1\t1\t1.50\nB\tBeta\t10\t2\t0.00\n").exitCode, 0);
    ASSERT_EQ(load("lines", "Doc\tSeq\tText\nx;y\t1\tone\nx;y\t2\ttwo\n").exitCode, 0);
  }
  ToolRun apply(const std::string& ops) {
    writeFile(scratch_.file("ops.txt"), ops);
    return run({"apply", data_.path(), scratch_.file("ops.txt")});
  }
  std::string dump(const std::string& name) {
    ToolRun r = run({"dump", table(name)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
  }
  // Every byte of every table file (.DB, .PX, .MB) of the data directory.
  std::map<std::string, std::string> tableFiles() const {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(data_.path())) {
      std::string ext = e.path().extension().string();
      for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (ext == ".DB" || ext == ".PX" || ext == ".MB") out[e.path().filename().string()] = readFile(e.path().string());
    }
    return out;
  }
  // Child body: stands on accounts' record `code` and edits it.
  std::function<void(const std::function<void()>&)> editing(const std::string& code) {
    return [this, code](const std::function<void()>& ready) {
      auto dir = pdx::Directory::open(data_.path());
      if (!dir.ok()) return;
      auto t = (*dir)->openTable("accounts");
      if (t.ok() && (*t)->findKey({pdx::Value::text(code)}).ok() && (*t)->edit().ok()) ready();
    };
  }
};

TEST_F(PdxtoolApplyTest, EachOperationChangesTheTablesAsWritten) {
  ToolRun r = apply(
      "# corrections of 2024-03-31\n"
      "\n"
      "insert\taccounts\tCode=C\tName=Gamma\\tTab\tVisits=0\n"
      "update\taccounts\tkey=A\tName=Alpha bis\tVisits=7\n"
      "add\taccounts\tkey=A\tBalance=0.2\r\n"
      "add\taccounts\tkey=C\tBalance=12.5\n"
      "add\taccounts\tkey=C\tBalance=-0.5\n"
      "add\taccounts\tkey=B\tVisits=-5\n"
      "add\taccounts\tkey=B\tRate=1.25\n"
      "delete\taccounts\tkey=B\n"
      "insert\tnotes\tLine=first\n"
      "insert\tnotes\tLine=first\n"
      "update\tlines\tkey=x\\;y;2\tText=deux\tSeq=3\n"
      "delete\tLINES.db\tkey=x\\;y;1\n"
      "insert\tlines\tDoc=back\\\\\tSeq=1\tText=slash\n"
      "update\tlines\tkey=back\\\\;1\tText=found\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  // 0.1 + 0.2 is summed in decimal: 0.3, not 0.30000000000000004. A blank
  // balance counts as zero. An update sees the lines before it.
  EXPECT_EQ(dump("accounts"),
            "Code\tName\tBalance\tVisits\tRate\n"
            "A\tAlpha bis\t0.3\t7\t1.50\n"
            "C\tGamma\\tTab\t12\t0\t\n");
  EXPECT_EQ(dump("notes"), "Line\nfirst\nfirst\n");
  EXPECT_EQ(dump("lines"), "Doc\tSeq\tText\nback\\\\\t1\tfound\nx;y\t3\tdeux\n");
  EXPECT_EQ(run({"check", data_.path()}).exitCode, 0);
}

TEST_F(PdxtoolApplyTest, AFailingLineLeavesEveryTableByteForByteAsItWas) {
  // Valid changes to all three tables come first, so that a failure must
  // undo held writes, not merely stop before any.
  const std::string prefix =
      "insert\tnotes\tLine=written first\n"
      "update\tlines\tkey=x\\;y;1\tText=changed\n"
      "insert\taccounts\tCode=D\tName=Delta\n"
      "add\taccounts\tkey=A\tBalance=100\n";
  struct Case {
    const char* what;
    std::string line;  // becomes line 5
    std::vector<std::string> mustSay;
  };
  const std::string tooLong(31, 'n');
  const std::vector<Case> cases = {
      {"no record with the key", "update\taccounts\tkey=Z\tName=x\n", {"no record", "8710"}},
      {"key taken by an earlier line", "insert\taccounts\tCode=D\n", {"9729"}},
      {"record deleted by an earlier line", "delete\taccounts\tkey=B\nadd\taccounts\tkey=B\tVisits=1\n", {"line 6", "8710"}},
      {"sum beyond the field", "add\taccounts\tkey=A\tVisits=32000\nadd\taccounts\tkey=A\tVisits=32000\n", {"line 6", "Visits"}},
      {"text longer than the field", "insert\taccounts\tCode=E\tName=" + tooLong + "\n", {"Name"}},
      {"malformed value", "insert\taccounts\tCode=E\tBalance=1,5\n", {"Balance"}},
      {"unknown table", "insert\tledger\tCode=E\n", {"ledger"}},
      {"unknown field", "insert\taccounts\tColour=red\n", {"Colour"}},
      {"unknown operation", "upsert\taccounts\tCode=E\n", {"upsert"}},
      {"unkeyed table named by key", "delete\tnotes\tkey=first\n", {"only insert"}},
      {"too few key values", "update\tlines\tkey=x\\;y\tText=t\n", {"2 field"}},
      {"unescaped semicolon in a key", "update\tlines\tkey=x;y;1\tText=t\n", {"2 field"}},
      {"add to a text field", "add\taccounts\tkey=A\tName=1\n", {"Name"}},
      {"cell without a value", "insert\taccounts\tCode\n", {"Field=value"}},
      {"stray tab", "insert\taccounts\tCode=E\t\n", {"empty"}},
  };
  const auto before = tableFiles();
  ASSERT_EQ(before.size(), 5u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ToolRun r = apply(prefix + c.line);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(scratch_.file("ops.txt")), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    const bool namesLine = r.err.find("line 5") != std::string::npos || r.err.find("line 6") != std::string::npos;
    EXPECT_TRUE(namesLine) << r.err;
    for (const std::string& part : c.mustSay) EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    EXPECT_TRUE(tableFiles() == before);
  }
  // The same prefix alone goes through: the failures above were the last lines'.
  ASSERT_EQ(apply(prefix).exitCode, 0);
  EXPECT_FALSE(tableFiles() == before);
}

TEST_F(PdxtoolApplyTest, ALockHeldByAnotherProcessFailsTheGroupWithCode10241) {
  const auto before = tableFiles();
  {
    Holder holder(editing("A"));
    ASSERT_TRUE(holder.ready());
    for (const char* line : {"update\taccounts\tkey=A\tName=x\n", "add\taccounts\tkey=A\tBalance=1\n",
                             "delete\taccounts\tkey=A\n"}) {
      SCOPED_TRACE(line);
      const auto start = std::chrono::steady_clock::now();
      ToolRun r = apply(std::string("insert\tnotes\tLine=n\nupdate\taccounts\tkey=B\tName=b\n") + line);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("10241"), std::string::npos) << r.err;
      EXPECT_TRUE(tableFiles() == before);
    }
    // Other records of the table are free meanwhile.
    EXPECT_EQ(apply("update\taccounts\tkey=B\tName=Bravo\n").exitCode, 0);
  }
  // Another process's group holds the table's reservation: once this group
  // holds a table, it gives up on the next soon instead of waiting.
  const auto middle = tableFiles();
  Holder group([this](const std::function<void()>& ready) {
    auto dir = pdx::Directory::open(data_.path());
    if (!dir.ok()) return;
    auto g = (*dir)->beginGroup();
    auto t = (*dir)->openTable("lines");
    if (!g.ok() || !t.ok() || !(*t)->insert().ok() || !(*t)->set(0, pdx::Value::text("held")).ok() ||
        !(*t)->post().ok())
      return;
    ready();
  });
  ASSERT_TRUE(group.ready());
  const auto start = std::chrono::steady_clock::now();
  ToolRun r = apply("insert\tnotes\tLine=n\ninsert\tlines\tDoc=z\tSeq=1\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("10241"), std::string::npos) << r.err;
  EXPECT_TRUE(tableFiles() == middle);
}

TEST(PdxtoolDecimalText, SumsExactlyInDecimal) {
  struct Case {
    const char* a;
    const char* b;
    const char* sum;
  };
  for (const Case& c : std::vector<Case>{{"0.1", "0.2", "0.3"},
                                         {"1.50", "2", "3.50"},
                                         {"0.1", "-0.1", "0.0"},
                                         {"-0.25", "0.1", "-0.15"},
                                         {"-5", "-7.5", "-12.5"},
                                         {"999.99", "0.01", "1000.00"},
                                         {"1e+21", "1", "1000000000000000000001"},
                                         {"1.5e-3", "2E2", "200.0015"},
                                         {".5", "5.", "5.5"},
                                         {"0", "-0", "0"},
                                         {"-1000", "999.5", "-0.5"}}) {
    SCOPED_TRACE(std::string(c.a) + " + " + c.b);
    EXPECT_EQ(addDecimalText(c.a, c.b), std::optional<std::string>(c.sum));
    EXPECT_EQ(addDecimalText(c.b, c.a), std::optional<std::string>(c.sum)) << "addition commutes";
  }
  // The smallest double is written with its exponent; its sum keeps every digit.
  auto tiny = addDecimalText("5e-324", "1");
  ASSERT_TRUE(tiny.has_value());
  EXPECT_EQ(tiny->size(), 2u + 324u);
  EXPECT_EQ(tiny->substr(tiny->size() - 3), "005");
  for (const char* bad : {"", "-", ".", "1e", "1e+", "nan", "inf", "1,5", "+1", "1.2.3", "0x10", "1e99999", " 1"})
    EXPECT_EQ(addDecimalText(bad, "1"), std::nullopt) << bad;
}

// ------------------------------------------------------------- check DIR

TEST_F(PdxtoolApplyTest, CheckDirReportsEveryTableAndEveryFault) {
  ToolRun sound = run({"check", data_.path() + "/"});
  EXPECT_EQ(sound.exitCode, 0) << sound.err;
  EXPECT_EQ(sound.out, data_.path() + ": 3 tables ok\n");

  // Two tables damaged in different ways: both are reported, and the sound
  // one is still checked.
  std::string accounts = readFile(data_.file("accounts.DB"));
  const size_t headerSize = static_cast<uint8_t>(accounts[2]) | (static_cast<uint8_t>(accounts[3]) << 8);
  accounts[headerSize + 2] = '\x7f';  // the first block's back link
  writeFile(data_.file("accounts.DB"), accounts);
  writeFile(data_.file("notes.DB"), readFile(data_.file("notes.DB")).substr(0, 40));
  ToolRun damaged = run({"check", data_.path()});
  EXPECT_EQ(damaged.exitCode, 1);
  EXPECT_NE(damaged.out.find("accounts.DB"), std::string::npos) << damaged.out;
  EXPECT_NE(damaged.out.find(data_.file("notes.DB") + ": "), std::string::npos) << damaged.out;
  EXPECT_EQ(damaged.out.find("lines"), std::string::npos) << damaged.out;
  EXPECT_EQ(damaged.out.find("tables ok"), std::string::npos) << damaged.out;
}

TEST_F(PdxtoolTest, CheckDirRecoversACommitCutShortByAKill) {
  create("ledger", "key=1\nId:I\nAmount:I\n");
  create("totals", "key=1\nName:A8\nTotal:I\nCount:I\n");
  ASSERT_EQ(load("totals", "Name\tTotal\tCount\nall\t0\t0\n").exitCode, 0);

  // A writer that commits, durably, group after group: one ledger row and
  // the running total that covers it.
  auto writer = [&](int attempt) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    auto dir = pdx::Directory::open(data_.path(), pdx::Env::standard());
    if (!dir.ok()) _exit(1);
    auto ledger = (*dir)->openTable("ledger");
    auto totals = (*dir)->openTable("totals");
    if (!ledger.ok() || !totals.ok()) _exit(1);
    for (int i = 1;; ++i) {
      auto g = (*dir)->beginGroup();
      const int64_t amount = i % 7 + 1;
      pdx::Table& t = **totals;
      if (!g.ok() || !(*ledger)->insert().ok() || !(*ledger)->set(0, pdx::Value::integer(attempt * 100000 + i)).ok() ||
          !(*ledger)->set(1, pdx::Value::integer(amount)).ok() || !(*ledger)->post().ok() ||
          !t.findKey({pdx::Value::text("all")}).ok() || !t.edit().ok())
        _exit(1);
      const int64_t total = t.get(1)->asInteger(), count = t.get(2)->asInteger();
      if (!t.set(1, pdx::Value::integer(total + amount)).ok() || !t.set(2, pdx::Value::integer(count + 1)).ok() ||
          !t.post().ok() || !(*g)->commit().ok())
        _exit(1);
    }
  };

  std::mt19937 random(20240331);
  int attempts = 0;
  bool recovered = false;
  for (; attempts < 200 && !recovered; ++attempts) {
    const pid_t pid = writer(attempts);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 40));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: exit " << WEXITSTATUS(status);

    // Wherever the kill landed, the directory checks sound.
    ToolRun r = run({"check", data_.path()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    ASSERT_NE(r.out.find(data_.path() + ": 2 tables ok\n"), std::string::npos) << r.out;
    recovered = r.out.find(data_.path() + ": recovered 1 unfinished commit\n") == 0;
  }
  ASSERT_TRUE(recovered) << "no kill out of " << attempts << " landed inside a commit";

  // The half-done group is wholly gone: the total covers exactly the ledger.
  auto dir = pdx::Directory::open(data_.path());
  ASSERT_TRUE(dir.ok());
  auto ledger = (*dir)->openTable("ledger", pdx::Directory::Access::kReadOnly);
  auto totals = (*dir)->openTable("totals", pdx::Directory::Access::kReadOnly);
  ASSERT_TRUE(ledger.ok() && totals.ok());
  int64_t sum = 0, rows = 0;
  for (pdx::Status st = (*ledger)->first(); st.ok(); st = (*ledger)->next()) {
    sum += (*ledger)->get(1)->asInteger();
    ++rows;
  }
  ASSERT_TRUE((*totals)->findKey({pdx::Value::text("all")}).ok());
  EXPECT_GT(rows, 0);
  EXPECT_EQ((*totals)->get(1)->asInteger(), sum);
  EXPECT_EQ((*totals)->get(2)->asInteger(), rows);
  // A second check finds nothing left to recover.
  EXPECT_EQ(run({"check", data_.path()}).out, data_.path() + ": 2 tables ok\n");
}

TEST(PdxtoolSamples, ReadsARealTableWithoutTouchingItsFolder) {
  TALLIMOOR_REQUIRE_SAMPLES();
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

TEST(PdxtoolSchemaText, ReadsFieldsAndRefusesMalformedLines) {
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

// Text files as editors leave them: a UTF-8 byte-order mark first, empty
// lines last. An empty line is a row only of a file of one field, where dump
// writes a blank as one.
TEST_F(PdxtoolTest, AByteOrderMarkAndTrailingEmptyLinesAreRead) {
  const std::string bom = "\xEF\xBB\xBF";
  create("notes", bom + "key=1\r\nCode:A5\r\nNote:A10\r\n\r\n  \n");
  ToolRun r = load("notes", bom + "Code\tNote\na\tx\nb\ty\n\n\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(recordCount("notes"), 2);

  writeFile(scratch_.file("ops.txt"), bom + "insert\tnotes\tCode=c\tNote=z\n\n");
  r = run({"apply", data_.path(), scratch_.file("ops.txt")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(recordCount("notes"), 3);

  create("names", "key=0\nName:A5\n");
  const std::string rows = "Name\nx\n\n";  // x, then a blank
  ASSERT_EQ(load("names", rows).exitCode, 0);
  EXPECT_EQ(run({"dump", table("names")}).out, rows);
}

// Slips the tool once took silently: a field named with a blank, a query
// parameter given twice (the last used to win).
TEST_F(PdxtoolTest, ABlankFieldNameOrAParameterGivenTwiceIsRefused) {
  for (const char* name : {" ", "  ", " Code", "Code "}) {
    writeFile(scratch_.file("schema.txt"), "key=0\n" + std::string(name) + ":A5\n");
    ToolRun r = run({"create", table("blank"), scratch_.file("schema.txt")});
    EXPECT_EQ(r.exitCode, 1) << "\"" << name << "\"";
    EXPECT_NE(r.err.find("space"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(table("blank.DB")));
  }
  create("notes", "key=1\nCode:A5\n");
  ASSERT_EQ(load("notes", "Code\na\nb\n").exitCode, 0);
  const std::string query = "SELECT * FROM notes WHERE Code = :c";
  ToolRun once = run({"sql", data_.path(), query, "--param", "c=a"});
  ASSERT_EQ(once.exitCode, 0) << once.err;
  EXPECT_EQ(once.out, "Code\na\n");
  for (const std::vector<std::string>& twice : {std::vector<std::string>{"--param", "c=a", "--param", "c=b"},
                                                std::vector<std::string>{"--param=c=a", "--param", ":C=b"}}) {
    std::vector<std::string> args{"sql", data_.path(), query};
    args.insert(args.end(), twice.begin(), twice.end());
    ToolRun r = run(args);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("twice"), std::string::npos) << r.err;
  }
}

// What the tool prints of what it read is cut and escaped: a 50 MB field
// name makes a short message, escape sequences in a file's header or in a
// file's name never reach the terminal raw.
TEST_F(PdxtoolTest, WhatTheToolEchoesIsCutAndEscaped) {
  create("notes", "key=1\nCode:A5\n");
  ToolRun huge = load("notes", "Code\t" + std::string(50u << 20, 'N') + "\nx\ty\n");
  EXPECT_EQ(huge.exitCode, 1);
  EXPECT_LT(huge.err.size(), 1000u) << huge.err.substr(0, 300);
  EXPECT_NE(huge.err.find("(52428800 bytes)"), std::string::npos) << huge.err.substr(0, 300);

  const std::string escape = "\x1b]0;owned\x07\x1b[2J";
  ToolRun header = load("notes", "Code\t" + escape + "\nx\ty\n");
  ToolRun command = run({escape});
  ASSERT_TRUE(std::filesystem::copy_file(table("notes.DB"), table("odd" + escape + ".DB")));
  ToolRun check = run({"check", data_.path()});  // the copy lacks its index: a fault naming it
  EXPECT_EQ(check.exitCode, 1);
  for (const ToolRun* r : {&header, &command, &check}) {
    const std::string all = r->out + r->err;
    EXPECT_EQ(all.find('\x1b'), std::string::npos) << all;
    EXPECT_EQ(all.find('\x07'), std::string::npos) << all;
    EXPECT_NE(all.find("\\x1B]0;owned\\x07\\x1B[2J"), std::string::npos) << all;
  }
}

// The output of load written to a full disk is an error, as it is of the
// other commands.
TEST_F(PdxtoolTest, OutputThatCannotBeWrittenIsAnError) {
  create("notes", "key=1\nCode:A5\n");
  writeFile(scratch_.file("rows.tsv"), "Code\na\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"load", table("notes"), scratch_.file("rows.tsv")}, {"dump", table("notes")},
        {"check", data_.path()}}) {
    ToolRun r = pdxtool(scratch_, args, "/dev/full");
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_NE(r.err.find("cannot write the output"), std::string::npos) << r.err;
  }
}

// A folder that tallimoor-admin did not finish building is no sound folder,
// however sound its tables.
TEST_F(PdxtoolTest, CheckReportsAFolderWhoseBuildWasInterrupted) {
  create("notes", "key=1\nCode:A5\n");
  { auto marker = pdx::BuildMarker::place(data_.path(), "tallimoor-admin demo", pdx::Env::unsynced()); }
  for (const std::string& target : {data_.path(), table("notes")}) {
    ToolRun r = run({"check", target});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("incomplete: tallimoor-admin demo was interrupted"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(" ok"), std::string::npos) << r.out;
  }
}

// A redo log that names a file outside the folder makes even a command that
// only reads refuse the folder, and the file stays as it was.
TEST_F(PdxtoolTest, AHostileRedoLogIsRefusedEvenByInfo) {
  create("notes", "key=1\nCode:A5\n");
  writeFile(scratch_.file("victim.txt"), "mine");
  const std::string escape = std::filesystem::relative(scratch_.file("victim.txt"), data_.path()).string();
  writeFile(data_.file("tallimoor.redo"), pdx::testing::craftedRedoLog({{{escape, "PWNED"}}}));
  for (const char* command : {"info", "dump", "check"}) {
    ToolRun r = run({command, table("notes")});
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_NE(r.err.find("is not a table of its folder"), std::string::npos) << command << ": " << r.err;
  }
  EXPECT_EQ(readFile(scratch_.file("victim.txt")), "mine");
}

}  // namespace
}  // namespace pdxtool
