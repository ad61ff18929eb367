#include <gtest/gtest.h>

#include "pdx/env.h"
#include "report/report.h"
#include "shared/translate_form.h"
#include "shared_test_util.h"
#include "test_util.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/menu.h"

namespace shared {
namespace {

using testing::Row;

// A grid stand-in: what translation needs of a data grid is its titles.
class TitledGrid : public QWidget, public ui::Component, public ui::ColumnTitles {
 public:
  TitledGrid(ui::ComponentOwner* owner, QWidget* parent, const QString& name, int columns)
      : QWidget(parent), titles(columns) {
    attach(owner, name);
  }
  QObject* object() override { return this; }
  int columnCount() const override { return static_cast<int>(titles.size()); }
  void setColumnTitle(int column, const QString& title) override { titles[column] = title; }
  QStringList titles;
};

class TranslateFormTest : public ::testing::Test {
 protected:
  TranslateFormTest() {
    testing::app();
    db::Database::environment() = pdx::Env::unsynced();
    form_ = std::make_unique<ui::Form>("Tkq61_frm");
    form_->setCaption("Display of clients");
    messages_ = new ui::Memo(form_.get(), form_.get(), "IntlStrings1");
    messages_->setLines({"Invoice", "Debit note"});
    grid_ = new TitledGrid(form_.get(), form_.get(), "DBGrid1", 3);
    types_ = new ui::RadioGroup(form_.get(), form_.get(), "RadioGroup1", "Type");
    types_->setItems({"Purchase", "Credit"});
    ops_ = new ui::ComboBox(form_.get(), form_.get(), "ComboBox2");
    ops_->setItems({"="});
    menu_ = new ui::MainMenu(form_.get(), form_.get(), "MainMenu1");
    exit_ = menu_->add("Exit1", "Exit");
    exit_->setHint("Leave");
    label_ = new ui::Label(form_.get(), form_.get(), "Label1", "City");
    label_->setHint("Where the client is");
    button_ = new ui::Button(form_.get(), form_.get(), "Button1", "Refresh");
  }

  void write(const std::string& name, const std::vector<Row>& rows) {
    const pdx::Status s = testing::writeTranslations(dir_.path(), name, rows);
    ASSERT_TRUE(s.ok()) << s.toString();
  }

