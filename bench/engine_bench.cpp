// The script engine beside Lua 5.4 on the same programs: fib(32), 10^7 integer
// additions, a 10^6-character string built one character at a time (table.concat in
// Lua, its idiomatic form), sorting 10^5 integers, and 2*10^6 calls into the host. Each benchmark compiles once and
// times the runs; the Lua side loads its chunk once and times the calls.
//
// The goal is to be no slower than Lua on each. Medians of
// --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true (this machine's
// speed drifts between runs, so compare the ratio, ours/Lua, within one run):
//   fib(32) 0.66-0.72, additions 0.79-0.82, string 0.18-0.21, sort 0.70-0.76
// (before the fused instructions: fib 1.24, additions 0.94-1.22, sort 1.06-1.33).
// Calls into the host (a host function and a string list's property against a Lua C
// function): 1.09.
#include "engine/class_library.h"
#include "engine/script.h"

#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <stdexcept>
#include <string>

namespace {

using velmoro::script::Engine;

const char16_t* fibScript =
    u"var r: Integer;\n"
    "function Fib(n: Integer): Integer;\n"
    "begin if n < 2 then Result := n else Result := Fib(n - 1) + Fib(n - 2); end;\n"
    "begin r := Fib(32); if r <> 2178309 then raise Exception.Create('wrong'); end.";
const char* fibLua =
    "local function fib(n) if n < 2 then return n end return fib(n-1) + fib(n-2) end\n"
    "return function() assert(fib(32) == 2178309) end";

const char16_t* loopScript =
    u"var i: Integer; s: Int64;\n"
    "begin s := 0; for i := 1 to 10000000 do s := s + i;\n"
    "if s <> 50000005000000 then raise Exception.Create('wrong'); end.";
const char* loopLua =
    "return function() local s = 0 for i = 1, 10000000 do s = s + i end assert(s == 50000005000000) end";

const char16_t* stringScript =
    u"var i: Integer; s: string;\n"
    "begin s := ''; for i := 1 to 1000000 do s := s + Chr(65 + i mod 26);\n"
    "if Length(s) <> 1000000 then raise Exception.Create('wrong'); end.";
const char* stringLua =
    "return function() local t = {} for i = 1, 1000000 do t[#t + 1] = string.char(65 + i % 26) end\n"
    "local s = table.concat(t) assert(#s == 1000000) end";

// quicksort of 10^5 pseudo-random integers, the same algorithm on both sides
const char16_t* sortScript =
    u"var a: array of Integer; i, seed: Integer;\n"
    "procedure Sort(l, r: Integer);\n"
    "var i, j, p, t: Integer;\n"
    "begin\n"
    "  i := l; j := r; p := a[(l + r) div 2];\n"
    "  repeat\n"
    "    while a[i] < p do Inc(i);\n"
    "    while a[j] > p do Dec(j);\n"
    "    if i <= j then begin t := a[i]; a[i] := a[j]; a[j] := t; Inc(i); Dec(j); end;\n"
    "  until i > j;\n"
    "  if l < j then Sort(l, j);\n"
    "  if i < r then Sort(i, r);\n"
    "end;\n"
    "begin\n"
    "  SetLength(a, 100000); seed := 42;\n"
    "  for i := 0 to 99999 do begin seed := (seed * 1103515245 + 12345) mod 2147483648; a[i] := seed mod 1000000; end;\n"
    "  Sort(0, 99999);\n"
    "  for i := 1 to 99999 do if a[i - 1] > a[i] then raise Exception.Create('unsorted');\n"
    "end.";
const char* sortLua =
    "local function sort(a, l, r)\n"
    "  local i, j, p = l, r, a[(l + r) // 2]\n"
    "  repeat\n"
    "    while a[i] < p do i = i + 1 end\n"
    "    while a[j] > p do j = j - 1 end\n"
    "    if i <= j then a[i], a[j] = a[j], a[i]; i = i + 1; j = j - 1 end\n"
    "  until i > j\n"
    "  if l < j then sort(a, l, j) end\n"
    "  if i < r then sort(a, i, r) end\n"
    "end\n"
    "return function()\n"
    "  local a, seed = {}, 42\n"
    "  for i = 0, 99999 do seed = (seed * 1103515245 + 12345) % 2147483648; a[i] = seed % 1000000 end\n"
    "  sort(a, 0, 99999)\n"
    "  for i = 1, 99999 do assert(a[i - 1] <= a[i]) end\n"
    "end";

// 10^6 calls of a function the host implements (Lua: a C function), and of a method
// and a property of the standard string list.
const char16_t* hostScript =
    u"var i: Integer; s: Int64; L: TStringList;\n"
    "begin s := 0; L := TStringList.Create; L.Add('x');\n"
    "for i := 1 to 1000000 do s := s + Twice(i) + L.Count;\n"
    "if s <> 1000002000000 then raise Exception.Create('wrong'); end.";
const char* hostLua =
    "return function() local s = 0 local t = {'x'} for i = 1, 1000000 do s = s + twice(i) + #t end\n"
    "assert(s == 1000002000000) end";

int luaTwice(lua_State* L) {
  lua_pushinteger(L, 2 * luaL_checkinteger(L, 1));
  return 1;
}

void runScript(benchmark::State& state, const char16_t* source) {
  Engine e;
  velmoro::script::declareClassesLibrary(e);
  e.declareFunction(u"function Twice(N: Integer): Int64;",
                    [](velmoro::script::HostCall& c) { c.setResult(2 * c.integer(0)); });
  if (!e.compile(source)) throw std::runtime_error("benchmark script does not compile");
  for (auto _ : state)
    if (!e.run()) state.SkipWithError("script failed");
}

void runLua(benchmark::State& state, const char* chunk) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  lua_register(L, "twice", luaTwice);
  if (luaL_dostring(L, chunk) != LUA_OK) throw std::runtime_error(lua_tostring(L, -1));
  int fn = luaL_ref(L, LUA_REGISTRYINDEX);
  for (auto _ : state) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, fn);
    if (lua_pcall(L, 0, 0, 0) != LUA_OK) state.SkipWithError(lua_tostring(L, -1));
  }
  lua_close(L);
}

void BM_Fib32_Script(benchmark::State& s) { runScript(s, fibScript); }
void BM_Fib32_Lua(benchmark::State& s) { runLua(s, fibLua); }
void BM_AddLoop_Script(benchmark::State& s) { runScript(s, loopScript); }
void BM_AddLoop_Lua(benchmark::State& s) { runLua(s, loopLua); }
void BM_StringAppend_Script(benchmark::State& s) { runScript(s, stringScript); }
void BM_StringAppend_Lua(benchmark::State& s) { runLua(s, stringLua); }
void BM_Sort_Script(benchmark::State& s) { runScript(s, sortScript); }
void BM_Sort_Lua(benchmark::State& s) { runLua(s, sortLua); }
void BM_HostCalls_Script(benchmark::State& s) { runScript(s, hostScript); }
void BM_HostCalls_Lua(benchmark::State& s) { runLua(s, hostLua); }

BENCHMARK(BM_Fib32_Script)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fib32_Lua)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddLoop_Script)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddLoop_Lua)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringAppend_Script)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StringAppend_Lua)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_Script)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort_Lua)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostCalls_Script)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostCalls_Lua)->Unit(benchmark::kMillisecond);

}  // namespace
