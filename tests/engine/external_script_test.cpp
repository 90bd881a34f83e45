// Scripts that declare and call functions of external libraries: the test library
// (found through the folder of the script's main file), and end to end the draw
// generator through vpas.
#include "common/unicode.h"
#include "engine_harness.h"
#include "test_support.h"

#include <filesystem>

namespace velmoro::test {
namespace {

const std::string kLibDir = FFI_TESTLIB_DIR;

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

struct ExtRun : ScriptRun {
  std::string errorText() const { return error ? text::toUtf8(error->message) : std::string(); }
};

// The script's main file sits beside the test library, as a host would name it.
ExtRun runExternal(const std::string& source) {
  ExtRun r;
  static_cast<ScriptRun&>(r) = runScript(source, {}, kLibDir + "/main.dpas");
  return r;
}

// %D is where the load option goes.
const char* kSignatures = R"(
function add_i32(a, b: Integer): Integer; external 'add_i32@ffitest.dll stdcall%D';
function mul_i64(a, b: Int64): Int64; external 'mul_i64@ffitest.dll CDECL%D';
function neg_i8(a: ShortInt): ShortInt; external 'neg_i8@ffitest.dll register%D';
function not_u8(a: Byte): Byte; external 'not_u8@ffitest.dll pascal%D';
function neg_i16(a: SmallInt): SmallInt; external 'neg_i16@ffitest.dll stdcall%D';
function inc_u16(a: Word): Word; external 'inc_u16@ffitest.dll stdcall%D';
function max_u32: Cardinal; external 'max_u32@ffitest.dll stdcall%D';
function scale(v: Double; by: Integer): Double; external 'scale@ffitest.dll stdcall%D';
function bool_and(a, b: Boolean): Boolean; external 'bool_and@ffitest.dll stdcall%D';
function long_bool(a: LongBool): BOOL; external 'long_bool@ffitest.dll stdcall%D';
function echo_ptr(p: Pointer): Pointer; external 'echo_ptr@ffitest.dll stdcall%D';
function wide_len(const s: PWideChar): Integer; external 'wide_len@ffitest.dll stdcall%D';
function ansi_len(s: PAnsiChar): Integer; external 'ansi_len@ffitest.dll stdcall%D';
procedure fill_wide(var buf: string; cap: Integer); external 'fill_wide@ffitest.dll stdcall%D';
procedure fill_ansi(var buf: AnsiString; cap: Integer); external 'fill_ansi@ffitest.dll stdcall%D';
procedure inc_var(var v: Integer); external 'inc_var@ffitest.dll stdcall%D';
procedure half_var(var v: Double); external 'half_var@ffitest.dll stdcall%D';
function greet_wide: string; external 'greet_wide@ffitest.dll stdcall%D';
function greet_ansi: AnsiString; external 'greet_ansi@ffitest.dll stdcall%D';
function fail_with(e: Integer): Integer; external 'fail_with@ffitest.dll stdcall%D';
var s, kept: string; a: AnsiString; i: Integer; d: Double;
begin
  Writeln(add_i32(40, 2), ' ', add_i32(MaxInt, 1));
  Writeln(mul_i64(1099511627776, 3));
  Writeln(neg_i8(5), ' ', not_u8(15), ' ', neg_i16(-300), ' ', inc_u16(65535), ' ', max_u32);
  Writeln(FloatToStr(scale(2.5, 4)));
  Writeln(bool_and(True, False), ' ', bool_and(True, True), ' ', long_bool(True));
  if echo_ptr(nil) = nil then Writeln('nil');
  Writeln(wide_len('Köln'), ' ', ansi_len('Köln'));
  SetLength(s, 8);
  kept := s;
  fill_wide(s, 8);
  Writeln(Copy(s, 1, 4), ' ', Length(s), ' ', Length(kept), ' ', Ord(kept[1]));
  SetLength(a, 8);
  fill_ansi(a, 8);
  Writeln(Copy(a, 1, 4), ' ', Length(a));
  i := 41;
  inc_var(i);
  d := 5;
  half_var(d);
  Writeln(i, ' ', FloatToStr(d));
  Writeln(greet_wide, ' ', greet_ansi);
  fail_with(7);
  Writeln(DLLGetLastError);
  add_i32(1, 1);
  Writeln(DLLGetLastError);
end.
)";

TEST(ExternalScript, EachSignatureWithAndWithoutDelayLoad) {
  const std::string expected =
      "42 -2147483648\n"
      "3298534883328\n"
      "-5 240 300 0 4294967295\n"
      "10\n"
      "FALSE TRUE TRUE\n"
      "nil\n"
      "4 5\n"
      "K\xC3\xB6ln 8 8 0\n"  // the callee filled the var buffer, not the copy
      "K\xC3\xB6ln 8\n"  // Length of an AnsiString counts bytes
      "42 2.5\n"
      "h\xC3\xA9llo h\xC3\xA9llo\n"
      "7\n"
      "0\n";
  for (const char* option : {"", " delayload", " DelayLoad loadwithalteredsearchpath"}) {
    SCOPED_TRACE(option);
    ExtRun r = runExternal(replaceAll(kSignatures, "%D", option));
    ASSERT_TRUE(r.compiled) << firstError(r);
    EXPECT_TRUE(r.ran) << r.errorText();
    EXPECT_EQ(r.out, expected);
  }
}

TEST(ExternalScript, MissingLibraryOrFunction) {
  const struct {
    const char* external;
    const char* message;
    bool started;  // the main body ran up to the call
    int row;       // of the declaration without delayload, of the call with it
  } cases[] = {
      {"f@nosuch.dll stdcall", "Library not found: nosuch.dll", false, 2},
      {"missing_function@ffitest.dll stdcall", "Function not found: missing_function in ffitest.dll", false, 2},
      {"f@nosuch.dll stdcall delayload", "Library not found: nosuch.dll", true, 6},
      {"missing_function@ffitest.dll cdecl delayload",
       "Function not found: missing_function in ffitest.dll", true, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.external);
    const std::string source = std::string("\nfunction f: Integer; external '") + c.external +
                               "';\n"
                               "function add_i32(a, b: Integer): Integer; external 'add_i32@ffitest.dll stdcall';\n"
                               "begin\n"
                               "  Writeln('started');\n"
                               "  Writeln(f);\n"
                               "end.\n";
    ExtRun r = runExternal(source);
    ASSERT_TRUE(r.compiled) << firstError(r);
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(r.errorText(), c.message);
    EXPECT_EQ(r.out, c.started ? "started\n" : "");
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->row, c.row);
    EXPECT_EQ(text::toUtf8(r.error->module), "main.dpas");
  }
  // A delay-loaded function that is never called costs nothing.
  ExtRun quiet = runExternal("procedure f; external 'f@nosuch.dll stdcall delayload';\nbegin Writeln('ok') end.\n");
  EXPECT_TRUE(quiet.ran) << quiet.errorText();
  EXPECT_EQ(quiet.out, "ok\n");
  // A failed call can be caught like any other error.
  ExtRun caught = runExternal(
      "procedure f; external 'f@nosuch.dll stdcall delayload';\n"
      "begin try f except on E: Exception do Writeln(E.Message) end end.\n");
  EXPECT_TRUE(caught.ran) << caught.errorText();
  EXPECT_EQ(caught.out, "Library not found: nosuch.dll\n");
}

