// The application object widget tests need, made on first use (after test
// discovery, which must not need a display).
#pragma once

#include <QApplication>

namespace ui::testing {

inline QApplication* app() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  static int argc = 1;
  static char name[] = "ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* created = new QApplication(argc, argv);
  return created;
}

}  // namespace ui::testing
