// The quick lists in a logged-in shell, driven with clicks and keys: opening
// and closing, sizes, dragging, the Insert key, the account types.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QRegularExpression>
#include <QTest>

#include "desktop_test_util.h"
#include "option_catalogue.h"
#include "properties_dialog.h"

namespace shell {
namespace {

using testing::DesktopFixture;

class QuickListsTest : public DesktopFixture {
 protected:
  void SetUp() override {
    makeDataRoot();
    window_ = start();
    ASSERT_TRUE(window_->ready()) << messages().join(" | ").toStdString();
  }
  QuickLists& lists() { return DesktopFixture::lists(*window_); }

  // Sends one mouse event to `w` at `at`.
  static void mouse(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
  }

  std::unique_ptr<TLogoAppForm> window_;
};

// The codes of the lists are the catalogue's options of the right meaning.
TEST_F(QuickListsTest, ListsNeedAndLaunchTheOptionsTheirNamesSay) {
  auto caption = [&](const QString& code) {
    ui::MenuItem* option = window_->findAs<ui::MenuItem>(code);
    return option ? QString(option->text()).remove('&') : QString();
  };
  EXPECT_EQ(caption(QuickLists::requiredCode(0)), "Display of clients");
  EXPECT_EQ(caption(QuickLists::requiredCode(1)), "Display of suppliers");
  EXPECT_EQ(caption(QuickLists::requiredCode(2)), "Display of accounts");
  EXPECT_EQ(caption(QuickLists::requiredCode(3)), "Display of employees");
  EXPECT_EQ(caption("kq15"), "Maintenance of clients");
  EXPECT_EQ(caption("vd14"), "Maintenance of suppliers");
  EXPECT_EQ(caption("qg12"), "Maintenance of accounts");
  EXPECT_EQ(caption("xw403"), "Maintenance of employees");
}

TEST_F(QuickListsTest, TogglesOpenAndCloseAListWithItsTable) {
  QuickListPanel* clients = lists().panel(0);
  EXPECT_TRUE(clients->isHidden());
  EXPECT_FALSE(lists().table(0).active());
  EXPECT_FALSE(window_->desktopChanged());

  lists().toggle(0);  // ClientBtnDblClick
  EXPECT_FALSE(clients->isHidden());
  EXPECT_EQ(clients->tag(), 1);
  EXPECT_TRUE(lists().table(0).active());
  EXPECT_TRUE(window_->desktopChanged());
  EXPECT_EQ(clients->CloseBtn->x(), 505 - 23);
  EXPECT_EQ(clients->EnlargeBtn->x(), 505 - 46);
  EXPECT_EQ(clients->ReduceBtn->x(), 505 - 65);
  EXPECT_EQ(clients->CloseBtn->y(), 11);
  EXPECT_EQ(lists().grid(0)->height(), 233 - 34);
  EXPECT_EQ(lists().grid(0)->geometry().bottom(), 233 - 3);  // along the bottom edge

  window_->show();
  QTest::mouseClick(clients->CloseBtn, Qt::LeftButton);
  EXPECT_TRUE(clients->isHidden());
  EXPECT_EQ(clients->tag(), 0);
  EXPECT_FALSE(lists().table(0).active());

  // A user who may not run the receivables inquiry cannot open the list.
  window_->findAs<ui::MenuItem>("kq61")->setEnabled(false);
  window_->FillShortcutLists(true, ShortcutListOrder::kSecurity);
  lists().toggle(0);
  EXPECT_TRUE(clients->isHidden());
  // The note needs no option.
  lists().toggle(QuickLists::kThingsToDo);
  EXPECT_FALSE(lists().panel(QuickLists::kThingsToDo)->isHidden());
}

TEST_F(QuickListsTest, SizeButtonsStepByTheirFactorsWithinSaneBounds) {
  QuickListPanel* clients = lists().panel(0);
  lists().toggle(0);
  window_->show();
  QTest::mouseClick(clients->ReduceBtn, Qt::LeftButton);
  EXPECT_EQ(clients->size(), QSize(439, 186));  // 505 / 1.15, 233 / 1.25
  EXPECT_EQ(clients->geometry().topLeft(), QPoint(224, 40));
  EXPECT_EQ(clients->CloseBtn->x(), 439 - 23);
  EXPECT_EQ(lists().grid(0)->height(), 186 - 34);
  clients->resize(505, 233);
  QTest::mouseClick(clients->EnlargeBtn, Qt::LeftButton);
  EXPECT_EQ(clients->size(), QSize(580, 291));  // 505 x 1.15, 233 x 1.25
  EXPECT_EQ(clients->ReduceBtn->x(), 580 - 65);

  // Not so small that the title buttons leave it, not past the wallpaper.
  for (int i = 0; i < 20; ++i) lists().reduceClick(0);
  EXPECT_GE(clients->width(), QuickListPanel::kMinimumSize.width());
  EXPECT_GE(clients->height(), QuickListPanel::kMinimumSize.height());
  for (int i = 0; i < 30; ++i) lists().enlargeClick(0);
  EXPECT_LE(clients->width(), window_->Wallpaper1->width());
  EXPECT_LE(clients->height(), window_->Wallpaper1->height());

  // The note's pop-up grows and shrinks both sides by 1.15 and lays out.
  QuickListPanel* note = lists().panel(QuickLists::kThingsToDo);
  lists().toggle(QuickLists::kThingsToDo);
  lists().ThingsToDoPopup->popupFor(lists().RichEdit1, QPoint(0, 0));
  lists().ThingsToDoPopup->close();
  lists().Enlarge2Click();
  EXPECT_EQ(note->size(), QSize(359, 194));  // 313 x 1.15, 169 x 1.15
  EXPECT_EQ(note->CloseBtn->x(), 359 - 23);
  lists().Reduce2Click();
  EXPECT_EQ(note->size(), QSize(312, 168));
}

TEST_F(QuickListsTest, APanelIsDraggedByItsFrameButNotPastTheWallpaper) {
  window_->show();
  QuickListPanel* suppliers = lists().panel(1);
  lists().toggle(1);
  const int room = window_->Wallpaper1->width();
  const QPoint start = suppliers->pos();
  mouse(suppliers, QEvent::MouseButtonPress, {100, 5});
  mouse(suppliers, QEvent::MouseMove, {100 + 20, 5 + 10});
  EXPECT_EQ(suppliers->pos(), start + QPoint(20, 10));
  // Exactly to the right edge: allowed.
  const int toEdge = room - (suppliers->x() + suppliers->width());
  mouse(suppliers, QEvent::MouseMove, {100 + toEdge, 5});
  EXPECT_EQ(suppliers->x() + suppliers->width(), room);
  // One pixel past it: this move does not happen at all, vertical part included.
  const QPoint atEdge = suppliers->pos();
  mouse(suppliers, QEvent::MouseMove, {101, 5 + 30});
  EXPECT_EQ(suppliers->pos(), atEdge);
  mouse(suppliers, QEvent::MouseButtonRelease, {101, 35});
  mouse(suppliers, QEvent::MouseMove, {0, 0});  // no button held: no drag
  EXPECT_EQ(suppliers->pos(), atEdge);
}

TEST_F(QuickListsTest, InsertInAGridLaunchesTheListsMaintenanceAndShowsWhatItAdded) {
  addRows("cli", {{{"Cli_code", "C100"}, {"Cli_name", "Boulangerie Gagnon"}}});
  lists().toggle(0);
  ui::DataGrid* grid = lists().grid(0);
  ASSERT_EQ(grid->dataModel()->rowCount(), 1);

  // The maintenance module adds a client while it runs.
  addModule("kq15");
  testing::moduleCall.during = [&] { addRows("cli", {{{"Cli_code", "C200"}, {"Cli_name", "Quincaillerie Laval"}}}); };
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_Delete);
  EXPECT_TRUE(loader_->calls().isEmpty());
  QTest::keyClick(grid, Qt::Key_Insert);
  const QStringList loads = loader_->calls().filter(QRegularExpression("^load "));
  ASSERT_EQ(loads.size(), 1) << loader_->calls().join(" | ").toStdString();
  EXPECT_TRUE(loads.front().endsWith("/kq15.so"));
  EXPECT_EQ(grid->dataModel()->rowCount(), 2);
}

TEST_F(QuickListsTest, AccountTypesShowInTheDisplayLanguage) {
  addRows("glm", {{{"Glm_account", "99001"}, {"Glm_Description", "Test"}, {"Glm_type", "p"}}});
  lists().toggle(2);
  db::Table& glm = lists().table(2);
  ASSERT_TRUE(glm.locate("Glm_account", {pdx::Value::integer(99001)}).value());
  EXPECT_EQ(glm.fieldByName("glm_type_desc").asString(), "Liability");
  // The grid shows the calculated column.
  const int row = lists().grid(2)->dataModel()->currentRow();
  EXPECT_EQ(lists().grid(2)->dataModel()->data(lists().grid(2)->dataModel()->index(row, 2)).toString(), "Liability");

  window_->context().setLanguage(2);
  ASSERT_TRUE(glm.refresh().ok());
  EXPECT_EQ(glm.fieldByName("glm_type_desc").asString(), "p");
}

TEST_F(QuickListsTest, FocusEnteringAPanelBringsItToTheFront) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  addRows("sup", {{{"Sup_code", "S1"}, {"Sup_name", "Papeterie Roy"}}});
  lists().toggle(QuickLists::kThingsToDo);
  lists().toggle(1);
  QuickListPanel* note = lists().panel(QuickLists::kThingsToDo);
  QuickListPanel* suppliers = lists().panel(1);
  suppliers->raise();
  const QObjectList& siblings = window_->Wallpaper1->children();
  ASSERT_LT(siblings.indexOf(note), siblings.indexOf(suppliers));
  QTest::mouseClick(lists().RichEdit1->viewport(), Qt::LeftButton, {}, {10, 10});
  EXPECT_TRUE(lists().RichEdit1->hasFocus());
  EXPECT_GT(window_->Wallpaper1->children().indexOf(note), window_->Wallpaper1->children().indexOf(suppliers));
  // Tab moves between the grid's columns rather than out of it.
  ui::DataGrid* grid = lists().grid(1);
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_Tab);
  EXPECT_TRUE(grid->hasFocus());
}

