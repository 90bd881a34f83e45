// Run-time values of the virtual machine. A value is 16 bytes: a payload and a tag.
// Ordinals (integers, chars, booleans, enumerations) are Int, reals Float; strings,
// arrays, records, sets and objects live on the heap with an intrusive reference count.
// The empty string, nil array and nil object are a null heap pointer. Records and static
// arrays have value semantics by copy-on-write: writers call unique() first. Ref is a
// raw address of another value (var parameters, assignment targets); it never owns.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmoro::script {
class HostClass;
}

namespace velmoro::script::vm {

enum class Tag : uint8_t { Empty, Null, Int, Float, Bool, Ref, Str, Array, Record, Set, Object };

struct HeapObj {
  int32_t rc = 1;
  virtual ~HeapObj() = default;
  virtual HeapObj* clone() const = 0;
};

class Value;

struct StrObj final : HeapObj {
  std::u16string s;
  explicit StrObj(std::u16string t) : s(std::move(t)) {}
  HeapObj* clone() const override { return new StrObj(s); }
};

struct ClassInfo;

class Value {
 public:
  union {
    int64_t i;
    double d;
    HeapObj* h;
    Value* ref;
  };
  Tag tag;

  Value() : i(0), tag(Tag::Int) {}
  static Value integer(int64_t v) { Value r; r.i = v; return r; }
  static Value real(double v) { Value r; r.d = v; r.tag = Tag::Float; return r; }
  static Value boolean(bool v) { Value r; r.i = v; r.tag = Tag::Bool; return r; }
  static Value empty() { Value r; r.tag = Tag::Empty; return r; }
  static Value null() { Value r; r.tag = Tag::Null; return r; }
  static Value address(Value* p) { Value r; r.ref = p; r.tag = Tag::Ref; return r; }
  // Takes over one reference of p.
  static Value heap(Tag t, HeapObj* p) { Value r; r.h = p; r.tag = t; return r; }
  static Value string(std::u16string s) {
    if (s.empty()) return heap(Tag::Str, nullptr);
    return heap(Tag::Str, new StrObj(std::move(s)));
  }

  bool managed() const { return tag >= Tag::Str; }
  Value(const Value& o) : i(o.i), tag(o.tag) { if (managed() && h) ++h->rc; }
  Value(Value&& o) noexcept : i(o.i), tag(o.tag) { o.tag = Tag::Int; }
  Value& operator=(const Value& o) {
    if (o.managed() && o.h) ++o.h->rc;
    release();
    i = o.i;
    tag = o.tag;
    return *this;
  }
  Value& operator=(Value&& o) noexcept {
    if (this != &o) {
      release();
      i = o.i;
      tag = o.tag;
      o.tag = Tag::Int;
    }
    return *this;
  }
  ~Value() { release(); }
  void release() {
    if (managed() && h && --h->rc == 0) delete h;
    tag = Tag::Int;
  }
  void setInt(int64_t v) { release(); i = v; }

  // The string payload; empty for a null string.
  const std::u16string& str() const;
  // Makes the heap object exclusively ours (copy-on-write) and returns it.
  HeapObj* unique() {
    if (h && h->rc > 1) {
      HeapObj* c = h->clone();
      --h->rc;
      h = c;
    }
    return h;
  }
};

struct Aggregate final : HeapObj {  // arrays and records
  std::vector<Value> v;
  HeapObj* clone() const override { auto* a = new Aggregate; a->v = v; return a; }
};

struct SetObj final : HeapObj {
  std::bitset<256> bits;
  HeapObj* clone() const override { auto* s = new SetObj; s->bits = bits; return s; }
};

// Objects: instances of host classes (which derive from this and set hostClass) and
// of the script's exception classes (cls; field 0 is the message). Objects are
// references: they are never cloned. Free calls onFree and marks the object freed; its
// memory goes with the last reference.
struct ObjectObj : HeapObj {
  const ClassInfo* cls = nullptr;
  const HostClass* hostClass = nullptr;
  bool freed = false;
  std::vector<Value> fields;
  ObjectObj() = default;
  explicit ObjectObj(const HostClass* c) : hostClass(c) {}
  // Releases what the object holds (its strings, streams, the objects it owns).
  virtual void onFree() {}
  HeapObj* clone() const override {
    ++const_cast<ObjectObj*>(this)->rc;
    return const_cast<ObjectObj*>(this);
  }
};

struct ClassInfo {
  std::u16string name;
  const ClassInfo* parent = nullptr;
  const HostClass* host = nullptr;  // a host class: its instances carry this
  bool inheritsFrom(const ClassInfo* other) const {
    for (const ClassInfo* c = this; c; c = c->parent)
      if (c == other) return true;
    return false;
  }
};

inline const std::u16string& Value::str() const {
  static const std::u16string none;
  return h ? static_cast<const StrObj*>(h)->s : none;
}

inline Aggregate* agg(const Value& v) { return static_cast<Aggregate*>(v.h); }
inline SetObj* setOf(const Value& v) { return static_cast<SetObj*>(v.h); }
inline ObjectObj* objOf(const Value& v) { return static_cast<ObjectObj*>(v.h); }
// Whether object o is an instance of class c or of a class derived from it.
bool instanceOf(const ObjectObj* o, const ClassInfo* c);
// The name of o's class.
const std::u16string& classNameOf(const ObjectObj* o);

}  // namespace velmoro::script::vm
