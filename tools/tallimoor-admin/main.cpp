// tallimoor-admin: sets up and looks after the suite's data: data roots,
// companies, demonstration and benchmark data, translation tables.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return admin::runAdmin(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "tallimoor-admin: " << e.what() << "\n";
    return admin::kExitFailed;
  }
}
