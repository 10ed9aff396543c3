#include "engine/ProcessingDriver.h"

#include <sys/stat.h>

#include <mutex>
#include <vector>

#include "engine/FileTypes.h"
#include "engine/Pipeline.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "platform/Assert.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using namespace catalogue;

// Whether a name is taken. A name that cannot be looked up (its folder is a file, or the
// name is too long) is no better under another number, and counting on would never end:
// it is tried, and the write, which never replaces a file, fails with the system's reason.
bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOf(const std::string& name) {
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string stripExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string durationText(unsigned long seconds) {
    return platform::format("%02lu:%02lu", seconds / 60, seconds % 60);
}

bool isHighRate(double rate) { return rate == 176400.0 || rate == 192000.0; }

// Needle-drop speed rules: only a phonograph replay curve knows the capture speed.
struct SpeedPlan {
    bool halfSpeed = false;
    double numerator = 0.0;
};

SpeedPlan speedPlanFor(const AudioFile& job) {
    SpeedPlan plan;
    if (!(job.filterType_1 & kPhonographReplayEqTypes)) return plan;
    plan.halfSpeed = job.captureSpeed == 2;
    switch (job.captureSpeed) {
        case 3: plan.numerator = 7.0; break;
        case 4: plan.numerator = 6.0; break;
        case 5: plan.numerator = 8.0; break;
        case 6: plan.numerator = 4.0; break;
        default: break;
    }
    return plan;
}

// Output type, byte orders and name extension from the output format.
bool decideOutputType(AudioFile& job, std::string& extension) {
    const OutputFormat* format = findOutputFormat(job.outputFormatType);
    if (!format) {
        QRM_FAIL("Unknown output format type in %s", __func__);
        return false;
    }
    if (format->value == 1) {
        job.dstFileType = job.srcFileType;
        job.dstEndianessValues = job.srcEndianessValues;
        job.dstEndianessData = job.srcEndianessData;
        extension = extensionOf(lastComponent(job.inputFile));
    } else {
        job.dstFileType = format->value;
        job.dstEndianessValues = format->headerOrder;
        job.dstEndianessData = format->dataOrder;
        extension = format->extension;
    }
    return true;
}

// The output parameters the pipeline and the writers work with.
void decideOutputParameters(AudioFile& job, const SpeedPlan& plan) {
    const bool flac = job.dstFileType == kFileFLAC;
    job.upsampleType = 1;
    job.dstFrames = job.srcFrames;
    job.dstFrameRate = job.srcFrameRate;
    job.dstSampleBits = job.srcSampleBits;
    job.dstSampleBytes = flac ? 4 : job.srcSampleBytes;
    job.dstChannels_1 = job.dstChannels_2 = job.dstChannelsData = job.srcChannels;
    job.dstChannelsStart = 0;
    if (isHighRate(job.srcFrameRate)) job.upsampleType = plan.halfSpeed ? 8 : 4;

    const uint64_t both = job.filterType_1 | job.filterType_2;
    const bool hiRes = job.filterType_1 == kTypeHR || job.hiResType == 1 || (both & kTypeGR) ||
                       ((both & kPhonographReplayEqTypes) && job.useLpDistortionCancel);
    if (hiRes) {
        if (job.srcFrameRate == 44100.0 || job.srcFrameRate == 48000.0) {
            job.upsampleType = 2;
            job.dstFrames = 2 * job.srcFrames;
            job.dstFrameRate = 2 * job.srcFrameRate;
        }
        job.dstSampleBits = 24;
        job.dstSampleBytes = flac ? 4 : 3;
        if (job.dstFileType == kFileAIFC) job.dstEndianessData = kBigEndian;
    }

    if (job.filterType_1 & kMultichannelTypes) {
        job.dstChannels_1 = 6;
        job.dstChannels_2 = 6;
    } else if (job.filterType_2 & kMultichannelTypes) {
        job.dstChannels_2 = 6;
    }
    if (job.dstChannels_2 == 6) {
        const OutputFormat* format = findOutputFormat(job.dstFileType);
        if (format && format->channelsWritten != 0) {
            job.dstChannelsData = format->channelsWritten;
            job.dstChannelsStart = format->firstChannel;
        } else {
            job.dstChannelsData = 6;
            job.dstChannelsStart = 0;
        }
    } else {
        job.dstChannelsData = job.dstChannels_2;
        job.dstChannelsStart = 0;
    }
}

void releaseBuffers(AudioFile& job) {
    job.dstAudioData.release();
    job.srcAudioData.release();
    job.audioIn.release();
    job.audioBuf_0.release();
    job.audioBuf_0_sub.release();
    job.audioBuf_1.release();
    job.audioBuf_2.release();
}

// Steps 4 to 21: everything between taking the lock and the result.
void convert(AudioFile& job) {
    const SpeedPlan plan = speedPlanFor(job);

    job.state = kStateConverting;
    job.setText(Column::state, "Reading file...");
    job.setText(Column::progress, "");
    job.postRefresh();
    platform::log("<Info> ===============================================================");
    platform::log("<Info> Processing audio file: %s", job.inputFile.c_str());

    if (job.checkCancelled()) return;
    if (plan.halfSpeed && isHighRate(job.srcFrameRate)) job.error |= kErrorHalfSpeedRate;
    if ((job.filterType_1 & kCd4Types) && job.srcFrameRate != 96000.0) {
        platform::log("<ERROR> Frame rate is not supported for CD-4 quadraphonic decode");
        job.error |= kErrorFrameRate;
        return;
    }
    if (job.error) return;
    ReadSourceFile(job, false);
    if (job.error) return;
    // Every later stage works on whole frames and asserts that it has some. The analysis
    // cannot always tell: a FLAC stream may leave its length unstated.
    if (job.srcFrames == 0) {
        platform::log("<ERROR> The source holds no audio frames");
        job.error |= kErrorAudioData;
        return;
    }

    const auto s0 = static_cast<unsigned long>(job.srcFrames / job.srcFrameRate);
    if (plan.halfSpeed) {
        const double old = job.srcFrameRate;
        job.srcFrameRate = 2 * old;
        platform::log("<Info> Source frame rate doubled from %.0f to %.0f", old, job.srcFrameRate);
        const auto s1 = static_cast<unsigned long>(job.srcFrames / job.srcFrameRate);
        job.setText(Column::duration, durationText(s0) + " > " + durationText(s1));
        if (old == 44100.0 || old == 48000.0) {
            job.setText(Column::frameRate, platform::format("%.0f > %.0f", old, job.srcFrameRate));
        }
        job.postRefresh();
    }
    if (plan.numerator != 0.0) {
        const auto s1 = static_cast<unsigned long>(job.srcFrames / job.srcFrameRate * 3.0 / plan.numerator);
        job.setText(Column::duration, durationText(s0) + " > " + durationText(s1));
        job.postRefresh();
    }

    std::string extension;
    if (!decideOutputType(job, extension)) {
        job.error |= kErrorUnknown;
        return;
    }
    if (job.dstFileType != job.srcFileType) {
        job.appendText(Column::fileType, std::string(" > ") + fileTypeText(job.dstFileType));
    }

    bool renamed = false;
    const std::string folder = job.destinationPathFollows ? folderOf(job.inputFile) : job.destinationPath;
    const std::string path = destinationPathFor(folder, stripExtension(lastComponent(job.inputFile)),
                                                job.destinationFileSuffix, extension, renamed);
    job.setText(Column::destinationName, path);
    job.postRefresh();

    decideOutputParameters(job, plan);
    const uint64_t bytes = uint64_t{job.dstFrames} * job.dstSampleBytes * job.dstChannelsData;
    platform::log("<Info> Destination file is %llu bytes uncompressed (%.2f%% of 4GB)",
                  static_cast<unsigned long long>(bytes), static_cast<double>(bytes) * 100.0 / 4294967296.0);
    if (bytes > 4294967295ULL && job.dstFileType != kFileFLAC) {
        platform::log("<WARNING> Output audio will be truncated to fit within 4GB limit");
    }

    if (job.error == 0) ProcessAudioData(job);
    if (job.error == 0 && job.checkCancelled()) return;

    std::vector<uint8_t> image;
    if (job.error == 0) {
        job.setText(Column::state, "Buffering...");
        job.setText(Column::progress, "");
        job.postRefresh();
        platform::log("<Info> -------------------------------------------");
        platform::log("<Info> Creating destination buffer");
        WriteDestination(job, image, path);
    }
    if (job.error != 0 || job.checkCancelled()) return;

    platform::log("<Info> -------------------------------------------");
    platform::log("<Info> Writing destination buffer as audio file: %s %s", path.c_str(), renamed ? "(renamed)" : "");
    if (job.dstFileType == kFileFLAC) return;  // the FLAC writer has written the file itself
    job.setText(Column::state, "Writing file...");
    job.setText(Column::progress, "");
    job.postRefresh();
    std::string errorText;
    if (!platform::writeFileAtomically(path, image.data(), image.size(), errorText)) {
        platform::log("<ERROR> %s", errorText.c_str());
        job.error |= kErrorCannotSave;
    }
}

}  // namespace

