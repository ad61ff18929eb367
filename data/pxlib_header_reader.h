// Reads the header of a .DB file with pxlib, a Paradox library written
// independently of the engine, for tests that check what the engine wrote.
//
// Only the .DB header is read: Debian's pxlib crashes on .MB files and on
// primary indexes of more than one level.
#pragma once

#include <string>
#include <vector>

#include "pdx/status.h"
#include "pdx/value.h"

namespace data::testing {

struct PxlibHeader {
  // Field names, type bytes and sizes as the header gives them; the size is
  // the declared one (alpha length, memo bytes kept in the record), 0 for
  // fixed-size types.
  std::vector<pdx::FieldDef> fields;
  int keyFieldCount = 0;
  int recordSize = 0;
  int recordCount = 0;
  int fileType = 0;  // 0 keyed .DB, 2 unkeyed .DB
};

pdx::Result<PxlibHeader> readHeaderWithPxlib(const std::string& dbPath);

}  // namespace data::testing
