// The top-level windows of the desktop, as a snapshot.
//
// On this platform the windows that can be seen are the process's own: Qt
// gives no view of other programs' windows, and the windows the suite looks
// for (its own, and those of the libraries it loads into the process) all
// live in this process. The list is taken from QApplication's top-level
// widgets: first the windows that have been shown, in the order their native
// windows were created, then those never shown yet.
//
// Threads: the GUI thread.
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <memory>

namespace os {

struct WindowInfo {
  quintptr handle = 0;  // identifies the window while it exists; never dereferenced by callers
  QString caption;
  bool visible = false;
  bool enabled = false;
  bool minimised = false;
  QRect rect;  // on the screen, frame included; right() and bottom() are inside (QRect's convention)
};

class WindowList {
 public:
  virtual ~WindowList() = default;
  // A fresh snapshot; empty when the process has no widget application.
  virtual QList<WindowInfo> topLevelWindows() const = 0;
};

std::unique_ptr<WindowList> createWindowList();

}  // namespace os
