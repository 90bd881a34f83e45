#include "engine/lexer.h"

#include "common/unicode.h"

#include <cmath>
#include <string>

namespace velmoro::script {

namespace {

struct Keyword {
  const char* text;
  Tok tok;
};
constexpr Keyword keywords[] = {
#define K(name, text) {text, Tok::Kw##name},
    VELMORO_KEYWORDS(K)
#undef K
};

bool identStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0xC0;
}
bool equalsAscii(std::u16string_view a, const char* b) {
  size_t i = 0;
  for (; i < a.size(); ++i)
    if (b[i] == 0 || a[i] != static_cast<char16_t>(b[i])) return false;
  return b[i] == 0;
}

bool identPart(char16_t c) { return identStart(c) || (c >= u'0' && c <= u'9'); }

}  // namespace

const char16_t* tokenText(Tok t) {
  switch (t) {
    case Tok::Eof: return u"end of file";
    case Tok::Ident: return u"identifier";
    case Tok::IntLit: return u"integer constant";
    case Tok::RealLit: return u"real constant";
    case Tok::StrLit: return u"string constant";
    case Tok::Directive: return u"directive";
    case Tok::Plus: return u"+";
    case Tok::Minus: return u"-";
    case Tok::Star: return u"*";
    case Tok::Slash: return u"/";
    case Tok::Eq: return u"=";
    case Tok::NotEq: return u"<>";
    case Tok::Less: return u"<";
    case Tok::Greater: return u">";
    case Tok::LessEq: return u"<=";
    case Tok::GreaterEq: return u">=";
    case Tok::Assign: return u":=";
    case Tok::LParen: return u"(";
    case Tok::RParen: return u")";
    case Tok::LBracket: return u"[";
    case Tok::RBracket: return u"]";
    case Tok::Comma: return u",";
    case Tok::Semicolon: return u";";
    case Tok::Colon: return u":";
    case Tok::Dot: return u".";
    case Tok::DotDot: return u"..";
    case Tok::Caret: return u"^";
    case Tok::At: return u"@";
    case Tok::PlusAssign: return u"+=";
    case Tok::MinusAssign: return u"-=";
    case Tok::Bad: return u"invalid character";
#define K(name, text) case Tok::Kw##name: return u"" text;
      VELMORO_KEYWORDS(K)
#undef K
  }
  return u"?";
}

std::u16string foldName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) {
    if (c >= 0x80) return text::toLower(name);
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return out;
}

Lexer::Lexer(std::u16string text, int module, bool directives, Diagnostics& diag)
    : src_(std::move(text)), module_(module), directives_(directives), diag_(diag) {}

void Lexer::advance() {
  if (pos_ >= src_.size()) return;
  char16_t c = src_[pos_++];
  if (c == u'\n') {
    ++row_;
    col_ = 1;
  } else if (c == u'\r') {
    if (peek() != u'\n') {
      ++row_;
      col_ = 1;
    }
  } else {
    ++col_;
  }
}

// Skips blanks and comments; a directive comment is returned through `directive`
// (its kind set to Directive) and ends the skipping.
bool Lexer::skipBlanksAndComments(Token& directive) {
  for (;;) {
    char16_t c = peek();
    if (atEnd()) return false;
    if (c <= u' ' || c == 0xFEFF) {
      advance();
      continue;
    }
    if (c == u'/' && peek(1) == u'/') {
      while (!atEnd() && peek() != u'\n' && peek() != u'\r') advance();
      continue;
    }
    bool brace = c == u'{';
    bool paren = c == u'(' && peek(1) == u'*';
    if (!brace && !paren) return false;
    Pos start = here();
    advance();
    if (paren) advance();
    bool isDirective = directives_ && peek() == u'$';
    std::u16string body;
    bool closed = false;
    while (!atEnd()) {
      if (brace && peek() == u'}') {
        advance();
        closed = true;
        break;
      }
      if (paren && peek() == u'*' && peek(1) == u')') {
        advance();
        advance();
        closed = true;
        break;
      }
      if (isDirective) body += peek();
      advance();
    }
    if (!closed) {
      diag_.error(start, u"Unterminated comment");
      return false;
    }
    if (isDirective) {
      directive.kind = Tok::Directive;
      directive.pos = start;
      directive.text = body.substr(1);
      return true;
    }
  }
}

