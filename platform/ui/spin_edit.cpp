#include "ui/spin_edit.h"

#include <QStyle>
#include <QStyleOptionSpinBox>
#include <limits>

namespace ui {

SpinEdit::SpinEdit(ComponentOwner* owner, QWidget* parent, const QString& name) : QSpinBox(parent) {
  attach(owner, name);
  applyRange();
  setValue(0);
}

void SpinEdit::setCaption(const QString& caption) {
  bool ok = false;
  const int v = caption.trimmed().toInt(&ok);
  if (ok) setValue(v);
}

void SpinEdit::setMinValue(int value) {
  min_ = value;
  applyRange();
}

void SpinEdit::setMaxValue(int value) {
  max_ = value;
  applyRange();
}

void SpinEdit::applyRange() {
  if (min_ == 0 && max_ == 0) {
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  } else {
    // A maximum below the minimum is read as no room at all above it.
    setRange(min_, std::max(min_, max_));
  }
}

QRect SpinEdit::upButtonRect() const {
  QStyleOptionSpinBox option;
  initStyleOption(&option);
  return style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, this);
}

QRect SpinEdit::downButtonRect() const {
  QStyleOptionSpinBox option;
  initStyleOption(&option);
  return style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxDown, this);
}

}  // namespace ui
