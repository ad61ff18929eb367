#include "pending_file.h"

#include <algorithm>
#include <cstring>

namespace pdx::detail {

PendingFile::PendingFile(std::unique_ptr<File> base) : File(base->path()), base_(std::move(base)) {}

Result<uint64_t> PendingFile::finalSize() {
  if (newSize_) return *newSize_;
  return baseSize();
}

Result<uint64_t> PendingFile::baseSize() {
  // While changes are held the table is reserved: no one else changes the
  // file, and its size need not be asked for again.
  if (baseSize_ && hasChanges()) return *baseSize_;
  PDX_ASSIGN_OR_RETURN(uint64_t size, base_->size());
  baseSize_ = size;
  return size;
}

Result<uint64_t> PendingFile::size() { return finalSize(); }

Result<uint64_t> PendingFile::baseLimit() {
  PDX_ASSIGN_OR_RETURN(uint64_t size, finalSize());
  return baseLimit(size);
}

uint64_t PendingFile::baseLimit(uint64_t finalSize) const {
  return lowWater_ ? std::min(*lowWater_, finalSize) : finalSize;
}

Result<PendingFile::Page*> PendingFile::page(uint64_t index, std::optional<uint64_t> knownLimit) {
  if (auto it = pages_.find(index); it != pages_.end()) return &it->second;
  std::string bytes(kPageSize, '\0');
  uint64_t limit = 0;
  if (knownLimit) {
    limit = *knownLimit;
  } else {
    PDX_ASSIGN_OR_RETURN(limit, baseLimit());
  }
  const uint64_t start = index * kPageSize;
  if (start < limit) {
    // Only the part below the limit is the file's; a truncation leaves
    // zeros behind it.
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kPageSize, limit - start));
    PDX_ASSIGN_OR_RETURN(size_t got, base_->read(start, want, bytes.data()));
    (void)got;  // a base shorter than the pending size reads as zeros
  }
  return &pages_.emplace(index, Page{std::move(bytes)}).first->second;
}

Result<size_t> PendingFile::read(uint64_t offset, size_t n, char* buf) {
  if (!hasChanges()) return base_->read(offset, n, buf);  // the file as it is (no size to ask for)
  PDX_ASSIGN_OR_RETURN(uint64_t size, finalSize());
  if (offset >= size) return size_t{0};
  n = static_cast<size_t>(std::min<uint64_t>(n, size - offset));
  PDX_ASSIGN_OR_RETURN(uint64_t limit, baseLimit());
  if (pages_.empty() && offset + n <= limit) return base_->read(offset, n, buf);
  size_t done = 0;
  while (done < n) {
    const uint64_t at = offset + done;
    const uint64_t index = at / kPageSize, inPage = at % kPageSize;
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(n - done, kPageSize - inPage));
    if (auto it = pages_.find(index); it != pages_.end()) {
      std::memcpy(buf + done, it->second.bytes.data() + inPage, chunk);
    } else {
      size_t got = 0;
      if (at < limit) {
        PDX_ASSIGN_OR_RETURN(got, base_->read(at, static_cast<size_t>(std::min<uint64_t>(chunk, limit - at)), buf + done));
      }
      if (got < chunk) std::memset(buf + done + got, 0, chunk - got);
    }
    done += chunk;
  }
  return n;
}

Result<size_t> PendingFile::readScattered(uint64_t offset, std::span<const std::span<char>> buffers) {
  if (!hasChanges()) return base_->readScattered(offset, buffers);
  return File::readScattered(offset, buffers);
}

Status PendingFile::write(uint64_t offset, std::string_view data) {
  PDX_ASSIGN_OR_RETURN(uint64_t size, finalSize());
  // Found once for every page: the file's size is not asked for again until
  // the first page is held.
  const uint64_t limit = baseLimit(size);
  size_t done = 0;
  while (done < data.size()) {
    const uint64_t at = offset + done;
    const uint64_t index = at / kPageSize, inPage = at % kPageSize;
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(data.size() - done, kPageSize - inPage));
    PDX_ASSIGN_OR_RETURN(Page * p, page(index, limit));
    // Only the bytes that differ count as changed: a block rewritten for a
    // new row costs the commit the row, not the block.
    char* to = p->bytes.data() + inPage;
    const char* from = data.data() + done;
    auto word = [](const char* bytes) {
      uint64_t w;
      std::memcpy(&w, bytes, 8);
      return w;
    };
    // Long stretches first, then shorter ones (memcmp compares many bytes at
    // a time), then words, then bytes.
    size_t first = 0, last = chunk;
    for (size_t stretch : {size_t{512}, size_t{64}}) {
      while (first + stretch <= last && std::memcmp(to + first, from + first, stretch) == 0) first += stretch;
      while (last >= first + stretch && std::memcmp(to + last - stretch, from + last - stretch, stretch) == 0)
        last -= stretch;
    }
    while (first + 8 <= last && word(to + first) == word(from + first)) first += 8;
    while (first < last && to[first] == from[first]) ++first;
    while (last >= first + 8 && word(to + last - 8) == word(from + last - 8)) last -= 8;
    while (last > first && to[last - 1] == from[last - 1]) --last;
    if (first < last) {
      std::memcpy(to + first, from + first, last - first);
      p->changed(inPage + first, inPage + last);
    }
    done += chunk;
  }
  const uint64_t end = offset + data.size();
  if (end > size) newSize_ = end;
  return {};
}

