// The company-creation module: run by the shell on a first start, when the
// data root holds no company yet. It asks for the company's name and creates
// company 1 with the same code as `tallimoor-admin create-company`: the
// company row, the company folder with every ledger table, a control record
// and a starter chart of accounts.
#include <QDate>
#include <QFormLayout>
#include <QHBoxLayout>
#include <sstream>

#include "company.h"
#include "shared/module_entry.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/form.h"

namespace {

class TCompanyCreate_frm : public ui::Form {
 public:
  TCompanyCreate_frm() : ui::Form("CompanyCreate_frm") {
    const bool french = shared::Context().language() == 2;
    setCaption(french ? "Création de la compagnie" : "Company creation");
    Intro = new ui::Label(this, this, "Intro",
                          french ? "Aucune compagnie n'existe encore. Entrez le nom de la première."
                                 : "No company exists yet. Enter the name of the first one.");
    Intro->setWordWrap(true);
    CompanyName = new ui::Edit(this, this, "CompanyName");
    CompanyName->setMaxLength(60);
    OKBtn = new ui::Button(this, this, "OKBtn", french ? "Créer" : "Create");
    OKBtn->setDefault(true);
    CancelBtn = new ui::Button(this, this, "CancelBtn", french ? "Annuler" : "Cancel");
    auto* form = new QFormLayout(this);
    form->addRow(Intro);
    form->addRow(french ? "Nom de la compagnie :" : "Company name:", CompanyName);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    form->addRow(buttons);
    connect(OKBtn, &QPushButton::clicked, this, [this] { create(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  }

  ui::Label* Intro;
  ui::Edit* CompanyName;
  ui::Button* OKBtn;
  ui::Button* CancelBtn;

 private:
  void create() {
    const bool french = shared::Context().language() == 2;
    const QString name = CompanyName->text().trimmed();
    if (name.isEmpty()) {
      ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(),
                            french ? "Entrez le nom de la compagnie." : "Enter the company's name.", ui::Buttons::kOk);
      CompanyName->setFocus();
      return;
    }
    admin::CompanyOptions options;
    options.dataRoot = shared::Context().dataDir().toStdString();
    options.code = 1;
    options.name = name.toStdString();
    options.language = french ? 2 : 1;
    const QDate today = QDate::currentDate();
    options.today = *pdx::Date::fromYmd(today.year(), today.month(), today.day());
    std::ostringstream log;
    const pdx::Status s = admin::createCompany(options, log);
    if (!s.ok()) {
      ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(), QString::fromStdString(s.toString()),
                            ui::Buttons::kOk);
      return;
    }
    accept();
  }
};

class CompanyCreateModule : public shared::ModuleInstance {
 public:
  std::vector<db::DataSet*> dataSets() override { return {}; }
  QDialog& mainWindow() override { return window_; }

 private:
  TCompanyCreate_frm window_;
};

}  // namespace

extern "C" int ShowDllForm(TLinkSection link) {
  return shared::RunModule(link, [] { return std::make_unique<CompanyCreateModule>(); });
}
