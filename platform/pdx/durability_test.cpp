// Crash, fault-injection and concurrency tests of commits: whatever fails or
// dies, and wherever it does, a write group reaches the tables whole or not
// at all, and a reader never sees it half done.
//
// Every case runs on the same small books: a sale in Sales (keyed, its note
// a memo that often lives in the .MB), its amount added to the running total
// of Totals (keyed, one row "all"), and a line in Lines (unkeyed). A group
// changes all three. Blocks are 1 KiB, so that a sale in the middle of the
// keys splits a block and a refund of the last sale frees one.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {  // pxlib's header declares C functions without saying so
#include <paradox.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

#include "ascii.h"
#include "fault_env.h"
#include "journal.h"
#include "redo_log.h"
#include "pdx/check.h"
#include "pdx/dump_format.h"
#include "pdx/table.h"
#include "table_file.h"
#include "test_util.h"

namespace pdx {
namespace {

using testing::FaultEnv;
using testing::TempDir;
using Op = FaultEnv::Op;
using CutMode = FaultEnv::CutMode;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- the books

constexpr const char* kSales = "Sales";
constexpr const char* kTotals = "Totals";
constexpr const char* kLines = "Lines";
constexpr const char* kTableNames[] = {kSales, kTotals, kLines};

std::vector<FieldDef> salesFields() {
  return {{"Id", FieldType::kLong, 0}, {"Amount", FieldType::kMoney, 0}, {"Note", FieldType::kMemo, 20}};
}
std::vector<FieldDef> totalsFields() {
  return {{"Name", FieldType::kAlpha, 10}, {"Total", FieldType::kMoney, 0}, {"Count", FieldType::kLong, 0}};
}
std::vector<FieldDef> linesFields() {
  return {{"Line", FieldType::kLong, 0}, {"Sale", FieldType::kLong, 0}, {"Text", FieldType::kAlpha, 40}};
}

// Quarters, so that every sum of amounts is exact in a double.
double amountOf(int64_t id) { return static_cast<double>(id * 37 % 101) + 0.25; }

// A note kept in the record (12 bytes), in a shared .MB block (300) or in
// blocks of its own (3000).
std::string noteOf(int64_t id) {
  const size_t length = id % 3 == 0 ? 3000 : id % 3 == 1 ? 12 : 300;
  const std::string piece = "Sale " + std::to_string(id) + ": received and delivered. ";
  std::string out;
  while (out.size() < length) out += piece;
  out.resize(length);
  return out;
}

Status createBooks(Directory& dir) {
  CreateOptions small;
  small.blockSize = 1024;
  PDX_RETURN_IF_ERROR(dir.createTable(kSales, salesFields(), 1, small));
  PDX_RETURN_IF_ERROR(dir.createTable(kTotals, totalsFields(), 1, small));
  PDX_RETURN_IF_ERROR(dir.createTable(kLines, linesFields(), 0, small));
  PDX_ASSIGN_OR_RETURN(auto totals, dir.openTable(kTotals));
  PDX_RETURN_IF_ERROR(totals->insert());
  PDX_RETURN_IF_ERROR(totals->set("Name", Value::text("all")));
  PDX_RETURN_IF_ERROR(totals->set("Total", Value::number(0)));
  PDX_RETURN_IF_ERROR(totals->set("Count", Value::integer(0)));
  return totals->post();
}

Status addToTotal(Directory& dir, double amount, int count) {
  PDX_ASSIGN_OR_RETURN(auto totals, dir.openTable(kTotals));
  PDX_RETURN_IF_ERROR(totals->findKey({Value::text("all")}));
  PDX_RETURN_IF_ERROR(totals->edit());
  PDX_ASSIGN_OR_RETURN(Value total, totals->get("Total"));
  PDX_ASSIGN_OR_RETURN(Value n, totals->get("Count"));
  PDX_RETURN_IF_ERROR(totals->set("Total", Value::number(total.asNumber() + amount)));
  PDX_RETURN_IF_ERROR(totals->set("Count", Value::integer(n.asInteger() + count)));
  return totals->post();
}

Status addLine(Directory& dir, int64_t sale) {
  PDX_ASSIGN_OR_RETURN(auto lines, dir.openTable(kLines));
  PDX_ASSIGN_OR_RETURN(int64_t n, lines->recordCount());
  PDX_RETURN_IF_ERROR(lines->append());
  PDX_RETURN_IF_ERROR(lines->set("Line", Value::integer(n + 1)));
  PDX_RETURN_IF_ERROR(lines->set("Sale", Value::integer(sale)));
  PDX_RETURN_IF_ERROR(lines->set("Text", Value::text((sale > 0 ? "sale " : "refund ") + std::to_string(sale))));
  return lines->post();
}

// Posts sale `id` to the three tables, inside whatever group is under way.
Status postSale(Directory& dir, int64_t id) {
  {
    PDX_ASSIGN_OR_RETURN(auto sales, dir.openTable(kSales));
    PDX_RETURN_IF_ERROR(sales->insert());
    PDX_RETURN_IF_ERROR(sales->set("Id", Value::integer(id)));
    PDX_RETURN_IF_ERROR(sales->set("Amount", Value::number(amountOf(id))));
    PDX_RETURN_IF_ERROR(sales->set("Note", Value::text(noteOf(id))));
    PDX_RETURN_IF_ERROR(sales->post());
  }
  PDX_RETURN_IF_ERROR(addToTotal(dir, amountOf(id), 1));
  return addLine(dir, id);
}

// Takes sale `id` back: its row (and its note) goes, the total drops, a line
// records the refund.
Status postRefund(Directory& dir, int64_t id) {
  double amount = 0;
  {
    PDX_ASSIGN_OR_RETURN(auto sales, dir.openTable(kSales));
    PDX_RETURN_IF_ERROR(sales->findKey({Value::integer(id)}));
    PDX_ASSIGN_OR_RETURN(Value a, sales->get("Amount"));
    amount = a.asNumber();
    PDX_RETURN_IF_ERROR(sales->remove());
  }
  PDX_RETURN_IF_ERROR(addToTotal(dir, -amount, -1));
  return addLine(dir, -id);
}

template <typename Post>
Status inGroup(Directory& dir, Post post) {
  PDX_ASSIGN_OR_RETURN(auto group, dir.beginGroup());
  PDX_RETURN_IF_ERROR(post());
  return group->commit();
}

Status commitSale(Directory& dir, int64_t id) {
  return inGroup(dir, [&] { return postSale(dir, id); });
}
Status commitRefund(Directory& dir, int64_t id) {
  return inGroup(dir, [&] { return postRefund(dir, id); });
}

// ---------------------------------------------------------------- files and dumps

using Files = std::map<std::string, std::string>;  // file name -> bytes

bool isTableFile(const std::string& name) {
  return detail::endsWithIgnoreCase(name, ".db") || detail::endsWithIgnoreCase(name, ".px") ||
         detail::endsWithIgnoreCase(name, ".mb");
}
bool isLockFile(const std::string& name) {
  return detail::endsWithIgnoreCase(name, ".tlk") || detail::endsWithIgnoreCase(name, ".lock");
}

// The files of `dir` that `keep` selects.
template <typename Keep>
Files filesOf(const std::string& dir, Keep keep) {
  Files out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (keep(name)) out[name] = testing::readFile(e.path().string());
  }
  return out;
}
Files tableFiles(const std::string& dir) { return filesOf(dir, isTableFile); }
// What a crash leaves behind: everything but the lock files, which hold
// only locks and memory.
Files dataFiles(const std::string& dir) {
  return filesOf(dir, [](const std::string& n) { return !isLockFile(n); });
}

void putFiles(const std::string& dir, const Files& files) {
  for (const auto& [name, bytes] : files) testing::writeFile(dir + "/" + name, bytes);
}

// "" when equal; else where the first difference is.
std::string difference(const Files& have, const Files& want) {
  for (const auto& [name, bytes] : want) {
    auto it = have.find(name);
    if (it == have.end()) return name + " is missing";
    if (it->second == bytes) continue;
    size_t at = 0;
    while (at < bytes.size() && at < it->second.size() && bytes[at] == it->second[at]) ++at;
    return name + " differs from byte " + std::to_string(at) + " (" + std::to_string(it->second.size()) +
           " bytes, expected " + std::to_string(bytes.size()) + ")";
  }
  for (const auto& [name, bytes] : have)
    if (!want.count(name)) return name + " should not exist";
  return {};
}

// Long text as its start, length and checksum: as exact as the whole for
// comparisons, and short enough to read in a failure message.
std::string abbreviated(const std::string& text) {
  if (text.size() <= 40) return text;
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  char tail[64];
  std::snprintf(tail, sizeof tail, "... (%zu bytes, %016llx)", text.size(), static_cast<unsigned long long>(h));
  return text.substr(0, 16) + tail;
}

// Every record of a table in table order, one line each, fields as the dump
// format writes them; the first error ends it.
std::string dumpTable(Table& t) {
  std::string out;
  Status st = t.first();
  for (; st.ok(); st = t.next()) {
    for (size_t i = 0; i < t.schema().fields.size(); ++i) {
      auto v = t.get(static_cast<int>(i));
      if (!v.ok()) return out + "error: " + v.status().toString() + "\n";
      out += abbreviated(formatValue(t.schema().fields[i], *v));
      out += i + 1 < t.schema().fields.size() ? '\t' : '\n';
    }
  }
  if (!st.is(code::kEof)) out += "error: " + st.toString() + "\n";
  return out;
}

// Cursors on the three tables, opened once and kept: what a program that
// has the books open sees.
struct Cursors {
  explicit Cursors(Directory& dir) {
    for (const char* name : kTableNames) {
      auto t = dir.openTable(name);
      EXPECT_TRUE(t.ok()) << name << ": " << t.status().toString();
      if (t.ok()) tables.push_back(std::move(t).value());
    }
  }
  std::string dump() {
    std::string out;
    for (size_t i = 0; i < tables.size(); ++i) out += std::string("== ") + kTableNames[i] + "\n" + dumpTable(*tables[i]);
    return out;
  }
  std::vector<std::unique_ptr<Table>> tables;
};

std::string dumpBooks(const std::string& path) {
  auto dir = Directory::open(path, Env::unsynced());
  if (!dir.ok()) return "error: " + dir.status().toString();
  return Cursors(**dir).dump();
}

// pxlib's reading of a table of long, money and alpha fields, along its block
// chain, in the form of dumpTable.
std::string pxlibDump(const std::string& dbPath) {
  std::string errors;
  auto onError = [](pxdoc_t*, int, const char* msg, void* data) { *static_cast<std::string*>(data) += msg; };
  pxdoc_t* doc = PX_new3(onError, nullptr, nullptr, nullptr, &errors);
  if (PX_open_file(doc, dbPath.c_str()) != 0) {
    PX_delete(doc);
    return "pxlib cannot open " + dbPath + ": " + errors;
  }
  std::string out;
  std::vector<char> rec(static_cast<size_t>(PX_get_recordsize(doc)) + 1);
  for (int r = 0; r < PX_get_num_records(doc) && errors.empty(); ++r) {
    if (PX_get_record(doc, r, rec.data()) == nullptr) {
      out += "pxlib cannot read record " + std::to_string(r) + ": " + errors;
      break;
    }
    int offset = 0;
    for (int i = 0; i < PX_get_num_fields(doc); ++i) {
      const pxfield_t* f = PX_get_field(doc, i);
      char* p = rec.data() + offset;
      offset += f->px_flen;
      FieldDef def{f->px_fname, static_cast<FieldType>(f->px_ftype), 0};
      Value v;
      long l = 0;
      double d = 0;
      char* text = nullptr;
      if (def.type == FieldType::kLong && PX_get_data_long(doc, p, f->px_flen, &l) > 0) {
        v = Value::integer(l);
      } else if (def.type == FieldType::kMoney && PX_get_data_double(doc, p, f->px_flen, &d) > 0) {
        v = Value::number(d);
      } else if (def.type == FieldType::kAlpha && PX_get_data_alpha(doc, p, f->px_flen, &text) > 0) {
        v = Value::text(text);
        doc->free(doc, text);
      }
      out += formatValue(def, v);
      out += i + 1 < PX_get_num_fields(doc) ? '\t' : '\n';
    }
  }
  if (!errors.empty()) out += "pxlib: " + errors;
  PX_close(doc);
  PX_delete(doc);
  return out;
}

void expectSound(const std::string& dir) {
  for (const char* name : kTableNames) {
    auto report = checkTable(dir + "/" + name + ".DB", Env::unsynced());
    ASSERT_TRUE(report.ok()) << name << ": " << report.status().toString();
    for (const auto& fault : report->faults) ADD_FAILURE() << fault;
  }
}

// ---------------------------------------------------------------- workloads

using Workload = std::function<Status(Directory&)>;

struct Case {
  const char* name;
  Workload work;
};

// Sales 2, 4, ..., 50: the first block holds 24 sales and is full, the second
// holds sale 50 alone.
std::vector<Case> cases() {
  return {
      {"a sale that splits a block", [](Directory& d) { return commitSale(d, 9); }},
      {"a refund that frees a block and a memo", [](Directory& d) { return commitRefund(d, 50); }},
  };
}

Files baselineBooks() {
  TempDir tmp;
  auto dir = Directory::open(tmp.path(), Env::unsynced());
  EXPECT_TRUE(dir.ok());
  if (!dir.ok()) return {};
  Status st = createBooks(**dir);
  if (st.ok()) {
    st = inGroup(**dir, [&]() -> Status {
      for (int64_t id = 2; id <= 50; id += 2) PDX_RETURN_IF_ERROR(postSale(**dir, id));
      return {};
    });
  }
  EXPECT_TRUE(st.ok()) << st.toString();
  dir->reset();
  return dataFiles(tmp.path());
}

// The books before and after one workload, and what the workload does to the
// disk on the way.
struct Reference {
  Files start;  // every file of the directory before: the tables and the redo log
  Files before, after;
  std::string beforeDump, afterDump;
  std::array<int, FaultEnv::kOpKinds> counts{};
  int operations = 0;
  std::vector<std::string> trace;
  // Operation numbers of the commit's steps.
  int logWritten = 0;     // the commit's record is in the redo log: a killed program's commit stands
  int logSynced = 0;      // the record is durable: the commit point
  int tablesWritten = 0;  // the last table file is written

