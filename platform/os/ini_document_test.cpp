#include "ini_document.h"

#include <gtest/gtest.h>

namespace os {
namespace {

TEST(IniDocumentTest, ReadsWhatAnAdministratorWrites) {
  const IniDocument document = IniDocument::parse(
      "; settings of this machine\n"
      "orphan=before any section\n"
      "  [ Tallimoor ]  \n"
      "  customer =  Société générale  \n"
      "Form=520,20,36,750,N\n"
      "# datadrive=/commented\n"
      "datadrive=/srv=data\n"
      "banner=\"  padded \\\"x\\\" \\\\ \\q  \"\n"
      "path=C:\\Tallimoor\\bin\n"
      "a line without equals\n"
      "=no name\n"
      "customer=second one is ignored\n"
      "[Settings]\n"
      "intl=Y");
  const auto get = [&](const char* section, const char* name) {
    return document.value(QString::fromUtf8(section), QString::fromUtf8(name));
  };
  EXPECT_EQ(get("Tallimoor", "customer"), QStringLiteral("Société générale"));
  EXPECT_EQ(get("tallimoor", "FORM"), QStringLiteral("520,20,36,750,N"));
  EXPECT_EQ(get("Tallimoor", "datadrive"), QStringLiteral("/srv=data"));
  EXPECT_EQ(get("Tallimoor", "banner"), QStringLiteral("  padded \"x\" \\ \\q  "));
  EXPECT_EQ(get("Tallimoor", "path"), QStringLiteral("C:\\Tallimoor\\bin"));
  EXPECT_EQ(get("Settings", "intl"), QStringLiteral("Y"));
  EXPECT_FALSE(get("Tallimoor", "orphan"));
  EXPECT_FALSE(get("Settings", "customer"));
  EXPECT_FALSE(get("Tallimoor", ""));
}

TEST(IniDocumentTest, WritesChangeOnlyTheirLine) {
  const QByteArray original =
      "; keep me\r\n"
      "[Tallimoor]\r\n"
      "   Language = 1   ; not a comment\r\n"
      "pgmdrive=/opt\r\n"
      "; trailing comment of the section\r\n"
      "\r\n"
      "[Other]\n"
      "x=1";
  IniDocument document = IniDocument::parse(original);
  EXPECT_EQ(document.serialize(), original);

  document.setValue(QStringLiteral("TALLIMOOR"), QStringLiteral("language"), QStringLiteral("2"));
  document.setValue(QStringLiteral("Tallimoor"), QStringLiteral("datadrive"), QStringLiteral("/srv"));
  document.setValue(QStringLiteral("Other"), QStringLiteral("y"), QStringLiteral("2"));
  document.setValue(QStringLiteral("Settings"), QStringLiteral("CurrSmbl"), QStringLiteral(" $ "));
  EXPECT_EQ(document.serialize(),
            "; keep me\r\n"
            "[Tallimoor]\r\n"
            "Language=2\r\n"
            "pgmdrive=/opt\r\n"
            "datadrive=/srv\r\n"
            "; trailing comment of the section\r\n"
            "\r\n"
            "[Other]\n"
            "x=1\r\n"
            "y=2\r\n"
            "\r\n"
            "[Settings]\r\n"
            "CurrSmbl=\" $ \"\r\n");
  EXPECT_EQ(IniDocument::parse(document.serialize()).value(QStringLiteral("settings"), QStringLiteral("currsmbl")),
            QStringLiteral(" $ "));
}

TEST(IniDocumentTest, EveryValueReadsBackAsWritten) {
  const QStringList values = {QString(),
                              QStringLiteral("plain"),
                              QStringLiteral(" "),
                              QStringLiteral("\""),
                              QStringLiteral("\"\""),
                              QStringLiteral("ends with backslash\\"),
                              QStringLiteral("\\\"\\n"),
                              QStringLiteral("tab\there"),
                              QStringLiteral("new\nline"),
                              QStringLiteral("; looks like a comment"),
                              QStringLiteral("[looks like a section]"),
                              QStringLiteral("=leading equals"),
                              QStringLiteral("Montréal, Québec — 12,50 $")};
  IniDocument document = IniDocument::parse({});
  for (qsizetype i = 0; i < values.size(); ++i) {
    document.setValue(QStringLiteral("S"), QStringLiteral("v%1").arg(i), values[i]);
  }
  const QByteArray text = document.serialize();
  const IniDocument reread = IniDocument::parse(text);
  for (qsizetype i = 0; i < values.size(); ++i) {
    EXPECT_EQ(reread.value(QStringLiteral("S"), QStringLiteral("v%1").arg(i)), values[i]) << i << "\n"
                                                                                          << text.toStdString();
  }
  // One line per value: a value never breaks the file's lines.
  EXPECT_EQ(text.count('\n'), values.size() + 1);
}

}  // namespace
}  // namespace os
