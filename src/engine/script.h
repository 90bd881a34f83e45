// The script engine's interface: compile a Pascal-dialect source, read its messages,
// run its main body, call its routines by name, stop it.
//
//   Engine e;
//   e.options().allowNoMainBlock = true;
//   e.setWrite([](std::u16string_view s) { ... });
//   if (!e.compile(source, u"main.dpas")) for (auto& m : e.messages()) ...;
//   if (!e.run()) report(e.runError());
//   e.call(u"OnClick", args);          // globals live on after run()
//
// What a host declares into an engine (functions, types, variables in its own storage,
// classes) and what its C++ code sees of a call is in host.h; the standard classes are
// in class_library.h.
//
// An Engine owns one compiled program and its globals; compile() replaces both. Nothing
// a script does (division by zero, bad index, nil access, runaway recursion) throws out
// of these functions: faults become a RunError. Not thread-safe; stop() may be called
// from a callback of the running script or from a signal-free other thread.
#pragma once

#include "engine/host.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velmoro::script {

namespace vm {
class Machine;
}

enum class MessageType { Error, Warning, Hint };
// "Error", "Warning" or "Hint".
const char16_t* typeWord(MessageType t);

struct Message {
  MessageType type = MessageType::Error;
  int row = 0, col = 0;
  std::u16string module;  // the include file's name; empty in the main source
  std::u16string text;
};

struct RunError {
  std::u16string message;  // "EDivByZero: Division by zero" style: class and message
  std::u16string className, text;
  int row = 0, col = 0;    // 0 when the position is unknown
  std::u16string module;
};


struct Options {
  bool allowNoMainBlock = false;  // the main begin/end may be missing
  bool allowNoEnd = false;        // the final "end." may be missing
  bool shortCircuit = false;      // and/or stop at the first operand that decides
  bool preprocessor = true;       // false: "{$...}" is an ordinary comment
  std::vector<std::u16string> defines;
  std::u16string lineBreak = u"\r\n";  // what Writeln ends a line with
  // The script's main file: libraries of external declarations are looked up in its
  // folder (after the system's search, before the program's own folder).
  std::u16string mainFile;
};

enum class DirectiveAnswer { Accept, Ignore, Reject };

class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Options& options() { return options_; }

  // {$I name}: the raw bytes of the file (decoded here: BOM, else UTF-8), and the module
  // name messages use for it; nothing when the file is not found.
  using IncludeHandler = std::function<std::optional<std::vector<uint8_t>>(
      std::u16string_view name, std::u16string& module)>;
  // Any directive other than the conditional and include ones; a Reject may set text.
  using DirectiveHandler = std::function<DirectiveAnswer(
      std::u16string_view name, std::u16string_view argument, int row, int col,
      std::u16string& text)>;
  using WriteHandler = std::function<void(std::u16string_view)>;
  // Readln: the line read; nothing at the end of input.
  using ReadHandler = std::function<std::optional<std::u16string>(std::u16string_view prompt)>;
  void setIncludeHandler(IncludeHandler h) { include_ = std::move(h); }
  void setDirectiveHandler(DirectiveHandler h) { directive_ = std::move(h); }
  void setWrite(WriteHandler h) { write_ = std::move(h); }
  void setRead(ReadHandler h) { read_ = std::move(h); }

  // Compiles a source; the module name is used for run-time positions. False when the
  // source has errors; messages() lists errors, warnings and hints in source order.
  bool compile(std::u16string_view source, std::u16string_view module = {});
  const std::vector<Message>& messages() const { return messages_; }
  bool compiled() const;

  // Runs the main body (globals are initialised first). Libraries of external
  // declarations without delayload are loaded first: one missing fails the run before
  // the main body starts. False on that, an unhandled error or a stop; runError() tells
  // which.
  bool run();
  // Calls a global routine by name (case-insensitive) with values converted to its
  // parameter types; omitted trailing arguments take their default values, and of an
  // overloaded name the version the values fit best is called. byReference: var
  // parameters write their final values back into args. Nothing when the routine is
  // missing or fails (runError() says why).
  std::optional<Data> call(std::u16string_view name, std::vector<Data>& args,
                           bool byReference = false);
  bool hasRoutine(std::u16string_view name) const;
  const std::optional<RunError>& runError() const { return runError_; }

  bool running() const;
  // Ends the running script at its next loop turn or call: its finally blocks still
  // run (its except handlers do not catch the stop), then run() or call() fails with
  // "Script stopped".
  void stop();

  // The bytecode listing of the compiled program.
  std::u16string disassemble() const;

  // ---- what the host declares (host.h); read by the next compile ----
  // "function Name(params): Type;" or "procedure Name(params);", bound to fn.
  void declareFunction(std::u16string_view declaration, HostFunction fn);
  // The body of a type section: "TColor = Integer; TDays = set of TDay;".
  void declareTypes(std::u16string_view text);
  // The body of a const section: "MaxInt = 2147483647; SCRIPT_OK = 0;".
  void declareConstants(std::u16string_view text);
  // "Name: Type" living in the host's storage; one storage may serve several names.
  void declareVariable(std::u16string_view declaration, Storage storage);
  // The parent class must be declared first.
  void declareClass(std::shared_ptr<const HostClass> cls);

  // Runs a script procedure the host holds (an event). Nothing, with error set, when it
  // fails, when it is stale or when nothing is compiled.
  std::optional<Data> fire(const Callback& callback, std::vector<Data>& args, RunError& error);
  // The published properties of a declared class and its ancestors (empty when the
  // class is unknown or the declarations have errors).
  std::vector<PropertyInfo> properties(std::u16string_view className);
  // Reads or writes a property of a host object by name (published or not). False, with
  // error set, when there is no such property or its accessor fails.
  bool readProperty(Object& object, std::u16string_view name, Data& value, RunError& error);
  bool writeProperty(Object& object, std::u16string_view name, const Data& value, RunError& error);

  struct Host;
  friend class HostCall;

  struct Program;

 private:
  bool link();  // the machine's libraries; runError_ on failure
  // Runs a routine of the compiled program; false with error on a script error.
  bool invokeCaught(int routine, std::vector<vm::Value>& args, vm::Value& result, RunError& error);
  // Calls a host accessor outside the machine; false with error when it raises.
  bool callCaught(const HostSignature& sig, HostCall& call, RunError& error);
  // The host's declarations compiled on their own (cached); null when they have errors.
  const Program* reflection();

  Options options_;
  IncludeHandler include_;
  DirectiveHandler directive_;
  WriteHandler write_;
  ReadHandler read_;
  std::vector<Message> messages_;
  std::optional<RunError> runError_;
  std::unique_ptr<Program> program_;
  std::unique_ptr<vm::Machine> machine_;
  std::unique_ptr<Host> host_;
  uint64_t serial_ = 0;  // of the current compilation, for callbacks
};

}  // namespace velmoro::script
