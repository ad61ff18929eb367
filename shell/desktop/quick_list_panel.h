// One floating panel of the desktop: a navy group box on the wallpaper with
// its caption, three small title buttons (reduce, enlarge, close) and a
// content control (a list's grid or the note's editor) along its bottom edge.
//
// Its Tag is 1 while the panel is open and 0 while it is closed. The user
// drags it by its frame within the wallpaper, which is its parent; a press on
// it, or the focus entering it, brings it above the other panels. Every such
// change of the desktop is announced by changed().
#pragma once

#include <QRect>

#include "ui/controls.h"

namespace shell {

class QuickListPanel : public ui::GroupBox {
  Q_OBJECT
 public:
  // The title buttons are the components <prefix>Reduce, <prefix>Enlarge and
  // <prefix>Close. The panel starts closed and hidden at `designed`.
  QuickListPanel(ui::ComponentOwner* owner, QWidget* wallpaper, const QString& name, const QString& prefix,
                 const QString& caption, const QRect& designed);

  ui::ToolButton* ReduceBtn;
  ui::ToolButton* EnlargeBtn;
  ui::ToolButton* CloseBtn;

  QWidget* content() const { return content_; }
  void setContent(QWidget* content);

  bool isOpen() const { return tag() == 1; }

  // The layout of an opened or resized panel: the close button at width - 23,
  // enlarge at width - 46, reduce at width - 65, all at top 11, and the
  // content 34 pixels shorter than the panel, along its bottom edge.
  void layOut();
  // The size buttons: width and height divided (reduce) or multiplied
  // (enlarge) by `widthStep` and `heightStep`, whole part taken, then laid
  // out; the place does not change. A step that would make the panel too
  // small to use (less than kMinimumSize) or larger than the wallpaper is
  // not taken: false, nothing changed.
  bool resizeBy(bool enlarge, double widthStep, double heightStep);
  static constexpr QSize kMinimumSize{120, 80};

  // Puts the panel above its sibling panels.
  void bringToFront();

 signals:
  // The user moved the panel or brought it to the front.
  void changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  ui::ToolButton* titleButton(const QString& name, const QString& text);

  QWidget* content_ = nullptr;
  bool dragging_ = false;
  QPoint drag_;  // where the press took hold, in the panel's coordinates
};

}  // namespace shell
