#pragma once
// Builds RIFF/WAVE images in code: the RIFF header, fmt bodies of every accepted shape
// (and broken ones), data, and any other chunk with or without its pad byte. Chunks are
// written in the order they are added, so a test can put data before fmt or add a chunk
// twice. The RIFF size is computed unless a test fixes it.
//
//   auto path = WavBuilder().pcm(2, 44100, 16).data(frames * 4).writeTo(dir, "a.wav");

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quiramo::test {

class TempDir;

class WavBuilder {
  public:
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

    // Chunk with any ID and body. With pad, an odd body gets its zero pad byte. A declared
    // size overrides the size field (to make it lie about the body).
    WavBuilder& chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad = true,
                      std::optional<uint32_t> declaredSize = std::nullopt);
    // A chunk whose body is `size` zero bytes that bytes() spells out but writeTo() leaves
    // as a hole in a sparse file, so a long side costs no disk and no memory.
    WavBuilder& zeroChunk(const std::string& id, uint64_t size, bool pad = true);

    // Shorthands.
    WavBuilder& fmt(const std::vector<uint8_t>& body) { return chunk("fmt ", body); }
    WavBuilder& pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
        return fmt(fmtBody(channels, rate, bits));
    }
    WavBuilder& data(const std::vector<uint8_t>& samples) { return chunk("data", samples); }
    WavBuilder& data(uint64_t zeroBytes) { return zeroChunk("data", zeroBytes); }
    // Bytes appended as they stand (a truncated header, trailing junk).
    WavBuilder& raw(const std::vector<uint8_t>& bytes);

    // The 12-byte header: IDs and a fixed RIFF size for broken-header cases.
    WavBuilder& riffId(const std::string& id);
    WavBuilder& formType(const std::string& id);
    WavBuilder& riffSize(uint32_t size);

    // The whole image, zero bodies spelled out.
    std::vector<uint8_t> bytes() const;
    // Writes the image to dir/name and returns the path.
    std::string writeTo(const TempDir& dir, const std::string& name) const;

  private:
    struct Part {
        std::vector<uint8_t> bytes;  // written as they stand
        uint64_t zeros = 0;          // then this many zero bytes
    };
    uint64_t totalSize() const;

    std::string riffId_ = "RIFF";
    std::string formType_ = "WAVE";
    std::optional<uint32_t> riffSize_;
    std::vector<Part> parts_;
};

}  // namespace quiramo::test
