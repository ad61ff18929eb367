// The version record that tallimoor_set_version() compiles into a target and
// readFileVersion() looks for. 32 bytes, anywhere in the file:
//
//   OFFSET  SIZE  DESCRIPTION
//        0    16  marker: 89 'T' 'L' 'M' 'R' '-' 'V' 'E' 'R' 'S' 'I' 'O' 'N' 0D 0A 1A
//       16     8  major, minor, release, build: 16 bits each, little-endian
//       24     8  the same four numbers with every bit inverted
//
// The inverted copy is the check: the reader's own copy of the marker, or the
// marker met by chance in other data, is followed by bytes that do not pass
// it, so the reader goes on scanning. The first record that passes counts.
//
// The generated source (file_version_record.cpp.in) writes the same bytes;
// the tests read back records built by CMake to keep the two in step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "os/file_version.h"

namespace os {

inline constexpr size_t kVersionRecordSize = 32;
inline constexpr size_t kVersionMarkerSize = 16;
inline constexpr std::array<unsigned char, kVersionMarkerSize> kVersionMarker = {
    0x89, 'T', 'L', 'M', 'R', '-', 'V', 'E', 'R', 'S', 'I', 'O', 'N', 0x0D, 0x0A, 0x1A};

// Size of the pieces the file is read in.
inline constexpr int64_t kVersionScanPiece = 1024 * 1024;

std::array<unsigned char, kVersionRecordSize> encodeVersionRecord(const FileVersion& version);

// The version of the record at the start of `bytes`, when one is there whole and passes the check.
std::optional<FileVersion> decodeVersionRecord(std::string_view bytes);

}  // namespace os
