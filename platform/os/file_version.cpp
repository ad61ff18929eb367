#include "os/file_version.h"

#ifdef __linux__
#include <dlfcn.h>
#include <link.h>
#endif

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <string>

#include "file_version_record.h"

namespace os {

namespace {

void putLittle16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value & 0xFF);
  at[1] = static_cast<unsigned char>(value >> 8);
}

uint16_t getLittle16(const char* at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(at[0]) | (static_cast<unsigned char>(at[1]) << 8));
}

std::string_view markerView() {
  return {reinterpret_cast<const char*>(kVersionMarker.data()), kVersionMarker.size()};
}

class ScanningFileVersionReader : public FileVersionReader {
 public:
  std::optional<FileVersion> read(const QString& path) const override { return readFileVersion(path); }
};

}  // namespace

QString FileVersion::toString() const {
  return QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}

std::array<unsigned char, kVersionRecordSize> encodeVersionRecord(const FileVersion& version) {
  std::array<unsigned char, kVersionRecordSize> record{};
  std::memcpy(record.data(), kVersionMarker.data(), kVersionMarkerSize);
  const uint16_t parts[4] = {version.major, version.minor, version.release, version.build};
  for (size_t i = 0; i < 4; ++i) {
    putLittle16(record.data() + kVersionMarkerSize + 2 * i, parts[i]);
    putLittle16(record.data() + kVersionMarkerSize + 8 + 2 * i, static_cast<uint16_t>(~parts[i]));
  }
  return record;
}

std::optional<FileVersion> decodeVersionRecord(std::string_view bytes) {
  if (bytes.size() < kVersionRecordSize || bytes.substr(0, kVersionMarkerSize) != markerView()) return std::nullopt;
  uint16_t parts[4];
  for (size_t i = 0; i < 4; ++i) {
    parts[i] = getLittle16(bytes.data() + kVersionMarkerSize + 2 * i);
    const uint16_t check = getLittle16(bytes.data() + kVersionMarkerSize + 8 + 2 * i);
    if (static_cast<uint16_t>(~check) != parts[i]) return std::nullopt;
  }
  return FileVersion{parts[0], parts[1], parts[2], parts[3]};
}

std::optional<FileVersion> readFileVersion(const QString& path) {
  // Only regular files: a pipe or a device could block the read or never end.
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isFile()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;

  // `window` holds the tail of the previous piece (a record may straddle two
  // pieces) followed by the new piece.
  std::string window;
  int64_t scanned = 0;
  while (scanned < kMaxVersionScan) {
    const int64_t want = std::min(kVersionScanPiece, kMaxVersionScan - scanned);
    const size_t kept = window.size();
    window.resize(kept + static_cast<size_t>(want));
    const qint64 got = file.read(window.data() + kept, want);
    if (got <= 0) break;
    window.resize(kept + static_cast<size_t>(got));
    scanned += got;

    const std::string_view view(window);
    for (size_t at = view.find(markerView()); at != std::string_view::npos; at = view.find(markerView(), at + 1)) {
      if (std::optional<FileVersion> version = decodeVersionRecord(view.substr(at))) return version;
    }
    // Keep what could still be the start of a record cut off by the piece's end.
    const size_t keep = std::min(window.size(), kVersionRecordSize - 1);
    window.erase(0, window.size() - keep);
  }
  return std::nullopt;
}

std::unique_ptr<FileVersionReader> createFileVersionReader() {
  return std::make_unique<ScanningFileVersionReader>();
}

QString modulePathContaining(const void* address) {
#ifndef __linux__
  // Windows would ask GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)
  // then GetModuleFileNameW; not built.
  (void)address;
  return {};
#else
  if (address == nullptr) return {};
  Dl_info found{};
  link_map* map = nullptr;
  if (dladdr1(address, &found, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return {};
  // The main program has no name of its own in the loader's list (dladdr
  // would give the name it was started by, relative to a directory the
  // process may since have left): ask the kernel for its file instead.
  if (map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') {
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
  }
  return QFileInfo(QFile::decodeName(map->l_name)).absoluteFilePath();
#endif
}

}  // namespace os
