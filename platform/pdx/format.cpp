#include "format.h"

#include <algorithm>

#include "ascii.h"
#include "pdx/echo.h"

namespace pdx::detail {
namespace {

constexpr size_t kBaseHeader = 0x58;
constexpr size_t kExtendedHeader = 0x78;
constexpr size_t kMaxFieldName = 25;

Status corrupt(const std::string& path, const std::string& what) {
  return Status(code::kHeaderCorrupt, "damaged table header in " + path + ": " + what);
}

bool hasExtension(uint8_t fileVersion, uint8_t fileType) {
  if (fileVersion < 5) return false;
  return fileType == 0 || fileType == 2 || fileType == 3 || fileType == 5 || fileType == 6 ||
         fileType == 8;
}

bool validBlockSizeKb(uint8_t kb) { return kb == 1 || kb == 2 || kb == 3 || kb == 4 || kb == 8 || kb == 16 || kb == 32; }

}  // namespace

int levelFromVersion(uint8_t v) {
  if (v == 3) return 30;
  if (v == 4) return 35;
  if (v >= 5 && v <= 9) return 40;
  if (v == 10 || v == 11) return 50;
  if (v == 12) return 70;
  return 0;
}

Result<Header> parseHeader(std::string_view raw, uint64_t fileSize, const std::string& path) {
  if (raw.size() < kBaseHeader) return corrupt(path, "file shorter than a header");
  const char* p = raw.data();
  Header h;
  h.recordSize = getU16(p + off::kRecordSize);
  h.headerSize = getU16(p + off::kHeaderSize);
  h.fileType = static_cast<uint8_t>(p[off::kFileType]);
  const uint8_t kb = static_cast<uint8_t>(p[off::kBlockSizeKb]);
  h.numRecords = getU32(p + off::kNumRecords);
  h.usedBlocks = getU16(p + off::kUsedBlocks);
  h.fileBlocks = getU16(p + off::kFileBlocks);
  h.firstBlock = getU16(p + off::kFirstBlock);
  h.lastBlock = getU16(p + off::kLastBlock);
  h.indexRoot = getU16(p + off::kIndexRoot);
  h.indexLevels = static_cast<uint8_t>(p[off::kIndexLevels]);
  const uint16_t numFields = getU16(p + off::kNumFields);
  h.keyFields = getU16(p + off::kKeyFields);
  h.sortOrder = static_cast<uint8_t>(p[off::kSortOrder]);
  h.fileVersion = static_cast<uint8_t>(p[off::kFileVersion]);
  h.autoInc = getU32(p + off::kAutoInc);

  h.level = levelFromVersion(h.fileVersion);
  if (h.level == 0) return corrupt(path, "unknown file version " + std::to_string(h.fileVersion));
  if (h.fileType > 8) return corrupt(path, "unknown file type " + std::to_string(h.fileType));
  if (!validBlockSizeKb(kb)) return corrupt(path, "impossible block size");
  h.blockSize = kb * 1024u;
  if (h.recordSize == 0 || h.recordSize + kBlockHeaderSize > h.blockSize)
    return corrupt(path, "impossible record size " + std::to_string(h.recordSize));
  if (h.headerSize < kBaseHeader) return corrupt(path, "impossible header size");
  if (raw.size() < std::min<uint64_t>(h.headerSize, fileSize))
    return corrupt(path, "header cut short");
  if (fileSize < h.headerSize) return corrupt(path, "file shorter than its header");
  if (numFields == 0 || numFields > 255) return corrupt(path, "impossible number of fields");
  if (h.fileType != kPrimaryIndex && h.keyFields > numFields)
    return corrupt(path, "more key fields than fields");
  // The original engine may leave the unused tail of the last block unwritten,
  // so only the start of the last block has to be in the file; readers check
  // that the records a block claims lie within it.
  if (h.fileBlocks > 0 &&
      uint64_t{h.headerSize} + uint64_t{h.fileBlocks - 1u} * h.blockSize + kBlockHeaderSize > fileSize)
    return corrupt(path, "file is shorter than its blocks (truncated)");
  // Blocks are written in whole KiB, after the header: a header size that
  // does not leave the rest of the file in whole KiB is not the file's.
  if ((fileSize - h.headerSize) % 1024 != 0)
    return corrupt(path, "header size " + std::to_string(h.headerSize) + " does not fit a file of " +
                             std::to_string(fileSize) + " bytes");
  const uint64_t perBlock = (h.blockSize - kBlockHeaderSize) / h.recordSize;
  if (h.numRecords > uint64_t{h.fileBlocks} * perBlock)
    return corrupt(path, "more records than the blocks can hold");
  if (h.usedBlocks > h.fileBlocks) return corrupt(path, "more blocks in use than in the file");
  if (h.firstBlock > h.fileBlocks || h.lastBlock > h.fileBlocks)
    return corrupt(path, "block chain points outside the file");
  if ((h.firstBlock == 0) != (h.lastBlock == 0) || (h.fileType != kPrimaryIndex && h.numRecords > 0 && h.firstBlock == 0))
    return corrupt(path, "block chain does not agree with the record count");

  const uint32_t enc1 = getU32(p + off::kEncryption);
  h.encrypted = enc1 != 0 && enc1 != 0xFF00FF00u;

  const bool ext = hasExtension(h.fileVersion, h.fileType);
  size_t pos = ext ? kExtendedHeader : kBaseHeader;
  if (ext) {
    if (h.headerSize < kExtendedHeader) return corrupt(path, "header too small for its version");
    if (getU32(p + 0x5C) != 0) h.encrypted = true;
    h.codePage = getU16(p + off::kCodePage);
  }
  const size_t limit = std::min<size_t>(raw.size(), h.headerSize);
  auto need = [&](size_t n) { return pos + n <= limit; };

  if (!need(2u * numFields)) return corrupt(path, "field descriptors run past the header");
  uint32_t total = 0;
  for (uint16_t i = 0; i < numFields; ++i) {
    const uint8_t type = static_cast<uint8_t>(p[pos + 2u * i]);
    const uint8_t size = static_cast<uint8_t>(p[pos + 2u * i + 1]);
    if (!isKnownType(type)) return corrupt(path, "unknown field type " + std::to_string(type));
    FieldDef f;
    f.type = static_cast<FieldType>(type);
    int stored = 0;
    if (f.type == FieldType::kBcd) {  // the size byte holds the decimal places
      if (size > 32) return corrupt(path, "BCD field with more than 32 decimals");
      f.size = size;
      stored = 17;
    } else if (isBlobType(f.type)) {  // the size byte counts the 10-byte pointer
      if (size < 10) return corrupt(path, "memo field shorter than its pointer");
      f.size = size - 10;
      stored = size;
    } else if (f.type == FieldType::kAlpha || f.type == FieldType::kBytes) {
      if (size == 0) return corrupt(path, "field of size 0");
      f.size = size;
      stored = size;
    } else {
      stored = storedSize(f.type, 0);
      if (size != stored) return corrupt(path, "field " + std::to_string(i + 1) + " has an impossible size");
    }
    total += static_cast<uint32_t>(stored);
    h.fields.push_back(std::move(f));
  }
  const uint32_t expected = h.fileType == kPrimaryIndex ? total + 6 : total;
  if (expected != h.recordSize) return corrupt(path, "field sizes do not add up to the record size");
  pos += 2u * numFields;

  const bool dataFile = h.fileType == kKeyedDb || h.fileType == kUnkeyedDb;
  pos += 4;  // table name pointer
  if (dataFile) pos += 4u * numFields;
  const size_t nameLen = h.fileVersion >= 12 ? 261 : 79;
  if (need(nameLen)) {
    const char* n = p + pos;
    h.tableName.assign(n, strnlen(n, nameLen));
    pos += nameLen;
  } else if (dataFile) {
    return corrupt(path, "table name runs past the header");
  }
  if (dataFile) {
    for (uint16_t i = 0; i < numFields; ++i) {
      if (pos >= limit) return corrupt(path, "field names run past the header");
      const size_t len = strnlen(p + pos, limit - pos);
      if (pos + len >= limit) return corrupt(path, "field name not terminated");
      h.fields[i].name.assign(p + pos, len);
      pos += len + 1;
    }
    if (ext && need(2u * numFields)) {
      pos += 2u * numFields;
      if (pos < limit) h.sortOrderName.assign(p + pos, strnlen(p + pos, limit - pos));
    }
  }
  return h;
}

Status validateDefinition(const std::vector<FieldDef>& fields, int keyFields, uint32_t blockSize) {
  auto bad = [](const std::string& why) { return Status(code::kInvalidParameter, why); };
  if (fields.empty()) return bad("a table needs at least one field");
  if (fields.size() > 255) return bad("a table has at most 255 fields");
  if (keyFields < 0 || keyFields > static_cast<int>(fields.size())) return bad("more key fields than fields");
  if (blockSize != 1024 && blockSize != 2048 && blockSize != 4096 && blockSize != 16384 && blockSize != 32768)
    return bad("block size must be 1024, 2048, 4096, 16384 or 32768");
  uint32_t record = 0, key = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDef& f = fields[i];
    const std::string which = "field " + quote(f.name);
    size_t chars = 0;
    for (unsigned char c : f.name) {
      if (c < 0x20 || c == 0x7F) return bad(which + ": names hold no control characters");
      if ((c & 0xC0) != 0x80) ++chars;  // count characters, not UTF-8 bytes
    }
    if (chars == 0 || chars > kMaxFieldName) return bad(which + ": names have 1 to 25 characters");
    // A blank looks like no name at all, and a name told from another only
    // by a space before or after it cannot be typed back.
    if (f.name.front() == ' ' || f.name.back() == ' ')
      return bad(which + ": names neither begin nor end with a space");
    for (size_t j = 0; j < i; ++j)
      if (equalsIgnoreCase(fields[j].name, f.name)) return bad(which + " is defined twice");
    switch (f.type) {
      case FieldType::kAlpha:
      case FieldType::kBytes:
        if (f.size < 1 || f.size > 255) return bad(which + ": size must be 1 to 255");
        break;
      case FieldType::kBcd:
        if (f.size < 0 || f.size > 32) return bad(which + ": BCD decimals must be 0 to 32");
        break;
      default:
        if (isBlobType(f.type) && (f.size < 0 || f.size > 240))
          return bad(which + ": memo and blob sizes must be 0 to 240");
        break;
    }
    const bool keyable = !isBlobType(f.type) && f.type != FieldType::kBytes;
    if (static_cast<int>(i) < keyFields && !keyable) return bad(which + ": this type cannot be a key field");
    const int stored = storedSize(f.type, f.size);
    record += static_cast<uint32_t>(stored);
    if (static_cast<int>(i) < keyFields) key += static_cast<uint32_t>(stored);
  }
  if (record + kBlockHeaderSize > blockSize || record > 0xFFFF)
    return bad("record of " + std::to_string(record) + " bytes does not fit a block of " + std::to_string(blockSize));
  if (keyFields > 0 && (key + 6) * 3 + kBlockHeaderSize > blockSize)
    return bad("key too long for the block size");
  return {};
}

