// A spin edit: an integer with up and down buttons.
//
// Holding a button down repeats its step (after a short pause, then
// steadily), as do the arrow keys held down. The value stays within
// minValue..maxValue; with both at 0 (the default) it has no bounds but the
// integer's own.
#pragma once

#include <QRect>
#include <QSpinBox>

#include "ui/component.h"

namespace ui {

class SpinEdit : public QSpinBox, public Component {
 public:
  SpinEdit(ComponentOwner* owner, QWidget* parent, const QString& name);
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override;

  int minValue() const { return min_; }
  int maxValue() const { return max_; }
  void setMinValue(int value);
  void setMaxValue(int value);
  int increment() const { return singleStep(); }
  void setIncrement(int step) { setSingleStep(step); }

  // Where the buttons are, in the control's coordinates.
  QRect upButtonRect() const;
  QRect downButtonRect() const;

 private:
  void applyRange();
  int min_ = 0;
  int max_ = 0;
};

}  // namespace ui
