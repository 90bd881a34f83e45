// The virtual machine: runs the bytecode of a compiled program. One value stack of
// fixed capacity (so addresses of slots stay valid), a frame per active routine with
// its static link for nested routines, and a handler stack for try blocks. Faults and
// raise statements unwind to the innermost handler of the current invocation; with none
// left they leave invoke() as a ScriptError. Script-to-script calls do not recurse in
// C++; only a call from C++ into the script (invoke) nests a dispatch loop.
// Dispatch is threaded (computed goto, from the opcode list): each instruction jumps
// straight to the next one's code, which the branch predictor follows far better than
// one shared switch. A stack machine costs more pushes than registers would; fused
// instructions (compare-and-branch on locals, for-loop step, operands from variables,
// array elements at a local index, narrowing stores) cover the hot paths instead.
#pragma once

#include "engine/program.h"
#include "engine/script.h"
#include "engine/value.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmoro::script::vm {

// A stack of plain records in one block reserved up front: a push is a store and an
// increment (a vector's push_back stays a call on the hottest path). Only shrinks by
// resize; the owner checks the capacity before pushing.
template <class T>
class FixedStack {
 public:
  void reserve(size_t n) {
    data_.reset(new T[n]);
    size_ = 0;
  }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }
  T& operator[](size_t k) { return data_[k]; }
  const T& operator[](size_t k) const { return data_[k]; }
  void push_back(const T& t) { data_[size_++] = t; }
  void pop_back() { --size_; }
  void resize(size_t n) { size_ = n < size_ ? n : size_; }

 private:
  std::unique_ptr<T[]> data_;
  size_t size_ = 0;
};

// An exception no handler took: the exception object and where it was raised.
struct ScriptError {
  Value exception;
  Pos pos;
  bool stopped = false;
};

class Machine {
 public:
  static constexpr size_t stackSize = 1 << 20;   // values
  static constexpr size_t maxFrames = 100000;

  Machine(const Engine::Program& prog, const Options& options, Engine::WriteHandler& write,
          Engine::ReadHandler& read);
  void initGlobals();
  // Runs a routine with its arguments (addresses for var parameters); the result (or an
  // Int 0 for procedures). Throws ScriptError.
  Value invoke(int routine, std::vector<Value>& args);

  bool running() const { return depth_ > 0; }
  void stop() { stop_ = true; }

  // For natives.
  void write(std::u16string_view s);
  std::optional<std::u16string> readLine();
  [[noreturn]] void raise(const char16_t* className, std::u16string message);
  Value newException(const ClassInfo* cls, std::u16string message);
  const Engine::Program& program() const { return prog_; }
  uint32_t randomNext();
  // UnloadDll: the library's functions load again on their next call.
  void unloadLibrary(std::u16string_view library);
  // DLLGetLastError: errno right after the most recent library call.
  int lastLibraryError() const { return lastLibraryError_; }

  // Resolves the library functions declared without delayload (once per machine).
  // False with the error and the declaration's position when one is missing.
  bool link(std::u16string& error, Pos& pos);
  void randomize(uint32_t seed) { random_ = seed; }
  // The engine host functions see in their HostCall.
  void setEngine(Engine* engine) { engine_ = engine; }
  // Frees an object for the script's Free: a host object releases what it holds.
  static void freeObject(const Value& v);

  std::vector<Value> globals;

 private:
  struct Frame {
    int routine;
    int resultSlot;
    Value* base;
    const uint32_t* returnIp;
    int staticLink;
  };
  struct HandlerRec {
    size_t frame;
    Value* sp;
    const uint32_t* target;
    size_t excDepth;
    bool finally;
  };
  void run(size_t entryFrame, size_t handlerBase);
  // Unwinds to the handler h (already popped): its frame, stack and exception depth.
  void unwindTo(const HandlerRec& h);
  // A stop runs the finally blocks of this invocation on its way out: where the next
  // one starts, or null when none is left. (It returns the address rather than setting
  // the dispatch loop's ip by reference, which would keep ip out of a register.)
  const uint32_t* stopToFinally(size_t handlerBase);
  Value* frameUp(int hops);
  Pos positionAt(const Frame& f, const uint32_t* ip) const;
  void enter(int routine, Value* base, const uint32_t* returnIp, int staticLink);
  // XCALL: the arguments are args[0..n) (addresses for var parameters).
  Value callExternal(int index, Value* args);
  ext::LibraryLoader& libraries();
  // HCALL: args[0..argc) (a method's object first); HostError becomes a script exception.
  Value callHost(int index, Value* args, int argc);
  Value newHostObject(const ClassInfo* cls);
  Value loadHost(uint32_t index) const;
  void storeHost(uint32_t index, Value v);

  const Engine::Program& prog_;
  const Options& options_;
  Engine::WriteHandler& write_;
  Engine::ReadHandler& read_;
  std::unique_ptr<Value[]> stack_;
  Value* sp_;
  Value* stackEnd_;
  FixedStack<Frame> frames_;
  std::vector<HandlerRec> handlers_;
  std::vector<Value> exceptions_;     // being handled (innermost last)
  std::vector<std::vector<Value>> templates_;  // per routine: initial slot values
  struct Entry {  // what a call needs of a routine, in one place
    const uint32_t* code;
    const Value* locals;  // initial values of the slots after the parameters
    int nparams, nlocals, resultSlot, nslots;
  };
  std::vector<Entry> entries_;
  const uint32_t* ip_ = nullptr;      // of the innermost frame, while a native runs
  int depth_ = 0;
  std::atomic<bool> stop_{false};
  uint32_t random_ = 0;
  std::unique_ptr<ext::LibraryLoader> libraries_;
  std::vector<void*> externalFns_;  // per external declaration; null: not resolved yet
  bool linked_ = false;
  int lastLibraryError_ = 0;
  Engine* engine_ = nullptr;
};

}  // namespace velmoro::script::vm
