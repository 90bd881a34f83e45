#include "engine/codegen.h"

#include "engine/lexer.h"
#include "engine/natives.h"

#include <algorithm>

namespace velmoro::script {

using vm::Op;
using vm::Value;
using vm::encode;

Pos CompiledRoutine::positionOf(uint32_t pc) const {
  auto it = std::upper_bound(lines.begin(), lines.end(), pc,
                             [](uint32_t p, const LineEntry& e) { return p < e.pc; });
  if (it == lines.begin()) return lines.empty() ? Pos{} : lines.front().pos;
  return std::prev(it)->pos;
}

namespace {

vm::TypeCode typeCode(const Type* t) {
  switch (t->kind) {
    case TypeKind::Float: return vm::TC_FLOAT;
    case TypeKind::Boolean: return vm::TC_BOOL;
    case TypeKind::Char: case TypeKind::AnsiChar: return vm::TC_CHAR;
    case TypeKind::String: return vm::TC_STRING;
    case TypeKind::AnsiString: return vm::TC_STRING;
    case TypeKind::Variant: return vm::TC_VARIANT;
    case TypeKind::Enum: return vm::TC_ENUM;
    default: return vm::TC_INT;
  }
}

uint32_t relOf(script::Oper op) {
  switch (op) {
    case script::Oper::Eq: return vm::EQ;
    case script::Oper::Ne: return vm::NE;
    case script::Oper::Lt: return vm::LT;
    case script::Oper::Gt: return vm::GT;
    case script::Oper::Le: return vm::LE;
    default: return vm::GE;
  }
}


class Generator {
 public:
  Generator(Engine::Program& prog) : prog_(prog) {}

  void routine(Routine& r, CompiledRoutine& out) {
    cur_ = &r;
    out_ = &out;
    out.name = r.name;
    out.level = r.level;
    out.nparams = static_cast<int>(r.params.size());
    out.resultSlot = r.resultSlot;
    out.slots = r.slots;
    out.params = r.params;
    out.result = r.result;
    if (r.external >= 0) {
      // Reached only by a call by name: script calls use XCALL directly.
      line(r.pos);
      for (int k = 0; k < out.nparams; ++k) emit(Op::LOADL, k);
      emit(Op::XCALL, r.external);
      if (r.resultSlot >= 0) emit(Op::STOREL, r.resultSlot);
    }
    for (auto& s : r.body) statement(*s);
    emit(Op::RET);
    threadJumps();
  }

 private:
  enum class BlockKind { Loop, TryFinally, TryExcept, Handler };
  struct Block {
    BlockKind kind;
    const Stmt* finallyBody = nullptr;
    std::vector<size_t> breaks, continues;
    Block() : kind(BlockKind::Loop) {}
    explicit Block(BlockKind k, const Stmt* fin = nullptr) : kind(k), finallyBody(fin) {}
  };

