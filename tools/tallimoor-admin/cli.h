// The command line of tallimoor-admin, shared by the program and its tests.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/env.h"
#include "pdx/value.h"

namespace admin {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // the command failed; nothing it made is left
inline constexpr int kExitUsage = 2;    // the command line is wrong
inline constexpr int kExitRefused = 3;  // the target already holds data; nothing touched

// Runs one command (`args` without the program name). Results go to `out`,
// messages to `err`. `env` is the engine's file layer (tests pass an
// unsynced one).
int runAdmin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             pdx::Env* env = pdx::Env::standard());

// "2024-03-31" -> that date; nullopt for anything else.
std::optional<pdx::Date> parseIsoDate(std::string_view text);
// The local calendar date of this machine.
pdx::Date todayLocal();

}  // namespace admin