  int count(Op op) const { return counts[static_cast<size_t>(op)]; }
  // Operation number of the n-th operation of kind `op`.
  int sequenceOf(Op op, int n) const {
    const std::string word = std::string(" ") + FaultEnv::opName(op) + " ";
    int seen = 0;
    for (size_t i = 0; i < trace.size(); ++i)
      if (trace[i].find(word) != std::string::npos && ++seen == n) return static_cast<int>(i) + 1;
    return 0;
  }
  std::string traceText() const {
    std::string out;
    for (const auto& l : trace) out += l + "\n";
    return out;
  }
};

Reference measure(const Files& baseline, const Workload& work) {
  Reference ref;
  TempDir tmp;
  putFiles(tmp.path(), baseline);
  ref.start = dataFiles(tmp.path());
  ref.before = tableFiles(tmp.path());
  ref.beforeDump = dumpBooks(tmp.path());
  FaultEnv env(Env::unsynced());
  {
    auto dir = Directory::open(tmp.path(), &env);
    EXPECT_TRUE(dir.ok());
    if (!dir.ok()) return ref;
    env.resetCounts();
    Status st = work(**dir);
    EXPECT_TRUE(st.ok()) << st.toString();
    for (int k = 0; k < FaultEnv::kOpKinds; ++k) ref.counts[size_t(k)] = env.count(static_cast<Op>(k));
    ref.operations = env.operations();
    ref.trace = env.trace();
  }
  ref.after = tableFiles(tmp.path());
  ref.afterDump = dumpBooks(tmp.path());
  int firstTableWrite = 0;
  for (size_t i = 0; i < ref.trace.size(); ++i) {
    const std::string& line = ref.trace[i];
    const int number = static_cast<int>(i) + 1;
    const bool log = line.find(" tallimoor.redo") != std::string::npos;
    const bool writes = line.find(" write ") != std::string::npos || line.find(" truncate ") != std::string::npos;
    if (log && writes && ref.logWritten == 0) ref.logWritten = number;
    if (log && line.find(" sync ") != std::string::npos && ref.logSynced == 0) ref.logSynced = number;
    if (!log && writes) {
      if (firstTableWrite == 0) firstTableWrite = number;
      ref.tablesWritten = number;
    }
  }
  EXPECT_NE(ref.beforeDump, ref.afterDump);
  EXPECT_TRUE(ref.logWritten > 0 && ref.logWritten < ref.logSynced && ref.logSynced < firstTableWrite)
      << "the commit does not go through the redo log as expected:\n"
      << ref.traceText();
  if (shareProtocol() == ShareProtocol::kNetwork) {
    // On a network share the files written are synced too, before the
    // counters move (the lock files' syncs are not seen here).
    std::set<std::string> written;
    for (const std::string& line : ref.trace)
      if (line.find(" tallimoor.redo") == std::string::npos &&
          (line.find(" write ") != std::string::npos || line.find(" truncate ") != std::string::npos))
        written.insert(line.substr(line.find_last_of(' ') + 1));
    for (const std::string& name : written) {
      int lastWrite = 0, sync = 0;
      for (size_t i = 0; i < ref.trace.size(); ++i) {
        const std::string& line = ref.trace[i];
        if (line.substr(line.find_last_of(' ') + 1) != name) continue;
        if (line.find(" sync ") != std::string::npos) sync = static_cast<int>(i) + 1;
        else lastWrite = static_cast<int>(i) + 1;
      }
      EXPECT_GT(sync, lastWrite) << name << " is not synced after its last write:\n" << ref.traceText();
    }
    EXPECT_EQ(ref.count(Op::kSync), 1 + static_cast<int>(written.size())) << ref.traceText();
  } else {
    EXPECT_EQ(ref.count(Op::kSync), 1) << "a commit waits for the disk once:\n" << ref.traceText();
  }
  return ref;
}

// ---------------------------------------------------------------- processes

using testing::spawn;

using testing::describeExit;
using testing::putMessage;
using testing::Shared;
using testing::waitUntil;

// ================================================================= the disk model

// The fault Env must model the disk faithfully, or every test below proves
// nothing.
TEST(Durability, FaultEnvLosesWhatWasNotSynced) {
  TempDir tmp;
  testing::writeFile(tmp.file("old"), "durable");
  testing::writeFile(tmp.file("gone"), "removed without a directory sync");
  FaultEnv env(Env::unsynced());
  auto old = env.open(tmp.file("old"), Env::OpenMode::kReadWrite);
  ASSERT_TRUE(old.ok());
  ASSERT_TRUE((*old)->write(0, "CHANGED").ok());
  auto named = env.open(tmp.file("named"), Env::OpenMode::kCreate);
  ASSERT_TRUE(named.ok());
  ASSERT_TRUE((*named)->write(0, "kept").ok());
  ASSERT_TRUE((*named)->sync().ok());
  ASSERT_TRUE(env.syncDirectory(tmp.path()).ok());
  auto fresh = env.open(tmp.file("fresh"), Env::OpenMode::kCreate);
  ASSERT_TRUE(fresh.ok());
  ASSERT_TRUE((*fresh)->write(0, "synced, but its name was not").ok());
  ASSERT_TRUE((*fresh)->sync().ok());
  ASSERT_TRUE((*named)->write(2, "ST and more").ok());
  ASSERT_TRUE((*named)->truncate(3).ok());
  ASSERT_TRUE(env.remove(tmp.file("gone")).ok());
  EXPECT_FALSE(env.exists(tmp.file("gone")));
  EXPECT_EQ(env.count(Op::kCreate), 2);
  EXPECT_EQ(env.count(Op::kWrite), 4);
  EXPECT_EQ(env.count(Op::kTruncate), 1);
  EXPECT_EQ(env.count(Op::kSync), 2);
  EXPECT_EQ(env.count(Op::kSyncDir), 1);
  EXPECT_EQ(env.count(Op::kRemove), 1);
  EXPECT_EQ(env.operations(), 11);

  env.powerCut();
  EXPECT_EQ(testing::readFile(tmp.file("old")), "durable");
  EXPECT_FALSE(env.exists(tmp.file("fresh")));
  EXPECT_EQ(testing::readFile(tmp.file("named")), "kept");
  EXPECT_EQ(testing::readFile(tmp.file("gone")), "removed without a directory sync");
  // The dead program's objects write, sync and remove into the void.
  EXPECT_TRUE((*old)->write(0, "ghost").ok());
  EXPECT_TRUE((*old)->sync().ok());
  EXPECT_TRUE(env.remove(tmp.file("old")).ok());
  EXPECT_EQ(testing::readFile(tmp.file("old")), "durable");
  EXPECT_FALSE(env.open(tmp.file("new"), Env::OpenMode::kCreate).ok());
  old->reset();
  fresh->reset();
  named->reset();

  env.restart();
  EXPECT_EQ(env.operations(), 0);
  auto f = env.open(tmp.file("old"), Env::OpenMode::kReadWrite);
  ASSERT_TRUE(f.ok());
  env.failAt(Op::kWrite, 2, /*sticky=*/false);
  EXPECT_TRUE((*f)->write(0, "a").ok());
  Status st = (*f)->write(1, "b");
  EXPECT_EQ(st.code(), code::kWriteError);
  EXPECT_TRUE((*f)->write(2, "c").ok());
  EXPECT_EQ(testing::readFile(tmp.file("old")).substr(0, 3), "auc") << "a failed write changes nothing";
  env.failAt(Op::kSync, 1, /*sticky=*/true);
  EXPECT_FALSE((*f)->sync().ok());
  EXPECT_FALSE((*f)->write(0, "x").ok()) << "a sticky failure fails everything after it";
  env.heal();
  EXPECT_TRUE((*f)->write(0, "x").ok());
  env.resetCounts();
  env.failAt(Op::kWrite, 1, /*sticky=*/false, /*torn=*/true);
  EXPECT_FALSE((*f)->write(0, "1234").ok());
  EXPECT_EQ(testing::readFile(tmp.file("old")).substr(0, 4), "12ca") << "a torn write puts down its first half";
  EXPECT_EQ(env.failures(), 4);
  f->reset();

  // A disk that wrote back part of its cache keeps some unsynced writes and
  // loses others; over a few seeds both happen.
  std::set<std::string> outcomes;
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    env.restart();
    testing::writeFile(tmp.file("page"), "0000");
    auto p = env.open(tmp.file("page"), Env::OpenMode::kReadWrite);
    ASSERT_TRUE(p.ok());
    ASSERT_TRUE((*p)->write(0, "1111").ok());
    env.powerCut(CutMode::kKeepSomeUnsynced, seed);
    outcomes.insert(testing::readFile(tmp.file("page")));
  }
  EXPECT_EQ(outcomes, (std::set<std::string>{"0000", "1111"}));
}