  size_t here() const { return out_->code.size(); }
  // A jump to a RET is a RET (the leaf path of `if ... then Result := ... else ...`).
  void threadJumps() {
    auto& code = out_->code;
    for (size_t pc = 0; pc < code.size(); pc += 1 + vm::opInfo[static_cast<size_t>(vm::opOf(code[pc]))].extra) {
      if (vm::opOf(code[pc]) != Op::JMP) continue;
      size_t target = pc + 1 + static_cast<size_t>(vm::argS(code[pc]));
      if (target < code.size() && vm::opOf(code[target]) == Op::RET) code[pc] = encode(Op::RET);
    }
  }
  // A variable of this routine held in its slot (not through an address).
  bool isLocal(const Expr& e) const { return e.kind == EK::Var && !e.ref && e.level == cur_->level; }
  // Widening an ordinal to Int64 emits nothing: fused instructions look through it.
  static const Expr& plain(const Expr& e) {
    const Expr* p = &e;
    while (p->kind == EK::Convert && p->type->kind == TypeKind::Integer &&
           p->type->intKind == IntKind::I64 && p->a->type->isOrdinal())
      p = p->a.get();
    return *p;
  }
  static bool smallConst(const Expr& e) {
    return e.kind == EK::Const && e.value.tag == vm::Tag::Int && e.value.i > INT32_MIN &&
           e.value.i <= INT32_MAX;
  }
  // local ± constant as one LOADLK, wrapped to kind (I64: no narrowing follows).
  bool localPlusConst(const Expr& e, IntKind kind) {
    if (e.kind != EK::Binary || (e.op != script::Oper::Add && e.op != script::Oper::Sub)) return false;
    if (e.a->type->kind != TypeKind::Integer || e.type->kind != TypeKind::Integer) return false;
    const Expr& a = plain(*e.a);
    if (!isLocal(a) || !a.type->isOrdinal() || !smallConst(*e.b)) return false;
    int64_t k = e.op == script::Oper::Sub ? -e.b->value.i : e.b->value.i;
    emit(Op::LOADLK, a.slot);
    extra(static_cast<int32_t>(k));
    extra(static_cast<int32_t>(kind));
    return true;
  }
  size_t emit(Op op, uint32_t a = 0) {
    lastOp_ = out_->code.size();
    out_->code.push_back(encode(op, a & 0xFFFFFF));
    return out_->code.size() - 1;
  }
  void extra(int32_t v) { out_->code.push_back(static_cast<uint32_t>(v)); }
  size_t emitJump(Op op) { return emit(op, 0); }
  void patch(size_t at) {
    label_ = here();
    patchTo(at, here());
  }
  void jumpTo(Op op, size_t target) {
    size_t at = emit(op);
    int32_t off = static_cast<int32_t>(target) - static_cast<int32_t>(at + 1);
    out_->code[at] = encode(op, static_cast<uint32_t>(off) & 0xFFFFFF);
  }
  // jumps with the offset in an extra word (CASEJ, JLTI)
  size_t emitJumpExtra(Op op, uint32_t a) {
    size_t at = emit(op, a);
    extra(0);
    return at;
  }
  void patchExtra(size_t at) {
    out_->code[at + 1] = static_cast<uint32_t>(static_cast<int32_t>(here()) - static_cast<int32_t>(at + 2));
  }
  void line(Pos p) {
    auto& l = out_->lines;
    if (!l.empty() && l.back().pos.row == p.row && l.back().pos.module == p.module) return;
    if (!l.empty() && l.back().pc == here()) {
      l.back().pos = p;
      return;
    }
    l.push_back(LineEntry{static_cast<uint32_t>(here()), p});
  }
  uint32_t constant(Value v, const Type* t = nullptr) {
    prog_.constants.push_back(std::move(v));
    prog_.constantTypes.push_back(t);
    return static_cast<uint32_t>(prog_.constants.size() - 1);
  }
  uint32_t classIndex(const vm::ClassInfo* c) {
    for (size_t k = 0; k < prog_.classes.size(); ++k)
      if (prog_.classes[k] == c) return static_cast<uint32_t>(k);
    prog_.classes.push_back(c);
    return static_cast<uint32_t>(prog_.classes.size() - 1);
  }

  // ---- variables ----
  void load(const Expr& e) {
    if (e.level == -1) {
      emit(Op::LOADG, e.slot);
    } else if (e.level == cur_->level) {
      emit(e.ref ? Op::LOADREF : Op::LOADL, e.slot);
    } else {
      emit(Op::LOADU, e.slot);
      extra(cur_->level - e.level);
      if (e.ref) emit(Op::DEREF);
    }
  }
  // Stores the value on top into a simple variable; false when it needs an address.
  bool storeSimple(const Expr& e) {
    if (e.kind == EK::HostVar) {
      emit(Op::STOREH, e.index);
      return true;
    }
    if (e.kind != EK::Var) return false;
    if (e.level == -1) emit(Op::STOREG, e.slot);
    else if (e.level == cur_->level) emit(e.ref ? Op::STOREREF : Op::STOREL, e.slot);
    else if (!e.ref) {
      emit(Op::STOREU, e.slot);
      extra(cur_->level - e.level);
    } else {
      return false;
    }
    return true;
  }
  void address(const Expr& e) {
    switch (e.kind) {
      case EK::Var:
        if (e.level == -1) {
          emit(Op::ADDRG, e.slot);
        } else if (e.level == cur_->level) {
          emit(e.ref ? Op::LOADL : Op::ADDRL, e.slot);
        } else {
          emit(e.ref ? Op::LOADU : Op::ADDRU, e.slot);
          extra(cur_->level - e.level);
        }
        break;
      case EK::Index:
        address(*e.a);
        expr(*e.b);
        emit(Op::ADDRIDX, e.a->type->kind == TypeKind::StaticArray ? 1 : 0);
        break;
      case EK::Field:
        address(*e.a);
        emit(Op::ADDRFLD, e.index);
        break;
      default: break;
    }
  }
  void store(const Expr& target) {  // value on top
    if (storeSimple(target)) return;
    address(target);
    emit(Op::STOREIND);
  }

  // ---- expressions ----
  void pushInt(int64_t v) {
    if (v >= -(1 << 23) && v < (1 << 23)) emit(Op::PUSHI, static_cast<uint32_t>(v));
    else emit(Op::PUSHK, constant(Value::integer(v)));
  }

