#include "measurement/LevelMetrics.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

constexpr double kSurroundWeight = 1.41;   // sL and sR in the 5.1 RMS
constexpr double kCorrelationLeak = 0.01;  // keeps the correlation figure within ±40 dB

// "mm:ss" of frames at a frame rate, truncated to whole seconds.
std::string timeText(uint64_t frames, double frameRate) {
    const double seconds = frameRate > 0.0 ? std::floor(static_cast<double>(frames) / frameRate) : 0.0;
    const auto s = static_cast<unsigned long>(seconds);
    return platform::format("Time = %02lu:%02lu", s / 60, s % 60);
}

// The local date and time of the conversion, as the signature chunk writes it.
std::string dateText() {
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char text[64];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return text;
}

void addLine(std::vector<std::string>& report, std::string line) {
    report.push_back(std::move(line));
}

// Source lines are logged as well as reported.
void addLogged(std::vector<std::string>& report, std::string line) {
    platform::log("<Info>  %s", line.c_str());
    addLine(report, std::move(line));
}

// Level of a peak or RMS value in dB re full scale: -inf for silence.
double dBFS(double value, double fullScale) {
    return 20.0 * std::log10(value / fullScale);
}

// Sums and peaks of one pass over the buffer.
struct LevelSums {
    std::vector<double> squares;                 // per channel
    std::vector<double> peaks;                   // per channel, largest |sample|
    double midSquares = 0.0, sideSquares = 0.0;  // stereo only
    double midPeak = 0.0, sidePeak = 0.0;
};

// One sequential pass: per-channel sums of squares and peaks and, for two channels, those
// of mid (L+R)/2 and side (L-R)/2. False when the job was asked to stop.
bool sumLevels(const double* samples, uint64_t frames, unsigned channels, Progress& progress,
               LevelSums& sums) {
    sums.squares.assign(channels, 0.0);
    sums.peaks.assign(channels, 0.0);
    if (channels == 2) {
        double sl = 0.0, sr = 0.0, sm = 0.0, sd = 0.0, pl = 0.0, pr = 0.0, pm = 0.0, pd = 0.0;
        for (uint64_t i = 0; i < frames; ++i) {
            const double l = samples[2 * i], r = samples[2 * i + 1];
            const double m = (l + r) / 2.0, d = (l - r) / 2.0;
            sl += l * l, sr += r * r, sm += m * m, sd += d * d;
            pl = std::max(pl, std::fabs(l)), pr = std::max(pr, std::fabs(r));
            pm = std::max(pm, std::fabs(m)), pd = std::max(pd, std::fabs(d));
            if (!progress.step()) return false;
        }
        sums.squares = {sl, sr};
        sums.peaks = {pl, pr};
        sums.midSquares = sm, sums.sideSquares = sd, sums.midPeak = pm, sums.sidePeak = pd;
        return true;
    }
    for (uint64_t i = 0; i < frames; ++i) {
        const double* frame = samples + i * channels;
        for (unsigned c = 0; c < channels; ++c) {
            sums.squares[c] += frame[c] * frame[c];
            sums.peaks[c] = std::max(sums.peaks[c], std::fabs(frame[c]));
        }
        if (!progress.step()) return false;
    }
    return true;
}

struct PointNames {
    const char* stateText;
    const char* logName;
};

}  // namespace

