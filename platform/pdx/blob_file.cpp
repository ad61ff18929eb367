// The memo/blob file (.MB).
//
// A table X.DB whose fields include memos, formatted memos, blobs, OLE objects
// or graphics keeps their contents in X.MB, a sequence of 4 KiB blocks. Small
// contents share "suballocated" blocks, cut into 16-byte chunks; larger ones
// get a run of whole blocks to themselves. Block 0 is the header block.
//
// In-record pointer: the last 10 bytes of a memo/blob field (BlobRef).
//   OFFSET  SIZE  DESCRIPTION
//   0       4     file offset of the block; its low byte is the entry index in
//                 a suballocated block, or 0xFF for a single-blob block.
//                 0 = nothing in the .MB (contents short enough for the record)
//   4       4     length of the contents in bytes
//   8       2     modification number the contents were written with
//
// Header block (block 0, offset 0).
//   OFFSET  SIZE   DESCRIPTION
//   0x00    1      block type: 0
//   0x01    2      block size in units of 4 KiB: 1
//   0x03    2      next modification number
//   0x05    6      82 73 02 00 29 00 (meaning unknown; every known writer puts these)
//   0x0B    2      size of single-blob blocks: 0x1000
//   0x0D    2      size of suballocated blocks: 0x1000
//   0x0F    1      0
//   0x10    1      chunk size of suballocated blocks: 0x10
//   0x11    2      entries per suballocated block: 0x40
//   0x13    2      suballocation threshold: 0x0800 (contents up to this length
//                  are suballocated, longer ones get a single-blob run)
//   0x15    20     0
//   0x29    2      slots of the free-space list: 673 (0 in files of tools that
//                  keep no list)
//   0x2B    13     0
//   0x38    673*6  free-space list
// Each write() takes the next modification number and advances it; the
// block (or entry) and the record both keep it. read() insists that they
// agree, which turns away a pointer into space since reused for other
// contents. The number carries on across clear() for the same reason.
//
// Free-space list slot.
//   OFFSET  SIZE  DESCRIPTION
//   0       4     low byte: kind; the other bits: file offset of a block
//   4       2     count
//   Kinds: 0 = end of the list (this slot and all after it are unused);
//          1 = unused slot that was once in use (offset and count are stale);
//          2 = suballocated block with `count` free chunks and a free entry;
//          3 = run of `count` free blocks starting at that block.
//   The original engine allocates from this list, so it must never name space
//   that holds contents. Leaving free space off the list only wastes it.
//
// Single-blob block (the first block of a run; the others have no header).
//   OFFSET  SIZE    DESCRIPTION
//   0       1       block type: 2
//   1       2       number of 4 KiB blocks in the run: ceil((9 + length) / 4096)
//   3       4       length of the contents
//   7       2       modification number
//   9       length  contents (a graphic's contents begin with 8 bytes of its
//                   own header, counted in the length; that is the caller's)
//
// Suballocated block.
//   OFFSET  SIZE    DESCRIPTION
//   0       1       block type: 3
//   1       2       number of blocks: 1
//   3       8       check bytes: byte 3+k is the XOR of every byte of the block
//                   at an offset equal to k modulo 8, these 8 bytes excepted
//   11      1       1 once an entry of the block has been released, else 0
//   12      64*5    entries 0..63 (filled from 63 downwards)
//   0x14C   4       0
//   0x150   3760    chunks 21..255 of 16 bytes each
// Entry of a suballocated block.
//   OFFSET  SIZE  DESCRIPTION
//   0       1     first chunk, counted in 16-byte units from the block start;
//                 0 = unused entry
//   1       1     number of chunks
//   2       2     modification number
//   4       1     bytes used in the last chunk: 1..16
//   Length = (chunks - 1) * 16 + bytes used in the last chunk. Chunks of
//   released entries leave holes; a block is compacted when a blob finds
//   enough free chunks in it but no hole large enough.
//
// Free block run.
//   OFFSET  SIZE  DESCRIPTION
//   0       1     block type: 4
//   1       2     number of 4 KiB blocks in the run
//   3       ...   left over from the run's former use, not interpreted
//
// Crash safety. The table's exclusive write lock is held by the caller, so
// the only hazard is an interrupted sequence of writes. The rules:
//   1. Space is taken off the free-space list (header block written) before
//      anything is written into it.
//   2. Space is put on the list (header block written) only after its blocks
//      have been written in their free state.
//   3. The file is truncated only after the header no longer lists anything
//      past the new end.
// An interrupted write() or release() therefore leaves at worst free space
// that no slot names, or a slot whose count is lower than the truth; never a
// slot naming space that holds contents. A slot whose block does not have the
// kind's block type is stale: it is retired, never trusted. The caller writes
// the record after write() returns and calls release() only once no record
// points at the contents.
#include "blob_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace pdx::detail {

