#include "pick_dialog.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace outside {

PickDialog::PickDialog(const QString& title, const QStringList& columns, std::vector<QStringList> rows,
                       QWidget* parent)
    : QDialog(parent), rows_(std::move(rows)) {
  setWindowTitle(title);
  setObjectName("PickDialog");
  auto* layout = new QVBoxLayout(this);
  search_ = new QLineEdit(this);
  search_->setObjectName("Search");
  search_->setClearButtonEnabled(true);
  table_ = new QTableWidget(static_cast<int>(rows_.size()), static_cast<int>(columns.size()), this);
  table_->setObjectName("Rows");
  table_->setHorizontalHeaderLabels(columns);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r)
    for (int c = 0; c < static_cast<int>(columns.size()); ++c)
      table_->setItem(r, c, new QTableWidgetItem(rows_[size_t(r)].value(c)));
  table_->resizeColumnsToContents();
  layout->addWidget(search_);
  layout->addWidget(table_);
  resize(560, 380);
  search_->installEventFilter(this);
  table_->installEventFilter(this);
  connect(search_, &QLineEdit::textChanged, this, &PickDialog::narrow);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { choose(row); });
  if (!rows_.empty()) table_->selectRow(0);
  search_->setFocus();
}

int PickDialog::visibleRows() const {
  int n = 0;
  for (int r = 0; r < table_->rowCount(); ++r)
    if (!table_->isRowHidden(r)) ++n;
  return n;
}

void PickDialog::narrow(const QString& text) {
  int first = -1;
  for (int r = 0; r < table_->rowCount(); ++r) {
    bool match = text.isEmpty();
    for (const QString& cell : rows_[size_t(r)])
      if (!match && cell.contains(text, Qt::CaseInsensitive)) match = true;
    table_->setRowHidden(r, !match);
    if (match && first < 0) first = r;
  }
  if (first >= 0)
    table_->selectRow(first);
  else
    table_->clearSelection();
}

void PickDialog::choose(int tableRow) {
  if (tableRow < 0 || tableRow >= table_->rowCount() || table_->isRowHidden(tableRow)) return;
  chosen_ = tableRow;
  accept();
}

bool PickDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      const auto selected = table_->selectionModel()->selectedRows();
      if (!selected.isEmpty()) choose(selected.first().row());
      return true;
    }
    if (watched == search_ && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)) {
      table_->setFocus();
      return false;
    }
  }
  return QDialog::eventFilter(watched, event);
}

int pick(const QString& title, const QStringList& columns, std::vector<QStringList> rows) {
  // Over the window that asked, which gets the focus back when it closes.
  PickDialog dialog(title, columns, std::move(rows), QApplication::activeWindow());
  dialog.exec();
  return dialog.chosen();
}

}  // namespace outside
