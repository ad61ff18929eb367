#include "company.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "data/codes.h"
#include "data/table_def.h"
#include "pdx/unfinished.h"

namespace admin {

namespace {

size_t characters(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// The name of the company already numbered `code`, if there is one.
pdx::Result<std::optional<std::string>> existingCompany(const CompanyOptions& options) {
  PDX_ASSIGN_OR_RETURN(auto root, pdx::Directory::open(options.dataRoot, options.env));
  PDX_ASSIGN_OR_RETURN(auto comp, root->openTable("comp", pdx::Directory::Access::kReadOnly));
  pdx::Status st = comp->findKey({pdx::Value::integer(options.code)});
  if (st.is(pdx::code::kRecordNotFound)) return std::optional<std::string>();
  PDX_RETURN_IF_ERROR(st);
  PDX_ASSIGN_OR_RETURN(pdx::Value name, comp->get("Comp_Name"));
  return std::optional<std::string>(name.isNull() ? std::string() : name.asText());
}

// A company folder an interrupted create-company left marked unfinished. The
// company's row in `comp` is the command's last step: with the row there (and
// the data root whole) the company is whole and only its marker is left.
pdx::Status clearInterruptedCompany(const CompanyOptions& options, std::ostream& log) {
  const BuildFolder folder = companyFolder(options.dataRoot, options.code);
  PDX_ASSIGN_OR_RETURN(auto build, pdx::findUnfinishedBuild(folder.path, options.env));
  if (!build || build->running) return clearInterruptedBuilds({folder}, options.env, log);
  PDX_ASSIGN_OR_RETURN(auto rootBuild, pdx::findUnfinishedBuild(options.dataRoot, options.env));
  auto listed = existingCompany(options);
  if (!rootBuild && listed.ok() && listed->has_value()) {
    PDX_RETURN_IF_ERROR(pdx::removeUnfinishedMarker(folder.path, options.env));
    log << folder.path << ": " << build->what << " had finished this company when it was interrupted\n";
    return pdx::Status::Ok();
  }
  return clearInterruptedBuilds({folder}, options.env, log);
}

}  // namespace

BuildFolder companyFolder(const std::string& dataRoot, int code) {
  BuildFolder folder{data::companyDirectory(dataRoot, code), {}};
  for (const data::TableDef* def : data::companyTables()) folder.tables.push_back(def->name);
  return folder;
}

Refusals companyRefusals(const CompanyOptions& options, bool dataRootBuilt) {
  Refusals reasons;
  if (options.code < 1) reasons.invalid("the company number must be 1 or more");
  if (options.name.empty() || characters(options.name) > 60) reasons.invalid("the company name has 1 to 60 characters");
  if (options.language != data::kEnglish && options.language != data::kFrench)
    reasons.invalid("the language is en or fr");
  if (characters(options.password) > 10) reasons.invalid("the company password has at most 10 characters");
  reasons.typable("the company name", options.name);
  reasons.typable("the company password", options.password);
  const CompanyAddress& a = options.address;
  for (const std::string* part : {&a.address1, &a.address2, &a.city, &a.province, &a.country, &a.postalCode,
                                  &a.telephone, &a.contact})
    reasons.typable("the company's address", *part);
  if (options.today.days <= 0) reasons.invalid("no current date");
  if (!reasons.empty()) return reasons;

  if (!tableFileExists(options.dataRoot, "comp")) {
    reasons.invalid("no data root at " + options.dataRoot + " (run init first)");
    return reasons;
  }
  if (!dataRootBuilt) {
    if (std::string why = incompleteFolder(options.dataRoot, "the data root", options.env); !why.empty()) {
      reasons.invalid(why);
      return reasons;
    }
  }
  auto existing = existingCompany(options);
  if (!existing.ok())
    reasons.invalid("cannot read the companies of " + options.dataRoot + ": " + existing.status().message());
  else if (existing->has_value())
    reasons.occupied("company " + std::to_string(options.code) + " already exists (" + **existing + ")");

  const std::string dir = data::companyDirectory(options.dataRoot, options.code);
  for (const data::TableDef* def : data::companyTables())
    if (tableFileExists(dir, def->name)) {
      reasons.occupied("the company folder " + dir + " already holds ledger tables (" + def->name + ")");
      break;
    }
  return reasons;
}

pdx::Status createCompany(const CompanyOptions& options, std::ostream& log) {
  UndoLog undo("tallimoor-admin create-company");
  PDX_RETURN_IF_ERROR(createCompany(options, log, undo));
  return undo.keep();
}

pdx::Status createCompany(const CompanyOptions& options, std::ostream& log, UndoLog& undo) {
  const bool dataRootBuilt = undo.building(options.dataRoot);
  if (Refusals early = companyRefusals(options, dataRootBuilt); !early.empty() && !early.occupied()) return early.status();
  PDX_RETURN_IF_ERROR(clearInterruptedCompany(options, log));
  PDX_RETURN_IF_ERROR(companyRefusals(options, dataRootBuilt).status());

  const std::string dirPath = data::companyDirectory(options.dataRoot, options.code);
  PDX_RETURN_IF_ERROR(undo.beginFolder(dirPath, options.env));
  PDX_ASSIGN_OR_RETURN(auto dir, pdx::Directory::open(dirPath, options.env));
  for (const data::TableDef* def : data::companyTables()) {
    PDX_RETURN_IF_ERROR(data::createTable(*dir, *def));
    undo.tableCreated(dir, def->name);
  }
  {
    PDX_ASSIGN_OR_RETURN(auto ctrl, openForWriting(*dir, "ctrl"));
    PDX_ASSIGN_OR_RETURN(auto periods, openForWriting(*dir, "periods"));
    PDX_ASSIGN_OR_RETURN(auto glm, openForWriting(*dir, "glm"));
    PDX_ASSIGN_OR_RETURN(auto group, dir->beginGroup());
    PDX_RETURN_IF_ERROR(insertRow(*ctrl, controlRow({options.language, options.today, options.taxes})));
    for (const Row& r : periodRows(options.language)) PDX_RETURN_IF_ERROR(insertRow(*periods, r));
    for (const Row& r : chartRows(options.language)) PDX_RETURN_IF_ERROR(insertRow(*glm, r));
    PDX_RETURN_IF_ERROR(group->commit());
  }
  {
    PDX_ASSIGN_OR_RETURN(auto root, pdx::Directory::open(options.dataRoot, options.env));
    PDX_ASSIGN_OR_RETURN(auto comp, openForWriting(*root, "comp"));
    const CompanyAddress& a = options.address;
    Row row{{"Comp_Code", integer(options.code)}, {"Comp_Name", text(options.name)}};
    const std::pair<const char*, const std::string*> fields[] = {
        {"Comp_Adr1", &a.address1},        {"Comp_adr2", &a.address2},       {"Comp_city", &a.city},
        {"Comp_Prov", &a.province},        {"Comp_Country", &a.country},     {"Comp_Postal_code", &a.postalCode},
        {"Comp_telephone", &a.telephone},  {"Comp_Contact", &a.contact},     {"Comp_Passwd", &options.password}};
    for (const auto& [name, value] : fields)
      if (!value->empty()) row.emplace_back(name, text(*value));
    row.emplace_back("Comp_Ret_Earn_accnt", integer(3900));
    row.emplace_back("Comp_profit_line", integer(0));
    PDX_RETURN_IF_ERROR(insertRow(*comp, row));
  }
  log << "company " << options.code << " (" << options.name << "): " << dirPath << ", "
      << data::companyTables().size() << " tables\n";
  return pdx::Status::Ok();
}

}  // namespace admin
