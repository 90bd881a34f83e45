// velmoro: draw a competition from the command line, without writing a script.
#include "cli/commands.h"
#include "common/unicode.h"
#include "platform/resources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace velmoro;

namespace {

const char* kUsage =
    "usage: velmoro COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  draw CONFIG TARGET [--keep-emf]   draw an elimination or round-robin competition\n"
    "  swiss CONFIG TARGET               pair and draw a Swiss-system event\n"
    "  convert INPUT TARGET.pdf          convert EMF pages into one PDF\n"
    "  demo [DIR]                        draw the bundled example competitions into DIR\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help (also after a command)\n"
    "  --version       show the version\n"
    "\n"
    "The exit code is the library's result code; 64 means the command line was wrong.\n"
    "Set VELMORO_LOG to a file to keep the engine's messages there instead of on stderr.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return cli::kUsageError;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    TVersionInfo version = platform::ownVersionInfo();
    std::printf("velmoro %s\n", text::toUtf8(version.ProductVersion()).c_str());
    return 0;
  }
  // The engine's message never crosses the export: have the library say it on stderr.
  if (const char* log = std::getenv("VELMORO_LOG"); log == nullptr || *log == '\0')
    ::setenv("VELMORO_LOG", "stderr", 1);
  if (command == "draw") return cli::drawCommand(args);
  if (command == "swiss") return cli::swissCommand(args);
  if (command == "convert") return cli::convertCommand(args);
  if (command == "demo") return cli::demoCommand(args);
  std::fprintf(stderr, "velmoro: unknown command '%s'\n\n%s", command.c_str(), kUsage);
  return cli::kUsageError;
}
