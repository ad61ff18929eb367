// Cross-checks against pxlib, a Paradox reader and writer written
// independently of this engine: what one writes, the other must read with the
// same values, bit for bit. (pxlib_test_util.h says which quirks of pxlib
// the reading works around, and why the tables have no memo fields.)
#include <iconv.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <filesystem>
#include <set>
#include <unordered_set>

#include "pdx/check.h"
#include "pdx/table.h"
#include "pxlib_test_util.h"
#include "test_util.h"

#ifndef TALLIMOOR_SAMPLES
#error "TALLIMOOR_SAMPLES must name the folder of sample tables"
#endif

namespace pdx {
namespace {

using testing::PxDoc;
using testing::pxlibRow;
using testing::pxlibRows;
using testing::Row;
using testing::TempDir;

// ---------------------------------------------------------------- values

std::string show(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull: return "(blank)";
    case Value::Kind::kText: return "\"" + v.asText() + "\"";
    case Value::Kind::kInteger: return std::to_string(v.asInteger());
    case Value::Kind::kNumber: {
      char b[64];
      std::snprintf(b, sizeof b, "%.17g", v.asNumber());
      return b;
    }
    case Value::Kind::kLogical: return v.asLogical() ? "true" : "false";
    case Value::Kind::kDate: return "day " + std::to_string(v.asDate().days);
    case Value::Kind::kTime: return std::to_string(v.asTime().ms) + " ms";
    case Value::Kind::kTimestamp: {
      char b[64];
      std::snprintf(b, sizeof b, "%.17g ms", v.asTimestamp().ms);
      return b;
    }
    case Value::Kind::kBytes: {
      std::string out = "bytes";
      char b[4];
      for (unsigned char c : v.asBytes()) {
        std::snprintf(b, sizeof b, " %02x", c);
        out += b;
      }
      return out;
    }
    case Value::Kind::kDecimal: return "decimal " + v.asDecimal();
  }
  return "?";
}

uint64_t bitsOf(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// Decimal text in one spelling: optional '-', integer digits without leading
// zeros ("0" when none), then exactly `decimals` fraction digits.
std::string canonicalDecimal(std::string_view s, int decimals) {
  bool negative = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  std::string intPart, frac;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') intPart += s[i++];
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') frac += s[i++];
  }
  if (i != s.size()) return "unparsable:" + std::string(s);
  intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
  if (intPart.empty()) intPart = "0";
  while (static_cast<int>(frac.size()) > decimals && frac.back() == '0') frac.pop_back();
  frac.resize(static_cast<size_t>(std::max(decimals, static_cast<int>(frac.size()))), '0');
  const bool zero = intPart == "0" && frac.find_first_not_of('0') == std::string::npos;
  return (negative && !zero ? "-" : "") + intPart + (frac.empty() ? "" : "." + frac);
}

// Exact equality: doubles bit for bit, decimals in canonical spelling.
bool sameValue(const Value& a, const Value& b, int bcdDecimals) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::kNumber: return bitsOf(a.asNumber()) == bitsOf(b.asNumber());
    case Value::Kind::kTimestamp: return bitsOf(a.asTimestamp().ms) == bitsOf(b.asTimestamp().ms);
    case Value::Kind::kDecimal:
      return canonicalDecimal(a.asDecimal(), bcdDecimals) == canonicalDecimal(b.asDecimal(), bcdDecimals);
    default: return a == b;
  }
}

