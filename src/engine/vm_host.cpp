// The machine's side of host declarations: calling host routines, creating objects of
// host classes, host variables, Free.
#include "common/unicode.h"
#include "engine/host_registry.h"
#include "engine/vm.h"

namespace velmoro::script::vm {

Value Machine::callHost(int index, Value* args, int argc) {
  const HostSignature& sig = prog_.hostRoutines[index];
  Object* self = nullptr;
  if (sig.self) {
    self = objOf(args[0]);
    if (!self) raise(u"EAccessViolation", u"Access violation: '" + sig.name + u"' of a nil object");
    if (self->freed)
      raise(u"EAccessViolation", u"Access violation: '" + sig.name + u"' of a freed " + classNameOf(self));
    ++args;
    --argc;
  }
  HostCall call(*engine_, &sig, args, argc, self);
  if (!sig.fn || !*sig.fn) return Value();
  // The host's exceptions end here: none crosses the dispatch loop as C++.
  std::u16string className, message;
  try {
    (*sig.fn)(call);
    if (sig.result && !call.hasResult()) return defaultValue(sig.result);
    return call.takeResult();
  } catch (const HostError& e) {
    className = e.className;
    message = e.message;
  } catch (const ScriptError&) {
    throw;
  } catch (const std::exception& e) {
    className = u"Exception";
    message = text::fromUtf8(e.what());
  } catch (...) {
    className = u"Exception";
    message = u"Host function '" + sig.name + u"' failed";
  }
  raise(className.c_str(), std::move(message));
}

Value Machine::newHostObject(const ClassInfo* cls) {
  ObjectRef o;
  std::u16string className, message;
  try {
    o = cls->host ? cls->host->create() : ObjectRef();
  } catch (const HostError& e) {
    className = e.className;
    message = e.message;
  } catch (const std::exception& e) {
    className = u"Exception";
    message = text::fromUtf8(e.what());
  }
  if (!message.empty()) raise(className.c_str(), std::move(message));
  if (!o) raise(u"EAbstractError", u"Cannot create an instance of the abstract class " + cls->name);
  return Value::heap(Tag::Object, o.release());
}

Value Machine::loadHost(uint32_t index) const {
  const HostVariable& v = prog_.hostVariables[index];
  void* at = v.storage.at;
  switch (v.storage.kind) {
    case Storage::Kind::Int32: return Value::integer(narrow(v.type->intKind, *static_cast<int32_t*>(at)));
    case Storage::Kind::Int64: return Value::integer(narrow(v.type->intKind, *static_cast<int64_t*>(at)));
    case Storage::Kind::Boolean: return Value::integer(*static_cast<bool*>(at));
    case Storage::Kind::Real: return Value::real(*static_cast<double*>(at));
    case Storage::Kind::String: {
      const std::u16string& s = *static_cast<std::u16string*>(at);
      return Value::string(v.type->kind == TypeKind::AnsiString ? textToBytes(s) : s);
    }
    case Storage::Kind::Object: case Storage::Kind::Variant: {
      const Data& d = v.storage.kind == Storage::Kind::Object ? Data(*static_cast<ObjectRef*>(at))
                                                             : *static_cast<Data*>(at);
      return toValue(d, v.type, 0);
    }
  }
  return Value();
}

void Machine::storeHost(uint32_t index, Value val) {
  const HostVariable& v = prog_.hostVariables[index];
  void* at = v.storage.at;
  switch (v.storage.kind) {
    case Storage::Kind::Int32:
      *static_cast<int32_t*>(at) = static_cast<int32_t>(narrow(v.type->intKind, val.i));
      break;
    case Storage::Kind::Int64: *static_cast<int64_t*>(at) = narrow(v.type->intKind, val.i); break;
    case Storage::Kind::Boolean: *static_cast<bool*>(at) = val.i != 0; break;
    case Storage::Kind::Real: *static_cast<double*>(at) = val.tag == Tag::Float ? val.d : static_cast<double>(val.i); break;
    case Storage::Kind::String:
      *static_cast<std::u16string*>(at) = v.type->kind == TypeKind::AnsiString ? bytesToText(val.str()) : val.str();
      break;
    case Storage::Kind::Object: *static_cast<ObjectRef*>(at) = ObjectRef(objOf(val)); break;
    case Storage::Kind::Variant: *static_cast<Data*>(at) = toData(val, v.type, 0); break;
  }
}

void Machine::freeObject(const Value& v) {
  if (v.tag != Tag::Object || !v.h) return;
  ObjectObj* o = objOf(v);
  if (o->freed) return;
  o->freed = true;
  o->onFree();
}

}  // namespace velmoro::script::vm
