// The data grid and its model over real tables: the model's contract, the
// grid and the dataset kept on one record, editing, and the cost of painting.
#include "ui/data_grid.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "db/data_source.h"
#include "db/error.h"
#include "db/query.h"
#include "db_test_util.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "widget_test_util.h"

namespace ui {
namespace {

using db::testing::FieldType;
using db::testing::I;
using db::testing::N;
using db::testing::T;
using db::testing::Value;

// Fails the test on any complaint of QAbstractItemModelTester.
class ModelTesterWatch {
 public:
  ModelTesterWatch() {
    complaints() = 0;
    previous_ = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
      if (type != QtDebugMsg && QString::fromUtf8(context.category ? context.category : "") == "qt.modeltest") {
        ++complaints();
        ADD_FAILURE() << "model tester: " << message.toStdString();
      }
    });
  }
  ~ModelTesterWatch() { qInstallMessageHandler(previous_); }
  static int& complaints() {
    static int n = 0;
    return n;
  }

 private:
  QtMessageHandler previous_;
};

class DataGridTest : public db::testing::DataSetTest {
 protected:
  // "big": Code (the key) and Name, `rows` records.
  void makeBigTable(int rows) {
    makeTable("big", {{"Code", FieldType::kLong, 0}, {"Name", FieldType::kAlpha, 20}}, "Code", {});
    db::Table big;
    big.setDatabaseName(dir_.path());
    big.setTableName("big");
    ASSERT_OK(big.open());
    for (int i = 0; i < rows; ++i) {
      ASSERT_OK(big.append());
      ASSERT_OK(big.fieldByName("Code").setAsInteger(i));
      ASSERT_OK(big.fieldByName("Name").setAsString("Name " + std::to_string(i)));
      ASSERT_OK(big.post());
    }
  }

  void SetUp() override {
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= 40; ++i) {
      char code[16];
      std::snprintf(code, sizeof code, "C%03d", i);
      rows.push_back({T(code), T(("Client " + std::to_string(i)).c_str()), N(i * 10.5), I(i % 3)});
    }
    makeTable("cli",
              {{"Cli_code", FieldType::kAlpha, 10},
               {"Cli_name", FieldType::kAlpha, 30},
               {"Cli_bal", FieldType::kMoney, 0},
               {"Cli_terr", FieldType::kShort, 0}},
              "Cli_code", rows);
    cli_.setDatabaseName(dir_.path());
    cli_.setTableName("cli");
    source_.setDataSet(&cli_);
  }

  void TearDown() override { cli_.close(); }

  DataGrid* makeGrid(const std::vector<Column>& columns = {}) {
    auto* grid = new DataGrid(&form_, &form_, "DBGrid1");
    layout_->addWidget(grid);
    grid->setColumns(columns);
    grid->setDataSource(&source_);
    return grid;
  }

  std::string code() { return cli_.fieldByName("Cli_code").asString(); }
  static QString cell(DataGrid* grid, int row, int column) {
    return grid->dataModel()->index(row, column).data().toString();
  }

  struct App {
    App() { testing::app(); }
  } app_;
  RecordingDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  db::Table cli_;
  db::DataSource source_;
  Form form_{"F"};
  QVBoxLayout* layout_ = new QVBoxLayout(&form_);
};

TEST_F(DataGridTest, ModelKeepsItsContractThroughMovesEditsInsertsAndDeletes) {
  ModelTesterWatch watch;
  ASSERT_OK(cli_.open());
  DataSetModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
  model.setDataSource(&source_);
  EXPECT_EQ(model.rowCount(), 40);
  EXPECT_EQ(model.columnCount(), 4);
  ASSERT_OK(cli_.moveBy(5));
  ASSERT_OK(cli_.edit());
  ASSERT_OK(cli_.fieldByName("Cli_name").setAsString("Renamed"));
  ASSERT_OK(cli_.post());
  ASSERT_OK(cli_.insert());
  EXPECT_EQ(model.rowCount(), 41);
  ASSERT_OK(cli_.fieldByName("Cli_code").setAsString("C000"));
  ASSERT_OK(cli_.post());
  EXPECT_EQ(model.rowCount(), 41);
  ASSERT_OK(cli_.insert());
  ASSERT_OK(cli_.cancel());
  EXPECT_EQ(model.rowCount(), 41);
  ASSERT_OK(cli_.last());
  ASSERT_OK(cli_.remove());
  EXPECT_EQ(model.rowCount(), 40);
  model.setColumns({{"Cli_name", "Name", 200}, {"Missing", "?", 0}});
  EXPECT_EQ(model.index(0, 1).data().toString(), "");  // a column without a field is blank
  cli_.close();
  EXPECT_EQ(model.rowCount(), 0);
  ASSERT_OK(cli_.open());
  EXPECT_EQ(model.rowCount(), 40);
  model.setDataSource(nullptr);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_EQ(ModelTesterWatch::complaints(), 0);
}

