// Tvd87_frm: the purchases window. It shows the document of EntryRules and
// copies what the user keys into it; amount cells are money fields of the
// session's scratch row, so they show the document's amounts directly.
//
// Focus and the rules. The user moves by keys, clicks and buttons; the rules
// see each move as one step, in order: the exit rule of the control left,
// then the entry rule of the control reached (the guard, the current line),
// then whatever the key or the click does. Qt delivers the focus change in
// pieces (the control left, then the one reached, a click after its press),
// so the window notes the move and settles it once the change is complete:
// from the event loop, or at once when a key, a double click or a button
// needs it settled first. An exit rule that refuses (its message shown, the
// focus sent back) ends the step: the control reached is not entered and the
// button does nothing.
#pragma once

#include <QBoxLayout>
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

  // Settles the focus move under way: the exit rule of the control left,
  // then the entry rule of the control reached. False when an exit rule
  // refused (the focus went back). Nothing happens when no move is pending.
  bool settle();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape and the title bar's close button: with a document in progress
  // the user is asked first.
  void reject() override;

 private:
  // EntryPrompts
  bool showMessage(int number, MessageStyle style) override;
  void focus(Control control, int line) override;

  void build();
  void buildHeader(QWidget* page, QBoxLayout* into);
  void buildLines(QWidget* page, QBoxLayout* into);
  void buildButtons(QBoxLayout* into);
  void connectEvents();
  // Fixes the window's size to what its texts need (after translation).
  void fixSize();
  // Copies the controls into the document / the document into the controls.
  void pull();
  void push();
  // Runs `rule` with the document pulled before and pushed after; a focus a
  // rule asked for is given at the end (at the end of the step when the rule
  // runs inside one).
  void run(const std::function<void()>& rule);
  bool live() const;

  // ---- focus steps
  void controlExited(QWidget* control);
  void focusEntered(QWidget* control);
  void scheduleSettle();
  bool hasExitRule(QWidget* w) const;
  void runExitRule(QWidget* control, bool toTag13);
  void runEntryRule(QWidget* control);
  void applyFocusRequest();
  // Moves the focus to `button` (whose click is being handled) and settles
  // the move; false when the exit rule of the control left refused.
  bool leaveFor(QWidget* button);

  bool isTag13(QWidget* w) const;
  bool isGuarded(QWidget* w) const;
  bool openTable(db::Table& table);
  QString message(int number) const;
  void closeWindow();
  // Keeps "Quick Link" disabled while its window is open.
  void watchQuickLink();
  // Takes back the busy cursor of a posting that waits for another user.
  void restoreCursor();

  Tvd87_dm& dm_;
  Tperiod_frm& period_;
  TErrorForm& error_;
  std::unique_ptr<EntryDocument> doc_;
  std::unique_ptr<EntryRules> rules_;
  std::unique_ptr<PayablesPosting> posting_;
  bool suppress_ = false;
  bool closing_ = false;

  // The control the user is in: its entry rule ran and its exit rule has not.
  QPointer<QWidget> current_;
  // The control left whose exit rule is due, and the control reached.
  QPointer<QWidget> leaving_;
  QPointer<QWidget> entering_;
  // Where a rule asked the focus to go.
  QPointer<QWidget> focusRequest_;
  bool settleScheduled_ = false;
  bool settling_ = false;
  int ruleDepth_ = 0;
  QPointer<QWidget> quickLink_;
  bool waitCursor_ = false;
};

}  // namespace vd87
