#include "os/status.h"

namespace os {

namespace {

struct Meaning {
  int code;
  const char* english;
  const char* french;
};

constexpr Meaning kMeanings[] = {
    {error::kOk, "Done.", "Terminé."},
    {error::kFileNotFound, "The file was not found.", "Le fichier est introuvable."},
    {error::kPathNotFound, "The folder was not found.", "Le dossier est introuvable."},
    {error::kAccessDenied, "Access is denied.", "Accès refusé."},
    {error::kWriteFault, "The settings could not be written.", "Les paramètres n'ont pas pu être enregistrés."},
    {error::kInvalidParameter, "The request is empty or malformed.", "La demande est vide ou mal formée."},
    {error::kProcNotFound, "The library does not provide this function.",
     "La bibliothèque ne fournit pas cette fonction."},
    {error::kBadPathName, "The library must be named by its full path.",
     "La bibliothèque doit être désignée par son chemin complet."},
    {error::kBadExeFormat, "The file cannot be loaded or started.", "Le fichier ne peut être chargé ni lancé."},
    {error::kNoAssociation, "No program on this computer can open it.",
     "Aucun programme de cet ordinateur ne peut l'ouvrir."},
    {error::kDllNotFound, "The library was not found.", "La bibliothèque est introuvable."},
};

}  // namespace

QString Status::text(int language) const {
  const bool french = language == 2;
  QString sentence = french ? QStringLiteral("Erreur %1.").arg(code_) : QStringLiteral("Error %1.").arg(code_);
  for (const Meaning& m : kMeanings) {
    if (m.code == code_) sentence = QString::fromUtf8(french ? m.french : m.english);
  }
  if (!detail_.isEmpty()) sentence += QStringLiteral(" (%1)").arg(detail_);
  return sentence;
}

}  // namespace os
