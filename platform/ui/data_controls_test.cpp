// Data-aware controls over real tables: what they show, when they write,
// and what they refuse.
#include "ui/data_controls.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "db/data_source.h"
#include "db/error.h"
#include "db/formats.h"
#include "db/query.h"
#include "db_test_util.h"
#include "ui/currency_field.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "widget_test_util.h"

namespace ui {
namespace {

using db::testing::D;
using db::testing::FieldType;
using db::testing::L;
using db::testing::N;
using db::testing::T;
using db::testing::Value;

// A supplier table, a form to put controls on, and a recorder for messages.
class DataControlsTest : public db::testing::DataSetTest {
 protected:
  DataControlsTest() : scoped_(&dialogs_) {}

  void SetUp() override {
    saved_ = db::RegionalFormats::current();
    db::RegionalFormats::current() = db::RegionalFormats();
    makeTable("sup",
              {{"Sup_code", FieldType::kAlpha, 10},
               {"Sup_name", FieldType::kAlpha, 20},
               {"Sup_bal", FieldType::kMoney, 0},
               {"Sup_date", FieldType::kDate, 0},
               {"Sup_po", FieldType::kLogical, 0},
               {"Sup_terms", FieldType::kAlpha, 10}},
              "Sup_code",
              {{T("ACME"), T("Acme Supplies"), N(1234.5), D(2026, 5, 1), L(true), T("Net 30")},
               {T("BOLT"), T("Bolt & Nut"), N(-12.5), D(2025, 12, 31), L(false), T("COD")},
               {T("CEDAR"), T("Cedar Ltd"), Value(), Value(), Value(), Value()}});
    sup_.setDatabaseName(dir_.path());
    sup_.setTableName("sup");
    ASSERT_OK(sup_.open());
    sup_.fieldByName("Sup_date").editMask = "!99/99/9999;1; ";
    source_.setDataSet(&sup_);

    layout_ = new QVBoxLayout(&form_);
    other_ = new MaskEdit(&form_, &form_, "Other");
    layout_->addWidget(other_);
  }

  void TearDown() override {
    sup_.close();
    setControlsLanguage(1);
    db::RegionalFormats::current() = saved_;
  }

  void showForm() {
    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
  }

  template <typename W>
  W* add(W* w) {
    layout_->addWidget(w);
    return w;
  }

  // The stored value of a supplier, read through a cursor of its own.
  std::string stored(const std::string& code, const std::string& field) {
    db::Table t;
    t.setDatabaseName(dir_.path());
    t.setTableName("sup");
    EXPECT_OK(t.open());
    auto found = t.findKey({T(code.c_str())});
    EXPECT_TRUE(found.ok() && *found);
    return t.fieldByName(field).asString();
  }

