// The standard classes: TObject, TPersistent, TStream, TMemoryStream, TStrings and
// TStringList, declared through the same host interface any host uses.
#include "common/atomic_file.h"
#include "common/error.h"
#include "common/text_file.h"
#include "common/unicode.h"
#include "engine/class_library.h"
#include "engine/script.h"

#include <algorithm>
#include <cstring>

namespace velmoro::script {

namespace {

std::u16string num(int64_t v) { return text::fromAscii(std::to_string(v)); }

Stream& streamArg(HostCall& c, int i) {
  auto* s = c.object<Stream>(i);
  if (!s || s->freed) c.raise(u"EAccessViolation", u"Access violation: the stream is nil or freed");
  return *s;
}

std::string readFile(HostCall& c, const std::u16string& path) {
  auto bytes = text::readFileBytes(path);
  if (!bytes) c.raise(u"EFOpenError", u"Cannot open file \"" + path + u"\"");
  return std::string(bytes->begin(), bytes->end());
}

void writeFile(HostCall& c, const std::u16string& path, std::string_view bytes) {
  try {
    writeFileAtomically(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  } catch (const std::exception& e) {
    c.raise(u"EFCreateError", u"Cannot create file \"" + path + u"\": " + text::fromUtf8(e.what()));
  }
}

// ---- string lists ----

StringList& listOf(HostCall& c) { return c.self<StringList>(); }

// Fires a list's event; a script error in the handler goes on as an error of the call.
void notify(HostCall& c, StringList& l, const Callback& event) {
  if (!event || l.updates > 0) return;
  std::vector<Data> args{ObjectRef(&l)};
  RunError error;
  if (!c.engine().fire(event, args, error)) c.raise(error.className, error.text);
}

// Brackets a change: OnChanging before, OnChange after.
template <class F> void change(HostCall& c, StringList& l, F&& f) {
  notify(c, l, l.onChanging);
  f();
  notify(c, l, l.onChange);
}

size_t checkedIndex(HostCall& c, const StringList& l, int64_t i, bool allowEnd = false) {
  int64_t n = static_cast<int64_t>(l.items.size());
  if (i < 0 || i > n || (i == n && !allowEnd))
    c.raise(u"EStringListError", u"List index out of bounds (" + num(i) + u")");
  return static_cast<size_t>(i);
}

int addItem(HostCall& c, StringList& l, std::u16string s, ObjectRef o) {
  int at = static_cast<int>(l.items.size());
  if (l.sorted) {
    if (l.find(s, at)) {
      if (l.duplicates == dupIgnore) return at;
      if (l.duplicates == dupError) c.raise(u"EStringListError", u"String list does not allow duplicates");
    }
  }
  change(c, l, [&] { l.items.insert(l.items.begin() + at, StringList::Item{std::move(s), std::move(o)}); });
  return at;
}

std::u16string textOf(const StringList& l, const std::u16string& lineBreak) {
  std::u16string out;
  for (const auto& it : l.items) out += it.s + lineBreak;
  return out;
}

void setText(HostCall& c, StringList& l, std::u16string_view t) {
  change(c, l, [&] {
    l.items.clear();
    size_t i = 0;
    while (i < t.size()) {
      size_t e = i;
      while (e < t.size() && t[e] != u'\r' && t[e] != u'\n') ++e;
      l.items.push_back({std::u16string(t.substr(i, e - i)), {}});
      if (e < t.size() && t[e] == u'\r') ++e;
      if (e < t.size() && t[e] == u'\n') ++e;
      i = e;
    }
    if (l.sorted) l.sort();
  });
}

std::u16string delimitedText(const StringList& l, char16_t delim, char16_t quote, bool strict) {
  std::u16string out;
  for (size_t k = 0; k < l.items.size(); ++k) {
    const std::u16string& s = l.items[k].s;
    bool needsQuotes = s.empty() && l.items.size() == 1;
    for (char16_t ch : s)
      if (ch == quote || ch == delim || (!strict && ch <= u' ')) needsQuotes = true;
    if (k) out += delim;
    if (!needsQuotes) {
      out += s;
      continue;
    }
    out += quote;
    for (char16_t ch : s) {
      if (ch == quote) out += quote;
      out += ch;
    }
    out += quote;
  }
  return out;
}

void setDelimitedText(HostCall& c, StringList& l, std::u16string_view t, char16_t delim, char16_t quote, bool strict) {
  change(c, l, [&] {
    l.items.clear();
    size_t i = 0;
    auto blank = [&](char16_t ch) { return !strict && ch > 0 && ch <= u' '; };
    while (i < t.size() && blank(t[i])) ++i;
    bool any = i < t.size();
    while (any) {
      std::u16string item;
      if (i < t.size() && t[i] == quote) {
        ++i;
        while (i < t.size()) {
          if (t[i] == quote) {
            if (i + 1 < t.size() && t[i + 1] == quote) {
              item += quote;
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += t[i++];
        }
      } else {
        while (i < t.size() && t[i] != delim && !blank(t[i])) item += t[i++];
      }
      l.items.push_back({std::move(item), {}});
      while (i < t.size() && blank(t[i])) ++i;
      if (i < t.size() && t[i] == delim) {
        ++i;
        while (i < t.size() && blank(t[i])) ++i;
        continue;  // a delimiter at the end still starts an (empty) item
      }
      any = i < t.size();
    }
    if (l.sorted) l.sort();
  });
}

std::string utf8(std::u16string_view s) { return text::toUtf8(s); }

std::shared_ptr<HostClass> objectClass() {
  auto c = std::make_shared<HostClass>(u"TObject", nullptr, [] { return ObjectRef::make<Object>(); });
  c->constructor(u"constructor Create;");
  return c;
}

std::shared_ptr<HostClass> streamClass(std::shared_ptr<const HostClass> parent) {
  auto c = std::make_shared<HostClass>(u"TStream", std::move(parent));
  c->method(u"function Read(var Buffer: AnsiString; Count: Integer): Integer;", [](HostCall& c) {
    std::string r = c.self<Stream>().read(c.integer(1));
    c.setVarBytes(0, r);
    c.setResult(static_cast<int64_t>(r.size()));
  });
  c->method(u"function Write(const Buffer: AnsiString; Count: Integer): Integer;", [](HostCall& c) {
    std::string b = c.bytes(0);
    size_t n = static_cast<size_t>(std::clamp<int64_t>(c.integer(1), 0, static_cast<int64_t>(b.size())));
    c.self<Stream>().write(std::string_view(b).substr(0, n));
    c.setResult(static_cast<int64_t>(n));
  });
  c->method(u"procedure ReadBuffer(var Buffer: AnsiString; Count: Integer);", [](HostCall& c) {
    std::string r = c.self<Stream>().read(c.integer(1));
    if (static_cast<int64_t>(r.size()) != c.integer(1)) c.raise(u"EReadError", u"Stream read error");
    c.setVarBytes(0, r);
  });
  c->method(u"procedure WriteBuffer(const Buffer: AnsiString; Count: Integer);", [](HostCall& c) {
    std::string b = c.bytes(0);
    if (c.integer(1) < 0 || c.integer(1) > static_cast<int64_t>(b.size()))
      c.raise(u"EWriteError", u"Stream write error");
    c.self<Stream>().write(std::string_view(b).substr(0, static_cast<size_t>(c.integer(1))));
  });
  c->method(u"function Seek(Offset: Int64; Origin: Word): Int64;", [](HostCall& c) {
    Stream& s = c.self<Stream>();
    int64_t base = c.integer(1) == 1 ? s.position : c.integer(1) == 2 ? s.size() : 0;
    s.position = std::max<int64_t>(0, base + c.integer(0));
    c.setResult(s.position);
  });
  c->method(u"function CopyFrom(Source: TStream; Count: Int64): Int64;", [](HostCall& c) {
    Stream& from = streamArg(c, 0);
    int64_t n = c.integer(1);
    if (n == 0) {  // the whole source
      from.position = 0;
      n = from.size();
    }
    std::string b = from.read(n);
    if (static_cast<int64_t>(b.size()) != n) c.raise(u"EReadError", u"Stream read error");
    c.self<Stream>().write(b);
    c.setResult(n);
  });
  c->property(u"property Position: Int64;", [](HostCall& c) { c.setResult(c.self<Stream>().position); },
              [](HostCall& c) { c.self<Stream>().position = std::max<int64_t>(0, c.integer(0)); });
  c->property(u"property Size: Int64;", [](HostCall& c) { c.setResult(c.self<Stream>().size()); },
              [](HostCall& c) { c.self<Stream>().setSize(c.integer(0)); });
  return c;
}

std::shared_ptr<HostClass> memoryStreamClass(std::shared_ptr<const HostClass> parent) {
  auto c = std::make_shared<HostClass>(u"TMemoryStream", std::move(parent),
                                       [] { return ObjectRef::make<MemoryStream>(); });
  c->method(u"procedure Clear;", [](HostCall& c) {
    auto& m = c.self<MemoryStream>();
    m.data.clear();
    m.position = 0;
  });
  c->method(u"procedure LoadFromFile(const FileName: string);", [](HostCall& c) {
    auto& m = c.self<MemoryStream>();
    m.data = readFile(c, c.string(0));
    m.position = 0;
  });
  c->method(u"procedure SaveToFile(const FileName: string);",
            [](HostCall& c) { writeFile(c, c.string(0), c.self<MemoryStream>().data); });
  c->method(u"procedure LoadFromStream(Stream: TStream);", [](HostCall& c) {
    Stream& from = streamArg(c, 0);
    from.position = 0;
    auto& m = c.self<MemoryStream>();
    m.data = from.read(from.size());
    m.position = 0;
  });
  c->method(u"procedure SaveToStream(Stream: TStream);",
            [](HostCall& c) { streamArg(c, 0).write(c.self<MemoryStream>().data); });
  c->method(u"procedure SetSize(NewSize: Int64);", [](HostCall& c) { c.self<MemoryStream>().setSize(c.integer(0)); });
  return c;
}

std::shared_ptr<HostClass> stringsClass(std::shared_ptr<const HostClass> parent) {
  auto c = std::make_shared<HostClass>(u"TStrings", std::move(parent));
  c->method(u"function Add(const S: string): Integer;",
            [](HostCall& c) { c.setResult(int64_t{addItem(c, listOf(c), c.string(0), {})}); });
  c->method(u"function AddObject(const S: string; AObject: TObject): Integer;",
            [](HostCall& c) { c.setResult(int64_t{addItem(c, listOf(c), c.string(0), ObjectRef(c.object(1)))}); });
  c->method(u"procedure Append(const S: string);", [](HostCall& c) { addItem(c, listOf(c), c.string(0), {}); });
  c->method(u"procedure AddStrings(Strings: TStrings);", [](HostCall& c) {
    auto* from = c.object<StringList>(0);
    if (!from) return;
    auto copy = from->items;  // the list may be added to itself
    for (auto& it : copy) addItem(c, listOf(c), it.s, it.object);
  });
  c->method(u"procedure Assign(Source: TPersistent);", [](HostCall& c) {
    auto* from = c.object<StringList>(0);
    if (!from) c.raise(u"EConvertError", u"Cannot assign to a string list from this object");
    StringList& l = listOf(c);
    auto copy = from->items;
    change(c, l, [&] {
      l.items = std::move(copy);
      if (l.sorted) l.sort();
    });
  });
  c->method(u"procedure Clear;", [](HostCall& c) {
    StringList& l = listOf(c);
    if (!l.items.empty()) change(c, l, [&] { l.items.clear(); });
  });
  c->method(u"procedure Delete(Index: Integer);", [](HostCall& c) {
    StringList& l = listOf(c);
    size_t i = checkedIndex(c, l, c.integer(0));
    change(c, l, [&] { l.items.erase(l.items.begin() + static_cast<std::ptrdiff_t>(i)); });
  });
  c->method(u"procedure Insert(Index: Integer; const S: string);", [](HostCall& c) {
    StringList& l = listOf(c);
    if (l.sorted) c.raise(u"EStringListError", u"Operation not allowed on sorted list");
    size_t i = checkedIndex(c, l, c.integer(0), true);
    change(c, l, [&] { l.items.insert(l.items.begin() + static_cast<std::ptrdiff_t>(i), {c.string(1), {}}); });
  });
  c->method(u"procedure Exchange(Index1, Index2: Integer);", [](HostCall& c) {
    StringList& l = listOf(c);
    size_t a = checkedIndex(c, l, c.integer(0)), b = checkedIndex(c, l, c.integer(1));
    change(c, l, [&] { std::swap(l.items[a], l.items[b]); });
  });
  c->method(u"procedure Move(CurIndex, NewIndex: Integer);", [](HostCall& c) {
    StringList& l = listOf(c);
    size_t from = checkedIndex(c, l, c.integer(0)), to = checkedIndex(c, l, c.integer(1));
    change(c, l, [&] {
      StringList::Item it = std::move(l.items[from]);
      l.items.erase(l.items.begin() + static_cast<std::ptrdiff_t>(from));
      l.items.insert(l.items.begin() + static_cast<std::ptrdiff_t>(to), std::move(it));
    });
  });
  c->method(u"function IndexOf(const S: string): Integer;",
            [](HostCall& c) { c.setResult(int64_t{listOf(c).indexOf(c.string(0))}); });
  c->method(u"function IndexOfName(const Name: string): Integer;",
            [](HostCall& c) { c.setResult(int64_t{listOf(c).indexOfName(c.string(0))}); });
  c->method(u"function IndexOfObject(AObject: TObject): Integer;", [](HostCall& c) {
    const auto& items = listOf(c).items;
    int64_t r = -1;
    for (size_t k = 0; k < items.size() && r < 0; ++k)
      if (items[k].object.get() == c.object(0)) r = static_cast<int64_t>(k);
    c.setResult(r);
  });
  c->method(u"procedure BeginUpdate;", [](HostCall& c) {
    StringList& l = listOf(c);
    if (l.updates == 0) notify(c, l, l.onChanging);
    ++l.updates;
  });
  c->method(u"procedure EndUpdate;", [](HostCall& c) {
    StringList& l = listOf(c);
    if (l.updates > 0 && --l.updates == 0) notify(c, l, l.onChange);
  });
  c->method(u"procedure LoadFromFile(const FileName: string);", [](HostCall& c) {
    std::string bytes = readFile(c, c.string(0));
    setText(c, listOf(c), text::decodeText(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
  });
  c->method(u"procedure SaveToFile(const FileName: string);",
            [](HostCall& c) { writeFile(c, c.string(0), utf8(textOf(listOf(c), c.engine().options().lineBreak))); });
  c->method(u"procedure LoadFromStream(Stream: TStream);", [](HostCall& c) {
    Stream& s = streamArg(c, 0);
    std::string bytes = s.read(s.size() - s.position);
    setText(c, listOf(c), text::decodeText(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
  });
  c->method(u"procedure SaveToStream(Stream: TStream);",
            [](HostCall& c) { streamArg(c, 0).write(utf8(textOf(listOf(c), c.engine().options().lineBreak))); });
  c->property(u"property Count: Integer;", [](HostCall& c) { c.setResult(static_cast<int64_t>(listOf(c).items.size())); });
  c->property(
      u"property Strings[Index: Integer]: string; default;",
      [](HostCall& c) { c.setResult(listOf(c).items[checkedIndex(c, listOf(c), c.integer(0))].s); },
      [](HostCall& c) {
        StringList& l = listOf(c);
        size_t i = checkedIndex(c, l, c.integer(0));
        if (l.sorted) c.raise(u"EStringListError", u"Operation not allowed on sorted list");
        change(c, l, [&] { l.items[i].s = c.string(1); });
      });
  c->property(
      u"property Objects[Index: Integer]: TObject;",
      [](HostCall& c) { c.setResult(listOf(c).items[checkedIndex(c, listOf(c), c.integer(0))].object); },
      [](HostCall& c) {
        StringList& l = listOf(c);
        l.items[checkedIndex(c, l, c.integer(0))].object = ObjectRef(c.object(1));
      });
  c->property(u"property Names[Index: Integer]: string;",
              [](HostCall& c) { c.setResult(listOf(c).nameAt(checkedIndex(c, listOf(c), c.integer(0)))); });
  auto valueAt = [](const StringList& l, size_t k) {
    size_t eq = l.items[k].s.find(l.nameValueSeparator);
    return eq == std::u16string::npos ? std::u16string() : l.items[k].s.substr(eq + 1);
  };
  c->property(
      u"property ValueFromIndex[Index: Integer]: string;",
      [valueAt](HostCall& c) { c.setResult(valueAt(listOf(c), checkedIndex(c, listOf(c), c.integer(0)))); },
      [](HostCall& c) {
        StringList& l = listOf(c);
        size_t i = checkedIndex(c, l, c.integer(0));
        std::u16string name = l.nameAt(i);
        change(c, l, [&] { l.items[i].s = name + l.nameValueSeparator + c.string(1); });
      });
  c->property(
      u"property Values[const Name: string]: string;",
      [valueAt](HostCall& c) {
        int i = listOf(c).indexOfName(c.string(0));
        c.setResult(i < 0 ? std::u16string() : valueAt(listOf(c), static_cast<size_t>(i)));
      },
      [](HostCall& c) {
        // an empty value removes the pair; a new one is added
        StringList& l = listOf(c);
        std::u16string name = c.string(0), value = c.string(1);
        int i = l.indexOfName(name);
        if (value.empty()) {
          if (i >= 0) change(c, l, [&] { l.items.erase(l.items.begin() + i); });
        } else if (i < 0) {
          addItem(c, l, name + l.nameValueSeparator + value, {});
        } else {
          change(c, l, [&] { l.items[static_cast<size_t>(i)].s = name + l.nameValueSeparator + value; });
        }
      });
  c->property(
      u"property Text: string;", [](HostCall& c) { c.setResult(textOf(listOf(c), c.engine().options().lineBreak)); },
      [](HostCall& c) { setText(c, listOf(c), c.string(0)); });
  c->property(
      u"property CommaText: string;", [](HostCall& c) { c.setResult(delimitedText(listOf(c), u',', u'"', false)); },
      [](HostCall& c) { setDelimitedText(c, listOf(c), c.string(0), u',', u'"', false); });
  c->property(
      u"property DelimitedText: string;",
      [](HostCall& c) {
        StringList& l = listOf(c);
        c.setResult(delimitedText(l, l.delimiter, l.quoteChar, l.strictDelimiter));
      },
      [](HostCall& c) {
        StringList& l = listOf(c);
        setDelimitedText(c, l, c.string(0), l.delimiter, l.quoteChar, l.strictDelimiter);
      });
  auto charProperty = [&](const char16_t* text, char16_t StringList::*field) {
    c->property(
        text, [field](HostCall& c) { c.setResult(std::u16string(1, listOf(c).*field)); },
        [field](HostCall& c) {
          std::u16string s = c.string(0);
          listOf(c).*field = s.empty() ? u'\0' : s[0];
        });
  };
  charProperty(u"property Delimiter: Char;", &StringList::delimiter);
  charProperty(u"property QuoteChar: Char;", &StringList::quoteChar);
  charProperty(u"property NameValueSeparator: Char;", &StringList::nameValueSeparator);
  c->property(
      u"property StrictDelimiter: Boolean;", [](HostCall& c) { c.setResult(listOf(c).strictDelimiter); },
      [](HostCall& c) { listOf(c).strictDelimiter = c.boolean(0); });
  c->property(
      u"property Capacity: Integer;", [](HostCall& c) { c.setResult(static_cast<int64_t>(listOf(c).items.capacity())); },
      [](HostCall& c) { listOf(c).items.reserve(static_cast<size_t>(std::clamp<int64_t>(c.integer(0), 0, 1 << 24))); });
  return c;
}

std::shared_ptr<HostClass> stringListClass(std::shared_ptr<const HostClass> parent) {
  auto c = std::make_shared<HostClass>(u"TStringList", std::move(parent),
                                       [] { return ObjectRef::make<StringList>(); });
  c->method(u"function Find(const S: string; var Index: Integer): Boolean;", [](HostCall& c) {
    int i = 0;
    bool found = listOf(c).find(c.string(0), i);
    c.setVar(1, int64_t{i});
    c.setResult(found);
  });
  c->method(u"procedure Sort;", [](HostCall& c) {
    StringList& l = listOf(c);
    change(c, l, [&] { l.sort(); });
  });
  c->published(
      u"property Sorted: Boolean;", [](HostCall& c) { c.setResult(listOf(c).sorted); },
      [](HostCall& c) {
        StringList& l = listOf(c);
        bool on = c.boolean(0);
        if (on && !l.sorted) change(c, l, [&] { l.sort(); });
        l.sorted = on;
      });
  c->published(
      u"property Duplicates: TDuplicates;", [](HostCall& c) { c.setResult(int64_t{listOf(c).duplicates}); },
      [](HostCall& c) { listOf(c).duplicates = static_cast<int>(c.integer(0)); });
  c->published(
      u"property CaseSensitive: Boolean;", [](HostCall& c) { c.setResult(listOf(c).caseSensitive); },
      [](HostCall& c) {
        StringList& l = listOf(c);
        l.caseSensitive = c.boolean(0);
        if (l.sorted) l.sort();
      });
  c->published(
      u"property OnChange: TNotifyEvent;", [](HostCall& c) { c.setResult(listOf(c).onChange); },
      [](HostCall& c) { listOf(c).onChange = c.callback(0); });
  c->published(
      u"property OnChanging: TNotifyEvent;", [](HostCall& c) { c.setResult(listOf(c).onChanging); },
      [](HostCall& c) { listOf(c).onChanging = c.callback(0); });
  return c;
}

struct Library {
  std::vector<std::shared_ptr<const HostClass>> classes;  // parents first
  std::shared_ptr<const HostClass> memory, list;
  Library() {
    auto object = objectClass();
    auto persistent = std::make_shared<HostClass>(u"TPersistent", object, [] { return ObjectRef::make<Object>(); });
    auto stream = streamClass(object);
    memory = memoryStreamClass(stream);
    auto strings = stringsClass(persistent);
    list = stringListClass(strings);
    classes = {object, persistent, stream, memory, strings, list};
  }
};

const Library& library() {
  static const Library lib;
  return lib;
}

}  // namespace

ObjectRef newStringList() { return library().list->create(); }
ObjectRef newMemoryStream() { return library().memory->create(); }

void declareClassesLibrary(Engine& engine) {
  const Library& library = script::library();
  engine.declareTypes(
      u"TDuplicates = (dupIgnore, dupAccept, dupError);"
      u"TSeekOrigin = (soBeginning, soCurrent, soEnd);"
      u"EStringListError = class(Exception);"
      u"EStreamError = class(Exception);"
      u"EFOpenError = class(EStreamError);"
      u"EFCreateError = class(EStreamError);"
      u"EReadError = class(EStreamError);"
      u"EWriteError = class(EStreamError);"
      u"EAbstractError = class(Exception);");
  engine.declareConstants(u"soFromBeginning = 0; soFromCurrent = 1; soFromEnd = 2;");
  for (size_t k = 0; k < library.classes.size(); ++k) {
    engine.declareClass(library.classes[k]);
    if (library.classes[k]->name() == u"TObject")
      engine.declareTypes(u"TNotifyEvent = procedure(Sender: TObject) of object;");
  }
}

}  // namespace velmoro::script
