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
#include <optional>
#include <string>
#include <vector>

namespace quiramo::test {

class TempDir;

class AiffBuilder {
  public:
    using Rate = std::array<uint8_t, 10>;
    // 40 0E AC 44 00 ...: 44100 as the ten COMM bytes.
    static Rate rate44100();

    // 18 bytes of AIFF COMM.
    static std::vector<uint8_t> commBody(uint16_t channels, uint32_t frames, uint16_t bits, const Rate& rate);
    // AIFF-C COMM: the 18 bytes, the compression type and its counted name (padded to even).
    static std::vector<uint8_t> commBodyC(uint16_t channels, uint32_t frames, uint16_t bits, const Rate& rate,
                                          const std::string& compression, const std::string& name = "");

    explicit AiffBuilder(const std::string& formType = "AIFF") : formType_(formType) {}

    AiffBuilder& chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad = true,
                       std::optional<uint32_t> declaredSize = std::nullopt);
    AiffBuilder& fver(uint32_t timestamp = 0xA2805140);
    AiffBuilder& comm(const std::vector<uint8_t>& body) { return chunk("COMM", body); }
    // SSND: offset, blockSize, `offset` filler bytes, then the samples.
    AiffBuilder& ssnd(const std::vector<uint8_t>& samples, uint32_t offset = 0, uint32_t blockSize = 0);
    AiffBuilder& raw(const std::vector<uint8_t>& bytes);

    AiffBuilder& formId(const std::string& id);
    AiffBuilder& formSize(uint32_t size);

    std::vector<uint8_t> bytes() const;
    std::string writeTo(const TempDir& dir, const std::string& name) const;

  private:
    std::string formId_ = "FORM";
    std::string formType_;
    std::optional<uint32_t> formSize_;
    std::vector<uint8_t> body_;
};

// Writes bytes to dir/name and returns the path.
std::string writeFile(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes);

}  // namespace quiramo::test
