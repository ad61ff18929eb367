#include <algorithm>
#include <cstring>
#include <optional>

#include "codepage.h"
#include "directory_state.h"
#include "format.h"
#include "pdx/echo.h"
#include "pdx/table.h"
#include "table_file.h"

namespace pdx {
namespace {

constexpr uint16_t kStale = 0x22F0;  // see table_file.cpp
constexpr int kMaxRetries = 50;
using detail::kGraphicPrefix;

uint64_t hashBytes(std::string_view s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// Lower-case form of UTF-8 text for comparisons without regard to case:
// ASCII and the Latin-1 letters that French and the other western languages
// of the code pages use.
std::string foldCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    } else if (c == 0xC3 && i + 1 < s.size()) {
      unsigned char d = static_cast<unsigned char>(s[i + 1]);
      if (d >= 0x80 && d <= 0x9E && d != 0x97) d = static_cast<unsigned char>(d + 0x20);  // À..Þ -> à..þ
      out += static_cast<char>(c);
      out += static_cast<char>(d);
      ++i;
    } else if (c == 0xC5 && i + 1 < s.size() && (s[i + 1] == '\x92' || s[i + 1] == '\xA0')) {
      out += static_cast<char>(c);
      out += static_cast<char>(s[i + 1] + 1);  // Œ -> œ, Š -> š
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string trimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

Table::Table(std::shared_ptr<DirectoryState> dir, std::shared_ptr<TableFile> file, bool readOnly)
    : dir_(std::move(dir)), file_(std::move(file)), readOnly_(readOnly) {
  file_->cursorOpened();
  // Record locks are taken by edits and deletes, which a read-only cursor
  // never makes.
  if (!readOnly_) {
    auto lock = dir_->env->openLock(file_->lockPath());
    if (lock.ok()) recordLocks_ = std::move(lock).value();
  }
  seenVersion_ = file_->viewVersion();
  pendingBlobs_.resize(file_->schema().fields.size());
  Status st = first();
  (void)st;  // an empty table simply stands nowhere; damage shows on the next read
}

Table::~Table() {
  releaseRecordLock();
  if (file_->cursorClosed()) dir_->keepClosed(file_);
}

const Schema& Table::schema() const { return file_->schema(); }
const std::string& Table::path() const { return file_->path(); }

template <typename F>
Status Table::retrying(F&& op, bool step) {
  Status st;
  for (int attempt = 0; attempt < kMaxRetries; ++attempt) {
    PDX_RETURN_IF_ERROR(syncView(step && attempt == 0));
    st = op();
    if (st.code() != kStale) return st;
  }
  return Status(code::kTableBusy, file_->path() + " keeps changing; try again");
}

// Brings the cursor up to date with the file: after any write (ours or
// another process's) the current record is found again by its key, or by its
// position in an unkeyed table.
Status Table::syncView(bool step) {
  for (int attempt = 0; attempt < kMaxRetries; ++attempt) {
    PDX_RETURN_IF_ERROR(file_->refresh(step && attempt == 0));
    if (file_->viewVersion() == seenVersion_) return {};
    seenVersion_ = file_->viewVersion();
    if (!current_.valid) return {};
    // Another commit may land while the record is looked for: the view is
    // then brought up to date again and the record looked for anew. Any
    // other failure leaves the cursor without a record.
    auto giveUp = [&](const Status& st) -> std::optional<Status> {
      if (st.code() == kStale) {
        seenVersion_ = 0;
        return std::nullopt;
      }
      current_.valid = false;
      return st;
    };
    const auto& layout = file_->layout();
    if (layout.keyFields > 0) {
      const std::string key = currentRecord_.substr(0, static_cast<size_t>(layout.keySize));
      auto at = file_->lowerBound(key);
      if (!at.ok()) {
        if (auto st = giveUp(at.status())) return *st;
        continue;
      }
      if (!*at) {
        current_ = {};
        eof_ = true;
        return {};
      }
      current_ = Position{true, (*at)->block, (*at)->slot};
      ordinal_ = -1;
    } else {
      auto at = file_->posOfOrdinal(std::min<int64_t>(ordinal_, int64_t{file_->recordCount()} - 1));
      if (!at) {
        current_ = {};
        return {};
      }
      current_ = Position{true, at->block, at->slot};
    }
    auto rec = file_->record(TableFile::Pos{current_.block, current_.slot});
    if (!rec.ok()) {
      if (auto st = giveUp(rec.status())) return *st;
      continue;
    }
    currentRecord_.assign(*rec, static_cast<size_t>(file_->layout().recordSize));
    return {};
  }
  return Status(code::kTableBusy, file_->path() + " keeps changing; try again");
}

void Table::copyRecord(const char* rec) {
  const size_t size = static_cast<size_t>(file_->layout().recordSize);
  if (currentRecord_.size() == size) std::memcpy(currentRecord_.data(), rec, size);
  else currentRecord_.assign(rec, size);
}

Status Table::standOn(Position pos) {
  PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(TableFile::Pos{pos.block, pos.slot}));
  current_ = pos;
  current_.valid = true;
  copyRecord(rec);
  return {};
}

Status Table::stepForward(Position& pos) {
  if (pos.slot + 1 < file_->countIn(pos.block)) {
    ++pos.slot;
    return {};
  }
  for (size_t b = pos.block + 1; b < file_->blockCount(); ++b) {
    if (file_->countIn(b) > 0) {
      pos = Position{true, b, 0};
      return {};
    }
  }
  return Status(code::kEof, "at the end of " + file_->path());
}

Status Table::stepBack(Position& pos) {
  if (pos.slot > 0) {
    --pos.slot;
    return {};
  }
  for (size_t b = pos.block; b-- > 0;) {
    if (file_->countIn(b) > 0) {
      pos = Position{true, b, file_->countIn(b) - 1};
      return {};
    }
  }
  return Status(code::kBof, "at the beginning of " + file_->path());
}

bool Table::inRange(const char* rec) const {
  if (!rangeSet_) return true;
  if (!rangeLow_.empty() && std::memcmp(rec, rangeLow_.data(), rangeLow_.size()) < 0) return false;
  if (!rangeHigh_.empty() && std::memcmp(rec, rangeHigh_.data(), rangeHigh_.size()) > 0) return false;
  return true;
}

Status Table::first() {
  return retrying([&]() -> Status {
    eof_ = bof_ = false;
    std::optional<TableFile::Pos> at;
    if (rangeSet_ && !rangeLow_.empty()) {
      PDX_ASSIGN_OR_RETURN(at, file_->lowerBound(rangeLow_));
    } else {
      for (size_t b = 0; b < file_->blockCount(); ++b)
        if (file_->countIn(b) > 0) {
          at = TableFile::Pos{b, 0};
          break;
        }
    }
    if (at) {
      PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(*at));
      if (!inRange(rec)) at.reset();
    }
    bof_ = true;
    if (!at) {
      current_ = {};
      eof_ = true;
      return Status(code::kEof, "no records");
    }
    ordinal_ = rangeSet_ ? -1 : 0;
    return standOn(Position{true, at->block, at->slot});
  });
}

Status Table::last() {
  return retrying([&]() -> Status {
    eof_ = bof_ = false;
    std::optional<Position> at;
    if (rangeSet_ && !rangeHigh_.empty()) {
      PDX_ASSIGN_OR_RETURN(std::optional<TableFile::Pos> up, file_->upperBound(rangeHigh_));
      Position p;
      if (up) {
        p = Position{true, up->block, up->slot};
        if (stepBack(p).ok()) at = p;
      } else {
        for (size_t b = file_->blockCount(); b-- > 0;)
          if (file_->countIn(b) > 0) {
            at = Position{true, b, file_->countIn(b) - 1};
            break;
          }
      }
    } else {
      for (size_t b = file_->blockCount(); b-- > 0;)
        if (file_->countIn(b) > 0) {
          at = Position{true, b, file_->countIn(b) - 1};
          break;
        }
    }
    if (at) {
      PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(TableFile::Pos{at->block, at->slot}));
      if (!inRange(rec)) at.reset();
    }
    eof_ = true;
    if (!at) {
      current_ = {};
      bof_ = true;
      return Status(code::kEof, "no records");
    }
    ordinal_ = rangeSet_ ? -1 : int64_t{file_->recordCount()} - 1;
    return standOn(*at);
  });
}

