#include "ui/application.h"

#include "db/error.h"
#include "ui/dialogs.h"

namespace ui {

namespace {

struct State {
  QString helpFile;
  ExceptionHandler handler;
};

State& state() {
  static State s;
  return s;
}

QString describe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const db::DatabaseError& e) {
    return QString::fromStdString(e.what()) + QStringLiteral(" (%1)").arg(e.last().errorCode);
  } catch (const std::exception& e) {
    return QString::fromStdString(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error / Erreur inconnue");
  }
}

}  // namespace

QString Application::helpFile() { return state().helpFile; }
void Application::setHelpFile(const QString& file) { state().helpFile = file; }
const ExceptionHandler& Application::exceptionHandler() { return state().handler; }
void Application::setExceptionHandler(ExceptionHandler handler) { state().handler = std::move(handler); }

void Application::handleException(std::exception_ptr error) {
  try {
    if (state().handler) {
      // A copy: the handler may replace itself.
      ExceptionHandler handler = state().handler;
      handler(error);
      return;
    }
    dialogs().message(QApplication::activeWindow(), MessageKind::kError, QApplication::applicationName(),
                      describe(error), Buttons::kOk);
  } catch (...) {
    // An error while reporting an error has nowhere left to go.
  }
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    Application::handleException(std::current_exception());
    return false;
  }
}

}  // namespace ui
