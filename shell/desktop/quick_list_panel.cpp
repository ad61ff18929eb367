#include "quick_list_panel.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace shell {

namespace {

constexpr int kTitleTop = 11;
constexpr int kTitleButton = 16;
constexpr int kContentMargin = 2;
constexpr int kTitleHeight = 34;  // what the content leaves above it

}  // namespace

QuickListPanel::QuickListPanel(ui::ComponentOwner* owner, QWidget* wallpaper, const QString& name,
                               const QString& prefix, const QString& caption, const QRect& designed)
    : ui::GroupBox(owner, wallpaper, name, caption) {
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(0, 0, 128));  // navy
  colours.setColor(QPalette::WindowText, Qt::white);
  setPalette(colours);
  setFont(QFont("Arial", 8));
  setGeometry(designed);
  ReduceBtn = titleButton(prefix + "Reduce", QStringLiteral("\u2013"));
  EnlargeBtn = titleButton(prefix + "Enlarge", QStringLiteral("+"));
  CloseBtn = titleButton(prefix + "Close", QStringLiteral("X"));
  QFont bold = CloseBtn->font();
  bold.setBold(true);
  CloseBtn->setFont(bold);
  setTag(0);
  hide();
  layOut();
}

ui::ToolButton* QuickListPanel::titleButton(const QString& name, const QString& text) {
  auto* button = new ui::ToolButton(owner(), this, name, text);
  button->setAutoRaise(false);
  button->setFocusPolicy(Qt::NoFocus);
  button->setFont(QFont("Arial", 8));
  button->resize(kTitleButton, kTitleButton);
  return button;
}

void QuickListPanel::setContent(QWidget* content) {
  content_ = content;
  layOut();
}

void QuickListPanel::layOut() {
  const int w = width(), h = height();
  CloseBtn->move(w - 23, kTitleTop);
  EnlargeBtn->move(w - 46, kTitleTop);
  ReduceBtn->move(w - 65, kTitleTop);
  if (content_) content_->setGeometry(kContentMargin, kTitleHeight - kContentMargin, w - 2 * kContentMargin, h - kTitleHeight);
}

bool QuickListPanel::resizeBy(bool enlarge, double widthStep, double heightStep) {
  const int w = static_cast<int>(std::floor(enlarge ? width() * widthStep : width() / widthStep));
  const int h = static_cast<int>(std::floor(enlarge ? height() * heightStep : height() / heightStep));
  if (w < kMinimumSize.width() || h < kMinimumSize.height()) return false;
  const QWidget* wallpaper = parentWidget();
  if (enlarge && wallpaper && (w > wallpaper->width() || h > wallpaper->height())) return false;
  resize(w, h);
  layOut();
  return true;
}

void QuickListPanel::bringToFront() {
  // Above the other panels; the shortcut buttons lie beneath every panel.
  raise();
}

void QuickListPanel::resizeEvent(QResizeEvent* event) {
  ui::GroupBox::resizeEvent(event);
  // The content keeps its height along the bottom edge, as an aligned
  // control does; layOut() gives it its height.
  if (content_) {
    const int h = content_->height();
    content_->setGeometry(kContentMargin, height() - kContentMargin - h, width() - 2 * kContentMargin, h);
  }
}

void QuickListPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor colour = palette().color(QPalette::Window);
  p.fillRect(rect(), colour);
  p.setPen(colour.lighter(250));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  p.setPen(palette().color(QPalette::WindowText));
  p.setFont(font());
  // The caption on the row of the title buttons, cut before them.
  const QRect text(8, kTitleTop, std::max(0, width() - 65 - 8 - 4), kTitleButton);
  p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             fontMetrics().elidedText(caption(), Qt::ElideRight, text.width()));
}

void QuickListPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  bringToFront();
  dragging_ = true;
  drag_ = event->position().toPoint();
  emit changed();
}

void QuickListPanel::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !parentWidget()) return;
  const QPoint to = pos() + event->position().toPoint() - drag_;
  const QSize room = parentWidget()->size();
  // The panel may touch the wallpaper's far edges but not pass them. One
  // that lies beyond them already (the window shrank) may still come back.
  auto overflow = [&](const QPoint& p) {
    return std::max(0, -p.x()) + std::max(0, -p.y()) + std::max(0, p.x() + width() - room.width()) +
           std::max(0, p.y() + height() - room.height());
  };
  if (overflow(to) == 0 || overflow(to) < overflow(pos())) {
    move(to);
    emit changed();
  }
}

void QuickListPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
}

}  // namespace shell
