// Forms: the windows of the suite.
//
// A Form is a dialog (the modules' windows and the small dialogs); MainForm
// is the shell's main window. Both own their components (ComponentOwner) and
// give the hooks the windows are written with: the first activation (the
// place where a window connects its data and translates itself), key preview
// (the form sees keys before the focused control), and a help context.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <functional>

#include "ui/component.h"

namespace ui {

// What both kinds of form share.
class FormHooks {
 public:
  virtual ~FormHooks() = default;
  // Runs once, the first time the window becomes active (shown).
  std::function<void()> onFirstActivate;
  // With key preview on, sees every key press first; returning true eats it.
  std::function<bool(QKeyEvent*)> onKeyPreview;
  bool keyPreview = false;
  int helpContext = 0;

 protected:
  bool previewKey(QObject* watched, QEvent* event);
  void activated();

 private:
  bool activatedOnce_ = false;
};

class Form : public QDialog, public ComponentOwner, public FormHooks {
 public:
  // Where the form opens: where the platform puts it, or centred on the
  // screen it opens on, or on its parent window (the screen without one).
  enum class Position { kDefault, kScreenCenter, kOwnerCenter };

  explicit Form(const QString& name, QWidget* parent = nullptr);
  ~Form() override;
  QString ownerName() const override { return objectName(); }
  QString ownerCaption() const override { return windowTitle(); }
  void setOwnerCaption(const QString& caption) override { setWindowTitle(caption); }
  QString caption() const { return windowTitle(); }
  void setCaption(const QString& caption) { setWindowTitle(caption); }
  Position position = Position::kDefault;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

class MainForm : public QMainWindow, public ComponentOwner, public FormHooks {
 public:
  explicit MainForm(const QString& name, QWidget* parent = nullptr);
  ~MainForm() override;
  QString ownerName() const override { return objectName(); }
  QString ownerCaption() const override { return windowTitle(); }
  void setOwnerCaption(const QString& caption) override { setWindowTitle(caption); }
  QString caption() const { return windowTitle(); }
  void setCaption(const QString& caption) { setWindowTitle(caption); }
  // Asked before the window closes; false keeps it open.
  std::function<bool()> onCloseQuery;
  std::function<void()> onClose;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Shows `dialog` application-modal and waits until it is closed; returns its
// result. Unlike QDialog::exec, an exception that escapes the loop leaves the
// dialog sound, so that it can be hidden and destroyed afterwards.
int runModal(QDialog& dialog);

// A component holder without a window: data modules.
class DataModule : public QObject, public ComponentOwner {
 public:
  explicit DataModule(const QString& name, QObject* parent = nullptr);
  ~DataModule() override;
  QString ownerName() const override { return objectName(); }
};

}  // namespace ui
