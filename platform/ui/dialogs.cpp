#include "ui/dialogs.h"

#include "ui/field_link.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWidget>

#include "ui/field_link.h"
#include "ui/form.h"
#include "ui/preview_dialog.h"

namespace ui {

namespace {

class RealDialogs : public Dialogs {
 public:
  Answer message(QWidget* parent, MessageKind kind, const QString& caption, const QString& text,
                 Buttons buttons) override {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (kind) {
      case MessageKind::kInformation: box.setIcon(QMessageBox::Information); break;
      case MessageKind::kWarning: box.setIcon(QMessageBox::Warning); break;
      case MessageKind::kError: box.setIcon(QMessageBox::Critical); break;
      case MessageKind::kConfirmation: box.setIcon(QMessageBox::Question); break;
      case MessageKind::kPlain: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (buttons) {
      case Buttons::kOk: box.setStandardButtons(QMessageBox::Ok); break;
      case Buttons::kYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
      case Buttons::kOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
      case Buttons::kYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // Qt names its standard buttons in English unless a translation of Qt
    // is installed; the suite's own messages speak the user's language, so
    // the answers do too.
    const bool french = controlsLanguage() == 2;
    const struct {
      QMessageBox::StandardButton button;
      const char* english;
      const char* french;
    } names[] = {{QMessageBox::Yes, "&Yes", "&Oui"},
                 {QMessageBox::No, "&No", "&Non"},
                 {QMessageBox::Ok, "OK", "OK"},
                 {QMessageBox::Cancel, "Cancel", "Annuler"}};
    for (const auto& n : names)
      if (QAbstractButton* b = box.button(n.button)) b->setText(QString::fromUtf8(french ? n.french : n.english));
    switch (box.exec()) {
      case QMessageBox::Yes: return Answer::kYes;
      case QMessageBox::No: return Answer::kNo;
      case QMessageBox::Ok: return Answer::kOk;
      default: return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
    }
  }

  QString openFile(QWidget* parent, const QString& caption, const QString& directory, const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
  }

  bool printWidget(QWidget* widget, bool askPrinter) override {
    if (!widget) return false;
    QPrinter printer(QPrinter::HighResolution);
    if (askPrinter) {
      QPrintDialog dialog(&printer, widget);
      if (dialog.exec() != QDialog::Accepted) return false;
    }
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QPixmap picture = widget->grab();
    const QRect page = painter.viewport();
    QSize size = picture.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(page.topLeft(), size), picture);
    return painter.end();
  }

  bool preview(QWidget* parent, const PrintJob& job) override {
    PreviewDialog dialog(job, parent);
    runModal(dialog);
    return true;
  }

  bool print(QWidget* parent, const PrintJob& job, bool askPrinter) override {
    if (!job.paint) return false;
    QPrinter printer(QPrinter::HighResolution);
    if (!job.printerName.isEmpty()) printer.setPrinterName(job.printerName);
    printer.setDocName(job.caption);
    if (askPrinter) {
      QPrintDialog dialog(&printer, parent);
      dialog.setOption(QAbstractPrintDialog::PrintPageRange);
      if (dialog.exec() != QDialog::Accepted) return false;
    }
    if (job.paint(&printer)) return true;
    // The user asked for paper: a job that could not start is said, not
    // passed over as if it had printed.
    const bool french = controlsLanguage() == 2;
    const QString where = printer.printerName().isEmpty()
                              ? (french ? QStringLiteral("l'imprimante par défaut") : QStringLiteral("the default printer"))
                              : printer.printerName();
    message(parent, MessageKind::kError, job.caption,
            (french ? QStringLiteral("Le document n'a pas pu être imprimé sur %1.")
                    : QStringLiteral("The document could not be printed on %1."))
                .arg(where),
            Buttons::kOk);
    return false;
  }

  QString saveFile(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter) override {
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
  }
};

RealDialogs& real() {
  static RealDialogs service;
  return service;
}

Dialogs*& current() {
  static Dialogs* service = nullptr;
  return service;
}

}  // namespace

Dialogs& dialogs() { return current() ? *current() : real(); }

bool Dialogs::preview(QWidget* parent, const QString& caption, const std::function<void(QPrinter*)>& paint) {
  PrintJob job;
  job.caption = caption;
  job.paint = [paint](QPrinter* printer) {
    if (paint) paint(printer);
    return true;
  };
  return preview(parent, job);
}

Dialogs* setDialogs(Dialogs* service) {
  Dialogs* previous = current();
  current() = service;
  return previous;
}

Answer RecordingDialogs::message(QWidget*, MessageKind kind, const QString& caption, const QString& text,
                                 Buttons buttons) {
  shown.push_back({"message", kind, buttons, caption, text, {}});
  if (!answers.empty()) {
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  return buttons == Buttons::kYesNo || buttons == Buttons::kYesNoCancel ? Answer::kYes : Answer::kOk;
}

QString RecordingDialogs::nextFile() {
  if (files.empty()) return {};
  QString f = files.front();
  files.pop_front();
  return f;
}

QString RecordingDialogs::openFile(QWidget*, const QString& caption, const QString& directory, const QString&) {
  shown.push_back({"openFile", MessageKind::kPlain, Buttons::kOk, caption, directory, {}});
  return nextFile();
}

bool RecordingDialogs::printWidget(QWidget* widget, bool) {
  shown.push_back({"print", MessageKind::kPlain, Buttons::kOk, widget ? widget->windowTitle() : QString(), {}, {}});
  return printResult;
}

QString RecordingDialogs::saveFile(QWidget*, const QString& caption, const QString& suggested, const QString&) {
  shown.push_back({"saveFile", MessageKind::kPlain, Buttons::kOk, caption, suggested, {}});
  return nextFile();
}

bool RecordingDialogs::preview(QWidget*, const PrintJob& job) {
  paintJob("preview", job);
  return true;
}

bool RecordingDialogs::print(QWidget*, const PrintJob& job, bool) {
  return paintJob("print", job) && printResult;
}

bool RecordingDialogs::paintJob(const QString& what, const PrintJob& job) {
  shown.push_back({what, MessageKind::kPlain, Buttons::kOk, job.caption, job.printerName, {}});
  // Paint into a PDF so that the document's code really runs, and the test
  // can read what it painted.
  QTemporaryDir scratch;
  const QString path = pdfDirectory.isEmpty()
                           ? scratch.filePath(QStringLiteral("job.pdf"))
                           : QDir(pdfDirectory).filePath(QString::number(shown.size()) + QStringLiteral(".pdf"));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setDocName(job.caption);
  const bool painted = job.paint && job.paint(&printer);
  if (!pdfDirectory.isEmpty()) shown.back().pdf = path;
  return painted;
}

}  // namespace ui
