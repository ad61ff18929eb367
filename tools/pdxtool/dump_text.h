// The first line of the dump form, shared by the commands that print rows.
#pragma once

#include <string>
#include <vector>

#include "pdx/dump_format.h"
#include "pdx/value.h"

namespace pdxtool {

// The field names, tab-separated and escaped, ending the line.
inline std::string headerLine(const std::vector<pdx::FieldDef>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += '\t';
    line += pdx::escapeText(fields[i].name);
  }
  return line + '\n';
}

}  // namespace pdxtool
