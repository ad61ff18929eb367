// Splits query text into tokens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pdx/status.h"

namespace sql::detail {

enum class TokenKind {
  kEnd,               // after the last token
  kWord,              // a name or keyword: letters, digits, _ $ # and non-ASCII characters
  kQuotedName,        // "name", with "" standing for one "
  kNumber,            // digits with at most one '.', no sign: 12  12.50  .5  7.
  kText,              // 'text', with '' standing for one '
  kParameter,         // :name (text holds the name without the colon)
  kStar, kComma, kSemicolon, kLeftParen, kRightParen, kDot, kPlus, kMinus,
  kEqual, kNotEqual, kLess, kGreater, kLessEqual, kGreaterEqual,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;   // the word, name, number or text as read (quotes undone)
  size_t offset = 0;  // of the token's first byte in the query text
};

// The tokens of `text`, ending with a kEnd token. kSyntaxError for a NUL
// byte, a character that starts no token, an unclosed quote, a ':' without a
// name, or invalid UTF-8; kTooComplex for text longer than kMaxQueryLength.
pdx::Result<std::vector<Token>> tokenize(std::string_view text);

// "line L, column C" of a byte offset in `text`; columns count characters.
std::string describePosition(std::string_view text, size_t offset);

// An error about the query text: "<kind> at line L, column C: <reason>",
// where the kind is said by the code ("syntax error", "unknown field", ...).
pdx::Status queryError(uint16_t code, std::string_view text, size_t offset, const std::string& reason);

// How a token reads in a message: "end of the query", "\"FROM\"", "'abc'".
std::string describeToken(const Token& token);

}  // namespace sql::detail
