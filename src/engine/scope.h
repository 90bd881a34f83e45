// Scopes of names during parsing: the system scope (predefined types, constants and
// exception classes), the program's globals, one scope per routine and one per with.
#pragma once

#include "engine/ast.h"
#include "engine/diagnostics.h"
#include "engine/types.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace velmoro::script {

// WithMember: a member of the object of a with statement (field: index in
// Program::hostMembers, -1 for Free and ClassName), the object in a local slot.
enum class SymKind : uint8_t { Const, TypeName, Var, Routine, WithField, WithMember };

struct Symbol {
  SymKind kind = SymKind::Var;
  const Type* type = nullptr;
  vm::Value value;
  int slot = 0, level = -1;   // level -1: global
  bool ref = false;           // the slot holds an address (var parameters)
  bool local = false;         // a declared local variable (unused ones get a hint)
  bool used = false;
  Routine* routine = nullptr;
  int field = -1;             // with: field index in recordType
  int host = -1;              // a host variable: index in Program::hostVariables
  const Type* recordType = nullptr;
  Pos pos;
  std::u16string name;
};

class Scopes {
 public:
  void push(Routine* r, bool transparent = false);
  void pushWith(const Type* record, int slot, int level);
  void pop();
  // Pops a routine's scope, with a hint for each local variable never used.
  void popWithHints(Diagnostics& diag);
  void declare(Diagnostics& diag, const std::u16string& name, Symbol s);
  // Into the innermost scope, replacing what is there (with statements).
  void declareQuiet(const std::u16string& key, Symbol s) { scopes_.back().names[key] = std::move(s); }
  Symbol* find(const std::u16string& key);
  Symbol* findLocal(const std::u16string& key);

 private:
  struct Scope {
    std::unordered_map<std::u16string, Symbol> names;
    std::vector<std::u16string> order;
    Routine* routine = nullptr;
    bool transparent = false;
  };
  std::vector<Scope> scopes_;
};

// Fills the system scope: predefined types, True/False, MaxInt, exception classes.
void declareSystem(Scopes& scopes, TypeTable& types);

}  // namespace velmoro::script