TEST_F(DataGridTest, ColumnsComeFromTheVisibleFieldsUnlessGiven) {
  ASSERT_OK(cli_.open());
  cli_.fieldByName("Cli_terr").visible = false;
  cli_.fieldByName("Cli_name").displayLabel = "Name";
  DataGrid* grid = makeGrid();
  EXPECT_EQ(grid->columnTitles(), (QStringList{"Cli_code", "Name", "Cli_bal"}));
  EXPECT_FALSE(grid->dataModel()->hasOwnColumns());
  EXPECT_EQ(cell(grid, 0, 0), "C001");
  EXPECT_EQ(cell(grid, 1, 2), "$21.00");  // the field's display text
  EXPECT_EQ(grid->dataModel()->index(1, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));

  grid->setColumns({{"Cli_code", "Client code", 0}, {"Cli_name", "", 180}, {"Cli_terr", "Territory", 60}});
  EXPECT_TRUE(grid->dataModel()->hasOwnColumns());
  EXPECT_EQ(grid->columnTitles(), (QStringList{"Client code", "Name", "Territory"}));
  EXPECT_EQ(grid->columnWidth(1), 180);
  EXPECT_EQ(grid->columnWidth(2), 60);
  EXPECT_GT(grid->columnWidth(0), 0);
  EXPECT_EQ(cell(grid, 2, 2), "0");

  // Translation gives titles line by line; the user's resizing is kept.
  grid->setColumnTitles({"No client", QString::fromUtf8("Nom")});
  EXPECT_EQ(grid->columnTitles(), (QStringList{"No client", "Nom", "Territory"}));
  EXPECT_EQ(grid->dataModel()->headerData(1, Qt::Horizontal).toString(), "Nom");
  grid->horizontalHeader()->resizeSection(1, 250);
  EXPECT_EQ(grid->columns()[1].width, 250);
}

TEST_F(DataGridTest, GridAndDataSetStayOnOneRecord) {
  ASSERT_OK(cli_.open());
  DataGrid* grid = makeGrid({{"Cli_code", "Client code", 0}, {"Cli_name", "Name", 0}});
  grid->setRowSelect(true);
  grid->setReadOnly(true);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  EXPECT_EQ(grid->currentRow(), 0);
  EXPECT_EQ(grid->currentIndex().row(), 0);
  // Reading other rows leaves no trace on the dataset: same record, same ends.
  EXPECT_EQ(cell(grid, 35, 0), "C036");
  EXPECT_TRUE(cli_.bof());
  EXPECT_EQ(code(), "C001");
  ASSERT_OK(cli_.last());
  ASSERT_OK(cli_.next());
  EXPECT_TRUE(cli_.eof());
  grid->scrollToTop();
  grid->viewport()->repaint();
  EXPECT_EQ(cell(grid, 1, 0), "C002");
  EXPECT_TRUE(cli_.eof());
  EXPECT_EQ(code(), "C040");
  ASSERT_OK(cli_.first());

  // The dataset moves: the grid follows.
  ASSERT_OK(cli_.moveBy(7));
  EXPECT_EQ(grid->currentIndex().row(), 7);
  EXPECT_TRUE(grid->selectionModel()->isRowSelected(7, {}));
  ASSERT_OK(cli_.last());
  EXPECT_EQ(grid->currentIndex().row(), 39);
  auto found = cli_.findKey({T("C012")});
  ASSERT_TRUE(found.ok() && *found);
  EXPECT_EQ(grid->currentIndex().row(), 11);

  // The user moves: the dataset follows, and its after-scroll event runs.
  int scrolls = 0;
  cli_.afterScroll = [&](db::DataSet&) { ++scrolls; };
  grid->setFocus();
  grid->setCurrentIndex(grid->dataModel()->index(3, 1));
  EXPECT_EQ(code(), "C004");
  EXPECT_EQ(scrolls, 1);
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(code(), "C005");
  QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(code(), "C040");
  QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(code(), "C001");
  QTest::keyClick(grid, Qt::Key_PageDown);
  EXPECT_GT(grid->currentRow(), 1);
  EXPECT_EQ(code(), QString("C%1").arg(grid->currentRow() + 1, 3, 10, QLatin1Char('0')).toStdString());

  // Enter and double click are told; a handler may take a key first.
  QSignalSpy enter(grid, &DataGrid::enterPressed);
  QSignalSpy dbl(grid, &DataGrid::rowDoubleClicked);
  QTest::keyClick(grid, Qt::Key_Return);
  ASSERT_EQ(enter.count(), 1);
  EXPECT_EQ(enter[0][0].toInt(), grid->currentRow());
  const QRect r = grid->visualRect(grid->dataModel()->index(2, 0));
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, r.center());
  ASSERT_EQ(dbl.count(), 1);
  EXPECT_EQ(dbl[0][0].toInt(), 2);
  EXPECT_EQ(code(), "C003");
  int inserts = 0;
  QObject::connect(grid, &DataGrid::keyDown, [&](QKeyEvent* e) {
    if (e->key() == Qt::Key_Insert) {
      ++inserts;
      e->accept();
    }
  });
  QTest::keyClick(grid, Qt::Key_Insert);
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(inserts, 1);
  EXPECT_EQ(code(), "C004");
}

