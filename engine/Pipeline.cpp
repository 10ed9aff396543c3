#include "engine/Pipeline.h"

#include <algorithm>
#include <cmath>

#include "dsp/RateConversion.h"
#include "dsp/SpeedChange.h"
#include "engine/ClippingManagement.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Progress.h"
#include "formats/Bytes.h"
#include "measurement/LevelMetrics.h"
#include "measurement/Loudness.h"
#include "platform/Assert.h"
#include "platform/Log.h"
#include "platform/Random.h"
#include "spatial/Dispatcher.h"

namespace quiramo {
namespace pipeline {
namespace {

// Runs body(begin, end) over [0, n) a hundredth at a time with one progress step per block,
// so the inner loops stay free of bookkeeping.
template <typename Body>
bool inBlocks(size_t n, Progress& progress, Body&& body) {
    const size_t block = progressInterval(n);
    for (size_t begin = 0; begin < n; begin += block) {
        body(begin, std::min(n, begin + block));
        if (!progress.step()) return false;
    }
    return true;
}

// The conversions to signed types are modular, so the top stored bit becomes the sign.
template <unsigned Bytes, int Order>
inline int32_t loadSample(const uint8_t* p) {
    if constexpr (Bytes == 2) {
        return static_cast<int16_t>(Order == kBigEndian ? bytes::readU16BE(p) : bytes::readU16LE(p));
    } else {
        const uint32_t u = Order == kBigEndian ? bytes::readU24BE(p) : bytes::readU24LE(p);
        return static_cast<int32_t>(u << 8) >> 8;
    }
}

template <unsigned Bytes, int Order>
bool decode(const uint8_t* in, size_t samples, double* out, Progress& progress) {
    return inBlocks(samples, progress, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) out[i] = loadSample<Bytes, Order>(in + i * Bytes);
    });
}

// floor(x + 0.5): halves go up, whole values stay whole whatever their sign. Values beyond
// the 32-bit range (and NaN) are pinned to it first, because converting them is undefined.
inline int32_t roundHalfUp(double x) {
    double y = x + 0.5;
    y = y >= -2147483648.0 ? y : -2147483648.0;
    y = y <= 2147483647.0 ? y : 2147483647.0;
    const auto t = static_cast<int32_t>(y);  // toward zero
    return t - static_cast<int32_t>(static_cast<double>(t) > y);
}

// Negative values keep their sign bit, others lose it: 32768 becomes 0 in 16 bits. The mask
// is built from the sign without a branch, because audio changes sign at random.
template <unsigned Bytes, int Order>
inline void storeSample(uint8_t* p, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    const auto negative = static_cast<uint32_t>(v >> 31);  // all ones or zero
    if constexpr (Bytes == 2) {
        const auto w = static_cast<uint16_t>(u & (0x7FFFu | (negative & 0x8000u)));
        Order == kBigEndian ? bytes::writeU16BE(p, w) : bytes::writeU16LE(p, w);
    } else if constexpr (Bytes == 3) {
        const uint32_t w = u & (0x7FFFFFu | (negative & 0x800000u));
        Order == kBigEndian ? bytes::writeU24BE(p, w) : bytes::writeU24LE(p, w);
    } else {
        Order == kBigEndian ? bytes::writeU32BE(p, u) : bytes::writeU32LE(p, u);
    }
}

template <unsigned Bytes, int Order>
bool encode(const double* in, size_t frames, unsigned channels, unsigned first, unsigned count, uint8_t* out,
            Progress& progress) {
    // The byte stores may alias anything reached through a reference, so the loops work on
    // local copies of the pointers and counts, which they cannot.
    if (count == channels) {  // every channel: one contiguous run
        return inBlocks(frames, progress, [in, out, channels](size_t begin, size_t end) {
            const double* src = in;
            uint8_t* dst = out;
            const size_t stop = end * channels;
            for (size_t i = begin * channels; i < stop; ++i)
                storeSample<Bytes, Order>(dst + i * Bytes, roundHalfUp(src[i]));
        });
    }
    return inBlocks(frames, progress, [in, out, channels, first, count](size_t begin, size_t end) {
        const double* src = in + first;
        uint8_t* dst = out;
        const size_t stride = channels, width = count;
        for (size_t i = begin; i < end; ++i) {
            for (size_t c = 0; c < width; ++c)
                storeSample<Bytes, Order>(dst + (i * width + c) * Bytes, roundHalfUp(src[i * stride + c]));
        }
    });
}

}  // namespace