TEST(ExternalScript, UnloadDllLoadsAgainOnTheNextCall) {
  for (const char* option : {"", " delayload"}) {
    SCOPED_TRACE(option);
    ExtRun r = runExternal(std::string("function count_calls: Integer; external 'count_calls@ffitest.dll stdcall") +
                           option +
                           "';\n"
                           "begin\n"
                           "  Write(count_calls, ' ');\n"
                           "  Write(count_calls, ' ');\n"
                           "  UnloadDll('FFITEST.dll');\n"
                           "  Write(count_calls, ' ');\n"
                           "  UnloadDll('never-loaded.dll');\n"
                           "  Writeln(count_calls);\n"
                           "end.\n");
    EXPECT_TRUE(r.ran) << r.errorText();
    EXPECT_EQ(r.out, "1 2 1 2\n");  // the counter lives in the library: it starts over
  }
}

TEST(ExternalScript, CallByNameAndListing) {
  script::Engine e;
  hostOptions(e);
  e.options().mainFile = text::fromUtf8(kLibDir + "/main.dpas");
  ASSERT_TRUE(e.compile(
      u"function add_i32(a, b: Integer): Integer; external 'add_i32@ffitest.dll stdcall';\n"
      u"procedure inc_var(var v: Integer); external 'inc_var@ffitest.dll stdcall';\n"
      u"begin Writeln(add_i32(1, 2)) end.\n"));
  // Before the main body ran: the libraries load for the call.
  std::vector<script::Data> args{int64_t(40), int64_t(2)};
  auto sum = e.call(u"ADD_I32", args);
  ASSERT_TRUE(sum) << text::toUtf8(e.runError()->message);
  EXPECT_EQ(std::get<int64_t>(*sum), 42);
  std::vector<script::Data> counter{int64_t(9)};
  ASSERT_TRUE(e.call(u"inc_var", counter, true));
  EXPECT_EQ(std::get<int64_t>(counter[0]), 10);
  const std::string listing = text::toUtf8(e.disassemble());
  EXPECT_NE(listing.find("XCALL"), std::string::npos);
  EXPECT_NE(listing.find("add_i32"), std::string::npos);
}

