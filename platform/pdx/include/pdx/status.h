// Errors of the table engine, as values.
//
// Every fallible call of the engine returns a Status or a Result<T>. An error
// carries the engine's code: the high byte is the category, the low byte the
// sub-code within it, following the numbering the suite's windows expect
// (10241 = 0x2801, record locked by another user). The message names the file
// and the problem in plain words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace pdx {

// Error categories (high byte of a code).
enum class Category : uint8_t {
  kNone = 0x00,
  kSystem = 0x21,
  kNotFound = 0x22,
  kDataCorrupt = 0x23,
  kIo = 0x24,
  kLimit = 0x25,
  kIntegrity = 0x26,
  kInvalidRequest = 0x27,
  kLockConflict = 0x28,
  kSecurity = 0x29,
  kCapability = 0x30,
};

// Error codes. Only these are produced by the engine.
namespace code {
inline constexpr uint16_t kOk = 0;
inline constexpr uint16_t kBof = 0x2201;              // before the first record
inline constexpr uint16_t kEof = 0x2202;              // after the last record
inline constexpr uint16_t kNoCurrentRecord = 0x2205;  // cursor is on no record
inline constexpr uint16_t kRecordNotFound = 0x2206;   // 8710: key or record not found
inline constexpr uint16_t kTableNotFound = 0x2208;    // no such table file
inline constexpr uint16_t kBlobFileMissing = 0x220A;  // the .MB file is missing
inline constexpr uint16_t kHeaderCorrupt = 0x2301;    // header of a table file is damaged
inline constexpr uint16_t kFileCorrupt = 0x2302;      // data blocks are damaged
inline constexpr uint16_t kMemoCorrupt = 0x2303;      // memo/blob file is damaged
inline constexpr uint16_t kIndexCorrupt = 0x2305;     // .PX (or a secondary index) is damaged
inline constexpr uint16_t kReadError = 0x2401;
inline constexpr uint16_t kWriteError = 0x2402;
inline constexpr uint16_t kOsError = 0x2403;          // other operating-system failure
inline constexpr uint16_t kTableFull = 0x2502;        // the table reached the format's limits
inline constexpr uint16_t kKeyViolation = 0x2601;     // 9729: a record with this key exists
inline constexpr uint16_t kInvalidParameter = 0x2702;
inline constexpr uint16_t kInvalidValue = 0x2703;     // value does not fit the field
inline constexpr uint16_t kUnrepresentable = 0x2704;  // text the table's code page cannot hold
inline constexpr uint16_t kNotEditing = 0x2705;       // post/set/cancel outside edit or insert
inline constexpr uint16_t kTableExists = 0x2706;
inline constexpr uint16_t kInvalidName = 0x2707;
inline constexpr uint16_t kRecordLocked = 0x2801;     // 10241: locked by another user or cursor
inline constexpr uint16_t kRecordChanged = 0x2813;    // the record changed or vanished meanwhile
inline constexpr uint16_t kTableBusy = 0x2803;        // the table is locked for too long
inline constexpr uint16_t kEncrypted = 0x2902;        // password-protected tables are not read
inline constexpr uint16_t kNotSupported = 0x3001;     // a valid file this engine will not write
}  // namespace code

class Status {
 public:
  Status() = default;
  Status(uint16_t code, std::string message) : code_(code), message_(std::move(message)) {}

  static Status Ok() { return {}; }

  bool ok() const { return code_ == code::kOk; }
  uint16_t code() const { return code_; }
  uint8_t category() const { return static_cast<uint8_t>(code_ >> 8); }
  uint8_t subcode() const { return static_cast<uint8_t>(code_ & 0xFF); }
  const std::string& message() const { return message_; }
  bool is(uint16_t c) const { return code_ == c; }

  // "message (code 10241)", or "ok".
  std::string toString() const;

 private:
  uint16_t code_ = code::kOk;
  std::string message_;
};

// A value or the error that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit by design

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace pdx

// Returns early from the enclosing function when a Status-returning
// expression fails.
#define PDX_RETURN_IF_ERROR(expr)        \
  do {                                   \
    ::pdx::Status pdx_status_ = (expr);  \
    if (!pdx_status_.ok()) return pdx_status_; \
  } while (0)

#define PDX_CONCAT_INNER(a, b) a##b
#define PDX_CONCAT(a, b) PDX_CONCAT_INNER(a, b)
// PDX_ASSIGN_OR_RETURN(auto x, resultExpr);
#define PDX_ASSIGN_OR_RETURN(lhs, expr) \
  PDX_ASSIGN_OR_RETURN_IMPL(PDX_CONCAT(pdx_result_, __LINE__), lhs, expr)
#define PDX_ASSIGN_OR_RETURN_IMPL(tmp, lhs, expr) \
  auto tmp = (expr);                              \
  if (!tmp.ok()) return tmp.status();             \
  lhs = std::move(tmp).value()
