// Recursive-descent parser: tokens to the evaluator's tree.
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "services/dates.h"
#include "services/expr/expression.h"
#include "services/expr/function_table.h"
#include "services/expr/lexer.h"
#include "services/expr/nodes.h"
#include "services/text.h"

namespace talvor {

namespace expr {
namespace {

struct ParseFault {
  std::string message;
  std::size_t pos;
};

const char* spelling(Tok kind) {
  switch (kind) {
    case Tok::End: return "end of expression";
    case Tok::Name: return "name";
    case Tok::Number: return "number";
    case Tok::String: return "text literal";
    case Tok::DateLit: return "date literal";
    case Tok::True: return ".T.";
    case Tok::False: return ".F.";
    case Tok::And: return ".AND.";
    case Tok::Or: return ".OR.";
    case Tok::Not: return ".NOT.";
    case Tok::Plus: return "'+'";
    case Tok::Minus: return "'-'";
    case Tok::Star: return "'*'";
    case Tok::Slash: return "'/'";
    case Tok::Percent: return "'%'";
    case Tok::Power: return "'**'";
    case Tok::Eq: return "'='";
    case Tok::ExactEq: return "'=='";
    case Tok::NotEq: return "'<>'";
    case Tok::Less: return "'<'";
    case Tok::LessEq: return "'<='";
    case Tok::Greater: return "'>'";
    case Tok::GreaterEq: return "'>='";
    case Tok::Contains: return "'$'";
    case Tok::LParen: return "'('";
    case Tok::RParen: return "')'";
    case Tok::Comma: return "','";
    case Tok::Arrow: return "'->'";
    case Tok::LBrace: return "'{'";
    case Tok::RBrace: return "'}'";
    case Tok::Bar: return "'|'";
  }
  return "token";
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool isValidDate(int y, int m, int d) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  return d <= kDays[m - 1] + (m == 2 && isLeapYear(y) ? 1 : 0);
}

// A whole literal is a whole number of width 10 (wider when it has more digits);
// a literal with a point is a floating-point number whose decimals are the digits
// written after the point, its integer width again 10 or more.
Value numberLiteral(const std::string& digits) {
  const std::size_t point = digits.find('.');
  if (point == std::string::npos) {
    const int width = std::max<int>(10, static_cast<int>(digits.size()));
    uint64_t n = 0;
    bool overflow = false;
    for (char c : digits) {
      const uint64_t digit = static_cast<uint64_t>(c - '0');
      if (n > (static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) - digit) / 10) {
        overflow = true;
        break;
      }
      n = n * 10 + digit;
    }
    if (!overflow) return Value::integer(static_cast<int64_t>(n), width);
    return Value::real(std::stod(digits), width, 0);
  }
  const int decimals = static_cast<int>(digits.size() - point - 1);
  const int integerWidth = std::max<int>(10, static_cast<int>(point));
  return Value::real(std::stod(digits), integerWidth, decimals);
}

class Parser {
 public:
  explicit Parser(const std::vector<Token>& tokens) : t_(tokens) {}

  NodePtr parseAll() {
    NodePtr root = parseExpression();
    if (peek().kind != Tok::End) unexpected();
    return root;
  }

 private:
  const Token& peek(std::size_t ahead = 0) const {
    const std::size_t k = std::min(i_ + ahead, t_.size() - 1);
    return t_[k];
  }
  const Token& take() {
    const Token& tok = t_[i_];
    if (i_ + 1 < t_.size()) ++i_;
    return tok;
  }
  bool accept(Tok kind) {
    if (peek().kind != kind) return false;
    take();
    return true;
  }
  void expect(Tok kind) {
    if (!accept(kind))
      throw ParseFault{std::string("expected ") + spelling(kind) + " but found " +
                           describe(peek()),
                       peek().pos};
  }
  static std::string describe(const Token& tok) {
    if (tok.kind == Tok::Name || tok.kind == Tok::Number) return spelling(tok.kind) + (" " + tok.text);
    return spelling(tok.kind);
  }
  [[noreturn]] void unexpected() const {
    throw ParseFault{"unexpected " + describe(peek()), peek().pos};
  }