Status Table::next() {
  // The next record in the block at hand, with nothing changed meanwhile: as
  // below, without the checks that cannot fail.
  if (current_.valid && file_->viewVersion() == seenVersion_) {
    const char* rec = file_->recordAtHand(TableFile::Pos{current_.block, current_.slot + 1});
    if (rec && inRange(rec)) {
      bof_ = eof_ = false;
      if (ordinal_ >= 0) ++ordinal_;
      ++current_.slot;
      copyRecord(rec);
      return {};
    }
  }
  return retrying([&]() -> Status {
    bof_ = false;
    if (!current_.valid) {
      eof_ = true;
      return Status(code::kEof, "no current record");
    }
    Position p = current_;
    Status st = stepForward(p);
    if (!st.ok()) {
      eof_ = true;
      return st;
    }
    PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(TableFile::Pos{p.block, p.slot}));
    if (!inRange(rec)) {
      eof_ = true;
      return Status(code::kEof, "at the end of the range");
    }
    eof_ = false;
    if (ordinal_ >= 0) ++ordinal_;
    current_ = p;
    copyRecord(rec);
    return {};
  }, /*step=*/true);
}

Status Table::prior() {
  return retrying([&]() -> Status {
    eof_ = false;
    if (!current_.valid) {
      bof_ = true;
      return Status(code::kBof, "no current record");
    }
    Position p = current_;
    Status st = stepBack(p);
    if (!st.ok()) {
      bof_ = true;
      return st;
    }
    PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(TableFile::Pos{p.block, p.slot}));
    if (!inRange(rec)) {
      bof_ = true;
      return Status(code::kBof, "at the beginning of the range");
    }
    bof_ = false;
    if (ordinal_ > 0) --ordinal_;
    else ordinal_ = -1;
    current_ = p;
    copyRecord(rec);
    return {};
  }, /*step=*/true);
}

Result<int64_t> Table::recordCount() {
  PDX_RETURN_IF_ERROR(syncView());
  if (!rangeSet_) return int64_t{file_->recordCount()};
  int64_t count = 0;
  Status st = retrying([&]() -> Status {
    std::optional<TableFile::Pos> from, to;
    if (!rangeLow_.empty()) {
      PDX_ASSIGN_OR_RETURN(from, file_->lowerBound(rangeLow_));
    } else {
      from = TableFile::Pos{0, 0};
    }
    if (!rangeHigh_.empty()) {
      PDX_ASSIGN_OR_RETURN(to, file_->upperBound(rangeHigh_));
    }
    const int64_t a = from ? file_->ordinalOf(*from) : int64_t{file_->recordCount()};
    const int64_t b = to ? file_->ordinalOf(*to) : int64_t{file_->recordCount()};
    count = std::max<int64_t>(0, b - a);
    return {};
  });
  PDX_RETURN_IF_ERROR(st);
  return count;
}

