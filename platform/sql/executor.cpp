// Executes a statement: opens the table read-only, binds the names and values
// of the statement to the table's fields, reads the matching records (through
// the primary index when leading key fields are fixed by equalities, else in
// table order), and sorts them when the reading order is not the ORDER BY.
#include "executor.h"

#include <algorithm>
#include <map>
#include <functional>
#include <numeric>
#include <span>

#include "compare.h"
#include "lexer.h"
#include "sql/query.h"
#include "utf8.h"

namespace sql::detail {
namespace {

enum class Truth { kFalse, kTrue, kUnknown };

Truth truthOf(bool b) { return b ? Truth::kTrue : Truth::kFalse; }

// A condition bound to the table: field numbers and typed constants.
struct Predicate {
  Condition::Kind kind = Condition::Kind::kCompare;
  std::vector<std::unique_ptr<Predicate>> children;
  int field = -1;
  ValueClass valueClass = ValueClass::kText;
  bool extract = false;
  DatePart part = DatePart::kYear;
  CompareOp op = CompareOp::kEqual;
  Constant constant;
  std::optional<LikePattern> pattern;
  bool negated = false;
};

struct SortKey {
  int field;
  ValueClass valueClass;
  bool descending;
};

// The fields of the record under the cursor, read on first use: a record the
// condition rejects costs only the fields the condition looks at. The values
// are read into the same Value objects record after record, so that text
// fields reuse their storage.
class RecordReader {
 public:
  RecordReader(pdx::Table& table, size_t fieldCount) : table_(table), values_(fieldCount), loaded_(fieldCount) {}

  void reset() { std::fill(loaded_.begin(), loaded_.end(), 0); }

  const pdx::Value& get(int field) {
    const size_t f = static_cast<size_t>(field);
    if (!loaded_[f]) {
      loaded_[f] = 1;
      read(field, values_[f]);
    }
    return values_[f];
  }

  // Puts the field's value for the row being kept into `out`: the value the
  // condition looked at, or one read straight from the table.
  void moveTo(int field, pdx::Value& out) {
    const size_t f = static_cast<size_t>(field);
    if (loaded_[f]) out = std::move(values_[f]);
    else read(field, out);
    loaded_[f] = 1;
  }

  const pdx::Status& error() const { return error_; }
  std::vector<uint32_t>& scratch() { return scratch_; }

 private:
  void read(int field, pdx::Value& out) {
    pdx::Status st = table_.get(field, out);
    if (!st.ok() && error_.ok()) error_ = std::move(st);
  }

  pdx::Table& table_;
  std::vector<pdx::Value> values_;
  std::vector<char> loaded_;
  std::vector<uint32_t> scratch_;
  pdx::Status error_;
};

bool holds(CompareOp op, int order) {
  switch (op) {
    case CompareOp::kEqual: return order == 0;
    case CompareOp::kNotEqual: return order != 0;
    case CompareOp::kLess: return order < 0;
    case CompareOp::kGreater: return order > 0;
    case CompareOp::kLessEqual: return order <= 0;
    case CompareOp::kGreaterEqual: return order >= 0;
  }
  return false;
}

Truth evaluate(const Predicate& p, RecordReader& record) {
  switch (p.kind) {
    case Condition::Kind::kAnd: {
      Truth result = Truth::kTrue;
      for (const auto& c : p.children) {
        const Truth t = evaluate(*c, record);
        if (t == Truth::kFalse) return t;
        if (t == Truth::kUnknown) result = t;
      }
      return result;
    }
    case Condition::Kind::kOr: {
      Truth result = Truth::kFalse;
      for (const auto& c : p.children) {
        const Truth t = evaluate(*c, record);
        if (t == Truth::kTrue) return t;
        if (t == Truth::kUnknown) result = t;
      }
      return result;
    }
    case Condition::Kind::kNot: {
      const Truth t = evaluate(*p.children.front(), record);
      return t == Truth::kUnknown ? t : truthOf(t == Truth::kFalse);
    }
    case Condition::Kind::kCompare: {
      const pdx::Value& v = record.get(p.field);
      std::optional<int> order;
      if (p.extract) {
        const std::optional<int64_t> part = extractPart(p.part, v);
        if (part) order = compareWithConstant(ValueClass::kInteger, pdx::Value::integer(*part), p.constant);
      } else {
        order = compareWithConstant(p.valueClass, v, p.constant);
      }
      return order ? truthOf(holds(p.op, *order)) : Truth::kUnknown;
    }
    case Condition::Kind::kLike: {
      const pdx::Value& v = record.get(p.field);
      if (v.kind() != pdx::Value::Kind::kText || trimTrailingBlanks(v.asText()).empty()) return Truth::kUnknown;
      return truthOf(p.pattern->matches(v.asText(), record.scratch()) != p.negated);
    }
    case Condition::Kind::kIsNull: return truthOf(record.get(p.field).isNull() != p.negated);
  }
  return Truth::kUnknown;
}

class Run {
 public:
  Run(const Statement& st, const std::vector<std::optional<pdx::Value>>& params) : st_(st), params_(params) {}