// Text conversion by the C library, independent of the engine's own tables.
std::string iconvert(const std::string& in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "iconv-unavailable";
  std::string out(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "iconv-failed";
  out.resize(out.size() - dstLeft);
  return out;
}

// ---------------------------------------------------------------- schema and rows

// Every type pxlib 0.6.8 reads and writes, memo and blob kinds excepted. The
// key (when there is one) is Id then Code.
constexpr int kBcdDecimals = 2;

std::vector<FieldDef> interopFields() {
  return {
      {"Id", FieldType::kLong, 0},      {"Code", FieldType::kAlpha, 6},      {"Label", FieldType::kAlpha, 40},
      {"Qty", FieldType::kShort, 0},    {"Total", FieldType::kLong, 0},      {"Price", FieldType::kMoney, 0},
      {"Ratio", FieldType::kNumber, 0}, {"Day", FieldType::kDate, 0},        {"Hour", FieldType::kTime, 0},
      {"Stamp", FieldType::kTimestamp, 0}, {"Paid", FieldType::kLogical, 0}, {"Amount", FieldType::kBcd, kBcdDecimals},
      {"Raw", FieldType::kBytes, 5},    {"Serial", FieldType::kAutoInc, 0},
  };
}
constexpr int kSerialField = 13;

// Random rows with blanks, accented French text (code page 1252, including
// the 0x80-0x9F range), negative numbers and awkward doubles.
class RowMaker {
 public:
  explicit RowMaker(uint32_t seed) : rng_(seed) {}

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(int percent) { return pick(1, 100) <= percent; }

  double anyDouble() {
    switch (pick(0, 5)) {
      case 0: return -std::ldexp(static_cast<double>(pick(1, 1 << 30)), pick(-1074, 960) / 32);
      case 1: return static_cast<double>(pick(-999999, 999999)) / 100.0;  // money-like, inexact in binary
      case 2: return std::numeric_limits<double>::denorm_min() * pick(1, 1000);
      case 3: return -std::numeric_limits<double>::max() / pick(1, 1000);
      default: {
        for (;;) {  // any finite bit pattern
          uint64_t bits = (uint64_t{static_cast<uint32_t>(rng_())} << 32) | static_cast<uint32_t>(rng_());
          double d;
          std::memcpy(&d, &bits, sizeof d);
          if (std::isfinite(d) && d != 0) return d;
        }
      }
    }
  }

  std::string frenchText(int maxChars) {
    static const char* const kWords[] = {"Société", "élève", "Noël", "garçon", "Œuvre", "cœur", "à",  "où",
                                         "Hôtel",   "Ça",    "€",    "naïve",  "«",     "»",    "—",  "déjà",
                                         "façade",  "Über",  "ÿ",    "–",      "‰",     "Ž",    "dé"};
    std::string out;
    int chars = 0;
    const int want = pick(1, maxChars);
    while (chars < want) {
      const std::string w = kWords[pick(0, static_cast<int>(std::size(kWords)) - 1)];
      const int n = static_cast<int>(iconvert(w, "UTF-8", "CP1252").size());
      if (chars + n + (out.empty() ? 0 : 1) > want) break;
      if (!out.empty()) {
        out += ' ';
        ++chars;
      }
      out += w;
      chars += n;
    }
    return out.empty() ? "é" : out;
  }

  // A row of interopFields(); the key fields are set by the caller.
  Row row() {
    Row r(interopFields().size());
    auto blank = [&] { return chance(12); };
    r[2] = blank() ? Value() : Value::text(frenchText(40));
    r[3] = blank() ? Value() : Value::integer(pick(-32767, 32767));
    r[4] = blank() ? Value() : Value::integer(chance(10) ? (chance(50) ? 2147483647 : -2147483647) : pick(INT32_MIN + 1, INT32_MAX));
    r[5] = blank() ? Value() : Value::number(static_cast<double>(pick(-99999999, 99999999)) / 100.0);
    r[6] = blank() ? Value() : Value::number(anyDouble());
    r[7] = blank() ? Value() : Value::date(Date{pick(1, 3'652'059)});
    r[8] = blank() ? Value() : Value::time(Time{pick(0, 86'399'999)});
    r[9] = blank() ? Value()
                   : Value::timestamp(Timestamp{static_cast<double>(pick(1, 3'652'059)) * 86'400'000.0 + pick(0, 86'399'999)});
    r[10] = blank() ? Value() : Value::logical(chance(50));
    if (!blank()) {
      std::string digits = std::to_string(pick(0, 999999999)) + std::to_string(pick(0, 99999));
      digits = digits.substr(0, static_cast<size_t>(pick(1, 14)));
      r[11] = Value::decimal((chance(40) ? "-" : "") + digits + "." + std::to_string(pick(10, 99)));
    }
    if (!blank()) {
      std::string raw(5, '\0');
      for (auto& c : raw) c = static_cast<char>(pick(0, 255));
      raw[0] = static_cast<char>(pick(1, 255));  // all-zero bytes would read back blank
      r[12] = Value::bytes(raw);
    }
    return r;
  }

 private:
  std::mt19937 rng_;
};

std::string describeRow(const Row& r) {
  std::string out;
  for (const auto& v : r) out += (out.empty() ? "" : " | ") + show(v);
  return out;
}

void expectSameRow(const Row& want, const Row& got, const std::string& where) {
  ASSERT_EQ(want.size(), got.size()) << where;
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_TRUE(sameValue(want[i], got[i], kBcdDecimals))
        << where << ", field " << interopFields()[i].name << ": expected " << show(want[i]) << ", read " << show(got[i]);
}

// ---------------------------------------------------------------- engine side

// Holds the changes of a directory in write groups of `size` changes, so
// that thousands of rows do not each wait for the disk. The groups commit
// exactly as single posts do; the last one commits on finish().
class Batches {
 public:
  Batches(Directory& dir, int size) : dir_(dir), size_(size) { begin(); }
  void changed() {
    if (++count_ % size_ == 0) {
      finish();
      begin();
    }
  }
  void finish() {
    if (group_) {
      Status st = group_->commit();
      EXPECT_TRUE(st.ok()) << st.toString();
      group_.reset();
    }
  }

 private:
  void begin() {
    auto g = dir_.beginGroup();
    ASSERT_TRUE(g.ok()) << g.status().toString();
    group_ = std::move(g).value();
  }
  Directory& dir_;
  int size_;
  int count_ = 0;
  std::unique_ptr<WriteGroup> group_;
};

Result<std::vector<Row>> engineRows(const std::string& dir, const std::string& name) {
  PDX_ASSIGN_OR_RETURN(auto d, Directory::open(dir));
  PDX_ASSIGN_OR_RETURN(auto t, d->openTable(name, Directory::Access::kReadOnly));
  std::vector<Row> rows;
  Status st = t->first();
  while (st.ok()) {
    Row r;
    for (int i = 0; i < static_cast<int>(t->schema().fields.size()); ++i) {
      PDX_ASSIGN_OR_RETURN(Value v, t->get(i));
      r.push_back(std::move(v));
    }
    rows.push_back(std::move(r));
    st = t->next();
  }
  if (!st.is(code::kEof)) return st;
  return rows;
}

// Puts `row` into a record buffer with pxlib's own encoders.
void pxlibEncode(PxDoc& px, const Row& row, std::vector<char>& rec) {
  pxdoc_t* d = px.get();
  std::fill(rec.begin(), rec.end(), 0);
  int offset = 0;
  for (int i = 0; i < PX_get_num_fields(d); ++i) {
    const pxfield_t* f = PX_get_field(d, i);
    char* p = rec.data() + offset;
    offset += f->px_flen;
    const Value& v = row[size_t(i)];
    if (v.isNull()) continue;
    switch (static_cast<FieldType>(f->px_ftype)) {
      case FieldType::kAlpha: {
        std::string bytes = iconvert(v.asText(), "UTF-8", "CP1252");
        PX_put_data_alpha(d, p, f->px_flen, bytes.data());
        break;
      }
      case FieldType::kShort: PX_put_data_short(d, p, f->px_flen, static_cast<short>(v.asInteger())); break;
      case FieldType::kLong:
      case FieldType::kAutoInc: PX_put_data_long(d, p, f->px_flen, static_cast<int>(v.asInteger())); break;
      case FieldType::kDate: PX_put_data_long(d, p, f->px_flen, v.asDate().days); break;
      case FieldType::kTime: PX_put_data_long(d, p, f->px_flen, v.asTime().ms); break;
      case FieldType::kMoney:
      case FieldType::kNumber: PX_put_data_double(d, p, f->px_flen, v.asNumber()); break;
      case FieldType::kTimestamp: PX_put_data_double(d, p, f->px_flen, v.asTimestamp().ms); break;
      case FieldType::kLogical: PX_put_data_byte(d, p, f->px_flen, v.asLogical() ? 1 : 0); break;
      case FieldType::kBcd: {
        std::string text = v.asDecimal();
        PX_put_data_bcd(d, p, f->px_fdc, text.data());
        break;
      }
      case FieldType::kBytes: {
        std::string raw = v.asBytes();
        PX_put_data_bytes(d, p, f->px_flen, raw.data());
        break;
      }
      default: break;
    }
  }
}

// Levels of a primary index, from its header.
//
// pxlib 0.6.8 reads an index of one level only: on a deeper one,
// PX_read_primary_index walks off the end of the leaf chain and its error
// path frees one pointer many times. Deeper indexes are therefore only
// opened by pxlib, not read.
int indexLevels(const std::string& pxPath) {
  const std::string bytes = testing::readFile(pxPath);
  return bytes.size() > 0x20 ? static_cast<unsigned char>(bytes[0x20]) : -1;
}

// The encryption word of a table header. In a .DB of level 4 and later,
// 0xFF00FF00 there means "look at the second word in the header extension";
// a .PX has no extension, and every real .PX holds 0 there. pxlib 0.6.8,
// given 0xFF00FF00 in a .PX, takes the second word from uninitialised stack
// memory and may decrypt the index blocks with it.
constexpr size_t kIndexEncryptionAt = 0x25;

// ---------------------------------------------------------------- tests

struct Layout {
  bool keyed;
  int blockSize;
};

std::string nameOf(const Layout& l) {
  return std::string(l.keyed ? "keyed" : "unkeyed") + ", " + std::to_string(l.blockSize) + "-byte blocks";
}

// Writes `count` random rows through the engine, deletes about a third at
// random, adds some more, and returns the rows the table must now hold in
// table order.
std::vector<Row> fillWithEngine(Directory& dir, const std::string& name, bool keyed, int count, uint32_t seed) {
  RowMaker maker(seed);
  auto t = dir.openTable(name);
  EXPECT_TRUE(t.ok()) << t.status().toString();
  if (!t.ok()) return {};
  Table& table = **t;
  Batches batches(dir, 250);
  // Keyed: rows by key (Id, Code); unkeyed: rows in insertion order.
  std::map<std::pair<int64_t, std::string>, Row> byKey;
  std::vector<Row> inOrder;
  auto add = [&](int n) {
    for (int i = 0; i < n; ++i) {
      Row r = maker.row();
      const int64_t id = keyed ? maker.pick(-1'000'000, 1'000'000) : maker.pick(-50, 50);
      r[0] = Value::integer(id);
      r[1] = Value::text("K" + std::to_string(maker.pick(0, 9999)));
      if (keyed && byKey.count({id, r[1].asText()})) continue;
      EXPECT_TRUE(table.insert().ok());
      for (int f = 0; f < static_cast<int>(r.size()); ++f) {
        if (f == kSerialField) continue;
        EXPECT_TRUE(table.set(f, r[size_t(f)]).ok()) << "field " << f << " " << show(r[size_t(f)]);
      }
      Status st = table.post();
      EXPECT_TRUE(st.ok()) << st.toString();
      if (!st.ok()) return;
      auto serial = table.get(kSerialField);
      EXPECT_TRUE(serial.ok());
      r[kSerialField] = *serial;
      batches.changed();
      if (keyed) byKey[{id, r[1].asText()}] = std::move(r);
      else inOrder.push_back(std::move(r));
    }
  };
  add(count);
  // Delete about a third, chosen at random.
  const int deletes = count / 3;
  for (int i = 0; i < deletes; ++i) {
    if (keyed) {
      auto it = byKey.begin();
      std::advance(it, maker.pick(0, static_cast<int>(byKey.size()) - 1));
      EXPECT_TRUE(table.findKey({it->second[0], it->second[1]}).ok());
      EXPECT_TRUE(table.remove().ok());
      batches.changed();
      byKey.erase(it);
    } else {
      const int at = maker.pick(0, static_cast<int>(inOrder.size()) - 1);
      EXPECT_TRUE(table.moveTo(at).ok());
      EXPECT_TRUE(table.remove().ok());
      batches.changed();
      inOrder.erase(inOrder.begin() + at);
    }
  }
  add(count / 10);
  batches.finish();
  if (!keyed) return inOrder;
  std::vector<Row> rows;
  for (auto& [k, r] : byKey) rows.push_back(std::move(r));
  return rows;
}

TEST(PxlibInterop, PxlibReadsWhatTheEngineWrites) {
  const std::vector<Layout> layouts = {{true, 1024}, {false, 1024}, {true, 2048}, {false, 4096}, {true, 4096}};
  uint32_t seed = 17;
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(nameOf(layout));
    TempDir tmp;
    auto dir = Directory::open(tmp.path());
    ASSERT_TRUE(dir.ok());
    CreateOptions options;
    options.blockSize = layout.blockSize;
    ASSERT_TRUE((*dir)->createTable("Mixed", interopFields(), layout.keyed ? 2 : 0, options).ok());
    const std::vector<Row> expected = fillWithEngine(**dir, "Mixed", layout.keyed, 3000, seed++);
    ASSERT_FALSE(::testing::Test::HasFailure());

    auto mine = engineRows(tmp.path(), "Mixed");
    ASSERT_TRUE(mine.ok()) << mine.status().toString();
    ASSERT_EQ(mine->size(), expected.size());
    for (size_t i = 0; i < expected.size() && !::testing::Test::HasFailure(); ++i)
      expectSameRow(expected[i], (*mine)[i], "engine, record " + std::to_string(i));

    auto theirs = pxlibRows(tmp.file("Mixed.DB"));
    ASSERT_TRUE(theirs.ok()) << theirs.status().toString();
    ASSERT_EQ(theirs->size(), expected.size());
    for (size_t i = 0; i < expected.size() && !::testing::Test::HasFailure(); ++i)
      expectSameRow(expected[i], (*theirs)[i], "pxlib, record " + std::to_string(i) + " " + describeRow(expected[i]));

    if (layout.keyed && indexLevels(tmp.file("Mixed.PX")) > 1) {
      PxDoc::errors().clear();
      PxDoc index;
      EXPECT_TRUE(index.openFile(tmp.file("Mixed.PX"))) << PxDoc::errors();
    } else if (layout.keyed) {
      // pxlib follows the primary index to find each record's block. It is
      // given a copy whose encryption word is the one real index files carry
      // (see IndexHeaderSaysUnencryptedAsRealIndexesDo).
      std::string index = testing::readFile(tmp.file("Mixed.PX"));
      ASSERT_GT(index.size(), kIndexEncryptionAt + 4);
      std::fill_n(index.begin() + kIndexEncryptionAt, 4, '\0');
      testing::writeFile(tmp.file("pxlib-view.PX"), index);
      auto viaIndex = pxlibRows(tmp.file("Mixed.DB"), tmp.file("pxlib-view.PX"));
      ASSERT_TRUE(viaIndex.ok()) << viaIndex.status().toString();
      ASSERT_EQ(viaIndex->size(), expected.size());
      for (size_t i = 0; i < expected.size() && !::testing::Test::HasFailure(); ++i)
        expectSameRow(expected[i], (*viaIndex)[i], "pxlib through the index, record " + std::to_string(i));
    }
    auto report = checkTable(tmp.file("Mixed.DB"));
    ASSERT_TRUE(report.ok());
    for (const auto& f : report->faults) ADD_FAILURE() << f;
  }
}

