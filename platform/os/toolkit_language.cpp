#include "os/toolkit_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace os {

namespace {

struct InForce {
  std::unique_ptr<QTranslator> translator;
  QString language;
};

InForce& inForce() {
  static InForce state;
  return state;
}

}  // namespace

Status setToolkitLanguage(const QString& languageCode, const QString& programDir) {
  InForce& state = inForce();
  const QString code = languageCode.left(2).toLower();
  if (state.translator) {
    QCoreApplication::removeTranslator(state.translator.get());
    state.translator.reset();
    state.language.clear();
  }
  if (code.isEmpty() || code == "en") return Status::Ok();

  QStringList folders;
  if (!programDir.isEmpty()) folders << programDir + "/translations";
  folders << QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto translator = std::make_unique<QTranslator>();
  // "qt_<code>" gathers the catalogues of every Qt module of that language.
  for (const QString& folder : folders) {
    if (!translator->load("qt_" + code, folder)) continue;
    QCoreApplication::installTranslator(translator.get());
    state.translator = std::move(translator);
    state.language = code;
    return Status::Ok();
  }
  return Status(error::kFileNotFound, "qt_" + code + ".qm in " + folders.join(", "));
}

QString toolkitLanguage() { return inForce().language; }

}  // namespace os
