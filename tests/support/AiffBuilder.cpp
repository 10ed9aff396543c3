#include "tests/support/AiffBuilder.h"

#include "formats/Bytes.h"

namespace quiramo::test {

AiffBuilder::Rate AiffBuilder::rate44100() {
    return {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
}

std::vector<uint8_t> AiffBuilder::commBody(uint16_t channels, uint32_t frames, uint16_t bits,
                                           const Rate& rate) {
    std::vector<uint8_t> b;
    bytes::appendU16BE(b, channels);
    bytes::appendU32BE(b, frames);
    bytes::appendU16BE(b, bits);
    b.insert(b.end(), rate.begin(), rate.end());
    return b;
}

std::vector<uint8_t> AiffBuilder::commBodyC(uint16_t channels, uint32_t frames, uint16_t bits,
                                            const Rate& rate, const std::string& compression,
                                            const std::string& name) {
    std::vector<uint8_t> b = commBody(channels, frames, bits, rate);
    appendId(b, compression);
    b.push_back(static_cast<uint8_t>(name.size()));
    bytes::appendText(b, name);
    if (b.size() & 1) b.push_back(0);
    return b;
}

AiffBuilder& AiffBuilder::fver(uint32_t timestamp) {
    std::vector<uint8_t> b;
    bytes::appendU32BE(b, timestamp);
    return chunk("FVER", b);
}

AiffBuilder& AiffBuilder::ssnd(const std::vector<uint8_t>& samples, uint32_t offset, uint32_t blockSize) {
    std::vector<uint8_t> b;
    bytes::appendU32BE(b, offset);
    bytes::appendU32BE(b, blockSize);
    b.insert(b.end(), offset, 0xEE);
    b.insert(b.end(), samples.begin(), samples.end());
    return chunk("SSND", b);
}

}  // namespace quiramo::test