TEST_F(DataGridTest, ShowsEditsAndNewRecordsAsTheyHappen) {
  ASSERT_OK(cli_.open());
  DataGrid* grid = makeGrid({{"Cli_code", "", 0}, {"Cli_name", "", 0}});
  ASSERT_OK(cli_.moveBy(2));
  ASSERT_OK(cli_.edit());
  ASSERT_OK(cli_.fieldByName("Cli_name").setAsString("Being keyed"));
  EXPECT_EQ(cell(grid, 2, 1), "Being keyed");  // the current row is the record itself
  ASSERT_OK(cli_.post());
  ASSERT_OK(cli_.first());
  EXPECT_EQ(cell(grid, 2, 1), "Being keyed");

  // An insert shows as an extra row where the record stood, and goes away
  // when cancelled; posted, it takes its place in key order.
  ASSERT_OK(cli_.moveBy(5));
  ASSERT_OK(cli_.insert());
  EXPECT_EQ(cli_.state(), db::DataSet::State::kInsert);  // the view's shifting rows do not settle it
  EXPECT_EQ(grid->dataModel()->rowCount(), 41);
  EXPECT_EQ(grid->currentRow(), 5);
  EXPECT_EQ(grid->currentIndex().row(), 5);
  EXPECT_EQ(cell(grid, 5, 0), "");
  EXPECT_EQ(cell(grid, 6, 0), "C006");
  ASSERT_OK(cli_.cancel());
  EXPECT_EQ(grid->dataModel()->rowCount(), 40);
  EXPECT_EQ(grid->currentRow(), 5);
  ASSERT_OK(cli_.insert());
  ASSERT_OK(cli_.fieldByName("Cli_code").setAsString("C0205"));
  ASSERT_OK(cli_.post());
  EXPECT_EQ(grid->dataModel()->rowCount(), 41);
  EXPECT_EQ(cell(grid, 19, 0), "C020");
  EXPECT_EQ(cell(grid, 20, 0), "C0205");
  EXPECT_EQ(cell(grid, 21, 0), "C021");
  EXPECT_EQ(code(), "C0205");
  EXPECT_EQ(grid->currentRow(), 20);

  // A filter shows fewer rows.
  cli_.onFilterRecord = [](db::DataSet& ds) { return ds.fieldByName("Cli_terr").asInteger() == 1; };
  ASSERT_OK(cli_.setFiltered(true));
  EXPECT_EQ(grid->dataModel()->rowCount(), 14);
  EXPECT_EQ(cell(grid, 1, 0), "C004");
}

