// TContactUs: Help > "Contact us". Three panels (technical support,
// services, products), each a short text with the addresses to reach the
// project: a click on an e-mail or web address, or Return on it, opens it
// through the desktop (a text starting with "w" is a web address, anything
// else a mail address).
#pragma once

#include <vector>

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/link_label.h"

namespace shell {

class TContactUs : public ui::Form {
 public:
  explicit TContactUs(QWidget* parent = nullptr);

  // The display language the caller sets before showing the dialog. Only the
  // code 10 changes anything: the texts become their one-line English forms
  // and the e-mail addresses move to the panels' left edge.
  int languageCode = 0;
  std::function<int(TContactUs&)> showModal;

  void FormActivate();
  // A contact label was followed.
  void ContactClick(ui::LinkLabel* label);
  // Every clickable contact label, in tab order.
  const std::vector<ui::LinkLabel*>& contactLabels() const { return links_; }

  ui::Panel* pnlSupport;
  ui::Memo* memSupport;
  ui::LinkLabel* lblSupportEmail;
  ui::LinkLabel* lblSupportWeb;
  ui::Panel* pnlServices;
  ui::Memo* memServices;
  ui::LinkLabel* lblServicesEmail;
  ui::LinkLabel* lblServicesWeb;
  ui::Panel* pnlProducts;
  ui::Memo* memProducts;
  ui::LinkLabel* lblProductsEmail;
  ui::Label* lblProductsPages;
  ui::LinkLabel* lblProductsWeb;
  ui::LinkLabel* lblDownloadsWeb;
  ui::Button* btnClose;

  // The left edge of the e-mail addresses in their panels under code 10.
  static constexpr int kOneLineEmailLeft = 39;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One panel: its text, then rows of a caption and a value.
  ui::Panel* panel(const QString& name, ui::Memo*& text, const QStringList& lines);
  ui::LinkLabel* link(ui::Panel* panel, const QString& name, const QString& caption, const QString& address);
  void line(ui::Panel* panel, const QString& name, const QString& caption, QWidget* value);

  std::vector<ui::LinkLabel*> links_;
  std::vector<ui::LinkLabel*> emails_;
};

}  // namespace shell