namespace {

constexpr uint64_t kBlockSize = 4096;
constexpr uint64_t kMaxFileSize = uint64_t{1} << 32;  // offsets are 32-bit

constexpr uint8_t kTypeHeader = 0;
constexpr uint8_t kTypeSingle = 2;
constexpr uint8_t kTypeSub = 3;
constexpr uint8_t kTypeFree = 4;

// Header block.
constexpr size_t kModifierAt = 0x03;
constexpr size_t kSlotCountAt = 0x29;
constexpr size_t kSlotsAt = 0x38;
constexpr size_t kSlotSize = 6;
constexpr uint16_t kSlotCapacity = 673;  // (4096 - 0x38) / 6

// Single-blob block.
constexpr size_t kSingleHeaderSize = 9;
constexpr uint32_t kMaxRunBlocks = 0xFFFF;
constexpr uint64_t kMaxBlobLength = kMaxRunBlocks * kBlockSize - kSingleHeaderSize;
constexpr uint8_t kWholeBlockIndex = 0xFF;

// Suballocated block.
constexpr size_t kSubThreshold = 0x800;
constexpr size_t kChunkSize = 16;
constexpr int kEntryCount = 64;
constexpr size_t kCheckAt = 3;
constexpr size_t kCheckSize = 8;
constexpr size_t kReleasedFlagAt = 11;
constexpr size_t kEntriesAt = 12;
constexpr size_t kEntrySize = 5;
constexpr int kFirstChunk = 21;  // 0x150 / 16
constexpr int kChunkCount = 256;
constexpr int kUsableChunks = kChunkCount - kFirstChunk;  // 235

enum SlotKind : uint8_t { kSlotEnd = 0, kSlotRetired = 1, kSlotSub = 2, kSlotFree = 3 };

uint16_t get16(const char* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}
uint32_t get32(const char* p) {
  return static_cast<uint32_t>(get16(p)) | static_cast<uint32_t>(get16(p + 2)) << 16;
}
void put16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>(v >> 8);
}
void put32(char* p, uint32_t v) {
  put16(p, static_cast<uint16_t>(v & 0xFFFF));
  put16(p + 2, static_cast<uint16_t>(v >> 16));
}

std::string hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

// The header block of an empty file, as the original engine writes it.
std::string emptyHeader() {
  std::string h(kBlockSize, '\0');
  static constexpr unsigned char kFixed[] = {0x00, 0x01, 0x00, 0x01, 0x00, 0x82, 0x73, 0x02, 0x00, 0x29, 0x00,
                                             0x00, 0x10, 0x00, 0x10, 0x00, 0x10, 0x40, 0x00, 0x00, 0x08};
  std::memcpy(h.data(), kFixed, sizeof kFixed);
  put16(h.data() + kSlotCountAt, kSlotCapacity);
  return h;
}

// What of the header this engine relies on: a 4 KiB layout with 16-byte
// chunks and 64 entries per suballocated block. Returns the problem, if any.
std::optional<std::string> headerProblem(const std::string& h) {
  const char* p = h.data();
  if (static_cast<uint8_t>(p[0]) != kTypeHeader) return "first block is not a header block";
  if (get16(p + 0x01) != 1 || get16(p + 0x0B) != kBlockSize || get16(p + 0x0D) != kBlockSize) {
    return "block size is not 4 KiB";
  }
  if (static_cast<uint8_t>(p[0x10]) != kChunkSize || get16(p + 0x11) != kEntryCount) {
    return "unknown layout of suballocated blocks";
  }
  if (get16(p + kSlotCountAt) > kSlotCapacity) return "free-space list larger than the header block";
  return std::nullopt;
}

struct Entry {
  uint8_t chunk = 0;  // 0: unused
  uint8_t chunks = 0;
  uint16_t modifier = 0;
  uint8_t tail = 0;
  uint32_t length() const { return static_cast<uint32_t>((chunks - 1u) * kChunkSize + tail); }
};

Entry entryAt(const std::string& block, int index) {
  const char* p = block.data() + kEntriesAt + static_cast<size_t>(index) * kEntrySize;
  return {static_cast<uint8_t>(p[0]), static_cast<uint8_t>(p[1]), get16(p + 2), static_cast<uint8_t>(p[4])};
}

void setEntry(std::string& block, int index, const Entry& e) {
  char* p = block.data() + kEntriesAt + static_cast<size_t>(index) * kEntrySize;
  p[0] = static_cast<char>(e.chunk);
  p[1] = static_cast<char>(e.chunks);
  put16(p + 2, e.modifier);
  p[4] = static_cast<char>(e.tail);
}

std::optional<std::string> entryProblem(const Entry& e) {
  if (e.chunk < kFirstChunk || e.chunks == 0 || e.chunk + e.chunks > kChunkCount) {
    return "entry's chunks lie outside the block";
  }
  if (e.tail == 0 || e.tail > kChunkSize) return "entry's last-chunk byte count is not 1..16";
  return std::nullopt;
}

