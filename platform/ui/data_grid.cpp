#include "ui/data_grid.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>

#include "db/error.h"
#include "db/field.h"
#include "ui/field_link.h"

namespace ui {

namespace {

// Rows read around the one the view asks for, and the most rows kept.
constexpr int kBlock = 64;
constexpr size_t kMaxCached = 4096;
// Rows whose texts the walk keeps as it passes (the first screenfuls).
constexpr int kWalkCached = 128;

bool sameMark(const db::Bookmark& a, const db::Bookmark& b) {
  return a.valid == b.valid && a.row == b.row && a.record.recordNumber == b.record.recordNumber &&
         a.record.key == b.record.key;
}

// Paints a cell as the style does, but its text from a laid-out copy kept
// per text and width: a grid paints the same texts again and again, and
// laying them out is most of what painting a cell costs.
class CellDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    // The grid's model gives a text and its alignment and nothing else (no
    // icon, check box, font or colour): the option needs only those two.
    QStyleOptionViewItem opt = option;
    const QString text = index.data(Qt::DisplayRole).toString();
    opt.displayAlignment = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
    opt.features |= QStyleOptionViewItem::HasDisplay;
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    if (opt.state & QStyle::State_HasFocus)
      style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);  // panel and focus frame
    else
      style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    if (text.isEmpty()) return;

    // Where and in which colour the style puts the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect room = opt.rect.adjusted(margin, 0, -margin, 0);
    if (room.width() <= 0) return;
    QPalette::ColorGroup group = (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(opt.state & QStyle::State_Active)) group = QPalette::Inactive;
    const QPalette::ColorRole role = (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;

    const QStaticText& laid = laidOut(text, room.width(), opt.font, opt.fontMetrics);
    const QSizeF size = laid.size();
    qreal x = room.left();
    if (opt.displayAlignment & Qt::AlignRight) x = room.right() + 1 - size.width();
    else if (opt.displayAlignment & Qt::AlignHCenter) x = room.left() + (room.width() - size.width()) / 2;
    const qreal y = room.top() + (room.height() - size.height()) / 2;
    painter->save();
    painter->setClipRect(opt.rect);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, role));
    painter->drawStaticText(QPointF(x, y), laid);
    painter->restore();
  }

 private:
  const QStaticText& laidOut(const QString& text, int width, const QFont& font, const QFontMetrics& metrics) const {
    if (font != font_) {
      laidOut_.clear();
      font_ = font;
    }
    const QString key = text + QChar(0) + QString::number(width);
    auto it = laidOut_.constFind(key);
    if (it != laidOut_.constEnd()) return *it;
    if (laidOut_.size() >= kMaxLaidOut) laidOut_.clear();
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.prepare(QTransform(), font);
    if (laid.size().width() > width) {
      laid.setText(metrics.elidedText(text, Qt::ElideRight, width));
      laid.prepare(QTransform(), font);
    }
    return *laidOut_.insert(key, laid);
  }

  static constexpr qsizetype kMaxLaidOut = 4096;
  mutable QHash<QString, QStaticText> laidOut_;
  mutable QFont font_;
};

// Moves the model makes on its own: no control and no after-scroll handler
// hears them, and the model ignores the data change that enableControls()
// reports at the end.
class QuietMoves {
 public:
  QuietMoves(db::DataSet& ds, bool& flag)
      : ds_(ds), flag_(flag), wasQuiet_(flag), afterScroll_(std::move(ds.afterScroll)) {
    ds_.afterScroll = nullptr;
    flag_ = true;
    ds_.disableControls();
  }
  ~QuietMoves() {
    ds_.afterScroll = std::move(afterScroll_);
    ds_.enableControls();
    flag_ = wasQuiet_;
  }
  QuietMoves(const QuietMoves&) = delete;
  QuietMoves& operator=(const QuietMoves&) = delete;

 private:
  db::DataSet& ds_;
  bool& flag_;
  bool wasQuiet_;
  db::DataSet::Event afterScroll_;
};

bool rightAligned(const db::Field* f) {
  return f && f->isNumeric();
}

}  // namespace

// ---------------------------------------------------------------- model

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

DataSetModel::~DataSetModel() = default;

QWidget* DataSetModel::window() const {
  return qobject_cast<QWidget*>(QObject::parent());
}

