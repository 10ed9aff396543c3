#include "platform/Random.h"

#include <sys/random.h>

#include <chrono>
#include <cstring>

namespace quiramo::platform {
namespace {

struct Xoshiro128 {
    uint32_t s[4];

    Xoshiro128() {
        uint8_t seed[sizeof s];
        size_t got = 0;
        while (got < sizeof seed) {
            const ssize_t n = getrandom(seed + got, sizeof seed - got, 0);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (got < sizeof seed) {
            // getrandom is unavailable: the clock still gives distinct seeds per thread.
            const auto t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            for (size_t i = 0; i < sizeof seed; ++i) seed[i] = static_cast<uint8_t>(t >> ((i % 8) * 8)) ^ 0x5A;
        }
        std::memcpy(s, seed, sizeof s);
        if ((s[0] | s[1] | s[2] | s[3]) == 0) s[0] = 1;  // the all-zero state never leaves zero
    }

    static uint32_t rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

    uint32_t next() {
        const uint32_t result = rotl(s[1] * 5, 7) * 9;
        const uint32_t t = s[1] << 9;
        s[2] ^= s[0];
        s[3] ^= s[1];
        s[1] ^= s[2];
        s[0] ^= s[3];
        s[2] ^= t;
        s[3] = rotl(s[3], 11);
        return result;
    }
};

Xoshiro128& threadGenerator() {
    thread_local Xoshiro128 generator;
    return generator;
}

}  // namespace

uint32_t random32() {
    return threadGenerator().next();
}

void random32(uint32_t* out, size_t n) {
    // The state lives in registers for the run and goes back once.
    Xoshiro128& shared = threadGenerator();
    Xoshiro128 generator = shared;
    for (size_t i = 0; i < n; ++i) out[i] = generator.next();
    shared = generator;
}

}  // namespace quiramo::platform
