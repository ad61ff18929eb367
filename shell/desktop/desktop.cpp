#include "desktop.h"

#include <QSet>
#include <algorithm>

#include "db/database.h"
#include "db/error.h"
#include "db/table.h"
#include "logo_app_form.h"
#include "properties_dialog.h"
#include "quick_lists.h"
#include "shortcuts.h"
#include "ui/component_stream.h"
#include "ui/dialogs.h"

namespace shell {

namespace {

// A row read and checked, waiting to be applied.
struct Item {
  DesktopKind kind;
  int slot;
  ui::PropertyObject object;
};

pdx::Value text(const QString& s) { return pdx::Value::text(s.toStdString()); }

// The result of `body`, or the error of a table that lacks a field the
// desktop reads (a table of another layout throws it) as a status.
template <typename Body>
auto guarded(Body body) -> decltype(body()) {
  try {
    return body();
  } catch (const db::DatabaseError& e) {
    return pdx::Status(e.last().errorCode, e.last().message);
  }
}

}  // namespace

TDesktop::TDesktop(TLogoAppForm& window) : window_(window) {
  lists_ = std::make_unique<QuickLists>(window_);
  PropertiesDlg = new TPropertiesDlg(&window_);
  shortcuts_ = std::make_unique<Shortcuts>(window_, *lists_, *PropertiesDlg);
}

TDesktop::~TDesktop() = default;

std::vector<ui::ComponentOwner*> TDesktop::dialogs() { return {PropertiesDlg}; }

void TDesktop::report(int line, const pdx::Status& status) {
  ui::dialogs().message(&window_, ui::MessageKind::kError, window_.windowTitle(),
                        window_.messageLine(line) + "\n\n" + QString::fromStdString(status.message()));
}

// ---------------------------------------------------------------- loading

pdx::Result<std::vector<TDesktop::Row>> TDesktop::readRows(const QString& user) {
  db::Table t("Desktop");
  t.setDatabaseName(window_.dataDir().toStdString());
  t.setTableName("Desktop");
  t.readOnly = true;
  PDX_RETURN_IF_ERROR(t.open());
  PDX_RETURN_IF_ERROR(t.setRange({text(user)}, {text(user)}));
  std::vector<Row> rows;
  PDX_RETURN_IF_ERROR(t.first());
  while (!t.isEmpty() && !t.eof()) {
    Row row;
    row.kind = static_cast<int>(t.fieldByName("Desktop_Component_type").asInteger());
    row.index = static_cast<int>(t.fieldByName("Desktop_ComponentIndex").asInteger());
    const pdx::Value& stream = t.fieldByName("Desktop_Component").value();
    if (stream.kind() == pdx::Value::Kind::kBytes)
      row.stream = QByteArray(stream.asBytes().data(), static_cast<qsizetype>(stream.asBytes().size()));
    rows.push_back(std::move(row));
    PDX_RETURN_IF_ERROR(t.next());
  }
  return rows;
}

void TDesktop::Set_Desktop() {
  const QString user = window_.userCode();
  if (user.isEmpty()) return;
  pdx::Result<std::vector<Row>> rows = guarded([&] { return readRows(user); });
  if (!rows.ok()) {
    report(message::kDesktopDamaged, rows.status());
    return;
  }
  // A user without rows keeps the designed desktop.
  if (rows->empty()) return;

  // Every row is read and checked against its item before anything changes.
  std::vector<Item> items;
  QSet<QString> shortcutNames;
  for (const Row& row : *rows) {
    // Kinds and slots this desktop does not have are skipped unread.
    const auto kind = static_cast<DesktopKind>(row.kind);
    const bool known = kind == DesktopKind::kWallpaper || kind == DesktopKind::kShortcut || kind == DesktopKind::kNote ||
                       (kind == DesktopKind::kPanel && row.index >= 0 && row.index < QuickLists::kPanels) ||
                       (kind == DesktopKind::kGrid && row.index >= 0 && row.index < QuickLists::kLists);
    if (!known) continue;
    pdx::Result<ui::PropertyObject> object = ui::readPropertyStream(row.stream);
    if (!object.ok()) return report(message::kDesktopDamaged, object.status());
    int slot = -1;
    ui::Component* target = nullptr;
    std::unique_ptr<ui::TTransparentButton> scratch;
    switch (kind) {
      case DesktopKind::kWallpaper: target = window_.Wallpaper1; break;
      case DesktopKind::kPanel:
        slot = row.index;
        target = lists_->panel(slot);
        break;
      case DesktopKind::kGrid:
        slot = row.index;
        target = lists_->grid(slot);
        break;
      case DesktopKind::kNote: target = lists_->RichEdit1; break;
      case DesktopKind::kShortcut: {
        // The name becomes a component name and, through the launch, the
        // name of a library: it must be a plain name, its own, and unique.
        const QString name = object->name();
        ui::Component* holder = window_.findComponent(name);
        if (!ui::isValidComponentName(name) || shortcutNames.contains(name.toLower()) ||
            (holder && !dynamic_cast<ui::TTransparentButton*>(holder)))
          return report(message::kDesktopDamaged,
                        pdx::Status(pdx::code::kInvalidName, "a shortcut has a name that cannot be used"));
        shortcutNames.insert(name.toLower());
        scratch = std::make_unique<ui::TTransparentButton>(nullptr, nullptr, name);
        target = scratch.get();
        break;
      }
    }
    if (pdx::Status s = ui::checkComponentProperties(*object, *target); !s.ok())
      return report(message::kDesktopDamaged, s);
    items.push_back({kind, slot, std::move(*object)});
  }

  auto apply = [this](const ui::PropertyObject& object, ui::Component& target) {
    if (pdx::Status s = ui::applyComponentProperties(object, target); !s.ok()) window_.databaseError(s);
  };
  shortcuts_->removeAll();
  // First pass: the wallpaper and the panels, from the lowest to the topmost,
  // whose lists open now.
  for (const Item& item : items) {
    if (item.kind == DesktopKind::kWallpaper) apply(item.object, *window_.Wallpaper1);
    if (item.kind != DesktopKind::kPanel) continue;
    QuickListPanel* panel = lists_->panel(item.slot);
    // The caption is the one of the user's language, not of the save's.
    const QString caption = panel->caption();
    apply(item.object, *panel);
    panel->setCaption(caption);
    panel->bringToFront();
    // A list the user may no longer use stays closed.
    if (panel->isOpen() && lists_->allowed(item.slot)) (void)lists_->openList(item.slot);
    else lists_->closeList(item.slot, true);
  }
  // Second pass: the shortcuts in their saved order, the grids and the note.
  for (const Item& item : items) {
    switch (item.kind) {
      case DesktopKind::kShortcut: {
        ui::TTransparentButton* button = shortcuts_->makeShortcut(item.object.name());
        apply(item.object, *button);
        button->setVisible(button->tag() == 1);
        break;
      }
      case DesktopKind::kGrid: apply(item.object, *lists_->grid(item.slot)); break;
      case DesktopKind::kNote: apply(item.object, *lists_->RichEdit1); break;
      default: break;
    }
  }
}

// ---------------------------------------------------------------- saving

std::vector<TDesktop::Row> TDesktop::rows() {
  const std::vector<ui::Component*> components = window_.components();
  std::vector<Row> out;
  auto add = [&](ui::Component* c, DesktopKind kind, int slot) {
    Row row;
    row.kind = static_cast<int>(kind);
    // Panels and grids by their slot, the others by their place in the
    // window's component list.
    row.index = slot >= 0 ? slot : static_cast<int>(std::find(components.begin(), components.end(), c) - components.begin());
    row.stream = ui::writeComponent(*c);
    out.push_back(std::move(row));
  };
  add(window_.Wallpaper1, DesktopKind::kWallpaper, -1);
  // The panels in their stacking order, so that the one on top comes back on
  // top, each followed by its grid or the note.
  for (QObject* child : window_.Wallpaper1->children()) {
    auto* panel = qobject_cast<QuickListPanel*>(child);
    const int slot = panel ? QuickLists::panelSlot(panel->name()) : -1;
    if (slot < 0 || panel != lists_->panel(slot)) continue;
    add(panel, DesktopKind::kPanel, slot);
    if (slot < QuickLists::kLists) add(lists_->grid(slot), DesktopKind::kGrid, slot);
    else add(lists_->RichEdit1, DesktopKind::kNote, -1);
  }
  for (ui::TTransparentButton* button : shortcuts_->shortcuts()) add(button, DesktopKind::kShortcut, -1);
  return out;
}

pdx::Status TDesktop::writeRows(const QString& user, const std::vector<Row>& rows) {
  PDX_ASSIGN_OR_RETURN(std::shared_ptr<pdx::Directory> root,
                       db::Database::resolve(window_.dataDir().toStdString(), nullptr));
  PDX_ASSIGN_OR_RETURN(std::unique_ptr<pdx::WriteGroup> group, root->beginGroup());
  // Declared first, so that it rolls back last, after the table is closed.
  db::Transaction transaction(std::move(group));
  db::Table t("Desktop");
  t.setDatabaseName(window_.dataDir().toStdString());
  t.setTableName("Desktop");
  PDX_RETURN_IF_ERROR(t.open());
  PDX_RETURN_IF_ERROR(t.setRange({text(user)}, {text(user)}));
  while (!t.isEmpty()) PDX_RETURN_IF_ERROR(t.remove());
  PDX_RETURN_IF_ERROR(t.cancelRange());
  for (const Row& row : rows) {
    PDX_RETURN_IF_ERROR(t.insert());
    PDX_RETURN_IF_ERROR(t.fieldByName("Desktop_user").setValue(text(user)));
    PDX_RETURN_IF_ERROR(t.fieldByName("Desktop_ComponentIndex").setAsInteger(row.index));
    PDX_RETURN_IF_ERROR(t.fieldByName("Desktop_Component_type").setAsInteger(row.kind));
    PDX_RETURN_IF_ERROR(t.fieldByName("Desktop_Component")
                            .setValue(pdx::Value::bytes(std::string(row.stream.constData(), size_t(row.stream.size())))));
    PDX_RETURN_IF_ERROR(t.post());
  }
  t.close();
  return transaction.commit();
}

void TDesktop::Save_Desktop() {
  const QString user = window_.userCode();
  if (user.isEmpty()) return;
  const std::vector<Row> items = rows();
  if (pdx::Status s = guarded([&] { return writeRows(user, items); }); !s.ok())
    report(message::kDesktopNotSaved, s);
}

std::unique_ptr<DesktopPart> makeDesktop(TLogoAppForm& window) { return std::make_unique<TDesktop>(window); }

}  // namespace shell
