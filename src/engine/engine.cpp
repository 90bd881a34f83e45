// The Engine: ties the compiler stages together and turns machine results into the
// interface's values (Data, RunError). Everything the script does is caught here.
#include "engine/script.h"

#include "common/unicode.h"
#include "engine/codegen.h"
#include "engine/host_registry.h"
#include "engine/natives.h"
#include "engine/lexer.h"
#include "engine/parser.h"
#include "engine/program.h"
#include "engine/vm.h"

namespace velmoro::script {

using vm::Value;

Engine::Engine() = default;
Engine::~Engine() = default;

bool Engine::compiled() const { return program_ != nullptr; }
bool Engine::running() const { return machine_ && machine_->running(); }
void Engine::stop() {
  if (machine_) machine_->stop();
}

bool Engine::compile(std::u16string_view source, std::u16string_view module) {
  if (running()) {
    messages_.clear();
    Message m;
    m.text = u"Cannot compile while the script runs";
    messages_.push_back(m);
    return false;
  }
  machine_.reset();
  program_.reset();
  runError_.reset();
  messages_.clear();
  auto prog = std::make_unique<Program>();
  Diagnostics diag;
  bool ok = false;
  try {
    ok = parseProgram(source, options_, diag, include_, directive_, *prog, host_.get());
  } catch (const std::exception& e) {
    diag.error(Pos{}, u"Internal compiler error: " + text::fromUtf8(e.what()));
    ok = false;
  }
  messages_ = std::move(diag.messages);
  if (!ok) return false;
  prog->shortCircuit = options_.shortCircuit;
  prog->modules = diag.modules;
  prog->modules[0] = std::u16string(module);
  generateCode(*prog);
  program_ = std::move(prog);
  ++serial_;
  machine_ = std::make_unique<vm::Machine>(*program_, options_, write_, read_);
  machine_->setEngine(this);
  machine_->initGlobals();
  return true;
}

namespace {

RunError plainError(std::u16string text) {
  RunError r;
  r.message = r.text = std::move(text);
  r.className = u"Exception";
  return r;
}

RunError toRunError(const Engine::Program& prog, const vm::ScriptError& e) {
  RunError r;
  if (e.stopped) {
    r.className = u"EAbort";
    r.text = r.message = u"Script stopped";
    return r;
  }
  const vm::ObjectObj* o = vm::objOf(e.exception);
  if (e.exception.tag == vm::Tag::Object && o) {
    r.className = vm::classNameOf(o);
    r.text = o->fields.empty() ? std::u16string() : o->fields[0].str();
  }
  r.message = r.text;
  r.row = e.pos.row;
  r.col = e.pos.col;
  if (e.pos.module >= 0 && static_cast<size_t>(e.pos.module) < prog.modules.size())
    r.module = prog.modules[e.pos.module];
  return r;
}

}  // namespace

bool Engine::run() {
  runError_.reset();
  if (!program_) {
    runError_ = plainError(u"The script is not compiled");
    return false;
  }
  if (running()) return true;
  machine_->initGlobals();
  if (!link()) return false;
  std::vector<Value> none;
  try {
    machine_->invoke(0, none);
  } catch (const vm::ScriptError& e) {
    runError_ = toRunError(*program_, e);
    return false;
  } catch (const std::exception& e) {
    runError_ = plainError(text::fromUtf8(e.what()));
    return false;
  }
  return true;
}

bool Engine::link() {
  std::u16string error;
  Pos pos;
  if (machine_->link(error, pos)) return true;
  runError_ = plainError(std::move(error));
  runError_->row = pos.row;
  runError_->col = pos.col;
  if (pos.module >= 0 && static_cast<size_t>(pos.module) < program_->modules.size())
    runError_->module = program_->modules[pos.module];
  return false;
}

bool Engine::hasRoutine(std::u16string_view name) const {
  return program_ && program_->routineByName.count(foldName(name)) > 0;
}

namespace {

// How well host values fit a routine's parameters: -1 when they cannot be passed, else
// the cost of converting them (0: every one exact).
int fitCost(const CompiledRoutine& r, const std::vector<Data>& args) {
  if (args.size() > r.params.size()) return -1;
  if (args.size() < r.params.size() && !r.params[args.size()].hasDefault) return -1;
  int cost = 0;
  for (size_t k = 0; k < args.size(); ++k) {
    TypeKind to = r.params[k].type->kind;
    int c = -1;
    if (to == TypeKind::Variant) c = 4;
    else if (std::holds_alternative<int64_t>(args[k])) c = to == TypeKind::Integer ? 0 : to == TypeKind::Float ? 1 : -1;
    else if (std::holds_alternative<double>(args[k])) c = to == TypeKind::Float ? 0 : -1;
    else if (std::holds_alternative<bool>(args[k])) c = to == TypeKind::Boolean ? 0 : -1;
    else if (auto* s = std::get_if<std::u16string>(&args[k]))
      c = (to == TypeKind::String || to == TypeKind::AnsiString) ? 0
          : ((to == TypeKind::Char || to == TypeKind::AnsiChar) && s->size() == 1) ? 1 : -1;
    if (c < 0) return -1;
    cost += c;
  }
  return cost;
}

}  // namespace

std::optional<Data> Engine::call(std::u16string_view name, std::vector<Data>& args, bool byReference) {
  runError_.reset();
  if (!program_) {
    runError_ = plainError(u"The script is not compiled");
    return std::nullopt;
  }
  auto it = program_->routineByName.find(foldName(name));
  if (it == program_->routineByName.end()) {
    runError_ = plainError(u"Unknown routine: " + std::u16string(name));
    return std::nullopt;
  }
  int routine = it->second;
  if (program_->decls[routine]->nextOverload) {
    // overloaded: the version the values fit best
    int best = -1, bestCost = -1, ties = 0;
    for (const Routine* o = program_->decls[routine].get(); o; o = o->nextOverload) {
      int c = fitCost(program_->routines[o->index], args);
      if (c < 0) continue;
      if (best < 0 || c < bestCost) {
        best = o->index;
        bestCost = c;
        ties = 0;
      } else if (c == bestCost) {
        ++ties;
      }
    }
    if (best < 0 || ties > 0) {
      runError_ = plainError((best < 0 ? u"No overloaded version of " : u"Ambiguous call to overloaded ") +
                             std::u16string(name) + u" fits the arguments");
      return std::nullopt;
    }
    routine = best;
  }
  if (!link()) return std::nullopt;
  const CompiledRoutine& r = program_->routines[routine];
  std::vector<Value> holders, values;
  routineArguments(r, args, serial_, holders, values);
  Value result;
  RunError error;
  if (!invokeCaught(routine, values, result, error)) {
    runError_ = std::move(error);
    return std::nullopt;
  }
  if (byReference) routineVarResults(r, args, holders, serial_);
  if (!r.result) return Data{};
  return toData(result, r.result, serial_);
}

bool Engine::invokeCaught(int routine, std::vector<Value>& args, Value& result, RunError& error) {
  try {
    result = machine_->invoke(routine, args);
    return true;
  } catch (const vm::ScriptError& e) {
    error = toRunError(*program_, e);
  } catch (const std::exception& e) {
    error = plainError(text::fromUtf8(e.what()));
  }
  return false;
}

}  // namespace velmoro::script
