// inquiry_bench: the receivables inquiry on a client with 10,000 open items,
// against SQLite computing the same statement and aging in one query each.
//
// The data is made by tallimoor-admin's scale (client C00000001 has exactly
// --items open items among the other clients' ones). The engine side is the
// real window offscreen, used as a user uses it: the client chosen in the
// list, the statement page shown (its query run, its balance table built, its
// first page painted), the graph page shown (the aging computed and charted),
// the chart printed to PDF; and a listing of the whole statement rendered to
// PDF through the report writer. The SQLite side holds the same open items
// (amounts in ten-thousandths, exact) and runs one query with a window
// function for the statement and one for the aging. Both sides must find the
// figures computed from the data beforehand, or the line says MISMATCH.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <sstream>
#include <tuple>
#include <vector>

#include "aging.h"
#include "bench_common.h"
#include "data/table_def.h"
#include "db/database.h"
#include "demo.h"
#include "inquiry_windows.h"
#include "os/memory_machine_settings.h"
#include "os/services.h"
#include "report/report.h"
#include "shared/module_entry.h"
#include "shared/window_utils.h"
#include "ui/chart.h"
#include "ui/dialogs.h"

namespace {

using bench::withThousands;
using Clock = std::chrono::steady_clock;

constexpr const char* kTool = "inquiry_bench";
constexpr const char* kClient = "C00000001";
const pdx::Date kToday = *pdx::Date::fromYmd(2026, 6, 15);
const pdx::Timestamp kNow = pdx::Timestamp::from(kToday, pdx::Time{11 * 3'600'000});
constexpr double kFirstPageTarget = 0.2;  // seconds

struct Options {
  std::string dir;
  int64_t items = 10'000;
  int64_t parties = 200;
  int64_t rounds = 5;
  bool keep = false;
};

bool parse(int argc, char** argv, Options& o) {
  bench::Arguments a(kTool, argc, argv);
  while (a.next()) {
    const std::string_view arg = a.current();
    if (arg == "--dir") {
      if (!a.folder(o.dir)) return false;
    } else if (arg == "--items") {
      if (!a.count(1, 1'000'000, o.items)) return false;
    } else if (arg == "--parties") {
      if (!a.count(2, 100'000, o.parties)) return false;
    } else if (arg == "--rounds") {
      if (!a.count(1, 100, o.rounds)) return false;
    } else if (arg == "--keep") {
      o.keep = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--dir D] [--items N] [--parties N] [--rounds N] [--keep]\n"
                   "  the statement, aging and report of a client with --items (10,000) open items, among\n"
                   "  --parties (200) clients and suppliers of about 20 open items each, against SQLite;\n"
                   "  each line the median of --rounds (5) rounds. The data stays in --dir for the next run.\n",
                   kTool);
      return false;
    }
  }
  return true;
}

// An open item as both sides read it.
struct Item {
  std::string client, invoice, ref, type;
  int32_t date = 0, due = 0;
  int64_t seq = 0;
  int64_t amount = 0;  // ten-thousandths
  auto order() const { return std::tie(invoice, ref, date, type); }
};

// What a side found for the client: its rows, final balance and buckets.
struct Figures {
  int64_t rows = 0;
  int64_t balance = 0;
  std::array<int64_t, 5> buckets{};
  bool operator==(const Figures&) const = default;
};

std::string describe(const Figures& f) {
  std::string s = withThousands(f.rows) + " rows, balance " + db::Money::fromUnits(f.balance).toString() + ", aging";
  for (int64_t b : f.buckets) s += " " + db::Money::fromUnits(b).toString();
  return s;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// ---------------------------------------------------------------- data

bool makeData(const Options& o, const std::string& root) {
  if (std::filesystem::exists(data::companyDirectory(root, 1) + "/car.DB")) return true;
  admin::ScaleOptions s;
  s.dataRoot = root;
  s.clients = static_cast<int>(o.parties);
  s.suppliers = static_cast<int>(o.parties);
  s.items = o.parties * 20;
  s.heavyItems = o.items;
  s.today = kToday;
  s.env = pdx::Env::unsynced();
  admin::LedgerCounts counts;
  std::ostringstream log;
  const pdx::Status st = admin::buildScale(s, counts, log);
  if (!st.ok()) std::fprintf(stderr, "%s: making the data: %s\n", kTool, st.toString().c_str());
  return st.ok();
}

// Every open item of the company, and the aging limits of its control record.
bool readBooks(const std::string& company, std::vector<Item>& items, std::array<int64_t, 4>& limits) {
  auto dir = pdx::Directory::open(company, pdx::Env::unsynced());
  if (!dir.ok()) return false;
  auto car = (*dir)->openTable("car", pdx::Directory::Access::kReadOnly);
  auto ctrl = (*dir)->openTable("ctrl", pdx::Directory::Access::kReadOnly);
  if (!car.ok() || !ctrl.ok()) return false;
  auto text = [](pdx::Table& t, const char* f) {
    auto v = t.get(f);
    return v.ok() && !v->isNull() ? v->asText() : std::string();
  };
  auto day = [](pdx::Table& t, const char* f) {
    auto v = t.get(f);
    return v.ok() && !v->isNull() ? v->asDate().days : 0;
  };
  for (pdx::Status st = (*car)->first(); st.ok() && (*car)->hasRecord(); st = (*car)->next()) {
    Item i;
    i.client = text(**car, "Car_client");
    i.invoice = text(**car, "Car_invoice");
    i.ref = text(**car, "Car_ref");
    i.type = text(**car, "Car_type");
    i.date = day(**car, "Car_date");
    i.due = day(**car, "Car_du_date");
    auto seq = (*car)->get("Car_seq");
    i.seq = seq.ok() && !seq->isNull() ? seq->asInteger() : 0;
    auto amount = (*car)->get("Car_amount");
    i.amount = amount.ok() && !amount->isNull() ? db::Money::fromDouble(*amount->toDouble()).value_or(db::Money()).units() : 0;
    items.push_back(std::move(i));
  }
  if (!(*ctrl)->first().ok()) return false;
  for (int b = 0; b < 4; ++b) {
    auto v = (*ctrl)->get("Ctrl_ar_days" + std::to_string(b + 1));
    limits[size_t(b)] = v.ok() && !v->isNull() ? v->asInteger() : 0;
  }
  return true;
}

// The figures the client's items must give, computed here.
Figures expected(std::vector<Item> items, const std::array<int64_t, 4>& limits) {
  std::erase_if(items, [](const Item& i) { return i.client != kClient; });
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.order() < b.order(); });
  Figures f;
  inquiry::AgingWalk walk(limits, kNow);
  for (const Item& i : items) {
    f.balance += i.amount;
    walk.add(i.invoice, pdx::Date{i.date}, db::Money::fromUnits(i.amount));
  }
  f.rows = static_cast<int64_t>(items.size());
  for (int b = 0; b < 5; ++b) f.buckets[size_t(b)] = walk.totals()[size_t(b)].units();
  return f;
}