  pdx::Status error(uint16_t code, size_t offset, const std::string& reason) const {
    return queryError(code, st_.text, offset, reason);
  }

  const std::string& tableLabel() const { return st_.table; }

  pdx::Result<int> lookUpField(const std::string& name, size_t offset) const {
    const int f = schema_->fieldIndex(name);
    if (f < 0)
      return error(code::kUnknownField, offset, "table " + printable(tableLabel()) + " has no field \"" + printable(name) + "\"");
    return f;
  }

  const pdx::FieldDef& def(int field) const { return schema_->fields[static_cast<size_t>(field)]; }

  // The value of a literal or parameter operand.
  pdx::Result<pdx::Value> valueOf(const Operand& o) const {
    switch (o.kind) {
      case Operand::Kind::kNumber: return pdx::Value::decimal(o.text);
      case Operand::Kind::kText: return pdx::Value::text(o.text);
      case Operand::Kind::kParameter: {
        const auto& v = params_[static_cast<size_t>(o.parameter)];
        if (!v) return error(code::kUnboundParameter, o.offset, "parameter :" + printable(o.text) + " has no value");
        return *v;
      }
      default: break;
    }
    return error(code::kSyntaxError, o.offset, "expected a value");
  }

  // How a message names a literal or parameter.
  static std::string describe(const Operand& o, const pdx::Value& v) {
    switch (o.kind) {
      case Operand::Kind::kNumber: return o.text;
      case Operand::Kind::kText: return "'" + printable(o.text) + "'";
      default:
        if (v.kind() == pdx::Value::Kind::kText)
          return "the value of :" + printable(o.text) + " ('" + printable(v.asText()) + "')";
        return "the value of :" + printable(o.text);
    }
  }

