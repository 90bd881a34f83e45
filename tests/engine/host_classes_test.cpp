// Host classes seen from scripts: the standard string list and stream classes driven
// through their members, events fired from C++, the class tree with is/as, Free and
// nil, and the table of published properties.
#include "engine/class_library.h"
#include "engine_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace velmoro::test {
namespace {

using script::Callback;
using script::Data;
using script::Engine;
using script::HostCall;
using script::HostClass;
using script::ObjectRef;

// With the standard classes declared.
struct Host : HostedEngine {
  Host() { script::declareClassesLibrary(e); }
};

TEST(HostClasses, StringListThroughItsMembers) {
  struct Case {
    const char* body;  // L is a fresh TStringList
    const char* expected;
  };
  const Case cases[] = {
      {"L.Add('b'); L.Add('a'); L.Insert(0, 'c'); Writeln(L.Count, L[0], L.Strings[2], L.IndexOf('B'));", "3ca1\n"},
      {"L.Add('x'); L.Delete(0); Writeln(L.Count, L.IndexOf('x'));", "0-1\n"},
      {"L.Add('b'); L.Add('a'); L.Add('c'); L.Exchange(0, 2); L.Move(0, 1); Writeln(L.CommaText);", "a,c,b\n"},
      {"L.Sorted := True; L.Add('m'); L.Add('b'); L.Add('x'); L.Add('b'); Writeln(L.CommaText, L.Count);", "b,m,x3\n"},
      {"L.Sorted := True; L.Duplicates := dupError; L.Add('a');\n"
       "try L.Add('a') except on E: EStringListError do Writeln(E.Message) end;",
       "String list does not allow duplicates\n"},
      {"L.Sorted := True; L.CommaText := 'd,b,f';\n"
       "Writeln(L.Find('c', i), i, L.Find('f', i), i);", "FALSE1TRUE2\n"},
      {"L.Values['name'] := 'Ann'; L.Values['age'] := '7'; L.Values['name'] := 'Bo';\n"
       "Writeln(L.Text, L.Names[1], '=', L.ValueFromIndex[1], ' ', L.IndexOfName('AGE'));\n"
       "L.Values['name'] := ''; Writeln(L.Count);",
       "name=Bo\nage=7\nage=7 1\n1\n"},
      {"L.CommaText := 'one,\"two words\",\"q\"\"x\"'; Writeln(L.Count, ' ', L[1], ' ', L[2], ' ', L.CommaText);",
       "3 two words q\"x one,\"two words\",\"q\"\"x\"\n"},
      {"L.Delimiter := ';'; L.StrictDelimiter := True; L.DelimitedText := 'a b;c;;d';\n"
       "Writeln(L.Count, '[', L[0], '][', L[2], ']');", "4[a b][]\n"},
      {"L.Text := 'l1'#13#10'l2'#10'l3'; Writeln(L.Count, L[2]);", "3l3\n"},
      {"M := TStringList.Create; M.Add('z'); L.Add('a'); L.AddStrings(M); L.AddStrings(L);\n"
       "Writeln(L.CommaText); M.Assign(L); Writeln(M.Count);", "a,z,a,z\n4\n"},
      {"O := TStringList.Create; O.Add('inner');\n"
       "L.AddObject('k', O); Writeln(TStringList(L.Objects[0])[0], L.IndexOfObject(O), L.IndexOfObject(nil));",
       "inner0-1\n"},
      {"L.CaseSensitive := True; L.Add('A'); Writeln(L.IndexOf('a'), L.IndexOf('A'));", "-10\n"},
      {"try L[0] := 'x' except on E: EStringListError do Writeln(E.Message) end;", "List index out of bounds (0)\n"},
      {"L.Add('ü'); L[0] := L[0] + 'ß'; Writeln(L[0], Length(L[0]));", "üß2\n"},
      {"with L do begin Add('b'); Add('a'); Sorted := True; Writeln(Count, Strings[0], ClassName) end;\n"
       "with TStringList.Create, TMemoryStream.Create do try Add('x'); Writeln(Count, Size) finally Free end;",
       "2aTStringList\n10\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    Host h;
    EXPECT_EQ(h.run(std::string("var L, M, O: TStringList; i: Integer;\nbegin\nL := TStringList.Create;\n") + c.body + "\nend."),
              c.expected);
  }
}

TEST(HostClasses, ListsAndStreamsReadAndWriteFiles) {
  ScratchDir dir;
  std::string list = (dir / "list.txt").string(), bin = (dir / "data.bin").string();
  Host h;
  EXPECT_EQ(h.run("var L: TStringList; S, T: TMemoryStream; b: AnsiString;\nbegin\n"
                  "L := TStringList.Create; L.Add('één'); L.Add('two');\n"
                  "L.SaveToFile('" + list + "');\n"
                  "L.Clear; L.LoadFromFile('" + list + "'); Writeln(L.Count, ' ', L[0]);\n"
                  "S := TMemoryStream.Create; S.Write('abcdef', 6); Writeln(S.Size, ' ', S.Position);\n"
                  "S.Seek(-2, soFromEnd); S.Read(b, 10); Writeln(b);\n"
                  "S.Position := 1; S.Write('XY', 2); S.SaveToFile('" + bin + "');\n"
                  "T := TMemoryStream.Create; T.LoadFromFile('" + bin + "'); T.Read(b, 100); Writeln(b);\n"
                  "T.Clear; T.CopyFrom(S, 0); Writeln(T.Size); T.Size := 2; T.Position := 0; T.Read(b, 9); Writeln(b);\n"
                  "L.SaveToStream(T); Writeln(T.Size);\n"
                  "try T.ReadBuffer(b, 1) except on E: EReadError do Writeln(E.Message) end;\n"
                  "try L.LoadFromFile('" + (dir / "missing").string() + "') except on E: EFOpenError do Writeln('no file') end;\nend."),
            "2 één\n6 6\nef\naXYdef\n6\naX\n12\nStream read error\nno file\n");
  EXPECT_EQ(readFile(list), "één\ntwo\n");
  EXPECT_EQ(readFile(bin), "aXYdef");

  // a file that cannot be written: its folder is a file
  EXPECT_EQ(h.run("var L: TStringList;\nbegin L := TStringList.Create;\n"
                  "try L.SaveToFile('" + list + "/x.txt') except on E: EFCreateError do Writeln('not written') end;\nend."),
            "not written\n");
}

TEST(HostClasses, ClassTreeWithIsAsFreeAndNil) {
  Host h;
  EXPECT_EQ(h.run("var L: TStringList; S: TStrings; O: TObject; M: TMemoryStream;\nbegin\n"
                  "L := TStringList.Create; O := L; M := TMemoryStream.Create;\n"
                  "Writeln(O is TStringList, O is TStrings, O is TPersistent, O is TObject, O is TStream);\n"
                  "O := M; Writeln(O is TStream, O is TMemoryStream, O is TStrings, O.ClassName);\n"
                  "S := L; S.Add('via base'); Writeln((O as TStream).Size, ' ', (TObject(L) as TStrings)[0]);\n"
                  "try (O as TStrings).Add('x') except on E: EInvalidCast do Writeln('invalid cast') end;\n"
                  "O := nil; Writeln(O is TObject, Assigned(O), Assigned(L), L = S, L <> nil);\n"
                  "O.Free;\n"
                  "try O := Exception.Create('e'); Writeln(O is TObject, O is Exception) except end;\n"
                  "L.Free; L.Free;\n"
                  "try Writeln(S.Count) except on E: EAccessViolation do Writeln(E.Message) end;\n"
                  "L := nil;\n"
                  "try L.Add('x') except on E: EAccessViolation do Writeln(E.Message) end;\nend."),
            "TRUETRUETRUETRUEFALSE\nTRUETRUEFALSETMemoryStream\n0 via base\ninvalid cast\n"
            "FALSEFALSETRUETRUETRUE\nTRUETRUE\n"
            "Access violation: 'TStrings.Count' of a freed TStringList\n"
            "Access violation: 'TStrings.Add' of a nil object\n");
}

TEST(HostClasses, CompileErrorsOnMembers) {
  struct Case {
    const char* source;
    const char* message;
  };
  const Case cases[] = {
      {"var S: TStrings;\nbegin S := TStrings.Create; end.", "Cannot create an instance of the abstract class 'TStrings'"},
      {"var L: TStringList;\nbegin L.Count := 3; end.", "Cannot assign to a read-only property"},
      {"var L: TStringList;\nbegin L.Strings['x'] := 'y'; end.", "Incompatible types"},
      {"var L: TStringList;\nbegin L.Add; end.", "Wrong number of parameters for 'Add' (1 expected)"},
      {"var L: TStringList;\nbegin L.NoSuchMember; end.", "Undeclared identifier: 'nosuchmember'"},
      {"var M: TMemoryStream;\nbegin Writeln(M[0]); end.", "Class 'TMemoryStream' has no default property"},
      {"var L: TStringList;\nprocedure Two(A, B: TObject); begin end;\nbegin L.OnChange := @Two; end.", "Incompatible types"},
      {"var L: TStringList;\nbegin L.Create; end.", "A constructor is called on its class"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Host h;
    std::string out = h.run(c.source);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
}

// A host class of the test's own: a button whose OnClick the host fires, created with
// an owner.
struct Button : script::Object {
  Callback onClick;
  ObjectRef owner;
  std::u16string caption;
};

std::shared_ptr<HostClass> buttonClass() {
  static std::shared_ptr<HostClass> cls = [] {
    auto c = std::make_shared<HostClass>(u"TTestButton", nullptr, [] { return ObjectRef::make<Button>(); });
    c->constructor(u"constructor Create(AOwner: TObject);",
                   [](HostCall& c) { c.self<Button>().owner = ObjectRef(c.object(0)); });
    c->published(
        u"property Caption: string;", [](HostCall& c) { c.setResult(c.self<Button>().caption); },
        [](HostCall& c) { c.self<Button>().caption = c.string(0); });
    c->published(
        u"property OnClick: TNotifyEvent;", [](HostCall& c) { c.setResult(c.self<Button>().onClick); },
        [](HostCall& c) { c.self<Button>().onClick = c.callback(0); });
    c->method(u"procedure Click;", [](HostCall& c) {
      Button& b = c.self<Button>();
      std::vector<Data> args{ObjectRef(&b)};
      script::RunError error;
      if (!c.engine().fire(b.onClick, args, error)) c.raise(error.className, u"in OnClick: " + error.text);
    });
    return c;
  }();
  return cls;
}

TEST(HostClasses, EventsAssignedInTheScriptFireFromTheHost) {
  Host h;
  h.e.declareClass(buttonClass());
  ObjectRef shared;
  h.e.declareVariable(u"Shared: TTestButton", script::Storage::of(&shared));
  int32_t clicks = 0;
  h.e.declareVariable(u"Clicks: Integer", script::Storage::of(&clicks));
  EXPECT_EQ(h.run("procedure Clicked(Sender: TObject);\n"
                  "begin\n  Inc(Clicks);\n  Writeln('clicked ', TTestButton(Sender).Caption);\n"
                  "  if Clicks = 3 then raise EConvertError.Create('third');\nend;\n"
                  "Shared := TTestButton.Create(nil); Shared.Caption := 'OK'; Shared.OnClick := Clicked;\n"
                  "Shared.Click;"),
            "clicked OK\n");
  ASSERT_TRUE(shared);
  Button* b = shared.as<Button>();
  ASSERT_TRUE(b && b->onClick);

  // after the main body: the globals and the handler live on
  std::vector<Data> args{shared};
  script::RunError error;
  ASSERT_TRUE(h.e.fire(b->onClick, args, error)) << text::toUtf8(error.text);
  EXPECT_EQ(clicks, 2);
  // a script error in the handler comes back as a value
  EXPECT_FALSE(h.e.fire(b->onClick, args, error));
  EXPECT_EQ(error.className, u"EConvertError");
  EXPECT_EQ(error.text, u"third");
  EXPECT_EQ(error.row, 5);
  EXPECT_EQ(error.module, u"main.dpas");

  // a handler raising inside a host method reaches the script's except
  clicks = 2;
  EXPECT_EQ(h.run("procedure Clicked(Sender: TObject); begin Inc(Clicks); raise Exception.Create('boom'); end;\n"
                  "var B: TTestButton;\nbegin B := TTestButton.Create(nil); B.OnClick := @Clicked;\n"
                  "try B.Click except on E: Exception do Writeln(E.Message) end;\nend."),
            "in OnClick: boom\n");

  // compiled again: an event of the old program is refused
  EXPECT_FALSE(h.e.fire(b->onClick, args, error));
  EXPECT_EQ(error.text, u"The event's script is not loaded");
}

TEST(HostClasses, MistakesInAClassAreMessages) {
  Host h;
  auto broken = std::make_shared<HostClass>(u"TBroken", nullptr);
  broken->method(u"procedure Twice;", {}).method(u"procedure twice(A: Integer);", {});
  broken->property(u"property Items: Integer; default;", {});
  broken->method(u"constructor Create;", {});
  h.e.declareClass(std::make_shared<HostClass>(u"TOrphan", broken));  // before its parent
  h.e.declareClass(broken);
  ASSERT_FALSE(h.compile("begin end."));
  std::string m = joinedMessages(h.e.messages());
  for (const char* text : {"Class 'TOrphan' is declared before its parent 'TBroken'",
                           "(host) procedure twice(A: Integer); (1:1): Member 'twice' of 'TBroken' is declared twice",
                           "A default property must have an index", "'procedure' expected but 'constructor' found"})
    EXPECT_NE(m.find(text), std::string::npos) << text << "\n" << m;
}

TEST(HostClasses, ACompiledScriptKeepsTheClassesItWasCompiledWith) {
  auto thing = [](const char16_t* name) {
    auto c = std::make_shared<HostClass>(u"TThing", nullptr, [] { return ObjectRef::make<script::Object>(); });
    c->method(u"function Name: string;", [name](HostCall& call) { call.setResult(std::u16string(name)); });
    return c;
  };
  const char* source = "var T: TThing;\nbegin T := TThing.Create; Writeln(T.Name); end.";
  Host h;
  auto first = thing(u"first");
  std::weak_ptr<const HostClass> watch = first;
  h.e.declareClass(std::move(first));
  ASSERT_TRUE(h.compile(source));
  h.e.declareClass(thing(u"second"));  // replaces the first for the next compile
  ASSERT_FALSE(watch.expired());
  ASSERT_TRUE(h.e.run());
  EXPECT_EQ(h.out, "first\n");
  EXPECT_EQ(h.run(source), "second\n");
  EXPECT_TRUE(watch.expired());
}

TEST(HostClasses, StringListEventsFireAroundChanges) {
  Host h;
  EXPECT_EQ(h.run("var L: TStringList;\n"
                  "procedure Changing(Sender: TObject); begin Write('<', TStrings(Sender).Count); end;\n"
                  "procedure Changed(Sender: TObject); begin Write(TStrings(Sender).Count, '>'); end;\n"
                  "L := TStringList.Create; L.OnChanging := Changing; L.OnChange := Changed;\n"
                  "L.Add('a'); L.BeginUpdate; L.Add('b'); L.Add('c'); L.EndUpdate; L.OnChange := nil; L.Clear;\n"
                  "Writeln;"),
            "<01><13><3\n");
}

TEST(HostClasses, PublishedPropertiesAndAccessByName) {
  Host h;
  h.e.declareClass(buttonClass());
  auto props = h.e.properties(u"TStringList");
  std::string listed;
  for (const auto& p : props) listed += text::toUtf8(p.name) + ":" + std::to_string(static_cast<int>(p.kind)) + " ";
  // Boolean and enumerations are Enum, events Method
  EXPECT_EQ(listed, "Sorted:1 Duplicates:1 CaseSensitive:1 OnChange:6 OnChanging:6 ") << listed;
  const auto& dup = props[1];
  EXPECT_EQ(dup.typeName, u"TDuplicates");
  EXPECT_EQ(dup.names, (std::vector<std::u16string>{u"dupIgnore", u"dupAccept", u"dupError"}));
  EXPECT_TRUE(dup.readable && dup.writable);
  EXPECT_TRUE(h.e.properties(u"TNoSuchClass").empty());
  auto button = h.e.properties(u"ttestbutton");
  ASSERT_EQ(button.size(), 2u);
  EXPECT_EQ(button[0].kind, script::PropertyKind::String);

  // reading and writing by name, without a compiled script
  ObjectRef b = buttonClass()->create();
  script::RunError error;
  EXPECT_TRUE(h.e.writeProperty(*b, u"caption", Data(std::u16string(u"Cancel")), error));
  Data v;
  EXPECT_TRUE(h.e.readProperty(*b, u"Caption", v, error));
  EXPECT_EQ(std::get<std::u16string>(v), u"Cancel");
  EXPECT_FALSE(h.e.readProperty(*b, u"Missing", v, error));
  EXPECT_EQ(error.text, u"Unknown property: Missing");

  // a string list made by the host is the script's to use, and the host reads it
  ObjectRef list = script::newStringList();
  h.e.declareVariable(u"ScriptVars: TStringList", script::Storage::of(&list));
  EXPECT_EQ(h.run("ScriptVars.Values['x'] := '1'; ScriptVars.Add('y');"), "");
  auto* lines = list.as<script::StringList>();
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->items.size(), 2u);
  EXPECT_EQ(lines->items[0].s, u"x=1");
  Data sorted;
  EXPECT_TRUE(h.e.writeProperty(*list, u"Sorted", Data(true), error));
  EXPECT_TRUE(h.e.readProperty(*list, u"Sorted", sorted, error));
  EXPECT_EQ(std::get<bool>(sorted), true);
}

}  // namespace
}  // namespace velmoro::test