int64_t Table::position() {
  if (!syncView().ok() || !current_.valid) return -1;
  if (ordinal_ < 0) ordinal_ = file_->ordinalOf(TableFile::Pos{current_.block, current_.slot});
  return ordinal_;
}

Status Table::moveTo(int64_t position) {
  return retrying([&]() -> Status {
    auto at = file_->posOfOrdinal(position);
    if (!at) return Status(code::kEof, "position " + std::to_string(position) + " is past the end");
    PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(*at));
    if (!inRange(rec)) return Status(code::kRecordNotFound, "position outside the range");
    eof_ = bof_ = false;
    ordinal_ = position;
    return standOn(Position{true, at->block, at->slot});
  });
}

Bookmark Table::bookmark() const {
  Bookmark m;
  if (!current_.valid) return m;
  const auto& layout = file_->layout();
  if (layout.keyFields > 0) {
    for (int i = 0; i < layout.keyFields; ++i) {
      auto v = detail::decodeField(layout.fields[size_t(i)], currentRecord_.data(), layout.codePage);
      m.key.push_back(v.ok() ? *v : Value());
    }
  } else {
    m.recordNumber = ordinal_ >= 0 ? ordinal_ : file_->ordinalOf(TableFile::Pos{current_.block, current_.slot});
  }
  return m;
}

Status Table::gotoBookmark(const Bookmark& mark) {
  if (file_->layout().keyFields > 0) {
    if (mark.key.empty()) return Status(code::kInvalidParameter, "empty bookmark");
    return findKey(mark.key);
  }
  return moveTo(mark.recordNumber);
}

Status Table::refresh() {
  return retrying([&]() -> Status {
    if (!current_.valid) return {};
    return standOn(current_);
  });
}

Status Table::encodeKey(const std::vector<Value>& key, std::string& out) const {
  const auto& layout = file_->layout();
  if (layout.keyFields == 0) return Status(code::kInvalidParameter, file_->path() + " has no primary key");
  if (key.size() > static_cast<size_t>(layout.keyFields))
    return Status(code::kInvalidParameter, "more key values than key fields");
  out.clear();
  for (size_t i = 0; i < key.size(); ++i)
    PDX_RETURN_IF_ERROR(detail::encodeKeyValue(layout.fields[i], key[i], out, layout.codePage));
  return {};
}

Result<Value> Table::fieldOf(int field, const std::string& rec) {
  Value v;
  PDX_RETURN_IF_ERROR(readField(field, rec, v));
  return v;
}

namespace {

bool isMemo(FieldType type) { return type == FieldType::kMemo || type == FieldType::kFmtMemo; }

// The bytes of memo field `f` of `record` when they live in the record
// (short contents; none for a blank memo), nullopt when they are in the memo
// file.
std::optional<std::string_view> shortMemo(const detail::FieldLayout& f, const char* record) {
  const char* p = record + f.offset;
  const uint32_t length = detail::decodeBlobRef(p + f.def.size).length;
  if (length > static_cast<uint32_t>(f.def.size)) return std::nullopt;
  return std::string_view(p, length);
}

// Reads memo field `f` of `record` when its contents live in the record:
// true, with `out` its text or blank.
bool readShortMemo(const detail::FieldLayout& f, const char* record, const detail::CodePageConverter* converter,
                   Value& out) {
  const std::optional<std::string_view> bytes = shortMemo(f, record);
  if (!bytes) return false;
  if (bytes->empty()) out.setNull();
  else detail::toUtf8(*bytes, converter, out.resetText());
  return true;
}

}  // namespace

Status Table::readField(int field, const std::string& rec, Value& out) {
  const auto& layout = file_->layout();
  if (field < 0 || static_cast<size_t>(field) >= layout.fields.size()) {
    out = Value();
    return Status(code::kInvalidParameter, "no field number " + std::to_string(field));
  }
  const detail::FieldLayout& f = layout.fields[size_t(field)];
  if (!f.inMemoFile) return detail::decodeFieldInto(f, rec.data(), layout.converter, out);
  const bool memo = isMemo(f.def.type);

  std::string contents;
  bool fromBlobFile = false;
  if (state_ != State::kBrowse && pendingBlobs_[size_t(field)]) {
    contents = *pendingBlobs_[size_t(field)];
  } else {
    if (memo && readShortMemo(f, rec.data(), layout.converter, out)) return {};
    const char* p = rec.data() + f.offset;
    const detail::BlobRef ref = detail::decodeBlobRef(p + f.def.size);
    if (ref.length == 0) {
      out = Value();
      return {};
    }
    if (ref.length <= static_cast<uint32_t>(f.def.size) && ref.offset == 0) {
      // Short contents live in the record.
      contents.assign(p, ref.length);
    } else {
      Result<std::string> blob = Status();
      for (int attempt = 0; attempt < kMaxRetries; ++attempt) {
        blob = file_->readBlob(ref);
        if (blob.ok() || blob.status().code() != kStale) break;
      }
      if (!blob.ok()) {
        out = Value();
        return blob.status();
      }
      contents = std::move(blob).value();
      fromBlobFile = true;
    }
  }
  out = Value();
  if (contents.empty()) return {};
  if (f.def.type == FieldType::kGraphic && fromBlobFile) {
    // Stored pictures carry an 8-byte prefix of their own: 01 00 00 01 and
    // the picture's length (little-endian).
    if (!detail::isStoredPicture(contents))
      return Status(code::kMemoCorrupt, "graphic field \"" + f.def.name + "\" of " + file_->path() +
                                            " does not hold a picture in the stored form");
    contents.erase(0, kGraphicPrefix);
    if (contents.empty()) return {};
  }
  if (memo) detail::toUtf8(contents, layout.converter, out.resetText());
  else out = Value::bytes(std::move(contents));
  return {};
}

