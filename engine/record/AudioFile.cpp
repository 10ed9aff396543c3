#include "engine/record/AudioFile.h"

#include <strings.h>

#include <cstring>

#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

struct BitText {
    int bit;
    const char* text;
};

constexpr BitText kErrorTexts[] = {
    {kErrorUnknown, "Unknown error. "},
    {kErrorMemory, "Memory allocation error. "},
    {kErrorCannotOpen, "Cannot open file. "},
    {kErrorCannotSave, "Cannot save file. "},
    {kErrorFileType, "Invalid file type. "},
    {kErrorHeader, "Invalid file header. "},
    {kErrorFrameRate, "Unsupported frame rate. "},
    {kErrorChannels, "Unsupported number of channels. "},
    {kErrorBitDepth, "Unsupported sample bit depth. "},
    {kErrorCompression, "Unsupported compression type. "},
    {kErrorAudioData, "Invalid audio data. "},
    {kErrorCancelled, "Cancelled. "},
    {kErrorHalfSpeedRate, "Invalid frame-rate for half-speed needle drop. "},
};

// Warnings both passes show, in their order of appending.
constexpr BitText kSharedWarningTexts[] = {
    {kWarningTruncated4GB, "Output file truncated to 4GB limit. "},
    {kWarningOddChunk, "Header chunk has odd number of bytes. "},
    {kWarningTooShortForR128, "File is too short for R128 analysis. "},
    {kWarningCdEmphasis, "50/15 \u03bcs emphasis detected. Requires CD de-emphasis equalisation. "},
    {kWarningJ17Emphasis, "CCITT J.17 emphasis detected. Requires Radio de-emphasis equalisation. "},
    {kWarningNoRadar, "No RADAR detected for CD-4 quadraphonic decode. "},
    {kWarningWowNotDetected, "Failed to detect Wow! "},
};

constexpr const char* kColumnIds[kColumnCount] = {
    "sourceNameTableText", "fileTypeTableText",    "stateTableText",          "progressTableText",
    "durationTableText",   "frameRateTableText",   "channelsTableText",       "sampleSizeBitsTableText",
    "filterTableText",     "destinationNameTableText",
};

std::string extensionOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

std::string withoutExtension(const std::string& name) {
    const auto slash = name.find_last_of('/');
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name;
    // A leading dot names a hidden file, not an extension.
    if (dot == 0 || (slash != std::string::npos && dot == slash + 1)) return name;
    return name.substr(0, dot);
}

}  // namespace

const char* columnIdentifier(Column column) { return kColumnIds[static_cast<int>(column)]; }

const std::string& RowTexts::get(Column column) const { return const_cast<RowTexts*>(this)->get(column); }

std::string& RowTexts::get(Column column) {
    switch (column) {
        case Column::sourceName: return sourceNameTableText;
        case Column::fileType: return fileTypeTableText;
        case Column::state: return stateTableText;
        case Column::progress: return progressTableText;
        case Column::duration: return durationTableText;
        case Column::frameRate: return frameRateTableText;
        case Column::channels: return channelsTableText;
        case Column::sampleSizeBits: return sampleSizeBitsTableText;
        case Column::filter: return filterTableText;
        case Column::destinationName: break;
    }
    return destinationNameTableText;
}

std::string errorTexts(int errorBits) {
    std::string out;
    for (const auto& e : kErrorTexts) {
        if (errorBits & e.bit) out += e.text;
    }
    return out;
}

std::string analysisWarningTexts(int warningBits) {
    std::string out;
    for (const auto& w : kSharedWarningTexts) {
        if (warningBits & w.bit) out += w.text;
    }
    return out;
}

AudioFile::AudioFile(const std::string& path, bool showExtension, bool showFullPath) {
    state = kStateBuilding;
    contextAction = 0;
    error = 0;
    warning = 0;
    warning_1 = warning_2 = 0;
    inputFile = path;

    std::string name = path;
    if (!showFullPath) {
        const auto slash = path.find_last_of('/');
        if (slash != std::string::npos) name = path.substr(slash + 1);
    }
    if (!showExtension) name = withoutExtension(name);
    texts_.sourceNameTableText = name;

    const std::string ext = extensionOf(path);
    auto is = [&ext](const char* e) { return strcasecmp(ext.c_str(), e) == 0; };
    if (is("AIF") || is("AIFF") || is("AIFC")) {
        srcFileType = 8;  // the AIFF reader settles 4 or 8 and sets the type text
    } else if (is("WAV")) {
        srcFileType = 2;
        texts_.fileTypeTableText = "WAV audio";
    } else if (is("FLAC")) {
        srcFileType = 16;
        texts_.fileTypeTableText = "FLAC audio";
    } else {
        srcFileType = 0;
        texts_.fileTypeTableText = "Unsupported";
    }

    texts_.stateTableText = "--";
    texts_.durationTableText = "--";
    texts_.frameRateTableText = "--";
    texts_.channelsTableText = "--";
    texts_.sampleSizeBitsTableText = "--";
    texts_.filterTableText = "--";
    texts_.destinationNameTableText = "--";
    texts_.progressTableText.clear();
    progressTableTextLastUpdate = std::chrono::steady_clock::now();
    state = kStateWaiting;
}

