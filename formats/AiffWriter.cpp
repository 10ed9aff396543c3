#include "formats/AiffWriter.h"

#include <cmath>
#include <cstring>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "formats/Metadata.h"
#include "formats/SignatureChunk.h"
#include "formats/WavWriter.h"
#include "formats/WriterSupport.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

constexpr uint32_t kAifcVersion1 = 0xA2805140;

// Bytes of the form before the samples: form type (4), COMM (26) and the SSND header with
// offset and blockSize (16); AIFF-C adds FVER (12) and six COMM bytes.
constexpr uint64_t kAiffLeadingBytes = 46;
constexpr uint64_t kAifcLeadingBytes = 64;
// The size rule shared with RIFF counts 36 leading bytes (see kRiffOverhead): the rest of
// the AIFF header is counted with the trailing chunks, which leaves the total unchanged.
constexpr uint64_t kRiffLeadingBytes = 36;

// The rates the program writes, as earlier releases wrote them. 88200 and 96000 have their
// integer bit clear; readers that take the mantissa as an integer get the exact rate.
struct RateBytes {
    double rate;
    uint8_t bytes[10];
};

constexpr RateBytes kRateBytes[] = {
    {44100.0, {0x40, 0x0E, 0xAC, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {48000.0, {0x40, 0x0E, 0xBB, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {88200.0, {0x40, 0x12, 0x15, 0x88, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {96000.0, {0x40, 0x12, 0x17, 0x70, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {176400.0, {0x40, 0x10, 0xAC, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {192000.0, {0x40, 0x10, 0xBB, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
};

void buildImage(AudioFile& job, std::vector<uint8_t>& out) {
    const bool aifc = job.dstFileType == catalogue::kFileAIFC;
    QRM_ASSERT(aifc || job.dstFileType == catalogue::kFileAIFF, "Unexpected destination file type %d in %s",
               job.dstFileType, __func__);
    // The signature and ID3 builders write their sizes in this order.
    QRM_ASSERT(job.dstEndianessValues == kBigEndian, "Unexpected destination values endianess in %s",
               __func__);
    if (!writers::holdsAnnouncedAudio(job, __func__)) return;

    // The chunks come first: the FORM size is then counted from what was really built.
    std::vector<uint8_t> signature;
    CreateMetadataChunk(job, signature);
    if (job.error) return;
    std::vector<uint8_t> id3;
    const uint64_t id3Size = job.srcID3ChunkData.size();
    if (writers::isWrittenChunkSize(id3Size) && !writers::buildChunk(job, &CreateID3Chunk, id3Size, id3)) {
        return;
    }

    const WavDataSize size = fitAiffToFormLimit(job, signature.size() + writers::paddedSize(id3.size()));
    if (size.riffSize > kRiffSizeLimit) {
        // Only an ID3 chunk carried from a source of several gigabytes could do this.
        platform::log("<ERROR> Metadata chunks exceed the 4GB limit");
        job.error |= kErrorCannotSave;
        return;
    }

    out.reserve(out.size() + 8 + size.riffSize);
    bytes::appendText(out, "FORM");
    bytes::appendU32BE(out, static_cast<uint32_t>(size.riffSize));
    bytes::appendText(out, aifc ? "AIFC" : "AIFF");
    if (aifc) {
        bytes::appendText(out, "FVER");
        bytes::appendU32BE(out, 4);
        bytes::appendU32BE(out, kAifcVersion1);
    }
    bytes::appendText(out, "COMM");
    bytes::appendU32BE(out, aifc ? 24 : 18);
    bytes::appendU16BE(out, static_cast<uint16_t>(job.dstChannelsData));
    bytes::appendU32BE(out, job.dstFrames);
    bytes::appendU16BE(out, static_cast<uint16_t>(job.dstSampleBits));
    uint8_t rate[10];
    encodeExtendedRate(job.dstFrameRate, rate);
    out.insert(out.end(), rate, rate + sizeof rate);
    if (aifc) {
        bytes::appendText(out, job.dstEndianessData == kBigEndian ? "NONE" : "sowt");
        out.push_back(0);  // empty compression name: its count byte
        out.push_back(0);  // and the pad byte of the counted text
    }
    bytes::appendText(out, "SSND");
    bytes::appendU32BE(out, static_cast<uint32_t>(size.audioBytes + 8));
    bytes::appendU32BE(out, 0);  // offset
    bytes::appendU32BE(out, 0);  // blockSize
    writers::appendPadded(out, job.dstAudioData.data(), size.audioBytes);
    out.insert(out.end(), signature.begin(), signature.end());
    writers::appendPadded(out, id3.data(), id3.size());
}

}  // namespace

WavDataSize fitAiffToFormLimit(AudioFile& job, uint64_t trailingBytes) {
    const uint64_t leading = job.dstFileType == catalogue::kFileAIFC ? kAifcLeadingBytes : kAiffLeadingBytes;
    return fitWavToRiffLimit(job, trailingBytes + leading - kRiffLeadingBytes);
}

void encodeExtendedRate(double rate, uint8_t* bytes10) {
    for (const auto& r : kRateBytes) {
        if (r.rate == rate) {
            std::memcpy(bytes10, r.bytes, sizeof r.bytes);
            return;
        }
    }
    std::memset(bytes10, 0, 10);
    const uint16_t sign = std::signbit(rate) ? 0x8000 : 0;
    const double magnitude = std::fabs(rate);
    if (std::isnan(magnitude) || std::isinf(magnitude)) {
        bytes::writeU16BE(bytes10, static_cast<uint16_t>(sign | 0x7FFF));
        bytes::writeU64BE(bytes10 + 2, std::isnan(magnitude) ? 0xC000000000000000 : 0x8000000000000000);
        return;
    }
    if (magnitude == 0.0) {
        bytes::writeU16BE(bytes10, sign);
        return;
    }
    // magnitude = f × 2^e with f in [0.5, 1): the integer bit of f × 2^64 is set, and the
    // value is that mantissa × 2^(E − 16383 − 63) with E = e − 1 + 16383.
    int e = 0;
    const double f = std::frexp(magnitude, &e);
    const auto mantissa = static_cast<uint64_t>(std::ldexp(f, 64));
    bytes::writeU16BE(bytes10, static_cast<uint16_t>(sign | (e - 1 + 16383)));
    bytes::writeU64BE(bytes10 + 2, mantissa);
}

void CreateDestBufferAIFC(AudioFile& job, std::vector<uint8_t>& out) {
    writers::buildWholeImage(job, out, &buildImage);
}

}  // namespace quiramo