  void expr(const Expr& e) {
    switch (e.kind) {
      case EK::Const:
        if (e.index == -2) {
          emit(Op::PUSHK, constant(defaultValue(e.type), e.type));
        } else if (e.value.tag == vm::Tag::Int) {
          pushInt(e.value.i);
        } else {
          emit(Op::PUSHK, constant(e.value, e.type));
        }
        break;
      case EK::Var: load(e); break;
      case EK::Index:
        if (!e.a->type->isString() && e.a->kind == EK::Var && !e.a->ref &&
            (e.a->level == -1 || e.a->level == cur_->level)) {
          if (const Expr& i = plain(*e.b); isLocal(i)) {
            emit(e.a->level == -1 ? Op::INDEXGL : Op::INDEXLL, e.a->slot);
            extra(i.slot);
            break;
          }
          expr(*e.b);
          emit(e.a->level == -1 ? Op::INDEXG : Op::INDEXL, e.a->slot);
          break;
        }
        expr(*e.a);
        expr(*e.b);
        emit(e.a->type->isString() ? Op::STRIDX : Op::INDEX);
        break;
      case EK::Field:
        expr(*e.a);
        emit(Op::FIELD, e.index);
        break;
      case EK::Call:
        arguments(e);
        emit(Op::CALL, e.index);
        extra(e.hops);
        break;
      case EK::External:
        arguments(e);
        emit(Op::XCALL, e.index);
        break;
      case EK::Native:
        arguments(e);
        emit(Op::NATIVE, e.index);
        extra(static_cast<int32_t>(e.args.size()));
        break;
      case EK::Magic:
        for (size_t k = 0; k + 2 < e.args.size(); k += 3) {
          const Expr* a = e.args[k].get();
          expr(*a);
          uint32_t flags = typeCode(a->type);
          if (a->type->kind == TypeKind::Enum) {
            // enumerations print their names
            Value names = Value::heap(vm::Tag::Array, new vm::Aggregate);
            for (const auto& n : a->type->names) vm::agg(names)->v.push_back(Value::string(n));
            emit(Op::PUSHK, constant(std::move(names)));
            emit(Op::NATIVE, static_cast<uint32_t>(findNative(u"__enumname")));
            extra(2);
            flags = vm::TC_STRING;
          }
          if (e.args[k + 1]) {
            expr(*e.args[k + 1]);
            flags |= 0x100;
          }
          if (e.args[k + 2]) {
            expr(*e.args[k + 2]);
            flags |= 0x200;
          }
          emit(Op::WRITE, flags);
        }
        if (e.index == 1) emit(Op::WRITELN);
        break;
      case EK::Unary:
        expr(*e.a);
        if (e.op == script::Oper::Neg) emit(e.type->kind == TypeKind::Float ? Op::NEGF : Op::NEGI);
        else if (e.type->kind == TypeKind::Boolean) emit(Op::NOTB);
        else emit(Op::NOTI, static_cast<uint32_t>(e.type->intKind));
        break;
      case EK::Binary: binary(e); break;
      case EK::Convert: convert(e); break;
      case EK::SetCons:
        emit(Op::SETNEW);
        for (const auto& x : e.args) {
          if (x->kind == EK::Binary && x->op == script::Oper::In) {
            expr(*x->a);
            expr(*x->b);
            emit(Op::SETRANGE);
          } else {
            expr(*x);
            emit(Op::SETADD);
          }
        }
        break;
      case EK::OpenArray:
        emit(Op::ARRNEW);
        for (const auto& x : e.args) {
          expr(*x);
          emit(Op::ARRADD);
        }
        break;
      case EK::NewObject:
        expr(*e.a);
        emit(Op::NEWEXC, classIndex(e.cls));
        break;
      case EK::ExcMember:
        expr(*e.a);
        emit(Op::EXCMEM, e.index);
        break;
      case EK::HostCall: hostCall(e.index, e); break;
      case EK::Property: hostCall(e.slot, e); break;
      case EK::HostVar: emit(Op::LOADH, e.index); break;
      case EK::HostNew:
        emit(Op::HNEW, classIndex(e.cls));
        if (e.index >= 0 && prog_.hostRoutines[e.index].fn && *prog_.hostRoutines[e.index].fn) {
          emit(Op::DUP);
          hostCall(e.index, e, 1);
        }
        break;
    }
  }

  // The arguments of a call: values, or addresses for var parameters.
  void arguments(const Expr& e) {
    for (size_t k = 0; k < e.args.size(); ++k) {
      if (k < e.byRef.size() && e.byRef[k]) address(*e.args[k]);
      else expr(*e.args[k]);
    }
  }

  // The arguments of e, then HCALL of host routine index; extra: values already pushed
  // (a constructor's object).
  void hostCall(int index, const Expr& e, int extraArgs = 0, const Expr* value = nullptr) {
    arguments(e);
    if (value) expr(*value);
    emit(Op::HCALL, static_cast<uint32_t>(index));
    extra(static_cast<int32_t>(e.args.size()) + extraArgs + (value ? 1 : 0));
  }