// ---------------------------------------------------------------- the engine: the window

struct Times {
  std::vector<double> statement, aging, chartPdf, listingPdf;
};

// A listing of the statement: one line per open item with its running balance.
std::unique_ptr<report::Report> statementListing(inquiry::InquiryDataModule& dm) {
  auto r = std::make_unique<report::Report>("StatementListing");
  r->setTitle("Client statement");
  r->setDataSet(&dm.Query2);
  report::Band* header = r->addBand(report::BandKind::kPageHeader, "Header", 12);
  header->addLabel("Title", "Client statement", {0, 0, 100, 6});
  report::Band* line = r->addBand(report::BandKind::kDetail, "Line", 4.5);
  const char* fields[] = {"Car_invoice", "Car_ref", "Car_date", "strType", "Car_du_date", "Car_amount", "car_balance"};
  const double x[] = {0, 25, 50, 75, 105, 130, 160};
  for (int k = 0; k < 7; ++k) {
    report::DBText* t = line->addDBText(fields[k], &dm.Query2, fields[k], {x[k], 0, k >= 5 ? 30.0 : 24.0, 4});
    if (k >= 5) {
      t->setMask("#,###,##0.00");
      t->alignment = Qt::AlignRight;
    }
  }
  return r;
}

class EngineSide {
 public:
  EngineSide(const std::string& root, const std::string& work) : root_(root), work_(work) {
    shared::SessionContext& c = shared::Context();
    c.clear();
    c.setCompanyCode("1");
    c.setCompanyName("Benchmark Wholesale Ltd.");
    c.setDataDir(QString::fromStdString(root));
    c.setUserName("Bench");
    c.setLanguage(1);
    c.setLangSuffix("en");
    c.setSessionId(1);
    // The translation tables are "../languages" from the program folder.
    const QString bin = QFileInfo(QString::fromStdString(root)).absolutePath() + "/bin";
    QDir().mkpath(bin);
    QDir::setCurrent(bin);
    c.setProgramDir(bin);
    os::Services::install(std::make_unique<os::MemoryMachineSettings>());
    dialogs_.pdfDirectory = QString::fromStdString(work);
    shared::LoadRegionalSettings();
  }

