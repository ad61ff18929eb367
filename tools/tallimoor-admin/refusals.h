// Why a command will not go ahead, found before it writes anything.
#pragma once

#include <string>
#include <vector>

#include "pdx/status.h"

namespace admin {

class Refusals {
 public:
  // A wrong option or missing precondition (no data root, a bad number).
  void invalid(std::string why) { add(std::move(why), false); }
  // The target already holds data the command would overwrite.
  void occupied(std::string why) { add(std::move(why), true); }
  void append(const Refusals& other) {
    for (const auto& r : other.reasons_) reasons_.push_back(r);
    occupied_ = occupied_ || other.occupied_;
  }

  bool empty() const { return reasons_.empty(); }
  const std::vector<std::string>& reasons() const { return reasons_; }
  // Ok when empty; otherwise kTableExists when anything is occupied, else
  // kInvalidParameter, with every reason in the message.
  pdx::Status status() const {
    if (reasons_.empty()) return pdx::Status::Ok();
    std::string message = reasons_.front();
    for (size_t i = 1; i < reasons_.size(); ++i) message += "; " + reasons_[i];
    return pdx::Status(occupied_ ? pdx::code::kTableExists : pdx::code::kInvalidParameter, message);
  }

 private:
  void add(std::string why, bool occupied) {
    reasons_.push_back(std::move(why));
    occupied_ = occupied_ || occupied;
  }
  std::vector<std::string> reasons_;
  bool occupied_ = false;
};

}  // namespace admin
