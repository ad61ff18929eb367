// Database errors as the windows see them.
//
// Every operation of the dataset layer returns a pdx::Status. Windows that
// let errors travel up as exceptions (the suite's modules do, to one handler
// per window) turn a failed status into a DatabaseError with check(). A
// DatabaseError carries an error list, most general first: the windows read
// its last entry for the category and code (10241 = record locked).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "pdx/status.h"

namespace db {

// Codes of the dataset layer, in the engine's numbering (category 0x27,
// invalid request, and 0x22, not found).
namespace code {
inline constexpr uint16_t kDataSetClosed = 0x2710;    // the dataset is not open
inline constexpr uint16_t kDataSetReadOnly = 0x2711;  // a query's rows cannot be changed
inline constexpr uint16_t kNotEditing = 0x2705;       // a field set outside edit or insert
inline constexpr uint16_t kFieldNotFound = 0x2212;    // FieldByName of a name the dataset has not
inline constexpr uint16_t kNoDatabase = 0x2213;       // an unknown database or a missing "path="
}  // namespace code

struct ErrorEntry {
  uint16_t errorCode = 0;  // category in the high byte, sub-code in the low byte
  std::string message;
  uint8_t category() const { return static_cast<uint8_t>(errorCode >> 8); }
  uint8_t subCode() const { return static_cast<uint8_t>(errorCode & 0xFF); }
};

class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const pdx::Status& status);
  DatabaseError(std::string context, const pdx::Status& status);
  const std::vector<ErrorEntry>& errors() const { return errors_; }
  // The entry the windows read; never empty.
  const ErrorEntry& last() const { return errors_.back(); }

 private:
  std::vector<ErrorEntry> errors_;
};

// Throws DatabaseError when `status` failed.
inline void check(const pdx::Status& status) {
  if (!status.ok()) throw DatabaseError(status);
}

}  // namespace db
