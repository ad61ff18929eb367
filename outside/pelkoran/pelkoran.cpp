// Pelkoran: the account lookup. PelkoranSelect shows the company's chart of
// accounts (number, description, type in the user's language) in a
// searchable list and returns the chosen account number, or 0 when the user
// chose nothing.
#include <QCoreApplication>
#include <QString>

#include "data/codes.h"
#include "outside_tables.h"
#include "pick_dialog.h"
#include "shared/link_section.h"

extern "C" int32_t PelkoranSelect(TLinkSection link) {
  if (!QCoreApplication::instance()) return 0;
  const bool french = link.Language == 2;
  auto rows = outside::readRows(shared::text(link.DataDir) + shared::text(link.CompanyCode), "glm",
                                {"Glm_account", "Glm_Description", "Glm_type"});
  for (QStringList& row : rows)
    row[2] = QString::fromStdString(data::accountTypeDisplay(row[2].toStdString(), french ? 2 : 1));
  const QStringList columns = french ? QStringList{"Compte", "Description", "Type"}
                                     : QStringList{"Account", "Description", "Type"};
  const int row = outside::pick(french ? "Liste des comptes" : "List of accounts", columns, rows);
  if (row < 0) return 0;
  return rows[size_t(row)].value(0).toInt();
}