// Has pxlib write `rows` (in the order given) with pxlib's own encoders,
// and a primary index for keyed tables.
void writeWithPxlib(const std::string& dbPath, const std::vector<FieldDef>& defs, int keyFields,
                    const std::vector<Row>& rows) {
  PxDoc::errors().clear();
  PxDoc db;
  ASSERT_TRUE(db.createFile(defs, dbPath, keyFields > 0 ? pxfFileTypIndexDB : pxfFileTypNonIndexDB))
      << PxDoc::errors();
  if (keyFields > 0) {
    ASSERT_EQ(PX_set_value(db.get(), "numprimkeys", static_cast<float>(keyFields)), 0);
  }
  std::vector<char> rec(static_cast<size_t>(PX_get_recordsize(db.get())));
  for (const Row& r : rows) {
    pxlibEncode(db, r, rec);
    ASSERT_GE(PX_put_record(db.get(), rec.data()), 0) << PxDoc::errors();
  }
  if (keyFields > 0) {
    PxDoc index;
    std::vector<FieldDef> keys(defs.begin(), defs.begin() + keyFields);
    std::string pxPath = dbPath.substr(0, dbPath.size() - 3) + ".PX";
    ASSERT_TRUE(index.createFile(keys, pxPath, pxfFileTypPrimIndex)) << PxDoc::errors();
    ASSERT_EQ(PX_write_primary_index(db.get(), index.get()), 0) << PxDoc::errors();
  }
  EXPECT_EQ(PxDoc::errors(), "");
}

