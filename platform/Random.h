#pragma once
// Uniform 32-bit random values for dither and noise simulation. Each thread runs its own
// xoshiro128** generator seeded from getrandom(2): the kernel's entropy gives unpredictable
// seeds, the generator gives the hundreds of millions of values a long file needs quickly.

#include <cstdint>

namespace quiramo::platform {

uint32_t random32();

}  // namespace quiramo::platform