// Recomputes the check bytes of a suballocated block.
void seal(std::string& block) {
  std::array<uint8_t, kCheckSize> lanes{};
  for (size_t i = 0; i < kBlockSize; ++i) {
    if (i >= kCheckAt && i < kCheckAt + kCheckSize) continue;
    lanes[i % kCheckSize] ^= static_cast<uint8_t>(block[i]);
  }
  std::memcpy(block.data() + kCheckAt, lanes.data(), kCheckSize);
}

std::string runHead(uint8_t type, uint16_t blocks) {
  std::string head(kSingleHeaderSize, '\0');
  head[0] = static_cast<char>(type);
  put16(head.data() + 1, blocks);
  return head;
}

uint16_t chunksFor(size_t length) {
  return static_cast<uint16_t>((length + kChunkSize - 1) / kChunkSize);
}

uint32_t blocksFor(uint64_t length) {
  return static_cast<uint32_t>((length + kSingleHeaderSize + kBlockSize - 1) / kBlockSize);
}

// The entries of a suballocated block, checked for what writing into the
// block relies on: every used entry inside the block, no two overlapping.
class SubBlock {
 public:
  explicit SubBlock(std::string* block) : block_(block) {}

  std::optional<std::string> problem() const {
    std::array<bool, kChunkCount> used{};
    for (int i = 0; i < kEntryCount; ++i) {
      Entry e = entryAt(*block_, i);
      if (e.chunk == 0) continue;
      if (auto p = entryProblem(e)) return "entry " + std::to_string(i) + ": " + *p;
      for (int c = e.chunk; c < e.chunk + e.chunks; ++c) {
        if (used[static_cast<size_t>(c)]) return "entries " + std::to_string(i) + " and another overlap";
        used[static_cast<size_t>(c)] = true;
      }
    }
    return std::nullopt;
  }

  int freeChunks() const {
    int free = kUsableChunks;
    for (int i = 0; i < kEntryCount; ++i) {
      Entry e = entryAt(*block_, i);
      if (e.chunk) free -= e.chunks;
    }
    return free;
  }

  // Highest unused entry index (the original fills from 63 down), or -1.
  int freeEntry() const {
    for (int i = kEntryCount - 1; i >= 0; --i) {
      if (entryAt(*block_, i).chunk == 0) return i;
    }
    return -1;
  }

  bool empty() const { return freeChunks() == kUsableChunks; }

  // First chunk of a hole of `need` chunks, compacting the block when the
  // free chunks suffice but no hole does; 0 when the block lacks the space.
  int place(int need) {
    if (freeChunks() < need) return 0;
    if (int c = findHole(need)) return c;
    compact();
    return findHole(need);
  }

 private:
  int findHole(int need) const {
    std::array<bool, kChunkCount> used{};
    for (int i = 0; i < kEntryCount; ++i) {
      Entry e = entryAt(*block_, i);
      for (int c = e.chunk; e.chunk && c < e.chunk + e.chunks; ++c) used[static_cast<size_t>(c)] = true;
    }
    int run = 0;
    for (int c = kFirstChunk; c < kChunkCount; ++c) {
      run = used[static_cast<size_t>(c)] ? 0 : run + 1;
      if (run == need) return c - need + 1;
    }
    return 0;
  }

  void compact() {
    std::vector<int> order;
    for (int i = 0; i < kEntryCount; ++i) {
      if (entryAt(*block_, i).chunk) order.push_back(i);
    }
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return entryAt(*block_, a).chunk < entryAt(*block_, b).chunk; });
    int next = kFirstChunk;
    for (int i : order) {
      Entry e = entryAt(*block_, i);
      std::memmove(block_->data() + next * kChunkSize, block_->data() + e.chunk * kChunkSize, e.chunks * kChunkSize);
      e.chunk = static_cast<uint8_t>(next);
      setEntry(*block_, i, e);
      next += e.chunks;
    }
    std::fill(block_->begin() + next * static_cast<long>(kChunkSize), block_->end(), '\0');
  }

  std::string* block_;
};

struct Slot {
  uint64_t block = 0;  // file offset
  uint8_t kind = kSlotEnd;
  uint16_t count = 0;
};

// What write(), release() and clear() read of the file at the start of each
// call: nothing is kept between calls, as other processes write the file too.
struct State {
  std::string header;
  uint64_t size = 0;
  std::vector<Slot> slots;  // the used part of the list, up to the end marker
};

// A block write held back to be done after the header (rule 1) or before it
// (rule 2).
struct PendingWrite {
  uint64_t offset;
  std::string bytes;
};

class BlobFileImpl final : public BlobFile {
 public:
  BlobFileImpl(std::unique_ptr<File> file, std::string path, bool writable)
      : file_(std::move(file)), path_(std::move(path)), writable_(writable) {}

  Result<std::string> read(const BlobRef& ref) override;
  Result<BlobRef> write(std::string_view data) override;
  Status release(const BlobRef& ref) override;
  Status checkRef(const BlobRef& ref) override;
  Status clear() override;
  Status sync() override { return file_->sync(); }
  // Nothing is cached between calls.
  void invalidate() override {}

