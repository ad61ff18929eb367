// Bevels as the suite's controls draw them: nested one-pixel outlines, the
// top and left edges in one colour, the bottom and right edges in another.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

namespace ui::paint {

// Draws `n` nested outlines inside `r` and shrinks `r` by one pixel on every
// side after each, so that a following frame lies inside this one. The top
// colour takes the left column and the top row except their far ends; the
// bottom colour takes the right column and the bottom row whole, corners
// included. A zero or negative `n` draws nothing.
inline void frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight, int n) {
  for (int i = 0; i < n && r.width() > 0 && r.height() > 0; ++i) {
    const int l = r.left(), t = r.top(), right = r.left() + r.width() - 1, bottom = r.top() + r.height() - 1;
    p.fillRect(l, t, 1, bottom - t, topLeft);
    p.fillRect(l, t, right - l, 1, topLeft);
    p.fillRect(right, t, 1, bottom - t + 1, bottomRight);
    p.fillRect(l, bottom, right - l + 1, 1, bottomRight);
    r.adjust(1, 1, -1, -1);
  }
}

}  // namespace ui::paint
