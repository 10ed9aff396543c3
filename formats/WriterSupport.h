#pragma once
// What the writers share: the sizes at which the carried metadata chunks (bext, iXML, ID3)
// are written and their building, the pad byte after an odd chunk, the frame rate as a
// 32-bit header field, and building a whole image in memory so that a failure leaves
// nothing half-written behind.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quiramo {
class AudioFile;

namespace writers {

// The metadata builders' shape: appends one complete chunk of the given size, header included.
using ChunkBuilder = void (*)(AudioFile& job, std::vector<uint8_t>& out, uint32_t size);
// An image builder: appends a whole file image.
using ImageBuilder = void (*)(AudioFile& job, std::vector<uint8_t>& out);

// Whether dstAudioData holds the frames of channels and sample bytes the job announces.
// Anything else is a caller's slip: it is reported as operation's and fails the job.
bool holdsAnnouncedAudio(AudioFile& job, const char* operation);

// The sizes bext and iXML are written at: 0 unless both loudness and broadcast metadata are
// on; then the stored chunk's size, or for bext a new chunk when the source had none.
uint64_t bextChunkSize(const AudioFile& job);
uint64_t ixmlChunkSize(const AudioFile& job);

// Whether a carried chunk announced at this size is written at all: a stored chunk of its
// header alone carries nothing and is dropped, and stored chunks came out of 32-bit chunk
// sizes, so anything larger cannot be a chunk.
bool isWrittenChunkSize(uint64_t announced);

// Builds a chunk of a size isWrittenChunkSize accepts into out. False when the builder
// failed the job.
bool buildChunk(AudioFile& job, ChunkBuilder build, uint64_t announced, std::vector<uint8_t>& out);

// n bytes and the pad byte that follows an odd number of them.
uint64_t paddedSize(uint64_t n);
// Appends n bytes and, when n is odd, their pad byte.
void appendPadded(std::vector<uint8_t>& out, const uint8_t* data, size_t n);

// The frame rate in a 32-bit header field: truncated, never rounded; 0 for a rate such a
// field cannot state, so that it is refused rather than converted out of range.
uint32_t frameRateField(double rate);

// Appends the image build makes to out. Running out of memory fails the job; a failed job
// leaves out as it was, never with half an image for a writer to save.
void buildWholeImage(AudioFile& job, std::vector<uint8_t>& out, ImageBuilder build);

}  // namespace writers
}  // namespace quiramo