void AnalyseAudioMetricsBasic(AudioFile& job, unsigned point) {
    switch (point) {
        case 1: {
            auto& report = job.srcMetrics;
            platform::log("<Info> Analysing the source audio basic metrics");
            addLogged(report, timeText(job.srcFrames, job.srcFrameRate));
            addLogged(report, platform::format("Frames = %u", job.srcFrames));
            addLogged(report, platform::format("Frame Rate = %.1f", job.srcFrameRate));
            addLogged(report, platform::format("Channels = %u", job.srcChannels));
            addLogged(report, platform::format("Bit Depth = %u", job.srcSampleBits));

            const bool picture =
                !job.srcPictureChunkDict.empty() && !job.srcPictureChunkDict.front().data.empty();
            if (job.srcID3ChunkData.empty() && job.srcBextChunkData.empty() && job.srcIXMLChunkData.empty() &&
                job.srcVorbisComments.empty() && !picture) {
                return;
            }
            platform::log("<Info> Analysing the source audio metadata");
            addLine(report, "---- Metadata ----");
            auto bytes = [](size_t n) { return static_cast<unsigned long>(n); };
            if (!job.srcID3ChunkData.empty()) {
                addLine(report, platform::format("ID3v2 = %lu bytes", bytes(job.srcID3ChunkData.size())));
            }
            if (!job.srcBextChunkData.empty()) {
                addLine(report,
                        platform::format("BWF (bext) = %lu bytes", bytes(job.srcBextChunkData.size())));
            }
            if (!job.srcIXMLChunkData.empty()) {
                addLine(report,
                        platform::format("BWF (iXML) = %lu bytes", bytes(job.srcIXMLChunkData.size())));
            }
            if (!job.srcVorbisComments.empty()) {
                addLine(report,
                        platform::format("FLAC Vorbis Comments = %lu", bytes(job.srcVorbisComments.size())));
            }
            if (picture) {
                addLine(report, platform::format("FLAC Picture = %lu bytes",
                                                 bytes(job.srcPictureChunkDict.front().data.size())));
            }
            return;
        }
        case 2: {
            auto& report = job.midMetrics;
            platform::log("<Info> Analysing the mid-enhancement audio basic metrics");
            addLine(report, timeText(job.dstFrames, job.dstFrameRate));
            addLine(report, platform::format("Frames = %u", job.dstFrames));
            addLine(report, platform::format("Frame Rate = %.1f", job.dstFrameRate));
            addLine(report, platform::format("Channels = %u", job.dstChannels_1));
            addLine(report, platform::format("Bit Depth = %u", job.dstSampleBits));
            return;
        }
        case 4: {
            auto& report = job.dstMetrics;
            platform::log("<Info> Analysing the destination audio basic metrics");
            const bool hiResEnabled = (job.filterType_1 & catalogue::kTypeHR) != 0 || job.hiResType == 1;
            addLine(report, platform::format("Enhancement = %s", job.text(Column::filter).c_str()));
            addLine(report, platform::format("Date = %s", dateText().c_str()));
            addLine(report, timeText(job.dstFrames, job.dstFrameRate));
            addLine(report, platform::format("Frames = %u", job.dstFrames));
            addLine(report, platform::format("Frame Rate = %.1f", job.dstFrameRate));
            addLine(report, platform::format("Channels = %u", job.dstChannelsData));
            addLine(report, platform::format("Bit Depth = %u", job.dstSampleBits));
            addLine(report, platform::format("Hi-Res enabled = %s", hiResEnabled ? "YES" : "NO"));
            addLine(report, platform::format("Hi-Res used = %s", job.upsampleType == 2 ? "YES" : "NO"));
            addLine(report, platform::format("Dither = %s", job.ditherType == 1 ? "On" : "Off"));
            return;
        }
        default:
            return;
    }
}

