// Runs one of the benchmark programs, as their tests do.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace bench {

struct ToolRun {
  int status = -1;
  std::string output;  // stdout and stderr
};

// Runs `tool` of the build's benchmark folder with `arguments`.
inline ToolRun runTool(const std::string& tool, const std::string& arguments) {
  const std::string command = std::string(TALLIMOOR_TEST_BINARY_DIR) + "/" + tool + " " + arguments + " 2>&1";
  ToolRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace bench
