// The money field: an amount shown in the current currency format and keyed
// as a plain decimal.
//
// Without the focus it shows db::formatCurrency of the amount with
// db::RegionalFormats::current(), so that it follows the display currency the
// window selects ($12.50, 12.50$, (12.50$)); with the focus it shows the
// amount as a plain decimal ("-1234.5" as "-1234.50") right aligned for
// keying. It either shows a field of a data source (a money field of a
// record) or, unbound, holds its own amount (value()/setValue()).
//
// Keying accepts digits, a sign, the decimal point ('.' or the regional
// separator), and ignores grouping, the currency symbol and blanks; an
// amount in parentheses is negative. Leaving the control stores the amount;
// text that is no amount is refused with a message and the focus stays.
// Bound, it behaves as the data-bound edit does (data_controls.h): autoEdit,
// read-only when the field cannot be changed, written before a post, Escape
// takes back what was keyed.
#pragma once

#include <QLineEdit>
#include <optional>

#include "db/money.h"
#include "ui/component.h"
#include "ui/field_link.h"

namespace ui {

class CurrencyField : public QLineEdit, public Component {
  Q_OBJECT
 public:
  CurrencyField(ComponentOwner* owner, QWidget* parent, const QString& name);
  ~CurrencyField() override;
  QObject* object() override { return this; }
  // The amount as shown; translation leaves it alone.
  QString caption() const override { return QLineEdit::text(); }
  void setCaption(const QString&) override {}

  db::DataSource* dataSource() const { return link_.dataSource(); }
  void setDataSource(db::DataSource* source) { link_.setDataSource(source); }
  QString dataField() const { return link_.fieldName(); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  db::Field* field() const { return link_.field(); }
  // Shows a field (a data field is named) rather than its own amount.
  bool bound() const { return !link_.fieldName().isEmpty(); }

  // The amount stored: the field's (zero when blank or when there is no
  // record) or, unbound, the control's own. What is being keyed does not
  // count until it is stored.
  db::Money value() const;
  // Stores an amount: into the field (putting the dataset in edit state when
  // it may), or as the control's own. Forgets what was being keyed.
  pdx::Status setValue(db::Money amount);
  // The field is blank (unbound: never).
  bool isBlank() const;

  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly);
  bool autoEdit() const { return link_.autoEdit; }
  void setAutoEdit(bool autoEdit) { link_.autoEdit = autoEdit; }

  bool pendingEdit() const { return modified_; }
  // Stores what was keyed now; ok when nothing was pending. On failure the
  // text stays as keyed.
  pdx::Status writeValue();

  // An amount as keyed (see above); blank text is nullopt too.
  static std::optional<db::Money> parseAmount(const QString& text);
  // The plain decimal the edit shows while keying: two decimals, or up to
  // four when the amount has them.
  static QString editText(db::Money amount);

 signals:
  void entered();
  // The focus left for another control and the amount was stored.
  void exited();
  // The stored amount changed (keyed and stored, or setValue on an unbound field).
  void valueChanged();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void showValue();
  void userEdited();
  pdx::Status store(const QString& typed);

  FieldLink link_;
  db::Money own_;
  bool readOnly_ = false;
  bool modified_ = false;
  bool starting_ = false;
};

}  // namespace ui
