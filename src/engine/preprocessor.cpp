#include "engine/preprocessor.h"

#include "common/text_file.h"
#include "common/unicode.h"

namespace velmoro::script {

namespace {

// Splits "NAME argument" of a directive body.
void splitDirective(std::u16string_view body, std::u16string& name, std::u16string& arg) {
  size_t i = 0;
  while (i < body.size() && (std::isalnum(body[i] < 128 ? static_cast<int>(body[i]) : 0) ||
                             body[i] == u'_'))
    ++i;
  name = body.substr(0, i);
  if (i < body.size() && (body[i] == u'+' || body[i] == u'-')) {
    arg = body.substr(i, 1);
    return;
  }
  arg = std::u16string(text::trim(body.substr(i)));
}

std::u16string upper(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return s;
}

// The first word of an argument (a define name).
std::u16string firstWord(std::u16string_view arg) {
  size_t i = 0;
  while (i < arg.size() && arg[i] > u' ') ++i;
  return upper(std::u16string(arg.substr(0, i)));
}

}  // namespace

Preprocessor::Preprocessor(std::u16string source, const Options& options, Diagnostics& diag,
                           const Engine::IncludeHandler& include,
                           const Engine::DirectiveHandler& directive, int module)
    : enabled_(options.preprocessor), diag_(diag), include_(include), handler_(directive) {
  for (const auto& d : options.defines) defines_.insert(upper(std::u16string(text::trim(d))));
  lexers_.push_back(std::make_unique<Lexer>(std::move(source), module, enabled_, diag_));
  condBase_.push_back(0);
}

Token Preprocessor::next() {
  for (;;) {
    Token t = lexers_.back()->next();
    if (t.kind == Tok::Eof) {
      while (conds_.size() > condBase_.back()) {
        diag_.error(conds_.back().pos, u"Missing {$ENDIF} (to close {$IFDEF} at line " +
                                           text::fromAscii(std::to_string(conds_.back().pos.row)) +
                                           u")");
        conds_.pop_back();
      }
      if (lexers_.size() == 1) return t;
      lexers_.pop_back();
      condBase_.pop_back();
      continue;
    }
    if (t.kind == Tok::Directive) {
      directive(t);
      if (diag_.full()) {
        Token eof;
        eof.pos = t.pos;
        return eof;
      }
      continue;
    }
    if (active()) return t;
  }
}

void Preprocessor::directive(const Token& t) {
  std::u16string name, arg;
  splitDirective(t.text, name, arg);
  std::u16string key = upper(name);
  if (key == u"IFDEF" || key == u"IFNDEF") {
    if (!diag_.checkLimit(t.pos, static_cast<long long>(conds_.size()) + 1, limits::conditionals,
                          "conditional nesting"))
      return;
    bool defined = defines_.count(firstWord(arg)) > 0;
    bool cond = key == u"IFDEF" ? defined : !defined;
    conds_.push_back({active() && cond, active(), false, t.pos});
    return;
  }
  if (key == u"ELSE") {
    if (conds_.size() <= condBase_.back() || conds_.back().elseSeen) {
      diag_.error(t.pos, u"Misplaced {$ELSE}");
      return;
    }
    Conditional& c = conds_.back();
    c.elseSeen = true;
    c.active = c.parentActive && !c.active;
    return;
  }
  if (key == u"ENDIF" || key == u"IFEND") {
    if (conds_.size() <= condBase_.back()) {
      diag_.error(t.pos, u"Misplaced {$ENDIF}");
      return;
    }
    conds_.pop_back();
    return;
  }
  if (!active()) return;
  if (key == u"DEFINE") {
    if (!arg.empty()) defines_.insert(firstWord(arg));
    return;
  }
  if (key == u"UNDEF") {
    defines_.erase(firstWord(arg));
    return;
  }
  if (key == u"I" || key == u"INCLUDE") {
    if (arg == u"+" || arg == u"-") return;  // {$I+}: I/O checking, nothing to do here
    std::u16string file = arg;
    if (file.size() >= 2 && file.front() == u'\'' && file.back() == u'\'')
      file = file.substr(1, file.size() - 2);
    if (file.empty()) {
      diag_.error(t.pos, u"Include file name expected");
      return;
    }
    if (!diag_.checkLimit(t.pos, static_cast<long long>(lexers_.size()), limits::includeDepth,
                          "include depth"))
      return;
    std::u16string module = file;
    std::optional<std::vector<uint8_t>> bytes;
    if (include_) bytes = include_(file, module);
    if (!bytes) {
      diag_.error(t.pos, u"File not found: '" + file + u"'");
      return;
    }
    diag_.modules.push_back(module);
    int id = static_cast<int>(diag_.modules.size()) - 1;
    lexers_.push_back(std::make_unique<Lexer>(text::decodeText(*bytes), id, enabled_, diag_));
    condBase_.push_back(conds_.size());
    return;
  }
  DirectiveAnswer answer = DirectiveAnswer::Reject;
  std::u16string message;
  if (handler_) answer = handler_(name, arg, t.pos.row, t.pos.col, message);
  if (answer == DirectiveAnswer::Reject)
    diag_.error(t.pos, message.empty() ? u"Unknown directive '" + name + u"'" : message);
}

}  // namespace velmoro::script
