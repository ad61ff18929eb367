// The print preview driven as a user drives it: keys, clicks, the page box;
// what it prints and saves read back from the PDFs.
#include "ui/preview_dialog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "pdf_test_util.h"
#include "test_util.h"
#include "ui/field_link.h"
#include "widget_test_util.h"

namespace ui {
namespace {

// A job of three pages, "Sheet 1" to "Sheet 3", that counts its paintings.
PrintJob threeSheets(int* paintings) {
  PrintJob job;
  job.caption = "Aged balances";
  job.printerName = "Accounting";
  job.paint = [paintings](QPrinter* printer) {
    ++*paintings;
    printer->setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(printer)) return false;
    for (int page = 1; page <= 3; ++page) {
      if (page > 1) printer->newPage();
      painter.drawText(QPointF(200, 200), QStringLiteral("Sheet %1").arg(page));
    }
    return painter.end();
  };
  return job;
}

class PreviewDialogTest : public ::testing::Test {
 protected:
  PreviewDialogTest() { testing::app(); }
  void SetUp() override {
    recorder_.pdfDirectory = QString::fromStdString(dir_.path());
    setControlsLanguage(1);
  }
  void TearDown() override { setControlsLanguage(1); }

  // Shows the dialog and waits until it has the keyboard.
  void show(PreviewDialog& dialog) {
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  }

  pdx::testing::TempDir dir_;
  RecordingDialogs recorder_;
  ScopedDialogs scoped_{&recorder_};
  int paintings_ = 0;
};

TEST_F(PreviewDialogTest, PagesThroughWithKeysButtonsAndThePageBox) {
  PreviewDialog dialog(threeSheets(&paintings_));
  show(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Aged balances");
  EXPECT_EQ(dialog.pageCount(), 3);
  EXPECT_EQ(dialog.currentPage(), 1);
  EXPECT_FALSE(dialog.button("PriorPage")->isEnabled());

  QTest::keyClick(&dialog, Qt::Key_PageDown);
  EXPECT_EQ(dialog.currentPage(), 2);
  QTest::keyClick(&dialog, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(dialog.currentPage(), 3);
  EXPECT_FALSE(dialog.button("NextPage")->isEnabled());
  QTest::keyClick(&dialog, Qt::Key_PageDown);  // no page beyond the last
  EXPECT_EQ(dialog.currentPage(), 3);
  QTest::mouseClick(dialog.button("PriorPage"), Qt::LeftButton);
  EXPECT_EQ(dialog.currentPage(), 2);
  QTest::mouseClick(dialog.button("FirstPage"), Qt::LeftButton);
  EXPECT_EQ(dialog.currentPage(), 1);
  QTest::mouseClick(dialog.button("LastPage"), Qt::LeftButton);
  EXPECT_EQ(dialog.currentPage(), 3);

  auto* box = dialog.findChild<QSpinBox*>("PageNumber");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->value(), 3);
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, "2");
  EXPECT_EQ(dialog.currentPage(), 2);
  QTest::keyClick(&dialog, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(dialog.currentPage(), 1);
  EXPECT_EQ(box->value(), 1);
}

TEST_F(PreviewDialogTest, ZoomsInAndOut) {
  PreviewDialog dialog(threeSheets(&paintings_));
  show(dialog);
  const double start = dialog.zoomFactor();
  QTest::mouseClick(dialog.button("ZoomIn"), Qt::LeftButton);
  const double in = dialog.zoomFactor();
  EXPECT_GT(in, start);
  QTest::keyClick(&dialog, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_LT(dialog.zoomFactor(), in);
  QTest::mouseClick(dialog.button("FitPage"), Qt::LeftButton);
  const double page = dialog.zoomFactor();
  QTest::mouseClick(dialog.button("FitWidth"), Qt::LeftButton);
  // A landscape sheet in a window taller than wide relative to it: the
  // whole page is never larger than the page's width.
  EXPECT_LE(page, dialog.zoomFactor() + 1e-9);
}

// Print and Save as PDF paint the whole job again, on the printer the job
// names and into the file the user chose.
TEST_F(PreviewDialogTest, PrintsAndSavesAsPdf) {
  PreviewDialog dialog(threeSheets(&paintings_));
  show(dialog);
  const int previewPaintings = paintings_;

  QTest::mouseClick(dialog.button("Print"), Qt::LeftButton);
  ASSERT_EQ(recorder_.shown.size(), 1u);
  EXPECT_EQ(recorder_.shown[0].what, "print");
  EXPECT_EQ(recorder_.shown[0].text, "Accounting");
  EXPECT_EQ(testing::pdfPages(recorder_.shown[0].pdf).size(), 3);

  // The name gets ".pdf"; the offered name is the caption.
  const QString chosen = QString::fromStdString(dir_.file("aged"));
  recorder_.files.push_back(chosen);
  QTest::keyClick(&dialog, Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(recorder_.shown.size(), 2u);
  EXPECT_EQ(recorder_.shown[1].what, "saveFile");
  EXPECT_EQ(recorder_.shown[1].text, "Aged balances.pdf");
  const QStringList pages = testing::pdfPages(chosen + ".pdf");
  ASSERT_EQ(pages.size(), 3);
  EXPECT_TRUE(pages[1].contains("Sheet 2"));
  EXPECT_EQ(paintings_, previewPaintings + 2);

  // Cancelled: nothing written, nothing said.
  EXPECT_FALSE(dialog.saveAsPdf());
  EXPECT_EQ(recorder_.shown.size(), 3u);

  // A folder that does not exist: the user is told, in an error box.
  recorder_.files.push_back(QString::fromStdString(dir_.file("missing/folder/aged.pdf")));
  EXPECT_FALSE(dialog.saveAsPdf());
  ASSERT_EQ(recorder_.shown.size(), 5u);
  EXPECT_EQ(recorder_.shown[4].what, "message");
  EXPECT_EQ(recorder_.shown[4].kind, MessageKind::kError);
  EXPECT_TRUE(recorder_.shown[4].text.contains("missing/folder/aged.pdf"));

  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(PreviewDialogTest, SpeaksTheControlsLanguage) {
  setControlsLanguage(2);
  PreviewDialog dialog(threeSheets(&paintings_));
  EXPECT_EQ(dialog.button("NextPage")->toolTip(), "Page suivante (Pg suiv)");
  EXPECT_EQ(dialog.button("SavePdf")->text(), "Enregistrer en PDF...");
  EXPECT_EQ(dialog.button("Close")->text(), "Fermer");
  PrintJob untitled = threeSheets(&paintings_);
  untitled.caption.clear();
  PreviewDialog plain(untitled);
  EXPECT_EQ(plain.windowTitle(), "Aperçu avant impression");
}

}  // namespace
}  // namespace ui
