// posting_bench: durable postings of purchases through the purchases entry's
// logic, into a company whose journal is small and one whose journal is
// large, against the same work in SQLite.
//
//   posting_bench [--docs N] [--small-lines N] [--large-lines N] [--only small|large]
//                 [--rounds N] [--side engine|sqlite|both] [--dir D] [--keep] [--share]
//
// For each size of the journal (tjld holding --small-lines or --large-lines
// lines before the run) it makes three databases, filled alike and untimed: a
// company for the engine, made as the administrator's tool makes one, and two
// SQLite files with the five tables a posting writes, one in each of SQLite's
// durable journal modes (DELETE and WAL, both at synchronous=FULL). Then it
// posts the same --docs documents into each: the engine's through the
// purchases entry's logic exactly as its window drives it (EntryRules for the
// fields, PayablesPosting::post for the Post button), each posting one
// durable write group of Env::standard(); SQLite's as one transaction per
// document (see posting_bench_sqlite.h).
//
// Each database lives in a child process of its own, which builds it, keeps
// it open and posts what the parent asks. The time of a sync swings with
// whatever else the machine's disk is doing, from one minute to the next, so
// the documents are posted in --rounds rounds, every database in turn (a
// different one first in each round), each round a share of the documents:
// all six meet the same disk. Every posting is timed alone: the lines give
// its median, 95th percentile and mean, and documents per second over the
// rounds' wall time (for the engine that includes keying the document).
//
// With --share every database lies in a view of the folder as a network
// share (share-mounts.sh): the engine coordinates as between machines, and
// SQLite runs in its rollback journal only, since its write-ahead log needs
// memory shared by every process of every machine.
//
// Afterwards each database is read back, and its books must be exactly what
// the documents make (see Books): rows of the five tables, debits and
// credits, and each supplier's balance against the sum of its documents and
// of its open items, all in fixed point. A database that differs fails the
// run (exit status 1): a benchmark that posts wrong data is worthless.
//
// To show where the time goes, each child counts its fsync and fdatasync
// calls and its writes to files opened for synchronous writes (O_DSYNC), the
// time it waits for them and the bytes it gives to pwrite, on their way to
// the kernel (the program defines those functions itself, see below).
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"
#include "db/database.h"
#include "db/formats.h"
#include "posting_bench_engine.h"
#include "posting_bench_sqlite.h"
#include "test_util.h"

// ---------------------------------------------------------------- counting
//
// The engine's library and SQLite's call open, close, fsync, fdatasync and
// pwrite through the dynamic linker, which finds this program's definitions
// first. Each counts, then makes the system call itself, exactly as the C
// library's wrappers do. A write to a file opened with O_DSYNC is a sync of
// its own. Syncs also keep the time during which at least one of them is
// under way (the time a posting waits for the disk, however many run at
// once) and how many such waits there were: syncs made together, as the
// engine's commit makes those of its files, are one wait.

using bench::secondsSince;
using bench::withThousands;

namespace {

struct SyncWaits {
  std::mutex mutex;
  int inFlight = 0;
  std::chrono::steady_clock::time_point since;
  double seconds = 0;
  int64_t waits = 0;