  // One round; false when something failed (said on stderr).
  bool round(Times& times, Figures& found) {
    inquiry::Tkq61_dm dm;
    inquiry::Tkq61_frm frm(dm);
    frm.clock = [] { return kNow; };
    shared::ApplyDateFormat(dm.dataSets());
    frm.resize(900, 600);
    frm.show();
    QApplication::processEvents();
    if (!dm.database.connected()) return fail("the window did not start");

    // The client chosen in the list, then its statement.
    Clock::time_point t = Clock::now();
    auto located = dm.Query1.locate("Cli_code", {pdx::Value::text(kClient)});
    if (!located.ok() || !*located) return fail("no client " + std::string(kClient));
    frm.PageControl1->setCurrentIndex(inquiry::InquiryForm::kStatement);
    QApplication::processEvents();
    frm.DBGrid2->viewport()->repaint();
    times.statement.push_back(bench::secondsSince(t));
    if (frm.DBGrid2->model()->rowCount() == 0) return fail("the statement shows no rows");
    auto rows = dm.Query2.recordCount();
    found.rows = rows.ok() ? *rows : -1;

    // The aging, on the graph page.
    t = Clock::now();
    frm.PageControl1->setCurrentIndex(inquiry::InquiryForm::kGraph);
    QApplication::processEvents();
    frm.chart->repaint();
    times.aging.push_back(bench::secondsSince(t));
    for (int b = 0; b < 5; ++b)
      found.buckets[size_t(b)] = dm.Table3.fieldByName("Curr_" + std::to_string(b + 1)).asCurrency().units();

    // The chart printed, into a PDF.
    dialogs_.shown.clear();
    t = Clock::now();
    frm.GraphPrintClick();
    times.chartPdf.push_back(bench::secondsSince(t));
    if (dialogs_.shown.empty() || !QFileInfo(dialogs_.shown.back().pdf).size()) return fail("no chart printout");

    // The whole statement as a listing, into a PDF.
    std::unique_ptr<report::Report> listing = statementListing(dm);
    t = Clock::now();
    const pdx::Status written = listing->exportPdf(QString::fromStdString(work_ + "/statement.pdf"));
    times.listingPdf.push_back(bench::secondsSince(t));
    if (!written.ok()) return fail("the listing: " + written.toString());
    pages_ = listing->pageCount();

    // The final balance, read back from the statement.
    if (!dm.Query2.last().ok()) return fail("the statement's last row");
    found.balance = dm.Query2.fieldByName("car_balance").asCurrency().units();
    frm.ExitClick();
    return true;
  }
  int pages() const { return pages_; }

 private:
  bool fail(const std::string& what) {
    std::fprintf(stderr, "%s: engine: %s\n", kTool, what.c_str());
    return false;
  }
  std::string root_, work_;
  ui::RecordingDialogs dialogs_;
  ui::ScopedDialogs scoped_{&dialogs_};
  int pages_ = 0;
};

// ---------------------------------------------------------------- SQLite

