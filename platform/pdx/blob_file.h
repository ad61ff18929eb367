// The memo/blob file (.MB) of a table: contents of memo, formatted memo,
// blob, graphic and OLE fields that do not fit in the record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdx/env.h"
#include "pdx/status.h"

namespace pdx::detail {

// The pointer kept in the last 10 bytes of a memo/blob field in the record.
struct BlobRef {
  uint32_t offset = 0;    // file offset of the block, low byte = entry index (0xFF: whole block)
  uint32_t length = 0;    // length of the contents in bytes
  uint16_t modifier = 0;  // modification number
  bool operator==(const BlobRef&) const = default;
};

// A graphic field's picture lies in the .MB behind a prefix of its own:
// 01 00 00 01, then the picture's length (u32, little-endian).
inline constexpr size_t kGraphicPrefix = 8;
inline bool isStoredPicture(std::string_view contents) {
  if (contents.size() < kGraphicPrefix || contents.substr(0, 4) != std::string_view("\x01\x00\x00\x01", 4)) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(contents.data() + 4);
  const uint32_t length = p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
  return length == contents.size() - kGraphicPrefix;
}

// Reads / writes the 10-byte in-record pointer (little-endian fields).
BlobRef decodeBlobRef(const char* tail10);
void encodeBlobRef(const BlobRef& ref, char* tail10);

class BlobFile {
 public:
  virtual ~BlobFile() = default;
  // Opens an existing .MB. kBlobFileMissing when absent, kMemoCorrupt when its
  // header is not that of a memo/blob file.
  static Result<std::unique_ptr<BlobFile>> open(Env& env, const std::string& path, bool writable);
  // Creates a new, empty .MB (its header block only), replacing any file there.
  static Result<std::unique_ptr<BlobFile>> create(Env& env, const std::string& path);

  // Contents the pointer names. kMemoCorrupt when the pointer does not lead
  // to a blob of that length and modifier, or the file is damaged there.
  virtual Result<std::string> read(const BlobRef& ref) = 0;
  // Stores contents and returns the pointer to keep in the record.
  virtual Result<BlobRef> write(std::string_view data) = 0;
  // Gives the space of a blob back for reuse.
  virtual Status release(const BlobRef& ref) = 0;
  // Checks the pointer as read() would, without returning the contents.
  virtual Status checkRef(const BlobRef& ref) = 0;
  // Drops every blob: the file keeps its header block only.
  virtual Status clear() = 0;
  virtual Status sync() = 0;
  // Forgets anything cached from the file (another process may have written).
  virtual void invalidate() = 0;
};

}  // namespace pdx::detail
