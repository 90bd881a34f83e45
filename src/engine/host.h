// What a host declares into the script engine, and what its C++ code sees of a call.
//
//   engine.declareTypes(u"TColor = Integer; TPoint = record X, Y: Integer; end;");
//   engine.declareFunction(u"function Twice(N: Integer): Integer;",
//                          [](HostCall& c) { c.setResult(2 * c.integer(0)); });
//   engine.declareVariable(u"ExitCode: Integer", Storage::of(&exitCode));
//   engine.declareClass(myClass);  // a HostClass with its members
//
// Declarations are Pascal texts. They are kept in order and read again by every
// compile, so a declaration may use the types declared before it; a mistake in one is
// a compiler message in the module "(host)". A later declaration of a function,
// variable or class replaces an earlier one of the same name, and any declaration
// hides an engine built-in of its name (Write, Format, ParamStr ...).
//
// Objects of host classes derive from Object and are counted references: the script's
// Free releases what an object holds and marks it freed (a later use is a script
// error), the memory goes with the last reference. ObjectRef is the host's reference.
//
// Errors cross as values: a host function throws HostError (through HostCall::raise)
// and the script can catch it as an exception of that class; a script error inside a
// callback the host fires comes back to the host as a RunError, never as a C++
// exception.
#pragma once

#include "engine/value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

namespace velmoro::script {

class Engine;
class HostClass;
struct Type;

// An object of a host class (or an exception of a script class).
using Object = vm::ObjectObj;

// A counted reference to an object; null is the script's nil.
class ObjectRef {
 public:
  ObjectRef() = default;
  ObjectRef(Object* o) : p_(o) { if (p_) ++p_->rc; }  // NOLINT: a raw object is adopted as a reference
  ObjectRef(const ObjectRef& o) : ObjectRef(o.p_) {}
  ObjectRef(ObjectRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ObjectRef& operator=(ObjectRef o) noexcept { std::swap(p_, o.p_); return *this; }
  ~ObjectRef() { if (p_ && --p_->rc == 0) delete p_; }
  Object* get() const { return p_; }
  Object* operator->() const { return p_; }
  Object& operator*() const { return *p_; }
  Object* release() { return std::exchange(p_, nullptr); }  // the count stays with the caller
  explicit operator bool() const { return p_ != nullptr; }
  template <class T> T* as() const { return dynamic_cast<T*>(p_); }
  bool operator==(const ObjectRef& o) const { return p_ == o.p_; }

  // A new object of class T: its count starts at the reference returned.
  template <class T, class... A> static ObjectRef make(A&&... a) {
    ObjectRef r;
    r.p_ = new T(std::forward<A>(a)...);
    return r;
  }

 private:
  Object* p_ = nullptr;
};

// A script procedure held by the host (an event): the routine and the compilation it
// belongs to, so a stale one is refused after the script is compiled again.
struct Callback {
  int routine = -1;
  uint64_t program = 0;
  explicit operator bool() const { return routine >= 0; }
  bool operator==(const Callback&) const = default;
};

// A value crossing the interface: nothing, integer, real, boolean, string, object or
// a script procedure.
using Data = std::variant<std::monostate, int64_t, double, bool, std::u16string, ObjectRef, Callback>;

// An error a host function raises into the script: an exception of the named class
// (Exception when the script knows no such class).
struct HostError {
  std::u16string className;
  std::u16string message;
};

struct HostSignature;

// One call of a host function as its C++ side sees it. Arguments are counted without
// the object of a method (self()); a property setter gets the new value last.
// Accessors convert like the script's own conversions; a var parameter is written back
// with setVar.
class HostCall {
 public:
  HostCall(Engine& engine, const HostSignature* sig, vm::Value* args, int argc, Object* self)
      : engine_(engine), sig_(sig), args_(args), argc_(argc), self_(self) {}

  Engine& engine() const { return engine_; }
  int count() const { return argc_; }
  Object* self() const { return self_; }
  // The object as the C++ class the member was written for; a script error otherwise.
  template <class T> T& self() const {
    if (self_ && typeid(*self_) == typeid(T)) return static_cast<T&>(*self_);  // the usual case, cheaply
    auto* p = dynamic_cast<T*>(self_);
    if (!p) raise(u"EInvalidCast", u"The object is not of the class this member belongs to");
    return *p;
  }

  int64_t integer(int i) const;
  double real(int i) const;
  bool boolean(int i) const;
  std::u16string string(int i) const;
  Object* object(int i) const;
  template <class T> T* object(int i) const { return dynamic_cast<T*>(object(i)); }
  Callback callback(int i) const;
  Data data(int i) const;                   // as the interface value
  std::vector<Data> array(int i) const;     // an open array or array of const
  std::string bytes(int i) const;           // an AnsiString's bytes (a string as UTF-8)

