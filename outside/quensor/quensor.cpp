// Quensor: the supplier lookup. QuensorSelect shows the company's suppliers
// (code, name, city, telephone) in a searchable list and returns the chosen
// code as a string of the shared runtime (the caller releases it), or 0
// (the empty string) when the user chose nothing.
#include <QCoreApplication>
#include <QString>

#include "outside_tables.h"
#include "pick_dialog.h"
#include "shared/link_section.h"

extern "C" uint32_t QuensorSelect(TLinkSection link) {
  if (!QCoreApplication::instance()) return 0;
  const bool french = link.Language == 2;
  const auto rows = outside::readRows(shared::text(link.DataDir) + shared::text(link.CompanyCode), "sup",
                                      {"Sup_code", "Sup_name", "Sup_city", "Sup_tel"});
  const QStringList columns = french ? QStringList{"Code", "Nom", "Ville", "Téléphone"}
                                     : QStringList{"Code", "Name", "City", "Telephone"};
  const int row = outside::pick(french ? "Liste des fournisseurs" : "List of suppliers", columns, rows);
  if (row < 0) return 0;
  return shared::makeString(rows[size_t(row)].value(0));
}
