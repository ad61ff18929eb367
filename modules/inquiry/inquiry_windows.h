// The two inquiry windows: the one design of InquiryForm with what each side
// adds. Receivables (Tkq61_frm): the price-list box and the captions the
// "Intl" setting changes. Payables (Tvd52_Frm): the bank account box, the
// purchase-order e-mail switch of some installations, and its "Intl"
// captions.
#pragma once

#include "inquiry_frm.h"

namespace inquiry {

class Tkq61_frm : public InquiryForm {
 public:
  explicit Tkq61_frm(InquiryDataModule& dm, QWidget* parent = nullptr);

 protected:
  void buildControlExtras(QWidget* page, QGridLayout* grid, int& row) override;
  void applyIntl(int language) override;
  void partyChanged() override;
};

class Tvd52_Frm : public InquiryForm {
 public:
  explicit Tvd52_Frm(InquiryDataModule& dm, QWidget* parent = nullptr);

  // Whether the data folder belongs to an installation that e-mails its
  // purchase orders (its path holds "Tesmarow" or "Brnk").
  static bool emailsPurchaseOrders(const QString& dataDir);

 protected:
  void buildControlExtras(QWidget* page, QGridLayout* grid, int& row) override;
  void applyIntl(int language) override;
  void partyChanged() override;
  void afterStart() override;
};

}  // namespace inquiry
