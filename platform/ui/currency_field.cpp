#include "ui/currency_field.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QValidator>

#include "db/data_set.h"
#include "db/error.h"
#include "db/field.h"
#include "db/formats.h"

namespace ui {

namespace {

// Lets through what an amount may be keyed with, so that a stray letter
// never reaches the edit; whether it is an amount is decided on leaving.
class AmountValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    const db::RegionalFormats& f = db::RegionalFormats::current();
    const QString symbol = QString::fromStdString(f.currencySymbol);
    for (QChar c : input) {
      if (c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('+') || c == QLatin1Char('.') ||
          c == QLatin1Char(',') || c == QLatin1Char('(') || c == QLatin1Char(')') || c == QLatin1Char(' ') ||
          c == QLatin1Char('$') || c == QLatin1Char(f.decimalSeparator) || c == QLatin1Char(f.thousandSeparator) ||
          symbol.contains(c))
        continue;
      return Invalid;
    }
    return CurrencyField::parseAmount(input) || input.trimmed().isEmpty() ? Acceptable : Intermediate;
  }
};

bool leftForAnotherControl(const QFocusEvent* event) {
  return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

QString invalidAmountText(const QString& typed) {
  return controlsLanguage() == 2 ? QString::fromUtf8("« %1 » n'est pas un montant valide.").arg(typed.trimmed())
                                 : QString::fromUtf8("'%1' is not a valid amount.").arg(typed.trimmed());
}

}  // namespace

CurrencyField::CurrencyField(ComponentOwner* owner, QWidget* parent, const QString& name) : QLineEdit(parent) {
  attach(owner, name);
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setValidator(new AmountValidator(this));
  link_.onChange = [this] { showValue(); };
  link_.onUpdateData = [this] {
    if (!modified_) return;
    const QString typed = QLineEdit::text();
    const pdx::Status s = writeValue();
    if (s.ok()) return;
    QTimer::singleShot(0, this, [this] {
      setFocus();
      selectAll();
    });
    throw db::DatabaseError(invalidAmountText(typed).toStdString(), s);
  };
  connect(this, &QLineEdit::textEdited, this, &CurrencyField::userEdited);
  showValue();
}

CurrencyField::~CurrencyField() = default;

std::optional<db::Money> CurrencyField::parseAmount(const QString& text) {
  const db::RegionalFormats& f = db::RegionalFormats::current();
  QString s = text.trimmed();
  bool negative = false;
  if (s.startsWith(QLatin1Char('(')) && s.endsWith(QLatin1Char(')'))) {
    negative = true;
    s = s.mid(1, s.size() - 2);
  }
  s.remove(QString::fromStdString(f.currencySymbol));
  s.remove(QLatin1Char('$'));
  s.remove(QLatin1Char(' '));
  if (f.thousandSeparator != f.decimalSeparator) s.remove(QLatin1Char(f.thousandSeparator));
  if (f.decimalSeparator != '.') s.replace(QLatin1Char(f.decimalSeparator), QLatin1Char('.'));
  // The symbol may sit between the sign and the digits ("-$12.50").
  s = s.trimmed();
  if (s.isEmpty()) return std::nullopt;
  if (negative && (s.startsWith(QLatin1Char('-')) || s.startsWith(QLatin1Char('+')))) return std::nullopt;
  std::optional<db::Money> amount = db::Money::parse(s.toStdString());
  if (!amount) return std::nullopt;
  return negative ? -*amount : *amount;
}

QString CurrencyField::editText(db::Money amount) {
  QString s = QString::fromStdString(amount.toString(4));
  // Four decimals down to two, unless the last two carry something.
  while (s.endsWith(QLatin1Char('0')) && s.indexOf(QLatin1Char('.')) >= 0 && s.size() - s.indexOf(QLatin1Char('.')) > 3)
    s.chop(1);
  return s;
}

db::Money CurrencyField::value() const {
  if (!bound()) return own_;
  const db::Field* f = field();
  return f ? f->asCurrency() : db::Money();
}

bool CurrencyField::isBlank() const {
  if (!bound()) return false;
  const db::Field* f = field();
  return !f || f->isNull();
}

pdx::Status CurrencyField::setValue(db::Money amount) {
  modified_ = false;
  if (!bound()) {
    const bool changed = amount != own_;
    own_ = amount;
    showValue();
    if (changed) emit valueChanged();
    return {};
  }
  db::Field* f = field();
  if (!f) return pdx::Status(pdx::code::kInvalidParameter, "no field \"" + dataField().toStdString() + "\"");
  const pdx::Status s = guarded([&] {
    pdx::Status started = link_.startEditing();
    if (!started.ok()) return started;
    return f->setAsCurrency(amount);
  });
  showValue();
  return s;
}

void CurrencyField::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  showValue();
}

void CurrencyField::showValue() {
  if (starting_) return;
  modified_ = false;
  const db::Field* f = bound() ? field() : nullptr;
  const bool blank = bound() && (!f || f->isNull());
  const db::Money amount = value();
  if (blank)
    QLineEdit::setText(QString());
  else if (hasFocus())
    QLineEdit::setText(editText(amount));
  else
    QLineEdit::setText(QString::fromStdString(db::formatCurrency(amount.toDouble())));
  setModified(false);
  QLineEdit::setReadOnly(readOnly_ || (bound() && !link_.canModify()));
}

void CurrencyField::userEdited() {
  if (modified_) return;
  if (!bound()) {
    modified_ = true;
    return;
  }
  startKeyedEdit(*this, link_, starting_, modified_, [this] { showValue(); });
}

pdx::Status CurrencyField::store(const QString& typed) {
  const bool blank = typed.trimmed().isEmpty();
  const std::optional<db::Money> amount = parseAmount(typed);
  if (!blank && !amount) return pdx::Status(pdx::code::kInvalidValue, "not an amount");
  if (!bound()) {
    const db::Money before = own_;
    own_ = amount.value_or(db::Money());
    modified_ = false;
    showValue();
    if (own_ != before) emit valueChanged();
    return {};
  }
  db::Field* f = field();
  if (!f) {
    modified_ = false;
    return {};
  }
  const bool wasBlank = f->isNull();
  const db::Money before = f->asCurrency();
  const pdx::Status s = guarded([&] {
    pdx::Status started = link_.startEditing();
    if (!started.ok()) return started;
    return blank ? f->clear() : f->setAsCurrency(*amount);
  });
  if (!s.ok()) return s;
  modified_ = false;
  showValue();
  if (f->isNull() != wasBlank || f->asCurrency() != before) emit valueChanged();
  return {};
}

pdx::Status CurrencyField::writeValue() {
  if (!modified_) return {};
  return store(QLineEdit::text());
}

void CurrencyField::focusInEvent(QFocusEvent* event) {
  if (!modified_) showValue();
  QLineEdit::focusInEvent(event);
  if (leftForAnotherControl(event)) emit entered();
}

void CurrencyField::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (!leftForAnotherControl(event)) return;
  const QString typed = QLineEdit::text();
  const pdx::Status s = writeValue();
  if (!s.ok()) {
    const QString message = s.is(pdx::code::kInvalidValue) ? invalidAmountText(typed) : dataErrorText(s);
    QTimer::singleShot(0, this, [this, message] {
      showDataError(this, message);
      setFocus();
      selectAll();
    });
    return;
  }
  showValue();
  emit exited();
}

void CurrencyField::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && modified_) {
    showValue();
    selectAll();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace ui
