#include "translation_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "admin_test_util.h"
#include "cli.h"
#include "data/table_def.h"
#include "test_util.h"
#include "translation_tables.h"

#ifndef TALLIMOOR_LANGUAGES_DIR
#error "TALLIMOOR_LANGUAGES_DIR must name the folder of translation texts"
#endif

namespace admin {
namespace {

using pdx::testing::TempDir;
using pdx::testing::writeFile;

pdx::Result<std::vector<TranslationRow>> parse(const std::string& text) { return parseTranslationText(text, "t.en.txt"); }

std::string faultOf(const std::string& text) {
  auto r = parse(text);
  EXPECT_FALSE(r.ok()) << text;
  return r.ok() ? std::string() : r.status().message();
}

TEST(TranslationText, RowsFlagsAndLines) {
  auto rows = parse(
      "# a comment\n"
      "\n"
      "[vd87_frm] \n"
      "caption |Purchases|\n"
      "  [vd87_frm.IntlStrings1] memo\r\n"
      "  |Invoice number already in database.|\r\n"
      "  | Transaction period is |\n"
      "  ||\n"
      "[vd87_frm.TransType] combobox radiogroup\n"
      "caption |Type|\n"
      "hint |Kind of document|\n"
      "|Purchase|\n"
      "|a | inside|\n");
  ASSERT_TRUE(rows.ok()) << rows.status().toString();
  ASSERT_EQ(rows->size(), 3u);
  const TranslationRow& form = (*rows)[0];
  EXPECT_TRUE(form.isForm);
  EXPECT_EQ(form.controlName, "vd87_frm");
  EXPECT_EQ(form.caption, "Purchases");
  const TranslationRow& memo = (*rows)[1];
  EXPECT_FALSE(memo.isForm);
  EXPECT_TRUE(memo.isMemo);
  EXPECT_EQ(memo.lines, (std::vector<std::string>{"Invoice number already in database.", " Transaction period is ", ""}));
  EXPECT_EQ(memo.linesMemo(), "Invoice number already in database.\r\n Transaction period is \r\n");
  const TranslationRow& combo = (*rows)[2];
  EXPECT_TRUE(combo.isCombobox);
  EXPECT_TRUE(combo.isRadioGroup);
  EXPECT_FALSE(combo.isMemo);
  EXPECT_EQ(combo.hint, "Kind of document");
  EXPECT_EQ(combo.lines, (std::vector<std::string>{"Purchase", "a | inside"}));
}

TEST(TranslationText, FaultsNameTheFileAndLine) {
  EXPECT_EQ(faultOf("|orphan|\n"), "t.en.txt:1: text before the first [Form.Control] line");
  EXPECT_NE(faultOf("[A.B]\n[a.b]\n").find("t.en.txt:2:"), std::string::npos);  // the pair twice, any case
  EXPECT_NE(faultOf("[A.B] memos\n").find("unknown flag"), std::string::npos);
  EXPECT_NE(faultOf("[A.B]\n|no end\n").find("t.en.txt:2:"), std::string::npos);
  EXPECT_NE(faultOf("[A.B]\n|x| y\n").find("after the closing"), std::string::npos);
  EXPECT_NE(faultOf("[A.B]\ncaption no bars\n").find("t.en.txt:2:"), std::string::npos);
  EXPECT_NE(faultOf("[A.B]\ntitle |x|\n").find("expected caption"), std::string::npos);
  EXPECT_NE(faultOf("[A.B]\n|tab\there|\n").find("control characters"), std::string::npos);
  EXPECT_NE(faultOf("[A B.C]\n").find("letters, digits"), std::string::npos);
  EXPECT_NE(faultOf("[A.B\n").find("missing ']'"), std::string::npos);
  EXPECT_NE(faultOf("[" + std::string(21, 'F') + ".B]\n").find("form name longer"), std::string::npos);
  EXPECT_NE(faultOf("[A." + std::string(36, 'C') + "]\n").find("control name longer"), std::string::npos);
}

TEST(TranslationText, TextsAreMeasuredInCharactersAgainstTheFields) {
  std::string e55;
  for (int i = 0; i < 55; ++i) e55 += "é";
  EXPECT_TRUE(parse("[A.B]\ncaption |" + e55 + "|\n").ok());  // 110 bytes, 55 characters
  EXPECT_NE(faultOf("[A.B]\ncaption |" + e55 + "x|\n").find("longer than 55"), std::string::npos);
  EXPECT_TRUE(parse("[A.B]\nhint |" + std::string(25, 'h') + "|\n").ok());
  EXPECT_NE(faultOf("[A.B]\nhint |" + std::string(26, 'h') + "|\n").find("longer than 25"), std::string::npos);
}

TEST(TranslationText, SourceFileNamesGiveTheTableNames) {
  std::string d, l;
  EXPECT_TRUE(parseSourceFileName("MainMenu.en.txt", d, l).ok());
  EXPECT_EQ(d + l, "MainMenuen");
  for (const char* bad : {"vd87.txt", "vd87.FR.txt", "vd87.fra.txt", "vd-87.fr.txt", ".fr.txt", "vd87.fr.text"})
    EXPECT_TRUE(parseSourceFileName(bad, d, l).is(pdx::code::kInvalidName)) << bad;
}

// The texts the tool carries are the ones in the source tree, they all
// compile, and the windows' message lists have the lines the code counts on.
TEST(TranslationTexts, BuiltInTextsAreTheSourceFilesAndCompile) {
  auto files = readTranslationSources(TALLIMOOR_LANGUAGES_DIR);
  ASSERT_TRUE(files.ok()) << files.status().toString();
  const auto& builtIn = builtInTranslationSources();
  ASSERT_EQ(builtIn.size(), files->size());
  for (size_t i = 0; i < files->size(); ++i) {
    auto match = std::find_if(builtIn.begin(), builtIn.end(),
                              [&](const TranslationSource& s) { return s.fileName == (*files)[i].fileName; });
    ASSERT_NE(match, builtIn.end()) << (*files)[i].fileName;
    EXPECT_EQ(match->text, (*files)[i].text) << (*files)[i].fileName;
  }
  auto tables = parseTranslationSources(builtIn);
  ASSERT_TRUE(tables.ok()) << tables.status().toString();
  std::map<std::string, const TranslationTable*> byName;
  for (const auto& t : *tables) byName[t.name] = &t;
  for (const char* deliverable : {"MainMenu", "kq61", "vd52", "vd87"})
    for (const char* lang : {"en", "fr"}) ASSERT_TRUE(byName.count(std::string(deliverable) + lang)) << deliverable << lang;

  auto messages = [&](const std::string& table, const std::string& control) {
    for (const auto& r : byName.at(table)->rows)
      if (r.controlName == control) return r.lines;
    return std::vector<std::string>{};
  };
  for (const char* lang : {"en", "fr"}) {
    EXPECT_EQ(messages(std::string("vd87") + lang, "IntlStrings1").size(), 21u) << lang;
    EXPECT_EQ(messages(std::string("vd52") + lang, "IntlStrings1").size(), 9u) << lang;
    EXPECT_EQ(messages(std::string("kq61") + lang, "IntlStrings1").size(), 9u) << lang;
    // The shell's numbering: suffixes from line 20, the last message on 35.
    const auto shell = messages(std::string("MainMenu") + lang, "Error_Messages");
    ASSERT_EQ(shell.size(), 36u) << lang;
    for (int line : {0, 1, 3, 11, 12, 13, 18, 20, 21, 22, 29, 30, 31, 32, 33, 34, 35})
      EXPECT_FALSE(shell[static_cast<size_t>(line)].empty()) << lang << " " << line;
  }
  const auto vd87 = messages("vd87en", "IntlStrings1");
  EXPECT_EQ(vd87[12], "Purchases current period is ");  // the period follows directly
  EXPECT_EQ(vd87[13], " Transaction period is ");
  const auto vd52 = messages("vd52en", "IntlStrings1");
  EXPECT_EQ(vd52[0], "Purchase");
  EXPECT_EQ(vd52[4], "Disbursement");
  EXPECT_EQ(vd52[8], "No");
}

TEST(TranslationTexts, CompiledTablesReadBackAsWritten) {
  TempDir tmp;
  std::ostringstream out, err;
  ASSERT_EQ(runAdmin({"build-languages", TALLIMOOR_LANGUAGES_DIR, tmp.path()}, out, err, pdx::Env::unsynced()), kExitOk)
      << err.str();
  auto tables = parseTranslationSources(*readTranslationSources(TALLIMOOR_LANGUAGES_DIR));
  ASSERT_TRUE(tables.ok());
  auto dir = testing::openDirectory(tmp.path());
  for (const auto& t : *tables) {
    SCOPED_TRACE(t.name);
    auto back = readTranslationTable(*dir, t.name);
    ASSERT_TRUE(back.ok()) << back.status().toString();
    ASSERT_EQ(back->size(), t.rows.size());
    for (const TranslationRow& got : *back) {
      auto want = std::find_if(t.rows.begin(), t.rows.end(), [&](const TranslationRow& r) {
        return r.formName == got.formName && r.controlName == got.controlName;
      });
      ASSERT_NE(want, t.rows.end()) << got.formName << "." << got.controlName;
      EXPECT_EQ(got.caption, want->caption);
      EXPECT_EQ(got.hint, want->hint);
      EXPECT_EQ(got.linesMemo(), want->linesMemo());  // longer than the record part: kept in the .MB
      EXPECT_EQ(got.isForm, want->isForm);
      EXPECT_EQ(got.isMemo, want->isMemo);
      EXPECT_EQ(got.isDbGrid, want->isDbGrid);
      EXPECT_EQ(got.isRadioGroup, want->isRadioGroup);
      EXPECT_EQ(got.isCombobox, want->isCombobox);
      EXPECT_EQ(got.isCheckList, want->isCheckList);
    }
    // The layout is the translation layout.
    auto table = dir->openTable(t.name);
    ASSERT_TRUE(table.ok());
    EXPECT_TRUE(data::verifySchema((*table)->schema(), data::tables::formLangs()).ok());
  }
}

TEST(TranslationTexts, BuildRefusesToOverwriteAndWritesNothingOnAFault) {
  TempDir src, dest;
  writeFile(src.file("w1.en.txt"), "[F.F]\ncaption |One|\n");
  std::ostringstream out, err;
  auto run = [&](std::vector<std::string> args) {
    out.str("");
    err.str("");
    return runAdmin(args, out, err, pdx::Env::unsynced());
  };
  ASSERT_EQ(run({"build-languages", src.path(), dest.path()}), kExitOk) << err.str();
  const auto before = testing::snapshot(dest.path());

  writeFile(src.file("w1.en.txt"), "[F.F]\ncaption |Two|\n");
  EXPECT_EQ(run({"build-languages", src.path(), dest.path()}), kExitRefused);
  EXPECT_NE(err.str().find("w1en"), std::string::npos) << err.str();
  EXPECT_EQ(testing::snapshot(dest.path()), before);

  // A fault in any file stops the whole build before anything is written.
  writeFile(src.file("w2.en.txt"), "[G.G]\ncaption |fine|\n");
  writeFile(src.file("w3.en.txt"), "[H.H] sparkly\n");
  EXPECT_EQ(run({"build-languages", src.path(), dest.path(), "--replace"}), kExitUsage);
  EXPECT_NE(err.str().find("w3.en.txt:1"), std::string::npos) << err.str();
  EXPECT_EQ(testing::snapshot(dest.path()), before);

  std::filesystem::remove(src.file("w3.en.txt"));
  ASSERT_EQ(run({"build-languages", src.path(), dest.path(), "--replace"}), kExitOk) << err.str();
  auto rows = readTranslationTable(*testing::openDirectory(dest.path()), "w1en");
  ASSERT_TRUE(rows.ok());
  ASSERT_EQ(rows->size(), 1u);
  EXPECT_EQ((*rows)[0].caption, "Two");
  EXPECT_TRUE(testing::openDirectory(dest.path())->tableExists("w2en"));
}

}  // namespace
}  // namespace admin