Token Lexer::next() {
  Token t;
  if (skipBlanksAndComments(t)) return t;
  t.pos = here();
  if (atEnd()) return t;
  char16_t c = peek();
  if (identStart(c)) {
    size_t b = pos_;
    while (identPart(peek())) advance();
    t.text = src_.substr(b, pos_ - b);
    t.key = foldName(t.text);
    t.kind = Tok::Ident;
    if (t.key.size() <= 14 && t.key[0] < 0x80) {
      for (const Keyword& k : keywords) {
        if (equalsAscii(t.key, k.text)) {
          t.kind = k.tok;
          break;
        }
      }
    }
    return t;
  }
  if ((c >= u'0' && c <= u'9') || c == u'$') return number(t.pos);
  if (c == u'\'' || c == u'#') return stringLiteral(t.pos);
  advance();
  auto two = [&](char16_t second, Tok yes, Tok no) {
    if (peek() == second) {
      advance();
      return yes;
    }
    return no;
  };
  switch (c) {
    case u'+': t.kind = two(u'=', Tok::PlusAssign, Tok::Plus); break;
    case u'-': t.kind = two(u'=', Tok::MinusAssign, Tok::Minus); break;
    case u'*': t.kind = Tok::Star; break;
    case u'/': t.kind = Tok::Slash; break;
    case u'=': t.kind = Tok::Eq; break;
    case u'<':
      if (peek() == u'>') {
        advance();
        t.kind = Tok::NotEq;
      } else {
        t.kind = two(u'=', Tok::LessEq, Tok::Less);
      }
      break;
    case u'>': t.kind = two(u'=', Tok::GreaterEq, Tok::Greater); break;
    case u':': t.kind = two(u'=', Tok::Assign, Tok::Colon); break;
    case u'(':
      if (peek() == u'.') {
        advance();
        t.kind = Tok::LBracket;
      } else {
        t.kind = Tok::LParen;
      }
      break;
    case u')': t.kind = Tok::RParen; break;
    case u'[': t.kind = Tok::LBracket; break;
    case u']': t.kind = Tok::RBracket; break;
    case u',': t.kind = Tok::Comma; break;
    case u';': t.kind = Tok::Semicolon; break;
    case u'.':
      if (peek() == u'.') {
        advance();
        t.kind = Tok::DotDot;
      } else if (peek() == u')') {
        advance();
        t.kind = Tok::RBracket;
      } else {
        t.kind = Tok::Dot;
      }
      break;
    case u'^': t.kind = Tok::Caret; break;
    case u'@': t.kind = Tok::At; break;
    default:
      t.kind = Tok::Bad;
      t.text = std::u16string(1, c);
      diag_.error(t.pos, u"Illegal character in input file: '" + t.text + u"'");
      break;
  }
  return t;
}

Token Lexer::number(Pos start) {
  Token t;
  t.pos = start;
  t.kind = Tok::IntLit;
  if (peek() == u'$') {
    advance();
    uint64_t v = 0;
    bool any = false, overflow = false;
    for (;;) {
      char16_t c = peek();
      int d = c >= u'0' && c <= u'9' ? c - u'0'
              : c >= u'a' && c <= u'f' ? c - u'a' + 10
              : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
      if (d < 0) break;
      if (v >> 60) overflow = true;
      v = v * 16 + static_cast<uint64_t>(d);
      any = true;
      advance();
    }
    if (!any) diag_.error(start, u"Invalid hexadecimal number");
    if (overflow) diag_.error(start, u"Integer constant too large");
    t.intValue = v;
    return t;
  }
  size_t b = pos_;
  while (peek() >= u'0' && peek() <= u'9') advance();
  bool real = false;
  if (peek() == u'.' && peek(1) >= u'0' && peek(1) <= u'9') {
    real = true;
    advance();
    while (peek() >= u'0' && peek() <= u'9') advance();
  }
  if ((peek() == u'e' || peek() == u'E') &&
      ((peek(1) >= u'0' && peek(1) <= u'9') ||
       ((peek(1) == u'+' || peek(1) == u'-') && peek(2) >= u'0' && peek(2) <= u'9'))) {
    real = true;
    advance();
    if (peek() == u'+' || peek() == u'-') advance();
    while (peek() >= u'0' && peek() <= u'9') advance();
  }
  std::string digits;
  for (size_t k = b; k < pos_; ++k) digits += static_cast<char>(src_[k]);
  if (real) {
    t.kind = Tok::RealLit;
    t.realValue = std::strtod(digits.c_str(), nullptr);
    return t;
  }
  uint64_t v = 0;
  for (char d : digits) {
    uint64_t n = v * 10 + static_cast<uint64_t>(d - '0');
    if (v > UINT64_MAX / 10 || n < v) {
      diag_.error(start, u"Integer constant too large");
      v = 0;
      break;
    }
    v = n;
  }
  t.intValue = v;
  return t;
}

Token Lexer::stringLiteral(Pos start) {
  Token t;
  t.pos = start;
  t.kind = Tok::StrLit;
  for (;;) {
    if (peek() == u'\'') {
      advance();
      for (;;) {
        if (atEnd() || peek() == u'\n' || peek() == u'\r') {
          diag_.error(start, u"String exceeds line");
          return t;
        }
        if (peek() == u'\'') {
          advance();
          if (peek() == u'\'') {
            t.text += u'\'';
            advance();
            continue;
          }
          break;
        }
        t.text += peek();
        advance();
      }
    } else if (peek() == u'#') {
      Pos p = here();
      advance();
      uint32_t v = 0;
      bool any = false;
      if (peek() == u'$') {
        advance();
        for (;;) {
          char16_t c = peek();
          int d = c >= u'0' && c <= u'9' ? c - u'0'
                  : c >= u'a' && c <= u'f' ? c - u'a' + 10
                  : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
          if (d < 0) break;
          v = v * 16 + static_cast<uint32_t>(d);
          if (v > 0xFFFF) v = 0x10000;
          any = true;
          advance();
        }
      } else {
        while (peek() >= u'0' && peek() <= u'9') {
          v = v * 10 + static_cast<uint32_t>(peek() - u'0');
          if (v > 0xFFFF) v = 0x10000;
          any = true;
          advance();
        }
      }
      if (!any || v > 0xFFFF) {
        diag_.error(p, u"Invalid character code");
        v = u'?';
      }
      t.text += static_cast<char16_t>(v);
    } else {
      return t;
    }
  }
}

}  // namespace velmoro::script
