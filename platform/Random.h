#pragma once
// Uniform 32-bit random values for dither and noise simulation. Each thread runs its own
// xoshiro128** generator seeded from getrandom(2): the kernel's entropy gives unpredictable
// seeds, the generator gives the hundreds of millions of values a long file needs quickly.

#include <cstddef>
#include <cstdint>

namespace quiramo::platform {

uint32_t random32();
// The next n values of the same sequence at once, for loops over whole files.
void random32(uint32_t* out, size_t n);

}  // namespace quiramo::platform
