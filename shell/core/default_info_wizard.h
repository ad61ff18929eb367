// TfrmDefaultInfo: the company defaults wizard of a first start.
//
// Five pages, moved between by the buttons only: where the business is (in
// or outside Canada), its province, the date format and the sales tax or VAT
// rates, the currency's symbol, alignment and names, and a closing page.
// "Close" stores the rates and the currency's names in the control record
// (ctrl) of the wizard's company folder and the formats in the machine
// settings; leaving any other way (Escape) stores nothing. Captions that
// change with the choices are the numbered lines of the hidden list Texts.
//
// A rate the control record cannot take as a number is refused with a
// message (a line of the message list the wizard is given, and the field's
// own report), the record is left as it was, nothing reaches the settings,
// and the wizard shows the rate to correct.
#pragma once

#include <QString>
#include <functional>

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/mask_edit.h"

namespace shell {

class TfrmDefaultInfo : public ui::Form {
 public:
  // Province numbers of the drop-down list.
  enum Province {
    kAlberta, kBritishColumbia, kManitoba, kNewfoundland, kNewBrunswick,
    kNovaScotia, kPrinceEdwardIsland, kQuebec, kOntario, kSaskatchewan
  };
  enum Location { kInCanada = 0, kOutsideCanada = 1 };
  enum DateFormat { kYearFirst = 0, kDayFirst = 1, kMonthFirst = 2 };
  enum Alignment { kLeft = 0, kRight = 1 };

  explicit TfrmDefaultInfo(QWidget* parent = nullptr);

  // Before showing: the company folder whose ctrl is written, the message
  // list and the line of it that refuses a rate, the display language.
  void prepare(const QString& directory, const ui::Memo* messages, int rateMessage, int language);
  const QString& directory() const { return directory_; }

  // Shows the wizard modally (QDialog::Accepted once Close stored
  // everything). Tests may replace it.
  std::function<int(TfrmDefaultInfo&)> showModal;

  // ---- the pages and the buttons' handlers
  int page() const { return PageControl1->activePageIndex(); }
  void FormActivate();
  void btnNext1Click();
  void btnBack1Click();
  void btnNext2Click();
  void btnBack2Click();
  void btnNext3Click();
  void btnBack3Click();
  void btnNext4Click();
  void btnBack4Click();
  void btnCloseClick();

  // ---- components
  ui::PageControl* PageControl1;
  ui::TabSheet* TabSheet1;
  ui::TabSheet* TabSheet2;
  ui::TabSheet* TabSheet3;
  ui::TabSheet* TabSheet4;
  ui::TabSheet* TabSheet5;
  ui::Memo* Memo1;
  ui::RadioGroup* rgLocation;
  ui::GroupBox* grpProvince;
  ui::Label* lblProvinces;
  ui::ComboBox* cbxProvince;
  ui::Label* lblDateFormat;
  ui::ComboBox* cbxDateFormat;
  ui::GroupBox* grpTaxes;
  ui::Label* lblRate1;
  ui::MaskEdit* edtRate1;
  ui::Label* lblRate2;
  ui::MaskEdit* edtRate2;
  ui::Label* lblRate3;
  ui::MaskEdit* edtRate3;
  ui::GroupBox* grpCurrency;
  ui::Label* lblCurrSymbol;
  ui::MaskEdit* edtCurrSymbol;
  ui::Label* lblCurrAlign;
  ui::ComboBox* cbxCurrAlign;
  ui::Label* lblCurrDesc;
  ui::MaskEdit* edtCurrDesc;
  ui::Label* lblFracDesc;
  ui::MaskEdit* edtFracDesc;
  ui::Memo* Memo2;
  ui::Memo* Texts;  // hidden: the captions that change, lines 0 to 9
  ui::Button* btnNext1;
  ui::Button* btnBack1;
  ui::Button* btnNext2;
  ui::Button* btnBack2;
  ui::Button* btnNext3;
  ui::Button* btnBack3;
  ui::Button* btnNext4;
  ui::Button* btnBack4;
  ui::Button* btnClose;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void goTo(int page);
  void showThirdRate(bool shown);
  QString text(int line) const { return Texts->line(line); }
  // Stores the rates and names in ctrl; false (and a message) when the
  // record refused one of them.
  bool storeControls();
  bool storeSettings();

  QString directory_;
  const ui::Memo* messages_ = nullptr;
  int rateMessage_ = 0;
  int language_ = 1;
};

}  // namespace shell