 private:
  // Where a pointer leads, once every field it relies on has been checked.
  struct Location {
    uint8_t type = 0;    // kTypeSingle or kTypeSub; 0 for an empty pointer
    uint64_t block = 0;  // file offset of the block
    int entry = -1;      // suballocated: entry index
    uint16_t runBlocks = 0;
    std::string first;  // the block (single-blob: the run's first block)
  };

  Status corrupt(const std::string& what) const {
    return Status(code::kMemoCorrupt, "memo file " + path_ + " is damaged: " + what);
  }
  Status refCorrupt(const BlobRef& ref, const std::string& what) const {
    return corrupt("blob pointer " + hex(ref.offset) + " (length " + std::to_string(ref.length) + ", modification " +
                   std::to_string(ref.modifier) + ") " + what);
  }
  Status readOnly() const {
    return Status(code::kInvalidParameter, "memo file " + path_ + " is open for reading only");
  }

  Status readExact(uint64_t offset, size_t n, char* buf);
  Result<std::string> readBlock(uint64_t offset, size_t n = kBlockSize);
  Result<Location> locate(const BlobRef& ref);

  Result<State> loadState();
  Status storeHeader(State& st);
  Status writeAll(const std::vector<PendingWrite>& writes);
  uint16_t takeModifier(State& st);
  Status trustRun(Slot& slot);
  Result<uint64_t> allocateRun(State& st, uint32_t blocks, std::optional<PendingWrite>& shrunk);
  Result<BlobRef> writeSmall(State& st, std::string_view data, uint16_t modifier);
  Result<BlobRef> writeLarge(State& st, std::string_view data, uint16_t modifier);
  Status freeRun(State& st, uint64_t start, uint32_t blocks, std::vector<PendingWrite>& writes,
                 std::optional<uint64_t>& truncateTo);
  void putSlot(State& st, const Slot& slot);

  std::unique_ptr<File> file_;
  std::string path_;
  bool writable_;
};

Status BlobFileImpl::readExact(uint64_t offset, size_t n, char* buf) {
  PDX_ASSIGN_OR_RETURN(size_t got, file_->read(offset, n, buf));
  if (got != n) return corrupt("file ends at " + hex(offset + got) + " inside data expected up to " + hex(offset + n));
  return Status::Ok();
}

Result<std::string> BlobFileImpl::readBlock(uint64_t offset, size_t n) {
  std::string block(n, '\0');
  PDX_RETURN_IF_ERROR(readExact(offset, n, block.data()));
  return block;
}

Result<BlobFileImpl::Location> BlobFileImpl::locate(const BlobRef& ref) {
  if (ref.offset == 0) {
    if (ref.length != 0) return refCorrupt(ref, "names no block, yet a length");
    return Location{};
  }
  PDX_ASSIGN_OR_RETURN(uint64_t size, file_->size());
  const uint64_t block = ref.offset & ~uint64_t{0xFF};
  const uint8_t index = static_cast<uint8_t>(ref.offset & 0xFF);
  if (block % kBlockSize != 0) return refCorrupt(ref, "is not on a block boundary");
  if (block == 0) return refCorrupt(ref, "points into the header block");
  if (block >= size) return refCorrupt(ref, "lies past the end of the file (" + std::to_string(size) + " bytes)");
  if (ref.length > size) return refCorrupt(ref, "gives a length larger than the whole file");

  // The last block of a file may be short: some writers do not fill the
  // last block of a run.
  Location loc;
  loc.block = block;
  PDX_ASSIGN_OR_RETURN(loc.first, readBlock(block, static_cast<size_t>(std::min(kBlockSize, size - block))));
  const char* b = loc.first.data();
  loc.type = static_cast<uint8_t>(b[0]);
  if (loc.type == kTypeSingle) {
    if (index != kWholeBlockIndex)
      return refCorrupt(ref, "names entry " + std::to_string(index) + " of a single-blob block");
    if (loc.first.size() < kSingleHeaderSize)
      return refCorrupt(ref, "leads to a block cut short by the end of the file");
    loc.runBlocks = get16(b + 1);
    const uint32_t stored = get32(b + 3);
    // Writers give a run the blocks its contents need (a few older ones one
    // less); a longer run would make release() free blocks of other blobs.
    if (loc.runBlocks == 0 || loc.runBlocks > blocksFor(stored)) {
      return refCorrupt(ref, "leads to a run of " + std::to_string(loc.runBlocks) + " blocks for " +
                                 std::to_string(stored) + " bytes");
    }
    if (stored != ref.length) return refCorrupt(ref, "disagrees with the stored length " + std::to_string(stored));
    if (block + kSingleHeaderSize + stored > size) return refCorrupt(ref, "leads to contents past the end of the file");
    if (get16(b + 7) != ref.modifier) {
      return refCorrupt(ref, "disagrees with the stored modification " + std::to_string(get16(b + 7)));
    }
    return loc;
  }
  if (loc.type == kTypeSub) {
    if (loc.first.size() < kBlockSize)
      return refCorrupt(ref, "leads to a suballocated block cut short by the end of the file");
    if (index >= kEntryCount)
      return refCorrupt(ref, "names entry " + std::to_string(index) + " of a suballocated block (0..63)");
    loc.entry = index;
    Entry e = entryAt(loc.first, index);
    if (e.chunk == 0) return refCorrupt(ref, "names an unused entry (contents released)");
    if (auto p = entryProblem(e)) return refCorrupt(ref, "leads to a damaged entry: " + *p);
    if (e.length() != ref.length)
      return refCorrupt(ref, "disagrees with the stored length " + std::to_string(e.length()));
    if (e.modifier != ref.modifier)
      return refCorrupt(ref, "disagrees with the stored modification " + std::to_string(e.modifier));
    return loc;
  }
  if (loc.type == kTypeFree) return refCorrupt(ref, "points at a free block (contents released)");
  return refCorrupt(ref, "points at a block of unknown type " + std::to_string(loc.type));
}

