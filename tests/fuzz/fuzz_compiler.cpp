// The script compiler on any bytes: it must report errors, never crash or hang. The
// first byte picks the compiler options; includes of "self.inc" get the input again,
// so include chains and the depth limit are reached too. The standard classes are
// declared, and with bit 16 (or 32) the input's first line is declared as a host
// function (or a host type section) before the rest is compiled.
#include "common/text_file.h"
#include "engine/class_library.h"
#include "engine/script.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t flags = data[0];
  std::vector<uint8_t> rest(data + 1, data + size);
  velmoro::script::Engine e;
  velmoro::script::declareClassesLibrary(e);
  if (flags & 48) {
    auto eol = std::find(rest.begin(), rest.end(), uint8_t{'\n'});
    std::u16string line = velmoro::text::decodeText(std::vector<uint8_t>(rest.begin(), eol));
    if (flags & 16) e.declareFunction(line, [](velmoro::script::HostCall&) {});
    else e.declareTypes(line);
    rest.erase(rest.begin(), eol);
  }
  e.options().allowNoMainBlock = flags & 1;
  e.options().allowNoEnd = flags & 2;
  e.options().shortCircuit = flags & 4;
  e.options().preprocessor = !(flags & 8);
  e.options().defines = {u"FUZZ"};
  e.setIncludeHandler([&](std::u16string_view name, std::u16string& module)
                          -> std::optional<std::vector<uint8_t>> {
    if (name != u"self.inc") return std::nullopt;
    module = u"self.inc";
    return rest;
  });
  e.setDirectiveHandler([](std::u16string_view name, std::u16string_view, int, int, std::u16string&) {
    return name.size() == 1 ? velmoro::script::DirectiveAnswer::Ignore : velmoro::script::DirectiveAnswer::Reject;
  });
  if (e.compile(velmoro::text::decodeText(rest), u"fuzz.dpas")) e.disassemble();
  return 0;
}