  void binary(const Expr& e) {
    const Type* t = e.a->type;
    script::Oper op = e.op;
    if (op == script::Oper::Is) {
      expr(*e.a);
      emit(Op::ISCLS, classIndex(e.cls));
      return;
    }
    if ((op == script::Oper::And || op == script::Oper::Or) && t->kind == TypeKind::Boolean &&
        prog_.shortCircuit) {
      expr(*e.a);
      size_t j = emitJump(op == script::Oper::And ? Op::JFKEEP : Op::JTKEEP);
      expr(*e.b);
      patch(j);
      return;
    }
    bool intArith = t->kind == TypeKind::Integer && e.type->kind == TypeKind::Integer &&
                    (op == script::Oper::Add || op == script::Oper::Sub || op == script::Oper::Mul);
    if (intArith && localPlusConst(e, IntKind::I64)) return;
    if (intArith && e.b->kind == EK::Const && e.b->value.tag == vm::Tag::Int &&
        e.b->value.i > -(1 << 23) && e.b->value.i < (1 << 23)) {
      expr(*e.a);
      int64_t k = e.b->value.i;
      if (op == script::Oper::Mul) emit(Op::MULIK, static_cast<uint32_t>(k));
      else emit(Op::ADDIK, static_cast<uint32_t>(op == script::Oper::Sub ? -k : k));
      return;
    }
    if (intArith && op != script::Oper::Mul && e.b->kind == EK::Var && !e.b->ref &&
        (e.b->level == -1 || e.b->level == cur_->level)) {
      expr(*e.a);
      bool add = op == script::Oper::Add;
      if (e.b->level == -1) emit(add ? Op::ADDIG : Op::SUBIG, e.b->slot);
      else emit(add ? Op::ADDIL : Op::SUBIL, e.b->slot);
      return;
    }
    expr(*e.a);
    expr(*e.b);
    bool rel = op == script::Oper::Eq || op == script::Oper::Ne || op == script::Oper::Lt ||
               op == script::Oper::Gt || op == script::Oper::Le || op == script::Oper::Ge;
    if (op == script::Oper::In) {
      emit(Op::INSET);
      return;
    }
    if (t->kind == TypeKind::Variant) {
      uint32_t v = 0;
      switch (op) {
        case script::Oper::Add: v = vm::V_ADD; break;
        case script::Oper::Sub: v = vm::V_SUB; break;
        case script::Oper::Mul: v = vm::V_MUL; break;
        case script::Oper::FDiv: v = vm::V_FDIV; break;
        case script::Oper::IDiv: v = vm::V_IDIV; break;
        case script::Oper::Mod: v = vm::V_MOD; break;
        case script::Oper::And: v = vm::V_AND; break;
        case script::Oper::Or: v = vm::V_OR; break;
        case script::Oper::Xor: v = vm::V_XOR; break;
        default: v = vm::V_REL + relOf(op); break;
      }
      emit(Op::VOP, v);
      return;
    }
    if (t->kind == TypeKind::Set) {
      if (rel) emit(Op::SETCMP, relOf(op));
      else emit(Op::SETOP, op == script::Oper::Add ? 0 : op == script::Oper::Sub ? 1 : 2);
      return;
    }
    if (rel) {
      if (t->kind == TypeKind::Float) emit(Op::CMPF, relOf(op));
      else if (t->isString()) emit(Op::CMPS, relOf(op));
      else if (t->kind == TypeKind::Class || t->kind == TypeKind::Nil) emit(Op::CMPO, relOf(op));
      else emit(Op::CMPI, relOf(op));
      return;
    }
    if (t->kind == TypeKind::Float) {
      switch (op) {
        case script::Oper::Add: emit(Op::ADDF); break;
        case script::Oper::Sub: emit(Op::SUBF); break;
        case script::Oper::Mul: emit(Op::MULF); break;
        default: emit(Op::DIVF); break;
      }
      return;
    }
    if (t->isString()) {
      emit(Op::CONCAT);
      return;
    }
    switch (op) {
      case script::Oper::Add: emit(Op::ADDI); break;
      case script::Oper::Sub: emit(Op::SUBI); break;
      case script::Oper::Mul: emit(Op::MULI); break;
      case script::Oper::IDiv: emit(Op::DIVI); break;
      case script::Oper::Mod: emit(Op::MODI); break;
      case script::Oper::And: emit(Op::ANDI); break;
      case script::Oper::Or: emit(Op::ORI); break;
      case script::Oper::Xor: emit(Op::XORI); break;
      case script::Oper::Shl: case script::Oper::Shr:
        emit(op == script::Oper::Shl ? Op::SHLI : Op::SHRI, e.index);
        if (e.index == 32) emit(Op::NARROW, static_cast<uint32_t>(e.type->intKind));
        break;
      default: break;
    }
  }

