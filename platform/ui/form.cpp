#include "ui/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>
#include <QShowEvent>

namespace ui {

bool FormHooks::previewKey(QObject*, QEvent* event) {
  if (!keyPreview || !onKeyPreview) return false;
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
  if (event->type() == QEvent::ShortcutOverride) return false;
  return onKeyPreview(static_cast<QKeyEvent*>(event));
}

void FormHooks::activated() {
  if (activatedOnce_) return;
  activatedOnce_ = true;
  if (onFirstActivate) onFirstActivate();
}

Form::Form(const QString& name, QWidget* parent) : QDialog(parent) {
  setObjectName(name);
  // Key preview: the form sees key presses of all its controls first.
  qApp->installEventFilter(this);
}

Form::~Form() { qApp->removeEventFilter(this); }

void Form::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (position != Position::kDefault && !event->spontaneous()) {
    // The size is final here; the place is the centre of the parent or of
    // the screen, kept on that screen.
    QWidget* owner = position == Position::kOwnerCenter && parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen = owner ? owner->screen() : this->screen();
    if (screen) {
      const QRect area = screen->availableGeometry();
      const QRect around = owner && owner->isVisible() ? owner->frameGeometry() : area;
      QRect frame = frameGeometry();
      frame.moveCenter(around.center());
      frame.moveLeft(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() - frame.width() + 1)));
      frame.moveTop(std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() - frame.height() + 1)));
      move(frame.topLeft());
    }
  }
  activated();
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && (w == this || isAncestorOf(w)) && previewKey(watched, event)) return true;
  }
  return QDialog::eventFilter(watched, event);
}

MainForm::MainForm(const QString& name, QWidget* parent) : QMainWindow(parent) {
  setObjectName(name);
  qApp->installEventFilter(this);
}

MainForm::~MainForm() { qApp->removeEventFilter(this); }

void MainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  activated();
}

void MainForm::closeEvent(QCloseEvent* event) {
  if (onCloseQuery && !onCloseQuery()) {
    event->ignore();
    return;
  }
  if (onClose) onClose();
  QMainWindow::closeEvent(event);
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && (w == this || isAncestorOf(w)) && previewKey(watched, event)) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

int runModal(QDialog& dialog) {
  QEventLoop loop;
  const auto done = QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setResult(0);
  dialog.show();
  try {
    if (dialog.isVisible()) loop.exec(QEventLoop::DialogExec);
  } catch (...) {
    QObject::disconnect(done);
    dialog.hide();
    throw;
  }
  QObject::disconnect(done);
  return dialog.result();
}

DataModule::DataModule(const QString& name, QObject* parent) : QObject(parent) { setObjectName(name); }

DataModule::~DataModule() = default;

}  // namespace ui
