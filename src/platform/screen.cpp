#include "platform/screen.h"

#include <cstdlib>

namespace velmoro::platform {

namespace {

int readScreenDpi() {
  if (const char* s = std::getenv("VELMORO_SCREEN_DPI")) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end != s && *end == '\0' && v >= 1 && v <= 4800) return static_cast<int>(v);
  }
  return 96;
}

}  // namespace

int screenDpi() {
  static const int dpi = readScreenDpi();
  return dpi;
}

// Read when the library is loaded, not at the first drawing.
[[maybe_unused]] const int dpiAtLoad = screenDpi();

}  // namespace velmoro::platform
