#include "quick_lists.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPrinter>
#include <QTextDocument>
#include <QTimer>

#include "data/codes.h"
#include "logo_app_form.h"
#include "ui/dialogs.h"

namespace shell {

namespace {

struct ListDesign {
  const char* panel;
  const char* prefix;
  const char* caption;
  QRect place;
  const char* content;
  const char* table;
  const char* required;     // the option that lets the user use the list
  const char* maintenance;  // launched by Insert, as a shortcut
};

const ListDesign kDesign[QuickLists::kPanels] = {
    {"ClientList", "Client", "List of clients", {224, 40, 505, 233}, "DBGrid1", "cli", "kq61", "kq15S"},
    {"SupplierList", "Supplier", "List of suppliers", {224, 72, 505, 233}, "DBGrid2", "sup", "vd52", "vd14S"},
    {"AccountsList", "Accounts", "List of accounts", {312, 8, 417, 233}, "DBGrid3", "glm", "qg37", "qg12S"},
    {"EmployeeList", "Employee", "List of employees", {224, 104, 505, 233}, "DBGrid4", "emp", "xw26", "xw403S"},
    {"ThingsToDoList", "Ttd", "Things to do", {280, 136, 313, 169}, "RichEdit1", "", "", ""},
};

// The application's colours, every role set, so that a control inside a
// navy panel keeps them instead of taking the panel's.
QPalette applicationColours() {
  const QPalette app = QApplication::palette();
  QPalette own;
  for (int g = 0; g < QPalette::NColorGroups; ++g)
    for (int r = 0; r < QPalette::NColorRoles; ++r) {
      const auto group = static_cast<QPalette::ColorGroup>(g);
      const auto role = static_cast<QPalette::ColorRole>(r);
      own.setBrush(group, role, app.brush(group, role));
    }
  return own;
}

const char* const kShortcutNames[QuickLists::kPanels] = {"ClientBtn", "SupplierBtn", "AccountsBtn", "EmployeeBtn",
                                                          "ToDoListBtn"};

std::vector<ui::Column> designedColumns(int slot) {
  switch (slot) {
    case 0:
      return {{"Cli_code", "Client #", 0},        {"Cli_name", "Name", 200},         {"Cli_tel", "Telephone", 100},
              {"Cli_adr1", "Address", 200},       {"Cli_adr2", "Address", 200},      {"Cli_city", "City", 200},
              {"Cli_prov", "Province", 150},      {"Cli_country", "Country", 150},   {"Cli_postal_code", "Postal code", 100},
              {"Cli_fax", "Fax", 100},            {"Cli_contact", "Contact", 100},   {"Cli_email", "Email", 150},
              {"Cli_salesrep", "Sales rep.", 0}};
    case 1:
      return {{"Sup_code", "Supplier #", 0},      {"Sup_name", "Name", 200},         {"Sup_tel", "Telephone", 100},
              {"Sup_adr1", "Address", 200},       {"Sup_adr2", "Address", 200},      {"Sup_city", "City", 200},
              {"Sup_prov", "Province", 150},      {"Sup_country", "Country", 150},   {"Sup_postal_code", "Postal code", 100},
              {"Sup_fax", "Fax", 100},            {"Sup_contact", "Contact", 100},   {"Sup_email", "Email", 100}};
    case 2:
      return {{"Glm_account", "Account #", 67}, {"Glm_Description", "Description", 200}, {"glm_type_desc", "Type", 0}};
    case 3:
      return {{"Emp_Code", "Employee #", 0},      {"Emp_Name", "Name", 200},         {"Emp_Telephone", "Telephone", 100},
              {"Emp_Adr1", "Address", 200},       {"Emp_Adr2", "Address", 200},      {"Emp_City", "City", 200},
              {"Emp_province", "Province", 150},  {"Emp_Postal_code", "Postal code", 82},
              {"Emp_Occupation", "Occupation", 100}};
  }
  return {};
}

}  // namespace

QuickLists::QuickLists(TLogoAppForm& window) : window_(window) {
  ThingsToDoPopup = new ui::PopupMenu(&window_, &window_, "ThingsToDoPopup");
  ui::MenuItem* enlarge = ThingsToDoPopup->add("Enlarge2", "Enlarge");
  ui::MenuItem* reduce = ThingsToDoPopup->add("Reduce2", "Reduce");
  ui::MenuItem* print = ThingsToDoPopup->add("PrintList1", "Print list");
  connect(enlarge, &QAction::triggered, this, [this] { Enlarge2Click(); });
  connect(reduce, &QAction::triggered, this, [this] { Reduce2Click(); });
  connect(print, &QAction::triggered, this, [this] { PrintList1Click(); });

  for (int slot = 0; slot < kPanels; ++slot) makeList(slot);
  connect(qApp, &QApplication::focusChanged, this, &QuickLists::focusChanged);
}

QuickLists::~QuickLists() {
  for (db::Table& t : tables_) {
    t.beforeClose = nullptr;
    t.onCalcFields = nullptr;
  }
}

void QuickLists::makeList(int slot) {
  const ListDesign& d = kDesign[slot];
  auto* panel = new QuickListPanel(&window_, window_.Wallpaper1, d.panel, d.prefix, d.caption, d.place);
  panels_[size_t(slot)] = panel;
  connect(panel, &QuickListPanel::changed, this, &QuickLists::changed);
  // The panel's navy is its own: its title buttons and content keep the
  // application's colours.
  for (QWidget* w : {static_cast<QWidget*>(panel->ReduceBtn), static_cast<QWidget*>(panel->EnlargeBtn),
                     static_cast<QWidget*>(panel->CloseBtn)})
    w->setPalette(applicationColours());
  connect(panel->CloseBtn, &QToolButton::clicked, this, [this, slot] { toggle(slot); });
  connect(panel->ReduceBtn, &QToolButton::clicked, this, [this, slot] { reduceClick(slot); });
  connect(panel->EnlargeBtn, &QToolButton::clicked, this, [this, slot] { enlargeClick(slot); });

  if (slot == kThingsToDo) {
    RichEdit1 = new ui::NoteEditor(&window_, panel, d.content);
    RichEdit1->setPalette(applicationColours());
    RichEdit1->setFont(QFont("Arial", 10));
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setTabChangesFocus(false);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (QWidget* w : {static_cast<QWidget*>(panel), static_cast<QWidget*>(RichEdit1)}) {
      w->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(w, &QWidget::customContextMenuRequested, this,
              [this, w](const QPoint& at) { ThingsToDoPopup->popupFor(w, w->mapToGlobal(at)); });
    }
    panel->setContent(RichEdit1);
    return;
  }

  db::Table& table = tables_[size_t(slot)];
  table.setName(d.table);
  table.setDatabaseName("menudata");
  table.setTableName(d.table);
  table.readOnly = true;
  if (slot == 2) {
    table.addCalculatedField("glm_type_desc", pdx::FieldType::kAlpha, 20);
    table.onCalcFields = [this](db::DataSet& glm) { Gl_TableCalcFields(glm); };
  }
  // A company switch disconnects "menudata", which closes the table: an open
  // list then shows the new company's rows as soon as it is connected.
  table.beforeClose = [this, slot](db::DataSet&) {
    if (!closing_[size_t(slot)] && panels_[size_t(slot)]->isOpen())
      QTimer::singleShot(0, this, [this, slot] { reopenAfterDisconnect(slot); });
  };
  sources_[size_t(slot)].setDataSet(&table);

  auto* grid = new ui::DataGrid(&window_, panel, d.content);
  grid->setPalette(applicationColours());
  grids_[size_t(slot)] = grid;
  grid->setDataSource(&sources_[size_t(slot)]);
  grid->setColumns(designedColumns(slot));
  grid->setReadOnly(true);
  grid->setRowSelect(true);
  grid->setTabKeyNavigation(true);
  grid->setShowGrid(true);
  grid->setFont(QFont("Arial", 8));
  grid->horizontalHeader()->setStyleSheet(
      "QHeaderView::section { background-color: rgb(0, 128, 128); color: white; padding: 1px 4px; "
      "border: 0px; border-right: 1px solid rgb(0, 96, 96); }");
  connect(grid, &ui::DataGrid::keyDown, this, [this, slot](QKeyEvent* event) { DBGrid1KeyDown(slot, event); });
  panel->setContent(grid);
}

// ---------------------------------------------------------------- names

int QuickLists::panelSlot(const QString& name) {
  for (int slot = 0; slot < kPanels; ++slot)
    if (name == QLatin1String(kDesign[slot].panel)) return slot;
  return -1;
}

int QuickLists::gridSlot(const QString& name) {
  for (int slot = 0; slot < kLists; ++slot)
    if (name == QLatin1String(kDesign[slot].content)) return slot;
  return -1;
}

int QuickLists::shortcutSlot(const QString& name) {
  for (int slot = 0; slot < kPanels; ++slot)
    if (name == QLatin1String(kShortcutNames[slot])) return slot;
  return -1;
}

QString QuickLists::requiredCode(int slot) { return QString::fromLatin1(kDesign[slot].required); }

bool QuickLists::allowed(int slot) const {
  return slot == kThingsToDo || window_.ShortcutDlg->allows(requiredCode(slot));
}

// ---------------------------------------------------------------- open and close

void QuickLists::changed() { window_.markDesktopChanged(); }

void QuickLists::toggle(int slot) {
  if (!allowed(slot)) return;
  if (!panel(slot)->isHidden()) closeList(slot, true);
  else (void)openList(slot);
  changed();
}

bool QuickLists::openList(int slot) {
  QuickListPanel* p = panel(slot);
  if (slot < kLists && !table(slot).active()) {
    if (pdx::Status s = table(slot).open(); !s.ok()) {
      p->setTag(0);
      p->hide();
      window_.databaseError(s);
      return false;
    }
  }
  p->setTag(1);
  p->show();
  p->layOut();
  return true;
}

void QuickLists::closeList(int slot, bool closeTable) {
  QuickListPanel* p = panel(slot);
  p->setTag(0);
  p->hide();
  if (closeTable && slot < kLists) {
    closing_[size_t(slot)] = true;
    table(slot).close();
    closing_[size_t(slot)] = false;
  }
}

void QuickLists::reopenAfterDisconnect(int slot) {
  if (!panel(slot)->isOpen() || table(slot).active()) return;
  // The company database may be gone for good (a failed switch): then the
  // list closes, as it would have failed to open.
  if (db::Database* menudata = db::Database::find("menudata"); !menudata || !menudata->connected()) {
    closeList(slot, false);
    return;
  }
  (void)openList(slot);
}

// ---------------------------------------------------------------- sizes

void QuickLists::reduceClick(int slot) {
  if (panel(slot)->resizeBy(false, 1.15, 1.25)) changed();
}

void QuickLists::enlargeClick(int slot) {
  if (panel(slot)->resizeBy(true, 1.15, 1.25)) changed();
}

void QuickLists::Enlarge2Click() {
  if (panel(kThingsToDo)->resizeBy(true, 1.15, 1.15)) changed();
}

void QuickLists::Reduce2Click() {
  if (panel(kThingsToDo)->resizeBy(false, 1.15, 1.15)) changed();
}

void QuickLists::PrintList1Click() {
  const bool french = window_.context().language() == data::kFrench;
  QTextDocument* note = RichEdit1->document();
  ui::dialogs().preview(&window_, french ? "Choses à faire" : "Things to do",
                        [note](QPrinter* printer) { note->print(printer); });
}

// ---------------------------------------------------------------- focus, keys

void QuickLists::focusChanged(QWidget* from, QWidget* to) {
  // Bringing a panel to the front when the focus enters it.
  for (QuickListPanel* p : panels_) {
    if (!to || !p->isAncestorOf(to) || (from && p->isAncestorOf(from))) continue;
    p->bringToFront();
    changed();
  }
}

void QuickLists::DBGrid1KeyDown(int slot, QKeyEvent* event) {
  if (event->key() != Qt::Key_Insert || event->modifiers() & ~Qt::KeypadModifier) return;
  event->accept();
  window_.ExecuteOption(QString::fromLatin1(kDesign[slot].maintenance));
  // A record added in the module shows.
  if (table(slot).active())
    if (pdx::Status s = table(slot).refresh(); !s.ok()) window_.databaseError(s);
}

void QuickLists::Gl_TableCalcFields(db::DataSet& glm) {
  const std::string type = glm.fieldByName("Glm_type").asString();
  (void)glm.fieldByName("glm_type_desc").setAsString(data::accountTypeDisplay(type, window_.context().language()));
}

}  // namespace shell
