#include "shared/window_utils.h"

#include <QVariant>
#include <array>

#include "db/data_set.h"
#include "db/formats.h"
#include "os/file_version.h"
#include "os/services.h"
#include "report/report.h"
#include "ui/controls.h"

namespace shared {

// ---------------------------------------------------------------- windows

TWindowList::TWindowList() { Refresh(); }

void TWindowList::Refresh() {
  windows_.clear();
  for (const os::WindowInfo& w : os::Services::windows().topLevelWindows()) {
    TWindowObject o;
    o.caption = w.caption.left(255);
    o.visible = w.visible;
    o.enabled = w.enabled;
    o.iconic = w.minimised;
    o.rect = w.rect;
    windows_.push_back(o);
  }
}

TWindowObject TWindowList::GetWindow(int index) const {
  return index >= 0 && index < Count() ? windows_[size_t(index)] : TWindowObject{};
}

bool QuickLinkWindowOpen() {
  const TWindowList list;
  for (int i = 0; i < list.Count(); ++i) {
    const TWindowObject w = list.GetWindow(i);
    if ((w.caption == QLatin1String("Quick Link") || w.caption == QLatin1String("Lien Rapide")) && w.visible)
      return true;
  }
  return false;
}

// ---------------------------------------------------------------- status and versions

void ShowContextInStatusBar(ui::StatusBar& bar, const SessionContext& context) {
  if (bar.panelCount() != 3) return;
  const char* kDesign = "designTexts";
  QStringList design = bar.property(kDesign).toStringList();
  if (design.size() != 3) {
    design = {bar.panelText(0), bar.panelText(1), bar.panelText(2)};
    bar.setProperty(kDesign, design);
  }
  bar.setPanelText(0, design[0] + context.companyCode() + "-" + context.companyName());
  bar.setPanelText(1, design[1] + context.userName());
  bar.setPanelText(2, design[2] + GetModuleVersionText());
}

QString GetFileVersionText(const QString& file, int parts) {
  if (parts <= 0 || parts > 4) parts = 4;
  const std::optional<os::FileVersion> v = os::Services::versions().read(file);
  if (!v) return {};
  const std::array<uint16_t, 4> n = {v->major, v->minor, v->release, v->build};
  QStringList out;
  for (int i = 0; i < parts; ++i) out << QString::number(n[size_t(i)]);
  return out.join('.');
}

QString GetModuleVersionText() {
  static const char anchor = 0;  // an object of this deliverable
  return GetFileVersionText(os::modulePathContaining(&anchor), 4);
}

QString ReadIntlSetting() { return os::Services::settings().readString("Settings", "Intl", "N"); }

// ---------------------------------------------------------------- regional settings

void LoadRegionalSettings() {
  os::MachineSettings& settings = os::Services::settings();
  db::RegionalFormats& f = db::RegionalFormats::current();
  f.shortDateFormat = settings.readString("Settings", "DateFmt", "DD/MM/YYYY").toStdString();
  f.currencySymbol = settings.readString("Settings", "CurrSmbl", "$").toStdString();
  const QString align = settings.readString("Settings", "CurrAlign", "L");
  if (align == "L" || align == "l") {
    f.symbolBefore = true;
  } else {
    f.symbolBefore = false;
    f.negativeInParentheses = true;
  }
}

void ApplyDateFormat(const std::vector<db::DataSet*>& dataSets) {
  const std::string format = db::RegionalFormats::current().shortDateFormat;
  const std::string mask = db::dateEditMask(format);
  for (db::DataSet* ds : dataSets)
    for (const auto& field : ds->fields())
      if (field->isDate()) {
        field->editMask = mask;
        field->displayFormat = format;
      }
}

// ---------------------------------------------------------------- currencies

namespace {

std::array<QString, 7>& currencyTable() {
  static std::array<QString, 7> table;
  return table;
}

bool alignedLeft() { return currencyTable()[6] == "l" || currencyTable()[6] == "L"; }

}  // namespace

void LoadCurrencySymbols(const QString& sign1, const QString& sign2, const QString& sign3, const QString& sign4) {
  os::MachineSettings& settings = os::Services::settings();
  db::RegionalFormats& f = db::RegionalFormats::current();
  currencyTable()[1] = settings.readString("Settings", "CurrSmbl", "$");
  f.currencySymbol = currencyTable()[1].toStdString();
  currencyTable()[6] = settings.readString("Settings", "CurrAlign", "L");
  f.symbolBefore = alignedLeft();
  f.negativeInParentheses = true;
  currencyTable()[2] = sign1;
  currencyTable()[3] = sign2;
  currencyTable()[4] = sign3;
  currencyTable()[5] = sign4;
}

void SelectCurrency(int index) {
  db::RegionalFormats& f = db::RegionalFormats::current();
  f.negativeInParentheses = true;
  if (index < 0 || index > 4) {
    // -1 (and anything the table has no slot for): no symbol.
    f.currencySymbol.clear();
    f.symbolBefore = false;
    return;
  }
  f.currencySymbol = currencyTable()[size_t(index) + 1].toStdString();
  f.symbolBefore = alignedLeft();
}

QString CurrencySlot(int index) { return index >= 1 && index <= 6 ? currencyTable()[size_t(index)] : QString(); }

void ClearCurrencySymbols() { currencyTable().fill(QString()); }

void ApplyReportCurrency(std::vector<QString*> expressionMasks, int index) {
  db::RegionalFormats& f = db::RegionalFormats::current();
  const QString remembered = QString::fromStdString(f.currencySymbol);
  const QString symbol = index == 0 ? QStringLiteral(" ") : CurrencySlot(index);
  auto place = [&](QString& mask) {
    if (f.symbolBefore) mask.prepend(symbol); else mask.append(symbol);
  };
  for (QString* mask : expressionMasks) {
    if (!mask) continue;
    if (const qsizetype dollar = mask->indexOf('$'); dollar >= 0) {
      mask->remove(dollar, 1);
      place(*mask);
    } else if (!remembered.isEmpty()) {
      if (const qsizetype at = mask->indexOf(remembered); at >= 0) {
        mask->remove(at, remembered.size());
        place(*mask);
      }
    }
  }
  f.currencySymbol = symbol.toStdString();
}

void ApplyReportCurrency(report::Report& report, int index) {
  std::vector<report::MaskedText*> controls;
  std::vector<QString> masks;
  for (report::MaskedText* c : report.maskedControls()) {
    // A number picture has digit places; a date picture ("DD MM YYYY") has
    // none, and its blanks are no currency symbol.
    if (!c->mask().contains('0') && !c->mask().contains('#')) continue;
    controls.push_back(c);
    masks.push_back(c->mask());
  }
  std::vector<QString*> pointers;
  for (QString& m : masks) pointers.push_back(&m);
  ApplyReportCurrency(pointers, index);
  for (size_t i = 0; i < controls.size(); ++i) controls[i]->setMask(masks[i]);
}

}  // namespace shared
