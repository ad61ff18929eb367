// Message boxes, file pickers and printing, through one replaceable service.
//
// Windows never call QMessageBox or QFileDialog themselves: they ask
// ui::dialogs(), which is the real service in the programs and a Recorder in
// tests. The recorder writes down what was shown and answers from a script,
// so a test can check "the message was line 4 and the answer was Yes".
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class QWidget;
class QPrinter;

namespace ui {

enum class MessageKind { kInformation, kWarning, kError, kConfirmation, kPlain };
enum class Buttons { kOk, kYesNo, kOkCancel, kYesNoCancel };
enum class Answer { kOk, kCancel, kYes, kNo };

// A document to preview or print: what paints its pages.
struct PrintJob {
  QString caption;      // the preview's title and the print job's name
  QString printerName;  // the printer to start on; empty: the system's default
  QString fileName;     // the name offered when the document is saved as PDF
  // Paints every page on the printer, setting the page layout it needs
  // first; false when painting failed. Called again for each output.
  std::function<bool(QPrinter*)> paint;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message box; the answer is the button pressed (closing it with
  // Escape answers Cancel, or No when there is no Cancel).
  virtual Answer message(QWidget* parent, MessageKind kind, const QString& caption, const QString& text,
                         Buttons buttons = Buttons::kOk) = 0;
  // A file to open, or "" when the user cancelled.
  virtual QString openFile(QWidget* parent, const QString& caption, const QString& directory,
                           const QString& filter) = 0;
  // Prints the picture of a window (print dialog first when askPrinter).
  // False when cancelled or when printing failed.
  virtual bool printWidget(QWidget* widget, bool askPrinter) = 0;
  // Shows a print preview that paints with `paint`; false when no preview
  // could be shown.
  bool preview(QWidget* parent, const QString& caption, const std::function<void(QPrinter*)>& paint);
  // The print preview of `job`, modal: the user pages through it, zooms,
  // prints it and saves it as PDF. False when nothing could be shown.
  virtual bool preview(QWidget* parent, const PrintJob& job) = 0;
  // Prints `job` on its printer, the print dialog first when askPrinter.
  // False when cancelled or when printing failed.
  virtual bool print(QWidget* parent, const PrintJob& job, bool askPrinter) = 0;
  // A file to write, or "" when the user cancelled; `suggested` is the
  // name (or path) offered.
  virtual QString saveFile(QWidget* parent, const QString& caption, const QString& suggested,
                           const QString& filter) = 0;
};

// The service in force (the real one unless a test put a recorder).
Dialogs& dialogs();
// Puts `service` in force and returns the previous one; null restores the real one.
Dialogs* setDialogs(Dialogs* service);

// The test stand-in.
class RecordingDialogs : public Dialogs {
 public:
  struct Shown {
    QString what;  // "message", "openFile", "saveFile", "print", "preview"
    MessageKind kind = MessageKind::kPlain;
    Buttons buttons = Buttons::kOk;
    QString caption, text;
    // Previews and printed jobs: the PDF their pages were painted into
    // (kept in pdfDirectory when one is set).
    QString pdf;
  };
  std::vector<Shown> shown;
  std::deque<Answer> answers;      // next answers to messages (default: Ok / Yes)
  std::deque<QString> files;       // next answers to openFile and saveFile (default: "")
  bool printResult = true;
  // Where previews and printed jobs are painted, as "<n>.pdf" for the n-th
  // (1-based) entry of `shown`; empty: into a temporary file, deleted. The
  // painting always runs, so the document's code runs as for a user.
  QString pdfDirectory;

  Answer message(QWidget* parent, MessageKind kind, const QString& caption, const QString& text,
                 Buttons buttons) override;
  QString openFile(QWidget* parent, const QString& caption, const QString& directory, const QString& filter) override;
  bool printWidget(QWidget* widget, bool askPrinter) override;
  using Dialogs::preview;
  bool preview(QWidget* parent, const PrintJob& job) override;
  bool print(QWidget* parent, const PrintJob& job, bool askPrinter) override;
  QString saveFile(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter) override;

 private:
  QString nextFile();
  bool paintJob(const QString& what, const PrintJob& job);
};

// Puts a recorder in force for the life of the object.
class ScopedDialogs {
 public:
  explicit ScopedDialogs(Dialogs* service) : previous_(setDialogs(service)) {}
  ~ScopedDialogs() { setDialogs(previous_); }
  ScopedDialogs(const ScopedDialogs&) = delete;
  ScopedDialogs& operator=(const ScopedDialogs&) = delete;

 private:
  Dialogs* previous_;
};

}  // namespace ui
