// Property streams and the components written to them: every property comes
// back, and a damaged or hostile stream is refused whole.
#include "ui/component_stream.h"

#include <gtest/gtest.h>

#include <QImage>

#include "ui/controls.h"
#include "ui/data_grid.h"
#include "ui/form.h"
#include "ui/transparent_button.h"
#include "ui/wallpaper.h"
#include "widget_test_util.h"

namespace ui {
namespace {

class StreamTest : public ::testing::Test {
 protected:
  struct App {
    App() { testing::app(); }
  } app_;

  static QImage picture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(10, 120, 200));
    image.setPixel(0, 0, qRgb(255, 255, 0));
    return image;
  }

  // A stream with its checksum made right again after an edit of its body.
  static QByteArray resealed(QByteArray stream) {
    const QByteArray body = stream.mid(12);
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : body) {
      crc ^= static_cast<uint8_t>(ch);
      for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) stream[4 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    return stream;
  }

  Form form_{"LogoAppForm"};
};

TEST_F(StreamTest, EveryKindOfValueComesBack) {
  PropertyObject inner("TFont", {});
  inner.set("Name", QString("Arial"));
  inner.set("Size", 10);
  PropertyObject o("TThing", "Thing1");
  o.set("Yes", true);
  o.set("No", false);
  o.set("Big", PropertyValue::integer(-(int64_t(1) << 40)));
  o.set("Ratio", PropertyValue::number(1.15));
  o.set("Text", QString("Rapprochement bancaire — été"));
  o.set("Bytes", PropertyValue::bytes(QByteArray("\0\1\2\xFF", 4)));
  o.set("List", PropertyValue::list({PropertyValue::integer(1), PropertyValue::text("deux"),
                                     PropertyValue::list({}), PropertyValue::object(inner)}));
  o.set("Font", PropertyValue::object(inner));
  pdx::Result<PropertyObject> back = readPropertyStream(writePropertyStream(o));
  ASSERT_TRUE(back.ok()) << back.status().toString();
  EXPECT_EQ(*back, o);
  EXPECT_EQ(back->find("Font")->asObject()->find("Size")->asInteger(), 10);
}

TEST_F(StreamTest, ADamagedStreamIsRefusedWhole) {
  PropertyObject o("TTransparentButton", "kq61S");
  o.set("Caption", QString("Display of clients"));
  o.set("Left", 296);
  o.set("List", PropertyValue::list({PropertyValue::text("a"), PropertyValue::text("b")}));
  const QByteArray good = writePropertyStream(o);
  ASSERT_TRUE(readPropertyStream(good).ok());

  for (int i = 0; i < good.size(); ++i) {
    QByteArray flipped = good;
    flipped[i] = static_cast<char>(flipped[i] ^ 0x10);
    EXPECT_TRUE(readPropertyStream(flipped).status().is(pdx::code::kFileCorrupt)) << "byte " << i;
  }
  for (int n = 0; n < good.size(); ++n)
    EXPECT_TRUE(readPropertyStream(good.left(n)).status().is(pdx::code::kFileCorrupt)) << "cut at " << n;
  EXPECT_FALSE(readPropertyStream(good + "x").ok());

  // Well sealed but lying: a list that claims more items than there are
  // bytes, and nesting past the limit.
  QByteArray lying = good;
  const qsizetype count = lying.indexOf(QByteArray("\x06\x02\0\0\0", 5));
  ASSERT_GT(count, 0);
  lying[count + 4] = '\x7F';
  EXPECT_TRUE(readPropertyStream(resealed(lying)).status().is(pdx::code::kFileCorrupt));
  PropertyValue deep = PropertyValue::list({});
  for (int i = 0; i < kMaxPropertyDepth + 1; ++i) deep = PropertyValue::list({deep});
  PropertyObject nested("T", "N");
  nested.set("Deep", deep);
  EXPECT_TRUE(readPropertyStream(writePropertyStream(nested)).status().is(pdx::code::kFileCorrupt));
}

TEST_F(StreamTest, AShortcutButtonKeepsEveryProperty) {
  QWidget parent;
  auto* button = new TTransparentButton(&form_, &parent, "vd87S");
  button->setGeometry(296, 256, 89, 89);
  button->setTag(1);
  button->setHint("Purchases");
  button->setCaption("Purchases (Accounts payable)");
  button->setAutoGray(false);
  button->setBorderWidth(0);
  button->setFont(QFont("Arial", 10));
  button->setFontColor(Qt::white);
  button->setFrameStyle(TFrameStyle::fsMono);
  button->setGlyph(picture(64, 32));  // two cells
  button->setShowPressed(true);
  button->setSpacing(4);
  button->setTextAlign(TTextAlign::ttaRight);
  button->setTransparent(false);
  button->setWordWrap(false);
  button->setMovable(false);
  button->setEnabled(false);
  button->hide();
  const QByteArray stream = writeComponent(*button);

  QWidget other;
  Form form2("LogoAppForm");
  auto* copy = new TTransparentButton(&form2, &other, "vd87S");
  ASSERT_TRUE(readComponent(stream, *copy).ok());
  EXPECT_EQ(componentProperties(*copy), componentProperties(*button));
  EXPECT_EQ(copy->geometry(), QRect(296, 256, 89, 89));
  EXPECT_EQ(copy->numGlyphs(), 2);
  EXPECT_EQ(copy->glyph().pixel(0, 0), qRgb(255, 255, 0));
  EXPECT_EQ(copy->font().family(), "Arial");
  EXPECT_EQ(copy->font().pointSize(), 10);
  EXPECT_TRUE(copy->isHidden());
  EXPECT_FALSE(copy->isEnabled());
}

