#include "generator/random.h"

#include <chrono>
#include <cstdlib>
#include <string>

namespace velmoro::draw {

namespace {

uint32_t initialState() {
  if (const char* seed = std::getenv("VELMORO_RANDOM_SEED")) {
    char* end = nullptr;
    unsigned long long v = std::strtoull(seed, &end, 10);
    if (end != seed && *end == '\0') return static_cast<uint32_t>(v);
  }
  auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<uint32_t>(ticks);
}

uint32_t state = initialState();  // seeded when the library is loaded

}  // namespace

uint32_t randomBelow(uint32_t n) {
  state = state * 134775813u + 1u;
  return static_cast<uint32_t>((static_cast<uint64_t>(state) * n) >> 32);
}

uint32_t randomState() { return state; }
void setRandomState(uint32_t s) { state = s; }

}  // namespace velmoro::draw
