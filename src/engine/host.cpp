// The engine's side of host declarations: recording them, the values of a HostCall,
// firing events, and reading object properties from C++.
#include "engine/host.h"

#include "common/unicode.h"
#include "engine/host_registry.h"
#include "engine/lexer.h"
#include "engine/natives.h"
#include "engine/parser.h"
#include "engine/program.h"
#include "engine/vm.h"

namespace velmoro::script {

using vm::Tag;
using vm::Value;

// ---------------------------------------------------------------------------------
// Values

std::u16string bytesToText(const std::u16string& s) {
  std::string bytes;
  bytes.reserve(s.size());
  for (char16_t c : s) bytes += static_cast<char>(c & 0xFF);
  return text::fromUtf8(bytes);
}

std::u16string textToBytes(const std::u16string& s) {
  const std::string u8 = text::toUtf8(s);
  std::u16string out;
  out.reserve(u8.size());
  for (char c : u8) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

namespace {

Value objectValue(const ObjectRef& r) {
  ObjectRef copy = r;
  return Value::heap(Tag::Object, copy.release());
}

}  // namespace

Value toValue(const Data& d, const Type* t, uint64_t serial) {
  if (t->kind == TypeKind::Class || t->kind == TypeKind::Nil) {
    if (auto o = std::get_if<ObjectRef>(&d)) return objectValue(*o);
    return Value::heap(Tag::Object, nullptr);
  }
  if (t->kind == TypeKind::Proc) {
    auto cb = std::get_if<Callback>(&d);
    return Value::integer(cb && cb->program == serial ? cb->routine : -1);
  }
  // the common cases (a number into a number) convert without touching text
  int64_t i = 0;
  double f = 0;
  const std::u16string* str = std::get_if<std::u16string>(&d);
  if (auto p = std::get_if<int64_t>(&d)) i = *p, f = static_cast<double>(*p);
  else if (auto q = std::get_if<double>(&d)) f = *q, i = static_cast<int64_t>(*q);
  else if (auto b = std::get_if<bool>(&d)) i = *b, f = *b;
  switch (t->kind) {
    case TypeKind::Integer:
      if (str) parseInt(*str, i);
      return Value::integer(narrow(t->intKind, i));
    case TypeKind::Char: case TypeKind::AnsiChar:
      return Value::integer(str ? (str->empty() ? 0 : (*str)[0]) : i);
    case TypeKind::Boolean: return Value::integer(str ? !str->empty() : i != 0);
    case TypeKind::Enum: return Value::integer(i);
    case TypeKind::Float:
      if (str) parseFloat(*str, f);
      return Value::real(f);
    case TypeKind::String: case TypeKind::AnsiString: {
      std::u16string out;
      if (str) out = *str;
      else if (std::holds_alternative<int64_t>(d)) out = intToStr(i);
      else if (std::holds_alternative<double>(d)) out = floatToStr(f);
      else if (std::holds_alternative<bool>(d)) out = i ? u"True" : u"False";
      return Value::string(t->kind == TypeKind::AnsiString ? textToBytes(out) : std::move(out));
    }
    case TypeKind::Variant:
      if (std::holds_alternative<int64_t>(d)) return Value::integer(i);
      if (std::holds_alternative<double>(d)) return Value::real(f);
      if (std::holds_alternative<bool>(d)) return Value::boolean(i != 0);
      if (str) return Value::string(*str);
      if (auto o = std::get_if<ObjectRef>(&d)) return objectValue(*o);
      return Value::empty();
    default: return defaultValue(t);
  }
}

Data toData(const Value& v, const Type* t, uint64_t serial) {
  if (v.tag == Tag::Ref) return toData(*v.ref, t, serial);
  if (!t) {
    switch (v.tag) {
      case Tag::Int: return v.i;
      case Tag::Float: return v.d;
      case Tag::Bool: return v.i != 0;
      case Tag::Str: return v.str();
      case Tag::Object: return ObjectRef(vm::objOf(v));
      default: return std::monostate{};
    }
  }
  switch (t->kind) {
    case TypeKind::Integer: case TypeKind::Enum: return v.i;
    case TypeKind::Char: case TypeKind::AnsiChar: return std::u16string(1, static_cast<char16_t>(v.i));
    case TypeKind::Boolean: return v.i != 0;
    case TypeKind::Float: return v.tag == Tag::Float ? v.d : static_cast<double>(v.i);
    case TypeKind::String: return v.str();
    case TypeKind::AnsiString: return bytesToText(v.str());
    case TypeKind::Class: return ObjectRef(vm::objOf(v));
    case TypeKind::Proc: return Callback{static_cast<int>(v.i), v.i >= 0 ? serial : 0};
    case TypeKind::Variant: return toData(v, nullptr, serial);
    default: return std::monostate{};
  }
}

void routineArguments(const CompiledRoutine& r, const std::vector<Data>& args, uint64_t serial,
                      std::vector<Value>& holders, std::vector<Value>& values) {
  holders.assign(r.params.size(), Value());
  values.assign(r.params.size(), Value());
  for (size_t k = 0; k < r.params.size(); ++k) {
    const Param& p = r.params[k];
    Value v = k < args.size() ? toValue(args[k], p.type, serial) : p.hasDefault ? p.defaultValue : defaultValue(p.type);
    if (p.byRef()) {
      holders[k] = std::move(v);
      values[k] = Value::address(&holders[k]);
    } else {
      values[k] = std::move(v);
    }
  }
}

void routineVarResults(const CompiledRoutine& r, std::vector<Data>& args, const std::vector<Value>& holders,
                       uint64_t serial) {
  for (size_t k = 0; k < r.params.size() && k < args.size(); ++k)
    if (r.params[k].byRef()) args[k] = toData(holders[k], r.params[k].type, serial);
}

namespace vm {

bool instanceOf(const ObjectObj* o, const ClassInfo* c) {
  if (o->hostClass) return c->host && o->hostClass->inheritsFrom(c->host);
  return o->cls && o->cls->inheritsFrom(c);
}

const std::u16string& classNameOf(const ObjectObj* o) {
  static const std::u16string none;
  if (o->hostClass) return o->hostClass->name();
  return o->cls ? o->cls->name : none;
}

}  // namespace vm

// ---------------------------------------------------------------------------------
// HostCall

const Value& HostCall::arg(int i) const {
  static const Value none;
  if (i < 0 || i >= argc_) return none;
  const Value& v = args_[i];
  return v.tag == Tag::Ref ? *v.ref : v;
}

const Type* HostCall::paramType(int i) const {
  if (!sig_ || i < 0 || static_cast<size_t>(i) >= sig_->params.size()) return nullptr;
  return sig_->params[i].type;
}

int64_t HostCall::integer(int i) const {
  const Value& v = arg(i);
  switch (v.tag) {
    case Tag::Float: return static_cast<int64_t>(v.d);
    case Tag::Str: {
      int64_t r = 0;
      parseInt(v.str(), r);
      return r;
    }
    case Tag::Int: case Tag::Bool: return v.i;
    default: return 0;
  }
}

double HostCall::real(int i) const {
  const Value& v = arg(i);
  if (v.tag == Tag::Float) return v.d;
  if (v.tag == Tag::Str) {
    double r = 0;
    parseFloat(v.str(), r);
    return r;
  }
  return v.tag == Tag::Int || v.tag == Tag::Bool ? static_cast<double>(v.i) : 0;
}

bool HostCall::boolean(int i) const { return integer(i) != 0; }

std::u16string HostCall::string(int i) const {
  const Value& v = arg(i);
  const Type* t = paramType(i);
  if (v.tag == Tag::Str) return t && t->kind == TypeKind::AnsiString ? bytesToText(v.str()) : v.str();
  if (t && (t->kind == TypeKind::Char || t->kind == TypeKind::AnsiChar))
    return std::u16string(1, static_cast<char16_t>(v.i));
  if (v.tag == Tag::Float) return floatToStr(v.d);
  if (v.tag == Tag::Int) return intToStr(v.i);
  return {};
}

std::string HostCall::bytes(int i) const {
  const Value& v = arg(i);
  const Type* t = paramType(i);
  if (v.tag != Tag::Str) return {};
  if (t && t->kind == TypeKind::String) return text::toUtf8(v.str());
  std::string out;
  out.reserve(v.str().size());
  for (char16_t c : v.str()) out += static_cast<char>(c & 0xFF);
  return out;
}

Object* HostCall::object(int i) const {
  const Value& v = arg(i);
  return v.tag == Tag::Object ? vm::objOf(v) : nullptr;
}

Callback HostCall::callback(int i) const {
  const Value& v = arg(i);
  if (v.tag != Tag::Int || v.i < 0) return {};
  return Callback{static_cast<int>(v.i), engine_.serial_};
}

Data HostCall::data(int i) const { return toData(arg(i), paramType(i), engine_.serial_); }

std::vector<Data> HostCall::array(int i) const {
  std::vector<Data> out;
  const Value& v = arg(i);
  if (v.tag != Tag::Array || !v.h) return out;
  for (const Value& x : vm::agg(v)->v) out.push_back(toData(x, nullptr, engine_.serial_));
  return out;
}

void HostCall::setVar(int i, const Data& value) {
  const Type* t = paramType(i);
  if (!t || i >= argc_ || args_[i].tag != Tag::Ref) return;
  *args_[i].ref = toValue(value, t, engine_.serial_);
}

namespace {

Value byteString(std::string_view bytes) {
  std::u16string s;
  s.reserve(bytes.size());
  for (char c : bytes) s += static_cast<char16_t>(static_cast<unsigned char>(c));
  return Value::string(std::move(s));
}

}  // namespace

void HostCall::setVarBytes(int i, std::string_view bytes) {
  if (i < 0 || i >= argc_ || args_[i].tag != Tag::Ref) return;
  *args_[i].ref = byteString(bytes);
}

void HostCall::setResult(const Data& value) {
  if (!sig_ || !sig_->result) return;
  result_ = toValue(value, sig_->result, engine_.serial_);
  resultSet_ = true;
}

void HostCall::setResult(int64_t v) {
  if (!sig_ || !sig_->result) return;
  if (sig_->result->kind != TypeKind::Integer) return setResult(Data(v));
  result_ = Value::integer(narrow(sig_->result->intKind, v));
  resultSet_ = true;
}

void HostCall::setResult(bool v) {
  if (!sig_ || !sig_->result) return;
  if (sig_->result->kind != TypeKind::Boolean) return setResult(Data(v));
  result_ = Value::integer(v);
  resultSet_ = true;
}

void HostCall::setResult(double v) {
  if (!sig_ || !sig_->result) return;
  if (sig_->result->kind != TypeKind::Float) return setResult(Data(v));
  result_ = Value::real(v);
  resultSet_ = true;
}

void HostCall::setResult(std::u16string v) {
  if (!sig_ || !sig_->result) return;
  if (sig_->result->kind != TypeKind::String) return setResult(Data(std::move(v)));
  result_ = Value::string(std::move(v));
  resultSet_ = true;
}

void HostCall::setResultBytes(std::string_view bytes) {
  result_ = byteString(bytes);
  resultSet_ = true;
}

// ---------------------------------------------------------------------------------
// Declarations

namespace {

bool identChar(char16_t c) {
  return c == u'_' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
         c >= 0x80;
}

// The identifier at i (after blanks); i moves past it.
std::u16string wordAt(std::u16string_view s, size_t& i) {
  while (i < s.size() && !identChar(s[i])) ++i;
  size_t start = i;
  while (i < s.size() && identChar(s[i])) ++i;
  return std::u16string(s.substr(start, i - start));
}

}  // namespace

void Engine::Host::add(Decl d) {
  if (!d.key.empty()) {
    std::erase_if(decls, [&](const Decl& x) { return x.kind == d.kind && x.key == d.key; });
  }
  decls.push_back(std::move(d));
  reflection.reset();
}

namespace {

Engine::Host& hostOf(std::unique_ptr<Engine::Host>& h) {
  if (!h) h = std::make_unique<Engine::Host>();
  return *h;
}

}  // namespace

void Engine::declareFunction(std::u16string_view declaration, HostFunction fn) {
  Host& h = hostOf(host_);
  size_t i = 0;
  wordAt(declaration, i);  // function / procedure
  Host::Decl d{Host::Kind::Function, std::u16string(declaration), foldName(wordAt(declaration, i))};
  h.functions.push_back(std::make_unique<HostFunction>(std::move(fn)));
  d.fn = h.functions.back().get();
  h.add(std::move(d));
}

void Engine::declareTypes(std::u16string_view text) {
  hostOf(host_).add(Host::Decl{Host::Kind::Types, std::u16string(text), {}});
}

void Engine::declareConstants(std::u16string_view text) {
  hostOf(host_).add(Host::Decl{Host::Kind::Constants, std::u16string(text), {}});
}

void Engine::declareVariable(std::u16string_view declaration, Storage storage) {
  size_t i = 0;
  Host::Decl d{Host::Kind::Variable, std::u16string(declaration), foldName(wordAt(declaration, i))};
  d.storage = storage;
  hostOf(host_).add(std::move(d));
}

void Engine::declareClass(std::shared_ptr<const HostClass> cls) {
  if (!cls) return;
  Host::Decl d{Host::Kind::Class, {}, foldName(cls->name())};
  d.cls = std::move(cls);
  hostOf(host_).add(std::move(d));
}

// ---------------------------------------------------------------------------------
// Events and properties

std::optional<Data> Engine::fire(const Callback& callback, std::vector<Data>& args, RunError& error) {
  error = RunError{};
  error.className = u"Exception";
  if (!program_ || !machine_ || callback.program != serial_ || callback.routine <= 0 ||
      static_cast<size_t>(callback.routine) >= program_->routines.size()) {
    error.message = error.text = u"The event's script is not loaded";
    return std::nullopt;
  }
  const CompiledRoutine& r = program_->routines[callback.routine];
  std::vector<Value> holders, values;
  routineArguments(r, args, serial_, holders, values);
  Value result;
  if (!invokeCaught(callback.routine, values, result, error)) return std::nullopt;
  routineVarResults(r, args, holders, serial_);
  if (!r.result) return Data{};
  return toData(result, r.result, serial_);
}

const Engine::Program* Engine::reflection() {
  Host& h = hostOf(host_);
  if (!h.reflection) {
    auto prog = std::make_unique<Program>();
    Diagnostics diag;
    Options plain;
    if (!parseProgram(u"begin end.", plain, diag, include_, directive_, *prog, &h)) return nullptr;
    h.reflection = std::move(prog);
  }
  return h.reflection.get();
}

namespace {

PropertyKind kindOf(const Type* t) {
  switch (t->kind) {
    case TypeKind::Integer: case TypeKind::Char: case TypeKind::AnsiChar: return PropertyKind::Integer;
    case TypeKind::Enum: case TypeKind::Boolean: return PropertyKind::Enum;
    case TypeKind::Set: return PropertyKind::Set;
    case TypeKind::String: case TypeKind::AnsiString: return PropertyKind::String;
    case TypeKind::Float: return PropertyKind::Float;
    case TypeKind::Proc: return PropertyKind::Method;
    case TypeKind::Class:
      for (const vm::ClassInfo* c = t->cls; c; c = c->parent)
        if (c->name == u"TCollection") return PropertyKind::Collection;
      return PropertyKind::Class;
    default: return PropertyKind::Other;
  }
}

const HostMember* findProperty(const Engine::Program& prog, const HostClass* cls, std::u16string_view name) {
  for (const HostClass* c = cls; c; c = c->parent())
    for (const HostMember& m : prog.hostMembers)
      if (m.cls == c && m.kind == HostClass::MemberKind::Property && m.indexCount == 0 &&
          text::equalsIgnoreCase(m.name, name))
        return &m;
  return nullptr;
}

}  // namespace

std::vector<PropertyInfo> Engine::properties(std::u16string_view className) {
  std::vector<PropertyInfo> out;
  const Program* prog = reflection();
  if (!prog) return out;
  const HostClass* cls = nullptr;
  for (const auto& d : host_->decls)
    if (d.cls && text::equalsIgnoreCase(d.cls->name(), className)) cls = d.cls.get();
  std::vector<const HostClass*> chain;
  for (const HostClass* c = cls; c; c = c->parent()) chain.insert(chain.begin(), c);
  for (const HostClass* c : chain) {
    for (const HostMember& m : prog->hostMembers) {
      if (m.cls != c || m.kind != HostClass::MemberKind::Property || !m.published || m.indexCount) continue;
      PropertyInfo p;
      p.name = m.name;
      p.kind = kindOf(m.type);
      p.typeName = typeName(m.type);
      if (m.type->kind == TypeKind::Enum) p.names = m.type->names;
      if (m.type->kind == TypeKind::Set && m.type->element) p.names = m.type->element->names;
      p.readable = m.read >= 0;
      p.writable = m.write >= 0;
      out.push_back(std::move(p));
    }
  }
  return out;
}

bool Engine::readProperty(Object& object, std::u16string_view name, Data& value, RunError& error) {
  error = RunError{};
  const Program* prog = reflection();
  const HostMember* m = prog ? findProperty(*prog, object.hostClass, name) : nullptr;
  if (!m || m->read < 0) {
    error.className = u"EPropertyError";
    error.message = error.text = u"Unknown property: " + std::u16string(name);
    return false;
  }
  const HostSignature& sig = prog->hostRoutines[m->read];
  HostCall call(*this, &sig, nullptr, 0, &object);
  if (!callCaught(sig, call, error)) return false;
  value = call.hasResult() ? toData(call.takeResult(), m->type, serial_) : Data{};
  return true;
}

bool Engine::writeProperty(Object& object, std::u16string_view name, const Data& value, RunError& error) {
  error = RunError{};
  const Program* prog = reflection();
  const HostMember* m = prog ? findProperty(*prog, object.hostClass, name) : nullptr;
  if (!m || m->write < 0) {
    error.className = u"EPropertyError";
    error.message = error.text = u"Unknown or read-only property: " + std::u16string(name);
    return false;
  }
  const HostSignature& sig = prog->hostRoutines[m->write];
  Value v = toValue(value, m->type, serial_);
  HostCall call(*this, &sig, &v, 1, &object);
  return callCaught(sig, call, error);
}

bool Engine::callCaught(const HostSignature& sig, HostCall& call, RunError& error) {
  try {
    if (sig.fn && *sig.fn) (*sig.fn)(call);
    return true;
  } catch (const HostError& e) {
    error.className = e.className;
    error.message = error.text = e.message;
  } catch (const std::exception& e) {
    error.className = u"Exception";
    error.message = error.text = text::fromUtf8(e.what());
  }
  return false;
}

}  // namespace velmoro::script