  void setVar(int i, const Data& value);    // a var parameter's new value
  void setResult(const Data& value);
  // The common results without the detour through Data.
  void setResult(int64_t v);
  void setResult(int v) { setResult(int64_t{v}); }
  void setResult(bool v);
  void setResult(double v);
  void setResult(std::u16string v);
  void setResult(const char16_t* v) { setResult(std::u16string(v)); }
  void setVarBytes(int i, std::string_view bytes);  // an AnsiString var parameter
  void setResultBytes(std::string_view bytes);
  bool hasResult() const { return resultSet_; }
  vm::Value takeResult() { return std::move(result_); }

  [[noreturn]] void raise(std::u16string className, std::u16string message) const {
    throw HostError{std::move(className), std::move(message)};
  }

 private:
  const vm::Value& arg(int i) const;
  const Type* paramType(int i) const;

  Engine& engine_;
  const HostSignature* sig_;
  vm::Value* args_;
  int argc_;
  Object* self_;
  vm::Value result_;
  bool resultSet_ = false;
};

using HostFunction = std::function<void(HostCall&)>;

// Where a host variable lives. The script reads and writes the host's own storage.
struct Storage {
  enum class Kind : uint8_t { Int32, Int64, Boolean, Real, String, Object, Variant };
  Kind kind = Kind::Int32;
  void* at = nullptr;
  static Storage of(int32_t* p) { return {Kind::Int32, p}; }
  static Storage of(int64_t* p) { return {Kind::Int64, p}; }
  static Storage of(bool* p) { return {Kind::Boolean, p}; }
  static Storage of(double* p) { return {Kind::Real, p}; }
  static Storage of(std::u16string* p) { return {Kind::String, p}; }
  static Storage of(ObjectRef* p) { return {Kind::Object, p}; }
  static Storage of(Data* p) { return {Kind::Variant, p}; }
};

// The kinds of published properties, for readers of object descriptions.
enum class PropertyKind : uint8_t { Integer, Enum, Set, String, Float, Class, Method, Collection, Other };

struct PropertyInfo {
  std::u16string name;
  PropertyKind kind = PropertyKind::Other;
  std::u16string typeName;
  std::vector<std::u16string> names;  // enumerations and sets: the element names
  bool readable = false, writable = false;
};

// A class the host offers to scripts: its name, parent, how to make an instance and
// its members, each declared by its Pascal text:
//   "constructor Create(AOwner: TComponent);"   (runs on the new instance)
//   "function IndexOf(const S: string): Integer;"
//   "property Strings[Index: Integer]: string; default;"
// A class without a factory is abstract: scripts cannot create it. Its objects point
// to it, so a class must outlive them (the standard classes live as long as the program).
class HostClass {
 public:
  using Factory = std::function<ObjectRef()>;
  enum class MemberKind : uint8_t { Constructor, Method, Property };
  struct Member {
    MemberKind kind;
    std::u16string text;
    HostFunction fn;     // methods and constructors; the getter of a property
    HostFunction write;  // property setter; none: read-only
    bool published = false;
  };

  HostClass(std::u16string name, std::shared_ptr<const HostClass> parent, Factory factory = {})
      : name_(std::move(name)), parent_(std::move(parent)), factory_(std::move(factory)) {}

  HostClass& constructor(std::u16string text, HostFunction fn = {}) {
    members_.push_back({MemberKind::Constructor, std::move(text), std::move(fn), {}, false});
    return *this;
  }
  HostClass& method(std::u16string text, HostFunction fn) {
    members_.push_back({MemberKind::Method, std::move(text), std::move(fn), {}, false});
    return *this;
  }
  // A published property is listed by properties() (indexed ones never are).
  HostClass& property(std::u16string text, HostFunction read, HostFunction write = {},
                      bool published = false) {
    members_.push_back({MemberKind::Property, std::move(text), std::move(read), std::move(write), published});
    return *this;
  }
  HostClass& published(std::u16string text, HostFunction read, HostFunction write = {}) {
    return property(std::move(text), std::move(read), std::move(write), true);
  }

  const std::u16string& name() const { return name_; }
  const HostClass* parent() const { return parent_.get(); }
  const Factory& factory() const { return factory_; }
  // A new instance, as a script's constructor would make it (before its constructor
  // runs); null for an abstract class.
  ObjectRef create() const {
    if (!factory_) return {};
    ObjectRef r = factory_();
    if (r && !r->hostClass) r->hostClass = this;
    return r;
  }
  const std::vector<Member>& members() const { return members_; }
  bool inheritsFrom(const HostClass* other) const {
    for (const HostClass* c = this; c; c = c->parent())
      if (c == other) return true;
    return false;
  }

 private:
  std::u16string name_;
  std::shared_ptr<const HostClass> parent_;
  Factory factory_;
  std::vector<Member> members_;
};

}  // namespace velmoro::script
