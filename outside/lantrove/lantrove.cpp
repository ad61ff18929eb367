// Lantrove: the quick-link window. QuickLink opens a small window titled
// "Quick Link" ("Lien Rapide" in French) that lists the places of the
// session the user may open at once: the company's folder, the data folder
// and the program folder. Enter or a double click opens the chosen one
// through the desktop; the window stays until closed, and a second call
// brings the same window forward.
//
// The window outlives the module that opened it: the shell unloads a module
// when it returns, and this library with it unless something keeps it. Once
// it has shown its window, the library stays loaded until the process ends.
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

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

QPointer<QWidget>& window() {
  static QPointer<QWidget> w;
  return w;
}

// Keeps this library loaded for good (its window's code lies here): one more
// reference, held to the end, and the loader told never to unmap it.
void stayLoaded() {
  static bool pinned = false;
  if (pinned) return;
  pinned = true;
#if defined(_WIN32)
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&stayLoaded), &self);
#else
  Dl_info self{};
  if (dladdr(reinterpret_cast<const void*>(&stayLoaded), &self) != 0 && self.dli_fname != nullptr)
    (void)dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
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
  stayLoaded();
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
