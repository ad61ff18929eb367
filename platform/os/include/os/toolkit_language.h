// The toolkit's own texts in the user's language: the buttons of message
// boxes ("Oui", "Non"), the print, preview and file dialogs, the context
// menus of text fields. They come from Qt's translation catalogues, looked
// for in the folder "translations" beside the program, then in the system's
// Qt translations folder (on Debian, the package qt6-translations-l10n).
//
// Threads: the GUI thread, once the application object exists.
#pragma once

#include <QString>

#include "os/status.h"

namespace os {

// Puts the toolkit's catalogue for the two-letter `languageCode` in force,
// in place of the one before (widgets are told of the change). English or an
// empty code takes the toolkit's built-in English texts. Errors:
// kFileNotFound when no catalogue of that language exists (the texts are
// then English).
Status setToolkitLanguage(const QString& languageCode, const QString& programDir = {});

// The language of the catalogue in force, or empty for the built-in texts.
QString toolkitLanguage();

}  // namespace os
