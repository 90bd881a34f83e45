// vpas: the development runner of the script engine.
//   vpas run FILE    compile and run; the script's output to stdout, errors to stderr
//   vpas check FILE  compile only and print the messages
//   vpas dis FILE    print the bytecode
// Include files are looked up beside FILE, and so are the libraries of external
// declarations (after the system's search, before the folder of vpas itself).
// Exit code 0 on success, 1 on a compile or run error, 2 on a usage error or an
// unreadable file.
#include "common/text_file.h"
#include "common/unicode.h"
#include "engine/class_library.h"
#include "engine/script.h"

#include <filesystem>
#include <iostream>
#include <string>

namespace {

using namespace velmoro;

std::string messageLine(const script::Message& m) {
  std::string word = text::toUtf8(script::typeWord(m.type));
  std::string pos = "(" + std::to_string(m.row) + ":" + std::to_string(m.col) + ")";
  if (m.module.empty()) return "[" + word + "] " + pos + ": " + text::toUtf8(m.text);
  std::string file = std::filesystem::path(text::toUtf8(m.module)).filename().string();
  return "[" + word + "] " + file + " " + pos + ": " + text::toUtf8(m.text);
}

int usage() {
  std::cerr << "usage: vpas run|check|dis FILE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return usage();
  std::string mode = argv[1];
  if (mode != "run" && mode != "check" && mode != "dis") return usage();
  std::filesystem::path file = argv[2];
  auto bytes = text::readFileBytes(text::fromUtf8(file.string()));
  if (!bytes) {
    std::cerr << "vpas: cannot read " << file.string() << "\n";
    return 2;
  }
  std::u16string source = text::decodeText(*bytes);
  std::filesystem::path dir = file.parent_path();

  script::Engine engine;
  script::declareClassesLibrary(engine);
  script::Options& o = engine.options();
  o.allowNoMainBlock = true;
  o.allowNoEnd = true;
  o.shortCircuit = true;
  o.preprocessor = source.find(u"{$") != std::u16string::npos;
  o.lineBreak = u"\n";
  o.mainFile = text::fromUtf8(std::filesystem::absolute(file).string());
  engine.setIncludeHandler([&](std::u16string_view name, std::u16string& module)
                               -> std::optional<std::vector<uint8_t>> {
    std::string n = text::toUtf8(name);
    for (auto& c : n)
      if (c == '\\') c = '/';
    std::filesystem::path p = std::filesystem::path(n).is_absolute() ? std::filesystem::path(n) : dir / n;
    auto data = text::readFileBytes(text::fromUtf8(p.string()));
    if (data) module = text::fromUtf8(p.string());
    return data;
  });
  engine.setDirectiveHandler([](std::u16string_view name, std::u16string_view arg, int, int,
                                std::u16string&) {
    std::u16string key = text::toLower(name);
    if (key == u"apptype" || key == u"r") return script::DirectiveAnswer::Ignore;
    if (name.size() == 1 && (arg == u"+" || arg == u"-")) return script::DirectiveAnswer::Ignore;
    return script::DirectiveAnswer::Reject;
  });
  engine.setWrite([](std::u16string_view s) { std::cout << text::toUtf8(s); });
  engine.setRead([](std::u16string_view) -> std::optional<std::u16string> {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return text::fromUtf8(line);
  });

  bool ok = engine.compile(source, text::fromUtf8(file.string()));
  std::ostream& report = mode == "check" ? std::cout : std::cerr;
  for (const auto& m : engine.messages()) report << messageLine(m) << "\n";
  if (!ok) return 1;
  if (mode == "check") return 0;
  if (mode == "dis") {
    std::cout << text::toUtf8(engine.disassemble());
    return 0;
  }
  bool ran = engine.run();
  std::cout.flush();
  if (!ran) {
    const auto& e = *engine.runError();
    std::string pos;
    if (e.row > 0)
      pos = "(" + std::to_string(e.row) + ":" + std::to_string(e.col) + ") " +
            std::filesystem::path(text::toUtf8(e.module)).filename().string();
    std::cerr << "[" << text::toUtf8(e.className) << ": " << text::toUtf8(e.message) << "] " << pos << "\n";
    return 1;
  }
  return 0;
}