  void convert(const Expr& e) {
    const Type* from = e.a->type;
    const Type* to = e.type;
    if (to->kind == TypeKind::Integer && from->kind == TypeKind::Integer && localPlusConst(*e.a, to->intKind))
      return;
    expr(*e.a);
    if (to->kind == TypeKind::Variant) {
      if (from->kind != TypeKind::Variant) emit(Op::TOVAR, typeCode(from));
      return;
    }
    if (from->kind == TypeKind::Variant) {
      emit(Op::FROMVAR, typeCode(to));
      if (to->kind == TypeKind::Integer) emit(Op::NARROW, static_cast<uint32_t>(to->intKind));
      if (to->kind == TypeKind::AnsiString) emit(Op::S2A);
      return;
    }
    if (to->kind == TypeKind::Float && from->kind == TypeKind::Integer) {
      emit(Op::I2F, 0);
      return;
    }
    if (to->isString()) {
      if (from->kind == TypeKind::Char || from->kind == TypeKind::AnsiChar) emit(Op::CHR2S);
      if (from->kind == TypeKind::AnsiString && to->kind == TypeKind::String) emit(Op::A2S);
      if (from->kind != TypeKind::AnsiString && to->kind == TypeKind::AnsiString) emit(Op::S2A);
      return;
    }
    if (to->kind == TypeKind::Integer && from->isOrdinal()) {
      if (to->intKind != IntKind::I64) emit(Op::NARROW, static_cast<uint32_t>(to->intKind));
      return;
    }
    if (to->kind == TypeKind::Char) {
      emit(Op::NARROW, static_cast<uint32_t>(IntKind::U16));
      return;
    }
    if (to->kind == TypeKind::AnsiChar) {
      emit(Op::NARROW, static_cast<uint32_t>(IntKind::U8));
      return;
    }
    if (to->kind == TypeKind::Boolean && from->kind != TypeKind::Boolean) {
      pushInt(0);
      emit(Op::CMPI, vm::NE);
      return;
    }
    if (to->kind == TypeKind::Class && e.cls && from->kind == TypeKind::Class && !from->cls->inheritsFrom(e.cls))
      emit(Op::ASCLS, classIndex(e.cls));
    // enumerations, nil, widening class conversions: the value stands
  }

  // ---- statements ----
  void leaveBlocks(size_t downTo) {
    for (size_t k = blocks_.size(); k-- > downTo;) {
      Block& b = blocks_[k];
      if (b.kind == BlockKind::TryExcept) {
        emit(Op::ENDTRY);
      } else if (b.kind == BlockKind::TryFinally) {
        emit(Op::ENDTRY);
        // the finally code runs on the way out; it sits outside its own block
        std::vector<Block> saved(blocks_.begin() + static_cast<long>(k), blocks_.end());
        blocks_.resize(k);
        statement(*b.finallyBody);
        blocks_.insert(blocks_.end(), saved.begin(), saved.end());
      } else if (b.kind == BlockKind::Handler) {
        emit(Op::EXCEND);
      }
    }
  }

  void body(const Stmt* s) {
    if (s) statement(*s);
  }

