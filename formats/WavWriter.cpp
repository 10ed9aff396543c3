#include "formats/WavWriter.h"

#include <algorithm>

#include "engine/record/AudioFile.h"
#include "formats/Bytes.h"
#include "formats/Metadata.h"
#include "formats/SignatureChunk.h"
#include "formats/WriterSupport.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

// "WAVE" (4), the fmt chunk (24) and the data chunk header (8).
constexpr uint64_t kRiffOverhead = 36;

// "mm:ss" parts of a duration, whole seconds truncated.
unsigned long wholeSeconds(uint32_t frames, double rate) {
    return rate > 0.0 ? static_cast<unsigned long>(frames / rate) : 0;
}

struct MetadataChunk {
    const char* name;
    uint64_t announced;
    writers::ChunkBuilder build;
    std::vector<uint8_t> bytes;
};

void buildImage(AudioFile& job, std::vector<uint8_t>& out) {
    if (!writers::holdsAnnouncedAudio(job, __func__)) return;
    const uint32_t bytesPerFrame = job.dstChannelsData * job.dstSampleBytes;

    // The chunks come first: the RIFF size is then counted from what was really built, so a
    // builder that appends other than it was told cannot make the header lie.
    std::vector<uint8_t> signature;
    CreateMetadataChunk(job, signature);
    if (job.error) return;

    MetadataChunk chunks[] = {
        {"bext", writers::bextChunkSize(job), &CreateBextChunk, {}},
        {"iXML", writers::ixmlChunkSize(job), &CreateIXMLChunk, {}},
        {"ID3", job.srcID3ChunkData.size(), &CreateID3Chunk, {}},
    };
    uint64_t trailingBytes = signature.size();
    for (auto& chunk : chunks) {
        if (!writers::isWrittenChunkSize(chunk.announced)) continue;
        if (!writers::buildChunk(job, chunk.build, chunk.announced, chunk.bytes)) return;
        if (chunk.bytes.size() != chunk.announced) {
            platform::log("<WARNING> %s chunk built with %zu bytes instead of %llu", chunk.name,
                          chunk.bytes.size(), static_cast<unsigned long long>(chunk.announced));
        }
        trailingBytes += writers::paddedSize(chunk.bytes.size());
    }

    const WavDataSize size = fitWavToRiffLimit(job, trailingBytes);
    if (size.riffSize > kRiffSizeLimit) {
        // Only chunks carried from a source of several gigabytes could do this.
        platform::log("<ERROR> Metadata chunks exceed the 4GB limit");
        job.error |= kErrorCannotSave;
        return;
    }

    const uint32_t rate = writers::frameRateField(job.dstFrameRate);
    out.reserve(out.size() + 8 + size.riffSize);
    bytes::appendText(out, "RIFF");
    bytes::appendU32LE(out, static_cast<uint32_t>(size.riffSize));
    bytes::appendText(out, "WAVE");
    bytes::appendText(out, "fmt ");
    bytes::appendU32LE(out, 16);
    bytes::appendU16LE(out, 1);  // PCM
    bytes::appendU16LE(out, static_cast<uint16_t>(job.dstChannelsData));
    bytes::appendU32LE(out, rate);
    bytes::appendU32LE(out, rate * bytesPerFrame);
    bytes::appendU16LE(out, static_cast<uint16_t>(bytesPerFrame));
    bytes::appendU16LE(out, static_cast<uint16_t>(job.dstSampleBits));
    bytes::appendText(out, "data");
    bytes::appendU32LE(out, static_cast<uint32_t>(size.audioBytes));
    writers::appendPadded(out, job.dstAudioData.data(), size.audioBytes);
    out.insert(out.end(), signature.begin(), signature.end());
    for (const auto& chunk : chunks) writers::appendPadded(out, chunk.bytes.data(), chunk.bytes.size());
}

}  // namespace

WavDataSize wavDataSize(uint32_t frames, uint32_t bytesPerFrame, uint64_t trailingBytes) {
    const auto riffSize = [&](uint64_t audio) {
        return kRiffOverhead + writers::paddedSize(audio) + trailingBytes;
    };
    WavDataSize size;
    size.audioBytes = uint64_t{frames} * bytesPerFrame;
    size.riffSize = riffSize(size.audioBytes);
    if (size.riffSize <= kRiffSizeLimit || bytesPerFrame == 0) return size;

    uint64_t n = (size.riffSize - kRiffSizeLimit + bytesPerFrame - 1) / bytesPerFrame;
    n = std::min<uint64_t>(n, frames);
    // An odd remainder takes a pad byte, which may push the size back over by one.
    if (riffSize((frames - n) * bytesPerFrame) > kRiffSizeLimit && n < frames) ++n;
    size.framesRemoved = static_cast<uint32_t>(n);
    size.audioBytes = (frames - n) * uint64_t{bytesPerFrame};
    size.riffSize = riffSize(size.audioBytes);
    return size;
}

WavDataSize fitWavToRiffLimit(AudioFile& job, uint64_t trailingBytes) {
    const WavDataSize size =
        wavDataSize(job.dstFrames, job.dstChannelsData * job.dstSampleBytes, trailingBytes);
    if (size.framesRemoved == 0) return size;

    job.dstFrames -= size.framesRemoved;
    const unsigned long before = wholeSeconds(job.srcFrames, job.srcFrameRate);
    const unsigned long after = wholeSeconds(job.dstFrames, job.dstFrameRate);
    platform::log("<WARNING> Audio duration trucated from %02lu:%02lu > %02lu:%02lu to fit within 4GB limit",
                  before / 60, before % 60, after / 60, after % 60);
    job.setText(Column::duration, platform::format("%02lu:%02lu > %02lu:%02lu", before / 60, before % 60,
                                                   after / 60, after % 60));
    job.postRefresh();
    job.warning |= kWarningTruncated4GB;
    return size;
}

void CreateDestBufferWAV(AudioFile& job, std::vector<uint8_t>& out) {
    writers::buildWholeImage(job, out, &buildImage);
}

}  // namespace quiramo
