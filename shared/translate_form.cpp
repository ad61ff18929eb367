#include "shared/translate_form.h"

#include <QDir>
#include <QStringList>

#include "db/table.h"
#include "report/controls.h"
#include "ui/component.h"
#include "ui/controls.h"
#include "ui/menu.h"

namespace shared {

namespace {

// Lines of a memo value as a list: a last line break adds no empty line.
QStringList linesOf(QString text) {
  text.replace("\r\n", "\n");
  if (text.isEmpty()) return {};
  if (text.endsWith('\n')) text.chop(1);
  return text.split('\n');
}

pdx::Status outOfBounds(const ui::Component& c, int index) {
  return pdx::Status(pdx::code::kInvalidParameter,
                     "list index out of bounds (" + std::to_string(index) + ") translating " + c.name().toStdString());
}

pdx::Status wrongKind(const ui::Component& c, const char* kind) {
  return pdx::Status(pdx::code::kInvalidParameter,
                     "component " + c.name().toStdString() + " is not a " + kind);
}

bool flag(const db::Table& t, const char* name) {
  const db::Field* f = t.findField(name);
  return f && f->asBoolean();
}

QString textOf(const db::Table& t, const char* name) {
  const db::Field* f = t.findField(name);
  return f ? QString::fromStdString(f->asString()) : QString();
}

pdx::Status apply(const db::Table& row, ui::Component& c) {
  const QString lines = textOf(row, "Lines");
  if (flag(row, "IsMemo")) {
    if (auto* printed = dynamic_cast<report::Memo*>(&c)) {
      printed->setCaption(lines);
      return {};
    }
    auto* memo = dynamic_cast<ui::Memo*>(&c);
    if (!memo) return wrongKind(c, "memo");
    memo->setPlainText(QString(lines).replace("\r\n", "\n"));
    return {};
  }
  if (flag(row, "IsDBGrid")) {
    auto* grid = dynamic_cast<ui::ColumnTitles*>(&c);
    if (!grid) return wrongKind(c, "data grid");
    const QStringList titles = linesOf(lines);
    for (int k = 0; k < grid->columnCount(); ++k) {
      if (k >= titles.size()) return outOfBounds(c, k);
      grid->setColumnTitle(k, titles[k]);
    }
    return {};
  }
  if (flag(row, "IsRadioGroup")) {
    auto* group = dynamic_cast<ui::RadioGroup*>(&c);
    if (!group) return wrongKind(c, "radio group");
    group->setCaption(textOf(row, "Caption"));
    const QStringList items = linesOf(lines);
    for (int k = 0; k < group->count(); ++k) {
      if (k >= items.size()) return outOfBounds(c, k);
      group->setItemText(k, items[k]);
    }
    return {};
  }
  if (flag(row, "IsCombobox") || flag(row, "IsCheckList")) {
    auto* list = dynamic_cast<ui::ItemList*>(&c);
    if (!list) return wrongKind(c, flag(row, "IsCombobox") ? "combo box" : "check list");
    list->setItems(linesOf(lines));
    return {};
  }
  if (dynamic_cast<ui::MenuItem*>(&c)) {
    c.setCaption(textOf(row, "Caption"));
    return {};
  }
  if (c.name() == "DBNavigator1") {
    if (auto* hints = dynamic_cast<ui::ItemList*>(&c)) hints->setItems(linesOf(lines));
    return {};
  }
  // Report labels and every other control: caption, and the hint when given.
  c.setCaption(textOf(row, "Caption"));
  const QString hint = textOf(row, "Hint");
  if (!hint.isEmpty()) c.setHint(hint);
  return {};
}

}  // namespace

QString languagesDirectory() { return QStringLiteral("../languages"); }

QString languagesDirectoryOf(const QString& programDir) {
  if (programDir.isEmpty()) return languagesDirectory();
  return QDir::cleanPath(programDir + "/../languages");
}

pdx::Status TranslateForm(ui::ComponentOwner& form, const QString& tableName) {
  return TranslateForm(form, tableName, languagesDirectory());
}

pdx::Status TranslateForm(ui::ComponentOwner& form, const QString& tableName, const QString& directory) {
  QString name = tableName;
  if (const qsizetype dot = name.indexOf('.'); dot >= 0) name.remove(dot, 1);
  name += ".db";

  db::Table table;
  table.setDatabaseName(directory.toStdString());
  table.setTableName(name.toStdString());
  table.readOnly = true;
  PDX_RETURN_IF_ERROR(table.open());

  const std::string formName = form.ownerName().toStdString();
  auto lookup = [&](const std::string& control) -> pdx::Result<bool> {
    // Names longer than the key fields cannot have a row.
    if (formName.size() > 20 || control.size() > 35) return false;
    return table.findKey({pdx::Value::text(formName), pdx::Value::text(control)});
  };

  auto own = lookup(formName);
  if (!own.ok()) return own.status();
  if (*own) form.setOwnerCaption(textOf(table, "Caption"));

  for (ui::Component* c : form.components()) {
    auto found = lookup(c->name().toStdString());
    if (!found.ok()) return found.status();
    if (!*found) continue;
    PDX_RETURN_IF_ERROR(apply(table, *c));
  }
  return {};
}

}  // namespace shared
