#include "contact_us.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QTextDocument>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "os/services.h"
#include "ui/dialogs.h"
#include "ui/field_link.h"

namespace shell {

namespace {

// The texts as designed, in lines; code 10 joins them into one.
const QStringList kSupport = {"If you require assistance the support team can be reached at:"};
const QStringList kServices = {
    "In addition to technical support, we offer a complete range of services designed to ensure that you are up "
    "and running as fast as possible and that you are using your software confidently and efficiently.  If you "
    "would like to know more about these services, please contact us at:"};
const QStringList kProducts = {
    "Norvadel offers a wide range of products to assist you in the management of your business.  To know more "
    "about these products please contact us at:"};

// The project's own addresses and numbers.
const char* const kSupportEmail = "support@tallimoor.org";
const char* const kSupportWeb = "www.tallimoor.org/support";
const char* const kServicesEmail = "services@tallimoor.org";
const char* const kServicesWeb = "www.tallimoor.org/services";
const char* const kProductsEmail = "sales@tallimoor.org";
const char* const kProductsWeb = "www.tallimoor.org/products";
const char* const kDownloadsWeb = "www.tallimoor.org/downloads";
const char* const kTelephone = "1-800-555-0142";
const char* const kFax = "1-800-555-0143";

// A text's height to show all its lines (the layout of a plain text counts
// its size in lines).
void fitHeight(ui::Memo& memo) {
  const QMargins m = memo.contentsMargins();
  const qreal lines = memo.document()->documentLayout()->documentSize().height();
  memo.setFixedHeight(int(lines) * memo.fontMetrics().lineSpacing() + 2 * int(memo.document()->documentMargin()) +
                      m.top() + m.bottom());
}

QString oneLine(const QStringList& lines) {
  QString text;
  for (const QString& l : lines) {
    if (!text.isEmpty() && !text.endsWith(' ')) text += ' ';
    text += l;
  }
  return text;
}

}  // namespace

TContactUs::TContactUs(QWidget* parent) : ui::Form("ContactUs", parent) {
  setCaption("Contact us");
  // Only the system menu among the border icons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  position = Position::kScreenCenter;
  QPalette teal = palette();
  teal.setColor(QPalette::Window, QColor(0x00, 0x80, 0x80));
  setPalette(teal);
  setAutoFillBackground(true);

  pnlSupport = panel("pnlSupport", memSupport, kSupport);
  lblSupportEmail = link(pnlSupport, "lblSupportEmail", "E-mail:", kSupportEmail);
  lblSupportWeb = link(pnlSupport, "lblSupportWeb", "Internet:", kSupportWeb);
  line(pnlSupport, "lblSupportPhone", "Telephone:", new ui::Label(this, pnlSupport, "lblSupportPhoneNo", kTelephone));
  line(pnlSupport, "lblSupportFax", "Fax:", new ui::Label(this, pnlSupport, "lblSupportFaxNo", kFax));

  pnlServices = panel("pnlServices", memServices, kServices);
  lblServicesEmail = link(pnlServices, "lblServicesEmail", "E-mail:", kServicesEmail);
  lblServicesWeb = link(pnlServices, "lblServicesWeb", "Internet:", kServicesWeb);
  line(pnlServices, "lblServicesPhone", "Telephone:",
       new ui::Label(this, pnlServices, "lblServicesPhoneNo", kTelephone));

  pnlProducts = panel("pnlProducts", memProducts, kProducts);
  lblProductsEmail = link(pnlProducts, "lblProductsEmail", "E-mail:", kProductsEmail);
  lblProductsPages = new ui::Label(this, pnlProducts, "lblProductsPages",
                                   "or visit the following pages on our website:");
  auto* productRows = static_cast<QGridLayout*>(static_cast<QVBoxLayout*>(pnlProducts->layout())->itemAt(1)->layout());
  productRows->addWidget(lblProductsPages, productRows->rowCount(), 0, 1, 2);
  lblProductsWeb = link(pnlProducts, "lblProductsWeb", "Internet:", kProductsWeb);
  lblDownloadsWeb = link(pnlProducts, "lblDownloadsWeb", "", kDownloadsWeb);
  emails_ = {lblSupportEmail, lblServicesEmail, lblProductsEmail};

  btnClose = new ui::Button(this, this, "btnClose", "Close");
  btnClose->setDefault(true);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  for (ui::Panel* p : {pnlSupport, pnlServices, pnlProducts}) layout->addWidget(p);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(btnClose);
  layout->addLayout(row);
  setMinimumWidth(560);
  showModal = [](TContactUs& dialog) { return ui::runModal(dialog); };
}

ui::Panel* TContactUs::panel(const QString& name, ui::Memo*& text, const QStringList& lines) {
  auto* p = new ui::Panel(this, this, name);
  p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  p->setAutoFillBackground(true);
  QPalette tip = p->palette();
  tip.setColor(QPalette::Window, tip.color(QPalette::ToolTipBase));
  tip.setColor(QPalette::Base, tip.color(QPalette::ToolTipBase));
  tip.setColor(QPalette::WindowText, tip.color(QPalette::ToolTipText));
  tip.setColor(QPalette::Text, tip.color(QPalette::ToolTipText));
  p->setPalette(tip);
  text = new ui::Memo(this, p, name.mid(3).prepend("mem"));
  text->setLines(lines);
  text->setReadOnly(true);
  text->setFrameShape(QFrame::NoFrame);
  text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // As tall as its text, wrapped to the panel's width, in either language.
  ui::Memo* memo = text;
  connect(memo->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, memo,
          [memo] { fitHeight(*memo); });
  // The text is there to be read: the focus goes on to Close.
  text->installEventFilter(this);
  auto* box = new QVBoxLayout(p);
  box->addWidget(text);
  auto* rows = new QGridLayout;
  rows->setColumnStretch(1, 1);
  rows->setVerticalSpacing(2);
  box->addLayout(rows);
  box->addStretch();
  return p;
}

void TContactUs::line(ui::Panel* panel, const QString& name, const QString& caption, QWidget* value) {
  auto* rows = static_cast<QGridLayout*>(static_cast<QVBoxLayout*>(panel->layout())->itemAt(1)->layout());
  // An empty grid still counts one row.
  const int row = rows->count() == 0 ? 0 : rows->rowCount();
  if (!caption.isEmpty()) rows->addWidget(new ui::Label(this, panel, name, caption), row, 0);
  rows->addWidget(value, row, 1);
}

ui::LinkLabel* TContactUs::link(ui::Panel* panel, const QString& name, const QString& caption,
                                const QString& address) {
  auto* label = new ui::LinkLabel(this, panel, name, address);
  QPalette blue = label->palette();
  blue.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xc0));
  label->setPalette(blue);
  label->onClick = [this, label] { ContactClick(label); };
  line(panel, name + "Caption", caption, label);
  links_.push_back(label);
  return label;
}

