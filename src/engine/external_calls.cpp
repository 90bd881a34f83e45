#include "engine/external_calls.h"

#include "common/paths.h"
#include "common/unicode.h"

#include <dlfcn.h>
#include <ffi.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace velmoro::script::ext {

namespace {

std::vector<std::u16string_view> words(std::u16string_view s) {
  std::vector<std::u16string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == u' ') ++i;
    size_t start = i;
    while (i < s.size() && s[i] != u' ') ++i;
    if (i > start) out.push_back(s.substr(start, i - start));
  }
  return out;
}

std::u16string folded(std::u16string_view s) { return text::toLower(s); }

}  // namespace

std::optional<ExternalSpec> parseExternal(std::u16string_view text, std::u16string& error) {
  error = u"Invalid External";
  size_t at = text.find(u'@');
  if (at == std::u16string_view::npos || at == 0) return std::nullopt;
  ExternalSpec spec;
  spec.function = text.substr(0, at);
  std::u16string_view rest = text.substr(at + 1);
  if (!rest.empty() && rest[0] == u'"') {
    size_t close = rest.find(u'"', 1);
    if (close == std::u16string_view::npos) return std::nullopt;
    spec.library = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
    if (!rest.empty() && rest[0] != u' ') return std::nullopt;
  } else {
    size_t blank = rest.find(u' ');
    spec.library = rest.substr(0, blank);
    rest = blank == std::u16string_view::npos ? std::u16string_view() : rest.substr(blank);
  }
  if (spec.library.empty()) return std::nullopt;
  auto list = words(rest);
  if (!list.empty()) {
    const std::u16string word = folded(list[0]);
    if (word == u"stdcall")
      spec.convention = CallingConvention::Stdcall;
    else if (word == u"cdecl")
      spec.convention = CallingConvention::Cdecl;
    else if (word == u"register")
      spec.convention = CallingConvention::Register;
    else if (word == u"pascal")
      spec.convention = CallingConvention::Pascal;
    else {
      // A load option can only follow a convention word.
      error = u"Invalid Calling Convention";
      return std::nullopt;
    }
    for (size_t i = 1; i < list.size(); ++i) {
      const std::u16string option = folded(list[i]);
      if (option == u"delayload")
        spec.delayLoad = true;
      else if (option == u"loadwithalteredsearchpath")
        spec.alteredSearchPath = true;
      else
        return std::nullopt;  // "Invalid External"
    }
  }
  error.clear();
  return spec;
}

std::vector<std::string> libraryFileNames(std::u16string_view library) {
  const std::string name = path::toSystem(library);
  std::vector<std::string> out;
  const std::string ext = name.size() > 4 ? text::toUtf8(text::toLower(text::fromUtf8(name.substr(name.size() - 4)))) : "";
  if (ext == ".dll") {
    std::string stem = name.substr(0, name.size() - 4);
    size_t slash = stem.rfind('/');
    std::string folder = slash == std::string::npos ? "" : stem.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? stem : stem.substr(slash + 1);
    out.push_back(folder + base + ".so");
    out.push_back(folder + "lib" + base + ".so");
  }
  out.push_back(name);
  return out;
}

LibraryLoader::LibraryLoader(std::u16string scriptFolder, std::u16string programFolder)
    : scriptFolder_(std::move(scriptFolder)), programFolder_(std::move(programFolder)) {}

LibraryLoader::~LibraryLoader() {
  for (auto& [name, handle] : handles_) ::dlclose(handle);
}

void* LibraryLoader::load(std::u16string_view library, std::u16string& error) {
  const std::u16string key = folded(library);
  if (auto it = handles_.find(key); it != handles_.end()) return it->second;
  const std::vector<std::string> names = libraryFileNames(library);
  std::vector<std::string> candidates;
  const bool absolute = path::isAbsolute(library);
  for (const auto& n : names) candidates.push_back(n);  // the system's search (or the path itself)
  if (!absolute)
    for (const std::u16string& folder : {scriptFolder_, programFolder_}) {
      if (folder.empty()) continue;
      for (const auto& n : names) candidates.push_back(path::toSystem(path::resolve(text::fromUtf8(n), folder)));
    }
  for (const auto& candidate : candidates) {
    // A bare name with no "/" goes to the system's search only; dlopen never looks in
    // the current folder for it.
    if (void* h = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      handles_[key] = h;
      return h;
    }
  }
  error = u"Library not found: " + std::u16string(library);
  return nullptr;
}

