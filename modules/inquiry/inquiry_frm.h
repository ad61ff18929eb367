// The inquiry window (Tkq61_frm "Display of clients", Tvd52_Frm "Display of
// suppliers"): a party list with a one-condition search, the party's file on
// three pages, its statement with a running balance and the document behind
// each transaction, and its aging in five buckets as a chart.
//
// The window is read-only and thin: the data module holds the datasets and
// computes; the window shows, asks the data module, and reports. What the two
// sides do differently comes from their InquirySide and from the few hooks
// the two subclasses give (the payables side's bank account box and its
// purchase-order e-mail switch, the receivables side's price list).
//
// Errors of the engine inside an event are caught here and shown in an error
// box with their code; nothing escapes into Qt.
#pragma once

#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "inquiry_dm.h"
#include "ui/controls.h"
#include "ui/data_controls.h"
#include "ui/data_grid.h"
#include "ui/form.h"
#include "ui/mask_edit.h"
#include "ui/spin_edit.h"

class QGridLayout;
class QVBoxLayout;

namespace ui {
class Chart;
}

namespace inquiry {

class InquiryForm : public ui::Form {
 public:
  enum Page { kList = 0, kGeneral, kControl, kComments, kStatement, kGraph };

  InquiryForm(InquiryDataModule& dm, QWidget* parent = nullptr);
  ~InquiryForm() override;

  InquiryDataModule& dataModule() { return dm_; }
  const InquirySide& side() const { return dm_.side(); }

  // ---- the controls
  ui::Label* Label1;  // "Select a field:"
  ui::ComboBox* ComboBox1;  // the searchable columns
  ui::Label* Label2;  // "Operator:"
  ui::ComboBox* ComboBox2;
  ui::Label* Label3;  // "Enter parameter:"
  ui::MaskEdit* NorvadelMaskEdit1;
  ui::Button* refreshButton;  // Button1 / Button3
  ui::PageControl* PageControl1;
  std::array<ui::TabSheet*, 6> pages{};
  ui::DataGrid* DBGrid1;  // the party list
  ui::DataGrid* DBGrid2;  // the statement
  ui::Button* detailButton;  // Button2 / Button4
  ui::ComboBox* ComboBox3;   // currency
  ui::ComboBox* ComboBox4 = nullptr;  // price list (receivables)
  ui::SpinEdit* SpinEdit1;            // copies
  ui::Label* copiesLabel;
  ui::Edit* bankAccount = nullptr;    // payables: the bank account's description
  ui::Chart* chart = nullptr;         // VtChart1 / VtChart3
  ui::Chart* printChart = nullptr;    // VtChart2, hidden
  std::array<ui::Label*, 5> bucketCaptions{};  // Label43 ... Label47
  std::array<ui::DBText*, 5> bucketValues{};   // DBText1 ... DBText5
  ui::Button* graphPrintButton;  // Button3 / Button5
  ui::CheckBox* CheckBox2;       // "Display print dialog"
  ui::ToolButton* printScreenButton;
  ui::ToolButton* emailButton;
  ui::ToolButton* quickLinkButton;
  ui::Button* exitButton;
  ui::Button* helpButton;
  ui::CheckBox* CheckBox1;  // "View current transactions"
  ui::StatusBar* StatusBar1;
  ui::Memo* IntlStrings1;

  // ---- events (the controls call them; tests may too)
  void FormActivate();
  void RefreshClick();         // Button1Click / Button3Click
  void PageControl1Change();
  void CheckBox1Click();
  void DBGrid2DblClick();
  void DetailClick();          // Button2Click / Button4Click
  void GraphPrintClick();      // Button3Click / Button5Click
  void PrintScreenClick();
  void EmailClick();
  void QuickLinkClick();
  void ExitClick();
  void HelpClick();
  // getarvalues / getapvalues: the aging totals into the record and the chart.
  void getagingvalues();
  void setdata();

  // The component called `name` among the controls built from the side's
  // pages (labels, edits, check boxes), or null.
  template <typename T>
  T* control(const std::string& name) const {
    return findAs<T>(QString::fromStdString(name));
  }
  // Line `n` of the message list (the built-in line when translation left it empty).
  QString message(int n) const;

  // The time the aging is computed at (tests set a fixed one).
  std::function<pdx::Timestamp()> clock;

 protected:
  void reject() override;
  // Side hooks.
  virtual void buildControlExtras(QWidget* page, QGridLayout* grid, int& row);
  // The "Intl" setting's captions for `language`.
  virtual void applyIntl(int language);
  virtual void partyChanged();
  virtual void afterStart() {}
  // The drill-down's reports; see inquiry_reports.h.
  virtual void showDocument(Document document);
  void printCashDetail();  // PrintReceiptDetail

 protected:
  // Builds the controls; the subclasses call it from their constructors, so
  // that their hooks take part.
  void build();

 private:
  void buildTop(QVBoxLayout* outer);
  void buildList();
  void buildFieldPage(ui::TabSheet* page, const std::vector<PartyField>& fields, bool withExtras);
  void buildStatement();
  void buildGraph();
  void buildBottom(QVBoxLayout* outer);
  // Runs an event: a database error is reported and the event stops.
  void guarded(const std::function<void()>& body);
  void reportError(const std::exception& error);
  void showHistoryBox();
  void showStatement();
  bool searchField(int index, std::string& field, bool& dateField) const;

 protected:
  InquiryDataModule& dm_;
  bool closing_ = false;
};

}  // namespace inquiry