// ================================================================= failures

// Runs a workload on a disk armed to fail, then checks that the outcome is
// whole: as the writer's own cursors see it right away (the disk repaired),
// as checkTable sees the files, and as a reopened directory sees them.
void failAndCheck(const Reference& ref, const Workload& work, const std::function<void(FaultEnv&)>& arm,
                  bool stands) {
  TempDir tmp;
  putFiles(tmp.path(), ref.start);
  FaultEnv env(Env::unsynced());
  Status st;
  std::string rightAway;
  {
    auto dir = Directory::open(tmp.path(), &env);
    ASSERT_TRUE(dir.ok());
    Cursors watch(**dir);
    env.resetCounts();
    arm(env);
    st = work(**dir);
    ASSERT_GT(env.failures(), 0) << "the failure never happened";
    if (stands)
      EXPECT_TRUE(st.ok()) << "a commit past its commit point reported a failure: " << st.toString() << "\n"
                           << [&] {
                                std::string t;
                                for (const auto& l : env.trace()) t += l + "\n";
                                return t;
                              }();
    else EXPECT_FALSE(st.ok()) << "a commit whose disk failed before its commit point reported success";
    env.heal();  // a disk that went bad is repaired before anyone looks
    rightAway = watch.dump();
  }
  const bool committed = st.ok();
  EXPECT_EQ(rightAway, committed ? ref.afterDump : ref.beforeDump) << "as the writer's own cursors see it";
  ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
  EXPECT_EQ(difference(tableFiles(tmp.path()), committed ? ref.after : ref.before), "");
  EXPECT_EQ(dumpBooks(tmp.path()), committed ? ref.afterDump : ref.beforeDump) << "reopened";
}

// Each write, truncation, sync, creation and directory sync of a commit fails
// in turn (a write also torn: half of it on disk). Up to the log's sync the
// commit fails and leaves nothing; after it, the commit stands and the files
// are written again from the log.
TEST(Durability, EveryWriteFailureIsAllOrNothing) {
  const Files baseline = baselineBooks();
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const Reference ref = measure(baseline, c.work);
    ASSERT_FALSE(::testing::Test::HasFailure());
    int runs = 0;
    for (int kind = 0; kind < FaultEnv::kOpKinds; ++kind) {
      const Op op = static_cast<Op>(kind);
      for (int n = 1; n <= ref.count(op); ++n) {
        for (const bool torn : {false, true}) {
          if (torn && op != Op::kWrite) continue;
          SCOPED_TRACE(std::string(torn ? "torn " : "") + FaultEnv::opName(op) + " number " + std::to_string(n) +
                       " fails, in:\n" + ref.traceText());
          failAndCheck(ref, c.work, [&](FaultEnv& env) { env.failAt(op, n, /*sticky=*/false, torn); },
                       ref.sequenceOf(op, n) > ref.logSynced);
          ++runs;
          if (::testing::Test::HasFailure()) return;
        }
      }
    }
    EXPECT_GE(runs, 10);
  }
}