void* LibraryLoader::resolve(const ExternalSpec& spec, std::u16string& error) {
  void* h = load(spec.library, error);
  if (!h) return nullptr;
  ::dlerror();
  void* fn = ::dlsym(h, text::toUtf8(spec.function).c_str());
  if (!fn) error = u"Function not found: " + spec.function + u" in " + spec.library;
  return fn;
}

bool LibraryLoader::unload(std::u16string_view library) {
  auto it = handles_.find(folded(library));
  if (it == handles_.end()) return false;
  ::dlclose(it->second);
  handles_.erase(it);
  return true;
}

bool LibraryLoader::isLoaded(std::u16string_view library) const { return handles_.count(folded(library)) > 0; }

// --- calls ---------------------------------------------------------------------------

namespace {

ffi_type* ffiType(ArgKind k) {
  switch (k) {
    case ArgKind::Int8: return &ffi_type_sint8;
    case ArgKind::UInt8: return &ffi_type_uint8;
    case ArgKind::Bool8: return &ffi_type_uint8;
    case ArgKind::Int16: return &ffi_type_sint16;
    case ArgKind::UInt16: return &ffi_type_uint16;
    case ArgKind::Int32: return &ffi_type_sint32;
    case ArgKind::Bool32: return &ffi_type_sint32;
    case ArgKind::UInt32: return &ffi_type_uint32;
    case ArgKind::Int64: return &ffi_type_sint64;
    case ArgKind::Double: return &ffi_type_double;
    default: return &ffi_type_pointer;
  }
}

int64_t asInteger(const Value& v) {
  if (auto* i = std::get_if<int64_t>(&v)) return *i;
  if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  if (auto* d = std::get_if<double>(&v)) return static_cast<int64_t>(*d);
  if (auto* p = std::get_if<uintptr_t>(&v)) return static_cast<int64_t>(*p);
  return 0;
}

double asDouble(const Value& v) {
  if (auto* d = std::get_if<double>(&v)) return *d;
  return static_cast<double>(asInteger(v));
}

std::u16string asText(const Value& v) {
  if (auto* s = std::get_if<std::u16string>(&v)) return *s;
  return {};
}

// The storage of one argument for the call; 16 bytes hold any scalar.
struct Slot {
  alignas(16) unsigned char scalar[16] = {};
  std::u16string wide;    // with its terminating zero
  std::string ansi;       // with its terminating zero
  void* pointer = nullptr;  // a string's buffer, or the address of a var parameter
};

void storeScalar(Slot& s, ArgKind k, const Value& v) {
  const int64_t i = asInteger(v);
  switch (k) {
    case ArgKind::Int8: *reinterpret_cast<int8_t*>(s.scalar) = static_cast<int8_t>(i); break;
    case ArgKind::UInt8: *reinterpret_cast<uint8_t*>(s.scalar) = static_cast<uint8_t>(i); break;
    case ArgKind::Bool8: *reinterpret_cast<uint8_t*>(s.scalar) = i != 0; break;
    case ArgKind::Int16: *reinterpret_cast<int16_t*>(s.scalar) = static_cast<int16_t>(i); break;
    case ArgKind::UInt16: *reinterpret_cast<uint16_t*>(s.scalar) = static_cast<uint16_t>(i); break;
    case ArgKind::Int32: *reinterpret_cast<int32_t*>(s.scalar) = static_cast<int32_t>(i); break;
    case ArgKind::Bool32: *reinterpret_cast<int32_t*>(s.scalar) = i != 0; break;
    case ArgKind::UInt32: *reinterpret_cast<uint32_t*>(s.scalar) = static_cast<uint32_t>(i); break;
    case ArgKind::Int64: *reinterpret_cast<int64_t*>(s.scalar) = i; break;
    case ArgKind::Double: *reinterpret_cast<double*>(s.scalar) = asDouble(v); break;
    case ArgKind::Pointer: *reinterpret_cast<uintptr_t*>(s.scalar) = static_cast<uintptr_t>(i); break;
    default: break;
  }
}

Value loadScalar(const unsigned char* p, ArgKind k) {
  switch (k) {
    case ArgKind::Int8: return int64_t(*reinterpret_cast<const int8_t*>(p));
    case ArgKind::UInt8: return int64_t(*reinterpret_cast<const uint8_t*>(p));
    case ArgKind::Bool8: return *reinterpret_cast<const uint8_t*>(p) != 0;
    case ArgKind::Int16: return int64_t(*reinterpret_cast<const int16_t*>(p));
    case ArgKind::UInt16: return int64_t(*reinterpret_cast<const uint16_t*>(p));
    case ArgKind::Int32: return int64_t(*reinterpret_cast<const int32_t*>(p));
    case ArgKind::Bool32: return *reinterpret_cast<const int32_t*>(p) != 0;
    case ArgKind::UInt32: return int64_t(*reinterpret_cast<const uint32_t*>(p));
    case ArgKind::Int64: return *reinterpret_cast<const int64_t*>(p);
    case ArgKind::Double: return *reinterpret_cast<const double*>(p);
    case ArgKind::Pointer: return *reinterpret_cast<const uintptr_t*>(p);
    default: return std::monostate{};
  }
}

bool isString(ArgKind k) { return k == ArgKind::WideString || k == ArgKind::AnsiString; }

}  // namespace

