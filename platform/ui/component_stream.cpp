#include "ui/component_stream.h"

#include <QBuffer>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/controls.h"
#include "ui/data_grid.h"
#include "ui/picture.h"
#include "ui/transparent_button.h"
#include "ui/wallpaper.h"

namespace ui {

namespace {

constexpr int kMaxText = 4096;
constexpr int kMaxLines = 100000;
constexpr int kMaxSize = 32767;

// ---------------------------------------------------------------- writing

int colorValue(const QColor& c) { return static_cast<int>(c.rgb() & 0xFFFFFF); }
QColor colorOf(int64_t v) { return QColor::fromRgb(static_cast<QRgb>(v) | 0xFF000000u); }

PropertyValue fontValue(const QFont& font, const QColor& color) {
  PropertyObject o("TFont", {});
  o.set("Name", font.family());
  o.set("Size", font.pointSize() > 0 ? font.pointSize() : 8);
  o.set("Bold", font.bold());
  o.set("Italic", font.italic());
  o.set("Underline", font.underline());
  o.set("StrikeOut", font.strikeOut());
  o.set("Color", colorValue(color));
  return PropertyValue::object(std::move(o));
}

QByteArray png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

// The font of a widget unless it takes its parent's.
void writeFont(PropertyObject& o, QWidget* w, const QColor& color) {
  const bool parentFont = !w->testAttribute(Qt::WA_SetFont);
  o.set("ParentFont", parentFont);
  if (!parentFont) o.set("Font", fontValue(w->font(), color));
}

// ---------------------------------------------------------------- reading

// Checks every known property of an object first and applies them only when
// all are sound: each check queues the step that applies its value.
class Applier {
 public:
  explicit Applier(const PropertyObject& o) : o_(o) {}

  void integer(const char* key, int64_t min, int64_t max, std::function<void(int)> set) {
    const PropertyValue* v = o_.find(key);
    if (!v) return;
    if (v->type() != PropertyValue::Type::kInteger || v->asInteger() < min || v->asInteger() > max)
      return fail(key);
    const int value = static_cast<int>(v->asInteger());
    steps_.push_back([set = std::move(set), value] { set(value); });
  }

  void boolean(const char* key, std::function<void(bool)> set) {
    const PropertyValue* v = o_.find(key);
    if (!v) return;
    if (!v->isBoolean()) return fail(key);
    const bool value = v->asBoolean();
    steps_.push_back([set = std::move(set), value] { set(value); });
  }

  void text(const char* key, std::function<void(const QString&)> set) {
    const PropertyValue* v = o_.find(key);
    if (!v) return;
    if (v->type() != PropertyValue::Type::kText || v->asText().size() > kMaxText) return fail(key);
    steps_.push_back([set = std::move(set), value = v->asText()] { set(value); });
  }

  void color(const char* key, std::function<void(const QColor&)> set) {
    integer(key, 0, 0xFFFFFF, [set = std::move(set)](int v) { set(colorOf(v)); });
  }

  void lines(const char* key, std::function<void(const QStringList&)> set) {
    const PropertyValue* v = o_.find(key);
    if (!v) return;
    if (v->type() != PropertyValue::Type::kList || v->asList().size() > size_t(kMaxLines)) return fail(key);
    QStringList out;
    for (const PropertyValue& line : v->asList()) {
      if (line.type() != PropertyValue::Type::kText || line.asText().size() > kMaxText) return fail(key);
      out << line.asText();
    }
    steps_.push_back([set = std::move(set), out] { set(out); });
  }

  // A picture's bytes; `decoded` receives the picture with them.
  void picture(const char* key, std::function<void(const QImage&, const QByteArray&)> set) {
    const PropertyValue* v = o_.find(key);
    if (!v) return;
    if (v->type() != PropertyValue::Type::kBytes) return fail(key);
    QImage image = decodePicture(v->asBytes());
    if (image.isNull()) return fail(key);
    steps_.push_back([set = std::move(set), image, bytes = v->asBytes()] { set(image, bytes); });
  }