TEST_F(DataGridTest, KeysCellsAndPostsWhenTheRowIsLeft) {
  ASSERT_OK(cli_.open());
  DataGrid* grid = makeGrid({{"Cli_code", "", 0}, {"Cli_name", "", 0}, {"Cli_bal", "", 0}});
  DataSetModel* model = grid->dataModel();
  EXPECT_TRUE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
  cli_.fieldByName("Cli_code").readOnly = true;
  EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);

  ASSERT_TRUE(model->setData(model->index(4, 1), "New name"));
  EXPECT_EQ(code(), "C005");
  EXPECT_EQ(cli_.state(), db::DataSet::State::kEdit);
  EXPECT_FALSE(model->setData(model->index(4, 2), "12,,3"));
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(dialogs_.shown[0].text.contains("not a valid number"));

  // Leaving the row posts it.
  ASSERT_TRUE(model->moveTo(9).ok());
  EXPECT_EQ(cli_.state(), db::DataSet::State::kBrowse);
  EXPECT_EQ(code(), "C010");
  EXPECT_EQ(cell(grid, 4, 1), "New name");

  // A post that fails keeps the dataset, and the grid, on the record.
  cli_.fieldByName("Cli_name").required = true;
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  ASSERT_TRUE(model->setData(model->index(9, 1), ""));
  grid->setCurrentIndex(model->index(12, 1));
  QCoreApplication::processEvents();
  EXPECT_EQ(code(), "C010");
  EXPECT_EQ(grid->currentIndex().row(), 9);
  EXPECT_EQ(dialogs_.shown.size(), 2u);
  ASSERT_OK(cli_.cancel());

  // Read-only grids and queries take nothing.
  grid->setReadOnly(true);
  EXPECT_FALSE(model->setData(model->index(1, 1), "x"));
  grid->setReadOnly(false);
  db::Query q;
  q.setDatabaseName(dir_.path());
  q.setSql({"SELECT * FROM cli"});
  ASSERT_OK(q.open());
  db::DataSource qs(&q);
  grid->setDataSource(&qs);
  EXPECT_EQ(model->rowCount(), 40);
  EXPECT_FALSE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
  grid->setDataSource(nullptr);
}

TEST_F(DataGridTest, DetailGridFollowsItsMaster) {
  makeTable("car",
            {{"Car_client", FieldType::kAlpha, 10},
             {"Car_invoice", FieldType::kAlpha, 10},
             {"Car_amount", FieldType::kMoney, 0}},
            "Car_client;Car_invoice",
            {{T("C001"), T("I-1"), N(10)}, {T("C001"), T("I-2"), N(20)}, {T("C002"), T("I-3"), N(30)}});
  ASSERT_OK(cli_.open());
  db::Table car;
  car.setDatabaseName(dir_.path());
  car.setTableName("car");
  car.setIndexFieldNames("Car_client");
  car.setMasterSource(&source_);
  car.setMasterFields("Cli_code");
  ASSERT_OK(car.open());
  db::DataSource carSource(&car);
  DataGrid* clients = makeGrid({{"Cli_code", "", 0}});
  auto* statement = new DataGrid(&form_, &form_, "DBGrid2");
  statement->setColumns({{"Car_invoice", "Invoice", 0}, {"Car_amount", "Amount", 0}});
  statement->setDataSource(&carSource);
  EXPECT_EQ(statement->dataModel()->rowCount(), 2);
  EXPECT_EQ(cell(statement, 1, 1), "$20.00");

  // Picking the second invoice, then painting the client grid, leaves the
  // detail where it was.
  statement->setCurrentIndex(statement->dataModel()->index(1, 0));
  EXPECT_EQ(car.fieldByName("Car_invoice").asString(), "I-2");
  for (int r = 0; r < 40; ++r) (void)cell(clients, r, 0);
  EXPECT_EQ(car.fieldByName("Car_invoice").asString(), "I-2");

  clients->setCurrentIndex(clients->dataModel()->index(1, 0));
  EXPECT_EQ(statement->dataModel()->rowCount(), 1);
  EXPECT_EQ(cell(statement, 0, 0), "I-3");
  clients->setCurrentIndex(clients->dataModel()->index(2, 0));
  EXPECT_EQ(statement->dataModel()->rowCount(), 0);
  delete statement;
  car.close();
}

