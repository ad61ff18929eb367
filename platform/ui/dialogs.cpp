#include "ui/dialogs.h"

#include "ui/field_link.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QWidget>

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

  bool preview(QWidget* parent, const QString& caption, const std::function<void(QPrinter*)>& paint) override {
    QPrintPreviewDialog dialog(parent);
    dialog.setWindowTitle(caption);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) { paint(p); });
    dialog.exec();
    return true;
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

Dialogs* setDialogs(Dialogs* service) {
  Dialogs* previous = current();
  current() = service;
  return previous;
}

Answer RecordingDialogs::message(QWidget*, MessageKind kind, const QString& caption, const QString& text,
                                 Buttons buttons) {
  shown.push_back({"message", kind, buttons, caption, text});
  if (!answers.empty()) {
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  return buttons == Buttons::kYesNo || buttons == Buttons::kYesNoCancel ? Answer::kYes : Answer::kOk;
}

QString RecordingDialogs::openFile(QWidget*, const QString& caption, const QString& directory, const QString&) {
  shown.push_back({"openFile", MessageKind::kPlain, Buttons::kOk, caption, directory});
  if (files.empty()) return {};
  QString f = files.front();
  files.pop_front();
  return f;
}

bool RecordingDialogs::printWidget(QWidget* widget, bool) {
  shown.push_back({"print", MessageKind::kPlain, Buttons::kOk, widget ? widget->windowTitle() : QString(), {}});
  return printResult;
}

bool RecordingDialogs::preview(QWidget*, const QString& caption, const std::function<void(QPrinter*)>& paint) {
  shown.push_back({"preview", MessageKind::kPlain, Buttons::kOk, caption, {}});
  // Paint into a PDF printer so the report code really runs.
  QPrinter printer(QPrinter::ScreenResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString());
  if (paint) paint(&printer);
  return true;
}

}  // namespace ui
