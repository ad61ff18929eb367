#include "file_names.h"

#include <algorithm>

#include "pdx/echo.h"

namespace pdx::detail {
namespace {

std::string_view stemPart(std::string_view name) {
  const size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

Status ambiguous(const std::string& a, const std::string& b, const std::string& dir) {
  return Status(code::kInvalidName, "the names " + quote(a) + " and " + quote(b) + " in " + echo(dir, kEchoLineCharacters) +
                                        " differ only in case: rename or remove one of them");
}

// The one candidate, or the exact one among several, as the rule says.
Result<std::string> choose(const std::vector<std::string>& exact, const std::vector<std::string>& loose,
                           const std::string& dir) {
  if (exact.size() == 1) return exact.front();
  if (exact.size() > 1) return ambiguous(exact[0], exact[1], dir);
  if (loose.size() == 1) return loose.front();
  if (loose.size() > 1) return ambiguous(loose[0], loose[1], dir);
  return std::string();
}

}  // namespace

bool isTableFileName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '\0') return false;
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view ext = name.substr(dot + 1);
  return equalsIgnoreCase(ext, "db") || equalsIgnoreCase(ext, "px") || equalsIgnoreCase(ext, "mb");
}

namespace {

// The entries `stem`.`ext` of `names`, ext and stem without regard to case:
// those whose stem is spelled exactly as `stem`, and the others.
void candidates(const std::vector<std::string>& names, std::string_view stem, std::string_view ext,
                std::vector<std::string>& exact, std::vector<std::string>& loose) {
  for (const auto& n : names) {
    const size_t dot = n.find_last_of('.');
    if (dot == std::string::npos) continue;
    const std::string_view s = std::string_view(n).substr(0, dot);
    if (!equalsIgnoreCase(s, stem) || !equalsIgnoreCase(std::string_view(n).substr(dot + 1), ext)) continue;
    (s == stem ? exact : loose).push_back(n);
  }
  std::sort(exact.begin(), exact.end());
  std::sort(loose.begin(), loose.end());
}

}  // namespace

Result<std::string> matchEntry(const std::vector<std::string>& names, std::string_view stem, std::string_view ext,
                               const std::string& dir) {
  std::vector<std::string> exact, loose;
  candidates(names, stem, ext, exact, loose);
  return choose(exact, loose, dir);
}

std::vector<std::string> caseRivals(const std::vector<std::string>& names, const std::string& dbName) {
  std::vector<std::string> exact, loose;
  candidates(names, stemPart(dbName), "db", exact, loose);
  std::vector<std::string> out;
  for (auto* list : {&exact, &loose})
    for (const auto& n : *list)
      if (n != dbName) out.push_back(n);
  std::sort(out.begin(), out.end());
  return out;
}

Result<std::string> companionEntry(const std::vector<std::string>& names, const std::string& dbName,
                                   std::string_view ext, const std::string& dir) {
  std::vector<std::string> exact, loose;
  candidates(names, stemPart(dbName), ext, exact, loose);
  // Spelled otherwise, a companion may be that of another table whose name
  // differs from this one's only in case.
  bool stemShared = false;
  for (const auto& rival : caseRivals(names, dbName)) stemShared = stemShared || stemPart(rival) != stemPart(dbName);
  if (stemShared) loose.clear();
  return choose(exact, loose, dir);
}

Result<std::string> findCompanion(Env* env, const std::string& dbPath, std::string_view ext) {
  const std::string dir = dirOf(dbPath);
  auto names = env->list(dir);
  if (!names.ok()) return std::string();
  PDX_ASSIGN_OR_RETURN(std::string name, companionEntry(*names, nameOf(dbPath), ext, dir));
  return name.empty() ? name : dir + "/" + name;
}

}  // namespace pdx::detail