// A disk that stays bad from the failure on: nothing can be undone nor
// redone until it is repaired. The repaired disk must then show the tables
// whole, to the writer's own cursors as well, without stalling: as before
// the commit when the failure came before the log's sync, as after it when
// it came later.
TEST(Durability, CommitOnADiskThatStaysBadIsAllOrNothing) {
  const Files baseline = baselineBooks();
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const Reference ref = measure(baseline, c.work);
    ASSERT_FALSE(::testing::Test::HasFailure());
    for (int n = 1; n <= ref.operations; ++n) {
      SCOPED_TRACE("every operation from " + ref.trace[size_t(n - 1)] + " on fails");
      const auto started = Clock::now();
      failAndCheck(ref, c.work, [&](FaultEnv& env) { env.failOperation(n, /*sticky=*/true); }, n > ref.logSynced);
      EXPECT_LT(Clock::now() - started, std::chrono::seconds(3)) << "a failed commit stalls";
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// ================================================================= power cuts

bool isJournal(const std::string& name) {
  return name.rfind("tallimoor-", 0) == 0 && detail::endsWithIgnoreCase(name, ".journal");
}

int journalFiles(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) n += isJournal(e.path().filename().string());
  return n;
}

// Cuts the power right after operation `k` of the workload, or, when k is
// past its last operation, right after commit() returned. The files are left
// as stable storage holds them; nothing has recovered yet.
void cutPower(const std::string& dir, const Reference& ref, const Workload& work, int k, CutMode mode, uint32_t seed) {
  FaultEnv env(Env::unsynced());
  {
    auto d = Directory::open(dir, &env);
    ASSERT_TRUE(d.ok());
    env.resetCounts();
    if (k <= ref.operations) env.crashAfter(k, mode, seed);
    Status st = work(**d);
    if (k > ref.operations) {
      ASSERT_TRUE(st.ok()) << st.toString();
      env.powerCut(mode, seed);
    }
    ASSERT_TRUE(env.crashed());
  }  // the dead program's objects go, writing nothing
  env.restart();
}

struct Cut {
  CutMode mode;
  uint32_t seed;
  const char* name;
};
constexpr Cut kCuts[] = {{CutMode::kLoseUnsynced, 0, "every unsynced write lost"},
                         {CutMode::kKeepSomeUnsynced, 1, "some unsynced writes kept (seed 1)"},
                         {CutMode::kKeepSomeUnsynced, 2, "some unsynced writes kept (seed 2)"},
                         {CutMode::kKeepSomeUnsynced, 3, "some unsynced writes kept (seed 3)"}};

TEST(Durability, PowerCutAtEveryPointIsAllOrNothing) {
  const Files baseline = baselineBooks();
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const Reference ref = measure(baseline, c.work);
    ASSERT_FALSE(::testing::Test::HasFailure());
    for (const Cut& cut : kCuts) {
      SCOPED_TRACE(cut.name);
      int undone = 0, kept = 0;
      for (int k = 1; k <= ref.operations + 1; ++k) {
        SCOPED_TRACE(k <= ref.operations ? "power cut after " + ref.trace[size_t(k - 1)]
                                         : std::string("power cut after commit() returned"));
        TempDir tmp;
        putFiles(tmp.path(), ref.start);
        ASSERT_NO_FATAL_FAILURE(cutPower(tmp.path(), ref, c.work, k, cut.mode, cut.seed));
        const std::string dump = dumpBooks(tmp.path());  // recovers
        // Once the log's record is durable everything must show, whatever
        // the table files kept; before, nothing may, unless the disk kept
        // the whole record of its own accord.
        bool committed = dump == ref.afterDump;
        if (cut.mode == CutMode::kLoseUnsynced && k < ref.logSynced) committed = false;
        if (k >= ref.logSynced) committed = true;
        (committed ? kept : undone)++;
        EXPECT_EQ(dump, committed ? ref.afterDump : ref.beforeDump);
        EXPECT_EQ(difference(tableFiles(tmp.path()), committed ? ref.after : ref.before), "");
        ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
        // A second reader, written independently, agrees (pxlib cannot open
        // tables with memo fields).
        for (const char* name : {kTotals, kLines}) {
          auto dir = Directory::open(tmp.path(), Env::unsynced());
          ASSERT_TRUE(dir.ok());
          auto t = (*dir)->openTable(name);
          ASSERT_TRUE(t.ok());
          EXPECT_EQ(pxlibDump(tmp.file(std::string(name) + ".DB")), dumpTable(**t)) << name;
        }
        if (::testing::Test::HasFailure()) return;
      }
      EXPECT_GT(undone, 0);
      EXPECT_GT(kept, 0);
    }
  }
}