  pdx::Result<std::unique_ptr<Predicate>> bind(const Condition& c) {
    auto p = std::make_unique<Predicate>();
    p->kind = c.kind;
    p->negated = c.negated;
    p->op = c.op;
    switch (c.kind) {
      case Condition::Kind::kAnd:
      case Condition::Kind::kOr:
      case Condition::Kind::kNot:
        for (const auto& child : c.children) {
          PDX_ASSIGN_OR_RETURN(auto bound, bind(*child));
          p->children.push_back(std::move(bound));
        }
        return p;
      case Condition::Kind::kIsNull: {
        PDX_ASSIGN_OR_RETURN(p->field, lookUpField(c.subject.text, c.subject.offset));
        return p;
      }
      case Condition::Kind::kLike: {
        PDX_ASSIGN_OR_RETURN(p->field, lookUpField(c.subject.text, c.subject.offset));
        const pdx::FieldDef& f = def(p->field);
        if (classOf(f.type) != ValueClass::kText)
          return error(code::kTypeMismatch, c.offset, "LIKE compares text; " + printable(f.name) + " holds " + typeName(f.type));
        PDX_ASSIGN_OR_RETURN(pdx::Value pattern, valueOf(c.value));
        if (!pattern.isNull() && pattern.kind() != pdx::Value::Kind::kText)
          return error(code::kTypeMismatch, c.value.offset,
                       describe(c.value, pattern) + " is " + kindName(pattern.kind()) + ", not a text pattern for LIKE");
        p->pattern.emplace(pattern.isNull() ? std::string_view() : std::string_view(pattern.asText()));
        return p;
      }
      case Condition::Kind::kCompare: {
        PDX_ASSIGN_OR_RETURN(p->field, lookUpField(c.subject.text, c.subject.offset));
        const pdx::FieldDef& f = def(p->field);
        std::string subject = printable(f.name);
        const std::optional<ValueClass> cls = classOf(f.type);
        if (c.subject.kind == Operand::Kind::kExtract) {
          if (f.type != pdx::FieldType::kDate && f.type != pdx::FieldType::kTimestamp)
            return error(code::kTypeMismatch, c.subject.offset,
                         "EXTRACT needs a date or timestamp field; " + subject + " holds " + typeName(f.type));
          p->extract = true;
          p->part = c.subject.part;
          p->valueClass = ValueClass::kInteger;
          subject = "EXTRACT from " + subject + " gives a number; ";
        } else {
          if (!cls)
            return error(code::kTypeMismatch, c.subject.offset, subject + " holds " + typeName(f.type) + ", which cannot be compared");
          p->valueClass = *cls;
          subject += " holds " + typeName(f.type) + "; ";
        }
        PDX_ASSIGN_OR_RETURN(pdx::Value v, valueOf(c.value));
        auto constant = toConstant(p->valueClass, v);
        if (!constant.ok())
          return error(code::kTypeMismatch, c.value.offset, subject + describe(c.value, v) + " " + constant.status().message());
        p->constant = std::move(constant).value();
        return p;
      }
    }
    return error(code::kSyntaxError, c.offset, "unknown condition");
  }

  struct Output {
    std::string tablePath;
    std::vector<pdx::FieldDef> fields;
    std::vector<pdx::Value> values;
    // With a decoder: the records as stored, decoded when read, and in
    // values only the fields of `eager`, row after row.
    std::string records;
    std::shared_ptr<const pdx::RecordDecoder> decoder;
    std::vector<int> eager;
    // The values of the rows (row, field) whose memos were too long for
    // their record, read from the table.
    std::map<std::pair<int64_t, int>, pdx::Value> longMemos;
    ExecutionStats stats;
  };
  pdx::Result<Output> execute(pdx::Directory& directory);

 private:
  bool needsSort(const std::vector<SortKey>& keys, const std::vector<char>& fixed) const;
  pdx::Status readRecords(pdx::Table& table, const std::vector<pdx::Value>& key, const Predicate* where,
                          const std::vector<const Predicate*>& keyEqualities);
  pdx::Status readError(pdx::Table& table, const pdx::Status& st) const {
    return pdx::Status(st.code(), "reading " + table.path() + " after " + std::to_string(stats_.rowsVisited) +
                                      " records: " + st.message());
  }
  void sortRows(const std::vector<SortKey>& keys);

