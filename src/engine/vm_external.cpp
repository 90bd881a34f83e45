// The machine's side of library functions: resolving them (at link or at the first
// call), turning script values into boundary values and back, UnloadDll.
#include "common/paths.h"
#include "common/unicode.h"
#include "engine/host_registry.h"
#include "engine/vm.h"

#include <filesystem>
#include <system_error>

namespace velmoro::script::vm {

namespace {

ext::Value toForeign(const Value& v, const Type* t) {
  switch (t->kind) {
    case TypeKind::String: return v.str();
    case TypeKind::AnsiString: return bytesToText(v.str());
    case TypeKind::Float: return v.tag == Tag::Float ? v.d : static_cast<double>(v.i);
    case TypeKind::Nil:
      // nil is a null heap pointer; an address kept in an integer passes as it is
      return v.managed() ? reinterpret_cast<uintptr_t>(v.h) : static_cast<uintptr_t>(v.i);
    default: return v.i;
  }
}

Value fromForeign(const ext::Value& v, const Type* t) {
  if (auto* s = std::get_if<std::u16string>(&v))
    return Value::string(t->kind == TypeKind::AnsiString ? textToBytes(*s) : *s);
  if (auto* d = std::get_if<double>(&v)) return Value::real(*d);
  if (auto* b = std::get_if<bool>(&v)) return Value::integer(*b ? 1 : 0);
  if (auto* p = std::get_if<uintptr_t>(&v)) return Value::integer(static_cast<int64_t>(*p));
  if (auto* i = std::get_if<int64_t>(&v))
    return Value::integer(t->kind == TypeKind::Integer ? narrow(t->intKind, *i) : *i);
  return defaultValue(t);
}

}  // namespace

ext::LibraryLoader& Machine::libraries() {
  if (!libraries_) {
    std::u16string scriptFolder;
    if (!options_.mainFile.empty())
      scriptFolder = path::folderOf(path::resolve(path::toNative(options_.mainFile), path::currentDirectory()));
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::u16string programFolder = ec ? std::u16string() : path::folderOf(text::fromUtf8(exe.string()));
    libraries_ = std::make_unique<ext::LibraryLoader>(std::move(scriptFolder), std::move(programFolder));
  }
  return *libraries_;
}

bool Machine::link(std::u16string& error, Pos& pos) {
  if (linked_) return true;
  for (size_t k = 0; k < prog_.externals.size(); ++k) {
    const ExternalRoutine& x = prog_.externals[k];
    if (x.spec.delayLoad || externalFns_[k]) continue;
    externalFns_[k] = libraries().resolve(x.spec, error);
    if (!externalFns_[k]) {
      pos = x.pos;
      return false;
    }
  }
  linked_ = true;
  return true;
}

void Machine::unloadLibrary(std::u16string_view library) {
  libraries().unload(library);
  const std::u16string key = text::toLower(library);
  for (size_t k = 0; k < prog_.externals.size(); ++k)
    if (text::toLower(prog_.externals[k].spec.library) == key) externalFns_[k] = nullptr;
}

Value Machine::callExternal(int index, Value* args) {
  const ExternalRoutine& x = prog_.externals[index];
  void*& fn = externalFns_[index];
  if (!fn) {
    std::u16string error;
    fn = libraries().resolve(x.spec, error);
    if (!fn) raise(u"Exception", std::move(error));
  }
  const size_t n = x.signature.params.size();
  std::vector<ext::Value> values(n);
  for (size_t k = 0; k < n; ++k)
    values[k] = toForeign(x.signature.params[k].byRef ? *args[k].ref : args[k], x.params[k]);
  ext::CallOutcome out = ext::callForeign(fn, x.signature, values);
  lastLibraryError_ = out.lastError;
  for (size_t k = 0; k < n; ++k)
    if (x.signature.params[k].byRef) *args[k].ref = fromForeign(values[k], x.params[k]);
  return x.result ? fromForeign(out.result, x.result) : Value();
}

}  // namespace velmoro::script::vm
