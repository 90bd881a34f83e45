// Functions of external libraries, as scripts declare them:
//   function VLGNW(c, t: PWideChar; k: Integer): Integer; external 'VLGNW@VLGN.dll stdcall';
// The external name is the function, "@", the library (in double quotes when it has
// blanks), then optionally a calling-convention word and after it the load options
// delayload and loadwithalteredsearchpath. Every convention word means the platform's
// C convention here. Libraries load through dlopen, calls go through libffi.
//
// Lookup of a library: the system's search, then the folder of the script's main file,
// then the program's own folder; "X.dll" is tried as X.so, libX.so, then as written.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmoro::script::ext {

enum class CallingConvention { Register, Stdcall, Cdecl, Pascal };

struct ExternalSpec {
  std::u16string function, library;
  CallingConvention convention = CallingConvention::Register;
  bool delayLoad = false, alteredSearchPath = false;
};

// Nothing when the text is not a valid external name; error is then "Invalid External"
// or "Invalid Calling Convention".
std::optional<ExternalSpec> parseExternal(std::u16string_view text, std::u16string& error);

// The file names a library name is tried under, in order.
std::vector<std::string> libraryFileNames(std::u16string_view library);

// The libraries a script has loaded, by name (names compared without case).
class LibraryLoader {
 public:
  LibraryLoader(std::u16string scriptFolder, std::u16string programFolder);
  ~LibraryLoader();
  LibraryLoader(const LibraryLoader&) = delete;
  LibraryLoader& operator=(const LibraryLoader&) = delete;

  // The function's address, loading the library first when needed; null with error set
  // ("Library not found: X" or "Function not found: F in X").
  void* resolve(const ExternalSpec& spec, std::u16string& error);
  // UnloadDll: its functions load again on their next call. False when not loaded.
  bool unload(std::u16string_view library);
  bool isLoaded(std::u16string_view library) const;

 private:
  void* load(std::u16string_view library, std::u16string& error);
  std::u16string scriptFolder_, programFolder_;
  std::map<std::u16string, void*> handles_;  // by case-folded name
};

// How a parameter or result crosses to C.
enum class ArgKind {
  Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64,
  Bool8,   // Boolean: one byte
  Bool32,  // BOOL, LongBool: four bytes
  Double,
  Pointer,
  WideString,  // string, PWideChar: zero-terminated UTF-16
  AnsiString,  // AnsiString, PAnsiChar: zero-terminated 8-bit (UTF-8)
};

struct ArgType {
  ArgKind kind = ArgKind::Int32;
  bool byRef = false;  // a var parameter: the callee gets its address
};

struct Signature {
  std::vector<ArgType> params;
  std::optional<ArgKind> result;  // none for a procedure
};

// A script value at the boundary.
using Value = std::variant<std::monostate, int64_t, double, bool, std::u16string, uintptr_t>;

struct CallOutcome {
  Value result;
  int lastError = 0;  // errno right after the call
};

// Calls fn. String arguments are buffers owned by this call: what the callee writes into
// them (and into var parameters) comes back in args.
CallOutcome callForeign(void* fn, const Signature& signature, std::vector<Value>& args);

}  // namespace velmoro::script::ext