  // A nested object of class `className`, checked by `nested`.
  void object(const char* key, const char* className, const std::function<void(Applier&)>& nested) {
    const PropertyValue* v = o_.find(key);
    if (!v) return;
    if (v->type() != PropertyValue::Type::kObject || v->asObject()->className() != className) return fail(key);
    Applier inner(*v->asObject());
    nested(inner);
    if (!inner.status_.ok()) return fail(key);
    steps_.insert(steps_.end(), inner.steps_.begin(), inner.steps_.end());
  }

  // A font and its colour.
  void font(QWidget* w, std::function<void(const QColor&)> setColor) {
    object("Font", "TFont", [&](Applier& f) {
      auto font = std::make_shared<QFont>(w->font());
      f.text("Name", [font](const QString& s) { font->setFamily(s); });
      f.integer("Size", 1, 400, [font](int s) { font->setPointSize(s); });
      f.boolean("Bold", [font](bool b) { font->setBold(b); });
      f.boolean("Italic", [font](bool b) { font->setItalic(b); });
      f.boolean("Underline", [font](bool b) { font->setUnderline(b); });
      f.boolean("StrikeOut", [font](bool b) { font->setStrikeOut(b); });
      f.color("Color", setColor);
      f.steps_.push_back([w, font] { w->setFont(*font); });
    });
    boolean("ParentFont", [w](bool parent) {
      if (parent) w->setFont(QFont());
    });
  }

  // The properties every control keeps.
  void control(Component& c, QWidget* w, bool place) {
    if (place) {
      auto geometry = std::make_shared<QRect>(w->geometry());
      integer("Left", -kMaxSize - 1, kMaxSize, [geometry](int v) { geometry->moveLeft(v); });
      integer("Top", -kMaxSize - 1, kMaxSize, [geometry](int v) { geometry->moveTop(v); });
      integer("Width", 0, kMaxSize, [geometry](int v) { geometry->setWidth(v); });
      integer("Height", 0, kMaxSize, [geometry](int v) { geometry->setHeight(v); });
      steps_.push_back([w, geometry] { w->setGeometry(*geometry); });
    }
    boolean("Visible", [w](bool v) { w->setVisible(v); });
    integer("Tag", INT32_MIN, INT32_MAX, [&c](int v) { c.setTag(v); });
    text("Hint", [&c](const QString& s) { c.setHint(s); });
  }

  // A step of its own, checked by the caller.
  void step(std::function<void()> apply) { steps_.push_back(std::move(apply)); }

  void fail(const char* key) {
    if (status_.ok())
      status_ = pdx::Status(pdx::code::kInvalidValue, "the stored property " + o_.className().toStdString() + "." +
                                                          key + " of " + o_.name().left(63).toStdString() +
                                                          " is not valid");
  }

  // Applies what was checked, unless something failed or `apply` is off.
  pdx::Status finish(bool apply) {
    if (!status_.ok()) return status_;
    if (apply)
      for (auto& step : steps_) step();
    return {};
  }

