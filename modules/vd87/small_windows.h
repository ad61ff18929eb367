// The small windows of the purchases entry: the period dialog, the error
// window and the end-of-year notice.
#pragma once

#include <QString>

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/mask_edit.h"

namespace vd87 {

// "Change period number": one period number, 0 to 13, confirmed with OK. It
// cannot be closed otherwise.
class Tperiod_frm : public ui::Form {
 public:
  explicit Tperiod_frm(QWidget* parent = nullptr);
  // Shows the dialog on `period` and returns the period confirmed.
  // `language` chooses the words of the refusal (1 English, else French).
  int changePeriod(int period, int language);
  void Button1Click();

  ui::Label* Label1;
  ui::MaskEdit* NorvadelMaskEdit1;
  ui::Button* Button1;

 protected:
  void reject() override {}  // Escape and the title bar do not close it

 private:
  int language_ = 1;
};

// The error window: "Application must be closed.", the engine's category and
// code and the message. Its texts are not translated.
class TErrorForm : public ui::Form {
 public:
  explicit TErrorForm(QWidget* parent = nullptr);
  void showError(const QString& category, const QString& code, const QString& message);

  ui::Label* ErrCat;
  ui::Label* ErrCode;
  ui::Memo* ErrMess;
  ui::ToolButton* BitBtn1;
  ui::Button* Button1;
};

// The end-of-year notice. Nothing in the module shows it.
class TEoy_dlg : public ui::Form {
 public:
  explicit TEoy_dlg(QWidget* parent = nullptr);
  ui::Memo* Memo1;
  ui::Button* OKBtn;
};

}  // namespace vd87
