// The preprocessor: sits between the lexers and the parser. It keeps the define list,
// the {$IFDEF}/{$IFNDEF}/{$ELSE}/{$ENDIF} stack (skipping inactive text) and a stack of
// lexers for {$I}/{$INCLUDE}, whose bytes come from the host and are decoded here.
// Other directives go to the host's handler; without one they are errors.
#pragma once

#include "engine/lexer.h"
#include "engine/script.h"

#include <memory>
#include <set>
#include <vector>

namespace velmoro::script {

class Preprocessor {
 public:
  Preprocessor(std::u16string source, const Options& options, Diagnostics& diag,
               const Engine::IncludeHandler& include, const Engine::DirectiveHandler& directive,
               int module = 0);
  Token next();

 private:
  struct Conditional {
    bool active;      // this branch is compiled
    bool parentActive;
    bool elseSeen;
    Pos pos;
  };
  void directive(const Token& t);
  bool active() const { return conds_.empty() || conds_.back().active; }

  bool enabled_;
  Diagnostics& diag_;
  const Engine::IncludeHandler& include_;
  const Engine::DirectiveHandler& handler_;
  std::vector<std::unique_ptr<Lexer>> lexers_;
  std::vector<Conditional> conds_;
  std::vector<size_t> condBase_;  // conditional depth when each include started
  std::set<std::u16string> defines_;
};

}  // namespace velmoro::script