TEST(ExternalScript, DeclarationErrorsAtTheExternalText) {
  const struct {
    const char* declaration;
    const char* message;
    const char* at;  // the message's column is where this text starts
  } cases[] = {
      {"function f: Integer; external 'flib';", "Invalid External", "'flib'"},
      {"function f: Integer; external '@lib stdcall';", "Invalid External", "'@lib"},
      {"function f: Integer; external 'f@lib stdcall sometimes';", "Invalid External", "'f@lib"},
      {"procedure f; external 'f@\"open lib';", "Invalid External", "'f@"},
      {"function f: Integer; external 'f@lib fastcall';", "Invalid Calling Convention", "'f@lib"},
      {"function f: Integer; external 'f@lib delayload';", "Invalid Calling Convention", "'f@lib"},
      {"procedure f; external 42;", "Invalid External", "42"},
      {"procedure f(c: Char); external 'f@lib stdcall';", "Type 'Char' cannot be passed to a library function",
       "procedure"},
      {"function f: Variant; external 'f@lib stdcall';",
       "Type 'Variant' cannot be returned by a library function", "function"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.declaration);
    ExtRun r = runExternal(std::string("var x: Integer;\n") + c.declaration + "\nbegin end.\n");
    EXPECT_FALSE(r.compiled);
    ASSERT_FALSE(r.messages.empty());
    const script::Message& m = r.messages.front();
    EXPECT_EQ(m.type, script::MessageType::Error);
    EXPECT_EQ(text::toUtf8(m.text), c.message);
    EXPECT_EQ(m.row, 2);
    EXPECT_EQ(m.col, static_cast<int>(std::string(c.declaration).find(c.at)) + 1);
  }
}

// A script run by vpas calls the draw generator's entry point. The library is a copy in
// the script's folder under a name of its own (vpas's run path would find libVLGN.so
// itself): "Draw Generator.dll" is tried as "Draw Generator.so" and found there.
TEST(ExternalScript, VpasCallsTheDrawGenerator) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  ScratchDir dir;
  std::filesystem::copy_file(libDir() / "libVLGN.so", dir / "Draw Generator.so");
  // The script writes its configuration itself, through the C library's file calls.
  const std::filesystem::path script = dir / "draw.dpas";
  writeFile(script,
            "function fopen(Name, Mode: PAnsiChar): Pointer; external 'fopen@libc.so.6 cdecl';\n"
            "function fputs(Text: PAnsiChar; F: Pointer): Integer; external 'fputs@libc.so.6 cdecl';\n"
            "function fclose(F: Pointer): Integer; external 'fclose@libc.so.6 cdecl';\n"
            "function VLGNW(Config, Target: PWideChar; KeepEmf: Integer): Integer; "
            "  external 'VLGNW@\"Draw Generator.dll\" stdcall';\n"
            "var Code: Integer; F: Pointer;\n"
            "begin\n"
            "  F := fopen('" + (dir / "cup.txt").string() + "', 'wb');\n"
            "  fputs('DrawScriptID=se'#13#10'TargetFormat=Pdf'#13#10'DrawParticipantsCount=8'#13#10 +\n"
            "        'DrawTitle=Cup K\u00f6ln'#13#10, F);\n"
            "  fclose(F);\n"
            "  Code := VLGNW('" + (dir / "cup.txt").string() + "', '" + (dir / "cup.pdf").string() + "', 0);\n"
            "  Writeln('result ', Code);\n"
            "end.\n");
  // vpas unloads the library at its end, and the font caches of the library's own
  // dependencies go with it unfreed: not the engine's to report in a sanitizer build.
  RunResult r = run({(binDir() / "vpas").string(), "run", script.string()}, {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "result 0\n");
  ASSERT_TRUE(std::filesystem::exists(dir / "cup.pdf"));
  RunResult check = run({qpdf, "--check", (dir / "cup.pdf").string()});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  EXPECT_EQ(readFile(dir / "cup.txt").substr(0, 17), "DrawScriptID=se\r\n");
}

}  // namespace
}  // namespace velmoro::test
