// pdxtool apply: a batch of corrections to the tables of one directory,
// made all together or not at all.
//
// The file holds one operation a line, its cells separated by tabs:
//
//   insert  TABLE  Field=value  ...
//   update  TABLE  key=v1;v2;...  Field=value  ...
//   add     TABLE  key=v1;v2;...  Field=number
//   delete  TABLE  key=v1;v2;...
//
// Values are written as `pdxtool dump` writes them (see pdx/dump_format.h);
// an empty value is a blank. A key gives a value for every key field of the
// table, in key order, separated by semicolons; a semicolon inside a value is
// written \; (the dump's own escapes \t \n \r \\ keep their meaning, so a
// text ending in a backslash before the separator is written \\;). Field
// names are matched without regard to case; a name is everything before the
// first '='. Empty lines and lines whose first character is '#' are ignored.
//
// add reads the field of the record under its lock (edit), adds the number
// and posts. For number, money and BCD fields the sum is computed exactly on
// the decimal forms of the two values and only then rounded to the field
// (0.1 + 0.2 gives 0.3); a blank field counts as zero.
//
// Rows of an unkeyed table cannot be named, so only insert applies to them.
//
// Every line is read and checked first (operation, table, fields, values).
// Then the operations run in file order inside one write group of the
// directory, so each sees the ones before it, and the group commits once at
// the end. The first operation that fails (no record with that key, a key
// already taken, a value the field cannot hold, a record another user holds)
// ends the run: the group is rolled back and no table changes.
#include <map>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "commands.h"
#include "decimal_text.h"
#include "pdx/dump_format.h"
#include "pdx/echo.h"

namespace pdxtool {
namespace {

enum class OpKind { kInsert, kUpdate, kAdd, kDelete };

struct Assignment {
  int field = -1;
  pdx::Value value;
  std::string text;  // as written, for add's decimal sum
};

struct Operation {
  size_t line = 0;  // 1-based
  OpKind kind = OpKind::kInsert;
  std::string verb;       // as written, for messages
  std::string tableName;  // as written
  pdx::Table* table = nullptr;
  std::vector<pdx::Value> key;
  std::string keyText;  // as written, for messages
  std::vector<Assignment> sets;
};

std::optional<OpKind> opKindOf(std::string_view verb) {
  if (verb == "insert") return OpKind::kInsert;
  if (verb == "update") return OpKind::kUpdate;
  if (verb == "add") return OpKind::kAdd;
  if (verb == "delete") return OpKind::kDelete;
  return std::nullopt;
}

bool isAddable(pdx::FieldType type) {
  switch (type) {
    case pdx::FieldType::kShort:
    case pdx::FieldType::kLong:
    case pdx::FieldType::kNumber:
    case pdx::FieldType::kMoney:
    case pdx::FieldType::kBcd: return true;
    default: return false;
  }
}

pdx::Status invalid(const std::string& what) { return pdx::Status(pdx::code::kInvalidValue, what); }

bool startsWithKey(std::string_view cell) {
  return cell.size() >= 4 && (cell[0] == 'k' || cell[0] == 'K') && (cell[1] == 'e' || cell[1] == 'E') &&
         (cell[2] == 'y' || cell[2] == 'Y') && cell[3] == '=';
}

// Splits a key's text at the semicolons that are not escaped. `\;` becomes a
// semicolon; every other escape is kept for parseValue to read.
std::vector<std::string> splitKey(std::string_view text) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      if (text[i + 1] != ';') parts.back() += c;
      parts.back() += text[++i];
    } else if (c == ';') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

class Batch {
 public:
  explicit Batch(pdx::Directory& dir) : dir_(dir) {}

  // Reads and checks every line; opens the tables they name. Writes nothing.
  pdx::Status parse(std::string_view text);
  // Runs the operations in order. The caller's write group holds the changes.
  pdx::Status run();

 private:
  pdx::Status parseLine(size_t line, const std::vector<std::string_view>& cells);
  pdx::Status parseCells(Operation& op, const std::vector<std::string_view>& cells) const;
  pdx::Result<pdx::Table*> table(const std::string& name);
  pdx::Result<std::vector<pdx::Value>> parseKey(const pdx::Schema& schema, std::string_view text) const;
  pdx::Result<Assignment> parseAssignment(const pdx::Schema& schema, std::string_view cell) const;
  pdx::Status execute(const Operation& op);
  pdx::Status findRow(const Operation& op);
  pdx::Status setAll(const Operation& op);
  pdx::Status addTo(const Operation& op);

  pdx::Status atLine(size_t line, const pdx::Status& st) const {
    return pdx::Status(st.code(), "line " + std::to_string(line) + ": " + st.message());
  }
  pdx::Status atOp(const Operation& op, const pdx::Status& st) const {
    std::string what = op.verb + " " + pdx::echo(op.tableName);
    if (op.kind != OpKind::kInsert) what += " key=" + pdx::echo(op.keyText);
    return atLine(op.line, pdx::Status(st.code(), what + ": " + st.message()));
  }

