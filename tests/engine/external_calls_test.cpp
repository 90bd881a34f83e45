#include "engine/external_calls.h"

#include "common/unicode.h"
#include "test_support.h"

namespace velmoro::script::ext {
namespace {

TEST(External, Declarations) {
  const struct {
    const char16_t* text;
    const char16_t* error;  // empty: valid
    const char16_t *function, *library;
    CallingConvention convention;
    bool delay, altered;
  } cases[] = {
      {u"VLGNW@VLGN.dll stdcall", u"", u"VLGNW", u"VLGN.dll", CallingConvention::Stdcall, false, false},
      {u"f@lib", u"", u"f", u"lib", CallingConvention::Register, false, false},
      {u"f@lib CDECL DelayLoad", u"", u"f", u"lib", CallingConvention::Cdecl, true, false},
      {u"f@\"My Lib.dll\" pascal delayload loadwithalteredsearchpath", u"", u"f", u"My Lib.dll",
       CallingConvention::Pascal, true, true},
      {u"f@lib  register   delayload", u"", u"f", u"lib", CallingConvention::Register, true, false},
      {u"flib", u"Invalid External", u"", u"", CallingConvention::Register, false, false},
      {u"@lib", u"Invalid External", u"", u"", CallingConvention::Register, false, false},
      {u"f@", u"Invalid External", u"", u"", CallingConvention::Register, false, false},
      {u"f@\"open lib", u"Invalid External", u"", u"", CallingConvention::Register, false, false},
      // an unknown load option
      {u"f@lib stdcall sometimes", u"Invalid External", u"", u"", CallingConvention::Register, false, false},
      {u"f@lib fastcall", u"Invalid Calling Convention", u"", u"", CallingConvention::Register, false, false},
      // an option needs a convention word before it
      {u"f@lib delayload", u"Invalid Calling Convention", u"", u"", CallingConvention::Register, false, false},
  };
  for (const auto& c : cases) {
    std::u16string error;
    auto spec = parseExternal(c.text, error);
    EXPECT_EQ(error, c.error) << text::toUtf8(c.text);
    if (!spec) continue;
    EXPECT_EQ(spec->function, c.function);
    EXPECT_EQ(spec->library, c.library);
    EXPECT_EQ(spec->convention, c.convention);
    EXPECT_EQ(spec->delayLoad, c.delay);
    EXPECT_EQ(spec->alteredSearchPath, c.altered);
  }
  EXPECT_EQ(libraryFileNames(u"VLGN.dll"), (std::vector<std::string>{"VLGN.so", "libVLGN.so", "VLGN.dll"}));
  EXPECT_EQ(libraryFileNames(u"c:\\x\\Tool.DLL"), (std::vector<std::string>{"c:/x/Tool.so", "c:/x/libTool.so", "c:/x/Tool.DLL"}));
  EXPECT_EQ(libraryFileNames(u"libm.so.6"), (std::vector<std::string>{"libm.so.6"}));
}

struct Calls : ::testing::Test {
  // The test library lives only in a folder of its own: found through the script folder.
  LibraryLoader loader{text::fromUtf8(FFI_TESTLIB_DIR), u""};
  void* fn(const char16_t* name) {
    std::u16string error;
    void* f = loader.resolve({name, u"ffitest.dll"}, error);
    EXPECT_NE(f, nullptr) << text::toUtf8(error);
    return f;
  }
  Value call(const char16_t* name, Signature sig, std::vector<Value> args = {}) {
    return callForeign(fn(name), sig, args).result;
  }
};

TEST_F(Calls, ScalarsOfEachWidth) {
  using K = ArgKind;
  EXPECT_EQ(call(u"add_i32", {{{K::Int32}, {K::Int32}}, K::Int32}, {int64_t(40), int64_t(2)}), Value(int64_t(42)));
  EXPECT_EQ(call(u"add_i32", {{{K::Int32}, {K::Int32}}, K::Int32}, {int64_t(INT32_MAX), int64_t(1)}),
            Value(int64_t(INT32_MIN)));  // 32-bit arithmetic in the callee
  EXPECT_EQ(call(u"mul_i64", {{{K::Int64}, {K::Int64}}, K::Int64}, {int64_t(1) << 40, int64_t(3)}),
            Value(int64_t(3) << 40));
  EXPECT_EQ(call(u"neg_i8", {{{K::Int8}}, K::Int8}, {int64_t(5)}), Value(int64_t(-5)));
  EXPECT_EQ(call(u"not_u8", {{{K::UInt8}}, K::UInt8}, {int64_t(0x0F)}), Value(int64_t(0xF0)));
  EXPECT_EQ(call(u"neg_i16", {{{K::Int16}}, K::Int16}, {int64_t(-300)}), Value(int64_t(300)));
  EXPECT_EQ(call(u"inc_u16", {{{K::UInt16}}, K::UInt16}, {int64_t(65535)}), Value(int64_t(0)));
  EXPECT_EQ(call(u"max_u32", {{}, K::UInt32}), Value(int64_t(0xFFFFFFFFll)));
  EXPECT_EQ(call(u"scale", {{{K::Double}, {K::Int32}}, K::Double}, {2.5, int64_t(4)}), Value(10.0));
  EXPECT_EQ(call(u"bool_and", {{{K::Bool8}, {K::Bool8}}, K::Bool8}, {true, false}), Value(false));
  EXPECT_EQ(call(u"long_bool", {{{K::Bool32}}, K::Bool32}, {true}), Value(true));
  EXPECT_EQ(call(u"echo_ptr", {{{K::Pointer}}, K::Pointer}, {uintptr_t(0x1234)}), Value(uintptr_t(0x1234)));
}

TEST_F(Calls, StringsBuffersAndVarParameters) {
  using K = ArgKind;
  EXPECT_EQ(call(u"wide_len", {{{K::WideString}}, K::Int32}, {std::u16string(u"K\u00F6ln")}), Value(int64_t(4)));
  EXPECT_EQ(call(u"ansi_len", {{{K::AnsiString}}, K::Int32}, {std::u16string(u"K\u00F6ln")}), Value(int64_t(5)));
  // A buffer the script made (SetLength) and the callee fills.
  std::vector<Value> wide{std::u16string(8, u' '), int64_t(8)};
  callForeign(fn(u"fill_wide"), {{{K::WideString}, {K::Int32}}, std::nullopt}, wide);
  EXPECT_EQ(std::get<std::u16string>(wide[0]), std::u16string(u"K\u00F6ln\0   ", 8));
  std::vector<Value> ansi{std::u16string(8, u' '), int64_t(8)};
  callForeign(fn(u"fill_ansi"), {{{K::AnsiString}, {K::Int32}}, std::nullopt}, ansi);
  EXPECT_EQ(std::get<std::u16string>(ansi[0]).substr(0, 4), u"K\u00F6ln");
  std::vector<Value> counter{int64_t(41)};
  callForeign(fn(u"inc_var"), {{{K::Int32, true}}, std::nullopt}, counter);
  EXPECT_EQ(counter[0], Value(int64_t(42)));
  std::vector<Value> real{5.0};
  callForeign(fn(u"half_var"), {{{K::Double, true}}, std::nullopt}, real);
  EXPECT_EQ(real[0], Value(2.5));
  EXPECT_EQ(call(u"greet_wide", {{}, K::WideString}), Value(std::u16string(u"h\u00E9llo")));
  EXPECT_EQ(call(u"greet_ansi", {{}, K::AnsiString}), Value(std::u16string(u"h\u00E9llo")));
}

TEST_F(Calls, LastErrorAndLoading) {
  std::vector<Value> args{int64_t(ENOENT)};
  CallOutcome out = callForeign(fn(u"fail_with"), {{{ArgKind::Int32}}, ArgKind::Int32}, args);
  EXPECT_EQ(out.lastError, ENOENT);
  std::u16string error;
  EXPECT_EQ(loader.resolve({u"missing_function", u"ffitest.dll"}, error), nullptr);
  EXPECT_EQ(error, u"Function not found: missing_function in ffitest.dll");
  EXPECT_EQ(loader.resolve({u"f", u"nowhere.dll"}, error), nullptr);
  EXPECT_EQ(error, u"Library not found: nowhere.dll");
  EXPECT_TRUE(loader.isLoaded(u"FFITEST.DLL"));  // names compare without case
  EXPECT_TRUE(loader.unload(u"ffitest.dll"));
  EXPECT_FALSE(loader.isLoaded(u"ffitest.dll"));
  EXPECT_FALSE(loader.unload(u"ffitest.dll"));
  // The system's search comes first: a system library needs no folder at all, and the
  // test library, which is on no system path, is not found without its folder.
  LibraryLoader bare(u"", u"");
  EXPECT_NE(bare.resolve({u"cos", u"libm.so.6"}, error), nullptr) << text::toUtf8(error);
  EXPECT_EQ(bare.resolve({u"add_i32", u"ffitest.dll"}, error), nullptr);
  EXPECT_NE(fn(u"add_i32"), nullptr);  // loads again on the next use
  // The program's folder is searched last.
  LibraryLoader fromProgram(u"", text::fromUtf8(FFI_TESTLIB_DIR));
  EXPECT_NE(fromProgram.resolve({u"add_i32", u"ffitest.dll"}, error), nullptr) << text::toUtf8(error);
}

}  // namespace
}  // namespace velmoro::script::ext
