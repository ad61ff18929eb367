// The data grid: the rows of a dataset in a table view.
//
// DataSetModel shows the records of a data source's dataset as table rows,
// one column per grid column (a field, a title and a width). It learns the
// rows by walking the dataset once, keeping a bookmark per record (a dataset
// whose bookmarks are positions, a query's, needs no walk), and reads
// the texts of a row by going to its bookmark and back; texts are cached in
// blocks around the rows the view asks for, so painting does not walk the
// dataset again. While it walks or reads, the dataset's after-scroll event
// hears nothing and neither do the controls until the end, when they are
// told the data changed (DataSet::enableControls()); the dataset returns to
// its record with the same bof() and eof().
//
// The model follows the dataset: a change of its rows (open, refresh, post,
// delete, filter) makes it walk again, a move changes its current row, a
// field change repaints the current row, which is always read from the record
// itself, and an insert shows the new record as an extra row until it is
// posted or cancelled. It never moves a dataset that is in edit or insert
// state: rows not read before show blank until the edit ends.
//
// DataGrid is the view: whole-row selection (rowSelect), read-only or
// editable cells, titles and widths per column that the user may resize;
// the selected row and the dataset's record are kept one: selecting a row
// moves the dataset there (posting an edit in progress; a post that fails is
// reported and the selection stays), and a move of the dataset selects its
// row. Double click and Enter are signals.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <unordered_map>
#include <vector>

#include "db/data_set.h"
#include "db/data_source.h"
#include "ui/component.h"

namespace ui {

struct Column {
  QString fieldName;
  QString title;  // empty: the field's label
  int width = 0;  // pixels; 0: from the field's display width
};

class DataSetModel : public QAbstractTableModel, public db::DataLink {
  Q_OBJECT
 public:
  explicit DataSetModel(QObject* parent = nullptr);
  ~DataSetModel() override;

  db::DataSource* dataSource() const { return db::DataLink::dataSource(); }
  void setDataSource(db::DataSource* source) { db::DataLink::setDataSource(source); }

  // The columns. Given none, the model shows every visible field of the
  // dataset, in order, and follows the fields when the dataset reopens.
  const std::vector<Column>& columns() const { return columns_; }
  void setColumns(std::vector<Column> columns);
  bool hasOwnColumns() const { return ownColumns_; }
  // The title shown for column `column` (the field's label when none was given).
  QString columnTitle(int column) const;
  void setColumnTitle(int column, const QString& title);
  // Records a width (the user resized the column); no signal.
  void setColumnWidth(int column, int width);
  // The field of column `column`, or null.
  db::Field* fieldAt(int column) const;

  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly);

  // The row of the dataset's record, or -1 (closed or empty dataset).
  int currentRow() const { return currentRow_; }
  // Moves the dataset to the record of `row` (posting an edit in progress).
  pdx::Status moveTo(int row);

  // How often the rows were walked, and rows read by moving the dataset since
  // the model was made: what painting costs.
  int walks() const { return walks_; }
  int64_t rowsRead() const { return rowsRead_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Keys a cell of the current row: the dataset goes into edit state and
  // the field takes the text. A refused value is reported; false.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  void activeChanged() override;
  void dataSetChanged() override;
  void dataSetScrolled() override;
  void recordChanged(const db::Field* field) override;
  void editingChanged() override;

 signals:
  void currentRowChanged(int row);
  // Columns were replaced or their titles changed (widths to apply again).
  void columnsChanged();

 private:
  using RowTexts = std::vector<QString>;
  // Where the dataset stood before the model moved it.
  struct Position {
    db::Bookmark mark;
    bool atBof = false;
    bool atEof = false;
    static Position of(const db::DataSet& ds);
    // Back to `mark`, the row at `markIndex` of the rows up to `lastMark`.
    void restore(db::DataSet& ds, int markIndex, int lastMark) const;
  };
  // Index into rows_ of a view row; -1 for the row of an insert.
  int markOf(int row) const;
  int rowOfMark(int mark) const;
  int findMark(const db::Bookmark& mark) const;
  void rebuild();
  void walk(db::DataSet& ds);
  void defaultColumns();
  RowTexts textsOfRecord(const db::DataSet& ds) const;
  void keepCurrentTexts(const db::DataSet& ds);
  const RowTexts* cachedTexts(int mark) const;
  void fetchAround(int mark) const;
  void setCurrent(int row);
  QWidget* window() const;

  std::vector<Column> columns_;
  bool ownColumns_ = false;
  bool readOnly_ = false;
  std::vector<db::Bookmark> rows_;
  int currentRow_ = -1;
  int insertRow_ = -1;                               // view row of a record being inserted
  int reshaping_ = 0;                                // rows being added, removed or reset
  bool stale_ = false;                               // the rows changed while the dataset was editing
  mutable bool quiet_ = false;                       // the model itself moves the dataset
  mutable std::unordered_map<int, RowTexts> cache_;  // by index into rows_
  int walks_ = 0;
  mutable int64_t rowsRead_ = 0;
};

class DataGrid : public QTableView, public Component, public ColumnTitles {
  Q_OBJECT
 public:
  DataGrid(ComponentOwner* owner, QWidget* parent, const QString& name);
  ~DataGrid() override;
  QObject* object() override { return this; }

  DataSetModel* dataModel() const { return model_; }
  db::DataSource* dataSource() const { return model_->dataSource(); }
  void setDataSource(db::DataSource* source) { model_->setDataSource(source); }

  const std::vector<Column>& columns() const { return model_->columns(); }
  void setColumns(std::vector<Column> columns) { model_->setColumns(std::move(columns)); }
  int columnCount() const override { return model_->columnCount(); }
  QString columnTitle(int column) const { return model_->columnTitle(column); }
  void setColumnTitle(int column, const QString& title) override { model_->setColumnTitle(column, title); }
  QStringList columnTitles() const;
  // Titles for the first columns, in order (translation gives them by line).
  void setColumnTitles(const QStringList& titles);

  bool readOnly() const { return model_->readOnly(); }
  void setReadOnly(bool readOnly);
  // Whole-row selection.
  bool rowSelect() const { return selectionBehavior() == QAbstractItemView::SelectRows; }
  void setRowSelect(bool rowSelect);

  // The dataset's row, or -1.
  int currentRow() const { return model_->currentRow(); }

 signals:
  void rowDoubleClicked(int row);
  void enterPressed(int row);
  // Every key pressed in the grid, before the grid handles it; a handler
  // that accepts the event keeps it from the grid.
  void keyDown(QKeyEvent* event);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void followDataSet(int row);
  void userMoved(const QModelIndex& current);
  void applyColumns();
  int defaultWidth(int column) const;

  DataSetModel* model_;
  int following_ = 0;      // selecting the dataset's row: not a user move
  bool applying_ = false;  // setting widths: not a user resize
};

}  // namespace ui
