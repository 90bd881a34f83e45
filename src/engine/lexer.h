// The lexer: turns one source text into tokens. Keywords are case-insensitive; comments
// are { }, (* *) and //; a string literal joins quoted parts ('' is a quote) and #nn /
// #$hh characters into one token. With directives on, "{$...}" and "(*$...*)" come out
// as Directive tokens for the preprocessor; otherwise they are comments.
#pragma once

#include "engine/diagnostics.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmoro::script {

#define VELMORO_KEYWORDS(K)                                                                  \
  K(And, "and") K(Array, "array") K(As, "as") K(Begin, "begin") K(Case, "case")              \
  K(Class, "class") K(Const, "const") K(Div, "div") K(Do, "do") K(Downto, "downto")          \
  K(Else, "else") K(End, "end") K(Except, "except") K(File, "file") K(Finally, "finally")    \
  K(For, "for") K(Function, "function") K(Goto, "goto") K(If, "if") K(In, "in")              \
  K(Is, "is") K(Label, "label") K(Mod, "mod") K(Nil, "nil") K(Not, "not") K(Of, "of")        \
  K(Or, "or") K(Packed, "packed") K(Procedure, "procedure") K(Program, "program")            \
  K(Raise, "raise") K(Record, "record") K(Repeat, "repeat") K(Set, "set") K(Shl, "shl")      \
  K(Shr, "shr") K(String, "string") K(Then, "then") K(To, "to") K(Try, "try")                \
  K(Type, "type") K(Until, "until") K(Uses, "uses") K(Var, "var") K(While, "while")          \
  K(With, "with") K(Xor, "xor")

enum class Tok : uint8_t {
  Eof, Ident, IntLit, RealLit, StrLit, Directive,
  Plus, Minus, Star, Slash, Eq, NotEq, Less, Greater, LessEq, GreaterEq, Assign,
  LParen, RParen, LBracket, RBracket, Comma, Semicolon, Colon, Dot, DotDot, Caret, At,
  PlusAssign, MinusAssign, Bad,
#define K(name, text) Kw##name,
  VELMORO_KEYWORDS(K)
#undef K
};

const char16_t* tokenText(Tok t);

struct Token {
  Tok kind = Tok::Eof;
  Pos pos;
  std::u16string text;   // identifier as written, string literal value, directive body
  std::u16string key;    // identifiers: folded for comparison
  uint64_t intValue = 0;
  double realValue = 0;
};

// Folded form of an identifier, for symbol tables (ASCII fast path, ICU otherwise).
std::u16string foldName(std::u16string_view name);

class Lexer {
 public:
  Lexer(std::u16string text, int module, bool directives, Diagnostics& diag);
  Token next();
  int module() const { return module_; }

 private:
  char16_t peek(size_t ahead = 0) const {
    return pos_ + ahead < src_.size() ? src_[pos_ + ahead] : u'\0';
  }
  bool atEnd() const { return pos_ >= src_.size(); }
  void advance();
  Pos here() const { return Pos{row_, col_, module_}; }
  bool skipBlanksAndComments(Token& directive);
  Token number(Pos start);
  Token stringLiteral(Pos start);

  std::u16string src_;
  size_t pos_ = 0;
  int row_ = 1, col_ = 1;
  int module_;
  bool directives_;
  Diagnostics& diag_;
};

}  // namespace velmoro::script
