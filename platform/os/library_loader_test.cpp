#include "os/library_loader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>

#include "os/recorders.h"

namespace os {
namespace {

using AddFunction = int (*)(int, int);
using NameFunction = const char* (*)();

const QString kModule = QStringLiteral(OS_TEST_MODULE);

TEST(LibraryLoaderTest, LoadsByFullPathCallsAndUnloads) {
  auto loader = createLibraryLoader();
  Result<std::unique_ptr<Library>> loaded = loader->load(kModule);
  ASSERT_TRUE(loaded.ok()) << loaded.status().text(1).toStdString();
  Library& library = *loaded.value();
  EXPECT_EQ(QFileInfo(library.path()).canonicalFilePath(), QFileInfo(kModule).canonicalFilePath());

  const auto add = resolveFunction<AddFunction>(library, "tallimoor_test_add");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(40, 2), 42);
  const auto name = resolveFunction<NameFunction>(library, "tallimoor_test_name");
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name(), "os test module");

  const Result<FunctionAddress> missing = library.resolve("ShowDllForm");
  EXPECT_EQ(missing.status().code(), error::kProcNotFound);
  EXPECT_TRUE(missing.status().detail().contains(QStringLiteral("ShowDllForm")));
  EXPECT_EQ(resolveFunction<AddFunction>(library, "tallimoor_test_missing"), nullptr);
  EXPECT_EQ(library.resolve("").status().code(), error::kInvalidParameter);
  EXPECT_EQ(library.resolve(nullptr).status().code(), error::kInvalidParameter);

  EXPECT_TRUE(library.unload().ok());
  EXPECT_TRUE(library.unload().ok());
  EXPECT_EQ(library.resolve("tallimoor_test_add").status().code(), error::kInvalidParameter);

  // Loaded again after the unload, it works again.
  Result<std::unique_ptr<Library>> again = loader->load(kModule);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(resolveFunction<AddFunction>(*again.value(), "tallimoor_test_add")(1, 2), 3);
}

TEST(LibraryLoaderTest, FailuresCarryTheNumbersTheShellExpects) {
  QTemporaryDir dir;
  auto loader = createLibraryLoader();

  // Not there: 1157, the number the shell tells apart.
  const Result<std::unique_ptr<Library>> missing = loader->load(dir.filePath(QStringLiteral("kq61.so")));
  EXPECT_EQ(missing.status().code(), error::kDllNotFound);
  EXPECT_EQ(missing.status().code(), 1157);
  EXPECT_TRUE(missing.status().detail().contains(QStringLiteral("kq61.so")));

  // Relative names are never looked for, even where a file of that name is.
  const QString moduleName = QFileInfo(kModule).fileName();
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QFileInfo(kModule).absolutePath()));
  for (const QString& relative : {moduleName, QStringLiteral("./") + moduleName, QString()}) {
    EXPECT_EQ(loader->load(relative).status().code(), error::kBadPathName) << relative.toStdString();
  }
  QDir::setCurrent(previous);

  // There, but not a library.
  const QString junk = dir.filePath(QStringLiteral("junk.so"));
  {
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a shared object\n");
  }
  const Result<std::unique_ptr<Library>> bad = loader->load(junk);
  EXPECT_EQ(bad.status().code(), error::kBadExeFormat);
  EXPECT_FALSE(bad.status().detail().isEmpty());

  // A folder.
  EXPECT_EQ(loader->load(dir.path()).status().code(), error::kAccessDenied);
}

TEST(LibraryLoaderTest, LibraryThatCannotRunFailsAtLoad) {
  auto loader = createLibraryLoader();
  const Result<std::unique_ptr<Library>> loaded = loader->load(QStringLiteral(OS_TEST_UNRESOLVED));
  EXPECT_EQ(loaded.status().code(), error::kBadExeFormat);
  EXPECT_TRUE(loaded.status().detail().contains(QStringLiteral("tallimoor_function_nobody_defines")))
      << loaded.status().detail().toStdString();
}

int scriptedEntry(int a, int b) {
  return a * b;
}

TEST(RecordingLibraryLoaderTest, AnswersAsScriptedAndRecordsEveryCall) {
  RecordingLibraryLoader loader;
  loader.addLibrary(QStringLiteral("/opt/bin/vd87.so"),
                    {{QStringLiteral("ShowDllForm"), reinterpret_cast<FunctionAddress>(&scriptedEntry)}});
  loader.failLoad(QStringLiteral("/opt/bin/bad.so"), Status(error::kBadExeFormat, QStringLiteral("scripted")));

  EXPECT_EQ(loader.load(QStringLiteral("/opt/bin/kq61.so")).status().code(), error::kDllNotFound);
  EXPECT_EQ(loader.load(QStringLiteral("/opt/bin/bad.so")).status().code(), error::kBadExeFormat);
  EXPECT_EQ(loader.load(QStringLiteral("vd87.so")).status().code(), error::kBadPathName);
  {
    Result<std::unique_ptr<Library>> loaded = loader.load(QStringLiteral("/opt/bin/vd87.so"));
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loader.loadedCount(), 1);
    EXPECT_EQ(resolveFunction<AddFunction>(*loaded.value(), "ShowDllForm")(6, 7), 42);
    EXPECT_EQ(loaded.value()->resolve("Other").status().code(), error::kProcNotFound);
    // Going away unloads, as the real loader does.
  }
  EXPECT_EQ(loader.loadedCount(), 0);
  EXPECT_EQ(loader.calls(),
            (QStringList{QStringLiteral("load /opt/bin/kq61.so"), QStringLiteral("load /opt/bin/bad.so"),
                         QStringLiteral("load vd87.so"), QStringLiteral("load /opt/bin/vd87.so"),
                         QStringLiteral("resolve /opt/bin/vd87.so ShowDllForm"),
                         QStringLiteral("resolve /opt/bin/vd87.so Other"), QStringLiteral("unload /opt/bin/vd87.so")}));
}

}  // namespace
}  // namespace os
