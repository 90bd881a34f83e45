// What a host declares into the engine: functions by their declaration text, types,
// constants and variables living in the host's storage; errors crossing both ways.
#include "engine_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace velmoro::test {
namespace {

using script::Data;
using script::Engine;
using script::HostCall;

using Host = HostedEngine;
std::string joined(const std::vector<script::Message>& m) { return joinedMessages(m); }

// What the host's compile-time import declares before its library: handle and colour
// types, registry roots, resource types, the dialog enumerations, result constants.
void declareImport(Engine& e) {
  e.declareTypes(
      u"TArrayOfArrayOfString = array of array of string; DWORD = LongWord; BOOL = LongBool;"
      u"HDC = LongWord; HKL = LongWord; HFONT = LongWord; HICON = LongWord; HCURSOR = LongWord;"
      u"HKEY = LongWord; COLORREF = LongWord; TColorRef = LongWord;"
      u"FILETIME = record dwLowDateTime: DWORD; dwHighDateTime: DWORD; end; TFileTime = FILETIME;"
      u"TMsgDlgType = (mtWarning, mtError, mtInformation, mtConfirmation, mtCustom);"
      u"TMsgDlgBtn = (mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll,"
      u"  mbYesToAll, mbHelp, mbClose);"
      u"TMsgDlgButtons = set of TMsgDlgBtn;");
  e.declareConstants(
      u"maxint = 2147483647;"
      u"HKEY_CLASSES_ROOT = $80000000; HKEY_CURRENT_USER = $80000001; HKEY_LOCAL_MACHINE = $80000002;"
      u"HKEY_USERS = $80000003; HKEY_PERFORMANCE_DATA = $80000004; HKEY_CURRENT_CONFIG = $80000005;"
      u"HKEY_DYN_DATA = $80000006;"
      u"RT_CURSOR = 1; RT_BITMAP = 2; RT_ICON = 3; RT_MENU = 4; RT_DIALOG = 5; RT_STRING = 6;"
      u"RT_FONTDIR = 7; RT_FONT = 8; RT_ACCELERATOR = 9; RT_RCDATA = 10; RT_MESSAGETABLE = 11;"
      u"RT_GROUP_CURSOR = 12; RT_GROUP_ICON = 14; RT_VERSION = 16; RT_DLGINCLUDE = 17;"
      u"RT_PLUGPLAY = 19; RT_VXD = 20; RT_ANICURSOR = 21; RT_ANIICON = 22; RT_HTML = 23;"
      u"RT_MANIFEST = 24;"
      u"SCRIPT_OK = 0; SCRIPT_ERROR = 1; SCRIPT_WARNING = 2; SCRIPT_HINT = 3;"
      u"mbYesNo: LongInt = 1; mbYesNoCancel: LongInt = 3; mbYesAllNoAllCancel: LongInt = 11;"
      u"mbOKCancel: LongInt = 3; mbAbortRetryIgnore: LongInt = 7; mbAbortIgnore: LongInt = 6;");
}

// The window-library names the library's declarations use, as stand-ins.
void declareWindowTypes(Engine& e) {
  e.declareTypes(u"TColor = Integer; HWND = LongWord; THandle = LongWord;"
                 u"TPoint = record X, Y: Integer; end;"
                 u"TGUID = record D1: LongWord; D2, D3: Word; D4: array[0..7] of Byte; end;");
  auto object = std::make_shared<script::HostClass>(u"TObject", nullptr);
  auto persistent = std::make_shared<script::HostClass>(u"TPersistent", object);
  auto component = std::make_shared<script::HostClass>(u"TComponent", persistent);
  for (auto c : {object, persistent, component}) e.declareClass(c);
  e.declareClass(std::make_shared<script::HostClass>(u"TForm", component));
  e.declareClass(std::make_shared<script::HostClass>(u"TFont", persistent));
  auto strings = std::make_shared<script::HostClass>(u"TStrings", persistent);
  auto stream = std::make_shared<script::HostClass>(u"TStream", object);
  for (auto c : {strings, stream}) e.declareClass(c);
  e.declareClass(std::make_shared<script::HostClass>(u"TStringList", strings));
  e.declareClass(std::make_shared<script::HostClass>(u"TMemoryStream", stream));
  e.declareClass(std::make_shared<script::HostClass>(u"TResourceStream", stream));
}

TEST(HostDeclarations, EveryLibraryDeclarationParsesAndBinds) {
  std::ifstream in(sourceDir() / "tests/engine/data/host_library_declarations.txt");
  ASSERT_TRUE(in) << "declaration list missing";
  std::vector<std::string> texts;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) texts.push_back(line);
  ASSERT_GT(texts.size(), 150u);

