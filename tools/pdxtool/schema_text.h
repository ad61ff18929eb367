// The text form of a table definition, as `pdxtool create` reads it and
// `pdxtool info` prints it:
//
//   key=1
//   Cli_code:A10
//   Cli_terms:I
//   Comments:M240
//
// The first line gives how many leading fields form the primary key (0 for
// an unkeyed table). Each further line is one field, `Name:T[size]`, T being
// Paradox's type letter:
//
//   A alpha (size 1..255)     N number            M memo (size in record)
//   D date                    $ money             F formatted memo (same)
//   S short integer           L logical           B blob (same)
//   I long integer            T time              G graphic (same)
//   + autoincrement           @ timestamp         O OLE (same)
//   # BCD (size = decimals)   Y bytes (1..255)
//
// A, Y and # need a size; the memo and blob types take 0 when none is given
// (nothing of the contents kept in the record); the other types take none.
// The name is everything before the last colon. Empty lines are ignored and a
// line may end in CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/value.h"

namespace pdxtool {

struct SchemaText {
  std::vector<pdx::FieldDef> fields;
  int keyFieldCount = 0;
};

// Parses a definition. kInvalidParameter naming the line when it is malformed.
// Whether the definition makes a valid table is the engine's to say.
pdx::Result<SchemaText> parseSchemaText(std::string_view text);

// One field as a definition line: "Cli_code:A10", "Cli_terms:I".
std::string fieldLine(const pdx::FieldDef& field);

}  // namespace pdxtool