Result<std::string> BlobFileImpl::read(const BlobRef& ref) {
  PDX_ASSIGN_OR_RETURN(Location loc, locate(ref));
  if (loc.type == kTypeSub) {
    Entry e = entryAt(loc.first, loc.entry);
    return loc.first.substr(e.chunk * kChunkSize, ref.length);
  }
  if (loc.type == kTypeSingle) {
    std::string data(ref.length, '\0');
    const size_t inFirst = std::min<size_t>(ref.length, loc.first.size() - kSingleHeaderSize);
    std::memcpy(data.data(), loc.first.data() + kSingleHeaderSize, inFirst);
    if (inFirst < ref.length) {
      PDX_RETURN_IF_ERROR(readExact(loc.block + kBlockSize, ref.length - inFirst, data.data() + inFirst));
    }
    return data;
  }
  return std::string();
}

Status BlobFileImpl::checkRef(const BlobRef& ref) {
  return locate(ref).status();
}

Result<State> BlobFileImpl::loadState() {
  State st;
  PDX_ASSIGN_OR_RETURN(st.size, file_->size());
  if (st.size < kBlockSize) return corrupt("shorter than its header block");
  // A short last block (left by writers that do not fill the last block of
  // a run) counts as whole: new blocks go after it.
  st.size = (st.size + kBlockSize - 1) / kBlockSize * kBlockSize;
  PDX_ASSIGN_OR_RETURN(st.header, readBlock(0));
  if (auto p = headerProblem(st.header)) return corrupt(*p);
  const uint16_t listed = get16(st.header.data() + kSlotCountAt);
  for (uint16_t i = 0; i < listed; ++i) {
    const char* p = st.header.data() + kSlotsAt + i * kSlotSize;
    const uint32_t word = get32(p);
    Slot s{word & ~uint32_t{0xFF}, static_cast<uint8_t>(word & 0xFF), get16(p + 4)};
    if (s.kind == kSlotEnd) break;
    const std::string where = "free-space slot " + std::to_string(i);
    if (s.kind > kSlotFree) return corrupt(where + " has unknown kind " + std::to_string(s.kind));
    if (s.kind != kSlotRetired) {
      const uint64_t blocks = s.kind == kSlotFree ? s.count : 1;
      if (s.block % kBlockSize != 0 || s.block == 0) return corrupt(where + " names offset " + hex(s.block));
      if (blocks == 0 || s.block + blocks * kBlockSize > st.size) {
        return corrupt(where + " names blocks past the end of the file");
      }
      if (s.kind == kSlotSub && s.count > kUsableChunks) return corrupt(where + " counts too many free chunks");
    }
    st.slots.push_back(s);
  }
  // Two slots naming the same space would hand it out twice.
  std::vector<std::pair<uint64_t, uint64_t>> spans;
  for (const Slot& s : st.slots) {
    if (s.kind == kSlotSub) spans.emplace_back(s.block, s.block + kBlockSize);
    if (s.kind == kSlotFree) spans.emplace_back(s.block, s.block + s.count * kBlockSize);
  }
  std::sort(spans.begin(), spans.end());
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].first < spans[i - 1].second)
      return corrupt("free-space list names block " + hex(spans[i].first) + " twice");
  }
  return st;
}

// A file that had no list gets one: the original engine's files all have it.
Status BlobFileImpl::storeHeader(State& st) {
  put16(st.header.data() + kSlotCountAt, kSlotCapacity);
  char* list = st.header.data() + kSlotsAt;
  std::memset(list, 0, kSlotCapacity * kSlotSize);
  for (size_t i = 0; i < st.slots.size(); ++i) {
    const Slot& s = st.slots[i];
    put32(list + i * kSlotSize, static_cast<uint32_t>(s.block) | s.kind);
    put16(list + i * kSlotSize + 4, s.count);
  }
  return file_->write(0, st.header);
}

