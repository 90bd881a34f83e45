// Variants: values whose type is known only at run time (Empty, Null, Int, Float, Bool,
// Str). Conversions to and from the static types, and the operators on variants. A
// failed conversion is an EVariantError (EConvertError for text that is not a number).
#pragma once

#include "engine/opcodes.h"
#include "engine/value.h"

#include <string>

namespace velmoro::script::vm {

class Machine;

Value toVariant(const Value& v, TypeCode from);
Value fromVariant(Machine& m, const Value& v, TypeCode to);
Value variantOp(Machine& m, uint32_t op, const Value& a, const Value& b);
std::u16string variantText(Machine& m, const Value& v);

}  // namespace velmoro::script::vm
