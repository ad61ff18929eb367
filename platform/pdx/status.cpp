#include "pdx/status.h"

namespace pdx {

std::string Status::toString() const {
  if (ok()) return "ok";
  return message_ + " (code " + std::to_string(code_) + ")";
}

}  // namespace pdx
