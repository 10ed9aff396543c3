#pragma once
// Builds RIFF/WAVE images in code: the RIFF header, fmt bodies of every accepted shape
// (and broken ones), data, and any other chunk with or without its pad byte. Chunks are
// written in the order they are added, so a test can put data before fmt or add a chunk
// twice. The RIFF size is computed unless a test fixes it.
//
//   auto path = WavBuilder().pcm(2, 44100, 16).data(frames * 4).writeTo(dir, "a.wav");

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ChunkImage.h"

namespace quiramo::test {

class WavBuilder : public ChunkImageBuilder<WavBuilder> {
  public:
    WavBuilder() : ChunkImageBuilder(false, "RIFF", "WAVE") {}

    // fmt bodies.
    // 16 bytes of plain PCM (tag 1), block align and byte rate consistent with bits.
    static std::vector<uint8_t> fmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag = 1);
    // 18 bytes: the 16 above and cbSize.
    static std::vector<uint8_t> fmtBody18(uint16_t channels, uint32_t rate, uint16_t bits,
                                          uint16_t cbSize = 0);
    // 40 bytes: tag (0xFFFE for extensible), cbSize, valid bits, channel mask and the
    // sub-format code in the first two bytes of the GUID (the rest is the usual PCM GUID tail).
    static std::vector<uint8_t> fmtBody40(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t validBits,
                                          uint32_t channelMask, uint16_t subFormat = 1, uint16_t cbSize = 22,
                                          uint16_t tag = 0xFFFE);

    // Shorthands.
    WavBuilder& fmt(const std::vector<uint8_t>& body) { return chunk("fmt ", body); }
    WavBuilder& pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
        return fmt(fmtBody(channels, rate, bits));
    }
    WavBuilder& data(const std::vector<uint8_t>& samples) { return chunk("data", samples); }
    WavBuilder& data(uint64_t zeroBytes) { return zeroChunk("data", zeroBytes); }

    // The 12-byte header: IDs and a fixed RIFF size for broken-header cases.
    WavBuilder& riffId(const std::string& id) {
        image_.setFormId(id);
        return *this;
    }
    WavBuilder& formType(const std::string& id) {
        image_.setFormType(id);
        return *this;
    }
    WavBuilder& riffSize(uint32_t size) {
        image_.setFormSize(size);
        return *this;
    }
};

}  // namespace quiramo::test
