#include "ui/preview_dialog.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QRegularExpression>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/field_link.h"

namespace ui {

namespace {

QString tr2(const char* english, const char* french) {
  return QString::fromUtf8(controlsLanguage() == 2 ? french : english);
}

constexpr int kNoIcon = -1;

}  // namespace

PreviewDialog::PreviewDialog(const PrintJob& job, QWidget* parent)
    : QDialog(parent), job_(job), printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  setObjectName(QStringLiteral("PreviewDialog"));
  setWindowTitle(job_.caption.isEmpty() ? tr2("Print preview", "Aperçu avant impression") : job_.caption);
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  if (!job_.printerName.isEmpty()) printer_->setPrinterName(job_.printerName);
  printer_->setDocName(job_.caption);

  auto* bar = new QHBoxLayout;
  bar->setSpacing(2);
  addButton("FirstPage", {}, tr2("First page", "Première page"), QStyle::SP_MediaSkipBackward);
  addButton("PriorPage", {}, tr2("Previous page (Page Up)", "Page précédente (Pg préc)"), QStyle::SP_ArrowLeft);
  page_ = new QSpinBox(this);
  page_->setObjectName(QStringLiteral("PageNumber"));
  page_->setAccessibleName(tr2("Page", "Page"));
  page_->setMinimum(1);
  pages_ = new QLabel(this);
  addButton("NextPage", {}, tr2("Next page (Page Down)", "Page suivante (Pg suiv)"), QStyle::SP_ArrowRight);
  addButton("LastPage", {}, tr2("Last page", "Dernière page"), QStyle::SP_MediaSkipForward);
  addButton("ZoomOut", QStringLiteral("\u2212"), tr2("Zoom out (Ctrl+-)", "Zoom arrière (Ctrl+-)"), kNoIcon);
  zoom_ = new QLabel(this);
  zoom_->setMinimumWidth(zoom_->fontMetrics().horizontalAdvance(QStringLiteral("0000 %")));
  zoom_->setAlignment(Qt::AlignCenter);
  addButton("ZoomIn", QStringLiteral("+"), tr2("Zoom in (Ctrl++)", "Zoom avant (Ctrl++)"), kNoIcon);
  addButton("FitWidth", tr2("Width", "Largeur"), tr2("Fit the page's width", "Ajuster à la largeur de la page"),
            kNoIcon);
  addButton("FitPage", tr2("Page", "Page"), tr2("Show the whole page", "Afficher la page entière"), kNoIcon);
  addButton("Print", tr2("Print...", "Imprimer..."), tr2("Print (Ctrl+P)", "Imprimer (Ctrl+P)"), kNoIcon);
  addButton("SavePdf", tr2("Save as PDF...", "Enregistrer en PDF..."),
            tr2("Save as a PDF file (Ctrl+S)", "Enregistrer dans un fichier PDF (Ctrl+S)"), kNoIcon);
  addButton("Close", tr2("Close", "Fermer"), tr2("Close the preview (Esc)", "Fermer l'aperçu (Échap)"), kNoIcon);

  for (const char* name : {"FirstPage", "PriorPage"}) bar->addWidget(button(name));
  bar->addWidget(page_);
  bar->addWidget(pages_);
  for (const char* name : {"NextPage", "LastPage"}) bar->addWidget(button(name));
  bar->addSpacing(12);
  bar->addWidget(button("ZoomOut"));
  bar->addWidget(zoom_);
  for (const char* name : {"ZoomIn", "FitWidth", "FitPage"}) bar->addWidget(button(name));
  bar->addSpacing(12);
  for (const char* name : {"Print", "SavePdf"}) bar->addWidget(button(name));
  bar->addStretch(1);
  bar->addWidget(button("Close"));

