// Splits an expression text into tokens. Internal to the evaluator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace talvor::expr {

enum class Tok {
  End,
  Name,        // identifier: letters, digits, underscore; not starting with a digit
  Number,      // digits, optionally a point and digits (".5" too)
  String,      // '...', "..." or [...]; `text` holds the contents
  DateLit,     // 0dYYYYMMDD or {^YYYY-MM-DD}; `text` holds the eight digits
  True,        // .T. .Y.
  False,       // .F. .N.
  And,         // .AND.
  Or,          // .OR.
  Not,         // .NOT. or !
  Plus, Minus, Star, Slash, Percent, Power,  // + - * / % ** ^
  Eq, ExactEq, NotEq, Less, LessEq, Greater, GreaterEq, Contains,  // = == != <> # < <= > >= $
  LParen, RParen, Comma, Arrow,  // ( ) , ->
  LBrace, RBrace, Bar,           // { } |  (code block literal {|| ... })
};

struct Token {
  Tok kind = Tok::End;
  std::string text;    // name, number digits, string contents or date digits
  std::size_t pos = 0; // 0-based offset of the token's first byte
};

// The tokens of `text`, ending with Tok::End. On a lexical fault returns false and
// sets `error` and `errorPos` (0-based).
bool tokenize(std::string_view text, std::vector<Token>& out, std::string& error,
              std::size_t& errorPos);

}  // namespace talvor::expr
