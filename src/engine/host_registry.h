// The engine's record of what the host declared, in order, and the conversions between
// the interface's values (Data) and the machine's.
#pragma once

#include "engine/host.h"
#include "engine/script.h"
#include "engine/types.h"

#include <memory>
#include <string>
#include <vector>

namespace velmoro::script {

struct Engine::Host {
  enum class Kind : uint8_t { Types, Constants, Function, Variable, Class };
  struct Decl {
    Decl(Kind k, std::u16string t, std::u16string name)
        : kind(k), text(std::move(t)), key(std::move(name)) {}
    Kind kind;
    std::u16string text;
    std::u16string key;  // folded name: a later declaration of it replaces this one
    const HostFunction* fn = nullptr;
    Storage storage;
    std::shared_ptr<const HostClass> cls;
  };
  std::vector<Decl> decls;
  std::vector<std::unique_ptr<HostFunction>> functions;  // stable addresses
  // The declarations compiled alone, for properties() and the property accessors.
  std::unique_ptr<Program> reflection;

  void add(Decl d);
};

// Converts an interface value to a value of script type t (as the script's own
// conversions do); serial: the compilation callbacks must belong to.
vm::Value toValue(const Data& d, const Type* t, uint64_t serial);
// The interface value of v, a value of script type t (nullptr: judged by its tag).
Data toData(const vm::Value& v, const Type* t, uint64_t serial);

struct CompiledRoutine;
// The machine's arguments for routine r from interface values (defaults for the ones
// missing); var parameters point into holders.
void routineArguments(const CompiledRoutine& r, const std::vector<Data>& args, uint64_t serial,
                      std::vector<vm::Value>& holders, std::vector<vm::Value>& values);
// The final values of r's var parameters, back into args.
void routineVarResults(const CompiledRoutine& r, std::vector<Data>& args,
                       const std::vector<vm::Value>& holders, uint64_t serial);

// AnsiString values hold one byte per unit; the interface sees them as text.
std::u16string bytesToText(const std::u16string& bytes);
std::u16string textToBytes(const std::u16string& text);

}  // namespace velmoro::script
