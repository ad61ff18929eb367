// The help system: showing the contents or one topic of a help file.
//
// On this platform help files are HTML shown by the desktop's browser. A help
// file as the suite names it ("<program directory>/Help", "…/Helpfr") is
// either a folder of pages, where index.html is the contents and
// <context>.html the topic with that context number, or one page
// <name>.html, where a topic is the anchor #<context>. A topic without a page
// of its own shows the contents.
//
// Threads: the GUI thread.
#pragma once

#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

#include "os/status.h"

namespace os {

class HelpViewer {
 public:
  virtual ~HelpViewer() = default;
  // Errors: kInvalidParameter (empty name), kFileNotFound (no such help
  // file), kNoAssociation (no browser showed it).
  virtual Status showContents(const QString& helpFile) = 0;
  virtual Status showTopic(const QString& helpFile, int context) = 0;
};

std::unique_ptr<HelpViewer> createHelpViewer();

// The page that shows `context` of `helpFile` (0: the contents), or nothing
// when the help file is not there.
std::optional<QUrl> helpPageUrl(const QString& helpFile, int context);

}  // namespace os