void TContactUs::showEvent(QShowEvent* event) {
  // Sized to its texts first, then centred.
  if (!event->spontaneous()) FormActivate();
  ui::Form::showEvent(event);
}

void TContactUs::FormActivate() {
  btnClose->setFocus();
  for (ui::Memo* memo : {memSupport, memServices, memProducts}) fitHeight(*memo);
  adjustSize();
  if (languageCode != 10) return;
  memSupport->setPlainText(oneLine(kSupport));
  memServices->setPlainText(oneLine(kServices));
  memProducts->setPlainText(oneLine(kProducts));
  for (ui::LinkLabel* email : emails_) {
    // Out of its row, on a line of its own whose text starts at the left.
    auto* rows = static_cast<QGridLayout*>(static_cast<QVBoxLayout*>(email->parentWidget()->layout())->itemAt(1)->layout());
    rows->removeWidget(email);
    rows->addWidget(email, rows->rowCount(), 0, 1, 2);
    email->parentWidget()->layout()->activate();
    email->setContentsMargins(std::max(0, kOneLineEmailLeft - email->x()), 0, 0, 0);
  }
}

void TContactUs::ContactClick(ui::LinkLabel* label) {
  const QString text = label->text();
  // Only a lower-case "w" makes a web address; anything else is mailed to.
  const os::Status s = text.startsWith('w') ? os::Services::programs().openWebAddress(text)
                                            : os::Services::programs().openMailTo("mailto: " + text);
  if (!s.ok())
    ui::dialogs().message(this, ui::MessageKind::kError, windowTitle(), s.text(ui::controlsLanguage()),
                          ui::Buttons::kOk);
}

bool TContactUs::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn && (watched == memSupport || watched == memServices || watched == memProducts)) {
    btnClose->setFocus();
    return false;
  }
  return ui::Form::eventFilter(watched, event);
}

}  // namespace shell
