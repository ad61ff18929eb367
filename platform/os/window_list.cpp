#include "os/window_list.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace os {

namespace {

WindowInfo describe(const QWidget& widget) {
  WindowInfo info;
  info.handle = reinterpret_cast<quintptr>(&widget);
  info.caption = widget.windowTitle();
  info.visible = widget.isVisible();
  info.enabled = widget.isEnabled();
  info.minimised = widget.isMinimized();
  info.rect = widget.frameGeometry();
  return info;
}

class WidgetWindowList : public WindowList {
 public:
  QList<WindowInfo> topLevelWindows() const override {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return {};
    QWidgetList widgets = QApplication::topLevelWidgets();
    // topLevelWidgets() comes in no particular order; the native windows
    // list keeps the order they were created in.
    const QWindowList windows = QGuiApplication::topLevelWindows();
    const auto rank = [&windows](const QWidget* widget) {
      QWindow* const window = widget->windowHandle();
      const qsizetype at = window == nullptr ? -1 : windows.indexOf(window);
      return at < 0 ? windows.size() : at;
    };
    std::stable_sort(widgets.begin(), widgets.end(),
                     [&rank](const QWidget* a, const QWidget* b) { return rank(a) < rank(b); });
    QList<WindowInfo> result;
    result.reserve(widgets.size());
    for (const QWidget* widget : widgets) result.append(describe(*widget));
    return result;
  }
};

}  // namespace

std::unique_ptr<WindowList> createWindowList() {
  return std::make_unique<WidgetWindowList>();
}

}  // namespace os