  void enter() {
    std::lock_guard<std::mutex> hold(mutex);
    if (inFlight++ == 0) {
      since = std::chrono::steady_clock::now();
      ++waits;
    }
  }
  void leave() {
    std::lock_guard<std::mutex> hold(mutex);
    if (--inFlight == 0) seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  }
  void read(double& s, int64_t& w) {
    std::lock_guard<std::mutex> hold(mutex);
    s = seconds;
    w = waits;
  }
};

std::atomic<int64_t> gSyncs{0};
std::atomic<int64_t> gWritten{0};
SyncWaits gWaits;

int countedSync(long call, int fd) {
  gSyncs.fetch_add(1, std::memory_order_relaxed);
  gWaits.enter();
  const int r = static_cast<int>(::syscall(call, fd));
  const int saved = errno;
  gWaits.leave();
  errno = saved;
  return r;
}

// The descriptors open for synchronous writes.
constexpr int kTrackedFds = 4096;
std::atomic<bool> gSyncWrites[kTrackedFds];

bool writesSynchronously(int fd) { return fd >= 0 && fd < kTrackedFds && gSyncWrites[fd].load(std::memory_order_relaxed); }

ssize_t countedWrite(int fd, const void* buf, size_t n, off_t offset) {
  const bool sync = writesSynchronously(fd);
  if (sync) {
    gSyncs.fetch_add(1, std::memory_order_relaxed);
    gWaits.enter();
  }
  const ssize_t r = ::syscall(SYS_pwrite64, fd, buf, n, offset);
  const int saved = errno;
  if (sync) gWaits.leave();
  if (r > 0) gWritten.fetch_add(r, std::memory_order_relaxed);
  errno = saved;
  return r;
}

// The mode comes after the flags only when a file may be created.
int countedOpen(const char* path, int flags, va_list args) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) mode = static_cast<mode_t>(va_arg(args, int));
  const int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
  if (fd >= 0 && fd < kTrackedFds) gSyncWrites[fd].store((flags & O_DSYNC) == O_DSYNC, std::memory_order_relaxed);
  return fd;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = countedOpen(path, flags, args);
  va_end(args);
  return fd;
}
extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = countedOpen(path, flags, args);
  va_end(args);
  return fd;
}
extern "C" int close(int fd) {
  if (fd >= 0 && fd < kTrackedFds) gSyncWrites[fd].store(false, std::memory_order_relaxed);
  return static_cast<int>(::syscall(SYS_close, fd));
}

extern "C" int fsync(int fd) {
  return countedSync(SYS_fsync, fd);
}
extern "C" int fdatasync(int fd) {
  return countedSync(SYS_fdatasync, fd);
}

extern "C" ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) { return countedWrite(fd, buf, n, offset); }
extern "C" ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t offset) {
  return countedWrite(fd, buf, n, offset);
}

