#include "posting_bench_engine.h"

#include <chrono>
#include <exception>
#include <sstream>
#include <vector>

#include "company.h"
#include "data/table_def.h"
#include "data_root.h"
#include "db/database.h"
#include "db/formats.h"
#include "db/money.h"
#include "entry_data_module.h"
#include "entry_document.h"
#include "entry_prompts.h"
#include "entry_rules.h"
#include "pdx/table.h"
#include "posting.h"
#include "rows.h"

namespace postbench {

namespace {

using Clock = std::chrono::steady_clock;

Error engineError(const pdx::Status& st, const std::string& what) {
  return "engine: " + what + ": " + st.toString();
}

#define POSTBENCH_ENGINE(expr, what)                                  \
  do {                                                                \
    const ::pdx::Status postbench_st_ = (expr);                       \
    if (!postbench_st_.ok()) return engineError(postbench_st_, what); \
  } while (0)

double secondsBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

pdx::Value fixedMoney(int64_t units) {
  return pdx::Value::number(db::Money::fromUnits(units).toDouble());
}

// Field numbers of a table, found once by name.
class Fields {
 public:
  Fields(const pdx::Table& t, std::initializer_list<const char*> names) {
    for (const char* n : names) {
      const int i = t.schema().fieldIndex(n);
      if (i < 0) missing_ += std::string(missing_.empty() ? "" : ", ") + n;
      index_.push_back(i);
    }
  }
  const std::string& missing() const { return missing_; }
  int operator[](size_t k) const { return index_[k]; }

 private:
  std::vector<int> index_;
  std::string missing_;
};

// The prefill's journal: headers and lines in key order, a write group per
// kPrefillGroup documents.
Error prefillJournal(pdx::Directory& dir, const PrefillPlan& prefill) {
  constexpr int64_t kPrefillGroup = 2'000;
  auto h = dir.openTable("tjlh");
  if (!h.ok()) return engineError(h.status(), "open tjlh");
  auto d = dir.openTable("tjld");
  if (!d.ok()) return engineError(d.status(), "open tjld");
  pdx::Table& headers = **h;
  pdx::Table& lines = **d;
  const Fields hf(headers, {"Tjlh_period", "Tjlh_journal", "Tjlh_reference", "Tjlh_date", "Tjlh_tot_debit",
                            "Tjlh_tot_credit", "Tjlh_user"});
  const Fields lf(lines, {"Tjld_period", "Tjld_journal", "Tjld_reference", "Tjld_date", "Tjld_account", "Tjld_debit",
                          "Tjld_credit", "Tjld_description"});
  if (!hf.missing().empty()) return "engine: tjlh has no field " + hf.missing();
  if (!lf.missing().empty()) return "engine: tjld has no field " + lf.missing();

  std::unique_ptr<pdx::WriteGroup> group;
  int64_t inGroup = 0;
  Error failed;
  const bool whole = prefill.forEach([&](const JournalDocument& doc) {
    auto step = [&](const pdx::Status& st, const char* what) {
      if (!st.ok() && failed.empty()) failed = engineError(st, what);
      return st.ok();
    };
    if (!group) {
      auto g = dir.beginGroup();
      if (!step(g.status(), "begin a prefill group")) return false;
      group = std::move(g).value();
    }
    const pdx::Value period = pdx::Value::integer(doc.period), journal = pdx::Value::integer(doc.journal);
    const pdx::Value reference = pdx::Value::text(doc.reference), date = pdx::Value::date(pdx::Date{doc.date});
    if (!step(headers.insert(), "tjlh insert") || !step(headers.set(hf[0], period), "Tjlh_period") ||
        !step(headers.set(hf[1], journal), "Tjlh_journal") || !step(headers.set(hf[2], reference), "Tjlh_reference") ||
        !step(headers.set(hf[3], date), "Tjlh_date") ||
        !step(headers.set(hf[4], fixedMoney(doc.total)), "Tjlh_tot_debit") ||
        !step(headers.set(hf[5], fixedMoney(doc.total)), "Tjlh_tot_credit") ||
        !step(headers.set(hf[6], pdx::Value::text("ADMIN")), "Tjlh_user") || !step(headers.post(), "tjlh post"))
      return false;
    for (const JournalLine& line : doc.lines) {
      if (!step(lines.insert(), "tjld insert") || !step(lines.set(lf[0], period), "Tjld_period") ||
          !step(lines.set(lf[1], journal), "Tjld_journal") || !step(lines.set(lf[2], reference), "Tjld_reference") ||
          !step(lines.set(lf[3], date), "Tjld_date") ||
          !step(lines.set(lf[4], pdx::Value::integer(line.account)), "Tjld_account") ||
          !step(lines.set(lf[5], fixedMoney(line.debit)), "Tjld_debit") ||
          !step(lines.set(lf[6], fixedMoney(line.credit)), "Tjld_credit") ||
          !step(lines.set(lf[7], pdx::Value::text(line.description)), "Tjld_description") ||
          !step(lines.post(), "tjld post"))
        return false;
    }
    if (++inGroup == kPrefillGroup) {
      if (!step(group->commit(), "commit a prefill group")) return false;
      group.reset();
      inGroup = 0;
    }
    return true;
  });
  if (!whole) return failed;
  if (group) POSTBENCH_ENGINE(group->commit(), "commit the last prefill group");
  return {};
}

// Answers nothing: every document of the benchmark is valid, so any message
// means the entry refused it. Remembers the first one.
class SilentPrompts final : public vd87::EntryPrompts {
 public:
  bool showMessage(int number, vd87::MessageStyle) override {
    if (first_ < 0) first_ = number;
    return false;  // No / OK: a question about waiting cancels the posting
  }
  void focus(vd87::Control, int) override {}
  int takeFirst() {
    const int n = first_;
    first_ = -1;
    return n;
  }

