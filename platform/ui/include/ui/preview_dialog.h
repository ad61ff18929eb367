// The print preview: the pages of a print job on screen, with the means to
// page through them, zoom, print them and save them as PDF.
//
// The real dialogs service shows it for Dialogs::preview; tests make one
// directly and drive it with keys and clicks. Printing and the file to save
// go through ui::dialogs() (so a recorder answers them in tests); a PDF that
// cannot be written is reported in a message box.
//
// Keys: Page Down / Page Up the next and previous page, Ctrl+Home and
// Ctrl+End the first and last, Ctrl++ and Ctrl+- zoom, Ctrl+P print,
// Ctrl+S save as PDF, Escape close. Its texts follow the controls' language
// (ui::controlsLanguage()).
#pragma once

#include <QDialog>
#include <memory>

#include "ui/dialogs.h"

class QLabel;
class QPrintPreviewWidget;
class QPrinter;
class QSpinBox;
class QToolButton;

namespace ui {

class PreviewDialog : public QDialog {
  Q_OBJECT
 public:
  // Paints the job at once, for the first page to show.
  explicit PreviewDialog(const PrintJob& job, QWidget* parent = nullptr);
  ~PreviewDialog() override;

  int pageCount() const;
  // 1-based.
  int currentPage() const;
  void setCurrentPage(int page);
  // 1.0 shows the paper at its real size on the screen.
  double zoomFactor() const;

  void zoomIn();
  void zoomOut();
  void fitWidth();
  void fitPage();
  // Through ui::dialogs().print, with the print dialog; true when printed.
  bool printDocument();
  // Asks for a file (ui::dialogs().saveFile) and writes the pages there as
  // PDF; true when written. A name without ".pdf" gets it.
  bool saveAsPdf();

  // The tool bar's buttons, by object name: "FirstPage", "PriorPage",
  // "NextPage", "LastPage", "ZoomIn", "ZoomOut", "FitWidth", "FitPage",
  // "Print", "SavePdf", "Close"; the page box is "PageNumber".
  QToolButton* button(const QString& name) const;

 private:
  QToolButton* addButton(const QString& name, const QString& text, const QString& hint, int icon);
  void showState();

  PrintJob job_;
  std::unique_ptr<QPrinter> printer_;
  QPrintPreviewWidget* view_ = nullptr;
  QSpinBox* page_ = nullptr;
  QLabel* pages_ = nullptr;
  QLabel* zoom_ = nullptr;
  bool painted_ = true;
};

}  // namespace ui
