#include "pxlib_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_set>


namespace pdx::testing {
namespace {

void onError(pxdoc_t*, int type, const char* msg, void*) {
  PxDoc::errors() += "pxlib error " + std::to_string(type) + ": " + msg + "\n";
}
int& alive() {
  static int n = 0;
  return n;
}
std::unordered_set<void*>& live() {
  static std::unordered_set<void*> blocks;
  return blocks;
}
void* allocate(pxdoc_t*, size_t size, const char*) {
  void* p = std::malloc(size ? size : 1);
  live().insert(p);
  return p;
}
void* reallocate(pxdoc_t*, void* mem, size_t size, const char*) {
  live().erase(mem);
  void* p = std::realloc(mem, size ? size : 1);
  live().insert(p);
  return p;
}
void release(pxdoc_t*, void* mem) {
  live().erase(mem);
  std::free(mem);
}

}  // namespace

PxDoc::PxDoc() {
  ++alive();
  doc_ = PX_new2(&onError, &allocate, &reallocate, &release);
}

PxDoc::~PxDoc() {
  if (open_) PX_close(doc_);
  PX_delete(doc_);
  if (--alive() == 0) {
    for (void* p : live()) std::free(p);
    live().clear();
  }
}

bool PxDoc::openFile(const std::string& path) {
  open_ = PX_open_file(doc_, path.c_str()) == 0;
  return open_;
}

bool PxDoc::createFile(const std::vector<FieldDef>& defs, const std::string& path, int fileType) {
  auto* f = static_cast<pxfield_t*>(std::calloc(defs.size(), sizeof(pxfield_t)));
  for (size_t i = 0; i < defs.size(); ++i) {
    f[i].px_fname = strdup(defs[i].name.c_str());
    f[i].px_ftype = static_cast<char>(defs[i].type);
    f[i].px_flen = storedSize(defs[i].type, defs[i].size);
    f[i].px_fdc = defs[i].type == FieldType::kBcd ? defs[i].size : 0;
  }
  open_ = PX_create_file(doc_, f, static_cast<int>(defs.size()), path.c_str(), fileType) == 0;
  return open_;
}

std::string& PxDoc::errors() {
  static std::string e;
  return e;
}

// Decodes record `recno` as pxlib sees it, into the engine's value kinds.
Result<Row> pxlibRow(PxDoc& px, int recno) {
  pxdoc_t* d = px.get();
  std::vector<char> rec(static_cast<size_t>(PX_get_recordsize(d)) + 1);
  if (PX_get_record(d, recno, rec.data()) == nullptr)
    return Status(code::kReadError, "pxlib cannot read record " + std::to_string(recno) + ": " + PxDoc::errors());
  Row row;
  int offset = 0;
  for (int i = 0; i < PX_get_num_fields(d); ++i) {
    const pxfield_t* f = PX_get_field(d, i);
    char* p = rec.data() + offset;
    offset += f->px_flen;
    if (std::all_of(p, p + f->px_flen, [](char c) { return c == 0; })) {
      row.emplace_back();
      continue;
    }
    long l = 0;
    short s = 0;
    double x = 0;
    char b = 0;
    char* str = nullptr;
    switch (static_cast<FieldType>(f->px_ftype)) {
      case FieldType::kAlpha:
        if (PX_get_data_alpha(d, p, f->px_flen, &str) <= 0) return Status(code::kReadError, "alpha");
        row.push_back(Value::text(str));
        px.free(str);
        break;
      case FieldType::kShort:
        if (PX_get_data_short(d, p, f->px_flen, &s) <= 0) return Status(code::kReadError, "short");
        row.push_back(Value::integer(s));
        break;
      case FieldType::kLong:
      case FieldType::kAutoInc:
      case FieldType::kDate:
      case FieldType::kTime: {
        if (PX_get_data_long(d, p, f->px_flen, &l) <= 0) return Status(code::kReadError, "long");
        const auto v = static_cast<int32_t>(l);
        const auto t = static_cast<FieldType>(f->px_ftype);
        row.push_back(t == FieldType::kDate ? Value::date(Date{v}) : t == FieldType::kTime ? Value::time(Time{v}) : Value::integer(v));
        break;
      }
      case FieldType::kMoney:
      case FieldType::kNumber:
      case FieldType::kTimestamp:
        if (PX_get_data_double(d, p, f->px_flen, &x) <= 0) return Status(code::kReadError, "double");
        row.push_back(static_cast<FieldType>(f->px_ftype) == FieldType::kTimestamp ? Value::timestamp(Timestamp{x})
                                                                                   : Value::number(x));
        break;
      case FieldType::kLogical:
        if (PX_get_data_byte(d, p, f->px_flen, &b) <= 0) return Status(code::kReadError, "logical");
        row.push_back(Value::logical(b != 0));
        break;
      case FieldType::kBcd:
        if (PX_get_data_bcd(d, reinterpret_cast<unsigned char*>(p), f->px_fdc, &str) <= 0)
          return Status(code::kReadError, "bcd");
        row.push_back(Value::decimal(str));
        px.free(str);
        break;
      case FieldType::kBytes:
        if (PX_get_data_bytes(d, p, f->px_flen, &str) <= 0) return Status(code::kReadError, "bytes");
        row.push_back(Value::bytes(std::string(str, static_cast<size_t>(f->px_flen))));
        px.free(str);
        break;
      default: return Status(code::kNotSupported, "field type pxlib is not asked to read");
    }
  }
  return row;
}

// Every record pxlib reads from `db`, through `indexPath` when given.
Result<std::vector<Row>> pxlibRows(const std::string& db, const std::string& indexPath) {
  PxDoc::errors().clear();
  PxDoc px;
  if (!px.openFile(db)) return Status(code::kReadError, "pxlib cannot open " + db + ": " + PxDoc::errors());
  if (PX_set_parameter(px.get(), "targetencoding", "UTF-8") < 0)
    return Status(code::kReadError, "pxlib has no recoding");
  PxDoc index;
  if (!indexPath.empty()) {
    if (!index.openFile(indexPath)) return Status(code::kReadError, "pxlib cannot open " + indexPath + ": " + PxDoc::errors());
    if (PX_read_primary_index(index.get()) != 0)
      return Status(code::kReadError, "pxlib cannot read the index " + indexPath + ": " + PxDoc::errors());
    if (PX_add_primary_index(px.get(), index.get()) != 0)
      return Status(code::kReadError, "pxlib does not accept the index " + indexPath + ": " + PxDoc::errors());
  }
  std::vector<Row> rows;
  const int n = PX_get_num_records(px.get());
  for (int i = 0; i < n; ++i) {
    PDX_ASSIGN_OR_RETURN(Row r, pxlibRow(px, i));
    rows.push_back(std::move(r));
  }
  if (!PxDoc::errors().empty()) return Status(code::kReadError, PxDoc::errors());
  return rows;
}

}  // namespace pdx::testing