  const Statement& st_;
  const std::vector<std::optional<pdx::Value>>& params_;
  const pdx::Schema* schema_ = nullptr;
  std::vector<pdx::Value> values_;
  // Set when the rows are kept as stored records (see execute); values_ then
  // holds the fields of eager_ only.
  std::shared_ptr<const pdx::RecordDecoder> decoder_;
  std::string records_;
  std::vector<int> eager_;
  std::vector<int> memos_;
  std::map<std::pair<int64_t, int>, pdx::Value> longMemos_;
  // After a stored record was added: the memos of it that the decoder cannot
  // read, taken from the table now (by `read`).
  pdx::Status keepLongMemos(const std::function<pdx::Status(int, pdx::Value&)>& read);
  ExecutionStats stats_;
};

// The table already yields its records in key order: an ORDER BY needs no
// sort when, leaving out the fields the condition fixes to one value, it
// names leading key fields in key order, ascending, skipping only key fields
// that are fixed.
bool Run::needsSort(const std::vector<SortKey>& keys, const std::vector<char>& fixed) const {
  std::vector<SortKey> rest;
  for (const SortKey& k : keys)
    if (!fixed[static_cast<size_t>(k.field)]) rest.push_back(k);
  size_t next = 0;
  for (int j = 0; j < schema_->keyFieldCount && next < rest.size(); ++j) {
    if (rest[next].field == j) {
      if (rest[next].descending) return true;
      ++next;
    } else if (!fixed[static_cast<size_t>(j)]) {
      return true;
    }
  }
  return next < rest.size();
}

// An equality whose key bytes chose the index range holds for every record
// in it, when decoding those bytes gives back the constant exactly. Text is
// stored without trailing blanks, as the constant is kept; BCD, number and
// timestamp constants may be rounded on the way to the key, so those are
// tested again.
bool servedByRange(const Predicate& p) {
  switch (p.valueClass) {
    case ValueClass::kText:
    case ValueClass::kInteger:
    case ValueClass::kDate:
    case ValueClass::kTime:
    case ValueClass::kLogical: return true;
    default: return false;
  }
}

pdx::Status Run::keepLongMemos(const std::function<pdx::Status(int, pdx::Value&)>& read) {
  if (memos_.empty()) return {};
  const size_t size = static_cast<size_t>(decoder_->recordSize());
  const std::string_view stored(records_.data() + records_.size() - size, size);
  const auto row = static_cast<int64_t>(records_.size() / size) - 1;
  for (int f : memos_) {
    if (decoder_->decodes(stored, f)) continue;
    pdx::Value v;
    PDX_RETURN_IF_ERROR(read(f, v));
    longMemos_.emplace(std::make_pair(row, f), std::move(v));
  }
  return {};
}

// `keyEqualities` are the conjuncts of `where` whose values make up `key`.
pdx::Status Run::readRecords(pdx::Table& table, const std::vector<pdx::Value>& key, const Predicate* where,
                             const std::vector<const Predicate*>& keyEqualities) {
  const size_t fieldCount = schema_->fields.size();
  pdx::Status st;
  if (!key.empty()) {
    st = table.setRange(key, key);
    // A value the key field cannot hold (text beyond the code page, say)
    // still has to be answered: by reading every record.
    if (st.is(pdx::code::kInvalidValue) || st.is(pdx::code::kUnrepresentable) || st.is(pdx::code::kInvalidParameter)) {
      PDX_RETURN_IF_ERROR(table.cancelRange());
      stats_.keyFieldsUsed = 0;
      st = table.first();
    } else {
      stats_.keyFieldsUsed = static_cast<int>(key.size());
    }
  } else {
    st = table.first();
  }
  if (!st.ok() && !st.is(pdx::code::kEof)) return readError(table, st);

  // The conjuncts each record is tested against (all of them must hold).
  std::vector<const Predicate*> tests;
  auto served = [&](const Predicate* p) {
    return stats_.keyFieldsUsed > 0 && servedByRange(*p) &&
           std::find(keyEqualities.begin(), keyEqualities.end(), p) != keyEqualities.end();
  };
  if (where && where->kind == Condition::Kind::kAnd) {
    for (const auto& c : where->children)
      if (!served(c.get())) tests.push_back(c.get());
  } else if (where && !served(where)) {
    tests.push_back(where);
  }
  // Every record of the range, or of the table, is a row when nothing is
  // left to test: room for all of them is made at once.
  if (tests.empty()) {
    auto count = table.recordCount();
    if (count.ok() && decoder_) {
      records_.reserve(static_cast<size_t>(*count) * static_cast<size_t>(decoder_->recordSize()));
      values_.reserve(static_cast<size_t>(*count) * eager_.size());
    } else if (count.ok()) {
      values_.reserve(static_cast<size_t>(*count) * fieldCount);
    }
  }

  if (tests.empty() && decoder_) {
    while (table.hasRecord()) {
      ++stats_.rowsVisited;
      records_.append(table.storedRecord());
      for (int f : eager_) {
        st = table.get(f, values_.emplace_back());
        if (!st.ok()) return readError(table, st);
      }
      st = keepLongMemos([&table](int f, pdx::Value& v) { return table.get(f, v); });
      if (!st.ok()) return readError(table, st);
      st = table.next();
      if (st.is(pdx::code::kEof)) break;
      if (!st.ok()) return readError(table, st);
    }
    return {};
  }

  if (tests.empty()) {
    // Every record is a row: each is read whole, straight into its place.
    while (table.hasRecord()) {
      ++stats_.rowsVisited;
      const size_t row = values_.size();
      values_.resize(row + fieldCount);
      st = table.getAll(std::span<pdx::Value>(values_.data() + row, fieldCount));
      if (!st.ok()) return readError(table, st);
      st = table.next();
      if (st.is(pdx::code::kEof)) break;
      if (!st.ok()) return readError(table, st);
    }
    return {};
  }

  RecordReader record(table, fieldCount);
  while (table.hasRecord()) {
    ++stats_.rowsVisited;
    record.reset();
    Truth t = Truth::kTrue;
    for (const Predicate* test : tests) {
      const Truth one = evaluate(*test, record);
      if (one == Truth::kFalse) {
        t = one;
        break;
      }
      if (one == Truth::kUnknown) t = one;
    }
    if (!record.error().ok()) return readError(table, record.error());
    if (t == Truth::kTrue && decoder_) {
      records_.append(table.storedRecord());
      for (int f : eager_) record.moveTo(f, values_.emplace_back());
      st = keepLongMemos([&record](int f, pdx::Value& v) {
        record.moveTo(f, v);
        return record.error();
      });
      if (!st.ok()) return readError(table, st);
      if (!record.error().ok()) return readError(table, record.error());
    } else if (t == Truth::kTrue) {
      const size_t row = values_.size();
      values_.resize(row + fieldCount);
      for (size_t f = 0; f < fieldCount; ++f) record.moveTo(static_cast<int>(f), values_[row + f]);
      if (!record.error().ok()) return readError(table, record.error());
    }
    st = table.next();
    if (st.is(pdx::code::kEof)) break;
    if (!st.ok()) return readError(table, st);
  }
  return {};
}

// A stable sort of row numbers, then the rows moved into that order in place:
// the values are held once, plus one row while a cycle of moves is under way.
void Run::sortRows(const std::vector<SortKey>& keys) {
  const size_t width = schema_->fields.size();
  if (width == 0) return;
  const size_t rows = values_.size() / width;
  std::vector<size_t> order(rows);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    for (const SortKey& k : keys) {
      const size_t f = static_cast<size_t>(k.field);
      const int c = compareForSort(k.valueClass, values_[a * width + f], values_[b * width + f]);
      if (c != 0) return k.descending ? c > 0 : c < 0;
    }
    return false;
  });
  // Row i of the result is row order[i] of the input.
  std::vector<pdx::Value> held(width);
  for (size_t i = 0; i < rows; ++i) {
    if (order[i] == i) continue;
    for (size_t f = 0; f < width; ++f) held[f] = std::move(values_[i * width + f]);
    size_t j = i;
    while (order[j] != i) {
      const size_t from = order[j];
      for (size_t f = 0; f < width; ++f) values_[j * width + f] = std::move(values_[from * width + f]);
      order[j] = j;
      j = from;
    }
    for (size_t f = 0; f < width; ++f) values_[j * width + f] = std::move(held[f]);
    order[j] = j;
  }
}