// The fields of the current record come from the copy taken when the cursor
// reached it, so that they all belong to one state of the table; moving or
// refresh() brings in what others have written since.
Result<Value> Table::get(int field) {
  Value v;
  PDX_RETURN_IF_ERROR(get(field, v));
  return v;
}

Status Table::get(int field, Value& out) {
  if (state_ != State::kBrowse) return readField(field, buffer_, out);
  if (!current_.valid) {
    out = Value();
    return Status(code::kNoCurrentRecord, "no current record in " + file_->path());
  }
  return readField(field, currentRecord_, out);
}

Status Table::getAll(std::span<Value> out) {
  const auto& layout = file_->layout();
  if (out.size() != layout.fields.size())
    return Status(code::kInvalidParameter, "getAll needs one value for each of the " +
                                               std::to_string(layout.fields.size()) + " fields of " + file_->path());
  const std::string* rec = &buffer_;
  if (state_ == State::kBrowse) {
    if (!current_.valid) {
      for (Value& v : out) v = Value();
      return Status(code::kNoCurrentRecord, "no current record in " + file_->path());
    }
    rec = &currentRecord_;
  }
  Status st = detail::decodeRecordInto(layout, rec->data(), out.data());
  for (size_t i = 0; i < layout.fields.size() && st.ok(); ++i)
    if (layout.fields[i].inMemoFile) st = readField(static_cast<int>(i), *rec, out[i]);
  if (!st.ok())
    for (Value& v : out) v = Value();
  return st;
}

std::string_view Table::storedRecord() const {
  if (state_ != State::kBrowse || !current_.valid) return {};
  return currentRecord_;
}

std::shared_ptr<const RecordDecoder> Table::recordDecoder() const {
  return std::shared_ptr<const RecordDecoder>(
      new RecordDecoder(std::make_shared<const detail::RecordLayout>(file_->layout())));
}

int RecordDecoder::recordSize() const { return layout_->recordSize; }
int RecordDecoder::fieldCount() const { return static_cast<int>(layout_->fields.size()); }

bool RecordDecoder::decodesEveryRecord(int field) const {
  if (field < 0 || field >= fieldCount()) return false;
  const detail::FieldLayout& f = layout_->fields[static_cast<size_t>(field)];
  // Only packed decimals have bytes that no writer produces.
  return !f.inMemoFile && f.def.type != FieldType::kBcd;
}

bool RecordDecoder::decodes(std::string_view record, int field) const {
  if (decodesEveryRecord(field)) return true;
  if (field < 0 || field >= fieldCount() || record.size() != static_cast<size_t>(layout_->recordSize)) return false;
  const detail::FieldLayout& f = layout_->fields[static_cast<size_t>(field)];
  return isMemo(f.def.type) && shortMemo(f, record.data()).has_value();
}

Status RecordDecoder::decode(std::string_view record, int field, Value& out) const {
  const bool inRange = field >= 0 && field < fieldCount() && record.size() == static_cast<size_t>(layout_->recordSize);
  const detail::FieldLayout* f = inRange ? &layout_->fields[static_cast<size_t>(field)] : nullptr;
  if (f && !f->inMemoFile) {
    if (detail::decodedInto(*f, record.data(), layout_->converter, out)) return {};
    return detail::decodeField(*f, record.data(), 0).status();
  }
  if (f && isMemo(f->def.type) && readShortMemo(*f, record.data(), layout_->converter, out)) return {};
  out = Value();
  return Status(code::kInvalidParameter, "no field " + std::to_string(field) + " to decode in a record of " +
                                             std::to_string(record.size()) + " bytes");
}

Result<Value> Table::get(std::string_view fieldName) {
  const int i = schema().fieldIndex(fieldName);
  if (i < 0) return Status(code::kInvalidParameter, "no field " + quote(fieldName) + " in " + file_->path());
  return get(i);
}

Status Table::findKey(const std::vector<Value>& key) {
  if (state_ != State::kBrowse) return Status(code::kInvalidParameter, "post or cancel the record first");
  std::string prefix;
  PDX_RETURN_IF_ERROR(encodeKey(key, prefix));
  return retrying([&]() -> Status {
    PDX_ASSIGN_OR_RETURN(std::optional<TableFile::Pos> at, file_->lowerBound(prefix));
    if (!at) return Status(code::kRecordNotFound, "key not found in " + file_->path());
    PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(*at));
    if (std::memcmp(rec, prefix.data(), prefix.size()) != 0 || !inRange(rec))
      return Status(code::kRecordNotFound, "key not found in " + file_->path());
    eof_ = bof_ = false;
    ordinal_ = -1;
    return standOn(Position{true, at->block, at->slot});
  });
}

Status Table::findNearest(const std::vector<Value>& key) {
  if (state_ != State::kBrowse) return Status(code::kInvalidParameter, "post or cancel the record first");
  std::string prefix;
  PDX_RETURN_IF_ERROR(encodeKey(key, prefix));
  return retrying([&]() -> Status {
    PDX_ASSIGN_OR_RETURN(std::optional<TableFile::Pos> at, file_->lowerBound(prefix));
    if (at) {
      PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(*at));
      if (inRange(rec)) {
        eof_ = bof_ = false;
        ordinal_ = -1;
        return standOn(Position{true, at->block, at->slot});
      }
    }
    Status st = last();
    eof_ = true;
    return st.ok() || st.is(code::kEof) ? Status() : st;
  });
}

