#pragma once
// The job record: one per queued file. It carries the settings of the pass under way, the
// audio parameters of source and output, the sample buffers, the metrics, the result bits
// and the texts of the file's table row. Every audio operation of the engine is a free
// function taking the record first.
//
// Threads: a pass works on the record from its own thread while the main thread reads the
// row. The row texts therefore live behind a mutex and are read as a copy (rowTexts());
// `state`, `error` and `warning` are atomics. Everything else belongs to the pass.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/record/Buffer.h"

namespace quiramo {

// Error bits of `error`, in the order their texts are appended.
enum ErrorBit : int {
    kErrorUnknown = 1,
    kErrorMemory = 2,
    kErrorCannotOpen = 4,
    kErrorCannotSave = 8,
    kErrorFileType = 16,
    kErrorHeader = 32,
    kErrorFrameRate = 64,
    kErrorChannels = 128,
    kErrorBitDepth = 256,
    kErrorCompression = 512,
    kErrorAudioData = 1024,
    kErrorCancelled = 4096,
    kErrorHalfSpeedRate = 16384,
};

// Warning bits of `warning`.
enum WarningBit : int {
    kWarningAttenuated = 1,
    kWarningExcessiveClipping = 2,
    kWarningOddChunk = 4,
    kWarningTooShortForR128 = 8,
    kWarningLoudnessAdjusted = 16,
    kWarningCdEmphasis = 32,
    kWarningJ17Emphasis = 64,
    kWarningNoRadar = 128,
    kWarningWowNotDetected = 256,
    kWarningTruncated4GB = 512,
};

// Job states.
enum JobState : int {
    kStateBuilding = 1,
    kStateWaiting = 2,
    kStateAnalysing = 3,
    kStateAnalysed = 4,
    kStateQueued = 5,
    kStateConverting = 7,
    kStateConverted = 8,
    kStateFailed = 9,
};

// Byte-order codes of header numbers and samples.
enum ByteOrder : int { kOrderUnknown = 0, kBigEndian = 1, kLittleEndian = 2 };

// The columns of the queue table; the identifier of each is the name of its text.
enum class Column {
    sourceName,
    fileType,
    state,
    progress,
    duration,
    frameRate,
    channels,
    sampleSizeBits,
    filter,
    destinationName,
};
inline constexpr int kColumnCount = 10;
// "sourceNameTableText", "stateTableText", ...
const char* columnIdentifier(Column column);

struct RowTexts {
    std::string sourceNameTableText;
    std::string fileTypeTableText;
    std::string stateTableText;
    std::string progressTableText;
    std::string durationTableText;
    std::string frameRateTableText;
    std::string channelsTableText;
    std::string sampleSizeBitsTableText;
    std::string filterTableText;
    std::string destinationNameTableText;

    const std::string& get(Column column) const;
    std::string& get(Column column);
};

// A FLAC source's picture block, carried over to FLAC output.
struct FlacPicture {
    uint32_t type = 0;
    std::string mimeType;
    std::string description;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    uint32_t colors = 0;
    std::vector<uint8_t> data;
};

// The texts of the error and warning bits.
std::string errorTexts(int errorBits);
// Analysis order: 512, 4, 8, 32, 64, 128, 256 (the processing-only bits are ignored).
std::string analysisWarningTexts(int warningBits);

class AudioFile {
public:
    // Algorithms of initialisation: state 2, texts "--", type from the name extension.
    AudioFile(const std::string& path, bool showExtension, bool showFullPath);
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // ---- Identity -------------------------------------------------------------------
    std::string inputFile;
    int srcFileType = 0;
    int dstFileType = 0;
    std::atomic<int> state{kStateBuilding};
    int contextAction = 0;  // main thread only
    std::chrono::steady_clock::time_point progressTableTextLastUpdate;
    const void* mainWindow = nullptr;          // handed over with the settings; never read
    const void* settingsController = nullptr;  // the preferences side is reached through Host

    // ---- Settings taken from the snapshot ---------------------------------------------
    std::string destinationPath;
    bool destinationPathFollows = true;
    std::string destinationFileSuffix;
    uint64_t filterType_1 = 1;
    uint64_t filterType_2 = 1;
    int outputFormatType = 1;
    double clipThreshold = 2.0;
    bool grooveDistortionTapOff = false;
    double grooveDistortion = 2.0;
    double grooveNoise = -50.0;
    double dolbyTone = -18.0;
    int hiResType = 1;
    int ditherType = 1;
    int phonographRegime = 1;
    int captureSpeed = 1;
    bool useGainRanging = true;
    bool useCartridgeBalance = true;
    bool useDiscEchoRemoval = true;
    bool usePhlux2ResponseCorrection = false;
    int phonographPopClick = 2;
    int phonographScratch = 1;
    bool useLpDistortionCancel = true;
    double lpDistortionStylusRadius = 10.0;
    bool useKestrelOne = true;
    bool useRumbleFilter = true;
    bool useHumFilter = false;
    bool useHumFilterBassCompensation = false;
    int ambisonicUhjRegime = 1;
    bool calculateSrcR128 = false;
    bool calculateDstR128 = false;
    bool dstBwfMetadata = false;
    bool adjustDstR128 = false;
    double adjustDstR128Level = -16.5;
    bool warnPreprocess = true;
    bool useCartridgeBalanceCD4 = true;
    bool usePhlux2CrosstalkCD4 = false;
    int popClickCD4 = 2;
    bool useKestrelOneCD4 = true;
    bool useRumbleFilterCD4 = true;
    bool useHumFilterCD4 = false;
    bool useHumFilterBassCompensationCD4 = false;
    int outputCD4 = 1;
    bool useWowCorrection = false;
    int rotationalSpeedWow = 1;
    int pitchCorrectionWow = 1;
    double tonearmSwayWow = 1.0;
    double startDiameterWow = 1.0;
    double stopDiameterWow = 1.0;

