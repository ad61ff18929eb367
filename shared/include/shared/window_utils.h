// Window and status utilities shared by the modules (and, for the version
// text, the shell): the desktop's top-level windows, whether the quick-link
// tool is open, the three-panel status bar, version texts, the "Intl" switch,
// the regional settings and the currency symbols of amount display.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "shared/link_section.h"

namespace db {
class DataSet;
}
namespace report {
class Report;
}
namespace ui {
class StatusBar;
}

namespace shared {

// One top-level window as the enumeration found it.
struct TWindowObject {
  QString caption;
  uint32_t thread = 0;
  bool visible = false;
  bool enabled = false;
  bool iconic = false;
  QRect rect;
};

// A snapshot of the desktop's top-level windows, taken at creation.
class TWindowList {
 public:
  TWindowList();
  // Takes the snapshot again.
  void Refresh();
  int Count() const { return static_cast<int>(windows_.size()); }
  // Entry `index` (0-based, below Count()); an empty entry outside.
  TWindowObject GetWindow(int index) const;

 private:
  std::vector<TWindowObject> windows_;
};

// True when the first window captioned exactly "Quick Link" or "Lien Rapide"
// that is visible exists (hidden ones are passed over).
bool QuickLinkWindowOpen();

// With exactly three panels: panel 1 := its design text + company code + "-" +
// company name, panel 2 := its design text + user name, panel 3 := its design
// text + the module's version. The design texts are those the panels had at
// the first call, so calling again (another company) does not pile up.
void ShowContextInStatusBar(ui::StatusBar& bar, const SessionContext& context);

// The version of `file` with its first `parts` numbers ("2.1" for 2.1.0.37
// and 2 parts; 0 or more than 4 parts give all four); "" without a version.
QString GetFileVersionText(const QString& file, int parts);
// The version of the deliverable this code is linked into.
QString GetModuleVersionText();

// "Intl" of section "Settings" of the machine settings, default "N".
QString ReadIntlSetting();

// The regional settings of a module start: "DateFmt" (default
// "DD/MM/YYYY") becomes the short date format, "CurrSmbl" (default "$") the
// currency symbol, "CurrAlign" (default "L") the symbol's place: "L"/"l"
// before the amount (the negative format kept), anything else after it with
// negative amounts in parentheses.
void LoadRegionalSettings();
// Every date field of `dataSets` gets the edit mask derived from the short
// date format and that format as its display format.
void ApplyDateFormat(const std::vector<db::DataSet*>& dataSets);

// The currency-symbol table: slot 1 the machine symbol, slots 2 to 5 the
// company's four currency signs, slot 6 the alignment setting.
void LoadCurrencySymbols(const QString& sign1, const QString& sign2, const QString& sign3, const QString& sign4);
// Selects the display currency for amounts: -1 none, 0 the machine symbol,
// 1 to 4 a company currency.
void SelectCurrency(int index);
// Slot `index` (1 to 6) of the table.
QString CurrencySlot(int index);
// Empties the table (the module is being unloaded).
void ClearCurrencySymbols();

// The report side of a currency change: each mask that holds "$" loses it,
// each other mask that holds the symbol in force loses that; both get the
// new symbol (a blank for index 0, else slot `index`) at the end when the
// symbol goes after the amount, at the front otherwise. The new symbol stays
// the process symbol. Returns the masks changed in place.
void ApplyReportCurrency(std::vector<QString*> expressionMasks, int index);
// The same over the number masks of every masked control of `report` (its
// expressions and data-bound texts); date masks are left alone.
void ApplyReportCurrency(report::Report& report, int index);

}  // namespace shared
