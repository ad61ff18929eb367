// Errors of the operating-system services, as values.
//
// The codes are the system error numbers the suite's windows show and act on
// ("error loading option kq61  1157", and a missing payroll library is told
// apart by 1157), so they are the same on every platform: a library that is
// not there is 1157 whether dlopen or LoadLibrary sits underneath.
#pragma once

#include <QString>
#include <optional>
#include <utility>

namespace os {

// The codes the services produce. No other code is ever returned.
namespace error {
inline constexpr int kOk = 0;
inline constexpr int kFileNotFound = 2;       // no program or file at the path
inline constexpr int kPathNotFound = 3;       // no such folder (also a missing working directory)
inline constexpr int kAccessDenied = 5;       // it is there but may not be read, run or written
inline constexpr int kWriteFault = 29;        // the settings could not be written
inline constexpr int kInvalidParameter = 87;  // empty or malformed request, refused before anything ran
inline constexpr int kProcNotFound = 127;     // the library exports no such symbol
inline constexpr int kBadPathName = 161;      // a library path that is not absolute (never searched)
inline constexpr int kBadExeFormat = 193;     // the file is there but cannot be loaded or started
inline constexpr int kNoAssociation = 1155;   // nothing on this desktop opens the folder or address
inline constexpr int kDllNotFound = 1157;     // no library at the path
}  // namespace error

class Status {
 public:
  Status() = default;
  Status(int code, QString detail) : code_(code), detail_(std::move(detail)) {}

  static Status Ok() { return {}; }

  bool ok() const { return code_ == error::kOk; }
  int code() const { return code_; }
  // What failed, in the system's words (the path, the system's own message).
  // Not translated: it is for diagnostics and follows text() in messages.
  const QString& detail() const { return detail_; }

  // One sentence for the user: the meaning of the code in English, or in
  // French when `language` is 2, then the detail in parentheses.
  QString text(int language) const;

 private:
  int code_ = error::kOk;
  QString detail_;
};

// A value or the error that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T held) : value_(std::move(held)) {}            // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit by design

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace os