  pdx::Directory& dir_;
  std::map<std::string, std::unique_ptr<pdx::Table>> tables_;  // one cursor per table file
  std::vector<Operation> ops_;
};

pdx::Status Batch::parse(std::string_view text) {
  const std::vector<std::string_view> lines = splitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    pdx::Status st = parseLine(i + 1, splitCells(lines[i]));
    if (!st.ok()) return atLine(i + 1, st);
  }
  return {};
}

pdx::Result<pdx::Table*> Batch::table(const std::string& name) {
  PDX_ASSIGN_OR_RETURN(std::string path, dir_.tablePath(name));
  auto it = tables_.find(path);
  if (it == tables_.end()) {
    PDX_ASSIGN_OR_RETURN(auto opened, dir_.openTable(name, pdx::Directory::Access::kReadWrite));
    it = tables_.emplace(path, std::move(opened)).first;
  }
  return it->second.get();
}

pdx::Status Batch::parseLine(size_t line, const std::vector<std::string_view>& cells) {
  Operation op;
  op.line = line;
  op.verb = std::string(cells[0]);
  const std::optional<OpKind> kind = opKindOf(cells[0]);
  if (!kind) return pdx::Status(pdx::code::kInvalidParameter, "unknown operation " + pdx::quote(op.verb) + " (insert, update, add or delete)");
  op.kind = *kind;
  if (cells.size() < 2 || cells[1].empty())
    return pdx::Status(pdx::code::kInvalidParameter, op.verb + " needs a table after a tab");
  op.tableName = std::string(cells[1]);
  PDX_ASSIGN_OR_RETURN(op.table, table(op.tableName));
  pdx::Status st = parseCells(op, cells);
  if (!st.ok()) return pdx::Status(st.code(), op.verb + " " + pdx::echo(op.tableName) + ": " + st.message());
  ops_.push_back(std::move(op));
  return {};
}

pdx::Status Batch::parseCells(Operation& op, const std::vector<std::string_view>& cells) const {
  const pdx::Schema& schema = op.table->schema();
  size_t next = 2;
  if (op.kind != OpKind::kInsert) {
    if (!schema.keyed())
      return pdx::Status(pdx::code::kInvalidParameter,
                         "the table has no key, so its rows cannot be named; only insert applies to it");
    if (cells.size() < 3 || !startsWithKey(cells[2]))
      return pdx::Status(pdx::code::kInvalidParameter, "the third cell must be the record's key=v1;v2;...");
    op.keyText = std::string(cells[2].substr(4));
    PDX_ASSIGN_OR_RETURN(op.key, parseKey(schema, op.keyText));
    next = 3;
  }
  for (size_t c = next; c < cells.size(); ++c) {
    if (cells[c].empty())
      return pdx::Status(pdx::code::kInvalidParameter, "cell " + std::to_string(c + 1) + " is empty (a stray tab?)");
    PDX_ASSIGN_OR_RETURN(Assignment a, parseAssignment(schema, cells[c]));
    for (const Assignment& seen : op.sets)
      if (seen.field == a.field) return invalid("field " + pdx::quote(schema.fields[size_t(a.field)].name) + " is given twice");
    op.sets.push_back(std::move(a));
  }

  switch (op.kind) {
    case OpKind::kInsert:
    case OpKind::kUpdate:
      if (op.sets.empty()) return pdx::Status(pdx::code::kInvalidParameter, "no Field=value to set");
      break;
    case OpKind::kDelete:
      if (!op.sets.empty()) return pdx::Status(pdx::code::kInvalidParameter, "delete takes only a table and a key");
      break;
    case OpKind::kAdd: {
      if (op.sets.size() != 1) return pdx::Status(pdx::code::kInvalidParameter, "add takes exactly one Field=number");
      const pdx::FieldDef& f = schema.fields[size_t(op.sets[0].field)];
      if (!isAddable(f.type))
        return invalid("add works on short, long integer, number, money and BCD fields; \"" + f.name + "\" is of type " +
                       pdx::typeLetter(f.type));
      if (op.sets[0].value.isNull()) return invalid("add needs a number for \"" + f.name + "\"");
      break;
    }
  }
  return {};
}

pdx::Result<std::vector<pdx::Value>> Batch::parseKey(const pdx::Schema& schema, std::string_view text) const {
  const std::vector<std::string> parts = splitKey(text);
  if (parts.size() != size_t(schema.keyFieldCount))
    return invalid("the key has " + std::to_string(schema.keyFieldCount) + " field(s) and the line gives " +
                   std::to_string(parts.size()) + " value(s) (separate them with ';', write \\; for a ';' in a value)");
  std::vector<pdx::Value> key;
  for (size_t i = 0; i < parts.size(); ++i) {
    PDX_ASSIGN_OR_RETURN(pdx::Value v, pdx::parseValue(schema.fields[i], parts[i]));
    key.push_back(std::move(v));
  }
  return key;
}