void DataSetModel::setColumns(std::vector<Column> columns) {
  ++reshaping_;
  beginResetModel();
  ownColumns_ = !columns.empty();
  columns_ = std::move(columns);
  if (!ownColumns_) defaultColumns();
  cache_.clear();
  endResetModel();
  --reshaping_;
  emit columnsChanged();
}

void DataSetModel::defaultColumns() {
  columns_.clear();
  db::DataSet* ds = dataSet();
  if (!ds) return;
  for (const auto& f : ds->fields())
    if (f->visible) columns_.push_back({QString::fromStdString(f->fieldName()), {}, 0});
}

QString DataSetModel::columnTitle(int column) const {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return {};
  const Column& c = columns_[size_t(column)];
  if (!c.title.isEmpty()) return c.title;
  if (const db::Field* f = fieldAt(column)) return QString::fromStdString(f->label());
  return c.fieldName;
}

void DataSetModel::setColumnTitle(int column, const QString& title) {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return;
  columns_[size_t(column)].title = title;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

void DataSetModel::setColumnWidth(int column, int width) {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return;
  columns_[size_t(column)].width = width;
}

db::Field* DataSetModel::fieldAt(int column) const {
  db::DataSet* ds = dataSet();
  if (!ds || column < 0 || column >= static_cast<int>(columns_.size())) return nullptr;
  return ds->findField(columns_[size_t(column)].fieldName.toStdString());
}

void DataSetModel::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  if (rowCount() > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

// ---- rows

int DataSetModel::markOf(int row) const {
  if (insertRow_ < 0 || row < insertRow_) return row;
  if (row == insertRow_) return -1;
  return row - 1;
}

int DataSetModel::rowOfMark(int mark) const {
  if (insertRow_ >= 0 && mark >= insertRow_) return mark + 1;
  return mark;
}

int DataSetModel::findMark(const db::Bookmark& mark) const {
  if (!mark.valid) return -1;
  const int n = static_cast<int>(rows_.size());
  // Most moves are to the next or the previous record.
  const int near = currentRow_ >= 0 ? markOf(currentRow_) : -1;
  for (int m : {near, near + 1, near - 1})
    if (m >= 0 && m < n && sameMark(rows_[size_t(m)], mark)) return m;
  for (int m = 0; m < n; ++m)
    if (sameMark(rows_[size_t(m)], mark)) return m;
  return -1;
}

void DataSetModel::rebuild() {
  db::DataSet* ds = dataSet();
  if (ds && ds->active() && ds->editing()) {
    // Walking would post or cancel the edit: wait for it to end.
    stale_ = true;
    return;
  }
  ++reshaping_;
  beginResetModel();
  stale_ = false;
  rows_.clear();
  cache_.clear();
  insertRow_ = -1;
  currentRow_ = -1;
  if (!ownColumns_) defaultColumns();
  if (ds && ds->active()) {
    try {
      walk(*ds);
    } catch (const std::exception&) {
      // A calc-fields handler that throws: show the rows found so far.
    }
  }
  endResetModel();
  --reshaping_;
  if (!ownColumns_) emit columnsChanged();
  emit currentRowChanged(currentRow_);
}

void DataSetModel::walk(db::DataSet& ds) {
  ++walks_;
  QuietMoves quiet(ds, quiet_);
  const Position here = Position::of(ds);
  if (ds.positionalBookmarks()) {
    // Every record is known by its position: nothing to walk. The texts are
    // read a block at a time as the view asks for them.
    auto count = ds.recordCount();
    if (count.ok()) {
      rows_.resize(size_t(*count));
      for (int64_t i = 0; i < *count; ++i) rows_[size_t(i)] = db::Bookmark{true, {}, i};
      currentRow_ = here.mark.valid ? rowOfMark(static_cast<int>(here.mark.row)) : rows_.empty() ? -1 : 0;
      if (!here.mark.valid && !rows_.empty()) (void)ds.first();
      keepCurrentTexts(ds);
      return;
    }
  }
  try {
    pdx::Status s = ds.first();
    while (s.ok() && !ds.isEmpty()) {
      const int mark = static_cast<int>(rows_.size());
      rows_.push_back(ds.bookmark());
      if (mark < kWalkCached) cache_[mark] = textsOfRecord(ds);
      s = ds.next();
      if (ds.eof()) break;
    }
  } catch (...) {
    here.restore(ds, -1, -1);
    throw;
  }
  const int mark = findMark(here.mark);
  here.restore(ds, mark, static_cast<int>(rows_.size()) - 1);
  currentRow_ = here.mark.valid ? rowOfMark(mark) : rows_.empty() ? -1 : 0;
  if (!here.mark.valid && !rows_.empty()) (void)ds.first();
  keepCurrentTexts(ds);
}

DataSetModel::Position DataSetModel::Position::of(const db::DataSet& ds) {
  return {ds.bookmark(), ds.bof(), ds.eof()};
}

void DataSetModel::Position::restore(db::DataSet& ds, int markIndex, int lastMark) const {
  if (!mark.valid) return;
  try {
    // Back on the record, with the ends as they were: code that tests bof()
    // or eof() after a move sees no trace of the model's reading.
    if (atBof && markIndex == 0)
      (void)ds.first();
    else if (atEof && markIndex >= 0 && markIndex == lastMark)
      (void)ds.last();
    else
      (void)ds.gotoBookmark(mark);
  } catch (...) {
    // An event handler failed on the way back; the record stays where it is.
  }
}

void DataSetModel::keepCurrentTexts(const db::DataSet& ds) {
  // The current row is read from the record itself, but its texts are kept
  // too: an insert shows them again on the row it pushes down.
  const int mark = currentRow_ >= 0 ? markOf(currentRow_) : -1;
  if (mark >= 0 && !ds.editing()) cache_[mark] = textsOfRecord(ds);
}

DataSetModel::RowTexts DataSetModel::textsOfRecord(const db::DataSet& ds) const {
  RowTexts texts;
  texts.reserve(columns_.size());
  for (const Column& c : columns_) {
    const db::Field* f = ds.findField(c.fieldName.toStdString());
    texts.push_back(f ? QString::fromStdString(f->displayText()) : QString());
  }
  return texts;
}

const DataSetModel::RowTexts* DataSetModel::cachedTexts(int mark) const {
  auto it = cache_.find(mark);
  if (it == cache_.end()) {
    fetchAround(mark);
    it = cache_.find(mark);
  }
  return it == cache_.end() ? nullptr : &it->second;
}

void DataSetModel::fetchAround(int mark) const {
  db::DataSet* ds = dataSet();
  if (!ds || !ds->active() || ds->editing() || quiet_) return;
  if (cache_.size() + kBlock > kMaxCached) cache_.clear();
  const int n = static_cast<int>(rows_.size());
  const int from = std::max(0, mark - kBlock / 4);
  const int to = std::min(n, from + kBlock);
  QuietMoves quiet(*ds, quiet_);
  const Position here = Position::of(*ds);
  try {
    for (int m = from; m < to; ++m) {
      if (cache_.count(m)) continue;
      if (!ds->gotoBookmark(rows_[size_t(m)]).ok()) {
        // The record went away (another user deleted it): blank until the
        // next walk, rather than a read at every paint.
        cache_[m] = RowTexts(columns_.size());
        continue;
      }
      ++rowsRead_;
      cache_[m] = textsOfRecord(*ds);
    }
  } catch (const std::exception&) {
    cache_[mark] = RowTexts(columns_.size());
  }
  const int current = currentRow_ >= 0 ? markOf(currentRow_) : -1;
  here.restore(*ds, current, n - 1);
}

void DataSetModel::setCurrent(int row) {
  if (row == currentRow_) return;
  const int old = currentRow_;
  currentRow_ = row;
  const int last = columnCount() - 1;
  if (last >= 0) {
    if (old >= 0 && old < rowCount()) emit dataChanged(index(old, 0), index(old, last));
    if (row >= 0 && row < rowCount()) emit dataChanged(index(row, 0), index(row, last));
  }
  if (old >= 0 && old < rowCount()) emit headerDataChanged(Qt::Vertical, old, old);
  if (row >= 0 && row < rowCount()) emit headerDataChanged(Qt::Vertical, row, row);
  emit currentRowChanged(row);
}

pdx::Status DataSetModel::moveTo(int row) {
  db::DataSet* ds = dataSet();
  if (!ds || !ds->active()) return pdx::Status(db::code::kDataSetClosed, "the dataset is not open");
  // While rows come and go the view moves its current row by itself.
  if (reshaping_ > 0 || row == currentRow_ || row < 0 || row >= rowCount()) return {};
  const int mark = markOf(row);
  if (mark < 0) return {};
  const db::Bookmark target = rows_[size_t(mark)];
  try {
    // Settle an edit first: its post may change the rows (and this model).
    pdx::Status settled = ds->checkBrowseMode();
    if (!settled.ok()) return settled;
    return ds->gotoBookmark(target);
  } catch (const db::DatabaseError& e) {
    return pdx::Status(e.last().errorCode, e.what());
  }
}

// ---- the dataset's news

void DataSetModel::activeChanged() {
  if (quiet_) return;
  rebuild();
}

void DataSetModel::dataSetChanged() {
  if (quiet_) return;
  rebuild();
}

void DataSetModel::dataSetScrolled() {
  if (quiet_) return;
  db::DataSet* ds = dataSet();
  if (!ds) return;
  if (insertRow_ >= 0) return;  // the inserted row stays current
  const db::Bookmark here = ds->bookmark();
  const int mark = findMark(here);
  if (mark < 0) {
    // A record the walk did not see: the rows changed without notice.
    if (here.valid) rebuild();
    return;
  }
  setCurrent(rowOfMark(mark));
  keepCurrentTexts(*ds);
}

void DataSetModel::recordChanged(const db::Field*) {
  if (quiet_ || currentRow_ < 0 || currentRow_ >= rowCount() || columnCount() == 0) return;
  emit dataChanged(index(currentRow_, 0), index(currentRow_, columnCount() - 1));
}

void DataSetModel::editingChanged() {
  if (quiet_) return;
  db::DataSet* ds = dataSet();
  if (!ds) return;
  if (ds->state() == db::DataSet::State::kInsert && insertRow_ < 0) {
    const int at = currentRow_ >= 0 ? currentRow_ : 0;
    // Until the row is in, the record at `at` shows its kept texts.
    currentRow_ = -1;
    ++reshaping_;
    beginInsertRows({}, at, at);
    insertRow_ = at;
    endInsertRows();
    --reshaping_;
    currentRow_ = -1;
    setCurrent(at);
    return;
  }
  if (ds->state() != db::DataSet::State::kInsert && insertRow_ >= 0) {
    // Posted or cancelled: the data change that follows walks the rows again.
    ++reshaping_;
    beginRemoveRows({}, insertRow_, insertRow_);
    insertRow_ = -1;
    currentRow_ = -1;
    endRemoveRows();
    --reshaping_;
    emit currentRowChanged(-1);
  }
  if (!ds->editing() && stale_) {
    rebuild();
    return;
  }
  recordChanged(nullptr);
}

// ---- QAbstractTableModel

int DataSetModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(rows_.size()) + (insertRow_ >= 0 ? 1 : 0);
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(columns_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  if (role == Qt::TextAlignmentRole)
    return rightAligned(fieldAt(index.column())) ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                                 : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  db::DataSet* ds = dataSet();
  if (!ds || !ds->active()) return QString();
  if (index.row() == currentRow_) {
    // The record itself: what is being keyed shows as it is keyed.
    const db::Field* f = fieldAt(index.column());
    if (!f) return QString();
    return QString::fromStdString(role == Qt::EditRole ? f->asString() : f->displayText());
  }
  const int mark = markOf(index.row());
  if (mark < 0) return QString();
  const RowTexts* texts = cachedTexts(mark);
  if (!texts || size_t(index.column()) >= texts->size()) return QString();
  return (*texts)[size_t(index.column())];
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return columnTitle(section);
    return {};
  }
  if (section < 0 || section >= rowCount()) return {};
  if (role == Qt::DisplayRole) return section == currentRow_ ? QStringLiteral("▸") : QString();
  return {};
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  const db::Field* field = fieldAt(index.column());
  if (!readOnly_ && field && !field->readOnly && !field->calculated() && dataSetWritable(field->dataSet()))
    f |= Qt::ItemIsEditable;
  return f;
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable)) return false;
  db::DataSet* ds = dataSet();
  if (!ds) return false;
  pdx::Status moved = moveTo(index.row());
  if (!moved.ok()) {
    showDataError(window(), dataErrorText(moved));
    return false;
  }
  db::Field* f = fieldAt(index.column());
  const QString text = value.toString();
  pdx::Status s;
  try {
    if (!ds->editing()) s = ds->edit();
    if (s.ok()) s = f->setAsString(text.toStdString());
  } catch (const db::DatabaseError& e) {
    s = pdx::Status(e.last().errorCode, e.what());
  }
  if (!s.ok()) {
    showDataError(window(), fieldErrorText(f, text, s));
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- grid

DataGrid::DataGrid(ComponentOwner* owner, QWidget* parent, const QString& name)
    : QTableView(parent), model_(new DataSetModel(this)) {
  attach(owner, name);
  setModel(model_);
  setItemDelegate(new CellDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setWordWrap(false);
  setTabKeyNavigation(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setFixedWidth(fontMetrics().horizontalAdvance(QLatin1Char('W')) + 6);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);

  connect(model_, &DataSetModel::currentRowChanged, this, &DataGrid::followDataSet);
  connect(model_, &DataSetModel::columnsChanged, this, &DataGrid::applyColumns);
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    applyColumns();
    followDataSet(model_->currentRow());
  });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { userMoved(current); });
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
    if (!applying_) model_->setColumnWidth(column, size);
  });
}