  NodePtr parseExpression() { return parseOr(); }

  NodePtr parseOr() {
    NodePtr left = parseAnd();
    while (accept(Tok::Or)) left = makeOr(std::move(left), parseAnd());
    return left;
  }

  NodePtr parseAnd() {
    NodePtr left = parseNot();
    while (accept(Tok::And)) left = makeAnd(std::move(left), parseNot());
    return left;
  }

  NodePtr parseNot() {
    if (accept(Tok::Not)) return makeUnary(UnaryOp::Not, parseNot());
    return parseRelational();
  }

  static bool relational(Tok kind, BinaryOp& op) {
    switch (kind) {
      case Tok::Eq: op = BinaryOp::Equal; return true;
      case Tok::ExactEq: op = BinaryOp::ExactEqual; return true;
      case Tok::NotEq: op = BinaryOp::NotEqual; return true;
      case Tok::Less: op = BinaryOp::Less; return true;
      case Tok::LessEq: op = BinaryOp::LessEqual; return true;
      case Tok::Greater: op = BinaryOp::Greater; return true;
      case Tok::GreaterEq: op = BinaryOp::GreaterEqual; return true;
      case Tok::Contains: op = BinaryOp::Contains; return true;
      default: return false;
    }
  }

  NodePtr parseRelational() {
    NodePtr left = parseAdditive();
    BinaryOp op;
    while (relational(peek().kind, op)) {
      take();
      left = makeBinary(op, std::move(left), parseAdditive());
    }
    return left;
  }

  NodePtr parseAdditive() {
    NodePtr left = parseMultiplicative();
    while (peek().kind == Tok::Plus || peek().kind == Tok::Minus) {
      const BinaryOp op = take().kind == Tok::Plus ? BinaryOp::Plus : BinaryOp::Minus;
      left = makeBinary(op, std::move(left), parseMultiplicative());
    }
    return left;
  }

  NodePtr parseMultiplicative() {
    NodePtr left = parsePower();
    while (true) {
      BinaryOp op;
      switch (peek().kind) {
        case Tok::Star: op = BinaryOp::Times; break;
        case Tok::Slash: op = BinaryOp::Divide; break;
        case Tok::Percent: op = BinaryOp::Modulo; break;
        default: return left;
      }
      take();
      left = makeBinary(op, std::move(left), parsePower());
    }
  }

  NodePtr parsePower() {
    NodePtr left = parseUnary();
    while (accept(Tok::Power)) left = makeBinary(BinaryOp::Power, std::move(left), parseUnary());
    return left;
  }

  NodePtr parseUnary() {
    if (++depth_ > kMaxNesting) throw ParseFault{"expression nested too deeply", peek().pos};
    NodePtr node = parseUnaryAt();
    --depth_;
    return node;
  }

  NodePtr parseUnaryAt() {
    if (accept(Tok::Minus)) return makeUnary(UnaryOp::Negate, parseUnary());
    if (accept(Tok::Plus)) return makeUnary(UnaryOp::Identity, parseUnary());
    if (accept(Tok::Not)) return makeUnary(UnaryOp::Not, parseUnary());
    return parsePrimary();
  }

  NodePtr parsePrimary() {
    const Token& tok = peek();
    switch (tok.kind) {
      case Tok::Number: return makeLiteral(numberLiteral(take().text));
      case Tok::String: return makeLiteral(Value::text(take().text));
      case Tok::DateLit: return dateLiteral(take());
      case Tok::True: take(); return makeLiteral(Value::logical(true));
      case Tok::False: take(); return makeLiteral(Value::logical(false));
      case Tok::LParen: {
        take();
        NodePtr inner = parseExpression();
        expect(Tok::RParen);
        return inner;
      }
      case Tok::LBrace: return blockLiteral();
      case Tok::Name: return nameOrCall();
      default: unexpected();
    }
  }

