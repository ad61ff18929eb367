#include "company.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "data/codes.h"
#include "data/table_def.h"

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

}  // namespace

Refusals companyRefusals(const CompanyOptions& options) {
  Refusals reasons;
  if (options.code < 1) reasons.invalid("the company number must be 1 or more");
  if (options.name.empty() || characters(options.name) > 60) reasons.invalid("the company name has 1 to 60 characters");
  if (options.language != data::kEnglish && options.language != data::kFrench)
    reasons.invalid("the language is en or fr");
  if (characters(options.password) > 10) reasons.invalid("the company password has at most 10 characters");
  if (options.today.days <= 0) reasons.invalid("no current date");
  if (!reasons.empty()) return reasons;

  if (!tableFileExists(options.dataRoot, "comp")) {
    reasons.invalid("no data root at " + options.dataRoot + " (run init first)");
    return reasons;
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
  UndoLog undo;
  PDX_RETURN_IF_ERROR(createCompany(options, log, undo));
  undo.keep();
  return pdx::Status::Ok();
}

pdx::Status createCompany(const CompanyOptions& options, std::ostream& log, UndoLog& undo) {
  PDX_RETURN_IF_ERROR(companyRefusals(options).status());

  const std::string dirPath = data::companyDirectory(options.dataRoot, options.code);
  PDX_RETURN_IF_ERROR(undo.makeDirectories(dirPath));
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
