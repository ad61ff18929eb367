#include "translation_text.h"

#include <cctype>
#include <set>

namespace admin {

namespace {

constexpr size_t kFormNameLength = 20;
constexpr size_t kControlNameLength = 35;
constexpr size_t kCaptionLength = 55;
constexpr size_t kHintLength = 25;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Characters of UTF-8 text (continuation bytes not counted).
size_t characters(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool isIdentifier(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!std::isalnum(c) && c != '_') return false;
  return true;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

class Parser {
 public:
  explicit Parser(std::string_view fileName) : fileName_(fileName) {}

  pdx::Result<std::vector<TranslationRow>> run(std::string_view text) {
    while (!text.empty()) {
      ++lineNo_;
      const size_t nl = text.find('\n');
      std::string_view line = text.substr(0, nl);
      text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      PDX_RETURN_IF_ERROR(parseLine(line));
    }
    return std::move(rows_);
  }

 private:
  pdx::Status fault(const std::string& what) const {
    return pdx::Status(pdx::code::kInvalidValue, fileName_ + ":" + std::to_string(lineNo_) + ": " + what);
  }

  pdx::Status parseLine(std::string_view raw) {
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#') return pdx::Status::Ok();
    if (line.front() == '[') return parseHeader(line);
    if (rows_.empty()) return fault("text before the first [Form.Control] line");
    TranslationRow& row = rows_.back();
    if (line.front() == '|') {
      std::string value;
      PDX_RETURN_IF_ERROR(quoted(line, value));
      row.lines.push_back(std::move(value));
      return pdx::Status::Ok();
    }
    const size_t space = line.find_first_of(" \t");
    const std::string_view word = line.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view() : trim(line.substr(space));
    if (word == "caption" || word == "hint") {
      std::string value;
      PDX_RETURN_IF_ERROR(quoted(rest, value));
      const bool caption = word == "caption";
      if (characters(value) > (caption ? kCaptionLength : kHintLength))
        return fault(std::string(word) + " longer than " + std::to_string(caption ? kCaptionLength : kHintLength) +
                     " characters");
      // Captions and hints are alpha fields, which keep no trailing blanks:
      // a text that needs them belongs in the row's lines.
      if (!value.empty() && value.back() == ' ')
        return fault(std::string(word) + " ends with a blank, which the table cannot keep");
      (caption ? row.caption : row.hint) = std::move(value);
      return pdx::Status::Ok();
    }
    return fault("expected caption |...|, hint |...| or |...|, found \"" + std::string(line) + "\"");
  }

  // A text written between the first and the last '|' of `s`.
  pdx::Status quoted(std::string_view s, std::string& out) {
    const size_t open = s.find('|'), close = s.rfind('|');
    if (open != 0 || close == open) return fault("a text is written between two '|'");
    if (!trim(s.substr(close + 1)).empty()) return fault("text after the closing '|'");
    out.assign(s.substr(open + 1, close - open - 1));
    for (unsigned char c : out)
      if (c < 0x20 || c == 0x7F) return fault("texts hold no tabs or control characters");
    return pdx::Status::Ok();
  }

  pdx::Status parseHeader(std::string_view line) {
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return fault("missing ']'");
    const std::string_view names = line.substr(1, close - 1);
    TranslationRow row;
    const size_t dot = names.find('.');
    row.formName = std::string(trim(names.substr(0, dot)));
    row.controlName = dot == std::string_view::npos ? row.formName : std::string(trim(names.substr(dot + 1)));
    if (!isIdentifier(row.formName) || !isIdentifier(row.controlName))
      return fault("form and control names are letters, digits and '_'");
    if (row.formName.size() > kFormNameLength) return fault("form name longer than 20 characters");
    if (row.controlName.size() > kControlNameLength) return fault("control name longer than 35 characters");
    row.isForm = lower(row.formName) == lower(row.controlName);

    std::string_view flags = line.substr(close + 1);
    while (!(flags = trim(flags)).empty()) {
      const size_t end = flags.find_first_of(" \t");
      const std::string_view flag = flags.substr(0, end);
      flags.remove_prefix(end == std::string_view::npos ? flags.size() : end);
      if (flag == "memo") row.isMemo = true;
      else if (flag == "grid") row.isDbGrid = true;
      else if (flag == "radiogroup") row.isRadioGroup = true;
      else if (flag == "combobox") row.isCombobox = true;
      else if (flag == "checklist") row.isCheckList = true;
      else return fault("unknown flag \"" + std::string(flag) + "\" (memo, grid, radiogroup, combobox, checklist)");
    }
    if (!seen_.insert(lower(row.formName) + "." + lower(row.controlName)).second)
      return fault("[" + row.formName + "." + row.controlName + "] is given twice");
    rows_.push_back(std::move(row));
    return pdx::Status::Ok();
  }

  std::string fileName_;
  int lineNo_ = 0;
  std::vector<TranslationRow> rows_;
  std::set<std::string> seen_;
};

}  // namespace

std::string TranslationRow::linesMemo() const {
  std::string memo;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) memo += "\r\n";
    memo += lines[i];
  }
  return memo;
}

pdx::Status parseSourceFileName(std::string_view fileName, std::string& deliverable, std::string& lang) {
  auto bad = [&] {
    return pdx::Status(pdx::code::kInvalidName,
                       "\"" + std::string(fileName) + "\" is not named <Deliverable>.<lang>.txt, e.g. vd87.fr.txt");
  };
  constexpr std::string_view kSuffix = ".txt";
  if (fileName.size() <= kSuffix.size() || fileName.substr(fileName.size() - kSuffix.size()) != kSuffix) return bad();
  const std::string_view stem = fileName.substr(0, fileName.size() - kSuffix.size());
  const size_t dot = stem.rfind('.');
  if (dot == std::string_view::npos) return bad();
  const std::string_view d = stem.substr(0, dot), l = stem.substr(dot + 1);
  if (!isIdentifier(d) || l.size() != 2 || !std::islower(static_cast<unsigned char>(l[0])) ||
      !std::islower(static_cast<unsigned char>(l[1])))
    return bad();
  deliverable.assign(d);
  lang.assign(l);
  return pdx::Status::Ok();
}

pdx::Result<std::string> tableNameOf(const TranslationSource& source) {
  std::string deliverable, lang;
  PDX_RETURN_IF_ERROR(parseSourceFileName(source.fileName, deliverable, lang));
  return deliverable + lang;
}

pdx::Result<std::vector<TranslationRow>> parseTranslationText(std::string_view text, std::string_view fileName) {
  return Parser(fileName).run(text);
}

}  // namespace admin
