// The desktop's quick lists: clients, suppliers, accounts and employees of
// the open company, each a read-only grid in a floating panel, and the
// "Things to do" note.
//
// Slots, in the order the panels are made (and saved):
//
//   slot  panel           content    table  needs the option   Insert launches
//   0     ClientList      DBGrid1    cli    kq61 (inquiry)     kq15S (maintenance of clients)
//   1     SupplierList    DBGrid2    sup    vd52 (inquiry)     vd14S (maintenance of suppliers)
//   2     AccountsList    DBGrid3    glm    qg37 (display)     qg12S (maintenance of accounts)
//   3     EmployeeList    DBGrid4    emp    xw26 (display)     xw403S (maintenance of employees)
//   4     ThingsToDoList  RichEdit1  none   none               nothing
//
// A list's table (company database "menudata", primary-key order) is open
// exactly while its panel is open. A list whose option the user may not run
// (the shortcut dialog's code list) neither opens nor closes. Every change the
// user makes to a panel marks the desktop changed; the Insert key and the
// account-type column do not.
#pragma once

#include <QObject>
#include <array>

#include "db/data_source.h"
#include "db/table.h"
#include "quick_list_panel.h"
#include "ui/data_grid.h"
#include "ui/menu.h"

namespace shell {

class TLogoAppForm;

class QuickLists : public QObject {
 public:
  static constexpr int kLists = 4;   // slots with a table
  static constexpr int kPanels = 5;  // the note's panel too
  static constexpr int kThingsToDo = 4;

  explicit QuickLists(TLogoAppForm& window);
  ~QuickLists() override;

  QuickListPanel* panel(int slot) const { return panels_[size_t(slot)]; }
  ui::DataGrid* grid(int slot) const { return grids_[size_t(slot)]; }
  db::Table& table(int slot) { return tables_[size_t(slot)]; }
  ui::NoteEditor* RichEdit1;
  ui::PopupMenu* ThingsToDoPopup;

  // The slot of a panel, grid or editor by component name, or -1.
  static int panelSlot(const QString& name);
  static int gridSlot(const QString& name);
  // The slot a quick-list shortcut toggles ("ClientBtn" ... "ToDoListBtn"), or -1.
  static int shortcutSlot(const QString& name);
  // The option the user must be allowed to run for list `slot` ("" for the note).
  static QString requiredCode(int slot);

  // Whether the user may open and close list `slot`.
  bool allowed(int slot) const;

  // The toggles: ClientBtnDblClick, SupplierBtnDblClick, AccountsBtnDblClick,
  // EmployeeBtnDblClick and ToDoListBtnDblClick are toggle(0) to toggle(4).
  void toggle(int slot);
  // Opens list `slot` as a toggle or a saved desktop does: its table, then
  // the panel, laid out. False, reported, when the table cannot be opened:
  // the panel then stays closed.
  bool openList(int slot);
  // Closes it: Tag 0, hidden; its table is closed when `closeTable`.
  void closeList(int slot, bool closeTable);

  // The size buttons (ClientReduceClick ... TtdEnlargeClick): width by 1.15,
  // height by 1.25.
  void reduceClick(int slot);
  void enlargeClick(int slot);
  // The note's pop-up "Enlarge" and "Reduce": width and height by 1.15, on
  // the panel the pop-up was opened on.
  void Enlarge2Click();
  void Reduce2Click();
  // The note's pop-up "Print list": the note in a print preview.
  void PrintList1Click();

  // A key in a grid: Insert launches the list's maintenance option and
  // re-reads the list when it comes back; other keys do nothing here.
  void DBGrid1KeyDown(int slot, QKeyEvent* event);
  // glm_type_desc of the accounts list, in the display language.
  void Gl_TableCalcFields(db::DataSet& glm);

 private:
  void makeList(int slot);
  void changed();
  void focusChanged(QWidget* from, QWidget* to);
  void reopenAfterDisconnect(int slot);

  TLogoAppForm& window_;
  std::array<QuickListPanel*, kPanels> panels_{};
  std::array<ui::DataGrid*, kLists> grids_{};
  std::array<db::Table, kLists> tables_;
  std::array<db::DataSource, kLists> sources_;
  std::array<bool, kLists> closing_{};  // the list closes its own table
};

}  // namespace shell
