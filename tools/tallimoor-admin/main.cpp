// tallimoor-admin: sets up and looks after the suite's data: data roots,
// companies, demonstration and benchmark data, translation tables.
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

namespace {

// Ctrl-C or a SIGTERM stops the tool where it is, as a kill would: the
// folders it was building keep their marks of an unfinished build, which the
// next run clears. Only the person who pressed Ctrl-C is told so.
void onInterrupt(int sig) {
  static const char kText[] =
      "\ntallimoor-admin: interrupted; the folders it was building are marked incomplete, and running the same "
      "command again clears them first\n";
  (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return admin::runAdmin(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "tallimoor-admin: " << e.what() << "\n";
    return admin::kExitFailed;
  }
}
