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
  if (!link()) return std::nullopt;
  const CompiledRoutine& r = program_->routines[it->second];
  std::vector<Value> holders(r.params.size());
  std::vector<Value> values(r.params.size());
  for (size_t k = 0; k < r.params.size(); ++k) {
    const Param& p = r.params[k];
    Value v = k < args.size() ? toValue(args[k], p.type, serial_) : defaultValue(p.type);
    if (p.byRef()) {
      holders[k] = std::move(v);
      values[k] = Value::address(&holders[k]);
    } else {
      values[k] = std::move(v);
    }
  }
  Value result;
  RunError error;
  if (!invokeCaught(it->second, values, result, error)) {
    runError_ = std::move(error);
    return std::nullopt;
  }
  if (byReference) {
    for (size_t k = 0; k < r.params.size() && k < args.size(); ++k)
      if (r.params[k].byRef()) args[k] = toData(holders[k], r.params[k].type, serial_);
  }
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
