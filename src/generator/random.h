// The library-wide random generator: a 32-bit linear congruential generator
// (state * 134775813 + 1), seeded once when the library is loaded from a high-resolution
// clock, or from VELMORO_RANDOM_SEED when that holds a number, for repeatable draws.
// The state is never reseeded, so consecutive requests continue one sequence.
#pragma once

#include <cstdint>

namespace velmoro::draw {

// A random integer in 0..n-1: the state steps, then the high half of state * n.
uint32_t randomBelow(uint32_t n);

uint32_t randomState();
void setRandomState(uint32_t state);  // for tests

}  // namespace velmoro::draw