// Programs take turns committing to the same tables through the one log,
// each closing its books (which empties the log) or keeping them open, and
// the power is cut after each commit: every commit that succeeded is there,
// in order, whatever the table files had kept.
TEST(Durability, EveryCommitOfEveryProgramSurvivesAPowerCut) {
  const Files baseline = baselineBooks();
  for (const bool closeBetween : {false, true}) {
    SCOPED_TRACE(closeBetween ? "each program closes its books after committing" : "the books stay open");
    TempDir tmp;
    putFiles(tmp.path(), baseline);
    for (int turn = 0; turn < 6; ++turn) {
      SCOPED_TRACE("power cut after commit " + std::to_string(turn + 1));
      FaultEnv env(Env::unsynced());
      std::vector<std::shared_ptr<Directory>> programs;
      int64_t sale = 101;
      for (int k = 0; k <= turn; ++k) {
        if (programs.size() < 3 || closeBetween) {
          auto d = Directory::open(tmp.path(), &env);
          ASSERT_TRUE(d.ok());
          programs.push_back(*d);
        }
        Directory& program = *programs[programs.size() - 1 - (closeBetween ? 0 : size_t(k) % 3)];
        ASSERT_TRUE((k % 2 == 0 ? commitSale(program, sale) : commitRefund(program, 2 * (k + 1))).ok());
        ++sale;
        if (closeBetween) programs.back().reset();
      }
      const std::string committed = Cursors(*Directory::open(tmp.path(), Env::unsynced()).value()).dump();
      const Cut& cut = kCuts[size_t(turn) % std::size(kCuts)];
      SCOPED_TRACE(cut.name);
      env.powerCut(cut.mode, cut.seed);
      programs.clear();
      env.restart();
      EXPECT_EQ(dumpBooks(tmp.path()), committed) << "a commit that had succeeded is gone";
      ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
      putFiles(tmp.path(), baseline);  // the next turn starts from the same books and log
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// A program that closes its books empties the log: every table that any
// program's records name must be on the disk first, not only its own, in
// whichever order the programs committed.
TEST(Durability, ACheckpointSyncsWhatOtherProgramsCommitted) {
  const Files baseline = baselineBooks();
  for (const bool closerFirst : {false, true}) {
    SCOPED_TRACE(closerFirst ? "the closing program committed first" : "the closing program committed last");
    TempDir tmp;
    putFiles(tmp.path(), baseline);
    FaultEnv env(Env::unsynced());
    auto staying = Directory::open(tmp.path(), &env);
    auto closing = Directory::open(tmp.path(), &env);
    ASSERT_TRUE(staying.ok() && closing.ok());
    auto lineOnly = [&] { return inGroup(**closing, [&] { return addLine(**closing, 7); }); };
    if (closerFirst) {
      ASSERT_TRUE(lineOnly().ok());
    }
    ASSERT_TRUE(commitSale(**staying, 101).ok());  // sales, totals and lines
    if (!closerFirst) {
      ASSERT_TRUE(lineOnly().ok());
    }
    ASSERT_TRUE(lineOnly().ok());
    const std::string committed = Cursors(**staying).dump();
    closing->reset();  // its checkpoint
    env.powerCut(CutMode::kLoseUnsynced);
    staying->reset();
    env.restart();
    EXPECT_EQ(dumpBooks(tmp.path()), committed) << "a commit that had succeeded is gone";
    ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
  }
}

// Lines is deleted and made again (with a smaller block size) while the log
// still holds commits to the old table; the power goes after the new table
// got a line of its own. Recovery must not write the old table's records
// into the new table's file.
TEST(Durability, ATableMadeAgainNeverGetsTheOldTablesRecords) {
  const Files baseline = baselineBooks();
  TempDir tmp;
  putFiles(tmp.path(), baseline);
  FaultEnv env(Env::unsynced());
  std::string committed;
  Files wanted;  // as the program left them, before the disk lost anything
  {
    auto dir = Directory::open(tmp.path(), &env);
    ASSERT_TRUE(dir.ok());
    for (int64_t id = 101; id <= 106; ++id) ASSERT_TRUE(commitSale(**dir, id).ok());
    ASSERT_TRUE((*dir)->deleteTable(kLines).ok());
    CreateOptions other;
    other.blockSize = 2048;
    ASSERT_TRUE((*dir)->createTable(kLines, linesFields(), 0, other).ok());
    ASSERT_TRUE(inGroup(**dir, [&] { return addLine(**dir, 7); }).ok());
    committed = Cursors(**dir).dump();
    wanted = tableFiles(tmp.path());
    env.powerCut(CutMode::kLoseUnsynced);
  }
  env.restart();
  EXPECT_EQ(dumpBooks(tmp.path()), committed);
  EXPECT_EQ(difference(tableFiles(tmp.path()), wanted), "") << "recovery wrote old bytes into the new table";
  ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
}

// A journal in the first layout, as an earlier build of the engine left it
// when it died in the middle of a commit, is still undone.
TEST(Durability, AJournalOfTheFirstLayoutIsStillUndone) {
  const Files baseline = baselineBooks();
  TempDir tmp;
  putFiles(tmp.path(), baseline);
  const std::string before = dumpBooks(tmp.path());
  const std::string lines = testing::readFile(tmp.file("Lines.DB"));
  const uint64_t at = 2048, length = 512;
  // The commit got as far as overwriting part of a block.
  std::string torn = lines;
  torn.replace(at, length, std::string(length, '\x5A'));
  testing::writeFile(tmp.file("Lines.DB"), torn);
  auto le = [](uint64_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
    return out;
  };
  std::string j = "TMJRNL01" + le(0, 8) + le(1, 4) + le(1, 4);
  j += le(8, 2) + "Lines.DB" + le(lines.size(), 8);
  j += le(0, 4) + le(at, 8) + le(length, 4) + lines.substr(at, length);
  const std::string lengthBytes = le(j.size() + 16, 8);
  j.replace(8, 8, lengthBytes);
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : j) h = (h ^ c) * 1099511628211ull;
  j += le(h, 8) + "TMJEND01";
  testing::writeFile(tmp.file("tallimoor-00000007.journal"), j);
  EXPECT_EQ(dumpBooks(tmp.path()), before);
  EXPECT_EQ(testing::readFile(tmp.file("Lines.DB")), lines);
  EXPECT_EQ(journalFiles(tmp.path()), 0);
}

// A log whose record is durable is written to the files the same way however
// often recovery is cut short: by a failing disk, a dying process or a power
// cut at any of its steps.
TEST(Durability, RecoveryIsIdempotent) {
  const Files baseline = baselineBooks();
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const Reference ref = measure(baseline, c.work);
    ASSERT_FALSE(::testing::Test::HasFailure());
    // Crash states past the commit point: the power cut after the log's
    // sync, with none, some or all of the table files written.
    std::vector<Files> crashes;  // each state once
    std::set<Files> seen;
    for (int k = ref.logSynced; k <= ref.operations; ++k) {
      for (const Cut& cut : {kCuts[0], kCuts[1]}) {
        TempDir tmp;
        putFiles(tmp.path(), ref.start);
        ASSERT_NO_FATAL_FAILURE(cutPower(tmp.path(), ref, c.work, k, cut.mode, cut.seed + uint32_t(k)));
        Files state = dataFiles(tmp.path());
        if (seen.insert(state).second) crashes.push_back(std::move(state));
      }
    }
    int torn = 0;
    for (const Files& crash : crashes) {
      Files tables;
      for (const auto& [name, bytes] : crash)
        if (isTableFile(name)) tables[name] = bytes;
      torn += !difference(tables, ref.after).empty();
    }
    EXPECT_GE(torn, 2) << "too few crash states leave the files short of the commit: recovery would have little to do";
    std::printf("%s: %zu crash states past the commit point, %d with the files short of it\n", c.name, crashes.size(),
                torn);
    int recoverySteps = 0;

    for (size_t s = 0; s < crashes.size(); ++s) {
      const Files& crash = crashes[s];
      SCOPED_TRACE("crash state " + std::to_string(s));
      // A clean recovery, and how many operations it takes.
      int steps = 0;
      {
        TempDir tmp;
        putFiles(tmp.path(), crash);
        FaultEnv env(Env::unsynced());
        ASSERT_TRUE(Directory::open(tmp.path(), &env).ok());
        steps = env.operations();
        EXPECT_EQ(difference(tableFiles(tmp.path()), ref.after), "");
        // The same log written a second time changes nothing.
        putFiles(tmp.path(), {{detail::RedoLog::kFileName, crash.at(detail::RedoLog::kFileName)}});
        ASSERT_TRUE(Directory::open(tmp.path(), Env::unsynced()).ok());
        EXPECT_EQ(difference(tableFiles(tmp.path()), ref.after), "") << "recovering the log twice";
      }
      recoverySteps = std::max(recoverySteps, steps);
      for (int j = 1; j <= steps; ++j) {
        // A failure stops recovery where it is, as the death of its process
        // would; a power cut also loses or keeps what it had not synced.
        for (int variant = 0; variant < 3; ++variant) {
          static const char* const kVariants[] = {"fails (the recovering process gives up or dies)",
                                                  "is followed by a power cut, unsynced writes lost",
                                                  "is followed by a power cut, some kept"};
          SCOPED_TRACE("recovery operation " + std::to_string(j) + " " + kVariants[variant]);
          TempDir tmp;
          putFiles(tmp.path(), crash);
          FaultEnv env(Env::unsynced());
          if (variant == 0) env.failOperation(j, /*sticky=*/true);
          else env.crashAfter(j, variant == 1 ? CutMode::kLoseUnsynced : CutMode::kKeepSomeUnsynced, uint32_t(j));
          (void)Directory::open(tmp.path(), &env);
          if (variant == 0) {
            ASSERT_GT(env.failures(), 0);
          } else {
            ASSERT_TRUE(env.crashed());
          }
          env.restart();
          ASSERT_TRUE(Directory::open(tmp.path(), Env::unsynced()).ok());
          EXPECT_EQ(difference(tableFiles(tmp.path()), ref.after), "");
          ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
          if (::testing::Test::HasFailure()) return;
        }
      }
    }
    EXPECT_GT(recoverySteps, 3);
    std::printf("  each recovery cut short at every one of its (up to %d) operations, three ways\n", recoverySteps);
  }
}

// ================================================================= dying processes

// Runs `work` in a child process that kills itself right after operation k
// of it; returns the child's wait status.
int runKilledAt(const std::string& dir, const Workload& work, int k) {
  pid_t pid = spawn([&] {
    alarm(30);
    FaultEnv env(Env::unsynced());
    env.setTracking(false);
    auto d = Directory::open(dir, &env);
    if (!d.ok()) return 2;
    env.resetCounts();
    env.killAfter(k);
    return work(**d).ok() ? 0 : 1;
  });
  return waitUntil(pid, Clock::now() + std::chrono::seconds(30));
}

bool killed(int status) { return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; }

// A writer process dies at each step of its commit, its locks dropped by the
// system. A program that had the books open all along learns of it through
// the commit marks; a program that opens them later, through the redo log.
TEST(Durability, WriterKilledAtEveryStepLeavesWholeBooks) {
  const Files baseline = baselineBooks();
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    const Reference ref = measure(baseline, c.work);
    ASSERT_FALSE(::testing::Test::HasFailure());
    for (int k = 1; k <= ref.operations; ++k) {
      SCOPED_TRACE("writer killed after " + ref.trace[size_t(k - 1)]);
      TempDir tmp;
      putFiles(tmp.path(), ref.start);
      auto watcher = Directory::open(tmp.path(), Env::unsynced());
      ASSERT_TRUE(watcher.ok());
      Cursors watch(**watcher);
      ASSERT_EQ(watch.dump(), ref.beforeDump);
      const int status = runKilledAt(tmp.path(), c.work, k);
      ASSERT_TRUE(killed(status)) << describeExit(status);
      // The page cache survives a killed process: once the record is in the
      // log, synced or not, the commit stands and recovery finishes it.
      const bool committed = k >= ref.logWritten;
      EXPECT_EQ(watch.dump(), committed ? ref.afterDump : ref.beforeDump) << "seen by a program that had the books open";
      ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
      EXPECT_EQ(dumpBooks(tmp.path()), committed ? ref.afterDump : ref.beforeDump) << "reopened";
      EXPECT_EQ(difference(tableFiles(tmp.path()), committed ? ref.after : ref.before), "");
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// The same, for a program that read the books and closed them: its directory
// keeps what it read, and opening the tables again after the writer died must
// find the books as recovery leaves them, never as it last read them nor half
// written.
TEST(Durability, WriterKilledWhileTheBooksWereClosedIsRecoveredOnReopen) {
  const Files baseline = baselineBooks();
  const Case sale = cases()[0];
  const Reference ref = measure(baseline, sale.work);
  ASSERT_FALSE(::testing::Test::HasFailure());
  for (int k = 1; k <= ref.operations; ++k) {
    SCOPED_TRACE("writer killed after " + ref.trace[size_t(k - 1)]);
    TempDir tmp;
    putFiles(tmp.path(), ref.start);
    auto watcher = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(watcher.ok());
    ASSERT_EQ(Cursors(**watcher).dump(), ref.beforeDump);
    const int status = runKilledAt(tmp.path(), sale.work, k);
    ASSERT_TRUE(killed(status)) << describeExit(status);
    const bool committed = k >= ref.logWritten;
    EXPECT_EQ(Cursors(**watcher).dump(), committed ? ref.afterDump : ref.beforeDump) << "reopened by the same program";
    ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
    EXPECT_EQ(difference(tableFiles(tmp.path()), committed ? ref.after : ref.before), "");
    // And it writes on from there.
    ASSERT_TRUE(commitRefund(**watcher, 48).ok());
    EXPECT_EQ(dumpBooks(tmp.path()), Cursors(**watcher).dump());
    ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
    if (::testing::Test::HasFailure()) return;
  }
}

// A writer dies right after its commit point, before it wrote any table
// file. A program that had the books open then commits to the same tables:
// the dead writer's commit is finished first, and the later one goes on top.
TEST(Durability, CommitOfAKilledWriterIsFinishedBeforeTheNextOne) {
  const Files baseline = baselineBooks();
  const Case sale = cases()[0];
  const Reference ref = measure(baseline, sale.work);
  ASSERT_FALSE(::testing::Test::HasFailure());
  std::string expected;
  {
    TempDir tmp;
    putFiles(tmp.path(), ref.start);
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(sale.work(**dir).ok());
    ASSERT_TRUE(commitRefund(**dir, 48).ok());
    expected = Cursors(**dir).dump();
  }
  TempDir tmp;
  putFiles(tmp.path(), ref.start);
  auto watcher = Directory::open(tmp.path(), Env::unsynced());
  ASSERT_TRUE(watcher.ok());
  ASSERT_TRUE(killed(runKilledAt(tmp.path(), sale.work, ref.logSynced)));
  ASSERT_TRUE(commitRefund(**watcher, 48).ok());
  EXPECT_EQ(Cursors(**watcher).dump(), expected);
  EXPECT_EQ(dumpBooks(tmp.path()), expected) << "reopened";
  ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
}

// Two programs find the same dead commit at once. The one that holds the log
// writes it to the files; the other must not read the tables meanwhile.
TEST(Durability, ReaderWaitsForAnotherProcessToFinishADeadCommit) {
  const Files baseline = baselineBooks();
  const Case sale = cases()[0];
  const Reference ref = measure(baseline, sale.work);
  ASSERT_FALSE(::testing::Test::HasFailure());
  // Killed after its first write to a table file: the others are still as
  // before.
  int k = ref.logSynced + 1;
  while (k < ref.tablesWritten && ref.trace[size_t(k - 1)].find(" write ") == std::string::npos) ++k;
  ASSERT_LT(k, ref.tablesWritten);
  TempDir tmp;
  putFiles(tmp.path(), ref.start);
  auto watcher = Directory::open(tmp.path(), Env::unsynced());
  ASSERT_TRUE(watcher.ok());
  Cursors watch(**watcher);
  ASSERT_TRUE(killed(runKilledAt(tmp.path(), sale.work, k)));
  // The other process: it holds the log for a while.
  auto other = Env::unsynced()->openLock(tmp.file(detail::RedoLog::kLockName));
  ASSERT_TRUE(other.ok());
  ASSERT_TRUE((*other)->lock(0, 1, LockMode::kExclusive, 0).ok());
  std::atomic<bool> released{false};
  std::thread holder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    released = true;
    (*other)->unlock(0, 1);
  });
  const std::string seen = watch.dump();
  const bool waited = released;
  holder.join();
  EXPECT_TRUE(waited) << "the tables were read while another process held the log";
  EXPECT_EQ(seen, ref.afterDump);
  EXPECT_EQ(dumpBooks(tmp.path()), ref.afterDump);
}

// ---- random kills

struct KillBoard {
  std::atomic<int> stop{0};
  std::atomic<int> writing{0};  // the writer has opened the books and is about to commit
  std::atomic<int> rounds{0};
  std::atomic<int64_t> committing{0};  // the sale whose commit() is under way
  char failure[1024] = {};
};

// Checks one table of books that only ever grew by whole sales 1, 2, ...
std::string walkLines(Table& lines, int64_t& count) {
  count = 0;
  Status st = lines.first();
  for (; st.ok(); st = lines.next()) {
    auto line = lines.get("Line");
    auto sale = lines.get("Sale");
    if (!line.ok()) return "Lines: " + line.status().toString();
    if (!sale.ok()) return "Lines: " + sale.status().toString();
    ++count;
    if (line->asInteger() != count || sale->asInteger() != count)
      return "Lines: line " + std::to_string(line->asInteger()) + " of sale " + std::to_string(sale->asInteger()) +
             " at position " + std::to_string(count);
  }
  return st.is(code::kEof) ? "" : "Lines: " + st.toString();
}

// What is wrong with such books ("" when nothing). Tables are read one after
// the other, and a table read later may be ahead of one read earlier, never
// behind it; `settled` books (no writer running) must agree exactly.
std::string booksProblem(Cursors& books, bool settled) {
  if (books.tables.size() != 3) return "tables missing";
  Table& sales = *books.tables[0];
  Table& totals = *books.tables[1];
  Table& lines = *books.tables[2];
  int64_t linesBefore = 0, sold = 0, linesAfter = 0;
  double sum = 0;
  if (std::string p = walkLines(lines, linesBefore); !p.empty()) return p;
  Status st = sales.first();
  for (; st.ok(); st = sales.next()) {
    auto id = sales.get("Id");
    auto amount = sales.get("Amount");
    auto note = sales.get("Note");
    if (!id.ok() || !amount.ok() || !note.ok())
      return "Sales: " + (!id.ok() ? id.status() : !amount.ok() ? amount.status() : note.status()).toString();
    ++sold;
    if (id->asInteger() != sold || amount->asNumber() != amountOf(sold) || note->asText() != noteOf(sold))
      return "Sales: sale " + std::to_string(id->asInteger()) + " at position " + std::to_string(sold) +
             " is not as written";
    sum += amount->asNumber();
  }
  if (!st.is(code::kEof)) return "Sales: " + st.toString();
  if (Status f = totals.findKey({Value::text("all")}); !f.ok()) return "Totals: " + f.toString();
  // Each get() reads the record as it is now, so two fields read one after
  // the other may come from two commits: the total is read on both sides of
  // the count until it stays the same (it only grows).
  Result<Value> total = Status(), count = Status(), again = Status();
  for (;;) {
    total = totals.get("Total");
    count = totals.get("Count");
    again = totals.get("Total");
    if (!total.ok() || !count.ok() || !again.ok())
      return "Totals: " + (!total.ok() ? total.status() : !count.ok() ? count.status() : again.status()).toString();
    if (*total == *again) break;
  }
  double expected = 0;
  for (int64_t id = 1; id <= count->asInteger(); ++id) expected += amountOf(id);
  if (total->asNumber() != expected)
    return "Totals: " + std::to_string(total->asNumber()) + " for " + std::to_string(count->asInteger()) + " sales";
  if (std::string p = walkLines(lines, linesAfter); !p.empty()) return p;
  const int64_t counted = count->asInteger();
  const bool inStep = settled ? linesBefore == sold && sold == counted && counted == linesAfter && sum == expected
                              : linesBefore <= sold && sold <= counted && counted <= linesAfter;
  if (!inStep)
    return "out of step: " + std::to_string(linesBefore) + " lines, then " + std::to_string(sold) + " sales, then " +
           std::to_string(counted) + " in the total, then " + std::to_string(linesAfter) + " lines";
  return {};
}

// True while the commit mark of one of the books' tables is set.
bool anyMarked(const std::string& dir) {
  for (const char* name : kTableNames) {
    auto lock = Env::unsynced()->openLock(dir + "/" + name + ".tlk");
    if (lock.ok() && (*lock)->load().ok() && (*lock)->word(TableFile::kCommitWord) != 0) return true;
  }
  return false;
}

int runWriter(const std::string& dir, KillBoard& board) {
  alarm(60);
  FaultEnv env(Env::unsynced());
  env.setTracking(false);
  env.setDelayMicros(500);  // a slow disk: most kills land inside a commit
  auto d = Directory::open(dir, &env);
  if (!d.ok()) {
    putMessage(board.failure, sizeof board.failure, "writer: " + d.status().toString());
    return 2;
  }
  int64_t id = 0;
  {
    auto sales = (*d)->openTable(kSales);
    if (!sales.ok()) return 2;
    auto n = (*sales)->recordCount();
    if (!n.ok()) return 2;
    id = *n;
  }
  board.writing = 1;
  for (;;) {
    ++id;
    auto group = (*d)->beginGroup();
    Status st = group.ok() ? postSale(**d, id) : group.status();
    if (st.ok()) {
      board.committing = id;
      st = (*group)->commit();
      board.committing = 0;
    }
    if (!st.ok()) {
      putMessage(board.failure, sizeof board.failure, "writer: sale " + std::to_string(id) + ": " + st.toString());
      return 3;
    }
  }
}

int runReader(const std::string& dir, KillBoard& board) {
  alarm(90);
  auto d = Directory::open(dir, Env::unsynced());
  if (!d.ok()) return 2;
  Cursors books(**d);
  while (!board.stop) {
    std::string problem = booksProblem(books, false);
    if (!problem.empty()) {
      putMessage(board.failure, sizeof board.failure, "reader: " + problem);
      return 1;
    }
    ++board.rounds;
  }
  return 0;
}

// A writer process commits sales in a loop and is killed at random moments,
// again and again; a reader process reads all along.
TEST(Durability, KilledWriterLeavesWholeBooks) {
  TempDir tmp;
  {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(createBooks(**dir).ok());
  }
  Shared<KillBoard> board;
  const pid_t reader = spawn([&] { return runReader(tmp.path(), *board); });
  std::mt19937 rng(20240607);
  int kills = 0, inCommit = 0, dropped = 0;
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (kills < 30 && Clock::now() < end) {
    board->writing = 0;
    const pid_t writer = spawn([&] { return runWriter(tmp.path(), *board); });
    // Killed at a random moment once it writes (starting up takes a time of
    // its own, long under a sanitizer).
    const auto startup = Clock::now() + std::chrono::seconds(10);
    while (!board->writing && Clock::now() < startup) std::this_thread::sleep_for(std::chrono::microseconds(200));
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 40'000));
    kill(writer, SIGKILL);
    const int status = waitUntil(writer, Clock::now() + std::chrono::seconds(10));
    ASSERT_TRUE(killed(status)) << describeExit(status) << " " << board->failure;
    const int64_t dying = board->committing.exchange(0);
    ++kills;
    SCOPED_TRACE("kill " + std::to_string(kills) + (dying ? " during the commit of sale " + std::to_string(dying) : ""));
    // The reader finds the dead commit by its marks and finishes it from the
    // log (or finds nothing to finish); only then does this process open the
    // books (two processes finishing one commit at once is
    // ReaderWaitsForAnotherProcessToFinishADeadCommit's case).
    const auto patience = Clock::now() + std::chrono::seconds(5);
    while (anyMarked(tmp.path()) && Clock::now() < patience) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok()) << dir.status().toString();
    Cursors books(**dir);
    ASSERT_EQ(booksProblem(books, true), "");
    ASSERT_NO_FATAL_FAILURE(expectSound(tmp.path()));
    if (dying > 0) {
      ++inCommit;
      auto n = books.tables[0]->recordCount();
      ASSERT_TRUE(n.ok());
      dropped += *n < dying;
    }
    int rs = 0;
    if (waitpid(reader, &rs, WNOHANG) == reader) FAIL() << "the reader stopped: " << describeExit(rs) << " " << board->failure;
  }
  board->stop = 1;
  const int rs = waitUntil(reader, Clock::now() + std::chrono::seconds(30));
  EXPECT_TRUE(rs != -1 && WIFEXITED(rs) && WEXITSTATUS(rs) == 0) << describeExit(rs) << " " << board->failure;
  EXPECT_GT(board->rounds, 0);
  // Where in the commit a kill lands is chance: before the log's record the
  // sale is dropped, after it the sale is finished (each point in turn is
  // WriterKilledAtEveryStepLeavesWholeBooks's case).
  EXPECT_GT(inCommit, 0) << "no kill landed inside a commit";
  std::printf("%d kills, %d inside commit(): %d sales dropped, %d finished; the reader read the books %d times\n",
              kills, inCommit, dropped, inCommit - dropped, board->rounds.load());
}

