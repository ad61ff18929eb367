#include "test_util.h"

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

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
