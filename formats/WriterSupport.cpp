#include "formats/WriterSupport.h"

#include <new>

#include "engine/record/AudioFile.h"
#include "formats/Bytes.h"
#include "platform/Assert.h"

namespace quiramo::writers {
namespace {

// A stored bext chunk is at least this long; a new one is exactly this long.
constexpr uint64_t kNewBextSize = 610;

bool writesBroadcastMetadata(const AudioFile& job) {
    return job.calculateDstR128 && job.dstBwfMetadata;
}

}  // namespace

bool holdsAnnouncedAudio(AudioFile& job, const char* operation) {
    const uint32_t bytesPerFrame = job.dstChannelsData * job.dstSampleBytes;
    if (bytesPerFrame != 0 && job.dstAudioData.size() >= uint64_t{job.dstFrames} * bytesPerFrame) return true;
    job.error |= kErrorUnknown;
    QRM_FAIL("Unexpected dataSize in %s", operation);
    return false;
}

uint64_t bextChunkSize(const AudioFile& job) {
    if (!writesBroadcastMetadata(job)) return 0;
    return job.srcBextChunkData.empty() ? kNewBextSize : job.srcBextChunkData.size();
}

uint64_t ixmlChunkSize(const AudioFile& job) {
    return writesBroadcastMetadata(job) ? job.srcIXMLChunkData.size() : 0;
}

bool isWrittenChunkSize(uint64_t announced) {
    return announced > bytes::kChunkHeaderSize && announced <= UINT32_MAX;
}

bool buildChunk(AudioFile& job, ChunkBuilder build, uint64_t announced, std::vector<uint8_t>& out) {
    // Narrowing is safe: isWrittenChunkSize has held the size to 32 bits.
    build(job, out, static_cast<uint32_t>(announced));
    return job.error == 0;
}

uint64_t paddedSize(uint64_t n) {
    return n + (n & 1);
}

void appendPadded(std::vector<uint8_t>& out, const uint8_t* data, size_t n) {
    out.insert(out.end(), data, data + n);
    if (n & 1) out.push_back(0);
}

uint32_t frameRateField(double rate) {
    return rate >= 0.0 && rate < 4294967296.0 ? static_cast<uint32_t>(rate) : 0;
}

void buildWholeImage(AudioFile& job, std::vector<uint8_t>& out, ImageBuilder build) {
    const size_t start = out.size();
    try {
        build(job, out);
    } catch (const std::bad_alloc&) {
        reportAllocationFailure(job);
    }
    if (job.error) out.resize(start);
}

}  // namespace quiramo::writers
