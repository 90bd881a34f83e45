// Running: faults become script errors with class, row, column and module; routines
// are called by name with values in and out; globals outlive the main body; calls
// re-enter; a running script can be stopped.
#include "engine_harness.h"

#include <gtest/gtest.h>

namespace velmoro::test {
namespace {

struct Fault {
  const char* source;
  const char* className;
  int row, col;
};

TEST(RunErrors, FaultsAreScriptErrorsNeverCrashes) {
  const Fault cases[] = {
      {"var i: Integer;\nbegin\n  i := 0;\n  i := 5 div i;\nend.", "EDivByZero", 4, 3},
      {"var i: Integer;\nbegin\n  i := 0;\n  Writeln(5 mod i);\nend.", "EDivByZero", 4, 3},
      {"var f: Double;\nbegin\n  f := 0;\n  f := 1 / f;\nend.", "EZeroDivide", 4, 3},
      {"var a: array of Integer;\nbegin\n  SetLength(a, 2);\n  a[2] := 1;\nend.", "ERangeError", 4, 3},
      {"var a: array[1..3] of Integer; i: Integer;\nbegin\n  i := 0;\n  Writeln(a[i]);\nend.", "ERangeError", 4, 3},
      {"var s: string;\nbegin\n  s := 'ab';\n  s[3] := 'x';\nend.", "ERangeError", 4, 3},
      {"var s: string;\nbegin\n  Writeln(s[1]);\nend.", "ERangeError", 3, 3},
      {"var e: Exception;\nbegin\n  Writeln(e.Message);\nend.", "EAccessViolation", 3, 3},
      {"var a: array of string;\nbegin\n  Writeln(a[0]);\nend.", "ERangeError", 3, 3},
      // an index held in a local: the fused element loads and stores check it too
      {"procedure P;\nvar a: array of Integer; i: Integer;\nbegin\n  SetLength(a, 2); i := 2;\n  Writeln(a[i]);\nend;\nbegin P; end.", "ERangeError", 5, 3},
      {"procedure P;\nvar a: array of Integer; i: Integer;\nbegin\n  i := -1;\n  a[i] := 3;\nend;\nbegin P; end.", "ERangeError", 5, 3},
      {"var g: array of Integer;\nprocedure P;\nvar i: Integer;\nbegin\n  SetLength(g, 3); i := 3;\n  g[i] := g[i - 1];\nend;\nbegin P; end.", "ERangeError", 6, 3},
      {"var g: array of Integer;\nprocedure P;\nvar i: Integer;\nbegin\n  i := 0;\n  if g[i] > 0 then Writeln;\nend;\nbegin P; end.", "ERangeError", 6, 3},
      {"procedure R(n: Integer);\nbegin\n  R(n + 1);\nend;\nbegin\n  R(0);\nend.", "EStackOverflow", 3, 3},
      {"begin\n  raise Exception.Create('custom');\nend.", "Exception", 2, 3},
      {"begin\n  StrToInt('12a');\nend.", "EConvertError", 2, 3},
      {"var v: Variant;\nbegin\n  v := 'abc';\n  Writeln(v + 1);\nend.", "EVariantError", 4, 3},
      {"begin\n  Writeln(Format('%d', ['x']));\nend.", "EConvertError", 2, 3},
      {"var e: Exception;\nbegin\n  e := Exception.Create('x');\n  Writeln((e as EConvertError).Message);\nend.", "EInvalidCast", 4, 3},
  };
  for (const Fault& c : cases) {
    SCOPED_TRACE(c.source);
    ScriptRun r = runScript(c.source);
    ASSERT_TRUE(r.compiled) << firstError(r);
    EXPECT_FALSE(r.ran);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(text::toUtf8(r.error->className), c.className);
    EXPECT_EQ(r.error->row, c.row);
    EXPECT_EQ(r.error->col, c.col);
    EXPECT_EQ(r.error->module, u"main.dpas");
  }
}

TEST(RunErrors, PositionInsideAnIncludeFile) {
  std::map<std::string, std::string> files = {{"lib.inc", "procedure Fail;\nbegin\n  raise Exception.Create('in lib');\nend;\n"}};
  ScriptRun r = runScript("{$I lib.inc}\nbegin\n  Fail;\nend.", files);
  ASSERT_TRUE(r.compiled) << firstError(r);
  ASSERT_TRUE(r.error.has_value());
  EXPECT_EQ(r.error->message, u"in lib");
  EXPECT_EQ(r.error->module, u"lib.inc");
  EXPECT_EQ(r.error->row, 3);
}

TEST(RunErrors, HandledFaultsLeaveTheMachineUsable) {
  ScriptRun r = runScript(
      "procedure R(n: Integer); begin R(n + 1); end;\n"
      "var i: Integer;\n"
      "begin\n"
      "  for i := 1 to 3 do\n"
      "    try R(0); except on E: EStackOverflow do Writeln(i, ' ', E.Message); end;\n"
      "end.");
  ASSERT_TRUE(r.compiled) << firstError(r);
  EXPECT_TRUE(r.ran);
  EXPECT_EQ(r.out, "1 Stack overflow\n2 Stack overflow\n3 Stack overflow\n");
}

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    hostOptions(e);
    e.setWrite([this](std::u16string_view s) { out += text::toUtf8(s); });
    ASSERT_TRUE(e.compile(
        u"var Count: Integer; Names: string;\n"
        "function Add(a, b: Integer): Integer; begin Result := a + b; end;\n"
        "function Greet(const who: string): string; begin Result := 'Hello ' + who; end;\n"
        "procedure Tick; begin Count := Count + 1; Names := Names + 'x'; end;\n"
        "procedure Twice(var s: string; var n: Integer); begin s := s + s; n := n * 2; end;\n"
        "function Half(x: Double): Double; begin Result := x / 2; end;\n"
        "function Fail(n: Integer): Integer; begin Result := 10 div n; end;\n"
        "function GetCount: Integer; begin Result := Count; end;\n"
        "function GetNames: string; begin Result := Names; end;\n"
        "function Join(const a: string; const sep: string = '-'; n: Integer = 2): string;\n"
        "var i: Integer; begin Result := a; for i := 2 to n do Result := Result + sep + a; end;\n"
        "function Kind(n: Integer): string; overload; begin Result := 'int'; end;\n"
        "function Kind(const s: string): string; overload; begin Result := 'str ' + s; end;\n"
        "function Kind(d: Double): string; overload; begin Result := 'real'; end;\n"
        "function Kind(a, b: Integer): string; overload; begin Result := 'pair'; end;\n"
        "begin Count := 10; end."))
        << text::toUtf8(e.messages().empty() ? u"" : e.messages()[0].text);
  }
  script::Engine e;
  std::string out;
};