Status BlobFileImpl::writeAll(const std::vector<PendingWrite>& writes) {
  for (const PendingWrite& w : writes) PDX_RETURN_IF_ERROR(file_->write(w.offset, w.bytes));
  return Status::Ok();
}

uint16_t BlobFileImpl::takeModifier(State& st) {
  uint16_t m = get16(st.header.data() + kModifierAt);
  if (m == 0) m = 1;
  put16(st.header.data() + kModifierAt, m == 0xFFFF ? 1 : static_cast<uint16_t>(m + 1));
  return m;
}

// Reuses an unused slot, or appends one. When the list is full the space
// stays unlisted: wasted, but safe.
void BlobFileImpl::putSlot(State& st, const Slot& slot) {
  for (Slot& s : st.slots) {
    if (s.kind == kSlotRetired) {
      s = slot;
      return;
    }
  }
  if (st.slots.size() < kSlotCapacity) st.slots.push_back(slot);
}

// Brings a free-run slot in line with its run head: the count is capped by
// the head's block count, and a slot whose block is no longer a free run is
// retired (both happen only after an interrupted update).
Status BlobFileImpl::trustRun(Slot& slot) {
  PDX_ASSIGN_OR_RETURN(std::string head, readBlock(slot.block, 3));
  const uint16_t blocks = get16(head.data() + 1);
  if (static_cast<uint8_t>(head[0]) != kTypeFree || blocks == 0) {
    slot.kind = kSlotRetired;
  } else {
    slot.count = std::min(slot.count, blocks);
  }
  return Status::Ok();
}

// Finds `blocks` consecutive blocks: the tail of the smallest listed free
// run that is large enough, else a listed run at the end of the file grown
// by appending, else new blocks at the end. When a run is shortened, its new
// head goes to `shrunk`, to be written after the blocks taken from it: until
// then the old head still covers them, which is right for an interrupted
// write, whose contents no record points at.
Result<uint64_t> BlobFileImpl::allocateRun(State& st, uint32_t blocks, std::optional<PendingWrite>& shrunk) {
  Slot* best = nullptr;
  Slot* atEnd = nullptr;
  for (Slot& s : st.slots) {
    const bool endsFile = s.block + s.count * kBlockSize == st.size;
    if (s.kind != kSlotFree || (s.count < blocks && !endsFile)) continue;
    PDX_RETURN_IF_ERROR(trustRun(s));
    if (s.kind != kSlotFree) continue;
    if (s.count >= blocks && (!best || s.count < best->count)) best = &s;
    if (s.block + s.count * kBlockSize == st.size) atEnd = &s;
  }
  if (best) {
    const uint64_t start = best->block + (best->count - blocks) * kBlockSize;
    if (best->count == blocks) {
      best->kind = kSlotRetired;
    } else {
      best->count = static_cast<uint16_t>(best->count - blocks);
      shrunk = PendingWrite{best->block, runHead(kTypeFree, best->count)};
    }
    return start;
  }
  const uint64_t start = atEnd ? atEnd->block : st.size;
  if (start + blocks * kBlockSize > kMaxFileSize) {
    return Status(code::kTableFull, "memo file " + path_ + " would grow past 4 GiB");
  }
  if (atEnd) atEnd->kind = kSlotRetired;
  st.size = start + blocks * kBlockSize;
  return start;
}

Result<BlobRef> BlobFileImpl::writeSmall(State& st, std::string_view data, uint16_t modifier) {
  const int need = chunksFor(data.size());
  std::optional<uint64_t> where;
  std::string block;
  Slot* slot = nullptr;
  for (Slot& s : st.slots) {
    if (s.kind != kSlotSub || s.count < need) continue;
    PDX_ASSIGN_OR_RETURN(block, readBlock(s.block));
    if (static_cast<uint8_t>(block[0]) != kTypeSub) {
      s.kind = kSlotRetired;
      continue;
    }
    SubBlock sub(&block);
    if (auto p = sub.problem()) return corrupt("suballocated block " + hex(s.block) + ": " + *p);
    if (sub.freeEntry() < 0 || sub.freeChunks() < need) {
      s.count = static_cast<uint16_t>(sub.freeChunks());
      if (sub.freeEntry() < 0 || s.count == 0) s.kind = kSlotRetired;
      continue;
    }
    where = s.block;
    slot = &s;
    break;
  }
  std::optional<PendingWrite> shrunk;
  if (!where) {
    PDX_ASSIGN_OR_RETURN(where, allocateRun(st, 1, shrunk));
    block.assign(kBlockSize, '\0');
    block[0] = static_cast<char>(kTypeSub);
    put16(block.data() + 1, 1);
  }
  SubBlock sub(&block);
  const int index = sub.freeEntry();
  const int chunk = sub.place(need);
  Entry e{static_cast<uint8_t>(chunk), static_cast<uint8_t>(need), modifier,
          static_cast<uint8_t>(data.size() - (need - 1) * kChunkSize)};
  std::memset(block.data() + chunk * kChunkSize, 0, need * kChunkSize);
  std::memcpy(block.data() + chunk * kChunkSize, data.data(), data.size());
  setEntry(block, index, e);
  seal(block);

  const int freeChunks = sub.freeChunks();
  const bool open = freeChunks > 0 && sub.freeEntry() >= 0;
  if (slot) {
    slot->count = static_cast<uint16_t>(freeChunks);
    if (!open) slot->kind = kSlotRetired;
  } else if (open) {
    putSlot(st, {*where, kSlotSub, static_cast<uint16_t>(freeChunks)});
  }
  PDX_RETURN_IF_ERROR(storeHeader(st));
  PDX_RETURN_IF_ERROR(file_->write(*where, block));
  if (shrunk) PDX_RETURN_IF_ERROR(file_->write(shrunk->offset, shrunk->bytes));
  return BlobRef{static_cast<uint32_t>(*where) | static_cast<uint32_t>(index), static_cast<uint32_t>(data.size()),
                 modifier};
}

