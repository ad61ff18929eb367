// Component streaming: the persistent properties of the kit's controls as a
// property stream (ui/property_stream.h), and back.
//
// The classes that stream, with the class name written and what they keep
// besides Name, Left, Top, Width, Height, Visible, Tag and Hint:
//
//   TWallpaper          "TWallpaper"          Caption, Color, BevelInner, BevelOuter,
//                                             BevelWidth, BorderWidth, BorderStyle,
//                                             Wallpaper (the picture's file bytes)
//   TTransparentButton  "TTransparentButton"  Caption, AutoGray, BorderWidth, Down,
//                                             Enabled, Font, ParentFont, FrameStyle,
//                                             Glyph (PNG), NumGlyphs, ShowPressed,
//                                             Spacing, TextAlign, Transparent,
//                                             WordWrap, Movable
//   GroupBox            "TGroupBox"           Caption, Color, Font
//   DataGrid            "TDBGrid"             Columns (FieldName, Title, Width), Font
//   NoteEditor          "TRichEdit"           Lines, Font
//
// Fonts are nested objects "TFont" (Name, Size in points, Bold, Italic,
// Underline, StrikeOut, Color); colours are integers 0xRRGGBB; enumerations
// their position in the declaration.
//
// A TWallpaper keeps its place when read: its parent lays it out. A grid keeps
// its designed columns: the widths read apply to its columns of the same
// field, in its own order.
//
// Reading trusts nothing: the class must be the component's, the name its
// name, and every known property must have its type and lie in its range
// (sizes 0 to 32767, places -32768 to 32767, texts of at most 4,096
// characters, pictures that decode). Otherwise nothing is applied and the
// result is pdx::code::kInvalidValue naming the property. Unknown properties
// are skipped.
#pragma once

#include <QByteArray>
#include <QString>

#include "pdx/status.h"
#include "ui/component.h"
#include "ui/property_stream.h"

namespace ui {

// The class name a component streams as, or "" for one that does not stream.
QString streamClassName(Component& component);

// A name a component may carry: a letter or "_", then letters, digits and
// "_" (ASCII), 63 characters at most.
bool isValidComponentName(const QString& name);

// The component's properties; an object with no class name for a component
// that does not stream.
PropertyObject componentProperties(Component& component);
// The same as a stream.
QByteArray writeComponent(Component& component);

// Applies `object` to `component` (see above for what is refused).
pdx::Status applyComponentProperties(const PropertyObject& object, Component& component);
// Whether applying would succeed; changes nothing.
pdx::Status checkComponentProperties(const PropertyObject& object, Component& component);
// Reads a stream into `component`: kFileCorrupt for a damaged stream.
pdx::Status readComponent(const QByteArray& stream, Component& component);

}  // namespace ui
