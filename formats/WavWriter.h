#pragma once
// The WAV writer: the whole image of a converted WAV file in memory (RIFF header, plain PCM
// format chunk, data, signature chunk, carried metadata), ready for one atomic write.

#include <cstdint>
#include <vector>

namespace quiramo {
class AudioFile;

// RIFF keeps its sizes in 32 bits.
inline constexpr uint64_t kRiffSizeLimit = 0xFFFFFFFF;

struct WavDataSize {
    uint64_t audioBytes = 0;     // data chunk size after any cut
    uint32_t framesRemoved = 0;  // frames cut to fit the limit
    uint64_t riffSize = 0;       // the RIFF size field
};

// Sizes of an image of `frames` frames of `bytesPerFrame` bytes followed by `trailingBytes`
// of chunks (signature and metadata, their pad bytes included). Over the RIFF limit the
// fewest whole frames are removed that bring the size, data pad byte included, within it.
// If the trailing chunks alone do not fit, every frame goes and riffSize stays over.
WavDataSize wavDataSize(uint32_t frames, uint32_t bytesPerFrame, uint64_t trailingBytes);

// Applies wavDataSize to the job: on a cut it shortens dstFrames, logs, shows both
// durations in the row and sets "Output file truncated to 4GB limit. ". Touches no buffer.
WavDataSize fitWavToRiffLimit(AudioFile& job, uint64_t trailingBytes);

// Appends the whole file image to out. A failure leaves out empty with the job's error set.
void CreateDestBufferWAV(AudioFile& job, std::vector<uint8_t>& out);

}  // namespace quiramo
