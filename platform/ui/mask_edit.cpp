#include "ui/mask_edit.h"

#include <QFocusEvent>
#include <QValidator>

namespace ui {

namespace {

// The sections of a mask: text up to the first unescaped ';', then the
// save-literals flag, then the blank character.
struct Sections {
  QString body;
  QString save;
  QString blank;
  int count = 1;
};

Sections split(const QString& mask) {
  Sections s;
  QString* into = &s.body;
  for (int i = 0; i < mask.size(); ++i) {
    const QChar c = mask[i];
    if (c == QLatin1Char('\\') && into == &s.body && i + 1 < mask.size()) {
      *into += c;
      *into += mask[++i];
      continue;
    }
    if (c == QLatin1Char(';') && s.count < 3) {
      ++s.count;
      into = s.count == 2 ? &s.save : &s.blank;
      continue;
    }
    *into += c;
  }
  return s;
}

bool isAsciiDigit(QChar c) {
  return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A real exit: the focus went to another control, not to another window.
bool leftForAnotherControl(const QFocusEvent* event) {
  return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

// Narrows what QLineEdit's own mask lets through to what EditMask accepts
// (Unicode letters, ASCII digits), and applies the case of each position.
class MaskValidator : public QValidator {
 public:
  MaskValidator(const EditMask& mask, QObject* parent) : QValidator(parent), mask_(mask) {}
  State validate(QString& input, int&) const override {
    const int n = std::min<int>(static_cast<int>(input.size()), mask_.length());
    for (int i = 0; i < n; ++i) {
      const EditMask::Position& p = mask_.positions()[size_t(i)];
      if (p.kind == EditMask::Kind::kLiteral) continue;
      const QChar c = input[i];
      if (c == mask_.blank()) continue;
      if (!mask_.accepts(i, c)) return Invalid;
      input[i] = mask_.converted(i, c);
    }
    return Acceptable;
  }

 private:
  const EditMask& mask_;
};

}  // namespace

// ---------------------------------------------------------------- EditMask

EditMask::EditMask(const QString& mask) : source_(mask) {
  const Sections s = split(mask);
  if (s.count >= 2) saveLiterals_ = s.save.trimmed() != QLatin1String("0");
  if (s.count >= 3 && !s.blank.isEmpty()) blank_ = s.blank[0];

  Case letterCase = Case::kAsTyped;
  const QString& b = s.body;
  for (int i = 0; i < b.size(); ++i) {
    const QChar c = b[i];
    Position p;
    p.letterCase = letterCase;
    switch (c.unicode()) {
      case '!':
        trimLeading_ = true;
        continue;
      case '>':
        letterCase = Case::kUpper;
        continue;
      case '<':
        if (i + 1 < b.size() && b[i + 1] == QLatin1Char('>')) {
          letterCase = Case::kAsTyped;
          ++i;
        } else {
          letterCase = Case::kLower;
        }
        continue;
      case '\\':
        if (i + 1 < b.size()) {
          p.literal = b[++i];
        } else {
          p.literal = c;  // a trailing backslash stands for itself
        }
        break;
      case '0':
        p.kind = Kind::kDigit;
        p.required = true;
        break;
      case '9':
        p.kind = Kind::kDigit;
        break;
      case '#':
        p.kind = Kind::kDigitOrSign;
        break;
      case 'L':
        p.kind = Kind::kLetter;
        p.required = true;
        break;
      case 'l':
        p.kind = Kind::kLetter;
        break;
      case 'A':
        p.kind = Kind::kLetterOrDigit;
        p.required = true;
        break;
      case 'a':
        p.kind = Kind::kLetterOrDigit;
        break;
      case 'C':
        p.kind = Kind::kAny;
        p.required = true;
        break;
      case 'c':
        p.kind = Kind::kAny;
        break;
      case '_':
        p.literal = QLatin1Char(' ');
        break;
      default:
        p.literal = c;
        break;
    }
    positions_.push_back(p);
  }
}

QString EditMask::inputMask() const {
  if (positions_.empty()) return {};
  QString out;
  Case current = Case::kAsTyped;
  for (const Position& p : positions_) {
    if (p.kind != Kind::kLiteral && p.letterCase != current) {
      current = p.letterCase;
      out += current == Case::kUpper ? QLatin1Char('>') : current == Case::kLower ? QLatin1Char('<') : QLatin1Char('!');
    }
    switch (p.kind) {
      case Kind::kLiteral:
        out += QLatin1Char('\\');
        out += p.literal;
        break;
      // QLineEdit's '9' is a required digit and '0' an optional one.
      case Kind::kDigit:
        out += p.required ? QLatin1Char('9') : QLatin1Char('0');
        break;
      case Kind::kDigitOrSign:
        out += QLatin1Char('#');
        break;
      // Its letter classes are narrower than Unicode letters: let any
      // character through and leave the class to MaskValidator.
      case Kind::kLetter:
      case Kind::kLetterOrDigit:
      case Kind::kAny:
        out += p.required ? QLatin1Char('X') : QLatin1Char('x');
        break;
    }
  }
  out += QLatin1Char(';');
  out += blank_;
  return out;
}

bool EditMask::accepts(int index, QChar c) const {
  if (index < 0 || index >= length()) return false;
  const Position& p = positions_[size_t(index)];
  switch (p.kind) {
    case Kind::kLiteral:
      return false;
    case Kind::kDigit:
      return isAsciiDigit(c);
    case Kind::kDigitOrSign:
      return isAsciiDigit(c) || c == QLatin1Char('+') || c == QLatin1Char('-');
    case Kind::kLetter:
      return c.isLetter();
    case Kind::kLetterOrDigit:
      return c.isLetter() || isAsciiDigit(c);
    case Kind::kAny:
      return c.isPrint();
  }
  return false;
}

QChar EditMask::converted(int index, QChar c) const {
  if (index < 0 || index >= length()) return c;
  switch (positions_[size_t(index)].letterCase) {
    case Case::kUpper:
      return c.toUpper();
    case Case::kLower:
      return c.toLower();
    case Case::kAsTyped:
      return c;
  }
  return c;
}

QString EditMask::layout(const QString& value) const {
  if (positions_.empty()) return value;
  QString out;
  for (const Position& p : positions_) out += p.kind == Kind::kLiteral ? p.literal : blank_;
  const int n = length();
  int at = 0;
  for (int i = 0; at < n && i < value.size();) {
    const QChar c = value[i];
    const Position& p = positions_[size_t(at)];
    if (p.kind == Kind::kLiteral) {
      if (c == p.literal) ++i;
      ++at;
      continue;
    }
    if (c == QLatin1Char(' ') || c == blank_) {
      ++at;
      ++i;
      continue;
    }
    if (accepts(at, c)) {
      out[at] = converted(at, c);
      ++at;
      ++i;
      continue;
    }
    // A literal typed early: the positions before it stay blank.
    int q = at + 1;
    while (q < n && !(positions_[size_t(q)].kind == Kind::kLiteral && positions_[size_t(q)].literal == c)) ++q;
    if (q < n) at = q + 1;
    ++i;
  }
  return out;
}

bool EditMask::keyed(const QString& editText, int index) const {
  if (index >= editText.size()) return false;
  const QChar c = editText[index];
  return c != blank_ && c != QLatin1Char(' ');
}

QString EditMask::valueOf(const QString& editText) const {
  if (positions_.empty()) return editText;
  if (isBlank(editText)) return {};
  QString out;
  for (int i = 0; i < length(); ++i) {
    const Position& p = positions_[size_t(i)];
    if (p.kind == Kind::kLiteral) {
      if (saveLiterals_) out += p.literal;
      continue;
    }
    out += keyed(editText, i) ? editText[i] : QLatin1Char(' ');
  }
  if (trimLeading_) {
    int lead = 0;
    while (lead < out.size() && out[lead] == QLatin1Char(' ')) ++lead;
    out.remove(0, lead);
  }
  while (!out.isEmpty() && out.back() == QLatin1Char(' ')) out.chop(1);
  return out;
}

bool EditMask::isComplete(const QString& editText) const {
  for (int i = 0; i < length(); ++i)
    if (positions_[size_t(i)].required && !keyed(editText, i)) return false;
  return true;
}

bool EditMask::isBlank(const QString& editText) const {
  for (int i = 0; i < length(); ++i)
    if (positions_[size_t(i)].kind != Kind::kLiteral && keyed(editText, i)) return false;
  return true;
}

// ---------------------------------------------------------------- MaskEdit

MaskEdit::MaskEdit(ComponentOwner* owner, QWidget* parent, const QString& name, const QString& editMask)
    : QLineEdit(parent) {
  attach(owner, name);
  setEditMask(editMask);
}

MaskEdit::~MaskEdit() = default;

void MaskEdit::setEditMask(const QString& mask) {
  mask_ = EditMask(mask);
  maskChanged();
}

void MaskEdit::maskChanged() {
  const QString value = text();
  applyMask(mask_);
  setText(value);
}

void MaskEdit::applyMask(const EditMask& mask) {
  if (mask.source() == applied_.source()) return;
  // The validator reads applied_, so it goes before applied_ changes.
  setValidator(nullptr);
  delete validator_;
  validator_ = nullptr;
  applied_ = mask;
  QLineEdit::setInputMask(applied_.inputMask());
  if (!applied_.isEmpty()) {
    validator_ = new MaskValidator(applied_, this);
    setValidator(validator_);
  } else {
    setMaxLength(32767);
  }
}

QString MaskEdit::text() const {
  if (applied_.isEmpty()) return QLineEdit::text();
  return applied_.valueOf(QLineEdit::displayText());
}

void MaskEdit::setText(const QString& value) {
  if (applied_.isEmpty()) {
    QLineEdit::setText(value);
    return;
  }
  QLineEdit::setText(applied_.layout(value));
}

bool MaskEdit::isComplete() const {
  return applied_.isComplete(QLineEdit::displayText());
}

void MaskEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (leftForAnotherControl(event)) emit entered();
}

void MaskEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (!leftForAnotherControl(event)) return;
  if (leaving()) emit exited();
}

}  // namespace ui