TEST_F(DataGridTest, OutlivesItsDataSet) {
  auto table = std::make_unique<db::Table>();
  table->setDatabaseName(dir_.path());
  table->setTableName("cli");
  ASSERT_OK(table->open());
  db::DataSource source(table.get());
  auto* grid = new DataGrid(&form_, &form_, "DBGrid1");
  layout_->addWidget(grid);
  grid->setDataSource(&source);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  EXPECT_EQ(cell(grid, 39, 0), "C040");
  table.reset();
  grid->viewport()->repaint();
  EXPECT_EQ(cell(grid, 39, 0), "");
  EXPECT_TRUE(grid->dataModel()->moveTo(3).is(db::code::kDataSetClosed));
  grid->setDataSource(nullptr);
  EXPECT_EQ(grid->dataModel()->rowCount(), 0);
}

// The horizontal extent of what is drawn in `rect` of `image`: the pixels
// that differ from the cell's background (its first pixel inside).
std::pair<int, int> inkSpan(const QImage& image, const QRect& rect) {
  const QRgb background = image.pixel(rect.left() + 1, rect.top() + 1);
  int left = -1, right = -1;
  for (int x = rect.left() + 1; x < rect.right() - 1; ++x)
    for (int y = rect.top() + 2; y < rect.bottom() - 1; ++y)
      if (image.pixel(x, y) != background) {
        if (left < 0) left = x;
        right = x;
        break;
      }
  return {left, right};
}

// Painting keeps laid-out texts to draw them faster: a cell must still show
// its current text, where its column aligns it, cut to its width.
TEST_F(DataGridTest, CellsShowTheirCurrentTextAlignedAndCutToTheirColumn) {
  DataGrid* grid = makeGrid({{"Cli_code", "Code", 120}, {"Cli_bal", "Balance", 120}, {"Cli_name", "Name", 200}});
  form_.resize(600, 300);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  ASSERT_OK(cli_.open());
  grid->setCurrentIndex(grid->dataModel()->index(5, 0));  // row 0 unselected
  auto shot = [&] {
    grid->viewport()->repaint();
    return grid->viewport()->grab().toImage();
  };
  const QImage before = shot();
  const QRect code = grid->visualRect(grid->dataModel()->index(0, 0));
  const QRect balance = grid->visualRect(grid->dataModel()->index(0, 1));
  const auto [codeLeft, codeRight] = inkSpan(before, code);
  const auto [balanceLeft, balanceRight] = inkSpan(before, balance);
  ASSERT_GE(codeLeft, 0) << "no text drawn";
  ASSERT_GE(balanceLeft, 0) << "no amount drawn";
  EXPECT_LT(codeLeft - code.left(), 10) << "text sits at the left";
  EXPECT_GT(code.right() - codeRight, 40);
  EXPECT_LT(balance.right() - balanceRight, 10) << "amounts sit at the right";
  EXPECT_GT(balanceLeft - balance.left(), 40);

  // Another text in the same cell is drawn anew.
  ASSERT_OK(cli_.first());
  ASSERT_OK(cli_.edit());
  ASSERT_OK(cli_.fieldByName("Cli_name").setAsString("W"));
  ASSERT_OK(cli_.post());
  grid->setCurrentIndex(grid->dataModel()->index(5, 0));
  const QRect name = grid->visualRect(grid->dataModel()->index(0, 2));
  const auto [wideLeft, wideRight] = inkSpan(before, name);
  const auto [shortLeft, shortRight] = inkSpan(shot(), name);
  ASSERT_GE(shortLeft, 0);
  EXPECT_LT(shortRight - shortLeft, (wideRight - wideLeft) / 2) << "\"W\" is narrower than \"Client 1\"";

  // A column too narrow for its text shows it cut short, inside the cell.
  ASSERT_OK(cli_.first());
  ASSERT_OK(cli_.edit());
  ASSERT_OK(cli_.fieldByName("Cli_name").setAsString("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"));
  ASSERT_OK(cli_.post());
  grid->setCurrentIndex(grid->dataModel()->index(5, 0));
  const QImage full = shot();
  grid->setColumnWidth(2, 60);
  const QImage cut = shot();
  const QRect narrow = grid->visualRect(grid->dataModel()->index(0, 2));
  const auto [cutLeft, cutRight] = inkSpan(cut, narrow);
  ASSERT_GE(cutLeft, 0);
  EXPECT_LT(cutRight, narrow.right() - 2) << "the text is cut, with room for its ellipsis, not clipped";
  EXPECT_GT(inkSpan(full, name).second - inkSpan(full, name).first, 150);
}