TEST(PxlibInterop, EngineReadsWhatPxlibWrites) {
  for (const int keyFields : {1, 2, 0}) {
    SCOPED_TRACE(std::to_string(keyFields) + " key fields");
    TempDir tmp;
    RowMaker maker(100 + static_cast<uint32_t>(keyFields));
    std::vector<Row> rows;
    std::set<std::pair<int64_t, std::string>> keys;
    while (rows.size() < 3000) {
      Row r = maker.row();
      r[0] = Value::integer(maker.pick(-5'000'000, 5'000'000));
      r[1] = Value::text(keyFields == 2 ? "K" + std::to_string(maker.pick(0, 99)) : maker.frenchText(6));
      if (keyFields == 1 && !keys.insert({r[0].asInteger(), ""}).second) continue;
      if (keyFields == 2 && !keys.insert({r[0].asInteger(), r[1].asText()}).second) continue;
      r[kSerialField] = Value::integer(static_cast<int64_t>(rows.size()) + 1);
      rows.push_back(std::move(r));
    }
    if (keyFields > 0) {
      // pxlib stores records in the order it gets them: give them in key order.
      std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (a[0].asInteger() != b[0].asInteger()) return a[0].asInteger() < b[0].asInteger();
        return a[1].asText() < b[1].asText();
      });
    }
    ASSERT_NO_FATAL_FAILURE(writeWithPxlib(tmp.file("Foreign.DB"), interopFields(), keyFields, rows));

    auto mine = engineRows(tmp.path(), "Foreign");
    ASSERT_TRUE(mine.ok()) << mine.status().toString();
    ASSERT_EQ(mine->size(), rows.size());
    for (size_t i = 0; i < rows.size() && !::testing::Test::HasFailure(); ++i)
      expectSameRow(rows[i], (*mine)[i], "record " + std::to_string(i));

    auto dir = Directory::open(tmp.path());
    ASSERT_TRUE(dir.ok());
    auto t = (*dir)->openTable("Foreign", Directory::Access::kReadOnly);
    ASSERT_TRUE(t.ok()) << t.status().toString();
    EXPECT_EQ((*t)->schema().keyFieldCount, keyFields);
    EXPECT_EQ((*t)->schema().codePage, 1252);
    auto count = (*t)->recordCount();
    ASSERT_TRUE(count.ok());
    EXPECT_EQ(*count, static_cast<int64_t>(rows.size()));
    if (keyFields > 0) {
      // Every key is found through the index pxlib wrote, and a missing one is not.
      for (size_t i = 0; i < rows.size(); i += 7) {
        std::vector<Value> key(rows[i].begin(), rows[i].begin() + keyFields);
        ASSERT_TRUE((*t)->findKey(key).ok()) << describeRow(rows[i]);
        auto id = (*t)->get(0);
        ASSERT_TRUE(id.ok());
        EXPECT_EQ(*id, rows[i][0]);
        EXPECT_EQ((*t)->position(), static_cast<int64_t>(i));
      }
      EXPECT_TRUE((*t)->findKey({Value::integer(5'000'001)}).is(code::kRecordNotFound));
      auto report = checkTable(tmp.file("Foreign.DB"));
      ASSERT_TRUE(report.ok());
      for (const auto& f : report->faults) ADD_FAILURE() << f;
    }
  }
}

