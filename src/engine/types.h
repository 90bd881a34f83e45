// Compile-time types of the language. Types are owned by the TypeTable of one
// compilation and referred to by plain pointers; the predefined types are created first.
// Ordinal types carry their range; the integer kinds name how a store narrows a value.
#pragma once

#include "engine/value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmoro::script {

enum class TypeKind {
  Void, Integer, Char, AnsiChar, Boolean, Enum, Float, String, AnsiString, Variant,
  Set, Record, StaticArray, DynArray, ArrayOfConst, Class, Nil, Proc
};

// How an integer store narrows: the machine keeps every ordinal as 64 bits.
enum class IntKind : uint8_t { I64, I32, U32, I16, U16, I8, U8 };

struct Type;

struct Field {
  std::u16string name;
  const Type* type;
};

struct Type {
  TypeKind kind = TypeKind::Void;
  std::u16string name;
  IntKind intKind = IntKind::I64;
  int64_t low = 0, high = 0;              // ordinal range; static array index range
  const Type* element = nullptr;          // set, arrays: element; subrange: base ordinal;
                                          // procedural types: the result
  const Type* index = nullptr;            // static arrays: index type
  std::vector<Field> fields;              // records; procedural types: the parameters
  std::vector<uint8_t> paramModes;        // procedural types: each parameter's ParamMode
  std::vector<std::u16string> names;      // enumerations
  const vm::ClassInfo* cls = nullptr;     // classes
  int procIndex = -1;                     // procedural: unused in the core

  bool isOrdinal() const {
    return kind == TypeKind::Integer || kind == TypeKind::Char || kind == TypeKind::AnsiChar ||
           kind == TypeKind::Boolean || kind == TypeKind::Enum;
  }
  bool isString() const { return kind == TypeKind::String || kind == TypeKind::AnsiString; }
  bool isNumeric() const { return kind == TypeKind::Integer || kind == TypeKind::Float; }
  bool isArray() const { return kind == TypeKind::StaticArray || kind == TypeKind::DynArray; }
  // Values of this type need a fresh heap object each (records, static arrays).
  bool needsInit() const { return kind == TypeKind::Record || kind == TypeKind::StaticArray; }
  int64_t count() const { return high - low + 1; }
};

class TypeTable {
 public:
  TypeTable();
  Type* make(TypeKind k, std::u16string name = {});
  const Type* voidT; const Type* integer; const Type* int64; const Type* cardinal;
  const Type* byte; const Type* shortint; const Type* word; const Type* smallint;
  const Type* boolean; const Type* longBool; const Type* chr; const Type* ansiChar; const Type* real;
  const Type* string; const Type* ansiString; const Type* variant; const Type* nil;
  const Type* arrayOfConst; const Type* dateTime; const Type* exceptionClass;
  const Type* dynArrayOfString;
  vm::ClassInfo* addClass(std::u16string name, const vm::ClassInfo* parent);
  const vm::ClassInfo* exceptionInfo() const { return classes_.front().get(); }
  const vm::ClassInfo* findClass(std::u16string_view name) const;

 private:
  std::vector<std::unique_ptr<Type>> types_;
  std::vector<std::unique_ptr<vm::ClassInfo>> classes_;
};

// The name a message shows for a type.
std::u16string typeName(const Type* t);
// The default value of a variable of type t (fresh records and static arrays).
vm::Value defaultValue(const Type* t);
// Ordinal range of an integer kind.
void intRange(IntKind k, int64_t& low, int64_t& high);
// The machine narrows on every integer store. Int64 and Integer take a branch (well
// predicted at one site, and off the value's dependency chain); the rest shift.
inline int64_t narrow(IntKind k, int64_t v) {
  if (k == IntKind::I64) return v;
  if (k == IntKind::I32) return static_cast<int32_t>(v);
  static constexpr uint8_t shift[] = {0, 32, 32, 48, 48, 56, 56};
  static constexpr bool isSigned[] = {true, true, false, true, false, true, false};
  unsigned n = shift[static_cast<unsigned>(k)];
  uint64_t x = static_cast<uint64_t>(v) << n;
  return isSigned[static_cast<unsigned>(k)] ? static_cast<int64_t>(x) >> n : static_cast<int64_t>(x >> n);
}

}  // namespace velmoro::script