  Host h;
  declareImport(h.e);
  declareWindowTypes(h.e);
  std::vector<std::string> called;
  for (const std::string& t : texts)
    h.e.declareFunction(text::fromUtf8(t), [&called, t](HostCall&) { called.push_back(t); });
  ASSERT_TRUE(h.compile("begin end.")) << joined(h.e.messages());
  EXPECT_TRUE(h.e.messages().empty()) << joined(h.e.messages());

  // bound, not just parsed: a few of them, called with arguments of their types
  EXPECT_EQ(h.run("var s: string; c: Cardinal;\nbegin\n"
                  "CallEx('x', 'a b', s);\n"
                  "Sleep(1);\n"
                  "Writeln(Format('%d', [1]));\n"
                  "GetRegistryValueStr(HKEY_CURRENT_USER, 'k', 'a', 'd');\n"
                  "ShellExecAndWaitWithExitCode('f', c, '', 'open', 1, '');\n"
                  "MessageDlg('m', mtError, [mbOK, mbCancel], 0);\nend."),
            "");  // Writeln is the host's too
  ASSERT_EQ(called.size(), 7u);
  EXPECT_EQ(called[1], "procedure Sleep( dwMilliseconds : DWORD)");
  EXPECT_EQ(called[2].substr(0, 15), "function Format");
  EXPECT_EQ(called[3], "procedure Writeln(s: string);");
}

// The texts as hosts write them: each declaration and a call that shows what arrived.
TEST(HostDeclarations, DeclarationTextsAsHostsWriteThem) {
  struct Case {
    const char16_t* declaration;
    const char* call;
    const char* expected;
  };
  const Case cases[] = {
      {u"FUNCTION Echo(S: STRING): STRING;", "Writeln(echo('ab'))", "ab"},
      {u"function Join(const Key,Attribute,Value:string):string;", "Writeln(Join('k','a','v'))", "k|a|v"},
      {u"function NoSemicolon(A : Integer ; B : Integer) : string", "Writeln(NoSemicolon(2, 3))", "2|3"},
      {u"function Format(const Format: string; const Args: array of const): string;",
       "Writeln(Format('f', [1, 'xy', 2.5, True]))", "f|1|xy|2.5|True"},
      {u"function Pick(Default: Integer; Read, Write: string; Text, Name: string; Index: Integer): string;",
       "Writeln(Pick(1, 'r', 'w', 't', 'n', 2))", "1|r|w|t|n|2"},
      {u"function ParamStr(Index:Integer):string;", "Writeln(ParamStr(3))", "3"},
      {u"function Defaults(A: Integer; B: string = 'x'): string;", "Writeln(Defaults(1))", "1|x"},
      {u"procedure Writeln(s: string);", "Writeln('hidden')", "hidden"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.declaration));
    Host h;
    std::string seen;
    bool replacesWriteln = std::u16string_view(c.declaration).find(u"Writeln") != std::u16string_view::npos;
    h.e.declareFunction(c.declaration, [&](HostCall& call) {
      std::u16string r;
      for (int i = 0; i < call.count(); ++i) {
        if (i) r += u"|";
        std::vector<Data> items = call.array(i);
        if (!items.empty()) {  // array of const: its values
          for (size_t k = 0; k < items.size(); ++k) {
            std::u16string v;
            if (auto s = std::get_if<std::u16string>(&items[k])) v = *s;
            else if (auto n = std::get_if<int64_t>(&items[k])) v = text::fromAscii(std::to_string(*n));
            else if (auto d = std::get_if<double>(&items[k])) v = *d == 2.5 ? u"2.5" : u"?";
            else if (auto b = std::get_if<bool>(&items[k])) v = *b ? u"True" : u"False";
            r += (k ? u"|" : u"") + v;
          }
        } else {
          r += call.string(i);
        }
      }
      if (replacesWriteln) seen = text::toUtf8(r);
      call.setResult(r);
    });
    std::string out = h.run(std::string(c.call) + ";");
    EXPECT_EQ(replacesWriteln ? seen : out, std::string(c.expected) + (replacesWriteln ? "" : "\n"));
  }
}

TEST(HostDeclarations, ALaterDeclarationReplacesAnEarlierOne) {
  Host h;
  h.e.declareFunction(u"function Answer: Integer;", [](HostCall& c) { c.setResult(int64_t{1}); });
  h.e.declareFunction(u"function answer: Integer;", [](HostCall& c) { c.setResult(int64_t{42}); });
  EXPECT_EQ(h.run("Writeln(Answer);"), "42\n");
}

TEST(HostDeclarations, MistakesAreMessagesNamingTheDeclaration) {
  Host h;
  h.e.declareFunction(u"function Broken(A: TNoSuchType): Integer;", [](HostCall&) {});
  h.e.declareFunction(u"function Extra: Integer; junk", [](HostCall&) {});
  h.e.declareTypes(u"TGood = Integer;");
  ASSERT_FALSE(h.compile("begin end."));
  std::string m = joined(h.e.messages());
  EXPECT_NE(m.find("Error (host) function Broken(A: TNoSuchType): Integer; (1:20): Undeclared identifier: 'TNoSuchType'"),
            std::string::npos) << m;
  EXPECT_NE(m.find("(host) function Extra: Integer; junk (1:26): Unexpected 'junk' after the declaration"), std::string::npos) << m;
}