// The engine changes a table pxlib wrote (its .PX included) and pxlib still
// reads it, through the index too.
TEST(PxlibInterop, PxlibReadsATableOfItsOwnAfterTheEngineChangedIt) {
  TempDir tmp;
  std::vector<FieldDef> defs = interopFields();
  RowMaker maker(7);
  std::vector<Row> rows;
  for (int id = 1; id <= 1500; ++id) {
    Row r = maker.row();
    r[0] = Value::integer(id * 10);
    r[1] = Value::text("base");
    r[kSerialField] = Value::integer(id);
    rows.push_back(std::move(r));
  }
  // A numeric key: the engine writes only tables whose text keys are in
  // plain byte order, and pxlib names a national order in its headers.
  ASSERT_NO_FATAL_FAILURE(writeWithPxlib(tmp.file("Shared.DB"), defs, 1, rows));
  {
    auto dir = Directory::open(tmp.path());
    ASSERT_TRUE(dir.ok());
    auto t = (*dir)->openTable("Shared");
    ASSERT_TRUE(t.ok()) << t.status().toString();
    Batches batches(**dir, 100);
    std::map<int64_t, Row> byId;
    for (auto& r : rows) byId[r[0].asInteger()] = r;
    for (int i = 0; i < 600; ++i) {
      if (maker.chance(50)) {
        const int64_t id = maker.pick(0, 15010);
        if (byId.count(id)) continue;
        Row r = maker.row();
        r[0] = Value::integer(id);
        r[1] = Value::text("engine");
        ASSERT_TRUE((*t)->insert().ok());
        for (int f = 0; f < kSerialField; ++f) ASSERT_TRUE((*t)->set(f, r[size_t(f)]).ok());
        Status st = (*t)->post();
        ASSERT_TRUE(st.ok()) << st.toString();
        auto serial = (*t)->get(kSerialField);
        ASSERT_TRUE(serial.ok());
        r[kSerialField] = *serial;
        batches.changed();
        byId[id] = std::move(r);
      } else {
        auto it = byId.begin();
        std::advance(it, maker.pick(0, static_cast<int>(byId.size()) - 1));
        ASSERT_TRUE((*t)->findKey({it->second[0]}).ok());
        ASSERT_TRUE((*t)->remove().ok());
        batches.changed();
        byId.erase(it);
      }
    }
    batches.finish();
    rows.clear();
    for (auto& [id, r] : byId) rows.push_back(r);
  }
  for (const bool viaIndex : {false, true}) {
    SCOPED_TRACE(viaIndex ? "through the index" : "along the block chain");
    auto theirs = viaIndex ? pxlibRows(tmp.file("Shared.DB"), tmp.file("Shared.PX")) : pxlibRows(tmp.file("Shared.DB"));
    ASSERT_TRUE(theirs.ok()) << theirs.status().toString();
    ASSERT_EQ(theirs->size(), rows.size());
    for (size_t i = 0; i < rows.size() && !::testing::Test::HasFailure(); ++i)
      expectSameRow(rows[i], (*theirs)[i], "record " + std::to_string(i));
  }
  auto report = checkTable(tmp.file("Shared.DB"));
  ASSERT_TRUE(report.ok());
  for (const auto& f : report->faults) ADD_FAILURE() << f;
}

