#include "test_util.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "journal.h"

extern char** environ;

namespace pdx::testing {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "pdx-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

namespace {

// Runs a shell command; its exit status, and what it printed.
int run(const std::string& command, std::string& output) {
  output.clear();
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[512];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) output.append(buf, n);
  const int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

ShareViews::ShareViews(const std::string& folder, int count) : folder_(folder) {
#ifdef TALLIMOOR_SHARE_TOOLS
  const std::string tool = std::string(TALLIMOOR_SHARE_TOOLS) + "/share-mounts.sh";
#else
  const std::string tool;
#endif
  if (tool.empty() || !std::filesystem::exists(tool)) {
    reason_ = "share-mounts.sh not found" + (tool.empty() ? std::string() : " at " + tool);
    return;
  }
  // Tests run side by side: one builds the tool's program at a time.
  std::string out;
  const int rc = run("flock /tmp/tallimoor-share-mounts.lock bash " + quoted(tool) + " mount " + quoted(folder) + " " +
                         std::to_string(count),
                     out);
  if (rc != 0) {
    while (!out.empty() && out.back() == '\n') out.pop_back();
    reason_ = out.empty() ? "share-mounts.sh failed" : out;
    return;
  }
  for (int i = 1; i <= count; ++i) views_.push_back(folder + ".m" + std::to_string(i));
}

ShareViews::~ShareViews() {
  std::string out;
  for (const std::string& v : views_) {
    // A process of the test may still hold a file there for a moment.
    for (int attempt = 0; attempt < 50 && run("fusermount3 -u " + quoted(v), out) != 0; ++attempt) ::usleep(100'000);
    if (run("mountpoint -q " + quoted(v), out) == 0) run("fusermount3 -u -z " + quoted(v), out);
    std::error_code ec;
    std::filesystem::remove(v, ec);
  }
}

int waitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    ::usleep(2000);
  }
}

std::string describeExit(int status) {
  if (status == -1) return "did not finish in time";
  if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "ended oddly";
}

void putMessage(char* to, size_t size, const std::string& text) { std::snprintf(to, size, "%s", text.c_str()); }

bool samplesPresent() {
#ifdef TALLIMOOR_SAMPLES
  return std::filesystem::is_directory(TALLIMOOR_SAMPLES);
#else
  return false;
#endif
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& outPath,
                      const std::string& errPath, const std::function<void(pid_t)>& whileRunning) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ProgramRun run;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    if (whileRunning) whileRunning(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    // A crash shows as a code no exit gives.
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = outPath.rfind("/dev/", 0) == 0 ? std::string() : readFile(outPath);
  run.err = readFile(errPath);
  return run;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string craftedRedoLog(const std::vector<std::vector<CraftedFile>>& records) {
  auto put = [](std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
  };
  constexpr uint64_t kGeneration = 0x1234567;
  std::string log = "TMREDO01";
  put(log, kGeneration, 8);
  put(log, detail::checksum(log), 8);
  log.resize(4096, '\0');
  uint64_t seq = 1;
  for (const auto& files : records) {
    std::string r = "TMREDREC";
    put(r, kGeneration, 8);
    put(r, seq++, 8);
    put(r, 0, 8);  // the length, below
    put(r, 77, 8);  // nonce
    put(r, files.size(), 4);
    for (const CraftedFile& f : files) {
      put(r, f.name.size(), 2);
      r += f.name;
      put(r, ~uint64_t{0}, 8);  // not cut
      put(r, f.bytes.size(), 8);
      put(r, 1, 4);  // one run, at 0
      put(r, 0, 8);
      put(r, f.bytes.size(), 4);
      r += f.bytes;
    }
    std::string length;
    put(length, r.size() + 8, 8);
    r.replace(24, 8, length);
    put(r, detail::checksum(r), 8);
    r.resize((r.size() + 4095) / 4096 * 4096, '\0');
    log += r;
  }
  return log;
}

std::string indexChainProblem(const std::string& px) {
  auto u16 = [&](size_t at) {
    return at + 2 <= px.size() ? static_cast<unsigned>(static_cast<uint8_t>(px[at]) | static_cast<uint8_t>(px[at + 1]) << 8) : 0u;
  };
  if (px.size() < 0x58) return "no header";
  const unsigned recordSize = u16(0), headerSize = u16(2), blockSize = static_cast<uint8_t>(px[5]) * 1024u;
  const unsigned blocks = u16(0x0C), first = u16(0x0E), last = u16(0x10);
  const uint32_t entries = u16(6) | u16(8) << 16;
  std::set<unsigned> seen;
  unsigned prev = 0, n = first, total = 0;
  while (n != 0) {
    if (n > blocks || !seen.insert(n).second) return "the chain leaves the file or loops at block " + std::to_string(n);
    const size_t at = headerSize + size_t{n - 1} * blockSize;
    if (u16(at + 2) != prev) return "block " + std::to_string(n) + " links back to the wrong block";
    const auto add = static_cast<int16_t>(u16(at + 4));
    total += add < 0 ? 0 : static_cast<unsigned>(add) / recordSize + 1;
    prev = n;
    n = u16(at);
  }
  if (seen.size() != blocks) return std::to_string(blocks - seen.size()) + " of " + std::to_string(blocks) + " blocks are off the chain";
  if (prev != last) return "the chain does not end at the header's last block";
  if (total != entries) return "the chain holds " + std::to_string(total) + " entries, the header counts " + std::to_string(entries);
  return {};
}

}  // namespace pdx::testing
