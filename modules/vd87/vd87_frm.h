// Tvd87_frm: the purchases window. It shows the document of EntryRules, copies
// what the user keys into it, runs the rule of each event (a field exit is
// handled once the focus has moved) and shows the document again. Amount
// cells are money fields of the session's scratch row, so they show the
// document's amounts directly.
#pragma once

#include <QPointer>
#include <array>
#include <exception>
#include <memory>

#include "entry_data_module.h"
#include "entry_document.h"
#include "entry_prompts.h"
#include "entry_rules.h"
#include "posting.h"
#include "small_windows.h"
#include "ui/controls.h"
#include "ui/currency_field.h"
#include "ui/data_controls.h"
#include "ui/form.h"
#include "ui/mask_edit.h"

namespace vd87 {

class Tvd87_frm : public ui::Form, private EntryPrompts {
 public:
  Tvd87_frm(Tvd87_dm& dm, Tperiod_frm& period, TErrorForm& error, QWidget* parent = nullptr);
  ~Tvd87_frm() override;

  // The window's handler of errors that escape an event (installed as the
  // application's exception handler while the module runs).
  void handleException(std::exception_ptr error);
  void installExceptionHandler();
  // Gives the date edits the mask of the short date format.
  void applyDateMasks();

  EntryRules& rules() { return *rules_; }
  EntryDocument& document() { return *doc_; }
  PayablesPosting& posting() { return *posting_; }

  // ---- the controls, by their names
  ui::PageControl* PageControl1;
  ui::MaskEdit* Norvadeldbedit1;
  ui::Button* SearchBtn;
  ui::CheckBox* CheckBox1;
  ui::Panel* SupplierPanel;
  std::array<ui::DBText*, 5> supplierLabels{};
  ui::ComboBox* TransType;
  ui::MaskEdit* InvoiceNum;
  ui::MaskEdit* TransDate;
  ui::MaskEdit* TransDueDate;
  ui::MaskEdit* DebCreRef;
  ui::Memo* TransMemo;
  ui::Button* SearchAccountBtn;
  std::array<ui::MaskEdit*, EntryDocument::kLines> accountEdits{};
  std::array<ui::MaskEdit*, EntryDocument::kLines> descriptionEdits{};
  std::array<ui::CurrencyField*, EntryDocument::kLines> debitCells{};
  std::array<ui::CurrencyField*, EntryDocument::kLines> creditCells{};
  ui::CurrencyField* TotalDBEdit;
  ui::CurrencyField* TotalCDEdit;
  ui::Button* PostBtn;
  ui::Button* CancelBtn;
  ui::Button* Exit_btn;
  ui::Button* Help_btn;
  ui::ToolButton* SpeedButton1;
  ui::ToolButton* SpeedButton2;
  ui::ToolButton* SpeedButton3;
  ui::ToolButton* SpeedButton4;
  ui::StatusBar* StatusBar1;
  ui::Memo* IntlStrings1;

  // ---- operations (the events call them; tests may too)
  void FormActivate();
  void PostBtnClick();
  void CancelBtnClick();
  void Exit_btnClick();
  void Help_btnClick();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SearchBtnClick();
  void SearchAccountBtnClick();
  bool FormKeyDown(QKeyEvent* event);

  bool suppressFlag() const { return suppress_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // EntryPrompts
  bool showMessage(int number, MessageStyle style) override;
  void focus(Control control, int line) override;

  void build();
  // Copies the controls into the document / the document into the controls.
  void pull();
  void push();
  // Runs `rule` after the focus change under way, with the document pulled
  // before and pushed after.
  void later(std::function<void()> rule);
  void run(const std::function<void()>& rule);
  bool isTag13(QWidget* w) const;
  bool isGuarded(QWidget* w) const;
  bool openTable(db::Table& table);
  QString message(int number) const;

  Tvd87_dm& dm_;
  Tperiod_frm& period_;
  TErrorForm& error_;
  std::unique_ptr<EntryDocument> doc_;
  std::unique_ptr<EntryRules> rules_;
  std::unique_ptr<PayablesPosting> posting_;
  bool suppress_ = false;
  bool closing_ = false;
};

}  // namespace vd87
