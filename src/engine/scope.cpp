#include "engine/scope.h"

#include "engine/lexer.h"

namespace velmoro::script {

void Scopes::push(Routine* r, bool transparent) {
  scopes_.emplace_back();
  scopes_.back().routine = r;
  scopes_.back().transparent = transparent;
}

void Scopes::pushWith(const Type* record, int slot, int level) {
  push(nullptr, true);
  for (size_t k = 0; k < record->fields.size(); ++k) {
    Symbol s;
    s.kind = SymKind::WithField;
    s.type = record->fields[k].type;
    s.field = static_cast<int>(k);
    s.recordType = record;
    s.slot = slot;
    s.level = level;
    s.used = true;
    scopes_.back().names[foldName(record->fields[k].name)] = s;
  }
}

void Scopes::pop() {
  if (!scopes_.empty()) scopes_.pop_back();
}

void Scopes::popWithHints(Diagnostics& diag) {
  if (scopes_.empty()) return;
  Scope& s = scopes_.back();
  for (const auto& key : s.order) {
    const Symbol& sym = s.names[key];
    if (sym.kind == SymKind::Var && sym.local && !sym.used)
      diag.hint(sym.pos, u"Variable '" + sym.name + u"' is declared but never used");
  }
  scopes_.pop_back();
}

void Scopes::declare(Diagnostics& diag, const std::u16string& name, Symbol s) {
  if (name.empty() || scopes_.empty()) return;
  std::u16string key = foldName(name);
  Scope& sc = scopes_.back();
  if (sc.names.count(key)) {
    diag.error(s.pos, u"Identifier redeclared: '" + name + u"'");
    return;
  }
  s.name = name;
  sc.names.emplace(key, std::move(s));
  sc.order.push_back(key);
}

Symbol* Scopes::find(const std::u16string& key) {
  for (size_t k = scopes_.size(); k-- > 0;) {
    auto it = scopes_[k].names.find(key);
    if (it != scopes_[k].names.end()) return &it->second;
  }
  return nullptr;
}

Symbol* Scopes::findLocal(const std::u16string& key) {
  if (scopes_.empty()) return nullptr;
  auto it = scopes_.back().names.find(key);
  return it == scopes_.back().names.end() ? nullptr : &it->second;
}

void declareSystem(Scopes& scopes, TypeTable& types) {
  Diagnostics none;
  auto type = [&](const char16_t* name, const Type* t) {
    Symbol s;
    s.kind = SymKind::TypeName;
    s.type = t;
    scopes.declare(none, name, s);
  };
  auto constant = [&](const char16_t* name, const Type* t, vm::Value v) {
    Symbol s;
    s.kind = SymKind::Const;
    s.type = t;
    s.value = v;
    scopes.declare(none, name, s);
  };
  type(u"Integer", types.integer);
  type(u"Longint", types.integer);
  type(u"NativeInt", types.int64);
  type(u"Int64", types.int64);
  type(u"Cardinal", types.cardinal);
  type(u"LongWord", types.cardinal);
  type(u"DWORD", types.cardinal);
  type(u"Byte", types.byte);
  type(u"ShortInt", types.shortint);
  type(u"Word", types.word);
  type(u"SmallInt", types.smallint);
  type(u"Boolean", types.boolean);
  type(u"ByteBool", types.boolean);
  type(u"WordBool", types.boolean);
  type(u"LongBool", types.longBool);
  type(u"BOOL", types.longBool);
  type(u"Char", types.chr);
  type(u"WideChar", types.chr);
  type(u"AnsiChar", types.ansiChar);
  type(u"Double", types.real);
  type(u"Extended", types.real);
  type(u"Real", types.real);
  type(u"Single", types.real);
  type(u"Currency", types.real);
  type(u"TDateTime", types.dateTime);
  type(u"TDate", types.dateTime);
  type(u"TTime", types.dateTime);
  type(u"UnicodeString", types.string);
  type(u"WideString", types.string);
  type(u"AnsiString", types.ansiString);
  // Zero-terminated text at a library boundary; strings everywhere else.
  type(u"PWideChar", types.string);
  type(u"PChar", types.string);
  type(u"PAnsiChar", types.ansiString);
  type(u"Variant", types.variant);
  type(u"OleVariant", types.variant);
  type(u"Pointer", types.nil);
  type(u"Exception", types.exceptionClass);
  type(u"TStringArray", types.dynArrayOfString);
  constant(u"True", types.boolean, vm::Value::integer(1));
  constant(u"False", types.boolean, vm::Value::integer(0));
  constant(u"MaxInt", types.integer, vm::Value::integer(INT32_MAX));
  constant(u"MaxLongint", types.integer, vm::Value::integer(INT32_MAX));
  constant(u"Pi", types.real, vm::Value::real(3.14159265358979323846));
  constant(u"Unassigned", types.variant, vm::Value::empty());
  constant(u"Null", types.variant, vm::Value::null());
  // Replace-flags of StringReplace and their set type.
  Type* flags = types.make(TypeKind::Enum, u"TReplaceFlag");
  flags->names = {u"rfReplaceAll", u"rfIgnoreCase"};
  flags->high = 1;
  type(u"TReplaceFlag", flags);
  Type* flagSet = types.make(TypeKind::Set, u"TReplaceFlags");
  flagSet->element = flags;
  type(u"TReplaceFlags", flagSet);
  constant(u"rfReplaceAll", flags, vm::Value::integer(0));
  constant(u"rfIgnoreCase", flags, vm::Value::integer(1));
  // The exception classes the machine raises for faults, and their ancestors.
  struct Cls {
    const char16_t* name;
    const char16_t* parent;
  };
  static const Cls classes[] = {
      {u"EAbort", u"Exception"},         {u"EConvertError", u"Exception"},
      {u"EIntError", u"Exception"},      {u"EDivByZero", u"EIntError"},
      {u"ERangeError", u"EIntError"},    {u"EIntOverflow", u"EIntError"},
      {u"EMathError", u"Exception"},     {u"EZeroDivide", u"EMathError"},
      {u"EInvalidOp", u"EMathError"},    {u"EOverflow", u"EMathError"},
      {u"EAccessViolation", u"Exception"}, {u"EStackOverflow", u"Exception"},
      {u"EVariantError", u"Exception"},  {u"EInOutError", u"Exception"},
      {u"EInvalidCast", u"Exception"},   {u"EOutOfMemory", u"Exception"},
  };
  for (const Cls& c : classes) {
    const vm::ClassInfo* parent = types.findClass(c.parent);
    Type* t = types.make(TypeKind::Class, c.name);
    t->cls = types.addClass(c.name, parent);
    type(c.name, t);
  }
}

}  // namespace velmoro::script
