#include "os/file_version.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>

#include "file_version_record.h"
#include "os/library_loader.h"

namespace os {
namespace {

QByteArray recordBytes(const FileVersion& version) {
  const auto record = encodeVersionRecord(version);
  return QByteArray(reinterpret_cast<const char*>(record.data()), static_cast<qsizetype>(record.size()));
}

class FileVersionTest : public ::testing::Test {
 protected:
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    return path;
  }
  QTemporaryDir dir_;
};

TEST_F(FileVersionTest, BuiltLibraryAndExecutableCarryTheirVersions) {
  EXPECT_EQ(readFileVersion(QStringLiteral(OS_TEST_MODULE)), (FileVersion{2, 1, 0, 37}));
  EXPECT_EQ(readFileVersion(QStringLiteral(OS_TEST_MODULE))->toString(), QStringLiteral("2.1.0.37"));

  // This test program: its own file, found from the address of its code.
  const QString self = modulePathContaining(reinterpret_cast<const void*>(&recordBytes));
  EXPECT_EQ(QFileInfo(self).canonicalFilePath(), QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
  EXPECT_EQ(readFileVersion(self), (FileVersion{3, 4, 5, 6}));

  // Nothing compiled in, nothing found; the reader library itself holds the
  // marker it looks for, but no record.
  EXPECT_EQ(readFileVersion(QStringLiteral(OS_TEST_PLAIN)), std::nullopt);
  EXPECT_EQ(readFileVersion(QStringLiteral(OS_LIBRARY)), std::nullopt);
}

TEST_F(FileVersionTest, LoadedLibraryFindsItsOwnFile) {
  auto loader = createLibraryLoader();
  Result<std::unique_ptr<Library>> loaded = loader->load(QStringLiteral(OS_TEST_MODULE));
  ASSERT_TRUE(loaded.ok());
  const Result<FunctionAddress> entry = loaded.value()->resolve("tallimoor_test_add");
  ASSERT_TRUE(entry.ok());
  const QString path = modulePathContaining(reinterpret_cast<const void*>(entry.value()));
  EXPECT_EQ(QFileInfo(path).canonicalFilePath(), QFileInfo(QStringLiteral(OS_TEST_MODULE)).canonicalFilePath());
  EXPECT_EQ(createFileVersionReader()->read(path), (FileVersion{2, 1, 0, 37}));
  EXPECT_EQ(modulePathContaining(nullptr), QString());
}

TEST_F(FileVersionTest, RecordIsFoundWhereverItLies) {
  const QByteArray record = recordBytes({65535, 0, 258, 1});
  const qsizetype piece = static_cast<qsizetype>(kVersionScanPiece);
  // At the start, at the very end, and across the edge between two pieces read.
  for (const qsizetype at : {qsizetype{0}, piece - 16, piece - 1, piece, piece + 100}) {
    QByteArray bytes(at, 'x');
    bytes += record;
    const QString path = write(QStringLiteral("at%1").arg(at), bytes);
    EXPECT_EQ(readFileVersion(path), (FileVersion{65535, 0, 258, 1})) << at;
  }
}

TEST_F(FileVersionTest, DamagedRecordsAreSkippedOrGiveNothing) {
  const QByteArray good = recordBytes({1, 2, 3, 4});
  const QByteArray marker = good.left(static_cast<qsizetype>(kVersionMarkerSize));

  // Every cut-off record.
  for (qsizetype length = 0; length < good.size(); ++length) {
    EXPECT_EQ(readFileVersion(write(QStringLiteral("cut"), QByteArray("abc") + good.left(length))), std::nullopt)
        << length;
  }
  // Each single flipped bit of the numbers or their check.
  for (qsizetype byte = static_cast<qsizetype>(kVersionMarkerSize); byte < good.size(); ++byte) {
    QByteArray flipped = good;
    flipped[byte] = static_cast<char>(flipped[byte] ^ 0x10);
    EXPECT_EQ(readFileVersion(write(QStringLiteral("flip"), flipped)), std::nullopt) << byte;
  }
  // A marker met by chance, or a bad record, does not hide a good one after it.
  const QString later = write(QStringLiteral("later"), marker + marker + QByteArray(40, '\xFF') + good);
  EXPECT_EQ(readFileVersion(later), (FileVersion{1, 2, 3, 4}));
  // Two good records: the first counts.
  EXPECT_EQ(readFileVersion(write(QStringLiteral("two"), recordBytes({9, 9, 9, 9}) + good)), (FileVersion{9, 9, 9, 9}));
}

TEST_F(FileVersionTest, MissingOrSpecialFilesGiveNothingAtOnce) {
  EXPECT_EQ(readFileVersion(dir_.filePath(QStringLiteral("absent"))), std::nullopt);
  EXPECT_EQ(readFileVersion(QString()), std::nullopt);
  EXPECT_EQ(readFileVersion(dir_.path()), std::nullopt);
  EXPECT_EQ(readFileVersion(write(QStringLiteral("empty"), {})), std::nullopt);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(readFileVersion(QStringLiteral("/dev/zero")), std::nullopt);
  EXPECT_EQ(readFileVersion(QStringLiteral("/dev/urandom")), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(FileVersionTest, ScanStopsAtItsBound) {
  const QByteArray record = recordBytes({7, 7, 7, 7});
  const QString path = dir_.filePath(QStringLiteral("big"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  // Just inside the bound: found.
  ASSERT_TRUE(file.seek(kMaxVersionScan - static_cast<qint64>(record.size())));
  file.write(record);
  file.flush();
  EXPECT_EQ(readFileVersion(path), (FileVersion{7, 7, 7, 7}));
  // Straddling it: not read.
  ASSERT_TRUE(file.seek(kMaxVersionScan - static_cast<qint64>(record.size())));
  file.write(QByteArray(record.size(), '\0'));
  ASSERT_TRUE(file.seek(kMaxVersionScan - 4));
  file.write(record);
  file.close();
  EXPECT_EQ(readFileVersion(path), std::nullopt);
}

}  // namespace
}  // namespace os
