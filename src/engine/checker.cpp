#include "engine/checker.h"

#include "common/unicode.h"
#include "engine/natives.h"

#include <cmath>

namespace velmoro::script {

using vm::Value;

namespace {

bool isCharType(const Type* t) { return t->kind == TypeKind::Char || t->kind == TypeKind::AnsiChar; }
bool stringLike(const Type* t) { return t->isString() || isCharType(t); }
bool isIntType(const Type* t) { return t->kind == TypeKind::Integer; }
bool isConst(const Expr& e) { return e.kind == EK::Const && e.index != -2; }

}  // namespace

ExprPtr Checker::error(Pos p, std::u16string text) {
  diag_.error(p, std::move(text));
  return constant(p, types_.integer, Value::integer(0));
}

ExprPtr Checker::constant(Pos p, const Type* t, Value v) {
  auto e = std::make_unique<Expr>(EK::Const, p);
  e->type = t;
  e->value = std::move(v);
  return e;
}

bool Checker::sameType(const Type* a, const Type* b) const {
  if (a == b) return true;
  if (!a || !b) return false;
  if (a->kind != b->kind) return false;
  switch (a->kind) {
    case TypeKind::Integer: return a->intKind == b->intKind;
    case TypeKind::Float: case TypeKind::String: case TypeKind::AnsiString: case TypeKind::Char:
    case TypeKind::AnsiChar: case TypeKind::Boolean: case TypeKind::Variant: return true;
    case TypeKind::DynArray: return sameType(a->element, b->element);
    case TypeKind::Set: return sameType(a->element, b->element) || (a->element->kind == b->element->kind && a->element->kind != TypeKind::Enum);
    case TypeKind::Enum: return a->names == b->names && a->low == b->low;
    case TypeKind::Class: return a->cls == b->cls;
    default: return false;
  }
}

bool Checker::sameSignature(const std::vector<Param>& a, const Type* ra, const std::vector<Param>& b,
                            const Type* rb) const {
  if (a.size() != b.size()) return false;
  if ((ra == nullptr) != (rb == nullptr)) return false;
  if (ra && !sameType(ra, rb)) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (a[k].mode != b[k].mode || !sameType(a[k].type, b[k].type)) return false;
  return true;
}

bool Checker::writable(const Type* t) const {
  switch (t->kind) {
    case TypeKind::Integer: case TypeKind::Char: case TypeKind::AnsiChar: case TypeKind::Boolean:
    case TypeKind::Float: case TypeKind::String: case TypeKind::AnsiString: case TypeKind::Variant:
    case TypeKind::Enum:
      return true;
    default: return false;
  }
}

bool Checker::addressable(const Expr& e) const {
  switch (e.kind) {
    case EK::Var: return true;
    case EK::Field: return addressable(*e.a) || (e.a->kind == EK::Var);
    case EK::Index: return addressable(*e.a);
    default: return false;
  }
}

ExprPtr Checker::cloneLvalue(const Expr& e) {
  auto c = std::make_unique<Expr>(e.kind, e.pos);
  c->type = e.type;
  c->value = e.value;
  c->op = e.op;
  c->slot = e.slot;
  c->level = e.level;
  c->index = e.index;
  c->hops = e.hops;
  c->ref = e.ref;
  c->cls = e.cls;
  c->byRef = e.byRef;
  if (e.a) c->a = cloneLvalue(*e.a);
  if (e.b) c->b = cloneLvalue(*e.b);
  for (const auto& x : e.args) c->args.push_back(x ? cloneLvalue(*x) : nullptr);
  return c;
}

bool Checker::assignable(const Type* from, const Type* to, const Expr* e) const {
  if (sameType(from, to)) return true;
  switch (to->kind) {
    case TypeKind::Integer: return isIntType(from) || from->kind == TypeKind::Variant;
    case TypeKind::Float: return from->isNumeric() || from->kind == TypeKind::Variant;
    case TypeKind::String: case TypeKind::AnsiString: return stringLike(from) || from->kind == TypeKind::Variant;
    case TypeKind::Char: case TypeKind::AnsiChar:
      return isCharType(from) || from->kind == TypeKind::Variant;
    case TypeKind::Variant:
      return writable(from) || from->kind == TypeKind::Nil;
    case TypeKind::Boolean: return from->kind == TypeKind::Variant;
    case TypeKind::Enum: return false;
    case TypeKind::Set:
      return from->kind == TypeKind::Set &&
             (from->element == nullptr || sameType(from->element, to->element) ||
              (from->element->isOrdinal() && to->element->isOrdinal() &&
               (from->element->kind == to->element->kind ||
                (isCharType(from->element) && isCharType(to->element)))));
    case TypeKind::DynArray:
      return from->kind == TypeKind::Nil || (from->kind == TypeKind::DynArray && sameType(from->element, to->element));
    case TypeKind::ArrayOfConst: return from->kind == TypeKind::DynArray;
    case TypeKind::Class:
      return from->kind == TypeKind::Nil || (from->kind == TypeKind::Class && from->cls->inheritsFrom(to->cls));
    case TypeKind::Record: case TypeKind::StaticArray:
      return false;
    default: (void)e; return false;
  }
}

// Builds the conversion node; constants are converted at once.
ExprPtr Checker::makeConvert(ExprPtr e, const Type* to) {
  const Type* from = e->type;
  if (from == to) return e;
  if (isConst(*e)) {
    Value& v = e->value;
    if (to->kind == TypeKind::Float && isIntType(from)) {
      e->value = Value::real(static_cast<double>(v.i));
    } else if (to->kind == TypeKind::Integer && from->isOrdinal()) {
      e->value = Value::integer(narrow(to->intKind, v.i));
    } else if (to->isString() && isCharType(from)) {
      e->value = Value::string(std::u16string(1, static_cast<char16_t>(v.i)));
      if (to->kind == TypeKind::AnsiString) {
        std::string u8 = text::toUtf8(e->value.str());
        e->value = Value::string(std::u16string(u8.begin(), u8.end()));
        for (auto& c : const_cast<std::u16string&>(e->value.str())) c &= 0xFF;
      }
    } else if (to->kind == TypeKind::AnsiString && from->kind == TypeKind::String) {
      std::string u8 = text::toUtf8(v.str());
      std::u16string bytes;
      for (unsigned char c : u8) bytes += static_cast<char16_t>(c);
      e->value = Value::string(std::move(bytes));
    } else if (to->kind == TypeKind::Variant && writable(from)) {
      // constant to variant: tag it
      if (from->kind == TypeKind::Float) {
      } else if (from->kind == TypeKind::Boolean) {
        e->value = Value::boolean(v.i != 0);
      } else if (isCharType(from)) {
        e->value = Value::string(std::u16string(1, static_cast<char16_t>(v.i)));
      } else if (from->isString()) {
      } else if (from->kind == TypeKind::Nil) {
        e->value = Value::null();
      }
    } else if (from->kind == TypeKind::Nil || from->kind == TypeKind::Set || from->isOrdinal()) {
    } else {
      goto node;
    }
    e->type = to;
    return e;
  }
node:
  auto c = std::make_unique<Expr>(EK::Convert, e->pos);
  c->type = to;
  c->a = std::move(e);
  return c;
}

ExprPtr Checker::convert(ExprPtr e, const Type* to) {
  if (!e) return constant(Pos{}, to, defaultValue(to));
  const Type* from = e->type;
  if (!from || !to) return e;
  if (e->kind == EK::SetCons && to->kind == TypeKind::Set) {
    e->type = to;
    for (auto& x : e->args) {
      if (x->kind == EK::Binary && x->op == Oper::In) {
        x->a = convert(std::move(x->a), to->element);
        x->b = convert(std::move(x->b), to->element);
      } else {
        x = convert(std::move(x), to->element);
      }
    }
    return fold(std::move(e));
  }
  if (e->kind == EK::SetCons && (to->kind == TypeKind::ArrayOfConst || to->kind == TypeKind::DynArray))
    return toOpenArray(std::move(e), to->kind == TypeKind::ArrayOfConst ? types_.variant : to->element);
  if (sameType(from, to)) {
    if (isIntType(to) && from != to && from->intKind != to->intKind) return makeConvert(std::move(e), to);
    if (from->kind == TypeKind::Enum || from->kind == TypeKind::Set) e->type = to;
    return e;
  }
  if (!assignable(from, to, e.get())) {
    // a one-character string constant is a Char
    if (isCharType(to) && isConst(*e) && from->isString() && e->value.str().size() == 1) {
      e->value = Value::integer(e->value.str()[0]);
      e->type = to;
      return e;
    }
    diag_.error(e->pos, u"Incompatible types: '" + typeName(to) + u"' and '" + typeName(from) + u"'");
    return constant(e->pos, to, defaultValue(to));
  }
  if (isIntType(from) && isIntType(to)) {
    int64_t lo, hi;
    intRange(to->intKind, lo, hi);
    if (from->low >= lo && from->high <= hi && !isConst(*e)) {
      return e;  // always fits: no narrowing
    }
  }
  if (to->kind == TypeKind::Class || to->kind == TypeKind::DynArray) {
    e->type = to;
    return e;
  }
  return makeConvert(std::move(e), to);
}

ExprPtr Checker::toOpenArray(ExprPtr e, const Type* elementType) {
  auto a = std::make_unique<Expr>(EK::OpenArray, e->pos);
  Type* t = types_.make(TypeKind::DynArray);
  t->element = elementType;
  a->type = t;
  for (auto& x : e->args) {
    if (x->kind == EK::Binary && x->op == Oper::In) {
      diag_.error(x->pos, u"Ranges are not allowed here");
      continue;
    }
    if (elementType->kind == TypeKind::Variant && !writable(x->type)) {
      diag_.error(x->pos, u"Incompatible types: 'const' and '" + typeName(x->type) + u"'");
      continue;
    }
    a->args.push_back(convert(std::move(x), elementType));
  }
  return a;
}

ExprPtr Checker::finishConstructor(ExprPtr e) {
  // typed as a set of its first element's type until a use decides otherwise
  const Type* elem = nullptr;
  for (auto& x : e->args) {
    const Type* t = x->type;
    if (!t->isOrdinal()) {
      elem = nullptr;
      Type* open = types_.make(TypeKind::Set);
      open->element = nullptr;
      e->type = open;
      return e;  // only an open array can take it
    }
    if (!elem) elem = t;
  }
  Type* st = types_.make(TypeKind::Set);
  if (elem && isIntType(elem)) {
    Type* b = types_.make(TypeKind::Integer, u"Byte");
    b->intKind = IntKind::U8;
    b->low = 0;
    b->high = 255;
    elem = b;
  }
  st->element = elem;
  e->type = st;
  return e;  // converted (and folded) where it is used
}

ExprPtr Checker::cast(ExprPtr e, const Type* to, Pos p) {
  const Type* from = e->type;
  if (assignable(from, to, e.get()) && !(to->isOrdinal() && isIntType(from))) return convert(std::move(e), to);
  if (to->isOrdinal() && from->isOrdinal()) {
    if (isConst(*e)) {
      int64_t v = e->value.i;
      if (to->kind == TypeKind::Integer) v = narrow(to->intKind, v);
      else if (to->kind == TypeKind::Char) v = static_cast<uint16_t>(v);
      else if (to->kind == TypeKind::AnsiChar) v = static_cast<uint8_t>(v);
      else if (to->kind == TypeKind::Boolean) v = v != 0;
      return constant(p, to, Value::integer(v));
    }
    auto c = std::make_unique<Expr>(EK::Convert, p);
    c->type = to;
    c->a = std::move(e);
    return c;
  }
  if (to->kind == TypeKind::Class && from->kind == TypeKind::Class) return asClass(std::move(e), to, p);
  if (to->kind == TypeKind::Variant || from->kind == TypeKind::Variant) return convert(std::move(e), to);
  return error(p, u"Invalid typecast from '" + typeName(from) + u"' to '" + typeName(to) + u"'");
}

ExprPtr Checker::retype(ExprPtr e, const Type* to) {
  if (isIntType(to)) return convert(std::move(e), to);
  auto c = std::make_unique<Expr>(EK::Convert, e->pos);
  c->type = to;
  c->a = std::move(e);
  return c;
}

ExprPtr Checker::ordinalValue(ExprPtr e) {
  if (isIntType(e->type)) return e;
  if (isConst(*e)) {
    e->type = types_.int64;
    return e;
  }
  auto c = std::make_unique<Expr>(EK::Convert, e->pos);
  c->type = types_.int64;
  c->a = std::move(e);
  return c;
}

ExprPtr Checker::condition(ExprPtr e) {
  if (e->type->kind == TypeKind::Boolean) return e;
  if (e->type->kind == TypeKind::Variant) return convert(std::move(e), types_.boolean);
  diag_.error(e->pos, u"Incompatible types: 'Boolean' and '" + typeName(e->type) + u"'");
  return constant(e->pos, types_.boolean, Value::integer(0));
}

ExprPtr Checker::fold(ExprPtr e) {
  if (e->kind == EK::SetCons) {
    for (auto& x : e->args) {
      if (x->kind == EK::Binary && x->op == Oper::In) {
        if (!isConst(*x->a) || !isConst(*x->b)) return e;
      } else if (!isConst(*x)) {
        return e;
      }
    }
    auto* s = new vm::SetObj;
    for (auto& x : e->args) {
      int64_t lo, hi;
      if (x->kind == EK::Binary) {
        lo = x->a->value.i;
        hi = x->b->value.i;
      } else {
        lo = hi = x->value.i;
      }
      for (int64_t k = std::max<int64_t>(lo, 0); k <= hi && k < 256; ++k) s->bits.set(static_cast<size_t>(k));
    }
    return constant(e->pos, e->type, Value::heap(vm::Tag::Set, s));
  }
  if (e->kind == EK::Unary && isConst(*e->a)) {
    const Value& v = e->a->value;
    const Type* t = e->a->type;
    if (e->op == Oper::Neg) {
      if (t->kind == TypeKind::Float) return constant(e->pos, e->type, Value::real(-v.d));
      return constant(e->pos, e->type, Value::integer(static_cast<int64_t>(0ull - static_cast<uint64_t>(v.i))));
    }
    if (e->op == Oper::Not) {
      if (t->kind == TypeKind::Boolean) return constant(e->pos, e->type, Value::integer(!v.i));
      return constant(e->pos, e->type, Value::integer(narrow(e->type->intKind, ~v.i)));
    }
    return e;
  }
  if (e->kind != EK::Binary || !isConst(*e->a) || !isConst(*e->b)) return e;
  const Type* t = e->a->type;
  const Value& x = e->a->value;
  const Value& y = e->b->value;
  auto rel = [&](int c) -> ExprPtr {
    bool r = false;
    switch (e->op) {
      case Oper::Eq: r = c == 0; break;
      case Oper::Ne: r = c != 0; break;
      case Oper::Lt: r = c < 0; break;
      case Oper::Gt: r = c > 0; break;
      case Oper::Le: r = c <= 0; break;
      case Oper::Ge: r = c >= 0; break;
      default: return nullptr;
    }
    return constant(e->pos, types_.boolean, Value::integer(r));
  };
  if (t->kind == TypeKind::Float) {
    double a = x.d, b = y.d;
    switch (e->op) {
      case Oper::Add: return constant(e->pos, e->type, Value::real(a + b));
      case Oper::Sub: return constant(e->pos, e->type, Value::real(a - b));
      case Oper::Mul: return constant(e->pos, e->type, Value::real(a * b));
      case Oper::FDiv:
        if (b == 0) return e;
        return constant(e->pos, e->type, Value::real(a / b));
      default:
        if (auto r = rel(a < b ? -1 : a > b ? 1 : 0)) return r;
        return e;
    }
  }
  if (t->isString()) {
    const std::u16string& a = x.str();
    const std::u16string& b = y.str();
    if (e->op == Oper::Add) return constant(e->pos, e->type, Value::string(a + b));
    if (auto r = rel(a.compare(b))) return r;
    return e;
  }
  if (t->isOrdinal()) {
    uint64_t a = static_cast<uint64_t>(x.i), b = static_cast<uint64_t>(y.i);
    int64_t r;
    switch (e->op) {
      case Oper::Add: r = static_cast<int64_t>(a + b); break;
      case Oper::Sub: r = static_cast<int64_t>(a - b); break;
      case Oper::Mul: r = static_cast<int64_t>(a * b); break;
      case Oper::IDiv:
        if (y.i == 0 || (x.i == INT64_MIN && y.i == -1)) return e;
        r = x.i / y.i;
        break;
      case Oper::Mod:
        if (y.i == 0 || (x.i == INT64_MIN && y.i == -1)) return e;
        r = x.i % y.i;
        break;
      case Oper::And: r = x.i & y.i; break;
      case Oper::Or: r = x.i | y.i; break;
      case Oper::Xor: r = x.i ^ y.i; break;
      case Oper::Shl: r = static_cast<int64_t>(a << (b & 63)); break;
      case Oper::Shr: r = static_cast<int64_t>(a >> (b & 63)); break;
      default:
        if (auto c = rel(x.i < y.i ? -1 : x.i > y.i ? 1 : 0)) return c;
        return e;
    }
    return constant(e->pos, e->type, Value::integer(r));
  }
  return e;
}

ExprPtr Checker::unary(Oper op, ExprPtr a, Pos p) {
  const Type* t = a->type;
  if (op == Oper::Add) {
    if (!t->isNumeric() && t->kind != TypeKind::Variant) return error(p, u"Operator not applicable to this operand type");
    return a;
  }
  auto e = std::make_unique<Expr>(EK::Unary, p);
  e->op = op;
  if (op == Oper::Neg) {
    if (t->kind == TypeKind::Variant) {
      ExprPtr zero = constant(p, types_.variant, Value::integer(0));
      return binary(Oper::Sub, std::move(zero), std::move(a), p);
    }
    if (!t->isNumeric()) return error(p, u"Operator not applicable to this operand type");
    e->type = t->kind == TypeKind::Float ? types_.real : types_.int64;
  } else {  // Not
    if (t->kind == TypeKind::Boolean) {
      e->type = types_.boolean;
    } else if (isIntType(t)) {
      e->type = t->intKind == IntKind::U32 || t->intKind == IntKind::I64 ? t : types_.integer;
      if (t->intKind == IntKind::U8 || t->intKind == IntKind::U16) e->type = t;
    } else if (t->kind == TypeKind::Variant) {
      a = convert(std::move(a), types_.boolean);
      e->type = types_.boolean;
    } else {
      return error(p, u"Operator not applicable to this operand type");
    }
  }
  e->a = std::move(a);
  return fold(std::move(e));
}

ExprPtr Checker::binary(Oper op, ExprPtr a, ExprPtr b, Pos p) {
  const Type* ta = a->type;
  const Type* tb = b->type;
  auto e = std::make_unique<Expr>(EK::Binary, p);
  e->op = op;
  auto bad = [&]() {
    return error(p, u"Operator not applicable to this operand type ('" + typeName(ta) + u"' and '" +
                        typeName(tb) + u"')");
  };
  bool relational = op == Oper::Eq || op == Oper::Ne || op == Oper::Lt || op == Oper::Gt || op == Oper::Le ||
                    op == Oper::Ge;
  if (op == Oper::In) {
    if (b->kind == EK::SetCons && b->type->element == nullptr && b->args.empty()) {
      return constant(p, types_.boolean, Value::integer(0));
    }
    if (tb->kind != TypeKind::Set || !ta->isOrdinal()) return bad();
    if (b->kind == EK::SetCons) {
      // [..] written in place: typed by the element
      Type* st = types_.make(TypeKind::Set);
      st->element = ta;
      b = convert(std::move(b), st);
    }
    e->a = ordinalValue(std::move(a));
    e->b = std::move(b);
    e->type = types_.boolean;
    return e;
  }
  // variants take the dynamic path
  if (ta->kind == TypeKind::Variant || tb->kind == TypeKind::Variant) {
    if (!writable(ta) || !writable(tb)) return bad();
    if (op == Oper::Shl || op == Oper::Shr) return bad();
    e->a = convert(std::move(a), types_.variant);
    e->b = convert(std::move(b), types_.variant);
    e->type = relational ? types_.boolean : types_.variant;
    return e;
  }
  if (ta->kind == TypeKind::Set || tb->kind == TypeKind::Set) {
    if (ta->kind != TypeKind::Set || tb->kind != TypeKind::Set) return bad();
    const Type* st = ta->element ? ta : tb;
    if (a->kind == EK::SetCons || !ta->element) a = convert(std::move(a), st);
    if (b->kind == EK::SetCons || !tb->element) b = convert(std::move(b), st);
    if (!assignable(b->type, a->type)) return bad();
    if (op == Oper::Add || op == Oper::Sub || op == Oper::Mul) e->type = a->type;
    else if (op == Oper::Eq || op == Oper::Ne || op == Oper::Le || op == Oper::Ge) e->type = types_.boolean;
    else return bad();
    e->a = std::move(a);
    e->b = std::move(b);
    return e;
  }
  switch (op) {
    case Oper::Add: case Oper::Sub: case Oper::Mul: case Oper::FDiv:
      if (op == Oper::Add && stringLike(ta) && stringLike(tb)) {
        const Type* st = ta->kind == TypeKind::AnsiString && tb->kind == TypeKind::AnsiString
                             ? types_.ansiString : types_.string;
        e->a = convert(std::move(a), st);
        e->b = convert(std::move(b), st);
        e->type = st;
        return fold(std::move(e));
      }
      if (!ta->isNumeric() || !tb->isNumeric()) return bad();
      if (op == Oper::FDiv || ta->kind == TypeKind::Float || tb->kind == TypeKind::Float) {
        e->a = convert(std::move(a), types_.real);
        e->b = convert(std::move(b), types_.real);
        e->type = ta == types_.dateTime || tb == types_.dateTime ? types_.dateTime : types_.real;
        if (op == Oper::FDiv) e->type = types_.real;
      } else {
        e->a = convert(std::move(a), types_.int64);
        e->b = convert(std::move(b), types_.int64);
        e->type = types_.int64;
      }
      return fold(std::move(e));
    case Oper::IDiv: case Oper::Mod:
      if (!isIntType(ta) || !isIntType(tb)) return bad();
      e->a = convert(std::move(a), types_.int64);
      e->b = convert(std::move(b), types_.int64);
      e->type = types_.int64;
      return fold(std::move(e));
    case Oper::Shl: case Oper::Shr: {
      if (!isIntType(ta) || !isIntType(tb)) return bad();
      bool wide = ta->intKind == IntKind::I64 || isConst(*a);  // constants shift in 64 bits
      e->type = wide ? types_.int64 : (ta->intKind == IntKind::U32 ? types_.cardinal : types_.integer);
      e->index = wide ? 64 : 32;
      e->a = convert(std::move(a), types_.int64);
      e->b = convert(std::move(b), types_.int64);
      if (wide) return fold(std::move(e));
      return e;
    }
    case Oper::And: case Oper::Or: case Oper::Xor:
      if (ta->kind == TypeKind::Boolean && tb->kind == TypeKind::Boolean) {
        e->type = types_.boolean;
        e->a = std::move(a);
        e->b = std::move(b);
        return fold(std::move(e));
      }
      if (isIntType(ta) && isIntType(tb)) {
        e->a = convert(std::move(a), types_.int64);
        e->b = convert(std::move(b), types_.int64);
        e->type = types_.int64;
        return fold(std::move(e));
      }
      return bad();
    default: break;
  }
  if (!relational) return bad();
  e->type = types_.boolean;
  if (ta->isNumeric() && tb->isNumeric()) {
    const Type* common = ta->kind == TypeKind::Float || tb->kind == TypeKind::Float ? types_.real : types_.int64;
    e->a = convert(std::move(a), common);
    e->b = convert(std::move(b), common);
    return fold(std::move(e));
  }
  if (stringLike(ta) && stringLike(tb)) {
    if (isCharType(ta) && isCharType(tb)) {
      e->a = ordinalValue(std::move(a));
      e->b = ordinalValue(std::move(b));
      return fold(std::move(e));
    }
    const Type* st = ta->kind == TypeKind::AnsiString && tb->kind == TypeKind::AnsiString
                         ? types_.ansiString : types_.string;
    e->a = convert(std::move(a), st);
    e->b = convert(std::move(b), st);
    return fold(std::move(e));
  }
  if (ta->isOrdinal() && tb->isOrdinal() && sameType(ta, tb)) {
    e->a = ordinalValue(std::move(a));
    e->b = ordinalValue(std::move(b));
    return fold(std::move(e));
  }
  bool refs = (ta->kind == TypeKind::Class || ta->kind == TypeKind::Nil || ta->kind == TypeKind::DynArray) &&
              (tb->kind == TypeKind::Class || tb->kind == TypeKind::Nil || tb->kind == TypeKind::DynArray);
  if (refs && (op == Oper::Eq || op == Oper::Ne)) {
    e->index = 1;  // identity comparison
    e->a = std::move(a);
    e->b = std::move(b);
    return e;
  }
  return bad();
}

ExprPtr Checker::index(ExprPtr base, ExprPtr idx, Pos p) {
  const Type* t = base->type;
  auto e = std::make_unique<Expr>(EK::Index, p);
  if (t->isString()) {
    e->type = t->kind == TypeKind::AnsiString ? types_.ansiChar : types_.chr;
    e->b = convert(std::move(idx), types_.int64);
  } else if (t->kind == TypeKind::StaticArray) {
    e->type = t->element;
    ExprPtr i = ordinalValue(convert(std::move(idx), t->index));
    if (t->low != 0) i = binary(Oper::Sub, std::move(i), constant(p, types_.int64, Value::integer(t->low)), p);
    e->b = std::move(i);
  } else if (t->kind == TypeKind::DynArray || t->kind == TypeKind::ArrayOfConst) {
    e->type = t->kind == TypeKind::ArrayOfConst ? types_.variant : t->element;
    e->b = convert(std::move(idx), types_.int64);
  } else if (t->kind == TypeKind::Variant) {
    return error(p, u"Variant arrays are not supported");
  } else {
    return error(p, u"Array type required");
  }
  e->a = std::move(base);
  return e;
}

ExprPtr Checker::field(ExprPtr base, const std::u16string& name, Pos p) {
  const Type* t = base->type;
  if (t->kind != TypeKind::Record) return error(p, u"Record, object or class type required");
  for (size_t k = 0; k < t->fields.size(); ++k) {
    if (text::equalsIgnoreCase(t->fields[k].name, name)) {
      auto e = std::make_unique<Expr>(EK::Field, p);
      e->index = static_cast<int>(k);
      e->type = t->fields[k].type;
      e->a = std::move(base);
      return e;
    }
  }
  return error(p, u"Undeclared identifier: '" + name + u"'");
}

ExprPtr Checker::isClass(ExprPtr e, const Type* t, Pos p) {
  if (e->type->kind != TypeKind::Class || t->kind != TypeKind::Class)
    return error(p, u"Class type required for 'is'");
  auto r = std::make_unique<Expr>(EK::Binary, p);
  r->op = Oper::Is;
  r->cls = t->cls;
  r->type = types_.boolean;
  r->a = std::move(e);
  return r;
}

ExprPtr Checker::asClass(ExprPtr e, const Type* t, Pos p) {
  if (e->type->kind != TypeKind::Class || t->kind != TypeKind::Class)
    return error(p, u"Class type required for 'as'");
  auto r = std::make_unique<Expr>(EK::Convert, p);
  r->type = t;
  r->cls = t->cls;
  r->a = std::move(e);
  return r;
}

ExprPtr Checker::classMethod(const Type* cls, const std::u16string& member, std::vector<ExprPtr> args, Pos p) {
  auto e = std::make_unique<Expr>(EK::NewObject, p);
  e->type = cls;
  e->cls = cls->cls;
  if (member == u"create") {
    if (args.size() != 1) return error(p, u"Wrong number of parameters for 'Create'");
    e->a = convert(std::move(args[0]), types_.string);
    return e;
  }
  if (member == u"createfmt") {
    if (args.size() != 2) return error(p, u"Wrong number of parameters for 'CreateFmt'");
    std::vector<ExprPtr> fa;
    fa.push_back(std::move(args[0]));
    fa.push_back(std::move(args[1]));
    e->a = native(findNative(u"format"), u"Format", std::move(fa), p);
    return e;
  }
  if (member == u"classname") return constant(p, types_.string, Value::string(cls->cls->name));
  return error(p, u"Undeclared identifier: '" + member + u"'");
}

ExprPtr Checker::objectMember(ExprPtr obj, const std::u16string& member, std::vector<ExprPtr> args, Pos p) {
  if ((member == u"message" && obj->type->cls && obj->type->cls->inheritsFrom(types_.exceptionInfo())) ||
      member == u"classname") {
    if (!args.empty()) return error(p, u"Too many parameters");
    auto e = std::make_unique<Expr>(EK::ExcMember, p);
    e->index = member == u"message" ? 0 : 1;
    e->type = types_.string;
    e->a = std::move(obj);
    return e;
  }
  if (member == u"free") {
    auto e = std::make_unique<Expr>(EK::Native, p);
    e->index = findNative(u"__free");
    e->type = types_.voidT;
    e->args.push_back(std::move(obj));
    e->byRef.push_back(0);
    return e;
  }
  return error(p, u"Undeclared identifier: '" + member + u"'");
}

const Type* Checker::typeOfCode(char code) const {
  switch (code) {
    case 'i': case 'I': return types_.int64;
    case 'f': case 'F': return types_.real;
    case 'd': case 'D': return types_.dateTime;
    case 's': case 'S': return types_.string;
    case 'c': case 'C': return types_.chr;
    case 'b': case 'B': return types_.boolean;
    case 'v': case 'V': return types_.variant;
    case 'a': return types_.arrayOfConst;
    default: return types_.voidT;
  }
}

bool Checker::fits(char code, const Expr& arg, bool exact) const {
  const Type* t = arg.type;
  switch (code) {
    case 'i': return isIntType(t);
    case 'f': case 'd': return exact ? t->kind == TypeKind::Float : t->isNumeric();
    case 's': return exact ? t->isString() : stringLike(t) || t->kind == TypeKind::Variant;
    case 'c': return isCharType(t) || (!exact && isConst(arg) && t->isString() && arg.value.str().size() == 1);
    case 'b': return t->kind == TypeKind::Boolean || (!exact && t->kind == TypeKind::Variant);
    case 'v': return writable(t) || t->kind == TypeKind::Nil;
    case 'a': return arg.kind == EK::SetCons || t->kind == TypeKind::ArrayOfConst ||
                     (t->kind == TypeKind::DynArray && t->element && writable(t->element));
    case 'y': return t->kind == TypeKind::DynArray || t->kind == TypeKind::ArrayOfConst;
    case '*': return true;
    case 'I': return isIntType(t) && addressable(arg);
    case 'F': case 'D': return t->kind == TypeKind::Float && addressable(arg);
    case 'S': return t->kind == TypeKind::String && addressable(arg);
    case 'B': return t->kind == TypeKind::Boolean && addressable(arg);
    case 'V': return t->kind == TypeKind::Variant && addressable(arg);
    case 'Y': return t->kind == TypeKind::DynArray && addressable(arg);
    default: return false;
  }
}

ExprPtr Checker::native(int index, std::u16string_view name, std::vector<ExprPtr> args, Pos p) {
  const NativeDef* table = nativeTable();
  int n = nativeCount();
  if (index < 0) return error(p, u"Undeclared identifier: '" + std::u16string(name) + u"'");
  std::string first = table[index].name;
  int chosen = -1;
  for (int pass = 0; pass < 2 && chosen < 0; ++pass) {
    for (int k = index; k < n && first == table[k].name; ++k) {
      const char* sig = table[k].params;
      size_t len = std::char_traits<char>::length(sig);
      if (len != args.size()) continue;
      bool ok = true;
      for (size_t j = 0; j < len && ok; ++j) ok = fits(sig[j], *args[j], pass == 0);
      if (ok) {
        chosen = k;
        break;
      }
    }
  }
  if (chosen < 0) {
    bool countOk = false;
    for (int k = index; k < n && first == table[k].name; ++k)
      if (std::char_traits<char>::length(table[k].params) == args.size()) countOk = true;
    if (!countOk) return error(p, u"Wrong number of parameters for '" + std::u16string(name) + u"'");
    return error(p, u"No overload of '" + std::u16string(name) + u"' accepts these arguments");
  }
  const NativeDef& d = table[chosen];
  auto e = std::make_unique<Expr>(EK::Native, p);
  e->index = chosen;
  e->type = d.result == '-' ? types_.voidT : typeOfCode(d.result);
  for (size_t j = 0; j < args.size(); ++j) {
    char code = d.params[j];
    bool byRef = code >= 'A' && code <= 'Z';
    if (byRef) {
      e->args.push_back(std::move(args[j]));
    } else if (code == '*' || code == 'y') {
      e->args.push_back(std::move(args[j]));
    } else if (code == 'a') {
      if (args[j]->kind == EK::SetCons) e->args.push_back(toOpenArray(std::move(args[j]), types_.variant));
      else if (args[j]->type->kind == TypeKind::DynArray && args[j]->type->element->kind != TypeKind::Variant) {
        e->args.push_back(std::move(args[j]));  // converted element by element at run time
      } else {
        e->args.push_back(std::move(args[j]));
      }
    } else {
      e->args.push_back(convert(std::move(args[j]), typeOfCode(code)));
    }
    e->byRef.push_back(byRef ? 1 : 0);
  }
  return e;
}

ExprPtr Checker::nativeCall(std::u16string_view foldedName, ExprPtr arg, Pos p) {
  std::vector<ExprPtr> args;
  args.push_back(std::move(arg));
  return native(findNative(foldedName), foldedName, std::move(args), p);
}

ExprPtr Checker::magic(std::u16string_view key, std::vector<ExprPtr> args, Pos p) {
  auto one = [&]() -> Expr* {
    if (args.size() != 1) {
      diag_.error(p, u"Wrong number of parameters for '" + std::u16string(key) + u"'");
      return nullptr;
    }
    return args[0].get();
  };
  if (key == u"length") {
    Expr* a = one();
    if (!a) return constant(p, types_.integer, Value::integer(0));
    const Type* t = a->type;
    if (t->kind == TypeKind::StaticArray) return constant(p, types_.integer, Value::integer(t->count()));
    if (isCharType(t)) return constant(p, types_.integer, Value::integer(1));
    if (!t->isString() && t->kind != TypeKind::DynArray && t->kind != TypeKind::ArrayOfConst &&
        t->kind != TypeKind::Variant)
      return error(p, u"Incompatible type for 'Length'");
    auto e = std::make_unique<Expr>(EK::Native, p);
    e->index = findNative(u"length");
    e->type = types_.integer;
    if (isConst(*args[0]) && t->isString())
      return constant(p, types_.integer, Value::integer(static_cast<int64_t>(args[0]->value.str().size())));
    e->args.push_back(std::move(args[0]));
    e->byRef.push_back(0);
    return e;
  }
  if (key == u"ord") {
    Expr* a = one();
    if (!a) return constant(p, types_.integer, Value::integer(0));
    if (!a->type->isOrdinal()) {
      if (isConst(*a) && a->type->isString() && a->value.str().size() == 1)
        return constant(p, types_.integer, Value::integer(a->value.str()[0]));
      return error(p, u"Ordinal type required");
    }
    ExprPtr v = ordinalValue(std::move(args[0]));
    if (!isConst(*v)) v->type = a && isIntType(v->type) ? v->type : types_.int64;
    return v;
  }
  if (key == u"chr") {
    Expr* a = one();
    if (!a) return constant(p, types_.chr, Value::integer(0));
    if (!isIntType(a->type)) return error(p, u"Incompatible types: 'Integer' and '" + typeName(a->type) + u"'");
    return cast(std::move(args[0]), types_.chr, p);
  }
  if (key == u"succ" || key == u"pred") {
    Expr* a = one();
    if (!a) return constant(p, types_.integer, Value::integer(0));
    const Type* t = a->type;
    if (!t->isOrdinal()) return error(p, u"Ordinal type required");
    ExprPtr s = binary(key == u"succ" ? Oper::Add : Oper::Sub, ordinalValue(std::move(args[0])),
                       constant(p, types_.int64, Value::integer(1)), p);
    if (isIntType(t)) return s;
    if (isConst(*s)) {
      s->type = t;
      return s;
    }
    return retype(std::move(s), t);
  }
  if (key == u"odd") {
    Expr* a = one();
    if (!a || !isIntType(a->type)) return error(p, u"Integer expression expected");
    ExprPtr m = binary(Oper::And, std::move(args[0]), constant(p, types_.int64, Value::integer(1)), p);
    return binary(Oper::Ne, std::move(m), constant(p, types_.int64, Value::integer(0)), p);
  }
  if (key == u"abs" || key == u"sqr") {
    Expr* a = one();
    if (!a || !a->type->isNumeric()) return error(p, u"Numeric expression expected");
    return native(findNative(key), key, std::move(args), p);
  }
  if (key == u"assigned") {
    Expr* a = one();
    if (!a) return constant(p, types_.boolean, Value::integer(0));
    const Type* t = a->type;
    if (t->kind != TypeKind::Class && t->kind != TypeKind::DynArray && t->kind != TypeKind::Nil)
      return error(p, u"Pointer, class or dynamic array expected");
    return binary(Oper::Ne, std::move(args[0]), constant(p, types_.nil, Value::heap(vm::Tag::Object, nullptr)), p);
  }
  if (key == u"sizeof") {
    Expr* a = one();
    if (!a) return constant(p, types_.integer, Value::integer(0));
    int64_t size = 8;
    const Type* t = a->type;
    if (isIntType(t)) {
      switch (t->intKind) {
        case IntKind::I8: case IntKind::U8: size = 1; break;
        case IntKind::I16: case IntKind::U16: size = 2; break;
        case IntKind::I32: case IntKind::U32: size = 4; break;
        default: size = 8;
      }
    } else if (t->kind == TypeKind::Char) {
      size = 2;
    } else if (t->kind == TypeKind::Boolean || t->kind == TypeKind::AnsiChar) {
      size = 1;
    }
    return constant(p, types_.integer, Value::integer(size));
  }
  if (key == u"concat") {
    if (args.empty()) return error(p, u"Wrong number of parameters for 'Concat'");
    ExprPtr r = std::move(args[0]);
    for (size_t k = 1; k < args.size(); ++k) r = binary(Oper::Add, std::move(r), std::move(args[k]), p);
    if (!stringLike(r->type)) return error(p, u"String expression expected");
    return convert(std::move(r), types_.string);
  }
  if (key == u"copy") {
    if (!args.empty() && args[0]->type->kind == TypeKind::DynArray) {
      const Type* t = args[0]->type;
      if (args.size() != 1 && args.size() != 3) return error(p, u"Wrong number of parameters for 'Copy'");
      auto e = std::make_unique<Expr>(EK::Native, p);
      e->index = findNative(u"__copyarray");
      e->type = t;
      e->args.push_back(std::move(args[0]));
      e->byRef.push_back(0);
      if (args.size() == 3) {
        e->args.push_back(convert(std::move(args[1]), types_.int64));
        e->args.push_back(convert(std::move(args[2]), types_.int64));
      } else {
        e->args.push_back(constant(p, types_.int64, Value::integer(0)));
        e->args.push_back(constant(p, types_.int64, Value::integer(INT64_MAX)));
      }
      e->byRef.push_back(0);
      e->byRef.push_back(0);
      return e;
    }
    return native(findNative(u"copy"), u"Copy", std::move(args), p);
  }
  return error(p, u"Undeclared identifier: '" + std::u16string(key) + u"'");
}

}  // namespace velmoro::script