Status Table::setRange(const std::vector<Value>& low, const std::vector<Value>& high) {
  std::string lo, hi;
  PDX_RETURN_IF_ERROR(encodeKey(low, lo));
  PDX_RETURN_IF_ERROR(encodeKey(high, hi));
  rangeSet_ = true;
  rangeLow_ = std::move(lo);
  rangeHigh_ = std::move(hi);
  Status st = first();
  return st.is(code::kEof) ? Status() : st;
}

Status Table::cancelRange() {
  rangeSet_ = false;
  rangeLow_.clear();
  rangeHigh_.clear();
  if (current_.valid) return {};
  Status st = first();
  return st.is(code::kEof) ? Status() : st;
}

Status Table::locate(const std::vector<int>& fields, const std::vector<Value>& values, const LocateOptions& options) {
  if (state_ != State::kBrowse) return Status(code::kInvalidParameter, "post or cancel the record first");
  if (fields.size() != values.size() || fields.empty())
    return Status(code::kInvalidParameter, "locate needs as many values as fields");
  const auto& layout = file_->layout();
  for (int f : fields)
    if (f < 0 || static_cast<size_t>(f) >= layout.fields.size())
      return Status(code::kInvalidParameter, "no field number " + std::to_string(f));

  // Leading key fields matched exactly: one index search.
  bool leading = !options.partialKey && !options.caseInsensitive && layout.keyFields >= static_cast<int>(fields.size());
  for (size_t i = 0; leading && i < fields.size(); ++i) leading = fields[i] == static_cast<int>(i);
  if (leading) {
    std::vector<Value> key(values.begin(), values.end());
    return findKey(key);
  }

  // Otherwise compare field by field in table order. Criteria are brought to
  // the field's type first, so "12" finds 12 in a number field.
  struct Criterion {
    int field;
    bool text;
    std::string want;  // folded text, or the encoded bytes
  };
  std::vector<Criterion> crit;
  for (size_t i = 0; i < fields.size(); ++i) {
    const detail::FieldLayout& f = layout.fields[size_t(fields[i])];
    Criterion c{fields[i], false, {}};
    if (f.def.type == FieldType::kAlpha || f.def.type == FieldType::kMemo || f.def.type == FieldType::kFmtMemo) {
      c.text = true;
      if (!values[i].isNull() && values[i].kind() != Value::Kind::kText)
        return Status(code::kInvalidValue, "field \"" + f.def.name + "\" holds text");
      c.want = values[i].isNull() ? std::string() : trimRight(values[i].asText());
      if (options.caseInsensitive) c.want = foldCase(c.want);
    } else if (isBlobType(f.def.type)) {
      return Status(code::kInvalidParameter, "cannot locate on blob field \"" + f.def.name + "\"");
    } else {
      PDX_RETURN_IF_ERROR(detail::encodeKeyValue(f, values[i], c.want, layout.codePage));
    }
    crit.push_back(std::move(c));
  }
  return retrying([&]() -> Status {
    Position p;
    std::optional<TableFile::Pos> start;
    if (rangeSet_ && !rangeLow_.empty()) {
      PDX_ASSIGN_OR_RETURN(start, file_->lowerBound(rangeLow_));
    } else {
      for (size_t b = 0; b < file_->blockCount(); ++b)
        if (file_->countIn(b) > 0) {
          start = TableFile::Pos{b, 0};
          break;
        }
    }
    if (!start) return Status(code::kRecordNotFound, "no matching record in " + file_->path());
    p = Position{true, start->block, start->slot};
    std::string rec;
    for (;;) {
      PDX_ASSIGN_OR_RETURN(const char* r, file_->record(TableFile::Pos{p.block, p.slot}));
      if (!inRange(r)) break;
      rec.assign(r, static_cast<size_t>(layout.recordSize));
      bool match = true;
      for (const Criterion& c : crit) {
        const detail::FieldLayout& f = layout.fields[size_t(c.field)];
        if (c.text) {
          PDX_ASSIGN_OR_RETURN(Value v, fieldOf(c.field, rec));
          std::string have = v.isNull() ? std::string() : trimRight(v.asText());
          if (options.caseInsensitive) have = foldCase(have);
          match = options.partialKey ? have.compare(0, c.want.size(), c.want) == 0 : have == c.want;
        } else {
          match = std::memcmp(rec.data() + f.offset, c.want.data(), c.want.size()) == 0;
        }
        if (!match) break;
      }
      if (match) {
        eof_ = bof_ = false;
        ordinal_ = -1;
        return standOn(p);
      }
      if (!stepForward(p).ok()) break;
    }
    return Status(code::kRecordNotFound, "no matching record in " + file_->path());
  });
}

// ------------------------------------------------------------------ writing

Status Table::requireEditing() const {
  if (state_ == State::kBrowse) return Status(code::kNotEditing, "the record is not being edited");
  return {};
}