TEST(HostDeclarations, VarParametersAndResultsComeBack) {
  Host h;
  h.e.declareFunction(u"function Swap(var A: Integer; var S: string; var D: Double): Boolean;", [](HostCall& c) {
    c.setVar(0, c.integer(0) * 10);
    c.setVar(1, c.string(1) + u"!");
    c.setVar(2, c.real(2) / 2);
    c.setResult(true);
  });
  EXPECT_EQ(h.run("var a: Integer; s: string; d: Double;\nbegin a := 4; s := 'hi'; d := 3;\n"
                  "if Swap(a, s, d) then Writeln(a, ' ', s, ' ', d:0:1); end."),
            "40 hi! 1.5\n");
}

TEST(HostDeclarations, HostErrorsAreScriptExceptions) {
  Host h;
  h.e.declareTypes(u"EHostProblem = class(Exception);");
  h.e.declareFunction(u"procedure Fail(const Why: string);",
                      [](HostCall& c) { c.raise(u"EHostProblem", c.string(0)); });
  h.e.declareFunction(u"procedure Throws;", [](HostCall&) { throw std::runtime_error("plain C++"); });
  EXPECT_EQ(h.run("try Fail('disk full') except on E: EHostProblem do Writeln('caught ', E.Message); end;\n"
                  "try Throws except on E: Exception do Writeln(E.ClassName, ' ', E.Message); end;"),
            "caught disk full\nException plain C++\n");
  // not caught: a run error with its position
  ASSERT_TRUE(h.compile("Writeln('a');\nFail('late');"));
  EXPECT_FALSE(h.e.run());
  const auto& err = *h.e.runError();
  EXPECT_EQ(err.className, u"EHostProblem");
  EXPECT_EQ(err.text, u"late");
  EXPECT_EQ(err.row, 2);
}

TEST(HostDeclarations, VariablesLiveInTheHostsStorage) {
  Host h;
  int32_t exitCode = 3;
  std::u16string stdOut = u"so far";
  bool called = true;
  double ratio = 0.5;
  Data hostApp = int64_t{7};
  h.e.declareVariable(u"ScriptResult: Integer", script::Storage::of(&exitCode));
  h.e.declareVariable(u"ExitCode: Integer", script::Storage::of(&exitCode));
  h.e.declareVariable(u"StdOut: string", script::Storage::of(&stdOut));
  h.e.declareVariable(u"IsCalled: Boolean", script::Storage::of(&called));
  h.e.declareVariable(u"Ratio: Double", script::Storage::of(&ratio));
  h.e.declareVariable(u"HostApp: Variant", script::Storage::of(&hostApp));
  EXPECT_EQ(h.run("Writeln(ExitCode, ' ', StdOut, ' ', IsCalled, ' ', Ratio:0:2, ' ', HostApp);\n"
                  "ScriptResult := 5; Inc(ExitCode); StdOut := StdOut + '!'; IsCalled := False;\n"
                  "Ratio := Ratio * 4; HostApp := 'app';\nWriteln(ScriptResult);"),
            "3 so far TRUE 0.50 7\n6\n");
  EXPECT_EQ(exitCode, 6);
  EXPECT_EQ(stdOut, u"so far!");
  EXPECT_FALSE(called);
  EXPECT_EQ(ratio, 2.0);
  EXPECT_EQ(std::get<std::u16string>(hostApp), u"app");

  // a storage that cannot hold the declared type
  Host bad;
  bad.e.declareVariable(u"Name: string", script::Storage::of(&exitCode));
  ASSERT_FALSE(bad.compile("begin end."));
  EXPECT_NE(joined(bad.e.messages()).find("cannot hold a string"), std::string::npos);
  // and one that cannot be passed by address
  EXPECT_NE(h.run("procedure P(var X: Integer); begin end;\nbegin P(ExitCode); end.").find("Variable required"), std::string::npos);
}

TEST(HostDeclarations, TypesAndConstantsOfTheHost) {
  Host h;
  declareImport(h.e);
  EXPECT_EQ(h.run("var t: TFileTime; b: TMsgDlgButtons; k: HKEY;\nbegin\n"
                  "t.dwHighDateTime := 2; b := [mbYes, mbNo]; k := HKEY_LOCAL_MACHINE;\n"
                  "Writeln(t.dwHighDateTime, ' ', mbNo in b, ' ', mbOK in b, ' ', k, ' ', maxint, ' ', Ord(mtConfirmation),"
                  " ' ', SCRIPT_HINT, ' ', mbYesAllNoAllCancel); end."),
            "2 TRUE FALSE 2147483650 2147483647 3 3 11\n");
}

}  // namespace
}  // namespace velmoro::test
