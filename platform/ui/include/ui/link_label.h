// A label the user can click to follow what it names (a folder, a web page,
// a mail address): a hand cursor over it, underlined when the pointer or the
// focus is on it, and reachable with Tab and followed with Return or Space,
// so the keyboard reaches it as the mouse does.
#pragma once

#include <functional>

#include "ui/controls.h"

namespace ui {

class LinkLabel : public Label {
 public:
  LinkLabel(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& caption = {});
  // Told when the label is clicked or activated from the keyboard.
  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void setUnderlined(bool on);
  void follow();
};

}  // namespace ui