  // The application object comes before the first widget member.
  struct App {
    App() { testing::app(); }
  } app_;
  db::RegionalFormats saved_;
  RecordingDialogs dialogs_;
  ScopedDialogs scoped_;
  db::Table sup_;
  db::DataSource source_;
  Form form_{"Tvd87_frm"};
  QVBoxLayout* layout_ = nullptr;
  MaskEdit* other_ = nullptr;
};

TEST_F(DataControlsTest, EditShowsTheDisplayTextAndKeysTheEditText) {
  auto* bal = add(new DBEdit(&form_, &form_, "BalEdit"));
  bal->setDataSource(&source_);
  bal->setDataField("Sup_bal");
  auto* date = add(new DBEdit(&form_, &form_, "DateEdit"));
  date->setDataSource(&source_);
  date->setDataField("sup_date");  // field names without regard to case
  EXPECT_EQ(bal->field(), sup_.findField("Sup_bal"));
  EXPECT_EQ(bal->QLineEdit::text(), "$1,234.50");
  EXPECT_EQ(date->QLineEdit::text(), "01/05/2026");
  EXPECT_EQ(date->editMask(), "");  // the field's mask is used, not copied

  showForm();
  bal->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(bal->QLineEdit::text(), "1234.5");
  date->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(date->editText(), "01/05/2026");
  EXPECT_TRUE(date->inputMask().startsWith("00\\/00\\/0000"))
      << date->inputMask().toStdString();          // the field's mask while keying
  EXPECT_EQ(bal->QLineEdit::text(), "$1,234.50");  // and the display text again once left

  // The controls follow the dataset as it moves; a blank field shows nothing.
  ASSERT_OK(sup_.next());
  EXPECT_EQ(bal->QLineEdit::text(), "-$12.50");
  EXPECT_EQ(date->text(), "31/12/2025");
  ASSERT_OK(sup_.next());
  EXPECT_EQ(bal->QLineEdit::text(), "");
  EXPECT_EQ(date->text(), "");
  EXPECT_EQ(date->editText(), "  /  /    ");
  sup_.close();
  EXPECT_EQ(bal->QLineEdit::text(), "");
  EXPECT_TRUE(bal->isReadOnly());
}

TEST_F(DataControlsTest, KeyingStartsAnEditAndLeavingWritesTheField) {
  auto* name = add(new DBEdit(&form_, &form_, "NameEdit"));
  name->setDataSource(&source_);
  name->setDataField("Sup_name");
  QSignalSpy exited(name, &MaskEdit::exited);
  showForm();
  name->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(sup_.state(), db::DataSet::State::kBrowse);
  name->selectAll();
  QTest::keyClicks(name, "Acme Inc");
  EXPECT_EQ(sup_.state(), db::DataSet::State::kEdit);  // the first key put the record in edit state
  EXPECT_TRUE(name->pendingEdit());
  EXPECT_EQ(sup_.fieldByName("Sup_name").asString(), "Acme Supplies");  // not yet written

  other_->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(exited.count(), 1);
  EXPECT_FALSE(name->pendingEdit());
  EXPECT_EQ(sup_.fieldByName("Sup_name").asString(), "Acme Inc");
  EXPECT_EQ(stored("ACME", "Sup_name"), "Acme Supplies");  // written to the record, not yet posted
  ASSERT_OK(sup_.post());
  EXPECT_EQ(stored("ACME", "Sup_name"), "Acme Inc");
  EXPECT_TRUE(dialogs_.shown.empty());

  // The field's size bounds what can be keyed.
  name->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(name->maxLength(), 20);
}

TEST_F(DataControlsTest, ABadDateIsRefusedWithAMessageAndTheFocusStays) {
  auto* date = add(new DBEdit(&form_, &form_, "TransDate"));
  date->setDataSource(&source_);
  date->setDataField("Sup_date");
  QSignalSpy exited(date, &MaskEdit::exited);
  showForm();
  date->setFocus(Qt::TabFocusReason);
  date->home(false);
  QTest::keyClicks(date, "31022026");
  EXPECT_EQ(date->text(), "31/02/2026");
  other_->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();

  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].kind, MessageKind::kError);
  EXPECT_TRUE(dialogs_.shown[0].text.contains("'31/02/2026' is not a valid date"))
      << dialogs_.shown[0].text.toStdString();
  EXPECT_TRUE(date->hasFocus());
  EXPECT_EQ(exited.count(), 0);  // the window's exit handler does not run
  EXPECT_TRUE(date->pendingEdit());
  EXPECT_EQ(date->text(), "31/02/2026");  // kept for correcting
  EXPECT_EQ(sup_.fieldByName("Sup_date").asString(), "01/05/2026");

  // Corrected, it goes through; a posted record carries it.
  date->home(false);
  QTest::keyClicks(date, "28");
  other_->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(exited.count(), 1);
  ASSERT_OK(sup_.post());
  EXPECT_EQ(stored("ACME", "Sup_date"), "28/02/2026");

  // Emptied, the date becomes blank rather than an error.
  date->setFocus(Qt::TabFocusReason);
  date->selectAll();
  QTest::keyClick(date, Qt::Key_Delete);
  other_->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  EXPECT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(sup_.fieldByName("Sup_date").isNull());
}

TEST_F(DataControlsTest, MessagesFollowTheControlsLanguage) {
  setControlsLanguage(2);
  auto* bal = add(new DBEdit(&form_, &form_, "BalEdit"));
  bal->setDataSource(&source_);
  bal->setDataField("Sup_bal");
  showForm();
  bal->setFocus(Qt::TabFocusReason);
  bal->selectAll();
  QTest::keyClicks(bal, "12,5,0");
  other_->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].caption, "Erreur");
  EXPECT_TRUE(dialogs_.shown[0].text.contains(QString::fromUtf8("n'est pas un nombre valide")))
      << dialogs_.shown[0].text.toStdString();
}

