// The checked tree: what the parser builds after resolving every name and type.
// Variables are already slots (global, local at a nesting level, or an address held in
// a slot for var parameters and with-targets); calls name a routine index or a native
// index. The code generator walks this tree once; nothing here is looked up by name.
#pragma once

#include "engine/diagnostics.h"
#include "engine/types.h"
#include "engine/value.h"

#include <memory>
#include <string>
#include <vector>

namespace velmoro::script {

enum class Oper : uint8_t {
  Add, Sub, Mul, FDiv, IDiv, Mod, And, Or, Xor, Shl, Shr,
  Eq, Ne, Lt, Gt, Le, Ge, In, Is, Neg, Not
};

enum class EK : uint8_t {
  Const,      // value
  Var,        // slot, level (-1 global), ref: the slot holds an address
  Index,      // a[b] on arrays (low bound in type of a); strings: char
  Field,      // a.field (index)
  Call,       // script routine `index`, args; hops: static link
  Native,     // native routine `index`, args (var args are addresses)
  External,   // library function `index` (Program::externals), args as for Call
  Magic,      // compiler-known routine `index` (Magic enum), args
  Unary,      // op a
  Binary,     // a op b
  Convert,    // a converted to type
  SetCons,    // args: elements; ranges as Binary DotDot pairs in args2
  OpenArray,  // [a, b, c] for array of const / open arrays
  NewObject,  // exception class `cls` created with message args
  ExcMember,  // a.Message (index 0) / a.ClassName (index 1)
  HostCall,   // host routine `index` (Program::hostRoutines), args (a method's object first)
  HostNew,    // a new object of host class `cls`, then its constructor `index` (-1 none) with args
  HostVar,    // host variable `index` (Program::hostVariables)
  Property,   // a property of args[0] (index arguments follow): getter `slot`, setter `index` (-1 none)
};

struct Expr {
  EK kind;
  Pos pos;
  const Type* type = nullptr;
  vm::Value value;
  Oper op = Oper::Add;
  int slot = 0, level = -1, index = 0, hops = -1;
  bool ref = false;
  const vm::ClassInfo* cls = nullptr;
  std::unique_ptr<Expr> a, b;
  std::vector<std::unique_ptr<Expr>> args;
  std::vector<uint8_t> byRef;  // per argument: passed as an address
  Expr(EK k, Pos p) : kind(k), pos(p) {}
};
using ExprPtr = std::unique_ptr<Expr>;

enum class SK : uint8_t {
  Empty, Compound, Assign, ExprStmt, If, While, Repeat, For, Case, Break, Continue,
  Exit, With, TryExcept, TryFinally, Raise
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;

struct CaseArm {
  std::vector<std::pair<vm::Value, vm::Value>> labels;  // ranges lo..hi
  StmtPtr body;
};

struct Handler {
  const vm::ClassInfo* cls = nullptr;  // nil: catches everything
  int slot = -1;                       // local of "on E:"; -1 when unnamed
  StmtPtr body;
};

struct Stmt {
  SK kind;
  Pos pos;
  ExprPtr a, b, c;       // assign: a := b; for: a := b to c; if/while: a
  bool downto = false;
  int temp = -1;         // for: limit slot; with: address slot; case: selector slot
  int tempLevel = 0;
  std::vector<StmtPtr> body;         // compound, repeat, try
  StmtPtr then, otherwise;           // if; loop body in then; finally/else in otherwise
  std::vector<CaseArm> arms;
  std::vector<Handler> handlers;
  bool catchAll = false;             // "except stmts end" without handlers
  Stmt(SK k, Pos p) : kind(k), pos(p) {}
};

enum class ParamMode : uint8_t { Value, Const, Var, Out };

struct Param {
  std::u16string name;
  const Type* type = nullptr;
  ParamMode mode = ParamMode::Value;
  bool hasDefault = false;  // calls may omit it (and every parameter after it)
  vm::Value defaultValue;
  bool byRef() const { return mode == ParamMode::Var || mode == ParamMode::Out; }
};

struct Routine {
  std::u16string name;
  Pos pos;
  int level = 1;                 // 0: the main body; top-level routines 1
  int index = 0;                 // in Program::routines
  std::vector<Param> params;
  const Type* result = nullptr;  // nullptr for procedures
  int resultSlot = -1;
  std::vector<const Type*> slots;  // params first, then Result, locals, temporaries
  bool defined = false, forward = false;
  bool overload = false;
  Routine* nextOverload = nullptr;  // the next routine of the same name in its scope
  int external = -1;             // a library function: index in Program::externals
  int host = -1;                 // a host function: index in Program::hostRoutines
  std::vector<StmtPtr> body;
  Routine* parent = nullptr;
  std::u16string module;
};

}  // namespace velmoro::script
