// The bytecode. One instruction is a 32-bit word, optionally followed by extra words:
//
//   31                      8 7        0
//   +------------------------+----------+
//   |  A (24 bits)           |  opcode  |      [extra word] ...
//   +------------------------+----------+
//
// A is unsigned except for jumps and PUSHI, where it is a signed offset / immediate.
// Jump offsets count words from the word after the instruction (and its extras); they
// sit in A, or in the last extra word for CASEJ, JLTI, FORL, FORG and the JFCMP family.
// The machine is a stack machine: slots of the frame hold parameters, Result, locals and
// temporaries; globals live in one array. This list is the only place opcodes are named:
// the enum, the disassembler's names and the extra-word counts are generated from it.
#pragma once

#include <cstdint>

namespace velmoro::script::vm {

// OP(name, extra words, operand kind, what it does)
// Operand kinds: N none, I immediate, S slot, G global, J jump, K constant, R routine,
// F native, T type code, C class, X library function, H host routine, V host variable.
#define VELMORO_OPCODES(OP)                                                          \
  OP(NOP, 0, N, "nothing")                                                           \
  OP(PUSHI, 0, I, "push integer A")                                                  \
  OP(PUSHK, 0, K, "push constant A")                                                 \
  OP(POP, 0, N, "drop the top value")                                                \
  OP(DUP, 0, N, "push a copy of the top value")                                      \
  OP(LOADL, 0, S, "push local slot A")                                               \
  OP(STOREL, 0, S, "pop into local slot A")                                          \
  OP(LOADG, 0, G, "push global A")                                                   \
  OP(STOREG, 0, G, "pop into global A")                                              \
  OP(LOADU, 1, S, "push slot A of the frame E static links up")                      \
  OP(STOREU, 1, S, "pop into slot A of the frame E static links up")                 \
  OP(ADDRL, 0, S, "push the address of local slot A")                                \
  OP(ADDRG, 0, G, "push the address of global A")                                    \
  OP(ADDRU, 1, S, "push the address of slot A, E static links up")                   \
  OP(LOADREF, 0, S, "push the value at the address in local slot A")                 \
  OP(STOREREF, 0, S, "pop into the value at the address in local slot A")            \
  OP(DEREF, 0, N, "replace an address by the value it holds")                        \
  OP(STOREIND, 0, N, "pop address, pop value, store the value there")                                \
  OP(INCL, 0, S, "add the integer popped to local slot A")                           \
  OP(NARROW, 0, T, "wrap the top integer to integer kind A")                         \
  OP(ADDI, 0, N, "integer +")                                                        \
  OP(SUBI, 0, N, "integer -")                                                        \
  OP(MULI, 0, N, "integer *")                                                        \
  OP(DIVI, 0, N, "integer div (fault on zero)")                                      \
  OP(MODI, 0, N, "integer mod (fault on zero)")                                      \
  OP(NEGI, 0, N, "integer negation")                                                 \
  OP(ANDI, 0, N, "bitwise and")                                                      \
  OP(ORI, 0, N, "bitwise or")                                                        \
  OP(XORI, 0, N, "bitwise xor")                                                      \
  OP(NOTI, 0, T, "bitwise not, narrowed to integer kind A")                          \
  OP(SHLI, 0, T, "shift left in A bits (32 or 64)")                                  \
  OP(SHRI, 0, T, "logical shift right in A bits (32 or 64)")                         \
  OP(NOTB, 0, N, "boolean not")                                                      \
  OP(ADDF, 0, N, "real +")                                                           \
  OP(SUBF, 0, N, "real -")                                                           \
  OP(MULF, 0, N, "real *")                                                           \
  OP(DIVF, 0, N, "real / (fault on zero)")                                           \
  OP(NEGF, 0, N, "real negation")                                                    \
  OP(I2F, 0, I, "integer to real, A values below the top")                           \
  OP(CMPI, 0, T, "compare integers, relation A, push boolean")                       \
  OP(CMPF, 0, T, "compare reals, relation A")                                        \
  OP(CMPS, 0, T, "compare strings, relation A")                                      \
  OP(CMPO, 0, T, "compare object references, relation A (= or <>)")                  \
  OP(JLTI, 1, S, "jump E if local slot A < the integer popped is false")            \
  OP(ADDIK, 0, I, "integer + A")                                                     \
  OP(MULIK, 0, I, "integer * A")                                                     \
  OP(ADDIL, 0, S, "integer + local slot A")                                          \
  OP(SUBIL, 0, S, "integer - local slot A")                                          \
  OP(ADDIG, 0, G, "integer + global A")                                              \
  OP(SUBIG, 0, G, "integer - global A")                                              \
  OP(JFCMPI, 1, T, "pop two integers; jump E unless relation A holds")               \
  OP(JFCMPIK, 2, T, "pop an integer; jump E2 unless it has relation A to E1")        \
  OP(FORL, 2, S, "if local A < local E1: A := A + 1 and jump E2 (for-loop step)")    \
  OP(FORG, 2, G, "if global A < local E1: A := A + 1 and jump E2 (for-loop step)")   \
  OP(STIDXL, 1, S, "pop index, pop value: store into the array in local A (E: copy-on-write)") \
  OP(STIDXG, 1, G, "pop index, pop value: store into the array in global A (E: copy-on-write)") \
  OP(ADDVL, 2, S, "local A := local A ± variable E1 (bit 31: global), E2: kind<<1|minus") \
  OP(ADDVG, 2, G, "global A := global A ± variable E1 (bit 31: global), E2: kind<<1|minus") \
  OP(ADDLK, 2, S, "local A := local A + E1, wrapped to integer kind E2")             \
  OP(JFCMPLK, 3, S, "jump E3 unless local A has relation E1 to the integer E2")      \
  OP(JFCMPLL, 3, S, "jump E3 unless local A has relation E1 to local E2")            \
  OP(JFCMPIL, 2, S, "pop an integer; jump E2 unless it has relation E1 to local A")  \
  OP(LOADLK, 2, S, "push local A + E1, wrapped to integer kind E2")                  \
  OP(STORELN, 1, S, "pop an integer into local A, wrapped to integer kind E")        \
  OP(MOVL, 1, S, "local A := local E")                                               \
  OP(INDEXLL, 1, S, "push element (local E) of the array in local A (checked)")      \
  OP(INDEXGL, 1, G, "push element (local E) of the array in global A (checked)")     \
  OP(STIDXLL, 2, S, "pop value: store at index local E1 of the array in local A (E2: copy-on-write)") \
  OP(STIDXGL, 2, G, "pop value: store at index local E1 of the array in global A (E2: copy-on-write)") \
  OP(INDEXL, 0, S, "pop index, push that element of the array in local slot A")      \
  OP(INDEXG, 0, G, "pop index, push that element of the array in global A")          \
  OP(CONCAT, 0, N, "string +")                                                       \
  OP(CHR2S, 0, N, "char to string")                                                  \
  OP(A2S, 0, N, "8-bit string to string (bytes are UTF-8)")                          \
  OP(S2A, 0, N, "string to 8-bit string")                                            \
  OP(STRIDX, 0, N, "pop index, pop string, push its char (1-based, checked)")        \
  OP(STRSET, 0, N, "pop char, pop index, pop address of a string: set the char")     \
  OP(APPENDL, 0, S, "append the string popped to local slot A in place")             \
  OP(APPENDG, 0, G, "append the string popped to global A in place")                 \
  OP(INDEX, 0, N, "pop index, pop array, push element (checked)")                    \
  OP(ADDRIDX, 0, I, "pop index, pop address: push element address; A: copy-on-write")\
  OP(FIELD, 0, I, "pop record, push field A")                                        \
  OP(ADDRFLD, 0, I, "pop address of a record, push the address of field A")          \
  OP(INIT, 0, K, "push a fresh default value of the type of constant A")             \
  OP(ARRNEW, 0, N, "push an empty open array")                                      \
  OP(ARRADD, 0, N, "pop value, append it to the open array on top")                 \
  OP(SETNEW, 0, N, "push an empty set")                                              \
  OP(SETADD, 0, N, "pop element, add it to the set on top")                          \
  OP(SETRANGE, 0, N, "pop high, pop low, add the range to the set on top")           \
  OP(SETOP, 0, T, "set union, difference or intersection (A)")                       \
  OP(SETCMP, 0, T, "set relation A")                                                 \
  OP(INSET, 0, N, "pop set, pop element, push element in set")                       \
  OP(JMP, 0, J, "jump")                                                              \
  OP(JF, 0, J, "pop, jump if false")                                                 \
  OP(JT, 0, J, "pop, jump if true")                                                  \
  OP(JFKEEP, 0, J, "jump if the top is false (keep it), else pop")                   \
  OP(JTKEEP, 0, J, "jump if the top is true (keep it), else pop")                    \
  OP(CALL, 1, R, "call routine A; E: static link hops (-1 none)")                    \
  OP(NATIVE, 1, F, "call native A with E arguments")                                 \
  OP(XCALL, 0, X, "call library function A (its arguments are on the stack)")        \
  OP(HCALL, 1, H, "call host routine A with E arguments (a method's object first)")   \
  OP(HNEW, 0, C, "push a new object of host class A")                                \
  OP(LOADH, 0, V, "push host variable A")                                            \
  OP(STOREH, 0, V, "pop into host variable A")                                       \
  OP(RET, 0, N, "return from the routine")                                           \
  OP(TRY, 0, J, "push an except handler at the jump target")                          \
  OP(TRYF, 0, J, "push a finally handler at the jump target (a stop runs it too)")    \
  OP(ENDTRY, 0, N, "pop the innermost handler")                                      \
  OP(RAISE, 0, N, "pop an exception object and raise it")                            \
  OP(RERAISE, 0, N, "raise the exception being handled again")                       \
  OP(EXCIS, 0, C, "push whether the exception being handled is of class A")          \
  OP(EXCGET, 0, N, "push the exception being handled")                               \
  OP(EXCEND, 0, N, "the exception being handled is done with")                       \
  OP(ENDFIN, 0, N, "end of a finally block: raise again what was pending")           \
  OP(NEWEXC, 0, C, "pop message, push a new exception of class A")                   \
  OP(EXCMEM, 0, I, "pop exception, push its message (A=0) or class name (A=1)")      \
  OP(ISCLS, 0, C, "pop object, push whether it is of class A")                       \
  OP(ASCLS, 0, C, "fault unless the object on top is nil or of class A")            \
  OP(TOVAR, 0, T, "make the top a variant from static type code A")                  \
  OP(FROMVAR, 0, T, "convert the top variant to static type code A")                 \
  OP(VOP, 0, T, "variant operation A on the two top values")                         \
  OP(WRITE, 0, T, "pop [precision] [width] value; write it as type code A")          \
  OP(WRITELN, 0, N, "end the written line")                                          \
  OP(CASEJ, 1, K, "pop; jump E if it is in the label list of constant A")            \
  OP(HALT, 0, N, "end of the main body")

enum class Op : uint8_t {
#define OP(name, extra, kind, doc) name,
  VELMORO_OPCODES(OP)
#undef OP
      Count
};

struct OpInfo {
  const char* name;
  uint8_t extra;
  char operand;
};

inline constexpr OpInfo opInfo[] = {
#define OP(name, extra, kind, doc) {#name, extra, #kind[0]},
    VELMORO_OPCODES(OP)
#undef OP
};

// Whether the jump offset of op is its last extra word.
inline bool jumpInExtra(Op op) {
  return op == Op::CASEJ || op == Op::JLTI || op == Op::JFCMPI || op == Op::JFCMPIK ||
         op == Op::FORL || op == Op::FORG || op == Op::JFCMPLK || op == Op::JFCMPLL ||
         op == Op::JFCMPIL;
}
// Whether the relation of op is its first extra word (compare-and-branch on a local).
inline bool relationInExtra(Op op) {
  return op == Op::JFCMPLK || op == Op::JFCMPLL || op == Op::JFCMPIL;
}

inline uint32_t encode(Op op, uint32_t a = 0) { return static_cast<uint32_t>(op) | (a << 8); }
inline Op opOf(uint32_t w) { return static_cast<Op>(w & 0xFF); }
inline uint32_t argU(uint32_t w) { return w >> 8; }
inline int32_t argS(uint32_t w) { return static_cast<int32_t>(w) >> 8; }

// Relations of CMPI/CMPF/CMPS/SETCMP.
enum Rel : uint8_t { EQ, NE, LT, GT, LE, GE };
// Static type codes of TOVAR/FROMVAR/WRITE.
enum TypeCode : uint8_t { TC_INT, TC_FLOAT, TC_BOOL, TC_CHAR, TC_STRING, TC_VARIANT, TC_ENUM };
// Variant operations of VOP (arithmetic first, then relations offset by 16).
enum VarOp : uint8_t { V_ADD, V_SUB, V_MUL, V_FDIV, V_IDIV, V_MOD, V_AND, V_OR, V_XOR, V_REL = 16 };

}  // namespace velmoro::script::vm
