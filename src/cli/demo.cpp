// velmoro demo [DIR]: copies the bundled example competitions into DIR and draws each
// there, so the read-only installed examples are never written to. Every run starts
// again from fresh copies.
#include "cli/commands.h"
#include "cli/library.h"

#include <cstdio>
#include <algorithm>
#include <filesystem>

namespace velmoro::cli {

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: velmoro demo [DIR] [--examples FOLDER]\n"
    "Copies the example competitions into DIR (default ./velmoro-demo) and draws them.\n";

// An example is a folder holding config.txt (the draw configuration) and its data files.
std::vector<fs::path> examplesIn(const fs::path& folder) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_directory() && fs::exists(it->path() / "config.txt")) out.push_back(it->path());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

int demoCommand(const std::vector<std::string>& args) {
  fs::path dir = "velmoro-demo";
  fs::path examples = fs::path(programFolder()) / "../share/velmoro/examples";
  bool dirGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (args[i] == "--examples" && i + 1 < args.size()) {
      examples = args[++i];
    } else if (!args[i].empty() && args[i][0] != '-' && !dirGiven) {
      dir = args[i];
      dirGiven = true;
    } else {
      std::fputs(kUsage, stderr);
      return kUsageError;
    }
  }
  std::vector<fs::path> list = examplesIn(examples.lexically_normal());
  if (list.empty()) {
    std::fprintf(stderr, "velmoro: no examples found in %s\n", examples.lexically_normal().c_str());
    return 1;
  }
  int failed = 0;
  for (const auto& example : list) {
    fs::path copy = dir / example.filename();
    std::error_code ec;
    fs::remove_all(copy, ec);
    fs::create_directories(copy, ec);
    if (!ec) fs::copy(example, copy, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
      std::fprintf(stderr, "velmoro: cannot copy %s to %s: %s\n", example.c_str(), copy.c_str(),
                   ec.message().c_str());
      return 1;
    }
    // Copies of installed files are read-only; the draw writes schedule and standings.
    for (auto& entry : fs::recursive_directory_iterator(copy, ec))
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    std::printf("%s\n", example.filename().c_str());
    std::fflush(stdout);
    int code = runGenerator("VLGN", (copy / "config.txt").string(), (copy / example.filename()).string(), false);
    if (code != 0) ++failed;
  }
  std::printf("%zu of %zu examples drawn in %s\n", list.size() - static_cast<size_t>(failed), list.size(),
              dir.c_str());
  return failed == 0 ? 0 : 1;
}

}  // namespace velmoro::cli