DataGrid::~DataGrid() {
  // Before QObject deletes the model: it must stop hearing the dataset now.
  model_->setDataSource(nullptr);
}

QStringList DataGrid::columnTitles() const {
  QStringList out;
  for (int c = 0; c < columnCount(); ++c) out << columnTitle(c);
  return out;
}

void DataGrid::setColumnTitles(const QStringList& titles) {
  for (int c = 0; c < columnCount() && c < titles.size(); ++c) setColumnTitle(c, titles[c]);
}

void DataGrid::setReadOnly(bool readOnly) {
  model_->setReadOnly(readOnly);
  setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                           : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
}

void DataGrid::setRowSelect(bool rowSelect) {
  setSelectionBehavior(rowSelect ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
  followDataSet(model_->currentRow());
}

int DataGrid::defaultWidth(int column) const {
  const db::Field* f = model_->fieldAt(column);
  int chars = 10;
  if (f) {
    if (f->displayWidth > 0)
      chars = f->displayWidth;
    else if (f->isText() && f->size() > 0)
      chars = f->size();
    else if (f->isDate())
      chars = 10;
    else if (f->isNumeric())
      chars = 12;
  }
  chars = std::clamp(chars, 4, 40);
  const QFontMetrics metrics = fontMetrics();
  const int text = chars * metrics.averageCharWidth() + 8;
  const int title = metrics.horizontalAdvance(model_->columnTitle(column)) + 12;
  return std::max(text, title);
}

void DataGrid::applyColumns() {
  applying_ = true;
  for (int c = 0; c < model_->columnCount(); ++c) {
    const int width = model_->columns()[size_t(c)].width;
    setColumnWidth(c, width > 0 ? width : defaultWidth(c));
  }
  applying_ = false;
}

void DataGrid::followDataSet(int row) {
  ++following_;
  if (row < 0 || row >= model_->rowCount()) {
    selectionModel()->clearCurrentIndex();
    selectionModel()->clearSelection();
  } else {
    const int column = std::max(0, currentIndex().column());
    const QModelIndex target = model_->index(row, std::min(column, std::max(0, model_->columnCount() - 1)));
    if (target.isValid()) {
      QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect;
      if (rowSelect()) how |= QItemSelectionModel::Rows;
      selectionModel()->setCurrentIndex(target, how);
      scrollTo(target);
    }
  }
  --following_;
}

void DataGrid::userMoved(const QModelIndex& current) {
  if (following_ > 0 || !current.isValid()) return;
  const pdx::Status s = model_->moveTo(current.row());
  if (s.ok()) return;
  // The record could not be left (its edit does not post): back to it once
  // the selection model has finished this change.
  const QString message = dataErrorText(s);
  QTimer::singleShot(0, this, [this, message] {
    followDataSet(model_->currentRow());
    showDataError(this, message);
  });
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
  event->ignore();
  emit keyDown(event);
  if (event->isAccepted()) return;
  event->accept();
  if (state() != QAbstractItemView::EditingState) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      emit enterPressed(model_->currentRow());
      return;
    }
    if (event->key() == Qt::Key_Escape) {
      db::DataSet* ds = model_->dataSet();
      if (ds && ds->editing()) {
        (void)ds->cancel();
        return;
      }
    }
  }
  QTableView::keyPressEvent(event);
}

void DataGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex at = indexAt(event->position().toPoint());
  QTableView::mouseDoubleClickEvent(event);
  if (at.isValid()) emit rowDoubleClicked(at.row());
}

}  // namespace ui