std::string destinationPathFor(const std::string& folder, const std::string& base, const std::string& suffix,
                               const std::string& extension, bool& renamed) {
    const std::string first = folder + "/" + base + suffix;
    std::string path = first + "." + extension;
    renamed = false;
    for (unsigned long n = 1; exists(path); ++n) {
        path = platform::format("%s-%lu.%s", first.c_str(), n, extension.c_str());
        renamed = true;
    }
    return path;
}

void ProcessFileThread(AudioFile& job, const settings::Snapshot& snapshot) {
    settings::applySnapshot(job, snapshot);
    job.state = kStateQueued;
    job.setText(Column::state, "Queued");
    std::string filter = displayName(job.filterType_1);
    if (job.filterType_2 != kTypeNO) filter += std::string(" + ") + displayName(job.filterType_2);
    job.setText(Column::filter, filter);
    job.postRefresh();

    std::lock_guard lock(snapshot.lock());
    QRM_ASSERT(job.error == 0, "There is an error too early in the thread in %s", __func__);

    convert(job);
    releaseBuffers(job);
    releaseSpareMemory();

    // Texts first, then the state: whoever sees the final state sees the final texts.
    if (job.error == 0) {
        job.setText(Column::state, job.processingResultText());
        job.setText(Column::progress, "");
        platform::log("<Info> Complete");
        job.state = kStateConverted;
    } else {
        job.showErrorTexts();
        job.state = kStateFailed;
    }
    job.postRefresh();
}

}  // namespace quiramo