TEST_F(Calls, ByValueAndByReference) {
  std::vector<script::Data> args{int64_t{2}, int64_t{40}};
  EXPECT_EQ(e.call(u"add", args), script::Data{int64_t{42}});
  args = {std::u16string(u"Ann")};
  EXPECT_EQ(e.call(u"GREET", args), script::Data{std::u16string(u"Hello Ann")});
  args = {1.5};
  EXPECT_EQ(e.call(u"Half", args), script::Data{0.75});

  args = {std::u16string(u"ab"), int64_t{21}};
  ASSERT_TRUE(e.call(u"Twice", args, false).has_value());
  EXPECT_EQ(args[0], script::Data{std::u16string(u"ab")});  // by value: unchanged
  ASSERT_TRUE(e.call(u"Twice", args, true).has_value());
  EXPECT_EQ(args[0], script::Data{std::u16string(u"abab")});
  EXPECT_EQ(args[1], script::Data{int64_t{42}});
}

TEST_F(Calls, GlobalsLiveOnAfterTheMainBody) {
  ASSERT_TRUE(e.run());
  std::vector<script::Data> none;
  e.call(u"Tick", none);
  e.call(u"Tick", none);
  EXPECT_EQ(e.call(u"GetCount", none), script::Data{int64_t{12}});
  EXPECT_EQ(e.call(u"GetNames", none), script::Data{std::u16string(u"xx")});
  // running again starts from fresh globals; so does a new compilation
  ASSERT_TRUE(e.run());
  EXPECT_EQ(e.call(u"GetCount", none), script::Data{int64_t{10}});
  ASSERT_TRUE(e.compile(u"var Count: Integer; function GetCount: Integer; begin Result := Count; end; begin end."));
  EXPECT_EQ(e.call(u"GetCount", none), script::Data{int64_t{0}});
}