Result<BlobRef> BlobFileImpl::writeLarge(State& st, std::string_view data, uint16_t modifier) {
  const uint32_t blocks = blocksFor(data.size());
  std::optional<PendingWrite> shrunk;
  PDX_ASSIGN_OR_RETURN(uint64_t start, allocateRun(st, blocks, shrunk));
  PDX_RETURN_IF_ERROR(storeHeader(st));
  // One write for the whole run, so that a file grown by it never holds a
  // run head without its blocks.
  std::string run = runHead(kTypeSingle, static_cast<uint16_t>(blocks));
  put32(run.data() + 3, static_cast<uint32_t>(data.size()));
  put16(run.data() + 7, modifier);
  run.append(data);
  run.resize(blocks * kBlockSize, '\0');
  PDX_RETURN_IF_ERROR(file_->write(start, run));
  if (shrunk) PDX_RETURN_IF_ERROR(file_->write(shrunk->offset, shrunk->bytes));
  return BlobRef{static_cast<uint32_t>(start) | kWholeBlockIndex, static_cast<uint32_t>(data.size()), modifier};
}

Result<BlobRef> BlobFileImpl::write(std::string_view data) {
  if (!writable_) return readOnly();
  if (data.empty()) return BlobRef{};
  if (data.size() > kMaxBlobLength) {
    return Status(code::kInvalidValue, "contents of " + std::to_string(data.size()) +
                                           " bytes exceed what a memo file holds (" + std::to_string(kMaxBlobLength) +
                                           ")");
  }
  PDX_ASSIGN_OR_RETURN(State st, loadState());
  const uint16_t modifier = takeModifier(st);
  if (data.size() <= kSubThreshold) return writeSmall(st, data, modifier);
  return writeLarge(st, data, modifier);
}

// Makes blocks [start, start + blocks) a listed free run, merged with listed
// free runs right before and after it; a run that reaches the end of the file
// is cut off instead. The run heads to write go to `writes`, to be written
// before the header (rule 2).
Status BlobFileImpl::freeRun(State& st, uint64_t start, uint32_t blocks, std::vector<PendingWrite>& writes,
                             std::optional<uint64_t>& truncateTo) {
  Slot* prev = nullptr;
  Slot* next = nullptr;
  for (Slot& s : st.slots) {
    if (s.kind != kSlotFree) continue;
    const bool before = s.block + s.count * kBlockSize == start;
    const bool after = s.block == start + blocks * kBlockSize;
    if (!before && !after) continue;
    const uint16_t listed = s.count;
    PDX_RETURN_IF_ERROR(trustRun(s));
    if (s.kind != kSlotFree || s.count != listed) continue;  // no longer adjacent
    (before ? prev : next) = &s;
  }
  uint64_t first = start;
  uint64_t total = blocks;
  if (prev && total + prev->count <= kMaxRunBlocks) {
    first = prev->block;
    total += prev->count;
  } else {
    prev = nullptr;
  }
  if (next && total + next->count <= kMaxRunBlocks) {
    total += next->count;
  } else {
    next = nullptr;
  }
  if (first + total * kBlockSize == st.size) {
    if (prev) prev->kind = kSlotRetired;
    if (next) next->kind = kSlotRetired;
    truncateTo = first;
    st.size = first;
    return Status::Ok();
  }
  if (next) next->kind = kSlotRetired;
  writes.push_back({first, runHead(kTypeFree, static_cast<uint16_t>(total))});
  if (prev) {
    prev->count = static_cast<uint16_t>(total);
  } else {
    putSlot(st, {start, kSlotFree, static_cast<uint16_t>(total)});
  }
  return Status::Ok();
}

