#include "ini_document.h"

#include <algorithm>

namespace os {

namespace {

bool sameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The text between double quotes, with its escapes undone.
QString unquote(const QString& quoted) {
  QString out;
  out.reserve(quoted.size());
  for (qsizetype i = 0; i < quoted.size(); ++i) {
    const QChar c = quoted[i];
    if (c != QLatin1Char('\\') || i + 1 == quoted.size()) {
      out += c;
      continue;
    }
    const QChar next = quoted[++i];
    switch (next.unicode()) {
      case '"':
        out += QLatin1Char('"');
        break;
      case '\\':
        out += QLatin1Char('\\');
        break;
      case 'n':
        out += QLatin1Char('\n');
        break;
      case 'r':
        out += QLatin1Char('\r');
        break;
      case 't':
        out += QLatin1Char('\t');
        break;
      default:  // not an escape: both characters stand
        out += c;
        out += next;
    }
  }
  return out;
}

QString decodeValue(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('"')) && trimmed.endsWith(QLatin1Char('"'))) {
    return unquote(trimmed.mid(1, trimmed.size() - 2));
  }
  return trimmed;
}

}  // namespace

IniDocument IniDocument::parse(const QByteArray& bytes) {
  IniDocument document;
  qsizetype start = 0;
  while (start < bytes.size()) {
    Line line;
    const qsizetype newline = bytes.indexOf('\n', start);
    const qsizetype stop = newline < 0 ? bytes.size() : newline;
    line.raw = bytes.mid(start, stop - start);
    if (newline >= 0) {
      line.end = "\n";
      if (line.raw.endsWith('\r')) {
        line.raw.chop(1);
        line.end = "\r\n";
      }
      if (document.lines_.isEmpty()) document.lineBreak_ = line.end;
    }
    start = stop + 1;

    const QString text = QString::fromUtf8(line.raw).trimmed();
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']'))) {
      line.kind = Kind::kSection;
      line.name = text.mid(1, text.size() - 2).trimmed();
    } else if (!text.startsWith(QLatin1Char(';')) && !text.startsWith(QLatin1Char('#'))) {
      const qsizetype equals = text.indexOf(QLatin1Char('='));
      if (equals > 0) {
        line.kind = Kind::kValue;
        line.name = text.left(equals).trimmed();
        line.value = decodeValue(text.mid(equals + 1));
      }
    }
    document.lines_.append(std::move(line));
  }
  return document;
}

void IniDocument::insertLine(qsizetype index, Line line) {
  line.end = lineBreak_;
  if (index > 0) {
    QByteArray& before = lines_[index - 1].end;
    if (before.isEmpty()) before = lineBreak_;
    line.end = before;  // the break of its neighbour, in a file that mixes them
  }
  lines_.insert(index, std::move(line));
}

qsizetype IniDocument::find(const QString& section, const QString& name) const {
  bool inSection = false;
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::kSection) {
      inSection = sameName(line.name, section);
    } else if (inSection && line.kind == Kind::kValue && sameName(line.name, name)) {
      return i;
    }
  }
  return -1;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& name) const {
  const qsizetype at = find(section, name);
  if (at < 0) return std::nullopt;
  return lines_[at].value;
}

QByteArray IniDocument::encodeValue(const QString& value) {
  const bool plain =
      value == value.trimmed() && !value.startsWith(QLatin1Char('"')) &&
      std::none_of(value.begin(), value.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
  if (plain) return value.toUtf8();
  QString quoted = QStringLiteral("\"");
  for (const QChar c : value) {
    switch (c.unicode()) {
      case '"':
        quoted += QStringLiteral("\\\"");
        break;
      case '\\':
        quoted += QStringLiteral("\\\\");
        break;
      case '\n':
        quoted += QStringLiteral("\\n");
        break;
      case '\r':
        quoted += QStringLiteral("\\r");
        break;
      case '\t':
        quoted += QStringLiteral("\\t");
        break;
      default:
        quoted += c;
    }
  }
  quoted += QLatin1Char('"');
  return quoted.toUtf8();
}

void IniDocument::setValue(const QString& section, const QString& name, const QString& value) {
  const qsizetype at = find(section, name);
  if (at >= 0) {
    // Keep the name as the file spells it.
    Line& line = lines_[at];
    line.raw = line.name.toUtf8() + '=' + encodeValue(value);
    line.value = value;
    return;
  }
  Line added;
  added.kind = Kind::kValue;
  added.name = name;
  added.value = value;
  added.raw = name.toUtf8() + '=' + encodeValue(value);

  // After the last value of the first section of that name.
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != Kind::kSection || !sameName(lines_[i].name, section)) continue;
    qsizetype insertAt = i + 1;
    for (qsizetype j = i + 1; j < lines_.size() && lines_[j].kind != Kind::kSection; ++j) {
      if (lines_[j].kind == Kind::kValue) insertAt = j + 1;
    }
    insertLine(insertAt, std::move(added));
    return;
  }
  if (!lines_.isEmpty() && !lines_.last().raw.trimmed().isEmpty())
    insertLine(lines_.size(), Line{});  // a blank line between sections
  Line header;
  header.kind = Kind::kSection;
  header.name = section;
  header.raw = '[' + section.toUtf8() + ']';
  insertLine(lines_.size(), std::move(header));
  insertLine(lines_.size(), std::move(added));
}

QByteArray IniDocument::serialize() const {
  QByteArray out;
  for (const Line& line : lines_) out += line.raw + line.end;
  return out;
}

}  // namespace os
