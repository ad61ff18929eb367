// Reading tables with pxlib, a Paradox reader written independently of this
// engine, in the engine's terms: tests use it as a second reader.
//
// Debian's pxlib 0.6.8 crashes as soon as it opens a .MB file, so only tables
// without memo or blob fields are read. Its quirks, worked around here:
//  - PX_get_data_long decodes a blank field as INT32_MIN instead of reporting
//    it blank, and PX_get_data_double leaves its output untouched for a blank
//    field. Blanks are therefore recognised from the raw record bytes (a blank
//    field is all zero bytes in every Paradox table).
//  - PX_create_file takes ownership of the field array, which must come from
//    malloc.
//  - Some of its allocations are never freed (the key copies made by
//    PX_read_primary_index among them). Its memory comes from an allocator of
//    these tests that frees what is left once no pxlib document is alive, so
//    that the leak checker of sanitizer builds sees only the engine.
#pragma once

extern "C" {  // pxlib's header declares C functions without saying so
#include <paradox.h>
}

#include <string>
#include <vector>

#include "pdx/table.h"

namespace pdx::testing {

using Row = std::vector<Value>;

// A pxlib document whose errors are collected instead of printed.
class PxDoc {
 public:
  PxDoc();
  ~PxDoc();
  PxDoc(const PxDoc&) = delete;
  PxDoc& operator=(const PxDoc&) = delete;

  pxdoc_t* get() { return doc_; }
  bool openFile(const std::string& path);
  // `fields` as name/type/length/decimals; the array is handed to pxlib.
  bool createFile(const std::vector<FieldDef>& defs, const std::string& path, int fileType);
  void free(void* p) { doc_->free(doc_, p); }
  static std::string& errors();

 private:
  pxdoc_t* doc_ = nullptr;
  bool open_ = false;
};

// Decodes record `recno` as pxlib sees it, into the engine's value kinds.
Result<Row> pxlibRow(PxDoc& px, int recno);

// Every record pxlib reads from `db`, through `indexPath` when given.
Result<std::vector<Row>> pxlibRows(const std::string& db, const std::string& indexPath = {});

}  // namespace pdx::testing
