// The header of Paradox table files (.DB data, .PX primary index).
//
// Header, all integers little-endian:
//
//   OFFSET SIZE DESCRIPTION
//   0x00   2    record size in bytes
//   0x02   2    header size in bytes; block 1 starts right after it
//   0x04   1    file type: 0 keyed .DB, 1 .PX, 2 unkeyed .DB, 3-8 secondary indexes
//   0x05   1    block size in KiB (1, 2, 3, 4; level 7 also 16, 32)
//   0x06   4    number of records (.PX: number of index entries)
//   0x0A   2    blocks in use
//   0x0C   2    blocks in the file
//   0x0E   2    first data block of the chain (0 when empty)
//   0x10   2    last data block of the chain (0 when empty)
//   0x12   2    unknown (0x0004 on tables seen)
//   0x14   1    modified flag
//   0x15   1    index field number
//   0x1E   2    .PX: root block of the index
//   0x20   1    .PX: number of index levels
//   0x21   2    number of fields
//   0x23   2    number of key fields (.DB)
//   0x25   4    encryption (0 or 0xFF00FF00 = none)
//   0x29   1    sort order id
//   0x2A   1    modified flag 2
//   0x2D   1    change count 1
//   0x2E   1    change count 2
//   0x30   4    (memory pointer, meaningless on disk)
//   0x34   4    (memory pointer, meaningless on disk)
//   0x38   1    write-protected
//   0x39   1    file version: 3 = 3.0, 4 = 3.5, 5..9 = 4.x, 10..11 = 5.x, 12 = 7.x
//   0x3A   2    maximum blocks (as blocks in use)
//   0x3D   1    auxiliary passwords
//   0x3E   2    0x0F1F
//   0x40   8    encryption info pointers
//   0x49   4    next autoincrement value (last value given)
//   0x4D   2    first free block
//   0x4F   1    index update required
//   0x51   2    real header size (bytes actually used)
//   0x55   1    referential integrity
//   0x56   1    0x20 on level 7 tables
// Extension of data files of version 4 and later (file types 0, 2, 3, 5, 6, 8):
//   0x58   2    file version again, with 0x0100 set
//   0x5A   2    same
//   0x5C   4    encryption 2
//   0x60   4    time of the last update (DOS date/time)
//   0x64   2    highest field id (fields + 1)
//   0x66   2    unknown
//   0x68   2    sometimes the number of fields
//   0x6A   2    DOS code page of the text
//   0x6C   4    unknown (01 01 ...)
//   0x70   2    change count 4
//   0x72   6    zero
// Then (at 0x78 with the extension, else 0x58):
//   2 * fields  field descriptors: type byte, size byte
//   4           pointer to the table name (meaningless)
//   4 * fields  pointers to the field names (data files only; meaningless)
//   79 or 261   table name, NUL padded (261 from version 7 on)
//   ...         field names, each NUL-terminated (data files only)
//   2 * fields  field numbers 1..n (data files of version 4 and later)
//   ...         sort order name, NUL-terminated (same condition), e.g. "ascii"
// The rest of the header is zero.
//
// A data block (block n starts at header size + (n - 1) * block size):
//   0x00   2    next block of the chain (0 = last)
//   0x02   2    previous block (0 = first)
//   0x04   2    signed: offset of the last record = (records - 1) * record size;
//               -record size when the block holds none
//   0x06   ...  records, back to back
//
// A block of a .PX has the same three words, then entries of record size
// bytes: the key fields of the first record below the entry, then
//   2    the block below: a data block at the lowest level, an index block
//        above it; big-endian with the top bit flipped, as a short field,
//        but unsigned, since block numbers run to 65535
//   2    the records below the entry, the same way but signed; 32767 when
//        there are more
//   2    (unused)
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/value.h"