TEST_F(StreamTest, PanelsGridsNotesAndTheWallpaperComeBack) {
  QWidget parent;
  auto* paper = new TWallpaper(&form_, &parent, "Wallpaper1");
  paper->setWallpaper(picture(30, 20));
  paper->setBevelOuter(TBevelCut::bvLowered);
  auto* box = new GroupBox(&form_, paper, "ClientList", "List of clients");
  box->setGeometry(224, 40, 505, 233);
  box->setTag(1);
  auto* grid = new DataGrid(&form_, box, "DBGrid1");
  grid->setColumns({{"Cli_code", "Client #", 0}, {"Cli_name", "Name", 200}, {"Cli_tel", "Telephone", 100}});
  grid->setColumnWidth(1, 321);
  auto* note = new NoteEditor(&form_, paper, "RichEdit1");
  note->setPlainText("Call Gagnon\n\tabout the cheque\n");

  Form form2("LogoAppForm");
  QWidget parent2;
  auto* paper2 = new TWallpaper(&form2, &parent2, "Wallpaper1");
  auto* box2 = new GroupBox(&form2, paper2, "ClientList", "Liste des clients");
  auto* grid2 = new DataGrid(&form2, box2, "DBGrid1");
  grid2->setColumns({{"Cli_code", "Client no", 0}, {"Cli_name", "Nom", 200}, {"Cli_tel", "Téléphone", 100}});
  auto* note2 = new NoteEditor(&form2, paper2, "RichEdit1");
  for (auto [from, to] : {std::pair<Component*, Component*>{paper, paper2}, {box, box2}, {grid, grid2}, {note, note2}})
    ASSERT_TRUE(readComponent(writeComponent(*from), *to).ok()) << from->name().toStdString();

  EXPECT_EQ(paper2->wallpaperData(), paper->wallpaperData());
  EXPECT_EQ(paper2->bevelOuter(), TBevelCut::bvLowered);
  EXPECT_EQ(box2->geometry(), QRect(224, 40, 505, 233));
  EXPECT_EQ(box2->tag(), 1);
  EXPECT_EQ(box2->caption(), "List of clients");
  EXPECT_EQ(grid2->columnWidth(1), 321);
  EXPECT_EQ(grid2->columnWidth(2), 100);
  EXPECT_EQ(grid2->columnTitle(1), "Nom");  // designed columns keep their titles
  EXPECT_EQ(note2->toPlainText(), "Call Gagnon\n\tabout the cheque\n");
}

TEST_F(StreamTest, AStreamOfAnotherComponentOrWithABadValueChangesNothing) {
  QWidget parent;
  auto* box = new GroupBox(&form_, &parent, "ClientList", "List of clients");
  box->setGeometry(224, 40, 505, 233);
  auto* other = new GroupBox(&form_, &parent, "SupplierList", "List of suppliers");
  EXPECT_TRUE(readComponent(writeComponent(*other), *box).is(pdx::code::kInvalidValue));
  auto* button = new TTransparentButton(&form_, &parent, "ClientList2");
  EXPECT_TRUE(readComponent(writeComponent(*button), *box).is(pdx::code::kInvalidValue));

  PropertyObject o("TGroupBox", "ClientList");
  o.set("Left", 10);       // sound, but must not be applied alone
  o.set("Width", -5);      // out of range
  EXPECT_TRUE(applyComponentProperties(o, *box).is(pdx::code::kInvalidValue));
  EXPECT_EQ(box->geometry(), QRect(224, 40, 505, 233));

  PropertyObject typed("TGroupBox", "ClientList");
  typed.set("Visible", 1);  // an integer where a boolean belongs
  EXPECT_FALSE(applyComponentProperties(typed, *box).ok());
  PropertyObject glyph("TTransparentButton", "ClientList2");
  glyph.set("Glyph", PropertyValue::bytes("BM not a bitmap"));
  EXPECT_FALSE(applyComponentProperties(glyph, *button).ok());
  PropertyObject longText("TGroupBox", "ClientList");
  longText.set("Caption", QString(5000, 'x'));
  EXPECT_FALSE(applyComponentProperties(longText, *box).ok());
  EXPECT_EQ(box->caption(), "List of clients");

  EXPECT_TRUE(isValidComponentName("kq61S"));
  EXPECT_TRUE(isValidComponentName("_x1"));
  for (const char* bad : {"", "1abc", "../vd87S", "vd 87S", "vd87S/", "é"})
    EXPECT_FALSE(isValidComponentName(QString::fromUtf8(bad))) << bad;
  EXPECT_FALSE(isValidComponentName(QString(64, 'a')));
}

}  // namespace
}  // namespace ui
