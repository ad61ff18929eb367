#include "schema_text.h"

#include <charconv>

#include "pdx/echo.h"

namespace pdxtool {
namespace {

using pdx::FieldType;

enum class SizeRule { kRequired, kOptional, kNone };

SizeRule sizeRule(FieldType t) {
  if (t == FieldType::kAlpha || t == FieldType::kBytes || t == FieldType::kBcd) return SizeRule::kRequired;
  if (pdx::isBlobType(t)) return SizeRule::kOptional;
  return SizeRule::kNone;
}

pdx::Status badLine(size_t line, std::string_view text, const std::string& why) {
  return pdx::Status(pdx::code::kInvalidParameter,
                     "line " + std::to_string(line) + " " + pdx::quote(text) + ": " + why);
}

// A non-negative decimal number of at most three digits, the whole of `s`.
bool parseSmall(std::string_view s, int& out) {
  if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string_view::npos) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

pdx::Result<SchemaText> parseSchemaText(std::string_view text) {
  SchemaText out;
  bool sawKey = false;
  size_t lineNo = 0;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;  // blank lines mean nothing

    if (!sawKey) {
      if (line.substr(0, 4) != "key=" || !parseSmall(line.substr(4), out.keyFieldCount))
        return badLine(lineNo, line, "the first line must be key=N (the number of key fields)");
      sawKey = true;
      continue;
    }
    const size_t colon = line.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == line.size())
      return badLine(lineNo, line, "expected Name:T[size]");
    pdx::FieldDef field;
    field.name = std::string(line.substr(0, colon));
    const char letter = line[colon + 1];
    auto type = pdx::typeFromLetter(letter);
    if (!type) return badLine(lineNo, line, std::string("unknown type letter '") + letter + "'");
    field.type = *type;
    const std::string_view size = line.substr(colon + 2);
    switch (sizeRule(field.type)) {
      case SizeRule::kRequired:
        if (!parseSmall(size, field.size)) return badLine(lineNo, line, std::string("type ") + letter + " needs a size");
        break;
      case SizeRule::kOptional:
        if (!size.empty() && !parseSmall(size, field.size)) return badLine(lineNo, line, "the size is not a number");
        break;
      case SizeRule::kNone:
        if (!size.empty()) return badLine(lineNo, line, std::string("type ") + letter + " takes no size");
        break;
    }
    out.fields.push_back(std::move(field));
  }
  if (!sawKey) return pdx::Status(pdx::code::kInvalidParameter, "empty definition: expected key=N and fields");
  if (out.fields.empty()) return pdx::Status(pdx::code::kInvalidParameter, "the definition has no fields");
  if (out.keyFieldCount > static_cast<int>(out.fields.size()))
    return pdx::Status(pdx::code::kInvalidParameter, "key=" + std::to_string(out.keyFieldCount) + " but only " +
                                                         std::to_string(out.fields.size()) + " fields");
  return out;
}

std::string fieldLine(const pdx::FieldDef& field) {
  std::string out = field.name + ":" + pdx::typeLetter(field.type);
  if (sizeRule(field.type) != SizeRule::kNone) out += std::to_string(field.size);
  return out;
}

}  // namespace pdxtool