TEST_F(DataControlsTest, APostWritesWhatIsBeingKeyedOrFailsWithoutWriting) {
  auto* name = add(new DBEdit(&form_, &form_, "NameEdit"));
  name->setDataSource(&source_);
  name->setDataField("Sup_name");
  auto* date = add(new DBEdit(&form_, &form_, "DateEdit"));
  date->setDataSource(&source_);
  date->setDataField("Sup_date");
  showForm();

  // Keyed and posted without leaving the control: the post takes the text.
  name->setFocus(Qt::TabFocusReason);
  name->selectAll();
  QTest::keyClicks(name, "Acme Canada");
  ASSERT_OK(sup_.post());
  EXPECT_EQ(stored("ACME", "Sup_name"), "Acme Canada");

  // A value the field refuses stops the post: nothing is written.
  date->setFocus(Qt::TabFocusReason);
  date->home(false);
  QTest::keyClicks(date, "99");
  EXPECT_EQ(sup_.state(), db::DataSet::State::kEdit);
  EXPECT_THROW((void)sup_.post(), db::DatabaseError);
  EXPECT_EQ(sup_.state(), db::DataSet::State::kEdit);
  EXPECT_EQ(stored("ACME", "Sup_date"), "01/05/2026");
  ASSERT_OK(sup_.cancel());
  EXPECT_FALSE(date->pendingEdit());
  EXPECT_EQ(date->text(), "01/05/2026");  // the cancel shows the record again
}

TEST_F(DataControlsTest, EscapeTakesBackWhatWasKeyed) {
  auto* name = add(new DBEdit(&form_, &form_, "NameEdit"));
  name->setDataSource(&source_);
  name->setDataField("Sup_name");
  showForm();
  name->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(name, "zzz");
  EXPECT_TRUE(name->pendingEdit());
  QTest::keyClick(name, Qt::Key_Escape);
  EXPECT_FALSE(name->pendingEdit());
  EXPECT_EQ(name->text(), "Acme Supplies");
  other_->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(sup_.fieldByName("Sup_name").asString(), "Acme Supplies");
}

TEST_F(DataControlsTest, EditIsReadOnlyWhereTheFieldCannotChange) {
  auto* name = add(new DBEdit(&form_, &form_, "NameEdit"));
  name->setDataSource(&source_);
  name->setDataField("Sup_name");
  EXPECT_FALSE(name->isReadOnly());
  name->setReadOnly(true);
  EXPECT_TRUE(name->isReadOnly());
  name->setReadOnly(false);

  // A read-only field, a calculated one, a missing one.
  sup_.fieldByName("Sup_name").readOnly = true;
  name->setDataField("Sup_code");
  name->setDataField("Sup_name");
  EXPECT_TRUE(name->isReadOnly());
  sup_.fieldByName("Sup_name").readOnly = false;
  name->setDataField("No_such_field");
  EXPECT_TRUE(name->isReadOnly());
  EXPECT_EQ(name->text(), "");

  // Without autoEdit the record must already be in edit state.
  name->setDataField("Sup_name");
  name->setAutoEdit(false);
  name->setDataField("Sup_code");
  EXPECT_TRUE(name->isReadOnly());
  ASSERT_OK(sup_.edit());
  EXPECT_FALSE(name->isReadOnly());
  ASSERT_OK(sup_.cancel());

  // A query's rows cannot be changed.
  db::Query q;
  q.setDatabaseName(dir_.path());
  q.setSql({"SELECT * FROM sup"});
  ASSERT_OK(q.open());
  db::DataSource qs(&q);
  auto* fromQuery = add(new DBEdit(&form_, &form_, "QueryEdit"));
  fromQuery->setDataSource(&qs);
  fromQuery->setDataField("Sup_name");
  EXPECT_EQ(fromQuery->text(), "Acme Supplies");
  EXPECT_TRUE(fromQuery->isReadOnly());
  delete fromQuery;
}

