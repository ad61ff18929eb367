// The window's layout in both languages: a fixed-size form whose every text
// shows whole. The checks hold on any platform; run under a real X server
// (QT_QPA_PLATFORM=xcb) with TALLIMOOR_SCREENSHOTS set to a folder, the test
// also leaves a picture of each language there to look at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>

#include "os/services.h"
#include "shared/window_utils.h"
#include "ui/data_controls.h"
#include "window_test_util.h"

namespace vd87::testing {
namespace {

class LayoutTest : public WindowTest {
 protected:
  LayoutTest() {
    // The module's version, as its file would carry it.
    const QString module = os::modulePathContaining(reinterpret_cast<const void*>(&shared::GetModuleVersionText));
    services_.versions.setVersion(module, os::FileVersion{10, 20, 300, 4000});
  }

  void saveScreenshot(const QString& name) {
    const QString folder = qEnvironmentVariable("TALLIMOOR_SCREENSHOTS");
    if (!folder.isEmpty()) EXPECT_TRUE(frm_->grab().save(folder + "/" + name + ".png"));
  }

  // Every label, button, box and list of the window shows its text whole.
  void expectTextsWhole(const char* language) {
    for (QWidget* w : frm_->findChildren<QWidget*>()) {
      if (!w->isVisibleTo(frm_.get()) || dynamic_cast<ui::DBText*>(w)) continue;
      const std::string what = language + std::string(": ") + w->objectName().toStdString() + " is cut";
      if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        // A style may want a push button wider than its text; the text is
        // what has to fit.
        const QString text = button->text().remove('&');
        EXPECT_GT(button->width(), button->fontMetrics().horizontalAdvance(text) + 4) << what;
      } else if (qobject_cast<QLabel*>(w) || qobject_cast<QComboBox*>(w)) {
        EXPECT_GE(w->width(), w->minimumSizeHint().width()) << what;
      }
    }
    for (int panel = 0; panel < frm_->StatusBar1->panelCount(); ++panel) {
      const QString text = frm_->StatusBar1->panelText(panel);
      EXPECT_GT(frm_->StatusBar1->panelWidth(panel), frm_->fontMetrics().horizontalAdvance(text))
          << language << ": status panel " << panel << " \"" << text.toStdString() << "\" is cut";
    }
  }
};

TEST_F(LayoutTest, AFixedFormWhoseTextsShowWholeInBothLanguages) {
  for (int language : {1, 2}) {
    const char* name = language == 1 ? "English" : "French";
    openWindow(language);
    EXPECT_EQ(frm_->minimumSize(), frm_->maximumSize()) << name << ": the window can be resized";
    EXPECT_TRUE(frm_->StatusBar1->panelText(2).endsWith("10.20.300.4000"));
    expectTextsWhole(name);
    // The lookup buttons stay small squares beside what they look up.
    for (QWidget* lookup : {static_cast<QWidget*>(frm_->SearchBtn), static_cast<QWidget*>(frm_->SearchAccountBtn)})
      EXPECT_LE(lookup->width(), lookup->height() * 2) << name << ": " << lookup->objectName().toStdString();

    const QSize before = frm_->size();
    type("BRIT");
    key(Qt::Key_Return);
    ASSERT_TRUE(frm_->SupplierPanel->isVisible());
    EXPECT_EQ(frm_->size(), before) << name << ": the supplier's address changed the window's size";
    EXPECT_EQ(frm_->supplierLabels[0]->text(), "British Tools Ltd");
    expectTextsWhole(name);
    // Descriptions show their beginning, and the chart's fit whole.
    for (QLineEdit* d : frm_->descriptionEdits) {
      if (d->text().isEmpty()) continue;
      EXPECT_EQ(d->cursorPosition(), 0) << d->text().toStdString();
      EXPECT_LT(d->fontMetrics().horizontalAdvance(d->text()), d->contentsRect().width()) << d->text().toStdString();
    }
    // One the user typed, longer than its edit, too once left.
    enter(frm_->descriptionEdits[9], QString("Frais de livraison urgente par messagerie, fin de semaine").left(60));
    key(Qt::Key_Tab);
    EXPECT_EQ(frm_->descriptionEdits[9]->cursorPosition(), 0);
    saveScreenshot(QString("vd87-") + (language == 1 ? "en" : "fr"));
    closeWindow();
  }
}

}  // namespace
}  // namespace vd87::testing
