// The layouts of every table the suite shares: the ledger tables of a company
// directory, the system tables of the data root, the per-session work tables
// and the translation tables.
//
// This is the one place a layout is written down. Code that creates or opens
// a table takes its fields, key and index field lists from here and never
// repeats them.
//
// Keys. A Paradox primary key is the first keyFieldCount fields of a table and
// is unique. Every search, range and master/detail link the windows make is on
// a leading part of the primary key (an "index field list"), so that a single
// index serves them all. Where the rows the suite writes could share the
// values of the fields a window searches on, the next autoincrement field of
// the layout is appended to the key; searches on the leading fields work as
// before. The key chosen for each table, and why, is written next to its
// layout in ledger_tables.cpp and root_tables.cpp.
//
// Threads: the definitions are built once, on first use, and are immutable
// afterwards; any thread may read them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"
#include "pdx/table.h"
#include "pdx/value.h"

namespace data {

// Where a table lies.
enum class Location {
  kDataRoot,     // the data root, shared by all companies
  kCompany,      // each company directory (data root + company number)
  kSessionWork,  // company directory, one private copy per session slot ("Cartmp7")
  kLanguages,    // the languages folder, one table per deliverable and language
};

struct TableDef {
  std::string name;  // as the suite spells it, without ".DB"
  Location location = Location::kCompany;
  std::vector<pdx::FieldDef> fields;  // in table order
  int keyFieldCount = 0;              // leading fields forming the primary key; 0 = unkeyed
  // The field lists ("Reference;Client;Date") by which the windows search,
  // range and link this table. Each is a leading part of the primary key.
  std::vector<std::string> indexFieldLists;

  // Index of a field (case-insensitive), or -1.
  int fieldIndex(std::string_view fieldName) const;
  const pdx::FieldDef& field(std::string_view fieldName) const;  // the field must exist
  std::vector<std::string> keyFieldNames() const;
  // Size of a record in bytes.
  int recordSize() const;
};

// Splits "A;B;C" into its names (blanks around each name dropped).
std::vector<std::string> splitFieldList(std::string_view list);

namespace tables {
// Ledger tables of a company directory.
const TableDef& cli();
const TableDef& sup();
const TableDef& car();
const TableDef& carh();
const TableDef& cap();
const TableDef& caph();
const TableDef& arori();
const TableDef& apori();
const TableDef& crorihdr();
const TableDef& croridet();
const TableDef& cdorihdr();
const TableDef& cdoridet();
const TableDef& glm();
const TableDef& gla();
const TableDef& tjlh();
const TableDef& tjld();
const TableDef& ctrl();
const TableDef& periods();
const TableDef& slsm();
const TableDef& ivprod();
const TableDef& fahdr();
const TableDef& fadet();
const TableDef& fahdra();
const TableDef& fadeta();
const TableDef& fa1frm();
const TableDef& fa1frm1();
const TableDef& fa1frm2();
const TableDef& emp();
const TableDef& trkdb();
// Per-session work tables (created under sessionTableName()).
const TableDef& cartmp();
const TableDef& captmp();
// Tables of the data root.
const TableDef& arterms();
const TableDef& virmem();
const TableDef& comp();
const TableDef& session();
const TableDef& apps();
const TableDef& user();
const TableDef& desktop();
const TableDef& languages();
// The layout every translation table has (its name is per deliverable and
// language: translationTableName()).
const TableDef& formLangs();
}  // namespace tables

// Every definition, in a fixed order: company tables, session work tables,
// data-root tables, the translation layout.
const std::vector<const TableDef*>& allTables();
// The tables a company directory holds (the ledger tables and `trkdb`).
std::vector<const TableDef*> companyTables();
// The tables of the data root (the shell's system tables, `arterms`, `virmem`).
std::vector<const TableDef*> dataRootTables();
// `cartmp` and `captmp`.
std::vector<const TableDef*> sessionWorkTables();

// The definition called `name` (case-insensitive, ".db" allowed), or nullptr.
// The translation layout is found as "FormLangs"; per-session names such as
// "Cartmp7" are not found here.
const TableDef* findTable(std::string_view name);

// Name of a session's private copy of a work table: "Cartmp" / "Captmp"
// followed by the slot number in decimal.
std::string sessionTableName(const TableDef& workTable, int sessionId);

// Name of a translation table: the deliverable ("MainMenu", "vd87") followed by
// the first two characters of the language code ("en", "fr").
std::string translationTableName(std::string_view deliverable, std::string_view langCode);

// The smallest block size that holds a record of the table (4096 at least).
int blockSizeFor(const TableDef& def);

// Creates the table in `dir` under its own name or `nameOverride`, with the
// block size it needs. Fails as Directory::createTable does (kTableExists when
// a table of that name is there).
pdx::Status createTable(pdx::Directory& dir, const TableDef& def, std::string_view nameOverride = {});

// Compares a table's schema with a definition: field names (case-insensitive),
// types, sizes and key field count. kInvalidValue naming the first difference.
pdx::Status verifySchema(const pdx::Schema& schema, const TableDef& def);

}  // namespace data