Status Table::lockRecord(const std::string& rec) {
  if (!recordLocks_) return Status(code::kInvalidParameter, file_->path() + " is open read-only");
  const auto& layout = file_->layout();
  const std::string_view identity = layout.keyFields > 0 ? std::string_view(rec).substr(0, static_cast<size_t>(layout.keySize))
                                                          : std::string_view(rec);
  const uint64_t offset = TableFile::kRecordLockBase + hashBytes(identity) % TableFile::kRecordLockSpan;
  Status st = recordLocks_->lock(offset, 1, LockMode::kExclusive, 0);
  if (!st.ok()) {
    if (st.is(code::kRecordLocked))
      return Status(code::kRecordLocked, "record locked by another user in " + file_->path());
    return st;
  }
  lockedOffset_ = offset;
  return {};
}

void Table::releaseRecordLock() {
  if (lockedOffset_ != 0 && recordLocks_) recordLocks_->unlock(lockedOffset_, 1);
  lockedOffset_ = 0;
}

// Finds the record that was `original` when the cursor read it.
Status Table::findRecord(const std::string& original, Position& where) {
  const auto& layout = file_->layout();
  if (layout.keyFields > 0) {
    const std::string key = original.substr(0, static_cast<size_t>(layout.keySize));
    PDX_ASSIGN_OR_RETURN(std::optional<TableFile::Pos> at, file_->lowerBound(key));
    if (at) {
      PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(*at));
      if (std::memcmp(rec, key.data(), key.size()) == 0) {
        where = Position{true, at->block, at->slot};
        return {};
      }
    }
    return Status(code::kRecordChanged, "the record was deleted by another user in " + file_->path());
  }
  // Unkeyed: the same bytes, looked for at the cursor's position first.
  if (current_.valid && current_.block < file_->blockCount() && current_.slot < file_->countIn(current_.block)) {
    PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(TableFile::Pos{current_.block, current_.slot}));
    if (std::memcmp(rec, original.data(), original.size()) == 0) {
      where = current_;
      return {};
    }
  }
  for (size_t b = 0; b < file_->blockCount(); ++b)
    for (int s = 0; s < file_->countIn(b); ++s) {
      PDX_ASSIGN_OR_RETURN(const char* rec, file_->record(TableFile::Pos{b, s}));
      if (std::memcmp(rec, original.data(), original.size()) == 0) {
        where = Position{true, b, s};
        return {};
      }
    }
  return Status(code::kRecordChanged, "the record was changed or deleted by another user in " + file_->path());
}

Status Table::edit() {
  if (readOnly_) return Status(code::kInvalidParameter, file_->path() + " is open read-only");
  if (state_ != State::kBrowse) return Status(code::kInvalidParameter, "the record is already being edited");
  PDX_RETURN_IF_ERROR(syncView());
  if (!current_.valid) return Status(code::kNoCurrentRecord, "no current record in " + file_->path());
  PDX_RETURN_IF_ERROR(lockRecord(currentRecord_));
  // With the lock held, read the record as it is now: another user may have
  // posted to it since this cursor last looked.
  Status st = retrying([&]() -> Status {
    Position where;
    PDX_RETURN_IF_ERROR(findRecord(currentRecord_, where));
    return standOn(where);
  });
  if (!st.ok()) {
    releaseRecordLock();
    return st;
  }
  original_ = currentRecord_;
  buffer_ = currentRecord_;
  for (auto& p : pendingBlobs_) p.reset();
  state_ = State::kEdit;
  return {};
}

Status Table::insert() {
  if (readOnly_) return Status(code::kInvalidParameter, file_->path() + " is open read-only");
  if (state_ != State::kBrowse) return Status(code::kInvalidParameter, "the record is already being edited");
  buffer_.assign(static_cast<size_t>(file_->layout().recordSize), '\0');
  for (auto& p : pendingBlobs_) p.reset();
  state_ = State::kInsert;
  return {};
}

Status Table::append() { return insert(); }

Status Table::set(int field, const Value& value) {
  if (state_ == State::kBrowse) return requireEditing();
  const auto& layout = file_->layout();
  if (field < 0 || static_cast<size_t>(field) >= layout.fields.size())
    return Status(code::kInvalidParameter, "no field number " + std::to_string(field));
  const detail::FieldLayout& f = layout.fields[size_t(field)];
  if (f.def.type == FieldType::kAutoInc && state_ == State::kEdit) {
    const std::string before = buffer_.substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.stored));
    std::string probe = buffer_;
    PDX_RETURN_IF_ERROR(detail::encodeField(f, value, probe.data(), layout.codePage));
    if (probe.compare(static_cast<size_t>(f.offset), static_cast<size_t>(f.stored), before) != 0)
      return Status(code::kInvalidValue, "field \"" + f.def.name + "\" is numbered by the table and cannot change");
    return {};
  }
  if (!isBlobType(f.def.type)) return detail::encodeField(f, value, buffer_.data(), layout.codePage);

  std::string contents;
  if (value.isNull()) {
  } else if (f.def.type == FieldType::kMemo || f.def.type == FieldType::kFmtMemo) {
    if (value.kind() == Value::Kind::kBytes) {
      contents = value.asBytes();
    } else if (value.kind() == Value::Kind::kText) {
      auto bytes = detail::fromUtf8(value.asText(), layout.codePage);
      if (!bytes.ok()) return Status(bytes.status().code(), "field \"" + f.def.name + "\": " + bytes.status().message());
      contents = std::move(bytes).value();
    } else {
      return Status(code::kInvalidValue, "field \"" + f.def.name + "\" holds text");
    }
  } else {
    if (value.kind() != Value::Kind::kBytes) return Status(code::kInvalidValue, "field \"" + f.def.name + "\" holds bytes");
    contents = value.asBytes();
  }
  pendingBlobs_[size_t(field)] = std::move(contents);
  return {};
}