bool integersToDoubles(const uint8_t* in, size_t samples, unsigned sampleBytes, int order, double* out,
                       Progress& progress) {
    QRM_ASSERT(order == kBigEndian || order == kLittleEndian, "Unknown endianess value %u in %s",
               static_cast<unsigned>(order), __func__);
    QRM_ASSERT(sampleBytes == 2 || sampleBytes == 3, "Unexpected sample size %u in %s", sampleBytes,
               __func__);
    if (sampleBytes == 2) {
        return order == kBigEndian ? decode<2, kBigEndian>(in, samples, out, progress)
                                   : decode<2, kLittleEndian>(in, samples, out, progress);
    }
    return order == kBigEndian ? decode<3, kBigEndian>(in, samples, out, progress)
                               : decode<3, kLittleEndian>(in, samples, out, progress);
}

bool doublesToIntegers(const double* in, size_t frames, unsigned channels, unsigned first, unsigned count,
                       unsigned sampleBytes, int order, uint8_t* out, Progress& progress) {
    QRM_ASSERT(order == kBigEndian || order == kLittleEndian, "Unknown endianess value %u in %s",
               static_cast<unsigned>(order), __func__);
    QRM_ASSERT(sampleBytes >= 2 && sampleBytes <= 4, "Unexpected sample size %u in %s", sampleBytes,
               __func__);
    QRM_ASSERT(count > 0 && first + count <= channels, "Unexpected channel range %u+%u of %u in %s", first,
               count, channels, __func__);
    const bool big = order == kBigEndian;
    switch (sampleBytes) {
        case 2:
            return big ? encode<2, kBigEndian>(in, frames, channels, first, count, out, progress)
                       : encode<2, kLittleEndian>(in, frames, channels, first, count, out, progress);
        case 3:
            return big ? encode<3, kBigEndian>(in, frames, channels, first, count, out, progress)
                       : encode<3, kLittleEndian>(in, frames, channels, first, count, out, progress);
        default:
            return big ? encode<4, kBigEndian>(in, frames, channels, first, count, out, progress)
                       : encode<4, kLittleEndian>(in, frames, channels, first, count, out, progress);
    }
}

bool scaleSamples(double* samples, size_t n, double factor, Progress& progress) {
    return inBlocks(n, progress, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) samples[i] *= factor;
    });
}

bool ditherApplies(const AudioFile& job) {
    using namespace catalogue;
    if (job.ditherType != 1 || job.filterType_1 == kTypeNO) return false;
    const bool groove = job.filterType_1 == kTypeGR || job.filterType_2 == kTypeGR;
    // Groove brings its own surface noise; it only stands in for dither when switched off.
    return !groove || job.grooveNoise == -70.0;
}

bool addDither(double* samples, size_t n, Progress& progress) {
    constexpr double kScale = 1.0 / 4294967296.0;  // 2^-32
    constexpr size_t kBatch = 512;
    uint32_t r[kBatch];
    double previous = 0.0;
    return inBlocks(n, progress, [&](size_t begin, size_t end) {
        for (size_t batch = begin; batch < end; batch += kBatch) {
            const size_t count = std::min(kBatch, end - batch);
            platform::random32(r, count);
            double* x = samples + batch;
            for (size_t i = 0; i < count; ++i) {
                const double u = r[i] * kScale - 0.5;
                x[i] += u - previous;
                previous = u;
            }
        }
    });
}

}  // namespace pipeline

