#include "os/toolkit_language.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>

namespace os {
namespace {

QApplication& application() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  static int argc = 1;
  static char name[] = "os_test";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// The label of a message box's Yes button, as the toolkit gives it now.
QString yesButton() { return QCoreApplication::translate("QPlatformTheme", "&Yes"); }

// A French user must see the toolkit's own buttons and dialogs in French, and
// English again after switching back.
TEST(ToolkitLanguageTest, FrenchCataloguesComeAndGoWithTheLanguage) {
  application();
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_fr.qm"))
    GTEST_SKIP() << "Qt's translations are not installed (scripts/install-deps.sh installs them)";
  ASSERT_TRUE(setToolkitLanguage("fr").ok());
  EXPECT_EQ(toolkitLanguage(), "fr");
  EXPECT_EQ(yesButton(), "&Oui");
  ASSERT_TRUE(setToolkitLanguage("en").ok());
  EXPECT_EQ(toolkitLanguage(), "");
  EXPECT_EQ(yesButton(), "&Yes");
}

TEST(ToolkitLanguageTest, ALanguageWithoutCatalogueKeepsEnglishAndSaysSo) {
  application();
  QTemporaryDir program;
  const Status s = setToolkitLanguage("zz", program.path());
  EXPECT_EQ(s.code(), error::kFileNotFound);
  EXPECT_TRUE(s.detail().contains("qt_zz")) << s.detail().toStdString();
  EXPECT_EQ(toolkitLanguage(), "");
  EXPECT_EQ(yesButton(), "&Yes");
}

}  // namespace
}  // namespace os
