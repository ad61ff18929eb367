// The component model, the plain controls, menus, forms and the dialogs service.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/field_link.h"
#include "ui/form.h"
#include "ui/menu.h"
#include "widget_test_util.h"

namespace ui {
namespace {

class KitTest : public ::testing::Test {
 protected:
  KitTest() { testing::app(); }
};

TEST_F(KitTest, FormListsItsComponentsInCreationOrderWhateverTheirParent) {
  auto form = std::make_unique<Form>("Tvd87_frm");
  auto* panel = new Panel(form.get(), form.get(), "Panel1");
  auto* code = new Label(form.get(), panel, "Label1", "Supplier code");
  auto* memo = new Memo(form.get(), form.get(), "IntlStrings1");
  auto* ok = new Button(form.get(), panel, "PostBtn", "Post");
  ok->setTag(7);
  ok->setHint("Post the document");

  std::vector<QString> names;
  for (Component* c : form->components()) names.push_back(c->name());
  EXPECT_EQ(names, (std::vector<QString>{"Panel1", "Label1", "IntlStrings1", "PostBtn"}));
  EXPECT_EQ(form->findComponent("postbtn"), ok);
  EXPECT_EQ(form->findAs<Memo>("IntlStrings1"), memo);
  EXPECT_EQ(form->findAs<Memo>("Label1"), nullptr);  // wrong kind
  EXPECT_EQ(ok->tag(), 7);
  EXPECT_EQ(ok->hint(), "Post the document");
  EXPECT_EQ(code->caption(), "Supplier code");

  // A destroyed component leaves the list; destroying the form first is safe.
  delete code;
  EXPECT_EQ(form->components().size(), 3u);
  form.reset();
}

TEST_F(KitTest, ListsAndTextsKeepTheirLines) {
  Form form("F");
  Memo messages(&form, &form, "IntlStrings1");
  messages.setLines({"Purchase", "Debit note", "", "Adjustment"});
  EXPECT_EQ(messages.lineCount(), 4);
  EXPECT_EQ(messages.line(3), "Adjustment");
  EXPECT_EQ(messages.line(2), "");
  EXPECT_EQ(messages.line(99), "");

  RadioGroup group(&form, &form, "RadioGroup1", "Type");
  group.setItems({"Purchase", "Debit", "Credit"});
  group.setItemIndex(2);
  EXPECT_EQ(group.itemIndex(), 2);
  group.setItemText(2, "Crédit");
  EXPECT_EQ(group.items(), (QStringList{"Purchase", "Debit", "Crédit"}));
  EXPECT_EQ(group.itemIndex(), 2);
  group.setItemIndex(-1);
  EXPECT_EQ(group.itemIndex(), -1);

  CheckList checks(&form, &form, "CheckListBox1");
  checks.setItems({"a", "b"});
  checks.setChecked(1, true);
  EXPECT_FALSE(checks.checked(0));
  EXPECT_TRUE(checks.checked(1));
  EXPECT_FALSE(checks.checked(5));

  ComboBox combo(&form, &form, "ComboBox2");
  combo.setItems({"=", ">", "<", "<>", "CONTAINING"});
  combo.setItemIndex(4);
  EXPECT_EQ(combo.caption(), "CONTAINING");

  StatusBar bar(&form, &form, "StatusBar1", {250, 250, 50});
  bar.setPanelText(2, "Version 2.1");
  EXPECT_EQ(bar.panelCount(), 3);
  EXPECT_EQ(bar.panelText(2), "Version 2.1");
  EXPECT_EQ(bar.panelText(3), "");
  EXPECT_EQ(bar.panelWidth(0), 250);

  PageControl pages(&form, &form, "PageControl1");
  TabSheet list(&form, &pages, "TabSheet1", "List of clients");
  TabSheet general(&form, &pages, "TabSheet2", "General");
  general.setCaption("Général");
  EXPECT_EQ(pages.tabText(1), "Général");
}

TEST_F(KitTest, MenusKeepPositionsGroupsAndStates) {
  MainForm window("TLogoAppForm");
  MainMenu menu(&window, &window, "MainMenu1");
  MenuItem* file = menu.add("File1", "&File");
  MenuItem* open = file->add("Open1", "Open");
  MenuItem* sep = file->addSeparator("N1");
  MenuItem* exit = file->add("Exit1", "E&xit");
  MenuItem* english = file->add("English1", "English");
  MenuItem* french = file->add("French1", "Français");
  for (MenuItem* m : {english, french}) {
    m->setRadioItem(true);
    m->setGroupIndex(3);
  }
  EXPECT_EQ(file->indexOf(exit), 2);
  EXPECT_TRUE(sep->isSeparator());
  EXPECT_EQ(file->item(0), open);
  EXPECT_EQ(file->item(9), nullptr);
  english->setChecked(true);
  french->setChecked(true);
  EXPECT_FALSE(english->isChecked());
  EXPECT_EQ(window.findComponent("Exit1"), exit);
  exit->setHint("Leave the program");
  EXPECT_EQ(exit->statusTip(), "Leave the program");

  // Moving an entry keeps the order the positions count on.
  file->insert(0, exit);
  EXPECT_EQ(file->indexOf(exit), 0);
  EXPECT_EQ(file->indexOf(open), 1);
  EXPECT_EQ(file->subMenu()->actions().front(), exit);
}

// Every entry of a menu gets a mnemonic of its own: designed ones stay unless
// an earlier entry took the letter, texts from data keep their "&".
TEST_F(KitTest, MnemonicsAreUniqueWithinAMenu) {
  EXPECT_EQ(plainCaption("E&xit"), "Exit");
  EXPECT_EQ(plainCaption("Smith && Sons"), "Smith & Sons");
  EXPECT_EQ(literalCaption("Smith & Sons"), "Smith && Sons");
  EXPECT_EQ(mnemonicOf("E&xit"), QChar('x'));
  EXPECT_EQ(mnemonicOf("Smith && Sons"), QChar());
  EXPECT_EQ(mnemonicOf("&&A &Bee"), QChar('b'));

  MainForm window("TLogoAppForm");
  MainMenu bar(&window, &window, "MainMenu1");
  MenuItem* menu = bar.add("Menu1", "&Menu");
  MenuItem* designed = menu->add("a", "&Print reports");
  MenuItem* clash = menu->add("b", "&Purge history");      // same designed letter
  MenuItem* plain = menu->add("c", "Print and update");    // P taken: the next word start
  menu->addSeparator("N1");
  MenuItem* data = menu->add("d", literalCaption("Smith & Sons"));
  MenuItem* accented = menu->add("e", "Écritures");        // no free word start in ASCII
  assignMnemonics(menu->items());
  EXPECT_EQ(designed->text(), "&Print reports");
  EXPECT_EQ(clash->text(), "Purge &history");
  EXPECT_EQ(plain->text(), "Print &and update");
  EXPECT_EQ(data->text(), "&Smith && Sons");
  EXPECT_EQ(plainCaption(data->text()), "Smith & Sons");
  EXPECT_EQ(accented->text(), "É&critures");
  // Assigning again changes nothing.
  assignMnemonics(menu->items());
  EXPECT_EQ(clash->text(), "Purge &history");

  // A command of the bar opens no menu; a menu opens even while empty.
  MenuItem* exit = bar.addCommand("Exit1", "E&xit");
  MenuItem* tools = bar.add("Tools1", "&Tools");
  EXPECT_EQ(exit->menu(), nullptr);
  EXPECT_NE(tools->menu(), nullptr);
}

TEST_F(KitTest, FormsOpenCentredAndStatusBarsDoNotWidenTheirWindow) {
  MainForm window("TLogoAppForm");
  // Panels as wide as the window: the last one gives way to the margins.
  window.setGeometry(20, 30, 750, 400);
  StatusBar bar(&window, &window, "StatusBar1", {250, 250, 100, 150});
  window.setStatusBar(&bar);
  window.show();
  EXPECT_EQ(window.width(), 750);
  EXPECT_LE(bar.minimumSizeHint().width(), 750);

  Form dialog("TDialog", &window);
  dialog.position = Form::Position::kOwnerCenter;
  dialog.resize(200, 100);
  dialog.show();
  EXPECT_EQ(dialog.frameGeometry().center(), window.frameGeometry().center());
  dialog.hide();
  Form alone("TAlone");
  alone.position = Form::Position::kScreenCenter;
  alone.resize(200, 100);
  alone.show();
  EXPECT_EQ(alone.frameGeometry().center(), alone.screen()->availableGeometry().center());
}

TEST_F(KitTest, FirstActivationRunsOnceAndKeyPreviewSeesKeysFirst) {
  Form form("TPasswordDlg");
  Memo edit(&form, &form, "Edit1");
  int activations = 0;
  form.onFirstActivate = [&] { ++activations; };
  std::vector<int> keys;
  form.keyPreview = true;
  form.onKeyPreview = [&](QKeyEvent* e) {
    keys.push_back(e->key());
    return e->key() == Qt::Key_F3;  // eaten
  };
  form.show();
  form.hide();
  form.show();
  EXPECT_EQ(activations, 1);
  QTest::keyClick(&edit, Qt::Key_A);
  QTest::keyClick(&edit, Qt::Key_F3);
  EXPECT_EQ(keys, (std::vector<int>{Qt::Key_A, Qt::Key_F3}));
  EXPECT_EQ(edit.toPlainText(), "a");
  form.keyPreview = false;
  QTest::keyClick(&edit, Qt::Key_B);
  EXPECT_EQ(keys.size(), 2u);
}

TEST_F(KitTest, RecorderAnswersFromItsScriptAndIsRemovedAfterwards) {
  RecordingDialogs recorder;
  recorder.answers = {Answer::kNo};
  {
    ScopedDialogs scope(&recorder);
    EXPECT_EQ(dialogs().message(nullptr, MessageKind::kConfirmation, "Post", "Post this document?", Buttons::kYesNo),
              Answer::kNo);
    EXPECT_EQ(dialogs().message(nullptr, MessageKind::kError, "Error", "Invalid account", Buttons::kOk), Answer::kOk);
    EXPECT_EQ(dialogs().openFile(nullptr, "Picture", "/tmp", "*.bmp"), "");
  }
  ASSERT_EQ(recorder.shown.size(), 3u);
  EXPECT_EQ(recorder.shown[0].text, "Post this document?");
  EXPECT_EQ(recorder.shown[1].kind, MessageKind::kError);
  EXPECT_NE(&dialogs(), static_cast<Dialogs*>(&recorder));
}

TEST_F(KitTest, MessageBoxesNameTheirAnswersInTheUsersLanguage) {
  ASSERT_EQ(setDialogs(nullptr), nullptr);  // the real service
  for (int language : {1, 2}) {
    setControlsLanguage(language);
    QStringList names;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QAbstractButton* b : box->buttons()) names << b->text();
      box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs().message(nullptr, MessageKind::kConfirmation, "Exit", "Close?", Buttons::kYesNo), Answer::kNo);
    names.sort();
    EXPECT_EQ(names, language == 1 ? (QStringList{"&No", "&Yes"}) : (QStringList{"&Non", "&Oui"}));
  }
  setControlsLanguage(1);
}

}  // namespace
}  // namespace ui
