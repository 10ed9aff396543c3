#pragma once
// Pieces the format suites put into file images and read back out of them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/Bytes.h"

namespace quiramo::test {

// n bytes that differ from their neighbours, so a byte out of place shows.
inline std::vector<uint8_t> ramp(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
    return v;
}

// A signature chunk body as the version named wrote it: version text, the two enhancement
// fields `width` bytes wide (4 up to 2.0.13, 8 after), the conversion time.
inline std::vector<uint8_t> signatureBody(uint64_t type1, uint64_t type2,
                                          const std::string& version = "v2.1.0", size_t width = 8) {
    std::vector<uint8_t> b;
    std::string v = version;
    v.resize(16, ' ');
    bytes::appendText(b, v);
    if (width == 4) {
        bytes::appendU32BE(b, static_cast<uint32_t>(type1));
        bytes::appendU32BE(b, static_cast<uint32_t>(type2));
    } else {
        bytes::appendU64BE(b, type1);
        bytes::appendU64BE(b, type2);
    }
    bytes::appendText(b, "2016-05-04 17:03:22 +0100 ");
    return b;
}

// The n bytes at `at` as text (chunk IDs and the like).
inline std::string textAt(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

}  // namespace quiramo::test