TEST_F(QuickListsTest, TheNotesPopupPrintsTheNote) {
  lists().toggle(QuickLists::kThingsToDo);
  lists().RichEdit1->setPlainText("Order paper");
  dialogs_.shown.clear();
  lists().ThingsToDoPopup->item(2)->trigger();  // "Print list"
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].what, "preview");
  EXPECT_EQ(dialogs_.shown[0].caption, "Things to do");
}

// A French user reads the lists in French.
class QuickListsInFrench : public DesktopFixture {};

TEST_F(QuickListsInFrench, CaptionsTitlesAndTypesFollowTheUsersLanguage) {
  makeDataRoot({testing::user("AP", "PAY", "Luc Gagnon", 2)});
  addRows("glm", {{{"Glm_account", "99001"}, {"Glm_Description", "Test"}, {"Glm_type", "L"}}});
  auto window = start("AP");
  ASSERT_TRUE(window->ready());
  EXPECT_TRUE(messages().isEmpty()) << messages().join(" | ").toStdString();
  QuickLists& l = lists(*window);
  EXPECT_EQ(l.panel(0)->caption(), "Liste des clients");
  EXPECT_EQ(l.panel(QuickLists::kThingsToDo)->caption(), "Choses à faire");
  EXPECT_EQ(l.grid(0)->columnTitle(1), "Nom");
  EXPECT_EQ(l.grid(3)->columnTitle(8), "Profession");
  EXPECT_EQ(l.panel(1)->ReduceBtn->toolTip(), "Réduire");
  EXPECT_EQ(desktop(*window).PropertiesDlg->windowTitle(), "Propriétés");
  l.toggle(2);
  ASSERT_TRUE(l.table(2).locate("Glm_account", {pdx::Value::integer(99001)}).value());
  EXPECT_EQ(l.table(2).fieldByName("glm_type_desc").asString(), "Passif");
}

TEST_F(QuickListsTest, AnOpenListFollowsTheCompanyDatabase) {
  lists().toggle(0);
  db::Database* menudata = db::Database::find("menudata");
  ASSERT_NE(menudata, nullptr);
  // What a company switch does: disconnect, point elsewhere, connect.
  menudata->disconnect();
  EXPECT_FALSE(lists().table(0).active());
  ASSERT_TRUE(menudata->connect().ok());
  QTest::qWait(20);
  EXPECT_TRUE(lists().table(0).active());
  EXPECT_FALSE(lists().panel(0)->isHidden());
  // A closed list stays closed.
  lists().toggle(0);
  menudata->disconnect();
  ASSERT_TRUE(menudata->connect().ok());
  QTest::qWait(20);
  EXPECT_FALSE(lists().table(0).active());
}

}  // namespace
}  // namespace shell
