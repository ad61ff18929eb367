#include "demo.h"

#include <iomanip>
#include <ostream>

#include "company.h"
#include "data/codes.h"
#include "data/table_def.h"
#include "data/user_security.h"

namespace admin {

namespace {

InitOptions initOptionsOf(const std::string& dataRoot, int sessions, const std::string& languagesDir, pdx::Env* env) {
  InitOptions init;
  init.dataRoot = dataRoot;
  init.sessions = sessions;
  init.languagesDir = languagesDir;
  init.env = env;
  return init;
}

Refusals refusalsFor(const InitOptions& init, std::initializer_list<int> companies) {
  Refusals reasons = initRefusals(init);
  for (int code : companies) {
    const std::string dir = data::companyDirectory(init.dataRoot, code);
    for (const data::TableDef* def : data::companyTables())
      if (tableFileExists(dir, def->name)) {
        reasons.occupied("the company folder " + dir + " already holds ledger tables (" + def->name + ")");
        break;
      }
  }
  return reasons;
}

std::string securityFor(const std::vector<int>& menus) {
  std::string bits = data::noSecurity();
  for (int menu : menus) data::allowSecurityMenu(bits, menu);
  return bits;
}

std::vector<std::pair<NewUser, std::string>> demoUsers() {
  auto user = [](const char* password, const char* code, const char* name, int language, int company, int detail,
                 std::string security) {
    NewUser u;
    u.password = password;
    u.code = code;
    u.name = name;
    u.language = language;
    u.company = company;
    u.detail = detail;
    u.security = std::move(security);
    return u;
  };
  using data::kEnglish;
  using data::kFrench;
  return {
      {user("SOLEIL", "MARIE", "Marie Tremblay", kFrench, 1, 2, data::fullSecurity()), "everything"},
      {user("HARBOUR", "JOHN", "John MacLeod", kEnglish, 2, 1, data::fullSecurity()), "everything"},
      {user("FACTURES", "LUC", "Luc Gagnon", kFrench, 1, 0, securityFor({data::kMenuPayables})),
       "accounts payable only"},
      {user("LEDGER", "PRIYA", "Priya Sharma", kEnglish, 2, 1,
            securityFor({data::kMenuGeneralLedger, data::kMenuReceivables})),
       "general ledger and accounts receivable"},
  };
}

// Some accounts keep their type in the other language, as books converted
// from another installation do.
pdx::Status storeSomeTypesInOtherLanguage(pdx::Directory& dir, int language, int every) {
  const int other = language == data::kFrench ? data::kEnglish : data::kFrench;
  PDX_ASSIGN_OR_RETURN(auto glm, openForWriting(dir, "glm"));
  PDX_ASSIGN_OR_RETURN(auto group, dir.beginGroup());
  int n = 0;
  for (pdx::Status st = glm->first(); st.ok() && glm->hasRecord(); st = glm->next()) {
    if (++n % every != 0) continue;
    PDX_ASSIGN_OR_RETURN(pdx::Value type, glm->get("Glm_type"));
    const auto kind = data::accountTypeOf(type.isNull() ? "" : type.asText());
    if (!kind) continue;
    PDX_RETURN_IF_ERROR(glm->edit());
    PDX_RETURN_IF_ERROR(glm->set("Glm_type", text(data::accountTypeWord(*kind, other))));
    PDX_RETURN_IF_ERROR(glm->post());
  }
  return group->commit();
}

// The control record's next document numbers follow the generated ones.
pdx::Status updateCounters(pdx::Directory& dir, const LedgerCounts& counts) {
  PDX_ASSIGN_OR_RETURN(auto ctrl, openForWriting(dir, "ctrl"));
  PDX_RETURN_IF_ERROR(ctrl->first());
  PDX_RETURN_IF_ERROR(ctrl->edit());
  PDX_RETURN_IF_ERROR(ctrl->set("Ctrl_ar_invoiceno", integer(counts.nextInvoice)));
  PDX_RETURN_IF_ERROR(ctrl->set("Ctrl_fa_invoice", integer(counts.nextInvoice)));
  PDX_RETURN_IF_ERROR(ctrl->set("Ctrl_ap_chqno1", integer(counts.nextCheque)));
  return ctrl->post();
}

pdx::Status fillCompany(const std::string& dataRoot, int code, const LedgerProfile& profile, int64_t batchRows,
                        pdx::Env* env, LedgerCounts& counts) {
  PDX_ASSIGN_OR_RETURN(auto dir, pdx::Directory::open(data::companyDirectory(dataRoot, code), env));
  {
    TableSink sink(dir, batchRows);
    PDX_RETURN_IF_ERROR(generateLedger(profile, sink, counts));
    PDX_RETURN_IF_ERROR(sink.finish());
  }
  return updateCounters(*dir, counts);
}

// The folders of a data root with the given companies, cleared of what an
// interrupted command left, once the options are known to be right.
pdx::Status clearInterrupted(const InitOptions& init, std::initializer_list<int> companies, const Refusals& early,
                             std::ostream& log) {
  if (!early.empty() && !early.occupied()) return early.status();
  std::vector<BuildFolder> folders = initFolders(init);
  for (int code : companies) folders.push_back(companyFolder(init.dataRoot, code));
  return clearInterruptedBuilds(folders, init.env, log);
}

const char* languageName(int language) {
  return language == data::kFrench ? "French" : language == data::kEnglish ? "English" : "machine's";
}

}  // namespace

Refusals demoRefusals(const DemoOptions& options) {
  Refusals reasons = refusalsFor(initOptionsOf(options.dataRoot, options.sessions, options.languagesDir, options.env), {1, 2});
  if (options.today.days <= 0) reasons.invalid("no current date");
  return reasons;
}

pdx::Status buildDemo(const DemoOptions& options, DemoSummary& summary, std::ostream& log) {
  UndoLog undo("tallimoor-admin demo");
  PDX_RETURN_IF_ERROR(buildDemo(options, summary, log, undo));
  return undo.keep();
}

pdx::Status buildDemo(const DemoOptions& options, DemoSummary& summary, std::ostream& log, UndoLog& undo) {
  const InitOptions init = initOptionsOf(options.dataRoot, options.sessions, options.languagesDir, options.env);
  PDX_RETURN_IF_ERROR(clearInterrupted(init, {1, 2}, demoRefusals(options), log));
  PDX_RETURN_IF_ERROR(demoRefusals(options).status());
  PDX_RETURN_IF_ERROR(initDataRoot(init, log, undo));

  CompanyOptions quebec;
  quebec.dataRoot = options.dataRoot;
  quebec.code = 1;
  quebec.name = "Ébénisterie Mistral inc.";
  quebec.language = data::kFrench;
  quebec.today = options.today;
  quebec.taxes = {5.0, 9.975, 0.0};
  quebec.address = {"4820, rue Molson", "", "Montréal", "QC", "Canada", "H1Y 3J8", "(514) 555-0147", "Marie Tremblay"};
  quebec.env = options.env;
  PDX_RETURN_IF_ERROR(createCompany(quebec, log, undo));

  CompanyOptions marine;
  marine.dataRoot = options.dataRoot;
  marine.code = 2;
  marine.name = "Harbourline Marine Supply Ltd.";
  marine.language = data::kEnglish;
  marine.today = options.today;
  marine.taxes = {0.0, 0.0, 15.0};  // harmonised sales tax
  marine.address = {"1875 Lower Water Street", "Suite 3", "Halifax", "NS", "Canada", "B3J 1S5", "(902) 555-0163",
                    "John MacLeod"};
  marine.password = "Quai#2";
  marine.env = options.env;
  PDX_RETURN_IF_ERROR(createCompany(marine, log, undo));

  {
    PDX_ASSIGN_OR_RETURN(auto root, pdx::Directory::open(options.dataRoot, options.env));
    PDX_ASSIGN_OR_RETURN(auto users, openForWriting(*root, "user"));
    PDX_ASSIGN_OR_RETURN(auto group, root->beginGroup());
    const NewUser& first = init.firstUser;
    summary.users.push_back({storedPassword(first.password), first.code, first.name, first.language, first.company, "everything"});
    for (const auto& [newUser, rights] : demoUsers()) {
      PDX_RETURN_IF_ERROR(insertRow(*users, userRow(newUser)));
      summary.users.push_back({storedPassword(newUser.password), newUser.code, newUser.name, newUser.language, newUser.company, rights});
    }
    PDX_RETURN_IF_ERROR(group->commit());
  }

  LedgerProfile q;
  q.language = data::kFrench;
  q.region = Region::kQuebec;
  q.taxes = quebec.taxes;
  q.today = options.today;
  q.seed = options.seed;
  q.suppliers = 36;
  q.clients = 60;
  q.frenchPercent = 75;
  q.employees = 10;
  q.trackerDatabases = true;
  DemoCompany first{1, quebec.name, "", {}};
  PDX_RETURN_IF_ERROR(fillCompany(options.dataRoot, 1, q, 1'000'000, options.env, first.counts));

  LedgerProfile m;
  m.language = data::kEnglish;
  m.region = Region::kNovaScotia;
  m.taxes = marine.taxes;
  m.harmonizedTax = true;
  m.today = options.today;
  m.seed = options.seed + 1;
  m.suppliers = 32;
  m.clients = 52;
  m.frenchPercent = 15;
  m.employees = 6;
  DemoCompany second{2, marine.name, marine.password, {}};
  PDX_RETURN_IF_ERROR(fillCompany(options.dataRoot, 2, m, 1'000'000, options.env, second.counts));

  for (const auto& [code, language, every] : {std::tuple{1, data::kFrench, 3}, std::tuple{2, data::kEnglish, 4}}) {
    PDX_ASSIGN_OR_RETURN(auto dir, pdx::Directory::open(data::companyDirectory(options.dataRoot, code), options.env));
    PDX_RETURN_IF_ERROR(storeSomeTypesInOtherLanguage(*dir, language, every));
  }
  summary.companies = {first, second};
  for (const auto& c : summary.companies)
    log << "company " << c.code << ": " << c.counts.suppliers << " suppliers, " << c.counts.clients << " clients, "
        << c.counts.openPayables << " + " << c.counts.openReceivables << " open items\n";
  return pdx::Status::Ok();
}

void printDemoSummary(const DemoSummary& summary, std::ostream& out) {
  out << "\nUsers (the password is also the login; passwords are upper case):\n";
  out << "  " << std::left << std::setw(10) << "password" << std::setw(8) << "user" << std::setw(17) << "name"
      << std::setw(10) << "language" << std::setw(9) << "company" << "may run\n";
  for (const DemoUser& u : summary.users)
    out << "  " << std::left << std::setw(10) << u.password << std::setw(8) << u.code << std::setw(17) << u.name
        << std::setw(10) << languageName(u.language) << std::setw(9) << u.company << u.rights << "\n";
  out << "\nCompanies:\n";
  for (const DemoCompany& c : summary.companies) {
    out << "  " << c.code << "  " << c.name;
    if (!c.password.empty()) out << "  (company password " << c.password << ", asked of users of other companies)";
    out << "\n";
  }
}

Refusals scaleRefusals(const ScaleOptions& options) {
  Refusals reasons = refusalsFor(initOptionsOf(options.dataRoot, options.sessions, options.languagesDir, options.env), {1});
  if (options.clients < 1 || options.suppliers < 1) reasons.invalid("at least one client and one supplier");
  if (options.clients > 9'999'999 || options.suppliers > 9'999'999) reasons.invalid("at most 9999999 parties");
  if (options.items < 0 || options.heavyItems < 0) reasons.invalid("the number of items cannot be negative");
  if (options.heavyItems > 1'000'000) reasons.invalid("at most 1000000 open items for one party");
  if (options.today.days <= 0) reasons.invalid("no current date");
  return reasons;
}

pdx::Status buildScale(const ScaleOptions& options, LedgerCounts& counts, std::ostream& log) {
  UndoLog undo("tallimoor-admin scale");
  PDX_RETURN_IF_ERROR(buildScale(options, counts, log, undo));
  return undo.keep();
}

pdx::Status buildScale(const ScaleOptions& options, LedgerCounts& counts, std::ostream& log, UndoLog& undo) {
  const InitOptions init = initOptionsOf(options.dataRoot, options.sessions, options.languagesDir, options.env);
  PDX_RETURN_IF_ERROR(clearInterrupted(init, {1}, scaleRefusals(options), log));
  PDX_RETURN_IF_ERROR(scaleRefusals(options).status());
  PDX_RETURN_IF_ERROR(initDataRoot(init, log, undo));
  CompanyOptions company;
  company.dataRoot = options.dataRoot;
  company.code = 1;
  company.name = "Benchmark Wholesale Ltd.";
  company.today = options.today;
  company.env = options.env;
  PDX_RETURN_IF_ERROR(createCompany(company, log, undo));

  LedgerProfile p;
  p.language = data::kEnglish;
  p.region = Region::kNovaScotia;
  p.taxes = {0.0, 0.0, 15.0};
  p.harmonizedTax = true;
  p.today = options.today;
  p.seed = options.seed;
  p.suppliers = options.suppliers;
  p.clients = options.clients;
  p.frenchPercent = 30;
  p.payablesItems = std::max<int64_t>(options.items, 1);
  p.receivablesItems = std::max<int64_t>(options.items, 1);
  p.numberedParties = true;
  p.heavyPartyItems = options.heavyItems;
  PDX_RETURN_IF_ERROR(fillCompany(options.dataRoot, 1, p, options.batchRows, options.env, counts));
  log << "company 1: " << counts.suppliers << " suppliers, " << counts.clients << " clients, " << counts.openPayables
      << " + " << counts.openReceivables << " open items";
  if (options.heavyItems > 0) log << " (" << options.heavyItems << " each for C00000001 and S00000001)";
  log << "\n";
  return pdx::Status::Ok();
}

}  // namespace admin