Status BlobFileImpl::release(const BlobRef& ref) {
  if (!writable_) return readOnly();
  if (ref.offset == 0) return Status::Ok();
  PDX_ASSIGN_OR_RETURN(State st, loadState());
  PDX_ASSIGN_OR_RETURN(Location loc, locate(ref));
  // A run is never taken to reach past the end of the file.
  const uint32_t blocks =
      loc.type == kTypeSingle
          ? static_cast<uint32_t>(std::min<uint64_t>(loc.runBlocks, (st.size - loc.block) / kBlockSize))
          : 1;
  const uint64_t end = loc.block + blocks * kBlockSize;
  for (const Slot& s : st.slots) {
    const uint64_t slotEnd = s.block + (s.kind == kSlotFree ? s.count : 1) * kBlockSize;
    const bool live = s.kind == kSlotFree || (s.kind == kSlotSub && loc.type == kTypeSingle);
    if (live && s.block < end && loc.block < slotEnd) {
      return corrupt("free-space list names block " + hex(s.block) + ", which holds contents");
    }
  }
  std::vector<PendingWrite> before;
  std::optional<uint64_t> truncateTo;
  if (loc.type == kTypeSingle) {
    before.push_back({loc.block, runHead(kTypeFree, static_cast<uint16_t>(blocks))});
    PDX_RETURN_IF_ERROR(freeRun(st, loc.block, blocks, before, truncateTo));
  } else {
    std::string& block = loc.first;
    Entry e = entryAt(block, loc.entry);
    std::memset(block.data() + e.chunk * kChunkSize, 0, e.chunks * kChunkSize);
    setEntry(block, loc.entry, Entry{});
    block[kReleasedFlagAt] = 1;
    SubBlock sub(&block);
    auto slot = std::find_if(st.slots.begin(), st.slots.end(),
                             [&](const Slot& s) { return s.kind == kSlotSub && s.block == loc.block; });
    if (sub.empty()) {
      // An empty block goes back to the pool of whole blocks.
      if (slot != st.slots.end()) slot->kind = kSlotRetired;
      std::string freed(kBlockSize, '\0');
      std::string head = runHead(kTypeFree, 1);
      freed.replace(0, head.size(), head);
      before.push_back({loc.block, std::move(freed)});
      PDX_RETURN_IF_ERROR(freeRun(st, loc.block, 1, before, truncateTo));
    } else {
      seal(block);
      const uint16_t freeChunks = static_cast<uint16_t>(sub.freeChunks());
      before.push_back({loc.block, std::move(block)});
      if (slot != st.slots.end()) {
        slot->count = freeChunks;
      } else {
        putSlot(st, {loc.block, kSlotSub, freeChunks});
      }
    }
  }
  PDX_RETURN_IF_ERROR(writeAll(before));
  PDX_RETURN_IF_ERROR(storeHeader(st));
  if (truncateTo) PDX_RETURN_IF_ERROR(file_->truncate(*truncateTo));
  return Status::Ok();
}

Status BlobFileImpl::clear() {
  if (!writable_) return readOnly();
  PDX_ASSIGN_OR_RETURN(std::string header, readBlock(0));
  if (auto p = headerProblem(header)) return corrupt(*p);
  // The modification number carries on, so that no stale pointer matches a
  // blob written after the clear.
  State st;
  st.header = std::move(header);
  PDX_RETURN_IF_ERROR(storeHeader(st));
  return file_->truncate(kBlockSize);
}

}  // namespace

BlobRef decodeBlobRef(const char* tail10) {
  return BlobRef{get32(tail10), get32(tail10 + 4), get16(tail10 + 8)};
}

void encodeBlobRef(const BlobRef& ref, char* tail10) {
  put32(tail10, ref.offset);
  put32(tail10 + 4, ref.length);
  put16(tail10 + 8, ref.modifier);
}

Result<std::unique_ptr<BlobFile>> BlobFile::open(Env& env, const std::string& path, bool writable) {
  if (!env.exists(path)) return Status(code::kBlobFileMissing, "memo file " + path + " is missing");
  PDX_ASSIGN_OR_RETURN(std::unique_ptr<File> file,
                       env.open(path, writable ? Env::OpenMode::kReadWrite : Env::OpenMode::kRead));
  std::string header(kBlockSize, '\0');
  PDX_ASSIGN_OR_RETURN(size_t got, file->read(0, kBlockSize, header.data()));
  if (got < kBlockSize) {
    return Status(code::kMemoCorrupt, "memo file " + path + " is damaged: shorter than its header block");
  }
  if (auto p = headerProblem(header)) {
    return Status(code::kMemoCorrupt, "memo file " + path + " is damaged: " + *p);
  }
  return std::unique_ptr<BlobFile>(new BlobFileImpl(std::move(file), path, writable));
}

Result<std::unique_ptr<BlobFile>> BlobFile::create(Env& env, const std::string& path) {
  PDX_ASSIGN_OR_RETURN(std::unique_ptr<File> file, env.open(path, Env::OpenMode::kCreate));
  PDX_RETURN_IF_ERROR(file->write(0, emptyHeader()));
  return std::unique_ptr<BlobFile>(new BlobFileImpl(std::move(file), path, true));
}

}  // namespace pdx::detail