    // ---- Source metadata ----------------------------------------------------------------
    ByteBuffer srcAudioData;
    std::vector<uint8_t> srcID3ChunkData;
    std::vector<uint8_t> srcBextChunkData;
    std::vector<uint8_t> srcIXMLChunkData;
    std::vector<FlacPicture> srcPictureChunkDict;  // at most one picture is carried
    std::vector<std::string> srcVorbisComments;

    // ---- Audio parameters -------------------------------------------------------------
    int srcEndianessValues = kOrderUnknown;
    int dstEndianessValues = kOrderUnknown;
    int srcEndianessData = kOrderUnknown;
    int dstEndianessData = kOrderUnknown;
    uint32_t srcFrames = 0;
    uint32_t dstFrames = 0;
    double srcFrameRate = 0.0;
    double dstFrameRate = 0.0;
    int upsampleType = 1;
    uint32_t srcChannels = 0;
    uint32_t dstChannels_1 = 0;
    uint32_t dstChannels_2 = 0;
    uint32_t dstChannelsData = 0;
    uint32_t dstChannelsStart = 0;
    uint32_t srcSampleBits = 0;
    uint32_t dstSampleBits = 0;
    uint32_t srcSampleBytes = 0;
    uint32_t dstSampleBytes = 0;
    uint32_t discardBytes = 0;  // bytes of chunks the reader skipped

    // ---- Buffers ----------------------------------------------------------------------
    SampleBuffer audioIn;
    SampleBuffer audioBuf_0;
    SampleBuffer audioBuf_0_sub;
    SampleBuffer audioBuf_1;
    SampleBuffer audioBuf_2;
    ByteBuffer dstAudioData;

    // ---- Clipping and level results ---------------------------------------------------
    double clipPercent = 0.0;
    double clipFactor = 0.0;
    double clipdB = 0.0;
    int64_t clipOption = 0;
    double rmsRatio = 0.0;
    double ccc = 0.0;

    // ---- Metrics ----------------------------------------------------------------------
    std::vector<std::string> srcMetrics;
    std::vector<std::string> midMetrics;
    std::vector<std::string> dstMetrics;
    double srcLoudnessValue = 0.0;
    double dstLoudnessValue = 0.0;
    double srcLoudnessRange = 0.0;
    double dstLoudnessRange = 0.0;
    double srcMaxTruePeakLevel = 0.0;
    double dstMaxTruePeakLevel = 0.0;
    double srcMaxMomentaryLoudness = 0.0;
    double dstMaxMomentaryLoudness = 0.0;
    double srcMaxShortTermLoudness = 0.0;
    double dstMaxShortTermLoudness = 0.0;

    // ---- Results ------------------------------------------------------------------------
    std::atomic<int> error{0};
    std::atomic<int> warning{0};
    uint64_t warning_1 = 0;
    uint64_t warning_2 = 0;

    // ---- Row texts ----------------------------------------------------------------------
    RowTexts rowTexts() const;
    std::string text(Column column) const;
    void setText(Column column, std::string value);
    void appendText(Column column, std::string_view value);
    // Posts "AudioFileRefreshViewMsg" for this record through the host.
    void postRefresh() const;

    // Throttled progress text: 0 and >= 100 always shown, 1 to 99 only after more than
    // 0.1 s. Returns false once the job was asked to stop (and sets "Cancelled. "): every
    // long loop ends at its next progress step.
    bool updateProgressTableText(unsigned percent);

    // ---- Cancellation ---------------------------------------------------------------------
    // Safe from any thread. The running or next pass ends with "Cancelled. " and writes nothing.
    void requestCancel() { cancelRequested_.store(true, std::memory_order_relaxed); }
    bool cancelRequested() const { return cancelRequested_.load(std::memory_order_relaxed); }
    // Sets "Cancelled. " when a stop was asked for; true if so.
    bool checkCancelled();

    // ---- Result texts -------------------------------------------------------------------
    // The failure text of either pass: destination "--", state text = the error texts.
    void showErrorTexts();
    // The processing result of an error-free pass: warnings, "Multiple converts. ", "Complete.".
    std::string processingResultText() const;

    // The already-processed dialog: informative text with t, and "Do not show this warning
    // again" switching the warning off for good.
    void ShowFileAlreadyProcessedWarning(const std::string& t);

private:
    mutable std::mutex textMutex_;
    RowTexts texts_;
    std::atomic<bool> cancelRequested_{false};
};

// The one allocation helper of the engine: on failure logs "<ERROR> Memory allocation" and
// sets error 2.
template <typename T>
bool allocateBuffer(AudioFile& job, Buffer<T>& buffer, size_t count);
void reportAllocationFailure(AudioFile& job);

// The readers hand over the source sample bytes: size must equal srcFrames × srcChannels ×
// srcSampleBytes ("Unexpected dataSize in %s" otherwise). Copies them into srcAudioData;
// on allocation failure logs "<ERROR> Memory allocation" and sets error 2.
void CreateSrcAudioData(AudioFile& job, const uint8_t* data, size_t size);
// The same check and allocation without the copy, for a reader that fills srcAudioData in
// place (a whole side is hundreds of megabytes). False after an error.
bool AllocateSrcAudioData(AudioFile& job, size_t size);

template <typename T>
bool allocateBuffer(AudioFile& job, Buffer<T>& buffer, size_t count) {
    if (buffer.allocate(count)) return true;
    reportAllocationFailure(job);
    return false;
}

}  // namespace quiramo