 private:
  int first_ = -1;
};

}  // namespace

Error makeEngineCompany(const std::string& folder, int suppliers, const PrefillPlan& prefill, pdx::Env* env,
                        CompanyPaths& out) {
  out.root = folder + "/data";
  out.company = out.root + "1";
  std::ostringstream log;
  admin::InitOptions init;
  init.dataRoot = out.root;
  init.sessions = 1;
  init.env = env;
  POSTBENCH_ENGINE(admin::initDataRoot(init, log), "make the data root");
  admin::CompanyOptions company;
  company.dataRoot = out.root;
  company.code = 1;
  company.name = "Quincaillerie Tremblay";
  company.today = pdx::Date{postingDate()};
  company.env = env;
  POSTBENCH_ENGINE(admin::createCompany(company, log), "make company 1");

  auto dir = pdx::Directory::open(out.company, env);
  if (!dir.ok()) return engineError(dir.status(), "open the company");
  {
    auto sup = (*dir)->openTable("sup");
    if (!sup.ok()) return engineError(sup.status(), "open sup");
    auto group = (*dir)->beginGroup();
    if (!group.ok()) return engineError(group.status(), "begin the suppliers' group");
    for (int s = 0; s < suppliers; ++s) {
      const admin::Row row{{"Sup_code", admin::text(supplierCode(s))},
                           {"Sup_name", admin::text(supplierName(s))},
                           {"Sup_city", admin::text("Trois-Rivières")},
                           {"Sup_prov", admin::text("QC")},
                           {"Sup_du_days", admin::integer(kSupplierTerms)},
                           {"Sup_currency", admin::integer(0)},
                           {"Sup_current_bal", admin::money(0)},
                           {"Sup_last_purch", admin::money(0)},
                           {"Sup_purch_mth", admin::money(0)},
                           {"Sup_purch_ytd", admin::money(0)}};
      POSTBENCH_ENGINE(admin::insertRow(**sup, row), "add supplier " + supplierCode(s));
    }
    POSTBENCH_ENGINE((*group)->commit(), "commit the suppliers");
  }
  return prefillJournal(**dir, prefill);
}

// ------------------------------------------------------------------ posting

struct EnginePoster::State {
  vd87::Tvd87_dm dm;
  std::unique_ptr<vd87::EntryDocument> document;
  SilentPrompts prompts;
  std::unique_ptr<vd87::EntryRules> rules;
  std::unique_ptr<vd87::PayablesPosting> posting;
  Clock::time_point committing;
};

EnginePoster::EnginePoster(std::unique_ptr<State> state) : state_(std::move(state)) {}
EnginePoster::~EnginePoster() = default;

Error EnginePoster::open(const CompanyPaths& paths, std::unique_ptr<EnginePoster>& out) {
  auto s = std::make_unique<State>();
  try {
    s->dm.setPaths(paths.company, paths.root);
    for (db::Table* t : s->dm.openOrder()) POSTBENCH_ENGINE(t->open(), "open " + t->tableName());
    POSTBENCH_ENGINE(s->dm.holdScratchRow(1), "hold the scratch row");
    s->document = std::make_unique<vd87::EntryDocument>(s->dm.virmem);
    s->rules = std::make_unique<vd87::EntryRules>(s->dm, *s->document, s->prompts);
    // The entry's "today" is the posting date, so due dates and periods are
    // the same on every run.
    const pdx::Date today{postingDate()};
    s->rules->clock = [today] { return pdx::Timestamp::from(today, pdx::Time{10 * 3600 * 1000}); };
    s->posting = std::make_unique<vd87::PayablesPosting>(*s->rules);
    s->posting->user = "BENCH";
    State* raw = s.get();
    s->posting->beforeCommit = [raw] { raw->committing = Clock::now(); };
    s->rules->start();
  } catch (const std::exception& e) {
    return std::string("engine: open the entry: ") + e.what();
  }
  if (s->rules->transactionPeriod != kPostingPeriod)
    return "engine: the entry's period is " + std::to_string(s->rules->transactionPeriod) + ", not " +
           std::to_string(kPostingPeriod);
  out.reset(new EnginePoster(std::move(s)));
  return {};
}

Error EnginePoster::keyDocument(const Document& doc) {
  vd87::EntryRules& rules = *state_->rules;
  vd87::EntryDocument& d = *state_->document;
  auto amount = [&](int n, bool debit, int64_t units) {
    rules.amountEnter(n, debit);
    if (debit) {
      d.setDebit(n, db::Money::fromUnits(units));
      rules.debitExit(n);
    } else {
      d.setCredit(n, db::Money::fromUnits(units));
      rules.creditExit(n);
    }
  };
  auto account = [&](int n, int64_t number) {
    rules.enterLine(n);
    d.setAccountText(n, std::to_string(number));
    return rules.accountExit(n);
  };
  d.supplierCode = doc.supplier;
  rules.supplierExit();
  if (d.supplierCode != doc.supplier) return "engine: supplier " + doc.supplier + " was not taken";
  d.invoiceNumber = doc.invoice;
  if (!rules.invoiceExit(false)) return "engine: invoice " + doc.invoice + " was refused";
  // A fresh entry proposes the A/P account on line 1 and purchases on line 2.
  if (d.account(1) != kPayableAccount || d.account(2) != kPurchasesAccount)
    return "engine: the fresh entry proposes accounts " + std::to_string(d.account(1)) + " and " +
           std::to_string(d.account(2));
  amount(1, false, doc.total());
  amount(2, true, doc.purchases);
  if (!account(3, kGstAccount) || !account(4, kQstAccount)) return "engine: a tax account was refused";
  amount(3, true, doc.gst);
  amount(4, true, doc.qst);
  if (d.totalDebit() != d.totalCredit()) return "engine: the running totals do not balance";
  return {};
}

Error EnginePoster::post(const Document& doc, PostingTimes& times) {
  State& s = *state_;
  try {
    const Clock::time_point start = Clock::now();
    if (Error e = keyDocument(doc); !e.empty()) return e;
    const Clock::time_point keyed = Clock::now();
    s.committing = Clock::time_point{};
    const vd87::PostResult result = s.posting->post();
    const Clock::time_point done = Clock::now();
    if (const int shown = s.prompts.takeFirst(); shown >= 0)
      return "engine: document " + doc.invoice + ": the entry showed message " + std::to_string(shown);
    if (result != vd87::PostResult::kPosted || s.committing == Clock::time_point{})
      return "engine: document " + doc.invoice + " was not posted";
    times.keying = secondsBetween(start, keyed);
    times.writing = secondsBetween(keyed, s.committing);
    times.commit = secondsBetween(s.committing, done);
  } catch (const std::exception& e) {
    return "engine: document " + doc.invoice + ": " + e.what();
  }
  return {};
}

// ------------------------------------------------------------------ the books

namespace {

int64_t unitsOf(const pdx::Result<pdx::Value>& v) {
  if (!v.ok() || v->kind() != pdx::Value::Kind::kNumber) return 0;
  return db::Money::fromDouble(v->asNumber()).value_or(db::Money()).units();
}

std::string textOf(const pdx::Result<pdx::Value>& v) {
  return v.ok() && v->kind() == pdx::Value::Kind::kText ? v->asText() : std::string();
}

// Calls `row` on every record of `name`, in table order.
template <typename F>
Error eachRow(pdx::Directory& dir, const char* name, std::initializer_list<const char*> fields, F&& row) {
  auto t = dir.openTable(name, pdx::Directory::Access::kReadOnly);
  if (!t.ok()) return engineError(t.status(), std::string("open ") + name);
  const Fields f(**t, fields);
  if (!f.missing().empty()) return std::string("engine: ") + name + " has no field " + f.missing();
  pdx::Status st = (*t)->first();
  for (; st.ok(); st = (*t)->next()) row(**t, f);
  if (!st.is(pdx::code::kEof)) return engineError(st, std::string("read ") + name);
  return {};
}

}  // namespace

Error readEngineBooks(const std::string& companyDir, Books& out) {
  out = Books();
  auto opened = pdx::Directory::open(companyDir, pdx::Env::unsynced());
  if (!opened.ok()) return engineError(opened.status(), "open " + companyDir);
  pdx::Directory& dir = **opened;
  Error e = eachRow(dir, "tjlh", {"Tjlh_tot_debit", "Tjlh_tot_credit"}, [&](pdx::Table& t, const Fields& f) {
    ++out.tjlhRows;
    out.tjlhDebit += unitsOf(t.get(f[0]));
    out.tjlhCredit += unitsOf(t.get(f[1]));
  });
  if (e.empty())
    e = eachRow(dir, "tjld", {"Tjld_debit", "Tjld_credit"}, [&](pdx::Table& t, const Fields& f) {
      ++out.tjldRows;
      out.tjldDebit += unitsOf(t.get(f[0]));
      out.tjldCredit += unitsOf(t.get(f[1]));
    });
  if (e.empty())
    e = eachRow(dir, "sup", {"Sup_code", "Sup_current_bal", "Sup_purch_ytd"}, [&](pdx::Table& t, const Fields& f) {
      const std::string code = textOf(t.get(f[0]));
      out.balance[code] += unitsOf(t.get(f[1]));
      out.purchasesYtd[code] += unitsOf(t.get(f[2]));
      out.openItems.emplace(code, 0);
    });
  if (e.empty())
    e = eachRow(dir, "cap", {"Cap_supplier", "Cap_amount", "Cap_type", "Cap_ref", "Cap_date"},
                [&](pdx::Table& t, const Fields& f) {
                  ++out.capRows;
                  out.openItems[textOf(t.get(f[0]))] += unitsOf(t.get(f[1]));
                  const auto date = t.get(f[4]);
                  const bool onDate =
                      date.ok() && date->kind() == pdx::Value::Kind::kDate && date->asDate().days == postingDate();
                  if (textOf(t.get(f[2])) != "1" || !textOf(t.get(f[3])).empty() || !onDate) ++out.oddOpenItems;
                });
  if (e.empty()) {
    auto t = dir.openTable("apori", pdx::Directory::Access::kReadOnly);
    if (!t.ok()) return engineError(t.status(), "open apori");
    std::vector<int> debits, credits;
    for (int n = 1; n <= 15; ++n) {
      debits.push_back((*t)->schema().fieldIndex("Debit" + std::to_string(n)));
      credits.push_back((*t)->schema().fieldIndex("Credit" + std::to_string(n)));
      if (debits.back() < 0 || credits.back() < 0) return "engine: apori lacks Debit/Credit" + std::to_string(n);
    }
    pdx::Status st = (*t)->first();
    for (; st.ok(); st = (*t)->next()) {
      ++out.aporiRows;
      for (int i : debits) out.aporiDebit += unitsOf((*t)->get(i));
      for (int i : credits) out.aporiCredit += unitsOf((*t)->get(i));
    }
    if (!st.is(pdx::code::kEof)) return engineError(st, "read apori");
  }
  return e;
}

}  // namespace postbench