constexpr const char* kStatementQuery =
    "SELECT invoice, ref, date, type, seq, due, amount,"
    " SUM(amount) OVER (ORDER BY invoice, ref, date, type ROWS UNBOUNDED PRECEDING)"
    " FROM car WHERE client = ?1 ORDER BY invoice, ref, date, type";
// Each row aged from the first row of its invoice in statement order.
constexpr const char* kAgingQuery =
    "SELECT CASE WHEN age <= ?2 THEN 0 WHEN age <= ?3 THEN 1 WHEN age <= ?4 THEN 2 WHEN age <= ?5 THEN 3 ELSE 4 END,"
    " SUM(amount) FROM (SELECT amount, ?6 - FIRST_VALUE(date) OVER (PARTITION BY invoice ORDER BY ref, date, type) AS age"
    " FROM car WHERE client = ?1) GROUP BY 1";

class SqliteSide {
 public:
  ~SqliteSide() { sqlite3_close(db_); }

  std::string build(const std::string& file, const std::vector<Item>& items) {
    std::filesystem::remove(file);
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) return "sqlite: cannot open " + file;
    for (const char* sql : {"PRAGMA page_size=4096", "PRAGMA cache_size=-32768",
                            "CREATE TABLE car(client TEXT, invoice TEXT, ref TEXT, date INTEGER, type TEXT,"
                            " seq INTEGER, due INTEGER, amount INTEGER,"
                            " PRIMARY KEY(client, invoice, ref, date, type)) WITHOUT ROWID",
                            "BEGIN"})
      if (std::string e = bench::sqliteExec(db_, sql); !e.empty()) return e;
    bench::Statement insert;
    if (std::string e = bench::sqlitePrepare(db_, "INSERT INTO car VALUES(?,?,?,?,?,?,?,?)", insert); !e.empty())
      return e;
    for (const Item& i : items) {
      sqlite3_stmt* s = insert.get();
      int k = 1;
      for (const std::string* t : {&i.client, &i.invoice, &i.ref}) sqlite3_bind_text(s, k++, t->c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int(s, k++, i.date);
      sqlite3_bind_text(s, k++, i.type.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int64(s, k++, i.seq);
      sqlite3_bind_int(s, k++, i.due);
      sqlite3_bind_int64(s, k++, i.amount);
      if (sqlite3_step(s) != SQLITE_DONE) return bench::sqliteFailure(db_, "insert");
      sqlite3_reset(s);
    }
    return bench::sqliteExec(db_, "COMMIT");
  }

  std::string statement(Figures& found) {
    bench::Statement q;
    if (std::string e = bench::sqlitePrepare(db_, kStatementQuery, q); !e.empty()) return e;
    sqlite3_bind_text(q.get(), 1, kClient, -1, SQLITE_STATIC);
    found.rows = 0;
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
      // Every column read, as the window reads every field of a row.
      ++found.rows;
      for (int c = 0; c < 4; ++c) sink_ += sqlite3_column_bytes(q.get(), c);
      sink_ += sqlite3_column_int64(q.get(), 4) + sqlite3_column_int64(q.get(), 5) + sqlite3_column_int64(q.get(), 6);
      found.balance = sqlite3_column_int64(q.get(), 7);
    }
    return rc == SQLITE_DONE ? std::string() : bench::sqliteFailure(db_, "statement");
  }

  std::string aging(const std::array<int64_t, 4>& limits, Figures& found) {
    bench::Statement q;
    if (std::string e = bench::sqlitePrepare(db_, kAgingQuery, q); !e.empty()) return e;
    sqlite3_bind_text(q.get(), 1, kClient, -1, SQLITE_STATIC);
    for (int b = 0; b < 4; ++b) sqlite3_bind_int64(q.get(), b + 2, limits[size_t(b)]);
    sqlite3_bind_int(q.get(), 6, kToday.days);
    found.buckets = {};
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
      found.buckets[size_t(std::clamp(sqlite3_column_int(q.get(), 0), 0, 4))] = sqlite3_column_int64(q.get(), 1);
    return rc == SQLITE_DONE ? std::string() : bench::sqliteFailure(db_, "aging");
  }

