// velmoro draw / velmoro swiss: one request through a generator library.
#include "cli/commands.h"
#include "cli/library.h"
#include "cli/results.h"
#include "cli/written_files.h"
#include "common/unicode.h"

#include <cstdio>
#include <cstring>

namespace velmoro::cli {

namespace {

using GeneratorEntry = int32_t (*)(const char16_t*, const char16_t*, int32_t);

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

const char* kDrawUsage =
    "usage: velmoro draw CONFIG TARGET [--keep-emf]\n"
    "Draws the competition that the configuration file CONFIG describes into TARGET\n"
    "(a .pdf or .emf file; without an extension the configuration's TargetFormat decides).\n"
    "  --keep-emf   with PDF output, also keep the drawn pages as EMF files\n";

const char* kSwissUsage =
    "usage: velmoro swiss CONFIG TARGET\n"
    "Scores the Swiss event that CONFIG describes, pairs the next round when the current\n"
    "one is complete and draws its sheets into TARGET.\n";

int generatorCommand(const std::vector<std::string>& args, bool swiss) {
  const char* usage = swiss ? kSwissUsage : kDrawUsage;
  std::vector<std::string> positional;
  bool keepEmf = false;
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(usage, stdout);
      return 0;
    }
    if (!swiss && a == "--keep-emf")
      keepEmf = true;
    else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "velmoro: unknown option %s\n%s", a.c_str(), usage);
      return kUsageError;
    } else
      positional.push_back(a);
  }
  if (positional.size() != 2) {
    std::fputs(usage, stderr);
    return kUsageError;
  }
  return runGenerator(swiss ? "Swiss" : "VLGN", positional[0], positional[1], keepEmf);
}

}  // namespace

int runGenerator(const std::string& library, const std::string& config, const std::string& target,
                 bool keepEmf) {
  Library lib(library);
  auto entry = reinterpret_cast<GeneratorEntry>(lib.symbol("VLGNW"));
  if (!entry) {
    std::fprintf(stderr, "velmoro: cannot load lib%s.so: %s\n", library.c_str(),
                 lib.ok() ? "it has no VLGNW" : lib.error().c_str());
    return kUnavailable;
  }
  WrittenFiles written({folderOf(config), folderOf(target)});
  std::u16string c = text::fromUtf8(config), t = text::fromUtf8(target);
  int32_t code = entry(c.c_str(), t.c_str(), keepEmf ? 1 : 0);
  Generator g = library == "Swiss" ? Generator::Swiss : Generator::Draw;
  if (code != 0) {
    std::fprintf(stderr, "velmoro: %s\n", explainGeneratorResult(g, code, config, target).c_str());
    return code;
  }
  std::printf("%s:\n", explainGeneratorResult(g, code, config, target).c_str());
  for (const auto& f : written.changed()) std::printf("  %s\n", f.c_str());
  return 0;
}

int drawCommand(const std::vector<std::string>& args) { return generatorCommand(args, false); }
int swissCommand(const std::vector<std::string>& args) { return generatorCommand(args, true); }

}  // namespace velmoro::cli