  void statement(const Stmt& s) {
    if (s.kind != SK::Compound && s.kind != SK::Empty) line(s.pos);
    switch (s.kind) {
      case SK::Empty: break;
      case SK::Compound:
        for (const auto& x : s.body) statement(*x);
        if (s.then) statement(*s.then);
        break;
      case SK::Assign: assign(s); break;
      case SK::ExprStmt:
        expr(*s.a);
        if (s.a->type && s.a->type->kind != TypeKind::Void) emit(Op::POP);
        break;
      case SK::If: {
        size_t jf = jumpIfFalse(*s.a);
        body(s.then.get());
        if (s.otherwise) {
          size_t j = emitJump(Op::JMP);
          patch(jf);
          body(s.otherwise.get());
          patch(j);
        } else {
          patch(jf);
        }
        break;
      }
      case SK::While: {
        // the test sits at the bottom too, so each turn takes one jump, not two
        size_t jf = jumpIfFalse(*s.a);
        size_t top = here();
        blocks_.push_back(Block{BlockKind::Loop});
        body(s.then.get());
        Block b = std::move(blocks_.back());
        blocks_.pop_back();
        size_t cont = here();
        line(s.a->pos);
        patchTo(jumpIf(*s.a, true), top);
        patch(jf);
        for (size_t j : b.breaks) patch(j);
        for (size_t j : b.continues) patchTo(j, cont);
        break;
      }
      case SK::Repeat: {
        size_t top = here();
        blocks_.push_back(Block{BlockKind::Loop});
        for (const auto& x : s.body) statement(*x);
        Block b = std::move(blocks_.back());
        blocks_.pop_back();
        size_t cont = here();
        line(s.a->pos);
        size_t back = jumpIfFalse(*s.a);
        patchTo(back, top);
        for (size_t j : b.breaks) patch(j);
        for (size_t j : b.continues) patchTo(j, cont);
        break;
      }
      case SK::For: forLoop(s); break;
      case SK::Case: caseStatement(s); break;
      case SK::Break: case SK::Continue: {
        size_t k = blocks_.size();
        while (k > 0 && blocks_[k - 1].kind != BlockKind::Loop) --k;
        if (k == 0) break;
        leaveBlocks(k);
        size_t j = emitJump(Op::JMP);
        if (s.kind == SK::Break) blocks_[k - 1].breaks.push_back(j);
        else blocks_[k - 1].continues.push_back(j);
        break;
      }
      case SK::Exit:
        if (s.a) {
          expr(*s.b);
          store(*s.a);
        }
        leaveBlocks(0);
        emit(Op::RET);
        break;
      case SK::With:
        address(*s.a);
        emit(Op::STOREL, s.temp);
        body(s.then.get());
        break;
      case SK::TryExcept: tryExcept(s); break;
      case SK::TryFinally: {
        size_t t = emitJump(Op::TRYF);
        blocks_.push_back(Block{BlockKind::TryFinally, s.otherwise.get()});
        for (const auto& x : s.body) statement(*x);
        blocks_.pop_back();
        emit(Op::ENDTRY);
        body(s.otherwise.get());
        size_t j = emitJump(Op::JMP);
        patch(t);
        blocks_.push_back(Block{BlockKind::Handler});
        body(s.otherwise.get());
        blocks_.pop_back();
        emit(Op::ENDFIN);
        patch(j);
        break;
      }
      case SK::Raise:
        if (s.a) {
          expr(*s.a);
          emit(Op::RAISE);
        } else {
          emit(Op::RERAISE);
        }
        break;
    }
  }

  void patchTo(size_t at, size_t target) {
    Op op = vm::opOf(out_->code[at]);
    size_t extra = vm::opInfo[static_cast<size_t>(op)].extra;
    int32_t off = static_cast<int32_t>(target) - static_cast<int32_t>(at + 1 + extra);
    if (vm::jumpInExtra(op)) out_->code[at + extra] = static_cast<uint32_t>(off);
    else out_->code[at] = encode(op, static_cast<uint32_t>(off) & 0xFFFFFF);
  }
  // A condition and a jump taken when it is false; integer comparisons become one
  // compare-and-branch instruction.
  size_t jumpIfFalse(const Expr& c) { return jumpIf(c, false); }
  // A jump taken when the condition is `when`: the fused forms test the inverse relation.
  size_t jumpIf(const Expr& c, bool when) {
    static const uint32_t inverse[] = {vm::NE, vm::EQ, vm::GE, vm::LE, vm::GT, vm::LT};
    auto relation = [&](script::Oper op) { return when ? inverse[relOf(op)] : relOf(op); };
    bool rel = c.kind == EK::Binary &&
               (c.op == script::Oper::Eq || c.op == script::Oper::Ne || c.op == script::Oper::Lt ||
                c.op == script::Oper::Gt || c.op == script::Oper::Le || c.op == script::Oper::Ge);
    if (rel && c.index == 0 && c.a->type->isOrdinal() && c.b->type->isOrdinal()) {
      const Expr& a = plain(*c.a);
      const Expr& b = plain(*c.b);
      if (isLocal(a) && (smallConst(b) || isLocal(b))) {
        size_t at = emit(smallConst(b) ? Op::JFCMPLK : Op::JFCMPLL, a.slot);
        extra(static_cast<int32_t>(relation(c.op)));
        extra(static_cast<int32_t>(smallConst(b) ? b.value.i : b.slot));
        extra(0);
        return at;
      }
      expr(*c.a);
      if (c.b->kind == EK::Const && c.b->value.tag == vm::Tag::Int && c.b->value.i >= INT32_MIN &&
          c.b->value.i <= INT32_MAX) {
        size_t at = emit(Op::JFCMPIK, relation(c.op));
        extra(static_cast<int32_t>(c.b->value.i));
        extra(0);
        return at;
      }
      if (isLocal(b)) {
        size_t at = emit(Op::JFCMPIL, b.slot);
        extra(static_cast<int32_t>(relation(c.op)));
        extra(0);
        return at;
      }
      expr(*c.b);
      size_t at = emit(Op::JFCMPI, relation(c.op));
      extra(0);
      return at;
    }
    expr(c);
    return emitJump(when ? Op::JT : Op::JF);
  }

