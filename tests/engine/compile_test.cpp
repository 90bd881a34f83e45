// The compiler's side: lexer and preprocessor, compiler options, and the messages a
// faulty source gets (type word, row, column, module).
#include "engine_harness.h"

#include <gtest/gtest.h>

namespace velmoro::test {
namespace {

using script::MessageType;

struct Faulty {
  const char* source;
  MessageType type;
  int row, col;
  const char* text;  // part of the message
};

TEST(CompileMessages, FaultySourcesTable) {
  const Faulty cases[] = {
      {"begin\n  x := 1;\nend.", MessageType::Error, 2, 3, "Undeclared identifier: 'x'"},
      {"var i: Integer;\nbegin\n  i := 'text';\nend.", MessageType::Error, 3, 8, "Incompatible types"},
      {"begin\n  if True then\n    Writeln('a')\n  Writeln('b');\nend.", MessageType::Error, 4, 3, "';' expected"},
      {"procedure P;\nbegin\n  Writeln(1);\n\nbegin end.", MessageType::Error, 5, 10, "to close 'begin' at line 2"},
      {"begin\n  while True do begin\n    Break;\nend.", MessageType::Error, 4, 4, "to close 'begin' at line 1"},
      {"var s: string;\nbegin\n  s := 'open\nend.", MessageType::Error, 3, 8, "String exceeds line"},
      {"{ never closed\nbegin end.", MessageType::Error, 1, 1, "Unterminated comment"},
      {"var a: Integer;\nvar a: string;\nbegin end.", MessageType::Error, 2, 5, "Identifier redeclared: 'a'"},
      {"function F(x: Integer): Integer;\nbegin Result := x; end;\nbegin F(1, 2); end.", MessageType::Error, 3, 7, "Wrong number of parameters"},
      {"procedure P(var x: Integer);\nbegin end;\nbegin P(3); end.", MessageType::Error, 3, 9, "Variable required"},
      {"begin\n  Break;\nend.", MessageType::Error, 2, 3, "'break' outside a loop"},
      {"type T = record a: Integer; end;\nvar r: T;\nbegin r.b := 1; end.", MessageType::Error, 3, 9, "Undeclared identifier: 'b'"},
      {"begin\n  raise;\nend.", MessageType::Error, 2, 3, "only in an exception handler"},
      {"begin\n  case 1 of\n    1: ;\nend.", MessageType::Error, 4, 4, "to close 'begin' at line 1"},
      {"begin\n  case 1 of\n    1: Writeln(1)\n  x\nend.", MessageType::Error, 4, 3, "to close 'case' at line 2"},
      {"begin\n  repeat\n    Writeln(1);\n", MessageType::Error, 4, 1, "to close 'repeat' at line 2"},
      {"begin\n  try\n    Writeln(1);\n  end;\nend.", MessageType::Error, 4, 3, "to close 'try' at line 2"},
      {"function F: Integer; forward;\nbegin end.", MessageType::Error, 1, 1, "Unsatisfied forward"},
      {"procedure P;\nvar unused: Integer;\nbegin end;\nbegin P; end.", MessageType::Hint, 2, 5, "never used"},
      {"begin\nend.\ntrailing", MessageType::Warning, 3, 1, "Text after final"},
      // default parameter values
      {"procedure P(a: Integer = 1; b: Integer);\nbegin end;\nbegin end.", MessageType::Error, 1, 29, "Default parameter required for 'b'"},
      {"procedure P(var a: Integer = 1);\nbegin end;\nbegin end.", MessageType::Error, 1, 28, "only allowed for value and const parameters"},
      {"procedure P(a, b: Integer = 1);\nbegin end;\nbegin end.", MessageType::Error, 1, 27, "can only be assigned to one parameter"},
      {"var g: Integer;\nprocedure P(a: Integer = g);\nbegin end;\nbegin end.", MessageType::Error, 2, 26, "Constant expression expected"},
      {"procedure P(a: Integer; b: string = 'x');\nbegin end;\nbegin P; end.", MessageType::Error, 3, 7, "Wrong number of parameters"},
      // overloads
      {"procedure P(a: Integer; b: Double = 0); overload;\nbegin end;\nprocedure P(a: Integer); overload;\nbegin end;\nbegin P(1); end.", MessageType::Error, 5, 7, "Ambiguous overloaded call to 'P'"},
      {"procedure P(a: Integer); overload;\nbegin end;\nprocedure P(s: string); overload;\nbegin end;\nbegin P(True); end.", MessageType::Error, 5, 7, "no overloaded version of 'P'"},
      {"procedure P(a: Integer); overload;\nbegin end;\nprocedure P(var a: Integer); overload;\nbegin end;\nbegin P(1, 2); end.", MessageType::Error, 5, 7, "no overloaded version of 'P'"},
      {"procedure P(a: Integer); overload;\nbegin end;\nprocedure P(s: string);\nbegin end;\nbegin end.", MessageType::Error, 3, 1, "must be marked with the 'overload' directive"},
      {"procedure P(a: Integer); overload;\nbegin end;\nprocedure P(b: Integer); overload;\nbegin end;\nbegin end.", MessageType::Error, 3, 1, "has the same parameters"},
      {"function F(a: Integer): Integer; overload;\nbegin end;\nfunction F(a: Integer): string; overload;\nbegin end;\nbegin end.", MessageType::Error, 3, 1, "has the same parameters"},
      {"function F(a: Integer): Integer; forward;\nfunction F(a: Integer): string;\nbegin end;\nbegin end.", MessageType::Error, 2, 1, "differs from previous declaration"},
      // typed constants
      {"const A: array[1..3] of Integer = (1, 2);\nbegin end.", MessageType::Error, 1, 35, "Wrong number of elements: 3 expected"},
      {"type R = record x: Integer; end;\nconst C: R = (y: 1);\nbegin end.", MessageType::Error, 2, 15, "Unknown record field identifier 'y'"},
      {"var g: Integer;\nconst A: array[1..2] of Integer = (1, g);\nbegin end.", MessageType::Error, 2, 39, "Constant expression expected"},
      {"const A: array[1..2] of string = (1, 'x');\nbegin end.", MessageType::Error, 1, 35, "Incompatible types"},
  };
  for (const Faulty& c : cases) {
    SCOPED_TRACE(c.source);
    script::Engine e;
    e.options().allowNoEnd = false;
    bool ok = e.compile(text::fromUtf8(c.source));
    ASSERT_FALSE(e.messages().empty());
    const script::Message& m = e.messages().front();
    EXPECT_EQ(m.type, c.type) << text::toUtf8(m.text);
    EXPECT_EQ(m.row, c.row) << text::toUtf8(m.text);
    EXPECT_EQ(m.col, c.col) << text::toUtf8(m.text);
    EXPECT_NE(text::toUtf8(m.text).find(c.text), std::string::npos) << text::toUtf8(m.text);
    EXPECT_EQ(ok, c.type != MessageType::Error);
  }
}

TEST(CompileMessages, SeveralErrorsInOnePass) {
  script::Engine e;
  EXPECT_FALSE(e.compile(u"begin\n  a := 1;\n  b := 2;\n  Writeln(c);\nend."));
  ASSERT_EQ(e.messages().size(), 3u);
  EXPECT_EQ(e.messages()[0].row, 2);
  EXPECT_EQ(e.messages()[1].row, 3);
  EXPECT_EQ(e.messages()[2].row, 4);
}

TEST(CompileMessages, TypeWords) {
  EXPECT_EQ(std::u16string(script::typeWord(MessageType::Error)), u"Error");
  EXPECT_EQ(std::u16string(script::typeWord(MessageType::Warning)), u"Warning");
  EXPECT_EQ(std::u16string(script::typeWord(MessageType::Hint)), u"Hint");
}

TEST(CompilerOptions, MainBlockAndFinalEnd) {
  struct Case {
    const char* source;
    bool noMain, noEnd, ok;
  } cases[] = {
      {"procedure P; begin end;", true, false, true},
      {"procedure P; begin end;", false, false, false},
      {"Writeln('x');\nWriteln('y');", true, false, true},
      {"begin\n  Writeln('x');\n", false, true, true},
      {"begin\n  Writeln('x');\n", false, false, false},
      {"begin\n  Writeln('x');\nend", false, true, true},
      {"program Demo;\nuses SysUtils, Classes;\nbegin end.", false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    script::Engine e;
    e.options().allowNoMainBlock = c.noMain;
    e.options().allowNoEnd = c.noEnd;
    EXPECT_EQ(e.compile(text::fromUtf8(c.source)), c.ok);
  }
}

TEST(CompilerOptions, ShortCircuitOrCompleteEvaluation) {
  const char* src =
      "var calls: Integer;\n"
      "function Hit: Boolean; begin calls := calls + 1; Result := True; end;\n"
      "begin if False and Hit then; if True or Hit then; Writeln(calls); end.";
  for (bool shortCircuit : {true, false}) {
    script::Engine e;
    e.options().shortCircuit = shortCircuit;
    e.options().lineBreak = u"";
    std::string out;
    e.setWrite([&](std::u16string_view s) { out += text::toUtf8(s); });
    ASSERT_TRUE(e.compile(text::fromUtf8(src)));
    ASSERT_TRUE(e.run());
    EXPECT_EQ(out, shortCircuit ? "0" : "2");
  }
}

TEST(Lexer, CaseCommentsAndLiterals) {
  ScriptRun r = runScript(
      "VAR s: STRING; (* old comment *) { brace }\n"
      "BeGiN // line comment\n"
      "  s := 'it''s'#65#$42'!';\n"
      "  WRITELN(s, ' ', $1F, ' ', 1.5e1:0:1, ' ', #9 = Chr(9));\n"
      "EnD.");
  ASSERT_TRUE(r.compiled) << firstError(r);
  EXPECT_EQ(r.out, "it'sAB! 31 15.0 TRUE\n");
}

TEST(Preprocessor, DefinesAndConditionals) {
  const char* src =
      "{$DEFINE LOCAL}\n"
      "{$IFDEF HOST}Writeln('host');{$ELSE}Writeln('no host');{$ENDIF}\n"
      "{$IFDEF local}Writeln('local');{$ENDIF}\n"
      "{$UNDEF LOCAL}{$IFNDEF LOCAL}Writeln('undefined');{$ENDIF}\n"
      "{$IFDEF NONE}{$IFDEF HOST}Writeln('nested');{$ENDIF}{$ELSE}Writeln('else');{$ENDIF}\n";
  for (bool host : {false, true}) {
    script::Engine e;
    hostOptions(e);
    if (host) e.options().defines = {u"Host"};
    std::string out;
    e.setWrite([&](std::u16string_view s) { out += text::toUtf8(s); });
    ASSERT_TRUE(e.compile(text::fromUtf8(src)));
    ASSERT_TRUE(e.run());
    EXPECT_EQ(out, std::string(host ? "host\n" : "no host\n") + "local\nundefined\nelse\n");
  }
}

TEST(Preprocessor, UnclosedConditionalNamesItsLine) {
  ScriptRun r = runScript("begin\n{$IFDEF X}\nWriteln(1);\nend.");
  ASSERT_FALSE(r.compiled);
  EXPECT_NE(firstError(r).find("{$IFDEF} at line 2"), std::string::npos) << firstError(r);
}

TEST(Preprocessor, IncludeChainsAndEncodings) {
  std::string utf16le = "\xFF\xFE";
  for (char16_t c : std::u16string(u"procedure Wide; begin Writeln('wide ü'); end;\n")) {
    utf16le += static_cast<char>(c & 0xFF);
    utf16le += static_cast<char>(c >> 8);
  }
  std::map<std::string, std::string> files = {
      {"a.inc", "{$I b.inc}\nprocedure A; begin Writeln('a'); B; end;\n"},
      {"b.inc", "\xEF\xBB\xBFprocedure B; begin Writeln('b ö'); end;\n"},
      {"w.inc", utf16le},
  };
  ScriptRun r = runScript("{$I a.inc}\n{$INCLUDE 'w.inc'}\nbegin A; Wide; end.", files);
  ASSERT_TRUE(r.compiled) << firstError(r);
  EXPECT_EQ(r.out, "a\nb ö\nwide ü\n");
}

TEST(Preprocessor, ErrorsInIncludesNameTheModule) {
  std::map<std::string, std::string> files = {{"bad.inc", "procedure P;\nbegin\n  y := 1;\nend;\n"}};
  ScriptRun r = runScript("{$I bad.inc}\nbegin P; end.", files);
  ASSERT_FALSE(r.compiled);
  ASSERT_FALSE(r.messages.empty());
  EXPECT_EQ(text::toUtf8(r.messages[0].module), "bad.inc");
  EXPECT_EQ(r.messages[0].row, 3);
  EXPECT_EQ(r.messages[0].col, 3);

  ScriptRun missing = runScript("{$I nowhere.inc}\nbegin end.");
  ASSERT_FALSE(missing.compiled);
  EXPECT_NE(firstError(missing).find("nowhere.inc"), std::string::npos);
  EXPECT_EQ(missing.messages[0].module, u"");
}

TEST(Preprocessor, SelfIncludeStopsAtTheDepthLimit) {
  std::map<std::string, std::string> files = {{"loop.inc", "{$I loop.inc}\n"}};
  ScriptRun r = runScript("{$I loop.inc}\nbegin end.", files);
  ASSERT_FALSE(r.compiled);
  EXPECT_NE(firstError(r).find("include depth"), std::string::npos) << firstError(r);
}

TEST(Preprocessor, OtherDirectivesGoToTheHost) {
  script::Engine e;
  std::vector<std::string> seen;
  e.setDirectiveHandler([&](std::u16string_view name, std::u16string_view arg, int row, int col,
                            std::u16string& message) {
    seen.push_back(text::toUtf8(name) + "|" + text::toUtf8(arg) + "|" + std::to_string(row) + ":" +
                   std::to_string(col));
    if (name == u"R" && arg == u"missing.res") {
      message = u"(" + text::fromAscii(std::to_string(row)) + u":" + text::fromAscii(std::to_string(col)) +
                u"): Resource file not found!";
      return script::DirectiveAnswer::Reject;
    }
    if (name == u"APPTYPE") return script::DirectiveAnswer::Accept;
    return script::DirectiveAnswer::Ignore;
  });
  EXPECT_TRUE(e.compile(u"{$APPTYPE CONSOLE}\n{$R icons.res}\nbegin end."));
  EXPECT_FALSE(e.compile(u"begin\n  {$R missing.res}\nend."));
  ASSERT_EQ(e.messages().size(), 1u);
  EXPECT_EQ(e.messages()[0].text, u"(2:3): Resource file not found!");
  EXPECT_EQ(seen.front(), "APPTYPE|CONSOLE|1:1");

  script::Engine plain;  // no handler: unknown
  EXPECT_FALSE(plain.compile(u"{$FOO}begin end."));
  EXPECT_NE(text::toUtf8(plain.messages()[0].text).find("Unknown directive"), std::string::npos);
}

TEST(Preprocessor, SwitchedOffDirectivesAreComments) {
  script::Engine e;
  e.options().preprocessor = false;
  EXPECT_TRUE(e.compile(u"{$I nothing.inc}{$IFDEF X}begin end."));
}

}  // namespace
}  // namespace velmoro::test
