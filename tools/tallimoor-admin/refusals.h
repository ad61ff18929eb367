// Why a command will not go ahead, found before it writes anything.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"

namespace admin {

class Refusals {
 public:
  // A wrong option or missing precondition (no data root, a bad number).
  void invalid(std::string why) { add(std::move(why), false); }
  // The target already holds data the command would overwrite.
  void occupied(std::string why) { add(std::move(why), true); }
  // Text that someone must type or read back (a password, a name): refused
  // when it holds a control character (a tab, a line break, an escape) or is
  // not UTF-8. `what` names it: "the password".
  void typable(const std::string& what, std::string_view text) {
    size_t follow = 0;  // continuation bytes still due
    for (unsigned char c : text) {
      if (follow > 0) {
        if ((c & 0xC0) != 0x80) return invalid(what + " is not UTF-8 text");
        --follow;
      } else if (c < 0x20 || c == 0x7F) {
        return invalid(what + " holds a control character (a tab, a line break): nobody could type it");
      } else if (c >= 0x80) {
        if (c >= 0xC2 && c <= 0xDF) follow = 1;
        else if (c >= 0xE0 && c <= 0xEF) follow = 2;
        else if (c >= 0xF0 && c <= 0xF4) follow = 3;
        else return invalid(what + " is not UTF-8 text");
      }
    }
    if (follow > 0) invalid(what + " is not UTF-8 text");
  }
  void append(const Refusals& other) {
    for (const auto& r : other.reasons_) reasons_.push_back(r);
    occupied_ = occupied_ || other.occupied_;
  }

  bool empty() const { return reasons_.empty(); }
  // True when some reason is data already there (not a wrong option).
  bool occupied() const { return occupied_; }
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
