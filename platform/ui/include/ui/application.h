// What the shell's application object holds for everyone in the process: the
// help file and the handler of errors that escape an event handler.
//
// Qt lets no exception cross its event loop, so the shell's application is a
// GuardedApplication: an exception thrown by any event handler (a button's
// click, a field exit) is caught there and given to the exception handler in
// force, or, when none is installed, shown in an error message box. A module
// may install its own handler for the time it runs; the shell clears it when
// the module returns.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace ui {

using ExceptionHandler = std::function<void(std::exception_ptr)>;

class Application {
 public:
  static QString helpFile();
  static void setHelpFile(const QString& file);
  static const ExceptionHandler& exceptionHandler();
  static void setExceptionHandler(ExceptionHandler handler);
  // Gives `error` to the handler in force, or shows it. Never throws.
  static void handleException(std::exception_ptr error);
};

class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace ui