void AnalyseAudioMetricsVeltrane(AudioFile& job, unsigned point) {
    const SampleBuffer* buffer = nullptr;
    std::vector<std::string>* report = nullptr;
    uint64_t frames = 0;
    unsigned channels = 0, bits = 0;
    PointNames names{};
    switch (point) {
        case 1:
            buffer = &job.audioIn, report = &job.srcMetrics;
            frames = job.srcFrames, channels = job.srcChannels, bits = job.srcSampleBits;
            names = {"Analysing source Veltrane metrics...", "source"};
            break;
        case 2:
            buffer = &job.audioBuf_1, report = &job.midMetrics;
            frames = job.dstFrames, channels = job.dstChannels_1, bits = job.dstSampleBits;
            names = {"Analysing mid-enhancement Veltrane metrics...", "mid-enhancement"};
            break;
        case 4:
            buffer = &job.audioBuf_2, report = &job.dstMetrics;
            frames = job.dstFrames, channels = job.dstChannels_2, bits = job.dstSampleBits;
            names = {"Analysing converted Veltrane metrics...", "destination"};
            break;
        default:
            return;
    }

    job.setText(Column::state, names.stateText);
    job.postRefresh();
    platform::log("<Info> Analysing the %s audio Veltrane metrics", names.logName);
    if (channels == 0 || bits < 2 || bits > 32) {
        QRM_FAIL("Unexpected channels %u or sample size %u in %s", channels, bits, __func__);
        return;
    }
    if (buffer->size() / channels < frames) {
        QRM_FAIL("Sample buffer holds fewer than %lu frames in %s", static_cast<unsigned long>(frames),
                 __func__);
        return;
    }

    Progress progress = jobProgress(job, progressInterval(frames), 0);
    if (!progress.set(0)) return;
    LevelSums sums;
    if (!sumLevels(buffer->data(), frames, channels, progress, sums)) return;

    const double fullScale = std::ldexp(1.0, static_cast<int>(bits) - 1);
    // A sample of FS - 1 is as loud as the format goes: read it as FS, so that a signal
    // reaching positive full scale is 0 dBFS.
    auto peakOf = [fullScale](double peak) { return peak == fullScale - 1.0 ? fullScale : peak; };
    auto rmsOf = [frames](double squares) {
        return frames > 0 ? std::sqrt(squares / static_cast<double>(frames)) : 0.0;
    };

    auto& lines = *report;
    addLine(lines, "---- Veltrane Metrics ----");
    for (unsigned c = 0; c < channels; ++c) {
        const double peak = peakOf(sums.peaks[c]);
        const double rms = rmsOf(sums.squares[c]);
        // A silent channel has no crest: it is shown as nan, its peak level as -inf.
        const double crest =
            rms > 0.0 ? 20.0 * std::log10(peak / rms) : std::numeric_limits<double>::quiet_NaN();
        const double level = dBFS(peak, fullScale);
        platform::log("<Info>  Ch%u: Peak = %.1f (%.3f dBFS), RMS = %.3f, Crest = %.3f", c, peak, level, rms,
                      crest);
        addLine(lines, platform::format("Ch %u: Peak = %.1f (%.3f dBFS), RMS = %.3f, Crest = %.3f", c + 1,
                                        peak, level, rms, crest));
    }

    if (channels == 6) {
        const auto& s = sums.squares;
        const double rms51 = rmsOf((s[4] + s[5]) * kSurroundWeight + s[0] + s[1] + s[2]);
        const double leq51 = dBFS(rms51, fullScale);
        platform::log("<Info>  RMS 5.1 = %.3f", rms51);
        platform::log("<Info>  Equivalent Continuous Sound Level (Leq 5.1) = %.3f dB", leq51);
        addLine(lines, platform::format("RMS 5.1 = %.3f", rms51));
        addLine(lines, platform::format("Equivalent Continuous Sound Level (Leq 5.1) = %.3f dB", leq51));
    }

    if (channels == 2) {
        const double sl = sums.squares[0], sr = sums.squares[1];
        const double midPeak = peakOf(sums.midPeak), sidePeak = peakOf(sums.sidePeak);
        const double midRms = rmsOf(sums.midSquares), sideRms = rmsOf(sums.sideSquares);
        // As measured, for the report: 0 or inf with one silent channel, nan with two.
        const double ratio = sr > 0.0   ? sl / sr
                             : sl > 0.0 ? std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::quiet_NaN();
        // The stored ratio drives the cartridge balance (gains 1/√r and √r). With a silent
        // channel there is no balance to correct, and 0 or infinity there would wipe out or
        // blow up the audio, so it is stored as 1.
        job.rmsRatio = sl > 0.0 && sr > 0.0 ? ratio : 1.0;
        const double leq = dBFS(midRms, fullScale);
        // Digital silence in both channels is neither correlated nor opposed: 0 dB.
        const double num = midRms + kCorrelationLeak * sideRms, den = sideRms + kCorrelationLeak * midRms;
        job.ccc = den > 0.0 ? 20.0 * std::log10(num / den) : 0.0;

        platform::log("<Info>  (L+R)/2: Peak = %.1f (%.3f dBFS), RMS = %.3f", midPeak,
                      dBFS(midPeak, fullScale), midRms);
        platform::log("<Info>  (L-R)/2: Peak = %.1f (%.3f dBFS), RMS = %.3f", sidePeak,
                      dBFS(sidePeak, fullScale), sideRms);
        platform::log("<Info>  Equivalent Continuous Sound Level (Leq) = %.3f dB", leq);
        platform::log("<Info>  Channel correlation coefficient (CCC) = %.3f dB", job.ccc);
        addLine(lines, platform::format("L/R RMS Ratio = %.5f (%.3f dBFS)", ratio, 20.0 * std::log10(ratio)));
        addLine(lines, platform::format("(L+R)/2: Peak = %.1f (%.3f dBFS), RMS = %.3f", midPeak,
                                        dBFS(midPeak, fullScale), midRms));
        addLine(lines, platform::format("(L-R)/2: Peak = %.1f (%.3f dBFS), RMS = %.3f", sidePeak,
                                        dBFS(sidePeak, fullScale), sideRms));
        addLine(lines, platform::format("Equivalent Continuous Sound Level (Leq) = %.3f dB", leq));
        addLine(lines, platform::format("Channel Correlation Coefficient (CCC) = %.3f dB", job.ccc));
    }
}

}  // namespace quiramo