  static NodePtr dateLiteral(const Token& tok) {
    const std::string& s = tok.text;
    if (s == "00000000") return makeLiteral(Value::date(0));
    const int y = std::stoi(s.substr(0, 4));
    const int m = std::stoi(s.substr(4, 2));
    const int d = std::stoi(s.substr(6, 2));
    if (!isValidDate(y, m, d)) throw ParseFault{"invalid date literal", tok.pos};
    return makeLiteral(Value::date(dayFromYmd(y, m, d)));
  }

  NodePtr blockLiteral() {
    take();
    expect(Tok::Bar);
    if (peek().kind != Tok::Bar)
      throw ParseFault{"code block parameters are not supported", peek().pos};
    take();
    NodePtr body = parseExpression();
    expect(Tok::RBrace);
    return makeBlock(std::move(body));
  }

  NodePtr nameOrCall() {
    const Token& name = take();
    if (peek().kind == Tok::LParen) return call(name);
    if (accept(Tok::Arrow)) return aliased(name);
    if (equalsIgnoreCase(name.text, "NIL")) return makeLiteral(Value());
    return makeName(NameScope::FieldThenPublic, {}, name.text);
  }

  NodePtr aliased(const Token& alias) {
    if (peek().kind != Tok::Name)
      throw ParseFault{"expected a field name after '->' but found " + describe(peek()),
                       peek().pos};
    const Token& name = take();
    if (peek().kind == Tok::LParen)
      throw ParseFault{"a function call cannot follow '->'", peek().pos};
    const std::string a = upperAscii(alias.text);
    if (a == "FIELD" || a == "_FIELD") return makeName(NameScope::FieldOnly, {}, name.text);
    if (a == "M" || a == "MEMVAR") return makeName(NameScope::PublicOnly, {}, name.text);
    return makeName(NameScope::FieldOnly, alias.text, name.text);
  }

  NodePtr call(const Token& name) {
    take();  // (
    std::vector<NodePtr> args;
    if (!accept(Tok::RParen)) {
      while (true) {
        const Tok k = peek().kind;
        args.push_back(k == Tok::Comma || k == Tok::RParen ? makeLiteral(Value())
                                                           : parseExpression());
        if (accept(Tok::RParen)) break;
        expect(Tok::Comma);
      }
    }
    const std::string upper = upperAscii(name.text);
    if (upper == "IIF" || upper == "IF") {
      if (args.size() < 2 || args.size() > 3)
        throw ParseFault{upper + " takes 2 or 3 arguments", name.pos};
      NodePtr whenFalse = args.size() == 3 ? std::move(args[2]) : nullptr;
      return makeIif(std::move(args[0]), std::move(args[1]), std::move(whenFalse));
    }
    const ExprFunction fn = findFunction(upper);
    if (!fn) throw ParseFault{"unknown function " + upper, name.pos};
    return makeCall(fn, std::move(args));
  }

  // Bounds the recursion of parsing and evaluation for hostile input.
  static constexpr int kMaxNesting = 200;

  const std::vector<Token>& t_;
  std::size_t i_ = 0;
  int depth_ = 0;
};

// Longest token list compiled; a left-grouped chain is as deep as it is long.
constexpr std::size_t kMaxTokens = 4096;

}  // namespace
}  // namespace expr

CompileResult compileExpression(std::string_view text) {
  CompileResult result;
  std::vector<expr::Token> tokens;
  std::string message;
  std::size_t pos = 0;
  if (expr::tokenize(text, tokens, message, pos)) {
    if (tokens.size() > expr::kMaxTokens) {
      message = "expression too complex";
      pos = tokens[expr::kMaxTokens].pos;
    } else try {
      expr::NodePtr root = expr::Parser(tokens).parseAll();
      result.expr = std::make_unique<CompiledExpr>(std::string(text), std::move(root));
      return result;
    } catch (const expr::ParseFault& fault) {
      message = fault.message;
      pos = fault.pos;
    }
  }
  result.position = static_cast<int>(pos) + 1;
  result.error = message + " at position " + std::to_string(result.position) + " in \"" +
                 std::string(text) + "\"";
  return result;
}

}  // namespace talvor