 private:
  sqlite3* db_ = nullptr;
  int64_t sink_ = 0;
};

void line(const char* what, double engine, double sqlite, double target) {
  const double ratio = sqlite > 0 ? engine / sqlite : 0;
  std::printf("%-44s engine %9.2f ms   sqlite %8.2f ms   ratio %6.2f   target <= %.1f %s\n", what, engine * 1e3,
              sqlite * 1e3, ratio, target, ratio <= target ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!parse(argc, argv, opt)) return 2;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);

  std::string base = opt.dir;
  bool temporary = false;
  if (!bench::workFolder(kTool, base, temporary)) return 1;
  const std::string root = base + "/Tallimoor/data";
  std::printf("%s: the receivables inquiry on client %s (%s open items among %s clients) against sqlite %s\n", kTool,
              kClient, withThousands(opt.items).c_str(), withThousands(opt.parties).c_str(), sqlite3_libversion());
  std::printf("data: %s%s\n", base.c_str(), temporary && !opt.keep ? " (removed at the end)" : "");
  std::fflush(stdout);
  if (!makeData(opt, root)) return 1;

  std::vector<Item> items;
  std::array<int64_t, 4> limits{};
  if (!readBooks(data::companyDirectory(root, 1), items, limits)) {
    std::fprintf(stderr, "%s: cannot read the books under %s\n", kTool, root.c_str());
    return 1;
  }
  const Figures truth = expected(items, limits);
  std::printf("expected: %s\n", describe(truth).c_str());
  std::printf("engine: the kq61 window offscreen, Env::standard(); sqlite: one WITHOUT ROWID table of the open items\n"
              "  keyed as car, amounts in ten-thousandths, 4 KiB pages, 32 MiB cache; each line the median of %lld rounds\n\n",
              static_cast<long long>(opt.rounds));
  std::fflush(stdout);

  db::Database::environment() = pdx::Env::standard();
  EngineSide engine(root, base);
  SqliteSide sqlite;
  if (std::string e = sqlite.build(base + "/inquiry.sqlite", items); !e.empty()) {
    std::fprintf(stderr, "%s: %s\n", kTool, e.c_str());
    return 1;
  }
  Times times;
  std::vector<double> sqliteStatement, sqliteAging;
  bool ok = true;
  for (int64_t r = 0; r < opt.rounds && ok; ++r) {
    Figures e, s;
    ok = engine.round(times, e);
    Clock::time_point t = Clock::now();
    std::string failure = sqlite.statement(s);
    sqliteStatement.push_back(bench::secondsSince(t));
    t = Clock::now();
    if (failure.empty()) failure = sqlite.aging(limits, s);
    sqliteAging.push_back(bench::secondsSince(t));
    if (!failure.empty()) {
      std::fprintf(stderr, "%s: %s\n", kTool, failure.c_str());
      ok = false;
    }
    for (const auto& [side, f] : {std::pair{"engine", &e}, std::pair{"sqlite", &s}})
      if (ok && !(*f == truth)) {
        std::printf("MISMATCH %s: %s\n", side, describe(*f).c_str());
        ok = false;
      }
  }
  if (ok) {
    line("statement (query, balance table, first page)", median(times.statement), median(sqliteStatement), 1.0);
    line("aging (five buckets, chart)", median(times.aging), median(sqliteAging), 1.0);
    const double firstPage = median(times.statement);
    std::printf("%-44s engine %9.2f ms   target <= %.0f ms %s\n", "statement shown, first page", firstPage * 1e3,
                kFirstPageTarget * 1e3, firstPage <= kFirstPageTarget ? "met" : "MISSED");
    std::printf("%-44s engine %9.2f ms\n", "aging chart printed to PDF", median(times.chartPdf) * 1e3);
    std::printf("%-44s engine %9.2f ms   (%d pages)\n", "statement listing rendered to PDF", median(times.listingPdf) * 1e3,
                engine.pages());
  }
  if (temporary && !opt.keep) std::filesystem::remove_all(base);
  return ok ? 0 : 1;
}
