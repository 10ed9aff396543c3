#pragma once
// The white noise the filter, rate-conversion and speed-change suites feed their kernels:
// uniform in ±30000 and repeatable from its seed, so a failing case runs again exactly.

#include <cstddef>
#include <random>
#include <vector>

namespace quiramo::test {

inline std::vector<double> noise(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(-30000.0, 30000.0);
    std::vector<double> v(n);
    for (double& x : v) x = d(gen);
    return v;
}

}  // namespace quiramo::test
