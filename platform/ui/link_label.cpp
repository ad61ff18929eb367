#include "ui/link_label.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace ui {

LinkLabel::LinkLabel(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption)
    : Label(owner, parent, name, caption) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setTextInteractionFlags(Qt::NoTextInteraction);
}

void LinkLabel::follow() {
  if (onClick) onClick();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    follow();
    return;
  }
  Label::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier &&
      (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)) {
    follow();
    return;
  }
  Label::keyPressEvent(event);
}

void LinkLabel::setUnderlined(bool on) {
  QFont f = font();
  f.setUnderline(on);
  setFont(f);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
  setUnderlined(true);
  Label::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
  setUnderlined(hasFocus());
  Label::leaveEvent(event);
}

void LinkLabel::focusInEvent(QFocusEvent* event) {
  setUnderlined(true);
  Label::focusInEvent(event);
}

void LinkLabel::focusOutEvent(QFocusEvent* event) {
  setUnderlined(underMouse());
  Label::focusOutEvent(event);
}

}  // namespace ui
