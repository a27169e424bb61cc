#include "services/expr/lexer.h"

#include <cctype>
#include <cstdio>

#include "services/text.h"

namespace talvor::expr {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isNameChar(char c) { return isNameStart(c) || isDigit(c); }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Lexer {
 public:
  Lexer(std::string_view text, std::vector<Token>& out) : s_(text), out_(out) {}

  bool run(std::string& error, std::size_t& errorPos) {
    while (true) {
      while (i_ < s_.size() && isBlank(s_[i_])) ++i_;
      if (i_ >= s_.size()) break;
      if (!next()) {
        error = error_;
        errorPos = errorPos_;
        return false;
      }
    }
    out_.push_back(Token{Tok::End, {}, s_.size()});
    return true;
  }

 private:
  bool fail(std::string message, std::size_t pos) {
    error_ = std::move(message);
    errorPos_ = pos;
    return false;
  }
  char at(std::size_t k) const { return k < s_.size() ? s_[k] : '\0'; }
  void emit(Tok kind, std::size_t start, std::string text = {}) {
    out_.push_back(Token{kind, std::move(text), start});
  }

  bool next() {
    const std::size_t start = i_;
    const char c = s_[i_];
    if (c == '0' && (at(i_ + 1) == 'd' || at(i_ + 1) == 'D') && isDigit(at(i_ + 2)))
      return dateDigits(start);
    if (isDigit(c) || (c == '.' && isDigit(at(i_ + 1)))) return number(start);
    if (isNameStart(c)) {
      while (i_ < s_.size() && isNameChar(s_[i_])) ++i_;
      emit(Tok::Name, start, std::string(s_.substr(start, i_ - start)));
      return true;
    }
    if (c == '.') return dotWord(start);
    if (c == '"' || c == '\'' || c == '[') return quoted(start, c == '[' ? ']' : c);
    if (c == '{' && at(i_ + 1) == '^') return bracedDate(start);
    return symbol(start, c);
  }

  bool number(std::size_t start) {
    while (isDigit(at(i_))) ++i_;
    if (at(i_) == '.' && isDigit(at(i_ + 1))) {
      ++i_;
      while (isDigit(at(i_))) ++i_;
    }
    emit(Tok::Number, start, std::string(s_.substr(start, i_ - start)));
    return true;
  }

  bool dateDigits(std::size_t start) {
    i_ += 2;
    const std::size_t digits = i_;
    while (isDigit(at(i_))) ++i_;
    if (i_ - digits != 8) return fail("a date literal needs eight digits", start);
    emit(Tok::DateLit, start, std::string(s_.substr(digits, 8)));
    return true;
  }

  // {^YYYY-MM-DD}: any non-digit separates the parts; {^} is the empty date.
  bool bracedDate(std::size_t start) {
    i_ += 2;
    int parts[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int part = 0;
    while (i_ < s_.size() && s_[i_] != '}') {
      const char c = s_[i_++];
      if (isDigit(c)) {
        if (part > 2 || ++digits[part] > (part == 0 ? 4 : 2)) return fail("bad date literal", start);
        parts[part] = parts[part] * 10 + (c - '0');
      } else if (!isBlank(c) && part <= 2 && digits[part] > 0) {
        ++part;
      }
    }
    if (i_ >= s_.size()) return fail("unterminated date literal", start);
    ++i_;
    const bool empty = digits[0] == 0 && digits[1] == 0 && digits[2] == 0;
    if (!empty && (digits[0] == 0 || digits[1] == 0 || digits[2] == 0))
      return fail("bad date literal", start);
    char text[16];
    std::snprintf(text, sizeof text, "%04u%02u%02u", static_cast<unsigned>(parts[0]) % 10000u,
                  static_cast<unsigned>(parts[1]) % 100u, static_cast<unsigned>(parts[2]) % 100u);
    emit(Tok::DateLit, start, text);
    return true;
  }

  // .T. .F. .Y. .N. .AND. .OR. .NOT.
  bool dotWord(std::size_t start) {
    std::size_t k = i_ + 1;
    while (isNameStart(at(k))) ++k;
    if (at(k) != '.' || k == i_ + 1) return fail("unexpected '.'", start);
    const std::string word = upperAscii(s_.substr(i_ + 1, k - i_ - 1));
    Tok kind;
    if (word == "T" || word == "Y")
      kind = Tok::True;
    else if (word == "F" || word == "N")
      kind = Tok::False;
    else if (word == "AND")
      kind = Tok::And;
    else if (word == "OR")
      kind = Tok::Or;
    else if (word == "NOT")
      kind = Tok::Not;
    else
      return fail("unknown operator ." + word + ".", start);
    i_ = k + 1;
    emit(kind, start);
    return true;
  }

  bool quoted(std::size_t start, char close) {
    const std::size_t end = s_.find(close, i_ + 1);
    if (end == std::string_view::npos) return fail("unterminated text literal", start);
    emit(Tok::String, start, std::string(s_.substr(i_ + 1, end - i_ - 1)));
    i_ = end + 1;
    return true;
  }

  bool symbol(std::size_t start, char c) {
    const char d = at(i_ + 1);
    auto two = [&](Tok kind) {
      i_ += 2;
      emit(kind, start);
      return true;
    };
    auto one = [&](Tok kind) {
      i_ += 1;
      emit(kind, start);
      return true;
    };
    switch (c) {
      case '+': return one(Tok::Plus);
      case '-': return d == '>' ? two(Tok::Arrow) : one(Tok::Minus);
      case '*': return d == '*' ? two(Tok::Power) : one(Tok::Star);
      case '/': return one(Tok::Slash);
      case '%': return one(Tok::Percent);
      case '^': return one(Tok::Power);
      case '=': return d == '=' ? two(Tok::ExactEq) : one(Tok::Eq);
      case '!': return d == '=' ? two(Tok::NotEq) : one(Tok::Not);
      case '#': return one(Tok::NotEq);
      case '<':
        if (d == '>') return two(Tok::NotEq);
        return d == '=' ? two(Tok::LessEq) : one(Tok::Less);
      case '>': return d == '=' ? two(Tok::GreaterEq) : one(Tok::Greater);
      case '$': return one(Tok::Contains);
      case '(': return one(Tok::LParen);
      case ')': return one(Tok::RParen);
      case ',': return one(Tok::Comma);
      case '{': return one(Tok::LBrace);
      case '}': return one(Tok::RBrace);
      case '|': return one(Tok::Bar);
      default: break;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isprint(u)) return fail(std::string("unexpected character '") + c + "'", start);
    return fail("unexpected byte " + std::to_string(u), start);
  }

  std::string_view s_;
  std::vector<Token>& out_;
  std::size_t i_ = 0;
  std::string error_;
  std::size_t errorPos_ = 0;
};

}  // namespace

bool tokenize(std::string_view text, std::vector<Token>& out, std::string& error,
              std::size_t& errorPos) {
  out.clear();
  return Lexer(text, out).run(error, errorPos);
}

}  // namespace talvor::expr
