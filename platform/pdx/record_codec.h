// How field values sit in a record.
//
// Numbers are stored big-endian so that a byte comparison orders them: for
// signed integers (short, long, autoincrement, date, time) the sign bit is
// flipped; for 64-bit floats (number, money, timestamp) a positive value has
// its sign bit set and a negative one has all bits inverted. A field whose
// bytes are all zero is blank. Other encodings:
//
//   TYPE       SIZE  ENCODING
//   alpha N    N     code-page text, NUL padded (NUL-terminated when shorter)
//   short      2     int16, sign flipped (so -32768 cannot be stored)
//   long, +    4     int32, sign flipped
//   date       4     days since 1 Jan 0001 (that day = 1), as long
//   time       4     milliseconds since midnight, as long
//   number, $  8     IEEE double, as described above
//   timestamp  8     milliseconds since day 0 of the date count, as number
//   logical    1     0x80 false, 0x81 true
//   bytes N    N     raw bytes, zero padded
//   BCD        17    byte 0: bit 7 set = positive, bit 6 set, bits 0-5 = decimal
//                    places; bytes 1-16: 32 decimal digits, one per nibble,
//                    the last `decimals` of them after the point; a negative
//                    number stores each digit as 15 - digit
//   memo etc.  N+10  first N bytes of the contents, then the .MB pointer
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/value.h"

namespace pdx::detail {

struct FieldLayout {
  FieldDef def;
  int offset = 0;  // in the record
  int stored = 0;  // bytes in the record
  bool inMemoFile = false;  // a memo/blob type (isBlobType): not for decodeField
};

class CodePageConverter;

struct RecordLayout {
  std::vector<FieldLayout> fields;
  int recordSize = 0;
  int keySize = 0;  // bytes of the leading key fields
  int keyFields = 0;
  int codePage = 0;
  const CodePageConverter* converter = nullptr;  // of codePage (see codepage.h)

  static RecordLayout make(const std::vector<FieldDef>& defs, int keyFields, int codePage);
};

bool isBlank(const char* p, size_t n);

// Decodes a field that does not live in the .MB (every type but memo/blob).
// kFileCorrupt for bytes no writer produces (a BCD digit above 9).
Result<Value> decodeField(const FieldLayout& f, const char* record, int codePage);

// As decodeField, into `out` (whose text storage is reused), converting text
// with `converter` (converterFor(codePage), found once per table). On failure
// `out` is blank.
Status decodeFieldInto(const FieldLayout& f, const char* record, const CodePageConverter* converter, Value& out);
// As decodeFieldInto, true when it succeeds (decodeField says why it did not).
bool decodedInto(const FieldLayout& f, const char* record, const CodePageConverter* converter, Value& out);
// Every field of the record that does not live in the .MB, as decodeFieldInto,
// into out[0 .. layout.fields.size()); memo/blob fields' values are left as
// they are.
Status decodeRecordInto(const RecordLayout& layout, const char* record, Value* out);

// Encodes a value into the field's bytes of `record`. Converts between kinds
// where the conversion is exact; kInvalidValue or kUnrepresentable otherwise.
// Not for memo/blob types (the caller stores their contents).
Status encodeField(const FieldLayout& f, const Value& value, char* record, int codePage);

// Converts a value to the kind the field reads back as (used for key values
// given by callers): same rules as encodeField.
Status encodeKeyValue(const FieldLayout& f, const Value& value, std::string& out, int codePage);

// Text of a double that reads back to the same double, as short as possible.
std::string shortestDouble(double v);

// Parses "YYYY-MM-DD", "HH:MM:SS[.mmm]", "YYYY-MM-DD[T ]HH:MM:SS[.mmm]".
std::optional<Date> parseDate(std::string_view s);
std::optional<Time> parseTime(std::string_view s);
std::optional<Timestamp> parseTimestamp(std::string_view s);

}  // namespace pdx::detail
