#include "os/help_viewer.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace os {

std::optional<QUrl> helpPageUrl(const QString& helpFile, int context) {
  if (helpFile.isEmpty()) return std::nullopt;
  const QFileInfo folder(helpFile);
  if (folder.isDir()) {
    const QDir pages(folder.absoluteFilePath());
    const QString topic = pages.filePath(QStringLiteral("%1.html").arg(context));
    if (context > 0 && QFileInfo(topic).isFile()) return QUrl::fromLocalFile(topic);
    const QString contents = pages.filePath(QStringLiteral("index.html"));
    if (QFileInfo(contents).isFile()) return QUrl::fromLocalFile(contents);
    return std::nullopt;
  }
  const QFileInfo page(helpFile + QStringLiteral(".html"));
  if (!page.isFile()) return std::nullopt;
  QUrl url = QUrl::fromLocalFile(page.absoluteFilePath());
  if (context > 0) url.setFragment(QString::number(context));
  return url;
}

namespace {

class BrowserHelpViewer : public HelpViewer {
 public:
  Status showContents(const QString& helpFile) override { return show(helpFile, 0); }
  Status showTopic(const QString& helpFile, int context) override { return show(helpFile, context); }

 private:
  static Status show(const QString& helpFile, int context) {
    if (helpFile.trimmed().isEmpty()) return Status(error::kInvalidParameter, QStringLiteral("empty help file name"));
    const std::optional<QUrl> page = helpPageUrl(helpFile, context);
    if (!page) return Status(error::kFileNotFound, helpFile);
    if (!QDesktopServices::openUrl(*page)) return Status(error::kNoAssociation, page->toDisplayString());
    return Status::Ok();
  }
};

}  // namespace

std::unique_ptr<HelpViewer> createHelpViewer() {
  return std::make_unique<BrowserHelpViewer>();
}

}  // namespace os