  pdx::testing::TempDir dir_;
  std::unique_ptr<ui::Form> form_;
  ui::Memo* messages_;
  TitledGrid* grid_;
  ui::RadioGroup* types_;
  ui::ComboBox* ops_;
  ui::MainMenu* menu_;
  ui::MenuItem* exit_;
  ui::Label* label_;
  ui::Button* button_;
};

TEST_F(TranslateFormTest, AppliesEveryKindOfRow) {
  write("kq61fr", {
      {"Tkq61_frm", "Tkq61_frm", "Affichage des clients", "", "", true},
      {"Tkq61_frm", "IntlStrings1", "", "Facture\r\nNote de débit\r\nNote de crédit", "", false, true},
      {"Tkq61_frm", "DBGrid1", "", "Facture\nRéférence\nDate\n", "", false, false, true},
      {"Tkq61_frm", "RadioGroup1", "Genre", "Achat\nCrédit\nDe trop", "", false, false, false, true},
      {"Tkq61_frm", "ComboBox2", "", "=\n>\nCONTIENT", "", false, false, false, false, true},
      {"Tkq61_frm", "Exit1", "Quitter", "", "Ignoré"},
      {"Tkq61_frm", "Label1", "Ville", "", ""},
      {"Tkq61_frm", "Button1", "Actualiser", "", "Relancer la recherche"},
      {"Tvd87_frm", "Label1", "Autre fenêtre", "", ""},
  });
  // The dot of "kq61.fr" goes: the table is kq61fr.db.
  ASSERT_TRUE(TranslateForm(*form_, "kq61.fr", QString::fromStdString(dir_.path())).ok());
  EXPECT_EQ(form_->windowTitle(), "Affichage des clients");
  EXPECT_EQ(messages_->lines(), (QStringList{"Facture", "Note de débit", "Note de crédit"}));
  EXPECT_EQ(grid_->titles, (QStringList{"Facture", "Référence", "Date"}));
  EXPECT_EQ(types_->caption(), "Genre");
  EXPECT_EQ(types_->items(), (QStringList{"Achat", "Crédit"}));  // as many items as before
  EXPECT_EQ(ops_->items(), (QStringList{"=", ">", "CONTIENT"}));
  EXPECT_EQ(exit_->text(), "Quitter");
  EXPECT_EQ(exit_->hint(), "Leave");  // menu rows change the caption only
  EXPECT_EQ(label_->text(), "Ville");
  EXPECT_EQ(label_->hint(), "Where the client is");  // empty hint keeps the design's
  EXPECT_EQ(button_->hint(), "Relancer la recherche");

  // Twice is the same as once.
  ASSERT_TRUE(TranslateForm(*form_, "kq61fr", QString::fromStdString(dir_.path())).ok());
  EXPECT_EQ(messages_->lines().size(), 3);
  EXPECT_EQ(label_->text(), "Ville");
}

TEST_F(TranslateFormTest, WithoutRowsTextsStayAndAMissingTableChangesNothing) {
  write("kq61en", {{"Tkq61_frm", "Button1", "", "", ""}});  // an empty caption still replaces
  ASSERT_TRUE(TranslateForm(*form_, "kq61en", QString::fromStdString(dir_.path())).ok());
  EXPECT_EQ(form_->windowTitle(), "Display of clients");
  EXPECT_EQ(label_->text(), "City");
  EXPECT_EQ(button_->text(), "");

  const pdx::Status missing = TranslateForm(*form_, "kq61xx", QString::fromStdString(dir_.path()));
  EXPECT_EQ(missing.code(), pdx::code::kTableNotFound);
  EXPECT_FALSE(TranslateForm(*form_, "kq61en", QString::fromStdString(dir_.path() + "/nowhere")).ok());
  EXPECT_EQ(label_->text(), "City");
}

TEST_F(TranslateFormTest, ShortListsFailAtTheFirstMissingLineKeepingWhatWasDone) {
  write("kq61fr", {
      {"Tkq61_frm", "IntlStrings1", "", "Facture", "", false, true},
      {"Tkq61_frm", "DBGrid1", "", "Facture\nRéférence", "", false, false, true},
      {"Tkq61_frm", "Label1", "Ville", "", ""},
  });
  const pdx::Status s = TranslateForm(*form_, "kq61fr", QString::fromStdString(dir_.path()));
  EXPECT_EQ(s.code(), pdx::code::kInvalidParameter);
  EXPECT_NE(s.message().find("DBGrid1"), std::string::npos);
  EXPECT_EQ(messages_->lines(), QStringList{"Facture"});              // before the grid: done
  EXPECT_EQ(grid_->titles, (QStringList{"Facture", "Référence", ""}));  // up to the missing line
  EXPECT_EQ(label_->text(), "City");                                   // after it: untouched

  // A flag that names the wrong kind of component is an error too.
  write("kq61de", {{"Tkq61_frm", "Label1", "", "x", "", false, true}});
  EXPECT_FALSE(TranslateForm(*form_, "kq61de", QString::fromStdString(dir_.path())).ok());
}


// A report form is translated like a window: its title, its labels and its
// memos; data-bound texts and expressions keep their fields.
TEST_F(TranslateFormTest, ReachesAReportsTitleLabelsAndMemos) {
  report::Report r("Thm35_qrfrm");
  r.setTitle("Invoice detail");
  report::Band* header = r.addBand(report::BandKind::kPageHeader, "PageHeader1", 20);
  report::Label* quantity = header->addLabel("QRLabel7", "Quantité", {0, 0, 20, 5});
  report::Label* untouched = header->addLabel("QRLabel8", "Coût", {30, 0, 20, 5});
  report::DBText* stamp = header->addDBText("QRDBText1", nullptr, "Fahdr_stamp", {60, 0, 30, 5});
  report::Memo* notes = header->addMemo("QRMemo1", {0, 10, 100, 5});
  write("kq61en", {
      {"Thm35_qrfrm", "Thm35_qrfrm", "Invoice detail report", "", "", true},
      {"Thm35_qrfrm", "QRLabel7", "Quantity", "", ""},
      {"Thm35_qrfrm", "QRDBText1", "Stamp", "", ""},
      {"Thm35_qrfrm", "QRMemo1", "", "Thank you\r\nfor your business", "", false, true},
  });
  ASSERT_TRUE(TranslateForm(r, "kq61en", QString::fromStdString(dir_.path())).ok());
  EXPECT_EQ(r.title(), "Invoice detail report");
  EXPECT_EQ(quantity->caption(), "Quantity");
  EXPECT_EQ(untouched->caption(), "Coût");
  EXPECT_EQ(stamp->dataField(), "Fahdr_stamp");
  EXPECT_EQ(stamp->printText(), "");
  EXPECT_EQ(notes->lines, (QStringList{"Thank you", "for your business"}));
}

}  // namespace
}  // namespace shared
