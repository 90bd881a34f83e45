#include "engine/types.h"

#include "common/unicode.h"

namespace velmoro::script {

using vm::Value;

void intRange(IntKind k, int64_t& low, int64_t& high) {
  switch (k) {
    case IntKind::I64: low = INT64_MIN; high = INT64_MAX; break;
    case IntKind::I32: low = INT32_MIN; high = INT32_MAX; break;
    case IntKind::U32: low = 0; high = UINT32_MAX; break;
    case IntKind::I16: low = INT16_MIN; high = INT16_MAX; break;
    case IntKind::U16: low = 0; high = UINT16_MAX; break;
    case IntKind::I8: low = INT8_MIN; high = INT8_MAX; break;
    case IntKind::U8: low = 0; high = UINT8_MAX; break;
  }
}

Type* TypeTable::make(TypeKind k, std::u16string name) {
  types_.push_back(std::make_unique<Type>());
  Type* t = types_.back().get();
  t->kind = k;
  t->name = std::move(name);
  return t;
}

TypeTable::TypeTable() {
  auto intType = [&](const char* n, IntKind k) {
    Type* t = make(TypeKind::Integer, text::fromAscii(n));
    t->intKind = k;
    intRange(k, t->low, t->high);
    return t;
  };
  classes_.push_back(std::make_unique<vm::ClassInfo>(vm::ClassInfo{u"Exception", nullptr}));
  voidT = make(TypeKind::Void);
  integer = intType("Integer", IntKind::I32);
  int64 = intType("Int64", IntKind::I64);
  cardinal = intType("Cardinal", IntKind::U32);
  byte = intType("Byte", IntKind::U8);
  shortint = intType("ShortInt", IntKind::I8);
  word = intType("Word", IntKind::U16);
  smallint = intType("SmallInt", IntKind::I16);
  Type* b = make(TypeKind::Boolean, u"Boolean");
  b->low = 0; b->high = 1; b->names = {u"False", u"True"};
  boolean = b;
  // Four bytes at a library boundary; the same type as Boolean everywhere else.
  Type* lb = make(TypeKind::Boolean, u"LongBool");
  lb->low = 0; lb->high = 1; lb->names = b->names;
  longBool = lb;
  Type* c = make(TypeKind::Char, u"Char");
  c->low = 0; c->high = 0xFFFF;
  chr = c;
  Type* ac = make(TypeKind::AnsiChar, u"AnsiChar");
  ac->low = 0; ac->high = 0xFF;
  ansiChar = ac;
  real = make(TypeKind::Float, u"Double");
  dateTime = make(TypeKind::Float, u"TDateTime");
  string = make(TypeKind::String, u"string");
  ansiString = make(TypeKind::AnsiString, u"AnsiString");
  variant = make(TypeKind::Variant, u"Variant");
  nil = make(TypeKind::Nil, u"Pointer");
  arrayOfConst = make(TypeKind::ArrayOfConst, u"array of const");
  Type* e = make(TypeKind::Class, u"Exception");
  e->cls = classes_.front().get();
  exceptionClass = e;
  Type* das = make(TypeKind::DynArray, u"array of string");
  das->element = string;
  dynArrayOfString = das;
}

vm::ClassInfo* TypeTable::addClass(std::u16string name, const vm::ClassInfo* parent) {
  classes_.push_back(std::make_unique<vm::ClassInfo>(vm::ClassInfo{std::move(name), parent}));
  return classes_.back().get();
}

const vm::ClassInfo* TypeTable::findClass(std::u16string_view name) const {
  for (const auto& c : classes_)
    if (text::equalsIgnoreCase(c->name, name)) return c.get();
  return nullptr;
}

std::u16string typeName(const Type* t) {
  if (!t) return u"?";
  if (!t->name.empty()) return t->name;
  switch (t->kind) {
    case TypeKind::Set: return u"set of " + typeName(t->element);
    case TypeKind::DynArray: return u"array of " + typeName(t->element);
    case TypeKind::StaticArray: return u"array of " + typeName(t->element);
    case TypeKind::Record: return u"record";
    case TypeKind::Enum: return u"enumeration";
    case TypeKind::Integer: return u"Integer";
    case TypeKind::Proc: return t->element ? u"function" : u"procedure";
    default: return u"?";
  }
}

Value defaultValue(const Type* t) {
  switch (t->kind) {
    case TypeKind::Float: return Value::real(0);
    case TypeKind::String: case TypeKind::AnsiString: return Value::heap(vm::Tag::Str, nullptr);
    case TypeKind::Variant: return Value::empty();
    case TypeKind::Set: return Value::heap(vm::Tag::Set, nullptr);
    case TypeKind::DynArray: case TypeKind::ArrayOfConst: return Value::heap(vm::Tag::Array, nullptr);
    case TypeKind::Class: case TypeKind::Nil: return Value::heap(vm::Tag::Object, nullptr);
    case TypeKind::Proc: return Value::integer(-1);  // no procedure
    case TypeKind::Record: {
      auto* a = new vm::Aggregate;
      a->v.reserve(t->fields.size());
      for (const Field& f : t->fields) a->v.push_back(defaultValue(f.type));
      return Value::heap(vm::Tag::Record, a);
    }
    case TypeKind::StaticArray: {
      auto* a = new vm::Aggregate;
      int64_t n = t->count();
      a->v.reserve(static_cast<size_t>(n));
      for (int64_t k = 0; k < n; ++k) a->v.push_back(defaultValue(t->element));
      return Value::heap(vm::Tag::Array, a);
    }
    default: return Value::integer(0);
  }
}

}  // namespace velmoro::script
