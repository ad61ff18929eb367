#include "data_root.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "data/table_def.h"
#include "data/user_security.h"
#include "translation_tables.h"

namespace admin {

namespace fs = std::filesystem;

namespace {

size_t characters(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

const std::vector<TranslationSource>& sourcesOf(const InitOptions& options) {
  return options.translations.empty() ? builtInTranslationSources() : options.translations;
}

}  // namespace

NewUser InitOptions::defaultFirstUser() {
  NewUser user;
  user.password = "ADMIN";
  user.code = "ADMIN";
  user.name = "Administrator";
  user.language = 0;
  user.company = 1;
  user.detail = 2;
  user.security = data::fullSecurity();
  return user;
}

std::string defaultLanguagesDir(const std::string& dataRoot) {
  std::string root = dataRoot;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const fs::path parent = fs::path(root).parent_path();
  return (parent.empty() ? fs::path("languages") : parent / "languages").string();
}

std::vector<BuildFolder> initFolders(const InitOptions& options) {
  BuildFolder root{options.dataRoot, {}};
  for (const data::TableDef* def : data::dataRootTables()) root.tables.push_back(def->name);
  BuildFolder languages{options.languagesDir.empty() ? defaultLanguagesDir(options.dataRoot) : options.languagesDir, {}};
  if (auto tables = parseTranslationSources(sourcesOf(options)); tables.ok())
    for (const auto& t : *tables) languages.tables.push_back(t.name);
  return {root, languages};
}

Refusals initRefusals(const InitOptions& options) {
  Refusals reasons;
  if (options.dataRoot.empty()) reasons.invalid("no data root given");
  if (options.sessions < 1 || options.sessions > kMaxSessions)
    reasons.invalid("the number of sessions must lie between 1 and " + std::to_string(kMaxSessions));
  const NewUser& u = options.firstUser;
  if (u.password.empty() || characters(u.password) > 10) reasons.invalid("the password has 1 to 10 characters");
  if (u.code.empty() || characters(u.code) > 10) reasons.invalid("the user code has 1 to 10 characters");
  if (characters(u.name) > 30) reasons.invalid("the user name has at most 30 characters");
  reasons.typable("the password", u.password);
  reasons.typable("the user code", u.code);
  reasons.typable("the user name", u.name);
  if (!reasons.empty()) return reasons;

  std::error_code ec;
  if (fs::exists(options.dataRoot, ec) && !fs::is_directory(options.dataRoot, ec))
    reasons.invalid(options.dataRoot + " is a file, not a folder");
  for (const data::TableDef* def : data::dataRootTables())
    if (tableFileExists(options.dataRoot, def->name))
      reasons.occupied("the data root " + options.dataRoot + " already holds the table " + def->name);

  auto tables = parseTranslationSources(sourcesOf(options));
  if (!tables.ok()) {
    reasons.invalid("translation texts: " + tables.status().message());
  } else {
    const std::string languages =
        options.languagesDir.empty() ? defaultLanguagesDir(options.dataRoot) : options.languagesDir;
    for (const auto& name : existingTranslationTables(languages, *tables))
      reasons.occupied("the languages folder " + languages + " already holds the table " + name);
  }
  return reasons;
}

pdx::Status initDataRoot(const InitOptions& options, std::ostream& log) {
  UndoLog undo("tallimoor-admin init");
  PDX_RETURN_IF_ERROR(initDataRoot(options, log, undo));
  return undo.keep();
}

pdx::Status initDataRoot(const InitOptions& options, std::ostream& log, UndoLog& undo) {
  if (Refusals early = initRefusals(options); !early.empty() && !early.occupied()) return early.status();
  PDX_RETURN_IF_ERROR(clearInterruptedBuilds(initFolders(options), options.env, log));
  PDX_RETURN_IF_ERROR(initRefusals(options).status());
  PDX_ASSIGN_OR_RETURN(auto translations, parseTranslationSources(sourcesOf(options)));

  PDX_RETURN_IF_ERROR(undo.beginFolder(options.dataRoot, options.env));
  PDX_ASSIGN_OR_RETURN(auto root, pdx::Directory::open(options.dataRoot, options.env));
  for (const data::TableDef* def : data::dataRootTables()) {
    PDX_RETURN_IF_ERROR(data::createTable(*root, *def));
    undo.tableCreated(root, def->name);
  }
  {
    PDX_ASSIGN_OR_RETURN(auto session, openForWriting(*root, "session"));
    PDX_ASSIGN_OR_RETURN(auto virmem, openForWriting(*root, "virmem"));
    PDX_ASSIGN_OR_RETURN(auto languages, openForWriting(*root, "Languages"));
    PDX_ASSIGN_OR_RETURN(auto arterms, openForWriting(*root, "arterms"));
    PDX_ASSIGN_OR_RETURN(auto apps, openForWriting(*root, "apps"));
    PDX_ASSIGN_OR_RETURN(auto user, openForWriting(*root, "user"));
    PDX_ASSIGN_OR_RETURN(auto group, root->beginGroup());
    for (const Row& r : sessionRows(options.sessions)) PDX_RETURN_IF_ERROR(insertRow(*session, r));
    for (const Row& r : virmemRows(options.sessions)) PDX_RETURN_IF_ERROR(insertRow(*virmem, r));
    for (const Row& r : languageRows()) PDX_RETURN_IF_ERROR(insertRow(*languages, r));
    for (const Row& r : paymentTermRows()) PDX_RETURN_IF_ERROR(insertRow(*arterms, r));
    PDX_RETURN_IF_ERROR(insertRow(*apps, defaultCatalogueRow()));
    PDX_RETURN_IF_ERROR(insertRow(*user, userRow(options.firstUser)));
    PDX_RETURN_IF_ERROR(group->commit());
  }
  log << "data root " << options.dataRoot << ": " << data::dataRootTables().size() << " tables, "
      << options.sessions << " session slots\n";

  const std::string languagesDir =
      options.languagesDir.empty() ? defaultLanguagesDir(options.dataRoot) : options.languagesDir;
  PDX_RETURN_IF_ERROR(undo.beginFolder(languagesDir, options.env));
  PDX_ASSIGN_OR_RETURN(auto languages, pdx::Directory::open(languagesDir, options.env));
  PDX_RETURN_IF_ERROR(writeTranslationTables(languages, translations, false, undo));
  log << "languages " << languagesDir << ": " << translations.size() << " translation tables\n";
  return pdx::Status::Ok();
}

}  // namespace admin