TEST_F(DataControlsTest, ARecordAnotherCursorHoldsIsReportedAndNothingIsKeyed) {
  auto* name = add(new DBEdit(&form_, &form_, "NameEdit"));
  name->setDataSource(&source_);
  name->setDataField("Sup_name");
  db::Table holder;
  holder.setDatabaseName(dir_.path());
  holder.setTableName("sup");
  ASSERT_OK(holder.open());
  ASSERT_OK(holder.edit());  // the same record (ACME), locked

  showForm();
  name->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(name, "x");
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(dialogs_.shown[0].text.startsWith("The record is locked by another user."))
      << dialogs_.shown[0].text.toStdString();
  EXPECT_EQ(name->text(), "Acme Supplies");
  EXPECT_FALSE(name->pendingEdit());
  EXPECT_EQ(sup_.state(), db::DataSet::State::kBrowse);
  ASSERT_OK(holder.cancel());
}

TEST_F(DataControlsTest, LabelCheckBoxAndComboBoxFollowAndWrite) {
  auto* text = add(new DBText(&form_, &form_, "DBText1"));
  text->setDataSource(&source_);
  text->setDataField("Sup_bal");
  text->setCaption("ignored");
  auto* po = add(new DBCheckBox(&form_, &form_, "PoBox", "P.O. required"));
  po->setDataSource(&source_);
  po->setDataField("Sup_po");
  auto* terms = add(new DBComboBox(&form_, &form_, "TermsBox"));
  terms->setItems({"Net 30", "COD", "Net 60"});
  terms->setDataSource(&source_);
  terms->setDataField("Sup_terms");

  EXPECT_EQ(text->text(), "$1,234.50");
  EXPECT_TRUE(po->isChecked());
  EXPECT_EQ(po->caption(), "P.O. required");
  EXPECT_EQ(terms->currentText(), "Net 30");
  ASSERT_OK(sup_.next());
  EXPECT_EQ(text->text(), "-$12.50");
  EXPECT_FALSE(po->isChecked());
  EXPECT_EQ(terms->currentIndex(), 1);
  ASSERT_OK(sup_.next());  // blank fields
  EXPECT_EQ(text->text(), "");
  EXPECT_FALSE(po->isChecked());
  EXPECT_EQ(terms->currentIndex(), -1);

  // Clicking the box writes the field at once.
  showForm();
  po->click();
  EXPECT_TRUE(po->isChecked());
  EXPECT_EQ(sup_.state(), db::DataSet::State::kEdit);
  EXPECT_TRUE(sup_.fieldByName("Sup_po").asBoolean());
  // Choosing an item writes it.
  terms->setFocus();
  QTest::keyClick(terms, Qt::Key_Down);
  EXPECT_EQ(sup_.fieldByName("Sup_terms").asString(), "Net 30");
  ASSERT_OK(sup_.post());
  EXPECT_EQ(stored("CEDAR", "Sup_po"), "True");
  EXPECT_EQ(stored("CEDAR", "Sup_terms"), "Net 30");

  // The label repaints when the field changes under it.
  ASSERT_OK(sup_.edit());
  ASSERT_OK(sup_.fieldByName("Sup_bal").setAsFloat(7));
  EXPECT_EQ(text->text(), "$7.00");
  ASSERT_OK(sup_.cancel());

  // Read-only: the box does not change.
  po->setReadOnly(true);
  po->click();
  EXPECT_TRUE(po->isChecked());
  EXPECT_EQ(sup_.state(), db::DataSet::State::kBrowse);
}

TEST_F(DataControlsTest, EditableComboBoxWritesWhatWasKeyedOnLeaving) {
  auto* terms = add(new DBComboBox(&form_, &form_, "TermsBox"));
  terms->setEditable(true);
  terms->setItems({"Net 30", "COD"});
  terms->setDataSource(&source_);
  terms->setDataField("Sup_terms");
  showForm();
  terms->setFocus(Qt::TabFocusReason);
  terms->lineEdit()->selectAll();
  QTest::keyClicks(terms->lineEdit(), "2% 10");
  EXPECT_EQ(sup_.state(), db::DataSet::State::kEdit);
  EXPECT_EQ(sup_.fieldByName("Sup_terms").asString(), "Net 30");
  other_->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(sup_.fieldByName("Sup_terms").asString(), "2% 10");
}