 private:
  const PropertyObject& o_;
  std::vector<std::function<void()>> steps_;
  pdx::Status status_;
};

void setPaletteColor(QWidget* w, QPalette::ColorRole role, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(role, c);
  w->setPalette(p);
}

}  // namespace

QString streamClassName(Component& component) {
  QObject* o = component.object();
  if (dynamic_cast<TWallpaper*>(o)) return "TWallpaper";
  if (dynamic_cast<TTransparentButton*>(o)) return "TTransparentButton";
  if (dynamic_cast<GroupBox*>(o)) return "TGroupBox";
  if (dynamic_cast<DataGrid*>(o)) return "TDBGrid";
  if (dynamic_cast<NoteEditor*>(o)) return "TRichEdit";
  return {};
}

bool isValidComponentName(const QString& name) {
  if (name.isEmpty() || name.size() > 63) return false;
  for (int i = 0; i < name.size(); ++i) {
    const QChar c = name[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

PropertyObject componentProperties(Component& component) {
  const QString className = streamClassName(component);
  if (className.isEmpty()) return {};
  QWidget* w = component.widget();
  PropertyObject o(className, component.name());
  o.set("Left", w->x());
  o.set("Top", w->y());
  o.set("Width", w->width());
  o.set("Height", w->height());
  o.set("Visible", !w->isHidden());
  o.set("Tag", component.tag());
  o.set("Hint", component.hint());

  if (auto* paper = dynamic_cast<TWallpaper*>(w)) {
    o.set("Caption", paper->caption());
    o.set("Color", colorValue(paper->color()));
    o.set("BevelInner", static_cast<int>(paper->bevelInner()));
    o.set("BevelOuter", static_cast<int>(paper->bevelOuter()));
    o.set("BevelWidth", paper->bevelWidth());
    o.set("BorderWidth", paper->borderWidth());
    o.set("BorderStyle", static_cast<int>(paper->borderStyle()));
    if (!paper->wallpaper().isNull()) o.set("Wallpaper", PropertyValue::bytes(paper->wallpaperData()));
  } else if (auto* button = dynamic_cast<TTransparentButton*>(w)) {
    o.set("Caption", button->caption());
    o.set("AutoGray", button->autoGray());
    o.set("BorderWidth", button->borderWidth());
    o.set("Down", button->down());
    o.set("Enabled", button->isEnabled());
    writeFont(o, button, button->fontColor());
    o.set("FrameStyle", static_cast<int>(button->frameStyle()));
    if (!button->glyph().isNull()) o.set("Glyph", PropertyValue::bytes(png(button->glyph())));
    o.set("NumGlyphs", button->numGlyphs());
    o.set("ShowPressed", button->showPressed());
    o.set("Spacing", button->spacing());
    o.set("TextAlign", static_cast<int>(button->textAlign()));
    o.set("Transparent", button->transparent());
    o.set("WordWrap", button->wordWrap());
    o.set("Movable", button->movable());
  } else if (auto* box = dynamic_cast<GroupBox*>(w)) {
    o.set("Caption", box->caption());
    o.set("Color", colorValue(box->palette().color(QPalette::Window)));
    writeFont(o, box, box->palette().color(QPalette::WindowText));
  } else if (auto* grid = dynamic_cast<DataGrid*>(w)) {
    std::vector<PropertyValue> columns;
    for (int i = 0; i < grid->columnCount(); ++i) {
      const Column& c = grid->columns()[size_t(i)];
      PropertyObject column("TColumn", {});
      column.set("FieldName", c.fieldName);
      column.set("Title", grid->columnTitle(i));
      column.set("Width", grid->columnWidth(i));
      columns.push_back(PropertyValue::object(std::move(column)));
    }
    o.set("Columns", PropertyValue::list(std::move(columns)));
    writeFont(o, grid, grid->palette().color(QPalette::Text));
  } else if (auto* note = dynamic_cast<NoteEditor*>(w)) {
    std::vector<PropertyValue> lines;
    for (const QString& line : note->toPlainText().split('\n')) lines.push_back(PropertyValue::text(line));
    o.set("Lines", PropertyValue::list(std::move(lines)));
    writeFont(o, note, note->palette().color(QPalette::Text));
  }
  return o;
}

QByteArray writeComponent(Component& component) { return writePropertyStream(componentProperties(component)); }

namespace {

pdx::Status applyOrCheck(const PropertyObject& object, Component& component, bool apply) {
  const QString className = streamClassName(component);
  if (className.isEmpty() || object.className() != className || object.name() != component.name())
    return pdx::Status(pdx::code::kInvalidValue, "the stored properties of " + object.className().left(63).toStdString() +
                                                     " " + object.name().left(63).toStdString() + " are not those of " +
                                                     component.name().toStdString());
  QWidget* w = component.widget();
  Applier a(object);
  if (auto* paper = dynamic_cast<TWallpaper*>(w)) {
    a.control(component, w, false);
    a.text("Caption", [paper](const QString& s) { paper->setCaption(s); });
    a.color("Color", [paper](const QColor& c) { paper->setColor(c); });
    a.integer("BevelInner", 0, 2, [paper](int v) { paper->setBevelInner(TBevelCut(v)); });
    a.integer("BevelOuter", 0, 2, [paper](int v) { paper->setBevelOuter(TBevelCut(v)); });
    a.integer("BevelWidth", 1, 100, [paper](int v) { paper->setBevelWidth(v); });
    a.integer("BorderWidth", 0, 100, [paper](int v) { paper->setBorderWidth(v); });
    a.integer("BorderStyle", 0, 1, [paper](int v) { paper->setBorderStyle(TBorderStyle(v)); });
    a.picture("Wallpaper", [paper](const QImage&, const QByteArray& bytes) { paper->setWallpaperData(bytes); });
  } else if (auto* button = dynamic_cast<TTransparentButton*>(w)) {
    a.control(component, w, true);
    a.text("Caption", [button](const QString& s) { button->setCaption(s); });
    a.boolean("AutoGray", [button](bool v) { button->setAutoGray(v); });
    a.integer("BorderWidth", 0, 100, [button](int v) { button->setBorderWidth(v); });
    a.boolean("Down", [button](bool v) { button->setDown(v); });
    a.boolean("Enabled", [button](bool v) { button->setEnabled(v); });
    a.font(button, [button](const QColor& c) { button->setFontColor(c); });
    a.integer("FrameStyle", 0, 6, [button](int v) { button->setFrameStyle(TFrameStyle(v)); });
    // The glyph before NumGlyphs: a glyph sets the count from its shape.
    a.picture("Glyph", [button](const QImage& image, const QByteArray&) { button->setGlyph(image); });
    a.integer("NumGlyphs", 1, 4, [button](int v) { button->setNumGlyphs(v); });
    a.boolean("ShowPressed", [button](bool v) { button->setShowPressed(v); });
    a.integer("Spacing", -kMaxSize, kMaxSize, [button](int v) { button->setSpacing(v); });
    a.integer("TextAlign", 0, 8, [button](int v) { button->setTextAlign(TTextAlign(v)); });
    a.boolean("Transparent", [button](bool v) { button->setTransparent(v); });
    a.boolean("WordWrap", [button](bool v) { button->setWordWrap(v); });
    a.boolean("Movable", [button](bool v) { button->setMovable(v); });
  } else if (auto* box = dynamic_cast<GroupBox*>(w)) {
    a.control(component, w, true);
    a.text("Caption", [box](const QString& s) { box->setCaption(s); });
    a.color("Color", [box](const QColor& c) { setPaletteColor(box, QPalette::Window, c); });
    a.font(box, [box](const QColor& c) { setPaletteColor(box, QPalette::WindowText, c); });
  } else if (auto* grid = dynamic_cast<DataGrid*>(w)) {
    a.control(component, w, true);
    const PropertyValue* columns = object.find("Columns");
    if (columns) {
      bool sound = columns->type() == PropertyValue::Type::kList && columns->asList().size() <= 1024;
      std::vector<std::pair<QString, int>> widths;
      for (size_t i = 0; sound && i < columns->asList().size(); ++i) {
        const PropertyObject* c = columns->asList()[i].asObject();
        const PropertyValue* field = c ? c->find("FieldName") : nullptr;
        const PropertyValue* width = c ? c->find("Width") : nullptr;
        sound = c && c->className() == "TColumn" && field && field->type() == PropertyValue::Type::kText &&
                width && width->type() == PropertyValue::Type::kInteger && width->asInteger() >= 0 &&
                width->asInteger() <= kMaxSize;
        if (sound) widths.emplace_back(field->asText(), static_cast<int>(width->asInteger()));
      }
      if (!sound) a.fail("Columns");
      a.step([grid, widths] {
        for (int i = 0; i < grid->columnCount(); ++i)
          for (const auto& [field, width] : widths)
            if (field.compare(grid->columns()[size_t(i)].fieldName, Qt::CaseInsensitive) == 0)
              grid->setColumnWidth(i, width);
      });
    }
    a.font(grid, [grid](const QColor& c) { setPaletteColor(grid, QPalette::Text, c); });
  } else if (auto* note = dynamic_cast<NoteEditor*>(w)) {
    a.control(component, w, true);
    a.lines("Lines", [note](const QStringList& lines) { note->setPlainText(lines.join('\n')); });
    a.font(note, [note](const QColor& c) { setPaletteColor(note, QPalette::Text, c); });
  }
  return a.finish(apply);
}

}  // namespace

pdx::Status applyComponentProperties(const PropertyObject& object, Component& component) {
  return applyOrCheck(object, component, true);
}

pdx::Status checkComponentProperties(const PropertyObject& object, Component& component) {
  return applyOrCheck(object, component, false);
}

pdx::Status readComponent(const QByteArray& stream, Component& component) {
  pdx::Result<PropertyObject> object = readPropertyStream(stream);
  if (!object.ok()) return object.status();
  return applyComponentProperties(*object, component);
}

}  // namespace ui
