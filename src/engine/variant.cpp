#include "engine/variant.h"

#include "engine/natives.h"
#include "engine/vm.h"

#include <cmath>

namespace velmoro::script::vm {

Value toVariant(const Value& v, TypeCode from) {
  switch (from) {
    case TC_BOOL: return Value::boolean(v.i != 0);
    case TC_CHAR: return Value::string(std::u16string(1, static_cast<char16_t>(v.i)));
    case TC_FLOAT: return Value::real(v.d);
    case TC_STRING: return v;
    case TC_VARIANT: return v;
    default: return Value::integer(v.i);
  }
}

std::u16string variantText(Machine&, const Value& v) {
  switch (v.tag) {
    case Tag::Empty: case Tag::Null: return {};
    case Tag::Int: return intToStr(v.i);
    case Tag::Float: return floatToStr(v.d);
    case Tag::Bool: return v.i ? u"True" : u"False";
    case Tag::Str: return v.str();
    default: return {};
  }
}

namespace {

[[noreturn]] void badCast(Machine& m) { m.raise(u"EVariantError", u"Invalid variant type conversion"); }

double asFloat(Machine& m, const Value& v) {
  switch (v.tag) {
    case Tag::Empty: return 0;
    case Tag::Int: case Tag::Bool: return static_cast<double>(v.tag == Tag::Bool ? (v.i ? -1 : 0) : v.i);
    case Tag::Float: return v.d;
    case Tag::Str: {
      double d;
      if (!parseFloat(v.str(), d)) m.raise(u"EVariantError", u"Could not convert variant of type (UnicodeString) into type (Double)");
      return d;
    }
    default: badCast(m);
  }
}

int64_t asInt(Machine& m, const Value& v) {
  switch (v.tag) {
    case Tag::Empty: return 0;
    case Tag::Int: return v.i;
    case Tag::Bool: return v.i ? -1 : 0;
    case Tag::Float: {
      if (!(std::fabs(v.d) < 9.2e18)) badCast(m);
      return static_cast<int64_t>(std::nearbyint(v.d));
    }
    case Tag::Str: {
      int64_t i;
      if (parseInt(v.str(), i)) return i;
      double d;
      if (parseFloat(v.str(), d) && std::fabs(d) < 9.2e18) return static_cast<int64_t>(std::nearbyint(d));
      m.raise(u"EVariantError", u"Could not convert variant of type (UnicodeString) into type (Int64)");
    }
    default: badCast(m);
  }
}

bool asBool(Machine& m, const Value& v) {
  switch (v.tag) {
    case Tag::Empty: return false;
    case Tag::Int: case Tag::Bool: return v.i != 0;
    case Tag::Float: return v.d != 0;
    case Tag::Str: {
      const std::u16string& s = v.str();
      std::u16string l;
      for (char16_t c : s) l += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
      if (l == u"true") return true;
      if (l == u"false") return false;
      return asInt(m, v) != 0;
    }
    default: badCast(m);
  }
}

}  // namespace

Value fromVariant(Machine& m, const Value& v, TypeCode to) {
  if (v.tag == Tag::Null && to != TC_VARIANT) m.raise(u"EVariantError", u"Could not convert variant of type (Null) into type (" +
                                                          std::u16string(to == TC_STRING ? u"UnicodeString" : to == TC_FLOAT ? u"Double" : u"Int64") + u")");
  switch (to) {
    case TC_FLOAT: return Value::real(asFloat(m, v));
    case TC_BOOL: return Value::integer(asBool(m, v));
    case TC_STRING: return Value::string(variantText(m, v));
    case TC_CHAR: {
      std::u16string s = variantText(m, v);
      return Value::integer(s.empty() ? 0 : s[0]);
    }
    case TC_VARIANT: return v;
    default: return Value::integer(asInt(m, v));
  }
}

Value variantOp(Machine& m, uint32_t op, const Value& a, const Value& b) {
  bool isFloat = a.tag == Tag::Float || b.tag == Tag::Float;
  bool bothStr = a.tag == Tag::Str && b.tag == Tag::Str;
  if (a.tag == Tag::Null || b.tag == Tag::Null) {
    if (op >= V_REL) {
      uint32_t rel = op - V_REL;
      bool eq = a.tag == b.tag;
      return Value::integer(rel == EQ ? eq : rel == NE ? !eq : false);
    }
    return Value::null();
  }
  if (op >= V_REL) {
    uint32_t rel = op - V_REL;
    int c;
    if (bothStr || ((a.tag == Tag::Str || b.tag == Tag::Str) && (a.tag == Tag::Empty || b.tag == Tag::Empty))) {
      c = variantText(m, a).compare(variantText(m, b));
    } else if (isFloat || a.tag == Tag::Str || b.tag == Tag::Str) {
      double x = asFloat(m, a), y = asFloat(m, b);
      c = x < y ? -1 : x > y ? 1 : 0;
    } else {
      int64_t x = asInt(m, a), y = asInt(m, b);
      c = x < y ? -1 : x > y ? 1 : 0;
    }
    bool r = rel == EQ ? c == 0 : rel == NE ? c != 0 : rel == LT ? c < 0 : rel == GT ? c > 0 : rel == LE ? c <= 0 : c >= 0;
    return Value::integer(r);
  }
  if (op == V_ADD && (bothStr || (a.tag == Tag::Str && b.tag == Tag::Empty) || (a.tag == Tag::Empty && b.tag == Tag::Str)))
    return Value::string(variantText(m, a) + variantText(m, b));
  if ((op == V_AND || op == V_OR || op == V_XOR) && (a.tag == Tag::Bool || b.tag == Tag::Bool)) {
    bool x = asBool(m, a), y = asBool(m, b);
    return Value::boolean(op == V_AND ? x && y : op == V_OR ? x || y : x != y);
  }
  if (op == V_FDIV || (isFloat && op <= V_MUL) || (op <= V_MUL && (a.tag == Tag::Str || b.tag == Tag::Str) &&
                                                   (variantText(m, a).find(u'.') != std::u16string::npos ||
                                                    variantText(m, b).find(u'.') != std::u16string::npos))) {
    double x = asFloat(m, a), y = asFloat(m, b);
    switch (op) {
      case V_ADD: return Value::real(x + y);
      case V_SUB: return Value::real(x - y);
      case V_MUL: return Value::real(x * y);
      default:
        if (y == 0) m.raise(x == 0 ? u"EInvalidOp" : u"EZeroDivide", x == 0 ? u"Invalid floating point operation" : u"Floating point division by zero");
        return Value::real(x / y);
    }
  }
  uint64_t x = static_cast<uint64_t>(asInt(m, a)), y = static_cast<uint64_t>(asInt(m, b));
  switch (op) {
    case V_ADD: return Value::integer(static_cast<int64_t>(x + y));
    case V_SUB: return Value::integer(static_cast<int64_t>(x - y));
    case V_MUL: return Value::integer(static_cast<int64_t>(x * y));
    case V_IDIV: case V_MOD: {
      int64_t sx = static_cast<int64_t>(x), sy = static_cast<int64_t>(y);
      if (sy == 0) m.raise(u"EDivByZero", u"Division by zero");
      if (sy == -1) return Value::integer(op == V_IDIV ? static_cast<int64_t>(0ull - x) : 0);
      return Value::integer(op == V_IDIV ? sx / sy : sx % sy);
    }
    case V_AND: return Value::integer(static_cast<int64_t>(x & y));
    case V_OR: return Value::integer(static_cast<int64_t>(x | y));
    default: return Value::integer(static_cast<int64_t>(x ^ y));
  }
}

}  // namespace velmoro::script::vm