TEST(PxlibInterop, IndexHeaderSaysUnencryptedAsRealIndexesDo) {
  TALLIMOOR_REQUIRE_SAMPLES();
  // The real indexes of the samples folder.
  int seen = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(TALLIMOOR_SAMPLES)) {
    std::string ext = e.path().extension().string();
    if (ext != ".px" && ext != ".PX") continue;
    const std::string bytes = testing::readFile(e.path().string());
    ASSERT_GT(bytes.size(), kIndexEncryptionAt + 4);
    EXPECT_EQ(bytes.substr(kIndexEncryptionAt, 4), std::string(4, '\0')) << e.path();
    ++seen;
  }
  EXPECT_GT(seen, 10);
  // The engine's own.
  TempDir tmp;
  auto dir = Directory::open(tmp.path());
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE((*dir)->createTable("Keyed", {{"Id", FieldType::kLong, 0}}, 1).ok());
  {
    auto t = (*dir)->openTable("Keyed");
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE((*t)->insert().ok());
    ASSERT_TRUE((*t)->set(0, Value::integer(1)).ok());
    ASSERT_TRUE((*t)->post().ok());
  }
  const std::string index = testing::readFile(tmp.file("Keyed.PX"));
  ASSERT_GT(index.size(), kIndexEncryptionAt + 4);
  EXPECT_EQ(index.substr(kIndexEncryptionAt, 4), std::string(4, '\0'));
  auto rows = pxlibRows(tmp.file("Keyed.DB"), tmp.file("Keyed.PX"));
  EXPECT_TRUE(rows.ok()) << rows.status().toString();
}