TEST_F(Calls, OmittedArgumentsTakeTheirDefaults) {
  struct Case {
    std::vector<script::Data> args;
    const char16_t* want;
  };
  const Case cases[] = {
      {{std::u16string(u"a")}, u"a-a"},
      {{std::u16string(u"a"), std::u16string(u"+")}, u"a+a"},
      {{std::u16string(u"a"), std::u16string(u"+"), int64_t{3}}, u"a+a+a"},
  };
  for (const Case& c : cases) {
    std::vector<script::Data> args = c.args;
    EXPECT_EQ(e.call(u"Join", args), script::Data{std::u16string(c.want)});
  }
}

TEST_F(Calls, OverloadsChosenByTheValuesPassed) {
  struct Case {
    std::vector<script::Data> args;
    const char16_t* want;  // null: no version fits
  };
  const Case cases[] = {
      {{int64_t{1}}, u"int"},
      {{std::u16string(u"x")}, u"str x"},
      {{2.5}, u"real"},
      {{int64_t{1}, int64_t{2}}, u"pair"},
      {{true}, nullptr},
      {{int64_t{1}, int64_t{2}, int64_t{3}}, nullptr},
  };
  for (const Case& c : cases) {
    std::vector<script::Data> args = c.args;
    auto r = e.call(u"kind", args);
    if (c.want) {
      EXPECT_EQ(r, script::Data{std::u16string(c.want)});
    } else {
      EXPECT_FALSE(r.has_value());
      ASSERT_TRUE(e.runError().has_value());
      EXPECT_NE(e.runError()->message.find(u"No overloaded version of kind"), std::u16string::npos);
    }
  }
}

TEST_F(Calls, ErrorsAndUnknownNames) {
  std::vector<script::Data> args{int64_t{0}};
  EXPECT_FALSE(e.call(u"Fail", args).has_value());
  ASSERT_TRUE(e.runError().has_value());
  EXPECT_EQ(e.runError()->className, u"EDivByZero");
  EXPECT_FALSE(e.call(u"Nope", args).has_value());
  EXPECT_FALSE(e.hasRoutine(u"Nope"));
  EXPECT_TRUE(e.hasRoutine(u"tick"));
  args = {int64_t{5}};
  EXPECT_EQ(e.call(u"Fail", args), script::Data{int64_t{2}});  // still usable
}

TEST(Reentry, HostCallsBackIntoTheRunningScript) {
  script::Engine e;
  hostOptions(e);
  std::string out;
  bool sawRunning = false;
  e.setWrite([&](std::u16string_view s) {
    out += text::toUtf8(s);
    if (s == u"ask") {
      sawRunning = e.running();
      std::vector<script::Data> args{int64_t{7}};
      auto r = e.call(u"Square", args);
      out += r ? "=" + std::to_string(std::get<int64_t>(*r)) : "=fail";
    }
  });
  ASSERT_TRUE(e.compile(u"var Calls: Integer;\n"
                        "function Square(n: Integer): Integer; begin Calls := Calls + 1; Result := n * n; end;\n"
                        "begin Write('ask'); Write('ask'); Writeln(' ', Calls); end."));
  EXPECT_FALSE(e.running());
  ASSERT_TRUE(e.run());
  EXPECT_TRUE(sawRunning);
  EXPECT_EQ(out, "ask=49ask=49 2\n");
}

TEST(Stop, EndsARunawayLoop) {
  script::Engine e;
  hostOptions(e);
  int writes = 0;
  e.setWrite([&](std::u16string_view) {
    if (++writes == 100) e.stop();
  });
  ASSERT_TRUE(e.compile(u"var i: Integer; begin while True do begin Inc(i); Write(i); end; end."));
  EXPECT_FALSE(e.run());
  ASSERT_TRUE(e.runError().has_value());
  EXPECT_EQ(e.runError()->message, u"Script stopped");
  EXPECT_EQ(writes, 100);
  EXPECT_FALSE(e.running());
  // the next run starts clean
  writes = 0;
  ASSERT_TRUE(e.compile(u"begin Write(1); end."));
  EXPECT_TRUE(e.run());
}