namespace {

void putCommon(std::string& h, uint16_t recordSize, uint16_t headerSize, uint8_t fileType, uint32_t blockSize,
               uint16_t numFields, uint8_t sortOrder) {
  char* p = h.data();
  putU16(p + off::kRecordSize, recordSize);
  putU16(p + off::kHeaderSize, headerSize);
  p[off::kFileType] = static_cast<char>(fileType);
  p[off::kBlockSizeKb] = static_cast<char>(blockSize / 1024);
  putU16(p + 0x12, 4);
  putU16(p + off::kNumFields, numFields);
  putU32(p + off::kEncryption, 0xFF00FF00u);
  p[off::kSortOrder] = static_cast<char>(sortOrder);
  p[off::kChangeCount1] = 1;
  p[off::kChangeCount2] = 1;
  p[off::kFileVersion] = 12;
  putU16(p + 0x3E, 0x0F1F);
  p[0x56] = 0x20;
}

// Header sizes are whole multiples of 2 KiB, as the original engine writes them.
uint16_t roundHeader(size_t used) { return static_cast<uint16_t>((used + 0x7FF) & ~size_t{0x7FF}); }

}  // namespace

std::string buildDataHeader(const std::vector<FieldDef>& fields, int keyFields, int codePage, uint32_t blockSize,
                            std::string_view tableName) {
  const uint16_t n = static_cast<uint16_t>(fields.size());
  std::string tail;  // everything from the field descriptors on
  uint32_t recordSize = 0;
  for (const FieldDef& f : fields) {
    const int stored = storedSize(f.type, f.size);
    recordSize += static_cast<uint32_t>(stored);
    tail += static_cast<char>(f.type);
    tail += static_cast<char>(f.type == FieldType::kBcd ? f.size : stored);
  }
  tail.append(4 + 4u * n, '\0');  // name pointers: meaningless on disk
  std::string name(tableName.substr(0, 260));
  name.resize(261, '\0');
  tail += name;
  for (const FieldDef& f : fields) {
    tail += f.name;
    tail += '\0';
  }
  for (uint16_t i = 1; i <= n; ++i) {
    char b[2];
    putU16(b, i);
    tail.append(b, 2);
  }
  tail += "ascii";
  tail += '\0';

  const size_t used = kExtendedHeader + tail.size();
  const uint16_t headerSize = roundHeader(used);
  std::string h(headerSize, '\0');
  putCommon(h, static_cast<uint16_t>(recordSize), headerSize, keyFields > 0 ? kKeyedDb : kUnkeyedDb, blockSize, n, 0);
  char* p = h.data();
  putU16(p + off::kKeyFields, static_cast<uint16_t>(keyFields));
  putU16(p + off::kRealHeaderSize, static_cast<uint16_t>(used));
  putU16(p + 0x58, 0x010C);
  putU16(p + 0x5A, 0x010C);
  putU16(p + 0x64, static_cast<uint16_t>(n + 1));
  putU16(p + off::kCodePage, static_cast<uint16_t>(codePage));
  p[0x6C] = 1;
  p[0x6D] = 1;
  putU16(p + off::kChangeCount4, 1);
  std::copy(tail.begin(), tail.end(), h.begin() + kExtendedHeader);
  return h;
}