namespace {

using namespace catalogue;

void setStage(AudioFile& job, const char* stateText) {
    job.setText(Column::state, stateText);
    job.postRefresh();
}

// A consistency check that failed under a handler that returns: the job must still fail.
bool failed(AudioFile& job, bool ok) {
    if (!ok && job.error == 0) job.error |= kErrorUnknown;
    return !ok;
}

// The stages up to the packed output. Returns at the first stop; the caller cleans up.
void runStages(AudioFile& job) {
    const size_t srcSamples = size_t{job.srcFrames} * job.srcChannels;

    // Integers to doubles.
    if (failed(job, job.srcSampleBytes == 2 || job.srcSampleBytes == 3)) {
        QRM_FAIL("Unexpected sample size %u in %s", job.srcSampleBytes, __func__);
        return;
    }
    if (failed(job, job.srcEndianessData == kBigEndian || job.srcEndianessData == kLittleEndian)) {
        QRM_FAIL("Unknown endianess value %u in %s", static_cast<unsigned>(job.srcEndianessData), __func__);
        return;
    }
    if (failed(job, job.srcAudioData.size() >= srcSamples * job.srcSampleBytes)) {
        QRM_FAIL("Unexpected dataSize in %s", __func__);
        return;
    }
    if (!allocateBuffer(job, job.audioIn, srcSamples)) return;
    platform::log("<Info> -------------------------------------------");
    platform::log("<Info> Processing stereo");
    platform::log(job.srcSampleBytes == 2
                      ? "<Info>  Convert audio from 16-bit integer into double precision"
                      : "<Info>  Convert audio from 24-bit integer into double precision");
    setStage(job, "Converting to double precision...");
    {
        Progress progress = jobProgress(job, 1, 0);
        if (!progress.set(0)) return;
        if (!pipeline::integersToDoubles(job.srcAudioData.data(), srcSamples, job.srcSampleBytes,
                                         job.srcEndianessData, job.audioIn.data(), progress))
            return;
    }
    job.srcAudioData.release();

    AnalyseAudioMetricsR128(job, 1);
    if (job.error) return;
    AnalyseAudioMetricsVeltrane(job, 1);
    if (job.error) return;

    // Rate conversion into the range of the stages.
    QuadDownSample(job);
    if (job.error) return;
    if (!allocateBuffer(job, job.audioBuf_0, size_t{job.dstFrames} * job.srcChannels)) return;
    DualUpSample(job);
    job.audioIn.release();
    if (job.error) return;

    // Word length: from here on the scale is that of the output word length.
    if (job.dstSampleBits != job.srcSampleBits) {
        platform::log("<Info>  Convert audio to 24-bit precision");
        job.setText(Column::state, "Converting to 24-bit precision...");
        job.setText(Column::sampleSizeBits,
                    platform::format("%u > %u", job.srcSampleBits, job.dstSampleBits));
        job.postRefresh();
        Progress progress = jobProgress(job, 1, 0);
        if (!progress.set(0)) return;
        const double factor =
            std::ldexp(1.0, static_cast<int>(job.dstSampleBits) - static_cast<int>(job.srcSampleBits));
        if (!pipeline::scaleSamples(job.audioBuf_0.data(), job.audioBuf_0.size(), factor, progress)) return;
    }

    WindUpSpeedChange(job);
    if (job.error) return;

    // Enhancement 1.
    if ((job.filterType_1 & kCd4Types) &&
        !allocateBuffer(job, job.audioBuf_0_sub, size_t{job.dstFrames} * job.srcChannels))
        return;
    if (!allocateBuffer(job, job.audioBuf_1, size_t{job.dstFrames} * job.dstChannels_1)) return;
    StereoEnhancement(job, 1);
    if (job.error) return;
    job.audioBuf_0.release();
    job.audioBuf_0_sub.release();

    if (job.filterType_2 != kTypeNO) {
        AnalyseAudioMetricsBasic(job, 2);
        if (job.error) return;
        AnalyseAudioMetricsVeltrane(job, 2);
        if (job.error) return;
    }

    // Enhancement 2. The final up-sampling doubles the audio in place.
    const size_t stageSamples = size_t{job.dstFrames} * job.dstChannels_2;
    if (!allocateBuffer(job, job.audioBuf_2, job.upsampleType == 4 ? 2 * stageSamples : stageSamples)) return;
    StereoEnhancement(job, 2);
    if (job.error) return;
    job.audioBuf_1.release();

    if (pipeline::ditherApplies(job)) {
        platform::log("<Info> Adding dither noise");
        setStage(job, "Adding dither noise...");
        Progress progress = jobProgress(job, 1, 0);
        if (!progress.set(0)) return;
        if (!pipeline::addDither(job.audioBuf_2.data(), size_t{job.dstFrames} * job.dstChannels_2, progress))
            return;
    }

    QuadUpSample(job);
    if (job.error) return;

    // Measurement and level management of the converted audio. Their problems do not fail
    // the conversion (the error is cleared once the output is packed); a stop does.
    AnalyseAudioMetricsBasic(job, 4);
    if (job.adjustDstR128 && job.calculateDstR128) {
        AnalyseAudioMetricsR128(job, 4);
        ClippingManagement(job, 4);
    } else {
        ClippingManagement(job, 4);
        AnalyseAudioMetricsR128(job, 4);
    }
    AnalyseAudioMetricsVeltrane(job, 4);
    if (job.checkCancelled() || (job.error & kErrorCancelled)) return;

    // Doubles to the stored integers of the output.
    const bool channelsOk = job.dstChannelsData > 0 &&
                            job.dstChannelsStart + job.dstChannelsData <= job.dstChannels_2 &&
                            job.audioBuf_2.size() >= size_t{job.dstFrames} * job.dstChannels_2;
    if (failed(job, channelsOk)) {
        QRM_FAIL("Unexpected output channels %u+%u of %u in %s", job.dstChannelsStart, job.dstChannelsData,
                 job.dstChannels_2, __func__);
        return;
    }
    if (failed(job, job.dstEndianessData == kBigEndian || job.dstEndianessData == kLittleEndian)) {
        QRM_FAIL("Unknown endianess value %u in %s", static_cast<unsigned>(job.dstEndianessData), __func__);
        return;
    }
    if (job.dstSampleBits == 16) {
        platform::log("<Info>  Convert audio from double precision to 16-bit integer");
        setStage(job, "Converting to 16-bit...");
    } else {
        platform::log("<Info>  Convert audio from double precision to 24-bit integer");
        setStage(job, "Converting to 24-bit...");
    }
    Progress progress = jobProgress(job, 1, 0);
    if (!progress.set(0)) return;
    if (!allocateBuffer(job, job.dstAudioData,
                        size_t{job.dstFrames} * job.dstChannelsData * job.dstSampleBytes))
        return;
    if (!pipeline::doublesToIntegers(job.audioBuf_2.data(), job.dstFrames, job.dstChannels_2,
                                     job.dstChannelsStart, job.dstChannelsData, job.dstSampleBytes,
                                     job.dstEndianessData, job.dstAudioData.data(), progress)) {
        job.dstAudioData.release();  // a half-packed output must never reach a writer
        return;
    }
    job.error = 0;
}

}  // namespace

void ProcessAudioData(AudioFile& job) {
    runStages(job);
    job.audioBuf_2.release();
    job.srcAudioData.release();
    job.audioIn.release();
    job.audioBuf_0.release();
    job.audioBuf_0_sub.release();
    job.audioBuf_1.release();
}

}  // namespace quiramo