// ================================================================= sharing

constexpr int kAccounts = 8;
constexpr int kMovers = 4;
constexpr int kMovesEach = 500;
constexpr int64_t kOpening = 1000;

struct ShareBoard {
  std::atomic<int> done[kMovers] = {};
  std::atomic<int> retries[kMovers] = {};
  std::atomic<int> timeouts[kMovers] = {};  // retries after waiting out the wait for a second table
  char failure[kMovers][512] = {};
};

Status addToBalance(Directory& dir, int64_t account, int64_t amount) {
  PDX_ASSIGN_OR_RETURN(auto t, dir.openTable("Accounts"));
  PDX_RETURN_IF_ERROR(t->findKey({Value::integer(account)}));
  PDX_RETURN_IF_ERROR(t->edit());
  PDX_ASSIGN_OR_RETURN(Value balance, t->get("Balance"));
  PDX_RETURN_IF_ERROR(t->set("Balance", Value::integer(balance.asInteger() + amount)));
  return t->post();
}

Status logMove(Directory& dir, int proc, int seq, int64_t from, int64_t to, int64_t amount) {
  PDX_ASSIGN_OR_RETURN(auto t, dir.openTable("Moves"));
  PDX_RETURN_IF_ERROR(t->append());
  PDX_RETURN_IF_ERROR(t->set("Proc", Value::integer(proc)));
  PDX_RETURN_IF_ERROR(t->set("Seq", Value::integer(seq)));
  PDX_RETURN_IF_ERROR(t->set("FromId", Value::integer(from)));
  PDX_RETURN_IF_ERROR(t->set("ToId", Value::integer(to)));
  PDX_RETURN_IF_ERROR(t->set("Amount", Value::integer(amount)));
  return t->post();
}