  view_ = new QPrintPreviewWidget(printer_.get(), this);
  view_->setObjectName(QStringLiteral("Pages"));
  view_->setViewMode(QPrintPreviewWidget::SinglePageView);
  connect(view_, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* printer) {
    painted_ = job_.paint && job_.paint(printer);
  });
  connect(view_, &QPrintPreviewWidget::previewChanged, this, &PreviewDialog::showState);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(bar);
  layout->addWidget(view_, 1);

  connect(button("FirstPage"), &QToolButton::clicked, this, [this] { setCurrentPage(1); });
  connect(button("PriorPage"), &QToolButton::clicked, this, [this] { setCurrentPage(currentPage() - 1); });
  connect(button("NextPage"), &QToolButton::clicked, this, [this] { setCurrentPage(currentPage() + 1); });
  connect(button("LastPage"), &QToolButton::clicked, this, [this] { setCurrentPage(pageCount()); });
  connect(page_, &QSpinBox::valueChanged, this, [this](int page) {
    if (page != currentPage()) setCurrentPage(page);
  });
  connect(button("ZoomIn"), &QToolButton::clicked, this, &PreviewDialog::zoomIn);
  connect(button("ZoomOut"), &QToolButton::clicked, this, &PreviewDialog::zoomOut);
  connect(button("FitWidth"), &QToolButton::clicked, this, &PreviewDialog::fitWidth);
  connect(button("FitPage"), &QToolButton::clicked, this, &PreviewDialog::fitPage);
  connect(button("Print"), &QToolButton::clicked, this, [this] { printDocument(); });
  connect(button("SavePdf"), &QToolButton::clicked, this, [this] { saveAsPdf(); });
  connect(button("Close"), &QToolButton::clicked, this, &QDialog::accept);

  const auto key = [this](QKeySequence sequence, auto slot) {
    auto* shortcut = new QShortcut(sequence, this);
    connect(shortcut, &QShortcut::activated, this, slot);
  };
  key(QKeySequence(Qt::Key_PageDown), [this] { setCurrentPage(currentPage() + 1); });
  key(QKeySequence(Qt::Key_PageUp), [this] { setCurrentPage(currentPage() - 1); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { setCurrentPage(1); });
  key(QKeySequence(Qt::CTRL | Qt::Key_End), [this] { setCurrentPage(pageCount()); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { zoomIn(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { zoomIn(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { zoomOut(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { printDocument(); });
  key(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { saveAsPdf(); });

  resize(900, 700);
  view_->updatePreview();
  view_->fitToWidth();
  showState();
  view_->setFocus();
}

PreviewDialog::~PreviewDialog() = default;

QToolButton* PreviewDialog::addButton(const QString& name, const QString& text, const QString& hint, int icon) {
  auto* b = new QToolButton(this);
  b->setObjectName(name);
  b->setToolTip(hint);
  b->setAccessibleName(hint);
  if (icon != kNoIcon) b->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
  if (!text.isEmpty()) b->setText(text);
  b->setToolButtonStyle(icon != kNoIcon ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

QToolButton* PreviewDialog::button(const QString& name) const { return findChild<QToolButton*>(name); }

int PreviewDialog::pageCount() const { return view_->pageCount(); }

int PreviewDialog::currentPage() const { return view_->currentPage(); }

void PreviewDialog::setCurrentPage(int page) {
  if (pageCount() == 0) return;
  view_->setCurrentPage(std::clamp(page, 1, pageCount()));
  showState();
}

double PreviewDialog::zoomFactor() const { return view_->zoomFactor(); }

void PreviewDialog::zoomIn() {
  view_->zoomIn();
  showState();
}

void PreviewDialog::zoomOut() {
  view_->zoomOut();
  showState();
}

void PreviewDialog::fitWidth() {
  view_->fitToWidth();
  showState();
}

void PreviewDialog::fitPage() {
  view_->fitInView();
  showState();
}

bool PreviewDialog::printDocument() { return dialogs().print(this, job_, true); }

bool PreviewDialog::saveAsPdf() {
  QString suggested = job_.fileName.isEmpty() ? job_.caption : job_.fileName;
  suggested.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")), QStringLiteral("_"));
  if (!suggested.isEmpty() && !suggested.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
    suggested += QStringLiteral(".pdf");
  QString path = dialogs().saveFile(this, tr2("Save as PDF", "Enregistrer en PDF"), suggested,
                                    tr2("PDF files (*.pdf)", "Fichiers PDF (*.pdf)"));
  if (path.isEmpty()) return false;
  if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
  QPrinter pdf(QPrinter::HighResolution);
  pdf.setOutputFormat(QPrinter::PdfFormat);
  pdf.setOutputFileName(path);
  pdf.setDocName(job_.caption);
  if (job_.paint && job_.paint(&pdf)) return true;
  dialogs().message(this, MessageKind::kError, windowTitle(),
                    tr2("The PDF file could not be written:\n%1", "Le fichier PDF n'a pas pu être écrit :\n%1")
                        .arg(path));
  return false;
}

void PreviewDialog::showState() {
  const int count = pageCount();
  const QSignalBlocker quiet(page_);
  page_->setMaximum(std::max(1, count));
  page_->setValue(std::max(1, currentPage()));
  page_->setEnabled(count > 1);
  pages_->setText(tr2("of %1", "de %1").arg(count));
  zoom_->setText(QStringLiteral("%1 %").arg(qRound(zoomFactor() * 100)));
  button("FirstPage")->setEnabled(currentPage() > 1);
  button("PriorPage")->setEnabled(currentPage() > 1);
  button("NextPage")->setEnabled(currentPage() < count);
  button("LastPage")->setEnabled(currentPage() < count);
  button("Print")->setEnabled(count > 0);
  button("SavePdf")->setEnabled(count > 0);
}

}  // namespace ui
