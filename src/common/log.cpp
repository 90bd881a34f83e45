#include "common/log.h"

#include "common/unicode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmoro::log {

void failure(std::string_view library, std::u16string_view message) {
  const char* target = std::getenv("VELMORO_LOG");
  if (target == nullptr || *target == '\0') return;
  std::string line = std::string(library) + ": " + text::toUtf8(message) + "\n";
  if (std::strcmp(target, "stderr") == 0) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    return;
  }
  if (FILE* f = std::fopen(target, "a")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

}  // namespace velmoro::log
