#include "tests/support/WavBuilder.h"

#include <iterator>

#include "formats/Bytes.h"

namespace quiramo::test {
namespace {

// The tail of the PCM sub-format GUID after its two-byte code.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

}  // namespace

std::vector<uint8_t> WavBuilder::fmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag) {
    const uint16_t blockAlign = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    std::vector<uint8_t> b;
    bytes::appendU16LE(b, tag);
    bytes::appendU16LE(b, channels);
    bytes::appendU32LE(b, rate);
    bytes::appendU32LE(b, rate * blockAlign);
    bytes::appendU16LE(b, blockAlign);
    bytes::appendU16LE(b, bits);
    return b;
}

std::vector<uint8_t> WavBuilder::fmtBody18(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t cbSize) {
    std::vector<uint8_t> b = fmtBody(channels, rate, bits);
    bytes::appendU16LE(b, cbSize);
    return b;
}

std::vector<uint8_t> WavBuilder::fmtBody40(uint16_t channels, uint32_t rate, uint16_t bits,
                                           uint16_t validBits, uint32_t channelMask, uint16_t subFormat,
                                           uint16_t cbSize, uint16_t tag) {
    std::vector<uint8_t> b = fmtBody(channels, rate, bits, tag);
    bytes::appendU16LE(b, cbSize);
    bytes::appendU16LE(b, validBits);
    bytes::appendU32LE(b, channelMask);
    bytes::appendU16LE(b, subFormat);
    b.insert(b.end(), std::begin(kGuidTail), std::end(kGuidTail));
    return b;
}

}  // namespace quiramo::test
