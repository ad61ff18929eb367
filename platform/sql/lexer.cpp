#include "lexer.h"

#include "sql/query.h"
#include "utf8.h"

namespace sql::detail {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of the name character at s[i] (0 when there is none). Names take
// letters, digits, '_', '$', '#' and any non-ASCII character, as Paradox
// field names do ("Qté", "Cust#").
size_t nameCharLength(std::string_view s, size_t i, bool first) {
  const char c = s[i];
  if (isAsciiLetter(c) || c == '_' || (!first && (isDigit(c) || c == '$' || c == '#'))) return 1;
  if (static_cast<unsigned char>(c) >= 0x80) return utf8SequenceLength(s, i);
  return 0;
}

const char* kindWord(uint16_t code) {
  switch (code) {
    case code::kSyntaxError: return "syntax error";
    case code::kUnknownField: return "unknown field";
    case code::kTypeMismatch: return "type mismatch";
    case code::kUnboundParameter: return "unbound parameter";
    case code::kUnknownParameter: return "unknown parameter";
    case code::kNotAllowed: return "statement not allowed";
    case code::kTooComplex: return "query too complex";
    case pdx::code::kTableNotFound: return "unknown table";
    default: return "error";
  }
}

}  // namespace

std::string describePosition(std::string_view text, size_t offset) {
  size_t line = 1, column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++line;
      column = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++column;  // continuation bytes belong to the character before them
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

pdx::Status queryError(uint16_t code, std::string_view text, size_t offset, const std::string& reason) {
  return pdx::Status(code, std::string(kindWord(code)) + " at " + describePosition(text, offset) + ": " + reason);
}

std::string describeToken(const Token& token) {
  switch (token.kind) {
    case TokenKind::kEnd: return "the end of the query";
    case TokenKind::kText: return "'" + printable(token.text) + "'";
    case TokenKind::kParameter: return "\":" + printable(token.text) + "\"";
    default: return "\"" + printable(token.text) + "\"";
  }
}

pdx::Result<std::vector<Token>> tokenize(std::string_view text) {
  if (text.size() > kMaxQueryLength)
    return pdx::Status(code::kTooComplex, "query too complex: the text is " + std::to_string(text.size()) +
                                              " bytes long; at most " + std::to_string(kMaxQueryLength) + " are read");
  std::vector<Token> tokens;
  const auto fail = [&](size_t at, const std::string& reason) { return queryError(code::kSyntaxError, text, at, reason); };
  size_t i = 0;
  while (true) {
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i == text.size()) break;
    const size_t start = i;
    const char c = text[i];
    Token t;
    t.offset = start;
    if (c == '\0') return fail(start, "the query holds a NUL character");

    if (nameCharLength(text, i, true) > 0) {
      size_t n;
      while (i < text.size() && (n = nameCharLength(text, i, i == start)) > 0) i += n;
      t.kind = TokenKind::kWord;
      t.text.assign(text.substr(start, i - start));
    } else if (isDigit(c) || (c == '.' && i + 1 < text.size() && isDigit(text[i + 1]))) {
      // A number stops at the first character that cannot continue it, so
      // "3AND" is the number 3 followed by AND.
      bool point = false;
      while (i < text.size() && (isDigit(text[i]) || (text[i] == '.' && !point))) {
        point = point || text[i] == '.';
        ++i;
      }
      t.kind = TokenKind::kNumber;
      t.text.assign(text.substr(start, i - start));
    } else if (c == '\'' || c == '"') {
      // Quoted text or name; a doubled quote stands for one.
      const char quote = c;
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == quote) {
          if (i + 1 < text.size() && text[i + 1] == quote) {
            t.text += quote;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        if (text[i] == '\0') return fail(i, "the query holds a NUL character");
        t.text += text[i++];
      }
      if (!closed)
        return fail(start, quote == '\'' ? "the text starting here has no closing quote (')"
                                         : "the name starting here has no closing quote (\")");
      if (!isValidUtf8(t.text))
        return fail(start, quote == '\'' ? "the quoted text is not valid UTF-8" : "the quoted name is not valid UTF-8");
      if (quote == '"' && t.text.empty()) return fail(start, "an empty name (\"\")");
      t.kind = quote == '\'' ? TokenKind::kText : TokenKind::kQuotedName;
    } else if (c == ':') {
      ++i;
      if (i >= text.size() || nameCharLength(text, i, true) == 0)
        return fail(start, "':' must be followed directly by a parameter name");
      const size_t nameStart = i;
      size_t n;
      while (i < text.size() && (n = nameCharLength(text, i, i == nameStart)) > 0) i += n;
      t.kind = TokenKind::kParameter;
      t.text.assign(text.substr(nameStart, i - nameStart));
    } else {
      const char next = i + 1 < text.size() ? text[i + 1] : '\0';
      size_t len = 1;
      switch (c) {
        case '*': t.kind = TokenKind::kStar; break;
        case ',': t.kind = TokenKind::kComma; break;
        case ';': t.kind = TokenKind::kSemicolon; break;
        case '(': t.kind = TokenKind::kLeftParen; break;
        case ')': t.kind = TokenKind::kRightParen; break;
        case '.': t.kind = TokenKind::kDot; break;
        case '+': t.kind = TokenKind::kPlus; break;
        case '-': t.kind = TokenKind::kMinus; break;
        case '=': t.kind = TokenKind::kEqual; break;
        case '<':
          if (next == '>') {
            t.kind = TokenKind::kNotEqual;
            len = 2;
          } else if (next == '=') {
            t.kind = TokenKind::kLessEqual;
            len = 2;
          } else {
            t.kind = TokenKind::kLess;
          }
          break;
        case '>':
          if (next == '=') {
            t.kind = TokenKind::kGreaterEqual;
            len = 2;
          } else {
            t.kind = TokenKind::kGreater;
          }
          break;
        case '!':
          if (next == '=') {
            t.kind = TokenKind::kNotEqual;
            len = 2;
            break;
          }
          [[fallthrough]];
        default: {
          const size_t n = utf8SequenceLength(text, i);
          if (n == 0) return fail(start, "the query text is not valid UTF-8 here");
          return fail(start, "unexpected character '" + printable(text.substr(i, n)) + "'");
        }
      }
      i += len;
      t.text.assign(text.substr(start, len));
    }
    tokens.push_back(std::move(t));
  }
  Token end;
  end.kind = TokenKind::kEnd;
  end.offset = text.size();
  tokens.push_back(std::move(end));
  return tokens;
}

}  // namespace sql::detail
