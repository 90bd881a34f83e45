// A compiled program: the routines' bytecode with their line tables, the constant
// pool, the globals' types and initial values, and the classes. Produced by the code
// generator, read-only for the machine (which keeps the globals' values itself).
#pragma once

#include "engine/ast.h"
#include "engine/external_calls.h"
#include "engine/opcodes.h"
#include "engine/script.h"
#include "engine/types.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmoro::script {

struct LineEntry {
  uint32_t pc;
  Pos pos;
};

struct CompiledRoutine {
  std::u16string name;
  int level = 1;
  int nparams = 0;
  int resultSlot = -1;
  std::vector<const Type*> slots;       // every slot's type (initialised on entry)
  std::vector<Param> params;
  const Type* result = nullptr;
  std::vector<uint32_t> code;
  std::vector<LineEntry> lines;         // sorted by pc: the position of each statement
  Pos positionOf(uint32_t pc) const;
};

// A routine declared "external": where it lives and how its values cross.
struct ExternalRoutine {
  std::u16string name;
  ext::ExternalSpec spec;
  ext::Signature signature;
  std::vector<const Type*> params;  // the script's types, for var parameters coming back
  const Type* result = nullptr;
  Pos pos;                          // of the declaration
};

// A host function, method, constructor or property accessor as this compilation sees
// it: the C++ callable and the parameter and result types its values convert to.
struct HostSignature {
  std::u16string name;
  const HostFunction* fn = nullptr;  // none: a constructor with nothing to do
  std::vector<Param> params;         // without the object of a method
  const Type* result = nullptr;
  bool self = false;                 // a method: the object comes first
};

// A member of a host class as this compilation sees it.
struct HostMember {
  const HostClass* cls = nullptr;
  std::u16string name;         // as declared
  HostClass::MemberKind kind = HostClass::MemberKind::Method;
  int read = -1, write = -1;   // hostRoutines: the method, constructor or getter; the setter
  const Type* type = nullptr;  // a property's type
  int indexCount = 0;          // an indexed property's index parameters
  bool isDefault = false, published = false;
};

// A host variable: its storage and script type.
struct HostVariable {
  Storage storage;
  const Type* type = nullptr;
};

struct Engine::Program {
  TypeTable types;
  std::vector<std::u16string> modules;  // 0: the main module's name
  std::vector<CompiledRoutine> routines;  // routines[0] is the main body
  std::vector<vm::Value> constants;
  std::vector<const Type*> constantTypes;  // INIT: the type whose default to build
  std::vector<const Type*> globals;
  std::vector<std::pair<int, vm::Value>> globalInit;  // initialised variables and typed constants
  std::vector<const vm::ClassInfo*> classes;
  std::vector<ExternalRoutine> externals;
  std::vector<HostSignature> hostRoutines;
  std::vector<HostVariable> hostVariables;
  std::vector<HostMember> hostMembers;
  // The host classes this compilation uses: kept alive while its code may run, even if
  // the host declares others in their place.
  std::vector<std::shared_ptr<const HostClass>> hostClasses;
  bool shortCircuit = false;
  std::unordered_map<std::u16string, int> routineByName;  // folded name → routine
  // Parse products kept for the code generator.
  std::vector<std::unique_ptr<Routine>> decls;
};

}  // namespace velmoro::script
