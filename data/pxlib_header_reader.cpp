#include "pxlib_header_reader.h"

extern "C" {  // pxlib's header declares C functions without saying so
#include <paradox.h>
}

#include <cstdlib>
#include <unordered_set>

namespace data::testing {

namespace {

// pxlib leaves some of its allocations behind; they come from here and are
// freed with the document, so that sanitizer builds see only our own leaks.
struct Allocations {
  std::unordered_set<void*> live;
  std::string errors;
};

Allocations& allocations() {
  static Allocations a;
  return a;
}

void* allocate(pxdoc_t*, size_t size, const char*) {
  void* p = std::malloc(size ? size : 1);
  allocations().live.insert(p);
  return p;
}
void* reallocate(pxdoc_t*, void* mem, size_t size, const char*) {
  allocations().live.erase(mem);
  void* p = std::realloc(mem, size ? size : 1);
  allocations().live.insert(p);
  return p;
}
void release(pxdoc_t*, void* mem) {
  allocations().live.erase(mem);
  std::free(mem);
}
void onError(pxdoc_t*, int type, const char* msg, void*) {
  allocations().errors += "pxlib error " + std::to_string(type) + ": " + msg + "\n";
}

bool isBlob(char type) { return type == 0x0C || type == 0x0D || type == 0x0E || type == 0x0F || type == 0x10; }

}  // namespace

pdx::Result<PxlibHeader> readHeaderWithPxlib(const std::string& dbPath) {
  allocations().errors.clear();
  pxdoc_t* doc = PX_new2(&onError, &allocate, &reallocate, &release);
  if (doc == nullptr) return pdx::Status(pdx::code::kOsError, "pxlib: no document");
  const bool open = PX_open_file(doc, dbPath.c_str()) == 0;
  PxlibHeader header;
  pdx::Status status;
  if (!open) {
    status = pdx::Status(pdx::code::kReadError, "pxlib cannot open " + dbPath + ": " + allocations().errors);
  } else {
    const pxhead_t* head = doc->px_head;
    header.keyFieldCount = head->px_primarykeyfields;
    header.recordSize = head->px_recordsize;
    header.recordCount = head->px_numrecords;
    header.fileType = head->px_filetype;
    for (int i = 0; i < PX_get_num_fields(doc); ++i) {
      const pxfield_t* f = PX_get_field(doc, i);
      pdx::FieldDef def;
      def.name = f->px_fname;
      def.type = static_cast<pdx::FieldType>(static_cast<unsigned char>(f->px_ftype));
      if (def.type == pdx::FieldType::kAlpha || def.type == pdx::FieldType::kBytes)
        def.size = f->px_flen;
      else if (isBlob(f->px_ftype))
        def.size = f->px_flen - 10;
      header.fields.push_back(std::move(def));
    }
    PX_close(doc);
  }
  PX_delete(doc);
  for (void* p : allocations().live) std::free(p);
  allocations().live.clear();
  if (!status.ok()) return status;
  return header;
}

}  // namespace data::testing