namespace {

// True when `bytes`, a stored field of type `type`, are exactly what encoding
// its decoded value would give again.
bool canonical(FieldType type, const char* bytes, size_t n) {
  switch (type) {
    case FieldType::kAlpha: {
      // Text ends at its first NUL and is padded with NULs; encoding drops
      // trailing blanks.
      const size_t length = strnlen(bytes, n);
      if (length > 0 && bytes[length - 1] == ' ') return false;
      for (size_t i = length; i < n; ++i)
        if (bytes[i] != '\0') return false;
      return true;
    }
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kDate: return true;
    default: return false;
  }
}

}  // namespace

Status Table::setFrom(int field, const RecordDecoder& decoder, std::string_view record, int from) {
  if (state_ == State::kBrowse) return requireEditing();
  const auto& layout = file_->layout();
  const detail::RecordLayout& source = *decoder.layout_;
  if (field >= 0 && static_cast<size_t>(field) < layout.fields.size() && from >= 0 &&
      static_cast<size_t>(from) < source.fields.size() && record.size() == static_cast<size_t>(source.recordSize) &&
      source.codePage == layout.codePage) {
    const detail::FieldLayout& to = layout.fields[static_cast<size_t>(field)];
    const detail::FieldLayout& f = source.fields[static_cast<size_t>(from)];
    const char* bytes = record.data() + f.offset;
    if (to.def.type == f.def.type && to.stored == f.stored && canonical(f.def.type, bytes, static_cast<size_t>(f.stored))) {
      std::memcpy(buffer_.data() + to.offset, bytes, static_cast<size_t>(f.stored));
      return {};
    }
  }
  Value value;
  PDX_RETURN_IF_ERROR(decoder.decode(record, from, value));
  return set(field, value);
}

Status Table::set(std::string_view fieldName, const Value& value) {
  const int i = schema().fieldIndex(fieldName);
  if (i < 0) return Status(code::kInvalidParameter, "no field " + quote(fieldName) + " in " + file_->path());
  return set(i, value);
}

namespace {

// Writes the new contents of changed memo/blob fields into the .MB and their
// pointers into the record. Records what it wrote, to undo on failure, and
// what the record pointed at before, to release after success.
Status storeBlobs(TableFile::Writer& w, const detail::RecordLayout& layout,
                  const std::vector<std::optional<std::string>>& pending, std::string& rec,
                  std::vector<detail::BlobRef>& written, std::vector<detail::BlobRef>& replaced) {
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    if (!pending[i]) continue;
    const detail::FieldLayout& f = layout.fields[i];
    char* p = rec.data() + f.offset;
    const detail::BlobRef old = detail::decodeBlobRef(p + f.def.size);
    if (old.length > static_cast<uint32_t>(f.def.size) && old.offset != 0) replaced.push_back(old);
    std::string data = *pending[i];
    std::memset(p, 0, static_cast<size_t>(f.stored));
    if (data.empty()) continue;
    // The record keeps the first bytes of the contents (of a picture: of the
    // picture itself, without the stored prefix).
    std::memcpy(p, data.data(), std::min(data.size(), static_cast<size_t>(f.def.size)));
    const bool inRecord = f.def.type != FieldType::kGraphic && data.size() <= static_cast<size_t>(f.def.size);
    if (f.def.type == FieldType::kGraphic) {
      if (data.size() > 0x7FFFFFF0) return Status(code::kInvalidValue, "picture too large for field \"" + f.def.name + "\"");
      char prefix[8] = {1, 0, 0, 1, 0, 0, 0, 0};
      detail::putU32(prefix + 4, static_cast<uint32_t>(data.size()));
      data.insert(0, prefix, 8);
    }
    if (data.size() > 0x7FFFFFFF) return Status(code::kInvalidValue, "contents too large for field \"" + f.def.name + "\"");
    detail::BlobRef ref;
    if (inRecord) {
      ref.length = static_cast<uint32_t>(data.size());
    } else {
      PDX_ASSIGN_OR_RETURN(ref, w.writeBlob(data));
      written.push_back(ref);
    }
    detail::encodeBlobRef(ref, p + f.def.size);
  }
  return {};
}

}  // namespace