// The host stops the script from its Write callback once the script writes "stop".
struct StoppingRun {
  bool ran = true;
  std::string out;
  std::u16string message;
};
StoppingRun runUntilStop(const char16_t* source) {
  script::Engine e;
  hostOptions(e);
  StoppingRun r;
  e.setWrite([&](std::u16string_view s) {
    r.out += text::toUtf8(s);
    if (s == u"stop") e.stop();
  });
  if (!e.compile(source)) {
    r.message = e.messages().empty() ? u"" : e.messages()[0].text;
    return r;
  }
  r.ran = e.run();
  if (e.runError()) r.message = e.runError()->message;
  return r;
}

TEST(Stop, RunsFinallyBlocksButNoExceptHandlers) {
  StoppingRun r = runUntilStop(
      u"procedure Cleanup; begin Write('cleanup'); end;\n"
      "procedure Work;\n"
      "var i: Integer;\n"
      "begin\n"
      "  try\n"
      "    try\n"
      "      while True do begin Inc(i); if i = 3 then Write('stop') else Write(i); end;\n"
      "    except\n"
      "      Writeln('caught');\n"
      "    end;\n"
      "  finally\n"
      "    Write(' inner ');\n"
      "    for i := 1 to 3 do Write(i);\n"   // loops and calls run inside the finally
      "    Cleanup;\n"
      "  end;\n"
      "  Writeln('after inner');\n"
      "end;\n"
      "begin\n"
      "  try\n"
      "    try Work; except on E: Exception do Writeln('outer caught'); end;\n"
      "  finally\n"
      "    Writeln(' outer');\n"
      "  end;\n"
      "  Writeln('not reached');\n"
      "end.");
  EXPECT_FALSE(r.ran);
  EXPECT_EQ(r.message, u"Script stopped");
  EXPECT_EQ(r.out, "12stop inner 123cleanup outer\n");
}

TEST(Stop, LeavingAFinallyEarlyDoesNotCancelTheStop) {
  struct Case {
    const char16_t* source;
    const char* out;
  };
  const Case cases[] = {
      // a repeat loop notices the stop at its backward jump
      {u"var i: Integer; begin try repeat Inc(i); if i = 2 then Write('stop'); until False; "
       "finally Write('F'); end; Write('X'); end.", "stopF"},
      // exit and break out of a finally block, an exception raised and handled in one
      {u"procedure P; begin try Write('stop'); while True do; finally Write('F'); Exit; end; end;\n"
       "begin P; Write('X'); end.", "stopF"},
      {u"var i: Integer; begin for i := 1 to 3 do try if i = 2 then begin Write('stop'); while True do; end; "
       "finally Write(i); if i = 2 then Break; end; Write('X'); end.", "1stop2"},
      {u"begin try try Write('stop'); while True do; finally "
       "try raise Exception.Create('e'); except Write('h'); end; raise Exception.Create('lost'); end; "
       "finally Write('F'); end; Write('X'); end.", "stophF"},
      // stopped again inside a finally: the rest of it is skipped, the outer one runs
      {u"begin try try Write('stop'); while True do; finally Write('stop'); while True do; Write('no'); end; "
       "finally Write('F'); end; end.", "stopstopF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.source));
    StoppingRun r = runUntilStop(c.source);
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(r.message, u"Script stopped");
    EXPECT_EQ(r.out, c.out);
  }
}

TEST(ReadInput, ReadlnTakesLinesFromTheHost) {
  script::Engine e;
  hostOptions(e);
  std::vector<std::u16string> lines{u"Ann", u"41"};
  size_t next = 0;
  std::string out;
  e.setRead([&](std::u16string_view) -> std::optional<std::u16string> {
    if (next >= lines.size()) return std::nullopt;
    return lines[next++];
  });
  e.setWrite([&](std::u16string_view s) { out += text::toUtf8(s); });
  ASSERT_TRUE(e.compile(u"var name: string; age: Integer;\nbegin Readln(name); Readln(age); Writeln(name, ' ', age + 1); end."));
  ASSERT_TRUE(e.run());
  EXPECT_EQ(out, "Ann 42\n");
}

}  // namespace
}  // namespace velmoro::test