// Moves amounts between random accounts, each move a group that also logs
// it. Now and then the log goes first, so that two movers can each hold the
// table the other wants (each waits out the short wait for a second table;
// rarely, since that costs both of them the wait). Contention of any kind
// retries the whole group: a record being edited (kRecordLocked), a table
// reserved for too long (kRecordLocked), a record that changed between edit
// and post (kRecordChanged).
int runMover(const std::string& path, int proc, ShareBoard& board) {
  alarm(55);
  auto dir = Directory::open(path, Env::unsynced());
  if (!dir.ok()) return 2;
  std::mt19937 rng(static_cast<uint32_t>(proc) * 7919u + 1u);
  for (int seq = 0; seq < kMovesEach; ++seq) {
    for (;;) {
      const int64_t from = 1 + rng() % kAccounts;
      const int64_t to = 1 + (from + rng() % (kAccounts - 1)) % kAccounts;
      const int64_t amount = 1 + rng() % 50;
      const bool logFirst = rng() % 200 == 0;
      const auto started = Clock::now();
      Status st = inGroup(**dir, [&]() -> Status {
        if (logFirst) PDX_RETURN_IF_ERROR(logMove(**dir, proc, seq, from, to, amount));
        PDX_RETURN_IF_ERROR(addToBalance(**dir, from, -amount));
        PDX_RETURN_IF_ERROR(addToBalance(**dir, to, amount));
        if (!logFirst) PDX_RETURN_IF_ERROR(logMove(**dir, proc, seq, from, to, amount));
        return {};
      });
      if (st.ok()) {
        ++board.done[proc];
        break;
      }
      if (!st.is(code::kRecordLocked) && !st.is(code::kRecordChanged)) {
        putMessage(board.failure[proc], sizeof board.failure[proc], "move " + std::to_string(seq) + ": " + st.toString());
        return 1;
      }
      ++board.retries[proc];
      if (Clock::now() - started >= std::chrono::milliseconds(TableFile::kGroupLockTimeoutMs)) ++board.timeouts[proc];
      usleep(static_cast<useconds_t>(rng() % 2000));
    }
  }
  return 0;
}