Status PendingFile::truncate(uint64_t size) {
  PDX_ASSIGN_OR_RETURN(uint64_t current, finalSize());
  if (size < current) {
    // Pages wholly past the end go; the page that holds the end is cleared
    // past it, so that growing the file again reads zeros.
    pages_.erase(pages_.lower_bound((size + kPageSize - 1) / kPageSize), pages_.end());
    if (size % kPageSize != 0) {
      PDX_ASSIGN_OR_RETURN(Page * p, page(size / kPageSize));
      std::memset(p->bytes.data() + size % kPageSize, 0, kPageSize - size % kPageSize);
      p->changed(size % kPageSize, kPageSize);
    }
  }
  newSize_ = size;
  lowWater_ = lowWater_ ? std::min(*lowWater_, size) : size;
  return {};
}

Result<PendingFile::Change> PendingFile::change() {
  Change c;
  PDX_ASSIGN_OR_RETURN(c.size, finalSize());
  c.cut = lowWater_;
  // The changed parts, in runs: parts that meet end to end, and parts of
  // neighbouring pages with a few unchanged bytes between them (written again
  // as they are: one write instead of two).
  constexpr uint64_t kJoinGap = 512;
  const Page* last = nullptr;  // the page the last run ends in
  uint64_t lastIndex = 0;
  for (const auto& [index, p] : pages_) {
    const uint64_t at = index * kPageSize;
    if (at >= c.size) break;
    const uint64_t to = std::min<uint64_t>(p.to, c.size - at);
    if (p.from >= to) continue;
    const uint64_t runEnd = c.runs.empty() ? 0 : c.runs.back().first + c.runs.back().second.size();
    if (!c.runs.empty() && runEnd == at + p.from) {
      // meets the run end to end
    } else if (last && lastIndex + 1 == index && at + p.from - runEnd <= kJoinGap) {
      std::string& run = c.runs.back().second;
      run.append(last->bytes.data() + (runEnd - lastIndex * kPageSize), static_cast<size_t>(at - runEnd));
      run.append(p.bytes.data(), p.from);
    } else {
      c.runs.emplace_back(at + p.from, std::string());
    }
    c.runs.back().second.append(p.bytes.data() + p.from, static_cast<size_t>(to - p.from));
    last = &p;
    lastIndex = index;
  }
  return c;
}

Status PendingFile::apply() {
  PDX_ASSIGN_OR_RETURN(Change c, change());
  PDX_ASSIGN_OR_RETURN(uint64_t size, baseSize());
  // Cut the file first where a truncation cut it, so that whatever grows
  // back past that point is only what was written since.
  if (c.cut && size > *c.cut) {
    PDX_RETURN_IF_ERROR(base_->truncate(*c.cut));
    size = *c.cut;
  }
  for (const auto& [at, bytes] : c.runs) {
    PDX_RETURN_IF_ERROR(base_->write(at, bytes));
    size = std::max<uint64_t>(size, at + bytes.size());
  }
  if (size != c.size) PDX_RETURN_IF_ERROR(base_->truncate(c.size));
  return {};
}

void PendingFile::discard() {
  baseSize_.reset();
  pages_.clear();
  newSize_.reset();
  lowWater_.reset();
}

namespace {
// A handle on a PendingFile owned elsewhere.
class LentFile final : public File {
 public:
  explicit LentFile(PendingFile* f) : File(f->path()), f_(f) {}
  Result<size_t> read(uint64_t offset, size_t n, char* buf) override { return f_->read(offset, n, buf); }
  Status write(uint64_t offset, std::string_view data) override { return f_->write(offset, data); }
  Result<uint64_t> size() override { return f_->size(); }
  Status truncate(uint64_t size) override { return f_->truncate(size); }
  Status sync() override { return f_->sync(); }

 private:
  PendingFile* f_;
};
}  // namespace

Result<std::unique_ptr<File>> LendingEnv::open(const std::string& path, OpenMode mode) {
  if (path == path_ && mode != OpenMode::kCreate) return std::unique_ptr<File>(new LentFile(file_));
  return real_->open(path, mode);
}

}  // namespace pdx::detail