namespace {

namespace fs = std::filesystem;
using postbench::Error;
using postbench::Latencies;
using postbench::latenciesOf;
using Clock = std::chrono::steady_clock;

constexpr int kSuppliers = 200;

struct Options {
  int64_t docs = 10'000;
  int64_t smallLines = 1'000;
  int64_t largeLines = 1'000'000;
  bool small = true, large = true;
  int rounds = 10;
  bool engine = true, sqlite = true;
  std::string dir;
  bool keep = false;
  bool share = false;
};

// Makes everything written so far under `dir` durable, untimed, so that the
// postings pay for their own writes only.
void syncTree(const std::string& dir) {
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
    const bool folder = e.is_directory(ec);
    if (!folder && !e.is_regular_file(ec)) continue;
    const int fd = ::open(e.path().c_str(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) continue;
    ::fsync(fd);
    ::close(fd);
  }
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// What one durable 4 KiB write costs here, in milliseconds.
double syncMillis(const std::string& dir) {
  constexpr int kSyncs = 50;
  const std::string path = dir + "/sync-probe";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  const std::string block(4096, 'x');
  const auto start = Clock::now();
  for (int i = 0; i < kSyncs; ++i)
    if (::pwrite(fd, block.data(), block.size(), (i % 8) * 4096) < 0 || ::fdatasync(fd) != 0) break;
  const double ms = secondsSince(start) * 1e3 / kSyncs;
  ::close(fd);
  ::unlink(path.c_str());
  return ms;
}

std::string loadAverage() {
  char buf[128] = {};
  FILE* f = std::fopen("/proc/loadavg", "r");
  if (!f) return "unknown";
  const bool read = std::fgets(buf, sizeof buf, f) != nullptr;
  std::fclose(f);
  if (!read) return "unknown";
  std::string s(buf);
  // The first three fields: the 1, 5 and 15 minute averages.
  size_t end = 0;
  for (int i = 0; i < 3 && end != std::string::npos; ++i) end = s.find(' ', end + (i ? 1 : 0));
  return s.substr(0, end);
}

// ---------------------------------------------------------------- the databases

enum class SideKind { kEngine, kSqliteDelete, kSqliteWal };
constexpr SideKind kSides[] = {SideKind::kEngine, SideKind::kSqliteDelete, SideKind::kSqliteWal};
const char* sideName(SideKind s) {
  return s == SideKind::kEngine ? "engine" : s == SideKind::kSqliteDelete ? "sqlite DELETE" : "sqlite WAL";
}

// One of the databases: a side at a size of the journal.
struct Target {
  SideKind side;
  const char* size;  // "small" or "large"
  int64_t lines;     // in tjld before the run
  std::string folder;
};

// The books-and-posting loop of one database, run in its own process: reads
// commands from `in`, answers on `out`, one line each.
//
//   parent            child
//   (start)           "ready SECONDS" (built) | "error MESSAGE"
//   "post A B"        "t POSTING KEYING WRITING COMMIT" per document A..B-1, then
//                     "done WALL SYNCS WAITS WAIT_SECONDS BYTES" | "error MESSAGE"
//   "books N"         "diff TEXT" per difference from the books of documents
//                     0..N-1, then "end" | "error MESSAGE"
//   "quit"            (exits)
//
// Times are in seconds; for SQLite KEYING, WRITING and COMMIT are 0.
class Worker {
 public:
  Worker(const Target& target, FILE* in, FILE* out) : t_(target), in_(in), out_(out) {}

  int run() {
    const auto start = Clock::now();
    if (Error e = build(); !e.empty()) return fail(e);
    std::fprintf(out_, "ready %.6f\n", secondsSince(start));
    std::fflush(out_);
    char* line = nullptr;
    size_t capacity = 0;
    while (::getline(&line, &capacity, in_) > 0) {
      long long first = 0, last = 0;
      if (std::sscanf(line, "post %lld %lld", &first, &last) == 2) {
        post(first, last);
      } else if (std::sscanf(line, "books %lld", &last) == 1) {
        books(last);
      } else {
        break;  // "quit", or the parent is gone
      }
      std::fflush(out_);
    }
    std::free(line);
    engine_.reset();
    sqlite_.reset();
    return 0;
  }

 private:
  Error build() {
    std::error_code ec;
    fs::create_directories(t_.folder, ec);
    if (t_.side == SideKind::kEngine) {
      Error e = postbench::makeEngineCompany(t_.folder, kSuppliers, plan_, pdx::Env::unsynced(), paths_);
      if (!e.empty()) return e;
      db::Database::environment() = pdx::Env::standard();
      db::RegionalFormats::current() = db::RegionalFormats();
      return postbench::EnginePoster::open(paths_, engine_);
    }
    const bool wal = t_.side == SideKind::kSqliteWal;
    return postbench::SqlitePoster::create(t_.folder + (wal ? "/wal.db" : "/delete.db"),
                                           wal ? postbench::SqliteJournal::kWal : postbench::SqliteJournal::kDelete,
                                           true, kSuppliers, plan_, sqlite_);
  }

  int fail(const Error& e) {
    std::string text = e;
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::fprintf(out_, "error %s\n", text.c_str());
    std::fflush(out_);
    return 1;
  }

  void post(int64_t first, int64_t last) {
    const int64_t syncs = gSyncs.load(), written = gWritten.load();
    double waited = 0;
    int64_t waits = 0;
    gWaits.read(waited, waits);
    const auto start = Clock::now();
    for (int64_t d = first; d < last; ++d) {
      const postbench::Document doc = postbench::postedDocument(d, kSuppliers);
      Error e;
      postbench::PostingTimes times;
      if (engine_) {
        e = engine_->post(doc, times);
      } else {
        e = sqlite_->post(doc, times.writing);
      }
      if (!e.empty()) {
        fail(e);
        return;
      }
      std::fprintf(out_, "t %.9f %.9f %.9f %.9f\n", times.posting(), times.keying, engine_ ? times.writing : 0.0,
                   times.commit);
    }
    const double wall = secondsSince(start);
    double waitedAfter = 0;
    int64_t waitsAfter = 0;
    gWaits.read(waitedAfter, waitsAfter);
    std::fprintf(out_, "done %.9f %" PRId64 " %" PRId64 " %.9f %" PRId64 "\n", wall, gSyncs.load() - syncs,
                 waitsAfter - waits, waitedAfter - waited, gWritten.load() - written);
  }

  void books(int64_t posted) {
    postbench::Books got;
    Error e = engine_ ? postbench::readEngineBooks(paths_.company, got) : sqlite_->readBooks(got);
    if (!e.empty()) {
      fail(e);
      return;
    }
    const std::string diff = postbench::differences(got, postbench::expectedBooks(plan_, posted, kSuppliers));
    size_t pos = 0;
    while (pos < diff.size()) {
      const size_t end = diff.find('\n', pos);
      std::fprintf(out_, "diff %s\n", diff.substr(pos, end - pos).c_str());
      pos = end == std::string::npos ? diff.size() : end + 1;
    }
    std::fprintf(out_, "end\n");
  }

  const Target& t_;
  FILE* in_;
  FILE* out_;
  const postbench::PrefillPlan plan_{t_.lines};
  postbench::CompanyPaths paths_;
  std::unique_ptr<postbench::EnginePoster> engine_;
  std::unique_ptr<postbench::SqlitePoster> sqlite_;
};
// ---------------------------------------------------------------- the parent

// What one database did, as its child reported it.
struct SideRun {
  Target target;
  bool ran = false;
  std::vector<double> posting;                  // seconds, one per document
  std::vector<double> keying, writing, commit;  // the engine's parts
  double wall = 0;                              // of the rounds' loops
  int64_t syncs = 0, waits = 0, written = 0;
  double waited = 0;  // seconds waiting for syncs
  double buildSeconds = 0;
  long peakKiB = 0;
  std::string error;  // the first failure
  std::string books;  // the differences, one per line; "" when exact

  // The child that holds the database.
  pid_t pid = -1;
  FILE* to = nullptr;
  FILE* from = nullptr;

  bool usable(int64_t docs) const {
    return ran && error.empty() && books.empty() && static_cast<int64_t>(posting.size()) == docs;
  }

  // The next line from the child, without its newline; false when it is gone.
  bool reply(std::string& line) {
    char* buf = nullptr;
    size_t capacity = 0;
    const ssize_t n = from ? ::getline(&buf, &capacity, from) : -1;
    if (n > 0) line.assign(buf, static_cast<size_t>(buf[n - 1] == '\n' ? n - 1 : n));
    std::free(buf);
    if (n <= 0 && error.empty()) error = "its process ended unexpectedly";
    return n > 0;
  }
  bool command(const std::string& text) {
    if (!to || std::fprintf(to, "%s\n", text.c_str()) < 0 || std::fflush(to) != 0) {
      if (error.empty()) error = "its process does not listen";
      return false;
    }
    return true;
  }
  // Takes "error MESSAGE" as the run's error; true when `line` was one.
  bool isError(const std::string& line) {
    if (line.rfind("error ", 0) != 0) return false;
    if (error.empty()) error = line.substr(6);
    return true;
  }
};

// Starts the child of `run` and waits until its database is built. `others`
// are the runs started before, whose pipes the child must not hold.
void start(SideRun& run, const std::vector<SideRun*>& others) {
  run.ran = true;
  int down[2], up[2];
  if (::pipe(down) != 0 || ::pipe(up) != 0) {
    run.error = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  run.pid = ::fork();
  if (run.pid < 0) {
    run.error = std::string("fork: ") + std::strerror(errno);
    return;
  }
  if (run.pid == 0) {
    for (const SideRun* o : others) {
      if (o->to) ::close(::fileno(o->to));
      if (o->from) ::close(::fileno(o->from));
    }
    ::close(down[1]);
    ::close(up[0]);
    FILE* in = ::fdopen(down[0], "r");
    FILE* out = ::fdopen(up[1], "w");
    const int rc = in && out ? Worker(run.target, in, out).run() : 1;
    if (out) std::fclose(out);
    std::fflush(stderr);
    ::_exit(rc);
  }
  ::close(down[0]);
  ::close(up[1]);
  run.to = ::fdopen(down[1], "w");
  run.from = ::fdopen(up[0], "r");
  std::string line;
  if (!run.reply(line) || run.isError(line)) return;
  if (std::sscanf(line.c_str(), "ready %lf", &run.buildSeconds) != 1) run.error = "it answered \"" + line + "\"";
}

// Posts documents [first, last) into the database of `run`.
void post(SideRun& run, int64_t first, int64_t last) {
  if (!run.error.empty() || !run.command("post " + std::to_string(first) + " " + std::to_string(last))) return;
  std::string line;
  while (run.reply(line)) {
    if (run.isError(line)) return;
    double p = 0, k = 0, w = 0, c = 0, wall = 0, waited = 0;
    long long syncs = 0, waits = 0, written = 0;
    if (std::sscanf(line.c_str(), "t %lf %lf %lf %lf", &p, &k, &w, &c) == 4) {
      run.posting.push_back(p);
      if (run.target.side == SideKind::kEngine) {
        run.keying.push_back(k);
        run.writing.push_back(w);
        run.commit.push_back(c);
      }
    } else if (std::sscanf(line.c_str(), "done %lf %lld %lld %lf %lld", &wall, &syncs, &waits, &waited, &written) ==
               5) {
      run.wall += wall;
      run.syncs += syncs;
      run.waits += waits;
      run.waited += waited;
      run.written += written;
      return;
    } else {
      run.error = "it answered \"" + line + "\"";
      return;
    }
  }
}

// Has the child read its books back against the first `posted` documents,
// then lets it go.
void finish(SideRun& run, int64_t posted) {
  if (run.error.empty() && run.command("books " + std::to_string(posted))) {
    std::string line;
    while (run.reply(line) && !run.isError(line) && line != "end") {
      if (line.rfind("diff ", 0) == 0) run.books += line.substr(5) + "\n";
    }
  }
  if (run.to) {
    run.command("quit");
    std::fclose(run.to);
    run.to = nullptr;
  }
  if (run.from) {
    std::fclose(run.from);
    run.from = nullptr;
  }
  if (run.pid > 0) {
    int status = 0;
    struct rusage usage {};
    while (::wait4(run.pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.peakKiB = usage.ru_maxrss;
    if (WIFSIGNALED(status) && run.error.empty()) run.error = "killed by signal " + std::to_string(WTERMSIG(status));
    run.pid = -1;
  }
}

// ---------------------------------------------------------------- the report

void printSize(const Options& opt, const char* size, int64_t lines, const std::vector<SideRun*>& runs) {
  const postbench::PrefillPlan plan(lines);
  std::printf("\n== %s: tjld holding %s lines before the run (%s documents, with their tjlh headers)\n", size,
              withThousands(plan.lines()).c_str(), withThousands(plan.documents()).c_str());
  std::printf("%-14s %8s %10s %8s %8s  %7s %6s %8s %8s %9s  %s\n", "side", "docs/s", "median ms", "p95 ms", "mean ms",
              "syncs", "waits", "wait ms", "KiB", "built s", "books");
  for (const SideRun* run : runs) {
    const double n = static_cast<double>(std::max<size_t>(run->posting.size(), 1));
    const Latencies l = latenciesOf(run->posting);
    const char* books = !run->error.empty() ? "ERROR" : !run->books.empty() ? "MISMATCH" : "exact";
    std::printf("%-14s %8.1f %10.3f %8.3f %8.3f  %7.2f %6.2f %8.3f %8.1f %9.1f  %s\n", sideName(run->target.side),
                run->wall > 0 ? static_cast<double>(run->posting.size()) / run->wall : 0.0, l.median * 1e3, l.p95 * 1e3,
                l.mean * 1e3, static_cast<double>(run->syncs) / n, static_cast<double>(run->waits) / n,
                run->waited * 1e3 / n, static_cast<double>(run->written) / 1024.0 / n, run->buildSeconds, books);
  }
  for (const SideRun* run : runs) {
    if (run->target.side != SideKind::kEngine || !run->usable(opt.docs)) continue;
    const Latencies k = latenciesOf(run->keying), w = latenciesOf(run->writing), c = latenciesOf(run->commit);
    std::printf(
        "engine, parts of one posting (median / mean ms): keying the document %.3f / %.3f (not in the\n"
        "  posting's time); checks and the write group's held writes %.3f / %.3f; commit and the fresh\n"
        "  entry %.3f / %.3f\n",
        k.median * 1e3, k.mean * 1e3, w.median * 1e3, w.mean * 1e3, c.median * 1e3, c.mean * 1e3);
  }
  for (const SideRun* run : runs) {
    const char* who = sideName(run->target.side);
    if (!run->error.empty()) std::printf("  %s: %s\n", who, run->error.c_str());
    if (run->books.empty()) continue;
    std::printf("  %s: the books differ from what the documents make:\n", who);
    size_t pos = 0;
    while (pos < run->books.size()) {
      const size_t end = run->books.find('\n', pos);
      std::printf("    %s\n", run->books.substr(pos, end - pos).c_str());
      pos = end == std::string::npos ? run->books.size() : end + 1;
    }
  }
}

// A ratio line: median, p95 and mean of one posting of two runs, against a
// target (none when 0: the line is for comparison).
void printRatio(const std::string& label, const SideRun& a, const SideRun& b, double target) {
  const Latencies x = latenciesOf(a.posting), y = latenciesOf(b.posting);
  auto ratio = [](double p, double q) { return q > 0 ? p / q : 0.0; };
  const double m = ratio(x.median, y.median), p = ratio(x.p95, y.p95), e = ratio(x.mean, y.mean);
  auto verdict = [&](double r) { return target == 0 ? "" : r <= target ? "PASS" : "FAIL"; };
  char bound[16] = "-";
  if (target > 0) std::snprintf(bound, sizeof bound, "<= %.1f", target);
  std::printf("%-34s %6.2f %-4s  %6.2f %-4s  %6.2f %-4s  %s\n", label.c_str(), m, verdict(m), p, verdict(p), e,
              verdict(e), bound);
}

void usage(FILE* f) {
  std::fprintf(f,
               "usage: posting_bench [--docs N] [--small-lines N] [--large-lines N] [--only small|large]\n"
               "                     [--rounds N] [--side engine|sqlite|both] [--dir D] [--keep] [--share]\n"
               "  --docs N         documents posted into each database (default 10000)\n"
               "  --small-lines N  journal lines (tjld) before the small run (default 1000)\n"
               "  --large-lines N  journal lines before the large run (default 1000000)\n"
               "  --only S         run one size only: small or large\n"
               "  --rounds N       post in N rounds, every database in turn (default 10)\n"
               "  --side S         engine, sqlite or both (default both)\n"
               "  --dir D          put the databases under D (kept); default a new folder under /tmp,\n"
               "                   removed at the end unless --keep\n"
               "  --keep           keep the temporary folder\n"
               "  --share          put the databases in a view of the folder as a network share\n"
               "                   (share-mounts.sh); SQLite then runs in its rollback journal only\n");
}

bool parseOptions(int argc, char** argv, Options& opt) {
  bench::Arguments args("posting_bench", argc, argv);
  while (args.next()) {
    const std::string_view a = args.current();
    auto value = [&] { return args.value(); };
    auto count = [&](int64_t low, int64_t high, int64_t& to) { return args.count(low, high, to); };
    if (a == "--docs") {
      if (!count(1, 1'000'000, opt.docs)) return false;
    } else if (a == "--small-lines") {
      if (!count(0, 2'000'000, opt.smallLines)) return false;
    } else if (a == "--large-lines") {
      if (!count(0, 2'000'000, opt.largeLines)) return false;
    } else if (a == "--rounds") {
      int64_t n = 0;
      if (!count(1, 100, n)) return false;
      opt.rounds = static_cast<int>(n);
    } else if (a == "--only") {
      const char* v = value();
      const std::string_view s = v ? v : "";
      if (s != "small" && s != "large") {
        std::fprintf(stderr, "posting_bench: --only takes small or large\n");
        return false;
      }
      opt.small = s == "small";
      opt.large = s == "large";
    } else if (a == "--side") {
      if (!args.side(opt.engine, opt.sqlite)) return false;
    } else if (a == "--dir") {
      if (!args.folder(opt.dir)) return false;
    } else if (a == "--keep") {
      opt.keep = true;
    } else if (a == "--share") {
      opt.share = true;
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else {
      std::fprintf(stderr, "posting_bench: unknown argument \"%.*s\"\n", static_cast<int>(a.size()), a.data());
      usage(stderr);
      return false;
    }
  }
  if (opt.rounds > opt.docs) opt.rounds = static_cast<int>(opt.docs);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parseOptions(argc, argv, opt)) return 2;

  std::string base = opt.dir;
  bool temporary = false;
  if (!bench::workFolder("posting_bench", base, temporary)) return 1;
  std::error_code ec;
  std::optional<pdx::testing::ShareViews> views;
  std::string place = base;
  if (opt.share) {
    views.emplace(base, 1);
    if (!views->ok()) {
      std::fprintf(stderr, "posting_bench: no network share view of %s: %s\n", base.c_str(), views->reason().c_str());
      return 1;
    }
    place = views->view(0);
  }

  std::printf(
      "posting_bench: %s purchases of 4 lines (A/P credit; purchases, GST and QST debits), each posted\n"
      "  durably, from %d suppliers, into each database\n",
      withThousands(opt.docs).c_str(), kSuppliers);
  std::printf(
      "engine: the purchases entry's logic, fields keyed and the Post button, as its window drives it;\n"
      "  each posting one write group of Env::standard() (synced)\n");
  std::printf(
      "sqlite %s: the same five tables, keys and writes, one transaction per document at\n"
      "  synchronous=FULL, journal_mode=DELETE and WAL; 4 KiB pages, %d MiB cache\n",
      sqlite3_libversion(), postbench::kSqliteCacheKiB / 1024);
  std::printf(
      "machine: %ld processors, load average %s at the start; a durable 4 KiB write (pwrite +\n"
      "  fdatasync) costs %.2f ms\n",
      ::sysconf(_SC_NPROCESSORS_ONLN), loadAverage().c_str(), syncMillis(place));
  if (opt.share)
    std::printf("share: every database seen through %s (share-mounts.sh), as one machine of several\n"
                "  sees a network share; sqlite in its rollback journal only\n",
                place.c_str());
  std::printf("data: %s%s; %d rounds, every database in turn, each in a process of its own\n", base.c_str(),
              temporary && !opt.keep ? " (removed at the end)" : "", opt.rounds);
  std::fflush(stdout);

  // The databases, small ones first; each child builds its own, one after
  // the other.
  std::vector<std::unique_ptr<SideRun>> runs;
  for (const char* size : {"small", "large"}) {
    const bool large = std::string_view(size) == "large";
    if (large ? !opt.large : !opt.small) continue;
    for (SideKind side : kSides) {
      if (side == SideKind::kEngine ? !opt.engine : !opt.sqlite) continue;
      if (opt.share && side == SideKind::kSqliteWal) continue;
      auto run = std::make_unique<SideRun>();
      run->target = Target{side, size, large ? opt.largeLines : opt.smallLines,
                           place + "/" + size + "-" + (side == SideKind::kEngine ? "engine" : "sqlite") +
                               (side == SideKind::kSqliteDelete ? "-delete"
                                : side == SideKind::kSqliteWal  ? "-wal"
                                                                : "")};
      fs::remove_all(run->target.folder, ec);
      runs.push_back(std::move(run));
    }
  }
  std::vector<SideRun*> started;
  for (auto& run : runs) {
    std::fprintf(stderr, "[%s %s] building (tjld: %s lines)\n", run->target.size, sideName(run->target.side),
                 withThousands(postbench::PrefillPlan(run->target.lines).lines()).c_str());
    start(*run, started);
    started.push_back(run.get());
  }
  // What the builds left unsynced is flushed now, untimed.
  syncTree(place);

  for (int r = 0; r < opt.rounds; ++r) {
    const int64_t first = opt.docs * r / opt.rounds, last = opt.docs * (r + 1) / opt.rounds;
    std::fprintf(stderr, "round %d of %d: documents %" PRId64 " to %" PRId64 "\n", r + 1, opt.rounds, first + 1, last);
    for (size_t k = 0; k < runs.size(); ++k) post(*runs[(static_cast<size_t>(r) + k) % runs.size()], first, last);
  }
  std::fprintf(stderr, "reading the books back\n");
  for (auto& run : runs) finish(*run, opt.docs);

  bool broken = false;
  for (const char* size : {"small", "large"}) {
    std::vector<SideRun*> of;
    for (auto& run : runs)
      if (std::string_view(run->target.size) == size) of.push_back(run.get());
    if (of.empty()) continue;
    printSize(opt, size, of.front()->target.lines, of);
    for (const SideRun* run : of) broken = broken || !run->usable(opt.docs);
  }

  auto find = [&](const char* size, SideKind side) -> const SideRun* {
    for (auto& run : runs)
      if (std::string_view(run->target.size) == size && run->target.side == side && run->usable(opt.docs))
        return run.get();
    return nullptr;
  };
  std::printf("\n%-34s %-11s  %-11s  %-11s  %s\n", "ratios of one posting", "median", "p95", "mean", "target");
  for (const char* size : {"small", "large"}) {
    const SideRun* e = find(size, SideKind::kEngine);
    // On a local disk the engine must take at most half the time of
    // SQLite's rollback journal (its write-ahead log, for comparison only);
    // on a share, where that journal is SQLite's only mode, no longer.
    for (SideKind k : {SideKind::kSqliteDelete, SideKind::kSqliteWal}) {
      const SideRun* s = find(size, k);
      const double target = k == SideKind::kSqliteWal ? 0 : opt.share ? 1.0 : 0.5;
      if (e && s) printRatio(std::string(size) + ": engine / " + sideName(k), *e, *s, target);
    }
  }
  for (SideKind k : kSides) {
    const SideRun *s = find("small", k), *l = find("large", k);
    if (s && l) printRatio(std::string(sideName(k)) + ": large / small", *l, *s, 1.2);
  }
  std::printf("(the targets are the engine's; SQLite's large / small ratios are for comparison)\n");
  std::printf("\npeak memory (ru_maxrss):");
  for (auto& run : runs)
    std::printf(" %s %s %.1f MiB;", run->target.size, sideName(run->target.side),
                static_cast<double>(run->peakKiB) / 1024.0);
  std::printf("\n");
  if (broken) std::printf("\nposting_bench: a database failed or its books differ (see above)\n");

  views.reset();
  if (temporary && !opt.keep) fs::remove_all(base, ec);
  return broken ? 1 : 0;
}
