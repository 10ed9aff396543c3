#include "engine/AnalysisDriver.h"

#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>

#include "engine/FileTypes.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Metadata.h"
#include "measurement/LevelMetrics.h"
#include "platform/Assert.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

// The rates the conversion chain has coefficients for (176.4 and 192 kHz run at half rate).
constexpr double kSupportedFrameRates[] = {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0};

// The source-side reports, all measured at point 1.
constexpr unsigned kSourcePoint = 1;

std::string nameExtension(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext.empty() ? ext : ext.substr(1);
}

void showParameterTexts(AudioFile& job) {
    // A zero rate is rejected by the validation below; it must not divide first.
    const double seconds = job.srcFrameRate > 0.0 ? std::floor(job.srcFrames / job.srcFrameRate) : 0.0;
    const auto s = static_cast<unsigned long>(seconds);
    job.setText(Column::duration, platform::format("%02lu:%02lu", s / 60, s % 60));
    job.setText(Column::frameRate, platform::format("%.0f", job.srcFrameRate));
    job.setText(Column::channels, platform::format("%u", job.srcChannels));
    job.setText(Column::sampleSizeBits, platform::format("%u", job.srcSampleBits));
    job.postRefresh();
}

}  // namespace

std::string readyText(const AudioFile& job) {
    std::string text = "Ready to convert. ";
    const auto& order = catalogue::priorConversionPrintOrder();
    for (int p : order) {
        if (p >= 1 && (job.warning_1 & catalogue::bit(p))) {
            text += platform::format("Prior conversion: %s", catalogue::nameForPriorPosition(p));
        }
    }
    if (job.warning_2 & ~uint64_t{1}) {
        if (job.warning_2 & 1) text += ". ";
        for (int p : order) {
            if (p >= 1 && (job.warning_2 & catalogue::bit(p))) {
                text += platform::format(" + %s", catalogue::nameForPriorPosition(p));
            }
        }
    }
    text += analysisWarningTexts(job.warning);
    return text;
}

void ValidateAudioParameters(AudioFile& job) {
    if (job.srcChannels != 2) {
        platform::log("<ERROR> Channels must be 2");
        job.error |= kErrorChannels;
    }
    if (job.srcSampleBits != 16 && job.srcSampleBits != 24) {
        platform::log("<ERROR> Sample size (%u) is not supported", job.srcSampleBits);
        job.error |= kErrorBitDepth;
    }
    bool rateSupported = false;
    for (double rate : kSupportedFrameRates) rateSupported = rateSupported || job.srcFrameRate == rate;
    if (!rateSupported) {
        platform::log("<ERROR> Frame rate is not supported");
        job.error |= kErrorFrameRate;
    }
    if (job.srcEndianessData == kOrderUnknown) {
        platform::log("<ERROR> Audio data endianess is unknown");
        job.error |= kErrorAudioData;
    }
}

void AnalyseFileThread(AudioFile& job, const settings::Snapshot& snapshot) {
    settings::applySnapshot(job, snapshot);
    job.state = kStateAnalysing;

    // Analyses run one at a time; the lock is held for the whole pass and released on
    // every way out.
    std::lock_guard analysisLock(snapshot.lock());

    QRM_ASSERT(job.error == 0, "There is an error too early in the thread in %s", __func__);
    QRM_ASSERT(job.warning == 0 && job.warning_1 == 0 && job.warning_2 == 0,
               "There is a warning too early in the thread in %s", __func__);

    job.setText(Column::state, "Analysing...");
    job.postRefresh();

    // Read afresh: a warning switched off in another file's dialog applies at once.
    job.warnPreprocess = platform::host().readStoredSetting("WarnPreprocess") == "YES";

    platform::log("<Info> ===============================================================");
    platform::log("<Info> Analysing audio file: %s", job.inputFile.c_str());
    const std::string extension = nameExtension(job.inputFile);

    if (job.srcFileType == 0) {
        platform::log("<ERROR> File extension '%s' is NOT supported.", extension.c_str());
        job.error |= kErrorFileType;
    } else {
        platform::log("<Info>  File extension '%s' is supported.", extension.c_str());
        ReadSourceFile(job, true);
        if (job.error == 0) {
            showParameterTexts(job);
            ValidateAudioParameters(job);
            job.srcMetrics.clear();
            job.midMetrics.clear();
            job.dstMetrics.clear();
            AnalyseAudioMetricsBasic(job, kSourcePoint);
            AnalyseAudioMetricsBEXT(job, kSourcePoint);
            AnalyseAudioMetricsIXML(job, kSourcePoint);
            AnalyseAudioMetricsVorbis(job, kSourcePoint);
        }
    }

    if (job.error == 0) {
        job.setText(Column::state, readyText(job));
    } else {
        job.showErrorTexts();
    }
    // The row is final before the table hears of it, so the refresh never shows state 3.
    job.state = kStateAnalysed;
    job.postRefresh();
}

}  // namespace quiramo