pdx::Result<Assignment> Batch::parseAssignment(const pdx::Schema& schema, std::string_view cell) const {
  const size_t eq = cell.find('=');
  if (eq == std::string_view::npos || eq == 0)
    return pdx::Status(pdx::code::kInvalidParameter, pdx::quote(cell) + " is not Field=value");
  auto name = pdx::unescapeText(cell.substr(0, eq));
  if (!name.ok()) return invalid("field name " + pdx::quote(cell.substr(0, eq)) + ": " + name.status().message());
  Assignment a;
  a.field = schema.fieldIndex(*name);
  if (a.field < 0) return invalid("the table has no field " + pdx::quote(*name));
  a.text = std::string(cell.substr(eq + 1));
  PDX_ASSIGN_OR_RETURN(a.value, pdx::parseValue(schema.fields[size_t(a.field)], a.text));
  return a;
}

pdx::Status Batch::run() {
  for (const Operation& op : ops_) {
    pdx::Status st = execute(op);
    // A failed operation must not leave its cursor editing (and the record
    // locked) while the group is rolled back.
    if (!st.ok()) {
      (void)op.table->cancel();
      return atOp(op, st);
    }
  }
  return {};
}

pdx::Status Batch::execute(const Operation& op) {
  pdx::Table& t = *op.table;
  switch (op.kind) {
    case OpKind::kInsert:
      PDX_RETURN_IF_ERROR(t.append());
      PDX_RETURN_IF_ERROR(setAll(op));
      return t.post();
    case OpKind::kUpdate:
      PDX_RETURN_IF_ERROR(findRow(op));
      PDX_RETURN_IF_ERROR(t.edit());
      PDX_RETURN_IF_ERROR(setAll(op));
      return t.post();
    case OpKind::kAdd:
      PDX_RETURN_IF_ERROR(findRow(op));
      PDX_RETURN_IF_ERROR(t.edit());
      PDX_RETURN_IF_ERROR(addTo(op));
      return t.post();
    case OpKind::kDelete:
      PDX_RETURN_IF_ERROR(findRow(op));
      return t.remove();
  }
  return {};
}

pdx::Status Batch::findRow(const Operation& op) {
  pdx::Status st = op.table->findKey(op.key);
  if (st.is(pdx::code::kRecordNotFound))
    return pdx::Status(st.code(), "no record with this key in " + op.table->path());
  return st;
}

pdx::Status Batch::setAll(const Operation& op) {
  for (const Assignment& a : op.sets) PDX_RETURN_IF_ERROR(op.table->set(a.field, a.value));
  return {};
}

// With the record being edited: field += number.
pdx::Status Batch::addTo(const Operation& op) {
  pdx::Table& t = *op.table;
  const Assignment& a = op.sets[0];
  const pdx::FieldDef& f = t.schema().fields[size_t(a.field)];
  PDX_ASSIGN_OR_RETURN(pdx::Value old, t.get(a.field));
  if (f.type == pdx::FieldType::kShort || f.type == pdx::FieldType::kLong) {
    // Both lie within a long integer's range: the sum cannot overflow here,
    // and set() refuses one the field cannot hold.
    const int64_t before = old.isNull() ? 0 : old.asInteger();
    return t.set(a.field, pdx::Value::integer(before + a.value.asInteger()));
  }
  const std::string before = old.isNull() ? "0" : pdx::formatValue(f, old);
  std::optional<std::string> sum = addDecimalText(before, a.text);
  if (!sum) {
    // Only a value no dump would print (nan, inf) gets here.
    return invalid("field \"" + f.name + "\" holds " + before + ", which cannot be added to");
  }
  // Rounds the exact sum to the nearest double (money, number); refuses one
  // beyond a double's range.
  PDX_ASSIGN_OR_RETURN(pdx::Value total, pdx::parseValue(f, *sum));
  return t.set(a.field, total);
}

}  // namespace

int runApply(const std::string& dirPath, const std::string& opsFile, std::ostream& out, std::ostream& err) {
  auto text = readTextFile(opsFile);
  if (!text.ok()) return fail(err, "apply", opsFile, text.status());
  auto dir = pdx::Directory::open(dirPath);
  if (!dir.ok()) return fail(err, "apply", dirPath, dir.status());
  auto nothing = [](const pdx::Status& st) { return pdx::Status(st.code(), st.message() + "; nothing was written"); };

  Batch batch(**dir);
  pdx::Status st = batch.parse(*text);
  if (!st.ok()) return fail(err, "apply", opsFile, nothing(st));
  auto group = (*dir)->beginGroup();
  if (!group.ok()) return fail(err, "apply", dirPath, group.status());
  st = batch.run();
  // Destroying the group without a commit rolls every held change back.
  if (!st.ok()) return fail(err, "apply", opsFile, nothing(st));
  st = (*group)->commit();
  if (!st.ok()) return fail(err, "apply", opsFile, nothing(pdx::Status(st.code(), "commit: " + st.message())));
  return finishOutput(out, err, "apply", opsFile);
}

}  // namespace pdxtool
