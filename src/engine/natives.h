// The standard routines implemented in C++: strings, conversions, math, date/time,
// Format and the helpers the compiler calls for Length, SetLength, Copy and friends.
// Each entry has a name, a parameter signature and a result code:
//   i integer  f real  d TDateTime  s string  c char  b boolean  v variant
//   a array of const / open array   y any dynamic array   * any value
//   upper case: var parameter (the argument is passed as an address)
// Overloads are consecutive entries of one name; the parser takes the first that fits.
#pragma once

#include "engine/value.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmoro::script {

class Engine;

namespace vm {
class Machine;
}

struct NativeCall {
  vm::Value* args;
  int argc;
  vm::Machine& machine;
};

using NativeFn = vm::Value (*)(NativeCall&);

struct NativeDef {
  const char* name;
  const char* params;
  char result;  // as a parameter code; '-' for procedures
  NativeFn fn;
};

const NativeDef* nativeTable();
int nativeCount();
// Index of the first overload of a name; -1 when it is not standard. Internal helpers
// start with "__" and are found only by the compiler.
int findNative(std::u16string_view foldedName);

// A script fault: raised as an exception of the named class.
struct Fault {
  const char16_t* className;
  std::u16string message;
};

// Shared conversions (Format, FloatToStr, variants).
std::u16string floatToStr(double v);
std::u16string intToStr(int64_t v);
bool parseInt(std::u16string_view s, int64_t& out);
bool parseFloat(std::u16string_view s, double& out);
std::u16string formatText(vm::Machine& m, std::u16string_view fmt, const vm::Value& args);
// The text Write gives a value of static type code tc (vm::TypeCode); width and
// precision -1 when not given.
std::u16string writeText(vm::Machine& m, const vm::Value& v, int tc, int width, int prec);

}  // namespace velmoro::script