std::string buildIndexHeader(const std::vector<FieldDef>& keyFields, uint32_t blockSize, std::string_view tableName,
                             uint8_t sortOrder) {
  const uint16_t n = static_cast<uint16_t>(keyFields.size());
  std::string tail;
  uint32_t recordSize = 6;
  for (const FieldDef& f : keyFields) {
    const int stored = storedSize(f.type, f.size);
    recordSize += static_cast<uint32_t>(stored);
    tail += static_cast<char>(f.type);
    tail += static_cast<char>(f.type == FieldType::kBcd ? f.size : stored);
  }
  tail.append(4, '\0');
  std::string name(tableName.substr(0, 260));
  name.resize(261, '\0');
  tail += name;
  const size_t used = kBaseHeader + tail.size();
  const uint16_t headerSize = roundHeader(used);
  std::string h(headerSize, '\0');
  putCommon(h, static_cast<uint16_t>(recordSize), headerSize, kPrimaryIndex, blockSize, n, sortOrder);
  putU32(h.data() + off::kEncryption, 0);  // index files carry 0 here, not the data files' marker
  putU16(h.data() + off::kRealHeaderSize, static_cast<uint16_t>(used));
  std::copy(tail.begin(), tail.end(), h.begin() + kBaseHeader);
  return h;
}

}  // namespace pdx::detail
