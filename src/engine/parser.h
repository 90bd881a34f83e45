// The parser and checker: one recursive-descent pass from tokens to the checked tree.
// Pascal declares before use, so names are resolved and types checked while parsing;
// the tree it hands to the code generator holds slots, routine indexes and native
// indexes only. After an error it skips to the next statement or declaration and goes
// on, so one pass reports several errors; nesting is bounded (limits in diagnostics.h).
// The cost of one pass: a routine must be declared (or forward-declared) before its
// first call, as in the language itself, and every type rule lives in checker.cpp
// rather than in a pass of its own over the tree.
#pragma once

#include "engine/program.h"
#include "engine/script.h"

#include <string_view>

namespace velmoro::script {

// Parses and checks a source into prog (routines in prog.decls, globals, constants).
// The host's declarations come first, in a scope of their own between the system's
// names and the program's. Messages go to diag; the result is false when there were
// errors.
bool parseProgram(std::u16string_view source, const Options& options, Diagnostics& diag,
                  const Engine::IncludeHandler& include,
                  const Engine::DirectiveHandler& directive, Engine::Program& prog,
                  const Engine::Host* host = nullptr);

}  // namespace velmoro::script
