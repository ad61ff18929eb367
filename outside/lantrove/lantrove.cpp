// Lantrove: the quick-link window. QuickLink opens a small window titled
// "Quick Link" ("Lien Rapide" in French) that lists the places of the
// session the user may open at once: the company's folder, the data folder
// and the program folder. Enter or a double click opens the chosen one
// through the desktop; the window stays until closed, and a second call
// brings the same window forward.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include "shared/link_section.h"

namespace {

QPointer<QWidget>& window() {
  static QPointer<QWidget> w;
  return w;
}

class LinkList : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
      openItem(currentItem());
      return;
    }
    QListWidget::keyPressEvent(event);
  }

 public:
  static void openItem(QListWidgetItem* item) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(item->data(Qt::UserRole).toString()));
  }
};

}  // namespace

extern "C" void QuickLink(TLinkSection link) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  if (QWidget* open = window()) {
    open->show();
    open->raise();
    open->activateWindow();
    return;
  }
  const bool french = link.Language == 2;
  const QString dataDir = shared::text(link.DataDir);
  auto* w = new QWidget(nullptr, Qt::Tool);
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->setObjectName("QuickLink");
  w->setWindowTitle(french ? "Lien Rapide" : "Quick Link");
  auto* layout = new QVBoxLayout(w);
  auto* list = new LinkList(w);
  list->setObjectName("Links");
  const struct {
    const char* english;
    const char* french;
    QString path;
  } places[] = {
      {"Company folder", "Dossier de la compagnie", dataDir + shared::text(link.CompanyCode)},
      {"Data folder", "Dossier des données", dataDir},
      {"Program folder", "Dossier du programme", shared::text(link.ProgramDir)},
  };
  for (const auto& p : places) {
    if (p.path.isEmpty()) continue;
    auto* item = new QListWidgetItem(QString::fromUtf8(french ? p.french : p.english) + "  —  " +
                                     QDir::toNativeSeparators(p.path));
    item->setData(Qt::UserRole, p.path);
    list->addItem(item);
  }
  if (list->count() > 0) list->setCurrentRow(0);
  QObject::connect(list, &QListWidget::itemActivated, list, &LinkList::openItem);
  layout->addWidget(list);
  w->resize(420, 160);
  window() = w;
  w->show();
}
