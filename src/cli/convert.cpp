// velmoro convert: EMF files into one PDF through the converter library.
#include "cli/commands.h"
#include "cli/library.h"
#include "cli/results.h"
#include "common/unicode.h"

#include <cstdio>
#include <map>

namespace velmoro::cli {

namespace {

using ConvertEntry = int32_t (*)(const char16_t*, const char16_t*, const char16_t*, const char16_t*,
                                 const char16_t*, const char16_t*);

const char* kUsage =
    "usage: velmoro convert INPUT TARGET.pdf [--title T] [--subject S] [--author A] [--keywords K]\n"
    "Converts the EMF file INPUT, or every file its mask (* and ?) matches, into one PDF.\n";

}  // namespace

int convertCommand(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::map<std::string, std::string> info;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--title" || a == "--subject" || a == "--author" || a == "--keywords") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "velmoro: %s needs a value\n%s", a.c_str(), kUsage);
        return kUsageError;
      }
      info[a] = args[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "velmoro: unknown option %s\n%s", a.c_str(), kUsage);
      return kUsageError;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return kUsageError;
  }
  Library lib("orvalin");
  auto entry = reinterpret_cast<ConvertEntry>(lib.symbol("ConvertEmfToPDFFileW"));
  if (!entry) {
    std::fprintf(stderr, "velmoro: cannot load liborvalin.so: %s\n",
                 lib.ok() ? "it has no ConvertEmfToPDFFileW" : lib.error().c_str());
    return kUnavailable;
  }
  const bool authorGiven = info.count("--author") > 0;
  auto u = [](const std::string& s) { return text::fromUtf8(s); };
  std::u16string input = u(positional[0]), output = u(positional[1]), title = u(info["--title"]),
                 subject = u(info["--subject"]), keywords = u(info["--keywords"]);
  std::u16string author = u(info["--author"]);
  // Without --author the library takes the program's CompanyName (a null pointer).
  int32_t code = entry(input.c_str(), output.c_str(), title.c_str(), subject.c_str(),
                       authorGiven ? author.c_str() : nullptr, keywords.c_str());
  std::FILE* out = code == 0 ? stdout : stderr;
  std::fprintf(out, "%s%s\n", code == 0 ? "" : "velmoro: ",
               explainConvertResult(code, positional[0], positional[1]).c_str());
  if (code == 0) std::printf("  %s\n", positional[1].c_str());
  return code;
}

}  // namespace velmoro::cli