pdx::Result<Run::Output> Run::execute(pdx::Directory& directory) {
  auto opened = directory.openTable(st_.table, pdx::Directory::Access::kReadOnly);
  if (!opened.ok()) return error(opened.status().code(), st_.tableOffset, opened.status().message());
  std::unique_ptr<pdx::Table> table = std::move(opened).value();
  schema_ = &table->schema();
  const size_t fieldCount = schema_->fields.size();

  std::unique_ptr<Predicate> where;
  if (st_.where) {
    PDX_ASSIGN_OR_RETURN(where, bind(*st_.where));
  }

  std::vector<SortKey> sortKeys;
  for (const OrderItem& item : st_.orderBy) {
    PDX_ASSIGN_OR_RETURN(int f, lookUpField(item.field, item.offset));
    const std::optional<ValueClass> cls = classOf(def(f).type);
    if (!cls)
      return error(code::kTypeMismatch, item.offset,
                   "cannot sort on " + printable(def(f).name) + ": it holds " + typeName(def(f).type));
    sortKeys.push_back(SortKey{f, *cls, item.descending});
  }

  // Equalities at the top of the condition (alone or joined by AND) fix
  // their field to one value in every row of the result.
  std::vector<const Predicate*> conjuncts;
  if (where && where->kind == Condition::Kind::kAnd) {
    for (const auto& c : where->children) conjuncts.push_back(c.get());
  } else if (where) {
    conjuncts.push_back(where.get());
  }
  std::vector<char> fixed(fieldCount, 0);
  std::vector<const Predicate*> equality(fieldCount, nullptr);
  bool nothingMatches = false;
  for (const Predicate* c : conjuncts) {
    if (c->kind != Condition::Kind::kCompare) continue;
    // A comparison with NULL is never true, and neither is the whole AND.
    if (c->constant.null) nothingMatches = true;
    if (c->extract || c->op != CompareOp::kEqual || c->constant.null) continue;
    const size_t f = static_cast<size_t>(c->field);
    fixed[f] = 1;
    if (!equality[f]) equality[f] = c;
  }

  std::vector<pdx::Value> key;
  std::vector<const Predicate*> keyEqualities;
  for (int j = 0; j < schema_->keyFieldCount && equality[static_cast<size_t>(j)]; ++j) {
    const Predicate* eq = equality[static_cast<size_t>(j)];
    std::optional<pdx::Value> v = keyValue(eq->valueClass, eq->constant);
    if (!v) break;
    key.push_back(std::move(*v));
    keyEqualities.push_back(eq);
  }

  // Rows that need no sort are kept as the table stores them, and each value
  // is decoded when it is read: most readers read a few fields of a few rows.
  // Fields that could fail to decode (the query reports that now), blobs,
  // and memos too long for their record (read through the table, closed by
  // then) are read at once.
  const bool sorting = !sortKeys.empty() && needsSort(sortKeys, fixed);
  if (!sorting) {
    decoder_ = table->recordDecoder();
    for (int f = 0; f < static_cast<int>(fieldCount); ++f) {
      const pdx::FieldType type = def(f).type;
      if (type == pdx::FieldType::kMemo || type == pdx::FieldType::kFmtMemo) memos_.push_back(f);
      else if (!decoder_->decodesEveryRecord(f)) eager_.push_back(f);
    }
  }
  if (!nothingMatches) PDX_RETURN_IF_ERROR(readRecords(*table, key, where.get(), keyEqualities));
  if (sorting) {
    stats_.sorted = true;
    sortRows(sortKeys);
  }
  Output out;
  out.tablePath = table->path();
  out.fields = schema_->fields;
  out.values = std::move(values_);
  out.records = std::move(records_);
  out.decoder = std::move(decoder_);
  out.eager = std::move(eager_);
  out.longMemos = std::move(longMemos_);
  out.stats = stats_;
  return out;
}

}  // namespace

pdx::Result<std::unique_ptr<RowSet>> Executor::run(const Statement& statement,
                                                   const std::vector<std::optional<pdx::Value>>& parameters,
                                                   pdx::Directory& directory) {
  Run run(statement, parameters);
  PDX_ASSIGN_OR_RETURN(Run::Output r, run.execute(directory));
  if (r.decoder)
    return std::unique_ptr<RowSet>(
        new RowSet(std::move(r.tablePath), std::move(r.fields), std::move(r.records), std::move(r.decoder),
                   std::move(r.eager), std::move(r.values), std::move(r.longMemos), r.stats));
  return std::unique_ptr<RowSet>(
      new RowSet(std::move(r.tablePath), std::move(r.fields), std::move(r.values), r.stats));
}

}  // namespace sql::detail