RowTexts AudioFile::rowTexts() const {
    std::lock_guard lock(textMutex_);
    return texts_;
}

std::string AudioFile::text(Column column) const {
    std::lock_guard lock(textMutex_);
    return texts_.get(column);
}

void AudioFile::setText(Column column, std::string value) {
    std::lock_guard lock(textMutex_);
    texts_.get(column) = std::move(value);
}

void AudioFile::appendText(Column column, std::string_view value) {
    std::lock_guard lock(textMutex_);
    texts_.get(column) += value;
}

void AudioFile::postRefresh() const { platform::host().postRefresh(this); }

bool AudioFile::updateProgressTableText(unsigned percent) {
    if (checkCancelled()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (percent >= 100) {
        percent = 100;
    } else if (percent > 0 && now - progressTableTextLastUpdate <= std::chrono::milliseconds(100)) {
        return true;
    }
    progressTableTextLastUpdate = now;
    setText(Column::progress, platform::format("%u%%", percent));
    postRefresh();
    return true;
}

bool AudioFile::checkCancelled() {
    if (!cancelRequested()) return false;
    error |= kErrorCancelled;
    return true;
}

void AudioFile::showErrorTexts() {
    std::lock_guard lock(textMutex_);
    texts_.destinationNameTableText = "--";
    texts_.stateTableText = errorTexts(error);
}

std::string AudioFile::processingResultText() const {
    const int w = warning;
    std::string out;
    if (w & kWarningLoudnessAdjusted) out += platform::format("Loudness adjusted to %.1f LUFS. ", adjustDstR128Level);
    if (w & kWarningAttenuated) out += platform::format("Attenuated by %.2fdB to avoid excessive clipping. ", clipdB);
    if (w & kWarningExcessiveClipping) out += platform::format("Excessive clipping in converted file (%.2fdB). ", clipdB);
    out += analysisWarningTexts(w);
    if (warning_1 & ~uint64_t{1}) out += "Multiple converts. ";
    out += "Complete.";
    return out;
}

void AudioFile::ShowFileAlreadyProcessedWarning(const std::string& t) {
    auto& h = platform::host();
    const bool suppress =
        h.showAlreadyProcessedWarning(platform::format("This source file has already been processed with %s.", t.c_str()));
    if (suppress) h.storeChoice("WarnPreprocess", "NO");
}

void reportAllocationFailure(AudioFile& job) {
    platform::log("<ERROR> Memory allocation");
    job.error |= kErrorMemory;
}

bool AllocateSrcAudioData(AudioFile& job, size_t size) {
    // A header with absurd counts must not wrap round to a product that happens to match.
    uint64_t expected = 0;
    const bool overflow =
        __builtin_mul_overflow(uint64_t{job.srcFrames}, uint64_t{job.srcChannels}, &expected) ||
        __builtin_mul_overflow(expected, uint64_t{job.srcSampleBytes}, &expected);
    if (overflow || size != expected) {
        QRM_FAIL("Unexpected dataSize in %s", "CreateSrcAudioData");  // the operation readers know
        job.error |= kErrorUnknown;  // a handler that returns must not let the pass go on
        return false;
    }
    return allocateBuffer(job, job.srcAudioData, size);
}

void CreateSrcAudioData(AudioFile& job, const uint8_t* data, size_t size) {
    if (AllocateSrcAudioData(job, size) && size > 0) std::memcpy(job.srcAudioData.data(), data, size);
}

namespace {
bool reportToJob(void* context, unsigned percent) {
    return static_cast<AudioFile*>(context)->updateProgressTableText(percent);
}
}  // namespace

Progress jobProgress(AudioFile& job, uint64_t interval, unsigned start) {
    return Progress(&reportToJob, &job, interval, start);
}

}  // namespace quiramo