  void assign(const Stmt& s) {
    const Expr& t = *s.a;
    const Expr& v = *s.b;
    if (t.kind == EK::Property) {  // the setter takes the object, the index, the value
      hostCall(t.index, t, 0, &v);
      return;
    }
    // s := s + x on a string variable appends in place
    if (t.kind == EK::Var && !t.ref && t.type->kind == TypeKind::String && v.kind == EK::Binary &&
        v.op == script::Oper::Add && v.a->kind == EK::Var && v.a->slot == t.slot &&
        v.a->level == t.level && !v.a->ref && (t.level == -1 || t.level == cur_->level)) {
      expr(*v.b);
      emit(t.level == -1 ? Op::APPENDG : Op::APPENDL, t.slot);
      return;
    }
    if (t.kind == EK::Index && t.a->type->isString()) {
      address(*t.a);
      expr(*t.b);
      expr(v);
      emit(Op::STRSET);
      return;
    }
    // v := v ± constant on a local integer (Inc, Dec, counters)
    if (t.kind == EK::Var && !t.ref && t.level == cur_->level && t.type->kind == TypeKind::Integer) {
      const Expr* sum = &v;
      if (sum->kind == EK::Convert && sum->type->kind == TypeKind::Integer) sum = sum->a.get();
      if (sum->kind == EK::Binary && (sum->op == script::Oper::Add || sum->op == script::Oper::Sub) &&
          sum->a->kind == EK::Var && sum->a->slot == t.slot && sum->a->level == t.level && !sum->a->ref &&
          sum->b->kind == EK::Const && sum->b->value.tag == vm::Tag::Int &&
          sum->b->value.i > INT32_MIN && sum->b->value.i <= INT32_MAX) {
        int64_t k = sum->op == script::Oper::Add ? sum->b->value.i : -sum->b->value.i;
        emit(Op::ADDLK, t.slot);
        extra(static_cast<int32_t>(k));
        extra(static_cast<int32_t>(t.type->intKind));
        return;
      }
    }
    // v := v ± w on integer variables (totals, counters)
    if (t.kind == EK::Var && !t.ref && (t.level == -1 || t.level == cur_->level) &&
        t.type->kind == TypeKind::Integer) {
      const Expr* sum = &v;
      if (sum->kind == EK::Convert && sum->type->kind == TypeKind::Integer) sum = sum->a.get();
      if (sum->kind == EK::Binary && (sum->op == script::Oper::Add || sum->op == script::Oper::Sub) &&
          sum->a->kind == EK::Var && sum->a->slot == t.slot && sum->a->level == t.level && !sum->a->ref &&
          sum->b->kind == EK::Var && !sum->b->ref && sum->b->type->kind == TypeKind::Integer &&
          (sum->b->level == -1 || sum->b->level == cur_->level)) {
        emit(t.level == -1 ? Op::ADDVG : Op::ADDVL, t.slot);
        extra(static_cast<int32_t>(static_cast<uint32_t>(sum->b->slot) | (sum->b->level == -1 ? 0x80000000u : 0u)));
        extra(static_cast<int32_t>((static_cast<uint32_t>(t.type->intKind) << 1) | (sum->op == script::Oper::Sub ? 1u : 0u)));
        return;
      }
    }
    // a[i] := v on an array variable
    if (t.kind == EK::Index && !t.a->type->isString() && t.a->kind == EK::Var && !t.a->ref &&
        (t.a->level == -1 || t.a->level == cur_->level)) {
      expr(v);
      if (const Expr& i = plain(*t.b); isLocal(i)) {
        emit(t.a->level == -1 ? Op::STIDXGL : Op::STIDXLL, t.a->slot);
        extra(i.slot);
        extra(t.a->type->kind == TypeKind::StaticArray ? 1 : 0);
        return;
      }
      expr(*t.b);
      emit(t.a->level == -1 ? Op::STIDXG : Op::STIDXL, t.a->slot);
      extra(t.a->type->kind == TypeKind::StaticArray ? 1 : 0);
      return;
    }
    // a narrowing store into a local integer (x := a + b on Integer)
    if (isLocal(t) && t.type->kind == TypeKind::Integer && v.kind == EK::Convert &&
        v.type->kind == TypeKind::Integer && v.type->intKind != IntKind::I64 &&
        v.a->type->kind == TypeKind::Integer) {
      if (localPlusConst(*v.a, v.type->intKind)) {
        emit(Op::STOREL, t.slot);
        return;
      }
      expr(*v.a);
      emit(Op::STORELN, t.slot);
      extra(static_cast<int32_t>(v.type->intKind));
      return;
    }
    // local := local of the same type
    if (isLocal(t) && isLocal(v) && v.type == t.type) {
      emit(Op::MOVL, t.slot);
      extra(v.slot);
      return;
    }
    // i := i + k on a local integer
    if (t.kind == EK::Var && !t.ref && t.level == cur_->level && t.type->kind == TypeKind::Integer &&
        t.type->intKind == IntKind::I64 && v.kind == EK::Binary && v.op == script::Oper::Add &&
        v.a->kind == EK::Var && v.a->slot == t.slot && v.a->level == t.level && !v.a->ref) {
      expr(*v.b);
      emit(Op::INCL, t.slot);
      return;
    }
    expr(v);
    store(t);
  }