TEST_F(DataGridTest, PaintingAThousandsOfRowsTableWalksItOnce) {
  makeBigTable(3000);
  db::Table big;
  big.setDatabaseName(dir_.path());
  big.setTableName("big");
  int scrolls = 0;
  big.afterScroll = [&](db::DataSet&) { ++scrolls; };
  db::DataSource bigSource(&big);
  auto* grid = new DataGrid(&form_, &form_, "DBGrid3");
  layout_->addWidget(grid);
  grid->setDataSource(&bigSource);
  form_.resize(400, 300);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));

  ASSERT_OK(big.open());
  scrolls = 0;
  DataSetModel* model = grid->dataModel();
  EXPECT_EQ(model->rowCount(), 3000);
  const int walks = model->walks();
  EXPECT_EQ(walks, 1);

  // Scroll through the whole grid, painting every screenful.
  for (int r = 0; r < 3000; r += 20) {
    grid->scrollTo(model->index(r, 0));
    grid->viewport()->repaint();
  }
  grid->scrollTo(model->index(2999, 1));
  grid->viewport()->repaint();
  EXPECT_EQ(model->index(2999, 1).data().toString(), "Name 2999");
  EXPECT_EQ(model->walks(), walks);
  EXPECT_GT(model->rowsRead(), 2500);       // rows beyond the first screenfuls were read
  EXPECT_LE(model->rowsRead(), 3000 + 64);  // each about once
  // Painting again reads nothing.
  const int64_t read = model->rowsRead();
  grid->scrollTo(model->index(2990, 0));
  grid->viewport()->repaint();
  EXPECT_EQ(model->rowsRead(), read);
  EXPECT_EQ(scrolls, 0);                              // the window's after-scroll handler heard none of it
  EXPECT_EQ(big.fieldByName("Code").asInteger(), 0);  // and the dataset is where it was
  EXPECT_TRUE(big.bof());

  // Moving the dataset moves the selection without another walk.
  ASSERT_OK(big.moveBy(1500));
  EXPECT_EQ(grid->currentIndex().row(), 1500);
  EXPECT_EQ(model->walks(), walks);
  big.close();
}

TEST_F(DataGridTest, AQueryOfThousandsOfRowsIsShownWithoutWalkingIt) {
  makeBigTable(3000);
  db::Query query;
  query.setDatabaseName(dir_.path());
  query.setSql({"SELECT * FROM big ORDER BY Code DESC"});
  int calculated = 0;
  query.addCalculatedField("Twice", FieldType::kLong);
  query.onCalcFields = [&](db::DataSet& ds) {
    ++calculated;
    EXPECT_OK(ds.fieldByName("Twice").setAsInteger(ds.fieldByName("Code").asInteger() * 2));
  };
  db::DataSource source(&query);
  auto* grid = new DataGrid(&form_, &form_, "DBGrid3");
  grid->setColumns({{"Code", "", 0}, {"Twice", "", 0}});
  layout_->addWidget(grid);
  grid->setDataSource(&source);
  form_.resize(400, 300);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  ASSERT_OK(query.open());
  grid->viewport()->repaint();
  DataSetModel* model = grid->dataModel();
  EXPECT_EQ(model->rowCount(), 3000);
  // The first screenful was read, not the 3,000 rows.
  EXPECT_LT(calculated, 200);
  EXPECT_EQ(model->index(1, 1).data().toString(), "5996");
  grid->scrollTo(model->index(2999, 0));
  grid->viewport()->repaint();
  EXPECT_EQ(model->index(2999, 1).data().toString(), "0");
  EXPECT_EQ(query.fieldByName("Code").asInteger(), 2999);  // the dataset is where it was
  // The dataset's moves still move the selection.
  ASSERT_OK(query.moveBy(1500));
  EXPECT_EQ(grid->currentIndex().row(), 1500);
  EXPECT_EQ(model->index(1500, 0).data().toString(), "1499");
  // A record filter makes positions no longer bookmarks: the rows are walked.
  query.onFilterRecord = [](db::DataSet& ds) { return ds.fieldByName("Code").asInteger() % 2 == 0; };
  ASSERT_OK(query.setFiltered(true));
  EXPECT_EQ(model->rowCount(), 1500);
  EXPECT_EQ(model->index(1, 0).data().toString(), "2996");
  query.close();
}

}  // namespace
}  // namespace ui
