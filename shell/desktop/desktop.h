// The desktop of the main window and its persistence: the quick lists, the
// shortcuts, the wallpaper, saved per user in the `Desktop` table.
//
// One row of `Desktop` per item: the wallpaper, the list panels from the
// lowest to the topmost, each followed by its grid or the note, then the
// shortcuts in the order they were made (so both stackings come back):
//
//   Desktop_Component_type  item               Desktop_ComponentIndex
//   0 (kWallpaper)          Wallpaper1         its place in the component list
//   1 (kShortcut)           each shortcut      its place in the component list
//   2 (kPanel)              each list panel    its slot (0 clients ... 4 things to do)
//   3 (kGrid)               each list grid     its slot (0 clients ... 3 employees)
//   4 (kNote)               RichEdit1          its place in the component list
//
// Desktop_Component holds the item's property stream (ui/component_stream.h);
// Desktop_user is the user's User_code; Desktop_index is the table's own.
//
// Loading takes every row of the user and checks them all before anything
// changes: a row that cannot be read, or that names an item the desktop does
// not have as it says, refuses the whole saved desktop with a message, and the
// standard desktop stays on screen; the rows stay in the table until the user
// changes the desktop and it is saved. Rows of a kind or slot it does not know
// are skipped.
//
// Saving replaces the user's rows in one write group: the old rows stay until
// every new row is written, so a failure part-way keeps the desktop saved
// before (reported with a message). Other users' rows are never touched.
#pragma once

#include <QByteArray>
#include <memory>
#include <vector>

#include "desktop_part.h"
#include "pdx/status.h"

namespace shell {

class QuickLists;
class Shortcuts;
class TPropertiesDlg;

enum class DesktopKind { kWallpaper = 0, kShortcut = 1, kPanel = 2, kGrid = 3, kNote = 4 };

class TDesktop : public DesktopPart {
 public:
  explicit TDesktop(TLogoAppForm& window);
  ~TDesktop() override;

  void Set_Desktop() override;
  void Save_Desktop() override;
  std::vector<ui::ComponentOwner*> dialogs() override;

  QuickLists& lists() { return *lists_; }
  Shortcuts& shortcuts() { return *shortcuts_; }
  TPropertiesDlg* PropertiesDlg;

  // One saved item.
  struct Row {
    int kind = 0;
    int index = 0;
    QByteArray stream;
  };
  // The items of the desktop shown, in the order they are saved.
  std::vector<Row> rows();

 private:
  pdx::Result<std::vector<Row>> readRows(const QString& user);
  pdx::Status writeRows(const QString& user, const std::vector<Row>& rows);
  void report(int line, const pdx::Status& status);

  TLogoAppForm& window_;
  std::unique_ptr<QuickLists> lists_;
  std::unique_ptr<Shortcuts> shortcuts_;
};

// The factory the program gives its main window.
std::unique_ptr<DesktopPart> makeDesktop(TLogoAppForm& window);

}  // namespace shell
