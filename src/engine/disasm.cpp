// The bytecode listing of `vpas dis`: every routine with its instructions, operands
// named (slots, globals, constants, routines, natives, classes, jump targets) and the
// source line each statement starts on. Generated from the opcode table.
#include "common/unicode.h"
#include "engine/natives.h"
#include "engine/opcodes.h"
#include "engine/program.h"
#include "engine/script.h"

#include <cstdio>
#include <string>

namespace velmoro::script {

namespace {

std::string constantText(const vm::Value& v) {
  switch (v.tag) {
    case vm::Tag::Int: return std::to_string(v.i);
    case vm::Tag::Float: {
      char b[64];
      std::snprintf(b, sizeof b, "%g", v.d);
      return b;
    }
    case vm::Tag::Bool: return v.i ? "True" : "False";
    case vm::Tag::Str: {
      std::string s = text::toUtf8(v.str());
      if (s.size() > 40) s = s.substr(0, 40) + "...";
      return "'" + s + "'";
    }
    case vm::Tag::Set: return "[set]";
    case vm::Tag::Array: return "[list]";
    case vm::Tag::Record: return "[record]";
    case vm::Tag::Empty: return "Unassigned";
    case vm::Tag::Null: return "Null";
    default: return "nil";
  }
}

}  // namespace

std::u16string Engine::disassemble() const {
  if (!program_) return {};
  const Program& p = *program_;
  std::string out;
  char buf[256];
  for (size_t r = 0; r < p.routines.size(); ++r) {
    const CompiledRoutine& cr = p.routines[r];
    std::snprintf(buf, sizeof buf, "routine %zu %s (level %d, params %d, slots %zu)\n", r,
                  text::toUtf8(cr.name).c_str(), cr.level, cr.nparams, cr.slots.size());
    out += buf;
    size_t line = 0;
    for (size_t pc = 0; pc < cr.code.size();) {
      uint32_t w = cr.code[pc];
      vm::Op op = vm::opOf(w);
      if (static_cast<size_t>(op) >= static_cast<size_t>(vm::Op::Count)) {
        out += "  ?\n";
        ++pc;
        continue;
      }
      const vm::OpInfo& info = vm::opInfo[static_cast<size_t>(op)];
      std::string row = "    ";
      while (line < cr.lines.size() && cr.lines[line].pc <= pc) {
        row = std::to_string(cr.lines[line].pos.row);
        ++line;
      }
      std::string operand;
      size_t after = pc + 1 + info.extra;
      uint32_t a = vm::argU(w);
      switch (info.operand) {
        case 'I': operand = std::to_string(vm::argS(w)); break;
        case 'K': operand = a < p.constants.size() ? constantText(p.constants[a]) : "?"; break;
        case 'S': operand = "slot " + std::to_string(a); break;
        case 'G': operand = "global " + std::to_string(a); break;
        case 'J': operand = "-> " + std::to_string(static_cast<long long>(after) + vm::argS(w)); break;
        case 'R': operand = a < p.routines.size() ? text::toUtf8(p.routines[a].name) : "?"; break;
        case 'F': operand = static_cast<int>(a) < nativeCount() ? nativeTable()[a].name : "?"; break;
        case 'X':
          operand = a < p.externals.size() ? text::toUtf8(p.externals[a].name) : "?";
          break;
        case 'H': operand = a < p.hostRoutines.size() ? text::toUtf8(p.hostRoutines[a].name) : "?"; break;
        case 'V': operand = "host " + std::to_string(a); break;
        case 'C': operand = a < p.classes.size() ? text::toUtf8(p.classes[a]->name) : "?"; break;
        case 'T':
          if (op == vm::Op::CMPI || op == vm::Op::CMPF || op == vm::Op::CMPS || op == vm::Op::CMPO || op == vm::Op::SETCMP ||
              op == vm::Op::JFCMPI || op == vm::Op::JFCMPIK) {
            static const char* rel[] = {"=", "<>", "<", ">", "<=", ">="};
            operand = a < 6 ? rel[a] : "?";
          } else {
            operand = std::to_string(a);
          }
          break;
        default: break;
      }
      for (size_t e = 1; e <= info.extra && pc + e < cr.code.size(); ++e) {
        int32_t x = static_cast<int32_t>(cr.code[pc + e]);
        static const char* rel[] = {"=", "<>", "<", ">", "<=", ">="};
        if (vm::relationInExtra(op) && e == 1) operand += std::string(", ") + (x >= 0 && x < 6 ? rel[x] : "?");
        else if (vm::jumpInExtra(op) && e == info.extra) operand += ", -> " + std::to_string(static_cast<long long>(after) + x);
        else operand += ", " + std::to_string(x);
      }
      std::snprintf(buf, sizeof buf, "  %04zu %5s  %-9s %s\n", pc, row.c_str(), info.name, operand.c_str());
      out += buf;
      pc = after;
    }
  }
  return text::fromUtf8(out);
}

}  // namespace velmoro::script