namespace pdx::detail {

inline constexpr size_t kBlockHeaderSize = 6;
inline constexpr uint32_t kMaxBlockNumber = 0xFFFF;

enum FileType : uint8_t {
  kKeyedDb = 0,
  kPrimaryIndex = 1,
  kUnkeyedDb = 2,
};

// Offsets of the header fields that the engine writes back.
namespace off {
inline constexpr size_t kRecordSize = 0x00;
inline constexpr size_t kHeaderSize = 0x02;
inline constexpr size_t kFileType = 0x04;
inline constexpr size_t kBlockSizeKb = 0x05;
inline constexpr size_t kNumRecords = 0x06;
inline constexpr size_t kUsedBlocks = 0x0A;
inline constexpr size_t kFileBlocks = 0x0C;
inline constexpr size_t kFirstBlock = 0x0E;
inline constexpr size_t kLastBlock = 0x10;
inline constexpr size_t kModified = 0x14;
inline constexpr size_t kIndexRoot = 0x1E;
inline constexpr size_t kIndexLevels = 0x20;
inline constexpr size_t kNumFields = 0x21;
inline constexpr size_t kKeyFields = 0x23;
inline constexpr size_t kEncryption = 0x25;
inline constexpr size_t kSortOrder = 0x29;
inline constexpr size_t kChangeCount1 = 0x2D;
inline constexpr size_t kChangeCount2 = 0x2E;
inline constexpr size_t kFileVersion = 0x39;
inline constexpr size_t kMaxBlocks = 0x3A;
inline constexpr size_t kAutoInc = 0x49;
inline constexpr size_t kFirstFree = 0x4D;
inline constexpr size_t kRealHeaderSize = 0x51;
inline constexpr size_t kUpdateTime = 0x60;
inline constexpr size_t kCodePage = 0x6A;
inline constexpr size_t kChangeCount4 = 0x70;
}  // namespace off

inline uint16_t getU16(const char* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}
inline uint32_t getU32(const char* p) {
  return static_cast<uint32_t>(getU16(p)) | (static_cast<uint32_t>(getU16(p + 2)) << 16);
}
inline void putU16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>(v >> 8);
}
inline void putU32(char* p, uint32_t v) {
  putU16(p, static_cast<uint16_t>(v & 0xFFFF));
  putU16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline uint64_t getU64(const char* p) { return getU32(p) | (uint64_t{getU32(p + 4)} << 32); }
inline void putU64(char* p, uint64_t v) {
  putU32(p, static_cast<uint32_t>(v));
  putU32(p + 4, static_cast<uint32_t>(v >> 32));
}

// The block number of an index entry, at `p` (see above).
inline uint16_t getIndexBlock(const char* p) {
  return static_cast<uint16_t>(((static_cast<uint8_t>(p[0]) << 8) | static_cast<uint8_t>(p[1])) ^ 0x8000u);
}
// The record count of an index entry, at `p`.
inline int getIndexCount(const char* p) { return static_cast<int16_t>(getIndexBlock(p)); }

struct Header {
  uint16_t recordSize = 0;
  uint16_t headerSize = 0;
  uint8_t fileType = 0;
  uint32_t blockSize = 0;
  uint32_t numRecords = 0;
  uint16_t usedBlocks = 0;
  uint16_t fileBlocks = 0;
  uint16_t firstBlock = 0;
  uint16_t lastBlock = 0;
  uint16_t indexRoot = 0;
  uint8_t indexLevels = 0;
  uint16_t keyFields = 0;
  uint8_t sortOrder = 0;
  uint8_t fileVersion = 0;  // raw byte at 0x39
  int level = 0;            // 30, 35, 40, 50, 70
  uint32_t autoInc = 0;
  bool encrypted = false;
  int codePage = 0;  // 0 when the header names none
  std::vector<FieldDef> fields;
  std::string tableName;
  std::string sortOrderName;
};

// Level from the version byte (30, 35, 40, 50, 70), or 0 when unknown.
int levelFromVersion(uint8_t fileVersion);

// Parses the header of a .DB or .PX. `raw` holds at least the first
// min(file size, header size) bytes. Checks that the header's geometry adds
// up (header, block, record and file sizes; block and record counts; the
// ends of the block chain) and that every count and size it relies on lies
// within `fileSize`; kHeaderCorrupt (naming `path`) when they do not hold.
Result<Header> parseHeader(std::string_view raw, uint64_t fileSize, const std::string& path);

// Builds the header block of a new, empty level-7 table. `fields` must be valid.
std::string buildDataHeader(const std::vector<FieldDef>& fields, int keyFields, int codePage,
                            uint32_t blockSize, std::string_view tableName);
// Builds the header of a new, empty level-7 primary index for `keyFields`.
std::string buildIndexHeader(const std::vector<FieldDef>& keyFields, uint32_t blockSize,
                             std::string_view tableName, uint8_t sortOrder);

// Checks a new table's definition: names, sizes, record size within limits,
// key fields of keyable types. kInvalidParameter with the reason.
Status validateDefinition(const std::vector<FieldDef>& fields, int keyFields, uint32_t blockSize);

}  // namespace pdx::detail
