#include "data/table_def.h"

#include <cassert>
#include <cctype>

namespace data {

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Block sizes the format allows, smallest first (below 4096 only small
// tables fit, and 4096 is what the suite's own tables use).
constexpr int kBlockSizes[] = {4096, 16384, 32768};
constexpr int kBlockHeaderSize = 6;

}  // namespace

int TableDef::fieldIndex(std::string_view fieldName) const {
  for (size_t i = 0; i < fields.size(); ++i)
    if (equalsIgnoreCase(fields[i].name, fieldName)) return static_cast<int>(i);
  return -1;
}

const pdx::FieldDef& TableDef::field(std::string_view fieldName) const {
  const int i = fieldIndex(fieldName);
  assert(i >= 0 && "no such field");
  return fields[static_cast<size_t>(i)];
}

std::vector<std::string> TableDef::keyFieldNames() const {
  std::vector<std::string> names;
  for (int i = 0; i < keyFieldCount; ++i) names.push_back(fields[static_cast<size_t>(i)].name);
  return names;
}

int TableDef::recordSize() const {
  int size = 0;
  for (const auto& f : fields) size += pdx::storedSize(f.type, f.size);
  return size;
}

std::vector<std::string> splitFieldList(std::string_view list) {
  std::vector<std::string> names;
  while (true) {
    const size_t semi = list.find(';');
    const std::string_view part = trimBlanks(list.substr(0, semi));
    if (!part.empty()) names.emplace_back(part);
    if (semi == std::string_view::npos) break;
    list.remove_prefix(semi + 1);
  }
  return names;
}

const std::vector<const TableDef*>& allTables() {
  using namespace tables;
  static const std::vector<const TableDef*> all = {
      // company directory
      &cli(), &sup(), &car(), &carh(), &cap(), &caph(), &arori(), &apori(), &crorihdr(), &croridet(),
      &cdorihdr(), &cdoridet(), &glm(), &gla(), &tjlh(), &tjld(), &ctrl(), &periods(), &slsm(), &ivprod(),
      &fahdr(), &fadet(), &fahdra(), &fadeta(), &fa1frm(), &fa1frm1(), &fa1frm2(), &emp(), &trkdb(),
      // per-session copies in the company directory
      &cartmp(), &captmp(),
      // data root
      &arterms(), &virmem(), &comp(), &session(), &apps(), &user(), &desktop(), &languages(),
      // languages folder
      &formLangs(),
  };
  return all;
}

namespace {
std::vector<const TableDef*> tablesAt(Location location) {
  std::vector<const TableDef*> out;
  for (const TableDef* def : allTables())
    if (def->location == location) out.push_back(def);
  return out;
}
}  // namespace

std::vector<const TableDef*> companyTables() { return tablesAt(Location::kCompany); }
std::vector<const TableDef*> dataRootTables() { return tablesAt(Location::kDataRoot); }
std::vector<const TableDef*> sessionWorkTables() { return tablesAt(Location::kSessionWork); }

const TableDef* findTable(std::string_view name) {
  if (name.size() > 3 && equalsIgnoreCase(name.substr(name.size() - 3), ".db")) name.remove_suffix(3);
  for (const TableDef* def : allTables())
    if (equalsIgnoreCase(def->name, name)) return def;
  return nullptr;
}

std::string sessionTableName(const TableDef& workTable, int sessionId) {
  // "cartmp" -> "Cartmp7": the name the inquiry modules give their copy.
  std::string name = workTable.name;
  if (!name.empty()) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  return name + std::to_string(sessionId);
}

std::string translationTableName(std::string_view deliverable, std::string_view langCode) {
  return std::string(deliverable) + std::string(langCode.substr(0, 2));
}

int blockSizeFor(const TableDef& def) {
  const int record = def.recordSize();
  for (int size : kBlockSizes)
    if (record + kBlockHeaderSize <= size) return size;
  return kBlockSizes[std::size(kBlockSizes) - 1];  // too big for any: createTable says so
}

pdx::Status createTable(pdx::Directory& dir, const TableDef& def, std::string_view nameOverride) {
  pdx::CreateOptions options;
  options.blockSize = blockSizeFor(def);
  return dir.createTable(nameOverride.empty() ? std::string_view(def.name) : nameOverride, def.fields,
                         def.keyFieldCount, options);
}

pdx::Status verifySchema(const pdx::Schema& schema, const TableDef& def) {
  auto differ = [&](const std::string& what) {
    return pdx::Status(pdx::code::kInvalidValue, "table " + def.name + ": " + what);
  };
  if (schema.fields.size() != def.fields.size())
    return differ(std::to_string(schema.fields.size()) + " fields where the layout has " +
                  std::to_string(def.fields.size()));
  for (size_t i = 0; i < def.fields.size(); ++i) {
    const pdx::FieldDef& want = def.fields[i];
    const pdx::FieldDef& have = schema.fields[i];
    const std::string where = "field " + std::to_string(i + 1) + " (" + want.name + ")";
    if (!equalsIgnoreCase(have.name, want.name)) return differ(where + " is named " + have.name);
    if (have.type != want.type)
      return differ(where + " has type " + pdx::typeLetter(have.type) + ", not " + pdx::typeLetter(want.type));
    if (pdx::storedSize(have.type, have.size) != pdx::storedSize(want.type, want.size))
      return differ(where + " has size " + std::to_string(have.size) + ", not " + std::to_string(want.size));
  }
  if (schema.keyFieldCount != def.keyFieldCount)
    return differ(std::to_string(schema.keyFieldCount) + " key fields, not " + std::to_string(def.keyFieldCount));
  return pdx::Status::Ok();
}

}  // namespace data