TEST(Durability, FourProcessesShareRows) {
  TempDir tmp;
  {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE((*dir)->createTable("Accounts", {{"Id", FieldType::kLong, 0}, {"Balance", FieldType::kLong, 0}}, 1).ok());
    ASSERT_TRUE((*dir)->createTable("Moves", {{"Proc", FieldType::kShort, 0}, {"Seq", FieldType::kLong, 0},
                                              {"FromId", FieldType::kLong, 0}, {"ToId", FieldType::kLong, 0},
                                              {"Amount", FieldType::kLong, 0}}, 0).ok());
    auto t = (*dir)->openTable("Accounts");
    ASSERT_TRUE(t.ok());
    for (int64_t id = 1; id <= kAccounts; ++id) {
      ASSERT_TRUE((*t)->insert().ok());
      ASSERT_TRUE((*t)->set("Id", Value::integer(id)).ok());
      ASSERT_TRUE((*t)->set("Balance", Value::integer(kOpening)).ok());
      ASSERT_TRUE((*t)->post().ok());
    }
  }
  Shared<ShareBoard> board;
  std::vector<pid_t> movers;
  for (int p = 0; p < kMovers; ++p) movers.push_back(spawn([&, p] { return runMover(tmp.path(), p, *board); }));
  const auto deadline = Clock::now() + std::chrono::seconds(50);
  for (int p = 0; p < kMovers; ++p) {
    const int status = waitUntil(movers[size_t(p)], deadline);
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "mover " << p << " " << describeExit(status) << " after " << board->done[p] << " moves and "
        << board->retries[p] << " retries " << board->failure[p];
  }
  ASSERT_FALSE(::testing::Test::HasFailure());

  auto dir = Directory::open(tmp.path(), Env::unsynced());
  ASSERT_TRUE(dir.ok());
  // Replaying the log from the opening balances gives every balance: no
  // move was lost, none counted twice.
  std::map<int64_t, int64_t> replayed;
  for (int64_t id = 1; id <= kAccounts; ++id) replayed[id] = kOpening;
  std::vector<std::vector<int>> seen(kMovers, std::vector<int>(kMovesEach, 0));
  auto moves = (*dir)->openTable("Moves");
  ASSERT_TRUE(moves.ok());
  int64_t logged = 0;
  for (Status st = (*moves)->first(); st.ok(); st = (*moves)->next()) {
    const int64_t proc = (*moves)->get("Proc")->asInteger(), seq = (*moves)->get("Seq")->asInteger();
    ASSERT_TRUE(proc >= 0 && proc < kMovers && seq >= 0 && seq < kMovesEach);
    ++seen[size_t(proc)][size_t(seq)];
    const int64_t amount = (*moves)->get("Amount")->asInteger();
    replayed[(*moves)->get("FromId")->asInteger()] -= amount;
    replayed[(*moves)->get("ToId")->asInteger()] += amount;
    ++logged;
  }
  EXPECT_EQ(logged, kMovers * kMovesEach);
  for (int p = 0; p < kMovers; ++p)
    for (int s = 0; s < kMovesEach; ++s) ASSERT_EQ(seen[size_t(p)][size_t(s)], 1) << "move " << s << " of mover " << p;
  auto accounts = (*dir)->openTable("Accounts");
  ASSERT_TRUE(accounts.ok());
  int64_t total = 0;
  for (Status st = (*accounts)->first(); st.ok(); st = (*accounts)->next()) {
    const int64_t id = (*accounts)->get("Id")->asInteger(), balance = (*accounts)->get("Balance")->asInteger();
    EXPECT_EQ(balance, replayed[id]) << "account " << id;
    total += balance;
  }
  EXPECT_EQ(total, kAccounts * kOpening);
  for (const char* name : {"Accounts", "Moves"}) {
    auto report = checkTable(tmp.file(std::string(name) + ".DB"), Env::unsynced());
    ASSERT_TRUE(report.ok());
    for (const auto& fault : report->faults) ADD_FAILURE() << fault;
  }
  int retries = 0, timeouts = 0;
  for (int p = 0; p < kMovers; ++p) {
    retries += board->retries[p];
    timeouts += board->timeouts[p];
  }
  std::printf("%d groups committed, %d retried after a lock conflict (%d of them after waiting for a second table)\n",
              kMovers * kMovesEach, retries, timeouts);
}

// Programs forked from one parent that had committed (the movers above, a
// shell's children) each start the log's generations afresh: were they to
// draw the same numbers, one program's checkpoint would bring back the
// records of another's earlier generation, and the next open would write
// their old bytes over later commits.
TEST(Durability, ProgramsForkedFromOneParentStartDifferentGenerations) {
  TempDir tmp;
  putFiles(tmp.path(), baselineBooks());
  auto headerOfLog = [&] { return testing::readFile(tmp.file(detail::RedoLog::kFileName)).substr(0, 16); };
  // The same steps in each: a commit, then the books closed (a checkpoint).
  auto commitAndClose = [&](int64_t sale) {
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    return dir.ok() && commitSale(**dir, sale).ok();
  };
  ASSERT_TRUE(commitAndClose(101));
  const pid_t child = spawn([&] { return commitAndClose(102) ? 0 : 1; });
  const int status = waitUntil(child, Clock::now() + std::chrono::seconds(20));
  ASSERT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << describeExit(status);
  const std::string childs = headerOfLog();
  ASSERT_TRUE(commitAndClose(103));
  EXPECT_NE(headerOfLog(), childs) << "the parent started the generation its child had started";
}

// ================================================================= rolling back

bool reserved(const std::string& dir, const char* table) {
  auto lock = Env::unsynced()->openLock(dir + "/" + table + ".tlk");
  return lock.ok() && (*lock)->isLockedByOther(TableFile::kReservedOffset, 1, LockMode::kExclusive);
}

TEST(Durability, RolledBackGroupLeavesNoTrace) {
  const Files baseline = baselineBooks();
  const Reference ref = measure(baseline, cases()[0].work);
  ASSERT_FALSE(::testing::Test::HasFailure());
  enum class End { kRollback, kDestroyed, kAfterAFailedPost };
  for (const End end : {End::kRollback, End::kDestroyed, End::kAfterAFailedPost}) {
    SCOPED_TRACE(end == End::kRollback ? "rollback()" : end == End::kDestroyed ? "group destroyed" : "after a failed post");
    TempDir tmp;
    putFiles(tmp.path(), ref.start);
    auto dir = Directory::open(tmp.path(), Env::unsynced());
    ASSERT_TRUE(dir.ok());
    Cursors watch(**dir);
    {
      auto group = (*dir)->beginGroup();
      ASSERT_TRUE(group.ok());
      EXPECT_EQ((*dir)->beginGroup().status().code(), code::kInvalidParameter) << "one group at a time";
      ASSERT_TRUE(postSale(**dir, 9).ok());
      EXPECT_EQ(watch.dump(), ref.afterDump) << "the writer's own cursors see what the group holds";
      EXPECT_EQ(difference(tableFiles(tmp.path()), ref.before), "") << "nothing reaches the files before the commit";
      for (const char* name : kTableNames) EXPECT_TRUE(reserved(tmp.path(), name)) << name;
      const pid_t other = spawn([&] { return dumpBooks(tmp.path()) == ref.beforeDump ? 0 : 1; });
      const int status = waitUntil(other, Clock::now() + std::chrono::seconds(20));
      EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "another process sees the held changes: " << describeExit(status);
      if (end == End::kAfterAFailedPost) {
        auto sales = (*dir)->openTable(kSales);
        ASSERT_TRUE(sales.ok());
        ASSERT_TRUE((*sales)->insert().ok());
        ASSERT_TRUE((*sales)->set("Id", Value::integer(9)).ok());
        EXPECT_EQ((*sales)->post().code(), code::kKeyViolation);
      }
      if (end == End::kRollback) {
        (*group)->rollback();
        EXPECT_EQ((*group)->commit().code(), code::kInvalidParameter) << "a rolled-back group has ended";
      }
    }
    EXPECT_EQ(difference(tableFiles(tmp.path()), ref.before), "");
    EXPECT_EQ(watch.dump(), ref.beforeDump) << "the writer's cursors see the tables as they are again";
    for (const char* name : kTableNames) EXPECT_FALSE(reserved(tmp.path(), name)) << name << " is still reserved";
    // Nothing of it lingers in memory either: the same sale committed now
    // gives the very bytes it gives on untouched books.
    ASSERT_TRUE(commitSale(**dir, 9).ok());
    EXPECT_EQ(difference(tableFiles(tmp.path()), ref.after), "");
    EXPECT_EQ(watch.dump(), ref.afterDump);
  }
}

}  // namespace
}  // namespace pdx
