// velmoro-resources: the build step that appends a resource archive to a program.
//   velmoro-resources attach-version PROGRAM Name=Value...
// replaces the program's archive with one holding a version block of those strings.
#include "common/atomic_file.h"
#include "common/error.h"
#include "common/text_file.h"
#include "common/unicode.h"
#include "common/version_info.h"
#include "platform/resources.h"

#include <cstdio>
#include <cstring>

using namespace velmoro;

int main(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], "attach-version") != 0) {
    std::fprintf(stderr, "usage: velmoro-resources attach-version PROGRAM Name=Value...\n");
    return 64;
  }
  try {
    std::u16string program = text::fromUtf8(argv[2]);
    auto image = text::readFileBytes(program);
    if (!image) {
      std::fprintf(stderr, "velmoro-resources: cannot read %s\n", argv[2]);
      return 1;
    }
    std::vector<std::pair<std::u16string, std::u16string>> strings;
    for (int i = 3; i < argc; ++i) {
      const char* eq = std::strchr(argv[i], '=');
      if (!eq) continue;
      strings.emplace_back(text::fromUtf8(std::string_view(argv[i], eq - argv[i])), text::fromUtf8(eq + 1));
    }
    std::vector<platform::Resource> resources = platform::parseResourceArchive(*image);
    std::erase_if(resources, [](const platform::Resource& r) { return r.type == platform::kVersionType; });
    resources.push_back({platform::kVersionType, "#1", 0x0409, buildVersionBlock(strings)});
    writeFileAtomically(program, platform::replaceResourceArchive(*image, resources));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmoro-resources: %s\n", e.what());
    return 1;
  }
}
