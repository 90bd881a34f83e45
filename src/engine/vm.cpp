#include "engine/vm.h"

#include "common/unicode.h"
#include "engine/natives.h"
#include "engine/variant.h"

#include <algorithm>
#include <cmath>

namespace velmoro::script::vm {

namespace {

// What travels through C++ between a fault and its handler.
struct Raised {
  Value exception;
};
struct StopSignal {};

// Relations as masks of the outcomes they accept (bit 0 less, 1 equal, 2 greater):
// one shift instead of a switch whose jump the predictor shares between all sites.
constexpr uint8_t relMask[] = {0b010, 0b101, 0b001, 0b100, 0b011, 0b110};
inline bool relation(uint32_t rel, int c) {
  return (relMask[rel] >> ((c > 0) - (c < 0) + 1)) & 1;
}
inline bool holds(uint32_t rel, int64_t a, int64_t b) {
  return (relMask[rel] >> ((a > b) - (a < b) + 1)) & 1;
}

// Pushes onto a dead stack slot (one above the top holds nothing managed): no release.
inline void put(Value* slot, const Value& v) {
  slot->i = v.i;
  slot->tag = v.tag;
  if (v.managed() && v.h) ++v.h->rc;
}

// The element of an array at i; null when i is out of range (or the array is nil).
inline Value* elementAt(const Value& array, int64_t i) {
  Aggregate* g = agg(array);
  if (!g || static_cast<uint64_t>(i) >= g->v.size()) return nullptr;
  return &g->v[static_cast<size_t>(i)];
}

Aggregate* uniqueAggregate(Value& v, bool copyOnWrite) {
  if (!v.h) return nullptr;
  if (copyOnWrite) v.unique();
  return static_cast<Aggregate*>(v.h);
}

}  // namespace

Machine::Machine(const Engine::Program& prog, const Options& options, Engine::WriteHandler& write,
                 Engine::ReadHandler& read)
    : prog_(prog), options_(options), write_(write), read_(read),
      stack_(new Value[stackSize]), sp_(stack_.get()), stackEnd_(stack_.get() + stackSize) {
  templates_.resize(prog.routines.size());
  for (size_t r = 0; r < prog.routines.size(); ++r) {
    const CompiledRoutine& cr = prog.routines[r];
    for (size_t k = 0; k < cr.slots.size(); ++k) templates_[r].push_back(defaultValue(cr.slots[k]));
  }
  random_ = 0;
  externalFns_.assign(prog.externals.size(), nullptr);
  frames_.reserve(maxFrames + 1);
  for (size_t r = 0; r < prog.routines.size(); ++r) {
    const CompiledRoutine& cr = prog.routines[r];
    int nslots = static_cast<int>(cr.slots.size());
    entries_.push_back(Entry{cr.code.data(), templates_[r].data() + std::min(cr.nparams, nslots),
                             cr.nparams, std::max(nslots - cr.nparams, 0), cr.resultSlot, nslots});
  }
}

void Machine::initGlobals() {
  globals.clear();
  globals.reserve(prog_.globals.size());
  for (const Type* t : prog_.globals) globals.push_back(defaultValue(t));
  for (const auto& [slot, v] : prog_.globalInit)
    if (slot >= 0 && static_cast<size_t>(slot) < globals.size()) globals[slot] = v;
}

void Machine::write(std::u16string_view s) {
  if (write_) write_(s);
}

std::optional<std::u16string> Machine::readLine() {
  if (!read_) return std::nullopt;
  return read_(u"");
}

uint32_t Machine::randomNext() {
  random_ = random_ * 134775813u + 1u;
  return random_;
}

Value Machine::newException(const ClassInfo* cls, std::u16string message) {
  auto* o = new ObjectObj;
  o->cls = cls;
  o->fields.push_back(Value::string(std::move(message)));
  return Value::heap(Tag::Object, o);
}

void Machine::raise(const char16_t* className, std::u16string message) {
  const ClassInfo* cls = prog_.types.findClass(className);
  if (!cls) cls = prog_.types.exceptionInfo();
  throw Raised{newException(cls, std::move(message))};
}

Pos Machine::positionAt(const Frame& f, const uint32_t* ip) const {
  const CompiledRoutine& r = prog_.routines[f.routine];
  if (!ip || r.code.empty()) return Pos{};
  uint32_t pc = static_cast<uint32_t>(ip - r.code.data());
  return r.positionOf(pc > 0 ? pc - 1 : 0);
}

Value* Machine::frameUp(int hops) {
  int f = static_cast<int>(frames_.size()) - 1;
  for (int k = 0; k < hops && f >= 0; ++k) f = frames_[f].staticLink;
  return f >= 0 ? frames_[f].base : frames_.back().base;
}

void Machine::enter(int routine, Value* base, const uint32_t* returnIp, int staticLink) {
  const Entry& r = entries_[routine];
  if (frames_.size() >= maxFrames || base + r.nslots + 512 >= stackEnd_)
    raise(u"EStackOverflow", u"Stack overflow");
  Value* p = base + r.nparams;
  for (int k = 0; k < r.nlocals; ++k) *p++ = r.locals[k];
  sp_ = p;
  frames_.push_back(Frame{routine, r.resultSlot, base, returnIp, staticLink});
}

Value Machine::invoke(int routine, std::vector<Value>& args) {
  const CompiledRoutine& r = prog_.routines[routine];
  Value* base = sp_;
  if (base + args.size() + 512 >= stackEnd_ || frames_.size() >= maxFrames) {
    ScriptError e;
    e.exception = newException(prog_.types.findClass(u"EStackOverflow"), u"Stack overflow");
    throw e;
  }
  for (size_t k = 0; k < args.size() && k < static_cast<size_t>(r.nparams); ++k) base[k] = args[k];
  sp_ = base + r.nparams;
  size_t entry = frames_.size();
  size_t handlerBase = handlers_.size();
  ++depth_;
  if (depth_ == 1) stop_ = false;
  struct Depth {
    int& d;
    ~Depth() { --d; }
  } depthGuard{depth_};
  try {
    enter(routine, base, nullptr, -1);
  } catch (Raised& x) {
    for (Value* p = base; p < sp_; ++p) p->release();
    sp_ = base;
    ScriptError e;
    e.exception = std::move(x.exception);
    throw e;
  }
  run(entry, handlerBase);
  Value result = std::move(*base);
  base->release();
  sp_ = base;
  return result;
}

// The dispatch loop. Returns when the frame at index `entry` returns.
void Machine::run(size_t entry, size_t handlerBase) {
  const uint32_t* ip = prog_.routines[frames_.back().routine].code.data();
  const size_t excBase = exceptions_.size();
  // Whether a stop is running finally blocks (its mark among the exceptions above `from`).
  auto stopping = [this](size_t from) {
    for (size_t k = from; k < exceptions_.size(); ++k)
      if (exceptions_[k].tag == Tag::Empty) return true;
    return false;
  };
  for (;;) {
    Value* sp = sp_;
    Value* fp = frames_.back().base;
    Value* gp = globals.data();  // the globals never move while the machine runs
    try {
      // Threaded dispatch: every instruction jumps straight to the next one's code.
      static void* const dispatchTable[] = {
#define OP(name, extra, kind, doc) &&L_##name,
          VELMORO_OPCODES(OP)
#undef OP
      };
#define DISPATCH()                                  \
  do {                                              \
    w = *ip++;                                      \
    goto* dispatchTable[static_cast<uint8_t>(w)];          \
  } while (0)
      // A conditional jump; going back (a loop) it is also where a stop is noticed.
#define BRANCH(off)          \
  do {                       \
    if ((off) < 0 && stop_) { \
      sp_ = sp;              \
      throw StopSignal{};    \
    }                        \
    ip += (off);             \
  } while (0)
      uint32_t w;
      DISPATCH();
      {
          L_NOP: DISPATCH();
          L_PUSHI: sp->i = argS(w); (sp++)->tag = Tag::Int; DISPATCH();
          L_PUSHK: put(sp++, prog_.constants[argU(w)]); DISPATCH();
          L_POP: (--sp)->release(); DISPATCH();
          L_DUP: put(sp, sp[-1]); ++sp; DISPATCH();
          L_LOADL: put(sp++, fp[argU(w)]); DISPATCH();
          L_STOREL: fp[argU(w)] = std::move(*--sp); DISPATCH();
          L_LOADG: put(sp++, gp[argU(w)]); DISPATCH();
          L_STOREG: gp[argU(w)] = std::move(*--sp); DISPATCH();
          L_LOADU: {
            int hops = static_cast<int32_t>(*ip++);
            sp_ = sp;
            *sp++ = frameUp(hops)[argU(w)];
          }
          DISPATCH();
          L_STOREU: {
            int hops = static_cast<int32_t>(*ip++);
            frameUp(hops)[argU(w)] = std::move(*--sp);
          }
          DISPATCH();
          L_ADDRL: *sp++ = Value::address(fp + argU(w)); DISPATCH();
          L_ADDRG: *sp++ = Value::address(&gp[argU(w)]); DISPATCH();
          L_ADDRU: {
            int hops = static_cast<int32_t>(*ip++);
            *sp++ = Value::address(frameUp(hops) + argU(w));
          }
          DISPATCH();
          L_LOADREF: *sp++ = *fp[argU(w)].ref; DISPATCH();
          L_STOREREF: *fp[argU(w)].ref = std::move(*--sp); DISPATCH();
          L_DEREF: sp[-1] = Value(*sp[-1].ref); DISPATCH();
          L_STOREIND: {
            Value* target = (--sp)->ref;
            sp->release();
            *target = std::move(*--sp);
          }
          DISPATCH();
          L_INCL: {
            Value& s = fp[argU(w)];
            s.i = static_cast<int64_t>(static_cast<uint64_t>(s.i) + static_cast<uint64_t>((--sp)->i));
          }
          DISPATCH();
          L_NARROW: sp[-1].i = narrow(static_cast<IntKind>(argU(w)), sp[-1].i); DISPATCH();
#define INT_OP(opc, expr)                                                      \
  L_##opc: {                                                              \
    uint64_t b = static_cast<uint64_t>((--sp)->i);                            \
    uint64_t a = static_cast<uint64_t>(sp[-1].i);                             \
    sp[-1].i = static_cast<int64_t>(expr);                                     \
  }                                                                            \
  DISPATCH();
          INT_OP(ADDI, a + b)
          INT_OP(SUBI, a - b)
          INT_OP(MULI, a * b)
          INT_OP(ANDI, a & b)
          INT_OP(ORI, a | b)
          INT_OP(XORI, a ^ b)
#undef INT_OP
          L_DIVI: L_MODI: {
            int64_t b = (--sp)->i;
            int64_t a = sp[-1].i;
            if (b == 0) {
              sp_ = sp;
              raise(u"EDivByZero", u"Division by zero");
            }
            if (b == -1) sp[-1].i = opOf(w) == Op::DIVI ? static_cast<int64_t>(0ull - static_cast<uint64_t>(a)) : 0;
            else sp[-1].i = opOf(w) == Op::DIVI ? a / b : a % b;
          }
          DISPATCH();
          L_NEGI: sp[-1].i = static_cast<int64_t>(0ull - static_cast<uint64_t>(sp[-1].i)); DISPATCH();
          L_NOTI: sp[-1].i = narrow(static_cast<IntKind>(argU(w)), ~sp[-1].i); DISPATCH();
          L_SHLI: {
            uint64_t n = static_cast<uint64_t>((--sp)->i);
            uint64_t a = static_cast<uint64_t>(sp[-1].i);
            if (argU(w) == 32) sp[-1].i = static_cast<uint32_t>(static_cast<uint32_t>(a) << (n & 31));
            else sp[-1].i = static_cast<int64_t>(a << (n & 63));
          }
          DISPATCH();
          L_SHRI: {
            uint64_t n = static_cast<uint64_t>((--sp)->i);
            uint64_t a = static_cast<uint64_t>(sp[-1].i);
            if (argU(w) == 32) sp[-1].i = static_cast<uint32_t>(a) >> (n & 31);
            else sp[-1].i = static_cast<int64_t>(a >> (n & 63));
          }
          DISPATCH();
          L_NOTB: sp[-1].i = !sp[-1].i; DISPATCH();
          L_ADDF: --sp; sp[-1].d += sp->d; DISPATCH();
          L_SUBF: --sp; sp[-1].d -= sp->d; DISPATCH();
          L_MULF: --sp; sp[-1].d *= sp->d; DISPATCH();
          L_DIVF: {
            --sp;
            double b = sp->d;
            sp->tag = Tag::Int;
            if (b == 0) {
              sp_ = sp;
              if (sp[-1].d == 0 || std::isnan(sp[-1].d)) raise(u"EInvalidOp", u"Invalid floating point operation");
              raise(u"EZeroDivide", u"Floating point division by zero");
            }
            sp[-1].d /= b;
          }
          DISPATCH();
          L_NEGF: sp[-1].d = -sp[-1].d; DISPATCH();
          L_I2F: {
            Value& v = sp[-1 - static_cast<int>(argS(w))];
            v = Value::real(static_cast<double>(v.i));
          }
          DISPATCH();
          L_CMPI: {
            int64_t b = (--sp)->i;
            int64_t a = sp[-1].i;
            sp[-1].i = relation(argU(w), a < b ? -1 : a > b ? 1 : 0);
          }
          DISPATCH();
          L_CMPO: {
            bool same = sp[-2].h == sp[-1].h;
            (--sp)->release();
            sp[-1] = Value::integer(argU(w) == EQ ? same : !same);
          }
          DISPATCH();
          L_CMPF: {
            double b = (--sp)->d;
            sp->tag = Tag::Int;
            double a = sp[-1].d;
            bool r;
            switch (argU(w)) {
              case EQ: r = a == b; break;
              case NE: r = a != b; break;
              case LT: r = a < b; break;
              case GT: r = a > b; break;
              case LE: r = a <= b; break;
              default: r = a >= b; break;
            }
            sp[-1] = Value::integer(r);
          }
          DISPATCH();
          L_CMPS: {
            --sp;
            int c = sp[-1].str().compare(sp->str());
            sp->release();
            sp[-1] = Value::integer(relation(argU(w), c));
          }
          DISPATCH();
          L_JLTI: {
            int32_t off = static_cast<int32_t>(*ip++);
            int64_t b = (--sp)->i;
            if (!(fp[argU(w)].i < b)) BRANCH(off);
          }
          DISPATCH();
          L_ADDIK:
            sp[-1].i = static_cast<int64_t>(static_cast<uint64_t>(sp[-1].i) + static_cast<uint64_t>(static_cast<int64_t>(argS(w))));
            DISPATCH();
          L_MULIK:
            sp[-1].i = static_cast<int64_t>(static_cast<uint64_t>(sp[-1].i) * static_cast<uint64_t>(static_cast<int64_t>(argS(w))));
            DISPATCH();
          L_ADDIL: sp[-1].i = static_cast<int64_t>(static_cast<uint64_t>(sp[-1].i) + static_cast<uint64_t>(fp[argU(w)].i)); DISPATCH();
          L_SUBIL: sp[-1].i = static_cast<int64_t>(static_cast<uint64_t>(sp[-1].i) - static_cast<uint64_t>(fp[argU(w)].i)); DISPATCH();
          L_ADDIG: sp[-1].i = static_cast<int64_t>(static_cast<uint64_t>(sp[-1].i) + static_cast<uint64_t>(gp[argU(w)].i)); DISPATCH();
          L_SUBIG: sp[-1].i = static_cast<int64_t>(static_cast<uint64_t>(sp[-1].i) - static_cast<uint64_t>(gp[argU(w)].i)); DISPATCH();
          L_JFCMPI: {
            int32_t off = static_cast<int32_t>(*ip++);
            int64_t b = (--sp)->i;
            int64_t a = (--sp)->i;
            if (!holds(argU(w), a, b)) BRANCH(off);
          }
          DISPATCH();
          L_JFCMPIK: {
            int64_t b = static_cast<int32_t>(*ip++);
            int32_t off = static_cast<int32_t>(*ip++);
            int64_t a = (--sp)->i;
            if (!holds(argU(w), a, b)) BRANCH(off);
          }
          DISPATCH();
          L_JFCMPLK: {
            uint32_t rel = ip[0];
            int64_t b = static_cast<int32_t>(ip[1]);
            int32_t off = static_cast<int32_t>(ip[2]);
            ip += 3;
            if (!holds(rel, fp[argU(w)].i, b)) BRANCH(off);
          }
          DISPATCH();
          L_JFCMPLL: {
            uint32_t rel = ip[0];
            int64_t b = fp[ip[1]].i;
            int32_t off = static_cast<int32_t>(ip[2]);
            ip += 3;
            if (!holds(rel, fp[argU(w)].i, b)) BRANCH(off);
          }
          DISPATCH();
          L_JFCMPIL: {
            uint32_t rel = ip[0];
            int32_t off = static_cast<int32_t>(ip[1]);
            ip += 2;
            int64_t a = (--sp)->i;
            if (!holds(rel, a, fp[argU(w)].i)) BRANCH(off);
          }
          DISPATCH();
          L_LOADLK: {
            int64_t k = static_cast<int32_t>(ip[0]);
            IntKind kind = static_cast<IntKind>(ip[1]);
            ip += 2;
            sp->i = narrow(kind, static_cast<int64_t>(static_cast<uint64_t>(fp[argU(w)].i) + static_cast<uint64_t>(k)));
            (sp++)->tag = Tag::Int;
          }
          DISPATCH();
          L_STORELN: {
            Value& v = fp[argU(w)];
            v.release();
            v.i = narrow(static_cast<IntKind>(*ip++), (--sp)->i);
          }
          DISPATCH();
          L_MOVL: fp[argU(w)] = fp[*ip++]; DISPATCH();
          L_INDEXLL: {
            const Value* e = elementAt(fp[argU(w)], fp[*ip++].i);
            if (!e) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            put(sp++, *e);
          }
          DISPATCH();
          L_INDEXGL: {
            const Value* e = elementAt(gp[argU(w)], fp[*ip++].i);
            if (!e) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            put(sp++, *e);
          }
          DISPATCH();
          L_STIDXLL: L_STIDXGL: {
            Value& a = opOf(w) == Op::STIDXLL ? fp[argU(w)] : gp[argU(w)];
            int64_t i = fp[ip[0]].i;
            bool cow = ip[1] != 0;
            ip += 2;
            if (cow) uniqueAggregate(a, true);
            Value* e = elementAt(a, i);
            if (!e) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            *e = std::move(*--sp);
          }
          DISPATCH();
          L_FORL: {
            Value& v = fp[argU(w)];
            int64_t limit = fp[*ip++].i;
            int32_t off = static_cast<int32_t>(*ip++);
            if (v.i < limit) {
              ++v.i;
              if (stop_) {
                sp_ = sp;
                throw StopSignal{};
              }
              ip += off;
            }
          }
          DISPATCH();
          L_FORG: {
            Value& v = gp[argU(w)];
            int64_t limit = fp[*ip++].i;
            int32_t off = static_cast<int32_t>(*ip++);
            if (v.i < limit) {
              ++v.i;
              if (stop_) {
                sp_ = sp;
                throw StopSignal{};
              }
              ip += off;
            }
          }
          DISPATCH();
          L_STIDXL: L_STIDXG: {
            bool cow = *ip++ != 0;
            int64_t i = (--sp)->i;
            Value& a = opOf(w) == Op::STIDXL ? fp[argU(w)] : gp[argU(w)];
            Aggregate* g = uniqueAggregate(a, cow);
            if (!g || i < 0 || i >= static_cast<int64_t>(g->v.size())) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            g->v[static_cast<size_t>(i)] = std::move(*--sp);
          }
          DISPATCH();
// The common case (an Int64 sum) takes its own path and dispatch: no select and no
// narrowing on the sum's dependency chain, which runs through memory every turn.
#define ADD_VAR(opc, target)                                                                     \
  L_##opc: {                                                                                     \
    Value& v = target[argU(w)];                                                                  \
    uint32_t src = ip[0];                                                                        \
    uint32_t mode = ip[1];                                                                       \
    ip += 2;                                                                                     \
    uint64_t x = static_cast<uint64_t>((src & 0x80000000u) ? gp[src & 0x7FFFFFFFu].i : fp[src].i); \
    if (mode == 0) {                                                                             \
      v.i = static_cast<int64_t>(static_cast<uint64_t>(v.i) + x);                                \
      DISPATCH();                                                                                \
    }                                                                                            \
    uint64_t r = (mode & 1) ? static_cast<uint64_t>(v.i) - x : static_cast<uint64_t>(v.i) + x;    \
    v.i = narrow(static_cast<IntKind>(mode >> 1), static_cast<int64_t>(r));                      \
  }                                                                                              \
  DISPATCH();
          ADD_VAR(ADDVL, fp)
          ADD_VAR(ADDVG, gp)
#undef ADD_VAR
          L_ADDLK: {
            Value& v = fp[argU(w)];
            int64_t k = static_cast<int32_t>(*ip++);
            IntKind kind = static_cast<IntKind>(*ip++);
            v.i = narrow(kind, static_cast<int64_t>(static_cast<uint64_t>(v.i) + static_cast<uint64_t>(k)));
          }
          DISPATCH();
          L_INDEXL: L_INDEXG: {
            int64_t i = sp[-1].i;
            const Value& a = opOf(w) == Op::INDEXL ? fp[argU(w)] : gp[argU(w)];
            Aggregate* g = agg(a);
            if (!g || i < 0 || i >= static_cast<int64_t>(g->v.size())) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            sp[-1] = g->v[static_cast<size_t>(i)];
          }
          DISPATCH();
          L_CONCAT: {
            --sp;
            Value& a = sp[-1];
            if (!sp->h) {
            } else if (!a.h) {
              a = std::move(*sp);
            } else if (a.h->rc == 1) {
              static_cast<StrObj*>(a.h)->s += sp->str();
            } else {
              a = Value::string(a.str() + sp->str());
            }
            sp->release();
          }
          DISPATCH();
          L_CHR2S: sp[-1] = Value::string(std::u16string(1, static_cast<char16_t>(sp[-1].i))); DISPATCH();
          L_A2S: {
            const std::u16string& s = sp[-1].str();
            std::string bytes;
            bytes.reserve(s.size());
            for (char16_t c : s) bytes += static_cast<char>(c & 0xFF);
            sp[-1] = Value::string(text::fromUtf8(bytes));
          }
          DISPATCH();
          L_S2A: {
            std::string u8 = text::toUtf8(sp[-1].str());
            sp[-1] = Value::string(std::u16string(u8.begin(), u8.end()));
            if (sp[-1].h)
              for (char16_t& c : static_cast<StrObj*>(sp[-1].h)->s) c &= 0xFF;
          }
          DISPATCH();
          L_STRIDX: {
            int64_t i = (--sp)->i;
            const std::u16string& s = sp[-1].str();
            if (i < 1 || i > static_cast<int64_t>(s.size())) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            sp[-1] = Value::integer(s[static_cast<size_t>(i - 1)]);
          }
          DISPATCH();
          L_STRSET: {
            int64_t c = (--sp)->i;
            int64_t i = (--sp)->i;
            Value* target = (--sp)->ref;
            sp->release();
            if (i < 1 || !target->h || i > static_cast<int64_t>(target->str().size())) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            static_cast<StrObj*>(target->unique())->s[static_cast<size_t>(i - 1)] = static_cast<char16_t>(c);
          }
          DISPATCH();
          L_APPENDL: L_APPENDG: {
            Value& target = opOf(w) == Op::APPENDL ? fp[argU(w)] : gp[argU(w)];
            --sp;
            if (sp->h) {
              if (!target.h) target = std::move(*sp);
              else if (target.h->rc == 1) static_cast<StrObj*>(target.h)->s += sp->str();
              else target = Value::string(target.str() + sp->str());
            }
            sp->release();
          }
          DISPATCH();
          L_INDEX: {
            int64_t i = (--sp)->i;
            Value& a = sp[-1];
            Aggregate* g = agg(a);
            if (!g || i < 0 || i >= static_cast<int64_t>(g->v.size())) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            Value e = g->v[static_cast<size_t>(i)];
            a = std::move(e);
          }
          DISPATCH();
          L_ADDRIDX: {
            int64_t i = (--sp)->i;
            Value* target = sp[-1].ref;
            Aggregate* g = uniqueAggregate(*target, argU(w) != 0);
            if (!g || i < 0 || i >= static_cast<int64_t>(g->v.size())) {
              sp_ = sp;
              raise(u"ERangeError", u"Range check error");
            }
            sp[-1].ref = &g->v[static_cast<size_t>(i)];
          }
          DISPATCH();
          L_FIELD: {
            Value e = agg(sp[-1])->v[argU(w)];
            sp[-1] = std::move(e);
          }
          DISPATCH();
          L_ADDRFLD: {
            Value* target = sp[-1].ref;
            Aggregate* g = uniqueAggregate(*target, true);
            sp[-1].ref = &g->v[argU(w)];
          }
          DISPATCH();
          L_INIT: *sp++ = defaultValue(prog_.constantTypes[argU(w)]); DISPATCH();
          L_ARRNEW: *sp++ = Value::heap(Tag::Array, new Aggregate); DISPATCH();
          L_ARRADD: {
            --sp;
            agg(sp[-1])->v.push_back(std::move(*sp));
          }
          DISPATCH();
          L_SETNEW: *sp++ = Value::heap(Tag::Set, new SetObj); DISPATCH();
          L_SETADD: {
            int64_t e = (--sp)->i;
            if (e >= 0 && e < 256) setOf(sp[-1])->bits.set(static_cast<size_t>(e));
          }
          DISPATCH();
          L_SETRANGE: {
            int64_t hi = (--sp)->i;
            int64_t lo = (--sp)->i;
            for (int64_t k = std::max<int64_t>(lo, 0); k <= hi && k < 256; ++k) setOf(sp[-1])->bits.set(static_cast<size_t>(k));
          }
          DISPATCH();
          L_SETOP: {
            --sp;
            std::bitset<256> a = sp[-1].h ? setOf(sp[-1])->bits : std::bitset<256>();
            std::bitset<256> b = sp->h ? setOf(*sp)->bits : std::bitset<256>();
            sp->release();
            auto* r = new SetObj;
            r->bits = argU(w) == 0 ? (a | b) : argU(w) == 1 ? (a & ~b) : (a & b);
            sp[-1] = Value::heap(Tag::Set, r);
          }
          DISPATCH();
          L_SETCMP: {
            --sp;
            std::bitset<256> a = sp[-1].h ? setOf(sp[-1])->bits : std::bitset<256>();
            std::bitset<256> b = sp->h ? setOf(*sp)->bits : std::bitset<256>();
            sp->release();
            bool r = argU(w) == EQ ? a == b : argU(w) == NE ? a != b : argU(w) == LE ? (a & ~b).none() : (b & ~a).none();
            sp[-1] = Value::integer(r);
          }
          DISPATCH();
          L_INSET: {
            --sp;
            int64_t e = sp[-1].i;
            bool r = sp->h && e >= 0 && e < 256 && setOf(*sp)->bits.test(static_cast<size_t>(e));
            sp->release();
            sp[-1].i = r;
          }
          DISPATCH();
          L_JMP:
            if (argS(w) < 0 && stop_) {
              sp_ = sp;
              throw StopSignal{};
            }
            ip += argS(w);
            DISPATCH();
          L_JF: if (!(--sp)->i) BRANCH(argS(w)); DISPATCH();
          L_JT: if ((--sp)->i) BRANCH(argS(w)); DISPATCH();
          L_JFKEEP: if (!sp[-1].i) ip += argS(w); else --sp; DISPATCH();
          L_JTKEEP: if (sp[-1].i) ip += argS(w); else --sp; DISPATCH();
          L_CALL: {
            int hops = static_cast<int32_t>(*ip++);
            int routine = static_cast<int>(argU(w));
            const Entry& r = entries_[routine];
            Value* base = sp - r.nparams;
            int link = -1;
            if (hops >= 0) {
              int f = static_cast<int>(frames_.size()) - 1;
              for (int k = 0; k < hops && f >= 0; ++k) f = frames_[f].staticLink;
              link = f;
            }
            sp_ = sp;
            if (stop_) throw StopSignal{};
            if (frames_.size() >= maxFrames || base + r.nslots + 512 >= stackEnd_)
              raise(u"EStackOverflow", u"Stack overflow");
            // the slots above the arguments are dead: copy the initial values straight in
            for (int k = 0; k < r.nlocals; ++k) put(sp++, r.locals[k]);
            frames_.push_back(Frame{routine, r.resultSlot, base, ip, link});
            fp = base;
            ip = r.code;
          }
          DISPATCH();
          L_NATIVE: {
            int argc = static_cast<int>(*ip++);
            const NativeDef& d = nativeTable()[argU(w)];
            Value* args = sp - argc;
            sp_ = sp;
            ip_ = ip;
            NativeCall call{args, argc, *this};
            Value r = d.fn(call);
            for (Value* p = args; p < sp; ++p) p->release();
            sp = args;
            if (d.result != '-') *sp++ = std::move(r);
          }
          DISPATCH();
          L_XCALL: {
            const int index = static_cast<int>(argU(w));
            Value* args = sp - prog_.externals[index].signature.params.size();
            sp_ = sp;
            ip_ = ip;
            Value r = callExternal(index, args);
            for (Value* p = args; p < sp; ++p) p->release();
            sp = args;
            if (prog_.externals[index].result) *sp++ = std::move(r);
          }
          DISPATCH();
          L_HCALL: {
            const int argc = static_cast<int>(*ip++);
            Value* args = sp - argc;
            sp_ = sp;
            ip_ = ip;
            Value r = callHost(static_cast<int>(argU(w)), args, argc);
            for (Value* p = args; p < sp; ++p) p->release();
            sp = args;
            if (prog_.hostRoutines[argU(w)].result) *sp++ = std::move(r);
          }
          DISPATCH();
          L_HNEW:
            sp_ = sp;
            ip_ = ip;
            *sp = newHostObject(prog_.classes[argU(w)]);
            ++sp;
            DISPATCH();
          L_LOADH: *sp++ = loadHost(argU(w)); DISPATCH();
          L_STOREH:
            storeHost(argU(w), std::move(*--sp));
            DISPATCH();
          L_RET: {
            Frame& f = frames_.back();
            Value* base = f.base;
            if (int rs = f.resultSlot; rs >= 0) {
              // the result moves down to the base slot; the rest is released
              if (rs != 0) {
                base->release();
                base->i = base[rs].i;
                base->tag = base[rs].tag;
                base[rs].tag = Tag::Int;
              }
              for (Value* p = base + 1; p < sp; ++p) p->release();
              sp = base + 1;
            } else {
              for (Value* p = base; p < sp; ++p) p->release();
              sp = base;
            }
            size_t idx = frames_.size() - 1;
            while (handlers_.size() > handlerBase && handlers_.back().frame >= idx) handlers_.pop_back();
            ip = f.returnIp;
            frames_.pop_back();
            if (frames_.size() == entry) {
              sp_ = sp;
              return;
            }
            fp = frames_.back().base;
          }
          DISPATCH();
          L_TRY: L_TRYF:
            handlers_.push_back(HandlerRec{frames_.size() - 1, sp, ip + argS(w), exceptions_.size(),
                                           opOf(w) == Op::TRYF});
            DISPATCH();
          L_ENDTRY: handlers_.pop_back(); DISPATCH();
          L_RAISE: {
            Value e = std::move(*--sp);
            sp_ = sp;
            if (!e.h) raise(u"EAccessViolation", u"Access violation");
            throw Raised{std::move(e)};
          }
          L_RERAISE: {
            Value e = exceptions_.empty() ? Value() : exceptions_.back();
            sp_ = sp;
            throw Raised{std::move(e)};
          }
          L_EXCIS: {
            const ClassInfo* c = prog_.classes[argU(w)];
            bool r = !exceptions_.empty() && exceptions_.back().h &&
                     instanceOf(objOf(exceptions_.back()), c);
            (sp++)->setInt(r);
          }
          DISPATCH();
          L_EXCGET: *sp++ = exceptions_.empty() ? Value::heap(Tag::Object, nullptr) : exceptions_.back(); DISPATCH();
          L_EXCEND: {
            if (exceptions_.empty()) DISPATCH();
            bool stopping = exceptions_.back().tag == Tag::Empty;
            exceptions_.pop_back();
            if (stopping) {  // leaving a finally block a stop runs: the stop goes on
              sp_ = sp;
              throw StopSignal{};
            }
          }
          DISPATCH();
          L_ENDFIN: {
            if (exceptions_.empty()) DISPATCH();
            Value e = std::move(exceptions_.back());
            exceptions_.pop_back();
            sp_ = sp;
            if (e.tag == Tag::Empty) throw StopSignal{};
            throw Raised{std::move(e)};
          }
          L_NEWEXC: {
            Value msg = std::move(sp[-1]);
            sp[-1] = newException(prog_.classes[argU(w)], msg.str());
          }
          DISPATCH();
          L_EXCMEM: {
            ObjectObj* o = objOf(sp[-1]);
            if (!o) {
              sp_ = sp;
              raise(u"EAccessViolation", u"Access violation");
            }
            Value r = argU(w) != 0 ? Value::string(classNameOf(o)) : o->fields.empty() ? Value::string({}) : o->fields[0];
            sp[-1] = std::move(r);
          }
          DISPATCH();
          L_ISCLS: {
            ObjectObj* o = objOf(sp[-1]);
            bool r = o && instanceOf(o, prog_.classes[argU(w)]);
            sp[-1] = Value::integer(r);
          }
          DISPATCH();
          L_ASCLS: {
            ObjectObj* o = objOf(sp[-1]);
            if (o && !instanceOf(o, prog_.classes[argU(w)])) {
              sp_ = sp;
              raise(u"EInvalidCast", u"Invalid class typecast");
            }
          }
          DISPATCH();
          L_TOVAR: sp[-1] = toVariant(sp[-1], static_cast<TypeCode>(argU(w))); DISPATCH();
          L_FROMVAR:
            sp_ = sp;
            sp[-1] = fromVariant(*this, sp[-1], static_cast<TypeCode>(argU(w)));
            DISPATCH();
          L_VOP: {
            sp_ = sp;
            Value r = variantOp(*this, argU(w), sp[-2], sp[-1]);
            (--sp)->release();
            sp[-1] = std::move(r);
          }
          DISPATCH();
          L_WRITE: {
            uint32_t a = argU(w);
            int prec = -1, width = -1;
            if (a & 0x200) prec = static_cast<int>((--sp)->i);
            if (a & 0x100) width = static_cast<int>((--sp)->i);
            sp_ = sp;
            std::u16string s = writeText(*this, sp[-1], static_cast<TypeCode>(a & 0xFF), width, prec);
            (--sp)->release();
            write(s);
          }
          DISPATCH();
          L_WRITELN: write(options_.lineBreak); DISPATCH();
          L_CASEJ: {
            int32_t off = static_cast<int32_t>(*ip++);
            const Value& labels = prog_.constants[argU(w)];
            const Aggregate* g = agg(labels);
            Value v = std::move(*--sp);
            bool hit = false;
            if (v.tag == Tag::Str) {
              for (size_t k = 0; k + 1 < g->v.size() && !hit; k += 2) hit = g->v[k].str() == v.str();
            } else {
              for (size_t k = 0; k + 1 < g->v.size() && !hit; k += 2) hit = v.i >= g->v[k].i && v.i <= g->v[k + 1].i;
            }
            if (hit) ip += off;
          }
          DISPATCH();
          L_HALT: {
            sp_ = sp;
            return;
          }
      }
#undef DISPATCH
#undef BRANCH
    } catch (Raised& x) {
      Value exc = std::move(x.exception);
      // raised inside a finally block a stop runs: the stop still wins
      if (stopping(handlers_.size() > handlerBase ? handlers_.back().excDepth : excBase)) {
        if (const uint32_t* fin = stopToFinally(handlerBase)) {
          ip = fin;
          continue;
        }
        goto stopped;
      }
      if (handlers_.size() <= handlerBase) {
        // nobody here takes it: leave this invocation
        Pos pos = positionAt(frames_.back(), ip);
        Value* floor = frames_.size() > entry ? frames_[entry].base : sp_;
        for (Value* p = floor; p < sp_; ++p) p->release();
        sp_ = floor;
        frames_.resize(entry);
        exceptions_.resize(excBase);
        ScriptError e;
        e.exception = std::move(exc);
        e.pos = pos;
        throw e;
      }
      HandlerRec h = handlers_.back();
      handlers_.pop_back();
      unwindTo(h);
      exceptions_.push_back(std::move(exc));
      ip = h.target;
    } catch (StopSignal&) {
      if (const uint32_t* fin = stopToFinally(handlerBase)) {
        ip = fin;
        continue;
      }
      goto stopped;
    }
    continue;
    stopped: {
      stop_ = true;  // outer invocations stop too
      Value* floor = frames_.size() > entry ? frames_[entry].base : sp_;
      for (Value* p = floor; p < sp_; ++p) p->release();
      sp_ = floor;
      frames_.resize(entry);
      exceptions_.resize(excBase);
      while (handlers_.size() > handlerBase) handlers_.pop_back();
      ScriptError e;
      e.stopped = true;
      throw e;
    }
  }
}

void Machine::unwindTo(const HandlerRec& h) {
  for (Value* p = h.sp; p < sp_; ++p) p->release();
  sp_ = h.sp;
  frames_.resize(h.frame + 1);
  exceptions_.resize(h.excDepth);
}

const uint32_t* Machine::stopToFinally(size_t handlerBase) {
  while (handlers_.size() > handlerBase && !handlers_.back().finally) handlers_.pop_back();
  if (handlers_.size() <= handlerBase) return nullptr;
  HandlerRec h = handlers_.back();
  handlers_.pop_back();
  unwindTo(h);
  exceptions_.push_back(Value::empty());  // what the finally block's end goes on with
  stop_ = false;  // the finally code runs to its end unless stopped again
  return h.target;
}

}  // namespace velmoro::script::vm
