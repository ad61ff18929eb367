// The masked edit and the edit masks it keys text with.
//
// An edit mask is written "<mask>;<save literals>;<blank>", the last two
// sections optional:
//
//   "!99/99/9999;1; "   a date: optional digits, literals kept, blank shown as ' '
//   "!9999-99-99;1; "   the same, year first
//   "99/99/9999"        literals kept (the default), '_' as the blank (the default)
//   ">aaaa"             up to four letters or digits, upper case
//
// Mask characters:
//   0  digit, required                 9  digit, optional
//   #  digit, '+' or '-', optional
//   L  letter, required                l  letter, optional
//   A  letter or digit, required       a  letter or digit, optional
//   C  any character, required         c  any character, optional
//   >  what follows is upper case      <  what follows is lower case
//   <> what follows keeps its case
//   !  the value drops its leading blanks (anywhere in the mask; not a position)
//   \  the next character is a literal
//   _  a literal blank
// Any other character is a literal that the user skips over.
//
// The second section "0" leaves the literals out of the value; anything else
// keeps them. The third gives the character shown in positions not yet keyed.
// Letters are Unicode letters (é is a letter); digits are 0 to 9 only.
#pragma once

#include <QLineEdit>
#include <QString>
#include <vector>

#include "ui/component.h"

class QValidator;

namespace ui {

class EditMask {
 public:
  enum class Kind { kLiteral, kDigit, kDigitOrSign, kLetter, kLetterOrDigit, kAny };
  enum class Case { kAsTyped, kUpper, kLower };
  struct Position {
    Kind kind = Kind::kLiteral;
    bool required = false;
    QChar literal;  // kLiteral only
    Case letterCase = Case::kAsTyped;
  };

  EditMask() = default;
  // Reads a mask; characters it does not know are literals, so every text is a mask.
  explicit EditMask(const QString& mask);

  const QString& source() const { return source_; }
  // No positions: the edit takes any text.
  bool isEmpty() const { return positions_.empty(); }
  int length() const { return static_cast<int>(positions_.size()); }
  const std::vector<Position>& positions() const { return positions_; }
  bool saveLiterals() const { return saveLiterals_; }
  QChar blank() const { return blank_; }
  bool trimsLeadingBlanks() const { return trimLeading_; }

  // The same mask in QLineEdit::setInputMask's notation ("" for an empty mask).
  QString inputMask() const;

  // Whether `c` may be keyed at position `index` (never at a literal).
  bool accepts(int index, QChar c) const;
  // `c` in the case position `index` asks for.
  QChar converted(int index, QChar c) const;

  // The edit text for a value: one character per position, literals in
  // place and the blank in positions the value does not fill. The value may
  // come with or without its literals; a literal met early (the "/" of
  // "1/5/2026") skips to its place, and characters that fit nowhere are
  // dropped.
  QString layout(const QString& value) const;
  // The value of an edit text: blanks read as spaces, literals kept or not as
  // the mask says, leading spaces dropped under '!', trailing spaces always
  // dropped. An edit text with no position keyed gives "".
  QString valueOf(const QString& editText) const;
  // Every required position keyed.
  bool isComplete(const QString& editText) const;
  // No position keyed.
  bool isBlank(const QString& editText) const;

 private:
  bool keyed(const QString& editText, int index) const;

  QString source_;
  std::vector<Position> positions_;
  bool saveLiterals_ = true;
  bool trimLeading_ = false;
  QChar blank_ = QLatin1Char('_');
};

// A line edit with an optional edit mask. Without a mask it is a plain edit
// (maxLength applies); with one, the user keys into the positions and skips
// the literals, and text() is the value the mask gives.
//
// entered() and exited() tell the window that the focus came in or left for
// another control of the window (not when the window itself lost the focus).
class MaskEdit : public QLineEdit, public Component {
  Q_OBJECT
 public:
  MaskEdit(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& editMask = {});
  ~MaskEdit() override;
  QObject* object() override { return this; }
  QString caption() const override { return text(); }
  void setCaption(const QString& caption) override { setText(caption); }

  QString editMask() const { return mask_.source(); }
  // Changes the mask and keeps the value, laid out again.
  void setEditMask(const QString& mask);
  const EditMask& mask() const { return mask_; }

  // The value (see EditMask::valueOf); the plain text without a mask. These
  // hide QLineEdit's own, which would give the text with its blanks.
  QString text() const;
  void setText(const QString& value);
  // What the edit shows, blanks included.
  QString editText() const { return QLineEdit::displayText(); }
  // Every required position keyed (always true without a mask).
  bool isComplete() const;

 signals:
  void entered();
  void exited();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Called when the focus leaves for another control, before exited(). A
  // subclass that cannot let the user go (a value it could not store) returns
  // false: exited() is then not emitted.
  virtual bool leaving() { return true; }
  // After setEditMask(): puts the new mask on the edit, keeping the value.
  virtual void maskChanged();
  // Puts `mask` on the edit without touching mask_ (a bound edit shows its
  // field's mask only while it has the focus). Nothing happens when that mask
  // is already on.
  void applyMask(const EditMask& mask);
  const EditMask& appliedMask() const { return applied_; }

 private:
  EditMask mask_;
  EditMask applied_;
  QValidator* validator_ = nullptr;
};

}  // namespace ui