TEST_F(DataControlsTest, ControlsOutliveTheirDataSourceAndDataSet) {
  auto source = std::make_unique<db::DataSource>(&sup_);
  auto* name = add(new DBEdit(&form_, &form_, "NameEdit"));
  name->setDataSource(source.get());
  name->setDataField("Sup_name");
  auto* text = add(new DBText(&form_, &form_, "NameText"));
  text->setDataSource(source.get());
  text->setDataField("Sup_name");
  source.reset();
  EXPECT_EQ(name->dataSource(), nullptr);
  EXPECT_EQ(name->field(), nullptr);
  showForm();
  name->setFocus(Qt::TabFocusReason);
  other_->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(dialogs_.shown.empty());
}

// ---------------------------------------------------------------- money field

class CurrencyFieldTest : public DataControlsTest {};

TEST_F(CurrencyFieldTest, ShowsAmountsInTheCurrentCurrencyFormat) {
  auto* cell = add(new CurrencyField(&form_, &form_, "Curr_1"));
  EXPECT_FALSE(cell->bound());
  EXPECT_EQ(cell->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  ASSERT_OK(cell->setValue(*db::Money::fromDouble(1234.5)));
  EXPECT_EQ(cell->caption(), "$1,234.50");
  ASSERT_OK(cell->setValue(*db::Money::fromDouble(-12.5)));
  EXPECT_EQ(cell->caption(), "-$12.50");

  // Negative in parentheses, then symbol after: the window switches the
  // format and the control shows it at its next repaint of the value.
  db::RegionalFormats::current().negativeInParentheses = true;
  ASSERT_OK(cell->setValue(*db::Money::fromDouble(-12.5)));
  EXPECT_EQ(cell->caption(), "($12.50)");
  db::RegionalFormats::current().symbolBefore = false;
  ASSERT_OK(cell->setValue(*db::Money::fromDouble(-12.5)));
  EXPECT_EQ(cell->caption(), "(12.50$)");
  ASSERT_OK(cell->setValue(*db::Money::fromDouble(12.5)));
  EXPECT_EQ(cell->caption(), "12.50$");
  db::RegionalFormats::current().currencySymbol = "€";
  ASSERT_OK(cell->setValue(*db::Money::fromDouble(1000000)));
  EXPECT_EQ(cell->caption(), QString::fromUtf8("1,000,000.00€"));
}

TEST_F(CurrencyFieldTest, ReadsAmountsAsKeyed) {
  using db::Money;
  auto amount = [](const char* text) { return CurrencyField::parseAmount(QString::fromUtf8(text)); };
  EXPECT_EQ(amount("12.5"), Money::fromDouble(12.5));
  EXPECT_EQ(amount(" -0.0001 "), Money::fromUnits(-1));
  EXPECT_EQ(amount("$1,234.56"), Money::fromDouble(1234.56));
  EXPECT_EQ(amount("(12.50$)"), Money::fromDouble(-12.5));
  EXPECT_EQ(amount("-$12.50"), Money::fromDouble(-12.5));
  EXPECT_EQ(amount("7"), Money::fromDouble(7));
  EXPECT_FALSE(amount(""));
  EXPECT_FALSE(amount("   "));
  EXPECT_FALSE(amount("12.34567"));  // more than four decimals
  EXPECT_FALSE(amount("1.2.3"));
  EXPECT_FALSE(amount("--1"));
  EXPECT_FALSE(amount("(-5)"));
  EXPECT_FALSE(amount("1234567890123"));  // beyond what an amount holds
  EXPECT_FALSE(amount("12a"));

  // A comma as the decimal separator and blanks as grouping.
  db::RegionalFormats::current().decimalSeparator = ',';
  db::RegionalFormats::current().thousandSeparator = ' ';
  EXPECT_EQ(amount("1 234,56"), Money::fromDouble(1234.56));

  EXPECT_EQ(CurrencyField::editText(*Money::fromDouble(-1234.5)), "-1234.50");
  EXPECT_EQ(CurrencyField::editText(Money::fromUnits(1234)), "0.1234");
  EXPECT_EQ(CurrencyField::editText(Money::fromUnits(1230)), "0.123");
  EXPECT_EQ(CurrencyField::editText(Money()), "0.00");
}

TEST_F(CurrencyFieldTest, KeysAPlainDecimalAndRefusesWhatIsNoAmount) {
  auto* cell = add(new CurrencyField(&form_, &form_, "Curr_1"));
  QSignalSpy changed(cell, &CurrencyField::valueChanged);
  QSignalSpy exited(cell, &CurrencyField::exited);
  ASSERT_OK(cell->setValue(*db::Money::fromDouble(30)));
  showForm();
  cell->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(cell->caption(), "30.00");
  cell->selectAll();
  QTest::keyClicks(cell, "4x5");  // the letter never gets in
  EXPECT_EQ(cell->caption(), "45");
  EXPECT_EQ(cell->value(), *db::Money::fromDouble(30));  // not stored before leaving
  other_->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(cell->value(), *db::Money::fromDouble(45));
  EXPECT_EQ(cell->caption(), "$45.00");
  EXPECT_EQ(changed.count(), 2);  // setValue, then the keyed amount
  EXPECT_EQ(exited.count(), 1);

  cell->setFocus(Qt::TabFocusReason);
  cell->selectAll();
  QTest::keyClicks(cell, "1.2.3");
  other_->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(dialogs_.shown[0].text.contains("'1.2.3' is not a valid amount"));
  EXPECT_TRUE(cell->hasFocus());
  EXPECT_EQ(exited.count(), 1);
  EXPECT_EQ(cell->value(), *db::Money::fromDouble(45));

  // Escape takes it back; an empty cell is zero.
  QTest::keyClick(cell, Qt::Key_Escape);
  EXPECT_EQ(cell->caption(), "45.00");
  cell->selectAll();
  QTest::keyClick(cell, Qt::Key_Delete);
  other_->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(cell->value().isZero());
}

TEST_F(CurrencyFieldTest, BoundToAMoneyFieldOfARecordKeptInEditState) {
  // The way the entry window's cells work: the scratch record stays in edit
  // state, the cells write into it, and it is never posted.
  ASSERT_OK(sup_.edit());
  auto* cell = add(new CurrencyField(&form_, &form_, "Curr_2"));
  cell->setDataSource(&source_);
  cell->setDataField("Sup_bal");
  EXPECT_TRUE(cell->bound());
  EXPECT_EQ(cell->caption(), "$1,234.50");
  EXPECT_EQ(cell->value(), *db::Money::fromDouble(1234.5));

  showForm();
  cell->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(cell->caption(), "1234.50");
  cell->selectAll();
  QTest::keyClicks(cell, "(100)");
  other_->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(sup_.fieldByName("Sup_bal").asCurrency(), *db::Money::fromDouble(-100));
  EXPECT_EQ(cell->caption(), "-$100.00");

  ASSERT_OK(cell->setValue(*db::Money::fromDouble(0.1)));
  EXPECT_EQ(sup_.fieldByName("Sup_bal").asFloat(), 0.1);

  // Emptied, the field is blank.
  cell->setFocus(Qt::TabFocusReason);
  cell->selectAll();
  QTest::keyClick(cell, Qt::Key_Delete);
  other_->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(sup_.fieldByName("Sup_bal").isNull());
  EXPECT_TRUE(cell->isBlank());
  EXPECT_EQ(cell->caption(), "");

  ASSERT_OK(sup_.cancel());
  EXPECT_EQ(cell->caption(), "$1,234.50");
  EXPECT_EQ(stored("ACME", "Sup_bal"), "1234.5");
}

TEST_F(CurrencyFieldTest, BoundCellIsReadOnlyOverAQuery) {
  db::Query q;
  q.setDatabaseName(dir_.path());
  q.setSql({"SELECT * FROM sup"});
  ASSERT_OK(q.open());
  db::DataSource qs(&q);
  auto* cell = add(new CurrencyField(&form_, &form_, "TotalDBEdit"));
  cell->setDataSource(&qs);
  cell->setDataField("Sup_bal");
  EXPECT_TRUE(cell->isReadOnly());
  EXPECT_EQ(cell->caption(), "$1,234.50");
  EXPECT_FALSE(cell->setValue(db::Money()).ok());
  delete cell;
}

}  // namespace
}  // namespace ui