TEST(PxlibInterop, IndexBlocksFormOneChainAsInRealIndexes) {
  TALLIMOOR_REQUIRE_SAMPLES();
  int seen = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(TALLIMOOR_SAMPLES)) {
    std::string ext = e.path().extension().string();
    if (ext != ".px" && ext != ".PX") continue;
    EXPECT_EQ(testing::indexChainProblem(testing::readFile(e.path().string())), "") << e.path();
    ++seen;
  }
  EXPECT_GT(seen, 10);
  // Enough records in 1 KiB blocks for an index of two levels.
  TempDir tmp;
  auto dir = Directory::open(tmp.path());
  ASSERT_TRUE(dir.ok());
  CreateOptions options;
  options.blockSize = 1024;
  ASSERT_TRUE((*dir)->createTable("Deep", {{"Id", FieldType::kLong, 0}, {"Pad", FieldType::kAlpha, 200}}, 1, options).ok());
  {
    auto t = (*dir)->openTable("Deep");
    ASSERT_TRUE(t.ok());
    Batches batches(**dir, 500);
    for (int id = 0; id < 30000; id += 3) {
      ASSERT_TRUE((*t)->insert().ok());
      ASSERT_TRUE((*t)->set(0, Value::integer(id)).ok());
      ASSERT_TRUE((*t)->set(1, Value::text("x")).ok());
      ASSERT_TRUE((*t)->post().ok());
      batches.changed();
    }
    batches.finish();
  }
  const std::string index = testing::readFile(tmp.file("Deep.PX"));
  ASSERT_GE(indexLevels(tmp.file("Deep.PX")), 2);
  EXPECT_EQ(testing::indexChainProblem(index), "");
}

}  // namespace
}  // namespace pdx
