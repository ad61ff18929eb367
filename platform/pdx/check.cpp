// Structural check of a table, independent of the cursor code: it walks the
// files itself so that a fault in the engine's own view cannot hide a fault
// on disk.
#include <algorithm>
#include <cstring>
#include <functional>

#include "file_names.h"
#include "ascii.h"
#include "blob_file.h"
#include "codepage.h"
#include "format.h"
#include "pdx/check.h"
#include "pdx/echo.h"
#include "record_codec.h"

namespace pdx {
namespace {

using detail::getU16;

// The companion `ext` of the table, "" when it has none; two files that could
// both be it are a fault.
std::string companion(Env* env, const std::string& dbPath, const std::string& ext, std::vector<std::string>& faults) {
  auto found = detail::findCompanion(env, dbPath, ext);
  if (found.ok()) return *found;
  faults.push_back(dbPath + ": " + found.status().message());
  return {};
}

// Decodes every field of a record as a reader would, memo and blob contents
// included; a field no reader can decode is a fault naming it.
void checkCells(const detail::RecordLayout& layout, const char* rec, int codePage, detail::BlobFile* mb,
                const std::string& recNo, const std::function<void(const std::string&)>& fault) {
  for (const auto& f : layout.fields) {
    if (!f.inMemoFile) {
      auto v = detail::decodeField(f, rec, codePage);
      if (!v.ok()) fault(recNo + ", " + v.status().message());  // which names the field
      continue;
    }
    const std::string field = recNo + ", field " + quote(detail::toUtf8(f.def.name, codePage)) + ": ";
    const detail::BlobRef ref = detail::decodeBlobRef(rec + f.offset + f.def.size);
    const bool memo = f.def.type == FieldType::kMemo || f.def.type == FieldType::kFmtMemo;
    if (ref.length == 0 || (ref.length <= static_cast<uint32_t>(f.def.size) && (ref.offset == 0 || memo)))
      continue;  // blank, or short contents kept in the record
    if (!mb) continue;  // the missing memo file is a fault of its own
    auto contents = mb->read(ref);
    if (!contents.ok()) fault(field + contents.status().message());
    else if (f.def.type == FieldType::kGraphic && !detail::isStoredPicture(*contents))
      fault(field + "the memo file does not hold a picture in the stored form there");
  }
}

struct Block {
  uint16_t number;
  int count;
  std::string firstKey;
};

// Checks the primary index against the data blocks found by the chain walk.
void checkIndex(Env* env, const std::string& pxPath, const std::vector<Block>& chain,
                size_t keySize, std::vector<std::string>& faults) {
  auto fault = [&](const std::string& what) { faults.push_back(pxPath + ": " + what); };
  auto file = env->open(pxPath, Env::OpenMode::kRead);
  if (!file.ok()) return fault("cannot open: " + file.status().message());
  auto size = (*file)->size();
  if (!size.ok()) return fault(size.status().message());
  if (*size > (uint64_t{256} << 20)) return fault("index file is implausibly large");
  std::string all(static_cast<size_t>(*size), '\0');
  auto got = (*file)->read(0, all.size(), all.data());
  if (!got.ok() || *got != all.size()) return fault("cannot read the index");
  auto h = detail::parseHeader(all, all.size(), pxPath);
  if (!h.ok()) return fault(h.status().message());
  all.resize(h->headerSize + size_t{h->fileBlocks} * h->blockSize, '\0');  // an unwritten tail reads as zeros
  if (h->fileType != detail::kPrimaryIndex) return fault("not a primary index file");
  const size_t recSize = keySize + 6;
  if (h->recordSize != recSize) return fault("index entries do not match the table's key");
  if (chain.empty() && h->fileBlocks == 0) return;
  if (h->indexRoot == 0 || h->indexRoot > h->fileBlocks) return fault("root block out of range");
  if (h->indexLevels == 0 || h->indexLevels > 8) return fault("impossible number of index levels");
  const int cap = static_cast<int>((h->blockSize - detail::kBlockHeaderSize) / recSize);
  std::vector<bool> visited(size_t{h->fileBlocks} + 1, false);
  std::vector<std::tuple<std::string, int, int>> leaves;  // key, data block, count
  uint64_t entries = 0;
  // Returns the number of records below the block, or -1 after a fault.
  std::function<int64_t(uint32_t, int, std::string&)> walk = [&](uint32_t n, int level, std::string& firstKey) -> int64_t {
    if (n == 0 || n > h->fileBlocks || visited[n]) {
      fault("index block " + std::to_string(n) + " is out of range or reached twice");
      return -1;
    }
    visited[n] = true;
    const char* b = all.data() + h->headerSize + size_t{n - 1} * h->blockSize;
    const int16_t add = static_cast<int16_t>(getU16(b + 4));
    const int count = add < 0 ? 0 : add / static_cast<int>(recSize) + 1;
    if (add >= 0 && (add % static_cast<int>(recSize) != 0 || count > cap)) {
      fault("index block " + std::to_string(n) + " has an impossible entry count");
      return -1;
    }
    int64_t total = 0;
    for (int i = 0; i < count; ++i) {
      const char* e = b + detail::kBlockHeaderSize + size_t(i) * recSize;
      const int child = detail::getIndexBlock(e + keySize), cnt = detail::getIndexCount(e + keySize + 2);
      ++entries;
      std::string key(e, keySize);
      if (i == 0) firstKey = key;
      if (level == 1) {
        leaves.emplace_back(key, child, cnt);
        total += cnt;
      } else {
        std::string childKey;
        const int64_t below = walk(static_cast<uint32_t>(child), level - 1, childKey);
        if (below < 0) return -1;
        if (below != cnt && cnt != 32767)
          fault("index block " + std::to_string(n) + " entry " + std::to_string(i + 1) + " counts " +
                std::to_string(cnt) + " records, the blocks below hold " + std::to_string(below));
        if (childKey != key)
          fault("index block " + std::to_string(n) + " entry " + std::to_string(i + 1) +
                " does not carry the first key of the block below");
        total += below;
      }
    }
    return total;
  };
  std::string rootKey;
  if (walk(h->indexRoot, h->indexLevels, rootKey) < 0) return;
  if (entries != h->numRecords) fault("header counts " + std::to_string(h->numRecords) + " entries, the index holds " + std::to_string(entries));
  size_t j = 0;
  for (size_t i = 0; i < leaves.size(); ++i) {
    const auto& [key, block, count] = leaves[i];
    while (j < chain.size() && chain[j].count == 0 && chain[j].number != block) ++j;
    if (j >= chain.size()) {
      fault("index lists more data blocks than the table has");
      return;
    }
    const Block& b = chain[j++];
    const std::string where = "index entry " + std::to_string(i + 1) + " (data block " + std::to_string(block) + ")";
    if (b.number != block) fault(where + ": the chain has block " + std::to_string(b.number) + " there");
    else if (b.count != count) fault(where + ": counts " + std::to_string(count) + " records, the block holds " + std::to_string(b.count));
    else if (b.count > 0 && b.firstKey != key) fault(where + ": key differs from the block's first record");
  }
  for (; j < chain.size(); ++j)
    if (chain[j].count > 0) fault("data block " + std::to_string(chain[j].number) + " is missing from the index");
}

}  // namespace

Result<CheckReport> checkTable(const std::string& dbPath, Env* env) {
  CheckReport report;
  auto fault = [&](const std::string& what) { report.faults.push_back(dbPath + ": " + what); };
  PDX_ASSIGN_OR_RETURN(auto file, env->open(dbPath, Env::OpenMode::kRead));
  PDX_ASSIGN_OR_RETURN(uint64_t fileSize, file->size());
  std::string raw(static_cast<size_t>(std::min<uint64_t>(fileSize, 0xFFFF)), '\0');
  PDX_ASSIGN_OR_RETURN(size_t got, file->read(0, raw.size(), raw.data()));
  raw.resize(got);
  auto parsed = detail::parseHeader(raw, fileSize, dbPath);
  if (!parsed.ok()) {
    report.faults.push_back(parsed.status().message());
    return report;
  }
  const detail::Header& h = *parsed;
  if (h.fileType != detail::kKeyedDb && h.fileType != detail::kUnkeyedDb) {
    fault("not a table (file type " + std::to_string(h.fileType) + ")");
    return report;
  }
  if (h.encrypted) {
    fault("password-protected table: its contents cannot be checked");
    return report;
  }
  const bool keyed = h.fileType == detail::kKeyedDb && h.keyFields > 0;
  const auto layout = detail::RecordLayout::make(h.fields, keyed ? h.keyFields : 0, h.codePage);
  const size_t rs = h.recordSize;
  const int cap = static_cast<int>((h.blockSize - detail::kBlockHeaderSize) / rs);
  const bool byteOrder = h.sortOrder == 0 || [&] {
    for (int i = 0; i < layout.keyFields; ++i)
      if (layout.fields[size_t(i)].def.type == FieldType::kAlpha) return false;
    return true;
  }();

  // Another table whose name differs from this one's only in case: a name
  // given without regard to case cannot choose between them.
  if (auto names = env->list(detail::dirOf(dbPath)); names.ok())
    for (const auto& rival : detail::caseRivals(*names, detail::nameOf(dbPath)))
      fault("the table " + quote(rival) + " beside it has the same name but for its case: rename or remove one of them");

  std::unique_ptr<detail::BlobFile> mb;
  const bool hasBlobs = std::any_of(h.fields.begin(), h.fields.end(), [](const FieldDef& f) { return isBlobType(f.type); });
  if (hasBlobs) {
    const size_t before = report.faults.size();
    const std::string mbPath = companion(env, dbPath, "mb", report.faults);
    if (mbPath.empty() && report.faults.size() == before) {
      fault("memo file is missing");
    } else {
      auto m = detail::BlobFile::open(*env, mbPath, false);
      if (m.ok()) mb = std::move(m).value();
      else fault(m.status().message());
    }
  }

  std::vector<Block> chain;
  std::vector<bool> seen(size_t{h.fileBlocks} + 1, false);
  std::string block(h.blockSize, '\0');
  std::string prevKey;
  uint64_t total = 0;
  uint16_t number = h.firstBlock, prev = 0;
  while (number != 0) {
    if (number > h.fileBlocks || seen[number]) {
      fault("block chain reaches block " + std::to_string(number) + (number > h.fileBlocks ? ", outside the file" : " twice"));
      break;
    }
    seen[number] = true;
    std::fill(block.begin(), block.end(), '\0');
    auto r = file->read(h.headerSize + uint64_t{number - 1u} * h.blockSize, block.size(), block.data());
    if (!r.ok() || *r < detail::kBlockHeaderSize) {
      fault("block " + std::to_string(number) + " cannot be read");
      break;
    }
    const uint16_t next = getU16(block.data()), back = getU16(block.data() + 2);
    const int16_t add = static_cast<int16_t>(getU16(block.data() + 4));
    if (back != prev) fault("block " + std::to_string(number) + " links back to block " + std::to_string(back) + ", not " + std::to_string(prev));
    const int count = add < 0 ? 0 : add / static_cast<int>(rs) + 1;
    if (add >= 0 && (add % static_cast<int>(rs) != 0 || count > cap)) {
      fault("block " + std::to_string(number) + " has an impossible record count");
      break;
    }
    if (detail::kBlockHeaderSize + size_t(count) * rs > *r) {
      fault("block " + std::to_string(number) + " is cut short by the end of the file");
      break;
    }
    Block info{number, count, {}};
    for (int i = 0; i < count; ++i) {
      const char* rec = block.data() + detail::kBlockHeaderSize + size_t(i) * rs;
      const std::string recNo = "record " + std::to_string(total + static_cast<uint64_t>(i) + 1);
      if (keyed) {
        std::string key(rec, static_cast<size_t>(layout.keySize));
        if (i == 0) info.firstKey = key;
        if (byteOrder && !prevKey.empty() && key <= prevKey)
          fault(recNo + (key == prevKey ? " repeats the key of the record before it" : " is out of key order"));
        prevKey = std::move(key);
      }
      checkCells(layout, rec, h.codePage, mb.get(), recNo, fault);
    }
    total += static_cast<uint64_t>(count);
    chain.push_back(std::move(info));
    prev = number;
    number = next;
  }
  if (!chain.empty() && chain.back().number != h.lastBlock)
    fault("header names block " + std::to_string(h.lastBlock) + " as the last, the chain ends at " + std::to_string(chain.back().number));
  if (total != h.numRecords)
    fault("header counts " + std::to_string(h.numRecords) + " records, the blocks hold " + std::to_string(total));

  if (keyed) {
    const size_t before = report.faults.size();
    const std::string pxPath = companion(env, dbPath, "px", report.faults);
    if (pxPath.empty()) {
      if (report.faults.size() == before) fault("primary index (.PX) is missing");
    } else {
      checkIndex(env, pxPath, chain, static_cast<size_t>(layout.keySize), report.faults);
    }
  }
  return report;
}

}  // namespace pdx
