// Layouts of the tables of the data root (the shell's system tables and the
// shared `arterms` and `virmem`) and of the translation tables. Fields are in
// table order; the comment above each layout says which key it has and why.
#include "data/table_def.h"
#include "layout_builder.h"

namespace data::tables {

using detail::LayoutBuilder;
using F = pdx::FieldType;

// Payment terms, shared by all companies. Key Arterms_code, the code an
// invoice's Fahdr_terms holds.
const TableDef& arterms() {
  static const TableDef def = LayoutBuilder("arterms", Location::kDataRoot)
      .longInt("Arterms_code")
      .alpha("Arterms_desc", 40)
      .longInt("Arterms_days")
      .key(1)
      .indexes({"Arterms_code"})
      .build();
  return def;
}

// Scratch row of each session slot, shared by all companies. Key Session_id,
// by which a module finds its slot's row.
const TableDef& virmem() {
  static const TableDef def = LayoutBuilder("virmem", Location::kDataRoot)
      .longInt("Session_id")
      .logical("Session_lock")
      .run("Curr_", 1, 24, F::kMoney)
      .key(1)
      .indexes({"Session_id"})
      .build();
  return def;
}

// Companies. Key Comp_Code, the company number.
const TableDef& comp() {
  static const TableDef def = LayoutBuilder("comp", Location::kDataRoot)
      .longInt("Comp_Code")
      .alpha("Comp_Name", 60)
      .alpha("Comp_Adr1", 40)
      .alpha("Comp_adr2", 40)
      .alpha("Comp_city", 40)
      .alpha("Comp_Prov", 40)
      .alpha("Comp_Country", 40)
      .alpha("Comp_Postal_code", 30)
      .alpha("Comp_telephone", 30)
      .alpha("Comp_Contact", 40)
      .alpha("Comp_Passwd", 10)
      .longInt("Comp_Ret_Earn_accnt")
      .longInt("Comp_profit_line")
      .key(1)
      .indexes({"Comp_Code"})
      .build();
  return def;
}

// Session slots. Key Session_id, so that the shell walks the slots in
// number order.
const TableDef& session() {
  static const TableDef def = LayoutBuilder("session", Location::kDataRoot)
      .longInt("Session_id")
      .logical("Session_lock")
      .key(1)
      .indexes({"Session_id"})
      .build();
  return def;
}

// Application catalogue. Unkeyed: the Tools menu lists the rows in table
// order, which is the order they were added in.
const TableDef& apps() {
  static const TableDef def = LayoutBuilder("apps", Location::kDataRoot)
      .alpha("Application_name", 60)
      .alpha("Application_name_fr", 60)
      .alpha("Application_pgm", 60)
      .alpha("Application_about", 200)
      .alpha("Application_about_fr", 200)
      .alpha("Application_security", 60)
      .logical("Application_type")
      .alpha("Application_directory", 240)
      .build();
  return def;
}

// Users. Key User_password: a login is an exact-key search of the typed
// password, which makes passwords unique.
const TableDef& user() {
  static const TableDef def = LayoutBuilder("user", Location::kDataRoot)
      .alpha("User_password", 10)
      .alpha("User_code", 10)
      .alpha("User_name", 30)
      .shortInt("User_detail")
      .shortInt("User_language")
      .shortInt("User_company")
      .alpha("User_printer", 128)
      .bytes("User_security", 200)
      .key(1)
      .indexes({"User_password"})
      .build();
  return def;
}

// Saved desktop items. The rows of a user hang on Desktop_user and a user has
// many, so the key ends with the autoincrement Desktop_index.
const TableDef& desktop() {
  static const TableDef def = LayoutBuilder("Desktop", Location::kDataRoot)
      .alpha("Desktop_user", 10)
      .autoInc("Desktop_index")
      .longInt("Desktop_ComponentIndex")
      .longInt("Desktop_Component_type")
      .blob("Desktop_Component", 240)
      .key(2)
      .indexes({"Desktop_user"})
      .build();
  return def;
}

// Languages offered. Key LangKey, the language number.
const TableDef& languages() {
  static const TableDef def = LayoutBuilder("Languages", Location::kDataRoot)
      .longInt("LangKey")
      .alpha("LangCode", 3)
      .alpha("LangName", 20)
      .key(1)
      .indexes({"LangKey"})
      .build();
  return def;
}

// Translation tables, one per deliverable and language (MainMenuen,
// vd87fr, ...). Key FormName;ControlName: one row per form or component.
const TableDef& formLangs() {
  static const TableDef def = LayoutBuilder("FormLangs", Location::kLanguages)
      .alpha("FormName", 20)
      .alpha("ControlName", 35)
      .alpha("Caption", 55)
      .memo("Lines", 10)
      .alpha("Hint", 25)
      .logical("IsForm")
      .logical("IsMemo")
      .logical("IsDBGrid")
      .logical("IsRadioGroup")
      .logical("IsCombobox")
      .logical("IsCheckList")
      .key(2)
      .indexes({"FormName;ControlName"})
      .build();
  return def;
}

}  // namespace data::tables