CallOutcome callForeign(void* fn, const Signature& sig, std::vector<Value>& args) {
  const size_t n = sig.params.size();
  args.resize(n);
  std::vector<ffi_type*> types(n);
  std::vector<std::unique_ptr<Slot>> slots(n);
  std::vector<void*> values(n);
  for (size_t i = 0; i < n; ++i) {
    const ArgType& t = sig.params[i];
    auto& s = slots[i] = std::make_unique<Slot>();
    if (t.kind == ArgKind::WideString) {
      s->wide = asText(args[i]);
      s->wide.push_back(u'\0');
      s->pointer = s->wide.data();
    } else if (t.kind == ArgKind::AnsiString) {
      s->ansi = text::toUtf8(asText(args[i]));
      s->ansi.push_back('\0');
      s->pointer = s->ansi.data();
    } else {
      storeScalar(*s, t.kind, args[i]);
      if (t.byRef) s->pointer = s->scalar;
    }
    const bool passPointer = isString(t.kind) || t.byRef;
    types[i] = passPointer ? &ffi_type_pointer : ffiType(t.kind);
    values[i] = passPointer ? static_cast<void*>(&s->pointer) : static_cast<void*>(s->scalar);
  }
  ffi_type* resultType = sig.result ? (isString(*sig.result) ? &ffi_type_pointer : ffiType(*sig.result)) : &ffi_type_void;
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(n), resultType, types.data()) != FFI_OK)
    return {};
  alignas(16) unsigned char result[16] = {};  // at least ffi_arg wide
  errno = 0;
  ffi_call(&cif, FFI_FN(fn), result, values.data());
  CallOutcome out;
  out.lastError = errno;

  // What the callee wrote comes back: buffers keep their length, var parameters their type.
  for (size_t i = 0; i < n; ++i) {
    const ArgType& t = sig.params[i];
    Slot& s = *slots[i];
    if (t.kind == ArgKind::WideString)
      args[i] = std::u16string(s.wide.data(), s.wide.size() - 1);
    else if (t.kind == ArgKind::AnsiString)
      args[i] = text::fromUtf8(std::string_view(s.ansi.data(), s.ansi.size() - 1));
    else if (t.byRef)
      args[i] = loadScalar(s.scalar, t.kind);
  }
  if (sig.result) {
    if (*sig.result == ArgKind::WideString) {
      const char16_t* p = *reinterpret_cast<const char16_t* const*>(result);
      out.result = p ? std::u16string(p) : std::u16string();
    } else if (*sig.result == ArgKind::AnsiString) {
      const char* p = *reinterpret_cast<const char* const*>(result);
      out.result = p ? text::fromUtf8(p) : std::u16string();
    } else {
      // libffi widens small integer results to a full register.
      const ArgKind k = *sig.result;
      if (k == ArgKind::Double)
        out.result = loadScalar(result, k);
      else {
        ffi_arg wide = *reinterpret_cast<ffi_arg*>(result);
        unsigned char narrow[16] = {};
        switch (k) {
          case ArgKind::Int8: case ArgKind::UInt8: case ArgKind::Bool8: {
            uint8_t v = static_cast<uint8_t>(wide); std::memcpy(narrow, &v, 1); break;
          }
          case ArgKind::Int16: case ArgKind::UInt16: {
            uint16_t v = static_cast<uint16_t>(wide); std::memcpy(narrow, &v, 2); break;
          }
          case ArgKind::Int32: case ArgKind::UInt32: case ArgKind::Bool32: {
            uint32_t v = static_cast<uint32_t>(wide); std::memcpy(narrow, &v, 4); break;
          }
          default: std::memcpy(narrow, result, 8);
        }
        out.result = loadScalar(narrow, k);
      }
    }
  }
  return out;
}

}  // namespace velmoro::script::ext
