#pragma once
// Builds AIFF and AIFF-C images in code: the FORM header, COMM bodies of either kind (and
// broken ones), FVER, SSND with its offset, and any other chunk with or without its pad
// byte, all sizes big-endian. Chunks are written in the order they are added, so a test
// can leave one out or add it twice. The FORM size is computed unless a test fixes it.
//
//   auto image = AiffBuilder("AIFC").fver().comm(AiffBuilder::commBodyC(2, n, 16, rate, "sowt"))
//                    .ssnd(samples).bytes();

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ChunkImage.h"

namespace quiramo::test {

class AiffBuilder : public ChunkImageBuilder<AiffBuilder> {
  public:
    using Rate = std::array<uint8_t, 10>;
    // 40 0E AC 44 00 ...: 44100 as the ten COMM bytes.
    static Rate rate44100();

    // 18 bytes of AIFF COMM.
    static std::vector<uint8_t> commBody(uint16_t channels, uint32_t frames, uint16_t bits, const Rate& rate);
    // AIFF-C COMM: the 18 bytes, the compression type and its counted name (padded to even).
    static std::vector<uint8_t> commBodyC(uint16_t channels, uint32_t frames, uint16_t bits, const Rate& rate,
                                          const std::string& compression, const std::string& name = "");

    explicit AiffBuilder(const std::string& formType = "AIFF") : ChunkImageBuilder(true, "FORM", formType) {}

    AiffBuilder& fver(uint32_t timestamp = 0xA2805140);
    AiffBuilder& comm(const std::vector<uint8_t>& body) { return chunk("COMM", body); }
    // SSND: offset, blockSize, `offset` filler bytes, then the samples.
    AiffBuilder& ssnd(const std::vector<uint8_t>& samples, uint32_t offset = 0, uint32_t blockSize = 0);

    AiffBuilder& formId(const std::string& id) {
        image_.setFormId(id);
        return *this;
    }
    AiffBuilder& formSize(uint32_t size) {
        image_.setFormSize(size);
        return *this;
    }
};

}  // namespace quiramo::test
