#include "inquiry_windows.h"

#include <QGridLayout>

#include "shared/module_entry.h"

namespace inquiry {

namespace {

void setCaptionOf(ui::ComponentOwner& owner, const char* name, const char* text) {
  if (ui::Component* c = owner.findComponent(name)) c->setCaption(text);
}

}  // namespace

// ---------------------------------------------------------------- receivables

Tkq61_frm::Tkq61_frm(InquiryDataModule& dm, QWidget* parent) : InquiryForm(dm, parent) { build(); }

void Tkq61_frm::buildControlExtras(QWidget* page, QGridLayout* grid, int& row) {
  InquiryForm::buildControlExtras(page, grid, row);
  auto* label = new ui::Label(this, page, "PriceListLabel", "Price list");
  ComboBox4 = new ui::ComboBox(this, page, "ComboBox4");
  ComboBox4->setEnabled(false);
  label->setBuddy(ComboBox4);
  grid->addWidget(label, row, 0);
  grid->addWidget(ComboBox4, row++, 1);
}

void Tkq61_frm::applyIntl(int language) {
  if (language == 2) {
    setCaptionOf(*this, "TaxFedCheck", "Charger taxe 1");
    setCaptionOf(*this, "TaxProCheck", "Charger taxe 2");
    setCaptionOf(*this, "Address1Label", "Adresse ligne 1");
    setCaptionOf(*this, "Address2Label", "Adresse ligne 2");
    setCaption("Affichage des clients");
  } else {
    setCaptionOf(*this, "ProvinceLabel", "State");
    setCaptionOf(*this, "PostalCodeLabel", "Zip code");
    setCaptionOf(*this, "NsfDateLabel", "Date last NSF check");
    setCaptionOf(*this, "TaxFedCheck", "Charge tax 1");
    setCaptionOf(*this, "TaxProCheck", "Charge tax 2");
  }
}

void Tkq61_frm::partyChanged() {
  InquiryForm::partyChanged();
  ComboBox4->setCurrentIndex(static_cast<int>(dm_.Query1.fieldByName("Cli_price_list").asInteger()) - 1);
}

// ---------------------------------------------------------------- payables

Tvd52_Frm::Tvd52_Frm(InquiryDataModule& dm, QWidget* parent) : InquiryForm(dm, parent) { build(); }

bool Tvd52_Frm::emailsPurchaseOrders(const QString& dataDir) {
  return dataDir.contains("Tesmarow") || dataDir.contains("Brnk");
}

void Tvd52_Frm::buildControlExtras(QWidget* page, QGridLayout* grid, int& row) {
  InquiryForm::buildControlExtras(page, grid, row);
  auto* label = new ui::Label(this, page, "BankAccountLabel", "Bank account");
  bankAccount = new ui::Edit(this, page, "BankAccountEdit");
  bankAccount->setReadOnly(true);
  label->setBuddy(bankAccount);
  grid->addWidget(label, row, 0);
  grid->addWidget(bankAccount, row++, 1, 1, 3);
}

void Tvd52_Frm::applyIntl(int language) {
  if (language != 1) return;
  setCaptionOf(*this, "ProvinceLabel", "State");
  setCaptionOf(*this, "PostalCodeLabel", "Zip code");
  DBGrid2->setColumnTitle(1, "Reference");
}

void Tvd52_Frm::partyChanged() {
  // The bank that pays the supplier, by its account's description. An
  // account the chart does not have shows nothing rather than the last
  // supplier's bank.
  QString bank;
  const db::Field& account = dm_.Query1.fieldByName("Sup_bank_account");
  if (dm_.glm.active() && !account.isNull()) {
    auto found = dm_.glm.findKey({pdx::Value::integer(account.asInteger())});
    if (found.ok() && *found) bank = QString::fromStdString(dm_.glm.fieldByName("Glm_Description").asString());
  }
  bankAccount->setText(bank);
  InquiryForm::partyChanged();
}

void Tvd52_Frm::afterStart() {
  const bool shown = emailsPurchaseOrders(shared::Context().dataDir());
  for (const char* name : {"EmailPoCheck", "SpinEdit1", "CopiesLabel"})
    if (auto* c = findComponent(name)) c->widget()->setVisible(shown);
}

}  // namespace inquiry