  void forLoop(const Stmt& s) {
    const Expr& v = *s.a;
    expr(*s.b);
    store(v);
    expr(*s.c);
    emit(Op::STOREL, s.temp);
    load(v);
    emit(Op::LOADL, s.temp);
    emit(Op::CMPI, s.downto ? vm::LT : vm::GT);
    size_t skip = emitJump(Op::JT);
    size_t top = here();
    blocks_.push_back(Block{BlockKind::Loop});
    body(s.then.get());
    Block b = std::move(blocks_.back());
    blocks_.pop_back();
    size_t cont = here();
    bool local = v.kind == EK::Var && !v.ref && v.level == cur_->level;
    bool global = v.kind == EK::Var && v.level == -1;
    if ((local || global) && !s.downto) {
      size_t at = emit(local ? Op::FORL : Op::FORG, v.slot);
      extra(s.temp);
      extra(0);
      patchTo(at, top);
    } else {
      load(v);
      emit(Op::LOADL, s.temp);
      emit(Op::CMPI, vm::EQ);
      size_t done = emitJump(Op::JT);
      load(v);
      pushInt(1);
      emit(s.downto ? Op::SUBI : Op::ADDI);
      store(v);
      jumpTo(Op::JMP, top);
      patch(done);
    }
    patch(skip);
    for (size_t j : b.breaks) patch(j);
    for (size_t j : b.continues) patchTo(j, cont);
  }

  void caseStatement(const Stmt& s) {
    expr(*s.a);
    emit(Op::STOREL, s.temp);
    std::vector<size_t> jumps;
    for (const CaseArm& arm : s.arms) {
      Value labels = Value::heap(vm::Tag::Array, new vm::Aggregate);
      for (const auto& [lo, hi] : arm.labels) {
        vm::agg(labels)->v.push_back(lo);
        vm::agg(labels)->v.push_back(hi);
      }
      emit(Op::LOADL, s.temp);
      jumps.push_back(emitJumpExtra(Op::CASEJ, constant(std::move(labels))));
    }
    body(s.otherwise.get());
    std::vector<size_t> ends;
    ends.push_back(emitJump(Op::JMP));
    for (size_t k = 0; k < s.arms.size(); ++k) {
      patchExtra(jumps[k]);
      body(s.arms[k].body.get());
      ends.push_back(emitJump(Op::JMP));
    }
    for (size_t j : ends) patch(j);
  }

  void tryExcept(const Stmt& s) {
    size_t t = emitJump(Op::TRY);
    blocks_.push_back(Block{BlockKind::TryExcept});
    for (const auto& x : s.body) statement(*x);
    blocks_.pop_back();
    emit(Op::ENDTRY);
    std::vector<size_t> ends;
    ends.push_back(emitJump(Op::JMP));
    patch(t);
    blocks_.push_back(Block{BlockKind::Handler});
    for (const Handler& h : s.handlers) {
      emit(Op::EXCIS, classIndex(h.cls));
      size_t next = emitJump(Op::JF);
      if (h.slot >= 0) {
        emit(Op::EXCGET);
        emit(Op::STOREL, h.slot);
      }
      body(h.body.get());
      emit(Op::EXCEND);
      ends.push_back(emitJump(Op::JMP));
      patch(next);
    }
    if (s.otherwise) {
      body(s.otherwise.get());
      emit(Op::EXCEND);
    } else {
      emit(Op::RERAISE);
    }
    blocks_.pop_back();
    for (size_t j : ends) patch(j);
  }

  Engine::Program& prog_;
  Routine* cur_ = nullptr;
  CompiledRoutine* out_ = nullptr;
  std::vector<Block> blocks_;
  size_t label_ = SIZE_MAX;   // the last jump target
  size_t lastOp_ = SIZE_MAX;  // where the last instruction starts
};

}  // namespace

void generateCode(Engine::Program& prog) {
  prog.routines.clear();
  prog.routines.resize(prog.decls.size());
  for (size_t k = 0; k < prog.decls.size(); ++k) {
    Generator g(prog);
    g.routine(*prog.decls[k], prog.routines[k]);
    if (k > 0 && prog.decls[k]->level == 1)
      prog.routineByName.emplace(foldName(prog.decls[k]->name), static_cast<int>(k));
  }
}

}  // namespace velmoro::script
