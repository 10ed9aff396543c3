#include "dsp/RateConversion.h"

#include <algorithm>

#include "engine/record/AudioFile.h"
#include "platform/Assert.h"

namespace quiramo {

// Only the copy of plan 1 exists so far; the filters land with the rate-conversion work.
void QuadDownSample(AudioFile&) {}

void DualUpSample(AudioFile& job) {
    QRM_ASSERT(job.srcChannels == 2, "The number of channels must be 2 in %s", __func__);
    QRM_ASSERT(job.srcFrames == job.dstFrames, "Source and destination frames do not match in %s", __func__);
    const size_t n = size_t{job.srcFrames} * 2;
    std::copy(job.audioIn.data(), job.audioIn.data() + n, job.audioBuf_0.data());
}

void QuadUpSample(AudioFile&) {}

}  // namespace quiramo
