// One settings file in memory, line by line.
//
// The format, as an administrator writes it:
//
//   ; comment (also "#")
//   [Tallimoor]
//   pgmdrive=/opt
//   customer = Société générale          blanks around name and value are dropped
//   Form=520,20,36,750,N                 the rest of the line is the value, "=" and all
//   banner="  two blanks either side  "  double quotes keep blanks; inside them
//                                        \" \\ \n \r \t stand for " \ and controls
//
// The file is UTF-8. Section and value names compare without regard to case;
// the first of several equal names counts. A line that is none of the above
// is kept and ignored.
//
// A rewrite changes only the line of the value written (or adds one at the
// end of its section, or a new section at the end of the file): comments,
// order, spelling and every other byte stay as they were.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace os {

class IniDocument {
 public:
  static IniDocument parse(const QByteArray& bytes);

  std::optional<QString> value(const QString& section, const QString& name) const;
  // Changes the value, or adds it. The names must be valid (isValidSettingsName).
  void setValue(const QString& section, const QString& name, const QString& value);

  QByteArray serialize() const;

  // How setValue() writes `value` after "name=": as it stands when it reads
  // back so, otherwise quoted.
  static QByteArray encodeValue(const QString& value);

 private:
  enum class Kind { kOther, kSection, kValue };
  struct Line {
    QByteArray raw;  // as read, without the line break
    QByteArray end;  // the line break after it: "\n", "\r\n", or none at the end of the file
    Kind kind = Kind::kOther;
    QString name;   // of the section or the value
    QString value;  // decoded, for values
  };

  // Index of the line holding `name` in `section`, or -1.
  qsizetype find(const QString& section, const QString& name) const;

  // Puts `line` at `index`, ending it with the break of the line before it
  // (which gets one first when it was the last line of the file).
  void insertLine(qsizetype index, Line line);

  QList<Line> lines_;
  QByteArray lineBreak_ = "\n";  // for new lines: the file's first break
};

}  // namespace os