Status Table::post() {
  PDX_RETURN_IF_ERROR(requireEditing());
  const auto& layout = file_->layout();
  Status st = [&]() -> Status {
    for (int attempt = 0;; ++attempt) {
      TableFile::Writer w(*file_, dir_.get());
      PDX_RETURN_IF_ERROR(w.begin());
      std::string& rec = posting_;
      rec.assign(buffer_);
      std::vector<detail::BlobRef> written, replaced;
      auto undoBlobs = [&] {
        for (const auto& r : written) (void)w.releaseBlob(r);
      };
      Result<TableFile::Pos> at = Status();
      if (state_ == State::kInsert) {
        for (const auto& f : layout.fields) {
          if (f.def.type != FieldType::kAutoInc) continue;
          auto v = detail::decodeField(f, rec.data(), layout.codePage);
          if (v.ok() && !v->isNull() && v->asInteger() > 0) {
            w.noteAutoInc(static_cast<uint32_t>(v->asInteger()));
          } else {
            PDX_RETURN_IF_ERROR(detail::encodeField(f, Value::integer(w.nextAutoInc()), rec.data(), layout.codePage));
          }
        }
        PDX_RETURN_IF_ERROR(storeBlobs(w, layout, pendingBlobs_, rec, written, replaced));
        at = w.insert(rec);
        if (!at.ok()) {
          undoBlobs();
          if (at.status().code() == kStale && attempt < kMaxRetries) continue;
          return at.status();
        }
      } else {
        Position where;
        Status found = findRecord(original_, where);
        if (found.code() == kStale && attempt < kMaxRetries) continue;
        PDX_RETURN_IF_ERROR(found);
        // The record as stored now: blobs it points at are the ones to replace.
        PDX_ASSIGN_OR_RETURN(const char* now, file_->record(TableFile::Pos{where.block, where.slot}));
        // Never write over a change this cursor has not seen (a process that
        // edited without waiting for the record's lock, or a commit that
        // landed between this edit and its post).
        if (std::memcmp(now, original_.data(), original_.size()) != 0)
          return Status(code::kRecordChanged, "the record was changed by another user in " + file_->path() +
                                                  "; read it again and repeat the change");
        for (size_t i = 0; i < layout.fields.size(); ++i) {
          const auto& f = layout.fields[i];
          if (isBlobType(f.def.type)) std::memcpy(rec.data() + f.offset, now + f.offset, static_cast<size_t>(f.stored));
        }
        PDX_RETURN_IF_ERROR(storeBlobs(w, layout, pendingBlobs_, rec, written, replaced));
        const size_t keySize = static_cast<size_t>(layout.keySize);
        if (layout.keyFields > 0 && rec.compare(0, keySize, original_, 0, keySize) != 0) {
          // A new key: the record moves to its place in key order.
          PDX_ASSIGN_OR_RETURN(std::optional<TableFile::Pos> clash, file_->lowerBound(rec.substr(0, keySize)));
          if (clash) {
            PDX_ASSIGN_OR_RETURN(const char* other, file_->record(*clash));
            if (std::memcmp(other, rec.data(), keySize) == 0) {
              undoBlobs();
              return Status(code::kKeyViolation, "key violation: " + file_->path() + " already has a record with this key");
            }
          }
          PDX_RETURN_IF_ERROR(w.remove(TableFile::Pos{where.block, where.slot}));
          at = w.insert(rec);
        } else {
          Status r = w.replace(TableFile::Pos{where.block, where.slot}, rec);
          at = r.ok() ? Result<TableFile::Pos>(TableFile::Pos{where.block, where.slot}) : Result<TableFile::Pos>(r);
        }
        if (!at.ok()) {
          undoBlobs();
          return at.status();
        }
      }
      for (const auto& r : replaced) PDX_RETURN_IF_ERROR(w.releaseBlob(r));
      PDX_RETURN_IF_ERROR(w.commit());
      seenVersion_ = file_->viewVersion();
      current_ = Position{true, at->block, at->slot};
      currentRecord_.swap(rec);
      ordinal_ = -1;
      eof_ = bof_ = false;
      return {};
    }
  }();
  if (!st.ok()) return st;
  releaseRecordLock();
  state_ = State::kBrowse;
  for (auto& p : pendingBlobs_) p.reset();
  return {};
}

Status Table::cancel() {
  releaseRecordLock();
  state_ = State::kBrowse;
  for (auto& p : pendingBlobs_) p.reset();
  buffer_.clear();
  return {};
}

Status Table::remove() {
  if (readOnly_) return Status(code::kInvalidParameter, file_->path() + " is open read-only");
  PDX_RETURN_IF_ERROR(syncView());
  if (!current_.valid) return Status(code::kNoCurrentRecord, "no current record in " + file_->path());
  const bool hadLock = state_ == State::kEdit && lockedOffset_ != 0;
  if (!hadLock) PDX_RETURN_IF_ERROR(lockRecord(currentRecord_));
  const std::string target = state_ == State::kEdit ? original_ : currentRecord_;
  Status st = [&]() -> Status {
    for (int attempt = 0;; ++attempt) {
      TableFile::Writer w(*file_, dir_.get());
      PDX_RETURN_IF_ERROR(w.begin());
      Position where;
      Status found = findRecord(target, where);
      if (found.code() == kStale && attempt < kMaxRetries) continue;
      PDX_RETURN_IF_ERROR(found);
      PDX_ASSIGN_OR_RETURN(const char* now, file_->record(TableFile::Pos{where.block, where.slot}));
      const std::string rec(now, static_cast<size_t>(file_->layout().recordSize));
      for (const auto& f : file_->layout().fields) {
        if (!isBlobType(f.def.type)) continue;
        const detail::BlobRef ref = detail::decodeBlobRef(rec.data() + f.offset + f.def.size);
        if (ref.length > static_cast<uint32_t>(f.def.size) && ref.offset != 0) PDX_RETURN_IF_ERROR(w.releaseBlob(ref));
      }
      const int64_t ordinal = file_->ordinalOf(TableFile::Pos{where.block, where.slot});
      PDX_RETURN_IF_ERROR(w.remove(TableFile::Pos{where.block, where.slot}));
      PDX_RETURN_IF_ERROR(w.commit());
      seenVersion_ = file_->viewVersion();
      // Stand on the record that followed the deleted one.
      auto next = file_->posOfOrdinal(ordinal);
      if (!next) next = file_->posOfOrdinal(ordinal - 1);
      current_ = {};
      if (next) {
        ordinal_ = -1;
        Status s = standOn(Position{true, next->block, next->slot});
        if (!s.ok() && s.code() != kStale) return s;
      }
      return {};
    }
  }();
  releaseRecordLock();
  if (st.ok()) {
    state_ = State::kBrowse;
    for (auto& p : pendingBlobs_) p.reset();
  }
  return st;
}

}  // namespace pdx
